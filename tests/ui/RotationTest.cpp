// Rotation in the window: the view turns and stays turned through a change of settings, the next zoom,
// fit or load shows the picture upright, and a JPEG file turns on disk without loss.
#include "ViewerFixture.h"

#include "app/FileList.h"
#include "app/Rotation.h"
#include "app/SlideShow.h"
#include "tools/JpegTransform.h"
#include "tools/bmpRot.h"

#include <QFile>
#include <QTest>

#include <deque>

namespace {

const QRgb kRed = qRgb(220, 0, 0), kBlue = qRgb(0, 0, 220), kMark = qRgb(0, 200, 0);

// 300 x 200: left half red, right half blue, with a green 10 x 10 mark in the top-left corner.
QImage Halves() {
    QImage image(300, 200, QImage::Format_RGB32);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            image.setPixel(x, y, x < 10 && y < 10 ? kMark : x < 150 ? kRed : kBlue);
    return image;
}

class RotationTest : public ViewerTest {
protected:
    std::unique_ptr<TMainForm> OpenHalves() {
        auto form = NewForm(1000, 600);
        form->OpenPicture(WritePicture(QStringLiteral("halves.ppm"), Halves()));
        EXPECT_EQ(form->DisplayWidth(), 300);
        return form;
    }
};

} // namespace

TEST_F(RotationTest, F10TurnsTheViewAQuarterClockwiseAndTheOthersFollow) {
    auto form = OpenHalves();
    QTest::keyClick(form->View(), Qt::Key_F10);
    EXPECT_EQ(form->ViewTurns(), 1);
    EXPECT_EQ(form->DisplayWidth(), 200);
    EXPECT_EQ(form->DisplayHeight(), 300);
    EXPECT_EQ(form->OffsetX(), 400);
    EXPECT_EQ(form->OffsetY(), 150);
    EXPECT_TRUE(SamePixels(form->ViewBitmap(), RotateQuarter(Halves(), true)));
    // The mark of the top-left corner is now at the top right.
    EXPECT_EQ(form->ViewBitmap().pixel(195, 5), kMark);
    EXPECT_EQ(form->Zoom(), 1.0);

    ActionOf(*form, "ViewRotate180Action")->trigger();
    EXPECT_EQ(form->ViewTurns(), 3);
    EXPECT_TRUE(SamePixels(form->ViewBitmap(), RotateQuarter(Halves(), false)));
    ActionOf(*form, "ViewRotate270Action")->trigger();
    EXPECT_EQ(form->ViewTurns(), 2);
    EXPECT_EQ(form->DisplayWidth(), 300);
    EXPECT_TRUE(SamePixels(form->ViewBitmap(), RotateHalf(Halves())));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(RotationTest, TheNextZoomFitOrLoadShowsThePictureUpright) {
    auto form = OpenHalves();
    QTest::keyClick(form->View(), Qt::Key_F10);
    ActionOf(*form, "ViewZoomOutAction")->trigger(); // "&More"
    EXPECT_EQ(form->ViewTurns(), 0);
    EXPECT_EQ(form->DisplayWidth(), 420);
    EXPECT_EQ(form->DisplayHeight(), 280);
    EXPECT_EQ(form->ViewBitmap().pixel(5, 5), kMark);
    EXPECT_EQ(form->ViewBitmap().pixel(400, 270), kBlue);

    ActionOf(*form, "ViewRotate270Action")->trigger();
    EXPECT_EQ(form->DisplayWidth(), 280);
    ActionOf(*form, "ViewFitVisibleAction")->trigger();
    EXPECT_EQ(form->ViewTurns(), 0);
    EXPECT_EQ(form->DisplayWidth(), 900); // 600 / 200 = 3
    EXPECT_EQ(form->DisplayHeight(), 600);

    ActionOf(*form, "ViewRotate90Action")->trigger();
    form->OpenPicture(WriteSolid(QStringLiteral("other.ppm"), 40, 30));
    EXPECT_EQ(form->ViewTurns(), 0);
    EXPECT_EQ(form->DisplayWidth(), 40);
    EXPECT_EQ(form->DisplayHeight(), 30);
    ActionOf(*form, "ViewRotate90Action")->trigger();
    form->ClosePicture();
    EXPECT_EQ(form->ViewTurns(), 0);
    EXPECT_FALSE(ActionOf(*form, "ViewRotate90Action")->isEnabled());
}

TEST_F(RotationTest, ANewBackgroundKeepsTheTurnInsteadOfStretchingThePicture) {
    auto form = OpenHalves();
    ActionOf(*form, "ViewRotate90Action")->trigger();
    const int renders = form->RenderCount();
    form->Settings().BackgroundColor = 0x00FFFF; // the options dialog's OK runs this
    form->ApplySettings();
    EXPECT_EQ(form->RenderCount(), renders + 1);
    EXPECT_EQ(form->ViewTurns(), 1);
    EXPECT_EQ(form->DisplayWidth(), 200);
    EXPECT_EQ(form->DisplayHeight(), 300);
    // Rendered upright at 300 x 200 and turned again: the top half is the red left half of the picture.
    EXPECT_TRUE(SamePixels(form->ViewBitmap(), RotateQuarter(Halves(), true)));
    EXPECT_EQ(form->ViewBitmap().pixel(150, 50), kRed);

    // A half turn keeps its size and stays a half turn.
    ActionOf(*form, "ViewRotate90Action")->trigger();
    form->ApplySettings();
    EXPECT_TRUE(SamePixels(form->ViewBitmap(), RotateQuarter(RotateQuarter(Halves(), true), true)));
}

TEST_F(RotationTest, AutoFitFitsTheUprightPictureAgainOnEveryResize) {
    auto form = OpenHalves();
    ActionOf(*form, "ViewAutoFitAction")->trigger();
    EXPECT_EQ(form->DisplayWidth(), 900);
    ActionOf(*form, "ViewRotate90Action")->trigger();
    EXPECT_EQ(form->DisplayWidth(), 600);
    EXPECT_EQ(form->DisplayHeight(), 900);
    EXPECT_TRUE(form->PanFlag());
    SetViewSize(*form, 900, 600);
    EXPECT_EQ(form->ViewTurns(), 0);
    EXPECT_EQ(form->DisplayWidth(), 900);
}

TEST_F(RotationTest, AJpegFileTurnsOnDiskWithoutLoss) {
    const QString path = FDir.filePath(QStringLiteral("photo.jpg"));
    const QByteArray original = ReadFile(DataPath(QStringLiteral("jpeg/colour.jpg")));
    WriteFile(path, original);
    const QString ppm = WriteSolid(QStringLiteral("plain.ppm"), 10, 10);
    auto form = NewForm();
    form->OpenPicture(ppm);
    EXPECT_FALSE(ActionOf(*form, "ViewRotateFileRightAction")->isEnabled());
    form->OpenPicture(path);
    ASSERT_TRUE(ActionOf(*form, "ViewRotateFileRightAction")->isEnabled());
    ASSERT_TRUE(ActionOf(*form, "ViewRotateFileLeftAction")->isEnabled());

    ActionOf(*form, "ViewRotateFileRightAction")->trigger();
    EXPECT_EQ(ReadFile(path), RotateJpeg(original, 1, false));
    EXPECT_EQ(form->CurrentFile(), path); // shown again as it now is
    EXPECT_EQ(form->DisplayWidth(), 48);
    EXPECT_EQ(form->DisplayHeight(), 64);
    ActionOf(*form, "ViewRotateFileLeftAction")->trigger();
    EXPECT_EQ(ReadFile(path), RotateJpeg(RotateJpeg(original, 1, false), 3, false));
    EXPECT_EQ(form->DisplayWidth(), 64);
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(RotationTest, TrimmingAJpegIsTheUsersChoice) {
    const QString path = FDir.filePath(QStringLiteral("exif6.jpg"));
    const QByteArray original = ReadFile(DataPath(QStringLiteral("jpeg/exif6.jpg")));
    WriteFile(path, original);
    auto form = NewForm();
    form->OpenPicture(path);
    EXPECT_EQ(form->DisplayWidth(), 24); // shown upright: stored 40 x 24 with orientation 6
    FDialogs.Answers.push_back(QMessageBox::No);
    ActionOf(*form, "ViewRotateFileRightAction")->trigger();
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].Caption, QStringLiteral("Rotate File"));
    EXPECT_EQ(FMessages[0].Text, QStringLiteral("The picture cannot be turned without loss: it is 40 x 24 pixels, which is "
                                                "not a whole number of its 16 x 16 blocks. Trimming the partial blocks at "
                                                "the edges would make it 32 x 16.\n\nTrim the edges and turn the picture?"));
    EXPECT_EQ(ReadFile(path), original);
    FDialogs.Answers.push_back(QMessageBox::Yes);
    ActionOf(*form, "ViewRotateFileRightAction")->trigger();
    EXPECT_EQ(ReadFile(path), RotateJpeg(original, 1, true));
    EXPECT_EQ(JpegExifOrientation(ReadFile(path)), 1);
    EXPECT_EQ(form->DisplayWidth(), 32);
    EXPECT_EQ(form->DisplayHeight(), 16);
    // Counter-clockwise the stored picture is upright: no question, nothing trimmed.
    WriteFile(path, original);
    form->OpenPicture(path);
    ActionOf(*form, "ViewRotateFileLeftAction")->trigger();
    EXPECT_EQ(FMessages.size(), 2u);
    EXPECT_EQ(form->DisplayWidth(), 40);
    EXPECT_EQ(form->DisplayHeight(), 24);
}

