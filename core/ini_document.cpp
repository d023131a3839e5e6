#include "core/ini_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>

#include "core/text.h"

namespace nocturo {
namespace {

// Sections with more lines than this get a hashed key index.
constexpr std::size_t kKeyIndexThreshold = 16;

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = Lower(c);
    }
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The text as written: valid UTF-8 kept, stray bytes escaped, CR and LF (and
// '=' when `key`) replaced so the line stays one line with one split.
void AppendWritten(std::string& out, std::string_view s, bool key) {
    const char* const replaced = key ? "\r\n=" : "\r\n";
    for (;;) {
        const std::size_t stop = s.find_first_of(replaced);
        AppendEscaped(out, s.substr(0, stop));
        if (stop == std::string_view::npos) {
            return;
        }
        out += '?';
        s.remove_prefix(stop + 1);
    }
}

bool ParseInteger(std::string_view s, int& value) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        std::string_view digits = s.substr(2);
        std::uint64_t v = 0;
        const auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v, 16);
        if (ec != std::errc() || p != digits.data() + digits.size() || v > 0xFFFFFFFFull) {
            return false;
        }
        value = static_cast<int>(static_cast<std::uint32_t>(v));
        return true;
    }
    const std::optional<int32_t> decimal = ParseInt32(s);
    if (!decimal) {
        return false;
    }
    value = *decimal;
    return true;
}

std::string ErrnoText(int err) {
    return std::strerror(err);
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

// --- sections ---

const IniDocument::Line* IniDocument::Section::FindLine(std::string_view lowerKey) const {
    if (indexed) {
        const auto it = keyIndex.find(std::string(lowerKey));
        return it == keyIndex.end() ? nullptr : &lines[it->second];
    }
    for (const Line& line : lines) {
        if (line.hasKey && EqualNoCase(line.key, lowerKey)) {
            return &line;
        }
    }
    return nullptr;
}

IniDocument::Line* IniDocument::Section::FindLine(std::string_view lowerKey) {
    return const_cast<Line*>(std::as_const(*this).FindLine(lowerKey));
}

void IniDocument::Section::AddLine(Line line) {
    lines.push_back(std::move(line));
    if (indexed) {
        const Line& added = lines.back();
        if (added.hasKey) {
            keyIndex.emplace(LowerCopy(added.key), lines.size() - 1);
        }
    } else if (lines.size() > kKeyIndexThreshold) {
        RebuildIndex();
    }
}

void IniDocument::Section::RebuildIndex() {
    keyIndex.clear();
    indexed = lines.size() > kKeyIndexThreshold;
    if (!indexed) {
        return;
    }
    keyIndex.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].hasKey) {
            keyIndex.emplace(LowerCopy(lines[i].key), i);
        }
    }
}

const IniDocument::Section* IniDocument::FindNearLast(std::string_view section) const {
    if (lastSection_ < sections_.size()) {
        if (EqualNoCase(sections_[lastSection_].name, section)) {
            return &sections_[lastSection_];
        }
        const std::size_t next = lastSection_ + 1;
        if (next < sections_.size() && sections_[next].first &&
            EqualNoCase(sections_[next].name, section)) {
            lastSection_ = next;
            return &sections_[next];
        }
    }
    return nullptr;
}

const IniDocument::Section* IniDocument::FindSection(std::string_view section) const {
    // Entries are read and written key after key in one section, section
    // after section: the last section found, or the one after it, answers
    // without hashing.
    if (const Section* near = FindNearLast(section)) {
        return near;
    }
    const auto it = sectionIndex_.find(LowerCopy(section));
    if (it == sectionIndex_.end()) {
        return nullptr;
    }
    lastSection_ = it->second;
    return &sections_[it->second];
}

IniDocument::Section* IniDocument::FindSection(std::string_view section) {
    return const_cast<Section*>(std::as_const(*this).FindSection(section));
}

IniDocument::Section& IniDocument::SectionForWriting(std::string_view section) {
    if (const Section* near = FindNearLast(section)) {
        return const_cast<Section&>(*near);
    }
    // One hashing finds the section or makes room for a new one.
    const auto [it, added] = sectionIndex_.try_emplace(LowerCopy(section), sections_.size());
    if (added) {
        sections_.push_back(Section{std::string(section), {}, {}, false, true});
    }
    lastSection_ = it->second;
    return sections_[it->second];
}

