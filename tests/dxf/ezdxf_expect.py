"""What a DXF file should give when read by our rules, worked out with ezdxf.

    ezdxf_expect.py FILE        the counts and the box of FILE
    ezdxf_expect.py --make DIR  writes the drawings below into DIR and prints,
                                for each, the world position of every point
                                our triangles should use

For FILE, ezdxf parses the file and supplies each INSERT's transformation
(array copies included) and each 2D outline's object coordinate system; this
script only counts the triangles our reader makes of 3DFACE entities, polyface
and polygon meshes, and the walls of extruded 2D outlines, and collects the
points they use.

For --make, the positions come from ezdxf's own block expansion: every INSERT
(every copy of an array) is replaced by its virtual entities, recursively, and
each outline is taken where ezdxf puts it, in its own object coordinate
system; the top of an extruded outline is the same outline raised by the
extrusion amount, expanded the same way.
"""
import os
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

    def outline(self, m, ocs, elevation, xy):
        """A 2D outline in its object coordinate system: in the plane z =
        elevation there, extruded along that system's Z axis."""
        self.outlines.append(len(xy))
        n = len(xy)
        for k in range(n):
            if xy[k] != xy[(k + 1) % n]:
                self.walls += 2
        if n >= 3 or self.walls:
            for x, y in xy:
                for z in (elevation, elevation + HEIGHT):
                    self.points.append(m.transform(ocs.to_wcs(Vec3(x, y, z))))

    def entities(self, doc, entities, m, depth):
        for e in entities:
            kind = e.dxftype()
            if kind == "3DFACE":
                v = [tuple(e.dxf.get("vtx%d" % i, (0, 0, 0))) for i in range(3)]
                v.append(tuple(e.dxf.vtx3) if e.dxf.hasattr("vtx3") else v[2])
                self.triangle(m, v[0], v[1], v[2])
                self.triangle(m, v[0], v[2], v[3])
            elif kind == "LWPOLYLINE":
                self.outline(m, e.ocs(), e.dxf.elevation, [tuple(p) for p in e.get_points("xy")])
            elif kind == "POLYLINE":
                self.polyline(m, e)
            elif kind == "INSERT" and depth < 16:
                name = e.dxf.name
                if name.startswith("*") or name in SKIPPED or name not in doc.blocks:
                    continue
                # An array places a copy at each of its grid's places.
                for copy in e.multi_insert() if e.mcount > 1 else [e]:
                    self.entities(doc, doc.blocks[name], copy.matrix44() * m, depth + 1)

    def polyline(self, m, e):
        flags = e.dxf.flags
        if flags & (8 | 16 | 64) == 0:
            # The elevation is the z of the polyline's own point.
            self.outline(m, e.ocs(), e.dxf.elevation.z, [tuple(v.dxf.location)[:2] for v in e.vertices])
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


# --make: drawings made here, and their points as ezdxf places them.


def flag_block(doc):
    """A pole (a 3DFACE) and a triangular flag (an LWPOLYLINE), based at
    (1, 0, 0): one face and 6 walls and 2 caps, 9 triangles a copy."""
    flag = doc.blocks.new(name="FLAG", base_point=(1, 0, 0))
    flag.add_3dface([(1, 0, 0), (1, 3, 0), (1.2, 3, 0.5)])
    flag.add_lwpolyline([(1.2, 2), (3, 2.5), (1.2, 3)])
    return flag


def reference(msp):
    """One face in world coordinates, so that the drawing's box says where
    everything else went."""
    msp.add_3dface([(-3, -3, 0), (-2, -3, 0), (-3, -2, 0.25)])


def array(layout, name, insert, columns, rows, column_spacing, row_spacing, **attribs):
    """An INSERT of `name` as a grid of columns by rows."""
    ref = layout.add_blockref(name, insert, dxfattribs=attribs)
    ref.dxf.column_count = columns
    ref.dxf.row_count = rows
    ref.dxf.column_spacing = column_spacing
    ref.dxf.row_spacing = row_spacing
    return ref


def square(layout, x, y, size=1.0, **attribs):
    return layout.add_lwpolyline([(x, y), (x + size, y), (x + size, y + size), (x, y + size)], dxfattribs=attribs)


def make_array_2x3(doc, msp):
    flag_block(doc)
    array(msp, "FLAG", (10, 5, 0), 2, 3, 6, 4)


def make_array_5x5_rotated(doc, msp):
    flag_block(doc)
    # The grid turns with the insert but is not scaled with it.
    array(msp, "FLAG", (-20, 3, 0), 5, 5, 7, 5, rotation=15, xscale=1.5, yscale=1.5, zscale=1.5)


