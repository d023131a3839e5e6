// Compares the BMP point reader of the meteor search, reading from memory as
// it reads a file, with the full decoder.
#include "fuzz/fuzz_points.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nocturo::fuzz::CheckPoints(
        data, size, nocturo::codecs::DecodeBmp,
        [](const uint8_t* bytes, size_t length, int x, int y, nocturo::PointSample& sample) {
            return nocturo::codecs::ReadBmpPoint(nocturo::codecs::MemorySource(bytes, length), x, y,
                                                 sample);
        });
    return 0;
}
