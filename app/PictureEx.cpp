#include "app/PictureEx.h"

#include "codec/Registry.h"

#include <QFileInfo>

void TPictureEx::Changed() {
    if (OnChange) OnChange(FGraphic.get());
}

void TPictureEx::SetGraphic(std::unique_ptr<TGraphic> graphic) {
    FGraphic = std::move(graphic);
    if (FGraphic) FGraphic->OnChange = [this](TGraphic*) { Changed(); };
    Changed();
}

std::unique_ptr<TGraphic> TPictureEx::TakeGraphic() {
    if (FGraphic) FGraphic->OnChange = nullptr;
    return std::move(FGraphic);
}

std::unique_ptr<TGraphic> TPictureEx::CreateGraphicFor(const QString& fileName) {
    TGraphicClass cls = FindClassByContent(fileName);
    if (!cls) {
        const QString ext = QFileInfo(fileName).suffix();
        cls = GraphicClassByExtension(ext);
        if (!cls) {
            if (const TStartupFormat* row = FindStartupFormat(ext); row && !ext.isEmpty())
                throw EInvalidGraphic(
                    QStringLiteral("No reader for .%1 files (%2) is built into this version").arg(ext, QString::fromLatin1(row->ClassName)));
            throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(ext));
        }
    }
    return cls->Create();
}

void TPictureEx::LoadFromFileName(const QString& fileName) {
    std::unique_ptr<TGraphic> graphic = CreateGraphicFor(fileName);
    graphic->OnProgress = [this](TGraphic* sender, TProgressStage stage, quint8 percent, bool redraw,
                                 const QRect& r, const QString& msg) {
        if (OnProgress) OnProgress(sender, stage, percent, redraw, r, msg);
    };
    // An exception frees the new graphic and leaves the previous one in place.
    graphic->LoadFromFileName(fileName);
    SetGraphic(std::move(graphic)); // raises OnChange once

}
