#include "TestUtil.h"

#include "app/PictureEx.h"
#include "codec/Ppm.h"
#include "codec/Registry.h"

#include <QDir>
#include <QSet>

TEST(StartupTable, HoldsFiftyFiveExtensionsInThirtyTwoClasses) {
    const auto& table = StartupTable();
    EXPECT_EQ(table.size(), 55u);
    QSet<QString> classes, extensions;
    for (const auto& row : table) {
        classes.insert(QString::fromLatin1(row.ClassName));
        extensions.insert(QString::fromLatin1(row.Extension));
    }
    EXPECT_EQ(classes.size(), 32);
    EXPECT_EQ(extensions.size(), 55);
}

// Lists what the registry still lacks; fails when a built-in class registered an extension differently
// from the table or when the content-testable classes come in another order.
TEST(StartupTable, RegistryMatchesTheTable) {
    QStringList missing;
    for (const auto& row : StartupTable()) {
        const QString ext = QString::fromLatin1(row.Extension);
        TGraphicClass cls = GraphicClassByExtension(ext);
        if (!cls) {
            missing << ext + QStringLiteral(" (") + QString::fromLatin1(row.ClassName) + QLatin1Char(')');
            continue;
        }
        EXPECT_EQ(cls->ClassName, QString::fromLatin1(row.ClassName)) << ext.toStdString();
    }
    if (!missing.isEmpty()) std::cout << "[ info ] not built in yet: " << missing.join(", ").toStdString() << "\n";
    // Every row of the table has its reader built in.
    EXPECT_TRUE(missing.isEmpty()) << missing.join(", ").toStdString();
    EXPECT_TRUE(MissingStartupFormats().empty());
    // The start-up table's content tests first, then those of the second table (AVIF before HEIF).
    const QStringList order = {"TRLAGraphic", "TSGIGraphic", "TPSDGraphic", "TPPMGraphic",
                               "TAutodeskGraphic", "TCUTGraphic", "TPSPGraphic", "TWebPGraphic",
                               "TAvifGraphic", "THeifGraphic", "TJxlGraphic", "TExrGraphic", "TRawGraphic"};
    QStringList seen;
    for (const auto& entry : CentralFormats().Classes())
        if (entry.GraphicClass->IsContentTestable()) seen << entry.GraphicClass->ClassName;
    QStringList expected;
    for (const QString& c : order)
        if (seen.contains(c)) expected << c;
    EXPECT_EQ(seen, expected);
}

TEST(Registry, CentralRegistrationRules) {
    TFileFormatList list;
    const TGraphicClass ppm = TPPMGraphic::StaticClass();
    list.Register(QString(), QStringLiteral("ignored"), QString(), ppm); // empty extension: nothing
    EXPECT_TRUE(list.Extensions().empty());
    list.Register(QStringLiteral("ABC"), QStringLiteral("Common"), QString(), ppm);
    list.Register(QStringLiteral("DEF"), QString(), QStringLiteral("Own"), ppm);
    ASSERT_EQ(list.Classes().size(), 1u);
    EXPECT_EQ(list.Classes()[0].Count, 2);
    EXPECT_EQ(list.Classes()[0].Common, QStringLiteral("Common"));
    try {
        list.Register(QStringLiteral("abc"), QString(), QString(), ppm);
        FAIL() << "a second registration must fail";
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Attempt to register abc twice."));
    }
}

TEST(Registry, LookupIsNewestFirstAndCaseInsensitive) {
    TFileFormatsList list;
    list.Add(QStringLiteral("XYZ"), QStringLiteral("old"), TPPMGraphic::StaticClass());
    list.Add(QStringLiteral("xyz"), QStringLiteral("new"), TImageGraphic::StaticClass());
    EXPECT_EQ(list.FindExt(QStringLiteral("Xyz")), TImageGraphic::StaticClass());
    EXPECT_EQ(list.FindExt(QStringLiteral(".XYZ")), TImageGraphic::StaticClass());
    EXPECT_EQ(list.FindExt(QStringLiteral("abc")), nullptr);
    EXPECT_EQ(GraphicClassByExtension(QStringLiteral("PPM")), GraphicClassByExtension(QStringLiteral("ppm")));
    EXPECT_EQ(GraphicClassByExtension(QStringLiteral("Pgm")), TPPMGraphic::StaticClass());
}

