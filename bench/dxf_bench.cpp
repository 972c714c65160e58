// Extrudes a 5,000-point outline, once a circle and once a star, and prints
// how long one extrusion takes; the cap search must keep this under 2 s.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "Extrude.h"

namespace {
class CQuietModel : public CModel
{
public:
    void StatusMessage(const char*, ...) override {}
};

std::vector<CVector> Outline(int points, bool star)
{
    std::vector<CVector> outline;
    for (int k = 0; k < points; ++k) {
        double angle = 2 * 3.14159265358979323846 * k / points;
        double r = star && k % 2 ? 40.0 : 100.0;
        outline.emplace_back(static_cast<float>(r * std::cos(angle)), static_cast<float>(r * std::sin(angle)), 0.0f);
    }
    return outline;
}

// Wall-clock seconds; `cpu` gets the processor time, which tells a busy
// machine from a slow extrusion.
double Seconds(bool star, long* triangles, long* faces, double* cpu)
{
    CQuietModel model;
    model.SetGroup(nullptr, 96, 5);
    std::vector<CVector> outline = Outline(5000, star);
    std::clock_t clock = std::clock();
    auto start = std::chrono::steady_clock::now();
    *triangles = ExtrudePolyline2d(model, std::move(outline), 1);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    *cpu = static_cast<double>(std::clock() - clock) / CLOCKS_PER_SEC;
    *faces = model.GetPolygonCount();
    return s;
}
}  // namespace

int main()
{
    int slow = 0;
    for (bool star : {false, true}) {
        long triangles = 0, faces = 0;
        double cpu = 0;
        double s = Seconds(star, &triangles, &faces, &cpu);
        std::printf("extrude 5000-point %-6s: %.3f s (%.3f s of processor time), %ld triangles (%ld kept)%s\n",
                    star ? "star" : "circle", s, cpu, triangles, faces, s < 2.0 ? "" : "  TOO SLOW (limit 2 s)");
        slow += s >= 2.0;
    }
    return slow ? 1 : 0;
}
