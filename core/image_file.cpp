#include "core/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "core/codecs/codecs.h"

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

bool Encode(const RgbImage& image, SaveFormat format, std::vector<uint8_t>& bytes) {
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
            return codecs::EncodeJpeg(image, 100, bytes);
    }
    return false;
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes bytes to a temporary file beside fileName and renames it into
// place, so that a full disk or an interrupted write never leaves a
// half-written picture under the user's name.
bool WriteFileAtomically(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    const size_t slash = fileName.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    if (base.empty()) {
        return false;
    }
    std::string temp = folder + "." + base + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return false;
    }
    // mkstemp creates the file readable by its owner only; give it the
    // permissions any new file of the user would have.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    bool ok = WriteAll(fd, bytes);
    ok = (::close(fd) == 0) && ok;
    if (ok) {
        ok = ::rename(temp.c_str(), fileName.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(temp.c_str());
    }
    return ok;
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
    bool ok = supported;
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

bool SaveImageFile(const RgbImage& image, std::string& fileName, std::string_view defaultName) {
    if (fileName.empty()) {
        fileName = std::string(defaultName);
    }
    if (image.Width() <= 0 || image.Height() <= 0) {
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!Encode(image, SaveFormatForName(fileName), bytes)) {
        return false;
    }
    return WriteFileAtomically(fileName, bytes);
}

bool SaveFileBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    return !fileName.empty() && WriteFileAtomically(fileName, bytes);
}

}  // namespace nocturo
