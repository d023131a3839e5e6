// Windows icons: a directory of pictures of several sizes. The largest one
// is the picture; its data is either a PNG file or a BMP info header with
// colour rows and an AND mask.

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/codecs/codecs.h"
#include "core/codecs/little_endian.h"

namespace nocturo::codecs {

namespace {

constexpr size_t kDirHeaderSize = 6;
constexpr size_t kDirEntrySize = 16;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// When the largest entry does not decode, the next largest ones are tried,
// but only a few: a crafted directory of thousands of entries that all
// point at one costly broken picture must not keep the program busy.
constexpr size_t kMaxAttempts = 8;

struct Entry {
    size_t offset = 0;
    size_t length = 0;
    int64_t area = 0;
    int bits = 0;
    bool png = false;
};

bool IsPng(const uint8_t* data, size_t size) {
    return size >= sizeof kPngSignature &&
           std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0;
}

// Bits per pixel of an entry. Old icons leave the directory's field at 0
// and only the embedded header tells.
int EntryBits(const uint8_t* entry, const uint8_t* data, size_t length, bool png) {
    const int bits = U16(entry + 6);
    if (bits != 0 || png) {
        return png && bits == 0 ? 32 : bits;
    }
    if (length >= 16 && U32(data) == 12) {
        return U16(data + 10);
    }
    if (length >= 16) {
        return U16(data + 14);
    }
    return 0;
}

}  // namespace

bool DecodeIco(const uint8_t* data, size_t size, RgbImage& out) {
    if (data == nullptr || size < kDirHeaderSize || U16(data) != 0 || U16(data + 2) != 1) {
        return false;
    }
    const size_t count = U16(data + 4);
    if (count == 0 || size < kDirHeaderSize + count * kDirEntrySize) {
        return false;  // the directory itself is cut off
    }

    std::vector<Entry> entries;
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = data + kDirHeaderSize + i * kDirEntrySize;
        Entry entry;
        const uint32_t length = U32(e + 8);
        const uint32_t offset = U32(e + 12);
        if (length == 0 || offset >= size || length > size - offset) {
            continue;  // data past the end of the file
        }
        entry.offset = offset;
        entry.length = length;
        // A size byte of 0 means 256.
        const int64_t width = e[0] == 0 ? 256 : e[0];
        const int64_t height = e[1] == 0 ? 256 : e[1];
        entry.area = width * height;
        entry.png = IsPng(data + offset, length);
        entry.bits = EntryBits(e, data + offset, length, entry.png);
        entries.push_back(entry);
    }
    // Largest first; of equal sizes the deepest colour.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.area != b.area ? a.area > b.area : a.bits > b.bits;
    });

    const size_t attempts = std::min(entries.size(), kMaxAttempts);
    for (size_t i = 0; i < attempts; ++i) {
        const Entry& entry = entries[i];
        const uint8_t* p = data + entry.offset;
        const bool ok =
            entry.png ? DecodePng(p, entry.length, out) : DecodeDib(p, entry.length, true, out);
        if (ok) {
            return true;
        }
    }
    return false;
}

}  // namespace nocturo::codecs
