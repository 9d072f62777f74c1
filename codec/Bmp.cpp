#include "codec/Bmp.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QBuffer>
#include <QColorSpace>
#include <QIODevice>
#include <QPainter>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

DEFINE_GRAPHIC_CLASS(TBitmap)

namespace {

enum : quint32 {
    BI_RGB = 0,
    BI_RLE8 = 1,
    BI_RLE4 = 2,
    BI_BITFIELDS = 3,
    BI_JPEG = 4,
    BI_PNG = 5,
    BI_ALPHABITFIELDS = 6,
};

constexpr int kFileHeaderSize = 14;
constexpr int kCoreHeaderSize = 12;
constexpr int kInfoHeaderSize = 40;
constexpr quint32 kProfileEmbedded = 0x4D424544; // 'MBED'
constexpr qint64 kMaxProfileSize = 16 << 20;

[[noreturn]] void Invalid(const QString& message) { throw EInvalidGraphic(message); }

QString CompressionName(quint32 compression, bool os2) {
    if (os2 && compression == 3) return QStringLiteral("Huffman 1D");
    if (os2 && compression == 4) return QStringLiteral("RLE24");
    switch (compression) {
    case BI_JPEG: return QStringLiteral("JPEG");
    case BI_PNG: return QStringLiteral("PNG");
    default: return QString::number(compression);
    }
}

// The fields of any header version that decoding needs.
struct THeader {
    quint32 Size = 0;
    qint64 Width = 0;
    qint64 Height = 0; // rows of colour data, always positive (icons: colour and mask rows until settled)
    bool TopDown = false;
    int BitCount = 0;
    quint32 Compression = BI_RGB;
    quint32 ImageSize = 0;
    quint32 ColorsUsed = 0;
    qint32 XPelsPerMeter = 0, YPelsPerMeter = 0;
    quint32 Masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    int PaletteEntrySize = 4;
    qint64 ProfilePos = 0, ProfileSize = 0; // an embedded ICC profile (version 5 headers)
    qint64 PalettePos = 0; // where the palette starts (after the header and any separate masks)
};

quint32 U32At(const uchar* p) { return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24); }

bool Embedded(const THeader& h, const TDibOptions& o) {
    return o.Embedded && (h.Compression == BI_JPEG || h.Compression == BI_PNG);
}

