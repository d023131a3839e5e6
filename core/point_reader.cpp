#include "core/point_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

class File final : public codecs::ByteSource {
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
    int64_t Size() const override { return size_; }

    bool ReadAt(int64_t offset, void* buffer, size_t count) const override {
        if (offset < 0 || offset > size_ || count > static_cast<uint64_t>(size_ - offset)) {
            return false;
        }
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

namespace codecs {

bool MemorySource::ReadAt(int64_t offset, void* buffer, size_t count) const {
    if (offset < 0 || static_cast<uint64_t>(offset) > size_ || count > size_ - offset) {
        return false;
    }
    std::memcpy(buffer, data_ + offset, count);
    return true;
}

}  // namespace codecs

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
                result = codecs::ReadTiffPoint(file, x, y, sample);
            }
            break;
        case codecs::ImageKind::Bmp:
            result = codecs::ReadBmpPoint(file, x, y, sample);
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
