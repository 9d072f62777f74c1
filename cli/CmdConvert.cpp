// lumenor-cli convert: a picture, drawing or animation into the format named by the target's extension,
// through the same conversion as the window's save commands.
#include "cli/Cli.h"

#include "codec/Registry.h"
#include "platform/VideoBackend.h"
#include "platform/VideoFile.h"
#include "tools/ConvertFmt.h"

#include <QFileInfo>

namespace {

int CmdConvert(const QStringList& args) {
    QStringList positional;
    int page = 1, frame = 0;
    bool animated = false;
    TColor background = 0xFFFFFF;
    TConvertSettings settings;
    settings.Targets = TConvertTargets::ctAllWriters;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--page"))
            page = ParsePositive(a, TakeValue(args, i));
        else if (a == QLatin1String("--frame"))
            frame = ParsePositive(a, TakeValue(args, i));
        else if (a == QLatin1String("--animated"))
            animated = true;
        else if (a == QLatin1String("--background"))
            background = ParseColour(TakeValue(args, i));
        else if (a == QLatin1String("--cipher"))
            settings.WriterKeys.append({QStringLiteral("cipher"), TakeValue(args, i)});
        else if (a == QLatin1String("--case-sensitive"))
            settings.WriterKeys.append({QStringLiteral("case-sensitive"), QStringLiteral("1")});
        else if (a == QLatin1String("--option"))
            settings.WriterKeys.append(ParseKeyValue(a, TakeValue(args, i)));
        else if (a == QLatin1String("--list-compressors")) {
            const QList<TVideoEncoderInfo> encoders = VideoEncoders(QSize(320, 240));
            if (encoders.isEmpty()) {
                Err() << "lumenor-cli: " << VideoSupportError() << '\n';
                return 1;
            }
            for (const TVideoEncoderInfo& e : encoders)
                Out() << (e.Name.isEmpty() ? QStringLiteral("(none)") : e.Name) << '\t' << e.Description << '\n';
            return 0;
        } else if (a.startsWith(QLatin1String("--")))
            throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
        else
            positional << a;
    }
    if (positional.size() != 2) throw TUsageError{QStringLiteral("convert needs IN and OUT")};
    const QString in = positional[0], out = positional[1];
    const QString ext = QFileInfo(out).suffix().toUpper();

    // Extensions nothing writes are refused before anything is read.
    const bool writable = ConvertTargetClass(ext, settings.Targets) || ext == QLatin1String("CIF") || ext == QLatin1String("AVI");
    if (!writable) {
        if (!GraphicClassByExtension(ext))
            throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(QFileInfo(out).suffix()));
        throw EInvalidGraphic(QStringLiteral("Cannot write .%1 files: the format can be read, not written").arg(QFileInfo(out).suffix()));
    }
    if (ext == QLatin1String("CIF")) {
        const std::optional<QString> password = GivenPassword();
        if (!password) throw TUsageError{QStringLiteral("an encrypted file needs --password")};
        settings.WriterKeys.prepend({QStringLiteral("password"), *password});
    }

    std::unique_ptr<TGraphic> source;
    try {
        source = LoadGraphic(in, page);
        if (frame) source->SelectFrame(frame);
    } catch (const Exception& e) {
        Err() << "lumenor-cli: cannot open " << in << ": " << e.Message() << '\n';
        return 1;
    }
    try {
        // OUT is written through a temporary file: a failure leaves it as it was.
        ConvertGraphic(source.get(), out, DefaultPictureOption, animated, background, QFileInfo(in).absoluteFilePath(), settings);
    } catch (const EUnknownSaveOption& e) {
        throw TUsageError{e.Message()};
    } catch (const EInvalidGraphic& e) {
        if (e.Message() != QLatin1String("Unknown extension type")) throw;
        // Only an animation becomes an AVI clip.
        throw EInvalidGraphic(QStringLiteral("Cannot write %1 as .%2: only an animated GIF, WebP or cursor becomes an AVI clip")
                                  .arg(in, QFileInfo(out).suffix()));
    }
    return 0;
}

const TCliCommand kConvert{
    "convert",
    "convert IN OUT [--option KEY=VALUE]... [--animated] [--frame N] [--page N] [--background RRGGBB]\n"
    "                                       convert IN to the format named by OUT's extension",
    "Usage: lumenor-cli convert IN OUT [--option KEY=VALUE]... [--animated] [--frame N] [--page N]\n"
    "                           [--background RRGGBB]\n"
    "       lumenor-cli --password P convert IN OUT.cif [--cipher blowfish|twofish|cast128|rijndael]\n"
    "                   [--case-sensitive]\n"
    "       lumenor-cli convert --list-compressors\n"
    "\n"
    "Converts IN into the format named by OUT's extension, as the viewer's \"Save as\" does. OUT is written\n"
    "through a temporary file, so a failure never leaves a half-written or damaged OUT.\n"
    "\n"
    "  --page N              the page of a multi-page file (from 1)\n"
    "  --frame N             the frame of an animation to save as a still picture (from 1)\n"
    "  --animated            an AVI clip or animated cursor becomes an animated GIF (OUT.gif); an animated\n"
    "                        GIF, WebP or cursor always becomes an AVI clip when OUT is .avi\n"
    "  --background RRGGBB   the colour drawings and transparent parts are drawn on (default FFFFFF)\n"
    "  --option KEY=VALUE    a save option of the format written (below); may be repeated\n"
    "  --cipher NAME         the cipher of an encrypted image (OUT.cif holds IN's file encrypted)\n"
    "  --case-sensitive      the encrypted image's password is case-sensitive\n"
    "  --list-compressors    the AVI compressors of this machine (for compressor=NAME)\n"
    "\n"
    "Formats written and their options (--option KEY=VALUE):\n"
    "  .jpg .jpeg .jpe .jfif .jif   quality=1..100 (75)  progressive=0|1  optimize=0|1  grayscale=0|1\n"
    "  .png                         compression=0..9 (6)  interlace=0|1  gamma=0.01..100\n"
    "                               transparent=RRGGBB  background=RRGGBB\n"
    "  .tif .tiff                   compression=none|packbits|lzw|zlib|jpeg|g3-1d|g3-2d|g4  quality=1..100\n"
    "  .gif                         reduction=1..8|windows20|halftone|gray4|mono|gray256|netscape|optimal|\n"
    "                               optimal-windows  dither=0..6|nearest|floyd|stucki|sierra|jajuni|\n"
    "                               stevenson|burkes  bits=1..8  compression=rle\n"
    "  .gif with --animated         the .gif keys (default reduction netscape) and transparent=0|1 (1)\n"
    "                               optimize-palette=0|1 (1)\n"
    "  .avi                         compressor=NAME (default: uncompressed)  quality=1..100 (75)\n"
    "                               keyframes=N (a key frame every N frames, 1)  compress=0|1\n"
    "  .ico                         render=crop|stretch|center  size=1..256\n"
    "  .pcx .pcc .scr               bits=8|24\n"
    "  .tga                         rle=0|1\n"
    "  .ppm .pgm .pbm               plain=0|1\n"
    "  .emf .wmf                    format=emf|wmf\n"
    "  .cif                         password=P  cipher=4..7|blowfish|twofish|cast128|rijndael  case-sensitive=0|1\n"
    "  .webp                        quality=0..100 (75)  lossless=0|1 (0)  method=0..6 (4)\n"
    "  .avif                        quality=0..100 (75)  speed=0..10 (6)\n"
    "  .bmp .wbmp .ptf .cur .sld    none\n",
    &CmdConvert, 20};
const TCliCommandRegistrar kRegister(kConvert);

} // namespace
