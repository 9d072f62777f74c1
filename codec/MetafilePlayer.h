// The device context shared by the WMF and EMF players: GDI objects, mapping, clipping, saved states and
// the drawing primitives, all on a QPainter. Internal to the metafile module.
#pragma once

#include "codec/Graphic.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QTransform>

#include <functional>
#include <vector>

namespace mf {

// GDI constants used by both players.
enum : int {
    MM_TEXT = 1, MM_LOMETRIC, MM_HIMETRIC, MM_LOENGLISH, MM_HIENGLISH, MM_TWIPS, MM_ISOTROPIC, MM_ANISOTROPIC
};
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
enum : int { ALTERNATE = 1, WINDING = 2 };
enum : int { PS_SOLID = 0, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME, PS_USERSTYLE, PS_ALTERNATE };
enum : int { BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2, BS_PATTERN = 3, BS_DIBPATTERN = 5, BS_DIBPATTERNPT = 6 };
enum : int { TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_BOTTOM = 8, TA_BASELINE = 24 };
enum : int { ETO_OPAQUE = 2, ETO_CLIPPED = 4, ETO_GLYPH_INDEX = 0x10, ETO_PDY = 0x2000 };
enum : int { RGN_AND = 1, RGN_OR, RGN_XOR, RGN_DIFF, RGN_COPY };

struct TPenDef {
    int Style = PS_SOLID;  // full style word (type, end cap, join, dash)
    double Width = 0;      // logical units; 0 is one device pixel
    QColor Color = Qt::black;
    std::vector<double> Dashes; // PS_USERSTYLE, logical units
};

struct TBrushDef {
    int Style = BS_SOLID;
    QColor Color = Qt::white;
    int Hatch = 0;
    QImage Pattern;       // BS_PATTERN / BS_DIBPATTERN
    bool MonoPattern = false; // two-colour pattern drawn in text and background colours
};

struct TFontDef {
    double Height = 0; // logical units; negative: character height, positive: cell height
    double Width = 0;
    int Escapement = 0; // tenths of a degree, anticlockwise
    int Weight = 400;
    bool Italic = false, Underline = false, StrikeOut = false;
    int CharSet = 0;
    int PitchAndFamily = 0;
    QString Face;
};

struct TGdiObject {
    enum TKind { None, Pen, Brush, Font, Palette, Region } Kind = None;
    TPenDef PenDef;
    TBrushDef BrushDef;
    TFontDef FontDef;
    QVector<QRgb> Colors; // palette
    QPainterPath Area;    // region, logical units
};

struct TDcState {
    int MapMode = MM_TEXT;
    QPointF WinOrg{0, 0}, WinExt{1, 1}, VpOrg{0, 0}, VpExt{1, 1};
    QTransform World;
    TPenDef Pen;
    TBrushDef Brush;
    TFontDef Font;
    QVector<QRgb> Palette;
    QColor TextColor = Qt::black, BkColor = Qt::white;
    int BkMode = OPAQUE;
    int PolyFillMode = ALTERNATE;
    int TextAlign = 0;
    int Rop2 = 13; // R2_COPYPEN
    int CharExtra = 0;
    bool ArcClockwise = false;
    QPointF CurPos; // logical
    bool HasClip = false;
    QRegion Clip; // device pixels of the output
};

// The DIB of a record, decoded by the bitmap codec: header (with colour table) and bits apart (EMF), or
// packed one after the other (WMF). palIndices: the colour table indexes palette; keepAlpha: 32-bit
// pixels with premultiplied alpha. Returns a null image when the header is not understood; beyond the
// pixel limit raises EPictureTooLarge.
QImage DecodeDib(const uchar* info, qint64 infoSize, const uchar* bits, qint64 bitsSize,
                 const QVector<QRgb>& palette, bool palIndices, bool keepAlpha = false);
QImage DecodePackedDib(const uchar* dib, qint64 size, const QVector<QRgb>& palette, bool palIndices);
// The text of a byte string in the given character set (ANSI code page 1252 for the usual sets).
QString DecodeAnsi(const uchar* s, qint64 n, int charSet);
// Pixels per millimetre of the display a metafile is measured against when it names none.
constexpr double kScreenDpi = 96.0;

class TPlayer {
public:
    // painter draws in output coordinates; output maps the metafile's device space into them; nothing is
    // drawn outside clipRect (output coordinates).
    TPlayer(QPainter& painter, const QTransform& output, const QRectF& clipRect);
    virtual ~TPlayer();

protected:
    // Mapping: logical -> world -> page (mapping mode, window, viewport) -> device -> output.
    QTransform PageToDevice() const;
    QTransform Full() const;
    QPointF Map(const QPointF& p) const;
    double DeviceScale() const;
    void SetMapMode(int mode);

