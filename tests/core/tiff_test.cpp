#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/codecs/codecs.h"
#include "core/image_file.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using codecs::DecodeTiff;
using codecs::EncodeTiff;
using test::MaxChannelDifference;
using test::PixelAt;
using test::SamePixels;

// ---- Writing test files with libtiff ----------------------------------------

constexpr uint16_t kNoTag = 0xFFFF;

// One page to write: tags plus a function giving sample s of pixel (x, y).
struct Page {
    uint32_t width = 0, height = 0;
    uint16_t bits = 8, samples = 3;
    uint16_t photometric = PHOTOMETRIC_RGB;  // kNoTag: the tag is left out
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t compression = COMPRESSION_NONE;
    uint16_t predictor = 0;
    uint16_t orientation = 0;
    uint16_t sampleFormat = 0;  // 0: the tag is left out
    uint16_t extraSamples = 0;  // trailing samples marked as unassociated alpha
    uint32_t rowsPerStrip = 0;  // 0: libtiff's default
    uint32_t tileWidth = 0, tileHeight = 0;
    std::vector<uint16_t> colourMap;  // red, then green, then blue entries
    std::function<uint32_t(uint32_t x, uint32_t y, uint16_t s)> sample;
};

// Packs the samples of a row span (or of one plane of it) at the page's depth.
void PackSamples(const Page& page, uint32_t x0, uint32_t y, uint32_t count, int plane,
                 uint8_t* out) {
    const bool contig = page.planar == PLANARCONFIG_CONTIG;
    const uint16_t first = contig ? 0 : static_cast<uint16_t>(plane);
    const uint16_t last = contig ? static_cast<uint16_t>(page.samples - 1) : first;
    size_t bit = 0;
    for (uint32_t x = x0; x < x0 + count; ++x) {
        for (uint16_t s = first; s <= last; ++s) {
            // Tile padding repeats the edge pixels, as good writers do.
            const uint32_t v = page.sample(std::min(x, page.width - 1), y, s);
            if (page.bits == 32) {
                std::memcpy(out + bit / 8, &v, 4);  // libtiff takes host order
            } else if (page.bits == 16) {
                const uint16_t v16 = static_cast<uint16_t>(v);
                std::memcpy(out + bit / 8, &v16, 2);
            } else if (page.bits == 8) {
                out[bit / 8] = static_cast<uint8_t>(v);
            } else {
                // Packed, most significant bit first, across byte boundaries.
                for (int b = page.bits - 1; b >= 0; --b) {
                    const size_t at = bit + static_cast<size_t>(page.bits - 1 - b);
                    if ((v >> b) & 1) {
                        out[at / 8] = static_cast<uint8_t>(out[at / 8] | (0x80 >> (at % 8)));
                    }
                }
            }
            bit += page.bits;
        }
    }
}

std::vector<uint8_t> WriteTiff(const std::vector<Page>& pages) {
    test::TempDir dir;
    const std::string name = dir.File("made.tif");
    TIFF* tif = TIFFOpen(name.c_str(), "w");
    EXPECT_NE(tif, nullptr);
    if (tif == nullptr) {
        return {};
    }
    for (const Page& page : pages) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, page.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, page.height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, page.bits);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, page.samples);
        if (page.photometric != kNoTag) {
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, page.photometric);
        }
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, page.planar);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, page.compression);
        if (page.predictor != 0) {
            TIFFSetField(tif, TIFFTAG_PREDICTOR, page.predictor);
        }
        if (page.orientation != 0) {
            TIFFSetField(tif, TIFFTAG_ORIENTATION, page.orientation);
        }
        if (page.sampleFormat != 0) {
            TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, page.sampleFormat);
        }
        if (page.extraSamples != 0) {
            std::vector<uint16_t> kinds(page.extraSamples, EXTRASAMPLE_UNASSALPHA);
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, page.extraSamples, kinds.data());
        }
        if (!page.colourMap.empty()) {
            const size_t n = page.colourMap.size() / 3;
            TIFFSetField(tif, TIFFTAG_COLORMAP, page.colourMap.data(), page.colourMap.data() + n,
                         page.colourMap.data() + 2 * n);
        }
        if (page.compression == COMPRESSION_JPEG) {
            TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
            if (page.photometric == PHOTOMETRIC_YCBCR) {
                TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            }
        }
        const int planes = page.planar == PLANARCONFIG_CONTIG ? 1 : page.samples;
        if (page.tileWidth != 0) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, page.tileWidth);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, page.tileHeight);
            std::vector<uint8_t> tile(static_cast<size_t>(TIFFTileSize(tif)));
            const size_t rowBytes = static_cast<size_t>(TIFFTileRowSize(tif));
            for (uint32_t ty = 0; ty < page.height; ty += page.tileHeight) {
                for (uint32_t tx = 0; tx < page.width; tx += page.tileWidth) {
                    for (int plane = 0; plane < planes; ++plane) {
                        std::fill(tile.begin(), tile.end(), 0);
                        for (uint32_t r = 0; r < page.tileHeight; ++r) {
                            PackSamples(page, tx, std::min(ty + r, page.height - 1), page.tileWidth,
                                        plane, tile.data() + r * rowBytes);
                        }
                        EXPECT_GE(TIFFWriteTile(tif, tile.data(), tx, ty, 0,
                                                static_cast<uint16_t>(plane)),
                                  0);
                    }
                }
            }
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP,
                         page.rowsPerStrip != 0 ? page.rowsPerStrip : TIFFDefaultStripSize(tif, 0));
            std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize(tif)));
            for (int plane = 0; plane < planes; ++plane) {
                for (uint32_t y = 0; y < page.height; ++y) {
                    std::fill(line.begin(), line.end(), 0);
                    PackSamples(page, 0, y, page.width, plane, line.data());
                    EXPECT_EQ(TIFFWriteScanline(tif, line.data(), y, static_cast<uint16_t>(plane)),
                              1);
                }
            }
        }
        EXPECT_TRUE(TIFFWriteDirectory(tif));
    }
    TIFFClose(tif);
    return test::ReadBytes(name);
}

