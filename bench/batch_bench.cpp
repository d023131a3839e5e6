// Batch operations measured as a user meets them, with the main window
// offscreen:
//
//   batch_bench floor LIST OUTDIR
//       the one-thread floor of a batch run with JPEG outputs: every frame
//       read and decoded with TurboJPEG, then encoded at quality 100 with
//       full colour resolution (4:4:4) into one reused buffer and written,
//       frame after frame
//   batch_bench floor-dark LIST REFERENCE OUTDIR
//       the same with the reference subtracted from every frame before it is
//       encoded (factor 255, offset 0): the one-thread floor for the pictures
//       a dark subtraction writes
//   batch_bench make-dark FRAME FILE
//       writes a camera-like dark frame of FRAME's size (thermal noise, hot
//       pixels) to subtract
//   batch_bench apply LIST REFERENCE OUTDIR
//       "Subtract an Image (Dark)" at factor 255, "Apply to All" over the
//       frames, the outputs named OUTDIR/cal0001.jpg on: whatever the run
//       does (decoding ahead, writing behind) is what is measured
//   batch_bench preview FRAME REFERENCE [REPEAT]
//       "Processed Image" on one frame, the first time (decoding the frame
//       and the reference) and then REPEAT more times (default 5) on the
//       same files, each up to the repainted view
//
// LIST holds one JPEG file name per line. Prints RESULT lines:
//   RESULT frames=N megapixels=M seconds=S          (floor, floor-dark, apply)
//   RESULT first_ms=A second_ms=B first_cpu_ms=C second_cpu_ms=D megapixels=M
//                                                   (preview; B and D the least)

#include <turbojpeg.h>

#include <QApplication>
#include <QCoreApplication>
#include <QPushButton>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "app/form_main.h"
#include "bench/bench_support.h"
#include "engine/ui/form_factor.h"
#include "tests/ui/scripted_dialogs.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

using nocturo::bench::ReadList;

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

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

// Decodes a JPEG into bgr; false (with a message) when it cannot.
bool DecodeFile(tjhandle decoder, const std::string& file, std::vector<unsigned char>& bytes,
                std::vector<unsigned char>& bgr, int& width, int& height) {
    int subsampling = 0, colourspace = 0;
    if (!ReadFile(file, bytes) || tjDecompressHeader3(decoder, bytes.data(), bytes.size(), &width,
                                                      &height, &subsampling, &colourspace) != 0) {
        std::fprintf(stderr, "batch_bench: cannot read %s\n", file.c_str());
        return false;
    }
    bgr.resize(static_cast<size_t>(width) * height * 3);
    if (tjDecompress2(decoder, bytes.data(), bytes.size(), bgr.data(), width, width * 3, height,
                      TJPF_BGR, 0) != 0) {
        std::fprintf(stderr, "batch_bench: %s: %s\n", file.c_str(), tjGetErrorStr2(decoder));
        return false;
    }
    return true;
}

