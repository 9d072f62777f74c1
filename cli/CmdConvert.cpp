// lumenor-cli convert: a picture into the format named by the target's extension.
#include "cli/Cli.h"

#include "codec/Registry.h"
#include "formats/raster/cif.h"

#include <QFileInfo>

namespace {

std::unique_ptr<TGraphic> CreateTarget(const QString& out) {
    const QString ext = QFileInfo(out).suffix();
    TGraphicClass cls = GraphicClassByExtension(ext);
    if (!cls) throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(ext));
    return cls->Create();
}

int CmdConvert(const QStringList& args) {
    QStringList positional;
    int page = 1, frame = 0;
    QList<QPair<QString, QString>> options;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--page"))
            page = ParsePositive(a, TakeValue(args, i));
        else if (a == QLatin1String("--frame"))
            frame = ParsePositive(a, TakeValue(args, i));
        else if (a == QLatin1String("--cipher"))
            options.append({QStringLiteral("cipher"), TakeValue(args, i)});
        else if (a == QLatin1String("--case-sensitive"))
            options.append({QStringLiteral("case-sensitive"), QStringLiteral("1")});
        else if (a == QLatin1String("--option"))
            options.append(ParseKeyValue(a, TakeValue(args, i)));
        else if (a.startsWith(QLatin1String("--")))
            throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
        else
            positional << a;
    }
    if (positional.size() != 2) throw TUsageError{QStringLiteral("convert needs IN and OUT")};
    const QString in = positional[0], out = positional[1];
    std::unique_ptr<TGraphic> target = CreateTarget(out);
    if (auto* cif = dynamic_cast<TCIFGraphic*>(target.get())) {
        const std::optional<QString> password = GivenPassword();
        if (!password) throw TUsageError{QStringLiteral("an encrypted file needs --password")};
        options.prepend({QStringLiteral("password"), *password});
        cif->SetPlainFileName(in);
        if (!QFileInfo(in).isFile()) {
            Err() << "lumenor-cli: cannot open " << in << ": The file does not exist\n";
            return 1;
        }
    }
    for (const auto& [key, value] : options)
        if (!target->SetSaveOption(key, value))
            throw TUsageError{QStringLiteral("the %1 format has no option '%2'").arg(target->ClassName(), key)};
    if (dynamic_cast<TCIFGraphic*>(target.get())) {
        target->SaveToFileName(out); // the container holds IN's bytes unchanged
        return 0;
    }
    std::unique_ptr<TGraphic> source;
    try {
        source = LoadGraphic(in, page);
        if (frame) source->SelectFrame(frame);
    } catch (const Exception& e) {
        Err() << "lumenor-cli: cannot open " << in << ": " << e.Message() << '\n';
        return 1;
    }
    target->Assign(*source);
    target->SaveToFileName(out); // through a temporary file: a failure leaves OUT as it was
    return 0;
}

const TCliCommand kConvert{
    "convert",
    "convert IN OUT [--page N] [--frame N] [--option KEY=VALUE]...\n"
    "                                       convert IN to the format named by OUT's extension",
    "Usage: lumenor-cli convert IN OUT [--page N] [--frame N] [--option KEY=VALUE]...\n"
    "       lumenor-cli --password P convert IN OUT.cif [--cipher blowfish|twofish|cast128|rijndael]\n"
    "                   [--case-sensitive]\n"
    "\n"
    "Converts IN into the format named by OUT's extension. OUT is written through a temporary file, so a\n"
    "failure never leaves a half-written or damaged OUT.\n"
    "\n"
    "  --page N              the page of a multi-page file (from 1)\n"
    "  --frame N             the frame of an animation (from 1)\n"
    "  --option KEY=VALUE    a save option of the target format (quality=85, progressive=1, ...)\n"
    "  --cipher NAME         the cipher of an encrypted container (OUT.cif holds IN's bytes)\n"
    "  --case-sensitive      the container's password is case-sensitive\n",
    &CmdConvert, 20};
const TCliCommandRegistrar kRegister(kConvert);

} // namespace
