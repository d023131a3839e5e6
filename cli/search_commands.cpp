#include "cli/search_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_options.h"
#include "cli/console_host.h"
#include "core/image_file.h"
#include "engine/meteor_search.h"
#include "engine/run_state.h"
#include "engine/search_run.h"
#include "lang/language_strings.h"
#include "lists/list_pair.h"

namespace nocturo::cli {

namespace {

// Numbers separated by `separator`, each within its range.
bool ParseList(const std::string& text, char separator,
               const std::vector<std::pair<long, long>>& ranges, std::vector<int32_t>& values) {
    values.clear();
    size_t start = 0;
    for (size_t k = 0; k < ranges.size(); ++k) {
        const size_t stop = k + 1 < ranges.size() ? text.find(separator, start) : text.size();
        if (stop == std::string::npos) {
            return false;
        }
        int32_t value = 0;
        if (!ParseInt(text.substr(start, stop - start), ranges[k].first, ranges[k].second, value)) {
            return false;
        }
        values.push_back(value);
        start = stop + 1;
    }
    return true;
}

struct SearchOptions {
    bool meteor = false;
    int32_t pointX = -1;
    int32_t pointY = -1;
    SearchParams params;
    SearchOperation operation = DetectObject;
    std::string saveTo;
    std::string extension = ".bmp";
    bool overwrite = false;
    InputOptions input;
};

// The parameters window's part, answered from the options.
class OptionsWindow : public SearchWindow {
  public:
    explicit OptionsWindow(const SearchOptions& options) : options_(options) {}
    void SetOutputName(const std::string&) override {}
    std::optional<SearchChoice> Execute(bool, const std::string&) override {
        SearchChoice choice;
        choice.params = options_.params;
        choice.save = !options_.saveTo.empty();
        if (choice.save) {
            std::string folder = options_.saveTo;
            if (folder.back() != '/') {
                folder += '/';
            }
            choice.name = folder + "(CurrentFileName)" + options_.extension;
        }
        return choice;
    }

