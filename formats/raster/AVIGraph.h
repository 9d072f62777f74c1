// AVI video shown as a picture: the graphic's content is one frame of the file's first video stream, the
// one given by Index. A timer can step Index at the video's frame rate, which plays the video silently.
// Frames are read through platform/VideoFile; the graphic loads by file name only.
#pragma once

#include "codec/Graphic.h"

#include <memory>

class QTimer;
class TVideoFile;

class TAVIGraphic : public TGraphic {
    DECLARE_GRAPHIC_CLASS(TAVIGraphic)
public:
    TAVIGraphic();
    ~TAVIGraphic() override;

    // Opens the file and shows its first frame. Raises EInvalidGraphic "Empty image file name.",
    // "Cannot open AVI file <name>.", "Cannot get AVI file stream.", "Cannot open AVI frame." or
    // "Cannot get AVI stream info" (and the pixel-limit error for a frame size beyond it); after an
    // error nothing stays open and the graphic is empty.
    void LoadFromFileName(const QString& fileName) override;
    // The first video stream's frame size and count from the file's RIFF headers (a QFile's; without
    // the video module): "Cannot open AVI file <name>." for a file that is no RIFF video at all and
    // "Cannot get AVI file stream." for one without a video stream, as loading with the module says.
    // False where only the demuxer can tell (no frame count, a compression it may lack, odd headers).
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    // Refuses: a video is read from its file by name.
    void LoadFromStream(QIODevice& stream) override;
    // Frame Index stretched into rect; nothing when not loaded or when the frame cannot be decoded.
    void DrawTo(QPainter& canvas, const QRect& rect) const override;
    bool IsEmpty() const override { return !FLoaded; }
    int Width() const override { return FLoaded ? FFrameWidth : 0; }
    int Height() const override { return FLoaded ? FFrameHeight : 0; }

    // Frames in the graphic contract's terms: 1-based (frame = Index + 1).
    int FrameCount() const override { return FFrameCount; }
    int CurrentFrame() const override { return FIndex + 1; }
    void SelectFrame(int frame) override;

    // Releases the open file (stopping the timer first).
    virtual void Close();

    // The current frame, 0-based. The setter does nothing for the current value; when loaded it clamps
    // to 0 .. FrameCount - 1; then it stores the value and raises OnChange.
    int Index() const { return FIndex; }
    void SetIndex(int value);
    // Starts the timer when a video is open (stopping it first); Pause stops it and keeps the frame.
    void Play() override;
    void Pause() override;
    bool Animated() const { return FAnimated; }
    bool Playing() const override { return FAnimated; }
    bool IsAnimation() const override { return FLoaded; }
    // The frame shown at its own size.
    QImage ToBitmap() const override { return FrameImage(); }
    // One timer step: the next frame (the last one wraps to 0), then the wait before the next step is
    // the frame interval less the time this step took. Restarts the timer only while Animated.
    void Tick();
    // Milliseconds per frame of the open video (0 when none), and the timer's current interval.
    int FrameInterval() const { return FFrameInterval; }
    int TimerInterval() const { return FTimerInterval; }
    // The frame Index as decoded (32-bit), or a null picture when not loaded or not decodable.
    QImage FrameImage() const;
    // Frame index (0-based) the same way, without changing Index.
    QImage FrameImage(int index) const;

    // Milliseconds per frame for a stream's time scale and rate: scale * 1000 / rate rounded, or
    // scale / 10 when the rate is 0; kept within kMinFrameInterval .. INT_MAX (0 for a scale of 0).
    static int IntervalOf(qint64 scale, qint64 rate);
    static constexpr int kMinFrameInterval = 10;

private:
    void StartTimer(int interval);

    std::unique_ptr<TVideoFile> FVideo;
    bool FLoaded = false;
    int FFrameCount = 0;
    int FFrameWidth = 0;
    int FFrameHeight = 0;
    int FIndex = 0;
    bool FAnimated = false;
    int FFrameInterval = 0;
    int FTimerInterval = 100;
    std::unique_ptr<QTimer> FTimer; // made on first Play, in the thread that plays
};
