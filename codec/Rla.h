// Alias/Wavefront raster images (RLA/RPF): the 740-byte header, the table of scanline offsets and the
// run-length encoded colour and matte channels of each scanline.
#pragma once

#include "codec/DibGraphic.h"

class TRLAGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TRLAGraphic)
public:
    // A consistent header whose scanline offsets all point into the file after the offset table.
    static bool AcceptsContent(QIODevice& stream);
    void ReadPage(QIODevice& stream, int page) override;
    // The size from the header; like decoding, it needs a scanline that reads (the first, in a sound file).
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
};
