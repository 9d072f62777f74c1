#include "codec/Resample.h"

#include "codec/Graphic.h"
#include "codec/Limits.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace {

double Sinc(double x) {
    if (x == 0) return 1;
    x *= M_PI;
    return std::sin(x) / x;
}

// Each output pixel's source pixels (First, First + 1, ...) and weights, which sum to 1.
struct TContribution {
    int First = 0;
    std::vector<float> Weights;
};

std::vector<TContribution> Contributions(int srcLen, int dstLen, TResampleFilter filter) {
    std::vector<TContribution> out(static_cast<size_t>(dstLen));
    const double scale = double(dstLen) / srcLen;
    const double widen = scale < 1 ? 1 / scale : 1; // shrinking widens the filter to average
    const double width = FilterSupport(filter) * widen;
    for (int i = 0; i < dstLen; ++i) {
        const double center = (i + 0.5) / scale;
        const int left = int(std::floor(center - width)), right = int(std::ceil(center + width));
        const int first = std::clamp(left, 0, srcLen - 1), last = std::clamp(right, 0, srcLen - 1);
        std::vector<double> w(size_t(last - first + 1), 0.0);
        double sum = 0;
        for (int j = left; j <= right; ++j) {
            const double v = FilterValue(filter, (j + 0.5 - center) / widen);
            if (v == 0) continue;
            // Beyond the edges the edge pixels repeat.
            w[size_t(std::clamp(j, 0, srcLen - 1) - first)] += v;
            sum += v;
        }
        TContribution& c = out[size_t(i)];
        c.First = first;
        if (std::fabs(sum) < 1e-12) {
            c.First = std::clamp(int(center), 0, srcLen - 1);
            c.Weights = {1.0f};
            continue;
        }
        // Trim zero weights at both ends.
        size_t a = 0, b = w.size();
        while (a < b && w[a] == 0) ++a;
        while (b > a && w[b - 1] == 0) --b;
        c.First = first + int(a);
        for (size_t k = a; k < b; ++k) c.Weights.push_back(float(w[k] / sum));
    }
    return out;
}

inline int Clamp255(float v) { return v <= 0 ? 0 : v >= 255 ? 255 : int(v + 0.5f); }

} // namespace

double FilterSupport(TResampleFilter filter) {
    switch (filter) {
    case TResampleFilter::rfNone: return 0.5;
    case TResampleFilter::rfLinear:
    case TResampleFilter::rfHermite: return 1;
    case TResampleFilter::rfBell: return 1.5;
    case TResampleFilter::rfBSpline:
    case TResampleFilter::rfMitchell: return 2;
    case TResampleFilter::rfLanczos3: return 3;
    }
    return 1;
}

double FilterValue(TResampleFilter filter, double x) {
    const double t = std::fabs(x);
    switch (filter) {
    case TResampleFilter::rfNone: return (x >= -0.5 && x < 0.5) ? 1 : 0;
    case TResampleFilter::rfLinear: return t < 1 ? 1 - t : 0;
    case TResampleFilter::rfHermite: return t < 1 ? (2 * t - 3) * t * t + 1 : 0;
    case TResampleFilter::rfBell:
        if (t < 0.5) return 0.75 - t * t;
        if (t < 1.5) return 0.5 * (t - 1.5) * (t - 1.5);
        return 0;
    case TResampleFilter::rfBSpline:
        if (t < 1) return 0.5 * t * t * t - t * t + 2.0 / 3;
        if (t < 2) return (2 - t) * (2 - t) * (2 - t) / 6;
        return 0;
    case TResampleFilter::rfLanczos3: return t < 3 ? Sinc(t) * Sinc(t / 3) : 0;
    case TResampleFilter::rfMitchell: {
        constexpr double B = 1.0 / 3, C = 1.0 / 3;
        if (t < 1) return ((12 - 9 * B - 6 * C) * t * t * t + (-18 + 12 * B + 6 * C) * t * t + (6 - 2 * B)) / 6;
        if (t < 2) return ((-B - 6 * C) * t * t * t + (6 * B + 30 * C) * t * t + (-12 * B - 48 * C) * t + (8 * B + 24 * C)) / 6;
        return 0;
    }
    }
    return 0;
}

