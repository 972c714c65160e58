#include "Model.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

CModel::CModel() = default;

CModel::~CModel()
{
    FreeGeometry();
}

void CModel::FormatMessage(char (&buffer)[256], const char* format, va_list args)
{
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (n < 0)
        buffer[0] = '\0';
}

#define TRIVEX_FORWARD_FORMATTED(show)     \
    char text[256];                       \
    va_list args;                         \
    va_start(args, format);               \
    FormatMessage(text, format, args);    \
    va_end(args);                         \
    show(text)

void CModel::StatusMessage(const char* format, ...)
{
    if (!ShowsStatus())
        return;
    TRIVEX_FORWARD_FORMATTED(ShowStatus);
}

void CModel::ErrorMessage(const char* format, ...)
{
    TRIVEX_FORWARD_FORMATTED(ShowError);
}

void CModel::InfoMessage(const char* format, ...)
{
    TRIVEX_FORWARD_FORMATTED(ShowInfo);
}

void CModel::WarningMessage(const char* format, ...)
{
    TRIVEX_FORWARD_FORMATTED(ShowWarning);
}

void CModel::NoticeMessage(const char* format, ...)
{
    TRIVEX_FORWARD_FORMATTED(ShowNotice);
}

#undef TRIVEX_FORWARD_FORMATTED

void CModel::ShowStatus(const char* text)
{
    std::printf("StatusMessage: %s\n", text);
}

void CModel::ShowError(const char* text)
{
    std::printf("ErrorMessage: %s\n", text);
}

void CModel::ShowInfo(const char* text)
{
    std::printf("InfoMessage: %s\n", text);
}

void CModel::ShowWarning(const char* text)
{
    ShowInfo(text);
}

