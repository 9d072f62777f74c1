#include "tools/BatchConv.h"

#include "codec/Registry.h"
#include "codec/Resample.h"
#include "platform/FileTransfer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>
#include <QThreadPool>
#include <QUrl>

#include <algorithm>
#include <map>
#include <memory>

// ---------------------------------------------------------------------------------------------------------
// Renaming

namespace {

// A file name split as the rules see it: the extension runs from the last '.' (with the dot).
struct TNameParts {
    QString Name;
    QString Ext;
};

TNameParts Split(const QString& fileName) {
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) return {fileName, QString()};
    return {fileName.left(dot), fileName.mid(dot)};
}

// Numbers of the renumbering rules are computed in 128 bits: fields are 64-bit, an index times a step
// and a digit run of the name (up to 36 digits) all fit, so nothing wraps.
using TBig = __int128;

QString BigText(TBig value) {
    if (value == 0) return QStringLiteral("0");
    const bool negative = value < 0;
    QString digits;
    while (value != 0) {
        const int d = int(value % 10);
        digits.prepend(QLatin1Char(char('0' + (d < 0 ? -d : d))));
        value /= 10;
    }
    if (negative) digits.prepend(QLatin1Char('-'));
    return digits;
}

// A numeric field: its integer, or 0 when empty or not a number.
TBig FieldValue(const QString& text) {
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    return ok ? TBig(v) : 0;
}

bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

} // namespace

QString RenameByText(const QString& fileName, const TTextRename& rule) {
    const TNameParts parts = Split(fileName);
    QString result = rule.Prefix + parts.Name + rule.Suffix + parts.Ext;
    if (!rule.SearchFor.isEmpty()) {
        const Qt::CaseSensitivity cs = rule.CaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
        if (rule.ReplaceMode == TReplaceMode::rmAll) {
            result.replace(rule.SearchFor, rule.ReplaceWith, cs);
        } else if (const int at = result.indexOf(rule.SearchFor, 0, cs); at >= 0) {
            result.replace(at, rule.SearchFor.size(), rule.ReplaceWith);
        }
    }
    if (!rule.Extension.isEmpty()) {
        if (rule.ExtChange == TExtChange::ecRename) result = Split(result).Name + QLatin1Char('.') + rule.Extension;
        else result += QLatin1Char('.') + rule.Extension;
    }
    if (rule.Case == TCaseChange::ccUpper) result = result.toUpper();
    else if (rule.Case == TCaseChange::ccLower) result = result.toLower();
    return result;
}

QString Renumber(const QString& fileName, qint64 index, const TNumberRename& rule) {
    const TBig step = FieldValue(rule.Step);
    const TBig offset = TBig(index) * step;
    const bool removeName = rule.Keep == TNumberKeep::nkRemoveName;
    bool nameRemoved = false;
    TNameParts parts = Split(fileName);
    QString name = parts.Name;
    if (!rule.Prefix.isEmpty()) {
        const QString number = BigText(FieldValue(rule.Prefix) + offset);
        if (removeName && !nameRemoved) {
            name = number;
            nameRemoved = true;
        } else {
            name = number + name;
        }
    }
    if (!rule.Suffix.isEmpty()) {
        const QString number = BigText(FieldValue(rule.Suffix) + offset);
        if (removeName && !nameRemoved) {
            name = number;
            nameRemoved = true;
        } else {
            name += number;
        }
    }
    QString result = name + parts.Ext;
    if (!rule.Ext.isEmpty()) {
        const QString number = BigText(FieldValue(rule.Ext) + offset);
        if (rule.Keep == TNumberKeep::nkRemoveExt) result = name + QLatin1Char('.') + number;
        else result += QLatin1Char('.') + number;
    }
    if (!rule.From.isEmpty() || !rule.To.isEmpty() || !rule.ReplaceWith.isEmpty()) {
        int first = 0;
        while (first < result.size() && !IsDigit(result[first])) ++first;
        int last = first;
        while (last < result.size() && IsDigit(result[last])) ++last;
        // Leading zeros carry no value; a run longer than 36 significant digits lies beyond every To.
        int significant = first;
        while (significant < last - 1 && result[significant] == QLatin1Char('0')) ++significant;
        const bool fits = last - significant <= 36;
        TBig number = 0;
        if (fits)
            for (int i = significant; i < last; ++i) number = number * 10 + (result[i].unicode() - '0');
        const TBig from = FieldValue(rule.From), to = FieldValue(rule.To);
        if (fits && from <= number && number <= to) {
            const QString replaced = rule.ReplaceWith.isEmpty() ? QString() : BigText(FieldValue(rule.ReplaceWith) + (number - from) * step);
            if (removeName && !nameRemoved) {
                result = replaced;
                nameRemoved = true;
            } else {
                result = result.left(first) + replaced + result.mid(last);
            }
        }
    }
    parts = Split(result);
    return rule.Leading + parts.Name + rule.Tailing + parts.Ext;
}

