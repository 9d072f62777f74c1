#include "FuzzCommon.h"

#include "codec/Pcx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TPcxGraphic::StaticClass(), data, size);
    return 0;
}
