#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Model.h"

namespace polygonsplit {

// Cuts a polygon into triangles, written to `triangles` as corner positions
// (0-based, three per triangle, n - 2 triangles in all). A polygon whose fan
// from corner 0 stays inside its outline (every convex polygon, and any other
// that corner 0 sees whole) keeps that fan: (0, k - 1, k) for k = 2 .. n - 1.
// Any other polygon is cut by ear clipping in its own plane. Every triangle
// keeps the polygon's winding. Polygons that have no plane (non-finite or
// collinear corners) are fanned. May throw std::bad_alloc.
void SplitPolygon(const CVector* points, size_t count, std::vector<int32_t>& triangles);

// Appends a polygon of 1-based vertex numbers to the model's current group:
// three corners as one triangle, more as the triangles SplitPolygon gives
// (a fan when some corner does not resolve to a vertex), fewer as nothing.
// False when the model could not store a face. May throw std::bad_alloc.
bool AddPolygon(CModel& model, const std::vector<int32_t>& corners);

}  // namespace polygonsplit
