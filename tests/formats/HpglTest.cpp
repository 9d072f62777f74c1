// The plot interpreter and the element list: command families with exact elements, and rendering.
#include "HpglUtil.h"
#include "TestUtil.h"

#include <QRandomGenerator>

namespace {

const TCustomElem& El(const THPGL2Graphic& g, int i) { return g.Elements().Element(i); }
std::vector<QPoint> NodesOf(const THPGL2Graphic& g, int i) {
    const auto& n = El(g, i).Nodes;
    return std::vector<QPoint>(n.begin(), n.end());
}
using P = QPoint;

bool HasColorNear(const QImage& image, int x, int y, QRgb color, int radius = 1) {
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (image.rect().contains(x + dx, y + dy) && Px(image, x + dx, y + dy) == color) return true;
    return false;
}

// A 4000 x 3000 black frame: rendered into 400 x 300 the fit maps plot (x, y) to about
// (x * 0.094333, 283 - y * 0.094333).
const QByteArray kFrame = "IN;SP1;PU0,0;PD4000,0,4000,3000,0,3000,0,0;PU;";
QPoint Dev(int x, int y) { return QPoint(int(std::nearbyint(x * 283.0 / 3000)), int(std::nearbyint(283 - y * 283.0 / 3000))); }

} // namespace

TEST(HpglPolylines, PenUpPenDownAndCoordinates) {
    auto g = LoadPlot("IN;SP1;PU0,0;PD1000,0,1000,1000;PU;");
    ASSERT_EQ(g->Elements().Count(), 1);
    EXPECT_EQ(El(*g, 0).Kind, ekPolyline);
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(0, 0), P(1000, 0), P(1000, 1000)}));

    // The first PD without an earlier PU starts at its first coordinate, not at (0, 0).
    g = LoadPlot("IN;SP1;PD100,100,200,100;PU;");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(100, 100), P(200, 100)}));

    // Relative moves, decimals rounded half to even, "PA10-20" as two numbers.
    g = LoadPlot("IN;SP1;PA1.5,2.5;PD;PR10,0,0,10;PU;PA10-20;PD30,40;PU;");
    ASSERT_EQ(g->Elements().Count(), 2);
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(2, 2), P(12, 2), P(12, 12)}));
    EXPECT_EQ(NodesOf(*g, 1), (std::vector<P>{P(10, -20), P(30, 40)}));

    // Parameter lists go on across line ends and tabs.
    g = LoadPlot("IN;SP1;PU0,0;PD100,0,\r\n100,100\t,0,100;PU;");
    EXPECT_EQ(NodesOf(*g, 0).size(), 4u);

    // Hundreds of coordinates in one command are all kept.
    QByteArray many = "IN;SP1;PU0,0;PD";
    for (int i = 1; i <= 600; ++i) many += QByteArray::number(i) + "," + QByteArray::number(i % 7) + ",";
    g = LoadPlot(many + "0,0;PU;");
    EXPECT_EQ(NodesOf(*g, 0).size(), 602u);
}

TEST(HpglPolylines, LineInProgressEndsAtPenSelectPageEndAndEndOfData) {
    // A pen change inside a PD run keeps the earlier part in the old colour.
    auto g = LoadPlot("IN;SP1;PU0,0;PD1000,0;SP2;PD1000,1000;PU;");
    ASSERT_EQ(g->Elements().Count(), 2);
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(0, 0), P(1000, 0)}));
    EXPECT_EQ(El(*g, 0).LineColor, 0x000000u);
    EXPECT_EQ(NodesOf(*g, 1), (std::vector<P>{P(1000, 0), P(1000, 1000)}));
    EXPECT_EQ(El(*g, 1).LineColor, 0x0000FFu);

    // End of data without PU: still drawn; the plot did not end by itself.
    g = LoadPlot("IN;SP1;PU0,0;PD100,100");
    ASSERT_EQ(g->Elements().Count(), 1);
    EXPECT_EQ(g->ErrorCode(), heNoEnd);
    EXPECT_TRUE(g->PlotReady());

    // PG ends the page: drawn, and nothing after it is read.
    g = LoadPlot("IN;SP1;PU0,0;PD100,100;PG;PU0,0;PD5,5;PU;");
    EXPECT_EQ(g->Elements().Count(), 1);
    EXPECT_EQ(g->ErrorCode(), heNone);
}

TEST(HpglPolylines, SelectPenZeroEndsThePlotOutsideHpgl2Mode) {
    for (const char* end : {"SP;", "SP0;"}) {
        auto g = LoadPlot(QByteArray("IN;SP1;PU0,0;PD10,0;PU;") + end + "PU0,0;PD0,10;PU;");
        EXPECT_EQ(g->Elements().Count(), 1) << end;
        EXPECT_EQ(g->ErrorCode(), heNone);
    }
    // Once HP-GL/2 mode is entered, SP0 selects pen 0 and the plot goes on.
    auto g = LoadPlot("\x1b%-12345X@PJL ENTER LANGUAGE=HPGL2\r\nIN;SP1;PU0,0;PD10,0;PU;SP0;PU0,0;PD0,10;PU;");
    ASSERT_EQ(g->Elements().Count(), 2);
    EXPECT_EQ(El(*g, 1).LineColor, 0xFFFFFFu);
}

TEST(HpglPolylines, UnknownCommandsLowerCaseAndStrayTextAreSkipped) {
    auto g = LoadPlot("IN;SP1;PU0,0;PD100,0;PU;ZZ1,2;XT;YT;CA5;CS0;TL1;UC1,2,3;FS4;AS1;OW;BZ;BR;C1;"
                      "pd10,10; Hello world me@example.com\n PD0,100;PU;");
    ASSERT_EQ(g->Elements().Count(), 2);
    EXPECT_EQ(NodesOf(*g, 1), (std::vector<P>{P(100, 0), P(0, 100)}));
    EXPECT_EQ(g->ErrorCode(), heNoEnd); // nothing stopped the plot; the data ran out
}

