#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <thread>

#include "core/codecs/codecs.h"
#include "core/image_file.h"
#include "tests/support/dng_writer.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using test::TempDir;

bool HaveDcrawEmu() {
    return std::system("command -v dcraw_emu >/dev/null 2>&1") == 0;
}

// dcraw_emu's picture of a file, as BGR at the depth of its output; empty
// when it fails.
RgbImage DcrawEmu(const std::string& file, const std::string& options) {
    const std::string out = file + ".ppm";
    RgbImage picture;
    const std::string command =
        "dcraw_emu " + options + " -Z '" + out + "' '" + file + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        return picture;
    }
    const std::vector<uint8_t> ppm = test::ReadBytes(out);
    std::istringstream header(
        std::string(ppm.begin(), ppm.begin() + std::min<size_t>(ppm.size(), 64)));
    std::string magic;
    int width = 0, height = 0, top = 0;
    header >> magic >> width >> height >> top;
    const size_t start = static_cast<size_t>(header.tellg()) + 1;  // one whitespace
    const int depth = top > 255 ? 16 : 8;
    if (magic != "P6" || !picture.Resize(width, height, depth) ||
        ppm.size() < start + picture.Bytes()) {
        return RgbImage();
    }
    const uint8_t* p = ppm.data() + start;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c, p += depth / 8) {
                // PPM stores R, G, B, 16-bit samples big-endian.
                if (depth == 16) {
                    picture.Row16(y)[x * 3 + 2 - c] = static_cast<uint16_t>(p[0] << 8 | p[1]);
                } else {
                    picture.Row(y)[x * 3 + 2 - c] = p[0];
                }
            }
        }
    }
    return picture;
}

test::DngFrame Sky(int orientation = 1) {
    test::DngFrame frame = test::NightSkyFrame(64, 48, 7, 0);
    frame.orientation = orientation;
    return frame;
}

