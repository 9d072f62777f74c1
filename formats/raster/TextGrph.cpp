#include "formats/raster/TextGrph.h"

#include "codec/Limits.h"
#include "codec/Registry.h"
#include "codec/Stream.h"

#include <QPainter>

DEFINE_GRAPHIC_CLASS(TTxtGraphic)

void RegisterTextFormat() { RegisterFormat(QStringLiteral("PTF"), QStringLiteral("Plain text file"), TTxtGraphic::StaticClass()); }

namespace {

bool IsBlank(uchar c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

class TTextReader {
public:
    explicit TTextReader(const QByteArray& data) : FData(data) {}

    // The first line without its line end.
    QByteArray Line() {
        const qsizetype start = FPos;
        while (FPos < FData.size() && FData[FPos] != '\n' && FData[FPos] != '\r') ++FPos;
        const QByteArray line = FData.mid(start, FPos - start);
        SkipLineEnd();
        return line;
    }
    // A decimal integer after white space. Values are kept in 64 bits and checked, so huge numbers fail.
    qint64 Number() {
        while (FPos < FData.size() && IsBlank(uchar(FData[FPos]))) ++FPos;
        if (FPos >= FData.size()) throw EReadError(QStringLiteral("Read beyond end of file"));
        bool negative = false;
        if (FData[FPos] == '-' || FData[FPos] == '+') negative = FData[FPos++] == '-';
        const qsizetype start = FPos;
        qint64 v = 0;
        while (FPos < FData.size() && FData[FPos] >= '0' && FData[FPos] <= '9') {
            v = v * 10 + (FData[FPos++] - '0');
            if (v > 0x7FFFFFFF) throw EReadError(QStringLiteral("Invalid numeric input"));
        }
        if (FPos == start || (FPos < FData.size() && !IsBlank(uchar(FData[FPos]))))
            throw EReadError(QStringLiteral("Invalid numeric input"));
        return negative ? -v : v;
    }
    // Skips the rest of the current line and its line end (CR LF, LF or CR).
    void NextLine() {
        while (FPos < FData.size() && FData[FPos] != '\n' && FData[FPos] != '\r') ++FPos;
        SkipLineEnd();
    }
    int Char() { return FPos < FData.size() ? uchar(FData[FPos++]) : -1; }
    qsizetype Remaining() const { return FData.size() - FPos; }

private:
    void SkipLineEnd() {
        if (FPos < FData.size() && FData[FPos] == '\r') ++FPos;
        if (FPos < FData.size() && FData[FPos] == '\n') ++FPos;
    }
    const QByteArray& FData;
    qsizetype FPos = 0;
};

} // namespace

void TTxtGraphic::ReadPage(QIODevice& stream, int) {
    const QByteArray data = ReadRemaining(stream, qint64(1) << 31);
    TTextReader t(data);
    if (t.Line() != "PTEXT")
        throw EInvalidGraphic(QStringLiteral("Cannot load image. Invalid or unexpected %1 image format.").arg(QStringLiteral("PTF")));
    const qint64 width = t.Number();
    const qint64 height = t.Number();
    t.NextLine();
    // Each pixel needs three values of at least two characters each (a digit and a separator).
    if (width <= 0 || height <= 0 || width * height > qint64(t.Remaining()) / 6)
        throw EInvalidGraphic(QStringLiteral("Invalid picture size %1 x %2").arg(width).arg(height));
    QImage image = NewImage(width, height, QImage::Format_RGB888);
    QRect r(0, 0, int(width), 1);
    Progress(TProgressStage::psStarting, 0, false, r);
    static const char kTags[3] = {'R', 'G', 'B'};
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int c = 0; c < 3; ++c) {
            if (t.Char() != kTags[c]) throw EInvalidGraphic(QStringLiteral("Invalid tag"));
            for (int x = 0; x < width; ++x) line[3 * x + c] = uchar(t.Number() & 0xFF); // modulo 256
            t.NextLine();
        }
        Progress(TProgressStage::psRunning, quint8((qint64(y) * 100 + height / 2) / height), true, r);
        r.translate(0, 1);
    }
    Progress(TProgressStage::psEnding, 100);
    FImage = std::move(image); // only a complete load replaces the picture
}

void TTxtGraphic::SaveToStream(QIODevice& stream) const {
    if (FImage.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot save an empty picture"));
    const QImage image = FImage.convertToFormat(QImage::Format_RGB888);
    const int w = image.width();
    QByteArray out = "PTEXT\r\n" + QByteArray::number(w) + ' ' + QByteArray::number(image.height()) + "\r\n";
    WriteBytes(stream, out);
    static const char kTags[3] = {'R', 'G', 'B'};
    QByteArray line;
    line.reserve(4 * w + 4);
    for (int y = 0; y < image.height(); ++y) {
        const uchar* src = image.constScanLine(y);
        for (int c = 0; c < 3; ++c) {
            line.clear();
            line += kTags[c];
            line += ' ';
            for (int x = 0; x < w; ++x) {
                char cell[5];
                std::snprintf(cell, sizeof cell, "%4d", src[3 * x + c]);
                line.append(cell, 4);
            }
            line += "\r\n";
            WriteBytes(stream, line);
        }
    }
}

void TTxtGraphic::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (dynamic_cast<const TDibGraphic*>(&source) || source.IsEmpty()) {
        TDibGraphic::Assign(source);
        return;
    }
    QImage image = NewImage(source.Width(), source.Height(), QImage::Format_RGB888);
    image.fill(Qt::black);
    {
        QPainter p(&image);
        source.DrawTo(p, QRect(0, 0, source.Width(), source.Height()));
    }
    FImage = std::move(image);
    NotifyChanged();
}
