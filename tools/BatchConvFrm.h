// The batch dialog: with tag 0 it converts and/or renames a list of pictures ("&Batch convert/rename"),
// with tag 1 it makes an HTML album of them ("HTML &Album Generator"). The dialog gathers the list and
// the settings; the run is a TBatchJob on a thread pool, with a progress bar, the time left and a Stop
// button.
#pragma once

#include "codec/Graphic.h"
#include "tools/BatchConv.h"
#include "tools/FormatOption.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

// Where the preview draws a picture of the given size in a box: scaled to fit (up or down), centred.
QRect PreviewRect(const QSize& picture, const QSize& box);

class TBatchConvForm : public QDialog {
    Q_OBJECT
public:
    // tag 0: batch conversion and renaming; 1: the album. backColor: what drawings are drawn on.
    TBatchConvForm(QWidget* owner, int tag, TColor backColor = 0xFFFFFF);
    ~TBatchConvForm() override;

    int Tag() const { return FTag; }
    bool Running() const { return FJob != nullptr; }
    // The list's full names, in order.
    QStringList List() const { return FList; }
    // Adds full names as "&Add >" does: a duplicate asks whether to skip it ("&Yes", "&Abort", "Yes to &All").
    void AddFiles(const QStringList& fullNames);
    // Shows the folder's files in the file list.
    void SetFolder(const QString& folder);
    // "&Start" / "&Stop".
    void btnStartClick();
    // The action word of the start button and the final message.
    QString ActionWord() const;
    // The options of a run as the controls give them.
    TBatchOptions BatchOptions() const;
    TAlbumOptions AlbumOptions() const;
    TPictureOption& PictureOption() { return FOptions; }
    TPageColors PageColors() const { return FColors; }
    void SetPageColors(const TPageColors& colors) { FColors = colors; }
    // The outcome of the last run.
    const TBatchResult& LastResult() const { return FLastResult; }
    // Called on the dialog's thread after every file (tests stop a run from here).
    std::function<void(int done, int total)> OnProgress;

    // Source side
    QComboBox* cmbDrive = nullptr; // the volumes, by their root folders
    QLineEdit* txtFolder = nullptr;
    QListWidget* lstFolders = nullptr; // "..", then the subfolders
    QPushButton* btnFolder = nullptr;
    QComboBox* cmbFilter = nullptr;
    QListWidget* lstFiles = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnAddAll = nullptr;
    QPushButton* btnRemove = nullptr;
    QPushButton* btnRemoveAll = nullptr;
    QLabel* lblList = nullptr;
    QListWidget* lstConvert = nullptr;
    QLabel* lblTotal = nullptr;
    QCheckBox* chkSort = nullptr;
    QCheckBox* chkPreview = nullptr;
    QLabel* imgPreview = nullptr;
    // Batch
    QGroupBox* grpAction = nullptr;
    QComboBox* cmbAction = nullptr;
    QCheckBox* chkSimulate = nullptr;
    QLabel* lblSimulate = nullptr;
    QListWidget* lstSimulate = nullptr;
    QComboBox* cmbTargetType = nullptr;
    QPushButton* btnOption = nullptr;
    QTabWidget* pgcRename = nullptr;
    QLineEdit* txtPrefix = nullptr;
    QLineEdit* txtSuffix = nullptr;
    QLineEdit* txtSearch = nullptr;
    QLineEdit* txtReplace = nullptr;
    QComboBox* cmbReplaceMode = nullptr;
    QCheckBox* chkCaseSensitive = nullptr;
    QLineEdit* txtExt = nullptr;
    QComboBox* cmbExtMode = nullptr;
    QComboBox* cmbCase = nullptr;
    QLineEdit* txtStep = nullptr;
    QLineEdit* txtPrefixNum = nullptr;
    QLineEdit* txtSuffixNum = nullptr;
    QLineEdit* txtExtNum = nullptr;
    QLineEdit* txtFrom = nullptr;
    QLineEdit* txtTo = nullptr;
    QLineEdit* txtReplaceNum = nullptr;
    QLineEdit* txtLeading = nullptr;
    QLineEdit* txtTailing = nullptr;
    QComboBox* cmbKeep = nullptr;
    // Output
    QGroupBox* grpOutput = nullptr;
    QRadioButton* rbSame = nullptr;
    QRadioButton* rbFollowing = nullptr;
    QLabel* lblOutput = nullptr;
    QLineEdit* txtOutput = nullptr;
    QPushButton* btnBrowse = nullptr;
    QCheckBox* chkOverwrite = nullptr;
    QCheckBox* chkDelete = nullptr;
    QCheckBox* chkCopy = nullptr;
    // Album
    QGroupBox* grpThumb = nullptr;
    QSpinBox* updWidth = nullptr;
    QSpinBox* updHeight = nullptr;
    QCheckBox* chkAspect = nullptr;
    QComboBox* cmbResize = nullptr;
    QComboBox* cmbLabel = nullptr;
    QSpinBox* updBorder = nullptr;
    QComboBox* cmbAlign = nullptr;
    QGroupBox* grpPage = nullptr;
    QSpinBox* updCols = nullptr;
    QSpinBox* updRows = nullptr;
    QLineEdit* txtTitle = nullptr;
    QLineEdit* txtBase = nullptr;
    QPushButton* btnColors = nullptr;
    QCheckBox* chkOptimize = nullptr;
    QLineEdit* txtPrev = nullptr;
    QLineEdit* txtNext = nullptr;
    QLineEdit* txtIndex = nullptr;
    QLineEdit* txtFirst = nullptr;
    QLineEdit* txtLast = nullptr;
    // Progress
    QProgressBar* prgBar = nullptr;
    QLabel* lblTimeLeft = nullptr;
    QPushButton* btnStart = nullptr;
    QPushButton* btnClose = nullptr;

    void btnAddClick();
    void btnAddAllClick();
    void btnRemoveClick();
    void btnRemoveAllClick();
    void btnOptionClick();
    void btnColorsClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    QWidget* MakeSourceSide();
    QWidget* MakeBatchPanel();
    QWidget* MakeAlbumPanel();
    QWidget* MakeOutputPanel();
    void UpdateCaption();
    void UpdateTotal();
    void UpdatePreview();
    void chkSortClick();
    void Progress(int done, int total);

    int FTag;
    TColor FBackColor;
    QStringList FList;
    TPictureOption FOptions = DefaultPictureOption;
    TPageColors FColors = DefaultPageColors;
    std::unique_ptr<TBatchJob> FJob;
    TBatchResult FLastResult;
    qint64 FStarted = 0;
    QString FPreviewName; // the file the preview shows
};
