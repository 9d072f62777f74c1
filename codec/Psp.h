// Paint Shop Pro images (PSP): the general attributes, the palette and the raster layers (image and
// transparency channels, uncompressed, run-length or LZ77 compressed) merged into one picture; when
// no layer can be shown, the full-size composite of the composite image bank.
#pragma once

#include "codec/DibGraphic.h"

class TPSPGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TPSPGraphic)
public:
    // The 32-byte signature "Paint Shop Pro Image File\n\x1a" padded with zeros.
    static bool AcceptsContent(QIODevice& stream);
    void ReadPage(QIODevice& stream, int page) override;
    // The size from the image attributes, found by walking the file's top-level block headers. Whether a
    // layer can be drawn is known only by decoding: a file whose banks hold none answers here but fails
    // to load.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
};
