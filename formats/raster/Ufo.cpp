#include "formats/raster/Ufo.h"

#include "codec/Stream.h"

#include <QBuffer>

DEFINE_GRAPHIC_CLASS(TUFOImage)

void TUFOImage::ReadPage(QIODevice& stream, int page) {
    QByteArray data = ReadRemaining(stream, qint64(256) << 20);
    static const char kJfif[10] = {char(0xFF), char(0xD8), char(0xFF), char(0xE0), 0x00, 0x10, 'J', 'F', 'I', 'F'};
    // Restore the header over the bytes that are there; a shorter file then fails in the JPEG decoder.
    std::memcpy(data.data(), kJfif, size_t(std::min<qsizetype>(10, data.size())));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    TJpegGraphic::ReadPage(buffer, page);
}
