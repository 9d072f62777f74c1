#include "codec/Gif.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QBuffer>
#include <QHash>
#include <QIODevice>
#include <QMimeData>

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>

DEFINE_GRAPHIC_CLASS(TGIFImage)

namespace {

QString GifError(int code) {
    const char* text = GifErrorString(code);
    return text ? QString::fromLatin1(text) : QStringLiteral("GIF error %1").arg(code);
}

// giflib asks for a few bytes at a time; the reads go through a buffer of our own.
struct TGifSource {
    QIODevice* Device = nullptr;
    QByteArray Buffer;
    qsizetype Pos = 0;
};

int ReadFunc(GifFileType* gif, GifByteType* buffer, int size) {
    auto* src = static_cast<TGifSource*>(gif->UserData);
    int done = 0;
    while (done < size) {
        if (src->Pos >= src->Buffer.size()) {
            src->Buffer = src->Device->read(64 * 1024);
            src->Pos = 0;
            if (src->Buffer.isEmpty()) break;
        }
        const int n = int(std::min<qsizetype>(size - done, src->Buffer.size() - src->Pos));
        std::memcpy(buffer + done, src->Buffer.constData() + src->Pos, size_t(n));
        src->Pos += n;
        done += n;
    }
    return done;
}

int WriteFunc(GifFileType* gif, const GifByteType* buffer, int size) {
    auto* device = static_cast<QIODevice*>(gif->UserData);
    if (size <= 0) return 0;
    const qint64 n = device->write(reinterpret_cast<const char*>(buffer), size);
    return n < 0 ? 0 : int(n);
}

struct TGifReader {
    GifFileType* Gif = nullptr;
    ~TGifReader() {
        if (Gif) DGifCloseFile(Gif, nullptr);
    }
};

struct TGifWriter {
    GifFileType* Gif = nullptr;
    ~TGifWriter() {
        if (Gif) EGifCloseFile(Gif, nullptr);
    }
    [[noreturn]] void Fail() const {
        throw EWriteError(QStringLiteral("Cannot write the GIF file: %1").arg(GifError(Gif ? Gif->Error : 0)));
    }
};

struct TMapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

// Rows in the order an interlaced frame stores them: every 8th from 0, every 8th from 4, every 4th from 2,
// every 2nd from 1.
std::vector<int> InterlacedRows(int height) {
    std::vector<int> rows;
    rows.reserve(size_t(height));
    static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = start[pass]; y < height; y += step[pass]) rows.push_back(y);
    return rows;
}

// Skips the image data of a frame that holds no pixels.
bool SkipImageData(GifFileType* gif) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
    while (block)
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
    return true;
}

std::array<QRgb, 256> MakeColourTable(const ColorMapObject* map) {
    std::array<QRgb, 256> table;
    table.fill(qRgb(0, 0, 0));
    if (map && map->Colors) {
        const int n = std::min(map->ColorCount, 256);
        for (int i = 0; i < n; ++i) table[size_t(i)] = qRgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
    } else {
        // No colour map at all: a grey ramp keeps the picture visible.
        for (int i = 0; i < 256; ++i) table[size_t(i)] = qRgb(i, i, i);
    }
    return table;
}

// The picture made ready for writing: indexed, with the index of the transparent colour or -1.
struct TGifPicture {
    QImage Indexed;
    int Transparent = -1;
};

