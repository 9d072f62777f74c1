#include "codec/Tga.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <vector>

DEFINE_GRAPHIC_CLASS(TTgaGraphic)

namespace {

const int kHeaderSize = 18;

// 5-bit level to 8 bits.
inline uchar Scale5(int c) { return uchar(c * 255 / 31); }

// A 15/16-bit pixel: x RRRRR GGGGG BBBBB, little-endian; the top bit is alpha when the file says so.
inline QRgb Pixel16(const uchar* p, bool alpha) {
    const int v = p[0] | (p[1] << 8);
    return qRgba(Scale5((v >> 10) & 31), Scale5((v >> 5) & 31), Scale5(v & 31), alpha ? ((v & 0x8000) ? 255 : 0) : 255);
}

// A pixel of the given size in bytes (15/16, 24 or 32 bits, blue first).
inline QRgb TruePixel(const uchar* p, int bytes, bool alpha) {
    switch (bytes) {
    case 2: return Pixel16(p, alpha);
    case 3: return qRgb(p[2], p[1], p[0]);
    default: return qRgba(p[2], p[1], p[0], alpha ? p[3] : 255);
    }
}

[[noreturn]] void BadHeader() { throw EInvalidGraphic(QStringLiteral("The TGA file header is not valid")); }

} // namespace

bool TTgaGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    const QByteArray head = stream.read(kHeaderSize);
    if (head.size() < kHeaderSize) return false; // the decoder says what is wrong
    TByteReader h(head);
    h.Skip(2);
    const int type = h.U8();
    if ((type & ~8) < 1 || (type & ~8) > 3) return false;
    h.Skip(9);
    const int width = h.U16LE(), height = h.U16LE();
    CheckPictureSize(width, height);
    info.Width = width;
    info.Height = height;
    info.Frames = 1;
    return true;
}

