#include "ViewerFixture.h"

#include <QWheelEvent>

#include "app/ViewGeometry.h"

#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtTest/QTest>

namespace {

void Mouse(QWidget* view, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(pos), view->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(view, &e);
}

void Drag(QWidget* view, QPoint from, QPoint to) {
    Mouse(view, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    Mouse(view, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    Mouse(view, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

} // namespace

TEST(ViewGeometry, ZoomStepsTruncateThePercentageInExtendedPrecision) {
    const double more = ZoomLarger(1.0);
    EXPECT_EQ(more, 1.4);              // stored as the double nearest 1.4 (1.3999999999999999...)
    EXPECT_EQ(int(more * 100.0), 140); // a plain double product rounds up
    EXPECT_EQ(ZoomPercent(more), 139); // the extended product does not
    EXPECT_EQ(ZoomPercent(ZoomLarger(more)), 195);
    EXPECT_EQ(ZoomPercent(ZoomSmaller(1.0)), 71);
    // One step up and one down does not come back to 1.0 exactly: 0.9999999999999999 shows 99.
    EXPECT_EQ(ZoomPercent(ZoomSmaller(ZoomLarger(1.0))), 99);
    EXPECT_EQ(ZoomPercent(2.0), 200);
    EXPECT_EQ(ZoomPercent(0.5), 50);
}

TEST(ViewGeometry, FitComparesProductsAndDividesAsFloatingPoint) {
    EXPECT_EQ(FitZoom(400, 300, 1000, 600), 2.0);
    EXPECT_EQ(FitZoom(2000, 100, 1000, 600), 0.5);
    EXPECT_DOUBLE_EQ(*FitZoom(3000, 2000, 1000, 700), 1.0 / 3.0);
    // Products beyond 32 bits still compare correctly: 60000 x 50000 < 50000 x 60001.
    EXPECT_DOUBLE_EQ(*FitZoom(60000, 50000, 60001, 50000), 1.0);
    EXPECT_FALSE(FitZoom(400, 300, 0, 600).has_value());
    EXPECT_FALSE(FitZoom(400, 300, 1000, 0).has_value());
    EXPECT_FALSE(FitZoom(0, 0, 1000, 600).has_value());
    EXPECT_EQ(DisplaySize(400, 300, 2.0), QSize(800, 600));
    EXPECT_EQ(DisplaySize(100, 80, ZoomLarger(1.0)), QSize(140, 112));
    EXPECT_EQ(DisplaySize(100, 80, ZoomSmaller(1.0)), QSize(71, 57));
    EXPECT_EQ(CentredOffset(1000, 800), 100);
    EXPECT_EQ(CentredOffset(1000, 1001), 0);
    EXPECT_EQ(ClampedOffset(300, 0, 1000, 3000), 0);
    EXPECT_EQ(ClampedOffset(-5000, 0, 1000, 3000), -2000);
    EXPECT_EQ(ClampedOffset(-50, 17, 1000, 400), 17); // a picture that fits keeps its offset
}

TEST(ViewGeometry, LoadTimeHasThreeSignificantDigitsAndOneDecimal) {
    EXPECT_EQ(FormatLoadTime(1234), QStringLiteral("1.2"));
    EXPECT_EQ(FormatLoadTime(0), QStringLiteral("0.0"));
    EXPECT_EQ(FormatLoadTime(49), QStringLiteral("0.0"));
    EXPECT_EQ(FormatLoadTime(50), QStringLiteral("0.1"));
    EXPECT_EQ(FormatLoadTime(1250), QStringLiteral("1.3"));
    EXPECT_EQ(FormatLoadTime(12345), QStringLiteral("12.3"));
    EXPECT_EQ(FormatLoadTime(99949), QStringLiteral("99.9"));
    EXPECT_EQ(FormatLoadTime(123456), QStringLiteral("123.0"));
    EXPECT_EQ(FormatLoadTime(1234567), QStringLiteral("1.23E+03"));
}

TEST(ViewGeometry, ShrinkingAveragesAndEnlargingKeepsPixels) {
    QImage checker(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            checker.setPixel(x, y, ((x + y) & 1) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const QImage half = ScaleStill(checker, 200, 150, 0);
    ASSERT_EQ(half.size(), QSize(200, 150));
    for (const QPoint p : {QPoint(0, 0), QPoint(57, 91), QPoint(199, 149)}) {
        const int grey = qRed(half.pixel(p));
        EXPECT_GE(grey, 120) << p.x() << "," << p.y();
        EXPECT_LE(grey, 135) << p.x() << "," << p.y();
    }
    QImage four(2, 2, QImage::Format_RGB32);
    four.setPixel(0, 0, qRgb(255, 0, 0));
    four.setPixel(1, 0, qRgb(0, 255, 0));
    four.setPixel(0, 1, qRgb(0, 0, 255));
    four.setPixel(1, 1, qRgb(255, 255, 255));
    const QImage big = ScaleStill(four, 600, 600, 0);
    EXPECT_EQ(big.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(big.pixel(299, 299), qRgb(255, 0, 0));
    EXPECT_EQ(big.pixel(300, 0), qRgb(0, 255, 0));
    EXPECT_EQ(big.pixel(599, 599), qRgb(255, 255, 255));
    // Transparent parts show the background (red in the low byte).
    QImage clear(4, 4, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    EXPECT_EQ(ScaleStill(clear, 2, 2, 0x0000FF).pixel(1, 1), qRgb(255, 0, 0));
}

TEST(ViewGeometry, HandCursorsHaveTheirHotSpots) {
    const QCursor hand = MakeHandCursor(false), grab = MakeHandCursor(true);
    EXPECT_EQ(hand.hotSpot(), QPoint(10, 8));
    EXPECT_EQ(grab.hotSpot(), QPoint(11, 9));
    EXPECT_EQ(hand.pixmap().size(), QSize(32, 32));
    EXPECT_EQ(grab.pixmap().size(), QSize(32, 32));
}

TEST_F(ViewerTest, AutoFitEnlargesAWidePictureToTheViewHeight) {
    auto form = NewForm(1000, 600);
    ActionOf(*form, "ViewAutoFitAction")->trigger();
    ASSERT_TRUE(ActionOf(*form, "ViewAutoFitAction")->isChecked());
    form->OpenPicture(WriteSolid(QStringLiteral("a.ppm"), 400, 300));
    EXPECT_EQ(form->Zoom(), 2.0);
    EXPECT_EQ(form->DisplayWidth(), 800);
    EXPECT_EQ(form->DisplayHeight(), 600);
    EXPECT_EQ(form->OffsetX(), 100);
    EXPECT_EQ(form->OffsetY(), 0);
    EXPECT_FALSE(form->PanFlag());
    EXPECT_EQ(Panel(*form, 6), QStringLiteral("800x600"));
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("200%"));
    EXPECT_EQ(form->ViewBitmap().size(), QSize(800, 600));
    // The view shows the picture at its offsets and the background around it.
    const QImage shot = form->View()->grab().toImage();
    EXPECT_EQ(shot.pixel(100, 0), qRgb(10, 200, 30));
    EXPECT_EQ(shot.pixel(899, 599), qRgb(10, 200, 30));
    EXPECT_EQ(shot.pixel(99, 300), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(900, 300), qRgb(0, 0, 0));
}

TEST_F(ViewerTest, AutoFitShrinksALongPictureToTheViewWidth) {
    auto form = NewForm(1000, 600);
    ActionOf(*form, "ViewAutoFitAction")->trigger();
    form->OpenPicture(WriteSolid(QStringLiteral("long.ppm"), 2000, 100));
    EXPECT_EQ(form->Zoom(), 0.5);
    EXPECT_EQ(form->DisplayWidth(), 1000);
    EXPECT_EQ(form->DisplayHeight(), 50);
    EXPECT_EQ(form->OffsetX(), 0);
    EXPECT_EQ(form->OffsetY(), 275);
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("50%"));
}

TEST_F(ViewerTest, ZoomCommandsStepByOnePointFour) {
    auto form = NewForm(1000, 600);
    form->OpenPicture(WriteSolid(QStringLiteral("z.ppm"), 100, 80));
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("100%"));
    QAction* more = ActionOf(*form, "ViewZoomOutAction");
    QAction* less = ActionOf(*form, "ViewZoomInAction");
    EXPECT_EQ(more->text(), QStringLiteral("&More"));
    EXPECT_EQ(less->text(), QStringLiteral("&Less"));
    more->trigger();
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("139%"));
    EXPECT_EQ(form->DisplayWidth(), 140);
    more->trigger();
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("195%"));
    ActionOf(*form, "ViewOriginSizeAction")->trigger();
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("100%"));
    EXPECT_EQ(form->DisplayWidth(), 100);
    less->trigger();
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("71%"));
    EXPECT_EQ(form->DisplayWidth(), 71);
    EXPECT_EQ(form->DisplayHeight(), 57);
    EXPECT_EQ(form->OffsetX(), (1000 - 71) / 2);
    // Best fit enlarges a small picture too: 600 / 80.
    ActionOf(*form, "ViewFitVisibleAction")->trigger();
    EXPECT_EQ(form->Zoom(), 7.5);
    EXPECT_EQ(form->DisplayHeight(), 600);
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("750%"));
    // The panel width follows the text.
    EXPECT_EQ(form->StatusPanel(7)->width(),
              form->StatusPanel(7)->fontMetrics().horizontalAdvance(QStringLiteral("750%")) + 10);
}

