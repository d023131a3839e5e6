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
bool ApplyLanguageFile(const QString& path, QString* error = nullptr,
                       const QList<QWidget*>& windows = {});

}  // namespace nocturo
