#include "app/ViewGeometry.h"

#include "app/Browse.h"
#include "app/Main.h"
#include "app/SlideShow.h"
#include "codec/DibGraphic.h"
#include "tools/bmpRot.h"

#include <QAction>
#include <QApplication>
#include <QBitmap>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QWheelEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <exception>
#include <vector>

namespace {

constexpr long double kZoomStep = 1.4L;

// 16 x 16 hand shapes, drawn doubled into 32 x 32 cursors: '#' outline, '.' fill.
// clang-format off
const char* const kOpenHand[16] = {
    "       ##       ",
    "   ## #..###    ",
    "  #..##..#..#   ",
    "  #..##..#..# # ",
    "   #..#..#..##.#",
    "   #..#..#..#..#",
    " ## #.......#..#",
    "#..##..........#",
    "#...#.........# ",
    " #............# ",
    "  #...........# ",
    "  #..........#  ",
    "   #.........#  ",
    "    #........#  ",
    "     #......#   ",
    "     #......#   ",
};
const char* const kClosedHand[16] = {
    "                ",
    "                ",
    "                ",
    "    ## ## ##    ",
    "   #..#..#..##  ",
    "   #........#.# ",
    "    #.........# ",
    "   ##.........# ",
    "  #...........# ",
    "  #..........#  ",
    "   #.........#  ",
    "    #........#  ",
    "     #......#   ",
    "     #......#   ",
    "                ",
    "                ",
};
// clang-format on

QCursor CursorFrom(const char* const rows[16], int hotX, int hotY) {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16 && rows[y][x]; ++x) {
            const char c = rows[y][x];
            if (c == ' ') continue;
            const QRgb colour = c == '#' ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx)
                    image.setPixel(2 * x + dx, 2 * y + dy, colour);
        }
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

// Nearest neighbour: target pixel x takes source pixel x * W / w, so enlarged pixels stay sharp squares.
QImage Enlarged(const QImage& s, int w, int h) {
    QImage out(w, h, s.format());
    if (out.isNull()) return out;
    std::vector<int> columns(static_cast<size_t>(w));
    for (int x = 0; x < w; ++x)
        columns[size_t(x)] = int(qint64(x) * s.width() / w);
    for (int y = 0; y < h; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(s.constScanLine(int(qint64(y) * s.height() / h)));
        QRgb* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x)
            dst[x] = src[columns[size_t(x)]];
    }
    return out;
}

} // namespace

double ZoomLarger(double zoom) {
    return double(static_cast<long double>(zoom) * kZoomStep);
}

double ZoomSmaller(double zoom) {
    return double(static_cast<long double>(zoom) / kZoomStep);
}

int ZoomPercent(double zoom) {
    return int(std::trunc(static_cast<long double>(zoom) * 100.0L));
}

std::optional<double> FitZoom(int w, int h, int vw, int vh) {
    if (w <= 0 || h <= 0 || vw <= 0 || vh <= 0) return std::nullopt;
    if (qint64(w) * vh < qint64(h) * vw) return double(vh) / double(h);
    return double(vw) / double(w);
}

QSize DisplaySize(int w, int h, double zoom) {
    const double dw = std::trunc(double(w) * zoom), dh = std::trunc(double(h) * zoom);
    // Sizes beyond the integer range are refused by the view bitmap budget before they are used.
    const auto clampInt = [](double v) { return v >= 2147483647.0 ? 2147483647 : v <= 0 ? 0 : int(v); };
    return QSize(clampInt(dw), clampInt(dh));
}

int CentredOffset(int view, int display) {
    return display < view ? (view - display) / 2 : 0;
}

int ClampedOffset(int wanted, int current, int view, int display) {
    if (view >= display) return current;
    return std::clamp(wanted, view - display, 0);
}

