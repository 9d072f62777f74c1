#include "codec/Tiff.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QBuffer>
#include <QColorSpace>
#include <QIODevice>
#include <QPainter>
#include <QTransform>

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

DEFINE_GRAPHIC_CLASS(TTiffGraphic)

namespace {

// ---------------------------------------------------------------------------------------------------------
// libtiff over a QIODevice. Offsets in a TIFF file count from its header, which is where the stream stood
// when the file was opened. Messages of libtiff are captured (never printed) and end up in exceptions.

struct TTiffClient {
    QIODevice* Device = nullptr;
    qint64 Base = 0;
    QString Error; // first error since the last reset
    bool ShortRead = false; // libtiff asked for bytes past the end of the file
};

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t size) {
    auto* c = static_cast<TTiffClient*>(h);
    if (size <= 0) return 0;
    const qint64 n = c->Device->read(static_cast<char*>(buf), size);
    if (n < size) c->ShortRead = true;
    return n < 0 ? tmsize_t(-1) : tmsize_t(n);
}

tmsize_t WriteProc(thandle_t h, void* buf, tmsize_t size) {
    auto* c = static_cast<TTiffClient*>(h);
    if (size <= 0) return 0;
    const qint64 n = c->Device->write(static_cast<const char*>(buf), size);
    return n < 0 ? tmsize_t(-1) : tmsize_t(n);
}

toff_t SeekProc(thandle_t h, toff_t off, int whence) {
    auto* c = static_cast<TTiffClient*>(h);
    qint64 target;
    switch (whence) {
    case SEEK_SET:
        if (off > toff_t(std::numeric_limits<qint64>::max() - c->Base)) return toff_t(-1);
        target = c->Base + qint64(off);
        break;
    case SEEK_CUR: target = c->Device->pos() + qint64(off); break;
    case SEEK_END: target = c->Device->size() + qint64(off); break;
    default: return toff_t(-1);
    }
    if (target < c->Base) return toff_t(-1);
    // A reader never needs to stand past the end; a writer may (the buffer grows with zeros).
    if (!c->Device->isWritable() && target > c->Device->size()) return toff_t(-1);
    if (!c->Device->seek(target)) return toff_t(-1);
    return toff_t(target - c->Base);
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) {
    auto* c = static_cast<TTiffClient*>(h);
    return toff_t(std::max<qint64>(0, c->Device->size() - c->Base));
}
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

int ErrorHandler(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
    auto* c = static_cast<TTiffClient*>(user);
    if (c && c->Error.isEmpty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, fmt, ap);
        c->Error = QString::fromLocal8Bit(text);
    }
    return 1; // handled: nothing reaches stderr
}

int WarningHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// An open TIFF over a device; closes it when it goes out of scope.
class TTiffFile {
public:
    TTiffFile(QIODevice& device, const char* mode) {
        FClient.Device = &device;
        FClient.Base = device.pos();
        TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(opts, ErrorHandler, &FClient);
        TIFFOpenOptionsSetWarningHandlerExtR(opts, WarningHandler, &FClient);
        // No single allocation of libtiff may exceed what the largest allowed picture needs.
        TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(std::min<qint64>(PixelLimit() * 8 + (64 << 20),
                                                                             std::numeric_limits<tmsize_t>::max())));
        FTif = TIFFClientOpenExt("TIFF", mode, &FClient, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                                 MapProc, UnmapProc, opts);
        TIFFOpenOptionsFree(opts);
        if (!FTif) {
            if (*mode == 'r') Fail(QStringLiteral("Not a valid TIFF file"));
            throw EWriteError(QStringLiteral("Cannot create the TIFF file: %1").arg(FClient.Error));
        }
    }
    ~TTiffFile() {
        if (FTif) TIFFClose(FTif);
    }
    TTiffFile(const TTiffFile&) = delete;
    TTiffFile& operator=(const TTiffFile&) = delete;

    TIFF* Tif() const { return FTif; }
    const QString& Error() const { return FClient.Error; }
    // Whether the file ended before something libtiff read (pixels, or a tag such as the profile).
    bool ShortRead() const { return FClient.ShortRead; }
    // Up to `count` bytes at a file offset, fewer where the file ends.
    QByteArray ReadAt(quint64 offset, qint64 count) const {
        QIODevice* d = FClient.Device;
        const qint64 at = FClient.Base + qint64(std::min<quint64>(offset, quint64(std::numeric_limits<qint32>::max())));
        if (count <= 0 || at >= d->size() || !d->seek(at)) return QByteArray();
        return d->read(std::min(count, d->size() - at));
    }
    void ResetError() { FClient.Error.clear(); }
    // Raises EInvalidGraphic with what libtiff said, if anything.
    [[noreturn]] void Fail(const QString& what) const {
        if (FClient.Error.isEmpty()) throw EInvalidGraphic(what);
        throw EInvalidGraphic(QStringLiteral("%1: %2").arg(what, FClient.Error));
    }
    [[noreturn]] void FailWrite() const {
        throw EWriteError(QStringLiteral("Cannot write the TIFF file: %1")
                              .arg(FClient.Error.isEmpty() ? QStringLiteral("write error") : FClient.Error));
    }
    // Closes explicitly (a writer wants to know whether the final flush worked).
    bool Close() {
        if (!FTif) return true;
        const bool ok = TIFFFlush(FTif) == 1;
        TIFFClose(FTif);
        FTif = nullptr;
        return ok && FClient.Error.isEmpty();
    }

