// Windows and OS/2 bitmaps (BMP, DIB, RLE): every header version, 1 to 32 bits per pixel, bit fields,
// RLE4 and RLE8; also the decoder of the device-independent bitmaps that icons, cursors and metafiles hold.
#pragma once

#include "codec/DibGraphic.h"

#include <functional>
#include <optional>

// What DecodeDib found besides the pixels.
struct TDibInfo {
    int BitCount = 0;     // bits per pixel of the stored data
    int StoredHeight = 0; // rows of colour data
    bool Truncated = false; // the pixel data ended early; the rows it lacks show the background
};

// What the alpha channel of a bitmap's pixels means.
enum class TDibAlpha {
    FromHeader,   // alpha where the header has a mask for it (and always in icons); all zero means opaque
    None,         // colours only, as the display draws a bitmap block (metafile blits)
    Premultiplied // 32-bit pixels with alpha premultiplied into their colours (sources of alpha blending)
};

struct TDibOptions {
    // An icon or cursor entry: the header's height counts the colour rows and then the rows of the
    // transparency mask (which becomes the alpha channel unless 32-bit pixels carry alpha of their own).
    // IconHeight is the entry's height in its directory (0: not known); a header that gives that height
    // for an entry whose size (IconBytes, or the data present) holds as many colour rows and mask rows
    // counts the colour rows only, as some writers store them.
    bool AndMask = false;
    int IconHeight = 0;
    qint64 IconBytes = 0; // the entry's size in its directory (0: not known)
    TDibAlpha Alpha = TDibAlpha::FromHeader;
    // The colour table holds 16-bit indexes into this palette instead of colours (DIB_PAL_COLORS).
    const QVector<QRgb>* PaletteIndexes = nullptr;
    // JPEG and PNG compression: the embedded picture is decoded; otherwise it is refused.
    bool Embedded = false;
    // Without any pixel data the picture is all background instead of an error.
    bool AllowNoPixels = false;
    // The colour of the rows the data lacks (default: transparent with alpha, otherwise white).
    std::optional<QRgb> Background;
    // Hears the percentage of rows done now and then.
    std::function<void(quint8)> Progress;
};

// Decodes a device-independent bitmap held in memory: the information header (any known size) at
// headerPos, its masks and palette after it, and the pixels at bitsPos (0: right after the palette).
// Offsets count from data. Data that ends early gives the rows it holds at the picture's full size, the
// others showing the background (info->Truncated); raises EInvalidGraphic for a bad header or when no
// row at all is present.
QImage DecodeDib(const uchar* data, qint64 size, qint64 headerPos, qint64 bitsPos, const TDibOptions& options = {},
                 TDibInfo* info = nullptr);
// The size DecodeDib gives (colour rows only for icon entries) and the stored bit count, from the header
// alone: the first `available` bytes of the size bytes a bitmap whose pixels follow its palette has.
// Raises as DecodeDib does for a header that is not valid; nothing for an embedded JPEG or PNG picture.
std::optional<QSize> DibSize(const uchar* data, qint64 available, qint64 size, qint64 headerPos,
                             const TDibOptions& options = {}, int* bitCount = nullptr);
// The same for a header (with its masks and colour table) and pixels held apart, as metafile records
// give them: the header block is header .. header + headerSize, the pixels bits .. bits + bitsSize.
QImage DecodeDibApart(const uchar* header, qint64 headerSize, const uchar* bits, qint64 bitsSize,
                      const TDibOptions& options = {}, TDibInfo* info = nullptr);

class TBitmap : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TBitmap)
public:
    // Reads a file with the 14-byte file header ("BM"), an OS/2 bitmap array ("BA", first image) or a
    // plain DIB that starts with its information header.
    void ReadPage(QIODevice& stream, int page) override;
    // Writes 1, 4 or 8 bits with a palette for indexed and grey pictures, 24 bits otherwise (pictures
    // with transparency are put on white).
    void SaveToStream(QIODevice& stream) const override;
};
