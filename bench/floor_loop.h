#pragma once
// What the one-thread decode floors share: the list of frames, the timed
// loop that decodes them in turn, and the one line of result.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace nocturo::bench {

/// The non-empty lines of a file: one frame name each.
inline std::vector<std::string> ReadList(const char* listName) {
    std::vector<std::string> files;
    std::ifstream list(listName);
    std::string line;
    while (std::getline(list, line)) {
        if (!line.empty()) {
            files.push_back(line);
        }
    }
    return files;
}

/// The floors' one line:
///   RESULT frames=N megapixels=M seconds=S maxrss_kb=K
inline void PrintResult(size_t frames, double megapixels, double seconds) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("RESULT frames=%zu megapixels=%.1f seconds=%.3f maxrss_kb=%ld\n", frames,
                megapixels, seconds, usage.ru_maxrss);
}

/// Calls decode(file, pixels) for every frame of listName in turn (it adds
/// the frame's pixels and returns false on failure) and prints the result.
/// Returns the exit status: 2 for a list without frames, 1 for a frame
/// that fails ("PROGRAM: FAILURE FILE"), 0 otherwise.
template <class Decode>
int RunFloor(const char* program, const char* listName, const char* failure, Decode decode) {
    const std::vector<std::string> files = ReadList(listName);
    if (files.empty()) {
        std::fprintf(stderr, "%s: no files in %s\n", program, listName);
        return 2;
    }
    double pixels = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& file : files) {
        if (!decode(file, pixels)) {
            std::fprintf(stderr, "%s: %s %s\n", program, failure, file.c_str());
            return 1;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    PrintResult(files.size(), pixels / 1e6, seconds);
    return 0;
}

}  // namespace nocturo::bench
