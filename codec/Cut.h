// Dr. Halo pictures (CUT): run-length encoded 8-bit indices, with the colours in a sibling palette file
// (same name, extension .PAL) when there is one; otherwise the indices are grey levels.
#pragma once

#include "codec/DibGraphic.h"

class TCUTGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TCUTGraphic)
public:
    // The format has no signature: the header must be consistent and the first lines must decode to
    // exactly the picture width.
    static bool AcceptsContent(QIODevice& stream);
    // Reads the sibling palette file, when present, then the picture.
    void LoadFromFileName(const QString& fileName) override;
    void ReadPage(QIODevice& stream, int page) override;
    // The size from the header; the first line must lie in the file.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;

    // Colours of a Dr. Halo palette file; raises EInvalidGraphic when it is not one.
    static QVector<QRgb> ReadPalette(const QByteArray& data);
    // The palette used by the next load (empty: grey levels).
    void SetPaletteFile(QVector<QRgb> palette) { FPaletteFile = std::move(palette); }

private:
    QVector<QRgb> FPaletteFile;
};
