#include "TestUtil.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QUrl>
#include <QProcess>
#include <QStandardPaths>

namespace {

#ifdef LUMENOR_CLI
// lumenor-cli with the text given on standard input.
int RunCliWithInput(const QStringList& args, const QByteArray& input, QString* out, QString* err) {
    QProcess p;
    p.start(QStringLiteral(LUMENOR_CLI), args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000)) return -1;
    *out = QString::fromUtf8(p.readAllStandardOutput());
    *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

#endif

QStringList MakePictures(const QString& dir, int count) {
    QDir().mkpath(dir);
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString path = QDir(dir).filePath(QStringLiteral("pic %1.png").arg(i));
        EXPECT_TRUE(MakeTestImage(30 + i, 20 + i).save(path));
        files << path;
    }
    return files;
}

QMap<QString, QByteArray> Contents(const QString& dir) {
    QMap<QString, QByteArray> map;
    for (const QString& name : QDir(dir).entryList(QDir::Files)) map.insert(name, ReadFile(QDir(dir).filePath(name)));
    return map;
}

} // namespace

#ifdef LUMENOR_CLI
TEST(BatchCli, ListFromStandardInputAndErrorsInOrder) {
    QTemporaryDir dir;
    QStringList files = MakePictures(dir.filePath(QStringLiteral("in")), 5);
    const QString broken = dir.filePath(QStringLiteral("in/broken.gif"));
    WriteFile(broken, "GIF89a");
    files.insert(2, broken);
    const QString out = dir.filePath(QStringLiteral("out"));
    QString stdOut, stdErr;
    EXPECT_EQ(RunCliWithInput({QStringLiteral("batch"), QStringLiteral("--to"), QStringLiteral("jpg"), QStringLiteral("--out"), out,
                               QStringLiteral("--rename"), QStringLiteral("holiday_###"), QStringLiteral("--option"),
                               QStringLiteral("quality=90"), QStringLiteral("--from"), QStringLiteral("-")},
                              files.join(QLatin1Char('\n')).toUtf8() + "\n\n", &stdOut, &stdErr),
              1);
    EXPECT_TRUE(stdOut.isEmpty()) << stdOut.toStdString(); // no progress line off a terminal
    EXPECT_TRUE(stdErr.startsWith(QStringLiteral("lumenor-cli: Error in converting file '") + broken + QStringLiteral("': "))) << stdErr.toStdString();
    EXPECT_EQ(stdErr.count(QLatin1Char('\n')), 1);
    EXPECT_EQ(QDir(out).entryList(QDir::Files),
              (QStringList{QStringLiteral("holiday_001.jpg"), QStringLiteral("holiday_002.jpg"), QStringLiteral("holiday_004.jpg"),
                           QStringLiteral("holiday_005.jpg"), QStringLiteral("holiday_006.jpg")}));
    EXPECT_EQ(QImage(out + QStringLiteral("/holiday_006.jpg")).size(), QSize(34, 24));

    // A second run keeps what is there and says so; --overwrite replaces.
    EXPECT_EQ(RunCli({QStringLiteral("batch"), QStringLiteral("--to"), QStringLiteral("jpg"), QStringLiteral("--out"), out,
                      QStringLiteral("--rename"), QStringLiteral("holiday_###"), files[0]},
                     &stdOut, &stdErr),
              0);
    EXPECT_EQ(stdErr, QStringLiteral("lumenor-cli: kept the existing file ") + out +
                          QStringLiteral("/holiday_001.jpg (--overwrite replaces it)\n"));
}

TEST(BatchCli, ASplitListGivesTheSameFilesAsOneRun) {
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.filePath(QStringLiteral("in")), 7);
    const QString whole = dir.filePath(QStringLiteral("whole")), parts = dir.filePath(QStringLiteral("parts"));
    const QStringList common{QStringLiteral("batch"), QStringLiteral("--to"), QStringLiteral("png"), QStringLiteral("--rename"),
                             QStringLiteral("*_#")};
    EXPECT_EQ(RunCli(common + QStringList{QStringLiteral("--out"), whole} + files), 0);
    const QString list = dir.filePath(QStringLiteral("second.txt"));
    WriteFile(list, files.mid(3).join(QLatin1Char('\n')).toUtf8());
    EXPECT_EQ(RunCli(common + QStringList{QStringLiteral("--out"), parts, QStringLiteral("--jobs"), QStringLiteral("1")} + files.mid(0, 3)), 0);
    EXPECT_EQ(RunCli(common + QStringList{QStringLiteral("--out"), parts, QStringLiteral("--first-index"), QStringLiteral("3"),
                                          QStringLiteral("--from"), list}),
              0);
    const auto a = Contents(whole);
    EXPECT_EQ(a.size(), 7);
    EXPECT_TRUE(a.contains(QStringLiteral("pic 6_7.png")));
    EXPECT_TRUE(a == Contents(parts));
}

