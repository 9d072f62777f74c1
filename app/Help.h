// The Help menu: the manual at its contents or index, and the About box.
#pragma once

#include <QObject>
#include <QString>

class TMainForm;

class THelpController : public QObject {
    Q_OBJECT
public:
    explicit THelpController(TMainForm& form);

    // The help folder: the manual shipped next to the program.
    const QString& HelpFile() const { return FHelpFile; }
    void SetHelpFile(const QString& path) { FHelpFile = path; }

private:
    TMainForm& FForm;
    QString FHelpFile;
};
