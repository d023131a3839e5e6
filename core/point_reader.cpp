#include "core/point_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <memory>
#include <new>
#include <vector>

#include "core/codecs/codecs.h"
#include "core/image_file.h"

namespace nocturo {

namespace {

using codecs::PointResult;

// As LoadImageFile: no picture of the largest size needs a larger file.
constexpr int64_t kMaxFileBytes = int64_t{1} << 31;
// The largest strip or tile read for one point; the decoder's band limit.
constexpr tmsize_t kMaxStripBytes = tmsize_t{256} << 20;

class File {
  public:
    explicit File(const std::string& name) : fd_(::open(name.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~File() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    /// Open, a regular file, and not larger than any picture needs.
    bool Usable() {
        struct stat st {};
        if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) ||
            st.st_size > kMaxFileBytes) {
            return false;
        }
        size_ = st.st_size;
        return true;
    }
    int64_t Size() const { return size_; }

    /// Reads exactly count bytes at offset.
    bool ReadAt(int64_t offset, void* buffer, size_t count) const {
        auto* out = static_cast<uint8_t*>(buffer);
        while (count > 0) {
            const ssize_t n = ::pread(fd_, out, count, offset);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            out += n;
            offset += n;
            count -= static_cast<size_t>(n);
        }
        return true;
    }

