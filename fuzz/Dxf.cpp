#include "FuzzCommon.h"

#include "formats/cad/DxfImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TDXFImage::StaticClass(), data, size);
    return 0;
}
