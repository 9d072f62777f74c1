// PCL/HP-RTL escapes, PJL lines and raster pictures inside plot files.
#include "HpglUtil.h"
#include "TestUtil.h"

#include "codec/Limits.h"

namespace {

const QByteArray E = "\x1b";
const QByteArray kConfigure = E + "*v6W" + QByteArray("\x00\x01\x01\x08\x08\x08", 6);
const QByteArray kSomething = "IN;SP1;PU0,0;PD10,10;PU;";

// 16 x 8 test raster: a diagonal in the first byte of each row and a full last row.
std::vector<QByteArray> TestRows() {
    std::vector<QByteArray> rows;
    for (int r = 0; r < 8; ++r) {
        QByteArray row(2, 0);
        row[0] = char(0x80 >> r);
        row[1] = char(r == 7 ? 0xFF : (r == 2 ? 0x0F : 0x00));
        rows.push_back(row);
    }
    return rows;
}

QByteArray Transfer(int method, const QByteArray& data) {
    return E + "*b" + QByteArray::number(method) + "m" + QByteArray::number(data.size()) + "W" + data;
}

QByteArray RunLength(const QByteArray& row) {
    QByteArray out;
    for (char c : row) out += QByteArray(1, 0) + c;
    return out;
}
QByteArray PackBitsLiteral(const QByteArray& row) { return QByteArray(1, char(row.size() - 1)) + row; }
// Delta row: one command per changed byte (offset from the end of the previous replacement).
QByteArray Delta(const QByteArray& seed, const QByteArray& row) {
    QByteArray out;
    int pos = 0;
    for (int i = 0; i < row.size(); ++i)
        if (row[i] != seed[i]) {
            out += char(i - pos);
            out += row[i];
            pos = i + 1;
        }
    return out;
}

QByteArray RasterPlot(int method, bool configure = true, const QByteArray& size = "*r16s8T") {
    QByteArray plot = kSomething + (configure ? kConfigure : QByteArray()) + E + size + E + "*r1A";
    const auto rows = TestRows();
    QByteArray seed(2, 0);
    if (method == 4) {
        QByteArray block("\x00\x00\x00\x10", 4);
        for (const auto& r : rows) block += r;
        plot += Transfer(4, block);
    }
    for (const auto& r : rows) {
        if (method == 0) plot += Transfer(0, r);
        if (method == 1) plot += Transfer(1, RunLength(r));
        if (method == 2) plot += Transfer(2, PackBitsLiteral(r));
        if (method == 3) plot += Transfer(3, Delta(seed, r));
        seed = r;
    }
    return plot + E + "*rC";
}

const THpImage* ImageOf(const THPGL2Graphic& g) {
    for (int i = 0; i < g.Elements().Count(); ++i)
        if (g.Elements().Element(i).Kind == ekImage) return static_cast<const THpImage*>(&g.Elements().Element(i));
    return nullptr;
}

// The raster turned a quarter: source row r, pixel p lands at (r, height - 1 - p); ink is black.
QImage Expected(const std::vector<QByteArray>& rows, int bytesPerRow) {
    QImage image(int(rows.size()), bytesPerRow * 8, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int r = 0; r < int(rows.size()); ++r)
        for (int p = 0; p < bytesPerRow * 8; ++p)
            if (uchar(rows[size_t(r)][p / 8]) & (0x80 >> (p % 8))) image.setPixel(r, bytesPerRow * 8 - 1 - p, qRgb(0, 0, 0));
    return image;
}
QImage Opaque(const QImage& bits) {
    QImage out(bits.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter(&out).drawImage(0, 0, bits);
    return out;
}

} // namespace

TEST(HpglRaster, EveryMethodDecodesTheSamePicture) {
    const QImage expected = Expected(TestRows(), 2);
    for (int method = 0; method <= 4; ++method) {
        auto g = LoadPlot(RasterPlot(method));
        const THpImage* image = ImageOf(*g);
        ASSERT_NE(image, nullptr) << "method " << method;
        // 8 rows of 16 pixels become a picture 8 wide and 16 high.
        EXPECT_EQ(image->Rec.Width, 8);
        EXPECT_EQ(image->Rec.Height, 16);
        EXPECT_TRUE(SamePixels(Opaque(image->Rec.Bits), expected)) << "method " << method;
        EXPECT_EQ(image->Extents, (THpExtents{0, int(std::lrint(16 * 1016 / 300.0)), int(std::lrint(8 * 1016 / 300.0)), 0}));
        EXPECT_EQ(g->ErrorCode(), heNoEnd);
    }
}

TEST(HpglRaster, RasterNeedsItsConfiguration) {
    auto g = LoadPlot(RasterPlot(0, false));
    EXPECT_EQ(ImageOf(*g), nullptr);
    EXPECT_EQ(g->Elements().Count(), 1);
}

TEST(HpglRaster, EveryWriteIsBounded) {
    // More rows than the height: the extra ones are dropped.
    auto g = LoadPlot(RasterPlot(0, true, "*r16s4T"));
    ASSERT_NE(ImageOf(*g), nullptr);
    EXPECT_EQ(ImageOf(*g)->Rec.Width, 4);

    // No height: the picture grows as rows come; ESC*b#Y adds blank rows.
    g = LoadPlot(kSomething + kConfigure + E + "*r16S" + E + "*r1A" + Transfer(0, "\xff\xff") + E + "*b3Y" +
                 Transfer(0, "\x80\x01") + E + "*rC");
    ASSERT_NE(ImageOf(*g), nullptr);
    EXPECT_EQ(ImageOf(*g)->Rec.Width, 5);
    const QImage grown = Opaque(ImageOf(*g)->Rec.Bits);
    EXPECT_EQ(Px(grown, 0, 0), kBlack);
    EXPECT_EQ(Px(grown, 2, 0), kWhite);
    EXPECT_EQ(Px(grown, 4, 15), kBlack);
    EXPECT_EQ(Px(grown, 4, 0), kBlack);

    // Runs past the row end, delta offsets and counts beyond it, and method 4 with more data than the
    // raster holds: decoded as far as the row (or raster) reaches.
    const QByteArray hostile = E + "*b2m2W" + QByteArray("\x80\xAA", 2) + E + "*b2m3W" + QByteArray("\xF0\x55\x00", 3) +
                               E + "*b3m6W" + QByteArray("\x1F\xFF\xFF\xFF\x10\x01", 6) + E + "*b3m4W" +
                               QByteArray("\xE1\x11\x22\x33", 4) + E + "*b1m4W" + QByteArray("\xFF\x77\x05\x66", 4) +
                               E + "*b2m2W" + QByteArray("\x7F\x01", 2);
    g = LoadPlot(kSomething + kConfigure + E + "*r16s8T" + E + "*r1A" + hostile + E + "*rC");
    ASSERT_NE(ImageOf(*g), nullptr);
    const QImage bits = Opaque(ImageOf(*g)->Rec.Bits);
    EXPECT_EQ(Px(bits, 1, 15 - 1), kBlack); // row 1 = 55 55: pixel 1 of 0x55 is ink, pixel 0 not
    EXPECT_EQ(Px(bits, 1, 15), kWhite);
    EXPECT_EQ(Px(bits, 1, 0), kBlack);
    QByteArray block("\x00\x00\x00\x10", 4);
    block += QByteArray(100, '\xff');
    g = LoadPlot(kSomething + kConfigure + E + "*r2T" + E + "*r1A" + Transfer(4, block) + E + "*rC");
    ASSERT_NE(ImageOf(*g), nullptr);
    EXPECT_EQ(ImageOf(*g)->Rec.Width, 2);
    EXPECT_EQ(CountPixels(Opaque(ImageOf(*g)->Rec.Bits), kBlack), 32);

    // A raster larger than the pixel limit is left out; the rest of the plot stays.
    const qint64 limit = PixelLimit();
    SetPixelLimit(1000);
    g = LoadPlot(kSomething + kConfigure + E + "*r4000s4000T" + E + "*r1A" + Transfer(0, "\xff") + E + "*rC");
    SetPixelLimit(limit);
    EXPECT_EQ(ImageOf(*g), nullptr);
    EXPECT_EQ(g->Elements().Count(), 1);
}

TEST(HpglRaster, RasterDecoderDirectly) {
    THpRaster raster;
    raster.Width = 12;
    raster.Height = 2;
    raster.Method = 3;
    raster.Begin();
    ASSERT_TRUE(raster.Active);
    EXPECT_EQ(raster.BytesPerRow(), 2);
    const uchar first[] = {0x20, 0xAB, 0xCD}; // two bytes at offset 0
    raster.Transfer(first, 3);
    const uchar second[] = {0x01, 0x0F}; // one byte at offset 1: the seed keeps AB
    raster.Transfer(second, 2);
    raster.Transfer(second, 2); // a third row has no room
    EXPECT_EQ(raster.RowCount(), 3);
    THpImageRec image;
    ASSERT_TRUE(raster.Finish(image));
    const QImage bits = Opaque(image.Bits);
    EXPECT_EQ(bits.size(), QSize(2, 16));
    // Row 1 = AB 0F; pixel 0 of 0xAB is ink, pixel 1 is not; pixel 15 of 0x0F is ink.
    EXPECT_EQ(Px(bits, 1, 15), kBlack);
    EXPECT_EQ(Px(bits, 1, 14), kWhite);
    EXPECT_EQ(Px(bits, 1, 0), kBlack);
    EXPECT_FALSE(raster.Active);
}

TEST(HpglRaster, RasterIsDrawnInInk) {
    // A 16 x 8 all-ink raster at 1 dot per inch, alone in the plot.
    QByteArray plot = kConfigure + E + "*t1R" + E + "*r16s8T" + E + "*r1A";
    for (int r = 0; r < 8; ++r) plot += Transfer(0, "\xff\xff");
    auto g = LoadPlot(plot + E + "*rC");
    ASSERT_EQ(g->Elements().Count(), 1);
    const QImage image = RenderPlot(*g, 200, 400);
    EXPECT_EQ(Px(image, 50, 150), kBlack);
    EXPECT_EQ(Px(image, 195, 395), kWhite);
}

TEST(HpglEscapes, ModesCursorAndPlotSize) {
    // Universal exit, PJL into HP-GL/2, SP0 then keeps the plot going.
    auto g = LoadPlot(E + "%-12345X@PJL ENTER LANGUAGE=HPGL2\r\n" + kSomething + "SP0;PD20,20;PU;");
    EXPECT_TRUE(g->Interpreter().HpglMode());
    EXPECT_EQ(g->Elements().Count(), 2);
    // ESC % 0 B also enters HP-GL/2 mode.
    g = LoadPlot(E + "E" + E + "%0B" + kSomething + "SP0;PD20,20;PU;");
    EXPECT_EQ(g->Elements().Count(), 2);

    // Between ESC%#A and ESC%#B the data is PCL: its text is not read as plot commands.
    g = LoadPlot(E + "%0A" + "Hello PD0,0,100,100;" + E + "%0B" + kSomething);
    EXPECT_EQ(g->Elements().Count(), 1);

    // Plot size in decipoints; a portrait page turns the plot.
    g = LoadPlot(E + "*c1000x2000Y" + kSomething);
    EXPECT_EQ(g->Interpreter().PlotSize(), QPoint(1411, 2822));
    EXPECT_EQ(g->Interpreter().Rotation(), 90);

    // The raster cursor moves the pen when HP-GL/2 is entered with 1.
    g = LoadPlot(kSomething + E + "*p300x150Y" + E + "%1B");
    EXPECT_EQ(g->Interpreter().PenPosition(), QPoint(508, 1016));

    // Pen colours from the colour components; the palette is pushed and popped.
    g = LoadPlot(kSomething + E + "*v255a0b0c5I" + E + "*p0P" + E + "*v0a255b0c5I" + E + "*p1P");
    EXPECT_EQ(g->Interpreter().PenColor(5), 0x0000FFu);

    // Resolution: ESC*t#R takes dots per inch, 0 is refused.
    g = LoadPlot(kSomething + E + "*t600R");
    EXPECT_EQ(g->Interpreter().Resolution(), 600);
    g = LoadPlot(kSomething + E + "*t0R");
    EXPECT_EQ(g->Interpreter().Resolution(), 300);
    EXPECT_EQ(g->ErrorCode(), heNoEnd);
}

TEST(HpglEscapes, UnknownEscapesAreSkippedByTheirSyntax) {
    // Font selection, page orientation, a data-carrying sequence whose bytes look like commands,
    // device-control sequences: none of them draws, none stops the plot.
    const QByteArray plot = kSomething + E + "(s0p12h10v0s0b3T" + E + "&l1O" + E + "*o5W" + "PD9,9" + E + ".(" + E +
                            ".I81;;17:" + E + "9" + E + "&f0S" + "PU0,0;PD0,10;PU;";
    auto g = LoadPlot(plot);
    ASSERT_EQ(g->Elements().Count(), 2);
    EXPECT_EQ(g->ErrorCode(), heNoEnd);
    EXPECT_EQ(g->Elements().Element(1).Nodes.back(), QPoint(0, 10));
}

TEST(HpglPjl, LinesSetPaperResolutionLanguageAndEndOfJob) {
    auto g = LoadPlot("@PJL SET PAPERWIDTH=1000\r\n@PJL SET PAPERLENGTH=2000\r\n@PJL SET RESOLUTION=600\r\n" + kSomething);
    EXPECT_EQ(g->Interpreter().PlotSize(), QPoint(1411, 2822));
    EXPECT_EQ(g->Interpreter().Rotation(), 90);
    EXPECT_EQ(g->Interpreter().Resolution(), 600);

    g = LoadPlot("@PJL SET RESOLUTION=0\r\n" + kSomething);
    EXPECT_EQ(g->Interpreter().Resolution(), 300);
    EXPECT_EQ(g->Elements().Count(), 1);

    // EOJ ends the plot with or without a job name.
    for (const QByteArray& eoj : {QByteArray("@PJL EOJ\r\n"), QByteArray("@PJL EOJ NAME=\"job 1\"\n"), QByteArray("@pjl eoj\n")}) {
        g = LoadPlot(kSomething + eoj + "PU0,0;PD0,10;PU;");
        EXPECT_EQ(g->Elements().Count(), 1) << eoj.constData();
        EXPECT_EQ(g->ErrorCode(), heNone);
    }
    // A stray capital does not swallow the at-sign (or escape) after it.
    g = LoadPlot(kSomething + "Z@PJL EOJ\r\nPU0,0;PD0,10;PU;");
    EXPECT_EQ(g->Elements().Count(), 1);
    g = LoadPlot(kSomething + "Q" + E + "%0BSP0;PU0,0;PD0,10;PU;");
    EXPECT_EQ(g->Elements().Count(), 2);
    // An at-sign that does not start PJL is skipped.
    g = LoadPlot(kSomething + "mail@host;PU0,0;PD0,10;PU;");
    EXPECT_EQ(g->Elements().Count(), 2);
}
