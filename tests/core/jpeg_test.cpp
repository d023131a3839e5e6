#include <gtest/gtest.h>
#include <turbojpeg.h>

// jpeglib.h needs size_t and FILE declared before it.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <jpeglib.h>

#include "core/codecs/codecs.h"
#include "core/codecs/jpeg_bands.h"
#include "core/image_file.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using codecs::DecodeJpeg;
using codecs::DecodeJpegDc;
using codecs::DecodeJpegScaled;
using codecs::EncodeJpeg;
using test::GradientImage;
using test::MaxChannelDifference;
using test::PixelAt;
using test::RandomImage;
using test::SamePixels;
using test::SolidImage;

// ---- Making JPEG files ------------------------------------------------------

std::vector<uint8_t> EncodeOrDie(const RgbImage& image, int quality = 100) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(EncodeJpeg(image, quality, bytes));
    return bytes;
}

// TurboJPEG with a chosen chroma sampling, as cameras write them.
std::vector<uint8_t> TurboEncode(const RgbImage& image, int sampling, int quality = 95) {
    tjhandle tj = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int status =
        tjCompress2(tj, image.Row(0), image.Width(), static_cast<int>(image.Stride()),
                    image.Height(), TJPF_BGR, &buffer, &size, sampling, quality, 0);
    EXPECT_EQ(status, 0) << tjGetErrorStr2(tj);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    tjFree(buffer);
    tjDestroy(tj);
    return bytes;
}

struct LibjpegOptions {
    J_COLOR_SPACE input = JCS_EXT_BGR;
    int inputComponents = 3;
    J_COLOR_SPACE stored = JCS_YCbCr;
    bool progressive = false;
    bool arithmetic = false;
    bool adobeMarker = true;                        // libjpeg's own choice for CMYK and YCCK
    int sampling[3][2] = {{0, 0}, {0, 0}, {0, 0}};  // {h, v} per component; 0 keeps the default
    int quality = 95;
    int restartInterval = 0;  // in MCUs
    bool optimise = false;    // Huffman tables made for the picture
};

