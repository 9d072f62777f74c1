#include "tools/JpegTransform.h"

#include "codec/Limits.h"

#include <QFile>
#include <QSaveFile>

#include <turbojpeg.h>

#include <array>
#include <cstring>
#include <memory>

namespace {

// Largest JPEG file turned (the whole file is held in memory twice).
constexpr qint64 kMaxJpegFileSize = qint64(1) << 30;

// The transforms as 2 x 2 matrices on (x, y) with y down: {a, b, c, d} maps (x, y) to
// (a x + b y, c x + d y).
using TMatrix = std::array<int, 4>;

TMatrix MatrixOf(TJpegTransformOp op) {
    switch (op) {
    case TJpegTransformOp::jtFlipH: return {-1, 0, 0, 1};
    case TJpegTransformOp::jtFlipV: return {1, 0, 0, -1};
    case TJpegTransformOp::jtTranspose: return {0, 1, 1, 0};
    case TJpegTransformOp::jtTransverse: return {0, -1, -1, 0};
    case TJpegTransformOp::jtRot90: return {0, -1, 1, 0};
    case TJpegTransformOp::jtRot180: return {-1, 0, 0, -1};
    case TJpegTransformOp::jtRot270: return {0, 1, -1, 0};
    case TJpegTransformOp::jtNone: break;
    }
    return {1, 0, 0, 1};
}

const TJpegTransformOp kAllOps[] = {TJpegTransformOp::jtNone,      TJpegTransformOp::jtFlipH,
                                    TJpegTransformOp::jtFlipV,     TJpegTransformOp::jtTranspose,
                                    TJpegTransformOp::jtTransverse, TJpegTransformOp::jtRot90,
                                    TJpegTransformOp::jtRot180,    TJpegTransformOp::jtRot270};

// The transform that shows a picture stored with an EXIF orientation upright.
TJpegTransformOp UprightTransform(int orientation) {
    switch (orientation) {
    case 2: return TJpegTransformOp::jtFlipH;
    case 3: return TJpegTransformOp::jtRot180;
    case 4: return TJpegTransformOp::jtFlipV;
    case 5: return TJpegTransformOp::jtTranspose;
    case 6: return TJpegTransformOp::jtRot90;
    case 7: return TJpegTransformOp::jtTransverse;
    case 8: return TJpegTransformOp::jtRot270;
    default: return TJpegTransformOp::jtNone;
    }
}

bool SwapsSides(TJpegTransformOp op) {
    return op == TJpegTransformOp::jtTranspose || op == TJpegTransformOp::jtTransverse ||
           op == TJpegTransformOp::jtRot90 || op == TJpegTransformOp::jtRot270;
}

// The edges a transform moves must be whole blocks (the right edge when columns move, the bottom edge
// when rows move).
bool NeedsWholeColumns(TJpegTransformOp op) {
    return op == TJpegTransformOp::jtFlipH || op == TJpegTransformOp::jtRot270 ||
           op == TJpegTransformOp::jtTransverse || op == TJpegTransformOp::jtRot180;
}
bool NeedsWholeRows(TJpegTransformOp op) {
    return op == TJpegTransformOp::jtFlipV || op == TJpegTransformOp::jtRot90 ||
           op == TJpegTransformOp::jtTransverse || op == TJpegTransformOp::jtRot180;
}

int TurboOp(TJpegTransformOp op) {
    switch (op) {
    case TJpegTransformOp::jtFlipH: return TJXOP_HFLIP;
    case TJpegTransformOp::jtFlipV: return TJXOP_VFLIP;
    case TJpegTransformOp::jtTranspose: return TJXOP_TRANSPOSE;
    case TJpegTransformOp::jtTransverse: return TJXOP_TRANSVERSE;
    case TJpegTransformOp::jtRot90: return TJXOP_ROT90;
    case TJpegTransformOp::jtRot180: return TJXOP_ROT180;
    case TJpegTransformOp::jtRot270: return TJXOP_ROT270;
    case TJpegTransformOp::jtNone: break;
    }
    return TJXOP_NONE;
}

// One marker segment before the first scan: its marker code and its data (after the length field).
struct TSegment {
    uchar Marker = 0;
    qsizetype Data = 0; // offset of the data in the file
    qsizetype Size = 0; // bytes of data
};

// The marker segments up to the first scan, stopping quietly at anything malformed.
std::vector<TSegment> Segments(const QByteArray& jpeg) {
    std::vector<TSegment> segments;
    const auto* b = reinterpret_cast<const uchar*>(jpeg.constData());
    const qsizetype n = jpeg.size();
    if (n < 4 || b[0] != 0xFF || b[1] != 0xD8) return segments;
    qsizetype pos = 2;
    while (pos + 1 < n) {
        if (b[pos] != 0xFF) break;
        while (pos < n && b[pos] == 0xFF) // fill bytes
            ++pos;
        if (pos >= n) break;
        const uchar marker = b[pos++];
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue; // no length
        if (marker == 0xD9 || pos + 2 > n) break;
        const qsizetype length = (qsizetype(b[pos]) << 8) | b[pos + 1];
        if (length < 2 || pos + length > n) break;
        segments.push_back({marker, pos + 2, length - 2});
        if (marker == 0xDA) break; // the first scan
        pos += length;
    }
    return segments;
}

// Where the orientation value of the first EXIF block lies (offset of its two bytes), and its byte order.
struct TOrientationField {
    qsizetype Offset = -1;
    bool LittleEndian = true;
};

TOrientationField FindOrientation(const QByteArray& jpeg) {
    const auto* b = reinterpret_cast<const uchar*>(jpeg.constData());
    for (const TSegment& s : Segments(jpeg)) {
        if (s.Marker != 0xE1 || s.Size < 6 + 8 || std::memcmp(b + s.Data, "Exif\0\0", 6) != 0) continue;
        const uchar* tiff = b + s.Data + 6;
        const qsizetype size = s.Size - 6;
        const bool le = tiff[0] == 'I' && tiff[1] == 'I';
        if (!le && !(tiff[0] == 'M' && tiff[1] == 'M')) return {};
        const auto u16 = [&](qsizetype at) -> quint32 {
            return le ? quint32(tiff[at] | (tiff[at + 1] << 8)) : quint32((tiff[at] << 8) | tiff[at + 1]);
        };
        const auto u32 = [&](qsizetype at) -> quint32 {
            return le ? u16(at) | (u16(at + 2) << 16) : (u16(at) << 16) | u16(at + 2);
        };
        if (u16(2) != 42) return {};
        const qsizetype ifd = u32(4);
        if (ifd < 8 || ifd + 2 > size) return {};
        const qsizetype count = u16(ifd);
        for (qsizetype i = 0; i < count; ++i) {
            const qsizetype entry = ifd + 2 + 12 * i;
            if (entry + 12 > size) return {};
            if (u16(entry) == 0x0112 && u16(entry + 2) == 3 && u32(entry + 4) == 1)
                return {s.Data + 6 + entry + 8, le};
        }
        return {}; // only the first EXIF block counts
    }
    return {};
}

struct TTurboHandle {
    tjhandle Handle = tjInitTransform();
    ~TTurboHandle() {
        if (Handle) tjDestroy(Handle);
    }
    QString Error() const { return QString::fromLocal8Bit(tjGetErrorStr2(Handle)); }
};

void CheckSize(const QByteArray& jpeg) {
    if (jpeg.size() > kMaxJpegFileSize)
        throw EInvalidGraphic(QStringLiteral("The JPEG file is too large to be turned (%1 MB; at most %2 MB)")
                                  .arg(jpeg.size() >> 20)
                                  .arg(kMaxJpegFileSize >> 20));
}

// The first frame header: true for a progressive file.
bool IsProgressive(const QByteArray& jpeg) {
    for (const TSegment& s : Segments(jpeg))
        if (s.Marker == 0xC2 || s.Marker == 0xC6 || s.Marker == 0xCA || s.Marker == 0xCE) return true;
    return false;
}

} // namespace

