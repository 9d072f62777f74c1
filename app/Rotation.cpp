#include "app/Rotation.h"

#include "app/Browse.h"
#include "app/Dialogs.h"
#include "app/FileList.h"
#include "app/Main.h"
#include "tools/JpegTransform.h"
#include "tools/ThumbnailWidget.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalBlocker>

TRotationController::TRotationController(TMainForm& form) : QObject(&form), FForm(form) {
    form.Connect("ViewRotate90Action", [this] { RotateView(1); });
    form.Connect("ViewRotate180Action", [this] { RotateView(2); });
    form.Connect("ViewRotate270Action", [this] { RotateView(3); });
    form.Connect("ViewRotateFileLeftAction", [this] { RotateFile(3); });
    form.Connect("ViewRotateFileRightAction", [this] { RotateFile(1); });
}

void TRotationController::RotateView(int tag) {
    TBusyCursor busy;
    FForm.TurnView(tag);
}

void TRotationController::RotateFile(int quarterTurns) {
    const QString path = FForm.CurrentFile();
    if (path.isEmpty() || FForm.Loading() || !QFileInfo(path).isFile()) return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInvalidGraphicOperation(QStringLiteral("Cannot open '%1': %2").arg(path, file.errorString()));
    const TJpegTurnPlan plan = PlanJpegTurn(file.readAll(), quarterTurns);
    file.close();
    bool trim = false;
    if (!plan.Perfect) {
        // Losing a few rows or columns is the user's choice.
        if (AskQuestion(&FForm, QStringLiteral("Rotate File"),
                        EImperfectTransform(plan).Message() + QStringLiteral("\n\nTrim the edges and turn the picture?"),
                        QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
            return;
        trim = true;
    }
    {
        TBusyCursor busy;
        RotateJpegFile(path, path, quarterTurns, trim);
    }
    FForm.OpenPicture(path);
    // The grid shows the file as it now is.
    if (FForm.Browse().ThumbnailsShown()) {
        const TFileList& list = FForm.FileList();
        TThumbnailGrid* grid = FForm.ThumbnailGrid();
        const QSignalBlocker block(grid);
        grid->LoadFileList(list.Directory(), list.Items(), list.ItemIndex());
    }
}
