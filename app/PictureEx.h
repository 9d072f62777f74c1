// The picture container: turns a file name into a loaded graphic, by content first and extension second.
#pragma once

#include "codec/Graphic.h"

#include <memory>

class TPictureEx {
public:
    TPictureEx() = default;
    TPictureEx(const TPictureEx&) = delete;
    TPictureEx& operator=(const TPictureEx&) = delete;

    TGraphic* Graphic() const { return FGraphic.get(); }
    // Replaces the graphic (the previous one is freed) and raises OnChange.
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    std::unique_ptr<TGraphic> TakeGraphic();
    void Clear() { SetGraphic(nullptr); }

    // The picture's size as stored, also while a reduced decode stands for it.
    int Width() const { return FGraphic ? FGraphic->FullSize().width() : 0; }
    int Height() const { return FGraphic ? FGraphic->FullSize().height() : 0; }

    // Loads the file, at least at loadSize where the format can decode reduced (see TGraphic::SetLoadSize).
    // On any exception the previous graphic stays and the exception propagates.
    void LoadFromFileName(const QString& fileName, QSize loadSize = QSize());

    TNotifyEvent OnChange;
    TProgressEvent OnProgress;

private:
    void Changed();

    std::unique_ptr<TGraphic> FGraphic;
};
