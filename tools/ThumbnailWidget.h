// The thumbnail grid: the pictures of a folder as previews, several to a row, each with its name under
// it and a tooltip with size, dimensions and date. Previews come from a TThumbnailLoader (thread pool,
// shared desktop cache); the grid never decodes on the UI thread and paints a cell when its preview arrives.
#pragma once

#include "tools/Thumbnail.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

struct TThumbnail {
    QString FileName; // without its folder
    QString Info;     // tooltip text; empty until the preview is made
    QImage Bitmap;    // the preview; null until made
    bool Failed = false;
    bool Locked = false;
};

class TThumbnailGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TThumbnailGrid(QWidget* parent = nullptr);
    ~TThumbnailGrid() override;

    // Takes the file list: its folder, its names in order and its selected index (-1 for none). Forgets
    // every preview and failure, sets the row and column counts and selects the given index.
    void LoadFileList(const QString& directory, const QStringList& names, int selectedIndex);
    // False only when the folder is the same and the names are the same, in the same order.
    bool IsOutOfDate(const QString& directory, const QStringList& names) const;

    QString Directory() const { return FDirectory; }
    int ItemCount() const { return int(FItems.size()); }
    const TThumbnail& Item(int index) const { return FItems[size_t(index)]; }
    QString FullPath(int index) const;

    int SelIndex() const { return FRow * FColCount + FCol; }
    // Ignored when unchanged or outside the items; else selects the cell, scrolls it into view and
    // raises CellSelected (block the grid's signals to select without it).
    void SetSelIndex(int value);

    int ThumbCol() const { return FThumbCol; }
    void SetThumbCol(int value);
    int ThumbWidth() const { return FThumbWidth; }
    void SetThumbWidth(int value);
    int ThumbHeight() const { return FThumbHeight; }
    void SetThumbHeight(int value);
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int value);
    bool ShowCaption() const { return FShowCaption; }
    void SetShowCaption(bool value);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value) { FShowHint = value; }
    int CaptionHeight() const { return FCaptionHeight; }

    int RowCount() const { return FRowCount; }
    int ColCount() const { return FColCount; }
    int Col() const { return FCol; }
    int Row() const { return FRow; }
    int ColWidth() const { return FThumbWidth + 2 * FBorderWidth; }
    int RowHeight() const { return FThumbHeight + 2 * FBorderWidth + FCaptionHeight; }
    static constexpr int GridLineWidth = 1;

    // The cell's rectangle in viewport coordinates, and the cell under a viewport point.
    QRect CellRect(int col, int row) const;
    bool CellAt(const QPoint& pos, int& col, int& row) const;

    TThumbnailLoader& Loader() { return *FLoader; }

signals:
    void CellSelected(int col, int row);
    void CellDoubleClicked(int col, int row);
    // A preview was stored (used by tests and by anyone waiting for the first screen).
    void PreviewArrived(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void UpdateCounts();
    void UpdateLoaderCell();
    void UpdateScrollBars();
    void SelectCell(int col, int row);
    void ScrollIntoView(int col, int row);
    void PaintCell(QPainter& p, int col, int row, QList<int>& missing);
    void OnPreview(int index, const QString& fileName, const TPreview& preview);

    QString FDirectory;
    std::vector<TThumbnail> FItems;
    bool FShowCaption = true;
    bool FShowHint = true;
    int FThumbCol = 3;
    int FThumbWidth = 100;
    int FThumbHeight = 100;
    int FBorderWidth = 0;
    int FCaptionHeight = 0;
    int FRowCount = 1;
    int FColCount = 1;
    int FCol = 0;
    int FRow = 0;
    TThumbnailLoader* FLoader = nullptr;
};

// The red cross-and-frame drawn for a picture that cannot be shown.
void DrawBrokenPictureMark(QPainter& p, const QRect& rect);
