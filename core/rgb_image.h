#pragma once
// The one in-memory raster of Nocturo: three channels in the order blue,
// green, red, row 0 at the top, at 8 bits per channel (24 bits per pixel,
// the usual case) or 16 bits per channel (48 bits per pixel, native-endian
// uint16_t samples, for nights kept at 16 bits).

#include <cstddef>
#include <cstdint>
#include <memory>

namespace nocturo {

/// Pixel format codes carried by an image. Processing happens at code 6 (24
/// bits per pixel) for 8-bit pictures and at code 9 (48 bits per pixel) for
/// 16-bit ones; other codes are only tags that an image may carry for a
/// while (the view keeps the code that a file was loaded with).
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
    kPixelFormat48 = 9,  ///< 16 bits per channel
};

/// Bits per pixel of a format code: 1, 4, 8, 15, 16, 24, 32 for codes 1..7,
/// 48 for code 9, -1 for any other code.
int PixelFormatBits(int formatCode);
/// Format code of a number of bits per pixel: the inverse of the above for
/// codes 1..7, and 8 (custom) for any other number of bits. Pictures of 48
/// bits per pixel are only ever made by Resize, never from a bit count.
int PixelFormatFromBits(int bits);

/// The code pixels of a depth (8 or 16 bits per channel) are processed at:
/// 6 for 8 bits, 9 for 16.
constexpr int ProcessingFormat(int depth) {
    return depth == 16 ? kPixelFormat48 : kPixelFormat24;
}

/// White of a 16-bit channel: 65535 stands where 255 does at 8 bits.
inline constexpr int kWhite16 = 65535;

/// Largest picture the program accepts, in pixels. Decoders refuse larger
/// declared sizes before they allocate anything.
inline constexpr int64_t kMaxPixels = 500'000'000;

/// A BGR raster of 8 or 16 bits per channel. Rows are stored top-down and
/// back to back, but code outside this class reaches them only through Row()
/// (bytes) or Row16() (16-bit samples), so that the layout can change.
/// Resizing keeps the allocation when it is large enough, so a working image
/// that receives frame after frame of one size allocates once.
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
    /// Changes only the format tag; the pixels keep their depth.
    void SetFormat(int formatCode) { format_ = formatCode; }
    /// Bits per channel of the stored pixels: 8 or 16.
    int Depth() const { return depth_; }

    /// Bytes from the start of one row to the next: 3 or 6 per pixel.
    size_t Stride() const { return static_cast<size_t>(width_) * 3 * (depth_ >> 3); }
    /// Bytes of all pixels: what the image costs in memory.
    size_t Bytes() const { return Stride() * static_cast<size_t>(height_); }
    /// Bytes the pixels of a width x height picture at a depth take.
    static size_t BytesFor(int width, int height, int depth) {
        return static_cast<size_t>(width) * 3 * static_cast<size_t>(depth >> 3) *
               static_cast<size_t>(height);
    }

    uint8_t* Row(int y) { return data_.get() + static_cast<size_t>(y) * Stride(); }
    const uint8_t* Row(int y) const { return data_.get() + static_cast<size_t>(y) * Stride(); }
    /// Row y as 16-bit samples, B, G, R per pixel; only for Depth() 16.
    uint16_t* Row16(int y) { return reinterpret_cast<uint16_t*>(Row(y)); }
    const uint16_t* Row16(int y) const { return reinterpret_cast<const uint16_t*>(Row(y)); }

    /// Makes the image width x height at depth bits per channel (8 or 16),
    /// tagged with the processing format code of that depth. The pixel values
    /// are undefined afterwards. Returns false, leaving the image as it was,
    /// for a negative size, a size above kMaxPixels, another depth, or when
    /// memory runs out.
    bool Resize(int width, int height, int depth = 8);

    /// Brings the pixels to depth bits per channel in place: 8 -> 16 widens
    /// each channel exactly (v * 257), 16 -> 8 narrows it to the nearest
    /// value ((v + 128) / 257). The format code becomes the processing code
    /// of the new depth. Keeps the allocation when it is large enough.
    /// False, leaving the image as it was, for another depth or when memory
    /// runs out.
    bool ConvertDepth(int depth);

    /// Releases the pixel memory; the image becomes 0 x 0.
    void Release();

    /// Exchanges contents (pixels, size, depth, format) with another image.
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
    int depth_ = 8;
    int format_ = kPixelFormat24;
};

/// Turns the image into the empty image: 1 x 1, format code 6, black.
/// Does nothing when image is null.
void ClearImage(RgbImage* image);

/// Discards whatever the slot holds, creates a new image, clears it with
/// ClearImage and stores it in the slot. Returns false, leaving the slot
/// empty, when that fails.
bool EnsureImage(std::unique_ptr<RgbImage>& slot);

/// Paints every pixel with one colour; a 16-bit image gets the colour
/// widened (v * 257).
void FillImage(RgbImage& image, uint8_t blue, uint8_t green, uint8_t red);

/// The destination takes the format code and the source's size and depth and
/// receives the source's pixels. Does nothing when either image is null.
/// With the source's own format code this is an exact copy.
void CopyImage(const RgbImage* source, RgbImage* destination, int formatCode);

/// One 8-bit channel value at 16 bits, exactly: 0 -> 0, 255 -> 65535.
constexpr uint16_t Widen8(uint8_t v) {
    return static_cast<uint16_t>(v * 257);
}
/// One 16-bit channel value at 8 bits, the nearest: (v + 128) div 257,
/// exact rounding since 257 is odd. Narrow16(Widen8(v)) == v.
constexpr uint8_t Narrow16(uint16_t v) {
    return static_cast<uint8_t>((static_cast<uint32_t>(v) + 128) / 257);
}

/// destination := source at 16 bits per channel (Widen8 on every channel of
/// an 8-bit source, a copy of a 16-bit one), at format code 9. False when
/// memory runs out; destination may be source.
bool WidenTo16(const RgbImage& source, RgbImage& destination);
/// destination := source at 8 bits per channel (Narrow16 on every channel of
/// a 16-bit source, a copy of an 8-bit one), at format code 6. False when
/// memory runs out; destination may be source.
bool NarrowTo8(const RgbImage& source, RgbImage& destination);

/// The one brightness measure of the program: (R + G + B) div 3, on the
/// channel values of the picture's own depth.
inline constexpr int Luminosity(int blue, int green, int red) {
    return (red + green + blue) / 3;
}

/// Brings an image held at another format code to the processing format of
/// its depth in place: code 6 at 8 bits per channel, code 9 at 16. The
/// pixels are always stored at one of those, so this only retags the image.
void ConvertTo24Bit(RgbImage& image);

}  // namespace nocturo
