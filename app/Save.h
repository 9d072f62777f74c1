// Saving the shown picture in another format: "&Save as..." (the picture, or the frame shown) and "Save
// &animated file as...", with the save options kept for the session (never stored).
#pragma once

#include "tools/FormatOption.h"

#include <QObject>

class TMainForm;

class TSaveController : public QObject {
    Q_OBJECT
public:
    explicit TSaveController(TMainForm& form);

    TPictureOption& PictureOption() { return FPictureOption; }

private:
    // tag 0: the picture or the frame shown; 1: the whole animation.
    void SaveAs(int tag);

    TMainForm& FForm;
    TPictureOption FPictureOption = DefaultPictureOption;
};
