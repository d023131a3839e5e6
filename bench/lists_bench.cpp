// The list commands on a 50,000-entry list, the size of a long time-lapse
// night. Each must stay far below what a user notices (the windows add their
// repaint on top of this).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/ini_document.h"
#include "lists/file_list.h"
#include "lists/file_mask.h"
#include "lists/list_commands.h"
#include "lists/list_file.h"

namespace nocturo {
namespace {

constexpr int kEntries = 50'000;

// Names as a camera writes them: the counter runs 0001..9999 and starts over.
const std::vector<std::string>& Names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        v.reserve(kEntries);
        char buffer[32];
        for (int i = 0; i < kEntries; ++i) {
            std::snprintf(buffer, sizeof buffer, "/night/IMG_%04d.JPG", 1 + i % 9999);
            v.emplace_back(buffer);
        }
        return v;
    }();
    return names;
}

std::vector<ListEntry> Entries(bool shuffled) {
    std::vector<ListEntry> entries;
    entries.reserve(kEntries);
    int i = 0;
    for (const std::string& name : Names()) {
        entries.push_back(ListEntry{name, i % 3 != 0, i % 17 != 0, false});
        ++i;
    }
    if (shuffled) {
        std::mt19937 random(12345);
        std::shuffle(entries.begin(), entries.end(), random);
    }
    return entries;
}

// Counts notifications, so the cost of notifying is part of each figure.
class CountingObserver : public FileListObserver {
  public:
    void ListChanged(const FileList&, const ListChange&) override { ++count; }
    int count = 0;
};

void FillList(FileList& list, bool shuffled = false) {
    list.Clear();
    list.AppendEntries(Entries(shuffled));
}

void BM_Fill(benchmark::State& state) {
    for (auto _ : state) {
        FileList list;
        CountingObserver observer;
        list.AddObserver(&observer);
        {
            FileList::UpdateGuard update(list);
            for (const std::string& name : Names()) {
                list.Append(name, true, true);
            }
        }
        benchmark::DoNotOptimize(list.Count());
        state.PauseTiming();  // freeing 50,000 names is not part of filling
        list.RemoveObserver(&observer);
        list.Clear();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Fill)->Unit(benchmark::kMillisecond);

void BM_FillSorted(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        FileList list;
        list.SetSorted(true);
        std::vector<ListEntry> entries = Entries(true);
        state.ResumeTiming();
        list.AppendEntries(std::move(entries));
        benchmark::DoNotOptimize(list.Count());
        state.PauseTiming();
        list.Clear();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FillSorted)->Unit(benchmark::kMillisecond);

void BM_CheckAll(benchmark::State& state) {
    FileList list;
    FillList(list);
    CountingObserver observer;
    list.AddObserver(&observer);
    for (auto _ : state) {
        state.PauseTiming();
        UncheckAll(list);
        state.ResumeTiming();
        CheckAll(list);
    }
    list.RemoveObserver(&observer);
}
BENCHMARK(BM_CheckAll)->Unit(benchmark::kMillisecond);

void BM_InvertCheckAll(benchmark::State& state) {
    FileList list;
    FillList(list);
    CountingObserver observer;
    list.AddObserver(&observer);
    for (auto _ : state) {
        InvertCheckAll(list);
    }
    list.RemoveObserver(&observer);
}
BENCHMARK(BM_InvertCheckAll)->Unit(benchmark::kMillisecond);

void BM_SelectAll(benchmark::State& state) {
    FileList list;
    FillList(list);
    CountingObserver observer;
    list.AddObserver(&observer);
    for (auto _ : state) {
        state.PauseTiming();
        UnselectAll(list);
        state.ResumeTiming();
        SelectAll(list);
    }
    list.RemoveObserver(&observer);
}
BENCHMARK(BM_SelectAll)->Unit(benchmark::kMillisecond);

void BM_Swap(benchmark::State& state) {
    FileList left;
    FileList right;
    FillList(left);
    FillList(right, true);
    CountingObserver leftObserver;
    CountingObserver rightObserver;
    left.AddObserver(&leftObserver);
    right.AddObserver(&rightObserver);
    for (auto _ : state) {
        // Selected entries make the unselecting part of the swap do work.
        state.PauseTiming();
        SelectAll(left);
        state.ResumeTiming();
        Swap(left, right);
    }
    left.RemoveObserver(&leftObserver);
    right.RemoveObserver(&rightObserver);
}
BENCHMARK(BM_Swap)->Unit(benchmark::kMillisecond);

void BM_SortByNumber(benchmark::State& state) {
    FileList list;
    for (auto _ : state) {
        state.PauseTiming();
        FillList(list, true);
        state.ResumeTiming();
        SortByNumber(list, SortThreshold(0, false));
        CheckAll(list);  // the command checks everything afterwards
    }
}
BENCHMARK(BM_SortByNumber)->Unit(benchmark::kMillisecond);

void BM_SortByName(benchmark::State& state) {
    FileList list;
    for (auto _ : state) {
        state.PauseTiming();
        list.SetSorted(false);
        FillList(list, true);
        state.ResumeTiming();
        list.SetSorted(true);
    }
}
BENCHMARK(BM_SortByName)->Unit(benchmark::kMillisecond);

void BM_Clear(benchmark::State& state) {
    FileList list;
    CountingObserver observer;
    list.AddObserver(&observer);
    for (auto _ : state) {
        state.PauseTiming();
        FillList(list);
        state.ResumeTiming();
        ResetList(list);
    }
    list.RemoveObserver(&observer);
}
BENCHMARK(BM_Clear)->Unit(benchmark::kMillisecond);

void BM_DeleteSelection(benchmark::State& state) {
    FileList list;
    for (auto _ : state) {
        state.PauseTiming();
        FillList(list);
        for (int i = 0; i < list.Count(); i += 2) {
            list.SetSelected(i, true);
        }
        state.ResumeTiming();
        DeleteSelection(list);
    }
}
BENCHMARK(BM_DeleteSelection)->Unit(benchmark::kMillisecond);

// A list file written and read in memory, without the disk: the time per
// entry stays the same from 10,000 to 200,000 entries, since every section is
// found through the document's index.
std::vector<std::string> Frames(int count) {
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    char name[80];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "/media/sky/2024-08-12/IMG_%06d.JPG", i + 1);
        names.emplace_back(name);
    }
    return names;
}

