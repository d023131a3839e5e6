// nocturo-stack: merges picture files into one star-trail picture from the
// command line. It runs the program's own stacking run, so the order, the
// operations, the step files and the error counting are those of the
// window's "Processing..." commands.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/cli_options.h"
#include "cli/console_host.h"
#include "core/batch.h"

#include "cli/make_video_cli.h"
#include "cli/moving_max_cli.h"
#include "cli/search_commands.h"
#include "cli/trail_cli.h"
#include "core/combine.h"
#include "core/image_file.h"
#include "engine/batch_command.h"
#include "engine/bright_frames.h"
#include "engine/frame_map.h"
#include "engine/night_measure.h"
#include "engine/own_inputs.h"
#include "engine/run_state.h"
#include "engine/stacking_run.h"
#include "engine/step_saving.h"
#include "lists/list_file.h"
#include "lists/list_pair.h"
#include "nocturo_version.h"

namespace {

using nocturo::ImageOperation;
using nocturo::cli::FolderWritable;
using nocturo::cli::kMaxJobs;
using nocturo::cli::OptionArg;
using nocturo::cli::ParseInt;
using nocturo::cli::UsageError;

struct OperationName {
    const char* name;
    ImageOperation op;
};

constexpr OperationName kOperations[] = {
    {"addmax", nocturo::AddMax},
    {"addmin", nocturo::AddMin},
    {"addmaxlum", nocturo::AddMaxLum},
    {"subminlum", nocturo::SubMinLum},
    {"addmaxthreshold", nocturo::AddMaxThreshold},
    {"add", nocturo::Add},
    {"sub", nocturo::Sub},
};

// The batch functions by their list index.
constexpr const char* kBatchNames[nocturo::kBatchFunctionCount] = {"dark",     "add",    "flat",
                                                                   "multiply", "square", "cube"};

// The whole help, the manual page's source too: headings end with ':' at the
// left edge, options and exit statuses start two blanks in.
void PrintUsage(FILE* out) {
    std::fputs(
        "Usage: nocturo-stack [OPTION]... -o OUTPUT FILE...\n"
        "       nocturo-stack [OPTION]... --steps FIRST_STEP_FILE [-o OUTPUT] FILE...\n"
        "       nocturo-stack [OPTION]... --video OUT.mp4 [--steps FIRST_STEP_FILE]\n"
        "                     [-o OUTPUT] FILE...\n"
        "       nocturo-stack --batch FUNCTION [--reference REF] [--factor N]\n"
        "                     [--offset N] --steps FIRST_STEP_FILE FILE...\n"
        "       nocturo-stack --measure [--jobs N] FILE...\n"
        "\n"
        "Merges the picture FILEs, in the order given, into one picture, as the\n"
        "program's \"Processing...\" commands do. The first file that loads starts the\n"
        "result; every later one is merged into it. A file that cannot be loaded (a\n"
        "missing file among them), or whose size differs from the result's, is in\n"
        "error and skipped; the result keeps every frame merged before and after it.\n"
        "When no file could be merged at all, OUTPUT is not written.\n"
        "\n"
        "Options:\n"
        "  --op OP              addmax (default), addmin, addmaxlum, subminlum,\n"
        "                       addmaxthreshold, add or sub\n"
        "  --threshold N        threshold of addmaxthreshold (default 0), on the scale of\n"
        "                       --depth: 0..255 at 8 bits, 0..65535 at 16\n"
        "  --depth BITS         8 (default) or 16 bits per channel: at 16 every FILE is\n"
        "                       merged at 16 bits (8-bit FILEs widened exactly, v*257,\n"
        "                       RAW files developed at 16 bits) and OUTPUT and the step\n"
        "                       files are written at 16 bits, so they must be .png or\n"
        "                       .tif (any other name is a usage error). The same for\n"
        "                       --steps, --batch and --moving-max\n"
        "  -o, --output OUTPUT  the picture to write; its extension selects the format\n"
        "                       (.bmp .png .gif .tif .jpg; anything else is written as\n"
        "                       BMP). An existing file is replaced, but never one of\n"
        "                       the FILEs (a usage error, even with --overwrite).\n"
        "  --steps FIRST_STEP_FILE\n"
        "                       also save the result after every merged frame, as a\n"
        "                       numbered step file: the number at the end of the name\n"
        "                       is the first one (sky0042.tif gives sky0042.tif,\n"
        "                       sky0043.tif, ...; sky.png gives sky0001.png, ...). The\n"
        "                       digits widen to the number of FILEs (sky00001.png for\n"
        "                       10,000 or more). A name without an extension gets .bmp.\n"
        "                       With --steps, -o is optional.\n"
        "  --video OUT.mp4      also make a time-lapse video: every step (with --batch\n"
        "                       every outcome) is the next frame of the MP4 video\n"
        "                       OUT.mp4, encoded while the run goes on; --fps,\n"
        "                       --video-width and --crf as for --make-video below.\n"
        "                       Without --steps the video alone is written (the steps\n"
        "                       are computed all the same). An existing OUT.mp4 is\n"
        "                       replaced only with --overwrite, one of the FILEs\n"
        "                       never (status 2); Ctrl+C leaves a video of the steps\n"
        "                       so far\n"
        "  --overwrite          replace existing step files; without it the first\n"
        "                       existing step file stops the run, and it is not written.\n"
        "                       A step file that would be one of the FILEs is never\n"
        "                       written: the run does not start (status 2)\n"
        "  --files-from LIST    read more FILEs from LIST, after the ones on the command\n"
        "                       line: from a list file saved by the program (\"Save\n"
        "                       Current List...\") its checked entries, in order;\n"
        "                       from any other file one name per line (blank lines\n"
        "                       are skipped); \"-\" reads standard input; may be given\n"
        "                       more than once. The excl keys of a list file leave\n"
        "                       areas of its entries out, as --exclude does\n"
        "  --exclude FILE@X,Y,W,H\n"
        "                       leave the area of W x H pixels from column X and row\n"
        "                       Y (from 0, the top left) of FILE out of the merge:\n"
        "                       there the result is the merge of the other FILEs,\n"
        "                       and the frame map names one of them. FILE is found\n"
        "                       by its name among the FILEs, or else as the same\n"
        "                       file; may be given more than once. A plane's or\n"
        "                       satellite's streak goes out of the stack this way\n"
        "  --reject-bright K    measure every FILE first (as --measure does) and leave\n"
        "                       out the bright ones: a FILE whose mean luminosity is\n"
        "                       more than K deviations above the median of the W\n"
        "                       FILEs before it and of the W after it (one side\n"
        "                       where the other has none). The deviation is 1.4826\n"
        "                       times the median change of the mean from one FILE to\n"
        "                       the next, at least one level. K is a number above 0\n"
        "                       (5 is a good start); each FILE left out is named on\n"
        "                       standard error as \"rejected: FILE (mean M, limit L)\".\n"
        "                       Headlights and flashes go; a moon that rises and\n"
        "                       stays, or the dawn, does not\n"
        "  --reject-window W    the W of --reject-bright, 1 to 10000 (default 15)\n"
        "  --jobs N             threads that decode frames ahead of the merge (default:\n"
        "                       the number of processors; 0 decodes each frame on\n"
        "                       the merging thread when it is reached)\n"
        "  --write-jobs N       step files written behind the run at once, each\n"
        "                       holding a copy of the result (default 4; 0 writes\n"
        "                       each step before the run goes on); the files are the\n"
        "                       same either way\n"
        "  --stats              at the end, report on standard error how long the run\n"
        "                       took (megapixels and frames per second), where the\n"
        "                       frames were decoded and how long writing OUTPUT took\n"
        "  --frame-map MAP.png  with --op addmax or addmaxlum: also write which FILE made\n"
        "                       each pixel of the result, as a 16-bit grey PNG (the\n"
        "                       FILE's position + 1, the first FILE being position 0;\n"
        "                       0 where no FILE did), and MAP.csv beside it\n"
        "                       (position,file for every FILE)\n"
        "  --fill-gaps          with --op addmax or addmaxlum: fill the gaps between the\n"
        "                       frames, so that every trail is unbroken. How the sky\n"
        "                       turns is measured on the stars of the first 4 frames;\n"
        "                       each frame's star pixels (well above their local\n"
        "                       background) are merged again turned about the pole\n"
        "                       through the gap, in steps of at most a pixel; the\n"
        "                       ground and the last frame are never turned. The gap is\n"
        "                       1 - exposure / interval, from the EXIF exposure time\n"
        "                       and shooting times of the FILEs, else --gap-fraction\n"
        "  --gap-fraction F     the share of each interval between frames that the\n"
        "                       shutter was closed, 0 to 0.9 (default 0.1); wins over\n"
        "                       EXIF\n"
        "  --sky-mask FILE      a picture of the frames' size, white where the sky is:\n"
        "                       nothing outside the sky is turned by --fill-gaps\n"
        "  --fade-in F          with --op addmax or addmaxlum: the first F frames fade\n"
        "                       in, frame k (0 for the first) weighing (k+1)/(F+1)\n"
        "  --fade-out F         the last F frames fade out: frame k of M weighs\n"
        "                       (M-k)/(F+1) from k = M-F on\n"
        "  --comet              frame k of M weighs (k+1)/M: trails taper toward their\n"
        "                       start like a comet's tail\n"
        "  --fade-min M         no weight goes below M, 0 to 1 (default 0)\n"
        "                       A frame's weight is the product of the fades' weights\n"
        "                       as an exact fraction w, then at least M; its factor\n"
        "                       is a = round(w * 65536) (halves up; M likewise) and\n"
        "                       every channel value v becomes (v * a + 32768) div 65536\n"
        "                       before the frame is merged. k counts the frames merged\n"
        "                       before, M the FILEs.\n"
        "  --measure            merge nothing: print on standard output the mean\n"
        "                       luminosity, (R + G + B) div 3, of every FILE as CSV\n"
        "                       (header file,mean_luminosity; two decimals; empty for\n"
        "                       a FILE that does not load). JPEGs are measured at 1/8\n"
        "                       of their size, which changes the mean by a fraction\n"
        "                       of a level. Exit status 1 when some FILE did not load\n"
        "  --batch FUNCTION     dark, add, flat, multiply, square or cube: instead of\n"
        "                       merging, apply the batch function to every FILE on its\n"
        "                       own against the reference picture REF and write each\n"
        "                       outcome as a numbered file (--steps), as the window's\n"
        "                       \"Apply to All\" does: dark (subtract REF), add (add\n"
        "                       REF), flat (divide by REF), multiply (by REF), square\n"
        "                       or cube (of the picture itself). For each\n"
        "                       channel a (picture), b (REF), factor c, offset d:\n"
        "                       dark a + d - b*c/255; add a + b*c/255 + d;\n"
        "                       flat a*c/(255*b) + d (255 + d where b is 0);\n"
        "                       multiply a*b*c/255 + d; square a*a/c + d;\n"
        "                       cube a*a*a/c + d (c of 0 counts as 1); every division\n"
        "                       drops its remainder; the outcome is kept within\n"
        "                       0..255. At --depth 16 read 65535 for every 255 (white).\n"
        "                       A FILE whose size differs from REF's is in\n"
        "                       error (a 1 x 1 REF acts as a black picture of any\n"
        "                       size).\n"
        "  --reference REF      the reference picture; needed by dark, add, flat and\n"
        "                       multiply; square and cube use the first FILE (they\n"
        "                       only need its size). A REF that cannot be loaded\n"
        "                       (missing, not a picture, damaged) is a usage error.\n"
        "  --factor N           0 to 255 (default 255), or 0 to 65025 for cube\n"
        "                       (default 65025); at --depth 16: 0 to 65535 (default\n"
        "                       65535), or 0 to 4294836225 for cube (the default)\n"
        "  --offset N           -255 to 255 (default 0); at --depth 16 -65535 to 65535\n"
        "  -h, --help           show this help and end\n"
        "  --version            print the version and end\n"
        "\n"
        "While it runs, a progress line on standard error (only when that is a\n"
        "terminal) shows the frames done, frames per second and the time left.\n"
        "Ctrl+C, SIGTERM and SIGHUP stop the run after the current frame; the step\n"
        "files being written are finished and the result merged so far is still\n"
        "written to OUTPUT. A second one ends the program at once, removing the\n"
        "temporary files of the saves under way.\n"
        "\n"
        "At the end it prints \"N File(s) in Error\" on standard output, and names\n"
        "the files in error and the files not written (with why) on standard error.\n",
        out);
    nocturo::cli::PrintSearchUsage(out);
    nocturo::cli::PrintMovingMaxUsage(out);
    nocturo::cli::PrintMakeVideoUsage(out);
    std::fputs(
        "\n"
        "Exit status:\n"
        "  0    no FILE was in error\n"
        "  1    some FILE was in error: it could not be loaded, or its size differed\n"
        "  2    a usage error, or an output could not be written: OUTPUT, a step file,\n"
        "       a frame map, a search copy, a moving-maximum output, a video, an\n"
        "       existing output without --overwrite, or an output that would be one\n"
        "       of the FILEs\n"
        "  128+N  stopped by signal N: 130 for Ctrl+C (SIGINT), 143 for SIGTERM,\n"
        "       129 for SIGHUP\n",
        out);
}

// The folder a file would be written into must exist and be writable. This
// is checked before the run, so that a typing error in a folder name does not
// cost a whole night's run. A picture is saved by renaming a new file over
// the name, which would replace a device such as /dev/null: only a regular
// file may be there already.
bool CheckOutputFile(const std::string& fileName, std::string& problem) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        problem = "it exists and is not a regular file";
        return false;
    }
    return FolderWritable(fileName, problem);
}

