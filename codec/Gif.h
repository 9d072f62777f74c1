// CompuServe GIF (87a, 89a) on giflib: every frame composed on the logical screen with its disposal
// method and transparency, per-frame delays and the loop count, so that the picture can be animated.
// Writes one frame (the current one), reduced to 256 colours when needed; animations are written by
// TGifAnimation (codec/GifAnimation).
#pragma once

#include "codec/ColorReduce.h"
#include "codec/FramePlayer.h"

#include <memory>
#include <vector>

// Disposal of a frame before the next one is drawn (the values of the graphic control extension).
enum class TGifDisposal : quint8 { Unspecified = 0, None = 1, Background = 2, Previous = 3 };

struct TGifFrame {
    QRect Bounds;          // the frame's own rectangle as stored (may reach beyond the screen)
    int DelayMs = 0;       // delay of the graphic control extension, in milliseconds
    TGifDisposal Disposal = TGifDisposal::Unspecified;
    int TransparentIndex = -1;
    bool Interlaced = false;
    bool LocalColorTable = false;   // the frame has a colour table of its own
    bool HasGraphicControl = false; // a graphic control extension came before the frame
};

// How GIF writers bring true-colour pictures down to a palette (the GIF save options).
struct TGifSaveOptions {
    TColorReduction Reduction = TColorReduction::rmQuantize;
    TDitherMode Dither = TDitherMode::dmNearest;
    int Bits = 8; // palette size as a bit count, for rmQuantize

    // "compression": 1 or rle (the only method; the data are written with the standard codes every
    // reader takes); "reduction": 1..8 or windows20, halftone, gray4, mono, gray256, netscape, optimal,
    // optimal-windows; "dither": 0..6 or nearest, floyd, stucki, sierra, jajuni, stevenson, burkes;
    // "bits": 1..8. Returns false for another key; raises EInvalidGraphicOperation for a bad value.
    bool Set(const QString& key, const QString& value);
    // The picture as an indexed picture with at most 256 colours and the index of its transparent colour
    // (-1 for none). A palette picture keeps its palette (a fully transparent entry becomes the
    // transparent colour); any other is reduced, pixels whose alpha is below 128 becoming transparent.
    QImage Prepare(const QImage& picture, int* transparent) const;
};

// The pixels of one frame as stored (colour indices of its part inside the screen) and its colours.
struct TGifFrameData;

class TGIFImage : public TFramePlayer {
    DECLARE_GRAPHIC_CLASS(TGIFImage)
public:
    // The MIME type put on the clipboard and the name of the clipboard format.
    static QString ClipboardMimeType() { return QStringLiteral("image/gif"); }
    static QString ClipboardFormatName() { return QStringLiteral("GIF Image"); }

    TGIFImage();
    ~TGIFImage() override;

    void ReadPage(QIODevice& stream, int page) override;
    // The screen size and the frames, by walking the blocks without decoding them; a file that ends
    // early or is not well formed is left to the decoder.
    bool ReadInfo(QIODevice& stream, TGraphicInfo& info) override;
    // Writes the current frame.
    void SaveToStream(QIODevice& stream) const override;
    // The keys of TGifSaveOptions.
    bool SetSaveOption(const QString& key, const QString& value) override;
    const TGifSaveOptions& SaveOptions() const { return FSaveOptions; }

    // Frames are 1-based. SelectFrame raises EInvalidGraphicOperation for a frame that does not exist.
    // Frames are kept as stored and composed when asked for: FrameImage gives the whole logical screen
    // after the frame was drawn (ARGB32); the reference stays valid until the next call. Stepping to the
    // next frame costs one frame's drawing; a jump starts from the nearest kept screen before it.
    int FrameCount() const override;
    int CurrentFrame() const override;
    void SelectFrame(int frame) override;
    const QImage& FrameImage(int frame) const;
    int FrameDelay(int frame) const override;
    const TGifFrame& Frame(int frame) const;
    // The colours of a frame as stored (its own table or the file's global one).
    QVector<QRgb> FrameColorTable(int frame) const;
    // NETSCAPE2.0 repetitions after the first play: 0 repeats for ever, n > 0 plays n + 1 times; -1 when
    // the file has no loop extension (played once).
    int LoopCount() const override { return FLoopCount; }
    // True when any frame has a transparent colour.
    bool HasTransparentFrame() const;

    void Assign(const TGraphic& source) override;
    void CopyInto(TGraphic& target) const override;
    void LoadFromClipboardData(const QMimeData& data) override;
    void SaveToClipboardData(QMimeData& data) const override;

private:
    bool FramesValid() const;
    void ResetFrames();
    // Composes frame `index` (0-based) into the cache.
    void Compose(int index) const;

    std::vector<TGifFrame> FFrames;
    std::vector<std::shared_ptr<const TGifFrameData>> FData;
    // Screens before a frame is drawn, kept every FCheckpointStep frames (element k is before frame
    // k * FCheckpointStep), so that a jump does not start from the first frame.
    std::vector<QImage> FCheckpoints;
    int FCheckpointStep = 1;
    QSize FScreen;
    int FCurrent = 0; // 0-based
    qint64 FCurrentKey = 0;
    int FLoopCount = -1;
    TGifSaveOptions FSaveOptions;
    // The last frame composed: the screen before it was drawn and after.
    mutable int FCacheIndex = -1;
    mutable QImage FCacheBefore, FCacheAfter;
};
