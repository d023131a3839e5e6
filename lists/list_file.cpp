#include "lists/list_file.h"

#include <cstdio>

namespace nocturo {

namespace {

constexpr const char* kApplication = "Application";
constexpr const char* kList = "List";

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
    const int count = doc.ReadInteger(kList, "count", 0);
    if (count <= 0) {
        return true;
    }
    if (static_cast<long long>(count) >
        static_cast<long long>(doc.SectionCount()) + kMaxMissingListEntries) {
        if (error != nullptr) {
            *error = "The list file announces " + std::to_string(count) +
                     " entries but holds far fewer: it is damaged.";
        }
        return false;
    }
    entries.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::string section = ListEntrySection(i);
        ListEntry entry;
        entry.text = doc.ReadString(section, "name");
        entry.selected = doc.ReadBool(section, "slct", false);
        entry.checked = doc.ReadBool(section, "chck", true);
        entry.enabled = true;
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
    if (!doc.LoadFile(fileName, error)) {
        return false;
    }
    if (!ReadListEntries(doc, entries, error, tick)) {
        if (error != nullptr) {
            *error = fileName + ": " + *error;
        }
        return false;
    }
    return true;
}

bool IsListDocument(const IniDocument& doc) {
    return doc.HasSection(kList);
}

}  // namespace nocturo
