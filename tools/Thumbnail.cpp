#include "tools/Thumbnail.h"

#include "codec/DibGraphic.h"
#include "codec/Jpeg.h"
#include "codec/Registry.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QThread>
#include <QThreadPool>
#include <QUrl>

#include <zlib.h>

#include <algorithm>
#include <cmath>

bool CalcFitRect(const QRect& dest, QSize picture, QRect& fit) {
    const int dw = dest.width(), dh = dest.height();
    const int gw = picture.width(), gh = picture.height();
    if (dw <= 0 || dh <= 0 || gw <= 0 || gh <= 0) return false;
    int w, h;
    if (double(dh) / dw >= double(gh) / gw) {
        w = dw;
        h = int(std::trunc(double(dw) * gh / gw));
    } else {
        h = dh;
        w = int(std::trunc(double(dh) * gw / gh));
    }
    fit = QRect(0, 0, w, h).translated((dw - w) / 2 + dest.left(), (dh - h) / 2 + dest.top());
    return true;
}

bool CalcFitRect(const QRect& dest, const TGraphic* graphic, QRect& fit) {
    if (!graphic) return false;
    return CalcFitRect(dest, QSize(graphic->Width(), graphic->Height()), fit);
}

QString ThumbnailInfoText(qint64 fileSize, QSize picture, const QDateTime& lastWrite) {
    const QLocale locale = QLocale::system();
    QString when;
    if (lastWrite.isValid()) {
        const QDateTime local = lastWrite.toLocalTime();
        when = locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
               locale.toString(local.time(), QLocale::LongFormat);
    }
    return QStringLiteral("%1K").arg(fileSize >> 10) + QLatin1Char('\r') +
           QStringLiteral("%1 x %2").arg(picture.width()).arg(picture.height()) + QLatin1Char('\r') + when;
}

QImage LockPlaceholder(QSize size) {
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = image.width(), h = image.height();
    const qreal s = std::min(w, h);
    const QRectF box((w - s) / 2, (h - s) / 2, s, s);
    // Shackle: an arch over the body.
    QPen pen(QColor(90, 90, 96), std::max<qreal>(1.0, s / 10));
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF arch(box.left() + s * 0.28, box.top() + s * 0.08, s * 0.44, s * 0.5);
    p.drawArc(arch, 0, 180 * 16);
    p.drawLine(QPointF(arch.left(), arch.center().y()), QPointF(arch.left(), box.top() + s * 0.48));
    p.drawLine(QPointF(arch.right(), arch.center().y()), QPointF(arch.right(), box.top() + s * 0.48));
    // Body with a key hole.
    p.setPen(QPen(QColor(120, 90, 20), std::max<qreal>(1.0, s / 40)));
    p.setBrush(QColor(222, 176, 46));
    const QRectF body(box.left() + s * 0.16, box.top() + s * 0.46, s * 0.68, s * 0.46);
    p.drawRoundedRect(body, s * 0.06, s * 0.06);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 40, 10));
    const QPointF c(body.center().x(), body.top() + body.height() * 0.42);
    p.drawEllipse(c, s * 0.06, s * 0.06);
    p.drawRect(QRectF(c.x() - s * 0.025, c.y(), s * 0.05, s * 0.14));
    return image;
}

bool IsLockedPictureFile(const QString& fileName) {
    return QFileInfo(fileName).suffix().compare(QLatin1String("cif"), Qt::CaseInsensitive) == 0;
}

// --- cache -------------------------------------------------------------------------------------------

QString ThumbnailCacheRoot() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/thumbnails");
}

QByteArray ThumbnailUri(const QString& fileName) {
    return QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath()).toEncoded();
}

QString ThumbnailCacheName(const QString& fileName) {
    return QString::fromLatin1(QCryptographicHash::hash(ThumbnailUri(fileName), QCryptographicHash::Md5).toHex()) +
           QStringLiteral(".png");
}

QString ThumbnailFlavour(QSize cell) {
    const int m = std::max(cell.width(), cell.height());
    if (m <= 0) return {};
    if (m <= 128) return QStringLiteral("normal");
    if (m <= 256) return QStringLiteral("large");
    return {};
}

int ThumbnailFlavourSize(const QString& flavour) {
    if (flavour == QLatin1String("normal")) return 128;
    if (flavour == QLatin1String("large")) return 256;
    return 0;
}

