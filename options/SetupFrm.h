// The options dialog: edits a copy of the window's settings on five tabs (slide show with the effect
// tree and its preview, file associations, display mode, thumbnails with a preview cell, and the
// viewing options), and the window's "&Options" command that opens it.
//
// Results: "&OK" 1, "&Cancel" 2 (also Escape and the close box), "&Save Default" 3. Display-mode and
// association changes take effect at once, whatever closes the dialog.
#pragma once

#include "app/Setting.h"
#include "platform/Associations.h"
#include "platform/DisplayModes.h"
#include "tools/Effects.h"

#include <QDialog>
#include <QFrame>
#include <QImage>
#include <QObject>
#include <QStyledItemDelegate>

#include <functional>
#include <memory>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class TMainForm;

// A box that shows a picture as it is (the effect preview) or a picture painted on demand.
class TPictureBox : public QFrame {
    Q_OBJECT
public:
    explicit TPictureBox(QWidget* parent = nullptr);
    void SetImage(QImage image);
    const QImage& Image() const { return FImage; }

signals:
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage FImage;
};

// The check images of the effect tree answer a click (or Space) by asking the dialog, whose rule a
// partly checked node turns off, where the toolkit would turn it on.
class TCheckDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

signals:
    void Toggle(const QModelIndex& index);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};

class TSetupForm : public QDialog {
    Q_OBJECT
public:
    enum : int { mrOK = 1, mrCancel = 2, mrSaveDefault = 3 };
    // Check images of the tree.
    enum : int { csUnchecked = 0, csChecked = 1, csPartly = 2 };
    static constexpr int kPreviewStepMs = 41;
    // How long a new display mode stays without confirmation before the old one comes back.
    static constexpr int kKeepModeSeconds = 15;

    // displayModes: the display's modes (OpenDisplayModes() when null); associations: the desktop's
    // (the user's XDG folders when null).
    explicit TSetupForm(QWidget* owner, std::unique_ptr<IDisplayModes> displayModes = nullptr,
                        std::unique_ptr<TAssociations> associations = nullptr);
    ~TSetupForm() override;

    // Controls from the record, and the record from the controls (the masks rebuilt from the tree).
    void SetSettings(const TSettings& settings);
    void GetSettings(TSettings& settings) const;

    // The effect tree.
    void LoadEffectMasks(const TEffectMasks& masks);
    TEffectMasks SaveEffectMasks() const;
    // The node and all below it get state (0 or 1); each ancestor then gets the common state of its
    // children, or 2 when they differ.
    void SetNodeState(QTreeWidgetItem* node, int state);
    static int NodeState(const QTreeWidgetItem* node);
    // A click on the check image: 1 and 2 become 0, 0 becomes 1.
    void ToggleNode(QTreeWidgetItem* node);
    // The effect's identifier, -1 for a category.
    static int NodeEffect(const QTreeWidgetItem* node);
    QTreeWidgetItem* EffectNode(int id) const;

    // The effect preview; Previewing() while its loop runs. Frames counts the steps drawn.
    bool Previewing() const { return FPreviewing; }
    int PreviewFrames() const { return FPreviewFrames; }
    // Called after each preview step (tests stop the loop from here).
    std::function<void(int progress)> OnPreviewStep;

    // The thumbnail preview as painted.
    QImage ThumbnailPreview() const;
    // The 100 x 100 sample picture of the previews (a resource of the program).
    static QImage SamplePicture();

    // The type list; filled the first time its tab is shown (or here).
    void FillTypeList();
    bool TypeListFilled() const { return FTypesFilled; }
    // Stops the filling loop before the next row (tests).
    std::function<void(int row)> OnTypeRowFilled;

    // The display modes as listed.
    const std::vector<TDisplayMode>& ListedModes() const { return FModes; }
    void FillDisplayModes();

    void done(int result) override;
    void reject() override;

