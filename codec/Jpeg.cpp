#include "codec/Jpeg.h"
#include "codec/Headers.h"

#include "codec/Limits.h"
#include "codec/PictureColour.h"
#include "codec/Stream.h"

#include <QColorSpace>
#include <QIODevice>
#include <QPainter>
#include <QTransform>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <jerror.h>
#include <jpeglib.h>

DEFINE_GRAPHIC_CLASS(TJpegGraphic)

// libjpeg reports fatal errors through error_exit, which must not return. It jumps back to the setjmp of
// the coder method that called into the library; that method turns the message into EInvalidGraphic.
// The coder methods that call setjmp keep every C++ object they use in members of the coder, never in
// locals of the frames that a jump can skip, so nothing is leaked and no destructor is bypassed.

namespace {

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE kRgb32Space = JCS_EXT_BGRX; // QImage::Format_RGB32 is B, G, R, X in memory
#else
constexpr J_COLOR_SPACE kRgb32Space = JCS_EXT_XRGB;
#endif

// Progressive files with thousands of tiny scans take minutes to decode; real files have a dozen or so.
constexpr int kMaxScans = 1000;
// Rows handed to libjpeg per call.
constexpr int kRowsPerCall = 16;

struct TErrorManager {
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX] = {};
    bool InOutput = false;  // the rows are being read
    bool HitEnd = false;    // the data ended while the rows were being read
    JDIMENSION EndRow = 0;  // rows complete when it did
    bool SawEnd = false;    // the data ended early, at any stage (later scans of a progressive file)
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->Message);
    std::longjmp(err->Jump, 1);
}

// Warnings are counted, never printed. The end of the data while rows are read marks how many are good.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
    if (cinfo->err->msg_code == JWRN_JPEG_EOF) err->SawEnd = true;
    if (cinfo->err->msg_code == JWRN_JPEG_EOF && err->InOutput && !err->HitEnd && cinfo->is_decompressor) {
        err->HitEnd = true;
        err->EndRow = reinterpret_cast<j_decompress_ptr>(cinfo)->output_scanline;
    }
    cinfo->err->num_warnings++;
}

void OutputMessage(j_common_ptr) {}

void LimitScans(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (cinfo->is_decompressor && d->input_scan_number > kMaxScans) {
        auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
        std::snprintf(err->Message, sizeof err->Message, "The JPEG file has more than %d scans", kMaxScans);
        std::longjmp(err->Jump, 1);
    }
}

void InitErrorManager(TErrorManager& err) {
    jpeg_std_error(&err.Pub);
    err.Pub.error_exit = ErrorExit;
    err.Pub.emit_message = EmitMessage;
    err.Pub.output_message = OutputMessage;
}

