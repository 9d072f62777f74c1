#include "TestUtil.h"

#include "codec/Resample.h"
#include "tools/BatchConv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <atomic>
#include <thread>

namespace {

// Pictures a.png, b.png, ... of different sizes in dir; returns their paths.
QStringList MakePictures(const QString& dir, int count, const QString& prefix = QString()) {
    QDir().mkpath(dir);
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString path = QDir(dir).filePath(prefix + QChar(u'a' + i) + QStringLiteral(".png"));
        EXPECT_TRUE(MakeTestImage(40 + i * 7, 30 + i * 3).save(path));
        files << path;
    }
    return files;
}

// Every file of dir (no folders) with its bytes.
QMap<QString, QByteArray> Contents(const QString& dir) {
    QMap<QString, QByteArray> map;
    for (const QString& name : QDir(dir).entryList(QDir::Files)) map.insert(name, ReadFile(QDir(dir).filePath(name)));
    return map;
}

TBatchResult RunBatch(const QStringList& files, const TBatchOptions& options) {
    TBatchJob job(files, options);
    EXPECT_TRUE(job.Prepare()) << job.FatalError().toStdString();
    return job.Execute();
}

} // namespace

TEST(BatchRename, TextRules) {
    TTextRename rule;
    rule.Prefix = QStringLiteral("x_");
    rule.Suffix = QStringLiteral("_y");
    EXPECT_EQ(RenameByText(QStringLiteral("photo.jpg"), rule), QStringLiteral("x_photo_y.jpg"));
    rule.Extension = QStringLiteral("bak");
    rule.ExtChange = TExtChange::ecAdd;
    EXPECT_EQ(RenameByText(QStringLiteral("photo.jpg"), rule), QStringLiteral("x_photo_y.jpg.bak"));
    rule.ExtChange = TExtChange::ecRename;
    EXPECT_EQ(RenameByText(QStringLiteral("photo.jpg"), rule), QStringLiteral("x_photo_y.bak"));

    TTextRename search;
    search.SearchFor = QStringLiteral("P");
    search.ReplaceWith = QStringLiteral("-");
    EXPECT_EQ(RenameByText(QStringLiteral("photo.jpg"), search), QStringLiteral("-hoto.jpg"));
    search.ReplaceMode = TReplaceMode::rmAll;
    EXPECT_EQ(RenameByText(QStringLiteral("photo.jpg"), search), QStringLiteral("-hoto.j-g"));
    search.CaseSensitive = true;
    EXPECT_EQ(RenameByText(QStringLiteral("photo.jpg"), search), QStringLiteral("photo.jpg"));
    search.Case = TCaseChange::ccUpper;
    EXPECT_EQ(RenameByText(QStringLiteral("photo.jpg"), search), QStringLiteral("PHOTO.JPG"));
    search.Case = TCaseChange::ccLower;
    EXPECT_EQ(RenameByText(QStringLiteral("Image.GIF"), search), QStringLiteral("image.gif"));
    // The case changes after the search: a case-sensitive "P" is found in "JPG" only in upper case.
    EXPECT_EQ(RenameByText(QStringLiteral("Photo.JPG"), search), QStringLiteral("-hoto.j-g"));
    // Without an extension, and with the extension replaced on a name without one.
    TTextRename ext;
    ext.Extension = QStringLiteral("txt");
    EXPECT_EQ(RenameByText(QStringLiteral("README"), ext), QStringLiteral("README.txt"));
}

