#include "codec/Psd.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

DEFINE_CONTENT_GRAPHIC_CLASS(TPSDGraphic)

namespace {

enum TPsdMode { pmBitmap = 0, pmGrey = 1, pmIndexed = 2, pmRgb = 3, pmCmyk = 4, pmMultichannel = 7, pmDuotone = 8, pmLab = 9 };

[[noreturn]] void Invalid(const QString& what) { throw EInvalidGraphic(what); }

// PackBits: n in 0..127 copies n+1 bytes, -127..-1 repeats the next byte 1-n times, -128 is skipped.
// Fills out[0, count) from p[0, length); returns false when the data ends first.
bool UnpackBits(const uchar* p, qint64 length, uchar* out, qint64 count) {
    const uchar* end = p + length;
    qint64 i = 0;
    while (i < count) {
        if (p >= end) return false;
        const int n = qint8(*p++);
        if (n >= 0) {
            const qint64 k = std::min<qint64>(n + 1, count - i);
            if (end - p < k) return false;
            std::memcpy(out + i, p, size_t(k));
            p += n + 1 <= end - p ? n + 1 : end - p;
            i += k;
        } else if (n != -128) {
            if (p >= end) return false;
            const qint64 k = std::min<qint64>(1 - n, count - i);
            std::memset(out + i, *p++, size_t(k));
            i += k;
        }
    }
    return true;
}

inline uchar Clamp8(double v) { return uchar(v <= 0 ? 0 : v >= 255 ? 255 : int(v + 0.5)); }

double LabF(double t) { return t > 6.0 / 29 ? t * t * t : 3 * (6.0 / 29) * (6.0 / 29) * (t - 4.0 / 29); }
double Encode(double c) { return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055; }

// CIE L*a*b* (D50, as Photoshop stores it) to sRGB.
QRgb LabToRgb(uchar l8, uchar a8, uchar b8) {
    const double L = l8 * 100.0 / 255, a = a8 - 128.0, b = b8 - 128.0;
    const double fy = (L + 16) / 116, fx = fy + a / 500, fz = fy - b / 200;
    const double X = 0.9642 * LabF(fx), Y = LabF(fy), Z = 0.8251 * LabF(fz);
    const double r = 3.1338561 * X - 1.6168667 * Y - 0.4906146 * Z;
    const double g = -0.9787684 * X + 1.9161415 * Y + 0.0334540 * Z;
    const double bl = 0.0719453 * X - 0.2289914 * Y + 1.4052427 * Z;
    auto c = [](double v) { return Clamp8(255 * Encode(std::clamp(v, 0.0, 1.0))); };
    return qRgb(c(r), c(g), c(bl));
}

} // namespace

bool TPSDGraphic::AcceptsContent(QIODevice& stream) {
    const QByteArray head = PeekBytes(stream, 6);
    return head.size() == 6 && head.startsWith("8BPS") && head[4] == 0 && (head[5] == 1 || head[5] == 2);
}

bool TPSDGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    const QByteArray head = stream.read(26);
    if (head.size() < 26 || !head.startsWith("8BPS")) return false; // the decoder says what is wrong
    TByteReader r(head);
    r.Skip(4);
    const int version = r.U16BE();
    r.Skip(6 + 2);
    const qint64 height = r.U32BE(), width = r.U32BE();
    if ((version != 1 && version != 2) || width < 1 || height < 1) return false;
    if (version == 1 ? (width > 30000 || height > 30000) : (width > 300000 || height > 300000)) return false;
    CheckPictureSize(width, height);
    info.Width = int(width);
    info.Height = int(height);
    info.Frames = 1;
    return true;
}

