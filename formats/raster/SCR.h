// Word 5.x screen captures: PCX files whose first byte is 205 instead of 10.
#pragma once

#include "codec/Pcx.h"

class TScrGraphic : public TPcxGraphic {
    DECLARE_GRAPHIC_CLASS(TScrGraphic)
public:
    void ReadPage(QIODevice& stream, int page) override;
    void SaveToStream(QIODevice& stream) const override;
};