TEST(BatchRename, NumberRules) {
    TNumberRename prefix;
    prefix.Prefix = QStringLiteral("10");
    prefix.Step = QStringLiteral("5");
    EXPECT_EQ(Renumber(QStringLiteral("photo.jpg"), 2, prefix), QStringLiteral("20photo.jpg"));
    prefix.Keep = TNumberKeep::nkRemoveName;
    prefix.Suffix = QStringLiteral("1");
    // The name goes once: the suffix number follows the prefix number.
    EXPECT_EQ(Renumber(QStringLiteral("photo.jpg"), 2, prefix), QStringLiteral("2011.jpg"));

    TNumberRename range;
    range.From = QStringLiteral("1");
    range.To = QStringLiteral("10");
    range.ReplaceWith = QStringLiteral("100");
    range.Step = QStringLiteral("1");
    EXPECT_EQ(Renumber(QStringLiteral("img007.png"), 0, range), QStringLiteral("img106.png"));
    EXPECT_EQ(Renumber(QStringLiteral("img011.png"), 0, range), QStringLiteral("img011.png")); // beyond To
    // No digit: number 0, outside 1..10; with From 0 the number is appended.
    EXPECT_EQ(Renumber(QStringLiteral("photo"), 0, range), QStringLiteral("photo"));
    range.From = QStringLiteral("0");
    EXPECT_EQ(Renumber(QStringLiteral("photo"), 0, range), QStringLiteral("photo100"));
    // Fields that are not numbers count as 0; an empty replacement drops the number.
    TNumberRename drop;
    drop.To = QStringLiteral("9x");
    drop.Leading = QStringLiteral("L_");
    drop.Tailing = QStringLiteral("_T");
    EXPECT_EQ(Renumber(QStringLiteral("a0b.gif"), 3, drop), QStringLiteral("L_ab_T.gif"));

    TNumberRename ext;
    ext.Ext = QStringLiteral("7");
    ext.Step = QStringLiteral("-2");
    EXPECT_EQ(Renumber(QStringLiteral("scan.tif"), 1, ext), QStringLiteral("scan.tif.5"));
    ext.Keep = TNumberKeep::nkRemoveExt;
    EXPECT_EQ(Renumber(QStringLiteral("scan.tif"), 1, ext), QStringLiteral("scan.5"));
}

TEST(BatchRename, LongNumbersNeverOverflow) {
    TNumberRename big;
    big.Prefix = QStringLiteral("9223372036854775807");
    big.Step = QStringLiteral("9223372036854775807");
    EXPECT_EQ(Renumber(QStringLiteral("a.png"), 2, big), QStringLiteral("27670116110564327421a.png"));
    TNumberRename range;
    range.From = QStringLiteral("0");
    range.To = QStringLiteral("9223372036854775807");
    range.ReplaceWith = QStringLiteral("1");
    range.Step = QStringLiteral("2");
    // 20 digits: beyond To, kept; 40 digits as well.
    EXPECT_EQ(Renumber(QStringLiteral("x99999999999999999999.png"), 0, range), QStringLiteral("x99999999999999999999.png"));
    const QString forty = QStringLiteral("y") + QString(40, QLatin1Char('7')) + QStringLiteral(".png");
    EXPECT_EQ(Renumber(forty, 0, range), forty);
    // 19 digits with leading zeros read as their value.
    EXPECT_EQ(Renumber(QStringLiteral("z0000000000000000004.png"), 0, range), QStringLiteral("z9.png"));
}

TEST(BatchRename, Pattern) {
    EXPECT_EQ(RenameByPattern(QStringLiteral("photo.jpg"), 6, QStringLiteral("trip_###")), QStringLiteral("trip_007.jpg"));
    EXPECT_EQ(RenameByPattern(QStringLiteral("photo.jpg"), 1233, QStringLiteral("*-##")), QStringLiteral("photo-1234.jpg"));
    EXPECT_EQ(RenameByPattern(QStringLiteral("photo.jpg"), 0, QStringLiteral("#_*.jpeg")), QStringLiteral("1_photo.jpeg"));
}

