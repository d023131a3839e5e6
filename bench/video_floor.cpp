// The floor of the video runs: one thread that decodes every frame, merges
// it into the result with AddMax (as a steps run does before it saves a
// step) and encodes the result as the next frame of a video, through the
// program's own video writer at its default settings, with the encoder
// itself on one thread too. A run that writes a video on one core cannot be
// faster than this; with decoding ahead and encoding behind it can.
//
//   video_floor [--no-merge] OUT.mp4 LIST
//
// --no-merge encodes each decoded frame itself: the floor of
// nocturo-stack --make-video. LIST holds one picture file name per line.
// Prints one line:
//   RESULT frames=N megapixels=M seconds=S maxrss_kb=K

#include <chrono>
#include <cstdio>
#include <string>

#include "bench/bench_support.h"
#include "core/combine.h"
#include "core/image_file.h"
#include "video/video_writer.h"

int main(int argc, char** argv) {
    const bool merge = !(argc == 4 && std::string(argv[1]) == "--no-merge");
    if (argc != (merge ? 3 : 4)) {
        std::fprintf(stderr, "usage: video_floor [--no-merge] OUT.mp4 LIST\n");
        return 2;
    }
    const std::vector<std::string> files = nocturo::bench::ReadList(argv[argc - 1]);
    nocturo::VideoSettings settings;
    settings.encoderThreads = 1;
    nocturo::VideoWriter writer(false);
    if (!writer.Open(argv[argc - 2], settings, true)) {
        std::fprintf(stderr, "video_floor: %s\n", writer.Reason().c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    nocturo::RgbImage frame;
    nocturo::RgbImage result;
    double megapixels = 0;
    for (const std::string& name : files) {
        if (!nocturo::LoadImageFileInto(frame, name)) {
            std::fprintf(stderr, "video_floor: cannot load %s\n", name.c_str());
            return 1;
        }
        megapixels += frame.Width() * static_cast<double>(frame.Height()) / 1e6;
        nocturo::RgbImage* picture = &frame;
        if (merge) {
            if (result.Width() == 0) {
                result.Swap(frame);
            } else {
                nocturo::AddMax(frame, result);
            }
            picture = &result;
        }
        if (writer.Add(*picture) != nocturo::VideoWriter::AddResult::Queued) {
            std::fprintf(stderr, "video_floor: %s\n", writer.Reason().c_str());
            return 1;
        }
    }
    if (!writer.Finish()) {
        std::fprintf(stderr, "video_floor: %s\n", writer.Reason().c_str());
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    nocturo::bench::PrintResult(files.size(), megapixels, seconds);
    return 0;
}
