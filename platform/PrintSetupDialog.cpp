#include "platform/PrintSetupDialog.h"

#include <QPrintDialog>
#include <QPrinter>

std::unique_ptr<QPrintDialog> MakePrinterSetupDialog(QWidget* parent, QPrinter& printer) {
    auto dialog = std::make_unique<QPrintDialog>(&printer, parent);
    dialog->setWindowTitle(QStringLiteral("Print Setup"));
    // Setting up: choose the printer and its options, no page range or copies to print now.
    dialog->setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog->setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog->setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog->setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog;
}

std::unique_ptr<QPrintDialog> MakePrintDialog(QWidget* parent, QPrinter& printer) {
    auto dialog = std::make_unique<QPrintDialog>(&printer, parent);
    // One page is printed: there is no range, selection or current page to choose.
    dialog->setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog->setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog->setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog->setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog;
}
