#!/usr/bin/env python3
"""Times trivex-convert against assimp, the exporters against an older build,
and the growth of both with the model's size, all in one run.

The machine this runs on is shared and noisy, so every comparison is made
side by side in the same run (the two programs take turns) and judged by the
ratio of medians, never by absolute times.

Usage: compare.py OURS_BIN BEFORE_BIN WORK_DIR
  OURS_BIN    folder with trivex-convert and bench_tool of this tree
  BEFORE_BIN  folder with bench_tool built from the commit before the speed work
  WORK_DIR    folder for the generated models (kept between runs)
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = int(os.environ.get("BENCH_RUNS", "3"))

# Targets of the speed work.
MAX_TIME_RATIO = 1 / 8        # our conversion time / assimp's
MAX_MEMORY_RATIO = 1 / 5      # our peak memory / assimp's
MIN_WRITER_SPEEDUP = 4.0      # exporter speed / the old build's
MAX_GROWTH = 4.5              # time for 4x the triangles / time for 1x
STRETCH_WC = 25.0             # OBJ->OBJ on the icosphere / wc -l on its input

# The models at 1/4, 1 and 4 times: an icosphere (every vertex on the unit
# sphere; each level has four times the triangles) and a curved grid of
# about a million triangles.
FAMILIES = {
    "sphere": [("ico6", "ico", 6), ("ico7", "ico", 7), ("ico8", "ico", 8)],
    "grid": [("grid354", "grid", 354), ("grid707", "grid", 707), ("grid1414", "grid", 1414)],
}
ASSIMP_FORMATS = ["obj", "3ds", "dxf", "nff", "glb"]
SCALING_FORMATS = ["obj", "3ds", "dxf", "nff", "raw", "tpo"]
WRITERS = ["pov", "inc", "obj", "raw", "tpo", "dxf", "nff", "wtk", "asc", "wrl", "cob"]

results = []  # (target text, met)


def verdict(text, met):
    results.append((text, met))
    return "met" if met else "NOT MET"


def run(command):
    """Wall time and peak resident memory (MiB) of one run of command."""
    # Every run starts with nothing pending for the disk: a program that
    # syncs its output (ours does, before it replaces the target) would
    # otherwise also wait for the previous program's unsynced output.
    os.sync()
    with tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=err)
        _, status, usage = os.wait4(child.pid, 0)
        elapsed = time.perf_counter() - start
        child.returncode = os.waitstatus_to_exitcode(status)
        if child.returncode != 0:
            err.seek(0)
            raise SystemExit("failed: %s\n%s" % (" ".join(command), err.read().decode(errors="replace")))
    return elapsed, usage.ru_maxrss / 1024.0


def side_by_side(commands, runs=RUNS):
    """Runs the commands in turn `runs` times; median time and memory of each."""
    times = [[] for _ in commands]
    memory = [[] for _ in commands]
    for _ in range(runs):
        for i, command in enumerate(commands):
            t, m = run(command)
            times[i].append(t)
            memory[i].append(m)
    return [(statistics.median(t), statistics.median(m)) for t, m in zip(times, memory)]


def readable_formats(converter):
    out = subprocess.run([converter, "--list-formats"], check=True, stdout=subprocess.PIPE, text=True).stdout
    readable = set()
    for line in out.splitlines()[1:]:
        fields = line.split()
        if len(fields) >= 3 and fields[2] == "yes":
            readable.add(fields[0])
    return readable


def triangles(path):
    count = 0
    with open(path, "rb") as f:
        for line in f:
            if line.startswith(b"f "):
                count += len(line.split()) - 3
    return count


def make_models(ours, work, assimp):
    """Generates every model once; later runs reuse them."""
    tool = os.path.join(ours, "bench_tool")
    converter = os.path.join(ours, "trivex-convert")
    paths = {}
    for family in FAMILIES.values():
        for name, kind, size in family:
            base = os.path.join(work, name)
            obj = base + ".obj"
            if not os.path.exists(obj):
                print("  making %s" % os.path.basename(obj), flush=True)
                subprocess.run([tool, kind, str(size), obj], check=True)
            paths[(name, "obj")] = obj
            for ext in ("nff", "dxf", "raw", "tpo", "stl"):
                target = "%s.%s" % (base, ext)
                if not os.path.exists(target):
                    print("  making %s" % os.path.basename(target), flush=True)
                    subprocess.run([converter, obj, target], check=True, stdout=subprocess.DEVNULL)
                paths[(name, ext)] = target
            target = base + ".3ds"
            if not os.path.exists(target):
                # assimp's own 3DS export splits meshes at 65,535 vertices.
                print("  making %s" % os.path.basename(target), flush=True)
                subprocess.run([assimp, "export", obj, target], check=True, stdout=subprocess.DEVNULL)
            paths[(name, "3ds")] = target
        # glTF input comes from assimp's own export, at 1x only.
        name = family[1][0]
        target = os.path.join(work, name + ".glb")
        if not os.path.exists(target):
            print("  making %s" % os.path.basename(target), flush=True)
            subprocess.run([assimp, "export", paths[(name, "obj")], target], check=True, stdout=subprocess.DEVNULL)
        paths[(name, "glb")] = target
    return paths


def compare_with_assimp(converter, assimp, paths, readable, out_dir):
    print("\nConversions to OBJ at 1x, median of %d runs: trivex-convert against assimp export" % RUNS)
    print("  %-9s %-4s %9s %9s %7s %10s %10s %7s  %s" % (
        "model", "from", "trivex s", "assimp s", "ratio", "trivex MiB", "assimp MiB", "ratio", "targets"))
    for family in FAMILIES.values():
        name = family[1][0]
        for ext in ASSIMP_FORMATS:
            source = paths[(name, ext)]
            if ext not in readable:
                print("  %-9s %-4s not readable yet" % (name, ext))
                results.append(("%s %s->obj against assimp" % (name, ext), None))
                continue
            ours = [converter, source, os.path.join(out_dir, "trivex-out.obj")]
            theirs = [assimp, "export", source, os.path.join(out_dir, "assimp-out.obj")]
            (t1, m1), (t2, m2) = side_by_side([ours, theirs])
            time_ok = t1 / t2 <= MAX_TIME_RATIO
            memory_ok = m1 / m2 <= MAX_MEMORY_RATIO
            print("  %-9s %-4s %9.3f %9.3f %7.3f %10.1f %10.1f %7.3f  time %s, memory %s" % (
                name, ext, t1, t2, t1 / t2, m1, m2, m1 / m2,
                verdict("%s %s->obj time <= 1/8 of assimp (%.3f)" % (name, ext, t1 / t2), time_ok),
                verdict("%s %s->obj memory <= 1/5 of assimp (%.3f)" % (name, ext, m1 / m2), memory_ok)))


def compare_gltf(converter, assimp, paths, out_dir):
    print("\nOBJ to GLB at 1x, median of %d runs: trivex-convert against assimp export (glb2)" % RUNS)
    print("  %-9s %9s %9s %7s %10s %10s %7s  %s" % (
        "model", "trivex s", "assimp s", "ratio", "trivex MiB", "assimp MiB", "ratio", "targets"))
    for family in FAMILIES.values():
        name = family[1][0]
        source = paths[(name, "obj")]
        ours = [converter, source, os.path.join(out_dir, "trivex-out.glb")]
        theirs = [assimp, "export", source, os.path.join(out_dir, "assimp-out.glb"), "-fglb2"]
        (t1, m1), (t2, m2) = side_by_side([ours, theirs])
        print("  %-9s %9.3f %9.3f %7.3f %10.1f %10.1f %7.3f  time %s, memory %s" % (
            name, t1, t2, t1 / t2, m1, m2, m1 / m2,
            verdict("%s obj->glb time <= 1/8 of assimp (%.3f)" % (name, t1 / t2), t1 / t2 <= MAX_TIME_RATIO),
            verdict("%s obj->glb memory <= 1/5 of assimp (%.3f)" % (name, m1 / m2), m1 / m2 <= MAX_MEMORY_RATIO)))
def compare_stl(converter, assimp, paths, readable, out_dir):
    """OBJ to binary STL and binary STL (our own export) to OBJ, against assimp."""
    print("\nSTL at 1x, median of %d runs: trivex-convert against assimp export (binary STL)" % RUNS)
    print("  %-9s %-9s %9s %9s %7s %10s %10s %7s  %s" % (
        "model", "direction", "trivex s", "assimp s", "ratio", "trivex MiB", "assimp MiB", "ratio", "target"))
    for family in FAMILIES.values():
        name = family[1][0]
        for source_ext, target_ext in (("obj", "stl"), ("stl", "obj")):
            label = "%s %s->%s" % (name, source_ext, target_ext)
            if "stl" not in readable:
                print("  %-9s %s->%s not readable yet" % (name, source_ext, target_ext))
                results.append((label + " against assimp", None))
                continue
            source = paths[(name, source_ext)]
            ours = [converter, source, os.path.join(out_dir, "trivex-out." + target_ext)]
            theirs = [assimp, "export", source, os.path.join(out_dir, "assimp-out." + target_ext)]
            if target_ext == "stl":
                theirs.append("-fstlb")
            (t1, m1), (t2, m2) = side_by_side([ours, theirs])
            print("  %-9s %-9s %9.3f %9.3f %7.3f %10.1f %10.1f %7.3f  time %s" % (
                name, source_ext + "->" + target_ext, t1, t2, t1 / t2, m1, m2, m1 / m2,
                verdict("%s time <= 1/8 of assimp (%.3f)" % (label, t1 / t2), t1 / t2 <= MAX_TIME_RATIO)))
def make_parts_model(source, target, parts=64, materials=16):
    """The grid as modellers write it: objects ("o" lines, no groups), each
    changing its material halfway, from a library of its own beside it."""
    if os.path.exists(target):
        return target
    library = os.path.splitext(target)[0] + ".mtl"
    with open(library, "w") as f:
        for m in range(materials):
            f.write("newmtl m%d\nKd %.3f %.3f %.3f\n" % (m, m / materials, 1 - m / materials, (m % 4) / 4))
            if m % 5 == 0:
                f.write("d 0.5\n")
    per_part = triangles(source) // parts + 1
    with open(source, "rb") as src, open(target + ".part", "wb") as out:
        out.write(b"mtllib %s\n" % os.path.basename(library).encode())
        face = 0
        for line in src:
            if line.startswith(b"g "):
                continue  # objects name the parts of files without groups
            if line.startswith(b"f "):
                part, at = divmod(face, per_part)
                if at == 0:
                    out.write(b"o part%d\nusemtl m%d\n" % (part, part % materials))
                elif at == per_part // 2:
                    out.write(b"usemtl m%d\n" % ((part + 1) % materials))
                face += 1
            out.write(line)
    os.replace(target + ".part", target)
    return target


def materials_vs_assimp(converter, assimp, paths, out_dir):
    source = paths[("grid707", "parts")]
    print("\nObjects and materials, OBJ to OBJ with its material file, median of %d runs" % RUNS)
    ours = [converter, "--obj-mtl", source, os.path.join(out_dir, "trivex-parts.obj")]
    theirs = [assimp, "export", source, os.path.join(out_dir, "assimp-parts.obj")]
    (t1, m1), (t2, m2) = side_by_side([ours, theirs])
    print("  %-13s %9.3f %9.3f %7.3f %10.1f %10.1f %7.3f  %s, %s" % (
        "grid707-parts", t1, t2, t1 / t2, m1, m2, m1 / m2,
        verdict("grid707 objects+materials obj->obj+mtl time <= 1/8 of assimp (%.3f)" % (t1 / t2),
                t1 / t2 <= MAX_TIME_RATIO),
        verdict("grid707 objects+materials obj->obj+mtl memory <= 1/5 of assimp (%.3f)" % (m1 / m2),
                m1 / m2 <= MAX_MEMORY_RATIO)))


def stretch_wc(converter, paths, out_dir):
    source = paths[("ico7", "obj")]
    # An output of its own, so that every run replaces the same file: the
    # conversions before leave far larger ones behind, and removing one of
    # those costs the first run several times what its own output does.
    (t1, _), (t2, _) = side_by_side([[converter, source, os.path.join(out_dir, "stretch-out.obj")],
                                     ["wc", "-l", source]], max(RUNS, 5))
    print("\nStretch: OBJ->OBJ on ico7 %.3f s, wc -l %.4f s, ratio %.1f (target %.0f): %s" % (
        t1, t2, t1 / t2, STRETCH_WC, verdict("stretch: ico7 obj->obj within 25x wc -l (%.1f)" % (t1 / t2),
                                             t1 / t2 <= STRETCH_WC)))


def checked_conversion(converter, paths, out_dir):
    source = paths[("ico7", "obj")]
    target = os.path.join(out_dir, "checked-out.obj")
    (t1, m1), (t2, m2) = side_by_side([[converter, "-q", source, target],
                                       [converter, "-q", "--check", source, target]], max(RUNS, 5))
    met = verdict("checked ico7 obj->obj within 2x unchecked (%.2f)" % (t2 / t1), t2 / t1 <= 2.0)
    print("\nChecked: OBJ->OBJ on ico7 %.3f s, with --check %.3f s, ratio %.2f (target 2), memory %.1f / %.1f MiB: %s"
          % (t1, t2, t2 / t1, m1, m2, met))


def writers(ours, before, paths, out_dir):
    source = paths[("grid707", "obj")]
    print("\nExporters on the %d-triangle grid, median of %d runs, MB/s of output" % (triangles(source), RUNS))
    print("  %-5s %10s %10s %10s %9s  %s" % ("fmt", "MB", "now MB/s", "before", "speedup", "target"))
    now = {}
    old = {}
    # One process per build and pass, alternating, so that both see the same machine.
    for _ in range(RUNS):
        for table, folder in ((now, ours), (old, before)):
            out = subprocess.run([os.path.join(folder, "bench_tool"), "writers", source, out_dir, "1"],
                                 check=True, stdout=subprocess.PIPE, text=True).stdout
            for line in out.splitlines():
                fmt, size, seconds, checksum = line.split()
                table.setdefault(fmt, []).append((int(size), float(seconds), checksum))
    for fmt in WRITERS:
        size = now[fmt][0][0]
        same = now[fmt][0][::2] == old[fmt][0][::2]
        print("  %-5s output the same bytes as the old build's: %s" % (
            fmt, verdict("writer %s output byte-identical to before" % fmt, same)))
        t_now = statistics.median(s for _, s, _ in now[fmt])
        t_old = statistics.median(s for _, s, _ in old[fmt])
        speedup = t_old / t_now
        print("  %-5s %10.1f %10.1f %10.1f %9.2f  %s" % (
            fmt, size / 1e6, size / 1e6 / t_now, size / 1e6 / t_old, speedup,
            verdict("writer %s at least 4x faster than before (%.2f)" % (fmt, speedup), speedup >= MIN_WRITER_SPEEDUP)))


def growth_line(label, counts, times):
    # Time per triangle at 4x against 1x, scaled to exactly four times the triangles.
    growth = times[2] / times[1] * 4.0 * counts[1] / counts[2]
    quarter = times[1] / times[0] * 4.0 * counts[0] / counts[1]
    print("  %-22s %8.3f %8.3f %8.3f %8.2f %8.2f  %s" % (
        label, times[0], times[1], times[2], quarter, growth,
        verdict("%s: 4x triangles <= 4.5x time (%.2f)" % (label, growth), growth <= MAX_GROWTH)))


def scaling(ours, paths, readable, out_dir):
    converter = os.path.join(ours, "trivex-convert")
    tool = os.path.join(ours, "bench_tool")
    print("\nGrowth with the model: 1/4, 1 and 4 times the triangles, median of %d runs" % RUNS)
    print("  growth = time ratio per fourfold triangles (target <= %.1f)" % MAX_GROWTH)
    print("  %-22s %8s %8s %8s %8s %8s" % ("conversion", "1/4 s", "1 s", "4 s", "1/4->1", "1->4"))
    for family, models in FAMILIES.items():
        counts = [triangles(paths[(name, "obj")]) for name, _, _ in models]
        for ext in SCALING_FORMATS:
            label = "%s %s->obj" % (family, ext)
            if ext not in readable:
                print("  %-22s not readable yet" % label)
                results.append((label + " growth", None))
                continue
            times = []
            for name, _, _ in models:
                # To /dev/null: the growth of our work, not of the disk's.
                (t, _), = side_by_side([[converter, "--to", "obj", paths[(name, ext)], os.devnull]])
                times.append(t)
            growth_line(label, counts, times)
    print("  %-22s %8s %8s %8s %8s %8s" % ("exporter (grid)", "1/4 s", "1 s", "4 s", "1/4->1", "1->4"))
    models = FAMILIES["grid"]
    counts = [triangles(paths[(name, "obj")]) for name, _, _ in models]
    table = {}
    for name, _, _ in models:
        out = subprocess.run([tool, "writers", paths[(name, "obj")], out_dir, str(RUNS)],
                             check=True, stdout=subprocess.PIPE, text=True).stdout
        for line in out.splitlines():
            fmt, _, seconds, _ = line.split()
            table.setdefault(fmt, []).append(float(seconds))
    for fmt in WRITERS:
        growth_line("grid writer %s" % fmt, counts, table[fmt])


def main():
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    ours, before, work = sys.argv[1:]
    assimp = shutil.which("assimp")
    if not assimp:
        raise SystemExit("assimp not found (Debian package assimp-utils)")
    os.makedirs(work, exist_ok=True)
    converter = os.path.join(ours, "trivex-convert")
    readable = readable_formats(converter)
    print("Models (made once, kept in %s)" % work, flush=True)
    paths = make_models(ours, work, assimp)
    paths[("grid707", "parts")] = make_parts_model(paths[("grid707", "obj")], os.path.join(work, "grid707-parts.obj"))
    # BENCH_ONLY=gltf,stl (names as below) runs those parts alone.
    only = [name for name in os.environ.get("BENCH_ONLY", "").split(",") if name]
    parts = [
        ("assimp", lambda: compare_with_assimp(converter, assimp, paths, readable, out_dir)),
        ("gltf", lambda: compare_gltf(converter, assimp, paths, out_dir)),
        ("stl", lambda: compare_stl(converter, assimp, paths, readable, out_dir)),
        ("materials", lambda: materials_vs_assimp(converter, assimp, paths, out_dir)),
        ("wc", lambda: stretch_wc(converter, paths, out_dir)),
        ("check", lambda: checked_conversion(converter, paths, out_dir)),
        ("writers", lambda: writers(ours, before, paths, out_dir)),
        ("scaling", lambda: scaling(ours, paths, readable, out_dir)),
    ]
    unknown = set(only) - {name for name, _ in parts}
    if unknown:
        raise SystemExit("BENCH_ONLY: no part named %s" % ", ".join(sorted(unknown)))
    with tempfile.TemporaryDirectory(dir=work) as out_dir:
        for name, part in parts:
            if not only or name in only:
                part()

    met = sum(1 for _, ok in results if ok)
    missed = [text for text, ok in results if ok is False]
    waiting = [text for text, ok in results if ok is None]
    print("\nSummary: %d targets met, %d not met, %d waiting for a reader" % (met, len(missed), len(waiting)))
    for text in missed:
        print("  NOT MET: %s" % text)
    for text in waiting:
        print("  not readable yet: %s" % text)
    print("ALL TARGETS MET" if not missed and not waiting else "SOME TARGETS NOT MET")


if __name__ == "__main__":
    main()
