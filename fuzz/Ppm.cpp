#include "FuzzCommon.h"

#include "codec/Ppm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TPPMGraphic::StaticClass(), data, size);
    return 0;
}
