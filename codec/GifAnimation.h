// Animated GIF writing. Pictures added one by one become the frames of a logical screen the size of the
// first one. Each is reduced to a palette by the colour reduction and dither of the GIF save options; the
// first frame carries the looping extension (repeat for ever), every frame a graphic control extension
// with its delay and, when the frame is transparent, the transparent colour: the colour of the frame's
// bottom-left pixel, which then shows the frame before wherever that one has the same colour.
//
// The optimiser crops each frame to the part that changes the screen and merges the pixels of a
// transparent frame that leave the screen unchanged into its transparent colour. The colour maps can
// then be cut to the entries used and sorted by use; when the colours of all frames fit in 256 they
// become one global map.
#pragma once

#include "codec/Gif.h"

#include <QRect>
#include <QVector>

#include <vector>

class TGifAnimation {
public:
    // One frame as it will be written: its rectangle on the screen, its pixels (Format_Indexed8 of the
    // rectangle's size) and colours, the transparent index or -1, the delay in hundredths of a second.
    struct TFrame {
        QRect Rect;
        QImage Pixels;
        int Transparent = -1;
        int Delay = 0;
    };

    TGifAnimation();
    ~TGifAnimation();

    // The keys of TGifSaveOptions, for the frames added afterwards.
    bool SetSaveOption(const QString& key, const QString& value) { return FOptions.Set(key, value); }
    TGifSaveOptions& Options() { return FOptions; }
    // The optimiser's crop and merge, applied to the frames added afterwards.
    void SetOptimize(bool crop, bool merge);

    // Adds picture as the next frame, drawn at the screen's top-left corner (alpha is ignored; parts
    // beyond the screen are cut, parts of the screen it does not cover keep the frame before). The first
    // picture gives the screen its size and is never transparent. delay is in hundredths of a second.
    // Raises EInvalidGraphicOperation for an empty picture, a screen beyond 65535 x 65535 pixels, or
    // when the frames kept would exceed the pixel limit of pictures (codec/Limits).
    void AddFrame(const QImage& picture, int delay, bool transparent);
    // Cuts every frame's colour map to the entries it uses, sorted by use, and makes one global map of
    // them when all frames' colours (and one transparent entry, when a frame needs it) fit in 256.
    void OptimizeColorMaps();

    int FrameCount() const { return int(FFrames.size()); }
    const TFrame& Frame(int index) const { return FFrames[size_t(index)]; }
    QSize ScreenSize() const { return FScreen.size(); }
    // What the screen shows after the last frame.
    const QImage& Screen() const { return FScreen; }
    // The colours of the global map: those of the first frame unless OptimizeColorMaps made another.
    QVector<QRgb> GlobalColorTable() const;

    // Raises EInvalidGraphicOperation when no frame was added.
    void SaveToStream(QIODevice& stream) const;
    // Through a temporary file that replaces the target only on success.
    void SaveToFileName(const QString& fileName) const;

private:
    TGifSaveOptions FOptions;
    bool FCrop = false;
    bool FMerge = false;
    std::vector<TFrame> FFrames;
    QImage FScreen; // RGB32
    QVector<QRgb> FGlobal;
    qint64 FStoredPixels = 0;
};
