#include "cli/cli_options.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <system_error>

#include "core/ini_document.h"
#include "core/text.h"
#include "engine/own_inputs.h"
#include "lists/list_file.h"
#include "lists/list_pair.h"

namespace nocturo::cli {

int UsageError(const std::string& message) {
    std::fprintf(stderr, "nocturo-stack: %s\n", message.c_str());
    std::fprintf(stderr, "Try 'nocturo-stack --help'.\n");
    return 2;
}

bool ParseInt(const std::string& text, long low, long high, int32_t& value) {
    // Blanks before the number are taken, as the C library's reading does.
    std::string_view digits = text;
    while (!digits.empty() && std::isspace(static_cast<unsigned char>(digits.front())) != 0) {
        digits.remove_prefix(1);
    }
    const std::optional<int32_t> v = ParseInt32(digits);
    if (!v || *v < low || *v > high) {
        return false;
    }
    value = *v;
    return true;
}

bool ParseInt64(const std::string& text, int64_t& value) {
    int64_t parsed = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, parsed);
    if (text.empty() || error != std::errc() || stop != end) {
        return false;
    }
    value = parsed;
    return true;
}

bool ParseDepth(const std::string& text, int& depth) {
    if (text != "8" && text != "16") {
        return false;
    }
    depth = text == "8" ? 8 : 16;
    return true;
}

std::string EightBitNameProblem(const std::string& name) {
    return "--depth 16: " + name +
           " is of a format that holds 8 bits per channel only (name it .png or .tif)";
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

namespace {

constexpr const char* kNotAFileOrPipe = "it is neither a regular file nor a pipe";
constexpr const char* kIsAFolder = "it is a folder";
constexpr const char* kTooLarge = "it is larger than ";
constexpr const char* kLineTooLong = "line %zu is longer than %zu bytes: no file has such a name";
constexpr const char* kNulInLine = "line %zu holds a NUL byte: no file has such a name";
constexpr const char* kReadError = "read error: ";

// Whether a list may be read from this file: regular files and pipes (and
// a terminal for "-"), never a device that would read without end.
bool Readable(int fd, bool standardInput, std::string& problem) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        problem = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        problem = kIsAFolder;
        return false;
    }
    if (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode) || (standardInput && ::isatty(fd))) {
        return true;
    }
    problem = kNotAFileOrPipe;
    return false;
}

std::string Format(const char* format, std::size_t line, std::size_t limit = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, line, limit);
    return text;
}

// Reads the whole list, at most kMaxListBytes and no line longer than
// kMaxListLineBytes, so that an endless or huge input stops early.
bool ReadBytes(int fd, std::string& bytes, std::string& problem) {
    char buffer[1 << 16];
    std::size_t line = 1;
    std::size_t lineLength = 0;
    bool afterCr = false;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            problem = kReadError + std::string(std::strerror(errno));
            return false;
        }
        if (n == 0) {
            return true;
        }
        if (bytes.size() + static_cast<std::size_t>(n) > kMaxListBytes) {
            problem = kTooLarge + std::to_string(kMaxListBytes >> 20) + " MB";
            return false;
        }
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\n' || c == '\r') {
                if (!(c == '\n' && afterCr)) {
                    ++line;
                }
                lineLength = 0;
            } else if (++lineLength > kMaxListLineBytes) {
                problem = Format(kLineTooLong, line, kMaxListLineBytes);
                return false;
            }
            afterCr = c == '\r';
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

// One name per line: blank lines skipped, a trailing CR dropped, each line
// decoded as the lines of list files are.
bool AppendNameLines(std::string_view text, std::vector<std::string>& files, std::string& problem) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.find_first_not_of(" \t") == std::string_view::npos) {
            continue;
        }
        if (line.find('\0') != std::string_view::npos) {
            problem = Format(kNulInLine, number);
            return false;
        }
        std::string name = DecodeLine(line);
        if (name.size() > kMaxListNameLength) {
            problem = Format(kLineTooLong, number, kMaxListNameLength);
            return false;
        }
        files.push_back(std::move(name));
    }
    return true;
}

}  // namespace

