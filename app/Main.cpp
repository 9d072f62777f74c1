#include "app/Main.h"

#include "codec/Registry.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QStatusBar>

// The picture area: the current picture fitted into the view, never enlarged.
class TPictureView : public QWidget {
public:
    explicit TPictureView(TPictureEx& picture, QWidget* parent) : QWidget(parent), FPicture(picture) {
        setAutoFillBackground(true);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        TGraphic* g = FPicture.Graphic();
        if (!g || g->IsEmpty() || g->Width() <= 0 || g->Height() <= 0) return;
        QPainter p(this);
        const double scale = std::min({1.0, double(width()) / g->Width(), double(height()) / g->Height()});
        const int w = std::max(1, int(g->Width() * scale)), h = std::max(1, int(g->Height() * scale));
        p.setRenderHint(QPainter::SmoothPixmapTransform, scale < 1.0);
        g->DrawTo(p, QRect((width() - w) / 2, (height() - h) / 2, w, h));
    }

private:
    TPictureEx& FPicture;
};

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Lumenor v1.65"));
    resize(800, 600);
    LoadSettings(FSettings);

    FView = new TPictureView(FPicture, this);
    QPalette pal = FView->palette();
    pal.setColor(QPalette::Window, ToQColor(FSettings.BackgroundColor));
    FView->setPalette(pal);
    setCentralWidget(FView);

    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    auto* open = new QAction(QStringLiteral("&Open..."), this);
    open->setObjectName(QStringLiteral("FileOpenAction"));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, &TMainForm::FileOpenActionExecute);
    fileMenu->addAction(open);
    fileMenu->addSeparator();
    auto* exit = new QAction(QStringLiteral("E&xit"), this);
    exit->setObjectName(QStringLiteral("FileExitAction"));
    exit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));
    connect(exit, &QAction::triggered, this, &QWidget::close);
    fileMenu->addAction(exit);

    FSizePanel = new QLabel(this);
    statusBar()->addWidget(FSizePanel);
    FPicture.OnChange = [this](TGraphic*) { FView->update(); };
}

TMainForm::~TMainForm() = default;

void TMainForm::OpenPicture(const QString& fileName) {
    const QString path = QFileInfo(fileName).absoluteFilePath();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        FPicture.LoadFromFileName(path);
        FCurrentFile = path;
        FSizePanel->setText(QStringLiteral("%1x%2").arg(FPicture.Width()).arg(FPicture.Height()));
        QApplication::restoreOverrideCursor();
    } catch (const std::exception&) {
        QApplication::restoreOverrideCursor();
        FPicture.Clear();
        FCurrentFile = path;
        const QString text = QStringLiteral("Cannot open file '") + path + QStringLiteral("'");
        FSizePanel->setText(text);
        QMessageBox::critical(this, QStringLiteral("Error"), text);
    }
}

void TMainForm::FileOpenActionExecute() {
    QFileDialog dialog(this, QStringLiteral("Open"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QStringList filters;
    const QStringList parts = OpenDialogFilter().split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'));
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'))) patterns << p.toLower();
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    dialog.setNameFilters(filters);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        OpenPicture(dialog.selectedFiles().first());
}

void TMainForm::closeEvent(QCloseEvent* event) { event->accept(); }
