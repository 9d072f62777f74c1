// Full-screen mode: the window without frame, menu, tool bar, status bar and file list panel, the
// picture area over the whole screen, and the pointer hidden when the settings say so.
#pragma once

#include <QObject>
#include <QRect>

class TMainForm;

class TFullScreenController : public QObject {
    Q_OBJECT
public:
    explicit TFullScreenController(TMainForm& form);
    ~TFullScreenController() override;

    bool Active() const { return FActive; }
    void SetActive(bool on);

private:
    TMainForm& FForm;
    bool FActive = false;
    bool FMouseHidden = false;
    QRect FNormalGeometry;
};