void TTgaGraphic::ReadPage(QIODevice& stream, int) {
    const QByteArray bytes = ReadRemaining(stream);
    const uchar* data = reinterpret_cast<const uchar*>(bytes.constData());
    const qint64 size = bytes.size();
    if (size < kHeaderSize) throw EInvalidGraphic(QStringLiteral("The TGA file header is incomplete"));
    TByteReader h(data, kHeaderSize);
    const int idLength = h.U8();
    const int mapType = h.U8();
    const int type = h.U8();
    const int mapFirst = h.U16LE(), mapLength = h.U16LE(), mapEntryBits = h.U8();
    h.Skip(4); // origin on the screen
    const int width = h.U16LE(), height = h.U16LE();
    const int depth = h.U8();
    const int descriptor = h.U8();

    const int kind = type & 7;
    const bool rle = type & 8;
    if ((type & ~8) < 1 || (type & ~8) > 3) throw EInvalidGraphic(QStringLiteral("Unsupported TGA image type %1").arg(type));
    if (mapType > 1 || (kind == 1 && mapType != 1)) BadHeader();
    const bool depthOk = (kind == 1 && (depth == 8 || depth == 16)) ||
                         (kind == 2 && (depth == 15 || depth == 16 || depth == 24 || depth == 32)) ||
                         (kind == 3 && (depth == 8 || depth == 16));
    if (!depthOk) throw EInvalidGraphic(QStringLiteral("Unsupported TGA pixel depth %1").arg(depth));
    const int alphaBits = descriptor & 15;
    const bool rightToLeft = descriptor & 0x10;
    const bool topDown = descriptor & 0x20;
    CheckPictureSize(width, height);

    qint64 pos = kHeaderSize + idLength;
    // The colour map, indexed from mapFirst.
    QVector<QRgb> map;
    bool mapAlpha = false;
    if (mapType == 1) {
        if (mapEntryBits != 15 && mapEntryBits != 16 && mapEntryBits != 24 && mapEntryBits != 32)
            throw EInvalidGraphic(QStringLiteral("Unsupported TGA colour map entry size %1").arg(mapEntryBits));
        const int entryBytes = (mapEntryBits + 7) / 8;
        if (pos + qint64(mapLength) * entryBytes > size) throw EInvalidGraphic(QStringLiteral("The TGA colour map is incomplete"));
        mapAlpha = (mapEntryBits == 32 || mapEntryBits == 16) && alphaBits > 0;
        map.resize(mapLength);
        for (int i = 0; i < mapLength; ++i) map[i] = TruePixel(data + pos + qint64(i) * entryBytes, entryBytes, mapAlpha);
        pos += qint64(mapLength) * entryBytes;
    }
    auto mapColour = [&](int index) -> QRgb {
        const int i = index - mapFirst;
        return i >= 0 && i < map.size() ? map[i] : qRgb(0, 0, 0);
    };

    const int pixelBytes = (depth + 7) / 8;
    QImage::Format format;
    if (kind == 1 && depth == 8)
        format = QImage::Format_Indexed8;
    else if (kind == 3 && depth == 8)
        format = QImage::Format_Grayscale8;
    else if (kind == 3)
        format = QImage::Format_ARGB32; // grey and alpha
    else if (kind == 1)
        format = mapAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    else
        format = ((depth == 32 || depth == 16) && alphaBits > 0) ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    const bool alpha = format == QImage::Format_ARGB32;
    QImage image = NewImage(width, height, format);
    if (format == QImage::Format_Indexed8) {
        QVector<QRgb> table(256);
        for (int i = 0; i < 256; ++i) table[i] = mapColour(i);
        image.setColorTable(table);
    }

    const qint64 rowBytes = qint64(width) * pixelBytes;
    std::vector<uchar> row(static_cast<size_t>(rowBytes));
    int packetLeft = 0;
    bool packetIsRun = false;
    uchar runPixel[4] = {};
    int rows = 0;
    for (; rows < height; ++rows) {
        int x = 0;
        if (!rle) {
            if (size - pos < rowBytes) break;
            std::memcpy(row.data(), data + pos, size_t(rowBytes));
            pos += rowBytes;
            x = width;
        }
        // Run-length packets may continue from one line into the next.
        while (x < width) {
            if (packetLeft == 0) {
                if (pos >= size) break;
                const uchar head = data[pos++];
                packetLeft = (head & 0x7F) + 1;
                packetIsRun = head & 0x80;
                if (packetIsRun) {
                    if (size - pos < pixelBytes) break;
                    std::memcpy(runPixel, data + pos, size_t(pixelBytes));
                    pos += pixelBytes;
                }
            }
            const int n = std::min(packetLeft, width - x);
            uchar* out = row.data() + qint64(x) * pixelBytes;
            if (packetIsRun) {
                for (int k = 0; k < n; ++k) std::memcpy(out + k * pixelBytes, runPixel, size_t(pixelBytes));
            } else {
                if (size - pos < qint64(n) * pixelBytes) break;
                std::memcpy(out, data + pos, size_t(n) * pixelBytes);
                pos += qint64(n) * pixelBytes;
            }
            x += n;
            packetLeft -= n;
        }
        if (x < width) break; // truncated: the complete lines are kept
        if ((rows & 63) == 0) Progress(TProgressStage::psRunning, quint8(qint64(rows) * 100 / height));

        uchar* scan = image.scanLine(topDown ? rows : height - 1 - rows);
        const uchar* p = row.data();
        if (format == QImage::Format_Indexed8 || format == QImage::Format_Grayscale8) {
            std::memcpy(scan, p, size_t(width));
        } else {
            QRgb* out = reinterpret_cast<QRgb*>(scan);
            if (kind == 3) {
                for (int i = 0; i < width; ++i) out[i] = qRgba(p[2 * i], p[2 * i], p[2 * i], p[2 * i + 1]);
            } else if (kind == 1) {
                for (int i = 0; i < width; ++i) out[i] = mapColour(p[2 * i] | (p[2 * i + 1] << 8));
            } else if (pixelBytes == 3) {
                for (int i = 0; i < width; ++i, p += 3) out[i] = qRgb(p[2], p[1], p[0]);
            } else if (pixelBytes == 4) {
                if (alpha)
                    for (int i = 0; i < width; ++i, p += 4) out[i] = qRgba(p[2], p[1], p[0], p[3]);
                else
                    for (int i = 0; i < width; ++i, p += 4) out[i] = qRgb(p[2], p[1], p[0]);
            } else {
                for (int i = 0; i < width; ++i, p += 2) out[i] = Pixel16(p, alpha);
            }
        }
        if (rightToLeft) {
            const int bpp = image.depth() / 8;
            for (int i = 0, j = width - 1; i < j; ++i, --j)
                std::swap_ranges(scan + i * bpp, scan + (i + 1) * bpp, scan + j * bpp);
        }
    }
    if (rows == 0) throw EInvalidGraphic(QStringLiteral("The TGA file holds no pixel data"));
    // The lines that never arrived show the background.
    if (rows < height) FillMissingRows(image, topDown ? rows : 0, height - rows);
    SetTruncated(rows < height);
    FImage = std::move(image);
}

