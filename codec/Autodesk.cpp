#include "codec/Autodesk.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

DEFINE_CONTENT_GRAPHIC_CLASS(TAutodeskGraphic)

namespace {

const int kHeaderSize = 32;
const int kPaletteSize = 768;

struct TCelHeader {
    int Width = 0, Height = 0, Bits = 0, Compression = 0;
};

bool ParseHeader(const uchar* p, qint64 size, TCelHeader& h) {
    if (size < kHeaderSize) return false;
    TByteReader r(p, kHeaderSize);
    if (r.U16LE() != 0x9119) return false;
    h.Width = r.U16LE();
    h.Height = r.U16LE();
    r.Skip(4); // position on the screen
    h.Bits = r.U8();
    h.Compression = r.U8();
    return h.Width > 0 && h.Height > 0 && h.Bits == 8 && h.Compression == 0;
}

// 6-bit VGA level to 8 bits.
inline uchar Vga(uchar v) {
    v &= 63;
    return uchar((v << 2) | (v >> 4));
}

// Reads and checks the header and the room for the palette and pixels as decoding does: head holds the
// first bytes of a file of size bytes. Gives the complete rows of pixels the file holds.
qint64 CheckedLayout(const uchar* head, qint64 headSize, qint64 size, TCelHeader& h) {
    if (!ParseHeader(head, headSize, h)) throw EInvalidGraphic(QStringLiteral("The Autodesk file header is not valid"));
    if (size < kHeaderSize + kPaletteSize) throw EInvalidGraphic(QStringLiteral("The Autodesk file palette is incomplete"));
    CheckPictureSize(h.Width, h.Height);
    // A truncated file keeps its size with the complete rows it holds, the others showing the background.
    const qint64 rows = std::min<qint64>(h.Height, (size - kHeaderSize - kPaletteSize) / h.Width);
    if (rows == 0) throw EInvalidGraphic(QStringLiteral("The Autodesk file holds no pixel data"));
    return rows;
}

} // namespace

bool TAutodeskGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    qint64 size = 0;
    const TBlockReader read = StreamBlock(stream, size);
    if (!read) return false;
    const QByteArray head = read(0, kHeaderSize);
    TCelHeader h;
    CheckedLayout(reinterpret_cast<const uchar*>(head.constData()), head.size(), size, h);
    info.Width = h.Width;
    info.Height = h.Height;
    info.Frames = 1;
    return true;
}

bool TAutodeskGraphic::AcceptsContent(QIODevice& stream) {
    const QByteArray head = PeekBytes(stream, kHeaderSize);
    TCelHeader h;
    return ParseHeader(reinterpret_cast<const uchar*>(head.constData()), head.size(), h);
}

void TAutodeskGraphic::ReadPage(QIODevice& stream, int) {
    const QByteArray bytes = ReadRemaining(stream);
    const uchar* data = reinterpret_cast<const uchar*>(bytes.constData());
    const qint64 size = bytes.size();
    TCelHeader h;
    const qint64 rows = CheckedLayout(data, size, size, h);
    QVector<QRgb> palette(256);
    const uchar* p = data + kHeaderSize;
    for (int i = 0; i < 256; ++i) palette[i] = qRgb(Vga(p[3 * i]), Vga(p[3 * i + 1]), Vga(p[3 * i + 2]));
    const qint64 pixels = kHeaderSize + kPaletteSize;
    QImage image = NewImage(h.Width, h.Height, QImage::Format_Indexed8);
    image.setColorTable(palette);
    for (int y = 0; y < rows; ++y) std::memcpy(image.scanLine(y), data + pixels + qint64(y) * h.Width, size_t(h.Width));
    if (rows < h.Height) FillMissingRows(image, int(rows), int(h.Height - rows));
    SetTruncated(rows < h.Height);
    FImage = std::move(image);
}
