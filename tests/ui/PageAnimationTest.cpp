// Pages and moving pictures in the window: the page commands with their enabling and status text, the
// frame label and slider with the player commands, and frames drawn at the zoom like still pictures.
#include "ViewerFixture.h"

#include "app/PageAnimation.h"
#include "codec/Gif.h"
#include "codec/WebP.h"
#include "formats/raster/Ani.h"

#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QTest>

namespace {

// Makes a multi-page TIFF with ImageMagick from its arguments (pages), uncompressed.
QString MakeTiff(const QTemporaryDir& dir, const QString& name, const QStringList& pages) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(RunTool(QStringLiteral("convert"), pages + QStringList{"-compress", "none", path}));
    return path;
}

// The offset of the n-th (0-based) directory of a little-endian TIFF.
quint32 DirectoryOffset(const QByteArray& tiff, int n) {
    quint32 offset = U32(tiff, 4);
    for (int i = 0; i < n; ++i)
        offset = U32(tiff, int(offset + 2 + 12 * U16(tiff, int(offset))));
    return offset;
}

// An animated WebP written by img2webp: solid 40 x 30 frames in the colours given, each shown delayMs.
QString MakeAnimatedWebP(const QTemporaryDir& dir, const QString& name, const QList<QRgb>& colours, int delayMs, int loop) {
    const QString path = dir.filePath(name);
    QStringList args = {"-loop", QString::number(loop), "-lossless", "-d", QString::number(delayMs)};
    for (int i = 0; i < colours.size(); ++i) {
        QImage frame(40, 30, QImage::Format_RGB32);
        frame.fill(colours[i]);
        const QString png = dir.filePath(QStringLiteral("%1-%2.png").arg(name).arg(i));
        EXPECT_TRUE(frame.save(png));
        args << png;
    }
    args << QStringLiteral("-o") << path;
    EXPECT_TRUE(RunTool(QStringLiteral("img2webp"), args));
    return path;
}

QRgb ViewCentre(TMainForm& form) {
    const QImage& view = form.ViewBitmap();
    return view.pixel(view.width() / 2, view.height() / 2) & 0xFFFFFF;
}

} // namespace

class PageAnimationTest : public ViewerTest {
protected:
    QSlider* Slider(TMainForm& form) { return form.Menus().FrameSlider; }
    QString Label(TMainForm& form) { return form.Menus().FrameLabel->text(); }
    bool Enabled(TMainForm& form, const char* name) { return ActionOf(form, name)->isEnabled(); }
};

TEST_F(PageAnimationTest, APageCommandLoadsAnotherPageAndTheEnablingFollows) {
    const QString path = MakeTiff(FDir, QStringLiteral("three.tif"),
                                  {"-size", "8x6", "xc:#ff0000", "xc:#00ff00", "xc:#0000ff"});
    auto form = NewForm();
    form->OpenPicture(path);
    ASSERT_TRUE(FMessages.empty());
    EXPECT_EQ(form->PictureKind(), TPictureKind::pkStill);
    EXPECT_EQ(Panel(*form, 3), QStringLiteral("Page 1/3"));
    EXPECT_TRUE(Enabled(*form, "ViewNextPageAction"));
    EXPECT_TRUE(Enabled(*form, "ViewLastPageAction"));
    EXPECT_TRUE(Enabled(*form, "ViewFirstPageAction"));
    EXPECT_FALSE(Enabled(*form, "ViewPreviousPageAction"));
    EXPECT_EQ(ViewCentre(*form), 0xFF0000u);

    ActionOf(*form, "ViewLastPageAction")->trigger();
    EXPECT_EQ(Panel(*form, 3), QStringLiteral("Page 3/3"));
    EXPECT_EQ(form->CurrentPage(), 3);
    EXPECT_FALSE(Enabled(*form, "ViewNextPageAction"));
    EXPECT_TRUE(Enabled(*form, "ViewPreviousPageAction"));
    EXPECT_EQ(ViewCentre(*form), 0x0000FFu);

    ActionOf(*form, "ViewPreviousPageAction")->trigger();
    EXPECT_EQ(Panel(*form, 3), QStringLiteral("Page 2/3"));
    EXPECT_EQ(ViewCentre(*form), 0x00FF00u);
    // The pages keep the zoom: a page shown at 300% stays there.
    form->SetZoom(3.0);
    ActionOf(*form, "ViewFirstPageAction")->trigger();
    EXPECT_EQ(ViewCentre(*form), 0xFF0000u);
    EXPECT_EQ(form->ViewBitmap().size(), QSize(24, 18));
    EXPECT_TRUE(FMessages.empty());

    // A single page file has no page commands.
    form->OpenPicture(WriteSolid(QStringLiteral("one.ppm"), 4, 4));
    for (const char* name : {"ViewNextPageAction", "ViewPreviousPageAction", "ViewFirstPageAction", "ViewLastPageAction"})
        EXPECT_FALSE(Enabled(*form, name)) << name;
}

