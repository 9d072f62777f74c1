#include "TestUtil.h"

#include "codec/Gif.h"
#include "codec/Limits.h"

#include <QBuffer>
#include <QMimeData>
#include <QSet>
#include <QTemporaryDir>

namespace {

QString GifPath(const QString& name) { return DataPath(QStringLiteral("gif/") + name); }

QImage LoadRef(const QString& name) {
    QImage ref(GifPath(name));
    EXPECT_FALSE(ref.isNull()) << name.toStdString();
    return ref;
}

std::unique_ptr<TGIFImage> LoadGif(const QByteArray& bytes) { return LoadGraphic<TGIFImage>(bytes); }

QByteArray SaveGif(const TGIFImage& g) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    g.SaveToStream(buffer);
    return bytes;
}

QByteArray SaveGif(const QImage& image) {
    TGIFImage g;
    g.SetImage(image);
    return SaveGif(g);
}

// Pixels compared premultiplied: where a pixel is transparent its colour does not matter.
::testing::AssertionResult SameComposed(const QImage& a, const QImage& b) {
    QImage pa = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage pb = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    pa.reinterpretAsFormat(QImage::Format_ARGB32);
    pb.reinterpretAsFormat(QImage::Format_ARGB32);
    return SamePixels(pa, pb);
}

} // namespace

TEST(Gif, ComposesEveryFrameLikeAnIndependentDecoder) {
    TGIFImage g;
    g.LoadFromFileName(GifPath(QStringLiteral("anim.gif")));
    ASSERT_EQ(g.FrameCount(), 5);
    // ImageMagick's "-loop 3" (three plays) is stored as 2 repetitions after the first play.
    EXPECT_EQ(g.LoopCount(), 2);
    EXPECT_EQ(g.Width(), 40);
    EXPECT_EQ(g.Height(), 30);
    const int delays[] = {100, 200, 350, 50, 500};
    const TGifDisposal disposals[] = {TGifDisposal::None, TGifDisposal::Background, TGifDisposal::Previous,
                                      TGifDisposal::Background, TGifDisposal::None};
    for (int i = 1; i <= 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(g.FrameDelay(i), delays[i - 1]);
        EXPECT_EQ(g.Frame(i).Disposal, disposals[i - 1]);
        EXPECT_TRUE(SameComposed(g.FrameImage(i), LoadRef(QStringLiteral("ref-anim-%1.png").arg(i - 1))));
    }
    EXPECT_EQ(g.Frame(2).Bounds, QRect(5, 4, 12, 10));
    EXPECT_TRUE(g.HasTransparentFrame());
    // Background disposal of frame 2 leaves a transparent hole that frame 3 does not cover.
    EXPECT_EQ(qAlpha(g.FrameImage(3).pixel(6, 5)), 0);
    EXPECT_EQ(qAlpha(g.FrameImage(1).pixel(6, 5)), 255);
}

TEST(Gif, ClipsFramesOutsideTheScreenAndReadsTheLoopCount) {
    TGIFImage g;
    g.LoadFromFileName(GifPath(QStringLiteral("outside.gif")));
    ASSERT_EQ(g.FrameCount(), 2);
    EXPECT_EQ(g.LoopCount(), 0);
    EXPECT_EQ(g.Frame(2).Bounds, QRect(30, 20, 20, 16));
    EXPECT_EQ(g.FrameImage(2).size(), QSize(40, 30));
    EXPECT_TRUE(SameComposed(g.FrameImage(1), LoadRef(QStringLiteral("ref-outside-0.png"))));
    EXPECT_TRUE(SameComposed(g.FrameImage(2), LoadRef(QStringLiteral("ref-outside-1.png"))));
}

TEST(Gif, StillAndInterlacedPictures) {
    for (const char* name : {"still", "interlaced"}) {
        SCOPED_TRACE(name);
        TGIFImage g;
        g.LoadFromFileName(GifPath(QString::fromLatin1(name) + QStringLiteral(".gif")));
        EXPECT_EQ(g.FrameCount(), 1);
        EXPECT_EQ(g.LoopCount(), -1);
        EXPECT_FALSE(g.HasTransparentFrame());
        EXPECT_EQ(g.Frame(1).Interlaced, QByteArray(name) == "interlaced");
        EXPECT_TRUE(SameComposed(g.Image(), LoadRef(QStringLiteral("ref-%1-0.png").arg(QLatin1String(name)))));
    }
}