// The 8-bit values the test pages are built from.
uint8_t Value(uint32_t x, uint32_t y, uint16_t s) {
    return static_cast<uint8_t>(x * 7 + y * 13 + s * 85);
}

// The same at 16 bits, off the exact multiple of 257 on the side where
// dropping the low byte instead of rounding would give a different value.
uint32_t Value16(uint32_t x, uint32_t y, uint16_t s) {
    const uint32_t v = Value(x, y, s);
    if (v == 0 || v == 255) {
        return v * 257;
    }
    return v < 128 ? v * 257 - 100 : v * 257 + 100;
}

// The picture a page of Value samples should decode to, given how its
// samples map to blue, green and red.
RgbImage Expected(uint32_t width, uint32_t height,
                  const std::function<std::vector<uint8_t>(uint32_t, uint32_t)>& bgr) {
    RgbImage image;
    image.Resize(static_cast<int>(width), static_cast<int>(height));
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const std::vector<uint8_t> p = bgr(x, y);
            test::SetPixel(image, static_cast<int>(x), static_cast<int>(y), p[0], p[1], p[2]);
        }
    }
    return image;
}

RgbImage ExpectedRgb(uint32_t width, uint32_t height) {
    return Expected(width, height, [](uint32_t x, uint32_t y) {
        return std::vector<uint8_t>{Value(x, y, 2), Value(x, y, 1), Value(x, y, 0)};
    });
}

Page RgbPage(uint32_t width, uint32_t height) {
    Page page;
    page.width = width;
    page.height = height;
    page.sample = Value;
    return page;
}

// ---- Hand-made files, for what libtiff would refuse to write ----------------

struct Entry {
    uint16_t tag;
    uint16_t type;  // 3 SHORT, 4 LONG
    std::vector<uint32_t> values;
};

// A little-endian TIFF with the directory first and the strips after it.
// StripOffsets and StripByteCounts are added; byteCounts, when given,
// replaces the true counts.
std::vector<uint8_t> HandMadeTiff(std::vector<Entry> entries,
                                  const std::vector<std::vector<uint8_t>>& strips,
                                  std::vector<uint32_t> byteCounts = {}) {
    if (byteCounts.empty()) {
        for (const auto& strip : strips) {
            byteCounts.push_back(static_cast<uint32_t>(strip.size()));
        }
    }
    entries.push_back({273, 4, std::vector<uint32_t>(strips.size(), 0)});
    entries.push_back({279, 4, byteCounts});
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.tag < b.tag; });

    auto put16 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        b[at] = static_cast<uint8_t>(v);
        b[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    auto put32 = [&](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        put16(b, at, v & 0xFFFF);
        put16(b, at + 2, v >> 16);
    };
    const size_t ifdSize = 2 + entries.size() * 12 + 4;
    std::vector<uint8_t> bytes(8 + ifdSize, 0);
    bytes[0] = 'I';
    bytes[1] = 'I';
    put16(bytes, 2, 42);
    put32(bytes, 4, 8);
    put16(bytes, 8, static_cast<uint32_t>(entries.size()));

    // Values that do not fit in the entry go after the directory; strip
    // offsets are filled in once the strips' place is known.
    size_t stripOffsetsAt = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const size_t at = 10 + i * 12;
        const size_t unit = e.type == 3 ? 2 : 4;
        put16(bytes, at, e.tag);
        put16(bytes, at + 2, e.type);
        put32(bytes, at + 4, static_cast<uint32_t>(e.values.size()));
        size_t valuesAt = at + 8;
        if (e.values.size() * unit > 4) {
            valuesAt = bytes.size();
            put32(bytes, at + 8, static_cast<uint32_t>(valuesAt));
            bytes.resize(bytes.size() + e.values.size() * unit);
        }
        for (size_t k = 0; k < e.values.size(); ++k) {
            if (unit == 2) {
                put16(bytes, valuesAt + 2 * k, e.values[k]);
            } else {
                put32(bytes, valuesAt + 4 * k, e.values[k]);
            }
        }
        if (e.tag == 273) {
            stripOffsetsAt = valuesAt;
        }
    }
    for (size_t k = 0; k < strips.size(); ++k) {
        put32(bytes, stripOffsetsAt + 4 * k, static_cast<uint32_t>(bytes.size()));
        bytes.insert(bytes.end(), strips[k].begin(), strips[k].end());
    }
    return bytes;
}

std::vector<Entry> RgbEntries(uint32_t width, uint32_t height, uint32_t compression = 1) {
    return {{256, 4, {width}}, {257, 4, {height}}, {258, 3, {8, 8, 8}}, {259, 3, {compression}},
            {262, 3, {2}},     {277, 3, {3}},      {278, 4, {height}}};
}

// ---- Encoding -----------------------------------------------------------------

