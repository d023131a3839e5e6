#pragma once
// VideoWriter: turns pictures, one after another, into an MP4 time-lapse
// (H.264, yuv420p, which every player and phone plays) through FFmpeg's
// libraries, on a thread of its own behind the caller. No program is started.
//
// Threading rules
// - The owner is the thread that runs the command. Only the owner calls the
//   public functions, including the destructor.
// - One worker thread scales and converts each picture (BGR to YUV) and
//   hands it to the encoder, which runs threads of its own below it, and
//   writes what the encoder gives back to the file; at Finish it also
//   completes the file. The worker touches only the pictures handed to it,
//   the converter, the encoder and the file. The owner touches the encoder
//   only before the worker starts and after it has been joined.
// - One mutex guards the queue of pictures, the spare buffers and the
//   outcome. A buffer belongs to one holder at a time: the owner, the queue,
//   the worker, or the spares; it changes hands under the mutex.
// - Memory: at most kQueuedPictures pictures wait in the queue (Add waits
//   while it is full) and as many spare buffers are kept, besides the
//   worker's converted frame and the encoder's own frames, whose number its
//   look-ahead bounds (smaller for very large frames). So memory is flat
//   whatever the number of pictures.
//
// The file: written under a hidden temporary name in the same folder,
// registered (core/temp_files.h) so that a program ended by a signal removes
// it, and renamed into place by Finish once the video is complete. The final
// name therefore holds a whole, playable video or nothing: a writer that
// fails, is abandoned, or is destroyed without Finish removes its file.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/rgb_image.h"

namespace nocturo {

/// The settings of a video. Lossless is a constant rate factor of 0.
struct VideoSettings {
    /// Frames per second, 1 to kMaxVideoFps.
    int fps = 25;
    /// Width of the video: 0 for the frames' own; otherwise kMinVideoWidth
    /// to kMaxVideoWidth (an odd width is made even). The height follows
    /// the frames' aspect ratio.
    int width = 0;
    /// x264's constant rate factor, 0 to 51: lower is better and larger;
    /// 0 is lossless.
    int crf = 18;
    /// Encoder threads; 0 lets the encoder choose from the processors.
    int encoderThreads = 0;
};

inline constexpr int kMaxVideoFps = 240;
inline constexpr int kMinVideoWidth = 16;
inline constexpr int kMaxVideoWidth = 16384;
inline constexpr int kMaxCrf = 51;
inline constexpr int kLosslessCrf = 0;

/// Pictures waiting for the worker at most.
inline constexpr int kQueuedPictures = 2;

/// The problem with settings outside their ranges, or empty when they fit.
std::string CheckVideoSettings(const VideoSettings& settings);

struct VideoSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const VideoSize&, const VideoSize&) = default;
};

/// The size of the video made of frames of frameWidth x frameHeight. Width
/// 0: the frames' own made even (the odd last column and row are left out);
/// otherwise that width made even, and the height in the frames' aspect
/// ratio, rounded to the nearest even number (at least 2). Both are 0 when
/// no video can be made of such frames (smaller than 2 x 2).
VideoSize VideoSizeFor(int frameWidth, int frameHeight, int width);

class VideoWriter {
  public:
    enum class AddResult {
        Queued,     ///< the picture will be in the video
        OtherSize,  ///< its size differs from the first picture's: left out
        Failed,     ///< the video cannot be written (Reason says why)
    };

    /// behind false: each picture is encoded on the caller's thread before
    /// Add returns, and nothing runs behind it (the one-thread floor the
    /// benchmarks measure the runs against).
    explicit VideoWriter(bool behind = true);
    /// Without Finish, the temporary file is removed: no video.
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    /// Starts the video fileName: checks the settings and creates the
    /// temporary file beside it. An existing fileName is kept unless
    /// replace; then, and when its folder cannot be written, the result is
    /// false and Reason says why. The encoder starts with the first picture,
    /// whose size the video takes.
    bool Open(const std::string& fileName, const VideoSettings& settings, bool replace);

    /// The next frame, copied: picture stays the caller's.
    AddResult Add(const RgbImage& picture);
    /// The next frame, without a copy: the writer takes picture's buffer and
    /// leaves a spare one in its place (pixels undefined) or an empty image.
    AddResult Take(RgbImage& picture);

    /// Encodes what is queued, completes the video and renames it into
    /// place. False, with nothing under the final name, when it cannot be
    /// written (Reason says why), also when no picture was added. The
    /// encoder's last frames take a while for large pictures: whileWaiting,
    /// when given, runs on the owner's thread every few hundredths of a
    /// second meanwhile (a window lets its events run).
    bool Finish(const std::function<void()>& whileWaiting = {});
    /// Gives up: the worker stops and the temporary file is removed.
    void Abandon();

    /// The last Finish completed the video under its name.
    bool Written() const { return written_; }
    /// Pictures accepted so far.
    int Frames() const { return frames_; }
    /// The video's size (0 x 0 before the first picture).
    VideoSize Size() const { return size_; }
    /// Why the video could not be written; empty while all is well.
    std::string Reason() const;
    const std::string& FileName() const { return fileName_; }

  private:
    struct Encoder;

    // Queues picture: its buffer when taken is picture itself, else a copy.
    AddResult Queue(const RgbImage& picture, RgbImage* taken);
    bool StartEncoder(int frameWidth, int frameHeight);
    enum class Closing { No, Complete, Abandon };

    void Work();
    void Fail(const std::string& reason);
    // Lets the worker end: after the queue (Complete, which then completes
    // the file) or at once (Abandon).
    void StopWorker(Closing how, const std::function<void()>& whileWaiting);
    void RemoveTemporary();

    const bool behind_;
    VideoSettings settings_;
    std::string fileName_;
    std::string tempName_;
    bool replace_ = false;
    bool open_ = false;
    bool written_ = false;
    int frames_ = 0;
    VideoSize size_;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
    std::unique_ptr<Encoder> encoder_;

    mutable std::mutex mutex_;
    std::condition_variable work_;   // the worker waits here
    std::condition_variable space_;  // the owner waits here (room, the worker's end)
    std::deque<RgbImage> queue_;
    std::vector<RgbImage> spare_;
    Closing closing_ = Closing::No;
    bool workerDone_ = false;
    std::string reason_;
    std::thread worker_;
};

}  // namespace nocturo
