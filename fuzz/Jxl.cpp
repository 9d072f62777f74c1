#include "FuzzCommon.h"

#include "codec/Jxl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TJxlGraphic::StaticClass(), data, size);
    return 0;
}
