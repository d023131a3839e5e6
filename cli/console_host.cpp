#include "cli/console_host.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <system_error>
#include <thread>

#include "core/image_file.h"
#include "core/temp_files.h"
#include "engine/frame_errors.h"

namespace nocturo::cli {

namespace {

// The signals that end a run as Ctrl+C does: the terminal's Ctrl+C, the
// polite request to end (kill, a shutdown) and the terminal going away.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The first of them that arrived, 0 while none did.
std::atomic<int> interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnInterrupt(int signal) {
    int none = 0;
    if (interrupted.compare_exchange_strong(none, signal)) {
        return;  // the run stops after the frame it is on
    }
    // A second one ends the program at once, as the signal normally does,
    // but without the hidden files of the saves under way on any thread.
    RemoveTemporaryFilesNow();
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);  // delivered as this handler returns
}

// The progress line never grows wider than this, so that it stays on one
// line of an ordinary terminal and \r can rewrite it.
constexpr size_t kLineWidth = 79;

std::string BaseName(const std::string& name) {
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string Duration(double seconds) {
    if (!(seconds >= 0) || seconds > 360000) {
        return "--:--";
    }
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    }
    return text;
}

}  // namespace

void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // While one of them is handled the others wait: the second one always
    // sees the first one's mark.
    for (int signal : kStopSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    action.sa_flags = SA_RESTART;
    for (int signal : kStopSignals) {
        sigaction(signal, &action, nullptr);
    }
}

bool Interrupted() {
    return interrupted.load(std::memory_order_relaxed) != 0;
}

int InterruptedStatus() {
    return 128 + interrupted.load(std::memory_order_relaxed);
}

int ExitStatus(bool outputProblem, int errors) {
    if (Interrupted()) {
        return InterruptedStatus();
    }
    if (outputProblem) {
        return 2;
    }
    return errors == 0 ? 0 : 1;
}

// ---- ProgressLine ----------------------------------------------------------

ProgressLine::ProgressLine(FILE* out, bool enabled, int total)
    : out_(out),
      enabled_(enabled),
      total_(total),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_),
      lastFrame_(start_) {}

void ProgressLine::FrameDone(const std::string& name) {
    ++done_;
    if (!enabled_) {
        return;
    }
    lastName_ = name;
    lastFrame_ = std::chrono::steady_clock::now();
    // A terminal redrawn for every frame of a fast run costs more than the
    // frames; ten times a second is as fast as anyone reads.
    if (!drawn_ || done_ >= total_ || lastFrame_ - lastDraw_ >= std::chrono::milliseconds(100)) {
        Draw();
    }
}

void ProgressLine::Clear() {
    if (!enabled_ || !drawn_) {
        return;
    }
    std::fprintf(out_, "\r%*s\r", static_cast<int>(drawnLength_), "");
    std::fflush(out_);
    drawn_ = false;
    drawnLength_ = 0;
}

void ProgressLine::Finish() {
    if (!enabled_) {
        return;
    }
    if (!drawn_ || drawnDone_ != done_) {
        Draw();
    }
    std::fputc('\n', out_);
    std::fflush(out_);
    drawn_ = false;
    drawnLength_ = 0;
}

void ProgressLine::Draw() {
    lastDraw_ = std::chrono::steady_clock::now();
    // The rate up to the last frame: the final save is no frame.
    const double elapsed = std::chrono::duration<double>(lastFrame_ - start_).count();
    const double rate = elapsed > 0 ? done_ / elapsed : 0;
    char head[128];
    std::snprintf(head, sizeof head, "%d/%d frames  %.1f frames/s  %s left", done_, total_, rate,
                  rate > 0 ? Duration((total_ - done_) / rate).c_str() : "--:--");
    std::string line = head;
    if (!lastName_.empty() && line.size() + 4 < kLineWidth) {
        std::string name = BaseName(lastName_);
        const size_t room = kLineWidth - line.size() - 2;
        if (name.size() > room) {
            name = "..." + name.substr(name.size() - (room - 3));
        }
        line += "  " + name;
    }
    const size_t length = line.size();
    if (length < drawnLength_) {
        line.append(drawnLength_ - length, ' ');  // wipe the tail of a longer line
    }
    std::fprintf(out_, "\r%s", line.c_str());
    std::fflush(out_);
    drawn_ = true;
    drawnLength_ = length;
    drawnDone_ = done_;
}

// ---- ConsoleHost -----------------------------------------------------------

ConsoleHost::ConsoleHost(const ConsoleSettings& settings, RunState& state, ProgressLine& progress)
    : settings_(settings), state_(state), progress_(progress) {}

