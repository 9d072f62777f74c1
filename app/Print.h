// Printing: the printer setup, the page setup with its page options (kept for the session, never
// stored) and printing the shown picture on one page.
#pragma once

#include "tools/PageOpt.h"

#include <QObject>

#include <memory>

class QPrinter;
class TMainForm;

class TPrintController : public QObject {
    Q_OBJECT
public:
    explicit TPrintController(TMainForm& form);
    ~TPrintController() override;

    QPrinter& Printer();
    TPageOption& PageOption() { return FPageOption; }

private:
    TMainForm& FForm;
    TPageOption FPageOption;
    std::unique_ptr<QPrinter> FPrinter;
};