QString RenameByPattern(const QString& fileName, qint64 index, const QString& pattern) {
    const TNameParts parts = Split(fileName);
    QString result;
    for (int i = 0; i < pattern.size();) {
        if (pattern[i] == QLatin1Char('*')) {
            result += parts.Name;
            ++i;
        } else if (pattern[i] == QLatin1Char('#')) {
            int run = 0;
            while (i < pattern.size() && pattern[i] == QLatin1Char('#')) ++run, ++i;
            result += QStringLiteral("%1").arg(qlonglong(index) + 1, run, 10, QLatin1Char('0'));
        } else {
            result += pattern[i++];
        }
    }
    if (!pattern.contains(QLatin1Char('.'))) result += parts.Ext;
    return result;
}

QString ApplyRename(const QString& fileName, qint64 index, const TRenameRule& rule) {
    switch (rule.Kind) {
    case TRenameKind::rkNumber: return Renumber(fileName, index, rule.Number);
    case TRenameKind::rkPattern: return RenameByPattern(fileName, index, rule.Pattern);
    case TRenameKind::rkText: break;
    }
    return RenameByText(fileName, rule.Text);
}

// ---------------------------------------------------------------------------------------------------------
// Colours, names, messages

const QStringList& PageColorNames() {
    static const QStringList names{QStringLiteral("Background"), QStringLiteral("Text"), QStringLiteral("Links"),
                                   QStringLiteral("Visited Links"), QStringLiteral("Active Links")};
    return names;
}

// As swatches: red in the low byte.
const TPageColors DefaultPageColors{0xFFFFFF, 0x000099, 0x660066, 0xCC99CC, 0x33FF99};

QString PageColorText(TColor colour) {
    const uint rgb = ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
    return QStringLiteral("%1").arg(rgb, 6, 16, QLatin1Char('0')).toUpper();
}

QString AlbumPageName(const QString& baseName, int page) {
    return baseName.trimmed() + QString::asprintf("_%.3d.htm", page);
}

QString BatchFinalMessage(const QString& actionWord, const QStringList& errors) {
    if (errors.isEmpty()) return actionWord + QStringLiteral(" finished successfully");
    QString text = QStringLiteral("There are errors in ") + actionWord + QStringLiteral(" process:");
    for (const QString& line : errors) text += QLatin1Char('\r') + line;
    return text;
}

QString BatchActionWord(TBatchAction action) {
    switch (action) {
    case TBatchAction::baRename: return QStringLiteral("Rename");
    case TBatchAction::baConvertRename: return QStringLiteral("Convert && Rename");
    case TBatchAction::baConvert: break;
    }
    return QStringLiteral("Convert");
}