void ConsoleHost::ShowStatus(int, const std::string& text, const FileList&, bool ok) {
    if (!settings_.countFrames) {
        return;
    }
    if (ok && !settings_.firstIsMerged && state_.ResultPosition == 0) {
        return;  // the first picture sizing the result; it is processed next
    }
    if (ok) {
        ++merged_;
        if (state_.Result) {
            mergedPixels_ += static_cast<double>(state_.Result->Width()) * state_.Result->Height();
        }
    } else {
        ++errors_;
        progress_.Clear();
        std::fprintf(stderr,
                     "nocturo-stack: in error: %s (cannot be read, or its size differs from "
                     "the result's); skipped\n",
                     text.c_str());
    }
    progress_.FrameDone(text);
}

void ConsoleHost::ProcessEvents() {
    // Ctrl+C acts as the window's abort button: the run asks whether to
    // stop, and Ask says yes.
    if (Interrupted() && !state_.StopRequested) {
        ToolButtonAbortClick(state_);
    }
}

Answer ConsoleHost::Ask(const std::string&, const std::string&, const std::vector<Answer>& buttons,
                        bool) {
    auto offers = [&](Answer a) {
        return std::find(buttons.begin(), buttons.end(), a) != buttons.end();
    };
    if (offers(Answer::YesToAll)) {
        // The only question with "Yes to All": may an existing file (a step
        // file, a copy, an output) be replaced. Without --overwrite the
        // answer is No, which stops the run without writing it.
        if (settings_.overwrite) {
            return Answer::YesToAll;
        }
        ++overwritesRefused_;
        return Answer::No;
    }
    if (Interrupted() && offers(Answer::Yes)) {
        return Answer::Yes;  // "Do you want to Stop process"
    }
    for (Answer a : {Answer::No, Answer::Cancel, Answer::Ok}) {
        if (offers(a)) {
            return a;
        }
    }
    return buttons.empty() ? Answer::None : buttons.front();
}

std::optional<std::string> ConsoleHost::AskSaveFileName(const SaveRequest& request) {
    // Only the step dialog asks for a name here: the final save goes
    // through SaveResultAs.
    if (settings_.firstStepFile.empty()) {
        return std::nullopt;
    }
    std::string name = settings_.firstStepFile;
    // As the dialog does with a name typed without an extension.
    if (FileExtension(name).empty() && !request.defaultExtension.empty()) {
        name += "." + request.defaultExtension;
    }
    return name;
}

void ConsoleHost::ShowMessage(const std::string& text, const std::string&) {
    messages_.push_back(text);
}

void ConsoleHost::ShowRunReport(const RunReport& report) {
    report_ = report;
    messages_.push_back(RunReportCountLine(report));
}

void ConsoleHost::PrintReportLines(FILE* out) const {
    for (const std::string& line : RunReportLines(report_)) {
        std::fprintf(out, "nocturo-stack: %s\n", line.c_str());
    }
}

void ConsoleHost::SaveResultAs() {
    saveRequested_ = true;
    RunEnded();
    if (!beside_) {
        SaveOutput();
        return;
    }
    std::function<bool()> work = std::move(beside_);
    beside_ = nullptr;
    bool outcome = false;
    std::thread thread;
    try {
        thread = std::thread([&] { outcome = work(); });
    } catch (const std::system_error&) {
        outcome = work();  // no thread: one after the other
    }
    SaveOutput();
    if (thread.joinable()) {
        thread.join();
    }
    besideOutcome_ = outcome;
}

void ConsoleHost::RunStarted() {
    runStart_ = std::chrono::steady_clock::now();
    runEnd_.reset();
}

void ConsoleHost::RunEnded() {
    if (!runEnd_) {
        runEnd_ = std::chrono::steady_clock::now();
    }
}

double ConsoleHost::RunSeconds() const {
    const auto end = runEnd_ ? *runEnd_ : std::chrono::steady_clock::now();
    return std::chrono::duration<double>(end - runStart_).count();
}

bool ConsoleHost::SaveOutput() {
    if (settings_.output.empty()) {
        return true;
    }
    const auto start = std::chrono::steady_clock::now();
    std::string name = settings_.output;
    // The run is over: a large JPEG is encoded in bands on every core.
    const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::string reason = "nothing to save";
    const bool ok = state_.Result != nullptr &&
                    SaveImageFile(*state_.Result, name, kDefaultOutputName, &reason, threads);
    saveSeconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state_.ResultUnsaved = !ok;
    if (!ok) {
        progress_.Clear();
        std::fprintf(stderr, "nocturo-stack: cannot write %s: %s\n", name.c_str(), reason.c_str());
        outputFailed_ = true;
    }
    return ok;
}

}  // namespace nocturo::cli
