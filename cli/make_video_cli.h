#pragma once
// nocturo-stack --make-video: pictures into a time-lapse video from the
// command line.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "engine/video_run.h"

namespace nocturo::cli {

/// The command line asks for a video of its FILEs (--make-video OUT.mp4).
bool WantsMakeVideo(int argc, char** argv);
/// Makes it; returns the exit status.
int MakeVideoMain(int argc, char** argv);
/// What TakeVideoOption gives for an option that is none of the video's.
constexpr int kNotVideo = -2;
/// Takes the video's options: nameOption NAME (--make-video or --video),
/// --fps N, --video-width W, --crf N into request. -1 when taken, kNotVideo
/// when the option is none of them, else the usage error's status after
/// its message.
int TakeVideoOption(const OptionArg& option, const char* nameOption, int argc, char** argv,
                    int& index, VideoRequest& request);
/// The video may be written: an existing file only with request.replace
/// and when regular, the folder writable, never one of the inputs. -1 when
/// so, else the usage error's status after its message.
int CheckVideoOutput(const VideoRequest& request, const std::vector<std::string>& inputs);
/// The part of --help that describes it.
void PrintMakeVideoUsage(FILE* out);

}  // namespace nocturo::cli
