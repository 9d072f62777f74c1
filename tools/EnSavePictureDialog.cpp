#include "tools/EnSavePictureDialog.h"

#include "app/Dialogs.h"
#include "tools/FormatOptionFrm.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QPushButton>
#include <QToolTip>

TEnSavePictureDialog::TEnSavePictureDialog(QWidget* owner) : QFileDialog(owner) {
    setObjectName(QStringLiteral("EnSavePictureDialog"));
    // The toolkit's own dialog, so that a button can join it; prompts before overwriting.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    btnOption = new QPushButton(QStringLiteral("&Option"), this);
    btnOption->setObjectName(QStringLiteral("btnOption"));
    btnOption->setToolTip(QStringLiteral("Set the options for image types"));
    // Below Cancel, as wide as the other buttons.
    if (auto* box = findChild<QDialogButtonBox*>())
        box->addButton(btnOption, QDialogButtonBox::ActionRole);
    else if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(btnOption, grid->rowCount(), grid->columnCount() - 1);
    connect(btnOption, &QPushButton::clicked, this, [this] {
        if (OnOptionClick) OnOptionClick(this);
    });
    connect(this, &QFileDialog::filterSelected, this, &TEnSavePictureDialog::FilterSelected);
}

void TEnSavePictureDialog::SetFilter(const QString& filter) {
    FFilter = filter;
    FNameFilters.clear();
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        // A description that already ends with its single pattern in brackets is used as it stands.
        const bool named = !parts[i + 1].contains(QLatin1Char(';')) &&
                           description.endsWith(QLatin1Char('(') + parts[i + 1] + QLatin1Char(')'));
        FNameFilters << (named
                             ? description
                             : description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    setNameFilters(FNameFilters);
}

int TEnSavePictureDialog::FilterIndex() const { return int(FNameFilters.indexOf(selectedNameFilter())) + 1; }

void TEnSavePictureDialog::SetFilterIndex(int index) {
    if (index >= 1 && index <= FNameFilters.size()) selectNameFilter(FNameFilters[index - 1]);
}

QString TEnSavePictureDialog::FileName() const { return selectedFiles().value(0); }

void TEnSavePictureDialog::SetFileName(const QString& fileName) { selectFile(fileName); }

bool TEnSavePictureDialog::OptionEnabled() const { return btnOption->isEnabled(); }

void TEnSavePictureDialog::SetOptionEnabled(bool value) { btnOption->setEnabled(value); }

bool TEnSavePictureDialog::Execute() { return Dialogs().Exec(*this) == QDialog::Accepted; }

void TEnSavePictureDialog::done(int result) {
    QToolTip::hideText();
    QFileDialog::done(result);
}

void TEnSavePictureDialog::FilterSelected(const QString&) {
    if (OnTypeChange) OnTypeChange(this);
}

void TEnSavePictureDialog::PrepareForSave(int tag, TSaveSource source, const QString& shownFile, TPictureOption* options) {
    const TSaveDialogSetup setup = SaveDialogSetup(tag, source, shownFile);
    SetFilter(setup.Filter);
    SetFilterIndex(1);
    SetDefaultExt(setup.DefaultExt);
    if (!setup.FileName.isEmpty()) SetFileName(setup.FileName);
    SetOptionEnabled(SaveDialogOptionEnabled(tag, 1));
    OnTypeChange = [tag, source](TEnSavePictureDialog* d) {
        d->SetDefaultExt(SaveDialogDefaultExt(tag, source, d->FilterIndex()));
        d->SetOptionEnabled(SaveDialogOptionEnabled(tag, d->FilterIndex()));
    };
    OnOptionClick = [tag, source, options](TEnSavePictureDialog* d) {
        PrepareSaveOptions(*options, tag, source, d->FilterIndex());
        TOptionForm form(d, *options);
        Dialogs().Exec(form);
    };
}
