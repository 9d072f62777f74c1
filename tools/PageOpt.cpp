#include "tools/PageOpt.h"

#include "codec/DibGraphic.h"
#include "codec/Limits.h"
#include "formats/cad/DxfImage.h"
#include "formats/cad/SLDimage.h"
#include "formats/hpgl/hpgl_2.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <climits>
#include <cmath>

int NearestPixel(double x) {
    if (std::isnan(x)) return 0;
    const double r = std::nearbyint(x);
    if (r >= double(INT_MAX)) return INT_MAX;
    if (r <= double(INT_MIN)) return INT_MIN;
    return int(r);
}

namespace {

int TruncPixel(double x) {
    if (std::isnan(x)) return 0;
    if (x >= double(INT_MAX)) return INT_MAX;
    if (x <= double(INT_MIN)) return INT_MIN;
    return int(x);
}

int ClampPixel(qint64 x) {
    return int(std::clamp<qint64>(x, INT_MIN, INT_MAX));
}

} // namespace

QSize ZoomedSize(QSize picture, double zoom) {
    return QSize(TruncPixel(picture.width() * zoom), TruncPixel(picture.height() * zoom));
}

TPageOption::TPageOption() {
    Layout.Header.Font = &HeaderFont;
    Layout.Footer.Font = &FooterFont;
}

void TPageOption::Assign(const TPageOption& source) {
    SizeMode = source.SizeMode;
    if (source.SizeMode == smSpecified) {
        SpecWidth = source.SpecWidth;
        SpecHeight = source.SpecHeight;
        KeepAspect = source.KeepAspect;
    }
    Position = source.Position;
    MarginLeft = source.MarginLeft;
    MarginTop = source.MarginTop;
    MarginRight = source.MarginRight;
    MarginBottom = source.MarginBottom;
    StitchSide = source.StitchSide;
    StitchMargin = source.StitchMargin;
    HeaderText = source.HeaderText;
    HeaderAlign = source.HeaderAlign;
    HeaderFont = source.HeaderFont;
    FooterText = source.FooterText;
    FooterAlign = source.FooterAlign;
    FooterFont = source.FooterFont;
    FScreenDpiX = source.FScreenDpiX;
    FScreenDpiY = source.FScreenDpiY;
    FPrinterDpiX = source.FPrinterDpiX;
    FPrinterDpiY = source.FPrinterDpiY;
    Layout = source.Layout;
    // The layout's texts refer to the fonts of the object that holds it.
    Layout.Header.Font = &HeaderFont;
    Layout.Footer.Font = &FooterFont;
    FScaleX = source.FScaleX;
    FScaleY = source.FScaleY;
    Graphic = source.Graphic;
}

void TPageOption::RefreshDpi(const QPaintDevice* printer) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) {
        FScreenDpiX = NearestPixel(screen->logicalDotsPerInchX());
        FScreenDpiY = NearestPixel(screen->logicalDotsPerInchY());
    }
    // A screen that reports no resolution counts as the common 96 pixels per inch.
    if (FScreenDpiX < 1) FScreenDpiX = 96;
    if (FScreenDpiY < 1) FScreenDpiY = 96;
    if (printer) {
        FPrinterDpiX = printer->logicalDpiX();
        FPrinterDpiY = printer->logicalDpiY();
    }
    FScaleX = float(FPrinterDpiX) / float(FScreenDpiX);
    FScaleY = float(FPrinterDpiY) / float(FScreenDpiY);
}

int TPageOption::ScreenDpiX() {
    RefreshDpi(nullptr);
    return FScreenDpiX;
}

int TPageOption::ScreenDpiY() {
    RefreshDpi(nullptr);
    return FScreenDpiY;
}

