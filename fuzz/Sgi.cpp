#include "FuzzCommon.h"

#include "codec/Sgi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TSGIGraphic::StaticClass(), data, size);
    return 0;
}
