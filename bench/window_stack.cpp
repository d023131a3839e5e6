// The main window's "AddMax.." run over a night of frames, offscreen, as a
// user starts it from the menu: the view follows every frame, the status bar
// counts, the final save dialog is cancelled and the error box confirmed.
//
//   window_stack LIST
//
// LIST holds one picture file name per line. Prints one line:
//   RESULT frames=N megapixels=M seconds=S maxrss_kb=K message="..."

#include <sys/resource.h>

#include <QApplication>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/form_main.h"
#include "tests/ui/scripted_dialogs.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_stack LIST\n");
        return 2;
    }
    QStringList files;
    {
        std::ifstream list(argv[1]);
        std::string line;
        while (std::getline(list, line)) {
            if (!line.empty()) {
                files << QString::fromStdString(line);
            }
        }
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "window_stack: no files in %s\n", argv[1]);
        return 2;
    }

    nocturo::test::DialogScript script;
    script->messages.push_back(nocturo::DialogButton::Ok);  // "%d File(s) in Error"
    // No save name queued: the final "Save Result as..." dialog is cancelled.

    nocturo::TFormMain form;
    form.resize(1280, 800);
    form.show();
    form.OpenFiles(files);
    QCoreApplication::processEvents();

    nocturo::DecodeStats stats;
    form.Run().Decode.stats = &stats;
    const auto start = std::chrono::steady_clock::now();
    form.GetMAX1Click();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const nocturo::RgbImage& result = form.Result();
    const double megapixels =
        static_cast<double>(result.Width()) * result.Height() * form.ResultPosition() / 1e6;
    const QString message = script->Last("message").text;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "RESULT frames=%d megapixels=%.1f seconds=%.3f maxrss_kb=%ld prefetched=%lld "
        "loaded_by_run=%lld message=\"%s\"\n",
        form.ResultPosition(), megapixels, seconds, usage.ru_maxrss,
        static_cast<long long>(stats.prefetched), static_cast<long long>(stats.loadedByRun),
        message.toStdString().c_str());
    // The run must have merged every frame and offered the save dialog once.
    const bool complete = form.ResultPosition() == files.size() && script->Count("save") == 1;
    if (!complete) {
        std::fprintf(stderr, "window_stack: the run did not merge every frame\n");
    }
    return complete ? 0 : 1;
}
