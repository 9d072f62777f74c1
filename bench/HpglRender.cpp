// Loads and renders a generated 15 MB plot (400k PU/PD groups) into 1600 x 1200 pixels with our
// interpreter and with `hp2xx -m png` (same size: 203.2 x 152.4 mm at 200 dpi) in the same run, and prints
// the ratio. Usage: HpglRender [groups] [runs] [--no-reference]
#include "formats/hpgl/hpgl_2.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>

#include <sys/resource.h>

namespace {

QByteArray MakePlot(int groups) {
    QByteArray plot;
    plot.reserve(groups * 40 + 64);
    plot += "IN;SP1;\n";
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> pos(0, 40000), step(-600, 600), pen(1, 6);
    for (int i = 0; i < groups; ++i) {
        if (i % 5000 == 0) plot += "SP" + QByteArray::number(pen(rng)) + ";";
        const int x = pos(rng), y = pos(rng) * 3 / 4;
        plot += "PU" + QByteArray::number(x) + "," + QByteArray::number(y) + ";PD";
        plot += QByteArray::number(x + step(rng)) + "," + QByteArray::number(y + step(rng)) + ",";
        plot += QByteArray::number(x + step(rng)) + "," + QByteArray::number(y + step(rng)) + ";\n";
    }
    plot += "PU;SP0;\n";
    return plot;
}

// CPU time of this process, and of its finished children, in milliseconds. The machine may be shared, so
// the ratio is taken from CPU time; wall times are printed beside it.
double CpuMs() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}
double ChildCpuMs() {
    rusage u;
    getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

struct TTimes {
    double Wall = 1e300, Cpu = 1e300;
    void Take(double wall, double cpu) {
        Wall = std::min(Wall, wall);
        Cpu = std::min(Cpu, cpu);
    }
};

// Loads from the file as the viewer does, then renders. Returns wall time; cpu gets the CPU time.
double OursMs(const QString& path, QImage& image, double& cpu) {
    const double cpu0 = CpuMs();
    QElapsedTimer t;
    t.start();
    THPGL2Graphic g;
    g.LoadFromFileName(path);
    const double loadMs = t.nsecsElapsed() / 1e6;
    image = QImage(1600, 1200, QImage::Format_RGB32);
    QPainter painter(&image);
    g.DrawTo(painter, image.rect());
    painter.end();
    const double totalMs = t.nsecsElapsed() / 1e6;
    cpu = CpuMs() - cpu0;
    std::printf("  lumenor run: interpret %.1f ms, render %.1f ms\n", loadMs, totalMs - loadMs);
    return totalMs;
}

double Hp2xxMs(const QString& exe, const QString& in, const QString& out, double& cpu) {
    const double cpu0 = ChildCpuMs();
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(exe, {"-q", "-m", "png", "-w", "203.2", "-h", "152.4", "-d", "200", "-f", out, in});
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "hp2xx failed: %s\n", p.readAllStandardError().constData());
        return -1;
    }
    cpu = ChildCpuMs() - cpu0;
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int groups = argc > 1 ? std::max(1, atoi(argv[1])) : 400000;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    QTemporaryDir dir;
    const QString plotPath = dir.filePath("plot.plt");
    const QByteArray plot = MakePlot(groups);
    {
        QFile f(plotPath);
        if (!f.open(QIODevice::WriteOnly) || f.write(plot) != plot.size()) return 1;
    }
    std::printf("plot: %d PU/PD groups, %.1f MB\n", groups, plot.size() / 1e6);

    TTimes ours;
    QImage image;
    for (int i = 0; i < runs; ++i) {
        double cpu = 0;
        const double wall = OursMs(plotPath, image, cpu);
        ours.Take(wall, cpu);
    }
    image.save(dir.filePath("ours.ppm"));
    std::printf("lumenor: load + render 1600x1200: %.1f ms wall, %.1f ms CPU (best of %d)\n", ours.Wall, ours.Cpu, runs);

    const QString exe = argc > 3 && QByteArray(argv[3]) == "--no-reference" ? QString() : QStandardPaths::findExecutable("hp2xx");
    if (exe.isEmpty()) {
        std::printf("hp2xx: not installed (apt-get install hp2xx); no ratio\n");
        return 0;
    }
    TTimes theirs;
    for (int i = 0; i < runs; ++i) {
        double cpu = 0;
        const double wall = Hp2xxMs(exe, plotPath, dir.filePath("hp2xx.png"), cpu);
        if (wall < 0) return 1;
        theirs.Take(wall, cpu);
    }
    std::printf("hp2xx -m png 1600x1200: %.1f ms wall, %.1f ms CPU (best of %d)\n", theirs.Wall, theirs.Cpu, runs);
    std::printf("ratio hp2xx / lumenor: %.2fx CPU, %.2fx wall (target >= 3x)\n", theirs.Cpu / ours.Cpu,
                theirs.Wall / ours.Wall);
    return 0;
}
