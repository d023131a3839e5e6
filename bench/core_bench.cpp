// The core's pixel loops and decoders on one thread: each combine
// operation, the batch functions, and decoding a frame from memory. The
// 8-bit figures are the ones a change of the core must leave as they are.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/batch.h"
#include "core/codecs/codecs.h"
#include "core/combine.h"
#include "core/rgb_image.h"

namespace {

using nocturo::ImageOperation;
using nocturo::RgbImage;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A dark, noisy sky with bright specks, as a night frame looks.
RgbImage Sky(uint32_t seed) {
    RgbImage out;
    out.Resize(kWidth, kHeight);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(0, 24);
    std::uniform_int_distribution<int> star(0, 999);
    for (int y = 0; y < out.Height(); ++y) {
        uint8_t* row = out.Row(y);
        for (int x = 0; x < out.Width() * 3; ++x) {
            row[x] = static_cast<uint8_t>(star(random) == 0 ? 240 : 10 + noise(random));
        }
    }
    return out;
}

const RgbImage& Frame(int which) {
    static const RgbImage frames[2] = {Sky(1), Sky(2)};
    return frames[which];
}

void Merge(benchmark::State& state, ImageOperation op) {
    RgbImage source = Frame(0);
    RgbImage buffer = Frame(1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(op(source, buffer, nullptr));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(buffer.Stride()) *
                            buffer.Height());
}
BENCHMARK_CAPTURE(Merge, AddMax8, nocturo::AddMax)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Merge, AddMaxLum8, nocturo::AddMaxLum)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Merge, AddMaxThreshold8, nocturo::AddMaxThreshold)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Merge, Add8, nocturo::Add)->Unit(benchmark::kMillisecond);

void Batch(benchmark::State& state, int function) {
    nocturo::BatchParams params;
    params.reference = Frame(1);
    params.factor = nocturo::DefaultFactor(function);
    RgbImage source = Frame(0);
    RgbImage buffer;
    buffer.Resize(kWidth, kHeight);
    for (auto _ : state) {
        benchmark::DoNotOptimize(nocturo::BatchFunction(function)(source, buffer, &params));
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(Batch, Subtract8, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Batch, Divide8, 2)->Unit(benchmark::kMillisecond);

using Encoder = bool (*)(const RgbImage&, std::vector<uint8_t>&);
using Decoder = bool (*)(const uint8_t*, size_t, RgbImage&);

bool Jpeg100(const RgbImage& image, std::vector<uint8_t>& out) {
    return nocturo::codecs::EncodeJpeg(image, 100, out);
}

void Decode(benchmark::State& state, Encoder encode, Decoder decode) {
    std::vector<uint8_t> bytes;
    if (!encode(Frame(0), bytes)) {
        state.SkipWithError("cannot encode");
        return;
    }
    RgbImage out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(decode(bytes.data(), bytes.size(), out));
    }
}
BENCHMARK_CAPTURE(Decode, Jpeg8, Jpeg100, nocturo::codecs::DecodeJpeg)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Png8, nocturo::codecs::EncodePng, nocturo::codecs::DecodePng)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Tiff8, nocturo::codecs::EncodeTiff, nocturo::codecs::DecodeTiff)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
