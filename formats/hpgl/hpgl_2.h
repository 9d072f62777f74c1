// HP-GL and HP-GL/2 plot files: the interpreter that turns plot commands (with the PCL/HP-RTL escapes,
// PJL lines and raster pictures found around them) into an element list, and the graphic that draws it.
// Plotter units: 1016 per inch, y upwards.
#pragma once

#include "codec/Graphic.h"
#include "formats/hpgl/HP_Elem.h"

#include <QPointF>

#include <array>
#include <memory>
#include <vector>

enum class TViewMode : quint8 { vmZoom = 0, vmPan = 1 };

// Error codes of the last interpreter step.
enum THpglError : int {
    heNone = 0,
    heUnknownMnemonic = 10, // kept for callers; unknown mnemonics are skipped
    heUnknownEscape = 11,   // kept for callers; unknown escapes are skipped
    heNotPjl = 12,          // kept for callers; a stray at-sign is skipped
    heCommand = 16,
    heEscape = 17,
    hePjl = 18,
    heNoEnd = 20,
};

// Decoder of HP-RTL raster rows (methods 0 to 4) into a one-bit picture. Every write is bounded: rows
// beyond the raster height are dropped, runs and delta offsets stop at the row end, and a raster without
// a height grows as rows come (up to the pixel limit).
class THpRaster {
public:
    int Width = 0;  // pixels; 0 = not given
    int Height = 0; // rows; 0 = not given
    int Method = 0;
    bool Active = false;

    // Starts a raster at the first transfer (allocates when the size allows).
    void Begin();
    // Decodes one transfer of n bytes into the current row and advances the row counter.
    void Transfer(const uchar* data, qint64 n);
    // ESC * b n Y while active: the seed row is zeroed and the row counter advances.
    void SkipRows(qint64 n);
    // Ends the raster; when it holds rows, fills image (turned a quarter turn, ink = 0) and returns true.
    bool Finish(THpImageRec& image);
    void Reset();
    int BytesPerRow() const { return FBytesPerRow; }
    int RowCount() const { return FRow; }
    bool BuffersReady() const { return FReady; }

private:
    bool Allocate(int width, int height);
    uchar* Row(int index); // nullptr when the row lies beyond what the raster may hold
    void DecodeUnencoded(const uchar* d, qint64 n, uchar* row);
    void DecodeRunLength(const uchar* d, qint64 n, uchar* row);
    void DecodePackBits(const uchar* d, qint64 n, uchar* row);
    void DecodeDelta(const uchar* d, qint64 n, uchar* row);
    void DecodeBlock(const uchar* d, qint64 n);

    int FBytesPerRow = 0;
    int FRow = 0;      // row counter
    int FRowsUsed = 0; // rows written or skipped so far
    bool FReady = false;
    bool FGrow = false; // no height given: the image grows as rows come
    std::vector<uchar> FImage;
    std::vector<uchar> FSeed;
};

class THPGL2Graphic;

// The plotter state and the byte loop. One interpreter runs over one stream.
class THpglInterpreter {
public:
    THpglInterpreter(THPGL2Graphic& owner, TElementList& list);
    // Full reset (IN) plus the state that starts every file.
    void Reset();
    // Interprets the bytes; returns the error code (0 when the plot ended by itself).
    int Run(const QByteArray& data);

    // State visible to tests and callers.
    QPoint PenPosition() const { return {FPenX, FPenY}; }
    bool PenDown() const { return FPenDown; }
    int Rotation() const { return FRotation; }
    uchar LabelTerminator() const { return FTerminator; }
    bool HpglMode() const { return FHpgl2Mode; }
    int CurrentPen() const { return FPen; }
    TColor PenColor(int pen) const { return FPens[size_t(pen & 255)].Color; }
    double Resolution() const { return FResolution; }
    QPoint PlotSize() const { return {FPlotX, FPlotY}; }
    bool PlotReady() const { return FPlotReady; }
    qint64 DataDone() const { return FPos; }
    const THpRaster& Raster() const { return FRaster; }
    // Scaling as SC and IP left it: user units to plotter units (x = offset + (u - user minimum) * factor).
    bool Scaling() const { return FScaling; }
    double ScaleX() const { return FSx; }
    double ScaleY() const { return FSy; }
    // The character of symbol mode, 0 when it is off.
    uchar Symbol() const { return FSymbol; }