// Reads and checks the header. For icon entries Height still counts the mask rows (see IconColourRows).
THeader ReadHeader(const uchar* data, qint64 size, qint64 headerPos, const TDibOptions& o) {
    THeader h;
    if (headerPos < 0 || size - headerPos < 4) Invalid(QStringLiteral("The bitmap header is incomplete"));
    TByteReader r(data, size);
    r.Seek(headerPos);
    h.Size = r.U32LE();
    const bool core = h.Size == kCoreHeaderSize;
    const bool windows = h.Size == 40 || h.Size == 52 || h.Size == 56 || h.Size == 108 || h.Size == 124;
    const bool os2 = !core && !windows && h.Size >= 16 && h.Size <= 64;
    if (!core && !windows && !os2) Invalid(QStringLiteral("Unsupported bitmap header size (%1 bytes)").arg(h.Size));
    if (size - headerPos < qint64(h.Size)) Invalid(QStringLiteral("The bitmap header is incomplete"));

    int planes = 0;
    if (core) {
        h.Width = r.U16LE();
        h.Height = r.U16LE();
        planes = r.U16LE();
        h.BitCount = r.U16LE();
        h.PaletteEntrySize = 3;
    } else {
        // Fields beyond the size an OS/2 2.x header gives are zero.
        uchar buf[64] = {};
        std::memcpy(buf, data + headerPos, std::min<size_t>(h.Size, sizeof buf));
        TByteReader f(buf, sizeof buf);
        f.Skip(4);
        h.Width = f.S32LE();
        const qint32 height = f.S32LE();
        planes = f.U16LE();
        h.BitCount = f.U16LE();
        h.Compression = f.U32LE();
        h.ImageSize = f.U32LE(); // recomputed for plain pixels: writers often leave it zero
        h.XPelsPerMeter = f.S32LE();
        h.YPelsPerMeter = f.S32LE();
        h.ColorsUsed = f.U32LE();
        f.Skip(4); // important colours
        if (windows && h.Size >= 52)
            for (int i = 0; i < (h.Size >= 56 ? 4 : 3); ++i) h.Masks[i] = f.U32LE();
        if (height == std::numeric_limits<qint32>::min() || height == 0)
            Invalid(QStringLiteral("Invalid bitmap height (%1)").arg(height));
        h.TopDown = height < 0;
        h.Height = height < 0 ? -qint64(height) : qint64(height);
        if (h.Size == 124 && U32At(data + headerPos + 56) == kProfileEmbedded) {
            // The profile's offset counts from the start of the header.
            h.ProfilePos = headerPos + qint64(U32At(data + headerPos + 112));
            h.ProfileSize = U32At(data + headerPos + 116);
        }
    }
    if (h.Width <= 0) Invalid(QStringLiteral("Invalid bitmap width (%1)").arg(h.Width));
    if (h.Height <= 0) Invalid(QStringLiteral("Invalid bitmap height (%1)").arg(h.Height));
    if (o.AndMask && h.TopDown) Invalid(QStringLiteral("Invalid icon image height (%1)").arg(h.Height));
    if (planes != 1) Invalid(QStringLiteral("Invalid number of colour planes (%1)").arg(planes));
    if (o.PaletteIndexes) h.PaletteEntrySize = 2;

    const quint32 c = h.Compression;
    if (os2 && (c == 3 || c == 4)) Invalid(QStringLiteral("Unsupported bitmap compression (%1)").arg(CompressionName(c, true)));
    h.PalettePos = headerPos + h.Size;
    if (Embedded(h, o)) return h;
    if (c > BI_ALPHABITFIELDS || c == BI_JPEG || c == BI_PNG)
        Invalid(QStringLiteral("Unsupported bitmap compression (%1)").arg(CompressionName(c, false)));
    const int b = h.BitCount;
    if (b != 1 && b != 2 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32)
        Invalid(QStringLiteral("Invalid bit count (%1)").arg(b));
    if (c == BI_RLE8 && b != 8) Invalid(QStringLiteral("RLE8 compression needs 8 bits per pixel, not %1").arg(b));
    if (c == BI_RLE4 && b != 4) Invalid(QStringLiteral("RLE4 compression needs 4 bits per pixel, not %1").arg(b));
    if ((c == BI_BITFIELDS || c == BI_ALPHABITFIELDS) && b != 16 && b != 32)
        Invalid(QStringLiteral("Bit field compression needs 16 or 32 bits per pixel, not %1").arg(b));
    if ((c == BI_RLE8 || c == BI_RLE4) && h.TopDown) Invalid(QStringLiteral("A compressed bitmap cannot be top-down"));

    if (c == BI_BITFIELDS || c == BI_ALPHABITFIELDS) {
        if (h.Size == kInfoHeaderSize) {
            // The masks follow the 40-byte header.
            const int n = c == BI_ALPHABITFIELDS ? 4 : 3;
            if (size - h.PalettePos < 4 * n) Invalid(QStringLiteral("The bitmap header is incomplete"));
            for (int i = 0; i < n; ++i) h.Masks[i] = U32At(data + h.PalettePos + 4 * i);
            h.PalettePos += 4 * n;
        }
        if (c == BI_BITFIELDS && h.Size < 56) h.Masks[3] = 0;
    } else if (b == 16) {
        h.Masks[0] = 0x7C00, h.Masks[1] = 0x03E0, h.Masks[2] = 0x001F;
        h.Masks[3] = 0;
    } else if (b == 32) {
        h.Masks[0] = 0xFF0000, h.Masks[1] = 0xFF00, h.Masks[2] = 0xFF;
        // Alpha only where the header version has a mask for it, and always in icons.
        if (o.AndMask || o.Alpha == TDibAlpha::Premultiplied)
            h.Masks[3] = 0xFF000000;
        else if (h.Size < 56)
            h.Masks[3] = 0;
    }
    if (o.Alpha == TDibAlpha::None) h.Masks[3] = 0;
    if (b == 16 || b == 32) {
        const quint32 limit = b == 16 ? 0xFFFFu : 0xFFFFFFFFu;
        if ((h.Masks[0] | h.Masks[1] | h.Masks[2]) == 0 || (h.Masks[0] | h.Masks[1] | h.Masks[2] | h.Masks[3]) > limit)
            Invalid(QStringLiteral("Invalid bit field masks"));
    }
    if (b <= 8) {
        if (h.ColorsUsed > 256) Invalid(QStringLiteral("Invalid palette size (%1 colours)").arg(h.ColorsUsed));
        if (h.ColorsUsed == 0) h.ColorsUsed = 1u << b;
    }
    return h;
}

