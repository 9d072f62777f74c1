// lumenor-cli resize: a picture resampled into a box and written as JPEG or GIF, as the album's
// thumbnails are made.
#include "cli/Cli.h"

#include "tools/ConvertFmt.h"

namespace {

const char* const kFilters[] = {"none", "linear", "hermite", "bell", "bspline", "lanczos3", "mitchell"};

int CmdResize(const QStringList& args) {
    QStringList positional;
    QSize box;
    int filter = 0;
    bool aspect = false;
    TColor background = 0xFFFFFF;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--box")) {
            box = ParseSize(TakeValue(args, i));
        } else if (a == QLatin1String("--filter")) {
            const QString name = TakeValue(args, i).toLower();
            filter = -1;
            for (int f = 0; f < int(std::size(kFilters)); ++f)
                if (name == QLatin1String(kFilters[f]) || name == QString::number(f)) filter = f;
            if (filter < 0)
                throw TUsageError{QStringLiteral("unknown filter '%1' (none, linear, hermite, bell, bspline, lanczos3 or mitchell)").arg(name)};
        } else if (a == QLatin1String("--aspect")) {
            aspect = true;
        } else if (a == QLatin1String("--background")) {
            background = ParseColour(TakeValue(args, i));
        } else if (a.startsWith(QLatin1String("--"))) {
            throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
        } else {
            positional << a;
        }
    }
    if (positional.size() != 2) throw TUsageError{QStringLiteral("resize needs IN and OUT")};
    if (!box.isValid()) throw TUsageError{QStringLiteral("resize needs --box WxH")};
    const QString in = positional[0], out = positional[1];
    std::unique_ptr<TGraphic> source;
    try {
        source = LoadGraphic(in);
    } catch (const Exception& e) {
        Err() << "lumenor-cli: cannot open " << in << ": " << e.Message() << '\n';
        return 1;
    }
    QSize size = box;
    ResizeAndSave(source.get(), out, DefaultPictureOption, background, quint8(filter | (aspect ? kResizeKeepAspect : 0)), size);
    Out() << size.width() << 'x' << size.height() << '\n';
    return 0;
}

const TCliCommand kResize{
    "resize",
    "resize IN OUT --box WxH [--filter NAME] [--aspect]\n"
    "                                       resample IN into a box and write OUT as .jpg or .gif",
    "Usage: lumenor-cli resize IN OUT --box WxH [--filter NAME] [--aspect] [--background RRGGBB]\n"
    "\n"
    "Resamples IN into the box and writes OUT as JPEG (.jpg) or GIF (.gif), as the album's thumbnails are\n"
    "made; prints the size made (WIDTHxHEIGHT).\n"
    "\n"
    "  --box WxH             the size to make\n"
    "  --filter NAME         none (default: averaging, or repeating pixels when enlarging), linear,\n"
    "                        hermite, bell, bspline, lanczos3, mitchell\n"
    "  --aspect              keep the proportions: the limiting side fills the box\n"
    "  --background RRGGBB   the colour drawings and transparent parts are drawn on (default FFFFFF)\n",
    &CmdResize, 25};
const TCliCommandRegistrar kRegister(kResize);

} // namespace
