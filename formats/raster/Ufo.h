// UFO pictures: JPEG data whose first ten bytes stand in place of the JFIF header.
#pragma once

#include "codec/Jpeg.h"

class TUFOImage : public TJpegGraphic {
    DECLARE_GRAPHIC_CLASS(TUFOImage)
public:
    void ReadPage(QIODevice& stream, int page) override;
};