namespace {

qint64 MTimeOf(const QFileInfo& info) { return info.lastModified().toSecsSinceEpoch(); }

void AppendChunk(QByteArray& out, const char type[4], const QByteArray& data) {
    const quint32 n = quint32(data.size());
    const char len[4] = {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
    out.append(len, 4);
    QByteArray body(type, 4);
    body += data;
    out += body;
    const quint32 crc = quint32(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size())));
    const char c[4] = {char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
    out.append(c, 4);
}

bool InsideCache(const QString& fileName, const QString& root) {
    const QString abs = QFileInfo(fileName).absoluteFilePath();
    return abs.startsWith(QDir(root).absolutePath() + QLatin1Char('/'));
}

} // namespace

QByteArray EncodePngWithText(const QImage& image, const QList<QPair<QByteArray, QByteArray>>& texts) {
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        if (!writer.write(image)) return {};
    }
    // Signature (8) + IHDR (4 length + 4 type + 13 data + 4 CRC): the text chunks go right after it,
    // written as plain tEXt so every reader of the cache finds them before the pixels.
    constexpr int kAfterHeader = 8 + 25;
    if (png.size() < kAfterHeader || png.mid(12, 4) != "IHDR") return {};
    QByteArray out = png.left(kAfterHeader);
    for (const auto& [key, value] : texts) AppendChunk(out, "tEXt", key + '\0' + value);
    out += png.mid(kAfterHeader);
    return out;
}

bool ReadCachedThumbnail(const QString& root, const QString& flavour, const QString& fileName, TCachedThumbnail& out) {
    if (root.isEmpty() || flavour.isEmpty()) return false;
    const QFileInfo info(fileName);
    if (!info.isFile()) return false;
    // The keys hold "::", which the reader's key/value description cannot carry: read the image and
    // take the texts from it (a 128-pixel PNG costs little).
    QImageReader reader(root + QLatin1Char('/') + flavour + QLatin1Char('/') + ThumbnailCacheName(fileName), "png");
    QImage image;
    if (!reader.read(&image) || image.isNull()) return false;
    if (image.text(QStringLiteral("Thumb::URI")).toLatin1() != ThumbnailUri(fileName)) return false;
    bool ok = false;
    const qint64 mtime = image.text(QStringLiteral("Thumb::MTime")).toLongLong(&ok);
    if (!ok || mtime != MTimeOf(info)) return false;
    const int w = image.text(QStringLiteral("Thumb::Image::Width")).toInt();
    const int h = image.text(QStringLiteral("Thumb::Image::Height")).toInt();
    out.Image = std::move(image);
    out.PictureSize = w > 0 && h > 0 ? QSize(w, h) : QSize();
    return true;
}

bool WriteCachedThumbnail(const QString& root, const QString& flavour, const QString& fileName,
                          const QImage& thumbnail, QSize pictureSize) {
    if (root.isEmpty() || flavour.isEmpty() || thumbnail.isNull() || InsideCache(fileName, root)) return false;
    const QFileInfo info(fileName);
    const QString dir = root + QLatin1Char('/') + flavour;
    if (!QDir().mkpath(dir)) return false;
    QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QList<QPair<QByteArray, QByteArray>> texts{
        {"Thumb::URI", ThumbnailUri(fileName)},
        {"Thumb::MTime", QByteArray::number(MTimeOf(info))},
        {"Thumb::Size", QByteArray::number(info.size())},
        {"Software", "Lumenor"}};
    if (pictureSize.isValid()) {
        texts.append({"Thumb::Image::Width", QByteArray::number(pictureSize.width())});
        texts.append({"Thumb::Image::Height", QByteArray::number(pictureSize.height())});
    }
    const QByteArray bytes = EncodePngWithText(thumbnail, texts);
    if (bytes.isEmpty()) return false;
    // A temporary file in the same folder, renamed over the entry: readers never see half a file.
    QTemporaryFile temp(dir + QStringLiteral("/.lumenor-XXXXXX.png"));
    if (!temp.open()) return false;
    if (temp.write(bytes) != bytes.size() || !temp.flush()) return false;
    temp.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    const QString target = dir + QLatin1Char('/') + ThumbnailCacheName(fileName);
    temp.close();
    if (std::rename(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(target).constData()) != 0) return false;
    temp.setAutoRemove(false);
    return true;
}

// --- preview maker -----------------------------------------------------------------------------------

