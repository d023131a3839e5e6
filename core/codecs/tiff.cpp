#include "core/codecs/codecs.h"

namespace nocturo::codecs {

bool DecodeTiff(const uint8_t*, size_t, RgbImage&) { return false; }
bool EncodeTiff(const RgbImage&, std::vector<uint8_t>&) { return false; }

}  // namespace nocturo::codecs
