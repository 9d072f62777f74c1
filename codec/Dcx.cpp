#include "codec/Dcx.h"

#include "codec/Pcx.h"
#include "codec/Stream.h"

#include <QIODevice>

#include <algorithm>
#include <vector>

DEFINE_GRAPHIC_CLASS(TDcxGraphic)

namespace {

const quint32 kDcxMagic = 987654321;
const int kMaxPages = 1023;

[[noreturn]] void BadHeader() { throw EInvalidGraphic(QStringLiteral("The DCX file header is not valid")); }

// The page offsets from the table that follows the magic number (terminated by 0 or full at 1023).
std::vector<quint32> ReadOffsets(TByteReader& r) {
    try {
        if (r.U32LE() != kDcxMagic) BadHeader();
        std::vector<quint32> offsets;
        while (int(offsets.size()) < kMaxPages) {
            const quint32 offset = r.U32LE();
            if (offset == 0) break;
            offsets.push_back(offset);
        }
        if (offsets.empty()) BadHeader();
        return offsets;
    } catch (const EReadError&) {
        BadHeader();
    }
}

} // namespace

int TDcxGraphic::GetPageCount(QIODevice& stream) {
    TStreamPositionKeeper keep(stream);
    const QByteArray table = stream.read(4 * (kMaxPages + 1));
    TByteReader r(table);
    return int(ReadOffsets(r).size());
}

bool TDcxGraphic::ReadInfo(QIODevice& stream, TGraphicInfo& info) {
    if (stream.isSequential()) return false;
    const qint64 start = stream.pos(), size = stream.size() - start;
    const QByteArray table = stream.read(4 * (kMaxPages + 1));
    TByteReader r(table);
    const quint32 first = ReadOffsets(r).front();
    if (first >= size) throw EInvalidGraphic(QStringLiteral("Page 1 of the DCX file lies beyond its end"));
    if (!stream.seek(start + first)) return false;
    return TPcxGraphic().ReadInfo(stream, info);
}

void TDcxGraphic::ReadPage(QIODevice& stream, int page) {
    const QByteArray data = ReadRemaining(stream);
    TByteReader r(data);
    const std::vector<quint32> offsets = ReadOffsets(r);
    if (page < 1 || page > int(offsets.size()))
        throw EInvalidGraphic(QStringLiteral("The DCX file has no page %1 (it holds %2)").arg(page).arg(offsets.size()));
    const qint64 start = offsets[size_t(page - 1)];
    if (start >= data.size()) throw EInvalidGraphic(QStringLiteral("Page %1 of the DCX file lies beyond its end").arg(page));
    // A page ends where the next one that starts after it begins, else at the end of the file.
    qint64 end = data.size();
    for (quint32 o : offsets)
        if (qint64(o) > start) end = std::min<qint64>(end, o);
    bool truncated = false;
    FImage = TPcxGraphic::DecodePcx(reinterpret_cast<const uchar*>(data.constData()) + start, end - start,
                                    [this](int percent) { Progress(TProgressStage::psRunning, quint8(percent)); },
                                    &truncated);
    SetTruncated(truncated);
}
