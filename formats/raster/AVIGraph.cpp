#include "formats/raster/AVIGraph.h"

#include "codec/Limits.h"
#include "platform/VideoBackend.h"
#include "platform/VideoFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cstdlib>

DEFINE_GRAPHIC_CLASS(TAVIGraphic)

TAVIGraphic::TAVIGraphic() : FVideo(std::make_unique<TVideoFile>()) {}

TAVIGraphic::~TAVIGraphic() {
    Pause();
    FTimer.reset();
    Close();
}

int TAVIGraphic::IntervalOf(qint64 scale, qint64 rate) {
    if (scale <= 0) return 0;
    qint64 interval;
    if (rate <= 0)
        interval = scale / 10;
    else if (scale > (LLONG_MAX - rate / 2) / 1000)
        interval = INT_MAX;
    else
        interval = (scale * 1000 + rate / 2) / rate;
    // Faster rates would keep the timer firing without a pause; no display shows them anyway.
    return int(std::clamp<qint64>(interval, kMinFrameInterval, INT_MAX));
}

void TAVIGraphic::LoadFromFileName(const QString& fileName) {
    Close();
    if (fileName.isEmpty()) throw EInvalidGraphic(QStringLiteral("Empty image file name."));
    auto fail = [this](const QString& message) {
        FVideo->Close();
        throw EInvalidGraphic(message);
    };
    if (!FVideo->OpenFile(fileName)) {
        // Without the video module no clip opens: say so rather than blame the file.
        const QString missing = VideoSupportError();
        fail(missing.isEmpty() ? QStringLiteral("Cannot open AVI file %1.").arg(fileName) : missing);
    }
    if (!FVideo->OpenVideoStream()) fail(QStringLiteral("Cannot get AVI file stream."));
    // The stream's header gives the frame size: a frame over the limit is refused before a decoder is
    // opened for it (some decoders refuse such a size themselves, which would hide the reason).
    TVideoStreamInfo info;
    const bool known = FVideo->StreamInfo(info);
    if (known) {
        try {
            CheckPictureSize(info.Frame.width(), info.Frame.height());
        } catch (...) {
            FVideo->Close();
            throw;
        }
    }
    if (!FVideo->OpenFrameReader()) fail(QStringLiteral("Cannot open AVI frame."));
    if (!known) fail(QStringLiteral("Cannot get AVI stream info"));
    FFrameCount = int(std::min<qint64>(info.Length, INT_MAX));
    FFrameWidth = info.Frame.width();
    FFrameHeight = info.Frame.height();
    FFrameInterval = IntervalOf(info.Scale, info.Rate);
    FIndex = info.Start >= 0 && info.Start < FFrameCount ? int(info.Start) : 0;
    if (FFrameInterval != 0) FTimerInterval = FFrameInterval;
    FLoaded = true;
    NotifyChanged();
}

namespace {

constexpr quint32 Tag(const char (&s)[5]) {
    return quint32(uchar(s[0])) | (quint32(uchar(s[1])) << 8) | (quint32(uchar(s[2])) << 16) | (quint32(uchar(s[3])) << 24);
}

quint32 U32At(const QByteArray& b, int at) {
    return quint32(uchar(b[at])) | (quint32(uchar(b[at + 1])) << 8) | (quint32(uchar(b[at + 2])) << 16) |
           (quint32(uchar(b[at + 3])) << 24);
}

// Compressions the video module decodes in every build it is made with (a header cannot tell whether
// another one has a decoder).
bool KnownCompression(quint32 compression) {
    static const quint32 known[] = {0, 1, 2, 3, Tag("DIB "), Tag("RGB "), Tag("RAW "), Tag("MJPG"), Tag("mjpg"),
                                    Tag("FFV1"), Tag("XVID"), Tag("xvid"), Tag("DIVX"), Tag("divx"), Tag("DX50"),
                                    Tag("FMP4"), Tag("H264"), Tag("h264"), Tag("X264"), Tag("x264"), Tag("avc1"),
                                    Tag("MP42"), Tag("MP43"), Tag("MSVC"), Tag("CRAM"), Tag("cvid"), Tag("HFYU"),
                                    Tag("FFVH"), Tag("UYVY"), Tag("YUY2"), Tag("I420"), Tag("YV12"), Tag("mrle")};
    return std::find(std::begin(known), std::end(known), compression) != std::end(known);
}

} // namespace

