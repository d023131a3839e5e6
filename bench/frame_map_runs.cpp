// The frame map's cost in an AddMax run, alone: the run with the map off,
// on, or both alternated, without the measuring that measure_night does
// first, so that `perf stat` can be pointed at one kind of run.
//
//   frame_map_runs LIST [off|on|both|merge] [REPEAT]
//
// Prints RESULT lines with the fastest wall and processor seconds. `merge`
// decodes the frames once and times only the merges of a run, AddMax
// alone against AddMax recording the map (Start to Finish), in the
// thread's processor time: the map's own cost without the decoding.
//
// Every run is printed too: the first run with the map in a process also
// pays for the fresh pages of its records, which later runs reuse.
// (Not a Google Benchmark program: bench/run-all runs only *_bench ones.)

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "core/combine.h"
#include "core/image_file.h"
#include "engine/frame_map.h"
#include "engine/run_state.h"
#include "engine/stacking_run.h"
#include "lists/list_pair.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
    double wall = 1e30;
    double cpu = 1e30;
    double system = 1e30;  // of cpu: in the kernel (fresh pages, file reads)
};

double SystemSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_stime.tv_usec) * 1e-6;
}

Timing AddMaxRun(const std::vector<std::string>& files, bool recordMap, int threads) {
    nocturo::ListPair lists;
    for (const std::string& file : files) {
        lists.Left().Append(file, true, true);
    }
    const auto start = Clock::now();
    const std::clock_t cpuStart = std::clock();
    const double systemStart = SystemSeconds();
    nocturo::bench::RunAddMax(lists, threads, recordMap, "frame_map_runs");
    const Timing t{std::chrono::duration<double>(Clock::now() - start).count(),
                   static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC,
                   SystemSeconds() - systemStart};
    std::printf("RUN map=%s seconds=%.3f cpu=%.3f system=%.3f\n", recordMap ? "on" : "off", t.wall,
                t.cpu, t.system);
    return t;
}

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The merges of a run on decoded frames, with and without the map.
int MergeOnly(const std::vector<std::string>& files, int repeat) {
    std::vector<nocturo::RgbImage> frames(files.size());
    for (size_t k = 0; k < files.size(); ++k) {
        if (!nocturo::LoadImageFile(frames[k], files[k])) {
            std::fprintf(stderr, "frame_map_runs: cannot load %s\n", files[k].c_str());
            return 1;
        }
    }
    double plain = 1e30;
    double recorded = 1e30;
    nocturo::RgbImage result;
    for (int r = 0; r < repeat; ++r) {
        result = frames[0];
        double start = ThreadSeconds();
        for (size_t k = 1; k < frames.size(); ++k) {
            nocturo::AddMax(frames[k], result);
        }
        plain = std::min(plain, ThreadSeconds() - start);

        result = frames[0];
        start = ThreadSeconds();
        {
            nocturo::FrameMapRecorder recorder(true, nocturo::AddMax, true);
            recorder.Start(result, 0, files[0]);
            for (size_t k = 1; k < frames.size(); ++k) {
                recorder.Merge(nocturo::AddMax, nullptr, frames[k], result, static_cast<int>(k),
                               files[k]);
            }
            const nocturo::FrameMap map = recorder.Finish(result);
            if (map.Empty()) {
                std::fprintf(stderr, "frame_map_runs: no frame map\n");
                return 1;
            }
        }
        recorded = std::min(recorded, ThreadSeconds() - start);
    }
    std::printf("RESULT what=merges frames=%zu addmax_cpu=%.3f with_map_cpu=%.3f map_cost=%.3f\n",
                frames.size(), plain, recorded, recorded - plain);
    return 0;
}

void Keep(Timing& best, const Timing& t) {
    best = {std::min(best.wall, t.wall), std::min(best.cpu, t.cpu),
            std::min(best.system, t.system)};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: frame_map_runs LIST [off|on|both|merge] [REPEAT]\n");
        return 2;
    }
    const std::string mode = argc > 2 ? argv[2] : "both";
    const int repeat = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const std::vector<std::string> files = nocturo::bench::ReadList(argv[1]);
    if (files.empty()) {
        std::fprintf(stderr, "frame_map_runs: no files in %s\n", argv[1]);
        return 2;
    }
    if (mode == "merge") {
        return MergeOnly(files, repeat);
    }
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    Timing off;
    Timing on;
    for (int k = 0; k < repeat; ++k) {
        if (mode != "on") {
            Keep(off, AddMaxRun(files, false, cores));
        }
        if (mode != "off") {
            Keep(on, AddMaxRun(files, true, cores));
        }
    }
    if (mode != "on") {
        std::printf("RESULT what=addmax map=off seconds=%.3f cpu=%.3f system=%.3f\n", off.wall,
                    off.cpu, off.system);
    }
    if (mode != "off") {
        std::printf("RESULT what=addmax map=on seconds=%.3f cpu=%.3f system=%.3f\n", on.wall,
                    on.cpu, on.system);
    }
    if (mode == "both") {
        std::printf("RESULT what=addmax speed_with_map=%.3f cpu_speed_with_map=%.3f\n",
                    off.wall / on.wall, off.cpu / on.cpu);
    }
    return 0;
}
