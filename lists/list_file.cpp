#include "lists/list_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "lang/language_strings.h"

namespace nocturo {

namespace {

constexpr const char* kApplication = "Application";
constexpr const char* kList = "List";

// A whole number as a count is written, decimal with a sign or hexadecimal,
// whatever its size: one that reads as no count is damage, not "no entries".
bool LooksLikeNumber(std::string_view text) {
    const auto all = [](std::string_view digits, int (*is)(int)) {
        return !digits.empty() && std::all_of(digits.begin(), digits.end(), [is](char c) {
            return is(static_cast<unsigned char>(c)) != 0;
        });
    };
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return all(text.substr(2), std::isxdigit);
    }
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        text.remove_prefix(1);
    }
    return all(text, std::isdigit);
}

// The name as a message shows it: a NUL byte, which would end it early in
// every printed text, written as "\0".
std::string Shown(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (c == '\0') {
            out += "\\0";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string ListEntrySection(int index) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "L%4.4d", index);
    return buffer;
}

void WriteListDocument(const FileList& list, IniDocument& doc, const ListFileTick& tick) {
    doc.WriteString(kApplication, "name", "Nocturo");
    doc.WriteString(kApplication, "Version", "2-5-15");
    doc.WriteInteger(kList, "count", list.Count());
    const std::vector<ListEntry>& entries = list.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string section = ListEntrySection(static_cast<int>(i));
        doc.WriteString(section, "name", entries[i].text);
        doc.WriteBool(section, "slct", entries[i].selected);
        doc.WriteBool(section, "chck", entries[i].checked);
        if (tick) {
            tick();
        }
    }
}

bool SaveListFile(const FileList& list, const std::string& fileName, std::string* error,
                  const ListFileTick& tick) {
    IniDocument doc;
    if (!doc.LoadFile(fileName, error)) {
        return false;
    }
    WriteListDocument(list, doc, tick);
    return doc.SaveFile(fileName, error);
}

bool ReadListEntries(const IniDocument& doc, std::vector<ListEntry>& entries, std::string* error,
                     const ListFileTick& tick) {
    entries.clear();
    // Identification only.
    (void)doc.ReadString(kApplication, "name");
    (void)doc.ReadString(kApplication, "Version");
    const auto fail = [&](const std::string& why) {
        entries.clear();
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    const int count = doc.ReadInteger(kList, "count", 0);
    // Two defaults tell a count that reads as no integer (too large) from
    // one that reads.
    const bool unread = count == 0 && doc.ReadInteger(kList, "count", -1) == -1;
    if (const std::string* text = doc.Find(kList, "count");
        text != nullptr && (count < 0 || unread) && LooksLikeNumber(*text)) {
        return fail(FormatText(Lng().txtListBadCount, *text));
    }
    if (count <= 0) {
        return true;
    }
    if (static_cast<long long>(count) >
        static_cast<long long>(doc.SectionCount()) + kMaxMissingListEntries) {
        return fail(FormatText(Lng().txtListMissingEntries, count));
    }
    entries.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::string section = ListEntrySection(i);
        ListEntry entry;
        entry.text = doc.ReadString(section, "name");
        entry.selected = doc.ReadBool(section, "slct", false);
        entry.checked = doc.ReadBool(section, "chck", true);
        entry.enabled = true;
        if (entry.text.find('\0') != std::string::npos) {
            return fail(FormatText(Lng().txtListNulInName, Shown(entry.text), section));
        }
        if (entry.text.size() > kMaxListNameLength) {
            return fail(FormatText(Lng().txtListNameTooLong, section));
        }
        entries.push_back(std::move(entry));
        if (tick) {
            tick();
        }
    }
    return true;
}

bool ReadListFile(const std::string& fileName, std::vector<ListEntry>& entries, std::string* error,
                  const ListFileTick& tick) {
    entries.clear();
    IniDocument doc;
    std::string bytes;
    if (!ReadSmallFile(fileName, IniDocument::kMaxFileSize, bytes, error)) {
        return false;
    }
    doc.Parse(bytes);
    bytes = std::string();
    // A picture or a text of another kind loads no entries: it is reported
    // rather than taken for an empty list.
    if (!IsListDocument(doc)) {
        if (error != nullptr) {
            *error = FormatText(Lng().txtNamedError, fileName, Lng().txtNotAListFile);
        }
        return false;
    }
    if (!ReadListEntries(doc, entries, error, tick)) {
        if (error != nullptr) {
            *error = FormatText(Lng().txtNamedError, fileName, *error);
        }
        return false;
    }
    return true;
}

bool IsListDocument(const IniDocument& doc) {
    return doc.HasSection(kList);
}

}  // namespace nocturo
