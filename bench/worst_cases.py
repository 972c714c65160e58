#!/usr/bin/env python3
"""Reads inputs made to be as costly as their size allows and prints, for each,
the file size, the time and the peak memory of trivex-convert --info on it.

The cases are the shapes that have hurt readers before: many groups (a
lookup per group that looks at every group makes loading quadratic), very
long lines and polygons with very many corners, and tiny files whose counts
promise billions of records. A reader is fine when time grows with the file
and memory stays within a small multiple of it.

    bench/worst_cases.py path/to/trivex-convert [CASE...]
"""
import multiprocessing
import os
import struct
import subprocess
import sys
import tempfile
import time


def many_obj_groups(n):
    out = ["v 0 0 0\nv 1 0 0\nv 0 1 0\n"]
    out += ["g group%d\nf 1 2 3\n" % i for i in range(n)]
    return "".join(out).encode()


def many_raw_groups(n):
    return "".join("group%d\n0 0 0 1 0 0 0 1 %d\n" % (i, i) for i in range(n)).encode()


def many_wtk_objects(n):
    out = ["nff\nversion 2.1\n"]
    for i in range(n):
        out.append("object%d\n3\n0.0 0.0 %d.0\n1.0 0.0 %d.0\n0.0 1.0 %d.0\n1\n3 0 1 2 0xfff\n" % (i, i, i, i))
    return "".join(out).encode()


def many_nff_colours(n):
    # Colours fold onto the named palette, so groups stay few; the cost is
    # in the lookup per fill line.
    out = []
    for i in range(n):
        out.append("f %g %g %g 1 0 0 0 0\np 3\n0 0 %d\n1 0 %d\n0 1 %d\n" % (
            (i % 97) / 96.0, (i % 89) / 88.0, (i % 83) / 82.0, i, i, i))
    return "".join(out).encode()


def far_raw_vertices(n):
    # Distinct vertices far out, where the merge index once put them all in
    # one cell.
    out = []
    for i in range(1, n + 1):
        a = 1e14 + i * 1e9
        out.append("%.17g %.17g %.17g -%.17g %.17g %.17g %.17g -%.17g %.17g\n" % ((a,) * 9))
    return "".join(out).encode()


def crossing_obj_polygons(polygons, corners):
    # Outlines through random points cross themselves everywhere, the costliest
    # shape for ear clipping.
    state = 12345
    out = []
    for k in range(polygons):
        for i in range(corners):
            state = (state * 1103515245 + 12345) % 2**31
            x = state / 2**31
            state = (state * 1103515245 + 12345) % 2**31
            out.append("v %.4f %.4f 0\n" % (x, state / 2**31))
        out.append("f " + " ".join(str(k * corners + i + 1) for i in range(corners)) + "\n")
    return "".join(out).encode()


