#include "formats/raster/AVIGraph.h"

#include "codec/Limits.h"
#include "platform/VideoBackend.h"
#include "platform/VideoFile.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <climits>

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
    if (!FVideo->OpenFrameReader()) fail(QStringLiteral("Cannot open AVI frame."));
    TVideoStreamInfo info;
    if (!FVideo->StreamInfo(info)) fail(QStringLiteral("Cannot get AVI stream info"));
    try {
        CheckPictureSize(info.Frame.width(), info.Frame.height());
    } catch (...) {
        FVideo->Close();
        throw;
    }
    FFrameCount = int(std::min<qint64>(info.Length, INT_MAX));
    FFrameWidth = info.Frame.width();
    FFrameHeight = info.Frame.height();
    FFrameInterval = IntervalOf(info.Scale, info.Rate);
    FIndex = info.Start >= 0 && info.Start < FFrameCount ? int(info.Start) : 0;
    if (FFrameInterval != 0) FTimerInterval = FFrameInterval;
    FLoaded = true;
    NotifyChanged();
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
