#include "cli/Cli.h"

#include "codec/DibGraphic.h"
#include "codec/Limits.h"
#include "codec/Registry.h"

#include <QColor>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
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

std::unique_ptr<TGraphic> LoadGraphic(const QString& fileName, int page) {
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
    graphic->LoadFromFileName(fileName);
    return graphic;
}

void ReportTruncated(const TGraphic& graphic, const QString& fileName) {
    if (!graphic.Truncated()) return;
    Err() << "lumenor-cli: " << fileName << " is truncated: the part that never arrived shows the background\n";
    Err().flush();
}

int PageCount(TGraphic& graphic, const QString& fileName) {
    auto* dib = dynamic_cast<TDibGraphic*>(&graphic);
    if (!dib) return 1;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return 1;
    return dib->GetPageCount(file);
}
