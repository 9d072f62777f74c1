#include "tools/DashedBox.h"

#include <QPainter>
#include <QPen>

TDashedBox::TDashedBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void TDashedBox::SetColor(const QColor& color) {
    if (color == FColor) return;
    FColor = color;
    update();
}

void TDashedBox::paintEvent(QPaintEvent*) {
    if (width() < 1 || height() < 1) return;
    QPainter painter(this);
    QPen pen(FColor, 0, Qt::DashLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // The outline runs on the outermost pixels of the bounds.
    painter.drawRect(0, 0, width() - 1, height() - 1);
}
