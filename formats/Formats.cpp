#include "formats/Formats.h"

#include "codec/Registry.h"

#include "codec/Autodesk.h"
#include "codec/Bmp.h"
#include "codec/Cut.h"
#include "codec/Dcx.h"
#include "codec/Gif.h"
#include "codec/Ico.h"
#include "codec/Jpeg.h"
#include "codec/Metafile.h"
#include "codec/Pcx.h"
#include "codec/Png.h"
#include "codec/Ppm.h"
#include "codec/Psd.h"
#include "codec/Psp.h"
#include "codec/Rla.h"
#include "codec/Sgi.h"
#include "codec/Tga.h"
#include "codec/Tiff.h"
#include "codec/WebP.h"
#include "codec/Avif.h"
#include "codec/Heif.h"
#include "codec/Jxl.h"
#include "codec/Exr.h"
#include "codec/Raw.h"
#include "formats/cad/DxfImage.h"
#include "formats/hpgl/hpgl_2.h"
#include "formats/cad/SLDimage.h"
#include "formats/raster/AVIGraph.h"
#include "formats/raster/Ani.h"
#include "formats/raster/Cur.h"
#include "formats/raster/EPS.h"
#include "formats/raster/Img.h"
#include "formats/raster/PCD.h"
#include "formats/raster/SCR.h"
#include "formats/raster/Ufo.h"
#include "formats/raster/Mac.h"
#include "formats/raster/TextGrph.h"
#include "formats/raster/WBMP.h"
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
        RegisterGraphicClass(TPcxGraphic::StaticClass());
        RegisterGraphicClass(TDcxGraphic::StaticClass());
        RegisterGraphicClass(TTgaGraphic::StaticClass());
        RegisterGraphicClass(TPSDGraphic::StaticClass());
        RegisterGraphicClass(TPSPGraphic::StaticClass());
        RegisterGraphicClass(TSGIGraphic::StaticClass());
        RegisterGraphicClass(TRLAGraphic::StaticClass());
        RegisterGraphicClass(TCUTGraphic::StaticClass());
        RegisterGraphicClass(TAutodeskGraphic::StaticClass());
        RegisterGraphicClass(TMetafile::StaticClass());

        // The program's own format modules register their extensions themselves.
        RegisterCifFormat();
        RegisterSlideFormat();
        RegisterFormat(QStringLiteral("SCR"), QStringLiteral("Word 5.x screen capture images"), TScrGraphic::StaticClass());
        RegisterFormat(QStringLiteral("EPS"), QStringLiteral("Encapsulated Postscript"), TEPSGraphic::StaticClass());
        RegisterFormat(QStringLiteral("UFO"), QStringLiteral("gesUFO"), TUFOImage::StaticClass());
        RegisterFormat(QStringLiteral("PCD"), QString(), TPCDImage::StaticClass());
        RegisterImgFormat();
        RegisterMacFormat();
        RegisterTextFormat();
        RegisterFormat(QStringLiteral("CUR"), QStringLiteral("Windows Cursor"), TCursorGraphic::StaticClass());
        RegisterFormat(QStringLiteral("ANI"), QString(), TAniGraphic::StaticClass());
        RegisterFormat(QStringLiteral("AVI"), QStringLiteral("Audio/Video Interleave Files"), TAVIGraphic::StaticClass());
        RegisterFormat(QStringLiteral("WBMP"), QStringLiteral("Wireless Bitmap"), TWBitmap::StaticClass());
        RegisterFormat(QStringLiteral("DXF"), QStringLiteral("Autodesk DXF Images"), TDXFImage::StaticClass());
        RegisterHpglFormats();

        RegisterStartupTable();

        // Today's formats: their own table, registered after the start-up table.
        RegisterGraphicClass(TWebPGraphic::StaticClass());
        RegisterGraphicClass(TAvifGraphic::StaticClass());
        RegisterGraphicClass(THeifGraphic::StaticClass());
        RegisterGraphicClass(TJxlGraphic::StaticClass());
        RegisterGraphicClass(TExrGraphic::StaticClass());
        RegisterGraphicClass(TRawGraphic::StaticClass());
        RegisterModernTable();
    });
}