TEST(Gif, SelectingFrames) {
    TGIFImage g;
    int changes = 0;
    g.OnChange = [&](TGraphic*) { ++changes; };
    g.LoadFromFileName(GifPath(QStringLiteral("anim.gif")));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(g.CurrentFrame(), 1);
    g.SelectFrame(4);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(g.CurrentFrame(), 4);
    EXPECT_EQ(g.Image(), g.FrameImage(4));
    try {
        g.SelectFrame(6);
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Frame 6 does not exist (the picture has 5)"));
    }
    EXPECT_THROW(g.SelectFrame(0), EInvalidGraphicOperation);
    EXPECT_EQ(g.CurrentFrame(), 4);

    // A copy keeps the frames and the frame shown; a plain picture assigned makes it a single frame.
    TGIFImage copy;
    copy.Assign(g);
    EXPECT_EQ(copy.FrameCount(), 5);
    EXPECT_EQ(copy.CurrentFrame(), 4);
    EXPECT_EQ(copy.LoopCount(), 2);
    TImageGraphic plain(MakeTestImage(8, 8));
    copy.Assign(plain);
    EXPECT_EQ(copy.FrameCount(), 1);
    EXPECT_EQ(copy.LoopCount(), -1);
    EXPECT_TRUE(SamePixels(copy.FrameImage(1), plain.Image()));
}

TEST(Gif, WritesPalettePicturesExactly) {
    QImage indexed(23, 17, QImage::Format_Indexed8);
    QVector<QRgb> table;
    for (int i = 0; i < 37; ++i) table << qRgb(i * 7, 255 - i * 5, (i * 31) % 256);
    indexed.setColorTable(table);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x) indexed.setPixel(x, y, uint((x * 3 + y * 5) % 37));
    auto back = LoadGif(SaveGif(indexed));
    EXPECT_TRUE(SamePixels(back->Image(), indexed));
    EXPECT_EQ(back->FrameCount(), 1);

    // A palette entry that is fully transparent becomes the transparent colour.
    table[5] = qRgba(0, 0, 0, 0);
    indexed.setColorTable(table);
    back = LoadGif(SaveGif(indexed));
    EXPECT_TRUE(back->HasTransparentFrame());
    EXPECT_TRUE(SameComposed(back->Image(), indexed));

    QImage mono = MakeTestImage(30, 9).convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    EXPECT_TRUE(SamePixels(LoadGif(SaveGif(mono))->Image(), mono));
}

TEST(Gif, WritesTrueColourPicturesReduced) {
    // Few colours: exact.
    QImage few(31, 20, QImage::Format_RGB32);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 31; ++x) few.setPixel(x, y, qRgb((x / 4) * 30, (y / 4) * 50, 77));
    EXPECT_TRUE(SamePixels(LoadGif(SaveGif(few))->Image(), few));

    // Many colours: at most 256, each pixel close to its original.
    const QImage many = MakeTestImage(64, 48);
    const QImage back = LoadGif(SaveGif(many))->Image();
    EXPECT_TRUE(SamePixels(back, many, 24));
    QSet<QRgb> colours;
    for (int y = 0; y < back.height(); ++y)
        for (int x = 0; x < back.width(); ++x) colours.insert(back.pixel(x, y));
    EXPECT_LE(colours.size(), 256);
    EXPECT_GT(colours.size(), 64);

    // Alpha: pixels below half opacity become transparent, the others opaque.
    QImage alpha = few.convertToFormat(QImage::Format_ARGB32);
    for (int x = 0; x < 31; ++x) alpha.setPixel(x, 3, qRgba(10, 20, 30, x < 15 ? 0 : 200));
    const QImage a = LoadGif(SaveGif(alpha))->Image();
    for (int x = 0; x < 31; ++x) EXPECT_EQ(qAlpha(a.pixel(x, 3)), x < 15 ? 0 : 255) << x;
    EXPECT_EQ(a.pixel(20, 3), qRgb(10, 20, 30));
    EXPECT_EQ(a.pixel(4, 10), few.pixel(4, 10));
}

TEST(Gif, WritesTheCurrentFrame) {
    TGIFImage g;
    g.LoadFromFileName(GifPath(QStringLiteral("anim.gif")));
    g.SelectFrame(3);
    auto back = LoadGif(SaveGif(g));
    EXPECT_EQ(back->FrameCount(), 1);
    EXPECT_TRUE(SameComposed(back->Image(), g.FrameImage(3)));
}

TEST(Gif, ClipboardCarriesTheGifData) {
    TGIFImage g;
    g.SetImage(MakeTestImage(12, 12).convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither));
    QMimeData data;
    g.SaveToClipboardData(data);
    EXPECT_TRUE(data.hasFormat(QStringLiteral("image/gif")));
    EXPECT_TRUE(data.hasImage());
    TGIFImage back;
    back.LoadFromClipboardData(data);
    EXPECT_TRUE(SamePixels(back.Image(), g.Image()));
    EXPECT_EQ(TGIFImage::ClipboardFormatName(), QStringLiteral("GIF Image"));
}

