#include "app/Help.h"

#include "app/Dialogs.h"
#include "app/Main.h"
#include "codec/Graphic.h"
#include "platform/HelpViewer.h"

#include <QCoreApplication>

THelpController::THelpController(TMainForm& form) : QObject(&form), FForm(form) {
    FHelpFile = HelpFolderFor(QCoreApplication::applicationFilePath());
    const auto show = [this](THelpPage page) {
        if (!ShowHelp(FHelpFile, page))
            throw EInvalidGraphicOperation(QStringLiteral("Cannot open the help file '%1'").arg(HelpPageFile(FHelpFile, page)));
    };
    form.Connect("HelpContentAction", [show] { show(THelpPage::hpContents); });
    form.Connect("HelpIndexItem", [show] { show(THelpPage::hpIndex); });
    form.Connect("HelpAboutItem", [this] {
        ShowMessage(&FForm, QMessageBox::NoIcon, QStringLiteral("About Lumenor"),
                    QStringLiteral("Lumenor\nVersion 1.65\n\nA viewer and converter for pictures, CAD drawings and plot files."));
    });
}
