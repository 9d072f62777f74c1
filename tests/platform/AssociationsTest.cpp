#include "TestUtil.h"

#include "platform/Associations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

class AssociationsTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString Data, Config;
    std::unique_ptr<TAssociations> A;
    const QString Program = QStringLiteral("/opt/lumenor/bin/lumenor");

    void SetUp() override {
        Data = Dir.filePath(QStringLiteral("data"));
        Config = Dir.filePath(QStringLiteral("config"));
        QDir().mkpath(Data + QStringLiteral("/applications"));
        QDir().mkpath(Config);
        A = std::make_unique<TAssociations>(Data, Config);
    }
    QString MimeApps() { return QString::fromUtf8(ReadFile(Config + QStringLiteral("/mimeapps.list"))); }
    void SetMimeApps(const QByteArray& text) { WriteFile(Config + QStringLiteral("/mimeapps.list"), text); }
    // A desktop entry of another program, so that xdg-mime takes it as installed.
    void InstallOther(const QString& id, const QString& mime) {
        WriteFile(Data + QStringLiteral("/applications/") + id,
                  ("[Desktop Entry]\nType=Application\nName=Other\nExec=other %f\nMimeType=" + mime + ";\n").toUtf8());
    }
    // What xdg-mime answers in the test's folders; nothing when it is not installed.
    std::optional<QString> XdgDefault(const QString& mime) {
        const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
        if (tool.isEmpty()) return std::nullopt;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), Config);
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), Dir.filePath(QStringLiteral("none")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), Data);
        env.insert(QStringLiteral("XDG_DATA_DIRS"), Dir.filePath(QStringLiteral("none")));
        env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
        env.remove(QStringLiteral("DESKTOP_SESSION"));
        env.remove(QStringLiteral("KDE_FULL_SESSION"));
        env.remove(QStringLiteral("GNOME_DESKTOP_SESSION_ID"));
        p.setProcessEnvironment(env);
        p.start(tool, {QStringLiteral("query"), QStringLiteral("default"), mime});
        p.waitForFinished(20000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
};

} // namespace

TEST(FileTypeRows, TheListAndItsExtensions) {
    const auto& rows = FileTypeRows();
    ASSERT_EQ(rows.size(), 34u);
    EXPECT_EQ(rows.front().Format, QStringLiteral("ANI"));
    EXPECT_EQ(rows[12].Description, QStringLiteral("HPGL&HPGL/2 Graphics"));
    EXPECT_EQ(rows[15].Extensions, QStringLiteral("JPE,JPEG,JPG,JFIF,JIF"));
    EXPECT_EQ(rows.back().Format, QStringLiteral("WMF"));
    EXPECT_EQ(SplitExtensions(QStringLiteral("HG,HGL, HPG PLO,,PLT")),
              QStringList({"HG", "HGL", "HPG", "PLO", "PLT"}));
    EXPECT_EQ(AssociationClassName(QStringLiteral(".JPG")), QStringLiteral("JPG_LN"));
    EXPECT_EQ(AssociationDescription(QStringLiteral("JPG")), QStringLiteral("Lumenor JPG Image"));
    EXPECT_TRUE(FileTypeIconPath(QStringLiteral("ICON")).endsWith(QStringLiteral("/lumenor-ICO.png")));
    EXPECT_TRUE(FileTypeIconPath(QStringLiteral("JPEG")).endsWith(QStringLiteral("/lumenor-JPE.png")));
}

TEST(FileTypeIcons, BandColourAndLetters) {
    const QImage whiteText = MakeFileTypeIcon(QStringLiteral("ANI"), 0, QImage());
    ASSERT_EQ(whiteText.size(), QSize(32, 32));
    EXPECT_EQ(whiteText.pixelColor(2, 10), QColor(0, 0, 0));   // the band's corners
    EXPECT_EQ(whiteText.pixelColor(29, 23), QColor(0, 0, 0));
    EXPECT_NE(whiteText.pixelColor(29, 24), QColor(0, 0, 0));  // just outside it
    EXPECT_NE(whiteText.pixelColor(1, 12), QColor(0, 0, 0));
    int white = 0;
    for (int y = 10; y < 24; ++y)
        for (int x = 2; x < 30; ++x) white += whiteText.pixelColor(x, y) == QColor(Qt::white);
    EXPECT_GT(white, 10) << "the letters are white on the first colour";

    // The second colour (one step: red in the low byte) takes black letters.
    const TColor c = kFileTypeIconStep;
    EXPECT_EQ(c, 493447u);
    const QImage blackText = MakeFileTypeIcon(QStringLiteral("AVI"), c, QImage());
    EXPECT_EQ(blackText.pixelColor(2, 10), QColor(int(c & 0xff), int((c >> 8) & 0xff), int((c >> 16) & 0xff)));
    int black = 0;
    for (int y = 10; y < 24; ++y)
        for (int x = 2; x < 30; ++x) black += blackText.pixelColor(x, y) == QColor(Qt::black);
    EXPECT_GT(black, 10);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("icons/lumenor-ANI.png"));
    ASSERT_TRUE(WriteFileTypeIcon(path, QStringLiteral("ANI"), 0, QImage()));
    EXPECT_TRUE(SamePixels(QImage(path), whiteText));
}

