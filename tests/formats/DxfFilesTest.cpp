// DXF files written by an independent writer (ezdxf; see tests/data/dxf/make.py), truncated files, and the
// command line.
#include "DxfTestUtil.h"
#include "TestUtil.h"

#include "formats/cad/DXF_read.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace dxftest;

namespace {

std::unique_ptr<TDXFImage> LoadFixture(const char* name) {
    auto g = std::make_unique<TDXFImage>();
    g->LoadFromFileName(DataPath(QStringLiteral("dxf/") + QLatin1String(name)));
    return g;
}

int Count(const TDXFImage& g, const char* list) {
    int n = 0;
    for (const auto& line : g.Index())
        if (line.List && line.List->Name() == QLatin1String(list)) n += line.List->Count();
    return n;
}

// Pixel of a drawing point after the last DrawTo.
QPoint Map(const TDXFImage& g, double x, double y) {
    return QPoint(int(std::nearbyint((x - g.ViewLeft()) * g.ViewScale())), int(std::nearbyint((g.ViewTop() - y) * g.ViewScale())));
}
bool At(const QImage& img, const TDXFImage& g, double x, double y, int r = 1) {
    const QPoint p = Map(g, x, y);
    return DrawnNear(img, p.x(), p.y(), r);
}
QRgb ColourAt(const QImage& img, const TDXFImage& g, double x, double y) {
    const QPoint p = Map(g, x, y);
    return ColourNear(img, p.x(), p.y());
}

const QSize kSize(400, 400);

} // namespace

TEST(DxfFiles, EzdxfR12) {
    const auto g = LoadFixture("ezdxf_r12.dxf");
    EXPECT_EQ(Count(*g, "Line_"), 2);
    EXPECT_EQ(Count(*g, "Circle_"), 1);
    EXPECT_EQ(Count(*g, "Arc_"), 1);
    EXPECT_EQ(Count(*g, "Solid_"), 1);
    EXPECT_EQ(Count(*g, "Face3D_"), 1);
    EXPECT_EQ(Count(*g, "Polyline_"), 1);
    EXPECT_EQ(Count(*g, "Insert_"), 1);
    EXPECT_TRUE(g->Drawing()->Messages().isEmpty()) << g->Drawing()->Messages().join('|').toStdString();
    // The header holds the empty-drawing sentinels: the extents are the entities'.
    EXPECT_EQ(g->ExtentsMin(), (Point3D{0, 0, 0}));
    EXPECT_EQ(g->Width(), 100);
    EXPECT_EQ(g->Height(), 104); // the block's circle, scaled and turned, reaches y = 104
    const QImage img = Render(*g, kSize);
    EXPECT_EQ(ColourAt(img, *g, 50, 0), qRgb(255, 0, 0));   // layer RED
    EXPECT_EQ(ColourAt(img, *g, 0, 50), qRgb(0, 255, 0));   // layer GREEN
    EXPECT_EQ(ColourAt(img, *g, 70, 50), qRgb(255, 0, 0));  // colour 1
    EXPECT_EQ(ColourAt(img, *g, 50 + 30 * M_SQRT1_2, 50 + 30 * M_SQRT1_2), qRgb(0, 255, 0));
    EXPECT_EQ(ColourAt(img, *g, 80, 10), qRgb(0, 0, 255));  // solid outline
    EXPECT_FALSE(At(img, *g, 80, 15, 2));                   // no diagonal inside the solid
    EXPECT_TRUE(At(img, *g, 20, 40));                       // the bulge's arc top
    EXPECT_FALSE(At(img, *g, 20, 30, 2));                   // no chord
    EXPECT_TRUE(At(img, *g, 60, 90));                       // block turned by 90 degrees, scaled 2
    EXPECT_FALSE(At(img, *g, 70, 80, 2));
    EXPECT_TRUE(At(img, *g, 60, 104));                      // top of the block's circle
}

TEST(DxfFiles, EzdxfR2000) {
    const auto g = LoadFixture("ezdxf_r2000.dxf");
    EXPECT_EQ(Count(*g, "LwPolyline_"), 1);
    EXPECT_EQ(Count(*g, "Ellipse_"), 2);
    EXPECT_EQ(Count(*g, "Spline_"), 1);
    EXPECT_EQ(Count(*g, "MText_"), 1);
    EXPECT_EQ(Count(*g, "Hatch_"), 1);
    EXPECT_EQ(Count(*g, "Dimension_"), 1);
    EXPECT_TRUE(g->Drawing()->Messages().isEmpty()) << g->Drawing()->Messages().join('|').toStdString();
    const QImage img = Render(*g, kSize);
    EXPECT_EQ(ColourAt(img, *g, 30, 10), qRgb(255, 0, 0)); // slot side
    EXPECT_TRUE(At(img, *g, 45, 15));                      // its right end, a half circle
    EXPECT_FALSE(At(img, *g, 40, 15, 2));
    EXPECT_EQ(ColourAt(img, *g, 85, 20), qRgb(0, 0, 255)); // full ellipse
    EXPECT_TRUE(At(img, *g, 70, 27.5));
    EXPECT_TRUE(At(img, *g, 65, 50));                      // the half ellipse, left of its major axis
    EXPECT_FALSE(At(img, *g, 75, 50, 2));
    EXPECT_TRUE(At(img, *g, 20, 55));                      // spline through its fit points
    EXPECT_TRUE(At(img, *g, 30, 40));
    EXPECT_EQ(ColourAt(img, *g, 75, 70), qRgb(255, 255, 0)); // hatch boundary
    EXPECT_FALSE(At(img, *g, 75, 80, 2));
    EXPECT_TRUE(At(img, *g, 25, 70));                      // dimension line from its block
    const QPoint m = Map(*g, 10, 90);
    EXPECT_GT(CountDrawn(img, QRect(m.x(), m.y(), 60, 30)), 30); // MTEXT
    const QImage filled = Render(*g, kSize, Options(false, true, true, 1));
    EXPECT_TRUE(At(filled, *g, 75, 80, 0));
}

