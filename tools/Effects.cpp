#include "tools/Effects.h"

#include "tools/EffectsInternal.h"

#include <algorithm>

namespace {

const char* const kEffectNames[kEffectCount] = {
    "Expand from right",                                 // 0
    "Expand from left",                                  // 1
    "Slide in from right",                               // 2
    "Slide in from left",                                // 3
    "Reveal from left",                                  // 4
    "Reveal from right",                                 // 5
    "Expand in from right",                              // 6
    "Expand in from left",                               // 7
    "Expand in to middle",                               // 8
    "Expand out from middle",                            // 9
    "Reveal out from middle",                            // 10
    "Reveal in from sides",                              // 11
    "Expand in from sides",                              // 12
    "Unroll from left",                                  // 13
    "Unroll from right",                                 // 14
    "Aggrade from right",                                // 15
    "Aggrade from left",                                 // 16
    "Expand from bottom",                                // 17
    "Expand from top",                                   // 18
    "Slide in from bottom",                              // 19
    "Slide in from top",                                 // 20
    "Reveal from top",                                   // 21
    "Reveal from bottom",                                // 22
    "Expand in from bottom",                             // 23
    "Expand in from top",                                // 24
    "Expand in to middle (horiz)",                       // 25
    "Expand out from middle (horiz)",                    // 26
    "Reveal from middle (horiz)",                        // 27
    "Reveal in from top / bottom",                       // 28
    "Expand in from top / bottom",                       // 29
    "Unroll from top",                                   // 30
    "Unroll from bottom",                                // 31
    "Aggrade from bottom",                               // 32
    "Aggrade from top",                                  // 33
    "Expand from bottom right",                          // 34
    "Expand from top right",                             // 35
    "Expand from top left",                              // 36
    "Expand from bottom left",                           // 37
    "Slide in from bottom right",                        // 38
    "Slide in from top right",                           // 39
    "Slide in from top left",                            // 40
    "Slide in from bottom left",                         // 41
    "Reveal from top left",                              // 42
    "Reveal from bottom left",                           // 43
    "Reveal from bottom right",                          // 44
    "Reveal from top right",                             // 45
    "Appear and Contract to top left",                   // 46
    "Appear and Contract to bottom left",                // 47
    "Appear and Contract to bottom right",               // 48
    "Appear and Contract to top right",                  // 49
    "Appear and Contract to middle",                     // 50
    "Expand out from center",                            // 51
    "Reveal out from center",                            // 52
    "Reveal in to center",                               // 53
    "Quarters Reveal in to middle",                      // 54
    "Quarters Expand to middle",                         // 55
    "Quarters Slide in to middle",                       // 56
    "Curved Reveal from left",                           // 57
    "Curved Reveal from right",                          // 58
    "Bars in from right",                                // 59
    "Bars in from left",                                 // 60
    "Bars left then right",                              // 61
    "Bars right then left",                              // 62
    "Bars from both sides",                              // 63
    "Uneven shred from right",                           // 64
    "Uneven shred from left",                            // 65
    "Uneven shred out from middle (horiz)",              // 66
    "Uneven shred in to middle (horiz)",                 // 67
    "Curved Reveal from top",                            // 68
    "Curved Reveal from bottom",                         // 69
    "Bars from bottom",                                  // 70
    "Bars from top",                                     // 71
    "Bars top then bottom",                              // 72
    "Bars bottom then top",                              // 73
    "Bars from top and bottom",                          // 74
    "Uneven shred from bottom",                          // 75
    "Uneven shred from top",                             // 76
    "Uneven shred from horizon",                         // 77
    "Uneven shred in to horizon",                        // 78
    "Curved reveal from top left",                       // 79
    "Curved reveal from top right",                      // 80
    "Curved reveal from bottom left",                    // 81
    "Curved reveal from bottom right",                   // 82
    "Circular reveal from center",                       // 83
    "Circular reveal to center",                         // 84
    "Criss Cross reveal from bottom right",              // 85
    "Criss Cross reveal from top right",                 // 86
    "Criss Cross reveal from bottom left",               // 87
    "Criss Cross reveal from top left",                  // 88
    "Criss Cross reveal bounce from top left",           // 89
    "Criss Cross reveal bounce from bottom left",        // 90
    "Criss Cross reveal bounce from top right",          // 91
    "Criss Cross reveal bounce from bottom right",       // 92
    "Criss Cross reveal from right top and bottom",      // 93
    "Criss Cross reveal from left top and bottom",       // 94
    "Criss Cross reveal from left right and bottom",     // 95
    "Criss Cross reveal from left right and top",        // 96
    "Criss Cross reveal from top left right and bottom", // 97
    "Criss Cross reveal from bottom left top right",     // 98
    "Uneven shred from bottom and right",                // 99
    "Uneven shred from top and right",                   // 100
    "Uneven shred from bottom and left",                 // 101
    "Uneven shred from top and left",                    // 102
    "Uneven shred from horiz and right",                 // 103
    "Uneven shred from horiz and left",                  // 104
    "Uneven shred from bottom and vert middle",          // 105
    "Uneven shred from top and vert middle",             // 106
    "Uneven shred from center",                          // 107
    "Uneven shred to center",                            // 108
    "Reveal diagonal from top left",                     // 109
    "Reveal diagonal from top right",                    // 110
    "Reveal diagonal from bottom left",                  // 111
    "Reveal diagonal from bottom right",                 // 112
    "Reveal diagonal anticlockwise",                     // 113
    "Reveal diagonal clockwise",                         // 114
    "Reveal clockwise from center",                      // 115
    "Reveal triangular shred",                           // 116
    "Fade",                                              // 117
    "Pivot from top left",                               // 118
    "Pivot from bottom left",                            // 119
    "Pivot from top right",                              // 120
    "Pivot from bottom right",                           // 121
    "Speckle appear from right",                         // 122
    "Speckle appear from left",                          // 123
    "Speckle appear from bottom",                        // 124
    "Speckle appear from top",                           // 125
    "Random squares appear",                             // 126
    "Shutter open from left",                            // 127
    "Shutter open from right",                           // 128
    "Shutter open from top",                             // 129
    "Shutter open from bottom",                          // 130
    "Shutter open horizontally",                         // 131
    "Shutter close horizontally",                        // 132
    "Shutter open vertically",                           // 133
    "Shutter close vertically",                          // 134
    "Lattice",                                           // 135
    "Reveal diagonal block from left",                   // 136
    "Reveal diagonal block from right",                  // 137
};

// Pictures with a longer side would take the effects' geometry (up to three widths and doubled
// coordinates) out of 32-bit range.
constexpr int kMaxSide = 1 << 28;

} // namespace

