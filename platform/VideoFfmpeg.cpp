// The video module (liblumenor-video.so): reading and writing AVI clips through FFmpeg, behind the
// interfaces of platform/VideoBackend.h. Programs load it on first use (platform/VideoFile.cpp).
#include "platform/VideoBackend.h"

#include <QFile>
#include <QFileInfo>
#include <QBuffer>
#include <QSaveFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>

namespace {
// Going forward from the last decoded frame is cheaper than a seek for a short distance.
constexpr qint64 kMaxStepForward = 32;
constexpr qint64 kMaxFrames = TVideoFile::kMaxFrames;

// The program's picture limits, set by the entry point.
const TVideoHost* Host = nullptr;

void QuietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_QUIET);
        // The SVT-AV1 encoder writes to stderr itself unless told otherwise.
        if (!qEnvironmentVariableIsSet("SVT_LOG")) qputenv("SVT_LOG", "0");
    });
}
class TFfmpegReader final : public IVideoReader {
public:
    TFfmpegReader();
    ~TFfmpegReader() override;
    bool OpenFile(const QString& fileName) override;
    bool OpenVideoStream() override;
    bool OpenFrameReader() override;
    bool StreamInfo(TVideoStreamInfo& info) const override;
    QImage Frame(qint64 index) override;
    void Close() override;
    bool IsFileOpen() const override;
    bool IsStreamOpen() const override;
    bool IsFrameReaderOpen() const override;
    int SeekCount() const override;

private:
    struct TState;
    std::unique_ptr<TState> F;
};

class TFfmpegWriter final : public IVideoWriter {
public:
    using TPixels = TVideoWriter::TPixels;
    TFfmpegWriter();
    ~TFfmpegWriter() override;
    bool Create(const QString& fileName) override;
    bool CreateStream(const TVideoStreamHeader& header, TPixels pixels) override;
    bool SetCompressor(const QString& encoder, int quality, int keyFrameEvery) override;
    bool SetFormat(const QVector<QRgb>& palette) override;
    bool WriteFrame(const QImage& frame) override;
    bool Finish() override;
    void Cancel() override;
    int FramesWritten() const override;
    QString ErrorString() const override;

    // Whether the encoder writes a short clip of frames of the size (into memory).
    static bool Trial(const QString& encoder, QSize size);

private:
    bool StartFile();
    // Drains the encoder and writes the index and the stream header's scale and rate.
    bool Complete();

    struct TState;
    std::unique_ptr<TState> F;
};
} // namespace

struct TFfmpegReader::TState {
    AVFormatContext* Format = nullptr;
    AVStream* Stream = nullptr;
    AVCodecContext* Codec = nullptr;
    AVPacket* Packet = nullptr;
    AVFrame* Picture = nullptr;
    SwsContext* Scaler = nullptr;

    qint64 StartTs = 0;       // the first frame's time stamp, in stream time-base units
    qint64 TicksPerFrame = 1; // time-base units per frame
    qint64 LastDecoded = -1;  // index of the frame the decoder gave last (-1: none since the last seek)
    bool Draining = false;    // the end of the file was reached and the decoder is being emptied
    bool Ended = false;       // the decoder has given its last frame; a seek must come first
    qint64 CachedIndex = -1;  // the frame last asked for and its picture (null when it failed)
    QImage CachedImage;
    int Seeks = 0;

    void CloseReader() {
        sws_freeContext(Scaler);
        Scaler = nullptr;
        av_frame_free(&Picture);
        av_packet_free(&Packet);
        avcodec_free_context(&Codec);
        LastDecoded = -1;
        Draining = Ended = false;
        CachedIndex = -1;
        CachedImage = QImage();
    }

    qint64 IndexOf(const AVFrame* frame) const {
        const qint64 ts = frame->best_effort_timestamp;
        if (ts == AV_NOPTS_VALUE) return LastDecoded + 1;
        // Rounded to the nearest frame; time stamps before the start count as frame 0. Wide arithmetic:
        // both values come from the file.
        const __int128 rel = __int128(ts) - StartTs;
        if (rel <= 0) return 0;
        return qint64(std::min<__int128>((rel + TicksPerFrame / 2) / TicksPerFrame, kMaxFrames));
    }