TEST(HpglPolylines, EncodedPolylines) {
    // Relative to the pen position without "=", absolute with it.
    auto g = LoadPlot("IN;SP1;PU100,100;PE" + EncodePE(500) + EncodePE(0) + EncodePE(0) + EncodePE(300) + ";");
    ASSERT_EQ(g->Elements().Count(), 1);
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(100, 100), P(600, 100), P(600, 400)}));
    EXPECT_EQ(g->Interpreter().PenPosition(), P(600, 400));

    g = LoadPlot("IN;SP1;PU100,100;PE<=" + EncodePE(1000) + EncodePE(1000) + EncodePE(-500) + EncodePE(0) + ";");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(1000, 1000), P(500, 1000)}));

    // ">" gives the fractional bits of what follows; "7" switches to base 32; ":" selects a pen.
    g = LoadPlot("IN;SP1;PU0,0;PE>" + EncodePE(1) + EncodePE(1000) + EncodePE(-3) + ";");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(0, 0), P(500, -2)}));
    g = LoadPlot("IN;SP1;PU0,0;PE7:" + EncodePE(2, true) + EncodePE(-40, true) + EncodePE(70000, true) + ";");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(0, 0), P(-40, 70000)}));
    EXPECT_EQ(El(*g, 0).LineColor, 0x0000FFu);
}

TEST(HpglArcs, StartAngleInEveryQuadrantAndLargeRadii) {
    // A quarter turn counter-clockwise about (0, 0) takes (x, y) to (-y, x) wherever the pen starts.
    for (auto [x, y] : {std::pair{1000, 1000}, {-1000, 1000}, {-1000, -1000}, {1000, -1000}}) {
        auto g = LoadPlot("IN;SP1;PU" + QByteArray::number(x) + "," + QByteArray::number(y) + ";PD;AA0,0,90;PU;");
        EXPECT_EQ(g->Interpreter().PenPosition(), P(-y, x)) << x << "," << y;
        ASSERT_EQ(g->Elements().Count(), 1);
        EXPECT_EQ(El(*g, 0).Kind, ekArc);
    }
    // Radii beyond 46340 plotter units (their squares need 64 bits).
    auto g = LoadPlot("IN;SP1;PU100000,0;AA0,0,90;AR0,-100000,-90;");
    EXPECT_EQ(g->Interpreter().PenPosition(), P(100000, 0));
    // The extents are those of the quarter plotted, not of its whole circle.
    EXPECT_EQ(El(*g, 0).Extents, (THpExtents{0, 100000, 100000, 0}));
}

TEST(HpglArcs, NegativeSweepInPolygonModeAddsChordPoints) {
    auto g = LoadPlot("IN;SP1;PU1000,0;PM0;AA0,0,-90;PM2;FP;");
    ASSERT_EQ(g->Elements().Count(), 1);
    const auto nodes = NodesOf(*g, 0);
    ASSERT_EQ(nodes.size(), 20u); // the pen twice, then 18 chords of 5 degrees
    EXPECT_EQ(nodes.back(), P(0, -1000));
    for (const P& p : nodes) EXPECT_LE(p.y(), 0);
}

TEST(HpglArcs, ThreePointArcsAndCollinearPoints) {
    auto g = LoadPlot("IN;SP1;PU0,0;PD;AT50,50,100,100;PU;");
    ASSERT_EQ(g->Elements().Count(), 1);
    EXPECT_EQ(El(*g, 0).Kind, ekPolyline);
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(0, 0), P(100, 100)}));
    EXPECT_EQ(g->ErrorCode(), heNoEnd); // not a failed command

    // Through (1000, 0), (0, 1000) to (-1000, 0): half a turn about the origin, counter-clockwise.
    g = LoadPlot("IN;SP1;PU1000,0;AT0,1000,-1000,0;");
    ASSERT_EQ(g->Elements().Count(), 1);
    const auto& arc = static_cast<const TArc&>(El(*g, 0));
    EXPECT_DOUBLE_EQ(arc.Sweep, 180);
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(-1000, -1000), P(1000, 1000), P(1000, 0), P(-1000, 0)}));
    // The other way round (clockwise) is stored from its end.
    g = LoadPlot("IN;SP1;PU1000,0;AT0,-1000,-1000,0;");
    EXPECT_EQ(NodesOf(*g, 0)[2], P(-1000, 0));
    EXPECT_EQ(g->Interpreter().PenPosition(), P(-1000, 0));
}

TEST(HpglArcs, ArcsRenderOnTheirSide) {
    auto g = LoadPlot("IN;SP1;PU-1000,-1000;PD1000,-1000,1000,1000,-1000,1000,-1000,-1000;PU;SP2;PU900,0;AA0,0,90;");
    const QImage image = RenderPlot(*g, 300, 300);
    // Scale 283/2000 about the centre (142, 142): 45 degrees on the arc is drawn, 225 degrees is not.
    EXPECT_TRUE(HasColorNear(image, 232, 52, kRed, 2));
    EXPECT_FALSE(HasColorNear(image, 52, 232, kRed, 3));
}

