// Rotation: the three turns of the view (the picture as rendered; the file is not touched and the next
// zoom, fit or load shows it upright again) and the lossless turns of a JPEG file itself.
#pragma once

#include <QObject>

class TMainForm;

class TRotationController : public QObject {
    Q_OBJECT
public:
    explicit TRotationController(TMainForm& form);

    // The view turned by a command's tag: 1 a quarter clockwise ("Degree &90"), 2 a half ("Degree 1&80"),
    // 3 a quarter counter-clockwise ("Degree 2&70").
    void RotateView(int tag);
    // The shown JPEG file rewritten turned by quarter turns clockwise (1 right, 3 left) without loss. A
    // file whose partial blocks at the edges would have to go is trimmed only when the user agrees. The
    // file is shown again as it now is.
    void RotateFile(int quarterTurns);

private:
    TMainForm& FForm;
};
