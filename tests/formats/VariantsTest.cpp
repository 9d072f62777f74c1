#include "TestUtil.h"

#include "app/PictureEx.h"
#include "codec/Jpeg.h"
#include "codec/Metafile.h"
#include "codec/Pcx.h"
#include "codec/Tiff.h"
#include "formats/raster/EPS.h"
#include "formats/raster/SCR.h"
#include "formats/raster/Ufo.h"

#include <QBuffer>

namespace {
template <class T> QString LoadInto(T& g, const QByteArray& bytes) {
    QByteArray copy = bytes;
    QBuffer b(&copy);
    b.open(QIODevice::ReadOnly);
    try {
        g.LoadFromStream(b);
    } catch (const Exception& e) {
        return e.Message();
    }
    return QString();
}
QByteArray Saved(const TGraphic& g) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    g.SaveToStream(out);
    return out.data();
}
// A DOS binary EPS: header, a PostScript section, then the previews.
QByteArray MakeEps(const QByteArray& tiff, const QByteArray& wmf = QByteArray()) {
    const QByteArray ps = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\nshowpage\n";
    auto u32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    const quint32 psOffset = 30, wmfOffset = psOffset + quint32(ps.size()), tiffOffset = wmfOffset + quint32(wmf.size());
    QByteArray eps = QByteArray::fromHex("c5d0d3c6");
    eps += u32(psOffset) + u32(quint32(ps.size())) + u32(wmf.isEmpty() ? 0 : wmfOffset) + u32(quint32(wmf.size()));
    eps += u32(tiff.isEmpty() ? 0 : tiffOffset) + u32(quint32(tiff.size())) + QByteArray::fromHex("ffff");
    return eps + ps + wmf + tiff;
}
const QString kFormat = QStringLiteral("Cannot load image. Invalid or unexpected %1 image format.");
} // namespace

TEST(ScreenCapture, SavesAsPcxWithItsOwnFirstByte) {
    TScrGraphic g;
    g.SetImage(MakeTestImage(13, 6));
    const QByteArray scr = Saved(g);
    TPcxGraphic pcx;
    pcx.SetImage(g.Image());
    const QByteArray pcxBytes = Saved(pcx);
    ASSERT_FALSE(scr.isEmpty());
    EXPECT_EQ(uchar(scr[0]), 205);
    EXPECT_EQ(scr.mid(1), pcxBytes.mid(1));
    TScrGraphic back;
    ASSERT_EQ(LoadInto(back, scr), QString());
    EXPECT_TRUE(SamePixels(back.Image(), g.Image()));
    // A PCX file is not a screen capture.
    EXPECT_EQ(LoadInto(back, ReadFile(DataPath(QStringLiteral("pcx/im24.pcx")))), kFormat.arg(QStringLiteral("SCR")));
    // Written after other data, only its own first byte is marked.
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    out.write("prefix");
    g.SaveToStream(out);
    EXPECT_EQ(out.data().left(6), QByteArray("prefix"));
    EXPECT_EQ(out.data().mid(6), scr);
}

TEST(EncapsulatedPostScript, ShowsTheTiffPreviewAndCountsItsPages) {
    const QByteArray tiff = ReadFile(DataPath(QStringLiteral("tiff/three-pages.tif")));
    const QByteArray eps = MakeEps(tiff);
    TEPSGraphic g;
    g.SetPageIndex(2);
    ASSERT_EQ(LoadInto(g, eps), QString());
    TTiffGraphic reference;
    reference.SetPageIndex(2);
    ASSERT_EQ(LoadInto(reference, tiff), QString());
    EXPECT_TRUE(SamePixels(g.Image(), reference.Image()));
    QByteArray copy = eps;
    QBuffer b(&copy);
    b.open(QIODevice::ReadOnly);
    EXPECT_EQ(g.GetPageCount(b), 3);
    EXPECT_EQ(b.pos(), 0);
}

TEST(EncapsulatedPostScript, MetafilePreviewAndBadFiles) {
    const QByteArray wmf = ReadFile(DataPath(QStringLiteral("wmf/shapes.wmf")));
    TEPSGraphic g;
    ASSERT_EQ(LoadInto(g, MakeEps(QByteArray(), wmf)), QString());
    TMetafile metafile;
    ASSERT_EQ(LoadInto(metafile, wmf), QString());
    EXPECT_TRUE(SamePixels(g.Image(), metafile.ToImage()));

    EXPECT_EQ(LoadInto(g, "%!PS-Adobe" + QByteArray(40, ' ')), kFormat.arg(QStringLiteral("EPS")));
    EXPECT_EQ(LoadInto(g, QByteArray::fromHex("c5d0d3c6")), QStringLiteral("Stream read error"));
    // A preview said to reach past the end of the file is refused.
    QByteArray cut = MakeEps(ReadFile(DataPath(QStringLiteral("tiff/three-pages.tif"))));
    cut.chop(10);
    EXPECT_EQ(LoadInto(g, cut), QStringLiteral("The EPS preview lies beyond the end of the file"));
    // No preview at all: the header is fine, the TIFF decoder is what fails.
    const QString message = LoadInto(g, MakeEps(QByteArray()));
    EXPECT_FALSE(message.isEmpty());
    EXPECT_NE(message, kFormat.arg(QStringLiteral("EPS")));
}

TEST(UfoPicture, JpegBehindTenReplacedBytes) {
    const QByteArray jpeg = ReadFile(DataPath(QStringLiteral("jpeg/colour.jpg")));
    QByteArray ufo = jpeg;
    ufo.replace(0, 10, QByteArray("UFO-HEADER"));
    TUFOImage g;
    ASSERT_EQ(LoadInto(g, ufo), QString());
    TJpegGraphic reference;
    ASSERT_EQ(LoadInto(reference, jpeg), QString());
    EXPECT_TRUE(SamePixels(g.Image(), reference.Image()));
    // Shorter than the patch: the JPEG decoder fails, nothing is written past the data.
    for (int n : {0, 1, 5, 9, 10}) EXPECT_FALSE(LoadInto(g, ufo.left(n)).isEmpty()) << n;
}

TEST(UfoPicture, RegistryNamesAndClasses) {
    QTemporaryDir dir;
    const QString scr = dir.filePath(QStringLiteral("a.scr"));
    TScrGraphic g;
    g.SetImage(MakeTestImage(4, 4));
    g.SaveToFileName(scr);
    TPictureEx picture;
    picture.LoadFromFileName(scr);
    EXPECT_EQ(picture.Graphic()->ClassName(), QStringLiteral("TScrGraphic"));
}
