#include "lists/file_list.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace nocturo {

namespace {

inline unsigned char FoldCase(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

const std::string kNoText;

// The stable name order of `entries`, as the permutation that sorts them.
// A sort compares each name many times, so every name is folded once into
// one buffer, and the eight bytes after the prefix that all names share
// (the folder, usually) become an integer: most comparisons then look at two
// integers instead of two scattered strings.
std::vector<uint32_t> NameOrder(const std::vector<ListEntry>& entries) {
    const size_t count = entries.size();
    std::vector<size_t> offsets(count + 1);
    size_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        offsets[i] = total;
        total += entries[i].text.size();
    }
    offsets[count] = total;
    std::vector<unsigned char> folded(total);
    for (size_t i = 0; i < count; ++i) {
        const std::string& text = entries[i].text;
        unsigned char* out = folded.data() + offsets[i];
        for (char c : text) {
            *out++ = FoldCase(static_cast<unsigned char>(c));
        }
    }
    auto name = [&](size_t i) {
        return std::string_view(reinterpret_cast<const char*>(folded.data()) + offsets[i],
                                offsets[i + 1] - offsets[i]);
    };

    size_t common = count > 0 ? name(0).size() : 0;
    for (size_t i = 1; i < count && common > 0; ++i) {
        const std::string_view a = name(0).substr(0, common);
        const std::string_view b = name(i);
        const size_t n = std::min(a.size(), b.size());
        size_t same = 0;
        while (same < n && a[same] == b[same]) {
            ++same;
        }
        common = same;
    }

    struct Key {
        uint64_t head;  // big-endian, so integer order is byte order
        uint32_t index;
    };
    std::vector<Key> keys(count);
    for (size_t i = 0; i < count; ++i) {
        const std::string_view n = name(i);
        uint64_t head = 0;
        for (size_t k = 0; k < 8; ++k) {
            const size_t at = common + k;
            // Padding with zero keeps a shorter name before its extensions.
            head = (head << 8) | (at < n.size() ? static_cast<unsigned char>(n[at]) : 0u);
        }
        keys[i] = Key{head, static_cast<uint32_t>(i)};
    }
    // The index as last criterion makes the unstable sort stable.
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        if (a.head != b.head) {
            return a.head < b.head;
        }
        const int c = name(a.index).substr(common).compare(name(b.index).substr(common));
        return c != 0 ? c < 0 : a.index < b.index;
    });
    std::vector<uint32_t> order(count);
    for (size_t i = 0; i < count; ++i) {
        order[i] = keys[i].index;
    }
    return order;
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca == cb) {
            continue;
        }
        const unsigned char fa = FoldCase(ca);
        const unsigned char fb = FoldCase(cb);
        if (fa != fb) {
            return fa < fb ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

const std::string& FileList::Text(int index) const {
    return IsValidIndex(index) ? entries_[index].text : kNoText;
}

const ExcludedAreas& FileList::Excluded(int index) const {
    static const ExcludedAreas kNone;
    return IsValidIndex(index) ? entries_[index].excluded : kNone;
}

bool FileList::AnyExcluded() const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [](const ListEntry& e) { return !e.excluded.empty(); });
}

bool FileList::SetExcluded(int index, ExcludedAreas areas) {
    if (!IsValidIndex(index)) {
        return false;
    }
    if (entries_[index].excluded != areas) {
        entries_[index].excluded = std::move(areas);
        MarkRows(index, index);
        Flush();
    }
    return true;
}

int FileList::SelectedCount() const {
    return static_cast<int>(std::count_if(entries_.begin(), entries_.end(),
                                          [](const ListEntry& e) { return e.selected; }));
}

bool FileList::SetCurrent(int index) {
    if (index != -1 && !IsValidIndex(index)) {
        return false;
    }
    if (index != current_) {
        current_ = index;
        MarkCurrent();
        Flush();
    }
    return true;
}

void FileList::SetSorted(bool sorted) {
    if (sorted == sorted_) {
        return;
    }
    sorted_ = sorted;
    if (sorted_ && entries_.size() > 1) {
        SortEntries();
        Flush();
    }
}

bool FileList::SetChecked(int index, bool checked) {
    if (!IsValidIndex(index)) {
        return false;
    }
    if (entries_[index].checked != checked) {
        entries_[index].checked = checked;
        MarkRows(index, index);
        Flush();
    }
    return true;
}

bool FileList::SetEnabled(int index, bool enabled) {
    if (!IsValidIndex(index)) {
        return false;
    }
    if (entries_[index].enabled != enabled) {
        entries_[index].enabled = enabled;
        MarkRows(index, index);
        Flush();
    }
    return true;
}

