// The DXF reader: tolerance of the many writers, its limits and messages, extents, and the load paths.
#include "DxfTestUtil.h"
#include "TestUtil.h"

#include "formats/cad/DXF_read.h"

#include <QTemporaryDir>

using namespace dxftest;

namespace {

struct TRead {
    std::vector<std::unique_ptr<DXF_Layer>> Layers;
    Point3D Min, Max;
    QStringList Messages;
    int Count(const char* list) const {
        int n = 0;
        for (const auto& l : Layers)
            for (int i = 0; i < l->ListCount(); ++i)
                if (l->List(i).Name() == QLatin1String(list)) n += l->List(i).Count();
        return n;
    }
    const DXF_Entity* First(const char* list) const {
        for (const auto& l : Layers)
            for (int i = 0; i < l->ListCount(); ++i)
                if (l->List(i).Name() == QLatin1String(list) && l->List(i).Count()) return l->List(i).Entities()[0].get();
        return nullptr;
    }
};

TRead Read(const QByteArray& data) {
    DXF_Reader reader(data);
    EXPECT_TRUE(reader.ReadFile());
    TRead r;
    r.Min = reader.ExtentsMin();
    r.Max = reader.ExtentsMax();
    r.Messages = reader.Messages();
    r.Layers = reader.TakeLayers();
    return r;
}

QByteArray Line(const char* x1, const char* y1, const char* x2, const char* y2) {
    return Pairs({{0, "LINE"}, {8, "0"}, {10, x1}, {20, y1}, {11, x2}, {21, y2}});
}

QString At(const QString& message, int line) {
    return message + QStringLiteral("\r\nError occured at or near line number ") + QString::number(line);
}

} // namespace

TEST(DxfRead, OnlyTheEndOfFile) {
    const TRead r = Read(Pairs({{0, "EOF"}}));
    EXPECT_TRUE(r.Layers.empty());
    EXPECT_EQ(r.Min, Point3D());
    EXPECT_EQ(r.Max, Point3D());
    EXPECT_TRUE(r.Messages.isEmpty());
}

TEST(DxfRead, ADrawingWithNothingToDrawIsBlank) {
    // Only the end-of-file marker, and sections without entities: a blank drawing of 1 x 1.
    for (const QByteArray& data : {Pairs({{0, "EOF"}}), File(QByteArray()),
                                   Section("TABLES", QByteArray()) + Pairs({{0, "EOF"}})}) {
        const auto g = Load(data);
        EXPECT_FALSE(g->IsEmpty()) << data.toStdString();
        EXPECT_EQ(g->Drawing(), nullptr);
        EXPECT_EQ(g->Width(), 1);
        EXPECT_EQ(g->Height(), 1);
        const QImage image = g->ToImage(QSize(), 0xFFFFFF);
        ASSERT_EQ(image.size(), QSize(1, 1));
        EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));
    }
    // A blank sheet whose header gives its extents has that size, and draws nothing but its background.
    const auto sheet = Load(File(QByteArray(), {},
                                 Pairs({{9, "$EXTMIN"}, {10, "0"}, {20, "0"}, {30, "0"}, {9, "$EXTMAX"}, {10, "420"}, {20, "297"}, {30, "0"}})));
    EXPECT_FALSE(sheet->IsEmpty());
    EXPECT_EQ(sheet->Width(), 420);
    EXPECT_EQ(sheet->Height(), 297);
    const QImage drawn = Render(*sheet, QSize(64, 48));
    EXPECT_EQ(CountDrawn(drawn, drawn.rect()), 0);
    // A later file merged into the blank drawing shows, within the union of the extents.
    QTemporaryDir dir;
    const QString lines = dir.filePath(QStringLiteral("lines.dxf"));
    WriteFile(lines, File(Line("100", "100", "500", "200")));
    sheet->LoadFromFileName(lines);
    ASSERT_NE(sheet->Drawing(), nullptr);
    EXPECT_EQ(sheet->Width(), 500);
    EXPECT_EQ(sheet->Height(), 297);
}

