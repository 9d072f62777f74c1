// Decoding and encoding speed of Windows bitmaps: TBitmap against Qt's own BMP reader and writer, on a
// 6000 x 4000 picture in memory (24 bits, 8 bits with a palette, and 1 bit). Prints the times and the
// ratio (ours / Qt's; below 1 is faster).
#include "codec/Bmp.h"
#include "codec/Limits.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

QImage MakePicture(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) line[x] = qRgb((x * 7) & 255, (y * 3) & 255, ((x ^ y) >> 2) & 255);
    }
    return image;
}

// Best of n runs, in milliseconds.
double Time(int n, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < n; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

QByteArray Encode(const QImage& image) {
    TBitmap bmp;
    bmp.SetImage(image);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    bmp.SaveToStream(buffer);
    return buffer.data();
}

void Compare(const char* what, const QImage& picture) {
    const QByteArray file = Encode(picture);
    volatile int sink = 0;
    const double ours = Time(5, [&] {
        QBuffer buffer;
        buffer.setData(file);
        buffer.open(QIODevice::ReadOnly);
        TBitmap bmp;
        bmp.LoadFromStream(buffer);
        sink = sink + bmp.Width();
    });
    const double qt = Time(5, [&] {
        QImage image = QImage::fromData(file, "BMP");
        if (image.isNull()) std::printf("Qt could not read the %s file\n", what);
        sink = sink + image.width();
    });
    std::printf("decode %-22s  TBitmap %8.1f ms   Qt %8.1f ms   ratio %.2f\n", what, ours, qt, ours / qt);
    const double oursWrite = Time(3, [&] { sink = sink + int(Encode(picture).size()); });
    const double qtWrite = Time(3, [&] {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        if (!picture.save(&buffer, "BMP")) std::printf("Qt could not write the %s file\n", what);
        sink = sink + int(buffer.size());
    });
    std::printf("encode %-22s  TBitmap %8.1f ms   Qt %8.1f ms   ratio %.2f\n", what, oursWrite, qtWrite,
                oursWrite / qtWrite);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QImageReader::setAllocationLimit(0);
    const QImage picture = MakePicture(6000, 4000);
    Compare("24 bits, 6000 x 4000", picture);
    Compare("8 bits, 6000 x 4000", picture.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither));
    Compare("1 bit, 6000 x 4000", picture.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither));
    return 0;
}
