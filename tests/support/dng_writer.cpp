#include "tests/support/dng_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace nocturo::test {

namespace {

// A little-endian TIFF written by hand, directories first as cameras write
// them: a file cut anywhere in its pixels still has every directory.
enum Type : uint16_t {
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
    kSRational = 10
};

struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    std::vector<uint8_t> bytes;  // the values, little-endian
    int dataBlock = -1;          // the value is the offset of this data block
    int directory = -1;          // the value is the offset of this directory
};

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

Entry Shorts(uint16_t tag, std::initializer_list<uint32_t> values) {
    Entry e{tag, kShort, static_cast<uint32_t>(values.size()), {}};
    for (uint32_t v : values) {
        Put16(e.bytes, v);
    }
    return e;
}
Entry Long(uint16_t tag, uint32_t value) {
    Entry e{tag, kLong, 1, {}};
    Put32(e.bytes, value);
    return e;
}
Entry Bytes(uint16_t tag, std::initializer_list<uint8_t> values) {
    return Entry{tag, kByte, static_cast<uint32_t>(values.size()), values};
}
Entry Ascii(uint16_t tag, const char* text) {
    Entry e{tag, kAscii, static_cast<uint32_t>(std::strlen(text) + 1), {}};
    e.bytes.assign(text, text + e.count);
    return e;
}
// Rationals of value / 10000.
Entry Rationals(uint16_t tag, uint16_t type, std::initializer_list<double> values) {
    Entry e{tag, type, static_cast<uint32_t>(values.size()), {}};
    for (double v : values) {
        Put32(e.bytes, static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * 10000))));
        Put32(e.bytes, 10000);
    }
    return e;
}
Entry OffsetOf(uint16_t tag, int dataBlock, int directory) {
    Entry e{tag, kLong, 1, {0, 0, 0, 0}};
    e.dataBlock = dataBlock;
    e.directory = directory;
    return e;
}