TEST(TiffEncode, LzwRoundTripIsExact) {
    test::TempDir dir;
    for (const auto& [w, h] : {std::pair{1, 1}, {37, 23}, {700, 200}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const RgbImage original = test::RandomImage(w, h, static_cast<uint32_t>(w));
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(EncodeTiff(original, bytes));
        RgbImage decoded;
        ASSERT_TRUE(DecodeTiff(bytes.data(), bytes.size(), decoded));
        EXPECT_TRUE(SamePixels(original, decoded));

        // What other programs see in the file.
        const std::string name = dir.File("check.tif");
        test::WriteBytes(name, bytes);
        TIFF* tif = TIFFOpen(name.c_str(), "r");
        ASSERT_NE(tif, nullptr);
        uint16_t compression = 0, bits = 0, samples = 0, photometric = 0, planar = 0;
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
        EXPECT_EQ(compression, COMPRESSION_LZW);
        EXPECT_EQ(bits, 8);
        EXPECT_EQ(samples, 3);
        EXPECT_EQ(photometric, PHOTOMETRIC_RGB);
        EXPECT_EQ(planar, PLANARCONFIG_CONTIG);
        std::vector<uint8_t> first(static_cast<size_t>(TIFFScanlineSize(tif)));
        ASSERT_EQ(TIFFReadScanline(tif, first.data(), 0, 0), 1);
        EXPECT_EQ(first[0], PixelAt(original, 0, 0)[2]);  // stored as R, G, B
        EXPECT_EQ(first[2], PixelAt(original, 0, 0)[0]);
        TIFFClose(tif);
    }
}

TEST(TiffEncode, AppendsToTheBufferAndRefusesEmptyPictures) {
    const RgbImage original = test::GradientImage(30, 20);
    std::vector<uint8_t> out = {7, 8};
    ASSERT_TRUE(EncodeTiff(original, out));
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[1], 8);
    RgbImage decoded;
    ASSERT_TRUE(DecodeTiff(out.data() + 2, out.size() - 2, decoded));
    EXPECT_TRUE(SamePixels(original, decoded));

    std::vector<uint8_t> untouched = {1};
    EXPECT_FALSE(EncodeTiff(RgbImage(), untouched));
    EXPECT_EQ(untouched, std::vector<uint8_t>{1});
}

// ---- Decoding the layouts that are read directly -------------------------------

TEST(TiffDecode, RgbLayouts) {
    struct Case {
        const char* name;
        Page page;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, auto change) {
        Page page = RgbPage(45, 31);
        change(page);
        cases.push_back({name, page});
    };
    add("uncompressed, several strips", [](Page& p) { p.rowsPerStrip = 4; });
    add("LZW, one strip", [](Page& p) {
        p.compression = COMPRESSION_LZW;
        p.rowsPerStrip = p.height;
    });
    add("Deflate with predictor", [](Page& p) {
        p.compression = COMPRESSION_ADOBE_DEFLATE;
        p.predictor = PREDICTOR_HORIZONTAL;
        p.rowsPerStrip = 8;
    });
    add("PackBits", [](Page& p) { p.compression = COMPRESSION_PACKBITS; });
    add("16-bit", [](Page& p) {
        p.bits = 16;
        p.sample = Value16;
    });
    add("16-bit LZW with predictor", [](Page& p) {
        p.bits = 16;
        p.sample = Value16;
        p.compression = COMPRESSION_LZW;
        p.predictor = PREDICTOR_HORIZONTAL;
    });
    add("planar", [](Page& p) {
        p.planar = PLANARCONFIG_SEPARATE;
        p.rowsPerStrip = 5;
    });
    add("planar 16-bit Deflate, one strip per plane", [](Page& p) {
        p.planar = PLANARCONFIG_SEPARATE;
        p.bits = 16;
        p.sample = Value16;
        p.compression = COMPRESSION_ADOBE_DEFLATE;
        p.rowsPerStrip = p.height;
    });
    add("planar Deflate with alpha, a plane more than the colours", [](Page& p) {
        p.planar = PLANARCONFIG_SEPARATE;
        p.samples = 4;
        p.extraSamples = 1;
        p.compression = COMPRESSION_ADOBE_DEFLATE;
        p.rowsPerStrip = 6;
    });
    add("tiled, partial edge tiles", [](Page& p) {
        p.tileWidth = 16;
        p.tileHeight = 16;
        p.compression = COMPRESSION_LZW;
    });
    add("tiled planar 16-bit", [](Page& p) {
        p.tileWidth = 32;
        p.tileHeight = 16;
        p.planar = PLANARCONFIG_SEPARATE;
        p.bits = 16;
        p.sample = Value16;
    });
    add("alpha dropped, colour kept as stored", [](Page& p) {
        p.samples = 4;
        p.extraSamples = 1;
        p.sample = [](uint32_t x, uint32_t y, uint16_t s) -> uint32_t {
            return s == 3 ? 0 : Value(x, y, s);
        };
    });
    add("orientation tag not applied", [](Page& p) { p.orientation = ORIENTATION_BOTLEFT; });

    const RgbImage expected = ExpectedRgb(45, 31);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = WriteTiff({c.page});
        RgbImage decoded;
        ASSERT_TRUE(DecodeTiff(bytes.data(), bytes.size(), decoded));
        EXPECT_EQ(MaxChannelDifference(expected, decoded), 0);
    }
}

