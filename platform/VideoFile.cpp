#include "platform/VideoFile.h"

#include "codec/Graphic.h"
#include "codec/Limits.h"

#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>
#include <mutex>

namespace {
// Going forward from the last decoded frame is cheaper than a seek for a short distance.
constexpr qint64 kMaxStepForward = 32;

void QuietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}
} // namespace

struct TVideoFile::TState {
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
        QImage image;
        try {
            image = NewImage(w, h, QImage::Format_RGB32);
        } catch (const Exception&) {
            return QImage(); // beyond the pixel limit or out of memory: nothing to show
        }
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

TVideoFile::TVideoFile() : F(std::make_unique<TState>()) { QuietLibraries(); }

TVideoFile::~TVideoFile() { Close(); }

bool TVideoFile::OpenFile(const QString& fileName) {
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

bool TVideoFile::OpenVideoStream() {
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

bool TVideoFile::OpenFrameReader() {
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
        F->Codec->max_pixels = std::min<qint64>(PixelLimit(), INT_MAX);
        F->Codec->pkt_timebase = F->Stream->time_base;
        ok = avcodec_open2(F->Codec, codec, nullptr) >= 0;
    }
    if (!ok) F->CloseReader();
    return ok;
}

bool TVideoFile::StreamInfo(TVideoStreamInfo& info) const {
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

QImage TVideoFile::Frame(qint64 index) {
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

void TVideoFile::Close() {
    F->CloseReader();
    F->Stream = nullptr;
    avformat_close_input(&F->Format);
    F->Seeks = 0;
}

bool TVideoFile::IsFileOpen() const { return F->Format != nullptr; }
bool TVideoFile::IsStreamOpen() const { return F->Stream != nullptr; }
bool TVideoFile::IsFrameReaderOpen() const { return F->Codec != nullptr; }
int TVideoFile::SeekCount() const { return F->Seeks; }