std::vector<uint8_t> Serialize(std::vector<std::vector<Entry>> directories,
                               const std::vector<std::vector<uint8_t>>& blocks) {
    // Lay out: header, each directory followed by its long values, then the
    // data blocks.
    std::vector<uint32_t> directoryAt, blockAt;
    uint32_t pos = 8;
    for (auto& entries : directories) {
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        directoryAt.push_back(pos);
        pos += 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
        for (const Entry& e : entries) {
            if (e.bytes.size() > 4) {
                pos += static_cast<uint32_t>((e.bytes.size() + 1) & ~size_t{1});
            }
        }
    }
    for (const auto& block : blocks) {
        blockAt.push_back(pos);
        pos += static_cast<uint32_t>(block.size());
    }
    std::vector<uint8_t> out = {'I', 'I', 42, 0};
    Put32(out, directoryAt[0]);
    for (size_t d = 0; d < directories.size(); ++d) {
        const auto& entries = directories[d];
        std::vector<uint8_t> values;
        uint32_t valuesAt = directoryAt[d] + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
        Put16(out, static_cast<uint32_t>(entries.size()));
        for (Entry e : entries) {
            if (e.dataBlock >= 0 || e.directory >= 0) {
                e.bytes.clear();
                Put32(e.bytes, e.dataBlock >= 0 ? blockAt[static_cast<size_t>(e.dataBlock)]
                                                : directoryAt[static_cast<size_t>(e.directory)]);
            }
            Put16(out, e.tag);
            Put16(out, e.type);
            Put32(out, e.count);
            if (e.bytes.size() <= 4) {
                e.bytes.resize(4, 0);
                out.insert(out.end(), e.bytes.begin(), e.bytes.end());
            } else {
                Put32(out, valuesAt + static_cast<uint32_t>(values.size()));
                values.insert(values.end(), e.bytes.begin(), e.bytes.end());
                values.resize((values.size() + 1) & ~size_t{1}, 0);
            }
        }
        Put32(out, 0);  // no next directory: sub-directories hang off the first
        out.insert(out.end(), values.begin(), values.end());
    }
    for (const auto& block : blocks) {
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

}  // namespace

std::vector<uint8_t> WriteDng(const DngFrame& frame) {
    if (frame.width <= 0 || frame.height <= 0 ||
        frame.mosaic.size() != static_cast<size_t>(frame.width) * frame.height) {
        return {};
    }
    std::vector<uint8_t> mosaic;
    for (uint16_t v : frame.mosaic) {
        Put16(mosaic, v);
    }
    const auto w = static_cast<uint32_t>(frame.width), h = static_cast<uint32_t>(frame.height);
    std::vector<Entry> raw = {
        Long(254, 0),  // the full-resolution picture
        Long(256, w),
        Long(257, h),
        Shorts(258, {16}),
        Shorts(259, {1}),      // uncompressed
        Shorts(262, {32803}),  // colour filter array
        OffsetOf(273, 0, -1),
        Shorts(277, {1}),
        Long(278, h),
        Long(279, static_cast<uint32_t>(mosaic.size())),
        Shorts(284, {1}),
        Shorts(33421, {2, 2}),
        Bytes(33422, {0, 1, 1, 2}),  // R G / G B
        Shorts(50714, {frame.black}),
        Shorts(50717, {frame.white}),
    };
    // The camera: XYZ (D65) to camera of a plausible sensor, so that the
    // colour conversion does real work, and its white balance as shot.
    std::vector<Entry> camera = {
        Ascii(271, "Nocturo"),
        Ascii(272, "Night"),
        Shorts(274, {static_cast<uint32_t>(frame.orientation)}),
        Bytes(50706, {1, 4, 0, 0}),
        Bytes(50707, {1, 1, 0, 0}),
        Ascii(50708, "Nocturo Night"),
        Rationals(50721, kSRational, {0.80, -0.20, -0.05, -0.30, 1.10, 0.20, -0.05, 0.15, 0.60}),
        Rationals(50728, kRational, {0.50, 1.00, 0.70}),
        Shorts(50778, {21}),
    };
    if (frame.previewWidth <= 0) {
        raw.insert(raw.end(), camera.begin(), camera.end());
        return Serialize({raw}, {mosaic});
    }
    const auto pw = static_cast<uint32_t>(frame.previewWidth);
    const auto ph = static_cast<uint32_t>(frame.previewHeight);
    std::vector<Entry> preview = {
        Long(254, 1),  // a reduced picture
        Long(256, pw),          Long(257, ph),
        Shorts(258, {8, 8, 8}), Shorts(259, {1}),
        Shorts(262, {2}),  // RGB
        OffsetOf(273, 1, -1),   Shorts(277, {3}),
        Long(278, ph),          Long(279, static_cast<uint32_t>(frame.previewRgb.size())),
        Shorts(284, {1}),       OffsetOf(330, -1, 1),  // the mosaic's directory
    };
    preview.insert(preview.end(), camera.begin(), camera.end());
    return Serialize({preview, raw}, {mosaic, frame.previewRgb});
}

DngFrame NightSkyFrame(int width, int height, uint32_t seed, double turn) {
    DngFrame frame;
    frame.width = width;
    frame.height = height;
    frame.mosaic.resize(static_cast<size_t>(width) * height);
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 40.0f);
    for (int y = 0; y < height; ++y) {
        const float sky = 700.0f + 500.0f * static_cast<float>(y) / static_cast<float>(height);
        for (int x = 0; x < width; ++x) {
            const float v = sky + noise(random);
            frame.mosaic[static_cast<size_t>(y) * width + x] =
                static_cast<uint16_t>(std::clamp(v, 0.0f, 16383.0f));
        }
    }
    // The same stars in every frame of a night, turned about the centre;
    // the brightest clip at the white level.
    std::mt19937 sky(12345);
    std::uniform_real_distribution<double> where(-0.7, 0.7);
    std::uniform_int_distribution<int> bright(2000, 20000);
    const double angle = turn * 3.14159265358979 / 180.0;
    const int stars = std::max(4, width * height / 20000);
    for (int s = 0; s < stars; ++s) {
        const double sx = where(sky) * width, sy = where(sky) * height;
        const int peak = bright(sky);
        const int cx = static_cast<int>(width / 2 + sx * std::cos(angle) - sy * std::sin(angle));
        const int cy = static_cast<int>(height / 2 + sx * std::sin(angle) + sy * std::cos(angle));
        for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx) {
                const int x = cx + dx, y = cy + dy;
                if (x >= 0 && y >= 0 && x < width && y < height && dx * dx + dy * dy <= 5) {
                    uint16_t& v = frame.mosaic[static_cast<size_t>(y) * width + x];
                    const int star = std::min(16383, peak / (1 + dx * dx + dy * dy));
                    v = static_cast<uint16_t>(std::max<int>(v, star));
                }
            }
        }
    }
    return frame;
}

}  // namespace nocturo::test
