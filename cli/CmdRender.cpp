// lumenor-cli render: draws a picture, drawing or plot into a picture of a given size.
#include "cli/Cli.h"

#include "codec/DibGraphic.h"
#include "codec/Registry.h"

#include <QFileInfo>

namespace {

int CmdRender(const QStringList& args) {
    QStringList positional;
    QSize size;
    TColor background = 0xFFFFFF;
    int page = 1, frame = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--size"))
            size = ParseSize(TakeValue(args, i));
        else if (a == QLatin1String("--page"))
            page = ParsePositive(a, TakeValue(args, i));
        else if (a == QLatin1String("--frame"))
            frame = ParsePositive(a, TakeValue(args, i));
        else if (a == QLatin1String("--background"))
            background = ParseColour(TakeValue(args, i));
        else if (a.startsWith(QLatin1String("--")))
            throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
        else
            positional << a;
    }
    if (positional.size() != 2) throw TUsageError{QStringLiteral("render needs IN and OUT")};
    const QString in = positional[0], out = positional[1];
    const QString ext = QFileInfo(out).suffix();
    TGraphicClass cls = GraphicClassByExtension(ext);
    if (!cls) throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(ext));
    std::unique_ptr<TGraphic> target = cls->Create();
    std::unique_ptr<TGraphic> source;
    try {
        // Formats that can scale while decoding decode no more than the size drawn needs.
        source = LoadGraphic(in, page, size);
        if (frame) source->SelectFrame(frame);
    } catch (const Exception& e) {
        Err() << "lumenor-cli: cannot open " << in << ": " << e.Message() << '\n';
        return 1;
    }
    if (source->IsEmpty()) throw EInvalidGraphic(QStringLiteral("%1 holds no picture").arg(in));
    ReportTruncated(*source, in);
    TImageGraphic rendered(source->ToImage(size, background));
    target->Assign(rendered);
    target->SaveToFileName(out);
    return 0;
}

const TCliCommand kRender{
    "render",
    "render IN OUT [--size WxH] [--frame N] [--page N] [--background RRGGBB]\n"
    "                                       draw IN into a WxH picture (default: its own size) and save it",
    "Usage: lumenor-cli render IN OUT [--size WxH] [--frame N] [--page N] [--background RRGGBB]\n"
    "\n"
    "Draws IN into a WxH picture and saves it in the format of OUT's extension: drawings and plots are\n"
    "drawn at that scale, raster pictures stretched. Default size: the picture's own. A file cut short is\n"
    "drawn as far as it goes and said to be truncated on stderr.\n"
    "\n"
    "  --size WxH            the size of the picture drawn\n"
    "  --frame N             the frame of an animation (from 1)\n"
    "  --page N              the page of a multi-page file (from 1)\n"
    "  --background RRGGBB   the colour behind the picture (default FFFFFF)\n",
    &CmdRender, 30};
const TCliCommandRegistrar kRegister(kRender);

} // namespace