def make_insert_mirrored(doc, msp):
    flag_block(doc)
    msp.add_blockref("FLAG", (5, 2, 1), dxfattribs={"rotation": 30, "extrusion": (0, 0, -1)})
    msp.add_blockref("FLAG", (5, 2, 1), dxfattribs={"rotation": 30})


def make_insert_tilted(doc, msp):
    flag_block(doc)
    # The arbitrary axis algorithm's two cases: X from the world Z axis, and
    # from the world Y axis for a direction near the poles.
    msp.add_blockref("FLAG", (4, -1, 2), dxfattribs={
        "rotation": 40, "extrusion": (0.6, -0.48, 0.64), "xscale": 1, "yscale": 2, "zscale": 0.5})
    msp.add_blockref("FLAG", (-6, 3, 1), dxfattribs={"rotation": -25, "extrusion": (0.01, -0.005, -1)})


def make_nested_in_array(doc, msp):
    flag_block(doc)
    outer = doc.blocks.new(name="OUTER", base_point=(0, 0, 0))
    outer.add_blockref("FLAG", (0, 0, 0), dxfattribs={"rotation": 90})
    outer.add_blockref("FLAG", (2, 1, 0), dxfattribs={"extrusion": (0, 0, -1)})
    square(outer, 4, 4, 2)
    array(msp, "OUTER", (3, -2, 0), 3, 2, 12, 9, rotation=20)


def make_array_in_array(doc, msp):
    flag_block(doc)
    row = doc.blocks.new(name="ROW", base_point=(0, 0, 0))
    array(row, "FLAG", (0, 0, 0), 3, 1, 4, 0)
    array(msp, "ROW", (0, 0, 0), 1, 3, 0, 5, rotation=10)


def make_outline_mirrored(doc, msp):
    # An L shape drawn from the other side: mirrored x, extruded towards -z.
    msp.add_lwpolyline([(0, 0), (-4, 0), (-4, 1), (-1, 1), (-1, 3), (0, 3)],
                       dxfattribs={"extrusion": (0, 0, -1), "elevation": 2})
    msp.add_polyline2d([(-6, 0), (-7, 0), (-7, 1), (-6, 1)],
                       dxfattribs={"extrusion": (0, 0, -1), "elevation": (0, 0, 0.5)})


def make_outline_tilted(doc, msp):
    msp.add_polyline2d([(0, 0), (2, 0), (3, 1.5), (1, 3), (-1, 1.5)],
                       dxfattribs={"extrusion": (0.2, 0.7, -0.3), "elevation": (0, 0, 1.5)})
    square(msp, 2, 2, 1.5, extrusion=(1, 0, 0), elevation=-2)


def make_world_entities(doc, msp):
    # Meshes lie in world coordinates, whatever extrusion direction their
    # polyline carries; inside a mirrored insert they go where it puts them.
    def meshes(layout, x):
        face = layout.add_polyface(dxfattribs={"extrusion": (0, 0, -1)})
        face.append_face([(x, 0, 0), (x + 1, 0, 0), (x + 1, 1, 0.5), (x, 1, 0.5)])
        face.append_face([(x, 0, 0), (x + 1, 0, 0), (x + 0.5, -1, 1)])
    block = doc.blocks.new(name="MESHES", base_point=(0, 0, 0))
    meshes(block, 0)
    meshes(msp, 3)
    mesh = msp.add_polymesh(size=(3, 2), dxfattribs={"extrusion": (0, 0, -1)})
    for m in range(3):
        for n in range(2):
            mesh.set_mesh_vertex((m, n), (6 + m, n, 0.2 * m * n))
    msp.add_blockref("MESHES", (1, 2, 3), dxfattribs={"extrusion": (0, 0, -1)})


def make_array_zero_spacing(doc, msp):
    flag_block(doc)
    # With no spacing the copies would lie on each other: one copy.
    array(msp, "FLAG", (0, 0, 0), 4, 3, 0, 0)
    # A column of rows only.
    array(msp, "FLAG", (8, 0, 0), 3, 4, 0, 5)


DRAWINGS = {
    "array_2x3": make_array_2x3,
    "array_5x5_rotated": make_array_5x5_rotated,
    "insert_mirrored": make_insert_mirrored,
    "insert_tilted": make_insert_tilted,
    "nested_in_array": make_nested_in_array,
    "array_in_array": make_array_in_array,
    "outline_mirrored": make_outline_mirrored,
    "outline_tilted": make_outline_tilted,
    "world_entities": make_world_entities,
    "array_zero_spacing": make_array_zero_spacing,
}


