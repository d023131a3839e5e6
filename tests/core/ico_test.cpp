#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/codecs/codecs.h"
#include "core/image_file.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using test::PixelAt;
using test::RandomImage;
using test::SamePixels;
using test::TempDir;
using test::WriteBytes;

void Append16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Append32(std::vector<uint8_t>& out, uint32_t v) {
    Append16(out, v & 0xFFFF);
    Append16(out, v >> 16);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// The info header of an icon entry: the stored height counts the colour rows
// and the AND mask.
std::vector<uint8_t> IconHeader(int width, int height, int bits, uint32_t colours) {
    std::vector<uint8_t> out;
    Append32(out, 40);
    Append32(out, static_cast<uint32_t>(width));
    Append32(out, static_cast<uint32_t>(height * 2));
    Append16(out, 1);
    Append16(out, static_cast<uint32_t>(bits));
    Append32(out, 0);  // BI_RGB
    Append32(out, 0);
    Append32(out, 0);
    Append32(out, 0);
    Append32(out, colours);
    Append32(out, 0);
    return out;
}

// The AND mask: one bit per pixel, rows padded to four bytes, bottom-up.
void AppendMask(std::vector<uint8_t>& out, int width, int height,
                const std::function<bool(int, int)>& transparent) {
    const size_t stride = (static_cast<size_t>(width) + 31) / 32 * 4;
    for (int r = 0; r < height; ++r) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < width; ++x) {
            if (transparent(x, height - 1 - r)) {
                row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
}

// A 32-bit entry: blue, green, red and an alpha byte that the decoder drops.
std::vector<uint8_t> Dib32(const RgbImage& picture) {
    const int w = picture.Width();
    const int h = picture.Height();
    std::vector<uint8_t> out = IconHeader(w, h, 32, 0);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const auto p = PixelAt(picture, x, y);
            out.insert(out.end(), {p[0], p[1], p[2], static_cast<uint8_t>(x * 40 + y)});
        }
    }
    AppendMask(out, w, h, [](int x, int) { return x % 3 == 0; });
    return out;
}

// A 24-bit entry.
std::vector<uint8_t> Dib24(const RgbImage& picture) {
    const int w = picture.Width();
    const int h = picture.Height();
    std::vector<uint8_t> out = IconHeader(w, h, 24, 0);
    const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
    for (int y = h - 1; y >= 0; --y) {
        out.insert(out.end(), picture.Row(y), picture.Row(y) + picture.Stride());
        out.resize(out.size() + stride - picture.Stride(), 0);
    }
    AppendMask(out, w, h, [](int, int) { return false; });
    return out;
}

// An 8-bit palette entry with an AND mask that hides a diagonal band; the
// decoded picture keeps the stored colours everywhere.
struct PaletteIcon {
    std::vector<uint8_t> dib;
    RgbImage expected;
};

PaletteIcon Dib8(int w, int h) {
    std::vector<std::array<uint8_t, 3>> palette;
    for (int i = 0; i < 20; ++i) {
        palette.push_back({static_cast<uint8_t>(i * 12), static_cast<uint8_t>(200 - i * 7),
                           static_cast<uint8_t>(i * 3 + 40)});
    }
    auto index = [](int x, int y) { return (x + 2 * y) % 20; };
    PaletteIcon icon;
    icon.dib = IconHeader(w, h, 8, static_cast<uint32_t>(palette.size()));
    for (const auto& c : palette) {
        icon.dib.insert(icon.dib.end(), {c[0], c[1], c[2], 0});
    }
    const size_t stride = (static_cast<size_t>(w) + 3) & ~size_t{3};
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < w; ++x) {
            row[x] = static_cast<uint8_t>(index(x, y));
        }
        icon.dib.insert(icon.dib.end(), row.begin(), row.end());
    }
    AppendMask(icon.dib, w, h, [](int x, int y) { return (x + y) % 5 == 0; });
    icon.expected.Resize(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const auto& c = palette[index(x, y)];
            test::SetPixel(icon.expected, x, y, c[0], c[1], c[2]);
        }
    }
    return icon;
}

