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

// The bits per pixel of a PNG-compressed image from the first bytes of its header (head; length: the
// image's size), and its size, after checking it against the pixel limit.
int PngHeader(const QByteArray& head, qint64 length, QSize* size) {
    // Signature, IHDR length and type, then width, height, bit depth and colour type.
    if (length < 26 || head.size() < 26 || std::memcmp(head.constData() + 12, "IHDR", 4) != 0)
        throw EInvalidGraphic(QStringLiteral("The icon's PNG image is incomplete"));
    TByteReader r(head);
    r.Seek(16);
    const quint32 w = r.U32BE(), h = r.U32BE();
    const int depth = r.U8(), colourType = r.U8();
    CheckPictureSize(w, h);
    *size = QSize(int(w), int(h));
    const int channels = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
    return depth * channels;
}

// Decodes a PNG-compressed image: through the program's PNG class when there is one, else through Qt.
QImage DecodePng(const QByteArray& bytes, int* bitCount, bool* truncated) {
    QSize size;
    *bitCount = PngHeader(bytes, bytes.size(), &size);

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

// An image as the directory lists it.
struct TDirEntry {
    int Height = 0; // tells headers that count the mask rows from those that do not
    quint16 Field1 = 0, Field2 = 0;
    quint32 Bytes = 0, Offset = 0;
};

struct TDirectory {
    QVector<TDirEntry> Entries;
    qint64 End = 0;         // where the directory ends
    qint64 DeclaredEnd = 0; // where the images it lists end
};

// Reads and checks the directory of an icon (type 1) or cursor (type 2) file of size bytes, from data
// that holds its first bytes (all of the directory when the file has it).
TDirectory ReadDirectory(const QByteArray& data, qint64 size, quint16 type) {
    TDirectory dir;
    TByteReader r(data);
    if (size < kDirHeaderSize || data.size() < kDirHeaderSize)
        throw EInvalidGraphic(QStringLiteral("The icon directory is incomplete"));
    const quint16 reserved = r.U16LE(), fileType = r.U16LE(), count = r.U16LE();
    if (reserved != 0 || fileType != type)
        throw EInvalidGraphic(type == 1 ? QStringLiteral("Not a Windows icon file") : QStringLiteral("Not a Windows cursor file"));
    if (count == 0) throw EInvalidGraphic(QStringLiteral("The file holds no images"));
    dir.End = kDirHeaderSize + qint64(count) * kDirEntrySize;
    if (size < dir.End || data.size() < dir.End) throw EInvalidGraphic(QStringLiteral("The icon directory is incomplete"));
    for (int i = 0; i < count; ++i) {
        TDirEntry e;
        r.Skip(1); // width: the image's own header says
        e.Height = r.U8();
        r.Skip(2); // colour count, reserved
        e.Field1 = r.U16LE();
        e.Field2 = r.U16LE();
        e.Bytes = r.U32LE();
        e.Offset = r.U32LE();
        if (e.Offset >= dir.End && e.Bytes > 0) dir.DeclaredEnd = std::max(dir.DeclaredEnd, qint64(e.Offset) + e.Bytes);
        dir.Entries.append(e);
    }
    return dir;
}

// How a bitmap image of the directory is decoded.
TDibOptions EntryOptions(const TDirEntry& e) {
    TDibOptions options;
    options.AndMask = true;
    options.IconHeight = e.Height ? e.Height : kMaxIconSide;
    options.IconBytes = e.Bytes;
    return options;
}

// An image of the file as its headers give it.
struct TIconShape {
    QSize Size;
    int BitCount = 0;
};

QSize SizeOf(const TIconEntry& e) { return e.Image.size(); }
QSize SizeOf(const TIconShape& e) { return e.Size; }

// Each image of the directory that readImage(entry, its length in the file) gives, in the directory's
// order: images it raises for are left out, and the images together stay within the pixel limit (a
// directory may point many times at one image). Raises with the reason the first image failed when
// none can be read.
template <class Entry, class ReadImage>
QVector<Entry> ReadImages(const TDirectory& dir, qint64 size, ReadImage readImage) {
    QVector<Entry> entries;
    QString firstError;
    qint64 budget = PixelLimit();
    for (int i = 0; i < dir.Entries.size() && budget > 0; ++i) {
        const TDirEntry& e = dir.Entries[i];
        try {
            if (e.Offset < dir.End || e.Offset >= quint64(size) || e.Bytes == 0)
                throw EInvalidGraphic(QStringLiteral("Invalid offset or size of image %1").arg(i + 1));
            // An image cut short by the end of the file gives what it holds.
            Entry entry = readImage(e, std::min<qint64>(e.Bytes, size - qint64(e.Offset)));
            budget -= qint64(SizeOf(entry).width()) * SizeOf(entry).height();
            entries.append(std::move(entry));
        } catch (const Exception& ex) {
            if (firstError.isEmpty()) firstError = ex.Message();
        }
    }
    if (entries.isEmpty()) throw EInvalidGraphic(firstError);
    return entries;
}

// Index of the entry to show: the largest area, then the deepest; the first of equals.
template <class Entry>
int Largest(const QVector<Entry>& entries) {
    int best = -1;
    qint64 bestArea = -1;
    int bestBits = -1;
    for (int i = 0; i < entries.size(); ++i) {
        const qint64 area = qint64(SizeOf(entries[i]).width()) * SizeOf(entries[i]).height();
        if (area > bestArea || (area == bestArea && entries[i].BitCount > bestBits)) {
            best = i;
            bestArea = area;
            bestBits = entries[i].BitCount;
        }
    }
    return best;
}

} // namespace

