#include "codec/MetafilePlayer.h"

#include "codec/Bmp.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QFontMetricsF>
#include <QPainterPathStroker>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>

namespace mf {

namespace {

// Output coordinates are kept within this range so the rasteriser's fixed-point arithmetic stays sound.
constexpr double kCoordLimit = 1e6;

double ClampCoord(double v) {
    if (!std::isfinite(v)) return 0;
    return std::clamp(v, -kCoordLimit, kCoordLimit);
}

QPainterPath ClampPath(QPainterPath path) {
    const QRectF b = path.controlPointRect();
    if (b.left() >= -kCoordLimit && b.right() <= kCoordLimit && b.top() >= -kCoordLimit && b.bottom() <= kCoordLimit)
        return path;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        path.setElementPositionAt(i, ClampCoord(e.x), ClampCoord(e.y));
    }
    return path;
}

int RoundCoord(double v) { return int(std::nearbyint(ClampCoord(v))); }

// The 8 x 8 hatch patterns of the display driver (1 = line pixel).
const quint8 kHatches[6][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00}, // horizontal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08}, // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}, // \ (forward diagonal)
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}, // / (backward diagonal)
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08}, // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81}, // diagonal cross
};

const char16_t kCp1252High[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                  0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

} // namespace

QString DecodeAnsi(const uchar* s, qint64 n, int charSet) {
    const char* name = nullptr;
    switch (charSet) {
    case 128: name = "Shift_JIS"; break;
    case 129: name = "EUC-KR"; break;
    case 134: name = "GBK"; break;
    case 136: name = "Big5"; break;
    case 204: name = "windows-1251"; break;
    default: break;
    }
    if (name) {
        QStringDecoder decoder(name);
        if (decoder.isValid()) return decoder.decode(QByteArrayView(reinterpret_cast<const char*>(s), n));
    }
    QString text;
    text.reserve(n);
    for (qint64 i = 0; i < n; ++i) {
        const uchar c = s[i];
        if (c == 0) break;
        if (charSet == 2) // symbol fonts: the private-use area most symbol fonts map to is absent here
            text += QChar(c);
        else
            text += (c >= 0x80 && c < 0xA0) ? QChar(kCp1252High[c - 0x80]) : QChar(c);
    }
    return text;
}

namespace {

// The options of a record's bitmap: colours or indexes into the logical palette, alpha only for alpha
// blending (as the display draws bitmaps), embedded JPEG and PNG pictures, and rows without data black.
TDibOptions RecordDibOptions(const QVector<QRgb>& palette, bool palIndices, bool keepAlpha) {
    TDibOptions options;
    options.Alpha = keepAlpha ? TDibAlpha::Premultiplied : TDibAlpha::None;
    if (palIndices) options.PaletteIndexes = &palette;
    options.Embedded = true;
    options.AllowNoPixels = true;
    if (!keepAlpha) options.Background = qRgb(0, 0, 0);
    return options;
}

} // namespace

QImage DecodeDib(const uchar* info, qint64 infoSize, const uchar* bits, qint64 bitsSize,
                 const QVector<QRgb>& palette, bool palIndices, bool keepAlpha) {
    if (!info || infoSize < 12) return QImage();
    try {
        return DecodeDibApart(info, infoSize, bits, bits ? bitsSize : 0, RecordDibOptions(palette, palIndices, keepAlpha));
    } catch (const EPictureTooLarge&) {
        throw;
    } catch (const EInvalidGraphic&) {
        return QImage(); // a header that is not understood draws nothing
    }
}

QImage DecodePackedDib(const uchar* dib, qint64 size, const QVector<QRgb>& palette, bool palIndices) {
    if (!dib || size < 12) return QImage();
    try {
        return ::DecodeDib(dib, size, 0, 0, RecordDibOptions(palette, palIndices, false));
    } catch (const EPictureTooLarge&) {
        throw;
    } catch (const EInvalidGraphic&) {
        return QImage();
    }
}

TPlayer::TPlayer(QPainter& painter, const QTransform& output, const QRectF& clipRect)
    : FPainter(painter), FOutput(output), FClipRect(clipRect) {
    // Stay within the clip the caller set, if any.
    FBaseClip = QRegion(FClipRect.toAlignedRect());
    if (FPainter.hasClipping()) FBaseClip &= FPainter.clipRegion();
    FPainter.setRenderHint(QPainter::Antialiasing, false);
    FPainter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    ApplyClip();
}

