#include "formats/raster/SCR.h"

#include "codec/Stream.h"

#include <QBuffer>

DEFINE_GRAPHIC_CLASS(TScrGraphic)

void TScrGraphic::ReadPage(QIODevice& stream, int page) {
    QByteArray data = ReadRemaining(stream, qint64(256) << 20);
    if (data.isEmpty() || uchar(data[0]) != 205)
        throw EInvalidGraphic(QStringLiteral("Cannot load image. Invalid or unexpected %1 image format.").arg(QStringLiteral("SCR")));
    data[0] = char(10);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    TPcxGraphic::ReadPage(buffer, page);
}

void TScrGraphic::SaveToStream(QIODevice& stream) const {
    // Encode into memory and mark the first byte of what this call writes.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    TPcxGraphic::SaveToStream(buffer);
    QByteArray data = buffer.data();
    if (!data.isEmpty()) data[0] = char(205);
    WriteBytes(stream, data);
}
