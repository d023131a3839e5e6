// One pixel of a JPEG through the libjpeg API: the rows above the point's
// band are skipped (their entropy data is read but never transformed) and
// only a few blocks of columns around the point are decoded. The colour
// conversion and the smooth chroma upsampling are those TurboJPEG uses for
// the whole picture, so the pixel is the one a full decode gives. Where the
// file allows it, only a cut of the bands around the point is decoded.

// jpeglib.h needs size_t and FILE declared before it.
#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "core/codecs/jpeg_cut.h"
#include "core/codecs/jpeg_guard.h"
#include "core/point_reader.h"
#include "core/rgb_image.h"

namespace nocturo::codecs {

namespace {

// Chroma upsampling looks at the neighbouring samples: a pixel at the edge
// of a cropped or freshly started band would see the band's edge instead.
// Starting this many pixels (and one band of rows) away keeps the point
// clear of both.
constexpr JDIMENSION kColumnMargin = 32;

// Jumped over by libjpeg's errors: nothing here may need a destructor.
PointResult Read(jpeg_decompress_struct& cinfo, JpegGuard& guard, size_t size, int x, int y,
                 PointSample& sample) {
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        return PointResult::Failed;
    }
    if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
        return PointResult::Unsupported;  // the decoder's own ink conversion
    }
    const int64_t width = cinfo.image_width;
    const int64_t height = cinfo.image_height;
    // The decoder's bounds: a declared size the data cannot hold is damage.
    if (width <= 0 || height <= 0 || width * height > kMaxPixels ||
        static_cast<int64_t>(size) < width * height / 4096) {
        return PointResult::Failed;
    }
    sample.width = static_cast<int>(width);
    sample.height = static_cast<int>(height);
    sample.inside = x >= 0 && y >= 0 && x < width && y < height;
    if (!sample.inside) {
        return PointResult::Read;
    }

    cinfo.out_color_space = JCS_EXT_BGR;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);
    if (static_cast<int64_t>(cinfo.output_width) != width ||
        static_cast<int64_t>(cinfo.output_height) != height || cinfo.output_components != 3) {
        return PointResult::Unsupported;
    }

    // Columns: libjpeg widens the window to whole blocks.
    const auto px = static_cast<JDIMENSION>(x);
    JDIMENSION left = px > kColumnMargin ? px - kColumnMargin : 0;
    JDIMENSION columns = std::min<JDIMENSION>(cinfo.output_width - left, 2 * kColumnMargin + 1);
    if (columns < cinfo.output_width) {
        jpeg_crop_scanline(&cinfo, &left, &columns);
    } else {
        left = 0;
    }
    if (px < left || px - left >= cinfo.output_width) {
        return PointResult::Unsupported;  // not where asked: never seen, but stay exact
    }

    // Rows: skip whole bands up to the one before the point's.
    const int band = cinfo.max_v_samp_factor * cinfo.min_DCT_scaled_size;
    const int firstBand = band > 0 ? (y / band - 1) * band : 0;
    if (firstBand > 0) {
        jpeg_skip_scanlines(&cinfo, static_cast<JDIMENSION>(firstBand));
    }
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                cinfo.output_width * 3, 1);
    while (static_cast<int>(cinfo.output_scanline) <= y) {
        if (jpeg_read_scanlines(&cinfo, row, 1) != 1) {
            return PointResult::Failed;
        }
    }
    // Judged as the decoder judges a file that ends early.
    if (!JpegDataComplete(cinfo, guard)) {
        return PointResult::Failed;
    }
    const uint8_t* pixel = row[0] + static_cast<size_t>(px - left) * 3;
    sample.blue = pixel[0];
    sample.green = pixel[1];
    sample.red = pixel[2];
    return PointResult::Read;
}

PointResult ReadWhole(const uint8_t* data, size_t size, int x, int y, PointSample& sample) {
    jpeg_decompress_struct cinfo{};
    JpegGuard guard;
    UseJpegGuard(cinfo, guard);
    // Set before the jump point: read after a longjmp, it must not live in a
    // register that the jump restores.
    volatile PointResult result = PointResult::Failed;
    if (setjmp(guard.jump) == 0) {
        jpeg_create_decompress(&cinfo);
        WatchJpegProgress(cinfo, guard);
        jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
        result = Read(cinfo, guard, size, x, y, sample);
    } else {
        result = PointResult::Failed;
    }
    jpeg_destroy_decompress(&cinfo);
    return result;
}

}  // namespace

PointResult ReadJpegPoint(const uint8_t* data, size_t size, int x, int y, PointSample& sample) {
    if (data == nullptr || size < 4) {
        return PointResult::Failed;
    }
    // Low in the picture, the bands around the point are cut out first:
    // reaching them skips the blocks above faster than libjpeg reads them.
    // Whatever the cut does not answer, the whole file answers.
    thread_local std::vector<uint8_t> cutBytes;
    JpegCut cut;
    if (x >= 0 && CutJpegAroundRow(data, size, y, cutBytes, cut) && x < cut.width) {
        PointSample part;
        if (ReadWhole(cutBytes.data(), cutBytes.size(), x, y - cut.firstRow, part) ==
                PointResult::Read &&
            part.inside && part.width == cut.width && part.height == cut.rows) {
            sample = part;
            sample.height = cut.height;
            if (cutBytes.capacity() > (size_t{16} << 20)) {
                std::vector<uint8_t>().swap(cutBytes);
            }
            return PointResult::Read;
        }
    }
    return ReadWhole(data, size, x, y, sample);
}

}  // namespace nocturo::codecs