// Files with tens of thousands of objects call SetGroup once per object, so a
// scan over every group on each call would make loading them quadratic.
bool CModel::IndexGroup(int position)
{
    const CGroup* group = m_groups.GetAt(position);
    if (!group)
        return true;
    try {
        m_groupsByName.emplace(group->name, position);  // keeps the first of a name
        m_groupsByColor.emplace(group->colorIndex, position);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void CModel::RebuildGroupIndex()
{
    m_groupsByName.clear();
    m_groupsByColor.clear();
    m_indexedGroups = 0;
}

int CModel::FindGroup(const char* name, int colorIndex)
{
    // Groups are also removed (empty ones, or all on Clear) and may be added
    // or edited through m_groups directly: catch up with the list first, and
    // trust a hit only when the group there still matches.
    if (m_indexedGroups > m_groups.GetCount())
        RebuildGroupIndex();
    for (; m_indexedGroups < m_groups.GetCount(); ++m_indexedGroups) {
        if (!IndexGroup(m_indexedGroups)) {
            RebuildGroupIndex();
            break;
        }
    }
    if (m_indexedGroups == m_groups.GetCount()) {
        int position = -1;
        if (name) {
            auto hit = m_groupsByName.find(name);
            if (hit != m_groupsByName.end())
                position = hit->second;
        } else {
            auto hit = m_groupsByColor.find(colorIndex);
            if (hit != m_groupsByColor.end())
                position = hit->second;
        }
        if (position < 0)
            return -1;
        const CGroup* group = position < m_groups.GetCount() ? m_groups.GetAt(position) : nullptr;
        if (group && (name ? group->name == name : group->colorIndex == colorIndex))
            return position;
        RebuildGroupIndex();
    }
    // The index is out of date or could not be built: look at every group.
    for (int i = 0; i < m_groups.GetCount(); ++i) {
        const CGroup* group = m_groups.GetAt(i);
        if (group && (name ? group->name == name : group->colorIndex == colorIndex))
            return i;
    }
    return -1;
}

void CModel::SetGroup(const char* name, int colorIndex, int textureIndex)
{
    int found = FindGroup(name, colorIndex);
    if (found >= 0) {
        m_currentGroup = m_groups.GetAt(found);
        return;
    }
    const char* groupName = name;
    if (!groupName)
        groupName = colorIndex >= 0 && colorIndex < kColorCount ? ColorTable[colorIndex].name : "";
    CGroup* group = new (std::nothrow) CGroup;
    if (group) {
        try {
            group->name = groupName;
        } catch (const std::bad_alloc&) {
            delete group;
            group = nullptr;
        }
    }
    if (!group || m_groups.Add(group) < 0) {
        delete group;
        m_outOfMemory = true;
        ErrorMessage("Out of Memory\n");
        return;
    }
    group->colorIndex = colorIndex;
    group->textureIndex = textureIndex;
    m_currentGroup = group;
    if (m_indexedGroups == m_groups.GetCount() - 1) {
        if (IndexGroup(m_indexedGroups))
            ++m_indexedGroups;
        else
            RebuildGroupIndex();
    }
}

namespace {
constexpr uint32_t kExactRepeatSlots = 1u << 16;
constexpr int kMergingRunBeforeRepeats = 4096;

bool SameCoordinates(const CVector& a, const CVector& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}
}  // namespace

int CModel::FindExactRepeat(const CVector& v, uint32_t& slot) const
{
    uint32_t bits[3];
    std::memcpy(bits, &v, sizeof bits);
    uint64_t h = (bits[0] * 0x9E3779B97F4A7C15ull) ^ (bits[1] * 0xC2B2AE3D27D4EB4Full) ^ (bits[2] * 0x165667B19E3779F9ull);
    slot = static_cast<uint32_t>(h >> 40) & (kExactRepeatSlots - 1);
    if (m_exactRepeats.empty())
        return -1;
    const CExactRepeat& repeat = m_exactRepeats[slot];
    return repeat.index >= 0 && SameCoordinates(repeat.v, v) ? repeat.index : -1;
}

void CModel::RememberExactRepeat(uint32_t slot, int index, const CVector& v)
{
    if (m_exactRepeats.empty()) {
        if (++m_mergingRun < kMergingRunBeforeRepeats)
            return;
        try {
            m_exactRepeats.assign(kExactRepeatSlots, CExactRepeat());
        } catch (const std::bad_alloc&) {
            m_mergingRun = 0;
            return;
        }
    }
    // The caller has made sure the vertex has exactly these coordinates.
    m_exactRepeats[slot] = {v, index};
}

void CModel::ForgetExactRepeats()
{
    m_mergingRun = 0;
    if (!m_exactRepeats.empty())
        std::vector<CExactRepeat>().swap(m_exactRepeats);
}

int CModel::AddVertex(const CVector& v, bool merge)
{
    bool exact;
    return AddVertex(v, merge, exact);
}

int CModel::AddVertex(const CVector& v, bool merge, bool& exact)
{
    // A repeat and a new vertex are v itself; a merge may be only near it.
    exact = true;
    uint32_t slot = 0;
    if (merge && m_exactRepeatsWanted) {
        const int repeat = FindExactRepeat(v, slot);
        if (repeat >= 0)
            return repeat;
    } else {
        ForgetExactRepeats();
    }
    int bucket = CVertexIndex::Bucket(v);
    if (merge) {
        IndexPendingVertices();
        int found = m_vertexHash.Find(v, bucket, m_vertices);
        if (found >= 0) {
            const CVector* stored = m_vertices.GetAt(found);
            exact = stored && SameCoordinates(*stored, v);
            if (m_exactRepeatsWanted && exact)
                RememberExactRepeat(slot, found, v);
            return found;
        }
    }
    const int index = AddUnmergedVertex(v);
    if (index < 0)
        return -1;
    if (!merge) {
        // Filed later, with the bucket of the coordinates it was added with,
        // exactly as if it were filed now and moved with the others since.
        try {
            m_pending.push_back({index, bucket});
            return index;
        } catch (const std::bad_alloc&) {
            IndexPendingVertices();
        }
    }
    // A vertex missing from the index only stops later merges with it.
    m_vertexHash.Insert(v, bucket, index);
    if (merge && m_exactRepeatsWanted)
        RememberExactRepeat(slot, index, v);
    return index;
}

int CModel::AddUnmergedVertex(const CVector& v)
{
    CVector* stored = m_vertexPool.New();
    int index = stored ? m_vertices.Add(stored) : -1;
    if (index < 0) {
        // A pool record that never made it into the array is reclaimed with the pool.
        m_outOfMemory = true;
        ErrorMessage("m_vertices.Add() failed, Out of Memory");
        return -1;
    }
    *stored = v;
    return index;
}

void CModel::IndexPendingVertices()
{
    if (m_pending.empty())
        return;
    // The pending vertices are newer than every filed one, so filing them in
    // order keeps the index in vertex order.
    for (const CPendingVertex& pending : m_pending)
        if (const CVector* v = m_vertices.GetAt(pending.index))
            m_vertexHash.Insert(*v, pending.bucket, pending.index);
    std::vector<CPendingVertex>().swap(m_pending);
}

bool CModel::AddFace(int count, const int32_t* index)
{
    if (!m_currentGroup || count < 3 || count > 4)
        return false;
    CPolygon* polygon = m_polygonPool.New();
    if (!polygon || m_currentGroup->polygons.Add(polygon) < 0) {
        m_outOfMemory = true;
        ErrorMessage("Out of Memory\n");
        return false;
    }
    polygon->owner = this;
    polygon->count = static_cast<int16_t>(count);
    for (int i = 0; i < count; ++i)
        polygon->index[i] = index[i];
    return true;
}

void CModel::AddTriangle(const CVector& a, const CVector& b, const CVector& c)
{
    if (a.IsNear(b) || b.IsNear(c) || c.IsNear(a))
        return;
    int32_t index[3];
    index[2] = AddVertex(c, true) + 1;
    index[1] = AddVertex(b, true) + 1;
    index[0] = AddVertex(a, true) + 1;
    AddFace(3, index);
}

int32_t CMeshPoints::Number(size_t i)
{
    if (i < m_numbers.size() && m_numbers[i] > 0)
        return m_numbers[i];
    const CVector& point = m_points[i];
    bool exact = false;
    const int32_t number = m_model.AddVertex(point, true, exact) + 1;
    if (number > 0 && exact) {
        try {
            if (i >= m_numbers.size())
                m_numbers.resize(m_points.size() > i ? m_points.size() : i + 1, 0);
            m_numbers[i] = number;
        } catch (const std::bad_alloc&) {
            // Without room to remember it, the point is looked up each time.
        }
    }
    return number;
}

bool CMeshPoints::Numbers(size_t a, size_t b, size_t c, int32_t index[3])
{
    const CVector &pa = m_points[a], &pb = m_points[b], &pc = m_points[c];
    if (pa.IsNear(pb) || pb.IsNear(pc) || pc.IsNear(pa))
        return false;
    // The order AddTriangle adds its corners in, so the numbering is the same.
    index[2] = Number(c);
    index[1] = Number(b);
    index[0] = Number(a);
    return true;
}

void CMeshPoints::AddTriangle(size_t a, size_t b, size_t c)
{
    int32_t index[3];
    if (Numbers(a, b, c, index))
        m_model.AddFace(3, index);
}

void CModel::SmoothCurrentGroup()
{
    if (m_currentGroup)
        m_currentGroup->smooth = 1;
}

void CModel::ClearVertexHash()
{
    ForgetExactRepeats();
    m_vertexHash.Clear();
    std::vector<CPendingVertex>().swap(m_pending);
}

long CModel::GetPolygonCount() const
{
    long total = 0;
    for (int i = 0; i < m_groups.GetCount(); ++i)
        if (const CGroup* group = m_groups.GetAt(i))
            total += group->polygons.GetCount();
    return total;
}

void CModel::FreeXRef()
{
    m_xref.FreeAll();
    m_xrefPool.FreeAll();
    std::free(m_xrefStorage);
    m_xrefStorage = nullptr;
}

void CModel::CreateXRef()
{
    StatusMessage("Creating Vertex/Polygon XRef");
    BeginWait();
    if (!BuildXRef())
        ErrorMessage("Out of Memory\n");
    StatusMessage("Finished Vertex/Polygon XRef");
    EndWait();
}

bool CModel::BuildXRef()
{
    // Rebuilding keeps one entry per vertex even when called twice.
    FreeXRef();
    const int vertexCount = m_vertices.GetCount();
    // Two passes over the faces in the same order: count each vertex's
    // faces, then list them, all lists in one block. The counts and places
    // sit in plain arrays: the passes reach one per corner, and going
    // through the records would cost a second fetch each.
    std::vector<size_t> place;  // where each vertex's list starts, then where it goes on
    try {
        place.assign(static_cast<size_t>(vertexCount) + 1, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    ForEachVertexFace([&](size_t i, CPolygon&) { ++place[i + 1]; });
    for (size_t i = 1; i < place.size(); ++i)
        place[i] += place[i - 1];
    const size_t total = place.back();
    m_xrefStorage = static_cast<CPolygon**>(std::malloc(sizeof(CPolygon*) * (total ? total : 1)));
    bool ok = m_xrefStorage != nullptr;
    for (int i = 0; i < vertexCount && ok; ++i) {
        CVertexRef* ref = m_xrefPool.New();
        ok = ref && m_xref.Add(ref) >= 0;
        if (ok) {
            ref->polygons = m_xrefStorage + place[static_cast<size_t>(i)];
            ref->count = static_cast<int32_t>(place[static_cast<size_t>(i) + 1] - place[static_cast<size_t>(i)]);
        }
    }
    if (ok)
        ForEachVertexFace([&](size_t i, CPolygon& polygon) { m_xrefStorage[place[i]++] = &polygon; });
    else
        FreeXRef();
    return ok;
}

void CModel::RemoveEmptyGroups()
{
    // One pass that moves the kept groups down: removing the empty ones one
    // at a time would shift the rest each time, which is quadratic when a
    // file names many groups it never fills.
    int kept = 0;
    const int count = m_groups.GetCount();
    for (int i = 0; i < count; ++i) {
        CGroup* group = m_groups.GetAt(i);
        if (group && group->polygons.GetCount() == 0) {
            if (m_currentGroup == group)
                m_currentGroup = nullptr;
            delete group;
        } else {
            m_groups.SetAt(kept++, group);
        }
    }
    m_groups.RemoveAt(kept, count - kept);
}

void CModel::FreeGeometry()
{
    m_vertices.FreeAll();
    m_vertexPool.FreeAll();
    for (int i = m_groups.GetCount() - 1; i >= 0; --i)
        delete m_groups.GetAt(i);
    m_groups.FreeAll();
    m_polygonPool.FreeAll();
    ForgetExactRepeats();
    m_vertexHash.Clear();
    std::vector<CPendingVertex>().swap(m_pending);
    FreeXRef();
    m_vertexNormals.FreeAll();
    m_normalPool.FreeAll();
    m_currentGroup = nullptr;
}

void CModel::Clear(bool updateViews)
{
    StatusMessage("Clearing All Data");
    BeginWait();
    FreeGeometry();
    m_outOfMemory = false;
    m_normalsValid = 0;
    m_skyType = 0;
    m_floorType = 0;
    m_zoom = 0.75f;
    for (int i = 0; i < 3; ++i)
        m_min[i] = m_max[i] = 0.0f;
    StatusMessage("Clear Data Complete");
    EndWait();
    if (updateViews)
        UpdateViews();
}

void CModel::Swap(CModel& other) noexcept
{
    using std::swap;
    m_vertices.Swap(other.m_vertices);
    m_vertexNormals.Swap(other.m_vertexNormals);
    m_xref.Swap(other.m_xref);
    m_vertexHash.Swap(other.m_vertexHash);
    m_groups.Swap(other.m_groups);
    swap(m_currentGroup, other.m_currentGroup);
    swap(m_min, other.m_min);
    swap(m_max, other.m_max);
    swap(m_zoom, other.m_zoom);
    swap(m_floorType, other.m_floorType);
    swap(m_floorOffset, other.m_floorOffset);
    swap(m_skyType, other.m_skyType);
    swap(m_extrude2D, other.m_extrude2D);
    swap(m_extrusion, other.m_extrusion);
    swap(m_scale, other.m_scale);
    swap(m_normalsValid, other.m_normalsValid);
    swap(m_smoothAngle, other.m_smoothAngle);
    swap(m_normalOrder, other.m_normalOrder);
    swap(m_normalOrderSetting, other.m_normalOrderSetting);
    swap(m_rawGroups, other.m_rawGroups);
    swap(m_objMaterials, other.m_objMaterials);
    swap(m_place3dsNodes, other.m_place3dsNodes);
    swap(m_stlAscii, other.m_stlAscii);
    m_vertexPool.Swap(other.m_vertexPool);
    m_normalPool.Swap(other.m_normalPool);
    m_polygonPool.Swap(other.m_polygonPool);
    m_xrefPool.Swap(other.m_xrefPool);
    swap(m_xrefStorage, other.m_xrefStorage);
    swap(m_outOfMemory, other.m_outOfMemory);
    m_pending.swap(other.m_pending);
    swap(m_vertexMoves, other.m_vertexMoves);
    m_exactRepeats.swap(other.m_exactRepeats);
    swap(m_mergingRun, other.m_mergingRun);
    swap(m_exactRepeatsWanted, other.m_exactRepeatsWanted);
    m_groupsByName.swap(other.m_groupsByName);
    m_groupsByColor.swap(other.m_groupsByColor);
    swap(m_indexedGroups, other.m_indexedGroups);
    // Faces know the model whose vertices they number.
    for (CModel* model : {this, &other})
        for (int g = 0; g < model->m_groups.GetCount(); ++g)
            if (CGroup* group = model->m_groups.GetAt(g))
                for (int i = 0; i < group->polygons.GetCount(); ++i)
                    if (CPolygon* polygon = group->polygons.GetAt(i))
                        polygon->owner = model;
}

void CModel::CopySettings(const CModel& from)
{
    m_zoom = from.m_zoom;
    m_floorType = from.m_floorType;
    m_floorOffset = from.m_floorOffset;
    m_skyType = from.m_skyType;
    m_extrude2D = from.m_extrude2D;
    m_extrusion = from.m_extrusion;
    m_scale = from.m_scale;
    m_smoothAngle = from.m_smoothAngle;
    m_normalOrder = from.m_normalOrder;
    m_normalOrderSetting = from.m_normalOrderSetting;
    m_rawGroups = from.m_rawGroups;
    m_objMaterials = from.m_objMaterials;
    m_place3dsNodes = from.m_place3dsNodes;
    m_stlAscii = from.m_stlAscii;
}

int CModel::LongestGroupName() const
{
    int longest = 0;
    for (int i = 0; i < m_groups.GetCount(); ++i)
        if (const CGroup* group = m_groups.GetAt(i))
            if (static_cast<int>(group->name.size()) > longest)
                longest = static_cast<int>(group->name.size());
    return longest;
}

void CModel::FinishLoad()
{
    RemoveEmptyGroups();
    {
        // The vertices the faces use stay the same while they are moved.
        // The marks are freed before the normals, when the model is largest.
        const std::vector<uint8_t> used = MarkUsedVertices();
        if (WantsNormals())
            CreateXRef();
        Center(false, used);
        Unitize(true, false, used);
        ResolveNormalOrder();
    }
    if (WantsNormals())
        CalculateNormals();
    StatusMessage("File Read Finished");
    UpdateViews();
    SetModified(false);
}
