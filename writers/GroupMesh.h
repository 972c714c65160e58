#pragma once

#include <cstdint>
#include <new>
#include <cstdio>
#include <cmath>
#include <string>
#include <vector>

#include "Model.h"

// Helpers for the exporters that write each group as a mesh of its own: the
// fan split of a face, the per-group working model and short object names.

// Calls use(a, b, c, na, nb, nc) for each fan triangle (corner 0, corner k-1,
// corner k) of the face, with the corners and their 1-based vertex numbers.
// Triangles with a corner that names no vertex are left out.
template <typename Use>
void ForEachFanTriangle(const CPolygon& polygon, Use&& use)
{
    // A face holds four vertex slots; a larger count can only come from a
    // damaged record and must not send us past them.
    const int count = polygon.count < 4 ? polygon.count : 4;
    for (int k = 2; k < count; ++k) {
        const CVector* a = polygon.GetVertex(0);
        const CVector* b = polygon.GetVertex(k - 1);
        const CVector* c = polygon.GetVertex(k);
        if (a && b && c)
            use(*a, *b, *c, polygon.index[0], polygon.index[k - 1], polygon.index[k]);
    }
}

// The fan triangles of a face: what a save writes of it when nothing is
// left out.
inline long FanTriangleCount(const CPolygon& polygon)
{
    const int count = polygon.count < 4 ? polygon.count : 4;
    return count > 2 ? count - 2 : 0;
}

inline long FanTriangleCount(const CGroup& group)
{
    long total = 0;
    for (int p = 0; p < group.polygons.GetCount(); ++p)
        if (const CPolygon* polygon = group.polygons.GetAt(p))
            total += FanTriangleCount(*polygon);
    return total;
}

// Counts what a writer keeps of one group into the save's tally, when the
// caller asked for one: whatever of the group's fan triangles was not kept
// by the end of the group was left out by the format's rules.
class CGroupTally
{
public:
    CGroupTally(const CModel& model, const CGroup& group) : m_tally(model.m_writeTally), m_group(group) {}
    ~CGroupTally()
    {
        if (!m_tally)
            return;
        try {
            m_tally->dropped[&m_group] += FanTriangleCount(m_group) - m_kept;
        } catch (const std::bad_alloc&) {
            // Without the entry the check reports a loss, never a false success.
        }
    }
    CGroupTally(const CGroupTally&) = delete;
    CGroupTally& operator=(const CGroupTally&) = delete;

    // For each fan triangle the writer keeps. False for the one a planted
    // fault has the writer leave out without a word.
    bool Keep(long triangles = 1)
    {
        if (!m_tally)
            return true;
        m_kept += triangles;
        const long first = m_tally->counted;
        m_tally->counted += triangles;
        return m_tally->plantedSkip < first || m_tally->plantedSkip >= m_tally->counted;
    }

private:
    CWriteTally* m_tally;
    const CGroup& m_group;
    long m_kept = 0;
};

// Calls write(a, b, c) for the fan triangles of every face of the group, in
// order, until it returns false; false when it did.
template <typename Write>
bool WriteGroupTriangles(const CModel& model, const CGroup& group, Write&& write)
{
    CGroupTally tally(model, group);
    bool ok = true;
    for (int p = 0; p < group.polygons.GetCount() && ok; ++p)
        if (const CPolygon* polygon = group.polygons.GetAt(p))
            ForEachFanTriangle(*polygon, [&](const CVector& a, const CVector& b, const CVector& c, int, int, int) {
                if (tally.Keep())
                    ok = ok && write(a, b, c);
            });
    return ok;
}

// Groups the exporters write: active ones that hold faces.
inline bool IsWritten(const CGroup* group)
{
    return group && group->active && group->polygons.GetCount() > 0;
}

// The scratch model a writer builds each group's mesh in. Its progress texts
// (clearing between groups) are nothing the user asked about: the base model
// would print them on standard output, where a converter's own output goes,
// so they stay silent. An error (it ran out of memory) is kept instead, for
// the writer to fail the save with: a group written short must not be
// reported as saved.
class CWorkingModel : public CModel
{
public:
    // AddCorner hands each document vertex to AddVertex once.
    CWorkingModel() { WantExactRepeats(false); }

