// The header probe of today's formats (HEIF, AVIF, JPEG XL), video (AVI), pointers and the two-colour
// formats: the same answers as the full decode, little of a big file read, the decoders' errors.
#include "TestUtil.h"

#include "codec/Limits.h"
#include "codec/Probe.h"
#include "codec/Registry.h"
#include "codec/Services.h"
#include "formats/raster/PCD.h"

#include <QFile>
#include <QFileInfo>

#include <functional>

namespace {

QString Describe(const TProbe& p) {
    const QString cls = p.Class ? p.Class->ClassName : QStringLiteral("?");
    return cls + QStringLiteral(" %1x%2 pages=%3 frames=%4").arg(p.Info.Width).arg(p.Info.Height).arg(p.Info.Pages).arg(p.Info.Frames);
}

// A file that counts the bytes read from it (unbuffered, so the count is what the reader asked for).
class TCountingFile : public QFile {
public:
    using QFile::QFile;
    qint64 Count = 0;

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 n = QFile::readData(data, maxSize);
        if (n > 0) Count += n;
        return n;
    }
};

// How a call failed: the exception's message, marked when it was a picture over the limit; empty when
// it did not fail.
QString FailureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const EPictureTooLarge& e) {
        return QStringLiteral("too large: ") + e.Message();
    } catch (const Exception& e) {
        return e.Message();
    }
    return QString();
}

// The header probe of the file's class, called directly (a probe that gives up would fall back to the
// decode, which hides what the header said).
bool ReadHeader(const QString& path, TGraphicInfo& info) {
    std::unique_ptr<TGraphic> graphic = CreateGraphicFor(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw EInvalidGraphic(file.errorString());
    return graphic->ReadInfo(file, info);
}

// What the header says (size and frames) or how it fails; the same for the full decode.
QString HeaderOutcome(const QString& path) {
    QString said;
    const QString failure = FailureOf([&] {
        TGraphicInfo info;
        said = ReadHeader(path, info) ? QStringLiteral("%1x%2 frames=%3").arg(info.Width).arg(info.Height).arg(info.Frames)
                                      : QStringLiteral("no answer");
    });
    return failure.isEmpty() ? said : failure;
}

QString DecodeOutcome(const QString& path) {
    QString said;
    const QString failure = FailureOf([&] {
        const TProbe p = ProbeFileByDecoding(path);
        said = QStringLiteral("%1x%2 frames=%3").arg(p.Info.Width).arg(p.Info.Height).arg(p.Info.Frames);
    });
    return failure.isEmpty() ? said : failure;
}

QString HeaderFailure(const QString& path) {
    return FailureOf([&] {
        TGraphicInfo info;
        if (!ReadHeader(path, info)) throw Exception(QStringLiteral("the header did not answer"));
    });
}

QString DecodeFailure(const QString& path) {
    return FailureOf([&] { CreateGraphicFor(path)->LoadFromFileName(path); });
}

class TLimit {
public:
    explicit TLimit(qint64 limit) : FOld(PixelLimit()) { SetPixelLimit(limit); }
    ~TLimit() { SetPixelLimit(FOld); }

private:
    qint64 FOld;
};

class TPhotoSize : public IViewerServices {
public:
    int Size = 2;
    int GetPhotoSize() const override { return Size; }
};

QString Tool(const char* name) { return QStringLiteral("/usr/bin/") + QLatin1String(name); }

class ProbeModernTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return Dir.filePath(name); }
    // The probe answers from the header, as the full decode does.
    void ExpectHeaderAnswer(const QString& path, const char* expected = nullptr) {
        SCOPED_TRACE(path.toStdString());
        const TProbe decoded = ProbeFileByDecoding(path);
        const TProbe probe = ProbeFile(path);
        EXPECT_TRUE(probe.FromHeader);
        EXPECT_EQ(Describe(probe), Describe(decoded));
        if (expected) EXPECT_EQ(Describe(probe), QString::fromLatin1(expected));
    }
    // An image 37 x 21 whose colours change along both axes (no side equals the other).
    void MakeScene(const QString& name, QSize size = QSize(37, 21)) {
        QImage image(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) image.setPixel(x, y, qRgb(x * 255 / size.width(), y * 255 / size.height(), 90));
        ASSERT_TRUE(image.save(Path(name)));
    }
    // The scene as a.heic, a.avif and a.jxl by their own encoders, appended to files.
    void MakeModernFiles(QStringList& files) {
        MakeScene(QStringLiteral("in.png"));
        ASSERT_TRUE(RunTool(Tool("heif-enc"), {"-q", "80", Path("in.png"), "-o", Path("a.heic")}));
        ASSERT_TRUE(RunTool(Tool("avifenc"), {"-j", "1", Path("in.png"), Path("a.avif")}));
        ASSERT_TRUE(RunTool(Tool("cjxl"), {Path("in.png"), Path("a.jxl"), "-d", "0", "--quiet"}));
        files << Path("a.heic") << Path("a.avif") << Path("a.jxl");
    }
    // A JPEG of 40 x 24 carrying an EXIF block with orientation 6 (a quarter turn clockwise).
    void MakeTurnedJpeg(const QString& name) {
        MakeScene(QStringLiteral("plain.png"), QSize(40, 24));
        ASSERT_TRUE(QImage(Path("plain.png")).save(Path("plain.jpg"), "JPEG", 95));
        const QByteArray tiff("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26);
        const QByteArray app1 = QByteArray("Exif\0\0", 6) + tiff;
        QByteArray segment("\xFF\xE1");
        segment.append(char((app1.size() + 2) >> 8)).append(char((app1.size() + 2) & 0xFF)).append(app1);
        const QByteArray jpeg = ReadFile(Path("plain.jpg"));
        WriteFile(Path(name), jpeg.left(2) + segment + jpeg.mid(2));
    }
    QTemporaryDir Dir;
};

} // namespace

