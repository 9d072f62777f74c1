#include "codec/Rla.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QIODevice>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

DEFINE_CONTENT_GRAPHIC_CLASS(TRLAGraphic)

namespace {

const int kHeaderSize = 740;

struct TRlaHeader {
    int Width = 0, Height = 0;
    int Storage = 0, Channels = 0, Mattes = 0, Aux = 0;
    int ChannelBits = 8, MatteBits = 8;
    double Gamma = 0; // the gamma text of the header; 0 when it gives none
};

// Reads the fields the decoder uses; false when they are not consistent.
bool ParseHeader(const uchar* data, qint64 size, TRlaHeader& h) {
    if (size < kHeaderSize) return false;
    TByteReader r(data, kHeaderSize);
    r.Seek(8); // the active window; the full window before it only places the picture on a frame
    const int left = r.S16BE(), right = r.S16BE(), bottom = r.S16BE(), top = r.S16BE();
    r.Skip(2); // frame number
    h.Storage = r.S16BE();
    h.Channels = r.S16BE();
    h.Mattes = r.S16BE();
    h.Aux = r.S16BE();
    r.Skip(2); // revision
    // The gamma, as text in a 16-byte field.
    const char* gamma = reinterpret_cast<const char*>(r.Take(16));
    bool ok = false;
    h.Gamma = QByteArray(gamma, int(qstrnlen(gamma, 16))).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(h.Gamma) || h.Gamma <= 0 || h.Gamma > 10) h.Gamma = 0;
    r.Seek(658);
    h.ChannelBits = r.S16BE();
    r.Skip(2); // matte type
    h.MatteBits = r.S16BE();
    if (h.ChannelBits == 0) h.ChannelBits = 8;
    if (h.MatteBits == 0) h.MatteBits = 8;
    h.Width = right - left + 1;
    h.Height = top - bottom + 1;
    return h.Width > 0 && h.Height > 0 && h.Storage == 0 && h.Channels >= 1 && h.Channels <= 16 && h.Mattes >= 0 &&
           h.Mattes <= 16 && h.Aux >= 0 && h.Aux <= 16 && h.ChannelBits > 0 && h.ChannelBits <= 16 &&
           h.MatteBits > 0 && h.MatteBits <= 16;
}

// Expands one run-length channel: a count c >= 0 repeats the next byte c+1 times, c < 0 copies -c bytes.
bool ExpandChannel(const uchar* p, qint64 length, uchar* out, qint64 count) {
    const uchar* end = p + length;
    qint64 i = 0;
    while (i < count) {
        if (p >= end) return false;
        const int c = qint8(*p++);
        if (c >= 0) {
            if (p >= end) return false;
            const qint64 n = std::min<qint64>(c + 1, count - i);
            std::memset(out + i, *p++, size_t(n));
            i += n;
        } else {
            const qint64 n = -c;
            if (end - p < n) return false;
            const qint64 k = std::min(n, count - i);
            std::memcpy(out + i, p, size_t(k));
            p += n;
            i += k;
        }
    }
    return true;
}

// Colours are stored multiplied by the matte. Where a file names a gamma other than 1 the matte was
// applied as its power of that gamma (as OpenImageIO writes and reads such files), else as it stands.
// The table gives, for each matte value, the factor that takes the stored colour back to the colour.
std::array<double, 256> UnmatteFactors(double gamma) {
    std::array<double, 256> factors{};
    factors[0] = 1; // fully transparent: the colour is kept as stored
    for (int a = 1; a < 256; ++a) {
        const double k = 255.0 / a;
        factors[size_t(a)] = gamma > 0 && std::fabs(gamma - 1) > 1e-6 ? std::pow(k, gamma) : k;
    }
    return factors;
}

// Reads and checks the header and the size of the scanline table as decoding does: head holds the first
// bytes of a file of size bytes. Gives where the table ends.
qint64 CheckedHeader(const uchar* head, qint64 headSize, qint64 size, TRlaHeader& h) {
    if (!ParseHeader(head, headSize, h)) throw EInvalidGraphic(QStringLiteral("The RLA file header is not valid"));
    CheckPictureSize(h.Width, h.Height);
    const qint64 tableEnd = kHeaderSize + qint64(h.Height) * 4;
    if (tableEnd > size) throw EInvalidGraphic(QStringLiteral("The RLA scanline table is incomplete"));
    return tableEnd;
}

// Reads the scanline at pos of a file of size bytes: colour channels, then mattes; those that no
// picture shows are passed over by their lengths. The shown ones are expanded (through expanded, which
// holds two bytes a pixel) into planes (red, green, blue, matte). fetch(at, n) gives the n bytes at
// at, which lie in the file. False when the scanline's data is missing or damaged.
template <class Fetch>
bool ReadScanline(const Fetch& fetch, qint64 size, qint64 tableEnd, qint64 pos, const TRlaHeader& h,
                  std::vector<uchar>& expanded, std::vector<uchar>& planes) {
    if (pos < tableEnd || pos >= size) return false;
    const int width = h.Width;
    const int colours = h.Channels >= 3 ? 3 : 1;
    const bool alpha = h.Mattes > 0;
    const int colourBytes = h.ChannelBits > 8 ? 2 : 1, matteBytes = h.MatteBits > 8 ? 2 : 1;
    for (int c = 0; c < h.Channels + (alpha ? 1 : 0); ++c) {
        if (size - pos < 2) return false;
        const uchar* n = fetch(pos, 2);
        const qint64 length = (n[0] << 8) | n[1];
        pos += 2;
        if (length > size - pos) return false;
        const bool matte = c >= h.Channels;
        const int target = matte ? 3 : c;
        if (target < colours || matte) {
            const int sampleBytes = matte ? matteBytes : colourBytes;
            if (!ExpandChannel(fetch(pos, length), length, expanded.data(), qint64(width) * sampleBytes)) return false;
            uchar* out = planes.data() + size_t(target) * width;
            if (sampleBytes == 1)
                std::memcpy(out, expanded.data(), size_t(width));
            else
                for (int x = 0; x < width; ++x) out[x] = expanded[size_t(2 * x)]; // high byte first
        }
        pos += length;
    }
    return true;
}

