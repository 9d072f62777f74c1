#include "formats/cad/DXF_structs.h"

#include "formats/cad/DXF_Utils.h"
#include "formats/cad/DXF_read.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPaintDevice>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2 * kPi;
constexpr double kDegree = kPi / 180;

// Sweep of an arc from a to b counter-clockwise, in (0, 2 pi]; equal angles give the full circle.
double SweepOf(double a, double b) {
    double s = std::fmod(b - a, kTwoPi);
    if (!std::isfinite(s)) return 0;
    if (s <= 1e-12) s += kTwoPi;
    return s;
}

int Round(double v) { return int(std::nearbyint(v)); }

double Len(QPointF v) { return std::hypot(v.x(), v.y()); }

// The estimated advance of a text for extents (the canvas measures exactly when drawing).
double EstimatedWidth(const QString& text, double height, double widthFactor) {
    return 0.8 * height * text.size() * (widthFactor > 0 ? widthFactor : 1.0);
}

// Clips the segment a-b to the box (Liang-Barsky); false when nothing is left.
bool ClipLine(const QRectF& box, QPointF& a, QPointF& b) {
    double t0 = 0, t1 = 1;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - box.left(), box.right() - a.x(), a.y() - box.top(), box.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0) {
            if (r > t1) return false;
            t0 = std::max(t0, r);
        } else {
            if (r < t0) return false;
            t1 = std::min(t1, r);
        }
    }
    const QPointF a0 = a;
    a = QPointF(a0.x() + t0 * dx, a0.y() + t0 * dy);
    b = QPointF(a0.x() + t1 * dx, a0.y() + t1 * dy);
    return true;
}

// Sutherland-Hodgman clipping of a closed polygon to the box.
void ClipPolygon(const QRectF& box, std::vector<QPointF>& poly) {
    std::vector<QPointF> out;
    for (int edge = 0; edge < 4 && !poly.empty(); ++edge) {
        auto inside = [&](const QPointF& p) {
            switch (edge) {
            case 0: return p.x() >= box.left();
            case 1: return p.x() <= box.right();
            case 2: return p.y() >= box.top();
            default: return p.y() <= box.bottom();
            }
        };
        auto cut = [&](const QPointF& a, const QPointF& b) {
            double t;
            switch (edge) {
            case 0: t = (box.left() - a.x()) / (b.x() - a.x()); break;
            case 1: t = (box.right() - a.x()) / (b.x() - a.x()); break;
            case 2: t = (box.top() - a.y()) / (b.y() - a.y()); break;
            default: t = (box.bottom() - a.y()) / (b.y() - a.y()); break;
            }
            return QPointF(a.x() + t * (b.x() - a.x()), a.y() + t * (b.y() - a.y()));
        };
        out.clear();
        for (size_t i = 0; i < poly.size(); ++i) {
            const QPointF& cur = poly[i];
            const QPointF& prev = poly[(i + poly.size() - 1) % poly.size()];
            const bool ci = inside(cur), pi = inside(prev);
            if (ci) {
                if (!pi) out.push_back(cut(prev, cur));
                out.push_back(cur);
            } else if (pi) {
                out.push_back(cut(prev, cur));
            }
        }
        poly.swap(out);
    }
}

