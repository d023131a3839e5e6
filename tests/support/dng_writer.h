#pragma once
// Small DNG files made here, for the RAW tests, the fuzz seeds and the
// benchmark nights: a Bayer mosaic (RGGB) of 16-bit samples, uncompressed,
// with the tags LibRaw needs to develop it (colour matrix, as-shot neutral,
// black and white level).

#include <cstdint>
#include <vector>

namespace nocturo::test {

struct DngFrame {
    int width = 0;   ///< even
    int height = 0;  ///< even
    /// width x height sensor values, row after row; R G / G B from the top
    /// left.
    std::vector<uint16_t> mosaic;
    uint16_t black = 256;
    uint16_t white = 16383;
    int orientation = 1;  ///< the TIFF orientation tag
    /// An optional embedded preview: 8-bit RGB (not BGR), row after row. With
    /// one, the first directory holds the preview and a sub-directory the
    /// mosaic, as cameras and converters write them.
    int previewWidth = 0;
    int previewHeight = 0;
    std::vector<uint8_t> previewRgb;
};

/// The DNG file of a frame (directories first, then the pixels), or nothing
/// for a frame whose mosaic does not fit its size.
std::vector<uint8_t> WriteDng(const DngFrame& frame);

/// A night-sky mosaic: a faint gradient with sensor noise, and stars (small
/// bright discs) at positions that turn about the picture's centre by
/// `turn` degrees, so that frames with growing turns stack into trails.
DngFrame NightSkyFrame(int width, int height, uint32_t seed, double turn);

}  // namespace nocturo::test
