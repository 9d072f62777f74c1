// Hints for list entries that do not fit: hovering over an entry wider than its list shows the entry's
// full text as a tooltip; entries that fit show none.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

class QListWidget;

class TLongEntryHints : public QObject {
public:
    // Shows the hints over list (the object lives as long as the list).
    static void Install(QListWidget* list);
    // The hint at a point of the list's viewport: the entry's text when it is cut off, else empty.
    static QString HintAt(const QListWidget* list, const QPoint& viewportPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit TLongEntryHints(QListWidget* list);
    QListWidget* FList;
};