TEST_F(PageAnimationTest, TwoHundredPagesArePagedToTheEndAndBack) {
    // 200 one-pixel grey levels of a gradient, each page a 4 x 4 square of its own grey.
    const QString path = MakeTiff(FDir, QStringLiteral("many.tif"),
                                  {"-size", "1x200", "gradient:white-black", "-crop", "1x1", "+repage",
                                   "-scale", "4x4!", "-type", "TrueColor"});
    QByteArray last;
    ASSERT_TRUE(RunTool(QStringLiteral("convert"), {path + QStringLiteral("[199]"), "-format", "%[fx:int(255*p{0,0}.r)]", "info:"}, &last));
    auto form = NewForm();
    form->OpenPicture(path);
    ASSERT_EQ(form->PageCount(), 200);
    QRgb previous = ViewCentre(*form);
    EXPECT_EQ(previous, 0xFFFFFFu);
    for (int page = 2; page <= 200; ++page) {
        ActionOf(*form, "ViewNextPageAction")->trigger();
        ASSERT_EQ(form->CurrentPage(), page);
        const QRgb now = ViewCentre(*form);
        ASSERT_LE(qRed(now), qRed(previous)) << page; // darker page after page
        previous = now;
    }
    EXPECT_EQ(Panel(*form, 3), QStringLiteral("Page 200/200"));
    EXPECT_EQ(qRed(previous), last.trimmed().toInt());
    EXPECT_FALSE(Enabled(*form, "ViewNextPageAction"));
    // The command does nothing more at the end (its enabling is the only guard).
    ActionOf(*form, "ViewNextPageAction")->trigger();
    EXPECT_EQ(form->CurrentPage(), 200);
    for (int page = 199; page >= 1; --page)
        ActionOf(*form, "ViewPreviousPageAction")->trigger();
    EXPECT_EQ(Panel(*form, 3), QStringLiteral("Page 1/200"));
    EXPECT_EQ(ViewCentre(*form), 0xFFFFFFu);
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(PageAnimationTest, APageThatCannotBeDecodedLeavesThePageShown) {
    const QString path = MakeTiff(FDir, QStringLiteral("broken.tif"),
                                  {"-size", "8x6", "xc:#ff0000", "xc:#00ff00", "xc:#0000ff"});
    // The second page names a compression no reader knows.
    QByteArray tiff = ReadFile(path);
    ASSERT_TRUE(tiff.startsWith("II*"));
    const quint32 second = DirectoryOffset(tiff, 1);
    bool found = false;
    for (int i = 0; i < U16(tiff, int(second)); ++i) {
        const int entry = int(second) + 2 + 12 * i;
        if (U16(tiff, entry) != 259) continue;
        tiff[entry + 8] = char(0x39);
        tiff[entry + 9] = char(0x30);
        found = true;
    }
    ASSERT_TRUE(found);
    WriteFile(path, tiff);

    auto form = NewForm();
    form->OpenPicture(path);
    ASSERT_TRUE(FMessages.empty());
    ASSERT_EQ(form->PageCount(), 3);
    ActionOf(*form, "ViewNextPageAction")->trigger();
    ASSERT_EQ(FMessages.size(), 1u); // the error is reported
    EXPECT_EQ(form->CurrentPage(), 1);
    EXPECT_EQ(Panel(*form, 3), QStringLiteral("Page 1/3"));
    EXPECT_EQ(ViewCentre(*form), 0xFF0000u);
    EXPECT_TRUE(Enabled(*form, "ViewNextPageAction"));
    // The page after it still opens.
    ActionOf(*form, "ViewLastPageAction")->trigger();
    EXPECT_EQ(Panel(*form, 3), QStringLiteral("Page 3/3"));
    EXPECT_EQ(ViewCentre(*form), 0x0000FFu);
}

TEST_F(PageAnimationTest, ThePlayerCommandsDriveTheGifAndTheSliderFollows) {
    auto form = NewForm();
    form->OpenPicture(DataPath(QStringLiteral("gif/anim.gif")));
    ASSERT_EQ(form->PictureKind(), TPictureKind::pkAnimatedGif);
    auto* gif = dynamic_cast<TGIFImage*>(form->Picture().Graphic());
    ASSERT_NE(gif, nullptr);
    // Shown and playing by itself.
    EXPECT_TRUE(form->Menus().FrameSliderAction->isVisible());
    EXPECT_TRUE(form->Menus().FrameLabelAction->isVisible());
    EXPECT_TRUE(form->Menus().AnimateMenu->menuAction()->isVisible());
    EXPECT_EQ(Slider(*form)->minimum(), 1);
    EXPECT_EQ(Slider(*form)->maximum(), 5);
    EXPECT_EQ(Slider(*form)->tickInterval(), 1);
    EXPECT_EQ(Label(*form), QStringLiteral("Frame:1/5"));
    EXPECT_EQ(form->Menus().FrameLabel->size(), QSize(77, 22));
    EXPECT_TRUE(gif->Playing());
    EXPECT_FALSE(Enabled(*form, "AniPlayAction"));
    EXPECT_TRUE(Enabled(*form, "AniPauseAction"));
    EXPECT_TRUE(Enabled(*form, "AniStopAction"));
    EXPECT_FALSE(Enabled(*form, "AniPreviousAction"));
    EXPECT_TRUE(Enabled(*form, "AniNextAction"));

    // It moves, and the slider and label move with it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return gif->CurrentFrame() > 1; }, 3000));
    EXPECT_EQ(Slider(*form)->value(), gif->CurrentFrame());
    EXPECT_EQ(Label(*form), QStringLiteral("Frame:%1/5").arg(gif->CurrentFrame()));

    // Stop: paused on the first frame.
    ActionOf(*form, "AniStopAction")->trigger();
    EXPECT_FALSE(gif->Playing());
    EXPECT_EQ(gif->CurrentFrame(), 1);
    EXPECT_EQ(Slider(*form)->value(), 1);
    EXPECT_TRUE(Enabled(*form, "AniPlayAction"));
    EXPECT_FALSE(Enabled(*form, "AniPauseAction"));
    EXPECT_FALSE(Enabled(*form, "AniStopAction"));

    // Stepping a paused GIF shows the frame and stays paused.
    ActionOf(*form, "AniNextAction")->trigger();
    EXPECT_EQ(gif->CurrentFrame(), 2);
    EXPECT_FALSE(gif->Playing());
    EXPECT_EQ(Label(*form), QStringLiteral("Frame:2/5"));
    EXPECT_TRUE(Enabled(*form, "AniPreviousAction"));
    Slider(*form)->setValue(4); // a drag
    EXPECT_EQ(gif->CurrentFrame(), 4);
    EXPECT_FALSE(gif->Playing());
    EXPECT_FALSE(form->PageAnimation().PauseRequest());
    QTest::qWait(300);
    EXPECT_EQ(gif->CurrentFrame(), 4);
    ActionOf(*form, "AniLastAction")->trigger();
    EXPECT_EQ(gif->CurrentFrame(), 5);
    EXPECT_FALSE(Enabled(*form, "AniNextAction"));
    ActionOf(*form, "AniPreviousAction")->trigger();
    EXPECT_EQ(gif->CurrentFrame(), 4);
    ActionOf(*form, "AniFirstAction")->trigger();
    EXPECT_EQ(gif->CurrentFrame(), 1);
    EXPECT_FALSE(Enabled(*form, "AniPreviousAction"));

    // Play continues from the frame shown; a slider moved while playing jumps at the next frame.
    ActionOf(*form, "AniPlayAction")->trigger();
    EXPECT_TRUE(gif->Playing());
    EXPECT_FALSE(Enabled(*form, "AniPlayAction"));
    Slider(*form)->setValue(4);
    EXPECT_TRUE(form->PageAnimation().JumpRequest());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->PageAnimation().JumpRequest(); }, 3000));
    EXPECT_EQ(gif->CurrentFrame(), 4);
    EXPECT_TRUE(gif->Playing());
    ActionOf(*form, "AniPauseAction")->trigger();
    EXPECT_FALSE(gif->Playing());
    EXPECT_EQ(gif->CurrentFrame(), 4); // pause keeps the frame
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(PageAnimationTest, FramesAreDrawnAtTheZoomOverTheBackground) {
    auto form = NewForm();
    form->OpenPicture(DataPath(QStringLiteral("gif/anim.gif")));
    auto* gif = dynamic_cast<TGIFImage*>(form->Picture().Graphic());
    ASSERT_NE(gif, nullptr);
    ActionOf(*form, "AniStopAction")->trigger();
    form->SetZoom(4.0);
    ActionOf(*form, "AniNextAction")->trigger();
    ActionOf(*form, "AniNextAction")->trigger(); // frame 3: frame 2's place was cleared (transparent)
    ASSERT_EQ(gif->CurrentFrame(), 3);
    const QImage& view = form->ViewBitmap();
    ASSERT_EQ(view.size(), QSize(160, 120));
    const QImage frame = gif->FrameImage(3);
    const QRgb background = ToQColor(form->ViewBrushColor()).rgb();
    int checked = 0, transparent = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb p = frame.pixel(x, y);
            const QRgb expected = qAlpha(p) == 255 ? p : background;
            transparent += qAlpha(p) == 0;
            // Enlarged sharp: every screen pixel of the source pixel has its colour.
            ASSERT_EQ(view.pixel(4 * x + 1, 4 * y + 2) | 0xFF000000, expected | 0xFF000000) << x << "," << y;
            ++checked;
        }
    EXPECT_EQ(checked, 40 * 30);
    EXPECT_GT(transparent, 0); // the screen's uncovered part shows the window's background

    // The moving animated cursor keeps the zoom too.
    form->OpenPicture(DataPath(QStringLiteral("ani/spin.ani")));
    ASSERT_EQ(form->PictureKind(), TPictureKind::pkAnimatedCursor);
    auto* ani = dynamic_cast<TAniGraphic*>(form->Picture().Graphic());
    form->SetZoom(3.0);
    const QSize zoomed(3 * ani->Width(), 3 * ani->Height());
    EXPECT_EQ(form->ViewBitmap().size(), zoomed);
    const int renders = form->RenderCount();
    const int first = ani->CurrentFrame();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ani->CurrentFrame() != first; }, 3000));
    EXPECT_GT(form->RenderCount(), renders);
    EXPECT_EQ(form->ViewBitmap().size(), zoomed);
    EXPECT_EQ(form->DisplayWidth(), zoomed.width());
    // With best fit the frames fill the fitted size.
    ActionOf(*form, "ViewFitVisibleAction")->trigger();
    const QSize fitted(form->DisplayWidth(), form->DisplayHeight());
    const int now = ani->CurrentFrame();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ani->CurrentFrame() != now; }, 3000));
    EXPECT_EQ(form->ViewBitmap().size(), fitted);
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(PageAnimationTest, TheFramePanelFollowsEachNewAnimation) {
    EXPECT_EQ(TPageAnimationController::TickInterval(45), 2);
    EXPECT_EQ(TPageAnimationController::TickInterval(10), 1);
    EXPECT_EQ(TPageAnimationController::TickInterval(1), 1);
    EXPECT_EQ(TPageAnimationController::FrameLabelText(3, 12), QStringLiteral("Frame:3/12"));

    auto form = NewForm();
    form->OpenPicture(DataPath(QStringLiteral("gif/anim.gif")));
    ActionOf(*form, "AniLastAction")->trigger();
    EXPECT_EQ(Label(*form), QStringLiteral("Frame:5/5"));
    form->OpenPicture(DataPath(QStringLiteral("gif/many.gif")));
    EXPECT_EQ(Slider(*form)->maximum(), 21);
    EXPECT_EQ(Slider(*form)->value(), 1);
    EXPECT_EQ(Label(*form), QStringLiteral("Frame:1/21"));
    EXPECT_TRUE(Enabled(*form, "AniPauseAction"));
    // A still GIF has no frame panel and may be turned.
    form->OpenPicture(DataPath(QStringLiteral("gif/still.gif")));
    EXPECT_EQ(form->PictureKind(), TPictureKind::pkStill);
    EXPECT_FALSE(form->Menus().FrameSliderAction->isVisible());
    EXPECT_FALSE(form->Menus().AnimateMenu->menuAction()->isVisible());
    EXPECT_FALSE(ActionOf(*form, "AniPlayAction")->isVisible());
    EXPECT_TRUE(Enabled(*form, "ViewRotate90Action"));
    // A video: slider over its frames, and a slider move shows the frame.
    form->OpenPicture(DataPath(QStringLiteral("avi/raw24.avi")));
    ASSERT_EQ(form->PictureKind(), TPictureKind::pkVideo);
    TGraphic* video = form->Picture().Graphic();
    EXPECT_EQ(Slider(*form)->maximum(), video->FrameCount());
    ActionOf(*form, "AniStopAction")->trigger();
    EXPECT_FALSE(video->Playing());
    Slider(*form)->setValue(3);
    EXPECT_EQ(video->CurrentFrame(), 3);
    EXPECT_EQ(Label(*form), QStringLiteral("Frame:3/%1").arg(video->FrameCount()));
    EXPECT_TRUE(FMessages.empty());
}

