#include "codec/PictureColour.h"

#include "codec/Graphic.h"

#include <QBuffer>
#include <QColorSpace>
#include <QTransform>

#include <algorithm>

void ConvertProfileToSrgb(QImage& image, const QByteArray& icc) {
    if (icc.isEmpty() || image.isNull()) return;
    const QColorSpace space = QColorSpace::fromIccProfile(icc);
    if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb)) return;
    image.setColorSpace(space);
    image.convertToColorSpace(QColorSpace::SRgb);
}

int ExifOrientation(const QByteArray& exif) {
    // Find the TIFF header: "II*\0" or "MM\0*" at the start, after "Exif\0\0", or after HEIF's offset.
    qsizetype base = -1;
    for (qsizetype start : {qsizetype(0), qsizetype(6), qsizetype(4), qsizetype(10)}) {
        if (exif.size() < start + 8) continue;
        const QByteArray head = exif.mid(start, 4);
        if (head == QByteArray("II*\0", 4) || head == QByteArray("MM\0*", 4)) {
            base = start;
            break;
        }
    }
    if (base < 0) {
        const qsizetype at = exif.indexOf(QByteArray("Exif\0\0", 6));
        if (at >= 0 && at + 14 <= exif.size()) base = at + 6;
        else return 1;
    }
    const bool little = exif[base] == 'I';
    auto u16 = [&](qsizetype pos) -> int {
        if (pos < 0 || pos + 2 > exif.size()) return -1;
        const int a = uchar(exif[pos]), b = uchar(exif[pos + 1]);
        return little ? a | (b << 8) : (a << 8) | b;
    };
    auto u32 = [&](qsizetype pos) -> qint64 {
        const int lo = u16(little ? pos : pos + 2), hi = u16(little ? pos + 2 : pos);
        if (lo < 0 || hi < 0) return -1;
        return qint64(lo) | (qint64(hi) << 16);
    };
    const qint64 ifd = u32(base + 4);
    if (ifd < 8) return 1;
    const qsizetype dir = base + qsizetype(ifd);
    const int count = u16(dir);
    if (count < 0) return 1;
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = dir + 2 + qsizetype(i) * 12;
        const int tag = u16(entry);
        if (tag < 0) return 1;
        if (tag == 0x0112) {
            const int value = u16(entry + 8);
            return value >= 1 && value <= 8 ? value : 1;
        }
    }
    return 1;
}

QImage ApplyOrientation(const QImage& image, int orientation) {
    if (orientation <= 1 || orientation > 8 || image.isNull()) return image;
    QImage out = image;
    // 2: mirror; 3: half turn; 4: flip; 5: transpose; 6: quarter turn clockwise; 7: transverse;
    // 8: quarter turn anticlockwise.
    switch (orientation) {
    case 2: return out.mirrored(true, false);
    case 3: return out.mirrored(true, true);
    case 4: return out.mirrored(false, true);
    case 5: return out.transformed(QTransform().rotate(90)).mirrored(true, false);
    case 6: return out.transformed(QTransform().rotate(90));
    case 7: return out.transformed(QTransform().rotate(270)).mirrored(true, false);
    case 8: return out.transformed(QTransform().rotate(270));
    }
    return out;
}

int ParseOptionNumber(const QString& key, const QString& value, int low, int high) {
    bool ok = false;
    const int n = value.trimmed().toInt(&ok);
    if (!ok || n < low || n > high)
        throw EInvalidGraphicOperation(
            QStringLiteral("The option %1 takes %2 to %3, not '%4'").arg(key).arg(low).arg(high).arg(value));
    return n;
}