TEST(HpglShapes, CirclesRectanglesAndPolygons) {
    auto g = LoadPlot(kFrame + "SP2;PU2000,1500;CI1000;");
    ASSERT_EQ(g->Elements().Count(), 2);
    EXPECT_EQ(El(*g, 1).Kind, ekCircle);
    EXPECT_EQ(NodesOf(*g, 1), (std::vector<P>{P(1000, 500), P(3000, 2500)}));
    QImage image = RenderPlot(*g, 400, 300);
    EXPECT_TRUE(HasColorNear(image, Dev(3000, 1500).x(), Dev(3000, 1500).y(), kRed));
    EXPECT_TRUE(HasColorNear(image, Dev(2000, 2500).x(), Dev(2000, 2500).y(), kRed));
    EXPECT_EQ(Px(image, Dev(2000, 1500).x(), Dev(2000, 1500).y()), kWhite);

    // CI in polygon mode: 72 points of a sub-polygon.
    g = LoadPlot("IN;SP1;PU0,0;PM0;CI100;PM2;FP;");
    EXPECT_EQ(NodesOf(*g, 0).size(), 73u);

    // EA outlines all four sides, RA fills the same rectangle; the pen stays.
    g = LoadPlot(kFrame + "SP2;PU1000,1000;EA3000,2000;");
    ASSERT_EQ(g->Elements().Count(), 2);
    EXPECT_EQ(NodesOf(*g, 1), (std::vector<P>{P(1000, 1000), P(1000, 2000), P(3000, 2000), P(3000, 1000), P(1000, 1000)}));
    image = RenderPlot(*g, 400, 300);
    for (P p : {P(2000, 1000), P(3000, 1500), P(2000, 2000), P(1000, 1500)})
        EXPECT_TRUE(HasColorNear(image, Dev(p.x(), p.y()).x(), Dev(p.x(), p.y()).y(), kRed)) << p.x() << "," << p.y();
    EXPECT_EQ(Px(image, Dev(2000, 1500).x(), Dev(2000, 1500).y()), kWhite);
    EXPECT_EQ(g->Interpreter().PenPosition(), P(1000, 1000));

    g = LoadPlot(kFrame + "SP2;PU1000,1000;RA3000,2000;");
    EXPECT_EQ(El(*g, 1).Kind, ekPolygon);
    image = RenderPlot(*g, 400, 300);
    EXPECT_EQ(Px(image, Dev(2000, 1500).x(), Dev(2000, 1500).y()), kRed);
    EXPECT_EQ(Px(image, Dev(500, 500).x(), Dev(500, 500).y()), kWhite);

    // Polygon mode: EP edges only what the pen drew (no closing stroke), FP fills.
    g = LoadPlot("IN;SP1;PA0,0;PM0;PD;PA1000,0,1000,1000;PU;PM2;EP;FP;");
    ASSERT_EQ(g->Elements().Count(), 2);
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(0, 0), P(1000, 0), P(1000, 1000)}));
    EXPECT_EQ(El(*g, 1).Kind, ekPolygon);
}

TEST(HpglShapes, FillRuleOfFP) {
    // A five-pointed star drawn in one stroke: its centre is inside twice.
    const QByteArray star = kFrame + "SP2;PU2000,2500;PM0;PD2588,690,1049,1809,2951,1809,1412,690,2000,2500;PM2;";
    const QPoint centre = Dev(2000, 1500);
    auto g = LoadPlot(star + "FP;");
    EXPECT_EQ(Px(RenderPlot(*g, 400, 300), centre.x(), centre.y()), kWhite);
    g = LoadPlot(star + "FP1;");
    EXPECT_EQ(Px(RenderPlot(*g, 400, 300), centre.x(), centre.y()), kRed);
    EXPECT_EQ(Px(RenderPlot(*g, 400, 300), Dev(2000, 2300).x(), Dev(2000, 2300).y()), kRed); // a point
}

TEST(HpglShapes, FillTypesAndShading) {
    auto g = LoadPlot("IN;SP1;FT3,50,45;PU0,0;RA100,100;FT1;FT3;RA200,200;FT10,30;RA300,300;SV21,5;RA400,400;");
    ASSERT_EQ(g->Elements().Count(), 4);
    EXPECT_EQ(El(*g, 0).FillKind, fkHatch);
    EXPECT_EQ(El(*g, 0).FillLevel, 45);
    EXPECT_EQ(El(*g, 1).FillKind, fkHatch);
    EXPECT_EQ(El(*g, 1).FillLevel, 0); // the earlier angle does not leak into this fill
    EXPECT_EQ(El(*g, 2).FillKind, fkShading);
    EXPECT_EQ(El(*g, 2).FillLevel, 30);
    EXPECT_EQ(El(*g, 3).FillKind, fkCrossHatch);

    EXPECT_EQ(ShadedColor(0x0000FF, 100), 0x0000FFu);
    EXPECT_EQ(ShadedColor(0x0000FF, 0), 0xFFFFFFu);
    EXPECT_EQ(ShadedColor(0x0000FF, 50), 0x7F7FFFu); // 50 * 2.55 rounds to 127

    // A 50 % shade of red fills with (255, 127, 127).
    g = LoadPlot(kFrame + "SP2;FT10,50;PU1000,1000;RA3000,2000;");
    const QImage image = RenderPlot(*g, 400, 300);
    EXPECT_EQ(Px(image, Dev(2000, 1500).x(), Dev(2000, 1500).y()), 0xFF7F7Fu);
}

TEST(HpglShapes, MergedPolygonsAreNotClippedToTheScreenAndLetThePaperThrough) {
    auto g = LoadPlot("IN;SP1;MC1;PU0,0;RA4000,3000;");
    QImage image = RenderPlot(*g, 2400, 1800);
    EXPECT_EQ(Px(image, 2200, 1600), kBlack);
    EXPECT_EQ(Px(image, 10, 10), kBlack);

    // A merged fill in the paper colour leaves what lies below; without merging it covers it.
    g = LoadPlot("IN;SP1;PU0,0;RA4000,3000;PC3,255,255,255;SP3;MC1;PU1000,1000;RA3000,2000;");
    image = RenderPlot(*g, 400, 300);
    EXPECT_EQ(Px(image, Dev(2000, 1500).x(), Dev(2000, 1500).y()), kBlack);
    g = LoadPlot("IN;SP1;PU0,0;RA4000,3000;PC3,255,255,255;SP3;MC0;PU1000,1000;RA3000,2000;");
    image = RenderPlot(*g, 400, 300);
    EXPECT_EQ(Px(image, Dev(2000, 1500).x(), Dev(2000, 1500).y()), kWhite);
}

TEST(HpglPens, ColoursWidthsAndStyles) {
    auto g = LoadPlot("IN;PC1,255,0,0;SP1;PU0,0;PD10,0;PC1,0,0,255;PD20,0;PU;SP6;PD0,5,5,5;PU;");
    ASSERT_EQ(g->Elements().Count(), 3);
    EXPECT_EQ(El(*g, 0).LineColor, 0x0000FFu);
    EXPECT_EQ(El(*g, 1).LineColor, 0xFF0000u); // the current pen changes at once
    EXPECT_EQ(El(*g, 2).LineColor, 0x800080u); // pen 6 starts purple

    g = LoadPlot("IN;SP1;PW0.7;LT2;PU0,0;PD10,0;PU;PW0.5,3;SP3;LT;PD0,10;PU;SP1;LT1;PD5,5;PU;");
    ASSERT_EQ(g->Elements().Count(), 3);
    EXPECT_DOUBLE_EQ(El(*g, 0).LineWidth, 0.7);
    EXPECT_EQ(El(*g, 0).LineStyle, lsDash);
    EXPECT_DOUBLE_EQ(El(*g, 1).LineWidth, 0.5);
    EXPECT_EQ(El(*g, 1).LineStyle, lsSolid);
    EXPECT_EQ(El(*g, 2).LineStyle, lsDot);
}

