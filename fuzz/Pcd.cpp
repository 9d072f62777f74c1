#include "FuzzCommon.h"

#include "formats/raster/PCD.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TPCDImage::StaticClass(), data, size);
    return 0;
}
