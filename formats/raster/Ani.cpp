#include "formats/raster/Ani.h"

#include "codec/DibGraphic.h"
#include "codec/Ico.h"
#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QIODevice>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cstring>

DEFINE_GRAPHIC_CLASS(TAniGraphic)

namespace {

constexpr int kJiffyMs = 16;
constexpr int kDefaultInterval = 100;
constexpr int kHeaderBytes = 36;
constexpr int kIconDirHeader = 6;
constexpr int kIconDirEntry = 16;

[[noreturn]] void Invalid() { throw EInvalidGraphic(QStringLiteral("Animated icon image is not valid")); }

// Reads the kept bytes up to the end the RIFF header gives; a value read past that end reads as 0, and
// the position moves on regardless, so every loop over it ends.
class TRiffReader {
public:
    TRiffReader(const QByteArray& data) : FData(reinterpret_cast<const uchar*>(data.constData())), FEnd(data.size()) {}

    qint64 Pos() const { return FPos; }
    qint64 End() const { return FEnd; }
    void SetEnd(qint64 end) { FEnd = std::clamp<qint64>(end, 0, FEnd); }
    void Seek(qint64 pos) { FPos = pos; }
    void Skip(qint64 n) { FPos += n; }
    qint64 Available() const { return std::max<qint64>(0, FEnd - FPos); }

    quint8 U8() {
        const quint8 v = FPos >= 0 && FPos < FEnd ? FData[FPos] : 0;
        ++FPos;
        return v;
    }
    quint32 U32() {
        quint32 v = 0;
        for (int i = 0; i < 4; ++i) v |= quint32(U8()) << (8 * i);
        return v;
    }
    // A four-character tag, read like a value (past the end: four zero bytes).
    quint32 Tag() { return U32(); }
    const uchar* Data() const { return FData; }

private:
    const uchar* FData;
    qint64 FEnd;
    qint64 FPos = 0;
};

constexpr quint32 MakeTag(const char (&s)[5]) {
    return quint32(uchar(s[0])) | (quint32(uchar(s[1])) << 8) | (quint32(uchar(s[2])) << 16) |
           (quint32(uchar(s[3])) << 24);
}

// A list of 32-bit values whose count must be the header's step count; values beyond the data are left
// out rather than read as zeros, so a hostile count allocates nothing.
QVector<quint32> ReadSteps(TRiffReader& r, quint32 size, quint32 steps) {
    if (size / 4 != steps) Invalid();
    const qint64 start = r.Pos();
    const qint64 count = std::min<qint64>(size / 4, r.Available() / 4);
    QVector<quint32> values;
    values.reserve(count);
    for (qint64 i = 0; i < count; ++i) values.append(r.U32());
    r.Seek(start + size);
    return values;
}

// A zero-terminated text of the given length (the bytes present of it).
QString ReadText(TRiffReader& r, quint32 length) {
    const qint64 start = r.Pos();
    const qint64 present = std::min<qint64>(length, r.Available());
    QString text;
    if (present > 0) {
        const char* p = reinterpret_cast<const char*>(r.Data() + start);
        const void* zero = std::memchr(p, 0, size_t(present));
        text = QString::fromLatin1(p, zero ? static_cast<const char*>(zero) - p : present);
    }
    r.Seek(start + length);
    return text;
}

} // namespace

TAniGraphic::TAniGraphic() = default;

TAniGraphic::~TAniGraphic() {
    FTimer.reset(); // the timer goes before the data it steps through
}

void TAniGraphic::Clear() {
    SetTruncated(false);
    FArtist.clear();
    FName.clear();
    FFrameCount = 0;
    FHeader = THeader();
    FFrame = QImage();
    FData.clear();
    FRates.clear();
    FSequence.clear();
    FFramePos.clear();
    FCurrent = -1;
    if (!QCoreApplication::closingDown()) NotifyChanged();
}

void TAniGraphic::LoadFromStream(QIODevice& stream) {
    Clear();
    FData = ReadRemaining(stream);
    try {
        Parse();
    } catch (...) {
        // Nothing half-read stays behind.
        SetTruncated(false);
        FArtist.clear();
        FName.clear();
        FFrameCount = 0;
        FHeader = THeader();
        FData.clear();
        FRates.clear();
        FSequence.clear();
        FFramePos.clear();
        throw;
    }
    FCurrent = -1;
    ShowFrame(0);
}

bool TAniGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    // The frames are counted by walking the chunks, which lie all over the (small) file; no frame is
    // decoded.
    TAniGraphic scratch;
    scratch.FData = ReadRemaining(stream);
    scratch.Parse();
    info.Width = scratch.Width();
    info.Height = scratch.Height();
    info.Frames = scratch.FrameCount();
    return true;
}

