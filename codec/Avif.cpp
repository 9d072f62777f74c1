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

// A decoder set up as loading sets it up; the pixel limit is checked before any picture is decoded.
std::unique_ptr<avifDecoder, TDecoderDeleter> NewDecoder() {
    std::unique_ptr<avifDecoder, TDecoderDeleter> decoder(avifDecoderCreate());
    if (!decoder) throw EPictureTooLarge(QStringLiteral("Not enough memory for the AVIF decoder"));
    decoder->maxThreads = 2;
    decoder->strictFlags = AVIF_STRICT_DISABLED; // files in the wild miss optional boxes
    decoder->imageSizeLimit = AVIF_DEFAULT_IMAGE_SIZE_LIMIT;
    return decoder;
}

// Reads the boxes (parsing reads no picture data); raises as loading does for a file it cannot read.
void Parse(avifDecoder* decoder) {
    const avifResult result = avifDecoderParse(decoder);
    if (result != AVIF_RESULT_OK)
        throw EInvalidGraphic(QStringLiteral("Cannot read the AVIF picture: %1").arg(ResultText(result, &decoder->diag)));
    CheckPictureSize(decoder->image->width, decoder->image->height);
}

// The orientation a picture is shown in (EXIF terms): the file's rotation and mirror, in that order;
// without those, the EXIF orientation.
int OrientationOf(const avifImage* image) {
    const bool rotated = image->transformFlags & AVIF_TRANSFORM_IROT;
    const bool mirrored = image->transformFlags & AVIF_TRANSFORM_IMIR;
    if (rotated || mirrored) return OrientationOfTransform(rotated ? image->irot.angle : 0, mirrored ? image->imir.mode : -1);
    if (image->exif.size) return ExifOrientation(QByteArray(reinterpret_cast<const char*>(image->exif.data), qsizetype(image->exif.size)));
    return 1;
}

// Reads the file through the stream, from where it stood, a range at a time: the boxes are read, the
// picture data skipped. Out of range reads behave as libavif's memory reader's do.
struct TStreamIO {
    avifIO IO{};
    QIODevice* Stream = nullptr;
    qint64 Start = 0;
    qint64 Size = 0;
    QByteArray Buffer;

    static avifResult Read(avifIO* io, uint32_t readFlags, uint64_t offset, size_t size, avifROData* out) {
        auto* self = static_cast<TStreamIO*>(io->data);
        if (readFlags != 0 || offset > quint64(self->Size)) return AVIF_RESULT_IO_ERROR;
        const qint64 length = qint64(std::min<quint64>(size, quint64(self->Size) - offset));
        if (!self->Stream->seek(self->Start + qint64(offset))) return AVIF_RESULT_IO_ERROR;
        self->Buffer = self->Stream->read(length);
        if (self->Buffer.size() != length) return AVIF_RESULT_IO_ERROR;
        out->data = reinterpret_cast<const uint8_t*>(self->Buffer.constData());
        out->size = size_t(self->Buffer.size());
        return AVIF_RESULT_OK;
    }
    static void Destroy(avifIO* io) { delete static_cast<TStreamIO*>(io->data); }
};

} // namespace

bool TAvifGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    if (stream.isSequential()) return false;
    std::unique_ptr<avifDecoder, TDecoderDeleter> decoder = NewDecoder();
    auto* io = new TStreamIO;
    io->IO.read = &TStreamIO::Read;
    io->IO.destroy = &TStreamIO::Destroy;
    io->IO.data = io;
    io->Stream = &stream;
    io->Start = stream.pos();
    io->Size = std::max<qint64>(0, stream.size() - io->Start);
    io->IO.sizeHint = quint64(io->Size);
    avifDecoderSetIO(decoder.get(), &io->IO); // the decoder owns it now
    Parse(decoder.get());
    // A sequence's first frame is the picture; its size is known once decoded.
    if (decoder->imageCount != 1) return false;
    const int orientation = OrientationOf(decoder->image);
    const bool swapped = orientation >= 5;
    info.Width = int(swapped ? decoder->image->height : decoder->image->width);
    info.Height = int(swapped ? decoder->image->width : decoder->image->height);
    info.Frames = 1;
    return true;
}

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
    std::unique_ptr<avifDecoder, TDecoderDeleter> decoder = NewDecoder();
    avifResult result = avifDecoderSetIOMemory(decoder.get(), reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()));
    if (result != AVIF_RESULT_OK)
        throw EInvalidGraphic(QStringLiteral("Cannot read the AVIF picture: %1").arg(ResultText(result, &decoder->diag)));
    Parse(decoder.get());
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

    // The clean aperture is not applied.
    FOrientation = OrientationOf(image);
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
