// Compares the JPEG point reader of the meteor search with the full decoder,
// and the bands it cuts out of a file with the same rows of the full decode.
#include "core/codecs/jpeg_cut.h"
#include "fuzz/fuzz_points.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The cut's middle band, every pixel of it, against the whole file's.
void CheckCut(const uint8_t* data, size_t size) {
    nocturo::RgbImage full;
    if (!nocturo::codecs::DecodeJpeg(data, size, full)) {
        return;
    }
    const uint64_t hash = nocturo::fuzz::Hash(data, size);
    for (const int y : {full.Height() / 2,
                        static_cast<int>((hash >> 16) % static_cast<uint64_t>(full.Height()))}) {
        std::vector<uint8_t> bytes;
        nocturo::codecs::JpegCut cut;
        if (!nocturo::codecs::CutJpegAroundRow(data, size, y, bytes, cut)) {
            continue;
        }
        nocturo::RgbImage part;
        if (cut.width != full.Width() || cut.height != full.Height() ||
            !nocturo::codecs::DecodeJpeg(bytes.data(), bytes.size(), part) ||
            part.Width() != full.Width() || part.Height() != cut.rows) {
            std::abort();  // a cut of a good file must load
        }
        const int end = std::min(2 * cut.band, cut.rows);
        for (int row = cut.band; row < end; ++row) {
            if (std::memcmp(part.Row(row), full.Row(cut.firstRow + row),
                            static_cast<size_t>(full.Width()) * 3) != 0) {
                std::abort();  // the cut's blocks are not the file's
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nocturo::fuzz::CheckPoints(data, size, nocturo::codecs::DecodeJpeg,
                               nocturo::codecs::ReadJpegPoint);
    CheckCut(data, size);
    return 0;
}