private:
    TTiffClient FClient;
    TIFF* FTif = nullptr;
};

// libtiff needs random access; a sequential stream is read into memory first.
struct TRandomAccess {
    explicit TRandomAccess(QIODevice& stream) {
        if (!stream.isSequential()) {
            Device = &stream;
            return;
        }
        FData = stream.readAll();
        FBuffer.setBuffer(&FData);
        FBuffer.open(QIODevice::ReadOnly);
        Device = &FBuffer;
    }
    QIODevice* Device = nullptr;

private:
    QByteArray FData;
    QBuffer FBuffer;
};

// ---------------------------------------------------------------------------------------------------------
// Decoding one directory.

enum class TColourKind { Grey, Palette, Rgb, Cmyk };
enum class TAlpha { None, Associated, Unassociated };

struct TLayout {
    quint32 Width = 0, Height = 0;
    quint16 Bps = 1, Spp = 1, Photometric = PHOTOMETRIC_MINISBLACK, Planar = PLANARCONFIG_CONTIG;
    TColourKind Kind = TColourKind::Grey;
    int Channels = 1; // colour channels before any extra samples
    TAlpha Alpha = TAlpha::None;
    bool Invert = false; // min-is-white
    quint16 Compression = COMPRESSION_NONE, FillOrder = FILLORDER_MSB2LSB;
    bool Float = false; // 32-bit IEEE samples
};

// One sample of `bps` bits (1..16) at sample index `i` of a row; 16-bit samples are in native order.
inline quint32 Sample(const uchar* row, qint64 i, int bps) {
    if (bps == 8) return row[i];
    if (bps == 16) return reinterpret_cast<const quint16*>(row)[i];
    const qint64 bit = i * bps;
    const uchar* p = row + (bit >> 3);
    const quint32 v = (quint32(p[0]) << 16) | (quint32(p[1]) << 8) | quint32(p[2]);
    return (v >> (24 - bps - int(bit & 7))) & ((1u << bps) - 1);
}

inline quint32 Scale(quint32 v, quint32 maxIn, quint32 maxOut) {
    return maxIn == maxOut ? v : quint32((quint64(v) * maxOut + maxIn / 2) / maxIn);
}

QImage ApplyOrientation(const QImage& image, int orientation) {
    switch (orientation) {
    case ORIENTATION_TOPRIGHT: return image.mirrored(true, false);
    case ORIENTATION_BOTRIGHT: return image.mirrored(true, true);
    case ORIENTATION_BOTLEFT: return image.mirrored(false, true);
    case ORIENTATION_LEFTTOP: return image.transformed(QTransform(0, 1, 1, 0, 0, 0));   // transpose
    case ORIENTATION_RIGHTTOP: return image.transformed(QTransform().rotate(90));
    case ORIENTATION_RIGHTBOT: return image.transformed(QTransform(0, -1, -1, 0, 0, 0)); // transverse
    case ORIENTATION_LEFTBOT: return image.transformed(QTransform().rotate(270));
    default: return image;
    }
}

// The decoder for the layouts read directly (everything but odd photometrics and sample formats).
class TDirectDecoder {
public:
    TDirectDecoder(TTiffFile& file, const TLayout& layout) : FFile(file), FTif(file.Tif()), L(layout) {}

    // Returns the picture; when the data ends early the rows that never arrived are white (transparent
    // with alpha) and Truncated() says so.
    QImage Decode(const std::function<void(int)>& progress);
    bool Truncated() const { return FTruncated; }

private:
    void PrepareImage();
    void ConvertRow(const std::vector<const uchar*>& planes, int y);

    TTiffFile& FFile;
    TIFF* FTif;
    const TLayout& L;
    QImage FImage;
    std::vector<QRgb> FColourMap;
    bool FTruncated = false;
};

