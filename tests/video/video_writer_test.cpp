// The video writer against FFmpeg's own decoder: what a player sees is what
// the pictures were, in their order, and the final name never holds a
// broken video.

#include "video/video_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "tests/support/test_support.h"
#include "tests/support/video_decode.h"

namespace nocturo {
namespace {

using test::DecodedVideo;
using test::DecodeVideo;
using test::Psnr;
using test::TempDir;

/// Frame k of a night: a smooth sky whose glow changes with k and a bright
/// square that moves with k, so every frame differs clearly from the others.
RgbImage Frame(int width, int height, int k) {
    RgbImage image;
    image.Resize(width, height);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = image.Row(y);
        for (int x = 0; x < width; ++x, p += 3) {
            p[0] = static_cast<uint8_t>(40 + 100 * x / width + 12 * k);
            p[1] = static_cast<uint8_t>(30 + 80 * y / height + 6 * k);
            p[2] = static_cast<uint8_t>(20 + 60 * (x + y) / (width + height));
        }
    }
    const int side = std::max(2, height / 8);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            test::SetPixel(image, (x + k * side) % width, y + height / 2, 250, 250, 250);
        }
    }
    return image;
}

std::vector<std::string> FolderContents(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST(VideoWriter, EveryFrameInOrderCloseToItsPicture) {
    TempDir dir;
    const std::string name = dir.File("night.mp4");
    constexpr int kFrames = 6;
    std::vector<RgbImage> pictures;
    VideoWriter writer;
    ASSERT_TRUE(writer.Open(name, VideoSettings{}, false)) << writer.Reason();
    for (int k = 0; k < kFrames; ++k) {
        pictures.push_back(Frame(160, 120, k));
        RgbImage handed = pictures.back();
        // Taken and copied frames alike.
        const auto added = k % 2 == 0 ? writer.Take(handed) : writer.Add(handed);
        ASSERT_EQ(added, VideoWriter::AddResult::Queued);
    }
    ASSERT_TRUE(writer.Finish()) << writer.Reason();
    EXPECT_EQ(FolderContents(dir), std::vector<std::string>{"night.mp4"});

    const DecodedVideo video = DecodeVideo(name);
    ASSERT_TRUE(video.ok);
    EXPECT_EQ(video.codec, "h264");
    EXPECT_EQ(video.profile, "High");
    EXPECT_EQ(video.pixelFormat, "yuv420p");
    EXPECT_EQ(video.width, 160);
    EXPECT_EQ(video.height, 120);
    EXPECT_EQ(video.fpsNum * 1.0 / video.fpsDen, 25.0);
    EXPECT_NEAR(video.seconds, kFrames / 25.0, 1e-3);  // the last frame plays too
    EXPECT_EQ(video.primaries, "bt709");
    EXPECT_EQ(video.transfer, "iec61966-2-1");
    EXPECT_EQ(video.matrix, "smpte170m");  // below HD, the matrix players assume
    EXPECT_EQ(video.range, "tv");
    ASSERT_EQ(video.frames.size(), static_cast<size_t>(kFrames));
    for (int k = 0; k < kFrames; ++k) {
        SCOPED_TRACE(k);
        const double own = Psnr(pictures[k], video.frames[k]);
        EXPECT_GE(own, 40.0);
        for (int other = 0; other < kFrames; ++other) {
            if (other != k) {
                EXPECT_LT(Psnr(pictures[other], video.frames[k]), own - 6);
            }
        }
    }
}

TEST(VideoWriter, SizesFrameRatesAndQuality) {
    struct Case {
        int frameWidth, frameHeight;
        VideoSettings settings;
        int width, height;
        const char* matrix;
        const char* profile;
        double minPsnr;  // against the picture at the video's size; 0: not compared
    };
    const Case cases[] = {
        // Odd sizes lose their last column and row, nothing is scaled.
        {161, 121, {}, 160, 120, "smpte170m", "High", 40},
        // The width given, the height in the frames' aspect ratio.
        {320, 180, {30, 160, 18}, 160, 90, "smpte170m", "High", 0},
        {1280, 720, {12, 0, 23}, 1280, 720, "bt709", "High", 38},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frameWidth << "x" << c.frameHeight << " width "
                                        << c.settings.width << " crf " << c.settings.crf);
        TempDir dir;
        const std::string name = dir.File("v.mp4");
        VideoWriter writer;
        ASSERT_TRUE(writer.Open(name, c.settings, false));
        std::vector<RgbImage> pictures;
        for (int k = 0; k < 3; ++k) {
            pictures.push_back(Frame(c.frameWidth, c.frameHeight, k));
            ASSERT_EQ(writer.Add(pictures.back()), VideoWriter::AddResult::Queued);
        }
        ASSERT_TRUE(writer.Finish()) << writer.Reason();
        const DecodedVideo video = DecodeVideo(name);
        ASSERT_TRUE(video.ok);
        EXPECT_EQ(video.width, c.width);
        EXPECT_EQ(video.height, c.height);
        EXPECT_EQ(video.fpsNum * 1.0 / video.fpsDen, c.settings.fps);
        EXPECT_EQ(video.matrix, c.matrix);
        EXPECT_EQ(video.profile, c.profile);
        ASSERT_EQ(video.frames.size(), 3u);
        for (int k = 0; c.minPsnr > 0 && k < 3; ++k) {
            RgbImage cropped;
            cropped.Resize(c.width, c.height);
            for (int y = 0; y < c.height; ++y) {
                std::memcpy(cropped.Row(y), pictures[k].Row(y), cropped.Stride());
            }
            EXPECT_GE(Psnr(cropped, video.frames[k]), c.minPsnr) << k;
        }
    }
}