// With a reference, every frame has the reference subtracted (factor 255,
// offset 0) before it is encoded: the floor for the pictures a dark
// subtraction writes, which hold more noise than the frames.
int Floor(const std::vector<std::string>& files, const std::string& outDir,
          const std::string& referenceFile = std::string()) {
    tjhandle decoder = tjInitDecompress();
    tjhandle encoder = tjInitCompress();
    std::vector<unsigned char> bytes;
    std::vector<unsigned char> bgr;
    std::vector<unsigned char> reference;
    int referenceWidth = 0, referenceHeight = 0;
    if (!referenceFile.empty() &&
        !DecodeFile(decoder, referenceFile, bytes, reference, referenceWidth, referenceHeight)) {
        return 1;
    }
    double pixels = 0;
    int k = 0;
    unsigned char* jpeg = nullptr;
    unsigned long jpegCapacity = 0;
    const auto start = Clock::now();
    for (const std::string& file : files) {
        int width = 0, height = 0;
        if (!DecodeFile(decoder, file, bytes, bgr, width, height)) {
            return 1;
        }
        if (!referenceFile.empty()) {
            if (width != referenceWidth || height != referenceHeight) {
                std::fprintf(stderr, "batch_bench: %s is not the reference's size\n", file.c_str());
                return 1;
            }
            for (size_t k = 0; k < bgr.size(); ++k) {
                bgr[k] =
                    static_cast<unsigned char>(bgr[k] > reference[k] ? bgr[k] - reference[k] : 0);
            }
        }
        // One output buffer of the largest size a frame can need, kept from
        // frame to frame as the program's writers keep theirs.
        const unsigned long capacity = tjBufSize(width, height, TJSAMP_444);
        if (capacity > jpegCapacity) {
            tjFree(jpeg);
            jpeg = tjAlloc(static_cast<int>(capacity));
            jpegCapacity = capacity;
        }
        unsigned long jpegSize = jpegCapacity;
        if (jpeg == nullptr ||
            tjCompress2(encoder, bgr.data(), width, width * 3, height, TJPF_BGR, &jpeg, &jpegSize,
                        TJSAMP_444, 100, TJFLAG_NOREALLOC) != 0) {
            std::fprintf(stderr, "batch_bench: encoding: %s\n", tjGetErrorStr2(encoder));
            return 1;
        }
        char name[64];
        std::snprintf(name, sizeof name, "/floor%04d.jpg", ++k);
        FILE* out = std::fopen((outDir + name).c_str(), "wb");
        const bool written = out != nullptr && std::fwrite(jpeg, 1, jpegSize, out) == jpegSize;
        if (out != nullptr) {
            std::fclose(out);
        }
        if (!written) {
            std::fprintf(stderr, "batch_bench: cannot write into %s\n", outDir.c_str());
            return 1;
        }
        pixels += static_cast<double>(width) * height;
    }
    const double seconds = Seconds(start);
    tjFree(jpeg);
    tjDestroy(decoder);
    tjDestroy(encoder);
    std::printf("RESULT frames=%zu megapixels=%.1f seconds=%.3f\n", files.size(), pixels / 1e6,
                seconds);
    return 0;
}

// A camera's dark frame: the same exposure with the lens capped. Thermal
// noise a few levels above black and a hot pixel here and there, saved as
// the camera saves its frames (quality 92, 4:2:0). Always the same bytes.
int MakeDark(const std::string& frame, const std::string& file) {
    int width = 0, height = 0, sampling = 0, colourspace = 0;
    std::vector<unsigned char> bytes;
    tjhandle decoder = tjInitDecompress();
    const bool known =
        ReadFile(frame, bytes) && tjDecompressHeader3(decoder, bytes.data(), bytes.size(), &width,
                                                      &height, &sampling, &colourspace) == 0;
    tjDestroy(decoder);
    if (!known) {
        std::fprintf(stderr, "batch_bench: cannot read %s\n", frame.c_str());
        return 1;
    }
    std::vector<unsigned char> bgr(static_cast<size_t>(width) * height * 3);
    uint64_t state = 0x2545F4914F6CDD1Dull;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (size_t p = 0; p < bgr.size(); p += 3) {
        const uint64_t r = next();
        const bool hot = r % 5000 == 0;
        for (int c = 0; c < 3; ++c) {
            const int noise = static_cast<int>((r >> (8 + 8 * c)) & 7);  // 0..7
            bgr[p + static_cast<size_t>(c)] =
                static_cast<unsigned char>(hot ? 120 + ((r >> 40) & 127) : noise / 2);
        }
    }
    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const bool ok = tjCompress2(encoder, bgr.data(), width, width * 3, height, TJPF_BGR, &jpeg,
                                &size, TJSAMP_420, 92, 0) == 0;
    FILE* out = ok ? std::fopen(file.c_str(), "wb") : nullptr;
    const bool written = out != nullptr && std::fwrite(jpeg, 1, size, out) == size;
    if (out != nullptr) {
        std::fclose(out);
    }
    tjFree(jpeg);
    tjDestroy(encoder);
    if (!written) {
        std::fprintf(stderr, "batch_bench: cannot write %s\n", file.c_str());
        return 1;
    }
    return 0;
}

QStringList ToQt(const std::vector<std::string>& files) {
    QStringList out;
    for (const std::string& file : files) {
        out << QString::fromStdString(file);
    }
    return out;
}

