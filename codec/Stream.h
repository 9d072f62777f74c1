// Stream helpers: exact reads that raise EReadError on a short read, and a bounds-checked reader over
// bytes already in memory. Decoders parse untrusted data only through these.
#pragma once

#include "codec/Errors.h"

#include <QByteArray>
#include <QIODevice>

#include <cstring>
#include <functional>

// Reads exactly count bytes or raises EReadError.
void ReadBuffer(QIODevice& stream, void* buffer, qint64 count);
QByteArray ReadBytes(QIODevice& stream, qint64 count);
// Everything from the current position to the end (bounded by maxBytes; EInvalidGraphic beyond it).
QByteArray ReadRemaining(QIODevice& stream, qint64 maxBytes = qint64(1) << 31);
// Reads count bytes at pos of a block (fewer at its end, none beyond it).
using TBlockReader = std::function<QByteArray(qint64 pos, qint64 count)>;
// Random access to the bytes from a stream's current position to its end, positions counting from there,
// for decoders that read headers without the rest: the reader and the block's size. Raises as
// ReadRemaining would (with the same maxBytes) for a stream too long for decoders that read it whole.
// Null on a sequential device.
TBlockReader StreamBlock(QIODevice& stream, qint64& size, qint64 maxBytes = qint64(1) << 31);
// Writes exactly count bytes or raises EWriteError.
void WriteBuffer(QIODevice& stream, const void* buffer, qint64 count);
inline void WriteBytes(QIODevice& stream, const QByteArray& bytes) { WriteBuffer(stream, bytes.constData(), bytes.size()); }

// Restores a stream's position when it goes out of scope (for content tests).
class TStreamPositionKeeper {
public:
    explicit TStreamPositionKeeper(QIODevice& s) : FStream(s), FPos(s.pos()) {}
    ~TStreamPositionKeeper() { FStream.seek(FPos); }

private:
    QIODevice& FStream;
    qint64 FPos;
};
// Peeks up to count bytes without moving the stream (works on sequential and random-access devices).
QByteArray PeekBytes(QIODevice& stream, qint64 count);

// A cursor over a byte block. Every read checks the bounds and raises EReadError past the end.
class TByteReader {
public:
    TByteReader(const uchar* data, qint64 size) : FData(data), FSize(size) {}
    explicit TByteReader(const QByteArray& bytes)
        : FData(reinterpret_cast<const uchar*>(bytes.constData())), FSize(bytes.size()) {}
    // The reader keeps no copy: the bytes must outlive it.
    explicit TByteReader(QByteArray&&) = delete;

    qint64 Pos() const { return FPos; }
    qint64 Size() const { return FSize; }
    qint64 Remaining() const { return FSize - FPos; }
    bool AtEnd() const { return FPos >= FSize; }
    void Seek(qint64 pos) {
        if (pos < 0 || pos > FSize) throw EReadError();
        FPos = pos;
    }
    void Skip(qint64 n) {
        if (n < 0 || n > Remaining()) throw EReadError();
        FPos += n;
    }
    const uchar* Data() const { return FData; }
    const uchar* Take(qint64 n) {
        if (n < 0 || n > Remaining()) throw EReadError();
        const uchar* p = FData + FPos;
        FPos += n;
        return p;
    }
    void Read(void* dst, qint64 n) { std::memcpy(dst, Take(n), size_t(n)); }
    quint8 U8() { return *Take(1); }
    qint8 S8() { return qint8(U8()); }
    quint16 U16LE() { const uchar* p = Take(2); return quint16(p[0] | (p[1] << 8)); }
    quint16 U16BE() { const uchar* p = Take(2); return quint16((p[0] << 8) | p[1]); }
    qint16 S16LE() { return qint16(U16LE()); }
    qint16 S16BE() { return qint16(U16BE()); }
    quint32 U32LE() {
        const uchar* p = Take(4);
        return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
    }
    quint32 U32BE() {
        const uchar* p = Take(4);
        return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
    }
    qint32 S32LE() { return qint32(U32LE()); }
    qint32 S32BE() { return qint32(U32BE()); }

private:
    const uchar* FData;
    qint64 FSize;
    qint64 FPos = 0;
};

// Little helpers for writers.
void WriteU8(QIODevice& s, quint8 v);
void WriteU16LE(QIODevice& s, quint16 v);
void WriteU32LE(QIODevice& s, quint32 v);
void WriteU16BE(QIODevice& s, quint16 v);
void WriteU32BE(QIODevice& s, quint32 v);
