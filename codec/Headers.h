// The headers of the common formats, read with Qt Core alone: the codecs answer their probes with
// these, and the command line answers `info` with them before it loads anything else.
#pragma once

#include "codec/GraphicInfo.h"

#include <QtGlobal>

class QIODevice;

// Each reads its format's headers from the stream's current position (which it leaves anywhere) and
// fills size and frames as a full load reports them. False when the format has to decode to know them;
// raises as the decoder would for a header that is not valid or a picture over the pixel limit.
bool ReadJpegHeader(QIODevice& stream, TGraphicInfo& info);
bool ReadPngHeader(QIODevice& stream, TGraphicInfo& info);
bool ReadGifHeader(QIODevice& stream, TGraphicInfo& info);

// The orientation tag of an EXIF block ("Exif\0\0" and a TIFF header), 1 when there is none.
int ExifOrientation(const uchar* data, qint64 size);
