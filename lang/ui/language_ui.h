#pragma once
// Language files on the windows: saving what the windows show, applying a
// file to them, and the platform's language folders.

#include <QList>
#include <QString>

class QWidget;

namespace nocturo {

/// Sets the language folders from the platform: the user folder is the
/// per-user data folder (XDG_DATA_HOME, else ~/.local/share) followed by
/// "zelk/Nocturo/2-5-15/"; the shipped files come from "lng" beside the
/// program, then from the installed data folder.
void InitLanguageFolders();

/// Writes a complete language file from the texts all windows show now:
/// built in memory, then put in place in one step, so a failure leaves the
/// old file as it was. An empty path means the current language file.
/// False with a message in `error` when the file could not be written.
bool SaveLanguageFile(const QString& path, QString* error = nullptr,
                      const QList<QWidget*>& windows = {});

/// Applies a language file to the language strings and every window; an
/// empty path means the current language file. A missing file changes
/// nothing but the language code ("??"). False with a message in `error`
/// when the file exists but cannot be read.
/// An existing file is taken as a whole: where it leaves a text empty or
/// lacks it, the built-in English text comes back (RestoreBuiltInTexts), so
/// nothing of the language in force before stays behind. Qt's own texts
/// follow the file's language code (UseQtTranslations), and every window
/// then receives a QEvent::LanguageChange, on which a window that builds
/// texts from the language strings builds them again.
bool ApplyLanguageFile(const QString& path, QString* error = nullptr,
                       const QList<QWidget*>& windows = {});

/// The texts of Qt's own dialogs and standard buttons (Yes, No, Cancel, the
/// file and colour dialogs, the context menus of edit fields) in the
/// language of `languageCode` ("Fr", "De"), from Qt's translations
/// ("qtbase_fr.qm" in Qt's translations folder); English for "En", "??" or
/// a language Qt has no translation of (false then).
bool UseQtTranslations(const QString& languageCode);

}  // namespace nocturo
