#include "codec/Pcx.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <vector>

DEFINE_GRAPHIC_CLASS(TPcxGraphic)

namespace {

const int kHeaderSize = 128;

// The 16 colours of the CGA/EGA text palette: the default of 16-colour files without a palette of their own.
const QRgb kEgaColours[16] = {0xFF000000, 0xFF0000AA, 0xFF00AA00, 0xFF00AAAA, 0xFFAA0000, 0xFFAA00AA,
                              0xFFAA5500, 0xFFAAAAAA, 0xFF555555, 0xFF5555FF, 0xFF55FF55, 0xFF55FFFF,
                              0xFFFF5555, 0xFFFF55FF, 0xFFFFFF55, 0xFFFFFFFF};

QVector<QRgb> HeaderPalette(const uchar* header, int count) {
    QVector<QRgb> palette(count);
    for (int i = 0; i < count; ++i) palette[i] = qRgb(header[16 + 3 * i], header[17 + 3 * i], header[18 + 3 * i]);
    return palette;
}

bool AllZero(const uchar* p, int n) {
    for (int i = 0; i < n; ++i)
        if (p[i]) return false;
    return true;
}

// Four-colour pictures either carry four RGB entries in the header or, as written for CGA screens, only
// the background colour (high nibble of byte 16) and the palette choice (byte 19).
QVector<QRgb> FourColourPalette(const uchar* header) {
    if (!(AllZero(header + 17, 2) && AllZero(header + 20, 8))) return HeaderPalette(header, 4);
    const uchar select = header[19];
    const bool whitePalette = select & 0x40;
    const bool bright = select & 0x20;
    const int base = whitePalette ? 3 : 2;
    QVector<QRgb> palette(4);
    palette[0] = kEgaColours[header[16] >> 4];
    for (int i = 0; i < 3; ++i) palette[i + 1] = kEgaColours[base + 2 * i + (bright ? 8 : 0)];
    return palette;
}

[[noreturn]] void BadHeader() { throw EInvalidGraphic(QStringLiteral("The PCX file header is not valid")); }

} // namespace