struct Entry {
    int width;  // 256 is written as 0
    int height;
    int bits;  // as the directory states it; 0 is allowed
    std::vector<uint8_t> data;
};

constexpr size_t kEntryField = 6;  // first directory entry
constexpr size_t kEntrySize = 16;

std::vector<uint8_t> MakeIco(const std::vector<Entry>& entries) {
    std::vector<uint8_t> out;
    Append16(out, 0);
    Append16(out, 1);
    Append16(out, static_cast<uint32_t>(entries.size()));
    size_t offset = kEntryField + kEntrySize * entries.size();
    for (const Entry& e : entries) {
        out.push_back(static_cast<uint8_t>(e.width == 256 ? 0 : e.width));
        out.push_back(static_cast<uint8_t>(e.height == 256 ? 0 : e.height));
        out.push_back(0);  // colour count
        out.push_back(0);
        Append16(out, 1);
        Append16(out, static_cast<uint32_t>(e.bits));
        Append32(out, static_cast<uint32_t>(e.data.size()));
        Append32(out, static_cast<uint32_t>(offset));
        offset += e.data.size();
    }
    for (const Entry& e : entries) {
        out.insert(out.end(), e.data.begin(), e.data.end());
    }
    return out;
}

bool Decode(const std::vector<uint8_t>& bytes, RgbImage& out) {
    return codecs::DecodeIco(bytes.data(), bytes.size(), out);
}

bool PngDecodingWorks() {
    const std::vector<uint8_t> png = test::WritePngWithLibpng(RandomImage(3, 2, 1));
    RgbImage probe;
    return codecs::DecodePng(png.data(), png.size(), probe);
}

TEST(IcoDecode, TheLargestEntryIsThePicture) {
    const RgbImage small = RandomImage(16, 16, 1);
    const PaletteIcon middle = Dib8(32, 32);
    const RgbImage large = RandomImage(256, 256, 3);
    // The directory lists them out of order on purpose.
    const std::vector<uint8_t> icon = MakeIco({
        {16, 16, 32, Dib32(small)},
        {256, 256, 32, test::WritePngWithLibpng(large)},
        {32, 32, 8, middle.dib},
    });
    RgbImage out;
    ASSERT_TRUE(Decode(icon, out));
    if (PngDecodingWorks()) {
        EXPECT_TRUE(SamePixels(out, large));
    } else {
        // Without a PNG decoder the next largest entry stands in.
        EXPECT_TRUE(SamePixels(out, middle.expected));
    }

    // Without the PNG entry, the 32 x 32 one wins over the 16 x 16 one.
    ASSERT_TRUE(Decode(MakeIco({{16, 16, 32, Dib32(small)}, {32, 32, 8, middle.dib}}), out));
    EXPECT_TRUE(SamePixels(out, middle.expected));

    // A size byte of 0 means 256: a BMP-embedded 256 x 256 entry beats 48 x 48.
    const RgbImage big = RandomImage(256, 256, 4);
    ASSERT_TRUE(Decode(
        MakeIco({{48, 48, 32, Dib32(RandomImage(48, 48, 5))}, {256, 256, 24, Dib24(big)}}), out));
    EXPECT_TRUE(SamePixels(out, big));
}

