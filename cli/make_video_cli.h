#pragma once
// nocturo-stack --make-video: pictures into a time-lapse video from the
// command line.

#include <cstdio>

namespace nocturo::cli {

/// The command line asks for a video of its FILEs (--make-video OUT.mp4).
bool WantsMakeVideo(int argc, char** argv);
/// Makes it; returns the exit status.
int MakeVideoMain(int argc, char** argv);
/// The part of --help that describes it.
void PrintMakeVideoUsage(FILE* out);

}  // namespace nocturo::cli
