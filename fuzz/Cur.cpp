#include "FuzzCommon.h"

#include "formats/raster/Cur.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TCursorGraphic::StaticClass(), data, size);
    // The writer on what was read.
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TCursorGraphic g;
    try {
        g.LoadFromStream(buffer);
        QByteArray out;
        QBuffer sink(&out);
        sink.open(QIODevice::WriteOnly);
        g.SaveToStream(sink);
    } catch (const Exception&) {
    }
    return 0;
}
