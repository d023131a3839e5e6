#pragma once
// The moving maximum's outputs written behind the run (an inside of
// moving_max.cpp): each output is a copy of the result buffer written on a
// thread of its own while the next windows are merged. Up to `inFlight`
// writes run at once, each on its own copy; they are accounted for in
// output order.
//
// Threading rules: only the run's thread calls these functions. A write's
// thread sees only its own copy, name and encoder memory, and hands back
// whether the save succeeded (and why not) through its future; the run's
// thread reads them after waiting for it. The destructor waits for every
// write still under way.

#include <deque>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "core/image_file.h"
#include "core/rgb_image.h"
#include "engine/run_host.h"
#include "lists/file_list.h"

namespace nocturo {

class OutputsBehind {
  public:
    /// copy: the run's entries, by index, whose names frames are read
    /// under (see WaitIfWriting).
    OutputsBehind(int inFlight, const std::vector<ListEntry>& copy);

    /// Starts writing a copy of `result` under `name`. A write of the same
    /// file still under way is waited for first: the later one lands last.
    void Write(const RgbImage& result, const std::string& name);
    /// Waits for every write under way and counts them.
    void WaitForAll();
    /// Before entry `slot` is read under `name`: a write under that name
    /// (or another for the same file) must be complete, as it is when
    /// outputs are written in turn.
    void WaitIfWriting(int slot, const std::string& name);

    /// Outputs written, and those that could not be (with why).
    int Written() const { return written_; }
    const std::vector<FailedWrite>& Unwritten() const { return unwritten_; }
    /// Whether the write counted last succeeded.
    bool LastOk() const { return lastOk_; }

  private:
    // The outputs being written, oldest first; buffers of written ones
    // (their images and their encoders' memory) serve the next outputs.
    struct PendingSave {
        std::string name;
        std::string canonical;
        std::string reason;  // why the write failed
        RgbImage image;
        std::unique_ptr<SaveScratch> scratch;
        std::future<bool> done;  // last: waited for before the image goes
    };

    void FinishOldest();
    static std::string Canonical(const std::string& name);

    const int inFlight_;
    const std::vector<ListEntry>& copy_;
    std::vector<std::string> canonical_;  // of the copy's names, when asked
    std::deque<std::unique_ptr<PendingSave>> saves_;
    std::vector<RgbImage> imageSpare_;
    std::vector<std::unique_ptr<SaveScratch>> scratchSpare_;
    int written_ = 0;
    std::vector<FailedWrite> unwritten_;
    bool lastOk_ = false;
};

}  // namespace nocturo
