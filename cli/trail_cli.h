#pragma once

// The command line of gap filling and fades: --fill-gaps, --gap-fraction,
// --sky-mask, --fade-in, --fade-out, --comet and --fade-min.

#include <cstdio>

#include "cli/cli_options.h"
#include "engine/trail_options.h"

namespace nocturo::cli {

/// Whether `option`, argument `index`, is one of the options above. It is
/// then taken into `args` (`index` moved past its value) and, when its
/// value is wrong, `status` receives the usage error's status after its
/// message.
struct TrailArgs {
    TrailOptions trails;
    bool minimumGiven = false;
};
bool TakeTrailOption(const OptionArg& option, int argc, char** argv, int& index, TrailArgs& args,
                     int& status);

/// Checks the options against the rest of the command: they need an
/// operation that draws trails (`drawsTrails`), --gap-fraction and
/// --sky-mask need --fill-gaps, --fade-min a fade, and the sky mask must
/// load. -1 when they fit, otherwise the usage error's status.
int CheckTrailOptions(const TrailArgs& args, bool drawsTrails);

/// --stats: the rotation found and the gap fraction used.
void PrintTrailStats(FILE* out, const TrailReport& report);

}  // namespace nocturo::cli