// The libjpeg API, for what TurboJPEG does not write: CMYK, arithmetic
// coding, unusual samplings.
std::vector<uint8_t> LibjpegEncode(const uint8_t* pixels, int width, int height,
                                   const LibjpegOptions& options) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = options.inputComponents;
    cinfo.in_color_space = options.input;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, options.stored);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    cinfo.write_Adobe_marker = options.adobeMarker ? TRUE : FALSE;
    cinfo.arith_code = options.arithmetic ? TRUE : FALSE;
    cinfo.restart_interval = static_cast<unsigned>(options.restartInterval);
    cinfo.optimize_coding = options.optimise ? TRUE : FALSE;
    for (int c = 0; c < 3 && c < cinfo.num_components; ++c) {
        if (options.sampling[c][0] != 0) {
            cinfo.comp_info[c].h_samp_factor = options.sampling[c][0];
            cinfo.comp_info[c].v_samp_factor = options.sampling[c][1];
        }
    }
    if (options.progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = static_cast<size_t>(width) * options.inputComponents;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(pixels + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

std::vector<uint8_t> LibjpegEncode(const RgbImage& image, const LibjpegOptions& options) {
    return LibjpegEncode(image.Row(0), image.Width(), image.Height(), options);
}

// ---- Reading the marker structure ------------------------------------------

struct Segment {
    uint8_t marker;
    size_t offset;  // of the 0xFF
    size_t length;  // whole segment, marker included (for SOS: up to the next marker)
};

std::vector<Segment> Segments(const std::vector<uint8_t>& bytes) {
    std::vector<Segment> out;
    size_t p = 2;
    while (p + 4 <= bytes.size() && bytes[p] == 0xFF) {
        const uint8_t marker = bytes[p + 1];
        if (marker == 0xD9) {
            out.push_back({marker, p, 2});
            break;
        }
        size_t end = p + 2 + (size_t{bytes[p + 2]} << 8 | bytes[p + 3]);
        if (marker == 0xDA) {  // entropy data runs to the next real marker
            while (end + 1 < bytes.size() && !(bytes[end] == 0xFF && bytes[end + 1] != 0 &&
                                               (bytes[end + 1] < 0xD0 || bytes[end + 1] > 0xD7))) {
                ++end;
            }
        }
        out.push_back({marker, p, end - p});
        p = end;
    }
    return out;
}

const Segment* FindSof(const std::vector<Segment>& segments) {
    for (const Segment& s : segments) {
        if (s.marker >= 0xC0 && s.marker <= 0xCF && s.marker != 0xC4 && s.marker != 0xC8 &&
            s.marker != 0xCC) {
            return &s;
        }
    }
    return nullptr;
}

// Overwrites the frame size in the SOF segment, leaving the data as it is.
std::vector<uint8_t> WithDeclaredSize(std::vector<uint8_t> bytes, int width, int height) {
    const std::vector<Segment> segments = Segments(bytes);
    const Segment* sof = FindSof(segments);
    EXPECT_NE(sof, nullptr);
    if (sof != nullptr) {
        const size_t p = sof->offset + 5;
        bytes[p] = static_cast<uint8_t>(height >> 8);
        bytes[p + 1] = static_cast<uint8_t>(height);
        bytes[p + 2] = static_cast<uint8_t>(width >> 8);
        bytes[p + 3] = static_cast<uint8_t>(width);
    }
    return bytes;
}

// Repeats the first scan of a progressive file, as a crafted file would. The
// first scan sets every DC value afresh, so the copies change no pixel.
std::vector<uint8_t> WithRepeatedFirstScan(const std::vector<uint8_t>& bytes, int copies) {
    const std::vector<Segment> segments = Segments(bytes);
    const Segment* last = nullptr;
    for (const Segment& s : segments) {
        if (s.marker == 0xDA) {
            last = &s;
            break;
        }
    }
    EXPECT_NE(last, nullptr);
    if (last == nullptr) {
        return bytes;
    }
    const size_t end = last->offset + last->length;
    std::vector<uint8_t> out(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(end));
    for (int i = 0; i < copies; ++i) {
        out.insert(out.end(), bytes.begin() + static_cast<ptrdiff_t>(last->offset),
                   bytes.begin() + static_cast<ptrdiff_t>(end));
    }
    out.insert(out.end(), bytes.begin() + static_cast<ptrdiff_t>(end), bytes.end());
    return out;
}

bool Near(const std::vector<uint8_t>& bgr, int blue, int green, int red, int tolerance) {
    return std::abs(bgr[0] - blue) <= tolerance && std::abs(bgr[1] - green) <= tolerance &&
           std::abs(bgr[2] - red) <= tolerance;
}

// ---- Encoding ---------------------------------------------------------------

TEST(JpegEncode, QualityHundredIsFullResolutionColourAndReadsBackClosely) {
    for (const auto& [w, h] : {std::pair{1, 1}, {67, 45}, {16, 8}, {300, 7}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const RgbImage original = GradientImage(w, h);
        const std::vector<uint8_t> bytes = EncodeOrDie(original);

        const std::vector<Segment> segments = Segments(bytes);
        const Segment* sof = FindSof(segments);
        ASSERT_NE(sof, nullptr);
        EXPECT_EQ(sof->marker, 0xC0);  // baseline, readable everywhere
        const uint8_t* frame = bytes.data() + sof->offset + 4;
        ASSERT_EQ(frame[5], 3);  // components
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(frame[6 + 3 * c + 1], 0x11) << "component " << c << " is subsampled";
        }

        RgbImage decoded;
        ASSERT_TRUE(DecodeJpeg(bytes.data(), bytes.size(), decoded));
        EXPECT_LE(MaxChannelDifference(original, decoded), 3);
    }
}

TEST(JpegEncode, ThinColouredTrailKeepsItsColour) {
    // One-pixel trails on a black sky: chroma subsampling would smear them
    // into their dark neighbours.
    RgbImage sky = SolidImage(64, 64, 0, 0, 0);
    for (int i = 0; i < 64; ++i) {
        test::SetPixel(sky, i, i, 0, 40, 255);    // orange-red diagonal
        test::SetPixel(sky, i, 40, 255, 60, 20);  // blue horizontal
    }
    const std::vector<uint8_t> bytes = EncodeOrDie(sky);
    RgbImage decoded;
    ASSERT_TRUE(DecodeJpeg(bytes.data(), bytes.size(), decoded));
    EXPECT_TRUE(Near(PixelAt(decoded, 20, 20), 0, 40, 255, 12));
    EXPECT_TRUE(Near(PixelAt(decoded, 10, 40), 255, 60, 20, 12));

    // The same picture at 4:2:0 loses most of the trail's colour, which is
    // what the check above guards against.
    const std::vector<uint8_t> subsampled = TurboEncode(sky, TJSAMP_420, 100);
    RgbImage blurred;
    ASSERT_TRUE(DecodeJpeg(subsampled.data(), subsampled.size(), blurred));
    EXPECT_FALSE(Near(PixelAt(blurred, 20, 20), 0, 40, 255, 12));
}

TEST(JpegEncode, AppendsToTheBufferAndClampsQuality) {
    const RgbImage image = GradientImage(20, 10);
    std::vector<uint8_t> out = {1, 2, 3};
    ASSERT_TRUE(EncodeJpeg(image, 100, out));
    ASSERT_GT(out.size(), 3u);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[2], 3);
    RgbImage decoded;
    EXPECT_TRUE(DecodeJpeg(out.data() + 3, out.size() - 3, decoded));

    for (int quality : {-5, 0, 1, 101, 1000}) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(EncodeJpeg(image, quality, bytes)) << quality;
        EXPECT_TRUE(DecodeJpeg(bytes.data(), bytes.size(), decoded)) << quality;
    }

    std::vector<uint8_t> untouched = {9};
    EXPECT_FALSE(EncodeJpeg(RgbImage(), 100, untouched));
    EXPECT_EQ(untouched, std::vector<uint8_t>{9});
}

// ---- Decoding what cameras and editors write --------------------------------

