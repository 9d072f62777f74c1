// Windows icons (ICO): every image of the file is read (bitmaps of 1 to 32 bits with their AND masks,
// and PNG-compressed images); the largest is shown.
#pragma once

#include "codec/DibGraphic.h"

#include <optional>

// One image of an icon or cursor file.
struct TIconEntry {
    QImage Image;     // 32-bit with alpha (or the PNG's own format)
    int BitCount = 0; // bits per pixel of the stored image
    bool Png = false;
    bool Truncated = false; // the image's data ended early (its missing rows are transparent)
    // The directory's two 16-bit fields: colour planes and bit count for icons, the hot spot for cursors.
    quint16 Field1 = 0, Field2 = 0;
};

// Reads the directory and every image of an icon (type 1) or cursor (type 2) file held in memory.
// Images that cannot be decoded are left out; raises EInvalidGraphic for a bad directory or when no image
// can be decoded (with the reason the first image failed). *cut, when given, tells whether the data
// ended before an image did: an image that arrived in part keeps its size (the rest transparent), one
// the cut took away entirely is left out.
QVector<TIconEntry> ReadIconFile(const QByteArray& data, quint16 type, bool* cut = nullptr);
// Index of the entry to show: the largest area, then the deepest; the first of equals.
int LargestIconEntry(const QVector<TIconEntry>& entries);

// The image ReadIconFile and LargestIconEntry would show, from the directory and the images' headers
// read from the stream's position: its size and its index in the directory. Raises as ReadIconFile does
// for a bad directory or when no image header is valid; nothing when the data end before the images do
// (which images survive only decoding tells). An image whose header is valid is taken to decode.
struct TIconShown {
    QSize Size;
    int Index = 0;
};
std::optional<TIconShown> ReadIconFileInfo(QIODevice& stream, quint16 type);

class TIcon : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TIcon)
public:
    void ReadPage(QIODevice& stream, int page) override;
    // Writes one 32-bit image with alpha and AND mask; pictures beyond 256 x 256 are scaled down to fit,
    // keeping their aspect ratio. With the save option "render" the icon is square instead.
    void SaveToStream(QIODevice& stream) const override;
    // "render": how the picture fills a square icon: crop (0: its top-left part at its own size),
    // stretch (1: the whole picture stretched over the square) or center (2: its middle at its own size);
    // parts of the square the picture does not cover are transparent. "size": the square's side, 1..256
    // (default: the picture's longer side, at most 256).
    bool SetSaveOption(const QString& key, const QString& value) override;
    void Assign(const TGraphic& source) override;
    bool Transparent() const override { return FImage.hasAlphaChannel(); }

    // The images of the file last read (empty after Assign from another kind of graphic).
    const QVector<TIconEntry>& Entries() const { return FEntries; }
    // Index in Entries() of the image shown.
    int ShownEntry() const { return FShown; }

private:
    QVector<TIconEntry> FEntries;
    int FShown = -1;
    int FRender = -1; // -1: the picture's own shape
    int FSize = 0;    // 0: by the picture
};
