#include "Extrude.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr float kInsideLength = 3.14159f;

double AngleBetween(const CVector& d, const CVector& e)
{
    double l = static_cast<double>(d.Length()) * e.Length();
    if (l == 0.0)
        return 0.0;
    double c = d.Dot(e) / l;
    if (c <= -1.0)
        return 3.14159;
    if (c >= 1.0)
        return 0.0;
    return std::acos(c);
}

// The same verdict as the winding vector for a polygon in a plane z = const,
// counted as signed crossings of the ray from q towards +x. 1 inside, 0
// outside, -1 when q lies on or very near an edge or a corner, where the
// angle sum has to decide.
int CountCrossings(const CVector& q, const CVector* points, size_t count)
{
    int winding = 0;
    for (size_t j = 0; j < count; ++j) {
        const CVector& p0 = points[j];
        const CVector& p1 = points[j + 1 == count ? 0 : j + 1];
        double ax = static_cast<double>(p0.x) - q.x, ay = static_cast<double>(p0.y) - q.y;
        double bx = static_cast<double>(p1.x) - q.x, by = static_cast<double>(p1.y) - q.y;
        double aa = ax * ax + ay * ay, bb = bx * bx + by * by;
        if (aa == 0.0 || bb == 0.0)
            return -1;
        double cross = ax * by - ay * bx;
        double dot = ax * bx + ay * by;
        if (dot < 0.0) {
            // An angle close to pi: q is close to the edge, and the sign the
            // float angle sum gives that angle is a matter of rounding.
            // Rounding of V(j) - q in floats grows with the coordinates.
            double la = std::sqrt(aa), lb = std::sqrt(bb);
            double size = std::max({std::fabs(q.x), std::fabs(q.y), std::fabs(p0.x), std::fabs(p0.y),
                                    std::fabs(p1.x), std::fabs(p1.y)});
            double tolerance = 1e-5 + 1e-6 * size * (1.0 / la + 1.0 / lb);
            if (std::fabs(cross) <= tolerance * la * lb)
                return -1;
        }
        if (ay <= 0.0) {
            if (by > 0.0 && cross > 0.0)
                ++winding;
        } else if (by <= 0.0 && cross < 0.0) {
            --winding;
        }
    }
    return winding != 0 ? 1 : 0;
}

struct CBox
{
    float min[2], max[2];

    CBox(const CVector& a, const CVector& b, const CVector& c)
    {
        min[0] = std::min({a.x, b.x, c.x});
        min[1] = std::min({a.y, b.y, c.y});
        max[0] = std::max({a.x, b.x, c.x});
        max[1] = std::max({a.y, b.y, c.y});
        // A little slack, so that points on an edge are always looked at.
        for (int k = 0; k < 2; ++k) {
            float slack = (max[k] - min[k]) * 1e-5f + std::max(std::fabs(min[k]), std::fabs(max[k])) * 1e-6f;
            min[k] -= slack;
            max[k] += slack;
        }
    }
    // False is certain; true only means "maybe". NaN is never outside.
    bool MayHold(const CVector& p) const
    {
        return !(p.x < min[0] || p.x > max[0] || p.y < min[1] || p.y > max[1]);
    }
};

CVector Centroid(const CVector& a, const CVector& b, const CVector& c)
{
    return (a + b + c) * 0.33333334f;
}

}  // namespace

CVector WindingVector(const CVector& q, const CVector* points, size_t count)
{
    CVector sum;
    for (size_t j = 0; j < count; ++j) {
        CVector w0 = points[j] - q;
        CVector w1 = points[j + 1 == count ? 0 : j + 1] - q;
        CVector u = w0.Cross(w1);
        float length = u.Length();
        u = length > 0.0f ? u / length : CVector();
        sum += u * static_cast<float>(AngleBetween(w0, w1));
    }
    return sum;
}

bool Encloses(const CVector& q, const CVector* points, size_t count)
{
    return WindingVector(q, points, count).Length() > kInsideLength;
}

CEarClipper::CEarClipper(std::vector<CVector> outline) : m_points(std::move(outline))
{
    m_ids.resize(m_points.size());
    for (size_t i = 0; i < m_ids.size(); ++i)
        m_ids[i] = static_cast<uint32_t>(i);
    m_failures.resize(m_points.size());
    m_flat = true;
    for (const CVector& p : m_points)
        if (!(p.z == m_points.front().z) || !std::isfinite(p.x) || !std::isfinite(p.y))
            m_flat = false;
}

bool CEarClipper::Inside(const CVector& q, const CVector* points, size_t count) const
{
    if (m_flat && q.z == points[0].z) {
        int verdict = CountCrossings(q, points, count);
        if (verdict >= 0)
            return verdict == 1;
    }
    // Near an edge the angle sum lands close to the threshold, and rounding
    // over the whole outline decides: such a verdict can change with any cut.
    m_unsure = true;
    return Encloses(q, points, count);
}

