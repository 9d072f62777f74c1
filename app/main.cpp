// The viewer: registers the formats, restores the current folder, shows the main window on the file
// named by the first argument, and stores the current folder after the event loop.
#include "app/Main.h"
#include "app/Setting.h"
#include "formats/Formats.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumenor v1.65"));
    InitializeFormats();
    // A relative argument names a file in the folder the program was started in, not the restored one.
    QString file;
    if (argc > 1) file = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    RestoreCurrentDir();
    int result = 0;
    {
        TMainForm form;
        form.show();
        if (!file.isEmpty()) form.OpenPicture(file);
        result = app.exec();
    }
    SaveCurrentDir();
    return result;
}
