// The platform's printer setup dialog: chooses the printer and its page settings for later printing.
#pragma once

class QPrinter;
class QWidget;

// Shows the dialog modally on the printer; returns true when the user accepted the changes.
bool ShowPrinterSetup(QWidget* parent, QPrinter& printer);
