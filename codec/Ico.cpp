#include "codec/Ico.h"

#include "codec/Bmp.h"
#include "codec/Limits.h"
#include "codec/Registry.h"
#include "codec/Stream.h"

#include <QBuffer>
#include <QIODevice>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

DEFINE_GRAPHIC_CLASS(TIcon)

namespace {

constexpr int kDirHeaderSize = 6;
constexpr int kDirEntrySize = 16;
constexpr int kMaxIconSide = 256;

const char kPngSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};

// Decodes a PNG-compressed image: through the program's PNG class when there is one, else through Qt.
// The size and bits per pixel of a PNG-compressed image, from its first 26 bytes.
QSize PngSize(const QByteArray& bytes, int* bitCount) {
    // Signature, IHDR length and type, then width, height, bit depth and colour type.
    if (bytes.size() < 26 || std::memcmp(bytes.constData() + 12, "IHDR", 4) != 0)
        throw EInvalidGraphic(QStringLiteral("The icon's PNG image is incomplete"));
    TByteReader r(bytes);
    r.Seek(16);
    const quint32 w = r.U32BE(), h = r.U32BE();
    const int depth = r.U8(), colourType = r.U8();
    CheckPictureSize(w, h);
    const int channels = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
    *bitCount = depth * channels;
    return QSize(int(w), int(h));
}

QImage DecodePng(const QByteArray& bytes, int* bitCount, bool* truncated) {
    PngSize(bytes, bitCount);

    if (TGraphicClass png = FindGraphicClass(QStringLiteral("TPngGraphic"))) {
        std::unique_ptr<TGraphic> graphic = png->Create();
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        graphic->LoadFromStream(buffer);
        *truncated = graphic->Truncated();
        if (auto* dib = dynamic_cast<TDibGraphic*>(graphic.get())) return dib->Image();
        return graphic->ToImage();
    }
    QImage image;
    if (!image.loadFromData(bytes, "PNG") || image.isNull())
        throw EInvalidGraphic(QStringLiteral("The icon's PNG image cannot be decoded"));
    return image;
}

} // namespace

namespace {

// One entry of the directory.
struct TDirEntry {
    int Height = 0; // tells headers that count the mask rows from those that do not
    quint16 Field1 = 0, Field2 = 0;
    quint32 Bytes = 0, Offset = 0;
};

// The directory of an icon or cursor file of dataSize bytes, from its first bytes (head); raises for a
// bad directory. *cut: the data end before the images the directory lists do.
QVector<TDirEntry> ReadDirectory(const QByteArray& head, qint64 dataSize, quint16 type, bool* cut) {
    TByteReader r(head);
    if (head.size() < kDirHeaderSize) throw EInvalidGraphic(QStringLiteral("The icon directory is incomplete"));
    const quint16 reserved = r.U16LE(), fileType = r.U16LE(), count = r.U16LE();
    if (reserved != 0 || fileType != type)
        throw EInvalidGraphic(type == 1 ? QStringLiteral("Not a Windows icon file") : QStringLiteral("Not a Windows cursor file"));
    if (count == 0) throw EInvalidGraphic(QStringLiteral("The file holds no images"));
    const qint64 dirEnd = kDirHeaderSize + qint64(count) * kDirEntrySize;
    if (head.size() < dirEnd) throw EInvalidGraphic(QStringLiteral("The icon directory is incomplete"));
    QVector<TDirEntry> entries(count);
    qint64 declaredEnd = 0;
    for (TDirEntry& e : entries) {
        r.Skip(1); // width: the image's own header says
        e.Height = r.U8();
        r.Skip(2); // colour count, reserved
        e.Field1 = r.U16LE();
        e.Field2 = r.U16LE();
        e.Bytes = r.U32LE();
        e.Offset = r.U32LE();
        if (e.Offset >= dirEnd && e.Bytes > 0) declaredEnd = std::max(declaredEnd, qint64(e.Offset) + e.Bytes);
    }
    *cut = declaredEnd > dataSize;
    return entries;
}

// The bytes of an entry present in data of dataSize bytes; raises for an entry the directory misplaces.
qint64 EntryLength(const TDirEntry& e, int index, int count, qint64 dataSize) {
    if (e.Offset < kDirHeaderSize + qint64(count) * kDirEntrySize || e.Offset >= quint64(dataSize) || e.Bytes == 0)
        throw EInvalidGraphic(QStringLiteral("Invalid offset or size of image %1").arg(index + 1));
    // An image cut short by the end of the file gives what it holds.
    return std::min<qint64>(e.Bytes, dataSize - qint64(e.Offset));
}

TDibOptions EntryOptions(const TDirEntry& e) {
    TDibOptions options;
    options.AndMask = true;
    options.IconHeight = e.Height ? e.Height : kMaxIconSide;
    options.IconBytes = e.Bytes;
    return options;
}

bool IsPng(const uchar* p, qint64 length) { return length >= 8 && std::memcmp(p, kPngSignature, 8) == 0; }

// Whether an image of the given area and depth is shown before the best one so far (the first of equals).
bool Better(qint64 area, int bits, qint64 bestArea, int bestBits) {
    return area > bestArea || (area == bestArea && bits > bestBits);
}

} // namespace

