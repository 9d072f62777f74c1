#include "app/Batch.h"

#include "app/Browse.h"
#include "app/Dialogs.h"
#include "app/FileList.h"
#include "app/Main.h"
#include "tools/BatchConvFrm.h"

TBatchController::TBatchController(TMainForm& form) : QObject(&form), FForm(form) {
    form.Connect("ToolBatchConvAction", [this] { Run(0); });
    form.Connect("ToolHTMLAction", [this] { Run(1); });
}

void TBatchController::Run(int tag) {
    {
        TBatchConvForm dialog(&FForm, tag, FForm.GetBackgroundColor());
        Dialogs().Exec(dialog);
    }
    // The run may have added, renamed or removed files of the folder shown.
    FForm.FileList().Update(); // the browse controller selects the shown file again
    FForm.Browse().SyncThumbnails();
}
