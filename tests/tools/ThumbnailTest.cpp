#include "TestUtil.h"

#include "codec/Jpeg.h"
#include "tools/Thumbnail.h"

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTimer>
#include <QUrl>

namespace {

QString SaveJpeg(const QString& path, const QImage& image, int quality = 90) {
    TJpegGraphic writer;
    writer.SetImage(image);
    writer.SetSaveOption(QStringLiteral("quality"), QString::number(quality));
    writer.SaveToFileName(path);
    return path;
}

void SetMTime(const QString& path, const QDateTime& when) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
}

} // namespace

TEST(CalcFitRect, WideTallSmallAndOffsetDestinations) {
    QRect fit;
    ASSERT_TRUE(CalcFitRect(QRect(0, 0, 100, 100), QSize(400, 100), fit));
    EXPECT_EQ(fit, QRect(0, 37, 100, 25)); // centred vertically, top at (100 - 25) div 2
    ASSERT_TRUE(CalcFitRect(QRect(0, 0, 100, 100), QSize(100, 400), fit));
    EXPECT_EQ(fit, QRect(37, 0, 25, 100));
    ASSERT_TRUE(CalcFitRect(QRect(0, 0, 100, 100), QSize(10, 10), fit));
    EXPECT_EQ(fit, QRect(0, 0, 100, 100)); // small pictures are enlarged
    // Truncation, not rounding: 100 * 2 / 3 = 66.67 gives 66; the offset adds the destination's corner.
    ASSERT_TRUE(CalcFitRect(QRect(10, 20, 100, 100), QSize(3, 2), fit));
    EXPECT_EQ(fit, QRect(10, 20 + 17, 100, 66));
    ASSERT_TRUE(CalcFitRect(QRect(5, 5, 50, 200), QSize(2, 3), fit));
    EXPECT_EQ(fit, QRect(5, 5 + 62, 50, 75));
    // Equal ratios take the first branch: the width is kept.
    ASSERT_TRUE(CalcFitRect(QRect(0, 0, 30, 20), QSize(3, 2), fit));
    EXPECT_EQ(fit, QRect(0, 0, 30, 20));
}

TEST(CalcFitRect, DegenerateCasesFailAndLeaveTheResultAlone) {
    const QRect untouched(1, 2, 3, 4);
    QRect fit = untouched;
    EXPECT_FALSE(CalcFitRect(QRect(0, 0, 0, 100), QSize(10, 10), fit));
    EXPECT_FALSE(CalcFitRect(QRect(0, 0, 100, 0), QSize(10, 10), fit));
    EXPECT_FALSE(CalcFitRect(QRect(0, 0, 100, 100), QSize(0, 10), fit));
    EXPECT_FALSE(CalcFitRect(QRect(0, 0, 100, 100), QSize(10, -1), fit));
    EXPECT_FALSE(CalcFitRect(QRect(0, 0, 100, 100), static_cast<const TGraphic*>(nullptr), fit));
    EXPECT_EQ(fit, untouched);
    TImageGraphic empty;
    EXPECT_FALSE(CalcFitRect(QRect(0, 0, 100, 100), &empty, fit));
    TImageGraphic wide(MakeTestImage(40, 10));
    ASSERT_TRUE(CalcFitRect(QRect(0, 0, 100, 100), &wide, fit));
    EXPECT_EQ(fit, QRect(0, 37, 100, 25));
}

TEST(ThumbnailInfo, KibibytesTruncatedSizeAndLocalTime) {
    const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9));
    const QLocale l = QLocale::system();
    const QString date = l.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') + l.toString(when.time(), QLocale::LongFormat);
    EXPECT_EQ(ThumbnailInfoText(1023, QSize(400, 100), when), QStringLiteral("0K\r400 x 100\r") + date);
    EXPECT_EQ(ThumbnailInfoText(2047, QSize(1, 2), when).section(QLatin1Char('\r'), 0, 0), QStringLiteral("1K"));
    EXPECT_EQ(ThumbnailInfoText(5 << 20, QSize(1, 2), QDateTime()), QStringLiteral("5120K\r1 x 2\r"));
}

class ThumbnailCache : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString Root() const { return Dir.filePath(QStringLiteral("cache/thumbnails")); }
    QString Pictures(const QString& name) const {
        QDir().mkpath(Dir.filePath(QStringLiteral("pics")));
        return Dir.filePath(QStringLiteral("pics/") + name);
    }
    QString EntryOf(const QString& file, const QString& flavour = QStringLiteral("normal")) const {
        const QByteArray uri = "file://" + QUrl::toPercentEncoding(QFileInfo(file).absoluteFilePath(), "/");
        return Root() + QLatin1Char('/') + flavour + QLatin1Char('/') +
               QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) + QStringLiteral(".png");
    }
    TPreviewOptions Options(QSize cell = QSize(100, 100)) const {
        TPreviewOptions o;
        o.Cell = cell;
        o.CacheRoot = Root();
        return o;
    }
};

