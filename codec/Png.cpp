#include "codec/Png.h"
#include "codec/Headers.h"

#include "codec/Limits.h"
#include "codec/Resample.h"
#include "codec/Stream.h"

#include <QColorSpace>
#include <QColorTransform>
#include <QIODevice>

#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include <png.h>
#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

DEFINE_GRAPHIC_CLASS(TPngGraphic)

// libpng reports fatal errors through the error function, which jumps back to the setjmp of the coder
// method that called into the library. As in the JPEG coder, every C++ object such a method uses is a
// member of the coder, so a jump skips no destructor.

namespace {

constexpr double kDisplayGamma = 2.2;

// The pixels known after Adam7 pass k (1-based) form a grid of blocks of this size.
constexpr int kAdam7Block[8][2] = {{8, 8}, {8, 8}, {4, 8}, {4, 4}, {2, 4}, {2, 2}, {1, 2}, {1, 1}};

class TPngDecoder {
public:
    explicit TPngDecoder(QIODevice& stream) : FStream(stream) {
        FPng = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, ErrorFn, WarningFn);
        if (FPng) FInfo = png_create_info_struct(FPng);
        if (!FPng || !FInfo) {
            png_destroy_read_struct(FPng ? &FPng : nullptr, nullptr, nullptr);
            throw EInvalidGraphic(QStringLiteral("Not enough memory for the PNG decoder"));
        }
        png_set_read_fn(FPng, this, ReadFn);
    }
    ~TPngDecoder() { png_destroy_read_struct(&FPng, &FInfo, nullptr); }
    TPngDecoder(const TPngDecoder&) = delete;
    TPngDecoder& operator=(const TPngDecoder&) = delete;

    QImage Decode(const std::function<void(int)>& progress) {
        FOnProgress = progress;
        if (setjmp(png_jmpbuf(FPng)) == 0) {
            DoHeader();
            DoRows();
        } else if (!Salvage()) {
            throw EInvalidGraphic(FMessage);
        }
        return Finish();
    }

    double FileGamma = 0;
    std::optional<QRgb> FileBackground;
    bool Interlaced = false;
    bool Truncated = false; // the data ended before the last pass did

private:
    static void ErrorFn(png_structp png, png_const_charp message) {
        auto* self = static_cast<TPngDecoder*>(png_get_error_ptr(png));
        self->FMessage = QString::fromLatin1(message);
        png_longjmp(png, 1);
    }
    static void WarningFn(png_structp, png_const_charp) {}
    static void ReadFn(png_structp png, png_bytep data, png_size_t length) {
        auto* self = static_cast<TPngDecoder*>(png_get_io_ptr(png));
        if (self->FStream.read(reinterpret_cast<char*>(data), qint64(length)) != qint64(length))
            png_error(png, "The PNG file is truncated");
    }