TEST(RawFrames, DevelopExactlyAsDcrawEmu) {
    if (!HaveDcrawEmu()) {
        GTEST_SKIP() << "dcraw_emu (Debian's libraw-bin) is not installed";
    }
    TempDir dir;
    // Orientation 6 is a camera held upright: the frame keeps its stored
    // shape, which dcraw_emu gives with -t 0.
    const struct {
        int orientation, depth;
        const char* options;
    } cases[] = {
        {1, 8, "-w -W"},          {1, 16, "-w -W -6"},  {6, 8, "-w -W -t 0"},
        {6, 16, "-w -W -6 -t 0"}, {3, 8, "-w -W -t 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.options) + " orientation " + std::to_string(c.orientation));
        const std::string name = dir.File("sky" + std::to_string(c.orientation) + ".dng");
        test::WriteBytes(name, test::WriteDng(Sky(c.orientation)));
        const RgbImage expected = DcrawEmu(name, c.options);
        ASSERT_EQ(expected.Width(), 64);
        RgbImage frame;
        int format = 0;
        ASSERT_TRUE(LoadImageFile(frame, name, LoadOptions{c.depth}, &format));
        EXPECT_EQ(format, ProcessingFormat(c.depth));
        EXPECT_TRUE(test::SamePixels(frame, expected));
    }
    // Without -t 0 dcraw_emu turns the upright frame; the program does not.
    const RgbImage turned = DcrawEmu(dir.File("sky6.dng"), "-w -W");
    EXPECT_EQ(turned.Width(), 48);
}

// What a load of a named file must give: a picture, or a failure that
// leaves the destination as it was.
struct Routed {
    const char* name;
    std::vector<uint8_t> bytes;
    RgbImage expected;  // empty: the load fails
};

TEST(RawFrames, ContentAndNameDecideTheDecoder) {
    TempDir dir;
    const std::vector<uint8_t> dng = test::WriteDng(Sky());
    RgbImage developed;
    ASSERT_EQ(codecs::DecodeRawFile(dng.data(), dng.size(), developed, 8),
              codecs::RawResult::kDecoded);
    ASSERT_EQ(developed.Width(), 64);
    const RgbImage picture = test::RandomImage(20, 10, 5);
    std::vector<uint8_t> tiff, jpeg;
    ASSERT_TRUE(codecs::EncodeTiff(picture, tiff));
    ASSERT_TRUE(codecs::EncodeJpeg(picture, 90, jpeg));
    RgbImage fromJpeg;
    ASSERT_TRUE(codecs::DecodeJpeg(jpeg.data(), jpeg.size(), fromJpeg));
    test::DngFrame withPreview = Sky();
    withPreview.previewWidth = 32;
    withPreview.previewHeight = 24;
    withPreview.previewRgb.assign(32 * 24 * 3, 200);
    const std::vector<uint8_t> cut(dng.begin(),
                                   dng.begin() + static_cast<long>(dng.size() * 6 / 10));
    const std::vector<uint8_t> junk(5000, 0x5A);

    const Routed cases[] = {
        {"a.dng", dng, developed},
        {"a.tif", dng, developed},  // a DNG under another name is still one
        {"b.nef", tiff, picture},   // a plain TIFF named like a RAW file
        {"c.nef", jpeg, fromJpeg},
        {"p.dng", test::WriteDng(withPreview), developed},  // the frame, not its preview
        {"d.cr3", junk, RgbImage()},
        {"e.dng", cut, RgbImage()},
    };
    for (const Routed& c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteBytes(dir.File(c.name), c.bytes);
        RgbImage image = test::RandomImage(3, 3, 1);
        const RgbImage before = image;
        const bool loaded = LoadImageFile(image, dir.File(c.name));
        EXPECT_EQ(loaded, c.expected.Width() > 0);
        EXPECT_TRUE(test::SamePixels(image, loaded ? c.expected : before));
    }
    // LibRaw tells a damaged RAW file from one that is no RAW file.
    RgbImage out;
    EXPECT_EQ(codecs::DecodeRawFile(cut.data(), cut.size(), out, 16), codecs::RawResult::kFailed);
    EXPECT_EQ(codecs::DecodeRawFile(tiff.data(), tiff.size(), out, 8), codecs::RawResult::kNotRaw);
    EXPECT_EQ(codecs::DecodeRawFile(jpeg.data(), jpeg.size(), out, 8), codecs::RawResult::kNotRaw);
    EXPECT_TRUE(codecs::TiffHoldsRaw(dng.data(), dng.size()));
    EXPECT_FALSE(codecs::TiffHoldsRaw(tiff.data(), tiff.size()));
}

TEST(RawFrames, NamesWithRawExtensionsLoadWhole) {
    for (const char* name : {"a.NEF", "b.cr2", "c.Cr3", "d.dng", "e.ARW", "f.raf", "g.orf", "h.rw2",
                             "i.pef", "j.x3f", "k.3fr"}) {
        EXPECT_TRUE(IsLoadableName(name)) << name;
        EXPECT_TRUE(IsRawName(name)) << name;
    }
    // Prefixes of RAW extensions do not make other files pictures.
    for (const char* name :
         {"main.c", "notes.m", "x.NE", "y.d", "z.cr", "a.s", "b.dn", "dump.raw"}) {
        EXPECT_FALSE(IsLoadableName(name)) << name;
    }
    EXPECT_FALSE(IsRawName("a.jpg"));
    EXPECT_FALSE(IsRawName("a."));
}

TEST(RawFrames, PreviewIsTheEmbeddedPictureOrAHalfSizeDevelopment) {
    TempDir dir;
    test::DngFrame frame = Sky();
    frame.previewWidth = 32;
    frame.previewHeight = 24;
    for (int i = 0; i < 32 * 24; ++i) {
        frame.previewRgb.insert(frame.previewRgb.end(), {static_cast<uint8_t>(i), 10, 250});
    }
    test::WriteBytes(dir.File("preview.dng"), test::WriteDng(frame));
    RgbImage preview;
    int width = 0, height = 0;
    ASSERT_TRUE(LoadRawPreview(preview, dir.File("preview.dng"), width, height));
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    ASSERT_EQ(preview.Width(), 32);
    EXPECT_EQ(test::PixelAt(preview, 5, 1), (std::vector<uint8_t>{250, 10, 37}));

    // Without a preview, or with one too small to show, a half-size
    // development.
    test::WriteBytes(dir.File("plain.dng"), test::WriteDng(Sky()));
    frame.previewWidth = 8;
    frame.previewHeight = 6;
    frame.previewRgb.resize(8 * 6 * 3);
    test::WriteBytes(dir.File("small.dng"), test::WriteDng(frame));
    const RgbImage half = HaveDcrawEmu() ? DcrawEmu(dir.File("plain.dng"), "-w -W -h") : RgbImage();
    for (const char* name : {"plain.dng", "small.dng"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(LoadRawPreview(preview, dir.File(name), width, height));
        EXPECT_EQ(preview.Width(), 32);
        EXPECT_EQ(width, 64);
        if (half.Width() > 0) {
            EXPECT_TRUE(test::SamePixels(preview, half));
        }
    }
    // Other pictures have no RAW preview: the view loads them whole.
    std::string png = dir.File("x.png");
    ASSERT_TRUE(SaveImageFile(test::RandomImage(4, 4, 2), png));
    EXPECT_FALSE(LoadRawPreview(preview, png, width, height));
    EXPECT_FALSE(LoadRawPreview(preview, dir.File("missing.dng"), width, height));
}

TEST(RawFrames, MeasuringTakesTheHalfSizeDevelopment) {
    TempDir dir;
    test::DngFrame frame = Sky();
    frame.previewWidth = 32;  // the preview is never measured
    frame.previewHeight = 24;
    frame.previewRgb.assign(32 * 24 * 3, 255);
    const std::vector<uint8_t> dng = test::WriteDng(frame);
    test::WriteBytes(dir.File("sky.dng"), dng);
    test::WriteBytes(
        dir.File("cut.dng"),
        std::vector<uint8_t>(dng.begin(), dng.begin() + static_cast<long>(dng.size() * 6 / 10)));
    RgbImage half;
    int width = 0, height = 0;
    ASSERT_EQ(codecs::DecodeRawHalfSize(dng.data(), dng.size(), half, width, height),
              codecs::RawResult::kDecoded);
    RgbImage reduced;
    ASSERT_TRUE(LoadImageFileReduced(reduced, dir.File("sky.dng"), 8, width, height));
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    EXPECT_EQ(reduced.Width(), 32);
    EXPECT_TRUE(test::SamePixels(reduced, half));
    EXPECT_FALSE(LoadImageFileReduced(reduced, dir.File("cut.dng"), 8, width, height));
    // A plain TIFF named like a RAW file is measured whole.
    std::vector<uint8_t> tiff;
    ASSERT_TRUE(codecs::EncodeTiff(test::RandomImage(20, 10, 5), tiff));
    test::WriteBytes(dir.File("plain.nef"), tiff);
    ASSERT_TRUE(LoadImageFileReduced(reduced, dir.File("plain.nef"), 8, width, height));
    EXPECT_EQ(reduced.Width(), 20);
}

TEST(RawFrames, DecodeThreadsAreHeldPerThreadAndGivenBack) {
    const int before = codecs::RawDevelopThreads();
    {
        const RawDecodeThreads one(1);
        EXPECT_EQ(codecs::RawDevelopThreads(), 1);
        int other = 0;
        std::thread([&] { other = codecs::RawDevelopThreads(); }).join();
        EXPECT_EQ(other, before);  // another thread keeps its cores
    }
    EXPECT_EQ(codecs::RawDevelopThreads(), before);
}

TEST(RawFrames, FilterPatternsNameEveryRawExtension) {
    std::string patterns;
    std::string_view rest = kRawExtensions.substr(1);
    while (!rest.empty()) {
        const size_t dot = rest.find('.');
        patterns += (patterns.empty() ? "*." : ";*.") + std::string(rest.substr(0, dot));
        rest.remove_prefix(dot + 1);
    }
    EXPECT_EQ(patterns, NOCTURO_RAW_PATTERNS);
}

}  // namespace
}  // namespace nocturo
