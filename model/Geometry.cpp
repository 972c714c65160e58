#include <cmath>
#include <new>
#include <vector>

#include "Model.h"


double CVector::AngleTo(const CVector& b) const
{
    double l = static_cast<double>(Length()) * b.Length();
    if (l == 0.0)
        return 0.0;
    double c = Dot(b) / l;
    if (c <= -1.0)
        return 180.0;
    if (c >= 1.0)
        return 0.0;
    return std::acos(c) * kRadToDeg;
}

CVector CVector::RotateX(double degrees) const
{
    double t = degrees * kDegToRad, c = std::cos(t), s = std::sin(t);
    return {x, static_cast<float>(y * c + z * s), static_cast<float>(z * c - y * s)};
}

CVector CVector::RotateY(double degrees) const
{
    double t = degrees * kDegToRad, c = std::cos(t), s = std::sin(t);
    return {static_cast<float>(x * c - z * s), y, static_cast<float>(x * s + z * c)};
}

CVector CVector::RotateZ(double degrees) const
{
    double t = degrees * kDegToRad, c = std::cos(t), s = std::sin(t);
    return {static_cast<float>(x * c + y * s), static_cast<float>(y * c - x * s), z};
}

namespace {
// Calls use(face) for every face of the active groups, in order.
template <typename F>
void ForEachActiveFace(const CBlockArray<CGroup>& groups, F&& use)
{
    for (int g = 0; g < groups.GetCount(); ++g) {
        const CGroup* group = groups.GetAt(g);
        if (!group || !group->active)
            continue;
        group->polygons.ForEach(use);
    }
}

// Calls use(i) with the 0-based index of each vertex the face's slots name,
// among `vertexCount`; slots naming none are passed over.
template <typename F>
void ForEachCornerIndex(const CPolygon& polygon, int vertexCount, F&& use)
{
    for (int s = 0; s < polygon.count && s < 4; ++s)
        if (polygon.index[s] >= 1 && polygon.index[s] <= vertexCount)
            use(static_cast<size_t>(polygon.index[s] - 1));
}

// Calls use(vertex) for every slot of every face of the active groups.
template <typename F>
void ForEachUsedVertex(const CBlockArray<CGroup>& groups, F&& use)
{
    ForEachActiveFace(groups, [&](const CPolygon& polygon) {
        for (int s = 0; s < polygon.count; ++s)
            if (const CVector* v = polygon.GetVertex(s))
                use(*v);
    });
}
}  // namespace

std::vector<uint8_t> CModel::MarkUsedVertices() const
{
    std::vector<uint8_t> used;
    const int vertexCount = m_vertices.GetCount();
    try {
        used.assign(static_cast<size_t>(vertexCount) + 1, 0);
    } catch (const std::bad_alloc&) {
        return {};
    }
    // The slots ForEachUsedVertex visits. The extra last mark says the marks
    // were made, even for a model without vertices.
    used[static_cast<size_t>(vertexCount)] = 1;
    ForEachActiveFace(m_groups, [&](const CPolygon& polygon) {
        if (polygon.owner)
            ForEachCornerIndex(polygon, vertexCount, [&](size_t i) { used[i] = 1; });
    });
    return used;
}

namespace {
// use(vertex) for every vertex marked used; with no marks, for every slot of
// every active face.
template <typename F>
void ForEachMarkedVertex(const CBlockArray<CVector>& vertices, const CBlockArray<CGroup>& groups,
                         const std::vector<uint8_t>& used, F&& use)
{
    if (used.size() != static_cast<size_t>(vertices.GetCount()) + 1) {
        ForEachUsedVertex(groups, use);
        return;
    }
    for (int i = 0; i < vertices.GetCount(); ++i)
        if (used[static_cast<size_t>(i)])
            if (const CVector* v = vertices.GetAt(i))
                use(*v);
}
}  // namespace

void CModel::ComputeRange()
{
    ComputeRange(MarkUsedVertices());
}

