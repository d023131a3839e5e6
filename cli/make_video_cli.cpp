#include "cli/make_video_cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_options.h"
#include "cli/console_host.h"
#include "engine/own_inputs.h"
#include "engine/run_state.h"
#include "engine/video_run.h"
#include "lists/list_pair.h"

namespace nocturo::cli {

int TakeVideoOption(const OptionArg& option, const char* nameOption, int argc, char** argv,
                    int& index, VideoRequest& request) {
    const std::string& arg = option.name;
    std::string text;
    auto value = [&] { return option.Value(argc, argv, index, text); };
    if (arg == nameOption) {
        if (!value() || text.empty()) {
            return UsageError(arg + " needs the name of the video");
        }
        request.fileName = text;
    } else if (arg == "--fps") {
        if (!value() || !ParseInt(text, 1, kMaxVideoFps, request.settings.fps)) {
            return UsageError("--fps needs a number from 1 to " + std::to_string(kMaxVideoFps));
        }
    } else if (arg == "--video-width") {
        if (!value() || !ParseInt(text, kMinVideoWidth, kMaxVideoWidth, request.settings.width)) {
            return UsageError("--video-width needs a number from " +
                              std::to_string(kMinVideoWidth) + " to " +
                              std::to_string(kMaxVideoWidth));
        }
    } else if (arg == "--crf") {
        if (!value() || !ParseInt(text, 0, kMaxCrf, request.settings.crf)) {
            return UsageError("--crf needs a number from 0 (lossless) to " +
                              std::to_string(kMaxCrf));
        }
    } else {
        return kNotVideo;
    }
    return -1;
}

int CheckVideoOutput(const VideoRequest& request, const std::vector<std::string>& inputs) {
    const std::string& out = request.fileName;
    struct stat st {};
    if (::stat(out.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            return UsageError("cannot write " + out + ": it exists and is not a regular file");
        }
        if (!request.replace) {
            return UsageError("the video " + out + " exists (--overwrite replaces it)");
        }
    }
    std::string problem;
    if (!FolderWritable(out, problem)) {
        return UsageError("cannot write " + out + ": " + problem);
    }
    if (FirstOwnInput({out}, inputs)) {
        return UsageError(out + " is one of the input FILEs: a run never writes over them");
    }
    return -1;
}

bool WantsMakeVideo(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            return false;
        }
        if (arg == "--make-video" || arg.rfind("--make-video=", 0) == 0) {
            return true;
        }
    }
    return false;
}

void PrintMakeVideoUsage(FILE* out) {
    std::fputs(
        "\n"
        "Time-lapse video:\n"
        "  nocturo-stack --make-video OUT.mp4 [--fps N] [--video-width W] [--crf N]\n"
        "                [--overwrite] [--jobs N] [--stats] FILE...\n"
        "\n"
        "Encodes the FILEs, in the order given, as the frames of an MP4 video (H.264,\n"
        "yuv420p, which every player plays), as the window's \"Make video from\n"
        "list...\" does. A FILE that cannot be loaded, or whose size differs from the\n"
        "first loaded FILE's, is in error and left out. The video is written under a\n"
        "hidden temporary name and renamed to OUT.mp4 once complete: a run stopped\n"
        "by Ctrl+C leaves a video of the frames so far, a failed run no file at all.\n"
        "An existing OUT.mp4 is replaced only with --overwrite; one of the FILEs\n"
        "never (status 2). --files-from, --jobs (decode threads) and --stats work as\n"
        "above; the end report and the exit statuses are those of a stack.\n"
        "\n"
        "  --make-video OUT.mp4\n"
        "                       the video to write\n"
        "  --fps N              frames per second, 1 to 240 (default 25)\n"
        "  --video-width W      the video's width, 16 to 16384 (an odd width is made\n"
        "                       even); the height follows the frames' aspect ratio.\n"
        "                       Default: the frames' own size (an odd last column or\n"
        "                       row is left out). Scaled with a Lanczos filter\n"
        "  --crf N              the quality, as x264's constant rate factor: 0 to 51,\n"
        "                       lower is better and larger (default 18, which few\n"
        "                       can tell from the pictures). 0 is lossless, in\n"
        "                       H.264's High 4:4:4 Predictive profile, which many\n"
        "                       phones and hardware players cannot play\n",
        out);
}

int MakeVideoMain(int argc, char** argv) {
    VideoRequest request;
    bool stats = false;
    InputOptions input;
    for (int i = 1; i < argc; ++i) {
        const OptionArg option(argv[i]);
        const std::string& arg = option.name;
        if (int status = -1; input.Take(option, argc, argv, i, status)) {
            if (status >= 0) {
                return status;
            }
            continue;
        }
        if (const int status = TakeVideoOption(option, "--make-video", argc, argv, i, request);
            status != kNotVideo) {
            if (status >= 0) {
                return status;
            }
        } else if (arg == "--overwrite" && !option.hasInlineValue) {
            request.replace = true;
        } else if (arg == "--stats" && !option.hasInlineValue) {
            stats = true;
        } else {
            return UsageError("not an option of --make-video: " + std::string(argv[i]));
        }
    }
    if (const int status = input.ReadLists(); status >= 0) {
        return status;
    }
    if (request.fileName.empty()) {
        return UsageError("--make-video needs the name of the video");
    }
    if (input.files.empty()) {
        return UsageError("no input files given");
    }
    if (const int status = CheckVideoOutput(request, input.files); status >= 0) {
        return status;
    }
    const int jobs = input.jobs >= 0
                         ? input.jobs
                         : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

    ListPair pair;
    FillLeftList(pair, std::move(input.files));
    const int total = pair.Left().Count();
    RunState state;
    DecodeStats decoded;
    state.Decode.threads = jobs;
    state.Decode.ahead = std::max(state.Decode.ahead, jobs);
    state.Decode.stats = &decoded;

    InstallInterruptHandler();
    ConsoleSettings console;
    console.overwrite = request.replace;
    ProgressLine progress(stderr, ::isatty(STDERR_FILENO) == 1, total);
    ConsoleHost host(console, state, progress);
    RunContext context{pair, state, host};

    host.RunStarted();
    VideoOutcome outcome;
    try {
        outcome = MakeVideoRun(context, pair.Left(), request);
    } catch (const std::exception& e) {
        progress.Clear();
        std::fprintf(stderr, "nocturo-stack: the run failed: %s\n", e.what());
        return 2;
    }
    host.RunEnded();
    progress.Finish();

    if (Interrupted()) {
        std::fprintf(stderr, "nocturo-stack: interrupted after %d of %d frames\n", progress.Done(),
                     total);
    }
    if (stats) {
        const double seconds = host.RunSeconds();
        std::fprintf(stderr,
                     "nocturo-stack: %d frames encoded in %.3f s (%.2f frames/s); decoded "
                     "ahead: %lld, on the run's thread: %lld\n",
                     outcome.frames, seconds, seconds > 0 ? outcome.frames / seconds : 0.0,
                     static_cast<long long>(decoded.prefetched),
                     static_cast<long long>(decoded.loadedByRun));
    }
    host.PrintReportLines(stderr);
    for (const std::string& message : host.Messages()) {
        std::printf("%s\n", message.c_str());
    }
    std::fflush(stdout);

    // No video because no FILE could be read is the FILEs' fault, as for a
    // stack; any other reason is the output's.
    return ExitStatus(!outcome.written && (outcome.frames > 0 || outcome.report.errors == 0),
                      outcome.report.errors);
}

}  // namespace nocturo::cli
