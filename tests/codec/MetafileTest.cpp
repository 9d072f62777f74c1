#include "TestUtil.h"

#include "codec/DibGraphic.h"
#include "codec/Metafile.h"
#include "codec/Registry.h"
#include "formats/Formats.h"

#include <QBuffer>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>

namespace {

std::unique_ptr<TMetafile> LoadMetafile(const QByteArray& bytes) { return LoadGraphic<TMetafile>(bytes); }

QImage Render(const TMetafile& m, QSize size = QSize()) { return m.ToImage(size, 0xFFFFFF); }
QImage Render(const std::unique_ptr<TMetafile>& m, QSize size = QSize()) { return Render(*m, size); }

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

constexpr QRgb kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

// Walks the records of a WMF (after any placeable header) and drops those with the given function.
QByteArray DropWmfRecords(const QByteArray& file, quint16 function) {
    const int start = (uchar(file[0]) == 0xD7 && uchar(file[1]) == 0xCD) ? 22 : 0;
    QByteArray out = file.left(start + 18);
    int pos = start + 18;
    while (pos + 6 <= file.size()) {
        const quint32 words = quint32(uchar(file[pos])) | (quint32(uchar(file[pos + 1])) << 8) |
                              (quint32(uchar(file[pos + 2])) << 16);
        const quint16 f = quint16(uchar(file[pos + 4]) | (uchar(file[pos + 5]) << 8));
        if (f != function) out += file.mid(pos, int(words * 2));
        pos += int(words * 2);
    }
    return out;
}

// Bounding box of the pixels that are not white.
QRect InkBox(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (At(image, x, y) != kWhite) box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

// The shapes of shapes.wmf (placeable: 1000 x 500 units at 480 per inch) land where their logical
// coordinates say, at the nominal size and at twice and at a distorted size.
TEST(Metafile, PlaceableWmfDrawsItsShapesAtAnySize) {
    const auto m = LoadMetafile(ReadFile(DataPath("wmf/shapes.wmf")));
    EXPECT_FALSE(m->Enhanced());
    EXPECT_EQ(m->Width(), 200);
    EXPECT_EQ(m->Height(), 100);
    for (const QSize size : {QSize(200, 100), QSize(400, 200), QSize(600, 100)}) {
        const double kx = size.width() / 200.0, ky = size.height() / 100.0;
        const QImage img = Render(m, size);
        auto at = [&](double x, double y) { return At(img, int(x * kx), int(y * ky)); };
        SCOPED_TRACE(size.width());
        // Red rectangle (20,20)-(80,80), no outline.
        EXPECT_EQ(at(50, 50), kRed);
        EXPECT_EQ(at(21, 21), kRed);
        EXPECT_EQ(at(79, 79), kRed);
        EXPECT_EQ(at(18, 50), kWhite);
        EXPECT_EQ(at(82, 50), kWhite);
        // Blue ellipse, centre (140,50), radii 40 x 30: inside near its ends, outside at the box corners.
        EXPECT_EQ(at(140, 50), kBlue);
        EXPECT_EQ(at(103, 50), kBlue);
        EXPECT_EQ(at(140, 23), kBlue);
        EXPECT_EQ(at(104, 23), kWhite);
        EXPECT_EQ(at(176, 77), kWhite);
        // Green polyline at y 90, 10 units (2 pixels) wide.
        EXPECT_EQ(at(100, 90), qRgb(0, 160, 0) & 0xFFFFFF);
        EXPECT_EQ(at(100, 86), kWhite);
        EXPECT_EQ(at(100, 94), kWhite);
        // Text "Hi": ink in its box only.
        const QRect ink = InkBox(img.copy(int(85 * kx), 0, int(60 * kx), int(18 * ky)));
        EXPECT_FALSE(ink.isEmpty());
    }
    // Text height follows the scale: the ink of "Hi" at twice the size is about twice as high.
    const QRect small = InkBox(Render(m).copy(85, 0, 60, 18));
    const QRect big = InkBox(Render(m, QSize(400, 200)).copy(170, 0, 120, 36));
    EXPECT_NEAR(big.height(), 2 * small.height(), 3);
    EXPECT_GE(small.height(), 10);
}

TEST(Metafile, UnknownRecordsAreSkipped) {
    const QByteArray withUnknown = ReadFile(DataPath("wmf/shapes.wmf"));
    const QByteArray without = DropWmfRecords(withUnknown, 0x0999);
    ASSERT_LT(without.size(), withUnknown.size());
    EXPECT_TRUE(SamePixels(Render(LoadMetafile(withUnknown)), Render(LoadMetafile(without))));
    // world.emf ends with a record of an unknown type before EOF: everything before it is drawn.
    const QImage img = Render(LoadMetafile(ReadFile(DataPath("wmf/world.emf"))));
    EXPECT_EQ(At(img, 180, 90), kGreen);
}

// Without a placeable header the window extent gives the size; both polygon fill modes.
TEST(Metafile, PlainWmfTakesItsSizeFromTheWindowAndHonoursFillModes) {
    const auto m = LoadMetafile(ReadFile(DataPath("wmf/plain.wmf")));
    EXPECT_EQ(m->Width(), 300);
    EXPECT_EQ(m->Height(), 150);
    for (const QSize size : {QSize(300, 150), QSize(150, 75)}) {
        const double k = size.width() / 300.0;
        const QImage img = Render(m, size);
        auto at = [&](double x, double y) { return At(img, int(x * k), int(y * k)); };
        EXPECT_EQ(at(30, 30), kBlack);
        EXPECT_EQ(at(75, 75), kWhite); // alternate: the inner square is a hole
        EXPECT_EQ(at(180, 30), kBlack);
        EXPECT_EQ(at(225, 75), kBlack); // winding: filled
        EXPECT_EQ(at(150, 75), kWhite);
    }
}

// World transform, stock objects, SaveDC/IntersectClipRect/RestoreDC(-1).
TEST(Metafile, EmfWorldTransformClippingAndSavedStates) {
    const auto m = LoadMetafile(ReadFile(DataPath("wmf/world.emf")));
    EXPECT_TRUE(m->Enhanced());
    EXPECT_EQ(m->Width(), 200);
    EXPECT_EQ(m->Height(), 100);
    for (const int k : {1, 2}) {
        const QImage img = Render(m, QSize(200 * k, 100 * k));
        auto at = [&](int x, int y) { return At(img, x * k, y * k); };
        // Rectangle(10,10)-(40,40) scaled by 2 and moved by 20: (40,20)-(100,80).
        EXPECT_EQ(at(41, 21), kBlack);
        EXPECT_EQ(at(98, 78), kBlack);
        EXPECT_EQ(at(38, 50), kWhite);
        EXPECT_EQ(at(102, 50), kWhite);
        EXPECT_EQ(at(70, 18), kWhite);
        // Red rectangle (110,10)-(190,90) clipped to x 120..160.
        EXPECT_EQ(at(115, 50), kWhite);
        EXPECT_EQ(at(121, 50), kRed);
        EXPECT_EQ(at(158, 50), kRed);
        EXPECT_EQ(at(165, 50), kWhite);
        // After RestoreDC(-1) the clip is gone: green at (170,85)-(190,95).
        EXPECT_EQ(at(180, 90), kGreen);
    }
}

// StretchDIBits / StretchDIB of a bottom-up 8-bit DIB: quadrants in the right places at two sizes.
TEST(Metafile, DibRecordsKeepOrientationAndScale) {
    for (const char* name : {"wmf/dib.emf", "wmf/dib.wmf"}) {
        SCOPED_TRACE(name);
        const auto m = LoadMetafile(ReadFile(DataPath(name)));
        EXPECT_EQ(m->Width(), 40);
        EXPECT_EQ(m->Height(), 40);
        for (const int k : {1, 3}) {
            const QImage img = Render(m, QSize(40 * k, 40 * k));
            EXPECT_EQ(At(img, 5 * k, 5 * k), kRed);
            EXPECT_EQ(At(img, 35 * k, 5 * k), kGreen);
            EXPECT_EQ(At(img, 5 * k, 35 * k), kBlue);
            EXPECT_EQ(At(img, 35 * k, 35 * k), kWhite);
            // Each source pixel covers 10 x 10 (times k) pixels.
            EXPECT_EQ(At(img, 19 * k, 19 * k), kRed);
            EXPECT_EQ(At(img, 20 * k, 19 * k), kGreen);
        }
    }
}

// MM_ANISOTROPIC with y upwards, then MM_LOMETRIC against the 96 dpi reference device, RestoreDC(1).
TEST(Metafile, EmfMappingModes) {
    const QImage img = Render(LoadMetafile(ReadFile(DataPath("wmf/mapping.emf"))));
    EXPECT_EQ(At(img, 50, 75), kBlack);
    EXPECT_EQ(At(img, 98, 98), kBlack);
    EXPECT_EQ(At(img, 50, 45), kWhite);
    EXPECT_EQ(At(img, 102, 75), kWhite);
    // 10 mm = 37.8 pixels from (100,0).
    EXPECT_EQ(At(img, 101, 1), kBlack);
    EXPECT_EQ(At(img, 136, 36), kBlack);
    EXPECT_EQ(At(img, 140, 10), kWhite);
    EXPECT_EQ(At(img, 110, 40), kWhite);
}

// ExtTextOutW with an advance array, centred: the ink spans the advances.
TEST(Metafile, EmfTextUsesAdvancesAndAlignment) {
    const auto m = LoadMetafile(ReadFile(DataPath("wmf/text.emf")));
    for (const int k : {1, 2}) {
        const QRect ink = InkBox(Render(m, QSize(200 * k, 60 * k)));
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_GE(ink.left(), 54 * k);
        EXPECT_LE(ink.left(), 62 * k);
        EXPECT_GE(ink.right(), 128 * k);
        EXPECT_LE(ink.right(), 145 * k);
        EXPECT_GE(ink.top(), 10 * k); // TA_TOP at y 10
        EXPECT_LE(ink.height(), 40 * k);
        EXPECT_GE(ink.height(), 20 * k);
    }
}

// Files written by Inkscape from inkscape.svg (its own PNG rendering is inkscape-ref.png): same shapes.
TEST(Metafile, InkscapeExportsMatchTheirSource) {
    const QImage ref = QImage(DataPath("wmf/inkscape-ref.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(ref.isNull());
    for (const char* name : {"wmf/inkscape.emf", "wmf/inkscape.wmf"}) {
        SCOPED_TRACE(name);
        const auto m = LoadMetafile(ReadFile(DataPath(name)));
        EXPECT_EQ(m->Width(), 200);
        EXPECT_NEAR(m->Height(), 100, 2); // the EMF frame says 102
        const QImage img = Render(m);
        EXPECT_EQ(At(img, 50, 30), kRed);
        EXPECT_EQ(At(img, 140, 50), kBlue);
        EXPECT_EQ(At(img, 50, 50), kGreen); // the rotated green rectangle
        EXPECT_EQ(At(img, 10, 10), kWhite);
        // Away from edges (where the reference is antialiased) the pixels agree.
        int differ = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x) {
                const QRgb a = img.pixel(x, y), b = ref.pixel(x, y);
                if (std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) > 60)
                    ++differ;
            }
        EXPECT_LT(differ, 200 * 100 * 3 / 100);
    }
}

// inkscape-rich.svg exported by Inkscape: text as paths, Bezier curves, a dashed line, an even-odd
// polygon with a hole, and (EMF only: the WMF export drops it) a clip path in a saved state.
TEST(Metafile, InkscapeExportsWithPathsClipsAndDashes) {
    for (const char* name : {"wmf/inkscape-rich.emf", "wmf/inkscape-rich.wmf"}) {
        SCOPED_TRACE(name);
        const bool emf = QByteArray(name).endsWith("emf");
        const auto m = LoadMetafile(ReadFile(DataPath(name)));
        const QImage img = Render(m);
        EXPECT_EQ(At(img, 145, 32), 0xFFAA00u);  // the triangle
        EXPECT_EQ(At(img, 145, 17), kWhite);     // its even-odd hole
        EXPECT_EQ(At(img, 200, 30), 0x00AA00u);  // the green square inside the circle
        EXPECT_EQ(At(img, 175, 5), emf ? kWhite : 0x00AA00u); // outside the circle: clipped in the EMF
        const QRect text = InkBox(img.copy(0, 0, 125, 45));
        EXPECT_GE(text.width(), 90);  // "Lumen" at 30 pixels
        EXPECT_GE(text.height(), 20);
        int magenta = 0;
        for (int x = 10; x < 230; ++x) magenta += At(img, x, 110) == 0xFF00FFu || At(img, x, 109) == 0xFF00FFu;
        EXPECT_GT(magenta, 220 * 50 / 100); // dashes of 8 on, 4 off
        EXPECT_LT(magenta, 220 * 85 / 100);
        int curve = 0;
        for (int y = 45; y < 95; ++y)
            for (int x = 10; x < 120; ++x) curve += At(img, x, y) == kBlack;
        EXPECT_GT(curve, 150);
    }
}

TEST(Metafile, HeaderErrorsAndTruncation) {
    auto message = [](const QByteArray& bytes) -> QString {
        try {
            LoadMetafile(bytes);
        } catch (const EInvalidGraphic& e) {
            return e.Message();
        }
        return QStringLiteral("(loaded)");
    };
    EXPECT_EQ(message(QByteArray("P6\n1 1\n255\nabc")), QStringLiteral("The file is not a Windows metafile"));
    EXPECT_EQ(message(QByteArray()), QStringLiteral("The file is not a Windows metafile"));
    const QByteArray shapes = ReadFile(DataPath("wmf/shapes.wmf"));
    EXPECT_EQ(message(shapes.left(30)), QStringLiteral("The metafile header is incomplete"));
    // A plain WMF without window records that draws nothing has no size.
    EXPECT_EQ(message(ReadFile(DataPath("wmf/plain.wmf")).left(18)), QStringLiteral("The metafile has no picture size"));

    // Every prefix either fails with a message or loads and draws what it holds.
    for (const char* name : {"wmf/shapes.wmf", "wmf/world.emf", "wmf/dib.emf", "wmf/text.emf", "wmf/inkscape.emf"}) {
        const QByteArray full = ReadFile(DataPath(name));
        for (int n = 0; n <= full.size(); ++n) {
            try {
                const auto m = LoadMetafile(full.left(n));
                Render(m, QSize(50, 25));
            } catch (const EInvalidGraphic&) {
            }
        }
    }
    // Cut right after the rectangle record: the rectangle is there, the ellipse is not.
    const int cut = shapes.indexOf(QByteArray::fromHex("080000009909"));
    ASSERT_GT(cut, 0);
    const QImage partial = Render(LoadMetafile(shapes.left(cut)));
    EXPECT_EQ(At(partial, 50, 50), kRed);
    EXPECT_EQ(At(partial, 140, 50), kWhite);
}

// A raster placed in a metafile and read back gives the same pixels, as EMF and as placeable WMF.
TEST(Metafile, RasterRoundTripThroughEmfAndWmf) {
    const QImage source = MakeTestImage(37, 23);
    TImageGraphic raster(source);
    TMetafile m;
    m.Assign(raster);
    EXPECT_EQ(m.Width(), 37);
    EXPECT_EQ(m.Height(), 23);
    EXPECT_TRUE(SamePixels(Render(m), source));

    QTemporaryDir dir;
    for (const QString& name : {QStringLiteral("a.emf"), QStringLiteral("a.wmf"), QStringLiteral("A.WMF")}) {
        SCOPED_TRACE(name.toStdString());
        const QString path = dir.filePath(name);
        m.SaveToFileName(path);
        const QByteArray bytes = ReadFile(path);
        const bool wmf = name.endsWith(QLatin1String("wmf"), Qt::CaseInsensitive);
        if (wmf)
            EXPECT_EQ(bytes.left(4), QByteArray::fromHex("d7cdc69a"));
        else
            EXPECT_EQ(bytes.mid(40, 4), QByteArray(" EMF"));
        const auto back = LoadMetafile(bytes);
        EXPECT_EQ(back->Enhanced(), !wmf);
        EXPECT_EQ(back->Width(), 37);
        EXPECT_EQ(back->Height(), 23);
        EXPECT_TRUE(SamePixels(Render(back), source));
        // Drawn at twice the size, each pixel becomes a 2 x 2 block.
        const QImage twice = Render(back, QSize(74, 46));
        EXPECT_EQ(twice.pixel(21, 31), source.pixel(10, 15));
        EXPECT_EQ(twice.pixel(20, 30), source.pixel(10, 15));
    }

    // Assigning a metafile copies its records; a raster target renders it.
    const auto shapes = LoadMetafile(ReadFile(DataPath("wmf/shapes.wmf")));
    TMetafile copy;
    copy.Assign(*shapes);
    EXPECT_EQ(copy.Data(), shapes->Data());
    EXPECT_FALSE(copy.Enhanced());
    TImageGraphic rendered;
    rendered.Assign(*shapes);
    EXPECT_EQ(rendered.Width(), 200);
    EXPECT_EQ(At(rendered.Image(), 50, 50), kRed);
    // Saving a WMF again as WMF keeps its records and placeable header.
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    copy.SetSaveOption(QStringLiteral("format"), QStringLiteral("wmf"));
    copy.SaveToStream(out);
    EXPECT_EQ(out.data(), ReadFile(DataPath("wmf/shapes.wmf")));
    EXPECT_THROW(copy.SetSaveOption(QStringLiteral("format"), QStringLiteral("svg")), EInvalidGraphicOperation);
    // A WMF saved as EMF becomes a raster at its own size.
    QBuffer emf;
    emf.open(QIODevice::WriteOnly);
    copy.SetSaveOption(QStringLiteral("format"), QStringLiteral("emf"));
    copy.SaveToStream(emf);
    EXPECT_TRUE(SamePixels(Render(LoadMetafile(emf.data())), Render(shapes)));
}

TEST(Metafile, RegisteredForBothExtensionsAndRenderedByTheCli) {
    InitializeFormats();
    EXPECT_EQ(GraphicClassByExtension(QStringLiteral("wmf")), TMetafile::StaticClass());
    EXPECT_EQ(GraphicClassByExtension(QStringLiteral(".EMF")), TMetafile::StaticClass());
    QString out;
    ASSERT_EQ(RunCli({QStringLiteral("info"), DataPath("wmf/world.emf")}, &out), 0);
    EXPECT_TRUE(out.contains(QStringLiteral("\tTMetafile\t200x100\t"))) << out.toStdString();
    QTemporaryDir dir;
    const QString ppm = dir.filePath(QStringLiteral("s.ppm"));
    ASSERT_EQ(RunCli({QStringLiteral("render"), DataPath("wmf/shapes.wmf"), ppm, QStringLiteral("--size"),
                      QStringLiteral("400x200")}),
              0);
    const QImage img(ppm);
    ASSERT_EQ(img.size(), QSize(400, 200));
    EXPECT_EQ(At(img, 100, 100), kRed);
    EXPECT_EQ(At(img, 280, 100), kBlue);
    // convert to EMF through the same path as "Save as"
    const QString emf = dir.filePath(QStringLiteral("s.emf"));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), ppm, emf}), 0);
    const auto back = LoadMetafile(ReadFile(emf));
    EXPECT_EQ(back->Width(), 400);
    EXPECT_TRUE(SamePixels(Render(back), img));
}

