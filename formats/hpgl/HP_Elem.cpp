#include "formats/hpgl/HP_Elem.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

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
    Nodes = nodes.Nodes();
    for (const QPoint& p : Nodes) Extents.Include(p);
}

void TPolyline::Paint(TElementList& list, QPainter& canvas) const {
    list.ApplyPen(canvas, *this);
    canvas.setBrush(Qt::NoBrush);
    const QPolygon& pts = list.DevicePoints(Nodes);
    if (pts.size() == 1)
        canvas.drawPoint(pts[0]);
    else
        canvas.drawPolyline(pts);
}

void TPolygon::SetNodes(THpNodeList& nodes) {
    Nodes = nodes.Nodes();
    Breaks = nodes.Breaks();
    for (const QPoint& p : Nodes) Extents.Include(p);
}

void TPolygon::Paint(TElementList& list, QPainter& canvas) const {
    // Merged polygons let the paper show through: a fill in the paper colour leaves the canvas as it is.
    if (Merge && FillColor == list.PaperColor && FillKind != fkShading) return;
    list.ApplyPen(canvas, *this, true);
    list.ApplyBrush(canvas, *this);
    if (Breaks.empty()) {
        canvas.drawPolygon(list.DevicePoints(Nodes), Qt::OddEvenFill);
        return;
    }
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
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
        Extents.Include(Nodes[0]);
        Extents.Include(Nodes[1]);
    }
    nodes.Clear();
}

void TArc::Paint(TElementList& list, QPainter& canvas) const {
    list.ApplyPen(canvas, *this);
    canvas.setBrush(Qt::NoBrush);
    const double cx = (double(Nodes[0].x()) + Nodes[1].x()) / 2, cy = (double(Nodes[0].y()) + Nodes[1].y()) / 2;
    double start = std::atan2(Nodes[2].y() - cy, Nodes[2].x() - cx) * 180 / M_PI;
    const QPointF a = list.WorldToDeviceF(QPointF(Nodes[0])), b = list.WorldToDeviceF(QPointF(Nodes[1]));
    const QRectF box = QRectF(a, b).normalized();
    // Device y runs downwards, so an arc counter-clockwise in plotter units stays counter-clockwise on
    // the output when the fit flips y; Qt angles are counter-clockwise on the output.
    if (list.ScaleY() > 0) start = -start;
    canvas.drawArc(box, int(std::lrint(start * 16)), int(std::lrint(Sweep * 16)) * (list.ScaleY() > 0 ? -1 : 1));
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
    canvas.setClipRect(r, Qt::ReplaceClip);
}

void TFullWindow::Paint(TElementList& list, QPainter& canvas) const { canvas.setClipping(false); }

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

void TElementList::Clear() {
    FElements.clear();
    FDraw = FWindow = FDisplay = THpExtents();
    LineColor = 0;
    LineWidth = 0.35;
    LineStyle = lsSolid;
    FillColor = 0xFFFFFF;
    FillKind = fkSolid;
    FillLevel = 100;
    Merge = false;
    Transparent = false;
    Ready = false;
    FValid = false;
    FView = QRect();
}

bool TElementList::Append(std::unique_ptr<TCustomElem> e, bool takeAttributes) {
    if (takeAttributes) {
        e->FillColor = FillColor;
        e->FillKind = FillKind;
        e->FillLevel = FillLevel;
        e->LineColor = LineColor;
        e->LineStyle = LineStyle;
        e->LineWidth = LineWidth;
        e->Merge = Merge;
    }
    const quint8 kind = e->Kind;
    const THpExtents ext = e->Extents;
    FElements.push_back(std::move(e));
    if (kind == ekFullWindow) return true;
    if (kind == ekWindow) {
        FWindow.Include(ext);
        return true;
    }
    FDraw.Include(ext);
    FWindow = FDisplay = FDraw;
    return true;
}

bool TElementList::AddElement(quint8 kind, THpNodeList& nodes, double sweep) {
    std::unique_ptr<TCustomElem> e;
    switch (kind) {
    case ekPolyline: e = std::make_unique<TPolyline>(); break;
    case ekPolygon: e = std::make_unique<TPolygon>(); break;
    case ekCircle: e = std::make_unique<TCircle>(); break;
    case ekArc: e = std::make_unique<TArc>(); break;
    case ekPie: e = std::make_unique<TPie>(); break;
    case ekWindow: e = std::make_unique<TWindow>(); break;
    case ekFullWindow: e = std::make_unique<TFullWindow>(); break;
    default: return false;
    }
    if (kind != ekFullWindow) e->SetNodes(nodes);
    if (kind <= ekPie && e->Nodes.empty()) return false;
    if (auto* arc = dynamic_cast<TArc*>(e.get())) arc->Sweep = sweep;
    return Append(std::move(e), kind <= ekPie);
}

bool TElementList::AddElement(const THpTextRec& text) {
    auto e = std::make_unique<TText>();
    e->SetText(text);
    return Append(std::move(e), true);
}

bool TElementList::AddElement(const THpImageRec& image) {
    auto e = std::make_unique<THpImage>();
    e->SetImage(image);
    return Append(std::move(e), false);
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

const QPolygon& TElementList::DevicePoints(const std::vector<QPoint>& nodes, size_t from, size_t to) {
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

void TElementList::DrawAll() {
    if (FPainting || !Ready || !FValid || !FCanvas) return;
    StopPainting = false;
    FPainting = true;
    QPainter& canvas = *FCanvas;
    for (const auto& e : FElements) {
        if (StopPainting) break;
        if (e->Kind != ekFullWindow && !e->Extents.Overlaps(FDisplay) && e->Kind != ekWindow) continue;
        try {
            e->Paint(*this, canvas);
        } catch (const Exception&) {
            break; // the pass ends; what was drawn stays
        }
    }
    canvas.setClipping(false);
    FScratch.clear();
    FScratch.squeeze();
    FPainting = false;
}