TEST(IcoDecode, EntriesOfEveryKindDecodeAsStored) {
    RgbImage out;
    // 32 bits: the alpha byte and the AND mask are dropped.
    const RgbImage colour = RandomImage(16, 16, 6);
    ASSERT_TRUE(Decode(MakeIco({{16, 16, 32, Dib32(colour)}}), out));
    EXPECT_TRUE(SamePixels(out, colour));

    // 8-bit palette with an AND mask: the stored colours, masked or not.
    const PaletteIcon palette = Dib8(13, 9);  // odd sizes pad rows and mask rows
    ASSERT_TRUE(Decode(MakeIco({{13, 9, 8, palette.dib}}), out));
    EXPECT_TRUE(SamePixels(out, palette.expected));

    // 24 bits at an odd width.
    const RgbImage odd = RandomImage(5, 3, 7);
    ASSERT_TRUE(Decode(MakeIco({{5, 3, 24, Dib24(odd)}}), out));
    EXPECT_TRUE(SamePixels(out, odd));

    // The colour rows alone, without the AND mask after them, are enough.
    std::vector<uint8_t> noMask = Dib32(colour);
    noMask.resize(noMask.size() - 16 * 4);
    ASSERT_TRUE(Decode(MakeIco({{16, 16, 32, noMask}}), out));
    EXPECT_TRUE(SamePixels(out, colour));

    // PNG entry on its own.
    if (PngDecodingWorks()) {
        const RgbImage png = RandomImage(20, 10, 8);
        ASSERT_TRUE(Decode(MakeIco({{20, 10, 32, test::WritePngWithLibpng(png)}}), out));
        EXPECT_TRUE(SamePixels(out, png));
    }
}

TEST(IcoDecode, EqualSizesGoToTheDeepestColour) {
    const PaletteIcon shallow = Dib8(32, 32);
    const RgbImage deep = RandomImage(32, 32, 9);
    RgbImage out;
    ASSERT_TRUE(Decode(MakeIco({{32, 32, 8, shallow.dib}, {32, 32, 32, Dib32(deep)}}), out));
    EXPECT_TRUE(SamePixels(out, deep));
    ASSERT_TRUE(Decode(MakeIco({{32, 32, 32, Dib32(deep)}, {32, 32, 8, shallow.dib}}), out));
    EXPECT_TRUE(SamePixels(out, deep));
    // Old icons leave the directory's bit count at 0; the entry's header tells.
    ASSERT_TRUE(Decode(MakeIco({{32, 32, 0, shallow.dib}, {32, 32, 0, Dib32(deep)}}), out));
    EXPECT_TRUE(SamePixels(out, deep));
}

TEST(IcoDecode, BrokenEntriesAreSkipped) {
    const PaletteIcon small = Dib8(16, 16);
    const RgbImage large = RandomImage(48, 48, 10);
    const std::vector<uint8_t> good = MakeIco({{16, 16, 8, small.dib}, {48, 48, 32, Dib32(large)}});
    const size_t largeEntry = kEntryField + kEntrySize;
    RgbImage out;
    ASSERT_TRUE(Decode(good, out));
    ASSERT_TRUE(SamePixels(out, large));

    // The largest entry's data starts past the end of the file.
    std::vector<uint8_t> bytes = good;
    Put32(bytes, largeEntry + 12, static_cast<uint32_t>(bytes.size() + 10));
    ASSERT_TRUE(Decode(bytes, out));
    EXPECT_TRUE(SamePixels(out, small.expected));
    Put32(bytes, largeEntry + 12, 0xFFFFFFF0u);
    ASSERT_TRUE(Decode(bytes, out));
    EXPECT_TRUE(SamePixels(out, small.expected));

    // Its size runs past the end (a file cut short).
    bytes = good;
    Put32(bytes, largeEntry + 8, 0xFFFFFFFFu);
    ASSERT_TRUE(Decode(bytes, out));
    EXPECT_TRUE(SamePixels(out, small.expected));

    // Its data is not a picture.
    bytes = good;
    const size_t largeData = bytes.size() - Dib32(large).size();
    bytes[largeData] = 0x77;  // header size
    ASSERT_TRUE(Decode(bytes, out));
    EXPECT_TRUE(SamePixels(out, small.expected));

    // No entry left.
    bytes = MakeIco({{48, 48, 32, Dib32(large)}});
    Put32(bytes, kEntryField + 12, static_cast<uint32_t>(bytes.size()));
    EXPECT_FALSE(Decode(bytes, out));
    // Colour rows cut short, with a directory that agrees.
    const size_t mask = 48 * 8;
    bytes = MakeIco({{48, 48, 32, Dib32(large)}});
    bytes.resize(bytes.size() - mask - 100);
    Put32(bytes, kEntryField + 8, static_cast<uint32_t>(bytes.size() - kEntryField - kEntrySize));
    EXPECT_FALSE(Decode(bytes, out));
    bytes.resize(bytes.size() + 100);  // all colour rows there: fine without the mask
    Put32(bytes, kEntryField + 8, static_cast<uint32_t>(bytes.size() - kEntryField - kEntrySize));
    EXPECT_TRUE(Decode(bytes, out));
}