// HEIF, AVIF and JPEG XL files of their own encoders, plain, rotated and mirrored (irot/imir) and turned
// by EXIF or the codestream's orientation: the probe gives the size the decoder shows.
TEST_F(ProbeModernTest, TodaysFormatsAnswerFromTheirHeadersTurnedAsDecoded) {
    MakeScene(QStringLiteral("in.png"));
    MakeTurnedJpeg(QStringLiteral("o6.jpg"));
    ASSERT_TRUE(RunTool(Tool("heif-enc"), {"-q", "80", Path("in.png"), "-o", Path("a.heic")}));
    ExpectHeaderAnswer(Path("a.heic"), "THeifGraphic 37x21 pages=1 frames=1");
    // heif-enc keeps the EXIF orientation without an irot: the decoder turns the picture by it.
    ASSERT_TRUE(RunTool(Tool("heif-enc"), {"-q", "80", Path("o6.jpg"), "-o", Path("o6.heic")}));
    ExpectHeaderAnswer(Path("o6.heic"), "THeifGraphic 24x40 pages=1 frames=1");

    ASSERT_TRUE(RunTool(Tool("avifenc"), {"-j", "1", Path("in.png"), Path("a.avif")}));
    ExpectHeaderAnswer(Path("a.avif"), "TAvifGraphic 37x21 pages=1 frames=1");
    struct TTurn {
        int Angle;
        int Mirror;
        const char* Expected;
    };
    for (const TTurn t : {TTurn{1, -1, "TAvifGraphic 21x37 pages=1 frames=1"}, TTurn{2, -1, "TAvifGraphic 37x21 pages=1 frames=1"},
                          TTurn{3, 1, "TAvifGraphic 21x37 pages=1 frames=1"}, TTurn{0, 0, "TAvifGraphic 37x21 pages=1 frames=1"}}) {
        QStringList args = {"-j", "1", "--irot", QString::number(t.Angle)};
        if (t.Mirror >= 0) args << "--imir" << QString::number(t.Mirror);
        const QString file = Path(QStringLiteral("r%1%2.avif").arg(t.Angle).arg(t.Mirror));
        ASSERT_TRUE(RunTool(Tool("avifenc"), args << Path("in.png") << file));
        ExpectHeaderAnswer(file, t.Expected);
    }
    // The EXIF orientation counts without irot and imir; with an irot it does not.
    ASSERT_TRUE(RunTool(Tool("avifenc"), {"-j", "1", Path("o6.jpg"), Path("o6.avif")}));
    ExpectHeaderAnswer(Path("o6.avif"), "TAvifGraphic 24x40 pages=1 frames=1");
    ASSERT_TRUE(RunTool(Tool("avifenc"), {"-j", "1", "--irot", "2", Path("o6.jpg"), Path("o6r.avif")}));
    ExpectHeaderAnswer(Path("o6r.avif"), "TAvifGraphic 40x24 pages=1 frames=1");

    ASSERT_TRUE(RunTool(Tool("cjxl"), {Path("in.png"), Path("a.jxl"), "-d", "0", "--quiet"}));
    ExpectHeaderAnswer(Path("a.jxl"), "TJxlGraphic 37x21 pages=1 frames=1");
    // Both a transcoded JPEG and re-encoded pixels keep the orientation in the codestream.
    ASSERT_TRUE(RunTool(Tool("cjxl"), {Path("o6.jpg"), Path("o6.jxl"), "-j", "1", "--quiet"}));
    ExpectHeaderAnswer(Path("o6.jxl"), "TJxlGraphic 24x40 pages=1 frames=1");
    ASSERT_TRUE(RunTool(Tool("cjxl"), {Path("o6.jpg"), Path("o6p.jxl"), "-j", "0", "--quiet"}));
    ExpectHeaderAnswer(Path("o6p.jxl"), "TJxlGraphic 24x40 pages=1 frames=1");
}