// One channel of a bit-field pixel, scaled to 8 bits.
struct TChannel {
    quint32 Mask = 0;
    int Shift = 0;
    quint64 Max = 0;
    TChannel() = default;
    explicit TChannel(quint32 mask) : Mask(mask) {
        if (!mask) return;
        Shift = std::countr_zero(mask);
        Max = quint64(mask >> Shift);
    }
    int Get(quint32 v) const {
        if (!Mask) return 0;
        const quint32 value = (v & Mask) >> Shift;
        if (Max == 255) return int(value);
        if (Max < 255) {
            // Fewer than 8 bits: repeat the bits (so 5-bit 31 gives 255 and 16 gives 132).
            const int bits = std::bit_width(Max);
            int result = 0;
            for (int filled = 0; filled < 8; filled += bits)
                result |= 8 - bits - filled >= 0 ? int(value << (8 - bits - filled)) : int(value >> (bits + filled - 8));
            return result & 0xFF;
        }
        return int((quint64(value) * 255 + Max / 2) / Max);
    }
};

bool StandardMasks32(const THeader& h) {
    return h.Masks[0] == 0xFF0000 && h.Masks[1] == 0xFF00 && h.Masks[2] == 0xFF &&
           (h.Masks[3] == 0 || h.Masks[3] == 0xFF000000);
}

// Makes every pixel opaque (a picture whose alpha values are all zero is meant to be opaque).
void MakeOpaque(QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) line[x] |= 0xFF000000u;
    }
}

// The rows a bitmap's pixels hold: the bottom rows of a bottom-up one, the top rows of a top-down one.
struct TRows {
    qint64 Present = 0;
    // Rows of the picture the data lacks.
    qint64 MissingFirst = 0, MissingCount = 0;
};

TRows RowsPresent(const THeader& h, qint64 present) {
    TRows r;
    r.Present = std::min(present, h.Height);
    r.MissingCount = h.Height - r.Present;
    r.MissingFirst = h.TopDown ? r.Present : 0;
    return r;
}