QFont TextFont() {
    static const bool substituted = [] {
        // The drawing font of DXF text is a Roman (serif) face.
        QFont::insertSubstitutions(QStringLiteral("FF_ROMAN"),
                                   {QStringLiteral("DejaVu Serif"), QStringLiteral("Liberation Serif"),
                                    QStringLiteral("FreeSerif"), QStringLiteral("Times New Roman")});
        return true;
    }();
    (void)substituted;
    QFont f(QStringLiteral("FF_ROMAN"));
    f.setStyleHint(QFont::Serif);
    f.setPixelSize(100);
    return f;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Colours

const TColor DXF_ColourTable[13] = {0x000000, 0x0000FF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0x800080,
                                    0x000000, 0x008080, 0xFF00FF, 0x808000, 0x808080, 0x808080};

TColor DxfColourOf(int n) {
    const long long a = n < 0 ? -static_cast<long long>(n) : n;
    return DXF_ColourTable[a % 13];
}

// ---------------------------------------------------------------------------------------------------------
// Canvas

DXF_Canvas::DXF_Canvas(QPainter& painter, double scale, double left, double top, int lineWidth, bool fillSolid)
    : Painter(painter), Scale(scale), Left(left), Top(top), FillSolid(fillSolid) {
    FPen = QPen(QColor(Qt::black), lineWidth);
    if (lineWidth > 1) {
        FPen.setCapStyle(Qt::RoundCap);
        FPen.setJoinStyle(Qt::RoundJoin);
    }
    Painter.setPen(FPen);
    Painter.setBrush(fillSolid ? QBrush(Qt::black) : QBrush(Qt::NoBrush));
    // Everything outside the device (in drawing coordinates of the painter) is clipped here, so the
    // painter only ever sees small coordinates.
    QRectF device(-1e6, -1e6, 2e6, 2e6);
    if (QPaintDevice* d = Painter.device()) {
        device = QRectF(0, 0, d->width(), d->height());
        bool invertible = false;
        const QTransform inverse = Painter.transform().inverted(&invertible);
        if (invertible) device = inverse.mapRect(device);
    }
    const double margin = lineWidth + 4;
    FBox = device.adjusted(-margin, -margin, margin, margin);
    FBox = FBox.intersected(QRectF(-1e7, -1e7, 2e7, 2e7));
    FFont = TextFont();
    const QFontMetricsF fm(FFont);
    if (fm.capHeight() > 10) FCapRatio = fm.capHeight() / 100.0;
}

double DXF_Canvas::PixelsPerUnit(const Matrix4* m) const {
    const Point3D ux = MapVector({1, 0, 0}, m), uy = MapVector({0, 1, 0}, m);
    const double k = std::max(std::hypot(ux.x, ux.y), std::hypot(uy.x, uy.y)) * Scale;
    return std::isfinite(k) ? k : 0.0;
}

void DXF_Canvas::SetColour(TColor colour) {
    if (colour == FColour && Painter.pen().color() == FPen.color()) return;
    FColour = colour;
    FPen.setColor(ToQColor(colour));
    Painter.setPen(FPen);
}

void DXF_Canvas::Line(QPointF a, QPointF b) {
    if (!ClipLine(FBox, a, b)) return;
    Painter.drawLine(QPoint(Round(a.x()), Round(a.y())), QPoint(Round(b.x()), Round(b.y())));
}

void DXF_Canvas::Poly(const QPointF* p, int n, bool closed) {
    if (n <= 0) return;
    if (n == 1) {
        Pixel(p[0]);
        return;
    }
    static thread_local std::vector<QPoint> ints;
    bool inside = true;
    for (int i = 0; i < n && inside; ++i) inside = Inside(p[i]);
    if (inside) {
        ints.resize(size_t(n));
        for (int i = 0; i < n; ++i) ints[size_t(i)] = QPoint(Round(p[i].x()), Round(p[i].y()));
        if (closed)
            Painter.drawPolygon(ints.data(), n);
        else
            Painter.drawPolyline(ints.data(), n);
        return;
    }
    if (closed && FillSolid) {
        std::vector<QPointF> poly(p, p + n);
        ClipPolygon(FBox, poly);
        if (poly.empty()) return;
        ints.resize(poly.size());
        for (size_t i = 0; i < poly.size(); ++i) ints[i] = QPoint(Round(poly[i].x()), Round(poly[i].y()));
        Painter.drawPolygon(ints.data(), int(ints.size()));
        return;
    }
    // Partly outside: clip segment by segment and draw the connected runs.
    ints.clear();
    const int segments = closed ? n : n - 1;
    for (int i = 0; i < segments; ++i) {
        QPointF a = p[i], b = p[(i + 1) % n];
        const bool whole = Inside(a) && Inside(b);
        if (!whole && !ClipLine(FBox, a, b)) {
            if (ints.size() > 1) Painter.drawPolyline(ints.data(), int(ints.size()));
            ints.clear();
            continue;
        }
        const QPoint ia(Round(a.x()), Round(a.y())), ib(Round(b.x()), Round(b.y()));
        if (ints.empty() || ints.back() != ia || !Inside(p[i])) {
            if (ints.size() > 1) Painter.drawPolyline(ints.data(), int(ints.size()));
            ints.clear();
            ints.push_back(ia);
        }
        ints.push_back(ib);
        if (!Inside(p[(i + 1) % n])) {
            Painter.drawPolyline(ints.data(), int(ints.size()));
            ints.clear();
        }
    }
    if (ints.size() > 1) Painter.drawPolyline(ints.data(), int(ints.size()));
}

void DXF_Canvas::Contours(const std::vector<std::vector<QPointF>>& contours) {
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    std::vector<QPointF> poly;
    for (const auto& c : contours) {
        if (c.size() < 2) continue;
        poly = c;
        ClipPolygon(FBox, poly);
        if (poly.size() < 2) continue;
        QPolygonF q;
        q.reserve(qsizetype(poly.size()) + 1);
        for (const QPointF& pt : poly) q << QPointF(Round(pt.x()), Round(pt.y()));
        q << q.first();
        path.addPolygon(q);
    }
    if (!path.isEmpty()) Painter.drawPath(path);
}

void DXF_Canvas::Pixel(QPointF p) {
    if (!Inside(p)) return;
    Painter.drawPoint(QPoint(Round(p.x()), Round(p.y())));
}

void DXF_Canvas::Cross(QPointF p) {
    if (!Inside(p)) return;
    const int x = Round(p.x()), y = Round(p.y());
    Painter.drawLine(x - 2, y - 2, x + 2, y + 2);
    Painter.drawLine(x - 2, y + 2, x + 2, y - 2);
}

void DXF_Canvas::SetFontPixels(int pixels) {
    if (pixels == FFontPixels) return;
    FFontPixels = pixels;
    FFont.setPixelSize(pixels);
    Painter.setFont(FFont);
}

double DXF_Canvas::TextWidth(const QString& text) {
    SetFontPixels(100);
    return QFontMetricsF(FFont).horizontalAdvance(text) / (FCapRatio * 100.0);
}

void DXF_Canvas::Text(const QString& text, QPointF origin, QPointF ux, QPointF uy, double height, int hAlign,
                      int vAlign, double widthFactor, double fitWidth, bool keepAspect) {
    if (text.isEmpty()) return;
    const double factor = widthFactor > 0 && std::isfinite(widthFactor) ? widthFactor : 1.0;
    const bool fit = fitWidth > 0 && std::isfinite(fitWidth);
    if (fit && keepAspect) {
        // Aligned: the line keeps its proportions, so its height is what makes it exactly as long as the
        // distance between its two points; the height written in the file does not matter.
        const double unit = TextWidth(text) * factor; // length of the line for a height of 1
        if (unit > 0 && std::isfinite(unit)) height = fitWidth / unit;
    }
    if (!(height > 0)) return;
    const double pixels = height * Len(uy);
    if (!(pixels >= 1.0) || !std::isfinite(pixels) || !std::isfinite(Len(ux))) return; // below a pixel
    // A text whose anchor is far off the device cannot reach it unless it is long.
    const double along = fit ? fitWidth * Len(ux) : pixels * (text.size() + 2) * factor;
    const double reach = 2 * (along + 2 * pixels);
    if (!std::isfinite(reach) || origin.x() < FBox.left() - reach || origin.x() > FBox.right() + reach ||
        origin.y() < FBox.top() - reach || origin.y() > FBox.bottom() + reach)
        return;
    const int fontPixels = std::clamp(Round(pixels / FCapRatio), 1, 2000);
    SetFontPixels(fontPixels);
    const QFontMetricsF fm(FFont);
    const double k = height / (FCapRatio * fontPixels); // drawing units per font pixel
    const double w = fm.horizontalAdvance(text);
    double sx = factor;
    // Fitted: the advance as measured in the font that draws it spans the distance exactly.
    if (fit && w > 0) sx = fitWidth / (w * k);
    if (!(sx > 1e-4 && sx < 1e4)) return;
    const double x0 = hAlign == 1 ? -w / 2 : hAlign == 2 ? -w : 0.0;
    const double cap = FCapRatio * fontPixels;
    const double y0 = vAlign == 1 ? -fm.descent() : vAlign == 2 ? cap / 2 : vAlign == 3 ? cap : 0.0;
    const QTransform t(ux.x() * k * sx, ux.y() * k * sx, -uy.x() * k, -uy.y() * k, origin.x(), origin.y());
    // Upright text at about its font size is drawn untransformed (hinted glyphs); a fitted line only
    // when that misses its end by less than half a pixel.
    const bool upright = std::abs(t.m12()) < 1e-6 && std::abs(t.m21()) < 1e-6 && std::abs(t.m11() - 1) < 0.08 &&
                         std::abs(t.m22() - 1) < 0.08 && (!fit || std::abs(t.m11() - 1) * w < 0.5);
    if (upright) {
        Painter.drawText(QPointF(origin.x() + x0, origin.y() + y0), text);
        return;
    }
    const QTransform old = Painter.transform();
    Painter.setTransform(t * old);
    Painter.drawText(QPointF(x0, y0), text);
    Painter.setTransform(old);
}

// ---------------------------------------------------------------------------------------------------------
// DXF_Entity

void DXF_Entity::SetExtrusion(const Point3D& normal) {
    FExtrusion = normal;
    if (normal == Point3D{0, 0, 1}) {
        FMatrix.reset();
        return;
    }
    Point3D ax, ay;
    ArbitraryAxes(normal, ax, ay);
    FMatrix = std::make_unique<Matrix4>(AxesMatrix(ax, ay, normal));
}

void DXF_Entity::SetColourNumber(int n) {
    FColourNumber = n;
    FDisplayColour = DxfColourOf(n);
}

void DXF_Entity::SetDisplayColour(TColor c) {
    FDisplayColour = c;
    FColourNumber = 0;
    for (int i = 12; i >= 0; --i)
        if (DXF_ColourTable[i] == c) {
            FColourNumber = i;
            break;
        }
}

const Matrix4* DXF_Entity::Effective(const Matrix4* incoming, Matrix4& scratch) const {
    return Combine(FMatrix.get(), incoming, scratch);
}

bool DXF_Entity::BeginRender(DXF_Canvas& canvas) const {
    if (--canvas.Budget < 0) return false;
    canvas.SetColour(FDisplayColour);
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// Block_

Block_::Block_(QString name, const Point3D& basePoint) : FName(std::move(name)), FBase(basePoint) {
    if (!(basePoint == Point3D{})) FMatrix = std::make_unique<Matrix4>(TranslationMatrix(basePoint * -1.0));
}

void Block_::LinkBlocks(const DXF_BlockIndex& blocks) {
    for (auto& m : FMembers) m->LinkBlocks(blocks);
}

namespace {
struct TBusyGuard {
    bool& Flag;
    explicit TBusyGuard(bool& f) : Flag(f) { Flag = true; }
    ~TBusyGuard() { Flag = false; }
};
} // namespace

void Block_::Render(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (FBusy || canvas.Budget <= 0) return; // a block that inserts itself is drawn once
    TBusyGuard guard(FBusy);
    Matrix4 scratch;
    const Matrix4* e = Effective(incoming, scratch);
    const Matrix4 copy = e ? *e : Matrix4();
    for (const auto& m : FMembers) {
        if (canvas.Budget <= 0) break;
        m->Render(canvas, e ? &copy : nullptr);
    }
}

void Block_::RenderVertices(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (FBusy) return;
    TBusyGuard guard(FBusy);
    Matrix4 scratch;
    const Matrix4* e = Effective(incoming, scratch);
    const Matrix4 copy = e ? *e : Matrix4();
    for (const auto& m : FMembers) m->RenderVertices(canvas, e ? &copy : nullptr);
}

bool Block_::LocalExtents(Point3D& max, Point3D& min) const {
    if (FExtentsState == 0) {
        if (FBusy) return false;
        TBusyGuard guard(FBusy);
        Point3D hi{-INFINITY, -INFINITY, -INFINITY}, lo{INFINITY, INFINITY, INFINITY};
        for (const auto& m : FMembers) m->GrowExtents(hi, lo, FMatrix.get());
        const bool known = hi.x >= lo.x && hi.y >= lo.y;
        FExtMax = hi, FExtMin = lo;
        if (!(hi.z >= lo.z)) FExtMax.z = FExtMin.z = 0;
        FExtentsState = known ? 2 : 1;
    }
    if (FExtentsState != 2) return false;
    max = FExtMax, min = FExtMin;
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// Point_, Line_

Point_::Point_(const Point3D& normal, int colourNumber, const Point3D& position) : FPosition(position) {
    SetColourNumber(colourNumber);
    SetExtrusion(normal);
}

void Point_::Render(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (!BeginRender(canvas)) return;
    Matrix4 s;
    QPointF p;
    if (canvas.Map(FPosition, Effective(incoming, s), p)) canvas.Cross(p);
}

void Point_::RenderVertices(DXF_Canvas& canvas, const Matrix4* incoming) const {
    canvas.SetColour(FDisplayColour);
    Matrix4 s;
    QPointF p;
    if (canvas.Map(FPosition, Effective(incoming, s), p)) canvas.Cross(p);
}

void Point_::Offset(const Point3D& v) { FPosition = FPosition + v; }

void Point_::GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const {
    Matrix4 s;
    GrowOver(max, min, FPosition, Effective(incoming, s));
}

Line_::Line_(const Point3D& start, int colourNumber, const Point3D& end) : Point_({0, 0, 1}, colourNumber, start), FEnd(end) {}

void Line_::Render(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (!BeginRender(canvas)) return;
    QPointF a, b;
    if (canvas.Map(FPosition, incoming, a) && canvas.Map(FEnd, incoming, b)) canvas.Line(a, b);
}

void Line_::RenderVertices(DXF_Canvas& canvas, const Matrix4* incoming) const {
    canvas.SetColour(FDisplayColour);
    QPointF p;
    if (canvas.Map(FPosition, incoming, p)) canvas.Cross(p);
    if (canvas.Map(FEnd, incoming, p)) canvas.Cross(p);
}

void Line_::Offset(const Point3D& v) {
    FPosition = FPosition + v;
    FEnd = FEnd + v;
}

void Line_::GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const {
    GrowOver(max, min, FPosition, incoming);
    GrowOver(max, min, FEnd, incoming);
}

// ---------------------------------------------------------------------------------------------------------
// Text_, Attrib_, Attdef_

Text_::Text_(const Point3D& normal, int justification, int colourNumber, double height, QString text,
             const Point3D& alignPoint, const Point3D& position, const DXF_TextStyle& style)
    : Point_(normal, colourNumber, position), FHeight(height), FText(std::move(text)),
      FAlignPoint(alignPoint == Point3D{} ? position : alignPoint), FJustification(justification), FStyle(style) {}

namespace {
// Where a text line starts and how it runs: anchor, direction (radians), alignment and fitted width.
struct TTextPlacement {
    Point3D Anchor;
    double Rotation;
    int HAlign, VAlign;
    double Fit = 0;          // length of a fitted or aligned line, 0 for other texts
    bool KeepAspect = false; // aligned: the height follows the length
};

TTextPlacement PlaceText(const Point3D& position, const Point3D& align, int h, int v, double rotationDegrees) {
    TTextPlacement r{(h == 0 && v == 0) ? position : align, rotationDegrees * kDegree, h, v};
    if (h == 3 || h == 5) { // aligned and fit: the text runs from the first point to the second
        r.Anchor = position;
        const Point3D d = align - position;
        if (d.x != 0 || d.y != 0) {
            r.Rotation = std::atan2(d.y, d.x);
            r.Fit = std::hypot(d.x, d.y);
            r.KeepAspect = h == 3;
        }
        r.HAlign = 0, r.VAlign = 0;
    } else if (h == 4) { // middle: centred both ways
        r.HAlign = 1, r.VAlign = 2;
    } else if (h < 0 || h > 2) {
        r.HAlign = 0;
    }
    if (r.VAlign < 0 || r.VAlign > 3) r.VAlign = 0;
    return r;
}
} // namespace

void Text_::DrawText(DXF_Canvas& canvas, const Matrix4* incoming, const QString& text) const {
    Matrix4 s;
    const Matrix4* e = Effective(incoming, s);
    const TTextPlacement t = PlaceText(FPosition, FAlignPoint, FJustification, FStyle.VAlign, FStyle.Rotation);
    const Point3D dx{std::cos(t.Rotation), std::sin(t.Rotation), 0}, dy{-std::sin(t.Rotation), std::cos(t.Rotation), 0};
    QPointF o, px, py;
    if (!canvas.Map(t.Anchor, e, o) || !canvas.Map(t.Anchor + dx, e, px) || !canvas.Map(t.Anchor + dy, e, py)) return;
    QPointF ux = px - o, uy = py - o;
    if (FStyle.Generation & 2) ux = -ux;
    if (FStyle.Generation & 4) uy = -uy;
    canvas.Text(text, o, ux, uy, FHeight, t.HAlign, t.VAlign, FStyle.WidthFactor, t.Fit, t.KeepAspect);
}

void Text_::Render(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (!BeginRender(canvas)) return;
    DrawText(canvas, incoming, FText);
}

void Text_::GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const {
    Matrix4 s;
    const Matrix4* e = Effective(incoming, s);
    const TTextPlacement t = PlaceText(FPosition, FAlignPoint, FJustification, FStyle.VAlign, FStyle.Rotation);
    const double w = t.Fit > 0 ? t.Fit : EstimatedWidth(FText, FHeight, FStyle.WidthFactor);
    double height = FHeight;
    if (t.KeepAspect) { // aligned: as tall as the estimated proportions of the line make it
        const double unit = EstimatedWidth(FText, 1.0, FStyle.WidthFactor);
        if (unit > 0) height = w / unit;
    }
    const double x0 = t.HAlign == 1 ? -w / 2 : t.HAlign == 2 ? -w : 0.0;
    const double y0 = t.VAlign == 2 ? -height / 2 : t.VAlign == 3 ? -height : 0.0;
    const double c = std::cos(t.Rotation), sn = std::sin(t.Rotation);
    for (double x : {x0, x0 + w})
        for (double y : {y0, y0 + height})
            GrowOver(max, min, {t.Anchor.x + x * c - y * sn, t.Anchor.y + x * sn + y * c, t.Anchor.z}, e);
}

Attrib_::Attrib_(const Point3D& normal, int colourNumber, double height, int justification, int flags, QString value,
                 QString tag, const Point3D& alignPoint, const Point3D& position, const DXF_TextStyle& style)
    : Text_(normal, justification, colourNumber, height, std::move(tag), alignPoint, position, style),
      FValue(std::move(value)), FVisible((flags & 1) == 0) {}

void Attrib_::Render(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (!FVisible || !BeginRender(canvas)) return;
    DrawText(canvas, incoming, FValue);
}

Attdef_::Attdef_(const Point3D& normal, int colourNumber, double height, int justification, int flags, QString prompt,
                 QString defaultValue, QString tag, const Point3D& alignPoint, const Point3D& position,
                 const DXF_TextStyle& style)
    : Attrib_(normal, colourNumber, height, justification, flags, std::move(defaultValue), std::move(tag), alignPoint,
              position, style),
      FPrompt(std::move(prompt)) {}

// ---------------------------------------------------------------------------------------------------------
// Insert_, Dimension_

Insert_::Insert_(const Point3D& normal, QString blockName, std::vector<std::unique_ptr<Attrib_>> attributes,
                 int colourNumber, double rotation, const Point3D& scale, const Point3D& position)
    : Point_(normal, colourNumber, position), FBlockName(std::move(blockName)), FAttributes(std::move(attributes)),
      FScale(scale), FRotation(rotation * kDegree) {
    SetExtrusion(normal);
}

Matrix4 Insert_::CopyMatrix(int column, int row) const {
    // DXF scales the block first, then rotates it, then moves it to the insertion point of the insert's
    // coordinate system.
    Point3D at = FPosition;
    if (column || row) {
        const double dx = column * FColumnSpacing, dy = row * FRowSpacing;
        at.x += dx * std::cos(FRotation) - dy * std::sin(FRotation);
        at.y += dx * std::sin(FRotation) + dy * std::cos(FRotation);
    }
    Matrix4 m = ScaleMatrix(FScale) * RotationMatrix(FRotation) * TranslationMatrix(at);
    if (!(FExtrusion == Point3D{0, 0, 1})) {
        Point3D ax, ay;
        ArbitraryAxes(FExtrusion, ax, ay);
        m = m * AxesMatrix(ax, ay, FExtrusion);
    }
    return m;
}

void Insert_::SetExtrusion(const Point3D& normal) {
    FExtrusion = normal;
    FMatrix = std::make_unique<Matrix4>(CopyMatrix(0, 0));
}

void Insert_::SetArray(int columns, int rows, double columnSpacing, double rowSpacing) {
    FColumns = std::max(1, columns);
    FRows = std::max(1, rows);
    // At most 10000 copies; further columns and rows are not drawn.
    while (qint64(FColumns) * FRows > 10000) (FColumns > FRows ? FColumns : FRows) /= 2;
    FColumnSpacing = columnSpacing, FRowSpacing = rowSpacing;
}

void Insert_::LinkBlocks(const DXF_BlockIndex& blocks) {
    if (FBlockName.isEmpty() || FBlock) return;
    const auto it = blocks.find(FBlockName.toUpper().toStdString());
    if (it == blocks.end()) throw Exception(QStringLiteral("Block reference %1 not found").arg(FBlockName));
    FBlock = it->second;
}

void Insert_::Render(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (!BeginRender(canvas)) return;
    for (const auto& a : FAttributes) a->Render(canvas, incoming);
    if (!FBlock || canvas.Depth >= 64) return;
    ++canvas.Depth;
    for (int r = 0; r < FRows; ++r)
        for (int c = 0; c < FColumns; ++c) {
            Matrix4 e = (c || r) ? CopyMatrix(c, r) : *FMatrix;
            if (incoming) e = e * *incoming;
            FBlock->Render(canvas, &e);
        }
    --canvas.Depth;
}

void Insert_::RenderVertices(DXF_Canvas& canvas, const Matrix4* incoming) const {
    canvas.SetColour(FDisplayColour);
    QPointF p;
    Point3D at = FPosition;
    if (!(FExtrusion == Point3D{0, 0, 1})) {
        Point3D ax, ay;
        ArbitraryAxes(FExtrusion, ax, ay);
        at = at * AxesMatrix(ax, ay, FExtrusion);
    }
    if (canvas.Map(at, incoming, p)) canvas.Cross(p);
}

void Insert_::GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const {
    for (const auto& a : FAttributes)
        if (a->Visible()) a->GrowExtents(max, min, incoming);
    Point3D hi, lo;
    if (!FBlock || !FBlock->LocalExtents(hi, lo)) {
        Matrix4 s;
        GrowOver(max, min, {0, 0, 0}, Combine(FMatrix.get(), incoming, s));
        return;
    }
    for (int r : {0, FRows - 1})
        for (int c : {0, FColumns - 1}) {
            Matrix4 e = CopyMatrix(c, r);
            if (incoming) e = e * *incoming;
            for (int k = 0; k < 8; ++k)
                GrowOver(max, min, {(k & 1) ? hi.x : lo.x, (k & 2) ? hi.y : lo.y, (k & 4) ? hi.z : lo.z}, &e);
        }
}

Dimension_::Dimension_(const Point3D& normal, QString blockName, int colourNumber)
    : Insert_(normal, std::move(blockName), {}, colourNumber, 0, {1, 1, 1}, {0, 0, 0}) {}

// ---------------------------------------------------------------------------------------------------------
// Circle_, Arc_, Ellipse_

Circle_::Circle_(const Point3D& normal, int colourNumber, double radius, const Point3D& centre)
    : Point_(normal, colourNumber, centre), FRadius(radius) {}

namespace {
// Draws the ellipse arc c + u cos t + v sin t (device vectors) from t0 through sweep.
void DrawDeviceArc(DXF_Canvas& canvas, QPointF c, QPointF u, QPointF v, double t0, double sweep, bool closed) {
    const double r = std::max(Len(u), Len(v));
    if (!(r >= 1.0)) {
        canvas.Pixel(c);
        return;
    }
    const int full = CircleSegments(r);
    const int n = closed ? full : std::max(2, int(std::ceil(full * sweep / kTwoPi)));
    auto& pts = canvas.Points;
    pts.resize(size_t(closed ? n : n + 1));
    for (size_t i = 0; i < pts.size(); ++i) {
        const double t = t0 + sweep * double(i) / n;
        const double ct = std::cos(t), st = std::sin(t);
        pts[i] = QPointF(c.x() + u.x() * ct + v.x() * st, c.y() + u.y() * ct + v.y() * st);
    }
    canvas.Poly(pts.data(), int(pts.size()), closed);
}
} // namespace

void Circle_::Render(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (!BeginRender(canvas)) return;
    Matrix4 s;
    const Matrix4* e = Effective(incoming, s);
    QPointF c, px, py;
    if (!canvas.Map(FPosition, e, c) || !canvas.Map(FPosition + Point3D{FRadius, 0, 0}, e, px) ||
        !canvas.Map(FPosition + Point3D{0, FRadius, 0}, e, py))
        return;
    DrawDeviceArc(canvas, c, px - c, py - c, 0, kTwoPi, true);
}

void Circle_::GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const {
    Matrix4 s;
    GrowOverArc(max, min, FPosition, {FRadius, 0, 0}, {0, FRadius, 0}, 0, kTwoPi, Effective(incoming, s));
}

Arc_::Arc_(const Point3D& normal, int colourNumber, double endAngle, double startAngle, double radius, const Point3D& centre)
    : Circle_(normal, colourNumber, radius, centre), FStart(startAngle * kDegree), FEnd(endAngle * kDegree) {}

void Arc_::Render(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (!BeginRender(canvas)) return;
    Matrix4 s;
    const Matrix4* e = Effective(incoming, s);
    QPointF c, px, py;
    if (!canvas.Map(FPosition, e, c) || !canvas.Map(FPosition + Point3D{FRadius, 0, 0}, e, px) ||
        !canvas.Map(FPosition + Point3D{0, FRadius, 0}, e, py))
        return;
    DrawDeviceArc(canvas, c, px - c, py - c, FStart, SweepOf(FStart, FEnd), false);
}

void Arc_::GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const {
    Matrix4 s;
    GrowOverArc(max, min, FPosition, {FRadius, 0, 0}, {0, FRadius, 0}, FStart, SweepOf(FStart, FEnd),
                Effective(incoming, s));
}

Ellipse_::Ellipse_(const Point3D& normal, int colourNumber, const Point3D& centre, const Point3D& majorAxis,
                   double ratio, double startParam, double endParam)
    : Point_({0, 0, 1}, colourNumber, centre), FMajor(majorAxis), FStart(startParam), FEnd(endParam) {
    FMinor = Cross(Normalise(normal), majorAxis) * ratio;
    FExtrusion = normal;
}

void Ellipse_::SetExtrusion(const Point3D& normal) {
    // Centre and axes are world coordinates: no coordinate system of its own.
    FExtrusion = normal;
    FMatrix.reset();
}

void Ellipse_::Render(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (!BeginRender(canvas)) return;
    QPointF c, pu, pv;
    if (!canvas.Map(FPosition, incoming, c) || !canvas.Map(FPosition + FMajor, incoming, pu) ||
        !canvas.Map(FPosition + FMinor, incoming, pv))
        return;
    const double sweep = SweepOf(FStart, FEnd);
    DrawDeviceArc(canvas, c, pu - c, pv - c, FStart, sweep, sweep >= kTwoPi - 1e-9);
}

void Ellipse_::GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const {
    GrowOverArc(max, min, FPosition, FMajor, FMinor, FStart, SweepOf(FStart, FEnd), incoming);
}

// ---------------------------------------------------------------------------------------------------------
// Polylines and faces

Polyline_::Polyline_(const Point3D& normal, bool closed, int colourNumber, std::vector<Point3D> points,
                     std::vector<double> bulges)
    : FClosed(closed), FPoints(std::move(points)), FBulges(std::move(bulges)) {
    SetExtrusion(normal);
    if (!FBulges.empty() && FBulges.size() != FPoints.size()) FBulges.resize(FPoints.size(), 0.0);
    if (!FBulges.empty() && std::all_of(FBulges.begin(), FBulges.end(), [](double b) { return b == 0; })) FBulges.clear();
    if (!FClosed && FPoints.size() > 1 && FPoints.front() == FPoints.back()) {
        FClosed = true;
        FPoints.pop_back();
        if (!FBulges.empty()) FBulges.pop_back();
    }
    SetColourNumber(colourNumber);
}

const std::vector<Point3D>& Polyline_::Outline(DXF_Canvas& canvas, double pixelsPerUnit) const {
    auto& out = canvas.Vertices;
    out.clear();
    if (FPoints.empty()) return out;
    out.push_back(FPoints[0]);
    const size_t n = FPoints.size();
    const size_t segments = FClosed ? n : n - 1;
    for (size_t i = 0; i < segments; ++i) AppendBulge(out, FPoints[i], FPoints[(i + 1) % n], FBulges[i], pixelsPerUnit);
    if (FClosed && out.size() > 1) out.pop_back(); // back at the first point
    return out;
}

void Polyline_::DrawMapped(DXF_Canvas& canvas, const std::vector<Point3D>& points, const Matrix4* m, bool closed) const {
    auto& pts = canvas.Points;
    pts.resize(points.size());
    size_t k = 0;
    for (const Point3D& p : points)
        if (canvas.Map(p, m, pts[k])) ++k; // a point that cannot be mapped is left out
    canvas.Poly(pts.data(), int(k), closed);
}

void Polyline_::Render(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (FPoints.empty() || !BeginRender(canvas)) return;
    Matrix4 s;
    const Matrix4* e = Effective(incoming, s);
    if (FBulges.empty()) {
        DrawMapped(canvas, FPoints, e, FClosed);
        return;
    }
    const std::vector<Point3D>& outline = Outline(canvas, canvas.PixelsPerUnit(e));
    // Outline lives in canvas.Vertices; DrawMapped only uses canvas.Points.
    DrawMapped(canvas, outline, e, FClosed);
}

void Polyline_::RenderVertices(DXF_Canvas& canvas, const Matrix4* incoming) const {
    canvas.SetColour(FDisplayColour);
    Matrix4 s;
    const Matrix4* e = Effective(incoming, s);
    QPointF p;
    for (const Point3D& v : FPoints)
        if (canvas.Map(v, e, p)) canvas.Cross(p);
}

void Polyline_::Offset(const Point3D& v) {
    for (Point3D& p : FPoints) p = p + v;
}

void Polyline_::GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const {
    Matrix4 s;
    const Matrix4* e = Effective(incoming, s);
    for (const Point3D& p : FPoints) GrowOver(max, min, p, e);
    if (FBulges.empty()) return;
    std::vector<Point3D> arc;
    const size_t n = FPoints.size();
    for (size_t i = 0; i < (FClosed ? n : n - 1); ++i) {
        if (FBulges[i] == 0) continue;
        arc.clear();
        const double chord = Distance2D(FPoints[i], FPoints[(i + 1) % n]);
        AppendBulge(arc, FPoints[i], FPoints[(i + 1) % n], FBulges[i], chord > 0 ? 100.0 / chord : 1.0);
        for (const Point3D& p : arc) GrowOver(max, min, p, e);
    }
}

Face3D_::Face3D_(int count, bool closed, int colourNumber, const Point3D* points)
    : Polyline_({0, 0, 1}, closed, colourNumber, std::vector<Point3D>(points, points + std::clamp(count, 0, 4))) {}

namespace {
std::vector<Point3D> SolidOrder(const Point3D* p, int count) {
    if (count >= 4) return {p[0], p[1], p[3], p[2]};
    return std::vector<Point3D>(p, p + std::max(count, 0));
}
} // namespace

Solid_::Solid_(const Point3D& normal, double thickness, int colourNumber, const Point3D* points, int count)
    : Face3D_(0, true, colourNumber, points), FThickness(thickness) {
    FPoints = SolidOrder(points, count);
    SetExtrusion(normal);
}

Polygon_mesh_::Polygon_mesh_(int count, int colourNumber, int flags, const Point3D* points, int n, int m)
    // Built closed so that a first vertex equal to the last is kept: the mesh needs all M x N points.
    : Polyline_({0, 0, 1}, true, colourNumber, std::vector<Point3D>(points, points + std::max(count, 0))),
      FM(m), FN(n), FClosedM(flags & 1), FClosedN(flags & 32) {
    FClosed = false;
}

void Polygon_mesh_::Render(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (FM <= 0 || FN <= 0 || qint64(FM) * FN > qint64(FPoints.size()) || !BeginRender(canvas)) return;
    auto& pts = canvas.Points;
    pts.resize(FPoints.size());
    std::vector<bool> ok(FPoints.size());
    for (size_t i = 0; i < FPoints.size(); ++i) ok[i] = canvas.Map(FPoints[i], incoming, pts[i]);
    std::vector<QPointF> line;
    auto flush = [&](bool closed) {
        canvas.Poly(line.data(), int(line.size()), closed);
        line.clear();
    };
    for (int i = 0; i < FM; ++i) {
        for (int j = 0; j < FN; ++j)
            if (ok[size_t(i * FN + j)]) line.push_back(pts[size_t(i * FN + j)]);
        flush(FClosedN);
    }
    for (int j = 0; j < FN; ++j) {
        for (int i = 0; i < FM; ++i)
            if (ok[size_t(i * FN + j)]) line.push_back(pts[size_t(i * FN + j)]);
        flush(FClosedM);
    }
}

Polyface_mesh_::Polyface_mesh_(int vertexCount, int colourNumber, std::vector<TFace> faces, const Point3D* points)
    : Polyline_({0, 0, 1}, true, colourNumber, std::vector<Point3D>(points, points + std::max(vertexCount, 0))),
      FFaces(std::move(faces)) {}

void Polyface_mesh_::Render(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (!BeginRender(canvas)) return;
    QPointF face[4];
    for (const TFace& f : FFaces) {
        int k = 0;
        for (int idx : f) {
            if (idx < 0) break;
            if (size_t(idx) >= FPoints.size()) continue; // index beyond the vertices: left out
            if (canvas.Map(FPoints[size_t(idx)], incoming, face[k])) ++k;
        }
        canvas.Poly(face, k, true);
    }
}

namespace {
std::vector<Point3D> SplineCurve(int flags, int degree, const std::vector<double>& knots,
                                 const std::vector<double>& weights, const std::vector<Point3D>& controls,
                                 const std::vector<Point3D>& fit) {
    std::vector<Point3D> out;
    if (controls.size() >= 2)
        EvaluateSpline(out, degree, knots, weights, controls, flags & 1);
    else
        InterpolateFitPoints(out, fit, flags & 1);
    return out;
}
} // namespace

Spline_::Spline_(const Point3D& normal, int colourNumber, int flags, int degree, const std::vector<double>& knots,
                 const std::vector<double>& weights, const std::vector<Point3D>& controlPoints,
                 const std::vector<Point3D>& fitPoints)
    : Polyline_({0, 0, 1}, false, colourNumber, SplineCurve(flags, degree, knots, weights, controlPoints, fitPoints)),
      FDefining(fitPoints.empty() ? controlPoints : fitPoints) {
    FExtrusion = normal;
}

void Spline_::RenderVertices(DXF_Canvas& canvas, const Matrix4* incoming) const {
    canvas.SetColour(FDisplayColour);
    QPointF p;
    for (const Point3D& v : FDefining)
        if (canvas.Map(v, incoming, p)) canvas.Cross(p);
}

// ---------------------------------------------------------------------------------------------------------
// MText_

MText_::MText_(const Point3D& normal, int colourNumber, const Point3D& position, double height, double rotation,
               const Point3D& xAxis, int attachment, double lineSpacing, const QString& text)
    : Point_({0, 0, 1}, colourNumber, position), FHeight(height), FAttachment(attachment < 1 || attachment > 9 ? 1 : attachment),
      FLineSpacing(lineSpacing > 0 && std::isfinite(lineSpacing) ? lineSpacing : 1.0), FLines(DecodeMText(text)) {
    FExtrusion = normal;
    // The position is a world point; the direction comes from the x axis when given, else from the
    // rotation in the plane of the extrusion direction. It is kept as an angle in the world x-y plane.
    Point3D dir = xAxis;
    if (Length(dir) == 0 || !std::isfinite(Length(dir))) {
        Point3D ax{1, 0, 0}, ay{0, 1, 0};
        if (!(normal == Point3D{0, 0, 1})) ArbitraryAxes(normal, ax, ay);
        const double r = rotation * kDegree;
        dir = ax * std::cos(r) + ay * std::sin(r);
    }
    FRotation = std::atan2(dir.y, dir.x);
}

void MText_::Render(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (!BeginRender(canvas)) return;
    const Point3D dx{std::cos(FRotation), std::sin(FRotation), 0}, dy{-std::sin(FRotation), std::cos(FRotation), 0};
    QPointF o, px, py;
    if (!canvas.Map(FPosition, incoming, o) || !canvas.Map(FPosition + dx, incoming, px) ||
        !canvas.Map(FPosition + dy, incoming, py))
        return;
    const QPointF ux = px - o, uy = py - o;
    const int row = (FAttachment - 1) / 3, column = (FAttachment - 1) % 3;
    const double spacing = FHeight * 5.0 / 3.0 * FLineSpacing;
    const double total = FHeight + spacing * (FLines.size() - 1);
    const double top = row == 0 ? 0.0 : row == 1 ? total / 2 : total;
    for (qsizetype i = 0; i < FLines.size(); ++i) {
        const double base = top - FHeight - spacing * i; // baseline, along the up direction
        canvas.Text(FLines[i], o + uy * base, ux, uy, FHeight, column, 0);
    }
}

void MText_::GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const {
    double w = 0;
    for (const QString& l : FLines) w = std::max(w, EstimatedWidth(l, FHeight, 1.0));
    const double spacing = FHeight * 5.0 / 3.0 * FLineSpacing;
    const double total = FHeight + spacing * (FLines.size() - 1);
    const int row = (FAttachment - 1) / 3, column = (FAttachment - 1) % 3;
    const double x0 = column == 0 ? 0.0 : column == 1 ? -w / 2 : -w;
    const double y1 = row == 0 ? 0.0 : row == 1 ? total / 2 : total;
    const double c = std::cos(FRotation), s = std::sin(FRotation);
    for (double x : {x0, x0 + w})
        for (double y : {y1 - total, y1})
            GrowOver(max, min, {FPosition.x + x * c - y * s, FPosition.y + x * s + y * c, FPosition.z}, incoming);
}

// ---------------------------------------------------------------------------------------------------------
// Hatch_

Hatch_::Hatch_(const Point3D& normal, int colourNumber, std::vector<std::vector<Point3D>> paths, bool solid)
    : FPaths(std::move(paths)), FSolid(solid) {
    SetExtrusion(normal);
    SetColourNumber(colourNumber);
}

void Hatch_::Render(DXF_Canvas& canvas, const Matrix4* incoming) const {
    if (!BeginRender(canvas)) return;
    Matrix4 s;
    const Matrix4* e = Effective(incoming, s);
    std::vector<std::vector<QPointF>> contours;
    contours.reserve(FPaths.size());
    for (const auto& path : FPaths) {
        std::vector<QPointF> c;
        c.reserve(path.size());
        QPointF q;
        for (const Point3D& p : path)
            if (canvas.Map(p, e, q)) c.push_back(q);
        if (!canvas.FillSolid)
            canvas.Poly(c.data(), int(c.size()), true);
        else
            contours.push_back(std::move(c));
    }
    if (canvas.FillSolid) canvas.Contours(contours);
}

void Hatch_::Offset(const Point3D& v) {
    for (auto& path : FPaths)
        for (Point3D& p : path) p = p + v;
}

int Hatch_::PointCount() const {
    size_t n = 0;
    for (const auto& p : FPaths) n += p.size();
    return int(n);
}

void Hatch_::GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const {
    Matrix4 s;
    const Matrix4* e = Effective(incoming, s);
    for (const auto& path : FPaths)
        for (const Point3D& p : path) GrowOver(max, min, p, e);
}

// ---------------------------------------------------------------------------------------------------------
// Containers

void Entity_List::RenderAll(DXF_Canvas& canvas, const Matrix4* m) const {
    for (const auto& e : FEntities) {
        if (canvas.Budget <= 0) return;
        e->Render(canvas, m);
    }
}

void Entity_List::RenderAllVertices(DXF_Canvas& canvas, const Matrix4* m) const {
    for (const auto& e : FEntities) e->RenderVertices(canvas, m);
}

void Entity_List::GrowExtents(Point3D& max, Point3D& min) const {
    for (const auto& e : FEntities) e->GrowExtents(max, min, nullptr);
}

void DXF_Layer::AddEntity(std::unique_ptr<DXF_Entity> entity) {
    const int n = entity->ColourNumber();
    if (n == 0 || n == 256) entity->SetColourNumber(FColourNumber);
    const char* name = entity->ListName();
    for (auto& list : FLists)
        if (list->Name() == QLatin1String(name)) {
            list->Add(std::move(entity));
            return;
        }
    GetOrCreateList(QLatin1String(name)).Add(std::move(entity));
}

Entity_List& DXF_Layer::GetOrCreateList(const QString& name) {
    for (auto& list : FLists)
        if (list->Name() == name) return *list;
    FLists.push_back(std::make_unique<Entity_List>(name, this));
    FNames.append(name);
    if (FNames.size() != qsizetype(FLists.size())) throw Exception(QStringLiteral("Entity list ID mismatch"));
    return *FLists.back();
}

void DXF_Layer::RemoveList(int i) {
    FLists.erase(FLists.begin() + i);
    FNames.removeAt(i);
    if (FNames.size() != qsizetype(FLists.size()))
        throw Exception(QStringLiteral("Internal error : Layer lists and names mismatch"));
}

void DXF_Layer::GrowExtents(Point3D& max, Point3D& min) const {
    for (const auto& list : FLists) list->GrowExtents(max, min);
}

DXF_Object::DXF_Object(const QString& fileName, const TProgress& progress) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EInvalidGraphic(QStringLiteral("Cannot open %1: %2").arg(fileName, file.errorString()));
    FFileName = QFileInfo(fileName).fileName();
    // Parsed straight from the mapped file when the system allows it: no copy of the bytes.
    if (uchar* mapped = file.size() > 0 ? file.map(0, file.size()) : nullptr) {
        Load(QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), qsizetype(file.size())), progress);
        file.unmap(mapped);
        return;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EInvalidGraphic(QStringLiteral("Cannot read %1: %2").arg(fileName, file.errorString()));
    Load(data, progress);
}

DXF_Object::DXF_Object(const QByteArray& data, const QString& name, const TProgress& progress) {
    FFileName = QFileInfo(name).fileName();
    Load(data, progress);
}

void DXF_Object::Load(const QByteArray& data, const TProgress& progress) {
    DXF_Reader reader(data, progress);
    reader.ReadFile();
    FExtMin = reader.ExtentsMin();
    FExtMax = reader.ExtentsMax();
    FLayers = reader.TakeLayers();
    FMessages = reader.Messages();
    FIsDxf = reader.Recognised() || !FLayers.empty();
}

DXF_Layer& DXF_Object::GetOrCreateLayer(const QString& name) {
    for (auto& l : FLayers)
        if (l->Name() == name) return *l;
    FLayers.push_back(std::make_unique<DXF_Layer>(name, 0));
    return *FLayers.back();
}

void DXF_Object::MergeFrom(DXF_Object& other) {
    GetOrCreateLayer(QStringLiteral("0")).GetOrCreateList(QStringLiteral("Block_"));
    for (auto& layer : other.FLayers) {
        DXF_Layer& target = GetOrCreateLayer(layer->Name());
        for (int i = 0; i < layer->ListCount(); ++i) {
            Entity_List& from = layer->List(i);
            Entity_List& to = target.GetOrCreateList(from.Name());
            auto& src = from.Entities();
            // Inserts keep the blocks they were linked to: the blocks move along and stay alive.
            for (auto it = src.rbegin(); it != src.rend(); ++it) to.Add(std::move(*it));
            src.clear();
        }
    }
}

void DXF_Object::RemoveEmptyLists() {
    for (int l = int(FLayers.size()) - 1; l >= 0; --l) {
        DXF_Layer& layer = *FLayers[size_t(l)];
        for (int i = layer.ListCount() - 1; i >= 0; --i)
            if (layer.List(i).Count() == 0) layer.RemoveList(i);
        if (layer.ListCount() == 0) FLayers.erase(FLayers.begin() + l);
    }
}

void DXF_Object::ListEntities(std::vector<DXF_IndexLine>& index) const {
    index.push_back({FFileName, nullptr, nullptr});
    for (const auto& layer : FLayers) {
        index.push_back({QStringLiteral("  ") + layer->Name(), layer.get(), nullptr});
        for (int i = 0; i < layer->ListCount(); ++i)
            index.push_back({QStringLiteral("    ") + layer->List(i).Name(), layer.get(), &layer->List(i)});
    }
}

// ---------------------------------------------------------------------------------------------------------
// Editing, inspection and writing

namespace {
void Pair(QIODevice& file, int code, const QByteArray& value) {
    const QByteArray line = QByteArray::number(code) + '\n' + value + '\n';
    if (file.write(line) != line.size()) throw EWriteError();
}
void Pair(QIODevice& file, int code, const QString& value) { Pair(file, code, value.toUtf8()); }
void Pair(QIODevice& file, int code, double value) { Pair(file, code, QByteArray::number(value, 'g', 17)); }
void Pair(QIODevice& file, int code, int value) { Pair(file, code, QByteArray::number(value)); }

// Even-odd point-in-polygon test in x and y.
bool InsidePolygon(const std::vector<Point3D>& poly, const Point3D& p) {
    bool inside = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const Point3D& a = poly[i];
        const Point3D& b = poly[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) inside = !inside;
    }
    return inside;
}
} // namespace

