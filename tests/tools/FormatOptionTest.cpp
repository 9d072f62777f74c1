#include "TestUtil.h"

#include "codec/Avif.h"
#include "codec/Gif.h"
#include "codec/Ico.h"
#include "codec/Jpeg.h"
#include "codec/Png.h"
#include "codec/Tiff.h"
#include "codec/WebP.h"
#include "formats/raster/EPS.h"
#include "formats/raster/SCR.h"
#include "formats/raster/Ufo.h"
#include "formats/raster/cif.h"
#include "tools/FormatOption.h"

TEST(FormatOption, TheProgramWideDefaults) {
    const TPictureOption& d = DefaultPictureOption;
    EXPECT_EQ(d.Kind, pokNone);
    EXPECT_EQ(d.JpegQuality, 80);
    EXPECT_FALSE(d.JpegProgressive);
    EXPECT_FALSE(d.JpegOptimizeHuffman);
    EXPECT_EQ(d.GifCompression, 1);
    EXPECT_EQ(d.GifDitherMode, 0);
    EXPECT_EQ(d.GifColorReduction, 6);
    EXPECT_EQ(d.GifReductionBits, 8);
    EXPECT_FALSE(d.GifAnimated);
    EXPECT_TRUE(d.GifTransparent);
    EXPECT_TRUE(d.GifOptimizePalette);
    EXPECT_DOUBLE_EQ(d.PngGamma, 0.5);
    EXPECT_EQ(d.PngCompression, 1);
    EXPECT_TRUE(d.PngProgressive);
    EXPECT_FALSE(d.PngTransparent);
    EXPECT_EQ(d.PngTransparentColor, 0u);
    EXPECT_FALSE(d.PngBackground);
    EXPECT_EQ(d.PngBackgroundColor, 0u);
    EXPECT_EQ(d.TiffCompression, 0);
    EXPECT_EQ(d.IcoRenderMethod, 0);
    EXPECT_EQ(d.CifAlgorithm, 4);
    EXPECT_TRUE(d.CifPassword.isEmpty());
    EXPECT_TRUE(d.CifMaskPassword);
    EXPECT_FALSE(d.CifCaseSensitive);
    EXPECT_FALSE(d.AviCompress);
    // A copy is field by field, the password with it.
    TPictureOption copy = d;
    copy.CifPassword = QStringLiteral("pw");
    TPictureOption again = copy;
    EXPECT_EQ(again, copy);
    EXPECT_EQ(again.CifPassword, QStringLiteral("pw"));
    EXPECT_FALSE(again == d);
    EXPECT_EQ(TiffCompressionNames(),
              QStringList({"Uncompressed", "Packbits", "Group3.1", "Group3.2", "Group4", "ZLib", "JPEG"}));
    EXPECT_EQ(CifAlgorithmNames(), QStringList({"448-bit Blowfish", "256-bit Twofish", "128-bit Cast128", "256-bit Rijndael"}));
}

// Each writer takes the record only when Kind names its format; a writer of another format derived from
// one of them (UFO on JPEG, EPS on TIFF, SCR on PCX) never does.
TEST(FormatOption, KindGatesEveryWriter) {
    TPictureOption o;
    o.JpegQuality = 33;
    o.JpegOptimizeHuffman = true;
    o.TiffCompression = 5;
    o.IcoRenderMethod = 1;
    o.CifAlgorithm = 7;
    o.CifPassword = QStringLiteral("pw");
    o.CifCaseSensitive = true;
    o.GifColorReduction = 4;
    o.GifDitherMode = 2;
    o.GifReductionBits = 5;
    o.WebPQuality = 40;
    o.WebPLossless = true;
    o.AvifQuality = 90;
    for (quint8 kind = pokNone; kind <= pokAvif; ++kind) {
        SCOPED_TRACE(int(kind));
        o.Kind = kind;
        TJpegGraphic jpeg;
        TTiffGraphic tiff;
        TGIFImage gif;
        TCIFGraphic cif;
        EXPECT_EQ(ApplyPictureOption(jpeg, o), kind == pokJpeg);
        EXPECT_EQ(jpeg.Quality(), kind == pokJpeg ? 33 : 75);
        EXPECT_EQ(jpeg.OptimizeHuffman(), kind == pokJpeg);
        EXPECT_EQ(ApplyPictureOption(tiff, o), kind == pokTiff);
        EXPECT_EQ(tiff.Compression(), kind == pokTiff ? TTiffCompression::Deflate : TTiffCompression::None);
        EXPECT_EQ(ApplyPictureOption(gif, o), kind == pokGif);
        EXPECT_EQ(gif.SaveOptions().Reduction, kind == pokGif ? TColorReduction::rmMonochrome : TColorReduction::rmQuantize);
        EXPECT_EQ(gif.SaveOptions().Dither, kind == pokGif ? TDitherMode::dmStucki : TDitherMode::dmNearest);
        EXPECT_EQ(ApplyPictureOption(cif, o), kind == pokCif);
        EXPECT_EQ(cif.Algorithm(), kind == pokCif ? 7 : 4);
        EXPECT_EQ(cif.Password(), kind == pokCif ? QStringLiteral("pw") : QString());
        EXPECT_EQ(cif.CaseFlag(), kind == pokCif ? kCifCaseSensitive : kCifCaseInsensitive);
        TWebPGraphic webp;
        TAvifGraphic avif;
        EXPECT_EQ(ApplyPictureOption(webp, o), kind == pokWebP);
        EXPECT_EQ(webp.Quality(), kind == pokWebP ? 40 : 75);
        EXPECT_EQ(webp.Lossless(), kind == pokWebP);
        EXPECT_EQ(ApplyPictureOption(avif, o), kind == pokAvif);
        EXPECT_EQ(avif.Quality(), kind == pokAvif ? 90 : 75);
        TUFOImage ufo;
        TEPSGraphic eps;
        TScrGraphic scr;
        EXPECT_FALSE(ApplyPictureOption(ufo, o));
        EXPECT_FALSE(ApplyPictureOption(eps, o));
        EXPECT_FALSE(ApplyPictureOption(scr, o));
    }
    EXPECT_EQ(PictureOptionKindOf(TPngGraphic()), pokPng);
    EXPECT_EQ(PictureOptionKindOf(TIcon()), pokIco);
    EXPECT_EQ(PictureOptionKindOf(TUFOImage()), pokNone);
    EXPECT_EQ(PictureOptionKindOf(TWebPGraphic()), pokWebP);
    EXPECT_EQ(PictureOptionKindOf(TAvifGraphic()), pokAvif);
}

