#include "core/rgb_image.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "core/large_array.h"

namespace nocturo {

void RgbImage::FreePixels::operator()(uint8_t* pixels) const {
    std::free(pixels);
}

int PixelFormatBits(int formatCode) {
    switch (formatCode) {
        case 1:
            return 1;
        case 2:
            return 4;
        case 3:
            return 8;
        case 4:
            return 15;
        case 5:
            return 16;
        case 6:
            return 24;
        case 7:
            return 32;
        case kPixelFormat48:
            return 48;
        default:
            return -1;
    }
}

int PixelFormatFromBits(int bits) {
    switch (bits) {
        case 1:
            return 1;
        case 4:
            return 2;
        case 8:
            return 3;
        case 15:
            return 4;
        case 16:
            return 5;
        case 24:
            return 6;
        case 32:
            return 7;
        default:
            return kPixelFormatCustom;
    }
}

RgbImage::RgbImage(const RgbImage& other) {
    *this = other;
}

RgbImage& RgbImage::operator=(const RgbImage& other) {
    if (this != &other) {
        if (!Resize(other.width_, other.height_, other.depth_)) {
            throw std::bad_alloc();
        }
        if (other.width_ > 0 && other.height_ > 0) {
            std::memcpy(data_.get(), other.data_.get(), Stride() * static_cast<size_t>(height_));
        }
        format_ = other.format_;
    }
    return *this;
}

RgbImage::RgbImage(RgbImage&& other) noexcept {
    Swap(other);
}

RgbImage& RgbImage::operator=(RgbImage&& other) noexcept {
    if (this != &other) {
        Release();
        Swap(other);
    }
    return *this;
}

bool RgbImage::Resize(int width, int height, int depth) {
    if (width < 0 || height < 0 || (depth != 8 && depth != 16) ||
        static_cast<int64_t>(width) * static_cast<int64_t>(height) > kMaxPixels) {
        return false;
    }
    const size_t bytes = BytesFor(width, height, depth);
    if (bytes > capacity_) {
        // Pixel values are undefined after a resize, so nothing is copied and
        // nothing is initialised.
        size_t allocated = bytes;
        auto* fresh = static_cast<uint8_t*>(AllocateLarge(allocated));
        if (fresh == nullptr) {
            return false;
        }
        data_.reset(fresh);
        capacity_ = allocated;
    }
    width_ = width;
    height_ = height;
    depth_ = depth;
    format_ = ProcessingFormat(depth);
    return true;
}

namespace {

// The row loops of the depth conversions; both vectorise.
void WidenSamples(const uint8_t* __restrict in, uint16_t* __restrict out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        out[i] = Widen8(in[i]);
    }
}

void NarrowSamples(const uint16_t* __restrict in, uint8_t* __restrict out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        out[i] = Narrow16(in[i]);
    }
}

}  // namespace

bool RgbImage::ConvertDepth(int depth) {
    if (depth != 8 && depth != 16) {
        return false;
    }
    if (depth == depth_) {
        format_ = ProcessingFormat(depth);
        return true;
    }
    const size_t samples = static_cast<size_t>(width_) * 3;
    if (depth == 16 && BytesFor(width_, height_, 16) > capacity_) {
        RgbImage wide;
        if (!WidenTo16(*this, wide)) {
            return false;
        }
        Swap(wide);
        return true;
    }
    uint8_t* base = data_.get();
    if (depth == 16) {
        // Row y at 16 bits starts at 6wy, past the end of row y at 8 bits
        // (3w(y + 1)) for every y above 0, and covers only 8-bit rows from y
        // on: going from the last row up, each row is read before it is
        // written over, and rows above 0 are disjoint from their output.
        for (int y = height_ - 1; y >= 1; --y) {
            WidenSamples(base + samples * y, reinterpret_cast<uint16_t*>(base) + samples * y,
                         samples);
        }
        if (height_ > 0) {
            auto* out = reinterpret_cast<uint16_t*>(base);
            for (size_t i = samples; i-- > 0;) {
                out[i] = Widen8(base[i]);  // from the end: sample i is read before it is hit
            }
        }
    } else {
        // The mirror image: from the first row down, row 0 sample by sample.
        const auto* in = reinterpret_cast<const uint16_t*>(base);
        for (size_t i = 0; i < samples && height_ > 0; ++i) {
            base[i] = Narrow16(in[i]);
        }
        for (int y = 1; y < height_; ++y) {
            NarrowSamples(in + samples * y, base + samples * y, samples);
        }
    }
    depth_ = depth;
    format_ = ProcessingFormat(depth);
    return true;
}