TPlayer::~TPlayer() = default;

QTransform TPlayer::PageToDevice() const {
    double sx = 1, sy = 1;
    switch (FDc.MapMode) {
    case MM_LOMETRIC: sx = FPxPerMmX * 0.1; sy = -FPxPerMmY * 0.1; break;
    case MM_HIMETRIC: sx = FPxPerMmX * 0.01; sy = -FPxPerMmY * 0.01; break;
    case MM_LOENGLISH: sx = FPxPerMmX * 0.254; sy = -FPxPerMmY * 0.254; break;
    case MM_HIENGLISH: sx = FPxPerMmX * 0.0254; sy = -FPxPerMmY * 0.0254; break;
    case MM_TWIPS: sx = FPxPerMmX * 25.4 / 1440; sy = -FPxPerMmY * 25.4 / 1440; break;
    case MM_ISOTROPIC:
    case MM_ANISOTROPIC: {
        const double wx = FDc.WinExt.x() ? FDc.WinExt.x() : 1, wy = FDc.WinExt.y() ? FDc.WinExt.y() : 1;
        sx = FDc.VpExt.x() / wx;
        sy = FDc.VpExt.y() / wy;
        if (FDc.MapMode == MM_ISOTROPIC) {
            const double m = std::min(std::fabs(sx), std::fabs(sy));
            sx = sx < 0 ? -m : m;
            sy = sy < 0 ? -m : m;
        }
        break;
    }
    default: break;
    }
    if (!std::isfinite(sx) || sx == 0) sx = 1;
    if (!std::isfinite(sy) || sy == 0) sy = 1;
    return QTransform(sx, 0, 0, sy, FDc.VpOrg.x() - FDc.WinOrg.x() * sx, FDc.VpOrg.y() - FDc.WinOrg.y() * sy);
}

QTransform TPlayer::Full() const { return FDc.World * PageToDevice() * FOutput; }

QPointF TPlayer::Map(const QPointF& p) const {
    const QPointF q = Full().map(p);
    return QPointF(ClampCoord(q.x()), ClampCoord(q.y()));
}

double TPlayer::DeviceScale() const {
    const double d = std::sqrt(std::fabs(Full().determinant()));
    return std::isfinite(d) ? d : 1;
}

void TPlayer::SetMapMode(int mode) {
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return;
    if ((mode == MM_ISOTROPIC || mode == MM_ANISOTROPIC) && FDc.MapMode != MM_ISOTROPIC &&
        FDc.MapMode != MM_ANISOTROPIC) {
        // The extents of the previous mode carry over, as the display driver does.
        const QTransform t = PageToDevice();
        FDc.WinExt = QPointF(1000, 1000);
        FDc.VpExt = QPointF(1000 * t.m11(), 1000 * t.m22());
    }
    FDc.MapMode = mode;
}

void TPlayer::SaveDC() {
    if (FSaved.size() < 10000) FSaved.push_back(FDc);
}

void TPlayer::RestoreDC(int n) {
    // n < 0: relative to the current state; n > 0: the n-th saved state.
    qint64 target;
    if (n < 0)
        target = qint64(FSaved.size()) + n;
    else
        target = qint64(n) - 1;
    if (target < 0 || target >= qint64(FSaved.size())) return;
    FDc = FSaved[size_t(target)];
    FSaved.resize(size_t(target));
    ApplyClip();
}

QRegion TPlayer::FullRegion() const { return FBaseClip; }

QRegion TPlayer::LogicalToRegion(const QPainterPath& logical) const {
    const QTransform t = Full();
    if (t.type() <= QTransform::TxScale && logical.elementCount() == 5) {
        const QRectF b = t.mapRect(logical.boundingRect());
        if (logical.boundingRect().width() > 0 || logical.boundingRect().height() > 0) {
            const int l = RoundCoord(b.left()), tp = RoundCoord(b.top()), r = RoundCoord(b.right()),
                      bt = RoundCoord(b.bottom());
            return QRegion(l, tp, r - l, bt - tp);
        }
    }
    QRegion region;
    for (const QPolygonF& poly : ClampPath(t.map(logical)).toFillPolygons())
        region += QRegion(poly.toPolygon(), Qt::OddEvenFill);
    return region;
}

void TPlayer::IntersectClip(const QRectF& logical) {
    QPainterPath p;
    p.addRect(logical.normalized());
    const QRegion r = LogicalToRegion(p);
    FDc.Clip = (FDc.HasClip ? FDc.Clip : FullRegion()).intersected(r);
    FDc.HasClip = true;
    ApplyClip();
}

