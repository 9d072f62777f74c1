// The in-memory model of a DXF drawing: points and matrices, the entity classes (each draws itself on a
// canvas through the drawing's mapping), the per-layer entity lists, the layers and the drawing container.
#pragma once

#include "codec/Graphic.h"

#include <QFont>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class QIODevice;
class QPainter;

struct Point3D {
    double x = 0, y = 0, z = 0;
    bool operator==(const Point3D&) const = default;
};

// Row-major 4 x 4 matrix; points are row vectors (p' = p . M), so A . B applies A first.
struct Matrix4 {
    std::array<double, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    double& operator()(int r, int c) { return m[size_t(4 * r + c)]; }
    double operator()(int r, int c) const { return m[size_t(4 * r + c)]; }
};

inline Point3D operator*(const Point3D& p, const Matrix4& a) {
    return {p.x * a.m[0] + p.y * a.m[4] + p.z * a.m[8] + a.m[12], p.x * a.m[1] + p.y * a.m[5] + p.z * a.m[9] + a.m[13],
            p.x * a.m[2] + p.y * a.m[6] + p.z * a.m[10] + a.m[14]};
}
Matrix4 operator*(const Matrix4& a, const Matrix4& b);

// The display colours of the colour numbers: 13 entries, indexed by the number modulo 13.
extern const TColor DXF_ColourTable[13];
// Colour of a colour number; negative numbers (layers switched off) use their absolute value.
TColor DxfColourOf(int colourNumber);

class DXF_Entity;
class Block_;
class Entity_List;
class DXF_Layer;

// Block definitions by name (upper case), for linking inserts.
using DXF_BlockIndex = std::unordered_map<std::string, Block_*>;

// Where and how entities draw: the painter, the mapping from drawing units to device pixels and the
// display settings. Points map as X = (x - Left) * Scale, Y = (Top - y) * Scale after any matrix.
class DXF_Canvas {
public:
    DXF_Canvas(QPainter& painter, double scale, double left, double top, int lineWidth, bool fillSolid);

    QPainter& Painter;
    const double Scale, Left, Top;
    const bool FillSolid;

    // Maps p (through m first when given) to device coordinates. False when the result is not a usable
    // number; the caller then skips what it was drawing.
    bool Map(const Point3D& p, const Matrix4* m, QPointF& out) const {
        const Point3D q = m ? p * *m : p;
        out.setX((q.x - Left) * Scale);
        out.setY((Top - q.y) * Scale);
        return std::abs(out.x()) < 1e15 && std::abs(out.y()) < 1e15; // also false for NaN
    }
    // Device pixels per drawing unit along the x and y axes of m (the larger of the two).
    double PixelsPerUnit(const Matrix4* m) const;

    void SetColour(TColor colour);
    void Line(QPointF a, QPointF b);
    // n points as an open polyline or a closed polygon (filled with the brush).
    void Poly(const QPointF* points, int n, bool closed);
    // Several closed contours filled together (even-odd), outlined with the pen.
    void Contours(const std::vector<std::vector<QPointF>>& contours);
    void Pixel(QPointF p);
    // The 5-pixel cross of points and vertices.
    void Cross(QPointF p);
    // One line of text: baseline direction ux and up direction uy are device vectors of one drawing unit;
    // height in drawing units (capital height); hAlign 0 left, 1 centre, 2 right; vAlign 0 baseline,
    // 1 bottom, 2 middle, 3 top; widthFactor stretches along the baseline.
    // A fitWidth above 0 (drawing units) makes the line run exactly that far from the origin: the glyphs
    // are stretched along the baseline only ("fit"), or, with keepAspect, the whole line is scaled and
    // the height follows the width, widthFactor kept ("aligned").
    void Text(const QString& text, QPointF origin, QPointF ux, QPointF uy, double height, int hAlign, int vAlign,
              double widthFactor = 1.0, double fitWidth = 0.0, bool keepAspect = false);
    // Width of the text in drawing units for a capital height of 1.
    double TextWidth(const QString& text);

    // Scratch buffers reused by the entities while drawing.
    std::vector<QPointF> Points;
    std::vector<Point3D> Vertices;

