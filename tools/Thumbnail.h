// Previews of picture files: the fit rectangle, the preview maker (scaled JPEG decoding, the picture
// container for everything else, a lock placeholder for encrypted files), the desktop's shared
// thumbnail cache ($XDG_CACHE_HOME/thumbnails) and a loader that makes previews on a thread pool.
#pragma once

#include "codec/Graphic.h"

#include <QDateTime>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <vector>

class QThreadPool;

// The largest rectangle with the picture's aspect ratio centred in dest (sizes truncated). False when
// dest is empty or the picture has no width or height; fit is then left as it was.
bool CalcFitRect(const QRect& dest, QSize picture, QRect& fit);
bool CalcFitRect(const QRect& dest, const TGraphic* graphic, QRect& fit);

// The tooltip text of a preview: "<size shr 10>K", "W x H" and the local last-write time in the
// desktop's short date and long time, joined by carriage returns.
QString ThumbnailInfoText(qint64 fileSize, QSize picture, const QDateTime& lastWrite);

// The lock picture shown for encrypted files, drawn into size (transparent around it).
QImage LockPlaceholder(QSize size);

// Encrypted containers are never opened for a preview.
bool IsLockedPictureFile(const QString& fileName);

// --- The shared thumbnail cache -------------------------------------------------------------------

// $XDG_CACHE_HOME/thumbnails (or ~/.cache/thumbnails).
QString ThumbnailCacheRoot();
// The canonical URI of a local file ("file:///..." percent-encoded) and the cache file name for it.
QByteArray ThumbnailUri(const QString& fileName);
QString ThumbnailCacheName(const QString& fileName); // md5 of the URI in hex + ".png"
// The cache flavour for a cell: "normal" (up to 128) or "large" (up to 256); empty when the cell is larger.
QString ThumbnailFlavour(QSize cell);
int ThumbnailFlavourSize(const QString& flavour);

struct TCachedThumbnail {
    QImage Image;
    QSize PictureSize; // Thumb::Image::Width/Height, when stored
};
// Reads the cache entry of fileName when it exists, names the file's URI and its Thumb::MTime equals the
// file's current modification time (seconds since 1970).
bool ReadCachedThumbnail(const QString& root, const QString& flavour, const QString& fileName, TCachedThumbnail& out);
// Writes a cache entry (PNG with Thumb::URI, Thumb::MTime, Thumb::Size, Thumb::Image::Width/Height and
// Software as tEXt chunks) through a temporary file renamed into place. False when it cannot be written.
bool WriteCachedThumbnail(const QString& root, const QString& flavour, const QString& fileName,
                          const QImage& thumbnail, QSize pictureSize);
// The PNG bytes of a cache entry (image plus tEXt chunks in the order given).
QByteArray EncodePngWithText(const QImage& image, const QList<QPair<QByteArray, QByteArray>>& texts);

// --- The preview maker ----------------------------------------------------------------------------

enum class TPreviewStatus { Ok, Locked, Failed };

struct TPreview {
    TPreviewStatus Status = TPreviewStatus::Failed;
    QImage Image;       // fitted into the cell (the fit rectangle's size); alpha kept
    QSize PictureSize;  // the picture's own size
    QString Info;       // the tooltip text (empty for locked and failed files)
    QString Error;      // why it failed
    bool FromCache = false;
};

struct TPreviewOptions {
    QSize Cell{100, 100};
    QString CacheRoot; // empty: the cache is neither read nor written
    TColor Background = 0xFFFFFF; // behind vector drawings
};

// Makes the preview of one file; never throws. Safe to call from any thread once the formats are registered.
TPreview MakePreview(const QString& fileName, const TPreviewOptions& options);

// --- The loader -----------------------------------------------------------------------------------

// Makes previews of a list of files on its own thread pool and reports each through the queued signal
// PreviewReady (delivered on the loader's thread). Files asked for last go first (the visible cells); a
// file that failed is not tried again until the next Load.
class TThumbnailLoader : public QObject {
    Q_OBJECT
public:
    explicit TThumbnailLoader(QObject* parent = nullptr);
    ~TThumbnailLoader() override; // drops the queue and waits for the running previews

    void SetOptions(const TPreviewOptions& options);
    TPreviewOptions Options() const;
    void SetThreadCount(int n);

    // A new list of files (full paths): forgets the queue, the results and the failures.
    void Load(const QStringList& files);
    // Queues the given indices ahead of the others, in the given order; indices already made, failed,
    // running or out of range are skipped.
    void Request(const QList<int>& indices);
    void RequestAll();
    // Forgets the made previews (not the failures), e.g. after the cell size changed.
    void ForgetMade();

    int Count() const;
    bool HasFailed(int index) const;
    bool IsIdle() const; // nothing queued and nothing running
    // Blocks until nothing is queued or running (used by the command line and tests).
    void WaitForDone();

signals:
    void PreviewReady(int index, const QString& fileName, const TPreview& preview);

private:
    enum TState : quint8 { stNone, stQueued, stRunning, stDone, stFailed };
    void Work();
    void Deliver(quint64 generation, int index, const QString& fileName, const TPreview& preview);

    mutable QMutex FLock;
    std::unique_ptr<QThreadPool> FPool;
    QStringList FFiles;
    std::vector<TState> FState;
    std::deque<int> FQueue;
    TPreviewOptions FOptions;
    quint64 FGeneration = 0;
    int FRunning = 0;
    int FWorkers = 0;
};

Q_DECLARE_METATYPE(TPreview)