void DXF_Entity::SnapToGrid(int axes, double factor) {
    if (!(factor != 0) || !std::isfinite(factor)) return;
    std::vector<const Point3D*> points;
    StoredPoints(points);
    auto snap = [factor](double& v) { v = std::nearbyint(v * factor) / factor; };
    for (const Point3D* c : points) {
        Point3D* p = const_cast<Point3D*>(c);
        if (axes & 1) snap(p->x);
        if (axes & 2) snap(p->y);
        if (axes & 4) snap(p->z);
    }
}

double DXF_Entity::NearestVertexDistance2(const Point3D& p) const {
    std::vector<const Point3D*> points;
    StoredPoints(points);
    double best = INFINITY;
    for (const Point3D* v : points) best = std::min(best, Distance2D2(*v, p));
    return best;
}

Point3D DXF_Entity::NearestVertex(const Point3D& p) const {
    std::vector<const Point3D*> points;
    StoredPoints(points);
    Point3D best;
    double d = INFINITY;
    for (const Point3D* v : points)
        if (Distance2D2(*v, p) < d) d = Distance2D2(*v, p), best = *v;
    return best;
}

bool DXF_Entity::ReplaceVertex(const Point3D& oldPoint, const Point3D& newPoint) {
    std::vector<const Point3D*> points;
    StoredPoints(points);
    for (const Point3D* v : points)
        if (*v == oldPoint) {
            *const_cast<Point3D*>(v) = newPoint;
            return true;
        }
    return false;
}

