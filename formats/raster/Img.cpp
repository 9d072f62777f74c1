#include "formats/raster/Img.h"

#include "codec/Limits.h"
#include "codec/Registry.h"
#include "codec/Stream.h"

DEFINE_GRAPHIC_CLASS(TImgImage)

void RegisterImgFormat() { RegisterFormat(QStringLiteral("IMG"), QStringLiteral("GEM Paint"), TImgImage::StaticClass()); }

namespace {
// "The file is damaged", as the format's own message has always read.
QString DamagedMessage() { return QString::fromUtf8("\xE6\x96\x87\xE4\xBB\xB6\xE5\xB7\xB2\xE7\xBB\x8F\xE6\x8D\x9F\xE5\x9D\x8F"); }
} // namespace

TImgImage::THeader TImgImage::ReadHeader(const QByteArray& head, qint64 fileSize) {
    static const uchar kSignature[6] = {0, 1, 0, 8, 0, 1};
    if (fileSize < 16 || head.size() < 16 || std::memcmp(head.constData(), kSignature, 6) != 0)
        throw EInvalidGraphic(DamagedMessage());
    TByteReader r(head);
    r.Seek(6);
    THeader h;
    h.PatternLength = r.U16BE();
    r.Skip(4); // pixel size in micrometres
    h.Width = r.U16BE();
    h.Height = r.U16BE();
    if (h.Width == 0 || h.Height == 0) throw EInvalidGraphic(DamagedMessage());
    // Every row needs at least one byte of packed data unless a replication prefix repeats it, which
    // takes four bytes for at most 255 rows.
    if (qint64(h.Height) > (fileSize - 16) * 255) throw EInvalidGraphic(DamagedMessage());
    CheckPictureSize(h.Width, h.Height);
    return h;
}

bool TImgImage::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    if (!RewindForInfo(stream)) return false;
    const THeader h = ReadHeader(stream.read(16), stream.size());
    info.Width = h.Width;
    info.Height = h.Height;
    info.Frames = 1;
    return true;
}

void TImgImage::Decode() {
    const THeader h = ReadHeader(FData.left(16), FData.size());
    const int patternLength = h.PatternLength, width = h.Width, height = h.Height;
    TByteReader r(FData);
    r.Seek(16);
    const int rowBytes = width / 8 + (width % 8 ? 1 : 0);
    QImage image = NewMonoImage(width, height);
    const int stride = image.bytesPerLine();
    std::vector<uchar> line(size_t(stride) + 1, 0xFF);

    int row = 0;
    try {
        while (row < height) {
            int repeat = 1;
            int produced = 0;
            std::fill(line.begin(), line.end(), uchar(0));
            auto put = [&](uchar value) {
                if (produced < rowBytes) line[size_t(produced)] = value; // never past the row
                ++produced;
            };
            while (produced < rowBytes) {
                const quint8 b = r.U8();
                if (b == 0x00) {
                    const quint8 n = r.U8();
                    if (n != 0) { // pattern run
                        const uchar* pattern = r.Take(patternLength);
                        for (int k = 0; k < n; ++k)
                            for (int i = 0; i < patternLength; ++i) put(uchar(~pattern[i]));
                    } else { // line replication: 00 00 FF count
                        r.Skip(1);
                        repeat = r.U8();
                        if (repeat == 0) repeat = 1;
                    }
                } else if (b == 0x80) { // bit string
                    const quint8 n = r.U8();
                    const uchar* bytes = r.Take(n);
                    for (int i = 0; i < n; ++i) put(uchar(~bytes[i]));
                } else { // solid run: bit 7 set is black
                    const uchar value = (b & 0x80) ? 0x00 : 0xFF;
                    for (int i = 0; i < (b & 0x7F); ++i) put(value);
                }
            }
            // A run past the end of the row was cut at the row's end (put() drops the excess).
            for (; repeat > 0 && row < height; --repeat, ++row) std::memcpy(image.scanLine(row), line.data(), size_t(rowBytes));
        }
    } catch (const EReadError&) {
        if (row == 0) throw EInvalidGraphic(DamagedMessage());
        // The rows that never arrived show the background.
        FillMissingRows(image, row, height - row);
        SetTruncated(true);
    }
    FPatternLength = patternLength;
    FImage = std::move(image);
}