// Samples wider than 16 bits, floating-point samples and packed 12-bit grey
// are scaled to 8 bits over their full range, rounded, as 16-bit ones are.
TEST(TiffDecode, WideFloatAndTwelveBitSamples) {
    // Each stored value rounds to Value(); the offsets sit just on the side
    // where cutting off low bits instead of rounding gives a different
    // answer.
    auto value32 = [](uint32_t x, uint32_t y, uint16_t s) -> uint32_t {
        const uint32_t v = Value(x, y, s);
        return v == 0 ? 0x007F0000u : v * 0x01010101u - 0x007F0000u;
    };
    // Signed: the whole range of the type maps onto 0 to 255, lowest first.
    auto valueSigned = [&](uint32_t x, uint32_t y, uint16_t s) -> uint32_t {
        return value32(x, y, s) ^ 0x80000000u;
    };
    auto valueFloat = [](uint32_t x, uint32_t y, uint16_t s) -> uint32_t {
        const float f = (static_cast<float>(Value(x, y, s)) - 0.45f) / 255.0f;
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        return bits;
    };
    auto value12 = [](uint32_t x, uint32_t y, uint16_t s) -> uint32_t {
        const uint32_t v = Value(x, y, s);
        return std::min<uint32_t>(4095, (v * 4095 + 127) / 255 + 7);
    };
    const uint32_t w = 45, h = 31;  // an odd width ends 12-bit rows mid-byte
    auto page = [&](uint16_t bits, uint16_t samples, uint16_t format,
                    std::function<uint32_t(uint32_t, uint32_t, uint16_t)> sample) {
        Page p = RgbPage(w, h);
        p.bits = bits;
        p.samples = samples;
        p.photometric = samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB;
        p.sampleFormat = format;
        p.sample = std::move(sample);
        p.rowsPerStrip = 8;
        return p;
    };
    struct Case {
        const char* name;
        Page page;
    };
    std::vector<Case> cases = {
        {"RGB 32-bit integers", page(32, 3, SAMPLEFORMAT_UINT, value32)},
        {"grey 32-bit integers", page(32, 1, SAMPLEFORMAT_UINT, value32)},
        {"RGB floats", page(32, 3, SAMPLEFORMAT_IEEEFP, valueFloat)},
        {"grey floats", page(32, 1, SAMPLEFORMAT_IEEEFP, valueFloat)},
        {"RGB 32-bit signed integers", page(32, 3, SAMPLEFORMAT_INT, valueSigned)},
        {"grey 32-bit signed integers", page(32, 1, SAMPLEFORMAT_INT, valueSigned)},
        {"grey 12-bit", page(12, 1, SAMPLEFORMAT_UINT, value12)},
    };
    Page floatsDeflate = page(32, 3, SAMPLEFORMAT_IEEEFP, valueFloat);
    floatsDeflate.compression = COMPRESSION_ADOBE_DEFLATE;
    floatsDeflate.predictor = PREDICTOR_FLOATINGPOINT;
    cases.push_back({"RGB floats, deflate with float predictor", floatsDeflate});
    Page planar32 = page(32, 3, SAMPLEFORMAT_UINT, value32);
    planar32.planar = PLANARCONFIG_SEPARATE;
    cases.push_back({"RGB 32-bit planar", planar32});
    Page tiledFloats = page(32, 3, SAMPLEFORMAT_IEEEFP, valueFloat);
    tiledFloats.tileWidth = 16;
    tiledFloats.tileHeight = 16;
    cases.push_back({"RGB floats in tiles", tiledFloats});
    // Without a Photometric tag the first sample is grey, as libtiff assumes.
    for (const uint16_t samples : {1, 3}) {
        Page untagged = page(32, samples, SAMPLEFORMAT_IEEEFP, valueFloat);
        untagged.photometric = kNoTag;
        cases.push_back(
            {samples == 1 ? "grey floats, no Photometric tag" : "RGB floats, no Photometric tag",
             untagged});
    }
    Page grey12Lzw = page(12, 1, SAMPLEFORMAT_UINT, value12);
    grey12Lzw.compression = COMPRESSION_LZW;
    cases.push_back({"grey 12-bit LZW", grey12Lzw});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = WriteTiff({c.page});
        RgbImage decoded;
        ASSERT_TRUE(DecodeTiff(bytes.data(), bytes.size(), decoded));
        const RgbImage expected = c.page.samples == 1 || c.page.photometric == kNoTag
                                      ? Expected(w, h,
                                                 [](uint32_t x, uint32_t y) {
                                                     const uint8_t v = Value(x, y, 0);
                                                     return std::vector<uint8_t>{v, v, v};
                                                 })
                                      : ExpectedRgb(w, h);
        EXPECT_EQ(MaxChannelDifference(expected, decoded), 0);
    }

    // Floats outside 0 to 1 are clipped; NaN is black. Zero is white in a
    // grey picture that says so.
    const float kOdd[] = {-0.5f, 1.5f, std::nanf(""), 1.0f, 0.0f, 0.5f};
    const uint8_t kExpected[] = {0, 255, 0, 255, 0, 128};
    Page odd = page(32, 1, SAMPLEFORMAT_IEEEFP, [&](uint32_t x, uint32_t, uint16_t) -> uint32_t {
        uint32_t bits;
        std::memcpy(&bits, &kOdd[x], 4);
        return bits;
    });
    odd.width = 6;
    odd.height = 1;
    for (const uint16_t photometric :
         {uint16_t{PHOTOMETRIC_MINISBLACK}, uint16_t{PHOTOMETRIC_MINISWHITE}, kNoTag}) {
        SCOPED_TRACE(photometric);
        odd.photometric = photometric;
        const std::vector<uint8_t> bytes = WriteTiff({odd});
        RgbImage decoded;
        ASSERT_TRUE(DecodeTiff(bytes.data(), bytes.size(), decoded));
        for (int x = 0; x < 6; ++x) {
            const uint8_t v =
                photometric != PHOTOMETRIC_MINISWHITE ? kExpected[x] : 255 - kExpected[x];
            EXPECT_EQ(PixelAt(decoded, x, 0), (std::vector<uint8_t>{v, v, v})) << x;
        }
    }
}

