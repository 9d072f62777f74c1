#include "tools/ThumbnailWidget.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>

void DrawBrokenPictureMark(QPainter& p, const QRect& rect) {
    const int w = std::clamp(std::min(rect.width() / 10, rect.height() / 10), 1, 4);
    p.save();
    QPen pen(QColor(255, 0, 0), w);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.drawRect(rect.adjusted(0, 0, -1, -1));
    p.drawLine(rect.topLeft(), rect.bottomRight());
    p.drawLine(rect.bottomLeft(), rect.topRight());
    p.restore();
}

TThumbnailGrid::TThumbnailGrid(QWidget* parent) : QAbstractScrollArea(parent), FLoader(new TThumbnailLoader(this)) {
    FCaptionHeight = QFontMetrics(font()).boundingRect(QStringLiteral("gh")).height();
    viewport()->setMouseTracking(true);
    viewport()->setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);
    connect(FLoader, &TThumbnailLoader::PreviewReady, this, &TThumbnailGrid::OnPreview);
    TPreviewOptions o = FLoader->Options();
    o.Cell = QSize(FThumbWidth, FThumbHeight);
    FLoader->SetOptions(o);
    UpdateCounts();
}

TThumbnailGrid::~TThumbnailGrid() = default;

QString TThumbnailGrid::FullPath(int index) const {
    return QDir(FDirectory).filePath(FItems[size_t(index)].FileName);
}

void TThumbnailGrid::LoadFileList(const QString& directory, const QStringList& names, int selectedIndex) {
    FDirectory = directory;
    FItems.clear();
    FItems.reserve(size_t(names.size()));
    QStringList paths;
    for (const QString& name : names) {
        FItems.push_back(TThumbnail{name, {}, {}, false, false});
        paths << QDir(directory).filePath(name);
    }
    UpdateLoaderCell();
    FLoader->Load(paths);
    FCol = FRow = 0;
    UpdateCounts();
    // A new folder starts at its top, so its first screen is the one asked for first.
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    if (selectedIndex >= 0 && selectedIndex < ItemCount()) SetSelIndex(selectedIndex);
    viewport()->update();
}

bool TThumbnailGrid::IsOutOfDate(const QString& directory, const QStringList& names) const {
    if (QDir::cleanPath(directory) != QDir::cleanPath(FDirectory) || names.size() != ItemCount()) return true;
    for (int i = 0; i < names.size(); ++i)
        if (names[i] != FItems[size_t(i)].FileName) return true;
    return false;
}

void TThumbnailGrid::SetSelIndex(int value) {
    if (value == SelIndex() || value < 0 || value >= ItemCount()) return;
    SelectCell(value % FColCount, value / FColCount);
}

void TThumbnailGrid::SelectCell(int col, int row) {
    col = std::clamp(col, 0, FColCount - 1);
    row = std::clamp(row, 0, FRowCount - 1);
    if (col == FCol && row == FRow) return;
    viewport()->update(CellRect(FCol, FRow));
    FCol = col;
    FRow = row;
    ScrollIntoView(col, row);
    viewport()->update(CellRect(FCol, FRow));
    emit CellSelected(col, row);
}

void TThumbnailGrid::SetThumbCol(int value) {
    if (value <= 0 || value == FThumbCol) return;
    const int sel = SelIndex();
    FThumbCol = value;
    UpdateCounts();
    if (sel < ItemCount()) {
        FCol = sel % FColCount;
        FRow = sel / FColCount;
    }
    viewport()->update();
}

void TThumbnailGrid::UpdateLoaderCell() {
    // Previews made from now on fit the new picture area; those made already are stretched.
    TPreviewOptions o = FLoader->Options();
    o.Cell = QSize(FThumbWidth, FThumbHeight);
    FLoader->SetOptions(o);
}

void TThumbnailGrid::SetThumbWidth(int value) {
    if (value == FThumbWidth) return;
    FThumbWidth = value;
    UpdateLoaderCell();
    UpdateScrollBars();
    viewport()->update();
}

void TThumbnailGrid::SetThumbHeight(int value) {
    if (value == FThumbHeight) return;
    FThumbHeight = value;
    UpdateLoaderCell();
    UpdateScrollBars();
    viewport()->update();
}

void TThumbnailGrid::SetBorderWidth(int value) {
    if (value == FBorderWidth) return;
    FBorderWidth = value;
    UpdateScrollBars();
    viewport()->update();
}

void TThumbnailGrid::SetShowCaption(bool value) {
    if (value == FShowCaption) return;
    FShowCaption = value;
    viewport()->update();
}

