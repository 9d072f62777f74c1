#include "codec/Metafile.h"

#include "codec/DibGraphic.h"
#include "codec/Limits.h"
#include "codec/MetafilePlayer.h"
#include "codec/Stream.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPainter>
#include <QPicture>
#include <QSaveFile>

#include <cmath>

DEFINE_GRAPHIC_CLASS(TMetafile)

namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7;
constexpr quint32 kEmfSignature = 0x464D4520; // " EMF"
constexpr qint64 kMaxMetafileBytes = qint64(1) << 30;

quint16 U16(const QByteArray& b, qint64 at) {
    return quint16(uchar(b[at]) | (uchar(b[at + 1]) << 8));
}
quint32 U32(const QByteArray& b, qint64 at) {
    return quint32(uchar(b[at])) | (quint32(uchar(b[at + 1])) << 8) | (quint32(uchar(b[at + 2])) << 16) |
           (quint32(uchar(b[at + 3])) << 24);
}
qint32 S32(const QByteArray& b, qint64 at) { return qint32(U32(b, at)); }

bool IsWmfHeader(const QByteArray& b, qint64 at) {
    if (b.size() - at < 18) return false;
    const quint16 type = U16(b, at), headerWords = U16(b, at + 2);
    return (type == 1 || type == 2) && headerWords == 9;
}

// Rounds values that lie within a twentieth of a pixel of a whole number (frames written inclusive or
// in hundredths of a millimetre land just beside the pixel grid).
double Snap(double v) {
    const double r = std::nearbyint(v);
    return std::fabs(v - r) < 0.05 ? r : v;
}

void Put16(QByteArray& b, quint16 v) {
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}
void Put32(QByteArray& b, quint32 v) {
    Put16(b, quint16(v & 0xFFFF));
    Put16(b, quint16(v >> 16));
}

// A 24-bit bottom-up DIB (info header and bits) of image composed on white.
void MakeDib24(const QImage& image, QByteArray& info, QByteArray& bits) {
    const int w = image.width(), h = image.height();
    QImage rgb(image.size(), QImage::Format_RGB32);
    rgb.fill(Qt::white);
    {
        QPainter p(&rgb);
        p.drawImage(0, 0, image);
    }
    const qint64 stride = (qint64(w) * 3 + 3) & ~qint64(3);
    if (stride * h > 0x7FFFFF00LL)
        throw EInvalidGraphicOperation(QStringLiteral("The picture is too large for a Windows metafile"));
    info.clear();
    Put32(info, 40);
    Put32(info, quint32(w));
    Put32(info, quint32(h));
    Put16(info, 1);
    Put16(info, 24);
    Put32(info, 0);
    Put32(info, quint32(stride * h));
    Put32(info, 3780); // 96 dpi in pixels per metre
    Put32(info, 3780);
    Put32(info, 0);
    Put32(info, 0);
    bits = QByteArray(stride * h, '\0');
    for (int y = 0; y < h; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(rgb.constScanLine(h - 1 - y));
        char* dst = bits.data() + y * stride;
        for (int x = 0; x < w; ++x) {
            dst[3 * x] = char(qBlue(src[x]));
            dst[3 * x + 1] = char(qGreen(src[x]));
            dst[3 * x + 2] = char(qRed(src[x]));
        }
    }
}

} // namespace

void TMetafile::Clear() {
    FData.clear();
    FHeader.clear();
    FEnhanced = true;
    FPlaceable = false;
    FFrame = QRectF();
    FWidth = FHeight = 0;
    FRaster = QImage();
}

void TMetafile::LoadFromStream(QIODevice& stream) {
    const QByteArray bytes = ReadRemaining(stream, kMaxMetafileBytes);
    LoadBytes(bytes);
    NotifyChanged();
}

QRectF TMetafile::PlayedBounds(const QByteArray& data, bool enhanced) {
    // Draw the records once with an identity mapping and keep what they covered.
    QPicture picture;
    {
        QPainter p(&picture);
        const QRectF everything(-1e6, -1e6, 2e6, 2e6);
        if (enhanced)
            mf::PlayEmf(data, p, QTransform(), everything);
        else
            mf::PlayWmf(data, p, QTransform(), everything, QRectF(0, 0, 1, 1));
    }
    return QRectF(picture.boundingRect());
}

