// View geometry of the main window: zoom steps, fitting, centring, clamping of drags, the scaling of
// still pictures into the view bitmap, the hand cursors, and the picture area widget.
#pragma once

#include "codec/Graphic.h"

#include <QCursor>
#include <QImage>
#include <QSize>
#include <QWidget>

#include <optional>

class TMainForm;

// One zoom step multiplies or divides by 1.4, taken in extended precision.
double ZoomLarger(double zoom);
double ZoomSmaller(double zoom);
// The zoom in percent as the status bar shows it: the integer part of zoom x 100 in extended precision,
// so 1.4 stored as a double (1.39999...) shows 139.
int ZoomPercent(double zoom);
// The zoom that fits a W x H picture into a VW x VH view (larger pictures shrink, smaller ones grow), or
// nothing when there is no picture or the view is empty. The products are compared in 64 bits.
std::optional<double> FitZoom(int w, int h, int vw, int vh);
// The picture's size on screen at a zoom: each side truncated.
QSize DisplaySize(int w, int h, double zoom);
// Offset of a display extent in a view extent: centred when smaller, else 0 (top-left).
int CentredOffset(int view, int display);
// A dragged offset: within view - display .. 0 when the display is larger than the view, else unchanged.
int ClampedOffset(int wanted, int current, int view, int display);

// A still picture at w x h: shrinking averages the source pixels under each target pixel, enlarging
// repeats pixels; transparent parts show the background. The result is 32-bit RGB.
QImage ScaleStill(const QImage& source, int w, int h, TColor background);
// The part `region` of the source as ScaleStill would show it at the display size: the same nearest
// pixels when enlarged, averaged when shrunk (from the source rows and columns under the region).
QImage ScaleStillRegion(const QImage& source, QSize display, const QRect& region, TColor background);

// The hand shown over a picture that can be dragged (hot spot 10, 8) and the grabbing hand shown while
// dragging (hot spot 11, 9), both 32 x 32.
QCursor MakeHandCursor(bool grabbing);

// The "Load in ...s" seconds: milliseconds / 1000 to 3 significant digits, written with one decimal
// (in scientific notation from 1000 seconds on).
QString FormatLoadTime(quint32 milliseconds);

// The picture area: paints from the window's view bitmap and passes mouse input to the window.
class TPictureView : public QWidget {
public:
    explicit TPictureView(TMainForm* form);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    TMainForm* FForm;
};