TGifPicture PrepareForGif(const QImage& source) {
    TGifPicture out;
    if ((source.format() == QImage::Format_Indexed8 || source.format() == QImage::Format_Mono ||
         source.format() == QImage::Format_MonoLSB) &&
        source.colorCount() > 0 && source.colorCount() <= 256) {
        // A palette picture keeps its palette; a fully transparent entry becomes the transparent colour.
        out.Indexed = source.convertToFormat(QImage::Format_Indexed8);
        const QVector<QRgb> table = out.Indexed.colorTable();
        bool partial = false;
        for (int i = 0; i < table.size(); ++i) {
            if (qAlpha(table[i]) == 0 && out.Transparent < 0) out.Transparent = i;
            else if (qAlpha(table[i]) != 255) partial = true;
        }
        if (!partial) return out;
        out.Transparent = -1;
    }
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    bool anyTransparent = false;
    for (int y = 0; y < argb.height() && !anyTransparent; ++y) {
        const QRgb* p = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(p[x]) < 128) {
                anyTransparent = true;
                break;
            }
    }
    out.Indexed = TGIFImage::ReduceColours(argb, anyTransparent ? 255 : 256);
    if (anyTransparent) {
        QVector<QRgb> table = out.Indexed.colorTable();
        out.Transparent = int(table.size());
        table.append(qRgba(0, 0, 0, 0));
        out.Indexed.setColorTable(table);
        for (int y = 0; y < argb.height(); ++y) {
            const QRgb* p = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
            uchar* dst = out.Indexed.scanLine(y);
            for (int x = 0; x < argb.width(); ++x)
                if (qAlpha(p[x]) < 128) dst[x] = uchar(out.Transparent);
        }
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Colour reduction: the exact palette when the picture has few enough colours, else a median cut over a
// 5-bit-per-channel histogram; pixels are mapped to the colour of the box their histogram cell fell in.

QImage TGIFImage::ReduceColours(const QImage& image, int maxColours) {
    maxColours = std::clamp(maxColours, 1, 256);
    const QImage src = image.convertToFormat(QImage::Format_ARGB32);
    const int w = src.width(), h = src.height();
    QImage out = NewImage(w, h, QImage::Format_Indexed8);

    QHash<QRgb, int> exact;
    bool fits = true;
    for (int y = 0; y < h && fits; ++y) {
        const QRgb* p = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            if (qAlpha(p[x]) < 128) continue;
            const QRgb c = p[x] | 0xFF000000;
            if (!exact.contains(c)) {
                if (exact.size() == maxColours) {
                    fits = false;
                    break;
                }
                exact.insert(c, int(exact.size()));
            }
        }
    }
    if (fits) {
        QVector<QRgb> table(std::max<qsizetype>(1, exact.size()), qRgb(0, 0, 0));
        for (auto it = exact.cbegin(); it != exact.cend(); ++it) table[it.value()] = it.key();
        out.setColorTable(table);
        for (int y = 0; y < h; ++y) {
            const QRgb* p = reinterpret_cast<const QRgb*>(src.constScanLine(y));
            uchar* dst = out.scanLine(y);
            for (int x = 0; x < w; ++x) dst[x] = qAlpha(p[x]) < 128 ? 0 : uchar(exact.value(p[x] | 0xFF000000));
        }
        return out;
    }

    constexpr int cells = 32 * 32 * 32;
    auto cellOf = [](QRgb c) { return ((qRed(c) >> 3) << 10) | ((qGreen(c) >> 3) << 5) | (qBlue(c) >> 3); };
    std::vector<quint32> count(cells, 0);
    std::vector<quint64> sum(cells * 3, 0);
    for (int y = 0; y < h; ++y) {
        const QRgb* p = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            if (qAlpha(p[x]) < 128) continue;
            const int cell = cellOf(p[x]);
            ++count[size_t(cell)];
            sum[size_t(cell) * 3] += quint64(qRed(p[x]));
            sum[size_t(cell) * 3 + 1] += quint64(qGreen(p[x]));
            sum[size_t(cell) * 3 + 2] += quint64(qBlue(p[x]));
        }
    }
    struct TBox {
        int Lo[3], Hi[3]; // inclusive cell bounds per channel
        quint64 Pixels = 0;
    };
    auto shrink = [&](TBox& b) {
        int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
        b.Pixels = 0;
        for (int r = b.Lo[0]; r <= b.Hi[0]; ++r)
            for (int g = b.Lo[1]; g <= b.Hi[1]; ++g)
                for (int bl = b.Lo[2]; bl <= b.Hi[2]; ++bl) {
                    const quint32 n = count[size_t((r << 10) | (g << 5) | bl)];
                    if (!n) continue;
                    b.Pixels += n;
                    lo[0] = std::min(lo[0], r), hi[0] = std::max(hi[0], r);
                    lo[1] = std::min(lo[1], g), hi[1] = std::max(hi[1], g);
                    lo[2] = std::min(lo[2], bl), hi[2] = std::max(hi[2], bl);
                }
        if (b.Pixels)
            for (int c = 0; c < 3; ++c) b.Lo[c] = lo[c], b.Hi[c] = hi[c];
    };
    std::vector<TBox> boxes(1, TBox{{0, 0, 0}, {31, 31, 31}, 0});
    shrink(boxes[0]);
    while (int(boxes.size()) < maxColours) {
        // Split the box with the most pixels among those spanning more than one cell, along its longest side.
        int best = -1;
        for (int i = 0; i < int(boxes.size()); ++i) {
            const TBox& b = boxes[size_t(i)];
            if (b.Lo[0] == b.Hi[0] && b.Lo[1] == b.Hi[1] && b.Lo[2] == b.Hi[2]) continue;
            if (best < 0 || b.Pixels > boxes[size_t(best)].Pixels) best = i;
        }
        if (best < 0) break;
        TBox box = boxes[size_t(best)];
        int axis = 0;
        for (int c = 1; c < 3; ++c)
            if (box.Hi[c] - box.Lo[c] > box.Hi[axis] - box.Lo[axis]) axis = c;
        std::vector<quint64> slice(32, 0);
        for (int r = box.Lo[0]; r <= box.Hi[0]; ++r)
            for (int g = box.Lo[1]; g <= box.Hi[1]; ++g)
                for (int bl = box.Lo[2]; bl <= box.Hi[2]; ++bl) {
                    const int v[3] = {r, g, bl};
                    slice[size_t(v[axis])] += count[size_t((r << 10) | (g << 5) | bl)];
                }
        quint64 acc = 0;
        int cut = box.Lo[axis];
        for (int v = box.Lo[axis]; v < box.Hi[axis]; ++v) {
            acc += slice[size_t(v)];
            cut = v;
            if (acc * 2 >= box.Pixels) break;
        }
        TBox a = box, b = box;
        a.Hi[axis] = cut;
        b.Lo[axis] = cut + 1;
        shrink(a);
        shrink(b);
        boxes[size_t(best)] = a;
        if (b.Pixels) boxes.push_back(b);
    }
    std::vector<uchar> lut(cells, 0);
    QVector<QRgb> table;
    for (const TBox& b : boxes) {
        quint64 n = 0, sr = 0, sg = 0, sb = 0;
        const uchar index = uchar(table.size());
        for (int r = b.Lo[0]; r <= b.Hi[0]; ++r)
            for (int g = b.Lo[1]; g <= b.Hi[1]; ++g)
                for (int bl = b.Lo[2]; bl <= b.Hi[2]; ++bl) {
                    const size_t cell = size_t((r << 10) | (g << 5) | bl);
                    lut[cell] = index;
                    n += count[cell], sr += sum[cell * 3], sg += sum[cell * 3 + 1], sb += sum[cell * 3 + 2];
                }
        table.append(n ? qRgb(int((sr + n / 2) / n), int((sg + n / 2) / n), int((sb + n / 2) / n)) : qRgb(0, 0, 0));
    }
    out.setColorTable(table);
    for (int y = 0; y < h; ++y) {
        const QRgb* p = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        uchar* dst = out.scanLine(y);
        for (int x = 0; x < w; ++x) dst[x] = qAlpha(p[x]) < 128 ? 0 : lut[size_t(cellOf(p[x]))];
    }
    return out;
}