TEST_F(AssociationsTest, AnExtensionWithAPreviousHandlerGetsItBack) {
    InstallOther(QStringLiteral("other-viewer.desktop"), QStringLiteral("image/jpeg"));
    SetMimeApps("[Added Associations]\nimage/png=other-viewer.desktop;\n\n[Default Applications]\nimage/jpeg=other-viewer.desktop;\n");
    EXPECT_EQ(A->MimeTypeOf(QStringLiteral(".JPG")), QStringLiteral("image/jpeg"));
    EXPECT_FALSE(A->IsAssociated(QStringLiteral(".JPG")));

    ASSERT_TRUE(A->Associate(QStringLiteral(".JPG"), QStringLiteral("Lumenor JPG Image"), QStringLiteral("/icons/JPE.png"), Program));
    EXPECT_TRUE(A->IsAssociated(QStringLiteral(".JPG")));
    EXPECT_TRUE(A->IsAssociated(QStringLiteral(".jpeg"))) << "one type, one default";
    EXPECT_EQ(A->DefaultHandler(QStringLiteral("image/jpeg")), QStringLiteral("lumenor-JPG_LN.desktop"));
    EXPECT_EQ(A->SavedHandler(QStringLiteral("image/jpeg")), QStringLiteral("other-viewer.desktop"));
    EXPECT_TRUE(MimeApps().contains(QStringLiteral("image/jpeg=lumenor-JPG_LN.desktop;other-viewer.desktop;")));
    EXPECT_TRUE(MimeApps().contains(QStringLiteral("[Added Associations]\nimage/png=other-viewer.desktop;"))) << MimeApps().toStdString();
    const QString entry = QString::fromUtf8(ReadFile(A->ClassEntryPath(QStringLiteral(".JPG"))));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nComment=Lumenor JPG Image\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=\"/opt/lumenor/bin/lumenor\" %f\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nIcon=/icons/JPE.png\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nMimeType=image/jpeg;\n")));
    if (const auto answer = XdgDefault(QStringLiteral("image/jpeg"))) {
        EXPECT_EQ(*answer, QStringLiteral("lumenor-JPG_LN.desktop"));
    }

    // Twice, and once more through another extension of the same type: the other program stays kept.
    ASSERT_TRUE(A->Associate(QStringLiteral(".JPG"), QStringLiteral("Lumenor JPG Image"), QString(), Program));
    ASSERT_TRUE(A->Associate(QStringLiteral(".JPEG"), QStringLiteral("Lumenor JPEG Image"), QString(), Program));
    EXPECT_EQ(A->SavedHandler(QStringLiteral("image/jpeg")), QStringLiteral("other-viewer.desktop"));
    EXPECT_EQ(A->DefaultHandler(QStringLiteral("image/jpeg")), QStringLiteral("lumenor-JPEG_LN.desktop"));

    ASSERT_TRUE(A->Unassociate(QStringLiteral(".JPG")));
    ASSERT_TRUE(A->Unassociate(QStringLiteral(".JPEG")));
    EXPECT_EQ(A->DefaultHandler(QStringLiteral("image/jpeg")), QStringLiteral("other-viewer.desktop"));
    EXPECT_FALSE(A->IsAssociated(QStringLiteral(".JPG")));
    EXPECT_FALSE(QFileInfo::exists(A->ClassEntryPath(QStringLiteral(".JPG"))));
    EXPECT_FALSE(QFileInfo::exists(A->ClassEntryPath(QStringLiteral(".JPEG"))));
    EXPECT_FALSE(MimeApps().contains(QStringLiteral("lumenor-")));
    if (const auto answer = XdgDefault(QStringLiteral("image/jpeg"))) {
        EXPECT_EQ(*answer, QStringLiteral("other-viewer.desktop"));
    }
}

