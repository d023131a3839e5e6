#pragma once
// Helpers shared by the tests: scratch folders, generated pictures, file bytes.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/rgb_image.h"

namespace nocturo::test {

/// A fresh folder under the system's temporary folder, removed with the
/// object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    /// Full name of a file in the folder, as text.
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

/// A w x h 24-bit picture of deterministic pseudo-random bytes.
RgbImage RandomImage(int width, int height, uint32_t seed);
/// A w x h picture at 16 bits per channel of deterministic pseudo-random
/// samples.
RgbImage RandomImage16(int width, int height, uint32_t seed);
/// A w x h picture of one colour.
RgbImage SolidImage(int width, int height, uint8_t blue, uint8_t green, uint8_t red);
/// A smooth gradient picture, which lossy codecs reproduce closely.
RgbImage GradientImage(int width, int height);

/// True when both pictures have the same size, depth and pixels.
bool SamePixels(const RgbImage& a, const RgbImage& b);
/// Largest difference of any channel; -1 when the sizes or depths differ.
int MaxChannelDifference(const RgbImage& a, const RgbImage& b);

/// Pixel (x, y) as {blue, green, red}.
std::vector<uint8_t> PixelAt(const RgbImage& image, int x, int y);
void SetPixel(RgbImage& image, int x, int y, uint8_t blue, uint8_t green, uint8_t red);

/// The picture as PNG bytes written by libpng itself, independent of the
/// program's own encoder (for tests of decoders that embed or detect PNG).
std::vector<uint8_t> WritePngWithLibpng(const RgbImage& picture);

/// Reads a 16-bit grey PNG with libpng itself: its samples row by row, or
/// nothing (width and height 0) when the file is not one.
std::vector<uint16_t> ReadGrey16Png(const std::string& fileName, int& width, int& height);

std::vector<uint8_t> ReadBytes(const std::string& fileName);
void WriteBytes(const std::string& fileName, const std::vector<uint8_t>& bytes);

/// Folder of the public conformance pictures, or empty when it is absent
/// (tests then GTEST_SKIP).
std::string TestDataDir();

}  // namespace nocturo::test
