// The save dialog of pictures: the toolkit's file-save dialog with one more button, "&Option", below
// Cancel, which opens the per-format options. Filters come as "description|pattern|..." pairs; the
// filter index is 1-based.
#pragma once

#include "codec/Graphic.h"
#include "tools/ConvertFmt.h"

#include <QFileDialog>

#include <functional>

class QPushButton;

class TEnSavePictureDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit TEnSavePictureDialog(QWidget* owner = nullptr);

    // "description|pattern|description|pattern..."; patterns of one filter are separated by ";".
    void SetFilter(const QString& filter);
    QString Filter() const { return FFilter; }
    int FilterIndex() const;
    void SetFilterIndex(int index);
    QString DefaultExt() const { return defaultSuffix(); }
    void SetDefaultExt(const QString& extension) { setDefaultSuffix(extension); }
    QString FileName() const;
    void SetFileName(const QString& fileName);

    bool OptionEnabled() const;
    void SetOptionEnabled(bool value);
    // Raised when "&Option" is pressed, and when the user picks another filter.
    std::function<void(TEnSavePictureDialog* sender)> OnOptionClick;
    std::function<void(TEnSavePictureDialog* sender)> OnTypeChange;

    // Shows the dialog (through the window's dialogs interface, app/Dialogs); true when the user confirms
    // a file name.
    bool Execute();

    // Sets the dialog up for the window's save command of the tag (0 "&Save as...", 1 "Save &animated
    // file as..."): filter, default extension and file name for the picture shown, the type-change
    // rules, and "&Option" opening the options dialog on the record (Kind and GifAnimated set first).
    // The options dialog is shown through Dialogs(). The record must outlive the dialog.
    void PrepareForSave(int tag, TSaveSource source, const QString& shownFile, TPictureOption* options);

    QPushButton* btnOption = nullptr;

    void done(int result) override;

private:
    void FilterSelected(const QString& filter);

    QString FFilter;
    QStringList FNameFilters;
};