QImage TPcxGraphic::DecodePcx(const uchar* data, qint64 size, const std::function<void(int)>& progress, bool* truncated) {
    if (size < kHeaderSize) throw EInvalidGraphic(QStringLiteral("The PCX file header is incomplete"));
    TByteReader h(data, kHeaderSize);
    if (h.U8() != 0x0A) throw EInvalidGraphic(QStringLiteral("Not a PCX file"));
    const int version = h.U8();
    const int encoding = h.U8();
    const int bits = h.U8();
    const int xmin = h.U16LE(), ymin = h.U16LE(), xmax = h.U16LE(), ymax = h.U16LE();
    h.Seek(65);
    const int planes = h.U8();
    const int bytesPerLine = h.U16LE();
    if (encoding > 1 || xmax < xmin || ymax < ymin) BadHeader();
    const int width = xmax - xmin + 1, height = ymax - ymin + 1;
    const int depth = bits * planes;
    const bool supported = (bits == 1 && planes >= 1 && planes <= 4) || (planes == 1 && (bits == 2 || bits == 4 || bits == 8)) ||
                           (bits == 8 && (planes == 3 || planes == 4));
    if (!supported)
        throw EInvalidGraphic(QStringLiteral("Unsupported PCX format: %1 bits in %2 planes").arg(bits).arg(planes));
    if (bytesPerLine == 0 || qint64(bytesPerLine) * 8 < qint64(width) * bits) BadHeader();
    CheckPictureSize(width, height);

    // Where the pixel data ends: 8-bit pictures are followed by 0x0C and a 256-entry palette.
    qint64 end = size;
    QVector<QRgb> palette;
    QImage::Format format = QImage::Format_Indexed8;
    bool paletteFound = false;
    if (bits == 8 && planes == 1) {
        if (size >= kHeaderSize + 769 && data[size - 769] == 0x0C) {
            paletteFound = true;
            end = size - 769;
            palette.resize(256);
            const uchar* p = data + end + 1;
            for (int i = 0; i < 256; ++i) palette[i] = qRgb(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
        } else {
            palette.resize(256);
            for (int i = 0; i < 256; ++i) palette[i] = qRgb(i, i, i);
        }
    } else if (depth == 1) {
        palette = HeaderPalette(data, 2);
        if (version == 3 || palette[0] == palette[1]) palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    } else if (depth == 2) {
        palette = FourColourPalette(data);
    } else if (depth <= 4) {
        palette = (version == 3 || AllZero(data + 16, 48)) ? QVector<QRgb>(kEgaColours, kEgaColours + 16)
                                                           : HeaderPalette(data, 16);
        palette.resize(1 << depth);
    } else {
        format = planes == 4 ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    }

    QImage image = NewImage(width, height, format);
    if (!palette.isEmpty()) image.setColorTable(palette);

    const qint64 lineBytes = qint64(bytesPerLine) * planes;
    std::vector<uchar> line(size_t(lineBytes), 0);
    qint64 pos = kHeaderSize;
    int runLeft = 0;
    uchar runValue = 0;
    int rows = 0;
    for (; rows < height; ++rows) {
        // One scanline of all planes; a run may continue into the next line, never past this buffer.
        qint64 i = 0;
        if (encoding == 0) {
            if (end - pos < lineBytes) break;
            std::memcpy(line.data(), data + pos, size_t(lineBytes));
            pos += lineBytes;
            i = lineBytes;
        }
        while (i < lineBytes) {
            if (runLeft) {
                const int n = int(std::min<qint64>(runLeft, lineBytes - i));
                std::memset(line.data() + i, runValue, size_t(n));
                i += n;
                runLeft -= n;
                continue;
            }
            if (pos >= end) break;
            const uchar c = data[pos++];
            if ((c & 0xC0) == 0xC0) {
                if (pos >= end) break;
                runLeft = c & 0x3F;
                runValue = data[pos++];
            } else {
                line[size_t(i++)] = c;
            }
        }
        if (i < lineBytes) break; // truncated: the complete lines are kept
        if (progress && (rows & 63) == 0) progress(int(qint64(rows) * 100 / height));

        uchar* scan = image.scanLine(rows);
        const uchar* l = line.data();
        if (format != QImage::Format_Indexed8) {
            QRgb* out = reinterpret_cast<QRgb*>(scan);
            const uchar *r = l, *g = l + bytesPerLine, *b = l + 2 * bytesPerLine;
            if (planes == 4) {
                const uchar* a = l + 3 * bytesPerLine;
                for (int x = 0; x < width; ++x) out[x] = qRgba(r[x], g[x], b[x], a[x]);
            } else {
                for (int x = 0; x < width; ++x) out[x] = qRgb(r[x], g[x], b[x]);
            }
        } else if (bits == 8) {
            std::memcpy(scan, l, size_t(width));
        } else if (bits == 1) {
            for (int x = 0; x < width; ++x) {
                const int shift = 7 - (x & 7);
                int index = 0;
                for (int p = 0; p < planes; ++p) index |= ((l[p * bytesPerLine + (x >> 3)] >> shift) & 1) << p;
                scan[x] = uchar(index);
            }
        } else if (bits == 2) {
            for (int x = 0; x < width; ++x) scan[x] = (l[x >> 2] >> (6 - 2 * (x & 3))) & 3;
        } else {
            for (int x = 0; x < width; ++x) scan[x] = (l[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        }
    }
    if (rows == 0) throw EInvalidGraphic(QStringLiteral("The PCX file holds no pixel data"));
    if (rows < height) FillMissingRows(image, rows, height - rows);
    // The pixels are all there but the palette after them was cut short: the picture shows grey levels.
    const bool paletteCut = bits == 8 && planes == 1 && !paletteFound && pos < end && data[pos] == 0x0C;
    if (truncated) *truncated = rows < height || paletteCut;
    return image;
}

bool TPcxGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    const QByteArray head = stream.read(12);
    if (head.size() < 12 || uchar(head[0]) != 0x0A || uchar(head[2]) > 1) return false;
    TByteReader h(head);
    h.Skip(4);
    const int xmin = h.U16LE(), ymin = h.U16LE(), xmax = h.U16LE(), ymax = h.U16LE();
    if (xmax < xmin || ymax < ymin) return false;
    CheckPictureSize(xmax - xmin + 1, ymax - ymin + 1);
    info.Width = xmax - xmin + 1;
    info.Height = ymax - ymin + 1;
    info.Frames = 1;
    return true;
}

void TPcxGraphic::ReadPage(QIODevice& stream, int) {
    const QByteArray data = ReadRemaining(stream);
    bool truncated = false;
    FImage = DecodePcx(reinterpret_cast<const uchar*>(data.constData()), data.size(),
                       [this](int percent) { Progress(TProgressStage::psRunning, quint8(percent)); }, &truncated);
    SetTruncated(truncated);
}

bool TPcxGraphic::SetSaveOption(const QString& key, const QString& value) {
    if (key != QLatin1String("bits")) return false;
    if (value == QLatin1String("8"))
        FBits = 8;
    else if (value == QLatin1String("24"))
        FBits = 24;
    else
        throw EInvalidGraphicOperation(QStringLiteral("PCX pictures are written with 8 or 24 bits per pixel, not %1").arg(value));
    return true;
}

namespace {

void EncodeRle(const uchar* p, int n, QByteArray& out) {
    int i = 0;
    while (i < n) {
        const uchar v = p[i];
        int run = 1;
        while (i + run < n && run < 63 && p[i + run] == v) ++run;
        if (run > 1 || (v & 0xC0) == 0xC0) out += char(0xC0 | run);
        out += char(v);
        i += run;
    }
}

} // namespace

void TPcxGraphic::SaveToStream(QIODevice& stream) const {
    if (FImage.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    const int w = FImage.width(), h = FImage.height();
    if (w > 65534 || h > 65535) throw EInvalidGraphicOperation(QStringLiteral("The picture is too large for a PCX file"));
    const bool indexed = FImage.format() == QImage::Format_Indexed8 || FImage.format() == QImage::Format_Mono ||
                         FImage.format() == QImage::Format_MonoLSB;
    const int bits = FBits ? FBits : (indexed ? 8 : 24);
    const QImage src = bits == 8 ? FImage.convertToFormat(QImage::Format_Indexed8)
                                 : FImage.convertToFormat(QImage::Format_RGB32);
    const int planes = bits == 8 ? 1 : 3;
    const int bytesPerLine = (w + 1) & ~1; // even, as readers expect

    QByteArray out;
    out.reserve(kHeaderSize + qsizetype(w) * h * planes / 2 + 769);
    uchar header[kHeaderSize] = {};
    header[0] = 0x0A;
    header[1] = 5;
    header[2] = 1;
    header[3] = 8;
    auto put16 = [&](int at, int v) {
        header[at] = uchar(v);
        header[at + 1] = uchar(v >> 8);
    };
    put16(8, w - 1);
    put16(10, h - 1);
    put16(12, 96);
    put16(14, 96);
    header[65] = uchar(planes);
    put16(66, bytesPerLine);
    put16(68, bits == 8 && src.isGrayscale() ? 2 : 1);
    out.append(reinterpret_cast<const char*>(header), kHeaderSize);

    std::vector<uchar> line(size_t(bytesPerLine), 0);
    for (int y = 0; y < h; ++y) {
        const uchar* scan = src.constScanLine(y);
        if (bits == 8) {
            std::memcpy(line.data(), scan, size_t(w));
            EncodeRle(line.data(), bytesPerLine, out);
            continue;
        }
        const QRgb* px = reinterpret_cast<const QRgb*>(scan);
        for (int p = 0; p < 3; ++p) {
            const int shift = 16 - 8 * p; // red, green, blue
            for (int x = 0; x < w; ++x) line[size_t(x)] = uchar(px[x] >> shift);
            EncodeRle(line.data(), bytesPerLine, out);
        }
    }
    if (bits == 8) {
        out += char(0x0C);
        const QVector<QRgb> table = src.colorTable();
        for (int i = 0; i < 256; ++i) {
            const QRgb c = i < table.size() ? table[i] : 0;
            out += char(qRed(c));
            out += char(qGreen(c));
            out += char(qBlue(c));
        }
    }
    WriteBytes(stream, out);
}
