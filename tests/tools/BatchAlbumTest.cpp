#include "TestUtil.h"

#include "tools/BatchConv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QUrl>

namespace {

QStringList MakePictures(const QString& dir, const QStringList& names) {
    QDir().mkpath(dir);
    QStringList files;
    for (int i = 0; i < names.size(); ++i) {
        const QString path = QDir(dir).filePath(names[i]);
        EXPECT_TRUE(MakeTestImage(40 + i * 7, 30 + i * 3).save(path, "PNG"));
        files << path;
    }
    return files;
}

QStringList Letters(int count) {
    QStringList names;
    for (int i = 0; i < count; ++i) names << QStringLiteral("p%1.png").arg(i, 2, 10, QLatin1Char('0'));
    return names;
}

TBatchResult RunAlbum(const QStringList& files, const TAlbumOptions& options) {
    TBatchJob job(files, options);
    EXPECT_TRUE(job.Prepare()) << job.FatalError().toStdString();
    return job.Execute();
}

QString Crlf(const char* text) { return QString::fromUtf8(text).replace(QStringLiteral("\n"), QStringLiteral("\r\n")); }

// The last page of the small album below, as it must be written.
const char* const kLastPage = R"(<html>

<head>
<meta http-equiv="Content-Type" content="text/html; charset=utf-8">
<title>My &lt;Album&gt;</title></head>

<body bgcolor="#FFFFFF" text="#990000" link="#660066" vlink="#CC99CC" alink="#99FF33">

<h1 align="center">My &lt;Album&gt;</h1>

<hr>

<p><div align="center"><center>

<table cellpadding="0" cellspacing="0">
<tr>
<td><table border="0" cellpadding="0" cellspacing="0">
<tr>
<td align="center" valign="top"><table border="2" cellpadding="0" cellspacing="0">
<tr>
<td><table border="0" cellpadding="0" cellspacing="0">
<tr>
<td colspan="3">&nbsp;</td>
</tr>
<tr>
<td>&nbsp;</td>
<td align="center" width="32" height="32"><a href="c.png"><img src="TN_c.JPG" alt="c.png" align="top" width="32" height="21"></a></td>
<td>&nbsp;</td>
</tr>
<tr>
<td colspan="3">&nbsp;</td>
</tr>
</table>
</td>
</tr>
</table>
</td>
</tr>
<tr>
<td valign="top"><table border="0" cellpadding="0" cellspacing="0">
<tr>
<td valign="top" align="right" width="32">c.png(1KB)</td>
</tr>
</table>
</td>
</tr>
</table></td>
</tr>
</table>
</center></div>
<p><hr>
<p align="center">
<font face="Verdana, Arial, Helvetica, Sans-Serif"> <b>Page:</b>&nbsp;&nbsp;</font>
<a HREF="Page_001.htm"><font face="Verdana, Arial, Helvetica, Sans-Serif">1</font></a>&nbsp
<font face="Verdana, Arial, Helvetica, Sans-Serif">2</font></a>&nbsp</p>
<p align="center">
[ <a HREF="Page_001.htm"><font face="Verdana, Arial, Helvetica, Sans-Serif">First</font></a> ]
&nbsp;[ <a HREF="Page_001.htm"><font face="Verdana, Arial, Helvetica, Sans-Serif">Previous</font></a> ]
&nbsp;[ <font face="Verdana, Arial, Helvetica, Sans-Serif">Next</font> ]
&nbsp;[ <font face="Verdana, Arial, Helvetica, Sans-Serif">Last</font></a> ]
</p>
</body>
</html>)";

