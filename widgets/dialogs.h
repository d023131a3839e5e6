#pragma once
// Every message box, input box and file or folder dialog of the windows goes
// through Dialogs, so that tests can script the user's answers and no test
// ever blocks on a modal window.

#include <QColor>
#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace nocturo {

enum class DialogButton { None, Ok, Cancel, Yes, No, YesToAll, NoToAll };

enum class MessageKind { Information, Warning, Question, Error };

/// What a file dialog shows and what it hands back.
struct FileDialogOptions {
    QString title;
    /// Filter in the program's form "Description|*.A;*.B|Other|*.C".
    QString filter;
    /// 1-based index of the filter entry shown first; updated to the one the
    /// user ended with.
    int filterIndex = 1;
    /// Extension added to a typed name without one ("bmp", no dot).
    QString defaultExtension;
    /// Name proposed; updated to the name chosen.
    QString fileName;
    /// Folder to start in; empty for the process's current folder.
    QString folder;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;

    /// Shows a message box; returns the button pressed (closing the box
    /// counts as Cancel, or No when there is no Cancel, or the only button).
    virtual DialogButton Message(QWidget* parent, const QString& text, const QString& caption,
                                 std::vector<DialogButton> buttons,
                                 MessageKind kind = MessageKind::Question) = 0;

    /// One-line input box. Returns false on Cancel; value holds the initial
    /// text and receives the typed one.
    virtual bool InputQuery(QWidget* parent, const QString& caption, const QString& prompt,
                            QString& value) = 0;

    /// Open dialog for several files; empty on Cancel.
    virtual QStringList OpenFileNames(QWidget* parent, FileDialogOptions& options) = 0;
    /// Open dialog for one file; empty on Cancel.
    virtual QString OpenFileName(QWidget* parent, FileDialogOptions& options) = 0;
    /// Save dialog; never asks before overwriting (the commands ask
    /// themselves where they must). Empty on Cancel.
    virtual QString SaveFileName(QWidget* parent, FileDialogOptions& options) = 0;
    /// Folder dialog. The user may type a folder that does not exist yet;
    /// it is returned as typed. Empty on Cancel.
    virtual QString Folder(QWidget* parent, const QString& caption, const QString& start) = 0;
    /// Colour dialog; nothing on Cancel.
    virtual std::optional<QColor> Colour(QWidget* parent, const QColor& initial) = 0;

    /// The dialogs in force: the real ones unless a test installed others.
    static Dialogs& Get();
    /// Installs other dialogs (tests); returns the previous ones. Passing
    /// null restores the real dialogs.
    static std::unique_ptr<Dialogs> Install(std::unique_ptr<Dialogs> dialogs);
};

/// The real dialogs, with Qt's widgets. Every one opens above every other
/// window of the program, whichever window asks: parented to the window the
/// user works in (see DialogParent), raised and activated once shown.
class QtDialogs : public Dialogs {
  public:
    DialogButton Message(QWidget* parent, const QString& text, const QString& caption,
                         std::vector<DialogButton> buttons, MessageKind kind) override;
    bool InputQuery(QWidget* parent, const QString& caption, const QString& prompt,
                    QString& value) override;
    QStringList OpenFileNames(QWidget* parent, FileDialogOptions& options) override;
    QString OpenFileName(QWidget* parent, FileDialogOptions& options) override;
    QString SaveFileName(QWidget* parent, FileDialogOptions& options) override;
    QString Folder(QWidget* parent, const QString& caption, const QString& start) override;
    std::optional<QColor> Colour(QWidget* parent, const QColor& initial) override;
};

/// The window a dialog asked for by `requested` is parented to: the modal
/// dialog already open, else the active window of the program (a tool
/// window above the one that asks), else the requested widget's window.
QWidget* DialogParent(QWidget* requested);

/// The save dialog, then, when the chosen file exists, `question(name)`
/// with Yes, No and Cancel: Yes takes the name, No shows the dialog again
/// with it, Cancel gives up. Nothing of the user's is replaced without that
/// question. Empty on Cancel in either. With acceptName, a chosen name is
/// first put to it: Yes goes on, No shows the dialog again with the name,
/// anything else gives up (a name the format of which loses what is to be
/// saved, say).
QString SaveFileNameAskingToReplace(
    QWidget* parent, FileDialogOptions& options,
    const std::function<QString(const QString&)>& question, const QString& caption,
    const std::function<DialogButton(const QString&)>& acceptName = {});

/// Turns the program's filter form "Text|*.A;*.B|..." into Qt's name filters
/// ("Text (*.A *.B)"), matching upper- and lower-case extensions alike. The
/// descriptions "All Images", "All Files" and "XYZ Files" are shown in the
/// language in force.
QStringList QtNameFilters(const QString& filter);

/// Widens a window about to be shown to the width its title needs (with
/// room for the title bar's buttons), so that a translated title is not
/// cut; a window wide enough already keeps its size. A window of fixed size
/// is given the size its contents need now, in the language in force,
/// widened for its title.
void WidenForTitle(QWidget* window);

/// A menu item's or button's caption as a window title shows it: without
/// its mnemonic marks ("Search && Save" is "Search & Save").
QString PlainCaption(const QString& caption);

}  // namespace nocturo