namespace {

// A placeable WMF of 100 x 100 units at 96 per inch (100 x 100 pixels) from records given as words.
struct TWmfBuilder {
    QByteArray Records;
    int Objects = 0;
    void Add(quint16 function, const QVector<int>& words, const QByteArray& raw = QByteArray()) {
        QByteArray body;
        for (int w : words) {
            body.append(char(w & 0xFF));
            body.append(char((w >> 8) & 0xFF));
        }
        body += raw;
        if (body.size() % 2) body.append('\0');
        const quint32 size = 3 + quint32(body.size() / 2);
        for (int i = 0; i < 4; ++i) Records.append(char((size >> (8 * i)) & 0xFF));
        Records.append(char(function & 0xFF));
        Records.append(char(function >> 8));
        Records += body;
    }
    static QByteArray ColorRef(QRgb c) {
        QByteArray b;
        b.append(char(qRed(c)));
        b.append(char(qGreen(c)));
        b.append(char(qBlue(c)));
        b.append('\0');
        return b;
    }
    void Brush(int style, QRgb color, int hatch = 0) {
        Add(0x02FC, {style}, ColorRef(color) + QByteArray(1, char(hatch)) + QByteArray(1, '\0'));
        ++Objects;
    }
    void Pen(int style, int width, QRgb color) {
        Add(0x02FA, {style, width, 0}, ColorRef(color));
        ++Objects;
    }
    void Select(int index) { Add(0x012D, {index}); }
    void Rect(int l, int t, int r, int b) { Add(0x041B, {b, r, t, l}); }
    // Without the placeable header: the records' window gives the picture.
    QByteArray PlainFile() { return File().mid(22); }
    QByteArray File() {
        if (!Records.endsWith(QByteArray::fromHex("030000000000"))) Add(0x0000, {});
        QByteArray out = QByteArray::fromHex("d7cdc69a0000000000006400640060000000000000");
        quint16 sum = 0;
        for (int i = 0; i < 20; i += 2) sum ^= quint16(uchar(out[i]) | (uchar(out[i + 1]) << 8));
        out.resize(20);
        out.append(char(sum & 0xFF));
        out.append(char(sum >> 8));
        QByteArray header = QByteArray::fromHex("010009000003");
        const quint32 words = quint32((18 + Records.size()) / 2);
        for (int i = 0; i < 4; ++i) header.append(char((words >> (8 * i)) & 0xFF));
        header.append(char(Objects & 0xFF));
        header.append(char(Objects >> 8));
        header += QByteArray::fromHex("0000000000 00").replace(' ', "");
        return out + header.left(18) + Records;
    }
};

} // namespace

