#include "codec/GifAnimation.h"

#include "codec/Limits.h"

#include <QHash>
#include <QIODevice>
#include <QPainter>
#include <QSaveFile>

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>

namespace {

QString GifError(int code) {
    const char* text = GifErrorString(code);
    return text ? QString::fromLatin1(text) : QStringLiteral("GIF error %1").arg(code);
}

int WriteFunc(GifFileType* gif, const GifByteType* buffer, int size) {
    auto* device = static_cast<QIODevice*>(gif->UserData);
    if (size <= 0) return 0;
    const qint64 n = device->write(reinterpret_cast<const char*>(buffer), size);
    return n < 0 ? 0 : int(n);
}

struct TWriter {
    GifFileType* Gif = nullptr;
    ~TWriter() {
        if (Gif) EGifCloseFile(Gif, nullptr);
    }
    void Check(int result) const {
        if (result == GIF_ERROR)
            throw EWriteError(QStringLiteral("Cannot write the GIF file: %1").arg(GifError(Gif ? Gif->Error : 0)));
    }
};

struct TMapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using TMap = std::unique_ptr<ColorMapObject, TMapDeleter>;

// A colour map of a power-of-two size (at least 2) holding the table.
TMap MakeMap(const QVector<QRgb>& table) {
    int bits = 1;
    while ((1 << bits) < table.size()) ++bits;
    std::vector<GifColorType> colours(size_t(1) << bits, GifColorType{0, 0, 0});
    for (int i = 0; i < table.size(); ++i)
        colours[size_t(i)] = GifColorType{GifByteType(qRed(table[i])), GifByteType(qGreen(table[i])), GifByteType(qBlue(table[i]))};
    TMap map(GifMakeMapObject(1 << bits, colours.data()));
    if (!map) throw EWriteError(QStringLiteral("Cannot write the GIF file: not enough memory"));
    return map;
}

inline bool SameColour(QRgb a, QRgb b) { return ((a ^ b) & 0x00FFFFFFu) == 0; }

// Remaps a frame's pixels and transparent index through map (old index -> new index).
void Remap(TGifAnimation::TFrame& frame, const std::vector<int>& map, const QVector<QRgb>& table) {
    QImage& px = frame.Pixels;
    uchar lut[256];
    for (int i = 0; i < 256; ++i) lut[i] = uchar(map[size_t(i)]);
    const int w = px.width(), h = px.height();
    for (int y = 0; y < h; ++y) {
        uchar* line = px.scanLine(y);
        for (int x = 0; x < w; ++x) line[x] = lut[line[x]];
    }
    px.setColorTable(table);
    if (frame.Transparent >= 0) frame.Transparent = map[size_t(frame.Transparent)];
}

} // namespace

TGifAnimation::TGifAnimation() = default;
TGifAnimation::~TGifAnimation() = default;

void TGifAnimation::SetOptimize(bool crop, bool merge) {
    FCrop = crop;
    FMerge = merge;
}