// ---------------------------------------------------------------------------------------------------------

struct TGifFrameData {
    QRect Clip;                  // the part of the frame inside the screen
    std::vector<uchar> Indices;  // Clip.width() x Clip.height() colour indices
    std::vector<uchar> RowDone;  // 1 for every row of Clip that was decoded (a cut frame has gaps)
    std::array<QRgb, 256> Table; // its colours (local or global map)
    int Transparent = -1;
};

namespace {

// Draws a frame's pixels over the screen.
void DrawFrame(QImage& screen, const TGifFrameData& f) {
    const int w = f.Clip.width();
    for (int r = 0; r < f.Clip.height(); ++r) {
        if (!f.RowDone[size_t(r)]) continue;
        const uchar* src = f.Indices.data() + size_t(r) * size_t(w);
        QRgb* dst = reinterpret_cast<QRgb*>(screen.scanLine(f.Clip.top() + r)) + f.Clip.left();
        for (int x = 0; x < w; ++x)
            if (src[x] != f.Transparent) dst[x] = f.Table[src[x]];
    }
}

// The screen before the next frame: the frame's disposal applied to the screens before and after it.
QImage TransparentScreen(QSize size) {
    QImage screen = NewImage(size.width(), size.height(), QImage::Format_ARGB32);
    screen.fill(Qt::transparent);
    return screen;
}

QImage Dispose(const QImage& before, const QImage& after, TGifDisposal disposal, const QRect& clip) {
    if (disposal == TGifDisposal::Previous) return before;
    QImage next = after;
    if (disposal == TGifDisposal::Background && !clip.isEmpty())
        for (int y = clip.top(); y <= clip.bottom(); ++y)
            std::fill_n(reinterpret_cast<QRgb*>(next.scanLine(y)) + clip.left(), clip.width(), QRgb(0));
    return next;
}

} // namespace

