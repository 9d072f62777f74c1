// Speed of the slide-show transitions: every effect runs its 26 steps (progress 0, 4, ..., 100) on a
// 1920 x 1080 picture, each step timed on its own (best of three runs), in 24-bit and 32-bit pixels.
// Prints the slowest effects by their mean step and the slowest single step, as steps a second (the aim:
// every effect at 60 or more on one core).
//
//   EffectsBench [--all] [--format 24|32]
#include "tools/Effects.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

QImage MakePicture(int w, int h, int seed) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb((x * 7 + seed) & 255, (y * 3 + seed * 5) & 255, ((x ^ y) >> 2) & 255);
    }
    return image;
}

struct TTiming {
    int Id;
    double Mean, Worst; // milliseconds a step
};

// Each step's time is the best of the rounds (other work on the machine only ever adds time).
std::vector<TTiming> Measure(QImage::Format format, int rounds) {
    const QImage source = MakePicture(1920, 1080, 1).convertToFormat(format);
    const QImage old = MakePicture(1920, 1080, 2).convertToFormat(format);
    std::vector<TTiming> timings;
    long invalidated = 0;
    TEffectView view;
    view.ViewRect = QRect(0, 0, 1920, 1080);
    view.Invalidate = [&](const QRect&) { ++invalidated; };
    for (int id = 0; id < kEffectCount; ++id) {
        std::vector<double> best(26, 1e300);
        for (int round = 0; round < rounds; ++round) {
            QImage target = old;
            target.detach();
            TEffectRandom random(quint64(round + 1));
            for (int progress = 0, i = 0; progress <= 100; progress += 4, ++i) {
                QElapsedTimer timer;
                timer.start();
                DrawEffect(view, id + 1, source, target, progress, 4, random);
                best[size_t(i)] = std::min(best[size_t(i)], timer.nsecsElapsed() / 1e6);
            }
        }
        double total = 0;
        for (double ms : best)
            total += ms;
        timings.push_back({id, total / double(best.size()), *std::max_element(best.begin(), best.end())});
    }
    if (invalidated < 0) std::printf("\n"); // keeps the counter alive
    return timings;
}

void Report(const char* what, std::vector<TTiming> timings, bool all) {
    std::sort(timings.begin(), timings.end(),
              [](const TTiming& a, const TTiming& b) { return a.Mean > b.Mean; });
    std::printf("%s pixels, 1920 x 1080, one step of each effect (progress 0, 4, ..., 100):\n", what);
    const size_t shown = all ? timings.size() : std::min<size_t>(12, timings.size());
    for (size_t i = 0; i < shown; ++i) {
        const TTiming& t = timings[i];
        std::printf("  %3d %-48s mean %6.2f ms (%6.0f steps/s)  slowest step %6.2f ms\n", t.Id,
                    EffectName(t.Id).toUtf8().constData(), t.Mean, 1000.0 / t.Mean, t.Worst);
    }
    const auto worst = std::max_element(timings.begin(), timings.end(),
                                        [](const TTiming& a, const TTiming& b) { return a.Worst < b.Worst; });
    std::printf(
        "  slowest mean: %d \"%s\" %.2f ms = %.0f steps/s; slowest single step: %d \"%s\" %.2f ms = %.0f "
        "steps/s (target: 60)\n\n",
        timings.front().Id, EffectName(timings.front().Id).toUtf8().constData(), timings.front().Mean,
        1000.0 / timings.front().Mean, worst->Id, EffectName(worst->Id).toUtf8().constData(), worst->Worst,
        1000.0 / worst->Worst);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    bool all = false;
    int only = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--all") == 0)
            all = true;
        else if (std::strcmp(argv[i], "--format") == 0 && i + 1 < argc)
            only = std::atoi(argv[++i]);
    }
    if (only != 32) Report("24-bit", Measure(QImage::Format_RGB888, 3), all);
    if (only != 24) Report("32-bit", Measure(QImage::Format_RGB32, 3), all);
    return 0;
}
