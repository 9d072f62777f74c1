// Lossless JPEG turns, checked byte for byte against jpegtran (libjpeg-turbo-progs) and pixel by pixel
// against the decoded picture.
#include "TestUtil.h"

#include "codec/Jpeg.h"
#include "tools/JpegTransform.h"
#include "tools/bmpRot.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

// jpegtran's output for the file with the arguments (before the file name).
QByteArray Jpegtran(const QStringList& args, const QString& file) {
    QProcess p;
    p.start(QStringLiteral("jpegtran"), QStringList(args) << file);
    EXPECT_TRUE(p.waitForFinished(60000)) << "jpegtran did not run";
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

QImage Decode(const QByteArray& jpeg) {
    return LoadGraphic<TJpegGraphic>(jpeg)->Image().convertToFormat(QImage::Format_RGB32);
}

// An EXIF block holding only the orientation tag, big- or little-endian, put after the SOI marker.
QByteArray WithOrientation(const QByteArray& jpeg, int orientation, bool littleEndian) {
    QByteArray tiff;
    const auto u16 = [&](quint16 v) {
        if (littleEndian)
            tiff.append(char(v & 0xFF)).append(char(v >> 8));
        else
            tiff.append(char(v >> 8)).append(char(v & 0xFF));
    };
    const auto u32 = [&](quint32 v) {
        if (littleEndian) {
            u16(quint16(v & 0xFFFF));
            u16(quint16(v >> 16));
        } else {
            u16(quint16(v >> 16));
            u16(quint16(v & 0xFFFF));
        }
    };
    tiff.append(littleEndian ? "II" : "MM");
    u16(42);
    u32(8);
    u16(2); // two entries: a software name before the orientation
    u16(0x0131);
    u16(2);
    u32(4);
    tiff.append("ab\0\0", 4);
    u16(0x0112);
    u16(3);
    u32(1);
    u16(quint16(orientation));
    u16(0);
    u32(0);
    const QByteArray data = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char((data.size() + 2) >> 8)).append(char((data.size() + 2) & 0xFF)).append(data);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

class JpegTransformTest : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = FDir.filePath(name);
        WriteFile(path, bytes);
        return path;
    }
    QTemporaryDir FDir;
};

} // namespace

TEST_F(JpegTransformTest, TurnsAreByteForByteThoseOfJpegtran) {
    // colour.jpg is 64 x 48 with 16 x 16 blocks, grey.jpg 8 x 8 blocks: every turn is perfect.
    for (const char* name : {"colour.jpg", "grey.jpg", "cmyk.jpg"}) {
        const QString file = DataPath(QStringLiteral("jpeg/%1").arg(QLatin1String(name)));
        const QByteArray jpeg = ReadFile(file);
        for (int turns : {1, 2, 3}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(turns * 90));
            const QByteArray ours = RotateJpeg(jpeg, turns, false);
            const QByteArray theirs = Jpegtran(
                {QStringLiteral("-copy"), QStringLiteral("all"), QStringLiteral("-rotate"), QString::number(turns * 90)},
                file);
            EXPECT_EQ(ours, theirs);
        }
    }
    // A progressive file stays progressive.
    const QString progressive = DataPath(QStringLiteral("jpeg/progressive.jpg"));
    EXPECT_EQ(RotateJpeg(ReadFile(progressive), 1, false),
              Jpegtran({QStringLiteral("-copy"), QStringLiteral("all"), QStringLiteral("-progressive"),
                        QStringLiteral("-rotate"), QStringLiteral("90")},
                       progressive));
}

TEST_F(JpegTransformTest, TheTurnedFileDecodesToTheTurnedPicture) {
    const QByteArray jpeg = ReadFile(DataPath(QStringLiteral("jpeg/colour.jpg")));
    const QImage picture = Decode(jpeg);
    for (int turns : {1, 2, 3}) {
        SCOPED_TRACE(turns);
        // Decoding is not exactly invariant under the turn (chroma upsampling runs across other
        // neighbours), so a small tolerance.
        EXPECT_TRUE(SamePixels(Decode(RotateJpeg(jpeg, turns, false)), RotateTurns(picture, turns), 24));
    }
}

