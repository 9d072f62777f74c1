#include "codec/Raw.h"

#include "codec/Jpeg.h"
#include "codec/Limits.h"
#include "codec/PictureColour.h"
#include "codec/Resample.h"
#include "codec/Stream.h"

#include <QBuffer>
#include <QFile>
#include <QHash>

#include <libraw/libraw.h>

#include <algorithm>
#include <atomic>
#include <vector>
#include <memory>

DEFINE_CONTENT_GRAPHIC_CLASS(TRawGraphic)

namespace {

constexpr qint64 kMaxFileSize = qint64(1) << 31;
std::atomic<bool> GPreviewFirst{true};

struct TRawDeleter {
    void operator()(libraw_data_t* r) const { libraw_close(r); }
};
struct TProcessedDeleter {
    void operator()(libraw_processed_image_t* p) const { libraw_dcraw_clear_mem(p); }
};
using TRaw = std::unique_ptr<libraw_data_t, TRawDeleter>;
using TProcessed = std::unique_ptr<libraw_processed_image_t, TProcessedDeleter>;

QString RawError(int code) { return QString::fromUtf8(libraw_strerror(code)); }

// True when a file built as TIFF (DNG, CR2, NEF, ARW, PEF, ...) names strips or tiles, in any of its
// directories or their sub-directories, that reach beyond its end: LibRaw develops such a file quietly
// with zeros where the data are missing.
template <class Bytes> bool TiffDataBeyondEnd(Bytes& d, qint64 size) {
    if (size < 8) return false;
    const uchar b0 = d(0), b1 = d(1);
    if (!((b0 == 'I' && b1 == 'I') || (b0 == 'M' && b1 == 'M'))) return false;
    const bool le = b0 == 'I';
    auto u16 = [&](qint64 p) -> quint32 {
        if (p < 0 || p + 2 > size) return 0;
        const auto a = quint32(d(p)), b = quint32(d(p + 1));
        return le ? a | (b << 8) : (a << 8) | b;
    };
    auto u32 = [&](qint64 p) -> quint32 {
        return le ? u16(p) | (u16(p + 2) << 16) : (u16(p) << 16) | u16(p + 2);
    };
    // The values of an entry of type SHORT, LONG or IFD (at most `limit` of them).
    auto values = [&](qint64 entry, std::vector<quint32>& out) {
        const quint32 type = u16(entry + 2), count = std::min<quint32>(u32(entry + 4), 1u << 20);
        const int width = type == 3 ? 2 : (type == 4 || type == 13) ? 4 : 0;
        if (!width) return;
        const qint64 at = qint64(count) * width <= 4 ? entry + 8 : qint64(u32(entry + 8));
        for (quint32 i = 0; i < count && at + qint64(i + 1) * width <= size; ++i)
            out.push_back(width == 2 ? u16(at + 2 * i) : u32(at + 4 * qint64(i)));
    };
    std::vector<qint64> pending{qint64(u32(4))};
    std::vector<qint64> seen;
    for (int budget = 0; !pending.empty() && budget < 64; ++budget) {
        const qint64 ifd = pending.back();
        pending.pop_back();
        if (ifd < 8 || ifd + 2 > size || std::find(seen.begin(), seen.end(), ifd) != seen.end()) continue;
        seen.push_back(ifd);
        const qint64 n = u16(ifd);
        if (ifd + 2 + 12 * n + 4 > size) return true;
        std::vector<quint32> offsets, counts, children;
        for (qint64 i = 0; i < n; ++i) {
            const qint64 entry = ifd + 2 + 12 * i;
            switch (u16(entry)) {
            case 273: case 324: values(entry, offsets); break; // strip and tile offsets
            case 279: case 325: values(entry, counts); break;  // their byte counts
            case 330: values(entry, children); break;           // sub-directories
            default: break;
            }
        }
        for (size_t i = 0; i < std::min(offsets.size(), counts.size()); ++i)
            if (qint64(offsets[i]) + qint64(counts[i]) > size) return true;
        for (quint32 child : children) pending.push_back(child);
        if (const quint32 next = u32(ifd + 2 + 12 * n)) pending.push_back(next);
    }
    return false;
}

int OrientationOfFlip(int flip);

// The bytes of a file read a block at a time as they are asked for (the directories of a big file
// without reading its picture data).
class TFileBytes {
public:
    explicit TFileBytes(QFile& file) : FFile(file) {}
    uchar operator()(qint64 p) {
        const qint64 block = p / kBlock;
        auto it = FBlocks.find(block);
        if (it == FBlocks.end()) {
            QByteArray bytes;
            if (FFile.seek(block * kBlock)) bytes = FFile.read(kBlock);
            it = FBlocks.insert(block, bytes);
        }
        const qint64 at = p - block * kBlock;
        return at < it->size() ? uchar(it->at(at)) : 0;
    }

private:
    static constexpr qint64 kBlock = 16384;
    QFile& FFile;
    QHash<qint64, QByteArray> FBlocks;
};

TRaw NewRaw(bool* cut) {
    TRaw raw(libraw_init(0));
    if (!raw) throw EPictureTooLarge(QStringLiteral("Not enough memory for the RAW decoder"));
    libraw_set_dataerror_handler(raw.get(), [](void* flag, const char*, const int) { *static_cast<bool*>(flag) = true; }, cut);
    return raw;
}

// Opens the file's bytes; *cut is set when LibRaw finds the data ending early (at opening or later).
TRaw Open(const QByteArray& data, bool* cut) {
    TRaw raw = NewRaw(cut);
    const int rc = libraw_open_buffer(raw.get(), const_cast<char*>(data.constData()), size_t(data.size()));
    if (rc != LIBRAW_SUCCESS) throw EInvalidGraphic(QStringLiteral("Not a camera RAW picture: %1").arg(RawError(rc)));
    const auto byte = [&data](qint64 p) { return uchar(data[p]); };
    if (TiffDataBeyondEnd(byte, data.size())) *cut = true;
    return raw;
}

// Opens the file itself: LibRaw reads what it needs (the directories, a preview), not the whole file.
TRaw OpenFile(const QString& fileName, bool* cut) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) throw EInvalidGraphic(file.errorString());
    if (file.size() > kMaxFileSize) throw EInvalidGraphic(QStringLiteral("The file is too large"));
    TRaw raw = NewRaw(cut);
    const int rc = libraw_open_file(raw.get(), QFile::encodeName(fileName).constData());
    if (rc != LIBRAW_SUCCESS) throw EInvalidGraphic(QStringLiteral("Not a camera RAW picture: %1").arg(RawError(rc)));
    TFileBytes bytes(file);
    if (TiffDataBeyondEnd(bytes, file.size())) *cut = true;
    return raw;
}

