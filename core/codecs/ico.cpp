#include "core/codecs/codecs.h"

namespace nocturo::codecs {

bool DecodeIco(const uint8_t*, size_t, RgbImage&) { return false; }

}  // namespace nocturo::codecs
