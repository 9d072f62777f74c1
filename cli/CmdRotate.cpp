// lumenor-cli rotate: a picture turned by quarter turns, a JPEG also without loss.
#include "cli/Cli.h"

#include "codec/DibGraphic.h"
#include "codec/Registry.h"
#include "tools/JpegTransform.h"
#include "tools/bmpRot.h"

#include <QFile>
#include <QFileInfo>

namespace {

int CmdRotate(const QStringList& args) {
    QStringList positional;
    int angle = 0;
    bool lossless = false, trim = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--angle")) {
            const QString value = TakeValue(args, i);
            if (value != QLatin1String("90") && value != QLatin1String("180") && value != QLatin1String("270"))
                throw TUsageError{QStringLiteral("--angle needs 90, 180 or 270, not '%1'").arg(value)};
            angle = value.toInt();
        } else if (a == QLatin1String("--lossless")) {
            lossless = true;
        } else if (a == QLatin1String("--trim")) {
            trim = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
        } else {
            positional << a;
        }
    }
    if (positional.size() != 2) throw TUsageError{QStringLiteral("rotate needs IN and OUT")};
    if (angle == 0) throw TUsageError{QStringLiteral("rotate needs --angle")};
    if (trim && !lossless) throw TUsageError{QStringLiteral("--trim goes with --lossless")};
    const QString in = positional[0], out = positional[1];
    const int turns = angle / 90;
    const QString ext = QFileInfo(out).suffix();
    const TGraphicClass cls = GraphicClassByExtension(ext);
    if (!cls) throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(ext));

    if (lossless) {
        if (cls->ClassName != QLatin1String("TJpegGraphic"))
            throw TUsageError{QStringLiteral("--lossless writes a JPEG file: OUT needs a JPEG extension, not .%1").arg(ext)};
        QFile file(in);
        if (!file.open(QIODevice::ReadOnly)) {
            Err() << "lumenor-cli: cannot open " << in << ": " << file.errorString() << '\n';
            return 1;
        }
        QByteArray head = file.read(3);
        if (!IsJpegData(head)) {
            Err() << "lumenor-cli: " << in << " is not a JPEG file; only a JPEG can be turned losslessly\n";
            return 1;
        }
        file.close();
        try {
            RotateJpegFile(in, out, turns, trim);
        } catch (const EImperfectTransform& e) {
            Err() << "lumenor-cli: " << in << ": " << e.Message() << " Give --trim to trim them.\n";
            return 1;
        }
        return 0;
    }

    std::unique_ptr<TGraphic> source;
    try {
        source = LoadGraphic(in);
    } catch (const Exception& e) {
        Err() << "lumenor-cli: cannot open " << in << ": " << e.Message() << '\n';
        return 1;
    }
    if (source->IsEmpty()) throw EInvalidGraphic(QStringLiteral("%1 holds no picture").arg(in));
    // Raster pictures keep their pixel format (two quarter turns make the half turn); drawings are drawn
    // at their own size on white first.
    const auto* dib = dynamic_cast<const TDibGraphic*>(source.get());
    QImage image = dib ? dib->Image() : source->ToImage(QSize(), 0xFFFFFF);
    for (int i = 0; i < turns; ++i)
        image = RotateQuarter(image, true);
    TImageGraphic turned(std::move(image));
    std::unique_ptr<TGraphic> target = cls->Create();
    target->Assign(turned);
    target->SaveToFileName(out);
    return 0;
}

const TCliCommand kRotate{
    "rotate",
    "rotate IN OUT --angle 90|180|270 [--lossless [--trim]]\n"
    "                                       turn a picture clockwise; a JPEG also without loss",
    "Usage: lumenor-cli rotate IN OUT --angle 90|180|270 [--lossless [--trim]]\n"
    "\n"
    "Turns IN clockwise by the angle, as viewers show it (a JPEG's EXIF orientation counts), and saves it\n"
    "in the format of OUT's extension. OUT may be IN: a file is replaced only once the new one is\n"
    "complete.\n"
    "\n"
    "  --angle 90|180|270   the turn, clockwise\n"
    "  --lossless           turn a JPEG without decoding it: its coded blocks are rearranged, every\n"
    "                       marker (EXIF, ICC profile, comments) is kept and the EXIF orientation is\n"
    "                       reset to 1. OUT must be a JPEG file. A JPEG whose size is not a whole\n"
    "                       number of its 8 or 16 pixel blocks on an edge the turn moves is refused\n"
    "  --trim               with --lossless: drop those partial blocks (a few rows or columns)\n",
    &CmdRotate, 35};
const TCliCommandRegistrar kRegister(kRotate);

} // namespace