void TDirectDecoder::PrepareImage() {
    const int w = int(L.Width), h = int(L.Height);
    const bool wide = L.Bps > 8;
    const bool alpha = L.Alpha != TAlpha::None;
    const bool assoc = L.Alpha == TAlpha::Associated;
    switch (L.Kind) {
    case TColourKind::Grey:
        if (alpha)
            FImage = NewImage(w, h, wide ? (assoc ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBA64)
                                         : (assoc ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32));
        else if (L.Bps == 1 && (L.Spp == 1 || L.Planar == PLANARCONFIG_SEPARATE)) {
            // Packed bits straight from the file; a 1-bit grey with extra samples goes through bytes.
            FImage = NewImage(w, h, QImage::Format_Mono);
            FImage.setColorTable(L.Invert ? QVector<QRgb>{qRgb(255, 255, 255), qRgb(0, 0, 0)}
                                          : QVector<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)});
        } else
            FImage = NewImage(w, h, wide ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8);
        break;
    case TColourKind::Palette: {
        uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (!TIFFGetField(FTif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b)
            FFile.Fail(QStringLiteral("The TIFF palette picture has no colour map"));
        const quint32 n = 1u << L.Bps;
        // Some writers store 8-bit values in the 16-bit colour map; take them as they are.
        bool eight = true;
        for (quint32 i = 0; i < n && eight; ++i) eight = r[i] < 256 && g[i] < 256 && b[i] < 256;
        FColourMap.resize(n);
        for (quint32 i = 0; i < n; ++i)
            FColourMap[i] = eight ? qRgb(r[i], g[i], b[i])
                                  : qRgb((r[i] + 128) / 257, (g[i] + 128) / 257, (b[i] + 128) / 257);
        if (L.Bps <= 8) {
            FImage = NewImage(w, h, QImage::Format_Indexed8);
            FImage.setColorTable(QVector<QRgb>(FColourMap.begin(), FColourMap.end()));
        } else
            FImage = NewImage(w, h, QImage::Format_RGB32);
        break;
    }
    case TColourKind::Rgb:
    case TColourKind::Cmyk:
        if (wide)
            FImage = NewImage(w, h, !alpha ? QImage::Format_RGBX64
                                    : assoc ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBA64);
        else
            FImage = NewImage(w, h, !alpha ? QImage::Format_RGB32
                                    : assoc ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
        break;
    }
}

void TDirectDecoder::ConvertRow(const std::vector<const uchar*>& planes, int y) {
    const int w = int(L.Width);
    const int bps = L.Bps;
    const bool separate = planes.size() > 1;
    const int spp = L.Spp;
    // Floating-point samples (0..1) are read as 16-bit values.
    auto get = [&](int x, int c) -> quint32 {
        if (L.Float) {
            const float f = separate ? reinterpret_cast<const float*>(planes[size_t(c)])[x]
                                     : reinterpret_cast<const float*>(planes[0])[qint64(x) * spp + c];
            return f > 0.0f ? (f < 1.0f ? quint32(f * 65535.0f + 0.5f) : 65535u) : 0u; // NaN gives 0
        }
        return separate ? Sample(planes[size_t(c)], x, bps) : Sample(planes[0], qint64(x) * spp + c, bps);
    };
    const quint32 maxIn = L.Float ? 65535u : (1u << bps) - 1;
    const bool wide = bps > 8;
    const quint32 maxOut = wide ? 65535 : 255;
    const int a = L.Channels; // index of the alpha sample
    const bool alpha = L.Alpha != TAlpha::None;
    uchar* out = FImage.scanLine(y);

    switch (L.Kind) {
    case TColourKind::Grey:
        if (!alpha && bps == 1 && (separate || spp == 1)) {
            std::memcpy(out, planes[0], size_t((w + 7) / 8));
            return;
        }
        if (!alpha && bps == 8 && (separate || spp == 1)) {
            if (L.Invert)
                for (int x = 0; x < w; ++x) out[x] = uchar(255 - planes[0][x]);
            else
                std::memcpy(out, planes[0], size_t(w));
            return;
        }
        for (int x = 0; x < w; ++x) {
            quint32 v = Scale(get(x, 0), maxIn, maxOut);
            if (L.Invert) v = maxOut - v;
            if (!alpha) {
                if (wide)
                    reinterpret_cast<quint16*>(out)[x] = quint16(v);
                else
                    out[x] = uchar(v);
                continue;
            }
            const quint32 al = Scale(get(x, a), maxIn, maxOut);
            if (L.Alpha == TAlpha::Associated) v = std::min(v, al);
            if (wide)
                reinterpret_cast<QRgba64*>(out)[x] = QRgba64::fromRgba64(quint16(v), quint16(v), quint16(v), quint16(al));
            else
                reinterpret_cast<QRgb*>(out)[x] = qRgba(int(v), int(v), int(v), int(al));
        }
        return;
    case TColourKind::Palette:
        if (bps <= 8) {
            if (bps == 8 && (separate || spp == 1)) {
                std::memcpy(out, planes[0], size_t(w));
                return;
            }
            for (int x = 0; x < w; ++x) out[x] = uchar(get(x, 0));
        } else {
            for (int x = 0; x < w; ++x) reinterpret_cast<QRgb*>(out)[x] = FColourMap[get(x, 0)];
        }
        return;
    case TColourKind::Rgb:
        if (bps == 8 && !separate && L.Alpha != TAlpha::Associated) {
            const uchar* p = planes[0];
            QRgb* dst = reinterpret_cast<QRgb*>(out);
            if (alpha && spp == 4)
                for (int x = 0; x < w; ++x, p += 4) dst[x] = qRgba(p[0], p[1], p[2], p[3]);
            else if (alpha)
                for (int x = 0; x < w; ++x, p += spp) dst[x] = qRgba(p[0], p[1], p[2], p[a]);
            else if (spp == 3)
                for (int x = 0; x < w; ++x, p += 3) dst[x] = 0xFF000000u | (uint(p[0]) << 16) | (uint(p[1]) << 8) | p[2];
            else
                for (int x = 0; x < w; ++x, p += spp) dst[x] = qRgb(p[0], p[1], p[2]);
            return;
        }
        for (int x = 0; x < w; ++x) {
            quint32 r = Scale(get(x, 0), maxIn, maxOut), g = Scale(get(x, 1), maxIn, maxOut),
                    b = Scale(get(x, 2), maxIn, maxOut), al = maxOut;
            if (alpha) {
                al = Scale(get(x, a), maxIn, maxOut);
                if (L.Alpha == TAlpha::Associated) r = std::min(r, al), g = std::min(g, al), b = std::min(b, al);
            }
            if (wide)
                reinterpret_cast<QRgba64*>(out)[x] = QRgba64::fromRgba64(quint16(r), quint16(g), quint16(b), quint16(al));
            else
                reinterpret_cast<QRgb*>(out)[x] = qRgba(int(r), int(g), int(b), int(al));
        }
        return;
    case TColourKind::Cmyk:
        for (int x = 0; x < w; ++x) {
            const quint64 c = Scale(get(x, 0), maxIn, maxOut), m = Scale(get(x, 1), maxIn, maxOut),
                          ye = Scale(get(x, 2), maxIn, maxOut), k = Scale(get(x, 3), maxIn, maxOut);
            const quint64 white = maxOut - k;
            const quint32 r = quint32((maxOut - c) * white / maxOut), g = quint32((maxOut - m) * white / maxOut),
                          b = quint32((maxOut - ye) * white / maxOut);
            const quint32 al = alpha ? Scale(get(x, a), maxIn, maxOut) : maxOut;
            if (wide)
                reinterpret_cast<QRgba64*>(out)[x] = QRgba64::fromRgba64(quint16(r), quint16(g), quint16(b), quint16(al));
            else
                reinterpret_cast<QRgb*>(out)[x] = qRgba(int(r), int(g), int(b), int(al));
        }
        return;
    }
}