QImage ScaleStill(const QImage& source, int w, int h, TColor background) {
    if (source.isNull() || w <= 0 || h <= 0) return QImage();
    const bool opaque = !source.hasAlphaChannel();
    QImage s = source;
    if (s.format() != QImage::Format_RGB32 && s.format() != QImage::Format_ARGB32_Premultiplied)
        s = s.convertToFormat(opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    QImage scaled;
    if (w == s.width() && h == s.height())
        scaled = s;
    else if (w <= s.width() && h <= s.height())
        scaled = s.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation); // area averaging
    else
        scaled = Enlarged(s, w, h);
    if (scaled.isNull())
        throw EInvalidGraphicOperation(
            QStringLiteral("Not enough memory to show the picture at %1 x %2 pixels").arg(w).arg(h));
    if (opaque)
        return scaled.format() == QImage::Format_RGB32 ? scaled
                                                       : scaled.convertToFormat(QImage::Format_RGB32);
    QImage out(w, h, QImage::Format_RGB32);
    if (out.isNull())
        throw EInvalidGraphicOperation(
            QStringLiteral("Not enough memory to show the picture at %1 x %2 pixels").arg(w).arg(h));
    out.fill(ToQColor(background));
    QPainter p(&out);
    p.drawImage(0, 0, scaled);
    return out;
}

QImage ScaleStillRegion(const QImage& source, QSize display, const QRect& region, TColor background) {
    const QRect r = region.intersected(QRect(QPoint(0, 0), display));
    if (source.isNull() || r.isEmpty()) return QImage();
    const qint64 W = source.width(), H = source.height(), DW = display.width(), DH = display.height();
    const bool opaque = !source.hasAlphaChannel();
    QImage out(r.size(), QImage::Format_RGB32);
    if (out.isNull())
        throw EInvalidGraphicOperation(
            QStringLiteral("Not enough memory to show the picture at %1 x %2 pixels").arg(r.width()).arg(r.height()));
    out.fill(ToQColor(background));
    QImage part;
    QPoint at;
    if (DW >= W && DH >= H) {
        // Enlarged: display pixel x shows source pixel x * W / DW, as for the whole picture.
        const int sx0 = int(r.left() * W / DW), sy0 = int(r.top() * H / DH);
        const int sx1 = int((qint64(r.right()) * W) / DW), sy1 = int((qint64(r.bottom()) * H) / DH);
        QImage s = source.copy(sx0, sy0, sx1 - sx0 + 1, sy1 - sy0 + 1);
        if (s.format() != QImage::Format_RGB32 && s.format() != QImage::Format_ARGB32_Premultiplied)
            s = s.convertToFormat(opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
        part = QImage(r.size(), s.format());
        std::vector<int> columns(size_t(r.width()));
        for (int x = 0; x < r.width(); ++x) columns[size_t(x)] = int((r.left() + x) * W / DW) - sx0;
        for (int y = 0; y < r.height(); ++y) {
            const QRgb* src = reinterpret_cast<const QRgb*>(s.constScanLine(int((r.top() + y) * H / DH) - sy0));
            QRgb* dst = reinterpret_cast<QRgb*>(part.scanLine(y));
            for (int x = 0; x < r.width(); ++x) dst[x] = src[columns[size_t(x)]];
        }
    } else {
        // Shrunk (or stretched one way): the source under the region and a pixel around it, averaged to
        // its display size, of which the region is cut.
        const int sx0 = int(std::max<qint64>(0, r.left() * W / DW - 1));
        const int sy0 = int(std::max<qint64>(0, r.top() * H / DH - 1));
        const int sx1 = int(std::min<qint64>(W, (qint64(r.right()) + 1) * W / DW + 2));
        const int sy1 = int(std::min<qint64>(H, (qint64(r.bottom()) + 1) * H / DH + 2));
        const int dx0 = int(sx0 * DW / W), dy0 = int(sy0 * DH / H);
        const int dx1 = int(std::min<qint64>(DW, (qint64(sx1) * DW + W - 1) / W));
        const int dy1 = int(std::min<qint64>(DH, (qint64(sy1) * DH + H - 1) / H));
        QImage s = source.copy(sx0, sy0, sx1 - sx0, sy1 - sy0);
        if (s.format() != QImage::Format_RGB32 && s.format() != QImage::Format_ARGB32_Premultiplied)
            s = s.convertToFormat(opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
        part = s.scaled(dx1 - dx0, dy1 - dy0, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        at = QPoint(dx0 - r.left(), dy0 - r.top());
    }
    if (part.isNull())
        throw EInvalidGraphicOperation(
            QStringLiteral("Not enough memory to show the picture at %1 x %2 pixels").arg(r.width()).arg(r.height()));
    QPainter p(&out);
    p.setCompositionMode(opaque ? QPainter::CompositionMode_Source : QPainter::CompositionMode_SourceOver);
    p.drawImage(at, part);
    return out;
}

QCursor MakeHandCursor(bool grabbing) {
    return grabbing ? CursorFrom(kClosedHand, 11, 9) : CursorFrom(kOpenHand, 10, 8);
}

QString FormatLoadTime(quint32 ms) {
    // Seconds to 3 significant digits, then one decimal: below 100 s the decimal is the limit.
    if (ms < 99950) {
        const quint32 tenths = (ms + 50) / 100;
        return QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
    }
    const quint32 seconds = (ms + 500) / 1000;
    if (seconds < 1000) return QStringLiteral("%1.0").arg(seconds);
    // Four or more integer digits: scientific notation with 3 significant digits.
    return QString::number(double(ms) / 1000.0, 'E', 2);
}

// ---------------------------------------------------------------------------------------------------
// The picture area

TPictureView::TPictureView(TMainForm* form) : QWidget(form), FForm(form) {
    setObjectName(QStringLiteral("PictureView"));
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMouseTracking(false);
    setFocusPolicy(Qt::StrongFocus);
}

void TPictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    FForm->PaintView(painter);
}

void TPictureView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    FForm->Run([this] { FForm->ViewResized(); });
}

void TPictureView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) FForm->DragStart(e->position().toPoint());
    QWidget::mousePressEvent(e);
}

