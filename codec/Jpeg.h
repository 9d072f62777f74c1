// JPEG pictures through libjpeg-turbo: greyscale, colour, CMYK and YCCK (Adobe inverted CMYK shown
// right), baseline and progressive. Embedded ICC profiles are honoured (pixels converted to sRGB) and
// the EXIF orientation is applied when the picture is loaded. DCT scaling decodes 1/2, 1/4 or 1/8 of
// the size at a fraction of the cost, for thumbnails and fitted views.
#pragma once

#include "codec/DibGraphic.h"

#include <QSize>

class TJpegGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TJpegGraphic)
public:
    void ReadPage(QIODevice& stream, int page) override;
    // The frame header's size, turned as the EXIF orientation says; the pixels are not decoded.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    // The upright size as stored, also after a load reduced by LoadSize or the scale denominator.
    QSize FullSize() const override;
    void SaveToStream(QIODevice& stream) const override;
    // "quality" 1..100 (default 75), "progressive", "optimize" (optimised Huffman tables) and
    // "grayscale" (write one grey component) as 0/1.
    bool SetSaveOption(const QString& key, const QString& value) override;

    // Whether loads turn the picture as its EXIF orientation says (default); without, the picture is
    // given as stored and LoadSize is the stored picture's (a camera's preview, turned by its file).
    void SetApplyOrientation(bool value) { FApplyOrientation = value; }

    // Loads are decoded at 1/d of the size: d is 1, 2, 4 or 8 (EInvalidGraphicOperation otherwise).
    void SetScaleDenominator(int d);
    int ScaleDenominator() const { return FScaleDenominator; }
    // Size of the picture as stored (before scaling, after orientation) of the last load.
    QSize OriginalSize() const { return FOriginalSize; }

    // Decodes at the smallest DCT scale (1/8, 1/4, 1/2 or full) whose result still covers atLeast in
    // both directions, upright and in sRGB. A size that is not valid gives the full picture.
    static QImage DecodeScaled(QIODevice& stream, QSize atLeast);
    // Decodes at the smallest DCT scale whose result still covers the picture fitted (aspect kept) into
    // box; stores the upright size as stored in *original when given. Used for previews.
    static QImage DecodeFitting(QIODevice& stream, QSize box, QSize* original = nullptr);

    int Quality() const { return FQuality; }
    bool Progressive() const { return FProgressive; }
    bool OptimizeHuffman() const { return FOptimize; }
    bool Grayscale() const { return FGrayscale; }

private:
    int FScaleDenominator = 1;
    bool FApplyOrientation = true;
    QSize FOriginalSize;
    qint64 FLoadedKey = 0; // the image as the last load left it (a changed image is no longer reduced)
    int FQuality = 75;
    bool FProgressive = false;
    bool FOptimize = false;
    bool FGrayscale = false;
};
