// The viewer: registers the formats, restores the current folder, shows the main window on the file
// named by the first argument, and stores the current folder after the event loop.
#include "app/Main.h"
#include "app/Setting.h"
#include "formats/Formats.h"
#include "platform/HelpViewer.h"
#include "platform/LongPath.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // --help and --version answer without a display, before the toolkit is started.
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs("Usage: lumenor [FILE]\n"
                   "\n"
                   "Opens the Lumenor viewer on FILE, a picture, drawing, plot or video, or on the folder it was\n"
                   "last left in. Only the first argument is used.\n"
                   "\n"
                   "  --help      this text\n"
                   "  --version   the program's version\n"
                   "\n"
                   "Headless conversion, rendering and printing: lumenor-cli --help.\n",
                   stdout);
        // The manual the Help menu opens, found as the window finds it.
        const QString manual = HelpFolderFor(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath());
        if (manual.isEmpty())
            std::fputs("The manual is not installed beside the program.\n", stdout);
        else
            std::printf("The manual: %s\n", qPrintable(HelpPageFile(manual, THelpPage::hpContents)));
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("lumenor %s\n", LUMENOR_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    // The desktop entry the window belongs to (its icon and name in the task bar, on Wayland too).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.lumenor.Lumenor"));
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
