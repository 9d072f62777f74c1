// Every fixture, cut short at several points, loads as a (possibly shorter) picture or fails with one of
// the program's exceptions: never a crash, a foreign exception or a hang.
#include "TestUtil.h"

#include "app/PictureEx.h"
#include "codec/Graphic.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>

namespace {
QStringList Fixtures() {
    QStringList files;
    for (const QString& root : {DataPath(QString()), DataPath(QStringLiteral("../../fuzz/corpus"))}) {
        QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString f = it.next();
            const QString suffix = QFileInfo(f).suffix().toLower();
            if (suffix == QLatin1String("md") || suffix == QLatin1String("py") ||
                suffix == QLatin1String("sh") || suffix == QLatin1String("txt"))
                continue;
            files << f;
        }
    }
    files.sort();
    return files;
}
} // namespace

TEST(Truncation, EveryFixtureCutShortLoadsOrFailsCleanly) {
    QTemporaryDir dir;
    int checked = 0;
    for (const QString& fixture : Fixtures()) {
        TPictureEx original;
        try {
            original.LoadFromFileName(fixture);
        } catch (const Exception&) {
            continue; // fixtures that are meant to fail are tested by their own suites
        }
        const QByteArray bytes = ReadFile(fixture);
        const qint64 n = bytes.size();
        const QString name = dir.filePath(QStringLiteral("cut.") + QFileInfo(fixture).fileName());
        for (qint64 cut : {qint64(0), qint64(1), qint64(8), qint64(32), n / 4, n / 2, (3 * n) / 4, n - 1}) {
            if (cut < 0 || cut >= n) continue;
            WriteFile(name, bytes.left(cut));
            TPictureEx picture;
            QElapsedTimer timer;
            timer.start();
            try {
                picture.LoadFromFileName(name);
                if (picture.Graphic() && !picture.Graphic()->IsEmpty()) {
                    // A picture that loads must be drawable.
                    QImage target(32, 32, QImage::Format_RGB32);
                    QPainter painter(&target);
                    picture.Graphic()->DrawTo(painter, QRect(0, 0, 32, 32));
                }
            } catch (const Exception&) {
            } catch (const std::exception& e) {
                ADD_FAILURE() << fixture.toStdString() << " cut at " << cut << ": foreign exception "
                              << e.what();
            }
            EXPECT_LT(timer.elapsed(), 10000) << fixture.toStdString() << " cut at " << cut;
            ++checked;
        }
    }
    std::cout << "[ info ] " << checked << " truncated fixtures checked\n";
}
