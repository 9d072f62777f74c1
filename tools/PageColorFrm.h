// The album's page colours: five swatches with their hexadecimal values and a preview of the page.
#pragma once

#include "tools/BatchConv.h"

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QFrame;

class TPageColorForm : public QDialog {
    Q_OBJECT
public:
    explicit TPageColorForm(QWidget* owner);

    // The colours the swatches show (red in the low byte).
    void SetColors(const TPageColors& colors);
    TPageColors Colors() const { return FColors; }

    // A swatch clicked: the colour dialog; its Cancel keeps the colour.
    void SwatchClick(int index);

    std::array<QPushButton*, 5> Swatches{};
    std::array<QLineEdit*, 5> Edits{};
    std::array<QLabel*, 5> Labels{};
    QFrame* pnlPreview = nullptr;
    std::array<QLabel*, 4> PreviewLabels{}; // colours 2 to 5
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    void Show();

    TPageColors FColors = DefaultPageColors;
};
