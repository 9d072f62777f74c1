#include "tools/StretchLabel.h"

#include "codec/Resample.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

TStretchLabel::TStretchLabel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void TStretchLabel::SetText(const QString& text) {
    if (text == FText) return;
    FText = text;
    update();
}

void TStretchLabel::SetTextColor(const QColor& color) {
    if (color == FTextColor) return;
    FTextColor = color;
    update();
}

void TStretchLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) update();
    QWidget::changeEvent(event);
}

QImage TStretchLabel::Render(QSize size) const {
    if (FText.isEmpty() || size.isEmpty()) return QImage();
    const QFontMetrics metrics(font());
    const QSize natural(std::max(1, metrics.horizontalAdvance(FText)), std::max(1, metrics.height()));
    QImage text(natural, QImage::Format_ARGB32_Premultiplied);
    text.fill(Qt::transparent);
    {
        QPainter painter(&text);
        painter.setFont(font());
        painter.setPen(FTextColor);
        painter.drawText(QPoint(0, metrics.ascent()), FText);
    }
    if (natural == size) return text;
    return Resample(text, size, TResampleFilter::rfHermite);
}

void TStretchLabel::paintEvent(QPaintEvent*) {
    const QImage image = Render(size());
    if (image.isNull()) return;
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}
