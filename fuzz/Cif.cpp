#include "FuzzCommon.h"

#include "codec/Services.h"
#include "formats/raster/cif.h"

namespace {
// The seeds use the password "Secret"; a fuzzed file gets it once and no other answer.
class TFuzzPassword : public IViewerServices {
public:
    bool RequestPassword(QString& password, bool ask, const QString&) override {
        password = ask ? QString() : QStringLiteral("Secret");
        return !ask;
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TFuzzPassword passwords;
    SetViewerServices(&passwords);
    FuzzLoad(TCIFGraphic::StaticClass(), data, size);
    return 0;
}