TEST_F(AssociationsTest, AnExtensionWithoutAHandlerIsRemovedCompletely) {
    ASSERT_TRUE(A->Associate(QStringLiteral(".PNG"), QStringLiteral("Lumenor PNG Image"), QString(), Program));
    EXPECT_TRUE(A->IsAssociated(QStringLiteral(".PNG")));
    EXPECT_TRUE(A->SavedHandler(QStringLiteral("image/png")).isEmpty());
    EXPECT_FALSE(QString::fromUtf8(ReadFile(A->ClassEntryPath(QStringLiteral(".PNG")))).contains(QStringLiteral("Icon=")));
    ASSERT_TRUE(A->Unassociate(QStringLiteral(".PNG")));
    EXPECT_FALSE(MimeApps().contains(QStringLiteral("image/png"))) << MimeApps().toStdString();
    EXPECT_FALSE(A->IsAssociated(QStringLiteral(".PNG")));
}

TEST_F(AssociationsTest, AnotherProgramsTypeIsLeftAlone) {
    SetMimeApps("[Default Applications]\nimage/gif=other-viewer.desktop;\n");
    ASSERT_TRUE(A->Unassociate(QStringLiteral(".GIF")));
    EXPECT_EQ(MimeApps(), QStringLiteral("[Default Applications]\nimage/gif=other-viewer.desktop;\n"));
    // Nothing at all without an extension or a program.
    ASSERT_TRUE(A->Associate(QStringLiteral(".GIF"), QStringLiteral("x"), QString(), QString()));
    ASSERT_TRUE(A->Associate(QString(), QStringLiteral("x"), QString(), Program));
    EXPECT_EQ(A->DefaultHandler(QStringLiteral("image/gif")), QStringLiteral("other-viewer.desktop"));
}

TEST_F(AssociationsTest, ATypeTheDatabaseLacksIsOurOwn) {
    EXPECT_EQ(A->MimeTypeOf(QStringLiteral(".AFI")), QStringLiteral("image/x-lumenor-afi"));
    ASSERT_TRUE(A->Associate(QStringLiteral(".AFI"), QStringLiteral("Lumenor AFI Image"), QString(), Program));
    const QString xml = QString::fromUtf8(ReadFile(Data + QStringLiteral("/mime/packages/lumenor-AFI_LN.xml")));
    EXPECT_TRUE(xml.contains(QStringLiteral("<mime-type type=\"image/x-lumenor-afi\">")));
    EXPECT_TRUE(xml.contains(QStringLiteral("<glob pattern=\"*.afi\"/>")));
    EXPECT_TRUE(xml.contains(QStringLiteral("<comment>Lumenor AFI Image</comment>")));
    EXPECT_TRUE(A->IsAssociated(QStringLiteral(".AFI")));
    if (!QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty()) {
        A->NotifyChanged();
        EXPECT_TRUE(QString::fromUtf8(ReadFile(Data + QStringLiteral("/mime/globs2"))).contains(QStringLiteral("image/x-lumenor-afi:*.afi")));
    }
    if (!QStandardPaths::findExecutable(QStringLiteral("update-desktop-database")).isEmpty()) {
        EXPECT_TRUE(QString::fromUtf8(ReadFile(Data + QStringLiteral("/applications/mimeinfo.cache")))
                        .contains(QStringLiteral("image/x-lumenor-afi=lumenor-AFI_LN.desktop;")));
    }
    ASSERT_TRUE(A->Unassociate(QStringLiteral(".AFI")));
    EXPECT_FALSE(QFileInfo::exists(Data + QStringLiteral("/mime/packages/lumenor-AFI_LN.xml")));
    EXPECT_FALSE(A->IsAssociated(QStringLiteral(".AFI")));
}

TEST(AssociationsExec, TheProgramPathIsQuotedByTheDesktopEntryRules) {
    EXPECT_EQ(TAssociations::ExecLine(QStringLiteral("/usr/bin/lumenor")), QStringLiteral("\"/usr/bin/lumenor\" %f"));
    EXPECT_EQ(TAssociations::ExecLine(QStringLiteral("/home/a b/$x\"y`z%/lumenor")),
              QStringLiteral("\"/home/a b/\\\\$x\\\\\"y\\\\`z%%/lumenor\" %f"));
    EXPECT_EQ(TAssociations::ExecLine(QStringLiteral("/a\\b")), QStringLiteral("\"/a\\\\\\\\b\" %f"));
}