void TPictureView::mouseMoveEvent(QMouseEvent* e) {
    if (e->buttons() & Qt::LeftButton) FForm->DragMove(e->position().toPoint());
}

void TPictureView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) FForm->DragEnd();
}

void TPictureView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    // Toggles the thumbnail view.
    if (QAction* thumbnails = FForm->Action("ViewThumbnailAction"); thumbnails && thumbnails->isEnabled())
        thumbnails->trigger();
}

void TPictureView::wheelEvent(QWheelEvent* e) {
    e->accept();
    FForm->Run([this, e] { FForm->WheelOnView(*e); });
}

void TPictureView::contextMenuEvent(QContextMenuEvent* e) {
    FForm->ContextMenu()->popup(e->globalPos());
}

// ---------------------------------------------------------------------------------------------------
// Zoom, fit, placing and painting

QCursor TMainForm::HandCursor() const {
    static const QCursor cursor = MakeHandCursor(false);
    return cursor;
}

QCursor TMainForm::GrabCursor() const {
    static const QCursor cursor = MakeHandCursor(true);
    return cursor;
}

QImage TMainForm::ViewSource(const TGraphic& g) const {
    if (FPictureKind == TPictureKind::pkVector) return {}; // drawings render themselves at the display scale
    if (auto* dib = dynamic_cast<const TDibGraphic*>(&g)) return dib->Image();
    if (qint64(g.Width()) * g.Height() * 4 > kViewBitmapBudget) return {};
    return FPictureKind == TPictureKind::pkStill ? g.ToImage(QSize(), FViewBrushColor) : g.ToBitmap();
}

