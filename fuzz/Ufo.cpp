#include "FuzzCommon.h"

#include "formats/raster/Ufo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TUFOImage::StaticClass(), data, size);
    return 0;
}