void CModel::ComputeRange(const std::vector<uint8_t>& used)
{
    BeginWait();
    StatusMessage("Computing Range");
    for (int g = 0; g < m_groups.GetCount(); ++g) {
        const CGroup* group = m_groups.GetAt(g);
        if (group && group->active && group->polygons.GetCount() > 0)
            StatusMessage("Computing Range: %s", group->name.c_str());
    }
    FindRange(used);
    EndWait();
    StatusMessage("Ranges Computed");
}

void CModel::FindRange(const std::vector<uint8_t>& used)
{
    float lo[3], hi[3];
    bool any;
    unsigned zeros[3];  // per axis: 1 when +0 was seen, 2 when -0 was
    auto range = [&](const std::vector<uint8_t>& marks) {
        for (int i = 0; i < 3; ++i) {
            lo[i] = 1e20f;
            hi[i] = -1e20f;
            zeros[i] = 0;
        }
        any = false;
        ForEachMarkedVertex(m_vertices, m_groups, marks, [&](const CVector& v) {
            const float c[3] = {v.x, v.y, v.z};
            for (int i = 0; i < 3; ++i) {
                if (c[i] < lo[i])
                    lo[i] = c[i];
                if (c[i] > hi[i])
                    hi[i] = c[i];
                if (c[i] == 0.0f)
                    zeros[i] |= std::signbit(c[i]) ? 2u : 1u;
            }
            any = true;
        });
    };
    range(used);
    // Which zero an extreme at zero keeps, +0 or -0, depends on the order the
    // corners come in when both occur; it shows in written ranges, so such a
    // range is taken again in the faces' order.
    for (int i = 0; i < 3 && !used.empty(); ++i) {
        if ((lo[i] == 0.0f || hi[i] == 0.0f) && zeros[i] == 3u) {
            range({});
            break;
        }
    }
    for (int i = 0; i < 3; ++i) {
        m_min[i] = any ? lo[i] : 0.0f;
        m_max[i] = any ? hi[i] : 0.0f;
    }
}

// Vertices moved in place stay mergeable where they are now, not where they
// were added.
void CModel::VerticesMoved()
{
    ++m_vertexMoves;
    ForgetExactRepeats();
    if (!m_vertexHash.IsEmpty())
        m_vertexHash.Reindex(m_vertices);
}

void CModel::Center(bool updateViews)
{
    Center(updateViews, MarkUsedVertices());
}

void CModel::Center(bool updateViews, const std::vector<uint8_t>& used)
{
    ComputeRange(used);
    StatusMessage("Centering Object");
    BeginWait();
    MoveToCenter();
    StatusMessage("Centering Finished");
    SetModified(true);
    if (updateViews)
        UpdateViews();
    EndWait();
}

void CModel::MoveToCenter()
{
    double c[3];
    for (int i = 0; i < 3; ++i)
        c[i] = (m_min[i] + (static_cast<double>(m_max[i]) - m_min[i]) * 0.5) * m_scale;
    for (int i = 0; i < m_vertices.GetCount(); ++i) {
        if (CVector* v = m_vertices.GetAt(i)) {
            v->x = static_cast<float>(v->x * static_cast<double>(m_scale) - c[0]);
            v->y = static_cast<float>(v->y * static_cast<double>(m_scale) - c[1]);
            v->z = static_cast<float>(v->z * static_cast<double>(m_scale) - c[2]);
        }
    }
    m_scale = 1.0f;
    VerticesMoved();
}

void CModel::Unitize(bool setScale, bool updateViews)
{
    Unitize(setScale, updateViews, MarkUsedVertices());
}

void CModel::Unitize(bool setScale, bool updateViews, const std::vector<uint8_t>& used)
{
    StatusMessage("Unitize Object");
    BeginWait();
    ScaleToUnit(setScale, used);
    StatusMessage("Unitize Finished");
    SetModified(true);
    if (updateViews)
        UpdateViews();
    EndWait();
}

