// Shared parts of lumenor-cli: output streams, argument parsing, loading, and the command table each
// subcommand registers itself in (one file per command: cli/Cmd<Name>.cpp).
#pragma once

#include "codec/Graphic.h"
#include "tools/BatchConv.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <memory>
#include <optional>

QTextStream& Out();
QTextStream& Err();

// A mistake in the command line: reported with a hint to --help, exit status 2.
struct TUsageError {
    QString Message;
};

// One subcommand. Usage is the text `COMMAND --help` prints: a synopsis line, then the arguments.
struct TCliCommand {
    const char* Name;
    const char* Summary; // one line for the overall usage
    const char* Usage;
    int (*Run)(const QStringList& args);
    int Order; // place in the overall usage
};

// Adds a command to the table; used through a file-level static in each command's file.
struct TCliCommandRegistrar {
    explicit TCliCommandRegistrar(const TCliCommand& command);
};
const TCliCommand* FindCliCommand(const QString& name);
// Every command, in usage order.
QList<const TCliCommand*> CliCommands();

// Parses "WxH" (both from 1 up, within the pixel limit).
QSize ParseSize(const QString& text);
// A number from 1 up for the option named.
int ParsePositive(const QString& option, const QString& text);
// An integer in [low, high] for the option named.
int ParseInteger(const QString& option, const QString& text, int low, int high);
// The value of the option at args[i]; advances i.
QString TakeValue(const QStringList& args, int& i);
// "RRGGBB" or "#RRGGBB".
TColor ParseColour(const QString& text);
// "KEY=VALUE".
QPair<QString, QString> ParseKeyValue(const QString& option, const QString& text);

// The password given with --password, if any.
std::optional<QString> GivenPassword();

// Loads a file through the registry (content first, then extension), on the given page (1-based).
std::unique_ptr<TGraphic> LoadGraphic(const QString& fileName, int page = 1, QSize loadSize = QSize());
// Says on stderr that the file was cut short, when its graphic says so (the picture keeps its size, and
// what never arrived shows the background).
void ReportTruncated(const TGraphic& graphic, const QString& fileName);

// The overall usage: the commands of the table and the options common to all of them.
QString CliUsage();
// The file names of a list, one a line (empty lines are skipped); "-" reads standard input.
QStringList ReadFileList(const QString& fileName);
// Prepares and runs a batch or album job: a progress line on a terminal, Ctrl-C ends the run after the
// files in progress. Prints every error line and kept file on stderr; returns the exit status (1 when
// any file failed or the run was stopped).
int RunBatchJob(TBatchJob& job);
