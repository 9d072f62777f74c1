#include "formats/cad/SLDimage.h"

#include "codec/Registry.h"
#include "codec/Stream.h"

#include <QFileDevice>
#include <QPainter>
#include <QPolygon>

#include <cmath>

DEFINE_GRAPHIC_CLASS(Tslide)

void RegisterSlideFormat() { RegisterFormat(QStringLiteral("sld"), QStringLiteral("AutoCAD Slides"), Tslide::StaticClass()); }

namespace {
constexpr int kHeaderSize = 31;
constexpr int kNoFill = 9999;
constexpr int kMaxFillPoints = 1000;

const quint8 kTableA[10][3] = {{0, 0, 0},     {255, 0, 0},     {255, 255, 0},   {0, 255, 0},   {0, 255, 255},
                               {0, 0, 255},   {255, 0, 255},   {0, 0, 0},       {132, 132, 132}, {186, 186, 186}};
const quint8 kTableB[6][3] = {{0, 0, 0}, {41, 41, 41}, {90, 90, 90}, {132, 132, 132}, {188, 188, 188}, {173, 173, 173}};
} // namespace

TColor Tslide::ColourOf(int n) {
    int c[3] = {0, 0, 0};
    if (n >= 1 && n <= 9) {
        for (int i = 0; i < 3; ++i) c[i] = kTableA[n][i];
    } else if (n >= 250 && n <= 255) {
        for (int i = 0; i < 3; ++i) c[i] = kTableB[n - 250][i];
    } else if (n >= 10 && n <= 249) {
        const int q = n / 10, r = n % 10;
        const int a = (q - 1) / 4 + 1;
        const int b = a + 1 == 7 ? 1 : a + 1;
        const int t = q % 4 == 0 ? 4 : q % 4;
        const int wb = t - 1, wa = 5 - t;
        for (int i = 0; i < 3; ++i) {
            c[i] = (wb * kTableA[b][i] + wa * kTableA[a][i]) >> 2;
            if (r & 1) c[i] = std::min((c[i] >> 1) + 129, 255);
            for (int k = 0; k < (r >> 1); ++k) c[i] = (7 * c[i]) / 10;
        }
    }
    return TColor(c[0]) | (TColor(c[1]) << 8) | (TColor(c[2]) << 16);
}

void Tslide::ComputeSize() {
    FHeight = int(std::min<double>(std::nearbyint(std::fabs(double(FSlideHeight)) * FZoom), 32767));
    FWidth = int(std::min<double>(std::nearbyint(std::fabs(double(FSlideWidth)) * FZoom), 32767));
}

void Tslide::LoadFromStream(QIODevice& stream) {
    if (!stream.isSequential()) stream.seek(0); // a slide is always read from the start
    FHeader = ReadBytes(stream, kHeaderSize);
    static const char kId[17] = {'A', 'u', 't', 'o', 'C', 'A', 'D', ' ', 'S', 'l', 'i', 'd', 'e', 0x0D, 0x0A, 0x1A, 0x00};
    if (std::memcmp(FHeader.constData(), kId, 17) != 0) throw EInvalidGraphic(QStringLiteral("Invalid slide file"));
    TByteReader h(FHeader);
    h.Seek(18);
    if (h.U8() == 1) throw EInvalidGraphic(QStringLiteral("unsupported level 1 slide"));
    const int highX = h.U16LE(), highY = h.U16LE();
    h.Seek(29);
    if (h.U16LE() != 0x1234) throw EInvalidGraphic(QStringLiteral("SLD file not from an Intel-based machine"));

    const QByteArray data = ReadRemaining(stream, qint64(512) << 20);
    std::vector<TRecord> records;
    TByteReader r(data);
    while (r.Remaining() >= 2) {
        const uchar kind = r.Data()[r.Pos() + 1];
        TRecord rec{};
        if (kind <= 0x7F) {
            rec.Kind = rkVector, rec.Size = 8;
        } else if (kind == 0xFB) {
            rec.Kind = rkOffsetVector, rec.Size = 5;
        } else if (kind == 0xFC) {
            rec.Kind = rkEndOfFile, rec.Size = 2;
        } else if (kind == 0xFD) {
            rec.Kind = rkSolidFill, rec.Size = 6;
        } else if (kind == 0xFE) {
            rec.Kind = rkCommonEndpoint, rec.Size = 3;
        } else if (kind == 0xFF) {
            rec.Kind = rkNewColour, rec.Size = 2;
        } else {
            break; // an undefined record: what came before is the slide
        }
        if (r.Remaining() < rec.Size) break; // cut short by the end of the file: dropped
        r.Read(rec.Bytes, rec.Size);
        records.push_back(rec);
        if (rec.Kind == rkEndOfFile) break; // anything after it is ignored
    }
    FRecords = std::move(records);
    FSlideWidth = highX + 1;
    FSlideHeight = highY + 1;
    FEmpty = false;
    ComputeSize();
    NotifyChanged();
}

