#include "app/PageAnimation.h"

#include "app/Main.h"
#include "codec/FramePlayer.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>

namespace {

const char* const kPlayerActions[] = {"AniPlayAction",     "AniPauseAction", "AniStopAction", "AniFirstAction",
                                      "AniPreviousAction", "AniNextAction",  "AniLastAction"};

} // namespace

TPageAnimationController::TPageAnimationController(TMainForm& form) : QObject(&form), FForm(form) {
    const char* const pages[] = {"ViewPreviousPageAction", "ViewNextPageAction", "ViewFirstPageAction",
                                 "ViewLastPageAction"};
    for (int tag = 0; tag < 4; ++tag)
        form.Connect(pages[tag], [this, tag] { PageCommand(tag); });
    for (int tag = 0; tag < 7; ++tag)
        form.Connect(kPlayerActions[tag], [this, tag] { PlayerCommand(tag); });
    QSlider* slider = form.Menus().FrameSlider;
    slider->setEnabled(true);
    slider->setTickPosition(QSlider::TicksBelow);
    connect(slider, &QSlider::valueChanged, this, [this] { FForm.Run([this] { SliderMoved(); }); });
    // An animation pauses while the window's frame and bars change (full screen) and goes on after.
    connect(&form, &TMainForm::PresentationChanging, this, [this](bool before) {
        TGraphic* g = Animation();
        if (!g) return;
        if (before) {
            FResumeAfterChange = g->Playing();
            g->Pause();
        } else if (FResumeAfterChange) {
            FResumeAfterChange = false;
            g->Play();
        }
        UpdatePlayer();
    });
}

QString TPageAnimationController::FrameLabelText(int position, int maximum) {
    return QStringLiteral("Frame:") + QString::number(position) + QStringLiteral("/") + QString::number(maximum);
}

int TPageAnimationController::TickInterval(int maximum) { return std::max(1, maximum / 20); }

TGraphic* TPageAnimationController::Animation() const {
    TGraphic* g = FForm.Picture().Graphic();
    if (!g || g->IsEmpty() || FForm.PictureKind() < TPictureKind::pkAnimatedGif) return nullptr;
    return g;
}

TFramePlayer* TPageAnimationController::Player() const {
    return FForm.PictureKind() == TPictureKind::pkAnimatedGif ? dynamic_cast<TFramePlayer*>(Animation()) : nullptr;
}

// ---------------------------------------------------------------------------------------------------
// Pages

void TPageAnimationController::PageCommand(int tag) {
    if (!FForm.MultiPage()) return;
    int page = FForm.CurrentPage();
    switch (tag) {
    case 0: --page; break;
    case 1: ++page; break;
    case 2: page = 1; break;
    default: page = FForm.PageCount(); break;
    }
    FForm.ShowPage(std::clamp(page, 1, FForm.PageCount()));
}

// ---------------------------------------------------------------------------------------------------
// The player

void TPageAnimationController::PictureLoaded() {
    FJumpRequest = FPauseRequest = false;
    FResumeAfterChange = false;
    TGraphic* g = Animation();
    if (!g) return;
    if (TFramePlayer* player = Player()) {
        player->OnFrame = [this](TGraphic* sender) { PlayerFrame(static_cast<TFramePlayer*>(sender)); };
        player->OnAfterPaint = [this](TGraphic* sender) { PlayerAfterPaint(static_cast<TFramePlayer*>(sender)); };
    }
    // A moving picture starts by itself.
    if (!g->Playing()) g->Play();
}

void TPageAnimationController::PlayerCommand(int tag) {
    TGraphic* g = Animation();
    if (!g) return;
    QSlider* slider = FForm.Menus().FrameSlider;
    switch (tag) {
    case 0: g->Play(); break;
    case 1: g->Pause(); break;
    case 2:
        g->Pause();
        UpdatePlayer();
        slider->setValue(slider->minimum()); // the first frame shows
        break;
    case 3: slider->setValue(slider->minimum()); break;
    case 4:
        if (slider->value() > slider->minimum()) slider->setValue(slider->value() - 1);
        break;
    case 5:
        if (slider->value() < slider->maximum()) slider->setValue(slider->value() + 1);
        break;
    default: slider->setValue(slider->maximum()); break;
    }
    UpdatePlayer();
}

