#pragma once
// Helpers shared by the list tests.

#include <string>
#include <vector>

#include "lists/file_list.h"

namespace nocturo::test {

/// Records every notification a list sends.
class RecordingObserver : public FileListObserver {
  public:
    void ListChanged(const FileList&, const ListChange& change) override {
        changes.push_back(change);
    }
    std::vector<ListChange> changes;
};

inline std::vector<std::string> Texts(const FileList& list) {
    std::vector<std::string> texts;
    for (const ListEntry& entry : list.Entries()) {
        texts.push_back(entry.text);
    }
    return texts;
}

/// prefix followed by the decimal number n.
inline std::string Numbered(const char* prefix, int n) {
    std::string text(prefix);
    text += std::to_string(n);
    return text;
}

/// Appends each name as an unchecked, enabled entry.
inline void Fill(FileList& list, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        list.Append(name);
    }
}

}  // namespace nocturo::test
