#include "TestUtil.h"

#include "codec/DibGraphic.h"
#include "formats/DxfTestUtil.h"
#include "tools/PageOpt.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <climits>
#include <memory>

namespace {

// A page of w x h inches at dpi pixels per inch, all of it printable. Nothing is written until a page is
// painted, and then into buffer.
std::unique_ptr<QPdfWriter> Page(QIODevice* buffer, double w, double h, int dpi) {
    auto writer = std::make_unique<QPdfWriter>(buffer);
    writer->setResolution(dpi);
    writer->setPageLayout(
        QPageLayout(QPageSize(QSizeF(w, h), QPageSize::Inch), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    return writer;
}

struct TPage {
    QBuffer Buffer;
    std::unique_ptr<QPdfWriter> Writer;
    TPage(double w, double h, int dpi) : Writer(Page(&Buffer, w, h, dpi)) {}
};

// Runs a poppler tool; its standard output.
QByteArray Poppler(const char* tool, const QStringList& args) {
    const QString program = QStandardPaths::findExecutable(QString::fromLatin1(tool));
    if (program.isEmpty()) {
        ADD_FAILURE() << tool << " is missing (scripts/install-deps installs poppler-utils)";
        return {};
    }
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    EXPECT_EQ(p.exitCode(), 0) << tool << ": " << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

// The page rendered by pdftoppm at dpi, without smoothing.
QImage Rendered(const QString& pdf, int dpi) {
    const QByteArray ppm =
        Poppler("pdftoppm", {"-r", QString::number(dpi), "-aa", "no", "-aaVector", "no", pdf});
    return QImage::fromData(ppm, "PPM").convertToFormat(QImage::Format_RGB32);
}

// Lines of `pdfimages -list` after its two header lines.
QStringList ImageList(const QString& pdf) {
    QStringList lines =
        QString::fromUtf8(Poppler("pdfimages", {"-list", pdf})).split('\n', Qt::SkipEmptyParts);
    return lines.mid(2);
}

QString PrintToPdf(const QString& path, TPageOption& option, const TGraphic& graphic, double w, double h,
                   int dpi, double zoom = 1, TColor background = 0xFFFFFF, TPageInfo* layout = nullptr) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    {
        auto writer = Page(&file, w, h, dpi);
        const TPageInfo info = PrintPicture(*writer, option, graphic, zoom, background);
        if (layout) *layout = info;
    }
    file.close();
    return path;
}

// Four quadrants: red, green / blue, yellow.
QImage Quadrants(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y,
                           y < h / 2 ? (x < w / 2 ? 0xFFFF0000 : 0xFF00FF00)
                                     : (x < w / 2 ? 0xFF0000FF : 0xFFFFFF00));
    return image;
}

} // namespace

// --- Layout -------------------------------------------------------------------------------------

TEST(PageLayout, ScreenSizePrintsThePhysicalSizeShownOnScreen) {
    TPage page(8, 10, 600);
    TPageOption option;
    ASSERT_EQ(option.ScreenDpiX(), 96); // the offscreen screen of the tests
    const TPageInfo info = option.CalcLayout(QSize(600, 400), *page.Writer);
    EXPECT_EQ(option.PrinterDpiX(), 600);
    EXPECT_FLOAT_EQ(option.ScaleX(), 6.25f);
    EXPECT_EQ(info.ImageWidth, 3750);
    EXPECT_EQ(info.ImageHeight, 2500);
    EXPECT_EQ(info.ImageLeft, 0);
    EXPECT_EQ(info.ImageTop, 0);
    EXPECT_EQ(info.MarginRect, (TPageRect{0, 0, 4800, 6000}));

    // Rounding half to even: 1 pixel at 150 DPI is 1.5625 printer pixels; 2 pixels are 3.125.
    TPage coarse(8, 10, 150);
    const TPageInfo small = option.CalcLayout(QSize(2, 1), *coarse.Writer);
    EXPECT_EQ(small.ImageWidth, 3);
    EXPECT_EQ(small.ImageHeight, 2);
}

TEST(PageLayout, FullPageFitsKeepingTheAspectRatio) {
    TPage page(8, 10, 600);
    TPageOption option;
    option.SizeMode = TPageOption::smFullPage;
    TPageInfo info = option.CalcLayout(QSize(600, 400), *page.Writer);
    EXPECT_EQ(info.ImageWidth, 4800);
    EXPECT_EQ(info.ImageHeight, 3200);
    EXPECT_EQ(info.ImageTop, 0);
    option.Position = 4;
    info = option.CalcLayout(QSize(600, 400), *page.Writer);
    EXPECT_EQ(info.ImageLeft, 0);
    EXPECT_EQ(info.ImageTop, 1400);

    // A tall picture fills the height: width = nearest(r x ah) with r in single precision.
    option.Position = 8;
    info = option.CalcLayout(QSize(400, 600), *page.Writer);
    EXPECT_EQ(info.ImageHeight, 6000);
    EXPECT_EQ(info.ImageWidth, 4000);
    EXPECT_EQ(info.ImageLeft, 800);
    EXPECT_EQ(info.ImageTop, 0);
    // 1 / 3 in single precision times 6000 is 2000.0000298...: 2000.
    info = option.CalcLayout(QSize(1, 3), *page.Writer);
    EXPECT_EQ(info.ImageWidth, 2000);
}

TEST(PageLayout, SpecifiedSizeAndTheNinePositions) {
    TPage page(8, 10, 600);
    TPageOption option;
    option.SizeMode = TPageOption::smSpecified;
    option.SpecWidth = 2;
    option.SpecHeight = 1;
    option.MarginLeft = option.MarginTop = option.MarginRight = option.MarginBottom = 1;
    const int lefts[3] = {600, 1800, 3000}, tops[3] = {600, 2700, 4800};
    for (int position = 0; position < 9; ++position) {
        option.Position = quint8(position);
        const TPageInfo info = option.CalcLayout(QSize(10, 10), *page.Writer);
        EXPECT_EQ(info.ContentRect, (TPageRect{600, 600, 4200, 5400}));
        EXPECT_EQ(info.ImageWidth, 1200) << position;
        EXPECT_EQ(info.ImageHeight, 600) << position;
        EXPECT_EQ(info.ImageLeft, lefts[position % 3]) << position;
        EXPECT_EQ(info.ImageTop, tops[position / 3]) << position;
    }

    // A picture wider than the area overflows it; the odd half truncates towards zero, so the picture
    // sticks out one pixel further on the right than on the left.
    option.MarginLeft = option.MarginTop = option.MarginRight = option.MarginBottom = 0;
    option.Position = 4;
    option.SpecWidth = 8.005f; // 4803 pixels on a 4800-pixel area
    TPageInfo info = option.CalcLayout(QSize(10, 10), *page.Writer);
    EXPECT_EQ(info.ImageWidth, 4803);
    EXPECT_EQ(info.ImageLeft, -1);
    option.Position = 5;
    info = option.CalcLayout(QSize(10, 10), *page.Writer);
    EXPECT_EQ(info.ImageLeft, -3);
}

TEST(PageLayout, StretchFillsTheContentArea) {
    TPage page(8, 10, 300);
    TPageOption option;
    option.SizeMode = TPageOption::smStretch;
    option.MarginLeft = 0.5f;
    option.MarginBottom = 1;
    option.HeaderText = QStringLiteral("Head");
    const TPageInfo info = option.CalcLayout(QSize(7, 3), *page.Writer);
    EXPECT_EQ(info.ImageLeft, 150);
    EXPECT_EQ(info.ImageTop, info.Header.Height);
    EXPECT_EQ(info.ImageWidth, 2400 - 150);
    EXPECT_EQ(info.ImageHeight, 3000 - 300 - info.Header.Height);
}

TEST(PageLayout, MarginsRoundHalfToEvenAndTheBindingMarginTakesItsSide) {
    TPage page(8, 10, 200);
    TPageOption option;
    option.MarginLeft = 0.0625f;   // 12.5 -> 12
    option.MarginTop = 0.1875f;    // 37.5 -> 38
    option.MarginRight = 0.3125f;  // 62.5 -> 62
    option.MarginBottom = 0.4375f; // 87.5 -> 88
    TPageInfo info = option.CalcLayout(QSize(1, 1), *page.Writer);
    EXPECT_EQ(info.MarginRect, (TPageRect{12, 38, 1538, 1912}));
    EXPECT_EQ(info.ContentRect, info.MarginRect);

    TPage fine(8, 10, 600);
    TPageOption bound;
    bound.StitchMargin = 0.5f;
    info = bound.CalcLayout(QSize(1, 1), *fine.Writer);
    EXPECT_EQ(info.MarginRect, (TPageRect{300, 0, 4800, 6000}));
    bound.StitchSide = 1;
    info = bound.CalcLayout(QSize(1, 1), *fine.Writer);
    EXPECT_EQ(info.MarginRect, (TPageRect{0, 300, 4800, 6000}));
    bound.StitchSide = 2; // no binding margin
    info = bound.CalcLayout(QSize(1, 1), *fine.Writer);
    EXPECT_EQ(info.MarginRect, (TPageRect{0, 0, 4800, 6000}));
}

TEST(PageLayout, HeaderAndFooterAreMeasuredWithTheirFontsOnThePrinter) {
    TPage page(8, 10, 600);
    TPageOption option;
    option.MarginLeft = option.MarginRight = 1;
    option.MarginTop = option.MarginBottom = 0.5f;
    const TPageInfo none = option.CalcLayout(QSize(100, 100), *page.Writer);
    EXPECT_EQ(none.ContentRect, none.MarginRect);
    EXPECT_TRUE(none.Header.Text.isEmpty());
    EXPECT_EQ(none.Header.Height, 0);

    option.HeaderText = QStringLiteral("Page header");
    option.FooterText = QStringLiteral("Footer text, longer");
    option.HeaderFont = QFont(QStringLiteral("DejaVu Serif"), 12);
    option.FooterFont = QFont(QStringLiteral("DejaVu Sans Mono"), 8);
    const QFontMetrics head(option.HeaderFont, page.Writer.get()), foot(option.FooterFont, page.Writer.get());
    for (quint8 align : {0, 1, 2}) {
        option.HeaderAlign = option.FooterAlign = align;
        const TPageInfo info = option.CalcLayout(QSize(100, 100), *page.Writer);
        EXPECT_EQ(info.Header.Text, option.HeaderText);
        EXPECT_EQ(info.Header.Font, &option.HeaderFont);
        EXPECT_EQ(info.Header.Width, head.horizontalAdvance(option.HeaderText));
        EXPECT_EQ(info.Header.Height, head.height());
        EXPECT_EQ(info.Footer.Height, foot.height());
        EXPECT_EQ(info.Header.Top, 300);
        EXPECT_EQ(info.Footer.Top, 5700 - foot.height());
        EXPECT_EQ(info.ContentRect, (TPageRect{600, 300 + head.height(), 4200, 5700 - foot.height()}));
        const int expectedLeft[3] = {600, 600 + (3600 - info.Header.Width) / 2, 4200 - info.Header.Width};
        EXPECT_EQ(info.Header.Left, expectedLeft[align]) << int(align);
        EXPECT_EQ(info.ImageTop, info.ContentRect.Top);
    }
    // A 12-point line is about 1/6 inch high on any printer: four times as many pixels at 600 as at 150 DPI.
    const TPageInfo at600 = option.CalcLayout(QSize(1, 1), *page.Writer);
    EXPECT_GT(at600.Header.Height, 80);
    EXPECT_LT(at600.Header.Height, 180);
    TPage coarse(8, 10, 150);
    const TPageInfo at150 = option.CalcLayout(QSize(1, 1), *coarse.Writer);
    EXPECT_NEAR(double(at600.Header.Height) / at150.Header.Height, 4.0, 0.3);
}

TEST(PageLayout, DegenerateInputsNeverDivideByZero) {
    TPage page(8, 10, 600);
    TPageOption option;
    option.SizeMode = TPageOption::smFullPage;
    // A picture without height: nothing to fit.
    TPageInfo info = option.CalcLayout(QSize(600, 0), *page.Writer);
    EXPECT_EQ(info.ImageWidth, 4800);
    EXPECT_EQ(info.ImageHeight, 0);
    info = option.CalcLayout(QSize(0, 600), *page.Writer);
    EXPECT_EQ(info.ImageWidth, 0);
    EXPECT_EQ(info.ImageHeight, 6000);
    // Margins that leave no height: height 0; in stretch mode the negative sizes stand as computed.
    option.MarginTop = 6;
    option.MarginBottom = 5;
    info = option.CalcLayout(QSize(600, 400), *page.Writer);
    EXPECT_EQ(info.ImageHeight, 0);
    option.SizeMode = TPageOption::smStretch;
    info = option.CalcLayout(QSize(600, 400), *page.Writer);
    EXPECT_EQ(info.ImageHeight, -600);
    // Absurd margins stay within range.
    option.MarginLeft = 1e30f;
    info = option.CalcLayout(QSize(600, 400), *page.Writer);
    EXPECT_EQ(info.MarginRect.Left, INT_MAX);
    // No picture: nothing is placed.
    info = option.CalcLayout(static_cast<const TGraphic*>(nullptr), *page.Writer);
    EXPECT_EQ(info.ImageWidth, 0);
    EXPECT_EQ(option.Graphic, nullptr);
}

TEST(PageLayout, ZoomedSizeTruncatesAndStaysInRange) {
    EXPECT_EQ(ZoomedSize(QSize(601, 401), 0.5), QSize(300, 200));
    EXPECT_EQ(ZoomedSize(QSize(3, 7), 1.0 / 3), QSize(1, 2));
    EXPECT_EQ(ZoomedSize(QSize(100000, 100000), 1e6), QSize(INT_MAX, INT_MAX));
    EXPECT_EQ(NearestPixel(2.5), 2);
    EXPECT_EQ(NearestPixel(3.5), 4);
    EXPECT_EQ(NearestPixel(-2.5), -2);
    EXPECT_EQ(NearestPixel(1e20), INT_MAX);
}

TEST(PageOption, AssignTakesTheSpecifiedSizeOnlyFromTheSpecifiedSizeMode) {
    TPageOption source;
    source.SizeMode = TPageOption::smFullPage;
    source.SpecWidth = 3;
    source.SpecHeight = 4;
    source.KeepAspect = true;
    source.Position = 7;
    source.MarginLeft = 0.25f;
    source.StitchSide = 1;
    source.StitchMargin = 0.75f;
    source.HeaderText = QStringLiteral("h");
    source.FooterAlign = 2;
    source.HeaderFont = QFont(QStringLiteral("DejaVu Serif"), 15);
    TPageOption target;
    target.SpecWidth = 1;
    target.Assign(source);
    EXPECT_EQ(target.SizeMode, TPageOption::smFullPage);
    EXPECT_EQ(target.SpecWidth, 1);
    EXPECT_EQ(target.SpecHeight, 0);
    EXPECT_FALSE(target.KeepAspect);
    EXPECT_EQ(target.Position, 7);
    EXPECT_EQ(target.MarginLeft, 0.25f);
    EXPECT_EQ(target.StitchSide, 1);
    EXPECT_EQ(target.StitchMargin, 0.75f);
    EXPECT_EQ(target.HeaderText, QStringLiteral("h"));
    EXPECT_EQ(target.FooterAlign, 2);
    EXPECT_EQ(target.HeaderFont.pointSize(), 15);
    source.SizeMode = TPageOption::smSpecified;
    target.Assign(source);
    EXPECT_EQ(target.SpecWidth, 3);
    EXPECT_EQ(target.SpecHeight, 4);
    EXPECT_TRUE(target.KeepAspect);

    // The copied layout refers to the target's own fonts, which stay its own.
    TPage page(4, 4, 300);
    source.CalcLayout(QSize(10, 10), *page.Writer);
    target.Assign(source);
    EXPECT_EQ(target.Layout.Header.Font, &target.HeaderFont);
    EXPECT_EQ(target.Layout.Footer.Font, &target.FooterFont);
    EXPECT_EQ(target.Layout.Header.Height, source.Layout.Header.Height);
    target.HeaderFont.setPointSize(30);
    EXPECT_EQ(source.HeaderFont.pointSize(), 15);
}

// --- The printed page ---------------------------------------------------------------------------

TEST(PrintPage, RasterLandsInPlaceWithItsColours) {
    QTemporaryDir dir;
    TImageGraphic picture(Quadrants(4, 4));
    TPageOption option;
    option.SizeMode = TPageOption::smSpecified;
    option.SpecWidth = 2;
    option.SpecHeight = 2;
    option.Position = 4;
    TPageInfo layout;
    const QString pdf = PrintToPdf(dir.filePath("q.pdf"), option, picture, 4, 4, 300, 1, 0xFFFFFF, &layout);
    EXPECT_EQ(layout.ImageLeft, 300);
    EXPECT_EQ(layout.ImageWidth, 600);

    // One 4 x 4 picture of 24-bit colour, not JPEG-compressed.
    const QStringList images = ImageList(pdf);
    ASSERT_EQ(images.size(), 1);
    const QStringList fields = images[0].simplified().split(' ');
    ASSERT_GE(fields.size(), 9);
    EXPECT_EQ(fields[3], "4");
    EXPECT_EQ(fields[4], "4");
    EXPECT_EQ(fields[5], "rgb");
    EXPECT_EQ(fields[7], "8");
    EXPECT_EQ(fields[8], "image");

    // At 50 DPI the page is 200 x 200 and the picture covers 50..149 both ways.
    const QImage page = Rendered(pdf, 50);
    ASSERT_EQ(page.size(), QSize(200, 200));
    EXPECT_EQ(page.pixel(75, 75), 0xFFFF0000u);
    EXPECT_EQ(page.pixel(125, 75), 0xFF00FF00u);
    EXPECT_EQ(page.pixel(75, 125), 0xFF0000FFu);
    EXPECT_EQ(page.pixel(125, 125), 0xFFFFFF00u);
    EXPECT_EQ(page.pixel(51, 51), 0xFFFF0000u);
    EXPECT_EQ(page.pixel(148, 148), 0xFFFFFF00u);
    for (const QPoint p : {QPoint(48, 48), QPoint(151, 100), QPoint(100, 151), QPoint(10, 190)})
        EXPECT_EQ(page.pixel(p), 0xFFFFFFFFu) << p.x() << "," << p.y();
}

TEST(PrintPage, TransparentPixelsShowTheBackgroundAndZoomShrinksTheScreenSize) {
    QTemporaryDir dir;
    QImage image(2, 2, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixel(0, 0, 0xFF0000FF);
    TImageGraphic picture(image);
    TPageOption option; // screen size: 96 screen pixels make an inch
    const QSize zoomed = ZoomedSize(QSize(2, 2), 48);
    EXPECT_EQ(zoomed, QSize(96, 96));
    TPageInfo layout;
    const QString pdf = PrintToPdf(dir.filePath("t.pdf"), option, picture, 3, 3, 300, 48, 0x00FF00, &layout);
    EXPECT_EQ(layout.ImageWidth, 300);
    EXPECT_EQ(layout.ImageHeight, 300);
    const QImage page = Rendered(pdf, 20); // 60 x 60, picture 0..19
    EXPECT_EQ(page.pixel(4, 4), 0xFF0000FFu);
    EXPECT_EQ(page.pixel(15, 4), 0xFF00FF00u); // background colour 0x00FF00 is green (red in the low byte)
    EXPECT_EQ(page.pixel(15, 15), 0xFF00FF00u);
    EXPECT_EQ(page.pixel(30, 30), 0xFFFFFFFFu);
}

TEST(PrintPage, HeaderAndFooterPrintAsTextInTheirFonts) {
    QTemporaryDir dir;
    TImageGraphic picture(Quadrants(2, 2));
    TPageOption option;
    option.SizeMode = TPageOption::smSpecified; // 0 x 0 inches: no picture, the texts still print
    option.MarginTop = 1;
    option.MarginLeft = 1;
    option.HeaderText = QStringLiteral("Quarterly");
    option.FooterText = QStringLiteral("Confidential");
    option.FooterAlign = 2;
    option.HeaderFont = QFont(QStringLiteral("DejaVu Serif"), 12);
    option.FooterFont = QFont(QStringLiteral("DejaVu Sans Mono"), 10);
    TPageInfo layout;
    const QString pdf = PrintToPdf(dir.filePath("h.pdf"), option, picture, 5, 4, 600, 1, 0xFFFFFF, &layout);
    EXPECT_EQ(layout.ImageWidth, 0);
    EXPECT_TRUE(ImageList(pdf).isEmpty());

    const QString fonts = QString::fromUtf8(Poppler("pdffonts", {pdf}));
    EXPECT_TRUE(fonts.contains(QRegularExpression(QStringLiteral("DejaVuSerif\\s.*\\byes\\b"))))
        << fonts.toStdString();
    EXPECT_TRUE(fonts.contains(QStringLiteral("DejaVuSansMono"))) << fonts.toStdString();
    EXPECT_FALSE(fonts.contains(QRegularExpression(QStringLiteral("DejaVuSans\\s")))) << fonts.toStdString();

    // Where the words are, in points: the header's cell starts at the margins (72, 72), the footer ends
    // at the bottom right of the page.
    const QString words = QString::fromUtf8(Poppler("pdftotext", {"-bbox", pdf, "-"}));
    const QRegularExpression word(QStringLiteral(
        "xMin=\"([-0-9.]+)\" yMin=\"([-0-9.]+)\" xMax=\"([-0-9.]+)\" yMax=\"([-0-9.]+)\">(\\w+)<"));
    int found = 0;
    for (auto it = word.globalMatch(words); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const double xMin = m.captured(1).toDouble(), yMin = m.captured(2).toDouble();
        const double xMax = m.captured(3).toDouble(), yMax = m.captured(4).toDouble();
        if (m.captured(5) == QLatin1String("Quarterly")) {
            ++found;
            EXPECT_NEAR(xMin, 72, 1.5);
            EXPECT_NEAR(yMin, 72, 2);
            EXPECT_NEAR(yMax - yMin, layout.Header.Height * 72.0 / 600, 2);
        } else if (m.captured(5) == QLatin1String("Confidential")) {
            ++found;
            EXPECT_NEAR(xMax, 360, 1.5);
            EXPECT_NEAR(yMax, 288, 2);
        }
    }
    EXPECT_EQ(found, 2) << words.toStdString();
}

TEST(PrintPage, NoSizeOrNegativeSizeDrawsNoPicture) {
    QTemporaryDir dir;
    TImageGraphic picture(Quadrants(4, 4));
    TPageOption option;
    option.SizeMode = TPageOption::smStretch;
    option.MarginLeft = 3; // 3 + 2 inches of margin on a 4-inch page: width -300
    option.MarginRight = 2;
    TPageInfo layout;
    const QString pdf = PrintToPdf(dir.filePath("n.pdf"), option, picture, 4, 4, 300, 1, 0xFFFFFF, &layout);
    EXPECT_EQ(layout.ImageWidth, -300);
    EXPECT_TRUE(ImageList(pdf).isEmpty());
    const QImage page = Rendered(pdf, 20);
    EXPECT_EQ(page.pixel(10, 40), 0xFFFFFFFFu);
    EXPECT_EQ(page.pixel(70, 40), 0xFFFFFFFFu);
}

TEST(PrintPage, AHugeZoomIsNeverAllocated) {
    QTemporaryDir dir;
    TImageGraphic picture(Quadrants(4000, 3000));
    TPageOption option;
    option.SizeMode = TPageOption::smFullPage;
    // 400% of a 12-megapixel picture would be 768 MB as a bitmap; the page only takes the picture itself.
    TPageInfo layout;
    const QString pdf = PrintToPdf(dir.filePath("z.pdf"), option, picture, 8, 10, 300, 4, 0xFFFFFF, &layout);
    EXPECT_EQ(layout.ImageWidth, 2400);
    EXPECT_EQ(layout.ImageHeight, 1800);
    const QStringList images = ImageList(pdf);
    ASSERT_EQ(images.size(), 1);
    EXPECT_TRUE(images[0].simplified().startsWith(QStringLiteral("1 0 image 4000 3000 rgb")))
        << images[0].toStdString();
}

TEST(PrintPage, DrawingsPrintAsSharpLinesAtThePrinterResolution) {
    using namespace dxftest;
    // A 100 x 100 square of red lines.
    QByteArray lines;
    const char* corners[5][2] = {{"0", "0"}, {"100", "0"}, {"100", "100"}, {"0", "100"}, {"0", "0"}};
    for (int i = 0; i < 4; ++i)
        lines += Pairs({{0, "LINE"},
                        {8, "0"},
                        {62, "1"},
                        {10, corners[i][0]},
                        {20, corners[i][1]},
                        {11, corners[i + 1][0]},
                        {21, corners[i + 1][1]}});
    const std::unique_ptr<TDXFImage> drawing = Load(File(lines));
    ASSERT_TRUE(IsVectorDrawing(*drawing));
    ASSERT_FALSE(IsVectorDrawing(TImageGraphic(Quadrants(2, 2))));

    QTemporaryDir dir;
    TPageOption option;
    option.SizeMode = TPageOption::smSpecified;
    option.SpecWidth = option.SpecHeight = 1;
    option.MarginLeft = option.MarginTop = 0.5f;
    TPageInfo layout;
    const QString pdf = PrintToPdf(dir.filePath("d.pdf"), option, *drawing, 2, 2, 600, 1, 0xFFFFFF, &layout);
    EXPECT_EQ(layout.ImageWidth, 600);
    EXPECT_TRUE(ImageList(pdf).isEmpty()); // lines, not a picture of them

    // Rendered at the printer's resolution, the square's top and bottom edges are thin lines one inch
    // apart, not the blocks of a 100-pixel drawing stretched to 600 pixels.
    const QImage page = Rendered(pdf, 600);
    ASSERT_EQ(page.size(), QSize(1200, 1200));
    QList<QPair<int, int>> runs; // first row, length
    for (int y = 0; y < page.height(); ++y) {
        if (qRed(page.pixel(600, y)) > 200 && qGreen(page.pixel(600, y)) > 200) continue; // white
        if (!runs.isEmpty() && runs.last().first + runs.last().second == y)
            ++runs.last().second;
        else
            runs.append({y, 1});
    }
    ASSERT_EQ(runs.size(), 2);
    EXPECT_NEAR(runs[0].first, 300, 2);
    EXPECT_NEAR(runs[1].first, 899, 2);
    EXPECT_LE(runs[0].second, 3);
    EXPECT_LE(runs[1].second, 3);
    const QRgb ink = page.pixel(600, runs[0].first);
    EXPECT_GT(qRed(ink), 200);
    EXPECT_LT(qGreen(ink), 60);
}

TEST(PrintPage, ADeviceThatCannotStartRaises) {
    TImageGraphic picture(Quadrants(2, 2));
    QPdfWriter writer(QStringLiteral("/nonexistent-folder/x.pdf"));
    TPageOption option;
    EXPECT_THROW(PrintPicture(writer, option, picture, 1, 0xFFFFFF), EPrinter);
    EXPECT_EQ(PrintJobTitle(QStringLiteral("/home/u/a b.png")), QStringLiteral("Lumenor - /home/u/a b.png"));
}
