// Encoding the final result of a 24-megapixel night as JPEG quality 100,
// 4:4:4: on one thread, and in bands on several threads (the same pixels
// read back). The picture is a star field over a gradient sky, as a
// stacked night looks, so the encoder meets realistic data.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/codecs/codecs.h"
#include "core/codecs/jpeg_bands.h"
#include "core/rgb_image.h"

namespace {

const nocturo::RgbImage& NightResult() {
    static const nocturo::RgbImage image = [] {
        nocturo::RgbImage out;
        out.Resize(6000, 4000);
        std::mt19937 random(7);
        std::uniform_int_distribution<int> noise(0, 6);
        for (int y = 0; y < out.Height(); ++y) {
            uint8_t* row = out.Row(y);
            const int sky = 20 + y * 40 / out.Height();
            for (int x = 0; x < out.Width(); ++x) {
                row[3 * x] = static_cast<uint8_t>(sky + 8 + noise(random));
                row[3 * x + 1] = static_cast<uint8_t>(sky + noise(random));
                row[3 * x + 2] = static_cast<uint8_t>(sky - 4 + noise(random));
            }
        }
        // Star trails: short bright arcs.
        std::uniform_int_distribution<int> px(0, out.Width() - 200);
        std::uniform_int_distribution<int> py(0, out.Height() - 1);
        for (int s = 0; s < 3000; ++s) {
            const int x0 = px(random);
            const int y = py(random);
            for (int x = x0; x < x0 + 150; ++x) {
                uint8_t* p = out.Row(y) + 3 * x;
                p[0] = p[1] = p[2] = 230;
            }
        }
        return out;
    }();
    return image;
}

void BM_JpegOneThread(benchmark::State& state) {
    const nocturo::RgbImage& image = NightResult();
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        bytes.clear();
        benchmark::DoNotOptimize(nocturo::codecs::EncodeJpeg(image, 100, bytes));
    }
    state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_JpegOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JpegBands(benchmark::State& state) {
    const nocturo::RgbImage& image = NightResult();
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        bytes.clear();
        benchmark::DoNotOptimize(
            nocturo::codecs::EncodeJpegBands(image, 100, static_cast<int>(state.range(0)), bytes));
    }
    state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_JpegBands)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