void CModel::ScaleToUnit(bool setScale, const std::vector<uint8_t>& used)
{
    double farthest = -1.0;
    ForEachMarkedVertex(m_vertices, m_groups, used, [&](const CVector& v) {
        double d = static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y + static_cast<double>(v.z) * v.z;
        if (d > farthest)
            farthest = d;
    });
    double r = farthest > 0.0 ? std::sqrt(farthest) : 0.0;
    // A non-finite radius would turn every coordinate into NaN; leave them be.
    if (r > 0.0 && std::isfinite(r)) {
        if (setScale)
            m_scale = r > 500.0 ? 500.0f : r < 0.0001 ? 0.0001f : static_cast<float>(r);
        for (int i = 0; i < m_vertices.GetCount(); ++i) {
            if (CVector* v = m_vertices.GetAt(i)) {
                v->x = static_cast<float>(v->x / r);
                v->y = static_cast<float>(v->y / r);
                v->z = static_cast<float>(v->z / r);
            }
        }
        VerticesMoved();
    }
}

void CModel::Rotate(Axis axis, float degrees, bool updateViews)
{
    static const char* const names[] = {"X", "Y", "Z"};
    StatusMessage("Rotating Object %3.2f Degrees on the %s Axis", degrees, names[static_cast<int>(axis)]);
    BeginWait();
    for (int i = 0; i < m_vertices.GetCount(); ++i) {
        if (CVector* v = m_vertices.GetAt(i))
            *v = axis == Axis::X ? v->RotateX(degrees) : axis == Axis::Y ? v->RotateY(degrees) : v->RotateZ(degrees);
    }
    FinishRotation(updateViews);
}

void CModel::FinishRotation(bool updateViews)
{
    VerticesMoved();
    StatusMessage("Rotation Finished");
    SetModified(true);
    EndWait();
    CalculateNormals();
    if (updateViews)
        UpdateViews();
}

void CModel::TurnZUp(bool updateViews)
{
    // The quarter turn about X, done exactly: turned through the rotation's
    // pi of 3.14159, every coordinate would keep a trace of the old axis.
    StatusMessage("Rotating Object %3.2f Degrees on the X Axis", 90.0);
    BeginWait();
    for (int i = 0; i < m_vertices.GetCount(); ++i) {
        if (CVector* v = m_vertices.GetAt(i))
            *v = CVector(v->x, v->z, -v->y);
    }
    FinishRotation(updateViews);
}

void CModel::RotateX(float degrees, bool updateViews) { Rotate(Axis::X, degrees, updateViews); }
void CModel::RotateY(float degrees, bool updateViews) { Rotate(Axis::Y, degrees, updateViews); }
void CModel::RotateZ(float degrees, bool updateViews) { Rotate(Axis::Z, degrees, updateViews); }

void CModel::Mirror(Axis axis, bool updateViews)
{
    static const char* const names[] = {"X", "Y", "Z"};
    StatusMessage("Mirroring on the %s Axis", names[static_cast<int>(axis)]);
    BeginWait();
    for (int i = 0; i < m_vertices.GetCount(); ++i) {
        if (CVector* v = m_vertices.GetAt(i)) {
            float& c = axis == Axis::X ? v->x : axis == Axis::Y ? v->y : v->z;
            c = -c;
        }
    }
    VerticesMoved();
    // A reflection turns every face's winding around as seen from outside;
    // reading the corners the other way keeps the normals on the side of the
    // surface they were on.
    m_normalOrder = m_normalOrder ? 0 : 1;
    StatusMessage("Mirroring Finished");
    SetModified(true);
    EndWait();
    CalculateNormals();
    if (updateViews)
        UpdateViews();
}

void CModel::MirrorX(bool updateViews) { Mirror(Axis::X, updateViews); }
void CModel::MirrorY(bool updateViews) { Mirror(Axis::Y, updateViews); }
void CModel::MirrorZ(bool updateViews) { Mirror(Axis::Z, updateViews); }