    // State stack.
    void SaveDC();
    void RestoreDC(int n);

    // Clipping, in logical units (rectangles) or output pixels (regions).
    QRegion FullRegion() const;
    QRegion LogicalToRegion(const QPainterPath& logical) const;
    void IntersectClip(const QRectF& logical);
    void ExcludeClip(const QRectF& logical);
    void OffsetClip(const QPointF& logicalDelta);
    void CombineClip(const QRegion& region, int mode);
    void ResetClip();
    void ApplyClip();

    // Primitives: geometry in logical units.
    void DrawPath(const QPainterPath& logical, bool fill, bool stroke);
    void DrawPolyline(const QPolygonF& pts);
    void PolylineTo(const QPolygonF& pts);
    void BezierTo(const QPolygonF& pts);
    void DrawPolygons(const QVector<QPolygonF>& polys);
    void DrawRect(const QRectF& r);
    void DrawRoundRect(const QRectF& r, const QSizeF& corner);
    void DrawEllipse(const QRectF& r);
    enum TArcKind { akArc, akChord, akPie };
    static QPainterPath ArcPath(const QRectF& box, const QPointF& start, const QPointF& end, TArcKind kind,
                                bool clockwise);
    void DrawArc(const QRectF& box, const QPointF& start, const QPointF& end, TArcKind kind);
    void MoveTo(const QPointF& p);
    void LineTo(const QPointF& p);
    void SetPixel(const QPointF& p, const QColor& c);
    // Text at a logical reference point; dx: advances in logical units (may be empty).
    void DrawText(const QPointF& ref, const QString& text, const std::vector<double>& dx, int options,
                  const QRectF* rect, bool useCurPos);
    // A raster: src (image pixels) into the logical destination rectangle with a raster operation.
    void DrawBitmap(const QImage& image, const QRectF& src, const QRectF& dest, quint32 rop);
    // A block operation without a source (pattern, black, white, inversion).
    void PatBlt(const QRectF& dest, quint32 rop);
    // Fills (or inverts) a region given in output pixels.
    void FillRegion(const QRegion& region, const TBrushDef& brush, bool invert = false);

    // Path bracket.
    void BeginPath();
    void EndPath() { FPathOpen = false; }
    void AbortPath() { FPathOpen = false; FPath = QPainterPath(); }
    void CloseFigure();
    void FillStrokePath(bool fill, bool stroke);
    void WidenPath();
    void SelectClipPath(int mode);

    QPen MakePen() const;
    QBrush MakeBrush(const TBrushDef& b) const;
    QFont MakeFont(double& pixelSize) const;
    QColor RopColor(const QColor& c) const;
    QPainter::CompositionMode RopMode(quint32 rop, bool& skip, int& fill) const;
    bool Prepare(); // applies ROP2 and background; false when nothing should be drawn

    QPainter& FPainter;
    QTransform FOutput;
    QRectF FClipRect; // output pixels
    QRegion FBaseClip; // FClipRect within the caller's clip
    double FPxPerMmX = kScreenDpi / 25.4, FPxPerMmY = kScreenDpi / 25.4;
    TDcState FDc;
    std::vector<TDcState> FSaved;
    bool FPathOpen = false, FFigureOpen = false;
    QPainterPath FPath; // output pixels

private:
    void Emit(const QPainterPath& device, bool fill, bool stroke, const QPainterPath* strokeShape);
    bool DeviceBox(const QRectF& logical, QRectF& fillBox, QRectF& strokeBox) const;
    void DrawShape(const QRectF& box, const std::function<void(QPainterPath&, const QRectF&)>& build);
};

// Players of the two record formats: data starts at the metafile header.
void PlayWmf(const QByteArray& data, QPainter& painter, const QTransform& output, const QRectF& clip,
             const QRectF& frame);
// The window a WMF draws in (origin and extent as set when it first draws), for metafiles without a
// placeable header.
bool WmfWindow(const QByteArray& data, QRectF& window);
void PlayEmf(const QByteArray& data, QPainter& painter, const QTransform& output, const QRectF& clip);

} // namespace mf
