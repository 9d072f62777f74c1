// The transitions: the catalogue, the masks, and what DrawEffect does step by step.
#include "TestUtil.h"

#include "tools/Effects.h"
#include "tools/EffectsInternal.h"

#include <QSet>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

namespace {

// The new picture: pixel (x, y) is (x, y, x * 31 + y * 17) (mod 256), so every pixel of a picture up to
// 256 x 256 is unique and a pixel taken from the wrong place shows.
QImage NewPicture(int w, int h, QImage::Format format = QImage::Format_RGB888) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uchar* p = image.scanLine(y) + 3 * x;
            p[0] = uchar(x);
            p[1] = uchar(y);
            p[2] = uchar(x * 31 + y * 17);
        }
    return image.convertToFormat(format);
}

// The picture shown before: its red differs from the new picture's at every pixel.
QImage OldPicture(int w, int h, QImage::Format format = QImage::Format_RGB888) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uchar* p = image.scanLine(y) + 3 * x;
            p[0] = uchar(255 - x);
            p[1] = uchar(y * 3 + 101);
            p[2] = uchar(200 ^ x);
        }
    return image.convertToFormat(format);
}

// The pixels of target equal to the new picture's.
std::vector<bool> Covered(const QImage& target, const QImage& source) {
    std::vector<bool> covered;
    const int depth = target.depth() / 8;
    for (int y = 0; y < target.height(); ++y)
        for (int x = 0; x < target.width(); ++x)
            covered.push_back(std::memcmp(target.constScanLine(y) + x * depth,
                                          source.constScanLine(y) + x * depth, 3) == 0);
    return covered;
}

const std::vector<QSize> kSizes{{201, 97}, {97, 201}, {3, 2}, {1, 1}, {7, 1}, {1, 9}, {160, 37}};

void Step(QImage& target, const QImage& source, int effectNo, int progress, quint64 seed = 1, int step = 4) {
    TEffectRandom random(seed);
    DrawEffect(TEffectView{}, effectNo, source, target, progress, step, random);
}

} // namespace

TEST(EffectsCatalogue, NamesKindsAndTheTree) {
    EXPECT_EQ(EffectName(0), QStringLiteral("Expand from right"));
    EXPECT_EQ(EffectName(56), QStringLiteral("Quarters Slide in to middle"));
    EXPECT_EQ(EffectName(82), QStringLiteral("Curved reveal from bottom right"));
    EXPECT_EQ(EffectName(117), QStringLiteral("Fade"));
    EXPECT_EQ(EffectName(137), QStringLiteral("Reveal diagonal block from right"));
    EXPECT_TRUE(EffectName(138).isEmpty());
    EXPECT_TRUE(EffectName(-1).isEmpty());
    QSet<QString> names;
    int rectangles = 0, regions = 0, direct = 0;
    for (int id = 0; id < kEffectCount; ++id) {
        EXPECT_FALSE(EffectName(id).isEmpty()) << id;
        names.insert(EffectName(id));
        switch (EffectKind(id)) {
        case TEffectKind::Rectangle:
            ++rectangles;
            break;
        case TEffectKind::Region:
            ++regions;
            break;
        case TEffectKind::Direct:
            ++direct;
            break;
        }
    }
    EXPECT_EQ(names.size(), kEffectCount);
    EXPECT_EQ(rectangles, 57);
    EXPECT_EQ(regions, 65);
    EXPECT_EQ(direct, 16);
    EXPECT_EQ(EffectKind(117), TEffectKind::Direct);
    EXPECT_EQ(EffectKind(122), TEffectKind::Region);
    EXPECT_EQ(EffectKind(126), TEffectKind::Region);
    EXPECT_EQ(EffectKind(127), TEffectKind::Direct);

    const std::vector<TEffectCategory>& tree = EffectTree();
    QStringList categories;
    std::multiset<int> ids;
    for (const TEffectCategory& c : tree) {
        categories << c.Name;
        ids.insert(c.Effects.begin(), c.Effects.end());
    }
    EXPECT_EQ(categories,
              QStringList({"Expand", "Slide", "Reveal", "Unroll", "Aggrade", "Appear and Contract",
                           "Bars & Speckles", "Uneven", "Shutter", "Misc"}));
    ASSERT_EQ(ids.size(), size_t(kEffectCount));
    for (int id = 0; id < kEffectCount; ++id)
        EXPECT_EQ(ids.count(id), 1u) << id;
    // Orders as the dialog shows them (not sorted).
    EXPECT_EQ(tree[1].Effects, std::vector<int>({2, 3, 19, 20, 38, 39, 40, 41, 56, 118, 119, 120, 121}));
    EXPECT_EQ(tree[2].Effects[20], 54);
    EXPECT_EQ(tree[2].Effects.back(), 116);
    EXPECT_EQ(tree[9].Effects, std::vector<int>({117, 126, 135}));
}

