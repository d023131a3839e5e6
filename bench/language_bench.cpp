// Applying a complete language file to every window of the program, and
// writing one from them, offscreen. Each apply switches between French and
// English, so every text really changes.

#include <benchmark/benchmark.h>

#include <QAction>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "app/form_main.h"
#include "app/nocturo_application.h"
#include "lang/ui/language_ui.h"

namespace {

nocturo::TFormMain* Form() {
    static auto* form = [] {
        auto* created = new nocturo::TFormMain;
        created->show();
        QCoreApplication::processEvents();
        return created;
    }();
    return form;
}

void BM_ApplyLanguageFile(benchmark::State& state) {
    Form();
    const QString files[] = {QStringLiteral(NOCTURO_SOURCE_DIR "/lang/lng/fr.lng"),
                             QStringLiteral(NOCTURO_SOURCE_DIR "/lang/lng/en.lng")};
    int next = 0;
    for (auto _ : state) {
        if (!nocturo::ApplyLanguageFile(files[next])) {
            state.SkipWithError("cannot read the language file");
            break;
        }
        next = 1 - next;
    }
    // Reading the file, the language strings and every window's texts.
    if (Form()->Action("Fichier1")->text().isEmpty()) {
        state.SkipWithError("texts were lost");
    }
}
BENCHMARK(BM_ApplyLanguageFile)->Unit(benchmark::kMillisecond);

void BM_SaveLanguageFile(benchmark::State& state) {
    Form();
    QTemporaryDir dir;
    const QString path = dir.filePath("saved.lng");
    for (auto _ : state) {
        if (!nocturo::SaveLanguageFile(path)) {
            state.SkipWithError("cannot write the language file");
            break;
        }
    }
}
BENCHMARK(BM_SaveLanguageFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    nocturo::NocturoApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
