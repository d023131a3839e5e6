#pragma once
// The file-list model behind the left and right lists of the main window and
// the list of the mask directory browser. No Qt: the list widgets draw rows on
// demand from this model and repaint when it notifies them.
//
// Everything here runs on the GUI thread. Worker threads that decode frames
// ahead of a run receive copies of file names and never touch a list.

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/excluded_areas.h"

namespace nocturo {

/// One row of a list. An entry added without an explicit state is unchecked,
/// enabled and not selected.
struct ListEntry {
    ListEntry() = default;
    // Spelt out so that entries made from their first fields keep compiling
    // warning-free as fields are added.
    ListEntry(std::string text_, bool checked_ = false, bool enabled_ = true,
              bool selected_ = false, ExcludedAreas excluded_ = {})
        : text(std::move(text_)),
          checked(checked_),
          enabled(enabled_),
          selected(selected_),
          excluded(std::move(excluded_)) {}

    std::string text;       ///< full file name: folder and name
    bool checked = false;   ///< checked entries take part in runs
    bool enabled = true;    ///< false marks a file that failed to load; runs skip it
    bool selected = false;  ///< target of the commands that act on the selection
    /// Areas of this frame left out of the runs that merge it.
    ExcludedAreas excluded;

    friend bool operator==(const ListEntry&, const ListEntry&) = default;
};

/// Orders two file names the way a sorted list does: byte by byte with the
/// ASCII letters compared without regard to case; other bytes (UTF-8
/// sequences included) compare by their value; a name that is a prefix of
/// another comes first. Returns <0, 0 or >0.
int CompareNames(std::string_view a, std::string_view b);

class FileList;

/// What a notification reports. Cheap to copy.
struct ListChange {
    /// Rows were inserted, removed or reordered as a whole: re-read Count()
    /// and repaint every row. When set, first and last carry no meaning.
    bool reset = false;
    /// Without reset: the rows first..last (inclusive) changed their text or
    /// state; the range is empty (first > last) when only the current index
    /// moved.
    int first = 0;
    int last = -1;
    /// The current index changed.
    bool currentChanged = false;

    bool HasRows() const { return reset || first <= last; }
};

/// Receives the changes of a list. Callbacks come after the change, on the
/// thread that made it; they may read the list. A callback that modifies the
/// list causes a further notification. Callbacks must not throw.
class FileListObserver {
  public:
    virtual ~FileListObserver() = default;
    virtual void ListChanged(const FileList& list, const ListChange& change) = 0;
};

/// An ordered list of file entries with a current index and a sorted flag.
///
/// Indices run from 0 to Count() - 1. Every accessor and setter accepts any
/// index: an index out of range reads as an empty, unchecked, disabled,
/// unselected entry and makes a setter return false without any change.
///
/// The current index (-1 for none) follows its entry when entries are
/// inserted, deleted, moved or sorted. When the current entry itself is
/// deleted, the entry that takes its place becomes current, or the new last
/// entry when none follows, or -1 when the list becomes empty.
///
/// While the sorted flag is on, the entries stay in ascending CompareNames
/// order (equal names keep the order in which they arrived) and new entries
/// are inserted where they belong, with the state they bring. Check marks,
/// enabled flags and selections always travel with their entries, also when
/// switching the flag on sorts the list.
///
/// Change notification: each change notifies the observers at once, unless
/// an update is open (BeginUpdate / EndUpdate, which nest): then the changes
/// are gathered and the outermost EndUpdate notifies once. A change that
/// leaves everything as it was notifies nothing.
///
/// Not copyable: the widgets and observers hold on to one list.
class FileList {
  public:
    FileList() = default;
    FileList(const FileList&) = delete;
    FileList& operator=(const FileList&) = delete;

    // --- reading ---

    int Count() const { return static_cast<int>(entries_.size()); }
    bool IsEmpty() const { return entries_.empty(); }
    bool IsValidIndex(int index) const { return index >= 0 && index < Count(); }
    /// The entry's text, or an empty string for an index out of range.
    const std::string& Text(int index) const;
    bool IsChecked(int index) const { return IsValidIndex(index) && entries_[index].checked; }
    bool IsEnabled(int index) const { return IsValidIndex(index) && entries_[index].enabled; }
    bool IsSelected(int index) const { return IsValidIndex(index) && entries_[index].selected; }
    /// The entry's excluded areas (none for an index out of range).
    const ExcludedAreas& Excluded(int index) const;
    /// Whether some entry has excluded areas (walks the list).
    bool AnyExcluded() const;
    /// All entries in list order, for walking, saving and comparing.
    const std::vector<ListEntry>& Entries() const { return entries_; }
    /// Number of selected entries (walks the list).
    int SelectedCount() const;

