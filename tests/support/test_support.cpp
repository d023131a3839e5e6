#include "tests/support/test_support.h"

#include <png.h>

#include <unistd.h>
#include <csetjmp>
#include <cstring>

#include <algorithm>
#include <cstdlib>
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

RgbImage RandomImage16(int width, int height, uint32_t seed) {
    RgbImage image;
    image.Resize(width, height, 16);
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y) {
        uint16_t* p = image.Row16(y);
        for (int x = 0; x < width * 3; ++x) {
            p[x] = static_cast<uint16_t>(rng() & 0xFFFF);
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
    if (!a.SameSize(b) || a.Depth() != b.Depth()) {
        return -1;
    }
    int worst = 0;
    for (int y = 0; y < a.Height() && a.Depth() == 16; ++y) {
        for (int x = 0; x < a.Width() * 3; ++x) {
            worst = std::max(worst, std::abs(a.Row16(y)[x] - b.Row16(y)[x]));
        }
    }
    for (int y = 0; y < a.Height() && a.Depth() == 8; ++y) {
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

namespace {

struct PngSource {
    const std::vector<uint8_t>* bytes;
    size_t pos;
};

void ReadFromSource(png_structp png, png_bytep out, size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source->pos + length > source->bytes->size()) {
        png_error(png, "the file ends early");
    }
    std::memcpy(out, source->bytes->data() + source->pos, length);
    source->pos += length;
}

// Everything that owns memory lives in the caller: a libpng error jumps
// out of here.
bool ReadGrey16Rows(png_structp png, png_infop info, std::vector<uint8_t>& rows, int& width,
                    int& height) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);
    if (png_get_bit_depth(png, info) != 16 ||
        png_get_color_type(png, info) != PNG_COLOR_TYPE_GRAY) {
        return false;
    }
    width = static_cast<int>(png_get_image_width(png, info));
    height = static_cast<int>(png_get_image_height(png, info));
    rows.resize(static_cast<size_t>(width) * height * 2);
    for (int y = 0; y < height; ++y) {
        png_read_row(png, rows.data() + static_cast<size_t>(y) * width * 2, nullptr);
    }
    return true;
}

}  // namespace

std::vector<uint16_t> ReadGrey16Png(const std::string& fileName, int& width, int& height) {
    const std::vector<uint8_t> bytes = ReadBytes(fileName);
    PngSource source{&bytes, 0};
    std::vector<uint8_t> rows;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &source, ReadFromSource);
    int w = 0;
    int h = 0;
    const bool ok = ReadGrey16Rows(png, info, rows, w, h);
    png_destroy_read_struct(&png, &info, nullptr);
    width = ok ? w : 0;
    height = ok ? h : 0;
    std::vector<uint16_t> samples;
    if (ok) {
        samples.resize(static_cast<size_t>(w) * h);
        for (size_t k = 0; k < samples.size(); ++k) {
            samples[k] = static_cast<uint16_t>(rows[2 * k] << 8 | rows[2 * k + 1]);
        }
    }
    return samples;
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