TGIFImage::TGIFImage() = default;
TGIFImage::~TGIFImage() = default;

void TGIFImage::ResetFrames() {
    FFrames.clear();
    FData.clear();
    FCheckpoints.clear();
    FCheckpointStep = 1;
    FCurrent = 0;
    FCurrentKey = 0;
    FLoopCount = -1;
    FCacheIndex = -1;
    FCacheBefore = FCacheAfter = QImage();
}

bool TGIFImage::FramesValid() const {
    return !FFrames.empty() && FCurrent < int(FFrames.size()) && FCurrentKey == FImage.cacheKey();
}

void TGIFImage::Compose(int index) const {
    if (index == FCacheIndex) return;
    int from;
    QImage canvas; // the screen before frame `from` is drawn
    if (FCacheIndex >= 0 && FCacheIndex < index && index - FCacheIndex <= FCheckpointStep) {
        from = FCacheIndex + 1;
        canvas = Dispose(FCacheBefore, FCacheAfter, FFrames[size_t(FCacheIndex)].Disposal, FData[size_t(FCacheIndex)]->Clip);
    } else {
        const int k = std::min(index / FCheckpointStep, int(FCheckpoints.size()) - 1);
        from = k * FCheckpointStep;
        canvas = FCheckpoints[size_t(k)];
        if (canvas.isNull()) canvas = TransparentScreen(FScreen);
    }
    for (int i = from;; ++i) {
        // The screen before a frame is kept only where the frame's disposal needs it.
        QImage before = FFrames[size_t(i)].Disposal == TGifDisposal::Previous ? canvas : QImage();
        DrawFrame(canvas, *FData[size_t(i)]);
        if (i == index) {
            FCacheBefore = std::move(before);
            FCacheAfter = std::move(canvas);
            FCacheIndex = index;
            return;
        }
        canvas = Dispose(before, canvas, FFrames[size_t(i)].Disposal, FData[size_t(i)]->Clip);
    }
}

int TGIFImage::FrameCount() const { return FramesValid() ? int(FFrames.size()) : 1; }
int TGIFImage::CurrentFrame() const { return FramesValid() ? FCurrent + 1 : 1; }

const TGifFrame& TGIFImage::Frame(int frame) const {
    if (!FramesValid() || frame < 1 || frame > int(FFrames.size()))
        throw EInvalidGraphicOperation(QStringLiteral("Frame %1 does not exist (the picture has %2)").arg(frame).arg(FrameCount()));
    return FFrames[size_t(frame - 1)];
}

