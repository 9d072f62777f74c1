// Plot files written by independent tools (GNU plotutils, a PJL/HP-RTL generator script), the
// registry entries and the command line.
#include "HpglUtil.h"
#include "TestUtil.h"

#include "codec/Registry.h"

#include <QTemporaryDir>

namespace {

std::unique_ptr<THPGL2Graphic> LoadFixture(const QString& name) {
    auto g = std::make_unique<THPGL2Graphic>();
    g->LoadFromFileName(DataPath("hpgl/" + name));
    return g;
}

// Ink (any pixel clearly darker or more coloured than white) cropped to its bounding box and reduced to
// an n x n grid of cells that hold ink.
std::vector<bool> InkGrid(const QImage& source, int n) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    auto ink = [&](int x, int y) { return qGray(image.pixel(x, y)) < 200; };
    int left = image.width(), right = -1, top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (ink(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    std::vector<bool> grid(size_t(n * n), false);
    if (right < left) return grid;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            if (ink(x, y)) grid[size_t((y - top) * n / (bottom - top + 1) * n + (x - left) * n / (right - left + 1))] = true;
    return grid;
}

double Agreement(const std::vector<bool>& a, const std::vector<bool>& b) {
    int same = 0;
    for (size_t i = 0; i < a.size(); ++i) same += a[i] == b[i];
    return double(same) / double(a.size());
}

} // namespace

// The same chart written by GNU plotutils as HP-GL/2, HP-GL and PCL 5 (HP-GL/2 inside PCL escapes),
// compared with plotutils' own bitmap of it: ink in the same cells of a 24 x 24 grid over the drawing.
TEST(HpglFiles, PlotutilsChartsMatchTheirBitmap) {
    QImage reference(DataPath("hpgl/graph_reference.pbm"));
    ASSERT_FALSE(reference.isNull());
    const auto expected = InkGrid(reference, 24);
    for (const char* name : {"graph_hpgl2.hpgl", "graph_hpgl1.plt", "graph_pcl5.plt"}) {
        auto g = LoadFixture(QString::fromLatin1(name));
        EXPECT_TRUE(g->PlotReady());
        EXPECT_TRUE(g->ErrorCode() == heNone || g->ErrorCode() == heNoEnd) << name;
        const QImage image = RenderPlot(*g, 300, 300);
        const double agreement = Agreement(InkGrid(image, 24), expected);
        EXPECT_GE(agreement, 0.93) << name;
    }
    // The HP-GL/2 chart draws its data line with pen 2 in red, and no closing stroke back to the start.
    auto g = LoadFixture("graph_hpgl2.hpgl");
    const QImage image = RenderPlot(*g, 300, 300);
    EXPECT_GT(CountPixels(image, kRed), 300);
    int diagonal = 0;
    for (int i = 60; i < 240; i += 4) diagonal += Px(image, i, 300 - 1 - i) == kRed;
    EXPECT_LT(diagonal, 8);
}

// A driver-style job: PJL lines, HP-GL/2 vectors, an HP-RTL raster in PackBits and delta rows.
TEST(HpglFiles, PjlJobWithRtlRaster) {
    auto g = LoadFixture("rtl_pjl.plt");
    EXPECT_EQ(g->ErrorCode(), heNone); // ended by PG
    ASSERT_EQ(g->Elements().Count(), 4);
    EXPECT_EQ(g->Elements().Element(0).Kind, ekPolyline);
    EXPECT_EQ(g->Elements().Element(1).Kind, ekCircle);
    EXPECT_EQ(g->Elements().Element(1).LineColor, 0x0000FFu);
    ASSERT_EQ(g->Elements().Element(2).Kind, ekImage);
    EXPECT_EQ(g->Elements().Element(3).LineColor, 0x008000u);
    EXPECT_TRUE(g->Interpreter().HpglMode());

    // The raster as sent, turned a quarter: source (x, y) lands at (y, 39 - x).
    const QImage sent = QImage(DataPath("hpgl/rtl_pjl_raster.pbm")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(sent.size(), QSize(40, 24));
    const auto& image = static_cast<const THpImage&>(g->Elements().Element(2));
    QImage bits(image.Rec.Bits.size(), QImage::Format_RGB32);
    bits.fill(Qt::white);
    QPainter(&bits).drawImage(0, 0, image.Rec.Bits);
    ASSERT_EQ(bits.size(), QSize(24, 40));
    QImage turned(24, 40, QImage::Format_RGB32);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x) turned.setPixel(y, 39 - x, sent.pixel(x, y));
    EXPECT_TRUE(SamePixels(bits, turned));
    // Placed where the pen was when PCL mode was entered.
    EXPECT_NEAR(image.Extents.MinX, 500, 2); // through whole dots of 300 per inch
    EXPECT_NEAR(image.Extents.MinY, 500, 2);
}

TEST(HpglFiles, RegisteredExtensions) {
    for (const char* ext : {"hgl", "PLT", "hg", "hpg", "plo", "hpgl"})
        EXPECT_EQ(GraphicClassByExtension(QString::fromLatin1(ext)), THPGL2Graphic::StaticClass()) << ext;
    bool found = false;
    for (const auto& e : CentralFormats().Extensions())
        if (e.Extension == QLatin1String("HGL")) {
            found = true;
            EXPECT_EQ(CentralFormats().Classes()[size_t(e.ClassIndex)].Common, QStringLiteral("HPGL Graphic"));
            EXPECT_EQ(CentralFormats().Classes()[size_t(e.ClassIndex)].Count, 5);
        }
    EXPECT_TRUE(found);
    bool described = false;
    for (const auto& e : FileFormats().Entries())
        if (e.Extension == QLatin1String("hpgl")) described = e.Description == QStringLiteral("HPGL Graphic");
    EXPECT_TRUE(described);
}

TEST(HpglFiles, CommandLineRendersThroughDrawTo) {
    QTemporaryDir dir;
    const QString out = dir.filePath("plot.ppm");
    QString err;
    ASSERT_EQ(RunCli({"render", DataPath("hpgl/graph_hpgl2.hpgl"), out, "--size", "300x300"}, nullptr, &err), 0)
        << err.toStdString();
    const QImage cli(out);
    auto g = LoadFixture("graph_hpgl2.hpgl");
    EXPECT_TRUE(SamePixels(cli, RenderPlot(*g, 300, 300)));

    const QString plt = dir.filePath("line.plt");
    WriteFile(plt, "IN;SP2;PU0,0;PD1016,1016;PU;");
    QString info;
    ASSERT_EQ(RunCli({"info", plt}, &info), 0);
    EXPECT_TRUE(info.contains(QStringLiteral("THPGL2Graphic\t96x96"))) << info.toStdString();
    ASSERT_EQ(RunCli({"render", plt, out}), 0);
    EXPECT_EQ(QImage(out).size(), QSize(96, 96));

    // Conversion renders the plot at its own size.
    const QString converted = dir.filePath("converted.ppm");
    ASSERT_EQ(RunCli({"convert", plt, converted}, nullptr, &err), 0) << err.toStdString();
    const QImage image(converted);
    EXPECT_EQ(image.size(), QSize(96, 96));
    EXPECT_EQ(Px(image, 43, 43), kRed); // on the diagonal (pen 2) of the fitted 87 x 87 area

    WriteFile(plt, "garbage without a drawing");
    EXPECT_EQ(RunCli({"render", plt, out}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Empty element list"))) << err.toStdString();
}
