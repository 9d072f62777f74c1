#include "cli/Cli.h"

#include "codec/DibGraphic.h"
#include "codec/Limits.h"
#include "codec/Registry.h"

#include <QColor>
#include <QFile>
#include <QFileInfo>

#include <QElapsedTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <vector>

QTextStream& Out() {
    static QTextStream s(stdout);
    return s;
}
QTextStream& Err() {
    static QTextStream s(stderr);
    return s;
}

namespace {
std::vector<const TCliCommand*>& Table() {
    static std::vector<const TCliCommand*> table;
    return table;
}
} // namespace

TCliCommandRegistrar::TCliCommandRegistrar(const TCliCommand& command) { Table().push_back(&command); }

const TCliCommand* FindCliCommand(const QString& name) {
    for (const TCliCommand* c : Table())
        if (name == QLatin1String(c->Name)) return c;
    return nullptr;
}

QList<const TCliCommand*> CliCommands() {
    QList<const TCliCommand*> list(Table().begin(), Table().end());
    std::stable_sort(list.begin(), list.end(), [](const TCliCommand* a, const TCliCommand* b) { return a->Order < b->Order; });
    return list;
}

QSize ParseSize(const QString& text) {
    const QStringList parts = text.toLower().split(QLatin1Char('x'));
    bool okW = false, okH = false;
    if (parts.size() == 2) {
        const int w = parts[0].toInt(&okW), h = parts[1].toInt(&okH);
        if (okW && okH && w > 0 && h > 0) {
            CheckPictureSize(w, h);
            return QSize(w, h);
        }
    }
    throw TUsageError{QStringLiteral("invalid size '%1' (expected WIDTHxHEIGHT)").arg(text)};
}

int ParsePositive(const QString& option, const QString& text) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 1) throw TUsageError{QStringLiteral("%1 needs a number from 1 up, not '%2'").arg(option, text)};
    return n;
}

int ParseInteger(const QString& option, const QString& text, int low, int high) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < low || n > high)
        throw TUsageError{QStringLiteral("%1 needs a number from %2 to %3, not '%4'").arg(option).arg(low).arg(high).arg(text)};
    return n;
}

QString TakeValue(const QStringList& args, int& i) {
    if (i + 1 >= args.size()) throw TUsageError{QStringLiteral("%1 needs a value").arg(args[i])};
    return args[++i];
}

TColor ParseColour(const QString& text) {
    QString t = text;
    if (t.startsWith(QLatin1Char('#'))) t.remove(0, 1);
    bool ok = false;
    const uint rgb = t.toUInt(&ok, 16);
    if (!ok || t.size() != 6) throw TUsageError{QStringLiteral("invalid colour '%1' (expected RRGGBB)").arg(text)};
    return FromQColor(QColor::fromRgb(rgb));
}

QPair<QString, QString> ParseKeyValue(const QString& option, const QString& text) {
    const int eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0) throw TUsageError{QStringLiteral("%1 needs KEY=VALUE, not '%2'").arg(option, text)};
    return {text.left(eq), text.mid(eq + 1)};
}

std::unique_ptr<TGraphic> LoadGraphic(const QString& fileName, int page, QSize loadSize) {
    if (!QFileInfo::exists(fileName)) throw EInvalidGraphic(QStringLiteral("The file does not exist"));
    std::unique_ptr<TGraphic> graphic = CreateGraphicFor(fileName);
    if (auto* dib = dynamic_cast<TDibGraphic*>(graphic.get())) {
        if (page > 1) {
            QFile file(fileName);
            if (!file.open(QIODevice::ReadOnly)) throw EInvalidGraphic(file.errorString());
            const int pages = dib->GetPageCount(file);
            if (page > pages)
                throw EInvalidGraphicOperation(QStringLiteral("Page %1 does not exist (the file has %2)").arg(page).arg(pages));
        }
        dib->SetPageIndex(page);
    } else if (page > 1) {
        throw EInvalidGraphicOperation(QStringLiteral("The %1 format has no pages").arg(graphic->ClassName()));
    }
    graphic->SetLoadSize(loadSize);
    graphic->LoadFromFileName(fileName);
    return graphic;
}

void ReportTruncated(const TGraphic& graphic, const QString& fileName) {
    if (!graphic.Truncated()) return;
    Err() << "lumenor-cli: " << fileName << " is truncated: the part that never arrived shows the background\n";
    Err().flush();
}

QStringList ReadFileList(const QString& fileName) {
    QFile file;
    if (fileName == QLatin1String("-")) {
        if (!file.open(stdin, QIODevice::ReadOnly)) throw EReadError(QStringLiteral("cannot read the list from standard input"));
    } else {
        file.setFileName(fileName);
        if (!file.open(QIODevice::ReadOnly))
            throw EReadError(QStringLiteral("cannot read the list %1: %2").arg(fileName, file.errorString()));
    }
    QStringList files;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
        if (!line.isEmpty()) files << QString::fromUtf8(line);
    }
    return files;
}

namespace {
std::atomic<TBatchJob*> GRunningJob{nullptr};

void StopRunningJob(int) {
    if (TBatchJob* job = GRunningJob.load()) job->Stop();
    // A second Ctrl-C ends the process at once.
    std::signal(SIGINT, SIG_DFL);
}
} // namespace

int RunBatchJob(TBatchJob& job) {
    if (!job.Prepare()) {
        Err() << "lumenor-cli: " << job.FatalError() << '\n';
        return 1;
    }
    const bool terminal = isatty(STDOUT_FILENO);
    QElapsedTimer clock;
    clock.start();
    if (terminal)
        job.OnProgress = [&](int done, int total) {
            const QString left = BatchTimeLeft(clock.elapsed(), done, total);
            Out() << '\r' << done << '/' << total;
            if (!left.isEmpty()) Out() << ", " << left << " left";
            Out() << "\x1b[K";
            Out().flush();
        };
    GRunningJob = &job;
    const auto previous = std::signal(SIGINT, StopRunningJob);
    const TBatchResult result = job.Execute();
    std::signal(SIGINT, previous);
    GRunningJob = nullptr;
    if (terminal && result.Processed > 0) Out() << '\n';
    for (const QString& name : result.Simulation) Out() << name << '\n';
    Out().flush();
    for (const QString& line : result.Errors) Err() << "lumenor-cli: " << line << '\n';
    for (const QString& kept : result.Skipped) Err() << "lumenor-cli: kept the existing file " << kept << " (--overwrite replaces it)\n";
    if (result.Stopped) Err() << "lumenor-cli: stopped after " << result.Processed << " of " << result.Total << " files\n";
    return result.Errors.isEmpty() && !result.Stopped ? 0 : 1;
}
