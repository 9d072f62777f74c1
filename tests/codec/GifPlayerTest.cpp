// The frame player of animated GIFs and WebPs and the animation interface every moving picture shares:
// loop counts, delays, jumps and pauses from the player's notifications, and frame counts of clips as
// ffprobe counts.
#include "TestUtil.h"

#include "codec/Gif.h"
#include "codec/WebP.h"
#include "formats/raster/AVIGraph.h"
#include "formats/raster/Ani.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

std::unique_ptr<TGIFImage> LoadGif(const QString& path) {
    auto g = std::make_unique<TGIFImage>();
    g->LoadFromFileName(path);
    return g;
}

// Frames shown by ticking the player until it stops by itself (at most `limit` ticks).
std::vector<int> PlayToTheEnd(TFramePlayer& gif, int limit) {
    std::vector<int> shown{gif.CurrentFrame()};
    gif.Play();
    for (int i = 0; i < limit && gif.Playing(); ++i) {
        gif.Tick();
        shown.push_back(gif.CurrentFrame());
    }
    return shown;
}

// A GIF of solid frames written by ImageMagick with the given delays (hundredths) and loop option.
QString WriteDelayGif(const QTemporaryDir& dir, const QStringList& delays, const QStringList& loop) {
    const QString path = dir.filePath(QStringLiteral("delays.gif"));
    QStringList args = loop;
    const char* colours[] = {"red", "lime", "blue", "yellow", "cyan", "magenta"};
    for (int i = 0; i < delays.size(); ++i)
        args << QStringLiteral("-delay") << delays[i] << QStringLiteral("-size") << QStringLiteral("6x4")
             << QStringLiteral("xc:%1").arg(QLatin1String(colours[i % 6]));
    args << path;
    EXPECT_TRUE(RunTool(QStringLiteral("convert"), args));
    return path;
}

// An animated WebP written by img2webp from solid frames of 6 x 4 pixels with the given delays (ms).
QString WriteDelayWebP(const QTemporaryDir& dir, const QString& name, const QList<int>& delays, int loop) {
    const QString path = dir.filePath(name);
    QStringList args = {"-loop", QString::number(loop), "-lossless"};
    const Qt::GlobalColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan, Qt::magenta};
    for (int i = 0; i < delays.size(); ++i) {
        QImage frame(6, 4, QImage::Format_RGB32);
        frame.fill(colours[i % 6]);
        const QString png = dir.filePath(QStringLiteral("%1-%2.png").arg(name).arg(i));
        EXPECT_TRUE(frame.save(png));
        args << QStringLiteral("-d") << QString::number(delays[i]) << png;
    }
    args << QStringLiteral("-o") << path;
    EXPECT_TRUE(RunTool(QStringLiteral("img2webp"), args));
    return path;
}

std::unique_ptr<TWebPGraphic> LoadWebP(const QString& path) {
    auto g = std::make_unique<TWebPGraphic>();
    g->LoadFromFileName(path);
    return g;
}

// Alpha 0 hides the colour under it: such pixels compare equal whatever their colour.
bool SameVisiblePixels(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_ARGB32), y = b.convertToFormat(QImage::Format_ARGB32);
    if (x.size() != y.size()) return false;
    for (int j = 0; j < x.height(); ++j)
        for (int i = 0; i < x.width(); ++i) {
            const QRgb p = x.pixel(i, j), q = y.pixel(i, j);
            if (qAlpha(p) == 0 && qAlpha(q) == 0) continue;
            if (p != q) return false;
        }
    return true;
}

} // namespace

