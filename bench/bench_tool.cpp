// Helper of bench/run.sh. It makes the benchmark models and times the
// exporters in one process, so that only the writing is measured. The same
// source is built against an older checkout of the program for comparison,
// so it uses nothing but the reader and writer entry points every version has.
//
//   bench_tool grid CELLS OUT.obj     a CELLS x CELLS grid, two triangles per cell
//   bench_tool ico LEVEL OUT.obj      an icosahedron subdivided LEVEL times
//   bench_tool writers IN.obj DIR RUNS [FORMAT...]
//                                     reads IN.obj, then writes it RUNS times with
//                                     each exporter and prints, per exporter, its
//                                     name, the output's bytes, the median time and
//                                     a checksum of the output
// The timed runs write to /dev/null: a shared disk that is busy writing back
// gigabytes would otherwise set the pace, not the exporter. One more run
// writes a real file for the size and the checksum.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Model.h"
#include "TextReaders.h"
#include "Writers.h"

namespace {

class CQuietModel : public CModel
{
public:
    void ShowStatus(const char*) override {}
    void ShowInfo(const char*) override {}
};

struct CPoint
{
    double x, y, z;
};

// A gently curved square: the upper half is marked smooth (a "vn" line), the
// lower half is flat, so the exporters' smooth and flat paths both run.
bool WriteGrid(int cells, const char* path)
{
    FILE* fp = std::fopen(path, "w");
    if (!fp)
        return false;
    const int side = cells + 1;
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) {
            double x = static_cast<double>(i) / cells, y = static_cast<double>(j) / cells;
            std::fprintf(fp, "v %.6f %.6f %.6f\n", x, y, 0.1 * std::sin(7.0 * x) * std::cos(5.0 * y));
        }
    for (int j = 0; j < cells; ++j) {
        if (j == 0)
            std::fputs("g flat\n", fp);
        if (j == cells / 2)
            std::fputs("g smooth\nvn 0 0 1\n", fp);
        for (int i = 0; i < cells; ++i) {
            long a = 1L + j * side + i, b = a + 1, c = a + side + 1, d = a + side;
            std::fprintf(fp, "f %ld %ld %ld\nf %ld %ld %ld\n", a, b, c, a, c, d);
        }
    }
    return std::fclose(fp) == 0;
}

