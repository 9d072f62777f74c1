#include "formats/Formats.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef LUMENOR_UI_TESTS
#include <QApplication>
using TApp = QApplication;
#else
#include <QGuiApplication>
using TApp = QGuiApplication;
#endif

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Previews made by the tests go to a cache of their own, never the user's.
    QTemporaryDir cache;
    if (cache.isValid()) qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    ::testing::InitGoogleTest(&argc, argv);
    TApp app(argc, argv);
    InitializeFormats();
    return RUN_ALL_TESTS();
}