    // Decodes the next frame into Picture; false at the end of the stream or on a decoder failure.
    bool DecodeNext() {
        for (;;) {
            const int r = avcodec_receive_frame(Codec, Picture);
            if (r == 0) {
                LastDecoded = IndexOf(Picture);
                return true;
            }
            if (r != AVERROR(EAGAIN) || Draining) {
                Ended = true;
                return false;
            }
            if (av_read_frame(Format, Packet) < 0) {
                Draining = true;
                avcodec_send_packet(Codec, nullptr);
                continue;
            }
            if (Packet->stream_index == Stream->index) avcodec_send_packet(Codec, Packet); // a bad packet is skipped
            av_packet_unref(Packet);
        }
    }

    bool SeekBefore(qint64 index) {
        ++Seeks;
        const __int128 wide = __int128(StartTs) + __int128(index) * TicksPerFrame;
        const qint64 target = qint64(std::clamp<__int128>(wide, LLONG_MIN + 1, LLONG_MAX));
        if (av_seek_frame(Format, Stream->index, target, AVSEEK_FLAG_BACKWARD) < 0 &&
            av_seek_frame(Format, Stream->index, StartTs, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0)
            return false;
        avcodec_flush_buffers(Codec);
        LastDecoded = -1;
        Draining = Ended = false;
        return true;
    }

    QImage Convert() {
        const int w = Picture->width, h = Picture->height;
        const auto format = AVPixelFormat(Picture->format);
        if (w <= 0 || h <= 0 || !av_pix_fmt_desc_get(format)) return QImage();
        // Beyond the pixel limit or out of memory: nothing to show.
        if (!Host->CheckPictureSize(w, h).isEmpty()) return QImage();
        QImage image(w, h, QImage::Format_RGB32);
        if (image.isNull()) return QImage();
        Scaler = sws_getCachedContext(Scaler, w, h, format, w, h, AV_PIX_FMT_RGB32, SWS_BICUBIC | SWS_ACCURATE_RND,
                                      nullptr, nullptr, nullptr);
        if (!Scaler) return QImage();
        uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
        int stride[4] = {int(image.bytesPerLine()), 0, 0, 0};
        if (sws_scale(Scaler, Picture->data, Picture->linesize, 0, h, dst, stride) != h) return QImage();
        for (int y = 0; y < h; ++y) { // opaque, as RGB32 requires
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < w; ++x) line[x] |= 0xFF000000u;
        }
        return image;
    }
};

TFfmpegReader::TFfmpegReader() : F(std::make_unique<TState>()) { QuietLibraries(); }

TFfmpegReader::~TFfmpegReader() { Close(); }

bool TFfmpegReader::OpenFile(const QString& fileName) {
    Close();
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile()) return false;
    // Only the file protocol and only the AVI demuxer: the name is never read as a URL or a playlist.
    const QByteArray url = "file:" + QFile::encodeName(QFileInfo(fileName).absoluteFilePath());
    const AVInputFormat* avi = av_find_input_format("avi");
    if (!avi) return false;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* ctx = nullptr;
    const int r = avformat_open_input(&ctx, url.constData(), avi, &options);
    av_dict_free(&options);
    if (r < 0) return false;
    F->Format = ctx;
    return true;
}

bool TFfmpegReader::OpenVideoStream() {
    if (!F->Format) return false;
    for (unsigned i = 0; i < F->Format->nb_streams; ++i) {
        AVStream* s = F->Format->streams[i];
        if (s->codecpar && s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            F->Stream = s;
            break;
        }
    }
    if (!F->Stream) return false;
    const AVStream* s = F->Stream;
    F->StartTs = s->start_time == AV_NOPTS_VALUE ? 0 : s->start_time;
    AVRational rate = s->avg_frame_rate.num > 0 && s->avg_frame_rate.den > 0 ? s->avg_frame_rate : s->r_frame_rate;
    F->TicksPerFrame = 1;
    if (rate.num > 0 && rate.den > 0 && s->time_base.num > 0 && s->time_base.den > 0)
        F->TicksPerFrame = std::max<qint64>(1, av_rescale_q(1, av_inv_q(rate), s->time_base));
    return true;
}

bool TFfmpegReader::OpenFrameReader() {
    if (!F->Stream) return false;
    F->CloseReader();
    const AVCodec* codec = avcodec_find_decoder(F->Stream->codecpar->codec_id);
    if (!codec) return false;
    F->Codec = avcodec_alloc_context3(codec);
    F->Packet = av_packet_alloc();
    F->Picture = av_frame_alloc();
    bool ok = F->Codec && F->Packet && F->Picture && avcodec_parameters_to_context(F->Codec, F->Stream->codecpar) >= 0;
    if (ok) {
        F->Codec->thread_count = 1;
        F->Codec->max_pixels = std::min<qint64>(Host->PixelLimit(), INT_MAX);
        F->Codec->pkt_timebase = F->Stream->time_base;
        ok = avcodec_open2(F->Codec, codec, nullptr) >= 0;
    }
    if (!ok) F->CloseReader();
    return ok;
}

