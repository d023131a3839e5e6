#include "engine/view_decoder.h"

#include <system_error>
#include <utility>

#include "core/image_file.h"

namespace nocturo {

ViewDecoder::ViewDecoder(std::function<void()> ready) : ready_(std::move(ready)) {}

ViewDecoder::~ViewDecoder() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        waitingTicket_ = 0;
    }
    wake_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

uint64_t ViewDecoder::Request(const std::string& fileName, int depth) {
    uint64_t ticket = 0;
    {
        std::lock_guard lock(mutex_);
        ticket = ++latest_;
        waitingTicket_ = ticket;
        waitingName_ = fileName;
        waitingDepth_ = depth;
        doneTicket_ = 0;
        done_.Release();
    }
    if (!worker_.joinable()) {
        try {
            worker_ = std::thread([this] { Work(); });
        } catch (const std::system_error&) {
            // No thread to be had: the view waits for this one picture.
            {
                std::lock_guard lock(mutex_);
                waitingTicket_ = 0;
            }
            Decode(fileName, depth, ticket);
            return ticket;
        }
    }
    wake_.notify_one();
    return ticket;
}

void ViewDecoder::Cancel() {
    std::lock_guard lock(mutex_);
    ++latest_;
    waitingTicket_ = 0;
    doneTicket_ = 0;
    done_.Release();
}

std::optional<bool> ViewDecoder::Take(uint64_t ticket, RgbImage& into) {
    std::lock_guard lock(mutex_);
    if (ticket == 0 || ticket != doneTicket_ || ticket != latest_) {
        return std::nullopt;
    }
    doneTicket_ = 0;
    if (doneOk_) {
        into.Swap(done_);
    }
    done_.Release();
    return doneOk_;
}

void ViewDecoder::Decode(const std::string& fileName, int depth, uint64_t ticket) {
    RgbImage picture;
    bool ok = false;
    try {
        ok = LoadImageFile(picture, fileName, LoadOptions{depth});
    } catch (...) {
        ok = false;  // out of memory: a picture that does not show
    }
    {
        std::lock_guard lock(mutex_);
        if (ticket != latest_) {
            return;  // a newer click: this picture is nobody's any more
        }
        doneTicket_ = ticket;
        doneOk_ = ok;
        done_.Swap(picture);
    }
    if (ready_) {
        ready_();
    }
}

void ViewDecoder::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || waitingTicket_ != 0; });
        if (stopping_) {
            return;
        }
        const uint64_t ticket = waitingTicket_;
        const std::string name = std::move(waitingName_);
        const int depth = waitingDepth_;
        waitingTicket_ = 0;
        lock.unlock();
        Decode(name, depth, ticket);
        lock.lock();
    }
}

}  // namespace nocturo
