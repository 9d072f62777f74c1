#include "TestUtil.h"

#include "app/PictureEx.h"
#include "codec/DibGraphic.h"
#include "formats/raster/Ani.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>

namespace {

QString AniPath(const QString& name) { return DataPath(QStringLiteral("ani/") + name); }

std::unique_ptr<TAniGraphic> LoadAni(const QByteArray& bytes) { return LoadGraphic<TAniGraphic>(bytes); }

QString LoadError(const QByteArray& bytes) {
    try {
        LoadAni(bytes);
    } catch (const EInvalidGraphic& e) {
        return e.Message();
    }
    return QStringLiteral("(loaded)");
}

QImage Over(const QImage& image, QColor background, QSize size = QSize()) {
    QImage out(size.isValid() ? size : image.size(), QImage::Format_RGB32);
    out.fill(background);
    QPainter p(&out);
    p.drawImage(0, 0, image);
    return out;
}

::testing::AssertionResult SameVisible(const QImage& actual, const QImage& expected) {
    for (QColor bg : {QColor(Qt::white), QColor(Qt::black)}) {
        auto r = SamePixels(Over(actual, bg), Over(expected, bg), 1);
        if (!r) return r << " on " << bg.name().toStdString();
    }
    return ::testing::AssertionSuccess();
}

// Index of the first chunk with this tag at the top level of a RIFF file (after "RIFF", size, form).
int ChunkPos(const QByteArray& riff, const char* tag) {
    int pos = 12;
    while (pos + 8 <= riff.size()) {
        if (riff.mid(pos, 4) == QByteArray(tag)) return pos;
        pos += 8 + int(U32(riff, pos + 4));
    }
    return -1;
}

} // namespace

// Frames written by Pillow, wrapped by tests/data/ani/make_ani.py, against Pillow's decoding of them.
TEST(Ani, ReadsEveryChunkAndEveryFrame) {
    TAniGraphic g;
    g.LoadFromFileName(AniPath(QStringLiteral("spin.ani")));
    ASSERT_EQ(g.FrameCount(), 3);
    EXPECT_FALSE(g.IsEmpty());
    EXPECT_EQ(g.FrameIndex(), 0);
    EXPECT_EQ(g.CurrentFrame(), 1);
    EXPECT_FALSE(g.Animating());
    EXPECT_EQ(QSize(g.Width(), g.Height()), QSize(20, 20));
    EXPECT_EQ(g.Name(), QStringLiteral("Spin"));
    EXPECT_EQ(g.Artist(), QStringLiteral("Lumenor tests"));
    EXPECT_EQ(g.Rates(), (QVector<quint32>{10, 20, 30}));
    EXPECT_EQ(g.Sequence(), (QVector<quint32>{0, 1, 2}));
    EXPECT_EQ(g.Header().Steps, 3u);
    EXPECT_EQ(g.Header().DisplayRate, 6u);
    for (int n = 0; n < 3; ++n) {
        SCOPED_TRACE(n);
        g.ShowFrame(n);
        const QImage ref(AniPath(QStringLiteral("frame-%1.png").arg(n)));
        EXPECT_TRUE(SameVisible(g.Frame(), ref));
        EXPECT_TRUE(SamePixels(g.ToImage(), Over(ref, Qt::white), 1));
    }
    // The command line's frame choice is 1-based.
    g.SelectFrame(2);
    EXPECT_EQ(g.FrameIndex(), 1);
    EXPECT_THROW(g.SelectFrame(4), EInvalidGraphicOperation);
    EXPECT_THROW(g.SelectFrame(0), EInvalidGraphicOperation);
    EXPECT_EQ(g.FrameIndex(), 1);
}