TEST(DxfRead, BytesWithoutAnySectionAreNotADrawing) {
    for (const QByteArray& data : {QByteArray(), QByteArray("hello\n"), QByteArray("0\nLINE\n8\n0\n"), QByteArray("999\ncomment\n")}) {
        try {
            Load(data);
            ADD_FAILURE() << data.toStdString();
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("The file holds no DXF sections"));
        }
    }
    // Refused on a merge too: the drawing held stays as it was.
    auto g = Load(File(Line("0", "0", "10", "10")));
    QByteArray none("0\nLINE\n");
    QBuffer buffer(&none);
    buffer.open(QIODevice::ReadOnly);
    EXPECT_THROW(g->LoadFromStream(buffer), EInvalidGraphic);
    EXPECT_EQ(g->Width(), 10);
    EXPECT_FALSE(g->Index().empty());
}

TEST(DxfRead, AnEmptyDrawingOpensInTheCommandLine) {
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.dxf")), out = dir.filePath(QStringLiteral("empty.png"));
    WriteFile(empty, Section("ENTITIES", QByteArray()) + Pairs({{0, "EOF"}}));
    QString stdOut, stdErr;
    ASSERT_EQ(RunCli({QStringLiteral("info"), empty}, &stdOut), 0);
    EXPECT_TRUE(stdOut.contains(QStringLiteral("\tTDXFImage\t1x1\t"))) << stdOut.toStdString();
    ASSERT_EQ(RunCli({QStringLiteral("render"), empty, out, QStringLiteral("--size"), QStringLiteral("20x10")}, &stdOut, &stdErr), 0)
        << stdErr.toStdString();
    const QImage image(out);
    ASSERT_EQ(image.size(), QSize(20, 10));
    EXPECT_EQ(image.pixel(10, 5), qRgb(255, 255, 255));
}

TEST(DxfRead, LineEndingsSpacesAndCaseReadTheSame) {
    const QByteArray lf = File(Line("1", "2", "3", "4"));
    QByteArray crlf = lf;
    crlf.replace("\n", "\r\n");
    QByteArray cr = lf;
    cr.replace('\n', '\r');
    QByteArray spaced = lf;
    spaced.replace("\n10\n", "\n  10  \n").replace("\n21\n", "\n 21\n");
    const QByteArray lower = QByteArray("  0\nsection\n  2\nentities\n  0\nline\n  8\n0\n 10\n1.0\n 20\n+2\n 11\n3e0\n 21\n.4e1\n  0\nendsec\n  0\neof\n");
    for (const QByteArray& data : {lf, crlf, cr, spaced, lower}) {
        const TRead r = Read(data);
        ASSERT_EQ(r.Count("Line_"), 1) << data.toStdString();
        const auto* line = static_cast<const Line_*>(r.First("Line_"));
        EXPECT_EQ(line->Position(), (Point3D{1, 2, 0}));
        EXPECT_EQ(line->End(), (Point3D{3, 4, 0}));
        EXPECT_TRUE(r.Messages.isEmpty()) << r.Messages.join('|').toStdString();
    }
}