TEST(Registry, FilterTextIsExact) {
    const QString filter = GraphicFilter();
    const QStringList parts = filter.split(QLatin1Char('|'));
    ASSERT_EQ(parts.size(), 2 * 33);
    EXPECT_EQ(parts[0], QStringLiteral("All images"));
    EXPECT_EQ(parts[1],
              QStringLiteral("*.ANI;*.AVI;*.BMP;*.BW;*.CEL;*.CIF;*.CUR;*.CUT;*.DCX;*.DXF;*.EMF;*.EPS;*.GIF;*.HGL;"
                             "*.HPG;*.ICO;*.IMG;*.JPEG;*.JPG;*.MAC;*.PBM;*.PCC;*.PCD;*.PCX;*.PDD;*.PGM;*.PIC;*.PLT;"
                             "*.PNG;*.PPM;*.PSD;*.PSP;*.RGB;*.RLA;*.RLE;*.RPF;*.SGI;*.SLD;*.TGA;*.TIF;*.UFO;*.WBMP;"
                             "*.WMF;*.AFI;*.DIB;*.HG;*.JFIF;*.JIF;*.JPE;*.PLO;*.PTF;*.RGBA;*.SCR;*.TIFF;*.VST"));
    EXPECT_EQ(parts[2], QStringLiteral("Alias/Wavefront images (*.RLA;*.RPF)"));
    EXPECT_EQ(parts[3], QStringLiteral("*.RLA;*.RPF"));
    EXPECT_EQ(parts[22], QStringLiteral("HPGL Graphic (*.HG;*.HGL;*.HPG;*.PLO;*.PLT)"));
    EXPECT_EQ(parts[24], QStringLiteral("JPEG images (*.JFIF;*.JIF;*.JPE;*.JPEG;*.JPG)"));
    EXPECT_EQ(parts[52], QStringLiteral("Windows bitmaps (*.BMP;*.DIB;*.RLE)"));
    EXPECT_EQ(parts[58], QStringLiteral("Windows metafiles (*.EMF;*.WMF)"));
    EXPECT_EQ(parts[64], QStringLiteral("ZSoft Paintbrush (*.PCC;*.PCX)"));
    QStringList descriptions;
    for (int i = 2; i < parts.size(); i += 2) descriptions << parts[i].left(parts[i].lastIndexOf(QStringLiteral(" (")));
    EXPECT_EQ(descriptions.join(QLatin1Char(',')),
              QStringLiteral("Alias/Wavefront images,Audio/Video Interleave Files,Autodesk DXF Images,Autodesk images,"
                             "Autodesk SLD Images,CompuServe (87a, 89a),Dr. Halo images,Encapsulated Postscript,"
                             "Encrypted Image File,GEM Paint,HPGL Graphic,JPEG images,Kodak Photo-CD images,"
                             "MacPaint Picture,Multi-Paged PCX,Paintshop Pro images,Photoshop images,Plain text file,"
                             "Portable map images,Portable network graphic,SGI images,Tagged image file format,"
                             "Truevision TARGA,UFO Images,Windows animated cursor,Windows bitmaps,Windows cursor,"
                             "Windows icons,Windows metafiles,Wireless Bitmap,Word 5.x screen capture images,"
                             "ZSoft Paintbrush"));
    // The open dialog's variant: the first 269 characters, then the text from the 344th character on.
    EXPECT_EQ(OpenDialogFilter(), filter.left(269) + filter.mid(343));
    EXPECT_TRUE(OpenDialogFilter().startsWith(QStringLiteral("All images|*.ANI;")));
    EXPECT_TRUE(OpenDialogFilter().contains(QStringLiteral(";*.WMF|Alias/Wavefront images")));
}

class PictureExTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = Dir.filePath(name);
        WriteFile(path, bytes);
        return path;
    }
};

TEST_F(PictureExTest, ContentBeatsExtension) {
    TPictureEx picture;
    int changes = 0;
    picture.OnChange = [&](TGraphic*) { ++changes; };
    picture.LoadFromFileName(Write(QStringLiteral("map.xyz"), QByteArray("P2\n2 1\n255\n7 9\n")));
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(picture.Graphic()->ClassName(), QStringLiteral("TPPMGraphic"));
    EXPECT_EQ(picture.Width(), 2);
    EXPECT_EQ(changes, 1);
}

TEST_F(PictureExTest, UnknownExtensionMessage) {
    TPictureEx picture;
    for (const auto& [name, ext] : {std::pair{QStringLiteral("a.xyz"), QStringLiteral("xyz")},
                                    std::pair{QStringLiteral("noext"), QString()}}) {
        try {
            picture.LoadFromFileName(Write(name, QByteArray("nothing known")));
            FAIL() << "must fail";
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Unknown picture file extension (.%1)").arg(ext));
        }
    }
}

TEST_F(PictureExTest, FailedLoadKeepsThePreviousGraphic) {
    TPictureEx picture;
    picture.LoadFromFileName(Write(QStringLiteral("good.pgm"), QByteArray("P2\n3 1\n255\n1 2 3\n")));
    TGraphic* before = picture.Graphic();
    int changes = 0;
    picture.OnChange = [&](TGraphic*) { ++changes; };
    EXPECT_THROW(picture.LoadFromFileName(Write(QStringLiteral("bad.pgm"), QByteArray("P2\n-3 1\n"))), Exception);
    EXPECT_THROW(picture.LoadFromFileName(Dir.filePath(QStringLiteral("missing.pgm"))), Exception);
    EXPECT_EQ(picture.Graphic(), before);
    EXPECT_EQ(picture.Width(), 3);
    EXPECT_EQ(changes, 0);
}