void TMetafile::LoadBytes(const QByteArray& bytes) {
    Clear();
    const QString notMetafile = QStringLiteral("The file is not a Windows metafile");
    if (bytes.size() < 4) throw EInvalidGraphic(notMetafile);
    const quint32 first = U32(bytes, 0);
    QRectF frame;
    double width = 0, height = 0;
    if (first == kPlaceableKey) {
        if (bytes.size() < 22 + 18) throw EInvalidGraphic(QStringLiteral("The metafile header is incomplete"));
        if (!IsWmfHeader(bytes, 22)) throw EInvalidGraphic(notMetafile);
        const double left = qint16(U16(bytes, 6)), top = qint16(U16(bytes, 8)), right = qint16(U16(bytes, 10)),
                     bottom = qint16(U16(bytes, 12));
        const double inch = U16(bytes, 14) ? U16(bytes, 14) : 1440;
        FHeader = bytes.left(22);
        FData = bytes.mid(22);
        FEnhanced = false;
        frame = QRectF(QPointF(left, top), QPointF(right, bottom)).normalized();
        if (!frame.isEmpty()) {
            FPlaceable = true;
            width = frame.width() * mf::kScreenDpi / inch;
            height = frame.height() * mf::kScreenDpi / inch;
        } else if (mf::WmfWindow(FData, frame)) {
            width = std::fabs(frame.width());
            height = std::fabs(frame.height());
        }
    } else if (first == 1 && bytes.size() >= 88 && U32(bytes, 40) == kEmfSignature) {
        FData = bytes;
        FEnhanced = true;
        const qint32 bl = S32(bytes, 8), bt = S32(bytes, 12), br = S32(bytes, 16), bb = S32(bytes, 20);
        const qint32 fl = S32(bytes, 24), ft = S32(bytes, 28), fr = S32(bytes, 32), fb = S32(bytes, 36);
        const qint32 devX = S32(bytes, 72), devY = S32(bytes, 76), mmX = S32(bytes, 80), mmY = S32(bytes, 84);
        double pxX = mf::kScreenDpi / 25.4, pxY = pxX;
        if (devX > 0 && devY > 0 && mmX > 0 && mmY > 0) {
            pxX = double(devX) / mmX;
            pxY = double(devY) / mmY;
        }
        if (fr > fl && fb > ft) {
            // The frame is in hundredths of a millimetre.
            frame = QRectF(QPointF(Snap(fl * pxX / 100), Snap(ft * pxY / 100)), QPointF(Snap(fr * pxX / 100), Snap(fb * pxY / 100)));
            width = (double(fr) - fl) / 100 / 25.4 * mf::kScreenDpi;
            height = (double(fb) - ft) / 100 / 25.4 * mf::kScreenDpi;
        } else if (br >= bl && bb >= bt && !(br == 0 && bl == 0 && bb == 0 && bt == 0)) {
            frame = QRectF(QPointF(bl, bt), QPointF(double(br) + 1, double(bb) + 1));
            width = frame.width() * (mf::kScreenDpi / 25.4) / pxX;
            height = frame.height() * (mf::kScreenDpi / 25.4) / pxY;
        }
    } else if (IsWmfHeader(bytes, 0)) {
        FData = bytes;
        FEnhanced = false;
        if (mf::WmfWindow(FData, frame)) {
            width = std::fabs(frame.width());
            height = std::fabs(frame.height());
        }
    } else {
        throw EInvalidGraphic(notMetafile);
    }
    if (width < 0.5 || height < 0.5 || !std::isfinite(width) || !std::isfinite(height)) {
        // No usable size in the headers: the extent of what the records draw.
        frame = PlayedBounds(FData, FEnhanced);
        if (frame.isEmpty()) {
            Clear();
            throw EInvalidGraphic(QStringLiteral("The metafile has no picture size"));
        }
        width = frame.width();
        height = frame.height();
    }
    FFrame = frame;
    // A vector picture can be shown at any size: keep its nominal size within the pixel limit.
    const double limit = double(PixelLimit());
    if (width * height > limit) {
        const double k = std::sqrt(limit / (width * height));
        width *= k;
        height *= k;
    }
    const double cap = std::min(limit, 1e9);
    FWidth = std::max(1, int(std::min(width + 0.5, cap)));
    FHeight = std::max(1, int(std::min(height + 0.5, cap)));
    if (qint64(FWidth) * FHeight > PixelLimit()) FWidth = std::max<qint64>(1, PixelLimit() / FHeight);
}

void TMetafile::DrawTo(QPainter& canvas, const QRect& rect) const {
    if (FData.isEmpty() || rect.isEmpty() || FFrame.width() == 0 || FFrame.height() == 0) return;
    const QRectF target(rect);
    // WMF device space starts at the frame's corner; EMF device space is the reference device's.
    const QRectF source = FEnhanced ? FFrame : QRectF(0, 0, std::fabs(FFrame.width()), std::fabs(FFrame.height()));
    const double kx = target.width() / source.width(), ky = target.height() / source.height();
    const QTransform output(kx, 0, 0, ky, target.left() - source.left() * kx, target.top() - source.top() * ky);
    canvas.save();
    if (FEnhanced)
        mf::PlayEmf(FData, canvas, output, target);
    else
        mf::PlayWmf(FData, canvas, output, target, FFrame);
    canvas.restore();
}