TEST(BatchRun, SerialAndParallelRunsWriteTheSameFiles) {
    QTemporaryDir dir;
    QStringList files = MakePictures(dir.filePath(QStringLiteral("in")), 9);
    const QString broken = dir.filePath(QStringLiteral("in/broken.png"));
    WriteFile(broken, QByteArray("\x89PNG\r\n\x1a\n but not really"));
    files.insert(4, broken);
    files.insert(7, dir.filePath(QStringLiteral("in/missing.png")));
    TBatchOptions options;
    options.Action = TBatchAction::baConvertRename;
    options.TargetExt = QStringLiteral(".bmp");
    options.Rename.Kind = TRenameKind::rkNumber;
    options.Rename.Number.Prefix = QStringLiteral("100");
    options.Rename.Number.Step = QStringLiteral("1");
    QDir().mkpath(dir.filePath(QStringLiteral("serial")));
    QDir().mkpath(dir.filePath(QStringLiteral("parallel")));
    options.OutputDir = dir.filePath(QStringLiteral("serial"));
    options.Workers = 1;
    const TBatchResult serial = RunBatch(files, options);
    options.OutputDir = dir.filePath(QStringLiteral("parallel"));
    options.Workers = 4;
    const TBatchResult parallel = RunBatch(files, options);

    const QStringList expectedErrors{
        QStringLiteral("Error in converting file '") + broken + QStringLiteral("': "),
        QStringLiteral("Error in converting file '") + files[7] + QStringLiteral("': The file does not exist"),
    };
    ASSERT_EQ(serial.Errors.size(), 2);
    EXPECT_TRUE(serial.Errors[0].startsWith(expectedErrors[0])) << serial.Errors[0].toStdString();
    EXPECT_EQ(serial.Errors[1], expectedErrors[1]);
    EXPECT_EQ(parallel.Errors, serial.Errors);
    EXPECT_EQ(serial.Processed, 11);
    const auto a = Contents(dir.filePath(QStringLiteral("serial"))), b = Contents(dir.filePath(QStringLiteral("parallel")));
    EXPECT_EQ(a.keys(), (QStringList{QStringLiteral("100a.bmp"), QStringLiteral("101b.bmp"), QStringLiteral("102c.bmp"),
                                     QStringLiteral("103d.bmp"), QStringLiteral("105e.bmp"), QStringLiteral("106f.bmp"),
                                     QStringLiteral("108g.bmp"), QStringLiteral("109h.bmp"), QStringLiteral("110i.bmp")}));
    EXPECT_TRUE(a == b);
    // The conversion is real: the first target holds the first picture.
    EXPECT_TRUE(SamePixels(QImage(dir.filePath(QStringLiteral("serial/100a.bmp"))).convertToFormat(QImage::Format_RGB32),
                           QImage(files[0]).convertToFormat(QImage::Format_RGB32)));
}

TEST(BatchRun, CollisionsLoseNothing) {
    QTemporaryDir dir;
    const QStringList one = MakePictures(dir.filePath(QStringLiteral("one")), 2);
    const QStringList two = MakePictures(dir.filePath(QStringLiteral("two")), 1);
    const QString same = dir.filePath(QStringLiteral("one/a.bmp"));
    ASSERT_TRUE(MakeTestImage(12, 12).save(same));
    const QByteArray sameBytes = ReadFile(same);
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(out);

    // two/a.png maps to the target of one/a.png; one/a.png's target in its own folder is the listed a.bmp.
    TBatchOptions options;
    options.TargetExt = QStringLiteral(".bmp");
    options.OutputDir = out;
    options.DeleteSource = true;
    TBatchResult result = RunBatch({one[0], one[1], two[0]}, options);
    EXPECT_EQ(result.Errors, QStringList{QStringLiteral("Error in converting file '") + two[0] + QStringLiteral("': the target '") + out +
                                         QStringLiteral("/a.bmp' is also the target of '") + one[0] + QStringLiteral("'")});
    EXPECT_FALSE(QFileInfo::exists(one[0])); // converted, then deleted
    EXPECT_TRUE(QFileInfo::exists(two[0]));  // refused, kept
    EXPECT_EQ(QDir(out).entryList(QDir::Files), (QStringList{QStringLiteral("a.bmp"), QStringLiteral("b.bmp")}));

    // A target that is another file of the list is never written over.
    options.OutputDir.clear();
    const QString c = MakePictures(dir.filePath(QStringLiteral("one")), 3)[2];
    result = RunBatch({c, same, one[1]}, options);
    EXPECT_TRUE(result.Errors.isEmpty()) << result.Errors.join(QLatin1Char('\n')).toStdString();
    TBatchOptions clash = options;
    const QString again = dir.filePath(QStringLiteral("one/a.png"));
    ASSERT_TRUE(MakeTestImage(20, 20).save(again));
    result = RunBatch({again, same}, clash);
    ASSERT_EQ(result.Errors.size(), 1);
    EXPECT_EQ(result.Errors[0], QStringLiteral("Error in converting file '") + again + QStringLiteral("': the target '") + same +
                                    QStringLiteral("' is another file of the list"));
    EXPECT_TRUE(QFileInfo::exists(again));
    // same.bmp converts onto itself (overwrite asked: kept) and is never deleted.
    EXPECT_EQ(ReadFile(same), sameBytes);
    clash.Overwrite = true;
    result = RunBatch({same}, clash);
    EXPECT_TRUE(result.Errors.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(same));
}

