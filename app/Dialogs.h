// Everything a command asks the user goes through one replaceable interface: message boxes (with any
// set of buttons, "Yes to All" and "No to All" among them), the input box, the folder chooser, the
// colour and font dialogs, and any dialog of our own (save, print, page setup, options...). The
// window's commands never call a modal loop directly, so tests and scripts answer them.
#pragma once

#include <QColor>
#include <QFont>
#include <QMessageBox>
#include <QString>

#include <optional>

class QDialog;
class QWidget;

struct TMessage {
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QString Caption;
    QString Text;
    // Shown behind a "Show Details..." button: what a user needs to learn why.
    QString Details;
    QMessageBox::StandardButtons Buttons = QMessageBox::Ok;
    QMessageBox::StandardButton Default = QMessageBox::NoButton;
};

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // Returns the button chosen (Escape gives Cancel, No or the only button, as the box allows).
    virtual QMessageBox::StandardButton Message(QWidget* parent, const TMessage& message) = 0;
    // The input box: the text entered, or nothing on Cancel.
    virtual std::optional<QString> InputText(QWidget* parent, const QString& caption, const QString& prompt,
                                             const QString& value) = 0;
    // A folder, or nothing on Cancel.
    virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& caption, const QString& start) = 0;
    virtual std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial, const QString& caption) = 0;
    virtual std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial, const QString& caption) = 0;
    // Runs a prepared dialog of ours or Qt's (open, save, print, page setup, options...) and returns its
    // result code (QDialog::Accepted or Rejected). A scripted answer fills the dialog's controls and
    // accepts or rejects it without a modal loop.
    virtual int Exec(QDialog& dialog) = 0;
};

// The dialogs in use: the desktop's own unless replaced.
IDialogs& Dialogs();
// Replaces the dialogs (nullptr restores the desktop's). The caller keeps ownership.
void SetDialogs(IDialogs* dialogs);

// Shortcuts over Dialogs().
void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
                 const QString& details = QString());
QMessageBox::StandardButton AskQuestion(QWidget* parent, const QString& caption, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
// The default error report of a command: the message in a box titled with the program's name.
void ReportError(QWidget* parent, const QString& message, const QString& details = QString());

// The hourglass for a long operation, restored on every path out of it.
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
    // Restores the cursor early (before a message box, say).
    void Restore();

private:
    bool FActive = true;
};
