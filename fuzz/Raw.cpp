#include "FuzzCommon.h"

#include "codec/Raw.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The preview path, then the development of the raw data.
    FuzzLoad(TRawGraphic::StaticClass(), data, size);
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TRawGraphic g;
    try {
        g.LoadFromStream(buffer);
        g.DecodeFull();
    } catch (const Exception&) {
    }
    return 0;
}
