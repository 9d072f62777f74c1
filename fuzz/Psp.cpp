#include "FuzzCommon.h"

#include "codec/Psp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TPSPGraphic::StaticClass(), data, size);
    return 0;
}
