#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

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

// Calls write(a, b, c) for the fan triangles of every face of the group, in
// order, until it returns false; false when it did.
template <typename Write>
bool WriteGroupTriangles(const CGroup& group, Write&& write)
{
    bool ok = true;
    for (int p = 0; p < group.polygons.GetCount() && ok; ++p)
        if (const CPolygon* polygon = group.polygons.GetAt(p))
            ForEachFanTriangle(*polygon, [&](const CVector& a, const CVector& b, const CVector& c, int, int, int) {
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
    void ShowStatus(const char*) override {}
    void ShowError(const char* text) override
    {
        if (!m_failure[0])
            std::snprintf(m_failure, sizeof m_failure, "%s", text);
    }
    void ShowInfo(const char*) override {}

    bool Failed() const { return m_failure[0] != '\0'; }
    const char* Failure() const { return m_failure; }

private:
    char m_failure[256] = {};
};

// Copies the group's fan triangles into `work`, which merges shared corners
// and drops triangles whose corners coincide, so that each group is written
// with its own compact vertex list. False when the working model could not
// hold them all (it has kept the reason).
inline bool AddGroupTriangles(CWorkingModel& work, const CGroup& group)
{
    for (int p = 0; p < group.polygons.GetCount() && !work.Failed(); ++p)
        if (const CPolygon* polygon = group.polygons.GetAt(p))
            ForEachFanTriangle(*polygon, [&](const CVector& a, const CVector& b, const CVector& c, int, int, int) {
                work.AddTriangle(a, b, c);
            });
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