TEST(GifPlayer, TheLoopCountSaysHowOftenTheFramesPlay) {
    // anim.gif: five frames and a loop extension of 2 repetitions, so three rounds; the last frame stays.
    auto gif = LoadGif(DataPath(QStringLiteral("gif/anim.gif")));
    ASSERT_EQ(gif->FrameCount(), 5);
    ASSERT_EQ(gif->LoopCount(), 2);
    EXPECT_TRUE(gif->IsAnimation());
    std::vector<int> shown = PlayToTheEnd(*gif, 100);
    ASSERT_EQ(shown.size(), 15u);
    for (size_t i = 0; i < shown.size(); ++i)
        EXPECT_EQ(shown[i], int(i % 5) + 1) << i;
    EXPECT_FALSE(gif->Playing());
    EXPECT_EQ(gif->CurrentFrame(), 5);
    // Playing again starts a new round of loops from the first frame.
    shown = PlayToTheEnd(*gif, 100);
    EXPECT_EQ(shown.size(), 16u);
    EXPECT_EQ(shown[1], 1);
    EXPECT_EQ(shown.back(), 5);

    // A loop count of 0 repeats for ever.
    auto endless = LoadGif(DataPath(QStringLiteral("gif/outside.gif")));
    ASSERT_EQ(endless->LoopCount(), 0);
    EXPECT_EQ(PlayToTheEnd(*endless, 500).size(), 501u);
    EXPECT_TRUE(endless->Playing());
    endless->Pause();

    // No loop extension: played once.
    QTemporaryDir dir;
    auto once = LoadGif(WriteDelayGif(dir, {"10", "10", "10"}, {}));
    if (once->LoopCount() == -1) {
        EXPECT_EQ(PlayToTheEnd(*once, 100), (std::vector<int>{1, 2, 3}));
    } else {
        // ImageMagick wrote a loop extension after all: then the file says how often.
        EXPECT_GE(once->LoopCount(), 0);
    }
    // A still GIF does not move.
    auto still = LoadGif(DataPath(QStringLiteral("gif/still.gif")));
    EXPECT_FALSE(still->IsAnimation());
    still->Play();
    EXPECT_FALSE(still->Playing());
}

TEST(GifPlayer, DelaysOf0Or1HundredthsPlayAt10) {
    QTemporaryDir dir;
    auto gif = LoadGif(WriteDelayGif(dir, {"0", "1", "2", "35"}, {"-loop", "0"}));
    ASSERT_EQ(gif->FrameCount(), 4);
    std::vector<int> intervals;
    for (int frame = 1; frame <= 4; ++frame) {
        gif->SelectFrame(frame);
        intervals.push_back(gif->Interval());
    }
    EXPECT_EQ(intervals, (std::vector<int>{100, 100, 20, 350}));
}

TEST(GifPlayer, AJumpReplacesTheNextFrameAndAPauseAfterPaintHolds) {
    auto gif = LoadGif(DataPath(QStringLiteral("gif/many.gif")));
    ASSERT_EQ(gif->FrameCount(), 21);
    int changes = 0, frames = 0, paints = 0;
    gif->OnChange = [&](TGraphic*) { ++changes; };
    gif->OnFrame = [&](TGraphic* sender) {
        ++frames;
        auto* g = static_cast<TGIFImage*>(sender);
        EXPECT_EQ(g->PendingFrame(), g->CurrentFrame() + 1); // the frame about to be shown
        g->SetPendingFrame(15);
        g->SetPendingFrame(0);  // ignored: out of range
        g->SetPendingFrame(22); // ignored
    };
    gif->OnAfterPaint = [&](TGraphic* sender) {
        ++paints;
        EXPECT_EQ(sender->CurrentFrame(), 15); // the jump was painted
        sender->Pause();
    };
    gif->Play();
    gif->Tick();
    EXPECT_EQ(gif->CurrentFrame(), 15);
    EXPECT_FALSE(gif->Playing());
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(changes, 1);
    // The jumped-to frame is composed as a straight walk to it composes it.
    auto walked = LoadGif(DataPath(QStringLiteral("gif/many.gif")));
    for (int f = 2; f <= 15; ++f)
        walked->SelectFrame(f);
    EXPECT_TRUE(SamePixels(gif->FrameImage(15), walked->FrameImage(15)));

    // Stop pauses and shows the first frame; Play continues from there.
    gif->OnFrame = nullptr;
    gif->OnAfterPaint = nullptr;
    gif->Play();
    gif->Stop();
    EXPECT_FALSE(gif->Playing());
    EXPECT_EQ(gif->CurrentFrame(), 1);
    gif->Play();
    gif->Tick();
    EXPECT_EQ(gif->CurrentFrame(), 2);
    gif->Pause();
}

