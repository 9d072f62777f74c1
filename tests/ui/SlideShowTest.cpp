// The slide show and full screen in the window, offscreen, with the show's clock in the test's hands.
#include "ViewerFixture.h"

#include "app/FileList.h"
#include "app/FileListPanel.h"
#include "app/FullScreen.h"
#include "app/SlideShow.h"

#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include <deque>

namespace {

class SlideShowTest : public ViewerTest {
protected:
    struct TTask {
        int Ms;
        std::function<void()> Run;
    };
    std::deque<TTask> FTasks;

    // Three pictures of different colours and sizes; a.ppm is shown.
    std::unique_ptr<TMainForm> Start(bool repeat, bool effects, int slideType = 0) {
        FA = WriteSolid(QStringLiteral("a.ppm"), 40, 30, qRgb(255, 0, 0));
        FB = WriteSolid(QStringLiteral("b.ppm"), 40, 30, qRgb(0, 255, 0));
        FC = WriteSolid(QStringLiteral("c.ppm"), 40, 30, qRgb(0, 0, 255));
        auto form = NewForm(200, 100, {FA});
        form->Settings().Repeat = repeat;
        form->Settings().SlideType = slideType;
        form->Settings().Interval = 2;
        if (!effects) form->Settings().Effects = {0, 0, 0, 0, 0};
        form->SlideShow().SetScheduler([this](int ms, std::function<void()> task) { FTasks.push_back({ms, std::move(task)}); });
        return form;
    }
    // Runs the next task; false when none is pending.
    bool Tick() {
        if (FTasks.empty()) return false;
        TTask task = std::move(FTasks.front());
        FTasks.pop_front();
        task.Run();
        return true;
    }
    // Runs tasks until the next wait of the given length has been scheduled (the slide is complete).
    void RunSlide(TMainForm& form, int interval = 2000) {
        for (int i = 0; i < 1000 && Tick(); ++i)
            if (!FTasks.empty() && FTasks.back().Ms == interval && !form.SlideShow().InTransition()) return;
    }
    QString FA, FB, FC;
};

} // namespace

TEST_F(SlideShowTest, ForwardWithoutRepeatShowsEachFileOnceWithTransitions) {
    auto form = Start(false, true);
    QAction* slide = ActionOf(*form, "ToolSlideAction");
    ASSERT_TRUE(slide->isEnabled());
    slide->trigger();
    EXPECT_TRUE(slide->isChecked());
    EXPECT_EQ(form->SlideShow().Candidates().size(), size_t(kEffectCount));
    QStringList shown;
    for (int i = 0; i < 3; ++i) {
        RunSlide(*form);
        shown << QFileInfo(form->CurrentFile()).fileName();
        EXPECT_GE(form->SlideShow().EffectIndex(), 0);
        // The transition ends on the whole new picture.
        EXPECT_EQ(form->ViewBitmap().pixel(20, 15), form->CurrentFile() == FB   ? qRgb(0, 255, 0)
                                                    : form->CurrentFile() == FC ? qRgb(0, 0, 255)
                                                                                : qRgb(255, 0, 0));
    }
    EXPECT_EQ(shown, QStringList({QStringLiteral("b.ppm"), QStringLiteral("c.ppm"), QStringLiteral("a.ppm")}));
    EXPECT_FALSE(slide->isChecked()); // one pass without "Repeat"
    EXPECT_EQ(form->SlideShow().Count(), 3);
    while (Tick()) {}
    EXPECT_EQ(form->CurrentFile(), FA);
}

TEST_F(SlideShowTest, WithoutEffectsOnePassStillEndsAndReverseGoesBackwards) {
    auto form = Start(false, false, 1);
    ActionOf(*form, "ToolSlideAction")->trigger();
    EXPECT_TRUE(form->SlideShow().Candidates().empty());
    QStringList shown;
    for (int i = 0; i < 10 && Tick();) {
        if (FTasks.empty() || FTasks.back().Ms != 2000) continue;
        shown << QFileInfo(form->CurrentFile()).fileName();
        ++i;
    }
    EXPECT_EQ(shown, QStringList({QStringLiteral("c.ppm"), QStringLiteral("b.ppm")}));
    while (Tick()) {}
    EXPECT_EQ(form->CurrentFile(), FA); // the third slide, and the show has ended
    EXPECT_FALSE(ActionOf(*form, "ToolSlideAction")->isChecked());
    EXPECT_EQ(form->SlideShow().EffectIndex(), -1);
}