// The README's GNU parallel recipe, run on this machine (`:`) two parts at a time with parts of 4:
// the files are byte for byte those of one run. The pictures are large enough for the PNG writer to
// compress them in several parts.
TEST(BatchCli, TheReadmeParallelRecipeGivesTheFilesOfOneRun) {
    const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
    ASSERT_FALSE(parallel.isEmpty()) << "GNU parallel is not installed (scripts/install-deps installs it)";
    const QString readme = QString::fromUtf8(ReadFile(QStringLiteral(LUMENOR_TEST_DATA "/../../README.md")));
    const int at = readme.indexOf(QStringLiteral("    parallel --pipe"));
    ASSERT_GE(at, 0) << "the README has no parallel recipe";
    const int end = readme.indexOf(QStringLiteral("< list.txt"), at);
    ASSERT_GT(end, at);
    QString recipe = readme.mid(at, end - at + 10);
    recipe.replace(QStringLiteral("\\\n"), QString()).replace(QStringLiteral("/photos/png"), QStringLiteral("split"));
    ASSERT_TRUE(recipe.contains(QStringLiteral("--sshlogin 1/host1,1/host2,1/:"))) << recipe.toStdString();
    recipe.replace(QStringLiteral("1/host1,1/host2,1/:"), QStringLiteral("2/:")).replace(QStringLiteral("500"), QStringLiteral("4"));

    QTemporaryDir dir;
    QStringList files;
    QDir().mkpath(dir.filePath(QStringLiteral("in")));
    for (int i = 0; i < 11; ++i) {
        files << dir.filePath(QStringLiteral("in/shot %1.jpg").arg(i, 2, 10, QLatin1Char('0')));
        ASSERT_TRUE(MakeTestImage(700 + i, 520).save(files.last(), "JPG", 90));
    }
    WriteFile(dir.filePath(QStringLiteral("list.txt")), files.join(QLatin1Char('\n')).toUtf8() + '\n');
    EXPECT_EQ(RunCli({QStringLiteral("batch"), QStringLiteral("--to"), QStringLiteral("png"), QStringLiteral("--out"),
                      dir.filePath(QStringLiteral("whole")), QStringLiteral("--rename"), QStringLiteral("img_#####"), QStringLiteral("--from"),
                      dir.filePath(QStringLiteral("list.txt"))}),
              0);
    QProcess shell;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), QFileInfo(QStringLiteral(LUMENOR_CLI)).absolutePath() + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
    shell.setProcessEnvironment(env);
    shell.setWorkingDirectory(dir.path());
    shell.start(QStringLiteral("bash"), {QStringLiteral("-c"), recipe});
    ASSERT_TRUE(shell.waitForFinished(300000));
    EXPECT_EQ(shell.exitCode(), 0) << recipe.toStdString() << "\n" << shell.readAllStandardError().toStdString();
    const auto whole = Contents(dir.filePath(QStringLiteral("whole")));
    EXPECT_EQ(whole.size(), 11);
    EXPECT_TRUE(whole.contains(QStringLiteral("img_00011.png")));
    EXPECT_EQ(whole.keys(), Contents(dir.filePath(QStringLiteral("split"))).keys());
    EXPECT_TRUE(whole == Contents(dir.filePath(QStringLiteral("split"))));
    // The numbers follow the list across the parts.
    EXPECT_EQ(QImage(dir.filePath(QStringLiteral("split/img_00010.png"))).size(), QSize(709, 520));
}

// PNG files of a batch are deflated at level 1 unless a level is given: the zlib header says which.
TEST(BatchCli, PngLevelOneUnlessGiven) {
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.filePath(QStringLiteral("in")), 1);
    auto levelByte = [&](const QStringList& extra) {
        const QString out = dir.filePath(QStringLiteral("out%1").arg(extra.size()));
        EXPECT_EQ(RunCli(QStringList{QStringLiteral("batch"), QStringLiteral("--to"), QStringLiteral("png"), QStringLiteral("--out"), out} + extra +
                         files),
                  0);
        const QByteArray png = ReadFile(out + QStringLiteral("/pic 0.png"));
        const int at = png.indexOf("IDAT");
        EXPECT_GT(at, 0);
        EXPECT_EQ(quint8(png[at + 4]), 0x78);
        EXPECT_TRUE(SamePixels(QImage::fromData(png, "PNG"), QImage(files[0]), 0));
        return quint8(png[at + 5]);
    };
    EXPECT_EQ(levelByte({}), 0x01);
    EXPECT_EQ(levelByte({QStringLiteral("--option"), QStringLiteral("compression=9")}), 0xDA);
}