// A WMF without a placeable header is the window its records have set when they first draw. A file that
// moves the window's origin only afterwards (for what it draws later) is not shifted by it: the disc of
// lateorigin.wmf fills its picture, centred, as ImageMagick draws it (it was drawn shifted by half its
// size, three quarters outside the picture, when the last origin of the file was taken).
TEST(Metafile, TheWindowIsTheOneTheRecordsDrawIn) {
    const auto m = LoadMetafile(ReadFile(DataPath("wmf/lateorigin.wmf")));
    EXPECT_EQ(QSize(m->Width(), m->Height()), QSize(400, 400));
    const QImage img = Render(m, QSize(100, 100));
    EXPECT_EQ(InkBox(img), QRect(0, 0, 100, 100));
    EXPECT_EQ(At(img, 50, 50), kBlack);
    EXPECT_EQ(At(img, 50, 0), kRed); // the border at the top, inside the picture
    for (const QPoint& corner : {QPoint(1, 1), QPoint(98, 1), QPoint(1, 98), QPoint(98, 98)})
        EXPECT_EQ(At(img, corner.x(), corner.y()), kWhite) << corner.x() << "," << corner.y();

    // The same with the origin set first (a window centred on 0), and with an origin that a saved state
    // changes for a later drawing and the restore takes back: one picture.
    for (int variant = 0; variant < 2; ++variant) {
        SCOPED_TRACE(variant);
        TWmfBuilder w;
        w.Add(0x0103, {8});
        w.Add(0x020C, {400, 400});
        const int o = variant == 0 ? -200 : 0;
        if (variant == 0) w.Add(0x020B, {o, o});
        w.Brush(0, qRgb(0, 0, 0));
        w.Select(0);
        w.Add(0x0418, {o + 400, o + 400, o, o});
        if (variant == 1) {
            w.Add(0x001E, {});           // SaveDC
            w.Add(0x020B, {300, 300});   // SetWindowOrg for a later drawing
            w.Rect(500, 500, 510, 510);  // at (200,200) of the picture
            w.Add(0x0127, {-1});         // RestoreDC
        }
        const auto plain = LoadMetafile(w.PlainFile());
        EXPECT_EQ(QSize(plain->Width(), plain->Height()), QSize(400, 400));
        const QImage drawn = Render(plain, QSize(100, 100));
        EXPECT_EQ(InkBox(drawn), QRect(0, 0, 100, 100));
        EXPECT_EQ(At(drawn, 50, 50), kBlack);
        EXPECT_EQ(At(drawn, 1, 1), kWhite);
    }
}

