// Reading one point of a picture file must give exactly the size and the
// pixel a full load gives, for every point, in every layout the readers
// handle themselves and in those they leave to the decoders.

#include "core/point_reader.h"

#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>
#include <turbojpeg.h>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <cstddef>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/codecs/codecs.h"
#include "core/codecs/jpeg_cut.h"
#include "core/image_file.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using test::RandomImage;
using test::TempDir;

// A sky with structure at every scale: smooth gradients that chroma
// upsampling interpolates, and noise that makes every block differ.
RgbImage Sky(int width, int height, uint32_t seed) {
    RgbImage noise = RandomImage(width, height, seed);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = noise.Row(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>((row[3 * x] / 4 + x * 3) & 0xFF);
            row[3 * x + 1] = static_cast<uint8_t>((row[3 * x + 1] / 4 + y * 5) & 0xFF);
            row[3 * x + 2] = static_cast<uint8_t>((row[3 * x + 2] / 2 + (x ^ y)) & 0xFF);
        }
    }
    return noise;
}

std::vector<uint8_t> Jpeg(const RgbImage& image, int sampling, bool progressive = false) {
    tjhandle tj = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(
        tj, image.Row(0), image.Width(), static_cast<int>(image.Stride()), image.Height(), TJPF_BGR,
        &buffer, &size, sampling, 90, progressive ? TJFLAG_PROGRESSIVE : 0);
    std::vector<uint8_t> bytes;
    if (status == 0) {
        bytes.assign(buffer, buffer + size);
    }
    tjFree(buffer);
    tjDestroy(tj);
    return bytes;
}

std::vector<uint8_t> Png(const RgbImage& image, bool interlaced,
                         int colourType = PNG_COLOR_TYPE_RGB) {
    std::vector<uint8_t> bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &bytes,
        [](png_structp p, png_bytep data, size_t n) {
            auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            out->insert(out->end(), data, data + n);
        },
        nullptr);
    const bool grey = colourType == PNG_COLOR_TYPE_GRAY;
    png_set_IHDR(png, info, image.Width(), image.Height(), 8, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<std::vector<uint8_t>> rows(image.Height());
    std::vector<png_bytep> pointers;
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* src = image.Row(y);
        for (int x = 0; x < image.Width(); ++x) {
            if (grey) {
                rows[y].push_back(src[3 * x + 1]);
            } else {
                rows[y].insert(rows[y].end(), {src[3 * x + 2], src[3 * x + 1], src[3 * x]});
            }
        }
        pointers.push_back(rows[y].data());
    }
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

// A TIFF of 8-bit RGB (or grey), in strips of `rows` rows or in tiles.
void WriteTiff(const std::string& name, const RgbImage& image, bool grey, int compression,
               uint32_t rows, uint32_t tile) {
    TIFF* tif = TIFFOpen(name.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    const int spp = grey ? 1 : 3;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, image.Width());
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, image.Height());
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    auto sampleRow = [&](int y, int x0, int n, uint8_t* out) {
        for (int x = x0; x < x0 + n; ++x) {
            const uint8_t* p =
                x < image.Width() && y < image.Height() ? image.Row(y) + 3 * x : image.Row(0);
            if (grey) {
                *out++ = p[0];
            } else {
                *out++ = p[2];
                *out++ = p[1];
                *out++ = p[0];
            }
        }
    };
    if (tile > 0) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, tile);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, tile);
        std::vector<uint8_t> buffer(static_cast<size_t>(tile) * tile * spp);
        for (int ty = 0; ty < image.Height(); ty += static_cast<int>(tile)) {
            for (int tx = 0; tx < image.Width(); tx += static_cast<int>(tile)) {
                for (uint32_t r = 0; r < tile; ++r) {
                    sampleRow(ty + static_cast<int>(r), tx, static_cast<int>(tile),
                              buffer.data() + static_cast<size_t>(r) * tile * spp);
                }
                TIFFWriteTile(tif, buffer.data(), tx, ty, 0, 0);
            }
        }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows);
        std::vector<uint8_t> line(static_cast<size_t>(image.Width()) * spp);
        for (int y = 0; y < image.Height(); ++y) {
            sampleRow(y, 0, image.Width(), line.data());
            TIFFWriteScanline(tif, line.data(), y, 0);
        }
    }
    TIFFClose(tif);
}

