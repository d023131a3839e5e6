#include "cli/moving_max_cli.h"

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/console_host.h"
#include "cli/make_video_cli.h"
#include "core/image_file.h"
#include "engine/frame_errors.h"
#include "engine/moving_max.h"
#include "engine/own_inputs.h"
#include "engine/run_state.h"
#include "lang/language_strings.h"
#include "lists/list_pair.h"

namespace nocturo::cli {

namespace {

/// The console host with the moving maximum's progress panel: a line on a
/// terminal, rewritten in place.
class MovingMaxConsole : public ConsoleHost, public MovingMaxDisplay {
  public:
    MovingMaxConsole(const ConsoleSettings& settings, RunState& state, ProgressLine& noFrames,
                     bool progress)
        : ConsoleHost(settings, state, noFrames), progress_(progress) {}

    void SetStatusPanel(int panel, const std::string& text) override {
        if (panel == 3 && progress_) {
            const std::string line = text.substr(0, 78);
            std::fprintf(stderr, "\r%-78s", line.c_str());
            drawn_ = true;
        }
    }
    void SetLiveDisplay(bool) override {}
    void ShowListCopy(FileList*) override {}

    void EndLine() {
        if (drawn_) {
            std::fprintf(stderr, "\n");
            drawn_ = false;
        }
    }

  private:
    bool progress_;
    bool drawn_ = false;
};

}  // namespace

bool WantsMovingMax(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            return false;
        }
        if (arg == "--moving-max" || arg.rfind("--moving-max=", 0) == 0) {
            return true;
        }
    }
    return false;
}

void PrintMovingMaxUsage(FILE* out) {
    std::fputs(
        "\n"
        "Moving maximum:\n"
        "  nocturo-stack --moving-max N [--progressive] [--no-darkening]\n"
        "                [--overwrite] [--depth BITS] [--jobs N] [--stats]\n"
        "                -o FIRST_OUTPUT FILE...\n"
        "  nocturo-stack --moving-max N [OPTION]... --video OUT.mp4 [--fps N]\n"
        "                [--video-width W] [--crf N] [-o FIRST_OUTPUT] FILE...\n"
        "\n"
        "Writes one picture per position of a window of N consecutive FILEs sliding\n"
        "over them by one file per picture: each output is the maximum of the files in\n"
        "its window, older files fainter (the oldest adds nothing). The outputs are\n"
        "named from FIRST_OUTPUT with its trailing digits dropped and a four-digit\n"
        "counter from 1: -o out/mm.jpg (or out/mm0120.jpg) gives out/mm0001.jpg,\n"
        "out/mm0002.jpg, ... When one of the outputs exists, nothing is done (status\n"
        "2, naming it) unless --overwrite, which replaces them; an output that would\n"
        "be one of the FILEs is never written, --overwrite or not (status 2). A file\n"
        "that cannot be loaded or whose size differs from the first loaded file of\n"
        "its window is in error and skipped; the outputs keep the other files.\n"
        "--files-from, --exclude, --jobs (decode threads), --depth and --stats work as\n"
        "above; the end report is that of a stack. At --depth 16 the darkening of an\n"
        "older file is on the 16-bit scale (65535 instead of 255 for the oldest).\n"
        "\n"
        "  --moving-max N       the window's size: 2 to the number of FILEs\n"
        "  --progressive        also let the window grow from one file at the start and\n"
        "                       shrink to one at the end (FILEs + N - 1 outputs instead\n"
        "                       of FILEs - N + 1)\n"
        "  --no-darkening       older files are not made fainter\n"
        "  --video OUT.mp4      every output is also the next frame of a time-lapse\n"
        "                       video, as with --steps; without -o the video alone\n"
        "                       is written\n",
        out);
}

