#pragma once
// The state the runs share with the main window for the life of the
// program: the result buffer and its flags, and the step-numbering settings.

#include <cstdint>
#include <memory>
#include <string>

#include "core/rgb_image.h"
#include "engine/frame_map.h"
#include "engine/trail_options.h"

namespace nocturo {

class VideoWriter;

/// How step files are named and numbered. None of it is stored between
/// sessions.
struct StepSettings {
    /// Everything before the number: folder and name as last chosen; empty
    /// stands for "proc".
    std::string baseName;
    /// Extension with its dot, as typed; empty stands for ".jpg".
    std::string extension;
    /// Number of the next step file.
    int32_t StepNumber = 0;
    /// Format of a step name: base, number, extension.
    std::string NumberFormat = "%s%4.4d%s";
    /// Numbers written with a fixed count of digits.
    bool FormatNumbers = true;
    /// Widen the digits to those of the left list's entry count.
    bool AutoAdaptDigits = true;
    /// Digits of the "FileName Num Format" window (1..10); sets the wrap limit.
    int digitCount = 6;
    /// The "Starting Number" window's number (0..32767) and its check box.
    int32_t StartNumber = 0;
    bool ForceStartNumber = false;

    /// 10^digitCount - 1: a step number above it starts again at 1. A digit
    /// count outside 1..10 (only possible when set by hand) counts as the
    /// nearest of the two.
    int64_t WrapLimit() const;
};

/// Where a run's frames came from, for the command-line tool's report and
/// for tests and benchmarks. Counted only when DecodeOptions::stats is set.
struct DecodeStats {
    /// Frames decoded ahead by a worker and taken by the run.
    int64_t prefetched = 0;
    /// Frames the run loaded on its own thread (no usable frame was ready).
    int64_t loadedByRun = 0;
};

/// How a run reads its frames. Decoding ahead never changes what a run does:
/// results, messages, marks and step files are those of reading each frame
/// when it is reached.
struct DecodeOptions {
    /// Decode threads that read frames ahead of the run; 0 reads each frame
    /// on the run's own thread when it is reached. More threads than `ahead`
    /// are not started.
    int threads = 0;
    /// Frames decoded ahead at most (queued, being decoded or ready); each
    /// costs one frame of memory.
    int ahead = 2;
    /// Bytes those frames may take at most: a frame at 16 bits per channel
    /// costs twice what it does at 8, so a 16-bit night holds fewer frames
    /// ahead when its frames are large. One frame always fits. 0:
    /// DefaultAheadBytes().
    int64_t aheadBytes = 0;
    /// Not owned; when set, every run adds its counts to it.
    DecodeStats* stats = nullptr;
};

/// How a run writes its step files.
struct WriteOptions {
    /// Step files written behind the run, each holding a copy of the
    /// result; 0 writes every step before the run goes on. Either way the
    /// files, the right list and the messages are the same. Four: a JPEG
    /// step costs about two decodes to encode, and a writer also waits for
    /// the disk, as step files are written past the page cache.
    int inFlight = 4;
    /// Not owned; when set, every step (every moving-maximum output) is
    /// also the next frame of this open video, handed to its encoder behind
    /// the run; the run completes the video before its report.
    VideoWriter* video = nullptr;
    /// The step files (outputs) are written; false with a video writes the
    /// video alone, the steps computed all the same.
    bool stepFiles = true;
};

struct RunState {
    /// The result buffer: the empty image at start.
    std::unique_ptr<RgbImage> Result;
    /// Pictures merged into the result by the current or last run.
    int32_t ResultPosition = 0;
    /// The result holds merges that were not saved.
    bool ResultUnsaved = false;
    /// Set by the abort button; a run asks whether to stop.
    bool PauseRequested = false;
    /// Set by the abort button or a refused overwrite; the run ends.
    bool StopRequested = false;

    /// Bits per channel the runs keep: 8, or 16 ("16 bits per channel").
    /// At 16 every frame is loaded at 16 bits (8-bit pictures widened
    /// exactly, v * 257), the result buffer holds 16 bits, and step files
    /// are written at 16 bits where their format holds them. Off at start.
    int Depth = 8;

    StepSettings Steps;
    DecodeOptions Decode;
    WriteOptions Writes;
    /// Gap filling and fades of AddMax and AddMaxLum runs; what the last
    /// run that filled gaps found.
    TrailOptions Trails;
    TrailReport LastTrails;

    /// AddMax and AddMaxLum runs record which frame made each pixel (2 bytes
    /// a pixel, 4 beyond 65,535 frames). Off at start.
    bool RecordFrameMap = false;
    /// The record of the run that made the result buffer; empty when there
    /// is none. It belongs to the result: every run starts without one, and
    /// every command that replaces the result calls DropFrameMap.
    FrameMap ResultFrameMap;
    void DropFrameMap() {
        ResultFrameMap.Release();
        ++ResultGeneration;
    }
    /// Counts the results the buffer held: every command that replaces the
    /// result counts it up (through DropFrameMap). A frame map describes
    /// the result of the generation it was recorded in, and a copy of the
    /// result shown elsewhere tells by it whether it still shows that
    /// result; a size says nothing (every frame of the night has it).
    uint64_t ResultGeneration = 1;
    /// The frame map, when it still fits the result buffer; else null.
    const FrameMap* CurrentFrameMap() const {
        return Result && ResultFrameMap.SameSize(*Result) ? &ResultFrameMap : nullptr;
    }

    /// The result buffer starts as the empty image (null only when even that
    /// cannot be allocated; a run then tries again).
    RunState();

    /// Makes the result buffer again when the slot is empty (the host may
    /// replace it while events run); false when even the empty image cannot
    /// be allocated.
    bool EnsureResult() { return Result || EnsureImage(Result); }
    /// The result buffer, made again when missing rather than dereferenced;
    /// throws std::bad_alloc when it cannot be.
    RgbImage& ResultBuffer();
};

/// The memory the program lets frames decoded ahead take by default: a
/// quarter of the physical memory (1 GiB when it cannot be told).
int64_t DefaultAheadBytes();

/// A level of the 0..255 scale (a threshold, the search's Min Level) at a
/// depth: as it is at 8 bits; at 16 bits level * 257 + 256, the top of the
/// 16-bit values that stand for the level, so that "above the level" picks
/// the same pixels of an 8-bit picture widened (v * 257) as of the picture
/// itself. Widened in 64 bits: no level overflows.
int64_t LevelAtDepth(int64_t level, int depth);

/// The abort button ("Abort Process.."): asks the running run, if any, to
/// pause and offer to stop between two pictures. Pressed while no run is
/// active, the flags stay set until the next run clears them.
void ToolButtonAbortClick(RunState& state);

}  // namespace nocturo
