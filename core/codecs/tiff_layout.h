#pragma once
// How the samples of a TIFF page map to BGR rows at 8 or 16 bits per
// channel: the layouts the decoder reads directly, and the row conversions.
// Shared by the TIFF decoder's strip and tile readers.

#include <tiffio.h>

#include <cstdint>

#include "core/rgb_image.h"

namespace nocturo::codecs::tiff {

// How one sample is stored. Everything is scaled to 8 bits the way 16-bit
// samples are: the full range of the stored type onto 0..255, rounded (for
// signed samples the lowest value is black). Floating-point samples run from
// 0 to 1, as stacking programs export them.
enum class Sample { k8, k12, k16, k32, k32Signed, kFloat };

// How the samples of the first page map to BGR.
struct Layout {
    // kIndexed: grey and palette samples of up to 8 bits, through table.
    enum Kind { kIndexed, kGrey, kRgb } kind = kIndexed;
    Sample sample = Sample::k8;
    int bitsPerSample = 8;
    int samplesPerPixel = 1;  // samples per pixel within one row of a plane
    bool contiguous = true;
    bool invertGrey = false;
    // Grey and palette pictures of up to 8 bits: BGR of every sample value.
    uint8_t table[256][3] = {};
};

// BGR at 16 bits of every index of a grey or palette picture of up to 8
// bits: the 8-bit table widened, except that a palette of 16-bit entries
// keeps its entries as they are.
struct Table16 {
    uint16_t bgr[256][3];
};

// Where decoded rows go: the picture at its depth. The depth is looked at
// once per row, never per pixel.
struct RowWriter {
    const Layout& layout;
    const Table16* table16;  // set for a 16-bit picture
    RgbImage& out;

    /// n pixels of one interleaved row (or of a grey or palette plane) into
    /// row y from column x on.
    void Row(const uint8_t* src, int y, uint32_t x, uint32_t n) const;

    /// One plane row of a planar RGB picture into its channel.
    void Plane(int sample, const uint8_t* src, int y, uint32_t x, uint32_t n) const;
};

/// True for RGB stored as three planes, read one plane after the other.
bool IsPlanarRgb(const Layout& layout);

/// Fills table from layout's 8-bit table, widened; a palette of 16-bit
/// entries keeps its entries as they are.
void MakeTable16(TIFF* tif, const Layout& layout, Table16& table);

// Decides whether the page takes the direct path, and fills layout if so.
bool DirectLayout(TIFF* tif, Layout& layout);

}  // namespace nocturo::codecs::tiff