namespace {

// The source scaled to the fit rectangle of a picture of the given size (the source's own by default).
QImage Fitted(const QImage& source, QSize box, QSize picture = QSize()) {
    QRect fit;
    if (source.isNull() || !CalcFitRect(QRect(QPoint(0, 0), box), picture.isValid() ? picture : source.size(), fit)) return {};
    if (fit.size() == source.size()) return source;
    return source.scaled(fit.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The picture fitted into box, never enlarged (the cache keeps pictures at most at their own size).
QImage ShrunkInto(const QImage& source, int box) {
    if (source.width() <= box && source.height() <= box) return source;
    return source.scaled(QSize(box, box), Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

TPreview MakePreview(const QString& fileName, const TPreviewOptions& options) {
    TPreview result;
    if (IsLockedPictureFile(fileName)) {
        result.Status = TPreviewStatus::Locked;
        return result;
    }
    const QFileInfo info(fileName);
    if (!info.isFile()) {
        result.Error = QStringLiteral("The file does not exist");
        return result;
    }
    const QSize cell = options.Cell;
    if (cell.isEmpty()) {
        result.Error = QStringLiteral("The preview size is empty");
        return result;
    }
    const QString flavour = options.CacheRoot.isEmpty() ? QString() : ThumbnailFlavour(cell);
    const int flavourSize = ThumbnailFlavourSize(flavour);

    TCachedThumbnail cached;
    if (!flavour.isEmpty() && ReadCachedThumbnail(options.CacheRoot, flavour, fileName, cached) &&
        cached.PictureSize.isValid()) {
        result.Image = Fitted(cached.Image, cell, cached.PictureSize);
        if (!result.Image.isNull()) {
            result.Status = TPreviewStatus::Ok;
            result.PictureSize = cached.PictureSize;
            result.FromCache = true;
            result.Info = ThumbnailInfoText(info.size(), result.PictureSize, info.lastModified());
            return result;
        }
    }

    // Decode at the size the cache entry and the cell both need.
    const QSize need = cell.expandedTo(QSize(flavourSize, flavourSize));
    QImage decoded;
    try {
        std::unique_ptr<TGraphic> graphic = CreateGraphicFor(fileName);
        // Formats that scale while decoding (JPEG) decode no more than the fitted preview needs; the
        // header tells the picture's size and so the fit.
        QFile file(fileName);
        TGraphicInfo header;
        if (file.open(QIODevice::ReadOnly) && graphic->ReadInfo(file, header) && header.Width > 0 && header.Height > 0)
            graphic->SetLoadSize(QSize(header.Width, header.Height).scaled(need, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
        file.close();
        graphic->LoadFromFileName(fileName);
        result.PictureSize = graphic->FullSize();
        if (auto* dib = dynamic_cast<TDibGraphic*>(graphic.get()); dib && !dib->Image().isNull()) {
            decoded = dib->Image();
        } else {
            // Drawings are drawn at the size they are shown.
            QRect fit;
            if (CalcFitRect(QRect(QPoint(0, 0), need), result.PictureSize, fit))
                decoded = graphic->ToImage(fit.size(), options.Background);
        }
    } catch (const Exception& e) {
        result.Error = e.Message();
        return result;
    } catch (const std::bad_alloc&) {
        result.Error = QStringLiteral("Not enough memory");
        return result;
    } catch (const std::exception& e) {
        // Nothing may leave a worker thread.
        result.Error = QString::fromLocal8Bit(e.what());
        return result;
    } catch (...) {
        result.Error = QStringLiteral("The file cannot be read");
        return result;
    }
    if (decoded.isNull() || result.PictureSize.isEmpty()) {
        result.Error = QStringLiteral("The file holds no picture");
        return result;
    }
    if (decoded.format() != QImage::Format_RGB32 && decoded.format() != QImage::Format_ARGB32 &&
        decoded.format() != QImage::Format_ARGB32_Premultiplied)
        decoded = decoded.convertToFormat(decoded.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    result.Image = Fitted(decoded, cell, result.PictureSize);
    if (result.Image.isNull()) {
        result.Error = QStringLiteral("The file holds no picture");
        return result;
    }
    if (!flavour.isEmpty()) WriteCachedThumbnail(options.CacheRoot, flavour, fileName, ShrunkInto(decoded, flavourSize), result.PictureSize);
    result.Status = TPreviewStatus::Ok;
    result.Info = ThumbnailInfoText(info.size(), result.PictureSize, info.lastModified());
    return result;
}

// --- loader ------------------------------------------------------------------------------------------

TThumbnailLoader::TThumbnailLoader(QObject* parent) : QObject(parent), FPool(std::make_unique<QThreadPool>()) {
    qRegisterMetaType<TPreview>();
    FPool->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    FOptions.CacheRoot = ThumbnailCacheRoot();
}

TThumbnailLoader::~TThumbnailLoader() {
    {
        QMutexLocker lock(&FLock);
        FQueue.clear();
        ++FGeneration;
    }
    FPool->waitForDone();
}

void TThumbnailLoader::SetOptions(const TPreviewOptions& options) {
    QMutexLocker lock(&FLock);
    FOptions = options;
}

TPreviewOptions TThumbnailLoader::Options() const {
    QMutexLocker lock(&FLock);
    return FOptions;
}

void TThumbnailLoader::SetThreadCount(int n) { FPool->setMaxThreadCount(std::max(1, n)); }

void TThumbnailLoader::Load(const QStringList& files) {
    QMutexLocker lock(&FLock);
    ++FGeneration;
    FFiles = files;
    FState.assign(size_t(files.size()), stNone);
    FQueue.clear();
}

void TThumbnailLoader::Request(const QList<int>& indices) {
    QMutexLocker lock(&FLock);
    std::vector<int> fresh;
    for (int i : indices) {
        if (i < 0 || i >= int(FState.size())) continue;
        const TState s = FState[size_t(i)];
        if (s == stQueued) {
            FQueue.erase(std::find(FQueue.begin(), FQueue.end(), i)); // moves up to the front below
        } else if (s != stNone) {
            continue;
        }
        FState[size_t(i)] = stQueued;
        fresh.push_back(i);
    }
    FQueue.insert(FQueue.begin(), fresh.begin(), fresh.end());
    while (FWorkers < FPool->maxThreadCount() && FWorkers < int(FQueue.size())) {
        ++FWorkers;
        FPool->start([this] { Work(); });
    }
}

void TThumbnailLoader::RequestAll() {
    QList<int> all;
    {
        QMutexLocker lock(&FLock);
        for (int i = 0; i < int(FState.size()); ++i)
            if (FState[size_t(i)] == stNone) all.append(i);
    }
    // Appended behind whatever is queued already.
    QMutexLocker lock(&FLock);
    for (int i : all) {
        FState[size_t(i)] = stQueued;
        FQueue.push_back(i);
    }
    while (FWorkers < FPool->maxThreadCount() && FWorkers < int(FQueue.size())) {
        ++FWorkers;
        FPool->start([this] { Work(); });
    }
}

void TThumbnailLoader::ForgetMade() {
    QMutexLocker lock(&FLock);
    for (TState& s : FState)
        if (s == stDone) s = stNone;
}

int TThumbnailLoader::Count() const {
    QMutexLocker lock(&FLock);
    return int(FFiles.size());
}

bool TThumbnailLoader::HasFailed(int index) const {
    QMutexLocker lock(&FLock);
    return index >= 0 && index < int(FState.size()) && FState[size_t(index)] == stFailed;
}

bool TThumbnailLoader::IsIdle() const {
    QMutexLocker lock(&FLock);
    return FQueue.empty() && FRunning == 0;
}

void TThumbnailLoader::WaitForDone() { FPool->waitForDone(); }

void TThumbnailLoader::Work() {
    for (;;) {
        int index;
        QString file;
        TPreviewOptions options;
        quint64 generation;
        {
            QMutexLocker lock(&FLock);
            if (FQueue.empty()) {
                --FWorkers;
                return;
            }
            index = FQueue.front();
            FQueue.pop_front();
            FState[size_t(index)] = stRunning;
            file = FFiles[index];
            options = FOptions;
            generation = FGeneration;
            ++FRunning;
        }
        TPreview preview = MakePreview(file, options);
        {
            QMutexLocker lock(&FLock);
            --FRunning;
            if (generation != FGeneration) continue; // the list was replaced meanwhile
            FState[size_t(index)] = preview.Status == TPreviewStatus::Failed ? stFailed : stDone;
        }
        QMetaObject::invokeMethod(
            this, [this, generation, index, file, preview] { Deliver(generation, index, file, preview); },
            Qt::QueuedConnection);
    }
}

void TThumbnailLoader::Deliver(quint64 generation, int index, const QString& fileName, const TPreview& preview) {
    {
        QMutexLocker lock(&FLock);
        if (generation != FGeneration) return;
    }
    emit PreviewReady(index, fileName, preview);
}
