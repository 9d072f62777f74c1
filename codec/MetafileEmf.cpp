// The EMF player: 32-bit records with explicit object indexes, stock objects, world transforms and paths.
#include "codec/MetafilePlayer.h"

#include "codec/Stream.h"

#include <QLinearGradient>

#include <cmath>
#include <new>
#include <cstring>

namespace mf {

namespace {

enum : quint32 {
    EMR_HEADER = 1, EMR_POLYBEZIER, EMR_POLYGON, EMR_POLYLINE, EMR_POLYBEZIERTO, EMR_POLYLINETO, EMR_POLYPOLYLINE,
    EMR_POLYPOLYGON, EMR_SETWINDOWEXTEX, EMR_SETWINDOWORGEX, EMR_SETVIEWPORTEXTEX, EMR_SETVIEWPORTORGEX,
    EMR_SETBRUSHORGEX, EMR_EOF, EMR_SETPIXELV, EMR_SETMAPPERFLAGS, EMR_SETMAPMODE, EMR_SETBKMODE,
    EMR_SETPOLYFILLMODE, EMR_SETROP2, EMR_SETSTRETCHBLTMODE, EMR_SETTEXTALIGN, EMR_SETCOLORADJUSTMENT,
    EMR_SETTEXTCOLOR, EMR_SETBKCOLOR, EMR_OFFSETCLIPRGN, EMR_MOVETOEX, EMR_SETMETARGN, EMR_EXCLUDECLIPRECT,
    EMR_INTERSECTCLIPRECT, EMR_SCALEVIEWPORTEXTEX, EMR_SCALEWINDOWEXTEX, EMR_SAVEDC, EMR_RESTOREDC,
    EMR_SETWORLDTRANSFORM, EMR_MODIFYWORLDTRANSFORM, EMR_SELECTOBJECT, EMR_CREATEPEN, EMR_CREATEBRUSHINDIRECT,
    EMR_DELETEOBJECT, EMR_ANGLEARC, EMR_ELLIPSE, EMR_RECTANGLE, EMR_ROUNDRECT, EMR_ARC, EMR_CHORD, EMR_PIE,
    EMR_SELECTPALETTE, EMR_CREATEPALETTE, EMR_SETPALETTEENTRIES, EMR_RESIZEPALETTE, EMR_REALIZEPALETTE,
    EMR_EXTFLOODFILL, EMR_LINETO, EMR_ARCTO, EMR_POLYDRAW, EMR_SETARCDIRECTION, EMR_SETMITERLIMIT,
    EMR_BEGINPATH, EMR_ENDPATH, EMR_CLOSEFIGURE, EMR_FILLPATH, EMR_STROKEANDFILLPATH, EMR_STROKEPATH,
    EMR_FLATTENPATH, EMR_WIDENPATH, EMR_SELECTCLIPPATH, EMR_ABORTPATH,
    EMR_GDICOMMENT = 70, EMR_FILLRGN, EMR_FRAMERGN, EMR_INVERTRGN, EMR_PAINTRGN, EMR_EXTSELECTCLIPRGN,
    EMR_BITBLT, EMR_STRETCHBLT, EMR_MASKBLT, EMR_PLGBLT, EMR_SETDIBITSTODEVICE, EMR_STRETCHDIBITS,
    EMR_EXTCREATEFONTINDIRECTW, EMR_EXTTEXTOUTA, EMR_EXTTEXTOUTW, EMR_POLYBEZIER16, EMR_POLYGON16,
    EMR_POLYLINE16, EMR_POLYBEZIERTO16, EMR_POLYLINETO16, EMR_POLYPOLYLINE16, EMR_POLYPOLYGON16,
    EMR_POLYDRAW16, EMR_CREATEMONOBRUSH, EMR_CREATEDIBPATTERNBRUSHPT, EMR_EXTCREATEPEN,
    EMR_SMALLTEXTOUT = 108, EMR_ALPHABLEND = 114, EMR_TRANSPARENTBLT = 116, EMR_GRADIENTFILL = 118,
};

QColor ColorRef(quint32 v) { return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)); }

