#include "FuzzCommon.h"

#include "codec/Png.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TPngGraphic::StaticClass(), data, size);
    // Whatever loads must also save: the writer meets every kind of picture the reader makes.
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    TPngGraphic g;
    try {
        g.LoadFromStream(in);
        g.SetSaveOption(QStringLiteral("interlace"), QStringLiteral("1"));
        g.SetSaveOption(QStringLiteral("transparent"), QStringLiteral("000000"));
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        g.SaveToStream(out);
    } catch (const Exception&) {
    }
    return 0;
}
