#include "formats/raster/MonoRaw.h"

#include "codec/Limits.h"
#include "codec/Stream.h"

void TMonoRawGraphic::ReadPage(QIODevice& stream, int) {
    if (!stream.isSequential()) stream.seek(0);
    QByteArray data = ReadRemaining(stream, kMaxFileSize);
    // Decode into a scratch object first so a failure leaves this graphic as it was.
    std::swap(FData, data);
    try {
        Decode();
    } catch (...) {
        std::swap(FData, data);
        throw;
    }
}

bool TMonoRawGraphic::RewindForInfo(QIODevice& stream) {
    return !stream.isSequential() && stream.size() <= kMaxFileSize && stream.seek(0);
}

void TMonoRawGraphic::SaveToStream(QIODevice& stream) const {
    if (FData.isNull()) throw EInvalidGraphicOperation(QStringLiteral("Data buffer is empty"));
    WriteBytes(stream, FData);
}

void TMonoRawGraphic::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (source.ClassType() != ClassType()) RaiseConvertError(source);
    FImage = static_cast<const TMonoRawGraphic&>(source).Image();
    NotifyChanged();
}

QImage TMonoRawGraphic::NewMonoImage(int width, int height) {
    QImage image = NewImage(width, height, QImage::Format_Mono);
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    image.fill(0);
    return image;
}
