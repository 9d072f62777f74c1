#include "codec/Stream.h"

#include <QBuffer>

#include <algorithm>

void ReadBuffer(QIODevice& stream, void* buffer, qint64 count) {
    if (count < 0) throw EReadError();
    char* p = static_cast<char*>(buffer);
    while (count > 0) {
        const qint64 n = stream.read(p, count);
        if (n <= 0) {
            if (n == 0 && stream.waitForReadyRead(-1)) continue;
            throw EReadError();
        }
        p += n;
        count -= n;
    }
}

QByteArray ReadBytes(QIODevice& stream, qint64 count) {
    if (count < 0) throw EReadError();
    // Never trust a count from a file to size a buffer: grow as the data actually arrives.
    if (!stream.isSequential()) {
        const qint64 available = stream.size() - stream.pos();
        if (count > available) throw EReadError();
    }
    QByteArray bytes;
    bytes.resize(count);
    ReadBuffer(stream, bytes.data(), count);
    return bytes;
}

namespace {

QByteArray CopyRemaining(QIODevice& stream, qint64 maxBytes) {
    if (!stream.isSequential()) {
        const qint64 count = std::max<qint64>(0, stream.size() - stream.pos());
        if (count > maxBytes) throw EInvalidGraphic(QStringLiteral("The file is too large"));
        QByteArray bytes;
        bytes.resize(count);
        const qint64 n = count ? stream.read(bytes.data(), count) : 0;
        bytes.resize(std::max<qint64>(0, n));
        return bytes;
    }
    // A sequential device: grow with the data that actually arrives.
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const qint64 n = stream.read(chunk, sizeof chunk);
        if (n <= 0) break;
        if (bytes.size() + n > maxBytes) throw EInvalidGraphic(QStringLiteral("The file is too large"));
        bytes.append(chunk, n);
    }
    return bytes;
}

} // namespace

QByteArray ReadRemaining(QIODevice& stream, qint64 maxBytes) {
    // A buffer read from its start that owns its bytes shares them instead of copying them.
    if (auto* buffer = qobject_cast<QBuffer*>(&stream); buffer && buffer->pos() == 0) {
        QByteArray data = buffer->data(); // shared, not copied
        if (data.data_ptr().isMutable()) { // not borrowed bytes, which may go before the result does
            if (data.size() > maxBytes) throw EInvalidGraphic(QStringLiteral("The file is too large"));
            buffer->seek(data.size());
            return data;
        }
    }
    return CopyRemaining(stream, maxBytes);
}

TBlockReader StreamBlock(QIODevice& stream, qint64& size, qint64 maxBytes) {
    size = 0;
    if (stream.isSequential()) return nullptr;
    const qint64 origin = stream.pos();
    size = std::max<qint64>(0, stream.size() - origin);
    if (size > maxBytes) throw EInvalidGraphic(QStringLiteral("The file is too large"));
    return [&stream, origin, size](qint64 pos, qint64 count) {
        if (pos < 0 || pos >= size || count <= 0 || !stream.seek(origin + pos)) return QByteArray();
        return stream.read(std::min(count, size - pos));
    };
}

QByteArray PeekBytes(QIODevice& stream, qint64 count) { return stream.peek(count); }

void WriteBuffer(QIODevice& stream, const void* buffer, qint64 count) {
    const char* p = static_cast<const char*>(buffer);
    while (count > 0) {
        const qint64 n = stream.write(p, count);
        if (n <= 0) throw EWriteError();
        p += n;
        count -= n;
    }
}

void WriteU8(QIODevice& s, quint8 v) { WriteBuffer(s, &v, 1); }
void WriteU16LE(QIODevice& s, quint16 v) {
    const uchar b[2] = {uchar(v), uchar(v >> 8)};
    WriteBuffer(s, b, 2);
}
void WriteU32LE(QIODevice& s, quint32 v) {
    const uchar b[4] = {uchar(v), uchar(v >> 8), uchar(v >> 16), uchar(v >> 24)};
    WriteBuffer(s, b, 4);
}
void WriteU16BE(QIODevice& s, quint16 v) {
    const uchar b[2] = {uchar(v >> 8), uchar(v)};
    WriteBuffer(s, b, 2);
}
void WriteU32BE(QIODevice& s, quint32 v) {
    const uchar b[4] = {uchar(v >> 24), uchar(v >> 16), uchar(v >> 8), uchar(v)};
    WriteBuffer(s, b, 4);
}
