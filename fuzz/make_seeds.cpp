// Writes the starting corpus of every fuzz target: small pictures of each
// format made here (the encoders, plus TIFF layouts written through libtiff),
// and, when a folder of sample pictures is given, every file in it sorted
// by what its content is.
//
//   make_fuzz_seeds OUT_DIR [SAMPLE_DIR...]
//
// OUT_DIR receives one folder per target: jpeg, png, gif, tiff, bmp, ico,
// raw, the comparisons of fast readers (jpeg_dc, jpeg_point, png_point,
// tiff_point, bmp_point) and detect. The detect folder gets everything; raw
// gets DNG files made here (LibRaw's other formats are the cameras' own).

#include <tiffio.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "core/codecs/codecs.h"
#include "core/codecs/little_endian.h"
#include "tests/support/dng_writer.h"

namespace fs = std::filesystem;
using nocturo::RgbImage;
using namespace nocturo::codecs;

namespace {

const char* TargetOf(ImageKind kind) {
    switch (kind) {
        case ImageKind::Jpeg:
            return "jpeg";
        case ImageKind::Png:
            return "png";
        case ImageKind::Gif:
            return "gif";
        case ImageKind::Tiff:
            return "tiff";
        case ImageKind::Bmp:
            return "bmp";
        case ImageKind::Ico:
            return "ico";
        case ImageKind::Unknown:
            break;
    }
    return nullptr;
}

struct Writer {
    fs::path root;
    int written = 0;

    void Put(const char* target, const std::string& name, const std::vector<uint8_t>& bytes) {
        const fs::path folder = root / target;
        fs::create_directories(folder);
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        ++written;
    }

    // Into the format's own folder, the folders of the targets that compare
    // its fast readers with its decoder, and the detection folder.
    void Add(const std::string& name, const std::vector<uint8_t>& bytes) {
        const char* target = TargetOf(DetectKind(bytes.data(), bytes.size()));
        if (target != nullptr) {
            Put(target, name, bytes);
            const std::string format = target;
            if (format == "jpeg") {
                Put("jpeg_dc", name, bytes);
            }
            if (format == "jpeg" || format == "png" || format == "tiff" || format == "bmp") {
                Put((format + "_point").c_str(), name, bytes);
            }
        }
        Put("detect", name, bytes);
    }
};

RgbImage Pattern(int width, int height) {
    RgbImage image;
    image.Resize(width, height);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.Row(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>(x * 255 / std::max(1, width - 1));
            row[3 * x + 1] = static_cast<uint8_t>(y * 255 / std::max(1, height - 1));
            row[3 * x + 2] = static_cast<uint8_t>((x ^ y) * 37);
        }
    }
    return image;
}

// ---- TIFF layouts the encoder does not write ---------------------------------

struct TiffLayout {
    const char* name;
    uint16_t bits;
    uint16_t samples;
    uint16_t format;
    uint16_t photometric;
    uint16_t compression;
    uint16_t planar;
    uint32_t tile;  // 0: strips
};

struct MemoryFile {
    std::vector<uint8_t> bytes;
    uint64_t pos = 0;
};

tmsize_t FileRead(thandle_t h, void* buffer, tmsize_t n) {
    auto* f = static_cast<MemoryFile*>(h);
    const uint64_t left = f->pos < f->bytes.size() ? f->bytes.size() - f->pos : 0;
    const auto count = static_cast<size_t>(std::min<uint64_t>(left, static_cast<uint64_t>(n)));
    std::memcpy(buffer, f->bytes.data() + f->pos, count);
    f->pos += count;
    return static_cast<tmsize_t>(count);
}
tmsize_t FileWrite(thandle_t h, void* buffer, tmsize_t n) {
    auto* f = static_cast<MemoryFile*>(h);
    if (f->pos + static_cast<uint64_t>(n) > f->bytes.size()) {
        f->bytes.resize(f->pos + static_cast<uint64_t>(n));
    }
    std::memcpy(f->bytes.data() + f->pos, buffer, static_cast<size_t>(n));
    f->pos += static_cast<uint64_t>(n);
    return n;
}
toff_t FileSeek(thandle_t h, toff_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    f->pos = (whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->pos : f->bytes.size()) + offset;
    return f->pos;
}
int FileClose(thandle_t) {
    return 0;
}
toff_t FileSize(thandle_t h) {
    return static_cast<MemoryFile*>(h)->bytes.size();
}
int FileMap(thandle_t, void**, toff_t*) {
    return 0;
}
void FileUnmap(thandle_t, void*, toff_t) {}

