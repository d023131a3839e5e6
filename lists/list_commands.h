#pragma once
// The commands of the "Current List" menu and the list tool bars, on the
// model alone. The windows add what belongs to them around these calls:
// confirmation boxes, showing the current entry, repainting and letting
// pending events run.
//
// Every command that touches many entries holds an update open on the lists
// it changes, so each list notifies its observers once at the end.

#include <cstdint>
#include <string>
#include <string_view>

#include "lists/file_list.h"

namespace nocturo {

// --- selection ---

/// "Select all": every entry selected.
void SelectAll(FileList& list);
/// "Unselect all": no entry selected.
void UnselectAll(FileList& list);
/// "Invert select all": every entry's selection inverted. The current index
/// is left as it was.
void InvertSelectAll(FileList& list);

// --- check marks (a disabled entry is never left checked by these) ---

/// "Check All": each entry's check mark becomes its enabled flag, so
/// disabled entries end unchecked.
void CheckAll(FileList& list);
/// "Uncheck All": every entry unchecked, enabled or not.
void UncheckAll(FileList& list);
/// "Invert Check All": enabled entries inverted; disabled ones untouched.
void InvertCheckAll(FileList& list);
/// "Check Selection": selected enabled entries checked.
void CheckSelection(FileList& list);
/// "Uncheck Selection": selected entries unchecked, enabled or not.
void UncheckSelection(FileList& list);
/// "Invert Check Selection": selected enabled entries inverted.
void InvertCheckSelection(FileList& list);

// --- removing ---

/// "Clear Selection...", after the user confirmed: turns the sorted flag
/// off and deletes every selected entry. Returns the number deleted.
int DeleteSelection(FileList& list);
/// Empties the list (the window clears the view beside it). The sorted flag
/// stays.
void ResetList(FileList& list);

// --- moving within a list ---

/// "Up": turns the sorted flag off, then exchanges the current entry with
/// the one above it, the current mark moving along. On the first entry it
/// wraps: the first entry moves to the end and becomes current. Returns
/// false, changing nothing else, when the list has fewer than two entries or
/// no current entry.
bool MoveUp(FileList& list);
/// "Down": the mirror of MoveUp; on the last entry it moves to the front.
bool MoveDown(FileList& list);
/// "Send current filename to end of list": the current entry moves to the
/// end and stays current. Returns false when the list has fewer than two
/// entries or no current entry. A moved entry breaks name order, so the
/// sorted flag goes off when the entry moves.
bool SendToEnd(FileList& list);

// --- copying and swapping between lists ---

/// "Copy List1 into List2" and back: appends a copy of every selected
/// entry of `source`, in list order, to `destination`. The copies carry the
/// check mark and enabled flag of their originals and are not selected; a
/// sorted destination puts them in name order with their states. The source
/// keeps its entries and selection. Returns the number copied.
int CopySelected(const FileList& source, FileList& destination);
/// Gives the last entries of `destination` the states of the selected
/// entries of `source`: walking the source from its end, the k-th selected
/// entry (k = 1, 2, ...) gives its check mark and enabled flag to the
/// destination entry at Count() - k. Meant for copies just appended at the
/// end of an unsorted destination (CopySelected already carries the states;
/// this one serves callers that append copies themselves). Returns false
/// when the destination has fewer entries than the source has selected, in
/// which case only the entries that exist receive states.
bool CopyEntryStates(const FileList& source, FileList& destination);
/// "Swap List1 <> List2": the two lists exchange their entries with check
/// marks and enabled flags; afterwards no entry of either list is selected.
/// Each current index goes along with the entries, so it stays on the same
/// file. Each list keeps its sorted flag and a sorted list puts what it
/// receives in name order. The caller then makes the other list current, so
/// the same names stay in the current list.
void Swap(FileList& left, FileList& right);

// --- sorting by the number in the file name ---

/// The number at the end of a file name: the extension (from the last dot
/// of the name part, after the last path delimiter) is dropped and the
/// decimal digits at the end of what remains are read. -1 when there are no
/// such digits or their value does not fit a signed 32-bit integer.
int32_t FileNumber(std::string_view fileName);
/// The threshold SortByNumber takes from the step-numbering settings: the
/// start number when it is forced, otherwise 1.
inline int32_t SortThreshold(int32_t startNumber, bool forceStartNumber) {
    return forceStartNumber ? startNumber : 1;
}
/// "Sort by Num": orders the entries by key FileNumber(text), where keys
/// below `threshold` (and -1, no number) are moved up by 1,000,000, so that a
/// camera counter that restarted after 9999 stays in shooting order when the
/// threshold is the first frame's number. Equal keys keep their order. The
/// list is rebuilt: every entry ends enabled, unchecked and unselected, and
/// there is no current entry; the command then checks all. With the sorted
/// flag on the rebuilt list falls back into name order.
void SortByNumber(FileList& list, int32_t threshold);

// --- entry states set by runs and tests ---

/// Whether a run takes entry `index`: it is checked and enabled (the
/// entries a run failed on are disabled). False for an index out of range.
bool Takes(const FileList& list, int index);
/// Checks and enables one entry. False for an index out of range.
bool EnableEntry(int index, FileList& list);
/// Unchecks and disables one entry. False for an index out of range.
bool DisableEntry(int index, FileList& list);

// --- file names ---

/// The name part of a full file name: the text after the last path
/// delimiter ('/', and on Windows also '\\'), or the whole text without one.
std::string_view FileNamePart(std::string_view fullName);
/// "Redirect...": every entry's text becomes `folder` followed by its name
/// part, with a '/' put between them unless the folder already ends with a
/// delimiter. States stay; a sorted list is sorted again. False, changing
/// nothing, for an empty folder.
bool Redirect(FileList& list, const std::string& folder);

}  // namespace nocturo
