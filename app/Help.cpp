#include "app/Help.h"

#include "app/Dialogs.h"
#include "app/Icons.h"
#include "app/Main.h"
#include "codec/Graphic.h"
#include "platform/HelpViewer.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QTextBrowser>

THelpController::THelpController(TMainForm& form)
    : QObject(&form), FForm(form), FOpenInBrowser([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
    FHelpFile = HelpFolderFor(QCoreApplication::applicationFilePath());
    form.Connect("HelpContentAction", [this] { Show(int(THelpPage::hpContents)); });
    form.Connect("HelpIndexItem", [this] { Show(int(THelpPage::hpIndex)); });
    form.Connect("HelpAboutItem", [this] {
        ShowMessage(&FForm, QMessageBox::NoIcon, QStringLiteral("About Lumenor"),
                    QStringLiteral("Lumenor\nVersion 1.65\n\nA viewer and converter for pictures, CAD drawings and plot files."));
    });
}

THelpController::~THelpController() {
    delete FWindow;
}

QTextBrowser* THelpController::HelpWindow() const {
    return FWindow;
}

void THelpController::Show(int page) {
    const QString file = HelpPageFile(FHelpFile, THelpPage(page));
    if (FHelpFile.isEmpty() || !QFileInfo(file).isFile())
        throw EInvalidGraphicOperation(QStringLiteral("Cannot open the help file '%1'").arg(file));
    const QUrl url = QUrl::fromLocalFile(file);
    if (FOpenInBrowser && FOpenInBrowser(url)) return;
    // No browser: the manual in a window of ours, its links followed inside it.
    if (!FWindow) {
        FWindow = new QTextBrowser;
        FWindow->setObjectName(QStringLiteral("HelpWindow"));
        FWindow->setAttribute(Qt::WA_DeleteOnClose);
        FWindow->setOpenExternalLinks(true);
        FWindow->setWindowIcon(ProgramIcon());
        FWindow->resize(760, 640);
        connect(FWindow, &QTextBrowser::sourceChanged, FWindow,
                [w = FWindow.data()] { w->setWindowTitle(QStringLiteral("Lumenor Help - ") + w->documentTitle()); });
    }
    FWindow->setSource(url);
    FWindow->show();
    FWindow->raise();
    FWindow->activateWindow();
}
