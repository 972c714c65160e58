#include "PolygonSplit.h"

#include <cmath>

namespace polygonsplit {

namespace {

struct CPoint2
{
    double x;
    double y;
};

// Twice the signed area of (o, a, b); positive when the turn is counter-clockwise.
double Turn(const CPoint2& o, const CPoint2& a, const CPoint2& b)
{
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

bool Inside(const CPoint2& a, const CPoint2& b, const CPoint2& c, const CPoint2& p)
{
    return Turn(a, b, p) >= 0.0 && Turn(b, c, p) >= 0.0 && Turn(c, a, p) >= 0.0;
}

bool SamePoint(const CPoint2& a, const CPoint2& b)
{
    return a.x == b.x && a.y == b.y;
}

void Fan(size_t count, std::vector<int32_t>& triangles)
{
    for (size_t k = 2; k < count; ++k) {
        triangles.push_back(0);
        triangles.push_back(static_cast<int32_t>(k - 1));
        triangles.push_back(static_cast<int32_t>(k));
    }
}

// Projects the polygon onto its own plane (the Newell normal), oriented so
// that the polygon winds counter-clockwise there. False when it has no plane.
bool Project(const CVector* points, size_t count, std::vector<CPoint2>& flat)
{
    double ox = points[0].x, oy = points[0].y, oz = points[0].z;
    double nx = 0.0, ny = 0.0, nz = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const CVector& a = points[i];
        const CVector& b = points[(i + 1) % count];
        double ay = a.y - oy, az = a.z - oz, ax = a.x - ox;
        double by = b.y - oy, bz = b.z - oz, bx = b.x - ox;
        nx += (ay - by) * (az + bz);
        ny += (az - bz) * (ax + bx);
        nz += (ax - bx) * (ay + by);
    }
    double length = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (!std::isfinite(length) || !(length > 0.0))
        return false;
    nx /= length;
    ny /= length;
    nz /= length;
    // u: perpendicular to the normal, built from the axis least aligned with it.
    double ux, uy, uz;
    if (std::fabs(nx) <= std::fabs(ny) && std::fabs(nx) <= std::fabs(nz)) {
        ux = 0.0, uy = -nz, uz = ny;  // (1,0,0) x n
    } else if (std::fabs(ny) <= std::fabs(nz)) {
        ux = nz, uy = 0.0, uz = -nx;  // (0,1,0) x n
    } else {
        ux = -ny, uy = nx, uz = 0.0;  // (0,0,1) x n
    }
    double ul = std::sqrt(ux * ux + uy * uy + uz * uz);
    ux /= ul;
    uy /= ul;
    uz /= ul;
    // v = n x u, so that (u, v, n) is right-handed.
    double vx = ny * uz - nz * uy, vy = nz * ux - nx * uz, vz = nx * uy - ny * ux;
    flat.resize(count);
    for (size_t i = 0; i < count; ++i) {
        double px = points[i].x - ox, py = points[i].y - oy, pz = points[i].z - oz;
        flat[i] = {px * ux + py * uy + pz * uz, px * vx + py * vy + pz * vz};
        if (!std::isfinite(flat[i].x) || !std::isfinite(flat[i].y))
            return false;
    }
    return true;
}

bool FanStaysInside(const std::vector<CPoint2>& flat)
{
    double extent = 0.0;
    for (const CPoint2& p : flat)
        extent = std::fmax(extent, std::fmax(std::fabs(p.x), std::fabs(p.y)));
    // Collinear corners of a convex polygon give fan triangles of zero area
    // that rounding may tip either way.
    const double tolerance = 1e-9 * extent * extent;
    for (size_t k = 2; k < flat.size(); ++k)
        if (Turn(flat[0], flat[k - 1], flat[k]) < -tolerance)
            return false;
    return true;
}

// Returns the work done, which stops soon after `workLimit`.
long ClipEars(const std::vector<CPoint2>& flat, std::vector<int32_t>& triangles, long workLimit)
{
    const size_t count = flat.size();
    std::vector<size_t> prev(count), next(count);
    for (size_t i = 0; i < count; ++i) {
        prev[i] = (i + count - 1) % count;
        next[i] = (i + 1) % count;
    }
    auto emit = [&](size_t a, size_t b, size_t c) {
        triangles.push_back(static_cast<int32_t>(a));
        triangles.push_back(static_cast<int32_t>(b));
        triangles.push_back(static_cast<int32_t>(c));
    };
    auto unlink = [&](size_t b) {
        next[prev[b]] = next[b];
        prev[next[b]] = prev[b];
    };
    auto isEar = [&](size_t a, size_t b, size_t c, long& work) {
        if (!(Turn(flat[a], flat[b], flat[c]) > 0.0))
            return false;
        for (size_t p = next[c]; p != a; p = next[p]) {
            ++work;
            const CPoint2& q = flat[p];
            if (SamePoint(q, flat[a]) || SamePoint(q, flat[b]) || SamePoint(q, flat[c]))
                continue;
            if (Inside(flat[a], flat[b], flat[c], q))
                return false;
        }
        return true;
    };

    // Past the limit the rest is fanned.
    long work = 0;
    size_t remaining = count;
    size_t ear = 0;
    size_t misses = 0;
    while (remaining > 3 && work < workLimit) {
        size_t a = prev[ear], c = next[ear];
        if (isEar(a, ear, c, work)) {
            emit(a, ear, c);
            unlink(ear);
            --remaining;
            ear = c;
            misses = 0;
            continue;
        }
        ear = c;
        if (++misses < remaining)
            continue;
        // A full lap without an ear: the outline crosses itself or is
        // degenerate. Cut its most convex corner so that the loop ends.
        size_t best = ear;
        double bestTurn = -INFINITY;
        size_t p = ear;
        do {
            double t = Turn(flat[prev[p]], flat[p], flat[next[p]]);
            if (t > bestTurn) {
                bestTurn = t;
                best = p;
            }
            p = next[p];
            ++work;
        } while (p != ear);
        emit(prev[best], best, next[best]);
        unlink(best);
        --remaining;
        ear = next[best];
        misses = 0;
    }
    // The last triangle, or the fan of what is left after the work limit.
    for (size_t b = next[ear]; next[b] != ear; b = next[b])
        emit(ear, b, next[b]);
    return work;
}

}  // namespace

void SplitPolygon(const CVector* points, size_t count, std::vector<int32_t>& triangles, CSplitBudget* budget)
{
    triangles.clear();
    if (count < 3)
        return;
    std::vector<CPoint2> flat;
    if (count == 3 || !Project(points, count, flat) || FanStaysInside(flat)) {
        Fan(count, triangles);
        return;
    }
    // Pathological outlines (thousands of corners that keep rejecting ears)
    // could take cubic time; no one polygon gets more than this.
    long limit = CSplitBudget::kAllowance;
    if (budget && budget->Left() < limit)
        limit = budget->Left();
    long work = ClipEars(flat, triangles, limit);
    if (budget)
        budget->Spend(work);
}

bool AddPolygon(CModel& model, const std::vector<int32_t>& corners, CSplitBudget* budget)
{
    const size_t count = corners.size();
    if (budget)
        budget->Earn(count);
    if (count < 3)
        return true;
    if (count == 3)
        return model.AddFace(3, corners.data());
    std::vector<CVector> points;
    points.reserve(count);
    const int vertexCount = model.m_vertices.GetCount();
    for (int32_t number : corners) {
        const CVector* v = number >= 1 && number <= vertexCount ? model.m_vertices.GetAt(number - 1) : nullptr;
        if (!v)
            break;
        points.push_back(*v);
    }
    std::vector<int32_t> triangles;
    if (points.size() == count)
        SplitPolygon(points.data(), count, triangles, budget);
    else
        Fan(count, triangles);
    for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
        const int32_t face[3] = {corners[triangles[t]], corners[triangles[t + 1]], corners[triangles[t + 2]]};
        if (!model.AddFace(3, face))
            return false;
    }
    return true;
}

}  // namespace polygonsplit