// x * y / 255, rounded, for bytes.
inline uint Mul255(uint x, uint y) {
    const uint t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

class TJpegDecoder {
public:
    explicit TJpegDecoder(QByteArray data) : FData(std::move(data)) {
        FInfo.err = &FErr.Pub;
        InitErrorManager(FErr);
        FProgress.progress_monitor = LimitScans;
        jpeg_create_decompress(&FInfo);
        FInfo.progress = &FProgress;
        FCreated = true;
    }
    ~TJpegDecoder() {
        if (FCreated) jpeg_destroy_decompress(&FInfo);
    }
    TJpegDecoder(const TJpegDecoder&) = delete;
    TJpegDecoder& operator=(const TJpegDecoder&) = delete;

    // Reads the markers up to the first scan: size, colour space, ICC profile, orientation (unless
    // ignoreOrientation: the picture is then given as stored).
    void ReadHeader(bool ignoreOrientation = false) {
        FIgnoreOrientation = ignoreOrientation;
        if (setjmp(FErr.Jump)) Fail();
        DoReadHeader();
    }

    // Size of the full picture once it is upright.
    QSize UprightSize() const {
        const QSize s(int(FInfo.image_width), int(FInfo.image_height));
        return FOrientation >= 5 ? s.transposed() : s;
    }
    // Size of the upright picture decoded at 1/denominator.
    QSize ScaledSize(int denominator) const {
        const QSize s = UprightSize();
        return QSize(int((qint64(s.width()) + denominator - 1) / denominator),
                     int((qint64(s.height()) + denominator - 1) / denominator));
    }

    // True after Decode when the data ended early: the rows that never arrived are white.
    bool Truncated() const { return FErr.SawEnd; }

    // Decodes at 1/denominator, returns the upright picture in sRGB.
    QImage Decode(int denominator, const std::function<void(int)>& progress) {
        FDenominator = denominator;
        FOnProgress = progress;
        if (setjmp(FErr.Jump)) Fail();
        DoDecode();
        return Finish();
    }

private:
    [[noreturn]] void Fail() { throw EInvalidGraphic(QString::fromLocal8Bit(FErr.Message)); }

    void DoReadHeader() {
        jpeg_mem_src(&FInfo, reinterpret_cast<const unsigned char*>(FData.constData()), (unsigned long)FData.size());
        jpeg_save_markers(&FInfo, JPEG_APP0 + 1, 0xFFFF);
        jpeg_save_markers(&FInfo, JPEG_APP0 + 2, 0xFFFF);
        jpeg_read_header(&FInfo, TRUE);
        // The coefficient buffers of multi-scan files are as large as the full picture, whatever the scale.
        CheckPictureSize(FInfo.image_width, FInfo.image_height);
        for (jpeg_saved_marker_ptr m = FInfo.marker_list; m; m = m->next)
            if (m->marker == JPEG_APP0 + 1 && FOrientation == 1 && !FIgnoreOrientation) FOrientation = ExifOrientation(m->data, m->data_length);
        JOCTET* icc = nullptr;
        unsigned int iccLength = 0;
        if (jpeg_read_icc_profile(&FInfo, &icc, &iccLength) && icc) {
            FIcc = QByteArray(reinterpret_cast<const char*>(icc), int(iccLength));
            std::free(icc);
        }
    }

    void DoDecode() {
        FInfo.scale_num = 1;
        FInfo.scale_denom = unsigned(FDenominator);
        switch (FInfo.jpeg_color_space) {
        case JCS_GRAYSCALE: FInfo.out_color_space = JCS_GRAYSCALE; break;
        case JCS_CMYK:
        case JCS_YCCK: FInfo.out_color_space = JCS_CMYK; break;
        default: FInfo.out_color_space = kRgb32Space; break;
        }
        jpeg_calc_output_dimensions(&FInfo);
        const bool grey = FInfo.out_color_space == JCS_GRAYSCALE;
        const bool cmyk = FInfo.out_color_space == JCS_CMYK;
        FImage = NewImage(FInfo.output_width, FInfo.output_height, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
        jpeg_start_decompress(&FInfo);
        FErr.InOutput = true;
        const JDIMENSION height = FInfo.output_height;
        const int width = int(FInfo.output_width);
        // Adobe applications store CMYK inverted (0 is full ink) and say so with their APP14 marker.
        const bool inverted = FInfo.saw_Adobe_marker;
        JSAMPROW rows[kRowsPerCall];
        while (FInfo.output_scanline < height && !FErr.HitEnd) {
            const JDIMENSION first = FInfo.output_scanline;
            const JDIMENSION n = std::min<JDIMENSION>(kRowsPerCall, height - first);
            for (JDIMENSION i = 0; i < n; ++i) rows[i] = FImage.scanLine(int(first + i));
            const JDIMENSION got = jpeg_read_scanlines(&FInfo, rows, n);
            if (got == 0) break;
            if (cmyk) {
                // Four bytes of C, M, Y, K become one RGB32 pixel in place.
                for (JDIMENSION i = 0; i < got; ++i) {
                    uchar* p = rows[i];
                    QRgb* out = reinterpret_cast<QRgb*>(p);
                    for (int x = 0; x < width; ++x, p += 4) {
                        uint c = p[0], m = p[1], y = p[2], k = p[3];
                        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
                        out[x] = qRgb(int(Mul255(c, k)), int(Mul255(m, k)), int(Mul255(y, k)));
                    }
                }
            }
            if (FOnProgress && (first / kRowsPerCall) % 32 == 0) FOnProgress(int(quint64(first) * 100 / height));
        }
        FErr.InOutput = false;
        FRows = FErr.HitEnd ? FErr.EndRow : FInfo.output_scanline;
        jpeg_abort_decompress(&FInfo);
    }

    QImage Finish() {
        if (FRows == 0) throw EInvalidGraphic(QStringLiteral("Premature end of JPEG file"));
        // Rows past the end of the data show the background, not what the decoder made up for them.
        if (FRows < JDIMENSION(FImage.height())) FillMissingRows(FImage, int(FRows), FImage.height() - int(FRows));
        if (!FIcc.isEmpty() && FImage.format() == QImage::Format_RGB32) {
            const QColorSpace space = QColorSpace::fromIccProfile(FIcc);
            if (space.isValid() && space != QColorSpace(QColorSpace::SRgb)) {
                FImage.setColorSpace(space);
                FImage.convertToColorSpace(QColorSpace::SRgb);
            }
        }
        return ApplyOrientation(std::move(FImage), FOrientation);
    }

    QByteArray FData;
    jpeg_decompress_struct FInfo{};
    TErrorManager FErr;
    jpeg_progress_mgr FProgress{};
    bool FCreated = false;
    int FOrientation = 1;
    bool FIgnoreOrientation = false;
    QByteArray FIcc;
    int FDenominator = 1;
    std::function<void(int)> FOnProgress;
    QImage FImage;
    JDIMENSION FRows = 0;
};

// Output to a QIODevice through a 64 KB buffer.
struct TDestination {
    jpeg_destination_mgr Pub;
    QIODevice* Stream;
    JOCTET Buffer[65536];
};

void InitDestination(j_compress_ptr c) {
    auto* d = reinterpret_cast<TDestination*>(c->dest);
    d->Pub.next_output_byte = d->Buffer;
    d->Pub.free_in_buffer = sizeof d->Buffer;
}

boolean EmptyOutputBuffer(j_compress_ptr c) {
    auto* d = reinterpret_cast<TDestination*>(c->dest);
    if (d->Stream->write(reinterpret_cast<const char*>(d->Buffer), sizeof d->Buffer) != qint64(sizeof d->Buffer))
        ERREXIT(c, JERR_FILE_WRITE);
    d->Pub.next_output_byte = d->Buffer;
    d->Pub.free_in_buffer = sizeof d->Buffer;
    return TRUE;
}

void TermDestination(j_compress_ptr c) {
    auto* d = reinterpret_cast<TDestination*>(c->dest);
    const qint64 n = qint64(sizeof d->Buffer - d->Pub.free_in_buffer);
    if (n > 0 && d->Stream->write(reinterpret_cast<const char*>(d->Buffer), n) != n) ERREXIT(c, JERR_FILE_WRITE);
}

class TJpegEncoder {
public:
    TJpegEncoder(QIODevice& stream, const QImage& image) : FImage(image) {
        const QColorSpace space = image.colorSpace();
        // Only colour pictures: the profile of an RGB space would not fit a grey JPEG.
        if (image.format() == QImage::Format_RGB32 && space.isValid() && space != QColorSpace(QColorSpace::SRgb))
            FIcc = space.iccProfile();
        FInfo.err = &FErr.Pub;
        InitErrorManager(FErr);
        jpeg_create_compress(&FInfo);
        FCreated = true;
        FDest.Stream = &stream;
        FDest.Pub.init_destination = InitDestination;
        FDest.Pub.empty_output_buffer = EmptyOutputBuffer;
        FDest.Pub.term_destination = TermDestination;
        FInfo.dest = &FDest.Pub;
    }
    ~TJpegEncoder() {
        if (FCreated) jpeg_destroy_compress(&FInfo);
    }
    TJpegEncoder(const TJpegEncoder&) = delete;
    TJpegEncoder& operator=(const TJpegEncoder&) = delete;

    void Encode(int quality, bool progressive, bool optimize) {
        if (setjmp(FErr.Jump)) throw EWriteError(QString::fromLocal8Bit(FErr.Message));
        DoEncode(quality, progressive, optimize);
    }

private:
    void DoEncode(int quality, bool progressive, bool optimize) {
        const bool grey = FImage.format() == QImage::Format_Grayscale8;
        FInfo.image_width = JDIMENSION(FImage.width());
        FInfo.image_height = JDIMENSION(FImage.height());
        FInfo.input_components = grey ? 1 : 4;
        FInfo.in_color_space = grey ? JCS_GRAYSCALE : kRgb32Space;
        jpeg_set_defaults(&FInfo);
        jpeg_set_quality(&FInfo, quality, TRUE);
        if (progressive) jpeg_simple_progression(&FInfo);
        FInfo.optimize_coding = optimize ? TRUE : FALSE;
        jpeg_start_compress(&FInfo, TRUE);
        if (!FIcc.isEmpty())
            jpeg_write_icc_profile(&FInfo, reinterpret_cast<const JOCTET*>(FIcc.constData()), unsigned(FIcc.size()));
        JSAMPROW rows[kRowsPerCall];
        while (FInfo.next_scanline < FInfo.image_height) {
            const JDIMENSION first = FInfo.next_scanline;
            const JDIMENSION n = std::min<JDIMENSION>(kRowsPerCall, FInfo.image_height - first);
            for (JDIMENSION i = 0; i < n; ++i) rows[i] = const_cast<uchar*>(FImage.constScanLine(int(first + i)));
            jpeg_write_scanlines(&FInfo, rows, n);
        }
        jpeg_finish_compress(&FInfo);
    }

    const QImage& FImage;
    jpeg_compress_struct FInfo{};
    TErrorManager FErr;
    TDestination FDest{};
    bool FCreated = false;
    QByteArray FIcc;
};

bool ParseFlag(const QString& key, const QString& value) {
    const QString v = value.trimmed().toLower();
    if (v == QLatin1String("1") || v == QLatin1String("true") || v == QLatin1String("yes") || v == QLatin1String("on")) return true;
    if (v == QLatin1String("0") || v == QLatin1String("false") || v == QLatin1String("no") || v == QLatin1String("off")) return false;
    throw EInvalidGraphicOperation(QStringLiteral("The option %1 takes 0 or 1, not '%2'").arg(key, value));
}

// The picture as the encoder takes it: Grayscale8 or RGB32, transparency flattened onto white.
QImage EncoderImage(const QImage& image, bool grey) {
    QImage flat;
    if (image.hasAlphaChannel()) {
        flat = NewImage(image.width(), image.height(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
    } else {
        flat = image;
    }
    if (grey) return flat.format() == QImage::Format_Grayscale8 ? flat : flat.convertToFormat(QImage::Format_Grayscale8);
    return flat.format() == QImage::Format_RGB32 ? flat : flat.convertToFormat(QImage::Format_RGB32);
}

} // namespace

void TJpegGraphic::SetScaleDenominator(int d) {
    if (d != 1 && d != 2 && d != 4 && d != 8)
        throw EInvalidGraphicOperation(QStringLiteral("The JPEG scale must be 1/1, 1/2, 1/4 or 1/8, not 1/%1").arg(d));
    FScaleDenominator = d;
}

namespace {

// The largest of 1/8, 1/4 and 1/2 whose decoded size still covers atLeast; 1 when none does.
template <class Sized> int DenominatorCovering(const Sized& decoder, QSize atLeast) {
    if (!atLeast.isValid()) return 1;
    for (int d : {8, 4, 2}) {
        const QSize s = decoder.ScaledSize(d);
        if (s.width() >= atLeast.width() && s.height() >= atLeast.height()) return d;
    }
    return 1;
}

} // namespace

void TJpegGraphic::ReadPage(QIODevice& stream, int) {
    TJpegDecoder decoder(ReadRemaining(stream));
    decoder.ReadHeader(!FApplyOrientation);
    Progress(TProgressStage::psStarting, 0);
    const int denominator = LoadSize().isValid() ? DenominatorCovering(decoder, LoadSize()) : FScaleDenominator;
    QImage image = decoder.Decode(denominator, [this](int percent) { Progress(TProgressStage::psRunning, quint8(percent)); });
    FOriginalSize = decoder.UprightSize();
    FImage = std::move(image);
    FLoadedKey = FImage.cacheKey();
    SetTruncated(decoder.Truncated());
    Progress(TProgressStage::psEnding, 100);
}

QImage TJpegGraphic::DecodeScaled(QIODevice& stream, QSize atLeast) {
    TJpegDecoder decoder(ReadRemaining(stream));
    decoder.ReadHeader();
    return decoder.Decode(DenominatorCovering(decoder, atLeast), {});
}

QSize TJpegGraphic::FullSize() const {
    if (FOriginalSize.isValid() && !FImage.isNull() && FImage.cacheKey() == FLoadedKey) return FOriginalSize;
    return TDibGraphic::FullSize();
}

bool TJpegGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) { return ReadJpegHeader(stream, info); }

QImage TJpegGraphic::DecodeFitting(QIODevice& stream, QSize box, QSize* original) {
    TJpegDecoder decoder(ReadRemaining(stream));
    decoder.ReadHeader();
    const QSize full = decoder.ScaledSize(1);
    if (original) *original = full;
    int denominator = 1;
    if (box.isValid() && !box.isEmpty() && !full.isEmpty()) {
        // The fitted size, as the preview will have it.
        const QSize fit = full.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        for (int d : {8, 4, 2}) {
            const QSize s = decoder.ScaledSize(d);
            if (s.width() >= fit.width() && s.height() >= fit.height()) {
                denominator = d;
                break;
            }
        }
    }
    return decoder.Decode(denominator, {});
}

bool TJpegGraphic::SetSaveOption(const QString& key, const QString& value) {
    if (key == QLatin1String("quality")) {
        bool ok = false;
        const int q = value.trimmed().toInt(&ok);
        if (!ok || q < 1 || q > 100)
            throw EInvalidGraphicOperation(QStringLiteral("The JPEG quality must be 1 to 100, not '%1'").arg(value));
        FQuality = q;
    } else if (key == QLatin1String("progressive")) {
        FProgressive = ParseFlag(key, value);
    } else if (key == QLatin1String("optimize")) {
        FOptimize = ParseFlag(key, value);
    } else if (key == QLatin1String("grayscale")) {
        FGrayscale = ParseFlag(key, value);
    } else {
        return false;
    }
    return true;
}

void TJpegGraphic::SaveToStream(QIODevice& stream) const {
    if (FImage.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    const QImage::Format f = FImage.format();
    const bool grey = FGrayscale || f == QImage::Format_Grayscale8 || f == QImage::Format_Grayscale16 ||
                      ((f == QImage::Format_Indexed8 || f == QImage::Format_Mono || f == QImage::Format_MonoLSB) &&
                       FImage.isGrayscale() && !FImage.hasAlphaChannel());
    const QImage image = EncoderImage(FImage, grey);
    TJpegEncoder encoder(stream, image);
    encoder.Encode(FQuality, FProgressive, FOptimize);
}