TEST(JpegDecode, SamplingsCodingsAndGreyscale) {
    const RgbImage original = GradientImage(61, 37);  // partial MCUs on both edges
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int tolerance;
    };
    LibjpegOptions progressive;
    progressive.progressive = true;
    LibjpegOptions arithmetic;
    arithmetic.arithmetic = true;
    LibjpegOptions both = progressive;
    both.arithmetic = true;
    // Y 2x2, Cb 2x1, Cr 1x2: legal, but no TurboJPEG sampling name fits it.
    LibjpegOptions unusual;
    unusual.sampling[0][0] = 2;
    unusual.sampling[0][1] = 2;
    unusual.sampling[1][0] = 2;
    unusual.sampling[1][1] = 1;
    unusual.sampling[2][0] = 1;
    unusual.sampling[2][1] = 2;
    const Case cases[] = {
        {"4:4:4", TurboEncode(original, TJSAMP_444), 6},
        {"4:2:2", TurboEncode(original, TJSAMP_422), 10},
        {"4:2:0", TurboEncode(original, TJSAMP_420), 10},
        {"4:4:0", TurboEncode(original, TJSAMP_440), 10},
        {"progressive", LibjpegEncode(original, progressive), 10},
        {"arithmetic", LibjpegEncode(original, arithmetic), 10},
        {"progressive arithmetic", LibjpegEncode(original, both), 10},
        {"unusual sampling", LibjpegEncode(original, unusual), 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RgbImage decoded;
        ASSERT_TRUE(DecodeJpeg(c.bytes.data(), c.bytes.size(), decoded));
        EXPECT_EQ(decoded.Width(), 61);
        EXPECT_EQ(decoded.Height(), 37);
        EXPECT_LE(MaxChannelDifference(original, decoded), c.tolerance);
    }

    // Greyscale files come out with three equal channels.
    const std::vector<uint8_t> grey = TurboEncode(original, TJSAMP_GRAY);
    RgbImage decoded;
    ASSERT_TRUE(DecodeJpeg(grey.data(), grey.size(), decoded));
    ASSERT_TRUE(decoded.SameSize(original));
    int worst = 0;
    for (int y = 0; y < decoded.Height(); ++y) {
        for (int x = 0; x < decoded.Width(); ++x) {
            const std::vector<uint8_t> p = PixelAt(decoded, x, y);
            const std::vector<uint8_t> o = PixelAt(original, x, y);
            ASSERT_EQ(p[0], p[1]);
            ASSERT_EQ(p[1], p[2]);
            const int luma = (29 * o[0] + 150 * o[1] + 77 * o[2] + 128) >> 8;
            worst = std::max(worst, std::abs(p[0] - luma));
        }
    }
    EXPECT_LE(worst, 6);
}

TEST(JpegDecode, CmykAndYcckBecomeRgb) {
    // Left half red, right half mid grey made from black ink alone; ink
    // amounts are C, M, Y, K with 255 = full ink.
    const int w = 32, h = 16;
    auto inks = [&](bool inverted) {
        std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t* p = &pixels[(static_cast<size_t>(y) * w + x) * 4];
                const uint8_t ink[4] = {0, static_cast<uint8_t>(x < 16 ? 255 : 0),
                                        static_cast<uint8_t>(x < 16 ? 255 : 0),
                                        static_cast<uint8_t>(x < 16 ? 0 : 128)};
                for (int c = 0; c < 4; ++c) {
                    p[c] = inverted ? static_cast<uint8_t>(255 - ink[c]) : ink[c];
                }
            }
        }
        return pixels;
    };
    LibjpegOptions adobe;  // what Photoshop writes: Adobe marker, inverted inks
    adobe.input = JCS_CMYK;
    adobe.inputComponents = 4;
    adobe.stored = JCS_CMYK;
    LibjpegOptions ycck = adobe;
    ycck.stored = JCS_YCCK;
    LibjpegOptions plain = adobe;  // no Adobe marker: inks stored as they are
    plain.adobeMarker = false;
    LibjpegOptions progressive = adobe;
    progressive.progressive = true;

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"Adobe CMYK", LibjpegEncode(inks(true).data(), w, h, adobe)},
        {"YCCK", LibjpegEncode(inks(true).data(), w, h, ycck)},
        {"plain CMYK", LibjpegEncode(inks(false).data(), w, h, plain)},
        {"progressive CMYK", LibjpegEncode(inks(true).data(), w, h, progressive)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RgbImage decoded;
        ASSERT_TRUE(DecodeJpeg(c.bytes.data(), c.bytes.size(), decoded));
        ASSERT_EQ(decoded.Width(), w);
        ASSERT_EQ(decoded.Height(), h);
        EXPECT_TRUE(Near(PixelAt(decoded, 4, 8), 0, 0, 255, 8));
        EXPECT_TRUE(Near(PixelAt(decoded, 27, 8), 127, 127, 127, 8));
    }
}