// Hatched brushes follow the background mode; XOR drawing undoes itself; R2_NOP draws nothing.
TEST(Metafile, HatchesBackgroundModesAndRasterOperations) {
    TWmfBuilder w;
    w.Pen(5, 0, 0);                      // 0: no outline
    w.Select(0);
    w.Brush(0, qRgb(255, 0, 0));         // 1: red
    w.Select(1);
    w.Rect(0, 0, 50, 50);
    w.Add(0x0102, {1});                  // transparent background
    w.Brush(2, qRgb(0, 0, 255), 4);      // 2: blue cross hatch
    w.Select(2);
    w.Rect(0, 0, 50, 50);
    w.Add(0x0102, {2});                  // opaque background, green
    w.Add(0x0201, {}, TWmfBuilder::ColorRef(qRgb(0, 255, 0)));
    w.Rect(50, 0, 100, 50);
    w.Brush(0, qRgb(255, 255, 255));     // 3: white
    w.Select(3);
    w.Add(0x0104, {7});                  // R2_XORPEN twice: unchanged
    w.Rect(0, 50, 100, 100);
    w.Rect(0, 50, 50, 100);
    w.Add(0x0104, {11});                 // R2_NOP
    w.Brush(0, qRgb(0, 0, 0));           // 4
    w.Select(4);
    w.Rect(0, 0, 100, 100);
    const QImage img = Render(LoadMetafile(w.File()));
    int blue = 0, red = 0, green = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            blue += At(img, x, y) == kBlue;
            red += At(img, x, y) == kRed;
            green += At(img, x + 50, y) == kGreen;
        }
    // An 8 x 8 cross hatch covers 15 of 64 pixels.
    EXPECT_NEAR(blue, 48 * 48 * 15 / 64, 48 * 3);
    EXPECT_NEAR(red, 48 * 48 * 49 / 64, 48 * 3);
    EXPECT_NEAR(green, 48 * 48 * 49 / 64, 48 * 3);
    EXPECT_EQ(At(img, 25, 75), kWhite);  // XOR-ed twice
    EXPECT_EQ(At(img, 75, 75), 0x000000u); // XOR-ed once: white ^ white
}

