#include "formats/raster/PCD.h"

#include "codec/Limits.h"
#include "codec/Services.h"
#include "codec/Stream.h"

#include <QTransform>

#include <cmath>

DEFINE_GRAPHIC_CLASS(TPCDImage)

namespace {
constexpr qint64 kOrientationOffset = 0x0E02; // image pack attributes: the low two bits give the rotation
}

QSize TPCDImage::ResolutionSize(int index) {
    static const QSize sizes[3] = {QSize(192, 128), QSize(384, 256), QSize(768, 512)};
    return sizes[std::clamp(index, 0, 2)];
}

qint64 TPCDImage::ResolutionOffset(int index) {
    static const qint64 offsets[3] = {0x2000, 0xB800, 0x30000};
    return offsets[std::clamp(index, 0, 2)];
}

QRgb TPCDImage::YccToRgb(int y, int c1, int c2) {
    const double l = 1.407488 * y;
    const double d1 = c1 - 156, d2 = c2 - 137;
    auto channel = [](double v) { return int(std::clamp(std::nearbyint(v), 0.0, 255.0)); };
    return qRgb(channel(l + 1.3230336 * d2), channel(l - 0.3954176 * d1 - 0.67392 * d2), channel(l + 2.0360448 * d1));
}

TPCDImage::TLayout TPCDImage::ReadLayout(QIODevice& stream) {
    TLayout layout;
    layout.Index = std::clamp(ViewerServices().GetPhotoSize(), 0, 2);
    layout.Size = ResolutionSize(layout.Index);
    if (stream.seek(kOrientationOffset)) {
        const QByteArray attr = stream.read(1);
        if (attr.size() == 1) layout.Rotation = uchar(attr[0]) & 0x03;
    }
    CheckPictureSize(layout.Size.width(), layout.Size.height());
    return layout;
}

bool TPCDImage::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    const TLayout layout = ReadLayout(stream);
    // The rows of the resolution chosen must all be there: reading them is all a load does besides.
    const qint64 end = ResolutionOffset(layout.Index) + qint64(layout.Size.width()) * 3 * (layout.Size.height() / 2);
    if (stream.isSequential()) return false;
    if (stream.size() < end) throw EReadError();
    const bool turned = layout.Rotation == 1 || layout.Rotation == 3;
    info.Width = turned ? layout.Size.height() : layout.Size.width();
    info.Height = turned ? layout.Size.width() : layout.Size.height();
    info.Frames = 1;
    return true;
}

void TPCDImage::ReadPage(QIODevice& stream, int) {
    const TLayout layout = ReadLayout(stream);
    const int index = layout.Index, rotation = layout.Rotation;
    const int w = layout.Size.width(), h = layout.Size.height();
    if (!stream.seek(ResolutionOffset(index))) throw EReadError();
    QImage image = NewImage(w, h, QImage::Format_RGB32);
    const int half = w / 2;
    QByteArray block;
    for (int k = 0; k < h / 2; ++k) {
        block = ReadBytes(stream, qint64(w) * 3);
        const uchar* y0 = reinterpret_cast<const uchar*>(block.constData());
        const uchar* y1 = y0 + w;
        const uchar* chroma = y1 + w;
        QRgb* row0 = reinterpret_cast<QRgb*>(image.scanLine(2 * k));
        QRgb* row1 = reinterpret_cast<QRgb*>(image.scanLine(2 * k + 1));
        for (int x = 0; x < w; ++x) {
            const int c1 = chroma[x / 2], c2 = chroma[half + x / 2];
            row0[x] = YccToRgb(y0[x], c1, c2);
            row1[x] = YccToRgb(y1[x], c1, c2);
        }
        if ((k & 31) == 0) Progress(TProgressStage::psRunning, quint8(k * 200 / h));
    }
    // Portrait photos are stored lying down; the pack says which way to turn them.
    if (rotation) image = image.transformed(QTransform().rotate(rotation == 1 ? -90 : rotation == 2 ? 180 : 90));
    FImage = std::move(image);
}

void TPCDImage::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (source.ClassType() != ClassType()) RaiseConvertError(source);
    FImage = static_cast<const TPCDImage&>(source).Image();
    NotifyChanged();
}
