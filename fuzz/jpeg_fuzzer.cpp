// Feeds arbitrary bytes to the JPEG decoder.
#include "fuzz/fuzz_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nocturo::fuzz::CheckDecode(nocturo::codecs::DecodeJpeg, data, size);
    // The 1/8-size scanner that measuring uses: its picture is 1/8 of the
    // size it reports.
    nocturo::fuzz::CheckDecode(
        [](const uint8_t* bytes, size_t length, nocturo::RgbImage& out) {
            int width = 0;
            int height = 0;
            const bool ok = nocturo::codecs::DecodeJpegDc(bytes, length, out, width, height);
            if (ok && (out.Width() != (width + 7) / 8 || out.Height() != (height + 7) / 8)) {
                std::abort();
            }
            return ok;
        },
        data, size);
    return 0;
}