// Decodes uncompressed rows into a picture of the full height; the rows the data lacks are left to the
// caller (rows.MissingFirst ...).
QImage ReadUncompressed(const uchar* bits, qint64 bitsSize, const THeader& h, const QVector<QRgb>& palette,
                        const TDibOptions& o, TRows& rowsOut, bool& hasAlpha) {
    const qint64 w = h.Width;
    const qint64 stride = ((w * h.BitCount + 31) / 32) * 4;
    const qint64 rowBytes = (w * h.BitCount + 7) / 8;
    const qint64 avail = std::max<qint64>(0, bitsSize);
    const TRows present = RowsPresent(h, avail >= rowBytes ? 1 + (avail - rowBytes) / stride : 0);
    rowsOut = present;
    const qint64 rows = present.Present;

    const int b = h.BitCount;
    const bool premultiplied = b == 32 && o.Alpha == TDibAlpha::Premultiplied;
    const QImage::Format format = b == 1               ? QImage::Format_Mono
                                  : b <= 8             ? QImage::Format_Indexed8
                                  : premultiplied      ? QImage::Format_ARGB32_Premultiplied
                                  : h.Masks[3]         ? QImage::Format_ARGB32
                                                       : QImage::Format_RGB32;
    QImage image = NewImage(w, h.Height, format);
    const uchar* src = bits;
    int maxIndex = 0;
    quint32 alphaOr = 0;
    std::vector<QRgb> lut16;
    TChannel ch[4] = {TChannel(h.Masks[0]), TChannel(h.Masks[1]), TChannel(h.Masks[2]), TChannel(h.Masks[3])};
    if (b == 16) {
        lut16.resize(65536);
        for (quint32 v = 0; v < 65536; ++v)
            lut16[v] = qRgba(ch[0].Get(v), ch[1].Get(v), ch[2].Get(v), h.Masks[3] ? ch[3].Get(v) : 255);
    }
    const bool fast32 = b == 32 && StandardMasks32(h) && Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
    // Indices beyond the palette are possible only when it is shorter than the bit count allows.
    const bool checkIndex = b <= 8 && palette.size() < (1 << b);

    for (qint64 i = 0; i < rows; ++i, src += stride) {
        if (o.Progress && (i & 255) == 255) o.Progress(quint8(i * 100 / rows));
        const int y = int(h.TopDown ? i : h.Height - 1 - i);
        uchar* line = image.scanLine(y);
        QRgb* out = reinterpret_cast<QRgb*>(line);
        switch (b) {
        case 1:
            std::memcpy(line, src, size_t(rowBytes));
            break;
        case 8:
            std::memcpy(line, src, size_t(w));
            if (checkIndex) maxIndex = std::max<int>(maxIndex, *std::max_element(line, line + w));
            break;
        case 4:
            for (qint64 x = 0; x + 1 < w; x += 2) {
                line[x] = src[x / 2] >> 4;
                line[x + 1] = src[x / 2] & 15;
            }
            if (w & 1) line[w - 1] = src[w / 2] >> 4;
            if (checkIndex) maxIndex = std::max<int>(maxIndex, *std::max_element(line, line + w));
            break;
        case 2: {
            const int perByte = 8 / b;
            const int mask = (1 << b) - 1;
            for (qint64 x = 0; x < w; ++x) {
                const int shift = 8 - b * int(x % perByte + 1);
                const int v = (src[x / perByte] >> shift) & mask;
                line[x] = uchar(v);
                maxIndex = std::max(maxIndex, v);
            }
            break;
        }
        case 16:
            for (qint64 x = 0; x < w; ++x) {
                const QRgb c = lut16[src[2 * x] | (src[2 * x + 1] << 8)];
                alphaOr |= c;
                out[x] = c;
            }
            break;
        case 24:
            if (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
                // Four bytes B, G, R, next read as one little-endian word are 0x??RRGGBB.
                for (qint64 x = 0; x + 1 < w; ++x) {
                    quint32 v;
                    std::memcpy(&v, src + 3 * x, 4);
                    out[x] = 0xFF000000u | (v & 0xFFFFFFu);
                }
                out[w - 1] = qRgb(src[3 * w - 1], src[3 * w - 2], src[3 * w - 3]);
            } else {
                for (qint64 x = 0; x < w; ++x) out[x] = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
            }
            break;
        case 32:
            if (premultiplied) {
                // No colour may exceed the alpha it was multiplied by.
                for (qint64 x = 0; x < w; ++x) {
                    const quint32 v = U32At(src + 4 * x);
                    const int a = ch[3].Get(v);
                    out[x] = qRgba(std::min(a, ch[0].Get(v)), std::min(a, ch[1].Get(v)), std::min(a, ch[2].Get(v)), a);
                }
            } else if (fast32) {
                std::memcpy(out, src, size_t(4 * w));
                for (qint64 x = 0; x < w; ++x) alphaOr |= out[x];
            } else {
                for (qint64 x = 0; x < w; ++x) {
                    const quint32 v = U32At(src + 4 * x);
                    out[x] = qRgba(ch[0].Get(v), ch[1].Get(v), ch[2].Get(v), h.Masks[3] ? ch[3].Get(v) : 255);
                    alphaOr |= out[x];
                }
            }
            break;
        }
    }
    if (b <= 8) {
        QVector<QRgb> table = palette;
        const int needed = b == 1 ? 2 : maxIndex + 1;
        while (table.size() < needed) table.append(qRgb(0, 0, 0));
        image.setColorTable(table);
    } else if (format == QImage::Format_RGB32 && b == 32 && fast32) {
        MakeOpaque(image); // the fourth byte is unused
    }
    hasAlpha = premultiplied || (format == QImage::Format_ARGB32 && (alphaOr >> 24) != 0);
    if (format == QImage::Format_ARGB32 && !hasAlpha) {
        MakeOpaque(image);
        image = std::move(image).convertToFormat(QImage::Format_RGB32);
    }
    return image;
}

// Decodes RLE4 or RLE8 data. Runs and absolute runs are clipped to the row; pixels that the data skips
// (delta, early end of line or of bitmap) keep index 0. Rows the data never reaches are left to the
// caller (rows.MissingFirst ...).
QImage ReadRle(const uchar* bits, qint64 bitsSize, const THeader& h, const QVector<QRgb>& palette, TRows& rowsOut) {
    const qint64 w = h.Width, height = h.Height;
    QImage image = NewImage(w, height, QImage::Format_Indexed8);
    image.fill(0);
    const bool rle4 = h.Compression == BI_RLE4;
    TByteReader r(bits, std::max<qint64>(0, bitsSize));
    qint64 x = 0, y = 0; // y counts from the bottom row
    int maxIndex = 0;
    bool complete = false;
    auto put = [&](int v) {
        if (x < w) {
            image.scanLine(int(height - 1 - y))[x] = uchar(v);
            maxIndex = std::max(maxIndex, v);
        }
        ++x;
    };
    try {
        while (y < height) {
            const int count = r.U8();
            const int value = r.U8();
            if (count > 0) {
                const qint64 start = x;
                for (int i = 0; i < count && x < w; ++i) put(rle4 ? ((i & 1) ? value & 15 : value >> 4) : value);
                x = start + count;
                continue;
            }
            if (value == 0) { // end of line
                x = 0;
                ++y;
            } else if (value == 1) { // end of bitmap
                complete = true;
                break;
            } else if (value == 2) { // delta
                x += r.U8();
                y += r.U8();
            } else { // absolute run of `value` pixels, padded to a 16-bit boundary
                const qint64 bytes = rle4 ? (value + 1) / 2 : value;
                const uchar* p = r.Take(bytes);
                for (int i = 0; i < value; ++i) put(rle4 ? ((i & 1) ? p[i / 2] & 15 : p[i / 2] >> 4) : p[i]);
                if (bytes & 1) r.Skip(1);
            }
        }
        complete = true;
    } catch (const EReadError&) {
    }
    // When the data ended early, the rows it reached are the bottom part of the picture (the last one
    // perhaps incomplete).
    rowsOut = RowsPresent(h, complete ? height : y + (x > 0 ? 1 : 0));
    QVector<QRgb> table = palette;
    while (table.size() < maxIndex + 1) table.append(qRgb(0, 0, 0));
    image.setColorTable(table);
    return image;
}

