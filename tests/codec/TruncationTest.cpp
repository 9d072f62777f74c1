// Every fixture, cut short at several points, loads or fails with one of the program's exceptions: never
// a crash, a foreign exception or a hang. A raster picture that loads keeps the size of the whole file's
// picture, and when it shows anything else than the whole file does, it says that it was truncated
// (the per-format tests check that the rows that arrived are the whole file's).
#include "TestUtil.h"

#include "app/PictureEx.h"
#include "codec/DibGraphic.h"
#include "codec/Graphic.h"
#include "codec/Ico.h"
#include "formats/raster/Ani.h"
#include "formats/raster/Cur.h"
#include "formats/raster/WBMP.h"

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

bool MultiImage(const TGraphic& g) { return dynamic_cast<const TIcon*>(&g) || dynamic_cast<const TCursorGraphic*>(&g); }

bool IsRaster(const TGraphic& g) {
    return dynamic_cast<const TDibGraphic*>(&g) || dynamic_cast<const TAniGraphic*>(&g) ||
           dynamic_cast<const TWBitmap*>(&g);
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
        const TGraphic* whole = original.Graphic();
        const bool raster = whole && !whole->IsEmpty() && IsRaster(*whole);
        const QSize wholeSize = raster ? QSize(whole->Width(), whole->Height()) : QSize();
        const QImage wholeImage = raster ? whole->ToImage() : QImage();
        const QString name = dir.filePath(QStringLiteral("cut.") + QFileInfo(fixture).fileName());
        for (qint64 cut : {qint64(0), qint64(1), qint64(8), qint64(32), n / 4, n / 2, (3 * n) / 4, n - 1}) {
            if (cut < 0 || cut >= n) continue;
            WriteFile(name, bytes.left(cut));
            TPictureEx picture;
            QElapsedTimer timer;
            timer.start();
            try {
                picture.LoadFromFileName(name);
                const TGraphic* g = picture.Graphic();
                if (g && !g->IsEmpty()) {
                    // A picture that loads must be drawable.
                    QImage target(32, 32, QImage::Format_RGB32);
                    QPainter painter(&target);
                    g->DrawTo(painter, QRect(0, 0, 32, 32));
                }
                if (raster && g && !g->IsEmpty() && g->ClassType() == whole->ClassType()) {
                    // Icons and cursors show the best of their images that arrived: another one than
                    // the whole file's when the cut took that one away entirely (they say so).
                    if (!(MultiImage(*g) && g->Truncated()))
                        EXPECT_EQ(QSize(g->Width(), g->Height()), wholeSize)
                            << fixture.toStdString() << " cut at " << cut << " (" << n << " bytes)";
                    if (!g->Truncated())
                        EXPECT_TRUE(SamePixels(g->ToImage(), wholeImage))
                            << fixture.toStdString() << " cut at " << cut
                            << ": differs from the whole file's picture but does not say it was truncated";
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
