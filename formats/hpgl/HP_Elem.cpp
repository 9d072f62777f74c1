#include "formats/hpgl/HP_Elem.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

constexpr double kDeviceLimit = 1 << 24; // device coordinates are kept within this many pixels

inline int ClampDevice(double v) {
    if (v > kDeviceLimit) return int(kDeviceLimit);
    if (v < -kDeviceLimit) return -int(kDeviceLimit);
    return int(std::lrint(v));
}

Qt::PenStyle QtPenStyle(quint8 style) {
    switch (style) {
    case lsDash: return Qt::DashLine;
    case lsDot: return Qt::DotLine;
    case lsDashDot: return Qt::DashDotLine;
    case lsDashDotDot: return Qt::DashDotDotLine;
    default: return Qt::SolidLine;
    }
}

// Hatch brushes by angle; other angles take the nearest of the four directions.
Qt::BrushStyle HatchStyle(int angle) {
    int a = ((angle % 180) + 180) % 180;
    a = ((a + 22) / 45) * 45 % 180;
    switch (a) {
    case 0: return Qt::HorPattern;
    case 45: return Qt::BDiagPattern; // rising to the right
    case 90: return Qt::VerPattern;
    default: return Qt::FDiagPattern; // falling to the right
    }
}

} // namespace

TColor ShadedColor(TColor color, int level) {
    const int a = int(std::lrint((100 - std::clamp(level, 0, 100)) * 2.55));
    TColor result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int c = std::min(255, int((color >> shift) & 0xFF) + a);
        result |= TColor(c) << shift;
    }
    return result;
}

QPoint THpNodeList::GetNode(int index) const {
    if (index < 0 || index >= Count()) throw ERangeError(QStringLiteral("Node index out of bounds"));
    return FNodes[size_t(index)];
}

// ---------------------------------------------------------------------------------------------------
// Elements

void TPolyline::SetNodes(THpNodeList& nodes) {
    Nodes.assign(nodes.Nodes().begin(), nodes.Nodes().end());
    for (const QPoint& p : Nodes) Extents.Include(p);
}

void TPolyline::Paint(TElementList& list, QPainter& canvas) const {
    if (list.CanDrawFast(*this)) {
        list.FastPolyline(Nodes, LineColor);
        return;
    }
    list.ApplyPen(canvas, *this);
    canvas.setBrush(Qt::NoBrush);
    const QPolygon& pts = list.DevicePoints(Nodes);
    if (pts.size() == 1)
        canvas.drawPoint(pts[0]);
    else
        canvas.drawPolyline(pts);
}

void TPolygon::SetNodes(THpNodeList& nodes) {
    Nodes.assign(nodes.Nodes().begin(), nodes.Nodes().end());
    Breaks = nodes.Breaks();
    for (const QPoint& p : Nodes) Extents.Include(p);
}

void TPolygon::Paint(TElementList& list, QPainter& canvas) const {
    // Merged polygons let the paper show through: a fill in the paper colour leaves the canvas as it is.
    if (Merge && FillColor == list.PaperColor && FillKind != fkShading) return;
    list.ApplyPen(canvas, *this, true);
    list.ApplyBrush(canvas, *this);
    if (Breaks.empty()) {
        canvas.drawPolygon(list.DevicePoints(Nodes), Winding ? Qt::WindingFill : Qt::OddEvenFill);
        return;
    }
    QPainterPath path;
    path.setFillRule(Winding ? Qt::WindingFill : Qt::OddEvenFill);
    size_t start = 0;
    for (size_t i = 0; i <= Breaks.size(); ++i) {
        const size_t end = i < Breaks.size() ? size_t(Breaks[i]) : Nodes.size();
        if (end > start) path.addPolygon(QPolygonF(list.DevicePoints(Nodes, start, end)));
        start = end;
    }
    canvas.drawPath(path);
}

void TCircle::SetNodes(THpNodeList& nodes) {
    if (nodes.Count() < 2) return;
    Nodes = {nodes.GetNode(0), nodes.GetNode(1)};
    for (const QPoint& p : Nodes) Extents.Include(p);
}

