#include "FuzzCommon.h"

#include "codec/Metafile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(TMetafile::StaticClass(), data, size);
    return 0;
}
