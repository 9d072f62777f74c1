// Batch conversion and renaming of many pictures, and the HTML album: the renaming and renumbering rules,
// the run itself (conversions on a thread pool, stopping after the files in progress) and the album's
// pages. The batch dialog, the album dialog and lumenor-cli's batch and album commands all drive a
// TBatchJob.
//
// A job runs in two steps. Prepare works out every file's target in list order on the caller's thread:
// it refuses invalid new names and collisions (two files of the list mapping to one target, a target
// that is another file of the list) and asks the overwrite question for existing targets. Execute then
// converts on a thread pool and, for an album, writes the pages. The outcome (error lines in list order,
// files written) does not depend on the number of workers.
#pragma once

#include "codec/Graphic.h"
#include "tools/ConvertFmt.h"
#include "tools/FormatOption.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

// ---------------------------------------------------------------------------------------------------------
// Renaming. Every rule maps a file name (without its folder) to a new file name.

enum class TReplaceMode : quint8 { rmFirst, rmAll };
enum class TExtChange : quint8 { ecRename, ecAdd };
enum class TCaseChange : quint8 { ccNone, ccUpper, ccLower };
// "&While adding #'s": "Keep File Name and Ext.", "Remove File Name", "Remove Ext.".
enum class TNumberKeep : quint8 { nkKeep, nkRemoveName, nkRemoveExt };

// "Rename optio&ns".
struct TTextRename {
    QString Prefix;
    QString Suffix;
    QString SearchFor;
    QString ReplaceWith;
    TReplaceMode ReplaceMode = TReplaceMode::rmFirst;
    bool CaseSensitive = false;
    QString Extension; // without the dot; empty: unchanged
    TExtChange ExtChange = TExtChange::ecRename;
    TCaseChange Case = TCaseChange::ccNone;
};

// "Renum&ber options": the texts of the edits as typed (a numeric field that is empty or not a number
// counts as 0).
struct TNumberRename {
    QString Step; // "&Increase by"
    QString Prefix;
    QString Suffix;
    QString Ext;
    QString From;
    QString To;
    QString ReplaceWith;
    QString Leading;
    QString Tailing;
    TNumberKeep Keep = TNumberKeep::nkKeep;
};

enum class TRenameKind : quint8 {
    rkText,    // the text rules
    rkNumber,  // the renumbering rules
    rkPattern, // a name pattern: '*' the old name without its extension, a run of '#' the number index + 1
               // with at least as many digits as the run; without a '.' the old extension is kept
};

struct TRenameRule {
    TRenameKind Kind = TRenameKind::rkText;
    TTextRename Text;
    TNumberRename Number;
    QString Pattern;
};

// The new name of the file fileName (no folder) by the text rules.
QString RenameByText(const QString& fileName, const TTextRename& rule);
// The new name of the file fileName (no folder), the list's entry index, by the renumbering rules.
QString Renumber(const QString& fileName, qint64 index, const TNumberRename& rule);
// The new name by a name pattern.
QString RenameByPattern(const QString& fileName, qint64 index, const QString& pattern);
QString ApplyRename(const QString& fileName, qint64 index, const TRenameRule& rule);

// ---------------------------------------------------------------------------------------------------------
// Options of a run.

// "Convert only", "Rename only", "Convert & Rename".
enum class TBatchAction : quint8 { baConvert, baRename, baConvertRename };

struct TBatchOptions {
    TBatchAction Action = TBatchAction::baConvert;
    QString TargetExt = QStringLiteral(".JPG"); // with the dot, written as given
    TRenameRule Rename;
    QString OutputDir; // empty: the source's own folder
    bool Overwrite = false;
    bool DeleteSource = false;
    bool Simulate = false;
    TPictureOption Picture = DefaultPictureOption;
    TConvertSettings Convert;
    TColor BackColor = 0xFFFFFF;
    qint64 FirstIndex = 0; // the index of the list's first file in the renaming rules
    int Workers = 0;       // 0: one per core
};

enum class TAlbumLabel : quint8 { alName, alSize, alNameSize, alNameNoExt, alIndex, alAbsoluteIndex, alText };
enum class TAlbumAlign : quint8 { aaLeft, aaCenter, aaRight };

// The five page colours, as the swatches show them (red in the low byte).
enum TPageColorIndex { pcBackground, pcText, pcLinks, pcVisitedLinks, pcActiveLinks };
using TPageColors = std::array<TColor, 5>;
// "Background", "Text", "Links", "Visited Links", "Active Links".
const QStringList& PageColorNames();
// The defaults, which pages write as FFFFFF, 990000, 660066, CC99CC and 99FF33.
extern const TPageColors DefaultPageColors;
// The colour as a page writes it: six upper-case hexadecimal digits, red first.
QString PageColorText(TColor colour);

