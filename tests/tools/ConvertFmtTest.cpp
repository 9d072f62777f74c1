#include "TestUtil.h"

#include "codec/Bmp.h"
#include "codec/DibGraphic.h"
#include "codec/Gif.h"
#include "codec/GifAnimation.h"
#include "codec/Png.h"
#include "codec/Registry.h"
#include "codec/Services.h"
#include "formats/cad/DxfImage.h"
#include "formats/raster/AVIGraph.h"
#include "formats/raster/Ani.h"
#include "formats/raster/cif.h"
#include "platform/VideoFile.h"
#include "tools/ConvertFmt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>

#include <functional>

namespace {

QString Pixels(const QString& dir) {
    QStringList names = QDir(dir).entryList(QDir::Files);
    names.sort();
    return names.join(QLatin1Char(','));
}

// Smooth gradients: what lossy formats keep well.
QImage Photo() {
    QImage image(37, 23, QImage::Format_RGB32);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) image.setPixel(x, y, qRgb(x * 7, y * 11, 40 + (x + y) * 3));
    return image;
}

std::unique_ptr<TGraphic> Read(const QString& path) {
    std::unique_ptr<TGraphic> g = CreateGraphicFor(path);
    g->LoadFromFileName(path);
    return g;
}

QString Message(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return QString();
}

// An animated GIF made by our writer: frames of few colours, all with the delay, one global map.
QString WriteAnimatedGif(const QString& path, int frames, int delay, bool optimiseMaps = true) {
    TGifAnimation gif;
    for (int i = 0; i < frames; ++i) {
        QImage image(20, 12, QImage::Format_RGB32);
        image.fill(qRgb(0, 0, 128));
        for (int x = 0; x <= i * 3; ++x) image.setPixel(x, 5, qRgb(255, 255, 255));
        image.setPixel(19, 0, qRgb(255, 0, 0));
        gif.AddFrame(image, delay, false);
    }
    if (optimiseMaps) gif.OptimizeColorMaps();
    gif.SaveToFileName(path);
    return path;
}

// A clip of our writer: frames of a moving bar, frameMs milliseconds each.
QString WriteClip(const QString& path, int frames, int rate) {
    TVideoWriter w;
    EXPECT_TRUE(w.Create(path) && w.CreateStream({QSize(24, 16), 1, rate}, TVideoWriter::TPixels::Rgb24) && w.SetFormat());
    for (int i = 0; i < frames; ++i) {
        QImage image(24, 16, QImage::Format_RGB32);
        image.fill(qRgb(0, 100, 0));
        for (int y = 0; y < 16; ++y) image.setPixel(i * 4, y, qRgb(255, 255, 255));
        EXPECT_TRUE(w.WriteFrame(image));
    }
    EXPECT_TRUE(w.Finish());
    return path;
}

class TCompressionAnswer : public IViewerServices {
public:
    bool Answer = false;
    QSize Asked;
    bool ChooseVideoCompression(QSize size, TVideoCompression& choice) override {
        Asked = size;
        if (Answer) choice.Encoder = QStringLiteral("mjpeg");
        return Answer;
    }
};

} // namespace

// Every extension of the save dialog and of the command line round-trips: read back by our reader and
// by ImageMagick where it reads the format.
TEST(ConvertFmt, EveryTargetRoundTrips) {
    struct TCase {
        const char* Ext;
        int Tolerance;    // per channel; -1: only the size is compared (black and white)
        bool ImageMagick; // ImageMagick reads it
    } cases[] = {
        {"JPG", 40, true},  {"GIF", 24, true},  {"PNG", 0, true},  {"TIF", 0, true},   {"ICO", 0, true},
        {"BMP", 0, true},   {"WBMP", -1, true}, {"EMF", 0, false}, {"PCX", 0, true},   {"SCR", 0, false},
        {"TGA", 0, true},   {"PTF", 0, false},  {"JPEG", 40, true}, {"TIFF", 0, true}, {"PPM", 0, true},
        {"PGM", -1, true},  {"PBM", -1, true},  {"WMF", 0, true},  {"CUR", 0, false},  {"PCC", 0, true},
        {"jpe", 40, true},  {"jfif", 40, true}, {"JIF", 40, true}, {"WEBP", 40, true}, {"AVIF", 40, true},
    };
    const QImage photo = Photo();
    TImageGraphic source(photo);
    QTemporaryDir dir;
    QStringList done;
    for (const TCase& c : cases) {
        const QString ext = QString::fromLatin1(c.Ext);
        SCOPED_TRACE(ext.toStdString());
        const QString path = dir.filePath(QStringLiteral("out.") + ext);
        ASSERT_NO_THROW(ConvertGraphic(&source, path, DefaultPictureOption, false, 0xFFFFFF, QString(),
                                       {TConvertTargets::ctAllWriters, {}}));
        const auto back = Read(path);
        ASSERT_EQ(QSize(back->Width(), back->Height()), photo.size());
        const QImage image = back->ToImage();
        if (c.Tolerance >= 0) EXPECT_TRUE(SamePixels(image, photo, c.Tolerance));
        if (c.ImageMagick) {
            const QString png = path + QStringLiteral(".png");
            // At the picture's own size (metafiles at 96 dots an inch), with TGA's origin applied.
            ASSERT_TRUE(RunTool(QStringLiteral("/usr/bin/convert"),
                                {"-density", "96", path + QStringLiteral("[0]"), "-auto-orient", png}));
            const QImage theirs(png);
            EXPECT_EQ(theirs.size(), photo.size());
            if (c.Tolerance >= 0) EXPECT_TRUE(SamePixels(theirs, photo, std::max(c.Tolerance, 1)));
        }
        done << ext.toUpper();
    }
    for (const QString& ext : ConvertTargetExtensions(TConvertTargets::ctAllWriters))
        if (ext != QLatin1String("SLD")) EXPECT_TRUE(done.contains(ext)) << ext.toStdString();
}

