// Writes a small synthetic night whose trails are dotted: stars on circles
// about a pole, each frame drawing an arc of 2 degrees of which the last
// GAP share is lost to the camera's rest between exposures, a dark ground
// with lit windows. The README's before/after pictures of --fill-gaps are
// stacked from it.
//
//   make_dotted_night OUTDIR COUNT GAP
//
// writes OUTDIR/dotted1.png ... OUTDIR/dotted<COUNT>.png (COUNT 2 to 8) and
// OUTDIR/sky-mask.png.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/image_file.h"
#include "tests/support/dotted_night.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_dotted_night OUTDIR COUNT GAP\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int count = std::atoi(argv[2]);
    nocturo::test::DottedNight night;
    night.gap = std::atof(argv[3]);
    night.planeFrame = -1;
    if (count < 2 || count > nocturo::test::DottedNight::kFrames || night.gap < 0 ||
        night.gap > 0.9) {
        std::fprintf(stderr, "make_dotted_night: COUNT 2 to 8, GAP 0 to 0.9\n");
        return 2;
    }
    for (int k = 0; k < count; ++k) {
        std::string name = dir + "/dotted" + std::to_string(k + 1) + ".png";
        if (!nocturo::SaveImageFile(night.Frame(k), name)) {
            std::fprintf(stderr, "make_dotted_night: cannot write %s\n", name.c_str());
            return 1;
        }
    }
    std::string mask = dir + "/sky-mask.png";
    return nocturo::SaveImageFile(night.SkyMaskPicture(), mask) ? 0 : 1;
}
