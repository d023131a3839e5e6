// Compares the JPEG point reader of the meteor search with the full decoder.
#include "fuzz/fuzz_points.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nocturo::fuzz::CheckPoints(data, size, nocturo::codecs::DecodeJpeg,
                               nocturo::codecs::ReadJpegPoint);
    return 0;
}
