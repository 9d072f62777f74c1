// Size limits for decoded pictures, checked before any pixel memory is allocated.
#pragma once

#include "codec/Graphic.h"
#include "codec/PixelLimit.h"

#include <QImage>

// A new image of the given size and format, after CheckPictureSize; raises EPictureTooLarge when memory
// is short.
QImage NewImage(qint64 width, qint64 height, QImage::Format format);