void TMetafile::SetWidth(int w) {
    if (w > 0 && w != FWidth) {
        FWidth = w;
        NotifyChanged();
    }
}

void TMetafile::SetHeight(int h) {
    if (h > 0 && h != FHeight) {
        FHeight = h;
        NotifyChanged();
    }
}

void TMetafile::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (auto* other = dynamic_cast<const TMetafile*>(&source)) {
        FData = other->FData;
        FHeader = other->FHeader;
        FEnhanced = other->FEnhanced;
        FPlaceable = other->FPlaceable;
        FFrame = other->FFrame;
        FWidth = other->FWidth;
        FHeight = other->FHeight;
        FRaster = other->FRaster;
        NotifyChanged();
        return;
    }
    if (source.IsEmpty()) {
        Clear();
        NotifyChanged();
        return;
    }
    QImage image;
    if (auto* dib = dynamic_cast<const TDibGraphic*>(&source))
        image = dib->Image();
    else {
        CheckPictureSize(source.Width(), source.Height());
        image = source.ToImage();
    }
    if (image.isNull()) {
        Clear();
        NotifyChanged();
        return;
    }
    LoadBytes(MakeEmf(image));
    FRaster = image;
    NotifyChanged();
}

void TMetafile::CopyInto(TGraphic& target) const {
    if (auto* m = dynamic_cast<TMetafile*>(&target)) {
        m->Assign(*this);
        return;
    }
    if (auto* dib = dynamic_cast<TDibGraphic*>(&target)) {
        dib->Assign(*this);
        return;
    }
    TGraphic::CopyInto(target);
}

bool TMetafile::SetSaveOption(const QString& key, const QString& value) {
    if (key != QLatin1String("format")) return false;
    if (value.compare(QLatin1String("emf"), Qt::CaseInsensitive) == 0)
        FSaveEnhanced = true;
    else if (value.compare(QLatin1String("wmf"), Qt::CaseInsensitive) == 0)
        FSaveEnhanced = false;
    else
        throw EInvalidGraphicOperation(QStringLiteral("Unknown metafile format '%1' (emf or wmf)").arg(value));
    return true;
}

QImage TMetafile::RasterForSaving() const {
    if (!FRaster.isNull()) return FRaster;
    CheckPictureSize(FWidth, FHeight);
    return ToImage();
}

