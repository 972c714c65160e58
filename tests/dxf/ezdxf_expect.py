"""What a DXF file should give when read by our rules, worked out with ezdxf.

ezdxf parses the file and supplies each INSERT's transformation; this script
only counts the triangles our reader makes of 3DFACE entities, polyface and
polygon meshes, and the walls of extruded 2D outlines, and collects the
points they use.
"""
import struct
import sys

import ezdxf
from ezdxf import recover
from ezdxf.math import Matrix44, Vec3

SKIPPED = {"AME_SOL", "AME_NIL", "AME_FRZ", "AVE_RENDER", "AME_JNK"}
HEIGHT = 1.0  # the default extrusion amount


def single(p):
    """A point as the model stores it: three 32-bit floats."""
    return tuple(struct.unpack("f", struct.pack("f", c))[0] for c in p)


def distinct(a, b, c):
    a, b, c = single(a), single(b), single(c)
    return a != b and b != c and a != c


class Expect:
    def __init__(self):
        self.triangles = 0  # faces and meshes
        self.walls = 0
        self.outlines = []  # point counts
        self.points = []

    def triangle(self, m, a, b, c):
        if distinct(a, b, c):
            self.triangles += 1
            self.points += [m.transform(Vec3(p)) for p in (a, b, c)]

    def outline(self, m, xy):
        self.outlines.append(len(xy))
        n = len(xy)
        for k in range(n):
            if xy[k] != xy[(k + 1) % n]:
                self.walls += 2
        if n >= 3 or self.walls:
            for x, y in xy:
                self.points += [m.transform(Vec3(x, y, 0)), m.transform(Vec3(x, y, HEIGHT))]

    def entities(self, doc, entities, m, depth):
        for e in entities:
            kind = e.dxftype()
            if kind == "3DFACE":
                v = [tuple(e.dxf.get("vtx%d" % i, (0, 0, 0))) for i in range(3)]
                v.append(tuple(e.dxf.vtx3) if e.dxf.hasattr("vtx3") else v[2])
                self.triangle(m, v[0], v[1], v[2])
                self.triangle(m, v[0], v[2], v[3])
            elif kind == "LWPOLYLINE":
                self.outline(m, [tuple(p) for p in e.get_points("xy")])
            elif kind == "POLYLINE":
                self.polyline(m, e)
            elif kind == "INSERT" and depth < 16:
                name = e.dxf.name
                if name.startswith("*") or name in SKIPPED or name not in doc.blocks:
                    continue
                self.entities(doc, doc.blocks[name], e.matrix44() * m, depth + 1)

    def polyline(self, m, e):
        flags = e.dxf.flags
        if flags & (8 | 16 | 64) == 0:
            self.outline(m, [tuple(v.dxf.location)[:2] for v in e.vertices])
            return
        points = [tuple(v.dxf.location) for v in e.vertices if v.dxf.flags & 64]
        for v in e.vertices:
            if v.dxf.flags & 128 and not v.dxf.flags & 64:
                corners = [abs(v.dxf.get("vtx%d" % i, 0)) for i in range(4)]
                corners = [c for c in corners if c]
                if len(corners) < 3 or max(corners) > len(points):
                    continue
                c = [points[i - 1] for i in corners]
                self.triangle(m, c[0], c[1], c[2])
                if len(c) == 4:
                    self.triangle(m, c[0], c[2], c[3])
        if flags & 16:
            mc, nc = e.dxf.m_count, e.dxf.n_count
            cm, cn = flags & 1, 1 if flags & 32 else 0
            at = lambda r, c: points[r * nc + c] if r * nc + c < len(points) else None
            for i in range(1, nc + cn):
                for j in range(1, mc + cm):
                    q = [at(j % mc, i % nc), at((j - 1) % mc, i % nc), at((j - 1) % mc, (i - 1) % nc), at(j % mc, (i - 1) % nc)]
                    if None in q:
                        continue
                    self.triangle(m, q[0], q[1], q[2])
                    self.triangle(m, q[0], q[2], q[3])


def main(path):
    """Prints "key value..." lines, or "unreadable" when ezdxf gives up."""
    try:
        doc, _ = recover.readfile(path)
    except Exception:
        print("unreadable")
        return
    x = Expect()
    x.entities(doc, doc.modelspace(), Matrix44(), 0)
    print("triangles", x.triangles)
    print("walls", x.walls)
    print("outlines", *x.outlines)
    if x.points:
        print("min", *(min(p[k] for p in x.points) for k in range(3)))
        print("max", *(max(p[k] for p in x.points) for k in range(3)))


main(sys.argv[1])
