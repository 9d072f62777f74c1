// OpenEXR pictures on the OpenEXR library: half and float RGBA (and luminance-chroma or grey files,
// which the library gives as RGBA), the data window of the first part. The scene-linear values are
// tone-mapped for display with the extended Reinhard operator on luminance:
//     L' = L (1 + L / W^2) / (1 + L),  colours scaled by L' / L,
// where W, the white point, is the largest luminance of the picture (at least 1), then clipped to 0..1
// and encoded with sRGB's curve. A picture whose values all lie in 0..1 is therefore shown exactly as its
// linear values in sRGB. The result is kept at 16 bits, so PNG and TIFF conversions write 16-bit files.
// Read only.
#pragma once

#include "codec/DibGraphic.h"

class TExrGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TExrGraphic)
public:
    // The magic number 76 2F 31 01.
    static bool AcceptsContent(QIODevice& stream);
    void ReadPage(QIODevice& stream, int page) override;
    // The data window of the header.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    // The white point the last load used (W above).
    double WhitePoint() const { return FWhite; }

private:
    double FWhite = 1.0;
};

// The display value 0..1 of a linear channel value c whose pixel has luminance l, for white point w.
double ExrToneMap(double c, double l, double w);