TEST(Ani, TicksStepInFileOrderWithTheRates) {
    auto g = LoadAni(ReadFile(AniPath(QStringLiteral("spin.ani"))));
    EXPECT_EQ(g->Interval(), 100);
    int changes = 0;
    g->OnChange = [&](TGraphic*) { ++changes; };
    const int expected[][2] = {{1, 320}, {2, 480}, {0, 160}, {1, 320}};
    for (const auto& step : expected) {
        g->Tick();
        EXPECT_EQ(g->FrameIndex(), step[0]);
        EXPECT_EQ(g->Interval(), step[1]);
    }
    EXPECT_EQ(changes, 4);
    EXPECT_FALSE(g->Animating()); // a tick by hand starts no timer

    // Without rates: the header's default rate, and 100 ms when that is 0.
    QByteArray bytes = ReadFile(AniPath(QStringLiteral("spin.ani")));
    const int rate = ChunkPos(bytes, "rate");
    ASSERT_GT(rate, 0);
    bytes.replace(rate, 4, "junk");
    auto noRates = LoadAni(bytes);
    EXPECT_TRUE(noRates->Rates().isEmpty());
    noRates->Tick();
    EXPECT_EQ(noRates->Interval(), 6 * 16);
    auto zero = LoadAni(ReadFile(AniPath(QStringLiteral("zerosize.ani"))));
    zero->Tick();
    EXPECT_EQ(zero->FrameIndex(), 1);
    EXPECT_EQ(zero->Interval(), 100);
}

