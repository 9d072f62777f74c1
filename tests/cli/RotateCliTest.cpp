// lumenor-cli rotate: pictures turned pixel by pixel, JPEG files turned without loss as jpegtran turns
// them, and the command's refusals.
#include "TestUtil.h"

#include "codec/Ppm.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

class RotateCliTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return FDir.filePath(name); }
    QString Copy(const QString& fixture, const QString& name) {
        WriteFile(Path(name), ReadFile(DataPath(fixture)));
        return Path(name);
    }
    QTemporaryDir FDir;
};

QByteArray Jpegtran(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("jpegtran"), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return p.readAllStandardOutput();
}

} // namespace

TEST_F(RotateCliTest, APictureTurnsPixelByPixelInItsOwnFormat) {
    // 3 x 2, rows R G B / W K C, as a raw pixel map.
    const QString in = Path(QStringLiteral("in.ppm"));
    WriteFile(in, QByteArray("P6\n3 2\n255\n") +
                      QByteArray("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\xFF\x00\x00\x00\x00\xFF\xFF", 18));
    const QString out = Path(QStringLiteral("out.ppm"));
    QString err;
    ASSERT_EQ(RunCli({QStringLiteral("rotate"), in, out, QStringLiteral("--angle"), QStringLiteral("90")}, nullptr, &err), 0)
        << err.toStdString();
    // Clockwise: W R / K G / C B.
    EXPECT_EQ(ReadFile(out), QByteArray("P6\n2 3\n255\n") +
                                 QByteArray("\xFF\xFF\xFF\xFF\x00\x00\x00\x00\x00\x00\xFF\x00\x00\xFF\xFF\x00\x00\xFF", 18));
    ASSERT_EQ(RunCli({QStringLiteral("rotate"), in, out, QStringLiteral("--angle"), QStringLiteral("180")}), 0);
    EXPECT_EQ(ReadFile(out), QByteArray("P6\n3 2\n255\n") +
                                 QByteArray("\x00\xFF\xFF\x00\x00\x00\xFF\xFF\xFF\x00\x00\xFF\x00\xFF\x00\xFF\x00\x00", 18));
    // In place: another half turn gives the start back.
    ASSERT_EQ(RunCli({QStringLiteral("rotate"), out, out, QStringLiteral("--angle"), QStringLiteral("180")}), 0);
    EXPECT_EQ(ReadFile(out), ReadFile(in));
    // A grey picture stays grey.
    const QString grey = Path(QStringLiteral("grey.pgm"));
    WriteFile(grey, QByteArray("P5\n2 1\n255\n\x10\x20", 13));
    ASSERT_EQ(RunCli({QStringLiteral("rotate"), grey, Path(QStringLiteral("g.pgm")), QStringLiteral("--angle"), QStringLiteral("270")}), 0);
    EXPECT_EQ(ReadFile(Path(QStringLiteral("g.pgm"))), QByteArray("P5\n1 2\n255\n\x20\x10", 13));
}

TEST_F(RotateCliTest, LosslessTurnsAreThoseOfJpegtran) {
    const QString in = Copy(QStringLiteral("jpeg/colour.jpg"), QStringLiteral("colour.jpg"));
    for (const char* angle : {"90", "180", "270"}) {
        const QString out = Path(QStringLiteral("out.jpg"));
        ASSERT_EQ(RunCli({QStringLiteral("rotate"), in, out, QStringLiteral("--angle"), QString::fromLatin1(angle),
                          QStringLiteral("--lossless")}),
                  0);
        EXPECT_EQ(ReadFile(out), Jpegtran({QStringLiteral("-copy"), QStringLiteral("all"), QStringLiteral("-rotate"),
                                           QString::fromLatin1(angle), in}))
            << angle;
    }
    // In place.
    const QByteArray expected =
        Jpegtran({QStringLiteral("-copy"), QStringLiteral("all"), QStringLiteral("-rotate"), QStringLiteral("270"), in});
    ASSERT_EQ(RunCli({QStringLiteral("rotate"), in, in, QStringLiteral("--angle"), QStringLiteral("270"), QStringLiteral("--lossless")}), 0);
    EXPECT_EQ(ReadFile(in), expected);
    EXPECT_EQ(QDir(FDir.path()).entryList(QDir::Files).size(), 2) << "no temporary file is left";
}

