#pragma once
// Videos read back with FFmpeg's own demuxer and decoder, for the tests of
// what the video writer wrote, and the frames the tests write.

#include <string>
#include <vector>

#include "core/rgb_image.h"

namespace nocturo::test {

struct DecodedVideo {
    bool ok = false;  ///< the file opened and every packet decoded
    int width = 0;
    int height = 0;
    double fps = 0;      ///< the stream's average frame rate
    double seconds = 0;  ///< how long the file says it plays
    /// As ffprobe names them: "High", "yuv420p", "bt709", ...
    std::string profile, pixelFormat, primaries, transfer, matrix, range;
    /// Every frame, converted to BGR with the matrix and range it names.
    std::vector<RgbImage> frames;
};

DecodedVideo DecodeVideo(const std::string& fileName);

/// Peak signal-to-noise ratio of b against a in dB; 99 for equal pictures,
/// 0 for pictures of different sizes.
double Psnr(const RgbImage& a, const RgbImage& b);

/// Frame k of a test night: a smooth grey sky whose glow rises with k and a
/// bright band that moves with k, so frames differ clearly and a video at
/// the default quality keeps them within 40 dB.
RgbImage NightFrame(int width, int height, int k);

/// For each frame of the video, the index of the picture it is closest to,
/// -1 when none is within 40 dB.
std::vector<int> FrameOrder(const std::string& fileName, const std::vector<RgbImage>& pictures);

}  // namespace nocturo::test
