// SGI images (SGI/RGB/RGBA/BW): verbatim and run-length, 1 to 4 channels, 8 or 16 bits per channel.
#pragma once

#include "codec/DibGraphic.h"

class TSGIGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TSGIGraphic)
public:
    // Magic 474, storage 0 or 1, 1 or 2 bytes per channel, dimension 1 to 3.
    static bool AcceptsContent(QIODevice& stream);
    void ReadPage(QIODevice& stream, int page) override;
    // The size from the header (and, for run-length files, the row tables until a row lies in the file).
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
};
