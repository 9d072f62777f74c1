#include "TestUtil.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

// The commands of the overall usage.
QStringList UsageCommands() {
    QString out;
    RunCli({QStringLiteral("--help")}, &out);
    QStringList commands;
    const QString list = out.section(QStringLiteral("Commands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0);
    for (const QString& line : list.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("  ")) && !line.startsWith(QLatin1String("   ")))
            commands << line.trimmed().section(QLatin1Char(' '), 0, 0);
    return commands;
}

} // namespace

TEST(CompletionCli, ScriptsOfferEveryCommandOfTheTableAndRefuseUnknownShells) {
    QString bash, zsh, man, err;
    ASSERT_EQ(RunCli({QStringLiteral("--generate"), QStringLiteral("bash")}, &bash), 0);
    ASSERT_EQ(RunCli({QStringLiteral("--generate"), QStringLiteral("zsh")}, &zsh), 0);
    ASSERT_EQ(RunCli({QStringLiteral("--generate"), QStringLiteral("man")}, &man), 0);
    const QStringList commands = UsageCommands();
    ASSERT_GE(commands.size(), 8);
    const QRegularExpression bashCommands(QStringLiteral("COMPREPLY=\\(\\$\\(compgen -W \"([a-z ]+)\" -- \"\\$cur\"\\)\\)\\n        fi"));
    const QRegularExpressionMatch m = bashCommands.match(bash);
    ASSERT_TRUE(m.hasMatch());
    EXPECT_EQ(m.captured(1).split(QLatin1Char(' ')), commands);
    for (const QString& c : commands) {
        EXPECT_TRUE(zsh.contains(QStringLiteral("\n        %1)\n").arg(c))) << c.toStdString();
        EXPECT_TRUE(man.contains(QStringLiteral(".SS %1\n").arg(c))) << c.toStdString();
    }
    EXPECT_EQ(RunCli({QStringLiteral("--generate"), QStringLiteral("fish")}, nullptr, &err), 2);
    EXPECT_EQ(err, QStringLiteral("lumenor-cli: --generate needs bash, zsh or man\n"));
}

// The save option keys the completion offers per extension come from convert's usage: every one of them
// must be a key that extension's writer knows, or the completion (and the usage) lie.
TEST(CompletionCli, EveryWriterKeyOfferedIsAKeyTheWriterKnows) {
    QString bash;
    ASSERT_EQ(RunCli({QStringLiteral("--generate"), QStringLiteral("bash")}, &bash), 0);
    const QString keysFunction = bash.section(QStringLiteral("_lumenor_cli_keys() {"), 1).section(QStringLiteral("\n}\n"), 0, 0);
    const QRegularExpression branch(QStringLiteral("^        ([a-z0-9|]+)\\) echo \"([a-z -]+)\" ;;$"), QRegularExpression::MultilineOption);
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.ppm"));
    WriteFile(in, QByteArray("P3\n2 2\n255\n0 0 0 255 0 0 0 255 0 0 0 255\n"));
    int checked = 0;
    QStringList extensions;
    for (auto it = branch.globalMatch(keysFunction); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        for (const QString& ext : m.captured(1).split(QLatin1Char('|'))) {
            extensions << ext;
            // AVI keys belong to the animation paths (tested with the AVI writer), as do the animated
            // GIF's own two keys.
            if (ext == QLatin1String("avi")) continue;
            for (const QString& key : m.captured(2).split(QLatin1Char(' '))) {
                if (ext == QLatin1String("gif") && (key == QLatin1String("transparent") || key == QLatin1String("optimize-palette")))
                    continue;
                QStringList args{QStringLiteral("convert"), in, dir.filePath(QStringLiteral("out.") + ext),
                                 QStringLiteral("--option"), key + QStringLiteral("=@")};
                if (ext == QLatin1String("cif")) args = QStringList{QStringLiteral("--password"), QStringLiteral("x")} + args;
                QString err;
                RunCli(args, nullptr, &err);
                EXPECT_FALSE(err.contains(QStringLiteral("no option '%1'").arg(key)))
                    << ext.toStdString() << " " << key.toStdString() << ": " << err.toStdString();
                ++checked;
            }
        }
    }
    for (const char* ext : {"jpg", "png", "tif", "gif", "ico", "pcx", "tga", "ppm", "wmf", "cif", "avi"})
        EXPECT_TRUE(extensions.contains(QLatin1String(ext))) << ext;
    EXPECT_GE(checked, 30);
}
