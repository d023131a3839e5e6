#include "cli/trail_cli.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include "core/exif_times.h"
#include "core/image_file.h"

namespace nocturo::cli {

namespace {

// A plain decimal number from low to high: digits with at most one point,
// nothing else.
bool ParseDecimal(const std::string& text, double low, double high, double& value) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
        text.find('.') != text.rfind('.') || text == ".") {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v) || v < low ||
        v > high) {
        return false;
    }
    value = v;
    return true;
}

}  // namespace

bool TakeTrailOption(const OptionArg& option, int argc, char** argv, int& index, TrailArgs& args,
                     int& status) {
    TrailOptions& trails = args.trails;
    const std::string& arg = option.name;
    std::string text;
    auto value = [&](std::string& out) { return option.Value(argc, argv, index, out); };
    auto flag = [&](bool& target) {
        if (option.hasInlineValue) {
            status = UsageError(arg + " takes no value");
        }
        target = true;
        return true;
    };
    auto frames = [&](int32_t& target) {
        if (!value(text) || !ParseInt(text, 0, kMaxFadeFrames, target)) {
            status = UsageError(arg + " needs a number of frames from 0 to " +
                                std::to_string(kMaxFadeFrames));
        }
        return true;
    };
    if (arg == "--fill-gaps") {
        return flag(trails.fillGaps);
    }
    if (arg == "--comet") {
        return flag(trails.fades.comet);
    }
    if (arg == "--fade-in") {
        return frames(trails.fades.fadeIn);
    }
    if (arg == "--fade-out") {
        return frames(trails.fades.fadeOut);
    }
    if (arg == "--gap-fraction") {
        if (!value(text) || !ParseDecimal(text, 0, kMaxGapFraction, trails.gapFraction)) {
            status = UsageError("--gap-fraction needs a number from 0 to 0.9");
        }
        trails.gapFractionForced = true;
        return true;
    }
    if (arg == "--fade-min") {
        double m = 0;
        if (!value(text) || !ParseDecimal(text, 0, 1, m)) {
            status = UsageError("--fade-min needs a number from 0 to 1");
        }
        trails.fades.minimum = FadeMinimumFactor(m);
        args.minimumGiven = true;
        return true;
    }
    if (arg == "--sky-mask") {
        if (!value(text) || text.empty()) {
            status = UsageError("--sky-mask needs a file name");
        }
        trails.skyMask = text;
        return true;
    }
    return false;
}

int CheckTrailOptions(const TrailArgs& args, bool drawsTrails) {
    const TrailOptions& trails = args.trails;
    if ((trails.Active() || args.minimumGiven) && !drawsTrails) {
        return UsageError(
            "--fill-gaps and the fades need --op addmax or --op addmaxlum (and no --batch)");
    }
    if (!trails.fillGaps && (trails.gapFractionForced || !trails.skyMask.empty())) {
        return UsageError("--gap-fraction and --sky-mask go with --fill-gaps");
    }
    if (args.minimumGiven && !trails.fades.Active()) {
        return UsageError("--fade-min goes with --fade-in, --fade-out or --comet");
    }
    if (!trails.skyMask.empty()) {
        RgbImage mask;
        if (!LoadImageFile(mask, trails.skyMask) || mask.IsEmptyImage()) {
            return UsageError("cannot load the sky mask " + trails.skyMask +
                              " (missing, not a picture, or damaged)");
        }
    }
    return -1;
}

void PrintTrailStats(FILE* out, const TrailReport& report) {
    if (!report.asked) {
        return;
    }
    const SkyRotation& r = report.rotation;
    if (!report.filled) {
        std::fprintf(out, "nocturo-stack: sky rotation not found; gaps not filled\n");
        return;
    }
    std::fprintf(out,
                 "nocturo-stack: sky rotation: centre %.1f, %.1f pixels, %.4f degrees per frame "
                 "(%d pairs of frames, %d star matches), measured in %.3f s; gap fraction %.3f "
                 "(%s)\n",
                 r.centreX, r.centreY, r.DegreesPerFrame(), r.pairs, r.matches,
                 report.measureSeconds, report.gapFraction,
                 report.gapFromFrames ? "from EXIF" : "given");
}

}  // namespace nocturo::cli