TEST(HpglPens, RealWidthsAndLineWidthSetting) {
    // A 10 x 7.5 inch plot in 400 x 300 pixels: 0.037139 pixels per plotter unit.
    const QByteArray plot = "IN;SP1;PW0.1;PU0,0;PD10160,0,10160,7620,0,7620,0,0;PU;PW2.54;SP2;PU1000,3810;PD9000,3810;PU;";
    auto g = LoadPlot(plot);
    EXPECT_FALSE(g->RealWidth);
    EXPECT_EQ(g->LineWidth, 1);
    EXPECT_EQ(g->PaperColor(), 0xFFFFFFu);
    auto thickness = [](const QImage& image) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y) n += Px(image, 200, y) == kRed;
        return n;
    };
    EXPECT_EQ(thickness(RenderPlot(*g, 400, 300)), 1);
    g->LineWidth = 3;
    EXPECT_EQ(thickness(RenderPlot(*g, 400, 300)), 3);
    // 2.54 mm = 101.6 plotter units = 3.77 pixels: drawn 4 pixels wide, not a tenth of that.
    g->RealWidth = true;
    EXPECT_EQ(thickness(RenderPlot(*g, 400, 300)), 4);
    EXPECT_EQ(g->Elements().PenWidthToDevice(0.35), 1);

    g->SetPaperColor(0x00FF00);
    EXPECT_EQ(Px(RenderPlot(*g, 400, 300), 200, 50), 0x00FF00u);
}

TEST(HpglLabels, TerminatorTextAndPenMovement) {
    auto g = LoadPlot("IN;SP1;DT*;PU100,100;LBtext*PU;");
    ASSERT_EQ(g->Elements().Count(), 1);
    const auto& text = static_cast<const TText&>(El(*g, 0));
    EXPECT_EQ(text.Rec.Text, QStringLiteral("text"));
    EXPECT_EQ(text.Rec.Anchor, P(100, 100));
    EXPECT_EQ(text.Rec.Align, 8);
    EXPECT_EQ(text.Extents.MinX, 100);
    EXPECT_EQ(text.Extents.MinY, 100);
    EXPECT_GT(text.Extents.MaxY, 200);
    EXPECT_GT(g->Interpreter().PenPosition().x(), 300);
    EXPECT_EQ(g->Interpreter().PenPosition().y(), 100);

    // The terminator belongs to one file: the next file reads ETX again, and IN resets it.
    g = LoadPlot("IN;SP1;LBcd\x03PU;");
    EXPECT_EQ(static_cast<const TText&>(El(*g, 0)).Rec.Text, QStringLiteral("cd"));
    g = LoadPlot("DT*;IN;SP1;LBab\x03");
    EXPECT_EQ(static_cast<const TText&>(El(*g, 0)).Rec.Text, QStringLiteral("ab"));

    // Centred origin, direction and relative sizes.
    g = LoadPlot("IN;SP1;LO5;DI0,1;SR2,4;PU1000,1000;LBmid\x03");
    const auto& mid = static_cast<const TText&>(El(*g, 0));
    EXPECT_EQ(mid.Rec.Align, 30);
    EXPECT_DOUBLE_EQ(mid.Rec.Direction, 90);
    EXPECT_DOUBLE_EQ(mid.Rec.CellHeight, 36576 * 4 / 100.0);
    EXPECT_LT(mid.Extents.MinY, 1000);
    EXPECT_GT(mid.Extents.MaxY, 1000);
    EXPECT_EQ(g->Interpreter().PenPosition().x(), mid.Extents.MaxX);

    // CP moves the pen by character cells without drawing.
    g = LoadPlot("IN;SP1;SI1,1;PU0,0;CP2,0;PD;PR0,10;PU;");
    EXPECT_EQ(NodesOf(*g, 0)[0], P(800, 0));
}

TEST(HpglScaling, ScalingMapsTheUserMinimumToP1) {
    auto g = LoadPlot("IN;SP1;IP1000,1000,2000,2000;SC0,100,0,100;PU0,0;PD100,100;PU;");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(1000, 1000), P(2000, 2000)}));
    g = LoadPlot("IN;SP1;IP1000,1000,2000,2000;SC-100,100,-100,100;PU0,0;PD100,100;PR-100,0;PU;");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(1500, 1500), P(2000, 2000), P(1500, 2000)}));
    // Point factors: one user unit is 2 by 3 plotter units from P1.
    g = LoadPlot("IN;SP1;IP1000,1000,5000,5000;SC0,2,0,3,2;PU0,0;PD10,10;PU;");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(1000, 1000), P(1020, 1030)}));
    // Rotation turns points a quarter: (x, y) becomes (-y, x).
    g = LoadPlot("IN;SP1;RO90;PU0,0;PD1000,0;PU;");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(0, 0), P(0, 1000)}));
    // An empty user range is an error of the command: the plot stops with what came before.
    g = LoadPlot("IN;SP1;PU0,0;PD10,10;PU;SC5,5,0,10;PD20,20;PU;");
    EXPECT_EQ(g->ErrorCode(), heCommand);
    EXPECT_EQ(g->Elements().Count(), 1);
}

