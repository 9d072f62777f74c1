// ZSoft Paintbrush (PCX/PCC): 1-bit, 2-bit (CGA), planar 16-colour, 8-bit with the trailing palette and
// 24/32-bit in separate planes; writes 8-bit palettised and 24-bit pictures.
#pragma once

#include "codec/DibGraphic.h"

class TPcxGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TPcxGraphic)
public:
    void ReadPage(QIODevice& stream, int page) override;
    // The size of the file header.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    // Writes 8-bit palettised PCX for indexed pictures and 24-bit PCX otherwise (save option "bits").
    void SaveToStream(QIODevice& stream) const override;
    bool SetSaveOption(const QString& key, const QString& value) override;

    // Decodes one PCX picture held in data[0, size) (a whole file or one page of a DCX file). The palette
    // that follows 8-bit pictures is looked for at the end of this range.
    // progress, when given, receives the percentage of lines decoded. Lines the data lacks are white and
    // set *truncated.
    static QImage DecodePcx(const uchar* data, qint64 size, const std::function<void(int)>& progress = {},
                            bool* truncated = nullptr);

private:
    int FBits = 0; // 0: by the picture (8 for indexed, else 24)
};
