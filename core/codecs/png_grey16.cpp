#include "core/codecs/png_grey16.h"

#include <zlib.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace nocturo::codecs {

namespace {

// libpng's IDAT size (its zlib buffer) and the data size up to which it
// narrows zlib's window.
constexpr size_t kIdatBytes = 8192;
constexpr size_t kNarrowWindowBytes = 16384;
constexpr int kBandRows = 16;
constexpr int kSlots = 8;  // bands filtered ahead at most

// A filtered byte's weight in libpng's choice: its distance from zero as a
// signed byte.
inline uint32_t Weight(uint8_t v) {
    return v < 128 ? v : 256u - v;
}

// The filtered row libpng writes for `raw` below `prev` (zeros for the first
// row): the filter type byte, then the bytes. Grey 16-bit: two bytes a pixel.
void FilterRow(const uint8_t* raw, const uint8_t* prev, size_t n, uint8_t* out, uint8_t* trial) {
    constexpr size_t kBpp = 2;
    uint32_t best = 0;
    for (size_t i = 0; i < n; ++i) {
        best += Weight(raw[i]);
    }
    out[0] = 0;
    std::memcpy(out + 1, raw, n);
    // Each candidate in turn; a strictly smaller sum replaces the best.
    auto consider = [&](uint8_t type, auto&& filtered) {
        uint32_t sum = 0;
        for (size_t i = 0; i < n; ++i) {
            const auto v = static_cast<uint8_t>(filtered(i));
            trial[i] = v;
            sum += Weight(v);
        }
        if (sum < best) {
            best = sum;
            out[0] = type;
            std::memcpy(out + 1, trial, n);
        }
    };
    consider(1, [&](size_t i) { return i < kBpp ? raw[i] : raw[i] - raw[i - kBpp]; });
    consider(2, [&](size_t i) { return raw[i] - prev[i]; });
    consider(3, [&](size_t i) {
        return i < kBpp ? raw[i] - prev[i] / 2 : raw[i] - (prev[i] + raw[i - kBpp]) / 2;
    });
    consider(4, [&](size_t i) {
        if (i < kBpp) {
            return raw[i] - prev[i];
        }
        const int a = raw[i - kBpp];
        const int b = prev[i];
        const int c = prev[i - kBpp];
        const int pa = b > c ? b - c : c - b;
        const int pb = a > c ? a - c : c - a;
        const int pc = a + b - 2 * c > 0 ? a + b - 2 * c : 2 * c - a - b;
        return raw[i] - (pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
    });
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size) {
    const auto be32 = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            out.push_back(static_cast<uint8_t>(v >> shift));
        }
    };
    be32(static_cast<uint32_t>(size));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    be32(static_cast<uint32_t>(crc32(0, out.data() + typeAt, static_cast<uInt>(size + 4))));
}

// The bands between the filtering thread and the compressing one.
//
// Threading: the filter thread writes band b into slot b % kSlots only once
// the compressing thread has finished band b - kSlots, and then publishes
// `filtered`; the compressing thread reads band b only once `filtered`
// exceeds b, and then publishes `compressed`. `stop` ends the filter thread
// early (the compressing thread failed). One mutex guards the three.
struct Bands {
    std::mutex mutex;
    std::condition_variable changed;
    int filtered = 0;
    int compressed = 0;
    bool stop = false;
};

// `rows`: three zeroed rows of bytes (this row, the one above, a trial).
void FilterBands(int width, int height, const uint16_t* samples, uint8_t* rows, uint8_t* slots,
                 Bands& bands) {
    const size_t n = static_cast<size_t>(width) * 2;
    uint8_t* raw = rows;
    uint8_t* prev = raw + n;
    uint8_t* trial = prev + n;
    const int count = (height + kBandRows - 1) / kBandRows;
    for (int b = 0; b < count; ++b) {
        {
            std::unique_lock lock(bands.mutex);
            bands.changed.wait(lock, [&] { return bands.stop || b - bands.compressed < kSlots; });
            if (bands.stop) {
                return;
            }
        }
        uint8_t* slot = slots + static_cast<size_t>(b % kSlots) * kBandRows * (n + 1);
        for (int y = b * kBandRows; y < height && y < (b + 1) * kBandRows; ++y) {
            // PNG stores samples big-endian.
            const uint16_t* row = samples + static_cast<size_t>(y) * width;
            for (int x = 0; x < width; ++x) {
                raw[2 * x] = static_cast<uint8_t>(row[x] >> 8);
                raw[2 * x + 1] = static_cast<uint8_t>(row[x] & 0xFF);
            }
            FilterRow(raw, prev, n, slot, trial);
            slot += n + 1;
            std::swap(raw, prev);
        }
        {
            std::lock_guard lock(bands.mutex);
            bands.filtered = b + 1;
        }
        bands.changed.notify_all();
    }
}

