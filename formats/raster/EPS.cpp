#include "formats/raster/EPS.h"

#include "codec/Metafile.h"
#include "codec/Stream.h"

#include <QBuffer>

DEFINE_GRAPHIC_CLASS(TEPSGraphic)

TEPSGraphic::TPreview TEPSGraphic::ReadPreviews(QIODevice& stream) {
    const qint64 start = stream.pos();
    const QByteArray header = ReadBytes(stream, 30);
    TByteReader r(header);
    if (r.U32LE() != 0xC6D3D0C5u)
        throw EInvalidGraphic(QStringLiteral("Cannot load image. Invalid or unexpected %1 image format.").arg(QStringLiteral("EPS")));
    r.Seek(12);
    const quint32 wmfOffset = r.U32LE(), wmfLength = r.U32LE();
    const quint32 tiffOffset = r.U32LE(), tiffLength = r.U32LE();
    const qint64 size = stream.isSequential() ? -1 : stream.size();
    auto take = [&](quint32 offset, quint32 length) -> QByteArray {
        if (length == 0) return QByteArray();
        if (size >= 0 && start + qint64(offset) + qint64(length) > size)
            throw EInvalidGraphic(QStringLiteral("The EPS preview lies beyond the end of the file"));
        if (!stream.seek(start + offset)) throw EReadError();
        return ReadBytes(stream, length);
    };
    TPreview preview;
    preview.Tiff = take(tiffOffset, tiffLength);
    if (preview.Tiff.isEmpty()) preview.Metafile = take(wmfOffset, wmfLength);
    return preview;
}

void TEPSGraphic::ReadPage(QIODevice& stream, int page) {
    TPreview preview = ReadPreviews(stream);
    if (preview.Tiff.isEmpty() && !preview.Metafile.isEmpty()) {
        QBuffer buffer(&preview.Metafile);
        buffer.open(QIODevice::ReadOnly);
        TMetafile metafile;
        metafile.LoadFromStream(buffer);
        FImage = metafile.ToImage();
        return;
    }
    // The TIFF decoder sees only the preview, starting at its own offset 0 (an absent preview fails there).
    QBuffer buffer(&preview.Tiff);
    buffer.open(QIODevice::ReadOnly);
    TTiffGraphic::ReadPage(buffer, page);
}

int TEPSGraphic::GetPageCount(QIODevice& stream) {
    const qint64 pos = stream.pos();
    TPreview preview = ReadPreviews(stream);
    stream.seek(pos);
    if (preview.Tiff.isEmpty()) return 1;
    QBuffer buffer(&preview.Tiff);
    buffer.open(QIODevice::ReadOnly);
    return TTiffGraphic::GetPageCount(buffer);
}