TEST_F(JpegTransformTest, TheExifOrientationIsFoldedInAndResetAndNothingElseChanges) {
    const QString colour = DataPath(QStringLiteral("jpeg/colour.jpg"));
    for (bool le : {true, false}) {
        SCOPED_TRACE(le ? "II" : "MM");
        // Stored with orientation 6, the picture shows a quarter turn clockwise; turned another quarter
        // it is stored a half turn round, with orientation 1.
        const QByteArray tagged = WithOrientation(ReadFile(colour), 6, le);
        EXPECT_EQ(JpegExifOrientation(tagged), 6);
        const QString taggedFile = Write(QStringLiteral("tagged.jpg"), tagged);
        const QByteArray ours = RotateJpeg(tagged, 1, false);
        EXPECT_EQ(JpegExifOrientation(ours), 1);
        QByteArray theirs =
            Jpegtran({QStringLiteral("-copy"), QStringLiteral("all"), QStringLiteral("-rotate"), QStringLiteral("180")},
                     taggedFile);
        ASSERT_EQ(JpegExifOrientation(theirs), 6); // jpegtran keeps the tag as it was
        ASSERT_TRUE(ResetJpegExifOrientation(theirs));
        EXPECT_EQ(ours, theirs);
        // The picture as it is shown turns by exactly the quarter asked.
        EXPECT_TRUE(SamePixels(Decode(ours), RotateTurns(Decode(tagged), 1), 24));

        // Orientation 8 turned a quarter clockwise is upright as stored: only the tag changes.
        const QByteArray tagged8 = WithOrientation(ReadFile(colour), 8, le);
        const QString tagged8File = Write(QStringLiteral("tagged8.jpg"), tagged8);
        QByteArray copied = Jpegtran({QStringLiteral("-copy"), QStringLiteral("all")}, tagged8File);
        ASSERT_TRUE(ResetJpegExifOrientation(copied));
        EXPECT_EQ(RotateJpeg(tagged8, 1, false), copied);
    }
}

TEST_F(JpegTransformTest, EveryOrientationAndTurnComposeAsThePictureIsShown) {
    // The transforms applied to a small picture, as the decoder shows the orientations.
    QImage stored(3, 2, QImage::Format_RGB32);
    for (int i = 0; i < 6; ++i)
        stored.setPixel(i % 3, i / 3, qRgb(40 * i, 255 - 40 * i, 7 * i));
    const auto apply = [](const QImage& image, TJpegTransformOp op) {
        switch (op) {
        case TJpegTransformOp::jtFlipH: return image.mirrored(true, false);
        case TJpegTransformOp::jtFlipV: return image.mirrored(false, true);
        case TJpegTransformOp::jtTranspose: return RotateQuarter(image, true).mirrored(true, false);
        case TJpegTransformOp::jtTransverse: return RotateQuarter(image, true).mirrored(false, true);
        case TJpegTransformOp::jtRot90: return RotateQuarter(image, true);
        case TJpegTransformOp::jtRot180: return RotateHalf(image);
        case TJpegTransformOp::jtRot270: return RotateQuarter(image, false);
        case TJpegTransformOp::jtNone: break;
        }
        return image;
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QImage shown = apply(stored, JpegTurnTransform(orientation, 0));
        for (int turns = 0; turns < 4; ++turns) {
            SCOPED_TRACE(std::to_string(orientation) + " " + std::to_string(turns));
            EXPECT_TRUE(SamePixels(apply(stored, JpegTurnTransform(orientation, turns)), RotateTurns(shown, turns)));
        }
    }
    EXPECT_EQ(JpegTurnTransform(6, 0), TJpegTransformOp::jtRot90);
    EXPECT_EQ(JpegTurnTransform(5, 0), TJpegTransformOp::jtTranspose);
    EXPECT_EQ(JpegTurnTransform(7, 0), TJpegTransformOp::jtTransverse);
    EXPECT_EQ(JpegTurnTransform(8, 1), TJpegTransformOp::jtNone);
    EXPECT_EQ(JpegTurnTransform(0, 3), TJpegTransformOp::jtRot270); // an invalid tag counts as upright
}

