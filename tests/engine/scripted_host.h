#pragma once
// A RunHost for tests: answers come from queues, and every call is written
// to a log as one text line, so that two runs can be compared call by call.

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_host.h"
#include "engine/run_state.h"
#include "engine/stacking_run.h"
#include "lists/list_pair.h"

namespace nocturo::test {

/// prefix, the decimal number n, suffix. Built by appending: GCC 12 warns
/// wrongly (-Wrestrict) about "literal" + std::string.
inline std::string Numbered(std::string_view prefix, long long n, std::string_view suffix = {}) {
    std::string text(prefix);
    text.append(std::to_string(n));
    text.append(suffix);
    return text;
}

inline const char* AnswerName(Answer answer) {
    switch (answer) {
        case Answer::None:
            return "none";
        case Answer::Ok:
            return "ok";
        case Answer::Cancel:
            return "cancel";
        case Answer::Yes:
            return "yes";
        case Answer::No:
            return "no";
        case Answer::YesToAll:
            return "yes-to-all";
        case Answer::NoToAll:
            return "no-to-all";
    }
    return "?";
}

/// FNV-1a over size and pixels: enough to tell two shown images apart.
inline uint64_t PixelHash(const RgbImage& image) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](uint8_t byte) {
        h ^= byte;
        h *= 1099511628211ull;
    };
    for (int shift = 0; shift < 32; shift += 8) {
        mix(static_cast<uint8_t>(image.Width() >> shift));
        mix(static_cast<uint8_t>(image.Height() >> shift));
    }
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* row = image.Row(y);
        for (size_t x = 0; x < image.Stride(); ++x) {
            mix(row[x]);
        }
    }
    return h;
}

class ScriptedHost : public RunHost {
  public:
    /// Every call in order, e.g. "status|3|/tmp/a.bmp|ok".
    std::vector<std::string> log;
    /// Buttons pressed at the questions, in order; an unexpected question
    /// fails the test and answers None.
    std::deque<Answer> answers;
    /// Names typed into save dialogs; nullopt cancels.
    std::deque<std::optional<std::string>> saveNames;
    /// Requests the save dialogs received.
    std::vector<SaveRequest> saveRequests;
    /// Runs inside ProcessEvents with the call's number (from 1): this is
    /// where a test presses the abort button or edits the lists.
    std::function<void(int call)> onEvents;
    int eventCalls = 0;
    /// Runs inside SaveResultAs, after it is logged.
    std::function<void()> onSaveResultAs;
    /// What the run told ShowProgress: done and total, in order.
    std::vector<std::pair<int, int>> progress;

    void ShowProgress(int done, int total) override { progress.emplace_back(done, total); }

    void ShowImage(const RgbImage* image, bool force) override {
        std::string line = "show|";
        if (image == nullptr) {
            line += "null";
        } else {
            line += Numbered("", image->Width(), "x");
            line += Numbered("", image->Height(), "|");
            line += std::to_string(PixelHash(*image));
        }
        log.push_back(line + (force ? "|force" : "|live"));
    }
    void ShowStatus(int position, const std::string& text, const FileList&, bool ok) override {
        log.push_back(Numbered("status|", position, "|") + text + (ok ? "|ok" : "|error"));
    }
    void ProcessEvents() override {
        ++eventCalls;
        log.push_back("events");
        if (onEvents) {
            onEvents(eventCalls);
        }
    }
    Answer Ask(const std::string& text, const std::string& caption,
               const std::vector<Answer>& buttons, bool warning) override {
        std::string line = "ask|" + text + "|" + caption + "|";
        for (size_t k = 0; k < buttons.size(); ++k) {
            if (k > 0) {
                line += ",";
            }
            line += AnswerName(buttons[k]);
        }
        line += warning ? "|warning" : "|question";
        log.push_back(line);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << line;
            return Answer::None;
        }
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<std::string> AskSaveFileName(const SaveRequest& request) override {
        log.push_back("save-dialog|" + request.fileName);
        saveRequests.push_back(request);
        if (saveNames.empty()) {
            ADD_FAILURE() << "unexpected save dialog proposing " << request.fileName;
            return std::nullopt;
        }
        std::optional<std::string> name = saveNames.front();
        saveNames.pop_front();
        return name;
    }
    void ShowMessage(const std::string& text, const std::string& caption) override {
        log.push_back("message|" + text + "|" + caption);
    }
    void FocusLeftList() override { log.push_back("focus-left"); }
    void SaveResultAs() override {
        log.push_back("save-as");
        if (onSaveResultAs) {
            onSaveResultAs();
        }
    }
    void StartNumberChanged() override { log.push_back("start-number-changed"); }

    /// Log lines that start with prefix.
    std::vector<std::string> Lines(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& line : log) {
            if (line.rfind(prefix, 0) == 0) {
                out.push_back(line);
            }
        }
        return out;
    }
    int Count(const std::string& prefix) const { return static_cast<int>(Lines(prefix).size()); }
    /// The log without the "events" lines, for reading the run's story.
    std::vector<std::string> Story() const {
        std::vector<std::string> out;
        for (const std::string& line : log) {
            if (line != "events") {
                out.push_back(line);
            }
        }
        return out;
    }
};

/// Lists, state and host of one run, wired together.
struct RunFixture {
    ListPair lists;
    RunState state;
    ScriptedHost host;
    RunContext context{lists, state, host};

    FileList& Left() { return lists.Left(); }
    FileList& Right() { return lists.Right(); }
    /// Appends checked, enabled entries.
    void AddChecked(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            Left().Append(name, true, true);
        }
    }
};

}  // namespace nocturo::test
