// Windows metafiles: our own players of WMF (plain and placeable) and EMF records on QPainter, and a
// writer that places a raster in an enhanced metafile (or a placeable WMF).
#pragma once

#include "codec/Graphic.h"

#include <QByteArray>
#include <QImage>
#include <QRectF>

class TMetafile : public TGraphic {
    DECLARE_GRAPHIC_CLASS(TMetafile)
public:
    TMetafile() = default;

    void LoadFromStream(QIODevice& stream) override;
    // Writes EMF unless Enhanced() is false (then a placeable WMF). Metafile records of the kind being
    // written are copied as they are; anything else is written as a raster.
    void SaveToStream(QIODevice& stream) const override;
    // The extension chooses the kind: ".wmf" writes a placeable WMF, anything else EMF.
    void SaveToFileName(const QString& fileName) const override;
    // "format" = "emf" or "wmf".
    bool SetSaveOption(const QString& key, const QString& value) override;

    void DrawTo(QPainter& canvas, const QRect& rect) const override;
    bool IsEmpty() const override { return FData.isEmpty(); }
    int Width() const override { return FWidth; }
    int Height() const override { return FHeight; }
    void SetWidth(int w) override;
    void SetHeight(int h) override;

    // Another metafile: its records are copied. Any other graphic: its raster is kept and wrapped in an
    // enhanced metafile.
    void Assign(const TGraphic& source) override;
    void CopyInto(TGraphic& target) const override;

    // The kind of the records held: EMF or WMF.
    bool Enhanced() const { return FEnhanced; }
    // The metafile bytes (EMF, or WMF without the placeable header).
    const QByteArray& Data() const { return FData; }
    // The raster given by Assign, if any.
    const QImage& Raster() const { return FRaster; }

    // A metafile that places image (24-bit, composed on white) at its own size.
    static QByteArray MakeEmf(const QImage& image);
    static QByteArray MakePlaceableWmf(const QImage& image);

private:
    void Clear();
    void LoadBytes(const QByteArray& bytes);
    static QRectF PlayedBounds(const QByteArray& data, bool enhanced);
    QImage RasterForSaving() const;
    void WriteTo(QIODevice& stream, bool enhanced) const;

    QByteArray FData;        // records as read, without the placeable header
    QByteArray FHeader;      // the placeable header as read
    bool FEnhanced = true;   // kind of FData
    bool FSaveEnhanced = true; // kind SaveToStream writes
    bool FPlaceable = false; // WMF only: a placeable header gave FFrame
    QRectF FFrame;           // WMF: the picture in logical units; EMF: the frame in reference pixels
    int FWidth = 0, FHeight = 0;
    QImage FRaster;
};