void TCircle::Paint(TElementList& list, QPainter& canvas) const {
    list.ApplyPen(canvas, *this);
    canvas.setBrush(Qt::NoBrush);
    const QRect r = QRect(list.WorldToDevice(Nodes[0]), list.WorldToDevice(Nodes[1])).normalized();
    canvas.drawEllipse(r);
}

void TArc::SetNodes(THpNodeList& nodes) {
    if (nodes.Count() >= 4) {
        Nodes = {nodes.GetNode(0), nodes.GetNode(1), nodes.GetNode(2), nodes.GetNode(3)};
        if (!(Sweep > 0) || Sweep >= 360) {
            Extents.Include(Nodes[0]);
            Extents.Include(Nodes[1]);
        } else {
            // The two ends, and each point of the circle straight across from or above or below the
            // centre that the arc passes.
            Extents.Include(Nodes[2]);
            Extents.Include(Nodes[3]);
            const double cx = (double(Nodes[0].x()) + Nodes[1].x()) / 2, cy = (double(Nodes[0].y()) + Nodes[1].y()) / 2;
            const double r = std::abs(double(Nodes[1].x()) - Nodes[0].x()) / 2;
            double a = std::atan2(Nodes[2].y() - cy, Nodes[2].x() - cx) * 180 / M_PI;
            if (a < 0) a += 360;
            for (int q = 0; q < 4; ++q) {
                double d = std::fmod(q * 90.0 - a + 360.0, 360.0);
                if (d <= Sweep) {
                    const double t = q * M_PI / 2;
                    Extents.Include(QPoint(int(std::lrint(cx + r * std::cos(t))), int(std::lrint(cy + r * std::sin(t)))));
                }
            }
        }
    }
    nodes.Clear();
}

bool TArc::DeviceArc(const TElementList& list, QRectF& box, int& start, int& span) const {
    if (Nodes.size() < 4) return false;
    const double cx = (double(Nodes[0].x()) + Nodes[1].x()) / 2, cy = (double(Nodes[0].y()) + Nodes[1].y()) / 2;
    double a = std::atan2(Nodes[2].y() - cy, Nodes[2].x() - cx) * 180 / M_PI;
    const QPointF p = list.WorldToDeviceF(QPointF(Nodes[0])), q = list.WorldToDeviceF(QPointF(Nodes[1]));
    box = QRectF(p, q).normalized();
    // Device y runs downwards, so an arc counter-clockwise in plotter units stays counter-clockwise on
    // the output when the fit flips y; Qt angles are counter-clockwise on the output.
    if (list.ScaleY() > 0) a = -a;
    start = int(std::lrint(a * 16));
    span = int(std::lrint(Sweep * 16)) * (list.ScaleY() > 0 ? -1 : 1);
    return true;
}

void TArc::Paint(TElementList& list, QPainter& canvas) const {
    QRectF box;
    int start, span;
    if (!DeviceArc(list, box, start, span)) return;
    list.ApplyPen(canvas, *this);
    canvas.setBrush(Qt::NoBrush);
    canvas.drawArc(box, start, span);
}

void TPie::SetNodes(THpNodeList& nodes) {
    TArc::SetNodes(nodes);
    if (Nodes.size() < 4 || Sweep >= 360) return;
    // The centre, where the two radii meet.
    Extents.Include(QPoint(int((qint64(Nodes[0].x()) + Nodes[1].x()) / 2), int((qint64(Nodes[0].y()) + Nodes[1].y()) / 2)));
}

void TPie::Paint(TElementList& list, QPainter& canvas) const {
    QRectF box;
    int start, span;
    if (!DeviceArc(list, box, start, span)) return;
    if (Filled) {
        // Merged fills let the paper show through, as polygons do.
        if (Merge && FillColor == list.PaperColor && FillKind != fkShading) return;
        list.ApplyPen(canvas, *this, true);
        list.ApplyBrush(canvas, *this);
    } else {
        list.ApplyPen(canvas, *this);
        canvas.setBrush(Qt::NoBrush);
    }
    if (Sweep >= 360)
        canvas.drawEllipse(box);
    else
        canvas.drawPie(box, start, span);
}