// Grey noise is the hardest picture for a lossy encoder and loses nothing
// in the conversion to YUV but the rounding of the levels: lossless must
// keep it, the default quality cannot.
TEST(VideoWriter, LosslessKeepsWhatTheDefaultLoses) {
    RgbImage noise = test::RandomImage(96, 64, 7);
    for (int y = 0; y < noise.Height(); ++y) {
        for (int x = 0; x < noise.Width(); ++x) {
            const uint8_t v = noise.Row(y)[3 * x];
            test::SetPixel(noise, x, y, v, v, v);
        }
    }
    for (int crf : {kLosslessCrf, 18}) {
        TempDir dir;
        VideoWriter writer;
        ASSERT_TRUE(writer.Open(dir.File("v.mp4"), VideoSettings{25, 0, crf}, false));
        writer.Add(noise);
        ASSERT_TRUE(writer.Finish());
        const DecodedVideo video = DecodeVideo(dir.File("v.mp4"));
        ASSERT_EQ(video.frames.size(), 1u);
        // x264 codes losslessly only in the High 4:4:4 Predictive profile.
        EXPECT_EQ(video.profile, crf == kLosslessCrf ? "High 4:4:4 Predictive" : "High");
        EXPECT_EQ(video.pixelFormat, "yuv420p");
        const double psnr = Psnr(noise, video.frames[0]);
        EXPECT_TRUE(crf == kLosslessCrf ? psnr >= 48 : psnr < 40) << crf << ": " << psnr;
    }
}

TEST(VideoWriter, VideoSizes) {
    struct Case {
        int frameWidth, frameHeight, width;
        VideoSize size;
    };
    const Case cases[] = {
        {6000, 4000, 0, {6000, 4000}},
        {6001, 4001, 0, {6000, 4000}},
        {6000, 4000, 1920, {1920, 1280}},
        {6000, 4000, 1921, {1920, 1280}},
        {1000, 333, 100, {100, 34}},  // 33.3 to the nearest even number
        {3, 3, 0, {2, 2}},
        {1, 1, 0, {0, 0}},        // the empty picture
        {100, 40000, 0, {0, 0}},  // beyond what the encoder takes
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VideoSizeFor(c.frameWidth, c.frameHeight, c.width), c.size)
            << c.frameWidth << "x" << c.frameHeight << " width " << c.width;
    }
    EXPECT_NE(CheckVideoSettings({0, 0, 18}), "");
    EXPECT_NE(CheckVideoSettings({25, 8, 18}), "");
    EXPECT_NE(CheckVideoSettings({25, 0, 52}), "");
    EXPECT_EQ(CheckVideoSettings({kMaxVideoFps, kMaxVideoWidth, 0}), "");
}

