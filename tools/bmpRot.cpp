#include "tools/bmpRot.h"

#include "codec/Graphic.h"

#include <QColorSpace>

#include <cstring>

namespace {

QImage NewLike(const QImage& source, int w, int h, QImage::Format format) {
    QImage out(w, h, format);
    if (out.isNull())
        throw EInvalidGraphicOperation(
            QStringLiteral("Not enough memory to turn a %1 x %2 picture").arg(source.width()).arg(source.height()));
    return out;
}

// Destination pixel of source pixel (x, y) of a w x h picture: clockwise to (h - 1 - y, x),
// counter-clockwise to (y, w - 1 - x).
inline void Target(bool clockwise, int x, int y, int w, int h, int& tx, int& ty) {
    if (clockwise) {
        tx = h - 1 - y;
        ty = x;
    } else {
        tx = y;
        ty = w - 1 - x;
    }
}

// 1-bit pixels: bit 7 of each byte is the leftmost pixel (Format_Mono) or bit 0 is (Format_MonoLSB).
void TurnBits(const QImage& s, QImage& d, bool clockwise, bool msbFirst) {
    const int w = s.width(), h = s.height();
    for (int y = 0; y < h; ++y) {
        const uchar* src = s.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            const int shift = msbFirst ? 7 - (x & 7) : (x & 7);
            const uchar bit = (src[x >> 3] >> shift) & 1;
            int tx, ty;
            Target(clockwise, x, y, w, h, tx, ty);
            uchar& byte = d.scanLine(ty)[tx >> 3];
            const int tshift = msbFirst ? 7 - (tx & 7) : (tx & 7);
            // Only this pixel's bit of the destination byte changes.
            byte = uchar((byte & ~(1u << tshift)) | (uint(bit) << tshift));
        }
    }
}

// Whole pixels of n bytes.
void TurnBytes(const QImage& s, QImage& d, bool clockwise, int n) {
    const int w = s.width(), h = s.height();
    for (int y = 0; y < h; ++y) {
        const uchar* src = s.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            int tx, ty;
            Target(clockwise, x, y, w, h, tx, ty);
            std::memcpy(d.scanLine(ty) + qsizetype(tx) * n, src + qsizetype(x) * n, size_t(n));
        }
    }
}

} // namespace

QImage RotateQuarter(const QImage& bitmap, bool clockwise) {
    if (bitmap.isNull()) return QImage();
    const int w = bitmap.width(), h = bitmap.height(), depth = bitmap.depth();
    QImage out = NewLike(bitmap, h, w, bitmap.format());
    out.setColorTable(bitmap.colorTable());
    out.setDotsPerMeterX(bitmap.dotsPerMeterY());
    out.setDotsPerMeterY(bitmap.dotsPerMeterX());
    out.setColorSpace(bitmap.colorSpace());
    if (depth == 1) {
        out.fill(0); // the padding bits of each row stay zero
        TurnBits(bitmap, out, clockwise, bitmap.format() == QImage::Format_Mono);
    } else if (depth % 8 == 0) {
        TurnBytes(bitmap, out, clockwise, depth / 8);
    } else {
        throw EInvalidGraphicOperation(QStringLiteral("Pictures of %1 bits per pixel cannot be turned").arg(depth));
    }
    return out;
}

QImage RotateHalf(const QImage& bitmap) {
    if (bitmap.isNull()) return QImage();
    const QImage::Format format =
        bitmap.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    const QImage s = bitmap.format() == format ? bitmap : bitmap.convertToFormat(format);
    if (s.isNull())
        throw EInvalidGraphicOperation(
            QStringLiteral("Not enough memory to turn a %1 x %2 picture").arg(bitmap.width()).arg(bitmap.height()));
    const int w = s.width(), h = s.height();
    QImage out = NewLike(bitmap, w, h, format);
    out.setDotsPerMeterX(bitmap.dotsPerMeterX());
    out.setDotsPerMeterY(bitmap.dotsPerMeterY());
    for (int y = 0; y < h; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(s.constScanLine(y));
        QRgb* dst = reinterpret_cast<QRgb*>(out.scanLine(h - 1 - y)) + (w - 1);
        for (int x = 0; x < w; ++x)
            *dst-- = src[x];
    }
    return out;
}

QImage RotateTurns(const QImage& bitmap, int quarterTurns) {
    switch (((quarterTurns % 4) + 4) % 4) {
    case 1: return RotateQuarter(bitmap, true);
    case 2: return RotateHalf(bitmap);
    case 3: return RotateQuarter(bitmap, false);
    default: return bitmap;
    }
}
