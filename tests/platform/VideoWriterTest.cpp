#include "TestUtil.h"

#include "platform/VideoFile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// ffprobe's view of the first video stream and its packets.
QJsonObject Probe(const QString& path, QJsonArray* packets = nullptr) {
    QByteArray out;
    if (!RunTool(QStringLiteral("ffprobe"), {"-v", "error", "-of", "json", "-show_streams", "-show_packets", "-count_frames", path}, &out))
        return {};
    const QJsonObject doc = QJsonDocument::fromJson(out).object();
    if (packets) *packets = doc.value("packets").toArray();
    return doc.value("streams").toArray().at(0).toObject();
}

// The frames ffmpeg decodes, as raw RGB24 pictures of the size.
QVector<QImage> DecodeWithFfmpeg(const QString& path, QSize size) {
    QByteArray out;
    if (!RunTool(QStringLiteral("ffmpeg"), {"-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"}, &out)) return {};
    const qsizetype frameBytes = qsizetype(size.width()) * size.height() * 3;
    QVector<QImage> frames;
    for (qsizetype at = 0; at + frameBytes <= out.size(); at += frameBytes)
        frames << QImage(reinterpret_cast<const uchar*>(out.constData() + at), size.width(), size.height(), size.width() * 3,
                         QImage::Format_RGB888)
                      .convertToFormat(QImage::Format_RGB32);
    return frames;
}

QImage Frame(int i, QSize size) {
    QImage image = MakeTestImage(size.width(), size.height()).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) image.setPixel((i * 5) % size.width(), y, qRgb(255, 255, 0));
    return image;
}

QVector<QImage> ReadBack(const QString& path) {
    TVideoFile v;
    QVector<QImage> frames;
    if (!v.OpenFile(path) || !v.OpenVideoStream() || !v.OpenFrameReader()) return frames;
    TVideoStreamInfo info;
    if (!v.StreamInfo(info)) return frames;
    for (qint64 i = 0; i < info.Length; ++i) frames << v.Frame(i);
    return frames;
}

bool WriteClip(const QString& path, TVideoStreamHeader header, TVideoWriter::TPixels pixels, const QVector<QImage>& frames,
               const QString& encoder = QString(), const QVector<QRgb>& palette = {}) {
    TVideoWriter w;
    if (!w.Create(path) || !w.CreateStream(header, pixels) || !w.SetCompressor(encoder, 90, 1) || !w.SetFormat(palette)) {
        ADD_FAILURE() << w.ErrorString().toStdString();
        return false;
    }
    for (const QImage& f : frames)
        if (!w.WriteFrame(f)) {
            ADD_FAILURE() << w.ErrorString().toStdString();
            return false;
        }
    if (!w.Finish()) {
        ADD_FAILURE() << w.ErrorString().toStdString();
        return false;
    }
    return true;
}

} // namespace

