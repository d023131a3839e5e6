#include "core/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/atomic_file.h"
#include "core/codecs/codecs.h"
#include "core/codecs/jpeg_bands.h"

namespace nocturo {

namespace {

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

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

bool Decode(const std::vector<uint8_t>& bytes, RgbImage& out) {
    const uint8_t* data = bytes.data();
    const size_t size = bytes.size();
    switch (codecs::DetectKind(data, size)) {
        case codecs::ImageKind::Jpeg:
            return codecs::DecodeJpeg(data, size, out);
        case codecs::ImageKind::Png:
            return codecs::DecodePng(data, size, out);
        case codecs::ImageKind::Gif:
            return codecs::DecodeGif(data, size, out);
        case codecs::ImageKind::Tiff:
            return codecs::DecodeTiff(data, size, out);
        case codecs::ImageKind::Bmp:
            return codecs::DecodeBmp(data, size, out);
        case codecs::ImageKind::Ico:
            return codecs::DecodeIco(data, size, out);
        case codecs::ImageKind::Unknown:
            break;
    }
    return false;
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
    return !ext.empty() && kLoadExtensions.find(ext) != std::string_view::npos;
}

namespace {

// Loads fileName into destination. With keepOnFailure the picture is decoded
// into a scratch image first, so that a failed decode leaves destination as
// it was; without it the decoder writes straight into destination.
bool Load(RgbImage& destination, const std::string& fileName, int* formatCode, bool keepOnFailure) {
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
        } else {
            ok = ReadWholeFile(fileName, bytes) && Decode(bytes, target);
        }
        if (ok && keepOnFailure) {
            // The picture becomes the destination; the destination's old
            // buffer is kept as the next scratch.
            destination.Swap(scratch);
        }
        if (ok) {
            destination.SetFormat(kPixelFormat24);
        }
        if (bytes.capacity() > (size_t{64} << 20)) {
            std::vector<uint8_t>().swap(bytes);  // do not hold on to huge files
        }
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
    return Load(destination, fileName, formatCode, true);
}

bool LoadImageFileInto(RgbImage& buffer, const std::string& fileName) {
    return Load(buffer, fileName, nullptr, false);
}

bool LoadImageFileReduced(RgbImage& buffer, const std::string& fileName, int scale, int& fullWidth,
                          int& fullHeight) {
    fullWidth = 0;
    fullHeight = 0;
    if (!IsLoadableName(fileName) || !IsRegularFile(fileName)) {
        return false;
    }
    thread_local std::vector<uint8_t> bytes;
    bool ok = ReadWholeFile(fileName, bytes);
    if (ok) {
        if (codecs::DetectKind(bytes.data(), bytes.size()) == codecs::ImageKind::Jpeg) {
            ok = codecs::DecodeJpegScaled(bytes.data(), bytes.size(), scale, buffer, fullWidth,
                                          fullHeight);
        } else {
            ok = Decode(bytes, buffer);
            fullWidth = ok ? buffer.Width() : 0;
            fullHeight = ok ? buffer.Height() : 0;
        }
    }
    if (bytes.capacity() > (size_t{64} << 20)) {
        std::vector<uint8_t>().swap(bytes);
    }
    return ok;
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

struct SaveScratch::Buffers {
    codecs::JpegEncoder jpeg;
    std::vector<uint8_t> bytes;
};

SaveScratch::SaveScratch() noexcept = default;

SaveScratch::~SaveScratch() = default;

SaveScratch::Buffers& SaveScratch::buffers() {
    if (!buffers_) {
        buffers_ = std::make_unique<Buffers>();
    }
    return *buffers_;
}

bool SaveImageFile(const RgbImage& image, std::string& fileName, std::string_view defaultName,
                   std::string* reason, int encodeThreads, SaveScratch* scratch) {
    if (fileName.empty()) {
        fileName = std::string(defaultName);
    }
    if (image.Width() <= 0 || image.Height() <= 0) {
        SetReason(reason, "the picture is empty");
        return false;
    }
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
