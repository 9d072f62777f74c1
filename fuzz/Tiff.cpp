#include "FuzzCommon.h"

#include "codec/Tiff.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TTiffGraphic::StaticClass(), data, size);
    // The page count and the last of the first few pages: directory chains are where loops hide.
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TTiffGraphic g;
    try {
        const int pages = g.GetPageCount(buffer);
        if (pages > 1) {
            g.SetPageIndex(pages < 4 ? pages : 4);
            g.LoadFromStream(buffer);
        }
    } catch (const Exception&) {
    }
    return 0;
}
