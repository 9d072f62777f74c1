// Reading the video stream of an AVI file: open the file, take its first video stream, open a decoder
// for it, read the stream's timing and frame size, and get frame N as a 32-bit picture. Decoding is done
// by FFmpeg; only the AVI container is accepted (a file of another kind does not open).
#pragma once

#include <QImage>
#include <QRect>
#include <QString>

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
