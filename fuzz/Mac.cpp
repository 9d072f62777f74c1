#include "FuzzCommon.h"

#include "formats/raster/Mac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TMACImage::StaticClass(), data, size);
    return 0;
}