struct Options {
    ImageOperation op = nocturo::AddMax;
    bool haveOp = false;
    /// The batch function's list index; -1 merges instead.
    int batch = -1;
    std::string reference;
    std::optional<int64_t> factor;
    std::optional<int32_t> offset;
    int32_t threshold = 0;
    /// Bits per channel of the run: 8 or 16.
    int depth = 8;
    nocturo::cli::ConsoleSettings console;
    int writeJobs = nocturo::WriteOptions{}.inFlight;
    bool stats = false;
    bool measure = false;
    std::string frameMap;
    nocturo::cli::TrailArgs trails;
    /// --reject-bright K (0: not given) and --reject-window W.
    double rejectBright = 0;
    int32_t rejectWindow = 0;
    /// FILEs, --files-from and --jobs (-1 until parsed: one per processor).
    nocturo::cli::InputOptions input;
    /// --video OUT.mp4 and its settings; no name when not asked for.
    nocturo::VideoRequest video;
    bool videoSettings = false;
};

// Checks --measure and --frame-map against the other options; returns -1
// when they fit, otherwise the exit status.
int CheckNightOptions(const Options& options, bool haveOutput, bool haveSteps) {
    if (options.measure) {
        if (haveOutput || haveSteps || !options.frameMap.empty()) {
            return UsageError(
                "--measure writes no picture: it takes no -o, --steps or --frame-map");
        }
        if (options.input.files.empty()) {
            return UsageError("no input files given");
        }
        return -1;
    }
    if (options.frameMap.empty()) {
        return -1;
    }
    if (options.op != nocturo::AddMax && options.op != nocturo::AddMaxLum) {
        return UsageError("--frame-map needs --op addmax or --op addmaxlum");
    }
    const std::string csv = nocturo::FrameMapCsvName(options.frameMap);
    if (csv == options.frameMap) {
        return UsageError("--frame-map needs a picture name, not a .csv name");
    }
    std::string problem;
    for (const std::string& name : {options.frameMap, csv}) {
        if (!CheckOutputFile(name, problem)) {
            return UsageError("cannot write " + name + ": " + problem);
        }
    }
    return -1;
}

