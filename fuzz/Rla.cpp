#include "FuzzCommon.h"

#include "codec/Rla.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TRLAGraphic::StaticClass(), data, size);
    return 0;
}
