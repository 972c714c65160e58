#include "Outline.h"

#include <cmath>

#include "TrueTypeFont.h"

namespace {

struct CCurvePoint
{
    Vec3d at;
    bool onCurve;
};

// The quadratic from a to d with control b, as `resolution` vertices from t = 0
// up to (not including) t = 1.
void Curve(const Vec3d& a, const Vec3d& b, const Vec3d& d, int resolution, std::vector<Vec3d>& out)
{
    for (int k = 0; k < resolution; ++k) {
        double t = static_cast<double>(k) / resolution;
        double s = 1.0 - t;
        out.push_back({s * s * a.x + 2 * t * s * b.x + t * t * d.x, s * s * a.y + 2 * t * s * b.y + t * t * d.y, a.z});
    }
}

}  // namespace

bool FlattenContour(const TrueTypeFont& font, uint32_t glyphIndex, int contour, int resolution, double z,
                    OutlinePolygon& target)
{
    if (glyphIndex >= font.NumGlyphs())
        return false;
    const TrueTypeGlyph& glyph = font.Glyph(glyphIndex);
    if (glyph.numberOfContours <= 0 || contour < 0 || contour >= glyph.numberOfContours)
        return false;
    const std::vector<GlyphPoint>& points = glyph.contours[contour].points;
    const double units = font.UnitsPerEm();
    if (resolution < 1)
        resolution = 1;

    target.vertices.clear();
    if (points.size() < 2) {
        target.orientation = Orientation(target);
        return true;
    }

    // The walk below needs an on-curve point to start from. A contour that
    // starts off the curve starts instead at its last point when that is on
    // the curve, or at the on-curve point implied midway between its last and
    // its first point; either way the whole outline, closing curve included,
    // is walked.
    std::vector<CCurvePoint> p;
    p.reserve(points.size() + 1);
    auto take = [&](const GlyphPoint& g) { p.push_back({Vec3d(g.x, g.y, z) / units, g.type == kOnCurve}); };
    if (points.front().type == kOnCurve) {
        for (const GlyphPoint& g : points)
            take(g);
    } else if (points.back().type == kOnCurve) {
        take(points.back());
        for (size_t i = 0; i + 1 < points.size(); ++i)
            take(points[i]);
    } else {
        take(points.back());
        take(points.front());
        p[0] = {Vec3d::Midpoint(p[0].at, p[1].at), true};
        p.pop_back();
        for (const GlyphPoint& g : points)
            take(g);
    }

    std::vector<Vec3d>& out = target.vertices;
    const size_t n = p.size();
    for (size_t i = 1; i < n; ++i) {
        const CCurvePoint& P = p[i - 1];
        const CCurvePoint& C = p[i];
        const CCurvePoint& N = i == n - 1 ? p[0] : p[i + 1];
        const size_t left = n - i;
        if (P.onCurve && C.onCurve) {
            out.push_back(P.at);
            if (left == 1)
                out.push_back(C.at);
        } else if (P.onCurve && N.onCurve) {
            Curve(P.at, C.at, N.at, resolution, out);
            if (left == 2)
                out.push_back(N.at);
            ++i;  // N ends this curve and starts the next piece
        } else if (P.onCurve) {
            Curve(P.at, C.at, Vec3d::Midpoint(C.at, N.at), resolution, out);
        } else if (!C.onCurve && N.onCurve) {
            Curve(Vec3d::Midpoint(P.at, C.at), C.at, N.at, resolution, out);
            if (left == 2)
                out.push_back(N.at);
            ++i;
        } else if (!C.onCurve) {
            Curve(Vec3d::Midpoint(P.at, C.at), C.at, Vec3d::Midpoint(C.at, N.at), resolution, out);
        }
        // An off-curve point followed by an on-curve one has been drawn by
        // the curve that ended there; starting on the curve, the walk never
        // meets that pair at its start.
    }
    if (out.size() > 1 && out.back() == out.front())
        out.pop_back();
    target.orientation = Orientation(target);
    return true;
}

