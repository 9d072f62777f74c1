// Turning a bitmap by quarter turns: the pixels are moved, never resampled, for every pixel format of
// QImage (1-bit pictures bit by bit, the others as whole pixels of 1 to 8 bytes).
#pragma once

#include <QImage>

// The bitmap turned a quarter turn, clockwise or counter-clockwise: a W x H picture becomes H x W.
// Clockwise, the top row becomes the right-hand column read top to bottom; counter-clockwise it becomes
// the left-hand column read bottom to top. The result keeps the pixel format, colour table and
// resolution (swapped). A null image gives a null image; raises EInvalidGraphicOperation when memory is
// short.
QImage RotateQuarter(const QImage& bitmap, bool clockwise);

// The bitmap turned a half turn (mirrored in both directions). The result is 32-bit (with alpha when the
// source has it), as a fresh screen bitmap would be; indexed and 1-bit pictures are expanded.
QImage RotateHalf(const QImage& bitmap);

// The bitmap turned by quarter turns clockwise (any integer; taken modulo 4): 1 a quarter turn
// clockwise, 2 a half turn, 3 a quarter turn counter-clockwise, 0 the bitmap itself.
QImage RotateTurns(const QImage& bitmap, int quarterTurns);
