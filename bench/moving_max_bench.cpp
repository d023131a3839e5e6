// The moving maximum against the design that reloads every frame of the
// window for every output, side by side on one night of frames.
//
//   moving_max_bench OUTDIR N [--reload-outputs K] FILE...
//
// Range only, darkening on, outputs written as JPEG into OUTDIR (mm*.jpg for
// the reload design, cached*.jpg for the program's run). The reload design
// is the plain one: one thread; for every output the first frame of the
// window is loaded to size a black picture, then every frame of the window
// is loaded again and merged with DarkenedMax, and the output is saved. With
// --reload-outputs K only its first K outputs are timed and its time is
// scaled to all outputs (said so in the output); the outputs both wrote are
// compared byte for byte.
//
// Prints RESULT lines: seconds, frames decoded and the process's peak
// resident memory after each method (the reload design runs first, so the
// second figure is the program's run).

#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/image_file.h"
#include "engine/moving_max.h"
#include "engine/run_state.h"
#include "lists/list_pair.h"

namespace {

using namespace nocturo;

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

/// Processor seconds of the whole process (all threads) so far.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class QuietHost : public bench::QuietHost, public MovingMaxDisplay {
  public:
    void SetStatusPanel(int, const std::string&) override {}
    void SetLiveDisplay(bool) override {}
    void ShowListCopy(FileList*) override {}
};

bool SameBytes(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary);
    std::ifstream fb(b, std::ios::binary);
    if (!fa || !fb) {
        return false;
    }
    return std::string(std::istreambuf_iterator<char>(fa), {}) ==
           std::string(std::istreambuf_iterator<char>(fb), {});
}

}  // namespace

int main(int argc, char** argv) {
    // Every output frees and allocates frame-sized buffers again (the
    // encoder's among them). Kept in the heap they are reused; handed back
    // to the system, each comes back as fresh pages that the kernel must
    // clear first, which costs about as much as encoding the output.
    mallopt(M_MMAP_THRESHOLD, 128 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    if (argc < 4) {
        std::fprintf(stderr, "usage: moving_max_bench OUTDIR N [--reload-outputs K] FILE...\n");
        return 2;
    }
    const std::string outDir = argv[1];
    const int n = std::atoi(argv[2]);
    int argi = 3;
    int reloadOutputs = -1;
    if (std::string(argv[argi]) == "--reload-outputs" && argi + 1 < argc) {
        reloadOutputs = std::atoi(argv[argi + 1]);
        argi += 2;
    }
    std::vector<std::string> files(argv + argi, argv + argc);
    const int m = static_cast<int>(files.size());
    if (n < 2 || n > m) {
        std::fprintf(stderr, "moving_max_bench: N must be 2 to the number of files\n");
        return 2;
    }
    const int outputs = m - n + 1;
    const int timed = reloadOutputs > 0 ? std::min(reloadOutputs, outputs) : outputs;

    // The reload design.
    MovingMaxOutput reloadOut{outDir + "/mm", ".jpg"};
    {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = CpuSeconds();
        RgbImage result;
        RgbImage frame;
        MovingMaxParams params;
        params.windowSize = n;
        params.darkening = true;
        long long decodes = 0;
        for (int o = 0; o < timed; ++o) {
            ClearImage(&result);
            for (int i = o; i < o + n; ++i) {
                ++decodes;
                if (LoadImageFile(result, files[static_cast<size_t>(i)])) {
                    FillImage(result, 0, 0, 0);
                    break;
                }
            }
            for (int i = o; i < o + n; ++i) {
                ++decodes;
                if (LoadImageFile(frame, files[static_cast<size_t>(i)])) {
                    params.position = i - o;
                    DarkenedMax(frame, result, &params);
                }
            }
            std::string name = MovingMaxFileName(reloadOut, o + 1);
            SaveImageFile(result, name);
        }
        const double seconds = Since(start);
        const double scaled = seconds * outputs / timed;
        const double cpu = (CpuSeconds() - cpuStart) * outputs / timed;
        std::printf(
            "RESULT method=reload outputs=%d timed_outputs=%d seconds=%.3f "
            "seconds_all_outputs=%.3f cpu_seconds_all_outputs=%.3f decodes=%lld maxrss_kb=%ld%s\n",
            outputs, timed, seconds, scaled, cpu, decodes, PeakRssKb(),
            timed < outputs ? " (times scaled from the timed outputs)" : "");
        std::fflush(stdout);
    }

    // The program's run.
    double cachedSeconds = 0;
    {
        ListPair lists;
        std::vector<ListEntry> entries;
        for (const std::string& f : files) {
            entries.push_back({f, true, true, false});
        }
        lists.Left().AppendEntries(std::move(entries));
        RunState state;
        QuietHost host;
        RunContext context{lists, state, host};
        MovingMaxSettings settings;
        settings.windowSize = n;
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = CpuSeconds();
        const MovingMaxReport report =
            MovingMaxRun(context, host, settings, MovingMaxOutput{outDir + "/cached", ".jpg"});
        cachedSeconds = Since(start);
        const double cpu = CpuSeconds() - cpuStart;
        std::printf(
            "RESULT method=cached outputs=%d seconds=%.3f cpu_seconds=%.3f merged_ahead=%d "
            "decodes=%lld frames_kept_mb=%.0f maxrss_kb=%ld\n",
            report.outputs, cachedSeconds, cpu, report.mergedAhead,
            static_cast<long long>(report.decodes),
            static_cast<double>(report.peakBytesKept) / (1024.0 * 1024.0), PeakRssKb());
    }

    int same = 0;
    for (int o = 1; o <= timed; ++o) {
        same += SameBytes(MovingMaxFileName(reloadOut, o),
                          MovingMaxFileName(MovingMaxOutput{outDir + "/cached", ".jpg"}, o))
                    ? 1
                    : 0;
    }
    std::printf("RESULT identical_outputs=%d of %d compared\n", same, timed);
    return same == timed ? 0 : 1;
}