void TPlayer::ExcludeClip(const QRectF& logical) {
    QPainterPath p;
    p.addRect(logical.normalized());
    const QRegion r = LogicalToRegion(p);
    FDc.Clip = (FDc.HasClip ? FDc.Clip : FullRegion()).subtracted(r);
    FDc.HasClip = true;
    ApplyClip();
}

void TPlayer::OffsetClip(const QPointF& logicalDelta) {
    if (!FDc.HasClip) return;
    const QPointF d = Full().map(logicalDelta) - Full().map(QPointF(0, 0));
    FDc.Clip.translate(RoundCoord(d.x()), RoundCoord(d.y()));
    ApplyClip();
}

void TPlayer::CombineClip(const QRegion& region, int mode) {
    const QRegion base = FDc.HasClip ? FDc.Clip : FullRegion();
    switch (mode) {
    case RGN_AND: FDc.Clip = base.intersected(region); break;
    case RGN_OR: FDc.Clip = base.united(region); break;
    case RGN_XOR: FDc.Clip = base.xored(region); break;
    case RGN_DIFF: FDc.Clip = base.subtracted(region); break;
    case RGN_COPY: FDc.Clip = region; break;
    default: return;
    }
    FDc.HasClip = true;
    ApplyClip();
}

void TPlayer::ResetClip() {
    FDc.HasClip = false;
    FDc.Clip = QRegion();
    ApplyClip();
}

void TPlayer::ApplyClip() {
    FPainter.setClipRegion(FDc.HasClip ? FDc.Clip.intersected(FullRegion()) : FullRegion());
}

QPen TPlayer::MakePen() const {
    const TPenDef& def = FDc.Pen;
    const int style = def.Style & 0x0F;
    if (style == PS_NULL) return QPen(Qt::NoPen);
    const double w = def.Width <= 0 ? 1.0 : std::max(1.0, std::min(def.Width * DeviceScale(), 10000.0));
    QPen pen(RopColor(def.Color), w);
    pen.setCosmetic(true);
    const bool wide = w > 1.5;
    switch (def.Style & 0xF00) {
    case 0x100: pen.setCapStyle(Qt::SquareCap); break;
    case 0x200: pen.setCapStyle(Qt::FlatCap); break;
    default: pen.setCapStyle(wide ? Qt::RoundCap : Qt::FlatCap); break;
    }
    switch (def.Style & 0xF000) {
    case 0x1000: pen.setJoinStyle(Qt::BevelJoin); break;
    case 0x2000: pen.setJoinStyle(Qt::MiterJoin); break;
    default: pen.setJoinStyle(Qt::RoundJoin); break;
    }
    QVector<qreal> dashes;
    // Dash lengths in pixels for thin pens (as the display driver draws them), in widths for wide ones.
    switch (style) {
    case PS_DASH: dashes = wide ? QVector<qreal>{3, 1} : QVector<qreal>{18, 6}; break;
    case PS_DOT: dashes = wide ? QVector<qreal>{1, 1} : QVector<qreal>{3, 3}; break;
    case PS_DASHDOT: dashes = wide ? QVector<qreal>{3, 1, 1, 1} : QVector<qreal>{9, 6, 3, 6}; break;
    case PS_DASHDOTDOT: dashes = wide ? QVector<qreal>{3, 1, 1, 1, 1, 1} : QVector<qreal>{9, 3, 3, 3, 3, 3}; break;
    case PS_ALTERNATE: dashes = {1, 1}; break;
    case PS_USERSTYLE: {
        double total = 0;
        for (double d : def.Dashes) {
            const double v = std::max(0.01, std::fabs(d) * DeviceScale() / w);
            dashes << v;
            total += v;
        }
        if (dashes.size() % 2) dashes << dashes.last();
        if (total * w < 2) dashes.clear(); // too fine to see: solid
        break;
    }
    default: break;
    }
    if (!dashes.isEmpty()) pen.setDashPattern(dashes);
    return pen;
}

QColor TPlayer::RopColor(const QColor& c) const {
    switch (FDc.Rop2) {
    case 1: return Qt::black;         // R2_BLACK
    case 16: return Qt::white;        // R2_WHITE
    case 4: return QColor(255 - c.red(), 255 - c.green(), 255 - c.blue()); // R2_NOTCOPYPEN
    default: return c;
    }
}

