#include "video/video_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/atomic_file.h"
#include "core/temp_files.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace nocturo {

namespace {

constexpr const char* kNoPicture = "no picture could be read";
constexpr const char* kFileExists = "the file exists";
constexpr const char* kNotRegular = "it exists and is not a regular file";
constexpr const char* kNoName = "the name has no file name";
constexpr const char* kTooSmall = "the pictures are too small for a video (at least 2 x 2)";
constexpr const char* kTooLarge = "the video would be larger than 16384 pixels across";
constexpr const char* kNoEncoder = "this FFmpeg has no H.264 encoder (libx264)";
constexpr const char* kNoMemory = "not enough memory";
constexpr const char* kNotOpen = "the video was not started";

// x264's speed against compression. On a night of noisy 3000 x 2000 frames
// at the default quality, x264's own default ("medium") took 2.2 times the
// processor time of "faster" for a file 3 % larger and 0.4 dB closer to
// the pictures; "faster" keeps up with the runs.
constexpr const char* kPreset = "faster";
// x264 keeps about this many bytes per pixel for each frame of its
// look-ahead (the frame, its half-size planes, the analysis): 65 MB for a
// 6000 x 4000 frame. The look-ahead is cut so that it holds no more than
// kLookAheadBytes, and never below kMinLookAhead frames.
constexpr double kLookAheadBytesPerPixel = 3.0;
constexpr double kLookAheadBytes = 1024.0 * 1024.0 * 1024.0;
constexpr int kMinLookAhead = 10;
constexpr int kMaxLookAhead = 20;  // the preset's own
// More encoder threads only cost memory (each holds frames).
constexpr int kMaxEncoderThreads = 16;
// How often a waiting Finish lets the caller's events run.
constexpr std::chrono::milliseconds kWaitStep{50};
// Bytes the muxer gathers before each write to the file.
constexpr int kIoBufferBytes = 1 << 20;

// The last error FFmpeg logged on this thread: the reason a call failed.
// Nothing FFmpeg logs goes to the terminal; a failure is reported by the
// program in its own words, with this text.
thread_local std::string lastLibraryError;

void LogToReason(void* /*object*/, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR) {
        return;
    }
    char line[512];
    int prefix = 1;
    av_log_format_line2(nullptr, level, format, args, line, sizeof line, &prefix);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    if (!text.empty()) {
        lastLibraryError = text;
    }
}