TEST(DxfRead, SectionsByNameWithNewerWritersRecords) {
    // CLASSES before TABLES, OBJECTS and THUMBNAILIMAGE after ENTITIES, handles and subclass markers,
    // a layer whose name comes after them, application data with codes of its own, extended data.
    QByteArray data = Section("HEADER", Pairs({{9, "$ACADVER"}, {1, "AC1032"}})) +
                      Section("CLASSES", Pairs({{0, "CLASS"}, {1, "ACDBDICTIONARYWDFLT"}, {90, "0"}})) +
                      Section("TABLES", Pairs({{0, "TABLE"}, {2, "VPORT"}, {5, "8"}, {330, "0"}, {100, "AcDbSymbolTable"}, {70, "1"},
                                               {0, "VPORT"}, {5, "29"}, {330, "8"}, {100, "AcDbSymbolTableRecord"}, {2, "*Active"}, {70, "0"},
                                               {0, "ENDTAB"},
                                               {0, "TABLE"}, {2, "LAYER"}, {5, "2"}, {100, "AcDbSymbolTable"}, {70, "1"},
                                               {0, "LAYER"}, {5, "10"}, {330, "2"}, {100, "AcDbSymbolTableRecord"},
                                               {100, "AcDbLayerTableRecord"}, {2, "Walls"}, {70, "0"}, {62, "1"}, {6, "CONTINUOUS"},
                                               {0, "ENDTAB"}})) +
                      Section("ENTITIES", Pairs({{0, "Line"}, {5, "2F"}, {102, "{ACAD_REACTORS"}, {10, "999"}, {102, "}"},
                                                 {330, "1F"}, {100, "AcDbEntity"}, {8, "Walls"}, {100, "AcDbLine"},
                                                 {10, "1"}, {20, "1"}, {30, "0"}, {11, "2"}, {21, "2"}, {31, "0"},
                                                 {1001, "APP"}, {1010, "7"}, {1020, "7"},
                                                 {0, "WIPEOUT"}, {8, "0"}, {10, "500"}, {20, "500"},
                                                 {0, "CIRCLE"}, {8, "Walls"}, {10, "5"}, {20, "5"}, {40, "1"}})) +
                      Section("OBJECTS", Pairs({{0, "DICTIONARY"}, {5, "C"}})) +
                      Section("THUMBNAILIMAGE", Pairs({{90, "3"}, {310, "0102"}})) + Pairs({{0, "EOF"}});
    const TRead r = Read(data);
    ASSERT_EQ(r.Layers.size(), 1u);
    EXPECT_EQ(r.Layers[0]->Name(), QStringLiteral("Walls"));
    EXPECT_EQ(r.Count("Line_"), 1);
    EXPECT_EQ(r.Count("Circle_"), 1);
    EXPECT_EQ(r.First("Line_")->DisplayColour(), 0x0000FFu); // by layer: red
    EXPECT_EQ(static_cast<const Line_*>(r.First("Line_"))->Position(), (Point3D{1, 1, 0}));
    EXPECT_EQ(r.Max.x, 6); // the unknown entity does not count
    EXPECT_TRUE(r.Messages.isEmpty()) << r.Messages.join('|').toStdString();
}

TEST(DxfRead, BadNumbersDropOneEntityWithTheLineNumber) {
    const QByteArray data = File(Line("1", "1", "2", "2") + Line("x", "1", "2", "2") +
                                 Pairs({{0, "CIRCLE"}, {8, "0"}, {10, "1"}, {20, "1"}, {40, "1"}, {62, "red"}}) + Line("3", "3", "4", "4"));
    const TRead r = Read(data);
    EXPECT_EQ(r.Count("Line_"), 2);
    EXPECT_EQ(r.Count("Circle_"), 0);
    ASSERT_EQ(r.Messages.size(), 2);
    // Lines: 4 of the section head, 12 per LINE; the bad value of the second line is line 4 + 12 + 6.
    EXPECT_EQ(r.Messages[0], At(QStringLiteral("Invalid Floating point conversion"), 22));
    EXPECT_EQ(r.Messages[1], At(QStringLiteral("Invalid Integer conversion"), 40));
    EXPECT_EQ(DXF_read_exception(QStringLiteral("m"), -1).Message(), QStringLiteral("m"));
}