void DXF_Entity::WritePointGroups(QIODevice& file, int code, const Point3D& p) {
    Pair(file, code, p.x);
    Pair(file, code + 10, p.y);
    Pair(file, code + 20, p.z);
}

void DXF_Entity::WriteHead(QIODevice& file, const QString& layerName) const {
    Pair(file, 0, DxfTypeName());
    Pair(file, 8, layerName);
    Pair(file, 62, FColourNumber);
}

void DXF_Entity::WriteExtrusion(QIODevice& file) const {
    if (!(FExtrusion == Point3D{0, 0, 1})) WritePointGroups(file, 210, FExtrusion);
}

void DXF_Entity::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    std::vector<const Point3D*> points;
    StoredPoints(points);
    if (!points.empty()) WritePointGroups(file, 10, *points[0]);
    WriteExtrusion(file);
}

QString DXF_Entity::Describe() const {
    QStringList lines{DxfTypeName(), QStringLiteral("Colour %1").arg(FColourNumber)};
    std::vector<const Point3D*> points;
    StoredPoints(points);
    for (const Point3D* p : points) lines << QStringLiteral("%1, %2, %3").arg(p->x).arg(p->y).arg(p->z);
    return lines.join(QLatin1Char('\n'));
}

void Block_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    Pair(file, 2, FName);
    Pair(file, 70, 0);
    WritePointGroups(file, 10, FBase);
    for (const auto& m : FMembers) m->WriteGroups(file, layerName);
    Pair(file, 0, QByteArray("ENDBLK"));
    Pair(file, 8, layerName);
}

