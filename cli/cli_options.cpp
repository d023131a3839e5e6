#include "cli/cli_options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

namespace nocturo::cli {

int UsageError(const std::string& message) {
    std::fprintf(stderr, "nocturo-stack: %s\n", message.c_str());
    std::fprintf(stderr, "Try 'nocturo-stack --help'.\n");
    return 2;
}

bool ParseInt(const std::string& text, long low, long high, int32_t& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(begin, &end, 10);
    if (end == begin || *end != '\0' || errno != 0 || v < low || v > high) {
        return false;
    }
    value = static_cast<int32_t>(v);
    return true;
}

OptionArg::OptionArg(const char* text) : name(text) {
    if (name.size() > 2 && name.compare(0, 2, "--") == 0) {
        const size_t eq = name.find('=');
        if (eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            hasInlineValue = true;
            name.resize(eq);
        }
    }
}

bool OptionArg::Value(int argc, char** argv, int& index, std::string& out) const {
    if (hasInlineValue) {
        out = inlineValue;
        return true;
    }
    if (index + 1 >= argc) {
        return false;
    }
    out = argv[++index];
    return true;
}

bool ReadNameLines(const std::string& listName, std::vector<std::string>& files) {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (listName != "-") {
        struct stat st {};
        if (::stat(listName.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
            return false;
        }
        file.open(listName, std::ios::binary);
        if (!file) {
            return false;
        }
        in = &file;
    }
    std::string line;
    while (std::getline(*in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find_first_not_of(" \t") != std::string::npos) {
            files.push_back(line);
        }
    }
    return !in->bad();
}

bool FolderWritable(const std::string& fileName, std::string& problem) {
    const size_t slash = fileName.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : fileName.substr(0, slash));
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        problem = "no such folder: " + folder;
        return false;
    }
    if (::access(folder.c_str(), W_OK) != 0) {
        problem = "folder not writable: " + folder;
        return false;
    }
    return true;
}

}  // namespace nocturo::cli
