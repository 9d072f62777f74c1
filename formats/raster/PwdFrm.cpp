#include "formats/raster/PwdFrm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TPwdForm::TPwdForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PwdForm"));
    setWindowTitle(QStringLiteral("Please enter the password for the encrypted file"));
    auto* label = new QLabel(QStringLiteral("&Password:"), this);
    txtPwd = new QLineEdit(this);
    txtPwd->setObjectName(QStringLiteral("txtPwd"));
    txtPwd->setStyleSheet(QStringLiteral("lineedit-password-character: 42;")); // "*" for every character
    label->setBuddy(txtPwd);
    chkMask = new QCheckBox(QStringLiteral("&Mask password"), this);
    chkMask->setObjectName(QStringLiteral("chkMask"));
    chkMask->setChecked(true);
    chkRememberPwd = new QCheckBox(QStringLiteral("&Remember the password"), this);
    chkRememberPwd->setObjectName(QStringLiteral("chkRememberPwd"));
    btnOK = new QPushButton(QStringLiteral("&OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0, 1, 2);
    grid->addWidget(txtPwd, 1, 0, 1, 2);
    grid->addWidget(chkMask, 2, 0);
    grid->addWidget(chkRememberPwd, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    grid->addLayout(buttons, 3, 0, 1, 2);
    setTabOrder(txtPwd, chkMask);
    setTabOrder(chkMask, chkRememberPwd);
    setTabOrder(chkRememberPwd, btnOK);
    setTabOrder(btnOK, btnCancel);

    connect(chkMask, &QCheckBox::toggled, this, &TPwdForm::chkMaskClick);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject); // Esc cancels as well
    chkMaskClick();
    // A fixed-border dialog, at least 288 x 112, centred on its owner by the window system.
    const QSize size = sizeHint().expandedTo(QSize(288, 112));
    setFixedSize(size);
}

void TPwdForm::chkMaskClick() {
    txtPwd->setEchoMode(chkMask->isChecked() ? QLineEdit::Password : QLineEdit::Normal);
}

QString TPwdForm::Password() const {
    return txtPwd->text();
}
void TPwdForm::SetPassword(const QString& password) {
    txtPwd->setText(password);
}
bool TPwdForm::MaskPassword() const {
    return chkMask->isChecked();
}
void TPwdForm::SetMaskPassword(bool value) {
    chkMask->setChecked(value);
    chkMaskClick();
}
bool TPwdForm::RememberPassword() const {
    return chkRememberPwd->isChecked();
}
void TPwdForm::SetRememberPassword(bool value) {
    chkRememberPwd->setChecked(value);
}