TEST_F(ViewerTest, ZoomKeysOfTheKeypadDriveTheCommands) {
    auto form = NewForm(1000, 600);
    form->OpenPicture(WriteSolid(QStringLiteral("k.ppm"), 100, 80));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form->View(), Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("139%"));
    QTest::keyClick(form->View(), Qt::Key_Asterisk, Qt::KeypadModifier);
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("100%"));
    QTest::keyClick(form->View(), Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("71%"));
    QTest::keyClick(form->View(), Qt::Key_Slash, Qt::KeypadModifier);
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("750%"));
}

TEST_F(ViewerTest, TheWheelScrollsAndCtrlWheelZoomsAboutThePointer) {
    auto form = NewForm(400, 300);
    QImage image(800, 600, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 255));
    for (int y = 290; y < 310; ++y)
        for (int x = 390; x < 410; ++x) image.setPixel(x, y, qRgb(255, 0, 0)); // a red square in the middle
    form->OpenPicture(WritePicture(QStringLiteral("big.ppm"), image));
    ASSERT_EQ(form->OffsetX(), 0);
    ASSERT_EQ(form->OffsetY(), 0);
    const auto wheel = [&](QPoint at, QPoint angle, Qt::KeyboardModifiers modifiers) {
        QWheelEvent e(QPointF(at), QPointF(form->View()->mapToGlobal(at)), QPoint(), angle, Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(form->View(), &e);
    };
    const int step = QApplication::wheelScrollLines() * 20;
    wheel(QPoint(200, 150), QPoint(0, -120), Qt::NoModifier); // down: the picture moves up
    EXPECT_EQ(form->OffsetY(), -step);
    EXPECT_EQ(form->OffsetX(), 0);
    wheel(QPoint(200, 150), QPoint(0, -120), Qt::ShiftModifier); // sideways
    EXPECT_EQ(form->OffsetX(), -step);
    for (int i = 0; i < 50; ++i) wheel(QPoint(200, 150), QPoint(0, 120), Qt::NoModifier);
    EXPECT_EQ(form->OffsetY(), 0); // stops at the edge, as a drag does
    // Ctrl: the picture's point under the pointer stays there.
    ActionOf(*form, "ViewFitVisibleAction")->trigger();
    const QPoint centre(form->OffsetX() + form->DisplayWidth() / 2, form->OffsetY() + form->DisplayHeight() / 2);
    wheel(centre, QPoint(0, 120), Qt::ControlModifier);
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("69%")); // 50% x 1.4, truncated
    wheel(centre, QPoint(0, 120), Qt::ControlModifier);
    wheel(centre, QPoint(0, 120), Qt::ControlModifier);
    EXPECT_GT(form->DisplayWidth(), 400);
    const int px = int((centre.x() - form->OffsetX()) / form->Zoom());
    const int py = int((centre.y() - form->OffsetY()) / form->Zoom());
    EXPECT_NEAR(px, 400, 2);
    EXPECT_NEAR(py, 300, 2);
    EXPECT_EQ(form->ViewBitmap().pixel(centre - QPoint(form->OffsetX(), form->OffsetY())), qRgb(255, 0, 0));
    // Half a notch does nothing yet; the other half zooms.
    const QString before = Panel(*form, 7);
    wheel(centre, QPoint(0, -60), Qt::ControlModifier);
    EXPECT_EQ(Panel(*form, 7), before);
    wheel(centre, QPoint(0, -60), Qt::ControlModifier);
    EXPECT_NE(Panel(*form, 7), before);
}