float Float(TByteReader& r) {
    const quint32 v = r.U32LE();
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

class TEmfPlayer : public TPlayer {
public:
    TEmfPlayer(QPainter& painter, const QTransform& output, const QRectF& clip) : TPlayer(painter, output, clip) {}
    void Play(const QByteArray& data);

private:
    void Record(quint32 type, TByteReader& r);
    TGdiObject* Object(quint32 index) {
        return index < FObjects.size() && FObjects[index].Kind != TGdiObject::None ? &FObjects[index] : nullptr;
    }
    void Store(quint32 index, TGdiObject object) {
        if (index == 0 || index >= 65536) return;
        if (index >= FObjects.size()) FObjects.resize(index + 1);
        FObjects[index] = std::move(object);
    }
    void SelectStock(quint32 index);
    // A DIB given by offsets from the start of the record.
    QImage Dib(quint32 offBmi, quint32 cbBmi, quint32 offBits, quint32 cbBits, quint32 usage, bool alpha = false) const;
    QRegion ReadRegion(TByteReader& r, quint32 size) const;
    QPolygonF Points(TByteReader& r, qint64 count, bool small) const;
    static QRectF Rect(TByteReader& r) { // RECTL: left, top, right, bottom
        const double l = r.S32LE(), t = r.S32LE(), rt = r.S32LE(), b = r.S32LE();
        return QRectF(QPointF(l, t), QPointF(rt, b));
    }
    static QPointF Point(TByteReader& r) {
        const double x = r.S32LE();
        return QPointF(x, r.S32LE());
    }
    void Text(TByteReader& r, bool wide);
    void GradientFill(TByteReader& r);

    const uchar* FRecord = nullptr; // the record being played, from its type field
    qint64 FRecordSize = 0;
    std::vector<TGdiObject> FObjects;
};

QPolygonF TEmfPlayer::Points(TByteReader& r, qint64 count, bool small) const {
    const qint64 each = small ? 4 : 8;
    if (count < 0 || count > r.Remaining() / each) throw EReadError();
    QPolygonF pts;
    pts.reserve(count);
    for (qint64 i = 0; i < count; ++i) {
        if (small) {
            const double x = r.S16LE();
            pts << QPointF(x, r.S16LE());
        } else {
            const double x = r.S32LE();
            pts << QPointF(x, r.S32LE());
        }
    }
    return pts;
}

QImage TEmfPlayer::Dib(quint32 offBmi, quint32 cbBmi, quint32 offBits, quint32 cbBits, quint32 usage, bool alpha) const {
    if (cbBmi == 0 || offBmi > FRecordSize || cbBmi > FRecordSize - offBmi) return QImage();
    const uchar* bits = nullptr;
    qint64 bitsSize = 0;
    if (cbBits && offBits <= FRecordSize) {
        bits = FRecord + offBits;
        bitsSize = std::min<qint64>(cbBits, FRecordSize - offBits);
    }
    return DecodeDib(FRecord + offBmi, cbBmi, bits, bitsSize, FDc.Palette, usage == 1, alpha);
}

QRegion TEmfPlayer::ReadRegion(TByteReader& r, quint32 size) const {
    // RGNDATA: header (size, type, count, region size, bounds), then the rectangles in device units.
    QRegion region;
    if (size < 32 || size > r.Remaining()) return region;
    TByteReader h(r.Take(size), size);
    const quint32 headerSize = h.U32LE();
    h.U32LE();
    const quint32 count = h.U32LE();
    if (headerSize < 32 || headerSize > size) return region;
    h.Seek(headerSize);
    QVector<QRect> rects;
    for (quint32 i = 0; i < count && h.Remaining() >= 16; ++i) {
        const QRectF d = FOutput.mapRect(Rect(h).normalized());
        const QRect q(QPoint(int(std::nearbyint(std::clamp(d.left(), -1e6, 1e6))), int(std::nearbyint(std::clamp(d.top(), -1e6, 1e6)))),
                      QPoint(int(std::nearbyint(std::clamp(d.right(), -1e6, 1e6))) - 1,
                             int(std::nearbyint(std::clamp(d.bottom(), -1e6, 1e6))) - 1));
        if (q.isValid()) rects << q;
    }
    region.setRects(rects.constData(), int(rects.size()));
    return region;
}

void TEmfPlayer::SelectStock(quint32 index) {
    switch (index & 0x7FFFFFFF) {
    case 0: FDc.Brush = {BS_SOLID, Qt::white, 0, {}, false}; break;
    case 1: FDc.Brush = {BS_SOLID, QColor(0xC0, 0xC0, 0xC0), 0, {}, false}; break;
    case 2: FDc.Brush = {BS_SOLID, QColor(0x80, 0x80, 0x80), 0, {}, false}; break;
    case 3: FDc.Brush = {BS_SOLID, QColor(0x40, 0x40, 0x40), 0, {}, false}; break;
    case 4: FDc.Brush = {BS_SOLID, Qt::black, 0, {}, false}; break;
    case 5: FDc.Brush = {BS_NULL, Qt::white, 0, {}, false}; break;
    case 6: FDc.Pen = TPenDef{PS_SOLID, 0, Qt::white, {}}; break;
    case 7: FDc.Pen = TPenDef{PS_SOLID, 0, Qt::black, {}}; break;
    case 8: FDc.Pen = TPenDef{PS_NULL, 0, Qt::black, {}}; break;
    case 10: case 11: case 12: case 13: case 14: case 16: case 17: FDc.Font = TFontDef(); break;
    case 15: FDc.Palette.clear(); break;
    case 18: FDc.Brush = {BS_SOLID, Qt::white, 0, {}, false}; break;
    case 19: FDc.Pen = TPenDef{PS_SOLID, 0, Qt::black, {}}; break;
    default: break;
    }
}

void TEmfPlayer::Text(TByteReader& r, bool wide) {
    r.Skip(16); // bounds
    r.U32LE();  // graphics mode
    Float(r);
    Float(r);
    const QPointF ref = Point(r);
    const quint32 n = r.U32LE(), offString = r.U32LE(), options = r.U32LE();
    const QRectF rect = Rect(r);
    const quint32 offDx = r.U32LE();
    if (options & ETO_GLYPH_INDEX) return; // glyph numbers of a font we do not have
    const qint64 bytes = qint64(n) * (wide ? 2 : 1);
    if (offString > FRecordSize || bytes > FRecordSize - offString) return;
    const uchar* s = FRecord + offString;
    QString text;
    if (wide) {
        text.resize(n);
        for (quint32 i = 0; i < n; ++i) text[i] = QChar(char16_t(s[2 * i] | (s[2 * i + 1] << 8)));
    } else {
        text = DecodeAnsi(s, n, FDc.Font.CharSet);
    }
    std::vector<double> dx;
    const int step = (options & ETO_PDY) ? 2 : 1;
    if (offDx && offDx <= FRecordSize && qint64(n) * 4 * step <= FRecordSize - offDx && size_t(text.size()) == n) {
        TByteReader d(FRecord + offDx, qint64(n) * 4 * step);
        for (quint32 i = 0; i < n; ++i) {
            dx.push_back(d.S32LE());
            if (step == 2) d.S32LE();
        }
    }
    DrawText(ref, text, dx, int(options), &rect, true);
}

void TEmfPlayer::GradientFill(TByteReader& r) {
    r.Skip(16);
    const quint32 nVer = r.U32LE(), nTri = r.U32LE(), mode = r.U32LE();
    if (nVer > r.Remaining() / 16) return;
    struct TVertex { QPointF P; QColor C; };
    std::vector<TVertex> v;
    for (quint32 i = 0; i < nVer; ++i) {
        const QPointF p = Point(r);
        const int red = r.U16LE() >> 8, green = r.U16LE() >> 8, blue = r.U16LE() >> 8;
        r.U16LE();
        v.push_back({p, QColor(red, green, blue)});
    }
    const TBrushDef saved = FDc.Brush;
    const TPenDef savedPen = FDc.Pen;
    FDc.Pen.Style = PS_NULL;
    for (quint32 i = 0; i < nTri && r.Remaining() >= (mode == 2 ? 12 : 8); ++i) {
        if (mode == 2) { // triangles: the mean colour of the corners
            const quint32 a = r.U32LE(), b = r.U32LE(), c = r.U32LE();
            if (a >= nVer || b >= nVer || c >= nVer) continue;
            FDc.Brush = {BS_SOLID,
                         QColor((v[a].C.red() + v[b].C.red() + v[c].C.red()) / 3,
                                (v[a].C.green() + v[b].C.green() + v[c].C.green()) / 3,
                                (v[a].C.blue() + v[b].C.blue() + v[c].C.blue()) / 3),
                         0, {}, false};
            DrawPolygons({QPolygonF() << v[a].P << v[b].P << v[c].P});
            continue;
        }
        const quint32 a = r.U32LE(), b = r.U32LE();
        if (a >= nVer || b >= nVer) continue;
        const QPointF p0 = Map(v[a].P), p1 = Map(v[b].P);
        QLinearGradient g(p0, mode == 0 ? QPointF(p1.x(), p0.y()) : QPointF(p0.x(), p1.y()));
        g.setColorAt(0, v[a].C);
        g.setColorAt(1, v[b].C);
        QPainterPath logical;
        logical.addRect(QRectF(v[a].P, v[b].P).normalized());
        FPainter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        FPainter.fillPath(Full().map(logical), QBrush(g));
    }
    FDc.Brush = saved;
    FDc.Pen = savedPen;
}

void TEmfPlayer::Record(quint32 type, TByteReader& r) {
    switch (type) {
    case EMR_HEADER: {
        r.Skip(32);
        r.Skip(4 * 4);
        const quint32 handles = r.U16LE();
        r.Skip(2 + 12);
        const double devX = r.S32LE(), devY = r.S32LE(), mmX = r.S32LE(), mmY = r.S32LE();
        if (devX > 0 && devY > 0 && mmX > 0 && mmY > 0) {
            FPxPerMmX = devX / mmX;
            FPxPerMmY = devY / mmY;
        }
        FObjects.resize(std::min<quint32>(handles, 65536));
        break;
    }
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIER16: {
        r.Skip(16);
        const QPolygonF pts = Points(r, r.U32LE(), type == EMR_POLYBEZIER16);
        if (pts.size() < 4) break;
        const QPointF keep = FDc.CurPos;
        const bool figure = FFigureOpen;
        if (FPathOpen) FFigureOpen = false;
        FDc.CurPos = pts[0];
        BezierTo(pts.mid(1));
        FDc.CurPos = keep;
        if (!FPathOpen) FFigureOpen = figure;
        break;
    }
    case EMR_POLYGON:
    case EMR_POLYGON16:
        r.Skip(16);
        DrawPolygons({Points(r, r.U32LE(), type == EMR_POLYGON16)});
        break;
    case EMR_POLYLINE:
    case EMR_POLYLINE16:
        r.Skip(16);
        DrawPolyline(Points(r, r.U32LE(), type == EMR_POLYLINE16));
        break;
    case EMR_POLYBEZIERTO:
    case EMR_POLYBEZIERTO16:
        r.Skip(16);
        BezierTo(Points(r, r.U32LE(), type == EMR_POLYBEZIERTO16));
        break;
    case EMR_POLYLINETO:
    case EMR_POLYLINETO16:
        r.Skip(16);
        PolylineTo(Points(r, r.U32LE(), type == EMR_POLYLINETO16));
        break;
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON16: {
        r.Skip(16);
        const quint32 n = r.U32LE(), total = r.U32LE();
        if (n > r.Remaining() / 4) throw EReadError();
        std::vector<quint32> counts(n);
        quint64 sum = 0;
        for (auto& c : counts) sum += (c = r.U32LE());
        if (sum > total) throw EReadError();
        const bool small = type == EMR_POLYPOLYLINE16 || type == EMR_POLYPOLYGON16;
        QVector<QPolygonF> polys;
        for (quint32 c : counts) polys << Points(r, c, small);
        if (type == EMR_POLYPOLYGON || type == EMR_POLYPOLYGON16)
            DrawPolygons(polys);
        else
            for (const QPolygonF& p : polys) DrawPolyline(p);
        break;
    }
    case EMR_POLYDRAW:
    case EMR_POLYDRAW16: {
        r.Skip(16);
        const quint32 n = r.U32LE();
        const QPolygonF pts = Points(r, n, type == EMR_POLYDRAW16);
        const uchar* kinds = r.Take(n);
        for (quint32 i = 0; i < n; ++i) {
            switch (kinds[i] & 6) {
            case 6: MoveTo(pts[int(i)]); break;
            case 2: LineTo(pts[int(i)]); break;
            case 4:
                if (i + 2 < n) {
                    BezierTo(QPolygonF() << pts[int(i)] << pts[int(i) + 1] << pts[int(i) + 2]);
                    i += 2;
                }
                break;
            default: break;
            }
            if (kinds[i < n ? i : n - 1] & 1) CloseFigure();
        }
        break;
    }
    case EMR_SETWINDOWEXTEX: {
        const QPointF e = Point(r);
        if (e.x() != 0 && e.y() != 0) FDc.WinExt = e;
        break;
    }
    case EMR_SETWINDOWORGEX: FDc.WinOrg = Point(r); break;
    case EMR_SETVIEWPORTEXTEX: {
        const QPointF e = Point(r);
        if (e.x() != 0 && e.y() != 0) FDc.VpExt = e;
        break;
    }
    case EMR_SETVIEWPORTORGEX: FDc.VpOrg = Point(r); break;
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SCALEWINDOWEXTEX: {
        const double xn = r.S32LE(), xd = r.S32LE(), yn = r.S32LE(), yd = r.S32LE();
        if (!xn || !xd || !yn || !yd) break;
        QPointF& e = type == EMR_SCALEVIEWPORTEXTEX ? FDc.VpExt : FDc.WinExt;
        e = QPointF(e.x() * xn / xd, e.y() * yn / yd);
        break;
    }
    case EMR_SETPIXELV: {
        const QPointF p = Point(r);
        SetPixel(p, ColorRef(r.U32LE()));
        break;
    }
    case EMR_SETMAPMODE: SetMapMode(int(r.U32LE())); break;
    case EMR_SETBKMODE: FDc.BkMode = int(r.U32LE()); break;
    case EMR_SETPOLYFILLMODE: FDc.PolyFillMode = int(r.U32LE()); break;
    case EMR_SETROP2: FDc.Rop2 = int(r.U32LE()); break;
    case EMR_SETTEXTALIGN: FDc.TextAlign = int(r.U32LE()); break;
    case EMR_SETTEXTCOLOR: FDc.TextColor = ColorRef(r.U32LE()); break;
    case EMR_SETBKCOLOR: FDc.BkColor = ColorRef(r.U32LE()); break;
    case EMR_OFFSETCLIPRGN: OffsetClip(Point(r)); break;
    case EMR_MOVETOEX: MoveTo(Point(r)); break;
    case EMR_EXCLUDECLIPRECT: ExcludeClip(Rect(r)); break;
    case EMR_INTERSECTCLIPRECT: IntersectClip(Rect(r)); break;
    case EMR_SAVEDC: SaveDC(); break;
    case EMR_RESTOREDC: RestoreDC(r.S32LE()); break;
    case EMR_SETWORLDTRANSFORM:
    case EMR_MODIFYWORLDTRANSFORM: {
        float m[6];
        for (float& v : m) v = Float(r);
        const quint32 mode = type == EMR_SETWORLDTRANSFORM ? 4 : r.U32LE();
        const QTransform x(m[0], m[1], m[2], m[3], m[4], m[5]);
        if (mode == 1) {
            FDc.World = QTransform();
            break;
        }
        for (float v : m)
            if (!std::isfinite(v) || std::fabs(v) > 1e9) return;
        if (std::fabs(x.determinant()) < 1e-12) return; // singular: refused, as the display driver does
        if (mode == 2) FDc.World = x * FDc.World;
        else if (mode == 3) FDc.World = FDc.World * x;
        else if (mode == 4) FDc.World = x;
        break;
    }
    case EMR_SELECTOBJECT: {
        const quint32 index = r.U32LE();
        if (index & 0x80000000u) {
            SelectStock(index);
            break;
        }
        TGdiObject* o = Object(index);
        if (!o) break;
        switch (o->Kind) {
        case TGdiObject::Pen: FDc.Pen = o->PenDef; break;
        case TGdiObject::Brush: FDc.Brush = o->BrushDef; break;
        case TGdiObject::Font: FDc.Font = o->FontDef; break;
        default: break;
        }
        break;
    }
    case EMR_CREATEPEN: {
        const quint32 index = r.U32LE();
        TGdiObject o;
        o.Kind = TGdiObject::Pen;
        o.PenDef.Style = int(r.U32LE());
        o.PenDef.Width = r.S32LE();
        r.S32LE();
        o.PenDef.Color = ColorRef(r.U32LE());
        Store(index, std::move(o));
        break;
    }
    case EMR_EXTCREATEPEN: {
        const quint32 index = r.U32LE();
        r.Skip(16); // the pattern bitmap of hatched and pattern pens is not used
        TGdiObject o;
        o.Kind = TGdiObject::Pen;
        o.PenDef.Style = int(r.U32LE());
        o.PenDef.Width = r.U32LE();
        const quint32 brushStyle = r.U32LE();
        o.PenDef.Color = ColorRef(r.U32LE());
        r.U32LE(); // hatch
        const quint32 entries = r.U32LE();
        for (quint32 i = 0; i < entries && r.Remaining() >= 4 && i < 64; ++i) o.PenDef.Dashes.push_back(r.U32LE());
        if ((o.PenDef.Style & 0xF0000) == 0) o.PenDef.Width = 0; // cosmetic: one pixel
        if (brushStyle == BS_NULL) o.PenDef.Style = (o.PenDef.Style & ~0x0F) | PS_NULL;
        Store(index, std::move(o));
        break;
    }
    case EMR_CREATEBRUSHINDIRECT: {
        const quint32 index = r.U32LE();
        TGdiObject o;
        o.Kind = TGdiObject::Brush;
        o.BrushDef.Style = int(r.U32LE());
        o.BrushDef.Color = ColorRef(r.U32LE());
        o.BrushDef.Hatch = int(r.U32LE());
        if (o.BrushDef.Style != BS_SOLID && o.BrushDef.Style != BS_NULL && o.BrushDef.Style != BS_HATCHED)
            o.BrushDef.Style = BS_SOLID;
        Store(index, std::move(o));
        break;
    }
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT: {
        const quint32 index = r.U32LE(), usage = r.U32LE(), offBmi = r.U32LE(), cbBmi = r.U32LE(),
                      offBits = r.U32LE(), cbBits = r.U32LE();
        TGdiObject o;
        o.Kind = TGdiObject::Brush;
        o.BrushDef.Style = BS_DIBPATTERN;
        o.BrushDef.Color = Qt::gray;
        o.BrushDef.Pattern = Dib(offBmi, cbBmi, offBits, cbBits, usage);
        o.BrushDef.MonoPattern = type == EMR_CREATEMONOBRUSH;
        Store(index, std::move(o));
        break;
    }
    case EMR_EXTCREATEFONTINDIRECTW: {
        const quint32 index = r.U32LE();
        TGdiObject o;
        o.Kind = TGdiObject::Font;
        TFontDef& f = o.FontDef;
        f.Height = r.S32LE();
        f.Width = r.S32LE();
        f.Escapement = r.S32LE();
        r.S32LE();
        f.Weight = r.S32LE();
        f.Italic = r.U8();
        f.Underline = r.U8();
        f.StrikeOut = r.U8();
        f.CharSet = r.U8();
        r.Skip(3);
        f.PitchAndFamily = r.U8();
        for (int i = 0; i < 32 && r.Remaining() >= 2; ++i) {
            const char16_t c = r.U16LE();
            if (!c) break;
            f.Face += QChar(c);
        }
        Store(index, std::move(o));
        break;
    }
    case EMR_CREATEPALETTE: {
        const quint32 index = r.U32LE();
        TGdiObject o;
        o.Kind = TGdiObject::Palette;
        r.U16LE();
        const int n = r.U16LE();
        for (int i = 0; i < n && r.Remaining() >= 4; ++i) {
            const int red = r.U8(), green = r.U8(), blue = r.U8();
            r.U8();
            o.Colors << qRgb(red, green, blue);
        }
        Store(index, std::move(o));
        break;
    }
    case EMR_SELECTPALETTE: {
        const quint32 index = r.U32LE();
        if (index & 0x80000000u) {
            FDc.Palette.clear();
            break;
        }
        if (TGdiObject* o = Object(index); o && o->Kind == TGdiObject::Palette) FDc.Palette = o->Colors;
        break;
    }
    case EMR_DELETEOBJECT: {
        const quint32 index = r.U32LE();
        if (index < FObjects.size()) FObjects[index] = TGdiObject();
        break;
    }
    case EMR_ANGLEARC: {
        const QPointF c = Point(r);
        const double radius = r.U32LE();
        double start = Float(r), sweep = Float(r);
        if (!std::isfinite(start) || !std::isfinite(sweep)) break;
        start = std::fmod(start, 360.0);
        sweep = std::clamp(sweep, -360.0, 360.0);
        const QRectF box(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
        // Anticlockwise as seen, from the current position by a line to the arc's start.
        QPainterPath logical(FDc.CurPos);
        logical.arcTo(box, start, sweep);
        FDc.CurPos = logical.currentPosition();
        DrawPath(logical, false, true);
        break;
    }
    case EMR_ELLIPSE: DrawEllipse(Rect(r)); break;
    case EMR_RECTANGLE: DrawRect(Rect(r)); break;
    case EMR_ROUNDRECT: {
        const QRectF box = Rect(r);
        const double w = r.S32LE(), h = r.S32LE();
        DrawRoundRect(box, QSizeF(w, h));
        break;
    }
    case EMR_ARC:
    case EMR_CHORD:
    case EMR_PIE:
    case EMR_ARCTO: {
        const QRectF box = Rect(r);
        const QPointF start = Point(r), end = Point(r);
        if (type == EMR_ARCTO) {
            const QPainterPath arc = ArcPath(box.normalized(), start, end, akArc, FDc.ArcClockwise);
            if (arc.isEmpty()) break;
            QPainterPath p(FDc.CurPos);
            p.connectPath(arc);
            FDc.CurPos = arc.currentPosition();
            DrawPath(p, false, true);
            break;
        }
        DrawArc(box, start, end, type == EMR_ARC ? akArc : type == EMR_PIE ? akPie : akChord);
        break;
    }
    case EMR_LINETO: LineTo(Point(r)); break;
    case EMR_SETARCDIRECTION: FDc.ArcClockwise = r.U32LE() == 2; break;
    case EMR_BEGINPATH: BeginPath(); break;
    case EMR_ENDPATH: EndPath(); break;
    case EMR_CLOSEFIGURE: CloseFigure(); break;
    case EMR_FILLPATH: FillStrokePath(true, false); break;
    case EMR_STROKEANDFILLPATH: FillStrokePath(true, true); break;
    case EMR_STROKEPATH: FillStrokePath(false, true); break;
    case EMR_WIDENPATH: WidenPath(); break;
    case EMR_SELECTCLIPPATH: SelectClipPath(int(r.U32LE())); break;
    case EMR_ABORTPATH: AbortPath(); break;
    case EMR_FILLRGN:
    case EMR_PAINTRGN:
    case EMR_INVERTRGN:
    case EMR_FRAMERGN: {
        r.Skip(16);
        const quint32 size = r.U32LE();
        TBrushDef brush = FDc.Brush;
        if (type == EMR_FILLRGN || type == EMR_FRAMERGN) {
            const quint32 index = r.U32LE();
            if (index & 0x80000000u) {
                const TBrushDef keep = FDc.Brush;
                SelectStock(index);
                brush = FDc.Brush;
                FDc.Brush = keep;
            } else if (TGdiObject* o = Object(index); o && o->Kind == TGdiObject::Brush) {
                brush = o->BrushDef;
            }
        }
        if (type == EMR_FRAMERGN) r.Skip(8);
        const QRegion region = ReadRegion(r, size);
        if (type == EMR_FRAMERGN) {
            QRegion inner = region.translated(1, 0).intersected(region.translated(-1, 0))
                                .intersected(region.translated(0, 1)).intersected(region.translated(0, -1));
            FillRegion(region.subtracted(inner), brush);
        } else {
            FillRegion(region, brush, type == EMR_INVERTRGN);
        }
        break;
    }
    case EMR_EXTSELECTCLIPRGN: {
        const quint32 size = r.U32LE(), mode = r.U32LE();
        if (size == 0 || size < 32) {
            if (mode == RGN_COPY) ResetClip();
            break;
        }
        CombineClip(ReadRegion(r, size), int(mode));
        break;
    }
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT:
    case EMR_MASKBLT: {
        r.Skip(16);
        const double x = r.S32LE(), y = r.S32LE(), cx = r.S32LE(), cy = r.S32LE();
        const quint32 rop = r.U32LE();
        const double sx = r.S32LE(), sy = r.S32LE();
        r.Skip(24); // source transform
        r.U32LE();  // source background colour
        const quint32 usage = r.U32LE(), offBmi = r.U32LE(), cbBmi = r.U32LE(), offBits = r.U32LE(), cbBits = r.U32LE();
        double scx = cx, scy = cy;
        if (type != EMR_BITBLT && type != EMR_MASKBLT) {
            scx = r.S32LE();
            scy = r.S32LE();
        }
        const QRectF dest(x, y, cx, cy);
        if (cbBmi == 0) {
            if (type == EMR_BITBLT || type == EMR_STRETCHBLT) PatBlt(dest, rop);
            break;
        }
        const bool alpha = type == EMR_ALPHABLEND && ((rop >> 24) & 0xFF) == 1; // AC_SRC_ALPHA
        QImage image = Dib(offBmi, cbBmi, offBits, cbBits, usage, alpha);
        if (image.isNull()) break;
        if (type == EMR_ALPHABLEND) {
            const int constant = int((rop >> 16) & 0xFF);
            image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            if (constant != 255) {
                QImage faded(image.size(), QImage::Format_ARGB32_Premultiplied);
                faded.fill(Qt::transparent);
                QPainter p(&faded);
                p.setOpacity(constant / 255.0);
                p.drawImage(0, 0, image);
                p.end();
                image = faded;
            }
            DrawBitmap(image, QRectF(sx, sy, scx, scy), dest, 0x00CC0020);
        } else if (type == EMR_TRANSPARENTBLT) {
            image = image.convertToFormat(QImage::Format_ARGB32);
            const QRgb key = ColorRef(rop).rgb() & 0xFFFFFF;
            for (int row = 0; row < image.height(); ++row) {
                QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(row));
                for (int col = 0; col < image.width(); ++col)
                    if ((line[col] & 0xFFFFFF) == key) line[col] = 0;
            }
            DrawBitmap(image, QRectF(sx, sy, scx, scy), dest, 0x00CC0020);
        } else {
            DrawBitmap(image, QRectF(sx, sy, scx, scy), dest, type == EMR_MASKBLT ? 0x00CC0020 : rop);
        }
        break;
    }
    case EMR_SETDIBITSTODEVICE: {
        r.Skip(16);
        const double x = r.S32LE(), y = r.S32LE(), sx = r.S32LE(), sy = r.S32LE(), cx = r.S32LE(), cy = r.S32LE();
        const quint32 offBmi = r.U32LE(), cbBmi = r.U32LE(), offBits = r.U32LE(), cbBits = r.U32LE(), usage = r.U32LE();
        const QImage image = Dib(offBmi, cbBmi, offBits, cbBits, usage);
        if (image.isNull()) break;
        DrawBitmap(image, QRectF(sx, image.height() - sy - cy, cx, cy), QRectF(x, y, cx, cy), 0x00CC0020);
        break;
    }
    case EMR_STRETCHDIBITS: {
        r.Skip(16);
        const double x = r.S32LE(), y = r.S32LE(), sx = r.S32LE(), sy = r.S32LE(), scx = r.S32LE(), scy = r.S32LE();
        const quint32 offBmi = r.U32LE(), cbBmi = r.U32LE(), offBits = r.U32LE(), cbBits = r.U32LE(), usage = r.U32LE(),
                      rop = r.U32LE();
        const double cx = r.S32LE(), cy = r.S32LE();
        const QImage image = Dib(offBmi, cbBmi, offBits, cbBits, usage);
        if (image.isNull()) {
            PatBlt(QRectF(x, y, cx, cy), rop);
            break;
        }
        // The source rectangle of a bottom-up DIB is measured from its last row.
        const bool topDown = cbBmi >= 12 && offBmi + 12 <= FRecordSize &&
                             qint32(quint32(FRecord[offBmi + 8]) | (quint32(FRecord[offBmi + 9]) << 8) |
                                    (quint32(FRecord[offBmi + 10]) << 16) | (quint32(FRecord[offBmi + 11]) << 24)) < 0 &&
                             FRecord[offBmi] != 12;
        const double top = topDown ? sy : image.height() - sy - scy;
        DrawBitmap(image, QRectF(sx, top, scx, scy), QRectF(x, y, cx, cy), rop);
        break;
    }
    case EMR_EXTTEXTOUTA: Text(r, false); break;
    case EMR_EXTTEXTOUTW: Text(r, true); break;
    case EMR_SMALLTEXTOUT: {
        const QPointF ref = Point(r);
        const quint32 n = r.U32LE(), options = r.U32LE();
        r.Skip(12);
        QRectF rect;
        const bool haveRect = !(options & 0x100);
        if (haveRect) rect = Rect(r);
        if (options & ETO_GLYPH_INDEX) break;
        QString text;
        if (options & 0x200) {
            const uchar* s = r.Take(n);
            text = DecodeAnsi(s, n, FDc.Font.CharSet);
        } else {
            if (n > r.Remaining() / 2) throw EReadError();
            for (quint32 i = 0; i < n; ++i) text += QChar(char16_t(r.U16LE()));
        }
        DrawText(ref, text, {}, int(options), haveRect ? &rect : nullptr, true);
        break;
    }
    case EMR_GRADIENTFILL: GradientFill(r); break;
    default: break; // comments, colour management, palettes animation and the rest: skipped
    }
}

void TEmfPlayer::Play(const QByteArray& data) {
    const uchar* d = reinterpret_cast<const uchar*>(data.constData());
    const qint64 size = data.size();
    qint64 pos = 0;
    bool first = true;
    while (pos + 8 <= size) {
        TByteReader head(d + pos, 8);
        const quint32 type = head.U32LE();
        const quint32 recordSize = head.U32LE();
        if (recordSize < 8 || recordSize > size - pos) break; // truncated or damaged: what was drawn stays
        if (first && type != EMR_HEADER) break;
        first = false;
        if (type == EMR_EOF) break;
        FRecord = d + pos;
        FRecordSize = recordSize;
        TByteReader params(d + pos + 8, recordSize - 8);
        try {
            Record(type, params);
        } catch (const Exception&) {
            // A record shorter than its fields, or a bitmap beyond the pixel limit: skipped.
        } catch (const std::bad_alloc&) {
        }
        pos += (recordSize + 3) & ~qint64(3);
    }
}

} // namespace

void PlayEmf(const QByteArray& data, QPainter& painter, const QTransform& output, const QRectF& clip) {
    TEmfPlayer player(painter, output, clip);
    player.Play(data);
}

} // namespace mf
