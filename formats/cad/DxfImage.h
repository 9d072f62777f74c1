// The graphic of DXF drawings: loads a drawing (from a file or any stream), reports its extents as its size
// and draws it at one uniform scale, centred in the destination rectangle, with the viewer's DXF settings.
#pragma once

#include "codec/Graphic.h"
#include "formats/cad/DXF_structs.h"

#include <functional>
#include <memory>
#include <vector>

class TDXFImage : public TGraphic {
    DECLARE_GRAPHIC_CLASS(TDXFImage)
public:
    TDXFImage();
    ~TDXFImage() override;

    // Loading again merges the further drawing into the one held (the extents become the union).
    // Bytes without any DXF section are refused; a DXF file with nothing to draw is a blank drawing.
    void LoadFromStream(QIODevice& stream) override;
    void LoadFromFileName(const QString& fileName) override;
    void SaveToStream(QIODevice&) const override {}
    void LoadFromClipboardData(const QMimeData&) override {}
    void SaveToClipboardData(QMimeData&) const override {}
    void DrawTo(QPainter& canvas, const QRect& rect) const override;
    bool IsEmpty() const override { return !FDrawing && !FBlank; }
    // Extents in drawing units (one unit a pixel), at least 1. A blank drawing measures its header's
    // extents, or 1 x 1 without them.
    int Width() const override;
    int Height() const override;

    const DXF_Object* Drawing() const { return FDrawing.get(); }
    const Point3D& ExtentsMin() const { return FExtMin; }
    const Point3D& ExtentsMax() const { return FExtMax; }
    const std::vector<DXF_IndexLine>& Index() const { return FIndex; }
    // The mapping of the last DrawTo: device x = (x - left) * scale, device y = (top - y) * scale.
    double ViewScale() const { return FScale; }
    double ViewLeft() const { return FLeft; }
    double ViewTop() const { return FTop; }

    // Filled background for conversions onto bitmaps.
    bool Background = false;
    TColor BackgroundColour = 0;

private:
    void Load(const std::function<std::unique_ptr<DXF_Object>(const DXF_Object::TProgress&)>& read);

    std::unique_ptr<DXF_Object> FDrawing;
    bool FBlank = false; // a DXF file was read that holds nothing to draw
    Point3D FExtMax, FExtMin;
    std::vector<DXF_IndexLine> FIndex;
    mutable double FScale = 1, FLeft = 0, FRight = 0, FBottom = 0, FTop = 0;
};
