#include "codec/Headers.h"

#include "codec/PixelLimit.h"
#include "codec/Stream.h"

#include <QIODevice>
#include <QRect>
#include <QSize>

#include <cstring>

int ExifOrientation(const uchar* data, qint64 size) {
    try {
        TByteReader r(data, size);
        if (std::memcmp(r.Take(6), "Exif\0\0", 6) != 0) return 1;
        TByteReader tiff(data + 6, size - 6);
        const quint16 order = tiff.U16LE();
        const bool le = order == 0x4949;
        if (!le && order != 0x4D4D) return 1;
        auto u16 = [&] { return le ? tiff.U16LE() : tiff.U16BE(); };
        auto u32 = [&] { return le ? tiff.U32LE() : tiff.U32BE(); };
        if (u16() != 42) return 1;
        tiff.Seek(u32());
        const int count = u16();
        for (int i = 0; i < count; ++i) {
            const quint16 tag = u16();
            const quint16 type = u16();
            const quint32 n = u32();
            const quint16 value = u16();
            tiff.Skip(2);
            if (tag == 0x0112 && type == 3 && n == 1) return value >= 1 && value <= 8 ? value : 1;
        }
    } catch (const EReadError&) {
    }
    return 1;
}

bool ReadJpegHeader(QIODevice& stream, TGraphicInfo& info) {
    // The markers up to the first scan, as the decoder reads them: the frame header gives the size and
    // the first Exif block the orientation.
    const auto next = [&stream]() -> uchar {
        char c;
        if (!stream.getChar(&c)) throw EInvalidGraphic(QStringLiteral("Premature end of JPEG file"));
        return uchar(c);
    };
    const uchar b0 = next(), b1 = next();
    if (b0 != 0xFF || b1 != 0xD8)
        throw EInvalidGraphic(QStringLiteral("Not a JPEG file: starts with 0x%1 0x%2")
                                  .arg(b0, 2, 16, QLatin1Char('0'))
                                  .arg(b1, 2, 16, QLatin1Char('0')));
    QSize size;
    int orientation = 1;
    for (;;) {
        uchar marker = next();
        while (marker != 0xFF) marker = next(); // bytes between segments are skipped, as the decoder does
        do marker = next();
        while (marker == 0xFF);
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue; // no length
        if (marker == 0xD9) return false;                                 // no scan: the decoder says why
        if (marker == 0xDA) break;
        const int length = (next() << 8) | next();
        if (length < 2) return false;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && !size.isValid()) {
            if (length < 7) return false;
            next(); // precision
            const int height = (next() << 8) | next();
            const int width = (next() << 8) | next();
            if (height == 0 || width == 0) return false; // height in a DNL marker, or nonsense
            size = QSize(width, height);
            if (!stream.seek(stream.pos() + length - 7)) return false;
        } else if (marker == 0xE1 && orientation == 1) {
            const QByteArray data = stream.read(length - 2);
            if (data.size() != length - 2) throw EInvalidGraphic(QStringLiteral("Premature end of JPEG file"));
            orientation = ExifOrientation(reinterpret_cast<const uchar*>(data.constData()), data.size());
        } else if (!stream.seek(stream.pos() + length - 2)) {
            return false;
        }
    }
    if (!size.isValid()) return false;
    CheckPictureSize(size.width(), size.height());
    if (orientation >= 5) size.transpose();
    info.Width = size.width();
    info.Height = size.height();
    info.Frames = 1;
    return true;
}

bool ReadPngHeader(QIODevice& stream, TGraphicInfo& info) {
    const QByteArray head = stream.read(24);
    if (head.size() < 24 || !head.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8)) || head.mid(12, 4) != "IHDR") return false;
    TByteReader r(head);
    r.Skip(16);
    const quint32 width = r.U32BE(), height = r.U32BE();
    if (width == 0 || height == 0 || width > 0x7fffffff || height > 0x7fffffff) return false;
    CheckPictureSize(width, height);
    info.Width = int(width);
    info.Height = int(height);
    info.Frames = 1;
    return true;
}

bool ReadGifHeader(QIODevice& stream, TGraphicInfo& info) {
    QByteArray data = stream.read(13);
    if (data.size() < 13 || (!data.startsWith("GIF87a") && !data.startsWith("GIF89a"))) return false;
    const auto u16 = [](const char* p) { return int(uchar(p[0]) | (uchar(p[1]) << 8)); };
    int screenW = u16(data.constData() + 6), screenH = u16(data.constData() + 8);
    const uchar flags = uchar(data[10]);
    const auto skip = [&stream](qint64 n) { return stream.seek(stream.pos() + n) && stream.pos() <= stream.size(); };
    if ((flags & 0x80) && !skip(3 * (qint64(2) << (flags & 7)))) return false;
    // Data sub-blocks up to their terminator; false when the file ends first.
    const auto skipBlocks = [&stream]() {
        for (;;) {
            char len;
            if (!stream.getChar(&len)) return false;
            if (len == 0) return true;
            if (!stream.seek(stream.pos() + uchar(len)) || stream.pos() > stream.size()) return false;
        }
    };
    int frames = 0;
    qint64 storedPixels = 0;
    bool screenKnown = false;
    for (;;) {
        char record;
        if (!stream.getChar(&record)) return false;
        if (record == 0x3B) break;
        if (record == 0x21) {
            if (!skip(1) || !skipBlocks()) return false;
        } else if (record == 0x2C) {
            const QByteArray desc = stream.read(9);
            if (desc.size() < 9) return false;
            const int left = u16(desc.constData()), top = u16(desc.constData() + 2);
            const int width = u16(desc.constData() + 4), height = u16(desc.constData() + 6);
            if (!screenKnown) {
                if (screenW <= 0 || screenH <= 0) {
                    screenW = std::max(1, left + width);
                    screenH = std::max(1, top + height);
                }
                CheckPictureSize(screenW, screenH);
                screenKnown = true;
            }
            const QRect clip = QRect(left, top, width, height).intersected(QRect(0, 0, screenW, screenH));
            storedPixels += qint64(clip.width()) * clip.height();
            if (frames > 0 && storedPixels > PixelLimit()) break; // the decoder stops there too
            const uchar local = uchar(desc[8]);
            if ((local & 0x80) && !skip(3 * (qint64(2) << (local & 7)))) return false;
            if (!skip(1) || !skipBlocks()) return false; // code size, then the data
            if (width == 0 || height == 0) return false;
            ++frames;
        } else {
            return false;
        }
    }
    if (frames == 0) return false;
    info.Width = screenW;
    info.Height = screenH;
    info.Frames = frames;
    return true;
}
