// The floor of the stacking benchmarks: one thread that reads and decodes
// every frame with TurboJPEG into one reused BGR buffer and does nothing
// else. A stacking run on one thread cannot be faster than this; with
// decoding ahead on other threads it can.
//
//   decode_floor LIST
//   decode_floor --encode OUTDIR LIST
//   decode_floor --encode-max OUTDIR LIST
//
// With --encode, every decoded frame is also encoded as JPEG quality 100,
// 4:4:4 (as the program saves a .jpg) and written to OUTDIR/floorNNNN.jpg:
// the one-thread floor of a run that saves a JPEG step per frame.
// With --encode-max, what is encoded is the running maximum of the frames
// so far, the pictures "AddMax and Save steps" writes: on noisy frames they
// hold more detail than a single frame, so they are larger and slower to
// encode, and this is that run's floor with the same work.
//
// LIST holds one JPEG file name per line. Prints one line:
//   RESULT frames=N megapixels=M seconds=S maxrss_kb=K

#include <sys/resource.h>
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool ReadFile(const std::string& name, std::vector<unsigned char>& bytes) {
    FILE* f = std::fopen(name.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    bytes.resize(size > 0 ? static_cast<size_t>(size) : 0);
    const bool ok = size > 0 && std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    std::fclose(f);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::string encodeDir;
    bool encodeMax = false;
    if (argc == 4 &&
        (std::string(argv[1]) == "--encode" || std::string(argv[1]) == "--encode-max")) {
        encodeDir = argv[2];
        encodeMax = std::string(argv[1]) == "--encode-max";
    } else if (argc != 2) {
        std::fprintf(stderr, "usage: decode_floor [--encode | --encode-max OUTDIR] LIST\n");
        return 2;
    }
    const char* listName = argv[argc - 1];
    std::vector<std::string> files;
    {
        std::ifstream list(listName);
        std::string line;
        while (std::getline(list, line)) {
            if (!line.empty()) {
                files.push_back(line);
            }
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "decode_floor: no files in %s\n", listName);
        return 2;
    }

    tjhandle tj = tjInitDecompress();
    tjhandle encoder = encodeDir.empty() ? nullptr : tjInitCompress();
    int written = 0;
    std::vector<unsigned char> bytes;
    std::vector<unsigned char> bgr;
    std::vector<unsigned char> maximum;
    double pixels = 0;
    unsigned char* jpeg = nullptr;
    unsigned long jpegCapacity = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& file : files) {
        int width = 0, height = 0, subsampling = 0, colourspace = 0;
        if (!ReadFile(file, bytes) ||
            tjDecompressHeader3(tj, bytes.data(), bytes.size(), &width, &height, &subsampling,
                                &colourspace) != 0) {
            std::fprintf(stderr, "decode_floor: cannot read %s\n", file.c_str());
            return 1;
        }
        const size_t need = static_cast<size_t>(width) * height * 3;
        if (bgr.size() < need) {
            bgr.resize(need);
        }
        if (tjDecompress2(tj, bytes.data(), bytes.size(), bgr.data(), width, width * 3, height,
                          TJPF_BGR, 0) != 0) {
            std::fprintf(stderr, "decode_floor: %s: %s\n", file.c_str(), tjGetErrorStr2(tj));
            return 1;
        }
        pixels += static_cast<double>(width) * height;
        const unsigned char* picture = bgr.data();
        if (encodeMax) {
            if (maximum.size() != need) {
                maximum.assign(bgr.begin(), bgr.begin() + static_cast<ptrdiff_t>(need));
            }
            for (size_t k = 0; k < need; ++k) {
                maximum[k] = std::max(maximum[k], bgr[k]);
            }
            picture = maximum.data();
        }
        if (encoder != nullptr) {
            // One output buffer of the largest size a frame can need, kept
            // from frame to frame as the program's writers keep theirs.
            const unsigned long capacity = tjBufSize(width, height, TJSAMP_444);
            if (capacity > jpegCapacity) {
                tjFree(jpeg);
                jpeg = tjAlloc(static_cast<int>(capacity));
                jpegCapacity = capacity;
            }
            unsigned long size = jpegCapacity;
            if (jpeg == nullptr ||
                tjCompress2(encoder, picture, width, width * 3, height, TJPF_BGR, &jpeg, &size,
                            TJSAMP_444, 100, TJFLAG_ACCURATEDCT | TJFLAG_NOREALLOC) != 0) {
                std::fprintf(stderr, "decode_floor: encoding %s failed\n", file.c_str());
                return 1;
            }
            char name[64];
            std::snprintf(name, sizeof name, "/floor%04d.jpg", ++written);
            FILE* out = std::fopen((encodeDir + name).c_str(), "wb");
            const bool ok = out != nullptr && std::fwrite(jpeg, 1, size, out) == size;
            if (out != nullptr) {
                std::fclose(out);
            }
            if (!ok) {
                std::fprintf(stderr, "decode_floor: cannot write into %s\n", encodeDir.c_str());
                return 1;
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    tjFree(jpeg);
    tjDestroy(tj);
    if (encoder != nullptr) {
        tjDestroy(encoder);
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("RESULT frames=%zu megapixels=%.1f seconds=%.3f maxrss_kb=%ld\n", files.size(),
                pixels / 1e6, seconds, usage.ru_maxrss);
    return 0;
}
