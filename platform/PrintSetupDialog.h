// The platform's printer dialogs: the printer setup (the printer and its page settings for later printing)
// and the print dialog of a print command.
#pragma once

#include <memory>

class QPrintDialog;
class QPrinter;
class QWidget;

// The dialog on the printer, ready to be run modally (accepted: the printer took the changes).
std::unique_ptr<QPrintDialog> MakePrinterSetupDialog(QWidget* parent, QPrinter& printer);

// The print dialog of a print command, ready to be run modally (accepted: print now).
std::unique_ptr<QPrintDialog> MakePrintDialog(QWidget* parent, QPrinter& printer);
