#pragma once
// nocturo-stack --moving-max: the moving maximum from the command line.

#include <cstdio>

namespace nocturo::cli {

/// The command line asks for the moving maximum (--moving-max N).
bool WantsMovingMax(int argc, char** argv);
/// Runs it; returns the exit status.
int MovingMaxMain(int argc, char** argv);
/// The part of --help that describes it.
void PrintMovingMaxUsage(FILE* out);

}  // namespace nocturo::cli