QImage Resample(const QImage& image, QSize size, TResampleFilter filter) {
    if (int(filter) > 6) throw EInvalidGraphicOperation(QStringLiteral("Unknown resampling filter %1").arg(int(filter)));
    if (image.isNull()) return QImage();
    CheckPictureSize(size.width(), size.height());
    const bool alpha = image.hasAlphaChannel();
    const QImage src = image.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    const int sw = src.width(), sh = src.height(), dw = size.width(), dh = size.height();
    QImage out = NewImage(dw, dh, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    const std::vector<TContribution> cx = Contributions(sw, dw, filter), cy = Contributions(sh, dh, filter);

    // Bands of output rows are independent: each resamples the source rows it needs horizontally, then
    // combines them vertically.
    const int bandRows = 32;
    const int bands = (dh + bandRows - 1) / bandRows;
    std::atomic<int> next{0};
    auto work = [&]() {
        std::vector<float> rows;
        for (int band = next++; band < bands; band = next++) {
            const int y0 = band * bandRows, y1 = std::min(dh, y0 + bandRows);
            int s0 = sh, s1 = -1;
            for (int y = y0; y < y1; ++y) {
                s0 = std::min(s0, cy[size_t(y)].First);
                s1 = std::max(s1, cy[size_t(y)].First + int(cy[size_t(y)].Weights.size()) - 1);
            }
            rows.assign(size_t(s1 - s0 + 1) * size_t(dw) * 4, 0.0f);
            for (int sy = s0; sy <= s1; ++sy) {
                const QRgb* in = reinterpret_cast<const QRgb*>(src.constScanLine(sy));
                float* dst = rows.data() + size_t(sy - s0) * size_t(dw) * 4;
                for (int x = 0; x < dw; ++x) {
                    const TContribution& c = cx[size_t(x)];
                    float a = 0, r = 0, g = 0, b = 0;
                    for (size_t k = 0; k < c.Weights.size(); ++k) {
                        const QRgb p = in[c.First + int(k)];
                        const float wgt = c.Weights[k];
                        a += wgt * float(qAlpha(p));
                        r += wgt * float(qRed(p));
                        g += wgt * float(qGreen(p));
                        b += wgt * float(qBlue(p));
                    }
                    dst[4 * x] = a;
                    dst[4 * x + 1] = r;
                    dst[4 * x + 2] = g;
                    dst[4 * x + 3] = b;
                }
            }
            for (int y = y0; y < y1; ++y) {
                const TContribution& c = cy[size_t(y)];
                QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
                for (int x = 0; x < dw; ++x) {
                    float v[4] = {0, 0, 0, 0};
                    for (size_t k = 0; k < c.Weights.size(); ++k) {
                        const float* p = rows.data() + (size_t(c.First + int(k) - s0) * size_t(dw) + size_t(x)) * 4;
                        const float wgt = c.Weights[k];
                        for (int ch = 0; ch < 4; ++ch) v[ch] += wgt * p[ch];
                    }
                    const int a = alpha ? Clamp255(v[0]) : 255;
                    // Premultiplied colour never exceeds its alpha.
                    line[x] = qRgba(std::min(a, Clamp255(v[1])), std::min(a, Clamp255(v[2])), std::min(a, Clamp255(v[3])), a);
                }
            }
        }
    };
    const qint64 workload = qint64(dw) * dh + qint64(sw) * sh;
    int threads = workload < 250000 ? 1 : std::min(std::max(1, QThread::idealThreadCount()), std::min(bands, 8));
    if (const int limit = TResampleThreadLimit::Current(); limit > 0) threads = std::min(threads, limit);
    std::vector<std::thread> pool;
    for (int i = 1; i < threads; ++i) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();
    return out;
}

namespace {
thread_local int tResampleThreads = 0;
} // namespace

void ParallelRows(int rows, qint64 pixels, const std::function<void(int first, int last)>& work) {
    int threads = pixels < 250000 ? 1 : std::max(1, QThread::idealThreadCount());
    if (const int limit = TResampleThreadLimit::Current(); limit > 0) threads = std::min(threads, limit);
    threads = std::min(threads, rows);
    if (threads <= 1) {
        if (rows > 0) work(0, rows);
        return;
    }
    const int band = std::max(1, rows / (threads * 8));
    std::atomic<int> next{0};
    const auto run = [&] {
        for (int first; (first = next.fetch_add(band)) < rows;) work(first, std::min(rows, first + band));
    };
    std::vector<std::thread> pool;
    for (int i = 1; i < threads; ++i) pool.emplace_back(run);
    run();
    for (auto& t : pool) t.join();
}

TResampleThreadLimit::TResampleThreadLimit(int threads) : FOld(tResampleThreads) { tResampleThreads = std::max(1, threads); }
TResampleThreadLimit::~TResampleThreadLimit() { tResampleThreads = FOld; }
int TResampleThreadLimit::Current() { return tResampleThreads; }
