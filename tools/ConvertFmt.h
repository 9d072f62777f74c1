// Writing a graphic in another format, chosen only by the target file's extension, with the per-format
// save options: still pictures, the animated paths (AVI clip or animated cursor to an animated GIF;
// animated GIF, animated WebP or animated cursor to an AVI clip) and the encrypted container; resizing
// into a box for thumbnails; and the rules of the window's two save commands.
#pragma once

#include "codec/Graphic.h"
#include "tools/FormatOption.h"

#include <QSize>
#include <QString>
#include <QStringList>

// The extensions ConvertGraphic writes: those of the save dialog, or also every other extension whose
// class writes its own format (the command line: PNM, WMF, CUR, SLD, JPEG, TIFF and their kin).
enum class TConvertTargets : quint8 { ctSaveDialog, ctAllWriters };

// The class that writes a still picture for the extension (with or without the dot, any case), or
// nullptr when there is none among the targets.
TGraphicClass ConvertTargetClass(const QString& extension, TConvertTargets targets = TConvertTargets::ctSaveDialog);
// The extensions of the targets, upper case, in the save dialog's order first.
QStringList ConvertTargetExtensions(TConvertTargets targets);

// What a caller may add to a conversion beyond the record.
struct TConvertSettings {
    TConvertTargets Targets = TConvertTargets::ctSaveDialog;
    // Writer option keys applied after the record (the command line's --option KEY=VALUE): to the writer
    // of a still picture or an encrypted image, to the GIF of the animated paths (with "transparent" and
    // "optimize-palette", 0/1, in place of the record's), to the AVI paths ("compress" 0/1,
    // "compressor" NAME, "quality" 1..100, "keyframes" N). A key the writer does not know raises
    // EUnknownSaveOption.
    QList<QPair<QString, QString>> WriterKeys;
};

// A save option key the writer does not know.
class EUnknownSaveOption : public EInvalidGraphicOperation {
public:
    EUnknownSaveOption(const QString& format, const QString& key)
        : EInvalidGraphicOperation(QStringLiteral("the %1 format has no option '%2'").arg(format, key)) {}
};

// Writes graphic to destFile in the format of destFile's extension. animated is true only for the
// window's "Save animated file as..." (an AVI clip or an animated cursor becomes an animated GIF that
// way); sourceFile is the file the graphic came from (may be empty). Drawings are drawn on backColor.
// The options of a format apply only when options.Kind names it; the GIF options of the animated paths
// apply whatever the Kind. Every file is written through a temporary file that replaces destFile only
// on success. Raises on failure (nothing, or an unchanged destFile, is left): "Unknown extension type",
// the AVI messages, the encoders' and file system's own messages.
void ConvertGraphic(TGraphic* graphic, const QString& destFile, const TPictureOption& options, bool animated,
                    TColor backColor, const QString& sourceFile, const TConvertSettings& settings = {});

// The resize option of ResizeAndSave: the filter of codec/Resample in the low four bits, and this bit to
// keep the aspect ratio.
constexpr quint8 kResizeKeepAspect = 16;

// The size a picture of size source takes in box: the box itself, or with keepAspect the largest size of
// the picture's proportions whose limiting side equals the box's, the other side computed in integers
// and at least 1 pixel (smaller pictures are enlarged). Raises EInvalidGraphicOperation for an empty box.
QSize ResizeTarget(QSize source, QSize box, bool keepAspect);
// Resizes graphic into size (see ResizeTarget) with the filter of resize and writes destFile as ".JPG" or
// ".GIF" with the JPEG or GIF options when Kind names them; size receives the size made. Raises "Unknown
// extension type" for any other extension.
void ResizeAndSave(TGraphic* graphic, const QString& destFile, const TPictureOption& options, TColor backColor,
                   quint8 resize, QSize& size);

// ---------------------------------------------------------------------------------------------------------
// The window's save commands: "&Save as..." (tag 0) and "Save &animated file as..." (tag 1).

// The pictures the save commands tell apart.
enum class TSaveSource : quint8 { ssStill, ssAnimatedGif, ssAnimatedCursor, ssVideo };
TSaveSource SaveSourceOf(const TGraphic* graphic);

// What the save dialog starts with: its filter ("description|pattern|..."), default extension and file
// name (the shown file's folder and name without its extension).
struct TSaveDialogSetup {
    QString Filter;
    QString DefaultExt;
    QString FileName;
};
TSaveDialogSetup SaveDialogSetup(int tag, TSaveSource source, const QString& shownFile);
// When the user picks filter filterIndex (1-based): the default extension and whether "&Option" is enabled.
QString SaveDialogDefaultExt(int tag, TSaveSource source, int filterIndex);
bool SaveDialogOptionEnabled(int tag, int filterIndex);
// "&Option" pressed: the record's Kind and GifAnimated for the filter chosen, before the options dialog.
void PrepareSaveOptions(TPictureOption& options, int tag, TSaveSource source, int filterIndex);

// The outcome the window shows: "File saved successfully" ("System Information") or "Cannot save file"
// ("Error"); Detail holds the error's own message.
struct TSaveResult {
    bool Saved = false;
    QString Message;
    QString Title;
    QString Detail;
};
// Saves the shown graphic under fileName (ConvertGraphic with Animated = tag 1). Saving over the shown
// file itself is safe: the file is replaced only once the new one is complete.
TSaveResult SavePictureAs(TGraphic* graphic, const QString& fileName, const TPictureOption& options, int tag,
                          TColor backColor, const QString& shownFile);