TEST(ConvertFmt, TheExtensionChoosesTheFormat) {
    TImageGraphic source(Photo());
    QTemporaryDir dir;
    ConvertGraphic(&source, dir.filePath("a.jpg"), DefaultPictureOption, false, 0, QString());
    ConvertGraphic(&source, dir.filePath("b.JPG"), DefaultPictureOption, false, 0, QString());
    EXPECT_EQ(Read(dir.filePath("a.jpg"))->ClassName(), QStringLiteral("TJpegGraphic"));
    EXPECT_EQ(ReadFile(dir.filePath("a.jpg")), ReadFile(dir.filePath("b.JPG")));
    for (const char* name : {"c.JPEG", "d.TIFF", "e.png.", "f", "g.eps", "h.avi"})
        EXPECT_EQ(Message([&] { ConvertGraphic(&source, dir.filePath(name), DefaultPictureOption, false, 0, QString()); }),
                  QStringLiteral("Unknown extension type"))
            << name;
    // The command line's targets: JPEG and TIFF too, never EPS (its class would write TIFF data).
    const TConvertSettings all{TConvertTargets::ctAllWriters, {}};
    EXPECT_NO_THROW(ConvertGraphic(&source, dir.filePath("c.JPEG"), DefaultPictureOption, false, 0, QString(), all));
    EXPECT_EQ(Message([&] { ConvertGraphic(&source, dir.filePath("g.eps"), DefaultPictureOption, false, 0, QString(), all); }),
              QStringLiteral("Unknown extension type"));
    EXPECT_EQ(Pixels(dir.path()), QStringLiteral("a.jpg,b.JPG,c.JPEG"));
    EXPECT_THROW(ConvertGraphic(nullptr, dir.filePath("x.png"), DefaultPictureOption, false, 0, QString()),
                 EInvalidGraphicOperation);
    TImageGraphic empty;
    EXPECT_THROW(ConvertGraphic(&empty, dir.filePath("x.png"), DefaultPictureOption, false, 0, QString()),
                 EInvalidGraphicOperation);
    EXPECT_EQ(Pixels(dir.path()), QStringLiteral("a.jpg,b.JPG,c.JPEG"));
}

