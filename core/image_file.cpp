#include "core/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/atomic_file.h"
#include "core/codecs/codecs.h"
#include "core/codecs/jpeg_bands.h"
#include "core/text.h"

namespace nocturo {

namespace {

bool IsRegularFile(const std::string& fileName) {
    struct stat st {};
    return ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Files larger than this are not read at all: no picture of kMaxPixels
// needs more.
constexpr int64_t kMaxFileBytes = int64_t{1} << 31;

bool ReadWholeFile(const std::string& fileName, std::vector<uint8_t>& bytes) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes) {
        ::close(fd);
        return false;
    }
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // the file shrank while we read it: decode what we have
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes.resize(done);
    return true;
}

// A thread's file buffer is kept for the next frame, but not at the size of
// a huge file.
void DropIfHuge(std::vector<uint8_t>& bytes) {
    if (bytes.capacity() > (size_t{64} << 20)) {
        std::vector<uint8_t>().swap(bytes);
    }
}

// Reads a picture file whole into a buffer kept per thread (one for each
// caller) and gives it to decode(bytes); false for a name that cannot be a
// picture, no such file, or a failed read or decode.
template <class DecodeBytes>
bool DecodeWholeFile(const std::string& fileName, DecodeBytes decode) {
    if (!IsLoadableName(fileName) || !IsRegularFile(fileName)) {
        return false;
    }
    thread_local std::vector<uint8_t> bytes;
    const bool ok = ReadWholeFile(fileName, bytes) && decode(bytes);
    DropIfHuge(bytes);
    return ok;
}

// Which decoder a file goes to, by its content:
// - JPEG, PNG, GIF, BMP and icons by their signatures (a JPEG named .NEF is
//   a JPEG);
// - a TIFF-structured file goes to LibRaw when its first directory says it
//   holds raw sensor data (a DNG under any name), or when its name has a RAW
//   extension and LibRaw knows it (NEF, CR2, ARW, PEF, ... are TIFFs too);
//   otherwise to libtiff. Once LibRaw knows a file its failure is final: a
//   damaged NEF must not load as the small preview libtiff would find;
// - anything else goes to LibRaw (RAF, CR3, ORF, RW2, CRW, MRW, X3F, ...),
//   which knows the RAW formats by their content.
enum class Route { kOwn, kLibRaw, kLibRawThenTiff };

Route RouteOf(codecs::ImageKind kind, const uint8_t* data, size_t size, bool rawName) {
    switch (kind) {
        case codecs::ImageKind::Tiff:
            if (codecs::TiffHoldsRaw(data, size)) {
                return Route::kLibRaw;
            }
            return rawName ? Route::kLibRawThenTiff : Route::kOwn;
        case codecs::ImageKind::Unknown:
            return Route::kLibRaw;
        default:
            return Route::kOwn;
    }
}

// The decoders of 8-bit formats.
bool Decode8(codecs::ImageKind kind, const uint8_t* data, size_t size, RgbImage& out) {
    switch (kind) {
        case codecs::ImageKind::Jpeg:
            return codecs::DecodeJpeg(data, size, out);
        case codecs::ImageKind::Gif:
            return codecs::DecodeGif(data, size, out);
        case codecs::ImageKind::Bmp:
            return codecs::DecodeBmp(data, size, out);
        case codecs::ImageKind::Ico:
            return codecs::DecodeIco(data, size, out);
        default:
            return false;
    }
}

bool Decode(const std::vector<uint8_t>& bytes, RgbImage& out, int depth, bool rawName) {
    const uint8_t* data = bytes.data();
    const size_t size = bytes.size();
    const codecs::ImageKind kind = codecs::DetectKind(data, size);
    switch (RouteOf(kind, data, size, rawName)) {
        case Route::kLibRaw:
            return codecs::DecodeRawFile(data, size, out, depth) == codecs::RawResult::kDecoded;
        case Route::kLibRawThenTiff: {
            const codecs::RawResult result = codecs::DecodeRawFile(data, size, out, depth);
            if (result != codecs::RawResult::kNotRaw) {
                return result == codecs::RawResult::kDecoded;
            }
            break;
        }
        case Route::kOwn:
            break;
    }
    switch (kind) {
        case codecs::ImageKind::Png:
            return codecs::DecodePng(data, size, out, depth);
        case codecs::ImageKind::Tiff:
            return codecs::DecodeTiff(data, size, out, depth);
        default:
            // Widened in place: a buffer that held a 16-bit frame of this
            // size has room for it.
            return Decode8(kind, data, size, out) && out.ConvertDepth(depth);
    }
}

// Below this many pixels a JPEG is encoded on one thread: starting threads
// costs more than the bands save.
constexpr int64_t kBandedJpegPixels = int64_t{1} << 20;

// Pictures are saved as JPEG at this quality.
constexpr int kJpegQuality = 100;

bool EncodesInBands(const RgbImage& image, int threads) {
    return threads > 1 && int64_t{image.Width()} * image.Height() >= kBandedJpegPixels;
}

bool Encode(const RgbImage& image, SaveFormat format, std::vector<uint8_t>& bytes, int threads) {
    switch (format) {
        case SaveFormat::Bmp:
            return codecs::EncodeBmp(image, bytes);
        case SaveFormat::Png:
            return codecs::EncodePng(image, bytes);
        case SaveFormat::Gif:
            return codecs::EncodeGif(image, bytes);
        case SaveFormat::Tiff:
            return codecs::EncodeTiff(image, bytes);
        case SaveFormat::Jpeg:
            if (EncodesInBands(image, threads)) {
                return codecs::EncodeJpegBands(image, kJpegQuality, threads, bytes);
            }
            return codecs::EncodeJpeg(image, kJpegQuality, bytes);
    }
    return false;
}

void SetReason(std::string* reason, const std::string& text) {
    if (reason != nullptr) {
        *reason = text;
    }
}

// A save with a scratch is one of a series, a file per frame (step files,
// moving-maximum outputs): it skips the flush to disk, which would cost
// the run a disk wait per frame. A result is flushed.
AtomicWrite WriteHow(const SaveScratch* scratch) {
    AtomicWrite how;
    how.flushToDisk = scratch == nullptr;
    return how;
}

}  // namespace

