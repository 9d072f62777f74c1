#include "app/SlideShow.h"

#include "app/Browse.h"
#include "app/FileList.h"
#include "app/Main.h"

#include <QAction>
#include <QDateTime>
#include <QGuiApplication>
#include <QTimer>

TSlideShowController::TSlideShowController(TMainForm& form)
    : QObject(&form), FForm(form), FSchedule([this](int ms, std::function<void()> task) {
          QTimer::singleShot(ms, Qt::PreciseTimer, this, std::move(task));
      }) {
    form.Action("ToolSlideAction")->setCheckable(true);
    form.Connect("ToolSlideAction", [this] { Toggle(); });
    connect(&form.FileList(), &TFileList::ListChanged, this, &TSlideShowController::UpdateActions);
    connect(&form, &TMainForm::Closing, this, &TSlideShowController::Stop);
    UpdateActions();
}

bool TSlideShowController::Running() const {
    return FForm.Action("ToolSlideAction")->isChecked();
}

void TSlideShowController::UpdateActions() {
    // A show that runs can always be stopped, even when the list shrank under it.
    FForm.Enable(FForm.Action("ToolSlideAction"), FForm.FileList().Count() > 1 || Running());
}

void TSlideShowController::Seed(quint64 seed) {
    FEffectRandom.Seed(seed);
    FRandom.seed(quint32(seed ^ (seed >> 32)));
}

void TSlideShowController::Toggle() {
    // The action has toggled its check already: unchecked ends a running show.
    FEffectsOn = false;
    if (!Running()) {
        Stop();
        return;
    }
    ++FRun;
    FCandidates = EnabledEffects(FForm.Settings().Effects);
    FEffectsOn = !FCandidates.empty();
    Seed(quint64(QDateTime::currentMSecsSinceEpoch()));
    FCount = 0;
    FEffectIndex = -1;
    FInTransition = false;
    UpdateActions();
    Schedule(0, &TSlideShowController::NextSlide);
}

void TSlideShowController::Stop() {
    const bool wasRunning = Running() || FInTransition;
    ++FRun; // pending steps of this run do nothing
    if (FInTransition) EndTransition(!FForm.InterruptFlag());
    FForm.SetSuppressPaint(false);
    FForm.Action("ToolSlideAction")->setChecked(false);
    FTransition = QImage();
    UpdateActions();
    if (wasRunning) FForm.View()->update();
}

void TSlideShowController::Schedule(int ms, void (TSlideShowController::*step)()) {
    const quint64 run = FRun;
    FSchedule(ms, [this, run, step] {
        if (run == FRun) (this->*step)();
    });
}

void TSlideShowController::NextSlide() {
    if (!Running()) return;
    const int interval = std::max(0, FForm.Settings().Interval) * 1000;
    // Holding the left button pauses the advance.
    if (QGuiApplication::mouseButtons() & Qt::LeftButton) {
        Schedule(std::max(interval, 100), &TSlideShowController::NextSlide);
        return;
    }
    FEffectIndex = -1;
    if (FEffectsOn) {
        FEffectIndex = FCandidates[size_t(FEffectRandom.Next(int(FCandidates.size())))];
        FForm.SetSuppressPaint(true); // the new picture is not painted before its transition
    }
    TFileList& list = FForm.FileList();
    const quint64 run = FRun;
    switch (FForm.Settings().SlideType) {
    case 1:
        FForm.Browse().BrowsePrevious();
        break;
    case 2:
        if (list.Count() > 0 && !FForm.Loading()) {
            list.SetItemIndex(FRandom.bounded(list.Count()));
            FForm.OpenPicture(list.FileName());
        }
        break;
    default:
        FForm.Browse().BrowseNext();
        break;
    }
    FForm.SetSuppressPaint(false);
    if (run != FRun || !Running()) return; // stopped while the picture loaded (an error box was up)
    // A slide that failed to open, or that moves by itself, comes without a transition.
    if (FEffectsOn && FForm.ViewBitmapValid() && FForm.PictureKind() <= TPictureKind::pkVector) {
        FForm.SetInterruptFlag(false);
        QImage& view = FForm.MutableViewBitmap();
        FTransition = view.convertToFormat(QImage::Format_RGB32);
        view = QImage(FTransition.size(), QImage::Format_RGB32);
        view.fill(ToQColor(FForm.ViewBrushColor()));
        FProgress = 0;
        FInTransition = true;
        TransitionStep();
        return;
    }
    FEffectIndex = -1;
    FForm.View()->update();
    SlideDone();
}

void TSlideShowController::TransitionStep() {
    if (!FInTransition) return;
    if (FForm.InterruptFlag()) { // a command changed the picture: its own drawing stands
        EndTransition(false);
        SlideDone();
        return;
    }
    TEffectView where;
    where.ViewRect = QRect(QPoint(0, 0), FForm.View()->size());
    where.OffsetX = FForm.OffsetX();
    where.OffsetY = FForm.OffsetY();
    QWidget* view = FForm.View();
    where.Invalidate = [view](const QRect& r) { view->update(r); };
    DrawEffect(where, FEffectIndex + 1, FTransition, FForm.MutableViewBitmap(), FProgress, 4, FEffectRandom);
    FProgress += 4;
    if (FProgress > 100) {
        EndTransition(false);
        SlideDone();
        return;
    }
    Schedule(kTransitionStepMs, &TSlideShowController::TransitionStep);
}

void TSlideShowController::EndTransition(bool showWhole) {
    if (showWhole && !FTransition.isNull()) FForm.MutableViewBitmap() = FTransition;
    FInTransition = false;
    FTransition = QImage();
    FForm.View()->update();
}

void TSlideShowController::SlideDone() {
    if (!Running()) return;
    ++FCount;
    // Without "Repeat" the show ends after one pass through the list (with or without transitions).
    if (!FForm.Settings().Repeat && FCount >= FForm.FileList().Count()) {
        Stop();
        return;
    }
    Schedule(std::max(0, FForm.Settings().Interval) * 1000, &TSlideShowController::NextSlide);
}
