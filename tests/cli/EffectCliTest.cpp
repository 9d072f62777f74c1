// lumenor-cli effect: one step or a whole run of a transition, as DrawEffect draws it.
#include "TestUtil.h"

#include "tools/Effects.h"

namespace {

QImage Picture(int w, int h, int seed) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uchar* p = image.scanLine(y) + 3 * x;
            p[0] = uchar(x * 5 + seed);
            p[1] = uchar(y * 7 + seed * 3);
            p[2] = uchar((x ^ y) + seed * 11);
        }
    return image;
}

QImage Rgb(const QString& path) {
    return QImage(path).convertToFormat(QImage::Format_RGB888);
}

} // namespace

TEST(EffectCli, DrawsOneStepOrTheWholeRunAsDrawEffectDoes) {
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("new.png")),
                  dst = dir.filePath(QStringLiteral("old.png"));
    const QString out = dir.filePath(QStringLiteral("out.png"));
    const QImage source = Picture(41, 23, 1), old = Picture(41, 23, 2);
    ASSERT_TRUE(source.save(src));
    ASSERT_TRUE(old.save(dst));

    for (int id : {13, 57, 84, 116, 119, 126, 137}) {
        ASSERT_EQ(RunCli({QStringLiteral("effect"), QString::number(id), QStringLiteral("52"), src, dst, out,
                          QStringLiteral("--seed"), QStringLiteral("9")}),
                  0);
        QImage expected = old;
        TEffectRandom random(9);
        DrawEffect(TEffectView{}, id + 1, source, expected, 52, 4, random);
        EXPECT_EQ(Rgb(out), expected) << id;
    }

    // seq: 0, 7, 14, ..., 98 and then 100 with --step 7; the last state is the new picture.
    ASSERT_EQ(RunCli({QStringLiteral("effect"), QStringLiteral("117"), QStringLiteral("seq"), src, dst, out,
                      QStringLiteral("--step"), QStringLiteral("7")}),
              0);
    EXPECT_EQ(Rgb(out), source);

    // --effectno: 0 is the plain cut, 139 and above draw nothing; without it the identifier is 0..137.
    ASSERT_EQ(RunCli({QStringLiteral("effect"), QStringLiteral("0"), QStringLiteral("1"), src, dst, out,
                      QStringLiteral("--effectno")}),
              0);
    EXPECT_EQ(Rgb(out), source);
    ASSERT_EQ(RunCli({QStringLiteral("effect"), QStringLiteral("200"), QStringLiteral("100"), src, dst, out,
                      QStringLiteral("--effectno")}),
              0);
    EXPECT_EQ(Rgb(out), old);
    ASSERT_EQ(RunCli({QStringLiteral("effect"), QStringLiteral("0"), QStringLiteral("50"), src, dst, out}),
              0);
    QImage expected = old;
    TEffectRandom random;
    DrawEffect(TEffectView{}, 1, source, expected, 50, 4, random);
    EXPECT_EQ(Rgb(out), expected); // identifier 0: "Expand from right"
}

TEST(EffectCli, TransparentPartsLieOnTheBackground) {
    QTemporaryDir dir;
    QImage clear(4, 3, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    const QString src = dir.filePath(QStringLiteral("clear.png")),
                  dst = dir.filePath(QStringLiteral("old.png"));
    const QString out = dir.filePath(QStringLiteral("out.png"));
    ASSERT_TRUE(clear.save(src));
    ASSERT_TRUE(Picture(4, 3, 0).save(dst));
    ASSERT_EQ(
        RunCli({QStringLiteral("effect"), QStringLiteral("0"), QStringLiteral("100"), src, dst, out,
                QStringLiteral("--effectno"), QStringLiteral("--background"), QStringLiteral("FF8000")}),
        0);
    EXPECT_EQ(QImage(out).pixel(2, 1), qRgb(255, 128, 0));
}

TEST(EffectCli, UsageErrorsAndFailures) {
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("a.png")), dst = dir.filePath(QStringLiteral("b.png"));
    const QString out = dir.filePath(QStringLiteral("out.png"));
    ASSERT_TRUE(Picture(5, 4, 1).save(src));
    ASSERT_TRUE(Picture(6, 4, 2).save(dst));
    QString err;
    const QString e = QStringLiteral("effect");
    EXPECT_EQ(RunCli({e, QStringLiteral("138"), QStringLiteral("5"), src, src, out}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("ID needs a number from 0 to 137, not '138'")))
        << err.toStdString();
    EXPECT_EQ(
        RunCli({e, QStringLiteral("256"), QStringLiteral("5"), src, src, out, QStringLiteral("--effectno")},
               nullptr, &err),
        2);
    EXPECT_EQ(RunCli({e, QStringLiteral("3"), QStringLiteral("101"), src, src, out}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("PROGRESS needs a number from 0 to 100, not '101'")))
        << err.toStdString();
    EXPECT_EQ(RunCli({e, QStringLiteral("3"), QStringLiteral("50"), src, src}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("effect needs ID, PROGRESS, SRC, DST and OUT")))
        << err.toStdString();
    EXPECT_EQ(RunCli({e, QStringLiteral("3"), QStringLiteral("seq"), src, src, out, QStringLiteral("--step"),
                      QStringLiteral("0")},
                     nullptr, &err),
              2);
    EXPECT_EQ(RunCli({e, QStringLiteral("3"), QStringLiteral("50"), src, src, out, QStringLiteral("--seed"),
                      QStringLiteral("-1")},
                     nullptr, &err),
              2);
    EXPECT_EQ(RunCli({e, QStringLiteral("3"), QStringLiteral("50"), src, src, out, QStringLiteral("--fast")},
                     nullptr, &err),
              2);
    EXPECT_FALSE(QFile::exists(out));

    EXPECT_EQ(RunCli({e, QStringLiteral("3"), QStringLiteral("50"), src, dst, out}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("is 5x4 but"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("the pictures of a transition have the same size")))
        << err.toStdString();
    EXPECT_EQ(RunCli({e, QStringLiteral("3"), QStringLiteral("50"), dir.filePath(QStringLiteral("none.png")),
                      dst, out},
                     nullptr, &err),
              1);
    EXPECT_TRUE(err.contains(QStringLiteral("cannot open"))) << err.toStdString();
    EXPECT_FALSE(QFile::exists(out));

    QString usage;
    EXPECT_EQ(RunCli({e, QStringLiteral("--help")}, &usage), 0);
    EXPECT_TRUE(usage.startsWith(QStringLiteral("Usage: lumenor-cli effect ID PROGRESS SRC DST OUT")))
        << usage.toStdString();
}