    void DoHeader() {
        png_read_info(FPng, FInfo);
        png_uint_32 width = 0, height = 0;
        int depth = 0, colorType = 0, interlace = 0;
        png_get_IHDR(FPng, FInfo, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
        CheckPictureSize(width, height);
        Interlaced = interlace != PNG_INTERLACE_NONE;

        // Colour: an ICC profile wins, an sRGB chunk needs nothing, a bare gAMA is corrected for the display.
        int intent = 0;
        png_charp iccName = nullptr;
        png_bytep icc = nullptr;
        png_uint_32 iccLength = 0;
        int compression = 0;
        double gamma = 0;
        if (png_get_gAMA(FPng, FInfo, &gamma) && gamma > 0) FileGamma = gamma;
        if (png_get_iCCP(FPng, FInfo, &iccName, &compression, &icc, &iccLength) && icc && iccLength > 0)
            FIcc = QByteArray(reinterpret_cast<const char*>(icc), int(iccLength));
        if (FIcc.isEmpty() && !png_get_sRGB(FPng, FInfo, &intent) && FileGamma > 0)
            png_set_gamma(FPng, kDisplayGamma, FileGamma);
        ReadBackground(colorType, depth);

        const bool palette = colorType == PNG_COLOR_TYPE_PALETTE;
        const bool trns = png_get_valid(FPng, FInfo, PNG_INFO_tRNS) != 0;
        bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0;
        bool grey = !palette && (colorType & PNG_COLOR_MASK_COLOR) == 0;
        const bool wide = depth == 16;
        if (palette) {
            if (depth < 8) png_set_packing(FPng);
        } else {
            if (grey && depth < 8) png_set_expand_gray_1_2_4_to_8(FPng);
            if (trns) {
                png_set_tRNS_to_alpha(FPng);
                alpha = true;
            }
            if (grey && alpha) {
                png_set_gray_to_rgb(FPng);
                grey = false;
            }
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
            if (wide) png_set_swap(FPng);
            if (!grey && !wide) png_set_bgr(FPng); // RGB32/ARGB32 are B, G, R, A in memory
            if (!grey && !alpha) png_set_filler(FPng, wide ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
#else
            if (!grey && !wide && alpha) png_set_swap_alpha(FPng); // A, R, G, B in memory
            if (!grey && !alpha) png_set_filler(FPng, wide ? 0xFFFF : 0xFF, wide ? PNG_FILLER_AFTER : PNG_FILLER_BEFORE);
#endif
        }
        FPasses = png_set_interlace_handling(FPng);
        png_read_update_info(FPng, FInfo);

        QImage::Format format;
        if (palette)
            format = QImage::Format_Indexed8;
        else if (grey)
            format = wide ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8;
        else if (wide)
            format = alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64;
        else
            format = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        FImage = NewImage(width, height, format);
        if (png_get_rowbytes(FPng, FInfo) > size_t(FImage.bytesPerLine()))
            png_error(FPng, "Unexpected PNG row size");
        if (palette) ReadPalette(); // after png_read_update_info, which corrects the palette for gamma
    }

    void ReadPalette() {
        png_colorp colours = nullptr;
        int count = 0;
        png_get_PLTE(FPng, FInfo, &colours, &count);
        png_bytep alphas = nullptr;
        int alphaCount = 0;
        png_get_tRNS(FPng, FInfo, &alphas, &alphaCount, nullptr);
        FPalette.resize(count);
        for (int i = 0; i < count; ++i)
            FPalette[i] = qRgba(colours[i].red, colours[i].green, colours[i].blue, i < alphaCount && alphas ? alphas[i] : 255);
    }

    void ReadBackground(int colorType, int depth) {
        png_color_16p bk = nullptr;
        if (!png_get_bKGD(FPng, FInfo, &bk) || !bk) return;
        if (colorType == PNG_COLOR_TYPE_PALETTE) {
            png_colorp colours = nullptr;
            int count = 0;
            if (png_get_PLTE(FPng, FInfo, &colours, &count) && bk->index < count)
                FileBackground = qRgb(colours[bk->index].red, colours[bk->index].green, colours[bk->index].blue);
        } else if ((colorType & PNG_COLOR_MASK_COLOR) == 0) {
            const int max = (1 << depth) - 1;
            const int g = (int(bk->gray) & max) * 255 / max;
            FileBackground = qRgb(g, g, g);
        } else {
            const int shift = depth == 16 ? 8 : 0;
            FileBackground = qRgb((bk->red >> shift) & 255, (bk->green >> shift) & 255, (bk->blue >> shift) & 255);
        }
    }

    void DoRows() {
        const int height = FImage.height();
        const int total = FPasses * height;
        for (FPass = 0; FPass < FPasses; ++FPass) {
            for (FRow = 0; FRow < height; ++FRow) {
                png_read_row(FPng, FImage.scanLine(FRow), nullptr);
                const int done = FPass * height + FRow;
                if (FOnProgress && done % 256 == 0) FOnProgress(int(qint64(done) * 100 / total));
            }
        }
        // What follows the pixels (text, time) is not needed; the end of the file is not read.
    }

    // After an error: keeps what was decoded. Plain files keep their complete rows; interlaced ones show
    // the last complete pass with each known pixel widened over its block.
    bool Salvage() {
        if (FImage.isNull() || FPass < 0) return false;
        Truncated = true;
        if (FPasses == 1) {
            if (FRow <= 0) return false;
            // The rows that never arrived show the background (painted once the colour table is known).
            for (int y = FRow; y < FImage.height(); ++y) std::memset(FImage.scanLine(y), 0, size_t(FImage.bytesPerLine()));
            FMissingFrom = FRow;
            return true;
        }
        if (FPass == 0) return false;
        const int bw = kAdam7Block[FPass][0], bh = kAdam7Block[FPass][1];
        const int bpp = FImage.depth() / 8;
        for (int y = 0; y < FImage.height(); ++y) {
            uchar* line = FImage.scanLine(y);
            const uchar* source = FImage.constScanLine(y - y % bh);
            for (int x = 0; x < FImage.width(); ++x)
                if (x % bw || y % bh) std::memcpy(line + x * bpp, source + (x - x % bw) * bpp, size_t(bpp));
        }
        return true;
    }

    QImage Finish() {
        if (FImage.format() == QImage::Format_Indexed8) {
            // Indices past the palette would read outside the colour table: they show as opaque black.
            int maxIndex = 0;
            for (int y = 0; y < FImage.height(); ++y) {
                const uchar* line = FImage.constScanLine(y);
                for (int x = 0; x < FImage.width(); ++x) maxIndex = std::max(maxIndex, int(line[x]));
            }
            while (FPalette.size() <= maxIndex) FPalette.append(qRgb(0, 0, 0));
        }
        if (!FIcc.isEmpty()) {
            const QColorSpace space = QColorSpace::fromIccProfile(FIcc);
            if (space.isValid() && space != QColorSpace(QColorSpace::SRgb)) {
                if (FImage.format() == QImage::Format_Indexed8) {
                    const QColorTransform t = space.transformationToColorSpace(QColorSpace::SRgb);
                    for (QRgb& c : FPalette) c = t.map(c);
                } else if (FImage.format() != QImage::Format_Grayscale8 && FImage.format() != QImage::Format_Grayscale16) {
                    // Grey pictures keep their levels: a profile for them describes no colours to convert.
                    FImage.setColorSpace(space);
                    FImage.convertToColorSpace(QColorSpace::SRgb);
                }
            }
        }
        if (FImage.format() == QImage::Format_Indexed8) FImage.setColorTable(FPalette);
        if (FMissingFrom >= 0) {
            // The file's own background colour where it gives one, for a picture without transparency.
            std::optional<QRgb> background;
            if (FileBackground && !FImage.hasAlphaChannel()) background = *FileBackground;
            FillMissingRows(FImage, FMissingFrom, FImage.height() - FMissingFrom, background);
        }
        return std::move(FImage);
    }

    QIODevice& FStream;
    png_structp FPng = nullptr;
    png_infop FInfo = nullptr;
    QString FMessage;
    QByteArray FIcc;
    QVector<QRgb> FPalette;
    QImage FImage;
    std::function<void(int)> FOnProgress;
    int FPasses = 1;
    int FPass = -1;
    int FRow = 0;
    int FMissingFrom = -1; // first row that never arrived (plain files)
};

struct TPngOptions {
    int Compression = 6;
    bool Interlace = false;
    double Gamma = 0;
    std::optional<QRgb> Transparent;
    std::optional<QRgb> Background;
};

// Index of the palette entry nearest to c.
int NearestIndex(const QVector<QRgb>& palette, QRgb c) {
    int best = 0, bestDistance = INT_MAX;
    for (int i = 0; i < palette.size(); ++i) {
        const int dr = qRed(palette[i]) - qRed(c), dg = qGreen(palette[i]) - qGreen(c), db = qBlue(palette[i]) - qBlue(c);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) best = i, bestDistance = d;
    }
    return best;
}

// The filter of PNG's lines that predicts a byte from its left, upper and upper-left neighbours
// (Paeth's); bpp bytes make a pixel. out[i] = raw[i] - the predictor, modulo 256.
void PaethRow(const uchar* raw, const uchar* previous, uchar* out, size_t bytes, size_t bpp) {
    size_t i = 0;
    // The first pixel has no left neighbours: the predictor is the byte above.
    for (; i < std::min(bpp, bytes); ++i) out[i] = uchar(raw[i] - previous[i]);
#if defined(__SSE2__)
    // Eight bytes at a time in 16-bit lanes; the choice is the one of the scalar loop below.
    const __m128i zero = _mm_setzero_si128(), low = _mm_set1_epi16(0xFF);
    auto load = [&](const uchar* p) { return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero); };
    auto absolute = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
    for (; i + 8 <= bytes; i += 8) {
        const __m128i a = load(raw + i - bpp), b = load(previous + i), c = load(previous + i - bpp), x = load(raw + i);
        const __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
        const __m128i pa = absolute(bc), pb = absolute(ac), pc = absolute(_mm_add_epi16(bc, ac));
        const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
        const __m128i notB = _mm_cmpgt_epi16(pb, pc);
        const __m128i bOrC = _mm_or_si128(_mm_and_si128(notB, c), _mm_andnot_si128(notB, b));
        const __m128i predictor = _mm_or_si128(_mm_and_si128(notA, bOrC), _mm_andnot_si128(notA, a));
        const __m128i d = _mm_and_si128(_mm_sub_epi16(x, predictor), low);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(d, d));
    }
