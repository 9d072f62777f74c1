// DOS binary Encapsulated PostScript: the TIFF preview (or, without one, the metafile preview) is shown.
#pragma once

#include "codec/Tiff.h"

class TEPSGraphic : public TTiffGraphic {
    DECLARE_GRAPHIC_CLASS(TEPSGraphic)
public:
    void ReadPage(QIODevice& stream, int page) override;
    int GetPageCount(QIODevice& stream) override;

private:
    struct TPreview {
        QByteArray Tiff;
        QByteArray Metafile;
    };
    // Reads the 30-byte header at the stream's position and the previews it points to. Offsets are taken
    // from the header's start; a preview reaching past the end of the file is refused.
    static TPreview ReadPreviews(QIODevice& stream);
};
