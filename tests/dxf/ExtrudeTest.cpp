// The extrusion of 2D outlines, and the ear clipper against a plain ear
// search that tests every candidate from the start on every call.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "Extrude.h"
#include "RecordingModel.h"

namespace {

using Triangle = std::array<CVector, 3>;

std::vector<Triangle> Extrude(CRecordingModel& model, std::vector<CVector> outline)
{
    std::vector<Triangle> out;
    ExtrudePolyline2d(model, std::move(outline), 1,
                      [&](const CVector& a, const CVector& b, const CVector& c) { out.push_back({a, b, c}); });
    return out;
}

bool Same(const CVector& a, const CVector& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

bool Same(const Triangle& s, const Triangle& t)
{
    return Same(s[0], t[0]) && Same(s[1], t[1]) && Same(s[2], t[2]);
}

const std::vector<CVector> kSquare = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

TEST(Extrude, SquareFlatAndExtruded)
{
    CRecordingModel flat;
    flat.m_extrude2D = 0;
    std::vector<Triangle> caps = Extrude(flat, kSquare);
    ASSERT_EQ(caps.size(), 2u);
    EXPECT_TRUE(Same(caps[0], {kSquare[0], kSquare[1], kSquare[2]}));
    EXPECT_TRUE(Same(caps[1], {kSquare[0], kSquare[2], kSquare[3]}));
    EXPECT_TRUE(flat.status.empty());

    CRecordingModel solid;
    solid.m_extrusion = 2.0f;
    std::vector<Triangle> all = Extrude(solid, kSquare);
    ASSERT_EQ(all.size(), 12u);
    const CVector up(0, 0, 2);
    // Walls along every edge, the last one closing the outline, then each
    // bottom ear followed by its top in the same corner order.
    EXPECT_TRUE(Same(all[6], {kSquare[3], kSquare[0], kSquare[0] + up}));
    EXPECT_TRUE(Same(all[7], {kSquare[3], kSquare[0] + up, kSquare[3] + up}));
    EXPECT_TRUE(Same(all[8], caps[0]));
    EXPECT_TRUE(Same(all[9], {caps[0][0] + up, caps[0][1] + up, caps[0][2] + up}));
    EXPECT_EQ(solid.status, std::vector<std::string>{"2d item(1): 3d extrusion 10"});
}

TEST(Extrude, ConcaveOutlineLeavesTheNotch)
{
    // An L: the square (1,1)-(2,2) is the notch.
    const std::vector<CVector> l = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}};
    CRecordingModel model;
    model.m_extrude2D = 0;
    double area = 0;
    for (const Triangle& t : Extrude(model, l)) {
        CVector g = (t[0] + t[1] + t[2]) * (1.0f / 3);
        EXPECT_FALSE(g.x > 1 && g.y > 1) << "a cap triangle covers the notch";
        area += std::fabs((t[1] - t[0]).Cross(t[2] - t[0]).z) / 2;
    }
    EXPECT_FLOAT_EQ(area, 3.0);
}

// The ear search as plainly stated: from index 0 every time.
bool PlainClipEar(std::vector<CVector>& p, CVector& a, CVector& b, CVector& c)
{
    const size_t n = p.size();
    if (n < 3)
        return false;
    if (n == 3) {
        a = p[0], b = p[1], c = p[2];
        p.clear();
        return true;
    }
    for (size_t i = 0; i < n; ++i) {
        const CVector t[3] = {p[i], p[(i + 1) % n], p[(i + 2) % n]};
        if (!Encloses((t[0] + t[1] + t[2]) * 0.33333334f, p.data(), n))
            continue;
        bool empty = true;
        for (size_t k = 0; k < n && empty; ++k)
            if (k != i && k != (i + 1) % n && k != (i + 2) % n)
                empty = !Encloses(p[k], t, 3);
        if (!empty)
            continue;
        a = t[0], b = t[1], c = t[2];
        p.erase(p.begin() + static_cast<std::ptrdiff_t>((i + 1) % n));
        return true;
    }
    return false;
}

TEST(Extrude, ClipperMatchesThePlainSearch)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int polygons = 0, triangles = 0;
    for (int shape = 0; shape < 4; ++shape) {
        for (int round = 0; round < 60; ++round) {
            const int n = 4 + static_cast<int>(unit(random) * 40);
            std::vector<CVector> outline;
            for (int k = 0; k < n; ++k) {
                float angle = 6.2831853f * k / n, r = 0.2f + unit(random);
                if (shape == 0)  // star-shaped, concave
                    outline.emplace_back(r * std::cos(angle), r * std::sin(angle), 0.0f);
                else if (shape == 1)  // on a coarse grid: collinear runs and repeated points
                    outline.emplace_back(std::round(r * 4 * std::cos(angle)), std::round(r * 4 * std::sin(angle)), 0.0f);
                else if (shape == 2)  // self-intersecting
                    outline.emplace_back(unit(random), unit(random), 0.0f);
                else  // clockwise spiral arm: few ears, found late
                    outline.emplace_back((1 + k) * std::cos(-angle * 2), (1 + k) * std::sin(-angle * 2), 0.0f);
            }
            SCOPED_TRACE(testing::Message() << "shape " << shape << " round " << round);
            std::vector<CVector> plain = outline;
            CEarClipper clipper(outline);
            Triangle fast, slow;
            bool more = true;
            while (more) {
                more = PlainClipEar(plain, slow[0], slow[1], slow[2]);
                ASSERT_EQ(clipper.ClipEar(fast[0], fast[1], fast[2]), more);
                if (more) {
                    ASSERT_TRUE(Same(fast, slow)) << "triangle " << triangles;
                    ++triangles;
                }
            }
            EXPECT_EQ(clipper.Count(), plain.size());
            ++polygons;
        }
    }
    EXPECT_GT(triangles, 2000);
}

}  // namespace
