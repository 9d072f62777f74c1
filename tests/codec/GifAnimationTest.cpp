#include "TestUtil.h"

#include "codec/Gif.h"
#include "codec/GifAnimation.h"
#include "codec/Limits.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QSet>

namespace {

// The blocks of a GIF file as stored, read with the published layout (not with giflib).
struct TBlock {
    char Kind;       // 'A' application extension, 'G' graphic control, 'I' image, 'X' other extension
    QByteArray Data; // the extension's sub-blocks joined; for 'I' the 9-byte descriptor
    bool LocalTable = false;
};
struct TParsed {
    QSize Screen;
    int GlobalColours = 0;
    QList<TBlock> Blocks;
};

TParsed Parse(const QByteArray& b) {
    TParsed out;
    EXPECT_EQ(b.left(6), QByteArray("GIF89a"));
    out.Screen = QSize(U16(b, 6), U16(b, 8));
    int pos = 13;
    if (uchar(b[10]) & 0x80) {
        out.GlobalColours = 2 << (uchar(b[10]) & 7);
        pos += 3 * out.GlobalColours;
    }
    auto subBlocks = [&](QByteArray* into) {
        while (pos < b.size()) {
            const int n = uchar(b[pos++]);
            if (n == 0) return;
            if (into) into->append(b.mid(pos, n));
            pos += n;
        }
    };
    while (pos < b.size()) {
        const uchar c = uchar(b[pos++]);
        if (c == 0x3B) break;
        if (c == 0x21) {
            const uchar label = uchar(b[pos++]);
            TBlock block{label == 0xFF ? 'A' : label == 0xF9 ? 'G' : 'X', {}};
            subBlocks(&block.Data);
            out.Blocks << block;
        } else if (c == 0x2C) {
            TBlock block{'I', b.mid(pos, 9)};
            const uchar flags = uchar(b[pos + 8]);
            pos += 9;
            block.LocalTable = flags & 0x80;
            if (block.LocalTable) pos += 3 * (2 << (flags & 7));
            ++pos; // LZW minimum code size
            subBlocks(nullptr);
            out.Blocks << block;
        } else {
            ADD_FAILURE() << "unexpected byte " << int(c) << " at " << pos - 1;
            break;
        }
    }
    return out;
}

QByteArray Save(const TGifAnimation& gif) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    gif.SaveToStream(buffer);
    return buffer.data();
}

std::unique_ptr<TGIFImage> Load(const QByteArray& bytes) { return LoadGraphic<TGIFImage>(bytes); }

// A few colours on a plain background: a square that moves, a bar that grows.
QImage Scene(int i, QSize size = QSize(24, 16)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(10, 20, 200));
    QPainter p(&image);
    p.fillRect(QRect(2 + 3 * i, 3, 4, 4), qRgb(250, 250, 0));
    p.fillRect(QRect(0, size.height() - 3, 2 + 4 * i, 2), qRgb(200, 0, 0));
    p.fillRect(QRect(size.width() - 5, 1, 3, 3), qRgb(0, 255, 0));
    return image;
}

::testing::AssertionResult Opaque(const QImage& image) {
    const QImage a = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (qAlpha(a.pixel(x, y)) != 255) return ::testing::AssertionFailure() << "transparent at " << x << "," << y;
    return ::testing::AssertionSuccess();
}

} // namespace

// Loop extension before the first frame, every frame's delay, the first frame opaque, later frames
// transparent with the index of their bottom-left pixel; the frames as composed equal the pictures.
TEST(GifAnimation, StructureAndFrames) {
    TGifAnimation gif;
    const int delays[] = {7, 30, 255};
    for (int i = 0; i < 3; ++i) gif.AddFrame(Scene(i), delays[i], true);
    const QByteArray bytes = Save(gif);
    const TParsed parsed = Parse(bytes);
    EXPECT_EQ(parsed.Screen, QSize(24, 16));
    ASSERT_GE(parsed.Blocks.size(), 7);
    EXPECT_EQ(parsed.Blocks[0].Kind, 'A');
    EXPECT_EQ(parsed.Blocks[0].Data, QByteArray("NETSCAPE2.0\x01\x00\x00", 14));
    QList<TBlock> controls, images;
    for (const TBlock& b : parsed.Blocks) (b.Kind == 'G' ? controls : b.Kind == 'I' ? images : controls) << b;
    ASSERT_EQ(images.size(), 3);
    ASSERT_EQ(controls.size(), 4); // the loop extension and three graphic controls
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const QByteArray gce = controls[i + 1].Data;
        ASSERT_EQ(gce.size(), 4);
        EXPECT_EQ(U16(gce, 1), delays[i]);
        EXPECT_EQ(bool(gce[0] & 1), i > 0) << "the first frame is never transparent";
    }

    auto back = Load(bytes);
    ASSERT_EQ(back->FrameCount(), 3);
    EXPECT_EQ(back->LoopCount(), 0);
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(back->FrameDelay(i), delays[i - 1] * 10);
        EXPECT_TRUE(Opaque(back->FrameImage(i)));
        EXPECT_TRUE(SamePixels(back->FrameImage(i), Scene(i - 1)));
    }
    // The transparent index is the one the bottom-left pixel has where the frame covers it.
    for (int i = 1; i < 3; ++i) {
        const TGifAnimation::TFrame& f = gif.Frame(i);
        ASSERT_GE(f.Transparent, 0);
        EXPECT_EQ(uchar(controls[i + 1].Data[3]), f.Transparent);
        const QPoint corner(0, 15);
        if (f.Rect.contains(corner)) EXPECT_EQ(f.Pixels.pixelIndex(corner - f.Rect.topLeft()), f.Transparent);
    }
}