EImperfectTransform::EImperfectTransform(const TJpegTurnPlan& plan)
    : EInvalidGraphicOperation(
          QStringLiteral("The picture cannot be turned without loss: it is %1 x %2 pixels, which is not a whole "
                         "number of its %3 x %4 blocks. Trimming the partial blocks at the edges would make it "
                         "%5 x %6.")
              .arg(plan.Size.width())
              .arg(plan.Size.height())
              .arg(plan.Block.width())
              .arg(plan.Block.height())
              .arg(plan.ResultSize.width())
              .arg(plan.ResultSize.height())),
      Plan(plan) {}

TJpegTransformOp JpegTurnTransform(int orientation, int quarterTurns) {
    TJpegTransformOp turn = TJpegTransformOp::jtNone;
    switch (((quarterTurns % 4) + 4) % 4) {
    case 1: turn = TJpegTransformOp::jtRot90; break;
    case 2: turn = TJpegTransformOp::jtRot180; break;
    case 3: turn = TJpegTransformOp::jtRot270; break;
    default: break;
    }
    // First upright, then the turn: the product turn x upright.
    const TMatrix t = MatrixOf(turn), u = MatrixOf(UprightTransform(orientation));
    const TMatrix m = {t[0] * u[0] + t[1] * u[2], t[0] * u[1] + t[1] * u[3], t[2] * u[0] + t[3] * u[2],
                       t[2] * u[1] + t[3] * u[3]};
    for (TJpegTransformOp op : kAllOps)
        if (MatrixOf(op) == m) return op;
    return TJpegTransformOp::jtNone; // not reached: the eight form a group
}