void TPageAnimationController::SliderMoved() {
    TGraphic* g = Animation();
    if (!g) return;
    const int frame = FForm.Menus().FrameSlider->value();
    if (TFramePlayer* player = Player()) {
        FJumpRequest = true;
        if (!player->Playing()) {
            // Paused: one step is played at once with the slider's frame, then the player pauses again.
            player->Play();
            FPauseRequest = true;
            player->Tick();
        }
    } else if (FForm.PictureKind() == TPictureKind::pkAnimatedCursor) {
        const bool playing = g->Playing();
        g->Pause();
        if (frame >= 1 && frame <= g->FrameCount()) g->SelectFrame(frame);
        if (playing) g->Play();
    } else if (frame >= 1 && frame <= g->FrameCount()) {
        g->SelectFrame(frame);
    }
    UpdateFrameLabel();
    UpdatePlayer();
}

void TPageAnimationController::PlayerFrame(TFramePlayer* player) {
    if (FJumpRequest) {
        player->SetPendingFrame(FForm.Menus().FrameSlider->value());
        FJumpRequest = false;
    } else {
        const QSignalBlocker block(FForm.Menus().FrameSlider);
        FForm.Menus().FrameSlider->setValue(player->PendingFrame());
    }
    UpdateFrameLabel();
}

void TPageAnimationController::PlayerAfterPaint(TFramePlayer* player) {
    if (FPauseRequest) {
        player->Pause();
        FPauseRequest = false;
    }
    UpdatePlayer();
}

void TPageAnimationController::FrameChanged() {
    TGraphic* g = Animation();
    if (!g) return;
    {
        const QSignalBlocker block(FForm.Menus().FrameSlider);
        FForm.Menus().FrameSlider->setValue(g->CurrentFrame());
    }
    UpdateFrameLabel();
    UpdatePlayer(); // a GIF or WebP that played its loops has stopped
}

void TPageAnimationController::UpdateFrameLabel() {
    const QSlider* slider = FForm.Menus().FrameSlider;
    FForm.Menus().FrameLabel->setText(FrameLabelText(slider->value(), slider->maximum()));
    const bool animated = Animation() != nullptr;
    FForm.Enable(FForm.Action("AniPreviousAction"), animated && slider->value() > slider->minimum());
    FForm.Enable(FForm.Action("AniNextAction"), animated && slider->value() < slider->maximum());
}

void TPageAnimationController::UpdatePlayer() {
    TGraphic* g = Animation();
    const bool playing = g && g->Playing();
    FForm.Enable(FForm.Action("AniPlayAction"), g && !playing);
    FForm.Enable(FForm.Action("AniPauseAction"), playing);
    FForm.Enable(FForm.Action("AniStopAction"), playing);
    FForm.Enable(FForm.Action("AniFirstAction"), g != nullptr);
    FForm.Enable(FForm.Action("AniLastAction"), g != nullptr);
}

void TPageAnimationController::UpdateActions(bool hasPicture) {
    const TMainMenus& menus = FForm.Menus();
    const bool animated = hasPicture && Animation() != nullptr;
    menus.AnimateMenu->menuAction()->setVisible(animated);
    menus.FrameLabelAction->setVisible(animated);
    menus.FrameSliderAction->setVisible(animated);
    for (const char* name : kPlayerActions)
        FForm.Action(name)->setVisible(animated);
    if (animated) {
        const int frames = std::max(1, Animation()->FrameCount());
        const QSignalBlocker block(menus.FrameSlider);
        menus.FrameSlider->setMaximum(frames);
        menus.FrameSlider->setTickInterval(TickInterval(frames));
        menus.FrameSlider->setValue(Animation()->CurrentFrame());
    }
    UpdateFrameLabel();
    UpdatePlayer();
}