// --measure: the table of mean luminosities, in the order of the FILEs.
int RunMeasure(const Options& options) {
    nocturo::LuminosityCache cache;
    {
        nocturo::NightMeasurer measurer(cache, std::max(1, options.input.jobs));
        measurer.Start(options.input.files);
        measurer.Wait();
    }
    int failed = 0;
    std::string table = "file,mean_luminosity\n";
    for (const std::string& name : options.input.files) {
        const std::optional<nocturo::MeasuredValue> value = cache.Find(name);
        table += nocturo::CsvField(name);
        table += ',';
        if (value && value->mean) {
            table += nocturo::FormatMean(*value->mean);
        } else {
            ++failed;
        }
        table += '\n';
    }
    std::fwrite(table.data(), 1, table.size(), stdout);
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "nocturo-stack: cannot write the table: %s\n", std::strerror(errno));
        return 2;
    }
    return failed == 0 ? 0 : 1;
}

// K of --reject-bright: a number above 0, at most 1000.
bool ParseDeviations(const std::string& text, double& value) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno != 0 || !(v > 0) || v > 1000) {
        return false;
    }
    value = v;
    return true;
}

// --reject-bright: measures the FILEs, leaves out the bright ones and names
// each on standard error.
void RejectBrightFiles(Options& options) {
    nocturo::LuminosityCache cache;
    {
        nocturo::NightMeasurer measurer(cache, std::max(1, options.input.jobs));
        measurer.Start(options.input.files);
        measurer.Wait();
    }
    std::vector<std::optional<double>> means;
    for (const std::string& name : options.input.files) {
        const std::optional<nocturo::MeasuredValue> value = cache.Find(name);
        means.push_back(value ? value->mean : std::nullopt);
    }
    const int window =
        options.rejectWindow > 0 ? options.rejectWindow : nocturo::kBrightWindowDefault;
    std::vector<bool> rejected(options.input.files.size(), false);
    for (const nocturo::BrightFrame& frame :
         nocturo::FindBrightFrames(means, window, options.rejectBright)) {
        rejected[static_cast<size_t>(frame.index)] = true;
        std::fprintf(stderr, "rejected: %s (mean %s, limit %s)\n",
                     options.input.files[static_cast<size_t>(frame.index)].c_str(),
                     nocturo::FormatMean(frame.mean).c_str(),
                     nocturo::FormatMean(frame.limit).c_str());
    }
    std::vector<std::string> kept;
    for (size_t k = 0; k < rejected.size(); ++k) {
        if (!rejected[k]) {
            kept.push_back(std::move(options.input.files[k]));
        }
    }
    options.input.files = std::move(kept);
}

