#pragma once
// The one in-memory raster of Nocturo: 24 bits per pixel, bytes in the order
// blue, green, red, row 0 at the top.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace nocturo {

/// Pixel format codes carried by an image. Processing always happens at
/// code 6 (24 bits per pixel); other codes are only tags that an image may
/// carry for a while (the view keeps the code that a file was loaded with).
enum PixelFormat : int {
    kPixelFormatDevice = 0,  ///< the display's own format
    kPixelFormat1 = 1,
    kPixelFormat4 = 2,
    kPixelFormat8 = 3,
    kPixelFormat15 = 4,
    kPixelFormat16 = 5,
    kPixelFormat24 = 6,
    kPixelFormat32 = 7,
    kPixelFormatCustom = 8,
};

/// Bits per pixel of a format code: 1, 4, 8, 15, 16, 24, 32 for codes 1..7,
/// -1 for any other code.
int PixelFormatBits(int formatCode);
/// Format code of a number of bits per pixel: the inverse of the above, and
/// 8 (custom) for any other number of bits.
int PixelFormatFromBits(int bits);

/// Largest picture the program accepts, in pixels. Decoders refuse larger
/// declared sizes before they allocate anything.
inline constexpr int64_t kMaxPixels = 500'000'000;

/// A 24-bit BGR raster. Rows are stored top-down and back to back, but code
/// outside this class reaches them only through Row(), so that the layout can
/// change. Resizing keeps the allocation when it is large enough, so a
/// working image that receives frame after frame of one size allocates once.
class RgbImage {
  public:
    RgbImage() = default;
    RgbImage(const RgbImage& other);
    RgbImage& operator=(const RgbImage& other);
    RgbImage(RgbImage&& other) noexcept;
    RgbImage& operator=(RgbImage&& other) noexcept;
    ~RgbImage() = default;

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Format() const { return format_; }
    /// Changes only the format tag; the pixels stay 24-bit BGR.
    void SetFormat(int formatCode) { format_ = formatCode; }

    /// Bytes from the start of one row to the next.
    size_t Stride() const { return static_cast<size_t>(width_) * 3; }

    uint8_t* Row(int y) { return data_.get() + static_cast<size_t>(y) * Stride(); }
    const uint8_t* Row(int y) const { return data_.get() + static_cast<size_t>(y) * Stride(); }

    /// Makes the image width x height at format code 6. The pixel values are
    /// undefined afterwards. Returns false, leaving the image as it was, for a
    /// negative size, a size above kMaxPixels, or when memory runs out.
    bool Resize(int width, int height);

    /// Releases the pixel memory; the image becomes 0 x 0.
    void Release();

    /// Exchanges contents (pixels, size, format) with another image.
    void Swap(RgbImage& other) noexcept;

    bool SameSize(const RgbImage& other) const {
        return width_ == other.width_ && height_ == other.height_;
    }

    /// True for the empty image: 1 x 1, 24-bit, one black pixel.
    bool IsEmptyImage() const;

  private:
    struct FreePixels {
        void operator()(uint8_t* pixels) const;
    };
    std::unique_ptr<uint8_t[], FreePixels> data_;
    size_t capacity_ = 0;  // bytes allocated in data_
    int width_ = 0;
    int height_ = 0;
    int format_ = kPixelFormat24;
};

/// Turns the image into the empty image: 1 x 1, format code 6, black.
/// Does nothing when image is null.
void ClearImage(RgbImage* image);

/// Discards whatever the slot holds, creates a new image, clears it with
/// ClearImage and stores it in the slot. Returns false, leaving the slot
/// empty, when that fails.
bool EnsureImage(std::unique_ptr<RgbImage>& slot);

/// Paints every pixel with one colour.
void FillImage(RgbImage& image, uint8_t blue, uint8_t green, uint8_t red);

/// The destination takes the format code and the source's size and receives
/// the source's pixels. Does nothing when either image is null. With the
/// source's own format code this is an exact copy.
void CopyImage(const RgbImage* source, RgbImage* destination, int formatCode);

/// The one brightness measure of the program: (R + G + B) div 3.
inline constexpr int Luminosity(int blue, int green, int red) {
    return (red + green + blue) / 3;
}

/// Brings an image held at another format code to 24 bits in place. Pixels
/// are always stored at 24 bits, so this only retags the image.
void ConvertTo24Bit(RgbImage& image);

}  // namespace nocturo
