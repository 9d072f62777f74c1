// The program's side of the video module: loads liblumenor-video.so on first use and forwards
// TVideoFile, TVideoWriter and VideoEncoders to it. Without the module, clips do not open and cannot be
// written, and the reason is kept for the messages.
#include "platform/VideoBackend.h"

#include "codec/Limits.h"
#include "platform/ModulePath.h"

#include <mutex>

namespace {

qint64 HostPixelLimit() { return PixelLimit(); }

QString HostCheckPictureSize(qint64 width, qint64 height) {
    try {
        CheckPictureSize(width, height);
    } catch (const Exception& e) {
        return e.Message();
    }
    return QString();
}

const TVideoHost kHost{&HostPixelLimit, &HostCheckPictureSize};

struct TModuleState {
    std::mutex Lock;
    bool Tried = false;
    IVideoModule* Module = nullptr;
    QString Error;
};

TModuleState& State() {
    static TModuleState state;
    return state;
}

void Load(TModuleState& s) {
    s.Tried = true;
    s.Module = nullptr;
    const QString why = LoadModule(LUMENOR_VIDEO_MODULE_FILE, LUMENOR_VIDEO_MODULE_ENTRY, true, [&s](void* entry) {
        s.Module = reinterpret_cast<TVideoModuleEntry>(entry)(kVideoBackendVersion, &kHost);
        return s.Module != nullptr;
    });
    s.Error = why.isEmpty() ? QString() : QStringLiteral("Video support is not installed (%1)").arg(why);
}

} // namespace

QStringList VideoModuleSearchPath() { return ModuleSearchPath(true); }

IVideoModule* VideoModule() {
    TModuleState& s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    if (!s.Tried) Load(s);
    return s.Module;
}

QString VideoSupportError() {
    TModuleState& s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    if (!s.Tried) Load(s);
    return s.Error;
}

void ReloadVideoModule() {
    TModuleState& s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    Load(s);
}

// ---------------------------------------------------------------------------------------------------------
// Reading

struct TVideoFile::TState {
    std::unique_ptr<IVideoReader> Reader; // made on the first OpenFile
};

TVideoFile::TVideoFile() : F(std::make_unique<TState>()) {}

TVideoFile::~TVideoFile() { Close(); }

bool TVideoFile::OpenFile(const QString& fileName) {
    Close();
    if (!F->Reader) {
        IVideoModule* module = VideoModule();
        if (!module) return false;
        F->Reader = module->NewReader();
    }
    return F->Reader && F->Reader->OpenFile(fileName);
}

bool TVideoFile::OpenVideoStream() { return F->Reader && F->Reader->OpenVideoStream(); }
bool TVideoFile::OpenFrameReader() { return F->Reader && F->Reader->OpenFrameReader(); }
bool TVideoFile::StreamInfo(TVideoStreamInfo& info) const { return F->Reader && F->Reader->StreamInfo(info); }
QImage TVideoFile::Frame(qint64 index) { return F->Reader ? F->Reader->Frame(index) : QImage(); }

void TVideoFile::Close() {
    if (F->Reader) F->Reader->Close();
}

bool TVideoFile::IsFileOpen() const { return F->Reader && F->Reader->IsFileOpen(); }
bool TVideoFile::IsStreamOpen() const { return F->Reader && F->Reader->IsStreamOpen(); }
bool TVideoFile::IsFrameReaderOpen() const { return F->Reader && F->Reader->IsFrameReaderOpen(); }
int TVideoFile::SeekCount() const { return F->Reader ? F->Reader->SeekCount() : 0; }

// ---------------------------------------------------------------------------------------------------------
// Writing

QList<TVideoEncoderInfo> VideoEncoders(QSize frameSize) {
    IVideoModule* module = VideoModule();
    return module ? module->Encoders(frameSize) : QList<TVideoEncoderInfo>();
}

struct TVideoWriter::TState {
    std::unique_ptr<IVideoWriter> Writer; // null without the module
    QString Error;                        // then why
};

TVideoWriter::TVideoWriter() : F(std::make_unique<TState>()) {
    if (IVideoModule* module = VideoModule()) F->Writer = module->NewWriter();
    if (!F->Writer) F->Error = VideoSupportError();
}

TVideoWriter::~TVideoWriter() { Cancel(); }

bool TVideoWriter::Create(const QString& fileName) { return F->Writer && F->Writer->Create(fileName); }

bool TVideoWriter::CreateStream(const TVideoStreamHeader& header, TPixels pixels) {
    return F->Writer && F->Writer->CreateStream(header, pixels);
}

bool TVideoWriter::SetCompressor(const QString& encoder, int quality, int keyFrameEvery) {
    return F->Writer && F->Writer->SetCompressor(encoder, quality, keyFrameEvery);
}

bool TVideoWriter::SetFormat(const QVector<QRgb>& palette) { return F->Writer && F->Writer->SetFormat(palette); }

bool TVideoWriter::WriteFrame(const QImage& frame) { return F->Writer && F->Writer->WriteFrame(frame); }

bool TVideoWriter::Finish() { return F->Writer && F->Writer->Finish(); }

void TVideoWriter::Cancel() {
    if (F->Writer) F->Writer->Cancel();
}

int TVideoWriter::FramesWritten() const { return F->Writer ? F->Writer->FramesWritten() : 0; }

QString TVideoWriter::ErrorString() const { return F->Writer ? F->Writer->ErrorString() : F->Error; }

bool TVideoWriter::Trial(const QString& encoder, QSize size) {
    IVideoModule* module = VideoModule();
    return module && module->Trial(encoder, size);
}