void TPSDGraphic::ReadPage(QIODevice& stream, int) {
    const QByteArray bytes = ReadRemaining(stream);
    const uchar* data = reinterpret_cast<const uchar*>(bytes.constData());
    const qint64 size = bytes.size();
    TByteReader r(data, size);
    int version, channels, depth, mode, compression;
    qint64 width, height;
    QVector<QRgb> palette;
    try {
        if (size < 4 || std::memcmp(data, "8BPS", 4) != 0) Invalid(QStringLiteral("Not a Photoshop file"));
        r.Skip(4);
        version = r.U16BE();
        if (version != 1 && version != 2) Invalid(QStringLiteral("Unsupported Photoshop file version %1").arg(version));
        r.Skip(6);
        channels = r.U16BE();
        height = r.U32BE();
        width = r.U32BE();
        depth = r.U16BE();
        mode = r.U16BE();
        if (channels < 1 || channels > 56) Invalid(QStringLiteral("Invalid Photoshop channel count %1").arg(channels));
        if (depth != 1 && depth != 8 && depth != 16 && depth != 32) Invalid(QStringLiteral("Unsupported Photoshop depth %1").arg(depth));
        if (mode == pmBitmap && depth != 1) Invalid(QStringLiteral("Invalid Photoshop bitmap depth %1").arg(depth));
        if (mode != pmBitmap && depth == 1) Invalid(QStringLiteral("Invalid Photoshop depth 1 for mode %1").arg(mode));
        const qint64 modeLength = r.U32BE();
        if (modeLength > r.Remaining()) Invalid(QStringLiteral("The Photoshop colour data is incomplete"));
        if (mode == pmIndexed) {
            if (modeLength < 768) Invalid(QStringLiteral("The Photoshop file has no colour table"));
            const uchar* p = data + r.Pos();
            palette.resize(256);
            for (int i = 0; i < 256; ++i) palette[i] = qRgb(p[i], p[256 + i], p[512 + i]);
        }
        r.Skip(modeLength);
        r.Skip(r.U32BE()); // image resources
        const quint64 layers = version == 1 ? r.U32BE() : (quint64(r.U32BE()) << 32) | r.U32BE();
        if (layers > quint64(r.Remaining())) throw EReadError();
        r.Skip(qint64(layers));
        compression = r.U16BE();
    } catch (const EReadError&) {
        Invalid(QStringLiteral("The Photoshop file ends before its image data"));
    }
    int colourChannels;
    switch (mode) {
    case pmBitmap:
    case pmGrey:
    case pmIndexed:
    case pmDuotone:
    case pmMultichannel: colourChannels = 1; break;
    case pmRgb:
    case pmLab: colourChannels = 3; break;
    case pmCmyk: colourChannels = 4; break;
    default: Invalid(QStringLiteral("Unsupported Photoshop colour mode %1").arg(mode));
    }
    if (channels < colourChannels) Invalid(QStringLiteral("The Photoshop file has too few channels for its colour mode"));
    if (compression > 1) Invalid(QStringLiteral("Unsupported Photoshop compression %1").arg(compression));
    if (version == 1 ? (width > 30000 || height > 30000) : (width > 300000 || height > 300000))
        Invalid(QStringLiteral("Invalid Photoshop picture size %1 x %2").arg(width).arg(height));
    CheckPictureSize(width, height);

    const bool alpha = channels > colourChannels && mode != pmIndexed && mode != pmBitmap &&
                       mode != pmMultichannel;
    const int used = colourChannels + (alpha ? 1 : 0);
    const qint64 rowBytes = depth == 1 ? (width + 7) / 8 : width * (depth / 8);

    // Start and length of each row of each used channel, rows top first, channels one after the other.
    const qint64 planeRows = qint64(channels) * height;
    std::vector<qint64> start(size_t(used * height)), length(size_t(used * height));
    qint64 pos = r.Pos();
    if (compression == 0) {
        for (qint64 i = 0; i < used * height; ++i) {
            start[size_t(i)] = pos + i * rowBytes;
            length[size_t(i)] = rowBytes;
        }
    } else {
        const int countBytes = version == 1 ? 2 : 4;
        if (planeRows * countBytes > size - pos) Invalid(QStringLiteral("The Photoshop row table is incomplete"));
        TByteReader counts(data + pos, planeRows * countBytes);
        qint64 at = pos + planeRows * countBytes;
        for (qint64 i = 0; i < used * height; ++i) {
            const qint64 n = countBytes == 2 ? counts.U16BE() : counts.U32BE();
            start[size_t(i)] = at;
            length[size_t(i)] = n;
            at += n;
        }
    }
    // A row is shown when it is present in every used channel; a truncated file keeps its size, the rows
    // that never arrived showing the background.
    std::vector<char> present(size_t(height), 1);
    qint64 rows = 0;
    for (qint64 y = 0; y < height; ++y) {
        for (int c = 0; c < used && present[size_t(y)]; ++c) {
            const qint64 i = c * height + y;
            present[size_t(y)] = start[size_t(i)] <= size && length[size_t(i)] <= size - start[size_t(i)];
        }
        rows += present[size_t(y)];
    }
    if (rows == 0) Invalid(QStringLiteral("The Photoshop file holds no pixel data"));

    QImage::Format format;
    if (mode == pmBitmap)
        format = QImage::Format_Mono;
    else if (mode == pmIndexed)
        format = QImage::Format_Indexed8;
    else if (colourChannels == 1 && !alpha)
        format = QImage::Format_Grayscale8;
    else
        format = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    QImage image = NewImage(width, height, format);
    if (mode == pmBitmap) image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    if (mode == pmIndexed) image.setColorTable(palette);

    std::vector<uchar> raw(static_cast<size_t>(rowBytes));
    std::vector<uchar> plane(size_t(width) * used);
    for (qint64 y = 0; y < height; ++y) {
        if ((y & 63) == 0) Progress(TProgressStage::psRunning, quint8(y * 100 / height));
        if (!present[size_t(y)]) {
            FillMissingRows(image, int(y), 1);
            continue;
        }
        for (int c = 0; c < used; ++c) {
            const qint64 i = c * height + y;
            const uchar* src = data + start[size_t(i)];
            if (compression == 1) {
                // A damaged row keeps what it unpacked.
                std::fill(raw.begin(), raw.end(), uchar(0));
                UnpackBits(src, length[size_t(i)], raw.data(), rowBytes);
                src = raw.data();
            }
            uchar* out = plane.data() + size_t(c) * width;
            if (depth == 1 || depth == 8) {
                std::memcpy(depth == 1 ? image.scanLine(int(y)) : out, src, size_t(depth == 1 ? rowBytes : width));
            } else if (depth == 16) {
                for (qint64 x = 0; x < width; ++x) out[x] = uchar((((src[2 * x] << 8) | src[2 * x + 1]) * 255 + 32767) / 65535);
            } else {
                for (qint64 x = 0; x < width; ++x) {
                    const quint32 u = (quint32(src[4 * x]) << 24) | (src[4 * x + 1] << 16) | (src[4 * x + 2] << 8) | src[4 * x + 3];
                    float f;
                    std::memcpy(&f, &u, 4);
                    out[x] = std::isfinite(f) ? Clamp8(double(f) * 255) : 0;
                }
            }
        }
        if (mode == pmBitmap) continue;
        uchar* scan = image.scanLine(int(y));
        const uchar* c0 = plane.data();
        const uchar *c1 = c0 + width, *c2 = c1 + width, *c3 = c2 + width, *c4 = c3 + width;
        const uchar* a = c0 + width * colourChannels;
        QRgb* out = reinterpret_cast<QRgb*>(scan);
        if (format == QImage::Format_Indexed8 || format == QImage::Format_Grayscale8) {
            std::memcpy(scan, c0, size_t(width));
        } else if (colourChannels == 1) {
            for (qint64 x = 0; x < width; ++x) out[x] = qRgba(c0[x], c0[x], c0[x], a[x]);
        } else if (mode == pmRgb) {
            if (alpha)
                for (qint64 x = 0; x < width; ++x) out[x] = qRgba(c0[x], c1[x], c2[x], a[x]);
            else
                for (qint64 x = 0; x < width; ++x) out[x] = qRgb(c0[x], c1[x], c2[x]);
        } else if (mode == pmCmyk) {
            // Stored inverted: 255 is no ink.
            for (qint64 x = 0; x < width; ++x)
                out[x] = qRgba(c0[x] * c3[x] / 255, c1[x] * c3[x] / 255, c2[x] * c3[x] / 255, alpha ? c4[x] : 255);
        } else {
            for (qint64 x = 0; x < width; ++x) {
                const QRgb rgb = LabToRgb(c0[x], c1[x], c2[x]);
                out[x] = alpha ? qRgba(qRed(rgb), qGreen(rgb), qBlue(rgb), a[x]) : rgb;
            }
        }
    }
    SetTruncated(rows < height);
    FImage = std::move(image);
}