// Every point of the file (and a few outside it) against a full load.
void ExpectEveryPointMatches(const std::string& name) {
    RgbImage full;
    ASSERT_TRUE(LoadImageFile(full, name)) << name;
    for (int y = -1; y <= full.Height(); ++y) {
        // Every pixel of every fourth row, and a spread of columns in the
        // others: each row band, block column and picture edge is met.
        const int step = (y & 3) == 0 ? 1 : 7;
        for (int x = -1; x <= full.Width(); x += (x <= 1 || x >= full.Width() - 2) ? 1 : step) {
            PointSample sample;
            ASSERT_TRUE(ReadPicturePoint(name, x, y, sample)) << name << " " << x << "," << y;
            ASSERT_EQ(sample.width, full.Width());
            ASSERT_EQ(sample.height, full.Height());
            const bool inside = x >= 0 && y >= 0 && x < full.Width() && y < full.Height();
            ASSERT_EQ(sample.inside, inside) << x << "," << y;
            if (inside) {
                const uint8_t* p = full.Row(y) + 3 * x;
                ASSERT_EQ((std::vector<int>{sample.blue, sample.green, sample.red}),
                          (std::vector<int>{p[0], p[1], p[2]}))
                    << name << " at " << x << "," << y;
            }
        }
    }
}

