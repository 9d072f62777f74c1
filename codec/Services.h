// Services that format modules ask of the viewer window. The window implements them and installs itself
// at start-up; without a window (lumenor-cli, tests) the defaults answer.
#pragma once

#include "codec/Graphic.h"

class IViewerServices {
public:
    virtual ~IViewerServices() = default;
    // The four DXF display settings packed into one value (draw vertices in the low byte).
    virtual quint32 GetDxfOptions() const;
    // Photo-CD resolution: 0 = 192 x 128, 1 = 384 x 256, 2 = 768 x 512.
    virtual int GetPhotoSize() const;
    // Password for encrypted pictures. With ask false only a remembered password is returned.
    virtual bool RequestPassword(QString& password, bool ask, const QString& prompt);
    // Colour behind a picture.
    virtual TColor GetBackgroundColor() const;
};

IViewerServices& ViewerServices();
// Installs services (nullptr restores the defaults). The caller keeps ownership.
void SetViewerServices(IViewerServices* services);
