#include "lang/ui/language_ui.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTranslator>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "core/ini_document.h"
#include "lang/language_files.h"
#include "lang/language_strings.h"
#include "lang/ui/window_texts.h"

namespace nocturo {

namespace {

std::string Path(const QString& path) {
    return path.isEmpty() ? CurrentLanguageFile() : path.toStdString();
}

// Qt's translation in force, for the texts of its own dialogs.
std::unique_ptr<QTranslator>& QtTranslator() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

}  // namespace

bool UseQtTranslations(const QString& languageCode) {
    std::unique_ptr<QTranslator>& current = QtTranslator();
    if (current) {
        QCoreApplication::removeTranslator(current.get());
        current.reset();
    }
    const QString code = languageCode.toLower();
    if (code.isEmpty() || code == QLatin1String("en") || code == QLatin1String("??")) {
        return true;  // Qt's own texts are English
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_") + code,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    QCoreApplication::installTranslator(translator.get());
    current = std::move(translator);
    return true;
}

namespace {

// Tells every window that its language changed: a window that builds texts
// from the language strings builds them again.
void AnnounceLanguageChange(const QList<QWidget*>& windows) {
    for (QWidget* window : windows) {
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(window, &change);
    }
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
            *error = QString::fromStdString(LocalizedError(message));
        }
        return false;
    }
    return true;
}

bool ApplyLanguageFile(const QString& path, QString* error, const QList<QWidget*>& windows) {
    const std::string target = Path(path);
    IniDocument file;
    std::string message;
    const bool ok = ReadLanguageFile(target, file, &message);
    std::error_code ignored;
    if (!ok || !std::filesystem::is_regular_file(target, ignored)) {
        // Nothing to apply: the texts stay as they are.
        if (!ok && error != nullptr) {
            *error = QString::fromStdString(LocalizedError(message));
        }
        LanguageCode() = "??";
        return ok;
    }
    const QList<QWidget*> targets = windows.isEmpty() ? ProgramWindows() : windows;
    // The language as a whole: where the file is silent, the built-in
    // English comes back, never a text of the language before.
    ReadLanguageHeader(file);
    RestoreBuiltInTexts(targets);
    ApplyWindowTexts(file, targets);
    UseQtTranslations(QString::fromStdString(LanguageCode()));
    AnnounceLanguageChange(targets);
    return ok;
}

}  // namespace nocturo