TEST(Ani, TimerRunsTheAnimation) {
    auto g = LoadAni(ReadFile(AniPath(QStringLiteral("spin.ani"))));
    int changes = 0;
    g->OnChange = [&](TGraphic*) { ++changes; };
    g->SetAnimating(true);
    EXPECT_TRUE(g->Animating());
    QElapsedTimer clock;
    clock.start();
    while (changes < 2 && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_GE(changes, 2);
    EXPECT_TRUE(g->Animating());
    EXPECT_EQ(g->Interval(), g->FrameIndex() == 1 ? 320 : g->FrameIndex() == 2 ? 480 : 160);
    g->SetAnimating(false);
    EXPECT_FALSE(g->Animating());

    // A copy takes the bytes and the running state.
    g->SetAnimating(true);
    TAniGraphic copy;
    copy.Assign(*g);
    EXPECT_TRUE(copy.Animating());
    EXPECT_EQ(copy.FrameCount(), 3);
    EXPECT_EQ(Save(copy), Save(*g));
}

TEST(Ani, ShowFrameWithTheCurrentOrAMissingIndexDoesNothing) {
    auto g = LoadAni(ReadFile(AniPath(QStringLiteral("spin.ani"))));
    int changes = 0;
    g->OnChange = [&](TGraphic*) { ++changes; };
    const QImage before = g->Frame();
    for (int index : {0, 3, -1, 100}) g->ShowFrame(index);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(g->FrameIndex(), 0);
    EXPECT_EQ(g->Frame(), before);
    g->ShowFrame(2);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(g->FrameIndex(), 2);
}

TEST(Ani, HeaderWithoutSizeTakesTheFirstFrames) {
    auto g = LoadAni(ReadFile(AniPath(QStringLiteral("zerosize.ani"))));
    EXPECT_EQ(QSize(g->Width(), g->Height()), QSize(24, 24));
    ASSERT_EQ(g->FrameCount(), 2);
    EXPECT_EQ(g->Header().Frames, 2u); // the 40-byte header chunk was read in step
    for (int n = 0; n < 2; ++n) {
        g->ShowFrame(n);
        EXPECT_TRUE(SameVisible(g->Frame(), QImage(AniPath(QStringLiteral("cursor-%1.png").arg(n)))));
    }
}

// Real files often give a list a size a few bytes off. The sub-chunks are walked by their sizes within
// the list, and the walk picks up the next chunk where the list's end does not hold one: every chunk and
// every frame is read as from the file with the right sizes.
TEST(Ani, ListSizesThatAreOffStillGiveEveryChunk) {
    const auto spin = LoadAni(ReadFile(AniPath(QStringLiteral("spin.ani"))));
    for (const char* name : {"overlist.ani", "overlist10.ani"}) {
        SCOPED_TRACE(name);
        auto g = LoadAni(ReadFile(AniPath(QString::fromLatin1(name))));
        ASSERT_EQ(g->FrameCount(), 3);
        EXPECT_EQ(QSize(g->Width(), g->Height()), QSize(20, 20));
        EXPECT_EQ(g->Name(), QStringLiteral("Spin"));
        EXPECT_EQ(g->Artist(), QStringLiteral("Lumenor tests"));
        EXPECT_EQ(g->Rates(), spin->Rates());
        EXPECT_EQ(g->Sequence(), spin->Sequence());
        EXPECT_FALSE(g->Truncated());
        for (int n = 0; n < 3; ++n) {
            g->ShowFrame(n);
            spin->ShowFrame(n);
            EXPECT_TRUE(SamePixels(g->Frame(), spin->Frame())) << n;
        }
    }
}

TEST(Ani, BadFilesAreRejected) {
    const QString invalid = QStringLiteral("Animated icon image is not valid");
    EXPECT_EQ(LoadError(ReadFile(AniPath(QStringLiteral("badrate.ani")))), invalid);
    EXPECT_EQ(LoadError(ReadFile(AniPath(QStringLiteral("badframe.ani")))), invalid);
    const QByteArray good = ReadFile(AniPath(QStringLiteral("spin.ani")));
    QByteArray riff = good, form = good, seq = good;
    riff[3] = 'X';
    form[11] = 'M';
    const int seqPos = ChunkPos(seq, "seq ");
    ASSERT_GT(seqPos, 0);
    seq[seqPos + 4] = 8; // two values for three steps
    for (const QByteArray& bytes : {riff, form, seq, QByteArray(), good.left(11)})
        EXPECT_EQ(LoadError(bytes), invalid) << ::testing::PrintToString(bytes);
    // Cut inside a frame: the frames up to it are there, the last one shorter, and the graphic says that
    // the data ended early.
    EXPECT_FALSE(LoadAni(good)->Truncated());
    auto cutLast = LoadAni(good.left(good.size() - 100));
    EXPECT_EQ(cutLast->FrameCount(), 3);
    EXPECT_TRUE(cutLast->Truncated());
    const int firstIcon = int(good.indexOf("icon"));
    auto cutFirst = LoadAni(good.left(firstIcon + 20));
    EXPECT_EQ(cutFirst->FrameCount(), 1);
    EXPECT_EQ(QSize(cutFirst->Width(), cutFirst->Height()), QSize(20, 20));
    EXPECT_TRUE(cutFirst->Truncated());

    // A failed load leaves an empty graphic that has nothing to save.
    auto g = LoadAni(good);
    QBuffer buffer(&riff);
    buffer.open(QIODevice::ReadOnly);
    EXPECT_THROW(g->LoadFromStream(buffer), EInvalidGraphic);
    EXPECT_TRUE(g->IsEmpty());
    EXPECT_EQ(g->FrameIndex(), -1);
    try {
        Save(*g);
        ADD_FAILURE();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Invalid stream format"));
    }
}

TEST(Ani, HostileNumbersAreBoundedByTheData) {
    const QByteArray good = ReadFile(AniPath(QStringLiteral("spin.ani")));
    const int anih = ChunkPos(good, "anih");
    ASSERT_GT(anih, 0);
    auto patched = [&](int field, quint32 value) {
        QByteArray b = good;
        QByteArray v;
        Put32(v, value);
        b.replace(anih + 8 + 4 * field, 4, v);
        return b;
    };
    // A frame count beyond the frames present gives the frames present; one below them, its own count.
    auto many = LoadAni(patched(1, 0xFFFFFFFF));
    EXPECT_EQ(many->FrameCount(), 3);
    EXPECT_FALSE(many->Truncated());
    EXPECT_EQ(LoadAni(patched(1, 2))->FrameCount(), 2);
    // A size beyond the pixel limit.
    EXPECT_TRUE(LoadError(patched(3, 0x7FFFFFFF)).contains(QStringLiteral("too large")));
    EXPECT_TRUE(LoadError(patched(4, 0x80000000)).startsWith(QStringLiteral("Invalid picture size")));
    // Steps and list sizes that point far past the end allocate nothing and end the chunks.
    QByteArray steps = patched(2, 0x3FFFFFFF);
    const int rate = ChunkPos(steps, "rate");
    QByteArray v;
    Put32(v, 0xFFFFFFFC);
    steps.replace(rate + 4, 4, v);
    auto g = LoadAni(steps);
    EXPECT_EQ(g->Rates().mid(0, 3), (QVector<quint32>{10, 20, 30})); // what the data holds
    EXPECT_LT(g->Rates().size(), good.size() / 4);
    EXPECT_TRUE(g->IsEmpty());                           // the frames were never reached
    // A frame whose icon is damaged draws nothing but still counts.
    QByteArray damaged = good;
    const int firstIcon = int(damaged.indexOf("icon"));
    damaged[firstIcon + 8 + 2] = 7; // directory type
    auto d = LoadAni(damaged);
    EXPECT_EQ(d->FrameCount(), 3);
    EXPECT_TRUE(d->Frame().isNull());
    EXPECT_TRUE(SamePixels(d->ToImage(), Over(QImage(), Qt::white, QSize(20, 20))));
}

TEST(Ani, SavesTheBytesItRead) {
    const QByteArray file = ReadFile(AniPath(QStringLiteral("spin.ani")));
    QByteArray withPrefix = QByteArray("prefix") + file;
    QBuffer buffer(&withPrefix);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(6);
    TAniGraphic g;
    g.LoadFromStream(buffer);
    g.ShowFrame(2);
    EXPECT_EQ(Save(g), file);
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("copy.ani"));
    g.SaveToFileName(copy);
    EXPECT_EQ(ReadFile(copy), file);
}