const QImage& TGIFImage::FrameImage(int frame) const {
    if (!FramesValid() && frame == 1) return FImage;
    Frame(frame); // range check
    if (frame - 1 == FCurrent) return FImage;
    Compose(frame - 1);
    return FCacheAfter;
}

int TGIFImage::FrameDelay(int frame) const {
    if (!FramesValid() && frame == 1) return 0;
    return Frame(frame).DelayMs;
}

void TGIFImage::SelectFrame(int frame) {
    if (!FramesValid()) {
        TDibGraphic::SelectFrame(frame);
        return;
    }
    Frame(frame); // range check
    if (frame - 1 == FCurrent) return;
    Compose(frame - 1);
    FCurrent = frame - 1;
    FImage = FCacheAfter;
    FCurrentKey = FImage.cacheKey();
    NotifyChanged();
}

bool TGIFImage::HasTransparentFrame() const {
    if (!FramesValid()) return FImage.hasAlphaChannel();
    return std::any_of(FFrames.begin(), FFrames.end(), [](const TGifFrame& f) { return f.TransparentIndex >= 0; });
}

void TGIFImage::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (auto* gif = dynamic_cast<const TGIFImage*>(&source)) {
        ResetFrames();
        if (gif->FramesValid()) {
            FFrames = gif->FFrames;
            FData = gif->FData;
            FCheckpoints = gif->FCheckpoints;
            FCheckpointStep = gif->FCheckpointStep;
            FScreen = gif->FScreen;
            FCurrent = gif->FCurrent;
        }
        FLoopCount = gif->FLoopCount;
        FImage = gif->FImage;
        FCurrentKey = FImage.cacheKey();
        SetTransparent(gif->Transparent());
        NotifyChanged();
        return;
    }
    ResetFrames();
    TDibGraphic::Assign(source);
}

void TGIFImage::CopyInto(TGraphic& target) const {
    if (auto* gif = dynamic_cast<TGIFImage*>(&target)) {
        gif->Assign(*this);
        return;
    }
    TDibGraphic::CopyInto(target);
}

void TGIFImage::LoadFromClipboardData(const QMimeData& data) {
    if (data.hasFormat(ClipboardMimeType())) {
        QByteArray bytes = data.data(ClipboardMimeType());
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        ReadPage(buffer, 1);
        NotifyChanged();
        return;
    }
    ResetFrames();
    TDibGraphic::LoadFromClipboardData(data);
}

void TGIFImage::SaveToClipboardData(QMimeData& data) const {
    TDibGraphic::SaveToClipboardData(data);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    SaveToStream(buffer);
    data.setData(ClipboardMimeType(), bytes);
}

