#include "FuzzCommon.h"

#include "formats/raster/Ani.h"

#include <QBuffer>
#include <QImage>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TAniGraphic::StaticClass(), data, size);
    // Every frame through the animation's own step, and a small rendering of each.
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TAniGraphic g;
    try {
        g.LoadFromStream(buffer);
        for (int i = 0; i < g.FrameCount() && i < 64; ++i) {
            g.Tick();
            (void)g.ToImage(QSize(16, 16));
        }
    } catch (const Exception&) {
    }
    return 0;
}