std::string LibraryError(int code) {
    if (!lastLibraryError.empty()) {
        return lastLibraryError;
    }
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The temporary name beside base: hidden, and for a long name no longer
// than base itself, so every name the file system accepts can be written.
std::string TempName(const std::string& base) {
    constexpr size_t kSuffix = 7;  // ".XXXXXX"
    constexpr size_t kShort = 16;
    std::string stem = base;
    if (base.size() >= kShort) {
        stem.resize(base.size() - kSuffix - 1);
    }
    return "." + stem + ".XXXXXX";
}

// Renames without replacing a file that appeared at the final name after
// the writer was started, where the file system can tell.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    if (::access(to.c_str(), F_OK) == 0) {
        return EEXIST;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

std::string CheckVideoSettings(const VideoSettings& settings) {
    if (settings.fps < 1 || settings.fps > kMaxVideoFps) {
        return "the frames per second must be from 1 to " + std::to_string(kMaxVideoFps);
    }
    if (settings.width != 0 &&
        (settings.width < kMinVideoWidth || settings.width > kMaxVideoWidth)) {
        return "the width must be 0 (the frames' own) or from " + std::to_string(kMinVideoWidth) +
               " to " + std::to_string(kMaxVideoWidth);
    }
    if (settings.crf < 0 || settings.crf > kMaxCrf) {
        return "the quality (CRF) must be from 0 to " + std::to_string(kMaxCrf);
    }
    if (settings.encoderThreads < 0) {
        return "the encoder threads must not be negative";
    }
    return {};
}

VideoSize VideoSizeFor(int frameWidth, int frameHeight, int width) {
    if (frameWidth < 2 || frameHeight < 2) {
        return {};
    }
    VideoSize size{frameWidth & ~1, frameHeight & ~1};
    if (width > 0) {
        size.width = std::max(2, width & ~1);
        // frameHeight * width / frameWidth, to the nearest even number.
        const int64_t half =
            (int64_t{frameHeight} * size.width + frameWidth) / (int64_t{2} * frameWidth);
        size.height = static_cast<int>(std::clamp<int64_t>(half * 2, 2, kMaxVideoWidth + 2));
    }
    if (size.width > kMaxVideoWidth || size.height > kMaxVideoWidth) {
        return {};
    }
    return size;
}

// ---- the encoder and the file ----------------------------------------------

/// FFmpeg's side: the converter, the encoder and the muxer over the
/// temporary file. Made on the owner's thread with the first picture, then
/// used by the worker alone until it has been joined.
struct VideoWriter::Encoder {
    std::unique_ptr<TemporaryFile> temp;
    int fd = -1;
    int writeError = 0;  // errno of the write that failed
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int sourceWidth = 0;  // the part of each picture that is converted
    int sourceHeight = 0;
    int64_t nextPts = 0;
    RgbImage narrowed;  // a 16-bit picture at 8 bits, the converter's input

    ~Encoder() {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        if (format != nullptr) {
            if (format->pb != nullptr) {
                av_freep(&format->pb->buffer);
                avio_context_free(&format->pb);
            }
            avformat_free_context(format);
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }

#if LIBAVFORMAT_VERSION_MAJOR >= 61
    static int Write(void* opaque, const uint8_t* data, int size) {
#else
    static int Write(void* opaque, uint8_t* data, int size) {
#endif
        auto* self = static_cast<Encoder*>(opaque);
        int done = 0;
        while (done < size) {
            const ssize_t n = ::write(self->fd, data + done, static_cast<size_t>(size - done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                self->writeError = n < 0 ? errno : EIO;
                return AVERROR(self->writeError);
            }
            done += static_cast<int>(n);
        }
        return size;
    }

    static int64_t Seek(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<Encoder*>(opaque);
        if (whence == AVSEEK_SIZE) {
            struct stat st {};
            return ::fstat(self->fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
        }
        const off_t at = ::lseek(self->fd, offset, whence & ~AVSEEK_FORCE);
        return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
    }

    /// Why the last call failed: the file's error when writing it failed.
    std::string Why(int code) const {
        return writeError != 0 ? std::strerror(writeError) : LibraryError(code);
    }

    bool Start(const VideoSettings& settings, int frameWidth, int frameHeight, VideoSize size,
               std::string& reason);
    bool Drain(std::string& reason);
    bool Encode(const RgbImage& picture, std::string& reason);
    bool Complete(std::string& reason);
};

bool VideoWriter::Encoder::Start(const VideoSettings& settings, int frameWidth, int frameHeight,
                                 VideoSize size, std::string& reason) {
    lastLibraryError.clear();
    const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
    if (h264 == nullptr) {
        reason = kNoEncoder;
        return false;
    }
    int code = avformat_alloc_output_context2(&format, nullptr, "mp4", nullptr);
    auto* buffer = format != nullptr ? static_cast<uint8_t*>(av_malloc(kIoBufferBytes)) : nullptr;
    if (buffer != nullptr) {
        format->pb = avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr, Write, Seek);
        if (format->pb == nullptr) {
            av_free(buffer);
        }
    }
    codec = avcodec_alloc_context3(h264);
    frame = av_frame_alloc();
    packet = av_packet_alloc();
    if (format == nullptr || format->pb == nullptr || codec == nullptr || frame == nullptr ||
        packet == nullptr) {
        reason = code < 0 ? LibraryError(code) : kNoMemory;
        return false;
    }
    format->flags |= AVFMT_FLAG_CUSTOM_IO;

    codec->width = size.width;
    codec->height = size.height;
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    codec->time_base = AVRational{1, settings.fps};
    codec->framerate = AVRational{settings.fps, 1};
    codec->sample_aspect_ratio = AVRational{1, 1};
    // The pictures are sRGB: BT.709 primaries and the sRGB curve. The
    // matrix is the one players assume for the size when a file does not
    // say (BT.709 from HD up, BT.601 below), and the file says it too.
    const bool hd = size.width >= 1280 || size.height >= 720;
    codec->color_primaries = AVCOL_PRI_BT709;
    codec->color_trc = AVCOL_TRC_IEC61966_2_1;
    codec->colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    codec->color_range = AVCOL_RANGE_MPEG;
    if ((format->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    codec->thread_count =
        settings.encoderThreads > 0
            ? settings.encoderThreads
            : static_cast<int>(std::clamp<unsigned>(cores * 3 / 2, 1, kMaxEncoderThreads));
    const double pixels = static_cast<double>(size.width) * size.height;
    const int lookAhead =
        static_cast<int>(std::clamp(kLookAheadBytes / (kLookAheadBytesPerPixel * pixels),
                                    double{kMinLookAhead}, double{kMaxLookAhead}));
    av_opt_set(codec->priv_data, "preset", kPreset, 0);
    // A constant rate factor of 0 is x264's lossless coding, which H.264
    // allows only in the High 4:4:4 Predictive profile (x264 picks it; the
    // pictures stay yuv420p). Not every player decodes that profile.
    av_opt_set_double(codec->priv_data, "crf", settings.crf, 0);
    av_opt_set_int(codec->priv_data, "rc-lookahead", lookAhead, 0);

    code = avcodec_open2(codec, h264, nullptr);
    if (code < 0) {
        reason = LibraryError(code);
        return false;
    }
    stream = avformat_new_stream(format, nullptr);
    if (stream == nullptr || avcodec_parameters_from_context(stream->codecpar, codec) < 0) {
        reason = kNoMemory;
        return false;
    }
    stream->time_base = codec->time_base;
    stream->avg_frame_rate = codec->framerate;
    stream->r_frame_rate = codec->framerate;
    code = avformat_write_header(format, nullptr);
    if (code < 0) {
        reason = Why(code);
        return false;
    }

    // Frames of the video's own size (made even) are only cropped; any
    // other size is scaled. The colour is halved in each direction with
    // the same Lanczos filter, from every pixel. Exact rounding: without
    // it a grey sky comes out tinted by a level.
    const bool scaled = size != VideoSize{frameWidth & ~1, frameHeight & ~1};
    sourceWidth = scaled ? frameWidth : size.width;
    sourceHeight = scaled ? frameHeight : size.height;
    scaler = sws_getContext(sourceWidth, sourceHeight, AV_PIX_FMT_BGR24, size.width, size.height,
                            AV_PIX_FMT_YUV420P, SWS_LANCZOS | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP,
                            nullptr, nullptr, nullptr);
    if (scaler == nullptr) {
        reason = kNoMemory;
        return false;
    }
    const int* matrix = sws_getCoefficients(hd ? SWS_CS_ITU709 : SWS_CS_ITU601);
    // Full-range pictures into limited-range video, as players expect.
    sws_setColorspaceDetails(scaler, matrix, 1, matrix, 0, 0, 1 << 16, 1 << 16);
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = size.width;
    frame->height = size.height;
    frame->color_primaries = codec->color_primaries;
    frame->color_trc = codec->color_trc;
    frame->colorspace = codec->colorspace;
    frame->color_range = codec->color_range;
    if (av_frame_get_buffer(frame, 0) < 0) {
        reason = kNoMemory;
        return false;
    }
    return true;
}

bool VideoWriter::Encoder::Drain(std::string& reason) {
    for (;;) {
        int code = avcodec_receive_packet(codec, packet);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) {
            return true;
        }
        if (code < 0) {
            reason = LibraryError(code);
            return false;
        }
        // Every frame lasts one frame time, the last one too: without it
        // the file's length would end where the last frame starts.
        packet->duration = 1;
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        code = av_interleaved_write_frame(format, packet);
        if (code < 0) {
            reason = Why(code);
            return false;
        }
    }
}

bool VideoWriter::Encoder::Encode(const RgbImage& picture, std::string& reason) {
    lastLibraryError.clear();
    if (av_frame_make_writable(frame) < 0) {
        reason = kNoMemory;
        return false;
    }
    const RgbImage* source = &picture;
    if (picture.Depth() == 16) {
        // Rounded to the nearest 8-bit level, as a 16-bit picture is saved.
        if (!NarrowTo8(picture, narrowed)) {
            reason = kNoMemory;
            return false;
        }
        source = &narrowed;
    }
    const uint8_t* const rows[4] = {source->Row(0), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(source->Stride()), 0, 0, 0};
    sws_scale(scaler, rows, strides, 0, sourceHeight, frame->data, frame->linesize);
    frame->pts = nextPts++;
    const int code = avcodec_send_frame(codec, frame);
    if (code < 0) {
        reason = LibraryError(code);
        return false;
    }
    return Drain(reason);
}

bool VideoWriter::Encoder::Complete(std::string& reason) {
    lastLibraryError.clear();
    int code = avcodec_send_frame(codec, nullptr);
    if (code < 0) {
        reason = LibraryError(code);
        return false;
    }
    if (!Drain(reason)) {
        return false;
    }
    code = av_write_trailer(format);
    avio_flush(format->pb);
    if (code < 0 || format->pb->error < 0) {
        reason = Why(code < 0 ? code : format->pb->error);
        return false;
    }
    const int closing = fd;
    fd = -1;
    if (::close(closing) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

// ---- the writer ------------------------------------------------------------

VideoWriter::VideoWriter(bool behind) : behind_(behind) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_callback(LogToReason); });
}

VideoWriter::~VideoWriter() {
    if (open_) {
        Abandon();
    }
}

std::string VideoWriter::Reason() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return reason_;
}

bool VideoWriter::Open(const std::string& fileName, const VideoSettings& settings, bool replace) {
    if (open_) {
        Abandon();
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        reason_.clear();
        closing_ = Closing::No;
        workerDone_ = false;
    }
    written_ = false;
    settings_ = settings;
    fileName_ = fileName;
    replace_ = replace;
    frames_ = 0;
    size_ = {};
    frameWidth_ = 0;
    frameHeight_ = 0;
    encoder_.reset();
    if (std::string problem = CheckVideoSettings(settings); !problem.empty()) {
        Fail(problem);
        return false;
    }
    const size_t slash = fileName.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    if (base.empty()) {
        Fail(kNoName);
        return false;
    }
    struct stat existing {};
    const bool exists = ::stat(fileName.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        Fail(kNotRegular);
        return false;
    }
    if (exists && !replace) {
        Fail(kFileExists);
        return false;
    }
    auto encoder = std::make_unique<Encoder>();
    tempName_ = folder + TempName(base);
    encoder->temp = std::make_unique<TemporaryFile>(tempName_);
    encoder->fd = encoder->temp->Fd();
    if (encoder->fd < 0) {
        Fail(std::strerror(errno));
        encoder->temp.reset();
        return false;
    }
    // mkstemp makes the file readable by its owner only: give it the bits
    // of the file it replaces, or those of any new file of the user.
    ::fchmod(encoder->fd, exists ? existing.st_mode & 07777 : static_cast<mode_t>(NewFileMode()));
    encoder_ = std::move(encoder);
    open_ = true;
    return true;
}

void VideoWriter::Fail(const std::string& reason) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (reason_.empty()) {
        reason_ = reason;
    }
}

bool VideoWriter::StartEncoder(int frameWidth, int frameHeight) {
    frameWidth_ = frameWidth;
    frameHeight_ = frameHeight;
    const VideoSize size = VideoSizeFor(frameWidth, frameHeight, settings_.width);
    if (size.width == 0) {
        Fail(frameWidth < 2 || frameHeight < 2 ? kTooSmall : kTooLarge);
        return false;
    }
    std::string reason;
    if (!encoder_->Start(settings_, frameWidth, frameHeight, size, reason)) {
        Fail(reason);
        return false;
    }
    size_ = size;
    if (behind_) {
        worker_ = std::thread([this] { Work(); });
    }
    return true;
}

VideoWriter::AddResult VideoWriter::Add(const RgbImage& picture) {
    return Queue(picture, nullptr);
}

VideoWriter::AddResult VideoWriter::Take(RgbImage& picture) {
    return Queue(picture, &picture);
}

VideoWriter::AddResult VideoWriter::Queue(const RgbImage& picture, RgbImage* taken) {
    if (!open_) {
        Fail(kNotOpen);
        return AddResult::Failed;
    }
    if (!Reason().empty()) {
        return AddResult::Failed;
    }
    if (size_.width == 0 && !StartEncoder(picture.Width(), picture.Height())) {
        return AddResult::Failed;
    }
    if (picture.Width() != frameWidth_ || picture.Height() != frameHeight_) {
        return AddResult::OtherSize;
    }
    if (!behind_) {
        std::string reason;
        if (!encoder_->Encode(picture, reason)) {
            Fail(reason);
            return AddResult::Failed;
        }
        ++frames_;
        return AddResult::Queued;
    }
    RgbImage spare;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        space_.wait(lock, [&] {
            return static_cast<int>(queue_.size()) < kQueuedPictures || !reason_.empty();
        });
        if (!reason_.empty()) {
            return AddResult::Failed;
        }
        if (!spare_.empty()) {
            spare = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    if (taken != nullptr) {
        taken->Swap(spare);
    } else {
        if (!spare.Resize(picture.Width(), picture.Height(), picture.Depth())) {
            Fail(kNoMemory);
            return AddResult::Failed;
        }
        for (int y = 0; y < picture.Height(); ++y) {
            std::memcpy(spare.Row(y), picture.Row(y), picture.Stride());
        }
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(spare));
    }
    work_.notify_one();
    ++frames_;
    return AddResult::Queued;
}

void VideoWriter::Work() {
    for (;;) {
        RgbImage picture;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_.wait(lock, [&] { return !queue_.empty() || closing_ != Closing::No; });
            if (queue_.empty()) {
                break;
            }
            picture = std::move(queue_.front());
            queue_.pop_front();
        }
        space_.notify_one();
        // Only this thread fails while it runs, and it stops encoding once
        // it has failed (the queue stays empty then).
        std::string reason;
        const bool ok = encoder_->Encode(picture, reason);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!ok && reason_.empty()) {
                reason_ = reason;
            }
            if (static_cast<int>(spare_.size()) < kQueuedPictures) {
                spare_.push_back(std::move(picture));
            }
            if (!reason_.empty()) {
                queue_.clear();  // nothing more can be written
            }
        }
        space_.notify_one();
    }
    // Every picture is encoded: what the encoder still holds (its
    // look-ahead, many seconds of work for large frames) and the file's
    // index are written here too, while the owner may let events run.
    bool complete = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        complete = closing_ == Closing::Complete && reason_.empty();
    }
    std::string reason;
    const bool ok = !complete || encoder_->Complete(reason);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!ok && reason_.empty()) {
            reason_ = reason;
        }
        workerDone_ = true;
    }
    space_.notify_all();
}