// Options apply only when Kind names the format: a JPEG saved with Kind 3 has the encoder's default
// quantisation tables; PNG's gamma, interlace and compression level show in the file.
TEST(ConvertFmt, OptionsApplyOnlyWhenKindNamesTheFormat) {
    TImageGraphic source(Photo());
    QTemporaryDir dir;
    auto dqt = [](const QByteArray& jpeg) { return jpeg.mid(jpeg.indexOf("\xff\xdb"), 69); };
    auto jpegAt = [&](int quality) {
        TImageGraphic g(Photo());
        TPictureOption o;
        o.Kind = pokJpeg;
        o.JpegQuality = quint8(quality);
        ConvertGraphic(&g, dir.filePath(QStringLiteral("q%1.jpg").arg(quality)), o, false, 0, QString());
        return ReadFile(dir.filePath(QStringLiteral("q%1.jpg").arg(quality)));
    };
    TPictureOption options = DefaultPictureOption;
    options.JpegQuality = 20;
    options.Kind = pokPng;
    ConvertGraphic(&source, dir.filePath("png-kind.jpg"), options, false, 0, QString());
    EXPECT_EQ(dqt(ReadFile(dir.filePath("png-kind.jpg"))), dqt(jpegAt(75))); // the encoder's default
    options.Kind = pokJpeg;
    ConvertGraphic(&source, dir.filePath("jpeg-kind.jpg"), options, false, 0, QString());
    EXPECT_EQ(dqt(ReadFile(dir.filePath("jpeg-kind.jpg"))), dqt(jpegAt(20)));
    EXPECT_NE(dqt(jpegAt(20)), dqt(jpegAt(75)));
    options.JpegProgressive = true;
    ConvertGraphic(&source, dir.filePath("progressive.jpg"), options, false, 0, QString());
    EXPECT_TRUE(ReadFile(dir.filePath("progressive.jpg")).contains("\xff\xc2"));

    // PNG: IHDR's interlace byte, the gAMA chunk (gamma x 100000), zlib's level bits in the first IDAT.
    auto png = [&](const TPictureOption& o, const QString& name) {
        ConvertGraphic(&source, dir.filePath(name), o, false, 0, QString());
        return ReadFile(dir.filePath(name));
    };
    TPictureOption p = DefaultPictureOption;
    const QByteArray plain = png(p, "plain.png");
    EXPECT_EQ(int(plain[28]), 0);
    EXPECT_FALSE(plain.contains("gAMA"));
    p.Kind = pokPng;
    for (int level : {0, 1, 2}) {
        p.PngCompression = quint8(level);
        p.PngGamma = 2.25;
        p.PngTransparent = level == 2;
        p.PngTransparentColor = 0x00112233;
        const QByteArray bytes = png(p, QStringLiteral("c%1.png").arg(level));
        EXPECT_EQ(int(bytes[28]), 1) << "interlaced by default";
        const qsizetype gama = bytes.indexOf("gAMA");
        ASSERT_GT(gama, 0);
        EXPECT_EQ(quint32(uchar(bytes[gama + 4]) << 24 | uchar(bytes[gama + 5]) << 16 | uchar(bytes[gama + 6]) << 8 |
                          uchar(bytes[gama + 7])),
                  225000u);
        const qsizetype idat = bytes.indexOf("IDAT");
        const int flevel = uchar(bytes[idat + 5]) >> 6;
        EXPECT_EQ(flevel, level == 0 ? 0 : level == 1 ? 2 : 3) << level;
        EXPECT_EQ(bytes.contains("tRNS"), level == 2);
    }
    const qsizetype trns = png(p, "t.png").indexOf("tRNS");
    EXPECT_EQ(ReadFile(dir.filePath("t.png")).mid(trns + 4, 6), QByteArray::fromHex("001100220033"));
}

TEST(ConvertFmt, PixelFormatFixes) {
    QImage argb = Photo().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) argb.setPixel(x, y, qRgba(9, 9, 9, 0));
    TImageGraphic source(argb);
    QTemporaryDir dir;
    // Transparent parts of a JPEG or TGA are the background colour.
    ConvertGraphic(&source, dir.filePath("a.tga"), DefaultPictureOption, false, 0x0000FF, QString());
    EXPECT_EQ(Read(dir.filePath("a.tga"))->ToImage().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(uchar(ReadFile(dir.filePath("a.tga"))[2]), 2) << "true colour";
    ConvertGraphic(&source, dir.filePath("a.jpg"), DefaultPictureOption, false, 0x0000FF, QString());
    const QRgb corner = Read(dir.filePath("a.jpg"))->ToImage().pixel(0, 0);
    EXPECT_GT(qRed(corner), 200);
    EXPECT_LT(qBlue(corner), 60);
    // Grey stays grey in both; a palette stays a palette in TGA.
    TImageGraphic grey(Photo().convertToFormat(QImage::Format_Grayscale8));
    ConvertGraphic(&grey, dir.filePath("g.tga"), DefaultPictureOption, false, 0, QString());
    EXPECT_EQ(uchar(ReadFile(dir.filePath("g.tga"))[2]), 3);
    TImageGraphic indexed(Photo().convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither));
    ConvertGraphic(&indexed, dir.filePath("p.tga"), DefaultPictureOption, false, 0, QString());
    EXPECT_EQ(uchar(ReadFile(dir.filePath("p.tga"))[2]), 1);
}