TEST_F(SlideShowTest, StoppingDuringATransitionShowsTheWholeNewPicture) {
    auto form = Start(true, true);
    QAction* slide = ActionOf(*form, "ToolSlideAction");
    slide->trigger();
    Tick(); // the first slide opens b and draws the first step
    ASSERT_TRUE(form->SlideShow().InTransition());
    Tick();
    slide->trigger(); // the button again: the show ends
    EXPECT_FALSE(slide->isChecked());
    EXPECT_FALSE(form->SlideShow().InTransition());
    EXPECT_EQ(form->CurrentFile(), FB);
    const QImage view = form->ViewBitmap();
    for (int y = 0; y < view.height(); ++y)
        for (int x = 0; x < view.width(); ++x) ASSERT_EQ(view.pixel(x, y), qRgb(0, 255, 0)) << x << "," << y;
    while (Tick()) {} // whatever was pending does nothing
    EXPECT_EQ(form->CurrentFile(), FB);
}

TEST_F(SlideShowTest, ZoomingDuringATransitionEndsItWithTheZoomedPicture) {
    auto form = Start(true, true);
    ActionOf(*form, "ToolSlideAction")->trigger();
    Tick();
    ASSERT_TRUE(form->SlideShow().InTransition());
    ActionOf(*form, "ViewZoomOutAction")->trigger(); // "&More"
    Tick();
    EXPECT_FALSE(form->SlideShow().InTransition());
    EXPECT_EQ(form->ViewBitmap().size(), QSize(56, 42));
    EXPECT_EQ(form->ViewBitmap().pixel(28, 21), qRgb(0, 255, 0));
    ActionOf(*form, "ToolSlideAction")->trigger();
}

TEST_F(SlideShowTest, AFailedSlideComesWithoutATransitionAndTheShowGoesOn) {
    auto form = Start(true, true);
    WriteFile(FDir.filePath(QStringLiteral("ab.ppm")), QByteArray("P6\n0 0\n255\n")); // sorts after a.ppm
    form->FileList().Update();
    form->FileList().SelectPath(FA);
    ActionOf(*form, "ToolSlideAction")->trigger();
    RunSlide(*form);
    EXPECT_EQ(QFileInfo(form->CurrentFile()).fileName(), QStringLiteral("ab.ppm"));
    EXPECT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(form->SlideShow().EffectIndex(), -1);
    RunSlide(*form);
    EXPECT_EQ(form->CurrentFile(), FB);
    EXPECT_TRUE(ActionOf(*form, "ToolSlideAction")->isChecked());
    ActionOf(*form, "ToolSlideAction")->trigger();
}

TEST_F(SlideShowTest, ARunningShowCanBeStoppedWhenTheListShrinksUnderIt) {
    auto form = Start(true, false, 2);
    QAction* slide = ActionOf(*form, "ToolSlideAction");
    slide->trigger();
    RunSlide(*form);
    QFile::remove(FB);
    QFile::remove(FC);
    form->FileList().Update();
    EXPECT_EQ(form->FileList().Count(), 1);
    EXPECT_TRUE(slide->isEnabled()); // still stoppable
    RunSlide(*form); // random over one entry
    slide->trigger();
    EXPECT_FALSE(slide->isChecked());
    EXPECT_FALSE(slide->isEnabled()); // one file: nothing to show
}

TEST_F(SlideShowTest, FullScreenHidesTheBarsAndThePointerAndComesBack) {
    auto form = Start(true, true);
    form->Settings().HideMouse = true;
    QAction* full = ActionOf(*form, "ViewFullScreenAction");
    ASSERT_TRUE(full->isEnabled());
    full->trigger();
    EXPECT_TRUE(form->FullScreen().Active());
    EXPECT_FALSE(form->menuBar()->isVisible());
    EXPECT_FALSE(form->statusBar()->isVisible());
    EXPECT_FALSE(form->ToolBar()->isVisible());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BlankCursor);
    // A failed open takes the picture away; full screen can still be left.
    WriteFile(FDir.filePath(QStringLiteral("bad.ppm")), QByteArray("P6\n0 0\n255\n"));
    form->OpenPicture(FDir.filePath(QStringLiteral("bad.ppm")));
    EXPECT_TRUE(full->isEnabled());
    full->trigger();
    EXPECT_FALSE(form->FullScreen().Active());
    EXPECT_TRUE(form->menuBar()->isVisible());
    EXPECT_TRUE(form->statusBar()->isVisible());
    EXPECT_TRUE(form->ToolBar()->isVisible());
    EXPECT_FALSE(form->FileListPanel()->isVisible()); // as its command says
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(full->isEnabled());
}
