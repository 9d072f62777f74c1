// The parts of DrawEffect shared by the Effects sources (and reached by their tests): the values every
// step derives from its progress, and the three families of effects.
#pragma once

#include "tools/Effects.h"
#include "tools/EffectsPixels.h"

// One step of a transition, with the values derived from its progress ("div" truncates toward zero):
// - W, H the picture's size, L = max(W, H);
// - pW, pH the progress extents, both derived from the longer side: when H <= W, pW = MulDiv(W, Progress,
//   100) and pH = MulDiv(pW, H, W); otherwise pH = MulDiv(H, Progress, 100) and pW = MulDiv(pH, W, H);
// - Band = MulDiv(L, Step, 90), the band within which bars snap to their full length;
// - hW = W div 2, hH = H div 2.
struct TEffectStep {
    TPixelPlane Source, Target;
    int W = 0, H = 0, L = 0, pW = 0, pH = 0, Band = 0, hW = 0, hH = 0;
    int Progress = 0, Step = 0;
    const TEffectView* View = nullptr;
    TEffectRandom* Random = nullptr;

    TEffectStep(const TPixelPlane& source, const TPixelPlane& target, int progress, int step,
                const TEffectView* view, TEffectRandom* random);

    TEdgeRect Whole() const { return {0, 0, W, H}; }
    // Marks a changed part of the picture for repainting: clipped to the picture, moved by the view's
    // offset and clipped to its view rectangle.
    void Invalidate(const TEdgeRect& r) const;
    // Copies r of the source onto the same pixels of the target and invalidates it.
    void CopyAndInvalidate(const TEdgeRect& r) const;
};

// Rectangle effects (0-56): make the effect's secondary copies and set its final destination d and
// source s (both the whole picture on entry).
void RectangleEffect(int id, const TEffectStep& step, TEdgeRect& d, TEdgeRect& s);

// Region effects (57-116, 122-126): the region the new picture is drawn through at this step.
TEffectRegion EffectRegion(int id, const TEffectStep& step);

// Direct effects (117-121, 127-137): draw this step into the target.
void DirectEffect(int id, const TEffectStep& step);

// Region builders, the pixels of a W x H picture they cover (see the effect catalogue).
// Bars: mode 0 leaves that direction out.
void AddBars(TEffectRegion& r, const TEffectStep& step, int h, int v, int hmode, int vmode, int band);
void AddShred(TEffectRegion& r, const TEffectStep& step, int h, int v, int hmode, int vmode);
void AddSpeckle(TEffectRegion& r, const TEffectStep& step, int h, int v, int hmode, int vmode);
void AddSquares(TEffectRegion& r, const TEffectStep& step);

// The blend of Fade for one channel: t * (100 - progress) div 100 + n * progress div 100.
inline int FadeChannel(int t, int n, int progress) {
    return t * (100 - progress) / 100 + n * progress / 100;
}
