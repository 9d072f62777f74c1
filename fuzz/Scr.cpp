#include "FuzzCommon.h"

#include "formats/raster/SCR.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TScrGraphic::StaticClass(), data, size);
    return 0;
}
