// GEM IMG pictures: one plane, packed with solid runs, pattern runs, bit strings and line replication.
#pragma once

#include "formats/raster/MonoRaw.h"

class TImgImage : public TMonoRawGraphic {
    DECLARE_GRAPHIC_CLASS(TImgImage)
public:
    int PatternLength() const { return FPatternLength; }

protected:
    void Decode() override;

private:
    int FPatternLength = 1;
};

void RegisterImgFormat();
