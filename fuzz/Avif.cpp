#include "FuzzCommon.h"

#include "codec/Avif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TAvifGraphic::StaticClass(), data, size);
    return 0;
}