std::vector<uint8_t> WriteTiff(const TiffLayout& l, uint32_t width, uint32_t height) {
    MemoryFile file;
    TIFF* tif = TIFFClientOpen("seed", "w", &file, FileRead, FileWrite, FileSeek, FileClose,
                               FileSize, FileMap, FileUnmap);
    if (tif == nullptr) {
        return {};
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, l.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, l.samples);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, l.format);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, l.photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, l.compression);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, l.planar);
    if (l.photometric == PHOTOMETRIC_PALETTE) {
        std::vector<uint16_t> map(size_t{1} << l.bits);
        for (size_t i = 0; i < map.size(); ++i) {
            map[i] = static_cast<uint16_t>(i * 65535 / (map.size() - 1));
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
    }
    const int planes = l.planar == PLANARCONFIG_SEPARATE ? l.samples : 1;
    if (l.tile != 0) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, l.tile);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, l.tile);
        std::vector<uint8_t> tile(static_cast<size_t>(TIFFTileSize(tif)));
        for (size_t i = 0; i < tile.size(); ++i) {
            tile[i] = static_cast<uint8_t>(i * 7);
        }
        for (int p = 0; p < planes; ++p) {
            for (uint32_t y = 0; y < height; y += l.tile) {
                for (uint32_t x = 0; x < width; x += l.tile) {
                    TIFFWriteTile(tif, tile.data(), x, y, 0, static_cast<uint16_t>(p));
                }
            }
        }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4u);
        std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize(tif)));
        for (int p = 0; p < planes; ++p) {
            for (uint32_t y = 0; y < height; ++y) {
                for (size_t i = 0; i < line.size(); ++i) {
                    line[i] = static_cast<uint8_t>(i * 3 + y * 11);
                }
                if (l.format == SAMPLEFORMAT_IEEEFP) {
                    for (size_t i = 0; i + 4 <= line.size(); i += 4) {
                        const float v = static_cast<float>(i % 97) / 96.0f;
                        std::memcpy(&line[i], &v, 4);
                    }
                }
                TIFFWriteScanline(tif, line.data(), y, static_cast<uint16_t>(p));
            }
        }
    }
    TIFFWriteDirectory(tif);
    TIFFClose(tif);
    return file.bytes;
}

// ---- JPEG codings the encoder does not write ---------------------------------

struct JpegLayout {
    const char* name;
    int lumaH, lumaV;  // chroma 1 x 1; 0 x 0: grey
    bool progressive;
    bool arithmetic;
    int restartRows;
    bool optimise;
};