QVector<TIconEntry> ReadIconFile(const QByteArray& data, quint16 type, bool* cut) {
    bool fileCut = false;
    const QVector<TDirEntry> dir = ReadDirectory(data, data.size(), type, &fileCut);
    if (cut) *cut = fileCut;

    QVector<TIconEntry> entries;
    QString firstError;
    // All images together stay within the pixel limit (a directory may point many times at one image).
    qint64 budget = PixelLimit();
    for (int i = 0; i < dir.size() && budget > 0; ++i) {
        TIconEntry entry;
        entry.Field1 = dir[i].Field1;
        entry.Field2 = dir[i].Field2;
        try {
            const qint64 length = EntryLength(dir[i], i, int(dir.size()), data.size());
            const uchar* p = reinterpret_cast<const uchar*>(data.constData()) + dir[i].Offset;
            if (IsPng(p, length)) {
                entry.Image = DecodePng(QByteArray(reinterpret_cast<const char*>(p), length), &entry.BitCount, &entry.Truncated);
                entry.Png = true;
            } else {
                TDibInfo info;
                entry.Image = DecodeDib(p, length, 0, 0, EntryOptions(dir[i]), &info);
                entry.BitCount = info.BitCount;
                entry.Truncated = info.Truncated;
            }
            budget -= qint64(entry.Image.width()) * entry.Image.height();
            entries.append(std::move(entry));
        } catch (const Exception& e) {
            if (firstError.isEmpty()) firstError = e.Message();
        }
    }
    if (entries.isEmpty()) throw EInvalidGraphic(firstError);
    return entries;
}

std::optional<TIconShown> ReadIconFileInfo(QIODevice& stream, quint16 type) {
    if (stream.isSequential()) return std::nullopt;
    const qint64 start = stream.pos(), dataSize = stream.size() - start;
    QByteArray head = stream.read(kDirHeaderSize);
    if (head.size() == kDirHeaderSize) {
        const qint64 count = quint16(uchar(head[4]) | (uchar(head[5]) << 8));
        head += stream.read(count * kDirEntrySize);
    }
    bool cut = false;
    const QVector<TDirEntry> dir = ReadDirectory(head, dataSize, type, &cut);
    if (cut) return std::nullopt; // which images survive the cut only decoding tells

    std::optional<TIconShown> best;
    int bestBits = -1;
    QString firstError;
    qint64 budget = PixelLimit();
    for (int i = 0; i < dir.size() && budget > 0; ++i) {
        try {
            const qint64 length = EntryLength(dir[i], i, int(dir.size()), dataSize);
            // The largest header (124 bytes) and bit-field masks after a 40-byte one fit in this.
            constexpr qint64 kHeaderBytes = 256;
            if (!stream.seek(start + dir[i].Offset)) throw EReadError();
            const QByteArray bytes = stream.read(std::min(length, kHeaderBytes));
            const uchar* p = reinterpret_cast<const uchar*>(bytes.constData());
            int bits = 0;
            QSize size;
            if (IsPng(p, bytes.size())) {
                size = PngSize(bytes, &bits);
            } else {
                const std::optional<QSize> dib = DibSize(p, bytes.size(), length, 0, EntryOptions(dir[i]), &bits);
                if (!dib) return std::nullopt;
                size = *dib;
            }
            const qint64 area = qint64(size.width()) * size.height();
            budget -= area;
            if (!best || Better(area, bits, qint64(best->Size.width()) * best->Size.height(), bestBits)) {
                best = TIconShown{size, i};
                bestBits = bits;
            }
        } catch (const Exception& e) {
            if (firstError.isEmpty()) firstError = e.Message();
        }
    }
    if (!best) throw EInvalidGraphic(firstError);
    return best;
}

int LargestIconEntry(const QVector<TIconEntry>& entries) {
    int best = -1;
    qint64 bestArea = -1;
    int bestBits = -1;
    for (int i = 0; i < entries.size(); ++i) {
        const qint64 area = qint64(entries[i].Image.width()) * entries[i].Image.height();
        if (Better(area, entries[i].BitCount, bestArea, bestBits)) {
            best = i;
            bestArea = area;
            bestBits = entries[i].BitCount;
        }
    }
    return best;
}