const char* const kFirstPageFoot = R"(
</tr>
</table>
</center></div>
<p><hr>
<p align="center">
<font face="Verdana, Arial, Helvetica, Sans-Serif"> <b>Page:</b>&nbsp;&nbsp;</font>
<font face="Verdana, Arial, Helvetica, Sans-Serif">1</font></a>&nbsp
<a HREF="Page_002.htm"><font face="Verdana, Arial, Helvetica, Sans-Serif">2</font></a>&nbsp</p>
<p align="center">
[ <font face="Verdana, Arial, Helvetica, Sans-Serif">First</font></a> ]
&nbsp;[ <font face="Verdana, Arial, Helvetica, Sans-Serif">Previous</font> ]
&nbsp;[ <a HREF="Page_002.htm"><font face="Verdana, Arial, Helvetica, Sans-Serif">Next</font></a> ]
&nbsp;[ <a HREF="Page_002.htm"><font face="Verdana, Arial, Helvetica, Sans-Serif">Last</font></a> ]
</p>
</body>
</html>)";

} // namespace

TEST(BatchAlbum, PagesByteForByte) {
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.filePath(QStringLiteral("in")), {QStringLiteral("a.png"), QStringLiteral("b.png"), QStringLiteral("c.png")});
    const QString out = dir.filePath(QStringLiteral("album"));
    QDir().mkpath(out);
    TAlbumOptions options;
    options.OutputDir = out;
    options.Box = QSize(32, 32);
    options.Columns = 2;
    options.Rows = 1;
    options.Title = QStringLiteral("My <Album>");
    options.Border = 2;
    options.Align = TAlbumAlign::aaRight;
    options.Label = TAlbumLabel::alNameSize;
    const QString sizeLabel = QStringLiteral("c.png(%1KB)").arg(QFileInfo(files[2]).size() >> 10);
    const TBatchResult result = RunAlbum(files, options);
    EXPECT_TRUE(result.Errors.isEmpty()) << result.Errors.join(QLatin1Char('\n')).toStdString();
    QStringList written = QDir(out).entryList(QDir::Files);
    written.sort(Qt::CaseSensitive);
    EXPECT_EQ(written, (QStringList{QStringLiteral("Page_001.htm"), QStringLiteral("Page_002.htm"), QStringLiteral("TN_a.JPG"), QStringLiteral("TN_b.JPG"),
                                    QStringLiteral("TN_c.JPG"), QStringLiteral("a.png"), QStringLiteral("b.png"), QStringLiteral("c.png")}));
    EXPECT_EQ(QString::fromUtf8(ReadFile(out + QStringLiteral("/Page_002.htm"))),
              Crlf(kLastPage).replace(QStringLiteral("c.png(1KB)"), sizeLabel));
    const QString first = QString::fromUtf8(ReadFile(out + QStringLiteral("/Page_001.htm")));
    EXPECT_TRUE(first.endsWith(Crlf(kFirstPageFoot))) << first.right(900).toStdString();
    EXPECT_TRUE(first.contains(QStringLiteral("<a href=\"a.png\"><img src=\"TN_a.JPG\" alt=\"a.png\" align=\"top\" width=\"32\" height=\"24\">")));
    EXPECT_TRUE(first.contains(QStringLiteral("<a href=\"b.png\"><img src=\"TN_b.JPG\" alt=\"b.png\" align=\"top\" width=\"32\" height=\"22\">")));
    // One row of two cells: the row's start and each cell's inner table.
    EXPECT_EQ(first.count(QStringLiteral("\r\n<tr>\r\n<td><table border=\"0\"")), 3);
    EXPECT_EQ(first.count(QStringLiteral("</table></td>\r\n</tr>")), 1);
    EXPECT_EQ(QImage(out + QStringLiteral("/TN_b.JPG")).size(), QSize(32, 22));
    EXPECT_EQ(ReadFile(out + QStringLiteral("/c.png")), ReadFile(files[2]));
}