void TMainForm::RenderViewBitmap(int w, int h, bool whole) {
    TGraphic* g = FPicture.Graphic();
    if (!g || g->IsEmpty() || w <= 0 || h <= 0) {
        FViewBitmap = QImage();
        FViewBitmapValid = false;
        FViewPartial = false;
        FViewOrigin = QPoint();
        return;
    }
    // A still picture or a drawing shown many times larger than the view (zoomed in, or a big picture
    // at its own size) keeps only the part around the view; turned views and transitions need it whole.
    const qint64 viewArea = qint64(std::max(1, FView->width())) * std::max(1, FView->height());
    if (!whole && FPictureKind <= TPictureKind::pkVector && !FSlideShow->Running() &&
        qint64(w) * h > 4 * viewArea && qint64(w) * h > (qint64(1) << 22)) {
        if (std::max(w, h) > kMaxDisplaySide)
            throw EInvalidGraphicOperation(QStringLiteral("The picture cannot be shown at %1 x %2 pixels: the "
                                                          "display would be more than %3 pixels on a side")
                                               .arg(w)
                                               .arg(h)
                                               .arg(kMaxDisplaySide));
        FViewBitmap = QImage();
        FViewPartial = true;
        FViewOrigin = QPoint();
        FViewBitmapValid = true;
        ++FRenderCount;
        return;
    }
    if (double(w) * double(h) * 4.0 > double(kViewBitmapBudget))
        throw EInvalidGraphicOperation(QStringLiteral("The picture cannot be shown at %1 x %2 pixels: the "
                                                      "view would need more than %3 MB of memory")
                                           .arg(w)
                                           .arg(h)
                                           .arg(kViewBitmapBudget >> 20));
    QImage bitmap;
    // Rasters and the frames of moving pictures are scaled from their pixels: averaged when shrunk,
    // sharp when enlarged; transparent parts show the view's background.
    if (const QImage source = ViewSource(*g); !source.isNull()) bitmap = ScaleStill(source, w, h, FViewBrushColor);
    if (bitmap.isNull()) {
        // Drawings render themselves at the display scale.
        bitmap = QImage(w, h, QImage::Format_RGB32);
        if (bitmap.isNull())
            throw EInvalidGraphicOperation(
                QStringLiteral("Not enough memory to show the picture at %1 x %2 pixels").arg(w).arg(h));
        bitmap.fill(ToQColor(FViewBrushColor));
        QPainter painter(&bitmap);
        g->DrawTo(painter, QRect(0, 0, w, h));
    }
    FViewBitmap = std::move(bitmap);
    FViewBitmapValid = true;
    FViewPartial = false;
    FViewOrigin = QPoint();
    ++FRenderCount;
}

void TMainForm::RenderVisiblePart() {
    if (!FViewPartial) return;
    const QRect display(0, 0, FDisplayWidth, FDisplayHeight);
    const QRect visible = QRect(-FOffsetX, -FOffsetY, FView->width(), FView->height()).intersected(display);
    if (visible.isEmpty() || QRect(FViewOrigin, FViewBitmap.size()).contains(visible)) return;
    // The view and half a view around it, so that a drag renders again only now and then.
    const int mx = FView->width() / 2, my = FView->height() / 2;
    const QRect part = visible.adjusted(-mx, -my, mx, my).intersected(display);
    TGraphic* g = FPicture.Graphic();
    if (!g || g->IsEmpty()) return;
    QImage bitmap;
    if (const QImage source = ViewSource(*g); !source.isNull())
        bitmap = ScaleStillRegion(source, display.size(), part, FViewBrushColor);
    if (bitmap.isNull()) {
        bitmap = QImage(part.size(), QImage::Format_RGB32);
        if (bitmap.isNull())
            throw EInvalidGraphicOperation(QStringLiteral("Not enough memory to show the picture at %1 x %2 pixels")
                                               .arg(part.width())
                                               .arg(part.height()));
        bitmap.fill(ToQColor(FViewBrushColor));
        QPainter painter(&bitmap);
        painter.translate(-part.topLeft());
        g->DrawTo(painter, display);
    }
    FViewBitmap = std::move(bitmap);
    FViewOrigin = part.topLeft();
}

void TMainForm::SetZoom(double z) {
    std::exception_ptr error;
    try {
        TGraphic* g = FPicture.Graphic();
        const int W = g && !g->IsEmpty() ? FPicture.Width() : 0, H = g && !g->IsEmpty() ? FPicture.Height() : 0;
        const QSize display = DisplaySize(W, H, z);
        RenderViewBitmap(display.width(), display.height());
        FViewTurns = 0; // rendered upright
        FInterrupt = true;
        FDisplayHeight = display.height();
        FDisplayWidth = display.width();
        FZoom = z;
        SetPanelText(7, QStringLiteral("%1%").arg(ZoomPercent(z)));
        FitStatusPanels();
    } catch (...) {
        error = std::current_exception();
    }
    // Also after a failure: commands, offsets and the repaint follow the state as it is.
    UpdateActions(HasPicture());
    CenterPicture();
    FView->update();
    if (error) std::rethrow_exception(error);
}

