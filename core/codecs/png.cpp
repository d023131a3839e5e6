#include "core/codecs/codecs.h"

namespace nocturo::codecs {

bool DecodePng(const uint8_t*, size_t, RgbImage&) { return false; }
bool EncodePng(const RgbImage&, std::vector<uint8_t>&) { return false; }

}  // namespace nocturo::codecs