bool TFfmpegReader::StreamInfo(TVideoStreamInfo& info) const {
    const AVStream* s = F->Stream;
    if (!s) return false;
    const AVCodecParameters* par = s->codecpar;
    if (par->width <= 0 || par->height <= 0) return false;
    info.Scale = s->time_base.num;
    info.Rate = s->time_base.den;
    info.Start = 0; // frames are counted from the stream's first time stamp
    qint64 length = s->nb_frames;
    if (length <= 0 && s->duration > 0 && s->duration != AV_NOPTS_VALUE) length = s->duration / F->TicksPerFrame;
    info.Length = std::clamp<qint64>(length, 0, kMaxFrames);
    info.Frame = QRect(0, 0, par->width, par->height);
    return true;
}

QImage TFfmpegReader::Frame(qint64 index) {
    TState& s = *F;
    if (!s.Codec || index < 0) return QImage();
    if (index == s.CachedIndex) return s.CachedImage;
    const bool forward = !s.Ended && s.LastDecoded >= 0 && index > s.LastDecoded && index - s.LastDecoded <= kMaxStepForward;
    if (!forward && !s.SeekBefore(index)) return QImage();
    QImage image;
    bool first = true;
    while (s.DecodeNext()) {
        // A frame without a time stamp right after a seek into the middle has no known place: start over.
        if (first && !forward && index > 0 && s.Picture->best_effort_timestamp == AV_NOPTS_VALUE) {
            if (!s.SeekBefore(0)) break;
            first = false;
            continue;
        }
        first = false;
        if (s.LastDecoded >= index) { // the frame itself, or the next one when it is missing
            image = s.Convert();
            break;
        }
    }
    av_frame_unref(s.Picture);
    s.CachedIndex = index;
    s.CachedImage = image;
    return image;
}

void TFfmpegReader::Close() {
    F->CloseReader();
    F->Stream = nullptr;
    avformat_close_input(&F->Format);
    F->Seeks = 0;
}

bool TFfmpegReader::IsFileOpen() const { return F->Format != nullptr; }
bool TFfmpegReader::IsStreamOpen() const { return F->Stream != nullptr; }
bool TFfmpegReader::IsFrameReaderOpen() const { return F->Codec != nullptr; }
int TFfmpegReader::SeekCount() const { return F->Seeks; }

// ---------------------------------------------------------------------------------------------------------
// Writing

namespace {

const AVOutputFormat* AviFormat() { return av_guess_format("avi", nullptr, nullptr); }

// The encoder's pixel format that loses least from 32-bit colour.
AVPixelFormat EncoderPixelFormat(const AVCodec* codec) {
    if (!codec->pix_fmts) return AV_PIX_FMT_YUV420P;
    int loss = 0;
    const AVPixelFormat best = avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, AV_PIX_FMT_RGB32, 0, &loss);
    return best == AV_PIX_FMT_NONE ? codec->pix_fmts[0] : best;
}

// Sets up an encoder context for frames of the size; the caller opens it.
AVCodecContext* NewEncoder(const AVCodec* codec, QSize size, AVRational timeBase, int quality, int keyFrameEvery) {
    AVCodecContext* enc = avcodec_alloc_context3(codec);
    if (!enc) return nullptr;
    enc->width = size.width();
    enc->height = size.height();
    enc->time_base = timeBase;
    enc->framerate = av_inv_q(timeBase);
    enc->pix_fmt = EncoderPixelFormat(codec);
    enc->gop_size = std::max(1, keyFrameEvery);
    enc->max_b_frames = 0;
    enc->thread_count = 1;
    enc->sample_aspect_ratio = AVRational{1, 1};
    quality = std::clamp(quality, 1, 100);
    // Quality 100 is the finest quantiser (1), quality 1 the coarsest (31); encoders with a constant rate
    // factor get one on their own scale.
    enc->flags |= AV_CODEC_FLAG_QSCALE;
    enc->global_quality = FF_QP2LAMBDA * (1 + (100 - quality) * 30 / 99);
    if (enc->priv_data) av_opt_set_int(enc->priv_data, "crf", (100 - quality) * 51 / 99, 0);
    if (AviFormat()->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    return enc;
}

} // namespace

