// The video module: FFmpeg lives in a shared module (liblumenor-video.so) that is loaded on first use,
// so programs start without loading FFmpeg's libraries. TVideoFile, TVideoWriter, VideoEncoders and
// TVideoWriter::Trial forward to the interfaces below; the module implements them.
// The module is built from the same sources as the program; kVideoBackendVersion guards against an
// installed module of another build.
#pragma once

#include "platform/VideoFile.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

// Bumped whenever an interface below changes.
constexpr int kVideoBackendVersion = 1;

// The file name of the module and the name of its entry point.
#define LUMENOR_VIDEO_MODULE_FILE "liblumenor-video.so"
#define LUMENOR_VIDEO_MODULE_ENTRY "LumenorVideoModule"

// What the module takes from the program: the picture limits, which the program can change.
struct TVideoHost {
    qint64 (*PixelLimit)();
    // An empty text when a picture of the size may be allocated, otherwise why not.
    QString (*CheckPictureSize)(qint64 width, qint64 height);
};

class IVideoReader {
public:
    virtual ~IVideoReader() = default;
    virtual bool OpenFile(const QString& fileName) = 0;
    virtual bool OpenVideoStream() = 0;
    virtual bool OpenFrameReader() = 0;
    virtual bool StreamInfo(TVideoStreamInfo& info) const = 0;
    virtual QImage Frame(qint64 index) = 0;
    virtual void Close() = 0;
    virtual bool IsFileOpen() const = 0;
    virtual bool IsStreamOpen() const = 0;
    virtual bool IsFrameReaderOpen() const = 0;
    virtual int SeekCount() const = 0;
};

class IVideoWriter {
public:
    virtual ~IVideoWriter() = default; // without Finish, nothing is left on disk
    virtual bool Create(const QString& fileName) = 0;
    virtual bool CreateStream(const TVideoStreamHeader& header, TVideoWriter::TPixels pixels) = 0;
    virtual bool SetCompressor(const QString& encoder, int quality, int keyFrameEvery) = 0;
    virtual bool SetFormat(const QVector<QRgb>& palette) = 0;
    virtual bool WriteFrame(const QImage& frame) = 0;
    virtual bool Finish() = 0;
    virtual void Cancel() = 0;
    virtual int FramesWritten() const = 0;
    virtual QString ErrorString() const = 0;
};

class IVideoModule {
public:
    virtual std::unique_ptr<IVideoReader> NewReader() = 0;
    virtual std::unique_ptr<IVideoWriter> NewWriter() = 0;
    virtual QList<TVideoEncoderInfo> Encoders(QSize frameSize) = 0;
    virtual bool Trial(const QString& encoder, QSize size) = 0;

protected:
    ~IVideoModule() = default; // the module owns its object; it lives as long as the process
};

// The module's entry point: its object, or null when `version` is not the module's own.
using TVideoModuleEntry = IVideoModule* (*)(int version, const TVideoHost* host);

// The loaded module, loading it on the first call; null when it cannot be loaded (VideoSupportError
// says why). The folders searched, in order: $LUMENOR_MODULE_DIR, the running program's folder, the
// library folder beside it (../lib/lumenor for a program in bin/), the build folder (for the programs
// inside it), the installed module folder. With LUMENOR_MODULE_NO_FALLBACK=1 only the first.
IVideoModule* VideoModule();
// Why video support is missing ("Video support is not installed (...)"), empty when the module loaded.
QString VideoSupportError();
// The folders VideoModule searches, from the environment as it is now.
QStringList VideoModuleSearchPath();
// Searches again with the environment as it is now (tests change it). A module loaded before stays
// loaded, so objects made by it remain valid.
void ReloadVideoModule();
