// A dashed rectangle: the outline of an area drawn on the widget's bounds (the page setup's preview
// shows the margins with it). It never takes the mouse.
#pragma once

#include <QColor>
#include <QWidget>

class TDashedBox : public QWidget {
    Q_OBJECT
public:
    explicit TDashedBox(QWidget* parent = nullptr);

    QColor Color() const { return FColor; }
    void SetColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor FColor = Qt::black;
};
