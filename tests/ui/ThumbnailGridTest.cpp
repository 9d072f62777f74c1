#include "TestUtil.h"

#include "tools/ThumbnailWidget.h"

#include <QDir>
#include <QFontMetrics>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {

QStringList Names(int n) {
    QStringList names;
    for (int i = 0; i < n; ++i) names << QStringLiteral("f%1.png").arg(i);
    return names;
}

// Renders the grid's viewport as it is on screen.
QImage Shot(TThumbnailGrid& grid) { return grid.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

} // namespace

TEST(ThumbnailGrid, GeometryFollowsItemsThumbColAndBorder) {
    TThumbnailGrid grid;
    const int caption = QFontMetrics(grid.font()).boundingRect(QStringLiteral("gh")).height();
    EXPECT_GT(caption, 0);
    EXPECT_EQ(grid.CaptionHeight(), caption);
    EXPECT_EQ(grid.ThumbCol(), 3);
    EXPECT_EQ(grid.ColWidth(), 100);
    EXPECT_EQ(grid.RowHeight(), 100 + caption);

    grid.LoadFileList(QStringLiteral("/nowhere"), Names(7), -1);
    EXPECT_EQ(grid.RowCount(), 3);
    EXPECT_EQ(grid.ColCount(), 3);
    grid.SetThumbCol(6);
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(grid.ColCount(), 6);
    grid.SetThumbCol(0);
    grid.SetThumbCol(-2);
    EXPECT_EQ(grid.ThumbCol(), 6);

    grid.LoadFileList(QStringLiteral("/nowhere"), Names(2), -1);
    EXPECT_EQ(grid.RowCount(), 1);
    EXPECT_EQ(grid.ColCount(), 2);
    grid.LoadFileList(QStringLiteral("/nowhere"), {}, -1);
    EXPECT_EQ(grid.RowCount(), 1); // an empty folder: one blank cell
    EXPECT_EQ(grid.ColCount(), 1);

    grid.SetBorderWidth(5);
    grid.SetThumbWidth(80);
    grid.SetThumbHeight(60);
    EXPECT_EQ(grid.ColWidth(), 90);
    EXPECT_EQ(grid.RowHeight(), 70 + caption);
    grid.SetShowCaption(false);
    EXPECT_EQ(grid.RowHeight(), 70 + caption); // the band stays part of the row
    EXPECT_EQ(grid.CellRect(2, 1).topLeft(), QPoint(2 * 91, 71 + caption));
}

TEST(ThumbnailGrid, SelIndexRulesAndOutOfDate) {
    TThumbnailGrid grid;
    grid.SetThumbCol(6);
    QSignalSpy selected(&grid, &TThumbnailGrid::CellSelected);
    grid.LoadFileList(QStringLiteral("/pics"), Names(10), 8);
    EXPECT_EQ(grid.Col(), 2);
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(grid.SelIndex(), 8);
    EXPECT_EQ(selected.size(), 1);
    grid.SetSelIndex(10);
    grid.SetSelIndex(-1);
    grid.SetSelIndex(8);
    EXPECT_EQ(grid.SelIndex(), 8);
    EXPECT_EQ(selected.size(), 1); // ignored writes raise nothing
    grid.SetSelIndex(3);
    EXPECT_EQ(grid.Col(), 3);
    EXPECT_EQ(grid.Row(), 0);
    EXPECT_EQ(selected.size(), 2);
    grid.LoadFileList(QStringLiteral("/pics"), Names(10), 10); // out of range: stays on the first cell
    EXPECT_EQ(grid.SelIndex(), 0);

    EXPECT_FALSE(grid.IsOutOfDate(QStringLiteral("/pics"), Names(10)));
    EXPECT_FALSE(grid.IsOutOfDate(QStringLiteral("/pics/"), Names(10)));
    QStringList renamed = Names(10);
    renamed[4] = QStringLiteral("other.png");
    EXPECT_TRUE(grid.IsOutOfDate(QStringLiteral("/pics"), renamed));
    EXPECT_TRUE(grid.IsOutOfDate(QStringLiteral("/pics"), Names(9)));
    EXPECT_TRUE(grid.IsOutOfDate(QStringLiteral("/Pics"), Names(10))); // Linux file names keep their case
    grid.LoadFileList(QStringLiteral("/empty"), {}, -1);
    EXPECT_FALSE(grid.IsOutOfDate(QStringLiteral("/empty"), {}));
}

