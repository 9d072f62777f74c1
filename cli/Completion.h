// Shell completion of lumenor-cli, made from the program itself: the command table (each command's
// name and the options and arguments its usage names), the writer option keys that convert's usage
// lists per extension, and the extensions of the format registry. The build writes the bash and zsh
// scripts and the commands of the manual page with `lumenor-cli --generate bash|zsh|man`, so they never drift from the commands.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

struct TCompletionOption {
    QString Name;          // "--page"
    QString Placeholder;   // "N", "KEY=VALUE"; empty for a switch
    QStringList Values;    // the values it takes, when the usage lists them ("90", "180", "270")
    QString Description;   // the first line of its description in the usage
    bool Repeatable = false;
    bool TakesValue() const { return !Placeholder.isEmpty(); }
};

// What a positional argument names, for completion.
enum class TCompletionArgKind { akPicture, akFile, akFolder, akNone };

struct TCompletionArgument {
    QString Placeholder; // "IN", "OUT.pdf", "DIR"
    TCompletionArgKind Kind = TCompletionArgKind::akNone;
    bool Repeats = false; // "FILE..."
};

struct TCompletionCommand {
    QString Name;
    QString Summary; // the one-line description of the overall usage
    QList<TCompletionArgument> Arguments;
    QList<TCompletionOption> Options;
};

struct TCompletionModel {
    QList<TCompletionCommand> Commands;
    QList<TCompletionOption> GlobalOptions;
    QMap<QString, QStringList> KeyValues;       // writer option key -> values listed for it (may be empty)
    QMap<QString, QStringList> KeysOfExtension; // "jpg" -> its writer option keys
    QMap<QString, QMap<QString, QStringList>> ValuesOfExtension; // "tif" -> "compression" -> its values
    QStringList Extensions;                     // lower-case extensions the program opens
};

// Options named in a usage text: every "--name", with the placeholder or list of values that follows it
// after one space, the description of its option line, and whether the synopsis repeats it ("[...]...").
QList<TCompletionOption> ParseUsageOptions(const QString& usage);
// Positional arguments of the synopsis line "Usage: lumenor-cli NAME ARG ARG [...]".
QList<TCompletionArgument> ParseUsageArguments(const QString& usage);
// The writer option keys of convert's usage table ("Formats written and their options").
void ParseWriterKeys(const QString& usage, TCompletionModel& model);
// The values a placeholder lists: "a|b|c" -> a, b, c; small integer ranges "0..3" -> 0, 1, 2, 3;
// placeholders such as N, WxH, RRGGBB give none.
QStringList PlaceholderValues(const QString& placeholder);

// The model of this program's command table (the formats must be initialised).
TCompletionModel CompletionModel(const QString& globalUsage);

QString BashCompletion(const TCompletionModel& model);
QString ZshCompletion(const TCompletionModel& model);

// The commands section of lumenor-cli(1): each command's usage as the program prints it, in roff.
QString ManPageCommands();