TEST(BatchAlbum, TwentyThreePicturesOnTwoPages) {
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.filePath(QStringLiteral("in")), Letters(23));
    const QString out = dir.filePath(QStringLiteral("album"));
    QDir().mkpath(out);
    TAlbumOptions options;
    options.OutputDir = out;
    options.CopySource = false;
    options.Label = TAlbumLabel::alIndex;
    options.ThumbnailExt = QStringLiteral(".GIF");
    const TBatchResult result = RunAlbum(files, options);
    EXPECT_TRUE(result.Errors.isEmpty());
    const QString p1 = QString::fromUtf8(ReadFile(out + QStringLiteral("/Page_001.htm")));
    const QString p2 = QString::fromUtf8(ReadFile(out + QStringLiteral("/Page_002.htm")));
    const QString cell = QStringLiteral("<td><table border=\"0\" cellpadding=\"0\" cellspacing=\"0\">\r\n<tr>\r\n<td align=\"center\" valign=\"top\">");
    EXPECT_EQ(p1.count(cell), 20);
    EXPECT_EQ(p2.count(cell), 3);
    EXPECT_EQ(p1.count(QStringLiteral("\r\n</table></td>\r\n</tr>")), 4);
    EXPECT_EQ(p2.count(QStringLiteral("\r\n</table></td>\r\n</tr>")), 1);
    // Labels count within the page; links name the source by a file URL; thumbnails are GIFs.
    EXPECT_TRUE(p2.contains(QStringLiteral("width=\"128\">3</td>")));
    EXPECT_TRUE(p2.contains(QStringLiteral("<a href=\"") + QUrl::fromLocalFile(files[22]).toString(QUrl::FullyEncoded) + QStringLiteral("\"><img src=\"TN_p22.GIF\"")));
    EXPECT_TRUE(p1.contains(QStringLiteral("Page:")) && p2.contains(QStringLiteral("Page:")));
    EXPECT_TRUE(QFileInfo::exists(out + QStringLiteral("/TN_p00.GIF")));
    EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/p00.png")));
}

TEST(BatchAlbum, OnePageOptimizedWithoutNavigation) {
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.filePath(QStringLiteral("in")), Letters(3));
    TAlbumOptions options;
    options.OutputDir = dir.filePath(QStringLiteral("in"));
    options.Optimize = true;
    options.BaseName = QStringLiteral("  Index ");
    const TBatchResult result = RunAlbum(files, options);
    EXPECT_TRUE(result.Errors.isEmpty());
    const QString page = QString::fromUtf8(ReadFile(dir.filePath(QStringLiteral("in/Index_001.htm"))));
    EXPECT_FALSE(page.contains(QLatin1Char('\r')) || page.contains(QLatin1Char('\n')));
    EXPECT_FALSE(page.contains(QStringLiteral("Page:")));
    EXPECT_FALSE(page.contains(QStringLiteral("HREF")));
    // The pictures are already in the album's folder: relative links, nothing copied.
    EXPECT_TRUE(page.contains(QStringLiteral("<a href=\"p01.png\">")));
    EXPECT_TRUE(page.endsWith(QStringLiteral("<p><hr></body></html>")));
}

TEST(BatchAlbum, NamesAreEscapedAndLinksAreUrls) {
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.filePath(QStringLiteral("in")), {QStringLiteral("a & <b> #1.png"), QStringLiteral("é\"q.png")});
    const QString out = dir.filePath(QStringLiteral("album"));
    QDir().mkpath(out);
    TAlbumOptions options;
    options.OutputDir = out;
    const TBatchResult result = RunAlbum(files, options);
    EXPECT_TRUE(result.Errors.isEmpty()) << result.Errors.join(QLatin1Char('\n')).toStdString();
    const QString page = QString::fromUtf8(ReadFile(out + QStringLiteral("/Page_001.htm")));
    EXPECT_TRUE(page.contains(QStringLiteral("<a href=\"a%20%26%20%3Cb%3E%20%231.png\"><img src=\"TN_a%20%26%20%3Cb%3E%20%231.JPG\" alt=\"a &amp; &lt;b&gt; #1.png\"")))
        << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("<a href=\"%C3%A9%22q.png\"><img src=\"TN_%C3%A9%22q.JPG\" alt=\"é&quot;q.png\"")));
    EXPECT_TRUE(page.contains(QStringLiteral("charset=utf-8")));
}