TEST(BatchRun, InvalidNamesAreRefused) {
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.path(), 3);
    TBatchOptions options;
    options.Action = TBatchAction::baRename;
    options.Rename.Kind = TRenameKind::rkNumber;
    options.Rename.Number.Keep = TNumberKeep::nkRemoveName;
    options.Rename.Number.From = QStringLiteral("0"); // no digit: the whole name goes, nothing replaces it
    options.Rename.Number.To = QStringLiteral("5");
    TBatchResult result = RunBatch(files.mid(0, 1), options);
    EXPECT_EQ(result.Errors, QStringList{QStringLiteral("Error in renaming file '") + files[0] + QStringLiteral("': the new name '' is not a valid file name")});
    options.Rename.Kind = TRenameKind::rkText;
    options.Rename.Text.Prefix = QStringLiteral("../");
    result = RunBatch(files.mid(1, 1), options);
    EXPECT_EQ(result.Errors, QStringList{QStringLiteral("Error in renaming file '") + files[1] + QStringLiteral("': the new name '../b.png' is not a valid file name")});
    options.Rename.Text.Prefix.clear();
    options.Rename.Text.SearchFor = QStringLiteral("c.png");
    options.Rename.Text.ReplaceWith = QStringLiteral("..");
    result = RunBatch(files.mid(2, 1), options);
    EXPECT_EQ(result.Errors.size(), 1);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

TEST(BatchRun, RenameCopiesOrMoves) {
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.path(), 2);
    const QByteArray bytes = ReadFile(files[0]);
    TBatchOptions options;
    options.Action = TBatchAction::baRename;
    options.Rename.Kind = TRenameKind::rkPattern;
    options.Rename.Pattern = QStringLiteral("pic##");
    options.FirstIndex = 10;
    TBatchResult result = RunBatch(files, options);
    EXPECT_TRUE(result.Errors.isEmpty());
    EXPECT_EQ(ReadFile(dir.filePath(QStringLiteral("pic11.png"))), bytes);
    EXPECT_TRUE(QFileInfo::exists(files[0]));
    options.DeleteSource = true;
    options.Rename.Pattern = QStringLiteral("moved_*");
    result = RunBatch(files, options);
    EXPECT_TRUE(result.Errors.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(files[0]));
    EXPECT_EQ(ReadFile(dir.filePath(QStringLiteral("moved_a.png"))), bytes);
}

