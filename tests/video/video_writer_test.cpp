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
#include <functional>

#include "tests/support/test_support.h"
#include "tests/support/video_decode.h"

namespace nocturo {
namespace {

using test::DecodeVideo;
using test::NightFrame;
using test::TempDir;
using Added = VideoWriter::AddResult;

size_t FolderSize(const TempDir& dir) {
    const auto files = std::filesystem::directory_iterator(dir.Path());
    return static_cast<size_t>(std::distance(begin(files), end(files)));
}

TEST(VideoWriter, EveryFrameInOrderCloseToItsPicture) {
    TempDir dir;
    std::vector<RgbImage> pictures;
    VideoWriter writer;
    ASSERT_TRUE(writer.Open(dir.File("night.mp4"), VideoSettings{}, false)) << writer.Reason();
    for (int k = 0; k < 6; ++k) {
        pictures.push_back(NightFrame(160, 120, k));
        RgbImage handed = pictures.back();
        // Taken and copied frames alike; a frame of another size is left out.
        EXPECT_EQ(k % 2 == 0 ? writer.Take(handed) : writer.Add(handed), Added::Queued);
        EXPECT_EQ(writer.Add(NightFrame(120, 160, k)), Added::OtherSize);
    }
    ASSERT_TRUE(writer.Finish()) << writer.Reason();
    EXPECT_EQ(FolderSize(dir), 1u);

    const test::DecodedVideo video = DecodeVideo(dir.File("night.mp4"));
    ASSERT_TRUE(video.ok);
    EXPECT_EQ(video.profile, "High");
    EXPECT_EQ(video.pixelFormat, "yuv420p");
    EXPECT_EQ(video.width, 160);
    EXPECT_EQ(video.height, 120);
    EXPECT_EQ(video.fps, 25.0);
    EXPECT_NEAR(video.seconds, 6 / 25.0, 1e-3);  // the last frame plays too
    // sRGB pictures; below HD the matrix players assume for the size.
    EXPECT_EQ(video.primaries + " " + video.transfer + " " + video.matrix + " " + video.range,
              "bt709 iec61966-2-1 smpte170m tv");
    EXPECT_EQ(test::FrameOrder(dir.File("night.mp4"), pictures),
              (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(VideoWriter, SizesRatesAndQuality) {
    struct Case {
        int frameWidth, frameHeight;
        VideoSettings settings;
        int width, height;
        const char* matrix;
    };
    const Case cases[] = {
        // Odd sizes lose their last column and row; nothing is scaled.
        {161, 121, {}, 160, 120, "smpte170m"},
        // The width given, the height in the frames' aspect ratio.
        {320, 180, {30, 160, 18}, 160, 90, "smpte170m"},
        {1280, 720, {12, 0, 23}, 1280, 720, "bt709"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frameWidth);
        TempDir dir;
        VideoWriter writer;
        ASSERT_TRUE(writer.Open(dir.File("v.mp4"), c.settings, false));
        for (int k = 0; k < 2; ++k) {
            writer.Add(NightFrame(c.frameWidth, c.frameHeight, k));
        }
        ASSERT_TRUE(writer.Finish()) << writer.Reason();
        const test::DecodedVideo video = DecodeVideo(dir.File("v.mp4"));
        EXPECT_EQ(video.frames.size(), 2u);
        EXPECT_EQ(video.width, c.width);
        EXPECT_EQ(video.height, c.height);
        EXPECT_EQ(video.fps, c.settings.fps);
        EXPECT_EQ(video.matrix, c.matrix);
    }
    const std::pair<std::array<int, 3>, VideoSize> sizes[] = {
        {{6001, 4001, 0}, {6000, 4000}}, {{6000, 4000, 1921}, {1920, 1280}},
        {{1000, 333, 100}, {100, 34}},   {{1, 1, 0}, {0, 0}},  // the empty picture
        {{100, 40000, 0}, {0, 0}},                             // beyond what the encoder takes
    };
    for (const auto& [frame, size] : sizes) {
        EXPECT_EQ(VideoSizeFor(frame[0], frame[1], frame[2]), size) << frame[0] << " " << frame[2];
    }
    EXPECT_NE(CheckVideoSettings({25, 8, 18}), "");
    EXPECT_EQ(CheckVideoSettings({kMaxVideoFps, kMaxVideoWidth, 0}), "");
}

// Grey noise loses nothing in the conversion to YUV but the rounding of its
// levels, and is the hardest picture for a lossy encoder: lossless keeps it,
// the default quality cannot. (A conversion that tinted grey failed here.)
TEST(VideoWriter, LosslessKeepsWhatTheDefaultLoses) {
    RgbImage noise = test::RandomImage(96, 64, 7);
    for (int y = 0; y < noise.Height(); ++y) {
        for (uint8_t* p = noise.Row(y); p < noise.Row(y) + noise.Stride(); p += 3) {
            p[1] = p[2] = p[0];
        }
    }
    for (int crf : {kLosslessCrf, 18}) {
        TempDir dir;
        VideoWriter writer;
        ASSERT_TRUE(writer.Open(dir.File("v.mp4"), VideoSettings{25, 0, crf}, false));
        writer.Add(noise);
        ASSERT_TRUE(writer.Finish());
        const test::DecodedVideo video = DecodeVideo(dir.File("v.mp4"));
        ASSERT_EQ(video.frames.size(), 1u);
        // x264 codes losslessly only in the High 4:4:4 Predictive profile.
        EXPECT_EQ(video.profile, crf == kLosslessCrf ? "High 4:4:4 Predictive" : "High");
        EXPECT_EQ(video.pixelFormat, "yuv420p");
        const double psnr = test::Psnr(noise, video.frames[0]);
        EXPECT_TRUE(crf == kLosslessCrf ? psnr >= 48 : psnr < 40) << crf << ": " << psnr;
    }
}

// A video that is not complete leaves nothing behind, not under its name nor
// under the temporary one, and an existing file stays as it was.
TEST(VideoWriter, NothingUnderTheNameUnlessComplete) {
    const RgbImage frame = NightFrame(64, 48, 0);
    struct Case {
        const char* what;
        bool exists;
        std::function<void(VideoWriter&, const std::string&)> run;
        const char* reason;
    };
    const Case cases[] = {
        {"abandoned", false,
         [&](VideoWriter& w, auto& name) {
             w.Open(name, {}, false);
             w.Add(frame);
             w.Abandon();
         },
         ""},
        {"destroyed", false,
         [&](VideoWriter& w, auto& name) {
             w.Open(name, {}, false);
             w.Add(frame);
         },
         ""},
        {"empty", false,
         [&](VideoWriter& w, auto& name) {
             w.Open(name, {}, false);
             w.Finish();
         },
         "no picture could be read"},
        {"exists", true, [&](VideoWriter& w, auto& name) { w.Open(name, {}, false); },
         "the file exists"},
        {"no folder", false,
         [&](VideoWriter& w, auto& name) { w.Open(name + "/v.mp4", {}, false); },
         "No such file or directory"},
        // A file that cannot grow, as on a full disk.
        {"full", false,
         [&](VideoWriter& w, auto& name) {
             rlimit before{};
             ::getrlimit(RLIMIT_FSIZE, &before);
             auto* const handler = std::signal(SIGXFSZ, SIG_IGN);
             rlimit small = before;
             small.rlim_cur = 4096;
             ::setrlimit(RLIMIT_FSIZE, &small);
             w.Open(name, {25, 0, kLosslessCrf}, false);
             for (int k = 0; k < 8; ++k) {
                 w.Add(test::RandomImage(128, 96, k));
             }
             w.Finish();
             ::setrlimit(RLIMIT_FSIZE, &before);
             std::signal(SIGXFSZ, handler);
         },
         "File too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string name = dir.File("v.mp4");
        if (c.exists) {
            test::WriteBytes(name, {'o', 'l', 'd'});
        }
        {
            VideoWriter writer;
            c.run(writer, name);
            EXPECT_EQ(writer.Reason(), c.reason);
        }
        EXPECT_EQ(FolderSize(dir), c.exists ? 1u : 0u);
        if (c.exists) {
            EXPECT_EQ(test::ReadBytes(name), (std::vector<uint8_t>{'o', 'l', 'd'}));
        }
    }
}

TEST(VideoWriter, AReplacedFileKeepsItsPermissions) {
    TempDir dir;
    const std::string name = dir.File("v.mp4");
    test::WriteBytes(name, {'o', 'l', 'd'});
    ::chmod(name.c_str(), 0640);
    VideoWriter writer;
    ASSERT_TRUE(writer.Open(name, VideoSettings{}, true));
    writer.Add(NightFrame(64, 48, 0));
    ASSERT_TRUE(writer.Finish());
    EXPECT_EQ(DecodeVideo(name).frames.size(), 1u);
    struct stat st {};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

}  // namespace
}  // namespace nocturo