bool CEarClipper::Passes(size_t i) const
{
    const size_t n = m_points.size();
    const size_t i1 = (i + 1) % n, i2 = (i + 2) % n;
    const CVector triangle[3] = {m_points[i], m_points[i1], m_points[i2]};
    if (!Inside(Centroid(triangle[0], triangle[1], triangle[2]), m_points.data(), n))
        return false;
    // Outside the triangle's box a point's winding against it is about 0.
    CBox box(triangle[0], triangle[1], triangle[2]);
    for (size_t k = 0; k < n; ++k) {
        if (k == i || k == i1 || k == i2 || !box.MayHold(m_points[k]))
            continue;
        if (Inside(m_points[k], triangle, 3))
            return false;
    }
    return true;
}

// Cutting the ear (a, b, c) changes the outline only inside that triangle:
// a remembered failure can turn into a pass only when its centroid lies
// there, or when b was the point that lay in its triangle.
void CEarClipper::Forget(const CVector& a, const CVector& b, const CVector& c)
{
    const size_t n = m_points.size();
    CBox ear(a, b, c);
    for (size_t k = 0; k < n; ++k) {
        CFailure& failure = m_failures[m_ids[k]];
        if (failure.verdict != EVerdict::Fails)
            continue;
        const size_t k1 = (k + 1) % n, k2 = (k + 2) % n;
        if (failure.next1 != m_ids[k1] || failure.next2 != m_ids[k2])
            continue;  // stale: never looked up again
        const CVector& p0 = m_points[k];
        const CVector& p1 = m_points[k1];
        const CVector& p2 = m_points[k2];
        if (ear.MayHold(Centroid(p0, p1, p2)) || CBox(p0, p1, p2).MayHold(b))
            failure.verdict = EVerdict::Unknown;
    }
}

bool CEarClipper::ClipEar(CVector& a, CVector& b, CVector& c)
{
    const size_t n = m_points.size();
    if (n < 3)
        return false;
    if (n == 3) {
        a = m_points[0];
        b = m_points[1];
        c = m_points[2];
        m_points.clear();
        m_ids.clear();
        return true;
    }
    for (size_t i = 0; i < n; ++i) {
        const size_t i1 = (i + 1) % n, i2 = (i + 2) % n;
        CFailure& failure = m_failures[m_ids[i]];
        if (failure.verdict == EVerdict::Fails && failure.next1 == m_ids[i1] && failure.next2 == m_ids[i2])
            continue;
        m_unsure = false;
        if (!Passes(i)) {
            if (!m_unsure)
                failure = {m_ids[i1], m_ids[i2], EVerdict::Fails};
            continue;
        }
        a = m_points[i];
        b = m_points[i1];
        c = m_points[i2];
        m_points.erase(m_points.begin() + static_cast<std::ptrdiff_t>(i1));
        m_ids.erase(m_ids.begin() + static_cast<std::ptrdiff_t>(i1));
        Forget(a, b, c);
        return true;
    }
    return false;
}

long ExtrudePolyline2d(CModel& model, std::vector<CVector> outline, long item, const TriangleSink& add)
{
    const bool extrude = model.m_extrude2D != 0;
    const float h = model.m_extrusion;
    long triangles = 0;
    auto counted = [&](bool extrusion) {
        if (++triangles % 10 == 0) {
            if (extrusion)
                model.StatusMessage("2d item(%ld): 3d extrusion %ld", item, triangles);
            else
                model.StatusMessage("2d item(%ld): 3d polygon %ld", item, triangles);
        }
    };
    auto raised = [h](CVector v) {
        v.z += h;
        return v;
    };
    const size_t n = outline.size();
    if (extrude) {
        for (size_t k = 0; k < n; ++k) {
            const CVector& a = outline[k];
            const CVector& b = outline[k + 1 == n ? 0 : k + 1];
            add(a, b, raised(b));
            counted(true);
            add(a, raised(b), raised(a));
            counted(true);
        }
    }
    CEarClipper clipper(std::move(outline));
    CVector a, b, c;
    while (clipper.ClipEar(a, b, c)) {
        add(a, b, c);
        counted(extrude);
        if (extrude) {
            add(raised(a), raised(b), raised(c));
            counted(true);
        }
    }
    return triangles;
}

long ExtrudePolyline2d(CModel& model, std::vector<CVector> outline, long item)
{
    return ExtrudePolyline2d(model, std::move(outline), item,
                             [&model](const CVector& a, const CVector& b, const CVector& c) {
                                 model.AddTriangle(a, b, c);
                             });
}
