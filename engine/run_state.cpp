#include "engine/run_state.h"

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
