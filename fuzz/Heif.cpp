#include "FuzzCommon.h"

#include "codec/Heif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(THeifGraphic::StaticClass(), data, size);
    return 0;
}
