// Writes a deterministic synthetic night for the stacking benchmarks: stars
// turning around the celestial pole above a dark horizon, sky glow, sensor
// noise and one meteor, saved as camera-like JPEGs (quality 92, 4:2:0).
// The same arguments always give the same files, byte for byte.
//
//   make_night OUTDIR PREFIX WIDTH HEIGHT COUNT NOISE [THREADS]
//
// writes OUTDIR/PREFIX0001.jpg ... OUTDIR/PREFIX<COUNT>.jpg. NOISE is the
// sensor noise's standard deviation in pixel values (0 to 30): it sets how
// hard the frames are to decode, as a camera's ISO does.

#include <turbojpeg.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
// A 30-second exposure every 30 seconds: the sky turns 360 degrees a day.
constexpr double kDegreesPerFrame = 360.0 / (24 * 60 * 2);

// splitmix64: a different but fixed stream for every frame and row, so the
// picture does not depend on how frames are shared between threads.
uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(Mix(seed)) {}
    uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
};

struct Star {
    double radius;            // from the pole, in pixels
    double angle;             // at frame 0, in radians
    double flux;              // peak value above the sky
    double blue, green, red;  // colour weights
};

struct Scene {
    int width = 0;
    int height = 0;
    int count = 0;
    double poleX = 0, poleY = 0;
    double sigma = 1.0;  // star image size
    std::vector<Star> stars;
    std::vector<int> horizon;  // first foreground row of each column
    int meteorFrame = 0;
    double noise = 0;
};

Scene MakeScene(int width, int height, int count, double noise) {
    Scene s;
    s.noise = noise;
    s.width = width;
    s.height = height;
    s.count = count;
    s.poleX = width * 0.62;
    s.poleY = height * 0.16;
    s.sigma = 0.9 * width / 3000.0;
    s.meteorFrame = count * 37 / 100;

    s.horizon.resize(width);
    for (int x = 0; x < width; ++x) {
        const double u = static_cast<double>(x) / width;
        const double h = 0.80 + 0.05 * std::sin(u * 2 * kPi * 1.3) +
                         0.025 * std::sin(u * 2 * kPi * 3.7 + 1.0) +
                         0.008 * std::sin(u * 2 * kPi * 17.0 + 2.0);
        s.horizon[x] = static_cast<int>(h * height);
    }

    // Stars over the whole circle that can turn into view: a few faint ones
    // per thousand pixels, a few bright ones, colours from blue to orange.
    Rng rng(0x4E49474854ull);  // fixed: every run of the generator agrees
    const double maxRadius = std::hypot(std::max(s.poleX, width - s.poleX), height - s.poleY);
    const int starCount = static_cast<int>(static_cast<int64_t>(width) * height / 1200);
    s.stars.reserve(starCount);
    for (int k = 0; k < starCount; ++k) {
        Star star;
        star.radius = maxRadius * std::sqrt(rng.Uniform());
        star.angle = rng.Uniform() * 2 * kPi;
        // Brightness falls off as a power law: most stars are faint.
        star.flux = std::min(600.0, 14.0 / std::pow(rng.Uniform() + 0.02, 1.1));
        const double t = rng.Uniform();
        star.blue = 0.75 + 0.45 * (1 - t);
        star.green = 0.95;
        star.red = 0.75 + 0.45 * t;
        s.stars.push_back(star);
    }
    return s;
}

inline uint8_t Clamp(double v) {
    return static_cast<uint8_t>(v <= 0 ? 0 : (v >= 255 ? 255 : v + 0.5));
}

inline void AddLight(std::vector<float>& sky, int width, int x, int y, double b, double g,
                     double r) {
    float* p = &sky[(static_cast<size_t>(y) * width + x) * 3];
    p[0] += static_cast<float>(b);
    p[1] += static_cast<float>(g);
    p[2] += static_cast<float>(r);
}

// Light added to the sky in one frame: stars and, in one frame, the meteor.
void DrawLights(const Scene& s, int frame, std::vector<float>& light) {
    std::fill(light.begin(), light.end(), 0.0f);
    const double turn = frame * kDegreesPerFrame * kPi / 180.0;
    const int reach = static_cast<int>(std::ceil(3 * s.sigma)) + 1;
    const double twoSigma2 = 2 * s.sigma * s.sigma;
    for (const Star& star : s.stars) {
        const double a = star.angle + turn;
        const double cx = s.poleX + star.radius * std::cos(a);
        const double cy = s.poleY + star.radius * std::sin(a);
        if (cx < -reach || cy < -reach || cx > s.width + reach || cy > s.height + reach) {
            continue;
        }
        const int x0 = static_cast<int>(cx);
        const int y0 = static_cast<int>(cy);
        for (int y = std::max(0, y0 - reach); y <= std::min(s.height - 1, y0 + reach); ++y) {
            for (int x = std::max(0, x0 - reach); x <= std::min(s.width - 1, x0 + reach); ++x) {
                if (y >= s.horizon[x]) {
                    continue;  // behind the hills
                }
                const double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                const double v = star.flux * std::exp(-d2 / twoSigma2);
                if (v > 0.2) {
                    AddLight(light, s.width, x, y, v * star.blue, v * star.green, v * star.red);
                }
            }
        }
    }
    if (frame == s.meteorFrame) {
        // A greenish streak that brightens and fades along its path.
        const double x1 = s.width * 0.18, y1 = s.height * 0.12;
        const double x2 = s.width * 0.47, y2 = s.height * 0.41;
        const double length = std::hypot(x2 - x1, y2 - y1);
        const double halfWidth = 1.6 * s.width / 3000.0;
        for (double t = 0; t <= 1; t += 0.5 / length) {
            const double cx = x1 + (x2 - x1) * t;
            const double cy = y1 + (y2 - y1) * t;
            const double peak = 260 * std::sin(kPi * t) * (0.7 + 0.3 * std::sin(t * 40));
            const int r = static_cast<int>(halfWidth * 3) + 1;
            for (int y = static_cast<int>(cy) - r; y <= static_cast<int>(cy) + r; ++y) {
                for (int x = static_cast<int>(cx) - r; x <= static_cast<int>(cx) + r; ++x) {
                    if (x < 0 || y < 0 || x >= s.width || y >= s.height || y >= s.horizon[x]) {
                        continue;
                    }
                    const double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                    const double v = peak * std::exp(-d2 / (2 * halfWidth * halfWidth)) * 0.08;
                    AddLight(light, s.width, x, y, v * 0.8, v * 1.2, v * 0.9);
                }
            }
        }
    }
}

