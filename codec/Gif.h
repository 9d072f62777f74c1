// CompuServe GIF (87a, 89a) on giflib: every frame composed on the logical screen with its disposal
// method and transparency, per-frame delays and the loop count, so that the picture can be animated.
// Writes one frame (the current one), reduced to 256 colours when needed.
#pragma once

#include "codec/DibGraphic.h"

#include <vector>

// Disposal of a frame before the next one is drawn (the values of the graphic control extension).
enum class TGifDisposal : quint8 { Unspecified = 0, None = 1, Background = 2, Previous = 3 };

struct TGifFrame {
    QImage Image;          // the whole logical screen after this frame was drawn (ARGB32)
    QRect Bounds;          // the frame's own rectangle as stored (may reach beyond the screen)
    int DelayMs = 0;       // delay of the graphic control extension, in milliseconds
    TGifDisposal Disposal = TGifDisposal::Unspecified;
    int TransparentIndex = -1;
    bool Interlaced = false;
};

class TGIFImage : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TGIFImage)
public:
    // The MIME type put on the clipboard and the name of the clipboard format.
    static QString ClipboardMimeType() { return QStringLiteral("image/gif"); }
    static QString ClipboardFormatName() { return QStringLiteral("GIF Image"); }

    void ReadPage(QIODevice& stream, int page) override;
    // Writes the current frame.
    void SaveToStream(QIODevice& stream) const override;

    // Frames are 1-based. SelectFrame raises EInvalidGraphicOperation for a frame that does not exist.
    int FrameCount() const override;
    int CurrentFrame() const override;
    void SelectFrame(int frame) override;
    const QImage& FrameImage(int frame) const;
    int FrameDelay(int frame) const;
    const TGifFrame& Frame(int frame) const;
    // NETSCAPE2.0 repetitions after the first play: 0 repeats for ever, n > 0 plays n + 1 times; -1 when
    // the file has no loop extension (played once).
    int LoopCount() const { return FLoopCount; }
    // True when any frame has a transparent colour.
    bool HasTransparentFrame() const;

    void Assign(const TGraphic& source) override;
    void CopyInto(TGraphic& target) const override;
    void LoadFromClipboardData(const QMimeData& data) override;
    void SaveToClipboardData(QMimeData& data) const override;

    // The reduction of a true-colour picture to at most maxColours colours used by the writer; pixels
    // whose alpha is below 128 do not take part. Kept in one place so another reduction can replace it.
    static QImage ReduceColours(const QImage& image, int maxColours);

private:
    bool FramesValid() const;
    void ResetFrames();

    std::vector<TGifFrame> FFrames;
    int FCurrent = 0; // 0-based
    int FLoopCount = -1;
};
