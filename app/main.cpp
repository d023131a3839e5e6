// Nocturo: merges a night of sky frames into star-trail pictures.
//
//   nocturo [PICTURE...]           the program, the pictures in the left list
//   nocturo --write-language FILE [--from BASE]
//                                  writes the texts of every window as a
//                                  language file and ends, without showing a
//                                  window: the built-in texts, or BASE's
//                                  texts where BASE has them (which brings a
//                                  translation up to date with the windows:
//                                  missing texts come in English, texts of
//                                  controls that are gone are dropped)

#include <QFileInfo>
#include <QIcon>
#include <QStringList>
#include <cstdio>
#include <cstring>

#include "app/form_main.h"
#include "app/nocturo_application.h"
#include "lang/ui/language_ui.h"

namespace {

int WriteLanguage(int argc, char** argv) {
    const bool withBase = argc == 5 && std::strcmp(argv[3], "--from") == 0;
    if (argc != 3 && !withBase) {
        std::fprintf(stderr, "usage: nocturo --write-language FILE [--from BASE]\n");
        return 2;
    }
    // No screen is needed to read texts; the language folders stay unset,
    // so the built-in texts are written, whatever the user chose.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    nocturo::NocturoApplication app(argc, argv);
    QApplication::setApplicationName("Nocturo");
    nocturo::TFormMain formMain;
    QString error;
    if (withBase) {
        const QString base = QString::fromLocal8Bit(argv[4]);
        if (!QFileInfo(base).isFile() || !nocturo::ApplyLanguageFile(base, &error)) {
            std::fprintf(stderr, "nocturo: cannot read %s %s\n", argv[4],
                         error.toLocal8Bit().constData());
            return 1;
        }
    }
    if (!nocturo::SaveLanguageFile(QString::fromLocal8Bit(argv[2]), &error)) {
        std::fprintf(stderr, "nocturo: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--write-language") == 0) {
        return WriteLanguage(argc, argv);
    }
    nocturo::NocturoApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(":/icons/nocturo.svg"));
    nocturo::InitLanguageFolders();

    nocturo::TFormMain formMain;
    formMain.show();

    // Pictures named on the command line fill the left list, as "New list"
    // does.
    QStringList files = QApplication::arguments();
    files.removeFirst();
    if (!files.isEmpty()) {
        formMain.OpenFiles(files);
    }
    return QApplication::exec();
}
