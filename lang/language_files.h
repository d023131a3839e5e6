#pragma once
// Where language files live and the parts of reading and writing them that
// need no window: the folders, the file list, the start-up copy, the "File"
// section and the language strings. The window texts are walked by lang/ui.
//
// Folders end with a separator. They are set once at start-up by the
// program (lang/ui knows the platform's folders); until then they are empty
// and the start-up steps do nothing, which keeps tests away from the user's
// own files.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nocturo {

class IniDocument;

struct LanguageFolders {
    /// The user language folder, where "current.lng" lives.
    std::string user;
    /// Folders holding the shipped files, in the order they are searched:
    /// "lng" beside the program, then the installed data folder.
    std::vector<std::string> program;
};

/// The folders of the shipped files for a program in `programFolder`: "lng"
/// beside it, then `installedFolder` taken from it ("../share/nocturo/lng"
/// finds /usr/share/nocturo/lng for /usr/bin, wherever the installation
/// is), both cleaned of "." and ".." and ending with a separator.
std::vector<std::string> ShippedLanguageFolders(const std::string& programFolder,
                                                const std::string& installedFolder);

void SetLanguageFolders(LanguageFolders folders);
const LanguageFolders& GetLanguageFolders();

/// The user language folder, with a trailing separator.
std::string UserLanguageFolder();
/// "current.lng" in the user language folder.
std::string CurrentLanguageFile();
/// The user language folder and the name's file part when its extension is
/// ".lng" in any letter case, else that part without extension and ".lng";
/// an empty name gives the current language file.
std::string LanguageFilePath(std::string_view name);
/// "NEW.lng" in the user language folder.
std::string NewLanguageFile();

/// Names (without folder) of the "*.lng" files in `folder`, sorted without
/// regard to case, duplicates dropped. False when the folder is missing or
/// holds none.
bool ListLanguageFiles(const std::string& folder, std::vector<std::string>& list);

/// Copies every "*.lng" file of the `from` folders into `to` (created with
/// its parents), never replacing a file already there: a shipped file met
/// twice is taken from the first folder. Returns the number copied.
int CopyLanguageFiles(const std::vector<std::string>& from, const std::string& to);

/// The `Name` value a file saved at `path` carries: "\lng\" and the file
/// name with the extension ".lng"; "\lng\current.lng" for an empty path.
std::string LanguageFileName(std::string_view path);

/// Starts a language file for `path`: section "File" with Name, App,
/// Version and Language, then the language strings.
void WriteLanguageHeader(IniDocument& file, std::string_view path);
/// Takes the language code (default "??") and the language strings from a
/// language file, as a whole: a string the file leaves empty or lacks is
/// the built-in English one (ApplyLanguageStrings).
void ReadLanguageHeader(const IniDocument& file);

/// Language files are a few tens of kilobytes; a larger file is refused
/// rather than read into every window.
inline constexpr std::uint64_t kMaxLanguageFileSize = 4u << 20;
/// No text of a window needs more; a longer value is cut to this length
/// (in bytes, never inside a character), so that a huge caption cannot
/// freeze a window that lays it out.
inline constexpr std::size_t kMaxLanguageTextBytes = 4096;

/// Reads a language file, every value capped at kMaxLanguageTextBytes; a
/// missing one reads as empty. On a read error (larger than
/// kMaxLanguageFileSize, among others) the document is empty and `error`
/// says why.
bool ReadLanguageFile(const std::string& path, IniDocument& file, std::string* error = nullptr);

/// The first start-up steps: when "current.lng" is missing, copy the
/// shipped files into the user folder; then read the language strings from
/// "current.lng". Does nothing while no user folder is set.
void StartLanguage();

}  // namespace nocturo
