// Transitions of the slide show: the catalogue of 138 effects, the tree in which the options dialog
// shows them, the enabled set kept as five 32-bit masks, and DrawEffect, which draws one step of a
// transition into an off-screen picture.
//
// The caller owns the timing: it clears its target once, then calls DrawEffect again and again with a
// rising progress (0, 4, 8, ..., 100 with a step of 4) on the same target, repainting after each call.
// Every step recomputes its geometry from the progress; the only state carried between steps is the
// content of the target (and the random generator of the random effects).
//
// The pixel rules every effect is built from (MulDiv, rounding, the pixels a rectangle, rounded
// rectangle, ellipse or polygon covers, the nearest-neighbour stretch) are in tools/EffectsPixels.h.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <array>
#include <functional>
#include <vector>

// Effect identifiers are 0..137. The drawing operation takes EffectNo = identifier + 1, where 0 is the
// plain cut (the whole picture at once) and anything above 138 draws nothing.
constexpr int kEffectCount = 138;

// How an effect draws: rectangle effects are one or a few stretched copies (identifiers 0-56), region
// effects draw the whole new picture through a clip region (57-116, 122-126), direct effects draw into
// the target themselves (117-121, 127-137).
enum class TEffectKind { Rectangle, Region, Direct };

// The name shown to the user ("Expand from right", ...); empty outside 0..137.
QString EffectName(int id);
TEffectKind EffectKind(int id);

// The options dialog's two-level tree: ten categories in order, each with its effects in order.
// Every identifier 0..137 appears exactly once.
struct TEffectCategory {
    QString Name;
    std::vector<int> Effects;
};
const std::vector<TEffectCategory>& EffectTree();

// The enabled set as the settings keep it ("Effects0".."Effects4" in the slide-show section): bit
// (id mod 32) of mask (id div 32) enables effect id; every mask defaults to all bits set. Bits above
// 137 mean nothing.
using TEffectMasks = std::array<quint32, 5>;
constexpr TEffectMasks kAllEffects{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
inline int EffectMaskIndex(int id) {
    return id / 32;
}
inline quint32 EffectMaskBit(int id) {
    return quint32(1) << (id % 32);
}
// False outside 0..137.
bool IsEffectEnabled(const TEffectMasks& masks, int id);
// Ignored outside 0..137.
void SetEffectEnabled(TEffectMasks& masks, int id, bool enabled);
// The enabled identifiers in increasing order (the slide show's candidates).
std::vector<int> EnabledEffects(const TEffectMasks& masks);

// The generator of the random effects (shreds, speckles, random squares): splitmix64, with bounded
// draws by Lemire's multiply-and-reject, so a seed gives the same pictures on every machine.
class TEffectRandom {
public:
    explicit TEffectRandom(quint64 seed = 0) : FState(seed) {}
    void Seed(quint64 seed) { FState = seed; }
    // The next 64 random bits.
    quint64 NextBits();
    // A uniform integer in 0..n-1; 0 without a draw when n <= 0.
    int Next(int n);

private:
    quint64 FState;
};

// Where the target is shown, for the invalidations: the target's top-left corner lies at (OffsetX,
// OffsetY) of the window, and ViewRect is the part of the window that shows the picture. Every changed
// part of the picture is moved by the offset, clipped to ViewRect and handed to Invalidate (when
// set); an empty ViewRect invalidates nothing.
struct TEffectView {
    int OffsetX = 0;
    int OffsetY = 0;
    QRect ViewRect;
    std::function<void(const QRect&)> Invalidate;
};

// One step of a transition: draws part of source (the new picture) into target (the picture shown
// now), which must be the same size. effectNo is the identifier + 1 (0: the whole picture at once;
// above 138: nothing). progress is 0..100 (clamped), step the caller's advance between calls (4 in the
// slide show; clamped to 0..100): it sets the band of the bar effects and the reach of the diagonal
// blocks. At progress 100 target always ends equal to source.
//
// Both pictures are 24-bit (QImage::Format_RGB888) or 32-bit without alpha (Format_RGB32, the
// faster one to paint); a target in another format is converted to 24 bits first, and a source in a
// format other than the target's is converted for the call. Pictures of different sizes, or with no
// pixels, draw nothing. The target is written in place: a target shared with another QImage is copied
// first, so keep it unshared between steps.
void DrawEffect(const TEffectView& view, int effectNo, const QImage& source, QImage& target, int progress,
                int step, TEffectRandom& random);
