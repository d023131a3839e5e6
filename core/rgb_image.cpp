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
        if (!Resize(other.width_, other.height_)) {
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

bool RgbImage::Resize(int width, int height) {
    if (width < 0 || height < 0 ||
        static_cast<int64_t>(width) * static_cast<int64_t>(height) > kMaxPixels) {
        return false;
    }
    const size_t bytes = static_cast<size_t>(width) * 3 * static_cast<size_t>(height);
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
    format_ = kPixelFormat24;
    return true;
}

void RgbImage::Release() {
    data_.reset();
    capacity_ = 0;
    width_ = 0;
    height_ = 0;
    format_ = kPixelFormat24;
}

void RgbImage::Swap(RgbImage& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(capacity_, other.capacity_);
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    std::swap(format_, other.format_);
}

bool RgbImage::IsEmptyImage() const {
    return width_ == 1 && height_ == 1 && format_ == kPixelFormat24 && data_[0] == 0 &&
           data_[1] == 0 && data_[2] == 0;
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
    if (!destination->Resize(source->Width(), source->Height())) {
        return;
    }
    const size_t rowBytes = source->Stride();
    for (int y = 0; y < source->Height(); ++y) {
        std::memcpy(destination->Row(y), source->Row(y), rowBytes);
    }
    destination->SetFormat(formatCode);
}

void ConvertTo24Bit(RgbImage& image) {
    image.SetFormat(kPixelFormat24);
}

}  // namespace nocturo