TEST(HpglRender, FitWindowsAndDegenerateExtents) {
    // The drawing keeps its aspect ratio, anchored at the lower left, with a fixed margin free at the
    // right and the bottom.
    auto g = LoadPlot("IN;SP1;PU0,0;RA4000,3000;");
    QImage image = RenderPlot(*g, 400, 300);
    EXPECT_EQ(Px(image, 10, 10), kBlack);
    EXPECT_EQ(Px(image, 370, 280), kBlack);
    EXPECT_EQ(Px(image, 390, 150), kWhite);
    EXPECT_EQ(Px(image, 10, 290), kWhite);
    EXPECT_EQ(g->Width(), 378); // 4000 plotter units at 96 pixels per inch
    EXPECT_EQ(g->Height(), 283);

    // The same through another rectangle of the canvas: nothing outside it is touched.
    QImage big(600, 500, QImage::Format_RGB32);
    big.fill(QColor(128, 128, 128));
    {
        QPainter p(&big);
        g->DrawTo(p, QRect(100, 100, 400, 300));
    }
    EXPECT_EQ(Px(big, 110, 110), kBlack);
    EXPECT_EQ(Px(big, 90, 90), 0x808080u);
    EXPECT_EQ(Px(big, 550, 450), 0x808080u);
    EXPECT_TRUE(SamePixels(big.copy(100, 100, 400, 300), image));

    // A single straight line has no height: it is still drawn, across the middle.
    g = LoadPlot("IN;SP1;PU0,0;PD5000,0;PU;");
    image = RenderPlot(*g, 200, 100);
    EXPECT_GE(CountPixels(image, kBlack), 170);
    EXPECT_TRUE(HasColorNear(image, 90, 45, kBlack));

    // An input window clips what follows.
    g = LoadPlot(kFrame + "IW0,0,2000,3000;SP2;PU0,1500;PD4000,1500;PU;");
    image = RenderPlot(*g, 400, 300);
    EXPECT_EQ(Px(image, Dev(1000, 1500).x(), Dev(1000, 1500).y()), kRed);
    EXPECT_EQ(Px(image, Dev(3000, 1500).x(), Dev(3000, 1500).y()), kWhite);

    // Same picture through QPainter's own line drawing (a canvas the direct path does not take).
    g = LoadPlot(kFrame + "SP2;PU0,1500;PD4000,1500;PU;");
    const QImage direct = RenderPlot(*g, 400, 300);
    const QImage painted = RenderPlot(*g, 400, 300, QImage::Format_RGB888);
    EXPECT_NEAR(CountPixels(direct, kRed), CountPixels(painted, kRed), 2);
    EXPECT_EQ(Px(painted, 200, Dev(0, 1500).y()), kRed);
}

TEST(HpglLoad, ErrorsProgressAndAbort) {
    try {
        LoadPlot("");
        FAIL() << "no exception";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("File size is zero bytes"));
    }
    try {
        LoadPlot("IN;SP1;PU10,10;");
        FAIL() << "no exception";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Empty element list"));
    }

    QByteArray plot = "IN;SP1;";
    for (int i = 0; i < 2000; ++i) plot += "PU0,0;PD100," + QByteArray::number(i) + ";";
    THPGL2Graphic g;
    std::vector<std::pair<TProgressStage, int>> events;
    g.OnProgress = [&](TGraphic*, TProgressStage stage, quint8 percent, bool, const QRect&, const QString&) {
        events.push_back({stage, percent});
    };
    QBuffer buffer(&plot);
    buffer.open(QIODevice::ReadOnly);
    g.LoadFromStream(buffer);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), std::make_pair(TProgressStage::psStarting, 0));
    EXPECT_EQ(events.back(), std::make_pair(TProgressStage::psEnding, 100));
    for (size_t i = 1; i + 1 < events.size(); ++i) EXPECT_EQ(events[i].second % 10, 0);
    EXPECT_EQ(g.Elements().Count(), 2000);

    // Aborting from the progress handler ends loading quietly with nothing to show.
    THPGL2Graphic aborted;
    aborted.OnProgress = [&](TGraphic*, TProgressStage stage, quint8, bool, const QRect&, const QString&) {
        if (stage == TProgressStage::psRunning) aborted.SetAborted(true);
    };
    buffer.seek(0);
    aborted.LoadFromStream(buffer);
    EXPECT_TRUE(aborted.IsEmpty());
    EXPECT_EQ(aborted.Elements().Count(), 0);
}

TEST(HpglLoad, TruncatedAndGarbageInputEndsCleanly) {
    const QList<QByteArray> cases = {
        "\x1b", "\x1b*b", "\x1b*b99999W", "\x1b*v6W\x1b*r16s8T\x1b*b2m9W\x80", "PE", "PE\xff\xfe\x7f", "LB",
        "DT", "AA0,0", "IN;SP1;PD", "PA99999999999999999999999,5;PD1e5,3;PU;", "PM0;PM1;PM1;PM2;EP;FP;",
        "IW1,2,3,4;IW;", "SC0,1,0,1,2;PD1,1;", "CI-5;CI99999999999;", "PD1073741824,1073741824,-1073741824,0;",
        "IN;SP1;PU0,0;PE=" + EncodePE(qint64(1) << 40) + EncodePE(-(qint64(1) << 40)) + ";",
        "IN;SP1;PU;AT1,1,1,1;RT0,0,0,0;AR0,0,1e300;", "@PJL", "@PJL SET PAPERWIDTH=-5\n@PJL SET RESOLUTION=abc",
    };
    int loaded = 0;
    for (const QByteArray& c : cases) {
        try {
            auto g = LoadPlot(c);
            RenderPlot(*g, 64, 48);
            ++loaded;
        } catch (const Exception&) {
        }
    }
    EXPECT_GE(loaded, 4);
    // Random bytes and random cuts of a real plot never crash or hang.
    const QByteArray real = ReadFile(DataPath("hpgl/graph_hpgl2.hpgl"));
    QRandomGenerator rng(7);
    for (int i = 0; i < 200; ++i) {
        QByteArray data = i % 2 ? real.left(int(rng.bounded(real.size()))) : QByteArray(int(rng.bounded(400)) + 1, 0);
        if (i % 2 == 0)
            for (char& b : data) b = char("PDUAEC0123456789,;-.\x1b*%@LBrbvWSTAM"[rng.bounded(37)] ^ (rng.bounded(8) == 0 ? 0x20 : 0));
        try {
            auto g = LoadPlot(data);
            RenderPlot(*g, 64, 48);
        } catch (const Exception&) {
        }
    }
}