TEST(BatchCli, UsageErrors) {
    QString stdOut, stdErr;
    EXPECT_EQ(RunCli({QStringLiteral("batch"), QStringLiteral("--to"), QStringLiteral("png"), QStringLiteral("x.png")}, &stdOut, &stdErr), 2);
    EXPECT_TRUE(stdErr.contains(QStringLiteral("batch needs --out DIR")));
    EXPECT_EQ(RunCli({QStringLiteral("batch"), QStringLiteral("--to"), QStringLiteral("xyz"), QStringLiteral("--out"), QStringLiteral("/tmp")}, &stdOut, &stdErr), 2);
    EXPECT_TRUE(stdErr.contains(QStringLiteral("unknown picture file extension (.xyz)")));
    EXPECT_EQ(RunCli({QStringLiteral("batch"), QStringLiteral("--out"), QStringLiteral("/tmp")}, &stdOut, &stdErr), 2);
    EXPECT_EQ(RunCli({QStringLiteral("album"), QStringLiteral("--grid"), QStringLiteral("0x3")}, &stdOut, &stdErr), 2);
}

TEST(AlbumCli, PagesThumbnailsAndCopies) {
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.filePath(QStringLiteral("in")), 5);
    const QString out = dir.filePath(QStringLiteral("album"));
    const QString list = dir.filePath(QStringLiteral("list.txt"));
    WriteFile(list, files.mid(1).join(QLatin1Char('\n')).toUtf8());
    QString stdOut, stdErr;
    EXPECT_EQ(RunCli({QStringLiteral("album"), QStringLiteral("--out"), out, QStringLiteral("--title"), QStringLiteral("Trip & more"),
                      QStringLiteral("--grid"), QStringLiteral("2x2"), files[0], QStringLiteral("--from"), list},
                     &stdOut, &stdErr),
              0)
        << stdErr.toStdString();
    EXPECT_EQ(QDir(out).entryList({QStringLiteral("*.htm")}), (QStringList{QStringLiteral("Page_001.htm"), QStringLiteral("Page_002.htm")}));
    EXPECT_EQ(QDir(out).entryList({QStringLiteral("TN_*")}).size(), 5);
    EXPECT_EQ(QDir(out).entryList({QStringLiteral("pic*")}).size(), 5);
    const QString page = QString::fromUtf8(ReadFile(out + QStringLiteral("/Page_002.htm")));
    EXPECT_TRUE(page.contains(QStringLiteral("<title>Trip &amp; more</title>")));
    EXPECT_TRUE(page.contains(QStringLiteral("<a href=\"pic%204.png\"><img src=\"TN_pic%204.JPG\" alt=\"pic 4.png\"")));
    // The thumbnail holds the picture: compared with the picture scaled by an independent route.
    const QImage thumb(out + QStringLiteral("/TN_pic 4.JPG"));
    ASSERT_EQ(thumb.size(), QSize(128, 90));
    const auto coarse = [](const QImage& image) {
        return image.convertToFormat(QImage::Format_RGB32).scaled(8, 6, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    EXPECT_TRUE(SamePixels(coarse(thumb), coarse(QImage(files[4])), 40));
}

TEST(AlbumCli, EveryThumbnailShowsInABrowser) {
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    ASSERT_FALSE(chromium.isEmpty()) << "chromium is not installed (scripts/install-deps installs it)";
    QTemporaryDir dir;
    const QList<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::magenta};
    QStringList files;
    for (int i = 0; i < colours.size(); ++i) {
        QImage image(300, 200, QImage::Format_RGB32);
        image.fill(colours[i]);
        files << dir.filePath(QStringLiteral("solid %1.png").arg(i));
        ASSERT_TRUE(image.save(files.last()));
    }
    const QString out = dir.filePath(QStringLiteral("album #1"));
    ASSERT_EQ(RunCli(QStringList{QStringLiteral("album"), QStringLiteral("--out"), out, QStringLiteral("--grid"), QStringLiteral("3x2")} + files), 0);
    const QString shot = dir.filePath(QStringLiteral("shot.png"));
    QProcess browser;
    browser.start(chromium, {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                             QStringLiteral("--hide-scrollbars"), QStringLiteral("--user-data-dir=") + dir.filePath(QStringLiteral("profile")),
                             QStringLiteral("--window-size=1000,800"), QStringLiteral("--screenshot=") + shot,
                             QUrl::fromLocalFile(out + QStringLiteral("/Page_001.htm")).toString()});
    ASSERT_TRUE(browser.waitForFinished(120000));
    const QImage screen(shot);
    ASSERT_FALSE(screen.isNull()) << browser.readAllStandardError().toStdString();
    // Every thumbnail (128 x 85 pixels) is drawn: each colour covers most of its area.
    for (const QColor& c : colours) {
        int pixels = 0;
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x) {
                const QRgb p = screen.pixel(x, y);
                if (std::abs(qRed(p) - c.red()) < 40 && std::abs(qGreen(p) - c.green()) < 40 && std::abs(qBlue(p) - c.blue()) < 40) ++pixels;
            }
        EXPECT_GT(pixels, 128 * 85 * 8 / 10) << c.name().toStdString();
    }
}
#endif