QList<TVideoEncoderInfo> Encoders(QSize frameSize) {
    QuietLibraries();
    QList<TVideoEncoderInfo> list = {{QString(), QStringLiteral("Uncompressed")}};
    if (frameSize.isEmpty()) frameSize = QSize(64, 48);
    const AVOutputFormat* avi = AviFormat();
    if (!avi) return list;
    auto usable = [&](const AVCodec* codec) {
        if (!codec || !av_codec_is_encoder(codec) || codec->type != AVMEDIA_TYPE_VIDEO) return false;
        if (codec->capabilities & (AV_CODEC_CAP_EXPERIMENTAL | AV_CODEC_CAP_HARDWARE)) return false;
        if (avformat_query_codec(avi, codec->id, FF_COMPLIANCE_NORMAL) != 1) return false;
        // Only what writes a whole clip here: some encoders open and then refuse the frames.
        return TFfmpegWriter::Trial(QString::fromLatin1(codec->name), frameSize);
    };
    const AVCodec* mjpeg = avcodec_find_encoder_by_name("mjpeg");
    if (usable(mjpeg)) list.append({QStringLiteral("mjpeg"), QStringLiteral("Motion JPEG")});
    const AVCodec* ffv1 = avcodec_find_encoder_by_name("ffv1");
    if (usable(ffv1)) list.append({QStringLiteral("ffv1"), QStringLiteral("FFV1 (lossless)")});
    QList<TVideoEncoderInfo> others;
    void* it = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&it)) {
        if (codec == mjpeg || codec == ffv1 || codec->id == AV_CODEC_ID_RAWVIDEO) continue;
        if (!usable(codec)) continue;
        const QString name = QString::fromLatin1(codec->name);
        others.append({name, codec->long_name ? QString::fromUtf8(codec->long_name) : name});
    }
    std::sort(others.begin(), others.end(), [](const TVideoEncoderInfo& a, const TVideoEncoderInfo& b) {
        return QString::compare(a.Description, b.Description, Qt::CaseInsensitive) < 0;
    });
    return list + others;
}

struct TFfmpegWriter::TState {
    std::unique_ptr<QIODevice> File; // a QSaveFile, or a buffer for a trial
    AVFormatContext* Format = nullptr;
    AVIOContext* Io = nullptr;
    AVStream* Stream = nullptr;
    AVCodecContext* Encoder = nullptr;
    AVFrame* Picture = nullptr;
    AVPacket* Packet = nullptr;
    SwsContext* Scaler = nullptr;
    TVideoStreamHeader Header;
    TPixels Pixels = TPixels::Rgb24;
    QVector<QRgb> Palette;
    bool HeaderWritten = false;
    qint64 Frames = 0;
    QString Error;
    static constexpr qint64 kHeadSize = 1 << 16;
    QByteArray Head;

    static int Write(void* opaque, uint8_t* buf, int size) {
        auto* s = static_cast<TState*>(opaque);
        // The file's first bytes are kept (the temporary file cannot be read back) so that Finish can
        // find the stream header in them.
        const qint64 pos = s->File->pos();
        if (pos < kHeadSize && size > 0) {
            const qint64 n = std::min<qint64>(size, kHeadSize - pos);
            if (s->Head.size() < pos + n) s->Head.resize(pos + n, '\0');
            std::memcpy(s->Head.data() + pos, buf, size_t(n));
        }
        const qint64 n = s->File->write(reinterpret_cast<const char*>(buf), size);
        return n == size ? size : AVERROR(EIO);
    }
    static int64_t Seek(void* opaque, int64_t offset, int whence) {
        auto* s = static_cast<TState*>(opaque);
        if (whence & AVSEEK_SIZE) return s->File->size();
        qint64 target = offset;
        switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET: break;
        case SEEK_CUR: target = s->File->pos() + offset; break;
        case SEEK_END: target = s->File->size() + offset; break;
        default: return AVERROR(EINVAL);
        }
        return target >= 0 && s->File->seek(target) ? target : AVERROR(EIO);
    }

    bool Fail(const QString& what, int code = 0) {
        Error = what;
        if (code < 0) {
            char text[AV_ERROR_MAX_STRING_SIZE] = {};
            av_strerror(code, text, sizeof text);
            Error += QStringLiteral(": ") + QString::fromLocal8Bit(text);
        }
        return false;
    }

    void Release() {
        sws_freeContext(Scaler);
        Scaler = nullptr;
        av_frame_free(&Picture);
        av_packet_free(&Packet);
        avcodec_free_context(&Encoder);
        if (Format) {
            avformat_free_context(Format);
            Format = nullptr;
        }
        if (Io) {
            av_freep(&Io->buffer);
            avio_context_free(&Io);
        }
        Stream = nullptr;
        HeaderWritten = false;
    }

    // Writes the packets the encoder has ready (all of them when draining).
    bool Drain() {
        for (;;) {
            const int r = avcodec_receive_packet(Encoder, Packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return Fail(QStringLiteral("The encoder failed"), r);
            av_packet_rescale_ts(Packet, Encoder->time_base, Stream->time_base);
            Packet->stream_index = Stream->index;
            const int w = av_write_frame(Format, Packet);
            av_packet_unref(Packet);
            if (w < 0) return Fail(QStringLiteral("Cannot write a frame"), w);
        }
    }
};