// Drawings are drawn on the background colour, and their own background setting is restored.
TEST(ConvertFmt, DrawingsOnTheBackgroundColour) {
    TDXFImage dxf;
    dxf.LoadFromFileName(DataPath("dxf/ezdxf_r12.dxf"));
    dxf.Background = false;
    dxf.BackgroundColour = 0x123456;
    QTemporaryDir dir;
    ConvertGraphic(&dxf, dir.filePath("d.bmp"), DefaultPictureOption, false, 0x00FF00, QString());
    const QImage image = Read(dir.filePath("d.bmp"))->ToImage();
    EXPECT_EQ(image.size(), QSize(dxf.Width(), dxf.Height()));
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 255, 0));
    EXPECT_FALSE(dxf.Background);
    EXPECT_EQ(dxf.BackgroundColour, 0x123456u);
}

// An animated GIF becomes an AVI clip of its composed screens: 8 bits with the global palette when no
// frame has its own, scale = the frames' delay, rate 65.
TEST(ConvertFmt, AnimatedGifToAvi) {
    QTemporaryDir dir;
    TGIFImage gif;
    gif.LoadFromFileName(WriteAnimatedGif(dir.filePath("a.gif"), 4, 10));
    const QString avi = dir.filePath("a.avi");
    ConvertGraphic(&gif, avi, DefaultPictureOption, false, 0xFFFFFF, QString());
    const QByteArray bytes = ReadFile(avi);
    const qsizetype strh = bytes.indexOf("strh");
    EXPECT_EQ(U32(bytes, int(strh) + 28), 10u);
    EXPECT_EQ(U32(bytes, int(strh) + 32), 65u);
    const qsizetype strf = bytes.indexOf("strf");
    EXPECT_EQ(U16(bytes, int(strf) + 8 + 14), 8);
    TAVIGraphic clip;
    clip.LoadFromFileName(avi);
    ASSERT_EQ(clip.FrameCount(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(SamePixels(clip.FrameImage(i), gif.FrameImage(i + 1))) << i;
    QByteArray probe;
    ASSERT_TRUE(RunTool("ffprobe", {"-v", "error", "-count_frames", "-show_entries", "stream=pix_fmt,nb_read_frames,r_frame_rate", "-of", "csv=p=0", avi}, &probe));
    EXPECT_EQ(probe.trimmed(), QByteArray("pal8,13/2,4"));

    // Frames with colour tables of their own: 24-bit; a frame that does not cover the screen is composed.
    TGIFImage local;
    local.LoadFromFileName(DataPath("gif/anim.gif"));
    ConvertGraphic(&local, avi, DefaultPictureOption, false, 0x0000FF, QString());
    clip.LoadFromFileName(avi);
    ASSERT_EQ(clip.FrameCount(), local.FrameCount());
    for (int i = 0; i < clip.FrameCount(); ++i) {
        QImage expected(local.Width(), local.Height(), QImage::Format_RGB32);
        expected.fill(qRgb(255, 0, 0));
        QPainter(&expected).drawImage(0, 0, local.FrameImage(i + 1));
        EXPECT_TRUE(SamePixels(clip.FrameImage(i), expected)) << i;
    }
    // A GIF of one frame is a still picture, and AVI is no still format.
    TGIFImage one;
    one.SetImage(Photo());
    EXPECT_EQ(Message([&] { ConvertGraphic(&one, dir.filePath("one.avi"), DefaultPictureOption, false, 0, QString()); }),
              QStringLiteral("Unknown extension type"));
}

// An AVI clip becomes an animated GIF: delays of the frame time in hundredths, looping, the first frame
// opaque and the others transparent by default; the frames as the clip shows them.
TEST(ConvertFmt, AviToAnimatedGif) {
    QTemporaryDir dir;
    TAVIGraphic clip;
    clip.LoadFromFileName(WriteClip(dir.filePath("c.avi"), 5, 25)); // 40 ms a frame
    const QString out = dir.filePath("c.gif");
    ConvertGraphic(&clip, out, DefaultPictureOption, true, 0, QString());
    TGIFImage gif;
    gif.LoadFromFileName(out);
    ASSERT_EQ(gif.FrameCount(), 5);
    EXPECT_EQ(gif.LoopCount(), 0);
    EXPECT_EQ(gif.Frame(1).TransparentIndex, -1);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(gif.FrameDelay(i), 40) << i;
        // Netscape colours: white and (0, 102, 0) for (0, 100, 0).
        QImage expected = clip.FrameImage(i - 1);
        for (int y = 0; y < expected.height(); ++y)
            for (int x = 0; x < expected.width(); ++x)
                if (expected.pixel(x, y) == qRgb(0, 100, 0)) expected.setPixel(x, y, qRgb(0, 102, 0));
        EXPECT_TRUE(SamePixels(gif.FrameImage(i), expected)) << i;
    }
    EXPECT_GE(gif.Frame(2).TransparentIndex, 0);
    EXPECT_FALSE(gif.Frame(2).LocalColorTable) << "one global map";
    // Not animated: the still picture path (the frame shown).
    ConvertGraphic(&clip, dir.filePath("still.gif"), DefaultPictureOption, false, 0, QString());
    TGIFImage still;
    still.LoadFromFileName(dir.filePath("still.gif"));
    EXPECT_EQ(still.FrameCount(), 1);
    // Transparency off: no frame is transparent.
    TPictureOption opaque = DefaultPictureOption;
    opaque.GifTransparent = false;
    ConvertGraphic(&clip, out, opaque, true, 0, QString());
    gif.LoadFromFileName(out);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(gif.Frame(i).TransparentIndex, -1);
}

// An animated cursor becomes a GIF (delays of 30 hundredths) or a clip of ten frames a second, each
// frame drawn on the background alone; the cursor's frame and animation are as they were.
TEST(ConvertFmt, AnimatedCursorToGifAndAvi) {
    TAniGraphic cursor;
    cursor.LoadFromFileName(DataPath("ani/spin.ani"));
    cursor.ShowFrame(1);
    QTemporaryDir dir;
    const QString gifPath = dir.filePath("s.gif"), aviPath = dir.filePath("s.avi");
    ConvertGraphic(&cursor, gifPath, DefaultPictureOption, true, 0xFFFFFF, QString());
    ConvertGraphic(&cursor, aviPath, DefaultPictureOption, false, 0xFFFFFF, QString());
    EXPECT_EQ(cursor.FrameIndex(), 1);
    EXPECT_FALSE(cursor.Animating());
    TGIFImage gif;
    gif.LoadFromFileName(gifPath);
    ASSERT_EQ(gif.FrameCount(), 3);
    TAVIGraphic clip;
    clip.LoadFromFileName(aviPath);
    ASSERT_EQ(clip.FrameCount(), 3);
    EXPECT_EQ(clip.FrameInterval(), 100);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(gif.FrameDelay(i + 1), 300);
        QImage expected(20, 20, QImage::Format_RGB32);
        expected.fill(Qt::white);
        QPainter(&expected).drawImage(0, 0, QImage(DataPath(QStringLiteral("ani/frame-%1.png").arg(i))));
        EXPECT_TRUE(SamePixels(clip.FrameImage(i), expected, 1));
        EXPECT_TRUE(SamePixels(gif.FrameImage(i + 1), expected, 60)); // Netscape colours
    }
    // "Save animated file as" to AVI from a cursor also works without the flag, as the dispatch says.
    cursor.SetAnimating(true);
    ConvertGraphic(&cursor, aviPath, DefaultPictureOption, true, 0xFFFFFF, QString());
    EXPECT_TRUE(cursor.Animating());
    cursor.SetAnimating(false);
}

