#include "codec/Cut.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <algorithm>
#include <cstring>

DEFINE_CONTENT_GRAPHIC_CLASS(TCUTGraphic)

namespace {

const int kHeaderSize = 6;
const int kPaletteHeaderSize = 40;

// Expands one line: c & 0x80 repeats the next byte (c & 0x7F) times, otherwise c literal bytes follow;
// 0 ends the line. Returns the pixels written (at most width); overflow tells of pixels beyond width.
int ExpandLine(const uchar* p, qint64 length, uchar* out, int width, bool& overflow) {
    const uchar* end = p + length;
    int x = 0;
    overflow = false;
    while (p < end) {
        const uchar c = *p++;
        const int n = c & 0x7F;
        if (n == 0) break;
        if (c & 0x80) {
            if (p >= end) break;
            const uchar v = *p++;
            const int k = std::min(n, width - x);
            if (k < n) overflow = true;
            if (out) std::memset(out + x, v, size_t(k));
            x += k;
        } else {
            const int avail = int(std::min<qint64>(n, end - p));
            const int k = std::min(avail, width - x);
            if (k < n) overflow = true;
            if (out) std::memcpy(out + x, p, size_t(k));
            x += k;
            p += avail;
        }
    }
    return x;
}

// Reads and checks the header as decoding does: head holds the first bytes of a file of size bytes.
QSize CheckedHeader(const QByteArray& head, qint64 size) {
    if (size < kHeaderSize || head.size() < kHeaderSize) throw EInvalidGraphic(QStringLiteral("The CUT file header is incomplete"));
    const uchar* p = reinterpret_cast<const uchar*>(head.constData());
    const int width = p[0] | (p[1] << 8), height = p[2] | (p[3] << 8);
    CheckPictureSize(width, height);
    return QSize(width, height);
}

// Whether the line at p, with remaining bytes of the file from there on, lies wholly in the file (its
// byte count and its bytes): decoding keeps the complete lines only.
bool LineInFile(const uchar* p, qint64 remaining) { return remaining >= 2 && (p[0] | (p[1] << 8)) <= remaining - 2; }

[[noreturn]] void NoPixelData() { throw EInvalidGraphic(QStringLiteral("The CUT file holds no pixel data")); }

} // namespace

bool TCUTGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    qint64 size = 0;
    const TBlockReader read = StreamBlock(stream, size);
    if (!read) return false;
    const QSize picture = CheckedHeader(read(0, kHeaderSize), size);
    const QByteArray line = read(kHeaderSize, 2);
    if (!LineInFile(reinterpret_cast<const uchar*>(line.constData()), size - kHeaderSize)) NoPixelData();
    info.Width = picture.width();
    info.Height = picture.height();
    info.Frames = 1;
    return true;
}

bool TCUTGraphic::AcceptsContent(QIODevice& stream) {
    const QByteArray head = PeekBytes(stream, 4096);
    if (head.size() < kHeaderSize + 2) return false;
    const uchar* p = reinterpret_cast<const uchar*>(head.constData());
    const int width = p[0] | (p[1] << 8), height = p[2] | (p[3] << 8), reserved = p[4] | (p[5] << 8);
    TByteReader r(p, head.size());
    r.Seek(kHeaderSize);
    if (width == 0 || height == 0 || reserved != 0) return false;
    // The lines within the peeked bytes (at least one) must each hold exactly the picture width.
    int lines = 0;
    while (lines < height && r.Remaining() >= 2) {
        const int count = r.U16LE();
        if (count == 0 || count > r.Remaining()) break;
        bool overflow = false;
        const int pixels = ExpandLine(r.Data() + r.Pos(), count, nullptr, width, overflow);
        if (pixels != width || overflow) return false;
        r.Skip(count);
        ++lines;
    }
    return lines > 0;
}

QVector<QRgb> TCUTGraphic::ReadPalette(const QByteArray& bytes) {
    TByteReader r(bytes);
    try {
        if (r.U8() != 'A' || r.U8() != 'H') throw EInvalidGraphic(QStringLiteral("Not a Dr. Halo palette file"));
        r.Skip(4); // version, size
        r.Skip(6); // file type, subtype, board and graphics mode
        const int maxIndex = r.U16LE();
        const int maxRed = std::max<int>(1, r.U16LE()), maxGreen = std::max<int>(1, r.U16LE()),
                  maxBlue = std::max<int>(1, r.U16LE());
        r.Seek(kPaletteHeaderSize);
        QVector<QRgb> palette;
        auto scale = [](int v, int max) { return (std::min(v, max) * 255 + max / 2) / max; };
        for (int i = 0; i <= std::min(maxIndex, 255); ++i) {
            // Entries of six bytes never straddle a 512-byte block; the rest of a block is padding.
            if (r.Pos() % 512 > 512 - 6) r.Seek((r.Pos() / 512 + 1) * 512);
            const int red = r.U16LE(), green = r.U16LE(), blue = r.U16LE();
            palette << qRgb(scale(red, maxRed), scale(green, maxGreen), scale(blue, maxBlue));
        }
        return palette;
    } catch (const EReadError&) {
        throw EInvalidGraphic(QStringLiteral("The Dr. Halo palette file is incomplete"));
    }
}

void TCUTGraphic::LoadFromFileName(const QString& fileName) {
    FPaletteFile.clear();
    const QFileInfo info(fileName);
    const QDir dir = info.absoluteDir();
    // The palette file's extension may be in any case.
    const QStringList candidates = dir.entryList({info.completeBaseName() + QStringLiteral(".pal")}, QDir::Files);
    for (const QString& name : candidates) {
        if (QString::compare(QFileInfo(name).completeBaseName(), info.completeBaseName(), Qt::CaseSensitive) != 0)
            continue;
        QFile pal(dir.filePath(name));
        if (!pal.open(QIODevice::ReadOnly) || pal.size() > 65536) continue;
        try {
            FPaletteFile = ReadPalette(pal.readAll());
        } catch (const EInvalidGraphic&) {
            FPaletteFile.clear(); // a broken palette file leaves the picture grey
        }
        break;
    }
    TDibGraphic::LoadFromFileName(fileName);
}

void TCUTGraphic::ReadPage(QIODevice& stream, int) {
    const QByteArray bytes = ReadRemaining(stream);
    const QSize picture = CheckedHeader(bytes, bytes.size());
    const int width = picture.width(), height = picture.height();
    TByteReader r(bytes);
    r.Seek(kHeaderSize);
    QImage image = NewImage(width, height, QImage::Format_Indexed8);
    int rows = 0;
    for (; rows < height; ++rows) {
        if (!LineInFile(r.Data() + r.Pos(), r.Remaining())) break; // truncated: the complete lines are kept
        const int count = r.U16LE();
        uchar* scan = image.scanLine(rows);
        bool overflow = false;
        const int pixels = ExpandLine(r.Data() + r.Pos(), count, scan, width, overflow);
        std::memset(scan + pixels, 0, size_t(width - pixels));
        r.Skip(count);
    }
    if (rows == 0) NoPixelData();
    // Without a palette file the indices are grey levels.
    QVector<QRgb> palette = FPaletteFile;
    if (palette.isEmpty())
        for (int i = 0; i < 256; ++i) palette << qRgb(i, i, i);
    while (palette.size() < 256) palette << qRgb(0, 0, 0);
    image.setColorTable(palette);
    // The lines that never arrived show the background.
    if (rows < height) FillMissingRows(image, rows, height - rows);
    SetTruncated(rows < height);
    FImage = std::move(image);
}