def skipped(entity, reason):
    raise RuntimeError("ezdxf could not place %s: %s" % (entity.dxftype(), reason))


def expanded(doc, entities, depth=0):
    """The entities with every INSERT replaced by ezdxf's virtual entities
    of each of its copies, recursively."""
    for e in entities:
        if e.dxftype() != "INSERT":
            yield e
            continue
        name = e.dxf.name
        if depth >= 16 or name.startswith("*") or name in SKIPPED or name not in doc.blocks:
            continue
        for copy in e.multi_insert() if e.mcount > 1 else [e]:
            yield from expanded(doc, copy.virtual_entities(skipped_entity_callback=skipped), depth + 1)


def is_outline(e):
    return e.dxftype() == "LWPOLYLINE" or (e.dxftype() == "POLYLINE" and e.dxf.flags & (8 | 16 | 64) == 0)


def outline_points(e):
    """An outline's points in world coordinates, where ezdxf puts them."""
    ocs = e.ocs()
    if e.dxftype() == "LWPOLYLINE":
        z = e.dxf.elevation
        return [ocs.to_wcs(Vec3(x, y, z)) for x, y in e.get_points("xy")]
    z = e.dxf.elevation.z
    return [ocs.to_wcs(Vec3(v.dxf.location.x, v.dxf.location.y, z)) for v in e.vertices]


def raise_outlines(doc):
    """Every outline raised by the extrusion amount in its own system."""
    for layout in doc.blocks:  # the model space among them
        for e in layout:
            if e.dxftype() == "LWPOLYLINE":
                e.dxf.elevation = e.dxf.elevation + HEIGHT
            elif is_outline(e):
                e.dxf.elevation = Vec3(0, 0, e.dxf.elevation.z + HEIGHT)


def world_points(doc):
    """Our triangle count and the world points of the drawing."""
    # The model space's own entities are the drawing's, not copies: their
    # points are taken before they are raised.
    bottom = list(expanded(doc, doc.modelspace()))
    lows = [outline_points(e) if is_outline(e) else None for e in bottom]
    raise_outlines(doc)
    highs = [outline_points(e) if is_outline(e) else None for e in expanded(doc, doc.modelspace())]
    triangles, points = 0, []

    def face(corners):
        nonlocal triangles
        if distinct(*corners):
            triangles += 1
            points.extend(corners)

    for e, low, high in zip(bottom, lows, highs):
        kind = e.dxftype()
        if kind == "3DFACE":
            v = [Vec3(e.dxf.get("vtx%d" % i)) for i in range(4)]
            face(v[:3])
            face([v[0], v[2], v[3]])
        elif is_outline(e):
            n = len(low)
            triangles += 2 * sum(1 for k in range(n) if single(low[k]) != single(low[(k + 1) % n]))
            triangles += 2 * max(0, n - 2)
            points += low + high
        elif kind == "POLYLINE" and e.dxf.flags & 64:
            mesh = e.vertices
            corners = [v for v in mesh if v.dxf.flags & 64]
            for v in mesh:
                if v.dxf.flags & 128 and not v.dxf.flags & 64:
                    c = [corners[abs(v.dxf.get("vtx%d" % i, 0)) - 1].dxf.location for i in range(4) if v.dxf.get("vtx%d" % i, 0)]
                    face(c[:3])
                    if len(c) == 4:
                        face([c[0], c[2], c[3]])
        elif kind == "POLYLINE" and e.dxf.flags & 16:
            mc, nc = e.dxf.m_count, e.dxf.n_count
            at = lambda r, c: e.vertices[r * nc + c].dxf.location
            for i in range(1, nc):
                for j in range(1, mc):
                    q = [at(j, i), at(j - 1, i), at(j - 1, i - 1), at(j, i - 1)]
                    face(q[:3])
                    face([q[0], q[2], q[3]])
    return triangles, points


def make(folder):
    for name, build in DRAWINGS.items():
        doc = ezdxf.new("R2000")
        msp = doc.modelspace()
        reference(msp)
        build(doc, msp)
        path = os.path.join(folder, name + ".dxf")
        doc.saveas(path)
        # The file as written, read back: what our reader gets too.
        triangles, points = world_points(ezdxf.readfile(path))
        print("drawing", name)
        print("triangles", triangles)
        seen = set()
        for p in points:
            if single(p) not in seen:
                seen.add(single(p))
                print("vertex %.17g %.17g %.17g" % tuple(p))


if sys.argv[1] == "--make":
    make(sys.argv[2])
else:
    main(sys.argv[1])