TEST_F(ViewerTest, DraggingALargePictureStopsAtItsEdges) {
    auto form = NewForm(1000, 600);
    form->OpenPicture(WriteSolid(QStringLiteral("big.ppm"), 3000, 2000));
    EXPECT_EQ(form->OffsetX(), 0);
    EXPECT_EQ(form->OffsetY(), 0);
    EXPECT_TRUE(form->PanFlag());
    EXPECT_EQ(form->View()->cursor().hotSpot(), QPoint(10, 8));
    const int renders = form->RenderCount();
    QWidget* view = form->View();
    Drag(view, QPoint(100, 100), QPoint(400, 100)); // 300 to the right: already at the left edge
    EXPECT_EQ(form->OffsetX(), 0);
    Drag(view, QPoint(900, 500), QPoint(-4100, 500)); // 5000 to the left
    EXPECT_EQ(form->OffsetX(), -2000);
    EXPECT_EQ(form->OffsetY(), 0);
    Drag(view, QPoint(500, 550), QPoint(500, -5000));
    EXPECT_EQ(form->OffsetY(), -1400);
    // While the button is down the grabbing hand shows.
    Mouse(view, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(view->cursor().hotSpot(), QPoint(11, 9));
    Mouse(view, QEvent::MouseButtonRelease, QPoint(10, 10), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(view->cursor().hotSpot(), QPoint(10, 8));
    // Panning and reloading repaint without rendering again.
    ActionOf(*form, "ViewReloadAction")->trigger();
    EXPECT_EQ(form->RenderCount(), renders);
    // Any zoom puts a larger picture back at its top-left corner.
    ActionOf(*form, "ViewZoomInAction")->trigger();
    EXPECT_EQ(form->OffsetX(), 0);
    EXPECT_EQ(form->OffsetY(), 0);
}

TEST_F(ViewerTest, ArrowKeysScrollInStepsAndLeaveAFittingPictureAlone) {
    auto form = NewForm(1000, 600);
    form->OpenPicture(WriteSolid(QStringLiteral("big.ppm"), 3000, 2000));
    QWidget* view = form->View();
    QTest::keyPress(view, Qt::Key_Right);
    QTest::keyRelease(view, Qt::Key_Right);
    EXPECT_EQ(form->OffsetX(), -200);
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(form->OffsetX(), -400);
    QTest::keyClick(view, Qt::Key_Left);
    EXPECT_EQ(form->OffsetX(), -200);
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(form->OffsetY(), -200);
    QTest::keyClick(view, Qt::Key_Up);
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_EQ(form->OffsetY(), 0);
    // Keys with Ctrl held are not the window's.
    QTest::keyClick(view, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(form->OffsetX(), -200);

    form->OpenPicture(WriteSolid(QStringLiteral("small.ppm"), 400, 300));
    EXPECT_EQ(form->OffsetX(), 300);
    EXPECT_EQ(form->OffsetY(), 150);
    EXPECT_FALSE(form->PanFlag());
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down})
        QTest::keyClick(view, key);
    EXPECT_EQ(form->OffsetX(), 300);
    EXPECT_EQ(form->OffsetY(), 150);
}

TEST_F(ViewerTest, TheWindowSeesItsKeysFirstButNotThoseOfAModalDialog) {
    auto form = NewForm(1000, 600);
    form->OpenPicture(WriteSolid(QStringLiteral("big.ppm"), 3000, 2000));
    // A control of the window with the focus: the window still takes the arrows.
    QTest::keyClick(form->ToolBar(), Qt::Key_Right);
    EXPECT_EQ(form->OffsetX(), -200);
    QDialog dialog(form.get());
    auto* edit = new QLineEdit(&dialog);
    (new QVBoxLayout(&dialog))->addWidget(edit);
    dialog.setModal(true);
    dialog.show();
    QApplication::processEvents();
    QTest::keyClick(edit, Qt::Key_A);
    QTest::keyClick(edit, Qt::Key_Space);
    QTest::keyClick(edit, Qt::Key_Left);
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(edit->text(), QStringLiteral("a "));
    EXPECT_EQ(form->OffsetX(), -200);
    EXPECT_TRUE(form->isVisible());
    dialog.hide();
}

TEST_F(ViewerTest, EscapeClosesTheWindowAndStoresThePanels) {
    auto form = NewForm(1000, 600);
    ActionOf(*form, "ViewToolBarAction")->trigger();
    EXPECT_FALSE(form->ToolBar()->isVisible());
    QTest::keyClick(form->View(), Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    const QString stored = QString::fromUtf8(ReadFile(FSettingsFile));
    EXPECT_TRUE(stored.contains(QStringLiteral("\"ToolBarVisible\": \"0\""))) << stored.toStdString();
    EXPECT_TRUE(stored.contains(QStringLiteral("\"StatusBarVisible\": \"1\""))) << stored.toStdString();
}

TEST_F(ViewerTest, ResizingAndHidingBarsFitAgainWithAutoFit) {
    auto form = NewForm(1000, 600);
    ActionOf(*form, "ViewAutoFitAction")->trigger();
    form->OpenPicture(WriteSolid(QStringLiteral("a.ppm"), 400, 300));
    EXPECT_EQ(form->Zoom(), 2.0);
    SetViewSize(*form, 1000, 450);
    EXPECT_EQ(form->Zoom(), 1.5);
    EXPECT_EQ(form->DisplayHeight(), 450);
    const int before = form->View()->height();
    ActionOf(*form, "ViewStatusBarAction")->trigger();
    EXPECT_FALSE(form->statusBar()->isVisible());
    EXPECT_GT(form->View()->height(), before);
    EXPECT_EQ(form->DisplayHeight(), form->View()->height());
    // Without auto fit a resize only places the picture again.
    ActionOf(*form, "ViewAutoFitAction")->trigger();
    ActionOf(*form, "ViewOriginSizeAction")->trigger();
    SetViewSize(*form, 800, 500);
    EXPECT_EQ(form->Zoom(), 1.0);
    EXPECT_EQ(form->OffsetX(), 200);
    EXPECT_EQ(form->OffsetY(), 100);
}

TEST_F(ViewerTest, ShrunkStillPicturesAreAveraged) {
    QImage checker(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            checker.setPixel(x, y, ((x + y) & 1) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    auto form = NewForm(200, 150);
    ActionOf(*form, "ViewAutoFitAction")->trigger();
    form->OpenPicture(WritePicture(QStringLiteral("checker.ppm"), checker));
    ASSERT_EQ(form->ViewBitmap().size(), QSize(200, 150));
    const int grey = qGreen(form->ViewBitmap().pixel(100, 75));
    EXPECT_GE(grey, 120);
    EXPECT_LE(grey, 135);
}

TEST_F(ViewerTest, ALaterChangeIsRenderedAtTheCurrentZoom) {
    auto form = NewForm(1000, 600);
    form->OpenPicture(WriteSolid(QStringLiteral("z.ppm"), 100, 80));
    ActionOf(*form, "ViewZoomOutAction")->trigger();
    const int renders = form->RenderCount();
    form->Picture().Graphic()->NotifyChanged(); // as a new page does
    EXPECT_EQ(form->RenderCount(), renders + 1);
    EXPECT_EQ(form->Zoom(), 1.4);
    EXPECT_EQ(form->ViewBitmap().size(), QSize(140, 112));
    EXPECT_EQ(form->ViewBitmap().pixel(139, 111), qRgb(10, 200, 30));
}

TEST_F(ViewerTest, AViewBitmapBeyondTheBudgetIsRefusedAndTheViewStaysConsistent) {
    auto form = NewForm(1000, 600);
    form->OpenPicture(WriteSolid(QStringLiteral("big.ppm"), 3000, 2000));
    Drag(form->View(), QPoint(600, 300), QPoint(100, 300));
    ASSERT_EQ(form->OffsetX(), -500);
    try {
        form->SetZoom(6000.0); // 18000000 x 12000000 pixels
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_TRUE(
            e.Message().startsWith(QStringLiteral("The picture cannot be shown at 18000000 x 12000000 pixels")))
            << e.Message().toStdString();
    }
    EXPECT_EQ(form->Zoom(), 1.0);
    EXPECT_EQ(form->DisplayWidth(), 3000);
    EXPECT_TRUE(form->ViewBitmapValid());
    EXPECT_TRUE(form->ViewBitmapPartial()); // 3000 x 2000 is ten views: only the part around the view is kept
    EXPECT_EQ(form->OffsetX(), 0); // the picture was placed again all the same
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("100%"));
    // Far beyond the old budget a picture can still be shown: a part at a time.
    form->SetZoom(50.0);
    EXPECT_EQ(form->DisplayWidth(), 150000);
    form->View()->repaint();
    EXPECT_LE(form->ViewBitmap().width(), 2000);
    EXPECT_EQ(form->ViewBitmap().pixel(10, 10), qRgb(10, 200, 30));
    // Sizes past the integer range are refused the same way.
    EXPECT_THROW(form->SetZoom(1e9), Exception);
    form->View()->repaint();
}

TEST_F(ViewerTest, ContextMenuZoomEntriesShowTheirOwnCaptions) {
    auto form = NewForm(1000, 600);
    form->OpenPicture(WriteSolid(QStringLiteral("z.ppm"), 100, 80));
    QStringList captions;
    QAction* zoomIn = nullptr;
    for (QAction* a : form->ContextMenu()->actions()) {
        captions << a->text();
        if (a->text() == QStringLiteral("Zoom &In")) zoomIn = a;
    }
    EXPECT_EQ(captions, (QStringList{"&Previous Image",
                                     "&Next Image",
                                     "&Slide show",
                                     "",
                                     "&Rotate",
                                     "",
                                     "Zoom &In",
                                     "Zoom &Out",
                                     "Zoom &Best Fit",
                                     "Zoom A&ctual Size",
                                     "",
                                     "&Reload Image",
                                     "&Full-screen",
                                     "Refre&sh File List",
                                     "",
                                     "&Open",
                                     "&Print",
                                     "Set &Wallpaper",
                                     "&Options",
                                     "",
                                     "E&xit"}));
    ASSERT_NE(zoomIn, nullptr);
    EXPECT_TRUE(zoomIn->isEnabled());
    zoomIn->trigger(); // "Zoom &In" is "&More"
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("139%"));
}

// A picture shown many times larger than the view keeps only the part around the view in its bitmap,
// made when painted, with the pixels the whole display would have there; a drag beyond it renders the
// next part.
TEST_F(ViewerTest, APictureMuchLargerThanTheViewRendersThePartAroundTheView) {
    QImage pattern(1000, 800, QImage::Format_RGB32);
    for (int y = 0; y < pattern.height(); ++y)
        for (int x = 0; x < pattern.width(); ++x)
            pattern.setPixel(x, y, qRgb((x * 7) & 255, (y * 5) & 255, ((x / 3) ^ (y / 7)) & 255));
    auto form = NewForm(600, 400);
    form->OpenPicture(WritePicture(QStringLiteral("pattern.ppm"), pattern));
    form->SetZoom(3.0); // 3000 x 2400
    ASSERT_TRUE(form->ViewBitmapPartial());
    form->View()->repaint();
    const auto checkPart = [&](const QImage& whole, int tolerance) {
        const QImage& part = form->ViewBitmap();
        const QPoint o = form->ViewBitmapOrigin();
        ASSERT_FALSE(part.isNull());
        EXPECT_LE(part.width(), 1200);
        EXPECT_LE(part.height(), 800);
        // The view lies inside the part.
        EXPECT_TRUE(QRect(o, part.size()).contains(QRect(-form->OffsetX(), -form->OffsetY(), 600, 400).intersected(
            QRect(0, 0, form->DisplayWidth(), form->DisplayHeight()))));
        EXPECT_TRUE(SamePixels(part, whole.copy(QRect(o, part.size())), tolerance));
    };
    const QImage enlarged = ScaleStill(pattern, 3000, 2400, 0);
    checkPart(enlarged, 0); // nearest pixels, exactly as the whole display
    const QPoint first = form->ViewBitmapOrigin();
    for (int i = 0; i < 4; ++i) form->ScrollBy(QPoint(-500, -300));
    form->View()->repaint();
    EXPECT_NE(form->ViewBitmapOrigin(), first);
    checkPart(enlarged, 0);

    // Shrunk: averaged like the whole display, up to the rounding at the part's edges.
    QImage big(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < big.height(); ++y)
        for (int x = 0; x < big.width(); ++x) big.setPixel(x, y, qRgb(x * 255 / 4000, y * 255 / 3000, (x + y) * 255 / 7000));
    form->OpenPicture(WritePicture(QStringLiteral("big.ppm"), big));
    form->SetZoom(0.8); // 3200 x 2400
    ASSERT_TRUE(form->ViewBitmapPartial());
    form->ScrollBy(QPoint(-1000, -700));
    form->View()->repaint();
    checkPart(ScaleStill(big, 3200, 2400, 0), 6);
}