// ImageMagick composes the frames we write the same way.
TEST(GifAnimation, ImageMagickComposesTheSameFrames) {
    const QString convert = QStringLiteral("/usr/bin/convert");
    ASSERT_TRUE(QFile::exists(convert)) << "ImageMagick is one of the test packages";
    QTemporaryDir dir;
    const QString path = dir.filePath("anim.gif");
    TGifAnimation gif;
    gif.SetOptimize(true, true);
    QVector<QImage> frames;
    for (int i = 0; i < 5; ++i) frames << Scene(i, QSize(40, 30));
    for (int i = 0; i < 5; ++i) gif.AddFrame(frames[i], 10, i % 2 == 1);
    gif.OptimizeColorMaps();
    gif.SaveToFileName(path);
    ASSERT_TRUE(RunTool(convert, {path, "-coalesce", dir.filePath("f-%d.png")}));
    QByteArray delays;
    ASSERT_TRUE(RunTool(QStringLiteral("/usr/bin/identify"), {"-format", "%T,%wx%h;", path}, &delays));
    const QList<QByteArray> seen = delays.split(';');
    ASSERT_EQ(seen.size(), 6) << delays.toStdString();
    EXPECT_EQ(seen[0], QByteArray("10,40x30"));
    EXPECT_EQ(seen[1], QByteArray("10,7x26")) << "cropped to the moving square and the growing bar";
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(SamePixels(QImage(dir.filePath(QStringLiteral("f-%1.png").arg(i))), frames[i]));
    }
}

// Crop: each later frame covers only what changed; a frame that changes nothing is one pixel.
// Merge: unchanged pixels inside it become transparent. Neither changes what is shown.
TEST(GifAnimation, CropAndMerge) {
    QImage a = Scene(0), b = a.copy(), c = a.copy();
    b.setPixel(5, 6, qRgb(0, 0, 0));
    b.setPixel(9, 8, qRgb(0, 0, 0));
    TGifAnimation gif;
    gif.SetOptimize(true, true);
    gif.AddFrame(a, 10, true);
    gif.AddFrame(b, 10, true);
    gif.AddFrame(b, 10, true);
    gif.AddFrame(c, 10, false);
    EXPECT_EQ(gif.Frame(0).Rect, QRect(0, 0, 24, 16));
    EXPECT_EQ(gif.Frame(1).Rect, QRect(QPoint(5, 6), QPoint(9, 8)));
    EXPECT_EQ(gif.Frame(1).Pixels.pixelIndex(1, 0), gif.Frame(1).Transparent) << "unchanged pixels are merged";
    EXPECT_NE(gif.Frame(1).Pixels.pixelIndex(0, 0), gif.Frame(1).Transparent);
    EXPECT_EQ(gif.Frame(2).Rect.size(), QSize(1, 1));
    EXPECT_EQ(gif.Frame(3).Rect, gif.Frame(1).Rect);
    EXPECT_EQ(gif.Frame(3).Transparent, -1);
    auto back = Load(Save(gif));
    const QImage expected[] = {a, b, b, c};
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(SamePixels(back->FrameImage(i + 1), expected[i])) << i;
}

// The bottom-left colour is transparent only where the screen already shows it: a pixel of that colour
// over another colour is drawn, so the frame before never shows through.
TEST(GifAnimation, TransparentColourNeverShowsTheFrameBefore) {
    QImage first(8, 4, QImage::Format_RGB32), second(8, 4, QImage::Format_RGB32);
    first.fill(qRgb(255, 255, 255));
    first.setPixel(3, 1, qRgb(255, 0, 0));
    second.fill(qRgb(255, 255, 255)); // bottom-left white: the transparent colour
    second.setPixel(6, 2, qRgb(0, 0, 255));
    TGifAnimation gif; // no crop, no merge
    gif.AddFrame(first, 5, true);
    gif.AddFrame(second, 5, true);
    const TGifAnimation::TFrame& f = gif.Frame(1);
    EXPECT_EQ(f.Rect, QRect(0, 0, 8, 4));
    EXPECT_EQ(f.Pixels.pixelIndex(0, 3), f.Transparent);
    EXPECT_NE(f.Pixels.pixelIndex(3, 1), f.Transparent); // white over red
    auto back = Load(Save(gif));
    EXPECT_TRUE(SamePixels(back->FrameImage(2), second));
}