TEST_F(ThumbnailCache, EntriesFollowTheDesktopRulesAndAreReused) {
    const QString file = SaveJpeg(Pictures(QStringLiteral("photo one.jpg")), MakeTestImage(600, 400));
    SetMTime(file, QDateTime::fromSecsSinceEpoch(1700000000));
    TPreview first = MakePreview(file, Options());
    ASSERT_EQ(first.Status, TPreviewStatus::Ok) << first.Error.toStdString();
    EXPECT_FALSE(first.FromCache);
    EXPECT_EQ(first.Image.size(), QSize(100, 66));
    EXPECT_EQ(first.PictureSize, QSize(600, 400));

    // The entry: md5 of the percent-encoded URI, a 128 thumbnail, tEXt chunks with URI and MTime.
    const QString entry = EntryOf(file);
    EXPECT_TRUE(entry.contains(QStringLiteral("/normal/")));
    const QByteArray bytes = ReadFile(entry);
    ASSERT_FALSE(bytes.isEmpty()) << entry.toStdString();
    EXPECT_TRUE(bytes.contains(QByteArray("tEXtThumb::URI\0file://", 22) + QFileInfo(file).absolutePath().toUtf8() + "/photo%20one.jpg"));
    EXPECT_TRUE(bytes.contains(QByteArray("tEXtThumb::MTime\0" "1700000000", 27)));
    const QImage stored(entry);
    EXPECT_EQ(stored.text(QStringLiteral("Thumb::URI")), QStringLiteral("file://") + QFileInfo(file).absolutePath() + QStringLiteral("/photo%20one.jpg"));
    EXPECT_EQ(stored.text(QStringLiteral("Thumb::MTime")), QStringLiteral("1700000000"));
    EXPECT_EQ(stored.text(QStringLiteral("Thumb::Size")), QString::number(QFileInfo(file).size()));
    EXPECT_EQ(stored.size(), QSize(128, 85));
    EXPECT_EQ(QFileInfo(entry).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
    EXPECT_EQ(QDir(QFileInfo(entry).path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporaries left

    // Replace the entry by a solid one with the same keys: the next preview must come from it.
    const QImage solid = [] { QImage i(128, 85, QImage::Format_RGB32); i.fill(qRgb(0, 200, 0)); return i; }();
    WriteFile(entry, EncodePngWithText(solid, {{"Thumb::URI", ThumbnailUri(file)}, {"Thumb::MTime", "1700000000"},
                                               {"Thumb::Image::Width", "600"}, {"Thumb::Image::Height", "400"}}));
    TPreview second = MakePreview(file, Options());
    ASSERT_EQ(second.Status, TPreviewStatus::Ok);
    EXPECT_TRUE(second.FromCache);
    EXPECT_EQ(second.PictureSize, QSize(600, 400));
    EXPECT_EQ(second.Image.size(), QSize(100, 66));
    EXPECT_EQ(second.Image.pixel(50, 30), qRgb(0, 200, 0));

    // A new modification time makes the entry stale: decoded again and rewritten.
    SetMTime(file, QDateTime::fromSecsSinceEpoch(1700000100));
    TPreview third = MakePreview(file, Options());
    EXPECT_FALSE(third.FromCache);
    EXPECT_NE(third.Image.pixel(50, 30), qRgb(0, 200, 0));
    EXPECT_EQ(QImage(entry).text(QStringLiteral("Thumb::MTime")), QStringLiteral("1700000100"));

    // A larger cell uses the large flavour; one past 256 bypasses the cache.
    EXPECT_EQ(MakePreview(file, Options(QSize(200, 200))).Image.size(), QSize(200, 133));
    EXPECT_EQ(QImageReader(EntryOf(file, QStringLiteral("large"))).size(), QSize(256, 170));
    EXPECT_EQ(MakePreview(file, Options(QSize(300, 300))).Image.size(), QSize(300, 200));
    EXPECT_EQ(ThumbnailFlavour(QSize(300, 300)), QString());
}

TEST_F(ThumbnailCache, EntryOfAnotherFileOrWithoutMTimeIsIgnored) {
    const QString a = SaveJpeg(Pictures(QStringLiteral("a.jpg")), MakeTestImage(64, 64));
    const QString b = SaveJpeg(Pictures(QStringLiteral("b.jpg")), MakeTestImage(64, 64));
    const qint64 mtime = QFileInfo(a).lastModified().toSecsSinceEpoch();
    QDir().mkpath(Root() + QStringLiteral("/normal"));
    const QImage img = MakeTestImage(64, 64);
    WriteFile(EntryOf(a), EncodePngWithText(img, {{"Thumb::URI", ThumbnailUri(b)}, {"Thumb::MTime", QByteArray::number(mtime)}}));
    TCachedThumbnail cached;
    EXPECT_FALSE(ReadCachedThumbnail(Root(), QStringLiteral("normal"), a, cached));
    WriteFile(EntryOf(a), EncodePngWithText(img, {{"Thumb::URI", ThumbnailUri(a)}}));
    EXPECT_FALSE(ReadCachedThumbnail(Root(), QStringLiteral("normal"), a, cached));
    WriteFile(EntryOf(a), EncodePngWithText(img, {{"Thumb::URI", ThumbnailUri(a)}, {"Thumb::MTime", QByteArray::number(mtime)}}));
    EXPECT_TRUE(ReadCachedThumbnail(Root(), QStringLiteral("normal"), a, cached));
    EXPECT_TRUE(SamePixels(cached.Image, img));
}

TEST_F(ThumbnailCache, JpegPreviewMatchesAFullDecodeScaledDown) {
    const QImage source = MakeTestImage(1600, 1200);
    const QString file = SaveJpeg(Pictures(QStringLiteral("big.jpg")), source, 95);
    TPreviewOptions o;
    o.Cell = QSize(100, 100);
    const TPreview p = MakePreview(file, o);
    ASSERT_EQ(p.Status, TPreviewStatus::Ok);
    EXPECT_EQ(p.Image.size(), QSize(100, 75));
    TJpegGraphic full;
    full.LoadFromFileName(file);
    const QImage expected = full.Image().convertToFormat(QImage::Format_RGB32).scaled(100, 75, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Decoded at 1/8 and smoothed: close to the full decode, not equal (the test picture has a fine checker).
    EXPECT_TRUE(SamePixels(p.Image.convertToFormat(QImage::Format_RGB32), expected, 40));
    EXPECT_FALSE(QDir(Root()).exists()); // no cache root given: nothing written
}

TEST_F(ThumbnailCache, LockedAndBrokenFiles) {
    const QString cif = Pictures(QStringLiteral("secret.CIF"));
    WriteFile(cif, QByteArray("not even a container"));
    TPreview locked = MakePreview(cif, Options());
    EXPECT_EQ(locked.Status, TPreviewStatus::Locked);
    EXPECT_TRUE(locked.Info.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(EntryOf(cif)));
    const QImage lock = LockPlaceholder(QSize(80, 80));
    EXPECT_EQ(lock.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(lock.pixelColor(40, 60).alpha(), 255);

    const QString broken = Pictures(QStringLiteral("broken.png"));
    WriteFile(broken, QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(20, 'x'));
    TPreview failed = MakePreview(broken, Options());
    EXPECT_EQ(failed.Status, TPreviewStatus::Failed);
    EXPECT_FALSE(failed.Error.isEmpty());
    EXPECT_TRUE(failed.Image.isNull());
    EXPECT_TRUE(failed.Info.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(EntryOf(broken)));
    EXPECT_EQ(MakePreview(Pictures(QStringLiteral("missing.png")), Options()).Error, QStringLiteral("The file does not exist"));
}

TEST_F(ThumbnailCache, LoaderReportsEveryFileOnceAndDoesNotRetryFailures) {
    QStringList files;
    for (int i = 0; i < 6; ++i)
        files << SaveJpeg(Pictures(QStringLiteral("p%1.jpg").arg(i)), MakeTestImage(200 + i * 10, 100));
    const QString bad = Pictures(QStringLiteral("bad.jpg"));
    WriteFile(bad, QByteArray("\xff\xd8\xff", 3));
    files << bad;

    TThumbnailLoader loader;
    loader.SetOptions(Options(QSize(50, 50)));
    loader.Load(files);
    QMap<int, TPreview> got;
    QEventLoop loop;
    QObject::connect(&loader, &TThumbnailLoader::PreviewReady, &loop, [&](int index, const QString& name, const TPreview& p) {
        EXPECT_EQ(name, files[index]);
        EXPECT_FALSE(got.contains(index));
        got[index] = p;
        if (got.size() == files.size()) loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loader.Request({6, 2});
    loader.RequestAll();
    loader.Request({2, 3}); // already queued or made: no second report
    loop.exec();
    ASSERT_EQ(got.size(), files.size());
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(got[i].Status, TPreviewStatus::Ok);
        EXPECT_EQ(got[i].Image.width(), 50);
        EXPECT_EQ(got[i].PictureSize, QSize(200 + i * 10, 100));
    }
    EXPECT_EQ(got[6].Status, TPreviewStatus::Failed);
    EXPECT_TRUE(loader.HasFailed(6));

    // Asking again for the failed file does nothing until the list is loaded again.
    int reports = 0;
    QObject::connect(&loader, &TThumbnailLoader::PreviewReady, &loop, [&](int index, const QString&, const TPreview&) {
        ++reports;
        EXPECT_EQ(index, 6);
        loop.quit();
    });
    loader.Request({6});
    loader.WaitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(reports, 0);
    EXPECT_TRUE(loader.IsIdle());
    got.clear();
    loader.Load(files);
    EXPECT_FALSE(loader.HasFailed(6));
    loader.Request({6});
    loop.exec();
    EXPECT_EQ(reports, 1);
}
