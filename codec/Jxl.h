// JPEG XL pictures on libjxl: still pictures (the first frame of an animation), grey or colour, alpha,
// the orientation of the file applied, colours converted to sRGB from the profile of the decoded data.
// Read only.
#pragma once

#include "codec/DibGraphic.h"

class TJxlGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TJxlGraphic)
public:
    // The bare codestream (FF 0A) or the container ("JXL " box).
    static bool AcceptsContent(QIODevice& stream);
    void ReadPage(QIODevice& stream, int page) override;
    // The size of the basic information at the file's start (turned as loading turns the picture), read
    // in chunks until it arrives.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    int FileBits() const { return FFileBits; }

private:
    int FFileBits = 0;
};
