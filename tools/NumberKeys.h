// Number edits that take only digits: an event filter that lets digits, the extra characters a field
// allows and control keys (editing, moving, shortcuts) through; any other key beeps and is dropped.
#pragma once

#include <QObject>
#include <QString>

class QLineEdit;

class TNumberKeys : public QObject {
    Q_OBJECT
public:
    // Filters the keys of edit; extra: characters accepted beside the digits (e.g. "+-").
    static TNumberKeys* Install(QLineEdit* edit, const QString& extra = QString());

    // Whether a key press with this text and these modifiers reaches the edit.
    static bool Accepts(const QString& text, Qt::KeyboardModifiers modifiers, const QString& extra);

signals:
    // A key was dropped (after the beep).
    void Rejected(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TNumberKeys(QLineEdit* edit, const QString& extra);
    QString FExtra;
};
