// Feeds arbitrary bytes to the BMP decoder.
#include "fuzz/fuzz_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nocturo::fuzz::CheckDecode(nocturo::codecs::DecodeBmp, data, size);
    return 0;
}
