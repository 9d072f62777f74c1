#include "codec/Gif.h"
#include "codec/Headers.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QBuffer>
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

// A picture made ready for writing: indexed, with the index of the transparent colour or -1.
struct TGifPicture {
    QImage Indexed;
    int Transparent = -1;
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

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Save options.

namespace {

int ParseChoice(const QString& key, const QString& value, const QStringList& names, int first, int last) {
    const QString v = value.trimmed().toLower();
    const int named = names.indexOf(v);
    if (named >= 0) return first + int(named);
    bool ok = false;
    const int n = v.toInt(&ok);
    if (ok && n >= first && n <= last) return n;
    throw EInvalidGraphicOperation(QStringLiteral("The GIF option %1 takes %2 to %3 or one of %4, not '%5'")
                                       .arg(key).arg(first).arg(last).arg(names.join(QStringLiteral(", ")), value));
}

} // namespace

bool TGifSaveOptions::Set(const QString& key, const QString& value) {
    if (key == QLatin1String("compression")) {
        const QString v = value.trimmed().toLower();
        if (v != QLatin1String("1") && v != QLatin1String("rle"))
            throw EInvalidGraphicOperation(QStringLiteral("The GIF compression is 1 (rle), not '%1'").arg(value));
    } else if (key == QLatin1String("reduction")) {
        static const QStringList names = {"windows20", "halftone", "gray4", "mono", "gray256", "netscape", "optimal", "optimal-windows"};
        Reduction = TColorReduction(ParseChoice(key, value, names, 1, 8));
    } else if (key == QLatin1String("dither")) {
        static const QStringList names = {"nearest", "floyd", "stucki", "sierra", "jajuni", "stevenson", "burkes"};
        Dither = TDitherMode(ParseChoice(key, value, names, 0, 6));
    } else if (key == QLatin1String("bits")) {
        bool ok = false;
        const int n = value.trimmed().toInt(&ok);
        if (!ok || n < 1 || n > 8)
            throw EInvalidGraphicOperation(QStringLiteral("The GIF option bits takes 1 to 8, not '%1'").arg(value));
        Bits = n;
    } else {
        return false;
    }
    return true;
}

QImage TGifSaveOptions::Prepare(const QImage& source, int* transparent) const {
    *transparent = -1;
    if ((source.format() == QImage::Format_Indexed8 || source.format() == QImage::Format_Mono ||
         source.format() == QImage::Format_MonoLSB) &&
        source.colorCount() > 0 && source.colorCount() <= 256) {
        // A palette picture keeps its palette; a fully transparent entry becomes the transparent colour.
        QImage indexed = source.convertToFormat(QImage::Format_Indexed8);
        const QVector<QRgb> table = indexed.colorTable();
        bool partial = false;
        for (int i = 0; i < table.size(); ++i) {
            if (qAlpha(table[i]) == 0 && *transparent < 0) *transparent = i;
            else if (qAlpha(table[i]) != 255) partial = true;
        }
        if (!partial) return indexed;
        *transparent = -1;
    }
    TTransparentReduction reduced = ReduceColorsTransparent(source, Reduction, Dither, Bits);
    *transparent = reduced.Transparent;
    return reduced.Image;
}

bool TGIFImage::SetSaveOption(const QString& key, const QString& value) { return FSaveOptions.Set(key, value); }

// ---------------------------------------------------------------------------------------------------------

struct TGifFrameData {
    QRect Clip;                  // the part of the frame inside the screen
    std::vector<uchar> Indices;  // Clip.width() x Clip.height() colour indices
    std::vector<uchar> RowDone;  // 1 for every row of Clip that was decoded (a cut frame has gaps)
    std::array<QRgb, 256> Table; // its colours (local or global map)
    int TableSize = 256;         // entries the map holds
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
    ResetPlayer();
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

QVector<QRgb> TGIFImage::FrameColorTable(int frame) const {
    if (!FramesValid() && frame == 1) return FImage.colorTable();
    Frame(frame); // range check
    const TGifFrameData& data = *FData[size_t(frame - 1)];
    return QVector<QRgb>(data.Table.begin(), data.Table.begin() + data.TableSize);
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

bool TGIFImage::ReadInfo(QIODevice& stream, TGraphicInfo& info) { return ReadGifHeader(stream, info); }

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
    bool control = false; // gcb came from the file
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
                    control = true;
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
            const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
            fd.TableSize = map && map->Colors ? std::clamp(map->ColorCount, 1, 256) : 256;
            fd.Transparent = gcb.TransparentColor;

            TGifFrame frame;
            frame.Bounds = QRect(desc.Left, desc.Top, desc.Width, desc.Height);
            frame.DelayMs = gcb.DelayTime * 10;
            frame.Disposal = TGifDisposal(std::clamp(gcb.DisposalMode, 0, 3));
            frame.TransparentIndex = gcb.TransparentColor;
            frame.Interlaced = desc.Interlace;
            frame.LocalColorTable = desc.ColorMap != nullptr;
            frame.HasGraphicControl = control;

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
            control = false;
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
    TGifPicture picture;
    picture.Indexed = FSaveOptions.Prepare(FImage, &picture.Transparent);
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
