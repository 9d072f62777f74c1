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

void TPictureEx::LoadFromFileName(const QString& fileName, QSize loadSize) {
    std::unique_ptr<TGraphic> graphic = ::CreateGraphicFor(fileName);
    graphic->SetLoadSize(loadSize);
    graphic->OnProgress = [this](TGraphic* sender, TProgressStage stage, quint8 percent, bool redraw,
                                 const QRect& r, const QString& msg) {
        if (OnProgress) OnProgress(sender, stage, percent, redraw, r, msg);
    };
    // An exception frees the new graphic and leaves the previous one in place.
    graphic->LoadFromFileName(fileName);
    SetGraphic(std::move(graphic)); // raises OnChange once

}