int16_t Orientation(const OutlinePolygon& polygon)
{
    const std::vector<Vec3d>& v = polygon.vertices;
    if (v.empty())
        return kCounterClockwise;
    double area = 0.0;
    for (size_t i = 1; i < v.size(); ++i)
        area += v[i - 1].x * v[i].y - v[i - 1].y * v[i].x;
    area += v.back().x * v[0].y - v.back().y * v[0].x;
    return area >= 0.0 ? kCounterClockwise : kClockwise;
}

void Inset(const OutlinePolygon& source, double distance, OutlinePolygon& target)
{
    if (&source != &target)
        target = source;
    if (distance == 0.0 || source.vertices.size() < 3)
        return;
    // Each vertex moves along the bisector of its two edges' inward normals,
    // far enough that both edges move by `distance` (a mitred offset).
    const std::vector<Vec3d> v = source.vertices;
    const size_t n = v.size();
    const double side = source.orientation == kClockwise ? 1.0 : -1.0;  // the inside is right of a clockwise walk
    auto inward = [&](const Vec3d& from, const Vec3d& to) {
        Vec3d d = (to - from).Normalize();
        return Vec3d(d.y * side, -d.x * side, 0.0);
    };
    for (size_t i = 0; i < n; ++i) {
        const Vec3d& prev = v[(i + n - 1) % n];
        const Vec3d& next = v[(i + 1) % n];
        Vec3d n1 = inward(prev, v[i]);
        Vec3d n2 = inward(v[i], next);
        double cosine = 1.0 + n1.Dot(n2);
        Vec3d move = cosine > 1e-6 ? (n1 + n2) * (distance / cosine) : n1 * distance;
        target.vertices[i] = v[i] + move;
    }
}

void Inset(OutlinePolygon& polygon, double distance)
{
    Inset(polygon, distance, polygon);
}

bool PointInside(const OutlinePolygon& a, const OutlinePolygon& b)
{
    if (a.vertices.empty() || b.vertices.empty())
        return false;
    const double px = a.vertices[0].x;
    const double py = a.vertices[0].y;
    const std::vector<Vec3d>& v = b.vertices;
    bool inside = false;
    for (size_t i = 0, j = v.size() - 1; i < v.size(); j = i++) {
        if (((v[i].y <= py && py < v[j].y) || (v[j].y <= py && py < v[i].y)) &&
            px < (v[j].x - v[i].x) * (py - v[i].y) / (v[j].y - v[i].y) + v[i].x)
            inside = !inside;
    }
    return inside;
}

void MergeHole(OutlinePolygon& outer, const OutlinePolygon& hole)
{
    const std::vector<Vec3d>& o = outer.vertices;
    const std::vector<Vec3d>& h = hole.vertices;
    if (o.empty() || h.empty())
        return;
    const size_t on = o.size();
    // How well the bridge direction w leaves outer vertex i between its two
    // edges; decides between equally near copies of a vertex that an earlier
    // bridge duplicated.
    auto score = [&](size_t i, const Vec3d& w) {
        Vec3d before = (o[(i + on - 1) % on] - o[i]).Normalize();
        Vec3d after = (o[(i + 1) % on] - o[i]).Normalize();
        return (before - w).Length() + (after - w).Length();
    };
    double best = 1e30;
    size_t d = 0, k = 0;
    for (size_t i = 0; i < on; ++i) {
        for (size_t j = 0; j < h.size(); ++j) {
            Vec3d w = h[j] - o[i];
            double distance = w.Length();
            if (distance < best || (distance == best && score(d, w) > score(i, w))) {
                best = distance;
                d = i;
                k = j;
            }
        }
    }
    std::vector<Vec3d> merged;
    merged.reserve(on + h.size() + 2);
    merged.insert(merged.end(), o.begin(), o.begin() + d + 1);
    merged.insert(merged.end(), h.begin() + k, h.end());
    merged.insert(merged.end(), h.begin(), h.begin() + k + 1);
    merged.insert(merged.end(), o.begin() + d, o.end());
    outer.vertices = std::move(merged);
}

void Translate(OutlinePolygon& polygon, const Vec3d& offset)
{
    for (Vec3d& v : polygon.vertices)
        v += offset;
}

void SetZ(OutlinePolygon& polygon, double z)
{
    for (Vec3d& v : polygon.vertices)
        v.z = z;
}