    void ShowStatus(const char*) override {}
    void ShowError(const char* text) override
    {
        if (!m_failure[0])
            std::snprintf(m_failure, sizeof m_failure, "%s", text);
    }
    void ShowInfo(const char*) override {}

    bool Failed() const { return m_failure[0] != '\0'; }
    const char* Failure() const { return m_failure; }

    // AddVertex with merging for a corner that is vertex `number` of the
    // document's model. The merge lookup runs once per vertex and group, not
    // once per corner: adding the same coordinates again always gives the
    // index they got the first time, because a vertex created later that
    // equalled them in their bucket would have merged instead of being
    // created. Coordinates that are not finite never merge, so they are
    // always added afresh.
    int AddCorner(const CVector& v, int number)
    {
        const bool finite = std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
        if (!finite || number < 1)
            return AddVertex(v, true);
        if (static_cast<size_t>(number) >= m_corner.size())
            m_corner.resize(static_cast<size_t>(number) + 1, -1);
        int32_t& known = m_corner[static_cast<size_t>(number)];
        if (known < 0) {
            known = AddVertex(v, true);
            if (known < 0)
                return -1;
            m_remembered.push_back(number);
        }
        return known;
    }

    // Forgets the corners of the last group; the vertices stay.
    void ForgetCorners()
    {
        for (int32_t number : m_remembered)
            m_corner[static_cast<size_t>(number)] = -1;
        m_remembered.clear();
    }

private:
    char m_failure[256] = {};
    std::vector<int32_t> m_corner;      // by document vertex number: working index, or -1
    std::vector<int32_t> m_remembered;  // the numbers set in m_corner
};

// Copies the group's fan triangles into `work`, which merges shared corners
// and drops triangles whose corners coincide, so that each group is written
// with its own compact vertex list. The steps are AddTriangle's: nothing for
// coincident corners, then the corners with merging in the order c, b, a.
// False when the working model could not hold them all (it has kept the
// reason).
inline bool AddGroupTriangles(CWorkingModel& work, const CModel& model, const CGroup& group)
{
    CGroupTally tally(model, group);
    work.ForgetCorners();
    // A closed mesh has about half as many vertices as triangles; more come
    // by growing the index as usual.
    if (work.GetVertexCount() == 0)
        work.ReserveVertices(group.polygons.GetCount() / 2);
    for (int p = 0; p < group.polygons.GetCount() && !work.Failed(); ++p)
        if (const CPolygon* polygon = group.polygons.GetAt(p))
            ForEachFanTriangle(*polygon, [&](const CVector& a, const CVector& b, const CVector& c, int na, int nb,
                                             int nc) {
                if (a.IsNear(b) || b.IsNear(c) || c.IsNear(a) || !tally.Keep())
                    return;
                int32_t index[3];
                index[2] = work.AddCorner(c, nc) + 1;
                index[1] = work.AddCorner(b, nb) + 1;
                index[0] = work.AddCorner(a, na) + 1;
                if (index[0] > 0 && index[1] > 0 && index[2] > 0)
                    work.AddFace(3, index);
            });
    work.ForgetCorners();
    return !work.Failed();
}

// Ends a save whose working model failed: the user sees its reason, and the
// document stays modified.
inline int FailWorkingModel(CModel& model, const CWorkingModel& work)
{
    model.ErrorMessage("%s", work.Failure());
    return 0;
}

// The triangles of the working model's current group (empty when selecting
// the group failed).
inline const CBlockArray<CPolygon>* WorkingFaces(const CModel& work)
{
    return work.m_currentGroup ? &work.m_currentGroup->polygons : nullptr;
}

inline int WorkingFaceCount(const CModel& work)
{
    const CBlockArray<CPolygon>* faces = WorkingFaces(work);
    return faces ? faces->GetCount() : 0;
}

// Vertex i of the working model; the origin stands in for a missing entry so
// that the written counts always match the lists.
inline CVector WorkingVertex(const CModel& work, int i)
{
    const CVector* v = work.m_vertices.GetAt(i);
    return v ? *v : CVector();
}

// Object names of formats that allow ten characters: a longer group name
// keeps its first seven and gains the group's position as three digits.
inline std::string ShortObjectName(const std::string& name, int position)
{
    if (name.size() <= 10)
        return name;
    char text[32];
    std::snprintf(text, sizeof text, "%.7s%03d", name.c_str(), position);
    return text;
}