// The AVI compressor: chosen by the options, or asked for; a cancelled choice fails and leaves nothing.
TEST(ConvertFmt, AviCompressorChoice) {
    QTemporaryDir dir;
    TGIFImage gif;
    gif.LoadFromFileName(WriteAnimatedGif(dir.filePath("a.gif"), 3, 5));
    TPictureOption options = DefaultPictureOption;
    options.AviCompress = true;
    TCompressionAnswer answer;
    SetViewerServices(&answer);
    const QString avi = dir.filePath("a.avi");
    EXPECT_EQ(Message([&] { ConvertGraphic(&gif, avi, options, true, 0, QString()); }),
              QStringLiteral("Failed to etrieves the save options for AVI stream"));
    EXPECT_EQ(answer.Asked, QSize(20, 12));
    EXPECT_FALSE(QFile::exists(avi));
    answer.Answer = true;
    ConvertGraphic(&gif, avi, options, true, 0, QString());
    SetViewerServices(nullptr);
    QByteArray codec;
    ASSERT_TRUE(RunTool("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", avi}, &codec));
    EXPECT_EQ(codec.trimmed(), QByteArray("mjpeg"));
    options.AviCompressor = QStringLiteral("ffv1");
    ConvertGraphic(&gif, avi, options, true, 0, QString());
    ASSERT_TRUE(RunTool("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", avi}, &codec));
    EXPECT_EQ(codec.trimmed(), QByteArray("ffv1"));
    options.AviCompressor = QStringLiteral("nonesuch");
    EXPECT_EQ(Message([&] { ConvertGraphic(&gif, dir.filePath("b.avi"), options, true, 0, QString()); }),
              QStringLiteral("Failed to compress the save options for AVI stream"));
    EXPECT_EQ(Message([&] { ConvertGraphic(&gif, dir.filePath("no/b.avi"), DefaultPictureOption, true, 0, QString()); }),
              QStringLiteral("Failed to create AVI file"));
    EXPECT_EQ(Pixels(dir.path()), QStringLiteral("a.avi,a.gif"));
}

