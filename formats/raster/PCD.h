// Kodak Photo-CD image packs: one of the three uncompressed resolutions, chosen by the viewer's setting.
#pragma once

#include "codec/DibGraphic.h"

class TPCDImage : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TPCDImage)
public:
    void ReadPage(QIODevice& stream, int page) override;
    // The size of the resolution the viewer's setting chooses, turned as the pack says; "Stream read
    // error" as loading gives when the file ends before that resolution's rows do.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    // Photo-CD pictures are not written: saving produces nothing.
    void SaveToStream(QIODevice&) const override {}
    void Assign(const TGraphic& source) override;
    void LoadFromClipboardData(const QMimeData&) override {}

    // Size and data offset of a resolution index (0 = 192 x 128, 1 = 384 x 256, 2 = 768 x 512).
    static QSize ResolutionSize(int index);
    static qint64 ResolutionOffset(int index);
    // The colour of one luminance/chrominance sample.
    static QRgb YccToRgb(int y, int c1, int c2);

private:
    // What loading reads before the rows: the resolution chosen and the pack's rotation (0..3).
    struct TLayout {
        int Index = 0;
        QSize Size;
        int Rotation = 0;
    };
    static TLayout ReadLayout(QIODevice& stream);
};