#endif
    for (; i < bytes; ++i) {
        const int a = raw[i - bpp], b = previous[i], c = previous[i - bpp];
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        const int predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
        out[i] = uchar(raw[i] - predictor);
    }
}

// The encoder's large buffers, kept by each thread from one picture to the next: a batch writes
// picture after picture of one size, and fresh buffers cost page faults and clearing every time.
struct TPngScratch {
    std::vector<uchar> Filtered;
    std::vector<std::vector<uchar>> Parts;
    // What a thread keeps after a picture; more is given back.
    static constexpr size_t kKeep = 96u << 20;
    void Trim() {
        size_t held = Filtered.capacity();
        for (const auto& part : Parts) held += part.capacity();
        if (held > kKeep) {
            Filtered = {};
            Parts = {};
        }
    }
};

TPngScratch& Scratch() {
    thread_local TPngScratch scratch;
    return scratch;
}

class TPngEncoder {
public:
    explicit TPngEncoder(QIODevice& stream) : FStream(stream) {
        FPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, ErrorFn, WarningFn);
        if (FPng) FInfo = png_create_info_struct(FPng);
        if (!FPng || !FInfo) {
            png_destroy_write_struct(FPng ? &FPng : nullptr, nullptr);
            throw EWriteError(QStringLiteral("Not enough memory for the PNG encoder"));
        }
        png_set_write_fn(FPng, this, WriteFn, FlushFn);
    }
    ~TPngEncoder() { png_destroy_write_struct(&FPng, &FInfo); }
    TPngEncoder(const TPngEncoder&) = delete;
    TPngEncoder& operator=(const TPngEncoder&) = delete;

    void Encode(const QImage& image, const TPngOptions& options) {
        struct TTrim {
            ~TTrim() { Scratch().Trim(); }
        } trim;
        Prepare(image);
        CompressImage(options);
        if (setjmp(png_jmpbuf(FPng))) throw EWriteError(FMessage);
        DoEncode(options);
    }

