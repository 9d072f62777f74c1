#include "app/Dialogs.h"

#include "app/Icons.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QFileInfo>

namespace {

// The folder chooser: a folder typed that does not exist yet is taken as it is (the command asks before
// making it), where the toolkit's own chooser would refuse it.
class TFolderDialog : public QFileDialog {
public:
    TFolderDialog(QWidget* parent, const QString& caption, const QString& start) : QFileDialog(parent, caption, start) {
        setFileMode(QFileDialog::Directory);
        setOption(QFileDialog::ShowDirsOnly);
    }
    QString Chosen() const { return FTyped.isEmpty() ? (selectedFiles().isEmpty() ? QString() : selectedFiles().first()) : FTyped; }

    void accept() override {
        if (const auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); edit && !edit->text().trimmed().isEmpty()) {
            const QString path = QDir::cleanPath(directory().absoluteFilePath(edit->text().trimmed()));
            if (!QFileInfo::exists(path)) {
                FTyped = path;
                QDialog::accept();
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    QString FTyped;
};

// The desktop's dialogs, modal.
class TDesktopDialogs : public IDialogs {
public:
    QMessageBox::StandardButton Message(QWidget* parent, const TMessage& m) override {
        QMessageBox box(m.Icon, m.Caption, m.Text, m.Buttons, parent);
        if (m.Icon == QMessageBox::NoIcon) box.setIconPixmap(ProgramIcon().pixmap(48, 48));
        if (m.Default != QMessageBox::NoButton) box.setDefaultButton(m.Default);
        if (!m.Details.isEmpty()) box.setDetailedText(m.Details);
        const int result = box.exec();
        return QMessageBox::StandardButton(result);
    }
    std::optional<QString> InputText(QWidget* parent, const QString& caption, const QString& prompt,
                                     const QString& value) override {
        bool ok = false;
        const QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, value, &ok);
        if (!ok) return std::nullopt;
        return text;
    }
    std::optional<QString> ChooseFolder(QWidget* parent, const QString& caption, const QString& start) override {
        TFolderDialog dialog(parent, caption, start);
        if (dialog.exec() != QDialog::Accepted || dialog.Chosen().isEmpty()) return std::nullopt;
        return dialog.Chosen();
    }
    std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial, const QString& caption) override {
        const QColor colour = QColorDialog::getColor(initial, parent, caption);
        if (!colour.isValid()) return std::nullopt;
        return colour;
    }
    std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial, const QString& caption) override {
        bool ok = false;
        const QFont font = QFontDialog::getFont(&ok, initial, parent, caption);
        if (!ok) return std::nullopt;
        return font;
    }
    int Exec(QDialog& dialog) override { return dialog.exec(); }
};

TDesktopDialogs GDesktopDialogs;
IDialogs* GDialogs = &GDesktopDialogs;

} // namespace

IDialogs& Dialogs() { return *GDialogs; }

void SetDialogs(IDialogs* dialogs) { GDialogs = dialogs ? dialogs : &GDesktopDialogs; }

void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
                 const QString& details) {
    TMessage m;
    m.Icon = icon;
    m.Caption = caption;
    m.Text = text;
    m.Details = details;
    Dialogs().Message(parent, m);
}

QMessageBox::StandardButton AskQuestion(QWidget* parent, const QString& caption, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) {
    TMessage m;
    m.Icon = QMessageBox::Question;
    m.Caption = caption;
    m.Text = text;
    m.Buttons = buttons;
    m.Default = defaultButton;
    return Dialogs().Message(parent, m);
}

void ReportError(QWidget* parent, const QString& message, const QString& details) {
    ShowMessage(parent, QMessageBox::Critical, QStringLiteral("Lumenor v1.65"), message, details);
}

TBusyCursor::TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

TBusyCursor::~TBusyCursor() { Restore(); }

void TBusyCursor::Restore() {
    if (FActive) QApplication::restoreOverrideCursor();
    FActive = false;
}