// Applies the AND mask of an icon entry that follows the colour rows; false when the data ends before
// the mask does (the rows without their mask stay opaque).
bool ApplyAndMask(QImage& image, const uchar* mask, qint64 maskSize, qint64 width, qint64 colourRows) {
    image = std::move(image).convertToFormat(QImage::Format_ARGB32);
    const qint64 stride = ((width + 31) / 32) * 4;
    const qint64 rowBytes = (width + 7) / 8;
    const qint64 avail = std::max<qint64>(0, maskSize);
    const qint64 rows = avail >= rowBytes ? std::min(colourRows, 1 + (avail - rowBytes) / stride) : 0;
    for (qint64 i = 0; i < rows; ++i) {
        const uchar* m = mask + i * stride;
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(int(colourRows - 1 - i)));
        for (qint64 x = 0; x < width; ++x)
            line[x] = (m[x >> 3] & (0x80 >> (x & 7))) ? (line[x] & 0x00FFFFFFu) : (line[x] | 0xFF000000u);
    }
    return rows == colourRows;
}

// How many of an icon entry's stored rows are colour rows: normally half of them, the mask taking the
// rest; all of them when they cannot be two equal sets, or when the header gives the directory's height
// and the entry (by its size in the directory, else by the data present) holds that many colour rows and
// mask rows.
qint64 IconColourRows(const THeader& h, const TDibOptions& o, qint64 bitsPos, qint64 bitsSize) {
    const qint64 stored = h.Height;
    if (stored < 2 || (stored & 1)) return stored;
    if (o.IconHeight > 0 && o.IconHeight == stored && (h.Compression == BI_RGB || h.Compression == BI_BITFIELDS)) {
        const qint64 stride = ((h.Width * h.BitCount + 31) / 32) * 4;
        const qint64 maskStride = ((h.Width + 31) / 32) * 4;
        const qint64 declared = o.IconBytes > bitsPos ? o.IconBytes - bitsPos : bitsSize;
        if (declared >= (stride + maskStride) * stored) return stored;
    }
    return stored / 2;
}

// The palette: colours (three or four bytes each) or, with PaletteIndexes, 16-bit indexes into that
// palette (indexes beyond it give grey levels).
QVector<QRgb> ReadPalette(const uchar* data, qint64 size, const THeader& h, qint64 count, const TDibOptions& o) {
    count = std::min(count, std::max<qint64>(0, size - h.PalettePos) / h.PaletteEntrySize);
    QVector<QRgb> palette;
    palette.reserve(int(std::min<qint64>(count, 256)));
    for (qint64 i = 0; i < count && i < 256; ++i) {
        const uchar* p = data + h.PalettePos + i * h.PaletteEntrySize;
        if (o.PaletteIndexes) {
            const int index = p[0] | (p[1] << 8);
            palette.append(index < o.PaletteIndexes->size() ? (*o.PaletteIndexes)[index]
                                                             : qRgb(index & 0xFF, index & 0xFF, index & 0xFF));
        } else {
            palette.append(qRgb(p[2], p[1], p[0]));
        }
    }
    if (h.BitCount <= 8) palette.resize(std::min<qsizetype>(palette.size(), qsizetype(1) << h.BitCount));
    return palette;
}