std::string FileExtension(std::string_view fileName) {
    const size_t dot = fileName.rfind('.');
    const size_t slash = fileName.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return std::string();
    }
    return std::string(fileName.substr(dot));
}

bool IsLoadableName(std::string_view fileName) {
    if (fileName.empty()) {
        return false;
    }
    const std::string ext = Upper(FileExtension(fileName));
    return !ext.empty() &&
           (kLoadExtensions.find(ext) != std::string_view::npos || IsRawName(fileName));
}

bool IsRawName(std::string_view fileName) {
    const std::string ext = Upper(FileExtension(fileName));
    return ext.size() > 1 && kRawExtensions.find(ext + ".") != std::string_view::npos;
}

namespace {

// Loads fileName into destination. With keepOnFailure the picture is decoded
// into a scratch image first, so that a failed decode leaves destination as
// it was; without it the decoder writes straight into destination.
bool Load(RgbImage& destination, const std::string& fileName, int* formatCode, bool keepOnFailure,
          int depth) {
    const bool supported = IsLoadableName(fileName);
    bool ok = false;
    if (supported && IsRegularFile(fileName)) {
        // Kept per thread: a run loads frame after frame of one size, and
        // reusing the file buffer and the scratch picture spares an
        // allocation (and its page faults) per frame.
        thread_local std::vector<uint8_t> bytes;
        thread_local RgbImage scratch;
        const std::string ext = Upper(FileExtension(fileName));
        RgbImage& target = keepOnFailure ? scratch : destination;
        if (ext == ".WMF" || ext == ".EMF") {
            ok = false;  // no metafile renderer is available on this platform
        } else if (depth != 8 && depth != 16) {
            ok = false;
        } else {
            ok =
                ReadWholeFile(fileName, bytes) && Decode(bytes, target, depth, IsRawName(fileName));
        }
        if (ok && keepOnFailure) {
            // The picture becomes the destination; the destination's old
            // buffer is kept as the next scratch.
            destination.Swap(scratch);
        }
        if (ok) {
            destination.SetFormat(ProcessingFormat(depth));
        }
        DropIfHuge(bytes);
    } else {
        // A name that cannot be a picture, or no such file: nothing to show,
        // and nothing a run could merge.
        ClearImage(&destination);
    }
    if (formatCode != nullptr) {
        *formatCode = destination.Format();
    }
    return ok;
}

}  // namespace

bool LoadImageFile(RgbImage& destination, const std::string& fileName, int* formatCode) {
    return Load(destination, fileName, formatCode, true, 8);
}

bool LoadImageFile(RgbImage& destination, const std::string& fileName, const LoadOptions& options,
                   int* formatCode) {
    return Load(destination, fileName, formatCode, true, options.depth);
}

bool LoadImageFileInto(RgbImage& buffer, const std::string& fileName) {
    return Load(buffer, fileName, nullptr, false, 8);
}

bool LoadImageFileInto(RgbImage& buffer, const std::string& fileName, const LoadOptions& options) {
    return Load(buffer, fileName, nullptr, false, options.depth);
}

bool LoadRawPreview(RgbImage& buffer, const std::string& fileName, int& fullWidth,
                    int& fullHeight) {
    fullWidth = 0;
    fullHeight = 0;
    return DecodeWholeFile(fileName, [&](const std::vector<uint8_t>& bytes) {
        const codecs::ImageKind kind = codecs::DetectKind(bytes.data(), bytes.size());
        return RouteOf(kind, bytes.data(), bytes.size(), IsRawName(fileName)) != Route::kOwn &&
               codecs::DecodeRawPreview(bytes.data(), bytes.size(), buffer, fullWidth, fullHeight);
    });
}

