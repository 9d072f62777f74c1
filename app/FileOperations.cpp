#include "app/FileOperations.h"

#include "app/Browse.h"
#include "app/Dialogs.h"
#include "app/FileList.h"
#include "app/Main.h"
#include "codec/DibGraphic.h"
#include "codec/Png.h"
#include "tools/ConvertFmt.h"
#include "tools/FormatOption.h"
#include "platform/ClipboardFiles.h"
#include "platform/FileTransfer.h"
#include "platform/SettingsFile.h"
#include "platform/Trash.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>

namespace {

QString FolderOf(const QString& path) { return QFileInfo(path).absolutePath(); }

bool SameFolder(const QString& a, const QString& b) {
    return QDir::cleanPath(a) == QDir::cleanPath(b) || IsSameFile(a, b);
}

bool Exists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

void WriteWallpaperBitmap(TGraphic& graphic, const QString& target, TColor background, const QString& sourceFile) {
    // The one place the wallpaper is written: the picture shown (an animation's current frame) through the
    // conversion every save uses, drawings on the window's background.
    ConvertGraphic(&graphic, target, DefaultPictureOption, false, background, sourceFile);
}

TFileOperationsController::TFileOperationsController(TMainForm& form)
    : QObject(&form), FForm(form), FWallpaperBackend(&SessionWallpaperBackend) {
    form.Connect("EditCopyToAction", [this] { CopyTo(); });
    form.Connect("EditMoveToAction", [this] { MoveTo(); });
    form.Connect("EditCopyAction", [this] { CopyToClipboard(); });
    form.Connect("EditCutAction", [this] { CutToClipboard(); });
    form.Connect("EditPasteAction", [this] { Paste(); });
    form.Connect("EditDeleteAction", [this] { Delete(); });
    form.Connect("EditRenameAction", [this] { Rename(); });
    form.Connect("ToolWallPaperCenterAction", [this] { SetWallpaper(TWallpaperStyle::wsCentered); });
    form.Connect("ToolWallPaperTileAction", [this] { SetWallpaper(TWallpaperStyle::wsTiled); });
    form.Connect("ToolWallPaperStretchAction", [this] { SetWallpaper(TWallpaperStyle::wsStretched); });
    form.Connect("ToolWallPaperRestoreAction", [this] { RestoreWallpaper(); });
    form.Enable(form.Action("ToolWallPaperRestoreAction"), true);
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        connect(clipboard, &QClipboard::dataChanged, this, &TFileOperationsController::UpdatePaste);
    UpdatePaste();
}

void TFileOperationsController::UpdatePaste() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    FForm.Enable(FForm.Action("EditPasteAction"), clipboard && FilesOnClipboard(*clipboard).has_value());
}

std::unique_ptr<IWallpaperBackend> TFileOperationsController::WallpaperBackend() {
    return FWallpaperBackend ? FWallpaperBackend() : nullptr;
}

void TFileOperationsController::RereadList() {
    FForm.FileList().Update(); // the browse controller selects the shown file again and syncs the grid
    FForm.Browse().SyncThumbnails();
}

