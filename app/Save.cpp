#include "app/Save.h"

#include "app/Browse.h"
#include "app/Dialogs.h"
#include "app/FileList.h"
#include "app/Main.h"
#include "tools/ConvertFmt.h"
#include "tools/EnSavePictureDialog.h"

#include <QFileInfo>

TSaveController::TSaveController(TMainForm& form) : QObject(&form), FForm(form) {
    form.Connect("FileSaveAsAction", [this] { SaveAs(0); });
    form.Connect("FileMultiSaveAsAction", [this] { SaveAs(1); });
}

void TSaveController::SaveAs(int tag) {
    TGraphic* graphic = FForm.Picture().Graphic();
    if (!graphic || graphic->IsEmpty()) return;
    const QString shown = FForm.CurrentFile();
    TEnSavePictureDialog dialog(&FForm);
    dialog.PrepareForSave(tag, SaveSourceOf(graphic), shown, &FPictureOption);
    if (!dialog.Execute()) return;
    const QString target = dialog.FileName();
    TSaveResult result;
    {
        TBusyCursor busy;
        result = SavePictureAs(graphic, target, FPictureOption, tag, FForm.GetBackgroundColor(), shown);
    }
    ShowMessage(&FForm, result.Saved ? QMessageBox::Information : QMessageBox::Critical, result.Title, result.Message,
                result.Detail);
    // A new file in the folder shown is listed; the picture shown stays selected.
    if (result.Saved && QFileInfo(target).absolutePath() == FForm.FileList().Directory()) {
        FForm.FileList().Update();
        if (!shown.isEmpty() && QFileInfo(shown).isFile()) FForm.FileList().SelectPath(shown);
    }
}
