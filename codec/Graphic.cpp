#include "codec/Graphic.h"

#include "codec/Stream.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
#include <QSaveFile>

TGraphic::~TGraphic() = default;

bool TGraphic::ReadInfo(QIODevice&, TGraphicInfo&) { return false; }

void TGraphic::RaiseConvertError(const TGraphic& source) const {
    throw EConvertError(QStringLiteral("Cannot assign a %1 to a %2").arg(source.ClassName(), ClassName()));
}

void TGraphic::CopyInto(TGraphic& target) const {
    throw EConvertError(QStringLiteral("Cannot assign a %1 to a %2").arg(ClassName(), target.ClassName()));
}

void TGraphic::Assign(const TGraphic& source) {
    if (&source == this) return;
    source.CopyInto(*this);
}

void TGraphic::NotifyChanged() {
    if (OnChange) OnChange(this);
}

void TGraphic::Progress(TProgressStage stage, quint8 percentDone, bool redrawNow, const QRect& r,
                        const QString& msg) {
    if (OnProgress) OnProgress(this, stage, percentDone > 100 ? quint8(100) : percentDone, redrawNow, r, msg);
}

void TGraphic::LoadFromFileName(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EInvalidGraphic(QStringLiteral("Cannot open %1: %2").arg(fileName, file.errorString()));
    LoadFromStream(file);
}

void TGraphic::SaveToFileName(const QString& fileName) const {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EWriteError(QStringLiteral("Cannot create %1: %2").arg(fileName, file.errorString()));
    SaveToStream(file); // an exception leaves the target untouched: QSaveFile discards the temporary file
    if (!file.commit())
        throw EWriteError(QStringLiteral("Cannot write %1: %2").arg(fileName, file.errorString()));
}

void TGraphic::SaveToStream(QIODevice&) const {
    throw EInvalidGraphicOperation(QStringLiteral("The %1 format cannot be saved").arg(ClassName()));
}

void TGraphic::LoadFromClipboardData(const QMimeData&) {
    throw EInvalidGraphicOperation(QStringLiteral("Unsupported clipboard format"));
}

void TGraphic::SaveToClipboardData(QMimeData&) const {
    throw EInvalidGraphicOperation(QStringLiteral("Unsupported clipboard format"));
}

void TGraphic::SelectFrame(int frame) {
    if (frame != 1)
        throw EInvalidGraphicOperation(QStringLiteral("Frame %1 does not exist (the picture has %2)").arg(frame).arg(FrameCount()));
}

bool TGraphic::SetSaveOption(const QString&, const QString&) { return false; }

QImage TGraphic::ToImage(QSize size, TColor background) const {
    if (IsEmpty()) return QImage();
    if (!size.isValid() || size.isEmpty()) size = QSize(Width(), Height());
    if (size.isEmpty()) return QImage();
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) throw EInvalidGraphic(QStringLiteral("Not enough memory for a %1 x %2 picture")
                                                  .arg(size.width()).arg(size.height()));
    image.fill(ToQColor(background));
    QPainter painter(&image);
    DrawTo(painter, QRect(QPoint(0, 0), size));
    return image;
}

void TGraphic::Stop() {
    Pause();
    if (FrameCount() > 1 && CurrentFrame() != 1) SelectFrame(1);
}