QImage TDirectDecoder::Decode(const std::function<void(int)>& progress) {
    const bool separate = L.Planar == PLANARCONFIG_SEPARATE && L.Spp > 1;
    const int planes = separate ? L.Spp : 1;
    const qint64 bitsPerPixel = qint64(separate ? 1 : L.Spp) * L.Bps;
    const qint64 rowBytes = (qint64(L.Width) * bitsPerPixel + 7) / 8;
    const bool tiled = TIFFIsTiled(FTif);
    quint32 tileW = 0, tileH = 0, bandRows;
    if (tiled) {
        TIFFGetField(FTif, TIFFTAG_TILEWIDTH, &tileW);
        TIFFGetField(FTif, TIFFTAG_TILELENGTH, &tileH);
        if (tileW == 0 || tileH == 0 || qint64(tileW) * tileH > PixelLimit() || (qint64(tileW) * bitsPerPixel) % 8)
            throw EInvalidGraphic(QStringLiteral("The TIFF tile size %1 x %2 is not valid").arg(tileW).arg(tileH));
        bandRows = tileH;
    } else {
        quint32 rps = 0;
        TIFFGetFieldDefaulted(FTif, TIFFTAG_ROWSPERSTRIP, &rps);
        bandRows = rps == 0 ? L.Height : rps;
    }
    bandRows = std::min(bandRows, L.Height);
    // Many extra samples make a small picture large: the raw data may not exceed what the largest
    // picture allowed needs at 16-bit RGBA.
    if (qint64(planes) * rowBytes > PixelLimit() * 8 / std::max<qint64>(1, L.Height) + 64)
        throw EInvalidGraphic(QStringLiteral("The TIFF picture has too many samples (%1 per pixel)").arg(L.Spp));
    PrepareImage();

    // One band: `bandRows` rows of every plane, with a few bytes of slack for the bit reader.
    const qint64 planeBytes = qint64(bandRows) * rowBytes;
    std::vector<uchar> band(size_t(planeBytes * planes + 4), 0);
    std::vector<uchar> tile;
    qint64 tileRowBytes = 0;
    if (tiled) {
        tileRowBytes = (qint64(tileW) * bitsPerPixel + 7) / 8;
        if (tileRowBytes * tileH > PixelLimit() * 8 + 64)
            throw EInvalidGraphic(QStringLiteral("The TIFF picture has too many samples (%1 per pixel)").arg(L.Spp));
        tile.resize(size_t(tileRowBytes * tileH));
    }
    std::vector<const uchar*> rowPtrs(static_cast<size_t>(planes));

    quint32 y = 0;
    for (; y < L.Height;) {
        const quint32 rows = std::min(bandRows, L.Height - y);
        bool ok = true;
        for (int p = 0; p < planes && ok; ++p) {
            uchar* dst = band.data() + planeBytes * p;
            if (!tiled) {
                const tmsize_t want = tmsize_t(rows * rowBytes);
                const uint32_t strip = TIFFComputeStrip(FTif, y, tsample_t(p));
                const tmsize_t got = TIFFReadEncodedStrip(FTif, strip, dst, want);
                ok = got == want;
                if (!ok && planes == 1 && L.Compression == COMPRESSION_NONE) {
                    // Uncompressed data cut short: keep the complete rows that are there.
                    const QByteArray raw = FFile.ReadAt(TIFFGetStrileOffset(FTif, strip), want);
                    const quint32 complete = quint32(raw.size() / rowBytes);
                    if (complete > 0) {
                        std::memcpy(dst, raw.constData(), size_t(complete * rowBytes));
                        if (L.Bps == 16 && TIFFIsByteSwapped(FTif))
                            TIFFSwabArrayOfShort(reinterpret_cast<uint16_t*>(dst), tmsize_t(complete * rowBytes / 2));
                        if (L.Bps == 32 && TIFFIsByteSwapped(FTif))
                            TIFFSwabArrayOfLong(reinterpret_cast<uint32_t*>(dst), tmsize_t(complete * rowBytes / 4));
                        if (L.FillOrder == FILLORDER_LSB2MSB) TIFFReverseBits(dst, tmsize_t(complete * rowBytes));
                        for (quint32 r = 0; r < complete; ++r) {
                            rowPtrs[0] = dst + r * rowBytes;
                            ConvertRow(rowPtrs, int(y + r));
                        }
                        y += complete;
                    }
                }
                continue;
            }
            for (quint32 x = 0; x < L.Width && ok; x += tileW) {
                const tmsize_t got = TIFFReadEncodedTile(FTif, TIFFComputeTile(FTif, x, y, 0, tsample_t(p)), tile.data(),
                                                         tmsize_t(tile.size()));
                if (got < tmsize_t(tileRowBytes * rows)) {
                    ok = false;
                    break;
                }
                const qint64 offset = qint64(x) * bitsPerPixel / 8;
                const qint64 bytes = std::min(tileRowBytes, rowBytes - offset);
                for (quint32 r = 0; r < rows; ++r)
                    std::memcpy(dst + r * rowBytes + offset, tile.data() + r * tileRowBytes, size_t(bytes));
            }
        }
        if (!ok) break;
        for (quint32 r = 0; r < rows; ++r) {
            for (int p = 0; p < planes; ++p) rowPtrs[size_t(p)] = band.data() + planeBytes * p + r * rowBytes;
            ConvertRow(rowPtrs, int(y + r));
        }
        y += rows;
        progress(int(qint64(y) * 100 / L.Height));
    }
    if (y == 0) FFile.Fail(QStringLiteral("The TIFF picture data cannot be read"));
    if (y < L.Height) {
        FillMissingRows(FImage, int(y), int(L.Height - y));
        FTruncated = true;
    }
    return FImage;
}