bool LoadImageFileReduced(RgbImage& buffer, const std::string& fileName, int scale, int& fullWidth,
                          int& fullHeight) {
    fullWidth = 0;
    fullHeight = 0;
    return DecodeWholeFile(fileName, [&](const std::vector<uint8_t>& bytes) {
        const codecs::ImageKind kind = codecs::DetectKind(bytes.data(), bytes.size());
        const Route route = RouteOf(kind, bytes.data(), bytes.size(), IsRawName(fileName));
        if (kind == codecs::ImageKind::Jpeg) {
            return codecs::DecodeJpegScaled(bytes.data(), bytes.size(), scale, buffer, fullWidth,
                                            fullHeight);
        }
        bool ok = false;
        if (route != Route::kOwn) {
            // As in full: a RAW file LibRaw cannot develop fails; one it does
            // not know at all (a plain TIFF named .NEF) is a TIFF after all.
            const codecs::RawResult raw = codecs::DecodeRawHalfSize(bytes.data(), bytes.size(),
                                                                    buffer, fullWidth, fullHeight);
            if (raw != codecs::RawResult::kNotRaw || route != Route::kLibRawThenTiff) {
                return raw == codecs::RawResult::kDecoded;
            }
            ok = codecs::DecodeTiff(bytes.data(), bytes.size(), buffer, 8);
        } else {
            ok = Decode(bytes, buffer, 8, IsRawName(fileName));
        }
        fullWidth = ok ? buffer.Width() : 0;
        fullHeight = ok ? buffer.Height() : 0;
        return ok;
    });
}

RawDecodeThreads::RawDecodeThreads(int threads) : previous_(codecs::RawDevelopThreads()) {
    codecs::SetRawDevelopThreads(threads);
}

RawDecodeThreads::~RawDecodeThreads() {
    codecs::SetRawDevelopThreads(previous_);
}

SaveFormat SaveFormatForName(std::string_view fileName) {
    const std::string ext = Upper(FileExtension(fileName).substr(0, 4));
    const size_t found = ext.empty() ? std::string_view::npos : kSaveExtensions.find(ext);
    const size_t p = found == std::string_view::npos ? 0 : found + 1;  // positions count from 1
    switch (p / 4) {
        case 1:
            return SaveFormat::Png;
        case 2:
            return SaveFormat::Gif;
        case 3:
            return SaveFormat::Tiff;
        case 4:
        case 5:
        case 6:
            return SaveFormat::Jpeg;
        default:
            return SaveFormat::Bmp;
    }
}

bool SaveFormatHolds16Bits(std::string_view fileName) {
    const SaveFormat format = SaveFormatForName(fileName);
    return format == SaveFormat::Png || format == SaveFormat::Tiff;
}

struct SaveScratch::Buffers {
    codecs::JpegEncoder jpeg;
    std::vector<uint8_t> bytes;
    RgbImage narrowed;  // a 16-bit picture rounded for an 8-bit format
};

SaveScratch::SaveScratch() noexcept = default;

SaveScratch::~SaveScratch() = default;

SaveScratch::Buffers& SaveScratch::buffers() {
    if (!buffers_) {
        buffers_ = std::make_unique<Buffers>();
    }
    return *buffers_;
}

bool SaveImageFile(const RgbImage& picture, std::string& fileName, std::string_view defaultName,
                   std::string* reason, int encodeThreads, SaveScratch* scratch) {
    if (fileName.empty()) {
        fileName = std::string(defaultName);
    }
    if (picture.Width() <= 0 || picture.Height() <= 0) {
        SetReason(reason, "the picture is empty");
        return false;
    }
    // A 16-bit picture goes to an 8-bit-only format rounded to 8 bits, through
    // the scratch's picture when there is one.
    const bool narrow = picture.Depth() == 16 && !SaveFormatHolds16Bits(fileName);
    RgbImage local8;
    RgbImage& narrowed = scratch != nullptr && narrow ? scratch->buffers().narrowed : local8;
    if (narrow && !NarrowTo8(picture, narrowed)) {
        SetReason(reason, std::strerror(ENOMEM));
        return false;
    }
    const RgbImage& image = narrow ? narrowed : picture;
    const SaveFormat format = SaveFormatForName(fileName);
    constexpr const char* kCannotEncode = "the picture cannot be encoded in this format";
    if (scratch != nullptr && format == SaveFormat::Jpeg && !EncodesInBands(image, encodeThreads)) {
        // Written straight from the encoder's buffer.
        codecs::JpegEncoder& jpeg = scratch->buffers().jpeg;
        if (!jpeg.Encode(image, kJpegQuality)) {
            SetReason(reason, kCannotEncode);
            return false;
        }
        AtomicWrite how = WriteHow(scratch);
        how.pastPageCache = scratch->pastPageCache;
        return WriteBytesAtomically(fileName, jpeg.Data(), jpeg.Size(), how, reason);
    }
    std::vector<uint8_t> local;
    std::vector<uint8_t>& bytes = scratch != nullptr ? scratch->buffers().bytes : local;
    bytes.clear();
    if (!Encode(image, format, bytes, encodeThreads)) {
        SetReason(reason, kCannotEncode);
        return false;
    }
    return WriteBytesAtomically(fileName, bytes.data(), bytes.size(), WriteHow(scratch), reason);
}

bool SaveFileBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    return !fileName.empty() && WriteBytesAtomically(fileName, bytes.data(), bytes.size());
}

}  // namespace nocturo