namespace {
// Decides n.AngleTo(face) < degrees. acos would cost more than the rest of the
// normal pass, so the cosine decides wherever it lies clearly on one side of
// the threshold's; the angle itself decides only within a hair of it, so the
// outcome is the same as computing every angle.
class CWithinAngle
{
public:
    explicit CWithinAngle(double degrees)
        : m_degrees(degrees), m_cosine(std::cos(degrees * kDegToRad)), m_useCosine(degrees > 1.0 && degrees < 179.0)
    {
    }

    // nLength is n.Length(), which the caller keeps as n grows.
    bool operator()(const CVector& n, float nLength, const CVector& face) const
    {
        // The same steps as AngleTo, so that c is the very value it takes the
        // arc cosine of; with no length at all, AngleTo gives 0.
        const double l = static_cast<double>(nLength) * face.Length();
        if (l == 0.0)
            return 0.0 < m_degrees;
        if (m_useCosine) {
            const double c = n.Dot(face) / l;
            if (c > m_cosine + kMargin)
                return true;
            if (c < m_cosine - kMargin)
                return false;
        }
        return n.AngleTo(face) < m_degrees;
    }

private:
    // The arc cosine moves at least as fast as its argument, and its rounding
    // is far below this.
    static constexpr double kMargin = 1e-9;
    double m_degrees;
    double m_cosine;
    bool m_useCosine;
};
}  // namespace

CVector CModel::FaceNormal(const CPolygon& polygon) const
{
    const CVector* a = polygon.GetVertex(m_normalOrder ? 0 : 2);
    const CVector* b = polygon.GetVertex(1);
    const CVector* c = polygon.GetVertex(m_normalOrder ? 2 : 0);
    return a && b && c ? (*c - *a).Cross(*b - *a).Normalize() : CVector();
}

void CModel::CalculateNormals()
{
    WorkOutNormals(true);
}

void CModel::CalculateNormalsWithoutXRef(bool smoothGroupsOnly)
{
    WorkOutNormals(false, smoothGroupsOnly);
}

