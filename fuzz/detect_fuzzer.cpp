// Content detection and the decoder it picks, as a file loader meets them.
#include "fuzz/fuzz_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nocturo::codecs;
    switch (DetectKind(data, size)) {
        case ImageKind::Jpeg:
            nocturo::fuzz::CheckDecode(DecodeJpeg, data, size);
            break;
        case ImageKind::Png:
            nocturo::fuzz::CheckDecode(DecodePng, data, size);
            break;
        case ImageKind::Gif:
            nocturo::fuzz::CheckDecode(DecodeGif, data, size);
            break;
        case ImageKind::Tiff:
            nocturo::fuzz::CheckDecode(DecodeTiff, data, size);
            break;
        case ImageKind::Bmp:
            nocturo::fuzz::CheckDecode(DecodeBmp, data, size);
            break;
        case ImageKind::Ico:
            nocturo::fuzz::CheckDecode(DecodeIco, data, size);
            break;
        case ImageKind::Unknown:
            break;
    }
    return 0;
}