bool ReadFilesFrom(const std::string& listName, std::vector<std::string>& files,
                   std::string& problem,
                   std::vector<std::pair<std::string, ExcludedAreas>>* excluded) {
    const bool standardInput = listName == "-";
    int fd = STDIN_FILENO;
    if (!standardInput) {
        fd = ::open(listName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            problem = std::strerror(errno);
            return false;
        }
    }
    std::string bytes;
    const bool read = Readable(fd, standardInput, problem) && ReadBytes(fd, bytes, problem);
    if (!standardInput) {
        ::close(fd);
    }
    if (!read) {
        return false;
    }
    const IniDocument doc = IniDocument::FromBytes(bytes);
    if (!IsListDocument(doc)) {
        return AppendNameLines(bytes, files, problem);
    }
    bytes = std::string();
    std::vector<ListEntry> entries;
    if (!ReadListEntries(doc, entries, &problem)) {
        return false;
    }
    for (ListEntry& entry : entries) {
        if (entry.checked && !entry.text.empty()) {
            if (excluded != nullptr && !entry.excluded.empty()) {
                excluded->emplace_back(entry.text, std::move(entry.excluded));
            }
            files.push_back(std::move(entry.text));
        }
    }
    return true;
}

bool InputOptions::Take(const OptionArg& option, int argc, char** argv, int& index, int& status) {
    std::string text;
    if (option.name == "--files-from") {
        if (!option.Value(argc, argv, index, text) || text.empty()) {
            status = UsageError("--files-from needs the name of a list file");
        } else {
            lists.push_back(text);
        }
        return true;
    }
    if (option.name == "--jobs") {
        int32_t value = 0;
        if (!option.Value(argc, argv, index, text) || !ParseInt(text, 0, kMaxJobs, value)) {
            status = UsageError("--jobs needs a number from 0 to " + std::to_string(kMaxJobs));
        } else {
            jobs = value;
        }
        return true;
    }
    if (option.name == "--exclude") {
        // FILE@X,Y,W,H: the last '@' ends the name, which may hold one.
        const bool given = option.Value(argc, argv, index, text);
        const size_t at = text.rfind('@');
        ExcludedArea area;
        if (!given || at == std::string::npos || at == 0 ||
            !ParseExcludedArea(std::string_view(text).substr(at + 1), area)) {
            status =
                UsageError("--exclude needs FILE@X,Y,W,H (X and Y from 0, W and H from 1), not \"" +
                           text + "\"");
        } else {
            excluded.push_back({text.substr(0, at), {area}});
        }
        return true;
    }
    if (option.name == "--") {
        for (++index; index < argc; ++index) {
            files.emplace_back(argv[index]);
        }
        return true;
    }
    if (option.name.size() <= 1 || option.name[0] != '-') {
        files.emplace_back(argv[index]);
        return true;
    }
    return false;
}

int InputOptions::ReadLists() {
    for (const std::string& list : lists) {
        std::string problem;
        if (!ReadFilesFrom(list, files, problem, &excluded)) {
            return UsageError("cannot read the list file " + list + ": " + problem);
        }
    }
    return -1;
}

int InputOptions::ApplyExcluded(FileList& list) const {
    for (const auto& [name, areas] : excluded) {
        std::vector<int> found;
        for (int i = 0; i < list.Count(); ++i) {
            if (list.Text(i) == name) {
                found.push_back(i);
            }
        }
        for (int i = 0; found.empty() && i < list.Count(); ++i) {
            if (FirstOwnInput({name}, {list.Text(i)})) {
                found.push_back(i);
            }
        }
        if (found.empty()) {
            return UsageError("--exclude " + name + ": no such FILE among the inputs");
        }
        for (int i : found) {
            ExcludedAreas all = list.Excluded(i);
            all.insert(all.end(), areas.begin(), areas.end());
            list.SetExcluded(i, std::move(all));
        }
    }
    return -1;
}

void FillLeftList(ListPair& lists, std::vector<std::string> files) {
    std::vector<ListEntry> entries;
    entries.reserve(files.size());
    for (std::string& name : files) {
        entries.push_back({std::move(name), true, true, false});
    }
    lists.Left().AppendEntries(std::move(entries));
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
