#include "codec/Services.h"

#include <atomic>

namespace {
IViewerServices GDefaults;
std::atomic<IViewerServices*> GServices{nullptr};
} // namespace

// Defaults are those of an empty settings store: hide block on, line width 1.
quint32 IViewerServices::GetDxfOptions() const { return 0x01010000u; }
int IViewerServices::GetPhotoSize() const { return 2; }
bool IViewerServices::RequestPassword(QString& password, bool, const QString&) {
    password.clear();
    return false;
}
TColor IViewerServices::GetBackgroundColor() const { return 0xFFFFFF; }
bool IViewerServices::ChooseVideoCompression(QSize, TVideoCompression&) { return false; }

IViewerServices& ViewerServices() {
    IViewerServices* s = GServices.load();
    return s ? *s : GDefaults;
}

void SetViewerServices(IViewerServices* services) { GServices.store(services); }
