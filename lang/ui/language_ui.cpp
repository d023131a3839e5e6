#include "lang/ui/language_ui.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/ini_document.h"
#include "lang/language_files.h"
#include "lang/ui/window_texts.h"

namespace nocturo {

namespace {

std::string Path(const QString& path) {
    return path.isEmpty() ? CurrentLanguageFile() : path.toStdString();
}

}  // namespace

void InitLanguageFolders() {
    LanguageFolders folders;
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/lng/");
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    // Without a per-user data folder the program's own folder stands in.
    folders.user = data.isEmpty() ? program.toStdString()
                                  : (data + QStringLiteral("/zelk/Nocturo/2-5-15/")).toStdString();
    // Found from the program's own folder, so that the files are found
    // wherever the package or `make install` put them.
    folders.program = ShippedLanguageFolders(QCoreApplication::applicationDirPath().toStdString(),
                                             NOCTURO_INSTALLED_LNG_FROM_BIN);
    SetLanguageFolders(std::move(folders));
}

bool SaveLanguageFile(const QString& path, QString* error, const QList<QWidget*>& windows) {
    const std::string target = Path(path);
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::path(target).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ignored);
    }
    IniDocument file;
    WriteLanguageHeader(file, path.isEmpty() ? std::string_view() : std::string_view(target));
    SaveWindowTexts(file, windows.isEmpty() ? ProgramWindows() : windows);
    std::string message;
    if (!file.SaveFile(target, &message)) {
        if (error != nullptr) {
            *error = QString::fromStdString(message);
        }
        return false;
    }
    return true;
}

bool ApplyLanguageFile(const QString& path, QString* error, const QList<QWidget*>& windows) {
    IniDocument file;
    std::string message;
    const bool ok = ReadLanguageFile(Path(path), file, &message);
    if (!ok && error != nullptr) {
        *error = QString::fromStdString(message);
    }
    ReadLanguageHeader(file);
    ApplyWindowTexts(file, windows.isEmpty() ? ProgramWindows() : windows);
    return ok;
}

}  // namespace nocturo