TEST(DxfRead, PolylineVertexLimitAndMeshes) {
    auto polyline = [](int n) {
        QByteArray r = Pairs({{0, "POLYLINE"}, {8, "0"}, {66, "1"}, {70, "0"}});
        for (int i = 0; i < n; ++i) {
            const QByteArray x = QByteArray::number(i);
            r += "0\nVERTEX\n8\n0\n10\n" + x + "\n20\n" + QByteArray::number(i % 2) + "\n";
        }
        return r + Pairs({{0, "SEQEND"}});
    };
    const TRead ok = Read(File(polyline(8192)));
    ASSERT_EQ(ok.Count("Polyline_"), 1);
    EXPECT_EQ(ok.First("Polyline_")->PointCount(), 8192);
    const TRead over = Read(File(polyline(8193) + Line("0", "0", "1", "1")));
    EXPECT_EQ(over.Count("Polyline_"), 0);
    EXPECT_EQ(over.Count("Line_"), 1);
    ASSERT_EQ(over.Messages.size(), 1);
    EXPECT_TRUE(over.Messages[0].startsWith(QStringLiteral("Polyline contained more than 8192 vertices\r\n")));

    // A polygon mesh of 3 x 4 with 11 vertices gives nothing; with 12 a mesh.
    auto mesh = [](int vertices) {
        QByteArray r = Pairs({{0, "POLYLINE"}, {8, "0"}, {66, "1"}, {70, "16"}, {71, "3"}, {72, "4"}});
        for (int i = 0; i < vertices; ++i)
            r += "0\nVERTEX\n8\n0\n10\n" + QByteArray::number(i % 4) + "\n20\n" + QByteArray::number(i / 4) + "\n70\n64\n";
        return r + Pairs({{0, "SEQEND"}});
    };
    EXPECT_EQ(Read(File(mesh(11))).Count("Polygon_mesh_"), 0);
    EXPECT_TRUE(Read(File(mesh(11))).Messages.isEmpty());
    EXPECT_EQ(Read(File(mesh(12))).Count("Polygon_mesh_"), 1);

    // A polyface mesh whose face names a vertex that does not exist draws the rest.
    const QByteArray face = Pairs({{0, "POLYLINE"}, {8, "0"}, {66, "1"}, {70, "64"}, {71, "3"}, {72, "1"},
                                   {0, "VERTEX"}, {8, "0"}, {10, "0"}, {20, "0"}, {70, "192"},
                                   {0, "VERTEX"}, {8, "0"}, {10, "10"}, {20, "0"}, {70, "192"},
                                   {0, "VERTEX"}, {8, "0"}, {10, "0"}, {20, "10"}, {70, "192"},
                                   {0, "VERTEX"}, {8, "0"}, {10, "0"}, {20, "0"}, {70, "128"}, {71, "1"}, {72, "-2"}, {73, "3"}, {74, "99"},
                                   {0, "SEQEND"}});
    const TRead pf = Read(File(face));
    ASSERT_EQ(pf.Count("Polyface_mesh_"), 1);
    const auto* mesh3 = static_cast<const Polyface_mesh_*>(pf.First("Polyface_mesh_"));
    EXPECT_EQ(mesh3->Faces()[0], (Polyface_mesh_::TFace{0, 1, 2, 98}));
    const QImage img = Render(File(Frame() + face));
    EXPECT_TRUE(DrawnNear(img, 10, 200));
}

TEST(DxfRead, InsertAttributesScaleAndUndefinedBlocks) {
    const QByteArray blocks = Block("B", Line("0", "0", "1", "0"));
    const QByteArray insert = Pairs({{0, "INSERT"}, {8, "0"}, {66, "1"}, {2, "B"}, {10, "5"}, {20, "5"}, {41, "0"}, {42, "2"},
                                     {0, "ATTRIB"}, {8, "0"}, {10, "1"}, {20, "1"}, {40, "1"}, {1, "one"}, {2, "T1"}, {70, "0"},
                                     {0, "ATTRIB"}, {8, "0"}, {10, "2"}, {20, "2"}, {40, "1"}, {1, "two"}, {2, "T2"}, {70, "1"},
                                     {0, "SEQEND"}, {8, "0"}});
    const TRead r = Read(File(insert + Line("7", "7", "8", "8") +
                              Pairs({{0, "INSERT"}, {8, "0"}, {2, "NOWHERE"}, {10, "0"}, {20, "0"}}), blocks));
    ASSERT_EQ(r.Count("Insert_"), 1);
    const auto* in = static_cast<const Insert_*>(r.First("Insert_"));
    EXPECT_EQ(in->Scale(), (Point3D{1, 2, 1}));
    ASSERT_EQ(in->Attributes().size(), 2u);
    EXPECT_EQ(in->Attributes()[0]->Value(), QStringLiteral("one"));
    EXPECT_TRUE(in->Attributes()[0]->Visible());
    EXPECT_FALSE(in->Attributes()[1]->Visible());
    ASSERT_NE(in->Block(), nullptr);
    EXPECT_EQ(in->Block()->Name(), QStringLiteral("B"));
    EXPECT_EQ(r.Count("Line_"), 1);
    ASSERT_EQ(r.Messages.size(), 1);
    EXPECT_TRUE(r.Messages[0].startsWith(QStringLiteral(
        "Cannot reference an undefined BLOCK\r\n\r\n(File may not have been saved with BLOCKs)\r\n\r\nError occured")));
}

