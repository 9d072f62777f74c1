// Raster graphics: a device-independent image (QImage) with page access for multi-page formats.
#pragma once

#include "codec/Graphic.h"

#include <QImage>

#include <optional>

// Paints rows first .. first + count - 1 of image with the background of a picture whose data ended
// early: transparent when the image has an alpha channel, otherwise white (or the colour given). An
// indexed image whose colour table is full and lacks the colour becomes a 32-bit image first.
void FillMissingRows(QImage& image, int first, int count, std::optional<QRgb> background = std::nullopt);

class TDibGraphic : public TGraphic {
public:
    // Page to decode, 1-based; 1 after construction.
    int PageIndex() const { return FPageIndex; }
    void SetPageIndex(int page) { FPageIndex = page < 1 ? 1 : page; }

    // Number of pages in the stream from its current position (1 for single-image formats).
    // Leaves the stream position where it was.
    virtual int GetPageCount(QIODevice& stream);
    // Decodes page `page` (1-based) from the stream into the image.
    virtual void ReadPage(QIODevice& stream, int page) = 0;
    // Writes several pages; raises "The %s format does not support multiple images" unless the format can.
    virtual void WriteMultiple(QIODevice& stream, const QVector<const TDibGraphic*>& pages) const;
    // Creates the empty image (checks the pixel limit first).
    void AllocateImage(int width, int height, QImage::Format format, const QVector<QRgb>& palette = {});

    // Decodes the page named by PageIndex (clearing Truncated first) and raises OnChange.
    void LoadFromStream(QIODevice& stream) override;

    void DrawTo(QPainter& canvas, const QRect& rect) const override;
    bool IsEmpty() const override { return FImage.isNull(); }
    int Width() const override { return FImage.width(); }
    int Height() const override { return FImage.height(); }
    void SetWidth(int w) override;
    void SetHeight(int h) override;
    QVector<QRgb> Palette() const override { return FImage.colorTable(); }
    void SetPalette(const QVector<QRgb>& palette) override;

    void Assign(const TGraphic& source) override;
    void CopyInto(TGraphic& target) const override;
    void LoadFromClipboardData(const QMimeData& data) override;
    void SaveToClipboardData(QMimeData& data) const override;
    QImage ToImage(QSize size = QSize(), TColor background = 0xFFFFFF) const override;
    QImage ToBitmap() const override { return FImage; }

    const QImage& Image() const { return FImage; }
    // Replaces the image (no change notification; call NotifyChanged when the change is complete).
    void SetImage(QImage image) { FImage = std::move(image); }

protected:
    QImage FImage;

private:
    int FPageIndex = 1;
};

// A raster held in memory only: the carrier of pictures between commands (rendering, conversion).
class TImageGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TImageGraphic)
public:
    TImageGraphic() = default;
    explicit TImageGraphic(QImage image) { FImage = std::move(image); }
    void ReadPage(QIODevice& stream, int page) override;
};
