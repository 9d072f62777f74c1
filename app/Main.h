// The main window.
#pragma once

#include "app/PictureEx.h"
#include "app/Setting.h"

#include <QMainWindow>

class QLabel;
class TPictureView;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // Opens a file through the picture container; on failure shows "Cannot open file '<path>'".
    void OpenPicture(const QString& fileName);
    const QString& CurrentFile() const { return FCurrentFile; }
    TPictureEx& Picture() { return FPicture; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FileOpenActionExecute();

    TPictureEx FPicture;
    TSettings FSettings;
    QString FCurrentFile;
    TPictureView* FView = nullptr;
    QLabel* FSizePanel = nullptr;
};
