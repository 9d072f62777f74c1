#include "RasterFixtures.h"

#include "app/PictureEx.h"
#include "codec/Dcx.h"

#include <QBuffer>
#include <QFile>

namespace {
int PageCount(const QByteArray& bytes, qint64 at = 0) {
    QByteArray copy = QByteArray(int(at), 'x') + bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(at);
    TDcxGraphic g;
    const int n = g.GetPageCount(buffer);
    EXPECT_EQ(buffer.pos(), at);
    return n;
}

QString PageCountError(const QByteArray& bytes) {
    try {
        PageCount(bytes);
    } catch (const EInvalidGraphic& e) {
        return e.Message();
    }
    return QString();
}
} // namespace

// ImageMagick's three-page DCX: the count, and every page against ImageMagick's decoding of it.
TEST(Dcx, ThreePagesCountAndDecode) {
    const QByteArray file = ReadFile(DataPath("dcx/three.dcx"));
    EXPECT_EQ(PageCount(file), 3);
    EXPECT_EQ(PageCount(file, 7), 3); // from the stream's current position
    for (int page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        EXPECT_TRUE(SamePixels(LoadBytes<TDcxGraphic>(file, page),
                               QImage(DataPath(QStringLiteral("dcx/three-%1.png").arg(page)))));
    }
    try {
        LoadBytes<TDcxGraphic>(file, 4);
        FAIL() << "page 4 must not load";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The DCX file has no page 4 (it holds 3)"));
    }
}

TEST(Dcx, BadHeaders) {
    const QString message = QStringLiteral("The DCX file header is not valid");
    EXPECT_EQ(PageCountError(ReadFile(DataPath("pcx/im24.pcx"))), message);
    EXPECT_EQ(PageCountError(QByteArray::fromHex("b168de3a")), message);         // magic, then nothing
    EXPECT_EQ(PageCountError(QByteArray::fromHex("b168de3a00000000")), message); // no page
    EXPECT_EQ(PageCountError(QByteArray("xy")), message);
    EXPECT_EQ(LoadError<TDcxGraphic>(QByteArray("not a dcx file at all")), message);
    // An offset beyond the end of the file.
    EXPECT_EQ(LoadError<TDcxGraphic>(QByteArray::fromHex("b168de3a0010000000000000")),
              QStringLiteral("Page 1 of the DCX file lies beyond its end"));
}

TEST(Dcx, FullTableOf1023Pages) {
    // 1023 offsets without a terminating 0, all naming the same PCX picture after the table.
    const QByteArray pcx = ReadFile(DataPath("pcx/im8.pcx"));
    QByteArray file = QByteArray::fromHex("b168de3a");
    const quint32 offset = 4 + 1023 * 4;
    for (int i = 0; i < 1023; ++i)
        file += QByteArray(reinterpret_cast<const char*>(&offset), 4); // little-endian machine
    file += pcx;
    EXPECT_EQ(PageCount(file), 1023);
    EXPECT_TRUE(SamePixels(LoadBytes<TDcxGraphic>(file, 1023), ReferenceFor(DataPath("pcx/im8.pcx"))));
}

TEST(Dcx, CommandLineShowsThePages) {
    QString out;
    ASSERT_EQ(RunCli({QStringLiteral("info"), DataPath("dcx/three.dcx")}, &out), 0);
    EXPECT_EQ(out.trimmed(), DataPath("dcx/three.dcx") + QStringLiteral("\tTDcxGraphic\t20x10\tpages=3\tframes=1"));
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("page2.ppm"));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), DataPath("dcx/three.dcx"), png, QStringLiteral("--page"), QStringLiteral("2")}), 0);
    EXPECT_TRUE(SamePixels(QImage(png), QImage(DataPath("dcx/three-2.png"))));
}
