#include "codec/FormatTable.h"

namespace {

// The central table, in registration order. Extensions marked late come after the others in "All images".
const std::vector<TStartupFormat> GStartupTable = {
    {"BMP", "Windows bitmaps", "", "TBitmap"},
    {"ICO", "Windows icons", "", "TIcon"},
    {"WMF", "Windows metafiles", "", "TMetafile"},
    {"EMF", "Windows metafiles", "Windows enhanced meta files", "TMetafile"},
    {"JFIF", "JPEG images", "JFIF images", "TJpegGraphic"},
    {"JIF", "", "JFIF images", "TJpegGraphic"},
    {"JPG", "", "JPEG images", "TJpegGraphic"},
    {"JPE", "", "JPE images", "TJpegGraphic"},
    {"JPEG", "", "JPEG images", "TJpegGraphic"},
    {"PNG", "Portable network graphic", "", "TPngGraphic"},
    {"TGA", "Truevision TARGA", "", "TTgaGraphic"},
    {"VST", "", "", "TTgaGraphic"},
    {"AFI", "", "", "TTgaGraphic"},
    {"PCX", "ZSoft Paintbrush", "", "TPcxGraphic"},
    {"PCC", "", "", "TPcxGraphic"},
    {"DCX", "Multi-Paged PCX", "", "TDcxGraphic"},
    {"SCR", "Word 5.x screen capture images", "", "TScrGraphic"},
    {"TIFF", "Tagged image file format", "Macintosh TIFF", "TTiffGraphic"},
    {"TIF", "", "PC TIF images", "TTiffGraphic"},
    {"GIF", "CompuServe (87a, 89a)", "", "TGIFImage"},
    {"IMG", "GEM Paint", "", "TImgImage"},
    {"MAC", "MacPaint Picture", "", "TMACImage"},
    {"UFO", "UFO Images", "", "TUFOImage"},
    {"PCD", "Kodak Photo-CD images", "", "TPCDImage"},
    {"DXF", "Autodesk DXF Images", "", "TDXFImage"},
    {"SLD", "Autodesk SLD Images", "", "Tslide"},
    {"WBMP", "Wireless Bitmap", "", "TWBitmap"},
    {"EPS", "Encapsulated Postscript", "", "TEPSGraphic"},
    {"ANI", "Windows animated cursor", "", "TAniGraphic"},
    {"CIF", "Encrypted Image File", "", "TCIFGraphic"},
    {"CUR", "Windows cursor", "", "TCursorGraphic"},
    {"PTF", "Plain text file", "", "TTxtGraphic"},
    {"HGL", "HPGL Graphic", "", "THPGL2Graphic"},
    {"PLT", "", "", "THPGL2Graphic"},
    {"HG", "", "", "THPGL2Graphic"},
    {"HPG", "", "", "THPGL2Graphic"},
    {"PLO", "", "", "THPGL2Graphic"},
    {"AVI", "Audio/Video Interleave Files", "", "TAVIGraphic"},
    {"RLE", "", "Run length encoded Windows bitmaps", "TBitmap"},
    {"DIB", "", "Device independant Windows bitmaps", "TBitmap"},
    {"RPF", "Alias/Wavefront images", "", "TRLAGraphic"},
    {"RLA", "", "", "TRLAGraphic"},
    {"SGI", "SGI images", "SGI true color images", "TSGIGraphic"},
    {"RGBA", "", "SGI true color images with alpha", "TSGIGraphic"},
    {"RGB", "", "SGI true color images", "TSGIGraphic"},
    {"BW", "", "SGI black/white images", "TSGIGraphic"},
    {"PSD", "Photoshop images", "", "TPSDGraphic"},
    {"PDD", "", "", "TPSDGraphic"},
    {"PPM", "Portable map images", "Portable pixel map images", "TPPMGraphic"},
    {"PGM", "", "Portable gray map images", "TPPMGraphic"},
    {"PBM", "", "Portable bitmap images", "TPPMGraphic"},
    {"CEL", "Autodesk images", "", "TAutodeskGraphic"},
    {"PIC", "", "", "TAutodeskGraphic"},
    {"CUT", "Dr. Halo images", "", "TCUTGraphic"},
    {"PSP", "Paintshop Pro images", "", "TPSPGraphic"},
};

// Today's formats, beside the start-up table.
const std::vector<TStartupFormat> GModernTable = {
    {"WEBP", "WebP images", "", "TWebPGraphic"},
    {"AVIF", "AV1 images", "", "TAvifGraphic"},
    {"HEIC", "HEIF images", "HEIC images", "THeifGraphic"},
    {"HEIF", "", "HEIF images", "THeifGraphic"},
    {"HIF", "", "HEIF images", "THeifGraphic"},
    {"JXL", "JPEG XL images", "", "TJxlGraphic"},
    {"EXR", "OpenEXR images", "", "TExrGraphic"},
    {"DNG", "Camera RAW images", "Digital negatives", "TRawGraphic"},
    {"CR2", "", "Canon RAW images", "TRawGraphic"},
    {"CR3", "", "Canon RAW images", "TRawGraphic"},
    {"NEF", "", "Nikon RAW images", "TRawGraphic"},
    {"ARW", "", "Sony RAW images", "TRawGraphic"},
    {"ORF", "", "Olympus RAW images", "TRawGraphic"},
    {"RAF", "", "Fujifilm RAW images", "TRawGraphic"},
    {"RW2", "", "Panasonic RAW images", "TRawGraphic"},
    {"PEF", "", "Pentax RAW images", "TRawGraphic"},
};

} // namespace

const std::vector<TStartupFormat>& StartupTable() { return GStartupTable; }
const std::vector<TStartupFormat>& ModernFormatTable() { return GModernTable; }

QString NormalisedExtension(QString extension) {
    if (extension.startsWith(QLatin1Char('.'))) extension.remove(0, 1);
    return extension.toLower();
}

const TStartupFormat* FindStartupFormat(const QString& extension) {
    const QString ext = NormalisedExtension(extension);
    for (const auto& row : StartupTable())
        if (QString::fromLatin1(row.Extension).toLower() == ext) return &row;
    return nullptr;
}
