// Size limits for decoded pictures, checked before any pixel memory is allocated.
#pragma once

#include "codec/Graphic.h"

#include <QImage>
#include <QtGlobal>

// A picture beyond the pixel limit, or one there is no memory for.
class EPictureTooLarge : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

// Largest pixel count a decoder may allocate (default 2^28).
qint64 PixelLimit();
void SetPixelLimit(qint64 limit);

// Raises EInvalidGraphic when width or height is not positive, EPictureTooLarge when their product
// exceeds the limit.
void CheckPictureSize(qint64 width, qint64 height);

// A new image of the given size and format, after CheckPictureSize; raises EPictureTooLarge when memory
// is short.
QImage NewImage(qint64 width, qint64 height, QImage::Format format);
