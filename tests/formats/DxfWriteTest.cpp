// The entity interface beyond drawing: writing entities back as DXF groups, and the editing operations.
#include "DxfTestUtil.h"
#include "TestUtil.h"

#include "formats/cad/DXF_Utils.h"

using namespace dxftest;

namespace {

// Every entity of the drawing written again: block definitions first, then the layers' entities.
QByteArray WriteAgain(const TDXFImage& g) {
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    auto section = [&](bool blocks) {
        out.write(blocks ? "0\nSECTION\n2\nBLOCKS\n" : "0\nSECTION\n2\nENTITIES\n");
        for (const auto& line : g.Index())
            if (line.List && (line.List->Name() == QLatin1String("Block_")) == blocks)
                for (const auto& e : line.List->Entities()) e->WriteGroups(out, line.Layer->Name());
        out.write("0\nENDSEC\n");
    };
    section(true);
    section(false);
    out.write("0\nEOF\n");
    return bytes;
}

} // namespace

TEST(DxfWrite, EntitiesWrittenAndReadBackDrawTheSame) {
    const QByteArray blocks = Block("B", Pairs({{0, "CIRCLE"}, {8, "0"}, {62, "3"}, {10, "2"}, {20, "0"}, {40, "3"},
                                                {0, "ATTDEF"}, {8, "0"}, {10, "0"}, {20, "-4"}, {40, "2"}, {1, "d"}, {2, "TAG"}, {3, "Tag?"}}),
                                    "1", "1");
    const QByteArray entities =
        Frame() +
        Pairs({{0, "LINE"}, {8, "L1"}, {62, "1"}, {10, "5"}, {20, "5"}, {11, "40"}, {21, "20"},
               {0, "ARC"}, {8, "L1"}, {10, "30"}, {20, "30"}, {40, "10"}, {50, "200"}, {51, "20"}, {210, "0"}, {220, "0"}, {230, "-1"},
               {0, "TEXT"}, {8, "L2"}, {10, "50"}, {20, "90"}, {40, "5"}, {50, "15"}, {72, "1"}, {11, "50"}, {21, "90"}, {1, "Ab"},
               {0, "LWPOLYLINE"}, {8, "L2"}, {90, "3"}, {70, "1"}, {10, "60"}, {20, "10"}, {42, "0.5"}, {10, "80"}, {20, "10"}, {10, "80"}, {20, "30"},
               {0, "POLYLINE"}, {8, "L2"}, {66, "1"}, {70, "0"}, {0, "VERTEX"}, {8, "L2"}, {10, "10"}, {20, "60"}, {42, "-0.4"},
               {0, "VERTEX"}, {8, "L2"}, {10, "30"}, {20, "70"}, {0, "SEQEND"},
               {0, "SOLID"}, {8, "L3"}, {10, "85"}, {20, "50"}, {11, "95"}, {21, "50"}, {12, "85"}, {22, "60"}, {13, "95"}, {23, "60"},
               {0, "3DFACE"}, {8, "L3"}, {10, "85"}, {20, "70"}, {11, "95"}, {21, "70"}, {12, "90"}, {22, "80"}, {13, "90"}, {23, "80"},
               {0, "ELLIPSE"}, {8, "L3"}, {10, "50"}, {20, "50"}, {11, "10"}, {21, "5"}, {40, "0.4"}, {41, "0.5"}, {42, "5"},
               {0, "MTEXT"}, {8, "L3"}, {10, "5"}, {20, "98"}, {40, "3"}, {71, "1"}, {1, "one\\Ptwo"},
               {0, "SPLINE"}, {8, "L4"}, {70, "8"}, {71, "3"}, {74, "4"}, {11, "40"}, {21, "40"}, {11, "45"}, {21, "50"}, {11, "50"}, {21, "40"},
               {11, "55"}, {21, "50"},
               {0, "POLYLINE"}, {8, "L4"}, {66, "1"}, {70, "16"}, {71, "2"}, {72, "2"}, {0, "VERTEX"}, {10, "60"}, {20, "60"}, {70, "64"},
               {0, "VERTEX"}, {10, "60"}, {20, "70"}, {70, "64"}, {0, "VERTEX"}, {10, "70"}, {20, "60"}, {70, "64"},
               {0, "VERTEX"}, {10, "72"}, {20, "72"}, {70, "64"}, {0, "SEQEND"},
               {0, "POLYLINE"}, {8, "L4"}, {66, "1"}, {70, "64"}, {0, "VERTEX"}, {10, "20"}, {20, "80"}, {70, "192"},
               {0, "VERTEX"}, {10, "30"}, {20, "80"}, {70, "192"}, {0, "VERTEX"}, {10, "25"}, {20, "88"}, {70, "192"},
               {0, "VERTEX"}, {70, "128"}, {71, "1"}, {72, "2"}, {73, "3"}, {0, "SEQEND"},
               {0, "HATCH"}, {8, "L5"}, {10, "0"}, {20, "0"}, {30, "0"}, {70, "1"}, {91, "1"}, {92, "2"}, {72, "0"}, {73, "1"}, {93, "3"},
               {10, "40"}, {20, "75"}, {10, "50"}, {20, "75"}, {10, "45"}, {20, "85"}, {97, "0"},
               {0, "INSERT"}, {8, "L5"}, {66, "1"}, {2, "B"}, {10, "70"}, {20, "85"}, {41, "1.5"}, {50, "30"},
               {0, "ATTRIB"}, {8, "L5"}, {10, "70"}, {20, "80"}, {40, "2"}, {1, "val"}, {2, "TAG"}, {70, "0"}, {0, "SEQEND"}});
    const auto original = Load(File(entities, blocks));
    const QByteArray written = WriteAgain(*original);
    const auto again = Load(written);
    ASSERT_FALSE(again->IsEmpty());
    EXPECT_TRUE(again->Drawing()->Messages().isEmpty()) << again->Drawing()->Messages().join('|').toStdString();
    ASSERT_EQ(original->Index().size(), again->Index().size());
    for (quint32 options : {kDefaultOptions, Options(true, true, false, 2)}) {
        const QImage a = Render(*original, QSize(301, 301), options);
        const QImage b = Render(*again, QSize(301, 301), options);
        EXPECT_TRUE(SamePixels(b, a)) << options;
    }
}

