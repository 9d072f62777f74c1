#include "tools/ConvertFmt.h"

#include "codec/Bmp.h"
#include "codec/DibGraphic.h"
#include "codec/Gif.h"
#include "codec/GifAnimation.h"
#include "codec/Ico.h"
#include "codec/Jpeg.h"
#include "codec/Limits.h"
#include "codec/Metafile.h"
#include "codec/Pcx.h"
#include "codec/Png.h"
#include "codec/Ppm.h"
#include "codec/Registry.h"
#include "codec/ColorReduce.h"
#include "codec/Resample.h"
#include "codec/Services.h"
#include "codec/Tga.h"
#include "codec/Tiff.h"
#include "codec/WebP.h"
#include "codec/Avif.h"
#include "codec/Raw.h"
#include "formats/cad/DxfImage.h"
#include "formats/cad/SLDimage.h"
#include "formats/raster/AVIGraph.h"
#include "formats/raster/Ani.h"
#include "formats/raster/Cur.h"
#include "formats/raster/SCR.h"
#include "formats/raster/TextGrph.h"
#include "formats/raster/WBMP.h"
#include "formats/raster/cif.h"
#include "platform/VideoBackend.h"
#include "platform/VideoFile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <memory>

namespace {

struct TTarget {
    const char* Extension;
    TGraphicClass (*Class)();
};

// The save dialog's targets, in its order.
const TTarget kDialogTargets[] = {
    {"JPG", &TJpegGraphic::StaticClass}, {"GIF", &TGIFImage::StaticClass},   {"PNG", &TPngGraphic::StaticClass},
    {"TIF", &TTiffGraphic::StaticClass}, {"ICO", &TIcon::StaticClass},       {"BMP", &TBitmap::StaticClass},
    {"WBMP", &TWBitmap::StaticClass},    {"EMF", &TMetafile::StaticClass},   {"PCX", &TPcxGraphic::StaticClass},
    {"SCR", &TScrGraphic::StaticClass},  {"TGA", &TTgaGraphic::StaticClass}, {"PTF", &TTxtGraphic::StaticClass},
    {"WEBP", &TWebPGraphic::StaticClass}, {"AVIF", &TAvifGraphic::StaticClass},
};
// Other extensions whose class writes its own format.
const TTarget kOtherTargets[] = {
    {"JPEG", &TJpegGraphic::StaticClass}, {"JPE", &TJpegGraphic::StaticClass}, {"JFIF", &TJpegGraphic::StaticClass},
    {"JIF", &TJpegGraphic::StaticClass},  {"TIFF", &TTiffGraphic::StaticClass}, {"PCC", &TPcxGraphic::StaticClass},
    {"PPM", &TPPMGraphic::StaticClass},   {"PGM", &TPPMGraphic::StaticClass},  {"PBM", &TPPMGraphic::StaticClass},
    {"WMF", &TMetafile::StaticClass},     {"CUR", &TCursorGraphic::StaticClass}, {"SLD", &Tslide::StaticClass},
};

QString Normalised(QString extension) {
    if (extension.startsWith(QLatin1Char('.'))) extension.remove(0, 1);
    return extension.toUpper();
}

[[noreturn]] void Fail(const char* message) { throw EInvalidGraphic(QString::fromLatin1(message)); }

// The hourglass while a conversion runs, the previous cursor back afterwards on every path.
class TBusyCursor {
public:
    TBusyCursor() {
        FOn = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) && QThread::currentThread() == qApp->thread();
        if (FOn) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~TBusyCursor() {
        if (FOn) QGuiApplication::restoreOverrideCursor();
    }

private:
    bool FOn = false;
};

// Lets the window repaint between frames of a long conversion (user input waits).
void ProcessPendingEvents() {
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// Drawings are drawn on the background colour while converting, and switched back afterwards.
class TBackgroundSwitch {
public:
    TBackgroundSwitch(TGraphic* graphic, TColor colour) {
        if ((FSlide = dynamic_cast<Tslide*>(graphic))) FSlide->SetBackground(true, colour);
        if ((FDxf = dynamic_cast<TDXFImage*>(graphic))) {
            FWas = FDxf->Background;
            FWasColour = FDxf->BackgroundColour;
            FDxf->Background = true;
            FDxf->BackgroundColour = colour;
        }
    }
    ~TBackgroundSwitch() {
        if (FSlide) FSlide->SetBackground(false);
        if (FDxf) {
            FDxf->Background = FWas;
            FDxf->BackgroundColour = FWasColour;
        }
    }

private:
    Tslide* FSlide = nullptr;
    TDXFImage* FDxf = nullptr;
    bool FWas = false;
    TColor FWasColour = 0;
};

// An animated cursor's frame and animation state, restored on every path.
class TCursorState {
public:
    explicit TCursorState(TAniGraphic& cursor)
        : FCursor(cursor), FAnimating(cursor.Animating()), FFrame(cursor.FrameIndex()) {
        cursor.SetAnimating(false);
    }
    ~TCursorState() {
        if (FFrame >= 0) FCursor.ShowFrame(FFrame);
        FCursor.SetAnimating(FAnimating);
    }

private:
    TAniGraphic& FCursor;
    bool FAnimating;
    int FFrame;
};

// The picture on the colour, without alpha.
QImage Flatten(const QImage& image, TColor colour) {
    if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
    QImage out = NewImage(image.width(), image.height(), QImage::Format_RGB32);
    out.fill(ToQColor(colour));
    QPainter painter(&out);
    painter.drawImage(0, 0, image);
    return out;
}

// The cursor's current frame on the colour, at the cursor's size.
QImage CursorFrame(const TAniGraphic& cursor, TColor colour) { return Flatten(cursor.FrameBitmap(), colour); }

// An animated GIF or WebP: frames stepped by the frame player.
bool IsPlayedAnimation(const TGraphic& graphic) {
    auto* player = dynamic_cast<const TFramePlayer*>(&graphic);
    return player && player->FrameCount() > 1;
}

// The picture shown, as a raster: an animation's current frame (an animated cursor's with its
// transparency), a drawing drawn at its own size; what is not a raster is drawn on the background colour.
QImage StillPicture(const TGraphic& source, TColor backColor) {
    QImage image;
    if (auto* dib = dynamic_cast<const TDibGraphic*>(&source))
        image = dib->Image();
    else if (auto* avi = dynamic_cast<const TAVIGraphic*>(&source))
        image = avi->FrameImage();
    else if (auto* cursor = dynamic_cast<const TAniGraphic*>(&source))
        image = cursor->FrameBitmap(); // with its transparency, as a cursor's conversion keeps it
    else if (!source.IsEmpty()) {
        CheckPictureSize(source.Width(), source.Height());
        image = source.ToImage(QSize(), backColor);
    }
    if (image.isNull()) throw EInvalidGraphicOperation(QStringLiteral("There is no picture to save"));
    return image;
}

// Before writing: JPEG takes 8-bit grey or true colour, TGA 8-bit grey, 8-bit palette or true colour;
// anything else becomes true colour (transparent parts on the background colour).
void FixPixelFormat(TGraphic& target, TColor backColor) {
    auto* dib = dynamic_cast<TDibGraphic*>(&target);
    if (!dib || dib->IsEmpty()) return;
    const QImage& image = dib->Image();
    const QImage::Format f = image.format();
    const bool trueColour = f == QImage::Format_RGB32 || f == QImage::Format_RGB888;
    const bool grey = f == QImage::Format_Grayscale8 ||
                      (f == QImage::Format_Indexed8 && image.isGrayscale() && !image.hasAlphaChannel());
    bool ok = true;
    if (target.ClassType() == TJpegGraphic::StaticClass())
        ok = grey || trueColour;
    else if (target.ClassType() == TTgaGraphic::StaticClass())
        ok = grey || trueColour || f == QImage::Format_Indexed8;
    if (!ok) dib->SetImage(Flatten(image, backColor));
}

using TKeys = QList<QPair<QString, QString>>;

void ApplyKeys(TGraphic& writer, const TKeys& keys) {
    for (const auto& [key, value] : keys)
        if (!writer.SetSaveOption(key, value)) throw EUnknownSaveOption(writer.ClassName(), key);
}

bool ParseFlag(const QString& key, const QString& value) {
    if (value == QLatin1String("1") || value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
    if (value == QLatin1String("0") || value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
    throw EInvalidGraphicOperation(QStringLiteral("The option %1 takes 0 or 1, not '%2'").arg(key, value));
}

int ParseNumber(const QString& key, const QString& value, int low, int high) {
    bool ok = false;
    const int n = value.trimmed().toInt(&ok);
    if (!ok || n < low || n > high)
        throw EInvalidGraphicOperation(QStringLiteral("The option %1 takes %2 to %3, not '%4'").arg(key).arg(low).arg(high).arg(value));
    return n;
}

// The animated GIF paths: the record's GIF options, then the keys given.
TGifAnimation MakeGif(TPictureOption& options, const TKeys& keys) {
    TGifAnimation gif;
    for (const auto& [key, value] : GifOptionKeys(options)) gif.SetSaveOption(key, value);
    for (const auto& [key, value] : keys) {
        if (key == QLatin1String("transparent"))
            options.GifTransparent = ParseFlag(key, value);
        else if (key == QLatin1String("optimize-palette"))
            options.GifOptimizePalette = ParseFlag(key, value);
        else if (!gif.SetSaveOption(key, value))
            throw EUnknownSaveOption(QStringLiteral("animated GIF"), key);
    }
    return gif;
}

// The AVI paths: the record's AVI options with the keys given.
void ApplyAviKeys(TPictureOption& options, const TKeys& keys) {
    for (const auto& [key, value] : keys) {
        if (key == QLatin1String("compress")) {
            options.AviCompress = ParseFlag(key, value);
        } else if (key == QLatin1String("compressor")) {
            options.AviCompressor = value.trimmed();
            options.AviCompress = !options.AviCompressor.isEmpty();
        } else if (key == QLatin1String("quality")) {
            options.AviQuality = ParseNumber(key, value, 1, 100);
        } else if (key == QLatin1String("keyframes")) {
            options.AviKeyFrameEvery = ParseNumber(key, value, 1, 100000);
        } else {
            throw EUnknownSaveOption(QStringLiteral("AVI"), key);
        }
    }
}

void ConvertStill(TGraphic& source, const QString& destFile, const TPictureOption& options, TColor backColor,
                  TGraphicClass cls, const TKeys& keys) {
    TBackgroundSwitch background(&source, backColor);
    // A camera RAW picture is converted developed, never from its preview.
    if (auto* raw = dynamic_cast<TRawGraphic*>(&source)) raw->DecodeFull();
    std::unique_ptr<TGraphic> target = cls->Create();
    ApplyPictureOption(*target, options);
    ApplyKeys(*target, keys);
    if (source.IsEmpty()) throw EInvalidGraphicOperation(QStringLiteral("There is no picture to save"));
    if (target->ClassType() == source.ClassType() || dynamic_cast<const TDibGraphic*>(&source))
        target->Assign(source);
    else
        target->Assign(TImageGraphic(StillPicture(source, backColor)));
    FixPixelFormat(*target, backColor);
    target->SaveToFileName(destFile);
}

void ConvertEncrypted(TGraphic& source, const QString& destFile, const TPictureOption& options, TColor backColor,
                      const QString& sourceFile, const TKeys& keys) {
    TCIFGraphic cif;
    ApplyPictureOption(cif, options);
    ApplyKeys(cif, keys);
    if (source.IsEmpty()) throw EInvalidGraphicOperation(QStringLiteral("There is no picture to save"));
    if (source.Is<TAVIGraphic>() || source.Is<TAniGraphic>() || IsPlayedAnimation(source)) {
        // The picture shown, as a bitmap held in memory.
        TBitmap bitmap;
        bitmap.Assign(TImageGraphic(StillPicture(source, backColor)));
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        bitmap.SaveToStream(buffer);
        cif.SetPlainData(buffer.data(), QStringLiteral("BMP"));
    } else {
        if (sourceFile.isEmpty() || !QFileInfo(sourceFile).isFile())
            throw EInvalidGraphicOperation(QStringLiteral("An encrypted image holds a picture file: this picture has none"));
        cif.SetPlainFileName(sourceFile);
    }
    if (cif.Password().isEmpty()) throw EInvalidGraphicOperation(QStringLiteral("An encrypted image needs a password"));
    cif.SaveToFileName(destFile);
}

void AviToGif(TAVIGraphic& avi, const QString& destFile, TPictureOption options, const TKeys& keys) {
    TGifAnimation gif = MakeGif(options, keys);
    if (avi.IsEmpty() || avi.FrameCount() <= 0) Fail("Failed to start AVI stream");
    const int delay = avi.FrameInterval() / 10;
    gif.SetOptimize(true, true);
    for (int i = 0; i < avi.FrameCount(); ++i) {
        ProcessPendingEvents();
        const QImage frame = avi.FrameImage(i);
        if (frame.isNull()) Fail("Failed to decompress AVI frame");
        gif.AddFrame(frame, delay, i > 0 && options.GifTransparent);
    }
    gif.OptimizeColorMaps();
    gif.SaveToFileName(destFile);
}

void CursorToGif(TAniGraphic& cursor, const QString& destFile, TPictureOption options, TColor backColor,
                 const TKeys& keys) {
    TGifAnimation gif = MakeGif(options, keys);
    if (cursor.IsEmpty()) throw EInvalidGraphicOperation(QStringLiteral("There is no picture to save"));
    TCursorState state(cursor);
    gif.SetOptimize(true, true);
    for (int i = 0; i < cursor.FrameCount(); ++i) {
        cursor.ShowFrame(i);
        gif.AddFrame(CursorFrame(cursor, backColor), 30, i > 0 && options.GifTransparent);
    }
    if (options.GifOptimizePalette) gif.OptimizeColorMaps();
    gif.SaveToFileName(destFile);
}

// The AVI stream of a conversion, with the compressor the options (or the user) choose.
void StartVideo(TVideoWriter& writer, const QString& destFile, const TVideoStreamHeader& header,
                TVideoWriter::TPixels pixels, const TPictureOption& options, const QVector<QRgb>& palette) {
    if (!writer.Create(destFile)) {
        if (!VideoSupportError().isEmpty()) throw EInvalidGraphic(writer.ErrorString());
        Fail("Failed to create AVI file");
    }
    if (!writer.CreateStream(header, pixels)) Fail("Failed to create AVI stream");
    if (options.AviCompress) {
        TVideoCompression choice{options.AviCompressor, options.AviQuality, options.AviKeyFrameEvery};
        if (choice.Encoder.isEmpty() && !ViewerServices().ChooseVideoCompression(header.Size, choice))
            Fail("Failed to etrieves the save options for AVI stream");
        if (!writer.SetCompressor(choice.Encoder, choice.Quality, choice.KeyFrameEvery))
            Fail("Failed to compress the save options for AVI stream");
    }
    if (!writer.SetFormat(palette)) Fail("Failed to set AVI stream format");
}

void FinishVideo(TVideoWriter& writer, const QString& destFile) {
    if (!writer.Finish()) throw EWriteError(QStringLiteral("Cannot write %1: %2").arg(destFile, writer.ErrorString()));
}

void GifToAvi(const TGIFImage& gif, const QString& destFile, TPictureOption options, TColor backColor, const TKeys& keys) {
    ApplyAviKeys(options, keys);
    const int frames = gif.FrameCount();
    const QSize size(gif.Width(), gif.Height());
    // The scale: the delay of the frames' graphic control extensions, up to the first frame with a colour
    // table of its own.
    int scale = 0;
    bool local = false;
    for (int i = 1; i <= frames; ++i) {
        const TGifFrame& f = gif.Frame(i);
        local = local || f.LocalColorTable;
        if (f.HasGraphicControl) scale = f.DelayMs / 10;
        if (local && scale != 0) break;
    }
    if (scale <= 0) scale = 1;
    // Frames are the screens as composed; 8-bit with the global palette when no frame has its own.
    QVector<QRgb> palette;
    QHash<QRgb, int> indexOf;
    int backIndex = 0;
    if (!local) {
        palette = gif.FrameColorTable(1);
        for (QRgb& c : palette) c |= 0xFF000000u;
        for (int i = palette.size() - 1; i >= 0; --i) indexOf.insert(palette[i], i);
        const QRgb back = ToQColor(backColor).rgb();
        if (indexOf.contains(back)) {
            backIndex = indexOf.value(back);
        } else if (palette.size() < 256) {
            backIndex = int(palette.size());
            palette << back;
            indexOf.insert(back, backIndex);
        } else {
            QImage probe(1, 1, QImage::Format_RGB32);
            probe.setPixel(0, 0, back);
            backIndex = ReduceToPalette(probe, palette, TDitherMode::dmNearest).pixelIndex(0, 0);
        }
    }
    TVideoWriter writer;
    StartVideo(writer, destFile, {size, scale, 65}, local ? TVideoWriter::TPixels::Rgb24 : TVideoWriter::TPixels::Palette8,
               options, palette);
    QImage indexed;
    if (!local) {
        indexed = NewImage(size.width(), size.height(), QImage::Format_Indexed8);
        indexed.setColorTable(palette);
    }
    for (int i = 1; i <= frames; ++i) {
        const QImage& screen = gif.FrameImage(i);
        bool written;
        if (local) {
            written = writer.WriteFrame(Flatten(screen, backColor));
        } else {
            const QImage argb = screen.convertToFormat(QImage::Format_ARGB32);
            for (int y = 0; y < size.height(); ++y) {
                const QRgb* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
                uchar* out = indexed.scanLine(y);
                for (int x = 0; x < size.width(); ++x)
                    out[x] = uchar(qAlpha(in[x]) < 128 ? backIndex : indexOf.value(in[x] | 0xFF000000u, backIndex));
            }
            written = writer.WriteFrame(indexed);
        }
        if (!written) Fail("Failed to add frame to AVI");
    }
    FinishVideo(writer, destFile);
}

// Frames composed by another format (animated WebP): true colour on the background, at the pace of the
// first frame's delay (a clip has one frame rate).
void PlayerToAvi(TFramePlayer& player, const QString& destFile, TPictureOption options, TColor backColor,
                 const TKeys& keys) {
    ApplyAviKeys(options, keys);
    const QSize size(player.Width(), player.Height());
    const int shown = player.CurrentFrame();
    TVideoWriter writer;
    StartVideo(writer, destFile, {size, TFramePlayer::PlayDelayMs(player.FrameDelay(1)), 1000},
               TVideoWriter::TPixels::Rgb24, options, {});
    bool written = true;
    for (int i = 1; i <= player.FrameCount() && written; ++i) {
        ProcessPendingEvents();
        player.SelectFrame(i);
        written = writer.WriteFrame(Flatten(player.Image(), backColor));
    }
    player.SelectFrame(shown);
    if (!written) Fail("Failed to add frame to AVI");
    FinishVideo(writer, destFile);
}

void CursorToAvi(TAniGraphic& cursor, const QString& destFile, TPictureOption options, TColor backColor,
                 const TKeys& keys) {
    ApplyAviKeys(options, keys);
    if (cursor.IsEmpty() || cursor.Width() <= 0 || cursor.Height() <= 0)
        throw EInvalidGraphicOperation(QStringLiteral("There is no picture to save"));
    TCursorState state(cursor);
    TVideoWriter writer;
    StartVideo(writer, destFile, {QSize(cursor.Width(), cursor.Height()), 1, 10}, TVideoWriter::TPixels::Rgb24, options, {});
    for (int i = 0; i < cursor.FrameCount(); ++i) {
        cursor.ShowFrame(i);
        if (!writer.WriteFrame(CursorFrame(cursor, backColor))) Fail("Failed to add frame to AVI");
    }
    FinishVideo(writer, destFile);
}

} // namespace

TGraphicClass ConvertTargetClass(const QString& extension, TConvertTargets targets) {
    const QString ext = Normalised(extension);
    for (const TTarget& t : kDialogTargets)
        if (ext == QLatin1String(t.Extension)) return t.Class();
    if (targets == TConvertTargets::ctAllWriters)
        for (const TTarget& t : kOtherTargets)
            if (ext == QLatin1String(t.Extension)) return t.Class();
    return nullptr;
}

QStringList ConvertTargetExtensions(TConvertTargets targets) {
    QStringList list;
    for (const TTarget& t : kDialogTargets) list << QString::fromLatin1(t.Extension);
    if (targets == TConvertTargets::ctAllWriters)
        for (const TTarget& t : kOtherTargets) list << QString::fromLatin1(t.Extension);
    return list;
}

void ConvertGraphic(TGraphic* graphic, const QString& destFile, const TPictureOption& options, bool animated,
                    TColor backColor, const QString& sourceFile, const TConvertSettings& settings) {
    const TKeys& keys = settings.WriterKeys;
    if (!graphic) throw EInvalidGraphicOperation(QStringLiteral("There is no picture to save"));
    TBusyCursor busy;
    const QString ext = Normalised(QFileInfo(destFile).suffix());
    auto* avi = dynamic_cast<TAVIGraphic*>(graphic);
    auto* cursor = dynamic_cast<TAniGraphic*>(graphic);
    if (animated && avi && ext == QLatin1String("GIF")) return AviToGif(*avi, destFile, options, keys);
    if (animated && cursor && ext == QLatin1String("GIF")) return CursorToGif(*cursor, destFile, options, backColor, keys);
    if (IsPlayedAnimation(*graphic) && ext == QLatin1String("AVI")) {
        if (auto* gif = dynamic_cast<TGIFImage*>(graphic)) return GifToAvi(*gif, destFile, options, backColor, keys);
        return PlayerToAvi(*static_cast<TFramePlayer*>(graphic), destFile, options, backColor, keys);
    }
    if (cursor && ext == QLatin1String("AVI")) return CursorToAvi(*cursor, destFile, options, backColor, keys);
    if (ext == QLatin1String("CIF")) return ConvertEncrypted(*graphic, destFile, options, backColor, sourceFile, keys);
    const TGraphicClass cls = ConvertTargetClass(ext, settings.Targets);
    if (!cls) Fail("Unknown extension type");
    ConvertStill(*graphic, destFile, options, backColor, cls, keys);
}

QSize ResizeTarget(QSize source, QSize box, bool keepAspect) {
    if (box.width() <= 0 || box.height() <= 0)
        throw EInvalidGraphicOperation(QStringLiteral("Cannot resize into a box of %1 x %2 pixels").arg(box.width()).arg(box.height()));
    if (!keepAspect || source.isEmpty()) return box;
    const qint64 sw = source.width(), sh = source.height(), bw = box.width(), bh = box.height();
    if (sw * bh >= sh * bw) return QSize(box.width(), int(std::max<qint64>(1, sh * bw / sw)));
    return QSize(int(std::max<qint64>(1, sw * bh / sh)), box.height());
}

void ResizeAndSave(TGraphic* graphic, const QString& destFile, const TPictureOption& options, TColor backColor,
                   quint8 resize, QSize& size) {
    if (!graphic || graphic->IsEmpty()) throw EInvalidGraphicOperation(QStringLiteral("There is no picture to save"));
    TBusyCursor busy;
    const QString ext = Normalised(QFileInfo(destFile).suffix());
    if (ext != QLatin1String("JPG") && ext != QLatin1String("GIF")) Fail("Unknown extension type");
    const int filter = resize & 0x0F;
    if (filter > int(TResampleFilter::rfMitchell))
        throw EInvalidGraphicOperation(QStringLiteral("Unknown resampling filter %1").arg(filter));
    const QSize target = ResizeTarget(QSize(graphic->Width(), graphic->Height()), size, resize & kResizeKeepAspect);
    QImage picture;
    {
        TBackgroundSwitch background(graphic, backColor);
        picture = StillPicture(*graphic, backColor);
    }
    picture = Resample(picture, target, TResampleFilter(filter));
    std::unique_ptr<TGraphic> writer;
    if (ext == QLatin1String("JPG")) {
        writer = std::make_unique<TJpegGraphic>();
        if (options.Kind == pokJpeg) ApplyPictureOption(*writer, options);
    } else {
        writer = std::make_unique<TGIFImage>();
        if (options.Kind == pokGif) ApplyPictureOption(*writer, options);
    }
    static_cast<TDibGraphic&>(*writer).SetImage(picture);
    FixPixelFormat(*writer, backColor);
    writer->SaveToFileName(destFile);
    size = target;
}

// ---------------------------------------------------------------------------------------------------------

namespace {

const char* const kSaveFilter =
    "JPEG images(*.JPG)|*.JPG|CompuServe (87a, 89a)(*.GIF)|*.GIF|Portable network graphic(*.PNG)|*.PNG|Tagged "
    "image file format(*.TIF)|*.TIF|Windows icons(*.ICO)|*.ICO|Crypted image file(*.CIF)|*.CIF|Windows "
    "bitmaps(*.BMP)|*.BMP|Wireless Bitmap(*.WBMP)|*.WBMP|Windows enhanced metafiles(*.EMF)|*.EMF|ZSoft "
    "Paintbrush(*.PCX)|*.PCX|Word 5.x screen capture images(*.SCR)|*.SCR|Truevision TARGA(*.TGA)|*.TGA|Plain Text "
    "File(*.PTF)|*.PTF|WebP pictures(*.WEBP)|*.WEBP|AV1 image file format(*.AVIF)|*.AVIF";
const char* const kFilterExtensions[] = {"JPG", "GIF", "PNG", "TIF", "ICO", "CIF", "BMP", "WBMP",
                                         "EMF", "PCX", "SCR", "TGA", "PTF", "WEBP", "AVIF"};
// Filters after the first thirteen that have options, and the options' kinds.
constexpr int kWebPFilter = 14, kAvifFilter = 15;

} // namespace

TSaveSource SaveSourceOf(const TGraphic* graphic) {
    if (!graphic) return TSaveSource::ssStill;
    if (graphic->Is<TAVIGraphic>()) return TSaveSource::ssVideo;
    if (graphic->Is<TAniGraphic>()) return TSaveSource::ssAnimatedCursor;
    if (IsPlayedAnimation(*graphic)) return TSaveSource::ssAnimatedGif;
    return TSaveSource::ssStill;
}

TSaveDialogSetup SaveDialogSetup(int tag, TSaveSource source, const QString& shownFile) {
    TSaveDialogSetup setup;
    const QString gif = QStringLiteral("CompuServe (87a, 89a)");
    const QString avi = QStringLiteral("Audio/Video Interleave Files");
    if (tag == 1 && source == TSaveSource::ssAnimatedGif) {
        setup.Filter = avi + QStringLiteral("(*.AVI)|*.AVI");
        setup.DefaultExt = QStringLiteral("AVI");
    } else if (tag == 1 && source == TSaveSource::ssAnimatedCursor) {
        setup.Filter = gif + QStringLiteral("(*.GIF)|*.GIF|") + avi + QStringLiteral("(*.AVI)|*.AVI");
        setup.DefaultExt = QStringLiteral("GIF");
    } else if (tag == 1 && source == TSaveSource::ssVideo) {
        setup.Filter = gif + QStringLiteral("(*.GIF)|*.GIF");
        setup.DefaultExt = QStringLiteral("GIF");
    } else {
        setup.Filter = QString::fromLatin1(kSaveFilter);
        setup.DefaultExt = QStringLiteral("JPG");
    }
    if (!shownFile.isEmpty()) {
        // The name without its extension: the part after the last "." goes when no separator follows it.
        const qsizetype dot = shownFile.lastIndexOf(QLatin1Char('.'));
        const qsizetype sep = std::max(shownFile.lastIndexOf(QLatin1Char('/')), shownFile.lastIndexOf(QLatin1Char('\\')));
        setup.FileName = dot > sep ? shownFile.left(dot) : shownFile;
    }
    return setup;
}

QString SaveDialogDefaultExt(int tag, TSaveSource source, int filterIndex) {
    if (tag == 1) {
        switch (source) {
        case TSaveSource::ssAnimatedGif: return QStringLiteral("AVI");
        case TSaveSource::ssAnimatedCursor: return filterIndex == 1 ? QStringLiteral("GIF") : QStringLiteral("AVI");
        case TSaveSource::ssVideo: return QStringLiteral("GIF");
        case TSaveSource::ssStill: break;
        }
    }
    if (filterIndex >= 1 && filterIndex <= int(std::size(kFilterExtensions)))
        return QString::fromLatin1(kFilterExtensions[filterIndex - 1]);
    return QStringLiteral("JPG");
}

bool SaveDialogOptionEnabled(int tag, int filterIndex) {
    return tag == 1 || (filterIndex >= 1 && filterIndex <= 6) || filterIndex == kWebPFilter || filterIndex == kAvifFilter;
}

void PrepareSaveOptions(TPictureOption& options, int tag, TSaveSource source, int filterIndex) {
    if (tag == 1) {
        switch (source) {
        case TSaveSource::ssAnimatedGif: options.Kind = pokAvi; break;
        case TSaveSource::ssAnimatedCursor: options.Kind = filterIndex == 1 ? pokGif : pokAvi; break;
        case TSaveSource::ssVideo: options.Kind = pokGif; break;
        case TSaveSource::ssStill: options.Kind = pokNone; break;
        }
    } else {
        options.Kind = filterIndex >= 1 && filterIndex <= 6 ? quint8(filterIndex)
                       : filterIndex == kWebPFilter               ? quint8(pokWebP)
                       : filterIndex == kAvifFilter               ? quint8(pokAvif)
                                                                  : quint8(pokNone);
    }
    options.GifAnimated = options.Kind == pokGif && tag == 1;
}

TSaveResult SavePictureAs(TGraphic* graphic, const QString& fileName, const TPictureOption& options, int tag,
                          TColor backColor, const QString& shownFile) {
    TSaveResult result;
    try {
        ConvertGraphic(graphic, fileName, options, tag == 1, backColor, shownFile);
        result.Saved = true;
        result.Message = QStringLiteral("File saved successfully");
        result.Title = QStringLiteral("System Information");
    } catch (const Exception& e) {
        result.Message = QStringLiteral("Cannot save file");
        result.Title = QStringLiteral("Error");
        result.Detail = e.Message();
    } catch (const std::exception& e) {
        result.Message = QStringLiteral("Cannot save file");
        result.Title = QStringLiteral("Error");
        result.Detail = QString::fromLocal8Bit(e.what());
    }
    return result;
}