// ExcludeClipRect, SaveDC twice and RestoreDC(1), and a mirrored DIBStretchBlt.
TEST(Metafile, ClipHolesAbsoluteRestoreAndMirroredBlits) {
    TWmfBuilder w;
    w.Pen(5, 0, 0);
    w.Select(0);
    w.Brush(0, qRgb(0, 0, 0));
    w.Select(1);
    w.Add(0x001E, {});                    // SaveDC: state 1, no clip
    w.Add(0x0415, {30, 30, 10, 10});      // ExcludeClipRect(10,10)-(30,30)
    w.Add(0x001E, {});                    // SaveDC: state 2, with the hole
    w.Add(0x0416, {40, 100, 0, 0});       // IntersectClipRect(0,0)-(100,40)
    w.Add(0x0127, {1});                   // RestoreDC(1): no clip at all
    w.Rect(0, 0, 40, 40);
    w.Add(0x0415, {30, 30, 10, 10});
    w.Rect(50, 0, 100, 40);
    // DIBStretchBlt of a 2 x 1 DIB (red, blue) with a negative width: mirrored.
    QByteArray dib = QByteArray::fromHex("28000000020000000100000001001800000000000000000000000000000000000000000000000000");
    dib += QByteArray::fromHex("0000ffff00000000"); // blue-green-red order: red, then blue; padded
    w.Add(0x0B41, {0x0020, 0x00CC, 1, 2, 0, 0, 40, -80, 50, 90}, dib);
    const QImage img = Render(LoadMetafile(w.File()));
    EXPECT_EQ(At(img, 20, 20), kBlack); // the hole was undone by RestoreDC(1)
    EXPECT_EQ(At(img, 5, 5), kBlack);
    // The second exclusion is still in force for the later rectangle and blit only where they overlap it.
    EXPECT_EQ(At(img, 75, 20), kBlack);
    EXPECT_EQ(At(img, 20, 70), kBlue);  // mirrored: blue on the left
    EXPECT_EQ(At(img, 70, 70), kRed);
}

