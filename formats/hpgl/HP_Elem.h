// Drawing elements of a plot: the node list used while an element is built, the element classes, and the
// element list that owns them, keeps the extents in plotter units, fits them into a rectangle and paints.
#pragma once

#include "codec/Graphic.h"

#include <QImage>
#include <QPoint>
#include <QPolygon>
#include <QString>

#include <atomic>
#include <memory_resource>
#include <climits>
#include <memory>
#include <vector>

class QPainter;

// An index outside a list.
class ERangeError : public Exception {
public:
    using Exception::Exception;
};

// Element kinds; the numbers are the ones the interpreter asks for.
enum THpElemKind : quint8 {
    ekPolyline = 1,
    ekPolygon = 2,
    ekCircle = 3,
    ekArc = 4,
    ekPie = 5,
    ekWindow = 6,
    ekFullWindow = 7,
    ekText = 8,
    ekImage = 9,
};

// Line styles of an element.
enum THpLineStyle : quint8 { lsSolid = 0, lsDash = 1, lsDot = 2, lsDashDot = 3, lsDashDotDot = 4 };
// Fill kinds of an element.
enum THpFillKind : quint8 { fkSolid = 0, fkHatch = 1, fkCrossHatch = 2, fkShading = 3, fkUser = 4 };

// Minimum x, maximum y, maximum x, minimum y in plotter units.
struct THpExtents {
    qint32 MinX = INT_MAX;
    qint32 MaxY = -2147483646;
    qint32 MaxX = -2147483646;
    qint32 MinY = INT_MAX;

    bool IsEmpty() const { return MinX > MaxX || MinY > MaxY; }
    void Include(QPoint p) {
        if (p.x() < MinX) MinX = p.x();
        if (p.x() > MaxX) MaxX = p.x();
        if (p.y() < MinY) MinY = p.y();
        if (p.y() > MaxY) MaxY = p.y();
    }
    void Include(const THpExtents& e) {
        if (e.IsEmpty()) return;
        Include(QPoint(e.MinX, e.MinY));
        Include(QPoint(e.MaxX, e.MaxY));
    }
    // Inclusive on every side.
    bool Overlaps(const THpExtents& e) const {
        return MinX <= e.MaxX && e.MinX <= MaxX && MinY <= e.MaxY && e.MinY <= MaxY;
    }
    bool operator==(const THpExtents&) const = default;
};

// Points in plotter units while an element is being built. Breaks mark where a new sub-path starts
// (sub-polygons of polygon mode, circles in a polygon).
class THpNodeList {
public:
    void AddNode(QPoint p) { FNodes.push_back(p); }
    // Raises ERangeError "Node index out of bounds" beyond the count.
    QPoint GetNode(int index) const;
    int Count() const { return int(FNodes.size()); }
    void Clear() {
        FNodes.clear();
        FBreaks.clear();
    }
    // The next node starts a new sub-path.
    void AddBreak() {
        if (!FNodes.empty() && (FBreaks.empty() || FBreaks.back() != Count())) FBreaks.push_back(Count());
    }
    const std::vector<QPoint>& Nodes() const { return FNodes; }
    const std::vector<int>& Breaks() const { return FBreaks; }

private:
    std::vector<QPoint> FNodes;
    std::vector<int> FBreaks;
};

// A label as the interpreter measured it.
struct THpTextRec {
    QPoint Anchor;
    double Direction = 0; // degrees, counter-clockwise
    int Align = 0;        // alignment flags: bottom 8, baseline 24, top 0, centre 6, right 2, left 0
    double CellWidth = 0;
    double CellHeight = 0;
    THpExtents Extents;
    QString Text;
};

// A one-bit raster picture: Bits holds one-bit pixels, 0 = ink, 1 = paper, top row first.
struct THpImageRec {
    int Width = 0;
    int Height = 0;
    int Resolution = 300;
    int Planes = 1;
    QPoint Position; // lower-left corner in plotter units
    QImage Bits;     // QImage::Format_Mono
};

class TElementList;

// Nodes of an element; the element list keeps them, and its elements, in one arena.
using THpPoints = std::pmr::vector<QPoint>;
using THpArena = std::pmr::memory_resource;
inline THpArena* DefaultArena() { return std::pmr::get_default_resource(); }

