// Writes a deterministic synthetic night of RAW frames, or of 16-bit
// pictures, for the RAW and 16-bit benchmarks: sky glow, sensor noise and
// stars that turn a little from frame to frame, on a Bayer sensor.
//
//   make_deep_night OUTDIR PREFIX WIDTH HEIGHT COUNT FORMAT [THREADS]
//
// FORMAT dng writes uncompressed DNG frames (RGGB, 14-bit values),
// OUTDIR/PREFIX0001.dng ...; png and tif write the same mosaics as 16-bit RGB
// pictures (each value in all three channels, a little tinted), through the
// program's own encoders. The same arguments always give the same files.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/codecs/codecs.h"
#include "tests/support/dng_writer.h"

namespace {

// A 30-second exposure every 30 seconds: the sky turns 360 degrees a day.
constexpr double kDegreesPerFrame = 360.0 / (24 * 60 * 2);

std::vector<uint8_t> Frame(int width, int height, int index, const std::string& format) {
    const nocturo::test::DngFrame frame = nocturo::test::NightSkyFrame(
        width, height, static_cast<uint32_t>(index), index * kDegreesPerFrame);
    if (format == "dng") {
        return nocturo::test::WriteDng(frame);
    }
    nocturo::RgbImage picture;
    if (!picture.Resize(width, height, 16)) {
        return {};
    }
    for (int y = 0; y < height; ++y) {
        uint16_t* row = picture.Row16(y);
        for (int x = 0; x < width; ++x, row += 3) {
            const int v = frame.mosaic[static_cast<size_t>(y) * width + x] * 4;
            row[0] = static_cast<uint16_t>(std::min(65535, v + v / 8));
            row[1] = static_cast<uint16_t>(std::min(65535, v));
            row[2] = static_cast<uint16_t>(std::min(65535, v - v / 8));
        }
    }
    std::vector<uint8_t> bytes;
    const bool ok = format == "png" ? nocturo::codecs::EncodePng(picture, bytes)
                                    : nocturo::codecs::EncodeTiff(picture, bytes);
    return ok ? bytes : std::vector<uint8_t>();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7 && argc != 8) {
        std::fprintf(stderr,
                     "usage: make_deep_night OUTDIR PREFIX WIDTH HEIGHT COUNT dng|png|tif "
                     "[THREADS]\n");
        return 2;
    }
    const std::string dir = argv[1], prefix = argv[2], format = argv[6];
    const int width = std::stoi(argv[3]) & ~1, height = std::stoi(argv[4]) & ~1;
    const int count = std::stoi(argv[5]);
    const int threads = argc == 8 ? std::max(1, std::stoi(argv[7])) : 1;
    if (width <= 0 || height <= 0 || count <= 0 ||
        (format != "dng" && format != "png" && format != "tif")) {
        std::fprintf(stderr, "make_deep_night: bad arguments\n");
        return 2;
    }
    std::atomic<int> next{1};
    std::atomic<bool> failed{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (int k = next++; k <= count && !failed; k = next++) {
                const std::vector<uint8_t> bytes = Frame(width, height, k, format);
                char name[32];
                std::snprintf(name, sizeof name, "%04d.", k);
                std::ofstream out(dir + "/" + prefix + name + format, std::ios::binary);
                out.write(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<std::streamsize>(bytes.size()));
                if (bytes.empty() || !out) {
                    failed = true;
                }
            }
        });
    }
    for (std::thread& w : workers) {
        w.join();
    }
    if (failed) {
        std::fprintf(stderr, "make_deep_night: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