// Data that ends before the last row, or entropy data the decoder cannot
// follow, would come out with grey blocks: such a file is not a picture.
// Warnings that cost no pixel (extra bytes before a marker, a missing end
// marker after complete data) still load, as cameras and editors write them.
TEST(JpegDecode, DamagedDataFailsAndHarmlessOddsLoad) {
    const RgbImage original = GradientImage(64, 48);
    std::vector<uint8_t> inks(64 * 48 * 4);
    for (size_t i = 0; i < inks.size(); ++i) {
        inks[i] = static_cast<uint8_t>(i * 13 / 7);
    }
    LibjpegOptions progressive;
    progressive.progressive = true;
    LibjpegOptions cmyk;
    cmyk.input = JCS_CMYK;
    cmyk.inputComponents = 4;
    cmyk.stored = JCS_CMYK;
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } sources[] = {
        {"baseline", TurboEncode(original, TJSAMP_420, 90)},
        {"progressive", LibjpegEncode(original, progressive)},
        {"CMYK", LibjpegEncode(inks.data(), 64, 48, cmyk)},  // decoded through libjpeg
    };

    // Where the first scan's entropy data lies, and where the end marker is.
    auto firstScan = [](const std::vector<uint8_t>& bytes) {
        for (const Segment& s : Segments(bytes)) {
            if (s.marker == 0xDA) {
                return s;
            }
        }
        ADD_FAILURE() << "no scan";
        return Segment{};
    };
    using Change = std::function<std::vector<uint8_t>(std::vector<uint8_t>)>;
    const struct {
        const char* name;
        bool loads;
        Change change;
    } cases[] = {
        {"cut at 60 %", false,
         [](std::vector<uint8_t> b) {
             b.resize(b.size() * 6 / 10);
             return b;
         }},
        {"cut after the first scan's header", false,
         [&](std::vector<uint8_t> b) {
             const Segment sos = firstScan(b);
             b.resize(sos.offset + 2 + (size_t{b[sos.offset + 2]} << 8 | b[sos.offset + 3]) + 4);
             return b;
         }},
        {"second half of the entropy data lost, end marker kept", false,
         [&](std::vector<uint8_t> b) {
             const Segment sos = firstScan(b);
             b.erase(b.begin() + static_cast<ptrdiff_t>(sos.offset + sos.length / 2),
                     b.begin() + static_cast<ptrdiff_t>(sos.offset + sos.length));
             return b;
         }},
        {"marker in the middle of the entropy data", false,
         [&](std::vector<uint8_t> b) {
             const Segment sos = firstScan(b);
             const size_t at = sos.offset + sos.length / 2;
             b[at] = 0xFF;
             b[at + 1] = 0xD0;  // a restart marker nobody asked for
             return b;
         }},
        {"extra bytes before the end marker", true,
         [](std::vector<uint8_t> b) {
             b.insert(b.end() - 2, {0x12, 0x34, 0x56});
             return b;
         }},
        {"extra bytes before the first scan's marker", true,
         [&](std::vector<uint8_t> b) {
             const Segment sos = firstScan(b);
             b.insert(b.begin() + static_cast<ptrdiff_t>(sos.offset), {0x00, 0x42, 0x17});
             return b;
         }},
        {"end marker missing", true,
         [](std::vector<uint8_t> b) {
             b.resize(b.size() - 2);
             return b;
         }},
    };

    testing::internal::CaptureStderr();
    for (const auto& source : sources) {
        RgbImage intact;
        ASSERT_TRUE(DecodeJpeg(source.bytes.data(), source.bytes.size(), intact)) << source.name;
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(source.name) + ", " + c.name);
            const std::vector<uint8_t> bytes = c.change(source.bytes);
            RgbImage decoded;
            ASSERT_EQ(DecodeJpeg(bytes.data(), bytes.size(), decoded), c.loads);
            if (c.loads) {
                EXPECT_TRUE(SamePixels(intact, decoded));
            }
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// A file cut anywhere past its headers has lost pixels, however it is
// coded: progressive files cut between or inside later scans, and
// arithmetic-coded files, which libjpeg decodes past the end without a
// word. Only the end marker may be missing, and for arithmetic coding not
// even that: nothing tells such a file from one cut a byte earlier.
TEST(JpegDecode, CutFilesFailWhateverTheirCoding) {
    const RgbImage sky = GradientImage(64, 48);
    LibjpegOptions progressive;
    progressive.progressive = true;
    LibjpegOptions arithmetic;
    arithmetic.arithmetic = true;
    LibjpegOptions both = progressive;
    both.arithmetic = true;
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        bool loadsWithoutEnd;
    } sources[] = {
        {"baseline", TurboEncode(sky, TJSAMP_420, 90), true},
        {"progressive", LibjpegEncode(sky, progressive), true},
        {"arithmetic", LibjpegEncode(sky, arithmetic), false},
        {"progressive arithmetic", LibjpegEncode(sky, both), false},
    };
    testing::internal::CaptureStderr();
    for (const auto& source : sources) {
        SCOPED_TRACE(source.name);
        const std::vector<Segment> segments = Segments(source.bytes);
        const auto scan = std::find_if(segments.begin(), segments.end(),
                                       [](const Segment& s) { return s.marker == 0xDA; });
        ASSERT_NE(scan, segments.end());
        RgbImage decoded;
        const size_t end = source.bytes.size() - 2;
        for (size_t cut = scan->offset; cut < end; cut += 1 + (cut % 3)) {
            ASSERT_FALSE(DecodeJpeg(source.bytes.data(), cut, decoded)) << "cut at " << cut;
        }
        EXPECT_EQ(DecodeJpeg(source.bytes.data(), end, decoded), source.loadsWithoutEnd);
        ASSERT_TRUE(DecodeJpeg(source.bytes.data(), source.bytes.size(), decoded));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Each file decodes as it would on its own, whatever was decoded before: a
// reserved marker after the scan is refused after a header that could not
// be read, a file without Huffman tables (as motion-JPEG frames come) takes
// the standard ones, and one that lacks a quantisation table fails.
TEST(JpegDecode, EachFileDecodesAsOnItsOwn) {
    const RgbImage sky = RandomImage(48, 32, 5);
    LibjpegOptions optimised;
    optimised.optimise = true;
    const std::vector<uint8_t> own = LibjpegEncode(sky, optimised);
    const std::vector<uint8_t> plain = TurboEncode(sky, TJSAMP_420, 90);
    // The file without the segments of a marker whose first byte is `first`
    // (any first byte when negative).
    auto without = [&](uint8_t marker, int first) {
        std::vector<uint8_t> bytes(plain.begin(), plain.begin() + 2);
        for (const Segment& s : Segments(plain)) {
            if (s.marker != marker || (first >= 0 && plain[s.offset + 4] != first)) {
                bytes.insert(bytes.end(), plain.begin() + static_cast<ptrdiff_t>(s.offset),
                             plain.begin() + static_cast<ptrdiff_t>(s.offset + s.length));
            }
        }
        bytes.insert(bytes.end(), {0xFF, 0xD9});
        return bytes;
    };
    const std::vector<uint8_t> noHuffman = without(0xC4, -1);
    const std::vector<uint8_t> noChromaQuantiser = without(0xDB, 1);
    const std::vector<uint8_t> jpg3 = {0xFF, 0xF3, 0x00, 0x04, 0x00, 0x00};
    std::vector<uint8_t> before = plain;
    before.insert(before.begin() + 2, jpg3.begin(), jpg3.end());
    std::vector<uint8_t> after = plain;
    after.insert(after.end() - 2, jpg3.begin(), jpg3.end());
    RgbImage expected, decoded;
    ASSERT_TRUE(DecodeJpeg(plain.data(), plain.size(), expected));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_FALSE(DecodeJpeg(before.data(), before.size(), decoded));
        EXPECT_FALSE(DecodeJpeg(after.data(), after.size(), decoded));
        ASSERT_TRUE(DecodeJpeg(plain.data(), plain.size(), decoded));
        EXPECT_FALSE(DecodeJpeg(noChromaQuantiser.data(), noChromaQuantiser.size(), decoded));
        ASSERT_TRUE(DecodeJpeg(own.data(), own.size(), decoded));
        ASSERT_TRUE(DecodeJpeg(noHuffman.data(), noHuffman.size(), decoded));
        EXPECT_TRUE(SamePixels(expected, decoded));
    }
}