// Escapement turns text; a pie and a chord fill only their part of the ellipse.
TEST(Metafile, RotatedTextPiesAndChords) {
    TWmfBuilder w;
    QByteArray font = QByteArray::fromHex("ecff0000840384039001000000000000");
    font += QByteArray("DejaVu Sans").leftJustified(32, '\0');
    w.Add(0x02FB, {}, font); // 0: 20 units high, escapement 90 degrees
    ++w.Objects;
    w.Select(0);
    w.Add(0x0102, {1});
    w.Add(0x0521, {4}, QByteArray("WWWW") + QByteArray::fromHex("5a001400")); // TextOut at (20, 90)
    w.Pen(5, 0, 0);
    w.Select(1);
    w.Brush(0, qRgb(255, 0, 0));
    w.Select(2);
    // Pie of the circle in (50,0)-(100,50) from 0 to 90 degrees: the upper right quarter.
    w.Add(0x081A, {0, 75, 25, 100, 50, 100, 0, 50});
    // Chord of the circle in (50,50)-(100,100) from 90 to 270 degrees: the left half.
    w.Add(0x0830, {100, 75, 50, 75, 100, 100, 50, 50});
    const QImage img = Render(LoadMetafile(w.File()));
    const QRect text = InkBox(img.copy(0, 0, 50, 100));
    EXPECT_GT(text.height(), 2 * text.width()); // written upwards
    EXPECT_EQ(At(img, 85, 15), kRed);
    EXPECT_EQ(At(img, 65, 15), kWhite);
    EXPECT_EQ(At(img, 85, 35), kWhite);
    EXPECT_EQ(At(img, 60, 75), kRed);
    EXPECT_EQ(At(img, 90, 75), kWhite);
}