TEST(DxfWrite, EditingOperations) {
    Line_ line({0.26, 1.74, 0}, 1, {10, 10, 0});
    EXPECT_EQ(line.PointCount(), 2);
    EXPECT_EQ(line.SegmentCount(), 1);
    EXPECT_EQ(line.DxfTypeName(), QStringLiteral("LINE"));
    line.SnapToGrid(1, 2); // x only, to halves
    EXPECT_EQ(line.Position(), (Point3D{0.5, 1.74, 0}));
    EXPECT_DOUBLE_EQ(line.NearestVertexDistance2({9, 10, 5}), 1.0);
    EXPECT_EQ(line.NearestVertex({9, 10, 5}), (Point3D{10, 10, 0}));
    EXPECT_TRUE(line.ReplaceVertex({10, 10, 0}, {20, 0, 0}));
    EXPECT_FALSE(line.ReplaceVertex({10, 10, 0}, {20, 0, 0}));
    EXPECT_EQ(line.End(), (Point3D{20, 0, 0}));
    line.Offset({1, 1, 1});
    EXPECT_EQ(line.Describe(), QStringLiteral("LINE\nColour 1\n1.5, 2.74, 1\n21, 1, 1"));
    line.SetDisplayColour(0x808080);
    EXPECT_EQ(line.ColourNumber(), 12);

    const Polyline_ square({0, 0, 1}, false, 0, {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {0, 0, 0}});
    EXPECT_EQ(square.ClosedCount(), 1); // first and last equal: closed, one point fewer
    EXPECT_EQ(square.PointCount(), 4);
    EXPECT_TRUE(square.Contains2D({5, 5, 0}));
    EXPECT_FALSE(square.Contains2D({15, 5, 0}));
    EXPECT_EQ(square.DxfTypeName(), QStringLiteral("POLYLINE"));
    const Circle_ circle({0, 0, 1}, 0, 2, {1, 1, 0});
    EXPECT_TRUE(circle.Contains2D({2, 2, 0}));
    EXPECT_FALSE(circle.Contains2D({3, 3, 0}));
    EXPECT_EQ(Face3D_(3, true, 0, std::vector<Point3D>(4).data()).DxfTypeName(), QStringLiteral("3DFACE"));
}

TEST(DxfWrite, GeometryHelpers) {
    // Rotation is counter-clockwise; the product applies its left operand first.
    const Point3D p = Point3D{1, 0, 0} * (ScaleMatrix({2, 1, 1}) * RotationMatrix(M_PI / 2) * TranslationMatrix({5, 5, 0}));
    EXPECT_NEAR(p.x, 5, 1e-12);
    EXPECT_NEAR(p.y, 7, 1e-12);
    Point3D ax, ay;
    ArbitraryAxes({0, 0, -1}, ax, ay);
    EXPECT_EQ(ax, (Point3D{-1, 0, 0}));
    EXPECT_EQ(ay, (Point3D{0, 1, 0}));
    Matrix4 scratch;
    const Matrix4 own = TranslationMatrix({1, 0, 0});
    EXPECT_EQ(Combine(&own, nullptr, scratch), &own);
    EXPECT_EQ(Combine(nullptr, nullptr, scratch), nullptr);
    EXPECT_EQ(Cross({1, 0, 0}, {0, 1, 0}), (Point3D{0, 0, 1}));
    EXPECT_DOUBLE_EQ(Distance2D({0, 0, 5}, {3, 4, 0}), 5.0);
    EXPECT_EQ(DxfColourOf(-14), 0x0000FFu);
    EXPECT_EQ(DxfColourOf(256), 0xFF00FFu);
    EXPECT_EQ(DxfColourOf(7), 0x000000u);
    EXPECT_EQ(DecodeMText(QStringLiteral("{\\fArial|b1;A}\\Pb\\~c\\S1#4;\\\\")), (QStringList{"A", "b c1/4\\"}));
}