QBrush TPlayer::MakeBrush(const TBrushDef& b) const {
    switch (b.Style) {
    case BS_NULL: return QBrush(Qt::NoBrush);
    case BS_HATCHED: {
        QImage tile(8, 8, QImage::Format_ARGB32);
        const QRgb back = FDc.BkMode == OPAQUE ? RopColor(FDc.BkColor).rgb() : qRgba(0, 0, 0, 0);
        const QRgb fore = RopColor(b.Color).rgb();
        const int h = b.Hatch >= 0 && b.Hatch < 6 ? b.Hatch : 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) tile.setPixel(x, y, (kHatches[h][y] >> (7 - x)) & 1 ? fore : back);
        return QBrush(tile);
    }
    case BS_PATTERN:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT:
        if (!b.Pattern.isNull()) {
            if (b.MonoPattern && b.Pattern.format() == QImage::Format_Indexed8) {
                QImage p = b.Pattern;
                p.setColorTable({FDc.TextColor.rgb(), FDc.BkColor.rgb()});
                return QBrush(p);
            }
            return QBrush(b.Pattern);
        }
        return QBrush(RopColor(b.Color));
    default: return QBrush(RopColor(b.Color));
    }
}

bool TPlayer::Prepare() {
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    switch (FDc.Rop2) {
    case 11: return false; // R2_NOP
    case 6: mode = QPainter::RasterOp_NotDestination; break;
    case 7: mode = QPainter::RasterOp_SourceXorDestination; break;
    case 9: mode = QPainter::RasterOp_SourceAndDestination; break;
    case 10: mode = QPainter::RasterOp_NotSourceXorDestination; break;
    case 15: mode = QPainter::RasterOp_SourceOrDestination; break;
    case 8: mode = QPainter::RasterOp_NotSourceOrNotDestination; break;
    case 2: mode = QPainter::RasterOp_NotSourceAndNotDestination; break;
    case 3: mode = QPainter::RasterOp_NotSourceAndDestination; break;
    case 5: mode = QPainter::RasterOp_SourceAndNotDestination; break;
    case 12: mode = QPainter::RasterOp_NotSourceOrDestination; break;
    case 14: mode = QPainter::RasterOp_SourceOrNotDestination; break;
    default: break;
    }
    FPainter.setCompositionMode(mode);
    FPainter.setBackgroundMode(FDc.BkMode == OPAQUE ? Qt::OpaqueMode : Qt::TransparentMode);
    FPainter.setBackground(FDc.BkColor);
    return true;
}