void TPageOption::MeasureText(TTextInfo& info, const QString& text, const QFont& font, quint8 align,
                              const QPaintDevice& printer) const {
    info.Text = text;
    info.Font = &font;
    info.Left = info.Top = info.Width = info.Height = 0;
    if (text.isEmpty()) return;
    const QFontMetrics metrics(font, &printer);
    info.Width = metrics.horizontalAdvance(text);
    info.Height = metrics.height();
    const TPageRect& m = Layout.MarginRect;
    switch (align) {
    case 1:
        info.Left = ClampPixel(m.Left + (qint64(m.Right) - m.Left - info.Width) / 2);
        break;
    case 2:
        info.Left = ClampPixel(qint64(m.Right) - info.Width);
        break;
    default:
        info.Left = m.Left;
        break;
    }
}

TPageInfo TPageOption::CalcLayout(const TGraphic* graphic, const QPaintDevice& printer) {
    const QSize size = graphic && !graphic->IsEmpty() ? QSize(graphic->Width(), graphic->Height()) : QSize();
    TPageInfo info = CalcLayout(size, printer);
    Graphic = graphic;
    return info;
}

TPageInfo TPageOption::CalcLayout(QSize picture, const QPaintDevice& printer) {
    Graphic = nullptr;
    RefreshDpi(&printer);
    const double dpiX = FPrinterDpiX, dpiY = FPrinterDpiY;

    // Margins and the binding margin, inside the printable area.
    TPageRect& m = Layout.MarginRect;
    // Sums are held within the range of int, so that absurd margins give absurd but defined layouts.
    const auto add = [](int a, double b) { return ClampPixel(qint64(a) + NearestPixel(b)); };
    m = TPageRect{0, 0, printer.width(), printer.height()};
    m.Left = add(m.Left, dpiX * MarginLeft);
    m.Top = add(m.Top, dpiY * MarginTop);
    m.Right = add(m.Right, -dpiX * MarginRight);
    m.Bottom = add(m.Bottom, -dpiY * MarginBottom);
    if (StitchSide == 0)
        m.Left = add(m.Left, dpiX * StitchMargin);
    else if (StitchSide == 1)
        m.Top = add(m.Top, dpiY * StitchMargin);
    TPageRect& c = Layout.ContentRect;
    c = m;

    // Header and footer bands.
    MeasureText(Layout.Header, HeaderText, HeaderFont, HeaderAlign, printer);
    if (!HeaderText.isEmpty()) {
        Layout.Header.Top = m.Top;
        c.Top = ClampPixel(qint64(m.Top) + Layout.Header.Height);
    }
    MeasureText(Layout.Footer, FooterText, FooterFont, FooterAlign, printer);
    if (!FooterText.isEmpty()) {
        Layout.Footer.Top = ClampPixel(qint64(m.Bottom) - Layout.Footer.Height);
        c.Bottom = Layout.Footer.Top;
    }

    // The picture's size and place in the content area.
    Layout.ImageLeft = Layout.ImageTop = Layout.ImageWidth = Layout.ImageHeight = 0;
    if (picture.isValid()) {
        const int aw = ClampPixel(qint64(c.Right) - c.Left), ah = ClampPixel(qint64(c.Bottom) - c.Top);
        const int gw = picture.width(), gh = picture.height();
        int width = 0, height = 0;
        switch (SizeMode) {
        case smScreenSize:
            width = NearestPixel(double(gw) * double(FScaleX));
            height = NearestPixel(double(gh) * double(FScaleY));
            break;
        case smFullPage:
            width = aw;
            if (ah < 1 || gh < 1) {
                // No room, or a picture without height: nothing to fit, and nothing to divide by.
                height = 0;
            } else {
                height = ah;
                const float r = float(gw) / float(gh);
                const float q = float(aw) / float(ah);
                if (r > q)
                    height = NearestPixel(double(aw) / double(r));
                else
                    width = NearestPixel(double(r) * double(ah));
            }
            break;
        case smSpecified:
            width = NearestPixel(dpiX * SpecWidth);
            height = NearestPixel(dpiY * SpecHeight);
            break;
        case smStretch:
            width = aw;
            height = ah;
            break;
        default:
            break;
        }
        Layout.ImageWidth = width;
        Layout.ImageHeight = height;
        // Halves truncate towards zero, also when the picture overflows the area.
        const int column = Position <= 8 ? Position % 3 : 0;
        const int row = Position <= 8 ? Position / 3 : 0;
        if (column == 1)
            Layout.ImageLeft = ClampPixel(c.Left + (qint64(c.Right) - c.Left - width) / 2);
        else if (column == 2)
            Layout.ImageLeft = ClampPixel(qint64(c.Right) - width);
        else
            Layout.ImageLeft = c.Left;
        if (row == 1)
            Layout.ImageTop = ClampPixel(c.Top + (qint64(c.Bottom) - c.Top - height) / 2);
        else if (row == 2)
            Layout.ImageTop = ClampPixel(qint64(c.Bottom) - height);
        else
            Layout.ImageTop = c.Top;
    }
    TPageInfo copy = Layout;
    return copy;
}