void BM_ListFileWrite(benchmark::State& state) {
    FileList list;
    for (const std::string& name : Frames(static_cast<int>(state.range(0)))) {
        list.Append(ListEntry{name, true, true, false});
    }
    for (auto _ : state) {
        IniDocument doc;
        WriteListDocument(list, doc);
        benchmark::DoNotOptimize(doc.ToBytes());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListFileWrite)->Arg(10000)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_ListFileRead(benchmark::State& state) {
    FileList list;
    for (const std::string& name : Frames(static_cast<int>(state.range(0)))) {
        list.Append(ListEntry{name, true, true, false});
    }
    IniDocument written;
    WriteListDocument(list, written);
    const std::string bytes = written.ToBytes();
    std::vector<ListEntry> entries;
    for (auto _ : state) {
        const IniDocument doc = IniDocument::FromBytes(bytes);
        ReadListEntries(doc, entries);
        benchmark::DoNotOptimize(entries.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListFileRead)->Arg(10000)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond);

// One keystroke in the browser's mask over the kept names of a 50,000-frame
// folder: compile the mask, test every name, fill the list.
void BM_MaskRefilter(benchmark::State& state) {
    std::vector<std::string> names;
    for (const std::string& full : Frames(50000)) {
        names.push_back(full.substr(full.rfind('/') + 1));
    }
    FileList list;
    const char* masks[] = {"IMG_00001*", "IMG_*"};
    int n = 0;
    for (auto _ : state) {
        FillFileList(list, "/media/sky/2024-08-12", names,
                     FileMask(masks[n++ % 2], kBrowserFilters[0]));
    }
}
BENCHMARK(BM_MaskRefilter)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace nocturo

BENCHMARK_MAIN();
