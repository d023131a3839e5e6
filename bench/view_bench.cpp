// What the view costs: showing a 24-megapixel frame after every merge of a
// run, and painting the visible part of a picture at high and normal zoom.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QRect>
#include <cstdint>

#include "core/rgb_image.h"
#include "viewer/fly_image.h"

namespace {

constexpr int kFrameWidth = 6000;
constexpr int kFrameHeight = 4000;
constexpr int kWindowWidth = 1200;
constexpr int kWindowHeight = 800;

// A night-sky-like frame: a dark gradient with scattered bright points.
const nocturo::RgbImage& Frame() {
    static const nocturo::RgbImage frame = [] {
        nocturo::RgbImage image;
        image.Resize(kFrameWidth, kFrameHeight);
        uint32_t seed = 12345;
        for (int y = 0; y < kFrameHeight; ++y) {
            uint8_t* row = image.Row(y);
            for (int x = 0; x < kFrameWidth; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const bool star = (seed >> 24) == 0;
                row[x * 3 + 0] = star ? 255 : static_cast<uint8_t>(20 + y / 80);
                row[x * 3 + 1] = star ? 255 : static_cast<uint8_t>(10 + x / 200);
                row[x * 3 + 2] = star ? 255 : static_cast<uint8_t>(x * y % 7);
            }
        }
        return image;
    }();
    return frame;
}

// What a run does after every merged frame in stretch mode: copy the frame
// into the view's picture and render the whole control.
void BM_ShowFrameStretched(benchmark::State& state) {
    const nocturo::RgbImage& frame = Frame();
    nocturo::tFlyImage image;
    image.resize(kWindowWidth, kWindowHeight);
    for (auto _ : state) {
        image.ShowPicture(&frame);
        const QImage& rendered = image.RenderArea(image.rect());
        benchmark::DoNotOptimize(rendered.constBits());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ShowFrameStretched)->Unit(benchmark::kMillisecond);

// Rendering alone (the picture already copied), stretch mode.
void BM_RenderStretched(benchmark::State& state) {
    nocturo::tFlyImage image;
    image.ShowPicture(&Frame());
    image.resize(kWindowWidth, kWindowHeight);
    for (auto _ : state) {
        image.PictureChanged();
        const QImage& rendered = image.RenderArea(image.rect());
        benchmark::DoNotOptimize(rendered.constBits());
    }
}
BENCHMARK(BM_RenderStretched)->Unit(benchmark::kMillisecond);

// A window-sized part in the middle of the frame at the zoom in percent given
// by the argument (the control is frame size times zoom).
void BM_RenderZoomedArea(benchmark::State& state) {
    const int percent = static_cast<int>(state.range(0));
    nocturo::tFlyImage image;
    image.ShowPicture(&Frame());
    image.resize(kFrameWidth * percent / 100, kFrameHeight * percent / 100);
    const QRect area(image.width() / 2, image.height() / 2, kWindowWidth, kWindowHeight);
    for (auto _ : state) {
        image.PictureChanged();
        const QImage& rendered = image.RenderArea(area);
        benchmark::DoNotOptimize(rendered.constBits());
    }
}
BENCHMARK(BM_RenderZoomedArea)->Arg(1000)->Arg(100)->Arg(20)->Unit(benchmark::kMillisecond);

// One scroll step of 40 pixels at the given zoom: the part already rendered
// is reused and only the uncovered strip is rendered.
void BM_ScrollStep(benchmark::State& state) {
    const int percent = static_cast<int>(state.range(0));
    nocturo::tFlyImage image;
    image.ShowPicture(&Frame());
    image.resize(kFrameWidth * percent / 100, kFrameHeight * percent / 100);
    QRect area(0, image.height() / 2, kWindowWidth, kWindowHeight);
    const int lastLeft = image.width() - kWindowWidth;
    for (auto _ : state) {
        area.moveLeft(area.left() + 40 > lastLeft ? 0 : area.left() + 40);
        const QImage& rendered = image.RenderArea(area);
        benchmark::DoNotOptimize(rendered.constBits());
    }
}
BENCHMARK(BM_ScrollStep)->Arg(1000)->Arg(100)->Unit(benchmark::kMicrosecond);

// The whole paint event of the stretched control, blit included.
void BM_PaintStretched(benchmark::State& state) {
    nocturo::tFlyImage image;
    image.ShowPicture(&Frame());
    image.resize(kWindowWidth, kWindowHeight);
    QImage target(kWindowWidth, kWindowHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        image.PictureChanged();
        image.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_PaintStretched)->Unit(benchmark::kMillisecond);

// A plain repaint with nothing changed (an uncovered window).
void BM_RepaintUnchanged(benchmark::State& state) {
    nocturo::tFlyImage image;
    image.ShowPicture(&Frame());
    image.resize(kWindowWidth, kWindowHeight);
    QImage target(kWindowWidth, kWindowHeight, QImage::Format_RGB32);
    image.render(&target);
    for (auto _ : state) {
        image.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_RepaintUnchanged)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // Widgets need a platform; none of these measurements needs a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
