// Helpers of the DXF tests: DXF text from group pairs, drawings loaded from bytes, rendering with chosen
// display settings, and pixel probes.
#pragma once

#include "codec/Services.h"
#include "formats/cad/DxfImage.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <initializer_list>
#include <utility>

namespace dxftest {

// "code\nvalue\n" for each pair.
inline QByteArray Pairs(std::initializer_list<std::pair<int, const char*>> pairs) {
    QByteArray r;
    for (const auto& [code, value] : pairs) r += QByteArray::number(code) + '\n' + value + '\n';
    return r;
}

inline QByteArray Section(const char* name, const QByteArray& body) {
    return Pairs({{0, "SECTION"}, {2, name}}) + body + Pairs({{0, "ENDSEC"}});
}

// A complete file: optional blocks, then the entities.
inline QByteArray File(const QByteArray& entities, const QByteArray& blocks = {}, const QByteArray& header = {}) {
    QByteArray r;
    if (!header.isEmpty()) r += Section("HEADER", header);
    if (!blocks.isEmpty()) r += Section("BLOCKS", blocks);
    r += Section("ENTITIES", entities);
    return r + Pairs({{0, "EOF"}});
}

inline QByteArray Block(const char* name, const QByteArray& members, const char* baseX = "0", const char* baseY = "0") {
    return Pairs({{0, "BLOCK"}, {8, "0"}, {2, name}, {70, "0"}, {10, baseX}, {20, baseY}, {30, "0"}}) + members +
           Pairs({{0, "ENDBLK"}, {8, "0"}});
}

// Two points that fix the drawing's extents to (0, 0)-(100, 100): rendered into 201 x 201 pixels a point
// (x, y) lands on pixel (2x, 200 - 2y).
inline QByteArray Frame() {
    return Pairs({{0, "POINT"}, {8, "FRAME"}, {10, "0"}, {20, "0"}, {0, "POINT"}, {8, "FRAME"}, {10, "100"}, {20, "100"}});
}

inline std::unique_ptr<TDXFImage> Load(const QByteArray& data) {
    auto g = std::make_unique<TDXFImage>();
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    g->LoadFromStream(buffer);
    return g;
}

// Display settings as the viewer would hand them out.
inline quint32 Options(bool vertices, bool fill, bool hideBlock, int lineWidth) {
    return quint32(vertices) | (quint32(fill) << 8) | (quint32(hideBlock) << 16) | (quint32(lineWidth) << 24);
}
constexpr quint32 kDefaultOptions = 0x01010000u; // hide block, line width 1

class TTestServices : public IViewerServices {
public:
    explicit TTestServices(quint32 options) : Value(options) { SetViewerServices(this); }
    ~TTestServices() override { SetViewerServices(nullptr); }
    quint32 GetDxfOptions() const override {
        ++Calls;
        return Value;
    }
    quint32 Value;
    mutable int Calls = 0;
};

inline QImage Render(const TGraphic& g, QSize size = QSize(201, 201), quint32 options = kDefaultOptions) {
    TTestServices services(options);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    g.DrawTo(p, QRect(QPoint(0, 0), size));
    return image;
}

inline QImage Render(const QByteArray& dxf, quint32 options = kDefaultOptions, QSize size = QSize(201, 201)) {
    return Render(*Load(dxf), size, options);
}

inline bool Drawn(const QImage& image, int x, int y) {
    return image.rect().contains(x, y) && image.pixel(x, y) != qRgb(255, 255, 255);
}
// Anything drawn within r pixels of (x, y).
inline bool DrawnNear(const QImage& image, int x, int y, int r = 1) {
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx)
            if (Drawn(image, x + dx, y + dy)) return true;
    return false;
}
// Drawn pixels inside the rectangle.
inline int CountDrawn(const QImage& image, const QRect& r) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += Drawn(image, x, y);
    return n;
}
// The bounding box of everything drawn inside area (the whole image when area is empty); empty when
// nothing is.
inline QRect InkBox(const QImage& image, QRect area = {}) {
    area = area.isEmpty() ? image.rect() : area.intersected(image.rect());
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (Drawn(image, x, y)) box |= QRect(x, y, 1, 1);
    return box;
}
inline QRgb ColourNear(const QImage& image, int x, int y, int r = 1) {
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx)
            if (Drawn(image, x + dx, y + dy)) return image.pixel(x + dx, y + dy);
    return qRgb(255, 255, 255);
}

} // namespace dxftest
