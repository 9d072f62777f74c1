// The first screen of previews of a 5,000-file folder with a warm thumbnail cache. Target: every cell of
// the first screen has its preview in under 0.5 s, counted from listing the folder (names sorted without
// regard to case, as the file list does) through TThumbnailGrid::LoadFileList and show until the last
// visible cell's preview arrived. The grid is 1000 x 600 with six 100 x 100 cells to a row (offscreen).
// Each of the runs uses a new grid and a new loader (nothing in memory), the disk cache stays warm. The
// first screen with an empty cache is timed once for comparison.
//
//   ThumbnailWarm [--count N] [--runs N] [--folder DIR]
//
// The pictures (800 x 600 photo-like JPEGs, quality 90, our own writer) are made once into
// /tmp/lumenor-bench-thumbwarm-v1-<N> (or DIR) and reused while that folder is complete. The thumbnail
// caches live in a private temporary folder ($XDG_CACHE_HOME is pointed at it).
#include "BenchPhoto.h"

#include "app/FileList.h"
#include "codec/Jpeg.h"
#include "codec/Registry.h"
#include "formats/Formats.h"
#include "tools/Thumbnail.h"
#include "tools/ThumbnailWidget.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <set>

namespace {

// Distinct names with mixed case, so the case-insensitive order differs from the byte order.
QString PhotoName(int i) {
    static const char* const prefixes[] = {"IMG_", "dsc", "Holiday ", "beach-", "Party_", "scan"};
    return QStringLiteral("%1%2.jpg").arg(QLatin1String(prefixes[i % 6])).arg(i, 5, 10, QLatin1Char('0'));
}

// The folder of count pictures; made once (a marker file records that it is complete).
bool EnsurePhotos(const QString& folder, int count) {
    const QString marker = QDir(folder).filePath(QStringLiteral(".complete"));
    if (QFile::exists(marker)) return true;
    QDir().mkpath(folder);
    std::printf("making %d photo-like 800 x 600 JPEGs (quality 90) in %s (once)...\n", count, qPrintable(folder));
    std::fflush(stdout);
    std::vector<QImage> bases;
    for (quint32 s = 0; s < 8; ++s) bases.push_back(MakePhoto(800, 600, 1000u + s * 7919u));
    for (int i = 0; i < count; ++i) {
        // A base photo with a few shapes of the picture's own colours on it: every file differs.
        QImage image = bases[size_t(i) % bases.size()].copy();
        {
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            quint32 seed = 77u + quint32(i) * 2654435761u;
            auto next = [&seed](int n) {
                seed = seed * 1664525u + 1013904223u;
                return int((seed >> 8) % quint32(n));
            };
            for (int k = 0; k < 4; ++k) {
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(next(256), next(256), next(256), 160 + next(96)));
                const QRect r(next(700), next(500), 40 + next(300), 40 + next(250));
                if (k % 2) p.drawEllipse(r);
                else p.drawRect(r);
            }
        }
        TJpegGraphic writer;
        writer.SetImage(image);
        writer.SetSaveOption(QStringLiteral("quality"), QStringLiteral("90"));
        try {
            writer.SaveToFileName(QDir(folder).filePath(PhotoName(i)));
        } catch (const Exception& e) {
            std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(PhotoName(i)), qPrintable(e.Message()));
            return false;
        }
    }
    QFile f(marker);
    return f.open(QIODevice::WriteOnly) && f.write(QByteArray::number(count)) > 0;
}

// Makes the previews of every file into the cache under cacheHome (as the viewer would, 100 x 100 cells).
bool WarmCache(const QStringList& paths, const QString& cacheHome) {
    TThumbnailLoader loader;
    TPreviewOptions o = loader.Options();
    o.Cell = QSize(100, 100);
    o.CacheRoot = cacheHome + QStringLiteral("/thumbnails");
    loader.SetOptions(o);
    int arrived = 0, failed = 0;
    QEventLoop loop;
    QObject::connect(&loader, &TThumbnailLoader::PreviewReady, &loop, [&](int, const QString&, const TPreview& p) {
        if (p.Status != TPreviewStatus::Ok) ++failed;
        if (++arrived == paths.size()) loop.quit();
    });
    loader.Load(paths);
    loader.RequestAll();
    loop.exec();
    if (failed) std::fprintf(stderr, "%d previews failed while warming the cache\n", failed);
    return failed == 0;
}

struct TScreen {
    double Ms = -1;
    int Visible = 0;
    int FromCache = 0;
    int Failed = 0;
};

