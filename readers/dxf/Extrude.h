#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "Model.h"

// The winding vector of q against the closed polygon `points`: the sum over
// its edges of the unit normal of (V(j) - q, V(j+1) - q) times the angle
// between them. About 2 pi long for a point inside a planar polygon, about 0
// outside.
CVector WindingVector(const CVector& q, const CVector* points, size_t count);

// True when q lies inside the closed polygon: its winding vector is longer
// than 3.14159.
bool Encloses(const CVector& q, const CVector* points, size_t count);

// Cuts an outline into cap triangles, one ear per call. The candidate ears are
// the triangles (i, i + 1, i + 2) in index order from 0; the first whose
// centroid lies inside the outline and that holds no other outline point is
// cut off by removing its middle point.
//
// A candidate that failed keeps failing until the cut of an ear could have
// changed its verdict (its centroid lies in the ear, or the removed point lay
// in its triangle), so failures are remembered between calls and a cap costs
// about n squared cheap steps instead of n cubed angle sums.
class CEarClipper
{
public:
    explicit CEarClipper(std::vector<CVector> outline);

    // The next ear, or false when none can be cut (fewer than three points
    // left, or no candidate passes).
    bool ClipEar(CVector& a, CVector& b, CVector& c);
    size_t Count() const { return m_points.size(); }

private:
    enum class EVerdict : uint8_t { Unknown, Fails };
    bool Inside(const CVector& q, const CVector* points, size_t count) const;
    bool Passes(size_t i) const;
    void Forget(const CVector& a, const CVector& b, const CVector& c);

    std::vector<CVector> m_points;
    std::vector<uint32_t> m_ids;  // each point's place in the original outline
    // The remembered failure of the candidate that starts at point id, valid
    // while that point is still followed by the same two points.
    struct CFailure
    {
        uint32_t next1 = 0, next2 = 0;
        EVerdict verdict = EVerdict::Unknown;
    };
    std::vector<CFailure> m_failures;
    bool m_flat = false;
    mutable bool m_unsure = false;  // the last verdict came from the angle sum  // every point at the same height: the winding test can count crossings
};

// Where the triangles of an outline go.
using TriangleSink = std::function<void(const CVector&, const CVector&, const CVector&)>;

// Turns a closed 2D outline into triangles of the current group: with
// m_extrude2D set, walls along every edge (the last point joins the first)
// and a bottom and a top cap m_extrusion apart; otherwise one flat cap.
// `item` numbers the outline in the status messages. Returns the number of
// triangles handed out.
long ExtrudePolyline2d(CModel& model, std::vector<CVector> outline, long item, const TriangleSink& add);
long ExtrudePolyline2d(CModel& model, std::vector<CVector> outline, long item);