    // Plotter coordinates are kept within +-2^30 so that sums, differences and squares never overflow.
    static constexpr qint64 kCoordLimit = qint64(1) << 30;
    static constexpr qint64 kCursorLimit = qint64(1) << 30;
    static qint32 ClampCoord(double v);

private:
    struct TPen {
        TColor Color = 0;
        double Width = -1; // millimetres; -1 = not defined
    };

    // Bytes
    int Peek(qint64 ahead = 0) const { return FPos + ahead < FSize ? FData[FPos + ahead] : -1; }
    int Next() { return FPos < FSize ? FData[FPos++] : -1; }

    // Parameters
    int ScanParams();
    void SkipParams();
    bool ReadNumber(double& value, bool& hasDot);
    int ParInt(int i, int def = 0) const;
    double Par(int i, double def = 0) const { return i < FParCount ? FPar[size_t(i)] : def; }

    // Geometry
    void Command(uchar c1, uchar c2);
    void AddPoint(qint64 x, qint64 y);
    void AddTo(THpNodeList& list, qint64 x, qint64 y);
    QPoint Rotated(qint64 x, qint64 y) const;
    double UserX(double u) const;
    double UserY(double u) const;
    // Current units (user units while scaling is on) from plotter units.
    double CurrentX(double p) const;
    double CurrentY(double p) const;
    // True when a circle in current units is a circle in plotter units too.
    bool Circular() const;
    void Coordinates(bool absolute, bool symbols);
    void DrawSymbol(qint64 x, qint64 y);
    void PenUp();
    void PenTo(qint64 x, qint64 y);
    void FlushPolyline(bool keepPosition);
    void SelectPen(int pen);
    void ApplyPen();
    // An arc about (cx, cy) in current units from the pen through sweep degrees; end, when given, is
    // where the pen goes afterwards (current units).
    void Arc(double cx, double cy, double sweep, const QPointF* end);
    // Points of an arc of radius r about c (current units) from a through sweep degrees, 5 degrees
    // apart, in plotter units; the first is the start.
    void ArcPoints(QPointF c, double r, double a, double sweep, std::vector<QPoint>& out) const;
    void Wedge(bool filled);
    void ThreePointArc(bool relative);
    void Circle();
    void Rectangle(bool relative, bool filled);
    void PolygonMode();
    void EncodedPolyline();
    bool DecodePE(qint64& value, bool base32);
    void Label();
    void CharacterPlot();
    void Measure(const QString& text, double& cx, double& cy) const;
    void CellSize(double& w, double& h) const;
    void Direction(bool relative);
    void InputP1P2();
    void InputRelative();
    void Scale();
    void RecomputeScale();
    void InputWindow();
    void FillType();
    void ScreenedVectors();
    void PenColor();
    void Defaults(bool full);

    // Escapes, PJL and raster (hpgl_Escape.cpp)
    void Escape();
    void EscapeGroup(uchar family, uchar group, double value, char sign, uchar letter);
    void SkipData(qint64 n);
    void RasterTransfer(qint64 n);
    void RasterEnd();
    void Pjl();
    static bool PjlNumber(const QByteArray& line, const char* key, double& value);

    THPGL2Graphic& FOwner;
    TElementList& FList;

    const uchar* FData = nullptr;
    qint64 FSize = 0;
    qint64 FPos = 0;

    std::array<double, 128> FPar{};
    int FParCount = 0;

