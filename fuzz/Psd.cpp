#include "FuzzCommon.h"

#include "codec/Psd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TPSDGraphic::StaticClass(), data, size);
    return 0;
}
