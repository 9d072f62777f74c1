// The per-format save options: one record that the save dialog, the batch dialog and the album fill and
// the conversion applies. Kind says which format's options the record holds; a writer takes them only
// when Kind names its format, through the writer's own option keys (TGraphic::SetSaveOption).
#pragma once

#include "codec/Graphic.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Which format's options a record holds.
enum TPictureOptionKind : quint8 {
    pokNone = 0,
    pokJpeg = 1,
    pokGif = 2,
    pokPng = 3,
    pokTiff = 4,
    pokIco = 5,
    pokCif = 6,
    pokAvi = 7,
    pokWebP = 8,
    pokAvif = 9,
};

struct TPictureOption {
    quint8 Kind = pokNone;
    // JPEG
    quint8 JpegQuality = 80; // 1..100
    bool JpegProgressive = false;
    bool JpegOptimizeHuffman = false;
    // GIF
    quint8 GifCompression = 1;    // 1: "RLE", the only method
    quint8 GifDitherMode = 0;     // 0..6, as TDitherMode
    quint8 GifColorReduction = 6; // 1..8, as TColorReduction
    qint32 GifReductionBits = 8;  // 3..8, for "Optimal 2^n color palette" only
    bool GifAnimated = false;     // the GIF is an animation: the two options below are offered
    bool GifTransparent = true;   // frames after the first are transparent
    bool GifOptimizePalette = true;
    // PNG
    double PngGamma = 0.5;      // 0.20..5.00
    quint8 PngCompression = 1;  // 0 low, 1 medium, 2 high
    bool PngProgressive = true; // interlaced
    bool PngTransparent = false;
    quint32 PngTransparentColor = 0; // 0x00RRGGBB (red in bits 16..23, unlike TColor)
    bool PngBackground = false;
    quint32 PngBackgroundColor = 0; // 0x00RRGGBB
    // TIFF
    quint8 TiffCompression = 0; // 0..6: TiffCompressionNames()
    // Icon
    quint8 IcoRenderMethod = 0; // 0 crop, 1 stretch, 2 centre
    // Encrypted image
    quint8 CifAlgorithm = 4; // 4 Blowfish, 5 Twofish, 6 CAST-128, 7 Rijndael
    QString CifPassword;
    bool CifMaskPassword = true;
    bool CifCaseSensitive = false;
    // AVI
    bool AviCompress = false;
    // The compressor chosen for AVI clips when AviCompress is set (a name VideoEncoders lists, with its
    // quality 1..100 and a key frame every AviKeyFrameEvery frames); empty: asked for at save time.
    QString AviCompressor;
    int AviQuality = 75;
    int AviKeyFrameEvery = 1;
    // WebP: the quality of lossy pictures (for lossless ones the effort spent on compression), or lossless.
    quint8 WebPQuality = 75; // 0..100
    bool WebPLossless = false;
    // AVIF
    quint8 AvifQuality = 75; // 0..100; 100 keeps full chroma resolution

    bool operator==(const TPictureOption&) const = default;
};

// The program-wide defaults every owner of a record starts from.
extern const TPictureOption DefaultPictureOption;

// "Uncompressed", "Packbits", "Group3.1", "Group3.2", "Group4", "ZLib", "JPEG".
const QStringList& TiffCompressionNames();
// "448-bit Blowfish", "256-bit Twofish", "128-bit Cast128", "256-bit Rijndael" (algorithms 4..7).
const QStringList& CifAlgorithmNames();

// The zlib level a PNG compression of the record (0 low, 1 medium, 2 high) stands for: 1, 6, 9.
int PngZlibLevel(quint8 compression);

// The format a writer's options belong to: pokJpeg for JPEG writers, ..., pokNone for writers without
// options in the record (a writer of another format derived from one of these is none of them).
TPictureOptionKind PictureOptionKindOf(const TGraphic& writer);
// The record's options of one format as the writer's option keys and values; empty for pokNone.
QList<QPair<QString, QString>> PictureOptionKeys(const TPictureOption& options, TPictureOptionKind kind);
// Applies the record to the writer when its Kind names the writer's format; returns whether it did.
// Raises EInvalidGraphicOperation for a value outside its range.
bool ApplyPictureOption(TGraphic& writer, const TPictureOption& options);
// The GIF options (compression, dither, colour reduction, reduction bits) as GIF option keys, whatever
// the Kind: the animated paths always use them.
QList<QPair<QString, QString>> GifOptionKeys(const TPictureOption& options);
