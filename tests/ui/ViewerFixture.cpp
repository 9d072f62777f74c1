#include "ViewerFixture.h"

#include "platform/SettingsFile.h"

#include <QDir>
#include <QLabel>

void ViewerTest::SetUp() {
    ASSERT_TRUE(FDir.isValid());
    FSettingsFile = FDir.filePath(QStringLiteral("settings.json"));
    FSavedCurrentDir = QDir::currentPath();
    QDir::setCurrent(FDir.path());
    TSettingsFile::SetDefaultFileName(FSettingsFile);
}

void ViewerTest::TearDown() {
    TSettingsFile::SetDefaultFileName(QString());
    QDir::setCurrent(FSavedCurrentDir);
}

QString ViewerTest::WritePicture(const QString& name, const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    QByteArray bytes = QStringLiteral("P6\n%1 %2\n255\n").arg(rgb.width()).arg(rgb.height()).toLatin1();
    for (int y = 0; y < rgb.height(); ++y)
        bytes.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 3);
    const QString path = FDir.filePath(name);
    WriteFile(path, bytes);
    return path;
}

QString ViewerTest::WriteSolid(const QString& name, int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return WritePicture(name, image);
}

void ViewerTest::SetViewSize(TMainForm& form, int w, int h) {
    for (int i = 0; i < 5 && form.View()->size() != QSize(w, h); ++i) {
        form.resize(form.size() + (QSize(w, h) - form.View()->size()));
        QApplication::processEvents();
    }
    ASSERT_EQ(form.View()->size(), QSize(w, h));
}

std::unique_ptr<TMainForm> ViewerTest::NewForm(int viewWidth, int viewHeight, const QStringList& arguments) {
    auto form = std::make_unique<TMainForm>(arguments);
    form->show();
    QApplication::processEvents();
    SetViewSize(*form, viewWidth, viewHeight);
    return form;
}

QAction* ViewerTest::ActionOf(TMainForm& form, const char* name) {
    QAction* action = form.findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(action, nullptr) << name;
    return action;
}

QString ViewerTest::Panel(TMainForm& form, int index) {
    return form.StatusPanel(index)->text();
}
