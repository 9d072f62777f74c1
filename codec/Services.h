// Services that format modules ask of the viewer window. The window implements them and installs itself
// at start-up; without a window (lumenor-cli, tests) the defaults answer.
#pragma once

#include "codec/Graphic.h"

// A compressor for AVI clips as the user chooses it: the encoder's name (empty: uncompressed), its
// quality 1..100 and a key frame every KeyFrameEvery frames.
struct TVideoCompression {
    QString Encoder;
    int Quality = 75;
    int KeyFrameEvery = 1;
};

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
    // Asks for the compressor of an AVI clip whose frames have the size; false when the user cancels.
    // Without a window nobody is asked: false.
    virtual bool ChooseVideoCompression(QSize frameSize, TVideoCompression& choice);
};

IViewerServices& ViewerServices();
// Installs services (nullptr restores the defaults). The caller keeps ownership.
void SetViewerServices(IViewerServices* services);