void Point_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    WritePointGroups(file, 10, FPosition);
    WriteExtrusion(file);
}

void Line_::StoredPoints(std::vector<const Point3D*>& out) const {
    out.push_back(&FPosition);
    out.push_back(&FEnd);
}

void Line_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    WritePointGroups(file, 10, FPosition);
    WritePointGroups(file, 11, FEnd);
}

void Text_::StoredPoints(std::vector<const Point3D*>& out) const {
    out.push_back(&FPosition);
    out.push_back(&FAlignPoint);
}

void Text_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    WritePointGroups(file, 10, FPosition);
    Pair(file, 40, FHeight);
    Pair(file, 1, FText);
    Pair(file, 50, FStyle.Rotation);
    Pair(file, 41, FStyle.WidthFactor);
    Pair(file, 71, FStyle.Generation);
    Pair(file, 72, FJustification);
    WritePointGroups(file, 11, FAlignPoint);
    Pair(file, 73, FStyle.VAlign);
    WriteExtrusion(file);
}

void Attrib_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    WritePointGroups(file, 10, FPosition);
    Pair(file, 40, FHeight);
    Pair(file, 1, FValue);
    Pair(file, 2, FText);
    if (auto* def = dynamic_cast<const Attdef_*>(this)) Pair(file, 3, def->Prompt());
    Pair(file, 70, FVisible ? 0 : 1);
    Pair(file, 50, FStyle.Rotation);
    Pair(file, 72, FJustification);
    WritePointGroups(file, 11, FAlignPoint);
    Pair(file, 74, FStyle.VAlign);
    WriteExtrusion(file);
}

