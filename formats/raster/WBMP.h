// Wireless bitmaps (WBMP), type 0: black and white, one bit per pixel, uncompressed.
#pragma once

#include "codec/Graphic.h"

#include <QImage>

class TWBitmap : public TGraphic {
    DECLARE_GRAPHIC_CLASS(TWBitmap)
public:
    TWBitmap() = default;

    void LoadFromStream(QIODevice& stream) override;
    // The size of the header (read from the file's start, as loading does).
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    // Reads the header from the file's start: the picture's size, or the loader's error for a header that
    // is not valid and EPictureTooLarge beyond the pixel limit.
    static QSize ReadHeader(QIODevice& stream);
    // Colour pictures are reduced to black and white with a fixed ordered pattern chosen by brightness.
    void SaveToStream(QIODevice& stream) const override;
    void DrawTo(QPainter& canvas, const QRect& rect) const override;
    bool IsEmpty() const override { return FEmpty; }
    int Width() const override { return FBitmap.isNull() ? FWidth : FBitmap.width(); }
    int Height() const override { return FBitmap.isNull() ? FHeight : FBitmap.height(); }
    void SetWidth(int value) override;
    void SetHeight(int value) override;
    void Assign(const TGraphic& source) override;
    void CopyInto(TGraphic& target) const override;
    void LoadFromClipboardData(const QMimeData&) override {}
    void SaveToClipboardData(QMimeData& data) const override;
    QImage ToImage(QSize size = QSize(), TColor background = 0xFFFFFF) const override;

    // The picture held: 1 bit per pixel after loading, 32 bits after an assignment of another kind of
    // graphic or after saving.
    const QImage& Bitmap() const { return FBitmap; }

    // The variable-length integers of the format: one byte below 128, else 128 + n div 128 and n mod 128.
    static QByteArray EncodeInteger(int value);
    // Whether the writer's pattern makes pixel (x, y) of brightness sum s (R + G + B, 0..765) white.
    static bool PatternIsWhite(int s, int x, int y);

private:
    // Saving converts the held picture itself to 32 bits per pixel, as the format has always done.
    mutable QImage FBitmap;
    int FWidth = 0;
    int FHeight = 0;
    bool FEmpty = true;
};