// A JPEG or PNG picture in place of the pixels.
QImage ReadEmbedded(const uchar* bits, qint64 bitsSize, const THeader& h) {
    if (!bits || bitsSize <= 0) Invalid(QStringLiteral("The bitmap holds no pixel data"));
    const qint64 n = h.ImageSize && h.ImageSize < bitsSize ? h.ImageSize : bitsSize;
    QImage embedded = QImage::fromData(bits, int(std::min<qint64>(n, INT_MAX)));
    if (embedded.isNull()) Invalid(QStringLiteral("The bitmap's embedded %1 picture cannot be decoded").arg(CompressionName(h.Compression, false)));
    CheckPictureSize(embedded.width(), embedded.height());
    return embedded.convertToFormat(QImage::Format_RGB32);
}

// The decoder of both forms: the header block is data .. data + size with the header at headerPos;
// the pixels are at bitsPos in it (0: after the palette), or in the block of their own when apart.
QImage Decode(const uchar* data, qint64 size, qint64 headerPos, qint64 bitsPos, const uchar* apartBits,
              qint64 apartSize, bool apart, const TDibOptions& o, TDibInfo* infoOut) {
    TDibInfo info;
    THeader h = ReadHeader(data, size, headerPos, o);
    info.BitCount = h.BitCount;

    qint64 paletteCount = h.BitCount <= 8 ? h.ColorsUsed : 0;
    const qint64 paletteSkip = qint64(h.ColorsUsed) * h.PaletteEntrySize; // also for palettes of true-colour data
    const uchar* bits = apartBits;
    qint64 bitsSize = apartSize;
    if (!apart) {
        if (bitsPos != 0) {
            if (bitsPos < h.PalettePos) Invalid(QStringLiteral("Invalid pixel data offset (%1)").arg(bitsPos));
            // A palette that would run into the pixel data is shorter than announced (OS/2 files).
            paletteCount = std::min(paletteCount, (bitsPos - h.PalettePos) / h.PaletteEntrySize);
        } else {
            bitsPos = h.PalettePos + paletteSkip;
        }
        bits = data + std::min(bitsPos, size);
        bitsSize = std::max<qint64>(0, size - bitsPos);
    }
    if (!bits) bitsSize = 0;
    if (Embedded(h, o)) {
        QImage image = ReadEmbedded(bits, bitsSize, h);
        info.StoredHeight = image.height();
        if (infoOut) *infoOut = info;
        return image;
    }
    const qint64 colourRows = o.AndMask ? IconColourRows(h, o, apart ? 0 : bitsPos, bitsSize) : h.Height;
    h.Height = colourRows;
    info.StoredHeight = int(colourRows);
    // Refuse pictures beyond the limit before anything is allocated.
    CheckPictureSize(h.Width, h.Height);
    const QVector<QRgb> palette = ReadPalette(data, size, h, paletteCount, o);

    QImage image;
    bool hasAlpha = false;
    TRows rows;
    const bool rle = h.Compression == BI_RLE8 || h.Compression == BI_RLE4;
    if (rle)
        image = ReadRle(bits, bitsSize, h, palette, rows);
    else
        image = ReadUncompressed(bits, bitsSize, h, palette, o, rows, hasAlpha);
    if (rows.Present == 0 && !o.AllowNoPixels) Invalid(QStringLiteral("The bitmap holds no pixel data"));
    info.Truncated = rows.MissingCount > 0;

    if (o.AndMask && !hasAlpha) {
        if (info.Truncated || rle) {
            // No mask to read: the colour rows are cut short, or compressed data hides where the mask starts.
            image = std::move(image).convertToFormat(QImage::Format_ARGB32);
        } else {
            const qint64 stride = ((h.Width * h.BitCount + 31) / 32) * 4;
            const qint64 maskPos = stride * h.Height;
            if (!ApplyAndMask(image, bits + std::min(maskPos, bitsSize), bitsSize - maskPos, h.Width, h.Height))
                info.Truncated = true;
        }
    }
    if (rows.MissingCount > 0) FillMissingRows(image, int(rows.MissingFirst), int(rows.MissingCount), o.Background);
    // A profile the data ends before was cut short: the colours stay unconverted.
    if (h.ProfileSize > 0 && h.ProfileSize <= kMaxProfileSize && h.ProfilePos >= h.PalettePos && h.ProfilePos > size - h.ProfileSize)
        info.Truncated = true;
    if (h.ProfileSize > 0 && h.ProfileSize <= kMaxProfileSize && h.ProfilePos >= h.PalettePos &&
        h.ProfilePos <= size - h.ProfileSize) {
        // Pictures are shown and converted in sRGB; a profile Qt cannot use is ignored.
        const QColorSpace space = QColorSpace::fromIccProfile(
            QByteArray::fromRawData(reinterpret_cast<const char*>(data + h.ProfilePos), qsizetype(h.ProfileSize)));
        if (space.isValid() && space != QColorSpace(QColorSpace::SRgb)) {
            image.setColorSpace(space);
            image.convertToColorSpace(QColorSpace::SRgb);
        }
    }
    if (h.XPelsPerMeter > 0 && h.YPelsPerMeter > 0) {
        image.setDotsPerMeterX(h.XPelsPerMeter);
        image.setDotsPerMeterY(h.YPelsPerMeter);
    }
    if (infoOut) *infoOut = info;
    return image;
}

} // namespace

