#include "codec/Avif.h"

#include "codec/Limits.h"
#include "codec/PictureColour.h"
#include "codec/Stream.h"

#include <avif/avif.h>

#include <algorithm>
#include <memory>

DEFINE_CONTENT_GRAPHIC_CLASS(TAvifGraphic)

namespace {

constexpr qint64 kMaxFileSize = qint64(1) << 31;

struct TDecoderDeleter {
    void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};
struct TEncoderDeleter {
    void operator()(avifEncoder* e) const { avifEncoderDestroy(e); }
};
struct TImageDeleter {
    void operator()(avifImage* i) const { avifImageDestroy(i); }
};

QString ResultText(avifResult result, const avifDiagnostics* diag = nullptr) {
    QString text = QString::fromUtf8(avifResultToString(result));
    if (diag && diag->error[0]) text += QStringLiteral(" (") + QString::fromUtf8(diag->error) + QLatin1Char(')');
    return text;
}

} // namespace

bool FtypHasBrand(QIODevice& stream, std::initializer_list<const char*> brands) {
    TStreamPositionKeeper keep(stream);
    const QByteArray head = stream.read(64);
    if (head.size() < 16 || head.mid(4, 4) != "ftyp") return false;
    const quint32 size = (quint32(uchar(head[0])) << 24) | (quint32(uchar(head[1])) << 16) |
                         (quint32(uchar(head[2])) << 8) | quint32(uchar(head[3]));
    const qsizetype end = std::min<qsizetype>(head.size(), qsizetype(size));
    auto has = [&](qsizetype at) {
        for (const char* brand : brands)
            if (head.mid(at, 4) == brand) return true;
        return false;
    };
    if (has(8)) return true; // the major brand
    for (qsizetype at = 16; at + 4 <= end; at += 4)
        if (has(at)) return true;
    return false;
}

int OrientationOfTransform(int angle, int mirrorMode) {
    // Rotation anti-clockwise in EXIF terms: 0 -> 1, 90 -> 8, 180 -> 3, 270 -> 6. A mirror afterwards:
    // left-right (mode 1) of each, or top-bottom (mode 0), which equals left-right after a half turn.
    static const int rotate[4] = {1, 8, 3, 6};
    static const int mirrored[4] = {2, 7, 4, 5}; // left-right mirror after the rotation
    angle &= 3;
    if (mirrorMode < 0) return rotate[angle];
    if (mirrorMode == 0) angle = (angle + 2) & 3;
    return mirrored[angle];
}

bool TAvifGraphic::AcceptsContent(QIODevice& stream) { return FtypHasBrand(stream, {"avif", "avis"}); }

void TAvifGraphic::ReadPage(QIODevice& stream, int page) {
    (void)page;
    const QByteArray data = ReadRemaining(stream, kMaxFileSize);
    std::unique_ptr<avifDecoder, TDecoderDeleter> decoder(avifDecoderCreate());
    if (!decoder) throw EPictureTooLarge(QStringLiteral("Not enough memory for the AVIF decoder"));
    decoder->maxThreads = 2;
    decoder->strictFlags = AVIF_STRICT_DISABLED; // files in the wild miss optional boxes
    // Parsing reads the boxes only; the pixel limit is checked before any picture is decoded.
    decoder->imageSizeLimit = AVIF_DEFAULT_IMAGE_SIZE_LIMIT;
    avifResult result = avifDecoderSetIOMemory(decoder.get(), reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()));
    if (result == AVIF_RESULT_OK) result = avifDecoderParse(decoder.get());
    if (result != AVIF_RESULT_OK) {
        throw EInvalidGraphic(QStringLiteral("Cannot read the AVIF picture: %1").arg(ResultText(result, &decoder->diag)));
    }
    CheckPictureSize(decoder->image->width, decoder->image->height);
    result = avifDecoderNextImage(decoder.get());
    if (result != AVIF_RESULT_OK)
        throw EInvalidGraphic(QStringLiteral("Cannot decode the AVIF picture: %1").arg(ResultText(result, &decoder->diag)));
    const avifImage* image = decoder->image;
    CheckPictureSize(image->width, image->height);
    FFileDepth = int(image->depth);
    const bool alpha = image->alphaPlane != nullptr;

    QImage picture = NewImage(image->width, image->height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.format = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_ARGB;
    rgb.depth = 8; // 10 and 12-bit samples are scaled down by the conversion
    rgb.pixels = picture.bits();
    rgb.rowBytes = uint32_t(picture.bytesPerLine());
    rgb.ignoreAlpha = alpha ? AVIF_FALSE : AVIF_TRUE;
    result = avifImageYUVToRGB(image, &rgb);
    if (result != AVIF_RESULT_OK)
        throw EInvalidGraphic(QStringLiteral("Cannot convert the AVIF picture: %1").arg(ResultText(result)));
    if (!alpha) {
        // ignoreAlpha leaves the alpha bytes as they were; RGB32 wants them at 255.
        for (int y = 0; y < picture.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < picture.width(); ++x) line[x] |= 0xFF000000u;
        }
    } else if (image->alphaPremultiplied) {
        picture.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
        picture = picture.convertToFormat(QImage::Format_ARGB32);
    }

    if (image->icc.size)
        ConvertProfileToSrgb(picture, QByteArray(reinterpret_cast<const char*>(image->icc.data), qsizetype(image->icc.size)));
    else
        ConvertNclxToSrgb(picture, int(image->colorPrimaries), int(image->transferCharacteristics));

    // The clean aperture is not applied; the rotation and mirror are, in that order.
    FOrientation = 1;
    const bool rotated = image->transformFlags & AVIF_TRANSFORM_IROT;
    const bool mirrored = image->transformFlags & AVIF_TRANSFORM_IMIR;
    if (rotated || mirrored)
        FOrientation = OrientationOfTransform(rotated ? image->irot.angle : 0, mirrored ? image->imir.mode : -1);
    else if (image->exif.size)
        FOrientation = ExifOrientation(QByteArray(reinterpret_cast<const char*>(image->exif.data), qsizetype(image->exif.size)));
    FImage = ApplyOrientation(picture, FOrientation);
    SetTransparent(alpha);
}

