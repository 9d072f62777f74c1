#!/usr/bin/python3
"""Writes the DXF fixtures made by an independent writer (ezdxf, Debian's python3-ezdxf 0.18).

Run from this folder: /usr/bin/python3 make.py
The geometry is chosen so that the tests can check pixels at known places; keep it in step with
tests/formats/DxfFilesTest.cpp.
"""
import ezdxf
from ezdxf.math import Vec3


def header_sentinels(doc):
    # Files of an empty drawing carry the "no extents" sentinels; keep them so the reader must ignore them.
    doc.header["$EXTMIN"] = (1e20, 1e20, 1e20)
    doc.header["$EXTMAX"] = (-1e20, -1e20, -1e20)


def r12():
    """R12: the classic entities, a block inserted rotated and scaled, attributes, a bulged polyline."""
    doc = ezdxf.new("R12")
    header_sentinels(doc)
    doc.layers.add("RED", color=1)
    doc.layers.add("GREEN", color=3)
    blk = doc.blocks.new("MARK", base_point=(0, 0))
    blk.add_line((0, 0), (10, 0), dxfattribs={"color": 5})
    blk.add_circle((10, 0), 2, dxfattribs={"color": 5})
    blk.add_attdef("TAG", (0, -4), dxfattribs={"height": 2})
    msp = doc.modelspace()
    msp.add_line((0, 0), (100, 0), dxfattribs={"layer": "RED"})
    msp.add_line((0, 0), (0, 100), dxfattribs={"layer": "GREEN"})
    msp.add_circle((50, 50), 20, dxfattribs={"color": 1})
    msp.add_arc((50, 50), 30, 0, 90, dxfattribs={"color": 3})
    msp.add_text("R12", dxfattribs={"height": 5, "insert": (5, 90)})
    msp.add_solid([(70, 10), (90, 10), (70, 20), (90, 20)], dxfattribs={"color": 5})
    msp.add_3dface([(10, 60), (20, 60), (20, 70), (10, 70)])
    msp.add_point((95, 95))
    # A polyline with one bulge of 1 (a half circle) from (10, 30) to (30, 30), bulging upwards (clockwise).
    pl = msp.add_polyline2d([(10, 30), (30, 30)], dxfattribs={"color": 6})
    pl.vertices[0].dxf.bulge = -1
    ins = msp.add_blockref("MARK", (60, 80), dxfattribs={"rotation": 90, "xscale": 2, "yscale": 1})
    ins.add_attrib("TAG", "A1", (60, 76), dxfattribs={"height": 2})
    doc.saveas("ezdxf_r12.dxf")


def r2000():
    """R2000: LWPOLYLINE with bulges, ELLIPSE, SPLINE, MTEXT, solid HATCH and a linear DIMENSION."""
    doc = ezdxf.new("R2000", setup=True)
    header_sentinels(doc)
    msp = doc.modelspace()
    msp.add_line((0, 0), (100, 100), dxfattribs={"color": 8})
    # A slot: straight sides with half-circle ends (bulge 1).
    msp.add_lwpolyline([(20, 10, 0, 0, 0), (40, 10, 0, 0, 1), (40, 20, 0, 0, 0), (20, 20, 0, 0, 1)],
                       format="xyseb", dxfattribs={"closed": True, "color": 1})
    msp.add_ellipse((70, 20), major_axis=(15, 0), ratio=0.5, dxfattribs={"color": 5})
    msp.add_ellipse((70, 50), major_axis=(0, 10), ratio=0.5, start_param=0, end_param=3.14159265,
                    dxfattribs={"color": 5})
    msp.add_spline(fit_points=[(10, 40), (20, 55), (30, 40), (40, 55)], dxfattribs={"color": 3})
    msp.add_mtext("First line\\PSecond {\\fArial|b1;bold} line",
                  dxfattribs={"insert": (10, 90), "char_height": 4, "attachment_point": 1})
    hatch = msp.add_hatch(color=2)
    hatch.paths.add_polyline_path([(60, 70), (90, 70), (90, 90), (60, 90)], is_closed=True)
    dim = msp.add_linear_dim(base=(20, 70), p1=(10, 65), p2=(40, 65), dimstyle="EZDXF")
    dim.render()
    doc.saveas("ezdxf_r2000.dxf")


def r2018():
    """R2018: a hatch bounded by line and arc edges, an insert of a block defined with a base point."""
    doc = ezdxf.new("R2018")
    header_sentinels(doc)
    blk = doc.blocks.new("BOX", base_point=(5, 5))
    blk.add_lwpolyline([(0, 0), (10, 0), (10, 10), (0, 10)], close=True)
    msp = doc.modelspace()
    msp.add_blockref("BOX", (20, 20))
    msp.add_blockref("BOX", (80, 20), dxfattribs={"xscale": -1})
    hatch = msp.add_hatch(color=1)
    path = hatch.paths.add_edge_path()
    path.add_line((40, 40), (60, 40))
    path.add_arc((50, 40), 10, 0, 180, ccw=True)
    msp.add_text("2018", dxfattribs={"height": 4, "insert": (40, 70), "rotation": 90})
    msp.add_circle((50, 80), 15)
    doc.saveas("ezdxf_r2018.dxf")


if __name__ == "__main__":
    r12()
    r2000()
    r2018()
