// The program's side of the video module: finds and loads liblumenor-video.so on first use and forwards
// TVideoFile, TVideoWriter and VideoEncoders to it. Without the module, clips do not open and cannot be
// written, and the reason is kept for the messages.
#include "platform/VideoBackend.h"

#include "codec/Limits.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

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

QString ExecutableDir() {
    const QString target = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return target.isEmpty() ? QString() : QFileInfo(target).absolutePath();
}

// Loads the module from the first folder that has it. The error of a module that is there but does not
// load counts over "not found" in other folders.
void Load(TModuleState& s) {
    s.Tried = true;
    s.Module = nullptr;
    s.Error.clear();
    QString notFound, broken;
    for (const QString& dir : VideoModuleSearchPath()) {
        const QString path = QDir(dir).filePath(QStringLiteral(LUMENOR_VIDEO_MODULE_FILE));
        const QByteArray native = QFile::encodeName(path);
        // The module's own libraries are bound at once, so a missing one shows here and not at a call.
        void* handle = dlopen(native.constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const QString why = QString::fromLocal8Bit(dlerror());
            if (QFileInfo::exists(path)) {
                if (broken.isEmpty()) broken = why;
            } else if (notFound.isEmpty()) {
                notFound = why;
            }
            continue;
        }
        auto entry = reinterpret_cast<TVideoModuleEntry>(dlsym(handle, LUMENOR_VIDEO_MODULE_ENTRY));
        if (!entry) {
            if (broken.isEmpty()) broken = QString::fromLocal8Bit(dlerror());
            continue; // stays loaded: unloading a library is never worth the risk here
        }
        if (IVideoModule* module = entry(kVideoBackendVersion, &kHost)) {
            s.Module = module;
            return;
        }
        if (broken.isEmpty()) broken = QStringLiteral("%1: the module belongs to another version of Lumenor").arg(path);
    }
    QString why = !broken.isEmpty() ? broken : notFound;
    if (why.isEmpty()) why = QStringLiteral(LUMENOR_VIDEO_MODULE_FILE ": no folder to look in");
    s.Error = QStringLiteral("Video support is not installed (%1)").arg(why);
}

} // namespace

QStringList VideoModuleSearchPath() {
    QStringList dirs;
    const QString env = qEnvironmentVariable("LUMENOR_MODULE_DIR");
    if (!env.isEmpty()) dirs << env;
    if (qEnvironmentVariable("LUMENOR_MODULE_NO_FALLBACK") == QLatin1String("1")) return dirs;
    const QString exeDir = ExecutableDir();
    if (!exeDir.isEmpty()) {
        dirs << exeDir;
#ifdef LUMENOR_MODULE_REL_DIR
        // An installed program: bin/ and the library folder share the prefix, wherever it was moved to.
        if (QDir::isRelativePath(QStringLiteral(LUMENOR_MODULE_REL_DIR)))
            dirs << QDir::cleanPath(exeDir + QStringLiteral("/../" LUMENOR_MODULE_REL_DIR));
#endif
    }
#ifdef LUMENOR_BUILD_DIR
    // Only for the programs of the build folder (tests and benches live in folders below it): an installed
    // program never loads code from wherever it was built.
    const QString buildDir = QFileInfo(QStringLiteral(LUMENOR_BUILD_DIR)).canonicalFilePath();
    if (!buildDir.isEmpty() && (exeDir == buildDir || exeDir.startsWith(buildDir + QLatin1Char('/')))) dirs << buildDir;
#endif
#ifdef LUMENOR_MODULE_INSTALL_DIR
    dirs << QStringLiteral(LUMENOR_MODULE_INSTALL_DIR);
#endif
    dirs.removeDuplicates();
    return dirs;
}

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