std::optional<QSize> DibSize(const uchar* data, qint64 available, qint64 size, qint64 headerPos, const TDibOptions& o,
                             int* bitCount) {
    const THeader h = ReadHeader(data, std::min(available, size), headerPos, o);
    if (bitCount) *bitCount = h.BitCount;
    if (Embedded(h, o)) return std::nullopt;
    // As Decode lays the data out when the pixels follow the palette.
    const qint64 bitsPos = h.PalettePos + qint64(h.ColorsUsed) * h.PaletteEntrySize;
    const qint64 bitsSize = std::max<qint64>(0, size - bitsPos);
    // Plain rows count once a whole row is there.
    const bool rle = h.Compression == BI_RLE8 || h.Compression == BI_RLE4;
    if (bitsSize < (rle ? 1 : (h.Width * h.BitCount + 7) / 8) && !o.AllowNoPixels)
        Invalid(QStringLiteral("The bitmap holds no pixel data"));
    const qint64 rows = o.AndMask ? IconColourRows(h, o, bitsPos, bitsSize) : h.Height;
    CheckPictureSize(h.Width, rows);
    return QSize(int(h.Width), int(rows));
}

QImage DecodeDib(const uchar* data, qint64 size, qint64 headerPos, qint64 bitsPos, const TDibOptions& options,
                 TDibInfo* info) {
    return Decode(data, size, headerPos, bitsPos, nullptr, 0, false, options, info);
}

QImage DecodeDibApart(const uchar* header, qint64 headerSize, const uchar* bits, qint64 bitsSize,
                      const TDibOptions& options, TDibInfo* info) {
    return Decode(header, headerSize, 0, 0, bits, bitsSize, true, options, info);
}

namespace {

// The bytes from the stream's position to its end; an in-memory buffer is used where it is, uncopied.
struct TInput {
    QByteArray Owner;
    const uchar* Data = nullptr;
    qint64 Size = 0;
};

TInput ReadInput(QIODevice& stream) {
    TInput in;
    if (auto* buffer = qobject_cast<QBuffer*>(&stream)) {
        const qint64 pos = buffer->pos();
        in.Owner = buffer->data(); // shared with the buffer, not copied
        if (pos >= 0 && pos <= in.Owner.size()) {
            buffer->seek(in.Owner.size());
            in.Data = reinterpret_cast<const uchar*>(in.Owner.constData()) + pos;
            in.Size = in.Owner.size() - pos;
            return in;
        }
    }
    in.Owner = ReadRemaining(stream);
    in.Data = reinterpret_cast<const uchar*>(in.Owner.constData());
    in.Size = in.Owner.size();
    return in;
}

} // namespace

void TBitmap::ReadPage(QIODevice& stream, int) {
    const TInput input = ReadInput(stream);
    const uchar* data = input.Data;
    const qint64 size = input.Size;
    qint64 start = 0;
    // An OS/2 bitmap array: show its first bitmap (its offsets count from the start of the file).
    if (size >= 2 && data[0] == 'B' && data[1] == 'A') start = 14;
    Progress(TProgressStage::psStarting, 0);
    TDibOptions options;
    options.Progress = [this](quint8 percent) { Progress(TProgressStage::psRunning, percent); };
    TDibInfo info;
    if (size - start >= 2 && data[start] == 'B' && data[start + 1] == 'M') {
        if (size - start < kFileHeaderSize + 4) Invalid(QStringLiteral("The bitmap header is incomplete"));
        const quint32 offBits = U32At(data + start + 10);
        FImage = DecodeDib(data, size, start + kFileHeaderSize, offBits, options, &info);
    } else if (start == 0 && size >= 4) {
        const quint32 headerSize = U32At(data);
        if (headerSize != 12 && (headerSize < 16 || headerSize > 124))
            Invalid(QStringLiteral("Not a Windows bitmap file"));
        FImage = DecodeDib(data, size, 0, 0, options, &info);
    } else {
        Invalid(QStringLiteral("Not a Windows bitmap file"));
    }
    SetTruncated(info.Truncated);
    Progress(TProgressStage::psEnding, 100);
}

