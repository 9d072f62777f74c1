#include "codec/Heif.h"

#include "codec/Avif.h"
#include "codec/Limits.h"
#include "codec/PictureColour.h"
#include "codec/Resample.h"
#include "codec/Stream.h"

#include <libheif/heif.h>

#include <algorithm>
#include <memory>
#include <vector>

DEFINE_CONTENT_GRAPHIC_CLASS(THeifGraphic)

namespace {

constexpr qint64 kMaxFileSize = qint64(1) << 31;

struct TContextDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct THandleDeleter {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct TImageDeleter {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct TOptionsDeleter {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

void Check(const heif_error& error, const char* what) {
    if (error.code == heif_error_Ok) return;
    if (error.code == heif_error_Memory_allocation_error)
        throw EPictureTooLarge(QStringLiteral("Not enough memory for the HEIF picture"));
    throw EInvalidGraphic(QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromUtf8(error.message)));
}

std::unique_ptr<heif_context, TContextDeleter> NewContext() {
    std::unique_ptr<heif_context, TContextDeleter> context(heif_context_alloc());
    if (!context) throw EPictureTooLarge(QStringLiteral("Not enough memory for the HEIF decoder"));
    return context;
}

// The primary picture of a context that has read the file's boxes, within the pixel limit. Its size is
// after the file's transformations (irot, imir, clean aperture); the pixel count is the same before them.
std::unique_ptr<heif_image_handle, THandleDeleter> PrimaryPicture(heif_context* context) {
    heif_image_handle* rawHandle = nullptr;
    Check(heif_context_get_primary_image_handle(context, &rawHandle), "The HEIF file has no primary picture");
    std::unique_ptr<heif_image_handle, THandleDeleter> handle(rawHandle);
    CheckPictureSize(heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get()));
    return handle;
}

// The EXIF orientation applied on top of the library's transformations: only in files that do not turn
// the picture themselves (transformed: the meta box names irot or imir).
int ExifOrientationOf(heif_image_handle* handle, bool transformed) {
    if (transformed) return 1;
    heif_item_id exifId = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &exifId, 1) != 1) return 1;
    const size_t size = heif_image_handle_get_metadata_size(handle, exifId);
    if (size == 0 || size >= (1u << 24)) return 1;
    QByteArray exif(qsizetype(size), Qt::Uninitialized);
    if (heif_image_handle_get_metadata(handle, exifId, exif.data()).code != heif_error_Ok) return 1;
    return ExifOrientation(exif);
}

// The file read through a stream, from where it stood. Reads past the end fail as they do in libheif's
// own memory reader. libheif keeps the content of the boxes it does not know, the picture data ("mdat")
// among them, for writing them back; reading a file's boxes does not look at it, so that read is
// answered without reading the file (the library's buffer keeps its zeros). The pictures' data it
// reads later, item by item, are read from the file.
struct TStreamSource {
    QIODevice* Stream = nullptr;
    qint64 Start = 0;
    qint64 Size = 0;
    QVector<QPair<qint64, qint64>> Skipped; // content (start, length) of the top-level "mdat" boxes

    static TStreamSource& Of(void* userdata) { return *static_cast<TStreamSource*>(userdata); }
    static int64_t Position(void* userdata) { return Of(userdata).Stream->pos() - Of(userdata).Start; }
    static int Read(void* data, size_t size, void* userdata) {
        TStreamSource& s = Of(userdata);
        const qint64 pos = s.Stream->pos() - s.Start;
        if (pos + qint64(size) > s.Size) return 1;
        if (s.Skipped.contains(qMakePair(pos, qint64(size)))) return s.Stream->seek(s.Start + pos + qint64(size)) ? 0 : 1;
        return s.Stream->read(static_cast<char*>(data), qint64(size)) == qint64(size) ? 0 : 1;
    }
    static int Seek(int64_t position, void* userdata) {
        TStreamSource& s = Of(userdata);
        if (position < 0 || position > s.Size) return 1;
        return s.Stream->seek(s.Start + position) ? 0 : 1;
    }
    static heif_reader_grow_status WaitForSize(int64_t target, void* userdata) {
        return target > Of(userdata).Size ? heif_reader_grow_status_size_beyond_eof : heif_reader_grow_status_size_reached;
    }
};

} // namespace

