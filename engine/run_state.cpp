#include "engine/run_state.h"

#include <unistd.h>

#include <algorithm>
#include <new>

namespace nocturo {

int64_t StepSettings::WrapLimit() const {
    const int digits = std::clamp(digitCount, 1, 10);
    int64_t limit = 1;
    for (int k = 0; k < digits; ++k) {
        limit *= 10;
    }
    return limit - 1;
}

RunState::RunState() {
    EnsureImage(Result);
}

int64_t DefaultAheadBytes() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) {
        return int64_t{1} << 30;
    }
    return int64_t{pages} * pageSize / 4;
}

int64_t LevelAtDepth(int64_t level, int depth) {
    if (depth != 16) {
        return level;
    }
    // Far beyond white either way: clamped, so that the product fits.
    level = std::clamp<int64_t>(level, -(int64_t{1} << 40), int64_t{1} << 40);
    return level * 257 + 256;
}

RgbImage& RunState::ResultBuffer() {
    if (!EnsureResult()) {
        throw std::bad_alloc();
    }
    return *Result;
}

void ToolButtonAbortClick(RunState& state) {
    state.PauseRequested = true;
    state.StopRequested = true;
}

}  // namespace nocturo
