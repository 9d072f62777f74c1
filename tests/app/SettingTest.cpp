#include "TestUtil.h"

#include "app/Setting.h"
#include "platform/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

class SettingsTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString File;
    void SetUp() override {
        File = Dir.filePath(QStringLiteral("settings.json"));
        TSettingsFile::SetDefaultFileName(File);
    }
    void TearDown() override { TSettingsFile::SetDefaultFileName(QString()); }
    void Store(const QByteArray& sectionsJson) {
        WriteFile(File, "{\"Software\":{\"Lumenor\":" + sectionsJson + "}}");
    }
    QJsonObject Section(const QString& name) {
        return QJsonDocument::fromJson(ReadFile(File)).object()["Software"].toObject()["Lumenor"].toObject()[name].toObject();
    }
};

TEST_F(SettingsTest, EmptyStoreGivesTheDefaults) {
    TSettings s;
    s.Interval = 99;
    LoadSettings(s);
    EXPECT_EQ(s, TSettings());
    EXPECT_EQ(s.Interval, 1);
    EXPECT_EQ(s.ThumbCol, 6);
    EXPECT_EQ(s.ThumbWidth, 100);
    EXPECT_EQ(s.BackgroundColor, 0u);
    EXPECT_EQ(s.Effects[4], 0xFFFFFFFFu);
    const TSystemFlags f = LoadSystemFlags();
    EXPECT_TRUE(f.ToolBarVisible);
    EXPECT_TRUE(f.StatusBarVisible);
    EXPECT_FALSE(f.FileListVisible);
    EXPECT_FALSE(f.ThumbnailVisible);
    EXPECT_EQ(PackDxfOptions(s), 16842752u);
}

TEST_F(SettingsTest, StringValuesParseAndStayStrings) {
    Store(R"({"SlideShow":{"Interval":"5","Type":"abc"},"Misc":{"WhiteBG":"0"}})");
    TSettings s;
    LoadSettings(s);
    EXPECT_EQ(s.Interval, 5);
    EXPECT_EQ(s.SlideType, 0);
    EXPECT_FALSE(s.WhiteBG);
    SaveSettings(s);
    const QJsonObject slide = Section(QStringLiteral("SlideShow"));
    EXPECT_TRUE(slide["Interval"].isString());
    EXPECT_EQ(slide["Interval"].toString(), QStringLiteral("5"));
    EXPECT_TRUE(Section(QStringLiteral("Thumbnail"))["Col"].isDouble());
    EXPECT_EQ(Section(QStringLiteral("Thumbnail"))["ShowHint"].toString(), QStringLiteral("1"));

    Store(R"({"SlideShow":{"Interval":"abc"}})");
    LoadSettings(s);
    EXPECT_EQ(s.Interval, 1);
}

TEST_F(SettingsTest, ValuesThatWouldBreakTheProgramReadAsDefaults) {
    Store(R"({"Thumbnail":{"Col":0,"Width":-5,"Height":"0"},"SlideShow":{"Type":7},"Misc":{"PhotoSize":3},
              "Dxf":{"LineWidth":0},"HPGL":{"LineWidth":256}})");
    TSettings s;
    LoadSettings(s);
    EXPECT_EQ(s, TSettings());
    Store(R"({"Thumbnail":{"Col":3},"Dxf":{"LineWidth":255,"DrawVertices":"1","FillSolid":1,"HideBlock":0}})");
    LoadSettings(s);
    EXPECT_EQ(s.ThumbCol, 3);
    EXPECT_EQ(PackDxfOptions(s), 0xFF000101u);
}

TEST_F(SettingsTest, RoundTripAndSystemFlags) {
    TSettings s;
    s.SlideType = 2;
    s.Effects[1] = 0x12345678;
    s.BackgroundColor = 0x00FF8040;
    s.HpglLineWidth = 7;
    SaveSettings(s);
    TSettings back;
    LoadSettings(back);
    EXPECT_EQ(back, s);
    SaveSystemFlags({false, true, true, false});
    const TSystemFlags f = LoadSystemFlags();
    EXPECT_FALSE(f.ToolBarVisible);
    EXPECT_TRUE(f.FileListVisible);
    EXPECT_EQ(Section(QStringLiteral("System"))["ToolBarVisible"].toString(), QStringLiteral("0"));
}

TEST_F(SettingsTest, DamagedFileIsKeptAsideNotOverwritten) {
    WriteFile(File, "{ not json");
    TSettings s;
    LoadSettings(s);
    EXPECT_EQ(s, TSettings());
    EXPECT_TRUE(QFile::exists(File + QStringLiteral(".bad")));
    EXPECT_EQ(ReadFile(File + QStringLiteral(".bad")), QByteArray("{ not json"));
}

TEST_F(SettingsTest, CurrentFolderIsRestoredWhenItExists) {
    const QString start = QDir::currentPath();
    QDir::setCurrent(Dir.path());
    SaveCurrentDir();
    QDir::setCurrent(QDir::rootPath());
    RestoreCurrentDir();
    EXPECT_EQ(QDir::currentPath(), QDir(Dir.path()).canonicalPath());
    TSettingsFile store;
    store.WriteString(QStringLiteral("Default"), QStringLiteral("CurrentDir"), Dir.filePath(QStringLiteral("gone")));
    store.Flush();
    RestoreCurrentDir();
    EXPECT_EQ(QDir::currentPath(), QDir(Dir.path()).canonicalPath());
    QDir::setCurrent(start);
}
