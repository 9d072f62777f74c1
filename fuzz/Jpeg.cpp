#include "FuzzCommon.h"

#include "codec/Jpeg.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TJpegGraphic::StaticClass(), data, size);
    // The scaled path of the thumbnails, on the same bytes.
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        TJpegGraphic::DecodeScaled(buffer, QSize(16, 16));
    } catch (const Exception&) {
    }
    return 0;
}