// Two names of one file, as far as can be told before either exists.
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    const auto canonicalA = std::filesystem::weakly_canonical(a, error);
    if (error) {
        return a == b;
    }
    const auto canonicalB = std::filesystem::weakly_canonical(b, error);
    return error ? a == b : canonicalA == canonicalB;
}

// --frame-map: writes the map of the run and its CSV; false (with a message)
// when it cannot.
bool WriteFrameMap(const nocturo::RunState& state, const Options& options) {
    const nocturo::FrameMap* map = state.CurrentFrameMap();
    if (map == nullptr) {
        std::fprintf(stderr, "nocturo-stack: no frame map to write to %s: no FILE was merged\n",
                     options.frameMap.c_str());
        return false;
    }
    std::vector<std::pair<int, std::string>> names;
    names.reserve(options.input.files.size());
    for (size_t k = 0; k < options.input.files.size(); ++k) {
        names.emplace_back(static_cast<int>(k), options.input.files[k]);
    }
    std::string problem;
    if (!nocturo::SaveFrameMap(*map, options.frameMap, "position,file", names, problem)) {
        std::fprintf(stderr, "nocturo-stack: cannot write the frame map: %s\n", problem.c_str());
        return false;
    }
    return true;
}

// Returns -1 when the run should go ahead, otherwise the exit status.
int ParseOptions(int argc, char** argv, Options& options) {
    bool haveOutput = false;
    bool haveSteps = false;
    for (int i = 1; i < argc; ++i) {
        const OptionArg option(argv[i]);
        const std::string& arg = option.name;
        const bool hasInlineValue = option.hasInlineValue;
        auto value = [&](std::string& out) { return option.Value(argc, argv, i, out); };
        if (int status = -1; options.input.Take(option, argc, argv, i, status)) {
            if (status >= 0) {
                return status;
            }
            continue;
        }
        if (int status = -1;
            nocturo::cli::TakeTrailOption(option, argc, argv, i, options.trails, status)) {
            if (status >= 0) {
                return status;
            }
            continue;
        }
        if (const int status =
                nocturo::cli::TakeVideoOption(option, "--video", argc, argv, i, options.video);
            status != nocturo::cli::kNotVideo) {
            if (status >= 0) {
                return status;
            }
            options.videoSettings = options.videoSettings || arg != "--video";
            continue;
        }
        std::string text;
        if (arg == "-h" || arg == "--help") {
            PrintUsage(stdout);
            return 0;
        } else if (arg == "--op") {
            if (!value(text)) {
                return UsageError("--op needs an operation");
            }
            options.op = nullptr;
            for (const auto& known : kOperations) {
                if (text == known.name) {
                    options.op = known.op;
                }
            }
            if (options.op == nullptr) {
                return UsageError("unknown operation: " + text);
            }
            options.haveOp = true;
        } else if (arg == "--batch") {
            if (!value(text)) {
                return UsageError("--batch needs a function");
            }
            options.batch = -1;
            for (int k = 0; k < nocturo::kBatchFunctionCount; ++k) {
                if (text == kBatchNames[k]) {
                    options.batch = k;
                }
            }
            if (options.batch < 0) {
                return UsageError("unknown batch function: " + text +
                                  " (dark, add, flat, multiply, square or cube)");
            }
        } else if (arg == "--reference") {
            if (!value(text) || text.empty()) {
                return UsageError("--reference needs a file name");
            }
            options.reference = text;
        } else if (arg == "--factor") {
            int64_t factor = 0;
            if (!value(text) || !nocturo::cli::ParseInt64(text, factor)) {
                return UsageError("--factor needs a whole number");
            }
            options.factor = factor;
        } else if (arg == "--depth") {
            if (!value(text) || !nocturo::cli::ParseDepth(text, options.depth)) {
                return UsageError("--depth needs 8 or 16");
            }
        } else if (arg == "--offset") {
            int32_t offset = 0;
            if (!value(text) || !ParseInt(text, INT32_MIN, INT32_MAX, offset)) {
                return UsageError("--offset needs a whole number");
            }
            options.offset = offset;
        } else if (arg == "--threshold") {
            if (!value(text) || !ParseInt(text, INT32_MIN, INT32_MAX, options.threshold)) {
                return UsageError("--threshold needs a whole number");
            }
        } else if (arg == "-o" || arg == "--output") {
            if (!value(text) || text.empty()) {
                return UsageError("-o needs a file name");
            }
            options.console.output = text;
            haveOutput = true;
        } else if (arg == "--steps") {
            if (!value(text) || text.empty()) {
                return UsageError("--steps needs the name of the first step file");
            }
            options.console.firstStepFile = text;
            haveSteps = true;
        } else if (arg == "--overwrite") {
            if (hasInlineValue) {
                return UsageError("--overwrite takes no value");
            }
            options.console.overwrite = true;
        } else if (arg == "--measure") {
            if (hasInlineValue) {
                return UsageError("--measure takes no value");
            }
            options.measure = true;
        } else if (arg == "--frame-map") {
            if (!value(text) || text.empty()) {
                return UsageError("--frame-map needs a file name");
            }
            options.frameMap = text;
        } else if (arg == "--reject-bright") {
            if (!value(text) || !ParseDeviations(text, options.rejectBright)) {
                return UsageError("--reject-bright needs a number above 0, at most 1000");
            }
        } else if (arg == "--reject-window") {
            if (!value(text) || !ParseInt(text, 1, 10000, options.rejectWindow)) {
                return UsageError("--reject-window needs a number from 1 to 10000");
            }
        } else if (arg == "--stats") {
            if (hasInlineValue) {
                return UsageError("--stats takes no value");
            }
            options.stats = true;
        } else if (arg == "--write-jobs") {
            int32_t jobs = 0;
            if (!value(text) || !ParseInt(text, 0, kMaxJobs, jobs)) {
                return UsageError("--write-jobs needs a number from 0 to " +
                                  std::to_string(kMaxJobs));
            }
            options.writeJobs = jobs;
        } else {
            return UsageError("unknown option: " + std::string(argv[i]));
        }
    }
    if (const int status = options.input.ReadLists(); status >= 0) {
        return status;
    }
    if (options.input.jobs < 0) {
        options.input.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    if (const int status = CheckNightOptions(options, haveOutput, haveSteps); status >= 0) {
        return status;
    }
    const bool haveVideo = !options.video.fileName.empty();
    if (options.videoSettings && !haveVideo) {
        return UsageError("--fps, --video-width and --crf go with --video OUT.mp4");
    }
    if (haveVideo && (options.measure || !options.frameMap.empty())) {
        return UsageError(
            "--video goes with merges and --batch, not with --measure or --frame-map");
    }
    if (options.rejectWindow > 0 && options.rejectBright <= 0) {
        return UsageError("--reject-window goes with --reject-bright");
    }
    if (options.rejectBright > 0 && (options.measure || options.batch >= 0)) {
        return UsageError(
            "--reject-bright leaves FILEs out of a merge: not with --measure or "
            "--batch");
    }
    if (options.measure) {
        return -1;
    }
    // The ranges follow the depth: 65535 stands for white at 16 bits.
    const int32_t white = options.depth == 16 ? 65535 : 255;
    if (options.batch >= 0) {
        const int64_t most = nocturo::DefaultFactor(options.batch, options.depth);
        if (options.haveOp || options.threshold != 0) {
            return UsageError("--batch does not merge: --op and --threshold do not apply");
        }
        if (haveOutput) {
            return UsageError("--batch writes one file per FILE: name them with --steps");
        }
        if (!haveSteps && !haveVideo) {
            return UsageError("--batch needs --steps FIRST_STEP_FILE or --video OUT.mp4");
        }
        if (options.reference.empty() && options.batch < 4) {
            return UsageError(std::string("--batch ") + kBatchNames[options.batch] +
                              " needs --reference REF");
        }
        if (options.factor && (*options.factor < 0 || *options.factor > most)) {
            return UsageError("--factor of " + std::string(kBatchNames[options.batch]) +
                              " must be from 0 to " + std::to_string(most));
        }
        if (options.offset && (*options.offset < -white || *options.offset > white)) {
            return UsageError("--offset must be from -" + std::to_string(white) + " to " +
                              std::to_string(white));
        }
    } else if (!options.reference.empty() || options.factor || options.offset) {
        return UsageError("--reference, --factor and --offset go with --batch");
    }
    if (const int status = nocturo::cli::CheckTrailOptions(
            options.trails, options.batch < 0 && (options.op == nocturo::AddMax ||
                                                  options.op == nocturo::AddMaxLum));
        status >= 0) {
        return status;
    }
    if (!haveOutput && !haveSteps && !haveVideo) {
        return UsageError(
            "no output given (-o OUTPUT, --steps FIRST_STEP_FILE or --video OUT.mp4)");
    }
    if (options.input.files.empty()) {
        return UsageError("no input files given");
    }
    if (options.depth == 16) {
        for (const std::string* name : {&options.console.output, &options.console.firstStepFile}) {
            if (!name->empty() && !nocturo::SaveFormatHolds16Bits(*name)) {
                return UsageError(nocturo::cli::EightBitNameProblem(*name));
            }
        }
    }
    std::string problem;
    if (haveOutput && !CheckOutputFile(options.console.output, problem)) {
        return UsageError("cannot write " + options.console.output + ": " + problem);
    }
    if (haveSteps && !CheckOutputFile(options.console.firstStepFile, problem)) {
        return UsageError("cannot write step files " + options.console.firstStepFile + ": " +
                          problem);
    }
    if (haveVideo) {
        options.video.replace = options.console.overwrite;
        return nocturo::cli::CheckVideoOutput(options.video, options.input.files);
    }
    return -1;
}

// The first of files that loads as a picture; the first name when none
// does (the batch command then says that it cannot be loaded).
std::string FirstLoadableFile(const std::vector<std::string>& files) {
    nocturo::RgbImage probe;
    for (const std::string& name : files) {
        if (nocturo::LoadImageFile(probe, name)) {
            return name;
        }
    }
    return files.front();
}

void PrintStats(const nocturo::cli::ConsoleHost& host, int frames,
                const nocturo::DecodeStats& decoded, const std::string& output) {
    const double seconds = host.RunSeconds();
    const double megapixels = host.MergedPixels() / 1e6;
    std::fprintf(stderr,
                 "nocturo-stack: %d frames, %.1f megapixels merged in %.3f s (%.1f MP/s, %.1f "
                 "frames/s); decoded ahead: %lld, on the merging thread: %lld\n",
                 frames, megapixels, seconds, seconds > 0 ? megapixels / seconds : 0.0,
                 seconds > 0 ? frames / seconds : 0.0, static_cast<long long>(decoded.prefetched),
                 static_cast<long long>(decoded.loadedByRun));
    if (!output.empty()) {
        std::fprintf(stderr, "nocturo-stack: %s written in %.3f s\n", output.c_str(),
                     host.SaveSeconds());
    }
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("nocturo-stack %s\n", NOCTURO_VERSION);
            return 0;
        }
    }
    if (nocturo::cli::IsSearchCommand(argc, argv)) {
        return nocturo::cli::RunSearchCommand(argc, argv);
    }
    const bool movingMax = nocturo::cli::WantsMovingMax(argc, argv);
    const bool makeVideo = nocturo::cli::WantsMakeVideo(argc, argv);
    if (movingMax || makeVideo) {
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
                PrintUsage(stdout);
                return 0;
            }
        }
        if (movingMax && makeVideo) {
            return UsageError("--moving-max and --make-video are separate commands");
        }
        return movingMax ? nocturo::cli::MovingMaxMain(argc, argv)
                         : nocturo::cli::MakeVideoMain(argc, argv);
    }
    Options options;
    const int parsed = ParseOptions(argc, argv, options);
    if (parsed >= 0) {
        return parsed;
    }
    if (options.measure) {
        return RunMeasure(options);
    }
    const bool withSteps = !options.console.firstStepFile.empty();
    const bool withVideo = !options.video.fileName.empty();
    options.console.firstIsMerged = options.batch < 0;
    // The result and the frame map are written after the frames are read,
    // but no run writes over one of its own frames, --overwrite or not.
    // (The step files are checked by the run itself.)
    {
        std::vector<std::string> outputs;
        if (!options.console.output.empty()) {
            outputs.push_back(options.console.output);
        }
        if (!options.frameMap.empty()) {
            outputs.push_back(options.frameMap);
            outputs.push_back(nocturo::FrameMapCsvName(options.frameMap));
        }
        if (const auto own = nocturo::FirstOwnInput(outputs, options.input.files)) {
            return UsageError(*own + " is one of the input FILEs: a run never writes over them");
        }
    }

    if (options.rejectBright > 0) {
        RejectBrightFiles(options);
    }
    nocturo::ListPair lists;
    // Copied: the frame map's CSV names the FILEs afterwards.
    nocturo::cli::FillLeftList(lists, options.input.files);
    if (const int status = options.input.ApplyExcluded(lists.Left()); status >= 0) {
        return status;
    }
    const int total = lists.Left().Count();

    nocturo::RunState state;
    state.Depth = options.depth;
    nocturo::DecodeStats decodeStats;
    state.Decode.stats = &decodeStats;
    state.Decode.threads = options.input.jobs;
    // The run starts no more workers than frames it decodes ahead.
    state.Decode.ahead = std::max(state.Decode.ahead, options.input.jobs);
    state.Writes.inFlight = options.writeJobs;
    // Every step is a frame of the video too; without --steps the video
    // alone is written.
    nocturo::VideoWriter video;
    if (withVideo) {
        if (!video.Open(options.video.fileName, options.video.settings, options.video.replace)) {
            return UsageError("cannot write " + options.video.fileName + ": " + video.Reason());
        }
        state.Writes.video = &video;
        state.Writes.stepFiles = withSteps;
    }
    nocturo::MaxThreshold = options.threshold;
    state.RecordFrameMap = !options.frameMap.empty();
    state.Trails = options.trails.trails;

    nocturo::cli::InstallInterruptHandler();
    nocturo::cli::ProgressLine progress(stderr, ::isatty(STDERR_FILENO) == 1, total);
    nocturo::cli::ConsoleHost host(options.console, state, progress);
    // The map is compressed while the result is written, unless they share
    // a file name (then the map, written last, stays as before).
    if (!options.frameMap.empty() && !SameFile(options.frameMap, options.console.output) &&
        !SameFile(nocturo::FrameMapCsvName(options.frameMap), options.console.output)) {
        host.DoBesideSave([&state, &options] {
            try {
                return WriteFrameMap(state, options);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "nocturo-stack: cannot write the frame map: %s\n", e.what());
                return false;
            }
        });
    }
    nocturo::RunContext context{lists, state, host};

    host.RunStarted();
    try {
        if (options.batch >= 0) {
            nocturo::BatchRequest request;
            request.functionIndex = options.batch;
            // Square and cube read no reference pixels; the first frame that
            // loads gives the size.
            request.referenceFileName = options.reference.empty()
                                            ? FirstLoadableFile(options.input.files)
                                            : options.reference;
            // Already on the scale of the depth.
            request.factor =
                options.factor.value_or(nocturo::DefaultFactor(options.batch, options.depth));
            request.offset = options.offset.value_or(0);
            switch (nocturo::RunBatchCommand(context, request, nocturo::BatchMode::ApplyToAll)) {
                case nocturo::BatchOutcome::ReferenceNotLoaded:
                    if (options.reference.empty()) {
                        return UsageError("none of the FILEs can be loaded");
                    }
                    return UsageError("cannot load the reference picture " +
                                      request.referenceFileName +
                                      " (missing, not a picture, or damaged)");
                case nocturo::BatchOutcome::Cancelled: {
                    const std::string why = host.Messages().empty()
                                                ? "the number at its end is too large"
                                                : host.Messages().back();
                    return UsageError("--steps " + options.console.firstStepFile + ": " + why);
                }
                case nocturo::BatchOutcome::NothingDone:
                case nocturo::BatchOutcome::Done:
                    break;
            }
        } else if (withSteps || withVideo) {
            // The name is always given, so a refusal can only mean that its
            // number does not fit; the run says why in a message.
            if (!nocturo::PrepareStepSaving(context, options.op, nullptr, true)) {
                const std::string why = host.Messages().empty()
                                            ? "the number at its end is too large"
                                            : host.Messages().back();
                return UsageError("--steps " + options.console.firstStepFile + ": " + why);
            }
        } else {
            nocturo::StackingRun(context, options.op, nullptr, false, true);
        }
    } catch (const std::exception& e) {
        progress.Clear();
        std::fprintf(stderr, "nocturo-stack: the run failed: %s\n", e.what());
        return 2;
    }
    host.RunEnded();
    progress.Finish();

    // The run saves the result itself only when it went to its end without
    // steps; with steps, or when stopped, -o still asks for it. A run that
    // merged nothing has only the empty image: an existing OUTPUT is worth
    // more than that.
    if (host.Merged() == 0) {
        if (!options.console.output.empty()) {
            std::fprintf(stderr, "nocturo-stack: no frame was merged; %s not written\n",
                         options.console.output.c_str());
        }
    } else if (!host.ResultSaveRequested()) {
        host.SaveOutput();
    }

    bool outputProblem = host.OutputFailed();
    if (!options.frameMap.empty()) {
        const std::optional<bool> written = host.BesideSaveOutcome();
        if (written ? !*written : !WriteFrameMap(state, options)) {
            outputProblem = true;
        }
    }
    if (withSteps || withVideo) {
        // They are named with the report below.
        if (!host.Report().unwritten.empty()) {
            outputProblem = true;
        }
        if (withSteps && host.OverwriteRefused()) {
            const std::string name =
                nocturo::StepFileName(state.Steps, state.Steps.StepNumber, lists.Left().Count());
            std::fprintf(stderr,
                         "nocturo-stack: stopped: the step file %s exists (--overwrite "
                         "replaces it)\n",
                         name.c_str());
            outputProblem = true;
        }
    }
    if (nocturo::cli::Interrupted()) {
        std::fprintf(stderr, "nocturo-stack: interrupted after %d of %d frames\n", progress.Done(),
                     total);
    }
    if (options.stats) {
        PrintStats(host, progress.Done(), decodeStats, options.console.output);
        nocturo::cli::PrintTrailStats(stderr, state.LastTrails);
    }

    host.PrintReportLines(stderr);
    for (const std::string& message : host.Messages()) {
        std::printf("%s\n", message.c_str());
    }
    std::fflush(stdout);

    return nocturo::cli::ExitStatus(outputProblem, host.Errors());
}
