#include "FuzzCommon.h"

#include "formats/raster/EPS.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TEPSGraphic::StaticClass(), data, size);
    return 0;
}
