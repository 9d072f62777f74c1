// Helpers of the plot-file tests: loading plot text and rendering it.
#pragma once

#include "formats/hpgl/hpgl_2.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <memory>
#include <ostream>

// Readable failure messages for extents.
inline void PrintTo(const THpExtents& e, std::ostream* os) {
    *os << "{minX " << e.MinX << ", maxY " << e.MaxY << ", maxX " << e.MaxX << ", minY " << e.MinY << "}";
}

inline std::unique_ptr<THPGL2Graphic> LoadPlot(const QByteArray& plot) {
    auto g = std::make_unique<THPGL2Graphic>();
    QBuffer buffer;
    buffer.setData(plot);
    buffer.open(QIODevice::ReadOnly);
    g->LoadFromStream(buffer);
    return g;
}

// Draws the plot through DrawTo into a w x h picture that starts grey (so untouched pixels show).
inline QImage RenderPlot(const THPGL2Graphic& g, int w, int h, QImage::Format format = QImage::Format_RGB32) {
    QImage image(w, h, format);
    image.fill(QColor(128, 128, 128));
    QPainter painter(&image);
    g.DrawTo(painter, image.rect());
    painter.end();
    return image;
}

inline QRgb Px(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }
constexpr QRgb kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xFF0000, kGreen = 0x008000, kBlue = 0x0000FF;

// Counts the pixels of a colour.
inline int CountPixels(const QImage& image, QRgb color) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (Px(image, x, y) == color) ++n;
    return n;
}

// HP-GL/2 encoded-polyline number (PE) in base 64 (or base 32).
inline QByteArray EncodePE(qint64 v, bool base32 = false) {
    quint64 n = v < 0 ? quint64(-v) * 2 + 1 : quint64(v) * 2;
    QByteArray out;
    const int bits = base32 ? 5 : 6, mask = (1 << bits) - 1, last = base32 ? 95 : 191;
    while (n > quint64(mask)) {
        out += char(63 + (n & mask));
        n >>= bits;
    }
    out += char(last + n);
    return out;
}
