#include "TestUtil.h"

#include "platform/DisplayModes.h"

#include <QProcess>
#include <QStandardPaths>

TEST(DisplayModes, EntriesAsTheListShowsThem) {
    TDisplayMode m{1024, 768, 32, 60, false, 7};
    EXPECT_EQ(DisplayModeText(m), QStringLiteral("1024 x 768 x 32 bit(True Color) Noninterlaced 60 HZ"));
    m.BitsPerPixel = 24;
    m.Frequency = 0;
    m.Interlaced = true;
    EXPECT_EQ(DisplayModeText(m), QStringLiteral("1024 x 768 x 24 bit(True Color) Interlaced"));
    EXPECT_EQ(DisplayModeText({640, 480, 4, 72, false, 0}), QStringLiteral("640 x 480 x 4 bit(16 colors) Noninterlaced 72 HZ"));
    EXPECT_EQ(DisplayModeText({640, 480, 8, 0, false, 0}), QStringLiteral("640 x 480 x 8 bit(256 colors) Noninterlaced"));
    EXPECT_EQ(DisplayModeText({800, 600, 16, 85, false, 0}), QStringLiteral("800 x 600 x 16 bit(High color) Noninterlaced 85 HZ"));
    EXPECT_EQ(DisplayModeText({800, 600, 15, 0, false, 0}), QStringLiteral("800 x 600 x 15 bit Noninterlaced"));
}

TEST(DisplayModes, EveryOutcomeHasItsMessage) {
    EXPECT_EQ(DisplayChangeMessage(TDisplayChange::Successful), QStringLiteral("The settings change was successful"));
    EXPECT_EQ(DisplayChangeMessage(TDisplayChange::Restart),
              QStringLiteral("The computer must be restarted in order for the display mode to work"));
    EXPECT_EQ(DisplayChangeMessage(TDisplayChange::BadParam), QStringLiteral("An invalid parameter was passed in"));
    EXPECT_EQ(DisplayChangeMessage(TDisplayChange::BadFlags), QStringLiteral("An invalid set of flags was passed in"));
    EXPECT_EQ(DisplayChangeMessage(TDisplayChange::NotUpdated), QStringLiteral("Unable to write settings to the registry"));
    EXPECT_EQ(DisplayChangeMessage(TDisplayChange::BadMode), QStringLiteral("The display mode is not supported"));
    EXPECT_EQ(DisplayChangeMessage(TDisplayChange::Failed), QStringLiteral("The display driver failed the specified display mode"));
    EXPECT_EQ(DisplayChangeMessage(TDisplayChange::Error), QStringLiteral("There are errors in setting the graphics mode"));
}

namespace {
class TCountingModes : public IDisplayModes {
public:
    std::vector<TDisplayMode> List{{800, 600, 32, 60, false, 1}, {1024, 768, 32, 60, false, 2}};
    int Changes = 0;
    std::vector<TDisplayMode> Modes() override { return List; }
    std::optional<TDisplayMode> Current() override { return List[0]; }
    TDisplayChange Change(const TDisplayMode&, bool) override {
        ++Changes;
        return TDisplayChange::Successful;
    }
    TDisplayChange RestoreDefault() override { return TDisplayChange::Successful; }
};
} // namespace

TEST(DisplayModes, AModeNotOfferedIsRefusedBeforeTheDisplayIsTouched) {
    TCountingModes modes;
    EXPECT_EQ(ChangeDisplayMode(modes, {1280, 1024, 32, 60, false, 3}, false), TDisplayChange::BadMode);
    // The same size under another id (a mode that went away and came back different) is refused too.
    EXPECT_EQ(ChangeDisplayMode(modes, {1024, 768, 32, 60, false, 9}, false), TDisplayChange::BadMode);
    EXPECT_EQ(modes.Changes, 0);
    EXPECT_EQ(ChangeDisplayMode(modes, {1024, 768, 32, 60, false, 2}, false), TDisplayChange::Successful);
    EXPECT_EQ(modes.Changes, 1);
}

TEST(DisplayModes, AFixedDisplayListsItsModeAndRefusesChanges) {
    TFixedDisplayModes fixed(TDisplayMode{1920, 1080, 24, 60, false, 0});
    ASSERT_EQ(fixed.Modes().size(), 1u);
    EXPECT_EQ(DisplayModeText(fixed.Modes()[0]), QStringLiteral("1920 x 1080 x 24 bit(True Color) Noninterlaced 60 HZ"));
    EXPECT_EQ(ChangeDisplayMode(fixed, fixed.Modes()[0], false), TDisplayChange::Error);
    EXPECT_EQ(fixed.RestoreDefault(), TDisplayChange::Error);
    EXPECT_TRUE(TFixedDisplayModes(std::nullopt).Modes().empty());
}

TEST(DisplayModes, NoXDisplayGivesNoXRandR) {
    EXPECT_EQ(OpenXRandRDisplayModes(QStringLiteral(":4999")), nullptr);
}

// The real XRandR layer against an X server of the test's own (Xvfb offers one fixed mode).
TEST(DisplayModes, XRandROnXvfb) {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    ASSERT_FALSE(xvfb.isEmpty()) << "Xvfb is not installed (scripts/install-deps installs it)";
    QProcess server;
    server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("800x600x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    ASSERT_TRUE(server.waitForStarted(10000));
    QByteArray number;
    while (!number.contains('\n') && server.waitForReadyRead(10000)) number += server.readAllStandardOutput();
    ASSERT_TRUE(number.contains('\n')) << "Xvfb did not report its display";
    const QString display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    {
        std::unique_ptr<IDisplayModes> modes = OpenXRandRDisplayModes(display);
        ASSERT_NE(modes, nullptr);
        const std::vector<TDisplayMode> list = modes->Modes();
        ASSERT_FALSE(list.empty());
        const std::optional<TDisplayMode> current = modes->Current();
        ASSERT_TRUE(current.has_value());
        EXPECT_EQ(current->Width, 800);
        EXPECT_EQ(current->Height, 600);
        EXPECT_EQ(current->BitsPerPixel, 32); // depth 24 is kept in 32-bit pixels
        bool listed = false;
        for (const TDisplayMode& m : list) listed = listed || (m.SameAs(*current) && m.Id == current->Id);
        EXPECT_TRUE(listed);
        EXPECT_EQ(ChangeDisplayMode(*modes, *current, false), TDisplayChange::Successful);
        // X keeps no mode for the next session: asking for it is reported, not passed over.
        EXPECT_EQ(ChangeDisplayMode(*modes, *current, true), TDisplayChange::NotUpdated);
        EXPECT_EQ(modes->RestoreDefault(), TDisplayChange::Successful);
        TDisplayMode unknown = *current;
        unknown.Id += 1000;
        EXPECT_EQ(modes->Change(unknown, false), TDisplayChange::BadMode);
    }
    server.terminate();
    server.waitForFinished(5000);
}