TEST(Ani, SizeAndClipboardAreRefused) {
    auto g = LoadAni(ReadFile(AniPath(QStringLiteral("spin.ani"))));
    auto message = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const EInvalidGraphicOperation& e) {
            return e.Message();
        }
        return QStringLiteral("(no error)");
    };
    EXPECT_EQ(message([&] { g->SetWidth(10); }), QStringLiteral("Cannot change the size of an icon"));
    EXPECT_EQ(message([&] { g->SetHeight(10); }), QStringLiteral("Cannot change the size of an icon"));
    QMimeData data;
    EXPECT_EQ(message([&] { g->SaveToClipboardData(data); }), QStringLiteral("Clipboard does not support Icons"));
    EXPECT_EQ(message([&] { g->LoadFromClipboardData(data); }), QStringLiteral("Clipboard does not support Icons"));
}

// The viewer gets the frame at its own size at the top-left of the rectangle; a rendering of another
// size gets it stretched.
TEST(Ani, DrawsAtOwnSizeAndRendersStretched) {
    auto g = LoadAni(ReadFile(AniPath(QStringLiteral("spin.ani"))));
    const QImage ref(AniPath(QStringLiteral("frame-0.png")));
    QImage canvas(60, 60, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        g->DrawTo(p, QRect(10, 5, 50, 50));
    }
    EXPECT_TRUE(SamePixels(canvas.copy(10, 5, 20, 20), Over(ref, Qt::white), 1));
    QImage outside = canvas;
    {
        QPainter p(&outside);
        p.fillRect(10, 5, 20, 20, Qt::white);
    }
    QImage white(60, 60, QImage::Format_RGB32);
    white.fill(Qt::white);
    EXPECT_TRUE(SamePixels(outside, white));

    const QImage big = g->ToImage(QSize(40, 40), 0x000000);
    const QImage refBig = Over(ref, Qt::black).scaled(40, 40);
    EXPECT_TRUE(SamePixels(big, refBig, 1));
    TImageGraphic raster;
    g->CopyInto(raster);
    EXPECT_TRUE(SameVisible(raster.Image(), ref));
}

TEST(Ani, OpensThroughTheContainerAndTheCommandLine) {
    TPictureEx picture;
    picture.LoadFromFileName(AniPath(QStringLiteral("spin.ani")));
    ASSERT_TRUE(picture.Graphic());
    EXPECT_EQ(picture.Graphic()->ClassName(), QStringLiteral("TAniGraphic"));
    EXPECT_EQ(picture.Graphic()->FrameCount(), 3);

    QString out;
    ASSERT_EQ(RunCli({QStringLiteral("info"), AniPath(QStringLiteral("spin.ani"))}, &out), 0);
    EXPECT_TRUE(out.contains(QStringLiteral("\tTAniGraphic\t20x20\tpages=1\tframes=3"))) << out.toStdString();
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("f.png"));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), AniPath(QStringLiteral("spin.ani")), png, QStringLiteral("--frame"),
                      QStringLiteral("3")}),
              0);
    // Conversion to a raster keeps the frame's transparency, as a cursor's conversion does.
    const QImage converted = QImage(png).convertToFormat(QImage::Format_ARGB32);
    ASSERT_TRUE(converted.hasAlphaChannel());
    EXPECT_TRUE(SamePixels(converted, QImage(AniPath(QStringLiteral("frame-2.png"))).convertToFormat(QImage::Format_ARGB32), 1));
    // Rendering still draws it on the background.
    const QString rendered = dir.filePath(QStringLiteral("r.png"));
    ASSERT_EQ(RunCli({QStringLiteral("render"), AniPath(QStringLiteral("spin.ani")), rendered}), 0);
    EXPECT_FALSE(QImage(rendered).hasAlphaChannel());
}
