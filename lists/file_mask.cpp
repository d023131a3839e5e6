#include "lists/file_mask.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/text.h"
#include "lang/language_strings.h"

namespace nocturo {

FileMask::FileMask(std::string_view nameMask, std::string_view filterEntry) {
    // The filter entry.
    extension_ = Upper(Trim(filterEntry));
    extensionMode_ = ExtensionMode::Filter;
    {
        const std::size_t star = extension_.find('*');
        const std::size_t dot = extension_.find('.');
        if (extension_ == "*.*" || (star != std::string::npos && dot == std::string::npos) ||
            (star != std::string::npos && star > dot)) {
            extension_.clear();
        }
    }

    // The mask's extension part replaces the filter.
    std::string n = Upper(Trim(nameMask));
    if (const std::size_t dot = n.find('.'); dot != std::string::npos) {
        const std::string x(Trim(std::string_view(n).substr(dot + 1)));
        if (!x.empty()) {
            const std::size_t s = x.find('*');
            if (s == std::string::npos) {
                extension_ = x;
                extensionMode_ = ExtensionMode::Contains;
            } else if (s == 0) {
                extension_ = x.substr(1);
                if (const std::size_t again = extension_.find('*'); again != std::string::npos) {
                    extension_.resize(again);
                }
                extensionMode_ = ExtensionMode::Inside;
            } else {
                extension_ = x.substr(0, s);
                extensionMode_ = ExtensionMode::Starts;
            }
        }
        n = std::string(Trim(std::string_view(n).substr(0, dot)));
    }

    // The name pattern.
    const std::size_t s = n.find('*');
    if (s == std::string::npos) {
        pattern_ = n;
        nameMode_ = NameMode::Contains;
    } else if (s > 0) {
        pattern_ = n.substr(0, s);
        nameMode_ = NameMode::Starts;
    } else if (n == "*") {
        pattern_.clear();
    } else {
        pattern_ = n.substr(1);
        nameMode_ = NameMode::Inside;
        if (const std::size_t again = pattern_.find('*'); again != std::string::npos) {
            pattern_.resize(again);  // empty when it was the first character
        }
    }
    if (!pattern_.empty() && pattern_[0] == '#') {
        pattern_.erase(0, 1);
        nameMode_ = NameMode::Inside;
    }
}

bool FileMask::Matches(std::string_view fileName) const {
    const std::string u = Upper(fileName);
    const std::size_t lastDot = u.rfind('.');
    const std::string_view t =
        lastDot == std::string::npos ? std::string_view() : std::string_view(u).substr(lastDot);
    const std::string_view b = std::string_view(u).substr(0, u.find('.'));

    if (!extension_.empty()) {
        switch (extensionMode_) {
            case ExtensionMode::Filter:
                if (t.empty() || extension_.find(t) == std::string::npos) {
                    return false;
                }
                break;
            case ExtensionMode::Contains:
                if (t.find(extension_) == std::string_view::npos) {
                    return false;
                }
                break;
            case ExtensionMode::Starts:
                if (t.find(extension_) != 1) {
                    return false;
                }
                break;
            case ExtensionMode::Inside: {
                const std::size_t at = t.find(extension_);
                if (at == std::string_view::npos || at < 2) {
                    return false;
                }
                break;
            }
        }
    }
    if (!pattern_.empty()) {
        const std::size_t at = b.find(pattern_);
        switch (nameMode_) {
            case NameMode::Contains:
                return at != std::string_view::npos;
            case NameMode::Starts:
                return at == 0;
            case NameMode::Inside:
                return at != std::string_view::npos && at >= 1;
        }
    }
    return true;
}

bool ReadFolderFileNames(const std::string& folder, std::vector<std::string>& names,
                         std::string* error) {
    names.clear();
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        if (error != nullptr) {
            *error =
                FormatText(Lng().txtCannotReadFolder, folder, LocalizedError(std::strerror(errno)));
        }
        return false;
    }
    const int fd = ::dirfd(dir);
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
        }
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            // Only to tell folders from files; a broken link counts as a file.
            struct stat st {};
            isFolder = ::fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (!isFolder) {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int c = CompareNames(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    return true;
}

std::string WithTrailingDelimiter(std::string folder) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

void FillFileList(FileList& list, const std::string& folder, const std::vector<std::string>& names,
                  const FileMask& mask) {
    const std::string prefix = WithTrailingDelimiter(folder);
    std::vector<ListEntry> entries;
    entries.reserve(names.size());
    for (const std::string& name : names) {
        if (mask.Matches(name)) {
            ListEntry entry;
            entry.text.reserve(prefix.size() + name.size());
            entry.text = prefix;
            entry.text += name;
            entry.checked = true;
            entries.push_back(std::move(entry));
        }
    }
    FileList::UpdateGuard update(list);
    list.Clear();
    list.AppendEntries(std::move(entries));
}

bool FolderFiles::Open(const std::string& folder, std::string* error) {
    std::vector<std::string> names;
    const bool ok = ReadFolderFileNames(folder, names, error);
    folder_ = WithTrailingDelimiter(folder);
    names_ = std::move(names);
    return ok;
}

void FolderFiles::Fill(FileList& list, std::string_view nameMask,
                       std::string_view filterEntry) const {
    FillFileList(list, folder_, names_, FileMask(nameMask, filterEntry));
}

}  // namespace nocturo