bool IsVectorDrawing(const TGraphic& graphic) {
    return graphic.Is<TDXFImage>() || graphic.Is<Tslide>() || graphic.Is<THPGL2Graphic>();
}

QString PrintJobTitle(const QString& fileName) {
    return QStringLiteral("Lumenor - ") + fileName;
}

namespace {

// The picture's pixels as 24-bit colour on the background, never larger than the place they go to
// unless the picture already holds them.
QImage PrintPixels(const TGraphic& graphic, QSize place, TColor background) {
    QSize size(graphic.Width(), graphic.Height());
    if (!graphic.Is<TDibGraphic>()) size = size.boundedTo(place);
    if (size.isEmpty()) return QImage();
    CheckPictureSize(size.width(), size.height());
    QImage pixels = graphic.ToImage(size, background);
    if (pixels.isNull()) return pixels;
    return pixels.convertToFormat(QImage::Format_RGB888);
}

void DrawText(QPainter& painter, const TTextInfo& text, const QPaintDevice& device) {
    if (text.Text.isEmpty() || !text.Font) return;
    painter.setFont(*text.Font);
    const QFontMetrics metrics(*text.Font, &device);
    // (Left, Top) is the top-left corner of the text's cell.
    painter.drawText(QPoint(text.Left, text.Top + metrics.ascent()), text.Text);
}

} // namespace

TPageInfo PrintPicture(QPagedPaintDevice& device, TPageOption& option, const TGraphic& graphic, double zoom,
                       TColor background) {
    const TPageInfo layout =
        option.CalcLayout(ZoomedSize(QSize(graphic.Width(), graphic.Height()), zoom), device);
    option.Graphic = &graphic;
    const QRect place(layout.ImageLeft, layout.ImageTop, layout.ImageWidth, layout.ImageHeight);
    const bool drawPicture = layout.ImageWidth > 0 && layout.ImageHeight > 0 && !graphic.IsEmpty();
    const bool vector = IsVectorDrawing(graphic);
    // Prepared before the page starts, so that a picture that cannot be prepared leaves no half job.
    QImage pixels;
    if (drawPicture && !vector) pixels = PrintPixels(graphic, place.size(), background);

    QPainter painter;
    if (!painter.begin(&device)) throw EPrinter(QStringLiteral("Printing could not start"));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    // Colours are copied as they are: no lossy compression of the pixels on a PDF page.
    painter.setRenderHint(QPainter::LosslessImageRendering, true);
    if (drawPicture) {
        if (vector)
            graphic.DrawTo(painter, place);
        else if (!pixels.isNull())
            painter.drawImage(place, pixels);
    }
    painter.save();
    painter.setPen(Qt::black);
    DrawText(painter, layout.Header, device);
    DrawText(painter, layout.Footer, device);
    painter.restore();
    if (!painter.end()) throw EPrinter(QStringLiteral("Printing could not be completed"));
    return layout;
}
