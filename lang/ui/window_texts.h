#pragma once
// The window walk behind language files: every window of the program, in
// creation order, gives its texts to a language file or takes them from
// one.
//
// A window's own section (its objectName) holds `Caption`. Its named child
// widgets placed directly on it, except a status bar, get a section
// "Window.Child" with `Hint`, and `Caption` for a push button, `Text` for a
// line edit, `ItemsCount` and `Lines000`... for a memo (QPlainTextEdit).
// Every named component it owns, however deep, gets "Window.Component" by
// kind: menu items (QAction in a menu; separators left out), tool and speed
// buttons (QToolButton), labels, check boxes, radio buttons and push
// buttons placed deeper than on the window itself: `Caption`, `Hint`; combo
// boxes: `Hint`, `ItemsCount`, `ItemsString0`..., `ItemIndex`; group boxes:
// `Caption`. A named separator in a tool bar is written but never changed.
// Unnamed widgets, Qt's own ("qt_..."), and other windows owned by a window
// stay out.

#include <QList>
#include <QString>

class QWidget;

namespace nocturo {

class IniDocument;

/// Set to false on a window that must never be walked (a find dialog, which
/// the program treats as part of its owner, not as a window of its own).
inline constexpr char kLanguageWindowProperty[] = "languageWindow";
/// False on a combo box whose items are the user's data rather than texts
/// (the folders a browser visited): language files then carry only its
/// hint, so a file neither depends on where the program ran nor replaces
/// what the user has.
inline constexpr char kLanguageItemsProperty[] = "languageItems";
/// A tool button's hint when its bar shows no hints: the text is kept here
/// (and written to language files) while the tooltip stays empty.
inline constexpr char kHintProperty[] = "hint";
/// False on a tool button whose bar shows no hints.
inline constexpr char kShowHintProperty[] = "showHint";

/// The program's windows that exist now, in the order the program creates
/// them: the main window first and the about window last.
QList<QWidget*> ProgramWindows();

/// Writes the texts of the windows into `file`, window by window.
void SaveWindowTexts(IniDocument& file, const QList<QWidget*>& windows);

/// Applies the texts of `file` to the windows. A window whose section has
/// no non-empty `Caption` is left as it is; the main window's caption (its
/// banner) is never replaced; empty values leave texts as they are.
void ApplyWindowTexts(const IniDocument& file, const QList<QWidget*>& windows);

/// Keeps the texts each window shows now as its built-in ones, unless it
/// has some already: the first time a language reaches a window, it still
/// shows the texts it was built with. What the user typed or chose (edit
/// texts, combo selections) is not kept.
void RememberBuiltInTexts(const QList<QWidget*>& windows);
/// Puts the built-in texts back on the windows (remembering them first
/// where that was not done yet), so that a language applied next leaves
/// nothing of the one before where it is silent.
void RestoreBuiltInTexts(const QList<QWidget*>& windows);

}  // namespace nocturo