TFfmpegWriter::TFfmpegWriter() : F(std::make_unique<TState>()) { QuietLibraries(); }

TFfmpegWriter::~TFfmpegWriter() { Cancel(); }

bool TFfmpegWriter::Create(const QString& fileName) {
    Cancel();
    const AVOutputFormat* avi = AviFormat();
    if (!avi) return F->Fail(QStringLiteral("FFmpeg has no AVI writer"));
    auto file = std::make_unique<QSaveFile>(fileName);
    if (!file->open(QIODevice::WriteOnly)) return F->Fail(file->errorString());
    F->File = std::move(file);
    return StartFile();
}

bool TFfmpegWriter::StartFile() {
    const AVOutputFormat* avi = AviFormat();
    AVFormatContext* ctx = nullptr;
    if (avformat_alloc_output_context2(&ctx, avi, nullptr, nullptr) < 0 || !ctx) {
        Cancel();
        return F->Fail(QStringLiteral("Cannot start an AVI file"));
    }
    F->Format = ctx;
    constexpr int kBufferSize = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    F->Io = buffer ? avio_alloc_context(buffer, kBufferSize, 1, F.get(), nullptr, &TState::Write, &TState::Seek) : nullptr;
    if (!F->Io) {
        av_free(buffer);
        Cancel();
        return F->Fail(QStringLiteral("Not enough memory"));
    }
    F->Io->seekable = AVIO_SEEKABLE_NORMAL;
    ctx->pb = F->Io;
    ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
    F->Frames = 0;
    F->Head.clear();
    return true;
}

bool TFfmpegWriter::CreateStream(const TVideoStreamHeader& header, TPixels pixels) {
    if (!F->Format || F->Stream) return F->Fail(QStringLiteral("No file open for a stream"));
    if (header.Size.isEmpty() || header.Size.width() > 65535 || header.Size.height() > 65535 || header.Scale <= 0 ||
        header.Rate <= 0)
        return F->Fail(QStringLiteral("Invalid stream header"));
    if (const QString why = Host->CheckPictureSize(header.Size.width(), header.Size.height()); !why.isEmpty())
        return F->Fail(why);
    AVStream* st = avformat_new_stream(F->Format, nullptr);
    if (!st) return F->Fail(QStringLiteral("Cannot add a stream"));
    F->Stream = st;
    F->Header = header;
    F->Pixels = pixels;
    st->time_base = AVRational{header.Scale, header.Rate};
    st->avg_frame_rate = av_inv_q(st->time_base);
    AVCodecParameters* par = st->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_RAWVIDEO;
    par->codec_tag = 0;
    par->width = header.Size.width();
    par->height = header.Size.height();
    par->format = pixels == TPixels::Palette8 ? AV_PIX_FMT_PAL8 : AV_PIX_FMT_BGR24;
    par->bits_per_coded_sample = pixels == TPixels::Palette8 ? 8 : 24;
    return true;
}

