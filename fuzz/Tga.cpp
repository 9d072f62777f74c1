#include "FuzzCommon.h"

#include "codec/Tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TTgaGraphic::StaticClass(), data, size);
    return 0;
}