    qint32 FPenX = 0, FPenY = 0, FStartX = 0, FStartY = 0;
    bool FStartPending = false;
    bool FPenDown = false;
    bool FAbsolute = true;
    bool FPolygonMode = false;
    qint32 FPlotX = 48768, FPlotY = 36576;
    double FP1X = 0, FP1Y = 0, FP2X = 48768, FP2Y = 36576;
    double FUMinX = 0, FUMinY = 0, FUMaxX = 48768, FUMaxY = 36576;
    double FSx = 1, FSy = 1;
    bool FScaling = false;
    int FScaleType = 0;                // SC type: 0 anisotropic, 1 isotropic, 2 point factors
    double FLeft = 50, FBottom = 50;   // isotropic: percent of the spare room left of and below the plot
    double FOffX = 0, FOffY = 0;       // isotropic: where the user rectangle starts past P1
    uchar FSymbol = 0;                 // SM character, 0 = off
    int FRotation = 0;
    std::array<TPen, 256> FPens{}, FPens2{};
    int FPen = 0;
    TColor FFillColor = 0;
    int FFillKind = 0, FFillLevel = 100;
    double FDirection = 0;
    int FOrigin = 1;
    bool FRelativeSize = false;
    double FCharW = 114, FCharH = 150;
    uchar FTerminator = 3;
    bool FHpgl2Mode = false;
    bool FPlotReady = false;
    THpNodeList FPolyline, FPolygon, FWindowNodes;

    // Raster and PCL state
    double FResolution = 300, FUnitsPerDot = 1016.0 / 300;
    qint64 FCursorX = 0, FCursorY = 0;
    THpRaster FRaster;
    bool FConfigured = false;
    bool FPclMode = false;
    bool FPlotSizeGiven = false;
    uchar FColorA = 0, FColorB = 0, FColorC = 0;
};

class THPGL2Graphic : public TGraphic {
    DECLARE_GRAPHIC_CLASS(THPGL2Graphic)
public:
    THPGL2Graphic();
    ~THPGL2Graphic() override;

    void DrawTo(QPainter& canvas, const QRect& rect) const override;
    bool IsEmpty() const override;
    int Width() const override { return FWidth; }
    int Height() const override { return FHeight; }
    void SetWidth(int value) override;
    void SetHeight(int value) override;
    // Raises EInvalidGraphic "File size is zero bytes" and "Empty element list".
    void LoadFromStream(QIODevice& stream) override;

    bool Aborted() const { return FAborted; }
    // Stops loading at the next command and an element-list drawing pass after the current element.
    void SetAborted(bool value);
    qint64 DataDone() const { return FInterp ? FInterp->DataDone() : 0; }
    bool DoZoom = true;
    bool DoViewport = true;
    QString FileName;
    int Increment = 10;
    TColor PaperColor() const { return FPaperColor; }
    void SetPaperColor(TColor value);
    // Pen widths from the plot (true) or LineWidth pixels for every line (false).
    static constexpr bool kDefaultRealWidth = false;
    static constexpr quint8 kDefaultLineWidth = 1;
    bool RealWidth = kDefaultRealWidth;
    quint8 LineWidth = kDefaultLineWidth;
    bool PlotReady() const { return FPlotReady; }
    TViewMode ViewMode() const { return FViewMode; }
    void SetViewMode(int value) { FViewMode = value >= 1 ? TViewMode::vmPan : TViewMode::vmZoom; }
    bool Messages = false;

    int ErrorCode() const { return FError; }
    const TElementList& Elements() const { return *FList; }
    const THpglInterpreter& Interpreter() const { return *FInterp; }

private:
    friend class THpglInterpreter;

    std::unique_ptr<TElementList> FList;
    std::unique_ptr<THpglInterpreter> FInterp;
    int FWidth = 0, FHeight = 0;
    bool FAborted = false;
    bool FPlotReady = false;
    int FError = 0;
    TColor FPaperColor = 0xFFFFFF;
    TViewMode FViewMode = TViewMode::vmZoom;
};

// Registers THPGL2Graphic for "hgl", "plt", "hg", "hpg", "plo" and "hpgl".
void RegisterHpglFormats();