void TThumbnailGrid::UpdateCounts() {
    const int n = ItemCount();
    FRowCount = std::max(1, (n + FThumbCol - 1) / FThumbCol);
    FColCount = n > 0 && n <= FThumbCol ? n : (n == 0 ? 1 : FThumbCol);
    FCol = std::min(FCol, FColCount - 1);
    FRow = std::min(FRow, FRowCount - 1);
    UpdateScrollBars();
}

void TThumbnailGrid::UpdateScrollBars() {
    const int totalW = FColCount * (ColWidth() + GridLineWidth);
    const int totalH = FRowCount * (RowHeight() + GridLineWidth);
    const QSize vp = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, totalW - vp.width()));
    horizontalScrollBar()->setPageStep(vp.width());
    horizontalScrollBar()->setSingleStep(ColWidth() + GridLineWidth);
    verticalScrollBar()->setRange(0, std::max(0, totalH - vp.height()));
    verticalScrollBar()->setPageStep(vp.height());
    verticalScrollBar()->setSingleStep(RowHeight() + GridLineWidth);
}

QRect TThumbnailGrid::CellRect(int col, int row) const {
    return QRect(col * (ColWidth() + GridLineWidth) - horizontalScrollBar()->value(),
                 row * (RowHeight() + GridLineWidth) - verticalScrollBar()->value(), ColWidth(), RowHeight());
}

bool TThumbnailGrid::CellAt(const QPoint& pos, int& col, int& row) const {
    const int x = pos.x() + horizontalScrollBar()->value(), y = pos.y() + verticalScrollBar()->value();
    if (x < 0 || y < 0) return false;
    col = x / (ColWidth() + GridLineWidth);
    row = y / (RowHeight() + GridLineWidth);
    return col < FColCount && row < FRowCount;
}

void TThumbnailGrid::ScrollIntoView(int col, int row) {
    const QRect r = CellRect(col, row);
    const QSize vp = viewport()->size();
    QScrollBar* v = verticalScrollBar();
    if (r.top() < 0) v->setValue(v->value() + r.top());
    else if (r.bottom() >= vp.height()) v->setValue(v->value() + std::min(r.top(), r.bottom() - vp.height() + 1));
    QScrollBar* h = horizontalScrollBar();
    if (r.left() < 0) h->setValue(h->value() + r.left());
    else if (r.right() >= vp.width()) h->setValue(h->value() + std::min(r.left(), r.right() - vp.width() + 1));
}

void TThumbnailGrid::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const QPalette pal = palette();
    p.fillRect(viewport()->rect(), pal.color(QPalette::Base));
    const int pitchW = ColWidth() + GridLineWidth, pitchH = RowHeight() + GridLineWidth;
    const int firstCol = std::max(0, horizontalScrollBar()->value() / pitchW);
    const int firstRow = std::max(0, verticalScrollBar()->value() / pitchH);
    const int lastCol = std::min(FColCount - 1, (horizontalScrollBar()->value() + viewport()->width()) / pitchW);
    const int lastRow = std::min(FRowCount - 1, (verticalScrollBar()->value() + viewport()->height()) / pitchH);
    QList<int> missing;
    p.setPen(pal.color(QPalette::Mid));
    for (int r = firstRow; r <= lastRow; ++r)
        for (int c = firstCol; c <= lastCol; ++c) {
            const QRect cell = CellRect(c, r);
            p.drawLine(cell.right() + 1, cell.top(), cell.right() + 1, cell.bottom() + 1); // grid lines
            p.drawLine(cell.left(), cell.bottom() + 1, cell.right() + 1, cell.bottom() + 1);
        }
    for (int r = firstRow; r <= lastRow; ++r)
        for (int c = firstCol; c <= lastCol; ++c) PaintCell(p, c, r, missing);
    if (!missing.isEmpty()) FLoader->Request(missing); // visible cells go ahead of everything queued
}