QString EffectName(int id) {
    if (id < 0 || id >= kEffectCount) return {};
    return QString::fromLatin1(kEffectNames[id]);
}

TEffectKind EffectKind(int id) {
    if (id <= 56) return TEffectKind::Rectangle;
    if (id == 117 || (id >= 118 && id <= 121) || id >= 127) return TEffectKind::Direct;
    return TEffectKind::Region;
}

const std::vector<TEffectCategory>& EffectTree() {
    static const std::vector<TEffectCategory> tree{
        {QStringLiteral("Expand"),
         {0, 1, 6, 7, 8, 9, 12, 17, 18, 23, 24, 25, 26, 29, 34, 35, 36, 37, 51, 55}},
        {QStringLiteral("Slide"), {2, 3, 19, 20, 38, 39, 40, 41, 56, 118, 119, 120, 121}},
        {QStringLiteral("Reveal"),
         {4,   5,   10,  11, 21, 22, 27, 28, 42, 43, 44, 45,  52,  53,  109, 110, 111,
          112, 136, 137, 54, 57, 58, 68, 69, 79, 80, 81, 82,  83,  84,  85,  86,  87,
          88,  89,  90,  91, 92, 93, 94, 95, 96, 97, 98, 113, 114, 115, 116}},
        {QStringLiteral("Unroll"), {13, 14, 30, 31}},
        {QStringLiteral("Aggrade"), {15, 16, 32, 33}},
        {QStringLiteral("Appear and Contract"), {46, 47, 48, 49, 50}},
        {QStringLiteral("Bars & Speckles"), {59, 60, 61, 62, 63, 70, 71, 72, 73, 74, 122, 123, 124, 125}},
        {QStringLiteral("Uneven"),
         {64, 65, 66, 67, 75, 76, 77, 78, 99, 100, 101, 102, 103, 104, 105, 106, 107, 108}},
        {QStringLiteral("Shutter"), {127, 128, 129, 130, 131, 132, 133, 134}},
        {QStringLiteral("Misc"), {117, 126, 135}},
    };
    return tree;
}

bool IsEffectEnabled(const TEffectMasks& masks, int id) {
    if (id < 0 || id >= kEffectCount) return false;
    return (masks[size_t(EffectMaskIndex(id))] & EffectMaskBit(id)) != 0;
}

void SetEffectEnabled(TEffectMasks& masks, int id, bool enabled) {
    if (id < 0 || id >= kEffectCount) return;
    if (enabled)
        masks[size_t(EffectMaskIndex(id))] |= EffectMaskBit(id);
    else
        masks[size_t(EffectMaskIndex(id))] &= ~EffectMaskBit(id);
}

