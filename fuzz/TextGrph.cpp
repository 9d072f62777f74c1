#include "FuzzCommon.h"

#include "formats/raster/TextGrph.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TTxtGraphic::StaticClass(), data, size);
    return 0;
}