bool TAvifGraphic::SetSaveOption(const QString& key, const QString& value) {
    if (key == QLatin1String("quality"))
        FQuality = ParseOptionNumber(key, value, 0, 100);
    else if (key == QLatin1String("speed"))
        FSpeed = ParseOptionNumber(key, value, 0, 10);
    else
        return false;
    return true;
}

void TAvifGraphic::SaveToStream(QIODevice& stream) const {
    if (FImage.isNull()) throw EInvalidGraphicOperation(QStringLiteral("There is no picture to save"));
    const bool alpha = FImage.hasAlphaChannel();
    const QImage source = FImage.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    // Quality 100 keeps full chroma resolution; below it chroma is halved both ways, as photos are.
    std::unique_ptr<avifImage, TImageDeleter> image(avifImageCreate(uint32_t(source.width()), uint32_t(source.height()), 8,
                                                                    FQuality >= 100 ? AVIF_PIXEL_FORMAT_YUV444 : AVIF_PIXEL_FORMAT_YUV420));
    if (!image) throw EWriteError(QStringLiteral("Not enough memory to write the AVIF file"));
    image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
    image->yuvRange = AVIF_RANGE_FULL;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.format = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_ARGB;
    rgb.depth = 8;
    rgb.pixels = const_cast<uint8_t*>(source.constBits());
    rgb.rowBytes = uint32_t(source.bytesPerLine());
    rgb.ignoreAlpha = alpha ? AVIF_FALSE : AVIF_TRUE;
    avifResult result = avifImageRGBToYUV(image.get(), &rgb);
    if (result != AVIF_RESULT_OK) throw EWriteError(QStringLiteral("Cannot write the AVIF file: %1").arg(ResultText(result)));

    std::unique_ptr<avifEncoder, TEncoderDeleter> encoder(avifEncoderCreate());
    if (!encoder) throw EWriteError(QStringLiteral("Not enough memory to write the AVIF file"));
    const int quantizer = (100 - FQuality) * AVIF_QUANTIZER_WORST_QUALITY / 100;
    encoder->minQuantizer = encoder->maxQuantizer = quantizer;
    encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = quantizer;
    encoder->speed = FSpeed;
    encoder->maxThreads = 2;
    avifRWData output = AVIF_DATA_EMPTY;
    result = avifEncoderWrite(encoder.get(), image.get(), &output);
    struct TOutputFree {
        avifRWData* D;
        ~TOutputFree() { avifRWDataFree(D); }
    } freeOutput{&output};
    if (result != AVIF_RESULT_OK)
        throw EWriteError(QStringLiteral("Cannot write the AVIF file: %1").arg(ResultText(result, &encoder->diag)));
    WriteBuffer(stream, output.data, qint64(output.size));
}
