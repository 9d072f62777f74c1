// Rasters whose frames follow each other at their own delays (animated GIF, animated WebP): the player
// they share. The format keeps its frames and shows one when asked (SelectFrame); the player steps
// through them on a timer, as many times as the loop count says.
#pragma once

#include "codec/DibGraphic.h"

#include <memory>

class QTimer;

class TFramePlayer : public TDibGraphic {
public:
    TFramePlayer();
    ~TFramePlayer() override;

    // Milliseconds the frame (1-based) is shown as stored; 0 for a still picture.
    virtual int FrameDelay(int frame) const = 0;
    // Repetitions after the first play: 0 repeats for ever, n > 0 plays n + 1 times; -1 plays once.
    virtual int LoopCount() const = 0;

    // Frames follow each other at their delays on a timer of the thread that plays, as many times as
    // the loop count says; then the last frame stays and Playing turns false. A delay of 10 ms or less
    // plays at 100 ms, as browsers do. Each step raises OnFrame with PendingFrame set to the frame about
    // to be shown (a handler may change it: a jump), shows it (OnChange), then raises OnAfterPaint (a
    // handler may pause). Playing again after the end starts a new round of loops.
    bool IsAnimation() const override { return FrameCount() > 1; }
    void Play() override;
    void Pause() override;
    bool Playing() const override { return FPlaying; }
    // One step of the player, as the timer takes it (tests and a paused jump call it directly).
    void Tick();
    // Milliseconds the frame shown stays before the next step.
    int Interval() const { return PlayDelayMs(FrameDelay(CurrentFrame())); }
    static int PlayDelayMs(int delayMs) { return delayMs <= 10 ? 100 : delayMs; }
    // The frame (1-based) the current step is about to show; out-of-range values are ignored.
    int PendingFrame() const { return FPending + 1; }
    void SetPendingFrame(int frame);
    TNotifyEvent OnFrame;
    TNotifyEvent OnAfterPaint;

protected:
    // A new picture was loaded: the player stops and forgets the loops played.
    void ResetPlayer();

private:
    int FPassesDone = 0; // passes completed over all frames
    bool FPlaying = false;
    bool FFinished = false;
    int FPending = 0; // 0-based
    std::unique_ptr<QTimer> FTimer; // last: destroyed first
};
