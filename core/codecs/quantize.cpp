#include "core/codecs/quantize.h"

namespace nocturo::codecs {

PaletteImage Quantize(const RgbImage&, int) { return {}; }

}  // namespace nocturo::codecs
