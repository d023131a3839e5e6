#pragma once
// What the benchmark programs share: reading a list of frames, a run host
// that shows nothing, asks nothing and answers No to every question, and an
// AddMax run over the left list.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bench/floor_loop.h"
#include "core/combine.h"
#include "engine/run_host.h"
#include "engine/stacking_run.h"

namespace nocturo::bench {

class QuietHost : public RunHost {
  public:
    void ShowImage(const RgbImage*, bool) override {}
    void ShowStatus(int, const std::string&, const FileList&, bool) override {}
    void ProcessEvents() override {}
    Answer Ask(const std::string&, const std::string&, const std::vector<Answer>&, bool) override {
        return Answer::No;
    }
    std::optional<std::string> AskSaveFileName(const SaveRequest&) override { return std::nullopt; }
    void ShowMessage(const std::string&, const std::string&) override {}
    void FocusLeftList() override {}
    void SaveResultAs() override {}
};

/// AddMax over the checked entries of lists.Left(), decoding ahead on
/// `threads` threads, with or without a frame map; exits when a map was
/// asked for and none was recorded.
inline void RunAddMax(ListPair& lists, int threads, bool recordMap, const char* program) {
    RunState state;
    state.Decode.threads = threads;
    state.Decode.ahead = std::max(2, threads);
    state.RecordFrameMap = recordMap;
    QuietHost host;
    RunContext context{lists, state, host};
    StackingRun(context, AddMax, nullptr, false, true);
    if (recordMap && state.CurrentFrameMap() == nullptr) {
        std::fprintf(stderr, "%s: the run recorded no frame map\n", program);
        std::exit(1);
    }
}

}  // namespace nocturo::bench
