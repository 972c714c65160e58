#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "PolygonSplit.h"
#include "ReaderTestSupport.h"

using polygonsplit::SplitPolygon;

namespace {

// Signed area of triangle (a, b, c) measured along `normal`.
double SignedArea(const CVector& a, const CVector& b, const CVector& c, const CVector& normal)
{
    CVector n = (b - a).Cross(c - a);
    return 0.5 * (static_cast<double>(n.x) * normal.x + static_cast<double>(n.y) * normal.y +
                  static_cast<double>(n.z) * normal.z);
}

// Area of a planar polygon along its unit normal (Newell), and that normal.
double PolygonArea(const std::vector<CVector>& p, CVector* unitNormal = nullptr)
{
    double nx = 0, ny = 0, nz = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        const CVector& a = p[i];
        const CVector& b = p[(i + 1) % p.size()];
        nx += (static_cast<double>(a.y) - b.y) * (static_cast<double>(a.z) + b.z);
        ny += (static_cast<double>(a.z) - b.z) * (static_cast<double>(a.x) + b.x);
        nz += (static_cast<double>(a.x) - b.x) * (static_cast<double>(a.y) + b.y);
    }
    double length = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (unitNormal && length > 0)
        *unitNormal = CVector(static_cast<float>(nx / length), static_cast<float>(ny / length),
                              static_cast<float>(nz / length));
    return 0.5 * length;
}


std::vector<int32_t> FanOf(size_t n)
{
    std::vector<int32_t> fan;
    for (size_t k = 2; k < n; ++k)
        fan.insert(fan.end(), {0, static_cast<int32_t>(k - 1), static_cast<int32_t>(k)});
    return fan;
}

// Places 2D outline points in a plane tilted out of every axis plane.
std::vector<CVector> Tilt(const std::vector<std::pair<double, double>>& outline)
{
    std::vector<CVector> points;
    for (auto [u, v] : outline)
        points.emplace_back(static_cast<float>(0.8 * u + 0.1 * v + 3), static_cast<float>(0.36 * u - 0.6 * v - 1),
                            static_cast<float>(0.48 * u + 0.8 * v + 0.5));
    return points;
}

// The triangles of a correct cut cover the polygon once: n - 2 of them, all
// turned like the polygon, their areas adding up to its area.
void ExpectCutInsideOutline(const std::vector<CVector>& points, const std::vector<int32_t>& triangles)
{
    ASSERT_EQ(triangles.size(), 3 * (points.size() - 2));
    CVector normal;
    double area = PolygonArea(points, &normal);
    double sum = 0;
    for (size_t t = 0; t < triangles.size(); t += 3) {
        for (size_t k = 0; k < 3; ++k)
            ASSERT_LT(static_cast<size_t>(triangles[t + k]), points.size());
        double a = SignedArea(points[triangles[t]], points[triangles[t + 1]], points[triangles[t + 2]],
                                          normal);
        EXPECT_GE(a, -1e-6 * area) << "triangle " << t / 3 << " lies outside the outline";
        sum += a;
    }
    EXPECT_NEAR(sum, area, 1e-4 * area);
}

TEST(PolygonSplit, ConvexAndFanVisiblePolygonsKeepTheFan)
{
    std::vector<int32_t> triangles;
    const std::vector<std::vector<std::pair<double, double>>> shapes = {
        {{0, 0}, {1, 0}, {1, 1}, {0, 1}},
        {{0, 0}, {2, 0}, {3, 1}, {1, 3}, {-1, 1}},
        {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {0, 1}},      // a collinear corner
        {{0, 0}, {2, 1}, {0, 0.5}, {-2, 1}},           // concave, but corner 0 sees all
    };
    for (const auto& shape : shapes) {
        SplitPolygon(Tilt(shape).data(), shape.size(), triangles);
        EXPECT_EQ(triangles, FanOf(shape.size()));
    }
}

TEST(PolygonSplit, ConcaveOutlinesAreClippedInside)
{
    std::vector<std::pair<double, double>> comb;  // ten teeth, seen from a tooth tip
    for (int t = 0; t < 10; ++t) {
        comb.push_back({t * 2.0 + 1, 5});
        comb.push_back({t * 2.0 + 1, 1});
        comb.push_back({t * 2.0 + 2, 1});
        comb.push_back({t * 2.0 + 2, 5});
    }
    comb.push_back({21, 5});
    comb.push_back({21, 0});
    comb.push_back({0, 0});
    comb.push_back({0, 5});
    std::vector<std::pair<double, double>> spiral;  // a thick spiral arm
    for (int i = 0; i <= 40; ++i)
        spiral.push_back({(1 + i * 0.1) * std::cos(i * 0.3), (1 + i * 0.1) * std::sin(i * 0.3)});
    for (int i = 40; i >= 0; --i)
        spiral.push_back({(1.3 + i * 0.1) * std::cos(i * 0.3), (1.3 + i * 0.1) * std::sin(i * 0.3)});
    for (const auto* shape : {&comb, &spiral}) {
        std::vector<CVector> points = Tilt(*shape);
        std::vector<int32_t> triangles;
        SplitPolygon(points.data(), points.size(), triangles);
        EXPECT_NE(triangles, FanOf(points.size()));
        ExpectCutInsideOutline(points, triangles);
    }
}

TEST(PolygonSplit, ShapesWithoutAPlaneStillGiveEveryTriangle)
{
    std::vector<int32_t> triangles;
    const std::vector<CVector> line = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}};
    SplitPolygon(line.data(), line.size(), triangles);
    EXPECT_EQ(triangles, FanOf(5));
    const std::vector<CVector> infinite = {{0, 0, 0}, {INFINITY, 0, 0}, {1, 1, 0}, {0, NAN, 0}, {0, 1, 0}};
    SplitPolygon(infinite.data(), infinite.size(), triangles);
    EXPECT_EQ(triangles, FanOf(5));
    // Self-crossing outlines have no correct cut; they must still end.
    std::vector<std::pair<double, double>> star;
    for (int i = 0; i < 5; ++i)
        star.push_back({std::cos(i * 4 * M_PI / 5), std::sin(i * 4 * M_PI / 5)});
    const std::vector<std::pair<double, double>> bowTie = {{0, 0}, {2, 2}, {2, 0}, {1, 1.5}, {0, 2}};
    for (const auto* shape : {&std::as_const(star), &bowTie}) {
        SplitPolygon(Tilt(*shape).data(), shape->size(), triangles);
        EXPECT_EQ(triangles.size(), 3 * (shape->size() - 2));
    }
}

// The gear faces of the SPD gears scene are concave 144-gons.
TEST(PolygonSplit, GearFacesOfTheCorpusAreCutInside)
{
    TRIVEX_REQUIRE_CORPUS("nff");
    std::ifstream in(testfiles::CorpusDir("nff") / "spd" / "gears_s2.nff");
    ASSERT_TRUE(in);
    std::string word;
    int concave = 0;
    while (in >> word) {
        if (word != "p")
            continue;
        int n = 0;
        in >> n;
        std::vector<CVector> points(n);
        for (CVector& p : points)
            in >> p.x >> p.y >> p.z;
        std::vector<int32_t> triangles;
        SplitPolygon(points.data(), points.size(), triangles);
        if (triangles != FanOf(points.size()))
            ++concave;
        ExpectCutInsideOutline(points, triangles);
        if (HasFatalFailure() || HasNonfatalFailure())
            break;
    }
    EXPECT_GT(concave, 0);
}

}  // namespace