private:
    static void ErrorFn(png_structp png, png_const_charp message) {
        auto* self = static_cast<TPngEncoder*>(png_get_error_ptr(png));
        self->FMessage = QString::fromLatin1(message);
        png_longjmp(png, 1);
    }
    static void WarningFn(png_structp, png_const_charp) {}
    static void WriteFn(png_structp png, png_bytep data, png_size_t length) {
        auto* self = static_cast<TPngEncoder*>(png_get_io_ptr(png));
        if (self->FStream.write(reinterpret_cast<const char*>(data), qint64(length)) != qint64(length))
            png_error(png, "Cannot write the PNG data");
    }
    static void FlushFn(png_structp) {}

    // Chooses the PNG kind for the picture and brings the pixels into the layout libpng takes. Everything
    // the library will be handed is made here, before the setjmp.
    void Prepare(const QImage& image) {
        const QColorSpace space = image.colorSpace();
        if (space.isValid() && space != QColorSpace(QColorSpace::SRgb)) FIcc = space.iccProfile();
        PrepareImage(image);
    }

    void PrepareImage(const QImage& image) {
        switch (image.format()) {
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB:
        case QImage::Format_Indexed8:
            if (image.colorCount() > 0) {
                FImage = image.convertToFormat(QImage::Format_Indexed8);
                FPalette = FImage.colorTable();
                int maxIndex = 0;
                for (int y = 0; y < FImage.height(); ++y) {
                    const uchar* line = FImage.constScanLine(y);
                    for (int x = 0; x < FImage.width(); ++x) maxIndex = std::max(maxIndex, int(line[x]));
                }
                while (FPalette.size() <= maxIndex) FPalette.append(qRgb(0, 0, 0));
                if (FPalette.size() > 256) FPalette.resize(256);
                FKind = PNG_COLOR_TYPE_PALETTE;
                FDepth = FPalette.size() <= 2 ? 1 : FPalette.size() <= 4 ? 2 : FPalette.size() <= 16 ? 4 : 8;
                return;
            }
            FImage = image.convertToFormat(QImage::Format_Grayscale8);
            FKind = PNG_COLOR_TYPE_GRAY;
            return;
        case QImage::Format_Grayscale8:
            FImage = image;
            FKind = PNG_COLOR_TYPE_GRAY;
            return;
        case QImage::Format_Grayscale16:
            FImage = image;
            FKind = PNG_COLOR_TYPE_GRAY;
            FDepth = 16;
            return;
        case QImage::Format_RGBX64:
        case QImage::Format_RGBA64:
        case QImage::Format_RGBA64_Premultiplied:
        case QImage::Format_BGR30:
        case QImage::Format_A2BGR30_Premultiplied:
        case QImage::Format_RGB30:
        case QImage::Format_A2RGB30_Premultiplied:
        case QImage::Format_RGBX16FPx4:
        case QImage::Format_RGBA16FPx4:
        case QImage::Format_RGBA16FPx4_Premultiplied:
        case QImage::Format_RGBX32FPx4:
        case QImage::Format_RGBA32FPx4:
        case QImage::Format_RGBA32FPx4_Premultiplied:
            FDepth = 16;
            FKind = image.hasAlphaChannel() ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
            FImage = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
            return;
        default:
            FKind = image.hasAlphaChannel() ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
            FImage = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
            return;
        }
    }

    void DoEncode(const TPngOptions& o) {
        const int width = FImage.width(), height = FImage.height();
        png_set_IHDR(FPng, FInfo, png_uint_32(width), png_uint_32(height), FDepth, FKind,
                     o.Interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_set_compression_level(FPng, o.Compression);
        const bool wide = FDepth == 16;
        const int scale = wide ? 257 : 1;
        if (FKind == PNG_COLOR_TYPE_PALETTE) {
            int alphaCount = 0;
            for (int i = 0; i < FPalette.size(); ++i) {
                const QRgb c = FPalette[i];
                FColours[i] = {png_byte(qRed(c)), png_byte(qGreen(c)), png_byte(qBlue(c))};
                FAlphas[i] = png_byte(o.Transparent && (c & 0xFFFFFF) == (*o.Transparent & 0xFFFFFF) ? 0 : qAlpha(c));
                if (FAlphas[i] != 255) alphaCount = i + 1;
            }
            png_set_PLTE(FPng, FInfo, FColours, int(FPalette.size()));
            if (alphaCount > 0) png_set_tRNS(FPng, FInfo, FAlphas, alphaCount, nullptr);
            if (o.Background) {
                png_color_16 bk{};
                bk.index = png_byte(NearestIndex(FPalette, *o.Background));
                png_set_bKGD(FPng, FInfo, &bk);
            }
        } else {
            const bool grey = FKind == PNG_COLOR_TYPE_GRAY;
            if (o.Transparent && !(FKind & PNG_COLOR_MASK_ALPHA)) {
                const QRgb t = *o.Transparent;
                png_color_16 key{};
                key.red = png_uint_16(qRed(t) * scale);
                key.green = png_uint_16(qGreen(t) * scale);
                key.blue = png_uint_16(qBlue(t) * scale);
                key.gray = png_uint_16(qRed(t) * scale);
                // A grey picture can only key out a grey level.
                if (!grey || (qRed(t) == qGreen(t) && qGreen(t) == qBlue(t))) png_set_tRNS(FPng, FInfo, nullptr, 0, &key);
            }
            if (o.Background) {
                const QRgb b = *o.Background;
                png_color_16 bk{};
                bk.red = png_uint_16(qRed(b) * scale);
                bk.green = png_uint_16(qGreen(b) * scale);
                bk.blue = png_uint_16(qBlue(b) * scale);
                bk.gray = png_uint_16(qGray(b) * scale);
                png_set_bKGD(FPng, FInfo, &bk);
            }
        }
        if (o.Gamma > 0) png_set_gAMA(FPng, FInfo, o.Gamma);
        if (!FIcc.isEmpty() && FKind != PNG_COLOR_TYPE_GRAY)
            png_set_iCCP(FPng, FInfo, "ICC profile", PNG_COMPRESSION_TYPE_BASE,
                         reinterpret_cast<png_const_bytep>(FIcc.constData()), png_uint_32(FIcc.size()));
        png_write_info(FPng, FInfo);
        // The image data, compressed beforehand: one chunk a part, the zlib header in front of the first,
        // the Adler-32 after the last.
        const auto idat = reinterpret_cast<png_const_bytep>("IDAT");
        for (size_t i = 0; i < FPartSizes.size(); ++i) {
            const bool first = i == 0, last = i + 1 == FPartSizes.size();
            png_write_chunk_start(FPng, idat, png_uint_32((first ? 2 : 0) + FPartSizes[i] + (last ? 4 : 0)));
            if (first) png_write_chunk_data(FPng, FHeader, 2);
            png_write_chunk_data(FPng, FParts[i].data(), FPartSizes[i]);
            if (last) png_write_chunk_data(FPng, FTrailer, 4);
            png_write_chunk_end(FPng);
        }
        png_write_chunk(FPng, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
    }

    // The scan lines as PNG stores them: pass by pass for Adam7, each line a filter byte and the pixels
    // packed big-endian. Lines of 8 bits or more per sample are Paeth-filtered, palette and packed lines
    // are not (as the format's authors advise).
    void FilterImage(bool interlace) {
        const int width = FImage.width(), height = FImage.height();
        const bool palette = FKind == PNG_COLOR_TYPE_PALETTE;
        const int channels = palette || FKind == PNG_COLOR_TYPE_GRAY ? 1 : FKind == PNG_COLOR_TYPE_RGB ? 3 : 4;
        const int bits = channels * FDepth;
        const int bpp = std::max(1, bits / 8);
        const bool filtered = !palette && FDepth >= 8;
        struct TPass {
            int X0, Y0, Dx, Dy;
        };
        static const TPass adam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
        static const TPass whole[1] = {{0, 0, 1, 1}};
        const TPass* passes = interlace ? adam7 : whole;
        const int passCount = interlace ? 7 : 1;
        qint64 total = 0;
        for (int p = 0; p < passCount; ++p) {
            const qint64 w = (width - passes[p].X0 + passes[p].Dx - 1) / passes[p].Dx;
            const qint64 h = (height - passes[p].Y0 + passes[p].Dy - 1) / passes[p].Dy;
            if (w > 0 && h > 0) total += h * (1 + (w * bits + 7) / 8);
        }
        // Every byte is written below: the buffer is not cleared.
        FFiltered.resize(size_t(total));
        FRowEnds.clear();
        std::vector<uchar> raw, previous;
        uchar* out = FFiltered.data();
        for (int p = 0; p < passCount; ++p) {
            const TPass& pass = passes[p];
            const int w = (width - pass.X0 + pass.Dx - 1) / pass.Dx;
            if (w <= 0) continue;
            const size_t bytes = size_t((qint64(w) * bits + 7) / 8);
            raw.assign(bytes, 0);
            previous.assign(bytes, 0);
            for (int y = pass.Y0; y < height; y += pass.Dy) {
                PackRow(y, pass.X0, pass.Dx, w, raw.data());
                *out++ = filtered ? 4 : 0;
                if (!filtered) {
                    std::memcpy(out, raw.data(), bytes);
                } else {
                    PaethRow(raw.data(), previous.data(), out, bytes, size_t(bpp));
                }
                out += bytes;
                FRowEnds.push_back(size_t(out - FFiltered.data()));
                raw.swap(previous);
            }
        }
    }

    // One line (or the pixels x0, x0 + dx, ... of it) in PNG's byte layout.
    void PackRow(int y, int x0, int dx, int count, uchar* out) const {
        const uchar* line = FImage.constScanLine(y);
        if (FKind == PNG_COLOR_TYPE_PALETTE || (FKind == PNG_COLOR_TYPE_GRAY && FDepth == 8)) {
            if (FDepth == 8) {
                for (int i = 0, x = x0; i < count; ++i, x += dx) out[i] = line[x];
            } else {
                std::memset(out, 0, size_t((count * FDepth + 7) / 8));
                for (int i = 0, x = x0; i < count; ++i, x += dx) {
                    const int bit = i * FDepth;
                    out[bit >> 3] |= uchar(line[x] << (8 - FDepth - (bit & 7)));
                }
            }
            return;
        }
        if (FKind == PNG_COLOR_TYPE_GRAY) { // 16 bits
            const auto* px = reinterpret_cast<const quint16*>(line);
            for (int i = 0, x = x0; i < count; ++i, x += dx) out[2 * i] = uchar(px[x] >> 8), out[2 * i + 1] = uchar(px[x]);
            return;
        }
        const bool alpha = FKind & PNG_COLOR_MASK_ALPHA;
        if (FDepth == 16) {
            const auto* px = reinterpret_cast<const QRgba64*>(line);
            for (int i = 0, x = x0; i < count; ++i, x += dx) {
                const quint16 v[4] = {px[x].red(), px[x].green(), px[x].blue(), px[x].alpha()};
                for (int k = 0; k < (alpha ? 4 : 3); ++k) *out++ = uchar(v[k] >> 8), *out++ = uchar(v[k]);
            }
            return;
        }
        const auto* px = reinterpret_cast<const QRgb*>(line);
        for (int i = 0, x = x0; i < count; ++i, x += dx) {
            *out++ = uchar(qRed(px[x]));
            *out++ = uchar(qGreen(px[x]));
            *out++ = uchar(qBlue(px[x]));
            if (alpha) *out++ = uchar(qAlpha(px[x]));
        }
    }

    // The deflate strategy for the filtered lines. The residuals a photograph leaves after filtering
    // repeat little, so matching only runs (Z_RLE) compresses them about as well as the full search of
    // the level, many times faster; drawings and screenshots repeat a lot and keep the full search.
    // Samples spread over the data decide: run matching is taken when its output is at most 3% larger
    // (levels 1 to 6) or no larger (7 to 9, where the user asked for the smallest file). The choice
    // depends on the pixels only, so a picture is written the same way on every machine.
    int ChooseStrategy(int level) const {
        if (level == 0 || FFiltered.empty()) return Z_DEFAULT_STRATEGY;
        constexpr size_t kSample = 64 * 1024;
        constexpr int kSamples = 4;
        const size_t total = FFiltered.size();
        const size_t piece = std::min(kSample, total);
        auto compressed = [&](size_t begin, int strategy) -> size_t {
            z_stream z{};
            if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy) != Z_OK) return SIZE_MAX;
            std::vector<uchar> out(deflateBound(&z, uLong(piece)) + 16);
            z.next_in = const_cast<uchar*>(FFiltered.data() + begin);
            z.avail_in = uInt(piece);
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            const int r = deflate(&z, Z_FINISH);
            const size_t size = r == Z_STREAM_END ? size_t(z.total_out) : SIZE_MAX;
            deflateEnd(&z);
            return size;
        };
        size_t runs = 0, full = 0;
        const int samples = total <= piece ? 1 : kSamples;
        for (int i = 0; i < samples; ++i) {
            const size_t begin = samples == 1 ? 0 : (total - piece) * size_t(i) / size_t(samples - 1);
            const size_t r = compressed(begin, Z_RLE), f = compressed(begin, Z_DEFAULT_STRATEGY);
            if (r == SIZE_MAX || f == SIZE_MAX) return Z_DEFAULT_STRATEGY;
            runs += r;
            full += f;
        }
        const size_t allowed = level <= 6 ? full + full * 3 / 100 : full;
        return runs <= allowed ? Z_RLE : Z_DEFAULT_STRATEGY;
    }

    // The zlib stream of the filtered lines, compressed in parts on several threads: each part a raw
    // deflate stream primed with the 32 KiB before it and ended with a sync flush (the last one finished),
    // then one header and the Adler-32 of the whole.
    void CompressImage(const TPngOptions& o) {
        FilterImage(o.Interlace);
        const int level = std::clamp(o.Compression, 0, 9);
        const int strategy = ChooseStrategy(level);
        const size_t total = FFiltered.size();
        // Parts of a fixed size, ending at line ends: the file's bytes are the same on every machine,
        // whatever its number of cores.
        constexpr size_t kPart = 1024 * 1024;
        std::vector<size_t> ends;
        for (size_t target = kPart; target < total; target += kPart) {
            const auto it = std::lower_bound(FRowEnds.begin(), FRowEnds.end(), target);
            if (it != FRowEnds.end() && *it < total && (ends.empty() || *it > ends.back())) ends.push_back(*it);
        }
        ends.push_back(total);
        const size_t parts = ends.size();
        // A caller that runs several writers at once (a batch on a thread pool) gives each its share.
        int threads = std::max(1, std::min(QThread::idealThreadCount(), 16));
        if (const int limit = TResampleThreadLimit::Current(); limit > 0) threads = std::min(threads, limit);
        if (FParts.size() < parts) FParts.resize(parts);
        FPartSizes.assign(parts, 0);
        FPartAdler.assign(parts, 0);
        std::atomic<size_t> next{0};
        std::atomic<bool> failed{false};
        auto work = [&] {
            for (size_t i = next++; i < parts; i = next++) {
                const size_t begin = i ? ends[i - 1] : 0, end = ends[i];
                z_stream z{};
                if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy) != Z_OK) {
                    failed = true;
                    continue;
                }
                if (begin > 0) {
                    const size_t dict = std::min<size_t>(begin, 32768);
                    deflateSetDictionary(&z, FFiltered.data() + begin - dict, uInt(dict));
                }
                std::vector<uchar>& out = FParts[i];
                const size_t bound = deflateBound(&z, uLong(end - begin)) + 16;
                if (out.size() < bound) out.resize(bound);
                z.next_in = FFiltered.data() + begin;
                z.avail_in = uInt(end - begin);
                z.next_out = out.data();
                z.avail_out = uInt(out.size());
                const int r = deflate(&z, i + 1 == parts ? Z_FINISH : Z_SYNC_FLUSH);
                if ((i + 1 == parts && r != Z_STREAM_END) || (i + 1 < parts && r != Z_OK) || z.avail_in != 0) failed = true;
                FPartSizes[i] = size_t(z.total_out);
                deflateEnd(&z);
                FPartAdler[i] = adler32(adler32(0, nullptr, 0), FFiltered.data() + begin, uInt(end - begin));
            }
        };
        std::vector<std::thread> pool;
        for (int t = 1; t < std::min<int>(threads, int(parts)); ++t) pool.emplace_back(work);
        work();
        for (auto& t : pool) t.join();
        if (failed) throw EWriteError(QStringLiteral("Cannot compress the PNG data"));
        // zlib header: deflate with a 32 KiB window, the level's class as zlib writes it.
        const int flevel = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
        const int cmf = 0x78;
        int flg = flevel << 6;
        flg += 31 - (cmf * 256 + flg) % 31;
        FHeader[0] = png_byte(cmf);
        FHeader[1] = png_byte(flg);
        uLong adler = adler32(0, nullptr, 0);
        for (size_t i = 0; i < parts; ++i) {
            const size_t length = ends[i] - (i ? ends[i - 1] : 0);
            adler = adler32_combine(adler, FPartAdler[i], z_off_t(length));
        }
        for (int k = 0; k < 4; ++k) FTrailer[k] = png_byte((adler >> (24 - 8 * k)) & 0xFF);
    }

    QIODevice& FStream;
    png_structp FPng = nullptr;
    png_infop FInfo = nullptr;
    QString FMessage;
    QImage FImage;
    QVector<QRgb> FPalette;
    QByteArray FIcc;
    std::vector<uchar>& FFiltered = Scratch().Filtered; // the filtered lines
    std::vector<size_t> FRowEnds;
    std::vector<std::vector<uchar>>& FParts = Scratch().Parts; // each part's deflate data, FPartSizes long
    std::vector<size_t> FPartSizes;
    std::vector<uLong> FPartAdler;
    png_byte FHeader[2] = {};
    png_byte FTrailer[4] = {};
    png_color FColours[256] = {};
    png_byte FAlphas[256] = {};
    int FKind = PNG_COLOR_TYPE_RGB;
    int FDepth = 8;
};