bool TTgaGraphic::SetSaveOption(const QString& key, const QString& value) {
    if (key != QLatin1String("rle")) return false;
    if (value == QLatin1String("1"))
        FRle = true;
    else if (value == QLatin1String("0"))
        FRle = false;
    else
        throw EInvalidGraphicOperation(QStringLiteral("The TGA option rle takes 0 or 1, not %1").arg(value));
    return true;
}

namespace {

// Run-length packets of one line of n pixels of the given size; packets never cross lines.
void EncodeTgaRle(const uchar* p, int n, int bytes, QByteArray& out) {
    auto same = [&](int a, int b) { return std::memcmp(p + a * bytes, p + b * bytes, size_t(bytes)) == 0; };
    int i = 0;
    while (i < n) {
        int run = 1;
        while (i + run < n && run < 128 && same(i, i + run)) ++run;
        if (run > 1) {
            out += char(0x80 | (run - 1));
            out.append(reinterpret_cast<const char*>(p + i * bytes), bytes);
            i += run;
            continue;
        }
        // Raw packet up to the next pair of equal pixels.
        int count = 1;
        while (i + count < n && count < 128 && !(i + count + 1 < n && same(i + count, i + count + 1))) ++count;
        out += char(count - 1);
        out.append(reinterpret_cast<const char*>(p + i * bytes), qsizetype(count) * bytes);
        i += count;
    }
}

} // namespace

void TTgaGraphic::SaveToStream(QIODevice& stream) const {
    if (FImage.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    const int w = FImage.width(), h = FImage.height();
    if (w > 65535 || h > 65535) throw EInvalidGraphicOperation(QStringLiteral("The picture is too large for a TGA file"));
    const QImage::Format f = FImage.format();
    const bool grey = f == QImage::Format_Grayscale8 || f == QImage::Format_Grayscale16;
    const bool indexed = f == QImage::Format_Indexed8 || f == QImage::Format_Mono || f == QImage::Format_MonoLSB;
    const QImage src = grey ? FImage.convertToFormat(QImage::Format_Grayscale8)
                       : indexed ? FImage.convertToFormat(QImage::Format_Indexed8)
                                 : FImage.convertToFormat(QImage::Format_RGB32);
    const int kind = grey ? 3 : indexed ? 1 : 2;
    const int bytes = kind == 2 ? 3 : 1;
    QVector<QRgb> table = src.colorTable();
    if (kind == 1 && table.isEmpty())
        for (int i = 0; i < 256; ++i) table << qRgb(i, i, i);

    QByteArray out;
    out.reserve(kHeaderSize + 768 + qsizetype(w) * h * bytes + 26);
    uchar header[kHeaderSize] = {};
    header[1] = kind == 1 ? 1 : 0;
    header[2] = uchar(kind | (FRle ? 8 : 0));
    if (kind == 1) {
        header[5] = uchar(table.size());
        header[6] = uchar(table.size() >> 8);
        header[7] = 24;
    }
    header[12] = uchar(w);
    header[13] = uchar(w >> 8);
    header[14] = uchar(h);
    header[15] = uchar(h >> 8);
    header[16] = uchar(bytes * 8);
    header[17] = 0; // bottom-left origin, no alpha
    out.append(reinterpret_cast<const char*>(header), kHeaderSize);
    for (QRgb c : table) {
        out += char(qBlue(c));
        out += char(qGreen(c));
        out += char(qRed(c));
    }
    std::vector<uchar> line(size_t(w) * bytes);
    for (int y = h - 1; y >= 0; --y) {
        const uchar* scan = src.constScanLine(y);
        const uchar* p = scan;
        if (kind == 2) {
            const QRgb* px = reinterpret_cast<const QRgb*>(scan);
            for (int x = 0; x < w; ++x) {
                line[size_t(3 * x)] = uchar(qBlue(px[x]));
                line[size_t(3 * x + 1)] = uchar(qGreen(px[x]));
                line[size_t(3 * x + 2)] = uchar(qRed(px[x]));
            }
            p = line.data();
        }
        if (FRle)
            EncodeTgaRle(p, w, bytes, out);
        else
            out.append(reinterpret_cast<const char*>(p), qsizetype(w) * bytes);
    }
    // TGA 2.0 footer without extension or developer areas.
    out.append(8, '\0');
    out.append("TRUEVISION-XFILE.", 17);
    out += '\0';
    WriteBytes(stream, out);
}