// Pixels come out as stored whatever the Orientation tag says, as a JPEG's
// orientation is not applied either: frames of one camera stay alike.
TEST(TiffDecode, OrientationTagIsNeverApplied) {
    for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        Page rgb = RgbPage(45, 31);  // read directly
        rgb.orientation = orientation;
        Page cmyk = rgb;  // read through libtiff's RGBA reader
        cmyk.samples = 4;
        cmyk.photometric = PHOTOMETRIC_SEPARATED;
        cmyk.sample = [](uint32_t x, uint32_t y, uint16_t s) -> uint32_t {
            return s < 3 ? 255 - Value(x, y, s) : 0;  // inks, no black
        };
        for (const Page& page : {rgb, cmyk}) {
            const std::vector<uint8_t> bytes = WriteTiff({page});
            RgbImage decoded;
            ASSERT_TRUE(DecodeTiff(bytes.data(), bytes.size(), decoded));
            EXPECT_LE(MaxChannelDifference(ExpectedRgb(45, 31), decoded), 1)
                << "samples per pixel " << page.samples;
        }
    }
}

TEST(TiffDecode, GreyAndPaletteLayouts) {
    const uint32_t w = 29, h = 19;
    auto grey = [](uint32_t width, uint32_t height,
                   const std::function<uint8_t(uint32_t, uint32_t)>& level) {
        return Expected(width, height, [&](uint32_t x, uint32_t y) {
            const uint8_t v = level(x, y);
            return std::vector<uint8_t>{v, v, v};
        });
    };
    auto greyPage = [&](uint16_t bits, uint16_t photometric) {
        Page page;
        page.width = w;
        page.height = h;
        page.bits = bits;
        page.samples = 1;
        page.photometric = photometric;
        return page;
    };

    struct Case {
        const char* name;
        Page page;
        RgbImage expected;
    };
    std::vector<Case> cases;

    Page grey8 = greyPage(8, PHOTOMETRIC_MINISBLACK);
    grey8.sample = Value;
    cases.push_back(
        {"grey 8-bit", grey8, grey(w, h, [](uint32_t x, uint32_t y) { return Value(x, y, 0); })});

    Page white8 = grey8;
    white8.photometric = PHOTOMETRIC_MINISWHITE;
    cases.push_back({"grey 8-bit, zero is white", white8, grey(w, h, [](uint32_t x, uint32_t y) {
                         return static_cast<uint8_t>(255 - Value(x, y, 0));
                     })});

    Page grey16 = greyPage(16, PHOTOMETRIC_MINISBLACK);
    grey16.sample = Value16;
    grey16.compression = COMPRESSION_LZW;
    cases.push_back(
        {"grey 16-bit", grey16, grey(w, h, [](uint32_t x, uint32_t y) { return Value(x, y, 0); })});

    Page white16 = grey16;
    white16.photometric = PHOTOMETRIC_MINISWHITE;
    cases.push_back({"grey 16-bit, zero is white", white16, grey(w, h, [](uint32_t x, uint32_t y) {
                         return static_cast<uint8_t>(255 - Value(x, y, 0));
                     })});

    Page greyAlpha = grey8;
    greyAlpha.samples = 2;
    greyAlpha.extraSamples = 1;
    cases.push_back({"grey with alpha", greyAlpha,
                     grey(w, h, [](uint32_t x, uint32_t y) { return Value(x, y, 0); })});

    Page bilevel = greyPage(1, PHOTOMETRIC_MINISWHITE);
    bilevel.sample = [](uint32_t x, uint32_t y, uint16_t) -> uint32_t { return (x + y) % 3 == 0; };
    bilevel.compression = COMPRESSION_PACKBITS;
    cases.push_back({"bilevel, zero is white", bilevel, grey(w, h, [](uint32_t x, uint32_t y) {
                         return static_cast<uint8_t>((x + y) % 3 == 0 ? 0 : 255);
                     })});

    Page grey4 = greyPage(4, PHOTOMETRIC_MINISBLACK);
    grey4.sample = [](uint32_t x, uint32_t y, uint16_t) -> uint32_t { return (x + 2 * y) % 16; };
    cases.push_back({"grey 4-bit", grey4, grey(w, h, [](uint32_t x, uint32_t y) {
                         return static_cast<uint8_t>((x + 2 * y) % 16 * 17);
                     })});

    // A palette of 256 colours in 16-bit entries, and one of 16 colours.
    auto paletteColour = [](uint32_t i) {
        return std::vector<uint8_t>{static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 3),
                                    static_cast<uint8_t>(i)};  // B, G, R
    };
    auto colourMap = [&](uint32_t entries, uint32_t scale) {
        std::vector<uint16_t> map(3 * entries);
        for (uint32_t i = 0; i < entries; ++i) {
            const std::vector<uint8_t> c = paletteColour(i);
            map[i] = static_cast<uint16_t>(c[2] * scale);
            map[entries + i] = static_cast<uint16_t>(c[1] * scale);
            map[2 * entries + i] = static_cast<uint16_t>(c[0] * scale);
        }
        return map;
    };
    Page palette8 = greyPage(8, PHOTOMETRIC_PALETTE);
    palette8.sample = Value;
    palette8.colourMap = colourMap(256, 257);
    palette8.compression = COMPRESSION_LZW;
    const RgbImage expected8 =
        Expected(w, h, [&](uint32_t x, uint32_t y) { return paletteColour(Value(x, y, 0)); });
    cases.push_back({"palette 8-bit", palette8, expected8});

    // Old writers stored the map at 8 bits; no entry above 255 tells them.
    Page oldPalette = palette8;
    oldPalette.colourMap = colourMap(256, 1);
    cases.push_back({"palette with an 8-bit map", oldPalette, expected8});

    Page palette4 = greyPage(4, PHOTOMETRIC_PALETTE);
    palette4.sample = [](uint32_t x, uint32_t y, uint16_t) -> uint32_t { return (x * y) % 16; };
    palette4.colourMap = colourMap(16, 257);
    palette4.tileWidth = 16;
    palette4.tileHeight = 16;
    cases.push_back({"palette 4-bit, tiled", palette4, Expected(w, h, [&](uint32_t x, uint32_t y) {
                         return paletteColour((x * y) % 16);
                     })});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = WriteTiff({c.page});
        RgbImage decoded;
        ASSERT_TRUE(DecodeTiff(bytes.data(), bytes.size(), decoded));
        EXPECT_EQ(MaxChannelDifference(c.expected, decoded), 0);
    }
}

