#include "app/Print.h"

#include "app/Dialogs.h"
#include "app/Main.h"
#include "platform/PrintSetupDialog.h"
#include "tools/PageSetupFrm.h"

#include <QPrintDialog>
#include <QPrinter>

TPrintController::TPrintController(TMainForm& form) : QObject(&form), FForm(form) {
    form.Connect("FilePrintSetupAction", [this] { Dialogs().Exec(*MakePrinterSetupDialog(&FForm, Printer())); });
    form.Connect("FilePageSetupAction", [this] {
        ExecutePageSetup(&FForm, FPageOption, Printer(), FForm.Picture().Graphic(), FForm.Zoom(),
                         FForm.GetBackgroundColor(),
                         FForm.ViewBitmapValid() && !FForm.ViewBitmapPartial() ? &FForm.ViewBitmap() : nullptr);
    });
    form.Connect("FilePrintAction", [this] {
        ExecutePrint(&FForm, Printer(), FPageOption, FForm.Picture().Graphic(), FForm.Zoom(),
                     FForm.GetBackgroundColor(), FForm.CurrentFile());
    });
}

TPrintController::~TPrintController() = default;

QPrinter& TPrintController::Printer() {
    if (!FPrinter) FPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *FPrinter;
}
