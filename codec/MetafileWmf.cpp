// The WMF player: 16-bit records, an object table filled in creation order, parameters stored last first.
#include "codec/MetafilePlayer.h"

#include "codec/Stream.h"

#include <QRegion>

#include <cmath>
#include <optional>
#include <vector>
#include <new>

namespace mf {

namespace {

enum : quint16 {
    META_EOF = 0x0000,
    META_SAVEDC = 0x001E,
    META_REALIZEPALETTE = 0x0035,
    META_CREATEPALETTE = 0x00F7,
    META_SETBKMODE = 0x0102,
    META_SETMAPMODE = 0x0103,
    META_SETROP2 = 0x0104,
    META_SETPOLYFILLMODE = 0x0106,
    META_SETSTRETCHBLTMODE = 0x0107,
    META_SETTEXTCHAREXTRA = 0x0108,
    META_RESTOREDC = 0x0127,
    META_SELECTCLIPREGION = 0x012C,
    META_SELECTOBJECT = 0x012D,
    META_SETTEXTALIGN = 0x012E,
    META_DIBCREATEPATTERNBRUSH = 0x0142,
    META_DELETEOBJECT = 0x01F0,
    META_CREATEPATTERNBRUSH = 0x01F9,
    META_SETBKCOLOR = 0x0201,
    META_SETTEXTCOLOR = 0x0209,
    META_SETWINDOWORG = 0x020B,
    META_SETWINDOWEXT = 0x020C,
    META_SETVIEWPORTORG = 0x020D,
    META_SETVIEWPORTEXT = 0x020E,
    META_OFFSETWINDOWORG = 0x020F,
    META_OFFSETVIEWPORTORG = 0x0211,
    META_LINETO = 0x0213,
    META_MOVETO = 0x0214,
    META_OFFSETCLIPRGN = 0x0220,
    META_SELECTPALETTE = 0x0234,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325,
    META_SCALEWINDOWEXT = 0x0410,
    META_SCALEVIEWPORTEXT = 0x0412,
    META_EXCLUDECLIPRECT = 0x0415,
    META_INTERSECTCLIPRECT = 0x0416,
    META_ELLIPSE = 0x0418,
    META_RECTANGLE = 0x041B,
    META_SETPIXEL = 0x041F,
    META_TEXTOUT = 0x0521,
    META_POLYPOLYGON = 0x0538,
    META_PATBLT = 0x061D,
    META_ROUNDRECT = 0x061C,
    META_CREATEREGION = 0x06FF,
    META_ARC = 0x0817,
    META_PIE = 0x081A,
    META_CHORD = 0x0830,
    META_BITBLT = 0x0922,
    META_DIBBITBLT = 0x0940,
    META_EXTTEXTOUT = 0x0A32,
    META_STRETCHBLT = 0x0B23,
    META_DIBSTRETCHBLT = 0x0B41,
    META_SETDIBTODEV = 0x0D33,
    META_STRETCHDIB = 0x0F43,
};

QColor ColorRef(quint32 v) { return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)); }

class TWmfPlayer : public TPlayer {
public:
    TWmfPlayer(QPainter& painter, const QTransform& output, const QRectF& clip, const QRectF& frame, int objects)
        : TPlayer(painter, output, clip), FObjects(size_t(std::clamp(objects, 0, 65535))) {
        // The picture's device space starts at the frame's corner; the records' window maps onto it.
        FDc.MapMode = MM_ANISOTROPIC;
        FDc.WinOrg = frame.topLeft();
        FDc.WinExt = QPointF(frame.width(), frame.height());
        FDc.VpOrg = QPointF(0, 0);
        FDc.VpExt = QPointF(std::fabs(frame.width()), std::fabs(frame.height()));
    }

