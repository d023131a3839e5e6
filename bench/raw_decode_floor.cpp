// The floor of the RAW benchmarks: one thread that reads every frame and
// develops it with LibRaw, with the program's options (camera white
// balance, no automatic brightening, the stored shape, 8 or 16 bits per
// channel), into LibRaw's own picture, and does nothing else. A stacking run
// on one thread cannot be faster than this; with frames decoded ahead on
// other threads it can.
//
//   raw_decode_floor [--depth 8|16] LIST
//
// LIST holds one RAW file name per line. LibRaw parallelises parts of its
// development with OpenMP: run with OMP_NUM_THREADS=1 (bench/run-all does)
// for a true one-thread floor. Prints one line:
//   RESULT frames=N megapixels=M seconds=S maxrss_kb=K

#include <libraw.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/floor_loop.h"

namespace {

bool ReadFile(const std::string& name, std::vector<unsigned char>& bytes) {
    std::ifstream in(name, std::ios::binary | std::ios::ate);
    if (!in) {
        return false;
    }
    bytes.resize(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    return static_cast<bool>(
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())));
}

}  // namespace

int main(int argc, char** argv) {
    int depth = 8;
    int first = 1;
    if (argc == 4 && std::string(argv[1]) == "--depth") {
        depth = std::stoi(argv[2]);
        first = 3;
    }
    if (argc != first + 1 || (depth != 8 && depth != 16)) {
        std::fprintf(stderr, "usage: raw_decode_floor [--depth 8|16] LIST\n");
        return 2;
    }
    const auto raw = std::make_unique<LibRaw>(LIBRAW_OPIONS_NO_MEMERR_CALLBACK |
                                              LIBRAW_OPIONS_NO_DATAERR_CALLBACK);
    std::vector<unsigned char> bytes;
    return nocturo::bench::RunFloor(
        "raw_decode_floor", argv[first], "cannot develop",
        [&](const std::string& file, double& pixels) {
            libraw_output_params_t& p = raw->imgdata.params;
            p.use_camera_wb = 1;
            p.no_auto_bright = 1;
            p.output_bps = depth;
            p.user_flip = 0;
            int error = 0;
            libraw_processed_image_t* image = nullptr;
            if (!ReadFile(file, bytes) || raw->open_buffer(bytes.data(), bytes.size()) != 0 ||
                raw->unpack() != 0 || raw->dcraw_process() != 0 ||
                (image = raw->dcraw_make_mem_image(&error)) == nullptr) {
                return false;
            }
            pixels += static_cast<double>(image->width) * image->height;
            LibRaw::dcraw_clear_mem(image);
            raw->recycle();
            return true;
        });
}