    // Controls, named as the dialog's design names them.
    QTabWidget* pgcSetup = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnSaveDefault = nullptr;
    QPushButton* btnSelectAll = nullptr;
    QPushButton* btnUnselectAll = nullptr;
    // Slide show.
    QGroupBox* rdgSequence = nullptr;
    QButtonGroup* grpSequence = nullptr;
    QRadioButton* rbForward = nullptr;
    QRadioButton* rbReverse = nullptr;
    QRadioButton* rbRandom = nullptr;
    QGroupBox* grbDelay = nullptr;
    QSlider* trkDelay = nullptr;
    QLabel* labDelay = nullptr;
    QCheckBox* chkRepeat = nullptr;
    QLabel* labEffects = nullptr;
    QTreeWidget* tvEffects = nullptr;
    TPictureBox* palPreview = nullptr;
    QPushButton* btnPreview = nullptr;
    // File associations.
    QLabel* labTypes = nullptr;
    QTreeWidget* lvTypes = nullptr;
    QPushButton* btnAssociate = nullptr;
    // Display mode.
    QLabel* labMode = nullptr;
    QComboBox* cmbModes = nullptr;
    QCheckBox* chkRegistry = nullptr;
    QPushButton* btnChange = nullptr;
    QPushButton* btnDefault = nullptr;
    // Thumbnail.
    QSlider* trkWidth = nullptr;
    QSlider* trkHeight = nullptr;
    QSlider* trkBorder = nullptr;
    TPictureBox* palThumb = nullptr;
    QLineEdit* txtWidth = nullptr;
    QLineEdit* txtHeight = nullptr;
    QSpinBox* updCol = nullptr;
    QCheckBox* chkThumbHint = nullptr;
    // Misc.
    QCheckBox* chkHideMouse = nullptr;
    QCheckBox* chkOnTop = nullptr;
    QLabel* labBackground = nullptr;
    TPictureBox* palColor = nullptr;
    QCheckBox* chkWhiteBG = nullptr;
    QCheckBox* chkAutoFit = nullptr;
    QComboBox* cmbPhotoSize = nullptr;
    QCheckBox* chkDrawVertices = nullptr;
    QCheckBox* chkHideBlock = nullptr;
    QCheckBox* chkSolidFill = nullptr;
    QSpinBox* updDxfLine = nullptr;
    QCheckBox* chkRealWidth = nullptr;
    QSpinBox* updHpglLine = nullptr;

    // Handlers.
    void btnSelectAllClick();
    void btnUnselectAllClick();
    void btnPreviewClick();
    void btnAssociateClick();
    void btnChangeClick();
    void btnDefaultClick();
    void palColorClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* MakeSlideShowTab();
    QWidget* MakeAssociationsTab();
    QWidget* MakeDisplayModeTab();
    QWidget* MakeThumbnailTab();
    QWidget* MakeMiscTab();
    void TabChanged(int index);
    void DelayChanged(int value);
    void EffectSelected();
    void StopPreview();
    void ThumbSliderMoved();
    void ThumbTextEdited(QLineEdit* box, QSlider* slider);
    void RepaintThumbPreview();
    void SetColor(TColor colour);
    bool Closing() const { return FClosing; }

    std::unique_ptr<IDisplayModes> FDisplay;
    std::unique_ptr<TAssociations> FAssociations;
    std::vector<TDisplayMode> FModes;
    TColor FColor = 0;
    bool FPreviewing = false;
    bool FStopPreview = false;
    int FPreviewFrames = 0;
    bool FClosing = false;
    bool FTypesFilled = false;
    bool FFillingTypes = false;
    bool FEchoing = false;
};

// The window's "&Options" command: opens the dialog on the window's settings; "&OK" applies the edits
// until the program ends, "&Save Default" also stores them.
class TOptionsController : public QObject {
    Q_OBJECT
public:
    explicit TOptionsController(TMainForm& form);
    // Runs the dialog; returns its result.
    int Execute();

private:
    TMainForm& FForm;
};
