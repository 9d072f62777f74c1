// Separable resampling of 32-bit pictures with the filters of the resize-and-save path. Alpha is handled
// premultiplied; bands of rows run on several threads. No shared state: safe to call from any thread.
#pragma once

#include <QImage>
#include <QSize>

#include <functional>

// Numbered as the low four bits of the resize option number them.
enum class TResampleFilter : quint8 {
    rfNone = 0,     // box: pixel averaging when shrinking, pixel replication when enlarging
    rfLinear = 1,   // triangle
    rfHermite = 2,
    rfBell = 3,
    rfBSpline = 4,
    rfLanczos3 = 5,
    rfMitchell = 6,
};

// The filter's value at x and its support (half width), in source pixels at scale 1.
double FilterValue(TResampleFilter filter, double x);
double FilterSupport(TResampleFilter filter);

// The picture resampled to size: Format_ARGB32_Premultiplied when the source has alpha, else
// Format_RGB32. Raises EInvalidGraphic when size is empty or exceeds the pixel limit, and
// EInvalidGraphicOperation for an unknown filter.
QImage Resample(const QImage& image, QSize size, TResampleFilter filter);

// Runs work(first, last) over the rows [0, rows) of a picture of `pixels` pixels in bands on as many
// threads as Resample would take (the calling thread alone for small pictures), and returns when all
// are done. work must not throw.
void ParallelRows(int rows, qint64 pixels, const std::function<void(int first, int last)>& work);

// Limits the threads Resample (and the PNG writer's compression) uses on the calling thread while the
// object lives (workers of a pool that already keeps every core busy give 1, so nested work never
// oversubscribes the machine).
class TResampleThreadLimit {
public:
    explicit TResampleThreadLimit(int threads);
    ~TResampleThreadLimit();
    TResampleThreadLimit(const TResampleThreadLimit&) = delete;
    TResampleThreadLimit& operator=(const TResampleThreadLimit&) = delete;
    // The limit on the calling thread; 0 when none is set.
    static int Current();

private:
    int FOld;
};