  private:
    int fd_;
    int64_t size_ = 0;
};

bool ReadAll(const File& file, std::vector<uint8_t>& bytes) {
    try {
        bytes.resize(static_cast<size_t>(file.Size()));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return file.ReadAt(0, bytes.data(), bytes.size());
}

void SetPixel(PointSample& sample, const uint8_t* bgr) {
    sample.blue = bgr[0];
    sample.green = bgr[1];
    sample.red = bgr[2];
}

bool Inside(int x, int y, int width, int height) {
    return x >= 0 && y >= 0 && x < width && y < height;
}

// ---- BMP: the point's row only --------------------------------------------

uint32_t U32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// Plain 24-bit files, as cameras' converters and the program itself write
// them. Anything else (palettes, masks, compression, odd headers, pixels
// that do not all fit in the file) is left to the decoder.
PointResult ReadBmpPoint(const File& file, int x, int y, PointSample& sample) {
    uint8_t head[14 + 40];
    if (file.Size() < static_cast<int64_t>(sizeof head) || !file.ReadAt(0, head, sizeof head)) {
        return PointResult::Unsupported;
    }
    const uint8_t* info = head + 14;
    const uint32_t offset = U32(head + 10);
    const uint32_t headerSize = U32(info);
    const auto width = static_cast<int32_t>(U32(info + 4));
    const auto storedHeight = static_cast<int32_t>(U32(info + 8));
    const uint32_t planesAndBits = U32(info + 12);
    const uint32_t compression = U32(info + 16);
    if ((headerSize != 40 && headerSize != 108 && headerSize != 124) ||
        planesAndBits != (1u | (24u << 16)) || compression != 0 || width <= 0 ||
        storedHeight == 0 || storedHeight == INT32_MIN || offset < 14 + headerSize) {
        return PointResult::Unsupported;
    }
    const int64_t height = storedHeight < 0 ? -int64_t{storedHeight} : storedHeight;
    const int64_t stride = (int64_t{width} * 24 + 31) / 32 * 4;
    if (int64_t{width} * height > kMaxPixels || offset + stride * height > file.Size()) {
        return PointResult::Unsupported;
    }
    sample.width = width;
    sample.height = static_cast<int>(height);
    sample.inside = Inside(x, y, sample.width, sample.height);
    if (!sample.inside) {
        return PointResult::Read;
    }
    const int64_t storedRow = storedHeight < 0 ? y : height - 1 - y;
    uint8_t pixel[3];
    if (!file.ReadAt(offset + storedRow * stride + int64_t{x} * 3, pixel, 3)) {
        return PointResult::Failed;
    }
    SetPixel(sample, pixel);
    return PointResult::Read;
}

// ---- TIFF: the strip or tile holding the point ----------------------------

int SilentHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
struct OptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// 8-bit RGB stored interleaved, and 8-bit grey, whichever compression: what
// cameras' converters and stacking programs export. The rest goes to the
// decoder.
PointResult ReadTiffPoint(const std::string& fileName, const File& file, int x, int y,
                          PointSample& sample) {
    const std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options) {
        return PointResult::Unsupported;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), SilentHandler, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), SilentHandler, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxStripBytes);
    // Mapped: only the pages of the directory and of one strip are read.
    const std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpenExt(fileName.c_str(), "r", options.get()));
    if (!tif) {
        return PointResult::Unsupported;  // the decoder decides what is wrong
    }
    uint8_t* dngVersion = nullptr;
    if (TIFFGetField(tif.get(), TIFFTAG_DNGVERSION, &dngVersion)) {
        return PointResult::Unsupported;  // a DNG: its first page may be a preview
    }
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, spp = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    uint16_t photometric = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &format);
    const bool hasPhotometric = TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric) != 0;
    const bool rgb = photometric == PHOTOMETRIC_RGB && spp >= 3 && planar == PLANARCONFIG_CONTIG;
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK && spp == 1;
    if (!hasPhotometric || bits != 8 || (format != SAMPLEFORMAT_UINT) || (!rgb && !grey) ||
        width == 0 || height == 0 || uint64_t{width} * height > static_cast<uint64_t>(kMaxPixels) ||
        width > INT32_MAX || height > INT32_MAX) {
        return PointResult::Unsupported;
    }
    sample.width = static_cast<int>(width);
    sample.height = static_cast<int>(height);
    sample.inside = Inside(x, y, sample.width, sample.height);
    if (!sample.inside) {
        return PointResult::Read;
    }
    const auto px = static_cast<uint32_t>(x);
    const auto py = static_cast<uint32_t>(y);

    uint32_t chunk = 0;
    size_t offset = 0;  // of the pixel within the decoded chunk
    tmsize_t chunkBytes = 0;
    if (TIFFIsTiled(tif.get())) {
        uint32_t tileWidth = 0, tileHeight = 0;
        if (!TIFFGetField(tif.get(), TIFFTAG_TILEWIDTH, &tileWidth) ||
            !TIFFGetField(tif.get(), TIFFTAG_TILELENGTH, &tileHeight) || tileWidth == 0 ||
            tileHeight == 0) {
            return PointResult::Failed;
        }
        chunk = TIFFComputeTile(tif.get(), px, py, 0, 0);
        chunkBytes = TIFFTileSize(tif.get());
        offset = (static_cast<size_t>(py % tileHeight) * tileWidth + px % tileWidth) * spp;
    } else {
        uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, height);
        chunk = TIFFComputeStrip(tif.get(), py, 0);
        chunkBytes = TIFFStripSize(tif.get());
        offset = (static_cast<size_t>(py % rowsPerStrip) * width + px) * spp;
    }
    if (chunkBytes <= 0 || chunkBytes > kMaxStripBytes ||
        offset + (rgb ? 3 : 1) > static_cast<size_t>(chunkBytes)) {
        return PointResult::Failed;
    }
    // The chunk's stored bytes must lie inside the file, as the decoder
    // insists for every strip.
    int error = 0;
    const uint64_t where = TIFFGetStrileOffsetWithErr(tif.get(), chunk, &error);
    const uint64_t stored = TIFFGetStrileByteCountWithErr(tif.get(), chunk, &error);
    const auto fileSize = static_cast<uint64_t>(file.Size());
    if (error != 0 || stored == 0 || where > fileSize || stored > fileSize - where) {
        return PointResult::Failed;
    }
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(static_cast<size_t>(chunkBytes));
    } catch (const std::bad_alloc&) {
        return PointResult::Failed;
    }
    const tmsize_t got = TIFFIsTiled(tif.get())
                             ? TIFFReadEncodedTile(tif.get(), chunk, buffer.data(), chunkBytes)
                             : TIFFReadEncodedStrip(tif.get(), chunk, buffer.data(), chunkBytes);
    if (got < 0 || offset + (rgb ? 3 : 1) > static_cast<size_t>(got)) {
        return PointResult::Failed;
    }
    const uint8_t* p = buffer.data() + offset;
    if (rgb) {
        const uint8_t bgr[3] = {p[2], p[1], p[0]};
        SetPixel(sample, bgr);
    } else {
        sample.blue = sample.green = sample.red = p[0];
    }
    return PointResult::Read;
}