// Where the record and a writer disagree, the record's meaning holds: PNG compression 0/1/2 is low,
// medium, high (zlib 1, 6, 9); colours are 0x00RRGGBB.
TEST(FormatOption, RecordMeaningsMapOntoTheWriters) {
    EXPECT_EQ(PngZlibLevel(0), 1);
    EXPECT_EQ(PngZlibLevel(1), 6);
    EXPECT_EQ(PngZlibLevel(2), 9);
    TPictureOption o;
    o.PngCompression = 2;
    o.PngGamma = 1.7;
    o.PngProgressive = false;
    o.PngTransparent = true;
    o.PngTransparentColor = 0x00FF8001;
    const auto keys = PictureOptionKeys(o, pokPng);
    EXPECT_TRUE(keys.contains({QStringLiteral("compression"), QStringLiteral("9")}));
    EXPECT_TRUE(keys.contains({QStringLiteral("gamma"), QStringLiteral("1.70")}));
    EXPECT_TRUE(keys.contains({QStringLiteral("interlace"), QStringLiteral("0")}));
    EXPECT_TRUE(keys.contains({QStringLiteral("transparent"), QStringLiteral("FF8001")}));
    for (const auto& k : keys) EXPECT_NE(k.first, QStringLiteral("background")) << "only when its flag is set";
    EXPECT_TRUE(PictureOptionKeys(o, pokNone).isEmpty());
    o.IcoRenderMethod = 2;
    EXPECT_EQ(PictureOptionKeys(o, pokIco), (QList<QPair<QString, QString>>{{"render", "center"}}));

    // A square icon drawn with the record's render method.
    QImage wide(40, 10, QImage::Format_ARGB32);
    wide.fill(qRgb(200, 0, 0));
    for (quint8 method : {0, 1, 2}) {
        SCOPED_TRACE(int(method));
        TIcon icon;
        icon.SetImage(wide);
        o.Kind = pokIco;
        o.IcoRenderMethod = method;
        ASSERT_TRUE(ApplyPictureOption(icon, o));
        auto back = LoadGraphic<TIcon>(Save(icon));
        ASSERT_EQ(back->Image().size(), QSize(40, 40));
        const QImage img = back->Image().convertToFormat(QImage::Format_ARGB32);
        // Crop: the top rows; stretch: everything; centre: the middle rows.
        EXPECT_EQ(qAlpha(img.pixel(20, 5)), method == 2 ? 0 : 255);
        EXPECT_EQ(qAlpha(img.pixel(20, 20)), method == 0 ? 0 : 255);
        EXPECT_EQ(qAlpha(img.pixel(20, 35)), method == 1 ? 255 : 0);
    }
    // A value outside the writer's range is refused, not clamped.
    TJpegGraphic jpeg;
    o.Kind = pokJpeg;
    o.JpegQuality = 0;
    EXPECT_THROW(ApplyPictureOption(jpeg, o), EInvalidGraphicOperation);
}
