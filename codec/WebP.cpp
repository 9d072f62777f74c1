#include "codec/WebP.h"

#include "codec/Limits.h"
#include "codec/PictureColour.h"
#include "codec/Stream.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstring>
#include <memory>

DEFINE_CONTENT_GRAPHIC_CLASS(TWebPGraphic)

namespace {

// A WebP file is a RIFF container of at most 4 GiB.
constexpr qint64 kMaxFileSize = qint64(1) << 32;

QString VP8Error(VP8StatusCode code) {
    switch (code) {
    case VP8_STATUS_OUT_OF_MEMORY: return QStringLiteral("out of memory");
    case VP8_STATUS_INVALID_PARAM: return QStringLiteral("invalid parameter");
    case VP8_STATUS_BITSTREAM_ERROR: return QStringLiteral("damaged data");
    case VP8_STATUS_UNSUPPORTED_FEATURE: return QStringLiteral("unsupported feature");
    case VP8_STATUS_SUSPENDED: return QStringLiteral("suspended");
    case VP8_STATUS_USER_ABORT: return QStringLiteral("aborted");
    case VP8_STATUS_NOT_ENOUGH_DATA: return QStringLiteral("the data end too early");
    default: return QStringLiteral("error %1").arg(int(code));
    }
}

struct TDemuxDeleter {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct TAnimDeleter {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

QString EncodeError(WebPEncodingError code) {
    switch (code) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY: return QStringLiteral("out of memory");
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return QStringLiteral("out of memory for the data");
    case VP8_ENC_ERROR_BAD_DIMENSION: return QStringLiteral("the picture is beyond 16383 x 16383 pixels");
    case VP8_ENC_ERROR_FILE_TOO_BIG: return QStringLiteral("the file would be beyond 4 GB");
    default: return QStringLiteral("error %1").arg(int(code));
    }
}

// The bitstream's size and kind from the data's headers; raises for data that is not WebP and for a
// picture over the pixel limit.
WebPBitstreamFeatures Features(const QByteArray& data) {
    WebPBitstreamFeatures features;
    const VP8StatusCode status =
        WebPGetFeatures(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()), &features);
    if (status != VP8_STATUS_OK) throw EInvalidGraphic(QStringLiteral("Not a WebP picture: %1").arg(VP8Error(status)));
    CheckPictureSize(features.width, features.height);
    return features;
}

} // namespace

bool TWebPGraphic::AcceptsContent(QIODevice& stream) {
    TStreamPositionKeeper keep(stream);
    const QByteArray head = stream.read(12);
    return head.size() == 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP";
}

bool TWebPGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    // The headers of a still picture lie in its first bytes; an animation's frames, through all of it.
    QByteArray data = stream.read(4096);
    const WebPBitstreamFeatures features = Features(data);
    if (features.has_animation) data += ReadRemaining(stream, kMaxFileSize - data.size());
    int frames = 1;
    if (features.has_animation) {
        WebPData whole{reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size())};
        std::unique_ptr<WebPDemuxer, TDemuxDeleter> demux(WebPDemux(&whole));
        // A damaged animation keeps the frames before the damage: only the decoder knows how many.
        if (!demux || WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT) < 1) return false;
        frames = int(WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT));
        const qint64 total = qint64(features.width) * features.height * frames;
        if (total > PixelLimit())
            throw EPictureTooLarge(QStringLiteral("The WebP animation of %1 frames of %2 x %3 pixels is too large")
                                       .arg(frames)
                                       .arg(features.width)
                                       .arg(features.height));
    }
    info.Width = features.width;
    info.Height = features.height;
    info.Frames = frames;
    return true;
}

void TWebPGraphic::ReadPage(QIODevice& stream, int page) {
    const QByteArray data = ReadRemaining(stream, kMaxFileSize);
    const WebPBitstreamFeatures features = Features(data);

    // The ICC profile, when the extended header names one.
    FIcc.clear();
    WebPData whole{reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size())};
    std::unique_ptr<WebPDemuxer, TDemuxDeleter> demux(WebPDemux(&whole));
    if (demux && (WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG)) {
        WebPChunkIterator chunk;
        if (WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
            FIcc = QByteArray(reinterpret_cast<const char*>(chunk.chunk.bytes), qsizetype(chunk.chunk.size));
            WebPDemuxReleaseChunkIterator(&chunk);
        }
    }
    demux.reset();

    ResetPlayer();
    FFrames.clear();
    FCurrent = 0;
    FLoopCount = -1;
    if (features.has_animation)
        ReadAnimation(data);
    else
        ReadStill(data);
    FImage = FFrames.front().Image;
    SetTransparent(FImage.hasAlphaChannel());
    (void)page;
}

