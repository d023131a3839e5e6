// Program start to the main window's first paint, with "current.lng"
// present, offscreen: the time from starting a process to the moment the
// main window paints for the first time, the language strings read and the
// chosen language applied to every window.
//
//   startup_bench [RUNS]
//
// Starts itself RUNS times (default 7) as the program does at start-up, in
// a user data folder of its own holding the French language as the current
// one, and prints the fastest and the median time.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/form_main.h"
#include "app/nocturo_application.h"
#include "lang/ui/language_ui.h"

extern char** environ;

namespace {

/// Ends the process at the main window's first paint: 0 when the chosen
/// language is in force then, 3 when it is not.
class FirstPaint : public QObject {
  public:
    explicit FirstPaint(nocturo::TFormMain& form) : form_(form) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &form_ && event->type() == QEvent::Paint) {
            const bool french = form_.Action("Fichier1")->text() == QLatin1String("Fichiers");
            std::fflush(stdout);
            _exit(french ? 0 : 3);
        }
        return false;
    }

  private:
    nocturo::TFormMain& form_;
};

int Child(int argc, char** argv) {
    // The same start as the program's own.
    nocturo::NocturoApplication app(argc, argv);
    QApplication::setApplicationName("Nocturo");
    QApplication::setApplicationDisplayName("Nocturo");
    QApplication::setOrganizationName("Nocturo");
    nocturo::InitLanguageFolders();
    nocturo::TFormMain form;
    FirstPaint watch(form);
    form.installEventFilter(&watch);
    form.show();
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--child") == 0) {
        return Child(argc, argv);
    }
    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 7;

    QTemporaryDir data;
    const QString user = data.filePath("zelk/Nocturo/2-5-15/");
    QDir().mkpath(user);
    for (const char* name : {"fr.lng", "en.lng", "de.lng"}) {
        QFile::copy(QStringLiteral(NOCTURO_SOURCE_DIR "/lang/lng/") + name, user + name);
    }
    if (!QFile::copy(user + "fr.lng", user + "current.lng")) {
        std::fprintf(stderr, "startup_bench: cannot prepare the language folder\n");
        return 1;
    }
    setenv("XDG_DATA_HOME", data.path().toLocal8Bit().constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QT_LOGGING_RULES", "qt.qpa.*=false", 1);

    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        char child[] = "--child";
        char* childArgv[] = {argv[0], child, nullptr};
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, childArgv, environ) != 0) {
            std::perror("startup_bench");
            return 1;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "startup_bench: the program did not start in French (%d)\n",
                         status);
            return 1;
        }
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "start to first paint, current.lng = fr.lng: fastest %.0f ms, median %.0f ms "
        "over %d starts\n",
        times.front(), times[times.size() / 2], runs);
    return 0;
}