// Odd layouts (YCbCr without JPEG, CIE L*a*b*, old-style JPEG, ...) through libtiff's RGBA reader.
QImage DecodeRgba(TTiffFile& file, const TLayout& L) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(file.Tif(), message))
        throw EInvalidGraphic(QStringLiteral("Unsupported TIFF picture: %1").arg(QString::fromLocal8Bit(message)));
    QImage image = NewImage(L.Width, L.Height, QImage::Format_RGBA8888_Premultiplied);
    const bool alpha = L.Spp > 3 || L.Alpha != TAlpha::None;
    // What the data does not reach shows the background.
    image.fill(alpha ? Qt::transparent : Qt::white);
    // The raster is 32-bit words with red in the low byte, which is RGBA byte order here.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the RGBA raster of libtiff is read as bytes");
    if (image.bytesPerLine() != qsizetype(L.Width) * 4) throw EInvalidGraphic(QStringLiteral("Unexpected row padding"));
    file.ResetError();
    // Reading stops at the first strip that fails: a file cut short keeps the strips before the cut.
    if (!TIFFReadRGBAImageOriented(file.Tif(), L.Width, L.Height, reinterpret_cast<uint32_t*>(image.bits()),
                                   ORIENTATION_TOPLEFT, 1) &&
        !file.Error().isEmpty() && !file.ShortRead())
        file.Fail(QStringLiteral("The TIFF picture data cannot be read"));
    return image.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
}

