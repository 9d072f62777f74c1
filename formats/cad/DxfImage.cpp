#include "formats/cad/DxfImage.h"

#include "codec/Services.h"
#include "codec/Stream.h"

#include <QFileDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

DEFINE_GRAPHIC_CLASS(TDXFImage)

TDXFImage::TDXFImage() = default;
TDXFImage::~TDXFImage() = default;

void TDXFImage::LoadFromStream(QIODevice& stream) {
    QString name;
    if (auto* file = qobject_cast<QFileDevice*>(&stream)) name = file->fileName();
    // Ask for what the device holds, not for the largest size allowed.
    const QByteArray data = stream.isSequential() ? stream.readAll()
                                                  : ReadRemaining(stream, std::max<qint64>(0, stream.size() - stream.pos()));
    Load([&](const DXF_Object::TProgress& progress) { return std::make_unique<DXF_Object>(data, name, progress); });
}

void TDXFImage::LoadFromFileName(const QString& fileName) {
    // The reader scans the mapped file in place.
    Load([&](const DXF_Object::TProgress& progress) { return std::make_unique<DXF_Object>(fileName, progress); });
}

void TDXFImage::Load(const std::function<std::unique_ptr<DXF_Object>(const DXF_Object::TProgress&)>& read) {
    auto progress = [this](int percent) {
        const TProgressStage stage = percent <= 0     ? TProgressStage::psStarting
                                     : percent >= 100 ? TProgressStage::psEnding
                                                      : TProgressStage::psRunning;
        Progress(stage, quint8(std::clamp(percent, 0, 100)));
    };
    auto drawing = read(progress);
    if (!drawing->IsDxf()) throw EInvalidGraphic(QStringLiteral("The file holds no DXF sections"));
    if (IsEmpty()) {
        FExtMax = drawing->ExtentsMax();
        FExtMin = drawing->ExtentsMin();
    } else {
        const Point3D& hi = drawing->ExtentsMax();
        const Point3D& lo = drawing->ExtentsMin();
        FExtMax = {std::max(FExtMax.x, hi.x), std::max(FExtMax.y, hi.y), std::max(FExtMax.z, hi.z)};
        FExtMin = {std::min(FExtMin.x, lo.x), std::min(FExtMin.y, lo.y), std::min(FExtMin.z, lo.z)};
    }
    if (!FDrawing)
        FDrawing = std::move(drawing);
    else
        FDrawing->MergeFrom(*drawing);
    FIndex.clear();
    FDrawing->RemoveEmptyLists();
    if (FDrawing->LayerCount() > 0) {
        FDrawing->ListEntities(FIndex);
        FBlank = false;
    } else {
        // Nothing to draw: the drawing is blank, as large as its header says.
        FDrawing.reset();
        FBlank = true;
    }
    NotifyChanged();
}

namespace {
// A size in drawing units as a pixel count: halves to even, at least 1, never past 2^30.
int NominalSize(double extent) {
    if (!std::isfinite(extent)) return 1;
    const double r = std::nearbyint(extent);
    return int(std::clamp(r, 1.0, double(1 << 30)));
}
} // namespace

int TDXFImage::Width() const { return IsEmpty() ? 0 : NominalSize(FExtMax.x - FExtMin.x); }
int TDXFImage::Height() const { return IsEmpty() ? 0 : NominalSize(FExtMax.y - FExtMin.y); }

void TDXFImage::DrawTo(QPainter& canvas, const QRect& rect) const {
    canvas.save();
    if (Background) canvas.fillRect(rect, ToQColor(BackgroundColour));
    const quint32 options = ViewerServices().GetDxfOptions();
    const bool drawVertices = (options & 0xFF) != 0;
    const bool fillSolid = ((options >> 8) & 0xFF) != 0;
    const bool hideBlock = ((options >> 16) & 0xFF) != 0;
    const int lineWidth = int(options >> 24);

    const int w = rect.width(), h = rect.height();
    // The larger extent spans the shorter side: m pixels from its first to its last, m - 1 steps, so that
    // lines on the drawing's edges stay inside the rectangle.
    const double m = std::max(1, std::min(w, h) - 1);
    const double ex = FExtMax.x - FExtMin.x, ey = FExtMax.y - FExtMin.y;
    const double sx = ex != 0 ? m / ex : 1.0;
    const double sy = ey != 0 ? m / ey : 1.0;
    const double s = std::min(sx, sy);
    if (FDrawing && s > 0 && std::isfinite(s)) {
        const double cx = (FExtMax.x + FExtMin.x) / 2, cy = (FExtMax.y + FExtMin.y) / 2;
        FScale = s;
        // The centre of the drawing lands on the centre pixel of the rectangle.
        const double halfW = (w - 1) / 2.0, halfH = (h - 1) / 2.0;
        FLeft = cx - halfW / s - rect.left() / s;
        FRight = cx + halfW / s + rect.left() / s;
        FBottom = cy - halfH / s - rect.top() / s;
        FTop = cy + halfH / s + rect.top() / s;
        canvas.setRenderHint(QPainter::Antialiasing, false);
        canvas.setRenderHint(QPainter::TextAntialiasing, false);
        DXF_Canvas dc(canvas, FScale, FLeft, FTop, lineWidth, fillSolid);
        for (const DXF_IndexLine& line : FIndex) {
            if (!line.List) continue;
            if (hideBlock && line.List->Name() == QLatin1String("Block_")) continue;
            line.List->RenderAll(dc, nullptr);
            if (drawVertices) line.List->RenderAllVertices(dc, nullptr);
        }
    }
    canvas.restore();
}
