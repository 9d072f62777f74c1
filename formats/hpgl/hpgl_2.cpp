#include "formats/hpgl/hpgl_2.h"

#include "codec/Registry.h"
#include "codec/Stream.h"

#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <optional>

DEFINE_GRAPHIC_CLASS(THPGL2Graphic)

namespace {

constexpr int kMaxParams = 125;
constexpr double kDegToRad = M_PI / 180.0;

inline bool IsSeparator(int c) { return c == ' ' || c == ',' || c == '\r' || c == '\n' || c == '\t'; }
inline bool IsNumberStart(int c) { return c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9'); }

constexpr int Mnemonic(const char s[3]) { return (s[0] - 'A') * 26 + (s[1] - 'A'); }

// Initial pen colours (IN) and the PC palette; red in the low byte.
constexpr TColor kInitialPens[8] = {0xFFFFFF, 0x000000, 0x0000FF, 0x008000, 0x00FFFF, 0xFF0000, 0x800080, 0xFFFF00};
constexpr TColor kPcPalette[8] = {0xFFFFFF, 0x000000, 0x0000FF, 0x008000, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00};

double NormaliseDegrees(double a) {
    a = std::fmod(a, 360.0);
    if (a < 0) a += 360.0;
    return a;
}

// Label text is measured with a reference font and scaled to the character cell.
struct TLabelFont {
    QFont Font;
    double Avg = 0, Height = 0, CapHeight = 72;
    TLabelFont() : Font(QStringLiteral("Arial")) {
        Font.setStyleHint(QFont::SansSerif);
        Font.setPixelSize(100);
        const QFontMetricsF fm(Font);
        Avg = fm.averageCharWidth();
        Height = fm.ascent() + fm.descent();
        if (fm.capHeight() > 10) CapHeight = fm.capHeight();
    }
};
const TLabelFont& LabelFont() {
    static const TLabelFont font;
    return font;
}

double ScreenDpi() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (const QScreen* s = QGuiApplication::primaryScreen()) return s->logicalDotsPerInchX();
    return 96.0;
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Interpreter: set-up and the byte loop

qint32 THpglInterpreter::ClampCoord(double v) {
    if (!(v == v)) return 0;
    if (v > double(kCoordLimit)) return qint32(kCoordLimit);
    if (v < -double(kCoordLimit)) return qint32(-kCoordLimit);
    return qint32(std::nearbyint(v));
}

THpglInterpreter::THpglInterpreter(THPGL2Graphic& owner, TElementList& list) : FOwner(owner), FList(list) { Reset(); }

void THpglInterpreter::Defaults(bool full) {
    FSx = FSy = 1;
    FScaling = false;
    FScaleType = 0;
    FLeft = FBottom = 50;
    FOffX = FOffY = 0;
    FSymbol = 0;
    FAbsolute = true;
    FPolygonMode = false;
    FPolyline.Clear();
    FPolygon.Clear();
    FRotation = 0;
    FDirection = 0;
    FOrigin = 1;
    FRelativeSize = false;
    FCharW = 114;
    FCharH = 150;
    if (!full) return;
    if (FPlotSizeGiven) {
        // The page the job announced (PJL, PCL) stays through IN.
        FRotation = FPlotX < FPlotY ? 90 : 0;
    } else {
        FPlotX = 48768;
        FPlotY = 36576;
    }
    FP1X = FP1Y = 0;
    FP2X = FPlotX;
    FP2Y = FPlotY;
    FUMinX = FP1X;
    FUMinY = FP1Y;
    FUMaxX = FP2X;
    FUMaxY = FP2Y;
    FPenDown = false;
    FPenX = FPenY = FStartX = FStartY = 0;
    FStartPending = false;
    FCursorX = FCursorY = 0;
    for (size_t i = 0; i < FPens.size(); ++i) FPens[i] = TPen{i < 8 ? kInitialPens[i] : 0x000000, -1};
    FPens2 = FPens;
    FPen = 0;
    FTerminator = 3;
    FFillColor = 0;
    FFillKind = 0;
    FFillLevel = 100;
    FList.LineColor = 0;
    FList.LineWidth = 0.35;
    FList.LineStyle = lsSolid;
    FList.FillColor = 0xFFFFFF;
    FList.FillKind = fkSolid;
    FList.FillLevel = 100;
    FList.Merge = false;
}

void THpglInterpreter::Reset() {
    FPlotSizeGiven = false;
    Defaults(true);
    FWindowNodes.Clear();
    FHpgl2Mode = false;
    FPlotReady = false;
    FResolution = 300;
    FUnitsPerDot = 1016.0 / 300;
    FRaster.Reset();
    FRaster.Method = 0;
    FConfigured = false;
    FPclMode = false;
    FPlotSizeGiven = false;
    FColorA = FColorB = FColorC = 0;
}

int THpglInterpreter::Run(const QByteArray& data) {
    FData = reinterpret_cast<const uchar*>(data.constData());
    FSize = data.size();
    FPos = 0;
    int error = heNone;
    const int increment = FOwner.Increment > 0 ? FOwner.Increment : 10;
    int lastPercent = 0;
    while (FPos < FSize && !FOwner.FAborted && !FPlotReady && error == heNone) {
        const uchar c = FData[FPos++];
        if (c == 27) {
            try {
                Escape();
            } catch (const Exception&) {
                error = heEscape;
            } catch (const std::bad_alloc&) {
                error = heEscape;
            }
        } else if (c == '@') {
            try {
                Pjl();
            } catch (const Exception&) {
                error = hePjl;
            }
        } else if (c >= 'A' && c <= 'Z' && !FPclMode) { // PCL text between ESC%#A and ESC%#B is not plotted
            // A mnemonic is two letters; a capital before anything else is stray text, and what
            // follows it (an escape, an at-sign, a digit) is read on its own.
            const int c2 = Peek();
            if (!((c2 >= 'A' && c2 <= 'Z') || (c2 >= 'a' && c2 <= 'z'))) continue;
            ++FPos;
            try {
                Command(c, uchar(c2));
            } catch (const Exception&) {
                error = heCommand;
            } catch (const std::bad_alloc&) {
                error = heCommand;
            }
        }
        if (FOwner.FAborted || !FOwner.OnProgress) continue;
        const int percent = int(FPos * 100 / FSize);
        if (percent != lastPercent && percent > 0 && percent % increment == 0) {
            lastPercent = percent;
            FOwner.Progress(TProgressStage::psRunning, quint8(percent));
        }
    }
    // What the pen drew before the data ended (or the plot stopped) is part of the plot.
    if (!FOwner.FAborted) {
        FPolygonMode = false;
        FlushPolyline(false);
    }
    FData = nullptr;
    FSize = 0;
    return error;
}

// ---------------------------------------------------------------------------------------------------
// Parameters

bool THpglInterpreter::ReadNumber(double& value, bool& hasDot) {
    hasDot = false;
    bool negative = false;
    qint64 p = FPos;
    if (p < FSize && (FData[p] == '+' || FData[p] == '-')) negative = FData[p++] == '-';
    const qint64 digitsStart = p;
    quint64 whole = 0;
    double big = 0; // used once the whole part passes 18 digits
    int count = 0;
    while (p < FSize && FData[p] >= '0' && FData[p] <= '9') {
        if (count < 18) whole = whole * 10 + (FData[p] - '0');
        else if (big < 1e300) big = (count == 18 ? double(whole) : big) * 10 + (FData[p] - '0');
        ++count;
        ++p;
    }
    value = count > 18 ? big : double(whole);
    bool digits = p > digitsStart;
    if (p < FSize && FData[p] == '.') {
        ++p;
        hasDot = true;
        double scale = 0.1;
        while (p < FSize && FData[p] >= '0' && FData[p] <= '9') {
            value += (FData[p++] - '0') * scale;
            scale *= 0.1;
            digits = true;
        }
    }
    FPos = p;
    if (negative) value = -value;
    return digits;
}

int THpglInterpreter::ScanParams() {
    FParCount = 0;
    const qint64 start = FPos;
    for (;;) {
        const int c = Peek();
        if (IsSeparator(c)) {
            ++FPos;
        } else if (IsNumberStart(c)) {
            double v;
            bool dot;
            ReadNumber(v, dot);
            if (FParCount < kMaxParams) {
                FPar[size_t(FParCount)] = v;
                ++FParCount;
            }
        } else {
            break;
        }
    }
    if (FPos > start && Peek() == '"') {
        ++FPos;
        while (FPos < FSize && FData[FPos] != '"') ++FPos;
        if (FPos < FSize) ++FPos;
    }
    if (Peek() == ';') ++FPos;
    return FParCount;
}

// Skips a parameter list of numbers and quoted strings, up to and including a ";".
void THpglInterpreter::SkipParams() {
    for (;;) {
        const int c = Peek();
        if (IsSeparator(c) || IsNumberStart(c)) {
            ++FPos;
        } else if (c == '"') {
            ++FPos;
            while (FPos < FSize && FData[FPos] != '"') ++FPos;
            if (FPos < FSize) ++FPos;
        } else {
            break;
        }
    }
    if (Peek() == ';') ++FPos;
}

int THpglInterpreter::ParInt(int i, int def) const {
    if (i >= FParCount) return def;
    const double v = FPar[size_t(i)];
    if (!(std::abs(v) < 2147483647.0)) return 0;
    return int(std::nearbyint(v));
}

// ---------------------------------------------------------------------------------------------------
// Points and polylines

QPoint THpglInterpreter::Rotated(qint64 x, qint64 y) const {
    x = std::clamp(x, -kCoordLimit, kCoordLimit);
    y = std::clamp(y, -kCoordLimit, kCoordLimit);
    switch (FRotation) {
    case 90: return QPoint(int(-y), int(x));
    case 180: return QPoint(int(-x), int(-y));
    case 270: return QPoint(int(y), int(-x));
    default: return QPoint(int(x), int(y));
    }
}

void THpglInterpreter::AddTo(THpNodeList& list, qint64 x, qint64 y) { list.AddNode(Rotated(x, y)); }

void THpglInterpreter::AddPoint(qint64 x, qint64 y) { AddTo(FPolygonMode ? FPolygon : FPolyline, x, y); }

double THpglInterpreter::UserX(double u) const { return FScaling ? FP1X + FOffX + (u - FUMinX) * FSx : u; }
double THpglInterpreter::UserY(double u) const { return FScaling ? FP1Y + FOffY + (u - FUMinY) * FSy : u; }
double THpglInterpreter::CurrentX(double p) const { return FScaling ? (p - FP1X - FOffX) / FSx + FUMinX : p; }
double THpglInterpreter::CurrentY(double p) const { return FScaling ? (p - FP1Y - FOffY) / FSy + FUMinY : p; }

bool THpglInterpreter::Circular() const {
    if (!FScaling) return true;
    const double ax = std::abs(FSx), ay = std::abs(FSy);
    return std::abs(ax - ay) <= 1e-9 * std::max(ax, ay);
}

// The symbol of symbol mode, centred on the point in the current character size and direction.
void THpglInterpreter::DrawSymbol(qint64 x, qint64 y) {
    double w, h;
    CellSize(w, h);
    const QString text = QString(QChar(ushort(FSymbol)));
    double cx, cy;
    Measure(text, cx, cy);
    // Drawn centred on its baseline: the baseline lies half a capital height below the point.
    const double down = LabelFont().CapHeight / 100.0 * std::abs(h) / 2;
    const double d = FDirection * kDegToRad, cs = std::cos(d), sn = std::sin(d);
    const double ax = double(x) + down * sn, ay = double(y) - down * cs;
    THpTextRec rec;
    rec.Anchor = Rotated(ClampCoord(ax), ClampCoord(ay));
    rec.Text = text;
    rec.Direction = NormaliseDegrees(FDirection + FRotation);
    rec.Align = 24 | 6; // baseline, centre
    rec.CellWidth = std::abs(w);
    rec.CellHeight = std::abs(h);
    const double capHeight = LabelFont().CapHeight / 100.0 * std::abs(h);
    for (double fx : {-0.5, 0.5})
        for (double fy : {0.0, 1.0}) {
            const double dx = fx * cx, dy = fy * capHeight;
            rec.Extents.Include(Rotated(ClampCoord(ax + dx * cs - dy * sn), ClampCoord(ay + dx * sn + dy * cs)));
        }
    FList.AddElement(rec);
}

void THpglInterpreter::Coordinates(bool absolute, bool symbols) {
    bool haveX = false;
    for (;;) {
        const int c = Peek();
        if (IsSeparator(c)) {
            ++FPos;
            continue;
        }
        if (!IsNumberStart(c)) break;
        double v;
        bool dot;
        ReadNumber(v, dot);
        if (!dot && !(std::abs(v) < 2147483648.0)) v = 0; // an integer that does not fit reads as 0
        if (!haveX) {
            const double x = absolute ? UserX(v) : (FScaling ? v * FSx : v) + FPenX;
            FPenX = ClampCoord(absolute || FScaling ? x : std::nearbyint(v) + FPenX);
            haveX = true;
            continue;
        }
        haveX = false;
        const double y = absolute ? UserY(v) : (FScaling ? v * FSy : v) + FPenY;
        FPenY = ClampCoord(absolute || FScaling ? y : std::nearbyint(v) + FPenY);
        if (FPenDown) {
            if (FStartPending) {
                if (FPolygonMode) FPolygon.AddBreak(); // a pen-up move starts a new sub-polygon
                AddPoint(FStartX, FStartY);
                FStartPending = false;
            }
            AddPoint(FPenX, FPenY);
        } else {
            FStartPending = true;
            FStartX = FPenX;
            FStartY = FPenY;
        }
        if (symbols && FSymbol && !FPolygonMode) DrawSymbol(FPenX, FPenY);
    }
    if (Peek() == ';') ++FPos;
}

void THpglInterpreter::FlushPolyline(bool keepPosition) {
    if (FPolygonMode) return;
    if (FPolyline.Count() >= 2) {
        FList.AddElement(ekPolyline, FPolyline);
        FPolyline.Clear();
        if (keepPosition && FPenDown) AddPoint(FPenX, FPenY);
    }
}

void THpglInterpreter::PenUp() {
    FPenDown = false;
    FStartPending = true; // the next pen-down stroke starts here unless the pen moves first
    FStartX = FPenX;
    FStartY = FPenY;
    if (FPolygonMode) return;
    if (FPolyline.Count() >= 2) FList.AddElement(ekPolyline, FPolyline);
    FPolyline.Clear();
}

// Moves the pen without drawing; a pen-down line continues from the new place.
void THpglInterpreter::PenTo(qint64 x, qint64 y) {
    FPenX = ClampCoord(double(x));
    FPenY = ClampCoord(double(y));
    if (!FPolygonMode) {
        if (FPolyline.Count() >= 2) FList.AddElement(ekPolyline, FPolyline);
        FPolyline.Clear();
    }
    FStartPending = true;
    FStartX = FPenX;
    FStartY = FPenY;
}

// ---------------------------------------------------------------------------------------------------
// Pens, lines and fills

void THpglInterpreter::ApplyPen() {
    const TPen& pen = FPens[size_t(FPen)];
    FList.LineColor = pen.Color;
    if (pen.Width >= 0) FList.LineWidth = pen.Width;
    FFillColor = pen.Color;
    FList.FillColor = pen.Color;
}

void THpglInterpreter::SelectPen(int pen) {
    if (pen < 0 || pen > 255) return;
    FlushPolyline(true); // the part drawn so far keeps the old pen
    FPen = pen;
    ApplyPen();
}

void THpglInterpreter::PenColor() {
    const int n = ScanParams();
    if (n == 1) {
        const int index = ParInt(0);
        if (index >= 0 && index < 8) FPens[size_t(FPen)].Color = kPcPalette[index];
    } else if (n == 4) {
        const int pen = ParInt(0);
        if (pen < 0 || pen > 255) return;
        auto channel = [this](int i) { return TColor(((ParInt(i) % 256) + 256) % 256); };
        FPens[size_t(pen)].Color = channel(1) | (channel(2) << 8) | (channel(3) << 16);
        if (pen == FPen) SelectPen(pen);
    }
}

void THpglInterpreter::FillType() {
    const int n = ScanParams();
    const int type = n >= 1 ? ParInt(0) : 1;
    switch (type) {
    case 1:
    case 2:
        FFillKind = fkSolid;
        FFillLevel = 100;
        break;
    case 3:
    case 4:
        FFillKind = type == 3 ? fkHatch : fkCrossHatch;
        FFillLevel = n >= 3 ? ParInt(2) : 0; // the angle of this fill, never the previous one
        break;
    case 10:
        FFillKind = fkShading;
        if (n >= 2) FFillLevel = std::clamp(ParInt(1), 0, 100);
        break;
    case 11:
        FFillKind = fkUser;
        FFillLevel = ParInt(0);
        break;
    default: return;
    }
    FList.FillColor = FFillColor;
    FList.FillKind = quint8(FFillKind);
    FList.FillLevel = FFillLevel;
}

void THpglInterpreter::ScreenedVectors() {
    const int n = ScanParams();
    const int type = n >= 1 ? ParInt(0) : 0;
    if (type == 0) {
        FFillKind = fkSolid;
        FFillLevel = 100;
    } else if (type == 1) {
        FFillKind = fkShading;
        if (n >= 2) FFillLevel = std::clamp(ParInt(1), 0, 100);
    } else if (type == 21) {
        const int p = n >= 2 ? ParInt(1) : n;
        static constexpr int kAngles[4] = {0, 90, 45, 135};
        if (p <= 4) {
            FFillKind = fkHatch;
            FFillLevel = kAngles[std::clamp(p, 1, 4) - 1];
        } else {
            FFillKind = fkCrossHatch;
            FFillLevel = p == 5 ? 0 : 45;
        }
    } else {
        return;
    }
    FList.FillColor = FFillColor;
    FList.FillKind = quint8(FFillKind);
    FList.FillLevel = FFillLevel;
}

// ---------------------------------------------------------------------------------------------------
// Arcs, circles, rectangles, polygons

void THpglInterpreter::ArcPoints(QPointF c, double r, double a, double sweep, std::vector<QPoint>& out) const {
    const int steps = std::max(1, int(std::ceil(std::abs(sweep) / 5.0)));
    for (int k = 0; k <= steps; ++k) {
        const double t = (k == steps ? a + sweep : a + (sweep > 0 ? 5.0 : -5.0) * k) * kDegToRad;
        out.push_back(QPoint(ClampCoord(UserX(c.x() + r * std::cos(t))), ClampCoord(UserY(c.y() + r * std::sin(t)))));
    }
}

// Arcs are worked out in current units, as a plotter does: with unequal x and y factors an arc of a
// circle in user units is plotted as an arc of an ellipse.
void THpglInterpreter::Arc(double cx, double cy, double sweep, const QPointF* end) {
    if (sweep == 0 || !std::isfinite(sweep) || !std::isfinite(cx) || !std::isfinite(cy)) return;
    if (sweep > 360) sweep = std::fmod(std::nearbyint(sweep), 360.0);
    if (sweep < -360) sweep = -std::fmod(std::nearbyint(-sweep), 360.0);
    if (sweep == 0 || (FScaling && (FSx == 0 || FSy == 0))) return;
    const QPointF c(cx, cy);
    const double px = CurrentX(FPenX), py = CurrentY(FPenY);
    const double r = std::hypot(px - cx, py - cy);
    const double pr = FScaling ? r * std::max(std::abs(FSx), std::abs(FSy)) : r; // in plotter units
    if (!(pr >= 0.5) || !(pr < 4.0 * double(kCoordLimit))) return; // the pen at the centre, or no usable circle
    const double a = std::atan2(py - cy, px - cx) / kDegToRad;
    const double e = a + sweep;
    const QPoint arcEnd(ClampCoord(UserX(cx + r * std::cos(e * kDegToRad))), ClampCoord(UserY(cy + r * std::sin(e * kDegToRad))));
    const QPoint penEnd = end ? QPoint(ClampCoord(UserX(end->x())), ClampCoord(UserY(end->y()))) : arcEnd;
    if (FPolygonMode || !Circular()) {
        std::vector<QPoint> points;
        ArcPoints(c, r, a, sweep, points);
        points.front() = QPoint(FPenX, FPenY);
        if (FPolygonMode) {
            for (const QPoint& p : points) AddPoint(p.x(), p.y());
            FPenX = penEnd.x();
            FPenY = penEnd.y();
            FStartPending = false;
            return;
        }
        THpNodeList nodes;
        for (const QPoint& p : points) AddTo(nodes, p.x(), p.y());
        FList.AddElement(ekPolyline, nodes);
        PenTo(penEnd.x(), penEnd.y());
        return;
    }
    // A circle in plotter units; a mirrored axis turns its direction.
    const qint64 pcx = ClampCoord(UserX(cx)), pcy = ClampCoord(UserY(cy));
    const qint64 rr = std::llround(pr);
    const double plotSweep = FScaling && FSx * FSy < 0 ? -sweep : sweep;
    THpNodeList nodes;
    AddTo(nodes, pcx - rr, pcy - rr);
    AddTo(nodes, pcx + rr, pcy + rr);
    // The element always runs counter-clockwise: a negative sweep starts at its end.
    if (plotSweep > 0) {
        AddTo(nodes, FPenX, FPenY);
        AddTo(nodes, arcEnd.x(), arcEnd.y());
    } else {
        AddTo(nodes, arcEnd.x(), arcEnd.y());
        AddTo(nodes, FPenX, FPenY);
    }
    FList.AddElement(ekArc, nodes, std::abs(plotSweep));
    PenTo(penEnd.x(), penEnd.y());
}

void THpglInterpreter::ThreePointArc(bool relative) {
    if (ScanParams() < 4) return;
    if (FScaling && (FSx == 0 || FSy == 0)) return;
    // In current units, like every arc.
    const double x0 = CurrentX(FPenX), y0 = CurrentY(FPenY);
    double x1 = Par(0), y1 = Par(1), x2 = Par(2), y2 = Par(3);
    if (relative) {
        x1 += x0;
        y1 += y0;
        x2 += x0;
        y2 += y0;
    }
    const QPointF end(x2, y2);
    const qint64 ex = ClampCoord(UserX(x2)), ey = ClampCoord(UserY(y2));
    // Relative to the pen, which keeps the sums small whatever the coordinates.
    const double bx = x1 - x0, by = y1 - y0, qx = x2 - x0, qy = y2 - y0;
    const double sb = bx * bx + by * by, sq = qx * qx + qy * qy, dd = 2 * (bx * qy - by * qx);
    const double scale = std::max({std::abs(bx), std::abs(by), std::abs(qx), std::abs(qy), 1e-300});
    if (!(std::abs(dd) >= 1e-9 * scale * scale)) {
        // Three points on a line: a straight stroke to the end point.
        if (FPolygonMode) {
            AddPoint(ex, ey);
            FPenX = qint32(ex);
            FPenY = qint32(ey);
            return;
        }
        if (ex != FPenX || ey != FPenY) {
            THpNodeList nodes;
            AddTo(nodes, FPenX, FPenY);
            AddTo(nodes, ex, ey);
            FList.AddElement(ekPolyline, nodes);
        }
        PenTo(ex, ey);
        return;
    }
    const double ux = x0 + (qy * sb - by * sq) / dd;
    const double uy = y0 + (bx * sq - qx * sb) / dd;
    auto theta = [&](double px, double py) {
        double t = std::atan2(py - uy, px - ux);
        if (t < 0) t += 2 * M_PI;
        return t;
    };
    auto norm = [](double t) {
        t = std::fmod(t, 2 * M_PI);
        if (t < 0) t += 2 * M_PI;
        return t;
    };
    const double t0 = theta(x0, y0), t1 = theta(x1, y1), t2 = theta(x2, y2);
    const double d1 = norm(t1 - t0), d2 = norm(t2 - t0);
    const double sweep = d2 > d1 ? d2 / kDegToRad : -norm(t0 - t2) / kDegToRad;
    Arc(ux, uy, sweep, &end);
}

// EW and WG: a pie slice about the pen, radius in current units, angles in degrees counter-clockwise
// from the x axis; a sweep of a full turn or more is the whole circle. The pen does not move.
void THpglInterpreter::Wedge(bool filled) {
    const int n = ScanParams();
    FPolygon.Clear();
    if (n < 3 || (FScaling && (FSx == 0 || FSy == 0))) return;
    double r = Par(0), a = Par(1), sweep = Par(2);
    if (!std::isfinite(r) || !std::isfinite(a) || !std::isfinite(sweep) || sweep == 0) return;
    if (r < 0) { // a negative radius starts on the opposite side
        r = -r;
        a += 180;
    }
    a = NormaliseDegrees(a);
    const bool full = std::abs(sweep) >= 360;
    if (full) sweep = 360;
    const QPointF c(CurrentX(FPenX), CurrentY(FPenY));
    const double pr = FScaling ? r * std::max(std::abs(FSx), std::abs(FSy)) : r;
    if (!(pr >= 0.5) || !(pr < double(kCoordLimit))) return;
    THpNodeList nodes;
    if (Circular()) {
        const qint64 rr = std::llround(pr);
        const double plotSweep = FScaling && FSx * FSy < 0 ? -sweep : sweep;
        auto at = [&](double deg) {
            return QPoint(ClampCoord(UserX(c.x() + r * std::cos(deg * kDegToRad))),
                          ClampCoord(UserY(c.y() + r * std::sin(deg * kDegToRad))));
        };
        const QPoint start = at(a), stop = at(a + sweep);
        AddTo(nodes, qint64(FPenX) - rr, qint64(FPenY) - rr);
        AddTo(nodes, qint64(FPenX) + rr, qint64(FPenY) + rr);
        const QPoint first = plotSweep > 0 ? start : stop, last = plotSweep > 0 ? stop : start;
        AddTo(nodes, first.x(), first.y());
        AddTo(nodes, last.x(), last.y());
        FList.AddElement(ekPie, nodes, std::abs(plotSweep), filled);
        return;
    }
    // Unequal x and y units: a slice of an ellipse, as chords.
    std::vector<QPoint> points;
    ArcPoints(c, r, a, sweep, points);
    if (full) points.pop_back(); // the last point repeats the first
    else AddTo(nodes, FPenX, FPenY);
    for (const QPoint& p : points) AddTo(nodes, p.x(), p.y());
    if (filled) {
        FList.AddElement(ekPolygon, nodes);
        return;
    }
    const QPoint close = full ? points.front() : QPoint(FPenX, FPenY);
    AddTo(nodes, close.x(), close.y());
    FList.AddElement(ekPolyline, nodes);
}

void THpglInterpreter::Circle() {
    if (ScanParams() < 1) return;
    const double r = std::abs(Par(0));
    const qint64 rx = ClampCoord(FScaling ? r * std::abs(FSx) : r), ry = ClampCoord(FScaling ? r * std::abs(FSy) : r);
    if (FPolygonMode) {
        FPolygon.AddBreak();
        for (int t = 0; t < 360; t += 5)
            AddPoint(FPenX + std::llround(rx * std::cos(t * kDegToRad)), FPenY + std::llround(ry * std::sin(t * kDegToRad)));
        FPolygon.AddBreak();
        FStartPending = true;
        FStartX = FPenX;
        FStartY = FPenY;
        return;
    }
    THpNodeList nodes;
    AddTo(nodes, FPenX - rx, FPenY - ry);
    AddTo(nodes, FPenX + rx, FPenY + ry);
    FList.AddElement(ekCircle, nodes);
}

void THpglInterpreter::Rectangle(bool relative, bool filled) {
    if (ScanParams() < 2) return;
    const double px = Par(0), py = Par(1);
    const qint64 cx = ClampCoord(relative ? (FScaling ? px * FSx : px) + FPenX : UserX(px));
    const qint64 cy = ClampCoord(relative ? (FScaling ? py * FSy : py) + FPenY : UserY(py));
    const bool wasPolygon = FPolygonMode;
    FPolygon.Clear();
    FPolygonMode = true;
    AddPoint(FPenX, FPenY);
    AddPoint(FPenX, cy);
    AddPoint(cx, cy);
    AddPoint(cx, FPenY);
    if (!filled) AddPoint(FPenX, FPenY);
    FList.AddElement(filled ? ekPolygon : ekPolyline, FPolygon);
    FPolygonMode = wasPolygon;
}

void THpglInterpreter::PolygonMode() {
    ScanParams();
    const int n = ParInt(0, 0);
    if (FParCount == 0 || n == 0) {
        FlushPolyline(false);
        FPolyline.Clear();
        FPolygonMode = true;
        FPolygon.Clear();
        AddTo(FPolygon, FPenX, FPenY);
        FStartPending = false;
    } else if (n == 1) {
        if (!FPolygonMode) return;
        FPolygon.AddBreak();
        FStartPending = true;
        FStartX = FPenX;
        FStartY = FPenY;
    } else if (n == 2) {
        if (!FPolygonMode) return;
        FPolygonMode = false;
        FStartPending = true;
        FStartX = FPenX;
        FStartY = FPenY;
    }
}

// ---------------------------------------------------------------------------------------------------
// Encoded polylines

// Reads one encoded number; false when a ";" or the end of data came first (the command ends).
bool THpglInterpreter::DecodePE(qint64& value, bool base32) {
    const int threshold = base32 ? 95 : 191;
    const int bits = base32 ? 5 : 6;
    quint64 result = 0;
    int shift = 0;
    for (;;) {
        const int c = Next();
        if (c < 0 || c == ';') return false;
        if (c < 63) continue; // line ends and blanks inside a number
        const bool last = c >= threshold;
        const quint64 digit = quint64(last ? c - threshold : c - 63) & ((1u << bits) - 1);
        if (shift < 62) result |= digit << shift;
        shift += bits;
        if (last) break;
    }
    const qint64 magnitude = qint64(std::min<quint64>(result >> 1, quint64(kCoordLimit) * 4));
    value = (result & 1) ? -magnitude : magnitude;
    return true;
}

void THpglInterpreter::EncodedPolyline() {
    bool base32 = false, penUp = false, absolute = false;
    int fraction = 0;
    qint64 lastX = FPenX, lastY = FPenY;
    if (!FPolygonMode && FPolyline.Count() == 0) AddPoint(FStartPending ? FStartX : FPenX, FStartPending ? FStartY : FPenY);
    FStartPending = false;
    auto flushLine = [this] {
        if (!FPolygonMode && FPolyline.Count() > 1) FList.AddElement(ekPolyline, FPolyline);
        if (!FPolygonMode) FPolyline.Clear();
    };
    for (;;) {
        const int c = Peek();
        if (c < 0) break;
        if (c < 63) {
            ++FPos;
            if (c == ';') break;
            qint64 v = 0;
            switch (c) {
            case '7': base32 = true; continue;
            case ':':
                if (!DecodePE(v, base32)) goto done;
                if (v >= 0 && v <= 255 && !FPolygonMode) {
                    flushLine();
                    FPen = int(v);
                    ApplyPen();
                    AddPoint(lastX, lastY);
                }
                continue;
            case '<':
                if (FPolygonMode) {
                    if (FPolygon.Count() == 1) FPolygon.Clear();
                } else {
                    flushLine();
                }
                penUp = true;
                continue;
            case '>': // fractional data: the number of fractional binary digits of what follows
                if (!DecodePE(v, base32)) goto done;
                fraction = int(std::clamp<qint64>(v, 0, 26));
                continue;
            case '=': absolute = true; continue;
            default:
                if (c <= ' ') continue; // blanks and line ends between pairs
                while (FPos < FSize && FData[FPos] != ';') ++FPos;
                if (FPos < FSize) ++FPos;
                goto done;
            }
        }
        qint64 x, y;
        if (!DecodePE(x, base32) || !DecodePE(y, base32)) break;
        double ux = double(x) / double(qint64(1) << fraction), uy = double(y) / double(qint64(1) << fraction);
        if (FScaling) {
            ux = absolute ? UserX(ux) : ux * FSx;
            uy = absolute ? UserY(uy) : uy * FSy;
        }
        lastX = ClampCoord(absolute ? ux : lastX + ux);
        lastY = ClampCoord(absolute ? uy : lastY + uy);
        if (penUp && !FPolygonMode) flushLine();
        AddPoint(lastX, lastY);
        penUp = absolute = false;
    }
done:
    FPenX = qint32(lastX);
    FPenY = qint32(lastY);
    flushLine();
    FStartPending = true;
    FStartX = FPenX;
    FStartY = FPenY;
}

// ---------------------------------------------------------------------------------------------------
// Labels

void THpglInterpreter::CellSize(double& w, double& h) const {
    if (FRelativeSize) {
        w = (FP2X - FP1X) * FCharW / 100;
        h = (FP2Y - FP1Y) * FCharH / 100;
    } else {
        w = FCharW;
        h = FCharH;
    }
}

void THpglInterpreter::Measure(const QString& text, double& cx, double& cy) const {
    double w, h;
    CellSize(w, h);
    const TLabelFont& font = LabelFont();
    const double advance = QFontMetricsF(font.Font).horizontalAdvance(text);
    cx = font.Avg > 0 ? advance / font.Avg * std::abs(w) : 0;
    cy = font.Height / 100.0 * std::abs(h);
}

namespace {
struct TOrigin {
    int Align;
    double Fx, Fy; // offsets as fractions of the text width and height
};
TOrigin OriginOf(int code) {
    switch (((code % 10) + 10) % 10) {
    case 1: return {8, 0, 0};
    case 2: return {24, 0, -0.5};
    case 3: return {0, 0, -1};
    case 4: return {8 | 6, -0.5, 0};
    case 5: return {24 | 6, -0.5, -0.5};
    case 6: return {6, -0.5, -1};
    case 7: return {8 | 2, -1, 0};
    case 8: return {24 | 2, -1, -0.5};
    case 9: return {2, -1, -1};
    default: return {0, 0, 0};
    }
}
} // namespace

void THpglInterpreter::Label() {
    const qint64 start = FPos;
    while (FPos < FSize && FData[FPos] != FTerminator) ++FPos;
    const qint64 end = FPos;
    if (FPos < FSize) ++FPos; // the terminator
    if (end == start) return;
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(FData + start), qsizetype(std::min<qint64>(end - start, 4096)));
    double cx, cy, w, h;
    Measure(text, cx, cy);
    CellSize(w, h);
    const TOrigin o = OriginOf(FOrigin);
    const double d = FDirection * kDegToRad, cs = std::cos(d), sn = std::sin(d);
    const double dx = o.Fx * cx, dy = o.Fy * cy;
    const double c0x = std::nearbyint(FPenX + dx * cs - dy * sn), c0y = std::nearbyint(FPenY + dx * sn + dy * cs);
    const double c1x = std::nearbyint(c0x + cx * cs), c1y = std::nearbyint(c0y + cx * sn);
    const double c2x = std::nearbyint(c1x - cy * sn), c2y = std::nearbyint(c1y + cy * cs);
    const double c3x = std::nearbyint(c0x - cy * sn), c3y = std::nearbyint(c0y + cy * cs);
    THpTextRec rec;
    rec.Anchor = Rotated(FPenX, FPenY);
    rec.Text = text;
    rec.Direction = NormaliseDegrees(FDirection + FRotation);
    rec.Align = o.Align;
    rec.CellWidth = std::abs(w);
    rec.CellHeight = std::abs(h);
    for (auto [x, y] : {std::pair{c0x, c0y}, {c1x, c1y}, {c2x, c2y}, {c3x, c3y}}) rec.Extents.Include(Rotated(ClampCoord(x), ClampCoord(y)));
    FList.AddElement(rec);
    PenTo(ClampCoord(c1x), ClampCoord(c1y));
}

void THpglInterpreter::CharacterPlot() {
    const int n = ScanParams();
    const double spaces = n == 2 ? Par(0) : 0, lines = n == 2 ? Par(1) : -1;
    double w, h, cx, cy;
    CellSize(w, h);
    Measure(QStringLiteral("gH"), cx, cy);
    const double a = std::nearbyint(std::abs(w) * spaces);
    const TOrigin o = OriginOf(FOrigin);
    const double d = FDirection * kDegToRad, cs = std::cos(d), sn = std::sin(d);
    const double dx = o.Fx * a, dy = o.Fy * cy;
    const double c0x = std::nearbyint(FPenX + dx * cs - dy * sn), c0y = std::nearbyint(FPenY + dx * sn + dy * cs);
    const double c1x = std::nearbyint(c0x + a * cs), c1y = std::nearbyint(c0y + a * sn);
    const double up = d + M_PI / 2;
    PenTo(ClampCoord(c1x + lines * cy * std::cos(up)), ClampCoord(c1y + lines * cy * std::sin(up)));
}

void THpglInterpreter::Direction(bool relative) {
    const int n = ScanParams();
    double run = Par(0), rise = Par(1);
    if (relative) {
        run *= FP2X - FP1X;
        rise *= FP2Y - FP1Y;
    }
    if (n < 2 || std::abs(run) + std::abs(rise) == 0 || !std::isfinite(run) || !std::isfinite(rise))
        FDirection = 0;
    else
        FDirection = NormaliseDegrees(std::atan2(rise, run) / kDegToRad);
}

// ---------------------------------------------------------------------------------------------------
// Scaling and windows

void THpglInterpreter::RecomputeScale() {
    if (FScaleType == 2) return; // point factors do not follow P1 and P2 (P1 still moves the origin)
    const double ux = FUMaxX - FUMinX, uy = FUMaxY - FUMinY;
    if (ux == 0 || uy == 0 || !std::isfinite(ux) || !std::isfinite(uy))
        throw EInvalidGraphic(QStringLiteral("The user range of SC is empty"));
    const double spanX = FP2X - FP1X, spanY = FP2Y - FP1Y;
    FSx = spanX / ux;
    FSy = spanY / uy;
    FOffX = FOffY = 0;
    if (FScaleType == 1) {
        // Isotropic: a user unit is as long across as up, the smaller of the two factors, and the user
        // rectangle sits in the room left over as far from P1 as the left and bottom percentages say.
        const double f = std::min(std::abs(FSx), std::abs(FSy));
        FSx = std::copysign(f, FSx);
        FSy = std::copysign(f, FSy);
        FOffX = (spanX - ux * FSx) * FLeft / 100;
        FOffY = (spanY - uy * FSy) * FBottom / 100;
    }
}

void THpglInterpreter::InputP1P2() {
    const int n = ScanParams();
    if (n == 0) {
        FP1X = FP1Y = 0;
        FP2X = FPlotX;
        FP2Y = FPlotY;
    } else if (n == 2) {
        const double ox = FP2X - FP1X, oy = FP2Y - FP1Y;
        FP1X = ClampCoord(Par(0));
        FP1Y = ClampCoord(Par(1));
        FP2X = FP1X + ox;
        FP2Y = FP1Y + oy;
    } else if (n >= 4) {
        FP1X = ClampCoord(Par(0));
        FP1Y = ClampCoord(Par(1));
        FP2X = ClampCoord(Par(2));
        FP2Y = ClampCoord(Par(3));
    } else {
        return;
    }
    if (FScaling) RecomputeScale();
}

// IR: P1 and P2 in percent of the plot size.
void THpglInterpreter::InputRelative() {
    const int n = ScanParams();
    if (n == 0) {
        FP1X = FP1Y = 0;
        FP2X = FPlotX;
        FP2Y = FPlotY;
    } else if (n == 2 || n >= 4) {
        auto at = [](double percent, qint32 size) { return double(ClampCoord(std::clamp(percent, -1e6, 1e6) * size / 100)); };
        const double ox = FP2X - FP1X, oy = FP2Y - FP1Y;
        FP1X = at(Par(0), FPlotX);
        FP1Y = at(Par(1), FPlotY);
        FP2X = n >= 4 ? at(Par(2), FPlotX) : FP1X + ox;
        FP2Y = n >= 4 ? at(Par(3), FPlotY) : FP1Y + oy;
    } else {
        return;
    }
    if (FScaling) RecomputeScale();
}

void THpglInterpreter::Scale() {
    const int n = ScanParams();
    if (n < 4) {
        FScaling = false;
        return;
    }
    const int type = n >= 5 ? ParInt(4) : 0;
    if (type == 2) {
        // Point factors: one user unit is p2 by p4 plotter units, user minimum at P1.
        if (Par(1) == 1 && Par(3) == 1 && Par(0) == 0 && Par(2) == 0) {
            FScaling = false;
            FSx = FSy = 1;
            return;
        }
        if (!std::isfinite(Par(1)) || !std::isfinite(Par(3)) || Par(1) == 0 || Par(3) == 0)
            throw EInvalidGraphic(QStringLiteral("The point factors of SC are zero"));
        FUMinX = Par(0);
        FUMinY = Par(2);
        FUMaxX = FUMinX + 1;
        FUMaxY = FUMinY + 1;
        FSx = Par(1);
        FSy = Par(3);
        FOffX = FOffY = 0;
        FScaleType = 2;
        FScaling = true;
        return;
    }
    FScaleType = type == 1 ? 1 : 0;
    FLeft = n >= 6 && std::isfinite(Par(5)) ? std::clamp(Par(5), 0.0, 100.0) : 50;
    FBottom = n >= 7 && std::isfinite(Par(6)) ? std::clamp(Par(6), 0.0, 100.0) : 50;
    FUMinX = Par(0);
    FUMaxX = Par(1);
    FUMinY = Par(2);
    FUMaxY = Par(3);
    RecomputeScale();
    FScaling = true;
}

void THpglInterpreter::InputWindow() {
    const int n = ScanParams();
    if (n == 0) {
        FList.AddElement(ekFullWindow, FWindowNodes);
        return;
    }
    if (n != 4) return;
    const double x1 = UserX(Par(0)), y1 = UserY(Par(1)), x2 = UserX(Par(2)), y2 = UserY(Par(3));
    FWindowNodes.Clear();
    AddTo(FWindowNodes, ClampCoord(std::min(x1, x2)), ClampCoord(std::min(y1, y2)));
    AddTo(FWindowNodes, ClampCoord(std::max(x1, x2)), ClampCoord(std::max(y1, y2)));
    FList.AddElement(ekWindow, FWindowNodes);
}

// ---------------------------------------------------------------------------------------------------
// Command dispatch

void THpglInterpreter::Command(uchar c1, uchar c2) {
    if (c2 < 'A' || c2 > 'Z') {
        SkipParams(); // not a mnemonic we know: its parameters are skipped and the plot goes on
        return;
    }
    switch ((c1 - 'A') * 26 + (c2 - 'A')) {
    case Mnemonic("PA"):
        FAbsolute = true;
        Coordinates(true, true);
        break;
    case Mnemonic("PR"):
        FAbsolute = false;
        Coordinates(false, true);
        break;
    case Mnemonic("PD"):
        FPenDown = true;
        Coordinates(FAbsolute, true);
        break;
    case Mnemonic("PU"):
        PenUp();
        Coordinates(FAbsolute, true);
        break;
    case Mnemonic("AA"):
    case Mnemonic("AR"): {
        if (ScanParams() < 3) break;
        const bool rel = c2 == 'R';
        const double cx = rel ? Par(0) + CurrentX(FPenX) : Par(0);
        const double cy = rel ? Par(1) + CurrentY(FPenY) : Par(1);
        Arc(cx, cy, Par(2), nullptr);
        break;
    }
    case Mnemonic("AT"): ThreePointArc(false); break;
    case Mnemonic("RT"): ThreePointArc(true); break;
    case Mnemonic("CI"): Circle(); break;
    case Mnemonic("EA"): Rectangle(false, false); break;
    case Mnemonic("ER"): Rectangle(true, false); break;
    case Mnemonic("RA"): Rectangle(false, true); break;
    case Mnemonic("RR"): Rectangle(true, true); break;
    case Mnemonic("PM"): PolygonMode(); break;
    case Mnemonic("EP"):
    case Mnemonic("FP"): {
        ScanParams();
        if (FPolygon.Count() < 2 || (c1 == 'F' && FPolygon.Count() <= 2)) break;
        if (c1 == 'F') {
            FList.Winding = FParCount >= 1 && ParInt(0) == 1; // FP 1: non-zero winding
            FList.AddElement(ekPolygon, FPolygon);
            FList.Winding = false;
            break;
        }
        // Edges: what the pen drew, sub-polygon by sub-polygon (pen-up moves are not outlined).
        const auto& nodes = FPolygon.Nodes();
        std::vector<int> starts{0};
        for (int b : FPolygon.Breaks()) starts.push_back(b);
        starts.push_back(int(nodes.size()));
        for (size_t i = 0; i + 1 < starts.size(); ++i) {
            THpNodeList outline;
            for (int k = starts[i]; k < starts[i + 1]; ++k) outline.AddNode(nodes[size_t(k)]);
            if (outline.Count() >= 2) FList.AddElement(ekPolyline, outline);
        }
        break;
    }
    case Mnemonic("PE"): EncodedPolyline(); break;
    case Mnemonic("LB"): Label(); break;
    case Mnemonic("CP"): CharacterPlot(); break;
    case Mnemonic("DI"): Direction(false); break;
    case Mnemonic("DR"): Direction(true); break;
    case Mnemonic("SI"):
        FRelativeSize = false;
        if (ScanParams() >= 2 && std::abs(Par(0)) < 1e6 && std::abs(Par(1)) < 1e6) {
            FCharW = Par(0) / 2.54 * 1016;
            FCharH = Par(1) / 2.54 * 1016;
        } else {
            FCharW = 114;
            FCharH = 150;
        }
        break;
    case Mnemonic("SR"):
        FRelativeSize = true;
        if (ScanParams() >= 2 && std::abs(Par(0)) < 1e6 && std::abs(Par(1)) < 1e6) {
            FCharW = Par(0);
            FCharH = Par(1);
        } else {
            FCharW = 0.75;
            FCharH = 1.5;
        }
        break;
    case Mnemonic("LO"): FOrigin = ScanParams() == 1 ? ParInt(0) : 1; break;
    case Mnemonic("DT"): {
        const int c = Peek();
        if (c >= 0 && c != 0 && c != 5 && c != 27 && c != ';') {
            FTerminator = uchar(c);
            ++FPos;
        }
        SkipParams();
        break;
    }
    case Mnemonic("SP"): {
        const int n = ScanParams();
        const int pen = n >= 1 ? ParInt(0) : 0;
        if ((n >= 1 && pen != 0) || FHpgl2Mode) {
            SelectPen(pen);
        } else {
            FlushPolyline(false);
            FPlotReady = true;
        }
        break;
    }
    case Mnemonic("PC"): PenColor(); break;
    case Mnemonic("PW"): {
        const int n = ScanParams();
        const double w = n >= 1 && std::isfinite(Par(0)) ? std::clamp(Par(0), 0.0, 1000.0) : 0.35;
        if (n >= 2) {
            const int pen = ParInt(1);
            if (pen < 0 || pen > 255) break;
            FPens[size_t(pen)].Width = w;
            if (pen != FPen) break;
        }
        if (FList.LineWidth != w) FlushPolyline(true);
        FList.LineWidth = w;
        break;
    }
    case Mnemonic("LT"): {
        const int n = ScanParams();
        const int t = n >= 1 ? std::abs(ParInt(0)) : 0;
        quint8 style;
        if (t == 0) style = lsSolid;
        else if (t == 1) style = lsDot;
        else if (t <= 3) style = lsDash;
        else if (t <= 5) style = lsDashDot;
        else if (t <= 7) style = lsDashDotDot;
        else break;
        if (style != FList.LineStyle) FlushPolyline(true);
        FList.LineStyle = style;
        break;
    }
    case Mnemonic("FT"): FillType(); break;
    case Mnemonic("SV"): ScreenedVectors(); break;
    case Mnemonic("MC"): FList.Merge = ScanParams() >= 1 && ParInt(0) != 0; break;
    case Mnemonic("TR"): FList.Transparent = ScanParams() >= 1 && ParInt(0) != 0; break;
    case Mnemonic("IN"):
        FlushPolyline(false);
        Defaults(true);
        SkipParams();
        break;
    case Mnemonic("DF"):
        FlushPolyline(false);
        Defaults(false);
        SkipParams();
        break;
    case Mnemonic("BP"):
        FlushPolyline(false);
        Defaults(true);
        SkipParams();
        break;
    case Mnemonic("IP"): InputP1P2(); break;
    case Mnemonic("IR"): InputRelative(); break;
    case Mnemonic("SC"): Scale(); break;
    case Mnemonic("IW"): InputWindow(); break;
    case Mnemonic("RO"): {
        const int n = ScanParams() >= 1 ? ParInt(0) : 0;
        FRotation = int(NormaliseDegrees(FPlotY < FPlotX ? n : FRotation + double(n)));
        break;
    }
    case Mnemonic("PS"):
        if (ScanParams() == 2) {
            FPlotX = ClampCoord(Par(0));
            FPlotY = ClampCoord(Par(1));
            if (FPlotY > FPlotX) FRotation = 90;
        }
        break;
    case Mnemonic("PG"):
        SkipParams();
        FlushPolyline(false);
        FPlotReady = true;
        break;
    case Mnemonic("EW"): Wedge(false); break;
    case Mnemonic("WG"): Wedge(true); break;
    case Mnemonic("SM"): // symbol mode: the one printing character that follows, none turns it off
        FSymbol = 0;
        if (Peek() > ' ' && Peek() < 127 && Peek() != ';') FSymbol = uchar(Next());
        if (Peek() == ';') ++FPos;
        break;
    case Mnemonic("BL"):
    case Mnemonic("WD"): // text up to the label terminator
        while (FPos < FSize && FData[FPos] != FTerminator) ++FPos;
        if (FPos < FSize) ++FPos;
        break;
    default:
        // Everything else (the commands that need no action and those we do not know, including
        // HP-GL/1 ones) is skipped with its parameters.
        SkipParams();
        break;
    }
}

// ---------------------------------------------------------------------------------------------------
// Graphic

THPGL2Graphic::THPGL2Graphic() : FList(std::make_unique<TElementList>()) {
    FInterp = std::make_unique<THpglInterpreter>(*this, *FList);
}

THPGL2Graphic::~THPGL2Graphic() = default;

void THPGL2Graphic::SetWidth(int value) {
    if (value == FWidth) return;
    FWidth = value;
    NotifyChanged();
}

void THPGL2Graphic::SetHeight(int value) {
    if (value == FHeight) return;
    FHeight = value;
    NotifyChanged();
}

void THPGL2Graphic::SetAborted(bool value) {
    FAborted = value;
    if (value) FList->StopPainting = true;
}

void THPGL2Graphic::SetPaperColor(TColor value) {
    FPaperColor = value & 0xFFFFFF;
    FList->PaperColor = FPaperColor;
}

bool THPGL2Graphic::IsEmpty() const { return !FPlotReady || FList->Count() == 0; }

void THPGL2Graphic::LoadFromStream(QIODevice& stream) {
    // A file is read through a mapping when the system allows it (no copy of a large plot).
    QByteArray data;
    uchar* mapped = nullptr;
    auto* file = qobject_cast<QFile*>(&stream);
    const qint64 start = stream.pos();
    if (file && !file->isSequential() && file->size() > start && (mapped = file->map(start, file->size() - start)))
        data = QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), qsizetype(file->size() - start));
    else if (!stream.isSequential())
        data = ReadBytes(stream, std::max<qint64>(0, stream.size() - start)); // exactly what is left
    else
        data = ReadRemaining(stream);
    struct TUnmap {
        QFile* File;
        uchar* Map;
        ~TUnmap() {
            if (Map) File->unmap(Map);
        }
    } unmap{file, mapped};
    if (mapped) stream.seek(file->size());
    if (data.isEmpty()) throw EInvalidGraphic(QStringLiteral("File size is zero bytes"));
    FList->Clear();
    FError = heNone;
    FPlotReady = false;
    FAborted = false;
    if (Increment == 0) Increment = 10;
    FInterp = std::make_unique<THpglInterpreter>(*this, *FList); // nothing of an earlier file carries over
    Progress(TProgressStage::psStarting, 0);
    FError = FInterp->Run(data);
    Progress(TProgressStage::psEnding, 100);
    if (FAborted) {
        FList->Clear();
        return;
    }
    if (!FInterp->PlotReady() && FError == heNone) FError = heNoEnd;
    FPlotReady = true;
    if (FList->Count() == 0) throw EInvalidGraphic(QStringLiteral("Empty element list"));
    FList->Ready = true;
    const THpExtents& e = FList->DrawExtents();
    const double dpi = ScreenDpi();
    auto pixels = [dpi](double units) { return int(std::clamp(std::nearbyint(dpi * units / 1016.0), 1.0, 1e9)); };
    FWidth = pixels(std::abs(double(e.MaxX) - e.MinX));
    FHeight = pixels(std::abs(double(e.MaxY) - e.MinY));
    NotifyChanged();
}

void THPGL2Graphic::DrawTo(QPainter& canvas, const QRect& rect) const {
    if (!FPlotReady || !FList->Ready || FList->Count() == 0) return;
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.fillRect(rect, ToQColor(FPaperColor));
    FList->SetCanvas(&canvas);
    FList->RealWidth = RealWidth;
    FList->BaseLineWidth = LineWidth;
    FList->PaperColor = FPaperColor;
    FList->SetViewRect(rect);
    FList->DrawAll();
    FList->SetCanvas(nullptr);
    canvas.restore();
}

void RegisterHpglFormats() {
    const TGraphicClass cls = THPGL2Graphic::StaticClass();
    for (const char* ext : {"hgl", "plt", "hg", "hpg", "plo", "hpgl"})
        RegisterFormat(QString::fromLatin1(ext), QStringLiteral("HPGL Graphic"), cls);
}
