#include "TestUtil.h"

#include "app/PictureEx.h"
#include "codec/Limits.h"
#include "formats/raster/AVIGraph.h"

#include <QCoreApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>

namespace {
QString AviPath(const QString& name) { return DataPath(QStringLiteral("avi/") + name); }

// Frame i of a strip of eight frames extracted by ffmpeg.
QImage Reference(const QString& strip, int i) {
    const QImage all(AviPath(strip));
    return all.copy(i * 32, 0, 32, 24).convertToFormat(QImage::Format_RGB32);
}

QString LoadError(TAVIGraphic& g, const QString& name) {
    try {
        g.LoadFromFileName(name);
    } catch (const EInvalidGraphic& e) {
        return e.Message();
    }
    return QStringLiteral("(no error)");
}

void ExpectEmpty(const TAVIGraphic& g) {
    EXPECT_TRUE(g.IsEmpty());
    EXPECT_EQ(g.Width(), 0);
    EXPECT_EQ(g.Height(), 0);
    EXPECT_EQ(g.FrameCount(), 0);
    EXPECT_TRUE(g.FrameImage().isNull());
}
} // namespace

TEST(Avi, ReportsFramesSizeAndInterval) {
    for (const char* name : {"raw24.avi", "mjpeg.avi", "pal8.avi"}) {
        SCOPED_TRACE(name);
        TAVIGraphic g;
        int changes = 0;
        g.OnChange = [&](TGraphic*) { ++changes; };
        g.LoadFromFileName(AviPath(QString::fromLatin1(name)));
        EXPECT_EQ(changes, 1);
        EXPECT_FALSE(g.IsEmpty());
        EXPECT_EQ(g.FrameCount(), 8);
        EXPECT_EQ(g.Width(), 32);
        EXPECT_EQ(g.Height(), 24);
        EXPECT_EQ(g.FrameInterval(), 100); // 10 frames a second
        EXPECT_EQ(g.TimerInterval(), 100);
        EXPECT_EQ(g.Index(), 0);
        EXPECT_EQ(g.CurrentFrame(), 1);
        EXPECT_FALSE(g.Animated());
    }
}

TEST(Avi, IntervalFromScaleAndRate) {
    EXPECT_EQ(TAVIGraphic::IntervalOf(1, 25), 40);
    EXPECT_EQ(TAVIGraphic::IntervalOf(400, 0), 40);       // no rate: scale / 10
    EXPECT_EQ(TAVIGraphic::IntervalOf(1001, 30000), 33);  // 33.37 rounds down
    EXPECT_EQ(TAVIGraphic::IntervalOf(1, 99), 10);        // 10.1 rounds down
    EXPECT_EQ(TAVIGraphic::IntervalOf(qint64(1) << 40, 1), INT_MAX);
    EXPECT_EQ(TAVIGraphic::IntervalOf(0, 25), 0);
    // Never below 10 ms: faster rates would keep the timer firing without a pause.
    EXPECT_EQ(TAVIGraphic::IntervalOf(1, 101), 10);
    EXPECT_EQ(TAVIGraphic::IntervalOf(1, 1000), 10);
    EXPECT_EQ(TAVIGraphic::IntervalOf(1, 100000), 10);
    EXPECT_EQ(TAVIGraphic::IntervalOf(50, 0), 10);
    EXPECT_EQ(TAVIGraphic::IntervalOf(5, 0), 10);
}

// A video of 1000 frames a second plays one frame each 10 ms: the timer waits, it does not spin.
TEST(Avi, AThousandFramesASecondWaitTenMilliseconds) {
    TAVIGraphic g;
    g.LoadFromFileName(AviPath(QStringLiteral("fast.avi")));
    ASSERT_EQ(g.FrameCount(), 3);
    EXPECT_EQ(g.FrameInterval(), 10);
    EXPECT_EQ(g.TimerInterval(), 10);
    for (int i = 0; i < 4; ++i) {
        g.Tick();
        // The wait is what is left of the 10 ms after the step, never more.
        EXPECT_GE(g.TimerInterval(), 0);
        EXPECT_LE(g.TimerInterval(), 10);
    }
}