TEST(HpglElements, NodeListAndElementKinds) {
    THpNodeList nodes;
    nodes.AddNode(P(1, 2));
    EXPECT_EQ(nodes.GetNode(0), P(1, 2));
    try {
        nodes.GetNode(1);
        FAIL() << "no exception";
    } catch (const ERangeError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Node index out of bounds"));
    }

    TElementList list;
    THpNodeList empty;
    EXPECT_FALSE(list.AddElement(10, nodes));
    EXPECT_FALSE(list.AddElement(ekPolyline, empty));
    EXPECT_FALSE(list.AddElement(ekArc, nodes)); // an arc needs its four nodes; it empties the list
    EXPECT_EQ(nodes.Count(), 0);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(list.DrawExtents().IsEmpty());
    nodes.AddNode(P(1, 2));
    nodes.AddNode(P(5, -3));
    EXPECT_TRUE(list.AddElement(ekCircle, nodes));
    EXPECT_EQ(list.DrawExtents(), (THpExtents{1, 2, 5, -3}));
    // A window widens only the window extents; the next drawing element brings them back.
    THpNodeList window;
    window.AddNode(P(-10, -10));
    window.AddNode(P(10, 10));
    EXPECT_TRUE(list.AddElement(ekWindow, window));
    EXPECT_EQ(window.Count(), 0);
    EXPECT_EQ(list.WindowExtents(), (THpExtents{-10, 10, 10, -10}));
    EXPECT_EQ(list.DrawExtents(), (THpExtents{1, 2, 5, -3}));
    EXPECT_TRUE(list.AddElement(ekPolyline, nodes));
    EXPECT_EQ(list.WindowExtents(), list.DrawExtents());
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(list.WindowExtents().IsEmpty());
}

// ---------------------------------------------------------------------------------------------------
// Scaled units: SC, IP and IR, arcs in user units, and the size of what was plotted

TEST(HpglScaling, IsotropicScalingPlacesTheUserRectangle) {
    // 100 x 100 user units in an 8000 x 4000 P1-P2 rectangle: 40 plotter units per user unit either
    // way, the square centred across by default.
    auto g = LoadPlot("IN;SP1;IP0,0,8000,4000;SC0,100,0,100,1;PU0,0;PD100,100;PU;");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(2000, 0), P(6000, 4000)}));
    EXPECT_DOUBLE_EQ(g->Interpreter().ScaleX(), 40);
    EXPECT_DOUBLE_EQ(g->Interpreter().ScaleY(), 40);
    // Left and bottom say where the spare room goes: all of it to the left here.
    g = LoadPlot("IN;SP1;IP0,0,8000,4000;SC0,100,0,100,1,100,0;PU0,0;PD100,100;PU;");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(4000, 0), P(8000, 4000)}));
    g = LoadPlot("IN;SP1;IP0,0,8000,4000;SC0,100,0,100,1,0,0;PU0,0;PD100,100;PU;");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(0, 0), P(4000, 4000)}));
    // IP afterwards places it again in the new rectangle; relative moves are not offset.
    g = LoadPlot("IN;SP1;SC0,100,0,100,1;IP0,0,4000,8000;PU0,0;PD100,100;PR-50,0;PU;");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(0, 2000), P(4000, 6000), P(2000, 6000)}));
    // Anisotropic (type 0) stretches each way on its own.
    g = LoadPlot("IN;SP1;IP0,0,8000,4000;SC0,100,0,100,0;PU0,0;PD100,100;PU;");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(0, 0), P(8000, 4000)}));
    // A window in user units lands where the points do.
    g = LoadPlot("IN;SP1;IP0,0,8000,4000;SC0,100,0,100,1;IW50,50,0,0;PU0,0;PD100,100;PU;");
    ASSERT_EQ(El(*g, 0).Kind, ekWindow);
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(2000, 0), P(4000, 2000)}));
}

TEST(HpglScaling, InputRelativeSetsP1AndP2InPercentOfThePlot) {
    auto g = LoadPlot("IN;SP1;PS10000,5000;IR10,20,90,80;SC0,100,0,100;PU0,0;PD100,100;PU;");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(1000, 1000), P(9000, 4000)}));
    // With two parameters P2 keeps its distance from P1.
    g = LoadPlot("IN;SP1;PS10000,5000;IP0,0,1000,1000;IR50,50;SC0,1,0,1;PU0,0;PD1,1;PU;");
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(5000, 2500), P(6000, 3500)}));
}

TEST(HpglScaling, ArcsAreWorkedOutInUserUnits) {
    // 40 x 20 plotter units per user unit: a quarter circle of radius 25 user units about (50, 50) is a
    // quarter ellipse 1000 across and 500 high, from (3000, 1000) to (2000, 1500).
    for (const char* arc : {"AA50,50,90", "AR-25,0,90"}) {
        auto g = LoadPlot(QByteArray("IN;SP1;IP0,0,4000,2000;SC0,100,0,100;PU75,50;PD;") + arc + ";PU;");
        ASSERT_EQ(g->Elements().Count(), 1) << arc;
        EXPECT_EQ(El(*g, 0).Kind, ekPolyline);
        const auto nodes = NodesOf(*g, 0);
        ASSERT_EQ(nodes.size(), 19u); // the pen, then 18 chords of 5 degrees
        EXPECT_EQ(nodes.front(), P(3000, 1000));
        EXPECT_EQ(nodes.back(), P(2000, 1500));
        for (const P& p : nodes) {
            const double ex = (p.x() - 2000) / 1000.0, ey = (p.y() - 1000) / 500.0;
            EXPECT_NEAR(ex * ex + ey * ey, 1.0, 0.003) << p.x() << "," << p.y();
        }
        EXPECT_EQ(El(*g, 0).Extents, (THpExtents{2000, 1500, 3000, 1000}));
        EXPECT_EQ(g->Interpreter().PenPosition(), P(2000, 1500));
    }
    // Equal units: still an arc of a circle, in plotter units.
    auto g = LoadPlot("IN;SP1;IP0,0,4000,4000;SC0,100,0,100;PU75,50;PD;AA50,50,90;PU;");
    ASSERT_EQ(g->Elements().Count(), 1);
    EXPECT_EQ(El(*g, 0).Kind, ekArc);
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(1000, 1000), P(3000, 3000), P(3000, 2000), P(2000, 3000)}));
    // A mirrored y axis: counter-clockwise in user units is clockwise on the plot, stored from its end.
    g = LoadPlot("IN;SP1;IP0,0,4000,4000;SC0,100,100,0;PU75,50;PD;AA50,50,90;PU;");
    ASSERT_EQ(g->Elements().Count(), 1);
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(1000, 1000), P(3000, 3000), P(2000, 1000), P(3000, 2000)}));
    EXPECT_DOUBLE_EQ(static_cast<const TArc&>(El(*g, 0)).Sweep, 90);
    EXPECT_EQ(g->Interpreter().PenPosition(), P(2000, 1000));
    // Three points in user units: half an ellipse over the top, ending where it was told to.
    g = LoadPlot("IN;SP1;IP0,0,4000,2000;SC0,100,0,100;PU100,50;PD;AT50,100,0,50;PU;");
    ASSERT_EQ(g->Elements().Count(), 1);
    EXPECT_EQ(NodesOf(*g, 0).size(), 37u);
    EXPECT_EQ(El(*g, 0).Extents, (THpExtents{0, 2000, 4000, 1000}));
    EXPECT_EQ(g->Interpreter().PenPosition(), P(0, 1000));
}

