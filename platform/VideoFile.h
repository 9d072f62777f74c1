// Reading the video stream of an AVI file: open the file, take its first video stream, open a decoder
// for it, read the stream's timing and frame size, and get frame N as a 32-bit picture. Decoding is done
// by FFmpeg; only the AVI container is accepted (a file of another kind does not open).
// Writing AVI clips: one video stream, uncompressed (8 bits with a palette, or 24 bits) or through an
// encoder of FFmpeg, every frame a key frame unless the encoder is told otherwise.
// FFmpeg is reached through the video module (platform/VideoBackend.h), loaded on first use: without it
// no clip opens (OpenFile is false), VideoEncoders is empty and writing fails with the reason.
#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>
#include <QVector>

#include <memory>

// What the stream reports about itself. One frame lasts Scale / Rate seconds; Start is the first
// frame's number and Length the number of frames; Frame is the frame rectangle (0, 0, width, height).
struct TVideoStreamInfo {
    qint64 Scale = 0;
    qint64 Rate = 0;
    qint64 Start = 0;
    qint64 Length = 0;
    QRect Frame;
};

class TVideoFile {
public:
    // Frame counts above this are cut to it (a count is only a header value).
    static constexpr qint64 kMaxFrames = qint64(1) << 24;

    TVideoFile();
    ~TVideoFile();
    TVideoFile(const TVideoFile&) = delete;
    TVideoFile& operator=(const TVideoFile&) = delete;

    // Opens the file for reading; false when it cannot be read or is not an AVI file.
    bool OpenFile(const QString& fileName);
    // Chooses the file's first video stream; false when there is none (or no file is open).
    bool OpenVideoStream();
    // Opens the decoder of the chosen stream; false when the codec is unknown or cannot be opened.
    bool OpenFrameReader();
    // The stream's timing and frame size; false when the stream gives no usable frame size.
    bool StreamInfo(TVideoStreamInfo& info) const;
    // Frame `index` (0-based) as a Format_RGB32 picture, or a null picture when it cannot be decoded.
    // Steps from the last frame decoded when index follows it; otherwise seeks to the nearest key frame
    // before it and decodes forward. Frames bigger than the pixel limit are not converted.
    QImage Frame(qint64 index);
    // Releases the decoder, the stream and the file, in that order. Safe to call when nothing is open.
    void Close();

    bool IsFileOpen() const;
    bool IsStreamOpen() const;
    bool IsFrameReaderOpen() const;
    // Number of seeks Frame made since the file was opened (tests check that stepping does not seek).
    int SeekCount() const;

private:
    struct TState;
    std::unique_ptr<TState> F;
};

// A compressor for AVI clips: Name is FFmpeg's encoder name (empty for uncompressed frames).
struct TVideoEncoderInfo {
    QString Name;
    QString Description;
};

// The compressors this machine offers for AVI clips of the given frame size: "Uncompressed", "Motion
// JPEG" and "FFV1 (lossless)" first, then every other video encoder of FFmpeg that the AVI container
// takes and that opens for that size (experimental and hardware encoders are left out).
QList<TVideoEncoderInfo> VideoEncoders(QSize frameSize = QSize(64, 48));

// The stream header of a new clip: the frame size, and one frame lasts Scale / Rate seconds.
struct TVideoStreamHeader {
    QSize Size;
    int Scale = 1;
    int Rate = 1;
};

class TVideoWriter {
public:
    enum class TPixels { Palette8, Rgb24 };

    TVideoWriter();
    ~TVideoWriter(); // without Finish, nothing is left on disk
    TVideoWriter(const TVideoWriter&) = delete;
    TVideoWriter& operator=(const TVideoWriter&) = delete;

    // Creates the file, through a temporary file beside it that Finish renames into place; false when it
    // cannot be created.
    bool Create(const QString& fileName);
    // The video stream: pixels stored as 8-bit palette indices or 24-bit colours (uncompressed), or as the
    // compressor encodes them. False for a size, scale or rate out of range.
    bool CreateStream(const TVideoStreamHeader& header, TPixels pixels);
    // Compresses the stream with an encoder of VideoEncoders (quality 1..100, a key frame every
    // keyFrameEvery frames); an empty name keeps frames uncompressed. False when it cannot be opened.
    bool SetCompressor(const QString& encoder, int quality = 75, int keyFrameEvery = 1);
    // The stream format (for 8-bit streams the palette, at most 256 colours) and the file's header.
    bool SetFormat(const QVector<QRgb>& palette = {});
    // Writes the next frame: for an uncompressed 8-bit stream a Format_Indexed8 picture with the stream's
    // palette, otherwise any picture of the stream's size (alpha is ignored).
    bool WriteFrame(const QImage& frame);
    // Finishes the file: the index, the stream's scale and rate as given, then the rename into place.
    bool Finish();
    // Drops the file being written.
    void Cancel();

    int FramesWritten() const;
    // What went wrong last, in FFmpeg's or the file system's words.
    QString ErrorString() const;

    // Whether the encoder writes a short clip of frames of the size (into memory).
    static bool Trial(const QString& encoder, QSize size);

private:
    struct TState;
    std::unique_ptr<TState> F;
};