TEST(DxfRead, FacesLayersAndTextFields) {
    const QByteArray tables = Section("TABLES", Pairs({{0, "TABLE"}, {2, "LAYER"},
                                                       {0, "LAYER"}, {2, "L"}, {62, "3"}, {0, "LAYER"}, {2, "L"}, {62, "5"},
                                                       {0, "ENDTAB"}}));
    const QByteArray entities = Pairs({{0, "3DFACE"}, {8, "L"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}, {12, "1"}, {22, "1"}, {13, "1"}, {23, "1"},
                                       {0, "TEXT"}, {8, "L"}, {10, "1"}, {20, "2"}, {40, "3"}, {1, "%%c10 %%d %%p1 %%uA\\U+00e9"}});
    const TRead r = Read(tables + File(entities));
    ASSERT_EQ(r.Layers.size(), 2u); // both entries kept; entities land on the first
    EXPECT_EQ(r.Layers[0]->ListCount(), 2);
    EXPECT_EQ(r.Layers[1]->ListCount(), 0);
    EXPECT_EQ(r.First("Face3D_")->PointCount(), 3);
    EXPECT_EQ(r.First("Face3D_")->DisplayColour(), 0x00FF00u);
    const auto* text = static_cast<const Text_*>(r.First("Text_"));
    EXPECT_EQ(text->Text(), QString::fromUtf8("\u230010 \u00b0 \u00b11 A\u00e9"));
    EXPECT_EQ(text->AlignPoint(), (Point3D{1, 2, 0})); // no alignment point: the position
}

TEST(DxfRead, ExtentsIgnoreSentinelsStaleHeadersAndTheOrigin) {
    const QByteArray entities = Line("10", "20", "30", "40");
    auto header = [](const char* x0, const char* y0, const char* x1, const char* y1) {
        return Pairs({{9, "$EXTMIN"}, {10, x0}, {20, y0}, {30, "0"}, {9, "$EXTMAX"}, {10, x1}, {20, y1}, {30, "0"}});
    };
    const TRead none = Read(File(entities));
    EXPECT_EQ(none.Min, (Point3D{10, 20, 0})); // the origin is not forced in
    EXPECT_EQ(none.Max, (Point3D{30, 40, 0}));
    const TRead sentinel = Read(File(entities, {}, header("1e20", "1e20", "-1e20", "-1e20")));
    EXPECT_EQ(sentinel.Min, (Point3D{10, 20, 0}));
    const TRead stale = Read(File(entities, {}, header("0", "0", "12", "9")));
    EXPECT_EQ(stale.Max, (Point3D{30, 40, 0}));
    const TRead far = Read(File(entities, {}, header("-1000", "-1000", "1000", "1000")));
    EXPECT_EQ(far.Min, (Point3D{10, 20, 0}));
    const TRead close = Read(File(entities, {}, header("9.5", "19.5", "30.5", "40.5")));
    EXPECT_EQ(close.Min, (Point3D{9.5, 19.5, 0}));
    EXPECT_EQ(close.Max, (Point3D{30.5, 40.5, 0}));
    const TRead onlyHeader = Read(File({}, {}, header("1", "2", "3", "4")));
    EXPECT_EQ(onlyHeader.Max, (Point3D{3, 4, 0}));
    // Arc extents for any angles: 45 to 135 degrees reaches the top, 350 to 10 the right.
    const TRead arc = Read(File(Pairs({{0, "ARC"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "10"}, {50, "45"}, {51, "135"},
                                       {0, "ARC"}, {8, "0"}, {10, "100"}, {20, "0"}, {40, "10"}, {50, "-370"}, {51, "730"}})));
    EXPECT_NEAR(arc.Max.y, 10, 1e-9);
    EXPECT_NEAR(arc.Min.x, -7.0710678, 1e-6);
    EXPECT_NEAR(arc.Max.x, 110, 1e-9);
    // Huge extents keep the nominal size inside 32 bits.
    const auto huge = Load(File(Line("-1e300", "0", "1e300", "1")));
    EXPECT_EQ(huge->Width(), 1 << 30);
}

