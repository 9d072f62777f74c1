// Pages and moving pictures: the four page commands of multi-page rasters, and the player of animated
// GIFs and WebPs, animated cursors and videos (the frame label and slider on the tool bar, the seven player
// commands, also in the "&Animate Control" submenu), kept in step with the playing animation.
#pragma once

#include <QObject>

class TGraphic;
class TFramePlayer;
class TMainForm;

class TPageAnimationController : public QObject {
    Q_OBJECT
public:
    explicit TPageAnimationController(TMainForm& form);

    // Page commands by tag: 0 previous, 1 next, 2 first, 3 last. The page is clamped to the file's
    // pages; a page that cannot be decoded leaves the page shown and raises.
    void PageCommand(int tag);
    // Player commands by tag: 0 play, 1 pause, 2 stop, 3 first, 4 previous, 5 next, 6 last frame.
    void PlayerCommand(int tag);

    // The window's hooks: after each load (a moving picture starts playing), after each frame the
    // graphic shows, and from UpdateActions (visibility and enabling of the frame panel and player).
    void PictureLoaded();
    void FrameChanged();
    void UpdateActions(bool hasPicture);

    // The slider was moved, by the user or by a command (its value is the frame, 1-based).
    void SliderMoved();
    // The label's text for a slider position and maximum, and the slider's tick interval.
    static QString FrameLabelText(int position, int maximum);
    static int TickInterval(int maximum);

    bool JumpRequest() const { return FJumpRequest; }
    bool PauseRequest() const { return FPauseRequest; }

private:
    // The shown picture when it moves (kinds 2 to 4), else null.
    TGraphic* Animation() const;
    // The shown picture when its frames are stepped by the frame player (kind 2), else null.
    TFramePlayer* Player() const;
    void UpdateFrameLabel();
    void UpdatePlayer();
    void PlayerFrame(TFramePlayer* player);
    void PlayerAfterPaint(TFramePlayer* player);

    TMainForm& FForm;
    bool FJumpRequest = false;  // the slider moved: the player's next frame is the slider's
    bool FPauseRequest = false; // the player was started to show one frame and pauses after it
    bool FResumeAfterChange = false;
};