bool TFfmpegWriter::SetCompressor(const QString& encoder, int quality, int keyFrameEvery) {
    if (!F->Stream || F->HeaderWritten) return F->Fail(QStringLiteral("No stream to compress"));
    avcodec_free_context(&F->Encoder);
    if (encoder.isEmpty()) return true;
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder.toLatin1().constData());
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO) return F->Fail(QStringLiteral("Unknown video compressor '%1'").arg(encoder));
    if (avformat_query_codec(F->Format->oformat, codec->id, FF_COMPLIANCE_NORMAL) != 1)
        return F->Fail(QStringLiteral("The AVI container does not take %1").arg(encoder));
    F->Encoder = NewEncoder(codec, F->Header.Size, F->Stream->time_base, quality, keyFrameEvery);
    if (!F->Encoder) return F->Fail(QStringLiteral("Not enough memory"));
    const int r = avcodec_open2(F->Encoder, codec, nullptr);
    if (r < 0) {
        avcodec_free_context(&F->Encoder);
        return F->Fail(QStringLiteral("Cannot open the %1 compressor").arg(encoder), r);
    }
    avcodec_parameters_from_context(F->Stream->codecpar, F->Encoder);
    F->Stream->codecpar->codec_tag = 0; // the container's own tag for the codec
    return true;
}

bool TFfmpegWriter::SetFormat(const QVector<QRgb>& palette) {
    if (!F->Stream || F->HeaderWritten) return F->Fail(QStringLiteral("No stream to set the format of"));
    if (F->Pixels == TPixels::Palette8 && !F->Encoder) {
        if (palette.isEmpty() || palette.size() > 256) return F->Fail(QStringLiteral("An 8-bit stream needs a palette of 1 to 256 colours"));
        F->Palette = palette;
        F->Palette.resize(256, qRgb(0, 0, 0));
    }
    F->Packet = av_packet_alloc();
    if (!F->Packet) return F->Fail(QStringLiteral("Not enough memory"));
    // Uncompressed rows are stored bottom-up with a positive height, as device-independent bitmaps are.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "flipped_raw_rgb", "1", 0);
    const int r = avformat_write_header(F->Format, &options);
    av_dict_free(&options);
    if (r < 0) return F->Fail(QStringLiteral("Cannot write the AVI header"), r);
    F->HeaderWritten = true;
    return true;
}

