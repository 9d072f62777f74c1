// Printing one picture on one page: the page options (size mode, position, margins, binding margin,
// header and footer), the layout they give on a printing device, and the page itself drawn onto any
// paged device, so a printer and a PDF file share the code.
#pragma once

#include "codec/Graphic.h"

#include <QFont>
#include <QSize>
#include <QString>

#include <algorithm>
#include <climits>

class QPagedPaintDevice;
class QPaintDevice;

// A printing device that cannot start or finish the page.
class EPrinter : public Exception {
public:
    using Exception::Exception;
};

// Left, top, right and bottom edges in printer pixels (right and bottom exclusive).
struct TPageRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int Width() const { return Span(Left, Right); }
    int Height() const { return Span(Top, Bottom); }
    bool operator==(const TPageRect&) const = default;

private:
    static int Span(int from, int to) { return int(std::clamp<qint64>(qint64(to) - from, INT_MIN, INT_MAX)); }
};

// A header or footer line: its text, where it goes and its measured extent on the printer.
struct TTextInfo {
    QString Text; // empty when there is no header (footer)
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    const QFont* Font = nullptr; // the option's font, not owned
};

// A computed layout, in printer pixels of the printable area.
struct TPageInfo {
    int ImageLeft = 0;
    int ImageTop = 0;
    int ImageWidth = 0;
    int ImageHeight = 0;
    TTextInfo Header;
    TTextInfo Footer;
    TPageRect MarginRect;  // the printable area less the margins and the binding margin
    TPageRect ContentRect; // MarginRect less the header and footer bands
};

class TPageOption {
public:
    enum : quint8 { smScreenSize = 0, smFullPage = 1, smSpecified = 2, smStretch = 3 };

    TPageOption();
    // The layout refers to this object's fonts: copies go through Assign.
    TPageOption(const TPageOption&) = delete;
    TPageOption& operator=(const TPageOption&) = delete;

    // Copies everything; the specified size and its aspect lock only when the source is in the specified
    // size mode (otherwise this object keeps its own).
    void Assign(const TPageOption& source);

    // Refreshes the resolutions from the screen and the printer, lays out a picture of the given size
    // (the picture as zoomed in the window) on the printer's printable area, keeps the result in Layout
    // and returns a copy of it. Header and footer are measured with their fonts on the printer.
    TPageInfo CalcLayout(QSize picture, const QPaintDevice& printer);
    // The same for a graphic at its own size (nothing is laid out without one).
    TPageInfo CalcLayout(const TGraphic* graphic, const QPaintDevice& printer);

    quint8 SizeMode = smScreenSize;
    float SpecWidth = 0;  // inches, size mode 2
    float SpecHeight = 0; // inches, size mode 2
    bool KeepAspect = false;
    quint8 Position = 0;  // 0..8 in reading order: top-left ... bottom-right
    float MarginLeft = 0; // inches
    float MarginTop = 0;
    float MarginRight = 0;
    float MarginBottom = 0;
    quint8 StitchSide = 0;  // 0 left, 1 top, anything else: no binding margin
    float StitchMargin = 0; // inches
    QString HeaderText;
    QString FooterText;
    quint8 HeaderAlign = 0; // 0 left, 1 centre, 2 right
    quint8 FooterAlign = 0;
    QFont HeaderFont;
    QFont FooterFont;
    TPageInfo Layout;
    // The picture last laid out (not owned); null when a layout was made from a size alone.
    const TGraphic* Graphic = nullptr;

    // Pixels per inch of the screen (read fresh from it) and of the printer of the last layout.
    int ScreenDpiX();
    int ScreenDpiY();
    int PrinterDpiX() const { return FPrinterDpiX; }
    int PrinterDpiY() const { return FPrinterDpiY; }
    // Printer DPI / screen DPI.
    float ScaleX() const { return FScaleX; }
    float ScaleY() const { return FScaleY; }

private:
    void RefreshDpi(const QPaintDevice* printer);
    void MeasureText(TTextInfo& info, const QString& text, const QFont& font, quint8 align,
                     const QPaintDevice& printer) const;

    int FScreenDpiX = 96;
    int FScreenDpiY = 96;
    int FPrinterDpiX = 96;
    int FPrinterDpiY = 96;
    float FScaleX = 1;
    float FScaleY = 1;
};

// x rounded to the nearest integer, halves to even, held within the range of int.
int NearestPixel(double x);

// The size a picture is shown at in the window: trunc(width x zoom) x trunc(height x zoom), held within
// the range of int. Computed only: nothing of that size is ever allocated.
QSize ZoomedSize(QSize picture, double zoom);

// Drawings (DXF, AutoCAD slides, HP-GL plots) print through their own DrawTo at the printer's resolution.
bool IsVectorDrawing(const TGraphic& graphic);

// The title of the print job of a file: "Lumenor - " and the file's full name.
QString PrintJobTitle(const QString& fileName);

// Prints the picture, as zoomed in the window, on one page of the device where the options lay it out:
// drawings straight onto the page by their own DrawTo, other pictures as 24-bit pixels on the window's
// background colour, stretched into their place with no smoothing; then the header and footer in their
// fonts. A picture whose laid-out width or height is 0 or less is not drawn (header and footer are).
// Returns the layout. Raises EPrinter when the device cannot start or finish the page.
TPageInfo PrintPicture(QPagedPaintDevice& device, TPageOption& option, const TGraphic& graphic, double zoom,
                       TColor background);
