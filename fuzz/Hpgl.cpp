#include "FuzzCommon.h"

#include "formats/hpgl/hpgl_2.h"

// The plot interpreter with its escapes, PJL lines and raster pictures, then a small drawing pass.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLoad(THPGL2Graphic::StaticClass(), data, size);
    return 0;
}
