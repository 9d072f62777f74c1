// GEM IMG pictures: one plane, packed with solid runs, pattern runs, bit strings and line replication.
#pragma once

#include "formats/raster/MonoRaw.h"

class TImgImage : public TMonoRawGraphic {
    DECLARE_GRAPHIC_CLASS(TImgImage)
public:
    int PatternLength() const { return FPatternLength; }
    // The size of the file header (the whole file is read from its start, as loading does).
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;

    // The header's fields, from its first 16 bytes and the file's size; raises the format's message for
    // a header that is not valid and EPictureTooLarge beyond the pixel limit.
    struct THeader {
        int PatternLength = 1;
        int Width = 0;
        int Height = 0;
    };
    static THeader ReadHeader(const QByteArray& head, qint64 fileSize);

protected:
    void Decode() override;

private:
    int FPatternLength = 1;
};

void RegisterImgFormat();