// An AVIF sequence shows its first frame, whose size only the decoder knows: the probe decodes it.
TEST_F(ProbeModernTest, AvifSequencesAreDecodedToBeProbed) {
    MakeScene(QStringLiteral("one.png"));
    MakeScene(QStringLiteral("two.png"));
    ASSERT_TRUE(RunTool(Tool("avifenc"), {"-j", "1", Path("one.png"), Path("two.png"), Path("seq.avif")}));
    const TProbe probe = ProbeFile(Path("seq.avif"));
    EXPECT_FALSE(probe.FromHeader);
    EXPECT_EQ(Describe(probe), QStringLiteral("TAvifGraphic 37x21 pages=1 frames=1"));
}

// ffmpeg's AVI files, with different compressions, a sound stream before the video and top-down rows:
// the frame size and count of the RIFF headers are the decoder's.
TEST_F(ProbeModernTest, AviFilesOfFfmpegAnswerFromTheirHeaders) {
    auto make = [&](const QString& name, const QStringList& args) {
        QStringList all = {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=40x30:rate=10"};
        ASSERT_TRUE(RunTool(Tool("ffmpeg"), all << args << Path(name)));
    };
    make(QStringLiteral("mjpeg.avi"), {"-frames:v", "12", "-c:v", "mjpeg"});
    ExpectHeaderAnswer(Path("mjpeg.avi"), "TAVIGraphic 40x30 pages=1 frames=12");
    make(QStringLiteral("raw.avi"), {"-frames:v", "5", "-c:v", "rawvideo", "-pix_fmt", "bgr24"});
    ExpectHeaderAnswer(Path("raw.avi"), "TAVIGraphic 40x30 pages=1 frames=5");
    make(QStringLiteral("ffv1.avi"), {"-frames:v", "7", "-c:v", "ffv1"});
    ExpectHeaderAnswer(Path("ffv1.avi"), "TAVIGraphic 40x30 pages=1 frames=7");
    make(QStringLiteral("mpeg4.avi"), {"-frames:v", "9", "-c:v", "mpeg4"});
    ExpectHeaderAnswer(Path("mpeg4.avi"), "TAVIGraphic 40x30 pages=1 frames=9");
    // The sound comes first: the video is the second stream.
    ASSERT_TRUE(RunTool(Tool("ffmpeg"), {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-f", "lavfi",
                                         "-i", "testsrc=size=32x18:rate=5", "-map", "0:a", "-map", "1:v", "-frames:v", "4", "-t", "0.8",
                                         "-c:v", "mjpeg", "-c:a", "pcm_s16le", Path("sound.avi")}));
    ExpectHeaderAnswer(Path("sound.avi"), "TAVIGraphic 32x18 pages=1 frames=4");
}

// A stream header without a frame count leaves the count to the demuxer's index: the probe decodes.
TEST_F(ProbeModernTest, AviWithoutFrameCountIsDecodedToBeProbed) {
    QByteArray avi = ReadFile(DataPath(QStringLiteral("avi/raw24.avi")));
    const qsizetype strh = avi.indexOf("strh");
    ASSERT_GT(strh, 0);
    avi.replace(strh + 8 + 32, 4, QByteArray(4, '\0'));
    WriteFile(Path("nocount.avi"), avi);
    TGraphicInfo info;
    EXPECT_FALSE(ReadHeader(Path("nocount.avi"), info));
    EXPECT_EQ(Describe(ProbeFile(Path("nocount.avi"))), Describe(ProbeFileByDecoding(Path("nocount.avi"))));
}

// Big files are answered from their first bytes: a few KiB of a file of hundreds.
TEST_F(ProbeModernTest, BigFilesAreAnsweredFromAFewOfTheirBytes) {
    // Noise does not compress: the picture data are most of each file.
    QImage noise(720, 540, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < noise.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x) line[x] = 0xFF000000u | ((seed = seed * 1664525u + 1013904223u) >> 8);
    }
    ASSERT_TRUE(noise.save(Path("noise.png")));
    ASSERT_TRUE(RunTool(Tool("heif-enc"), {"-q", "95", Path("noise.png"), "-o", Path("noise.heic")}));
    ASSERT_TRUE(RunTool(Tool("avifenc"), {"-j", "2", "-s", "10", "--min", "0", "--max", "5", Path("noise.png"), Path("noise.avif")}));
    ASSERT_TRUE(RunTool(Tool("cjxl"), {Path("noise.png"), Path("noise.jxl"), "-d", "0", "-e", "1", "--quiet"}));
    ASSERT_TRUE(RunTool(Tool("cwebp"), {"-quiet", "-lossless", "-z", "0", Path("noise.png"), "-o", Path("noise.webp")}));
    ASSERT_TRUE(RunTool(Tool("ffmpeg"), {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-frames:v",
                                         "100", "-c:v", "mjpeg", "-q:v", "2", Path("clip.avi")}));
    for (const char* name : {"noise.heic", "noise.avif", "noise.jxl", "noise.webp", "clip.avi"}) {
        SCOPED_TRACE(name);
        const QString path = Path(QString::fromLatin1(name));
        TCountingFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        ASSERT_GT(file.size(), 200 * 1024);
        TGraphicInfo info;
        ASSERT_TRUE(CreateGraphicFor(path)->ReadInfo(file, info));
        EXPECT_LT(file.Count, 32 * 1024) << file.Count << " of " << file.size() << " bytes read";
        const TProbe decoded = ProbeFileByDecoding(path);
        EXPECT_EQ(QSize(info.Width, info.Height), QSize(decoded.Info.Width, decoded.Info.Height));
        EXPECT_EQ(info.Frames, decoded.Info.Frames);
    }
}