// The EXIF orientation is not applied, as a TIFF's Orientation tag is not:
// every frame keeps its stored shape.
TEST(JpegDecode, ExifOrientationIsNotApplied) {
    const std::vector<uint8_t> plain = TurboEncode(GradientImage(32, 16), TJSAMP_444, 90);
    RgbImage expected;
    ASSERT_TRUE(DecodeJpeg(plain.data(), plain.size(), expected));
    for (const uint8_t orientation : {3, 6, 8}) {
        SCOPED_TRACE(int{orientation});
        // APP1 "Exif": a little-endian TIFF directory with one entry,
        // Orientation (0x0112), SHORT, 1 value.
        const std::vector<uint8_t> app1 = {
            0xFF, 0xE1, 0,    34,   'E', 'x', 'i', 'f', 0, 0, 'I',         'I', 42, 0, 8, 0, 0, 0,
            1,    0,    0x12, 0x01, 3,   0,   1,   0,   0, 0, orientation, 0,   0,  0, 0, 0, 0, 0};
        std::vector<uint8_t> tagged = plain;
        tagged.insert(tagged.begin() + 2, app1.begin(), app1.end());
        RgbImage decoded;
        ASSERT_TRUE(DecodeJpeg(tagged.data(), tagged.size(), decoded));
        EXPECT_TRUE(SamePixels(expected, decoded));
    }
}

// ---- Bad input ----------------------------------------------------------------

