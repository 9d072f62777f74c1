// Camera RAW pictures on LibRaw (CR2, CR3, NEF, ARW, DNG, ORF, RAF, RW2, PEF and the others it knows).
// A load shows the embedded preview at once, turned as the metadata says, while Width and Height give
// the size of the whole picture (the preview is drawn stretched to it). DecodeFull develops the raw
// data: camera white balance, sRGB output, 8 bits, turned. Files without a preview, and every load when
// previews are switched off (lumenor-cli and conversions), are developed at once.
#pragma once

#include "codec/DibGraphic.h"

class TRawGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TRawGraphic)
public:
    // Files LibRaw recognises; TIFF-based RAW files are told from plain TIFF by the camera data.
    static bool AcceptsContent(QIODevice& stream);

    void ReadPage(QIODevice& stream, int page) override;
    // The picture's size from the metadata (the file is read as far as LibRaw needs).
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    int Width() const override { return FFullSize.isValid() ? FFullSize.width() : TDibGraphic::Width(); }
    int Height() const override { return FFullSize.isValid() ? FFullSize.height() : TDibGraphic::Height(); }
    QImage ToImage(QSize size = QSize(), TColor background = 0xFFFFFF) const override;
    QImage ToBitmap() const override;

    // True while the embedded preview stands for the picture.
    bool ShowsPreview() const { return FShowsPreview; }
    bool Reduced() const override { return FShowsPreview; }
    void CompleteLoad() override { DecodeFull(); }
    // Develops the raw data (once); raises EInvalidGraphic when it cannot.
    void DecodeFull();
    // The camera as the file names it ("Make Model").
    const QString& Camera() const { return FCamera; }

    // Whether loads show the embedded preview first (the viewer) or develop at once (default true).
    static bool PreviewFirst();
    static void SetPreviewFirst(bool value);

    void Assign(const TGraphic& source) override;

private:
    // Takes a developed picture as the picture shown.
    void SetDeveloped(const QImage& image, bool cut);

    QByteArray FData;
    QString FFileName; // the file to develop from when only its preview was read
    QSize FFullSize;
    bool FShowsPreview = false;
    QString FCamera;
};