    void Play(const QByteArray& data);

private:
    void Record(quint16 function, TByteReader& r, qint64 recordWords);
    void AddObject(TGdiObject object);
    TGdiObject* Object(int index) {
        return index >= 0 && size_t(index) < FObjects.size() && FObjects[size_t(index)].Kind != TGdiObject::None
                   ? &FObjects[size_t(index)]
                   : nullptr;
    }
    QImage ReadDib(TByteReader& r, int usage);
    void Blit(TByteReader& r, quint16 function, qint64 recordWords);
    static QRectF Box(TByteReader& r) { // bottom, right, top, left
        const double b = r.S16LE(), rt = r.S16LE(), t = r.S16LE(), l = r.S16LE();
        return QRectF(QPointF(l, t), QPointF(rt, b));
    }
    static QPointF PointYX(TByteReader& r) {
        const double y = r.S16LE();
        return QPointF(r.S16LE(), y);
    }
    static QPolygonF Points(TByteReader& r, qint64 count) {
        if (count < 0 || count * 4 > r.Remaining()) throw EReadError();
        QPolygonF pts;
        pts.reserve(count);
        for (qint64 i = 0; i < count; ++i) {
            const double x = r.S16LE();
            pts << QPointF(x, r.S16LE());
        }
        return pts;
    }

    std::vector<TGdiObject> FObjects;
};

void TWmfPlayer::AddObject(TGdiObject object) {
    for (auto& slot : FObjects)
        if (slot.Kind == TGdiObject::None) {
            slot = std::move(object);
            return;
        }
    // A table smaller than the records need: grow it, within the 16-bit index range.
    if (FObjects.size() < 65535) FObjects.push_back(std::move(object));
}

QImage TWmfPlayer::ReadDib(TByteReader& r, int usage) {
    // The rest of the record: the header, its colour table, then the bits.
    return DecodePackedDib(r.Data() + r.Pos(), r.Remaining(), FDc.Palette, usage == 1);
}

void TWmfPlayer::Blit(TByteReader& r, quint16 function, qint64 recordWords) {
    const quint32 rop = r.U32LE();
    const bool noSource = recordWords == (function >> 8) + 3;
    QRectF src, dest;
    QImage image;
    switch (function) {
    case META_STRETCHDIB: {
        const int usage = r.U16LE();
        const double sh = r.S16LE(), sw = r.S16LE(), sy = r.S16LE(), sx = r.S16LE();
        const double dh = r.S16LE(), dw = r.S16LE(), dy = r.S16LE(), dx = r.S16LE();
        image = ReadDib(r, usage);
        // The source rectangle of a bottom-up DIB is measured from its last row.
        src = QRectF(sx, image.isNull() ? sy : image.height() - sy - sh, sw, sh);
        dest = QRectF(dx, dy, dw, dh);
        break;
    }
    case META_SETDIBTODEV: {
        const int usage = r.U16LE();
        r.U16LE(); // scan count
        r.U16LE(); // start scan
        const double sy = r.S16LE(), sx = r.S16LE(), h = r.S16LE(), w = r.S16LE(), dy = r.S16LE(), dx = r.S16LE();
        image = ReadDib(r, usage);
        src = QRectF(sx, image.isNull() ? sy : image.height() - sy - h, w, h);
        dest = QRectF(dx, dy, w, h);
        DrawBitmap(image, src, dest, 0x00CC0020);
        return;
    }
    case META_DIBSTRETCHBLT:
    case META_STRETCHBLT: {
        const double sh = r.S16LE(), sw = r.S16LE(), sy = r.S16LE(), sx = r.S16LE();
        if (noSource) r.U16LE();
        const double dh = r.S16LE(), dw = r.S16LE(), dy = r.S16LE(), dx = r.S16LE();
        if (!noSource && function == META_DIBSTRETCHBLT) image = ReadDib(r, 0);
        src = QRectF(sx, sy, sw, sh);
        dest = QRectF(dx, dy, dw, dh);
        break;
    }
    default: { // META_DIBBITBLT, META_BITBLT
        const double sy = r.S16LE(), sx = r.S16LE();
        if (noSource) r.U16LE();
        const double h = r.S16LE(), w = r.S16LE(), dy = r.S16LE(), dx = r.S16LE();
        if (!noSource && function == META_DIBBITBLT) image = ReadDib(r, 0);
        src = QRectF(sx, sy, w, h);
        dest = QRectF(dx, dy, w, h);
        break;
    }
    }
    if (noSource) {
        PatBlt(dest, rop);
        return;
    }
    // Device-dependent bitmaps of the oldest metafiles are not drawn.
    if (image.isNull()) return;
    DrawBitmap(image, src, dest, rop);
}

