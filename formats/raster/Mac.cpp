#include "formats/raster/Mac.h"

#include "codec/Limits.h"
#include "codec/Registry.h"
#include "codec/Stream.h"

DEFINE_GRAPHIC_CLASS(TMACImage)

void RegisterMacFormat() { RegisterFormat(QStringLiteral("MAC"), QStringLiteral("MacPaint Picture"), TMACImage::StaticClass()); }

namespace {
constexpr int kWidth = 576, kHeight = 720, kRowBytes = 72;
}

qint64 TMACImage::PictureStart(const QByteArray& head, qint64 fileSize) {
    // A MacBinary header carries "PNTG" at offset 65.
    const bool macBinary = fileSize >= 69 && head.mid(65, 4) == "PNTG";
    if (macBinary && fileSize < 640) throw EInvalidGraphic(QStringLiteral("File is corrupted"));
    return macBinary ? 640 : 512;
}

bool TMACImage::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    if (!RewindForInfo(stream)) return false;
    const qint64 start = PictureStart(stream.read(69), stream.size());
    // Without a byte of the first row the picture is not there at all.
    if (stream.size() <= start) throw EInvalidGraphic(QStringLiteral("File is corrupted"));
    CheckPictureSize(kWidth, kHeight);
    info.Width = kWidth;
    info.Height = kHeight;
    info.Frames = 1;
    return true;
}

void TMACImage::Decode() {
    TByteReader r(FData);
    const qint64 start = PictureStart(FData.left(69), FData.size());
    QImage image = NewMonoImage(kWidth, kHeight);
    int row = 0;
    try {
        r.Seek(start);
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
