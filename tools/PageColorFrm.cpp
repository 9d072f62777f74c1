#include "tools/PageColorFrm.h"

#include "app/Dialogs.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TPageColorForm::TPageColorForm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("PageColorForm"));
    setWindowTitle(QStringLiteral("Page color scheme"));
    auto* grid = new QGridLayout;
    for (int i = 0; i < 5; ++i) {
        Labels[i] = new QLabel(QLatin1Char('&') + PageColorNames()[i] + QLatin1Char(':'), this);
        Swatches[i] = new QPushButton(this);
        Swatches[i]->setFixedSize(18, 18);
        Swatches[i]->setAutoFillBackground(true);
        Swatches[i]->setObjectName(QStringLiteral("palColor%1").arg(i + 1));
        Labels[i]->setBuddy(Swatches[i]);
        Edits[i] = new QLineEdit(this);
        Edits[i]->setReadOnly(true);
        Edits[i]->setMaximumWidth(80);
        grid->addWidget(Labels[i], i, 0);
        grid->addWidget(Swatches[i], i, 1);
        grid->addWidget(Edits[i], i, 2);
        connect(Swatches[i], &QPushButton::clicked, this, [this, i] { SwatchClick(i); });
    }
    pnlPreview = new QFrame(this);
    pnlPreview->setFrameShape(QFrame::StyledPanel);
    pnlPreview->setAutoFillBackground(true);
    auto* preview = new QVBoxLayout(pnlPreview);
    for (int i = 0; i < 4; ++i) {
        PreviewLabels[i] = new QLabel(PageColorNames()[i + 1], pnlPreview);
        QFont font = PreviewLabels[i]->font();
        font.setPointSize(12);
        font.setBold(true);
        font.setUnderline(i > 0);
        PreviewLabels[i]->setFont(font);
        preview->addWidget(PreviewLabels[i]);
    }
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("Preview:"), this));
    right->addWidget(pnlPreview, 1);
    auto* top = new QHBoxLayout;
    top->addLayout(grid);
    top->addLayout(right, 1);
    btnOK = new QPushButton(QStringLiteral("&OK"), this);
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    Show();
}

void TPageColorForm::SetColors(const TPageColors& colors) {
    FColors = colors;
    Show();
}

void TPageColorForm::SwatchClick(int index) {
    const std::optional<QColor> chosen = Dialogs().ChooseColor(this, ToQColor(FColors[size_t(index)]), PageColorNames()[index]);
    if (!chosen) return;
    FColors[size_t(index)] = FromQColor(*chosen);
    Show();
}

void TPageColorForm::Show() {
    for (int i = 0; i < 5; ++i) {
        const QColor colour = ToQColor(FColors[size_t(i)]);
        Swatches[i]->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid black;").arg(colour.name()));
        QPalette palette = Swatches[i]->palette();
        palette.setColor(QPalette::Button, colour);
        Swatches[i]->setPalette(palette);
        Edits[i]->setText(QLatin1Char('#') + PageColorText(FColors[size_t(i)]));
    }
    QPalette back = pnlPreview->palette();
    back.setColor(QPalette::Window, ToQColor(FColors[0]));
    pnlPreview->setPalette(back);
    for (int i = 0; i < 4; ++i) {
        QPalette palette = PreviewLabels[i]->palette();
        palette.setColor(QPalette::WindowText, ToQColor(FColors[size_t(i + 1)]));
        PreviewLabels[i]->setPalette(palette);
    }
}