TLayout ReadLayout(TIFF* tif, bool* direct) {
    TLayout L;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &L.Width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &L.Height);
    quint16 sampleFormat = SAMPLEFORMAT_UINT, compression = COMPRESSION_NONE, inkSet = INKSET_CMYK;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &L.Bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &L.Spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &L.Planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &L.FillOrder);
    L.Compression = compression;
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkSet);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &L.Photometric))
        L.Photometric = L.Spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    quint16 extraCount = 0;
    quint16* extraTypes = nullptr;
    const bool hasExtra = TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraCount > 0 && extraTypes;

    // JPEG-compressed YCbCr comes out of libtiff as RGB when asked to.
    if (L.Photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG && L.Bps == 8 && L.Spp == 3) {
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        L.Photometric = PHOTOMETRIC_RGB;
    }
    *direct = false;
    L.Float = sampleFormat == SAMPLEFORMAT_IEEEFP && L.Bps == 32 && L.Photometric != PHOTOMETRIC_PALETTE;
    if (!L.Float && (L.Bps < 1 || L.Bps > 16 || (sampleFormat != SAMPLEFORMAT_UINT && sampleFormat != SAMPLEFORMAT_VOID)))
        return L;
    if (compression == COMPRESSION_OJPEG) return L;
    switch (L.Photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
        L.Kind = TColourKind::Grey;
        L.Channels = 1;
        L.Invert = L.Photometric == PHOTOMETRIC_MINISWHITE;
        break;
    case PHOTOMETRIC_PALETTE:
        L.Kind = TColourKind::Palette;
        L.Channels = 1;
        break;
    case PHOTOMETRIC_RGB:
        L.Kind = TColourKind::Rgb;
        L.Channels = 3;
        break;
    case PHOTOMETRIC_SEPARATED:
        if (inkSet != INKSET_CMYK) return L;
        L.Kind = TColourKind::Cmyk;
        L.Channels = 4;
        break;
    default: return L;
    }
    if (L.Spp < L.Channels) return L;
    if (L.Spp > L.Channels && L.Kind != TColourKind::Palette) {
        if (hasExtra) {
            if (extraTypes[0] == EXTRASAMPLE_ASSOCALPHA) L.Alpha = TAlpha::Associated;
            if (extraTypes[0] == EXTRASAMPLE_UNASSALPHA) L.Alpha = TAlpha::Unassociated;
        } else if (L.Kind == TColourKind::Rgb && L.Spp == 4) {
            L.Alpha = TAlpha::Associated; // a fourth sample without a description is taken as alpha
        }
    }
    *direct = true;
    return L;
}

QImage ApplyIccProfile(QImage image, TIFF* tif) {
    uint32_t size = 0;
    void* data = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_ICCPROFILE, &size, &data) || !data || size == 0 || size > (64u << 20)) return image;
    const QColorSpace space = QColorSpace::fromIccProfile(QByteArray(static_cast<const char*>(data), int(size)));
    if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb)) return image;
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16: return image; // a grey profile cannot be applied to these here
    default: break;
    }
    if (image.format() == QImage::Format_Indexed8) image = image.convertToFormat(QImage::Format_ARGB32);
    image.setColorSpace(space);
    image.convertToColorSpace(QColorSpace::SRgb);
    return image;
}

// ---------------------------------------------------------------------------------------------------------
// Encoding one directory.

enum class TOutKind { Bilevel, Palette, Grey8, Grey16, Rgb8, Rgba8, Rgb16, Rgba16 };

bool IsBlackAndWhite(const QImage& image) {
    if (image.format() != QImage::Format_Mono && image.format() != QImage::Format_MonoLSB) return false;
    if (image.colorCount() != 2) return false;
    const QRgb c0 = image.color(0) | 0xFF000000, c1 = image.color(1) | 0xFF000000;
    return (c0 == qRgb(0, 0, 0) && c1 == qRgb(255, 255, 255)) || (c0 == qRgb(255, 255, 255) && c1 == qRgb(0, 0, 0));
}

bool AllOpaque(const QImage& image) {
    if (!image.hasAlphaChannel()) return true;
    const QImage a = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            if (qAlpha(p[x]) != 255) return false;
    }
    return true;
}

bool IsCcitt(TTiffCompression c) {
    return c == TTiffCompression::Group3_1D || c == TTiffCompression::Group3_2D || c == TTiffCompression::Group4;
}