TEST_F(RotateCliTest, PartialBlocksNeedTrim) {
    const QString in = Copy(QStringLiteral("jpeg/exif6.jpg"), QStringLiteral("exif6.jpg"));
    const QByteArray before = ReadFile(in);
    QString err;
    EXPECT_EQ(RunCli({QStringLiteral("rotate"), in, in, QStringLiteral("--angle"), QStringLiteral("90"), QStringLiteral("--lossless")},
                     nullptr, &err),
              1);
    EXPECT_EQ(err, QStringLiteral("lumenor-cli: %1: The picture cannot be turned without loss: it is 40 x 24 pixels, "
                                  "which is not a whole number of its 16 x 16 blocks. Trimming the partial blocks at "
                                  "the edges would make it 32 x 16. Give --trim to trim them.\n")
                       .arg(in));
    EXPECT_EQ(ReadFile(in), before);
    const QString out = Path(QStringLiteral("trimmed.jpg"));
    EXPECT_EQ(RunCli({QStringLiteral("rotate"), in, out, QStringLiteral("--angle"), QStringLiteral("90"),
                      QStringLiteral("--lossless"), QStringLiteral("--trim")}),
              0);
    QString info;
    RunCli({QStringLiteral("info"), out}, &info);
    EXPECT_TRUE(info.contains(QStringLiteral("\t32x16\t"))) << info.toStdString();
}

TEST_F(RotateCliTest, MistakesAreUsageErrorsAndFailuresSayWhy) {
    const QString jpeg = Copy(QStringLiteral("jpeg/colour.jpg"), QStringLiteral("c.jpg"));
    const QString ppm = Path(QStringLiteral("p.ppm"));
    WriteFile(ppm, QByteArray("P6\n1 1\n255\n\x01\x02\x03", 14));
    QString err;
    const auto run = [&](const QStringList& args) { return RunCli(QStringList{QStringLiteral("rotate")} + args, nullptr, &err); };
    EXPECT_EQ(run({jpeg, Path(QStringLiteral("o.jpg"))}), 2);
    EXPECT_TRUE(err.startsWith(QStringLiteral("lumenor-cli: rotate needs --angle\n"))) << err.toStdString();
    EXPECT_EQ(run({jpeg, Path(QStringLiteral("o.jpg")), QStringLiteral("--angle"), QStringLiteral("45")}), 2);
    EXPECT_TRUE(err.startsWith(QStringLiteral("lumenor-cli: --angle needs 90, 180 or 270, not '45'\n")));
    EXPECT_EQ(run({jpeg, Path(QStringLiteral("o.jpg")), QStringLiteral("--angle"), QStringLiteral("90"), QStringLiteral("--trim")}), 2);
    EXPECT_TRUE(err.startsWith(QStringLiteral("lumenor-cli: --trim goes with --lossless\n")));
    EXPECT_EQ(run({jpeg, Path(QStringLiteral("o.png")), QStringLiteral("--angle"), QStringLiteral("90"), QStringLiteral("--lossless")}), 2);
    EXPECT_TRUE(err.startsWith(QStringLiteral("lumenor-cli: --lossless writes a JPEG file: OUT needs a JPEG extension, not .png\n")));
    EXPECT_EQ(run({jpeg, QStringLiteral("--angle"), QStringLiteral("90")}), 2);
    EXPECT_EQ(run({ppm, Path(QStringLiteral("o.jpg")), QStringLiteral("--angle"), QStringLiteral("90"), QStringLiteral("--lossless")}), 1);
    EXPECT_EQ(err, QStringLiteral("lumenor-cli: %1 is not a JPEG file; only a JPEG can be turned losslessly\n").arg(ppm));
    EXPECT_EQ(run({Path(QStringLiteral("none.ppm")), Path(QStringLiteral("o.ppm")), QStringLiteral("--angle"), QStringLiteral("90")}), 1);
    EXPECT_EQ(err, QStringLiteral("lumenor-cli: cannot open %1: The file does not exist\n").arg(Path(QStringLiteral("none.ppm"))));
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("o.jpg"))));
    QString usage;
    EXPECT_EQ(RunCli({QStringLiteral("rotate"), QStringLiteral("--help")}, &usage), 0);
    EXPECT_TRUE(usage.startsWith(QStringLiteral("Usage: lumenor-cli rotate IN OUT --angle 90|180|270 [--lossless [--trim]]\n")));
}