TEST(GifPlayer, TheTimerStepsAtTheFramesDelays) {
    auto gif = LoadGif(DataPath(QStringLiteral("gif/outside.gif"))); // two frames of 150 ms
    std::vector<qint64> at;
    QElapsedTimer clock;
    gif->OnChange = [&](TGraphic*) { at.push_back(clock.elapsed()); };
    clock.start();
    gif->Play();
    while (at.size() < 3 && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    gif->Pause();
    ASSERT_EQ(at.size(), 3u);
    // Never early; late only by what a busy machine costs.
    EXPECT_GE(at[0], 145);
    EXPECT_GE(at[1] - at[0], 145);
    EXPECT_GE(at[2] - at[1], 145);
}

// Animated WebPs play on the GIF's player: the file's plays, the delays (10 ms or less at 100 ms, as
// browsers do), jumps from the frame notification and a pause after paint.
TEST(WebPPlayer, PlaysLikeAGif) {
    QTemporaryDir dir;
    auto twice = LoadWebP(WriteDelayWebP(dir, QStringLiteral("twice.webp"), {5, 250, 40}, 2));
    ASSERT_EQ(twice->FrameCount(), 3);
    ASSERT_EQ(twice->LoopCount(), 1); // two plays: one repetition after the first
    EXPECT_TRUE(twice->IsAnimation());
    EXPECT_EQ(PlayToTheEnd(*twice, 100), (std::vector<int>{1, 2, 3, 1, 2, 3}));
    EXPECT_FALSE(twice->Playing());
    EXPECT_EQ(twice->CurrentFrame(), 3);
    // Playing again after the end is a new round.
    EXPECT_EQ(PlayToTheEnd(*twice, 100).size(), 7u);
    std::vector<int> intervals;
    for (int frame = 1; frame <= 3; ++frame) {
        twice->SelectFrame(frame);
        intervals.push_back(twice->Interval());
    }
    EXPECT_EQ(intervals, (std::vector<int>{100, 250, 40}));

    auto once = LoadWebP(WriteDelayWebP(dir, QStringLiteral("once.webp"), {50, 50, 50, 50}, 1));
    EXPECT_EQ(PlayToTheEnd(*once, 100), (std::vector<int>{1, 2, 3, 4}));
    auto ever = LoadWebP(WriteDelayWebP(dir, QStringLiteral("ever.webp"), {50, 50}, 0));
    EXPECT_EQ(PlayToTheEnd(*ever, 300).size(), 301u);
    EXPECT_TRUE(ever->Playing());
    ever->Pause();

    // A jump chosen in the frame notification, then a pause after it is painted.
    auto jump = LoadWebP(WriteDelayWebP(dir, QStringLiteral("jump.webp"), {50, 50, 50, 50, 50}, 0));
    int changes = 0;
    jump->OnChange = [&](TGraphic*) { ++changes; };
    jump->OnFrame = [](TGraphic* sender) {
        auto* player = static_cast<TFramePlayer*>(sender);
        EXPECT_EQ(player->PendingFrame(), 2);
        player->SetPendingFrame(4);
        player->SetPendingFrame(6); // ignored: out of range
    };
    jump->OnAfterPaint = [](TGraphic* sender) { sender->Pause(); };
    jump->Play();
    jump->Tick();
    EXPECT_EQ(jump->CurrentFrame(), 4);
    EXPECT_FALSE(jump->Playing());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(jump->Image().pixel(0, 0), QColor(Qt::yellow).rgb());

    // A still WebP does not move.
    QImage still(5, 5, QImage::Format_RGB32);
    still.fill(Qt::gray);
    ASSERT_TRUE(still.save(dir.filePath("still.png")));
    ASSERT_TRUE(RunTool(QStringLiteral("cwebp"), {"-quiet", dir.filePath("still.png"), "-o", dir.filePath("still.webp")}));
    auto stillWebP = LoadWebP(dir.filePath("still.webp"));
    EXPECT_FALSE(stillWebP->IsAnimation());
    stillWebP->Play();
    EXPECT_FALSE(stillWebP->Playing());
}

// gif2webp turns a GIF into an animated WebP: the same composed frames, delays and plays.
TEST(WebPPlayer, AGifThroughGif2webpPlaysTheSameFrames) {
    QTemporaryDir dir;
    const QString webp = dir.filePath("anim.webp");
    ASSERT_TRUE(RunTool(QStringLiteral("gif2webp"), {"-quiet", DataPath(QStringLiteral("gif/anim.gif")), "-o", webp}));
    auto gif = LoadGif(DataPath(QStringLiteral("gif/anim.gif")));
    auto converted = LoadWebP(webp);
    ASSERT_EQ(converted->FrameCount(), gif->FrameCount());
    EXPECT_EQ(converted->LoopCount(), gif->LoopCount());
    EXPECT_EQ(converted->Width(), gif->Width());
    for (int frame = 1; frame <= gif->FrameCount(); ++frame) {
        SCOPED_TRACE(frame);
        EXPECT_EQ(converted->FrameDelay(frame), gif->FrameDelay(frame));
        EXPECT_TRUE(SameVisiblePixels(converted->FrameImage(frame), gif->FrameImage(frame)));
    }
    EXPECT_EQ(PlayToTheEnd(*converted, 100), PlayToTheEnd(*gif, 100));
}

TEST(Animation, EveryMovingPictureAnswersTheSameInterface) {
    TAniGraphic ani;
    ani.LoadFromFileName(DataPath(QStringLiteral("ani/spin.ani")));
    TAVIGraphic video;
    video.LoadFromFileName(DataPath(QStringLiteral("avi/raw24.avi")));
    auto gif = LoadGif(DataPath(QStringLiteral("gif/anim.gif")));
    QTemporaryDir dir;
    auto webp = LoadWebP(WriteDelayWebP(dir, QStringLiteral("moving.webp"), {60, 60, 60}, 0));
    for (TGraphic* g : std::initializer_list<TGraphic*>{&ani, &video, gif.get(), webp.get()}) {
        SCOPED_TRACE(g->ClassName().toStdString());
        EXPECT_TRUE(g->IsAnimation());
        ASSERT_GT(g->FrameCount(), 1);
        EXPECT_FALSE(g->Playing());
        g->Play();
        EXPECT_TRUE(g->Playing());
        g->SelectFrame(2);
        EXPECT_EQ(g->CurrentFrame(), 2);
        g->Pause();
        EXPECT_FALSE(g->Playing());
        EXPECT_EQ(g->CurrentFrame(), 2);
        g->Play();
        g->Stop();
        EXPECT_FALSE(g->Playing());
        EXPECT_EQ(g->CurrentFrame(), 1);
        // The frame at its own size, for the view to scale.
        EXPECT_EQ(g->ToBitmap().size(), QSize(g->Width(), g->Height()));
    }
    // A still picture takes the calls and does not move.
    TImageGraphic still(QImage(3, 3, QImage::Format_RGB32));
    EXPECT_FALSE(still.IsAnimation());
    still.Play();
    EXPECT_FALSE(still.Playing());
    still.Stop();
    EXPECT_EQ(still.CurrentFrame(), 1);
}

TEST(Animation, ClipsCountTheFramesFfprobeCounts) {
    QTemporaryDir dir;
    const QString mjpeg = dir.filePath(QStringLiteral("mjpeg.avi"));
    ASSERT_TRUE(RunTool(QStringLiteral("ffmpeg"), {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10",
                                                   "-frames:v", "17", "-c:v", "mjpeg", "-y", mjpeg}));
    for (const QString& path : {DataPath(QStringLiteral("avi/raw24.avi")), mjpeg}) {
        SCOPED_TRACE(path.toStdString());
        QByteArray out;
        ASSERT_TRUE(RunTool(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "v:0", "-count_frames",
                                                        "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0",
                                                        path},
                            &out));
        TAVIGraphic video;
        video.LoadFromFileName(path);
        EXPECT_EQ(video.FrameCount(), out.trimmed().toInt());
    }
}
