#include "FuzzCommon.h"

#include "codec/Autodesk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TAutodeskGraphic::StaticClass(), data, size);
    return 0;
}
