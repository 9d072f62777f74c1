#include "FuzzCommon.h"

#include "formats/raster/Img.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TImgImage::StaticClass(), data, size);
    return 0;
}