std::optional<QString> TFileOperationsController::ChooseFolder(const QString& caption, const QString& start) {
    std::optional<QString> folder = Dialogs().ChooseFolder(&FForm, caption, start);
    if (!folder || folder->isEmpty()) return std::nullopt;
    const QString path = QDir::cleanPath(QDir(FolderOf(FForm.CurrentFile())).absoluteFilePath(*folder));
    const QFileInfo info(path);
    if (info.isDir()) return path;
    if (info.exists()) throw EFileOperation(QStringLiteral("'%1' is not a folder").arg(path));
    if (AskQuestion(&FForm, caption, QStringLiteral("The folder '%1' does not exist. Create it?").arg(path),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes)
        return std::nullopt;
    if (!QDir().mkpath(path)) throw EFileOperation(QStringLiteral("The folder '%1' cannot be created").arg(path));
    return path;
}

bool TFileOperationsController::ConfirmReplace(const QString& dest) {
    const QFileInfo info(dest);
    return AskQuestion(&FForm, QStringLiteral("Confirm File Replace"),
                       QStringLiteral("The folder '%1' already holds a file named '%2'.\n\nReplace it?")
                           .arg(info.absolutePath(), info.fileName()),
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void TFileOperationsController::CopyTo() {
    const QString current = FForm.CurrentFile();
    if (current.isEmpty() || !QFileInfo(current).isFile()) return;
    const QString start = FLastCopyFolder.isEmpty() && !FLastMoveFolder.isEmpty() ? FLastMoveFolder
                          : FLastCopyFolder.isEmpty()                               ? FolderOf(current)
                                                                                    : FLastCopyFolder;
    const std::optional<QString> folder = ChooseFolder(QStringLiteral("Copy To"), start);
    if (!folder) return;
    FLastCopyFolder = *folder;
    const QString name = QFileInfo(current).fileName();
    QString dest = QDir(*folder).filePath(name);
    TReplace replace = TReplace::rpNever;
    if (SameFolder(*folder, FolderOf(current))) {
        dest = QDir(*folder).filePath(FreeCopyName(*folder, name)); // a copy beside it
    } else if (Exists(dest)) {
        if (!ConfirmReplace(dest)) return;
        replace = TReplace::rpReplace;
    }
    {
        TBusyCursor busy;
        CopyFileTo(current, dest, replace);
    }
    if (SameFolder(*folder, FForm.FileList().Directory())) RereadList();
}

void TFileOperationsController::MoveTo() {
    const QString old = FForm.CurrentFile();
    if (old.isEmpty() || !QFileInfo(old).isFile()) return;
    const QString start = FLastMoveFolder.isEmpty() && !FLastCopyFolder.isEmpty() ? FLastCopyFolder
                          : FLastMoveFolder.isEmpty()                               ? FolderOf(old)
                                                                                    : FLastMoveFolder;
    const std::optional<QString> folder = ChooseFolder(QStringLiteral("Move To"), start);
    if (!folder) return;
    FLastMoveFolder = *folder;
    const QString name = QFileInfo(old).fileName();
    if (SameFolder(*folder, FolderOf(old))) {
        ShowMessage(&FForm, QMessageBox::Information, QStringLiteral("Move To"),
                    QStringLiteral("'%1' is already in '%2'.").arg(name, *folder));
        return;
    }
    const QString dest = QDir(*folder).filePath(name);
    TReplace replace = TReplace::rpNever;
    if (Exists(dest)) {
        if (!ConfirmReplace(dest)) return;
        replace = TReplace::rpReplace;
    }
    FForm.ClosePicture(); // the file is not held while it moves
    try {
        TBusyCursor busy;
        MoveFileTo(old, dest, replace);
    } catch (...) {
        if (Exists(old)) FForm.OpenPicture(old);
        throw;
    }
    if (Exists(old))
        FForm.OpenPicture(old);
    else
        RereadList(); // the view stays empty
}

void TFileOperationsController::CopyToClipboard() {
    const QString current = FForm.CurrentFile();
    if (current.isEmpty() || !QFileInfo(current).isFile()) return;
    std::unique_ptr<QMimeData> data = MakeClipboardFiles({QFileInfo(current).absoluteFilePath()}, TClipboardOperation::coCopy);
    // The picture goes along for programs that paste pictures rather than files.
    if (TGraphic* g = FForm.Picture().Graphic(); g && !g->IsEmpty()) {
        TBusyCursor busy;
        const auto* dib = dynamic_cast<const TDibGraphic*>(g);
        const QImage image = dib ? dib->Image() : g->ToImage(QSize(), FForm.GetBackgroundColor());
        if (!image.isNull()) data->setImageData(image);
    }
    QGuiApplication::clipboard()->setMimeData(data.release());
    UpdatePaste();
}

void TFileOperationsController::CutToClipboard() {
    const QString current = FForm.CurrentFile();
    if (current.isEmpty() || !QFileInfo(current).isFile()) return;
    PutFilesOnClipboard(*QGuiApplication::clipboard(), {QFileInfo(current).absoluteFilePath()}, TClipboardOperation::coCut);
    UpdatePaste();
}

void TFileOperationsController::Paste() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    const std::optional<TClipboardFiles> files = FilesOnClipboard(*clipboard);
    if (!files || files->Paths.isEmpty()) return;
    // The first file only, into the folder the file list shows.
    const QString source = files->Paths.first();
    const bool cut = files->Operation == TClipboardOperation::coCut;
    const QString folder = FForm.FileList().Directory();
    const QFileInfo info(source);
    if (!Exists(source)) throw EFileOperation(QStringLiteral("'%1' does not exist").arg(source));
    if (!info.isFile()) throw EFileOperation(QStringLiteral("'%1' is not a file; only files are pasted here").arg(source));
    QString dest = QDir(folder).filePath(info.fileName());
    TReplace replace = TReplace::rpNever;
    if (SameFolder(folder, info.absolutePath())) {
        if (cut) return; // cut and pasted where it is
        dest = QDir(folder).filePath(FreeCopyName(folder, info.fileName()));
    } else if (Exists(dest)) {
        if (!ConfirmReplace(dest)) return;
        replace = TReplace::rpReplace;
    }
    const QString old = FForm.CurrentFile();
    FForm.ClosePicture();
    try {
        TBusyCursor busy;
        if (cut)
            MoveFileTo(source, dest, replace);
        else
            CopyFileTo(source, dest, replace);
    } catch (...) {
        if (!old.isEmpty() && Exists(old)) FForm.OpenPicture(old);
        throw;
    }
    // A cut file has moved: like a file manager, the clipboard no longer offers it.
    if (cut) clipboard->clear();
    if (!old.isEmpty() && Exists(old)) FForm.OpenPicture(old);
    RereadList();
}

void TFileOperationsController::Delete() {
    const QString path = FForm.CurrentFile();
    if (path.isEmpty() || !QFileInfo(path).isFile()) return;
    const QString name = QFileInfo(path).fileName();
    if (AskQuestion(&FForm, QStringLiteral("Delete File"),
                    QStringLiteral("Are you sure you want to move '%1' to the trash?").arg(name),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes)
        return;
    try {
        TBusyCursor busy;
        MoveToTrash(path);
    } catch (const ETrashError& e) {
        TMessage m;
        m.Icon = QMessageBox::Warning;
        m.Caption = QStringLiteral("Delete File");
        m.Text = QStringLiteral("'%1' cannot be moved to the trash. Delete it for good?").arg(name);
        m.Details = e.Message();
        m.Buttons = QMessageBox::Yes | QMessageBox::No;
        m.Default = QMessageBox::No;
        if (Dialogs().Message(&FForm, m) != QMessageBox::Yes) return;
        QFile file(path);
        if (!file.remove()) throw EFileOperation(QStringLiteral("'%1' cannot be deleted: %2").arg(name, file.errorString()));
    }
    if (Exists(path)) return;
    FForm.ClosePicture();
    RereadList();
}

void TFileOperationsController::Rename() {
    const QString old = FForm.CurrentFile();
    if (old.isEmpty() || !QFileInfo(old).isFile()) return;
    // The name without its folder and its last extension; the extension is kept.
    const QString name = QFileInfo(old).fileName();
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    const QString base = dot >= 0 ? name.left(dot) : name;
    const QString ext = dot >= 0 ? name.mid(dot) : QString();
    const std::optional<QString> answer = Dialogs().InputText(&FForm, QStringLiteral("Rename File"), QStringLiteral("Filename:"), base);
    if (!answer || answer->compare(base, Qt::CaseInsensitive) == 0) return;
    if (*answer == QLatin1String(".") || *answer == QLatin1String("..") || !IsValidFileName(*answer) ||
        !IsValidFileName(*answer + ext)) {
        ShowMessage(&FForm, QMessageBox::Warning, QStringLiteral("Rename File"),
                    QStringLiteral("'%1' is not a valid file name.").arg(*answer));
        return;
    }
    const QString dest = QDir(FolderOf(old)).filePath(*answer + ext);
    if (Exists(dest)) {
        ShowMessage(&FForm, QMessageBox::Warning, QStringLiteral("Rename File"),
                    QStringLiteral("A file named '%1' already exists.").arg(*answer + ext));
        return;
    }
    FForm.ClosePicture();
    try {
        MoveFileTo(old, dest, TReplace::rpNever);
    } catch (...) {
        if (Exists(old)) FForm.OpenPicture(old);
        throw;
    }
    if (!Exists(dest)) {
        if (Exists(old)) FForm.OpenPicture(old);
        return;
    }
    FForm.FileList().Update();
    FForm.Browse().SelectAndOpen(dest);
}

void TFileOperationsController::SetWallpaper(TWallpaperStyle style) {
    TGraphic* graphic = FForm.Picture().Graphic();
    if (!graphic || graphic->IsEmpty()) return;
    const std::unique_ptr<IWallpaperBackend> backend = WallpaperBackend();
    if (!backend)
        throw EWallpaperError(QStringLiteral("The desktop wallpaper cannot be set here: the desktop '%1' is not one the "
                                             "program knows (GNOME, KDE Plasma, XFCE, MATE or Cinnamon)")
                                  .arg(qEnvironmentVariable("XDG_CURRENT_DESKTOP")));
    TBusyCursor busy;
    TSettingsFile store;
    TWallpaper wallpaper(*backend, store, WallpaperDataFolder());
    const QString target = wallpaper.NextBitmapPath();
    try {
        if (!QDir().mkpath(WallpaperDataFolder()))
            throw EWriteError(QStringLiteral("The folder '%1' cannot be made").arg(WallpaperDataFolder()));
        WriteWallpaperBitmap(*graphic, target, FForm.GetBackgroundColor(), FForm.CurrentFile());
    } catch (const Exception& e) {
        busy.Restore();
        ShowMessage(&FForm, QMessageBox::Critical, QStringLiteral("Error"), QStringLiteral("Cannot convert file format"),
                    e.Message());
        return; // the desktop is not touched
    }
    wallpaper.Set(target, style);
}

void TFileOperationsController::RestoreWallpaper() {
    const std::unique_ptr<IWallpaperBackend> backend = WallpaperBackend();
    if (!backend) return; // nothing was set here, so nothing to restore
    TBusyCursor busy;
    TSettingsFile store;
    TWallpaper wallpaper(*backend, store, WallpaperDataFolder());
    wallpaper.Restore(); // does nothing when nothing was saved
}