void TMainForm::RenderTurnedView(int turns) {
    // The display size of a quarter turn is the upright one swapped.
    const bool swapped = FViewTurns % 2 != 0;
    RenderViewBitmap(swapped ? FDisplayHeight : FDisplayWidth, swapped ? FDisplayWidth : FDisplayHeight, true);
    FViewTurns = 0;
    if (!FViewBitmapValid) return;
    FViewBitmap = RotateTurns(FViewBitmap, turns);
    FViewTurns = ((turns % 4) + 4) % 4;
    FDisplayHeight = FViewBitmap.height();
    FDisplayWidth = FViewBitmap.width();
}

void TMainForm::TurnView(int quarterTurns) {
    if (!HasPicture() || FPictureKind > TPictureKind::pkVector) return;
    // Rendered afresh and turned, rather than turning the bitmap as it is: a transition may be drawing
    // into it (and a picture not rendered yet has none).
    RenderTurnedView(FViewTurns + quarterTurns);
    if (!FViewBitmapValid) return;
    FInterrupt = true;
    CenterPicture();
    FView->update();
}

void TMainForm::FitPicture() {
    if (!HasPicture()) return;
    const std::optional<double> zoom =
        FitZoom(FPicture.Width(), FPicture.Height(), FView->width(), FView->height());
    if (zoom) SetZoom(*zoom);
}

void TMainForm::CenterPicture() {
    const int vw = FView->width(), vh = FView->height();
    FOffsetX = CentredOffset(vw, FDisplayWidth);
    FOffsetY = CentredOffset(vh, FDisplayHeight);
    FPan = vw < FDisplayWidth || vh < FDisplayHeight;
    ShowCursorFor(false);
}

void TMainForm::ShowCursorFor(bool grabbing) {
    if (grabbing)
        FView->setCursor(GrabCursor());
    else if (FPan)
        FView->setCursor(HandCursor());
    else
        FView->setCursor(Qt::ArrowCursor);
}

void TMainForm::ViewResized() {
    // Fitted as a load fits: also a drawing under the drawings' own auto fit (a drawing opened from the
    // command line is loaded before the window has its final size).
    if (Action("ViewAutoFitAction")->isChecked() ||
        (FPictureKind == TPictureKind::pkVector && FSettings.AutoFitVector)) {
        FitPicture();
        return;
    }
    CenterPicture();
    FView->update();
}

void TMainForm::PaintView(QPainter& painter) {
    if (FViewBitmapValid || FSuppressPaint) {
        if (FSuppressPaint) return;
        if (FViewPartial) {
            try {
                RenderVisiblePart();
            } catch (const Exception&) {
                return; // nothing to draw with; the next paint tries again
            } catch (const std::bad_alloc&) {
                return;
            }
        }
        if (FViewBitmap.isNull()) return;
        painter.drawImage(FOffsetX + FViewOrigin.x(), FOffsetY + FViewOrigin.y(), FViewBitmap);
        return;
    }
    TGraphic* g = FPicture.Graphic();
    if (!g || g->IsEmpty()) return;
    const QSize size = DisplaySize(FPicture.Width(), FPicture.Height(), FZoom);
    if (size.isEmpty()) return;
    g->DrawTo(painter, QRect(QPoint(FOffsetX, FOffsetY), size));
}

void TMainForm::ScrollBy(const QPoint& delta) {
    if (!FPan || delta.isNull()) return;
    const int x = ClampedOffset(FOffsetX + delta.x(), FOffsetX, FView->width(), FDisplayWidth);
    const int y = ClampedOffset(FOffsetY + delta.y(), FOffsetY, FView->height(), FDisplayHeight);
    if (x == FOffsetX && y == FOffsetY) return;
    FOffsetX = x;
    FOffsetY = y;
    FView->update();
}

