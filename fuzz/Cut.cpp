#include "FuzzCommon.h"

#include "codec/Cut.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TCUTGraphic::StaticClass(), data, size);
    return 0;
}
