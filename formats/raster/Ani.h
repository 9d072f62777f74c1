// Animated pointers (ANI): a RIFF file of form "ACON" holding a header, optional display rates and
// sequence, name and artist texts, and one icon or cursor resource per frame. The file's bytes are
// kept; one frame is decoded at a time, and a timer can step through the frames.
#pragma once

#include "codec/Graphic.h"

#include <QImage>
#include <QVector>

#include <memory>

class QTimer;

class TAniGraphic : public TGraphic {
    DECLARE_GRAPHIC_CLASS(TAniGraphic)
public:
    // The "anih" chunk: nine 32-bit little-endian values.
    struct THeader {
        quint32 HeaderSize = 0;
        quint32 Frames = 0;
        quint32 Steps = 0;
        quint32 Width = 0;
        quint32 Height = 0;
        quint32 BitCount = 0;
        quint32 Planes = 0;
        quint32 DisplayRate = 0; // default display time of a frame, in jiffies (1/60 s)
        quint32 Flags = 0;
    };

    TAniGraphic();
    ~TAniGraphic() override;

    // Reads the whole rest of the stream and shows frame 0. Raises EInvalidGraphic
    // "Animated icon image is not valid" for a bad RIFF/ACON tag, a rate or sequence chunk whose length
    // does not match the step count, or a frame chunk that is not "icon"; EInvalidGraphic also when the
    // header's size is beyond the pixel limit.
    void LoadFromStream(QIODevice& stream) override;
    // The header's size and the frames found, as loading finds them (and with its errors).
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    // Writes the bytes read, unchanged.
    void SaveToStream(QIODevice& stream) const override;
    // The frame shown, at its own size at the top-left of rect (not stretched), through its mask.
    void DrawTo(QPainter& canvas, const QRect& rect) const override;
    // The frame shown, stretched over the whole image (its own size: as DrawTo draws it).
    QImage ToImage(QSize size = QSize(), TColor background = 0xFFFFFF) const override;
    // The frame shown, with its transparency.
    QImage ToBitmap() const override { return FrameBitmap(); }
    bool IsEmpty() const override { return FFrameCount == 0; }
    int Width() const override { return int(FHeader.Width); }
    int Height() const override { return int(FHeader.Height); }
    void SetWidth(int) override;
    void SetHeight(int) override;
    void Assign(const TGraphic& source) override;
    void CopyInto(TGraphic& target) const override;
    void LoadFromClipboardData(const QMimeData& data) override;
    void SaveToClipboardData(QMimeData& data) const override;

    // Frames in the graphic contract's terms: 1-based; CurrentFrame is 0 while no frame is shown.
    int FrameCount() const override { return FFrameCount; }
    int CurrentFrame() const override { return FCurrent + 1; }
    void SelectFrame(int frame) override;

    // The animation operations, 0-based: the index shown (-1 when none) and showing a frame. Showing an
    // index outside 0 .. FrameCount - 1, or the one already shown, does nothing.
    int FrameIndex() const { return FCurrent; }
    void ShowFrame(int index);
    // Whether the timer runs; the timer is made on first use, in the thread that starts it.
    bool Animating() const;
    void SetAnimating(bool value);
    bool IsAnimation() const override { return FFrameCount > 0; }
    void Play() override { SetAnimating(true); }
    void Pause() override { SetAnimating(false); }
    bool Playing() const override { return FAnimating; }
    // One step of the animation (the timer's tick): the next frame in file order, then the interval of
    // the frame now shown. Restarts the timer when it was running.
    void Tick();
    // The timer's interval in milliseconds (100 until a tick sets it).
    int Interval() const { return FInterval; }

    const THeader& Header() const { return FHeader; }
    const QString& Artist() const { return FArtist; }
    const QString& Name() const { return FName; }
    const QVector<quint32>& Rates() const { return FRates; }
    const QVector<quint32>& Sequence() const { return FSequence; }
    // The frame shown as decoded (32-bit with alpha); null when none is shown or it cannot be decoded.
    const QImage& Frame() const { return FFrame; }
    // The frame drawn at (0, 0) on a transparent picture of the graphic's size.
    QImage FrameBitmap() const;
    // Empties the graphic (stops nothing: the timer steps through no frames).
    void Clear();

private:
    void Parse();

    QString FArtist;
    QString FName;
    int FFrameCount = 0;
    THeader FHeader;
    QImage FFrame;
    QByteArray FData;
    QVector<quint32> FRates;
    QVector<quint32> FSequence;
    QVector<qint64> FFramePos; // offset in FData of the size field of each frame's "icon" chunk
    int FCurrent = -1;
    int FInterval = 100;
    bool FAnimating = false;
    std::unique_ptr<QTimer> FTimer; // last: destroyed first
};
