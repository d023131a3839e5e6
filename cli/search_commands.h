#pragma once
// nocturo-stack's search commands: --search (frames holding a bright object,
// optionally saved, marked or cropped) and --meteor (the frame in which one
// point was brightest). They run the program's own search runs.

#include <cstdio>

namespace nocturo::cli {

/// True when the command line asks for --search or --meteor.
bool IsSearchCommand(int argc, char** argv);
/// Runs the command; returns the exit status.
int RunSearchCommand(int argc, char** argv);
/// The part of --help that describes them.
void PrintSearchUsage(FILE* out);

}  // namespace nocturo::cli
