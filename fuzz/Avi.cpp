// The video reader opens files by name, so each input is written to a temporary file first.
#include "FuzzCommon.h"

#include "formats/raster/AVIGraph.h"
#include "platform/VideoBackend.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryFile>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetup();
    // Without the video module every input fails at once and nothing is tested.
    static const bool loaded = [] {
        if (VideoModule()) return true;
        std::fprintf(stderr, "%s\n", qPrintable(VideoSupportError()));
        std::abort();
    }();
    (void)loaded;
    QTemporaryFile file;
    if (!file.open()) return 0;
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.flush();
    TAVIGraphic g;
    try {
        g.LoadFromFileName(file.fileName());
        QImage target(64, 64, QImage::Format_RGB32);
        QPainter p(&target);
        // A few frames in an order that makes the reader both step and seek.
        for (int i : {0, 1, 2, g.FrameCount() - 1, 1}) {
            g.SetIndex(i);
            g.DrawTo(p, QRect(0, 0, 64, 64));
        }
        g.Tick();
        g.Close();
    } catch (const Exception&) {
    }
    return 0;
}
