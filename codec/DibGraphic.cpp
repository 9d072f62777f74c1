#include "codec/DibGraphic.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

#include <QBuffer>
#include <QMimeData>
#include <QPainter>

#include <algorithm>
#include <cstring>

int TDibGraphic::GetPageCount(QIODevice&) { return 1; }

void TDibGraphic::WriteMultiple(QIODevice&, const QVector<const TDibGraphic*>&) const {
    throw EInvalidGraphicOperation(QStringLiteral("The %1 format does not support multiple images").arg(ClassName()));
}

void TDibGraphic::AllocateImage(int width, int height, QImage::Format format, const QVector<QRgb>& palette) {
    QImage image = NewImage(width, height, format);
    if (!palette.isEmpty()) image.setColorTable(palette);
    FImage = std::move(image);
}

void FillMissingRows(QImage& image, int first, int count, std::optional<QRgb> background) {
    first = std::clamp(first, 0, image.height());
    count = std::clamp(count, 0, image.height() - first);
    if (image.isNull() || count == 0) return;
    const QRgb colour = background ? *background : image.hasAlphaChannel() ? qRgba(0, 0, 0, 0) : qRgb(255, 255, 255);
    if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono ||
        image.format() == QImage::Format_MonoLSB) {
        QVector<QRgb> table = image.colorTable();
        if (!table.contains(colour)) {
            const int room = image.format() == QImage::Format_Indexed8 ? 256 : 2;
            if (table.size() < room) {
                table.append(colour);
                image.setColorTable(table);
            } else {
                image = std::move(image).convertToFormat(qAlpha(colour) == 255 && !image.hasAlphaChannel()
                                                             ? QImage::Format_RGB32
                                                             : QImage::Format_ARGB32);
            }
        }
    }
    // One row in the picture's own format, copied over each missing row.
    QImage row(image.width(), 1, image.format());
    if (row.isNull()) throw EInvalidGraphic(QStringLiteral("Not enough memory for a %1 x 1 picture").arg(image.width()));
    row.setColorTable(image.colorTable());
    if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono ||
        image.format() == QImage::Format_MonoLSB)
        row.fill(uint(image.colorTable().indexOf(colour)));
    else
        row.fill(QColor::fromRgba(colour));
    const size_t bytes = size_t(std::min(row.bytesPerLine(), image.bytesPerLine()));
    for (int y = first; y < first + count; ++y) std::memcpy(image.scanLine(y), row.constScanLine(0), bytes);
}

void TDibGraphic::LoadFromStream(QIODevice& stream) {
    SetTruncated(false);
    ReadPage(stream, FPageIndex);
    NotifyChanged();
}

void TDibGraphic::DrawTo(QPainter& canvas, const QRect& rect) const {
    if (FImage.isNull() || rect.isEmpty()) return;
    canvas.drawImage(rect, FImage);
}

void TDibGraphic::SetWidth(int w) {
    if (w <= 0 || w == Width()) return;
    const int h = FImage.isNull() ? 1 : FImage.height();
    QImage image = NewImage(w, h, FImage.isNull() ? QImage::Format_RGB32 : FImage.format());
    image.setColorTable(FImage.colorTable());
    image.fill(Qt::white);
    if (!FImage.isNull()) {
        QPainter p(&image);
        p.drawImage(0, 0, FImage);
    }
    FImage = std::move(image);
    NotifyChanged();
}

void TDibGraphic::SetHeight(int h) {
    if (h <= 0 || h == Height()) return;
    const int w = FImage.isNull() ? 1 : FImage.width();
    QImage image = NewImage(w, h, FImage.isNull() ? QImage::Format_RGB32 : FImage.format());
    image.setColorTable(FImage.colorTable());
    image.fill(Qt::white);
    if (!FImage.isNull()) {
        QPainter p(&image);
        p.drawImage(0, 0, FImage);
    }
    FImage = std::move(image);
    NotifyChanged();
}

void TDibGraphic::SetPalette(const QVector<QRgb>& palette) {
    if (FImage.format() == QImage::Format_Indexed8 || FImage.format() == QImage::Format_Mono ||
        FImage.format() == QImage::Format_MonoLSB) {
        FImage.setColorTable(palette);
        NotifyChanged();
    }
}

void TDibGraphic::Assign(const TGraphic& source) {
    if (&source == this) return;
    SetTruncated(source.Truncated());
    if (auto* dib = dynamic_cast<const TDibGraphic*>(&source)) {
        FImage = dib->Image();
        NotifyChanged();
        return;
    }
    if (source.IsEmpty()) {
        FImage = QImage();
        NotifyChanged();
        return;
    }
    // Anything else (drawings, plots, metafiles) is rendered at its own size, on white unless it keeps
    // transparency of its own (an animated cursor's frame).
    CheckPictureSize(source.Width(), source.Height());
    FImage = source.ToBitmap();
    NotifyChanged();
}

void TDibGraphic::CopyInto(TGraphic& target) const {
    if (auto* dib = dynamic_cast<TDibGraphic*>(&target)) {
        dib->SetImage(FImage);
        dib->SetTruncated(Truncated());
        dib->NotifyChanged();
        return;
    }
    TGraphic::CopyInto(target);
}

void TDibGraphic::LoadFromClipboardData(const QMimeData& data) {
    if (!data.hasImage()) throw EInvalidGraphicOperation(QStringLiteral("Unsupported clipboard format"));
    QImage image = qvariant_cast<QImage>(data.imageData());
    if (image.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Unsupported clipboard format"));
    FImage = std::move(image);
    NotifyChanged();
}

void TDibGraphic::SaveToClipboardData(QMimeData& data) const {
    if (FImage.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Cannot copy an empty picture"));
    data.setImageData(FImage);
}

QImage TDibGraphic::ToImage(QSize size, TColor background) const {
    if (FImage.isNull()) return QImage();
    if (!size.isValid() || size.isEmpty() || size == FImage.size()) {
        if (!FImage.hasAlphaChannel()) return FImage.convertToFormat(QImage::Format_RGB32);
    }
    return TGraphic::ToImage(size, background);
}

DEFINE_GRAPHIC_CLASS(TImageGraphic)

void TImageGraphic::ReadPage(QIODevice&, int) {
    throw EInvalidGraphicOperation(QStringLiteral("An in-memory picture cannot be read from a file"));
}