TEST(EffectsCatalogue, MasksEnableBitIdModThirtyTwoOfMaskIdDivThirtyTwo) {
    EXPECT_EQ(EffectMaskIndex(0), 0);
    EXPECT_EQ(EffectMaskBit(0), 1u);
    EXPECT_EQ(EffectMaskIndex(33), 1);
    EXPECT_EQ(EffectMaskBit(33), 2u);
    EXPECT_EQ(EffectMaskIndex(137), 4);
    EXPECT_EQ(EffectMaskBit(137), 1u << 9);
    EXPECT_EQ(EnabledEffects(kAllEffects).size(), size_t(kEffectCount));

    TEffectMasks masks = kAllEffects;
    SetEffectEnabled(masks, 40, false);
    SetEffectEnabled(masks, 138, false); // not an effect: ignored
    EXPECT_EQ(masks[1], ~(1u << 8));
    EXPECT_EQ(masks[4], 0xFFFFFFFFu);
    EXPECT_FALSE(IsEffectEnabled(masks, 40));
    EXPECT_TRUE(IsEffectEnabled(masks, 41));
    EXPECT_FALSE(IsEffectEnabled(masks, 138));
    EXPECT_FALSE(IsEffectEnabled(masks, -1));
    std::vector<int> enabled = EnabledEffects(masks);
    EXPECT_EQ(enabled.size(), size_t(kEffectCount - 1));
    EXPECT_TRUE(std::is_sorted(enabled.begin(), enabled.end()));
    EXPECT_EQ(std::count(enabled.begin(), enabled.end(), 40), 0);

    // Only bits above 137 set: nothing is enabled.
    const TEffectMasks high{0, 0, 0, 0, 0xFFFFFC00u};
    EXPECT_TRUE(EnabledEffects(high).empty());
    TEffectMasks some{};
    SetEffectEnabled(some, 0, true);
    SetEffectEnabled(some, 137, true);
    SetEffectEnabled(some, 64, true);
    EXPECT_EQ(EnabledEffects(some), std::vector<int>({0, 64, 137}));
    EXPECT_EQ(some, (TEffectMasks{1u, 0u, 1u, 0u, 1u << 9}));
}

TEST(EffectsRandom, SeededDrawsRepeatAndSpreadEvenly) {
    TEffectRandom a(42), b(42), c(43);
    std::vector<int> first, second, other;
    for (int i = 0; i < 50; ++i) {
        first.push_back(a.Next(1000));
        second.push_back(b.Next(1000));
        other.push_back(c.Next(1000));
    }
    EXPECT_EQ(first, second);
    EXPECT_NE(first, other);
    // splitmix64 from seed 0: its first output is the published constant.
    TEffectRandom zero(0);
    EXPECT_EQ(zero.NextBits(), 0xE220A8397B1DCDAFull);
    // No draw for an empty range; one value for a range of one.
    TEffectRandom d(7), e(7);
    EXPECT_EQ(d.Next(0), 0);
    EXPECT_EQ(d.Next(-5), 0);
    EXPECT_EQ(d.NextBits(), e.NextBits());
    EXPECT_EQ(d.Next(1), 0);
    int counts[7] = {};
    TEffectRandom f(99);
    for (int i = 0; i < 70000; ++i) {
        const int v = f.Next(7);
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 7);
        ++counts[v];
    }
    for (int v : counts) {
        EXPECT_GT(v, 9500);
        EXPECT_LT(v, 10500);
    }
}

