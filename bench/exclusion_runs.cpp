// The cost of excluded areas in a stacking run: the same run over the same
// frames without any excluded area and with areas on a few frames (a
// streak's box of 1200 x 40 pixels on every 25th frame), run in pairs,
// alternating, so that both see the same load on a shared machine.
//
//   exclusion_runs LIST [REPEAT]
//
// For AddMax (areas painted black in the frame) and AddMin (the result's
// pixels kept and put back), prints RESULT lines with the fastest of REPEAT
// (default 3) wall times and the ratio with areas / without. A run over a
// list without excluded areas takes the run's usual path, so "without" is
// also the run as it was before areas existed.
// (Not a Google Benchmark program: bench/run-all runs only *_bench ones.)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "core/combine.h"
#include "engine/run_state.h"
#include "engine/stacking_run.h"
#include "lists/list_pair.h"

namespace {

using Clock = std::chrono::steady_clock;

double Run(const std::vector<std::string>& files, nocturo::ImageOperation op, bool areas,
           int threads) {
    nocturo::ListPair lists;
    for (size_t k = 0; k < files.size(); ++k) {
        nocturo::ExcludedAreas excluded;
        if (areas && k % 25 == 1) {
            excluded.push_back({400, 300 + static_cast<int>(k), 1200, 40});
        }
        lists.Left().Append(nocturo::ListEntry{files[k], true, true, false, excluded});
    }
    nocturo::RunState state;
    state.Decode.threads = threads;
    state.Decode.ahead = std::max(2, threads);
    nocturo::bench::QuietHost host;
    nocturo::RunContext context{lists, state, host};
    const auto start = Clock::now();
    nocturo::StackingRun(context, op, nullptr, false, true);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: exclusion_runs LIST [REPEAT]\n");
        return 2;
    }
    const int repeat = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::vector<std::string> files = nocturo::bench::ReadList(argv[1]);
    if (files.empty()) {
        std::fprintf(stderr, "exclusion_runs: no files in %s\n", argv[1]);
        return 2;
    }
    const int threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const std::pair<const char*, nocturo::ImageOperation> ops[] = {{"addmax", nocturo::AddMax},
                                                                   {"addmin", nocturo::AddMin}};
    for (const auto& [name, op] : ops) {
        double without = 1e30;
        double with = 1e30;
        for (int r = 0; r < repeat; ++r) {
            without = std::min(without, Run(files, op, false, threads));
            with = std::min(with, Run(files, op, true, threads));
        }
        std::printf(
            "RESULT op=%s frames=%zu excluded_frames=%zu seconds_without=%.3f "
            "seconds_with=%.3f ratio=%.4f\n",
            name, files.size(), (files.size() + 23) / 25, without, with, with / without);
    }
    return 0;
}
