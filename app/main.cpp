// Nocturo: merges a night of sky frames into star-trail pictures. Its
// command line is the text below (--help), which the build also turns into
// the manual page.

#include <QFileInfo>
#include <QIcon>
#include <QStringList>
#include <cstdio>
#include <cstring>

#include "app/form_main.h"
#include "app/nocturo_application.h"
#include "app/program_settings.h"
#include "app/run_progress_bar.h"
#include "lang/ui/language_ui.h"
#include "nocturo_version.h"

namespace {

// Lines of the text follow the layout the manual page is made from: headings
// end with ':' at the left edge, options start two blanks in, their
// descriptions at column 23.
const char kCommandLineHelp[] =
    "Usage: nocturo [OPTION]... [PICTURE|FOLDER]...\n"
    "       nocturo --write-language FILE [--from BASE]\n"
    "\n"
    "Nocturo merges a night of sky frames into star-trail pictures. The PICTUREs\n"
    "named, and the pictures of every FOLDER in name order, fill the left list, as\n"
    "\"Files\" > \"New list\" does; names that are no pictures are left out. The\n"
    "rest is done in the window: its help is \"?\" > \"Help\" (F1).\n"
    "\n"
    "Options:\n"
    "  --write-language FILE\n"
    "                       write the texts of every window as the language file\n"
    "                       FILE and end, without showing a window (no display is\n"
    "                       needed): the built-in English texts, or with --from\n"
    "                       those of BASE\n"
    "  --from BASE          with --write-language: take the texts of the language\n"
    "                       file BASE where it has them, which brings a translation\n"
    "                       up to date with the windows: missing texts come in\n"
    "                       English, texts of controls that are gone are dropped\n"
    "  --version            print the version and end\n"
    "  -h, --help           show this help and end\n"
    "\n"
    "Qt's own options, such as -platform NAME or -style NAME, are understood too.\n"
    "\n"
    "Files:\n"
    "  ~/.local/share/zelk/Nocturo/2-5-15/current.lng\n"
    "                       the language in use, read at every start (below\n"
    "                       $XDG_DATA_HOME when that is set); \"?\" > \"Translations\"\n"
    "                       and \"Options\" > \"Translate...\" change it\n"
    "  share/nocturo/lng/   the shipped language files, in the installation's data\n"
    "                       folder (/usr/share/nocturo/lng/ for the package) or in\n"
    "                       \"lng\" beside the program; they are copied into the\n"
    "                       user's folder above at the first start\n"
    "\n"
    "Exit status:\n"
    "  0    the window was closed, or the language file was written\n"
    "  1    --write-language could not read BASE or write FILE\n"
    "  2    a usage error of --write-language\n";

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
    formMain.SetSettingsFile(nocturo::ProgramSettingsFile());
    formMain.ProgressBar()->SetTaskbar(
        std::make_unique<nocturo::UnityLauncherProgress>(QStringLiteral("nocturo.desktop")));
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
    // Answered before Qt starts, so that they need no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kCommandLineHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("nocturo %s\n", NOCTURO_VERSION);
            return 0;
        }
    }
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