TEST(EffectsDerived, ExtentsComeFromTheLongerSide) {
    const QImage portrait = NewPicture(100, 200);
    TEffectRandom random;
    const TEffectStep p(ReadPlane(portrait), ReadPlane(portrait), 50, 4, nullptr, &random);
    EXPECT_EQ(p.pH, 100);
    EXPECT_EQ(p.pW, 50);
    EXPECT_EQ(p.L, 200);
    EXPECT_EQ(p.Band, 9);
    const QImage wide = NewPicture(1000, 3);
    const TEffectStep w(ReadPlane(wide), ReadPlane(wide), 33, 4, nullptr, &random);
    EXPECT_EQ(w.Band, 44);
    EXPECT_EQ(w.pW, 330);
    EXPECT_EQ(w.pH, 1); // MulDiv(330, 3, 1000) = 0.99
    EXPECT_EQ(w.hW, 500);
    EXPECT_EQ(w.hH, 1);
}

TEST(EffectsDraw, ProgressHundredLeavesTheNewPictureForEveryEffect) {
    for (const QSize& size : kSizes) {
        const QImage source = NewPicture(size.width(), size.height());
        for (int effectNo = 0; effectNo <= kEffectCount; ++effectNo) {
            QImage target = OldPicture(size.width(), size.height());
            TEffectRandom random(3);
            for (int p : {0, 28, 52})
                DrawEffect(TEffectView{}, effectNo, source, target, p, 4, random);
            DrawEffect(TEffectView{}, effectNo, source, target, 100, 4, random);
            ASSERT_EQ(target, source)
                << "effect number " << effectNo << " at " << size.width() << 'x' << size.height();
        }
    }
}

TEST(EffectsDraw, EffectNumbersOutsideTheCatalogueDrawNothing) {
    const QImage source = NewPicture(20, 10), old = OldPicture(20, 10);
    std::vector<QRect> invalidated;
    TEffectView view;
    view.ViewRect = QRect(0, 0, 100, 100);
    view.Invalidate = [&](const QRect& r) { invalidated.push_back(r); };
    for (int effectNo : {139, 200, 255, -1}) {
        QImage target = old;
        TEffectRandom random;
        DrawEffect(view, effectNo, source, target, 100, 4, random);
        EXPECT_EQ(target, old) << effectNo;
    }
    EXPECT_TRUE(invalidated.empty());

    // The plain cut: the whole picture at any progress, the whole picture invalidated.
    QImage target = old;
    TEffectRandom random;
    DrawEffect(view, 0, source, target, 0, 4, random);
    EXPECT_EQ(target, source);
    EXPECT_EQ(invalidated, std::vector<QRect>({QRect(0, 0, 20, 10)}));
}

TEST(EffectsDraw, ProgressZeroDrawsOnlyTheOnePixelSecondaryCopies) {
    const int w = 30, h = 20;
    const QImage source = NewPicture(w, h), old = OldPicture(w, h);
    for (int effectNo = 1; effectNo <= kEffectCount; ++effectNo) {
        const int id = effectNo - 1;
        if (EffectKind(id) == TEffectKind::Direct) continue;
        QImage target = old;
        Step(target, source, effectNo, 0);
        const std::vector<bool> covered = Covered(target, source);
        const int count = int(std::count(covered.begin(), covered.end(), true));
        if (id == 11) {
            EXPECT_EQ(count, h) << id; // the first column
            EXPECT_EQ(target.pixel(0, 5), source.pixel(0, 5));
        } else if (id == 28) {
            EXPECT_EQ(count, w) << id; // the first row
            EXPECT_EQ(target.pixel(7, 0), source.pixel(7, 0));
        } else if (id == 54) {
            EXPECT_EQ(count, 3) << id; // three corner pixels; the fourth is the final copy, not drawn at 0
            EXPECT_EQ(target.pixel(w - 1, h - 1), source.pixel(w - 1, h - 1));
            EXPECT_NE(target.pixel(w - 1, 0), source.pixel(w - 1, 0));
        } else if (id == 12 || id == 29 || id == 55 || id == 56) {
            // Stretched secondary copies: pixels change, though not to the new picture's own.
            EXPECT_NE(target, old) << id;
        } else {
            EXPECT_EQ(target, old) << "effect " << id << " drew at progress 0";
        }
    }
}

