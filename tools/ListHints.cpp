#include "tools/ListHints.h"

#include <QHelpEvent>
#include <QListWidget>
#include <QToolTip>

TLongEntryHints::TLongEntryHints(QListWidget* list) : QObject(list), FList(list) {}

void TLongEntryHints::Install(QListWidget* list) { list->viewport()->installEventFilter(new TLongEntryHints(list)); }

QString TLongEntryHints::HintAt(const QListWidget* list, const QPoint& viewportPos) {
    const QListWidgetItem* item = list->itemAt(viewportPos);
    if (!item) return QString();
    const QRect cell = list->visualItemRect(item);
    // The text and the room the style leaves around it; cut off when it runs past the viewport's edges
    // (a narrow list, or one scrolled sideways).
    const int margin = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
    const int needed = list->fontMetrics().horizontalAdvance(item->text()) + margin;
    if (cell.left() >= 0 && cell.left() + needed <= list->viewport()->width()) return QString();
    return item->text();
}

bool TLongEntryHints::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString hint = HintAt(FList, help->pos());
        if (hint.isEmpty()) QToolTip::hideText();
        else QToolTip::showText(help->globalPos(), hint, FList->viewport());
        return true;
    }
    return QObject::eventFilter(watched, event);
}
