#include "TestUtil.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

class CliTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString Path(const QString& name) const { return Dir.filePath(name); }
    QString Write(const QString& name, const QByteArray& bytes) {
        WriteFile(Path(name), bytes);
        return Path(name);
    }
};

TEST_F(CliTest, InfoPrintsOneLinePerFileAndFailsWhenAnyFails) {
    const QString good = Write(QStringLiteral("a.ppm"), QByteArray("P3\n2 3\n255\n") + QByteArray(18, '\0').replace('\0', "1 "));
    const QString bad = Write(QStringLiteral("b.xyz"), QByteArray("nothing"));
    QString out;
    EXPECT_EQ(RunCli({QStringLiteral("info"), good}, &out), 0);
    EXPECT_EQ(out, good + QStringLiteral("\tTPPMGraphic\t2x3\tpages=1\tframes=1\n"));
    EXPECT_EQ(RunCli({QStringLiteral("info"), good, bad}, &out), 1);
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1], bad + QStringLiteral("\terror\tUnknown picture file extension (.xyz)"));
}

namespace {

// Runs lumenor-cli (the one given, else the build's) with the dynamic loader naming every library it
// opens on stderr.
int RunTraced(const QStringList& args, QString* out, QString* loaded, const QString& program = QStringLiteral(LUMENOR_CLI)) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(120000)) return -1;
    *out = QString::fromUtf8(p.readAllStandardOutput());
    *loaded = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

// `info` on JPEG, PNG and GIF files is answered without the commands module (so without Qt's GUI
// library and the codecs), as the full probe answers it; the first file it cannot answer hands that one
// and the rest to the commands, and the lines keep their order.
TEST_F(CliTest, InfoAnswersTheCommonFormatsAlone) {
    const QStringList common = {DataPath(QStringLiteral("jpeg/exif6.jpg")), DataPath(QStringLiteral("png/p4i.png")),
                                DataPath(QStringLiteral("gif/anim.gif"))};
    QString out, loaded, expected, err;
    ASSERT_EQ(RunCli(QStringList{QStringLiteral("info"), QStringLiteral("--full")} + common, &expected, &err), 0) << err.toStdString();
    ASSERT_EQ(RunTraced(QStringList{QStringLiteral("info")} + common, &out, &loaded), 0);
    EXPECT_EQ(out, expected);
    EXPECT_TRUE(loaded.contains(QStringLiteral("libQt6Core.so"))) << "the trace shows no library";
    EXPECT_FALSE(loaded.contains(QStringLiteral("liblumenor-commands.so")));
    EXPECT_FALSE(loaded.contains(QStringLiteral("libQt6Gui.so")));

    const QString missing = Path(QStringLiteral("missing.jpg"));
    const QString bmp = DataPath(QStringLiteral("bmp/bf32.bmp"));
    const QStringList mixed = {common[0], missing, common[1], bmp, common[2]};
    ASSERT_EQ(RunTraced(QStringList{QStringLiteral("--max-pixels"), QStringLiteral("5000"), QStringLiteral("info")} + mixed,
                        &out, &loaded), 1);
    EXPECT_TRUE(loaded.contains(QStringLiteral("liblumenor-commands.so")));
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5) << out.toStdString();
    EXPECT_EQ(lines[0], common[0] + QStringLiteral("\tTJpegGraphic\t24x40\tpages=1\tframes=1"));
    EXPECT_EQ(lines[1], missing + QStringLiteral("\terror\tThe file does not exist"));
    EXPECT_EQ(lines[2], common[1] + QStringLiteral("\tTPngGraphic\t37x23\tpages=1\tframes=1"));
    EXPECT_TRUE(lines[3].startsWith(bmp + QStringLiteral("\tTBitmap\t"))) << lines[3].toStdString();
    EXPECT_EQ(lines[4], common[2] + QStringLiteral("\tTGIFImage\t40x30\tpages=1\tframes=5"));

    // The pixel limit holds on both sides: the JPEG, stored 40 x 24, is over a limit of 959 pixels.
    ASSERT_EQ(RunCli({QStringLiteral("--max-pixels"), QStringLiteral("959"), QStringLiteral("info"), common[0]}, &out), 1);
    EXPECT_EQ(out, common[0] + QStringLiteral("\terror\tThe picture is too large: 40 x 24 pixels exceeds the limit of 959 pixels\n"));
    ASSERT_EQ(RunCli({QStringLiteral("info"), common[0], QStringLiteral("--max-pixels"), QStringLiteral("960")}, &out), 0);
}