void TPlayer::Emit(const QPainterPath& device, bool fill, bool stroke, const QPainterPath* strokeShape) {
    if (!Prepare()) return;
    if (fill && FDc.Brush.Style != BS_NULL) {
        QPainterPath p = device;
        p.setFillRule(FDc.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
        FPainter.fillPath(p, MakeBrush(FDc.Brush));
    }
    if (stroke && (FDc.Pen.Style & 0x0F) != PS_NULL) {
        QPen pen = MakePen();
        const QPainterPath& s = strokeShape ? *strokeShape : device;
        const QRectF b = s.controlPointRect();
        if (pen.style() != Qt::SolidLine && (b.width() > 1e5 || b.height() > 1e5)) pen.setStyle(Qt::SolidLine);
        FPainter.strokePath(s, pen);
    }
}

void TPlayer::DrawPath(const QPainterPath& logical, bool fill, bool stroke) {
    const QPainterPath device = ClampPath(Full().map(logical));
    if (FPathOpen) {
        FPath.addPath(device);
        return;
    }
    Emit(device, fill, stroke, nullptr);
}

void TPlayer::DrawPolyline(const QPolygonF& pts) {
    if (pts.size() < 2) return;
    QPainterPath p;
    p.addPolygon(pts);
    if (FPathOpen) {
        const QPainterPath device = ClampPath(Full().map(p));
        FPath.addPath(device);
        FFigureOpen = true;
        return;
    }
    DrawPath(p, false, true);
}

void TPlayer::PolylineTo(const QPolygonF& pts) {
    if (pts.isEmpty()) return;
    QPolygonF all;
    all << FDc.CurPos << pts;
    FDc.CurPos = pts.last();
    if (FPathOpen) {
        if (!FFigureOpen) FPath.moveTo(Map(all.first()));
        for (int i = 1; i < all.size(); ++i) FPath.lineTo(Map(all[i]));
        FFigureOpen = true;
        return;
    }
    QPainterPath p;
    p.addPolygon(all);
    DrawPath(p, false, true);
}

void TPlayer::BezierTo(const QPolygonF& pts) {
    const int n = int(pts.size()) / 3 * 3;
    if (n == 0) return;
    QPainterPath logical(FDc.CurPos);
    for (int i = 0; i < n; i += 3) logical.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
    FDc.CurPos = pts[n - 1];
    if (FPathOpen) {
        if (!FFigureOpen) FPath.moveTo(Map(logical.elementAt(0)));
        const QPainterPath d = Full().map(logical);
        for (int i = 1; i + 2 < d.elementCount(); i += 3)
            FPath.cubicTo(d.elementAt(i), d.elementAt(i + 1), d.elementAt(i + 2));
        FFigureOpen = true;
        return;
    }
    DrawPath(logical, false, true);
}

void TPlayer::DrawPolygons(const QVector<QPolygonF>& polys) {
    QPainterPath p;
    for (const QPolygonF& poly : polys) {
        if (poly.size() < 2) continue;
        p.addPolygon(poly);
        p.closeSubpath();
    }
    if (p.isEmpty()) return;
    DrawPath(p, true, true);
}

bool TPlayer::DeviceBox(const QRectF& logical, QRectF& fillBox, QRectF& strokeBox) const {
    const QTransform t = Full();
    if (t.type() > QTransform::TxScale) return false;
    const QRectF b = t.mapRect(logical.normalized());
    fillBox = QRectF(QPointF(RoundCoord(b.left()), RoundCoord(b.top())), QPointF(RoundCoord(b.right()), RoundCoord(b.bottom())));
    strokeBox = fillBox.adjusted(0, 0, -1, -1);
    if (strokeBox.width() < 0) strokeBox.setWidth(0);
    if (strokeBox.height() < 0) strokeBox.setHeight(0);
    return true;
}

void TPlayer::DrawShape(const QRectF& box, const std::function<void(QPainterPath&, const QRectF&)>& build) {
    QRectF fillBox, strokeBox;
    if (DeviceBox(box, fillBox, strokeBox)) {
        QPainterPath f, s;
        build(f, fillBox);
        build(s, strokeBox);
        if (FPathOpen) {
            FPath.addPath(f);
            return;
        }
        Emit(f, true, true, &s);
        return;
    }
    QPainterPath p;
    build(p, box.normalized());
    DrawPath(p, true, true);
}

void TPlayer::DrawRect(const QRectF& r) {
    DrawShape(r, [](QPainterPath& p, const QRectF& b) { p.addRect(b); });
}

void TPlayer::DrawRoundRect(const QRectF& r, const QSizeF& corner) {
    const double sx = r.width() ? std::fabs(corner.width() / r.width()) : 0;
    const double sy = r.height() ? std::fabs(corner.height() / r.height()) : 0;
    DrawShape(r, [sx, sy](QPainterPath& p, const QRectF& b) {
        p.addRoundedRect(b, std::min(b.width() / 2, sx * b.width() / 2), std::min(b.height() / 2, sy * b.height() / 2));
    });
}

void TPlayer::DrawEllipse(const QRectF& r) {
    DrawShape(r, [](QPainterPath& p, const QRectF& b) { p.addEllipse(b); });
}

QPainterPath TPlayer::ArcPath(const QRectF& box, const QPointF& start, const QPointF& end, TArcKind kind,
                              bool clockwise) {
    QPainterPath p;
    const QRectF b = box.normalized();
    const double rx = b.width() / 2, ry = b.height() / 2;
    if (rx <= 0 || ry <= 0) return p;
    const QPointF c = b.center();
    // Angles in the y-down plane, measured anticlockwise as seen, on the ellipse's parameter.
    auto angleOf = [&](const QPointF& q) {
        return std::atan2(-(q.y() - c.y()) / ry, (q.x() - c.x()) / rx) * 180 / M_PI;
    };
    const double a0 = angleOf(start), a1 = angleOf(end);
    double sweep = a1 - a0;
    if (!clockwise) {
        while (sweep <= 0) sweep += 360;
    } else {
        while (sweep >= 0) sweep -= 360;
    }
    if (kind == akPie) {
        p.moveTo(c);
        p.arcTo(b, a0, sweep);
        p.closeSubpath();
    } else {
        p.arcMoveTo(b, a0);
        p.arcTo(b, a0, sweep);
        if (kind == akChord) p.closeSubpath();
    }
    return p;
}

void TPlayer::DrawArc(const QRectF& box, const QPointF& start, const QPointF& end, TArcKind kind) {
    QRectF fillBox, strokeBox;
    const bool mirrored = Full().determinant() < 0;
    if (DeviceBox(box, fillBox, strokeBox)) {
        const QPointF s = Map(start), e = Map(end);
        const QPainterPath f = ArcPath(fillBox, s, e, kind, FDc.ArcClockwise);
        const QPainterPath st = ArcPath(strokeBox, s, e, kind, FDc.ArcClockwise);
        if (FPathOpen) {
            if (kind == akArc && FFigureOpen) FPath.lineTo(f.elementAt(0));
            FPath.addPath(f);
            return;
        }
        Emit(f, kind != akArc, true, &st);
        return;
    }
    // Rotated: build in logical units; a mirroring transform turns the direction as seen.
    DrawPath(ArcPath(box, start, end, kind, FDc.ArcClockwise != mirrored), kind != akArc, true);
}

void TPlayer::MoveTo(const QPointF& p) {
    FDc.CurPos = p;
    if (FPathOpen) {
        FPath.moveTo(Map(p));
        FFigureOpen = true;
    }
}

void TPlayer::LineTo(const QPointF& p) { PolylineTo(QPolygonF() << p); }

void TPlayer::SetPixel(const QPointF& p, const QColor& c) {
    if (FPathOpen) return;
    const QPointF d = Map(p);
    FPainter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    FPainter.fillRect(QRectF(std::floor(d.x()), std::floor(d.y()), 1, 1), c);
}

QFont TPlayer::MakeFont(double& pixelSize) const {
    const TFontDef& f = FDc.Font;
    const QTransform t = Full();
    const double sy = std::hypot(t.m21(), t.m22());
    double h = f.Height == 0 ? 16 * std::sqrt(std::fabs(FOutput.determinant())) : std::fabs(f.Height) * sy;
    if (!std::isfinite(h)) h = 1;
    QFont font(f.Face.isEmpty() ? QStringLiteral("DejaVu Sans") : f.Face);
    switch (f.PitchAndFamily & 0xF0) {
    case 0x10: font.setStyleHint(QFont::Serif); break;
    case 0x30: font.setStyleHint(QFont::TypeWriter); break;
    case 0x40: font.setStyleHint(QFont::Cursive); break;
    case 0x50: font.setStyleHint(QFont::Decorative); break;
    default: font.setStyleHint((f.PitchAndFamily & 3) == 1 ? QFont::TypeWriter : QFont::SansSerif); break;
    }
    font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::PreferMatch));
    font.setKerning(false);
    font.setWeight(QFont::Weight(std::clamp(f.Weight == 0 ? 400 : f.Weight, 100, 900)));
    font.setItalic(f.Italic);
    font.setUnderline(f.Underline);
    font.setStrikeOut(f.StrikeOut);
    h = std::clamp(h, 1.0, 20000.0);
    font.setPixelSize(std::max(1, int(std::lround(h))));
    if (f.Height > 0) { // cell height: ascent plus descent
        const QFontMetricsF fm(font);
        const double cell = fm.ascent() + fm.descent();
        if (cell > 0) font.setPixelSize(std::max(1, int(std::lround(h * h / cell))));
    }
    if (f.Width != 0) {
        const QFontMetricsF fm(font);
        const double avg = fm.averageCharWidth();
        const double want = std::fabs(f.Width) * std::hypot(t.m11(), t.m12());
        if (avg > 0) font.setStretch(std::clamp(int(std::lround(want / avg * 100)), 1, 4000));
    }
    pixelSize = font.pixelSize();
    return font;
}

