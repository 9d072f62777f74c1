// Truevision TARGA (TGA/VST/AFI): raw and run-length, colour-mapped, grey and 15/16/24/32-bit true
// colour, either origin; writes 8-bit grey, 8-bit palette and 24-bit pictures, raw or run-length.
#pragma once

#include "codec/DibGraphic.h"

class TTgaGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TTgaGraphic)
public:
    void ReadPage(QIODevice& stream, int page) override;
    // The size of the file header.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    // Grey pictures are written as 8-bit grey, indexed ones with an 8-bit palette, others as 24-bit.
    void SaveToStream(QIODevice& stream) const override;
    // "rle": 1 writes run-length packets, 0 (the default) raw pixels.
    bool SetSaveOption(const QString& key, const QString& value) override;

private:
    bool FRle = false;
};