    // --- current index and sorted flag ---

    /// The current entry's index, -1 for none.
    int Current() const { return current_; }
    /// Makes `index` current; -1 means none. False (and no change) for any
    /// other index outside the list.
    bool SetCurrent(int index);

    bool IsSorted() const { return sorted_; }
    /// Switching the flag on puts the entries in name order at once, their
    /// states travelling with them; switching it off keeps the order.
    void SetSorted(bool sorted);

    // --- changing one entry ---

    bool SetChecked(int index, bool checked);
    bool SetEnabled(int index, bool enabled);
    bool SetSelected(int index, bool selected);
    /// What a click on the check box or the space bar does: toggles the
    /// check mark of an enabled entry. False for a disabled entry or an
    /// index out of range.
    bool ToggleCheck(int index);
    /// Replaces the entry's excluded areas.
    bool SetExcluded(int index, ExcludedAreas areas);
    /// Replaces the text; with the sorted flag on the entry moves to its new
    /// place in name order.
    bool SetText(int index, std::string text);

    // --- adding and removing ---

    /// Appends an entry at the end, or with the sorted flag on inserts it in
    /// name order after any equal names. Returns the index where it landed.
    /// The first form adds an unchecked, enabled entry; none of the forms
    /// selects it except a ListEntry that arrives selected. Appending after
    /// many entries is cheap; inserting many one by one into a sorted list
    /// is not: use AppendEntries there.
    int Append(std::string text);
    int Append(std::string text, bool checked, bool enabled);
    int Append(ListEntry entry);
    /// Appends many entries in their order, with their states, as one
    /// change. With the sorted flag on they are merged into name order with
    /// one sort, not one insertion each, so filling a sorted list stays
    /// fast.
    void AppendEntries(std::vector<ListEntry> entries);

    /// Removes one entry. False for an index out of range.
    bool Delete(int index);
    /// Removes every selected entry; the others keep their order. Returns
    /// the number removed.
    int DeleteSelected();
    /// Removes every entry; the current index becomes -1. The sorted flag
    /// stays as it is.
    void Clear();
    /// Like Clear, but hands the removed entries over instead of freeing
    /// them, for commands that rebuild the list from its own entries.
    std::vector<ListEntry> TakeEntries();

    // --- reordering (ends name order: these turn the sorted flag off) ---

    /// Moves the entry at `from` so that it ends at index `to`, the entries
    /// between shifting by one. False when either index is out of range.
    bool Move(int from, int to);
    /// Exchanges two entries. False when either index is out of range.
    bool Exchange(int a, int b);

    // --- bulk rewriting ---

    /// Replaces every entry's text by rewrite(text), keeping the states;
    /// with the sorted flag on the list is sorted once afterwards.
    void RewriteTexts(const std::function<std::string(const std::string&)>& rewrite);
    /// Exchanges the entries of the two lists with their states and current
    /// indices. Each list keeps its own sorted flag and observers; a sorted
    /// list puts what it receives in name order. Nothing happens when
    /// `other` is this list.
    void SwapEntries(FileList& other);

    // --- change notification ---

    /// Observers are not owned; remove one before it is destroyed. Adding
    /// one twice has no effect.
    void AddObserver(FileListObserver* observer);
    void RemoveObserver(FileListObserver* observer);

    /// Opens an update: notifications wait until the matching EndUpdate.
    void BeginUpdate() { ++updateDepth_; }
    /// Closes an update; the outermost one sends the gathered change, if
    /// any. An EndUpdate without a BeginUpdate is ignored.
    void EndUpdate();
    bool IsUpdating() const { return updateDepth_ > 0; }

    /// Holds an update open for its lifetime.
    class UpdateGuard {
      public:
        explicit UpdateGuard(FileList& list) : list_(list) { list_.BeginUpdate(); }
        ~UpdateGuard() { list_.EndUpdate(); }
        UpdateGuard(const UpdateGuard&) = delete;
        UpdateGuard& operator=(const UpdateGuard&) = delete;

      private:
        FileList& list_;
    };

  private:
    void MarkRows(int first, int last);
    void MarkReset();
    void MarkCurrent();
    void Flush();
    /// Puts the entries in stable name order; the current index follows.
    void SortEntries();
    /// Index where `text` goes in a sorted list: after any equal names.
    int SortedPosition(std::string_view text) const;
    void InsertAt(int index, ListEntry entry);

    std::vector<ListEntry> entries_;
    int current_ = -1;
    bool sorted_ = false;

    std::vector<FileListObserver*> observers_;
    int updateDepth_ = 0;
    bool pendingAny_ = false;
    ListChange pending_;
};

}  // namespace nocturo
