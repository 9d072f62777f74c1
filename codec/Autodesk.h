// Autodesk Animator cels and pictures (CEL/PIC): a 32-byte header with the magic 0x9119, a palette of
// 6-bit VGA levels and 8-bit pixels.
#pragma once

#include "codec/DibGraphic.h"

class TAutodeskGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TAutodeskGraphic)
public:
    // Magic 0x9119, 8 bits per pixel, no compression, a non-empty size.
    static bool AcceptsContent(QIODevice& stream);
    void ReadPage(QIODevice& stream, int page) override;
    // The size from the header and the length of the file.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
};