bool ParseFlag(const QString& key, const QString& value) {
    const QString v = value.trimmed().toLower();
    if (v == QLatin1String("1") || v == QLatin1String("true") || v == QLatin1String("yes") || v == QLatin1String("on")) return true;
    if (v == QLatin1String("0") || v == QLatin1String("false") || v == QLatin1String("no") || v == QLatin1String("off")) return false;
    throw EInvalidGraphicOperation(QStringLiteral("The option %1 takes 0 or 1, not '%2'").arg(key, value));
}

// "RRGGBB" (a leading '#' allowed); an empty value clears the colour.
std::optional<QRgb> ParseColour(const QString& key, const QString& value) {
    QString v = value.trimmed();
    if (v.isEmpty()) return std::nullopt;
    if (v.startsWith(QLatin1Char('#'))) v.remove(0, 1);
    bool ok = false;
    const uint rgb = v.toUInt(&ok, 16);
    if (!ok || v.size() != 6)
        throw EInvalidGraphicOperation(QStringLiteral("The option %1 takes a colour RRGGBB, not '%2'").arg(key, value));
    return qRgb(int(rgb >> 16) & 255, int(rgb >> 8) & 255, int(rgb) & 255);
}

} // namespace

bool TPngGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) { return ReadPngHeader(stream, info); }