int Apply(const std::vector<std::string>& files, const std::string& reference,
          const std::string& outDir) {
    nocturo::test::DialogScript script;
    script->saveNames.push_back(QString::fromStdString(outDir + "/cal0001.jpg"));
    script->messages.push_back(nocturo::DialogButton::Ok);  // "%d File(s) in Error"

    nocturo::TFormMain form;
    form.resize(1280, 800);
    form.show();
    form.OpenFiles(ToQt(files));
    form.NewBatchOperations1Click();
    nocturo::TFormFactor* window = form.FormFactor();
    window->SelectFunction(0);
    window->SetReferenceFileName(QString::fromStdString(reference));
    QCoreApplication::processEvents();

    const auto start = Clock::now();
    window->findChild<QPushButton*>("BitBtnOk")->click();
    const double seconds = Seconds(start);
    const int written = form.RightList().Count();
    if (written != static_cast<int>(files.size())) {
        std::fprintf(stderr, "batch_bench: %d of %zu files written (%s)\n", written, files.size(),
                     script->Last("message").text.toUtf8().constData());
        return 1;
    }
    const double megapixels =
        static_cast<double>(form.Result().Width()) * form.Result().Height() * written / 1e6;
    std::printf("RESULT frames=%d megapixels=%.1f seconds=%.3f\n", written, megapixels, seconds);
    return 0;
}

int Preview(const std::string& frame, const std::string& reference, int repeat) {
    nocturo::test::DialogScript script;
    nocturo::TFormMain form;
    form.resize(1280, 800);
    form.show();
    form.OpenFiles({QString::fromStdString(frame)});
    form.NewBatchOperations1Click();
    nocturo::TFormFactor* window = form.FormFactor();
    window->SelectFunction(0);
    window->SetReferenceFileName(QString::fromStdString(reference));
    QCoreApplication::processEvents();
    QPushButton* processed = window->findChild<QPushButton*>("BitBtnTestOne");

    // Up to the repainted view: the click, then the paint it caused. The
    // processor time of the whole process is given beside the wall time: on
    // a busy machine it is what the preview itself cost.
    double cpu = 0;
    auto once = [&] {
        const double cpuStart = ProcessCpuSeconds();
        const auto start = Clock::now();
        processed->click();
        QCoreApplication::processEvents();
        const double ms = Seconds(start) * 1000;
        cpu = (ProcessCpuSeconds() - cpuStart) * 1000;
        return ms;
    };
    const double first = once();
    const double firstCpu = cpu;
    double second = 0;
    double secondCpu = 0;
    for (int k = 0; k < repeat; ++k) {
        const double ms = once();
        if (k == 0 || ms < second) {
            second = ms;
        }
        secondCpu = k == 0 || cpu < secondCpu ? cpu : secondCpu;
    }
    if (form.ResultPosition() != 1) {
        std::fprintf(stderr, "batch_bench: the preview failed\n");
        return 1;
    }
    const double megapixels =
        static_cast<double>(form.Result().Width()) * form.Result().Height() / 1e6;
    std::printf(
        "RESULT first_ms=%.1f second_ms=%.1f first_cpu_ms=%.1f second_cpu_ms=%.1f "
        "megapixels=%.1f\n",
        first, second, firstCpu, secondCpu, megapixels);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "floor" && argc == 4) {
        const std::vector<std::string> files = ReadList(argv[2]);
        return files.empty() ? 2 : Floor(files, argv[3]);
    }
    if (mode == "floor-dark" && argc == 5) {
        const std::vector<std::string> files = ReadList(argv[2]);
        return files.empty() ? 2 : Floor(files, argv[4], argv[3]);
    }
    if (mode == "make-dark" && argc == 4) {
        return MakeDark(argv[2], argv[3]);
    }
    QApplication app(argc, argv);
    if (mode == "apply" && argc == 5) {
        const std::vector<std::string> files = ReadList(argv[2]);
        return files.empty() ? 2 : Apply(files, argv[3], argv[4]);
    }
    if (mode == "preview" && (argc == 4 || argc == 5)) {
        return Preview(argv[2], argv[3], argc == 5 ? std::atoi(argv[4]) : 5);
    }
    std::fprintf(stderr,
                 "usage: batch_bench floor LIST OUTDIR\n"
                 "       batch_bench floor-dark LIST REFERENCE OUTDIR\n"
                 "       batch_bench make-dark FRAME FILE\n"
                 "       batch_bench apply LIST REFERENCE OUTDIR\n"
                 "       batch_bench preview FRAME REFERENCE [REPEAT]\n");
    return 2;
}