// Pointers, wireless bitmaps, GEM and MacPaint pictures and Photo-CD packs in every orientation answer
// from their headers.
TEST_F(ProbeModernTest, SmallFormatsAnswerFromTheirHeaders) {
    for (const char* fixture : {"gem/text.img", "mac/text.mac", "mac/text_macbinary.mac", "wbmp/shapes.wbmp", "cur/multi.cur",
                                "cur/tall.cur", "ani/spin.ani", "ani/zerosize.ani", "avi/pal8.avi"})
        ExpectHeaderAnswer(DataPath(QString::fromLatin1(fixture)));

    TPhotoSize services;
    SetViewerServices(&services);
    for (int orientation = 0; orientation < 4; ++orientation) {
        QByteArray pack(0x30000 + 768 * 512 * 3 / 2, '\x80');
        pack[0x0E02] = char(orientation);
        const QString path = Path(QStringLiteral("photo%1.pcd").arg(orientation));
        WriteFile(path, pack);
        services.Size = orientation == 3 ? 0 : 2;
        ExpectHeaderAnswer(path, orientation == 3   ? "TPCDImage 128x192 pages=1 frames=1"
                                 : orientation == 1 ? "TPCDImage 512x768 pages=1 frames=1"
                                                    : "TPCDImage 768x512 pages=1 frames=1");
    }
    SetViewerServices(nullptr);
}

