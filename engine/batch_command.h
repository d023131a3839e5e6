#pragma once
// Batch commands: one of the six batch functions applied against a reference
// picture, either to the left list's current entry only (the preview that
// the Batch Operations window's "Processed Image" and the fly-over show) or
// to every checked entry with numbered output files ("Apply to All").
//
// Threading: everything here runs on the thread of the command (the GUI
// thread in the program). A BatchPreviewCache belongs to one window and is
// used from that thread, except that a preview may have one worker thread
// decode the frame into the cache's frame slot (Prepare) while the command's
// thread loads the reference; the command joins the worker before it touches
// the frame slot. The worker only decodes: it never sees the lists, the
// result buffer or the host.

#include <cstdint>
#include <string>

#include "core/batch.h"
#include "engine/file_stamp.h"
#include "engine/stacking_run.h"

namespace nocturo {

/// What a batch command takes from the Batch Operations window: the
/// function's list index, the reference file name as typed, and the factor
/// and offset in units of the run's depth (BatchParams).
struct BatchRequest {
    int functionIndex = 0;
    std::string referenceFileName;
    int64_t factor = 1;
    int32_t offset = 0;
};

/// A request whose factor and offset are on the 8-bit scales of the Batch
/// Operations window's sliders (factor 0..255, the cube's 0..65025, offset
/// -255..255), for a run at `depth` bits: unchanged at 8; at 16 the offset
/// and the factor times 257, the cube's factor times 257 * 257, so that each
/// position does to a 16-bit picture what it does to an 8-bit one (a
/// default factor stays the default).
BatchRequest BatchRequestAtDepth(BatchRequest request, int depth);

enum class BatchMode { Preview, ApplyToAll };

enum class BatchOutcome {
    /// The index names no batch function, or the reference name is empty:
    /// nothing happened.
    NothingDone,
    /// The reference file could not be loaded (missing, not a picture, a
    /// damaged picture): the user was told, nothing else happened.
    ReferenceNotLoaded,
    /// "Apply to All": the user cancelled the dialog of the first output
    /// file, or its number was unusable (a message said so).
    Cancelled,
    /// The preview or the run took place (with whatever errors it counted).
    Done,
};

/// One decoded picture kept between commands, with the facts of the file it
/// came from. It is taken again only while the file has the same name, size
/// and modification time; any change decodes the file afresh.
class DecodedPictureCache {
  public:
    /// Moves the picture of fileName at `depth` bits per channel into
    /// `into`: the kept one while the file is unchanged and was kept at that
    /// depth, otherwise the file decoded with LoadImageFile. False when it
    /// cannot be loaded (`into` then holds what LoadImageFile left). Until
    /// GiveBack the cache keeps nothing. A name that is not an existing
    /// regular file is never kept: it is loaded every time.
    bool Take(const std::string& fileName, RgbImage& into, int depth = 8);
    /// Hands back the picture of the last Take. It is kept for the next Take
    /// of the same unchanged file when it still has the size it was taken
    /// with (the pixels must be unchanged: batch functions only read their
    /// source, and change a reference only by resizing a 1 x 1 one).
    void GiveBack(RgbImage& picture);
    /// Decodes fileName into the cache unless it already keeps that file
    /// unchanged, so that the next Take of it finds it kept. Runs on a worker
    /// thread while nothing else uses this cache; a file that cannot be
    /// loaded (or memory that runs out) leaves nothing kept.
    void Prepare(const std::string& fileName, int depth = 8) noexcept;
    /// Forgets the kept picture (and frees its memory).
    void Clear();
    /// Files decoded through this cache (for tests and benchmarks).
    int64_t Decodes() const { return decodes_; }

  private:
    /// A kept picture serves only its name while its file is unchanged.
    struct FileFacts {
        std::string name;
        FileStamp stamp;
        friend bool operator==(const FileFacts&, const FileFacts&) = default;
    };
    /// The facts of an existing regular file; false for any other name.
    static bool Facts(const std::string& fileName, FileFacts& facts);

    RgbImage picture_;
    FileFacts facts_;
    /// picture_ holds the decoded file described by facts_.
    bool kept_ = false;
    /// A picture was taken and may come back: its facts and size.
    bool lent_ = false;
    int lentWidth_ = 0;
    int lentHeight_ = 0;
    int64_t decodes_ = 0;
};

/// The reference that could not be loaded and was reported last. Previews
/// follow every fly-over and every slider release: they report such a
/// reference once, until its name changes or its file does.
class ReportedReference {
  public:
    /// Whether `name`, with its file as it is now, is the one reported.
    bool Covers(const std::string& name) const;
    void Note(const std::string& name);
    void Forget() { noted_ = false; }

  private:
    bool noted_ = false;
    std::string name_;
    FileStamp stamp_;
};

/// The decoded reference and the decoded current frame of the previews, so
/// that a second preview of an unchanged frame costs only the batch function
/// and the repaint.
struct BatchPreviewCache {
    DecodedPictureCache reference;
    DecodedPictureCache frame;
    /// Kept when the pictures are cleared: it costs nothing.
    ReportedReference reported;
    void Clear() {
        reference.Clear();
        frame.Clear();
    }
};

/// The preview on the left list's current entry (entry 0 when there is
/// none), checked or not, at the run state's depth: the result position
/// becomes 0; the entry's file is
/// loaded and f applied to it into the result buffer. On success the result
/// is marked unsaved, the position becomes 1, the entry is checked and
/// enabled, and the result and the entry's name are shown. When f rejects
/// the picture, the result is cleared to the empty image and the entry
/// unchecked and disabled. A file that does not load changes nothing more
/// (the result stays the empty image). No message in any case. With a cache,
/// the frame is decoded only when its file changed.
void PreviewBatch(RunContext& context, ImageOperation f, BatchParams& params,
                  BatchPreviewCache* cache = nullptr);

/// A batch command. Loads the reference named in the request (an empty name
/// does nothing; a name that cannot be loaded is reported with
/// the language string txtReferenceNotLoaded and does nothing more; with a cache, a preview
/// does not report again the reference the cache noted), then either previews
/// (PreviewBatch) or, for "Apply to All", asks for the first output file and
/// runs the function over every checked and enabled entry, writing one
/// numbered file per picture (PrepareStepSaving with firstIsMerged false):
/// the run's pause, stop, error count and final message apply. With a cache
/// the reference is decoded only when its file changed.
BatchOutcome RunBatchCommand(RunContext& context, const BatchRequest& request, BatchMode mode,
                             BatchPreviewCache* cache = nullptr);

}  // namespace nocturo