// The encrypted image holds the picture's own file, or the frame shown of an animation as a bitmap; a
// picture without a file, without a password or without a picture fails and writes nothing.
TEST(ConvertFmt, EncryptedImage) {
    QTemporaryDir dir;
    const QString png = dir.filePath("p.png");
    TImageGraphic photo(Photo());
    ConvertGraphic(&photo, png, DefaultPictureOption, false, 0, QString());
    TPictureOption options = DefaultPictureOption;
    options.Kind = pokCif;
    options.CifAlgorithm = 5;
    options.CifPassword = QStringLiteral("Secret");
    const QString cif = dir.filePath("p.cif");
    ConvertGraphic(&photo, cif, options, false, 0, png);
    EXPECT_EQ(ReadFile(cif).mid(5, 1), QByteArray(1, char(5)));
    TCIFGraphic back;
    back.SetPassword(QStringLiteral("SECRET")); // not case-sensitive
    class TPassword : public IViewerServices {
    public:
        bool RequestPassword(QString& password, bool ask, const QString&) override {
            password = QStringLiteral("secret");
            return !ask;
        }
    } passwords;
    SetViewerServices(&passwords);
    back.LoadFromFileName(cif);
    ASSERT_TRUE(back.Inner());
    EXPECT_EQ(back.Inner()->ClassName(), QStringLiteral("TPngGraphic"));
    EXPECT_TRUE(SamePixels(back.ToImage(), Photo()));

    TGIFImage anim;
    anim.LoadFromFileName(WriteAnimatedGif(dir.filePath("a.gif"), 3, 5));
    anim.SelectFrame(3);
    ConvertGraphic(&anim, dir.filePath("a.cif"), options, false, 0, QString());
    TCIFGraphic frame;
    frame.LoadFromFileName(dir.filePath("a.cif"));
    SetViewerServices(nullptr);
    ASSERT_TRUE(frame.Inner());
    EXPECT_EQ(frame.Inner()->ClassName(), QStringLiteral("TBitmap"));
    EXPECT_TRUE(SamePixels(frame.ToImage(), anim.FrameImage(3)));

    const QString before = Pixels(dir.path());
    EXPECT_EQ(Message([&] { ConvertGraphic(&photo, dir.filePath("x.cif"), options, false, 0, QString()); }),
              QStringLiteral("An encrypted image holds a picture file: this picture has none"));
    EXPECT_EQ(Message([&] { ConvertGraphic(&photo, dir.filePath("x.cif"), DefaultPictureOption, false, 0, png); }),
              QStringLiteral("An encrypted image needs a password"));
    TImageGraphic empty;
    EXPECT_EQ(Message([&] { ConvertGraphic(&empty, dir.filePath("x.cif"), options, false, 0, png); }),
              QStringLiteral("There is no picture to save"));
    EXPECT_EQ(Pixels(dir.path()), before);
}

