#include "FuzzCommon.h"

#include "codec/WebP.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TWebPGraphic::StaticClass(), data, size);
    // Every frame of an animation, and the writer on what was read.
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TWebPGraphic g;
    try {
        g.LoadFromStream(buffer);
        for (int i = 1; i <= g.FrameCount(); ++i) g.SelectFrame(i);
        if (g.Width() <= 256 && g.Height() <= 256) {
            QByteArray out;
            QBuffer sink(&out);
            sink.open(QIODevice::WriteOnly);
            g.SaveToStream(sink);
        }
    } catch (const Exception&) {
    }
    return 0;
}
