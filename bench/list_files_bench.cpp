// List files and the mask directory browser on a 50,000-frame night, as the
// user feels them in the main window: each timing ends with a synchronous
// repaint of the list that shows the outcome.
//
//  - saving and loading a list file of 50,000 entries;
//  - opening a folder of 50,000 files in the browser: its folder view and
//    its file list;
//  - a keystroke in the mask refiltering the kept names;
//  - "OK" appending 50,000 entries to the left list.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <string>

#include "app/form_main.h"
#include "lists/list_commands.h"
#include "lists/ui/check_list_box.h"
#include "lists/ui/form_sel_dir.h"

namespace {

using nocturo::FileList;
using nocturo::ListEntry;
using nocturo::TFormMain;
using nocturo::TFormSelDir;

constexpr int kEntries = 50000;

QTemporaryDir& Scratch() {
    static QTemporaryDir dir;
    return dir;
}

// A folder of kEntries empty frames and a few other files, made once.
QString NightFolder() {
    static const QString folder = [] {
        const QString path = Scratch().filePath("night");
        QDir().mkpath(path);
        QDir().mkpath(path + "/darks");
        QDir().mkpath(path + "/flats");
        char name[64];
        for (int i = 0; i < kEntries; ++i) {
            std::snprintf(name, sizeof name, "/IMG_%05d.JPG", i + 1);
            const std::string file = path.toStdString() + name;
            const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                ::close(fd);
            }
        }
        return path;
    }();
    return folder;
}

void FillLeft(FileList& list) {
    std::vector<ListEntry> entries;
    entries.reserve(kEntries);
    char name[80];
    for (int i = 0; i < kEntries; ++i) {
        std::snprintf(name, sizeof name, "/media/sky/2024-08-12 Été/IMG_%05d.JPG", i + 1);
        entries.push_back(ListEntry{name, i % 3 != 0, true, i % 7 == 0});
    }
    list.Clear();
    list.AppendEntries(std::move(entries));
}

// The main window shown, with its left list full.
struct ShownWindow {
    TFormMain form;
    ShownWindow() {
        form.resize(1024, 640);
        form.show();
        QApplication::processEvents();
    }
    void Repaint() { form.repaint(); }
    nocturo::CheckListBox* Box(QWidget* parent, const char* name) {
        return parent->findChild<nocturo::CheckListBox*>(name);
    }
};

void BM_SaveList(benchmark::State& state) {
    ShownWindow shown;
    FillLeft(shown.form.LeftList());
    const QString file = Scratch().filePath("list.txt");
    for (auto _ : state) {
        if (!shown.form.SaveListFile(file)) {
            state.SkipWithError("save failed");
            break;
        }
        shown.Repaint();
    }
}
BENCHMARK(BM_SaveList)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LoadList(benchmark::State& state) {
    ShownWindow shown;
    FillLeft(shown.form.LeftList());
    const QString file = Scratch().filePath("load.txt");
    shown.form.SaveListFile(file);
    for (auto _ : state) {
        state.PauseTiming();
        shown.form.LeftList().Clear();
        shown.Repaint();
        state.ResumeTiming();
        if (!shown.form.LoadListFile(file) || shown.form.LeftList().Count() != kEntries) {
            state.SkipWithError("load failed");
            break;
        }
        shown.Repaint();
    }
}
BENCHMARK(BM_LoadList)->Unit(benchmark::kMillisecond)->Iterations(5);

struct ShownBrowser {
    ShownWindow window;
    TFormSelDir* browser = window.form.FormSelDir();
    nocturo::CheckListBox* list = window.Box(browser, "CheckListBox1");
    ShownBrowser() {
        NightFolder();
        browser->show();
        QApplication::processEvents();
    }
    void Repaint() { browser->repaint(); }
};

void BM_BrowserOpenFolder(benchmark::State& state) {
    ShownBrowser shown;
    const QString folder = NightFolder();
    for (auto _ : state) {
        state.PauseTiming();
        shown.browser->OpenFolder(QDir::tempPath());
        QApplication::processEvents();
        state.ResumeTiming();
        shown.browser->OpenFolder(folder);
        shown.Repaint();
        if (shown.browser->Files().Count() != kEntries) {
            state.SkipWithError("not every file listed");
            break;
        }
    }
}
BENCHMARK(BM_BrowserOpenFolder)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_BrowserMaskKeystroke(benchmark::State& state) {
    ShownBrowser shown;
    shown.browser->OpenFolder(NightFolder());
    auto* mask = shown.browser->findChild<QLineEdit*>("EditName");
    // Typing and erasing one letter: IMG_* lists every frame, IMG_4* a tenth.
    const QString masks[] = {"IMG_4*", "IMG_*"};
    int n = 0;
    for (auto _ : state) {
        mask->setText(masks[n++ % 2]);
        shown.Repaint();
    }
    state.counters["listed"] = shown.browser->Files().Count();
}
BENCHMARK(BM_BrowserMaskKeystroke)->Unit(benchmark::kMillisecond);

void BM_BrowserOk(benchmark::State& state) {
    ShownBrowser shown;
    shown.browser->OpenFolder(NightFolder());
    shown.window.form.NewDirectory1Click();
    for (auto _ : state) {
        state.PauseTiming();
        shown.window.form.LeftList().Clear();
        shown.window.Repaint();
        state.ResumeTiming();
        shown.browser->BitBtnOkClick();
        shown.window.Repaint();
        if (shown.window.form.LeftList().Count() != kEntries) {
            state.SkipWithError("not every file added");
            break;
        }
    }
}
BENCHMARK(BM_BrowserOk)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    // The benchmark needs no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
