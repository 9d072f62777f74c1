// A one-line label whose text is stretched to fill its bounds in both directions (smoothly, with a
// Hermite filter), drawn on a transparent background. "&" is shown as it is, never as an accelerator.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

class TStretchLabel : public QWidget {
    Q_OBJECT
public:
    explicit TStretchLabel(QWidget* parent = nullptr);

    QString Text() const { return FText; }
    void SetText(const QString& text);
    QColor TextColor() const { return FTextColor; }
    void SetTextColor(const QColor& color);

    // The text at its natural size in the widget's font, then stretched to size; null when either is empty.
    QImage Render(QSize size) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString FText;
    QColor FTextColor = Qt::black;
};