TEST(BatchAlbum, CollisionsAndDeletingKeepEveryPicture) {
    QTemporaryDir dir;
    const QStringList one = MakePictures(dir.filePath(QStringLiteral("one")), {QStringLiteral("a.png")});
    const QStringList two = MakePictures(dir.filePath(QStringLiteral("two")), {QStringLiteral("a.png"), QStringLiteral("b.png")});
    const QString out = dir.filePath(QStringLiteral("album"));
    QDir().mkpath(out);
    TAlbumOptions options;
    options.OutputDir = out;
    options.DeleteSource = true;
    options.CopySource = false;
    TBatchJob refused(one, options);
    EXPECT_FALSE(refused.Prepare());
    EXPECT_TRUE(refused.FatalError().contains(QStringLiteral("linked from the album's pages")));

    options.CopySource = true;
    const TBatchResult result = RunAlbum({one[0], two[0], two[1]}, options);
    ASSERT_EQ(result.Errors.size(), 2);
    EXPECT_EQ(result.Errors[0], QStringLiteral("Error in converting file '") + two[0] + QStringLiteral("': the thumbnail '") + out +
                                    QStringLiteral("/TN_a.JPG' is also made for '") + one[0] + QStringLiteral("'"));
    EXPECT_EQ(result.Errors[1], QStringLiteral("Error in copying or deleting source file '") + two[0] + QStringLiteral("': the copy '") + out +
                                    QStringLiteral("/a.png' is also written for '") + one[0] + QStringLiteral("'"));
    EXPECT_TRUE(QFileInfo::exists(two[0])); // refused: kept where it is
    EXPECT_FALSE(QFileInfo::exists(one[0])); // moved into the album
    EXPECT_FALSE(QFileInfo::exists(two[1]));
    EXPECT_TRUE(QFileInfo::exists(out + QStringLiteral("/a.png")));
    EXPECT_TRUE(QFileInfo::exists(out + QStringLiteral("/b.png")));
}

TEST(BatchAlbum, ABrokenPictureKeepsItsSourceAndTheLastSize) {
    QTemporaryDir dir;
    QStringList files = MakePictures(dir.filePath(QStringLiteral("in")), {QStringLiteral("a.png")});
    const QString broken = dir.filePath(QStringLiteral("in/broken.png"));
    WriteFile(broken, "not a picture");
    files << broken;
    const QString out = dir.filePath(QStringLiteral("album"));
    QDir().mkpath(out);
    TAlbumOptions options;
    options.OutputDir = out;
    options.DeleteSource = true;
    options.Label = TAlbumLabel::alSize;
    const TBatchResult result = RunAlbum(files, options);
    ASSERT_EQ(result.Errors.size(), 1);
    EXPECT_TRUE(result.Errors[0].startsWith(QStringLiteral("Error in converting file '") + broken + QStringLiteral("': ")));
    EXPECT_TRUE(QFileInfo::exists(broken)); // copied, not moved
    const QString page = QString::fromUtf8(ReadFile(out + QStringLiteral("/Page_001.htm")));
    EXPECT_EQ(page.count(QStringLiteral("width=\"128\" height=\"96\"></a>")), 2);
    EXPECT_TRUE(page.contains(QStringLiteral(">0KB</td>")));
}

TEST(BatchAlbum, PageColours) {
    EXPECT_EQ(PageColorText(DefaultPageColors[pcText]), QStringLiteral("990000"));
    EXPECT_EQ(PageColorText(DefaultPageColors[pcActiveLinks]), QStringLiteral("99FF33"));
    EXPECT_EQ(PageColorText(0x0000FF), QStringLiteral("FF0000")); // a red swatch writes red
    EXPECT_EQ(AlbumPageName(QStringLiteral(" Page "), 1000), QStringLiteral("Page_1000.htm"));
}
