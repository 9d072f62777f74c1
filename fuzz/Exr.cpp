#include "FuzzCommon.h"

#include "codec/Exr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TExrGraphic::StaticClass(), data, size);
    return 0;
}
