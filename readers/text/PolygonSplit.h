#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Model.h"

namespace polygonsplit {

// How much ear-clipping work a reader may still spend. Clipping costs up to
// cubic time in a polygon's corners, so a file made of large self-crossing
// outlines would take minutes per megabyte. A reader keeps one budget for its
// whole file: a fixed allowance, so that a few large outlines are cut
// properly, plus a share for every corner read, so that the total stays
// linear in the file. Once it is spent, polygons are fanned.
class CSplitBudget
{
public:
    static constexpr long kAllowance = 20000000;
    static constexpr long kPerCorner = 200;

    void Earn(size_t corners)
    {
        const long most = 4 * kAllowance;  // saved-up work is capped as well
        long earned = corners < static_cast<size_t>(most / kPerCorner) ? static_cast<long>(corners) * kPerCorner : most;
        m_left = m_left > most - earned ? most : m_left + earned;
    }
    long Left() const { return m_left; }
    void Spend(long work) { m_left = work < m_left ? m_left - work : 0; }

private:
    long m_left = kAllowance;
};

// Cuts a polygon into triangles, written to `triangles` as corner positions
// (0-based, three per triangle, n - 2 triangles in all). A polygon whose fan
// from corner 0 stays inside its outline (every convex polygon, and any other
// that corner 0 sees whole) keeps that fan: (0, k - 1, k) for k = 2 .. n - 1.
// Any other polygon is cut by ear clipping in its own plane. Every triangle
// keeps the polygon's winding. Polygons that have no plane (non-finite or
// collinear corners) are fanned. With a budget, clipping draws on it and
// fans whatever is left when it runs out. May throw std::bad_alloc.
void SplitPolygon(const CVector* points, size_t count, std::vector<int32_t>& triangles,
                  CSplitBudget* budget = nullptr);

// Appends a polygon of 1-based vertex numbers to the model's current group:
// three corners as one triangle, more as the triangles SplitPolygon gives
// (a fan when some corner does not resolve to a vertex), fewer as nothing.
// False when the model could not store a face. May throw std::bad_alloc.
bool AddPolygon(CModel& model, const std::vector<int32_t>& corners, CSplitBudget* budget = nullptr);

}  // namespace polygonsplit
