#include "codec/Exr.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <ImfArray.h>
#include <ImfIO.h>
#include <ImfRgbaFile.h>
#include <ImfThreading.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

DEFINE_CONTENT_GRAPHIC_CLASS(TExrGraphic)

namespace {

constexpr qint64 kMaxFileSize = qint64(1) << 31;

// The file's bytes as the library's input stream.
class TMemoryStream : public Imf::IStream {
public:
    explicit TMemoryStream(const QByteArray& data) : Imf::IStream("memory"), FData(data) {}
    bool read(char c[], int n) override {
        if (n < 0 || FPos + n > quint64(FData.size())) throw std::runtime_error("the file ends too early");
        std::memcpy(c, FData.constData() + FPos, size_t(n));
        FPos += quint64(n);
        return FPos < quint64(FData.size());
    }
    uint64_t tellg() override { return FPos; }
    void seekg(uint64_t pos) override { FPos = pos; }

private:
    const QByteArray& FData;
    quint64 FPos = 0;
};

double SrgbEncode(double v) {
    v = std::clamp(v, 0.0, 1.0);
    return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

double Luminance(const Imf::Rgba& p) { return 0.2126 * double(p.r) + 0.7152 * double(p.g) + 0.0722 * double(p.b); }

bool Finite(const Imf::Rgba& p) { return std::isfinite(float(p.r)) && std::isfinite(float(p.g)) && std::isfinite(float(p.b)); }

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
    const QByteArray data = ReadRemaining(stream, kMaxFileSize);
    qint64 w = 0, h = 0;
    try {
        TMemoryStream input(data);
        Imf::RgbaInputFile file(input, 0);
        const Imath::Box2i window = file.dataWindow();
        w = qint64(window.max.x) - window.min.x + 1;
        h = qint64(window.max.y) - window.min.y + 1;
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
    const QByteArray data = ReadRemaining(stream, kMaxFileSize);
    Imf::Array2D<Imf::Rgba> pixels;
    int width = 0, height = 0;
    bool alpha = false;
    try {
        Imf::setGlobalThreadCount(0);
        TMemoryStream input(data);
        Imf::RgbaInputFile file(input, 0);
        const Imath::Box2i window = file.dataWindow();
        const qint64 w = qint64(window.max.x) - window.min.x + 1, h = qint64(window.max.y) - window.min.y + 1;
        CheckPictureSize(w, h);
        width = int(w);
        height = int(h);
        alpha = file.channels() & Imf::WRITE_A;
        pixels.resizeErase(height, width);
        file.setFrameBuffer(&pixels[0][0] - qint64(window.min.x) - qint64(window.min.y) * width, 1, size_t(width));
        file.readPixels(window.min.y, window.max.y);
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
    double white = 1.0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double a;
            const double u = straight(pixels[y][x], &a);
            if (Finite(pixels[y][x])) white = std::max(white, Luminance(pixels[y][x]) * u);
        }
    FWhite = white;
    QImage image = NewImage(width, height, alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgba64*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const Imf::Rgba& p = pixels[y][x];
            double a;
            const double u = straight(p, &a);
            const double l = Luminance(p) * u;
            auto channel = [&](double c) { return quint16(std::lround(SrgbEncode(ExrToneMap(c * u, l, white)) * 65535.0)); };
            line[x] = QRgba64::fromRgba64(channel(double(float(p.r))), channel(double(float(p.g))), channel(double(float(p.b))),
                                          quint16(std::lround(a * 65535.0)));
        }
    }
    FImage = image;
    SetTransparent(alpha);
}