// Headers that are not valid fail in the header probe itself, with the decoder's own message.
TEST_F(ProbeModernTest, BadHeadersFailAsTheDecoderFails) {
    struct TBad {
        const char* Name;
        QByteArray Bytes;
        const char* Message; // as the decoder says it (checked against the decoder too)
    };
    const QByteArray heicBox = QByteArray::fromHex("00000018667479706865696300000000") + "mif1heic";
    const QByteArray avifBox = QByteArray::fromHex("00000018667479706176696600000000") + "mif1avif";
    const QString notAvi = Path("notavi.avi");
    const QByteArray audio = ReadFile(DataPath(QStringLiteral("avi/audio.avi")));
    QByteArray shortPack(0x30000 + 1000, '\0');
    const QList<TBad> bad = {
        {"notavi.avi", QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16), nullptr},
        {"sound.avi", audio, "Cannot get AVI file stream."},
        {"bad.heic", heicBox + QByteArray::fromHex("0000001000000000") + QByteArray(8, 'x'), nullptr},
        {"bad.avif", avifBox + QByteArray::fromHex("0000000c6d657461") + QByteArray(4, '\0'), nullptr},
        {"bad.jxl", QByteArray::fromHex("0000000c4a584c200d0a870a000000046a786c63"), "The JPEG XL picture is damaged"},
        {"short.jxl", QByteArray::fromHex("ff0a"), "The JPEG XL picture is damaged"},
        {"bad.cur", QByteArray::fromHex("010002000100101000000100200040000000160000000000"),
         "Cannot load image. Invalid or unexpected CUR image format."},
        {"bad.wbmp", QByteArray::fromHex("01000a0a"), "Cannot load image. Invalid or unexpected WBMP image format."},
        {"flat.wbmp", QByteArray::fromHex("00000000"), "Invalid image parameters."},
        {"cut.wbmp", QByteArray::fromHex("0000"), "The WBMP header is incomplete."},
        {"bad.img", QByteArray::fromHex("0001000800020001") + QByteArray(8, '\0'), nullptr},
        {"empty.mac", QByteArray(512, '\0'), "File is corrupted"},
        {"short.pcd", shortPack, "Stream read error"},
        {"badframe.ani", ReadFile(DataPath(QStringLiteral("ani/badframe.ani"))), "Animated icon image is not valid"},
    };
    TPhotoSize services;
    SetViewerServices(&services);
    for (const TBad& b : bad) {
        SCOPED_TRACE(b.Name);
        const QString path = Path(QString::fromLatin1(b.Name));
        WriteFile(path, b.Bytes);
        const QString decoder = DecodeFailure(path);
        ASSERT_FALSE(decoder.isEmpty());
        if (b.Message) EXPECT_EQ(decoder, QString::fromLatin1(b.Message));
        EXPECT_EQ(HeaderFailure(path), decoder);
    }
    SetViewerServices(nullptr);
    EXPECT_EQ(HeaderFailure(notAvi), QStringLiteral("Cannot open AVI file %1.").arg(notAvi));
}

