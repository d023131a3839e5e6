// JPEG through libjpeg-turbo. Ordinary files (colour or grey, any common
// sampling, baseline, progressive or arithmetic) go through TurboJPEG, which
// decodes straight into the picture's BGR rows. CMYK and YCCK files, and the
// rare samplings TurboJPEG will not name, go through the libjpeg API.

#include <turbojpeg.h>

// jpeglib.h needs size_t and FILE declared before it.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include <jpeglib.h>

#include "core/codecs/codecs.h"
#include "core/codecs/jpeg_guard.h"

namespace nocturo::codecs {

namespace {

// Refuses a declared size that the data cannot hold. Every 8 x 8 block of a
// real JPEG costs at least about a bit, so a file far smaller than
// width * height / 4096 bytes is a damaged header (or a deliberate bomb), and
// decoding it would only allocate a huge picture of grey fill.
bool PlausibleSize(long width, long height, size_t dataSize) {
    if (width <= 0 || height <= 0) {
        return false;
    }
    const int64_t pixels = static_cast<int64_t>(width) * height;
    return pixels <= kMaxPixels && static_cast<int64_t>(dataSize) >= pixels / 4096;
}

// ---- TurboJPEG -------------------------------------------------------------

// A fresh TurboJPEG decompressor for each picture. A kept one carries the
// Huffman and quantisation tables of the last picture into the next, and a
// file that lacks some of its own tables (as motion-JPEG frames lack their
// Huffman tables) would be decoded with those; after a header it could not
// read, it fails every later header. A new one costs well under a
// microsecond.
class Decompressor {
  public:
    Decompressor() : handle_(tjInitDecompress()) {}
    ~Decompressor() {
        if (handle_ != nullptr) {
            tjDestroy(handle_);
        }
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
    tjhandle Get() const { return handle_; }

  private:
    tjhandle handle_;
};

// ---- libjpeg API -----------------------------------------------------------

inline uint8_t MulDiv255(int a, int b) {
    return static_cast<uint8_t>((a * b + 127) / 255);
}

// Reads the pixels of a file whose header has been read. Fatal errors jump out
// of here, so nothing in this function may need a destructor.
bool ReadLibjpegPixels(jpeg_decompress_struct& cinfo, size_t dataSize, RgbImage& out) {
    if (!PlausibleSize(static_cast<long>(cinfo.image_width), static_cast<long>(cinfo.image_height),
                       dataSize)) {
        return false;
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    // libjpeg turns YCCK into CMYK itself; everything else it can deliver as
    // BGR straight into our rows.
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);
    const int width = static_cast<int>(cinfo.output_width);
    const int height = static_cast<int>(cinfo.output_height);
    if (!out.Resize(width, height)) {
        return false;
    }

    if (!cmyk) {
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = out.Row(static_cast<int>(cinfo.output_scanline));
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        return true;
    }

    // Photoshop, and libjpeg itself, write CMYK with an Adobe marker and store
    // every ink inverted (255 = no ink); files without the marker store ink
    // amounts as they are.
    const bool inverted = cinfo.saw_Adobe_marker;
    JSAMPARRAY buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                   JPOOL_IMAGE, cinfo.output_width * 4, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        uint8_t* dst = out.Row(static_cast<int>(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, buffer, 1);
        const uint8_t* src = buffer[0];
        for (int x = 0; x < width; ++x, src += 4, dst += 3) {
            int c = src[0], m = src[1], y = src[2], k = src[3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                y = 255 - y;
                k = 255 - k;
            }
            dst[0] = MulDiv255(y, k);
            dst[1] = MulDiv255(m, k);
            dst[2] = MulDiv255(c, k);
        }
    }
    return true;
}

bool DecodeWithLibjpeg(const uint8_t* data, size_t size, RgbImage& out) {
    jpeg_decompress_struct cinfo{};
    JpegGuard guard;
    UseJpegGuard(cinfo, guard);
    if (setjmp(guard.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    WatchJpegProgress(cinfo, guard);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    bool ok = jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK;
    ok = ok && ReadLibjpegPixels(cinfo, size, out);
    // All rows are in; jpeg_finish_decompress would only look for the end
    // marker, which a file may lack.
    ok = ok && JpegDataComplete(cinfo, guard);
    jpeg_destroy_decompress(&cinfo);
    return ok;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, RgbImage& out) {
    if (data == nullptr || size < 4) {
        return false;
    }
    const Decompressor decompressor;
    tjhandle tj = decompressor.Get();
    if (tj == nullptr) {
        return false;
    }
    const auto jpegSize = static_cast<unsigned long>(size);
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(tj, data, jpegSize, &width, &height, &subsampling, &colourspace) != 0) {
        // Also the answer for samplings that TurboJPEG cannot name (say Y 2x2,
        // Cb 2x1, Cr 1x2), which libjpeg decodes all the same. Garbage fails
        // there just as quickly.
        return DecodeWithLibjpeg(data, size, out);
    }
    if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK) {
        return DecodeWithLibjpeg(data, size, out);
    }
    if (!PlausibleSize(width, height, size) || !out.Resize(width, height)) {
        return false;
    }
    if (tjDecompress2(tj, data, jpegSize, out.Row(0), width, static_cast<int>(out.Stride()), height,
                      TJPF_BGR, TJFLAG_LIMITSCANS) == 0) {
        return true;
    }
    const bool warning = tjGetErrorCode(tj) == TJERR_WARNING;
    // TurboJPEG reports only the last warning, and a harmless one may hide a
    // damaging one before it; the libjpeg path looks at each of them.
    return warning && DecodeWithLibjpeg(data, size, out);
}

JpegEncoder::~JpegEncoder() {
    if (handle_ != nullptr) {
        tjDestroy(handle_);
    }
    std::free(buffer_);
}

bool JpegEncoder::Encode(const RgbImage& image, int quality) {
    size_ = 0;
    if (image.Width() <= 0 || image.Height() <= 0 || image.Depth() != 8) {
        return false;
    }
    if (handle_ == nullptr) {
        handle_ = tjInitCompress();
        if (handle_ == nullptr) {
            return false;
        }
    }
    // The largest file TurboJPEG can write for this size: with a buffer that
    // big it never reallocates, and only the pages actually written are ever
    // touched.
    const unsigned long needed = tjBufSize(image.Width(), image.Height(), TJSAMP_444);
    if (needed == static_cast<unsigned long>(-1)) {
        return false;
    }
    if (capacity_ < needed) {
        // Ours, not TurboJPEG's: with TJFLAG_NOREALLOC it never frees it.
        std::free(buffer_);
        capacity_ = 0;
        // Page-aligned, so that the file can be written from it past the
        // page cache.
        constexpr unsigned long kPage = 4096;
        buffer_ = static_cast<unsigned char*>(
            std::aligned_alloc(kPage, (needed + kPage - 1) / kPage * kPage));
        if (buffer_ == nullptr) {
            return false;
        }
        capacity_ = needed;
    }
    quality = quality < 1 ? 1 : (quality > 100 ? 100 : quality);
    unsigned long jpegSize = capacity_;
    // The accurate DCT: at high quality the fast one costs visible precision
    // in faint sky gradients, for little speed.
    if (tjCompress2(handle_, image.Row(0), image.Width(), static_cast<int>(image.Stride()),
                    image.Height(), TJPF_BGR, &buffer_, &jpegSize, TJSAMP_444, quality,
                    TJFLAG_ACCURATEDCT | TJFLAG_NOREALLOC) != 0) {
        return false;
    }
    size_ = jpegSize;
    return true;
}

bool EncodeJpeg(const RgbImage& image, int quality, std::vector<uint8_t>& out) {
    JpegEncoder encoder;
    if (!encoder.Encode(image, quality)) {
        return false;
    }
    try {
        out.insert(out.end(), encoder.Data(), encoder.Data() + encoder.Size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool DecodeJpegScaled(const uint8_t* data, size_t size, int scale, RgbImage& out, int& fullWidth,
                      int& fullHeight) {
    auto fullSize = [&](bool ok) {
        fullWidth = ok ? out.Width() : 0;
        fullHeight = ok ? out.Height() : 0;
        return ok;
    };
    if (scale != 2 && scale != 4 && scale != 8) {
        return fullSize(DecodeJpeg(data, size, out));
    }
    if (data == nullptr || size < 4) {
        return false;
    }
    const Decompressor decompressor;
    tjhandle tj = decompressor.Get();
    if (tj == nullptr) {
        return false;
    }
    const auto jpegSize = static_cast<unsigned long>(size);
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(tj, data, jpegSize, &width, &height, &subsampling, &colourspace) != 0) {
        return fullSize(DecodeJpeg(data, size, out));
    }
    if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK) {
        return fullSize(DecodeJpeg(data, size, out));
    }
    if (!PlausibleSize(width, height, size)) {
        return false;
    }
    // The scanner stands in for TurboJPEG's 1/8 decode, so only for files
    // that TurboJPEG would scale.
    if (scale == 8 && DecodeJpegDc(data, size, out, fullWidth, fullHeight)) {
        return true;
    }
    const tjscalingfactor factor{1, scale};
    const int scaledWidth = TJSCALED(width, factor);
    const int scaledHeight = TJSCALED(height, factor);
    if (!out.Resize(scaledWidth, scaledHeight)) {
        return false;
    }
    fullWidth = width;
    fullHeight = height;
    if (tjDecompress2(tj, data, jpegSize, out.Row(0), scaledWidth, static_cast<int>(out.Stride()),
                      scaledHeight, TJPF_BGR, TJFLAG_LIMITSCANS) == 0) {
        return true;
    }
    const bool warning = tjGetErrorCode(tj) == TJERR_WARNING;
    // A warning may be harmless or may mean missing rows: judged as the
    // full-size decode judges it, so that a file measures only if it loads.
    // Only damaged files pay for that decode.
    RgbImage judge;
    return warning && DecodeWithLibjpeg(data, size, judge);
}

}  // namespace nocturo::codecs
