// DXF parsing and drawing speed: generates an R12 file of about 30 MB (150k lines, 50k circles, 50k arcs,
// 15k polylines, 3k texts), parses it with our reader and with dxflib in the same run, prints the ratio
// (target: ours at least 5 times faster) and the time to draw it into 1920 x 1080 (target: under 0.5 s).
#include "codec/Services.h"
#include "formats/cad/DXF_structs.h"
#include "formats/cad/DxfImage.h"

#include <dxflib/dl_creationadapter.h>
#include <dxflib/dl_dxf.h>

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

// A small deterministic generator, so every run parses the same file.
struct TRandom {
    quint64 State = 0x2545F4914F6CDD1Dull;
    double Next(double lo, double hi) {
        State = State * 6364136223846793005ull + 1442695040888963407ull;
        return lo + (hi - lo) * double(State >> 11) / double(1ull << 53);
    }
};

QByteArray Generate() {
    QByteArray out;
    out.reserve(32 << 20);
    TRandom rnd;
    char buf[64];
    auto pair = [&](int code, const char* value) {
        out += QByteArray::number(code);
        out += '\n';
        out += value;
        out += '\n';
    };
    auto real = [&](int code, double v) {
        std::snprintf(buf, sizeof buf, "%.6f", v);
        pair(code, buf);
    };
    auto layer = [&](int i) {
        std::snprintf(buf, sizeof buf, "LAYER_%02d", i % 20);
        pair(8, buf);
    };
    pair(0, "SECTION"), pair(2, "HEADER");
    pair(9, "$ACADVER"), pair(1, "AC1009");
    pair(9, "$EXTMIN"), real(10, 0), real(20, 0), real(30, 0);
    pair(9, "$EXTMAX"), real(10, 10000), real(20, 10000), real(30, 0);
    pair(0, "ENDSEC");
    pair(0, "SECTION"), pair(2, "TABLES"), pair(0, "TABLE"), pair(2, "LAYER"), pair(70, "20");
    for (int i = 0; i < 20; ++i) {
        pair(0, "LAYER");
        std::snprintf(buf, sizeof buf, "LAYER_%02d", i);
        pair(2, buf), pair(70, "0"), pair(62, QByteArray::number(i % 7 + 1).constData()), pair(6, "CONTINUOUS");
    }
    pair(0, "ENDTAB"), pair(0, "ENDSEC");
    pair(0, "SECTION"), pair(2, "ENTITIES");
    for (int i = 0; i < 150000; ++i) {
        pair(0, "LINE"), layer(i);
        const double x = rnd.Next(0, 10000), y = rnd.Next(0, 10000);
        real(10, x), real(20, y), real(30, 0), real(11, x + rnd.Next(-200, 200)), real(21, y + rnd.Next(-200, 200)), real(31, 0);
    }
    for (int i = 0; i < 50000; ++i) {
        pair(0, "CIRCLE"), layer(i);
        real(10, rnd.Next(0, 10000)), real(20, rnd.Next(0, 10000)), real(30, 0), real(40, rnd.Next(1, 100));
    }
    for (int i = 0; i < 50000; ++i) {
        pair(0, "ARC"), layer(i);
        real(10, rnd.Next(0, 10000)), real(20, rnd.Next(0, 10000)), real(30, 0), real(40, rnd.Next(1, 100));
        real(50, rnd.Next(0, 360)), real(51, rnd.Next(0, 360));
    }
    for (int i = 0; i < 15000; ++i) {
        pair(0, "POLYLINE"), layer(i), pair(66, "1"), real(10, 0), real(20, 0), real(30, 0), pair(70, i % 2 ? "1" : "0");
        double x = rnd.Next(0, 10000), y = rnd.Next(0, 10000);
        for (int v = 0; v < 6; ++v) {
            pair(0, "VERTEX"), layer(i);
            x += rnd.Next(-50, 50), y += rnd.Next(-50, 50);
            real(10, x), real(20, y), real(30, 0);
        }
        pair(0, "SEQEND"), layer(i);
    }
    for (int i = 0; i < 3000; ++i) {
        pair(0, "TEXT"), layer(i);
        real(10, rnd.Next(0, 10000)), real(20, rnd.Next(0, 10000)), real(30, 0), real(40, rnd.Next(5, 50));
        std::snprintf(buf, sizeof buf, "Label %d", i);
        pair(1, buf);
    }
    pair(0, "ENDSEC"), pair(0, "EOF");
    return out;
}

class TCounter : public DL_CreationAdapter {
public:
    long Entities = 0;
    void addLine(const DL_LineData&) override { ++Entities; }
    void addCircle(const DL_CircleData&) override { ++Entities; }
    void addArc(const DL_ArcData&) override { ++Entities; }
    void addPolyline(const DL_PolylineData&) override { ++Entities; }
    void addText(const DL_TextData&) override { ++Entities; }
};

// Best of n runs, in seconds.
double Best(int n, const std::function<void()>& run) {
    double best = 1e300;
    for (int i = 0; i < n; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        best = std::min(best, t.nsecsElapsed() / 1e9);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.dxf"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(Generate()) < 0) return 1;
        std::printf("generated %s: %.1f MB\n", qPrintable(path), f.size() / 1048576.0);
    }

    long ours = 0, theirs = 0;
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    if (app.arguments().contains(QStringLiteral("--ours-only"))) { // for profiling the reader alone
        std::printf("Lumenor from memory: %.3f s\n", Best(10, [&] { DXF_Object drawing(bytes, path); }));
        return 0;
    }
    const double tOurs = Best(3, [&] {
        DXF_Object drawing(path);
        ours = 0;
        for (int l = 0; l < drawing.LayerCount(); ++l)
            for (int i = 0; i < drawing.Layer(l).ListCount(); ++i) ours += drawing.Layer(l).List(i).Count();
    });
    const double tDxflib = Best(3, [&] {
        TCounter counter;
        DL_Dxf dxf;
        dxf.in(path.toStdString(), &counter);
        theirs = counter.Entities;
    });
    std::printf("parse: Lumenor %.3f s (%ld entities), dxflib %.3f s (%ld entities)\n", tOurs, ours, tDxflib, theirs);
    std::printf("parse speed ratio (dxflib / Lumenor): %.2fx (target >= 5x)\n", tDxflib / tOurs);

    TDXFImage image;
    image.LoadFromFileName(path);
    QImage target(1920, 1080, QImage::Format_RGB32);
    const double tDraw = Best(3, [&] {
        target.fill(Qt::white);
        QPainter p(&target);
        image.DrawTo(p, target.rect());
    });
    std::printf("render into 1920x1080: %.3f s (target < 0.5 s)\n", tDraw);
    return 0;
}