// A bitmap record beyond the pixel limit is skipped while drawing; it never raises out of DrawTo.
TEST(Metafile, OversizedBitmapRecordsAreSkipped) {
    QImage red(2, 2, QImage::Format_RGB32);
    red.fill(Qt::red);
    QByteArray emf = TMetafile::MakeEmf(red);
    ASSERT_EQ(emf.mid(108 + 80, 4), QByteArray::fromHex("28000000")); // the DIB header of the blit
    emf.replace(108 + 84, 8, QByteArray::fromHex("a0860100a0860100")); // 100000 x 100000
    const auto m = LoadMetafile(emf);
    QImage img;
    EXPECT_NO_THROW(img = Render(m));
    EXPECT_EQ(At(img, 1, 1), kWhite);
    EXPECT_TRUE(SamePixels(Render(LoadMetafile(TMetafile::MakeEmf(red))), red));
}

// The placeable WMF we write is read by an independent decoder (ImageMagick's WMF reader) to the same
// pixels. A refusal is a failure: it means the file we wrote is not a valid metafile.
TEST(Metafile, WrittenWmfReadsTheSameInImageMagick) {
    QTemporaryDir dir;
    const QImage source = MakeTestImage(45, 31);
    TImageGraphic raster(source);
    TMetafile m;
    m.Assign(raster);
    const QString wmf = dir.filePath(QStringLiteral("t.wmf")), ppm = dir.filePath(QStringLiteral("t.ppm"));
    m.SaveToFileName(wmf);
    QProcess p;
    p.start(QStringLiteral("convert"), {QStringLiteral("-density"), QStringLiteral("96"), wmf, QStringLiteral("-depth"),
                                        QStringLiteral("8"), ppm});
    ASSERT_TRUE(p.waitForFinished(60000)) << "ImageMagick's convert did not finish (is imagemagick installed?)";
    ASSERT_TRUE(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        << "ImageMagick refused the written WMF: " << p.readAllStandardError().toStdString();
    const QImage theirs(ppm);
    ASSERT_FALSE(theirs.isNull());
    EXPECT_TRUE(SamePixels(theirs, source, 1));
}
