// Feeds arbitrary bytes to LibRaw: the full development (at 16 bits for
// inputs of odd length, so both depths are reached), and the quick preview.
#include "fuzz/fuzz_decode.h"

namespace {

bool DecodeRaw16(const uint8_t* data, size_t size, nocturo::RgbImage& out) {
    return nocturo::codecs::DecodeRawFile(data, size, out, 16) ==
           nocturo::codecs::RawResult::kDecoded;
}

bool DecodePreview(const uint8_t* data, size_t size, nocturo::RgbImage& out) {
    int width = 0, height = 0;
    return nocturo::codecs::DecodeRawPreview(data, size, out, width, height);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nocturo::fuzz::CheckDecode((size & 1) != 0 ? DecodeRaw16 : nocturo::codecs::DecodeRaw, data,
                               size);
    nocturo::fuzz::CheckDecode(DecodePreview, data, size);
    return 0;
}