  private:
    const SearchOptions& options_;
};

int Parse(int argc, char** argv, SearchOptions& options) {
    bool search = false;
    bool mark = false;
    bool crop = false;
    bool haveExtension = false;
    for (int i = 1; i < argc; ++i) {
        const OptionArg option(argv[i]);
        const std::string& arg = option.name;
        const bool hasInlineValue = option.hasInlineValue;
        auto value = [&](std::string& out) { return option.Value(argc, argv, i, out); };
        auto flag = [&](const char* name) {
            if (hasInlineValue) {
                UsageError(std::string(name) + " takes no value");
                return false;
            }
            return true;
        };
        if (int status = -1; options.input.Take(option, argc, argv, i, status)) {
            if (status >= 0) {
                return status;
            }
            continue;
        }
        std::string text;
        std::vector<int32_t> numbers;
        if (arg == "--search") {
            if (!flag("--search")) {
                return 2;
            }
            search = true;
        } else if (arg == "--meteor") {
            if (!value(text) ||
                !ParseList(text, ',', {{INT32_MIN, INT32_MAX}, {INT32_MIN, INT32_MAX}}, numbers)) {
                return UsageError("--meteor needs the point as X,Y");
            }
            options.meteor = true;
            options.pointX = numbers[0];
            options.pointY = numbers[1];
        } else if (arg == "--min-level") {
            if (!value(text) || !ParseInt(text, 0, 255, options.params.MinLevel)) {
                return UsageError("--min-level needs a number from 0 to 255");
            }
        } else if (arg == "--min-pixels") {
            if (!value(text) || !ParseInt(text, 0, 1000, options.params.MinPixels)) {
                return UsageError("--min-pixels needs a number from 0 to 1000");
            }
        } else if (arg == "--margins") {
            if (!value(text) ||
                !ParseList(text, ',', {{0, 1000}, {0, 1000}, {0, 1000}, {0, 100}}, numbers)) {
                return UsageError(
                    "--margins needs L,R,T,B (left, right and top 0 to 1000, bottom 0 to 100)");
            }
            options.params.Left = numbers[0];
            options.params.Right = numbers[1];
            options.params.Top = numbers[2];
            options.params.Bottom = numbers[3];
        } else if (arg == "--mark") {
            if (!flag("--mark")) {
                return 2;
            }
            mark = true;
            options.operation = MarkObject;
        } else if (arg == "--crop") {
            if (!value(text) || !ParseList(text, 'x', {{1, 1000}, {1, 1000}}, numbers)) {
                return UsageError("--crop needs WIDTHxHEIGHT, each from 1 to 1000");
            }
            crop = true;
            options.operation = CropObject;
            options.params.CropWidth = numbers[0];
            options.params.CropHeight = numbers[1];
        } else if (arg == "--save-to") {
            if (!value(text) || text.empty()) {
                return UsageError("--save-to needs a folder");
            }
            options.saveTo = text;
        } else if (arg == "--ext") {
            if (!value(text) || text.empty() || text == "." ||
                text.find('/') != std::string::npos) {
                return UsageError("--ext needs an extension such as .png");
            }
            options.extension = text.front() == '.' ? text : "." + text;
            haveExtension = true;
        } else if (arg == "--overwrite") {
            if (!flag("--overwrite")) {
                return 2;
            }
            options.overwrite = true;
        } else {
            return UsageError("unknown option for --search or --meteor: " + std::string(argv[i]));
        }
    }
    if (const int status = options.input.ReadLists(); status >= 0) {
        return status;
    }
    if (search && options.meteor) {
        return UsageError("--search and --meteor do not go together");
    }
    if (mark && crop) {
        return UsageError("--mark and --crop do not go together");
    }
    if (options.meteor && (mark || crop || !options.saveTo.empty() || haveExtension)) {
        return UsageError("--meteor takes no search or saving options");
    }
    if (haveExtension && options.saveTo.empty()) {
        return UsageError("--ext needs --save-to");
    }
    if (options.input.files.empty()) {
        return UsageError("no input files given");
    }
    if (!options.saveTo.empty()) {
        struct stat st {};
        if (::stat(options.saveTo.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            return UsageError("--save-to: no such folder: " + options.saveTo);
        }
        if (::access(options.saveTo.c_str(), W_OK) != 0) {
            return UsageError("--save-to: folder not writable: " + options.saveTo);
        }
    }
    if (options.input.jobs < 0) {
        options.input.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    return -1;
}

void ReportFailures(const FileList& left, int errors) {
    for (int i = 0; i < left.Count(); ++i) {
        if (!left.IsEnabled(i)) {
            std::fprintf(stderr, "nocturo-stack: in error: %s\n", left.Text(i).c_str());
        }
    }
    std::fprintf(stderr, "%s\n", FormatText(Lng().lngfilesinerror, errors).c_str());
}

}  // namespace

bool IsSearchCommand(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            break;
        }
        if (arg == "--search" || arg == "--meteor" || arg.rfind("--meteor=", 0) == 0) {
            return true;
        }
        if (arg == "-h" || arg == "--help") {
            return false;
        }
    }
    return false;
}

int RunSearchCommand(int argc, char** argv) {
    SearchOptions options;
    const int parsed = Parse(argc, argv, options);
    if (parsed >= 0) {
        return parsed;
    }

    ListPair lists;
    FillLeftList(lists, std::move(options.input.files));
    RunState state;
    state.Decode.threads = options.input.jobs;
    state.Decode.ahead = std::max(state.Decode.ahead, options.input.jobs);
    // The search names what it did in its own report.
    ConsoleSettings settings;
    settings.overwrite = options.overwrite;
    settings.countFrames = false;
    ProgressLine noProgress(stderr, false, 0);
    ConsoleHost host(settings, state, noProgress);
    RunContext context{lists, state, host};
    InstallInterruptHandler();

    int errors = 0;
    bool outputProblem = false;
    try {
        if (options.meteor) {
            const MeteorOutcome outcome = MaximumSearch(context, options.pointX, options.pointY);
            errors = outcome.errors;
            for (const std::string& name : outcome.chain) {
                std::printf("%s\n", name.c_str());
            }
        } else {
            OptionsWindow window(options);
            const SearchOutcome outcome =
                RunSearch(context, options.operation, false, std::string(), std::string(), window);
            if (!outcome.ownInput.empty()) {
                return UsageError("the copy " + outcome.ownInput +
                                  " would be one of the input FILEs: a run never writes over "
                                  "them");
            }
            errors = outcome.errors;
            const FileList& right = lists.Right();
            for (int i = 0; i < right.Count(); ++i) {
                const std::string& name = right.Text(i);
                if (right.IsEnabled(i)) {
                    std::printf("%s\n", name.c_str());
                    continue;
                }
                std::string why;
                for (const FailedWrite& failed : outcome.failedWrites) {
                    if (failed.name == name) {
                        why = " (" + failed.reason + ")";
                    }
                }
                if (why.empty() && host.OverwriteRefused() && ::access(name.c_str(), F_OK) == 0) {
                    why = " (it exists; --overwrite replaces it)";
                }
                std::fprintf(stderr, "nocturo-stack: not written: %s%s\n", name.c_str(),
                             why.c_str());
                outputProblem = true;
            }
            std::fprintf(
                stderr, "%s\n",
                FormatText(Lng().txtFramesFound, static_cast<long long>(outcome.found.size()))
                    .c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "nocturo-stack: the run failed: %s\n", e.what());
        return 2;
    }
    std::fflush(stdout);
    ReportFailures(lists.Left(), errors);
    return ExitStatus(outputProblem, errors);
}

void PrintSearchUsage(FILE* out) {
    std::fputs(
        "\n"
        "Searching:\n"
        "  nocturo-stack --search [--min-level N] [--min-pixels N] [--margins L,R,T,B]\n"
        "                [--mark | --crop WxH] [--save-to FOLDER [--ext .EXT]] FILE...\n"
        "  nocturo-stack --meteor X,Y FILE...\n"
        "\n"
        "  --search             print, one per line, every FILE that holds a bright\n"
        "                       object: more than --min-pixels pixels whose luminosity\n"
        "                       (R+G+B)/3 is above --min-level, not counting the\n"
        "                       margins\n"
        "  --min-level N        0 to 255 (default 10)\n"
        "  --min-pixels N       0 to 1000 (default 10)\n"
        "  --margins L,R,T,B    the columns at the left and right and the rows at the\n"
        "                       top and bottom left out of the search (default\n"
        "                       1,1,1,1; left, right and top up to 1000, bottom up to\n"
        "                       100)\n"
        "  --save-to FOLDER     write a copy of each such frame into FOLDER under the\n"
        "                       frame's own name with the extension --ext, and print\n"
        "                       the copy's name instead; an existing copy is replaced\n"
        "                       only with --overwrite\n"
        "  --ext .EXT           the extension of the copies (default .bmp)\n"
        "  --mark               circle the object in the copy (a 100 x 100 ellipse)\n"
        "  --crop WxH           crop the copy to W x H pixels around the object\n"
        "  --meteor X,Y         read the point X,Y (column and row from the top left) in\n"
        "                       every FILE and print, one per line, the frames in which\n"
        "                       it was brighter than in every frame before them; the\n"
        "                       last line is the frame where it was brightest. Frames\n"
        "                       of another size than the first are in error.\n"
        "\n"
        "Both take --files-from LIST and --jobs N as above. They end with \"N File(s) in\n"
        "Error\" on standard error, where the files that cannot be loaded are named too.\n"
        "A copy that would be one of the FILEs is never written (status 2).\n",
        out);
}

}  // namespace nocturo::cli
