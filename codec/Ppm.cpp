#include "codec/Ppm.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QIODevice>

DEFINE_CONTENT_GRAPHIC_CLASS(TPPMGraphic)

namespace {

bool IsSpace(uchar c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Skips white space and comments, then reads a decimal number. Raises EReadError at the end of data.
quint32 ReadNumber(TByteReader& r) {
    for (;;) {
        const uchar c = r.U8();
        if (IsSpace(c)) continue;
        if (c == '#') {
            while (!r.AtEnd() && r.U8() != '\n') {
            }
            continue;
        }
        if (c < '0' || c > '9') throw EInvalidGraphic(QStringLiteral("Invalid portable map header"));
        quint64 v = c - '0';
        while (!r.AtEnd()) {
            const uchar d = r.Data()[r.Pos()];
            if (d < '0' || d > '9') break;
            r.Skip(1);
            v = v * 10 + (d - '0');
            if (v > 0xFFFFFFFFull) throw EInvalidGraphic(QStringLiteral("Invalid portable map header"));
        }
        return quint32(v);
    }
}

// Plain PBM allows digits without separators ("0101").
quint32 ReadBit(TByteReader& r) {
    for (;;) {
        const uchar c = r.U8();
        if (c == '0' || c == '1') return c - '0';
        if (c == '#') {
            while (!r.AtEnd() && r.U8() != '\n') {
            }
            continue;
        }
        if (!IsSpace(c)) throw EInvalidGraphic(QStringLiteral("Invalid portable bitmap data"));
    }
}

quint16 Scale16(quint32 v, quint32 maxval) { return quint16((quint64(v > maxval ? maxval : v) * 65535 + maxval / 2) / maxval); }
uchar Scale8(quint32 v, quint32 maxval) { return uchar((quint64(v > maxval ? maxval : v) * 255 + maxval / 2) / maxval); }

} // namespace

bool TPPMGraphic::AcceptsContent(QIODevice& stream) {
    const QByteArray head = PeekBytes(stream, 3);
    return head.size() == 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6' && IsSpace(uchar(head[2]));
}

bool TPPMGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    // The header with its comments fits in the first block in every file met in practice; a longer
    // one is left to the decoder.
    const QByteArray head = stream.read(4096);
    TByteReader r(head);
    quint32 width = 0, height = 0;
    try {
        if (r.U8() != 'P') return false;
        const char kind = char(r.U8());
        if (kind < '1' || kind > '6') return false;
        width = ReadNumber(r);
        height = ReadNumber(r);
    } catch (const EReadError&) {
        return false;
    } catch (const EInvalidGraphic&) {
        return false;
    }
    CheckPictureSize(width, height);
    info.Width = int(width);
    info.Height = int(height);
    info.Frames = 1;
    return true;
}

void TPPMGraphic::ReadPage(QIODevice& stream, int) {
    const QByteArray data = ReadRemaining(stream);
    TByteReader r(data);
    quint32 width = 0, height = 0, maxval = 1;
    char kind = 0;
    try {
        if (r.U8() != 'P') throw EInvalidGraphic(QStringLiteral("Not a portable map file"));
        kind = char(r.U8());
        if (kind < '1' || kind > '6') throw EInvalidGraphic(QStringLiteral("Not a portable map file"));
        width = ReadNumber(r);
        height = ReadNumber(r);
        if (kind != '1' && kind != '4') maxval = ReadNumber(r);
        if (!IsSpace(r.U8())) throw EInvalidGraphic(QStringLiteral("Invalid portable map header"));
    } catch (const EReadError&) {
        throw EInvalidGraphic(QStringLiteral("The portable map header is incomplete"));
    }
    if (maxval < 1 || maxval > 65535) throw EInvalidGraphic(QStringLiteral("Invalid maximum value %1").arg(maxval));
    CheckPictureSize(width, height);

    const bool bitmap = kind == '1' || kind == '4';
    const bool grey = kind == '2' || kind == '5';
    const bool raw = kind >= '4';
    const bool wide = maxval > 255;
    const int channels = grey ? 1 : 3;
    QImage::Format format = bitmap ? QImage::Format_Mono
                            : grey ? (wide ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8)
                                   : (wide ? QImage::Format_RGBX64 : QImage::Format_RGB32);
    QImage image = NewImage(width, height, format);
    if (bitmap) image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});

    // Raw data needs a known number of bytes per row; a truncated file keeps its size with the rows it
    // holds, the others showing the background.
    const qint64 rawRowBytes = bitmap ? (qint64(width) + 7) / 8 : qint64(width) * channels * (wide ? 2 : 1);
    quint32 row = 0;
    try {
        for (; row < height; ++row) {
            uchar* line = image.scanLine(int(row));
            if (bitmap) {
                if (raw) {
                    r.Read(line, rawRowBytes);
                    // Clear the padding bits so the picture compares equal whatever the file held there.
                    if (width % 8) line[rawRowBytes - 1] &= uchar(0xFF00 >> (width % 8));
                } else {
                    std::memset(line, 0, size_t((width + 7) / 8));
                    for (quint32 x = 0; x < width; ++x)
                        if (ReadBit(r)) line[x >> 3] |= uchar(0x80 >> (x & 7));
                }
                continue;
            }
            if (raw && !wide && maxval == 255) {
                // The common case, a row at a time.
                const uchar* src = r.Take(rawRowBytes);
                if (grey) {
                    std::memcpy(line, src, size_t(width));
                } else {
                    QRgb* dst = reinterpret_cast<QRgb*>(line);
                    for (quint32 x = 0; x < width; ++x, src += 3) dst[x] = qRgb(src[0], src[1], src[2]);
                }
                if ((row & 255) == 0) Progress(TProgressStage::psRunning, quint8(quint64(row) * 100 / height));
                continue;
            }
            for (quint32 x = 0; x < width; ++x) {
                quint32 s[3];
                for (int c = 0; c < channels; ++c) {
                    if (!raw)
                        s[c] = ReadNumber(r);
                    else if (wide)
                        s[c] = r.U16BE();
                    else
                        s[c] = r.U8();
                }
                if (grey) {
                    if (wide)
                        reinterpret_cast<quint16*>(line)[x] = Scale16(s[0], maxval);
                    else
                        line[x] = maxval == 255 ? uchar(s[0]) : Scale8(s[0], maxval);
                } else if (wide) {
                    reinterpret_cast<QRgba64*>(line)[x] =
                        QRgba64::fromRgba64(Scale16(s[0], maxval), Scale16(s[1], maxval), Scale16(s[2], maxval), 0xFFFF);
                } else if (maxval == 255) {
                    reinterpret_cast<QRgb*>(line)[x] = qRgb(int(s[0]), int(s[1]), int(s[2]));
                } else {
                    reinterpret_cast<QRgb*>(line)[x] = qRgb(Scale8(s[0], maxval), Scale8(s[1], maxval), Scale8(s[2], maxval));
                }
            }
            if ((row & 63) == 0) Progress(TProgressStage::psRunning, quint8(quint64(row) * 100 / height));
        }
    } catch (const EReadError&) {
        // Truncated data: the complete rows are kept.
        if (row == 0) throw EInvalidGraphic(QStringLiteral("The portable map holds no pixel data"));
        FillMissingRows(image, int(row), int(height - row));
        SetTruncated(true);
    }
    FImage = std::move(image);
}