void TWebPGraphic::ReadStill(const QByteArray& data) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) throw EInvalidGraphic(QStringLiteral("The WebP library does not match"));
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
    config.input = Features(data);
    const bool alpha = config.input.has_alpha;
    // BGRA in memory is Qt's (unpremultiplied) ARGB32 on little-endian machines; without alpha every
    // alpha byte is 255, as RGB32 wants.
    QImage image = NewImage(config.input.width, config.input.height,
                            alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    config.output.colorspace = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? MODE_BGRA : MODE_ARGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = int(image.bytesPerLine());
    config.output.u.RGBA.size = size_t(image.sizeInBytes());
    VP8StatusCode status = WebPDecode(bytes, size_t(data.size()), &config);
    WebPFreeDecBuffer(&config.output);
    if (status == VP8_STATUS_NOT_ENOUGH_DATA) {
        // Incremental decoding gives the rows that arrived.
        QImage part = NewImage(config.input.width, config.input.height,
                               alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        WebPDecBuffer buffer;
        WebPInitDecBuffer(&buffer);
        buffer.colorspace = config.output.colorspace;
        buffer.is_external_memory = 1;
        buffer.u.RGBA.rgba = part.bits();
        buffer.u.RGBA.stride = int(part.bytesPerLine());
        buffer.u.RGBA.size = size_t(part.sizeInBytes());
        WebPIDecoder* idec = WebPINewDecoder(&buffer);
        int lastY = 0;
        if (idec) {
            WebPIAppend(idec, bytes, size_t(data.size()));
            WebPIDecGetRGB(idec, &lastY, nullptr, nullptr, nullptr);
            WebPIDelete(idec);
        }
        WebPFreeDecBuffer(&buffer);
        if (lastY <= 0) throw EInvalidGraphic(QStringLiteral("The WebP picture is damaged: %1").arg(VP8Error(status)));
        FillMissingRows(part, lastY, part.height() - lastY);
        SetTruncated(true);
        image = part;
    } else if (status != VP8_STATUS_OK) {
        throw EInvalidGraphic(QStringLiteral("The WebP picture is damaged: %1").arg(VP8Error(status)));
    }
    ConvertProfileToSrgb(image, FIcc);
    FFrames.push_back({image, 0});
}

void TWebPGraphic::ReadAnimation(const QByteArray& data) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) throw EInvalidGraphic(QStringLiteral("The WebP library does not match"));
    options.color_mode = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? MODE_BGRA : MODE_ARGB;
    options.use_threads = 0;
    WebPData whole{reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size())};
    std::unique_ptr<WebPAnimDecoder, TAnimDeleter> decoder(WebPAnimDecoderNew(&whole, &options));
    if (!decoder) throw EInvalidGraphic(QStringLiteral("The WebP animation is damaged"));
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info))
        throw EInvalidGraphic(QStringLiteral("The WebP animation is damaged"));
    CheckPictureSize(info.canvas_width, info.canvas_height);
    // Every frame is kept composed: together they must stay within the pixel limit.
    const qint64 total = qint64(info.canvas_width) * info.canvas_height * qint64(std::max<uint32_t>(1, info.frame_count));
    if (total > PixelLimit())
        throw EPictureTooLarge(QStringLiteral("The WebP animation of %1 frames of %2 x %3 pixels is too large")
                                   .arg(info.frame_count)
                                   .arg(info.canvas_width)
                                   .arg(info.canvas_height));
    // WebP counts plays (0: for ever); the GIF convention counts repetitions after the first.
    FLoopCount = info.loop_count == 0 ? 0 : info.loop_count == 1 ? -1 : int(info.loop_count) - 1;
    int previous = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
        uint8_t* pixels = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestamp)) {
            if (FFrames.empty()) throw EInvalidGraphic(QStringLiteral("The WebP animation is damaged"));
            SetTruncated(true); // the frames before the damage are kept
            break;
        }
        QImage frame = NewImage(info.canvas_width, info.canvas_height, QImage::Format_ARGB32);
        const int rowBytes = int(info.canvas_width) * 4;
        for (int y = 0; y < frame.height(); ++y)
            std::memcpy(frame.scanLine(y), pixels + qsizetype(y) * rowBytes, size_t(rowBytes));
        ConvertProfileToSrgb(frame, FIcc);
        FFrames.push_back({frame, std::max(0, timestamp - previous)});
        previous = timestamp;
    }
    if (FFrames.empty()) throw EInvalidGraphic(QStringLiteral("The WebP animation has no frames"));
}