void TMetafile::WriteTo(QIODevice& stream, bool enhanced) const {
    if (IsEmpty()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    if (enhanced) {
        WriteBytes(stream, FEnhanced ? FData : MakeEmf(RasterForSaving()));
        return;
    }
    if (!FEnhanced && FRaster.isNull()) {
        if (FPlaceable) {
            WriteBytes(stream, FHeader + FData);
            return;
        }
        const QRectF f = FFrame.normalized();
        if (f.left() >= -32768 && f.right() <= 32767 && f.top() >= -32768 && f.bottom() <= 32767) {
            QByteArray header;
            Put32(header, kPlaceableKey);
            Put16(header, 0);
            Put16(header, quint16(qint16(std::lround(f.left()))));
            Put16(header, quint16(qint16(std::lround(f.top()))));
            Put16(header, quint16(qint16(std::lround(f.right()))));
            Put16(header, quint16(qint16(std::lround(f.bottom()))));
            Put16(header, quint16(std::clamp<long>(std::lround(96.0 * f.width() / FWidth), 1, 65535)));
            Put32(header, 0);
            quint16 sum = 0;
            for (int i = 0; i < 20; i += 2) sum ^= U16(header, i);
            Put16(header, sum);
            WriteBytes(stream, header + FData);
            return;
        }
    }
    WriteBytes(stream, MakePlaceableWmf(RasterForSaving()));
}

void TMetafile::SaveToStream(QIODevice& stream) const { WriteTo(stream, FSaveEnhanced); }

void TMetafile::SaveToFileName(const QString& fileName) const {
    const bool enhanced = QFileInfo(fileName).suffix().compare(QLatin1String("wmf"), Qt::CaseInsensitive) != 0;
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EWriteError(QStringLiteral("Cannot create %1: %2").arg(fileName, file.errorString()));
    WriteTo(file, enhanced);
    if (!file.commit()) throw EWriteError(QStringLiteral("Cannot write %1: %2").arg(fileName, file.errorString()));
}

QByteArray TMetafile::MakeEmf(const QImage& image) {
    if (image.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    const int w = image.width(), h = image.height();
    QByteArray info, bits;
    MakeDib24(image, info, bits);
    const quint32 headerSize = 108, blitSize = 80 + quint32(info.size()) + quint32(bits.size()), eofSize = 20;
    if (qint64(blitSize) + headerSize + eofSize > 0x7FFFFFFFLL)
        throw EInvalidGraphicOperation(QStringLiteral("The picture is too large for a Windows metafile"));
    QByteArray out;
    out.reserve(int(headerSize + blitSize + eofSize));
    // Header: bounds in pixels, frame in hundredths of a millimetre at 96 dpi, a 96 dpi reference device.
    Put32(out, 1);
    Put32(out, headerSize);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, quint32(w - 1));
    Put32(out, quint32(h - 1));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, quint32(std::lround(w * 2540.0 / 96)));
    Put32(out, quint32(std::lround(h * 2540.0 / 96)));
    Put32(out, kEmfSignature);
    Put32(out, 0x10000);
    Put32(out, headerSize + blitSize + eofSize);
    Put32(out, 3);  // records
    Put16(out, 1);  // handles (the reserved index 0)
    Put16(out, 0);
    Put32(out, 0);  // description
    Put32(out, 0);
    Put32(out, 0);  // palette entries
    Put32(out, 1920);
    Put32(out, 1440);
    Put32(out, 508);
    Put32(out, 381);
    Put32(out, 0); // pixel format
    Put32(out, 0);
    Put32(out, 0); // OpenGL
    Put32(out, 508000);
    Put32(out, 381000);
    // StretchDIBits of the whole picture, 1:1 in MM_TEXT.
    Put32(out, 81);
    Put32(out, blitSize);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, quint32(w - 1));
    Put32(out, quint32(h - 1));
    Put32(out, 0); // xDest
    Put32(out, 0); // yDest
    Put32(out, 0); // xSrc
    Put32(out, 0); // ySrc
    Put32(out, quint32(w));
    Put32(out, quint32(h));
    Put32(out, 80);
    Put32(out, quint32(info.size()));
    Put32(out, 80 + quint32(info.size()));
    Put32(out, quint32(bits.size()));
    Put32(out, 0);          // DIB_RGB_COLORS
    Put32(out, 0x00CC0020); // SRCCOPY
    Put32(out, quint32(w));
    Put32(out, quint32(h));
    out += info;
    out += bits;
    Put32(out, 14);
    Put32(out, eofSize);
    Put32(out, 0);
    Put32(out, 16);
    Put32(out, eofSize);
    return out;
}

QByteArray TMetafile::MakePlaceableWmf(const QImage& image) {
    if (image.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    const int w = image.width(), h = image.height();
    if (w > 32767 || h > 32767)
        throw EInvalidGraphicOperation(QStringLiteral("The picture is too large for a Windows metafile"));
    QByteArray info, bits;
    MakeDib24(image, info, bits);
    QByteArray out;
    Put32(out, kPlaceableKey);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, quint16(w));
    Put16(out, quint16(h));
    Put16(out, 96);
    Put32(out, 0);
    quint16 sum = 0;
    for (int i = 0; i < 20; i += 2) sum ^= U16(out, i);
    Put16(out, sum);

    const qint64 dibWords = (info.size() + bits.size()) / 2;
    const qint64 stretchWords = 3 + 2 + 1 + 8 + dibWords;
    const qint64 totalWords = 9 + 5 + 5 + 4 + stretchWords + 3;
    QByteArray records;
    auto record = [&](quint32 words, quint16 function) {
        Put32(records, words);
        Put16(records, function);
    };
    record(5, 0x020B); // SetWindowOrg(0, 0)
    Put16(records, 0);
    Put16(records, 0);
    record(5, 0x020C); // SetWindowExt(h, w)
    Put16(records, quint16(h));
    Put16(records, quint16(w));
    record(4, 0x0103); // SetMapMode(MM_ANISOTROPIC)
    Put16(records, 8);
    record(quint32(stretchWords), 0x0F43); // StretchDIB
    Put32(records, 0x00CC0020);
    Put16(records, 0);
    Put16(records, quint16(h));
    Put16(records, quint16(w));
    Put16(records, 0);
    Put16(records, 0);
    Put16(records, quint16(h));
    Put16(records, quint16(w));
    Put16(records, 0);
    Put16(records, 0);
    records += info;
    records += bits;
    record(3, 0x0000);

    Put16(out, 1);      // memory metafile
    Put16(out, 9);      // header words
    Put16(out, 0x0300); // version
    Put32(out, quint32(totalWords));
    Put16(out, 0);      // objects
    Put32(out, quint32(stretchWords));
    Put16(out, 0);
    out += records;
    return out;
}
