// What a picture file holds (class, size, pages, frames) without decoding its pixels where the format
// allows: the status bar, `lumenor-cli info` and the viewer's choice of a reduced first decode use it.
#pragma once

#include "codec/Graphic.h"

struct TProbe {
    TGraphicClass Class = nullptr;
    TGraphicInfo Info;
    bool FromHeader = false; // false: the picture was decoded to learn it
    bool Truncated = false;  // known only after a decode
};

// Asks the class that would load the file for its header; a format that cannot answer from its
// header is loaded in full. Raises as loading the file would (a missing file, an unknown extension, a
// header that is not valid, a picture over the pixel limit).
TProbe ProbeFile(const QString& fileName);

// The same, always through a full decode (the reference the header answers are tested against).
TProbe ProbeFileByDecoding(const QString& fileName);
