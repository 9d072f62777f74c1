#include "codec/Limits.h"

#include "codec/Graphic.h"

#include <atomic>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {
std::atomic<qint64> GPixelLimit{qint64(1) << 28};

// Large pictures get their pixels in 2 MB aligned memory that the kernel may back with huge pages:
// touching 4 KB pages one by one costs more than decoding a photo into them.
QImage NewLargeImage(qint64 width, qint64 height, QImage::Format format) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr qint64 kLarge = qint64(16) << 20;
    constexpr size_t kHugePage = size_t(2) << 20;
    const qint64 bitsPerPixel = QImage::toPixelFormat(format).bitsPerPixel();
    const qint64 bytesPerLine = ((width * bitsPerPixel + 31) >> 5) << 2; // 32-bit aligned rows, as QImage makes them
    const qint64 bytes = bytesPerLine * height;
    if (bitsPerPixel == 0 || bytes < kLarge || bytesPerLine > 0x7fffffff) return QImage();
    const size_t size = (size_t(bytes) + kHugePage - 1) / kHugePage * kHugePage;
    void* memory = std::aligned_alloc(kHugePage, size);
    if (!memory) return QImage();
    madvise(memory, size, MADV_HUGEPAGE);
    QImage image(static_cast<uchar*>(memory), int(width), int(height), qsizetype(bytesPerLine), format,
                 [](void* p) { std::free(p); }, memory);
    if (image.isNull()) std::free(memory);
    return image;
#else
    Q_UNUSED(width) Q_UNUSED(height) Q_UNUSED(format)
    return QImage();
#endif
}
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

QImage NewImage(qint64 width, qint64 height, QImage::Format format) {
    CheckPictureSize(width, height);
    QImage image = NewLargeImage(width, height, format);
    if (image.isNull()) image = QImage(int(width), int(height), format);
    if (image.isNull())
        throw EPictureTooLarge(QStringLiteral("Not enough memory for a %1 x %2 picture").arg(width).arg(height));
    return image;
}
