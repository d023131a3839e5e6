#pragma once
// Reads a video back with FFmpeg's own demuxer and decoder, for the tests of
// what the video writer wrote: its stream properties and every frame as a
// BGR picture.

#include <string>
#include <vector>

#include "core/rgb_image.h"

namespace nocturo::test {

struct DecodedVideo {
    bool ok = false;  ///< the file opened and every packet decoded
    int width = 0;
    int height = 0;
    int fpsNum = 0;  ///< the stream's average frame rate
    int fpsDen = 0;
    double seconds = 0;   ///< how long the file says it plays
    std::string codec;    ///< "h264"
    std::string profile;  ///< "High", "High 4:4:4 Predictive"
    std::string pixelFormat;
    std::string primaries;  ///< as ffprobe names them: "bt709"
    std::string transfer;
    std::string matrix;
    std::string range;  ///< "tv" or "pc"
    std::vector<RgbImage> frames;
};

/// Decodes every frame of the file's video stream, converted to BGR with the
/// matrix and range the stream names.
DecodedVideo DecodeVideo(const std::string& fileName);

/// Peak signal-to-noise ratio of b against a in dB over all channels; 99 for
/// equal pictures, 0 for pictures of different sizes.
double Psnr(const RgbImage& a, const RgbImage& b);

}  // namespace nocturo::test