// The upright size of the whole picture as the metadata give it.
QSize UprightSize(const libraw_data_t& raw) {
    const int width = raw.sizes.iwidth ? raw.sizes.iwidth : raw.sizes.width;
    const int height = raw.sizes.iheight ? raw.sizes.iheight : raw.sizes.height;
    CheckPictureSize(width, height);
    const int orientation = OrientationOfFlip(raw.sizes.flip);
    return orientation == 6 || orientation == 8 ? QSize(height, width) : QSize(width, height);
}

// dcraw's flip codes as EXIF orientations.
int OrientationOfFlip(int flip) {
    switch (flip) {
    case 3: return 3;
    case 5: return 8;
    case 6: return 6;
    default: return 1;
    }
}

// An 8-bit RGB or grey bitmap of LibRaw as an RGB32 picture.
QImage FromBitmap(const libraw_processed_image_t& p) {
    if (p.bits != 8 || (p.colors != 3 && p.colors != 1)) throw EInvalidGraphic(QStringLiteral("The RAW picture has an unknown pixel layout"));
    if (qint64(p.width) * p.height * p.colors > qint64(p.data_size))
        throw EInvalidGraphic(QStringLiteral("The RAW picture is damaged"));
    QImage image = NewImage(p.width, p.height, QImage::Format_RGB32);
    for (int y = 0; y < p.height; ++y) {
        const uchar* src = p.data + qsizetype(y) * p.width * p.colors;
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < p.width; ++x)
            dst[x] = p.colors == 3 ? qRgb(src[x * 3], src[x * 3 + 1], src[x * 3 + 2]) : qRgb(src[x], src[x], src[x]);
    }
    return image;
}

