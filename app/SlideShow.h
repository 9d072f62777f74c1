// The slide show: steps through the folder's file list at the settings' interval (forward, backward or
// at random) and brings each new picture in with a transition chosen at random from the enabled ones.
// It runs on timers of the window's event loop, so every other command stays usable while it runs; a
// command that changes the picture interrupts the current transition.
#pragma once

#include "tools/Effects.h"

#include <QImage>
#include <QObject>
#include <QRandomGenerator>

#include <functional>
#include <vector>

class TMainForm;

class TSlideShowController : public QObject {
    Q_OBJECT
public:
    // Runs a function after a delay in milliseconds on the event loop; tests give their own clock.
    using TScheduler = std::function<void(int ms, std::function<void()> task)>;
    // The steps of a transition are paced like the display's frames.
    static constexpr int kTransitionStepMs = 16;

    explicit TSlideShowController(TMainForm& form);

    bool Running() const;
    // Ends a running show; a transition in progress ends with the whole new picture shown.
    void Stop();
    void SetScheduler(TScheduler scheduler) { FSchedule = std::move(scheduler); }
    // The transition of the current slide: its identifier, or -1 when the slide came without one.
    int EffectIndex() const { return FEffectIndex; }
    bool InTransition() const { return FInTransition; }
    // Slides shown since the start (counted when a slide is complete).
    int Count() const { return FCount; }
    // The candidate transitions of this run (enabled identifiers, increasing).
    const std::vector<int>& Candidates() const { return FCandidates; }
    // Seeds both random generators (a run seeds them from the clock).
    void Seed(quint64 seed);
    void UpdateActions();

private:
    void Toggle();
    void Schedule(int ms, void (TSlideShowController::*step)());
    void NextSlide();
    void TransitionStep();
    void EndTransition(bool showWhole);
    void SlideDone();

    TMainForm& FForm;
    TScheduler FSchedule;
    std::vector<int> FCandidates;
    TEffectRandom FEffectRandom;
    QRandomGenerator FRandom;
    QImage FTransition; // the new picture as rendered, brought in step by step
    quint64 FRun = 0;   // tasks of an earlier run find another number here and do nothing
    int FEffectIndex = -1;
    int FProgress = 0;
    int FCount = 0;
    bool FEffectsOn = false;
    bool FInTransition = false;
};