void IniDocument::RebuildSectionIndex() {
    lastSection_ = kNoSection;
    sectionIndex_.clear();
    sectionIndex_.reserve(sections_.size());
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        sections_[i].first = sectionIndex_.try_emplace(LowerCopy(sections_[i].name), i).second;
    }
}

// --- whole texts ---

IniDocument IniDocument::FromBytes(std::string_view bytes) {
    IniDocument doc;
    doc.Parse(bytes);
    return doc;
}

void IniDocument::Parse(std::string_view bytes) {
    Clear();
    if (bytes.starts_with(kByteOrderMark)) {
        bytes.remove_prefix(kByteOrderMark.size());
    }
    const std::string_view all(bytes);
    // One growth of the index instead of many rehashes: a list of 50,000
    // entries has as many sections.
    std::size_t brackets = all.starts_with('[') ? 1 : 0;
    for (std::size_t at = all.find("\n["); at != std::string_view::npos;
         at = all.find("\n[", at + 2)) {
        ++brackets;
    }
    sections_.reserve(brackets);
    sectionIndex_.reserve(brackets);
    Section* current = nullptr;
    std::string decoded;
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t end = all.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            end = all.size();
        }
        // Line by line: one line in another encoding spoils no other.
        const std::string_view line = Trim(DecodeLineInto(all.substr(pos, end - pos), decoded));
        pos = end + 1;
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            const std::string_view name = Trim(line.substr(1, line.size() - 2));
            const std::size_t index = sections_.size();
            sections_.push_back(Section{std::string(name), {}, {}, false, false});
            sections_.back().first = sectionIndex_.try_emplace(LowerCopy(name), index).second;
            current = &sections_.back();
            continue;
        }
        if (current == nullptr) {
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            current->AddLine(Line{{}, std::string(line), false});
        } else {
            current->AddLine(Line{std::string(Trim(line.substr(0, eq))),
                                  std::string(Trim(line.substr(eq + 1))), true});
        }
    }
}

std::string IniDocument::ToBytes() const {
    std::size_t size = 0;
    for (const Section& section : sections_) {
        size += section.name.size() + 6;
        for (const Line& line : section.lines) {
            size += line.key.size() + line.value.size() + 3;
        }
    }
    std::string out;
    out.reserve(size + size / 16);
    for (const Section& section : sections_) {
        out += '[';
        AppendWritten(out, section.name, false);
        out += "]\r\n";
        for (const Line& line : section.lines) {
            if (line.hasKey) {
                AppendWritten(out, line.key, true);
                out += '=';
            }
            AppendWritten(out, line.value, false);
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

bool IniDocument::LoadFile(const std::string& fileName, std::string* error, std::uint64_t maxSize) {
    std::string bytes;
    bool missing = false;
    if (!ReadSmallFile(fileName, maxSize, bytes, error, &missing)) {
        if (!missing) {
            return false;
        }
        Clear();
        return true;
    }
    Parse(bytes);
    return true;
}

bool IniDocument::SaveFile(const std::string& fileName, std::string* error) const {
    return WriteFileAtomically(fileName, ToBytes(), error);
}

// --- values ---

bool IniDocument::HasSection(std::string_view section) const {
    return FindSection(section) != nullptr;
}

bool IniDocument::HasKey(std::string_view section, std::string_view key) const {
    return Find(section, key) != nullptr;
}

const std::string* IniDocument::Find(std::string_view section, std::string_view key) const {
    const Section* s = FindSection(section);
    if (s == nullptr) {
        return nullptr;
    }
    const Line* line = s->FindLine(LowerCopy(key));
    return line == nullptr ? nullptr : &line->value;
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    const std::string* value = Find(section, key);
    return value != nullptr ? *value : std::string(defaultValue);
}

int IniDocument::ReadInteger(std::string_view section, std::string_view key,
                             int defaultValue) const {
    const std::string* value = Find(section, key);
    int result = 0;
    if (value != nullptr && ParseInteger(*value, result)) {
        return result;
    }
    return defaultValue;
}

bool IniDocument::ReadBool(std::string_view section, std::string_view key,
                           bool defaultValue) const {
    const std::string* value = Find(section, key);
    int result = 0;
    if (value != nullptr && ParseInteger(*value, result)) {
        return result != 0;
    }
    return defaultValue;
}

std::vector<std::string> IniDocument::Sections() const {
    std::vector<std::string> names;
    names.reserve(sectionIndex_.size());
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        const auto it = sectionIndex_.find(LowerCopy(sections_[i].name));
        if (it != sectionIndex_.end() && it->second == i) {
            names.push_back(sections_[i].name);
        }
    }
    return names;
}

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    for (auto& [key, value] : Values(section)) {
        keys.push_back(std::move(key));
    }
    return keys;
}

std::vector<std::pair<std::string, std::string>> IniDocument::Values(
    std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> values;
    const Section* s = FindSection(section);
    if (s == nullptr) {
        return values;
    }
    for (const Line& line : s->lines) {
        if (line.hasKey && s->FindLine(LowerCopy(line.key)) == &line) {
            values.emplace_back(line.key, line.value);
        }
    }
    return values;
}

void IniDocument::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    Section& s = SectionForWriting(section);
    if (Line* line = s.FindLine(LowerCopy(key))) {
        // The line takes the key as the caller writes it.
        line->key.assign(key);
        line->value.assign(value);
        return;
    }
    s.AddLine(Line{std::string(key), std::string(value), true});
}

