#include "codec/Probe.h"

#include "codec/DibGraphic.h"
#include "codec/Registry.h"

#include <QFile>

namespace {

QFile& OpenForReading(QFile& file) {
    if (!file.open(QIODevice::ReadOnly)) throw EInvalidGraphic(file.errorString());
    return file;
}

int PagesOf(TGraphic& graphic, QFile& file) {
    auto* dib = dynamic_cast<TDibGraphic*>(&graphic);
    if (!dib || !file.seek(0)) return 1;
    try {
        return std::max(1, dib->GetPageCount(file));
    } catch (const Exception&) {
        return 1; // the first page is still there to be shown
    }
}

} // namespace

TProbe ProbeFileByDecoding(const QString& fileName) {
    std::unique_ptr<TGraphic> graphic = CreateGraphicFor(fileName);
    graphic->LoadFromFileName(fileName);
    TProbe probe;
    probe.Class = graphic->ClassType();
    const QSize size = graphic->FullSize();
    probe.Info.Width = size.width();
    probe.Info.Height = size.height();
    probe.Info.Frames = graphic->FrameCount();
    probe.Truncated = graphic->Truncated();
    QFile file(fileName);
    probe.Info.Pages = file.open(QIODevice::ReadOnly) ? PagesOf(*graphic, file) : 1;
    return probe;
}

TProbe ProbeFile(const QString& fileName) {
    std::unique_ptr<TGraphic> graphic = CreateGraphicFor(fileName);
    QFile file(fileName);
    OpenForReading(file);
    TProbe probe;
    if (!graphic->ReadInfo(file, probe.Info)) return ProbeFileByDecoding(fileName);
    probe.Class = graphic->ClassType();
    probe.FromHeader = true;
    probe.Info.Pages = PagesOf(*graphic, file);
    return probe;
}
