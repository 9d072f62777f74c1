// Starts the real viewer under a virtual X server on a picture, takes screenshots of the screen, and
// closes it with Escape.
#include "TestUtil.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

namespace {

int MaskShift(quint32 mask) {
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

// Counts the pixels of an X window dump (ZPixmap, true colour) that have the given colour.
qint64 CountColour(const QByteArray& xwd, QRgb colour) {
    if (xwd.size() < 100) return -1;
    const auto field = [&](int i) {
        return qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(xwd.constData()) + 4 * i);
    };
    const quint32 headerSize = field(0), format = field(2), width = field(4), height = field(5),
                  byteOrder = field(7), bitsPerPixel = field(11), bytesPerLine = field(12),
                  redMask = field(14), greenMask = field(15), blueMask = field(16), colours = field(19);
    if (format != 2 || width == 0 || (bitsPerPixel != 24 && bitsPerPixel != 32) ||
        bytesPerLine < width * (bitsPerPixel / 8))
        return -1;
    const qint64 start = qint64(headerSize) + qint64(colours) * 12;
    if (start + qint64(bytesPerLine) * height > xwd.size()) return -1;
    const int bytesPerPixel = int(bitsPerPixel / 8);
    qint64 count = 0;
    for (quint32 y = 0; y < height; ++y) {
        const uchar* line =
            reinterpret_cast<const uchar*>(xwd.constData()) + start + qint64(y) * bytesPerLine;
        for (quint32 x = 0; x < width; ++x) {
            const uchar* p = line + x * bytesPerPixel;
            quint32 v = 0;
            for (int b = 0; b < bytesPerPixel; ++b)
                v |= quint32(p[b]) << (8 * (byteOrder == 0 ? b : bytesPerPixel - 1 - b));
            const int r = int((v & redMask) >> MaskShift(redMask)),
                      g = int((v & greenMask) >> MaskShift(greenMask)),
                      bl = int((v & blueMask) >> MaskShift(blueMask));
            if (r == qRed(colour) && g == qGreen(colour) && bl == qBlue(colour)) ++count;
        }
    }
    return count;
}

QByteArray SolidPicture(int w, int h, QRgb c) {
    QByteArray bytes = QStringLiteral("P6\n%1 %2\n255\n").arg(w).arg(h).toLatin1();
    const char rgb[3] = {char(qRed(c)), char(qGreen(c)), char(qBlue(c))};
    for (int i = 0; i < w * h; ++i)
        bytes.append(rgb, 3);
    return bytes;
}

} // namespace

TEST(ViewerEndToEnd, ShowsThePictureNamedOnTheCommandLineZoomsWithTheKeypadAndClosesOnEscape) {
    for (const char* tool : {"xvfb-run", "xdotool", "xwd"})
        ASSERT_FALSE(QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            << tool << " is missing (scripts/install-deps installs it)";
    QTemporaryDir dir;
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("LUMENOR_KEEP_SHOTS"));
    ASSERT_TRUE(dir.isValid());
    const QString start = dir.filePath(QStringLiteral("start"));
    const QString stored = dir.filePath(QStringLiteral("stored"));
    const QString config = dir.filePath(QStringLiteral("config"));
    ASSERT_TRUE(QDir().mkpath(start) && QDir().mkpath(stored) &&
                QDir().mkpath(config + QStringLiteral("/lumenor")));
    const QRgb green = qRgb(10, 200, 30), red = qRgb(220, 20, 20);
    WriteFile(start + QStringLiteral("/pic.ppm"), SolidPicture(200, 150, green));
    // The stored current folder has a picture of the same name: the argument must not be taken from there.
    WriteFile(stored + QStringLiteral("/pic.ppm"), SolidPicture(200, 150, red));
    WriteFile(config + QStringLiteral("/lumenor/settings.json"),
              QStringLiteral("{\"Software\":{\"Lumenor\":{\"Default\":{\"CurrentDir\":\"%1\"}}}}")
                  .arg(stored)
                  .toUtf8());

    const QString script = QStringLiteral(
        "\"$LUMENOR\" pic.ppm & pid=$!\n"
        "wid=$(xdotool search --sync --name '^Lumenor v1.65$' | head -1)\n"
        "for i in 1 2 3 4 5 6 7 8 9 10; do sleep 0.5; xwd -root -silent > \"$SHOTS/shot$i.xwd\"; done\n"
        "xdotool windowfocus --sync \"$wid\"\n"
        // The keypad's zoom keys, as X11 delivers them.
        "xdotool key KP_Add; sleep 1; xwd -root -silent > \"$SHOTS/larger.xwd\"\n"
        "xdotool key KP_Multiply; sleep 1; xwd -root -silent > \"$SHOTS/actual.xwd\"\n"
        "xdotool key KP_Subtract; sleep 1; xwd -root -silent > \"$SHOTS/smaller.xwd\"\n"
        "xdotool key Escape\n"
        "wait $pid\n"
        "echo \"exit=$?\"\n");
    QProcess process;
    process.setWorkingDirectory(start);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LUMENOR"), QStringLiteral(LUMENOR_VIEWER));
    env.insert(QStringLiteral("SHOTS"), dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("timeout"),
                  {QStringLiteral("90"), QStringLiteral("xvfb-run"), QStringLiteral("-a"),
                   QStringLiteral("-s"), QStringLiteral("-screen 0 1024x768x24"), QStringLiteral("sh"),
                   QStringLiteral("-c"), script});
    ASSERT_TRUE(process.waitForFinished(120000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("exit=0"))) << out.toStdString() << err.toStdString();

    qint64 best = 0, redSeen = 0;
    for (int i = 1; i <= 10; ++i) {
        const QByteArray shot = ReadFile(dir.filePath(QStringLiteral("shot%1.xwd").arg(i)));
        best = std::max(best, CountColour(shot, green));
        redSeen = std::max(redSeen, CountColour(shot, red));
    }
    EXPECT_EQ(best, 200 * 150) << "the picture is shown whole, at its own size";
    EXPECT_EQ(redSeen, 0);
    // Keypad plus enlarges by the zoom step (1.4, each side truncated), keypad times shows the actual
    // size again, keypad minus shrinks by the step.
    const qint64 larger = CountColour(ReadFile(dir.filePath(QStringLiteral("larger.xwd"))), green);
    EXPECT_GE(larger, 279 * 209);
    EXPECT_LE(larger, 280 * 210);
    EXPECT_EQ(CountColour(ReadFile(dir.filePath(QStringLiteral("actual.xwd"))), green), 200 * 150);
    const qint64 smaller = CountColour(ReadFile(dir.filePath(QStringLiteral("smaller.xwd"))), green);
    EXPECT_GE(smaller, 142 * 107);
    EXPECT_LE(smaller, 143 * 108);

    // The panels were stored at the close and the current folder after the event loop: opening the
    // picture moved the file list, and with it the current folder, to the picture's folder.
    const QJsonObject root =
        QJsonDocument::fromJson(ReadFile(config + QStringLiteral("/lumenor/settings.json"))).object();
    const QJsonObject lumenor =
        root[QStringLiteral("Software")].toObject()[QStringLiteral("Lumenor")].toObject();
    EXPECT_EQ(lumenor[QStringLiteral("System")].toObject()[QStringLiteral("ToolBarVisible")].toString(),
              QStringLiteral("1"));
    EXPECT_EQ(
        QFileInfo(lumenor[QStringLiteral("Default")].toObject()[QStringLiteral("CurrentDir")].toString())
            .canonicalFilePath(),
        QFileInfo(start).canonicalFilePath());
}