void TThumbnailGrid::PaintCell(QPainter& p, int col, int row, QList<int>& missing) {
    QRect rect = CellRect(col, row);
    const bool current = col == FCol && row == FRow;
    const QPalette pal = palette();
    p.fillRect(rect, pal.color(current ? QPalette::Highlight : QPalette::Base));
    const int index = row * FColCount + col;
    if (index >= ItemCount()) return;
    TThumbnail& item = FItems[size_t(index)];
    if (FShowCaption) {
        p.setPen(pal.color(current ? QPalette::HighlightedText : QPalette::Text));
        p.setFont(font());
        const QString text = p.fontMetrics().elidedText(item.FileName, Qt::ElideRight, rect.width());
        p.drawText(rect, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextSingleLine, text);
        rect.setBottom(rect.bottom() - FCaptionHeight);
    }
    rect.adjust(FBorderWidth, FBorderWidth, -FBorderWidth, -FBorderWidth);
    p.setBrush(pal.color(current ? QPalette::Highlight : QPalette::Base));
    QRect fit;
    if (IsLockedPictureFile(item.FileName)) {
        if (CalcFitRect(rect, QSize(1, 1), fit)) {
            fit.adjust(10, 10, -10, -10);
            if (!fit.isEmpty()) p.drawImage(fit, LockPlaceholder(fit.size()));
        }
        return;
    }
    if (!item.Bitmap.isNull() && CalcFitRect(rect, item.Bitmap.size(), fit)) {
        p.fillRect(fit, pal.color(QPalette::Base)); // transparent pictures on the grid's colour
        p.setRenderHint(QPainter::SmoothPixmapTransform, fit.size() != item.Bitmap.size());
        p.drawImage(fit, item.Bitmap);
    } else if (item.Failed || rect.isEmpty()) {
        DrawBrokenPictureMark(p, rect);
    } else {
        missing.append(index); // still coming: blank until the loader reports it
    }
}

void TThumbnailGrid::OnPreview(int index, const QString& fileName, const TPreview& preview) {
    if (index < 0 || index >= ItemCount() || FullPath(index) != fileName) return;
    TThumbnail& item = FItems[size_t(index)];
    switch (preview.Status) {
    case TPreviewStatus::Ok:
        item.Bitmap = preview.Image;
        item.Info = preview.Info;
        break;
    case TPreviewStatus::Locked: item.Locked = true; break;
    case TPreviewStatus::Failed: item.Failed = true; break;
    }
    viewport()->update(CellRect(index % FColCount, index / FColCount));
    emit PreviewArrived(index);
}

void TThumbnailGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void TThumbnailGrid::scrollContentsBy(int, int) { viewport()->update(); }

void TThumbnailGrid::mousePressEvent(QMouseEvent* event) {
    int c, r;
    if (event->button() == Qt::LeftButton && CellAt(event->position().toPoint(), c, r)) {
        // A click on the current cell is a choice too (the file list may have nothing selected).
        if (c == FCol && r == FRow && r * FColCount + c < ItemCount())
            emit CellSelected(c, r);
        else
            SelectCell(c, r);
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void TThumbnailGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    int c, r;
    if (CellAt(event->position().toPoint(), c, r)) emit CellDoubleClicked(c, r);
    QAbstractScrollArea::mouseDoubleClickEvent(event);
}

void TThumbnailGrid::mouseMoveEvent(QMouseEvent* event) {
    if (FShowHint) {
        int c, r;
        const int index = CellAt(event->position().toPoint(), c, r) ? r * FColCount + c : -1;
        if (index >= 0 && index < ItemCount()) {
            QString text = FItems[size_t(index)].Info;
            QToolTip::showText(event->globalPosition().toPoint(), text.replace(QLatin1Char('\r'), QLatin1Char('\n')), viewport());
        } else {
            QToolTip::hideText();
        }
    }
    QAbstractScrollArea::mouseMoveEvent(event);
}

bool TThumbnailGrid::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) return true; // shown at once by mouse moves instead
    return QAbstractScrollArea::viewportEvent(event);
}

void TThumbnailGrid::keyPressEvent(QKeyEvent* event) {
    const int rowsPerPage = std::max(1, viewport()->height() / (RowHeight() + GridLineWidth));
    switch (event->key()) {
    case Qt::Key_Left: SelectCell(FCol - 1, FRow); break;
    case Qt::Key_Right: SelectCell(FCol + 1, FRow); break;
    case Qt::Key_Up: SelectCell(FCol, FRow - 1); break;
    case Qt::Key_Down: SelectCell(FCol, FRow + 1); break;
    case Qt::Key_PageUp: SelectCell(FCol, FRow - rowsPerPage); break;
    case Qt::Key_PageDown: SelectCell(FCol, FRow + rowsPerPage); break;
    case Qt::Key_Home: SelectCell(event->modifiers() & Qt::ControlModifier ? FCol : 0, event->modifiers() & Qt::ControlModifier ? 0 : FRow); break;
    case Qt::Key_End: SelectCell(event->modifiers() & Qt::ControlModifier ? FCol : FColCount - 1, event->modifiers() & Qt::ControlModifier ? FRowCount - 1 : FRow); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    event->accept();
}