bool TAVIGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    // A video is loaded by file name: the header is read from the file's start, and its errors name it.
    auto* file = qobject_cast<QFile*>(&stream);
    if (!file || file->fileName().isEmpty() || stream.isSequential() || !stream.seek(0)) return false;
    const QString fileName = file->fileName();
    const qint64 fileSize = stream.size();
    const QByteArray riff = stream.read(12);
    // The RIFF forms the demuxer takes; the plain one is the one read here.
    static const char* const forms[] = {"RIFFAVI ", "RIFFAVIX", "RIFFAVI\x19", "ON2 ON2f", "RIFFAMV "};
    if (riff.size() < 12 || std::none_of(std::begin(forms), std::end(forms), [&](const char* f) { return riff.left(4) + riff.mid(8, 4) == f; }))
        throw EInvalidGraphic(QStringLiteral("Cannot open AVI file %1.").arg(fileName));
    if (riff.mid(8, 4) != "AVI ") return false;

    // The header chunks are walked in file order, lists entered, up to the frames' list ("movi"), as
    // the demuxer walks them: each "strh" opens a stream, the "strf" after it gives its format.
    int streams = 0, video = -1;
    quint32 length = 0;
    QByteArray format;
    qint64 pos = 12;
    for (;;) {
        if (pos + 8 > fileSize || !stream.seek(pos)) return false; // the header never ends: only the demuxer knows
        const QByteArray head = stream.read(12);
        if (head.size() < 8) return false;
        const quint32 tag = U32At(head, 0), size = U32At(head, 4);
        if (tag == Tag("LIST") || tag == Tag("RIFF")) {
            if (head.size() < 12) return false;
            if (U32At(head, 8) == Tag("movi")) break;
            pos += 12; // into the list
            continue;
        }
        if (pos + 8 + qint64(size) > fileSize || !stream.seek(pos + 8)) return false;
        if (tag == Tag("strh")) {
            const QByteArray strh = stream.read(std::min<qint64>(size, 36));
            if (strh.size() < 36) return false;
            const quint32 type = U32At(strh, 0);
            if (type == Tag("iavs") || type == Tag("ivas")) return false; // DV streams are demuxed apart
            if (type == Tag("vids") && video < 0) {
                video = streams;
                length = U32At(strh, 32);
            }
            ++streams;
        } else if (tag == Tag("strf") && video >= 0 && video == streams - 1 && format.isEmpty()) {
            format = stream.read(std::min<qint64>(size, 20));
        }
        pos += 8 + qint64(size) + (size & 1);
    }
    if (video < 0) throw EInvalidGraphic(QStringLiteral("Cannot get AVI file stream."));
    if (format.size() < 20) return false;
    const qint64 width = qint32(U32At(format, 4)), height = std::abs(qint64(qint32(U32At(format, 8))));
    // A stream without a frame count is timed by its index; an unknown compression may have no decoder.
    if (width <= 0 || height <= 0 || length == 0 || !KnownCompression(U32At(format, 16))) return false;
    CheckPictureSize(width, height);
    info.Width = int(width);
    info.Height = int(height);
    info.Frames = int(std::min<qint64>(length, TVideoFile::kMaxFrames));
    return true;
}

void TAVIGraphic::LoadFromStream(QIODevice&) {
    throw EInvalidGraphicOperation(QStringLiteral("The %1 format cannot be loaded from a stream").arg(ClassName()));
}

QImage TAVIGraphic::FrameImage() const { return FrameImage(FIndex); }

QImage TAVIGraphic::FrameImage(int index) const {
    if (!FLoaded || index < 0 || index >= FFrameCount) return QImage();
    return FVideo->Frame(index);
}

void TAVIGraphic::DrawTo(QPainter& canvas, const QRect& rect) const {
    const QImage frame = FrameImage();
    if (frame.isNull()) return; // not loaded, or a frame that cannot be decoded: nothing drawn
    canvas.save();
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, true);
    canvas.drawImage(rect, frame);
    canvas.restore();
}

void TAVIGraphic::SelectFrame(int frame) {
    if (frame < 1 || frame > FFrameCount)
        throw EInvalidGraphicOperation(QStringLiteral("Frame %1 does not exist (the picture has %2)").arg(frame).arg(FFrameCount));
    SetIndex(frame - 1);
}

void TAVIGraphic::SetIndex(int value) {
    if (value == FIndex) return;
    if (FLoaded) value = std::clamp(value, 0, std::max(FFrameCount - 1, 0));
    FIndex = value;
    NotifyChanged();
}

void TAVIGraphic::Close() {
    if (!FLoaded) return;
    if (FAnimated) Pause();
    FVideo->Close();
    FLoaded = false;
    FFrameCount = 0;
}

void TAVIGraphic::StartTimer(int interval) {
    if (!FTimer) {
        FTimer = std::make_unique<QTimer>();
        QObject::connect(FTimer.get(), &QTimer::timeout, [this] { Tick(); });
    }
    FTimer->start(interval);
}

void TAVIGraphic::Play() {
    Pause();
    if (!FLoaded) return;
    StartTimer(FTimerInterval);
    FAnimated = true;
}

void TAVIGraphic::Pause() {
    if (FTimer) FTimer->stop();
    FAnimated = false;
}

void TAVIGraphic::Tick() {
    QElapsedTimer clock;
    clock.start();
    if (FTimer) FTimer->stop();
    if (FFrameCount > 0) SetIndex(int((qint64(FIndex) + 1) % FFrameCount)); // repaints
    const qint64 spent = clock.elapsed();
    if (spent < FFrameInterval)
        FTimerInterval = int(FFrameInterval - spent);
    else if (FFrameInterval != 0)
        FTimerInterval = FFrameInterval;
    if (FAnimated) StartTimer(FTimerInterval);
}
