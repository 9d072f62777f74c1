// lumenor-cli print: the printed page of a picture, written as a one-page PDF file.
#include "cli/Cli.h"

#include "tools/PageOpt.h"

#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>

#include <cmath>

namespace {

// A number of inches or millimetres: finite, from 0 up to a sheet no printer ever takes.
float ParseLength(const QString& option, const QString& text, double largest) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0 || value > largest)
        throw TUsageError{
            QStringLiteral("%1 needs a number from 0 to %2, not '%3'").arg(option).arg(largest).arg(text)};
    return float(value);
}

// "A4", "Letter" or "WxHmm".
QPageSize ParsePaper(const QString& text) {
    if (text.compare(QLatin1String("A4"), Qt::CaseInsensitive) == 0) return QPageSize(QPageSize::A4);
    if (text.compare(QLatin1String("Letter"), Qt::CaseInsensitive) == 0) return QPageSize(QPageSize::Letter);
    static const QRegularExpression mm(QStringLiteral("^([0-9.]+)x([0-9.]+)mm$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = mm.match(text);
    if (m.hasMatch()) {
        bool okW = false, okH = false;
        const double w = m.captured(1).toDouble(&okW), h = m.captured(2).toDouble(&okH);
        // From a centimetre up to five metres.
        if (okW && okH && w >= 10 && h >= 10 && w <= 5000 && h <= 5000)
            return QPageSize(QSizeF(w, h), QPageSize::Millimeter);
    }
    throw TUsageError{
        QStringLiteral("invalid paper '%1' (expected A4, Letter or WIDTHxHEIGHTmm, 10 to 5000 mm)")
            .arg(text)};
}

int CmdPrint(const QStringList& args) {
    QStringList positional;
    TPageOption option;
    QPageSize paper(QPageSize::A4);
    int dpi = 600;
    bool modeGiven = false, sizeGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--paper")) {
            paper = ParsePaper(TakeValue(args, i));
        } else if (a == QLatin1String("--dpi")) {
            dpi = ParseInteger(a, TakeValue(args, i), 1, 9600);
        } else if (a == QLatin1String("--mode")) {
            option.SizeMode = quint8(ParseInteger(a, TakeValue(args, i), 0, 3));
            modeGiven = true;
        } else if (a == QLatin1String("--size")) {
            const QString value = TakeValue(args, i);
            QString size = value;
            if (size.endsWith(QLatin1String("in"), Qt::CaseInsensitive)) size.chop(2);
            const QStringList parts = size.split(QLatin1Char('x'), Qt::KeepEmptyParts, Qt::CaseInsensitive);
            if (parts.size() != 2)
                throw TUsageError{QStringLiteral("invalid size '%1' (expected WIDTHxHEIGHTin)").arg(value)};
            option.SpecWidth = ParseLength(a, parts[0], 1000);
            option.SpecHeight = ParseLength(a, parts[1], 1000);
            sizeGiven = true;
        } else if (a == QLatin1String("--position")) {
            option.Position = quint8(ParseInteger(a, TakeValue(args, i), 0, 8));
        } else if (a == QLatin1String("--margins")) {
            const QString value = TakeValue(args, i);
            const QStringList parts = value.split(QLatin1Char(','));
            if (parts.size() != 4)
                throw TUsageError{
                    QStringLiteral("invalid margins '%1' (expected LEFT,TOP,RIGHT,BOTTOM in inches)")
                        .arg(value)};
            option.MarginLeft = ParseLength(a, parts[0], 1000);
            option.MarginTop = ParseLength(a, parts[1], 1000);
            option.MarginRight = ParseLength(a, parts[2], 1000);
            option.MarginBottom = ParseLength(a, parts[3], 1000);
        } else if (a == QLatin1String("--header")) {
            option.HeaderText = TakeValue(args, i);
        } else if (a == QLatin1String("--footer")) {
            option.FooterText = TakeValue(args, i);
        } else if (a.startsWith(QLatin1String("--"))) {
            throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
        } else {
            positional << a;
        }
    }
    if (positional.size() != 2) throw TUsageError{QStringLiteral("print needs IN and OUT.pdf")};
    const QString in = positional[0], out = positional[1];
    if (QFileInfo(out).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
        throw TUsageError{QStringLiteral("print writes PDF files: OUT must end in .pdf")};
    // A size alone asks for that size.
    if (sizeGiven && !modeGiven) option.SizeMode = TPageOption::smSpecified;

    std::unique_ptr<TGraphic> graphic;
    try {
        graphic = LoadGraphic(in);
    } catch (const Exception& e) {
        Err() << "lumenor-cli: cannot open " << in << ": " << e.Message() << '\n';
        return 1;
    }
    if (graphic->IsEmpty()) throw EInvalidGraphic(QStringLiteral("%1 holds no picture").arg(in));

    QSaveFile file(out);
    if (!file.open(QIODevice::WriteOnly))
        throw EWriteError(QStringLiteral("Cannot write %1: %2").arg(out, file.errorString()));
    {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("Lumenor"));
        writer.setTitle(PrintJobTitle(QFileInfo(in).absoluteFilePath()));
        writer.setResolution(dpi);
        // The whole sheet is printable; the page options set the margins.
        writer.setPageLayout(QPageLayout(paper, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        PrintPicture(writer, option, *graphic, 1.0, 0xFFFFFF);
    }
    if (!file.commit()) throw EWriteError(QStringLiteral("Cannot write %1: %2").arg(out, file.errorString()));
    return 0;
}

const TCliCommand kPrint{
    "print",
    "print IN OUT.pdf [--paper A4|Letter|WxHmm] [--dpi N] [--mode 0..3] [--size WxHin] [--position 0..8]\n"
    "          [--margins l,t,r,b] [--header TEXT] [--footer TEXT]\n"
    "                                       print IN on one page of a PDF file",
    "Usage: lumenor-cli print IN OUT.pdf [--paper A4|Letter|WxHmm] [--dpi N] [--mode 0..3] [--size WxHin]\n"
    "                         [--position 0..8] [--margins l,t,r,b] [--header TEXT] [--footer TEXT]\n"
    "\n"
    "Prints IN on one page of OUT.pdf as the page setup lays it out: drawings and plots as lines at the\n"
    "page's resolution, raster pictures as their pixels stretched into place.\n"
    "\n"
    "  --paper A4|Letter|WxHmm   the sheet (default A4), the whole of it printable\n"
    "  --dpi N                   the page's resolution in pixels per inch (default 600)\n"
    "  --mode 0..3               0 the size on screen (default), 1 full page keeping the aspect ratio,\n"
    "                            2 the size given with --size, 3 stretched to the page\n"
    "  --size WxHin              the size of mode 2 in inches (--size alone selects mode 2)\n"
    "  --position 0..8           top-left, top-centre, top-right, middle-left, centre, middle-right,\n"
    "                            bottom-left, bottom-centre, bottom-right (default 0)\n"
    "  --margins l,t,r,b         left, top, right and bottom margins in inches (default 0,0,0,0)\n"
    "  --header TEXT             a line above the picture\n"
    "  --footer TEXT             a line below the picture\n",
    &CmdPrint, 80};
const TCliCommandRegistrar kRegister(kPrint);

} // namespace
