#include "core/codecs/jpeg_bands.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <exception>
#include <thread>

namespace nocturo::codecs {

namespace {

// Rows of one MCU at 4:4:4: the bands start at multiples of it.
constexpr int kMcuRows = 8;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// libjpeg reports a fatal error by calling error_exit, which must not
// return: jump back to the encode call, which cleans up and fails.
[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void Silent(j_common_ptr, int) {}

// Encodes rows [top, top + rows) of image as a JPEG of its own with a
// restart marker after every MCU row. No C++ object with a destructor lives
// between setjmp and a possible longjmp, so the jump skips nothing.
bool EncodeBand(const RgbImage& image, int top, int rows, int quality, std::vector<uint8_t>& out) {
    jpeg_compress_struct cinfo{};
    ErrorManager errors{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = ErrorExit;
    errors.base.emit_message = Silent;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(image.Width());
    cinfo.image_height = static_cast<JDIMENSION>(rows);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    for (int c = 0; c < cinfo.num_components; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.optimize_coding = FALSE;  // one set of tables for every band
    cinfo.restart_in_rows = 1;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.Row(top + static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    bool ok = false;
    try {
        out.assign(buffer, buffer + size);
        ok = true;
    } catch (const std::bad_alloc&) {
    }
    std::free(buffer);
    return ok;
}

// Where a band's entropy-coded data starts (after its SOS segment) and where
// its EOI marker stands; false for bytes that are not such a file.
bool FindScan(const std::vector<uint8_t>& jpeg, size_t& dataStart, size_t& dataEnd,
              size_t& sofHeight) {
    size_t at = 2;  // after SOI
    sofHeight = 0;
    while (at + 4 <= jpeg.size()) {
        if (jpeg[at] != 0xFF) {
            return false;
        }
        const uint8_t marker = jpeg[at + 1];
        const size_t length = (size_t{jpeg[at + 2]} << 8) | jpeg[at + 3];
        if (marker == 0xC0) {
            sofHeight = at + 5;  // after length and precision
        }
        if (marker == 0xDA) {
            dataStart = at + 2 + length;
            if (jpeg.size() < dataStart + 2 || jpeg[jpeg.size() - 2] != 0xFF ||
                jpeg[jpeg.size() - 1] != 0xD9) {
                return false;
            }
            dataEnd = jpeg.size() - 2;
            return sofHeight != 0;
        }
        at += 2 + length;
    }
    return false;
}

}  // namespace

bool EncodeJpegBands(const RgbImage& image, int quality, int threads, std::vector<uint8_t>& out) {
    const int width = image.Width();
    const int height = image.Height();
    if (width <= 0 || height <= 0 || height > 65535 || width > 65535 || image.Depth() != 8) {
        return false;
    }
    quality = std::clamp(quality, 1, 100);
    const int mcuRows = (height + kMcuRows - 1) / kMcuRows;
    const int bandCount = std::clamp(threads, 1, mcuRows);
    // Bands of whole MCU rows, as even as they come.
    std::vector<int> firstRow(static_cast<size_t>(bandCount) + 1);
    for (int b = 0; b <= bandCount; ++b) {
        firstRow[static_cast<size_t>(b)] = static_cast<int>(int64_t{mcuRows} * b / bandCount);
    }
    std::vector<std::vector<uint8_t>> bands(static_cast<size_t>(bandCount));
    std::vector<char> done(static_cast<size_t>(bandCount), 0);
    auto encode = [&](int b) {
        const int top = firstRow[static_cast<size_t>(b)] * kMcuRows;
        const int bottom = std::min(height, firstRow[static_cast<size_t>(b) + 1] * kMcuRows);
        done[static_cast<size_t>(b)] =
            EncodeBand(image, top, bottom - top, quality, bands[static_cast<size_t>(b)]) ? 1 : 0;
    };
    std::vector<std::thread> helpers;
    for (int b = 1; b < bandCount; ++b) {
        try {
            helpers.emplace_back(encode, b);
        } catch (const std::exception&) {
            encode(b);  // no thread to be had: encode it here
        }
    }
    encode(0);
    for (std::thread& helper : helpers) {
        helper.join();
    }
    if (std::find(done.begin(), done.end(), 0) != done.end()) {
        return false;
    }

    // Band 0 keeps its headers, with the whole height in its frame header;
    // every later band adds its entropy-coded data after the restart marker
    // that ends the row before it, its own markers renumbered to count on.
    std::vector<uint8_t> joined;
    try {
        size_t start = 0, end = 0, sof = 0;
        if (!FindScan(bands[0], start, end, sof)) {
            return false;
        }
        joined.assign(bands[0].begin(), bands[0].begin() + static_cast<std::ptrdiff_t>(end));
        joined[sof] = static_cast<uint8_t>(height >> 8);
        joined[sof + 1] = static_cast<uint8_t>(height & 0xFF);
        for (int b = 1; b < bandCount; ++b) {
            const std::vector<uint8_t>& band = bands[static_cast<size_t>(b)];
            if (!FindScan(band, start, end, sof)) {
                return false;
            }
            const int row = firstRow[static_cast<size_t>(b)];
            joined.push_back(0xFF);
            joined.push_back(static_cast<uint8_t>(0xD0 + (row - 1) % 8));
            for (size_t k = start; k < end; ++k) {
                uint8_t byte = band[k];
                if (k > start && band[k - 1] == 0xFF && byte >= 0xD0 && byte <= 0xD7) {
                    byte = static_cast<uint8_t>(0xD0 + (byte - 0xD0 + row) % 8);
                }
                joined.push_back(byte);
            }
        }
        joined.push_back(0xFF);
        joined.push_back(0xD9);
        out.insert(out.end(), joined.begin(), joined.end());
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace nocturo::codecs