int MovingMaxMain(int argc, char** argv) {
    // Every output frees and allocates frame-sized buffers again (the
    // encoder's among them). Kept in the heap they are reused; handed back
    // to the system, each comes back as fresh pages that the kernel must
    // clear first, which costs about as much as encoding the output.
    mallopt(M_MMAP_THRESHOLD, 128 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    int windowSize = 0;
    bool progressive = false;
    bool darkening = true;
    bool stats = false;
    bool overwrite = false;
    int depth = 8;
    std::string firstOutput;
    InputOptions input;
    VideoRequest video;
    for (int i = 1; i < argc; ++i) {
        const OptionArg option(argv[i]);
        const std::string& arg = option.name;
        const bool hasInline = option.hasInlineValue;
        auto value = [&](std::string& out) { return option.Value(argc, argv, i, out); };
        auto noValue = [&] { return !hasInline; };
        if (int status = -1; input.Take(option, argc, argv, i, status)) {
            if (status >= 0) {
                return status;
            }
            continue;
        }
        if (const int status = TakeVideoOption(option, "--video", argc, argv, i, video);
            status != kNotVideo) {
            if (status >= 0) {
                return status;
            }
            continue;
        }
        std::string text;
        if (arg == "--moving-max") {
            if (!value(text) || !ParseInt(text, 2, INT_MAX, windowSize)) {
                return UsageError("--moving-max needs a window size of 2 or more");
            }
        } else if (arg == "--progressive" && noValue()) {
            progressive = true;
        } else if (arg == "--no-darkening" && noValue()) {
            darkening = false;
        } else if (arg == "--stats" && noValue()) {
            stats = true;
        } else if (arg == "--overwrite" && noValue()) {
            overwrite = true;
        } else if (arg == "--depth") {
            if (!value(text) || !ParseDepth(text, depth)) {
                return UsageError("--depth needs 8 or 16");
            }
        } else if (arg == "-o" || arg == "--output") {
            if (!value(firstOutput) || firstOutput.empty()) {
                return UsageError("-o needs a file name");
            }
        } else {
            return UsageError("not an option of --moving-max: " + std::string(argv[i]));
        }
    }
    if (const int status = input.ReadLists(); status >= 0) {
        return status;
    }
    const bool withVideo = !video.fileName.empty();
    if (firstOutput.empty() && !withVideo) {
        return UsageError("--moving-max needs -o FIRST_OUTPUT or --video OUT.mp4");
    }
    if (input.files.size() < 2) {
        return UsageError("--moving-max needs at least two input files");
    }
    if (static_cast<size_t>(windowSize) > input.files.size()) {
        return UsageError("--moving-max " + std::to_string(windowSize) +
                          ": the window is larger than the " + std::to_string(input.files.size()) +
                          " input files");
    }
    if (depth == 16 && !SaveFormatHolds16Bits(firstOutput)) {
        return UsageError(EightBitNameProblem(firstOutput));
    }
    std::string problem;
    if (!firstOutput.empty() && !FolderWritable(firstOutput, problem)) {
        return UsageError("cannot write " + firstOutput + ": " + problem);
    }
    video.replace = overwrite;
    if (withVideo) {
        if (const int status = CheckVideoOutput(video, input.files); status >= 0) {
            return status;
        }
    }

    MovingMaxSettings settings;
    settings.windowSize = windowSize;
    settings.progressive = progressive;
    settings.darkening = darkening;
    const MovingMaxOutput output = MovingMaxOutputBase(firstOutput);
    const std::vector<std::string> outputs =
        firstOutput.empty()
            ? std::vector<std::string>()
            : MovingMaxOutputNames(output, settings, static_cast<int>(input.files.size()));
    if (const std::optional<std::string> own = FirstOwnInput(outputs, input.files)) {
        return UsageError("the output " + *own +
                          " is one of the input FILEs: a run never writes over them");
    }
    if (!overwrite) {
        for (const std::string& name : outputs) {
            if (::access(name.c_str(), F_OK) == 0) {
                return UsageError("the output " + name + " exists (--overwrite replaces it)");
            }
        }
    }

    ListPair pair;
    FillLeftList(pair, std::move(input.files));
    if (const int status = input.ApplyExcluded(pair.Left()); status >= 0) {
        return status;
    }
    RunState state;
    state.Depth = depth;
    // Every output is a frame of the video too; without -o the video alone
    // is written.
    VideoWriter writer;
    if (withVideo) {
        if (!writer.Open(video.fileName, video.settings, video.replace)) {
            return UsageError("cannot write " + video.fileName + ": " + writer.Reason());
        }
        state.Writes.video = &writer;
        state.Writes.stepFiles = !firstOutput.empty();
    }
    InstallInterruptHandler();
    // The run names its frames in error in its report.
    ConsoleSettings hostSettings;
    hostSettings.overwrite = overwrite;
    hostSettings.countFrames = false;
    ProgressLine noFrames(stderr, false, 0);
    MovingMaxConsole console(hostSettings, state, noFrames, ::isatty(STDERR_FILENO) == 1);
    RunContext context{pair, state, console};

    MovingMaxOptions options;
    options.decodeThreads = input.jobs;

    const auto start = std::chrono::steady_clock::now();
    MovingMaxReport report;
    try {
        report = MovingMaxRun(context, console, settings, output, options);
    } catch (const std::exception& e) {
        console.EndLine();
        std::fprintf(stderr, "nocturo-stack: the run failed: %s\n", e.what());
        return 2;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    console.EndLine();
    for (const std::string& message : console.Messages()) {
        std::fprintf(stderr, "nocturo-stack: %s\n", message.c_str());
    }

    for (const std::string& line : RunReportLines(MovingMaxRunReport(report))) {
        std::fprintf(stderr, "nocturo-stack: %s\n", line.c_str());
    }
    if (report.stopped && !Interrupted()) {
        // Without Ctrl+C a run stops on a refused overwrite, or when its
        // video alone was to be written and cannot be.
        if (console.OverwriteRefused()) {
            std::fprintf(stderr,
                         "nocturo-stack: stopped: an output exists (--overwrite replaces it)\n");
        } else if (withVideo && !writer.Written()) {
            std::fprintf(stderr, "nocturo-stack: stopped: cannot write the video %s: %s\n",
                         video.fileName.c_str(), writer.Reason().c_str());
        }
    }
    if (Interrupted()) {
        std::fprintf(stderr, "nocturo-stack: interrupted after %d output(s)\n", report.outputs);
    }
    if (stats) {
        std::fprintf(stderr,
                     "nocturo-stack: %d outputs (%d written) in %.3f s; %lld frames decoded; "
                     "at most %.0f MB of frames kept\n",
                     report.outputs, report.written, seconds,
                     static_cast<long long>(report.decodes),
                     static_cast<double>(report.peakBytesKept) / (1024.0 * 1024.0));
    }
    std::printf("%s\n", FormatText(Lng().lngfilesinerror, report.errors).c_str());
    std::fflush(stdout);
    return ExitStatus(report.failedSaves > 0 || report.stopped, report.errors);
}

}  // namespace nocturo::cli