bool TPPMGraphic::SetSaveOption(const QString& key, const QString& value) {
    if (key == QLatin1String("plain")) {
        FPlain = value == QLatin1String("1") || value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
        return true;
    }
    return false;
}

void TPPMGraphic::SaveToStream(QIODevice& stream) const {
    if (FImage.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    const int w = FImage.width(), h = FImage.height();
    const bool mono = FImage.format() == QImage::Format_Mono || FImage.format() == QImage::Format_MonoLSB;
    const bool bw = mono && FImage.colorCount() == 2 &&
                    ((FImage.color(0) == qRgb(255, 255, 255) && FImage.color(1) == qRgb(0, 0, 0)) ||
                     (FImage.color(0) == qRgb(0, 0, 0) && FImage.color(1) == qRgb(255, 255, 255)));
    const bool grey = !bw && FImage.isGrayscale();
    QByteArray out;
    const char kind = bw ? (FPlain ? '1' : '4') : grey ? (FPlain ? '2' : '5') : (FPlain ? '3' : '6');
    out += QStringLiteral("P%1\n%2 %3\n").arg(kind).arg(w).arg(h).toLatin1();
    if (!bw) out += "255\n";
    WriteBytes(stream, out);
    if (bw) {
        const QImage m = FImage.convertToFormat(QImage::Format_Mono);
        const bool blackIsOne = m.color(1) == qRgb(0, 0, 0);
        const int rowBytes = (w + 7) / 8;
        for (int y = 0; y < h; ++y) {
            const uchar* line = m.constScanLine(y);
            QByteArray row;
            if (FPlain) {
                for (int x = 0; x < w; ++x) {
                    const bool bit = (line[x >> 3] >> (7 - (x & 7))) & 1;
                    row += (bit == blackIsOne) ? '1' : '0';
                    row += (x % 35 == 34 || x == w - 1) ? '\n' : ' ';
                }
            } else {
                row = QByteArray(reinterpret_cast<const char*>(line), rowBytes);
                if (!blackIsOne)
                    for (auto& c : row) c = char(~c);
                if (w % 8) row[rowBytes - 1] = char(uchar(row[rowBytes - 1]) & uchar(0xFF00 >> (w % 8)));
            }
            WriteBytes(stream, row);
        }
        return;
    }
    const QImage src = FImage.convertToFormat(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    const int rowBytes = w * (grey ? 1 : 3);
    for (int y = 0; y < h; ++y) {
        const uchar* line = src.constScanLine(y);
        if (!FPlain) {
            WriteBuffer(stream, line, rowBytes);
            continue;
        }
        QByteArray row;
        for (int i = 0; i < rowBytes; ++i) {
            row += QByteArray::number(line[i]);
            row += (i % 16 == 15 || i == rowBytes - 1) ? '\n' : ' ';
        }
        WriteBytes(stream, row);
    }
}
