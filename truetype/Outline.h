#pragma once

#include <cstdint>
#include <vector>

#include "Vec3d.h"

class TrueTypeFont;

enum PolygonOrientation : int16_t
{
    kClockwise = 0,
    kCounterClockwise = 1,  // also a polygon of zero area
};

// One closed straight-edged outline in em units.
struct OutlinePolygon
{
    std::vector<Vec3d> vertices;
    int16_t orientation = kClockwise;

    int Count() const { return static_cast<int>(vertices.size()); }
};

// Turns contour `contour` of glyph `glyph` into a polygon with `resolution`
// straight pieces per quadratic segment, in em units. An index out of range
// leaves the target untouched (false). Contours that start off the curve are
// flattened completely: the walk starts at the last point when it is on the
// curve, else at the midpoint implied between the last and the first point.
bool FlattenContour(const TrueTypeFont& font, uint32_t glyph, int contour, int resolution, double z,
                    OutlinePolygon& target);

// 0 (clockwise) when twice the signed area is negative, else 1.
int16_t Orientation(const OutlinePolygon& polygon);
// Moves every edge `distance` towards the inside of the polygon, keeping the
// vertex count; 0 leaves it unchanged.
void Inset(OutlinePolygon& polygon, double distance);
void Inset(const OutlinePolygon& source, double distance, OutlinePolygon& target);
// True when the first vertex of `a` lies inside `b` (even-odd rule).
bool PointInside(const OutlinePolygon& a, const OutlinePolygon& b);
// Splices the hole into the outer polygon through a bridge between their
// closest vertices; the result has outer + hole + 2 vertices.
void MergeHole(OutlinePolygon& outer, const OutlinePolygon& hole);
void Translate(OutlinePolygon& polygon, const Vec3d& offset);
void SetZ(OutlinePolygon& polygon, double z);
