// TIFF pictures written through libtiff to memory: RGB at 8 or 16 bits per
// channel, in strips, compressed without loss.

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "core/codecs/codecs.h"
#include "core/codecs/tiff_memory.h"

namespace nocturo::codecs {

namespace {

// 8 bits per channel: LZW. 16 bits: Deflate at zlib's fastest level, which on
// 16-bit noise beats LZW in size and speed (the sky's low bits do not
// compress at any level). Both with the horizontal predictor.
bool SetTiffCompression(TIFF* t, bool wide) {
    if (!wide) {
        return TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
               TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    return TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
           TIFFSetField(t, TIFFTAG_ZIPQUALITY, 1) &&
           TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
}

// One 16-bit BGR row as RGB samples in host order, as libtiff takes them.
void RgbRow16(const uint16_t* src, int width, uint8_t* line) {
    for (int x = 0; x < width; ++x, src += 3, line += 6) {
        const uint16_t rgb[3] = {src[2], src[1], src[0]};
        std::memcpy(line, rgb, sizeof rgb);
    }
}

}  // namespace

bool EncodeTiff(const RgbImage& image, std::vector<uint8_t>& out) {
    const int width = image.Width();
    const int height = image.Height();
    if (width <= 0 || height <= 0) {
        return false;
    }
    const auto options = tiff::QuietOptions();
    if (!options) {
        return false;
    }
    tiff::MemoryWriter writer{&out, out.size(), 0, false};
    bool ok = false;
    {
        const tiff::TiffHandle tif = tiff::OpenMemoryWriter(writer, options.get());
        if (tif) {
            TIFF* t = tif.get();
            // Strips of about 256 KB: few enough for a short offset table,
            // small enough that a reader never needs much memory for one.
            const uint32_t rowsPerStrip =
                std::max<uint32_t>(1, static_cast<uint32_t>((size_t{256} << 10) / image.Stride()));
            const bool wide = image.Depth() == 16;
            ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width)) &&
                 TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height)) &&
                 TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, image.Depth()) &&
                 TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3) &&
                 TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
                 TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                 SetTiffCompression(t, wide) &&
                 TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip) &&
                 TIFFSetField(t, TIFFTAG_XRESOLUTION, 72.0) &&
                 TIFFSetField(t, TIFFTAG_YRESOLUTION, 72.0) &&
                 TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
            std::vector<uint8_t> line;
            if (ok) {
                try {
                    line.resize(image.Stride());
                } catch (const std::bad_alloc&) {
                    ok = false;
                }
            }
            for (int y = 0; ok && y < height; ++y) {
                if (wide) {
                    RgbRow16(image.Row16(y), width, line.data());
                } else {
                    const uint8_t* src = image.Row(y);
                    uint8_t* dst = line.data();
                    for (int x = 0; x < width; ++x, src += 3, dst += 3) {
                        dst[0] = src[2];
                        dst[1] = src[1];
                        dst[2] = src[0];
                    }
                }
                ok = TIFFWriteScanline(t, line.data(), static_cast<uint32_t>(y), 0) == 1;
            }
            ok = ok && TIFFWriteDirectory(t) == 1;
        }
    }
    ok = ok && !writer.failed;
    if (!ok) {
        out.resize(writer.start);  // no partial file is left behind
    }
    return ok;
}

}  // namespace nocturo::codecs
