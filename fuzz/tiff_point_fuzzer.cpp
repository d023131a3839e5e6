// Compares the TIFF point reader of the meteor search, reading from memory as
// it reads a file, with the full decoder.
#include "fuzz/fuzz_points.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nocturo::fuzz::CheckPoints(
        data, size, nocturo::codecs::DecodeTiff,
        [](const uint8_t* bytes, size_t length, int x, int y, nocturo::PointSample& sample) {
            return nocturo::codecs::ReadTiffPoint(nocturo::codecs::MemorySource(bytes, length), x,
                                                  y, sample);
        });
    return 0;
}
