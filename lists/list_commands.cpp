#include "lists/list_commands.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

namespace nocturo {

namespace {

inline bool IsPathDelimiter(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

// Sort key offset for numbers below the threshold: above any frame counter a
// camera writes, so those frames follow the ones from the threshold upwards.
constexpr int64_t kWrappedOffset = 1'000'000;

template <typename Rule>
void ForEachEntry(FileList& list, Rule rule) {
    FileList::UpdateGuard update(list);
    const int count = list.Count();
    for (int i = 0; i < count; ++i) {
        rule(i);
    }
}

}  // namespace

void SelectAll(FileList& list) {
    ForEachEntry(list, [&](int i) { list.SetSelected(i, true); });
}

void UnselectAll(FileList& list) {
    ForEachEntry(list, [&](int i) { list.SetSelected(i, false); });
}

void InvertSelectAll(FileList& list) {
    ForEachEntry(list, [&](int i) { list.SetSelected(i, !list.IsSelected(i)); });
}

void CheckAll(FileList& list) {
    ForEachEntry(list, [&](int i) { list.SetChecked(i, list.IsEnabled(i)); });
}

void UncheckAll(FileList& list) {
    ForEachEntry(list, [&](int i) { list.SetChecked(i, false); });
}

void InvertCheckAll(FileList& list) {
    ForEachEntry(list, [&](int i) {
        if (list.IsEnabled(i)) {
            list.SetChecked(i, !list.IsChecked(i));
        }
    });
}

void CheckSelection(FileList& list) {
    ForEachEntry(list, [&](int i) {
        if (list.IsEnabled(i) && list.IsSelected(i)) {
            list.SetChecked(i, true);
        }
    });
}

void UncheckSelection(FileList& list) {
    ForEachEntry(list, [&](int i) {
        if (list.IsSelected(i)) {
            list.SetChecked(i, false);
        }
    });
}

void InvertCheckSelection(FileList& list) {
    ForEachEntry(list, [&](int i) {
        if (list.IsEnabled(i) && list.IsSelected(i)) {
            list.SetChecked(i, !list.IsChecked(i));
        }
    });
}

int DeleteSelection(FileList& list) {
    list.SetSorted(false);
    return list.DeleteSelected();
}

void ResetList(FileList& list) {
    list.Clear();
}

bool MoveUp(FileList& list) {
    list.SetSorted(false);
    const int c = list.Current();
    const int n = list.Count();
    if (c < 0 || n < 2) {
        return false;
    }
    if (c - 1 < 0) {
        return list.Move(0, n - 1);  // the current mark goes along
    }
    return list.Exchange(c, c - 1);
}

bool MoveDown(FileList& list) {
    list.SetSorted(false);
    const int c = list.Current();
    const int n = list.Count();
    if (c < 0 || n < 2) {
        return false;
    }
    if (c + 1 < n) {
        return list.Exchange(c, c + 1);
    }
    return list.Move(n - 1, 0);
}

bool SendToEnd(FileList& list) {
    const int c = list.Current();
    const int n = list.Count();
    if (c < 0 || n < 2) {
        return false;
    }
    if (c == n - 1) {
        return true;  // already there; leave the sorted flag alone
    }
    return list.Move(c, n - 1);
}

int CopySelected(const FileList& source, FileList& destination) {
    // Collect first: the source may be the destination itself.
    std::vector<ListEntry> copies;
    for (const ListEntry& entry : source.Entries()) {
        if (entry.selected) {
            copies.push_back(ListEntry{entry.text, entry.checked, entry.enabled, false});
        }
    }
    const int copied = static_cast<int>(copies.size());
    destination.AppendEntries(std::move(copies));
    return copied;
}

bool CopyEntryStates(const FileList& source, FileList& destination) {
    FileList::UpdateGuard update(destination);
    int k = 0;
    for (int i = source.Count() - 1; i >= 0; --i) {
        if (!source.IsSelected(i)) {
            continue;
        }
        ++k;
        const int target = destination.Count() - k;
        if (target < 0) {
            return false;
        }
        // Read before writing: source and destination may be one list.
        const bool checked = source.IsChecked(i);
        const bool enabled = source.IsEnabled(i);
        destination.SetChecked(target, checked);
        destination.SetEnabled(target, enabled);
    }
    return true;
}

void Swap(FileList& left, FileList& right) {
    if (&left == &right) {
        return;
    }
    FileList::UpdateGuard updateLeft(left);
    FileList::UpdateGuard updateRight(right);
    left.SwapEntries(right);
    UnselectAll(left);
    UnselectAll(right);
}

int32_t FileNumber(std::string_view fileName) {
    // Only a dot in the name part starts an extension; folders may have dots.
    const std::string_view name = FileNamePart(fileName);
    const size_t nameStart = fileName.size() - name.size();
    const size_t dot = name.rfind('.');
    const std::string_view stem =
        dot == std::string_view::npos ? fileName : fileName.substr(0, nameStart + dot);

    size_t start = stem.size();
    while (start > 0 && stem[start - 1] >= '0' && stem[start - 1] <= '9') {
        --start;
    }
    if (start == stem.size()) {
        return -1;
    }
    int64_t value = 0;
    for (size_t i = start; i < stem.size(); ++i) {
        value = value * 10 + (stem[i] - '0');
        if (value > std::numeric_limits<int32_t>::max()) {
            return -1;
        }
    }
    return static_cast<int32_t>(value);
}

void SortByNumber(FileList& list, int32_t threshold) {
    FileList::UpdateGuard update(list);
    std::vector<ListEntry> entries = list.TakeEntries();
    const size_t count = entries.size();
    std::vector<int64_t> keys(count);
    for (size_t i = 0; i < count; ++i) {
        const int64_t k = FileNumber(entries[i].text);
        keys[i] = k < threshold ? k + kWrappedOffset : k;
    }
    std::vector<uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });

    // The rebuilt entries take only the texts: states start afresh.
    std::vector<ListEntry> rebuilt;
    rebuilt.reserve(count);
    for (uint32_t i : order) {
        rebuilt.push_back(ListEntry{std::move(entries[i].text)});
    }
    list.AppendEntries(std::move(rebuilt));
}

bool Takes(const FileList& list, int index) {
    return list.IsEnabled(index) && list.IsChecked(index);
}

bool EnableEntry(int index, FileList& list) {
    if (!list.IsValidIndex(index)) {
        return false;
    }
    FileList::UpdateGuard update(list);
    list.SetChecked(index, true);
    list.SetEnabled(index, true);
    return true;
}

bool DisableEntry(int index, FileList& list) {
    if (!list.IsValidIndex(index)) {
        return false;
    }
    FileList::UpdateGuard update(list);
    list.SetChecked(index, false);
    list.SetEnabled(index, false);
    return true;
}

std::string_view FileNamePart(std::string_view fullName) {
    size_t start = fullName.size();
    while (start > 0 && !IsPathDelimiter(fullName[start - 1])) {
        --start;
    }
    return fullName.substr(start);
}

bool Redirect(FileList& list, const std::string& folder) {
    if (folder.empty()) {
        return false;
    }
    std::string prefix = folder;
    if (!IsPathDelimiter(prefix.back())) {
        prefix += '/';
    }
    list.RewriteTexts(
        [&](const std::string& text) { return prefix + std::string(FileNamePart(text)); });
    return true;
}

}  // namespace nocturo