QVector<TIconEntry> ReadIconFile(const QByteArray& data, quint16 type, bool* cut) {
    if (cut) *cut = false;
    const TDirectory dir = ReadDirectory(data, data.size(), type);
    // Data that ends before the images the directory lists end was cut short.
    if (cut) *cut = dir.DeclaredEnd > data.size();
    return ReadImages<TIconEntry>(dir, data.size(), [&data](const TDirEntry& e, qint64 length) {
        TIconEntry entry;
        entry.Field1 = e.Field1;
        entry.Field2 = e.Field2;
        const uchar* p = reinterpret_cast<const uchar*>(data.constData()) + e.Offset;
        if (length >= 8 && std::memcmp(p, kPngSignature, 8) == 0) {
            entry.Image = DecodePng(QByteArray(reinterpret_cast<const char*>(p), length), &entry.BitCount, &entry.Truncated);
            entry.Png = true;
        } else {
            TDibInfo info;
            entry.Image = DecodeDib(p, length, 0, 0, EntryOptions(e), &info);
            entry.BitCount = info.BitCount;
            entry.Truncated = info.Truncated;
        }
        return entry;
    });
}

int LargestIconEntry(const QVector<TIconEntry>& entries) { return Largest(entries); }

std::optional<QSize> ProbeIconFile(const TBlockReader& read, qint64 size, quint16 type) {
    const QByteArray count = read(0, kDirHeaderSize);
    const qint64 images = count.size() == kDirHeaderSize ? (uchar(count[4]) | (uchar(count[5]) << 8)) : 0;
    const TDirectory dir = ReadDirectory(read(0, kDirHeaderSize + images * kDirEntrySize), size, type);
    bool known = true;
    const QVector<TIconShape> shapes = ReadImages<TIconShape>(dir, size, [&](const TDirEntry& e, qint64 length) {
        const QByteArray head = read(e.Offset, std::min<qint64>(length, 26));
        TIconShape shape;
        if (length >= 8 && std::memcmp(head.constData(), kPngSignature, 8) == 0) {
            // The PNG class decodes at the size of the header, but one cut short may give nothing at all.
            shape.BitCount = PngHeader(head, length, &shape.Size);
            if (length < qint64(e.Bytes)) known = false;
            return shape;
        }
        const TBlockReader image = [&read, &e, length](qint64 pos, qint64 n) {
            return pos < 0 || pos >= length ? QByteArray() : read(e.Offset + pos, std::min(n, length - pos));
        };
        const std::optional<TDibShape> dib = ProbeDib(image, length, 0, 0, EntryOptions(e));
        if (!dib) {
            known = false;
            return shape;
        }
        shape.Size = QSize(dib->Width, dib->Height);
        shape.BitCount = dib->BitCount;
        return shape;
    });
    if (!known) return std::nullopt;
    return SizeOf(shapes[Largest(shapes)]);
}

bool TIcon::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    qint64 size = 0;
    const TBlockReader read = StreamBlock(stream, size);
    if (!read) return false;
    const std::optional<QSize> shown = ProbeIconFile(read, size, 1);
    if (!shown) return false;
    info.Width = shown->width();
    info.Height = shown->height();
    info.Frames = 1;
    return true;
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