void TGIFImage::ReadPage(QIODevice& stream, int) {
    int error = 0;
    TGifReader reader;
    TGifSource source;
    source.Device = &stream;
    reader.Gif = DGifOpen(&source, ReadFunc, &error);
    if (!reader.Gif) throw EInvalidGraphic(QStringLiteral("Not a valid GIF file: %1").arg(GifError(error)));
    GifFileType* gif = reader.Gif;

    std::vector<TGifFrame> frames;
    std::vector<std::shared_ptr<const TGifFrameData>> data;
    int loopCount = -1;
    int screenW = gif->SWidth, screenH = gif->SHeight;
    const std::array<QRgb, 256> globalTable = MakeColourTable(gif->SColorMap);
    bool screenKnown = false;
    qint64 storedPixels = 0;
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    QString failure; // why decoding stopped early, if it did
    bool done = false;

    Progress(TProgressStage::psStarting, 0);
    while (!done) {
        GifRecordType record;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR) {
            failure = GifError(gif->Error);
            break;
        }
        switch (record) {
        case EXTENSION_RECORD_TYPE: {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
                failure = GifError(gif->Error);
                done = true;
                break;
            }
            bool netscape = false, first = true;
            while (block) {
                const int len = block[0];
                if (code == GRAPHICS_EXT_FUNC_CODE && first && len == 4) {
                    DGifExtensionToGCB(4, block + 1, &gcb);
                } else if (code == APPLICATION_EXT_FUNC_CODE && first) {
                    netscape = len == 11 && (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 ||
                                             std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
                } else if (netscape && len >= 3 && block[1] == 1) {
                    loopCount = block[2] | (block[3] << 8);
                }
                first = false;
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
                    failure = GifError(gif->Error);
                    done = true;
                    break;
                }
            }
            break;
        }
        case IMAGE_DESC_RECORD_TYPE: {
            if (DGifGetImageDesc(gif) == GIF_ERROR) {
                failure = GifError(gif->Error);
                done = true;
                break;
            }
            const GifImageDesc& desc = gif->Image;
            if (!screenKnown) {
                // A screen without a size takes the first frame's extent.
                if (screenW <= 0 || screenH <= 0) {
                    screenW = std::max(1, desc.Left + desc.Width);
                    screenH = std::max(1, desc.Top + desc.Height);
                }
                CheckPictureSize(screenW, screenH);
                screenKnown = true;
            }
            auto frameData = std::make_shared<TGifFrameData>();
            TGifFrameData& fd = *frameData;
            fd.Clip = QRect(desc.Left, desc.Top, std::max(0, desc.Width), std::max(0, desc.Height))
                          .intersected(QRect(0, 0, screenW, screenH));
            // The stored frames (a byte a pixel) together stay within the pixel limit; the animation ends there.
            storedPixels += qint64(fd.Clip.width()) * fd.Clip.height();
            if (!frames.empty() && storedPixels > PixelLimit()) {
                done = true;
                break;
            }
            fd.Indices.resize(size_t(fd.Clip.width()) * size_t(fd.Clip.height()));
            fd.RowDone.assign(size_t(fd.Clip.height()), 0);
            fd.Table = desc.ColorMap ? MakeColourTable(desc.ColorMap) : globalTable;
            fd.Transparent = gcb.TransparentColor;

            TGifFrame frame;
            frame.Bounds = QRect(desc.Left, desc.Top, desc.Width, desc.Height);
            frame.DelayMs = gcb.DelayTime * 10;
            frame.Disposal = TGifDisposal(std::clamp(gcb.DisposalMode, 0, 3));
            frame.TransparentIndex = gcb.TransparentColor;
            frame.Interlaced = desc.Interlace;

            const int fw = desc.Width, fh = desc.Height;
            bool cut = false;
            if (fw <= 0 || fh <= 0) {
                cut = !SkipImageData(gif);
            } else {
                const std::vector<int> rows = desc.Interlace ? InterlacedRows(fh) : std::vector<int>();
                std::vector<GifPixelType> line(static_cast<size_t>(fw));
                const int x0 = fd.Clip.left(), cw = fd.Clip.width();
                for (int i = 0; i < fh; ++i) {
                    if (DGifGetLine(gif, line.data(), fw) == GIF_ERROR) {
                        failure = GifError(gif->Error);
                        cut = true;
                        break;
                    }
                    const int r = desc.Top + (desc.Interlace ? rows[size_t(i)] : i) - fd.Clip.top();
                    if (r < 0 || r >= fd.Clip.height() || cw <= 0) continue;
                    std::memcpy(fd.Indices.data() + size_t(r) * size_t(cw), line.data() + (x0 - desc.Left), size_t(cw));
                    fd.RowDone[size_t(r)] = 1;
                }
            }
            // A cut first frame is kept as far as it was decoded; a later one is dropped.
            if (!cut || frames.empty()) {
                frames.push_back(frame);
                data.push_back(std::move(frameData));
            }
            if (cut) {
                done = true;
                break;
            }
            gcb = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
            Progress(TProgressStage::psRunning, quint8(std::min<qint64>(99, stream.pos() * 100 / std::max<qint64>(1, stream.size()))));
            break;
        }
        case TERMINATE_RECORD_TYPE: done = true; break;
        default: break;
        }
    }
    if (frames.empty())
        throw EInvalidGraphic(failure.isEmpty() ? QStringLiteral("The GIF file holds no picture")
                                                : QStringLiteral("The GIF file holds no picture: %1").arg(failure));

    // Compose every frame once, keeping the screen before some of them so that a jump is short.
    const qint64 screenPixels = qint64(screenW) * screenH;
    const int maxCheckpoints = int(std::clamp<qint64>(PixelLimit() / (4 * screenPixels), 1, 32));
    const int step = std::max(8, int((frames.size() + size_t(maxCheckpoints) - 1) / size_t(maxCheckpoints)));
    std::vector<QImage> checkpoints; // the first one, a transparent screen, is made when needed
    QImage canvas = TransparentScreen(QSize(screenW, screenH)), first;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (i % size_t(step) == 0) checkpoints.push_back(i == 0 ? QImage() : canvas);
        QImage before = frames[i].Disposal == TGifDisposal::Previous ? canvas : QImage();
        DrawFrame(canvas, *data[i]);
        if (i == 0) first = canvas;
        if (i + 1 < frames.size()) canvas = Dispose(before, canvas, frames[i].Disposal, data[i]->Clip);
    }
    Progress(TProgressStage::psEnding, 100);
    ResetFrames();
    FFrames = std::move(frames);
    FData = std::move(data);
    FCheckpoints = std::move(checkpoints);
    FCheckpointStep = step;
    FScreen = QSize(screenW, screenH);
    FLoopCount = loopCount;
    FImage = first;
    FCurrentKey = FImage.cacheKey();
    SetTransparent(HasTransparentFrame());
    // Data that ended early (rows of a frame that never arrived stay transparent).
    SetTruncated(!failure.isEmpty());
}