bool THeifGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    if (stream.isSequential()) return false;
    TStreamSource source{&stream, stream.pos(), 0};
    source.Size = std::max<qint64>(0, stream.size() - source.Start);
    if (source.Size > kMaxFileSize) return false; // loading refuses it with its own message
    for (const TBoxSpan& box : TopLevelBoxes(stream))
        if (box.Type == "mdat") source.Skipped.append({box.Pos + box.HeaderSize - source.Start, qint64(box.Size) - box.HeaderSize});
    stream.seek(source.Start);
    static const heif_reader reader = {1, &TStreamSource::Position, &TStreamSource::Read, &TStreamSource::Seek,
                                       &TStreamSource::WaitForSize};
    std::unique_ptr<heif_context, TContextDeleter> context = NewContext();
    Check(heif_context_read_from_reader(context.get(), &reader, &source, nullptr), "Cannot read the HEIF picture");
    std::unique_ptr<heif_image_handle, THandleDeleter> handle = PrimaryPicture(context.get());
    int width = heif_image_handle_get_width(handle.get()), height = heif_image_handle_get_height(handle.get());
    stream.seek(source.Start);
    const QByteArray meta = HeifMetaBox(stream);
    const bool transformed = HeifMetaHasProperty(meta, "irot") || HeifMetaHasProperty(meta, "imir");
    if (ExifOrientationOf(handle.get(), transformed) >= 5) std::swap(width, height);
    info.Width = width;
    info.Height = height;
    info.Frames = 1;
    return true;
}

bool THeifGraphic::AcceptsContent(QIODevice& stream) {
    if (FtypHasBrand(stream, {"avif", "avis"})) return false;
    return FtypHasBrand(stream, {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"});
}

void THeifGraphic::ReadPage(QIODevice& stream, int page) {
    (void)page;
    const QByteArray data = ReadRemaining(stream, kMaxFileSize);
    std::unique_ptr<heif_context, TContextDeleter> context = NewContext();
    Check(heif_context_read_from_memory_without_copy(context.get(), data.constData(), size_t(data.size()), nullptr),
          "Cannot read the HEIF picture");
    std::unique_ptr<heif_image_handle, THandleDeleter> handle = PrimaryPicture(context.get());
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    FFileDepth = heif_image_handle_get_luma_bits_per_pixel(handle.get());
    const bool deep = FFileDepth > 8;
    const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    std::unique_ptr<heif_decoding_options, TOptionsDeleter> options(heif_decoding_options_alloc());
    heif_image* rawImage = nullptr;
    Check(heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, chroma, options.get()),
          "Cannot decode the HEIF picture");
    std::unique_ptr<heif_image, TImageDeleter> image(rawImage);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!plane || width <= 0 || height <= 0) throw EInvalidGraphic(QStringLiteral("The HEIF picture has no pixels"));
    QImage picture = NewImage(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const int channels = alpha ? 4 : 3;
    const int bits = deep ? heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) : 8;
    const quint32 maxValue = (1u << std::clamp(bits, 1, 16)) - 1;
    uchar* const pixels = picture.bits();
    const qsizetype bytesPerLine = picture.bytesPerLine();
    ParallelRows(height, qint64(width) * height, [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const uint8_t* src = plane + qsizetype(y) * stride;
            auto* dst = reinterpret_cast<QRgb*>(pixels + y * bytesPerLine);
            if (!deep && !alpha) {
                for (int x = 0; x < width; ++x, src += 3) dst[x] = qRgb(src[0], src[1], src[2]);
            } else if (!deep) {
                for (int x = 0; x < width; ++x, src += 4) dst[x] = qRgba(src[0], src[1], src[2], src[3]);
            } else {
                for (int x = 0; x < width; ++x) {
                    int v[4] = {0, 0, 0, 255};
                    for (int c = 0; c < channels; ++c) {
                        const uint8_t* p = src + (qsizetype(x) * channels + c) * 2;
                        v[c] = To8Bit(quint32(p[0]) | (quint32(p[1]) << 8), maxValue);
                    }
                    dst[x] = qRgba(v[0], v[1], v[2], v[3]);
                }
            }
        }
    });

    // Colours: an ICC profile, else the nclx box.
    const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(handle.get());
    if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
        QByteArray icc(qsizetype(heif_image_handle_get_raw_color_profile_size(handle.get())), Qt::Uninitialized);
        if (!icc.isEmpty() && heif_image_handle_get_raw_color_profile(handle.get(), icc.data()).code == heif_error_Ok)
            ConvertProfileToSrgb(picture, icc);
    } else if (profile == heif_color_profile_type_nclx) {
        heif_color_profile_nclx* nclx = nullptr;
        if (heif_image_handle_get_nclx_color_profile(handle.get(), &nclx).code == heif_error_Ok && nclx) {
            ConvertNclxToSrgb(picture, int(nclx->color_primaries), int(nclx->transfer_characteristics));
            heif_nclx_color_profile_free(nclx);
        }
    }

    // The EXIF orientation, in files that do not turn the picture themselves.
    FExifOrientation = ExifOrientationOf(handle.get(), HeifHasProperty(data, "irot") || HeifHasProperty(data, "imir"));
    FImage = ApplyOrientation(picture, FExifOrientation);
    SetTransparent(alpha);
}