TEST(PointReader, JpegGivesTheFullDecodesPixelEverywhere) {
    TempDir dir;
    // Sizes that end in a partial band of rows and a partial block column,
    // wide enough that the columns are cropped.
    struct Case {
        const char* name;
        int sampling;
        int width, height;
        bool progressive;
    };
    const Case cases[] = {
        {"s420.jpg", TJSAMP_420, 157, 77, false}, {"s444.jpg", TJSAMP_444, 141, 45, false},
        {"s422.jpg", TJSAMP_422, 133, 50, false}, {"s440.jpg", TJSAMP_440, 99, 61, false},
        {"grey.jpg", TJSAMP_GRAY, 90, 39, false}, {"prog420.jpg", TJSAMP_420, 120, 70, true},
        {"tiny.jpg", TJSAMP_420, 5, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = dir.File(c.name);
        test::WriteBytes(name, Jpeg(Sky(c.width, c.height, 7), c.sampling, c.progressive));
        ExpectEveryPointMatches(name);
    }
}

// A baseline JPEG through libjpeg, with restart markers every `restart`
// MCUs; `sampling` is the luma's factors (chroma 1 x 1), 0 for grey.
std::vector<uint8_t> JpegWithRestarts(const RgbImage& image, int sampling, int restart) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(image.Width());
    cinfo.image_height = static_cast<JDIMENSION>(image.Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    if (sampling == 0) {
        jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    } else {
        cinfo.comp_info[0].h_samp_factor = sampling >> 4;
        cinfo.comp_info[0].v_samp_factor = sampling & 15;
    }
    jpeg_set_quality(&cinfo, 95, TRUE);
    cinfo.restart_interval = static_cast<unsigned>(restart);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(image.Row(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

// Low in the picture only a cut of the point's bands is decoded: restart
// markers, the cut's new DC differences and its edges must not show.
TEST(PointReader, JpegCutBandsGiveTheFullDecodesPixel) {
    TempDir dir;
    for (const int sampling : {0x22, 0x12, 0}) {
        for (const int restart : {0, 3}) {
            SCOPED_TRACE(testing::Message() << std::hex << sampling << std::dec << " " << restart);
            const std::vector<uint8_t> bytes =
                JpegWithRestarts(Sky(101, 67, 11), sampling, restart);
            std::vector<uint8_t> cutBytes;
            codecs::JpegCut cut;
            ASSERT_TRUE(codecs::CutJpegAroundRow(bytes.data(), bytes.size(), 66, cutBytes, cut));
            EXPECT_EQ(cut.height, 67);
            EXPECT_EQ(cut.firstRow + cut.rows, 67);
            EXPECT_LT(cutBytes.size(), bytes.size());
            const std::string name = dir.File("cut.jpg");
            test::WriteBytes(name, bytes);
            ExpectEveryPointMatches(name);
        }
    }
}

// Files the decoder loads although libjpeg warns about them: their points
// read as well.
TEST(PointReader, JpegWithHarmlessOddsReadsAsItLoads) {
    TempDir dir;
    const std::vector<uint8_t> progressive = Jpeg(Sky(120, 70, 7), TJSAMP_420, true);
    const std::vector<uint8_t> baseline = Jpeg(Sky(120, 70, 8), TJSAMP_420);
    std::vector<uint8_t> noEnd(progressive.begin(), progressive.end() - 2);
    // JFIF 3.01: libjpeg warns of a version it does not know.
    std::vector<uint8_t> jfif3 = baseline;
    ASSERT_EQ(std::memcmp(jfif3.data() + 6, "JFIF", 5), 0);
    jfif3[11] = 3;
    // No JFIF segment, and an Adobe one with a transform libjpeg does not know.
    std::vector<uint8_t> adobe = baseline;
    adobe[9] = 'X';
    const std::vector<uint8_t> app14 = {0xFF, 0xEE, 0,   14, 'A', 'd', 'o', 'b',
                                        'e',  0,    100, 0,  0,   0,   0,   7};
    adobe.insert(adobe.begin() + 2, app14.begin(), app14.end());
    const struct {
        const char* name;
        const std::vector<uint8_t>& bytes;
    } cases[] = {
        {"progressive-without-end.jpg", noEnd},
        {"jfif3.jpg", jfif3},
        {"adobe7.jpg", adobe},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteBytes(dir.File(c.name), c.bytes);
        ExpectEveryPointMatches(dir.File(c.name));
    }
}

TEST(PointReader, PngGivesTheFullDecodesPixelEverywhere) {
    TempDir dir;
    struct Case {
        const char* name;
        int width, height;
        bool interlaced;
        int colourType;
    };
    // Interlaced pictures smaller than the 8 x 8 pattern have empty passes.
    const Case cases[] = {
        {"plain.png", 37, 29, false, PNG_COLOR_TYPE_RGB},
        {"adam7.png", 37, 29, true, PNG_COLOR_TYPE_RGB},
        {"adam7-small.png", 3, 2, true, PNG_COLOR_TYPE_RGB},
        {"adam7-column.png", 1, 9, true, PNG_COLOR_TYPE_RGB},
        {"grey.png", 20, 11, true, PNG_COLOR_TYPE_GRAY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = dir.File(c.name);
        test::WriteBytes(name, Png(Sky(c.width, c.height, 3), c.interlaced, c.colourType));
        ExpectEveryPointMatches(name);
    }
}

TEST(PointReader, TiffAndBmpGiveTheFullDecodesPixelEverywhere) {
    TempDir dir;
    const RgbImage sky = Sky(45, 37, 11);
    struct Case {
        const char* name;
        bool grey;
        int compression;
        uint32_t rows, tile;
    };
    const Case tiffs[] = {
        {"strips.tif", false, COMPRESSION_NONE, 5, 0},
        {"lzw.tif", false, COMPRESSION_LZW, 8, 0},
        {"deflate-grey.tif", true, COMPRESSION_ADOBE_DEFLATE, 3, 0},
        {"tiles.tif", false, COMPRESSION_LZW, 0, 16},
        {"one-strip.tif", false, COMPRESSION_NONE, 1000, 0},
    };
    for (const Case& c : tiffs) {
        SCOPED_TRACE(c.name);
        WriteTiff(dir.File(c.name), sky, c.grey, c.compression, c.rows, c.tile);
        ExpectEveryPointMatches(dir.File(c.name));
    }
    // The program's own BMP (bottom-up), a top-down one, and a palette BMP
    // that goes through the decoder.
    std::string bmp = dir.File("sky.bmp");
    ASSERT_TRUE(SaveImageFile(sky, bmp));
    ExpectEveryPointMatches(bmp);
    std::vector<uint8_t> bytes = test::ReadBytes(bmp);
    std::vector<uint8_t> topDown = bytes;
    const int32_t negative = -sky.Height();
    std::memcpy(topDown.data() + 22, &negative, 4);
    test::WriteBytes(dir.File("topdown.bmp"), topDown);
    ExpectEveryPointMatches(dir.File("topdown.bmp"));
    // Other formats are decoded whole: a GIF.
    std::string gif = dir.File("sky.gif");
    ASSERT_TRUE(SaveImageFile(sky, gif));
    ExpectEveryPointMatches(gif);
}

// A grey TIFF of one strip whose compressed bytes are given as they are.
void WriteRawTiff(const std::string& name, uint32_t width, uint32_t height, int compression,
                  std::vector<uint8_t> strip) {
    TIFF* tif = TIFFOpen(name.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
    TIFFWriteRawStrip(tif, 0, strip.data(), static_cast<tmsize_t>(strip.size()));
    TIFFClose(tif);
}

// PackBits runs should end with their row; where one goes on into the next
// row, the point is the pixel a full load gives (which reads row by row).
TEST(PointReader, TiffRunsAcrossRowEndsGiveTheFullLoadsPixel) {
    TempDir dir;
    const std::string name = dir.File("runs.tif");
    // Six times 231 for rows of four, then four literal bytes.
    WriteRawTiff(name, 4, 2, COMPRESSION_PACKBITS, {0xFB, 231, 0x03, 158, 100, 50, 16});
    ExpectEveryPointMatches(name);
}

// A frame rewritten while its point is read gives a failed read or the
// pixel of the frame, never a fault that ends the process.
TEST(PointReader, FrameRewrittenWhileReadIsNoFault) {
    TempDir dir;
    const std::string name = dir.File("busy.tif");
    const RgbImage sky = Sky(1200, 800, 5);
    WriteTiff(name, sky, false, COMPRESSION_LZW, 800, 0);  // one strip, decoded whole
    const std::vector<uint8_t> whole = test::ReadBytes(name);
    const int fd = ::open(name.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        while (!stop) {
            // Cut short, then written whole again.
            EXPECT_EQ(::ftruncate(fd, 4096), 0);
            EXPECT_EQ(::pwrite(fd, whole.data(), whole.size(), 0),
                      static_cast<ssize_t>(whole.size()));
        }
    });
    const uint8_t* p = sky.Row(799) + 3 * 1199;
    const std::vector<int> expected = {p[0], p[1], p[2]};
    auto readPoint = [&] {
        PointSample sample;
        if (!ReadPicturePoint(name, 1199, 799, sample)) {
            return false;
        }
        EXPECT_EQ((std::vector<int>{sample.blue, sample.green, sample.red}), expected);
        return true;
    };
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < end) {
        readPoint();
    }
    stop = true;
    writer.join();
    ::close(fd);
    EXPECT_TRUE(readPoint());
}

TEST(PointReader, FilesThatCannotBeLoadedFail) {
    TempDir dir;
    const std::vector<uint8_t> jpeg = Jpeg(Sky(64, 64, 5), TJSAMP_420);
    const std::vector<uint8_t> png = Png(Sky(64, 64, 5), false);
    test::WriteBytes(dir.File("cut.jpg"), {jpeg.begin(), jpeg.begin() + jpeg.size() / 3});
    test::WriteBytes(dir.File("cut.png"), {png.begin(), png.begin() + png.size() / 3});
    test::WriteBytes(dir.File("garbage.jpg"), std::vector<uint8_t>(300, 0x5A));
    test::WriteBytes(dir.File("empty.png"), {});
    test::WriteBytes(dir.File("notes.txt"), jpeg);
    // A header promising a picture far larger than the data.
    std::vector<uint8_t> bomb = png;
    const uint8_t huge[8] = {0, 0, 0x40, 0, 0, 0, 0x40, 0};
    std::memcpy(bomb.data() + 16, huge, 8);
    test::WriteBytes(dir.File("bomb.png"), bomb);
    struct Case {
        const char* name;
        int x, y;
    };
    const Case cases[] = {
        {"missing.jpg", 1, 1}, {"cut.jpg", 10, 60}, {"cut.png", 10, 60}, {"garbage.jpg", 0, 0},
        {"empty.png", 0, 0},   {"notes.txt", 1, 1}, {"bomb.png", 5, 5},
    };
    for (const Case& c : cases) {
        PointSample sample;
        EXPECT_FALSE(ReadPicturePoint(dir.File(c.name), c.x, c.y, sample)) << c.name;
    }
}

// Damaged files of every format the readers handle themselves: bytes
// flipped anywhere, files cut anywhere. A read may fail or succeed, but it
// must end, and what it reports must be a picture the file could hold.
TEST(PointReader, DamagedFilesAreSafe) {
    TempDir dir;
    const RgbImage sky = Sky(40, 30, 21);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> originals = {
        {"d.jpg", Jpeg(sky, TJSAMP_420)},
        {"p.jpg", Jpeg(sky, TJSAMP_444, true)},
        {"d.png", Png(sky, false)},
        {"i.png", Png(sky, true)},
    };
    WriteTiff(dir.File("d.tif"), sky, false, COMPRESSION_LZW, 4, 0);
    originals.emplace_back("d.tif", test::ReadBytes(dir.File("d.tif")));
    std::string bmp = dir.File("d.bmp");
    ASSERT_TRUE(SaveImageFile(sky, bmp));
    originals.emplace_back("d.bmp", test::ReadBytes(bmp));

    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (const auto& [name, bytes] : originals) {
        ASSERT_FALSE(bytes.empty()) << name;
        for (int trial = 0; trial < 60; ++trial) {
            std::vector<uint8_t> damaged = bytes;
            if (trial % 3 == 0) {
                damaged.resize(next() % damaged.size());
            } else {
                for (int k = 0; k < 1 + trial % 5; ++k) {
                    damaged[next() % damaged.size()] ^= static_cast<uint8_t>(1 + next() % 255);
                }
            }
            const std::string file = dir.File("x-" + name);
            test::WriteBytes(file, damaged);
            for (auto [x, y] : {std::pair{0, 0}, {20, 15}, {39, 29}}) {
                PointSample sample;
                if (ReadPicturePoint(file, x, y, sample)) {
                    EXPECT_GT(sample.width, 0);
                    EXPECT_GT(sample.height, 0);
                    EXPECT_LE(int64_t{sample.width} * sample.height, kMaxPixels);
                }
            }
        }
    }
}

// The public conformance pictures: wherever a full load succeeds, points
// all over the picture read the same pixels; elsewhere reading ends safely.
TEST(PointReader, ConformancePicturesMatchTheFullLoad) {
    const std::string dir = test::TestDataDir();
    if (dir.empty()) {
        GTEST_SKIP() << "no conformance pictures";
    }
    int compared = 0;
    for (const char* suite : {"pngsuite", "bmpsuite"}) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(
                 std::filesystem::path(dir) / suite, ec)) {
            const std::string name = entry.path().string();
            if (!entry.is_regular_file() || !IsLoadableName(name)) {
                continue;
            }
            RgbImage full;
            const bool loads = LoadImageFile(full, name);
            for (int gy = 0; gy <= 4; ++gy) {
                for (int gx = 0; gx <= 4; ++gx) {
                    const int x = loads ? (full.Width() - 1) * gx / 4 : gx;
                    const int y = loads ? (full.Height() - 1) * gy / 4 : gy;
                    PointSample sample;
                    const bool read = ReadPicturePoint(name, x, y, sample);
                    if (!loads) {
                        continue;  // damaged below the point may still read
                    }
                    ASSERT_TRUE(read) << name << " at " << x << "," << y;
                    ASSERT_EQ(sample.width, full.Width()) << name;
                    ASSERT_EQ(sample.height, full.Height()) << name;
                    const uint8_t* p = full.Row(y) + 3 * x;
                    ASSERT_EQ((std::vector<int>{sample.blue, sample.green, sample.red}),
                              (std::vector<int>{p[0], p[1], p[2]}))
                        << name << " at " << x << "," << y;
                }
            }
            compared += loads;
        }
    }
    EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace nocturo
