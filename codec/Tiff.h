// Tagged image file format on libtiff: every directory is a page; strips and tiles; bilevel, palette,
// greyscale (1..16 bits), RGB(A) (8/16 bits), CMYK; the common compressions; embedded ICC profiles.
#pragma once

#include "codec/DibGraphic.h"

// The first seven in the order of the save options' TIFF compression ("Uncompressed", "Packbits",
// "Group3.1", "Group3.2", "Group4", "ZLib", "JPEG"), so that its index converts directly.
enum class TTiffCompression : quint8 { None, PackBits, Group3_1D, Group3_2D, Group4, Deflate, Jpeg, Lzw };

class TTiffGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TTiffGraphic)
public:
    // Counts the directories from the stream's current position (the position is kept).
    int GetPageCount(QIODevice& stream) override;
    // Decodes directory `page` (1-based).
    void ReadPage(QIODevice& stream, int page) override;
    // The size of the page named by PageIndex from its tags, turned as the page says.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    void SaveToStream(QIODevice& stream) const override;
    // Every picture becomes one directory, in order.
    void WriteMultiple(QIODevice& stream, const QVector<const TDibGraphic*>& pages) const override;
    // "compression": none, packbits, lzw, deflate (or zlib), jpeg, g3 (or g3-1d), g3-2d, g4, or the number
    // of a TTiffCompression; pictures that are not black and white are reduced to it for g3 and g4;
    // "quality": 1..100 for JPEG compression.
    bool SetSaveOption(const QString& key, const QString& value) override;

    TTiffCompression Compression() const { return FCompression; }
    void SetCompression(TTiffCompression c) { FCompression = c; }
    int JpegQuality() const { return FJpegQuality; }
    void SetJpegQuality(int q) { FJpegQuality = q < 1 ? 1 : q > 100 ? 100 : q; }

    // Upper bound of directories counted or visited; a chain longer than this is refused.
    static constexpr int MaxPages = 65535;

private:
    TTiffCompression FCompression = TTiffCompression::None;
    int FJpegQuality = 75;
};
