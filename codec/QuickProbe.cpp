#include "codec/QuickProbe.h"

#include "codec/Errors.h"
#include "codec/FormatTable.h"
#include "codec/Headers.h"

#include <QFile>
#include <QFileInfo>

#include <new>

namespace {

using TReadHeader = bool (*)(QIODevice&, TGraphicInfo&);

struct TQuickFormat {
    const char* ClassName;
    TReadHeader Read;
};

// Formats of one page whose headers give everything `info` prints.
constexpr TQuickFormat kQuickFormats[] = {
    {"TJpegGraphic", &ReadJpegHeader},
    {"TPngGraphic", &ReadPngHeader},
    {"TGIFImage", &ReadGifHeader},
};

const TQuickFormat* QuickFormatOf(const QString& className) {
    for (const TQuickFormat& f : kQuickFormats)
        if (className == QLatin1String(f.ClassName)) return &f;
    return nullptr;
}

int U16BE(const QByteArray& b, int at) { return (uchar(b[at]) << 8) | uchar(b[at + 1]); }
int U16LE(const QByteArray& b, int at) { return uchar(b[at]) | (uchar(b[at + 1]) << 8); }
int S16BE(const QByteArray& b, int at) { return qint16(quint16(U16BE(b, at))); }

} // namespace

QString FormatTableClassOf(const QString& extension) {
    const QString ext = NormalisedExtension(extension);
    if (ext.isEmpty()) return QString();
    for (const auto* table : {&ModernFormatTable(), &StartupTable()})
        for (auto row = table->rbegin(); row != table->rend(); ++row)
            if (QString::fromLatin1(row->Extension).toLower() == ext) return QString::fromLatin1(row->ClassName);
    return QString();
}

bool ContentTestMayClaim(const QByteArray& head) {
    if (head.size() < kQuickHeadSize) return true;
    const auto starts = [&head](const char* s, int n) { return head.startsWith(QByteArray::fromRawData(s, n)); };
    const uchar b0 = uchar(head[0]), b1 = uchar(head[1]);
    return (b0 == 'P' && b1 >= '1' && b1 <= '6')                                   // TPPMGraphic
           || starts("8BPS", 4)                                                     // TPSDGraphic
           || starts("Paint Shop Pro Image File", 25)                               // TPSPGraphic
           || U16BE(head, 0) == 474                                                 // TSGIGraphic
           || (S16BE(head, 18) == 0 && S16BE(head, 20) >= 1 && S16BE(head, 20) <= 16) // TRLAGraphic: storage, channels
           || (U16LE(head, 0) != 0 && U16LE(head, 2) != 0 && U16LE(head, 4) == 0)   // TCUTGraphic: size, reserved
           || U16LE(head, 0) == 0x9119                                              // TAutodeskGraphic
           || starts("RIFF", 4)                                                     // TWebPGraphic
           || head.mid(4, 4) == "ftyp"                                              // TAvifGraphic, THeifGraphic, CR3
           || starts("\0\0\0\x0CJXL ", 8) || (b0 == 0xFF && b1 == 0x0A)           // TJxlGraphic: container, codestream
           || starts("\x76\x2F\x31\x01", 4)                                         // TExrGraphic
           || starts("FUJIFILM", 8) || starts("IIR", 3) || starts("MMOR", 4)        // TRawGraphic: own signatures,
           || starts("IIU", 3) || starts("II*\0", 4) || starts("MM\0*", 4);         // TIFF-based ones
}

QStringList ContentTestedClassNames() {
    return {QStringLiteral("TPPMGraphic"),  QStringLiteral("TPSDGraphic"),  QStringLiteral("TPSPGraphic"),
            QStringLiteral("TSGIGraphic"),  QStringLiteral("TRLAGraphic"),  QStringLiteral("TCUTGraphic"),
            QStringLiteral("TAutodeskGraphic"), QStringLiteral("TWebPGraphic"), QStringLiteral("TAvifGraphic"),
            QStringLiteral("THeifGraphic"), QStringLiteral("TJxlGraphic"),  QStringLiteral("TExrGraphic"),
            QStringLiteral("TRawGraphic")};
}

std::optional<TQuickProbe> QuickProbeStream(QIODevice& stream, const QString& extension) {
    const QString className = FormatTableClassOf(extension);
    const TQuickFormat* format = QuickFormatOf(className);
    if (!format || ContentTestMayClaim(stream.peek(kQuickHeadSize))) return std::nullopt;
    TQuickProbe probe;
    probe.ClassName = className;
    try {
        if (!format->Read(stream, probe.Info)) return std::nullopt;
    } catch (const Exception&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    probe.Info.Pages = 1; // none of these formats has pages
    return probe;
}

std::optional<TQuickProbe> QuickProbeFile(const QString& fileName) {
    const QString extension = QFileInfo(fileName).suffix();
    if (!QuickFormatOf(FormatTableClassOf(extension))) return std::nullopt; // not even opened
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return QuickProbeStream(file, extension);
}