void TGifAnimation::AddFrame(const QImage& picture, int delay, bool transparent) {
    if (picture.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot add an empty picture to an animation"));
    const bool first = FFrames.empty();
    if (first) {
        if (picture.width() > 65535 || picture.height() > 65535)
            throw EInvalidGraphicOperation(QStringLiteral("A GIF picture cannot be larger than 65535 x 65535 pixels"));
        FScreen = NewImage(picture.width(), picture.height(), QImage::Format_RGB32);
        FScreen.fill(Qt::black);
        FGlobal.clear();
        FStoredPixels = 0;
    }
    // The frame as the whole screen should show it.
    QImage full = picture.convertToFormat(QImage::Format_RGB32);
    if (full.size() != FScreen.size()) {
        QImage canvas = FScreen.copy();
        QPainter painter(&canvas);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, full);
        painter.end();
        full = canvas;
    }
    const int w = full.width(), h = full.height();
    const bool isTransparent = transparent && !first;

    int t = -1;
    QImage reduced;
    if (isTransparent) {
        TTransparentReduction r = ReduceColorsTransparent(full, FOptions.Reduction, FOptions.Dither, FOptions.Bits, true);
        reduced = std::move(r.Image);
        t = r.Transparent;
    } else {
        reduced = ReduceColors(full, FOptions.Reduction, FOptions.Dither, FOptions.Bits);
    }
    QVector<QRgb> table = reduced.colorTable();
    for (QRgb& c : table) c |= 0xFF000000u;
    const QRgb* colours = table.constData();

    // The colour of the bottom-left pixel is the frame's transparent colour: its pixels of that colour
    // become transparent where the screen already shows that colour (elsewhere they must be drawn, or
    // the frame before would show through). Merging makes every pixel that leaves the screen unchanged
    // transparent.
    const QRgb key = table[reduced.pixelIndex(0, h - 1)];
    if (t >= 0) table[t] = key;

    QRect changed;
    int top = h, bottom = -1, left = w, right = -1;
    for (int y = 0; y < h; ++y) {
        uchar* line = reduced.scanLine(y);
        const QRgb* screen = reinterpret_cast<const QRgb*>(FScreen.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb c = colours[line[x]];
            if (first || !SameColour(c, screen[x])) {
                top = std::min(top, y), bottom = std::max(bottom, y);
                left = std::min(left, x), right = std::max(right, x);
            } else if (t >= 0 && (FMerge || SameColour(c, key))) {
                line[x] = uchar(t);
            }
        }
    }
    QRect rect(0, 0, w, h);
    if (FCrop && !first) rect = bottom < 0 ? QRect(0, 0, 1, 1) : QRect(QPoint(left, top), QPoint(right, bottom));

    // The frames kept (a byte a pixel) stay within the pixel limit of pictures.
    const qint64 stored = FStoredPixels + qint64(rect.width()) * rect.height();
    if (stored > PixelLimit())
        throw EInvalidGraphicOperation(QStringLiteral("The animation is too large: its frames exceed the limit of %1 pixels").arg(PixelLimit()));
    FStoredPixels = stored;

    TFrame frame;
    frame.Rect = rect;
    frame.Pixels = rect.size() == reduced.size() ? reduced : reduced.copy(rect);
    frame.Pixels.setColorTable(table);
    frame.Transparent = t;
    frame.Delay = std::clamp(delay, 0, 65535);

    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        const uchar* line = frame.Pixels.constScanLine(y - rect.top());
        QRgb* screen = reinterpret_cast<QRgb*>(FScreen.scanLine(y)) + rect.left();
        for (int x = 0; x < rect.width(); ++x)
            if (line[x] != t) screen[x] = colours[line[x]];
    }
    FFrames.push_back(std::move(frame));
}

void TGifAnimation::OptimizeColorMaps() {
    if (FFrames.empty()) return;
    // Each frame: only the entries it uses, the most used first; the transparent entry last.
    QHash<QRgb, qint64> total;
    bool anyTransparent = false;
    for (TFrame& f : FFrames) {
        const QVector<QRgb> table = f.Pixels.colorTable();
        std::vector<qint64> used(256, 0);
        const int w = f.Pixels.width(), h = f.Pixels.height();
        for (int y = 0; y < h; ++y) {
            const uchar* line = f.Pixels.constScanLine(y);
            for (int x = 0; x < w; ++x) ++used[line[x]];
        }
        std::vector<int> order;
        for (int i = 0; i < table.size(); ++i)
            if (used[size_t(i)] > 0 && i != f.Transparent) order.push_back(i);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return used[size_t(a)] > used[size_t(b)]; });
        if (f.Transparent >= 0) order.push_back(f.Transparent);
        std::vector<int> map(256, 0);
        QVector<QRgb> compact;
        for (int i : order) {
            map[size_t(i)] = int(compact.size());
            compact << table[i];
        }
        Remap(f, map, compact);
        for (int i = 0; i < compact.size(); ++i)
            if (i != f.Transparent) total[compact[i]] += used[size_t(order[size_t(i)])];
        anyTransparent = anyTransparent || f.Transparent >= 0;
    }
    // One global map when everything fits.
    if (total.size() + (anyTransparent ? 1 : 0) > 256) {
        FGlobal.clear();
        return;
    }
    QVector<QRgb> colours = total.keys().toVector();
    std::sort(colours.begin(), colours.end(), [&](QRgb a, QRgb b) {
        const qint64 na = total.value(a), nb = total.value(b);
        return na != nb ? na > nb : a < b;
    });
    QHash<QRgb, int> index;
    for (int i = 0; i < colours.size(); ++i) index.insert(colours[i], i);
    const int globalTransparent = anyTransparent ? int(colours.size()) : -1;
    if (anyTransparent) colours << qRgb(0, 0, 0);
    if (colours.isEmpty()) colours << qRgb(0, 0, 0);
    for (TFrame& f : FFrames) {
        const QVector<QRgb> table = f.Pixels.colorTable();
        std::vector<int> map(256, 0);
        for (int i = 0; i < table.size(); ++i) map[size_t(i)] = i == f.Transparent ? globalTransparent : index.value(table[i]);
        Remap(f, map, colours);
    }
    FGlobal = colours;
}