// A picture over the pixel limit is refused by the header probe as the decoder refuses it.
TEST_F(ProbeModernTest, PixelLimitIsTheDecodersInTheProbe) {
    QStringList files;
    ASSERT_NO_FATAL_FAILURE(MakeModernFiles(files));
    for (const char* fixture : {"gem/text.img", "mac/text.mac", "wbmp/shapes.wbmp", "cur/multi.cur", "ani/spin.ani", "avi/mjpeg.avi"})
        files << DataPath(QString::fromLatin1(fixture));
    TPhotoSize services;
    SetViewerServices(&services);
    QByteArray pack(0x30000 + 768 * 512 * 3 / 2, '\x80');
    WriteFile(Path("photo.pcd"), pack);
    files << Path("photo.pcd");
    {
        const TLimit limit(300);
        for (const QString& path : files) {
            SCOPED_TRACE(path.toStdString());
            EXPECT_EQ(HeaderOutcome(path), DecodeOutcome(path));
        }
        // A cursor shows the images within the limit (16 x 16 of this one); the others are too large.
        EXPECT_EQ(HeaderOutcome(DataPath(QStringLiteral("cur/multi.cur"))), QStringLiteral("16x16 frames=1"));
        for (const QString& path : {Path("a.heic"), Path("a.avif"), Path("a.jxl"), Path("photo.pcd"), DataPath(QStringLiteral("avi/mjpeg.avi"))})
            EXPECT_TRUE(HeaderOutcome(path).startsWith(QStringLiteral("too large: "))) << path.toStdString();
    }
    SetViewerServices(nullptr);
    for (const QString& path : files) {
        TGraphicInfo info;
        EXPECT_TRUE(ReadHeader(path, info)) << path.toStdString();
    }
}

// Files cut anywhere or with a damaged byte: the header probe answers or raises the library's exception,
// never anything else.
TEST_F(ProbeModernTest, CutAndDamagedHeadersOnlyRaise) {
    QStringList sources;
    ASSERT_NO_FATAL_FAILURE(MakeModernFiles(sources));
    for (const char* fixture : {"gem/text.img", "mac/text_macbinary.mac", "wbmp/shapes.wbmp", "cur/multi.cur", "cur/mono.cur",
                                "ani/spin.ani", "ani/overlist.ani", "avi/pal8.avi", "avi/audio.avi"})
        sources << DataPath(QString::fromLatin1(fixture));
    quint32 seed = 7;
    int answered = 0, raised = 0;
    for (const QString& source : sources) {
        SCOPED_TRACE(source.toStdString());
        const QByteArray whole = ReadFile(source);
        const QString target = Path(QStringLiteral("damaged.") + QFileInfo(source).suffix());
        for (int round = 0; round < 60; ++round) {
            QByteArray bytes = whole;
            seed = seed * 1664525u + 1013904223u;
            if (round % 2) {
                bytes.truncate(qsizetype(seed % quint32(whole.size())));
            } else {
                // A byte of the first 600 (where the headers are) set to another value.
                const qsizetype at = qsizetype(seed % quint32(std::min<qsizetype>(whole.size(), 600)));
                bytes[at] = char(uchar(bytes[at]) ^ uchar(1 + (seed >> 24) % 255));
            }
            WriteFile(target, bytes);
            TGraphicInfo info;
            try {
                if (ReadHeader(target, info)) {
                    ++answered;
                    EXPECT_GE(info.Width, 0);
                    EXPECT_GE(info.Height, 0);
                    EXPECT_LE(qint64(info.Width) * info.Height, PixelLimit());
                    EXPECT_GE(info.Frames, 0);
                }
            } catch (const Exception&) {
                ++raised;
            }
        }
    }
    EXPECT_GT(answered, 0);
    EXPECT_GT(raised, 0);
}
