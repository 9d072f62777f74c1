// HEIF and HEIC pictures on libheif: the primary image, alpha, 10/12-bit samples brought to 8 bits, an
// ICC profile or nclx colours converted to sRGB, and the file's rotation and mirror (irot, imir, applied
// by the library). The EXIF orientation counts only in files without either, since HEIF writers keep
// the turn in irot and the EXIF copy for information. Read only.
#pragma once

#include "codec/DibGraphic.h"

class THeifGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(THeifGraphic)
public:
    // An ISO base media file with a HEIF brand (heic, heix, heim, heis, hevc, hevx, mif1, msf1) that is
    // not AVIF (AVIF files go to TAvifGraphic, content tests run in table order).
    static bool AcceptsContent(QIODevice& stream);

    void ReadPage(QIODevice& stream, int page) override;
    // The primary picture's size as loading shows it (after the file's transformations and the EXIF
    // orientation), from the file's boxes: the picture data are skipped, not read.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;

    int FileDepth() const { return FFileDepth; }
    // The EXIF orientation applied on top of the library's transformations (1 for none).
    int ExifOrientationApplied() const { return FExifOrientation; }

private:
    int FFileDepth = 0;
    int FExifOrientation = 1;
};
