#include "core/codecs/codecs.h"

namespace nocturo::codecs {

bool DecodeJpeg(const uint8_t*, size_t, RgbImage&) { return false; }
bool EncodeJpeg(const RgbImage&, int, std::vector<uint8_t>&) { return false; }

}  // namespace nocturo::codecs
