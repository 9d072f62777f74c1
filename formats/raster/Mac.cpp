#include "formats/raster/Mac.h"

#include "codec/Registry.h"
#include "codec/Stream.h"

DEFINE_GRAPHIC_CLASS(TMACImage)

void RegisterMacFormat() { RegisterFormat(QStringLiteral("MAC"), QStringLiteral("MacPaint Picture"), TMACImage::StaticClass()); }

void TMACImage::Decode() {
    constexpr int kWidth = 576, kHeight = 720, kRowBytes = 72;
    TByteReader r(FData);
    // A MacBinary header carries "PNTG" at offset 65.
    const bool macBinary = FData.size() >= 69 && FData.mid(65, 4) == "PNTG";
    if (macBinary && FData.size() < 640) throw EInvalidGraphic(QStringLiteral("File is corrupted"));
    QImage image = NewMonoImage(kWidth, kHeight);
    int row = 0;
    try {
        r.Seek(macBinary ? 640 : 512);
        for (; row < kHeight; ++row) {
            uchar* line = image.scanLine(row);
            int filled = 0;
            while (filled < kRowBytes) {
                const quint8 flag = r.U8();
                if (flag == 128) continue; // no operation
                if (flag > 128) {
                    const uchar value = uchar(~r.U8());
                    const int count = std::min(257 - flag, kRowBytes - filled); // a run never leaves the row
                    std::memset(line + filled, value, size_t(count));
                    filled += count;
                } else {
                    const int count = flag + 1;
                    const uchar* src = r.Take(count);
                    const int kept = std::min(count, kRowBytes - filled);
                    for (int i = 0; i < kept; ++i) line[filled + i] = uchar(~src[i]);
                    filled += kept;
                }
            }
        }
    } catch (const EReadError&) {
        if (row == 0) throw EInvalidGraphic(QStringLiteral("File is corrupted"));
        // The rows that never arrived show the background.
        FillMissingRows(image, row, kHeight - row);
        SetTruncated(true);
    }
    FImage = std::move(image);
}
