#include "tests/support/test_support.h"

#include <png.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <stdexcept>

namespace nocturo::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nocturo-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

RgbImage RandomImage(int width, int height, uint32_t seed) {
    RgbImage image;
    image.Resize(width, height);
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = image.Row(y);
        for (int x = 0; x < width * 3; ++x) {
            p[x] = static_cast<uint8_t>(rng() & 0xFF);
        }
    }
    return image;
}

RgbImage SolidImage(int width, int height, uint8_t blue, uint8_t green, uint8_t red) {
    RgbImage image;
    image.Resize(width, height);
    FillImage(image, blue, green, red);
    return image;
}

RgbImage GradientImage(int width, int height) {
    RgbImage image;
    image.Resize(width, height);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = image.Row(y);
        for (int x = 0; x < width; ++x, p += 3) {
            p[0] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
            p[1] = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
            p[2] = static_cast<uint8_t>((x + y) * 127 / (width + height));
        }
    }
    return image;
}

bool SamePixels(const RgbImage& a, const RgbImage& b) {
    return MaxChannelDifference(a, b) == 0;
}

int MaxChannelDifference(const RgbImage& a, const RgbImage& b) {
    if (!a.SameSize(b)) {
        return -1;
    }
    int worst = 0;
    for (int y = 0; y < a.Height(); ++y) {
        const uint8_t* pa = a.Row(y);
        const uint8_t* pb = b.Row(y);
        for (int x = 0; x < a.Width() * 3; ++x) {
            const int d = pa[x] > pb[x] ? pa[x] - pb[x] : pb[x] - pa[x];
            worst = d > worst ? d : worst;
        }
    }
    return worst;
}

std::vector<uint8_t> PixelAt(const RgbImage& image, int x, int y) {
    const uint8_t* p = image.Row(y) + static_cast<size_t>(x) * 3;
    return {p[0], p[1], p[2]};
}

void SetPixel(RgbImage& image, int x, int y, uint8_t blue, uint8_t green, uint8_t red) {
    uint8_t* p = image.Row(y) + static_cast<size_t>(x) * 3;
    p[0] = blue;
    p[1] = green;
    p[2] = red;
}

std::vector<uint8_t> WritePngWithLibpng(const RgbImage& picture) {
    std::vector<uint8_t> pixels;
    for (int y = 0; y < picture.Height(); ++y) {
        pixels.insert(pixels.end(), picture.Row(y), picture.Row(y) + picture.Stride());
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.Width());
    image.height = static_cast<png_uint_32>(picture.Height());
    image.format = PNG_FORMAT_BGR;
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(image, size, 0, pixels.data(), 0, nullptr)) {
        throw std::runtime_error("libpng cannot size the picture");
    }
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, nullptr)) {
        throw std::runtime_error("libpng cannot write the picture");
    }
    out.resize(size);
    return out;
}

std::vector<uint8_t> ReadBytes(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    std::ofstream out(fileName, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::string TestDataDir() {
    const std::filesystem::path dir = NOCTURO_TESTDATA_DIR;
    std::error_code ec;
    return std::filesystem::is_directory(dir, ec) ? dir.lexically_normal().string() : std::string();
}

}  // namespace nocturo::test
