// Adds a million triangles by coordinates with merging, once laid out on a
// flat grid and once on a unit sphere, and prints both times and their ratio.
// After centring and unitizing every vertex of a sphere lies at distance 1,
// which crowds half a million vertices into about 220 of the 1001 merge
// buckets (the grid spreads over all of them); the ratio shows whether
// merging stays cheap there.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "Model.h"

namespace {
class CQuietModel : public CModel
{
public:
    void StatusMessage(const char*, ...) override {}
};

void Grid(CModel& model)
{
    const int n = 708;  // 707 x 707 cells, two triangles each: ~1,000,000
    for (int i = 0; i + 1 < n; ++i)
        for (int j = 0; j + 1 < n; ++j) {
            CVector a(i * 0.01f, j * 0.01f, 0), b((i + 1) * 0.01f, j * 0.01f, 0);
            CVector c((i + 1) * 0.01f, (j + 1) * 0.01f, 0), d(i * 0.01f, (j + 1) * 0.01f, 0);
            model.AddTriangle(a, b, c);
            model.AddTriangle(a, c, d);
        }
}

void Sphere(CModel& model)
{
    const int stacks = 500, slices = 1000;  // 2 x 500 x 1000 = 1,000,000
    const double pi = 3.14159265358979323846;
    auto at = [&](int s, int t) {
        double phi = pi * s / stacks, theta = 2 * pi * (t % slices) / slices;
        return CVector(static_cast<float>(std::sin(phi) * std::cos(theta)),
                       static_cast<float>(std::sin(phi) * std::sin(theta)), static_cast<float>(std::cos(phi)));
    };
    for (int s = 0; s < stacks; ++s)
        for (int t = 0; t < slices; ++t) {
            model.AddTriangle(at(s, t), at(s + 1, t), at(s + 1, t + 1));
            model.AddTriangle(at(s, t), at(s + 1, t + 1), at(s, t + 1));
        }
}

double Seconds(const std::function<void(CModel&)>& fill, long* vertices, long* faces)
{
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        CQuietModel model;
        model.SetGroup(nullptr, 96, 5);
        auto start = std::chrono::steady_clock::now();
        fill(model);
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = s < best ? s : best;
        *vertices = model.GetVertexCount();
        *faces = model.GetPolygonCount();
    }
    return best;
}
}  // namespace

int main()
{
    long gv, gf, sv, sf;
    double grid = Seconds(Grid, &gv, &gf);
    double sphere = Seconds(Sphere, &sv, &sf);
    std::printf("AddTriangle with merging, best of 3 runs\n");
    std::printf("  grid   %8ld triangles %8ld vertices  %7.3f s\n", gf, gv, grid);
    std::printf("  sphere %8ld triangles %8ld vertices  %7.3f s\n", sf, sv, sphere);
    double ratio = sphere / grid;
    std::printf("  sphere/grid ratio %.2f (limit 2.00): %s\n", ratio, ratio <= 2.0 ? "ok" : "TOO SLOW");
    return ratio <= 2.0 ? 0 : 1;
}
