#include "codec/ColorReduce.h"

#include "codec/Graphic.h"
#include "codec/Limits.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <vector>

namespace {

const char* const kReductionNames[] = {"Windows 20 color system palette",    "Windows 256 color halftone palette",
                                       "Windows 4 grayscale colors",         "Black/White monochrome palette",
                                       "Uniform 256 shade grayscale palette", "Netscape 216 color palette",
                                       "Optimal 2^n color palette",          "Optimal 256 color windows palette"};
const char* const kDitherNames[] = {"Nearest color",
                                    "Floyd Steinberg dithering",
                                    "Stucki dithering",
                                    "Sierra dithering",
                                    "Jarvis, Judice & Ninke dithering",
                                    "Stevenson & Arche dithering",
                                    "Burkes dithering"};

// Error-diffusion kernels: weights to the right on the current row and on the rows below.
struct TKernelEntry {
    int Dx, Dy, Weight;
};
struct TKernel {
    std::vector<TKernelEntry> Entries;
    int Divisor = 1;
    int Rows = 1; // rows below the current one that receive error
};

TKernel KernelOf(TDitherMode mode) {
    switch (mode) {
    case TDitherMode::dmFloydSteinberg: return {{{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}, 16, 1};
    case TDitherMode::dmStucki:
        return {{{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2},
                 {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4}, {1, 2, 2}, {2, 2, 1}},
                42, 2};
    case TDitherMode::dmSierra:
        return {{{1, 0, 5}, {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5}, {1, 1, 4}, {2, 1, 2},
                 {-1, 2, 2}, {0, 2, 3}, {1, 2, 2}},
                32, 2};
    case TDitherMode::dmJaJuNI:
        return {{{1, 0, 7}, {2, 0, 5}, {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5}, {2, 1, 3},
                 {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5}, {1, 2, 3}, {2, 2, 1}},
                48, 2};
    case TDitherMode::dmSteveArche:
        return {{{2, 0, 32}, {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30}, {3, 1, 16}, {-2, 2, 12}, {0, 2, 26},
                 {2, 2, 12}, {-3, 3, 5}, {-1, 3, 12}, {1, 3, 12}, {3, 3, 5}},
                200, 3};
    case TDitherMode::dmBurkes:
        return {{{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}, 32, 1};
    default: return {{}, 1, 0};
    }
}

// Nearest palette entry (squared RGB distance, lowest index on ties), with shortcuts for the palettes
// whose nearest entry can be computed directly. Other palettes are searched through 8 x 8 x 8 cells of
// the colour cube, each holding the entries that can be nearest to some colour of the cell: those whose
// distance to the cell is at most the smallest farthest-corner distance of any entry.
class TNearest {
public:
    explicit TNearest(const QVector<QRgb>& palette) : FPalette(palette) {
        bool grey = palette.size() == 256, cube = palette.size() == 216;
        for (int i = 0; grey && i < 256; ++i) grey = palette[i] == qRgb(i, i, i);
        for (int i = 0; cube && i < 216; ++i) cube = palette[i] == qRgb(i / 36 * 51, i / 6 % 6 * 51, i % 6 * 51);
        FKind = grey ? 1 : cube ? 2 : 0;
        if (FKind) return;
        FCells.resize(512);
        for (int cell = 0; cell < 512; ++cell) {
            const int lo[3] = {(cell >> 6) * 32, ((cell >> 3) & 7) * 32, (cell & 7) * 32};
            auto span = [&](QRgb c, bool farthest) {
                const int v[3] = {qRed(c), qGreen(c), qBlue(c)};
                int d = 0;
                for (int k = 0; k < 3; ++k) {
                    const int a = lo[k], z = lo[k] + 31;
                    int e;
                    if (farthest)
                        e = std::max(std::abs(v[k] - a), std::abs(v[k] - z));
                    else
                        e = v[k] < a ? a - v[k] : v[k] > z ? v[k] - z : 0;
                    d += e * e;
                }
                return d;
            };
            int bound = INT_MAX;
            for (QRgb c : palette) bound = std::min(bound, span(c, true));
            for (int i = 0; i < palette.size(); ++i)
                if (span(palette[i], false) <= bound) FCells[size_t(cell)].push_back(i);
        }
    }
    int Find(int r, int g, int b) const {
        if (FKind == 1) return (r + g + b + 1) / 3; // the mean minimises the distance to a grey
        if (FKind == 2) return (r + 25) / 51 * 36 + (g + 25) / 51 * 6 + (b + 25) / 51;
        int best = INT_MAX, bestIndex = 0;
        for (int i : FCells[size_t(((r >> 5) << 6) | ((g >> 5) << 3) | (b >> 5))]) {
            const QRgb c = FPalette[i];
            const int dr = qRed(c) - r, dg = qGreen(c) - g, db = qBlue(c) - b;
            const int d = dr * dr + dg * dg + db * db;
            if (d < best) {
                best = d;
                bestIndex = i;
            }
        }
        return bestIndex;
    }

private:
    const QVector<QRgb>& FPalette;
    int FKind = 0;
    std::vector<std::vector<int>> FCells;
};

struct TBox {
    int Lo[3], Hi[3]; // inclusive, 5-bit levels
    quint64 Count = 0;
};

} // namespace

QString ColorReductionName(int reduction) {
    return reduction >= 1 && reduction <= 8 ? QString::fromLatin1(kReductionNames[reduction - 1]) : QString();
}

QString DitherModeName(int mode) {
    return mode >= 0 && mode <= 6 ? QString::fromLatin1(kDitherNames[mode]) : QString();
}

const QVector<QRgb>& SystemPalette20() {
    static const QVector<QRgb> colors = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),     qRgb(0, 128, 0),     qRgb(128, 128, 0),   qRgb(0, 0, 128),
        qRgb(128, 0, 128),   qRgb(0, 128, 128),   qRgb(192, 192, 192), qRgb(192, 220, 192), qRgb(166, 202, 240),
        qRgb(255, 251, 240), qRgb(160, 160, 164), qRgb(128, 128, 128), qRgb(255, 0, 0),     qRgb(0, 255, 0),
        qRgb(255, 255, 0),   qRgb(0, 0, 255),     qRgb(255, 0, 255),   qRgb(0, 255, 255),   qRgb(255, 255, 255)};
    return colors;
}