TEST_F(RotationTest, ATurnDuringASlideTransitionShowsTheWholeTurnedPicture) {
    WriteSolid(QStringLiteral("a.ppm"), 40, 30, qRgb(255, 0, 0));
    const QString b = WriteSolid(QStringLiteral("b.ppm"), 40, 30, qRgb(0, 255, 0));
    auto form = NewForm(200, 100, {FDir.filePath(QStringLiteral("a.ppm"))});
    std::deque<std::function<void()>> tasks;
    form->SlideShow().SetScheduler([&](int, std::function<void()> task) { tasks.push_back(std::move(task)); });
    const auto tick = [&] {
        if (tasks.empty()) return false;
        std::function<void()> task = std::move(tasks.front());
        tasks.pop_front();
        task();
        return true;
    };
    ActionOf(*form, "ToolSlideAction")->trigger();
    for (int i = 0; i < 100 && !form->SlideShow().InTransition() && tick(); ++i) {
    }
    ASSERT_TRUE(form->SlideShow().InTransition());
    tick(); // part of the new picture is drawn
    ASSERT_EQ(form->CurrentFile(), b);
    ActionOf(*form, "ViewRotate90Action")->trigger();
    for (int i = 0; i < 100 && form->SlideShow().InTransition() && tick(); ++i) {
    }
    EXPECT_FALSE(form->SlideShow().InTransition());
    ASSERT_EQ(form->ViewBitmap().size(), QSize(30, 40));
    QImage green(30, 40, QImage::Format_RGB32);
    green.fill(qRgb(0, 255, 0));
    EXPECT_TRUE(SamePixels(form->ViewBitmap(), green));
    ActionOf(*form, "ToolSlideAction")->trigger(); // stop
}