void WriteDirectory(TTiffFile& file, const QImage& source, TTiffCompression compression, int quality, int page,
                    int pageCount) {
    if (source.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    TIFF* tif = file.Tif();
    QImage img = source;
    TOutKind kind;
    if (IsCcitt(compression)) {
        // The fax codings hold black and white only; other pictures are reduced to it.
        if (!IsBlackAndWhite(img)) img = img.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::MonoOnly);
        kind = TOutKind::Bilevel;
    } else if (compression == TTiffCompression::Jpeg) {
        if (!AllOpaque(img)) {
            QImage flat(img.size(), QImage::Format_RGB32);
            flat.fill(Qt::white);
            QPainter(&flat).drawImage(0, 0, img);
            img = flat;
        }
        kind = img.isGrayscale() ? TOutKind::Grey8 : TOutKind::Rgb8;
    } else {
        switch (img.format()) {
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB: kind = IsBlackAndWhite(img) ? TOutKind::Bilevel : TOutKind::Palette; break;
        case QImage::Format_Indexed8: kind = TOutKind::Palette; break;
        case QImage::Format_Grayscale8: kind = TOutKind::Grey8; break;
        case QImage::Format_Grayscale16: kind = TOutKind::Grey16; break;
        default:
            if (img.depth() == 64)
                kind = AllOpaque(img) ? TOutKind::Rgb16 : TOutKind::Rgba16;
            else
                kind = AllOpaque(img) ? TOutKind::Rgb8 : TOutKind::Rgba8;
        }
        if (kind == TOutKind::Palette) {
            bool opaque = true;
            for (QRgb c : img.colorTable()) opaque = opaque && qAlpha(c) == 255;
            if (!opaque) kind = TOutKind::Rgba8;
        }
    }
    switch (kind) {
    case TOutKind::Bilevel: img = img.convertToFormat(QImage::Format_Mono); break;
    case TOutKind::Palette: img = img.convertToFormat(QImage::Format_Indexed8); break;
    case TOutKind::Grey8: img = img.convertToFormat(QImage::Format_Grayscale8); break;
    case TOutKind::Grey16: break;
    case TOutKind::Rgb8: img = img.convertToFormat(QImage::Format_RGB888); break;
    case TOutKind::Rgba8: img = img.convertToFormat(QImage::Format_RGBA8888); break;
    case TOutKind::Rgb16: img = img.convertToFormat(QImage::Format_RGBX64); break;
    case TOutKind::Rgba16: img = img.convertToFormat(QImage::Format_RGBA64); break;
    }

    const quint32 w = quint32(img.width()), h = quint32(img.height());
    quint16 bps = 8, spp = 1, photometric = PHOTOMETRIC_MINISBLACK;
    switch (kind) {
    case TOutKind::Bilevel: bps = 1, photometric = PHOTOMETRIC_MINISWHITE; break;
    case TOutKind::Palette: photometric = PHOTOMETRIC_PALETTE; break;
    case TOutKind::Grey8: break;
    case TOutKind::Grey16: bps = 16; break;
    case TOutKind::Rgb8: spp = 3, photometric = PHOTOMETRIC_RGB; break;
    case TOutKind::Rgba8: spp = 4, photometric = PHOTOMETRIC_RGB; break;
    case TOutKind::Rgb16: bps = 16, spp = 3, photometric = PHOTOMETRIC_RGB; break;
    case TOutKind::Rgba16: bps = 16, spp = 4, photometric = PHOTOMETRIC_RGB; break;
    }
    quint16 tiffCompression = COMPRESSION_NONE;
    switch (compression) {
    case TTiffCompression::None: break;
    case TTiffCompression::PackBits: tiffCompression = COMPRESSION_PACKBITS; break;
    case TTiffCompression::Group3_1D:
    case TTiffCompression::Group3_2D: tiffCompression = COMPRESSION_CCITTFAX3; break;
    case TTiffCompression::Group4: tiffCompression = COMPRESSION_CCITTFAX4; break;
    case TTiffCompression::Deflate: tiffCompression = COMPRESSION_ADOBE_DEFLATE; break;
    case TTiffCompression::Jpeg: tiffCompression = COMPRESSION_JPEG; break;
    case TTiffCompression::Lzw: tiffCompression = COMPRESSION_LZW; break;
    }
    const bool ycbcr = compression == TTiffCompression::Jpeg && spp == 3;

    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bps);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, tiffCompression);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, ycbcr ? PHOTOMETRIC_YCBCR : photometric);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 72.0);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 72.0);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (spp == 4) {
        const quint16 extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (pageCount > 1) {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, quint16(page), quint16(pageCount));
    }
    if (kind == TOutKind::Palette) {
        std::vector<quint16> r(256, 0), g(256, 0), b(256, 0);
        const QVector<QRgb> table = img.colorTable();
        for (int i = 0; i < table.size() && i < 256; ++i) {
            r[size_t(i)] = quint16(qRed(table[i]) * 257);
            g[size_t(i)] = quint16(qGreen(table[i]) * 257);
            b[size_t(i)] = quint16(qBlue(table[i]) * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    if ((compression == TTiffCompression::Lzw || compression == TTiffCompression::Deflate) &&
        kind != TOutKind::Bilevel && kind != TOutKind::Palette)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (compression == TTiffCompression::Group3_2D) TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING);
    if (compression == TTiffCompression::Jpeg) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, quality);
        if (ycbcr) TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));

    const bool invertBits = kind == TOutKind::Bilevel && (img.color(1) | 0xFF000000) != qRgb(0, 0, 0);
    const qint64 rowBytes = (qint64(w) * spp * bps + 7) / 8;
    std::vector<uchar> row(static_cast<size_t>(rowBytes));
    for (quint32 y = 0; y < h; ++y) {
        const uchar* line = img.constScanLine(int(y));
        if (kind == TOutKind::Rgb16) {
            auto* dst = reinterpret_cast<quint16*>(row.data());
            const auto* src = reinterpret_cast<const quint16*>(line);
            for (quint32 x = 0; x < w; ++x) dst[3 * x] = src[4 * x], dst[3 * x + 1] = src[4 * x + 1], dst[3 * x + 2] = src[4 * x + 2];
        } else {
            std::memcpy(row.data(), line, size_t(rowBytes));
            if (invertBits)
                for (auto& c : row) c = uchar(~c);
        }
        if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) file.FailWrite();
    }
    if (!TIFFWriteDirectory(tif)) file.FailWrite();
}

} // namespace

// -------------------------------------------------------------------------------------------------------------

int TTiffGraphic::GetPageCount(QIODevice& stream) {
    TStreamPositionKeeper keep(stream);
    TRandomAccess access(stream);
    TTiffFile file(*access.Device, "r");
    int count = 1;
    while (TIFFReadDirectory(file.Tif())) {
        if (++count > MaxPages)
            throw EInvalidGraphic(QStringLiteral("The TIFF file has more than %1 pages").arg(MaxPages));
    }
    return count;
}