void TMainForm::ZoomAt(double z, const QPoint& anchor) {
    if (!HasPicture() || FZoom <= 0) return;
    // The picture's point under the anchor stays under it, as far as the view allows.
    const double px = (anchor.x() - FOffsetX) / FZoom, py = (anchor.y() - FOffsetY) / FZoom;
    // Beyond a reduced first decode's own pixels the whole picture is shown.
    if (const TGraphic* g = FPicture.Graphic(); g && g->Reduced()) {
        const QSize display = DisplaySize(FPicture.Width(), FPicture.Height(), z);
        if (display.width() > g->Width() || display.height() > g->Height()) CompleteFullPicture();
    }
    SetZoom(z);
    const int vw = FView->width(), vh = FView->height();
    if (FDisplayWidth > vw)
        FOffsetX = std::clamp(int(std::lround(anchor.x() - px * FZoom)), vw - FDisplayWidth, 0);
    if (FDisplayHeight > vh)
        FOffsetY = std::clamp(int(std::lround(anchor.y() - py * FZoom)), vh - FDisplayHeight, 0);
    FView->update();
}

void TMainForm::WheelOnView(const QWheelEvent& e) {
    const QPoint angle = e.angleDelta();
    if (e.modifiers() & Qt::ControlModifier) {
        // Zoom by the zoom step per notch (120 eighths of a degree), about the pointer.
        FWheelZoom += angle.y() != 0 ? angle.y() : angle.x();
        for (; FWheelZoom >= 120; FWheelZoom -= 120)
            if (Action("ViewZoomOutAction")->isEnabled()) ZoomAt(ZoomLarger(FZoom), e.position().toPoint());
        for (; FWheelZoom <= -120; FWheelZoom += 120)
            if (Action("ViewZoomInAction")->isEnabled()) ZoomAt(ZoomSmaller(FZoom), e.position().toPoint());
        return;
    }
    QPoint delta = e.pixelDelta();
    if (delta.isNull()) delta = angle * (QApplication::wheelScrollLines() * 20) / 120;
    // Shift turns the wheel sideways (some systems already deliver it as a horizontal turn).
    if ((e.modifiers() & Qt::ShiftModifier) && delta.x() == 0) delta = QPoint(delta.y(), 0);
    ScrollBy(delta);
}

void TMainForm::DragStart(const QPoint& mouse) {
    FDragAnchor = mouse - QPoint(FOffsetX, FOffsetY);
    FDragging = true;
    if (FPan) ShowCursorFor(true);
}

void TMainForm::DragMove(const QPoint& mouse) {
    if (!FDragging) return;
    const int x = ClampedOffset(mouse.x() - FDragAnchor.x(), FOffsetX, FView->width(), FDisplayWidth);
    const int y = ClampedOffset(mouse.y() - FDragAnchor.y(), FOffsetY, FView->height(), FDisplayHeight);
    if (x == FOffsetX && y == FOffsetY) return;
    FOffsetX = x;
    FOffsetY = y;
    FView->repaint(); // at once: panning never re-renders
}

void TMainForm::DragEnd() {
    if (!FDragging) return;
    FDragging = false;
    if (FPan) ShowCursorFor(false);
}

bool TMainForm::HandleViewKey(QKeyEvent* e) {
    const bool press = e->type() == QEvent::KeyPress;
    int dx = 0, dy = 0;
    switch (e->key()) {
    case Qt::Key_Escape:
        if (press) close();
        return true;
    case Qt::Key_Space:
    case Qt::Key_Backspace:
        // The next and the previous file through the browse routines, which wrap around at the ends.
        if (press) {
            if (e->key() == Qt::Key_Space)
                Run([this] { FBrowse->BrowseNext(); });
            else
                Run([this] { FBrowse->BrowsePrevious(); });
        }
        return true;
    case Qt::Key_Left:
        dx = 10;
        break;
    case Qt::Key_Right:
        dx = -10;
        break;
    case Qt::Key_Up:
        dy = 10;
        break;
    case Qt::Key_Down:
        dy = -10;
        break;
    default:
        return false;
    }
    if (!press) {
        if (FArrowDrag) {
            FArrowDrag = false;
            DragEnd();
        }
        return true;
    }
    // A drag from (0, 0) in 20 visible steps of 10 pixels.
    FArrowDrag = true;
    DragStart(QPoint(0, 0));
    for (int i = 1; i <= 20; ++i)
        DragMove(QPoint(i * dx, i * dy));
    return true;
}
