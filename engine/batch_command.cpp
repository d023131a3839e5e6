#include "engine/batch_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <new>
#include <system_error>
#include <thread>

#include "core/image_file.h"
#include "engine/step_saving.h"
#include "lang/language_strings.h"
#include "lists/list_commands.h"

namespace nocturo {

namespace {

/// Hands a picture taken from a cache back to it however the command ends.
class GiveBackOnExit {
  public:
    GiveBackOnExit(DecodedPictureCache* cache, RgbImage& picture)
        : cache_(cache), picture_(picture) {}
    ~GiveBackOnExit() {
        if (cache_ != nullptr) {
            cache_->GiveBack(picture_);
        }
    }
    GiveBackOnExit(const GiveBackOnExit&) = delete;
    GiveBackOnExit& operator=(const GiveBackOnExit&) = delete;

  private:
    DecodedPictureCache* cache_;
    RgbImage& picture_;
};

bool IsExistingFile(const std::string& fileName) {
    struct stat st {};
    return ::stat(fileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

// --- ReportedReference ------------------------------------------------------

bool ReportedReference::Covers(const std::string& name) const {
    return noted_ && name == name_ && StampOf(name) == stamp_;
}

void ReportedReference::Note(const std::string& name) {
    noted_ = true;
    name_ = name;
    stamp_ = StampOf(name);
}

// --- DecodedPictureCache ----------------------------------------------------

bool DecodedPictureCache::Facts(const std::string& fileName, FileFacts& facts) {
    facts.name = fileName;
    facts.stamp = StampOf(fileName);
    return facts.stamp.regular;
}

bool DecodedPictureCache::Take(const std::string& fileName, RgbImage& into, int depth) {
    FileFacts facts;
    const bool known = Facts(fileName, facts);
    lent_ = false;
    if (known && kept_ && facts == facts_ && picture_.Depth() == depth) {
        into.Swap(picture_);
        kept_ = false;
        picture_.Release();
    } else {
        // The facts are read before the decode: a file rewritten while it is
        // decoded has other facts next time and is decoded again.
        Clear();
        ++decodes_;
        if (!LoadImageFile(into, fileName, LoadOptions{depth})) {
            return false;
        }
        if (!known) {
            return true;  // not a file that can be recognised again
        }
    }
    facts_ = std::move(facts);
    lent_ = true;
    lentWidth_ = into.Width();
    lentHeight_ = into.Height();
    return true;
}

void DecodedPictureCache::Prepare(const std::string& fileName, int depth) noexcept {
    FileFacts facts;
    if (!Facts(fileName, facts) || (kept_ && facts == facts_ && picture_.Depth() == depth)) {
        return;
    }
    try {
        Clear();
        ++decodes_;
        if (LoadImageFile(picture_, fileName, LoadOptions{depth})) {
            facts_ = std::move(facts);
            kept_ = true;
        } else {
            picture_.Release();
        }
    } catch (...) {
        Clear();  // the next Take decodes again and meets the failure itself
    }
}

void DecodedPictureCache::GiveBack(RgbImage& picture) {
    if (!lent_) {
        return;
    }
    lent_ = false;
    if (picture.Width() != lentWidth_ || picture.Height() != lentHeight_) {
        return;  // changed on the way (a 1 x 1 reference grown to a frame's size)
    }
    picture_.Swap(picture);
    kept_ = true;
}

void DecodedPictureCache::Clear() {
    picture_.Release();
    kept_ = false;
    lent_ = false;
}

// --- the commands -------------------------------------------------------------

BatchRequest BatchRequestAtDepth(BatchRequest request, int depth) {
    if (depth == 16) {
        // Clamped first: a factor or offset beyond every slider stays far
        // beyond white without overflowing.
        constexpr int kCube = 5;
        constexpr int64_t kFar = int64_t{1} << 40;
        const int64_t factor = std::clamp(request.factor, -kFar, kFar);
        request.factor = factor * (request.functionIndex == kCube ? int64_t{257} * 257 : 257);
        request.offset = static_cast<int32_t>(
            std::clamp<int64_t>(int64_t{request.offset} * 257, INT32_MIN, INT32_MAX));
    }
    return request;
}

void PreviewBatch(RunContext& context, ImageOperation f, BatchParams& params,
                  BatchPreviewCache* cache) {
    RunState& state = context.state;
    FileList& left = context.lists.Left();
    state.ResultPosition = 0;
    if (left.Count() == 0) {
        return;
    }
    if (!state.EnsureResult()) {
        return;
    }
    int i = left.Current();
    if (i < 0 || i >= left.Count()) {
        i = 0;
    }
    const std::string name = left.Text(i);
    RgbImage& result = *state.Result;
    ClearImage(&result);
    state.DropFrameMap();

    bool merged = false;
    if (cache != nullptr) {
        // The kept frame serves as both the loaded result and the source:
        // the batch function overwrites every pixel of the result, so only
        // the result's size matters.
        RgbImage source;
        if (!cache->frame.Take(name, source, state.Depth)) {
            return;
        }
        GiveBackOnExit giveBack(&cache->frame, source);
        if (!result.Resize(source.Width(), source.Height(), source.Depth())) {
            throw std::bad_alloc();
        }
        merged = f(source, result, &params);
    } else {
        const LoadOptions depth{state.Depth};
        if (!LoadImageFile(result, name, depth)) {
            return;
        }
        RgbImage temporary;
        merged = LoadImageFile(temporary, name, depth) && f(temporary, result, &params);
    }

    if (merged) {
        state.ResultUnsaved = true;
        ++state.ResultPosition;
        EnableEntry(i, left);
        context.host.ShowImage(&result, false);
        // The counter reads "1/N": the status bar counts from index 0.
        context.host.ShowStatus(state.ResultPosition - 1, name, left, true);
    } else {
        ClearImage(&result);
        DisableEntry(context, i, left);
        context.host.ShowStatus(-i, name, left, false);
    }
}

BatchOutcome RunBatchCommand(RunContext& context, const BatchRequest& request, BatchMode mode,
                             BatchPreviewCache* cache) {
    const ImageOperation f = BatchFunction(request.functionIndex);
    const std::string& name = request.referenceFileName;
    if (f == nullptr || name.empty()) {
        return BatchOutcome::NothingDone;
    }

    // A first preview decodes two pictures, the reference and the frame: the
    // frame is decoded on a second thread meanwhile.
    std::thread frameAhead;
    FileList& left = context.lists.Left();
    if (mode == BatchMode::Preview && cache != nullptr && left.Count() > 0) {
        const int current = left.Current();
        std::string frameName = left.Text(current >= 0 && current < left.Count() ? current : 0);
        try {
            frameAhead =
                std::thread([frame = &cache->frame, frameName = std::move(frameName),
                             depth = context.state.Depth] { frame->Prepare(frameName, depth); });
        } catch (const std::system_error&) {
            // No thread to be had: the preview decodes the frame itself.
        }
    }
    struct JoinOnExit {
        std::thread& thread;
        ~JoinOnExit() {
            if (thread.joinable()) {
                thread.join();
            }
        }
    } joinFrameAhead{frameAhead};

    BatchParams params;
    ClearImage(&params.reference);
    DecodedPictureCache* kept = cache != nullptr ? &cache->reference : nullptr;
    // A missing file is a reference that cannot be loaded, not a black one.
    const int depth = context.state.Depth;
    const bool loaded =
        IsExistingFile(name) &&
        (kept != nullptr ? kept->Take(name, params.reference, depth)
                         : LoadImageFile(params.reference, name, LoadOptions{depth}));
    if (!loaded) {
        if (frameAhead.joinable()) {
            frameAhead.join();  // before the message lets the user act
        }
        // "Apply to All" always says why nothing happens; a preview only
        // the first time for this name and file.
        const bool reported =
            mode == BatchMode::Preview && cache != nullptr && cache->reported.Covers(name);
        if (!reported) {
            context.host.ShowMessage(FormatText(Lng().txtReferenceNotLoaded, name),
                                     Lng().txtBatchCaption);
        }
        if (cache != nullptr) {
            cache->reported.Note(name);
        }
        return BatchOutcome::ReferenceNotLoaded;
    }
    if (cache != nullptr) {
        cache->reported.Forget();  // should it fail again, that is news
    }
    GiveBackOnExit giveBack(kept, params.reference);
    params.factor = request.factor;
    params.offset = request.offset;

    if (mode == BatchMode::Preview) {
        if (frameAhead.joinable()) {
            frameAhead.join();
        }
        PreviewBatch(context, f, params, cache);
        return BatchOutcome::Done;
    }
    return PrepareStepSaving(context, f, &params, false) ? BatchOutcome::Done
                                                         : BatchOutcome::Cancelled;
}

}  // namespace nocturo