void CModel::WorkOutNormals(bool fromXRef, bool smoothGroupsOnly)
{
    StatusMessage("Calculating Polygon & Vertex Normals");
    BeginWait();
    const CWithinAngle within(m_smoothAngle);
    // The vertices whose normals are asked for, when not all of them: those
    // of the active smooth groups. Empty for every vertex.
    std::vector<uint8_t> wanted;
    const int vertexCount = m_vertices.GetCount();
    if (smoothGroupsOnly && !fromXRef) {
        try {
            wanted.assign(static_cast<size_t>(vertexCount), 0);
        } catch (const std::bad_alloc&) {
            // Every vertex then, as without the choice.
        }
        for (int g = 0; g < m_groups.GetCount() && !wanted.empty(); ++g)
            if (const CGroup* group = m_groups.GetAt(g); group && group->active && group->smooth)
                group->polygons.ForEach([&](const CPolygon& polygon) {
                    ForEachCornerIndex(polygon, vertexCount, [&](size_t i) { wanted[i] = 1; });
                });
    }
    // A face's normal goes into the sums of its vertices.
    const auto meetsWanted = [&](const CPolygon& polygon) {
        bool meets = wanted.empty();
        ForEachCornerIndex(polygon, vertexCount, [&](size_t i) { meets = meets || wanted[i]; });
        return meets;
    };
    // Which runs of each group's faces hold a face that meets the vertices
    // asked for, so that the sums below (those without the cross-reference)
    // pass over the other runs: the flat half of a model then costs them
    // nothing. Without the room for the marks, every run is summed.
    constexpr int kRun = 1024;
    const int groupCount = m_groups.GetCount();
    std::vector<size_t> firstRun;  // each group's first mark in `met`
    std::vector<uint8_t> met;
    try {
        firstRun.assign(static_cast<size_t>(groupCount) + 1, 0);
        for (int g = 0; g < groupCount; ++g) {
            const CGroup* group = m_groups.GetAt(g);
            const int runs = group ? (group->polygons.GetCount() + kRun - 1) / kRun : 0;
            firstRun[static_cast<size_t>(g) + 1] = firstRun[static_cast<size_t>(g)] + static_cast<size_t>(runs);
        }
        met.assign(firstRun.back(), 0);
    } catch (const std::bad_alloc&) {
        met.clear();
    }
    const auto runMet = [&](int g, int from) -> uint8_t* {
        return met.empty() ? nullptr : &met[firstRun[static_cast<size_t>(g)] + static_cast<size_t>(from / kRun)];
    };
    for (int g = 0; g < groupCount; ++g) {
        const CGroup* group = m_groups.GetAt(g);
        for (int from = 0; group && from < group->polygons.GetCount(); from += kRun) {
            uint8_t* mark = runMet(g, from);
            group->polygons.ForEachIn(from, from + kRun, [&](CPolygon& polygon) {
                if (meetsWanted(polygon)) {
                    polygon.normal = FaceNormal(polygon);
                    if (mark)
                        *mark = 1;
                }
            });
        }
    }
    // The vertex normals first made, in order; running out of memory leaves
    // the vertices from there without one.
    int vertices = fromXRef ? m_xref.GetCount() : m_vertices.GetCount();
    for (int i = m_vertexNormals.GetCount(); i < vertices; ++i) {
        CVector* n = m_normalPool.New();
        if (!n || m_vertexNormals.Add(n) < 0) {
            ErrorMessage("Out of Memory\n");
            vertices = i;
            break;
        }
    }
    // Each sum takes the faces its test lets in, and keeps its length.
    auto add = [&within](CVector& n, float& length, const CVector& face) {
        if (within(n, length, face)) {
            n += face;
            length = n.Length();
        }
    };
    if (fromXRef) {
        // A vertex's faces may lie anywhere among the polygons: in a large
        // model each is a cache miss. Those of a vertex further on are asked
        // for while this one is summed, so that the misses overlap.
        constexpr int kAhead = 8;
        for (int i = 0; i < vertices; ++i) {
            if (i + kAhead < vertices)
                if (const CVertexRef* ahead = m_xref.GetAt(i + kAhead))
                    for (int k = 0; k < ahead->count; ++k)
                        __builtin_prefetch(&ahead->polygons[k]->normal);
            CVector* n = m_vertexNormals.GetAt(i);
            *n = CVector();
            const CVertexRef* ref = m_xref.GetAt(i);
            float length = 0.0f;
            for (int k = 0; m_smoothAngle > 0.0f && ref && k < ref->count; ++k)
                add(*n, length, ref->polygons[k]->normal);
            *n = n->Normalize();
        }
    } else {
        // The faces in the cross-reference's order, each added to the sums
        // of its vertices: every sum meets its faces in the order it would
        // find them in its list. The sums are the normals themselves.
        std::vector<float> lengths;
        try {
            lengths.assign(static_cast<size_t>(vertices), 0.0f);
        } catch (const std::bad_alloc&) {
            ErrorMessage("Out of Memory\n");
        }
        for (size_t i = 0; i < lengths.size(); ++i)
            *m_vertexNormals.GetAt(static_cast<int>(i)) = CVector();
        const auto sum = [&](size_t i, const CPolygon& face) {
            if (i < lengths.size() && (wanted.empty() || wanted[i]))
                add(*m_vertexNormals.GetAt(static_cast<int>(i)), lengths[i], face.normal);
        };
        // ForEachVertexFace's order, over the runs that meet a sum.
        for (int g = groupCount - 1; g >= 0 && m_smoothAngle > 0.0f && !lengths.empty(); --g) {
            const CGroup* group = m_groups.GetAt(g);
            for (int from = 0; group && from < group->polygons.GetCount(); from += kRun) {
                const uint8_t* mark = runMet(g, from);
                if (!mark || *mark)
                    group->polygons.ForEachIn(from, from + kRun, [&](CPolygon& polygon) {
                        ForEachFaceVertex(polygon, vertexCount, sum);
                    });
            }
        }
        for (size_t i = 0; i < lengths.size(); ++i) {
            CVector* n = m_vertexNormals.GetAt(static_cast<int>(i));
            *n = n->Normalize();
        }
    }
    m_normalsValid = 1;
    StatusMessage("Polygon & Vertex Normal Calculation Finished");
    EndWait();
}

