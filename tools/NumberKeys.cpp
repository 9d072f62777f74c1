#include "tools/NumberKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

TNumberKeys::TNumberKeys(QLineEdit* edit, const QString& extra) : QObject(edit), FExtra(extra) {}

TNumberKeys* TNumberKeys::Install(QLineEdit* edit, const QString& extra) {
    auto* filter = new TNumberKeys(edit, extra);
    edit->installEventFilter(filter);
    return filter;
}

bool TNumberKeys::Accepts(const QString& text, Qt::KeyboardModifiers modifiers, const QString& extra) {
    // Keys without text (arrows, Home, F-keys), control characters (Backspace, Tab, Return, Delete) and
    // shortcuts (Ctrl+C, Ctrl+V, Alt+letter) pass.
    if (text.isEmpty() || (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) return true;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7F) continue;
        if (u >= '0' && u <= '9') continue;
        if (extra.contains(c)) continue;
        return false;
    }
    return true;
}

bool TNumberKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!Accepts(key->text(), key->modifiers(), FExtra)) {
            QApplication::beep();
            emit Rejected(key->text());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
