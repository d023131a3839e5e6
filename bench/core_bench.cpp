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

// The sky at 16 bits: widened, with noise in the low bits.
RgbImage Sky16(uint32_t seed) {
    RgbImage out;
    nocturo::WidenTo16(Sky(seed), out);
    std::mt19937 random(seed);
    for (int y = 0; y < out.Height(); ++y) {
        uint16_t* row = out.Row16(y);
        for (int x = 0; x < out.Width() * 3; ++x) {
            row[x] = static_cast<uint16_t>(row[x] ^ (random() & 0xFF));
        }
    }
    return out;
}

const RgbImage& Frame(int which) {
    static const RgbImage frames[2] = {Sky(1), Sky(2)};
    return frames[which];
}

const RgbImage& Frame16(int which) {
    static const RgbImage frames[2] = {Sky16(1), Sky16(2)};
    return frames[which];
}

const RgbImage& FrameAt(int depth, int which) {
    return depth == 16 ? Frame16(which) : Frame(which);
}

void Merge(benchmark::State& state, ImageOperation op, int depth) {
    RgbImage source = FrameAt(depth, 0);
    RgbImage buffer = FrameAt(depth, 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(op(source, buffer, nullptr));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(buffer.Stride()) *
                            buffer.Height());
}
BENCHMARK_CAPTURE(Merge, AddMax8, nocturo::AddMax, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Merge, AddMaxLum8, nocturo::AddMaxLum, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Merge, AddMaxThreshold8, nocturo::AddMaxThreshold, 8)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Merge, Add8, nocturo::Add, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Merge, AddMax16, nocturo::AddMax, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Merge, AddMaxLum16, nocturo::AddMaxLum, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Merge, AddMaxThreshold16, nocturo::AddMaxThreshold, 16)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Merge, Add16, nocturo::Add, 16)->Unit(benchmark::kMillisecond);

void Batch(benchmark::State& state, int function, int depth) {
    nocturo::BatchParams params;
    params.reference = FrameAt(depth, 1);
    params.factor = nocturo::DefaultFactor(function, depth);
    RgbImage source = FrameAt(depth, 0);
    RgbImage buffer;
    buffer.Resize(kWidth, kHeight, depth);
    for (auto _ : state) {
        benchmark::DoNotOptimize(nocturo::BatchFunction(function)(source, buffer, &params));
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(Batch, Subtract8, 0, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Batch, Divide8, 2, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Batch, Subtract16, 0, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Batch, Divide16, 2, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Batch, Multiply16, 3, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Batch, Cube16, 5, 16)->Unit(benchmark::kMillisecond);

void Convert(benchmark::State& state, int depth) {
    const RgbImage& from = FrameAt(depth == 16 ? 8 : 16, 0);
    RgbImage out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(depth == 16 ? nocturo::WidenTo16(from, out)
                                             : nocturo::NarrowTo8(from, out));
    }
}
BENCHMARK_CAPTURE(Convert, WidenTo16, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, NarrowTo8, 8)->Unit(benchmark::kMillisecond);

using Encoder = bool (*)(const RgbImage&, std::vector<uint8_t>&);
using Decoder = bool (*)(const uint8_t*, size_t, RgbImage&);

bool Jpeg100(const RgbImage& image, std::vector<uint8_t>& out) {
    return nocturo::codecs::EncodeJpeg(image, 100, out);
}

void Decode(benchmark::State& state, Encoder encode, Decoder decode, int depth = 8) {
    std::vector<uint8_t> bytes;
    if (!encode(FrameAt(depth, 0), bytes)) {
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

bool DecodePng16(const uint8_t* data, size_t size, RgbImage& out) {
    return nocturo::codecs::DecodePng(data, size, out, 16);
}
bool DecodeTiff16(const uint8_t* data, size_t size, RgbImage& out) {
    return nocturo::codecs::DecodeTiff(data, size, out, 16);
}
BENCHMARK_CAPTURE(Decode, Png16, nocturo::codecs::EncodePng, DecodePng16, 16)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Tiff16, nocturo::codecs::EncodeTiff, DecodeTiff16, 16)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