void Tslide::SaveToStream(QIODevice& stream) const {
    if (FEmpty) return;
    if (!stream.isSequential()) stream.seek(0);
    QByteArray out = FHeader;
    for (const TRecord& rec : FRecords) out.append(reinterpret_cast<const char*>(rec.Bytes), rec.Size);
    WriteBytes(stream, out);
    if (auto* file = qobject_cast<QFileDevice*>(&stream)) file->resize(stream.pos());
}

void Tslide::Assign(const TGraphic& source) {
    const auto* other = dynamic_cast<const Tslide*>(&source);
    if (!other) throw EConvertError(QStringLiteral("Tslide.Assign can only assign from other Tslide's"));
    if (other == this) return;
    FRecords.clear();
    if (other->FEmpty) {
        FEmpty = true;
        return;
    }
    FHeader = other->FHeader;
    FRecords = other->FRecords;
    FSlideWidth = other->FSlideWidth;
    FSlideHeight = other->FSlideHeight;
    FZoom = other->FZoom;
    FEmpty = false;
    ComputeSize();
    NotifyChanged();
}

void Tslide::LoadFromClipboardData(const QMimeData&) {
    throw EInvalidGraphicOperation(QStringLiteral("Tslide does not support loading from clipboard format"));
}

void Tslide::SaveToClipboardData(QMimeData&) const {
    throw EInvalidGraphicOperation(QStringLiteral("Tslide does not yet support saving to clipboard format"));
}

void Tslide::SetWidth(int w) {
    if (FEmpty || FSlideWidth == 0) return;
    FZoom = float(w) / float(std::abs(FSlideWidth));
    ComputeSize();
    NotifyChanged();
}

void Tslide::SetHeight(int h) {
    if (FEmpty || FSlideHeight == 0) return;
    FZoom = float(h) / float(std::abs(FSlideHeight));
    ComputeSize();
    NotifyChanged();
}

void Tslide::DrawTo(QPainter& canvas, const QRect& rect) const {
    if (FEmpty || FSlideWidth <= 0 || FSlideHeight <= 0) return;
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    const int left = rect.left(), top = rect.top();
    const int w = rect.width(), h = rect.height();
    if (FBackground) canvas.fillRect(rect, ToQColor(FBackgroundColor));
    const float sx = float(w) / float(FSlideWidth), sy = float(h) / float(FSlideHeight);
    auto map = [&](int x, int y) {
        return QPoint(int(std::nearbyint(x * sx)) + left, top + h - int(std::nearbyint(y * sy)));
    };
    QColor colour = canvas.pen().color();
    auto line = [&](int x1, int y1, int x2, int y2) {
        canvas.setBrush(Qt::NoBrush);
        canvas.setPen(QPen(colour, 0, Qt::SolidLine));
        const QPoint a = map(x1, y1), b = map(x2, y2);
        canvas.drawLine(a, b);
        canvas.drawPoint(b); // the end point is included
    };
    qint16 lx = 0, ly = 0;
    int count = kNoFill;
    QPolygon polygon;
    for (const TRecord& rec : FRecords) {
        const uchar* b = rec.Bytes;
        auto u16 = [b](int i) { return int(quint16(b[i] | (b[i + 1] << 8))); };
        auto s16 = [b](int i) { return int(qint16(quint16(b[i] | (b[i + 1] << 8)))); };
        switch (rec.Kind) {
        case rkVector:
            line(u16(0), u16(2), u16(4), u16(6));
            lx = qint16(u16(0)), ly = qint16(u16(2));
            break;
        case rkOffsetVector: {
            const qint16 x1 = qint16(lx + qint8(b[0])), y1 = qint16(ly + qint8(b[2]));
            const qint16 x2 = qint16(lx + qint8(b[3])), y2 = qint16(ly + qint8(b[4]));
            line(quint16(x1), quint16(y1), quint16(x2), quint16(y2));
            lx = x1, ly = y1;
            break;
        }
        case rkCommonEndpoint: {
            const qint16 x2 = qint16(lx + qint8(b[0])), y2 = qint16(ly + qint8(b[2]));
            line(quint16(lx), quint16(ly), quint16(x2), quint16(y2));
            lx = x2, ly = y2;
            break;
        }
        case rkNewColour:
            colour = ToQColor(ColourOf(b[0]));
            break;
        case rkSolidFill: {
            const int x = s16(2), y = s16(4);
            if (count == kNoFill) {
                count = 0;
                polygon.clear();
            } else if (y < 0) {
                canvas.setPen(QPen(colour, 0, Qt::SolidLine));
                canvas.setBrush(colour);
                canvas.drawPolygon(polygon);
                count = kNoFill;
            } else if (count < kMaxFillPoints) {
                ++count;
                polygon << map(x, y);
            }
            break;
        }
        case rkEndOfFile:
            break;
        }
    }
    canvas.restore();
}
