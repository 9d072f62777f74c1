// Files on the clipboard in the formats of Linux file managers: what the program writes, what it reads
// from GNOME Files, Dolphin, Thunar and older GNOME Files, and round trips through the clipboard.
#include "TestUtil.h"

#include "platform/ClipboardFiles.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

TEST(ClipboardFiles, CopiedAndCutFilesAreWrittenInEveryFileManagersFormat) {
    const QStringList paths = {QStringLiteral("/home/u/holiday photo.jpg"), QStringLiteral("/home/u/été%.png")};
    const auto copied = MakeClipboardFiles(paths, TClipboardOperation::coCopy);
    EXPECT_EQ(copied->data(QStringLiteral("text/uri-list")),
              QByteArray("file:///home/u/holiday%20photo.jpg\r\nfile:///home/u/%C3%A9t%C3%A9%25.png\r\n"));
    EXPECT_EQ(copied->data(QStringLiteral("x-special/gnome-copied-files")),
              QByteArray("copy\nfile:///home/u/holiday%20photo.jpg\nfile:///home/u/%C3%A9t%C3%A9%25.png"));
    EXPECT_EQ(copied->data(QStringLiteral("application/x-kde-cutselection")), QByteArray("0"));
    EXPECT_EQ(copied->text(), paths.join(QLatin1Char('\n'))); // pasted into text: the paths
    const auto cut = MakeClipboardFiles(paths.mid(0, 1), TClipboardOperation::coCut);
    EXPECT_EQ(cut->data(QStringLiteral("x-special/gnome-copied-files")), QByteArray("cut\nfile:///home/u/holiday%20photo.jpg"));
    EXPECT_EQ(cut->data(QStringLiteral("application/x-kde-cutselection")), QByteArray("1"));

    for (TClipboardOperation op : {TClipboardOperation::coCopy, TClipboardOperation::coCut}) {
        const std::optional<TClipboardFiles> back = ReadClipboardFiles(*MakeClipboardFiles(paths, op));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->Paths, paths);
        EXPECT_EQ(back->Operation, op);
    }
}

TEST(ClipboardFiles, EachFileManagersMarkerIsRead) {
    // GNOME Files, Caja, Nemo, Thunar: the marker list, with text/uri-list beside it.
    QMimeData gnome;
    gnome.setData(QStringLiteral("x-special/gnome-copied-files"), "cut\nfile:///srv/a.jpg\nfile:///srv/b%20c.jpg\n");
    gnome.setData(QStringLiteral("text/uri-list"), "file:///srv/a.jpg\r\nfile:///srv/b%20c.jpg\r\n");
    std::optional<TClipboardFiles> files = ReadClipboardFiles(gnome);
    ASSERT_TRUE(files);
    EXPECT_EQ(files->Operation, TClipboardOperation::coCut);
    EXPECT_EQ(files->Paths, (QStringList{"/srv/a.jpg", "/srv/b c.jpg"}));
    // The marker list alone is enough.
    QMimeData gnomeOnly;
    gnomeOnly.setData(QStringLiteral("x-special/gnome-copied-files"), "copy\r\nfile:///srv/a.jpg");
    files = ReadClipboardFiles(gnomeOnly);
    ASSERT_TRUE(files);
    EXPECT_EQ(files->Operation, TClipboardOperation::coCopy);
    EXPECT_EQ(files->Paths, QStringList{"/srv/a.jpg"});

    // Dolphin: text/uri-list with the cut selection flag.
    QMimeData kde;
    kde.setData(QStringLiteral("text/uri-list"), "file:///srv/a.jpg\r\n");
    kde.setData(QStringLiteral("application/x-kde-cutselection"), "1");
    files = ReadClipboardFiles(kde);
    ASSERT_TRUE(files);
    EXPECT_EQ(files->Operation, TClipboardOperation::coCut);
    kde.setData(QStringLiteral("application/x-kde-cutselection"), "0");
    EXPECT_EQ(ReadClipboardFiles(kde)->Operation, TClipboardOperation::coCopy);

    // GNOME Files 3.30 to 42: everything in the text.
    QMimeData nautilus;
    nautilus.setText(QStringLiteral("x-special/nautilus-clipboard\ncut\nfile:///srv/%C3%A9.jpg\n"));
    files = ReadClipboardFiles(nautilus);
    ASSERT_TRUE(files);
    EXPECT_EQ(files->Operation, TClipboardOperation::coCut);
    EXPECT_EQ(files->Paths, QStringList{QStringLiteral("/srv/é.jpg")});

    // Files without a marker (a browser's download list) are copied.
    QMimeData plain;
    plain.setData(QStringLiteral("text/uri-list"), "# a comment\r\nfile:///srv/a.jpg\r\n");
    files = ReadClipboardFiles(plain);
    ASSERT_TRUE(files);
    EXPECT_EQ(files->Operation, TClipboardOperation::coCopy);
    EXPECT_EQ(files->Paths, QStringList{"/srv/a.jpg"});
}

TEST(ClipboardFiles, NoLocalFileIsNoFiles) {
    QMimeData web;
    web.setData(QStringLiteral("text/uri-list"), "https://example.org/a.jpg\r\n");
    EXPECT_FALSE(ReadClipboardFiles(web));
    QMimeData text;
    text.setText(QStringLiteral("/srv/a.jpg")); // a path as text is text
    EXPECT_FALSE(ReadClipboardFiles(text));
    QMimeData strange;
    strange.setData(QStringLiteral("x-special/gnome-copied-files"), "link\nfile:///srv/a.jpg");
    EXPECT_FALSE(ReadClipboardFiles(strange));
    QMimeData image;
    image.setImageData(QImage(2, 2, QImage::Format_RGB32));
    EXPECT_FALSE(ReadClipboardFiles(image));
}

TEST(ClipboardFiles, ARoundTripThroughTheClipboard) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    ASSERT_NE(clipboard, nullptr);
    PutFilesOnClipboard(*clipboard, {QStringLiteral("/tmp/x y.gif")}, TClipboardOperation::coCut);
    std::optional<TClipboardFiles> files = FilesOnClipboard(*clipboard);
    ASSERT_TRUE(files);
    EXPECT_EQ(files->Paths, QStringList{"/tmp/x y.gif"});
    EXPECT_EQ(files->Operation, TClipboardOperation::coCut);
    clipboard->setText(QStringLiteral("something else"));
    EXPECT_FALSE(FilesOnClipboard(*clipboard));
    clipboard->clear();
}
