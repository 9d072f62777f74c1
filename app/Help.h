// The Help menu: the manual at its contents or index, and the About box. The manual opens in the
// desktop's browser; where none can be started, in a window of ours.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class QTextBrowser;
class TMainForm;

class THelpController : public QObject {
    Q_OBJECT
public:
    explicit THelpController(TMainForm& form);
    ~THelpController() override;

    // The help folder: the manual shipped next to the program.
    const QString& HelpFile() const { return FHelpFile; }
    void SetHelpFile(const QString& path) { FHelpFile = path; }
    // How a page reaches the desktop's browser (tests replace it); false when no browser started.
    void SetBrowserOpener(std::function<bool(const QUrl&)> opener) { FOpenInBrowser = std::move(opener); }
    // The window of ours that shows the manual when no browser can (null until it is needed).
    QTextBrowser* HelpWindow() const;

private:
    void Show(int page);

    TMainForm& FForm;
    QString FHelpFile;
    std::function<bool(const QUrl&)> FOpenInBrowser;
    QPointer<QTextBrowser> FWindow;
};