// Effects whose drawn part at each step contains the part of the step before (checked on a fresh old
// picture at every step), and effects that always copy the new picture in place (on one picture along
// the whole run, nothing once covered is uncovered again).
TEST(EffectsDraw, CoverOnlyGrowsAlongTheRun) {
    std::vector<int> growing{4, 5, 10, 11, 21, 22, 27, 28, 42, 43, 44, 45, 52, 53, 54};
    for (int id = 57; id <= 116; ++id)
        if (!(id >= 64 && id <= 67) && !(id >= 75 && id <= 78) && !(id >= 99 && id <= 108))
            growing.push_back(id);
    std::vector<int> inPlace = growing;
    for (int id : {64,  65,  66,  67,  75,  76,  77,  78,  99,  100, 101, 102, 103, 104, 105, 106, 107,
                   108, 122, 123, 124, 125, 126, 127, 128, 129, 130, 131, 132, 133, 134, 135, 136, 137})
        inPlace.push_back(id);
    for (const QSize size : {QSize(201, 97), QSize(97, 201), QSize(3, 2)}) {
        const QImage source = NewPicture(size.width(), size.height()),
                     old = OldPicture(size.width(), size.height());
        for (int id : growing) {
            std::vector<bool> before(size_t(size.width() * size.height()), false);
            for (int p = 0; p <= 100; p += 4) {
                QImage target = old;
                Step(target, source, id + 1, p);
                const std::vector<bool> now = Covered(target, source);
                for (size_t i = 0; i < now.size(); ++i)
                    ASSERT_TRUE(!before[i] || now[i]) << "effect " << id << " at " << p << " lost pixel " << i
                                                      << " of " << size.width() << 'x' << size.height();
                before = now;
            }
        }
        for (int id : inPlace) {
            QImage target = old;
            TEffectRandom random(9);
            std::vector<bool> before(size_t(size.width() * size.height()), false);
            for (int p = 0; p <= 100; p += 4) {
                DrawEffect(TEffectView{}, id + 1, source, target, p, 4, random);
                const std::vector<bool> now = Covered(target, source);
                for (size_t i = 0; i < now.size(); ++i)
                    ASSERT_TRUE(!before[i] || now[i]) << "effect " << id << " at " << p;
                // Nothing but the new picture's own pixels is ever drawn.
                const std::vector<bool> kept = Covered(target, old);
                for (size_t i = 0; i < now.size(); ++i)
                    ASSERT_TRUE(now[i] || kept[i]) << "effect " << id << " at " << p;
                before = now;
            }
        }
    }
}

TEST(EffectsDraw, BarsFillEvenRowsFirstAndSnapWithinOneBand) {
    const QImage square = NewPicture(100, 100);
    TEffectRandom random;
    auto region = [&](int id, int progress, const QImage& image, int step = 4) {
        const TEffectStep s(ReadPlane(image), ReadPlane(image), progress, step, nullptr, &random);
        return EffectRegion(id, s);
    };
    // "Bars in from right" at 50 % of a square picture: even bars full, odd bars empty; at 75 % the odd bars
    // are half filled (from the right).
    const TEffectRegion half = region(59, 50, square);
    const std::vector<TSpan> full{{0, 100}}, none;
    for (int y = 0; y < 100; ++y)
        EXPECT_EQ(half.Row(y), (y / 5) % 2 == 0 ? full : none) << y;
    const TEffectRegion threeQuarters = region(59, 75, square);
    EXPECT_EQ(threeQuarters.Row(7), (std::vector<TSpan>{{50, 100}}));
    EXPECT_EQ(threeQuarters.Row(12), (std::vector<TSpan>{{0, 100}}));
    // A 1000-pixel picture with step 4 has a band of 44: at 2pW = 957 (just above 956) the bars are whole.
    const QImage wide = NewPicture(1000, 20);
    EXPECT_EQ(region(60, 47, wide).Row(0), (std::vector<TSpan>{{0, 940}}));    // 2pW = 940: 940 + 44 <= 1000
    EXPECT_EQ(region(60, 48, wide).Row(0), (std::vector<TSpan>{{0, 1000}}));   // 960 + 44 > 1000: snapped
    EXPECT_EQ(region(60, 48, wide, 1).Row(0), (std::vector<TSpan>{{0, 960}})); // band 11
}

TEST(EffectsDraw, TheBottomRightCurveIsRounderThanItsSiblings) {
    TEffectRandom random;
    auto mirrored = [](const TEffectRegion& r) {
        TEffectRegion m(r.Width(), r.Height());
        for (int y = 0; y < r.Height(); ++y)
            for (const TSpan& s : r.Row(y))
                m.AddRect(r.Width() - s.Right, r.Height() - 1 - y, r.Width() - s.Left, r.Height() - y);
        return m;
    };
    auto same = [](const TEffectRegion& a, const TEffectRegion& b) {
        for (int y = 0; y < a.Height(); ++y)
            if (a.Row(y) != b.Row(y)) return false;
        return true;
    };
    for (const QSize size : {QSize(90, 90), QSize(400, 100)}) {
        const QImage image = NewPicture(size.width(), size.height());
        const TEffectStep s(ReadPlane(image), ReadPlane(image), 40, 4, nullptr, &random);
        // On a square picture the two are mirror images; on a wide one the corners differ.
        EXPECT_EQ(same(mirrored(EffectRegion(79, s)), EffectRegion(82, s)), size.width() == size.height());
    }
}

