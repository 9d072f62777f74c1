#include "codec/Exr.h"

#include "codec/Limits.h"
#include "codec/Resample.h"
#include "codec/Stream.h"

#include <QBuffer>
#include <QThread>

#include <ImfArray.h>
#include <ImfIO.h>
#include <ImfRgbaFile.h>
#include <ImfThreading.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <mutex>

DEFINE_CONTENT_GRAPHIC_CLASS(TExrGraphic)

namespace {

constexpr qint64 kMaxFileSize = qint64(1) << 31;

// A seekable device as the library's input stream, from the device's position on: the library reads
// the header and the offset table, then only the chunks it decodes.
class TDeviceStream : public Imf::IStream {
public:
    explicit TDeviceStream(QIODevice& device) : Imf::IStream("picture"), FDevice(device), FStart(device.pos()) {}
    bool read(char c[], int n) override {
        if (n < 0) throw std::runtime_error("a negative read");
        qint64 done = 0;
        while (done < n) {
            const qint64 got = FDevice.read(c + done, n - done);
            if (got <= 0) throw std::runtime_error("the file ends too early");
            done += got;
        }
        return !FDevice.atEnd();
    }
    uint64_t tellg() override { return uint64_t(FDevice.pos() - FStart); }
    void seekg(uint64_t pos) override {
        if (pos > uint64_t(kMaxFileSize) || !FDevice.seek(FStart + qint64(pos))) throw std::runtime_error("a seek beyond the file");
    }

private:
    QIODevice& FDevice;
    qint64 FStart;
};

// Runs read on the stream, or on its remaining bytes in memory when it cannot seek.
template <class Read> auto WithSeekable(QIODevice& stream, Read read) {
    if (!stream.isSequential()) {
        TDeviceStream input(stream);
        return read(input);
    }
    QByteArray data = ReadRemaining(stream, kMaxFileSize);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    TDeviceStream input(buffer);
    return read(input);
}

// The threads a load decodes on: the machine's, or the caller's limit.
int DecodeThreads() {
    static std::once_flag once;
    static int machine = 1;
    std::call_once(once, [] {
        machine = std::max(1, QThread::idealThreadCount());
        Imf::setGlobalThreadCount(machine > 1 ? machine : 0);
    });
    const int limit = TResampleThreadLimit::Current();
    return limit > 0 ? std::min(limit, machine) : machine;
}

double SrgbEncode(double v) {
    v = std::clamp(v, 0.0, 1.0);
    return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

double Luminance(const Imf::Rgba& p) { return 0.2126 * double(p.r) + 0.7152 * double(p.g) + 0.0722 * double(p.b); }

bool Finite(const Imf::Rgba& p) { return std::isfinite(float(p.r)) && std::isfinite(float(p.g)) && std::isfinite(float(p.b)); }

// sRGB's curve from 0..1 to 0..65535: the formula below the linear toe, a fine table with linear
// steps above it (within 0.01 of the formula; the formula's pow per channel was most of a load).
class TSrgbTable {
public:
    TSrgbTable() : FTable(kSize + 1) {
        for (int i = 0; i <= kSize; ++i) FTable[size_t(i)] = float(SrgbEncode(double(i) / kSize) * 65535.0);
    }
    quint16 operator()(double v) const {
        if (!(v > 0)) return 0;
        if (v >= 1) return 65535;
        if (v <= 0.0031308) return quint16(12.92 * 65535.0 * v + 0.5);
        const double f = v * kSize;
        const int i = int(f);
        const double t = f - i;
        return quint16(FTable[size_t(i)] + (FTable[size_t(i) + 1] - FTable[size_t(i)]) * t + 0.5);
    }

private:
    static constexpr int kSize = 65536;
    std::vector<float> FTable;
};

const TSrgbTable& SrgbTable() {
    static const TSrgbTable table;
    return table;
}

} // namespace

double ExrToneMap(double c, double l, double w) {
    if (!(c > 0) || !std::isfinite(c)) return 0;
    if (!(l > 0) || !std::isfinite(l)) return std::clamp(c, 0.0, 1.0);
    const double mapped = l * (1 + l / (w * w)) / (1 + l);
    return std::clamp(c * mapped / l, 0.0, 1.0);
}

bool TExrGraphic::AcceptsContent(QIODevice& stream) {
    TStreamPositionKeeper keep(stream);
    const QByteArray head = stream.read(4);
    return head == QByteArray("\x76\x2F\x31\x01", 4);
}

bool TExrGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    qint64 w = 0, h = 0;
    try {
        WithSeekable(stream, [&](Imf::IStream& input) {
            Imf::RgbaInputFile file(input, 0);
            const Imath::Box2i window = file.dataWindow();
            w = qint64(window.max.x) - window.min.x + 1;
            h = qint64(window.max.y) - window.min.y + 1;
            return 0;
        });
    } catch (const Exception&) {
        throw;
    } catch (const std::exception& e) {
        throw EInvalidGraphic(QStringLiteral("Cannot read the OpenEXR picture: %1").arg(QString::fromUtf8(e.what())));
    }
    CheckPictureSize(w, h);
    info.Width = int(w);
    info.Height = int(h);
    info.Frames = 1;
    return true;
}