TEST(ConvertFmt, ResizeIntoABox) {
    EXPECT_EQ(ResizeTarget({300, 200}, {100, 100}, true), QSize(100, 66));
    EXPECT_EQ(ResizeTarget({200, 300}, {100, 100}, true), QSize(66, 100));
    EXPECT_EQ(ResizeTarget({1, 1000}, {50, 50}, true), QSize(1, 50));
    EXPECT_EQ(ResizeTarget({10, 5}, {100, 100}, true), QSize(100, 50)); // enlarged too
    EXPECT_EQ(ResizeTarget({300, 200}, {100, 100}, false), QSize(100, 100));
    EXPECT_EQ(ResizeTarget({300, 100}, {90, 30}, true), QSize(90, 30));
    EXPECT_THROW(ResizeTarget({300, 200}, {0, 100}, true), EInvalidGraphicOperation);

    TImageGraphic source(MakeTestImage(90, 60));
    QTemporaryDir dir;
    QImage previous;
    for (int filter = 0; filter <= 6; ++filter) {
        SCOPED_TRACE(filter);
        QSize size(40, 40);
        const QString path = dir.filePath(QStringLiteral("r%1.jpg").arg(filter));
        ResizeAndSave(&source, path, DefaultPictureOption, 0, quint8(filter | kResizeKeepAspect), size);
        EXPECT_EQ(size, QSize(40, 26));
        const QImage image = Read(path)->ToImage();
        EXPECT_EQ(image.size(), QSize(40, 26));
        EXPECT_NE(image, previous);
        previous = image;
    }
    QSize size(17, 9);
    ResizeAndSave(&source, dir.filePath("r.gif"), DefaultPictureOption, 0, 1, size);
    EXPECT_EQ(size, QSize(17, 9));
    EXPECT_EQ(Read(dir.filePath("r.gif"))->ClassName(), QStringLiteral("TGIFImage"));
    // GIF options with Kind 2: a black and white thumbnail.
    TPictureOption mono = DefaultPictureOption;
    mono.Kind = pokGif;
    mono.GifColorReduction = 4;
    ResizeAndSave(&source, dir.filePath("m.gif"), mono, 0, 1, size);
    EXPECT_LE(Read(dir.filePath("m.gif"))->Palette().size(), 2);
    const QString before = Pixels(dir.path());
    size = QSize(0, 10);
    EXPECT_THROW(ResizeAndSave(&source, dir.filePath("z.jpg"), DefaultPictureOption, 0, 1, size), EInvalidGraphicOperation);
    size = QSize(10, 10);
    EXPECT_EQ(Message([&] { ResizeAndSave(&source, dir.filePath("z.png"), DefaultPictureOption, 0, 1, size); }),
              QStringLiteral("Unknown extension type"));
    EXPECT_EQ(Pixels(dir.path()), before);
}

TEST(ConvertFmt, SaveCommands) {
    const TSaveDialogSetup plain = SaveDialogSetup(0, TSaveSource::ssStill, QStringLiteral("/pics/a.b/photo.png"));
    EXPECT_TRUE(plain.Filter.startsWith(QStringLiteral("JPEG images(*.JPG)|*.JPG|CompuServe (87a, 89a)(*.GIF)|*.GIF|")));
    EXPECT_TRUE(plain.Filter.endsWith(
        QStringLiteral("|Plain Text File(*.PTF)|*.PTF|WebP pictures(*.WEBP)|*.WEBP|AV1 image file format(*.AVIF)|*.AVIF")));
    EXPECT_EQ(plain.Filter.count(QLatin1Char('|')), 29);
    EXPECT_EQ(plain.DefaultExt, QStringLiteral("JPG"));
    EXPECT_EQ(plain.FileName, QStringLiteral("/pics/a.b/photo"));
    EXPECT_EQ(SaveDialogSetup(0, TSaveSource::ssStill, QStringLiteral("/pics/a.b/photo")).FileName,
              QStringLiteral("/pics/a.b/photo"));
    EXPECT_EQ(SaveDialogSetup(0, TSaveSource::ssStill, QString()).FileName, QString());
    EXPECT_EQ(SaveDialogSetup(1, TSaveSource::ssAnimatedGif, {}).Filter, QStringLiteral("Audio/Video Interleave Files(*.AVI)|*.AVI"));
    EXPECT_EQ(SaveDialogSetup(1, TSaveSource::ssAnimatedCursor, {}).Filter,
              QStringLiteral("CompuServe (87a, 89a)(*.GIF)|*.GIF|Audio/Video Interleave Files(*.AVI)|*.AVI"));
    EXPECT_EQ(SaveDialogSetup(1, TSaveSource::ssVideo, {}).DefaultExt, QStringLiteral("GIF"));

    const char* exts[] = {"JPG", "GIF", "PNG", "TIF", "ICO", "CIF", "BMP", "WBMP",
                          "EMF", "PCX", "SCR", "TGA", "PTF", "WEBP", "AVIF"};
    for (int i = 1; i <= 15; ++i) {
        EXPECT_EQ(SaveDialogDefaultExt(0, TSaveSource::ssStill, i), QString::fromLatin1(exts[i - 1]));
        EXPECT_EQ(SaveDialogOptionEnabled(0, i), i <= 6 || i >= 14) << i;
        // Every filter of the plain save names a format the conversion writes (CIF is a container of its own).
        if (i != 6) EXPECT_NE(ConvertTargetClass(QString::fromLatin1(exts[i - 1])), nullptr) << i;
    }
    EXPECT_FALSE(SaveDialogOptionEnabled(0, 16));
    EXPECT_EQ(SaveDialogDefaultExt(1, TSaveSource::ssAnimatedCursor, 1), QStringLiteral("GIF"));
    EXPECT_EQ(SaveDialogDefaultExt(1, TSaveSource::ssAnimatedCursor, 2), QStringLiteral("AVI"));
    EXPECT_TRUE(SaveDialogOptionEnabled(1, 2));

    TPictureOption o = DefaultPictureOption;
    PrepareSaveOptions(o, 0, TSaveSource::ssStill, 3);
    EXPECT_EQ(o.Kind, pokPng);
    EXPECT_FALSE(o.GifAnimated);
    PrepareSaveOptions(o, 0, TSaveSource::ssStill, 2);
    EXPECT_EQ(o.Kind, pokGif);
    EXPECT_FALSE(o.GifAnimated);
    PrepareSaveOptions(o, 1, TSaveSource::ssAnimatedCursor, 1);
    EXPECT_EQ(o.Kind, pokGif);
    EXPECT_TRUE(o.GifAnimated);
    PrepareSaveOptions(o, 1, TSaveSource::ssAnimatedCursor, 2);
    EXPECT_EQ(o.Kind, pokAvi);
    PrepareSaveOptions(o, 1, TSaveSource::ssAnimatedGif, 1);
    EXPECT_EQ(o.Kind, pokAvi);
    PrepareSaveOptions(o, 1, TSaveSource::ssVideo, 1);
    EXPECT_EQ(o.Kind, pokGif);
    EXPECT_TRUE(o.GifAnimated);
    PrepareSaveOptions(o, 0, TSaveSource::ssStill, 14);
    EXPECT_EQ(o.Kind, pokWebP);
    PrepareSaveOptions(o, 0, TSaveSource::ssStill, 15);
    EXPECT_EQ(o.Kind, pokAvif);
    PrepareSaveOptions(o, 0, TSaveSource::ssStill, 13);
    EXPECT_EQ(o.Kind, pokNone);

    TAniGraphic cursor;
    EXPECT_EQ(SaveSourceOf(&cursor), TSaveSource::ssAnimatedCursor);
    TAVIGraphic clip;
    EXPECT_EQ(SaveSourceOf(&clip), TSaveSource::ssVideo);
    TGIFImage gif;
    EXPECT_EQ(SaveSourceOf(&gif), TSaveSource::ssStill);
    QTemporaryDir dir;
    gif.LoadFromFileName(WriteAnimatedGif(dir.filePath("a.gif"), 3, 5));
    EXPECT_EQ(SaveSourceOf(&gif), TSaveSource::ssAnimatedGif);
}