// The developed picture, written by LibRaw as 8-bit blue, green, red at the start of each line of an
// RGB32 picture and spread to four bytes a pixel in place (from the line's end, so nothing is
// overwritten before it is read): no copy of the whole picture in between.
QImage Developed(libraw_data_t& raw) {
    auto* libraw = static_cast<LibRaw*>(raw.parent_class);
    int width = 0, height = 0, colors = 0, bps = 0;
    libraw->get_mem_image_format(&width, &height, &colors, &bps);
    if (bps != 8 || colors != 3 || width <= 0 || height <= 0)
        throw EInvalidGraphic(QStringLiteral("The RAW picture has an unknown pixel layout"));
    CheckPictureSize(width, height);
    QImage image = NewImage(width, height, QImage::Format_RGB32);
    uchar* const bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    const int rc = libraw->copy_mem_image(bits, int(bytesPerLine), 1);
    if (rc != LIBRAW_SUCCESS) throw EInvalidGraphic(QStringLiteral("Cannot develop the RAW picture: %1").arg(RawError(rc)));
    ParallelRows(height, qint64(width) * height, [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            uchar* line = bits + y * bytesPerLine;
            for (int x = width - 1; x >= 0; --x) {
                const uchar b = line[3 * x], g = line[3 * x + 1], r = line[3 * x + 2];
                reinterpret_cast<QRgb*>(line)[x] = qRgb(r, g, b);
            }
        }
    });
    return image;
}

// Develops opened raw data: camera white balance, sRGB, 8 bits, turned as the metadata say.
QImage Develop(libraw_data_t& raw) {
    CheckPictureSize(raw.sizes.width, raw.sizes.height);
    raw.params.use_camera_wb = 1;
    raw.params.output_color = 1; // sRGB
    raw.params.output_bps = 8;
    int rc = libraw_unpack(&raw);
    if (rc == LIBRAW_SUCCESS) rc = libraw_dcraw_process(&raw);
    if (rc != LIBRAW_SUCCESS) {
        if (rc == LIBRAW_UNSUFFICIENT_MEMORY) throw EPictureTooLarge(QStringLiteral("Not enough memory to develop the RAW picture"));
        throw EInvalidGraphic(QStringLiteral("Cannot develop the RAW picture: %1").arg(RawError(rc)));
    }
    return Developed(raw);
}

} // namespace

bool TRawGraphic::PreviewFirst() { return GPreviewFirst; }
void TRawGraphic::SetPreviewFirst(bool value) { GPreviewFirst = value; }

bool TRawGraphic::AcceptsContent(QIODevice& stream) {
    const qint64 start = stream.pos();
    TStreamPositionKeeper keep(stream);
    const QByteArray head = stream.read(16);
    if (head.size() < 16) return false;
    // Signatures of their own: Canon CR3 (ISO media, brand crx), Fujifilm, Olympus, Panasonic.
    if (head.mid(4, 8) == "ftypcrx ") return true;
    if (head.startsWith("FUJIFILMCCD-RAW")) return true;
    if (head.startsWith("IIRO") || head.startsWith("IIRS") || head.startsWith("MMOR")) return true;
    if (head.startsWith(QByteArray("IIU\0", 4))) return true;
    // TIFF-based files (DNG, CR2, NEF, ARW, PEF): CR2 says so at offset 8; others carry the DNG version
    // tag (C612) or a maker's make in the first directory, which plain TIFF does not need. Only DNG and
    // CR2 are told by content; the other TIFF-based files open by their extension.
    if (head.startsWith(QByteArray("II*\0", 4)) && head.mid(8, 2) == "CR") return true;
    if (head.startsWith(QByteArray("II*\0", 4)) || head.startsWith(QByteArray("MM\0*", 4))) {
        stream.seek(start);
        const QByteArray first = stream.read(64 * 1024);
        return first.contains(QByteArray("\x12\xC6\x01\0", 4)) || first.contains(QByteArray("\xC6\x12\0\x01", 4));
    }
    return false;
}

// The file named by a stream at its start, when the stream is a file: LibRaw then reads it itself.
QString FileOf(QIODevice& stream) {
    auto* file = qobject_cast<QFile*>(&stream);
    return file && stream.pos() == 0 && !file->fileName().isEmpty() ? file->fileName() : QString();
}

bool TRawGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    bool cut = false;
    const QString fileName = FileOf(stream);
    QByteArray data;
    TRaw raw = fileName.isEmpty() ? Open(data = ReadRemaining(stream, kMaxFileSize), &cut) : OpenFile(fileName, &cut);
    const QSize size = UprightSize(*raw);
    info.Width = size.width();
    info.Height = size.height();
    info.Frames = 1;
    return true;
}

