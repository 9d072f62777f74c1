#include "FuzzCommon.h"

#include "codec/Ico.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TIcon::StaticClass(), data, size);
    return 0;
}
