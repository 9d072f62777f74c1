#include "platform/ClipboardFiles.h"

#include <QClipboard>
#include <QMimeData>
#include <QUrl>

namespace {

const QString kGnomeFormat = QStringLiteral("x-special/gnome-copied-files");
const QString kKdeCutFormat = QStringLiteral("application/x-kde-cutselection");
const QByteArray kNautilusHeader = "x-special/nautilus-clipboard";

// The operation line and the local files of a GNOME list ("copy" or "cut", then one URI a line).
std::optional<TClipboardFiles> ParseGnomeList(const QByteArray& bytes) {
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray& line : lines)
        line = line.trimmed(); // also a CR of CRLF lines
    lines.removeAll(QByteArray());
    if (lines.isEmpty()) return std::nullopt;
    TClipboardFiles files;
    if (lines.first() == "cut")
        files.Operation = TClipboardOperation::coCut;
    else if (lines.first() != "copy")
        return std::nullopt;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QUrl url = QUrl::fromEncoded(lines[i], QUrl::StrictMode);
        if (url.isLocalFile()) files.Paths << url.toLocalFile();
    }
    return files;
}

} // namespace

std::unique_ptr<QMimeData> MakeClipboardFiles(const QStringList& paths, TClipboardOperation operation) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    QByteArray gnome = operation == TClipboardOperation::coCut ? "cut" : "copy";
    for (const QString& path : paths) {
        const QUrl url = QUrl::fromLocalFile(path);
        urls << url;
        gnome += '\n' + url.toEncoded();
    }
    data->setUrls(urls); // text/uri-list
    data->setData(kGnomeFormat, gnome);
    data->setData(kKdeCutFormat, operation == TClipboardOperation::coCut ? "1" : "0");
    data->setText(paths.join(QLatin1Char('\n')));
    return data;
}

std::optional<TClipboardFiles> ReadClipboardFiles(const QMimeData& data) {
    std::optional<TClipboardFiles> gnome;
    if (data.hasFormat(kGnomeFormat)) gnome = ParseGnomeList(data.data(kGnomeFormat));
    std::optional<TClipboardFiles> nautilus;
    if (data.hasText()) {
        const QByteArray text = data.text().toUtf8();
        if (text.startsWith(kNautilusHeader + '\n')) nautilus = ParseGnomeList(text.mid(kNautilusHeader.size() + 1));
    }

    TClipboardFiles files;
    for (const QUrl& url : data.urls())
        if (url.isLocalFile()) files.Paths << url.toLocalFile();
    if (files.Paths.isEmpty() && gnome) files.Paths = gnome->Paths;
    if (files.Paths.isEmpty() && nautilus) files.Paths = nautilus->Paths;
    if (files.Paths.isEmpty()) return std::nullopt;

    if (gnome)
        files.Operation = gnome->Operation;
    else if (data.hasFormat(kKdeCutFormat))
        files.Operation = data.data(kKdeCutFormat).trimmed() == "1" ? TClipboardOperation::coCut : TClipboardOperation::coCopy;
    else if (nautilus)
        files.Operation = nautilus->Operation;
    return files;
}

void PutFilesOnClipboard(QClipboard& clipboard, const QStringList& paths, TClipboardOperation operation) {
    clipboard.setMimeData(MakeClipboardFiles(paths, operation).release()); // the clipboard takes it
}

std::optional<TClipboardFiles> FilesOnClipboard(const QClipboard& clipboard) {
    const QMimeData* data = clipboard.mimeData();
    if (!data) return std::nullopt;
    return ReadClipboardFiles(*data);
}