TEST_F(JpegTransformTest, PartialBlocksAreRefusedUnlessTrimmed) {
    // exif6.jpg: 40 x 24 stored, 16 x 16 blocks, orientation 6. A quarter turn more is a half turn of the
    // stored picture, which moves both partial edges.
    const QString file = DataPath(QStringLiteral("jpeg/exif6.jpg"));
    const QByteArray jpeg = ReadFile(file);
    const TJpegTurnPlan plan = PlanJpegTurn(jpeg, 1);
    EXPECT_EQ(plan.Orientation, 6);
    EXPECT_EQ(plan.Op, TJpegTransformOp::jtRot180);
    EXPECT_EQ(plan.Size, QSize(40, 24));
    EXPECT_EQ(plan.Block, QSize(16, 16));
    EXPECT_FALSE(plan.Perfect);
    EXPECT_EQ(plan.ResultSize, QSize(32, 16));
    try {
        RotateJpeg(jpeg, 1, false);
        ADD_FAILURE() << "an imperfect turn was made";
    } catch (const EImperfectTransform& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The picture cannot be turned without loss: it is 40 x 24 pixels, which "
                                              "is not a whole number of its 16 x 16 blocks. Trimming the partial "
                                              "blocks at the edges would make it 32 x 16."));
    }
    QByteArray theirs = Jpegtran(
        {QStringLiteral("-copy"), QStringLiteral("all"), QStringLiteral("-trim"), QStringLiteral("-rotate"), QStringLiteral("180")},
        file);
    ASSERT_TRUE(ResetJpegExifOrientation(theirs));
    const QByteArray ours = RotateJpeg(jpeg, 1, true);
    EXPECT_EQ(ours, theirs);
    EXPECT_EQ(Decode(ours).size(), QSize(32, 16));

    // Counter-clockwise from orientation 6 is upright as stored: perfect, nothing trimmed.
    const TJpegTurnPlan back = PlanJpegTurn(jpeg, 3);
    EXPECT_EQ(back.Op, TJpegTransformOp::jtNone);
    EXPECT_TRUE(back.Perfect);
    EXPECT_EQ(back.ResultSize, QSize(40, 24));
    // A quarter turn of the stored picture needs whole rows only: 24 is not, 40 would not matter.
    const TJpegTurnPlan quarter = PlanJpegTurn(ReadFile(DataPath(QStringLiteral("jpeg/exif8.jpg"))), 2);
    EXPECT_EQ(quarter.Op, TJpegTransformOp::jtRot90);
    EXPECT_FALSE(quarter.Perfect);
    EXPECT_EQ(quarter.ResultSize, QSize(16, 40));
}

TEST_F(JpegTransformTest, DamagedOrForeignDataIsRefusedAndTheFileIsKept) {
    const QByteArray jpeg = ReadFile(DataPath(QStringLiteral("jpeg/colour.jpg")));
    const QString damaged = Write(QStringLiteral("damaged.jpg"), jpeg.left(jpeg.size() * 2 / 3));
    const QByteArray before = ReadFile(damaged);
    EXPECT_THROW(RotateJpegFile(damaged, damaged, 1, false), EInvalidGraphic);
    EXPECT_EQ(ReadFile(damaged), before);
    EXPECT_EQ(QDir(FDir.path()).entryList(QDir::Files).size(), 1) << "no temporary file is left";

    try {
        RotateJpeg("P6\n1 1\n255\nabc", 1, false);
        ADD_FAILURE();
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Not a JPEG file"));
    }
    EXPECT_THROW(RotateJpeg(QByteArray("\xFF\xD8\xFF\xE0", 4), 1, false), EInvalidGraphic);
    EXPECT_EQ(JpegExifOrientation(QByteArray("\xFF\xD8\xFF\xE1\x00\x08" "Exif", 10)), 1); // cut short
    QByteArray none = jpeg;
    EXPECT_FALSE(ResetJpegExifOrientation(none));
    EXPECT_EQ(none, jpeg);
}

TEST_F(JpegTransformTest, AFileIsTurnedInPlaceKeepingItsPermissions) {
    const QByteArray jpeg = ReadFile(DataPath(QStringLiteral("jpeg/colour.jpg")));
    const QString path = Write(QStringLiteral("photo.jpg"), jpeg);
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QFile::Permissions before = QFile::permissions(path);
    RotateJpegFile(path, path, 3, false);
    EXPECT_EQ(ReadFile(path), RotateJpeg(jpeg, 3, false));
    EXPECT_EQ(QFile::permissions(path), before);
    EXPECT_FALSE(QFile::permissions(path) & QFile::ReadOther);
    // Into another file, the source stays as it was.
    const QString other = FDir.filePath(QStringLiteral("other.jpg"));
    RotateJpegFile(path, other, 1, false);
    EXPECT_EQ(ReadFile(other), RotateJpeg(ReadFile(path), 1, false));
    EXPECT_THROW(RotateJpegFile(FDir.filePath(QStringLiteral("missing.jpg")), other, 1, false), EInvalidGraphicOperation);
}