TEST(TiffDecode, JpegCompressedPages) {
    // Smooth content, which JPEG keeps close.
    auto smooth = [](uint32_t x, uint32_t y, uint16_t s) -> uint32_t {
        return x + 2 * y + 40 * s;  // no wrap-around edges
    };
    Page ycbcr = RgbPage(64, 48);
    ycbcr.sample = smooth;
    ycbcr.compression = COMPRESSION_JPEG;
    ycbcr.photometric = PHOTOMETRIC_YCBCR;
    ycbcr.rowsPerStrip = 16;
    Page rgb = ycbcr;
    rgb.photometric = PHOTOMETRIC_RGB;
    Page grey = ycbcr;
    grey.photometric = PHOTOMETRIC_MINISBLACK;
    grey.samples = 1;
    Page tiled = ycbcr;
    tiled.tileWidth = 32;
    tiled.tileHeight = 32;

    const RgbImage expectedColour = Expected(64, 48, [&](uint32_t x, uint32_t y) {
        return std::vector<uint8_t>{static_cast<uint8_t>(smooth(x, y, 2)),
                                    static_cast<uint8_t>(smooth(x, y, 1)),
                                    static_cast<uint8_t>(smooth(x, y, 0))};
    });
    const RgbImage expectedGrey = Expected(64, 48, [&](uint32_t x, uint32_t y) {
        const auto v = static_cast<uint8_t>(smooth(x, y, 0));
        return std::vector<uint8_t>{v, v, v};
    });
    struct Case {
        const char* name;
        Page page;
        const RgbImage* expected;
    };
    const Case cases[] = {{"YCbCr", ycbcr, &expectedColour},
                          {"RGB", rgb, &expectedColour},
                          {"grey", grey, &expectedGrey},
                          {"YCbCr tiled", tiled, &expectedColour}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = WriteTiff({c.page});
        RgbImage decoded;
        ASSERT_TRUE(DecodeTiff(bytes.data(), bytes.size(), decoded));
        EXPECT_LE(MaxChannelDifference(*c.expected, decoded), 8);
    }
}

TEST(TiffDecode, FirstPageOfSeveral) {
    Page first = RgbPage(20, 10);
    Page second = RgbPage(8, 8);
    second.sample = [](uint32_t, uint32_t, uint16_t) -> uint32_t { return 255; };
    const std::vector<uint8_t> bytes = WriteTiff({first, second});
    RgbImage decoded;
    ASSERT_TRUE(DecodeTiff(bytes.data(), bytes.size(), decoded));
    EXPECT_TRUE(SamePixels(decoded, ExpectedRgb(20, 10)));
}

// ---- Decoding through libtiff's RGBA reader -------------------------------------

TEST(TiffDecode, CmykGoesThroughTheRgbaReader) {
    // C, M, Y, K with 255 = full ink: cyan, then red, then grey from black ink.
    auto ink = [](uint32_t x, uint32_t, uint16_t s) -> uint32_t {
        static const uint8_t kInks[3][4] = {{255, 0, 0, 0}, {0, 255, 255, 0}, {0, 0, 0, 128}};
        return kInks[x * 3 / 30][s];
    };
    Page cmyk;
    cmyk.width = 30;
    cmyk.height = 21;
    cmyk.samples = 4;
    cmyk.photometric = PHOTOMETRIC_SEPARATED;
    cmyk.sample = ink;
    cmyk.rowsPerStrip = 8;
    Page single = cmyk;
    single.rowsPerStrip = cmyk.height;
    single.compression = COMPRESSION_LZW;
    Page tiled = cmyk;
    tiled.tileWidth = 16;
    tiled.tileHeight = 16;
    Page flipped = cmyk;
    flipped.orientation = ORIENTATION_BOTLEFT;
    flipped.sample = [&](uint32_t x, uint32_t y, uint16_t s) -> uint32_t {
        return y == 0 ? (s == 3 ? 255 : 0) : ink(x, y, s);  // first stored row black
    };

    const RgbImage expected = Expected(30, 21, [](uint32_t x, uint32_t) {
        static const std::vector<uint8_t> kBgr[3] = {{255, 255, 0}, {0, 0, 255}, {127, 127, 127}};
        return kBgr[x * 3 / 30];
    });
    struct Case {
        const char* name;
        Page page;
    };
    for (const Case& c :
         {Case{"strips", cmyk}, Case{"one LZW strip", single}, Case{"tiles", tiled}}) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = WriteTiff({c.page});
        RgbImage decoded;
        ASSERT_TRUE(DecodeTiff(bytes.data(), bytes.size(), decoded));
        EXPECT_LE(MaxChannelDifference(expected, decoded), 1);
    }

    // Pixels as stored, whatever the orientation tag says.
    const std::vector<uint8_t> bytes = WriteTiff({flipped});
    RgbImage decoded;
    ASSERT_TRUE(DecodeTiff(bytes.data(), bytes.size(), decoded));
    EXPECT_EQ(PixelAt(decoded, 5, 0), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(PixelAt(decoded, 5, 20), PixelAt(expected, 5, 20));
}

