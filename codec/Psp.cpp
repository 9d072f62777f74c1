#include "codec/Psp.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QIODevice>
#include <QPainter>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

DEFINE_CONTENT_GRAPHIC_CLASS(TPSPGraphic)

namespace {

const char kSignature[32] = "Paint Shop Pro Image File\n\x1a"; // padded with zeros to 32 bytes
const int kFileHeaderSize = 36;                                    // signature and version

enum TBlockId {
    bkImage = 0,
    bkPalette = 2,
    bkLayerBank = 3,
    bkLayer = 4,
    bkChannel = 5,
    bkCompositeImage = 9,
    bkCompositeBank = 16,
    bkCompositeAttributes = 17,
};
enum TCompression { cmNone = 0, cmRle = 1, cmLz77 = 2 };
enum TBitmapType { btImage = 0, btTransparency = 1 };

[[noreturn]] void NoRasterLayer() { throw EInvalidGraphic(QStringLiteral("The PSP file holds no raster layer")); }

struct TBlock {
    int Id = -1;
    qint64 Start = 0, End = 0; // the block's data, cut at the end of its container
};

struct TChannel {
    int BitmapType = 0, ChannelType = 0;
    const uchar* Data = nullptr;
    qint64 Length = 0;
};

struct TAttributes {
    int Width = 0, Height = 0, Compression = 0, Depth = 0;
    bool Grey = false;
};

class TPspReader {
public:
    TPspReader(const uchar* data, qint64 size) : FData(data), FSize(size) {}
    // A reader of the file's structure only, through read (Scan, not Read).
    TPspReader(TBlockReader read, qint64 size) : FRead(std::move(read)), FSize(size) {}

    void Read(QImage& result);
    // Reads the top-level blocks: the image attributes (checked as Read checks them, with the canvas
    // size against the pixel limit) and where the layer and composite image banks are. Raises as Read
    // does when the attributes are missing or wrong or when there is no bank to draw from.
    void Scan();
    int Width() const { return FAttr.Width; }
    int Height() const { return FAttr.Height; }
    // Whether some data ended early (blocks or channels cut short).
    bool Truncated() const { return FTruncated; }

private:
    // The block header at pos within [pos, limit); false when there is none.
    bool NextBlock(qint64& pos, qint64 limit, TBlock& block) const;
    // count bytes at pos (fewer at the end of the data), uncopied when the data is in memory.
    QByteArray Bytes(qint64 pos, qint64 count) const;
    TByteReader Reader(const TBlock& b) const { return TByteReader(FData + b.Start, b.End - b.Start); }
    void ReadAttributes(const TBlock& b);
    void ReadPalette(const TBlock& b);
    // Channel blocks inside [pos, end).
    std::vector<TChannel> ReadChannels(qint64 pos, qint64 end) const;
    // Expands a channel to rows of rowBytes (uncompressed data pads its rows to 4 bytes); *rows gets the
    // number of complete rows the data held.
    std::vector<uchar> Expand(const TChannel& c, int compression, qint64 rowBytes, int height, int* rows) const;
    // Draws a raster of the given size from its channels at (left, top) on the canvas.
    bool DrawRaster(const std::vector<TChannel>& channels, int compression, int depth, int width, int height,
                    int left, int top, int opacity, QImage& canvas) const;
    void ReadLayer(const TBlock& b, QImage& canvas);
    void ReadCompositeBank(const TBlock& b, QImage& canvas);

