#include "FuzzCommon.h"

#include "codec/Dcx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TDcxGraphic::StaticClass(), data, size);
    return 0;
}