// ---- Bad input ----------------------------------------------------------------

TEST(TiffDecode, TruncatedFilesFail) {
    // Directory first, so that cutting the file leaves it readable.
    const uint32_t w = 40, h = 30;
    std::vector<uint8_t> pixels;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            for (uint16_t s = 0; s < 3; ++s) {
                pixels.push_back(Value(x, y, s));
            }
        }
    }
    const std::vector<uint8_t> whole = HandMadeTiff(RgbEntries(w, h), {pixels});
    RgbImage decoded;
    ASSERT_TRUE(DecodeTiff(whole.data(), whole.size(), decoded));
    EXPECT_TRUE(SamePixels(decoded, ExpectedRgb(w, h)));

    for (size_t keep : {whole.size() - 1, whole.size() / 2, size_t{200}, size_t{30}, size_t{8}}) {
        EXPECT_FALSE(DecodeTiff(whole.data(), keep, decoded)) << keep;
    }

    // A compressed strip whose data stops early, though its byte count
    // matches what is there.
    Page lzw = RgbPage(w, h);
    lzw.compression = COMPRESSION_LZW;
    lzw.rowsPerStrip = h;
    const std::vector<uint8_t> written = WriteTiff({lzw});
    test::TempDir dir;
    const std::string name = dir.File("lzw.tif");
    test::WriteBytes(name, written);
    TIFF* tif = TIFFOpen(name.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    std::vector<uint8_t> raw(static_cast<size_t>(TIFFGetStrileByteCount(tif, 0)));
    ASSERT_EQ(TIFFReadRawStrip(tif, 0, raw.data(), static_cast<tmsize_t>(raw.size())),
              static_cast<tmsize_t>(raw.size()));
    TIFFClose(tif);
    const std::vector<uint8_t> intact = HandMadeTiff(RgbEntries(w, h, COMPRESSION_LZW), {raw});
    ASSERT_TRUE(DecodeTiff(intact.data(), intact.size(), decoded));
    EXPECT_TRUE(SamePixels(decoded, ExpectedRgb(w, h)));
    raw.resize(raw.size() / 2);
    const std::vector<uint8_t> cut = HandMadeTiff(RgbEntries(w, h, COMPRESSION_LZW), {raw});
    EXPECT_FALSE(DecodeTiff(cut.data(), cut.size(), decoded));
}

