// lumenor-cli effect: one step (or the whole run) of a slide-show transition, drawn as the slide show
// draws it.
#include "cli/Cli.h"

#include "codec/DibGraphic.h"
#include "codec/Registry.h"
#include "tools/Effects.h"

#include <QFileInfo>

namespace {

// A picture as the 24-bit bitmap a transition draws on: transparent parts lie on the background.
QImage LoadBitmap(const QString& fileName, TColor background) {
    std::unique_ptr<TGraphic> graphic = LoadGraphic(fileName);
    if (graphic->IsEmpty()) throw EInvalidGraphic(QStringLiteral("%1 holds no picture").arg(fileName));
    return graphic->ToImage(QSize(), background).convertToFormat(QImage::Format_RGB888);
}

int CmdEffect(const QStringList& args) {
    QStringList positional;
    int step = 4;
    quint64 seed = 0;
    TColor background = 0xFFFFFF;
    bool effectNumber = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--step")) {
            step = ParseInteger(a, TakeValue(args, i), 1, 100);
        } else if (a == QLatin1String("--seed")) {
            const QString value = TakeValue(args, i);
            bool ok = false;
            seed = value.toULongLong(&ok);
            if (!ok)
                throw TUsageError{QStringLiteral("--seed needs a number from 0 up, not '%1'").arg(value)};
        } else if (a == QLatin1String("--background")) {
            background = ParseColour(TakeValue(args, i));
        } else if (a == QLatin1String("--effectno")) {
            effectNumber = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
        } else {
            positional << a;
        }
    }
    if (positional.size() != 5)
        throw TUsageError{QStringLiteral("effect needs ID, PROGRESS, SRC, DST and OUT")};
    const int effectNo = effectNumber
                             ? ParseInteger(QStringLiteral("EffectNo"), positional[0], 0, 255)
                             : ParseInteger(QStringLiteral("ID"), positional[0], 0, kEffectCount - 1) + 1;
    std::vector<int> progress;
    if (positional[1] == QLatin1String("seq")) {
        for (int p = 0; p <= 100; p += step)
            progress.push_back(p);
        if (progress.back() != 100) progress.push_back(100);
    } else {
        progress.push_back(ParseInteger(QStringLiteral("PROGRESS"), positional[1], 0, 100));
    }
    const QString sourceName = positional[2], targetName = positional[3], out = positional[4];
    const QString ext = QFileInfo(out).suffix();
    TGraphicClass cls = GraphicClassByExtension(ext);
    if (!cls) throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(ext));

    QImage source, target;
    auto load = [&](const QString& name, QImage& image) {
        try {
            image = LoadBitmap(name, background);
            return true;
        } catch (const Exception& e) {
            Err() << "lumenor-cli: cannot open " << name << ": " << e.Message() << '\n';
            return false;
        }
    };
    if (!load(sourceName, source) || !load(targetName, target)) return 1;
    if (source.size() != target.size()) {
        Err() << "lumenor-cli: " << sourceName << " is " << source.width() << 'x' << source.height()
              << " but " << targetName << " is " << target.width() << 'x' << target.height()
              << ": the pictures of a transition have the same size\n";
        return 1;
    }
    TEffectRandom random(seed);
    const TEffectView view; // no window: nothing to invalidate
    for (int p : progress)
        DrawEffect(view, effectNo, source, target, p, step, random);

    std::unique_ptr<TGraphic> written = cls->Create();
    TImageGraphic result(target);
    written->Assign(result);
    written->SaveToFileName(out);
    return 0;
}

const TCliCommand kEffect{
    "effect",
    "effect ID PROGRESS SRC DST OUT [--step N] [--seed N] [--background RRGGBB] [--effectno]\n"
    "                                       draw one step of a slide-show transition from SRC onto DST",
    "Usage: lumenor-cli effect ID PROGRESS SRC DST OUT [--step N] [--seed N] [--background RRGGBB]\n"
    "                          [--effectno]\n"
    "\n"
    "Draws one step of a slide-show transition: DST is the picture shown now, SRC the new picture of the\n"
    "same size, and OUT receives DST after the step (in the format of OUT's extension). ID is the effect,\n"
    "0 to 137. PROGRESS is 0 to 100, or 'seq' to run the steps 0, N, 2N, ... and finally 100 on the same\n"
    "picture, as the slide show does; OUT then holds the last state.\n"
    "\n"
    "  --step N              the progress step, 1 to 100 (default 4): it sets the band of the bar\n"
    "                        effects, the reach of the diagonal blocks and the steps of 'seq'\n"
    "  --seed N              seed of the random effects (default 0): a seed always gives the same picture\n"
    "  --background RRGGBB   the colour behind transparent parts of SRC and DST (default FFFFFF)\n"
    "  --effectno            ID is the effect number instead, ID + 1: 0 is the plain cut (the whole\n"
    "                        picture at once) and 139 to 255 draw nothing\n",
    &CmdEffect, 60};
const TCliCommandRegistrar kRegister(kEffect);

} // namespace