TEST(Avi, FramesMatchFfmpegExtraction) {
    struct {
        const char* file;
        const char* strip;
        int tolerance;
    } cases[] = {{"raw24.avi", "raw24-frames.png", 0}, {"pal8.avi", "pal8-frames.png", 0},
                 {"mjpeg.avi", "mjpeg-frames.png", 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString strip = QString::fromLatin1(c.strip);
        for (int i = 0; i < 7; ++i) // neighbouring frames differ, so a wrong frame is caught
            EXPECT_FALSE(SamePixels(Reference(strip, i), Reference(strip, i + 1), c.tolerance)) << i;
        TAVIGraphic g;
        g.LoadFromFileName(AviPath(QString::fromLatin1(c.file)));
        // Forwards, then backwards (every step back seeks), then a jump.
        QVector<int> order = {0, 1, 2, 3, 4, 5, 6, 7, 6, 4, 1, 0, 7, 2};
        for (int i : order) {
            g.SetIndex(i);
            SCOPED_TRACE(i);
            EXPECT_TRUE(SamePixels(g.FrameImage(), Reference(QString::fromLatin1(c.strip), i), c.tolerance));
        }
    }
}

TEST(Avi, DrawsTheFrameStretched) {
    TAVIGraphic g;
    g.LoadFromFileName(AviPath(QStringLiteral("raw24.avi")));
    g.SetIndex(5);
    QImage target(84, 58, QImage::Format_RGB32);
    target.fill(Qt::black);
    {
        QPainter p(&target);
        g.DrawTo(p, QRect(10, 5, 64, 48));
    }
    const QImage ref = Reference(QStringLiteral("raw24-frames.png"), 5);
    EXPECT_EQ(target.pixel(9, 30), QColor(Qt::black).rgb()); // outside the rectangle
    EXPECT_EQ(target.pixel(74, 30), QColor(Qt::black).rgb());
    EXPECT_EQ(target.pixel(40, 4), QColor(Qt::black).rgb());
    // Inside: the frame doubled (smoothed, so compared with a tolerance at colour edges).
    EXPECT_TRUE(SamePixels(target.copy(10, 5, 64, 48), ref.scaled(64, 48, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 64));
    EXPECT_TRUE(SamePixels(g.ToImage(), ref)); // at its own size: exact
    // An empty graphic draws nothing.
    TAVIGraphic empty;
    QImage untouched(8, 8, QImage::Format_RGB32);
    untouched.fill(Qt::red);
    QPainter p(&untouched);
    empty.DrawTo(p, QRect(0, 0, 8, 8));
    p.end();
    EXPECT_EQ(untouched.pixel(4, 4), QColor(Qt::red).rgb());
}

TEST(Avi, IndexClampsAndNotifies) {
    TAVIGraphic g;
    g.LoadFromFileName(AviPath(QStringLiteral("raw24.avi")));
    int changes = 0;
    g.OnChange = [&](TGraphic*) { ++changes; };
    g.SetIndex(0); // the current value: nothing
    EXPECT_EQ(changes, 0);
    g.SetIndex(-5);
    EXPECT_EQ(g.Index(), 0);
    EXPECT_EQ(changes, 1); // clamped to the same frame, still announced
    g.SetIndex(g.FrameCount() + 3);
    EXPECT_EQ(g.Index(), 7);
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(SamePixels(g.FrameImage(), Reference(QStringLiteral("raw24-frames.png"), 7)));
    g.SelectFrame(3);
    EXPECT_EQ(g.Index(), 2);
    EXPECT_EQ(g.CurrentFrame(), 3);
    EXPECT_THROW(g.SelectFrame(0), EInvalidGraphicOperation);
    EXPECT_THROW(g.SelectFrame(9), EInvalidGraphicOperation);
    EXPECT_EQ(g.Index(), 2);
}

TEST(Avi, TickStepsAndWraps) {
    TAVIGraphic g;
    g.LoadFromFileName(AviPath(QStringLiteral("mjpeg.avi")));
    int changes = 0;
    g.OnChange = [&](TGraphic*) { ++changes; };
    QVector<int> seen;
    for (int i = 0; i < 10; ++i) {
        g.Tick();
        seen << g.Index();
    }
    EXPECT_EQ(seen, (QVector<int>{1, 2, 3, 4, 5, 6, 7, 0, 1, 2}));
    EXPECT_EQ(changes, 10);
    EXPECT_FALSE(g.Animated()); // a direct tick does not start the timer
    EXPECT_GT(g.TimerInterval(), 0);
    EXPECT_LE(g.TimerInterval(), 100);
    // An empty graphic steps nothing.
    TAVIGraphic empty;
    empty.Tick();
    EXPECT_EQ(empty.Index(), 0);
}

TEST(Avi, PlayStopAndClose) {
    TAVIGraphic g;
    g.Play(); // nothing open: stays stopped
    EXPECT_FALSE(g.Animated());
    g.LoadFromFileName(AviPath(QStringLiteral("raw24.avi")));
    g.Play();
    EXPECT_TRUE(g.Animated());
    QElapsedTimer clock;
    clock.start();
    while (g.Index() < 2 && clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    EXPECT_GE(g.Index(), 2); // the timer stepped the frames
    EXPECT_GE(clock.elapsed(), 150);
    g.Pause();
    EXPECT_FALSE(g.Animated());
    const int stopped = g.Index();
    clock.restart();
    while (clock.elapsed() < 250) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(g.Index(), stopped); // the frame stays

    g.Play();
    g.Close();
    EXPECT_FALSE(g.Animated());
    ExpectEmpty(g);
    g.Close(); // twice: nothing
    // Loading again reopens.
    g.LoadFromFileName(AviPath(QStringLiteral("pal8.avi")));
    EXPECT_EQ(g.FrameCount(), 8);
}

TEST(Avi, LoadErrorsLeaveTheGraphicEmpty) {
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("text.avi"));
    WriteFile(text, QByteArray("this is not a video\n"));
    const QString png = dir.filePath(QStringLiteral("picture.avi"));
    MakeTestImage(16, 16).save(png, "PNG");
    const QString missing = dir.filePath(QStringLiteral("missing.avi"));
    // A RIFF AVI header cut short before any stream list.
    const QString cut = dir.filePath(QStringLiteral("cut.avi"));
    WriteFile(cut, ReadFile(AviPath(QStringLiteral("raw24.avi"))).left(40));

    TAVIGraphic g;
    g.LoadFromFileName(AviPath(QStringLiteral("raw24.avi")));
    int changes = 0;
    g.OnChange = [&](TGraphic*) { ++changes; };
    EXPECT_EQ(LoadError(g, QString()), QStringLiteral("Empty image file name."));
    ExpectEmpty(g); // the previous file was closed first
    EXPECT_EQ(LoadError(g, missing), QStringLiteral("Cannot open AVI file %1.").arg(missing));
    EXPECT_EQ(LoadError(g, text), QStringLiteral("Cannot open AVI file %1.").arg(text));
    EXPECT_EQ(LoadError(g, png), QStringLiteral("Cannot open AVI file %1.").arg(png));
    const QString cutError = LoadError(g, cut);
    EXPECT_TRUE(cutError == QStringLiteral("Cannot open AVI file %1.").arg(cut) ||
                cutError == QStringLiteral("Cannot get AVI file stream."))
        << cutError.toStdString();
    EXPECT_EQ(LoadError(g, AviPath(QStringLiteral("audio.avi"))), QStringLiteral("Cannot get AVI file stream."));
    ExpectEmpty(g);
    EXPECT_EQ(changes, 0);
    g.Play();
    EXPECT_FALSE(g.Animated());
    // After the errors a good file still loads.
    g.LoadFromFileName(AviPath(QStringLiteral("mjpeg.avi")));
    EXPECT_FALSE(g.IsEmpty());
}

TEST(Avi, FramesBeyondThePixelLimitAreRefused) {
    const qint64 old = PixelLimit();
    SetPixelLimit(32 * 24 - 1);
    TAVIGraphic g;
    EXPECT_THROW(g.LoadFromFileName(AviPath(QStringLiteral("raw24.avi"))), EInvalidGraphic);
    SetPixelLimit(old);
    ExpectEmpty(g);
}

TEST(Avi, RefusesStreams) {
    TAVIGraphic g;
    QByteArray bytes = ReadFile(AviPath(QStringLiteral("raw24.avi")));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    EXPECT_THROW(g.LoadFromStream(buffer), EInvalidGraphicOperation);
    EXPECT_TRUE(g.IsEmpty());
}

TEST(Avi, OpensThroughTheContainerAndTheCommandLine) {
    TPictureEx picture;
    picture.LoadFromFileName(AviPath(QStringLiteral("mjpeg.avi")));
    ASSERT_TRUE(picture.Graphic());
    EXPECT_EQ(picture.Graphic()->ClassName(), QStringLiteral("TAVIGraphic"));
    EXPECT_EQ(picture.Graphic()->FrameCount(), 8);
    EXPECT_EQ(picture.Width(), 32);
    // The container reports frame changes of the video it holds.
    int changes = 0;
    picture.OnChange = [&](TGraphic*) { ++changes; };
    static_cast<TAVIGraphic*>(picture.Graphic())->Tick();
    EXPECT_EQ(changes, 1);
    // An audio-only file fails through the container with the video's own message.
    try {
        picture.LoadFromFileName(AviPath(QStringLiteral("audio.avi")));
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Cannot get AVI file stream."));
    }

    QString out;
    ASSERT_EQ(RunCli({QStringLiteral("info"), AviPath(QStringLiteral("raw24.avi"))}, &out), 0);
    EXPECT_TRUE(out.contains(QStringLiteral("\tTAVIGraphic\t32x24\tpages=1\tframes=8"))) << out.toStdString();
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("f.png"));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), AviPath(QStringLiteral("raw24.avi")), png, QStringLiteral("--frame"),
                      QStringLiteral("3")}),
              0);
    EXPECT_TRUE(SamePixels(QImage(png), Reference(QStringLiteral("raw24-frames.png"), 2)));
    QString err;
    EXPECT_EQ(RunCli({QStringLiteral("convert"), AviPath(QStringLiteral("raw24.avi")), png, QStringLiteral("--frame"),
                      QStringLiteral("9")}, nullptr, &err),
              1);
}

