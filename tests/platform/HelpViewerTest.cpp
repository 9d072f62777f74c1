#include "TestUtil.h"

#include "platform/HelpViewer.h"

#include <QDir>
#include <QTemporaryDir>

namespace {

void MakeManual(const QString& folder) {
    QDir().mkpath(folder);
    WriteFile(folder + QStringLiteral("/contents.html"), QByteArray("<html></html>"));
}

} // namespace

// The build folder keeps the manual beside the program; an installed program finds it under its prefix
// (wherever the prefix was moved to), else in the data folder of the prefix it was built for.
TEST(HelpViewer, FindsTheManualBesideTheProgramThenUnderItsPrefixThenInTheBuiltInFolder) {
    QTemporaryDir dir;
    const QString root = dir.path();
    const QString builtIn = root + QStringLiteral("/usr/share/lumenor");

    // Nothing anywhere.
    EXPECT_EQ(HelpFolderFor(root + QStringLiteral("/build/lumenor"), builtIn), QString());

    // The prefix the program was built for.
    MakeManual(builtIn + QStringLiteral("/manual"));
    EXPECT_EQ(HelpFolderFor(root + QStringLiteral("/opt/bin/lumenor"), builtIn), builtIn + QStringLiteral("/manual"));

    // Its own prefix comes first: a tree installed elsewhere uses its own manual.
    MakeManual(root + QStringLiteral("/opt/share/lumenor/manual"));
    EXPECT_EQ(HelpFolderFor(root + QStringLiteral("/opt/bin/lumenor"), builtIn),
              root + QStringLiteral("/opt/share/lumenor/manual"));

    // The build folder's copy beside the program wins over both.
    MakeManual(root + QStringLiteral("/opt/bin/manual"));
    EXPECT_EQ(HelpFolderFor(root + QStringLiteral("/opt/bin/lumenor"), builtIn), root + QStringLiteral("/opt/bin/manual"));

    // A folder without the contents page is no manual.
    QDir().mkpath(root + QStringLiteral("/empty/bin/manual"));
    EXPECT_EQ(HelpFolderFor(root + QStringLiteral("/empty/bin/lumenor"), QString()), QString());
    EXPECT_EQ(HelpPageFile(builtIn + QStringLiteral("/manual"), THelpPage::hpIndex), builtIn + QStringLiteral("/manual/index.html"));
}