// Compresses the filtered bands as libpng does: one deflate call a row, an
// IDAT whenever its buffer fills.
bool CompressBands(int width, int height, int level, const uint8_t* slots, Bands& bands,
                   std::vector<uint8_t>& out) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, Z_FILTERED) != Z_OK) {
        return false;
    }
    uint8_t chunk[kIdatBytes];
    z.next_out = chunk;
    z.avail_out = kIdatBytes;
    bool ok = true;
    auto run = [&](const uint8_t* data, size_t size, int flush) {
        z.next_in = const_cast<Bytef*>(data);
        z.avail_in = static_cast<uInt>(size);
        for (;;) {
            const int status = deflate(&z, flush);
            if (z.avail_out == 0) {
                PutChunk(out, "IDAT", chunk, kIdatBytes);
                z.next_out = chunk;
                z.avail_out = kIdatBytes;
                continue;
            }
            if (status == Z_STREAM_END) {
                PutChunk(out, "IDAT", chunk, kIdatBytes - z.avail_out);
                return true;
            }
            if (status != Z_OK && status != Z_BUF_ERROR) {
                return false;
            }
            if (z.avail_in == 0 && flush == Z_NO_FLUSH) {
                return true;
            }
        }
    };
    const size_t n = static_cast<size_t>(width) * 2 + 1;
    const int count = (height + kBandRows - 1) / kBandRows;
    for (int b = 0; b < count && ok; ++b) {
        {
            std::unique_lock lock(bands.mutex);
            bands.changed.wait(lock, [&] { return bands.filtered > b; });
        }
        const uint8_t* slot = slots + static_cast<size_t>(b % kSlots) * kBandRows * n;
        for (int y = b * kBandRows; y < height && y < (b + 1) * kBandRows && ok; ++y) {
            ok = run(slot, n, Z_NO_FLUSH);
            slot += n;
        }
        {
            std::lock_guard lock(bands.mutex);
            bands.compressed = b + 1;
            bands.stop = !ok;
        }
        bands.changed.notify_all();
    }
    ok = ok && run(nullptr, 0, Z_FINISH);
    deflateEnd(&z);
    return ok;
}

}  // namespace

bool Grey16BandsApply(int width, int height) {
    return width > 1 && height > 1 &&
           (static_cast<size_t>(width) * 2 + 1) * static_cast<size_t>(height) > kNarrowWindowBytes;
}

bool EncodeGrey16Bands(int width, int height, const uint16_t* samples, int level,
                       std::vector<uint8_t>& out) {
    if (!Grey16BandsApply(width, height) || samples == nullptr) {
        return false;
    }
    const size_t start = out.size();
    try {
        std::vector<uint8_t> slots(static_cast<size_t>(kSlots) * kBandRows *
                                   (static_cast<size_t>(width) * 2 + 1));
        // Room for the largest stream zlib may make, so that the file is
        // never copied as it grows; pages never written cost nothing.
        const size_t raw = (static_cast<size_t>(width) * 2 + 1) * static_cast<size_t>(height);
        out.reserve(start + raw + raw / 1000 + raw / kIdatBytes * 12 + 1024);
        static const uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        out.insert(out.end(), kSignature, kSignature + sizeof kSignature);
        const uint8_t header[13] = {static_cast<uint8_t>(width >> 24),
                                    static_cast<uint8_t>(width >> 16),
                                    static_cast<uint8_t>(width >> 8),
                                    static_cast<uint8_t>(width),
                                    static_cast<uint8_t>(height >> 24),
                                    static_cast<uint8_t>(height >> 16),
                                    static_cast<uint8_t>(height >> 8),
                                    static_cast<uint8_t>(height),
                                    16,
                                    0,
                                    0,
                                    0,
                                    0};
        PutChunk(out, "IHDR", header, sizeof header);
        std::vector<uint8_t> rows(static_cast<size_t>(width) * 6, 0);
        Bands bands;
        std::thread filter(FilterBands, width, height, samples, rows.data(), slots.data(),
                           std::ref(bands));
        bool ok = false;
        try {
            ok = CompressBands(width, height, level, slots.data(), bands, out);
        } catch (...) {
            ok = false;
        }
        {
            std::lock_guard lock(bands.mutex);
            bands.stop = true;
        }
        bands.changed.notify_all();
        filter.join();
        if (ok) {
            PutChunk(out, "IEND", nullptr, 0);
            return true;
        }
    } catch (const std::bad_alloc&) {
    } catch (const std::system_error&) {
    }
    out.resize(start);
    return false;
}

}  // namespace nocturo::codecs