namespace {

// The tags a chunk of the top level can have; after a list whose size is wrong, the walk picks up the
// next of them.
bool IsTopLevelTag(quint32 tag) {
    return tag == MakeTag("anih") || tag == MakeTag("rate") || tag == MakeTag("seq ") || tag == MakeTag("LIST");
}

quint32 TagAt(const TRiffReader& r, qint64 pos) {
    TRiffReader at = r;
    at.Seek(pos);
    return at.Tag();
}

// Steps over the padding byte that follows a chunk of odd size, when it is there (a 0).
void SkipPad(TRiffReader& r, quint32 size) {
    if ((size & 1) && r.Pos() < r.End() && r.U8() != 0) r.Skip(-1);
}

} // namespace

void TAniGraphic::Parse() {
    TRiffReader r(FData);
    if (r.Tag() != MakeTag("RIFF")) Invalid();
    const qint64 riffEnd = qint64(r.U32()) + 8;
    r.SetEnd(riffEnd);
    if (r.Tag() != MakeTag("ACON")) Invalid();
    bool cut = false; // a frame's data goes past the end of the data

    while (r.Pos() + 8 <= r.End()) {
        const quint32 tag = r.Tag();
        const quint32 size = r.U32();
        const qint64 start = r.Pos();
        if (tag == MakeTag("anih")) {
            quint32 values[9] = {};
            const quint32 taken = std::min<quint32>(size, kHeaderBytes);
            for (quint32 i = 0; i < taken / 4; ++i) values[i] = r.U32();
            FHeader = THeader{values[0], values[1], values[2], values[3], values[4],
                              values[5], values[6], values[7], values[8]};
            r.Seek(start + size);
        } else if (tag == MakeTag("rate")) {
            FRates = ReadSteps(r, size, FHeader.Steps);
        } else if (tag == MakeTag("seq ")) {
            FSequence = ReadSteps(r, size, FHeader.Steps);
        } else if (tag == MakeTag("LIST")) {
            // The sub-chunks are walked by their sizes within the list. Lists whose size is a few bytes
            // off are common: when the list's end does not hold the next chunk, the walk resumes at the
            // next chunk tag found after the list's last sub-chunk.
            const qint64 listEnd = std::min(start + qint64(size), r.End());
            const quint32 type = r.Tag();
            const bool frames = (type & 0x00FFFFFF) == (MakeTag("fram") & 0x00FFFFFF);
            if (frames) FFramePos.clear();
            while (r.Pos() + 8 <= listEnd) {
                const qint64 itemPos = r.Pos();
                const quint32 item = r.Tag();
                if (IsTopLevelTag(item)) { // the list ended before its size says
                    r.Seek(itemPos);
                    break;
                }
                const quint32 length = r.U32();
                const qint64 dataPos = r.Pos();
                if (frames) {
                    if (item != MakeTag("icon")) Invalid();
                    FFramePos.append(itemPos + 4);
                    if (dataPos + qint64(length) > FData.size()) cut = true;
                    r.Seek(dataPos + length);
                    SkipPad(r, length);
                } else if (item == MakeTag("INAM") || item == MakeTag("IART")) {
                    (item == MakeTag("INAM") ? FName : FArtist) = ReadText(r, length);
                    // One more byte is consumed when it is 0: the padding after an odd length, which some
                    // writers also put after an even one.
                    if (r.Pos() < listEnd && r.U8() != 0) r.Skip(-1);
                } else {
                    r.Seek(dataPos + length);
                    SkipPad(r, length);
                }
            }
            const qint64 walked = std::min(r.Pos(), listEnd);
            r.Seek(listEnd);
            SkipPad(r, size);
            if (r.Pos() + 8 <= r.End() && !IsTopLevelTag(TagAt(r, r.Pos()))) {
                // Resynchronise: the nearest chunk tag from the end of the last sub-chunk on.
                qint64 next = walked;
                while (next + 8 <= r.End() && !IsTopLevelTag(TagAt(r, next))) ++next;
                if (next + 8 <= r.End()) r.Seek(next);
            }
            continue;
        } else {
            r.Seek(start + size);
        }
        SkipPad(r, size);
    }

    // Frames as the header counts them, as far as the data holds them.
    FFrameCount = int(std::min<qint64>(FHeader.Frames, FFramePos.size()));
    SetTruncated(cut || (FFrameCount < qint64(FHeader.Frames) && FData.size() < riffEnd));
    if ((FHeader.Width == 0 || FHeader.Height == 0) && !FFramePos.isEmpty()) {
        // The first frame's first directory entry; 0 there stands for 256.
        r.Seek(FFramePos.front() + 4 + kIconDirHeader);
        const quint32 w = r.U8(), h = r.U8();
        FHeader.Width = w ? w : 256;
        FHeader.Height = h ? h : 256;
    }
    if (FFrameCount > 0) CheckPictureSize(FHeader.Width, FHeader.Height);
}