bool IsJpegData(const QByteArray& data) {
    return data.size() >= 3 && uchar(data[0]) == 0xFF && uchar(data[1]) == 0xD8 && uchar(data[2]) == 0xFF;
}

int JpegExifOrientation(const QByteArray& jpeg) {
    const TOrientationField f = FindOrientation(jpeg);
    if (f.Offset < 0) return 1;
    const auto* b = reinterpret_cast<const uchar*>(jpeg.constData()) + f.Offset;
    const int value = f.LittleEndian ? (b[0] | (b[1] << 8)) : ((b[0] << 8) | b[1]);
    return value >= 1 && value <= 8 ? value : 1;
}

bool ResetJpegExifOrientation(QByteArray& jpeg) {
    const TOrientationField f = FindOrientation(jpeg);
    if (f.Offset < 0) return false;
    jpeg[f.Offset] = char(f.LittleEndian ? 1 : 0);
    jpeg[f.Offset + 1] = char(f.LittleEndian ? 0 : 1);
    return true;
}

TJpegTurnPlan PlanJpegTurn(const QByteArray& jpeg, int quarterTurns) {
    CheckSize(jpeg);
    if (!IsJpegData(jpeg)) throw EInvalidGraphic(QStringLiteral("Not a JPEG file"));
    TTurboHandle turbo;
    if (!turbo.Handle) throw EInvalidGraphicOperation(QStringLiteral("Cannot start the JPEG transformer"));
    int width = 0, height = 0, subsamp = 0, colourspace = 0;
    if (tjDecompressHeader3(turbo.Handle, reinterpret_cast<const uchar*>(jpeg.constData()), ulong(jpeg.size()),
                            &width, &height, &subsamp, &colourspace) != 0)
        throw EInvalidGraphic(QStringLiteral("The JPEG file cannot be read: %1").arg(turbo.Error()));
    if (subsamp < 0 || subsamp >= TJ_NUMSAMP)
        throw EInvalidGraphic(QStringLiteral("The JPEG file's colour sampling cannot be transformed"));
    CheckPictureSize(width, height);
    TJpegTurnPlan plan;
    plan.Orientation = JpegExifOrientation(jpeg);
    plan.Op = JpegTurnTransform(plan.Orientation, quarterTurns);
    plan.Size = QSize(width, height);
    plan.Block = QSize(tjMCUWidth[subsamp], tjMCUHeight[subsamp]);
    int w = width, h = height;
    if (NeedsWholeColumns(plan.Op) && w % plan.Block.width() != 0) {
        plan.Perfect = false;
        w -= w % plan.Block.width();
    }
    if (NeedsWholeRows(plan.Op) && h % plan.Block.height() != 0) {
        plan.Perfect = false;
        h -= h % plan.Block.height();
    }
    plan.ResultSize = SwapsSides(plan.Op) ? QSize(h, w) : QSize(w, h);
    return plan;
}

