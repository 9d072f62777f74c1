// The viewer: registers the formats, restores the current folder, shows the main window on the file
// named by the first argument, and stores the current folder after the event loop.
#include "app/Main.h"
#include "app/Setting.h"
#include "formats/Formats.h"
#include "platform/LongPath.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // 1. Every format registers itself, then the start-up table.
    InitializeFormats();
    // A relative argument names a file in the folder the program was started in, so it is resolved
    // before the stored current folder is restored. Only the first argument is used.
    QStringList arguments = app.arguments().mid(1);
    if (!arguments.isEmpty()) arguments = QStringList{LongPathName(arguments.first())};
    // 2. The folder the viewer was left in.
    RestoreCurrentDir();
    // 3. The title, the main window, the event loop.
    QApplication::setApplicationName(QStringLiteral("Lumenor v1.65"));
    int result = 0;
    TMainForm form(arguments);
    form.showMaximized();
    result = app.exec();
    // 4. After the loop: the current folder; the window goes last.
    SaveCurrentDir();
    return result;
}
