// The password dialog of encrypted pictures: a password edit, "mask" and "remember" boxes.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

class TPwdForm : public QDialog {
    Q_OBJECT
public:
    explicit TPwdForm(QWidget* parent = nullptr);

    QString Password() const;
    void SetPassword(const QString& password);
    bool MaskPassword() const;
    void SetMaskPassword(bool value);
    bool RememberPassword() const;
    void SetRememberPassword(bool value);

    QLineEdit* txtPwd = nullptr;
    QCheckBox* chkMask = nullptr;
    QCheckBox* chkRememberPwd = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    void chkMaskClick();
};
