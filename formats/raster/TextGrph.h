// Pictures stored as decimal text: "PTEXT", the size, then for every row a line of red, green and blue
// values each.
#pragma once

#include "codec/DibGraphic.h"

class TTxtGraphic : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TTxtGraphic)
public:
    void ReadPage(QIODevice& stream, int page) override;
    void SaveToStream(QIODevice& stream) const override;
    // Rasters are copied; any other graphic is drawn at its own size onto black.
    void Assign(const TGraphic& source) override;
    void LoadFromClipboardData(const QMimeData&) override {}
};

void RegisterTextFormat();