TEST(EffectsDraw, RandomEffectsRepeatForASeedAndDifferAcrossSeeds) {
    const QImage source = NewPicture(201, 97), old = OldPicture(201, 97);
    for (int id : {64,  65,  66,  67,  75,  76,  77,  78,  99,  100, 101, 102,
                   103, 104, 105, 106, 107, 108, 122, 123, 124, 125, 126}) {
        QImage a = old, b = old;
        TEffectRandom ra(5), rb(5);
        for (int p = 0; p <= 48; p += 4) {
            DrawEffect(TEffectView{}, id + 1, source, a, p, 4, ra);
            DrawEffect(TEffectView{}, id + 1, source, b, p, 4, rb);
        }
        EXPECT_EQ(a, b) << id;
        // One step: a new seed gives a new picture.
        QImage d = old, e = old;
        TEffectRandom rd(5), re(6);
        DrawEffect(TEffectView{}, id + 1, source, d, 24, 4, rd);
        DrawEffect(TEffectView{}, id + 1, source, e, 24, 4, re);
        EXPECT_NE(d, e) << id;
    }
}

TEST(EffectsDraw, InvalidationsAreMovedClippedAndNeverWrapped) {
    const QImage source = NewPicture(40, 30);
    std::vector<QRect> rects;
    TEffectView view;
    view.OffsetX = 70000; // beyond 16 bits
    view.OffsetY = 5;
    view.ViewRect = QRect(70010, 0, 100, 20);
    view.Invalidate = [&](const QRect& r) { rects.push_back(r); };
    TEffectRandom random;
    QImage target = OldPicture(40, 30);
    DrawEffect(view, 0, source, target, 50, 4, random);
    EXPECT_EQ(rects, std::vector<QRect>({QRect(70010, 5, 30, 15)}));

    // A slide-in reaches outside the picture: only the picture's part is invalidated.
    rects.clear();
    view.ViewRect = QRect(0, 0, 200000, 200);
    DrawEffect(view, 3, source, target, 50, 4, random); // "Slide in from right": D = (20, 0, 60, 30)
    EXPECT_EQ(rects, std::vector<QRect>({QRect(70020, 5, 20, 30)}));

    // Every invalidation of every effect lies within the picture moved by the offset.
    for (int effectNo = 1; effectNo <= kEffectCount; ++effectNo) {
        rects.clear();
        QImage t = OldPicture(40, 30);
        for (int p = 0; p <= 100; p += 4)
            DrawEffect(view, effectNo, source, t, p, 4, random);
        EXPECT_FALSE(rects.empty()) << effectNo;
        for (const QRect& r : rects)
            EXPECT_TRUE(QRect(70000, 5, 40, 30).contains(r)) << effectNo;
    }

    // An empty view rectangle (the options dialog's preview) invalidates nothing, but still draws.
    rects.clear();
    view.ViewRect = QRect();
    QImage t = OldPicture(40, 30);
    DrawEffect(view, 137 + 1, source, t, 52, 4, random);
    EXPECT_TRUE(rects.empty());
    EXPECT_NE(t, OldPicture(40, 30));
}

TEST(EffectsDraw, EmptyOrMismatchedPicturesDrawNothing) {
    TEffectRandom random;
    for (int effectNo = 0; effectNo <= kEffectCount; ++effectNo) {
        QImage empty;
        DrawEffect(TEffectView{}, effectNo, QImage(), empty, 50, 4, random);
        EXPECT_TRUE(empty.isNull());
        QImage none(0, 5, QImage::Format_RGB888);
        DrawEffect(TEffectView{}, effectNo, none, none, 50, 4, random);
        QImage small = OldPicture(4, 4);
        DrawEffect(TEffectView{}, effectNo, NewPicture(5, 4), small, 100, 4, random);
        EXPECT_EQ(small, OldPicture(4, 4)) << effectNo;
    }
}