void TPlayer::DrawText(const QPointF& ref, const QString& text, const std::vector<double>& dx, int options,
                       const QRectF* rect, bool useCurPos) {
    if (FPathOpen) return;
    const QTransform t = Full();
    FPainter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (rect && (options & ETO_OPAQUE)) {
        const QPolygonF box = t.map(QPolygonF(rect->normalized()));
        QPainterPath p;
        p.addPolygon(box);
        FPainter.fillPath(ClampPath(p), FDc.BkColor);
    }
    if (text.isEmpty()) return;
    double pixelSize = 0;
    const QFont font = MakeFont(pixelSize);
    const QFontMetricsF fm(font);
    const double sx = std::hypot(t.m11(), t.m12());
    const bool align = (FDc.TextAlign & TA_UPDATECP) && useCurPos;
    const QPointF pos = align ? FDc.CurPos : ref;
    const QPointF origin = Map(pos);

    std::vector<double> adv(size_t(text.size()));
    const bool haveDx = dx.size() >= size_t(text.size());
    double width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        adv[size_t(i)] = haveDx ? dx[size_t(i)] * sx : fm.horizontalAdvance(text[i]) + FDc.CharExtra * sx;
        width += adv[size_t(i)];
    }
    if (!std::isfinite(width)) return;
    double x0 = 0, y0 = 0;
    switch (FDc.TextAlign & TA_CENTER) {
    case TA_CENTER: x0 = -width / 2; break;
    case TA_RIGHT: x0 = -width; break;
    default: break;
    }
    switch (FDc.TextAlign & TA_BASELINE) {
    case TA_BASELINE: break;
    case TA_BOTTOM: y0 = -fm.descent(); break;
    default: y0 = fm.ascent(); break;
    }
    FPainter.save();
    if (rect && (options & ETO_CLIPPED)) {
        QPainterPath clip;
        clip.addPolygon(t.map(QPolygonF(rect->normalized())));
        FPainter.setClipPath(ClampPath(clip), Qt::IntersectClip);
    }
    FPainter.translate(origin);
    const double escapement = FDc.Font.Escapement / 10.0;
    double angle = -escapement;
    // A world transform rotates the text with it.
    angle += std::atan2(t.m12(), t.m11()) * 180 / M_PI;
    if (angle != 0) FPainter.rotate(angle);
    if (FDc.BkMode == OPAQUE)
        FPainter.fillRect(QRectF(x0, y0 - fm.ascent(), width, fm.ascent() + fm.descent()), FDc.BkColor);
    FPainter.setFont(font);
    FPainter.setPen(FDc.TextColor);
    FPainter.setBackgroundMode(Qt::TransparentMode);
    if (!haveDx && FDc.CharExtra == 0) {
        FPainter.drawText(QPointF(x0, y0), text);
    } else {
        double x = x0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            FPainter.drawText(QPointF(x, y0), QString(text[i]));
            x += adv[size_t(i)];
        }
    }
    FPainter.restore();
    if (align && sx > 0) {
        const double rad = angle * M_PI / 180;
        const QPointF end = origin + QPointF(width * std::cos(rad), width * std::sin(rad));
        bool ok = false;
        const QTransform inv = t.inverted(&ok);
        if (ok) FDc.CurPos = inv.map(end);
    }
}

