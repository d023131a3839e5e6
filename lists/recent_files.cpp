#include "lists/recent_files.h"

#include <algorithm>

#include "core/ini_document.h"

namespace nocturo {

namespace {

std::string Key(int index) {
    return "File" + std::to_string(index + 1);
}

}  // namespace

void RecentFiles::Add(const std::string& path) {
    if (path.empty()) {
        return;
    }
    std::erase(paths_, path);
    paths_.insert(paths_.begin(), path);
    if (paths_.size() > static_cast<size_t>(kMaxCount)) {
        paths_.resize(kMaxCount);
    }
}

void RecentFiles::Read(const IniDocument& settings, const std::string& section) {
    paths_.clear();
    for (int i = 0; i < kMaxCount; ++i) {
        const std::string path = settings.ReadString(section, Key(i), "");
        if (!path.empty() && std::find(paths_.begin(), paths_.end(), path) == paths_.end()) {
            paths_.push_back(path);
        }
    }
}

void RecentFiles::Write(IniDocument& settings, const std::string& section) const {
    settings.EraseSection(section);
    for (size_t i = 0; i < paths_.size(); ++i) {
        settings.WriteString(section, Key(static_cast<int>(i)), paths_[i]);
    }
}

}  // namespace nocturo