void TWindow::SetNodes(THpNodeList& nodes) {
    if (nodes.Count() == 2) {
        Nodes = {nodes.GetNode(0), nodes.GetNode(1)};
        Extents.Include(Nodes[0]);
        Extents.Include(Nodes[1]);
    }
    nodes.Clear();
}

void TWindow::Paint(TElementList& list, QPainter& canvas) const {
    if (Nodes.size() != 2) return;
    const QRect r = QRect(list.WorldToDevice(Nodes[0]), list.WorldToDevice(Nodes[1])).normalized();
    list.ClipTo(canvas, r);
}

void TFullWindow::Paint(TElementList& list, QPainter& canvas) const { list.ClipOff(canvas); }

void TText::SetText(const THpTextRec& text) {
    Rec = text;
    Extents = text.Extents;
}

void TText::Paint(TElementList& list, QPainter& canvas) const {
    const int height = int(std::lrint(std::abs(list.ScaleY()) * Rec.CellHeight));
    if (height <= 0 || height > 20000) return;
    const int width = int(std::lrint(std::abs(list.ScaleX()) * Rec.CellWidth));
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(height);
    if (width > 0) {
        const double avg = QFontMetricsF(font).averageCharWidth();
        if (avg > 0) font.setStretch(std::clamp(int(std::lrint(100.0 * width / avg)), 1, 4000));
    }
    const QString text = [this] {
        QString t = Rec.Text;
        for (QChar& c : t)
            if (c.unicode() < 32) c = QChar(' ');
        return t;
    }();
    const QFontMetricsF fm(font);
    const double w = fm.horizontalAdvance(text);
    double dx = 0, dy = 0;
    if ((Rec.Align & 6) == 6)
        dx = -w / 2;
    else if (Rec.Align & 2)
        dx = -w;
    if ((Rec.Align & 24) == 24)
        dy = 0;
    else if (Rec.Align & 8)
        dy = -fm.descent();
    else
        dy = fm.ascent();
    canvas.save();
    canvas.setFont(font);
    canvas.setPen(ToQColor(LineColor));
    canvas.setBrush(Qt::NoBrush);
    canvas.translate(list.WorldToDevice(Rec.Anchor));
    canvas.rotate(list.ScaleY() < 0 ? -Rec.Direction : Rec.Direction);
    canvas.drawText(QPointF(dx, dy), text);
    canvas.restore();
}

void THpImage::SetImage(const THpImageRec& image) {
    Rec = image;
    const int res = image.Resolution > 0 ? image.Resolution : 300;
    Extents.Include(image.Position);
    Extents.Include(QPoint(int(std::min<double>(INT_MAX / 2, image.Position.x() + std::lrint(image.Width * 1016.0 / res))),
                           int(std::min<double>(INT_MAX / 2, image.Position.y() + std::lrint(image.Height * 1016.0 / res)))));
}

void THpImage::Paint(TElementList& list, QPainter& canvas) const {
    if (Rec.Bits.isNull()) return;
    const QPoint topLeft = list.WorldToDevice(QPoint(Extents.MinX, Extents.MaxY));
    const int w = std::abs(int(std::lrint((double(Extents.MaxX) - Extents.MinX) * list.ScaleX())));
    const int h = std::abs(int(std::lrint((double(Extents.MaxY) - Extents.MinY) * list.ScaleY())));
    if (w <= 0 || h <= 0) return;
    canvas.drawImage(QRect(topLeft, QSize(w, h)), Rec.Bits);
}

// ---------------------------------------------------------------------------------------------------
// Element list

void* TElementList::TChunkResource::do_allocate(size_t bytes, size_t alignment) {
    constexpr size_t kHuge = size_t(2) << 20;
    if (bytes >= kHuge) {
        const size_t size = (bytes + kHuge - 1) / kHuge * kHuge;
        void* p = std::aligned_alloc(kHuge, size);
        if (!p) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        madvise(p, size, MADV_HUGEPAGE);
#endif
        return p;
    }
    return ::operator new(bytes, std::align_val_t(std::max(alignment, alignof(std::max_align_t))));
}

