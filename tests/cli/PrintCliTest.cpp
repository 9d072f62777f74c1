#include "TestUtil.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

QByteArray Tool(const char* tool, const QStringList& args) {
    const QString program = QStandardPaths::findExecutable(QString::fromLatin1(tool));
    if (program.isEmpty()) {
        ADD_FAILURE() << tool << " is missing (scripts/install-deps installs poppler-utils)";
        return {};
    }
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}

// Two pixels side by side: red, blue.
QByteArray RedBlue() {
    return QByteArray("P3\n2 1\n255\n255 0 0 0 0 255\n");
}

} // namespace

TEST(PrintCli, WritesOnePdfPageLaidOutAsAsked) {
    QTemporaryDir dir;
    const QString in = dir.filePath("rb.ppm"), out = dir.filePath("page.pdf");
    WriteFile(in, RedBlue());
    // 100 x 100 mm at 300 DPI; 2 x 1 inches at the bottom right inside 0.5-inch margins.
    QString err;
    ASSERT_EQ(
        RunCli({"print", in, out, "--paper", "100x100mm", "--dpi", "300", "--size", "2x1in", "--position",
                "8", "--margins", "0.5,0.5,0.5,0.5", "--header", "Top line", "--footer", "Bottom line"},
               nullptr, &err),
        0)
        << err.toStdString();
    const QString info = QString::fromUtf8(Tool("pdfinfo", {out}));
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\n")))) << info.toStdString();
    // The sheet in whole points: 100 mm is 283.46 points.
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+283 x 283 pts"))))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("Lumenor - ") + QFileInfo(in).absoluteFilePath()))
        << info.toStdString();

    // Rendered at 100 DPI (394 x 394): the picture's right edge is half an inch from the sheet's (about
    // 344), its left two inches further left (about 144); the footer band lies below it.
    const QImage page =
        QImage::fromData(Tool("pdftoppm", {"-r", "100", "-aa", "no", "-aaVector", "no", out}), "PPM")
            .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(page.size(), QSize(394, 394));
    int bottom = -1;
    for (int y = 393; y >= 0 && bottom < 0; --y)
        if (page.pixel(300, y) == 0xFFFF0000u || page.pixel(300, y) == 0xFF0000FFu) bottom = y;
    ASSERT_GT(bottom, 200);
    const int middle = bottom - 50;
    EXPECT_EQ(page.pixel(150, middle), 0xFFFF0000u);
    EXPECT_EQ(page.pixel(240, middle), 0xFFFF0000u);
    EXPECT_EQ(page.pixel(250, middle), 0xFF0000FFu);
    EXPECT_EQ(page.pixel(340, middle), 0xFF0000FFu);
    EXPECT_EQ(page.pixel(141, middle), 0xFFFFFFFFu);
    EXPECT_EQ(page.pixel(347, middle), 0xFFFFFFFFu);
    EXPECT_EQ(page.pixel(300, bottom - 102), 0xFFFFFFFFu); // one inch high
    EXPECT_LT(bottom, 394 - 50);                           // above the margin and the footer

    const QString text = QString::fromUtf8(Tool("pdftotext", {out, "-"}));
    EXPECT_TRUE(text.contains(QStringLiteral("Top line"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Bottom line"))) << text.toStdString();
    const QString fonts = QString::fromUtf8(Tool("pdffonts", {out}));
    EXPECT_EQ(fonts.split('\n', Qt::SkipEmptyParts).size(), 3) << fonts.toStdString(); // one font, embedded
    EXPECT_TRUE(fonts.contains(QStringLiteral(" yes "))) << fonts.toStdString();
}

TEST(PrintCli, FullPageOnLetterAndPlotsAsLines) {
    QTemporaryDir dir;
    const QString out = dir.filePath("plot.pdf");
    ASSERT_EQ(RunCli({"print", DataPath("hpgl/graph_hpgl1.plt"), out, "--paper", "Letter", "--mode", "1",
                      "--dpi", "300"}),
              0);
    const QString info = QString::fromUtf8(Tool("pdfinfo", {out}));
    EXPECT_TRUE(info.contains(QStringLiteral("612 x 792 pts"))) << info.toStdString();
    const QStringList images =
        QString::fromUtf8(Tool("pdfimages", {"-list", out})).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(images.size(), 2) << "a plot prints as lines, not as a picture";
}

TEST(PrintCli, UsageErrorsAndFailures) {
    QTemporaryDir dir;
    const QString in = dir.filePath("rb.ppm");
    WriteFile(in, RedBlue());
    QString out, err;
    EXPECT_EQ(RunCli({"print", "--help"}, &out), 0);
    EXPECT_TRUE(out.startsWith(QStringLiteral("Usage: lumenor-cli print IN OUT.pdf"))) << out.toStdString();

    const QString pdf = dir.filePath("x.pdf");
    EXPECT_EQ(RunCli({"print", in, pdf, "--mode", "4"}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("--mode needs a number from 0 to 3, not '4'")))
        << err.toStdString();
    EXPECT_EQ(RunCli({"print", in, pdf, "--position", "9"}, nullptr, &err), 2);
    EXPECT_EQ(RunCli({"print", in, pdf, "--margins", "1,2,3"}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("invalid margins '1,2,3'"))) << err.toStdString();
    EXPECT_EQ(RunCli({"print", in, pdf, "--margins", "1,x,3,4"}, nullptr, &err), 2);
    EXPECT_EQ(RunCli({"print", in, pdf, "--size", "3in"}, nullptr, &err), 2);
    EXPECT_EQ(RunCli({"print", in, pdf, "--paper", "A5"}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("invalid paper 'A5'"))) << err.toStdString();
    EXPECT_EQ(RunCli({"print", in, pdf, "--dpi", "0"}, nullptr, &err), 2);
    EXPECT_EQ(RunCli({"print", in, dir.filePath("x.png")}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("OUT must end in .pdf"))) << err.toStdString();
    EXPECT_EQ(RunCli({"print", in}, nullptr, &err), 2);
    EXPECT_FALSE(QFileInfo::exists(pdf));

    EXPECT_EQ(RunCli({"print", dir.filePath("missing.ppm"), pdf}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("cannot open"))) << err.toStdString();
    EXPECT_EQ(RunCli({"print", in, dir.filePath("no/such/folder/x.pdf")}, nullptr, &err), 1);
    EXPECT_TRUE(err.startsWith(QStringLiteral("lumenor-cli: Cannot write"))) << err.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("rb.ppm")});
}
