// MacPaint pictures: 576 x 720, each row PackBits-packed, optionally behind a MacBinary header.
#pragma once

#include "formats/raster/MonoRaw.h"

class TMACImage : public TMonoRawGraphic {
    DECLARE_GRAPHIC_CLASS(TMACImage)
public:
    // The fixed size, once the file's start shows a picture where it should be.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    // Where the packed rows start (after a MacBinary header or the 512-byte MacPaint header), from the
    // file's first 69 bytes and its size; "File is corrupted" for a MacBinary header without a picture.
    static qint64 PictureStart(const QByteArray& head, qint64 fileSize);

protected:
    void Decode() override;
};

void RegisterMacFormat();
