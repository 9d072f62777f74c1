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

    int Width() const { return FGraphic ? FGraphic->Width() : 0; }
    int Height() const { return FGraphic ? FGraphic->Height() : 0; }

    // Loads the file. On any exception the previous graphic stays and the exception propagates.
    void LoadFromFileName(const QString& fileName);

    TNotifyEvent OnChange;
    TProgressEvent OnProgress;

private:
    void Changed();

    std::unique_ptr<TGraphic> FGraphic;
};
