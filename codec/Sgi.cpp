#include "codec/Sgi.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <vector>

DEFINE_CONTENT_GRAPHIC_CLASS(TSGIGraphic)

namespace {

const int kHeaderSize = 512;
const int kMagic = 474;

struct TSgiHeader {
    int Storage = 0, Bpc = 1, Dimension = 0, Width = 0, Height = 0, Channels = 0;
};

bool ParseHeader(const uchar* p, qint64 size, TSgiHeader& h) {
    if (size < 12) return false;
    TByteReader r(p, 12);
    if (r.U16BE() != kMagic) return false;
    h.Storage = r.U8();
    h.Bpc = r.U8();
    h.Dimension = r.U16BE();
    h.Width = r.U16BE();
    h.Height = r.U16BE();
    h.Channels = r.U16BE();
    if (h.Storage > 1 || (h.Bpc != 1 && h.Bpc != 2) || h.Dimension < 1 || h.Dimension > 3) return false;
    if (h.Dimension == 1) h.Height = 1;
    if (h.Dimension < 3) h.Channels = 1;
    return true;
}

inline uchar To8(quint32 v) { return uchar((v * 255 + 32767) / 65535); }

// Expands one run-length row of bytes (bpc 1) or big-endian 16-bit values (bpc 2) into out[0, width).
// Returns false when the packets run past their data; a row with too many pixels is cut at width.
template <int Bpc>
bool ExpandRow(const uchar* p, qint64 length, quint16* out, int width) {
    const uchar* end = p + length;
    int x = 0;
    auto next = [&](quint32& v) {
        if (end - p < Bpc) return false;
        v = Bpc == 1 ? p[0] : quint32((p[0] << 8) | p[1]);
        p += Bpc;
        return true;
    };
    for (;;) {
        quint32 c = 0;
        if (!next(c)) return false;
        const int count = int(c & 0x7F);
        if (count == 0) break;
        if (c & 0x80) {
            if (end - p < qint64(count) * Bpc) return false;
            for (int i = 0; i < count; ++i) {
                quint32 v = 0;
                next(v);
                if (x < width) out[x++] = quint16(v);
            }
        } else {
            quint32 v = 0;
            if (!next(v)) return false;
            const int n = std::min(count, width - x);
            std::fill(out + x, out + x + n, quint16(v));
            x += n;
        }
    }
    return true;
}

// Reads and checks the header as decoding does: head holds the first bytes of a file of size bytes.
TSgiHeader CheckedHeader(const uchar* head, qint64 headSize, qint64 size) {
    TSgiHeader h;
    if (size < kHeaderSize || !ParseHeader(head, headSize, h))
        throw EInvalidGraphic(QStringLiteral("The SGI file header is not valid"));
    if (h.Channels < 1) throw EInvalidGraphic(QStringLiteral("The SGI file has no channels"));
    CheckPictureSize(h.Width, h.Height);
    return h;
}

// Where the run-length row tables end (raises when the file ends before).
qint64 RowTablesEnd(const TSgiHeader& h, qint64 size) {
    const qint64 tables = kHeaderSize + qint64(h.Height) * h.Channels * 8;
    if (tables > size) throw EInvalidGraphic(QStringLiteral("The SGI row tables are incomplete"));
    return tables;
}

// Where row y of channel c of an uncompressed file starts (rows are stored bottom first).
qint64 VerbatimRow(const TSgiHeader& h, int c, int y) {
    return kHeaderSize + (qint64(c) * h.Height + y) * qint64(h.Width) * h.Bpc;
}

// Whether a channel's row of length bytes at start lies in a file of size bytes.
bool RowInFile(qint64 start, qint64 length, qint64 size) {
    return start >= kHeaderSize && length >= 0 && start <= size && length <= size - start;
}

[[noreturn]] void NoPixelData() { throw EInvalidGraphic(QStringLiteral("The SGI file holds no pixel data")); }

} // namespace

bool TSGIGraphic::AcceptsContent(QIODevice& stream) {
    const QByteArray head = PeekBytes(stream, 12);
    TSgiHeader h;
    return ParseHeader(reinterpret_cast<const uchar*>(head.constData()), head.size(), h) && h.Width > 0 &&
           h.Height > 0 && h.Channels > 0;
}

bool TSGIGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    qint64 size = 0;
    const TBlockReader read = StreamBlock(stream, size);
    if (!read) return false;
    const QByteArray head = read(0, 12);
    const TSgiHeader h = CheckedHeader(reinterpret_cast<const uchar*>(head.constData()), head.size(), size);
    const int used = std::min(h.Channels, 4);
    // Decoding shows the rows every used channel of which lies in the file, and needs one of them.
    bool anyRow = false;
    if (h.Storage == 0) {
        // Uncompressed rows lie one after the other: the first row of the last channel comes first.
        anyRow = RowInFile(VerbatimRow(h, used - 1, 0), qint64(h.Width) * h.Bpc, size);
    } else {
        RowTablesEnd(h, size);
        const qint64 lengths = kHeaderSize + qint64(h.Height) * h.Channels * 4;
        auto entry = [&](qint64 table, int c, int y) {
            const QByteArray bytes = read(table + (qint64(c) * h.Height + y) * 4, 4);
            TByteReader r(bytes);
            return qint64(r.U32BE());
        };
        for (int y = 0; y < h.Height && !anyRow; ++y) {
            anyRow = true;
            for (int c = 0; c < used && anyRow; ++c) anyRow = RowInFile(entry(kHeaderSize, c, y), entry(lengths, c, y), size);
        }
    }
    if (!anyRow) NoPixelData();
    info.Width = h.Width;
    info.Height = h.Height;
    info.Frames = 1;
    return true;
}