struct TAlbumOptions {
    QString OutputDir;                          // must exist
    QString ThumbnailExt = QStringLiteral(".JPG"); // ".JPG" or ".GIF"
    QSize Box{128, 96};
    bool FixAspect = true;
    int Filter = 0; // TResampleFilter
    TAlbumLabel Label = TAlbumLabel::alName;
    QString LabelText; // alText
    int Border = 0;
    TAlbumAlign Align = TAlbumAlign::aaCenter;
    int Columns = 5;
    int Rows = 4;
    QString Title;
    QString BaseName = QStringLiteral("Page");
    TPageColors Colors = DefaultPageColors;
    bool Optimize = false; // no line breaks
    QString PrevText = QStringLiteral("Previous");
    QString NextText = QStringLiteral("Next");
    QString IndexText = QStringLiteral("Page:");
    QString FirstText = QStringLiteral("First");
    QString LastText = QStringLiteral("Last");
    bool CopySource = true;
    bool DeleteSource = false;
    bool Overwrite = false;
    TPictureOption Picture = DefaultPictureOption;
    TColor BackColor = 0xFFFFFF;
    int Workers = 0;
};

// The name of album page n: the trimmed base name followed by n formatted "_%.3d.htm".
QString AlbumPageName(const QString& baseName, int page);

// ---------------------------------------------------------------------------------------------------------
// The run.

// The overwrite question's buttons: "&Yes", "&No", "Cancel", "N&o to All", "Yes to &All".
enum class TOverwriteAnswer : quint8 { oaYes, oaNo, oaCancel, oaNoToAll, oaYesToAll };

struct TBatchResult {
    QStringList Errors;     // one line per failure, in list order (page errors last)
    QStringList Simulation; // the targets' file names of a simulated run, in list order
    QStringList Written;    // files made (targets, thumbnails, copies, pages), in list order
    QStringList Skipped;    // existing targets that were kept
    int Total = 0;          // files in the list
    int Processed = 0;      // files handled (the first Processed of the list)
    bool Stopped = false;   // Stop ended the run early
    bool Cancelled = false; // Cancel in the overwrite question ended it
};

class TBatchJob {
public:
    TBatchJob(const QStringList& files, const TBatchOptions& options);
    TBatchJob(const QStringList& files, const TAlbumOptions& options);
    ~TBatchJob();

    // Asked for every existing target unless the options overwrite; without it existing targets are kept.
    std::function<TOverwriteAnswer(const QString& fileName)> AskOverwrite;
    // Called after every file with the number done and the total, from the workers (one call at a time).
    std::function<void(int done, int total)> OnProgress;

    // Works out the targets and asks the overwrite questions, on the calling thread. False when the run
    // cannot start at all (FatalError says why).
    bool Prepare();
    QString FatalError() const { return FFatal; }
    // Converts (or renames, or makes the album) on a thread pool; blocks until done. Call once, after
    // Prepare.
    TBatchResult Execute();
    // Ends the run after the files in progress; safe from any thread.
    void Stop() { FStop = true; }
    bool Stopping() const { return FStop; }

    int Workers() const;

private:
    struct TItem;
    void PrepareBatch();
    void PrepareAlbum();
    bool Decide(TItem& item, const QString& target, bool& write);
    void RunBatchItem(TItem& item);
    void RunAlbumItem(TItem& item);
    void WritePages(int count, TBatchResult& result);

    bool FAlbum = false;
    QStringList FFiles;
    TBatchOptions FBatch;
    TAlbumOptions FAlbumOptions;
    std::vector<TItem> FItems;
    int FLimit = 0; // files to handle (less than the list after Cancel)
    bool FCancelled = false;
    int FAnswerAll = 0; // 1 "N&o to All", 2 "Yes to &All"
    bool FPrepared = false;
    QString FFatal;
    std::atomic<bool> FStop{false};
    std::mutex FProgressLock;
};

// The message shown at the end of a run: action word + " finished successfully", or "There are errors in "
// + action word + " process:" followed by the error lines, each after a carriage return.
QString BatchFinalMessage(const QString& actionWord, const QStringList& errors);
// "Convert", "Rename", "Convert && Rename"; "Making Album".
QString BatchActionWord(TBatchAction action);
// The time a run still needs after done of total files in elapsedMs, as "H:MM:SS" or "M:SS"; empty
// before the first file.
QString BatchTimeLeft(qint64 elapsedMs, int done, int total);
