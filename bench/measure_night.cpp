// The night graph's measuring and the frame map's cost, on a night of JPEG
// frames:
// - measuring every frame's mean luminosity (reduced decoding on worker
//   threads, as the graph and `nocturo-stack --measure` do) against the
//   floor of a one-thread full TurboJPEG decode of every frame;
// - an AddMax run with the frame map recorded against the same run without.
//
//   measure_night LIST [REPEAT]
//
// LIST holds one JPEG file name per line. Each measure runs REPEAT times
// (default 3) and the fastest counts. Prints RESULT lines with wall seconds
// and the process's processor seconds: on a machine shared with other work
// the processor time is the steadier figure.

#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "core/combine.h"
#include "core/image_file.h"
#include "engine/frame_map.h"
#include "engine/night_measure.h"
#include "engine/run_state.h"
#include "engine/stacking_run.h"
#include "lists/list_pair.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
    double wall = 1e30;
    double cpu = 1e30;
};

double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// The fastest of `repeat` runs, wall and processor time taken separately.
Timing Best(int repeat, const std::function<void()>& work) {
    Timing best;
    for (int k = 0; k < repeat; ++k) {
        const auto start = Clock::now();
        const double cpuStart = CpuSeconds();
        work();
        best.cpu = std::min(best.cpu, CpuSeconds() - cpuStart);
        best.wall =
            std::min(best.wall, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

// One read of the whole file, as the program reads frames.
bool ReadFile(const std::string& name, std::vector<unsigned char>& bytes) {
    std::ifstream in(name, std::ios::binary | std::ios::ate);
    const std::streamoff size = in.tellg();
    if (!in || size <= 0) {
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    in.seekg(0);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(bytes.data()), size));
}

// The floor: one thread, full-size decode of every frame into one buffer.
void DecodeFloor(const std::vector<std::string>& files) {
    tjhandle tj = tjInitDecompress();
    std::vector<unsigned char> bytes;
    std::vector<unsigned char> bgr;
    for (const std::string& file : files) {
        int width = 0, height = 0, subsampling = 0, colourspace = 0;
        if (!ReadFile(file, bytes) ||
            tjDecompressHeader3(tj, bytes.data(), bytes.size(), &width, &height, &subsampling,
                                &colourspace) != 0) {
            std::fprintf(stderr, "measure_night: cannot read %s\n", file.c_str());
            std::exit(1);
        }
        bgr.resize(static_cast<size_t>(width) * height * 3);
        tjDecompress2(tj, bytes.data(), bytes.size(), bgr.data(), width, width * 3, height,
                      TJPF_BGR, 0);
    }
    tjDestroy(tj);
}

void AddMaxRun(const std::vector<std::string>& files, bool recordMap, int threads) {
    nocturo::ListPair lists;
    for (const std::string& file : files) {
        lists.Left().Append(file, true, true);
    }
    nocturo::bench::RunAddMax(lists, threads, recordMap, "measure_night");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: measure_night LIST [REPEAT]\n");
        return 2;
    }
    const int repeat = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::vector<std::string> files = nocturo::bench::ReadList(argv[1]);
    if (files.empty()) {
        std::fprintf(stderr, "measure_night: no files in %s\n", argv[1]);
        return 2;
    }
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const double n = static_cast<double>(files.size());

    const Timing floor = Best(repeat, [&] { DecodeFloor(files); });
    auto measure = [&](int threads) {
        return Best(repeat, [&] {
            nocturo::LuminosityCache cache;  // fresh: every frame is decoded
            nocturo::NightMeasurer measurer(cache, threads);
            measurer.Start(files);
            measurer.Wait();
        });
    };
    const Timing measureOne = measure(1);
    const Timing measureAll = measure(cores);
    std::printf("RESULT what=floor frames=%zu seconds=%.3f cpu=%.3f fps=%.2f\n", files.size(),
                floor.wall, floor.cpu, n / floor.wall);
    for (const auto& [threads, t] : {std::pair{1, measureOne}, std::pair{cores, measureAll}}) {
        std::printf(
            "RESULT what=measure threads=%d seconds=%.3f cpu=%.3f fps=%.2f x_floor=%.2f "
            "cpu_x_floor=%.2f\n",
            threads, t.wall, t.cpu, n / t.wall, floor.wall / t.wall, floor.cpu / t.cpu);
    }

    // The merge alone, on two real frames: AddMax against AddMax recording
    // the frame map, processor time per frame.
    {
        nocturo::RgbImage first;
        nocturo::RgbImage second;
        if (!nocturo::LoadImageFile(first, files.front()) ||
            !nocturo::LoadImageFile(second, files[files.size() / 2])) {
            std::fprintf(stderr, "measure_night: cannot load the frames\n");
            return 1;
        }
        nocturo::FrameMapRecorder recorder(true, nocturo::AddMax, true);
        recorder.Start(first, 0, files.front());
        constexpr int kMerges = 10;
        const Timing plain = Best(repeat, [&] {
            for (int k = 0; k < kMerges; ++k) {
                nocturo::RgbImage result = first;
                nocturo::AddMax(second, result);
            }
        });
        const Timing copies = Best(repeat, [&] {
            for (int k = 0; k < kMerges; ++k) {
                nocturo::RgbImage result = first;
            }
        });
        const Timing recorded = Best(repeat, [&] {
            for (int k = 0; k < kMerges; ++k) {
                nocturo::RgbImage result = first;
                recorder.Merge(nocturo::AddMax, nullptr, second, result, 1, files.front());
            }
        });
        std::printf("RESULT what=merge addmax_ms=%.2f addmax_with_map_ms=%.2f\n",
                    (plain.cpu - copies.cpu) * 1000 / kMerges,
                    (recorded.cpu - copies.cpu) * 1000 / kMerges);
    }

    // Alternate the two runs so that a change of the machine's load hits both.
    Timing off;
    Timing on;
    for (int k = 0; k < repeat; ++k) {
        const Timing a = Best(1, [&] { AddMaxRun(files, false, cores); });
        const Timing b = Best(1, [&] { AddMaxRun(files, true, cores); });
        off = {std::min(off.wall, a.wall), std::min(off.cpu, a.cpu)};
        on = {std::min(on.wall, b.wall), std::min(on.cpu, b.cpu)};
    }
    std::printf("RESULT what=addmax map=off seconds=%.3f cpu=%.3f\n", off.wall, off.cpu);
    std::printf("RESULT what=addmax map=on seconds=%.3f cpu=%.3f\n", on.wall, on.cpu);
    std::printf("RESULT what=addmax speed_with_map=%.3f cpu_speed_with_map=%.3f (target >= 0.9)\n",
                off.wall / on.wall, off.cpu / on.cpu);
    return 0;
}
