// The printer setup dialog: chooses the printer and its page settings for later printing.
#pragma once

#include <memory>

class QPrintDialog;
class QPrinter;
class QWidget;

// The dialog on the printer, ready to be run modally (accepted: the printer took the changes).
std::unique_ptr<QPrintDialog> MakePrinterSetupDialog(QWidget* parent, QPrinter& printer);
