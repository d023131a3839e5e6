#include "core/codecs/codecs.h"

namespace nocturo::codecs {

bool DecodeBmp(const uint8_t*, size_t, RgbImage&) { return false; }
bool DecodeDib(const uint8_t*, size_t, bool, RgbImage&) { return false; }
bool EncodeBmp(const RgbImage&, std::vector<uint8_t>&) { return false; }

}  // namespace nocturo::codecs
