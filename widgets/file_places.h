#pragma once
// Where each kind of file was last chosen in a file dialog. A list file is
// not a picture: the dialog that saves a list must never propose the star
// trail just saved, nor the picture dialog the list. So every kind keeps its
// own folder and name.
//
// The places live for the session. Each kind has a stable key, so that they
// can be written to and read from settings as they are.

#include <QString>
#include <array>
#include <functional>

namespace nocturo {

struct FileDialogOptions;

/// The kinds of file the windows ask for.
enum class FileKind {
    Lists,      ///< list files, loaded and saved
    Results,    ///< the result picture ("Save Result as...")
    Masks,      ///< masks made by Info Image and batch reference pictures
    Languages,  ///< language files
    Frames,     ///< the pictures opened into the left list
};
inline constexpr int kFileKindCount = 5;

/// The last choice of one kind.
struct FilePlace {
    QString folder;       ///< absolute; empty until a choice was made
    QString name;         ///< without its folder
    int filterIndex = 0;  ///< 1-based; 0 for none remembered
};

class FilePlaces {
  public:
    /// The places of this session.
    static FilePlaces& Session();

    /// A stable name for the kind ("lists", "results", "masks", "languages",
    /// "frames"), for settings.
    static QString Key(FileKind kind);

    const FilePlace& Last(FileKind kind) const;
    void Set(FileKind kind, const FilePlace& place);
    /// Remembers a chosen file (absolute, or relative to the current folder)
    /// and the filter the dialog ended with.
    void Remember(FileKind kind, const QString& chosen, int filterIndex = 0);
    /// Forgets every kind.
    void Clear();

    /// Fills the options for a dialog of `kind`: the remembered folder (or
    /// `fallbackFolder` before the first choice), and the remembered file
    /// (with its folder) when `suits` accepts its name, else `defaultName`. The filter index is the
    /// remembered one when there is one.
    void Propose(FileKind kind, FileDialogOptions& options, const QString& defaultName,
                 const std::function<bool(const QString&)>& suits,
                 const QString& fallbackFolder = QString()) const;

  private:
    std::array<FilePlace, kFileKindCount> places_;
};

}  // namespace nocturo
