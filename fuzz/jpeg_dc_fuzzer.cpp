// Compares measuring with loading: the 1/8 scanner answers only for files
// the decoder loads, and with exactly TurboJPEG's own 1/8 decode; measuring
// as a whole (scanner or TurboJPEG) answers exactly when loading does.
#include <turbojpeg.h>

#include <cstdlib>

#include "fuzz/fuzz_decode.h"

namespace {

// TurboJPEG's 1/8 decode into out; false when it reports anything at all.
bool TurboEighth(const uint8_t* data, size_t size, nocturo::RgbImage& out) {
    tjhandle tj = tjInitDecompress();
    int width = 0, height = 0, sampling = 0, colourspace = 0;
    bool ok = tj != nullptr &&
              tjDecompressHeader3(tj, data, static_cast<unsigned long>(size), &width, &height,
                                  &sampling, &colourspace) == 0 &&
              out.Resize((width + 7) / 8, (height + 7) / 8) &&
              tjDecompress2(tj, data, static_cast<unsigned long>(size), out.Row(0), out.Width(),
                            static_cast<int>(out.Stride()), out.Height(), TJPF_BGR, 0) == 0;
    if (tj != nullptr) {
        tjDestroy(tj);
    }
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nocturo;
    RgbImage full;
    const bool loaded = codecs::DecodeJpeg(data, size, full);
    RgbImage measured;
    int width = 0, height = 0;
    if (codecs::DecodeJpegScaled(data, size, 8, measured, width, height) != loaded) {
        std::abort();
    }
    if (loaded && (width != full.Width() || height != full.Height())) {
        std::abort();
    }
    RgbImage scanned;
    if (!codecs::DecodeJpegDc(data, size, scanned, width, height)) {
        return 0;
    }
    if (!loaded || width != full.Width() || height != full.Height()) {
        std::abort();  // measures a file that does not load
    }
    // A file that TurboJPEG reads without a word must give its picture;
    // with warnings TurboJPEG may fill what it skipped differently.
    RgbImage turbo;
    if (!TurboEighth(data, size, turbo)) {
        return 0;
    }
    if (turbo.Width() != scanned.Width() || turbo.Height() != scanned.Height()) {
        std::abort();
    }
    for (int y = 0; y < turbo.Height(); ++y) {
        for (int x = 0; x < turbo.Width() * 3; ++x) {
            if (turbo.Row(y)[x] != scanned.Row(y)[x]) {
                std::abort();  // another picture than TurboJPEG's
            }
        }
    }
    return 0;
}