void Insert_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    if (!FAttributes.empty()) Pair(file, 66, 1);
    Pair(file, 2, FBlockName);
    WritePointGroups(file, 10, FPosition);
    Pair(file, 41, FScale.x);
    Pair(file, 42, FScale.y);
    Pair(file, 43, FScale.z);
    Pair(file, 50, FRotation / kDegree);
    if (FColumns > 1 || FRows > 1) {
        Pair(file, 70, FColumns);
        Pair(file, 71, FRows);
        Pair(file, 44, FColumnSpacing);
        Pair(file, 45, FRowSpacing);
    }
    WriteExtrusion(file);
    if (FAttributes.empty()) return;
    for (const auto& a : FAttributes) a->WriteGroups(file, layerName);
    Pair(file, 0, QByteArray("SEQEND"));
    Pair(file, 8, layerName);
}

bool Circle_::Contains2D(const Point3D& p) const { return Distance2D(p, FPosition) <= FRadius; }

void Circle_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    WritePointGroups(file, 10, FPosition);
    Pair(file, 40, FRadius);
    WriteExtrusion(file);
}

void Arc_::WriteGroups(QIODevice& file, const QString& layerName) const {
    Circle_::WriteGroups(file, layerName);
    Pair(file, 50, FStart / kDegree);
    Pair(file, 51, FEnd / kDegree);
}