// An animated WebP is a moving picture in the window as an animated GIF is: it plays by itself, the frame
// panel and the player commands drive it, and the view shows each frame.
TEST_F(PageAnimationTest, AnAnimatedWebPPlaysLikeAGif) {
    const QList<QRgb> colours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
    const QString path = MakeAnimatedWebP(FDir, QStringLiteral("moving.webp"), colours, 120, 0);
    auto form = NewForm();
    form->OpenPicture(path);
    ASSERT_TRUE(FMessages.empty());
    ASSERT_EQ(form->PictureKind(), TPictureKind::pkAnimatedGif);
    auto* webp = dynamic_cast<TWebPGraphic*>(form->Picture().Graphic());
    ASSERT_NE(webp, nullptr);
    EXPECT_TRUE(form->Menus().FrameSliderAction->isVisible());
    EXPECT_TRUE(form->Menus().AnimateMenu->menuAction()->isVisible());
    EXPECT_TRUE(ActionOf(*form, "FileMultiSaveAsAction")->isVisible());
    EXPECT_EQ(ActionOf(*form, "FileSaveAsAction")->text(), QStringLiteral("&Save current frame as..."));
    EXPECT_EQ(Slider(*form)->maximum(), 4);
    EXPECT_EQ(Label(*form), QStringLiteral("Frame:1/4"));
    EXPECT_TRUE(webp->Playing());
    EXPECT_FALSE(Enabled(*form, "AniPlayAction"));
    EXPECT_FALSE(Enabled(*form, "ViewRotate90Action")); // moving pictures are not turned

    // It moves by itself; the slider, the label and the view follow.
    ASSERT_TRUE(QTest::qWaitFor([&] { return webp->CurrentFrame() > 1; }, 3000));
    EXPECT_EQ(Slider(*form)->value(), webp->CurrentFrame());
    EXPECT_EQ(ViewCentre(*form), colours[webp->CurrentFrame() - 1]);

    ActionOf(*form, "AniStopAction")->trigger();
    EXPECT_FALSE(webp->Playing());
    EXPECT_EQ(webp->CurrentFrame(), 1);
    EXPECT_EQ(ViewCentre(*form), 0xFF0000u);
    EXPECT_TRUE(Enabled(*form, "AniPlayAction"));
    ActionOf(*form, "AniNextAction")->trigger();
    EXPECT_EQ(webp->CurrentFrame(), 2);
    EXPECT_FALSE(webp->Playing());
    EXPECT_EQ(Label(*form), QStringLiteral("Frame:2/4"));
    EXPECT_EQ(ViewCentre(*form), 0x00FF00u);
    Slider(*form)->setValue(4); // a drag while paused shows the frame and stays paused
    EXPECT_EQ(webp->CurrentFrame(), 4);
    EXPECT_FALSE(webp->Playing());
    EXPECT_EQ(ViewCentre(*form), 0xFFFF00u);
    ActionOf(*form, "AniFirstAction")->trigger();
    EXPECT_EQ(webp->CurrentFrame(), 1);

    // Frames keep the zoom.
    form->SetZoom(2.0);
    ActionOf(*form, "AniLastAction")->trigger();
    EXPECT_EQ(form->ViewBitmap().size(), QSize(80, 60));
    EXPECT_EQ(ViewCentre(*form), 0xFFFF00u);

    // Play continues; a slider moved while playing jumps at the next step.
    ActionOf(*form, "AniPlayAction")->trigger();
    EXPECT_TRUE(webp->Playing());
    Slider(*form)->setValue(3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->PageAnimation().JumpRequest(); }, 3000));
    EXPECT_EQ(webp->CurrentFrame(), 3);
    ActionOf(*form, "AniPauseAction")->trigger();
    EXPECT_FALSE(webp->Playing());
    EXPECT_EQ(webp->CurrentFrame(), 3);
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(PageAnimationTest, AWebPThatPlaysOnceStopsOnItsLastFrame) {
    const QString path = MakeAnimatedWebP(FDir, QStringLiteral("once.webp"), {0x112233, 0x445566, 0x778899}, 30, 1);
    auto form = NewForm();
    form->OpenPicture(path);
    ASSERT_EQ(form->PictureKind(), TPictureKind::pkAnimatedGif);
    TGraphic* webp = form->Picture().Graphic();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !webp->Playing(); }, 3000));
    EXPECT_EQ(webp->CurrentFrame(), 3);
    EXPECT_EQ(Slider(*form)->value(), 3);
    // The player's enabling says it stopped.
    EXPECT_TRUE(Enabled(*form, "AniPlayAction"));
    EXPECT_FALSE(Enabled(*form, "AniPauseAction"));
    EXPECT_EQ(ViewCentre(*form), 0x778899u);

    // A WebP of one frame is a still picture.
    const QString still = MakeAnimatedWebP(FDir, QStringLiteral("one.webp"), {0x808080}, 100, 0);
    form->OpenPicture(still);
    EXPECT_EQ(form->PictureKind(), TPictureKind::pkStill);
    EXPECT_FALSE(form->Menus().FrameSliderAction->isVisible());
    EXPECT_TRUE(Enabled(*form, "ViewRotate90Action"));
    EXPECT_TRUE(FMessages.empty());
}