    const uchar* FData = nullptr;
    TBlockReader FRead;
    qint64 FSize;
    int FMajor = 0;
    std::vector<TBlock> FLayerBanks, FCompositeBanks;
    TAttributes FAttr;
    QVector<QRgb> FPalette;
    qint64 FPixelsDrawn = 0;
    bool FDrewLayer = false;
    mutable bool FTruncated = false;
};

QByteArray TPspReader::Bytes(qint64 pos, qint64 count) const {
    count = std::min(count, FSize - pos);
    if (pos < 0 || count <= 0) return QByteArray();
    if (FRead) return FRead(pos, count);
    return QByteArray::fromRawData(reinterpret_cast<const char*>(FData + pos), qsizetype(count));
}

bool TPspReader::NextBlock(qint64& pos, qint64 limit, TBlock& block) const {
    const int headerSize = FMajor <= 3 ? 14 : 10;
    if (limit - pos < headerSize) return false;
    const QByteArray head = Bytes(pos, headerSize);
    if (head.size() < headerSize || std::memcmp(head.constData(), "~BK\0", 4) != 0) return false;
    TByteReader r(head);
    r.Skip(4);
    block.Id = r.U16LE();
    if (FMajor <= 3) r.Skip(4); // initial data length
    const qint64 length = r.U32LE();
    block.Start = pos + headerSize;
    if (length > limit - block.Start && limit == FSize) FTruncated = true;
    block.End = block.Start + std::min(length, limit - block.Start);
    pos = block.End;
    return true;
}

void TPspReader::ReadAttributes(const TBlock& b) {
    // The fields read take less than 64 bytes.
    const QByteArray bytes = Bytes(b.Start, std::min<qint64>(b.End - b.Start, 64));
    TByteReader r(bytes);
    if (FMajor > 3) r.Skip(4); // chunk size
    FAttr.Width = r.S32LE();
    FAttr.Height = r.S32LE();
    r.Skip(9); // resolution and its unit
    FAttr.Compression = r.U16LE();
    FAttr.Depth = r.U16LE();
    r.Skip(2 + 4); // planes, colours
    FAttr.Grey = r.U8() != 0;
}

void TPspReader::ReadPalette(const TBlock& b) {
    TByteReader r = Reader(b);
    FPalette.clear();
    try {
        qint64 entriesAt = 4;
        if (FMajor > 3) {
            entriesAt = std::max<qint64>(8, r.U32LE()); // the entries follow the chunk
            if (entriesAt > r.Size()) return;
        }
        const quint32 count = r.U32LE();
        r.Seek(entriesAt);
        for (quint32 i = 0; i < count && i < 256 && r.Remaining() >= 4; ++i) {
            const uchar* p = r.Take(4); // blue, green, red, reserved
            FPalette << qRgb(p[2], p[1], p[0]);
        }
    } catch (const EReadError&) {
    }
}

std::vector<TChannel> TPspReader::ReadChannels(qint64 pos, qint64 end) const {
    std::vector<TChannel> channels;
    TBlock b;
    while (NextBlock(pos, end, b)) {
        if (b.Id != bkChannel) continue;
        TByteReader r = Reader(b);
        try {
            qint64 dataAt = 0;
            if (FMajor > 3) {
                dataAt = r.U32LE();
                if (dataAt < 16) continue;
            }
            TChannel c;
            c.Length = r.U32LE();
            r.Skip(4); // uncompressed length: the size follows from the attributes
            c.BitmapType = r.U16LE();
            c.ChannelType = r.U16LE();
            if (FMajor <= 3) dataAt = r.Pos();
            if (dataAt > r.Size()) continue;
            c.Data = FData + b.Start + dataAt;
            if (c.Length > r.Size() - dataAt) FTruncated = true;
            c.Length = std::min(c.Length, r.Size() - dataAt); // truncated data: what is there
            channels.push_back(c);
        } catch (const EReadError&) {
        }
    }
    return channels;
}

std::vector<uchar> TPspReader::Expand(const TChannel& c, int compression, qint64 rowBytes, int height, int* rows) const {
    std::vector<uchar> out(size_t(rowBytes * height), 0);
    const uchar* p = c.Data;
    const uchar* end = p + c.Length;
    size_t produced = 0;
    if (compression == cmNone) {
        const qint64 stride = (rowBytes + 3) & ~qint64(3);
        for (int y = 0; y < height; ++y) {
            const qint64 at = qint64(y) * stride;
            if (at >= c.Length) break;
            const qint64 n = std::min(rowBytes, c.Length - at);
            std::memcpy(out.data() + qint64(y) * rowBytes, p + at, size_t(n));
            produced = size_t(qint64(y) * rowBytes + n);
        }
    } else if (compression == cmRle) {
        // n > 128 repeats the next byte n-128 times; otherwise n bytes follow as they are.
        size_t i = 0;
        while (i < out.size() && p < end) {
            const int n = *p++;
            if (n > 128) {
                if (p >= end) break;
                const size_t k = std::min(size_t(n - 128), out.size() - i);
                std::memset(out.data() + i, *p++, k);
                i += k;
            } else {
                const size_t k = std::min({size_t(n), out.size() - i, size_t(end - p)});
                std::memcpy(out.data() + i, p, k);
                p += n <= end - p ? n : end - p;
                i += k;
            }
        }
        produced = i;
    } else {
        z_stream z{};
        if (inflateInit(&z) != Z_OK) return out;
        z.next_in = const_cast<Bytef*>(p);
        z.avail_in = uInt(std::min<qint64>(c.Length, 0x7fffffff));
        z.next_out = out.data();
        z.avail_out = uInt(out.size());
        inflate(&z, Z_FINISH); // damaged data keeps what was inflated before the damage
        produced = out.size() - z.avail_out;
        inflateEnd(&z);
    }
    *rows = rowBytes > 0 ? int(std::min<qint64>(height, qint64(produced) / rowBytes)) : height;
    return out;
}

bool TPspReader::DrawRaster(const std::vector<TChannel>& channels, int compression, int depth, int width, int height,
                            int left, int top, int opacity, QImage& canvas) const {
    if (width <= 0 || height <= 0) return false;
    CheckPictureSize(width, height);
    const TChannel *red = nullptr, *green = nullptr, *blue = nullptr, *index = nullptr, *alpha = nullptr;
    for (const TChannel& c : channels) {
        if (c.BitmapType == btTransparency) alpha = &c;
        if (c.BitmapType != btImage) continue;
        if (c.ChannelType == 0) index = &c;
        if (c.ChannelType == 1) red = &c;
        if (c.ChannelType == 2) green = &c;
        if (c.ChannelType == 3) blue = &c;
    }
    const bool trueColour = depth == 24;
    if (trueColour ? !(red && green && blue) : !index) return false;
    const int bits = trueColour ? 8 : depth;
    if (bits != 1 && bits != 4 && bits != 8) return false;
    const qint64 rowBytes = (qint64(width) * bits + 7) / 8;

    QVector<QRgb> palette = FPalette;
    if (palette.isEmpty() || FAttr.Grey) {
        palette.clear();
        const int levels = 1 << bits;
        for (int i = 0; i < levels; ++i) palette << qRgb(i * 255 / (levels - 1), i * 255 / (levels - 1), i * 255 / (levels - 1));
    }
    while (palette.size() < 256) palette << qRgb(0, 0, 0);

    QImage layer = NewImage(width, height, QImage::Format_ARGB32);
    std::vector<uchar> r, g, b, i, a;
    // Rows every channel holds: the rows below them never arrived and leave what is underneath.
    int rows = height, n = height;
    if (trueColour) {
        r = Expand(*red, compression, rowBytes, height, &n);
        rows = std::min(rows, n);
        g = Expand(*green, compression, rowBytes, height, &n);
        rows = std::min(rows, n);
        b = Expand(*blue, compression, rowBytes, height, &n);
        rows = std::min(rows, n);
    } else {
        i = Expand(*index, compression, rowBytes, height, &n);
        rows = std::min(rows, n);
    }
    if (alpha) {
        a = Expand(*alpha, compression, width, height, &n);
        rows = std::min(rows, n);
    }
    if (rows < height) {
        FTruncated = true;
        FillMissingRows(layer, rows, height - rows, qRgba(0, 0, 0, 0));
    }
    for (int y = 0; y < rows; ++y) {
        QRgb* out = reinterpret_cast<QRgb*>(layer.scanLine(y));
        const qint64 row = qint64(y) * rowBytes;
        for (int x = 0; x < width; ++x) {
            QRgb c;
            if (trueColour) {
                c = qRgb(r[size_t(row + x)], g[size_t(row + x)], b[size_t(row + x)]);
            } else {
                const uchar byte = i[size_t(row + (qint64(x) * bits >> 3))];
                const int v = bits == 8 ? byte : bits == 4 ? ((x & 1) ? byte & 15 : byte >> 4) : (byte >> (7 - (x & 7))) & 1;
                c = palette[v];
            }
            out[x] = alpha ? qRgba(qRed(c), qGreen(c), qBlue(c), a[size_t(qint64(y) * width + x)]) : (c | 0xFF000000);
        }
    }
    QPainter painter(&canvas);
    painter.setOpacity(opacity / 255.0);
    painter.drawImage(left, top, layer);
    return true;
}

void TPspReader::ReadLayer(const TBlock& b, QImage& canvas) {
    TByteReader r = Reader(b);
    qint64 pos = 0;
    int rect[4], saved[4];
    int opacity = 255, visible = 1;
    try {
        if (FMajor > 3) {
            const qint64 infoSize = r.U32LE();
            r.Skip(r.U16LE()); // name
            r.Skip(1);         // layer type
            for (int& v : rect) v = r.S32LE();
            for (int& v : saved) v = r.S32LE();
            opacity = r.U8();
            r.Skip(1); // blend mode
            visible = r.U8() & 1;
            if (infoSize < r.Pos() || infoSize > r.Size()) return;
            r.Seek(infoSize);
            const qint64 bitmapInfoStart = r.Pos();
            const qint64 bitmapInfoSize = r.U32LE();
            if (bitmapInfoSize < 8 || bitmapInfoSize > r.Size() - bitmapInfoStart) return;
            pos = bitmapInfoStart + bitmapInfoSize;
        } else {
            r.Skip(256 + 1); // name and layer type
            for (int& v : rect) v = r.S32LE();
            for (int& v : saved) v = r.S32LE();
            opacity = r.U8();
            r.Skip(1);
            visible = r.U8();
            r.Skip(2 + 16 + 16 + 3); // protection, group, mask rectangles and flags
            r.Skip(2 + 5 * 8); // blend ranges
            r.Skip(4);         // bitmap and channel counts
            pos = r.Pos();
        }
    } catch (const EReadError&) {
        return;
    }
    if (!visible) return;
    const qint64 width = qint64(saved[2]) - saved[0], height = qint64(saved[3]) - saved[1];
    if (width <= 0 || height <= 0 || width > 0x7fffffff || height > 0x7fffffff) return;
    // Many large layers over a small canvas would only cost time: the work stays within a bound.
    FPixelsDrawn += width * height;
    if (FPixelsDrawn > std::max<qint64>(16 * qint64(canvas.width()) * canvas.height(), qint64(1) << 24)) return;
    const std::vector<TChannel> channels = ReadChannels(b.Start + pos, b.End);
    if (DrawRaster(channels, FAttr.Compression, FAttr.Depth, int(width), int(height), rect[0] + saved[0],
                   rect[1] + saved[1], opacity, canvas))
        FDrewLayer = true;
}

void TPspReader::ReadCompositeBank(const TBlock& bank, QImage& canvas) {
    qint64 pos = bank.Start;
    if (FMajor > 3) {
        if (bank.End - pos < 4) return;
        pos += std::max<qint64>(4, TByteReader(FData + pos, 4).U32LE());
    }
    TBlock b;
    TAttributes attr;
    bool haveAttr = false;
    while (NextBlock(pos, bank.End, b)) {
        if (b.Id == bkCompositeAttributes) {
            TByteReader r = Reader(b);
            try {
                if (FMajor > 3) r.Skip(4);
                attr.Width = r.S32LE();
                attr.Height = r.S32LE();
                attr.Depth = r.U16LE();
                attr.Compression = r.U16LE();
                haveAttr = true;
            } catch (const EReadError&) {
                haveAttr = false;
            }
        } else if (b.Id == bkCompositeImage && haveAttr && attr.Width == canvas.width() && attr.Height == canvas.height()) {
            // An information chunk (bitmap and channel counts) comes before the palette and channel blocks.
            qint64 start = b.Start;
            if (FMajor > 3 && b.End - start >= 4 && std::memcmp(FData + start, "~BK\0", 4) != 0)
                start += std::max<qint64>(4, std::min<qint64>(TByteReader(FData + start, 4).U32LE(), b.End - start));
            qint64 inner = start;
            TBlock c;
            while (NextBlock(inner, b.End, c))
                if (c.Id == bkPalette) ReadPalette(c);
            if (DrawRaster(ReadChannels(start, b.End), attr.Compression, attr.Depth, attr.Width, attr.Height, 0, 0, 255,
                           canvas)) {
                FDrewLayer = true;
                return;
            }
        }
    }
}

void TPspReader::Scan() {
    const QByteArray head = Bytes(0, kFileHeaderSize);
    if (FSize < kFileHeaderSize || head.size() < kFileHeaderSize || std::memcmp(head.constData(), kSignature, 32) != 0)
        throw EInvalidGraphic(QStringLiteral("Not a Paint Shop Pro file"));
    FMajor = uchar(head[32]) | (uchar(head[33]) << 8);
    qint64 pos = kFileHeaderSize;
    TBlock b;
    bool haveAttributes = false;
    while (NextBlock(pos, FSize, b)) {
        try {
            if (b.Id == bkImage) {
                ReadAttributes(b);
                haveAttributes = true;
            } else if (b.Id == bkPalette && FData) {
                ReadPalette(b);
            }
        } catch (const EReadError&) {
            throw EInvalidGraphic(QStringLiteral("The PSP image attributes are incomplete"));
        }
        if (b.Id == bkLayerBank) FLayerBanks.push_back(b);
        if (b.Id == bkCompositeBank) FCompositeBanks.push_back(b);
    }
    if (!haveAttributes) throw EInvalidGraphic(QStringLiteral("The PSP file has no image attributes"));
    if (FAttr.Compression > cmLz77) throw EInvalidGraphic(QStringLiteral("Unsupported PSP compression %1").arg(FAttr.Compression));
    CheckPictureSize(FAttr.Width, FAttr.Height);
    if (FLayerBanks.empty() && FCompositeBanks.empty()) NoRasterLayer();
}

void TPspReader::Read(QImage& result) {
    Scan();
    QImage canvas = NewImage(FAttr.Width, FAttr.Height, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    const std::vector<TBlock>& layerBanks = FLayerBanks;
    const std::vector<TBlock>& compositeBanks = FCompositeBanks;
    // Layers are stored bottom first.
    for (const TBlock& bank : layerBanks) {
        qint64 at = bank.Start;
        TBlock layer;
        while (NextBlock(at, bank.End, layer))
            if (layer.Id == bkLayer) ReadLayer(layer, canvas);
    }
    // Without a layer that can be shown, the full-size composite (newer files carry one).
    for (const TBlock& bank : compositeBanks) {
        if (FDrewLayer) break;
        ReadCompositeBank(bank, canvas);
    }
    if (!FDrewLayer) NoRasterLayer();
    result = canvas.convertToFormat(QImage::Format_ARGB32);
    bool opaque = true;
    for (int y = 0; y < result.height() && opaque; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(result.constScanLine(y));
        for (int x = 0; x < result.width(); ++x)
            if (qAlpha(line[x]) != 255) {
                opaque = false;
                break;
            }
    }
    if (opaque) result = result.convertToFormat(QImage::Format_RGB32);
}

} // namespace

bool TPSPGraphic::AcceptsContent(QIODevice& stream) {
    const QByteArray head = PeekBytes(stream, 32);
    return head.size() == 32 && std::memcmp(head.constData(), kSignature, 32) == 0;
}

bool TPSPGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    qint64 size = 0;
    TBlockReader read = StreamBlock(stream, size);
    if (!read) return false;
    TPspReader reader(std::move(read), size);
    reader.Scan();
    info.Width = reader.Width();
    info.Height = reader.Height();
    info.Frames = 1;
    return true;
}

void TPSPGraphic::ReadPage(QIODevice& stream, int) {
    const QByteArray bytes = ReadRemaining(stream);
    TPspReader reader(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size());
    QImage image;
    reader.Read(image);
    FImage = std::move(image);
    SetTruncated(reader.Truncated());
}