[[noreturn]] void NoPixelData() { throw EInvalidGraphic(QStringLiteral("The RLA file holds no pixel data")); }

} // namespace

bool TRLAGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    qint64 size = 0;
    const TBlockReader read = StreamBlock(stream, size);
    if (!read) return false;
    const QByteArray head = read(0, kHeaderSize);
    TRlaHeader h;
    const qint64 tableEnd = CheckedHeader(reinterpret_cast<const uchar*>(head.constData()), head.size(), size, h);
    // Decoding needs a scanline that reads: in a sound file the first one listed does.
    QByteArray bytes;
    const auto fetch = [&](qint64 at, qint64 n) {
        bytes = read(at, n);
        return reinterpret_cast<const uchar*>(bytes.constData());
    };
    std::vector<uchar> expanded(size_t(h.Width) * 2), planes(size_t(h.Width) * 4);
    for (int line = 0; line < h.Height; ++line) {
        const QByteArray entry = read(kHeaderSize + qint64(line) * 4, 4);
        TByteReader offset(entry);
        if (ReadScanline(fetch, size, tableEnd, offset.U32BE(), h, expanded, planes)) {
            info.Width = h.Width;
            info.Height = h.Height;
            info.Frames = 1;
            return true;
        }
    }
    NoPixelData();
}

bool TRLAGraphic::AcceptsContent(QIODevice& stream) {
    const QByteArray head = PeekBytes(stream, kHeaderSize);
    TRlaHeader h;
    if (!ParseHeader(reinterpret_cast<const uchar*>(head.constData()), head.size(), h)) return false;
    if (stream.isSequential()) return false;
    const qint64 tableEnd = kHeaderSize + qint64(h.Height) * 4;
    const qint64 size = stream.size() - stream.pos();
    if (tableEnd > size) return false;
    const QByteArray table = PeekBytes(stream, tableEnd);
    if (table.size() < tableEnd) return false;
    TByteReader r(table);
    r.Seek(kHeaderSize);
    for (int y = 0; y < h.Height; ++y) {
        const qint64 offset = r.U32BE();
        if (offset < tableEnd || offset >= size) return false;
    }
    return true;
}

void TRLAGraphic::ReadPage(QIODevice& stream, int) {
    const QByteArray bytes = ReadRemaining(stream);
    const uchar* data = reinterpret_cast<const uchar*>(bytes.constData());
    const qint64 size = bytes.size();
    TRlaHeader h;
    const qint64 tableEnd = CheckedHeader(data, size, size, h);
    const int width = h.Width, height = h.Height;

    const bool rgb = h.Channels >= 3;
    const bool alpha = h.Mattes > 0;
    const QImage::Format format = alpha ? QImage::Format_ARGB32 : rgb ? QImage::Format_RGB32 : QImage::Format_Grayscale8;
    QImage image = NewImage(width, height, format);

    std::vector<uchar> expanded(size_t(width) * 2);
    std::vector<uchar> planes(size_t(width) * 4, 255);
    const std::array<double, 256> unmatte = UnmatteFactors(h.Gamma);
    TByteReader table(data + kHeaderSize, qint64(height) * 4);
    const auto fetch = [data](qint64 at, qint64) { return data + at; };
    // Scanlines are listed bottom first, each found by its own offset (writers store them in either
    // order). A scanline whose data is missing or damaged shows the background.
    int rows = 0; // scanlines decoded
    for (int line = 0; line < height; ++line) {
        const bool ok = ReadScanline(fetch, size, tableEnd, table.U32BE(), h, expanded, planes);
        if (!ok) {
            FillMissingRows(image, height - 1 - line, 1);
            continue;
        }
        ++rows;
        uchar* scan = image.scanLine(height - 1 - line);
        const uchar *r = planes.data(), *g = r + width, *b = g + width, *a = b + width;
        if (format == QImage::Format_Grayscale8) {
            std::memcpy(scan, r, size_t(width));
            continue;
        }
        QRgb* out = reinterpret_cast<QRgb*>(scan);
        if (!rgb) {
            g = r;
            b = r;
        }
        if (!alpha) {
            for (int x = 0; x < width; ++x) out[x] = qRgb(r[x], g[x], b[x]);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const double k = unmatte[a[x]];
            auto colour = [k](uchar v) { return int(std::min(255.0, std::nearbyint(v * k))); };
            out[x] = a[x] == 255 ? qRgba(r[x], g[x], b[x], 255) : qRgba(colour(r[x]), colour(g[x]), colour(b[x]), a[x]);
        }
    }
    if (rows == 0) NoPixelData();
    SetTruncated(rows < height);
    FImage = std::move(image);
}
