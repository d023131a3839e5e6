#pragma once
// A run host for the benchmarks: it shows nothing and asks nothing, and
// answers No to every question.

#include <optional>
#include <string>
#include <vector>

#include "engine/run_host.h"

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

}  // namespace nocturo::bench