TEST(JpegDecode, RefusesSizesTheDataCannotHold) {
    const std::vector<uint8_t> small = EncodeOrDie(GradientImage(16, 16));
    RgbImage decoded;
    ASSERT_TRUE(DecodeJpeg(small.data(), small.size(), decoded));

    // Over the pixel limit, and within it but far beyond what a kilobyte
    // of data can describe.
    for (const auto& [w, h] : {std::pair{60000, 60000}, {20000, 20000}, {65535, 8000}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const std::vector<uint8_t> bomb = WithDeclaredSize(small, w, h);
        EXPECT_FALSE(DecodeJpeg(bomb.data(), bomb.size(), decoded));
    }

    // The same through the CMYK path.
    std::vector<uint8_t> inks(16 * 16 * 4, 200);
    LibjpegOptions cmyk;
    cmyk.input = JCS_CMYK;
    cmyk.inputComponents = 4;
    cmyk.stored = JCS_CMYK;
    const std::vector<uint8_t> cmykSmall = LibjpegEncode(inks.data(), 16, 16, cmyk);
    ASSERT_TRUE(DecodeJpeg(cmykSmall.data(), cmykSmall.size(), decoded));
    const std::vector<uint8_t> cmykBomb = WithDeclaredSize(cmykSmall, 20000, 20000);
    EXPECT_FALSE(DecodeJpeg(cmykBomb.data(), cmykBomb.size(), decoded));
}

TEST(JpegDecode, EndlessProgressiveScansAreRefused) {
    const RgbImage original = GradientImage(16, 16);
    LibjpegOptions progressive;
    progressive.progressive = true;
    const std::vector<uint8_t> bytes = LibjpegEncode(original, progressive);
    RgbImage decoded;
    // A few repeated scans are only odd; hundreds are an attack.
    const std::vector<uint8_t> odd = WithRepeatedFirstScan(bytes, 5);
    ASSERT_TRUE(DecodeJpeg(odd.data(), odd.size(), decoded));
    RgbImage intact;
    ASSERT_TRUE(DecodeJpeg(bytes.data(), bytes.size(), intact));
    EXPECT_TRUE(SamePixels(intact, decoded));
    const std::vector<uint8_t> endless = WithRepeatedFirstScan(bytes, 600);
    EXPECT_FALSE(DecodeJpeg(endless.data(), endless.size(), decoded));

    std::vector<uint8_t> inks(16 * 16 * 4, 100);
    LibjpegOptions cmyk;
    cmyk.input = JCS_CMYK;
    cmyk.inputComponents = 4;
    cmyk.stored = JCS_CMYK;
    cmyk.progressive = true;
    const std::vector<uint8_t> cmykBytes = LibjpegEncode(inks.data(), 16, 16, cmyk);
    const std::vector<uint8_t> cmykEndless = WithRepeatedFirstScan(cmykBytes, 600);
    EXPECT_TRUE(DecodeJpeg(cmykBytes.data(), cmykBytes.size(), decoded));
    EXPECT_FALSE(DecodeJpeg(cmykEndless.data(), cmykEndless.size(), decoded));
}

TEST(JpegDecode, DamagedFilesFailOrDecodeQuietly) {
    const std::vector<uint8_t> good = EncodeOrDie(GradientImage(48, 32), 90);
    testing::internal::CaptureStderr();
    RgbImage decoded;

    const std::vector<uint8_t> soiOnly = {0xFF, 0xD8, 0xFF};
    EXPECT_FALSE(DecodeJpeg(soiOnly.data(), soiOnly.size(), decoded));
    EXPECT_FALSE(DecodeJpeg(good.data(), 0, decoded));
    // Cut inside the headers: there is no picture yet.
    EXPECT_FALSE(DecodeJpeg(good.data(), 100, decoded));

    std::vector<uint8_t> garbage = {0xFF, 0xD8, 0xFF, 0xE0};
    for (int i = 0; i < 4000; ++i) {
        garbage.push_back(static_cast<uint8_t>((i * 7919) >> 3));
    }
    EXPECT_FALSE(DecodeJpeg(garbage.data(), garbage.size(), decoded));

    // Damaged entropy data: either outcome is fine as long as a success is
    // a whole picture.
    const Segment* sos = nullptr;
    const std::vector<Segment> segments = Segments(good);
    for (const Segment& s : segments) {
        if (s.marker == 0xDA) {
            sos = &s;
        }
    }
    ASSERT_NE(sos, nullptr);
    for (size_t at = sos->offset + 14; at + 16 < good.size(); at += 37) {
        std::vector<uint8_t> damaged = good;
        for (size_t i = 0; i < 8; ++i) {
            damaged[at + i] ^= 0x5A;
        }
        if (DecodeJpeg(damaged.data(), damaged.size(), decoded)) {
            EXPECT_EQ(decoded.Width(), 48);
            EXPECT_EQ(decoded.Height(), 32);
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(JpegDecode, SeveralThreadsAtOnce) {
    const std::vector<uint8_t> a = EncodeOrDie(GradientImage(120, 80), 90);
    const std::vector<uint8_t> b = TurboEncode(test::RandomImage(64, 96, 5), TJSAMP_420);
    RgbImage expectA, expectB;
    ASSERT_TRUE(DecodeJpeg(a.data(), a.size(), expectA));
    ASSERT_TRUE(DecodeJpeg(b.data(), b.size(), expectB));

    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            RgbImage image;
            for (int i = 0; i < 20; ++i) {
                const bool useA = (i + t) % 2 == 0;
                const std::vector<uint8_t>& bytes = useA ? a : b;
                if (!DecodeJpeg(bytes.data(), bytes.size(), image) ||
                    !test::SamePixels(image, useA ? expectA : expectB)) {
                    ++mismatches[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

// ---- Through the file functions --------------------------------------------

TEST(JpegFile, SavedJpegLoadsByContentAndBadFilesKeepTheDestination) {
    test::TempDir dir;
    const RgbImage original = GradientImage(40, 30);
    std::string name = dir.File("trail.jpeg");
    ASSERT_TRUE(SaveImageFile(original, name));

    // Content decides, not the name.
    std::vector<uint8_t> bytes = test::ReadBytes(name);
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    test::WriteBytes(dir.File("misnamed.png"), bytes);
    RgbImage loaded;
    ASSERT_TRUE(LoadImageFile(loaded, dir.File("misnamed.png")));
    EXPECT_LE(MaxChannelDifference(original, loaded), 3);

    bytes.resize(120);
    test::WriteBytes(dir.File("broken.jpg"), bytes);
    const RgbImage before = test::RandomImage(7, 5, 11);
    RgbImage destination = before;
    EXPECT_FALSE(LoadImageFile(destination, dir.File("broken.jpg")));
    EXPECT_TRUE(test::SamePixels(destination, before));
}

// ---- The 1/8-size scanner of measuring ------------------------------------

// TurboJPEG's own 1/8-scale decode, which the scanner stands in for.
RgbImage TurboEighth(const std::vector<uint8_t>& bytes) {
    tjhandle tj = tjInitDecompress();
    int width = 0, height = 0, sampling = 0, colourspace = 0;
    EXPECT_EQ(tjDecompressHeader3(tj, bytes.data(), bytes.size(), &width, &height, &sampling,
                                  &colourspace),
              0);
    RgbImage out;
    EXPECT_TRUE(out.Resize((width + 7) / 8, (height + 7) / 8));
    EXPECT_EQ(tjDecompress2(tj, bytes.data(), bytes.size(), out.Row(0), out.Width(),
                            static_cast<int>(out.Stride()), out.Height(), TJPF_BGR, 0),
              0);
    tjDestroy(tj);
    return out;
}

// A dark sky with coloured stars and noise: what measuring sees.
RgbImage Sky(int width, int height, uint32_t seed) {
    RgbImage image = RandomImage(width, height, seed);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = image.Row(y);
        for (int x = 0; x < width * 3; ++x) {
            p[x] = static_cast<uint8_t>(p[x] % 23 == 0 ? p[x] : p[x] / 12);
        }
    }
    return image;
}

TEST(JpegDc, GivesTheBlockMeansOfTheFullDecoder) {
    const RgbImage sky = Sky(203, 131, 7);  // sides not multiples of 16
    const RgbImage noise = RandomImage(96, 40, 8);
    std::vector<uint8_t> banded;
    ASSERT_TRUE(codecs::EncodeJpegBands(Sky(120, 260, 9), 100, 3, banded));
    LibjpegOptions restarts;
    restarts.restartInterval = 3;
    LibjpegOptions restartEach;
    restartEach.restartInterval = 1;
    restartEach.quality = 50;
    LibjpegOptions tall;  // 4:4:0
    tall.sampling[0][0] = 1;
    tall.sampling[0][1] = 2;
    tall.sampling[1][0] = tall.sampling[2][0] = 1;
    tall.sampling[1][1] = tall.sampling[2][1] = 1;
    LibjpegOptions wide = tall;  // Y 4x1: 4:1:1
    wide.sampling[0][0] = 4;
    wide.sampling[0][1] = 1;
    // Every sampling gives TurboJPEG's bytes: 1 x 1 inverse DCTs, chroma
    // that is subsampled both ways through the 2 x 2 one, the same colour
    // conversion.
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"4:4:4 q100", EncodeOrDie(sky)},
        {"4:4:4 q100 noise, long codes", EncodeOrDie(noise)},
        {"grey", TurboEncode(sky, TJSAMP_GRAY, 90)},
        {"restarts every 3 MCUs", LibjpegEncode(sky, restarts)},
        {"restarts every MCU, q50", LibjpegEncode(sky, restartEach)},
        {"banded encoder's restarts", banded},
        {"4:2:0", TurboEncode(sky, TJSAMP_420)},
        {"4:2:2", TurboEncode(sky, TJSAMP_422)},
        {"4:4:0", LibjpegEncode(sky, tall)},
        {"4:1:1", LibjpegEncode(sky, wide)},
        {"4:2:0 q100 noise", TurboEncode(noise, TJSAMP_420, 100)},
        {"4:2:0 q100 noise, 17 x 9", TurboEncode(RandomImage(17, 9, 3), TJSAMP_420, 100)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RgbImage out;
        int width = 0, height = 0;
        ASSERT_TRUE(DecodeJpegDc(c.bytes.data(), c.bytes.size(), out, width, height));
        const RgbImage turbo = TurboEighth(c.bytes);
        ASSERT_EQ(out.Width(), turbo.Width());
        ASSERT_EQ(out.Height(), turbo.Height());
        EXPECT_EQ((width + 7) / 8, turbo.Width());
        EXPECT_EQ((height + 7) / 8, turbo.Height());
        EXPECT_TRUE(SamePixels(out, turbo));
        // What measuring asks of it goes through DecodeJpegScaled.
        RgbImage scaled;
        int scaledWidth = 0, scaledHeight = 0;
        ASSERT_TRUE(
            DecodeJpegScaled(c.bytes.data(), c.bytes.size(), 8, scaled, scaledWidth, scaledHeight));
        EXPECT_TRUE(SamePixels(scaled, out));
        EXPECT_EQ(scaledWidth, width);
        EXPECT_EQ(scaledHeight, height);
    }
}

TEST(JpegDc, LeavesOtherFilesToTheFullDecoder) {
    const RgbImage sky = Sky(64, 48, 11);
    LibjpegOptions progressive;
    progressive.progressive = true;
    LibjpegOptions arithmetic;
    arithmetic.arithmetic = true;
    LibjpegOptions cmyk;
    cmyk.stored = JCS_CMYK;
    const std::vector<uint8_t> inks(size_t{64} * 48 * 4, 40);
    LibjpegOptions inkInput = cmyk;
    inkInput.input = JCS_CMYK;
    inkInput.inputComponents = 4;
    LibjpegOptions rgb;  // stored as RGB, marked by an Adobe segment
    rgb.stored = JCS_RGB;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"progressive", LibjpegEncode(sky, progressive)},
        {"arithmetic", LibjpegEncode(sky, arithmetic)},
        {"CMYK", LibjpegEncode(inks.data(), 64, 48, inkInput)},
        {"RGB", LibjpegEncode(sky, rgb)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RgbImage out;
        int width = 0, height = 0;
        EXPECT_FALSE(DecodeJpegDc(c.bytes.data(), c.bytes.size(), out, width, height));
        ASSERT_TRUE(DecodeJpegScaled(c.bytes.data(), c.bytes.size(), 8, out, width, height));
        EXPECT_EQ(width, 64);
        EXPECT_EQ(height, 48);
    }
}

// Files the full decoder refuses although their scan is whole: measuring
// refuses them too.
TEST(JpegDc, MeasuresNothingTheDecoderRefuses) {
    const std::vector<uint8_t> good = TurboEncode(Sky(64, 48, 17), TJSAMP_420, 90);
    const std::vector<Segment> segments = Segments(good);
    auto at = [&](uint8_t marker, uint8_t firstByte) {
        for (const Segment& s : segments) {
            if (s.marker == marker && good[s.offset + 4] == firstByte) {
                return s.offset;
            }
        }
        ADD_FAILURE() << "no such segment";
        return size_t{0};
    };
    // The luma DC table codes magnitudes 0 to 11; a smooth sky never uses
    // the last. libjpeg refuses any DC symbol above 15 all the same.
    std::vector<uint8_t> bigSymbol = good;
    const size_t dht = at(0xC4, 0x00);
    size_t symbols = 0;
    for (int i = 0; i < 16; ++i) {
        symbols += bigSymbol[dht + 5 + i];
    }
    bigSymbol[dht + 21 + symbols - 1] = 16;
    // A reserved JPGn marker before the frame, and one after the scan.
    const std::vector<uint8_t> jpg3 = {0xFF, 0xF3, 0x00, 0x04, 0x00, 0x00};
    std::vector<uint8_t> before = good;
    before.insert(before.begin() + static_cast<ptrdiff_t>(at(0xDB, 0x00)), jpg3.begin(),
                  jpg3.end());
    std::vector<uint8_t> after = good;
    after.insert(after.end() - 2, jpg3.begin(), jpg3.end());
    // A second frame header after the scan.
    std::vector<uint8_t> secondFrame = good;
    const size_t sof = FindSof(segments)->offset;
    secondFrame.insert(secondFrame.end() - 2, good.begin() + static_cast<ptrdiff_t>(sof),
                       good.begin() + static_cast<ptrdiff_t>(sof + 19));
    const struct {
        const char* name;
        const std::vector<uint8_t>& bytes;
    } cases[] = {
        {"DC symbol 16", bigSymbol},
        {"JPG3 before the frame", before},
        {"JPG3 after the scan", after},
        {"second frame after the scan", secondFrame},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RgbImage out;
        int width = 0, height = 0;
        ASSERT_FALSE(DecodeJpeg(c.bytes.data(), c.bytes.size(), out));
        EXPECT_FALSE(DecodeJpegDc(c.bytes.data(), c.bytes.size(), out, width, height));
        EXPECT_FALSE(DecodeJpegScaled(c.bytes.data(), c.bytes.size(), 8, out, width, height));
    }
}

TEST(JpegDc, DamagedDataMeasuresOnlyWhatLoads) {
    const RgbImage sky = Sky(160, 120, 13);
    LibjpegOptions restarts;
    restarts.restartInterval = 2;
    for (const std::vector<uint8_t>& good : {EncodeOrDie(sky), LibjpegEncode(sky, restarts)}) {
        const std::vector<Segment> segments = Segments(good);
        const auto scan = std::find_if(segments.begin(), segments.end(),
                                       [](const Segment& s) { return s.marker == 0xDA; });
        ASSERT_NE(scan, segments.end());
        const size_t start = scan->offset + 14;  // past the 3-component scan header
        const size_t end = good.size() - 2;
        std::vector<std::pair<std::string, std::vector<uint8_t>>> damaged;
        for (int tenth = 1; tenth < 10; ++tenth) {
            const size_t at = start + (end - start) * static_cast<size_t>(tenth) / 10;
            damaged.emplace_back(
                "cut at " + std::to_string(at),
                std::vector<uint8_t>(good.begin(), good.begin() + static_cast<ptrdiff_t>(at)));
            std::vector<uint8_t> flipped = good;
            flipped[at] ^= 0x5A;
            damaged.emplace_back("byte changed at " + std::to_string(at), flipped);
            std::vector<uint8_t> zeroed = good;
            std::fill(zeroed.begin() + static_cast<ptrdiff_t>(at),
                      zeroed.begin() + static_cast<ptrdiff_t>(std::min(at + 64, end)), 0);
            damaged.emplace_back("zeros from " + std::to_string(at), zeroed);
        }
        for (const auto& [name, bytes] : damaged) {
            SCOPED_TRACE(name);
            RgbImage out;
            int width = 0, height = 0;
            const bool measured =
                DecodeJpegScaled(bytes.data(), bytes.size(), 8, out, width, height);
            const bool loaded = DecodeJpeg(bytes.data(), bytes.size(), out);
            EXPECT_EQ(measured, loaded);
            if (name.rfind("cut", 0) == 0) {
                EXPECT_FALSE(measured);
            }
        }
    }
}

}  // namespace
}  // namespace nocturo
