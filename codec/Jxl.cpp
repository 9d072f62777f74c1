#include "codec/Jxl.h"

#include "codec/Limits.h"
#include "codec/PictureColour.h"
#include "codec/Stream.h"

#include <jxl/decode.h>

#include <memory>

DEFINE_CONTENT_GRAPHIC_CLASS(TJxlGraphic)

namespace {

constexpr qint64 kMaxFileSize = qint64(1) << 31;

struct TDecoderDeleter {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};

// The picture's size as the decoder turns it by the file's orientation: a quarter turn swaps the sides.
QSize UprightSize(const JxlBasicInfo& info) {
    const bool swapped = info.orientation >= JXL_ORIENT_TRANSPOSE;
    return QSize(int(swapped ? info.ysize : info.xsize), int(swapped ? info.xsize : info.ysize));
}

// The basic information once the decoder gives it: the pixel limit checked, damage reported as loading
// reports it.
JxlBasicInfo TakeBasicInfo(JxlDecoder* decoder) {
    JxlBasicInfo info{};
    if (JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS)
        throw EInvalidGraphic(QStringLiteral("The JPEG XL picture is damaged"));
    CheckPictureSize(info.xsize, info.ysize);
    return info;
}

void CheckStatus(JxlDecoderStatus status) {
    if (status == JXL_DEC_ERROR) throw EInvalidGraphic(QStringLiteral("The JPEG XL picture is damaged"));
    if (status == JXL_DEC_NEED_MORE_INPUT) throw EInvalidGraphic(QStringLiteral("The JPEG XL picture ends too early"));
}

} // namespace

bool TJxlGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    std::unique_ptr<JxlDecoder, TDecoderDeleter> decoder(JxlDecoderCreate(nullptr));
    if (!decoder) throw EPictureTooLarge(QStringLiteral("Not enough memory for the JPEG XL decoder"));
    if (JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS)
        throw EInvalidGraphic(QStringLiteral("The JPEG XL library refused the decoding"));
    // The basic information sits in the first bytes (after the container's boxes); the stream is given
    // in chunks until it arrives. The bytes the decoder has not taken yet are given again with more.
    constexpr qint64 kChunk = 4096;
    QByteArray pending = stream.read(kChunk);
    bool ended = stream.atEnd();
    JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t*>(pending.constData()), size_t(pending.size()));
    if (ended) JxlDecoderCloseInput(decoder.get());
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        if (status == JXL_DEC_BASIC_INFO) {
            const QSize size = UprightSize(TakeBasicInfo(decoder.get()));
            info.Width = size.width();
            info.Height = size.height();
            info.Frames = 1; // the first frame of an animation is the picture
            return true;
        }
        if (status != JXL_DEC_NEED_MORE_INPUT || ended) {
            CheckStatus(status == JXL_DEC_SUCCESS ? JXL_DEC_ERROR : status);
            throw EInvalidGraphic(QStringLiteral("The JPEG XL picture is damaged"));
        }
        const size_t unused = JxlDecoderReleaseInput(decoder.get());
        pending = pending.right(qsizetype(unused)) + stream.read(kChunk);
        ended = stream.atEnd();
        JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t*>(pending.constData()), size_t(pending.size()));
        if (ended) JxlDecoderCloseInput(decoder.get());
    }
}

bool TJxlGraphic::AcceptsContent(QIODevice& stream) {
    TStreamPositionKeeper keep(stream);
    const QByteArray head = stream.read(12);
    const JxlSignature signature = JxlSignatureCheck(reinterpret_cast<const uint8_t*>(head.constData()), size_t(head.size()));
    return signature == JXL_SIG_CODESTREAM || signature == JXL_SIG_CONTAINER;
}

void TJxlGraphic::ReadPage(QIODevice& stream, int page) {
    (void)page;
    const QByteArray data = ReadRemaining(stream, kMaxFileSize);
    std::unique_ptr<JxlDecoder, TDecoderDeleter> decoder(JxlDecoderCreate(nullptr));
    if (!decoder) throw EPictureTooLarge(QStringLiteral("Not enough memory for the JPEG XL decoder"));
    if (JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) !=
        JXL_DEC_SUCCESS)
        throw EInvalidGraphic(QStringLiteral("The JPEG XL library refused the decoding"));
    JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()));
    JxlDecoderCloseInput(decoder.get());

    JxlBasicInfo info{};
    // Rows aligned to 4 bytes, as QImage keeps them.
    JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 4};
    QByteArray icc;
    QImage picture;
    bool grey = false, alpha = false;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        CheckStatus(status);
        if (status == JXL_DEC_BASIC_INFO) {
            info = TakeBasicInfo(decoder.get());
            FFileBits = int(info.bits_per_sample);
            grey = info.num_color_channels == 1;
            alpha = info.alpha_bits > 0;
            format.num_channels = grey ? 2 : 4;
        } else if (status == JXL_DEC_COLOR_ENCODING) {
            size_t size = 0;
            if (JxlDecoderGetICCProfileSize(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) == JXL_DEC_SUCCESS &&
                size > 0 && size < (1u << 24)) {
                icc.resize(qsizetype(size));
                if (JxlDecoderGetColorAsICCProfile(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                                   reinterpret_cast<uint8_t*>(icc.data()), size) != JXL_DEC_SUCCESS)
                    icc.clear();
            }
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            // The decoder turns the picture as the file says.
            const QSize size = UprightSize(info);
            picture = NewImage(size.width(), size.height(), grey ? QImage::Format_Grayscale16 : QImage::Format_RGBA8888);
            size_t needed = 0;
            if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &needed) != JXL_DEC_SUCCESS ||
                needed > size_t(picture.sizeInBytes()))
                throw EInvalidGraphic(QStringLiteral("The JPEG XL picture is damaged"));
            // Grey with alpha comes as byte pairs, which is what a 16-bit grey row holds in memory.
            if (JxlDecoderSetImageOutBuffer(decoder.get(), &format, picture.bits(), size_t(picture.sizeInBytes())) !=
                JXL_DEC_SUCCESS)
                throw EInvalidGraphic(QStringLiteral("The JPEG XL picture is damaged"));
        } else if (status == JXL_DEC_FULL_IMAGE || status == JXL_DEC_SUCCESS) {
            break; // the first frame is the picture
        }
    }
    if (picture.isNull()) throw EInvalidGraphic(QStringLiteral("The JPEG XL file holds no picture"));

    QImage out = NewImage(picture.width(), picture.height(), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        const uchar* src = picture.constScanLine(y);
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            if (grey) {
                const int v = src[x * 2], a = alpha ? src[x * 2 + 1] : 255;
                dst[x] = qRgba(v, v, v, a);
            } else {
                dst[x] = qRgba(src[x * 4], src[x * 4 + 1], src[x * 4 + 2], alpha ? src[x * 4 + 3] : 255);
            }
        }
    }
    if (!grey) ConvertProfileToSrgb(out, icc);
    FImage = out;
    SetTransparent(alpha);
}