TEST(ThumbnailGrid, CellsShowPreviewsBrokenMarksLocksAndTooltips) {
    QTemporaryDir dir;
    QTemporaryDir cache;
    QImage green(40, 20, QImage::Format_RGB32);
    green.fill(qRgb(0, 160, 0));
    ASSERT_TRUE(green.save(dir.filePath(QStringLiteral("a.png"))));
    WriteFile(dir.filePath(QStringLiteral("b.png")), QByteArray("broken"));
    WriteFile(dir.filePath(QStringLiteral("c.cif")), QByteArray("secret"));
    TThumbnailGrid grid;
    TPreviewOptions o = grid.Loader().Options();
    o.CacheRoot = cache.path();
    grid.Loader().SetOptions(o);
    grid.resize(400, 300);
    grid.show();
    QSignalSpy arrived(&grid, &TThumbnailGrid::PreviewArrived);
    grid.LoadFileList(dir.path(), {QStringLiteral("a.png"), QStringLiteral("b.png"), QStringLiteral("c.cif")}, 0);
    (void)Shot(grid); // the first paint asks for the visible previews
    for (int i = 0; i < 50 && arrived.size() < 2; ++i) arrived.wait(200);
    ASSERT_EQ(arrived.size(), 2); // the locked file is never handed to the loader
    const QImage shot = Shot(grid);

    // a.png: 40x20 fitted into 100x100 gives 100x50 at top 25, on the first cell.
    const QRect a = grid.CellRect(0, 0);
    EXPECT_EQ(shot.pixel(a.left() + 50, a.top() + 50), qRgb(0, 160, 0));
    EXPECT_NE(shot.pixel(a.left() + 50, a.top() + 10), qRgb(0, 160, 0));
    // b.png: the red mark along the picture area and across it.
    const QRect b = grid.CellRect(1, 0);
    EXPECT_EQ(shot.pixel(b.left() + 1, b.top() + 50), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(b.left() + 50, b.top() + 50), qRgb(255, 0, 0));
    EXPECT_NE(shot.pixel(b.left() + 50, b.top() + 20), qRgb(255, 0, 0));
    EXPECT_TRUE(grid.Item(1).Failed);
    EXPECT_TRUE(grid.Item(1).Info.isEmpty());
    // c.cif: the lock, drawn inside the area shrunk by 10; never a preview or a tooltip.
    const QRect c = grid.CellRect(2, 0);
    const QRgb base = grid.palette().color(QPalette::Base).rgb();
    EXPECT_EQ(shot.pixel(c.left() + 5, c.top() + 50), base);
    EXPECT_NE(shot.pixel(c.left() + 50, c.top() + 70), base);
    EXPECT_TRUE(grid.Item(2).Info.isEmpty());
    EXPECT_TRUE(grid.Item(2).Bitmap.isNull());

    // Tooltip text: size in K, dimensions, date.
    const QStringList info = grid.Item(0).Info.split(QLatin1Char('\r'));
    ASSERT_EQ(info.size(), 3);
    EXPECT_EQ(info[0], QStringLiteral("0K"));
    EXPECT_EQ(info[1], QStringLiteral("40 x 20"));
    EXPECT_FALSE(info[2].isEmpty());

    // A larger cell stretches the preview it has; the failed file is not tried again.
    arrived.clear();
    grid.SetThumbWidth(200);
    grid.SetThumbHeight(200);
    const QImage big = Shot(grid);
    EXPECT_EQ(big.pixel(grid.CellRect(0, 0).left() + 180, grid.CellRect(0, 0).top() + 100), qRgb(0, 160, 0));
    QTest::qWait(100);
    EXPECT_EQ(arrived.size(), 0);

    // Selecting by mouse and double click signals.
    QSignalSpy selected(&grid, &TThumbnailGrid::CellSelected);
    QSignalSpy doubled(&grid, &TThumbnailGrid::CellDoubleClicked);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.CellRect(1, 0).center());
    EXPECT_EQ(grid.SelIndex(), 1);
    EXPECT_EQ(selected.size(), 1);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, grid.CellRect(1, 0).center());
    EXPECT_EQ(doubled.size(), 1);
    QTest::keyClick(&grid, Qt::Key_Right);
    EXPECT_EQ(grid.SelIndex(), 2);
}

TEST(ThumbnailGrid, BrokenMarkPenWidth) {
    QImage img(200, 40, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        p.setBrush(Qt::white);
        DrawBrokenPictureMark(p, QRect(0, 0, 200, 40));
    }
    // min(200 div 10, 40 div 10) = 4: the frame is 4 pixels thick, centred on the edge.
    EXPECT_EQ(img.pixel(100, 1), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(100, 6), qRgb(255, 255, 255));
}

TEST(ThumbnailGrid, ANewListStartsAtTheTopAndPreviewsFollowTheCellSize) {
    TThumbnailGrid grid;
    grid.resize(330, 250);
    grid.LoadFileList(QStringLiteral("/nowhere"), Names(60), -1);
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
    ASSERT_GT(grid.verticalScrollBar()->value(), 0);
    grid.LoadFileList(QStringLiteral("/elsewhere"), Names(50), -1);
    EXPECT_EQ(grid.verticalScrollBar()->value(), 0);
    EXPECT_EQ(grid.SelIndex(), 0);

    // Previews asked for after a size change are made for the new picture area.
    EXPECT_EQ(grid.Loader().Options().Cell, QSize(100, 100));
    grid.SetThumbWidth(200);
    grid.SetThumbHeight(150);
    grid.SetBorderWidth(7);
    EXPECT_EQ(grid.Loader().Options().Cell, QSize(200, 150));

    // A click on the current cell is reported, so it can open a file the list has not selected.
    QSignalSpy selected(&grid, &TThumbnailGrid::CellSelected);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, grid.CellRect(0, 0).center());
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.at(0).at(0).toInt(), 0);
}
