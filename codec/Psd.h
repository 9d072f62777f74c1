// Photoshop images (PSD/PDD, and the large-document variant): the merged composite image, raw or
// PackBits, 1/8/16/32 bits per channel, in bitmap, grey, indexed, RGB, CMYK, Lab, duotone or
// multichannel mode, with the first extra channel as transparency.
#pragma once

#include "codec/DibGraphic.h"

class TPSDGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TPSDGraphic)
public:
    // "8BPS" followed by version 1 or 2.
    static bool AcceptsContent(QIODevice& stream);
    void ReadPage(QIODevice& stream, int page) override;
    // The size of the file header.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
};