TEST(TiffDecode, RefusesSizesTheDataCannotHold) {
    testing::internal::CaptureStderr();
    RgbImage decoded;
    const std::vector<uint8_t> strip(300, 0x55);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<Entry> hugeTile = RgbEntries(16, 16);
    hugeTile.erase(hugeTile.end() - 1);  // no RowsPerStrip in a tiled page
    hugeTile.push_back({322, 4, {65536}});
    hugeTile.push_back({323, 4, {65536}});
    std::vector<Entry> zeroWidth = RgbEntries(0, 10);
    std::vector<Entry> halfFloats = RgbEntries(10, 10);
    halfFloats[2].values = {16, 16, 16};
    halfFloats.push_back({339, 3, {3, 3, 3}});
    const Case cases[] = {
        {"100000 x 100000", HandMadeTiff(RgbEntries(100000, 100000), {strip})},
        {"20000 x 20000 from 300 bytes", HandMadeTiff(RgbEntries(20000, 20000), {strip})},
        {"20000 x 20000 LZW, strip past the end",
         HandMadeTiff(RgbEntries(20000, 20000, COMPRESSION_LZW), {strip}, {1u << 30})},
        {"empty strip", HandMadeTiff(RgbEntries(10, 10, COMPRESSION_LZW), {strip}, {0})},
        {"zero width", HandMadeTiff(zeroWidth, {strip})},
        {"tile of 65536 x 65536", HandMadeTiff(hugeTile, {strip})},
        {"16-bit floating-point samples", HandMadeTiff(halfFloats, {std::vector<uint8_t>(600, 0)})},
        {"header only", {'I', 'I', 42, 0, 8, 0, 0, 0}},
        {"directory offset past the end", {'M', 'M', 0, 42, 0x7F, 0, 0, 0, 1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(DecodeTiff(c.bytes.data(), c.bytes.size(), decoded));
    }

    // Random damage anywhere in a good file: no crash, and a success is a
    // whole picture.
    Page page = RgbPage(33, 17);
    page.compression = COMPRESSION_LZW;
    page.rowsPerStrip = 4;
    const std::vector<uint8_t> good = WriteTiff({page});
    for (size_t at = 4; at < good.size(); at += 13) {
        std::vector<uint8_t> damaged = good;
        damaged[at] ^= 0xA5;
        damaged[(at * 7) % good.size()] ^= 0x3C;
        if (DecodeTiff(damaged.data(), damaged.size(), decoded)) {
            EXPECT_GT(decoded.Width(), 0);
            EXPECT_GT(decoded.Height(), 0);
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Compressed strips whose declared sizes could never hold the picture are
// refused before the picture is allocated: the scratch picture keeps its size.
TEST(TiffDecode, CompressedStripsMustBeAbleToHoldThePicture) {
    const uint32_t side = 22000;
    // CCITT G4: a row that repeats the row above is the single bit 1, so
    // 2,750 bytes of 0xFF are 22,000 blank rows; the end-of-block code
    // follows.
    auto blankFax = [](uint32_t width, uint32_t height) {
        std::vector<uint8_t> strip((height + 7) / 8, 0xFF);
        if (height % 8 != 0) {
            strip.back() = static_cast<uint8_t>(0xFF << (8 - height % 8));  // padding after
        }
        strip.insert(strip.end(), {0x00, 0x10, 0x01, 0x00, 0x10, 0x01});
        return HandMadeTiff({{256, 4, {width}},
                             {257, 4, {height}},
                             {258, 3, {1}},
                             {259, 3, {COMPRESSION_CCITTFAX4}},
                             {262, 3, {PHOTOMETRIC_MINISWHITE}},
                             {277, 3, {1}},
                             {278, 4, {height}}},
                            {strip});
    };
    std::vector<Entry> greyDeflate = RgbEntries(side, side, COMPRESSION_ADOBE_DEFLATE);
    greyDeflate[2].values = {8};
    greyDeflate[5].values = {1};
    greyDeflate[4].values = {PHOTOMETRIC_MINISBLACK};
    const std::vector<uint8_t> few(40, 0x80);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case bombs[] = {
        {"G4 fax of 22000 x 22000", blankFax(side, side)},
        {"LZW of 22000 x 22000", HandMadeTiff(RgbEntries(side, side, COMPRESSION_LZW), {few})},
        {"deflate grey of 22000 x 22000", HandMadeTiff(greyDeflate, {few})},
        {"PackBits of 3000 x 3000",
         HandMadeTiff(RgbEntries(3000, 3000, COMPRESSION_PACKBITS), {few})},
    };
    for (const Case& c : bombs) {
        SCOPED_TRACE(c.name);
        EXPECT_LT(c.bytes.size(), 3000u);
        RgbImage scratch;
        ASSERT_TRUE(scratch.Resize(3, 2));
        EXPECT_FALSE(DecodeTiff(c.bytes.data(), c.bytes.size(), scratch));
        EXPECT_EQ(scratch.Width(), 3);
        EXPECT_EQ(scratch.Height(), 2);
    }

    // A black frame in Zstandard goes far beyond what deflate can reach, and
    // still loads.
    if (TIFFIsCODECConfigured(COMPRESSION_ZSTD)) {
        Page black;
        black.width = 3000;
        black.height = 2000;
        black.samples = 1;
        black.photometric = PHOTOMETRIC_MINISBLACK;
        black.compression = COMPRESSION_ZSTD;
        black.rowsPerStrip = black.height;
        black.sample = [](uint32_t, uint32_t, uint16_t) -> uint32_t { return 0; };
        const std::vector<uint8_t> bytes = WriteTiff({black});
        EXPECT_LT(bytes.size() * 1032, size_t{3000} * 2000);
        RgbImage decoded;
        ASSERT_TRUE(DecodeTiff(bytes.data(), bytes.size(), decoded));
        EXPECT_EQ(decoded.Width(), 3000);
    }

    // Blank fax pages up to 4096 pixels wide compress as far as they can and
    // still load, as do small pictures whatever their data.
    for (const auto& [w, h] : {std::pair{4000u, 3000u}, {64u, 9u}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const std::vector<uint8_t> page = blankFax(w, h);
        RgbImage decoded;
        ASSERT_TRUE(DecodeTiff(page.data(), page.size(), decoded));
        ASSERT_EQ(decoded.Width(), static_cast<int>(w));
        ASSERT_EQ(decoded.Height(), static_cast<int>(h));
        EXPECT_EQ(PixelAt(decoded, static_cast<int>(w) - 1, static_cast<int>(h) - 1),
                  (std::vector<uint8_t>{255, 255, 255}));
    }
}

// ---- Through the file functions ----------------------------------------------

TEST(TiffFile, SavedAsLzwAndBadFilesKeepTheDestination) {
    test::TempDir dir;
    const RgbImage original = test::RandomImage(50, 40, 3);
    std::string name = dir.File("stack.tiff");
    ASSERT_TRUE(SaveImageFile(original, name));
    RgbImage loaded;
    ASSERT_TRUE(LoadImageFile(loaded, name));
    EXPECT_TRUE(SamePixels(original, loaded));

    std::vector<uint8_t> bytes = test::ReadBytes(name);
    bytes.resize(bytes.size() / 2);
    test::WriteBytes(dir.File("cut.tif"), bytes);
    const RgbImage before = test::RandomImage(9, 4, 8);
    RgbImage destination = before;
    EXPECT_FALSE(LoadImageFile(destination, dir.File("cut.tif")));
    EXPECT_TRUE(SamePixels(destination, before));

    const std::vector<uint8_t> bomb = HandMadeTiff(RgbEntries(100000, 100000), {{1, 2, 3}});
    test::WriteBytes(dir.File("bomb.tif"), bomb);
    EXPECT_FALSE(LoadImageFile(destination, dir.File("bomb.tif")));
    EXPECT_TRUE(SamePixels(destination, before));
}

}  // namespace
}  // namespace nocturo