// A program without its commands module still lists the common formats, and says what is missing for
// the rest.
TEST_F(CliTest, WithoutTheCommandsModuleTheProgramSaysSo) {
    const QString alone = Path(QStringLiteral("lumenor-cli"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(LUMENOR_CLI), alone));
    const QString jpeg = DataPath(QStringLiteral("jpeg/colour.jpg"));
    QString out, loaded;
    ASSERT_EQ(RunTraced({QStringLiteral("info"), jpeg}, &out, &loaded, alone), 0);
    EXPECT_EQ(out, jpeg + QStringLiteral("\tTJpegGraphic\t64x48\tpages=1\tframes=1\n"));
    ASSERT_EQ(RunTraced({QStringLiteral("info"), jpeg, DataPath(QStringLiteral("bmp/bf32.bmp"))}, &out, &loaded, alone), 1);
    EXPECT_EQ(out, jpeg + QStringLiteral("\tTJpegGraphic\t64x48\tpages=1\tframes=1\n"));
    QString said;
    for (const QString& line : loaded.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("lumenor-cli:"))) said = line;
    EXPECT_TRUE(said.startsWith(QStringLiteral("lumenor-cli: the commands are not installed (") + Dir.path() +
                                QStringLiteral("/liblumenor-commands.so: cannot open shared object file")))
        << said.toStdString();
}

