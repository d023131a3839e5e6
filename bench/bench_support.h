#pragma once
// What the benchmark programs share: reading a list of frames, and a run
// host that shows nothing, asks nothing and answers No to every question.

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_host.h"

namespace nocturo::bench {

/// The non-empty lines of a file: one frame name each.
inline std::vector<std::string> ReadList(const char* listName) {
    std::vector<std::string> files;
    std::ifstream list(listName);
    std::string line;
    while (std::getline(list, line)) {
        if (!line.empty()) {
            files.push_back(line);
        }
    }
    return files;
}

class QuietHost : public RunHost {
  public:
    void ShowImage(const RgbImage*, bool) override {}
    void ShowStatus(int, const std::string&, const FileList&, bool) override {}
    void ProcessEvents() override {}
    Answer Ask(const std::string&, const std::string&, const std::vector<Answer>&, bool) override {
        return Answer::No;
    }
    std::optional<std::string> AskSaveFileName(const SaveRequest&) override { return std::nullopt; }
    void ShowMessage(const std::string&, const std::string&) override {}
    void FocusLeftList() override {}
    void SaveResultAs() override {}
};

}  // namespace nocturo::bench
