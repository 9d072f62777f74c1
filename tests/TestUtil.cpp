#include "TestUtil.h"

#include "codec/Graphic.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QProcess>

#include <algorithm>
#include <cstdlib>
#include <cstring>

QString DataPath(const QString& relative) { return QStringLiteral(LUMENOR_TEST_DATA "/") + relative; }

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) ADD_FAILURE() << "cannot read " << path.toStdString();
    return f.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) ADD_FAILURE() << "cannot write " << path.toStdString();
}

::testing::AssertionResult SamePixels(const QImage& actual, const QImage& expected, int tolerance) {
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "size " << actual.width() << "x" << actual.height() << " != "
                                             << expected.width() << "x" << expected.height();
    const QImage a = actual.convertToFormat(QImage::Format_RGBA8888);
    const QImage e = expected.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < a.height(); ++y) {
        const uchar* pa = a.constScanLine(y);
        const uchar* pe = e.constScanLine(y);
        for (int x = 0; x < a.width() * 4; ++x)
            if (std::abs(int(pa[x]) - int(pe[x])) > tolerance)
                return ::testing::AssertionFailure()
                       << "pixel (" << x / 4 << "," << y << ") channel " << x % 4 << ": " << int(pa[x])
                       << " != " << int(pe[x]);
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ArrivedRowsMatch(const QImage& part, const QImage& whole, bool fromTop, int* arrived,
                                            int partial) {
    if (part.size() != whole.size())
        return ::testing::AssertionFailure() << "size " << part.width() << "x" << part.height() << " != "
                                             << whole.width() << "x" << whole.height();
    const QImage a = part.convertToFormat(QImage::Format_RGBA8888);
    const QImage e = whole.convertToFormat(QImage::Format_RGBA8888);
    const quint32 background = whole.hasAlphaChannel() ? 0u : 0xFFFFFFFFu; // RGBA8888 in memory
    const int h = a.height(), w = a.width();
    auto sameRow = [&](int y) { return std::memcmp(a.constScanLine(y), e.constScanLine(y), size_t(w) * 4) == 0; };
    auto backgroundRow = [&](int y) {
        const quint32* p = reinterpret_cast<const quint32*>(a.constScanLine(y));
        return std::all_of(p, p + w, [&](quint32 v) { return v == background; });
    };
    int n = 0;
    while (n < h && sameRow(fromTop ? n : h - 1 - n)) ++n;
    if (arrived) *arrived = n;
    for (int i = n; i < h; ++i) {
        const int y = fromTop ? i : h - 1 - i;
        if (!backgroundRow(y) && i >= n + partial)
            return ::testing::AssertionFailure() << "row " << y << " is neither as decoded from the whole data nor "
                                                 << "background (" << n << " rows arrived)";
    }
    return ::testing::AssertionSuccess();
}

#ifdef LUMENOR_CLI
int RunCli(const QStringList& args, QString* out, QString* err) {
    QProcess p;
    p.start(QStringLiteral(LUMENOR_CLI), args);
    if (!p.waitForFinished(120000)) return -1;
    if (out) *out = QString::fromUtf8(p.readAllStandardOutput());
    if (err) *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
#else
int RunCli(const QStringList&, QString*, QString*) { return -1; }
#endif

bool RunTool(const QString& program, const QStringList& args, QByteArray* out) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000)) {
        ADD_FAILURE() << program.toStdString() << " did not finish";
        return false;
    }
    if (out) *out = p.readAllStandardOutput();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed: " << p.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

QImage MakeTestImage(int width, int height, bool alpha) {
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int r = (x * 255) / std::max(1, width - 1);
            const int g = (y * 255) / std::max(1, height - 1);
            const int b = ((x / 4 + y / 4) % 2) ? 200 : 30;
            const int a = alpha ? (255 - (x + y) % 256) : 255;
            line[x] = qRgba(r, g, b, a);
        }
    }
    return image;
}

QByteArray Save(const TGraphic& g) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    g.SaveToStream(buffer);
    return buffer.data();
}

double MeanError(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    if (x.size() != y.size() || x.isNull()) return 255;
    double sum = 0;
    for (int j = 0; j < x.height(); ++j)
        for (int i = 0; i < x.width(); ++i) {
            const QRgb p = x.pixel(i, j), q = y.pixel(i, j);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
}