TEST(Avi, UndecodableFramesDrawNothing) {
    // The MJPEG clip with every frame's data overwritten: the file still opens, no frame decodes.
    QByteArray bytes = ReadFile(AviPath(QStringLiteral("mjpeg.avi")));
    int patched = 0;
    for (qsizetype pos = bytes.indexOf("movi"); (pos = bytes.indexOf("00dc", pos + 1)) >= 0 && pos + 8 <= bytes.size();) {
        const qsizetype size = qsizetype(U32(bytes, int(pos + 4)));
        if (size <= 0 || pos + 8 + size > bytes.size()) continue;
        for (qsizetype i = 0; i < size; ++i) bytes[pos + 8 + i] = char(0x55);
        ++patched;
    }
    ASSERT_GE(patched, 8);
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("broken.avi"));
    WriteFile(name, bytes);
    TAVIGraphic g;
    g.LoadFromFileName(name);
    EXPECT_EQ(g.FrameCount(), 8);
    QImage target(32, 24, QImage::Format_RGB32);
    target.fill(Qt::red);
    QPainter p(&target);
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(g.FrameImage().isNull()) << g.Index();
        g.DrawTo(p, QRect(0, 0, 32, 24));
        g.Tick();
    }
    p.end();
    EXPECT_EQ(target.pixel(16, 12), QColor(Qt::red).rgb());
    EXPECT_EQ(g.Index(), 2);
}
