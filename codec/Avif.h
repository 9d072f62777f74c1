// AVIF pictures on libavif: the primary image (the first of a sequence), alpha, 8/10/12-bit samples
// brought to 8 bits, an ICC profile or the nclx colours converted to sRGB, and the file's rotation and
// mirror (irot, imir); without those, the EXIF orientation. Writes with a quality.
#pragma once

#include "codec/DibGraphic.h"

class TAvifGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TAvifGraphic)
public:
    // An ISO base media file whose brands name AVIF ("avif", "avis").
    static bool AcceptsContent(QIODevice& stream);

    void ReadPage(QIODevice& stream, int page) override;
    // The size of the boxes, turned as loading turns the picture; the picture data are not read. False
    // for sequences (the first frame's size is known once decoded).
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    void SaveToStream(QIODevice& stream) const override;
    // "quality" 0..100 (75; 100 is lossless-quality quantisation), "speed" 0..10 (6; 0 the slowest and
    // smallest).
    bool SetSaveOption(const QString& key, const QString& value) override;
    int Quality() const { return FQuality; }

    // What the last load found: the bit depth of the samples and the orientation applied (EXIF terms).
    int FileDepth() const { return FFileDepth; }
    int AppliedOrientation() const { return FOrientation; }

private:
    int FQuality = 75;
    int FSpeed = 6;
    int FFileDepth = 0;
    int FOrientation = 1;
};

// The EXIF orientation (1..8) that a rotation of angle * 90 degrees anti-clockwise followed by a
// mirror (mode 0: top and bottom exchanged, 1: left and right; -1 none) amounts to.
int OrientationOfTransform(int angle, int mirrorMode);

// Whether the brands of an ISO base media file header ("ftyp") include any of the given ones.
bool FtypHasBrand(QIODevice& stream, std::initializer_list<const char*> brands);