void TWmfPlayer::Record(quint16 function, TByteReader& r, qint64 recordWords) {
    switch (function) {
    case META_SAVEDC: SaveDC(); break;
    case META_RESTOREDC: RestoreDC(r.S16LE()); break;
    case META_SETBKMODE: FDc.BkMode = r.U16LE(); break;
    case META_SETMAPMODE: {
        // The picture's own space stands for the device: only the isotropic constraint changes anything.
        const int mode = r.U16LE();
        FDc.MapMode = mode == MM_ISOTROPIC ? MM_ISOTROPIC : mode == MM_TEXT ? MM_TEXT : MM_ANISOTROPIC;
        break;
    }
    case META_SETROP2: FDc.Rop2 = r.U16LE(); break;
    case META_SETPOLYFILLMODE: FDc.PolyFillMode = r.U16LE(); break;
    case META_SETSTRETCHBLTMODE: break;
    case META_SETTEXTCHAREXTRA: FDc.CharExtra = r.S16LE(); break;
    case META_SETTEXTALIGN: FDc.TextAlign = r.U16LE(); break;
    case META_SETBKCOLOR: FDc.BkColor = ColorRef(r.U32LE()); break;
    case META_SETTEXTCOLOR: FDc.TextColor = ColorRef(r.U32LE()); break;
    case META_SETWINDOWORG: FDc.WinOrg = PointYX(r); break;
    case META_SETWINDOWEXT: {
        const QPointF e = PointYX(r);
        if (e.x() != 0 && e.y() != 0) FDc.WinExt = e;
        break;
    }
    case META_SETVIEWPORTORG:
    case META_SETVIEWPORTEXT:
    case META_OFFSETVIEWPORTORG:
    case META_SCALEVIEWPORTEXT:
        break; // the viewport is where the picture is drawn
    case META_OFFSETWINDOWORG: FDc.WinOrg += PointYX(r); break;
    case META_SCALEWINDOWEXT: {
        const double yd = r.S16LE(), yn = r.S16LE(), xd = r.S16LE(), xn = r.S16LE();
        if (xd && yd && xn && yn) FDc.WinExt = QPointF(FDc.WinExt.x() * xn / xd, FDc.WinExt.y() * yn / yd);
        break;
    }
    case META_MOVETO: MoveTo(PointYX(r)); break;
    case META_LINETO: LineTo(PointYX(r)); break;
    case META_POLYLINE: DrawPolyline(Points(r, r.S16LE())); break;
    case META_POLYGON: DrawPolygons({Points(r, r.S16LE())}); break;
    case META_POLYPOLYGON: {
        const int n = r.U16LE();
        std::vector<int> counts(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) counts[size_t(i)] = r.U16LE();
        QVector<QPolygonF> polys;
        for (int c : counts) polys << Points(r, c);
        DrawPolygons(polys);
        break;
    }
    case META_RECTANGLE: DrawRect(Box(r)); break;
    case META_ELLIPSE: DrawEllipse(Box(r)); break;
    case META_ROUNDRECT: {
        const double h = r.S16LE(), w = r.S16LE();
        DrawRoundRect(Box(r), QSizeF(w, h));
        break;
    }
    case META_ARC:
    case META_PIE:
    case META_CHORD: {
        const QPointF end = PointYX(r), start = PointYX(r);
        const QRectF box = Box(r);
        DrawArc(box, start, end, function == META_ARC ? akArc : function == META_PIE ? akPie : akChord);
        break;
    }
    case META_SETPIXEL: {
        const QColor c = ColorRef(r.U32LE());
        SetPixel(PointYX(r), c);
        break;
    }
    case META_TEXTOUT: {
        const int n = r.S16LE();
        if (n < 0) break;
        const uchar* s = r.Take(n);
        if (n & 1) r.Skip(1);
        const QPointF p = PointYX(r);
        DrawText(p, DecodeAnsi(s, n, FDc.Font.CharSet), {}, 0, nullptr, true);
        break;
    }
    case META_EXTTEXTOUT: {
        const QPointF p = PointYX(r);
        const int n = r.S16LE();
        const int options = r.U16LE();
        if (n < 0) break;
        QRectF rect;
        const bool haveRect = (options & (ETO_OPAQUE | ETO_CLIPPED)) && r.Remaining() >= 8 + n;
        if (haveRect) {
            const double l = r.S16LE(), t = r.S16LE(), rt = r.S16LE(), b = r.S16LE();
            rect = QRectF(QPointF(l, t), QPointF(rt, b));
        }
        const uchar* s = r.Take(n);
        if ((n & 1) && r.Remaining() > 0) r.Skip(1);
        std::vector<double> dx;
        if (r.Remaining() >= qint64(n) * 2)
            for (int i = 0; i < n; ++i) dx.push_back(r.S16LE());
        const QString text = DecodeAnsi(s, n, FDc.Font.CharSet);
        if (dx.size() != size_t(text.size())) dx.clear(); // double-byte text: advances per byte
        DrawText(p, text, dx, options, haveRect ? &rect : nullptr, true);
        break;
    }
    case META_CREATEPENINDIRECT: {
        TGdiObject o;
        o.Kind = TGdiObject::Pen;
        o.PenDef.Style = r.U16LE();
        o.PenDef.Width = r.S16LE();
        r.S16LE();
        o.PenDef.Color = ColorRef(r.U32LE());
        AddObject(std::move(o));
        break;
    }
    case META_CREATEBRUSHINDIRECT: {
        TGdiObject o;
        o.Kind = TGdiObject::Brush;
        o.BrushDef.Style = r.U16LE();
        o.BrushDef.Color = ColorRef(r.U32LE());
        o.BrushDef.Hatch = r.U16LE();
        if (o.BrushDef.Style != BS_SOLID && o.BrushDef.Style != BS_NULL && o.BrushDef.Style != BS_HATCHED)
            o.BrushDef.Style = BS_SOLID;
        AddObject(std::move(o));
        break;
    }
    case META_CREATEFONTINDIRECT: {
        TGdiObject o;
        o.Kind = TGdiObject::Font;
        TFontDef& f = o.FontDef;
        f.Height = r.S16LE();
        f.Width = r.S16LE();
        f.Escapement = r.S16LE();
        r.S16LE(); // orientation
        f.Weight = r.S16LE();
        f.Italic = r.U8();
        f.Underline = r.U8();
        f.StrikeOut = r.U8();
        f.CharSet = r.U8();
        r.Skip(3);
        f.PitchAndFamily = r.U8();
        const qint64 n = std::min<qint64>(32, r.Remaining());
        const uchar* s = r.Take(n);
        f.Face = DecodeAnsi(s, qstrnlen(reinterpret_cast<const char*>(s), size_t(n)), 0);
        AddObject(std::move(o));
        break;
    }
    case META_DIBCREATEPATTERNBRUSH: {
        TGdiObject o;
        o.Kind = TGdiObject::Brush;
        const int style = r.U16LE();
        const int usage = r.U16LE();
        o.BrushDef.Style = BS_DIBPATTERN;
        o.BrushDef.Pattern = ReadDib(r, style == BS_PATTERN ? 0 : usage);
        o.BrushDef.Color = Qt::gray;
        AddObject(std::move(o));
        break;
    }
    case META_CREATEPATTERNBRUSH: {
        // Device-dependent pattern: a grey of the same coverage stands for it.
        TGdiObject o;
        o.Kind = TGdiObject::Brush;
        o.BrushDef.Style = BS_SOLID;
        o.BrushDef.Color = Qt::gray;
        AddObject(std::move(o));
        break;
    }
    case META_CREATEPALETTE: {
        TGdiObject o;
        o.Kind = TGdiObject::Palette;
        r.U16LE();
        const int n = r.U16LE();
        for (int i = 0; i < n && r.Remaining() >= 4; ++i) {
            const int red = r.U8(), green = r.U8(), blue = r.U8();
            r.U8();
            o.Colors << qRgb(red, green, blue);
        }
        AddObject(std::move(o));
        break;
    }
    case META_CREATEREGION: {
        TGdiObject o;
        o.Kind = TGdiObject::Region;
        r.Skip(10); // next in chain, type, object count, region size
        const int scans = r.S16LE();
        r.Skip(2 + 8); // max scan, bounding rectangle
        for (int i = 0; i < scans; ++i) {
            const int count = r.U16LE();
            const double top = r.S16LE(), bottom = r.S16LE();
            for (int k = 0; k + 1 < count; k += 2) {
                const double left = r.S16LE(), right = r.S16LE();
                o.Area.addRect(QRectF(QPointF(left, top), QPointF(right, bottom)));
            }
            if (count & 1) r.Skip(2);
            r.Skip(2);
        }
        AddObject(std::move(o));
        break;
    }
    case META_SELECTOBJECT: {
        TGdiObject* o = Object(r.U16LE());
        if (!o) break;
        switch (o->Kind) {
        case TGdiObject::Pen: FDc.Pen = o->PenDef; break;
        case TGdiObject::Brush: FDc.Brush = o->BrushDef; break;
        case TGdiObject::Font: FDc.Font = o->FontDef; break;
        case TGdiObject::Region: CombineClip(LogicalToRegion(o->Area), RGN_COPY); break;
        default: break;
        }
        break;
    }
    case META_SELECTPALETTE: {
        TGdiObject* o = Object(r.U16LE());
        if (o && o->Kind == TGdiObject::Palette) FDc.Palette = o->Colors;
        break;
    }
    case META_DELETEOBJECT: {
        const int i = r.U16LE();
        if (i >= 0 && size_t(i) < FObjects.size()) FObjects[size_t(i)] = TGdiObject();
        break;
    }
    case META_SELECTCLIPREGION: {
        TGdiObject* o = Object(r.U16LE());
        if (o && o->Kind == TGdiObject::Region)
            CombineClip(LogicalToRegion(o->Area), RGN_COPY);
        else
            ResetClip();
        break;
    }
    case META_EXCLUDECLIPRECT: ExcludeClip(Box(r)); break;
    case META_INTERSECTCLIPRECT: IntersectClip(Box(r)); break;
    case META_OFFSETCLIPRGN: OffsetClip(PointYX(r)); break;
    case META_PATBLT: {
        const quint32 rop = r.U32LE();
        const double h = r.S16LE(), w = r.S16LE(), y = r.S16LE(), x = r.S16LE();
        PatBlt(QRectF(x, y, w, h), rop);
        break;
    }
    case META_STRETCHDIB:
    case META_SETDIBTODEV:
    case META_DIBSTRETCHBLT:
    case META_STRETCHBLT:
    case META_DIBBITBLT:
    case META_BITBLT:
        Blit(r, function, recordWords);
        break;
    default: break; // escapes, palettes animation, flood fills and the rest: skipped
    }
}

