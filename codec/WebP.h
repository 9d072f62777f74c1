// WebP pictures on libwebp: still pictures (lossy, lossless, with alpha) and animations, whose frames
// come composed on the canvas with their delays and loop count and play as animated GIFs do
// (TFramePlayer). An ICC profile
// is honoured (pixels in sRGB). Writes the current frame, lossy with a quality or lossless.
#pragma once

#include "codec/FramePlayer.h"

#include <vector>

class TWebPGraphic : public TFramePlayer {
    DECLARE_GRAPHIC_CLASS(TWebPGraphic)
public:
    // "RIFF" <size> "WEBP".
    static bool AcceptsContent(QIODevice& stream);

    void ReadPage(QIODevice& stream, int page) override;
    // The canvas size and, for an animation, its frame count, from the chunks without decoding.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    void SaveToStream(QIODevice& stream) const override;
    // "quality" 0..100 (75; for lossless the effort of the compression), "lossless" 0/1 (0),
    // "method" 0..6 (4: the speed against size trade-off, 6 the smallest and slowest).
    bool SetSaveOption(const QString& key, const QString& value) override;
    int Quality() const { return FQuality; }
    bool Lossless() const { return FLossless; }

    // Frames are 1-based; a still picture has one. FrameImage is the whole canvas after the frame was
    // drawn (ARGB32). SelectFrame raises EInvalidGraphicOperation for a frame that does not exist.
    int FrameCount() const override;
    int CurrentFrame() const override { return FCurrent + 1; }
    void SelectFrame(int frame) override;
    const QImage& FrameImage(int frame) const;
    // Milliseconds the frame is shown.
    int FrameDelay(int frame) const override;
    // As TGIFImage::LoopCount: repetitions after the first play, 0 for ever, -1 played once.
    int LoopCount() const override { return FLoopCount; }
    bool Animated() const { return FFrames.size() > 1; }
    // The ICC profile the file carries (empty without one).
    const QByteArray& IccProfile() const { return FIcc; }

    void Assign(const TGraphic& source) override;

private:
    struct TFrame {
        QImage Image;
        int DelayMs = 0;
    };
    void ReadAnimation(const QByteArray& data);
    void ReadStill(const QByteArray& data);
    const TFrame& FrameAt(int frame) const;

    std::vector<TFrame> FFrames;
    int FCurrent = 0;
    int FLoopCount = -1;
    QByteArray FIcc;
    int FQuality = 75;
    bool FLossless = false;
    int FMethod = 4;
};
