// Multi-page PCX (DCX): a table of up to 1023 page offsets, each page a PCX picture.
#pragma once

#include "codec/DibGraphic.h"

class TDcxGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TDcxGraphic)
public:
    // Counts the page offsets; raises "The DCX file header is not valid" for a bad header.
    int GetPageCount(QIODevice& stream) override;
    void ReadPage(QIODevice& stream, int page) override;
    // The first page's size from its PCX header.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
};
