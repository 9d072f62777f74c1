#include "formats/Formats.h"

#include "codec/Registry.h"

#include "codec/Bmp.h"
#include "codec/Gif.h"
#include "codec/Ico.h"
#include "codec/Jpeg.h"
#include "codec/Png.h"
#include "codec/Ppm.h"
#include "codec/Tiff.h"
#include "formats/raster/Img.h"
#include "formats/raster/Mac.h"
#include "formats/raster/TextGrph.h"
#include "formats/raster/cif.h"

#include <mutex>

void InitializeFormats() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Classes of the codec library; their extensions come from the start-up table.
        RegisterGraphicClass(TPPMGraphic::StaticClass());
        RegisterGraphicClass(TBitmap::StaticClass());
        RegisterGraphicClass(TIcon::StaticClass());
        RegisterGraphicClass(TJpegGraphic::StaticClass());
        RegisterGraphicClass(TPngGraphic::StaticClass());
        RegisterGraphicClass(TTiffGraphic::StaticClass());
        RegisterGraphicClass(TGIFImage::StaticClass());

        // The program's own format modules register their extensions themselves.
        RegisterCifFormat();
        RegisterImgFormat();
        RegisterMacFormat();
        RegisterTextFormat();

        RegisterStartupTable();
    });
}