void TBitmap::SaveToStream(QIODevice& stream) const {
    if (FImage.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    const int w = FImage.width(), h = FImage.height();
    const QImage::Format f = FImage.format();
    QImage src;
    QVector<QRgb> palette;
    int bits = 24;
    if ((f == QImage::Format_Mono || f == QImage::Format_MonoLSB) && FImage.colorCount() <= 2) {
        // Rows of one bit a pixel, high bit first, are stored as they are.
        src = FImage.convertToFormat(QImage::Format_Mono);
        palette = src.colorTable();
        while (palette.size() < 2) palette.append(qRgb(0, 0, 0));
        bits = 1;
    } else if (f == QImage::Format_Mono || f == QImage::Format_MonoLSB || f == QImage::Format_Indexed8) {
        src = FImage.convertToFormat(QImage::Format_Indexed8);
        int maxIndex = 0;
        for (int y = 0; y < h; ++y) {
            const uchar* line = src.constScanLine(y);
            maxIndex = std::max<int>(maxIndex, *std::max_element(line, line + w));
        }
        palette = src.colorTable();
        while (palette.size() < maxIndex + 1) palette.append(qRgb(0, 0, 0));
        bits = palette.size() <= 2 ? 1 : palette.size() <= 16 ? 4 : 8;
    } else if (f == QImage::Format_Grayscale8 || f == QImage::Format_Grayscale16) {
        src = FImage.convertToFormat(QImage::Format_Grayscale8);
        for (int i = 0; i < 256; ++i) palette.append(qRgb(i, i, i));
        bits = 8;
    } else if (FImage.hasAlphaChannel()) {
        // Bitmaps of this kind have no transparency: show the picture as it would appear on white.
        src = QImage(w, h, QImage::Format_RGB32);
        src.fill(Qt::white);
        QPainter painter(&src);
        painter.drawImage(0, 0, FImage);
    } else {
        src = FImage.convertToFormat(QImage::Format_RGB32);
    }

    const qint64 stride = ((qint64(w) * bits + 31) / 32) * 4;
    const qint64 offBits = kFileHeaderSize + kInfoHeaderSize + qint64(palette.size()) * 4;
    const qint64 imageSize = stride * h;
    if (offBits + imageSize > 0xFFFFFFFFll)
        throw EInvalidGraphicOperation(QStringLiteral("The picture is too large for a bitmap file"));

    QByteArray head;
    head.reserve(int(offBits));
    auto u16 = [&](quint32 v) { head.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
    auto u32 = [&](quint32 v) { u16(v & 0xFFFF); u16(v >> 16); };
    head.append("BM");
    u32(quint32(offBits + imageSize));
    u32(0);
    u32(quint32(offBits));
    u32(kInfoHeaderSize);
    u32(quint32(w));
    u32(quint32(h)); // bottom-up
    u16(1);
    u16(quint32(bits));
    u32(BI_RGB);
    u32(quint32(imageSize));
    u32(quint32(std::max(0, FImage.dotsPerMeterX())));
    u32(quint32(std::max(0, FImage.dotsPerMeterY())));
    u32(quint32(palette.size()));
    u32(0);
    for (QRgb c : palette) {
        head.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append(char(0));
    }
    WriteBytes(stream, head);

    QByteArray row(int(stride), 0);
    uchar* out = reinterpret_cast<uchar*>(row.data());
    for (int y = h - 1; y >= 0; --y) {
        std::memset(out, 0, size_t(stride));
        const uchar* line = src.constScanLine(y);
        if (bits == 24) {
            const QRgb* in = reinterpret_cast<const QRgb*>(line);
            for (int x = 0; x < w; ++x) {
                out[3 * x] = uchar(qBlue(in[x]));
                out[3 * x + 1] = uchar(qGreen(in[x]));
                out[3 * x + 2] = uchar(qRed(in[x]));
            }
        } else if (bits == 8) {
            std::memcpy(out, line, size_t(w));
        } else if (src.format() == QImage::Format_Mono) {
            std::memcpy(out, line, size_t((w + 7) / 8));
            if (w % 8) out[w / 8] &= uchar(0xFF00 >> (w % 8)); // padding bits are zero
        } else {
            const int perByte = 8 / bits;
            for (int x = 0; x < w; ++x)
                out[x / perByte] |= uchar(line[x] << (8 - bits * (x % perByte + 1)));
        }
        WriteBuffer(stream, out, stride);
    }
}