class TCustomElem {
public:
    TCustomElem(quint8 kind, THpArena* arena) : Kind(kind), Nodes(arena) {}
    virtual ~TCustomElem() = default;
    virtual void Paint(TElementList& list, QPainter& canvas) const {}
    virtual void SetNodes(THpNodeList& nodes) {}
    virtual void SetText(const THpTextRec& text) {}
    virtual void SetImage(const THpImageRec& image) {}
    int NodeCount() const { return int(Nodes.size()); }

    quint8 Kind;
    THpPoints Nodes;
    THpExtents Extents;
    TColor LineColor = 0;
    quint8 LineStyle = lsSolid;
    double LineWidth = 0.35; // millimetres
    TColor FillColor = 0x1FFFFFFF;
    quint8 FillKind = fkSolid;
    int FillLevel = 100;
    bool Merge = false;
    bool Winding = false; // fill rule of polygons: non-zero winding instead of odd-even
};

class TPolyline : public TCustomElem {
public:
    explicit TPolyline(THpArena* arena = DefaultArena()) : TCustomElem(ekPolyline, arena) {}
    void SetNodes(THpNodeList& nodes) override;
    void Paint(TElementList& list, QPainter& canvas) const override;
};

// A filled area; Breaks start sub-polygons (filled together, odd-even).
class TPolygon : public TCustomElem {
public:
    explicit TPolygon(THpArena* arena = DefaultArena()) : TCustomElem(ekPolygon, arena) {}
    void SetNodes(THpNodeList& nodes) override;
    void Paint(TElementList& list, QPainter& canvas) const override;
    std::vector<int> Breaks;
};

// A circle or ellipse given by two opposite corners of its bounding box.
class TCircle : public TCustomElem {
public:
    explicit TCircle(THpArena* arena = DefaultArena()) : TCustomElem(ekCircle, arena) {}
    void SetNodes(THpNodeList& nodes) override;
    void Paint(TElementList& list, QPainter& canvas) const override;
};

// Node 0 and 1: opposite corners of the bounding square; node 2: start; node 3: end. The arc runs
// counter-clockwise from start through Sweep degrees (360 for a full circle). Its extents are those of
// the arc itself (Sweep is set before the nodes; without a sweep, those of the whole circle).
class TArc : public TCustomElem {
public:
    explicit TArc(THpArena* arena = DefaultArena(), quint8 kind = ekArc) : TCustomElem(kind, arena) {}
    void SetNodes(THpNodeList& nodes) override;
    void Paint(TElementList& list, QPainter& canvas) const override;
    double Sweep = 0;

protected:
    // The arc's start angle on the output in Qt's sixteenths of a degree, and its device box.
    bool DeviceArc(const TElementList& list, QRectF& box, int& start, int& span) const;
};

// A wedge (pie slice): the arc of TArc and the two radii to its centre; outlined with the pen (EW) or
// filled with the fill type and no outline (WG). A sweep of 360 is the whole circle, without radii.
class TPie : public TArc {
public:
    explicit TPie(THpArena* arena = DefaultArena()) : TArc(arena, ekPie) {}
    void SetNodes(THpNodeList& nodes) override;
    void Paint(TElementList& list, QPainter& canvas) const override;
    bool Filled = false;
};

class TWindow : public TCustomElem {
public:
    explicit TWindow(THpArena* arena = DefaultArena()) : TCustomElem(ekWindow, arena) {}
    void SetNodes(THpNodeList& nodes) override;
    void Paint(TElementList& list, QPainter& canvas) const override;
};

class TFullWindow : public TCustomElem {
public:
    explicit TFullWindow(THpArena* arena = DefaultArena()) : TCustomElem(ekFullWindow, arena) {}
    void Paint(TElementList& list, QPainter& canvas) const override;
};

class TText : public TCustomElem {
public:
    explicit TText(THpArena* arena = DefaultArena()) : TCustomElem(ekText, arena) {}
    void SetText(const THpTextRec& text) override;
    void Paint(TElementList& list, QPainter& canvas) const override;
    THpTextRec Rec;
};

class THpImage : public TCustomElem {
public:
    explicit THpImage(THpArena* arena = DefaultArena()) : TCustomElem(ekImage, arena) {}
    void SetImage(const THpImageRec& image) override;
    void Paint(TElementList& list, QPainter& canvas) const override;
    THpImageRec Rec;
};

class TElementList {
public:
    // Space in device pixels left free at the right and bottom of the output rectangle by the fit.
    static constexpr int FitMargin = 16;

    TElementList() { Clear(); }
    ~TElementList() { DestroyElements(); }
    TElementList(const TElementList&) = delete;
    TElementList& operator=(const TElementList&) = delete;