void VideoWriter::StopWorker(Closing how, const std::function<void()>& whileWaiting) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closing_ = how;
        if (how == Closing::Abandon) {
            queue_.clear();
        }
    }
    work_.notify_all();
    if (!worker_.joinable()) {
        return;
    }
    if (whileWaiting) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!workerDone_) {
            space_.wait_for(lock, kWaitStep);
            if (!workerDone_) {
                lock.unlock();
                whileWaiting();
                lock.lock();
            }
        }
    }
    worker_.join();
}

void VideoWriter::RemoveTemporary() {
    if (encoder_ && encoder_->temp) {
        ::unlink(tempName_.c_str());
        encoder_->temp->Release();
    }
    encoder_.reset();
}

bool VideoWriter::Finish(const std::function<void()>& whileWaiting) {
    if (!open_) {
        Fail(kNotOpen);
        return false;
    }
    StopWorker(Closing::Complete, whileWaiting);
    if (frames_ == 0) {
        Fail(kNoPicture);
    }
    if (!behind_ && Reason().empty()) {
        std::string reason;
        if (!encoder_->Complete(reason)) {
            Fail(reason);
        }
    }
    bool ok = Reason().empty();
    if (ok) {
        const int error = replace_
                              ? (::rename(tempName_.c_str(), fileName_.c_str()) == 0 ? 0 : errno)
                              : RenameNoReplace(tempName_, fileName_);
        if (error != 0) {
            Fail(error == EEXIST ? kFileExists : std::strerror(error));
            ok = false;
        }
    }
    if (ok) {
        encoder_->temp->Release();  // the file is the video now
        encoder_.reset();
    } else {
        RemoveTemporary();
    }
    spare_.clear();
    open_ = false;
    written_ = ok;
    return ok;
}

void VideoWriter::Abandon() {
    if (!open_) {
        return;
    }
    StopWorker(Closing::Abandon, {});
    RemoveTemporary();
    spare_.clear();
    open_ = false;
}

}  // namespace nocturo
