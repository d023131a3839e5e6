// The floor of the 16-bit stacking benchmarks: one thread that decodes every
// 16-bit PNG or TIFF frame with libpng or libtiff into one reused buffer of
// 16-bit BGR samples in host order (what the program works on), and does
// nothing else.
//
//   decode16_floor LIST
//
// LIST holds one file name per line: 16-bit RGB PNG files, or 16-bit RGB
// TIFF files in strips, as the program writes them. Prints one line:
//   RESULT frames=N megapixels=M seconds=S maxrss_kb=K

#include <png.h>
#include <tiffio.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/floor_loop.h"

namespace {

bool DecodePng(const std::string& file, std::vector<uint16_t>& bgr, double& pixels) {
    FILE* f = std::fopen(file.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    bool ok = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_read_info(png, info);
        const png_uint_32 width = png_get_image_width(png, info);
        const png_uint_32 height = png_get_image_height(png, info);
        if constexpr (std::endian::native == std::endian::little) {
            png_set_swap(png);
        }
        png_set_bgr(png);
        png_read_update_info(png, info);
        if (png_get_bit_depth(png, info) == 16 && png_get_channels(png, info) == 3) {
            bgr.resize(size_t{width} * height * 3);
            for (png_uint_32 y = 0; y < height; ++y) {
                png_read_row(png, reinterpret_cast<png_bytep>(bgr.data() + size_t{y} * width * 3),
                             nullptr);
            }
            png_read_end(png, nullptr);
            pixels += static_cast<double>(width) * height;
            ok = true;
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return ok;
}

bool DecodeTiff(const std::string& file, std::vector<uint16_t>& bgr, std::vector<uint8_t>& strip,
                double& pixels) {
    TIFF* t = TIFFOpen(file.c_str(), "r");
    if (t == nullptr) {
        return false;
    }
    uint32_t width = 0, height = 0, rows = 0;
    uint16_t bits = 0, spp = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rows);
    bool ok = bits == 16 && spp == 3 && !TIFFIsTiled(t) && rows > 0;
    if (ok) {
        bgr.resize(size_t{width} * height * 3);
        strip.resize(static_cast<size_t>(TIFFStripSize(t)));
        for (uint32_t s = 0; ok && s < TIFFNumberOfStrips(t); ++s) {
            const tmsize_t n = TIFFReadEncodedStrip(t, s, strip.data(), -1);
            ok = n > 0;
            const size_t samples = static_cast<size_t>(n) / 2;
            uint16_t* out = bgr.data() + size_t{s} * rows * width * 3;
            for (size_t i = 0; ok && i + 2 < samples; i += 3) {
                uint16_t rgb[3];
                std::memcpy(rgb, strip.data() + i * 2, sizeof rgb);
                out[i] = rgb[2];
                out[i + 1] = rgb[1];
                out[i + 2] = rgb[0];
            }
        }
        pixels += static_cast<double>(width) * height;
    }
    TIFFClose(t);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: decode16_floor LIST\n");
        return 2;
    }
    TIFFSetWarningHandler(nullptr);
    std::vector<uint16_t> bgr;
    std::vector<uint8_t> strip;
    return nocturo::bench::RunFloor(
        "decode16_floor", argv[1], "cannot read", [&](const std::string& file, double& pixels) {
            const bool png = file.size() > 4 && file.compare(file.size() - 4, 4, ".png") == 0;
            return png ? DecodePng(file, bgr, pixels) : DecodeTiff(file, bgr, strip, pixels);
        });
}