void TRawGraphic::ReadPage(QIODevice& stream, int page) {
    (void)page;
    FData.clear();
    FFileName.clear();
    FShowsPreview = false;
    FFullSize = QSize();
    bool cut = false;
    // A preview is read from the file without reading the raw data (a camera file is tens of MB); the
    // raw data are read when the picture is developed.
    const QString fileName = FileOf(stream);
    TRaw raw = fileName.isEmpty() ? Open(FData = ReadRemaining(stream, kMaxFileSize), &cut) : OpenFile(fileName, &cut);
    FFileName = fileName;
    FCamera = (QString::fromUtf8(raw->idata.make) + QLatin1Char(' ') + QString::fromUtf8(raw->idata.model)).trimmed();
    const int orientation = OrientationOfFlip(raw->sizes.flip);
    const QSize full = UprightSize(*raw);

    if (GPreviewFirst && raw->thumbnail.tlength > 0 && libraw_unpack_thumb(raw.get()) == LIBRAW_SUCCESS) {
        CheckPictureSize(std::max<int>(1, raw->thumbnail.twidth), std::max<int>(1, raw->thumbnail.theight));
        QImage preview;
        TProcessed thumb;
        if (raw->thumbnail.tformat == LIBRAW_THUMBNAIL_JPEG && raw->thumbnail.thumb && raw->thumbnail.tlength > 0) {
            // The camera's JPEG as the file holds it (LibRaw's copy of it would add an Exif block with
            // the camera's orientation: the preview is turned below, as the file says).
            QByteArray jpeg(raw->thumbnail.thumb, qsizetype(raw->thumbnail.tlength));
            QBuffer buffer(&jpeg);
            buffer.open(QIODevice::ReadOnly);
            TJpegGraphic decoder;
            decoder.SetApplyOrientation(false);
            // A reduced load of the whole picture is a reduced preview: the JPEG scales as it decodes.
            if (const QSize want = LoadSize(); want.isValid())
                decoder.SetLoadSize(orientation == 6 || orientation == 8 ? want.transposed() : want);
            try {
                decoder.LoadFromStream(buffer);
                preview = decoder.Image().convertToFormat(QImage::Format_RGB32);
            } catch (const Exception&) {
                preview = QImage(); // a damaged preview: develop instead
            }
        } else {
            int rc = 0;
            thumb.reset(libraw_dcraw_make_mem_thumb(raw.get(), &rc));
        }
        if (thumb && thumb->type == LIBRAW_IMAGE_BITMAP) {
            preview = FromBitmap(*thumb);
        }
        if (!preview.isNull()) {
            FImage = ApplyOrientation(preview, orientation);
            FFullSize = full;
            FShowsPreview = true;
            SetTransparent(false);
            SetTruncated(cut);
            return;
        }
    }
    const QImage developed = Develop(*raw); // before cut is read: LibRaw reports there while it unpacks
    SetDeveloped(developed, cut);
}

void TRawGraphic::DecodeFull() {
    if (!FShowsPreview && !FImage.isNull()) return;
    if (FData.isEmpty() && FFileName.isEmpty()) throw EInvalidGraphicOperation(QStringLiteral("There is no RAW file to develop"));
    // LibRaw reports data that end early through its handler (and develops what arrived). A file is
    // read by LibRaw itself, as it needs it.
    bool cut = false;
    TRaw raw = FData.isEmpty() ? OpenFile(FFileName, &cut) : Open(FData, &cut);
    const QImage developed = Develop(*raw); // before cut is read: LibRaw reports there while it unpacks
    SetDeveloped(developed, cut);
}

void TRawGraphic::SetDeveloped(const QImage& image, bool cut) {
    FImage = image;
    SetTruncated(cut);
    FFullSize = QSize();
    FShowsPreview = false;
    SetTransparent(false);
}

QImage TRawGraphic::ToImage(QSize size, TColor background) const {
    if (FShowsPreview && !size.isValid()) size = FFullSize;
    return TDibGraphic::ToImage(size, background);
}

QImage TRawGraphic::ToBitmap() const {
    if (FShowsPreview) return ToImage();
    return FImage;
}

void TRawGraphic::Assign(const TGraphic& source) {
    if (&source == this) return;
    FData.clear();
    FFileName.clear();
    FFullSize = QSize();
    FShowsPreview = false;
    FCamera.clear();
    TDibGraphic::Assign(source);
}