TEST(EffectsDraw, OtherPixelFormatsAreConverted) {
    const QImage source = NewPicture(31, 17, QImage::Format_ARGB32);
    QImage target = OldPicture(31, 17, QImage::Format_Indexed8);
    Step(target, source, 118, 100);
    EXPECT_EQ(target.format(), QImage::Format_RGB888);
    EXPECT_EQ(target, NewPicture(31, 17));
    // A 32-bit target stays 32-bit and keeps its fourth byte.
    QImage rgb32 = OldPicture(31, 17, QImage::Format_RGB32);
    TEffectRandom random;
    for (int p = 0; p <= 48; p += 4)
        DrawEffect(TEffectView{}, 118, NewPicture(31, 17), rgb32, p, 4, random);
    EXPECT_EQ(rgb32.format(), QImage::Format_RGB32);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 31; ++x)
            ASSERT_EQ(qAlpha(rgb32.pixel(x, y)), 255);
}

// Every copy stays within the picture: the rows of the target lie in a larger buffer whose guard bytes
// (the row padding and the rows before and after) must never change, whatever the effect and the size.
TEST(EffectsDraw, EveryCopyIsClippedToThePicture) {
    for (const QSize size : {QSize(160, 40), QSize(161, 43), QSize(6, 6), QSize(5, 7), QSize(1, 1),
                             QSize(12, 1), QSize(240, 246)}) {
        const int w = size.width(), h = size.height();
        const int stride = ((w * 3 + 3) / 4) * 4 + 16;
        const int guardRows = 3;
        const QImage source = NewPicture(w, h);
        for (int effectNo = 0; effectNo <= kEffectCount; ++effectNo) {
            std::vector<uchar> buffer(size_t(stride) * size_t(h + 2 * guardRows), 0xA5);
            QImage target(buffer.data() + stride * guardRows, w, h, stride, QImage::Format_RGB888);
            const std::vector<uchar> before = buffer;
            TEffectRandom random(2);
            for (int step : {4, 7})
                for (int p = 0; p <= 100; p += step)
                    DrawEffect(TEffectView{}, effectNo, source, target, p, step, random);
            ASSERT_EQ(target.constBits(), buffer.data() + stride * guardRows) << "the target was copied";
            for (size_t i = 0; i < buffer.size(); ++i) {
                const qsizetype row = qsizetype(i) / stride - guardRows, column = qsizetype(i) % stride;
                if (row >= 0 && row < h && column < w * 3) continue;
                ASSERT_EQ(buffer[i], before[i])
                    << "effect number " << effectNo << " wrote outside a " << w << 'x' << h
                    << " picture (row " << row << ", byte " << column << ")";
            }
        }
    }
}

// Fade's blend of every pair of channel values at every progress, in both pixel formats and on widths
// that leave a tail after the 16-byte blocks.
TEST(EffectsDraw, FadeBlendsEveryPairOfValuesExactly) {
    for (QImage::Format format : {QImage::Format_RGB888, QImage::Format_RGB32})
        for (int w : {256, 255}) {
            QImage source(w, 256, QImage::Format_RGB888), old(w, 256, QImage::Format_RGB888);
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < w; ++x) {
                    uchar* n = source.scanLine(y) + 3 * x;
                    uchar* t = old.scanLine(y) + 3 * x;
                    n[0] = uchar(x), n[1] = uchar(y), n[2] = uchar(x ^ y);
                    t[0] = uchar(y), t[1] = uchar(x), t[2] = uchar(255 - x);
                }
            source = source.convertToFormat(format);
            old = old.convertToFormat(format);
            for (int p = 0; p <= 100; ++p) {
                QImage target = old;
                Step(target, source, 118, p);
                for (int y = 0; y < 256; ++y)
                    for (int x = 0; x < w; ++x) {
                        const QRgb got = target.pixel(x, y), n = source.pixel(x, y), t = old.pixel(x, y);
                        ASSERT_EQ(qRed(got), FadeChannel(qRed(t), qRed(n), p))
                            << x << ',' << y << " at " << p;
                        ASSERT_EQ(qGreen(got), FadeChannel(qGreen(t), qGreen(n), p))
                            << x << ',' << y << " at " << p;
                        ASSERT_EQ(qBlue(got), FadeChannel(qBlue(t), qBlue(n), p))
                            << x << ',' << y << " at " << p;
                        ASSERT_EQ(qAlpha(got), 255);
                    }
            }
        }
}