TEST(IcoDecode, BadDirectoriesFail) {
    const std::vector<uint8_t> good = MakeIco({{16, 16, 32, Dib32(RandomImage(16, 16, 11))}});
    RgbImage out;
    ASSERT_TRUE(Decode(good, out));

    EXPECT_FALSE(Decode({}, out));
    EXPECT_FALSE(Decode({0, 0, 1, 0, 1}, out));
    std::vector<uint8_t> bytes = good;
    bytes[0] = 1;  // reserved
    EXPECT_FALSE(Decode(bytes, out));
    bytes = good;
    bytes[2] = 2;  // a cursor
    EXPECT_FALSE(Decode(bytes, out));
    bytes = good;
    bytes[4] = 0;  // no entries
    EXPECT_FALSE(Decode(bytes, out));
    // Three entries announced, but the file ends inside the second one.
    bytes = {0, 0, 1, 0, 3, 0};
    bytes.insert(bytes.end(), good.begin() + kEntryField, good.begin() + kEntryField + 20);
    EXPECT_FALSE(Decode(bytes, out));
    // A directory that claims more entries than the file holds.
    bytes = good;
    bytes[4] = 0xFF;
    bytes[5] = 0xFF;
    EXPECT_FALSE(Decode(bytes, out));
    // An entry whose height is 1: no picture row once the mask is taken off.
    bytes = good;
    Put32(bytes, kEntryField + kEntrySize + 8, 1);
    EXPECT_FALSE(Decode(bytes, out));
}

TEST(IcoDecode, DamagedIconsNeverCrash) {
    const std::vector<uint8_t> icon = MakeIco({
        {8, 8, 8, Dib8(8, 8).dib},
        {12, 12, 32, Dib32(RandomImage(12, 12, 12))},
        {10, 10, 32, test::WritePngWithLibpng(RandomImage(10, 10, 13))},
    });
    for (size_t length = 0; length <= icon.size(); ++length) {
        RgbImage out;
        const std::vector<uint8_t> cut(icon.begin(), icon.begin() + length);
        if (Decode(cut, out)) {
            EXPECT_TRUE(out.Width() > 0 && out.Height() > 0);
        }
    }
    std::mt19937 rng(99);
    for (int round = 0; round < 500; ++round) {
        std::vector<uint8_t> bad = icon;
        for (int i = 0; i < 4; ++i) {
            // Mostly the directory and the headers, where the sizes live.
            const size_t at = (round % 2 ? rng() % 128 : rng()) % bad.size();
            bad[at] = static_cast<uint8_t>(rng());
        }
        RgbImage out;
        if (Decode(bad, out)) {
            EXPECT_TRUE(out.Width() > 0 && out.Height() > 0);
        }
    }
}

TEST(IcoLoad, LoadsByContentAndKeepsTheDestinationOnFailure) {
    TempDir dir;
    const RgbImage picture = RandomImage(24, 24, 14);
    const std::vector<uint8_t> icon = MakeIco({{24, 24, 32, Dib32(picture)}});
    for (const char* name : {"app.ico", "app-named.bmp", "app-named.jpg"}) {
        WriteBytes(dir.File(name), icon);
        RgbImage loaded;
        ASSERT_TRUE(LoadImageFile(loaded, dir.File(name))) << name;
        EXPECT_TRUE(SamePixels(loaded, picture)) << name;
    }

    WriteBytes(dir.File("cut.ico"), std::vector<uint8_t>(icon.begin(), icon.begin() + 30));
    RgbImage destination = RandomImage(3, 4, 15);
    const RgbImage before = destination;
    EXPECT_FALSE(LoadImageFile(destination, dir.File("cut.ico")));
    EXPECT_TRUE(SamePixels(destination, before));
}

}  // namespace
}  // namespace nocturo