    // Creates an element of the kind from the nodes (emptied by arcs and windows). False when nothing
    // was created: unknown kinds, and kinds 1-5 that end up without nodes.
    // sweep: of arcs and wedges; filled: of wedges.
    bool AddElement(quint8 kind, THpNodeList& nodes, double sweep = 0, bool filled = false);
    bool AddElement(const THpTextRec& text);
    bool AddElement(const THpImageRec& image);
    void Clear();

    void SetCanvas(QPainter* canvas) { FCanvas = canvas; }
    // Fits the window extents into rect (device pixels, right and bottom inclusive), keeping the
    // aspect ratio and anchoring the drawing at the lower left.
    void SetViewRect(const QRect& rect);
    void DrawAll();

    QPoint WorldToDevice(QPoint p) const;
    QPointF WorldToDeviceF(QPointF p) const;
    // Millimetres through plotter units to device pixels; at least 1.
    int PenWidthToDevice(double mm) const;

    int Count() const { return int(FElements.size()); }
    const TCustomElem& Element(int i) const { return *FElements.at(size_t(i)); }

    // Attributes given to new elements.
    TColor LineColor = 0;
    double LineWidth = 0.35;
    quint8 LineStyle = lsSolid;
    TColor FillColor = 0xFFFFFF;
    quint8 FillKind = fkSolid;
    int FillLevel = 100;
    bool Merge = false;
    bool Winding = false;
    bool Transparent = false;

    TColor PaperColor = 0xFFFFFF;
    bool RealWidth = false;
    int BaseLineWidth = 1; // pen width in pixels when RealWidth is off
    bool Ready = false;
    std::atomic<bool> StopPainting{false};

    const THpExtents& DrawExtents() const { return FDraw; }
    const THpExtents& WindowExtents() const { return FWindow; }
    const THpExtents& DisplayExtents() const { return FDisplay; }
    const QRect& ViewRect() const { return FView; }
    double ScaleX() const { return FSx; }
    double ScaleY() const { return FSy; }
    bool TransformValid() const { return FValid; }

    // Painting helpers for the elements.
    void ApplyPen(QPainter& canvas, const TCustomElem& e, bool noPen = false);
    void ApplyBrush(QPainter& canvas, const TCustomElem& e);
    // Clipping of window elements (kept for the direct line drawing too).
    void ClipTo(QPainter& canvas, const QRect& rect);
    void ClipOff(QPainter& canvas);
    // Solid one-pixel lines drawn straight into a 32-bit image canvas, the bulk of most plots.
    bool CanDrawFast(const TCustomElem& e) const;
    void FastPolyline(const THpPoints& nodes, TColor color);
    // The device points of the element's nodes, in a buffer reused for every element.
    const QPolygon& DevicePoints(const THpPoints& nodes, size_t from = 0, size_t to = SIZE_MAX);

private:
    bool Append(TCustomElem* e, bool takeAttributes);
    template <class T> T* New() { return new (FArena.allocate(sizeof(T), alignof(T))) T(&FArena); }
    void DestroyElements();

    // Big chunks for the arena (on Linux backed by huge pages where the system allows: a large plot makes
    // hundreds of thousands of elements, and page faults would otherwise cost as much as building them).
    class TChunkResource : public std::pmr::memory_resource {
        void* do_allocate(size_t bytes, size_t alignment) override;
        void do_deallocate(void* p, size_t bytes, size_t alignment) override;
        bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override { return this == &other; }
    };
    TChunkResource FChunks;
    std::pmr::monotonic_buffer_resource FArena{size_t(1) << 16, &FChunks};
    std::vector<TCustomElem*> FElements; // in the arena
    THpExtents FDraw, FWindow, FDisplay;
    QRect FView;
    double FSx = 1, FSy = -1, FOx = 0, FOy = 0;
    bool FValid = false;
    bool FPainting = false;
    QPainter* FCanvas = nullptr;
    QPolygon FScratch;
    // Direct drawing: the image bits, its stride, the painter's offset and the clip in pixels.
    uchar* FBits = nullptr;
    qsizetype FStride = 0;
    int FDx = 0, FDy = 0;
    QRect FImageRect, FFastClip;
    void FastLine(int x0, int y0, int x1, int y1, quint32 argb);
};

// Shaded fill colour for a shading level in percent: 100 gives the colour itself, 0 white.
TColor ShadedColor(TColor color, int level);