bool TFfmpegWriter::WriteFrame(const QImage& frame) {
    TState& s = *F;
    if (!s.HeaderWritten) return s.Fail(QStringLiteral("The stream format is not set"));
    const int w = s.Header.Size.width(), h = s.Header.Size.height();
    if (frame.size() != s.Header.Size) return s.Fail(QStringLiteral("The frame is %1 x %2 pixels, the stream %3 x %4").arg(frame.width()).arg(frame.height()).arg(w).arg(h));
    if (s.Encoder) {
        if (!s.Picture) {
            s.Picture = av_frame_alloc();
            if (!s.Picture) return s.Fail(QStringLiteral("Not enough memory"));
            s.Picture->format = s.Encoder->pix_fmt;
            s.Picture->width = w;
            s.Picture->height = h;
            const int r = av_frame_get_buffer(s.Picture, 0);
            if (r < 0) return s.Fail(QStringLiteral("Not enough memory"), r);
        }
        const int r = av_frame_make_writable(s.Picture);
        if (r < 0) return s.Fail(QStringLiteral("Not enough memory"), r);
        const QImage rgb = frame.convertToFormat(QImage::Format_RGB32);
        s.Scaler = sws_getCachedContext(s.Scaler, w, h, AV_PIX_FMT_RGB32, w, h, s.Encoder->pix_fmt,
                                        SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
        if (!s.Scaler) return s.Fail(QStringLiteral("Cannot convert the frame for the compressor"));
        const uint8_t* src[4] = {rgb.constBits(), nullptr, nullptr, nullptr};
        const int stride[4] = {int(rgb.bytesPerLine()), 0, 0, 0};
        sws_scale(s.Scaler, src, stride, 0, h, s.Picture->data, s.Picture->linesize);
        s.Picture->pts = s.Frames;
        s.Picture->pict_type = s.Encoder->gop_size <= 1 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        s.Picture->quality = s.Encoder->global_quality;
        const int e = avcodec_send_frame(s.Encoder, s.Picture);
        if (e < 0) return s.Fail(QStringLiteral("The encoder failed"), e);
        if (!s.Drain()) return false;
        ++s.Frames;
        return true;
    }
    // Uncompressed: rows bottom-up, each padded to a multiple of four bytes.
    const bool paletted = s.Pixels == TPixels::Palette8;
    const qint64 stride = ((qint64(w) * (paletted ? 8 : 24) + 31) / 32) * 4;
    const qint64 size = stride * h;
    if (size > INT_MAX) return s.Fail(QStringLiteral("The frame is too large"));
    int r = av_new_packet(s.Packet, int(size));
    if (r < 0) return s.Fail(QStringLiteral("Not enough memory"), r);
    std::memset(s.Packet->data, 0, size_t(size));
    if (paletted) {
        const QImage indexed = frame.format() == QImage::Format_Indexed8 ? frame : frame.convertToFormat(QImage::Format_Indexed8, s.Palette, Qt::ThresholdDither);
        for (int y = 0; y < h; ++y) std::memcpy(s.Packet->data + (h - 1 - y) * stride, indexed.constScanLine(y), size_t(w));
    } else {
        const QImage rgb = frame.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < h; ++y) {
            const QRgb* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            uint8_t* out = s.Packet->data + (h - 1 - y) * stride;
            for (int x = 0; x < w; ++x) {
                out[3 * x] = uint8_t(qBlue(in[x]));
                out[3 * x + 1] = uint8_t(qGreen(in[x]));
                out[3 * x + 2] = uint8_t(qRed(in[x]));
            }
        }
    }
    if (paletted && s.Frames == 0) {
        // The palette travels with the first frame; the AVI writer puts it into the stream format.
        uint8_t* side = av_packet_new_side_data(s.Packet, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
        if (!side) return s.Fail(QStringLiteral("Not enough memory"));
        std::memcpy(side, s.Palette.constData(), AVPALETTE_SIZE);
    }
    s.Packet->pts = s.Packet->dts = av_rescale_q(s.Frames, AVRational{s.Header.Scale, s.Header.Rate}, s.Stream->time_base);
    s.Packet->duration = av_rescale_q(1, AVRational{s.Header.Scale, s.Header.Rate}, s.Stream->time_base);
    s.Packet->flags |= AV_PKT_FLAG_KEY;
    s.Packet->stream_index = s.Stream->index;
    r = av_write_frame(s.Format, s.Packet);
    av_packet_unref(s.Packet);
    if (r < 0) return s.Fail(QStringLiteral("Cannot write a frame"), r);
    ++s.Frames;
    return true;
}

bool TFfmpegWriter::Finish() {
    if (!Complete()) return false;
    TState& s = *F;
    s.Release();
    auto* save = dynamic_cast<QSaveFile*>(s.File.get());
    const bool ok = !save || save->commit();
    if (!ok) s.Fail(s.File->errorString());
    s.File.reset();
    return ok;
}

bool TFfmpegWriter::Complete() {
    TState& s = *F;
    if (!s.HeaderWritten) return s.Fail(QStringLiteral("The stream format is not set"));
    if (s.Encoder) {
        const int r = avcodec_send_frame(s.Encoder, nullptr);
        if (r < 0 && r != AVERROR_EOF) return s.Fail(QStringLiteral("The encoder failed"), r);
        if (!s.Drain()) return false;
    }
    int r = av_write_trailer(s.Format);
    if (r < 0) return s.Fail(QStringLiteral("Cannot finish the AVI file"), r);
    avio_flush(s.Io);
    if (s.Io->error < 0) return s.Fail(QStringLiteral("Cannot write the AVI file"), s.Io->error);
    // The AVI writer stores scale and rate reduced by their common divisor; the stream header keeps
    // them as given (the same frame rate).
    {
        const QByteArray& head = s.Head;
        const qsizetype at = head.indexOf("strh");
        if (at >= 0 && at + 36 <= head.size() && head.mid(at + 8, 4) == "vids") {
            QByteArray fields(8, '\0');
            for (int i = 0; i < 4; ++i) {
                fields[i] = char((quint32(s.Header.Scale) >> (8 * i)) & 0xFF);
                fields[4 + i] = char((quint32(s.Header.Rate) >> (8 * i)) & 0xFF);
            }
            // After "strh" and its size: type, handler, flags, priority, language, initial frames, scale, rate.
            if (!s.File->seek(at + 28) || s.File->write(fields) != fields.size())
                return s.Fail(s.File->errorString());
        }
    }
    return true;
}

void TFfmpegWriter::Cancel() {
    F->Release();
    if (auto* save = dynamic_cast<QSaveFile*>(F->File.get())) save->cancelWriting();
    F->File.reset();
    F->Frames = 0;
}

namespace {

// Decodes the clip held in memory; the number of frames FFmpeg gets from it.
int DecodedFrames(const QByteArray& clip) {
    struct TSource {
        const QByteArray* Data;
        qint64 Pos = 0;
    } source{&clip};
    auto read = [](void* opaque, uint8_t* buf, int size) -> int {
        auto* s = static_cast<TSource*>(opaque);
        const qint64 n = std::min<qint64>(size, s->Data->size() - s->Pos);
        if (n <= 0) return AVERROR_EOF;
        std::memcpy(buf, s->Data->constData() + s->Pos, size_t(n));
        s->Pos += n;
        return int(n);
    };
    auto seek = [](void* opaque, int64_t offset, int whence) -> int64_t {
        auto* s = static_cast<TSource*>(opaque);
        if (whence & AVSEEK_SIZE) return s->Data->size();
        const qint64 base = (whence & ~AVSEEK_FORCE) == SEEK_CUR ? s->Pos : (whence & ~AVSEEK_FORCE) == SEEK_END ? s->Data->size() : 0;
        if (base + offset < 0 || base + offset > s->Data->size()) return AVERROR(EINVAL);
        return s->Pos = base + offset;
    };
    constexpr int kBufferSize = 1 << 14;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    AVIOContext* io = buffer ? avio_alloc_context(buffer, kBufferSize, 0, &source, read, nullptr, seek) : nullptr;
    AVFormatContext* ctx = io ? avformat_alloc_context() : nullptr;
    AVCodecContext* dec = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int frames = 0;
    if (ctx && packet && frame) {
        ctx->pb = io;
        ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
        if (avformat_open_input(&ctx, nullptr, av_find_input_format("avi"), nullptr) < 0) ctx = nullptr; // freed
    } else if (ctx) {
        avformat_free_context(ctx);
        ctx = nullptr;
    }
    if (ctx && avformat_find_stream_info(ctx, nullptr) >= 0 && ctx->nb_streams == 1) {
        const AVCodecParameters* par = ctx->streams[0]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        dec = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (dec && avcodec_parameters_to_context(dec, par) >= 0 && avcodec_open2(dec, codec, nullptr) >= 0) {
            auto receive = [&] {
                while (avcodec_receive_frame(dec, frame) == 0) {
                    if (frame->width == par->width && frame->height == par->height) ++frames;
                    av_frame_unref(frame);
                }
            };
            while (av_read_frame(ctx, packet) >= 0) {
                if (avcodec_send_packet(dec, packet) >= 0) receive();
                av_packet_unref(packet);
            }
            avcodec_send_packet(dec, nullptr);
            receive();
        }
    }
    avcodec_free_context(&dec);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&ctx);
    if (io) av_freep(&io->buffer);
    avio_context_free(&io);
    return frames;
}

} // namespace