QVector<QRgb> FixedPalette(TColorReduction reduction) {
    QVector<QRgb> p;
    switch (reduction) {
    case TColorReduction::rmWindows20: return SystemPalette20();
    case TColorReduction::rmWindows256: {
        // The first ten system colours, the 6 x 6 x 6 cube, twenty greys between the cube's greys (steps of
        // 255/25), the last ten.
        const QVector<QRgb>& sys = SystemPalette20();
        p = sys.mid(0, 10);
        for (int i = 0; i < 216; ++i) p << qRgb(i / 36 * 51, i / 6 % 6 * 51, i % 6 * 51);
        for (int k = 1; k < 25; ++k)
            if (k % 5) p << qRgb((k * 255 + 12) / 25, (k * 255 + 12) / 25, (k * 255 + 12) / 25);
        p << sys.mid(10, 10);
        return p;
    }
    case TColorReduction::rmWindowsGray: return {qRgb(0, 0, 0), qRgb(128, 128, 128), qRgb(192, 192, 192), qRgb(255, 255, 255)};
    case TColorReduction::rmMonochrome: return {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    case TColorReduction::rmGrayScale:
        for (int i = 0; i < 256; ++i) p << qRgb(i, i, i);
        return p;
    case TColorReduction::rmNetscape:
        for (int i = 0; i < 216; ++i) p << qRgb(i / 36 * 51, i / 6 % 6 * 51, i % 6 * 51);
        return p;
    default: return p;
    }
}

QVector<QRgb> OptimalPalette(const QImage& source, int count) {
    count = std::clamp(count, 1, 256);
    if (source.isNull()) return {};
    const bool alpha = source.hasAlphaChannel();
    const QImage image = source.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    auto opaque = [alpha](QRgb c) { return !alpha || qAlpha(c) >= 128; };
    // Few colours: exactly those, in order of first appearance.
    {
        QVector<QRgb> distinct;
        QHash<QRgb, bool> seen;
        for (int y = 0; y < image.height() && distinct.size() <= count; ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if (!opaque(line[x])) continue;
                const QRgb c = line[x] | 0xFF000000u;
                if (!seen.contains(c)) {
                    seen.insert(c, true);
                    distinct << c;
                    if (distinct.size() > count) break;
                }
            }
        }
        if (distinct.size() <= count) return distinct;
    }
    // Median cut over a 32 x 32 x 32 histogram that also keeps the sums of the exact colours.
    std::vector<quint64> hist(32768, 0);
    std::vector<std::array<quint64, 3>> sums(32768, {0, 0, 0});
    auto bin = [](int r, int g, int b) { return (r << 10) | (g << 5) | b; };
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (!opaque(line[x])) continue;
            const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
            const int i = bin(r >> 3, g >> 3, b >> 3);
            ++hist[size_t(i)];
            sums[size_t(i)][0] += r;
            sums[size_t(i)][1] += g;
            sums[size_t(i)][2] += b;
        }
    }
    auto shrink = [&](TBox& box) {
        int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
        box.Count = 0;
        for (int r = box.Lo[0]; r <= box.Hi[0]; ++r)
            for (int g = box.Lo[1]; g <= box.Hi[1]; ++g)
                for (int b = box.Lo[2]; b <= box.Hi[2]; ++b) {
                    const quint64 n = hist[size_t(bin(r, g, b))];
                    if (!n) continue;
                    box.Count += n;
                    const int v[3] = {r, g, b};
                    for (int c = 0; c < 3; ++c) {
                        lo[c] = std::min(lo[c], v[c]);
                        hi[c] = std::max(hi[c], v[c]);
                    }
                }
        if (box.Count)
            for (int c = 0; c < 3; ++c) {
                box.Lo[c] = lo[c];
                box.Hi[c] = hi[c];
            }
    };
    std::vector<TBox> boxes(1);
    boxes[0] = TBox{{0, 0, 0}, {31, 31, 31}, 0};
    shrink(boxes[0]);
    while (int(boxes.size()) < count) {
        // Split the most populous box first, then weigh population by volume for the second half.
        int pick = -1;
        double best = 0;
        const bool byVolume = int(boxes.size()) >= count / 2;
        for (int i = 0; i < int(boxes.size()); ++i) {
            const TBox& b = boxes[size_t(i)];
            const double volume = double(b.Hi[0] - b.Lo[0] + 1) * (b.Hi[1] - b.Lo[1] + 1) * (b.Hi[2] - b.Lo[2] + 1);
            if (volume <= 1) continue;
            const double score = byVolume ? double(b.Count) * volume : double(b.Count);
            if (score > best) {
                best = score;
                pick = i;
            }
        }
        if (pick < 0) break;
        TBox box = boxes[size_t(pick)];
        int axis = 0;
        for (int c = 1; c < 3; ++c)
            if (box.Hi[c] - box.Lo[c] > box.Hi[axis] - box.Lo[axis]) axis = c;
        // The median plane along the axis.
        std::vector<quint64> plane(32, 0);
        for (int r = box.Lo[0]; r <= box.Hi[0]; ++r)
            for (int g = box.Lo[1]; g <= box.Hi[1]; ++g)
                for (int b = box.Lo[2]; b <= box.Hi[2]; ++b) {
                    const int v[3] = {r, g, b};
                    plane[size_t(v[axis])] += hist[size_t(bin(r, g, b))];
                }
        quint64 acc = 0;
        int cut = box.Lo[axis];
        for (int v = box.Lo[axis]; v < box.Hi[axis]; ++v) {
            acc += plane[size_t(v)];
            cut = v;
            if (acc * 2 >= box.Count) break;
        }
        TBox a = box, b = box;
        a.Hi[axis] = cut;
        b.Lo[axis] = cut + 1;
        shrink(a);
        shrink(b);
        boxes[size_t(pick)] = a;
        if (b.Count) boxes.push_back(b);
    }
    QVector<QRgb> palette;
    for (const TBox& box : boxes) {
        quint64 n = 0, s[3] = {0, 0, 0};
        for (int r = box.Lo[0]; r <= box.Hi[0]; ++r)
            for (int g = box.Lo[1]; g <= box.Hi[1]; ++g)
                for (int b = box.Lo[2]; b <= box.Hi[2]; ++b) {
                    const size_t i = size_t(bin(r, g, b));
                    n += hist[i];
                    for (int c = 0; c < 3; ++c) s[c] += sums[i][size_t(c)];
                }
        if (n) palette << qRgb(int((s[0] + n / 2) / n), int((s[1] + n / 2) / n), int((s[2] + n / 2) / n));
    }
    return palette;
}

