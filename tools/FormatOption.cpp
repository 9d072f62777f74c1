#include "tools/FormatOption.h"

#include "codec/Avif.h"
#include "codec/Gif.h"
#include "codec/Ico.h"
#include "codec/Jpeg.h"
#include "codec/Png.h"
#include "codec/Tiff.h"
#include "codec/WebP.h"
#include "formats/raster/cif.h"

const TPictureOption DefaultPictureOption{};

const QStringList& TiffCompressionNames() {
    static const QStringList names = {"Uncompressed", "Packbits", "Group3.1", "Group3.2", "Group4", "ZLib", "JPEG"};
    return names;
}

const QStringList& CifAlgorithmNames() {
    static const QStringList names = {"448-bit Blowfish", "256-bit Twofish", "128-bit Cast128", "256-bit Rijndael"};
    return names;
}

int PngZlibLevel(quint8 compression) {
    switch (compression) {
    case 0: return 1;
    case 2: return 9;
    default: return 6;
    }
}

TPictureOptionKind PictureOptionKindOf(const TGraphic& writer) {
    const TGraphicClass cls = writer.ClassType();
    if (cls == TJpegGraphic::StaticClass()) return pokJpeg;
    if (cls == TGIFImage::StaticClass()) return pokGif;
    if (cls == TPngGraphic::StaticClass()) return pokPng;
    if (cls == TTiffGraphic::StaticClass()) return pokTiff;
    if (cls == TIcon::StaticClass()) return pokIco;
    if (cls == TCIFGraphic::StaticClass()) return pokCif;
    if (cls == TWebPGraphic::StaticClass()) return pokWebP;
    if (cls == TAvifGraphic::StaticClass()) return pokAvif;
    return pokNone;
}

namespace {

QString Flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }
QString Rgb(quint32 colour) { return QStringLiteral("%1").arg(colour & 0xFFFFFFu, 6, 16, QLatin1Char('0')).toUpper(); }

} // namespace

QList<QPair<QString, QString>> GifOptionKeys(const TPictureOption& o) {
    return {{QStringLiteral("compression"), QString::number(o.GifCompression)},
            {QStringLiteral("reduction"), QString::number(o.GifColorReduction)},
            {QStringLiteral("dither"), QString::number(o.GifDitherMode)},
            {QStringLiteral("bits"), QString::number(o.GifReductionBits)}};
}

QList<QPair<QString, QString>> PictureOptionKeys(const TPictureOption& o, TPictureOptionKind kind) {
    static const QStringList tiff = {"none", "packbits", "g3-1d", "g3-2d", "g4", "zlib", "jpeg"};
    static const QStringList render = {"crop", "stretch", "center"};
    switch (kind) {
    case pokJpeg:
        return {{QStringLiteral("quality"), QString::number(o.JpegQuality)},
                {QStringLiteral("progressive"), Flag(o.JpegProgressive)},
                {QStringLiteral("optimize"), Flag(o.JpegOptimizeHuffman)}};
    case pokGif: return GifOptionKeys(o);
    case pokPng: {
        QList<QPair<QString, QString>> keys = {{QStringLiteral("gamma"), QString::number(o.PngGamma, 'f', 2)},
                                               {QStringLiteral("compression"), QString::number(PngZlibLevel(o.PngCompression))},
                                               {QStringLiteral("interlace"), Flag(o.PngProgressive)}};
        if (o.PngTransparent) keys.append({QStringLiteral("transparent"), Rgb(o.PngTransparentColor)});
        if (o.PngBackground) keys.append({QStringLiteral("background"), Rgb(o.PngBackgroundColor)});
        return keys;
    }
    case pokTiff:
        return {{QStringLiteral("compression"), o.TiffCompression < tiff.size() ? tiff[o.TiffCompression] : QString::number(o.TiffCompression)}};
    case pokIco:
        return {{QStringLiteral("render"), o.IcoRenderMethod < render.size() ? render[o.IcoRenderMethod] : QString::number(o.IcoRenderMethod)}};
    case pokCif:
        return {{QStringLiteral("cipher"), QString::number(o.CifAlgorithm)},
                {QStringLiteral("password"), o.CifPassword},
                {QStringLiteral("case-sensitive"), Flag(o.CifCaseSensitive)}};
    case pokAvi: {
        QList<QPair<QString, QString>> keys = {{QStringLiteral("compress"), Flag(o.AviCompress)}};
        if (o.AviCompress && !o.AviCompressor.isEmpty())
            keys += {{QStringLiteral("compressor"), o.AviCompressor},
                     {QStringLiteral("quality"), QString::number(o.AviQuality)},
                     {QStringLiteral("keyframes"), QString::number(o.AviKeyFrameEvery)}};
        return keys;
    }
    case pokWebP:
        return {{QStringLiteral("quality"), QString::number(o.WebPQuality)},
                {QStringLiteral("lossless"), Flag(o.WebPLossless)}};
    case pokAvif: return {{QStringLiteral("quality"), QString::number(o.AvifQuality)}};
    case pokNone: break;
    }
    return {};
}

bool ApplyPictureOption(TGraphic& writer, const TPictureOption& options) {
    const TPictureOptionKind kind = PictureOptionKindOf(writer);
    if (kind == pokNone || options.Kind != kind) return false;
    for (const auto& [key, value] : PictureOptionKeys(options, kind))
        if (!writer.SetSaveOption(key, value))
            throw EInvalidGraphicOperation(QStringLiteral("The %1 format has no option '%2'").arg(writer.ClassName(), key));
    return true;
}
