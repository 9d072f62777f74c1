#include "FuzzCommon.h"

#include "codec/Gif.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TGIFImage::StaticClass(), data, size);
    // Every frame, and the writer on what was read.
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TGIFImage g;
    try {
        g.LoadFromStream(buffer);
        for (int i = 1; i <= g.FrameCount(); ++i) g.SelectFrame(i);
        QByteArray out;
        QBuffer sink(&out);
        sink.open(QIODevice::WriteOnly);
        g.SaveToStream(sink);
    } catch (const Exception&) {
    }
    return 0;
}