TEST(HpglScaling, TheNominalSizeIsThatOfWhatWasPlotted) {
    // A ten-degree arc of radius 1000: 15 by 174 plotter units, not the 2000 x 2000 of its circle.
    auto g = LoadPlot("IN;SP1;PU1000,0;PD;AA0,0,10;PU;");
    EXPECT_EQ(El(*g, 0).Extents, (THpExtents{985, 174, 1000, 0}));
    EXPECT_EQ(g->Width(), 1);   // 15 units at 96 pixels per inch
    EXPECT_EQ(g->Height(), 16); // 174 units
    // An arc through the left and the bottom of its circle.
    g = LoadPlot("IN;SP1;PU0,1000;PD;AA0,0,180;PU;");
    EXPECT_EQ(El(*g, 0).Extents, (THpExtents{-1000, 1000, 0, -1000}));
}

// A hand-written plot under anisotropic and isotropic scaling (a rounded rectangle of four AA/AR
// corners, a circle that SC stretches into an ellipse, a relative square, an elliptic wedge, a true
// circle after SC type 1), against hp2xx's rendering of it at 96 dots per inch.
TEST(HpglScaling, ScaledPlotMatchesHp2xx) {
    auto g = std::make_unique<THPGL2Graphic>();
    g->LoadFromFileName(DataPath(QStringLiteral("hpgl/scaled_sc.plt")));
    // From (800, 400) to (7200, 3600) in plotter units, as hp2xx reports it.
    EXPECT_EQ(g->Elements().DrawExtents(), (THpExtents{800, 3600, 7200, 400}));
    EXPECT_EQ(g->Width(), 605);
    EXPECT_EQ(g->Height(), 302);
    QImage reference(DataPath(QStringLiteral("hpgl/scaled_sc_hp2xx.pbm")));
    ASSERT_FALSE(reference.isNull());
    reference = reference.convertToFormat(QImage::Format_RGB32);
    // Our rendering at the size of hp2xx's, both cropped to their ink: lines within two pixels of
    // each other, both ways.
    QImage ours = RenderPlot(*g, reference.width() + TElementList::FitMargin, reference.height() + TElementList::FitMargin);
    auto crop = [](const QImage& image) {
        QRect box;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 100) box |= QRect(x, y, 1, 1);
        return image.copy(box);
    };
    const QImage a = crop(ours), b = crop(reference);
    ASSERT_NEAR(a.width(), b.width(), 4);
    ASSERT_NEAR(a.height(), b.height(), 4);
    auto unmatched = [](const QImage& from, const QImage& to) {
        int misses = 0, inked = 0;
        for (int y = 0; y < from.height(); ++y)
            for (int x = 0; x < from.width(); ++x) {
                if (qGray(from.pixel(x, y)) >= 100) continue;
                ++inked;
                const int tx = x * to.width() / from.width(), ty = y * to.height() / from.height();
                bool found = false;
                for (int dy = -2; dy <= 2 && !found; ++dy)
                    for (int dx = -2; dx <= 2 && !found; ++dx)
                        found = QRect(QPoint(0, 0), to.size()).contains(tx + dx, ty + dy) && qGray(to.pixel(tx + dx, ty + dy)) < 100;
                misses += !found;
            }
        return double(misses) / std::max(1, inked);
    };
    EXPECT_LT(unmatched(a, b), 0.02);
    EXPECT_LT(unmatched(b, a), 0.02);
}

// ---------------------------------------------------------------------------------------------------
// Symbol mode and wedges

TEST(HpglSymbols, TheSymbolIsCentredOnEveryPoint) {
    auto g = LoadPlot("IN;SP1;SI0.5,0.5;SM*;PU1000,1000;PA2000,1000;PD3000,1000;PR0,1000;SM;PA4000,4000;PU;");
    ASSERT_EQ(g->Elements().Count(), 5);
    const std::vector<P> points{P(1000, 1000), P(2000, 1000), P(3000, 1000), P(3000, 2000)};
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(El(*g, i).Kind, ekText) << i;
        const auto& text = static_cast<const TText&>(El(*g, i)).Rec;
        EXPECT_EQ(text.Text, QStringLiteral("*"));
        EXPECT_EQ(text.Align, 24 | 6); // centred on its baseline
        EXPECT_NEAR(text.CellHeight, 200, 0.01); // 0.5 cm
        // The baseline lies half a capital height below the point.
        EXPECT_EQ(text.Anchor.x(), points[size_t(i)].x());
        const int down = points[size_t(i)].y() - text.Anchor.y();
        EXPECT_GE(down, 60);
        EXPECT_LE(down, 80);
        const THpExtents& e = El(*g, i).Extents;
        EXPECT_NEAR((e.MinX + e.MaxX) / 2.0, points[size_t(i)].x(), 1);
        EXPECT_NEAR((e.MinY + e.MaxY) / 2.0, points[size_t(i)].y(), 1);
    }
    // The line itself, with no symbol at the point after SM; turned symbol mode off.
    EXPECT_EQ(El(*g, 4).Kind, ekPolyline);
    EXPECT_EQ(NodesOf(*g, 4), (std::vector<P>{P(2000, 1000), P(3000, 1000), P(3000, 2000), P(4000, 4000)}));
    EXPECT_EQ(g->Interpreter().Symbol(), 0);

    // Along the label direction: turned a quarter, the baseline lies to the right of the point.
    g = LoadPlot("IN;SP1;SI0.5,0.5;DI0,1;SMx;PA1000,1000;");
    ASSERT_EQ(El(*g, 0).Kind, ekText);
    const auto& turned = static_cast<const TText&>(El(*g, 0)).Rec;
    EXPECT_EQ(turned.Anchor.y(), 1000);
    EXPECT_GE(turned.Anchor.x() - 1000, 25);
    EXPECT_DOUBLE_EQ(turned.Direction, 90);
    // Not in polygon mode.
    g = LoadPlot("IN;SP1;SM+;PA0,0;PM0;PD100,0,100,100;PM2;FP;");
    EXPECT_EQ(g->Elements().Count(), 2); // the symbol of PA0,0 and the polygon
}

