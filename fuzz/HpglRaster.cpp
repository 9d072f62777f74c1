#include "FuzzCommon.h"

#include "formats/hpgl/hpgl_2.h"

#include <QByteArray>

// The raster decoder on its own: a 6-byte header (width 2 bytes, height 2 bytes, method, flags) and then
// chunks of [length byte][data] decoded as transfers; a zero length with the flags' low bit set skips
// rows instead. The same bytes are then wrapped in HP-RTL escapes and read through the interpreter.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    THpRaster raster;
    raster.Width = (data[0] << 8) | data[1];
    raster.Height = (data[2] << 8) | data[3];
    raster.Method = data[4] % 6;
    const bool skips = data[5] & 1;
    raster.Begin();
    QByteArray plot = "IN;SP1;PU0,0;PD10,10;PU;\x1b*v6W";
    plot += QByteArray(6, '\x08');
    plot += "\x1b*r" + QByteArray::number(raster.Width) + "s" + QByteArray::number(raster.Height) + "T\x1b*r1A";
    size_t i = 6;
    while (i < size) {
        const size_t length = data[i++];
        const size_t n = std::min<size_t>(length, size - i);
        if (n == 0 && skips) {
            raster.SkipRows(3);
            plot += "\x1b*b3Y";
            continue;
        }
        raster.Transfer(data + i, qint64(n));
        plot += "\x1b*b" + QByteArray::number(raster.Method) + "m" + QByteArray::number(qulonglong(n)) + "W";
        plot += QByteArray(reinterpret_cast<const char*>(data + i), qsizetype(n));
        i += n;
    }
    THpImageRec image;
    raster.Finish(image);
    plot += "\x1b*rC";
    FuzzLoad(THPGL2Graphic::StaticClass(), reinterpret_cast<const uint8_t*>(plot.constData()), size_t(plot.size()));
    return 0;
}