QVector<QRgb> TGifAnimation::GlobalColorTable() const {
    if (!FGlobal.isEmpty()) return FGlobal;
    return FFrames.empty() ? QVector<QRgb>() : FFrames.front().Pixels.colorTable();
}

void TGifAnimation::SaveToStream(QIODevice& stream) const {
    if (FFrames.empty()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an animation without frames"));
    const QVector<QRgb> global = GlobalColorTable();
    TMap globalMap = MakeMap(global);

    int error = 0;
    TWriter writer;
    writer.Gif = EGifOpen(&stream, WriteFunc, &error);
    if (!writer.Gif) throw EWriteError(QStringLiteral("Cannot write the GIF file: %1").arg(GifError(error)));
    GifFileType* gif = writer.Gif;
    EGifSetGifVersion(gif, true);
    writer.Check(EGifPutScreenDesc(gif, FScreen.width(), FScreen.height(), 8, 0, globalMap.get()));

    // NETSCAPE2.0 looping extension: sub-block 1, loop count 0 (repeat for ever).
    writer.Check(EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE));
    writer.Check(EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0"));
    const GifByteType loop[3] = {1, 0, 0};
    writer.Check(EGifPutExtensionBlock(gif, 3, loop));
    writer.Check(EGifPutExtensionTrailer(gif));

    std::vector<GifPixelType> line;
    for (const TFrame& f : FFrames) {
        GraphicsControlBlock gcb{DISPOSE_DO_NOT, false, f.Delay, f.Transparent >= 0 ? f.Transparent : NO_TRANSPARENT_COLOR};
        GifByteType ext[4];
        const size_t len = EGifGCBToExtension(&gcb, ext);
        writer.Check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(len), ext));
        const QVector<QRgb> table = f.Pixels.colorTable();
        TMap local;
        if (table != global) local = MakeMap(table);
        writer.Check(EGifPutImageDesc(gif, f.Rect.left(), f.Rect.top(), f.Rect.width(), f.Rect.height(), false, local.get()));
        const int w = f.Pixels.width();
        line.resize(size_t(w));
        for (int y = 0; y < f.Pixels.height(); ++y) {
            std::memcpy(line.data(), f.Pixels.constScanLine(y), size_t(w));
            writer.Check(EGifPutLine(gif, line.data(), w));
        }
    }
    GifFileType* closing = writer.Gif;
    writer.Gif = nullptr;
    if (EGifCloseFile(closing, &error) == GIF_ERROR)
        throw EWriteError(QStringLiteral("Cannot write the GIF file: %1").arg(GifError(error)));
}

void TGifAnimation::SaveToFileName(const QString& fileName) const {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EWriteError(QStringLiteral("Cannot create %1: %2").arg(fileName, file.errorString()));
    SaveToStream(file);
    if (!file.commit()) throw EWriteError(QStringLiteral("Cannot write %1: %2").arg(fileName, file.errorString()));
}