    // Bounds the work through nested blocks: each entity drawn counts one.
    int Depth = 0;
    qint64 Budget = 8'000'000;

private:
    void SetFontPixels(int pixels);
    bool Inside(QPointF p) const { return p.x() >= FBox.left() && p.x() <= FBox.right() && p.y() >= FBox.top() && p.y() <= FBox.bottom(); }

    QPen FPen;
    TColor FColour = 0;
    QRectF FBox; // device area that can show anything, with a margin for the pen
    QFont FFont;
    int FFontPixels = 0;
    double FCapRatio = 0.72; // capital height / pixel size of the text font
};

// Base of all entities.
class DXF_Entity {
public:
    DXF_Entity() = default;
    DXF_Entity(const DXF_Entity&) = delete;
    DXF_Entity& operator=(const DXF_Entity&) = delete;
    virtual ~DXF_Entity() = default;

    // Stores the extrusion direction and builds the object coordinate system (none for (0, 0, 1)).
    virtual void SetExtrusion(const Point3D& normal);
    // Resolves block references (blocks and inserts only).
    virtual void LinkBlocks(const DXF_BlockIndex&) {}
    virtual void Render(DXF_Canvas& canvas, const Matrix4* incoming) const = 0;
    virtual void RenderVertices(DXF_Canvas&, const Matrix4*) const {}
    virtual void SetColourNumber(int n);
    void SetDisplayColour(TColor c);
    virtual void Offset(const Point3D& v) = 0;
    virtual int PointCount() const { return 1; }
    virtual int SegmentCount() const { return 0; }
    virtual int OpenCount() const { return 0; }
    virtual int ClosedCount() const { return 0; }
    // "LINE" for Line_, "3DFACE" for Face3D_, ...
    virtual QString DxfTypeName() const = 0;
    // The name of the entity list it is filed in ("Line_", ...).
    virtual const char* ListName() const = 0;
    // Grows max and min over the entity's points in the coordinates of incoming (world when none).
    virtual void GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const = 0;

    // Editing and inspection, in the entity's own coordinates.
    // Rounds the coordinates selected by axes (bit 0 x, 1 y, 2 z) to multiples of 1 / factor.
    void SnapToGrid(int axes, double factor);
    // Smallest squared x-y distance from p to a stored point (infinity without points), and that point.
    double NearestVertexDistance2(const Point3D& p) const;
    Point3D NearestVertex(const Point3D& p) const;
    // Whether p lies inside the shape in x and y (closed outlines and circles only).
    virtual bool Contains2D(const Point3D&) const { return false; }
    // Replaces the first stored point equal to oldPoint; true when one was replaced.
    bool ReplaceVertex(const Point3D& oldPoint, const Point3D& newPoint);
    // The pairs code, code + 10, code + 20 of a point.
    static void WritePointGroups(QIODevice& file, int code, const Point3D& p);
    // The entity as DXF group pairs (from its code-0 pair on), on the named layer.
    virtual void WriteGroups(QIODevice& file, const QString& layerName) const;
    // Several lines: the type, the colour number and the stored points.
    QString Describe() const;
    // The stored points (positions, ends, vertices) in order.
    virtual void StoredPoints(std::vector<const Point3D*>& out) const = 0;

    TColor DisplayColour() const { return FDisplayColour; }
    int ColourNumber() const { return FColourNumber; }
    const Point3D& Extrusion() const { return FExtrusion; }
    const Matrix4* OwnMatrix() const { return FMatrix ? FMatrix.get() : nullptr; }

protected:
    void WriteHead(QIODevice& file, const QString& layerName) const;
    void WriteExtrusion(QIODevice& file) const;
    // Own matrix followed by the incoming one (either may be absent); the result lives in scratch.
    const Matrix4* Effective(const Matrix4* incoming, Matrix4& scratch) const;
    bool BeginRender(DXF_Canvas& canvas) const;

    TColor FDisplayColour = 0;
    int FColourNumber = 0;
    std::unique_ptr<Matrix4> FMatrix;
    Point3D FExtrusion{0, 0, 1};
};