bool FileList::SetSelected(int index, bool selected) {
    if (!IsValidIndex(index)) {
        return false;
    }
    if (entries_[index].selected != selected) {
        entries_[index].selected = selected;
        MarkRows(index, index);
        Flush();
    }
    return true;
}

bool FileList::ToggleCheck(int index) {
    if (!IsEnabled(index)) {
        return false;
    }
    return SetChecked(index, !entries_[index].checked);
}

bool FileList::SetText(int index, std::string text) {
    if (!IsValidIndex(index)) {
        return false;
    }
    if (entries_[index].text == text) {
        return true;
    }
    if (!sorted_) {
        entries_[index].text = std::move(text);
        MarkRows(index, index);
        Flush();
        return true;
    }
    // Take the entry out and put it back where its new name belongs.
    ListEntry entry = std::move(entries_[index]);
    entry.text = std::move(text);
    const int oldCurrent = current_;
    const bool wasCurrent = current_ == index;
    entries_.erase(entries_.begin() + index);
    if (current_ > index) {
        --current_;
    }
    const int at = SortedPosition(entry.text);
    InsertAt(at, std::move(entry));
    if (wasCurrent) {
        current_ = at;
    }
    if (current_ != oldCurrent) {
        MarkCurrent();
    }
    MarkReset();
    Flush();
    return true;
}

int FileList::Append(std::string text) {
    return Append(ListEntry{std::move(text)});
}

int FileList::Append(std::string text, bool checked, bool enabled) {
    return Append(ListEntry{std::move(text), checked, enabled, false});
}

int FileList::Append(ListEntry entry) {
    const int at = sorted_ ? SortedPosition(entry.text) : Count();
    const int oldCurrent = current_;
    InsertAt(at, std::move(entry));
    if (current_ != oldCurrent) {
        MarkCurrent();
    }
    MarkReset();
    Flush();
    return at;
}

void FileList::AppendEntries(std::vector<ListEntry> entries) {
    if (entries.empty()) {
        return;
    }
    if (entries_.empty()) {
        entries_ = std::move(entries);
    } else {
        entries_.reserve(entries_.size() + entries.size());
        std::move(entries.begin(), entries.end(), std::back_inserter(entries_));
    }
    if (sorted_) {
        SortEntries();
    }
    MarkReset();
    Flush();
}

bool FileList::Delete(int index) {
    if (!IsValidIndex(index)) {
        return false;
    }
    entries_.erase(entries_.begin() + index);
    if (current_ > index || current_ >= Count()) {
        --current_;
        MarkCurrent();
    } else if (current_ == index) {
        MarkCurrent();  // another entry now stands at the current index
    }
    MarkReset();
    Flush();
    return true;
}

int FileList::DeleteSelected() {
    int kept = 0;
    int newCurrent = -1;
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        if (i == current_) {
            newCurrent = kept;  // its own index if kept, else the one after it
        }
        if (!entries_[i].selected) {
            if (kept != i) {
                entries_[kept] = std::move(entries_[i]);
            }
            ++kept;
        }
    }
    const int removed = count - kept;
    if (removed == 0) {
        return 0;
    }
    entries_.resize(kept);
    if (newCurrent >= kept) {
        newCurrent = kept - 1;
    }
    if (current_ != -1) {
        current_ = newCurrent;
        MarkCurrent();
    }
    MarkReset();
    Flush();
    return removed;
}

void FileList::Clear() {
    if (entries_.empty() && current_ == -1) {
        return;
    }
    // Release the memory too: a cleared list of 50,000 names should not keep
    // their storage.
    std::vector<ListEntry>().swap(entries_);
    if (current_ != -1) {
        current_ = -1;
        MarkCurrent();
    }
    MarkReset();
    Flush();
}

std::vector<ListEntry> FileList::TakeEntries() {
    std::vector<ListEntry> taken;
    taken.swap(entries_);
    if (current_ != -1) {
        current_ = -1;
        MarkCurrent();
    }
    if (!taken.empty()) {
        MarkReset();
    }
    Flush();
    return taken;
}