void TElementList::TChunkResource::do_deallocate(void* p, size_t bytes, size_t alignment) {
    constexpr size_t kHuge = size_t(2) << 20;
    if (bytes >= kHuge)
        std::free(p);
    else
        ::operator delete(p, std::align_val_t(std::max(alignment, alignof(std::max_align_t))));
}

void TElementList::DestroyElements() {
    for (TCustomElem* e : FElements) e->~TCustomElem();
    FElements.clear();
    FArena.release();
}

void TElementList::Clear() {
    DestroyElements();
    FDraw = FWindow = FDisplay = THpExtents();
    LineColor = 0;
    LineWidth = 0.35;
    LineStyle = lsSolid;
    FillColor = 0xFFFFFF;
    FillKind = fkSolid;
    FillLevel = 100;
    Merge = false;
    Winding = false;
    Transparent = false;
    Ready = false;
    FValid = false;
    FView = QRect();
}

bool TElementList::Append(TCustomElem* e, bool takeAttributes) {
    if (takeAttributes) {
        e->FillColor = FillColor;
        e->FillKind = FillKind;
        e->FillLevel = FillLevel;
        e->LineColor = LineColor;
        e->LineStyle = LineStyle;
        e->LineWidth = LineWidth;
        e->Merge = Merge;
        e->Winding = Winding;
    }
    const quint8 kind = e->Kind;
    const THpExtents ext = e->Extents;
    FElements.push_back(e);
    if (kind == ekFullWindow) return true;
    if (kind == ekWindow) {
        FWindow.Include(ext);
        return true;
    }
    FDraw.Include(ext);
    FWindow = FDisplay = FDraw;
    return true;
}

bool TElementList::AddElement(quint8 kind, THpNodeList& nodes, double sweep, bool filled) {
    TCustomElem* e;
    switch (kind) {
    case ekPolyline: e = New<TPolyline>(); break;
    case ekPolygon: e = New<TPolygon>(); break;
    case ekCircle: e = New<TCircle>(); break;
    case ekArc: e = New<TArc>(); break;
    case ekPie: e = New<TPie>(); break;
    case ekWindow: e = New<TWindow>(); break;
    case ekFullWindow: e = New<TFullWindow>(); break;
    default: return false;
    }
    if (kind == ekArc || kind == ekPie) static_cast<TArc*>(e)->Sweep = sweep;
    if (kind == ekPie) static_cast<TPie*>(e)->Filled = filled;
    if (kind != ekFullWindow) e->SetNodes(nodes);
    if (kind <= ekPie && e->Nodes.empty()) {
        e->~TCustomElem();
        return false;
    }
    return Append(e, kind <= ekPie);
}

bool TElementList::AddElement(const THpTextRec& text) {
    TText* e = New<TText>();
    e->SetText(text);
    return Append(e, true);
}

bool TElementList::AddElement(const THpImageRec& image) {
    THpImage* e = New<THpImage>();
    e->SetImage(image);
    return Append(e, false);
}

void TElementList::SetViewRect(const QRect& rect) {
    FValid = false;
    const int margin = std::min({FitMargin, rect.width() / 10, rect.height() / 10});
    FView = QRect(QPoint(rect.left(), rect.top()), QPoint(rect.right() - margin, rect.bottom() - margin));
    if (!Ready || FWindow.IsEmpty() || FView.right() <= FView.left() || FView.bottom() <= FView.top()) return;
    FDisplay = FWindow;
    const double left = FView.left(), right = FView.right(), top = FView.top(), bottom = FView.bottom();
    const double w = double(FWindow.MaxX) - FWindow.MinX, h = double(FWindow.MaxY) - FWindow.MinY;
    // A plot that is a single straight line has no extent in one direction: the other one decides the
    // scale and the line is centred across.
    double f;
    if (w == 0 && h == 0)
        f = 1;
    else if (w == 0)
        f = (bottom - top) / h;
    else if (h == 0)
        f = (right - left) / w;
    else
        f = std::min((right - left) / w, (bottom - top) / h);
    if (!(f > 0) || !std::isfinite(f)) return;
    FSx = f;
    FSy = -f;
    const double spanX = (right - left) / f, spanY = (bottom - top) / f;
    double minX = FWindow.MinX, minY = FWindow.MinY;
    if (w == 0) minX -= spanX / 2;
    if (h == 0) minY -= spanY / 2;
    auto clamp32 = [](double v) { return qint32(std::clamp(v, double(INT_MIN) + 2, double(INT_MAX) - 2)); };
    FDisplay.MinX = clamp32(std::floor(minX));
    FDisplay.MinY = clamp32(std::floor(minY));
    FDisplay.MaxX = clamp32(std::ceil(minX + spanX));
    FDisplay.MaxY = clamp32(std::ceil(minY + spanY));
    FOx = std::nearbyint(left - minX * FSx);
    FOy = std::nearbyint(bottom - minY * FSy);
    FValid = true;
}

