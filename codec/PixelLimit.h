// The pixel limit: the largest picture a decoder may allocate, checked before any pixel memory is.
#pragma once

#include "codec/Errors.h"

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
