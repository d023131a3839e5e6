#pragma once
// The name mask and extension filter of the mask directory browser, and the
// filling of its file list from a folder. No Qt.
//
// A mask is matched against names alone: no file is opened or examined, so
// a folder of tens of thousands of frames filters in a few milliseconds.

#include <string>
#include <string_view>
#include <vector>

#include "core/image_file.h"
#include "lists/file_list.h"

namespace nocturo {

/// The fixed entries of the browser's extension filter, the first one
/// chosen at start: every picture (camera RAW files included), then each
/// kind on its own.
inline constexpr const char* kBrowserFilters[] = {
    "*.BMP;*.JPG;*.JPS;*.JPEG;*.PNG;*.TIF;*.TIFF;*.GIF;" NOCTURO_RAW_PATTERNS,
    "*.BMP",
    "*.JPG;*.JPS;*.JPEG",
    "*.PNG",
    "*.TIF;*.TIFF",
    "*.GIF",
    NOCTURO_RAW_PATTERNS,
    "*.*",
};

/// A name mask and filter entry, compiled once for many names.
///
/// The extension condition comes from the filter entry (upper-cased; none
/// for "*.*" or an entry whose first '*' follows its first '.' or that has
/// a '*' and no '.'): a file passes when its extension, with the dot, occurs
/// in the entry's text. A mask with a non-empty part after its first '.'
/// replaces it: "TXT" - the extension contains TXT; "*G" - G occurs after
/// the extension's first letter; "JP*" - the extension starts with JP.
/// The name condition, on the base (the name up to its first dot), from the
/// mask before its first '.': "IMG" - contains IMG; "IMG*" - starts with
/// IMG; "*2015" or "#2015" - holds 2015 after its first character; "*" or
/// nothing - no condition. Text after a second '*' is ignored. Matching
/// ignores ASCII letter case.
class FileMask {
  public:
    enum class ExtensionMode { Filter, Contains, Starts, Inside };
    enum class NameMode { Contains, Starts, Inside };

    FileMask(std::string_view nameMask, std::string_view filterEntry);

    /// Whether a file of this name (without folder) passes.
    bool Matches(std::string_view fileName) const;

    const std::string& Extension() const { return extension_; }
    ExtensionMode GetExtensionMode() const { return extensionMode_; }
    const std::string& Pattern() const { return pattern_; }
    NameMode GetNameMode() const { return nameMode_; }

  private:
    std::string extension_;
    ExtensionMode extensionMode_ = ExtensionMode::Filter;
    std::string pattern_;
    NameMode nameMode_ = NameMode::Contains;
};

/// The names of the entries of a folder that are not folders (hidden files
/// included; a link counts as what it points to), in name order with ASCII
/// letters compared without regard to case. False with a message in `error`
/// when the folder cannot be read.
bool ReadFolderFileNames(const std::string& folder, std::vector<std::string>& names,
                         std::string* error = nullptr);

/// `folder` with a '/' at its end.
std::string WithTrailingDelimiter(std::string folder);

/// "FillFileList" on names already read: empties `list` and appends, in
/// order, folder + name of every name that passes `mask`, checked and
/// enabled, as one change.
void FillFileList(FileList& list, const std::string& folder, const std::vector<std::string>& names,
                  const FileMask& mask);

/// The names of one folder kept between refills, so that every change of
/// the mask refilters in memory without reading the folder again.
class FolderFiles {
  public:
    /// Reads the names of `folder` and keeps them. False with a message when
    /// the folder cannot be read; no names are kept then.
    bool Open(const std::string& folder, std::string* error = nullptr);
    /// Reads the current folder again.
    bool Reread(std::string* error = nullptr) { return Open(folder_, error); }
    /// Fills `list` from the kept names.
    void Fill(FileList& list, std::string_view nameMask, std::string_view filterEntry) const;

    /// The folder with its trailing delimiter; empty before the first Open.
    const std::string& Folder() const { return folder_; }
    const std::vector<std::string>& Names() const { return names_; }

  private:
    std::string folder_;
    std::vector<std::string> names_;
};

}  // namespace nocturo
