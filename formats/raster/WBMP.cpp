#include "formats/raster/WBMP.h"

#include "codec/DibGraphic.h"
#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QIODevice>
#include <QMimeData>
#include <QPainter>

DEFINE_GRAPHIC_CLASS(TWBitmap)

namespace {

// Largest value the two-byte integer of the format can express.
constexpr int kMaxWbmpInteger = 127 * 128 + 127;

int ReadInteger(QIODevice& stream) {
    quint8 a = 0;
    ReadBuffer(stream, &a, 1);
    if (a < 129) return a;
    quint8 b = 0;
    ReadBuffer(stream, &b, 1);
    return (a - 128) * 128 + b;
}

} // namespace

QByteArray TWBitmap::EncodeInteger(int value) {
    QByteArray bytes;
    const int q = value / 128;
    if (q > 0) bytes += char(128 + q);
    bytes += char(value % 128);
    return bytes;
}

bool TWBitmap::PatternIsWhite(int s, int x, int y) {
    if (s >= 661) return true;
    if (s >= 586) return x % 3 != 0 || y % 3 != 1;
    if (s >= 481) return (x & 1) || (y & 1);
    if (s >= 376) return ((x ^ y) & 1) != 0;
    if (s >= 271) return x % 3 == 1 && y % 3 == 2;
    if (s >= 181) return x % 4 == 0 && y % 4 == 0;
    if (s >= 61) return x % 5 == 1 && y % 5 == 3;
    return false;
}

QSize TWBitmap::ReadHeader(QIODevice& stream) {
    stream.seek(0);
    int width = 0, height = 0;
    try {
        if (ReadInteger(stream) > 0)
            throw EInvalidGraphic(QStringLiteral("Cannot load image. Invalid or unexpected %1 image format.")
                                      .arg(QStringLiteral("WBMP")));
        ReadInteger(stream); // fixed header field: no extension headers are read
        width = ReadInteger(stream);
        if (width == 0) throw EInvalidGraphic(QStringLiteral("Invalid image parameters."));
        height = ReadInteger(stream);
        if (height == 0) throw EInvalidGraphic(QStringLiteral("Invalid image parameters."));
    } catch (const EReadError&) {
        throw EInvalidGraphic(QStringLiteral("The WBMP header is incomplete."));
    }
    CheckPictureSize(width, height);
    return QSize(width, height);
}

bool TWBitmap::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    const QSize size = ReadHeader(stream);
    info.Width = size.width();
    info.Height = size.height();
    info.Frames = 1;
    return true;
}

void TWBitmap::LoadFromStream(QIODevice& stream) {
    const QSize size = ReadHeader(stream);
    const int width = size.width(), height = size.height();
    QImage bitmap = NewImage(width, height, QImage::Format_Mono);
    bitmap.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)}); // bit 0 black, bit 1 white
    bitmap.fill(0);
    const qint64 rowLength = width / 8 + (width % 8 ? 1 : 0);

    Progress(TProgressStage::psStarting, 0, false, QRect(0, 0, width, 1));
    int row = 0;
    for (; row < height; ++row) {
        try {
            ReadBuffer(stream, bitmap.scanLine(row), rowLength);
        } catch (const EReadError&) {
            break; // a truncated file: the rows not read show the background
        }
        Progress(TProgressStage::psRunning, quint8((qint64(row) * 100 + height / 2) / height), true,
                 QRect(0, row, width, 1));
    }
    Progress(TProgressStage::psEnding, 100, false);
    if (row < height) FillMissingRows(bitmap, row, height - row);
    SetTruncated(row < height);
    FBitmap = std::move(bitmap);
    FEmpty = false;
    NotifyChanged();
}

void TWBitmap::SaveToStream(QIODevice& stream) const {
    if (FBitmap.isNull() || FBitmap.width() == 0 || FBitmap.height() == 0)
        throw EInvalidGraphic(QStringLiteral("Invalid image paremeters"));
    const int width = FBitmap.width(), height = FBitmap.height();
    if (width > kMaxWbmpInteger || height > kMaxWbmpInteger)
        throw EInvalidGraphic(
            QStringLiteral("A wireless bitmap holds at most %1 x %1 pixels; this picture is %2 x %3.")
                .arg(kMaxWbmpInteger)
                .arg(width)
                .arg(height));
    if (!stream.isSequential()) stream.seek(0);
    QByteArray header;
    header += EncodeInteger(0); // type 0
    header += EncodeInteger(0); // fixed header field
    header += EncodeInteger(width);
    header += EncodeInteger(height);
    WriteBytes(stream, header);

    if (FBitmap.format() != QImage::Format_RGB32) FBitmap = FBitmap.convertToFormat(QImage::Format_RGB32);
    const int rowLength = (width + 7) / 8;
    QByteArray row(rowLength, '\0');
    for (int y = 0; y < height; ++y) {
        row.fill('\0');
        const QRgb* line = reinterpret_cast<const QRgb*>(FBitmap.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const int s = qRed(line[x]) + qGreen(line[x]) + qBlue(line[x]);
            if (PatternIsWhite(s, x, y)) row[x >> 3] = char(uchar(row[x >> 3]) | (0x80 >> (x & 7)));
        }
        WriteBytes(stream, row);
    }
}

void TWBitmap::DrawTo(QPainter& canvas, const QRect& rect) const {
    if (FBitmap.isNull() || rect.isEmpty()) return;
    canvas.drawImage(rect, FBitmap);
}

void TWBitmap::SetWidth(int value) {
    if (value == FWidth) return;
    FWidth = value;
    NotifyChanged();
}

void TWBitmap::SetHeight(int value) {
    if (value == FHeight) return;
    FHeight = value;
    NotifyChanged();
}

void TWBitmap::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (auto* other = dynamic_cast<const TWBitmap*>(&source)) {
        FBitmap = other->FBitmap;
    } else if (auto* dib = dynamic_cast<const TDibGraphic*>(&source)) {
        FBitmap = dib->Image();
    } else if (source.IsEmpty() || source.Width() <= 0 || source.Height() <= 0) {
        FBitmap = QImage();
    } else {
        // Any other graphic is drawn at its own size onto black.
        QImage image = NewImage(source.Width(), source.Height(), QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        source.DrawTo(painter, QRect(0, 0, image.width(), image.height()));
        painter.end();
        FBitmap = std::move(image);
    }
    FEmpty = FBitmap.isNull();
    NotifyChanged();
}

void TWBitmap::CopyInto(TGraphic& target) const {
    if (auto* dib = dynamic_cast<TDibGraphic*>(&target)) {
        dib->SetImage(FBitmap);
        dib->NotifyChanged();
        return;
    }
    if (auto* other = dynamic_cast<TWBitmap*>(&target)) {
        other->Assign(*this);
        return;
    }
    RaiseConvertError(target);
}

void TWBitmap::SaveToClipboardData(QMimeData& data) const {
    if (FBitmap.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot copy an empty picture"));
    data.setImageData(FBitmap);
}

QImage TWBitmap::ToImage(QSize size, TColor background) const {
    if (FBitmap.isNull()) return QImage();
    if (!size.isValid() || size.isEmpty() || size == FBitmap.size())
        return FBitmap.convertToFormat(QImage::Format_RGB32);
    return TGraphic::ToImage(size, background);
}