bool TFfmpegWriter::Trial(const QString& encoder, QSize size) {
    TFfmpegWriter w;
    auto buffer = std::make_unique<QBuffer>();
    buffer->open(QIODevice::WriteOnly);
    QBuffer* clip = buffer.get();
    w.F->File = std::move(buffer);
    if (!w.StartFile() || !w.CreateStream({size, 1, 25}, TPixels::Rgb24) || !w.SetCompressor(encoder, 75, 1) || !w.SetFormat({}))
        return false;
    QImage frame(size, QImage::Format_RGB32);
    frame.fill(Qt::gray);
    if (!w.WriteFrame(frame) || !w.WriteFrame(frame) || !w.Complete()) return false;
    const QByteArray bytes = clip->data();
    return DecodedFrames(bytes) == 2;
}

int TFfmpegWriter::FramesWritten() const { return int(std::min<qint64>(F->Frames, INT_MAX)); }
QString TFfmpegWriter::ErrorString() const { return F->Error; }

namespace {

class TFfmpegModule final : public IVideoModule {
public:
    std::unique_ptr<IVideoReader> NewReader() override { return std::make_unique<TFfmpegReader>(); }
    std::unique_ptr<IVideoWriter> NewWriter() override { return std::make_unique<TFfmpegWriter>(); }
    QList<TVideoEncoderInfo> Encoders(QSize frameSize) override { return ::Encoders(frameSize); }
    bool Trial(const QString& encoder, QSize size) override { return TFfmpegWriter::Trial(encoder, size); }
};

} // namespace

extern "C" __attribute__((visibility("default"))) IVideoModule* LumenorVideoModule(int version, const TVideoHost* host) {
    if (version != kVideoBackendVersion || !host || !host->PixelLimit || !host->CheckPictureSize) return nullptr;
    Host = host;
    static TFfmpegModule module;
    return &module;
}