// Saving over the shown file replaces it only when the new file is complete; the messages the window
// shows.
TEST(ConvertFmt, SavingOverTheShownFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("photo.png");
    TImageGraphic photo(Photo());
    ConvertGraphic(&photo, path, DefaultPictureOption, false, 0, QString());
    auto shown = Read(path);
    QImage changed = Photo().mirrored();
    static_cast<TDibGraphic&>(*shown).SetImage(changed);
    TSaveResult r = SavePictureAs(shown.get(), path, DefaultPictureOption, 0, 0, path);
    EXPECT_TRUE(r.Saved);
    EXPECT_EQ(r.Message, QStringLiteral("File saved successfully"));
    EXPECT_EQ(r.Title, QStringLiteral("System Information"));
    EXPECT_TRUE(SamePixels(Read(path)->ToImage(), changed));
    // A failing save leaves the file as it was (a gamma out of the writer's range fails in the writer).
    const QByteArray before = ReadFile(path);
    TPictureOption bad = DefaultPictureOption;
    bad.Kind = pokPng;
    bad.PngGamma = 0;
    r = SavePictureAs(shown.get(), path, bad, 0, 0, path);
    EXPECT_FALSE(r.Saved);
    EXPECT_EQ(r.Message, QStringLiteral("Cannot save file"));
    EXPECT_EQ(r.Title, QStringLiteral("Error"));
    EXPECT_TRUE(r.Detail.contains(QStringLiteral("gamma"))) << r.Detail.toStdString();
    EXPECT_EQ(ReadFile(path), before);
    // The encrypted image of the shown file, written over another encrypted image of it.
    TPictureOption cif = DefaultPictureOption;
    cif.Kind = pokCif;
    cif.CifPassword = QStringLiteral("x");
    EXPECT_TRUE(SavePictureAs(shown.get(), dir.filePath("photo.cif"), cif, 0, 0, path).Saved);
    EXPECT_TRUE(SavePictureAs(shown.get(), dir.filePath("photo.cif"), cif, 0, 0, path).Saved);
    EXPECT_EQ(Pixels(dir.path()), QStringLiteral("photo.cif,photo.png"));
}