void IniDocument::WriteInteger(std::string_view section, std::string_view key, long long value) {
    WriteString(section, key, std::to_string(value));
}

void IniDocument::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

bool IniDocument::EraseSection(std::string_view section) {
    const std::size_t before = sections_.size();
    std::erase_if(sections_, [&](const Section& s) { return EqualNoCase(s.name, section); });
    if (sections_.size() == before) {
        return false;
    }
    RebuildSectionIndex();
    return true;
}

bool IniDocument::EraseKey(std::string_view section, std::string_view key) {
    Section* s = FindSection(section);
    if (s == nullptr) {
        return false;
    }
    const std::size_t before = s->lines.size();
    std::erase_if(s->lines, [&](const Line& l) { return l.hasKey && EqualNoCase(l.key, key); });
    if (s->lines.size() == before) {
        return false;
    }
    s->RebuildIndex();
    return true;
}

void IniDocument::Clear() {
    lastSection_ = kNoSection;
    sections_.clear();
    sectionIndex_.clear();
}

void IniDocument::CapValues(std::size_t maxBytes) {
    for (Section& section : sections_) {
        for (Line& line : section.lines) {
            if (line.value.size() <= maxBytes) {
                continue;
            }
            // Cut before a continuation byte's lead, so no character is split.
            std::size_t cut = maxBytes;
            while (cut > 0 && (static_cast<unsigned char>(line.value[cut]) & 0xC0) == 0x80) {
                --cut;
            }
            line.value.resize(cut);
        }
    }
}

// --- reading whole files ---

bool ReadSmallFile(const std::string& fileName, std::uint64_t maxSize, std::string& bytes,
                   std::string* error, bool* missing) {
    bytes.clear();
    if (missing != nullptr) {
        *missing = false;
    }
    const auto fail = [&](const std::string& why) {
        if (error != nullptr) {
            *error = "Cannot read \"" + fileName + "\": " + why;
        }
        bytes.clear();
        return false;
    };
    // Without blocking: a named pipe without a writer would hang the open.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT && missing != nullptr) {
            *missing = true;
        }
        return fail(ErrnoText(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return fail(ErrnoText(err));
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        return fail(ErrnoText(EISDIR));
    }
    if (!S_ISREG(st.st_mode)) {
        // A pipe or a device may never end.
        ::close(fd);
        return fail("not a regular file");
    }
    if (static_cast<std::uint64_t>(st.st_size) > maxSize) {
        ::close(fd);
        return fail("the file is too large");
    }
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int err = errno;
            ::close(fd);
            return fail(ErrnoText(err));
        }
        if (n == 0) {
            break;
        }
        // The file may grow while it is read.
        if (bytes.size() + static_cast<std::size_t>(n) > maxSize) {
            ::close(fd);
            return fail("the file is too large");
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

}  // namespace nocturo