TEST(BatchRun, OverwriteAnswers) {
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.path(), 5);
    for (const QString& f : files) WriteFile(QString(f).replace(QStringLiteral(".png"), QStringLiteral(".bmp")), "old");
    TBatchOptions options;
    options.TargetExt = QStringLiteral(".bmp");
    QStringList asked;
    QList<TOverwriteAnswer> answers{TOverwriteAnswer::oaNo, TOverwriteAnswer::oaYes, TOverwriteAnswer::oaNoToAll};
    TBatchJob job(files, options);
    job.AskOverwrite = [&](const QString& name) {
        asked << name;
        return answers.takeFirst();
    };
    ASSERT_TRUE(job.Prepare());
    const TBatchResult result = job.Execute();
    EXPECT_EQ(asked, (QStringList{QStringLiteral("a.bmp"), QStringLiteral("b.bmp"), QStringLiteral("c.bmp")}));
    EXPECT_EQ(ReadFile(dir.filePath(QStringLiteral("a.bmp"))), QByteArray("old"));
    EXPECT_NE(ReadFile(dir.filePath(QStringLiteral("b.bmp"))), QByteArray("old"));
    EXPECT_EQ(ReadFile(dir.filePath(QStringLiteral("e.bmp"))), QByteArray("old"));
    EXPECT_EQ(result.Skipped.size(), 4);

    // Cancel ends the run at that file; the files before it are done.
    for (const QString& f : files) WriteFile(QString(f).replace(QStringLiteral(".png"), QStringLiteral(".bmp")), "old");
    answers = {TOverwriteAnswer::oaYes, TOverwriteAnswer::oaYes, TOverwriteAnswer::oaCancel};
    TBatchJob cancelled(files, options);
    cancelled.AskOverwrite = [&](const QString&) { return answers.takeFirst(); };
    ASSERT_TRUE(cancelled.Prepare());
    const TBatchResult r2 = cancelled.Execute();
    EXPECT_TRUE(r2.Cancelled);
    EXPECT_EQ(r2.Processed, 2);
    EXPECT_NE(ReadFile(dir.filePath(QStringLiteral("b.bmp"))), QByteArray("old"));
    EXPECT_EQ(ReadFile(dir.filePath(QStringLiteral("c.bmp"))), QByteArray("old"));
}

TEST(BatchRun, StopEndsAfterTheFilesInProgress) {
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.filePath(QStringLiteral("in")), 12);
    for (int workers : {1, 3}) {
        const QString out = dir.filePath(QStringLiteral("out%1").arg(workers));
        QDir().mkpath(out);
        TBatchOptions options;
        options.TargetExt = QStringLiteral(".png");
        options.OutputDir = out;
        options.Workers = workers;
        TBatchJob job(files, options);
        job.OnProgress = [&](int done, int) {
            if (done == 2) job.Stop();
        };
        ASSERT_TRUE(job.Prepare());
        const TBatchResult result = job.Execute();
        EXPECT_TRUE(result.Stopped);
        EXPECT_GE(result.Processed, 2);
        EXPECT_LE(result.Processed, 2 + workers);
        // The files done are the first ones of the list, every one complete.
        const QStringList written = QDir(out).entryList(QDir::Files);
        ASSERT_EQ(written.size(), result.Processed);
        for (int i = 0; i < written.size(); ++i) {
            EXPECT_EQ(written[i], QFileInfo(files[i]).fileName());
            EXPECT_FALSE(QImage(QDir(out).filePath(written[i])).isNull());
        }
    }
}

TEST(BatchRun, SimulationWritesNothing) {
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.path(), 3);
    TBatchOptions options;
    options.Action = TBatchAction::baConvertRename;
    options.TargetExt = QStringLiteral(".GIF");
    options.Rename.Text.Case = TCaseChange::ccLower;
    options.Simulate = true;
    const TBatchResult result = RunBatch(files, options);
    EXPECT_EQ(result.Simulation, (QStringList{QStringLiteral("a.gif"), QStringLiteral("b.gif"), QStringLiteral("c.gif")}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

TEST(BatchRun, NestedResamplingHonoursTheWorkersShare) {
    EXPECT_EQ(TResampleThreadLimit::Current(), 0);
    std::atomic<int> seen{-1};
    std::thread t([&] {
        const TResampleThreadLimit limit(1);
        seen = TResampleThreadLimit::Current();
    });
    t.join();
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(TResampleThreadLimit::Current(), 0);
}

TEST(BatchMessages, FinalMessageAndTimeLeft) {
    EXPECT_EQ(BatchFinalMessage(BatchActionWord(TBatchAction::baConvertRename), {}), QStringLiteral("Convert && Rename finished successfully"));
    EXPECT_EQ(BatchFinalMessage(QStringLiteral("Convert"), {QStringLiteral("one"), QStringLiteral("two")}),
              QStringLiteral("There are errors in Convert process:\rone\rtwo"));
    EXPECT_EQ(BatchTimeLeft(0, 0, 10), QString());
    EXPECT_EQ(BatchTimeLeft(10000, 1, 10), QStringLiteral("1:30"));
    EXPECT_EQ(BatchTimeLeft(10000, 1, 400), QStringLiteral("1:06:30"));
}