TEST(Gif, ErrorsAreClearExceptions) {
    try {
        LoadGif(QByteArray("P6\n1 1\n255\nabc"));
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Not a valid GIF file: Data is not in GIF format"));
    }
    try {
        // Header and screen, then the trailer: no frame.
        LoadGif(QByteArray("GIF89a\x02\x00\x02\x00\x00\x00\x00\x3b", 14));
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The GIF file holds no picture"));
    }
    const qint64 limit = PixelLimit();
    SetPixelLimit(1000);
    EXPECT_THROW(LoadGif(ReadFile(GifPath(QStringLiteral("anim.gif")))), EInvalidGraphic);
    // The screen fits, but not all five frames (1200 + 120 + 180 + 80 + 64 pixels): the animation ends
    // at the limit.
    SetPixelLimit(1500);
    EXPECT_EQ(LoadGif(ReadFile(GifPath(QStringLiteral("anim.gif"))))->FrameCount(), 3);
    SetPixelLimit(limit);
}

// Cut files keep the frames complete so far; a cut first frame is kept as far as it was decoded.
TEST(Gif, TruncatedFilesKeepTheCompleteFrames) {
    const QByteArray bytes = ReadFile(GifPath(QStringLiteral("anim.gif")));
    int lastCount = 0;
    for (qsizetype cut = 40; cut < bytes.size(); cut += 53) {
        SCOPED_TRACE(cut);
        std::unique_ptr<TGIFImage> g;
        try {
            g = LoadGif(bytes.left(cut));
        } catch (const EInvalidGraphic&) {
            EXPECT_LT(cut, 800) << "only a cut before the first frame's data may fail";
            continue;
        }
        EXPECT_GE(g->FrameCount(), lastCount);
        EXPECT_TRUE(g->Truncated());
        lastCount = g->FrameCount();
        for (int i = 2; i <= g->FrameCount(); ++i)
            EXPECT_TRUE(SameComposed(g->FrameImage(i), LoadRef(QStringLiteral("ref-anim-%1.png").arg(i - 1))));
    }
    EXPECT_EQ(lastCount, 4);
    EXPECT_FALSE(LoadGif(bytes)->Truncated());

    // The first frame cut in the middle: its upper rows are there, the rest is transparent.
    const QImage ref = LoadRef(QStringLiteral("ref-still-0.png"));
    const QByteArray still = ReadFile(GifPath(QStringLiteral("still.gif")));
    auto g = LoadGif(still.left(still.size() / 2));
    ASSERT_EQ(g->FrameCount(), 1);
    EXPECT_EQ(g->Image().size(), ref.size());
    EXPECT_TRUE(SamePixels(g->Image().copy(0, 0, 61, 5), ref.copy(0, 0, 61, 5)));
    EXPECT_EQ(qAlpha(g->Image().pixel(60, 46)), 0);
    EXPECT_TRUE(g->Truncated());
}

TEST(Gif, CommandLineFramesAndConversion) {
    const QString anim = GifPath(QStringLiteral("anim.gif"));
    QString out;
    ASSERT_EQ(RunCli({QStringLiteral("info"), anim}, &out), 0) << out.toStdString();
    EXPECT_EQ(out.trimmed(), anim + QStringLiteral("\tTGIFImage\t40x30\tpages=1\tframes=5"));
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("frame2.gif"));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), anim, gif, QStringLiteral("--frame"), QStringLiteral("2")}), 0);
    TGIFImage g;
    g.LoadFromFileName(gif);
    EXPECT_TRUE(SameComposed(g.Image(), LoadRef(QStringLiteral("ref-anim-1.png"))));
    EXPECT_NE(RunCli({QStringLiteral("convert"), anim, gif, QStringLiteral("--frame"), QStringLiteral("9")}), 0);
}

// Frames are composed when asked for: any order of access gives the same pictures.
TEST(Gif, FramesInAnyOrder) {
    TGIFImage g;
    g.LoadFromFileName(GifPath(QStringLiteral("many.gif")));
    ASSERT_EQ(g.FrameCount(), 21);
    EXPECT_EQ(g.Frame(1).Bounds, QRect(0, 0, 40, 30));
    EXPECT_EQ(g.Frame(3).Bounds, QRect(7, 5, 7, 6));
    for (int frame : {17, 3, 21, 9, 10, 11, 1, 16, 2, 20, 8, 9, 5}) {
        SCOPED_TRACE(frame);
        EXPECT_TRUE(SameComposed(g.FrameImage(frame), LoadRef(QStringLiteral("ref-many-%1.png").arg(frame - 1))));
        if (frame % 2) {
            g.SelectFrame(frame);
            EXPECT_TRUE(SameComposed(g.Image(), LoadRef(QStringLiteral("ref-many-%1.png").arg(frame - 1))));
        }
    }
    // Playing through from the start, as an animation does.
    for (int frame = 1; frame <= 21; ++frame) {
        g.SelectFrame(frame);
        EXPECT_TRUE(SameComposed(g.Image(), LoadRef(QStringLiteral("ref-many-%1.png").arg(frame - 1)))) << frame;
    }
}