QPainter::CompositionMode TPlayer::RopMode(quint32 rop, bool& skip, int& fill) const {
    skip = false;
    fill = 0;
    switch (rop) {
    case 0x00CC0020: return QPainter::CompositionMode_SourceOver;         // SRCCOPY
    case 0x00EE0086: return QPainter::RasterOp_SourceOrDestination;       // SRCPAINT
    case 0x008800C6: return QPainter::RasterOp_SourceAndDestination;      // SRCAND
    case 0x00660046: return QPainter::RasterOp_SourceXorDestination;      // SRCINVERT
    case 0x00330008: return QPainter::RasterOp_NotSource;                 // NOTSRCCOPY
    case 0x00440328: return QPainter::RasterOp_SourceAndNotDestination;   // SRCERASE
    case 0x001100A6: return QPainter::RasterOp_NotSourceAndNotDestination; // NOTSRCERASE
    case 0x00BB0226: return QPainter::RasterOp_NotSourceOrDestination;    // MERGEPAINT
    case 0x00AA0029: skip = true; return QPainter::CompositionMode_SourceOver; // destination unchanged
    case 0x00000042: fill = 1; return QPainter::CompositionMode_SourceOver; // BLACKNESS
    case 0x00FF0062: fill = 2; return QPainter::CompositionMode_SourceOver; // WHITENESS
    case 0x00550009: fill = 3; return QPainter::RasterOp_NotDestination;  // DSTINVERT
    case 0x00F00021: fill = 4; return QPainter::CompositionMode_SourceOver; // PATCOPY
    case 0x005A0049: fill = 4; return QPainter::RasterOp_SourceXorDestination; // PATINVERT
    default: return QPainter::CompositionMode_SourceOver;
    }
}

