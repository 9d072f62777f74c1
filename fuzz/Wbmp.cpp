#include "FuzzCommon.h"

#include "formats/raster/WBMP.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TWBitmap::StaticClass(), data, size);
    return 0;
}