void Ellipse_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    WritePointGroups(file, 10, FPosition);
    WritePointGroups(file, 11, FMajor);
    Pair(file, 40, Length(FMajor) > 0 ? Length(FMinor) / Length(FMajor) : 1.0);
    Pair(file, 41, FStart);
    Pair(file, 42, FEnd);
    WriteExtrusion(file);
}

void Polyline_::StoredPoints(std::vector<const Point3D*>& out) const {
    for (const Point3D& p : FPoints) out.push_back(&p);
}

bool Polyline_::Contains2D(const Point3D& p) const { return FClosed && FPoints.size() > 2 && InsidePolygon(FPoints, p); }

void Polyline_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    Pair(file, 66, 1);
    Pair(file, 70, FClosed ? 1 : 0);
    WriteExtrusion(file);
    for (size_t i = 0; i < FPoints.size(); ++i) {
        Pair(file, 0, QByteArray("VERTEX"));
        Pair(file, 8, layerName);
        WritePointGroups(file, 10, FPoints[i]);
        if (!FBulges.empty() && FBulges[i] != 0) Pair(file, 42, FBulges[i]);
    }
    Pair(file, 0, QByteArray("SEQEND"));
    Pair(file, 8, layerName);
}

void LwPolyline_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    Pair(file, 90, int(FPoints.size()));
    Pair(file, 70, FClosed ? 1 : 0);
    if (!FPoints.empty()) Pair(file, 38, FPoints[0].z);
    for (size_t i = 0; i < FPoints.size(); ++i) {
        Pair(file, 10, FPoints[i].x);
        Pair(file, 20, FPoints[i].y);
        if (!FBulges.empty() && FBulges[i] != 0) Pair(file, 42, FBulges[i]);
    }
    WriteExtrusion(file);
}