TEST(DxfFiles, EzdxfR2018) {
    const auto g = LoadFixture("ezdxf_r2018.dxf");
    EXPECT_EQ(Count(*g, "Insert_"), 2);
    EXPECT_EQ(Count(*g, "Hatch_"), 1);
    EXPECT_EQ(Count(*g, "Text_"), 1);
    EXPECT_EQ(Count(*g, "Circle_"), 1);
    EXPECT_TRUE(g->Drawing()->Messages().isEmpty()) << g->Drawing()->Messages().join('|').toStdString();
    EXPECT_EQ(g->ExtentsMin().x, 15);
    EXPECT_EQ(g->ExtentsMax().x, 85);
    const QImage img = Render(*g, kSize);
    EXPECT_TRUE(At(img, *g, 15, 20));  // block with base point (5, 5) at (20, 20)
    EXPECT_TRUE(At(img, *g, 85, 20));  // mirrored copy at (80, 20)
    EXPECT_FALSE(At(img, *g, 75 - 1.5, 20, 1));
    EXPECT_EQ(ColourAt(img, *g, 50, 50), qRgb(255, 0, 0)); // hatch arc edge top
    EXPECT_TRUE(At(img, *g, 45, 40));
    EXPECT_FALSE(At(img, *g, 50, 45, 2));
    const QPoint t = Map(*g, 40, 70);
    EXPECT_GT(CountDrawn(img, QRect(t.x() - 12, t.y() - 40, 12, 40)), 20); // text turned upwards
    const QImage filled = Render(*g, kSize, Options(false, true, true, 1));
    EXPECT_TRUE(At(filled, *g, 50, 45, 0));
}

TEST(DxfFiles, TruncatedFilesLoadOrFailCleanly) {
    QList<QByteArray> files;
    for (const char* name : {"ezdxf_r12.dxf", "ezdxf_r2000.dxf", "ezdxf_r2018.dxf"})
        files << ReadFile(DataPath(QStringLiteral("dxf/") + QLatin1String(name)));
    files << File(Frame() + Pairs({{0, "POLYLINE"}, {8, "0"}, {66, "1"}, {70, "64"}, {0, "VERTEX"}, {8, "0"}, {70, "192"},
                                   {0, "VERTEX"}, {8, "0"}, {70, "128"}, {71, "1"}, {72, "9"}, {0, "SEQEND"},
                                   {0, "INSERT"}, {8, "0"}, {2, "A"}, {66, "1"}, {0, "ATTRIB"}, {1, "x"}, {0, "SEQEND"}}),
                  Block("A", Pairs({{0, "INSERT"}, {8, "0"}, {2, "A"}, {0, "LWPOLYLINE"}, {10, "1"}, {42, "1"}, {10, "2"}})));
    QElapsedTimer timer;
    timer.start();
    int loads = 0, failures = 0;
    for (const QByteArray& file : files) {
        const int step = std::max<int>(1, file.size() / 150);
        // Until the first section has begun the bytes are not a DXF file yet.
        const qsizetype firstSection = file.indexOf("SECTION") + qsizetype(sizeof("SECTION"));
        for (int cut = 0; cut < file.size(); cut += (cut < 80 ? 1 : step)) {
            try {
                const auto g = Load(file.left(cut));
                ASSERT_FALSE(g->IsEmpty()) << cut;
                EXPECT_GE(cut, firstSection - 1); // the word SECTION without its line end may count
                Render(*g, QSize(64, 64));
                ++loads;
            } catch (const EInvalidGraphic& e) {
                EXPECT_LT(cut, firstSection) << e.Message().toStdString();
                ++failures;
            }
        }
    }
    EXPECT_GT(loads, 500);
    EXPECT_GE(failures, 4 * 10); // a truncated DXF keeps what was read before the cut
    EXPECT_LT(timer.elapsed(), 60000);
}

TEST(DxfFiles, CommandLineRendersADrawing) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("drawing.ppm"));
    QString stdOut, stdErr;
    ASSERT_EQ(RunCli({QStringLiteral("render"), DataPath(QStringLiteral("dxf/ezdxf_r12.dxf")), out, QStringLiteral("--size"),
                      QStringLiteral("1600x1200")},
                     &stdOut, &stdErr),
              0)
        << stdErr.toStdString();
    QImage image(out);
    ASSERT_EQ(image.size(), QSize(1600, 1200));
    // Compared with the same drawing rendered in-process.
    const auto g = LoadFixture("ezdxf_r12.dxf");
    EXPECT_TRUE(SamePixels(image, g->ToImage(QSize(1600, 1200), 0xFFFFFF)));
    ASSERT_EQ(RunCli({QStringLiteral("info"), DataPath(QStringLiteral("dxf/ezdxf_r12.dxf"))}, &stdOut), 0);
    EXPECT_TRUE(stdOut.contains(QStringLiteral("\tTDXFImage\t100x104\tpages=1\tframes=1"))) << stdOut.toStdString();
}