std::vector<int> EnabledEffects(const TEffectMasks& masks) {
    std::vector<int> ids;
    for (int id = 0; id < kEffectCount; ++id)
        if (IsEffectEnabled(masks, id)) ids.push_back(id);
    return ids;
}

// --- Random numbers -----------------------------------------------------------------------------------

quint64 TEffectRandom::NextBits() {
    FState += 0x9E3779B97F4A7C15ull;
    quint64 z = FState;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int TEffectRandom::Next(int n) {
    if (n <= 0) return 0;
    using u128 = unsigned __int128;
    const quint64 range = quint64(n);
    u128 m = u128(NextBits()) * range;
    quint64 low = quint64(m);
    if (low < range) {
        const quint64 threshold = (0 - range) % range; // 2^64 mod range: the draws to reject
        while (low < threshold) {
            m = u128(NextBits()) * range;
            low = quint64(m);
        }
    }
    return int(m >> 64);
}

// --- One step -----------------------------------------------------------------------------------------

TEffectStep::TEffectStep(const TPixelPlane& source, const TPixelPlane& target, int progress, int step,
                         const TEffectView* view, TEffectRandom* random)
    : Source(source), Target(target), W(source.Width), H(source.Height), Progress(progress), Step(step),
      View(view), Random(random) {
    L = std::max(W, H);
    if (H <= W) {
        pW = MulDiv(W, Progress, 100);
        pH = MulDiv(pW, H, W);
    } else {
        pH = MulDiv(H, Progress, 100);
        pW = MulDiv(pH, W, H);
    }
    Band = MulDiv(L, Step, 90);
    hW = W / 2;
    hH = H / 2;
}

void TEffectStep::Invalidate(const TEdgeRect& r) const {
    if (!View || !View->Invalidate || View->ViewRect.isEmpty()) return;
    const TEdgeRect c = r.Intersected(Whole());
    if (c.IsEmpty()) return;
    const QRect& v = View->ViewRect;
    const qint64 left = std::max<qint64>(qint64(c.Left) + View->OffsetX, v.left());
    const qint64 top = std::max<qint64>(qint64(c.Top) + View->OffsetY, v.top());
    const qint64 right = std::min<qint64>(qint64(c.Right) + View->OffsetX, qint64(v.right()) + 1);
    const qint64 bottom = std::min<qint64>(qint64(c.Bottom) + View->OffsetY, qint64(v.bottom()) + 1);
    if (right <= left || bottom <= top) return;
    View->Invalidate(QRect(int(left), int(top), int(right - left), int(bottom - top)));
}

void TEffectStep::CopyAndInvalidate(const TEdgeRect& r) const {
    CopyArea(Source, Target, r);
    Invalidate(r);
}

void DrawEffect(const TEffectView& view, int effectNo, const QImage& source, QImage& target, int progress,
                int step, TEffectRandom& random) {
    if (effectNo < 0 || effectNo > kEffectCount) return;
    if (source.isNull() || target.isNull() || source.size() != target.size()) return;
    if (source.width() > kMaxSide || source.height() > kMaxSide) return;
    if (target.format() != QImage::Format_RGB888 && target.format() != QImage::Format_RGB32)
        target = target.convertToFormat(QImage::Format_RGB888);
    QImage converted;
    const QImage* from = &source;
    if (source.format() != target.format()) {
        converted = source.convertToFormat(target.format());
        from = &converted;
    }
    progress = std::clamp(progress, 0, 100);
    step = std::clamp(step, 0, 100);
    const TEffectStep s(ReadPlane(*from), WritePlane(target), progress, step, &view, &random);
    const TEdgeRect whole = s.Whole();

    if (effectNo == 0) { // the plain cut
        CopyArea(s.Source, s.Target, whole);
        s.Invalidate(whole);
        return;
    }
    const int id = effectNo - 1;
    TEdgeRect d = whole, r = whole;
    switch (EffectKind(id)) {
    case TEffectKind::Rectangle:
        RectangleEffect(id, s, d, r);
        if (progress == 100)
            CopyArea(s.Source, s.Target, whole);
        else if (progress > 0 && !d.IsEmpty())
            StretchCopy(s.Source, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top, s.Target, d.Left, d.Top,
                        d.Right - d.Left, d.Bottom - d.Top);
        break;
    case TEffectKind::Region: {
        const TEffectRegion region = EffectRegion(id, s);
        if (progress == 100)
            CopyArea(s.Source, s.Target, whole);
        else if (progress > 0)
            CopyRegion(s.Source, s.Target, region);
        break;
    }
    case TEffectKind::Direct:
        DirectEffect(id, s);
        if (progress == 100) CopyArea(s.Source, s.Target, whole);
        break;
    }
    s.Invalidate(d);
}
