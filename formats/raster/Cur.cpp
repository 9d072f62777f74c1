#include "formats/raster/Cur.h"

#include "codec/Ico.h"
#include "codec/Stream.h"

#include <QBuffer>
#include <QIODevice>

#include <algorithm>

DEFINE_GRAPHIC_CLASS(TCursorGraphic)

namespace {

// Directory header (6 bytes), then 16 bytes per image: the hot spot is at 4 and 6 of an entry.
constexpr int kTypePos = 2;
constexpr int kFirstEntryPos = 6;
constexpr int kDibWidthPos = 6 + 16 + 4;

quint32 Peek32(const QByteArray& b, int pos) {
    return quint32(uchar(b[pos])) | (quint32(uchar(b[pos + 1])) << 8) | (quint32(uchar(b[pos + 2])) << 16) |
           (quint32(uchar(b[pos + 3])) << 24);
}

void Poke16(QByteArray& bytes, int pos, quint32 v) {
    bytes[pos] = char(v & 0xFF);
    bytes[pos + 1] = char((v >> 8) & 0xFF);
}

[[noreturn]] void Invalid() {
    throw EInvalidGraphic(QStringLiteral("Cannot load image. Invalid or unexpected %1 image format.").arg(QStringLiteral("CUR")));
}

// The directory's type field (cursor 2, icon 1) from the file's first bytes.
quint16 TypeOf(const QByteArray& head) {
    return head.size() >= 4 ? quint16(uchar(head[kTypePos]) | (uchar(head[kTypePos + 1]) << 8)) : 0;
}

} // namespace

bool TCursorGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    qint64 size = 0;
    const TBlockReader read = StreamBlock(stream, size);
    if (!read) return false;
    std::optional<QSize> shown;
    try {
        // Pointers are also stored as icons now and then.
        shown = ProbeIconFile(read, size, TypeOf(read(0, 4)) == 1 ? 1 : 2);
    } catch (const Exception&) {
        Invalid();
    }
    if (!shown) return false;
    info.Width = shown->width();
    info.Height = shown->height();
    info.Frames = 1;
    return true;
}

void TCursorGraphic::ReadPage(QIODevice& stream, int) {
    // A failed load leaves the graphic empty.
    FImage = QImage();
    FHotSpot = QPoint();
    const QByteArray data = ReadRemaining(stream);
    QVector<TIconEntry> entries;
    const quint16 type = TypeOf(data);
    bool cut = false;
    try {
        // Pointers are also stored as icons now and then; those have no hot spot.
        entries = ReadIconFile(data, type == 1 ? 1 : 2, &cut);
    } catch (const Exception&) {
        Invalid();
    }
    const TIconEntry& best = entries[LargestIconEntry(entries)];
    FImage = best.Image.convertToFormat(QImage::Format_ARGB32);
    SetTruncated(cut || best.Truncated);
    FHotSpot = type == 1 ? QPoint() : QPoint(best.Field1, best.Field2);
}

void TCursorGraphic::SaveToStream(QIODevice& stream) const {
    if (FImage.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    // The icon writer lays out the image; a cursor differs in the type field and the hot spot.
    TIcon icon;
    icon.SetImage(FImage);
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        icon.SaveToStream(buffer);
    }
    if (bytes.size() < kDibWidthPos + 8)
        throw EInvalidGraphicOperation(QStringLiteral("The cursor image could not be written"));
    // Pictures beyond 256 x 256 were scaled down: the hot spot follows.
    const int width = int(Peek32(bytes, kDibWidthPos));
    const int height = int(Peek32(bytes, kDibWidthPos + 4) / 2); // colour rows and mask rows
    const int x = std::clamp(FHotSpot.x() * width / std::max(1, FImage.width()), 0, std::max(0, width - 1));
    const int y = std::clamp(FHotSpot.y() * height / std::max(1, FImage.height()), 0, std::max(0, height - 1));
    Poke16(bytes, kTypePos, 2);
    Poke16(bytes, kFirstEntryPos + 4, quint32(x));
    Poke16(bytes, kFirstEntryPos + 6, quint32(y));
    WriteBytes(stream, bytes);
}

void TCursorGraphic::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (auto* cursor = dynamic_cast<const TCursorGraphic*>(&source))
        FHotSpot = cursor->FHotSpot;
    else
        FHotSpot = QPoint();
    TDibGraphic::Assign(source);
}

void TCursorGraphic::CopyInto(TGraphic& target) const {
    if (auto* cursor = dynamic_cast<TCursorGraphic*>(&target)) {
        cursor->Assign(*this);
        return;
    }
    TDibGraphic::CopyInto(target);
}

void TCursorGraphic::SetWidth(int value) {
    if (value == FNominalWidth) return;
    FNominalWidth = value;
    NotifyChanged();
}

void TCursorGraphic::SetHeight(int value) {
    if (value == FNominalHeight) return;
    FNominalHeight = value;
    NotifyChanged();
}
