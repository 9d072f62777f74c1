// The platform's printer dialogs: the printer setup (the printer and its page settings for later printing)
// and the print dialog of a print command.
#pragma once

class QPrinter;
class QWidget;

// Shows the dialog modally on the printer; returns true when the user accepted the changes.
bool ShowPrinterSetup(QWidget* parent, QPrinter& printer);

// The print dialog of a print command, modal on the printer; true when the user confirmed printing.
bool ShowPrintDialog(QWidget* parent, QPrinter& printer);