void TGIFImage::SaveToStream(QIODevice& stream) const {
    if (FImage.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    if (FImage.width() > 65535 || FImage.height() > 65535)
        throw EInvalidGraphicOperation(QStringLiteral("A GIF picture cannot be larger than 65535 x 65535 pixels"));
    const TGifPicture picture = PrepareForGif(FImage);
    const QVector<QRgb> table = picture.Indexed.colorTable();
    int bits = 1;
    while ((1 << bits) < table.size()) ++bits;
    std::vector<GifColorType> colours(size_t(1) << bits, GifColorType{0, 0, 0});
    for (int i = 0; i < table.size(); ++i)
        colours[size_t(i)] = GifColorType{GifByteType(qRed(table[i])), GifByteType(qGreen(table[i])), GifByteType(qBlue(table[i]))};
    std::unique_ptr<ColorMapObject, TMapDeleter> map(GifMakeMapObject(1 << bits, colours.data()));
    if (!map) throw EWriteError(QStringLiteral("Cannot write the GIF file: not enough memory"));

    int error = 0;
    TGifWriter writer;
    writer.Gif = EGifOpen(&stream, WriteFunc, &error);
    if (!writer.Gif) throw EWriteError(QStringLiteral("Cannot write the GIF file: %1").arg(GifError(error)));
    GifFileType* gif = writer.Gif;
    const int w = picture.Indexed.width(), h = picture.Indexed.height();
    EGifSetGifVersion(gif, picture.Transparent >= 0);
    if (EGifPutScreenDesc(gif, w, h, bits, 0, map.get()) == GIF_ERROR) writer.Fail();
    if (picture.Transparent >= 0) {
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, picture.Transparent};
        GifByteType ext[4];
        const size_t len = EGifGCBToExtension(&gcb, ext);
        if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(len), ext) == GIF_ERROR) writer.Fail();
    }
    if (EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_ERROR) writer.Fail();
    std::vector<GifPixelType> line(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        std::memcpy(line.data(), picture.Indexed.constScanLine(y), size_t(w));
        if (EGifPutLine(gif, line.data(), w) == GIF_ERROR) writer.Fail();
    }
    GifFileType* closing = writer.Gif;
    writer.Gif = nullptr;
    if (EGifCloseFile(closing, &error) == GIF_ERROR)
        throw EWriteError(QStringLiteral("Cannot write the GIF file: %1").arg(GifError(error)));
}
