// PNG pictures through libpng: every colour type and bit depth, palettes with transparency, interlaced
// files, gAMA corrected for a display gamma of 2.2 and iCCP profiles honoured (pixels in sRGB).
// Pictures load as Indexed8 (palettes), Grayscale8/Grayscale16 (grey), RGB32/ARGB32 (8-bit colour) or
// RGBX64/RGBA64 (16-bit colour); the writer keeps those kinds: palettes, grey and 16-bit stay so.
#pragma once

#include "codec/DibGraphic.h"

#include <optional>

class TPngGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TPngGraphic)
public:
    void ReadPage(QIODevice& stream, int page) override;
    // The size from the IHDR chunk.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    void SaveToStream(QIODevice& stream) const override;
    // "compression" 0..9 (zlib level, default 6), "interlace" 0/1, "gamma" (written as gAMA, 0.01..100),
    // "transparent" and "background" (colours RRGGBB written as tRNS and bKGD; an empty value clears).
    bool SetSaveOption(const QString& key, const QString& value) override;

    // What the last load found: the gAMA value (0 without one), the bKGD colour, interlacing.
    double FileGamma() const { return FFileGamma; }
    std::optional<QRgb> FileBackground() const { return FFileBackground; }
    bool FileInterlaced() const { return FFileInterlaced; }

private:
    int FCompression = 6;
    bool FInterlace = false;
    double FGamma = 0;
    std::optional<QRgb> FTransparentColor;
    std::optional<QRgb> FBackgroundColor;

    double FFileGamma = 0;
    std::optional<QRgb> FFileBackground;
    bool FFileInterlaced = false;
};
