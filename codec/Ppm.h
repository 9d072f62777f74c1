// Portable bitmap, grey map and pixel map (PBM/PGM/PPM), plain and raw, 8 and 16 bits per sample.
#pragma once

#include "codec/DibGraphic.h"

class TPPMGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TPPMGraphic)
public:
    // "P1".."P6" followed by white space.
    static bool AcceptsContent(QIODevice& stream);
    void ReadPage(QIODevice& stream, int page) override;
    // The size of the file header.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    // Writes P4 for two-colour black and white pictures, P5 for grey ones and P6 otherwise.
    void SaveToStream(QIODevice& stream) const override;
    bool SetSaveOption(const QString& key, const QString& value) override;

private:
    bool FPlain = false; // save option "plain": write P1/P2/P3
};
