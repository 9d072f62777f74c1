#include "TestUtil.h"

#include "platform/VideoFile.h"

namespace {
QString AviPath(const QString& name) { return DataPath(QStringLiteral("avi/") + name); }
QImage Reference(int i) {
    return QImage(AviPath(QStringLiteral("raw24-frames.png"))).copy(i * 32, 0, 32, 24).convertToFormat(QImage::Format_RGB32);
}
} // namespace

TEST(VideoFile, OpensInStagesAndReportsTheStream) {
    TVideoFile v;
    EXPECT_FALSE(v.OpenVideoStream()); // no file yet
    EXPECT_FALSE(v.OpenFrameReader());
    TVideoStreamInfo info;
    EXPECT_FALSE(v.StreamInfo(info));
    EXPECT_TRUE(v.Frame(0).isNull());
    ASSERT_TRUE(v.OpenFile(AviPath(QStringLiteral("raw24.avi"))));
    ASSERT_TRUE(v.OpenVideoStream());
    ASSERT_TRUE(v.OpenFrameReader());
    ASSERT_TRUE(v.StreamInfo(info));
    EXPECT_EQ(info.Scale, 1);
    EXPECT_EQ(info.Rate, 10);
    EXPECT_EQ(info.Length, 8);
    EXPECT_EQ(info.Frame, QRect(0, 0, 32, 24));
    v.Close();
    EXPECT_FALSE(v.IsFileOpen());
    EXPECT_FALSE(v.IsStreamOpen());
    EXPECT_FALSE(v.IsFrameReaderOpen());
    EXPECT_TRUE(v.Frame(0).isNull());
}

TEST(VideoFile, SteppingDoesNotSeekAgain) {
    TVideoFile v;
    ASSERT_TRUE(v.OpenFile(AviPath(QStringLiteral("mjpeg.avi"))) && v.OpenVideoStream() && v.OpenFrameReader());
    ASSERT_FALSE(v.Frame(0).isNull());
    EXPECT_EQ(v.SeekCount(), 1);
    for (int i = 1; i < 8; ++i) ASSERT_FALSE(v.Frame(i).isNull()) << i;
    EXPECT_FALSE(v.Frame(7).isNull()); // the same frame again comes from the cache
    EXPECT_EQ(v.SeekCount(), 1);
    EXPECT_FALSE(v.Frame(3).isNull()); // backwards seeks
    EXPECT_EQ(v.SeekCount(), 2);
    EXPECT_TRUE(v.Frame(-1).isNull());
    EXPECT_TRUE(v.Frame(8).isNull()); // past the end: nothing, no crash
    EXPECT_TRUE(v.Frame(1000000).isNull());
}

TEST(VideoFile, RawFramesAreExact) {
    TVideoFile v;
    ASSERT_TRUE(v.OpenFile(AviPath(QStringLiteral("raw24.avi"))) && v.OpenVideoStream() && v.OpenFrameReader());
    for (int i : {7, 0, 4, 5, 1}) {
        SCOPED_TRACE(i);
        const QImage f = v.Frame(i);
        EXPECT_EQ(f.format(), QImage::Format_RGB32);
        EXPECT_TRUE(SamePixels(f, Reference(i)));
    }
}

TEST(VideoFile, RefusesOtherFiles) {
    TVideoFile v;
    EXPECT_FALSE(v.OpenFile(QString()));
    EXPECT_FALSE(v.OpenFile(AviPath(QStringLiteral("raw24-frames.png")))); // not an AVI file
    EXPECT_FALSE(v.OpenFile(DataPath(QStringLiteral("avi"))));             // a folder
    ASSERT_TRUE(v.OpenFile(AviPath(QStringLiteral("audio.avi"))));
    EXPECT_FALSE(v.OpenVideoStream());
}