bool TTiffGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    TRandomAccess access(stream);
    TTiffFile file(*access.Device, "r");
    TIFF* tif = file.Tif();
    const int page = PageIndex();
    if (page > MaxPages || (page > 1 && !TIFFSetDirectory(tif, tdir_t(page - 1))))
        throw EInvalidGraphic(QStringLiteral("The TIFF file has no page %1").arg(page));
    bool direct = false;
    const TLayout layout = ReadLayout(tif, &direct);
    CheckPictureSize(layout.Width, layout.Height);
    quint16 orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    // Only the direct decoder turns the page; the general one keeps the stored rows' layout.
    const bool turned = direct && orientation >= ORIENTATION_LEFTTOP && orientation <= ORIENTATION_LEFTBOT;
    info.Width = int(turned ? layout.Height : layout.Width);
    info.Height = int(turned ? layout.Width : layout.Height);
    info.Frames = 1;
    return true;
}

void TTiffGraphic::ReadPage(QIODevice& stream, int page) {
    TRandomAccess access(stream);
    TTiffFile file(*access.Device, "r");
    TIFF* tif = file.Tif();
    if (page < 1) page = 1;
    if (page > MaxPages) throw EInvalidGraphic(QStringLiteral("The TIFF file has no page %1").arg(page));
    if (page > 1 && !TIFFSetDirectory(tif, tdir_t(page - 1)))
        throw EInvalidGraphic(QStringLiteral("The TIFF file has no page %1").arg(page));
    file.ResetError();

    bool direct = false;
    const TLayout layout = ReadLayout(tif, &direct);
    CheckPictureSize(layout.Width, layout.Height);
    Progress(TProgressStage::psStarting, 0);
    QImage image;
    if (direct) {
        TDirectDecoder decoder(file, layout);
        image = decoder.Decode([this](int percent) { Progress(TProgressStage::psRunning, quint8(percent)); });
        SetTruncated(decoder.Truncated());
        quint16 orientation = ORIENTATION_TOPLEFT;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
        image = ApplyOrientation(image, orientation);
    } else {
        image = DecodeRgba(file, layout);
    }
    image = ApplyIccProfile(std::move(image), tif);
    if (file.ShortRead()) SetTruncated(true);
    Progress(TProgressStage::psEnding, 100);
    FImage = std::move(image);
}

void TTiffGraphic::SaveToStream(QIODevice& stream) const { WriteMultiple(stream, {this}); }

void TTiffGraphic::WriteMultiple(QIODevice& stream, const QVector<const TDibGraphic*>& pages) const {
    if (pages.isEmpty()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    // libtiff reads back what it wrote while linking directories: build the file in memory.
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadWrite);
        TTiffFile file(buffer, "w");
        for (int i = 0; i < pages.size(); ++i)
            WriteDirectory(file, pages[i] ? pages[i]->Image() : QImage(), FCompression, FJpegQuality, i, int(pages.size()));
        if (!file.Close()) file.FailWrite();
    }
    WriteBytes(stream, bytes);
}

bool TTiffGraphic::SetSaveOption(const QString& key, const QString& value) {
    if (key == QLatin1String("compression")) {
        const QString v = value.toLower();
        bool numeric = false;
        const int n = v.toInt(&numeric);
        if (numeric && n >= 0 && n <= int(TTiffCompression::Lzw))
            FCompression = TTiffCompression(n);
        else if (v == QLatin1String("none") || v == QLatin1String("uncompressed"))
            FCompression = TTiffCompression::None;
        else if (v == QLatin1String("packbits"))
            FCompression = TTiffCompression::PackBits;
        else if (v == QLatin1String("lzw"))
            FCompression = TTiffCompression::Lzw;
        else if (v == QLatin1String("deflate") || v == QLatin1String("zlib") || v == QLatin1String("zip"))
            FCompression = TTiffCompression::Deflate;
        else if (v == QLatin1String("jpeg"))
            FCompression = TTiffCompression::Jpeg;
        else if (v == QLatin1String("g3") || v == QLatin1String("g3-1d") || v == QLatin1String("group3.1"))
            FCompression = TTiffCompression::Group3_1D;
        else if (v == QLatin1String("g3-2d") || v == QLatin1String("group3.2"))
            FCompression = TTiffCompression::Group3_2D;
        else if (v == QLatin1String("g4") || v == QLatin1String("group4"))
            FCompression = TTiffCompression::Group4;
        else
            throw EInvalidGraphicOperation(QStringLiteral("Unknown TIFF compression '%1'").arg(value));
        return true;
    }
    if (key == QLatin1String("quality")) {
        bool ok = false;
        const int q = value.toInt(&ok);
        if (!ok || q < 1 || q > 100)
            throw EInvalidGraphicOperation(QStringLiteral("The JPEG quality must be 1..100, not '%1'").arg(value));
        FJpegQuality = q;
        return true;
    }
    return false;
}