TEST(HpglSymbols, SymbolsRenderOnTheirPoints) {
    auto g = LoadPlot(kFrame + "SP2;SI0.8,0.8;SMO;PU1000,1000,3000,2000;");
    const QImage image = RenderPlot(*g, 400, 300);
    for (P p : {P(1000, 1000), P(3000, 2000)}) {
        const QPoint d = Dev(p.x(), p.y());
        QRect ink;
        for (int y = d.y() - 20; y <= d.y() + 20; ++y)
            for (int x = d.x() - 20; x <= d.x() + 20; ++x)
                if (image.rect().contains(x, y) && Px(image, x, y) == kRed) ink |= QRect(x, y, 1, 1);
        ASSERT_FALSE(ink.isEmpty()) << p.x();
        EXPECT_NEAR(ink.center().x(), d.x(), 2) << p.x();
        EXPECT_NEAR(ink.center().y(), d.y(), 2) << p.x();
        EXPECT_GT(ink.height(), 15); // a cell of 0.8 cm (320 plotter units) is 30 pixels high here
    }
}

TEST(HpglWedges, EdgedAndFilledWedgesArePieSlices) {
    auto g = LoadPlot("IN;SP1;PU2000,2000;EW1000,0,90;FT3,100,45;PU5000,2000;WG1000,45,-90;EW-1000,0,90;WG500,10,400;");
    ASSERT_EQ(g->Elements().Count(), 4);
    const auto& edged = static_cast<const TPie&>(El(*g, 0));
    EXPECT_EQ(edged.Kind, ekPie);
    EXPECT_FALSE(edged.Filled);
    EXPECT_DOUBLE_EQ(edged.Sweep, 90);
    EXPECT_EQ(NodesOf(*g, 0), (std::vector<P>{P(1000, 1000), P(3000, 3000), P(3000, 2000), P(2000, 3000)}));
    EXPECT_EQ(edged.Extents, (THpExtents{2000, 3000, 3000, 2000})); // the centre and the quarter
    // Clockwise from 45 degrees: stored counter-clockwise from its end, through 0 degrees.
    const auto& filled = static_cast<const TPie&>(El(*g, 1));
    EXPECT_TRUE(filled.Filled);
    EXPECT_EQ(filled.FillKind, fkHatch);
    EXPECT_EQ(filled.FillLevel, 45);
    EXPECT_EQ(NodesOf(*g, 1), (std::vector<P>{P(4000, 1000), P(6000, 3000), P(5707, 1293), P(5707, 2707)}));
    EXPECT_EQ(filled.Extents, (THpExtents{5000, 2707, 6000, 1293}));
    // A negative radius starts on the other side.
    EXPECT_EQ(NodesOf(*g, 2), (std::vector<P>{P(4000, 1000), P(6000, 3000), P(4000, 2000), P(5000, 1000)}));
    // A full turn or more is the whole circle.
    EXPECT_DOUBLE_EQ(static_cast<const TArc&>(El(*g, 3)).Sweep, 360);
    EXPECT_EQ(El(*g, 3).Extents, (THpExtents{4500, 2500, 5500, 1500}));
    // The pen stays where it was.
    EXPECT_EQ(g->Interpreter().PenPosition(), P(5000, 2000));

    // Unequal user units: a slice of an ellipse, as chords.
    g = LoadPlot("IN;SP1;IP0,0,4000,2000;SC0,100,0,100;PU50,50;WG25,0,90;EW25,0,90;");
    ASSERT_EQ(g->Elements().Count(), 2);
    EXPECT_EQ(El(*g, 0).Kind, ekPolygon);
    EXPECT_EQ(NodesOf(*g, 0).size(), 20u); // the centre and 19 points of the arc
    EXPECT_EQ(El(*g, 0).Extents, (THpExtents{2000, 1500, 3000, 1000}));
    EXPECT_EQ(El(*g, 1).Kind, ekPolyline);
    const auto outline = NodesOf(*g, 1);
    EXPECT_EQ(outline.front(), P(2000, 1000));
    EXPECT_EQ(outline.back(), P(2000, 1000));
    EXPECT_EQ(outline[1], P(3000, 1000));
    EXPECT_EQ(outline[outline.size() - 2], P(2000, 1500));
}

TEST(HpglWedges, WedgesRenderAsPieSlices) {
    // About the middle of the frame, a quarter up and to the right: edged in red, filled in green.
    auto g = LoadPlot(kFrame + "SP2;PU2000,1500;EW1000,0,90;SP3;PU1500,1000;WG800,180,90;");
    const QImage image = RenderPlot(*g, 400, 300);
    auto at = [&](int x, int y) { const QPoint d = Dev(x, y); return Px(image, d.x(), d.y()); };
    EXPECT_TRUE(HasColorNear(image, Dev(2500, 1500).x(), Dev(2500, 1500).y(), kRed));   // a radius
    EXPECT_TRUE(HasColorNear(image, Dev(2000, 2000).x(), Dev(2000, 2000).y(), kRed));   // the other
    EXPECT_TRUE(HasColorNear(image, Dev(2707, 2207).x(), Dev(2707, 2207).y(), kRed));   // the arc at 45
    EXPECT_EQ(at(2300, 1800), kWhite);                                                   // inside: not filled
    EXPECT_EQ(at(1100, 800), kGreen);  // inside the filled slice (180 to 270 degrees about (1500, 1000))
    EXPECT_EQ(at(1900, 800), kWhite);  // beside it
    EXPECT_EQ(at(1100, 1200), kWhite); // above it
}