QString BatchTimeLeft(qint64 elapsedMs, int done, int total) {
    if (done <= 0 || total <= done) return done > 0 && total <= done ? QStringLiteral("0:00") : QString();
    const qint64 left = (elapsedMs * (total - done) / done + 999) / 1000;
    const qint64 h = left / 3600, m = left / 60 % 60, s = left % 60;
    if (h > 0) return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

// ---------------------------------------------------------------------------------------------------------
// The job

struct TBatchJob::TItem {
    QString Source;
    QString Target;      // the batch target, or the album's thumbnail
    QString Copy;        // the album's copy of the source (empty: none)
    bool WriteTarget = false;
    bool WriteCopy = false;
    bool SameCopy = false;      // the source already is the copy
    bool TargetRefused = false; // an error line says why nothing is written
    bool CopyRefused = false;
    QStringList Errors;
    QStringList Written;
    QStringList Skipped;
    // Album
    QSize Thumb;          // the thumbnail's size, when known
    bool ThumbKnown = false;
    QString Link;         // as written into the page
    qint64 SourceSize = -1;
};

namespace {

// The key two paths of one file share: the canonical folder and the name.
QString PathKey(const QString& path) {
    const QFileInfo info(path);
    if (info.exists()) {
        const QString canonical = info.canonicalFilePath();
        if (!canonical.isEmpty()) return canonical;
    }
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return QDir::cleanPath((folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName());
}

QString ChangeExt(const QString& fileName, const QString& ext) { return Split(fileName).Name + ext; }

QString ConvertError(const QString& file, const QString& message) {
    return QStringLiteral("Error in converting file '") + file + QStringLiteral("': ") + message;
}

std::unique_ptr<TGraphic> LoadPicture(const QString& fileName) {
    if (!QFileInfo::exists(fileName)) throw EInvalidGraphic(QStringLiteral("The file does not exist"));
    std::unique_ptr<TGraphic> graphic = CreateGraphicFor(fileName);
    graphic->LoadFromFileName(fileName);
    return graphic;
}

QString Html(const QString& text) { return text.toHtmlEscaped(); }
// A relative link to a file of the album's folder.
QString RelativeUrl(const QString& fileName) { return QString::fromLatin1(QUrl::toPercentEncoding(fileName)); }

} // namespace

TBatchJob::TBatchJob(const QStringList& files, const TBatchOptions& options) : FFiles(files), FBatch(options) {}
TBatchJob::TBatchJob(const QStringList& files, const TAlbumOptions& options)
    : FAlbum(true), FFiles(files), FAlbumOptions(options) {}
TBatchJob::~TBatchJob() = default;

int TBatchJob::Workers() const {
    const int wanted = FAlbum ? FAlbumOptions.Workers : FBatch.Workers;
    const int cores = std::max(1, QThread::idealThreadCount());
    return std::max(1, std::min(wanted > 0 ? wanted : cores, std::max(1, FLimit)));
}

// The overwrite check for one target; false when the run is cancelled.
bool TBatchJob::Decide(TItem& item, const QString& target, bool& write) {
    write = true;
    const bool overwrite = FAlbum ? FAlbumOptions.Overwrite : FBatch.Overwrite;
    if (overwrite || !QFileInfo::exists(target)) return true;
    // "N&o to All" and "Yes to &All" answer for the rest of the run.
    if (FAnswerAll == 1) {
        write = false;
    } else if (FAnswerAll == 2) {
        write = true;
    } else {
        const TOverwriteAnswer answer = AskOverwrite ? AskOverwrite(QFileInfo(target).fileName()) : TOverwriteAnswer::oaNo;
        switch (answer) {
        case TOverwriteAnswer::oaCancel: return false;
        case TOverwriteAnswer::oaYes: write = true; break;
        case TOverwriteAnswer::oaNo: write = false; break;
        case TOverwriteAnswer::oaNoToAll: FAnswerAll = 1; write = false; break;
        case TOverwriteAnswer::oaYesToAll: FAnswerAll = 2; write = true; break;
        }
    }
    if (!write) item.Skipped << target;
    return true;
}

bool TBatchJob::Prepare() {
    FItems.assign(size_t(FFiles.size()), TItem{});
    FLimit = int(FFiles.size());
    FAnswerAll = 0;
    FCancelled = false;
    FFatal.clear();
    if (FAlbum) {
        const TAlbumOptions& o = FAlbumOptions;
        if (o.OutputDir.isEmpty() || !QFileInfo(o.OutputDir).isDir())
            FFatal = QStringLiteral("The output folder '%1' does not exist").arg(o.OutputDir);
        else if (o.DeleteSource && !o.CopySource)
            FFatal = QStringLiteral("The source files are linked from the album's pages: they can be deleted only when they are copied to the output folder");
        else if (o.Columns < 1 || o.Rows < 1)
            FFatal = QStringLiteral("A page needs at least one column and one row");
        else if (o.ThumbnailExt.compare(QLatin1String(".JPG"), Qt::CaseInsensitive) != 0 &&
                 o.ThumbnailExt.compare(QLatin1String(".GIF"), Qt::CaseInsensitive) != 0)
            FFatal = QStringLiteral("Thumbnails are written as .JPG or .GIF, not '%1'").arg(o.ThumbnailExt);
        else if (o.Box.width() < 1 || o.Box.height() < 1)
            FFatal = QStringLiteral("The thumbnail size %1 x %2 is empty").arg(o.Box.width()).arg(o.Box.height());
        if (!FFatal.isEmpty()) return false;
        PrepareAlbum();
    } else {
        if (!FBatch.OutputDir.isEmpty() && !QFileInfo(FBatch.OutputDir).isDir()) {
            FFatal = QStringLiteral("The output folder '%1' does not exist").arg(FBatch.OutputDir);
            return false;
        }
        if (FBatch.Action != TBatchAction::baRename &&
            (!FBatch.TargetExt.startsWith(QLatin1Char('.')) || !IsValidFileName(QStringLiteral("x") + FBatch.TargetExt))) {
            FFatal = QStringLiteral("'%1' is not an extension").arg(FBatch.TargetExt);
            return false;
        }
        PrepareBatch();
    }
    FPrepared = true;
    return true;
}

void TBatchJob::PrepareBatch() {
    const TBatchOptions& o = FBatch;
    const bool renaming = o.Action != TBatchAction::baConvert;
    const QString failure = o.Action == TBatchAction::baRename ? QStringLiteral("Error in renaming file '") : QStringLiteral("Error in converting file '");
    std::map<QString, int> sources, targets;
    for (int s = 0; s < FFiles.size(); ++s) sources.emplace(PathKey(FFiles[s]), s);
    for (int s = 0; s < FFiles.size(); ++s) {
        TItem& item = FItems[size_t(s)];
        const QString& file = FFiles[s];
        item.Source = file;
        const QFileInfo info(file);
        QString name = info.fileName();
        if (o.Action != TBatchAction::baRename) name = ChangeExt(name, o.TargetExt);
        if (renaming) name = ApplyRename(name, o.FirstIndex + s, o.Rename);
        item.TargetRefused = true;
        if (!IsValidFileName(name)) {
            item.Errors << failure + file + QStringLiteral("': the new name '") + name + QStringLiteral("' is not a valid file name");
            continue;
        }
        item.Target = QDir(o.OutputDir.isEmpty() ? info.path() : o.OutputDir).filePath(name);
        const QString key = PathKey(item.Target);
        const bool self = key == PathKey(file);
        if (const auto other = sources.find(key); !self && other != sources.end()) {
            item.Errors << failure + file + QStringLiteral("': the target '") + item.Target + QStringLiteral("' is another file of the list");
            continue;
        }
        if (const auto [first, inserted] = targets.emplace(key, s); !inserted) {
            item.Errors << failure + file + QStringLiteral("': the target '") + item.Target + QStringLiteral("' is also the target of '") +
                               FFiles[first->second] + QLatin1Char('\'');
            continue;
        }
        item.TargetRefused = false;
        // Renaming a file to its own name leaves it alone.
        if (o.Simulate || (o.Action == TBatchAction::baRename && self)) continue;
        if (!Decide(item, item.Target, item.WriteTarget)) {
            FLimit = s;
            FCancelled = true;
            return;
        }
    }
}

void TBatchJob::PrepareAlbum() {
    const TAlbumOptions& o = FAlbumOptions;
    const QDir out(o.OutputDir);
    std::map<QString, int> sources, targets;
    for (int s = 0; s < FFiles.size(); ++s) sources.emplace(PathKey(FFiles[s]), s);
    for (int s = 0; s < FFiles.size(); ++s) {
        TItem& item = FItems[size_t(s)];
        const QString& file = FFiles[s];
        item.Source = file;
        const QString name = QFileInfo(file).fileName();
        item.Target = out.filePath(QStringLiteral("TN_") + ChangeExt(name, o.ThumbnailExt));
        const QString key = PathKey(item.Target);
        if (sources.count(key)) {
            item.TargetRefused = true;
            item.Errors << ConvertError(file, QStringLiteral("the thumbnail '") + item.Target + QStringLiteral("' is a file of the list"));
        } else if (const auto [first, inserted] = targets.emplace(key, s); !inserted) {
            item.TargetRefused = true;
            item.Errors << ConvertError(file, QStringLiteral("the thumbnail '") + item.Target + QStringLiteral("' is also made for '") +
                                                  FFiles[first->second] + QLatin1Char('\''));
        }
        if (o.CopySource) {
            item.Copy = out.filePath(name);
            const QString copyKey = PathKey(item.Copy);
            item.SameCopy = copyKey == PathKey(file);
            const QString copyError = QStringLiteral("Error in copying or deleting source file '") + file + QStringLiteral("': the copy '") + item.Copy;
            if (item.SameCopy) {
                targets.emplace(copyKey, s);
            } else if (sources.count(copyKey)) {
                item.CopyRefused = true;
                item.Errors << copyError + QStringLiteral("' is another file of the list");
            } else if (const auto [first, inserted] = targets.emplace(copyKey, s); !inserted) {
                item.CopyRefused = true;
                item.Errors << copyError + QStringLiteral("' is also written for '") + FFiles[first->second] + QLatin1Char('\'');
            }
        }
        if (!item.TargetRefused && !Decide(item, item.Target, item.WriteTarget)) {
            FLimit = s;
            FCancelled = true;
            return;
        }
        if (o.CopySource && !item.SameCopy && !item.CopyRefused && !Decide(item, item.Copy, item.WriteCopy)) {
            FLimit = s;
            FCancelled = true;
            return;
        }
    }
}

void TBatchJob::RunBatchItem(TItem& item) {
    if (item.TargetRefused || !item.WriteTarget) return;
    const QString& source = item.Source;
    if (FBatch.Action == TBatchAction::baRename) {
        try {
            if (FBatch.DeleteSource) MoveFileTo(source, item.Target, TReplace::rpReplace);
            else CopyFileTo(source, item.Target, TReplace::rpReplace);
            item.Written << item.Target;
        } catch (const Exception& e) {
            item.Errors << QStringLiteral("Error in renaming file '") + source + QStringLiteral("': ") + e.Message();
        }
        return;
    }
    try {
        const std::unique_ptr<TGraphic> graphic = LoadPicture(source);
        ConvertGraphic(graphic.get(), item.Target, FBatch.Picture, false, FBatch.BackColor, source, FBatch.Convert);
        item.Written << item.Target;
    } catch (const Exception& e) {
        item.Errors << ConvertError(source, e.Message());
        return;
    } catch (const std::exception& e) {
        item.Errors << ConvertError(source, QString::fromLocal8Bit(e.what()));
        return;
    }
    // The target is complete on disk here; a target that is its source is never deleted.
    if (FBatch.DeleteSource && PathKey(source) != PathKey(item.Target) && !IsSameFile(source, item.Target)) {
        QFile file(source);
        if (!file.remove())
            item.Errors << QStringLiteral("Error in deleting source file '") + source + QStringLiteral("': ") + file.errorString();
    }
}

void TBatchJob::RunAlbumItem(TItem& item) {
    const TAlbumOptions& o = FAlbumOptions;
    const QString& source = item.Source;
    const QString name = QFileInfo(source).fileName();
    {
        QFile file(source);
        if (file.open(QIODevice::ReadOnly)) item.SourceSize = file.size();
    }
    item.Link = QUrl::fromLocalFile(QFileInfo(source).absoluteFilePath()).toString(QUrl::FullyEncoded);
    bool thumbOk = false;
    if (!item.TargetRefused) {
        if (item.WriteTarget) {
            try {
                const std::unique_ptr<TGraphic> graphic = LoadPicture(source);
                QSize size = o.Box;
                ResizeAndSave(graphic.get(), item.Target, o.Picture, o.BackColor,
                              quint8((o.Filter & 0x0F) | (o.FixAspect ? kResizeKeepAspect : 0)), size);
                item.Thumb = size;
                item.ThumbKnown = true;
                item.Written << item.Target;
                thumbOk = true;
            } catch (const Exception& e) {
                item.Errors << ConvertError(source, e.Message());
            } catch (const std::exception& e) {
                item.Errors << ConvertError(source, QString::fromLocal8Bit(e.what()));
            }
        } else {
            // A thumbnail kept from before: the page gives its own size.
            thumbOk = true;
            try {
                const std::unique_ptr<TGraphic> kept = LoadPicture(item.Target);
                item.Thumb = QSize(kept->Width(), kept->Height());
                item.ThumbKnown = true;
            } catch (const Exception&) {
            }
        }
    }
    if (!o.CopySource) return;
    if (item.SameCopy) {
        item.Link = RelativeUrl(name);
    } else if (!item.CopyRefused && item.WriteCopy) {
        try {
            // A source whose thumbnail failed stays where it is.
            if (o.DeleteSource && thumbOk) MoveFileTo(source, item.Copy, TReplace::rpReplace);
            else CopyFileTo(source, item.Copy, TReplace::rpReplace);
            item.Written << item.Copy;
            item.Link = RelativeUrl(name);
        } catch (const Exception& e) {
            item.Errors << QStringLiteral("Error in copying or deleting source file '") + source + QStringLiteral("': ") + e.Message();
        }
    }
}

void TBatchJob::WritePages(int count, TBatchResult& result) {
    if (count <= 0) return;
    const TAlbumOptions& o = FAlbumOptions;
    const QDir out(o.OutputDir);
    const int perPage = o.Columns * o.Rows;
    const int pages = (count + perPage - 1) / perPage;
    const QString NL = o.Optimize ? QString() : QStringLiteral("\r\n");
    const QString align = o.Align == TAlbumAlign::aaLeft    ? QStringLiteral("align=\"left\"")
                          : o.Align == TAlbumAlign::aaRight ? QStringLiteral("align=\"right\"")
                                                            : QStringLiteral("align=\"center\"");
    const QString W = QString::number(o.Box.width()), H = QString::number(o.Box.height());
    const QString title = Html(o.Title);
    const QString font = QStringLiteral("<font face=\"Verdana, Arial, Helvetica, Sans-Serif\">");
    auto page = [&](int k) { return RelativeUrl(AlbumPageName(o.BaseName, k)); };
    QSize last(0, 0);
    for (int p = 1; p <= pages; ++p) {
        const QString path = out.filePath(AlbumPageName(o.BaseName, p));
        QString h;
        h += QStringLiteral("<html>") + NL + NL + QStringLiteral("<head>") + NL +
             QStringLiteral("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">") + NL +
             QStringLiteral("<title>") + title + QStringLiteral("</title></head>") + NL + NL + QStringLiteral("<body bgcolor=\"#") +
             PageColorText(o.Colors[0]) + QStringLiteral("\" text=\"#") + PageColorText(o.Colors[1]) + QStringLiteral("\" link=\"#") +
             PageColorText(o.Colors[2]) + QStringLiteral("\" vlink=\"#") + PageColorText(o.Colors[3]) + QStringLiteral("\" alink=\"#") +
             PageColorText(o.Colors[4]) + QStringLiteral("\">");
        if (!o.Title.isEmpty()) h += NL + NL + QStringLiteral("<h1 align=\"center\">") + title + QStringLiteral("</h1>");
        h += NL + NL + QStringLiteral("<hr>") + NL + NL + QStringLiteral("<p><div align=\"center\"><center>") + NL + NL +
             QStringLiteral("<table cellpadding=\"0\" cellspacing=\"0\">");
        for (int s = (p - 1) * perPage; s < std::min(count, p * perPage); ++s) {
            const TItem& item = FItems[size_t(s)];
            if (item.ThumbKnown) last = item.Thumb;
            const QString name = QFileInfo(item.Source).fileName();
            const QString sizeText = item.SourceSize < 0 ? QStringLiteral("File size undetermined")
                                                         : QString::number(item.SourceSize >> 10) + QStringLiteral("KB");
            QString label;
            switch (o.Label) {
            case TAlbumLabel::alName: label = name; break;
            case TAlbumLabel::alSize: label = sizeText; break;
            case TAlbumLabel::alNameSize: label = name + QLatin1Char('(') + sizeText + QLatin1Char(')'); break;
            case TAlbumLabel::alNameNoExt: label = Split(name).Name; break;
            case TAlbumLabel::alIndex: label = QString::number(s % perPage + 1); break;
            case TAlbumLabel::alAbsoluteIndex: label = QString::number(s + 1); break;
            case TAlbumLabel::alText: label = o.LabelText; break;
            }
            if (s % o.Columns == 0) h += NL + QStringLiteral("<tr>");
            const QString lines[] = {
                QStringLiteral("<td><table border=\"0\" cellpadding=\"0\" cellspacing=\"0\">"),
                QStringLiteral("<tr>"),
                QStringLiteral("<td align=\"center\" valign=\"top\"><table border=\"") + QString::number(o.Border) +
                    QStringLiteral("\" cellpadding=\"0\" cellspacing=\"0\">"),
                QStringLiteral("<tr>"),
                QStringLiteral("<td><table border=\"0\" cellpadding=\"0\" cellspacing=\"0\">"),
                QStringLiteral("<tr>"),
                QStringLiteral("<td colspan=\"3\">&nbsp;</td>"),
                QStringLiteral("</tr>"),
                QStringLiteral("<tr>"),
                QStringLiteral("<td>&nbsp;</td>"),
                QStringLiteral("<td align=\"center\" width=\"") + W + QStringLiteral("\" height=\"") + H + QStringLiteral("\"><a href=\"") +
                    Html(item.Link) + QStringLiteral("\"><img src=\"") + Html(RelativeUrl(QFileInfo(item.Target).fileName())) +
                    QStringLiteral("\" alt=\"") + Html(name) + QStringLiteral("\" align=\"top\" width=\"") + QString::number(last.width()) +
                    QStringLiteral("\" height=\"") + QString::number(last.height()) + QStringLiteral("\"></a></td>"),
                QStringLiteral("<td>&nbsp;</td>"),
                QStringLiteral("</tr>"),
                QStringLiteral("<tr>"),
                QStringLiteral("<td colspan=\"3\">&nbsp;</td>"),
                QStringLiteral("</tr>"),
                QStringLiteral("</table>"),
                QStringLiteral("</td>"),
                QStringLiteral("</tr>"),
                QStringLiteral("</table>"),
                QStringLiteral("</td>"),
                QStringLiteral("</tr>"),
                QStringLiteral("<tr>"),
                QStringLiteral("<td valign=\"top\"><table border=\"0\" cellpadding=\"0\" cellspacing=\"0\">"),
                QStringLiteral("<tr>"),
                QStringLiteral("<td valign=\"top\" ") + align + QStringLiteral(" width=\"") + W + QStringLiteral("\">") + Html(label) +
                    QStringLiteral("</td>"),
                QStringLiteral("</tr>"),
                QStringLiteral("</table>"),
                QStringLiteral("</td>"),
                QStringLiteral("</tr>"),
                QStringLiteral("</table></td>"),
            };
            for (const QString& line : lines) h += NL + line;
            if ((s + 1) % o.Columns == 0 || s == count - 1) h += NL + QStringLiteral("</tr>");
        }
        h += NL + QStringLiteral("</table>") + NL + QStringLiteral("</center></div>") + NL + QStringLiteral("<p><hr>");
        if (pages > 1) {
            const QString index = o.IndexText.trimmed(), first = o.FirstText.trimmed();
            if (!index.isEmpty()) {
                h += NL + QStringLiteral("<p align=\"center\">") + NL + font + QStringLiteral(" <b>") + Html(index) +
                     QStringLiteral("</b>&nbsp;&nbsp;</font>");
                for (int k = 1; k <= pages; ++k) {
                    if (k == p) h += NL + font + QString::number(k) + QStringLiteral("</font></a>&nbsp");
                    else h += NL + QStringLiteral("<a HREF=\"") + page(k) + QStringLiteral("\">") + font + QString::number(k) + QStringLiteral("</font></a>&nbsp");
                }
                h += QStringLiteral("</p>");
            }
            h += NL + QStringLiteral("<p align=\"center\">");
            auto link = [&](int k, const QString& text) {
                return NL + QStringLiteral("&nbsp;[ <a HREF=\"") + page(k) + QStringLiteral("\">") + font + Html(text) + QStringLiteral("</font></a> ]");
            };
            if (!first.isEmpty()) {
                if (p == 1) h += NL + QStringLiteral("[ ") + font + Html(first) + QStringLiteral("</font></a> ]");
                else h += NL + QStringLiteral("[ <a HREF=\"") + page(1) + QStringLiteral("\">") + font + Html(first) + QStringLiteral("</font></a> ]");
            }
            if (!o.PrevText.isEmpty()) {
                if (p == 1) h += NL + QStringLiteral("&nbsp;[ ") + font + Html(o.PrevText) + QStringLiteral("</font> ]");
                else h += link(p - 1, o.PrevText);
            }
            if (!o.NextText.isEmpty()) {
                if (p == pages) h += NL + QStringLiteral("&nbsp;[ ") + font + Html(o.NextText) + QStringLiteral("</font> ]");
                else h += link(p + 1, o.NextText);
            }
            if (!o.LastText.isEmpty()) {
                if (p == pages) h += NL + QStringLiteral("&nbsp;[ ") + font + Html(o.LastText) + QStringLiteral("</font></a> ]");
                else h += link(pages, o.LastText);
            }
            h += NL + QStringLiteral("</p>");
        }
        h += NL + QStringLiteral("</body>") + NL + QStringLiteral("</html>");
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.write(h.toUtf8()) >= 0 && file.commit()) {
            result.Written << path;
        } else {
            result.Errors << QStringLiteral("Error in creating HTML file '") + path + QStringLiteral("': ") + file.errorString();
        }
    }
}

TBatchResult TBatchJob::Execute() {
    TBatchResult result;
    result.Total = int(FFiles.size());
    if (!FPrepared && !Prepare()) {
        result.Errors << FFatal;
        return result;
    }
    result.Cancelled = FCancelled;
    const bool simulate = !FAlbum && FBatch.Simulate;
    const int count = simulate ? 0 : FLimit;
    std::atomic<int> next{0};
    int done = 0;
    if (count > 0) {
        const int workers = Workers();
        const int cores = std::max(1, QThread::idealThreadCount());
        QThreadPool pool;
        pool.setMaxThreadCount(workers);
        for (int w = 0; w < workers; ++w)
            pool.start([&, workers, cores] {
                // The pool keeps the cores busy: resampling inside a worker takes its share only.
                const TResampleThreadLimit limit(std::max(1, cores / workers));
                for (;;) {
                    if (FStop) return;
                    const int i = next++;
                    if (i >= count) return;
                    if (FAlbum) RunAlbumItem(FItems[size_t(i)]);
                    else RunBatchItem(FItems[size_t(i)]);
                    const std::lock_guard<std::mutex> lock(FProgressLock);
                    ++done;
                    if (OnProgress) OnProgress(done, count);
                }
            });
        pool.waitForDone();
    }
    // Every file taken by a worker was finished, so the handled files are the first ones of the list.
    const int processed = simulate ? FLimit : std::min(next.load(), count);
    result.Processed = processed;
    result.Stopped = !simulate && processed < count;
    for (int i = 0; i < processed; ++i) {
        const TItem& item = FItems[size_t(i)];
        result.Errors << item.Errors;
        result.Written << item.Written;
        result.Skipped << item.Skipped;
        if (simulate && !item.TargetRefused) result.Simulation << QFileInfo(item.Target).fileName();
    }
    if (FAlbum) WritePages(processed, result);
    return result;
}