void TWmfPlayer::Play(const QByteArray& data) {
    TByteReader r(data);
    r.Skip(2);
    const qint64 headerWords = r.U16LE();
    qint64 pos = headerWords * 2;
    const qint64 size = data.size();
    while (pos + 6 <= size) {
        r.Seek(pos);
        const qint64 words = r.U32LE();
        const quint16 function = r.U16LE();
        if (words < 3 || words > (size - pos) / 2) break; // truncated or damaged: what was drawn stays
        if (function == META_EOF) break;
        TByteReader params(reinterpret_cast<const uchar*>(data.constData()) + pos + 6, words * 2 - 6);
        try {
            Record(function, params, words);
        } catch (const Exception&) {
            // A record shorter than its fields, or a bitmap beyond the pixel limit: skipped.
        } catch (const std::bad_alloc&) {
        }
        pos += words * 2;
    }
}

} // namespace

void PlayWmf(const QByteArray& data, QPainter& painter, const QTransform& output, const QRectF& clip,
             const QRectF& frame) {
    if (data.size() < 18) return;
    const uchar* d = reinterpret_cast<const uchar*>(data.constData());
    TWmfPlayer player(painter, output, clip, frame, d[12] | (d[13] << 8));
    player.Play(data);
}

// Records that put something on the page.
bool Draws(int function) {
    switch (function) {
    case META_LINETO:
    case META_POLYLINE:
    case META_POLYGON:
    case META_POLYPOLYGON:
    case META_RECTANGLE:
    case META_ROUNDRECT:
    case META_ELLIPSE:
    case META_ARC:
    case META_PIE:
    case META_CHORD:
    case META_SETPIXEL:
    case META_TEXTOUT:
    case META_EXTTEXTOUT:
    case META_PATBLT:
    case META_BITBLT:
    case META_DIBBITBLT:
    case META_STRETCHBLT:
    case META_DIBSTRETCHBLT:
    case META_SETDIBTODEV:
    case META_STRETCHDIB:
    case 0x0228: // FILLREGION
    case 0x0429: // FRAMEREGION
    case 0x012A: // INVERTREGION
    case 0x012B: // PAINTREGION
    case 0x0419: // FLOODFILL
    case 0x0548: // EXTFLOODFILL
        return true;
    default: return false;
    }
}

