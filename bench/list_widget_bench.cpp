// The list commands on a 50,000-frame list as the user feels them: the model
// change plus the repaint of the check list that shows it. Each timing ends
// with a synchronous repaint of the shown widget.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "lists/file_list.h"
#include "lists/list_commands.h"
#include "lists/ui/check_list_box.h"

namespace {

using nocturo::CheckListBox;
using nocturo::FileList;
using nocturo::ListEntry;

constexpr int kEntries = 50000;

/// Frame names as a camera writes them, in shooting order or shuffled.
std::vector<ListEntry> Frames(bool shuffled) {
    std::vector<ListEntry> entries;
    entries.reserve(kEntries);
    char name[64];
    for (int i = 0; i < kEntries; ++i) {
        std::snprintf(name, sizeof name, "/media/sky/2024-08-12/IMG_%05d.JPG", i + 1);
        entries.push_back(ListEntry{name, true, true, false});
    }
    if (shuffled) {
        std::mt19937 random(12345);
        std::shuffle(entries.begin(), entries.end(), random);
    }
    return entries;
}

/// A shown 300 x 600 check list over its own list.
struct ShownList {
    FileList list;
    std::unique_ptr<CheckListBox> box = std::make_unique<CheckListBox>();

    ShownList() {
        box->resize(300, 600);
        box->SetList(&list);
        box->show();
        QApplication::processEvents();
    }
    ~ShownList() { box->SetList(nullptr); }

    void Refill(bool shuffled) {
        list.Clear();
        list.AppendEntries(Frames(shuffled));
    }
    void Repaint() { box->viewport()->repaint(); }
};

void BM_Fill(benchmark::State& state) {
    ShownList shown;
    for (auto _ : state) {
        state.PauseTiming();
        shown.list.Clear();
        std::vector<ListEntry> entries = Frames(false);
        state.ResumeTiming();
        shown.list.AppendEntries(std::move(entries));
        shown.Repaint();
    }
}
BENCHMARK(BM_Fill)->Unit(benchmark::kMillisecond);

void BM_CheckAll(benchmark::State& state) {
    ShownList shown;
    shown.Refill(false);
    for (auto _ : state) {
        state.PauseTiming();
        nocturo::UncheckAll(shown.list);
        state.ResumeTiming();
        nocturo::CheckAll(shown.list);
        shown.Repaint();
    }
}
BENCHMARK(BM_CheckAll)->Unit(benchmark::kMillisecond);

void BM_InvertCheckAll(benchmark::State& state) {
    ShownList shown;
    shown.Refill(false);
    for (auto _ : state) {
        nocturo::InvertCheckAll(shown.list);
        shown.Repaint();
    }
}
BENCHMARK(BM_InvertCheckAll)->Unit(benchmark::kMillisecond);

void BM_Swap(benchmark::State& state) {
    ShownList left;
    ShownList right;
    left.Refill(false);
    right.Refill(true);
    for (auto _ : state) {
        nocturo::Swap(left.list, right.list);
        left.Repaint();
        right.Repaint();
    }
}
BENCHMARK(BM_Swap)->Unit(benchmark::kMillisecond);

void BM_SortByNumber(benchmark::State& state) {
    ShownList shown;
    for (auto _ : state) {
        state.PauseTiming();
        shown.Refill(true);
        state.ResumeTiming();
        // "Sort by Num": the rebuild, then every entry checked.
        nocturo::SortByNumber(shown.list, 1);
        nocturo::CheckAll(shown.list);
        shown.Repaint();
    }
}
BENCHMARK(BM_SortByNumber)->Unit(benchmark::kMillisecond);

void BM_SortByName(benchmark::State& state) {
    ShownList shown;
    for (auto _ : state) {
        state.PauseTiming();
        shown.list.SetSorted(false);
        shown.Refill(true);
        state.ResumeTiming();
        shown.list.SetSorted(true);
        shown.Repaint();
    }
}
BENCHMARK(BM_SortByName)->Unit(benchmark::kMillisecond);

void BM_SelectAll(benchmark::State& state) {
    ShownList shown;
    shown.Refill(false);
    for (auto _ : state) {
        state.PauseTiming();
        nocturo::UnselectAll(shown.list);
        state.ResumeTiming();
        nocturo::SelectAll(shown.list);
        shown.Repaint();
    }
}
BENCHMARK(BM_SelectAll)->Unit(benchmark::kMillisecond);

void BM_Clear(benchmark::State& state) {
    ShownList shown;
    for (auto _ : state) {
        state.PauseTiming();
        shown.Refill(false);
        state.ResumeTiming();
        shown.list.Clear();
        shown.Repaint();
    }
}
BENCHMARK(BM_Clear)->Unit(benchmark::kMillisecond);

/// One entry toggled by a click on a scrolled list: must not depend on the
/// list's length.
void BM_ToggleOneRow(benchmark::State& state) {
    ShownList shown;
    shown.Refill(false);
    shown.box->ScrollToRow(kEntries - 1);
    const int row = kEntries - 2;
    for (auto _ : state) {
        shown.list.ToggleCheck(row);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_ToggleOneRow)->Unit(benchmark::kMicrosecond);

/// Scrolling by one page and drawing the new rows.
void BM_ScrollPage(benchmark::State& state) {
    ShownList shown;
    shown.Refill(false);
    int top = 0;
    for (auto _ : state) {
        top = (top + shown.box->VisibleRowCount()) % kEntries;
        shown.box->ScrollToRow(top);
        shown.Repaint();
    }
}
BENCHMARK(BM_ScrollPage)->Unit(benchmark::kMicrosecond);

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