void TPngGraphic::ReadPage(QIODevice& stream, int) {
    TPngDecoder decoder(stream);
    Progress(TProgressStage::psStarting, 0);
    QImage image = decoder.Decode([this](int percent) { Progress(TProgressStage::psRunning, quint8(percent)); });
    FFileGamma = decoder.FileGamma;
    FFileBackground = decoder.FileBackground;
    FFileInterlaced = decoder.Interlaced;
    FImage = std::move(image);
    SetTruncated(decoder.Truncated);
    Progress(TProgressStage::psEnding, 100);
}

bool TPngGraphic::SetSaveOption(const QString& key, const QString& value) {
    if (key == QLatin1String("compression")) {
        bool ok = false;
        const int level = value.trimmed().toInt(&ok);
        if (!ok || level < 0 || level > 9)
            throw EInvalidGraphicOperation(QStringLiteral("The PNG compression must be 0 to 9, not '%1'").arg(value));
        FCompression = level;
    } else if (key == QLatin1String("interlace")) {
        FInterlace = ParseFlag(key, value);
    } else if (key == QLatin1String("gamma")) {
        bool ok = false;
        const double g = value.trimmed().toDouble(&ok);
        if (!ok || !(g >= 0.01 && g <= 100))
            throw EInvalidGraphicOperation(QStringLiteral("The PNG gamma must be 0.01 to 100, not '%1'").arg(value));
        FGamma = g;
    } else if (key == QLatin1String("transparent")) {
        FTransparentColor = ParseColour(key, value);
    } else if (key == QLatin1String("background")) {
        FBackgroundColor = ParseColour(key, value);
    } else {
        return false;
    }
    return true;
}

void TPngGraphic::SaveToStream(QIODevice& stream) const {
    if (FImage.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    TPngOptions options;
    options.Compression = FCompression;
    options.Interlace = FInterlace;
    options.Gamma = FGamma;
    options.Transparent = FTransparentColor;
    options.Background = FBackgroundColor;
    TPngEncoder encoder(stream);
    encoder.Encode(FImage, options);
}