int TWebPGraphic::FrameCount() const { return FFrames.empty() ? 1 : int(FFrames.size()); }

const TWebPGraphic::TFrame& TWebPGraphic::FrameAt(int frame) const {
    if (frame < 1 || frame > int(FFrames.size()))
        throw EInvalidGraphicOperation(QStringLiteral("Frame %1 does not exist (the picture has %2)").arg(frame).arg(FrameCount()));
    return FFrames[size_t(frame - 1)];
}

void TWebPGraphic::SelectFrame(int frame) {
    if (FFrames.empty() && frame == 1) return;
    FImage = FrameAt(frame).Image;
    FCurrent = frame - 1;
    NotifyChanged();
}

const QImage& TWebPGraphic::FrameImage(int frame) const {
    if (FFrames.empty() && frame == 1) return FImage;
    return FrameAt(frame).Image;
}

int TWebPGraphic::FrameDelay(int frame) const {
    if (FFrames.empty() && frame == 1) return 0;
    return FrameAt(frame).DelayMs;
}

void TWebPGraphic::Assign(const TGraphic& source) {
    if (&source == this) return;
    ResetPlayer();
    FFrames.clear();
    FCurrent = 0;
    FLoopCount = -1;
    FIcc.clear();
    TDibGraphic::Assign(source);
}

bool TWebPGraphic::SetSaveOption(const QString& key, const QString& value) {
    if (key == QLatin1String("quality"))
        FQuality = ParseOptionNumber(key, value, 0, 100);
    else if (key == QLatin1String("lossless"))
        FLossless = ParseOptionFlag(key, value);
    else if (key == QLatin1String("method"))
        FMethod = ParseOptionNumber(key, value, 0, 6);
    else
        return false;
    return true;
}

void TWebPGraphic::SaveToStream(QIODevice& stream) const {
    if (FImage.isNull()) throw EInvalidGraphicOperation(QStringLiteral("There is no picture to save"));
    if (FImage.width() > WEBP_MAX_DIMENSION || FImage.height() > WEBP_MAX_DIMENSION)
        throw EInvalidGraphicOperation(QStringLiteral("WebP pictures cannot be larger than %1 x %1 pixels").arg(WEBP_MAX_DIMENSION));
    const bool alpha = FImage.hasAlphaChannel();
    const QImage image = FImage.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    WebPConfig config;
    if (!WebPConfigInit(&config)) throw EWriteError(QStringLiteral("The WebP library does not match"));
    config.quality = float(FQuality);
    config.lossless = FLossless ? 1 : 0;
    config.method = FMethod;
    if (FLossless) config.exact = 0;
    WebPPicture picture;
    if (!WebPPictureInit(&picture)) throw EWriteError(QStringLiteral("The WebP library does not match"));
    picture.use_argb = 1;
    picture.width = image.width();
    picture.height = image.height();
    struct TPictureFree {
        WebPPicture* P;
        ~TPictureFree() { WebPPictureFree(P); }
    } freePicture{&picture};
    const auto* bits = image.constBits();
    const int stride = int(image.bytesPerLine());
    int ok;
    if (Q_BYTE_ORDER == Q_LITTLE_ENDIAN)
        ok = alpha ? WebPPictureImportBGRA(&picture, bits, stride) : WebPPictureImportBGRX(&picture, bits, stride);
    else {
        const QImage rgba = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
        ok = alpha ? WebPPictureImportRGBA(&picture, rgba.constBits(), int(rgba.bytesPerLine()))
                   : WebPPictureImportRGBX(&picture, rgba.constBits(), int(rgba.bytesPerLine()));
    }
    if (!ok) throw EWriteError(QStringLiteral("Cannot write the WebP file: out of memory"));
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    struct TWriterFree {
        WebPMemoryWriter* W;
        ~TWriterFree() { WebPMemoryWriterClear(W); }
    } freeWriter{&writer};
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    if (!WebPEncode(&config, &picture))
        throw EWriteError(QStringLiteral("Cannot write the WebP file: %1").arg(EncodeError(picture.error_code)));
    WriteBuffer(stream, writer.mem, qint64(writer.size));
}