void TSGIGraphic::ReadPage(QIODevice& stream, int) {
    const QByteArray bytes = ReadRemaining(stream);
    const uchar* data = reinterpret_cast<const uchar*>(bytes.constData());
    const qint64 size = bytes.size();
    const TSgiHeader h = CheckedHeader(data, size, size);
    const int width = h.Width, height = h.Height;
    // Channels beyond the fourth are extra data that no picture shows.
    const int used = std::min(h.Channels, 4);
    const qint64 planeRows = qint64(height) * h.Channels;

    // Where each row of each used channel starts and how long it is; rows are stored bottom first.
    std::vector<qint64> start(size_t(height) * used), length(size_t(height) * used);
    const qint64 rawRow = qint64(width) * h.Bpc;
    if (h.Storage == 1) {
        RowTablesEnd(h, size);
        TByteReader starts(data + kHeaderSize, planeRows * 4), lengths(data + kHeaderSize + planeRows * 4, planeRows * 4);
        for (int c = 0; c < used; ++c)
            for (int y = 0; y < height; ++y) {
                starts.Seek((qint64(c) * height + y) * 4);
                lengths.Seek((qint64(c) * height + y) * 4);
                start[size_t(c) * height + y] = starts.U32BE();
                length[size_t(c) * height + y] = lengths.U32BE();
            }
    } else {
        for (int c = 0; c < used; ++c)
            for (int y = 0; y < height; ++y) {
                start[size_t(c) * height + y] = VerbatimRow(h, c, y);
                length[size_t(c) * height + y] = rawRow;
            }
    }
    // A row is shown when every channel of it is in the data (rows count from the bottom); a truncated
    // file keeps its size, the rows that never arrived showing the background.
    std::vector<char> present(size_t(height), 1);
    int rows = 0;
    for (int y = 0; y < height; ++y) {
        for (int c = 0; c < used && present[size_t(y)]; ++c) {
            const qint64 s = start[size_t(c) * height + y], l = length[size_t(c) * height + y];
            present[size_t(y)] = RowInFile(s, l, size);
        }
        rows += present[size_t(y)];
    }
    if (rows == 0) NoPixelData();

    const bool alpha = used == 2 || used == 4;
    const QImage::Format format = used == 1 ? QImage::Format_Grayscale8 : alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    QImage image = NewImage(width, height, format);
    std::vector<quint16> channel(size_t(width) * used);
    for (int y = 0; y < height; ++y) {
        if ((y & 63) == 0) Progress(TProgressStage::psRunning, quint8(qint64(y) * 100 / height));
        if (!present[size_t(y)]) {
            FillMissingRows(image, height - 1 - y, 1);
            continue;
        }
        for (int c = 0; c < used; ++c) {
            quint16* out = channel.data() + size_t(c) * width;
            const uchar* p = data + start[size_t(c) * height + y];
            const qint64 l = length[size_t(c) * height + y];
            if (h.Storage == 0) {
                if (h.Bpc == 1)
                    for (int x = 0; x < width; ++x) out[x] = p[x];
                else
                    for (int x = 0; x < width; ++x) out[x] = quint16((p[2 * x] << 8) | p[2 * x + 1]);
            } else {
                std::fill(out, out + width, quint16(0));
                // A damaged row keeps what it expanded before the damage.
                if (h.Bpc == 1)
                    ExpandRow<1>(p, l, out, width);
                else
                    ExpandRow<2>(p, l, out, width);
            }
            if (h.Bpc == 2)
                for (int x = 0; x < width; ++x) out[x] = To8(out[x]);
        }
        uchar* scan = image.scanLine(height - 1 - y);
        const quint16* c0 = channel.data();
        if (used == 1) {
            for (int x = 0; x < width; ++x) scan[x] = uchar(c0[x]);
            continue;
        }
        QRgb* out = reinterpret_cast<QRgb*>(scan);
        const quint16 *c1 = c0 + width, *c2 = c1 + width, *c3 = c2 + width;
        if (used == 2)
            for (int x = 0; x < width; ++x) out[x] = qRgba(c0[x], c0[x], c0[x], c1[x]);
        else if (used == 3)
            for (int x = 0; x < width; ++x) out[x] = qRgb(c0[x], c1[x], c2[x]);
        else
            for (int x = 0; x < width; ++x) out[x] = qRgba(c0[x], c1[x], c2[x], c3[x]);
    }
    SetTruncated(rows < height);
    FImage = std::move(image);
}