// Every vertex lies on the unit sphere; level 7 has 163,842 vertices and
// 327,680 triangles, and each level has four times the triangles of the last.
bool WriteIcosphere(int level, const char* path)
{
    const double t = (1.0 + std::sqrt(5.0)) / 2.0;
    std::vector<CPoint> points = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0}, {0, -1, t}, {0, 1, t},
                                  {0, -1, -t}, {0, 1, -t}, {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    std::vector<std::array<int, 3>> faces = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                                             {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                                             {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                                             {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    auto unit = [](CPoint p) {
        double l = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
        return CPoint{p.x / l, p.y / l, p.z / l};
    };
    for (CPoint& p : points)
        p = unit(p);
    for (int l = 0; l < level; ++l) {
        std::map<std::pair<int, int>, int> middle;
        auto mid = [&](int a, int b) {
            auto key = std::make_pair(std::min(a, b), std::max(a, b));
            auto found = middle.find(key);
            if (found != middle.end())
                return found->second;
            const CPoint &p = points[a], &q = points[b];
            points.push_back(unit({(p.x + q.x) / 2, (p.y + q.y) / 2, (p.z + q.z) / 2}));
            middle[key] = static_cast<int>(points.size() - 1);
            return static_cast<int>(points.size() - 1);
        };
        std::vector<std::array<int, 3>> next;
        next.reserve(faces.size() * 4);
        for (const auto& f : faces) {
            int ab = mid(f[0], f[1]), bc = mid(f[1], f[2]), ca = mid(f[2], f[0]);
            next.push_back({f[0], ab, ca});
            next.push_back({f[1], bc, ab});
            next.push_back({f[2], ca, bc});
            next.push_back({ab, bc, ca});
        }
        faces.swap(next);
    }
    FILE* fp = std::fopen(path, "w");
    if (!fp)
        return false;
    for (const CPoint& p : points)
        std::fprintf(fp, "v %.6f %.6f %.6f\n", p.x, p.y, p.z);
    std::fputs("g sphere\n", fp);
    for (const auto& f : faces)
        std::fprintf(fp, "f %d %d %d\n", f[0] + 1, f[1] + 1, f[2] + 1);
    return std::fclose(fp) == 0;
}

struct CWriter
{
    const char* name;
    const char* mode;
    int (*write)(CModel&, FILE*, double);
};

const CWriter kWriters[] = {
    {"pov", "w", WritePovScene}, {"inc", "w", WritePovObject}, {"obj", "w", WriteObj},
    {"raw", "w", WriteRaw},      {"tpo", "w", WriteTpoly},     {"dxf", "w", WriteDxf},
    {"nff", "w", WriteNff},      {"wtk", "w", WriteWtkNff},    {"asc", "w", WriteAsc},
    {"wrl", "w", WriteVrml},     {"cob", "wb", WriteCob},
};

int TimeWriters(int argc, char** argv)
{
    const char* input = argv[2];
    const std::string folder = argv[3];
    const int runs = std::max(1, std::atoi(argv[4]));
    CQuietModel model;
    FILE* in = std::fopen(input, "r");
    if (!in || ReadObj(model, in) <= 0) {
        std::fprintf(stderr, "cannot read %s\n", input);
        return 1;
    }
    // Builds before the normal order was chosen per model turned the normals
    // the other way; both builds write the same normals this way, so their
    // outputs can be compared byte for byte.
    model.m_normalOrder = 1;
    model.CalculateNormals();
    std::fclose(in);
    for (const CWriter& writer : kWriters) {
        bool wanted = argc <= 5;
        for (int i = 5; i < argc; ++i)
            wanted = wanted || std::strcmp(argv[i], writer.name) == 0;
        if (!wanted)
            continue;
        const std::string path = folder + "/bench-out." + writer.name;
        std::vector<double> times;
        long bytes = 0;
        for (int run = 0; run <= runs; ++run) {
            const bool timed = run < runs;
            FILE* fp = std::fopen(timed ? "/dev/null" : path.c_str(), writer.mode);
            if (!fp) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                return 1;
            }
            auto start = std::chrono::steady_clock::now();
            int result = writer.write(model, fp, model.m_scale);
            bool closed = std::fclose(fp) == 0;
            if (timed)
                times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            if (result <= 0 || !closed) {
                std::fprintf(stderr, "%s: write failed\n", writer.name);
                return 1;
            }
        }
        // Size and a checksum of the output, so that two builds can be shown
        // to write the same bytes.
        uint64_t sum = 1469598103934665603ull;
        if (FILE* check = std::fopen(path.c_str(), "rb")) {
            unsigned char block[65536];
            for (size_t n; (n = std::fread(block, 1, sizeof block, check)) > 0;) {
                bytes += static_cast<long>(n);
                for (size_t i = 0; i < n; ++i)
                    sum = (sum ^ block[i]) * 1099511628211ull;
            }
            std::fclose(check);
        }
        std::remove(path.c_str());
        std::sort(times.begin(), times.end());
        std::printf("%s %ld %.6f %016llx\n", writer.name, bytes, times[times.size() / 2],
                    static_cast<unsigned long long>(sum));
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "grid" && argc == 4)
        return WriteGrid(std::atoi(argv[2]), argv[3]) ? 0 : 1;
    if (command == "ico" && argc == 4)
        return WriteIcosphere(std::atoi(argv[2]), argv[3]) ? 0 : 1;
    if (command == "writers" && argc >= 5)
        return TimeWriters(argc, argv);
    std::fprintf(stderr, "usage: bench_tool grid CELLS OUT.obj | ico LEVEL OUT.obj | writers IN.obj DIR RUNS [FORMAT...]\n");
    return 2;
}
