// MacPaint pictures: 576 x 720, each row PackBits-packed, optionally behind a MacBinary header.
#pragma once

#include "formats/raster/MonoRaw.h"

class TMACImage : public TMonoRawGraphic {
    DECLARE_GRAPHIC_CLASS(TMACImage)
protected:
    void Decode() override;
};

void RegisterMacFormat();