void RgbImage::Release() {
    data_.reset();
    capacity_ = 0;
    width_ = 0;
    height_ = 0;
    depth_ = 8;
    format_ = kPixelFormat24;
}

void RgbImage::Swap(RgbImage& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(capacity_, other.capacity_);
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    std::swap(depth_, other.depth_);
    std::swap(format_, other.format_);
}

bool RgbImage::IsEmptyImage() const {
    return width_ == 1 && height_ == 1 && depth_ == 8 && format_ == kPixelFormat24 &&
           data_[0] == 0 && data_[1] == 0 && data_[2] == 0;
}

void ClearImage(RgbImage* image) {
    if (image == nullptr) {
        return;
    }
    // A single pixel always fits in whatever the image holds, or is allocated.
    if (!image->Resize(1, 1)) {
        return;
    }
    uint8_t* p = image->Row(0);
    p[0] = p[1] = p[2] = 0;
}

bool EnsureImage(std::unique_ptr<RgbImage>& slot) {
    slot.reset();
    auto image = std::unique_ptr<RgbImage>(new (std::nothrow) RgbImage());
    if (!image) {
        return false;
    }
    ClearImage(image.get());
    if (image->Width() != 1 || image->Height() != 1) {
        return false;
    }
    slot = std::move(image);
    return true;
}

void FillImage(RgbImage& image, uint8_t blue, uint8_t green, uint8_t red) {
    const int w = image.Width();
    if (image.Depth() == 16) {
        for (int y = 0; y < image.Height(); ++y) {
            uint16_t* p = image.Row16(y);
            for (int x = 0; x < w; ++x, p += 3) {
                p[0] = Widen8(blue);
                p[1] = Widen8(green);
                p[2] = Widen8(red);
            }
        }
        return;
    }
    for (int y = 0; y < image.Height(); ++y) {
        uint8_t* p = image.Row(y);
        for (int x = 0; x < w; ++x, p += 3) {
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
    }
}

void CopyImage(const RgbImage* source, RgbImage* destination, int formatCode) {
    if (source == nullptr || destination == nullptr || source == destination) {
        if (source != nullptr && source == destination) {
            destination->SetFormat(formatCode);
        }
        return;
    }
    if (!destination->Resize(source->Width(), source->Height(), source->Depth())) {
        return;
    }
    const size_t rowBytes = source->Stride();
    for (int y = 0; y < source->Height(); ++y) {
        std::memcpy(destination->Row(y), source->Row(y), rowBytes);
    }
    destination->SetFormat(formatCode);
}

bool WidenTo16(const RgbImage& source, RgbImage& destination) {
    if (&source == &destination) {
        return destination.ConvertDepth(16);
    }
    if (!destination.Resize(source.Width(), source.Height(), 16)) {
        return false;
    }
    const size_t samples = static_cast<size_t>(source.Width()) * 3;
    for (int y = 0; y < source.Height(); ++y) {
        if (source.Depth() == 16) {
            std::memcpy(destination.Row16(y), source.Row16(y), samples * 2);
        } else {
            WidenSamples(source.Row(y), destination.Row16(y), samples);
        }
    }
    return true;
}

bool NarrowTo8(const RgbImage& source, RgbImage& destination) {
    if (&source == &destination) {
        return destination.ConvertDepth(8);
    }
    if (!destination.Resize(source.Width(), source.Height(), 8)) {
        return false;
    }
    const size_t samples = static_cast<size_t>(source.Width()) * 3;
    for (int y = 0; y < source.Height(); ++y) {
        if (source.Depth() == 8) {
            std::memcpy(destination.Row(y), source.Row(y), samples);
        } else {
            NarrowSamples(source.Row16(y), destination.Row(y), samples);
        }
    }
    return true;
}

void ConvertTo24Bit(RgbImage& image) {
    image.SetFormat(ProcessingFormat(image.Depth()));
}

}  // namespace nocturo
