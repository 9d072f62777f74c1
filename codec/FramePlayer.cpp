#include "codec/FramePlayer.h"

#include <QTimer>

TFramePlayer::TFramePlayer() = default;
TFramePlayer::~TFramePlayer() = default;

void TFramePlayer::Play() {
    if (FrameCount() <= 1) return;
    if (FFinished) {
        // From the last frame: the step back to the first one begins the new round's first pass.
        FFinished = false;
        FPassesDone = -1;
    }
    FPlaying = true;
    if (!FTimer) {
        FTimer = std::make_unique<QTimer>();
        FTimer->setSingleShot(true);
        FTimer->setTimerType(Qt::PreciseTimer);
        QObject::connect(FTimer.get(), &QTimer::timeout, [this] { Tick(); });
    }
    FTimer->start(Interval());
}

void TFramePlayer::Pause() {
    FPlaying = false;
    if (FTimer) FTimer->stop();
}

void TFramePlayer::ResetPlayer() {
    Pause();
    FFinished = false;
    FPassesDone = 0;
    FPending = 0;
}

void TFramePlayer::SetPendingFrame(int frame) {
    if (frame >= 1 && frame <= FrameCount()) FPending = frame - 1;
}

void TFramePlayer::Tick() {
    if (FTimer) FTimer->stop();
    const int count = FrameCount();
    if (count <= 1) return;
    int next = CurrentFrame(); // the 0-based index of the frame after the one shown
    if (next >= count) {
        next = 0;
        ++FPassesDone;
    }
    FPending = next;
    if (OnFrame) OnFrame(this);
    // 0 repeats for ever; n > 0 plays n + 1 times; -1 plays once.
    const int loops = LoopCount();
    const int passes = loops == 0 ? 0 : loops < 0 ? 1 : loops + 1;
    if (passes > 0 && FPending == count - 1 && FPassesDone + 1 >= passes && FPlaying) {
        FPlaying = false;
        FFinished = true;
    }
    SelectFrame(FPending + 1);
    if (OnAfterPaint) OnAfterPaint(this);
    if (FPlaying && FTimer) FTimer->start(Interval());
}
