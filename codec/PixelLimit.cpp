#include "codec/PixelLimit.h"

#include <atomic>

namespace {
std::atomic<qint64> GPixelLimit{qint64(1) << 28};
} // namespace

qint64 PixelLimit() { return GPixelLimit.load(); }
void SetPixelLimit(qint64 limit) { GPixelLimit.store(limit > 0 ? limit : (qint64(1) << 28)); }

void CheckPictureSize(qint64 width, qint64 height) {
    if (width <= 0 || height <= 0 || width > 0x7fffffff || height > 0x7fffffff)
        throw EInvalidGraphic(QStringLiteral("Invalid picture size %1 x %2").arg(width).arg(height));
    // Both factors are below 2^31, so the product fits in 64 bits.
    if (width * height > PixelLimit())
        throw EPictureTooLarge(QStringLiteral("The picture is too large: %1 x %2 pixels exceeds the limit of %3 pixels")
                                  .arg(width)
                                  .arg(height)
                                  .arg(PixelLimit()));
}
