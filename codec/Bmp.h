// Windows and OS/2 bitmaps (BMP, DIB, RLE): every header version, 1 to 32 bits per pixel, bit fields,
// RLE4 and RLE8; also the decoder of device-independent bitmaps that icons and cursors hold.
#pragma once

#include "codec/DibGraphic.h"

#include <functional>

// What DecodeDib found besides the pixels.
struct TDibInfo {
    int BitCount = 0;     // bits per pixel of the stored data
    int StoredHeight = 0; // rows the header announced (colour rows only, for icon entries)
    bool Truncated = false;
};

// Decodes a device-independent bitmap held in memory: the information header (any known size) at
// headerPos, its masks and palette after it, and the pixels at bitsPos (0: right after the palette).
// Offsets count from data. With andMask the header's height counts the colour rows plus the rows of
// the transparency mask that follows them (icon and cursor entries); the mask becomes the alpha
// channel unless 32-bit pixels carry alpha of their own. Data that ends early gives the rows that were
// read; raises EInvalidGraphic for a bad header or when no row at all is present.
// progress, when given, hears the percentage of rows done now and then.
QImage DecodeDib(const uchar* data, qint64 size, qint64 headerPos, qint64 bitsPos, bool andMask,
                 TDibInfo* info = nullptr, const std::function<void(quint8)>& progress = {});

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
