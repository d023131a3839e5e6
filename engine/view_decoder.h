#pragma once
// ViewDecoder: decodes the picture the view is to show on a worker thread,
// so that clicking through a list of camera RAW files (a second or more per
// frame) never makes the window wait. The view shows a quick picture first
// (LoadRawPreview) and the full frame when it is ready.
//
// Threading rules
// - The owner is the thread of the view (the GUI thread). Only the owner
//   calls the public functions, including the destructor.
// - One worker thread, started with the first request, decodes one picture
//   at a time with LoadImageFile into an image of its own. It receives a
//   copy of the file name and never sees a list, a window or the view's
//   picture.
// - One mutex guards the request waiting to start and the finished picture.
//   A newer request replaces the one waiting; a picture being decoded for an
//   older request is finished and thrown away, never handed out.
// - `ready` is called on the worker thread, without the lock held, after a
//   picture of the latest request is done; it must only hand the news to the
//   owner's thread (a queued call), which then takes the picture with Take.
// - The destructor drops the waiting request, lets the decode under way end
//   and joins the worker.
// - Memory: one picture being decoded and one finished, besides the
//   decoder's scratch inside LoadImageFile.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/rgb_image.h"

namespace nocturo {

class ViewDecoder {
  public:
    explicit ViewDecoder(std::function<void()> ready);
    ~ViewDecoder();
    ViewDecoder(const ViewDecoder&) = delete;
    ViewDecoder& operator=(const ViewDecoder&) = delete;

    /// Asks for fileName at `depth` bits per channel; returns the request's
    /// ticket (never 0). Every older request is cancelled: not started, or
    /// its picture discarded. When no thread can be had the picture is
    /// decoded at once, on the owner's thread, and `ready` called there.
    uint64_t Request(const std::string& fileName, int depth);

    /// Cancels every request: nothing is handed out any more until the next.
    void Cancel();

    /// The outcome of request `ticket` once it is done: true with the picture
    /// swapped into `into`, false (into untouched) when the file did not
    /// load. Nothing while it is being decoded, or for a cancelled ticket.
    std::optional<bool> Take(uint64_t ticket, RgbImage& into);

  private:
    void Work();
    void Decode(const std::string& fileName, int depth, uint64_t ticket);

    std::function<void()> ready_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread worker_;
    bool stopping_ = false;
    // The latest ticket given; a decode of another one is discarded.
    uint64_t latest_ = 0;
    // The request waiting for the worker (ticket 0: none).
    uint64_t waitingTicket_ = 0;
    std::string waitingName_;
    int waitingDepth_ = 8;
    // The finished picture of doneTicket_ (0: none).
    uint64_t doneTicket_ = 0;
    bool doneOk_ = false;
    RgbImage done_;
};

}  // namespace nocturo
