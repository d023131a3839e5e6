#pragma once
// List files: one list with its selections and check marks, kept as an INI
// text a user can edit by hand:
//
//   [Application]   name=Nocturo, Version=2-5-15 (written, never read)
//   [List]          count=<number of entries>
//   [L0000] ...     one section per entry, L%4.4d (so L9999, L10000, ...):
//                   name=<full file name>, slct=1|0, chck=1|0, and where the
//                   frame has excluded areas excl=x,y,w,h;x,y,w,h
//
// The enabled flag, the current entry, the sorted flag and the side the list
// came from are not kept: loaded entries are enabled.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/ini_document.h"
#include "lists/file_list.h"

namespace nocturo {

/// The section of entry `index`: "L0000", ..., "L9999", "L10000", ...
std::string ListEntrySection(int index);

/// Called after every entry, so a window can let pending events run.
using ListFileTick = std::function<void()>;

/// Writes the list into `doc` (which may hold the old content of the file):
/// the Application and List sections and one section per entry. Sections of
/// other names, and entry sections beyond the list's count, stay.
void WriteListDocument(const FileList& list, IniDocument& doc, const ListFileTick& tick = {});

/// "SaveListFile": reads the existing file (its sections are kept), writes
/// the list into it and saves it atomically. False with a message in `error`
/// when the old file cannot be read or the new one cannot be written; the
/// file on disk is then as it was.
bool SaveListFile(const FileList& list, const std::string& fileName, std::string* error = nullptr,
                  const ListFileTick& tick = {});

/// A count may exceed the entry sections a file holds (the missing entries
/// come in empty), but not by more than this: a count of billions in a
/// damaged or hand-edited file would otherwise exhaust memory.
constexpr int kMaxMissingListEntries = 1000000;

/// Longer entry names are no file names (the longest path the system takes).
constexpr std::size_t kMaxListNameLength = 4096;

/// The entries of a list file held in `doc`: List/count of them (default 0,
/// also for a count that is no number), each from its section with name
/// (default empty), slct (default false), chck (default true) and excl
/// (default none), enabled.
/// False with a message, and no entries, when the list is damaged: a count
/// that is a number but negative or beyond 32 bits, a count exceeding the
/// sections of the document by more than kMaxMissingListEntries, a name
/// holding a NUL byte (the message shows it whole, the NUL as "\0") or
/// longer than kMaxListNameLength, an excl that ParseExcludedAreas refuses.
bool ReadListEntries(const IniDocument& doc, std::vector<ListEntry>& entries,
                     std::string* error = nullptr, const ListFileTick& tick = {});

/// Reads the entries of a list file. False with a message in `error` when
/// the file is missing or cannot be read, is no list file (it has no List
/// section: a picture, a text of another kind) or is damaged; `entries` is
/// then empty.
bool ReadListFile(const std::string& fileName, std::vector<ListEntry>& entries,
                  std::string* error = nullptr, const ListFileTick& tick = {});

/// True when `doc` is a list file: it has a List section.
bool IsListDocument(const IniDocument& doc);

}  // namespace nocturo
