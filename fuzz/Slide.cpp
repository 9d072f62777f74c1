#include "FuzzCommon.h"

#include "formats/cad/SLDimage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(Tslide::StaticClass(), data, size);
    return 0;
}
