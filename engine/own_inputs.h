#pragma once
// No run ever writes over one of its own input frames: a step file, a batch
// output, a moving-maximum output or a search copy that names a file of the
// run's list would replace a frame before (or after) it is read, whatever
// the user answers and whatever --overwrite says. Every run checks the
// names it is going to write once, before it starts.

#include <optional>
#include <string>
#include <vector>

#include "engine/stacking_run.h"

namespace nocturo {

/// The first of `outputs` that is the same file as one of `inputs`, or
/// nothing. Files are compared by identity: the same name, another path to
/// the same file (a symbolic link to it, a hard link, "./" or "..", a
/// symbolic link among the folders) all count. A name that does not exist
/// yet is compared by where it would be created, so that an output cannot
/// create a file the run reads later either. Costs a file-system look-up
/// per name, once; nothing is read.
std::optional<std::string> FirstOwnInput(const std::vector<std::string>& outputs,
                                         const std::vector<std::string>& inputs);

/// FirstOwnInput against every entry of the left list. When an output is
/// one of them, the host shows the language string txtOwnInput naming it and the result is
/// that name: the run must not start.
std::optional<std::string> RefuseOwnInputs(RunContext& context,
                                           const std::vector<std::string>& outputs);

}  // namespace nocturo