QByteArray TransformJpeg(const QByteArray& jpeg, TJpegTransformOp op, bool trim) {
    CheckSize(jpeg);
    if (!IsJpegData(jpeg)) throw EInvalidGraphic(QStringLiteral("Not a JPEG file"));
    TTurboHandle turbo;
    if (!turbo.Handle) throw EInvalidGraphicOperation(QStringLiteral("Cannot start the JPEG transformer"));
    tjtransform transform;
    std::memset(&transform, 0, sizeof transform);
    transform.op = TurboOp(op);
    // Every marker is copied (TJXOPT_COPYNONE is not given); a progressive file stays progressive.
    transform.options = trim ? TJXOPT_TRIM : TJXOPT_PERFECT;
    if (IsProgressive(jpeg)) transform.options |= TJXOPT_PROGRESSIVE;
    uchar* out = nullptr;
    ulong outSize = 0;
    // Warnings (damaged data) stop the transform: the result would not be the picture the file held.
    const int result = tjTransform(turbo.Handle, reinterpret_cast<const uchar*>(jpeg.constData()), ulong(jpeg.size()),
                                   1, &out, &outSize, &transform, TJFLAG_STOPONWARNING);
    const std::unique_ptr<uchar, void (*)(uchar*)> owned(out, [](uchar* p) {
        if (p) tjFree(p);
    });
    if (result != 0 || !out) throw EInvalidGraphic(QStringLiteral("The JPEG file cannot be turned: %1").arg(turbo.Error()));
    return QByteArray(reinterpret_cast<const char*>(out), qsizetype(outSize));
}

QByteArray RotateJpeg(const QByteArray& jpeg, int quarterTurns, bool trim) {
    const TJpegTurnPlan plan = PlanJpegTurn(jpeg, quarterTurns);
    if (!plan.Perfect && !trim) throw EImperfectTransform(plan);
    QByteArray turned = TransformJpeg(jpeg, plan.Op, trim);
    if (plan.Orientation != 1) ResetJpegExifOrientation(turned);
    return turned;
}

void RotateJpegFile(const QString& source, const QString& dest, int quarterTurns, bool trim) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw EInvalidGraphicOperation(QStringLiteral("Cannot open '%1': %2").arg(source, in.errorString()));
    if (in.size() > kMaxJpegFileSize)
        throw EInvalidGraphic(QStringLiteral("The JPEG file is too large to be turned (%1 MB; at most %2 MB)")
                                  .arg(in.size() >> 20)
                                  .arg(kMaxJpegFileSize >> 20));
    const QByteArray jpeg = in.readAll();
    if (jpeg.size() != in.size())
        throw EInvalidGraphicOperation(QStringLiteral("Cannot read '%1': %2").arg(source, in.errorString()));
    in.close();
    const QByteArray turned = RotateJpeg(jpeg, quarterTurns, trim);
    QSaveFile out(dest);
    if (!out.open(QIODevice::WriteOnly) || out.write(turned) != turned.size() || !out.commit())
        throw EInvalidGraphicOperation(QStringLiteral("Cannot write '%1': %2").arg(dest, out.errorString()));
}