void TExrGraphic::ReadPage(QIODevice& stream, int page) {
    (void)page;
    Imf::Array2D<Imf::Rgba> pixels;
    int width = 0, height = 0;
    bool alpha = false;
    try {
        const int threads = DecodeThreads();
        WithSeekable(stream, [&](Imf::IStream& input) {
            Imf::RgbaInputFile file(input, threads);
            const Imath::Box2i window = file.dataWindow();
            const qint64 w = qint64(window.max.x) - window.min.x + 1, h = qint64(window.max.y) - window.min.y + 1;
            CheckPictureSize(w, h);
            width = int(w);
            height = int(h);
            alpha = file.channels() & Imf::WRITE_A;
            pixels.resizeErase(height, width);
            file.setFrameBuffer(&pixels[0][0] - qint64(window.min.x) - qint64(window.min.y) * width, 1, size_t(width));
            file.readPixels(window.min.y, window.max.y);
            return 0;
        });
    } catch (const Exception&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw EPictureTooLarge(QStringLiteral("Not enough memory for the OpenEXR picture"));
    } catch (const std::exception& e) {
        throw EInvalidGraphic(QStringLiteral("Cannot read the OpenEXR picture: %1").arg(QString::fromUtf8(e.what())));
    }

    // Straight colours: stored premultiplied by alpha.
    auto straight = [alpha](const Imf::Rgba& p, double* a) {
        double alphaValue = alpha ? double(float(p.a)) : 1.0;
        if (!std::isfinite(alphaValue)) alphaValue = 1.0;
        *a = std::clamp(alphaValue, 0.0, 1.0);
        return alpha && *a > 0 ? 1.0 / *a : 1.0;
    };
    const qint64 count = qint64(width) * height;
    std::mutex lock;
    double white = 1.0;
    ParallelRows(height, count, [&](int first, int last) {
        double bandWhite = 1.0;
        for (int y = first; y < last; ++y)
            for (int x = 0; x < width; ++x) {
                double a;
                const double u = straight(pixels[y][x], &a);
                if (Finite(pixels[y][x])) bandWhite = std::max(bandWhite, Luminance(pixels[y][x]) * u);
            }
        std::lock_guard<std::mutex> guard(lock);
        white = std::max(white, bandWhite);
    });
    FWhite = white;
    QImage image = NewImage(width, height, alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
    const TSrgbTable& encode = SrgbTable();
    uchar* const bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    ParallelRows(height, count, [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            auto* line = reinterpret_cast<QRgba64*>(bits + y * bytesPerLine);
            for (int x = 0; x < width; ++x) {
                const Imf::Rgba& p = pixels[y][x];
                double a;
                const double u = straight(p, &a);
                const double l = Luminance(p) * u;
                auto channel = [&](double c) { return encode(ExrToneMap(c * u, l, white)); };
                line[x] = QRgba64::fromRgba64(channel(double(float(p.r))), channel(double(float(p.g))),
                                              channel(double(float(p.b))), quint16(a * 65535.0 + 0.5));
            }
        }
    });
    FImage = image;
    SetTransparent(alpha);
}