TEST(DxfRead, BinaryFilesAreRefused) {
    try {
        Load(QByteArray("AutoCAD Binary DXF\r\n\x1a", 21) + QByteArray(100, '\0'));
        FAIL();
    } catch (const DXF_read_exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Binary DXF files are not supported"));
    }
}

TEST(DxfRead, PaperSpaceShowsOnlyWithoutModelSpace) {
    const QByteArray paper = Pairs({{0, "LINE"}, {8, "0"}, {67, "1"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "1"}});
    EXPECT_EQ(Read(File(paper + Line("5", "5", "6", "6"))).Count("Line_"), 1);
    EXPECT_EQ(Read(File(paper)).Count("Line_"), 1);
    // An insert in paper space, dropped because the model holds entities (found by fuzzing).
    const QByteArray paperInsert = Pairs({{0, "INSERT"}, {8, "0"}, {67, "1"}, {2, "NONE"}, {10, "0"}, {20, "0"},
                                          {0, "INSERT"}, {8, "0"}, {67, "1"}, {2, "B"}, {10, "0"}, {20, "0"}});
    const TRead r = Read(File(paperInsert + Line("5", "5", "6", "6"), Block("B", Line("0", "0", "1", "1"))));
    EXPECT_EQ(r.Count("Insert_"), 0);
    EXPECT_EQ(r.Count("Line_"), 1);
}

TEST(DxfRead, LoadsFromFilesStreamsAndMerges) {
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.dxf")), b = dir.filePath(QStringLiteral("b.dxf"));
    WriteFile(a, File(Line("0", "0", "10", "10")));
    WriteFile(b, File(Pairs({{0, "CIRCLE"}, {8, "other"}, {10, "20"}, {20, "20"}, {40, "5"}})));
    TDXFImage g;
    int changes = 0;
    g.OnChange = [&](TGraphic*) { ++changes; };
    QList<int> stages;
    g.OnProgress = [&](TGraphic*, TProgressStage stage, quint8 percent, bool, const QRect&, const QString&) {
        stages << int(stage) * 1000 + percent;
    };
    g.LoadFromFileName(a);
    EXPECT_EQ(stages, (QList<int>{0, 2100})); // starting at 0 %, ending at 100 %
    EXPECT_EQ(g.Drawing()->FileName(), QStringLiteral("a.dxf"));
    EXPECT_EQ(g.Index()[0].Text, QStringLiteral("a.dxf"));
    EXPECT_EQ(g.Width(), 10);
    g.LoadFromFileName(b);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(g.Width(), 25);
    EXPECT_EQ(g.ExtentsMin(), (Point3D{0, 0, 0}));
    QStringList lines;
    for (const auto& l : g.Index()) lines << l.Text;
    EXPECT_EQ(lines, (QStringList{"a.dxf", "  0", "    Line_", "  other", "    Circle_"}));
    EXPECT_THROW(TDXFImage().LoadFromFileName(dir.filePath(QStringLiteral("missing.dxf"))), EInvalidGraphic);
}

TEST(DxfRead, NumbersConvertExactly) {
    const char* values[] = {"0.1", "-123.456", "1e-30", "12345678901234567890", "1.7976931348623157e308", "  7.25  ",
                            "0.000000000000000000000001", "-0", "4503599627370497.5", "1E+20", "3.", "-.5"};
    for (const char* v : values) {
        const TRead r = Read(File(Line(v, "0", "1", "1")));
        ASSERT_EQ(r.Count("Line_"), 1) << v;
        std::string text(v);
        text.erase(0, text.find_first_not_of(' '));
        text.erase(text.find_last_not_of(' ') + 1);
        EXPECT_EQ(static_cast<const Line_*>(r.First("Line_"))->Position().x, std::stod(text)) << v;
    }
    for (const char* bad : {"1.2.3", "1e", "--1", "nan", "inf", "0x10", "1,5", "1e999"})
        EXPECT_EQ(Read(File(Line(bad, "0", "1", "1"))).Count("Line_"), 0) << bad;
}