def long_obj_face(corners):
    out = ["v %d %d 0\n" % (i % 1000, i // 1000) for i in range(1000)]
    out.append("f " + " ".join(str(1 + i % 1000) for i in range(corners)) + "\n")
    return "".join(out).encode()


def long_comment_line(size):
    return b"# " + b"x" * size + b"\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"


def long_number(size):
    return b"3\n" + b"1" * size + b" 0 0\n1 0 0\n0 1 0\n"


def long_nff_polygon(corners):
    points = "".join("%d %d 0\n" % (i % 1000, i // 1000) for i in range(corners))
    return ("p %d\n" % corners + points).encode()


def many_empty_obj_groups(n):
    # Every group but the last is dropped after reading.
    return ("".join("g empty%d\n" % i for i in range(n)) + "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n").encode()


def huge_counts_3ds():
    # A main chunk holding a mesh whose vertex and face lists each claim
    # 65535 records, and a file far too short for them.
    verts = struct.pack("<HIH", 0x4110, 6 + 2, 0xFFFF)
    faces = struct.pack("<HIH", 0x4120, 6 + 2, 0xFFFF)
    mesh = struct.pack("<HI", 0x4100, 6 + len(verts) + len(faces)) + verts + faces
    obj = struct.pack("<HI", 0x4000, 6 + 2 + len(mesh)) + b"a\0" + mesh
    edit = struct.pack("<HI", 0x3D3D, 6 + len(obj)) + obj
    return struct.pack("<HI", 0x4D4D, 6 + len(edit)) + edit


def hidden_3ds_meshes(n):
    # One object of n empty meshes, each followed by a hidden mark that
    # applies to every mesh before it.
    body = (struct.pack("<HI", 0x4100, 6) + struct.pack("<HI", 0x4010, 6)) * n
    obj = struct.pack("<HI", 0x4000, 6 + 2 + len(body)) + b"a\0" + body
    edit = struct.pack("<HI", 0x3D3D, 6 + len(obj)) + obj
    return struct.pack("<HI", 0x4D4D, 6 + len(edit)) + edit


def nested_dxf_inserts(levels, width):
    # Each block inserts the next `width` times: the replay is capped, the
    # output still far bigger than the file.
    def pair(code, value):
        return "%3d\n%s\n" % (code, value)
    face = pair(0, "3DFACE") + pair(8, "L") + "".join(
        pair(c, v) for c, v in ((10, 0), (20, 0), (30, 0), (11, 1), (21, 0), (31, 0),
                                (12, 0), (22, 1), (32, 0), (13, 0), (23, 1), (33, 0)))
    out = pair(0, "SECTION") + pair(2, "BLOCKS")
    for level in range(levels):
        out += pair(0, "BLOCK") + pair(2, "B%d" % level) + pair(10, 0) + pair(20, 0) + pair(30, 0)
        if level == levels - 1:
            out += face
        else:
            for k in range(width):
                out += pair(0, "INSERT") + pair(2, "B%d" % (level + 1)) + pair(10, k * 3 ** level) + pair(20, 0)
        out += pair(0, "ENDBLK")
    out += pair(0, "ENDSEC") + pair(0, "SECTION") + pair(2, "ENTITIES") + pair(0, "INSERT") + pair(2, "B0")
    return (out + pair(10, 0) + pair(20, 0) + pair(0, "ENDSEC") + pair(0, "EOF")).encode()


CASES = {
    # name: (extension, maker)
    "obj-100k-groups": ("obj", lambda: many_obj_groups(100000)),
    "raw-100k-groups": ("raw", lambda: many_raw_groups(100000)),
    "wtk-60k-objects": ("nff", lambda: many_wtk_objects(60000)),
    "raw-100k-far-triangles": ("raw", lambda: far_raw_vertices(100000)),
    "nff-200k-fills": ("nff", lambda: many_nff_colours(200000)),
    "obj-200-crossing-3k-gons": ("obj", lambda: crossing_obj_polygons(200, 3000)),
    "obj-1m-corner-face": ("obj", lambda: long_obj_face(1000000)),
    "obj-100mb-comment": ("obj", lambda: long_comment_line(100 << 20)),
    "tpo-50mb-number": ("tpo", lambda: long_number(50 << 20)),
    "nff-1m-corner-polygon": ("nff", lambda: long_nff_polygon(1000000)),
    "obj-100k-empty-groups": ("obj", lambda: many_empty_obj_groups(100000)),
    "geo-2g-counts": ("geo", lambda: b"2147483647 2147483647 2147483647\n0 0 0\n"),
    "nff-2g-polygon": ("nff", lambda: b"p 2147483647\n0 0 0\n1 0 0\n"),
    "tpo-2g-polygon": ("tpo", lambda: b"2147483647\n0 0 0\n1 0 0\n"),
    "wtk-2g-counts": ("nff", lambda: b"nff\nversion 2.1\na\n2147483647\n0 0 0\n2147483647\n"),
    "3ds-64k-counts": ("3ds", huge_counts_3ds),
    "dxf-8x8-nested-inserts": ("dxf", lambda: nested_dxf_inserts(8, 8)),
    "3ds-100k-hidden-meshes": ("3ds", lambda: hidden_3ds_meshes(100000)),
}


def make(name, path):
    with open(path, "wb") as f:
        f.write(CASES[name][1]())


def run(convert, name, extension, folder):
    path = os.path.join(folder, name + "." + extension)
    # Made in a process of its own: a child's peak memory counts that of the
    # process it was forked from, which must not hold the file's text.
    maker = multiprocessing.Process(target=make, args=(name, path))
    maker.start()
    maker.join()
    size = os.path.getsize(path)
    args = [convert, "--info", path]
    if extension == "nff" and name.startswith("wtk"):
        args[1:1] = ["--from", "wtk"]
    start = time.monotonic()
    proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.monotonic() - start
    os.unlink(path)
    code = os.waitstatus_to_exitcode(status)
    print("%-24s %10.1f KiB %8.2f s %9.1f MiB  exit %d" % (
        name, size / 1024.0, seconds, usage.ru_maxrss / 1024.0, code), flush=True)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    convert = sys.argv[1]
    names = sys.argv[2:] or list(CASES)
    print("%-24s %14s %10s %13s" % ("case", "size", "time", "peak memory"))
    with tempfile.TemporaryDirectory() as folder:
        for name in names:
            run(convert, name, CASES[name][0], folder)


if __name__ == "__main__":
    main()