QPoint TElementList::WorldToDevice(QPoint p) const {
    return QPoint(ClampDevice(p.x() * FSx + FOx), ClampDevice(p.y() * FSy + FOy));
}

QPointF TElementList::WorldToDeviceF(QPointF p) const { return QPointF(p.x() * FSx + FOx, p.y() * FSy + FOy); }

int TElementList::PenWidthToDevice(double mm) const {
    const double px = mm / 25.4 * 1016.0 * std::abs(FSx);
    const long w = std::lrint(std::min(px, 4096.0));
    return w < 1 ? 1 : int(w);
}

const QPolygon& TElementList::DevicePoints(const THpPoints& nodes, size_t from, size_t to) {
    to = std::min(to, nodes.size());
    FScratch.resize(qsizetype(to > from ? to - from : 0));
    QPoint* out = FScratch.data();
    for (size_t i = from; i < to; ++i) *out++ = WorldToDevice(nodes[i]);
    return FScratch;
}

void TElementList::ApplyPen(QPainter& canvas, const TCustomElem& e, bool noPen) {
    if (noPen) {
        canvas.setPen(Qt::NoPen);
        return;
    }
    const int width = RealWidth ? PenWidthToDevice(e.LineWidth) : std::max(1, BaseLineWidth);
    QPen pen(ToQColor(e.LineColor), width, QtPenStyle(e.LineStyle));
    if (width > 1) {
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    }
    if (canvas.pen() != pen) canvas.setPen(pen);
}

void TElementList::ApplyBrush(QPainter& canvas, const TCustomElem& e) {
    Qt::BrushStyle style = Qt::SolidPattern;
    TColor color = e.FillColor & 0xFFFFFF;
    switch (e.FillKind) {
    case fkHatch: style = HatchStyle(e.FillLevel); break;
    case fkCrossHatch: style = e.FillLevel % 90 != 0 ? Qt::DiagCrossPattern : Qt::CrossPattern; break;
    case fkShading: color = ShadedColor(color, e.FillLevel); break;
    default: break;
    }
    canvas.setBrush(QBrush(ToQColor(color), style));
}

void TElementList::ClipTo(QPainter& canvas, const QRect& rect) {
    canvas.setClipRect(rect, Qt::ReplaceClip);
    FFastClip = rect.translated(FDx, FDy).intersected(FImageRect);
}

void TElementList::ClipOff(QPainter& canvas) {
    canvas.setClipping(false);
    FFastClip = FImageRect;
}

bool TElementList::CanDrawFast(const TCustomElem& e) const {
    if (!FBits || e.LineStyle != lsSolid) return false;
    return (RealWidth ? PenWidthToDevice(e.LineWidth) : BaseLineWidth) <= 1;
}

