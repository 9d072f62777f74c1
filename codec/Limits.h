// Size limits for decoded pictures, checked before any pixel memory is allocated.
#pragma once

#include <QImage>
#include <QtGlobal>

// Largest pixel count a decoder may allocate (default 2^28).
qint64 PixelLimit();
void SetPixelLimit(qint64 limit);

// Raises EInvalidGraphic when width or height is not positive or their product exceeds the limit.
void CheckPictureSize(qint64 width, qint64 height);

// A new image of the given size and format, after CheckPictureSize; raises when memory is short.
QImage NewImage(qint64 width, qint64 height, QImage::Format format);
