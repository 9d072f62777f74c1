// AutoCAD slides: a vector snapshot of a drawing screen (lines, solid fills and colour changes in screen
// dots), kept as read, drawn stretched into any rectangle and written back unchanged.
#pragma once

#include "codec/Graphic.h"

#include <vector>

class Tslide : public TGraphic {
    DECLARE_GRAPHIC_CLASS(Tslide)
public:
    enum TRecordKind : quint8 { rkVector = 0, rkOffsetVector, rkEndOfFile, rkSolidFill, rkCommonEndpoint, rkNewColour };
    struct TRecord {
        TRecordKind Kind;
        quint8 Size;
        uchar Bytes[8];
    };

    void LoadFromStream(QIODevice& stream) override;
    void SaveToStream(QIODevice& stream) const override;
    void Assign(const TGraphic& source) override;
    void LoadFromClipboardData(const QMimeData& data) override;
    void SaveToClipboardData(QMimeData& data) const override;
    void DrawTo(QPainter& canvas, const QRect& rect) const override;
    bool IsEmpty() const override { return FEmpty; }
    int Width() const override { return FWidth; }
    int Height() const override { return FHeight; }
    void SetWidth(int w) override;
    void SetHeight(int h) override;

    // A filled background for drawing onto bitmaps (set by conversions, cleared afterwards).
    void SetBackground(bool on, TColor colour = 0) {
        FBackground = on;
        FBackgroundColor = colour;
    }
    float Zoom() const { return FZoom; }
    const std::vector<TRecord>& Records() const { return FRecords; }

    // The colour of an AutoCAD colour number (0 is black).
    static TColor ColourOf(int number);

private:
    void ComputeSize();

    bool FBackground = false;
    TColor FBackgroundColor = 0;
    QByteArray FHeader;
    std::vector<TRecord> FRecords;
    bool FEmpty = true;
    int FSlideWidth = 0;
    int FSlideHeight = 0;
    float FZoom = 1.0f;
    int FWidth = 0;
    int FHeight = 0;
};

void RegisterSlideFormat();