int CModel::FindOutwardNormalOrder() const
{
    // Over the fan triangles (a, b, c) of the active faces: a . (b x c) sums to
    // six times the volume enclosed as seen from the origin, (b - a) x (c - a)
    // to twice the vector area, and its length to twice the area.
    double volume = 0.0, area = 0.0, opening[3] = {0.0, 0.0, 0.0}, farthest = 0.0;
    auto cross = [](const double* a, const double* b, double* out) {
        out[0] = a[1] * b[2] - a[2] * b[1];
        out[1] = a[2] * b[0] - a[0] * b[2];
        out[2] = a[0] * b[1] - a[1] * b[0];
    };
    ForEachActiveFace(m_groups, [&](const CPolygon& polygon) {
        for (int k = 2; k < polygon.count && k < 4; ++k) {
            const CVector* corners[3] = {polygon.GetVertex(0), polygon.GetVertex(k - 1), polygon.GetVertex(k)};
            if (!corners[0] || !corners[1] || !corners[2])
                continue;
            double v[3][3];
            for (int i = 0; i < 3; ++i) {
                v[i][0] = corners[i]->x;
                v[i][1] = corners[i]->y;
                v[i][2] = corners[i]->z;
                double d = v[i][0] * v[i][0] + v[i][1] * v[i][1] + v[i][2] * v[i][2];
                if (d > farthest)
                    farthest = d;
            }
            double bc[3], e1[3], e2[3], n[3];
            cross(v[1], v[2], bc);
            volume += v[0][0] * bc[0] + v[0][1] * bc[1] + v[0][2] * bc[2];
            for (int i = 0; i < 3; ++i) {
                e1[i] = v[1][i] - v[0][i];
                e2[i] = v[2][i] - v[0][i];
            }
            cross(e1, e2, n);
            for (int i = 0; i < 3; ++i)
                opening[i] += n[i];
            area += std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        }
    });
    // A closed surface has no vector area left over, and its volume is the same
    // from every point. Through openings of vector area N the volume seen from
    // a point p changes by p . N. The winding is clear when the volume is
    // several times what any point within the model's reach could change
    // (a sphere may lack a cap of some 60 degrees; a room without its front
    // wall, modelled to be seen from inside, does not count as closed), and
    // more than the rounding of a flat, two-sided sheet.
    constexpr double kMargin = 4.0;
    const double reach = std::sqrt(farthest);
    const double open = std::sqrt(opening[0] * opening[0] + opening[1] * opening[1] + opening[2] * opening[2]);
    const double magnitude = std::fabs(volume);
    if (!std::isfinite(volume) || !std::isfinite(open) || !std::isfinite(area) || area <= 0.0)
        return -1;
    if (magnitude <= kMargin * open * reach || magnitude <= 1e-4 * area * reach)
        return -1;
    return volume > 0.0 ? 0 : 1;
}

void CModel::ResolveNormalOrder()
{
    if (m_normalOrderSetting != kNormalOrderAuto) {
        m_normalOrder = m_normalOrderSetting ? 1 : 0;
        return;
    }
    int outward = FindOutwardNormalOrder();
    m_normalOrder = outward < 0 ? 0 : outward;
}