// The window a WMF draws in, for metafiles without a placeable header: its origin and extent as the
// records have set them when the first thing is drawn (an extent set only later: the first one set).
// The origin a file moves to afterwards, for what it draws later, does not move the picture.
bool WmfWindow(const QByteArray& data, QRectF& window) {
    if (data.size() < 18) return false;
    const uchar* d = reinterpret_cast<const uchar*>(data.constData());
    qint64 pos = qint64(d[2] | (d[3] << 8)) * 2;
    const qint64 size = data.size();
    struct TWindow {
        QPointF Org{0, 0}, Ext;
        bool HaveExt = false;
    };
    TWindow w;
    std::vector<TWindow> saved;
    std::optional<TWindow> atFirstDraw;
    std::optional<QPointF> firstExt;
    auto s16 = [&](qint64 at) { return double(qint16(d[at] | (d[at + 1] << 8))); };
    while (pos + 6 <= size) {
        const qint64 words = qint64(d[pos]) | (qint64(d[pos + 1]) << 8) | (qint64(d[pos + 2]) << 16) | (qint64(d[pos + 3]) << 24);
        const int function = d[pos + 4] | (d[pos + 5] << 8);
        if (words < 3 || words > (size - pos) / 2 || function == META_EOF) break;
        const qint64 params = words - 3; // 16-bit parameters
        const qint64 p = pos + 6;
        if ((function == META_SETWINDOWORG || function == META_OFFSETWINDOWORG) && params >= 2) {
            const QPointF v(s16(p + 2), s16(p));
            w.Org = function == META_SETWINDOWORG ? v : w.Org + v;
        } else if (function == META_SETWINDOWEXT && params >= 2) {
            const QPointF e(s16(p + 2), s16(p));
            if (e.x() != 0 && e.y() != 0) {
                w.Ext = e;
                w.HaveExt = true;
                if (!firstExt) firstExt = e;
            }
        } else if (function == META_SCALEWINDOWEXT && params >= 4 && w.HaveExt) {
            const double yd = s16(p), yn = s16(p + 2), xd = s16(p + 4), xn = s16(p + 6);
            if (xd && yd && xn && yn) w.Ext = QPointF(w.Ext.x() * xn / xd, w.Ext.y() * yn / yd);
        } else if (function == META_SAVEDC) {
            if (saved.size() < 10000) saved.push_back(w);
        } else if (function == META_RESTOREDC && params >= 1) {
            const qint64 n = qint64(s16(p));
            const qint64 target = n < 0 ? qint64(saved.size()) + n : n - 1;
            if (target >= 0 && target < qint64(saved.size())) {
                w = saved[size_t(target)];
                saved.resize(size_t(target));
            }
        } else if (Draws(function) && !atFirstDraw) {
            atFirstDraw = w;
            if (w.HaveExt) break;
        }
        pos += words * 2;
    }
    if (atFirstDraw && atFirstDraw->HaveExt) {
        window = QRectF(atFirstDraw->Org, QSizeF(atFirstDraw->Ext.x(), atFirstDraw->Ext.y()));
        return true;
    }
    if (!firstExt) return false;
    const QPointF org = atFirstDraw ? atFirstDraw->Org : w.Org;
    window = QRectF(org, QSizeF(firstExt->x(), firstExt->y()));
    return true;
}

} // namespace mf