// Sky glow (brighter and warmer towards the horizon), dark hills, the lights,
// and sensor noise on top.
void RenderFrame(const Scene& s, int frame, const std::vector<float>& light,
                 std::vector<uint8_t>& bgr) {
    const int w = s.width;
    // a + b - 255 of two uniform bytes has a standard deviation of 104.
    const double noiseScale = s.noise / 104.0;
    for (int y = 0; y < s.height; ++y) {
        Rng rng((static_cast<uint64_t>(frame) << 32) ^ static_cast<uint64_t>(y) ^
                (static_cast<uint64_t>(w) << 48));
        uint8_t* row = &bgr[static_cast<size_t>(y) * w * 3];
        const float* lit = &light[static_cast<size_t>(y) * w * 3];
        const double v = static_cast<double>(y) / s.height;
        const double glow = v * v;
        const double skyB = 14 + 10 * glow, skyG = 12 + 16 * glow, skyR = 11 + 26 * glow;
        for (int x = 0; x < w; ++x) {
            // Noise: the sum of two uniforms, a triangle of sigma near 3.
            const uint64_t bits = rng.Next();
            auto noise = [&](int shift) {
                const int a = static_cast<int>((bits >> shift) & 0xFF);
                const int b = static_cast<int>((bits >> (shift + 8)) & 0xFF);
                return (a + b - 255) * noiseScale;
            };
            double b, g, r;
            if (y >= s.horizon[x]) {
                b = 4;
                g = 5;
                r = 6;
            } else {
                b = skyB + lit[x * 3];
                g = skyG + lit[x * 3 + 1];
                r = skyR + lit[x * 3 + 2];
            }
            row[x * 3] = Clamp(b + noise(0));
            row[x * 3 + 1] = Clamp(g + noise(16));
            row[x * 3 + 2] = Clamp(r + noise(32));
        }
    }
}

bool WriteFile(const std::string& name, const unsigned char* data, unsigned long size) {
    const std::string temp = name + ".part";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = std::fwrite(data, 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    // Renamed only when complete, so an interrupted run leaves no short frame.
    return ok && std::rename(temp.c_str(), name.c_str()) == 0;
}

int Usage() {
    std::fprintf(stderr, "usage: make_night OUTDIR PREFIX WIDTH HEIGHT COUNT NOISE [THREADS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7 || argc > 8) {
        return Usage();
    }
    const std::string folder = argv[1];
    const std::string prefix = argv[2];
    const int width = std::atoi(argv[3]);
    const int height = std::atoi(argv[4]);
    const int count = std::atoi(argv[5]);
    const double noise = std::atof(argv[6]);
    const int threads = argc == 8 ? std::atoi(argv[7]) : 2;
    if (width < 64 || height < 64 || width > 20000 || height > 20000 || count < 1 || count > 9999 ||
        !(noise >= 0 && noise <= 30) || threads < 1 || threads > 64) {
        return Usage();
    }

    const Scene scene = MakeScene(width, height, count, noise);
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    auto worker = [&] {
        tjhandle tj = tjInitCompress();
        if (tj == nullptr) {
            failed = true;
            return;
        }
        std::vector<float> light(static_cast<size_t>(width) * height * 3);
        std::vector<uint8_t> bgr(static_cast<size_t>(width) * height * 3);
        for (int frame = next++; frame < count && !failed; frame = next++) {
            DrawLights(scene, frame, light);
            RenderFrame(scene, frame, light, bgr);
            unsigned char* jpeg = nullptr;
            unsigned long size = 0;
            // 4:2:0 at quality 92 with the accurate DCT: what cameras write.
            if (tjCompress2(tj, bgr.data(), width, width * 3, height, TJPF_BGR, &jpeg, &size,
                            TJSAMP_420, 92, 0) != 0) {
                std::fprintf(stderr, "make_night: %s\n", tjGetErrorStr2(tj));
                failed = true;
            } else {
                char name[32];
                std::snprintf(name, sizeof name, "%04d.jpg", frame + 1);
                const std::string file = folder + "/" + prefix + name;
                if (!WriteFile(file, jpeg, size)) {
                    std::fprintf(stderr, "make_night: cannot write %s\n", file.c_str());
                    failed = true;
                }
            }
            tjFree(jpeg);
        }
        tjDestroy(tj);
    };
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back(worker);
    }
    for (auto& t : pool) {
        t.join();
    }
    return failed ? 1 : 0;
}