void TAniGraphic::ShowFrame(int index) {
    if (FFramePos.isEmpty() || index < 0 || index >= FFrameCount || index == FCurrent) return;
    FCurrent = index;
    FFrame = QImage();
    const qint64 sizePos = FFramePos[index];
    TRiffReader r(FData);
    r.Seek(sizePos);
    const quint32 size = r.U32();
    const qint64 start = sizePos + 4;
    const qint64 length = std::min<qint64>(size, std::max<qint64>(0, FData.size() - start));
    if (length >= kIconDirHeader + kIconDirEntry) {
        try {
            const QByteArray icon = FData.mid(start, length);
            const quint16 type = quint16(uchar(icon[2]) | (uchar(icon[3]) << 8));
            // The frame's first image (frames hold icon or cursor resources).
            FFrame = ReadIconFile(icon, type == 2 ? 2 : 1).front().Image.convertToFormat(QImage::Format_ARGB32);
        } catch (const Exception&) {
            FFrame = QImage(); // a frame that cannot be decoded draws nothing
        }
    }
    NotifyChanged();
}

void TAniGraphic::SelectFrame(int frame) {
    if (frame < 1 || frame > FFrameCount)
        throw EInvalidGraphicOperation(QStringLiteral("Frame %1 does not exist (the picture has %2)").arg(frame).arg(FFrameCount));
    ShowFrame(frame - 1);
}

bool TAniGraphic::Animating() const { return FAnimating; }

void TAniGraphic::SetAnimating(bool value) {
    if (value == FAnimating) return;
    FAnimating = value;
    if (!value) {
        FTimer->stop();
        return;
    }
    if (!FTimer) {
        FTimer = std::make_unique<QTimer>();
        QObject::connect(FTimer.get(), &QTimer::timeout, [this] { Tick(); });
    }
    FTimer->start(FInterval);
}

void TAniGraphic::Tick() {
    if (FTimer) FTimer->stop();
    if (FFrameCount > 0) ShowFrame((FCurrent + 1) % FFrameCount);
    if (FCurrent >= 0) {
        // A frame's own rate, else the header's default; a rate of 0 there (which would spin the
        // timer) counts as missing too.
        qint64 jiffies = FCurrent < FRates.size() ? FRates[FCurrent] : 0;
        if (jiffies == 0) jiffies = FHeader.DisplayRate;
        FInterval = jiffies ? int(std::min<qint64>(jiffies * kJiffyMs, INT_MAX)) : kDefaultInterval;
    }
    // The frame's handlers may have paused the animation meanwhile.
    if (FAnimating) FTimer->start(FInterval);
}

void TAniGraphic::SaveToStream(QIODevice& stream) const {
    if (FData.isEmpty()) throw EInvalidGraphicOperation(QStringLiteral("Invalid stream format"));
    WriteBytes(stream, FData);
}

QImage TAniGraphic::FrameBitmap() const {
    if (IsEmpty()) return QImage();
    QImage bitmap = NewImage(Width(), Height(), QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(Qt::transparent);
    if (!FFrame.isNull()) {
        QPainter painter(&bitmap);
        painter.drawImage(0, 0, FFrame);
    }
    return bitmap;
}

void TAniGraphic::DrawTo(QPainter& canvas, const QRect& rect) const {
    if (FFrame.isNull() || IsEmpty()) return;
    canvas.save();
    canvas.setClipRect(QRect(rect.topLeft(), QSize(Width(), Height())), Qt::IntersectClip);
    canvas.drawImage(rect.topLeft(), FFrame);
    canvas.restore();
}

QImage TAniGraphic::ToImage(QSize size, TColor background) const {
    if (IsEmpty()) return QImage();
    if (!size.isValid() || size.isEmpty()) size = QSize(Width(), Height());
    QImage image = NewImage(size.width(), size.height(), QImage::Format_RGB32);
    image.fill(ToQColor(background));
    if (!FFrame.isNull()) {
        QPainter painter(&image);
        painter.drawImage(QRect(QPoint(0, 0), size), FrameBitmap());
    }
    return image;
}

void TAniGraphic::SetWidth(int) {
    throw EInvalidGraphicOperation(QStringLiteral("Cannot change the size of an icon"));
}

void TAniGraphic::SetHeight(int) {
    throw EInvalidGraphicOperation(QStringLiteral("Cannot change the size of an icon"));
}

void TAniGraphic::LoadFromClipboardData(const QMimeData&) {
    throw EInvalidGraphicOperation(QStringLiteral("Clipboard does not support Icons"));
}

void TAniGraphic::SaveToClipboardData(QMimeData&) const {
    throw EInvalidGraphicOperation(QStringLiteral("Clipboard does not support Icons"));
}

void TAniGraphic::Assign(const TGraphic& source) {
    if (&source == this) return;
    auto* other = dynamic_cast<const TAniGraphic*>(&source);
    if (!other) {
        TGraphic::Assign(source);
        return;
    }
    if (other->FData.isEmpty()) {
        Clear();
    } else {
        QByteArray bytes = other->FData;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        LoadFromStream(buffer);
    }
    SetAnimating(other->Animating());
}

void TAniGraphic::CopyInto(TGraphic& target) const {
    if (auto* ani = dynamic_cast<TAniGraphic*>(&target)) {
        ani->Assign(*this);
        return;
    }
    if (auto* dib = dynamic_cast<TDibGraphic*>(&target)) {
        dib->SetImage(FrameBitmap());
        dib->NotifyChanged();
        return;
    }
    RaiseConvertError(target);
}