void TPlayer::DrawBitmap(const QImage& image, const QRectF& src, const QRectF& dest, quint32 rop) {
    if (FPathOpen) return;
    bool skip = false;
    int fill = 0;
    const QPainter::CompositionMode mode = RopMode(rop, skip, fill);
    if (skip) return;
    if (fill || image.isNull()) {
        PatBlt(dest, rop);
        return;
    }
    QRectF s = src;
    if (s.width() <= 0 || s.height() <= 0) s = QRectF(image.rect());
    if (dest.width() == 0 || dest.height() == 0) return;
    const double kx = dest.width() / s.width(), ky = dest.height() / s.height();
    const QTransform m(kx, 0, 0, ky, dest.left() - s.left() * kx, dest.top() - s.top() * ky);
    const QTransform t = m * Full();
    if (!std::isfinite(t.m11()) || !std::isfinite(t.m22()) || !std::isfinite(t.dx()) || !std::isfinite(t.dy())) return;
    const QRectF target = t.mapRect(s);
    if (target.width() > 4 * kCoordLimit || target.height() > 4 * kCoordLimit) return;
    FPainter.save();
    FPainter.setCompositionMode(mode);
    FPainter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (t.type() <= QTransform::TxScale && t.m11() > 0 && t.m22() > 0) {
        // Snap to whole pixels so a picture placed 1:1 is copied exactly.
        const QRectF snapped(QPointF(std::nearbyint(target.left()), std::nearbyint(target.top())),
                             QPointF(std::nearbyint(target.right()), std::nearbyint(target.bottom())));
        if (!snapped.isEmpty()) FPainter.drawImage(snapped, image, s);
    } else {
        FPainter.setTransform(t, true);
        FPainter.drawImage(s, image, s);
    }
    FPainter.restore();
}

void TPlayer::PatBlt(const QRectF& dest, quint32 rop) {
    if (FPathOpen) return;
    bool skip = false;
    int fill = 0;
    QPainter::CompositionMode mode = RopMode(rop, skip, fill);
    if (skip) return;
    QPainterPath logical;
    logical.addRect(dest.normalized());
    const QPainterPath device = ClampPath(Full().map(logical));
    QBrush brush;
    switch (fill) {
    case 1: brush = QBrush(Qt::black); break;
    case 2: brush = QBrush(Qt::white); break;
    case 3: brush = QBrush(Qt::white); break;
    default:
        if (FDc.Brush.Style == BS_NULL) return;
        brush = MakeBrush(FDc.Brush);
        if (fill == 0) mode = QPainter::CompositionMode_SourceOver;
        break;
    }
    FPainter.save();
    FPainter.setCompositionMode(mode);
    FPainter.fillPath(device, brush);
    FPainter.restore();
}

void TPlayer::FillRegion(const QRegion& region, const TBrushDef& brush, bool invert) {
    if (FPathOpen || region.isEmpty()) return;
    FPainter.save();
    if (invert) {
        FPainter.setCompositionMode(QPainter::RasterOp_NotDestination);
        for (const QRect& r : region) FPainter.fillRect(r, Qt::white);
    } else if (brush.Style != BS_NULL) {
        Prepare();
        const QBrush b = MakeBrush(brush);
        for (const QRect& r : region) FPainter.fillRect(r, b);
    }
    FPainter.restore();
}

void TPlayer::BeginPath() {
    FPathOpen = true;
    FFigureOpen = false;
    FPath = QPainterPath();
}

void TPlayer::CloseFigure() {
    if (FPathOpen) {
        FPath.closeSubpath();
        FFigureOpen = false;
    }
}

void TPlayer::FillStrokePath(bool fill, bool stroke) {
    FPathOpen = false;
    const QPainterPath p = FPath;
    FPath = QPainterPath();
    if (p.isEmpty()) return;
    Emit(p, fill, stroke, nullptr);
}

void TPlayer::WidenPath() {
    if (FPath.isEmpty()) return;
    QPainterPathStroker stroker;
    stroker.setWidth(std::max(1.0, FDc.Pen.Width * DeviceScale()));
    FPath = stroker.createStroke(FPath);
}

void TPlayer::SelectClipPath(int mode) {
    FPathOpen = false;
    QPainterPath p = FPath;
    FPath = QPainterPath();
    p.setFillRule(FDc.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    QRegion region;
    // Clamped like every other path, so a hostile coordinate cannot reach the region code.
    for (const QPolygonF& poly : ClampPath(p).toFillPolygons())
        region += QRegion(poly.toPolygon(), FDc.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    CombineClip(region, mode);
}

} // namespace mf