std::vector<uint8_t> WriteJpeg(const JpegLayout& l, const RgbImage& image) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(image.Width());
    cinfo.image_height = static_cast<JDIMENSION>(image.Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    if (l.lumaH == 0) {
        jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    } else {
        cinfo.comp_info[0].h_samp_factor = l.lumaH;
        cinfo.comp_info[0].v_samp_factor = l.lumaV;
        cinfo.comp_info[1].h_samp_factor = cinfo.comp_info[1].v_samp_factor = 1;
        cinfo.comp_info[2].h_samp_factor = cinfo.comp_info[2].v_samp_factor = 1;
    }
    jpeg_set_quality(&cinfo, 80, TRUE);
    cinfo.arith_code = l.arithmetic ? TRUE : FALSE;
    cinfo.optimize_coding = l.optimise ? TRUE : FALSE;
    cinfo.restart_in_rows = l.restartRows;
    if (l.progressive) {
        jpeg_simple_progression(&cinfo);
    }
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

// ---- Icons -------------------------------------------------------------------

// An icon of one BMP entry (colour rows and an AND mask) and one PNG entry.
std::vector<uint8_t> MakeIcon(const RgbImage& small, const RgbImage& large) {
    std::vector<uint8_t> bmp;
    EncodeBmp(small, bmp);
    std::vector<uint8_t> dib(bmp.begin() + 14, bmp.end());
    PutU32(dib.data() + 8, static_cast<uint32_t>(small.Height() * 2));  // colour + mask
    const size_t maskRow = ((static_cast<size_t>(small.Width()) + 31) / 32) * 4;
    dib.insert(dib.end(), maskRow * static_cast<size_t>(small.Height()), 0);
    std::vector<uint8_t> png;
    EncodePng(large, png);

    std::vector<uint8_t> out(6 + 2 * 16, 0);
    PutU16(out.data() + 2, 1);
    PutU16(out.data() + 4, 2);
    const std::vector<uint8_t>* images[2] = {&dib, &png};
    const RgbImage* pictures[2] = {&small, &large};
    uint32_t offset = static_cast<uint32_t>(out.size());
    for (int i = 0; i < 2; ++i) {
        uint8_t* e = out.data() + 6 + 16 * i;
        e[0] = static_cast<uint8_t>(pictures[i]->Width());
        e[1] = static_cast<uint8_t>(pictures[i]->Height());
        PutU16(e + 4, 1);
        PutU16(e + 6, 24);
        PutU32(e + 8, static_cast<uint32_t>(images[i]->size()));
        PutU32(e + 12, offset);
        offset += static_cast<uint32_t>(images[i]->size());
    }
    out.insert(out.end(), dib.begin(), dib.end());
    out.insert(out.end(), png.begin(), png.end());
    return out;
}

void AddMadePictures(Writer& w) {
    const RgbImage sizes[] = {Pattern(1, 1), Pattern(7, 5), Pattern(33, 17)};
    for (const RgbImage& image : sizes) {
        const std::string tag =
            std::to_string(image.Width()) + "x" + std::to_string(image.Height());
        std::vector<uint8_t> bytes;
        if (EncodeBmp(image, bytes)) {
            w.Add("made_" + tag + ".bmp", bytes);
        }
        bytes.clear();
        if (EncodePng(image, bytes)) {
            w.Add("made_" + tag + ".png", bytes);
        }
        bytes.clear();
        if (EncodeGif(image, bytes)) {
            w.Add("made_" + tag + ".gif", bytes);
        }
        bytes.clear();
        if (EncodeTiff(image, bytes)) {
            w.Add("made_" + tag + ".tif", bytes);
        }
        for (int quality : {30, 95}) {
            bytes.clear();
            if (EncodeJpeg(image, quality, bytes)) {
                w.Add("made_" + tag + "_q" + std::to_string(quality) + ".jpg", bytes);
            }
        }
    }
    w.Add("made_icon.ico", MakeIcon(Pattern(16, 16), Pattern(32, 32)));

    static const TiffLayout kLayouts[] = {
        {"grey8_packbits", 8, 1, SAMPLEFORMAT_UINT, PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS,
         PLANARCONFIG_CONTIG, 0},
        {"grey12", 12, 1, SAMPLEFORMAT_UINT, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE,
         PLANARCONFIG_CONTIG, 0},
        {"grey16_deflate", 16, 1, SAMPLEFORMAT_UINT, PHOTOMETRIC_MINISWHITE,
         COMPRESSION_ADOBE_DEFLATE, PLANARCONFIG_CONTIG, 0},
        {"grey32", 32, 1, SAMPLEFORMAT_UINT, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW,
         PLANARCONFIG_CONTIG, 0},
        {"rgbfloat", 32, 3, SAMPLEFORMAT_IEEEFP, PHOTOMETRIC_RGB, COMPRESSION_NONE,
         PLANARCONFIG_CONTIG, 0},
        {"rgb16_planar_tiled", 16, 3, SAMPLEFORMAT_UINT, PHOTOMETRIC_RGB, COMPRESSION_LZW,
         PLANARCONFIG_SEPARATE, 16},
        {"bilevel_g4", 1, 1, SAMPLEFORMAT_UINT, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4,
         PLANARCONFIG_CONTIG, 0},
        {"bilevel_g3", 1, 1, SAMPLEFORMAT_UINT, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX3,
         PLANARCONFIG_CONTIG, 0},
        {"palette4", 4, 1, SAMPLEFORMAT_UINT, PHOTOMETRIC_PALETTE, COMPRESSION_NONE,
         PLANARCONFIG_CONTIG, 0},
        {"cmyk8", 8, 4, SAMPLEFORMAT_UINT, PHOTOMETRIC_SEPARATED, COMPRESSION_NONE,
         PLANARCONFIG_CONTIG, 0},
    };
    static const JpegLayout kJpegs[] = {
        {"420", 2, 2, false, false, 0, false},
        {"422_restarts", 2, 1, false, false, 1, false},
        {"440_optimised", 1, 2, false, false, 0, true},
        {"411", 4, 1, false, false, 0, false},
        {"grey", 0, 0, false, false, 0, false},
        {"420_progressive", 2, 2, true, false, 0, false},
        {"444_arithmetic", 1, 1, false, true, 0, false},
        {"420_progressive_arithmetic", 2, 2, true, true, 0, false},
    };
    for (const JpegLayout& layout : kJpegs) {
        const std::vector<uint8_t> bytes = WriteJpeg(layout, Pattern(37, 21));
        if (!bytes.empty()) {
            w.Add(std::string("made_") + layout.name + ".jpg", bytes);
        }
    }
    static const TiffLayout kRgb8[] = {
        {"rgb8_strips", 8, 3, SAMPLEFORMAT_UINT, PHOTOMETRIC_RGB, COMPRESSION_NONE,
         PLANARCONFIG_CONTIG, 0},
        {"rgb8_packbits_tiled", 8, 3, SAMPLEFORMAT_UINT, PHOTOMETRIC_RGB, COMPRESSION_PACKBITS,
         PLANARCONFIG_CONTIG, 16},
    };
    for (const TiffLayout& layout : kRgb8) {
        const std::vector<uint8_t> bytes = WriteTiff(layout, 21, 13);
        if (!bytes.empty()) {
            w.Add(std::string("made_") + layout.name + ".tif", bytes);
        }
    }
    for (const TiffLayout& layout : kLayouts) {
        const std::vector<uint8_t> bytes = WriteTiff(layout, 21, 13);
        if (!bytes.empty()) {
            w.Add(std::string("made_") + layout.name + ".tif", bytes);
        }
    }
}

// DNG frames: plain, with an embedded preview, turned, with a black level
// of 0 and a low white level, of odd small sizes; each also cut short.
void AddRawFrames(Writer& w) {
    struct Variant {
        const char* name;
        int width, height, orientation;
        uint16_t black, white;
        bool preview;
    };
    static const Variant kVariants[] = {
        {"sky", 32, 24, 1, 256, 16383, false},     {"preview", 32, 24, 1, 256, 16383, true},
        {"upright", 16, 12, 6, 256, 16383, false}, {"lowwhite", 8, 6, 3, 0, 1023, false},
        {"tiny", 2, 2, 1, 64, 4095, false},
    };
    for (const Variant& v : kVariants) {
        nocturo::test::DngFrame frame = nocturo::test::NightSkyFrame(v.width, v.height, 3, 10);
        frame.orientation = v.orientation;
        frame.black = v.black;
        frame.white = v.white;
        for (uint16_t& s : frame.mosaic) {
            s = static_cast<uint16_t>(std::min<int>(s, v.white));
        }
        if (v.preview) {
            frame.previewWidth = v.width / 2;
            frame.previewHeight = v.height / 2;
            frame.previewRgb.assign(static_cast<size_t>(v.width / 2) * (v.height / 2) * 3, 99);
        }
        const std::vector<uint8_t> dng = nocturo::test::WriteDng(frame);
        w.Put("raw", std::string("made_") + v.name + ".dng", dng);
        w.Put("detect", std::string("made_") + v.name + ".dng", dng);
        w.Put(
            "raw", std::string("made_") + v.name + "_cut.dng",
            std::vector<uint8_t>(dng.begin(), dng.begin() + static_cast<long>(dng.size() * 3 / 4)));
    }
}

void AddSamples(Writer& w, const fs::path& folder) {
    if (!fs::is_directory(folder)) {
        return;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.file_size() > (1u << 20)) {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
        if (DetectKind(bytes.data(), bytes.size()) == ImageKind::Unknown) {
            continue;  // text files and references in other formats
        }
        std::string name = fs::relative(entry.path(), folder).string();
        for (char& c : name) {
            c = c == '/' ? '_' : c;
        }
        w.Add("sample_" + name, bytes);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR [SAMPLE_DIR...]\n", argv[0]);
        return 2;
    }
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    Writer w{argv[1]};
    AddMadePictures(w);
    AddRawFrames(w);
    for (int i = 2; i < argc; ++i) {
        AddSamples(w, argv[i]);
    }
    std::printf("%d seed files written under %s\n", w.written, argv[1]);
    return 0;
}