void TIcon::ReadPage(QIODevice& stream, int) {
    const QByteArray data = ReadRemaining(stream);
    bool cut = false;
    QVector<TIconEntry> entries = ReadIconFile(data, 1, &cut);
    const int shown = LargestIconEntry(entries);
    FImage = entries[shown].Image;
    SetTruncated(cut || entries[shown].Truncated);
    FEntries = std::move(entries);
    FShown = shown;
}

bool TIcon::SetSaveOption(const QString& key, const QString& value) {
    const QString v = value.trimmed().toLower();
    if (key == QLatin1String("render")) {
        static const QStringList names = {"crop", "stretch", "center"};
        bool ok = false;
        const int n = v.toInt(&ok);
        if (names.contains(v))
            FRender = int(names.indexOf(v));
        else if (ok && n >= 0 && n <= 2)
            FRender = n;
        else
            throw EInvalidGraphicOperation(QStringLiteral("The icon option render takes crop, stretch or center (0..2), not '%1'").arg(value));
        return true;
    }
    if (key == QLatin1String("size")) {
        bool ok = false;
        const int n = v.toInt(&ok);
        if (!ok || n < 1 || n > kMaxIconSide)
            throw EInvalidGraphicOperation(QStringLiteral("The icon option size takes 1 to 256, not '%1'").arg(value));
        FSize = n;
        return true;
    }
    return false;
}

void TIcon::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (auto* icon = dynamic_cast<const TIcon*>(&source)) {
        FEntries = icon->FEntries;
        FShown = icon->FShown;
    } else {
        FEntries.clear();
        FShown = -1;
    }
    TDibGraphic::Assign(source);
}

void TIcon::SaveToStream(QIODevice& stream) const {
    if (FImage.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    QImage image = FImage.convertToFormat(QImage::Format_ARGB32);
    if (FRender >= 0) {
        const int side = FSize > 0 ? FSize : std::min(kMaxIconSide, std::max(image.width(), image.height()));
        QImage square = NewImage(side, side, QImage::Format_ARGB32);
        square.fill(Qt::transparent);
        QPainter painter(&square);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        if (FRender == 1) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRect(0, 0, side, side), image);
        } else if (FRender == 2) {
            painter.drawImage((side - image.width()) / 2, (side - image.height()) / 2, image);
        } else {
            painter.drawImage(0, 0, image);
        }
        painter.end();
        image = square;
    } else if (image.width() > kMaxIconSide || image.height() > kMaxIconSide) {
        // The longer side becomes 256; the shorter keeps the proportion but at least one pixel.
        const double scale = double(kMaxIconSide) / std::max(image.width(), image.height());
        const int w = std::clamp(int(std::lround(image.width() * scale)), 1, kMaxIconSide);
        const int h = std::clamp(int(std::lround(image.height() * scale)), 1, kMaxIconSide);
        image = image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_ARGB32);
    }
    const int w = image.width(), h = image.height();
    const qint64 xorStride = qint64(w) * 4;
    const qint64 andStride = ((qint64(w) + 31) / 32) * 4;
    const quint32 imageBytes = quint32(40 + (xorStride + andStride) * h);

    QByteArray out;
    out.reserve(int(kDirHeaderSize + kDirEntrySize + imageBytes));
    auto u8 = [&](quint32 v) { out.append(char(v & 0xFF)); };
    auto u16 = [&](quint32 v) { u8(v); u8(v >> 8); };
    auto u32 = [&](quint32 v) { u16(v & 0xFFFF); u16(v >> 16); };
    u16(0);
    u16(1);
    u16(1);
    u8(w == 256 ? 0 : quint32(w));
    u8(h == 256 ? 0 : quint32(h));
    u8(0); // colour count: none for true colour
    u8(0);
    u16(1);  // planes
    u16(32); // bits per pixel
    u32(imageBytes);
    u32(kDirHeaderSize + kDirEntrySize);
    // The image: a 40-byte header whose height counts colour rows and mask rows.
    u32(40);
    u32(quint32(w));
    u32(quint32(2 * h));
    u16(1);
    u16(32);
    u32(0);
    u32(quint32((xorStride + andStride) * h));
    u32(0);
    u32(0);
    u32(0);
    u32(0);
    for (int y = h - 1; y >= 0; --y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            u8(qBlue(line[x]));
            u8(qGreen(line[x]));
            u8(qRed(line[x]));
            u8(qAlpha(line[x]));
        }
    }
    // AND mask: set where the picture is mostly transparent, for programs that ignore the alpha channel.
    QByteArray mask(int(andStride), 0);
    for (int y = h - 1; y >= 0; --y) {
        mask.fill(0);
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if (qAlpha(line[x]) < 128) mask[x >> 3] = char(uchar(mask[x >> 3]) | (0x80 >> (x & 7)));
        out.append(mask);
    }
    WriteBytes(stream, out);
}