#define DXF_ENTITY_NAMES(T, TYPE)                                                                          \
    QString DxfTypeName() const override { return QStringLiteral(TYPE); }                                  \
    const char* ListName() const override { return #T; }

class Block_ : public DXF_Entity {
public:
    Block_(QString name, const Point3D& basePoint);
    DXF_ENTITY_NAMES(Block_, "BLOCK")
    void LinkBlocks(const DXF_BlockIndex& blocks) override;
    void Render(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void RenderVertices(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void Offset(const Point3D& v) override { FBase.x += v.x, FBase.y += v.y, FBase.z += v.z; }
    void GrowExtents(Point3D&, Point3D&, const Matrix4*) const override {}
    void StoredPoints(std::vector<const Point3D*>& out) const override { out.push_back(&FBase); }
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
    // Extents of the members in the coordinates of the insert (base point at the origin); false when empty.
    bool LocalExtents(Point3D& max, Point3D& min) const;

    void Add(std::unique_ptr<DXF_Entity> entity) { FMembers.push_back(std::move(entity)); }
    const QString& Name() const { return FName; }
    const Point3D& BasePoint() const { return FBase; }
    const std::vector<std::unique_ptr<DXF_Entity>>& Members() const { return FMembers; }

private:
    QString FName;
    Point3D FBase;
    std::vector<std::unique_ptr<DXF_Entity>> FMembers;
    mutable bool FBusy = false; // guards against blocks that insert themselves
    mutable int FExtentsState = 0; // 0 unknown, 1 empty, 2 known
    mutable Point3D FExtMax, FExtMin;
};

class Point_ : public DXF_Entity {
public:
    Point_(const Point3D& normal, int colourNumber, const Point3D& position);
    DXF_ENTITY_NAMES(Point_, "POINT")
    void Render(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void RenderVertices(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void Offset(const Point3D& v) override;
    void GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const override;
    void StoredPoints(std::vector<const Point3D*>& out) const override { out.push_back(&FPosition); }
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
    const Point3D& Position() const { return FPosition; }

protected:
    Point3D FPosition;
};

// Text styles of TEXT, ATTRIB and ATTDEF beyond the basic fields.
struct DXF_TextStyle {
    double Rotation = 0;     // degrees
    double WidthFactor = 1;  // group 41
    int Generation = 0;      // group 71: 2 backwards, 4 upside down
    int VAlign = 0;          // group 73 (TEXT) or 74 (ATTRIB, ATTDEF)
};

class Text_ : public Point_ {
public:
    Text_(const Point3D& normal, int justification, int colourNumber, double height, QString text,
          const Point3D& alignPoint, const Point3D& position, const DXF_TextStyle& style = {});
    DXF_ENTITY_NAMES(Text_, "TEXT")
    void Render(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const override;
    void StoredPoints(std::vector<const Point3D*>& out) const override;
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
    const QString& Text() const { return FText; }
    double Height() const { return FHeight; }
    int Justification() const { return FJustification; }
    const Point3D& AlignPoint() const { return FAlignPoint; }

protected:
    void DrawText(DXF_Canvas& canvas, const Matrix4* incoming, const QString& text) const;

    double FHeight;
    QString FText;
    Point3D FAlignPoint;
    int FJustification;
    DXF_TextStyle FStyle;
};

class Attrib_ : public Text_ {
public:
    Attrib_(const Point3D& normal, int colourNumber, double height, int justification, int flags, QString value,
            QString tag, const Point3D& alignPoint, const Point3D& position, const DXF_TextStyle& style = {});
    DXF_ENTITY_NAMES(Attrib_, "ATTRIB")
    void Render(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
    const QString& Value() const { return FValue; }
    bool Visible() const { return FVisible; }

protected:
    QString FValue;
    bool FVisible;
};

class Attdef_ : public Attrib_ {
public:
    Attdef_(const Point3D& normal, int colourNumber, double height, int justification, int flags, QString prompt,
            QString defaultValue, QString tag, const Point3D& alignPoint, const Point3D& position,
            const DXF_TextStyle& style = {});
    DXF_ENTITY_NAMES(Attdef_, "ATTDEF")
    void Render(DXF_Canvas&, const Matrix4*) const override {}
    const QString& Prompt() const { return FPrompt; }

private:
    QString FPrompt;
};

// Block reference; with column and row counts above 1 an array of references (MINSERT).
class Insert_ : public Point_ {
public:
    Insert_(const Point3D& normal, QString blockName, std::vector<std::unique_ptr<Attrib_>> attributes,
            int colourNumber, double rotation, const Point3D& scale, const Point3D& position);
    DXF_ENTITY_NAMES(Insert_, "INSERT")
    void SetExtrusion(const Point3D& normal) override;
    void LinkBlocks(const DXF_BlockIndex& blocks) override;
    void Render(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void RenderVertices(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const override;
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
    void SetArray(int columns, int rows, double columnSpacing, double rowSpacing);

    const QString& BlockName() const { return FBlockName; }
    const Block_* Block() const { return FBlock; }
    const Point3D& Scale() const { return FScale; }
    double Rotation() const { return FRotation; } // radians
    const std::vector<std::unique_ptr<Attrib_>>& Attributes() const { return FAttributes; }

protected:
    Matrix4 CopyMatrix(int column, int row) const;

    QString FBlockName;
    std::vector<std::unique_ptr<Attrib_>> FAttributes;
    Point3D FScale{1, 1, 1};
    double FRotation = 0;
    int FColumns = 1, FRows = 1;
    double FColumnSpacing = 0, FRowSpacing = 0;
    const Block_* FBlock = nullptr;
};

// A dimension draws the anonymous block that holds its lines, arrows and text.
class Dimension_ : public Insert_ {
public:
    Dimension_(const Point3D& normal, QString blockName, int colourNumber);
    DXF_ENTITY_NAMES(Dimension_, "DIMENSION")
    void RenderVertices(DXF_Canvas&, const Matrix4*) const override {}
};

class Line_ : public Point_ {
public:
    Line_(const Point3D& start, int colourNumber, const Point3D& end);
    DXF_ENTITY_NAMES(Line_, "LINE")
    void Render(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void RenderVertices(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void Offset(const Point3D& v) override;
    int PointCount() const override { return 2; }
    int SegmentCount() const override { return 1; }
    void GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const override;
    void StoredPoints(std::vector<const Point3D*>& out) const override;
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
    const Point3D& End() const { return FEnd; }

private:
    Point3D FEnd;
};

class Circle_ : public Point_ {
public:
    Circle_(const Point3D& normal, int colourNumber, double radius, const Point3D& centre);
    DXF_ENTITY_NAMES(Circle_, "CIRCLE")
    void Render(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const override;
    bool Contains2D(const Point3D& p) const override;
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
    double Radius() const { return FRadius; }

protected:
    double FRadius;
};

class Arc_ : public Circle_ {
public:
    // Angles in degrees, stored in radians.
    Arc_(const Point3D& normal, int colourNumber, double endAngle, double startAngle, double radius, const Point3D& centre);
    DXF_ENTITY_NAMES(Arc_, "ARC")
    void Render(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const override;
    bool Contains2D(const Point3D&) const override { return false; }
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
    double StartAngle() const { return FStart; }
    double EndAngle() const { return FEnd; }

private:
    double FStart, FEnd;
};

// Full or partial ellipse; centre and major axis in world coordinates, the minor axis lies in the plane
// of the extrusion direction.
class Ellipse_ : public Point_ {
public:
    Ellipse_(const Point3D& normal, int colourNumber, const Point3D& centre, const Point3D& majorAxis, double ratio,
             double startParam, double endParam);
    DXF_ENTITY_NAMES(Ellipse_, "ELLIPSE")
    void SetExtrusion(const Point3D& normal) override;
    void Render(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const override;
    void WriteGroups(QIODevice& file, const QString& layerName) const override;

private:
    Point3D FMajor, FMinor;
    double FStart, FEnd;
};

class Polyline_ : public DXF_Entity {
public:
    // bulges, when not empty, has one value per point (an arc to the next point: tan of a quarter of its angle).
    Polyline_(const Point3D& normal, bool closed, int colourNumber, std::vector<Point3D> points,
              std::vector<double> bulges = {});
    DXF_ENTITY_NAMES(Polyline_, "POLYLINE")
    void Render(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void RenderVertices(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void Offset(const Point3D& v) override;
    int PointCount() const override { return int(FPoints.size()); }
    int SegmentCount() const override { return int(FPoints.size()); }
    int OpenCount() const override { return FClosed ? 0 : 1; }
    int ClosedCount() const override { return FClosed ? 1 : 0; }
    void GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const override;
    void StoredPoints(std::vector<const Point3D*>& out) const override;
    bool Contains2D(const Point3D& p) const override;
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
    bool Closed() const { return FClosed; }
    const std::vector<Point3D>& Points() const { return FPoints; }
    const std::vector<double>& Bulges() const { return FBulges; }

protected:
    // The outline in entity coordinates, arcs of bulges divided to suit pixelsPerUnit.
    const std::vector<Point3D>& Outline(DXF_Canvas& canvas, double pixelsPerUnit) const;
    void DrawMapped(DXF_Canvas& canvas, const std::vector<Point3D>& points, const Matrix4* m, bool closed) const;

    bool FClosed;
    std::vector<Point3D> FPoints;
    std::vector<double> FBulges;
};

class LwPolyline_ : public Polyline_ {
public:
    using Polyline_::Polyline_;
    DXF_ENTITY_NAMES(LwPolyline_, "LWPOLYLINE")
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
};

class Face3D_ : public Polyline_ {
public:
    Face3D_(int count, bool closed, int colourNumber, const Point3D* points);
    DXF_ENTITY_NAMES(Face3D_, "3DFACE")
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
};

class Solid_ : public Face3D_ {
public:
    // Points in group order 10, 11, 12, 13; four-point solids are drawn 1, 2, 4, 3.
    Solid_(const Point3D& normal, double thickness, int colourNumber, const Point3D* points, int count);
    DXF_ENTITY_NAMES(Solid_, "SOLID")

private:
    double FThickness;
};

class Polygon_mesh_ : public Polyline_ {
public:
    Polygon_mesh_(int count, int colourNumber, int flags, const Point3D* points, int n, int m);
    DXF_ENTITY_NAMES(Polygon_mesh_, "POLYLINE")
    void Render(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void WriteGroups(QIODevice& file, const QString& layerName) const override;

private:
    int FM, FN;
    bool FClosedM, FClosedN;
};

class Polyface_mesh_ : public Polyline_ {
public:
    using TFace = std::array<int, 4>; // 0-based vertex indexes, negative = absent
    Polyface_mesh_(int vertexCount, int colourNumber, std::vector<TFace> faces, const Point3D* points);
    DXF_ENTITY_NAMES(Polyface_mesh_, "POLYLINE")
    void Render(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
    const std::vector<TFace>& Faces() const { return FFaces; }

private:
    std::vector<TFace> FFaces;
};

// A B-spline, kept as its defining points and drawn from the curve evaluated at load time.
class Spline_ : public Polyline_ {
public:
    Spline_(const Point3D& normal, int colourNumber, int flags, int degree, const std::vector<double>& knots,
            const std::vector<double>& weights, const std::vector<Point3D>& controlPoints,
            const std::vector<Point3D>& fitPoints);
    DXF_ENTITY_NAMES(Spline_, "SPLINE")
    // Written through its defining points as fit points.
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
    void RenderVertices(DXF_Canvas& canvas, const Matrix4* incoming) const override;

private:
    std::vector<Point3D> FDefining; // fit points when given, else control points
};

class MText_ : public Point_ {
public:
    // attachment 1..9 (top/middle/bottom by left/centre/right); xAxis from group 11 (zero when absent)
    MText_(const Point3D& normal, int colourNumber, const Point3D& position, double height, double rotation,
           const Point3D& xAxis, int attachment, double lineSpacing, const QString& text);
    DXF_ENTITY_NAMES(MText_, "MTEXT")
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
    void Render(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const override;
    const QStringList& Lines() const { return FLines; }

private:
    double FHeight, FRotation; // radians, in the entity's own coordinates
    int FAttachment;
    double FLineSpacing;
    QStringList FLines;
};

// Boundary paths of a hatch in the entity's own coordinates, outlined, and filled with fill solid on.
class Hatch_ : public DXF_Entity {
public:
    Hatch_(const Point3D& normal, int colourNumber, std::vector<std::vector<Point3D>> paths, bool solid);
    DXF_ENTITY_NAMES(Hatch_, "HATCH")
    void Render(DXF_Canvas& canvas, const Matrix4* incoming) const override;
    void StoredPoints(std::vector<const Point3D*>& out) const override;
    bool Contains2D(const Point3D& p) const override;
    void WriteGroups(QIODevice& file, const QString& layerName) const override;
    void Offset(const Point3D& v) override;
    int PointCount() const override;
    void GrowExtents(Point3D& max, Point3D& min, const Matrix4* incoming) const override;
    const std::vector<std::vector<Point3D>>& Paths() const { return FPaths; }
    bool SolidFill() const { return FSolid; }

private:
    std::vector<std::vector<Point3D>> FPaths;
    bool FSolid;
};

class Entity_List {
public:
    Entity_List(QString name, DXF_Layer* owner) : FName(std::move(name)), FOwner(owner) {}
    const QString& Name() const { return FName; }
    DXF_Layer* Owner() const { return FOwner; }
    void Add(std::unique_ptr<DXF_Entity> entity) { FEntities.push_back(std::move(entity)); }
    int Count() const { return int(FEntities.size()); }
    const std::vector<std::unique_ptr<DXF_Entity>>& Entities() const { return FEntities; }
    std::vector<std::unique_ptr<DXF_Entity>>& Entities() { return FEntities; }
    void RenderAll(DXF_Canvas& canvas, const Matrix4* m) const;
    void RenderAllVertices(DXF_Canvas& canvas, const Matrix4* m) const;
    void GrowExtents(Point3D& max, Point3D& min) const;

private:
    QString FName;
    DXF_Layer* FOwner;
    std::vector<std::unique_ptr<DXF_Entity>> FEntities;
};

class DXF_Layer {
public:
    explicit DXF_Layer(QString name, int colourNumber = 0) : FName(std::move(name)), FColourNumber(colourNumber) {}
    const QString& Name() const { return FName; }
    int ColourNumber() const { return FColourNumber; }
    void SetColourNumber(int n) { FColourNumber = n; }
    // Files the entity in the list named by its class; colour numbers 0 and 256 take the layer's.
    void AddEntity(std::unique_ptr<DXF_Entity> entity);
    Entity_List& GetOrCreateList(const QString& name);
    int ListCount() const { return int(FLists.size()); }
    Entity_List& List(int i) const { return *FLists[size_t(i)]; }
    const QStringList& ListNames() const { return FNames; }
    void RemoveList(int i);
    void GrowExtents(Point3D& max, Point3D& min) const;

private:
    QString FName;
    int FColourNumber;
    QStringList FNames;
    std::vector<std::unique_ptr<Entity_List>> FLists;
};

// One line of the drawing's index: the file name, a layer ("  name") or an entity list ("    name").
struct DXF_IndexLine {
    QString Text;
    DXF_Layer* Layer = nullptr;
    Entity_List* List = nullptr;
};

class DXF_Object {
public:
    using TProgress = std::function<void(int percent)>;
    // Reads the file (errors of the reader propagate).
    explicit DXF_Object(const QString& fileName, const TProgress& progress = {});
    // Reads DXF text already in memory; name is what the index shows.
    DXF_Object(const QByteArray& data, const QString& name, const TProgress& progress = {});

    const QString& FileName() const { return FFileName; }
    int LayerCount() const { return int(FLayers.size()); }
    DXF_Layer& Layer(int i) const { return *FLayers[size_t(i)]; }
    DXF_Layer& GetOrCreateLayer(const QString& name);
    const Point3D& ExtentsMin() const { return FExtMin; }
    const Point3D& ExtentsMax() const { return FExtMax; }
    // What the reader skipped, with line numbers.
    const QStringList& Messages() const { return FMessages; }
    // The bytes read were a DXF file (a section or the end-of-file marker), whether or not they held
    // anything to draw.
    bool IsDxf() const { return FIsDxf; }
    // Moves the other drawing's entities into this one (the other is left with empty lists).
    void MergeFrom(DXF_Object& other);
    void RemoveEmptyLists();
    void ListEntities(std::vector<DXF_IndexLine>& index) const;

private:
    void Load(const QByteArray& data, const TProgress& progress);

    QString FFileName;
    std::vector<std::unique_ptr<DXF_Layer>> FLayers;
    Point3D FExtMax, FExtMin;
    QStringList FMessages;
    bool FIsDxf = false;
};
