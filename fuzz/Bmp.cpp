#include "FuzzCommon.h"

#include "codec/Bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TBitmap::StaticClass(), data, size);
    return 0;
}
