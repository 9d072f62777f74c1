#include "FuzzCommon.h"

#include "codec/Limits.h"
#include "formats/Formats.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

namespace {
struct TFuzzInit {
    TFuzzInit() {
        static int argc = 1;
        static char arg0[] = "fuzz";
        static char* argv[] = {arg0, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static QGuiApplication app(argc, argv);
        InitializeFormats();
        SetPixelLimit(qint64(1) << 22); // hostile sizes fail fast; real fixtures are small
    }
};
} // namespace

void FuzzSetup() { static TFuzzInit init; }

void FuzzLoad(TGraphicClass cls, const uint8_t* data, size_t size) {
    FuzzSetup();
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    // The header probe first, on the same bytes.
    try {
        TGraphicInfo info;
        cls->Create()->ReadInfo(buffer, info);
    } catch (const Exception&) {
    }
    buffer.seek(0);
    std::unique_ptr<TGraphic> g = cls->Create();
    try {
        g->LoadFromStream(buffer);
        if (!g->IsEmpty()) {
            QImage target(64, 64, QImage::Format_RGB32);
            QPainter p(&target);
            g->DrawTo(p, QRect(0, 0, 64, 64));
        }
    } catch (const Exception&) {
    }
}
