#!/usr/bin/env python3
"""Reads the same large models with trivex-convert and with assimp, one after
the other in the same run, and prints time and peak memory with their ratios.

Both programs parse the whole file and print a summary; neither writes a model.
The inputs are generated here: a UV sphere (every vertex shared by six
triangles) as OBJ and as NFF, and the same triangles as RAW.
"""
import math
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time


def sphere(stacks, slices):
    points = []
    for s in range(stacks + 1):
        phi = math.pi * s / stacks
        for t in range(slices):
            theta = 2 * math.pi * t / slices
            points.append((math.sin(phi) * math.cos(theta), math.sin(phi) * math.sin(theta), math.cos(phi)))
    tris = []
    for s in range(stacks):
        for t in range(slices):
            a = s * slices + t
            b = s * slices + (t + 1) % slices
            c = (s + 1) * slices + (t + 1) % slices
            d = (s + 1) * slices + t
            if s > 0:
                tris.append((a, d, b))
            if s < stacks - 1:
                tris.append((b, d, c))
    return points, tris


def write_inputs(folder, stacks, slices):
    points, tris = sphere(stacks, slices)
    paths = {}
    paths["obj"] = os.path.join(folder, "sphere.obj")
    with open(paths["obj"], "w") as f:
        f.writelines("v %.6f %.6f %.6f\n" % p for p in points)
        f.writelines("f %d %d %d\n" % (a + 1, b + 1, c + 1) for a, b, c in tris)
    paths["raw"] = os.path.join(folder, "sphere.raw")
    with open(paths["raw"], "w") as f:
        f.writelines("%.6f %.6f %.6f %.6f %.6f %.6f %.6f %.6f %.6f\n" % (points[a] + points[b] + points[c])
                     for a, b, c in tris)
    paths["nff"] = os.path.join(folder, "sphere.nff")
    with open(paths["nff"], "w") as f:
        f.write("v\nfrom 0 0 5\nat 0 0 0\nup 0 1 0\nangle 40\nhither 1\nresolution 64 64\n")
        f.write("f 1 0 0 1 0 0 0 0\n")
        for a, b, c in tris:
            f.write("p 3\n%.6f %.6f %.6f\n%.6f %.6f %.6f\n%.6f %.6f %.6f\n" % (points[a] + points[b] + points[c]))
    return paths, len(tris)


def measure(command):
    """Best wall time of three runs, and the peak resident memory in MiB."""
    best = None
    peak = 0
    for _ in range(3):
        before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        start = time.perf_counter()
        done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        elapsed = time.perf_counter() - start
        if done.returncode != 0:
            raise SystemExit("failed: %s\n%s" % (" ".join(command), done.stderr.decode(errors="replace")))
        after = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        peak = max(peak, after, before)
        best = elapsed if best is None else min(best, elapsed)
    return best, peak / 1024.0


def main():
    converter = sys.argv[1]
    assimp = shutil.which("assimp")
    if not assimp:
        raise SystemExit("assimp not found (Debian package assimp-utils)")
    with tempfile.TemporaryDirectory() as folder:
        paths, count = write_inputs(folder, 400, 800)
        print("Reading a %d-triangle sphere: trivex-convert --info against assimp info" % count)
        print("  %-5s %10s %10s %8s %10s %10s %8s" % ("file", "trivex s", "assimp s", "ratio", "trivex MiB", "assimp MiB", "ratio"))
        for kind in ("obj", "raw", "nff"):
            # The peak memory of earlier children stays in ru_maxrss, so each
            # program is measured in a fresh Python process of its own.
            ours = run_isolated([converter, "--info", "--from", kind, paths[kind]])
            theirs = run_isolated([assimp, "info", paths[kind]])
            print("  %-5s %10.3f %10.3f %8.2f %10.1f %10.1f %8.2f" % (
                kind, ours[0], theirs[0], ours[0] / theirs[0], ours[1], theirs[1], ours[1] / theirs[1]))
        print("  ratio = trivex / assimp; below 1 means trivex is faster or smaller")


def run_isolated(command):
    code = "import sys, json; sys.path.insert(0, %r); import readers_vs_assimp as b; print(json.dumps(b.measure(%r)))" % (
        os.path.dirname(os.path.abspath(__file__)), command)
    out = subprocess.run([sys.executable, "-c", code], check=True, stdout=subprocess.PIPE).stdout
    import json
    return tuple(json.loads(out))


if __name__ == "__main__":
    main()