bool FileList::Move(int from, int to) {
    if (!IsValidIndex(from) || !IsValidIndex(to)) {
        return false;
    }
    sorted_ = false;
    if (from == to) {
        return true;
    }
    if (from < to) {
        std::rotate(entries_.begin() + from, entries_.begin() + from + 1,
                    entries_.begin() + to + 1);
        if (current_ == from) {
            current_ = to;
        } else if (current_ > from && current_ <= to) {
            --current_;
        }
    } else {
        std::rotate(entries_.begin() + to, entries_.begin() + from, entries_.begin() + from + 1);
        if (current_ == from) {
            current_ = to;
        } else if (current_ >= to && current_ < from) {
            ++current_;
        }
    }
    if (current_ >= std::min(from, to) && current_ <= std::max(from, to)) {
        MarkCurrent();
    }
    MarkRows(std::min(from, to), std::max(from, to));
    Flush();
    return true;
}

bool FileList::Exchange(int a, int b) {
    if (!IsValidIndex(a) || !IsValidIndex(b)) {
        return false;
    }
    sorted_ = false;
    if (a == b) {
        return true;
    }
    std::swap(entries_[a], entries_[b]);
    if (current_ == a) {
        current_ = b;
        MarkCurrent();
    } else if (current_ == b) {
        current_ = a;
        MarkCurrent();
    }
    MarkRows(std::min(a, b), std::max(a, b));
    Flush();
    return true;
}

void FileList::RewriteTexts(const std::function<std::string(const std::string&)>& rewrite) {
    if (entries_.empty()) {
        return;
    }
    for (ListEntry& entry : entries_) {
        entry.text = rewrite(entry.text);
    }
    if (sorted_) {
        SortEntries();
    }
    MarkReset();
    Flush();
}

void FileList::SwapEntries(FileList& other) {
    if (&other == this || (entries_.empty() && other.entries_.empty())) {
        return;
    }
    entries_.swap(other.entries_);
    if (current_ != other.current_) {
        std::swap(current_, other.current_);
        MarkCurrent();
        other.MarkCurrent();
    }
    for (FileList* list : {this, &other}) {
        if (list->sorted_) {
            list->SortEntries();
        }
        list->MarkReset();
    }
    Flush();
    other.Flush();
}

void FileList::AddObserver(FileListObserver* observer) {
    if (observer != nullptr &&
        std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
        observers_.push_back(observer);
    }
}

void FileList::RemoveObserver(FileListObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void FileList::EndUpdate() {
    if (updateDepth_ == 0) {
        return;
    }
    --updateDepth_;
    Flush();
}

void FileList::MarkRows(int first, int last) {
    if (!pendingAny_ || (!pending_.reset && pending_.first > pending_.last)) {
        pending_.first = first;
        pending_.last = last;
    } else {
        pending_.first = std::min(pending_.first, first);
        pending_.last = std::max(pending_.last, last);
    }
    pendingAny_ = true;
}

void FileList::MarkReset() {
    pending_.reset = true;
    pendingAny_ = true;
}

void FileList::MarkCurrent() {
    pending_.currentChanged = true;
    pendingAny_ = true;
}

void FileList::Flush() {
    if (updateDepth_ > 0 || !pendingAny_) {
        return;
    }
    ListChange change = pending_;
    if (change.reset) {
        change.first = 0;
        change.last = -1;
    }
    pending_ = ListChange{};
    pendingAny_ = false;
    // A callback may add or remove observers: walk a copy, and skip any that
    // was removed on the way.
    const std::vector<FileListObserver*> observers = observers_;
    for (FileListObserver* observer : observers) {
        if (std::find(observers_.begin(), observers_.end(), observer) != observers_.end()) {
            observer->ListChanged(*this, change);
        }
    }
}

void FileList::SortEntries() {
    const size_t count = entries_.size();
    if (count < 2) {
        return;
    }
    // The permutation also tells where the current entry went.
    const std::vector<uint32_t> order = NameOrder(entries_);
    std::vector<ListEntry> sorted;
    sorted.reserve(count);
    int newCurrent = -1;
    for (size_t i = 0; i < count; ++i) {
        if (static_cast<int>(order[i]) == current_) {
            newCurrent = static_cast<int>(i);
        }
        sorted.push_back(std::move(entries_[order[i]]));
    }
    entries_ = std::move(sorted);
    if (newCurrent != current_) {
        current_ = newCurrent;
        MarkCurrent();
    }
    MarkReset();
}

int FileList::SortedPosition(std::string_view text) const {
    const auto it = std::upper_bound(
        entries_.begin(), entries_.end(), text,
        [](std::string_view t, const ListEntry& e) { return CompareNames(t, e.text) < 0; });
    return static_cast<int>(it - entries_.begin());
}

void FileList::InsertAt(int index, ListEntry entry) {
    entries_.insert(entries_.begin() + index, std::move(entry));
    if (current_ >= index) {
        ++current_;
    }
}

}  // namespace nocturo
