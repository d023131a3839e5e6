// nocturo-stack: merges picture files into one star-trail picture from the
// command line, with the same operations and error counting as the program.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/combine.h"
#include "core/image_file.h"

namespace {

using nocturo::ImageOperation;

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

void PrintUsage(FILE* out) {
    std::fprintf(out,
                 "Usage: nocturo-stack [--op OP] [--threshold N] -o OUTPUT FILE...\n"
                 "\n"
                 "Merges the picture FILEs, in order, into one picture and saves it as OUTPUT.\n"
                 "The first file that loads starts the result; every later one is merged into\n"
                 "it. A file that cannot be loaded, or whose size differs from the result's,\n"
                 "is counted as in error and empties the result, as in the program's runs.\n"
                 "\n"
                 "Options:\n"
                 "  --op OP          addmax (default), addmin, addmaxlum, subminlum,\n"
                 "                   addmaxthreshold, add or sub\n"
                 "  --threshold N    threshold of addmaxthreshold (default 0)\n"
                 "  -o, --output F   the picture to write; its extension selects the format\n"
                 "                   (.bmp .png .gif .tif .jpg; anything else is written as BMP)\n"
                 "  -h, --help       show this help\n"
                 "\n"
                 "Prints \"N File(s) in Error\". Exit status: 0 when no file was in error,\n"
                 "1 when some were, 2 on a usage error or when OUTPUT cannot be written.\n");
}

int UsageError(const char* message, const char* detail = "") {
    std::fprintf(stderr, "nocturo-stack: %s%s\n", message, detail);
    std::fprintf(stderr, "Try 'nocturo-stack --help'.\n");
    return 2;
}

bool ParseInt(const char* text, int32_t& value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) {
        return false;
    }
    value = static_cast<int32_t>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    ImageOperation op = nocturo::AddMax;
    std::string output;
    bool haveOutput = false;
    std::vector<std::string> files;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](const char* option) -> const char* {
            if (i + 1 >= argc) {
                return nullptr;
            }
            (void)option;
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            PrintUsage(stdout);
            return 0;
        } else if (arg == "--op") {
            const char* name = value("--op");
            if (name == nullptr) {
                return UsageError("--op needs an operation");
            }
            op = nullptr;
            for (const auto& known : kOperations) {
                if (std::strcmp(known.name, name) == 0) {
                    op = known.op;
                }
            }
            if (op == nullptr) {
                return UsageError("unknown operation: ", name);
            }
        } else if (arg == "--threshold") {
            const char* text = value("--threshold");
            int32_t threshold = 0;
            if (text == nullptr || !ParseInt(text, threshold)) {
                return UsageError("--threshold needs a whole number");
            }
            nocturo::MaxThreshold = threshold;
        } else if (arg == "-o" || arg == "--output") {
            const char* text = value("-o");
            if (text == nullptr || *text == '\0') {
                return UsageError("-o needs a file name");
            }
            output = text;
            haveOutput = true;
        } else if (arg == "--") {
            for (++i; i < argc; ++i) {
                files.emplace_back(argv[i]);
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option: ", argv[i]);
        } else {
            files.emplace_back(arg);
        }
    }
    if (!haveOutput) {
        return UsageError("no output file given (-o OUTPUT)");
    }
    if (files.empty()) {
        return UsageError("no input files given");
    }

    nocturo::RgbImage result;
    nocturo::ClearImage(&result);
    int errors = 0;
    size_t i = 0;
    // The first file that loads becomes the result as it is.
    for (; i < files.size(); ++i) {
        if (nocturo::LoadImageFile(result, files[i])) {
            break;
        }
        ++errors;
        std::fprintf(stderr, "nocturo-stack: cannot load %s\n", files[i].c_str());
    }
    nocturo::RgbImage frame;
    for (++i; i < files.size(); ++i) {
        if (!nocturo::LoadImageFile(frame, files[i])) {
            ++errors;
            nocturo::ClearImage(&result);
            std::fprintf(stderr, "nocturo-stack: cannot load %s\n", files[i].c_str());
        } else if (!op(frame, result, nullptr)) {
            ++errors;
            nocturo::ClearImage(&result);
            std::fprintf(stderr, "nocturo-stack: %s does not match the result's size\n",
                         files[i].c_str());
        }
    }

    if (!nocturo::SaveImageFile(result, output)) {
        std::fprintf(stderr, "nocturo-stack: cannot write %s\n", output.c_str());
        std::printf("%d File(s) in Error\n", errors);
        return 2;
    }
    std::printf("%d File(s) in Error\n", errors);
    return errors == 0 ? 0 : 1;
}