namespace {

// The picture mapped to the palette with the dither. With transparent >= 0, pixels whose alpha is below 128
// get that index (which the palette does not hold) and neither take nor pass on any error.
QImage MapToPalette(const QImage& source, const QVector<QRgb>& palette, TDitherMode dither, int transparent) {
    if (palette.isEmpty() || palette.size() > 256)
        throw EInvalidGraphicOperation(QStringLiteral("A palette holds 1 to 256 colours, not %1").arg(palette.size()));
    if (int(dither) > 6) throw EInvalidGraphicOperation(QStringLiteral("Unknown dither mode %1").arg(int(dither)));
    if (source.isNull()) return QImage();
    const bool masked = transparent >= 0 && source.hasAlphaChannel();
    const QImage image = source.convertToFormat(masked ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const int w = image.width(), h = image.height();
    QImage out = NewImage(w, h, QImage::Format_Indexed8);
    QVector<QRgb> table = palette;
    if (transparent >= 0) {
        table.resize(transparent + 1, qRgb(0, 0, 0));
        table[transparent] = qRgba(0, 0, 0, 0);
    }
    out.setColorTable(table);
    TNearest nearest(palette);
    const TKernel kernel = KernelOf(dither);
    if (kernel.Entries.empty()) {
        // Nearest colour: no error to carry; runs of one colour are looked up once.
        for (int y = 0; y < h; ++y) {
            const QRgb* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            uchar* dst = out.scanLine(y);
            QRgb last = 0;
            int lastIndex = -1;
            for (int x = 0; x < w; ++x) {
                if (masked && qAlpha(in[x]) < 128) {
                    dst[x] = uchar(transparent);
                    continue;
                }
                const QRgb c = in[x] & 0x00FFFFFFu;
                if (lastIndex < 0 || c != last) {
                    last = c;
                    lastIndex = nearest.Find(qRed(c), qGreen(c), qBlue(c));
                }
                dst[x] = uchar(lastIndex);
            }
        }
        return out;
    }
    // Error rows: the current one and the rows below that the kernel reaches, with a margin of 3 pixels.
    const int margin = 3, stride = w + 2 * margin;
    std::vector<std::vector<int>> err(size_t(kernel.Rows + 1), std::vector<int>(size_t(stride) * 3, 0));
    for (int y = 0; y < h; ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uchar* dst = out.scanLine(y);
        std::vector<int>& cur = err[0];
        for (int x = 0; x < w; ++x) {
            const size_t e = size_t(x + margin) * 3;
            if (masked && qAlpha(in[x]) < 128) {
                dst[x] = uchar(transparent);
                continue;
            }
            // Accumulated error is kept scaled by the divisor; round it half away from zero.
            auto add = [&](int v, int acc) {
                const int d = kernel.Divisor;
                const int q = acc >= 0 ? (acc + d / 2) / d : -((-acc + d / 2) / d);
                return std::clamp(v + q, 0, 255);
            };
            const int r = add(qRed(in[x]), cur[e]), g = add(qGreen(in[x]), cur[e + 1]), b = add(qBlue(in[x]), cur[e + 2]);
            const int index = nearest.Find(r, g, b);
            dst[x] = uchar(index);
            if (kernel.Entries.empty()) continue;
            const QRgb p = palette[index];
            const int er = r - qRed(p), eg = g - qGreen(p), eb = b - qBlue(p);
            for (const TKernelEntry& k : kernel.Entries) {
                const int tx = x + k.Dx;
                if (tx < 0 || tx >= w) continue;
                std::vector<int>& row = err[size_t(k.Dy)];
                const size_t t = size_t(tx + margin) * 3;
                row[t] += er * k.Weight;
                row[t + 1] += eg * k.Weight;
                row[t + 2] += eb * k.Weight;
            }
        }
        // Shift the error rows up by one.
        std::rotate(err.begin(), err.begin() + 1, err.end());
        std::fill(err.back().begin(), err.back().end(), 0);
    }
    return out;
}

} // namespace

QImage ReduceToPalette(const QImage& source, const QVector<QRgb>& palette, TDitherMode dither) {
    return MapToPalette(source, palette, dither, -1);
}

QImage ReduceColors(const QImage& image, TColorReduction reduction, TDitherMode dither, int bits) {
    switch (reduction) {
    case TColorReduction::rmQuantize:
        if (bits < 1 || bits > 8)
            throw EInvalidGraphicOperation(QStringLiteral("The palette size must be 1 to 8 bits, not %1").arg(bits));
        return ReduceToPalette(image, OptimalPalette(image, 1 << bits), dither);
    case TColorReduction::rmQuantizeWindows: {
        QVector<QRgb> palette = SystemPalette20();
        palette += OptimalPalette(image, 236);
        return ReduceToPalette(image, palette, dither);
    }
    default: {
        const QVector<QRgb> palette = FixedPalette(reduction);
        if (palette.isEmpty())
            throw EInvalidGraphicOperation(QStringLiteral("Unknown colour reduction %1").arg(int(reduction)));
        return ReduceToPalette(image, palette, dither);
    }
    }
}

TTransparentReduction ReduceColorsTransparent(const QImage& image, TColorReduction reduction, TDitherMode dither,
                                              int bits, bool reserve) {
    if (int(dither) > 6) throw EInvalidGraphicOperation(QStringLiteral("Unknown dither mode %1").arg(int(dither)));
    TTransparentReduction out;
    if (image.isNull()) return out;
    bool anyTransparent = false;
    if (image.hasAlphaChannel()) {
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < argb.height() && !anyTransparent; ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
            for (int x = 0; x < argb.width(); ++x)
                if (qAlpha(line[x]) < 128) {
                    anyTransparent = true;
                    break;
                }
        }
    }
    if (!anyTransparent && !reserve) {
        out.Image = ReduceColors(image, reduction, dither, bits);
        return out;
    }
    QVector<QRgb> palette;
    switch (reduction) {
    case TColorReduction::rmQuantize:
        if (bits < 1 || bits > 8)
            throw EInvalidGraphicOperation(QStringLiteral("The palette size must be 1 to 8 bits, not %1").arg(bits));
        palette = OptimalPalette(image, std::max(1, (1 << bits) - 1));
        break;
    case TColorReduction::rmQuantizeWindows:
        palette = SystemPalette20();
        palette += OptimalPalette(image, 235);
        break;
    default:
        palette = FixedPalette(reduction);
        if (palette.isEmpty())
            throw EInvalidGraphicOperation(QStringLiteral("Unknown colour reduction %1").arg(int(reduction)));
        if (palette.size() == 256) {
            // The entry the picture's opaque pixels use least makes room for the transparent one.
            const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
            const QImage first = MapToPalette(argb, palette, TDitherMode::dmNearest, -1);
            std::vector<qint64> used(256, 0);
            for (int y = 0; y < first.height(); ++y) {
                const uchar* line = first.constScanLine(y);
                const QRgb* px = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
                for (int x = 0; x < first.width(); ++x)
                    if (qAlpha(px[x]) >= 128) ++used[line[x]];
            }
            const auto least = std::min_element(used.begin(), used.end()) - used.begin();
            palette.removeAt(qsizetype(least));
        }
        break;
    }
    if (palette.isEmpty()) palette << qRgb(0, 0, 0); // a picture with no opaque pixel
    out.Transparent = int(palette.size());
    out.Image = MapToPalette(image, palette, dither, out.Transparent);
    return out;
}