void Face3D_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    // Solids keep their corners in drawing order (1, 2, 4, 3); the file order swaps the last two back.
    const bool solid = dynamic_cast<const Solid_*>(this) != nullptr;
    for (int i = 0; i < 4; ++i) {
        size_t k = std::min<size_t>(size_t(i), FPoints.size() - 1);
        if (solid && FPoints.size() == 4 && i >= 2) k = size_t(5 - i);
        if (!FPoints.empty()) WritePointGroups(file, 10 + i, FPoints[k]);
    }
    WriteExtrusion(file);
}

void Polygon_mesh_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    Pair(file, 66, 1);
    Pair(file, 70, 16 | (FClosedM ? 1 : 0) | (FClosedN ? 32 : 0));
    Pair(file, 71, FM);
    Pair(file, 72, FN);
    for (const Point3D& p : FPoints) {
        Pair(file, 0, QByteArray("VERTEX"));
        Pair(file, 8, layerName);
        WritePointGroups(file, 10, p);
        Pair(file, 70, 64);
    }
    Pair(file, 0, QByteArray("SEQEND"));
    Pair(file, 8, layerName);
}

void Polyface_mesh_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    Pair(file, 66, 1);
    Pair(file, 70, 64);
    Pair(file, 71, int(FPoints.size()));
    Pair(file, 72, int(FFaces.size()));
    for (const Point3D& p : FPoints) {
        Pair(file, 0, QByteArray("VERTEX"));
        Pair(file, 8, layerName);
        WritePointGroups(file, 10, p);
        Pair(file, 70, 192);
    }
    for (const TFace& f : FFaces) {
        Pair(file, 0, QByteArray("VERTEX"));
        Pair(file, 8, layerName);
        WritePointGroups(file, 10, Point3D{});
        Pair(file, 70, 128);
        for (int i = 0; i < 4; ++i)
            if (f[size_t(i)] >= 0) Pair(file, 71 + i, f[size_t(i)] + 1);
    }
    Pair(file, 0, QByteArray("SEQEND"));
    Pair(file, 8, layerName);
}

void Spline_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    Pair(file, 70, FClosed ? 9 : 8);
    Pair(file, 71, 3);
    Pair(file, 74, int(FDefining.size()));
    for (const Point3D& p : FDefining) WritePointGroups(file, 11, p);
}

void MText_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    WritePointGroups(file, 10, FPosition);
    Pair(file, 40, FHeight);
    Pair(file, 50, FRotation / kDegree);
    Pair(file, 71, FAttachment);
    Pair(file, 44, FLineSpacing);
    QString text = FLines.join(QStringLiteral("\\P"));
    Pair(file, 1, text);
}

void Hatch_::StoredPoints(std::vector<const Point3D*>& out) const {
    for (const auto& path : FPaths)
        for (const Point3D& p : path) out.push_back(&p);
}

bool Hatch_::Contains2D(const Point3D& p) const {
    bool inside = false;
    for (const auto& path : FPaths)
        if (path.size() > 2 && InsidePolygon(path, p)) inside = !inside;
    return inside;
}

void Hatch_::WriteGroups(QIODevice& file, const QString& layerName) const {
    WriteHead(file, layerName);
    WritePointGroups(file, 10, Point3D{0, 0, FPaths.empty() || FPaths[0].empty() ? 0.0 : FPaths[0][0].z});
    WriteExtrusion(file);
    Pair(file, 2, QByteArray(FSolid ? "SOLID" : "USER"));
    Pair(file, 70, FSolid ? 1 : 0);
    Pair(file, 71, 0);
    Pair(file, 91, int(FPaths.size()));
    for (const auto& path : FPaths) {
        Pair(file, 92, 2);
        Pair(file, 72, 0);
        Pair(file, 73, 1);
        Pair(file, 93, int(path.size()));
        for (const Point3D& p : path) {
            Pair(file, 10, p.x);
            Pair(file, 20, p.y);
        }
        Pair(file, 97, 0);
    }
    Pair(file, 75, 0);
    Pair(file, 76, 1);
    Pair(file, 98, 0);
}
