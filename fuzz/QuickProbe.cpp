// The quick probe of lumenor-cli against the full one: whatever the quick probe answers for the bytes
// under a common format's extension must be what the registry's class reads from its header. Any
// difference is a finding.
#include "FuzzCommon.h"

#include "codec/QuickProbe.h"
#include "codec/Registry.h"

#include <QBuffer>

#include <cstdio>
#include <cstdlib>

namespace {

// What ProbeFile does for a file, on a buffer: content tests first, then the extension.
QString FullAnswer(QByteArray& bytes, const QString& extension, TGraphicInfo& info) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TGraphicClass cls = CentralFormats().FindClassByContent(buffer);
    if (!cls) cls = GraphicClassByExtension(extension);
    if (!cls) return QStringLiteral("no class");
    buffer.seek(0);
    try {
        if (!cls->Create()->ReadInfo(buffer, info)) return cls->ClassName + QStringLiteral(" needs a decode");
    } catch (const Exception& e) {
        return cls->ClassName + QStringLiteral(" raised ") + e.Message();
    }
    return cls->ClassName;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetup();
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const char* extension : {"jpg", "png", "gif"}) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        const std::optional<TQuickProbe> quick = QuickProbeStream(buffer, QString::fromLatin1(extension));
        if (!quick) continue;
        TGraphicInfo info;
        const QString full = FullAnswer(bytes, QString::fromLatin1(extension), info);
        if (full != quick->ClassName || info.Width != quick->Info.Width || info.Height != quick->Info.Height ||
            info.Frames != quick->Info.Frames) {
            std::fprintf(stderr, "quick probe: %s %dx%d frames=%d; full probe: %s %dx%d frames=%d\n",
                         qPrintable(quick->ClassName), quick->Info.Width, quick->Info.Height, quick->Info.Frames,
                         qPrintable(full), info.Width, info.Height, info.Frames);
            std::abort();
        }
    }
    return 0;
}
