#pragma once
// A few bands of rows cut out of a baseline JPEG as a JPEG of their own.
//
// A point low in a big frame needs only its own band of blocks and the
// bands beside it, but a decoder must still read every block above them to
// find where their data starts. The cut reads those blocks with the 1/8
// scanner's table-driven skipping instead (each AC coefficient skipped with
// one look-up, none transformed) and copies the wanted bands' data into a
// new file: same headers and tables, the height of the cut, the first DC
// difference of each component rewritten to start from zero, no restart
// markers. Every block of the cut then decodes to the same coefficients as
// in the whole file.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nocturo::codecs {

/// Where a cut lies in its picture.
struct JpegCut {
    int width = 0;
    int height = 0;    // of the whole picture
    int firstRow = 0;  // the cut's top row in the whole picture
    int rows = 0;      // rows the cut holds
    int band = 0;      // rows in a band; the cut's second band is exact
};

/// Cuts from `data` the band of rows holding row `y`, with the band above
/// it and the band below it (where the picture has them), into `out`.
/// False, leaving the work to a decoder of the whole file, for layouts the
/// cut does not handle (progressive, arithmetic, 12-bit, separate scans,
/// unusual sampling), for a row in the first two bands (nothing worth
/// skipping), and for anything that looks damaged.
bool CutJpegAroundRow(const uint8_t* data, size_t size, int y, std::vector<uint8_t>& out,
                      JpegCut& cut);

}  // namespace nocturo::codecs
