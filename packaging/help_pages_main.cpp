// help-pages: makes a program's manual page or bash completion from what the
// program prints for --help, at build time.
//
//   help-pages man PROGRAM OUT SUMMARY VERSION [SEE_ALSO...]
//   help-pages bash-completion PROGRAM OUT
//
// OUT is written whole or not at all (a new file renamed over it).

#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "packaging/help_pages.h"

namespace {

constexpr const char kUsage[] =
    "usage: help-pages man PROGRAM OUT SUMMARY VERSION [SEE_ALSO...]\n"
    "       help-pages bash-completion PROGRAM OUT\n";

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// PROGRAM --help, which must end with status 0 and print something.
bool ReadHelp(const std::string& program, std::string& text) {
    FILE* pipe = ::popen((Quoted(program) + " --help").c_str(), "r");
    if (pipe == nullptr) {
        return false;
    }
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        text.append(buffer, got);
    }
    const int status = ::pclose(pipe);
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0 && !text.empty();
}

bool WriteWhole(const std::string& path, const std::string& content) {
    const std::string fresh = path + ".new";
    FILE* file = std::fopen(fresh.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    if (std::fclose(file) != 0 || !written || std::rename(fresh.c_str(), path.c_str()) != 0) {
        const int error = errno;
        std::remove(fresh.c_str());
        errno = error;
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool man = argc >= 6 && std::strcmp(argv[1], "man") == 0;
    const bool completion = argc == 4 && std::strcmp(argv[1], "bash-completion") == 0;
    if (!man && !completion) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string text;
    if (!ReadHelp(argv[2], text)) {
        std::fprintf(stderr, "help-pages: %s --help failed\n", argv[2]);
        return 1;
    }
    const nocturo::help::HelpDocument help = nocturo::help::ParseHelp(text);
    if (help.program.empty()) {
        std::fprintf(stderr, "help-pages: no \"Usage:\" line in %s --help\n", argv[2]);
        return 1;
    }
    std::string page;
    if (man) {
        nocturo::help::ManPageInfo info;
        info.summary = argv[4];
        info.version = argv[5];
        info.seeAlso.assign(argv + 6, argv + argc);
        page = nocturo::help::ManPage(help, info);
    } else {
        page = nocturo::help::BashCompletion(help);
    }
    if (!WriteWhole(argv[3], page)) {
        std::fprintf(stderr, "help-pages: cannot write %s: %s\n", argv[3], std::strerror(errno));
        return 1;
    }
    return 0;
}