// 24-bit frames of an odd width (rows padded to four bytes) come back exactly, through our reader and
// through ffmpeg; every packet is a key frame; ffprobe sees the rate.
TEST(VideoWriter, UncompressedTrueColourRoundTrips) {
    QTemporaryDir dir;
    const QString path = dir.filePath("rgb.avi");
    const QSize size(33, 17);
    QVector<QImage> frames;
    for (int i = 0; i < 5; ++i) frames << Frame(i, size);
    ASSERT_TRUE(WriteClip(path, {size, 1, 10}, TVideoWriter::TPixels::Rgb24, frames));

    const QVector<QImage> back = ReadBack(path);
    ASSERT_EQ(back.size(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(SamePixels(back[i], frames[i])) << i;
    const QVector<QImage> decoded = DecodeWithFfmpeg(path, size);
    ASSERT_EQ(decoded.size(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(SamePixels(decoded[i], frames[i])) << i;

    QJsonArray packets;
    const QJsonObject stream = Probe(path, &packets);
    EXPECT_EQ(stream.value("codec_name").toString(), QStringLiteral("rawvideo"));
    EXPECT_EQ(stream.value("pix_fmt").toString(), QStringLiteral("bgr24"));
    EXPECT_EQ(stream.value("width").toInt(), 33);
    EXPECT_EQ(stream.value("r_frame_rate").toString(), QStringLiteral("10/1"));
    EXPECT_EQ(stream.value("nb_read_frames").toString(), QStringLiteral("5"));
    ASSERT_EQ(packets.size(), 5);
    for (const QJsonValue& p : packets) EXPECT_TRUE(p.toObject().value("flags").toString().startsWith('K'));
}

// 8-bit frames keep their palette in the stream format: the header says 8 bits and 256 colours, and the
// colours come back through both readers.
TEST(VideoWriter, UncompressedPaletteFrames) {
    QTemporaryDir dir;
    const QString path = dir.filePath("pal.avi");
    const QSize size(10, 6);
    QVector<QRgb> palette;
    for (int i = 0; i < 40; ++i) palette << qRgb(i * 6, 255 - i * 6, (i * 53) % 256);
    QVector<QImage> frames;
    for (int f = 0; f < 3; ++f) {
        QImage image(size, QImage::Format_Indexed8);
        image.setColorTable(palette);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) image.setPixel(x, y, uint((x + y * 3 + f * 7) % 40));
        frames << image;
    }
    ASSERT_TRUE(WriteClip(path, {size, 1, 5}, TVideoWriter::TPixels::Palette8, frames, QString(), palette));

    const QByteArray bytes = ReadFile(path);
    const qsizetype strf = bytes.indexOf("strf");
    ASSERT_GT(strf, 0);
    EXPECT_EQ(U16(bytes, int(strf) + 8 + 14), 8);   // biBitCount
    EXPECT_EQ(U32(bytes, int(strf) + 8 + 32), 256u); // biClrUsed
    // The first palette entry (blue, green, red, 0) follows the 40-byte header.
    EXPECT_EQ(bytes.mid(strf + 8 + 40, 4), QByteArray::fromHex("00ff0000"));

    const QVector<QImage> back = ReadBack(path);
    ASSERT_EQ(back.size(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(SamePixels(back[i], frames[i])) << i;
    EXPECT_EQ(Probe(path).value("pix_fmt").toString(), QStringLiteral("pal8"));
    const QVector<QImage> decoded = DecodeWithFfmpeg(path, size);
    ASSERT_EQ(decoded.size(), 3);
    EXPECT_TRUE(SamePixels(decoded[2], frames[2]));
}

// Scale and rate stay as given (10 and 65, not reduced to 2 and 13); the frame rate is the same.
TEST(VideoWriter, ScaleAndRateAsGiven) {
    QTemporaryDir dir;
    const QString path = dir.filePath("rate.avi");
    ASSERT_TRUE(WriteClip(path, {QSize(4, 4), 10, 65}, TVideoWriter::TPixels::Rgb24, {Frame(0, {4, 4}), Frame(1, {4, 4})}));
    const QByteArray bytes = ReadFile(path);
    const qsizetype strh = bytes.indexOf("strh");
    ASSERT_GT(strh, 0);
    EXPECT_EQ(bytes.mid(strh + 8, 4), QByteArray("vids"));
    EXPECT_EQ(U32(bytes, int(strh) + 28), 10u);
    EXPECT_EQ(U32(bytes, int(strh) + 32), 65u);
    EXPECT_EQ(Probe(path).value("r_frame_rate").toString(), QStringLiteral("13/2"));
}

TEST(VideoWriter, CompressorsOfThisMachine) {
    const QList<TVideoEncoderInfo> encoders = VideoEncoders(QSize(32, 24));
    ASSERT_GE(encoders.size(), 3);
    EXPECT_EQ(encoders[0].Name, QString());
    EXPECT_EQ(encoders[0].Description, QStringLiteral("Uncompressed"));
    EXPECT_EQ(encoders[1].Name, QStringLiteral("mjpeg"));
    EXPECT_EQ(encoders[1].Description, QStringLiteral("Motion JPEG"));
    EXPECT_EQ(encoders[2].Name, QStringLiteral("ffv1"));
    QStringList names;
    for (const auto& e : encoders) names << e.Name;
    EXPECT_EQ(names.removeDuplicates(), 0);

    QTemporaryDir dir;
    const QSize size(32, 24);
    QVector<QImage> frames;
    for (int i = 0; i < 4; ++i) frames << Frame(i, size);
    // FFV1 is lossless.
    const QString ffv1 = dir.filePath("ffv1.avi");
    ASSERT_TRUE(WriteClip(ffv1, {size, 1, 25}, TVideoWriter::TPixels::Rgb24, frames, QStringLiteral("ffv1")));
    EXPECT_EQ(Probe(ffv1).value("codec_name").toString(), QStringLiteral("ffv1"));
    const QVector<QImage> lossless = DecodeWithFfmpeg(ffv1, size);
    ASSERT_EQ(lossless.size(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(SamePixels(lossless[i], frames[i])) << i;
    // Motion JPEG: close, every frame a key frame.
    const QString mjpeg = dir.filePath("mjpeg.avi");
    ASSERT_TRUE(WriteClip(mjpeg, {size, 1, 25}, TVideoWriter::TPixels::Rgb24, frames, QStringLiteral("mjpeg")));
    QJsonArray packets;
    EXPECT_EQ(Probe(mjpeg, &packets).value("codec_name").toString(), QStringLiteral("mjpeg"));
    EXPECT_EQ(packets.size(), 4);
    const QVector<QImage> back = ReadBack(mjpeg);
    ASSERT_EQ(back.size(), 4);
    EXPECT_TRUE(SamePixels(back[3], frames[3], 40));
    // Every other listed compressor writes a clip ffprobe reads.
    for (const TVideoEncoderInfo& e : encoders.mid(3)) {
        SCOPED_TRACE(e.Name.toStdString());
        const QString path = dir.filePath(e.Name + QStringLiteral(".avi"));
        ASSERT_TRUE(WriteClip(path, {size, 1, 25}, TVideoWriter::TPixels::Rgb24, frames, e.Name));
        EXPECT_EQ(Probe(path).value("nb_read_frames").toString(), QStringLiteral("4"));
    }
}

TEST(VideoWriter, FailuresLeaveNoFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("x.avi");
    {
        TVideoWriter w;
        ASSERT_TRUE(w.Create(path));
        ASSERT_TRUE(w.CreateStream({QSize(8, 8), 1, 10}, TVideoWriter::TPixels::Rgb24));
        ASSERT_TRUE(w.SetFormat());
        ASSERT_TRUE(w.WriteFrame(Frame(0, {8, 8})));
        EXPECT_FALSE(w.WriteFrame(Frame(0, {9, 8}))); // wrong size
        // destroyed without Finish
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    TVideoWriter w;
    EXPECT_FALSE(w.Create(dir.filePath("missing/x.avi")));
    ASSERT_TRUE(w.Create(path));
    EXPECT_FALSE(w.CreateStream({QSize(0, 8), 1, 10}, TVideoWriter::TPixels::Rgb24));
    EXPECT_FALSE(w.CreateStream({QSize(8, 8), 0, 10}, TVideoWriter::TPixels::Rgb24));
    ASSERT_TRUE(w.CreateStream({QSize(8, 8), 1, 10}, TVideoWriter::TPixels::Palette8));
    EXPECT_FALSE(w.SetCompressor(QStringLiteral("no-such-codec")));
    EXPECT_FALSE(w.SetFormat()); // an 8-bit stream needs its palette
    w.Cancel();
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}
