#include <cstring>

#include "core/codecs/codecs.h"

namespace nocturo::codecs {

ImageKind DetectKind(const uint8_t* data, size_t size) {
    auto starts = [&](const char* magic, size_t n) {
        return size >= n && std::memcmp(data, magic, n) == 0;
    };
    if (starts("\xFF\xD8\xFF", 3)) {
        return ImageKind::Jpeg;
    }
    if (starts("\x89PNG\r\n\x1A\n", 8)) {
        return ImageKind::Png;
    }
    if (starts("GIF87a", 6) || starts("GIF89a", 6)) {
        return ImageKind::Gif;
    }
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4)) {
        return ImageKind::Tiff;
    }
    if (starts("BM", 2)) {
        return ImageKind::Bmp;
    }
    // Icons: reserved 0, type 1, at least one entry.
    if (size >= 6 && data[0] == 0 && data[1] == 0 && data[2] == 1 && data[3] == 0 &&
        (data[4] != 0 || data[5] != 0)) {
        return ImageKind::Ico;
    }
    return ImageKind::Unknown;
}

}  // namespace nocturo::codecs