// ---- everything else: the whole picture ------------------------------------

bool ReadThroughDecoder(const std::string& fileName, int x, int y, PointSample& sample, int depth) {
    RgbImage picture;
    if (!LoadImageFileInto(picture, fileName, LoadOptions{depth})) {
        return false;
    }
    sample.width = picture.Width();
    sample.height = picture.Height();
    sample.inside = Inside(x, y, sample.width, sample.height);
    if (sample.inside && depth == 16) {
        const uint16_t* p = picture.Row16(y) + static_cast<size_t>(x) * 3;
        sample.blue = p[0];
        sample.green = p[1];
        sample.red = p[2];
    } else if (sample.inside) {
        SetPixel(sample, picture.Row(y) + static_cast<size_t>(x) * 3);
    }
    return true;
}

bool IsMetafile(const std::string& fileName) {
    std::string ext = FileExtension(fileName);
    for (char& c : ext) {
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return ext == ".WMF" || ext == ".EMF";
}

}  // namespace

bool ReadPicturePoint(const std::string& fileName, int x, int y, PointSample& sample, int depth) {
    sample = PointSample{};
    if (!IsLoadableName(fileName) || IsMetafile(fileName) || (depth != 8 && depth != 16)) {
        return false;
    }
    File file(fileName);
    if (!file.Usable()) {
        return false;
    }
    uint8_t head[32] = {};
    const size_t headBytes = static_cast<size_t>(std::min<int64_t>(file.Size(), sizeof head));
    if (!file.ReadAt(0, head, headBytes)) {
        return false;
    }
    PointResult result = PointResult::Unsupported;
    switch (codecs::DetectKind(head, headBytes)) {
        case codecs::ImageKind::Png:
            // The point reader strips 16-bit samples to 8: at depth 16 such
            // a file goes to the decoder. The bit depth follows the
            // signature, IHDR's length, type, width and height.
            if (depth == 16 && (headBytes <= 24 || head[24] == 16)) {
                break;
            }
            [[fallthrough]];
        case codecs::ImageKind::Jpeg: {
            // Compressed whole: reading it all is cheap beside inflating.
            thread_local std::vector<uint8_t> bytes;
            if (!ReadAll(file, bytes)) {
                return false;
            }
            result = codecs::DetectKind(head, headBytes) == codecs::ImageKind::Jpeg
                         ? codecs::ReadJpegPoint(bytes.data(), bytes.size(), x, y, sample)
                         : codecs::ReadPngPoint(bytes.data(), bytes.size(), x, y, sample);
            if (bytes.capacity() > (size_t{64} << 20)) {
                std::vector<uint8_t>().swap(bytes);
            }
            break;
        }
        case codecs::ImageKind::Tiff:
            // NEF, CR2, ARW, ... are TIFFs whose first page is a thumbnail:
            // LibRaw decides what they hold.
            if (!IsRawName(fileName)) {
                result = ReadTiffPoint(fileName, file, x, y, sample);
            }
            break;
        case codecs::ImageKind::Bmp:
            result = ReadBmpPoint(file, x, y, sample);
            break;
        default:
            break;
    }
    if (result == PointResult::Unsupported) {
        sample = PointSample{};
        return ReadThroughDecoder(fileName, x, y, sample, depth);
    }
    if (result == PointResult::Read && depth == 16) {
        // The fast readers take 8-bit data only: widened as a load widens it.
        sample.blue = Widen8(static_cast<uint8_t>(sample.blue));
        sample.green = Widen8(static_cast<uint8_t>(sample.green));
        sample.red = Widen8(static_cast<uint8_t>(sample.red));
    }
    return result == PointResult::Read;
}

}  // namespace nocturo