// One first screen: list the folder, load the list into a new grid, show it and wait for every visible cell.
TScreen FirstScreen(const QString& folder) {
    TScreen result;
    QElapsedTimer timer;
    timer.start();
    // The viewer's own listing, with the "All images" filter.
    const QStringList names = TFileList::ReadFolder(folder, TFileMask(GraphicFilter().section(QLatin1Char('|'), 1, 1)));
    auto grid = std::make_unique<TThumbnailGrid>();
    grid->SetThumbCol(6);
    grid->SetThumbWidth(100);
    grid->SetThumbHeight(100);
    grid->resize(1000, 600);
    grid->LoadFileList(folder, names, 0);
    grid->show();

    // The cells the first screen shows (at least partly).
    std::set<int> pending;
    const QRect view = grid->viewport()->rect();
    for (int i = 0; i < grid->ItemCount(); ++i) {
        const QRect cell = grid->CellRect(i % grid->ColCount(), i / grid->ColCount());
        if (cell.top() >= view.height()) break;
        if (cell.intersects(view)) pending.insert(i);
    }
    const std::set<int> visible = pending;
    result.Visible = int(visible.size());

    QEventLoop loop;
    QObject::connect(&grid->Loader(), &TThumbnailLoader::PreviewReady, &loop,
                     [&](int index, const QString&, const TPreview& p) {
                         if (visible.count(index) && p.FromCache) ++result.FromCache;
                     });
    QObject::connect(grid.get(), &TThumbnailGrid::PreviewArrived, &loop, [&](int index) {
        if (pending.erase(index) && pending.empty()) loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (!pending.empty()) loop.exec();
    if (pending.empty()) result.Ms = double(timer.nsecsElapsed()) / 1e6;
    for (int i : visible)
        if (grid->Item(i).Failed || grid->Item(i).Bitmap.isNull()) ++result.Failed;
    return result;
}

int CountFiles(const QString& dir) { return int(QDir(dir).entryList(QDir::Files).size()); }

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // A private cache: set before anything asks where the cache is.
    QTemporaryDir cacheDir;
    if (!cacheDir.isValid()) return 1;
    const QString coldHome = cacheDir.filePath(QStringLiteral("cold")), warmHome = cacheDir.filePath(QStringLiteral("warm"));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(coldHome));
    QApplication app(argc, argv);
    InitializeFormats();

    QStringList args = app.arguments().mid(1);
    int count = 5000, runs = 5;
    QString folder;
    for (int i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--count")) count = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--runs")) runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--folder")) folder = args[i + 1];
        else {
            std::fprintf(stderr, "usage: ThumbnailWarm [--count N] [--runs N] [--folder DIR]\n");
            return 2;
        }
    }
    if (folder.isEmpty()) folder = QStringLiteral("/tmp/lumenor-bench-thumbwarm-v1-%1").arg(count);
    if (!EnsurePhotos(folder, count)) return 1;
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    if (names.size() != count) {
        std::fprintf(stderr, "%s holds %d files, not %d\n", qPrintable(folder), int(names.size()), count);
        return 1;
    }

    // Fonts and the platform are loaded once by the window before any folder is opened: not timed.
    {
        TThumbnailGrid grid;
        grid.resize(1000, 600);
        grid.show();
        QApplication::processEvents();
    }

    // Cold: an empty cache, every visible picture decoded (the files themselves are in the OS page cache).
    const TScreen cold = FirstScreen(folder);
    if (cold.Ms < 0 || cold.Failed) {
        std::fprintf(stderr, "cold first screen did not complete (%d failed)\n", cold.Failed);
        return 1;
    }
    std::printf("cold cache: first screen (%d cells) in %.1f ms\n", cold.Visible, cold.Ms);

    qputenv("XDG_CACHE_HOME", QFile::encodeName(warmHome));
    if (ThumbnailCacheRoot() != warmHome + QStringLiteral("/thumbnails")) {
        std::fprintf(stderr, "the cache root does not follow XDG_CACHE_HOME\n");
        return 1;
    }
    QStringList paths;
    for (const QString& n : names) paths << QDir(folder).filePath(n);
    QElapsedTimer warmTimer;
    warmTimer.start();
    if (!WarmCache(paths, warmHome)) return 1;
    const double warmMs = double(warmTimer.nsecsElapsed()) / 1e6;
    const QString normal = warmHome + QStringLiteral("/thumbnails/normal");
    const int entries = CountFiles(normal);
    std::printf("warming the cache: %d previews in %.1f s, %d entries in %s\n", count, warmMs / 1000, entries,
                qPrintable(normal));
    TCachedThumbnail probe;
    if (entries != count || !ReadCachedThumbnail(warmHome + QStringLiteral("/thumbnails"), QStringLiteral("normal"),
                                                 paths.last(), probe) ||
        probe.PictureSize != QSize(800, 600)) {
        std::fprintf(stderr, "the cache was not filled as expected\n");
        return 1;
    }

    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        const TScreen warm = FirstScreen(folder);
        if (warm.Ms < 0 || warm.Failed || warm.FromCache != warm.Visible) {
            std::fprintf(stderr, "warm run %d: %d of %d cells from the cache, %d failed\n", r + 1, warm.FromCache,
                         warm.Visible, warm.Failed);
            return 1;
        }
        std::printf("warm cache run %d: first screen (%d cells, all from the cache) in %.1f ms\n", r + 1, warm.Visible,
                    warm.Ms);
        std::fflush(stdout);
        times.push_back(warm.Ms);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2], worst = times.back();
    std::printf("%d files: cold first screen %.1f ms; warm first screen median %.1f ms, max %.1f ms (cold / warm %.1fx)\n",
                count, cold.Ms, median, worst, cold.Ms / median);
    std::printf("target < 500 ms: %s\n", worst < 500 ? "PASS" : "FAIL");
    return 0;
}
