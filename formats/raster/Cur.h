// Mouse-pointer files (CUR): a cursor directory of one or more images, each with its AND mask and hot
// spot. The best image (largest, then deepest) is shown at its own size with its transparency.
#pragma once

#include "codec/DibGraphic.h"

#include <QPoint>

class TCursorGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TCursorGraphic)
public:
    TCursorGraphic() = default;

    // Reads a cursor directory (an icon directory is taken too, without hot spot). Raises EInvalidGraphic
    // "Cannot load image. Invalid or unexpected CUR image format." for anything unreadable.
    void ReadPage(QIODevice& stream, int page) override;
    // The size of the image shown, from the directory and the images' headers.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    // Writes a one-image cursor file: 32-bit pixels with alpha, an AND mask and the hot spot.
    void SaveToStream(QIODevice& stream) const override;
    void Assign(const TGraphic& source) override;
    void CopyInto(TGraphic& target) const override;
    bool Transparent() const override { return FImage.hasAlphaChannel(); }

    // The nominal size: stored (a change notifies), the picture keeps its own size.
    void SetWidth(int value) override;
    void SetHeight(int value) override;
    int NominalWidth() const { return FNominalWidth; }
    int NominalHeight() const { return FNominalHeight; }
    void LoadFromClipboardData(const QMimeData&) override {}

    // The pointer's active pixel in the picture shown ((0, 0) for icons and pictures of another origin).
    QPoint HotSpot() const { return FHotSpot; }
    void SetHotSpot(QPoint value) { FHotSpot = value; }

private:
    QPoint FHotSpot;
    int FNominalWidth = 0;
    int FNominalHeight = 0;
};
