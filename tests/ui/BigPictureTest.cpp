// Big pictures in the window: shown fitted from a reduced decode first, the whole picture swapped in
// from its thread at the same zoom and place, and the status bar and zoom as for any picture.
#include "ViewerFixture.h"

#include "codec/Jpeg.h"

#include <QElapsedTimer>
#include <QScreen>
#include <QTest>

namespace {

// A 4000 x 2400 JPEG with a red left half and a blue right half, made by ImageMagick.
QString MakeBigJpeg(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("big.jpg"));
    EXPECT_TRUE(RunTool(QStringLiteral("convert"),
                        {"-size", "2000x2400", "xc:#e01010", "-size", "2000x2400", "xc:#1010e0", "+append",
                         "-quality", "90", path}));
    return path;
}

bool WaitForSwap(TMainForm& form) {
    QElapsedTimer clock;
    clock.start();
    while (form.FullPicturePending() && clock.elapsed() < 20000) QTest::qWait(20);
    return !form.FullPicturePending();
}

} // namespace

class BigPictureTest : public ViewerTest {};

TEST_F(BigPictureTest, AFittedBigPictureShowsReducedFirstThenTheWholeOneAtTheSamePlace) {
    const QString path = MakeBigJpeg(FDir);
    auto form = NewForm(1000, 600);
    ActionOf(*form, "ViewAutoFitAction")->setChecked(true);
    form->OpenPicture(path);
    ASSERT_TRUE(FMessages.empty());
    const TGraphic* first = form->Picture().Graphic();
    ASSERT_NE(first, nullptr);
    // 4000 x 2400 fitted into 1000 x 600 is 1000 x 600: 1/4 of the size covers it, 1/8 does not.
    EXPECT_TRUE(first->Reduced());
    EXPECT_EQ(QSize(first->Width(), first->Height()), QSize(1000, 600));
    EXPECT_EQ(form->Picture().Width(), 4000);
    EXPECT_EQ(Panel(*form, 6), QStringLiteral("1000x600"));
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("25%"));
    const int x = form->OffsetX(), y = form->OffsetY();
    const QImage before = form->ViewBitmap();

    ASSERT_TRUE(WaitForSwap(*form));
    const TGraphic* whole = form->Picture().Graphic();
    ASSERT_NE(whole, first);
    EXPECT_FALSE(whole->Reduced());
    EXPECT_EQ(QSize(whole->Width(), whole->Height()), QSize(4000, 2400));
    // No jump: the same zoom, place, size and (nearly) the same pixels.
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("25%"));
    EXPECT_EQ(form->OffsetX(), x);
    EXPECT_EQ(form->OffsetY(), y);
    EXPECT_TRUE(SamePixels(form->ViewBitmap(), before, 16));
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(BigPictureTest, CommandsAndZoomingInUseTheWholePicture) {
    const QString path = MakeBigJpeg(FDir);
    auto form = NewForm(1000, 600);
    ActionOf(*form, "ViewAutoFitAction")->setChecked(true);
    form->OpenPicture(path);
    ASSERT_TRUE(form->Picture().Graphic()->Reduced());
    // 100% from the menu waits for the whole picture: the view is made from its own pixels.
    ActionOf(*form, "ViewOriginSizeAction")->trigger();
    EXPECT_FALSE(form->FullPicturePending());
    EXPECT_FALSE(form->Picture().Graphic()->Reduced());
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("100%"));
    // Only the part around the view is rendered, from the whole picture's pixels: the edge between the
    // halves is sharp.
    EXPECT_TRUE(form->ViewBitmapPartial());
    form->ScrollBy(QPoint(-1500, 0));
    form->View()->repaint();
    const QImage& part = form->ViewBitmap();
    EXPECT_LE(part.width(), 2000);
    const int edge = 2000 - form->ViewBitmapOrigin().x(), y = 300 - form->ViewBitmapOrigin().y();
    ASSERT_GT(edge, 10);
    ASSERT_LT(edge, part.width());
    EXPECT_EQ(part.pixel(edge - 1, y) & 0xFFFFFF, part.pixel(edge - 10, y) & 0xFFFFFF);
    EXPECT_NE(part.pixel(edge - 1, y) & 0xFFFFFF, part.pixel(edge, y) & 0xFFFFFF);
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(BigPictureTest, BrowsingOnDropsTheWholePictureOfThePreviousOne) {
    const QString path = MakeBigJpeg(FDir);
    auto form = NewForm(1000, 600);
    ActionOf(*form, "ViewAutoFitAction")->setChecked(true);
    form->OpenPicture(path);
    ASSERT_TRUE(form->FullPicturePending());
    const QString small = WriteSolid(QStringLiteral("small.ppm"), 40, 30);
    form->OpenPicture(small);
    EXPECT_FALSE(form->FullPicturePending());
    QTest::qWait(1500); // a decode that was running ends without touching the new picture
    EXPECT_EQ(form->Picture().Width(), 40);
    EXPECT_FALSE(form->Picture().Graphic()->Reduced());
    // Without auto fit a big picture is shown at its own size, decoded in full at once.
    ActionOf(*form, "ViewAutoFitAction")->setChecked(false);
    form->OpenPicture(path);
    EXPECT_FALSE(form->FullPicturePending());
    EXPECT_FALSE(form->Picture().Graphic()->Reduced());
    EXPECT_EQ(Panel(*form, 6), QStringLiteral("4000x2400"));
}

// A window not yet shown has no view size of its own: the first picture is decoded for the screen, so
// it is never shown enlarged once the window has its size.
TEST_F(BigPictureTest, BeforeTheWindowIsShownTheScreenSizesTheFirstPicture) {
    const QString path = MakeBigJpeg(FDir);
    TMainForm form{QStringList()};
    form.findChild<QAction*>(QStringLiteral("ViewAutoFitAction"))->setChecked(true);
    ASSERT_FALSE(form.isVisible());
    const QSize screen = form.screen()->availableGeometry().size();
    form.OpenPicture(path);
    const TGraphic* first = form.Picture().Graphic();
    ASSERT_NE(first, nullptr);
    const QSize fitted = QSize(4000, 2400).scaled(screen, Qt::KeepAspectRatio);
    EXPECT_GE(first->Width(), std::min(fitted.width(), 4000)) << "screen " << screen.width() << "x" << screen.height();
    EXPECT_GE(first->Height(), std::min(fitted.height(), 2400));
    ASSERT_TRUE(WaitForSwap(form));
}