// One global map when the colours fit: no frame carries a table of its own, the map holds only colours
// used, the most used first; the pictures stay the same.
TEST(GifAnimation, ColourMapsOptimised) {
    TGifAnimation gif;
    gif.SetOptimize(true, true);
    for (int i = 0; i < 4; ++i) gif.AddFrame(Scene(i), 10, true);
    const QByteArray before = Save(gif);
    gif.OptimizeColorMaps();
    const QByteArray after = Save(gif);
    const TParsed parsed = Parse(after);
    for (const TBlock& b : parsed.Blocks)
        if (b.Kind == 'I') EXPECT_FALSE(b.LocalTable);
    const QVector<QRgb> global = gif.GlobalColorTable();
    EXPECT_LE(global.size(), 6); // four colours of the scenes and the transparent entry
    EXPECT_EQ(global[0] & 0xFFFFFF, qRgb(10, 20, 200) & 0xFFFFFF) << "the background is used most";
    EXPECT_LT(after.size(), before.size());
    auto a = Load(before), b = Load(after);
    for (int i = 1; i <= 4; ++i) EXPECT_TRUE(SamePixels(a->FrameImage(i), b->FrameImage(i))) << i;

    // Too many colours for one map: each frame keeps its own.
    TGifAnimation many;
    for (int i = 0; i < 2; ++i) {
        QImage image(20, 20, QImage::Format_RGB32);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) image.setPixel(x, y, qRgb(x * 12 + i, y * 12, 7 + i * 100));
        many.AddFrame(image, 10, false);
    }
    many.OptimizeColorMaps();
    const TParsed two = Parse(Save(many));
    int local = 0;
    for (const TBlock& b : two.Blocks) local += b.Kind == 'I' && b.LocalTable;
    EXPECT_EQ(local, 1); // the first frame's colours are the global map
}

// The colour reduction of the save options: the Netscape palette gives multiples of 51 only.
TEST(GifAnimation, ColourReductionFromTheOptions) {
    TGifAnimation gif;
    ASSERT_TRUE(gif.SetSaveOption("reduction", "netscape"));
    ASSERT_TRUE(gif.SetSaveOption("dither", "floyd"));
    EXPECT_FALSE(gif.SetSaveOption("quality", "3"));
    EXPECT_THROW(gif.SetSaveOption("reduction", "9"), EInvalidGraphicOperation);
    gif.AddFrame(MakeTestImage(30, 20), 10, false);
    gif.AddFrame(MakeTestImage(30, 20).mirrored(), 10, true);
    auto back = Load(Save(gif));
    for (int f = 1; f <= 2; ++f) {
        const QImage image = back->FrameImage(f);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 30; ++x) {
                const QRgb c = image.pixel(x, y);
                ASSERT_EQ(qRed(c) % 51 + qGreen(c) % 51 + qBlue(c) % 51, 0) << f << " " << x << "," << y;
            }
    }
}

TEST(GifAnimation, Failures) {
    TGifAnimation gif;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_THROW(gif.SaveToStream(buffer), EInvalidGraphicOperation);
    EXPECT_THROW(gif.AddFrame(QImage(), 10, false), EInvalidGraphicOperation);
    gif.AddFrame(Scene(0), 10, false);
    QTemporaryDir dir;
    EXPECT_THROW(gif.SaveToFileName(dir.filePath("missing/a.gif")), EWriteError);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    // A picture larger than the screen is cut to it; a smaller one leaves the rest as it was.
    gif.AddFrame(Scene(1, QSize(30, 30)), 10, false);
    gif.AddFrame(QImage(4, 4, QImage::Format_RGB32), 10, false);
    EXPECT_EQ(gif.ScreenSize(), QSize(24, 16));
    auto back = Load(Save(gif));
    EXPECT_EQ(back->FrameImage(3).pixel(10, 10), Scene(1, QSize(30, 30)).pixel(10, 10));
}

// The frames kept stay within the pixel limit: a long clip is refused, not allowed to exhaust memory.
TEST(GifAnimation, FramesKeptStayWithinThePixelLimit) {
    const qint64 before = PixelLimit();
    SetPixelLimit(24 * 16 * 3);
    TGifAnimation gif; // no crop: every frame is kept whole
    gif.AddFrame(Scene(0), 10, false);
    gif.AddFrame(Scene(1), 10, false);
    gif.AddFrame(Scene(2), 10, false);
    EXPECT_THROW(gif.AddFrame(Scene(3), 10, false), EInvalidGraphicOperation);
    SetPixelLimit(before);
    EXPECT_EQ(gif.FrameCount(), 3);
}