TEST_F(CliTest, ConvertWritesByExtensionAndNeverDamagesTheTarget) {
    const QString in = Write(QStringLiteral("in.pgm"), QByteArray("P2\n2 2\n255\n0 64\n128 255\n"));
    const QString out = Path(QStringLiteral("out.ppm"));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), in, out}), 0);
    EXPECT_TRUE(ReadFile(out).startsWith("P5\n2 2\n255\n")); // grey pictures stay grey
    ASSERT_EQ(RunCli({QStringLiteral("convert"), in, out, QStringLiteral("--option"), QStringLiteral("plain=1")}), 0);
    EXPECT_EQ(ReadFile(out), QByteArray("P2\n2 2\n255\n0 64\n128 255\n"));

    // A failing conversion leaves an existing target as it was, and leaves no temporary files.
    const QByteArray before = ReadFile(out);
    const QString broken = Write(QStringLiteral("broken.pgm"), QByteArray("P2\n2 2\n"));
    QString err;
    EXPECT_EQ(RunCli({QStringLiteral("convert"), broken, out}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("cannot open"))) << err.toStdString();
    EXPECT_EQ(ReadFile(out), before);
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files).size(), 3);

    EXPECT_EQ(RunCli({QStringLiteral("convert"), in, Path(QStringLiteral("x.nope"))}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Unknown picture file extension (.nope)")));
    EXPECT_EQ(RunCli({QStringLiteral("convert"), in, out, QStringLiteral("--option"), QStringLiteral("bogus=1")}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("has no option 'bogus'"))) << err.toStdString();
    EXPECT_EQ(RunCli({QStringLiteral("convert"), in, out, QStringLiteral("--page"), QStringLiteral("2")}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Page 2 does not exist"))) << err.toStdString();
}

TEST_F(CliTest, RenderScalesIntoTheAskedSize) {
    const QString in = Write(QStringLiteral("in.ppm"), QByteArray("P3\n2 1\n255\n255 0 0 0 0 255\n"));
    const QString out = Path(QStringLiteral("r.ppm"));
    ASSERT_EQ(RunCli({QStringLiteral("render"), in, out, QStringLiteral("--size"), QStringLiteral("4x2")}), 0);
    QByteArray expected("P6\n4 2\n255\n");
    for (int y = 0; y < 2; ++y) expected += QByteArray::fromHex("ff0000ff00000000ff0000ff");
    EXPECT_EQ(ReadFile(out), expected);
    QString err;
    EXPECT_EQ(RunCli({QStringLiteral("render"), in, out, QStringLiteral("--size"), QStringLiteral("0x5")}, nullptr, &err), 2);
    EXPECT_EQ(RunCli({QStringLiteral("render"), in, out, QStringLiteral("--background"), QStringLiteral("zz")}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("invalid colour 'zz'")));
}

// A picture cut short: info reports its declared size (from the header, or decoded with --full), and
// info --full and render say on stderr that the file is truncated (only then).
TEST_F(CliTest, TruncatedFilesKeepTheirSizeAndAreSaidToBeCut) {
    const QByteArray jpeg = ReadFile(DataPath(QStringLiteral("jpeg/colour.jpg")));
    const QString whole = Write(QStringLiteral("whole.jpg"), jpeg);
    const QString cut = Write(QStringLiteral("cut.jpg"), jpeg.left(jpeg.size() * 9 / 10));
    QString out, err, wholeOut;
    ASSERT_EQ(RunCli({QStringLiteral("info"), QStringLiteral("--full"), whole}, &wholeOut, &err), 0);
    EXPECT_EQ(err, QString());
    const QString said = QStringLiteral("lumenor-cli: %1 is truncated: the part that never arrived shows the background\n");
    ASSERT_EQ(RunCli({QStringLiteral("info"), cut}, &out, &err), 0);
    EXPECT_EQ(out.section(QLatin1Char('\t'), 1), wholeOut.section(QLatin1Char('\t'), 1)); // class, size, pages, frames
    EXPECT_EQ(err, QString()); // the header does not know
    ASSERT_EQ(RunCli({QStringLiteral("info"), QStringLiteral("--full"), cut}, &out, &err), 0);
    EXPECT_EQ(out.section(QLatin1Char('\t'), 1), wholeOut.section(QLatin1Char('\t'), 1));
    EXPECT_EQ(err, said.arg(cut));
    const QString png = Path(QStringLiteral("cut.png"));
    ASSERT_EQ(RunCli({QStringLiteral("render"), cut, png}, nullptr, &err), 0);
    EXPECT_EQ(err, said.arg(cut));
    const QImage rendered(png);
    EXPECT_EQ(rendered.pixel(0, rendered.height() - 1), qRgb(255, 255, 255)); // the rows that never arrived
    ASSERT_EQ(RunCli({QStringLiteral("render"), whole, png}, nullptr, &err), 0);
    EXPECT_EQ(err, QString());
}

TEST_F(CliTest, PixelLimitRefusesBeforeAllocating) {
    const QString huge = Write(QStringLiteral("huge.pgm"), QByteArray("P5\n100000 100000\n255\n\x01\x02"));
    QString out;
    EXPECT_EQ(RunCli({QStringLiteral("info"), huge}, &out), 1);
    EXPECT_TRUE(out.endsWith(QStringLiteral(
        "\terror\tThe picture is too large: 100000 x 100000 pixels exceeds the limit of 268435456 pixels\n")))
        << out.toStdString();
    const QString small = Write(QStringLiteral("s.pgm"), QByteArray("P5\n10 10\n255\n") + QByteArray(100, 'a'));
    EXPECT_EQ(RunCli({QStringLiteral("--max-pixels"), QStringLiteral("99"), QStringLiteral("info"), small}, &out), 1);
    EXPECT_TRUE(out.contains(QStringLiteral("exceeds the limit of 99 pixels")));
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
    QString out, err;
    EXPECT_EQ(RunCli({}, &out), 2);
    EXPECT_TRUE(out.startsWith(QStringLiteral("Usage: lumenor-cli")));
    EXPECT_EQ(RunCli({QStringLiteral("--help")}, &out), 0);
    EXPECT_EQ(RunCli({QStringLiteral("frobnicate")}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("unknown command 'frobnicate'")));
    EXPECT_EQ(RunCli({QStringLiteral("convert"), QStringLiteral("only-one")}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("(see lumenor-cli convert --help)"))) << err.toStdString();
}

TEST_F(CliTest, EveryCommandHasItsOwnUsageAndTheProgramItsVersion) {
    QString out, err;
    ASSERT_EQ(RunCli({QStringLiteral("--version")}, &out), 0);
    EXPECT_EQ(out, QStringLiteral("lumenor-cli 1.65\n"));
    ASSERT_EQ(RunCli({QStringLiteral("--help")}, &out), 0);
    QStringList commands;
    for (const QString& line : out.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("  ")) && line.size() > 2 && line[2] != QLatin1Char(' '))
            commands << line.mid(2).section(QLatin1Char(' '), 0, 0);
    EXPECT_TRUE(commands.contains(QStringLiteral("info")) && commands.contains(QStringLiteral("convert")))
        << out.toStdString();
    for (const QString& command : commands) {
        if (command.startsWith(QLatin1Char('-'))) continue;
        ASSERT_EQ(RunCli({command, QStringLiteral("--help")}, &out, &err), 0) << command.toStdString();
        EXPECT_TRUE(out.startsWith(QStringLiteral("Usage: lumenor-cli ") + command + QLatin1Char(' ')))
            << out.toStdString();
        EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    }
}

TEST_F(CliTest, OnlyTheProgramsOwnMessagesReachStderr) {
    // Without a desktop session (no XDG_RUNTIME_DIR), with a picture whose colour profile the toolkit
    // complains about, stderr stays empty.
    const QString in = Write(QStringLiteral("in.ppm"), QByteArray("P3\n1 1\n255\n1 2 3\n"));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.remove(QStringLiteral("LUMENOR_DEBUG"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(LUMENOR_CLI), {QStringLiteral("info"), in});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardError()), QString());
}

TEST_F(CliTest, EncryptedContainersWithAGivenPassword) {
    const QString in = Write(QStringLiteral("in.ppm"), QByteArray("P3\n1 1\n255\n1 2 3\n"));
    const QString out = Path(QStringLiteral("out.cif"));
    QString text, err;
    EXPECT_EQ(RunCli({QStringLiteral("convert"), in, out}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("needs --password")));
    ASSERT_EQ(RunCli({QStringLiteral("--password"), QStringLiteral("Pw"), QStringLiteral("convert"), in, out,
                      QStringLiteral("--cipher"), QStringLiteral("rijndael"), QStringLiteral("--case-sensitive")}, nullptr, &err), 0)
        << err.toStdString();
    const QByteArray bytes = ReadFile(out);
    EXPECT_EQ(bytes.left(4), QByteArray("CPIX"));
    EXPECT_EQ(int(bytes[5]), 7);
    EXPECT_EQ(int(bytes[6]), 2);
    EXPECT_EQ(RunCli({QStringLiteral("--password"), QStringLiteral("Pw"), QStringLiteral("info"), out}, &text), 0);
    EXPECT_EQ(text, out + QStringLiteral("\tTCIFGraphic\t1x1\tpages=1\tframes=1\n"));
    // Case-sensitive: "pw" is wrong, and without a terminal nobody is asked again.
    EXPECT_EQ(RunCli({QStringLiteral("--password"), QStringLiteral("pw"), QStringLiteral("info"), out}, &text), 1);
    EXPECT_TRUE(text.endsWith(QStringLiteral("\terror\tPassword confirmation failed\n")));
    EXPECT_EQ(RunCli({QStringLiteral("info"), out}, &text), 1);
    EXPECT_TRUE(text.endsWith(QStringLiteral("\terror\tPassword required\n")));
    const QString back = Path(QStringLiteral("back.ppm"));
    ASSERT_EQ(RunCli({QStringLiteral("--password"), QStringLiteral("Pw"), QStringLiteral("convert"), out, back}), 0);
    EXPECT_EQ(ReadFile(back), QByteArray("P6\n1 1\n255\n\x01\x02\x03"));
}
