#include "codec/Limits.h"

#include "codec/Graphic.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

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

QImage NewImage(qint64 width, qint64 height, QImage::Format format) {
    CheckPictureSize(width, height);
    QImage image = NewLargeImage(width, height, format);
    if (image.isNull()) image = QImage(int(width), int(height), format);
    if (image.isNull())
        throw EPictureTooLarge(QStringLiteral("Not enough memory for a %1 x %2 picture").arg(width).arg(height));
    return image;
}