TEST(VideoWriter, AFrameOfAnotherSizeIsLeftOut) {
    TempDir dir;
    const std::string name = dir.File("v.mp4");
    VideoWriter writer;
    ASSERT_TRUE(writer.Open(name, VideoSettings{}, false));
    const RgbImage first = Frame(64, 48, 0);
    const RgbImage last = Frame(64, 48, 3);
    EXPECT_EQ(writer.Add(first), VideoWriter::AddResult::Queued);
    EXPECT_EQ(writer.Add(Frame(48, 64, 1)), VideoWriter::AddResult::OtherSize);
    EXPECT_EQ(writer.Add(last), VideoWriter::AddResult::Queued);
    EXPECT_EQ(writer.Frames(), 2);
    ASSERT_TRUE(writer.Finish());
    const DecodedVideo video = DecodeVideo(name);
    ASSERT_EQ(video.frames.size(), 2u);
    EXPECT_GE(Psnr(first, video.frames[0]), 40);
    EXPECT_GE(Psnr(last, video.frames[1]), 40);
}

// A video that is not finished leaves nothing at all behind: not under its
// name, not under the temporary one.
TEST(VideoWriter, NoFileUnlessFinished) {
    enum class End { Abandon, Destroy, FinishEmpty };
    for (End end : {End::Abandon, End::Destroy, End::FinishEmpty}) {
        TempDir dir;
        {
            VideoWriter writer;
            ASSERT_TRUE(writer.Open(dir.File("v.mp4"), VideoSettings{}, false));
            EXPECT_EQ(FolderContents(dir).size(), 1u);  // the temporary file
            if (end == End::FinishEmpty) {
                EXPECT_FALSE(writer.Finish());
                EXPECT_EQ(writer.Reason(), "no picture could be read");
            } else {
                writer.Add(Frame(64, 48, 0));
                writer.Add(Frame(64, 48, 1));
                if (end == End::Abandon) {
                    writer.Abandon();
                }
            }
        }
        EXPECT_TRUE(FolderContents(dir).empty()) << static_cast<int>(end);
    }
}

TEST(VideoWriter, AnExistingFileIsReplacedOnlyWhenAsked) {
    TempDir dir;
    const std::string name = dir.File("v.mp4");
    test::WriteBytes(name, {'k', 'e', 'e', 'p'});
    ::chmod(name.c_str(), 0640);
    VideoWriter writer;
    EXPECT_FALSE(writer.Open(name, VideoSettings{}, false));
    EXPECT_EQ(writer.Reason(), "the file exists");
    EXPECT_EQ(test::ReadBytes(name), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(FolderContents(dir).size(), 1u);

    ASSERT_TRUE(writer.Open(name, VideoSettings{}, true));
    writer.Add(Frame(64, 48, 0));
    ASSERT_TRUE(writer.Finish());
    EXPECT_EQ(DecodeVideo(name).frames.size(), 1u);
    struct stat st {};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);  // the replaced file's permissions
}

// A folder that cannot be written, and a file that cannot grow (as on a
// full disk): the reason is given and no file is left.
TEST(VideoWriter, WriteFailuresAreReportedWithTheirReason) {
    VideoWriter writer;
    EXPECT_FALSE(writer.Open("/nonexistent-folder/v.mp4", VideoSettings{}, false));
    EXPECT_EQ(writer.Reason(), "No such file or directory");

    TempDir dir;
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    auto* const oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    ASSERT_TRUE(writer.Open(dir.File("v.mp4"), VideoSettings{25, 0, kLosslessCrf}, false));
    for (int k = 0; k < 8; ++k) {
        writer.Add(test::RandomImage(128, 96, k));
    }
    EXPECT_FALSE(writer.Finish());
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(writer.Reason(), "File too large");
    EXPECT_TRUE(FolderContents(dir).empty());
}

}  // namespace
}  // namespace nocturo