bool ParseOptionFlag(const QString& key, const QString& value) {
    if (value == QLatin1String("1") || value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
    if (value == QLatin1String("0") || value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
    throw EInvalidGraphicOperation(QStringLiteral("The option %1 takes 0 or 1, not '%2'").arg(key, value));
}

void ConvertNclxToSrgb(QImage& image, int primaries, int transfer) {
    if (image.isNull()) return;
    QColorSpace::TransferFunction function = QColorSpace::TransferFunction::SRgb;
    float gamma = 0.0f;
    switch (transfer) {
    case 8: function = QColorSpace::TransferFunction::Linear; break;
    case 4: function = QColorSpace::TransferFunction::Gamma; gamma = 2.2f; break;
    case 5: function = QColorSpace::TransferFunction::Gamma; gamma = 2.8f; break;
    default: break;
    }
    const QPointF d65(0.3127, 0.3290);
    QColorSpace space;
    switch (primaries) {
    case 9: // BT.2020
        space = QColorSpace(d65, QPointF(0.708, 0.292), QPointF(0.170, 0.797), QPointF(0.131, 0.046), function, gamma);
        break;
    case 11: // DCI-P3 (its own white)
        space = QColorSpace(QPointF(0.314, 0.351), QPointF(0.680, 0.320), QPointF(0.265, 0.690), QPointF(0.150, 0.060),
                            function, gamma);
        break;
    case 12: // Display P3
        space = QColorSpace(d65, QPointF(0.680, 0.320), QPointF(0.265, 0.690), QPointF(0.150, 0.060), function, gamma);
        break;
    case 5: // BT.470 B/G
        space = QColorSpace(d65, QPointF(0.64, 0.33), QPointF(0.29, 0.60), QPointF(0.15, 0.06), function, gamma);
        break;
    case 6: case 7: // BT.601 / SMPTE 240
        space = QColorSpace(d65, QPointF(0.630, 0.340), QPointF(0.310, 0.595), QPointF(0.155, 0.070), function, gamma);
        break;
    default: // BT.709 primaries, sRGB's own, or unspecified
        if (function == QColorSpace::TransferFunction::SRgb) return;
        space = QColorSpace(QColorSpace::Primaries::SRgb, function, gamma);
        break;
    }
    if (!space.isValid()) return;
    image.setColorSpace(space);
    image.convertToColorSpace(QColorSpace::SRgb);
}

QVector<TBoxSpan> TopLevelBoxes(QIODevice& stream) {
    QVector<TBoxSpan> boxes;
    const qint64 fileSize = stream.size();
    qint64 pos = stream.pos();
    auto u32 = [](const QByteArray& b, int at) -> quint64 {
        return (quint64(uchar(b[at])) << 24) | (quint64(uchar(b[at + 1])) << 16) | (quint64(uchar(b[at + 2])) << 8) |
               quint64(uchar(b[at + 3]));
    };
    while (pos + 8 <= fileSize && stream.seek(pos)) {
        const QByteArray head = stream.read(16);
        if (head.size() < 8) break;
        TBoxSpan box{head.mid(4, 4), pos, 8, u32(head, 0)};
        if (box.Size == 1) {
            if (head.size() < 16) break;
            box.Size = (u32(head, 8) << 32) | u32(head, 12);
            box.HeaderSize = 16;
        } else if (box.Size == 0) {
            box.Size = quint64(fileSize - pos);
        }
        if (box.Size < quint64(box.HeaderSize)) break;
        boxes.append(box);
        if (box.Size > quint64(fileSize - pos)) break;
        pos += qint64(box.Size);
    }
    return boxes;
}

QByteArray HeifMetaBox(QIODevice& stream) {
    for (const TBoxSpan& box : TopLevelBoxes(stream))
        if (box.Type == "meta" && stream.seek(box.Pos)) return stream.read(qint64(std::min<quint64>(box.Size, 1 << 20)));
    return QByteArray();
}

bool HeifMetaHasProperty(const QByteArray& meta, const char* fourcc) {
    // The property's type inside the meta box's "iprp".
    const qsizetype iprp = meta.indexOf("iprp");
    return iprp >= 0 && meta.indexOf(fourcc, iprp) >= 0;
}

bool HeifHasProperty(const QByteArray& file, const char* fourcc) {
    QByteArray bytes = file;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return HeifMetaHasProperty(HeifMetaBox(buffer), fourcc);
}