void TElementList::FastLine(int x0, int y0, int x1, int y1, quint32 argb) {
    const QRect& c = FFastClip;
    if (c.isEmpty()) return;
    auto inside = [&c](int x, int y) { return x >= c.left() && x <= c.right() && y >= c.top() && y <= c.bottom(); };
    if (!inside(x0, y0) || !inside(x1, y1)) {
        // Liang-Barsky: the part of the segment within the clip rectangle.
        const double dx = double(x1) - x0, dy = double(y1) - y0;
        double t0 = 0, t1 = 1;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {double(x0) - c.left(), double(c.right()) - x0, double(y0) - c.top(), double(c.bottom()) - y0};
        for (int i = 0; i < 4; ++i) {
            if (p[i] == 0) {
                if (q[i] < 0) return;
                continue;
            }
            const double t = q[i] / p[i];
            if (p[i] < 0) t0 = std::max(t0, t);
            else t1 = std::min(t1, t);
        }
        if (t0 > t1) return;
        const int nx0 = int(std::lrint(x0 + t0 * dx)), ny0 = int(std::lrint(y0 + t0 * dy));
        const int nx1 = int(std::lrint(x0 + t1 * dx)), ny1 = int(std::lrint(y0 + t1 * dy));
        x0 = nx0;
        y0 = ny0;
        x1 = nx1;
        y1 = ny1;
    }
    if (!inside(x0, y0) || !inside(x1, y1)) return; // rounding left the clipped ends outside
    // Bresenham with a pointer walk; both ends are drawn.
    const int adx = std::abs(x1 - x0), ady = std::abs(y1 - y0);
    const qsizetype stepX = x0 < x1 ? 1 : -1;
    const qsizetype stepY = (y0 < y1 ? 1 : -1) * (FStride / 4);
    quint32* p = reinterpret_cast<quint32*>(FBits + FStride * y0) + x0;
    if (adx >= ady) {
        int err = adx / 2;
        for (int i = 0; i <= adx; ++i) {
            *p = argb;
            p += stepX;
            err -= ady;
            if (err < 0) {
                p += stepY;
                err += adx;
            }
        }
    } else {
        int err = ady / 2;
        for (int i = 0; i <= ady; ++i) {
            *p = argb;
            p += stepY;
            err -= adx;
            if (err < 0) {
                p += stepX;
                err += ady;
            }
        }
    }
}

void TElementList::FastPolyline(const THpPoints& nodes, TColor color) {
    const quint32 argb = 0xFF000000u | ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
    if (nodes.empty()) return;
    QPoint a = WorldToDevice(nodes[0]) + QPoint(FDx, FDy);
    if (nodes.size() == 1) FastLine(a.x(), a.y(), a.x(), a.y(), argb);
    for (size_t i = 1; i < nodes.size(); ++i) {
        const QPoint b = WorldToDevice(nodes[i]) + QPoint(FDx, FDy);
        FastLine(a.x(), a.y(), b.x(), b.y(), argb);
        a = b;
    }
}

void TElementList::DrawAll() {
    if (FPainting || !Ready || !FValid || !FCanvas) return;
    StopPainting = false;
    FPainting = true;
    QPainter& canvas = *FCanvas;
    // Direct drawing applies to an opaque 32-bit image canvas with no transform but a whole-pixel shift.
    FBits = nullptr;
    QPaintDevice* device = canvas.device();
    const QTransform t = canvas.deviceTransform();
    if (device && device->devType() == QInternal::Image && !canvas.hasClipping() && canvas.opacity() == 1.0 &&
        canvas.compositionMode() == QPainter::CompositionMode_SourceOver &&
        !canvas.testRenderHint(QPainter::Antialiasing) && t.type() <= QTransform::TxTranslate &&
        t.dx() == std::floor(t.dx()) && t.dy() == std::floor(t.dy())) {
        auto* image = static_cast<QImage*>(device);
        const QImage::Format f = image->format();
        if (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 || f == QImage::Format_ARGB32_Premultiplied) {
            FBits = const_cast<uchar*>(image->constBits());
            FStride = image->bytesPerLine();
            FDx = int(t.dx());
            FDy = int(t.dy());
            FImageRect = FFastClip = image->rect();
        }
    }
    for (TCustomElem* e : FElements) {
        if (StopPainting) break;
        if (e->Kind != ekFullWindow && !e->Extents.Overlaps(FDisplay) && e->Kind != ekWindow) continue;
        try {
            e->Paint(*this, canvas);
        } catch (const Exception&) {
            break; // the pass ends; what was drawn stays
        }
    }
    canvas.setClipping(false);
    FBits = nullptr;
    FScratch.clear();
    FScratch.squeeze();
    FPainting = false;
}
