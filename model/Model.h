#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "BlockArray.h"
#include "Colors.h"
#include "Pool.h"
#include "Vector.h"
#include "VertexIndex.h"

#if defined(__GNUC__)
#define TRIVEX_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TRIVEX_PRINTF(fmt, args)
#endif

class CModel;

// The normal-order setting that lets each load choose the order itself.
constexpr int32_t kNormalOrderAuto = -1;

// One face. Vertex numbers are 1-based; unused slots hold 0.
struct CPolygon
{
    // The two 16-bit fields sit together at the end, so that a face takes 40
    // bytes instead of 48 with padding: models hold millions of them.
    CModel* owner = nullptr;
    int32_t index[4] = {0, 0, 0, 0};
    CVector normal;
    int16_t count = 0;
    int16_t flag = 0;

    // The vertex of slot i, or null when the slot does not resolve to one.
    // Inline: every pass over the model calls it once per corner.
    inline CVector* GetVertex(int i) const;
};

struct CGroup
{
    std::string name;
    int32_t colorIndex = 0;
    int32_t textureIndex = 0;
    CBlockArray<CPolygon> polygons;  // records belong to the model's face pool
    int16_t drawSelectedColor = 1;
    int16_t smooth = 0;
    int16_t active = 1;
};

// The faces that use one vertex, each listed once.
struct CVertexRef
{
    int32_t count = 0;
    CPolygon** polygons = nullptr;
};

// What a save left out by its format's rules, counted by the writer while it
// writes, so that reading the file back can tell a drop the format requires
// from a loss.
struct CWriteTally
{
    // Fan triangles the writer left out, by the group they came from.
    std::unordered_map<const CGroup*, long> dropped;
    // A fault planted to prove the check itself: the save silently leaves
    // out the fan triangle of this number (from 0, over the whole save).
    long plantedSkip = -1;
    long counted = 0;
};

class CModel
{
public:
    CModel();
    virtual ~CModel();
    CModel(const CModel&) = delete;
    CModel& operator=(const CModel&) = delete;

    // Notifications. The formatting ones cut the text at 255 characters and
    // hand it to the matching Show operation; the base class writes one line
    // per message to standard output, a document or a converter overrides the
    // Show operations to put the text where its user sees it.
    virtual void StatusMessage(const char* format, ...) TRIVEX_PRINTF(2, 3);
    virtual void ErrorMessage(const char* format, ...) TRIVEX_PRINTF(2, 3);
    virtual void InfoMessage(const char* format, ...) TRIVEX_PRINTF(2, 3);
    // Something the user should know about a read that still succeeded (it
    // stopped early, or skipped part of a line). Shown as information unless
    // ShowWarning is overridden.
    virtual void WarningMessage(const char* format, ...) TRIVEX_PRINTF(2, 3);
    // A status text the user should not miss, such as what a reader had to
    // leave out. By default it is shown like any status text; a converter
    // prints it even when it hides the other status texts.
    virtual void NoticeMessage(const char* format, ...) TRIVEX_PRINTF(2, 3);
    virtual void ShowStatus(const char* text);
    // False where status texts would be thrown away: readers report their
    // progress every hundred lines, and the text need not be made for nobody.
    virtual bool ShowsStatus() const { return true; }
    // False where a reader should parse on the thread that builds the model
    // alone: a batch that already keeps every processor busy with a file
    // each would only slow itself down with a second thread per file.
    virtual bool MayUseHelperThread() const { return true; }
    // False where nothing will look at the normals as the load leaves them:
    // a save read back to be measured, or a conversion that works them out
    // only if its output needs them. The load then makes no cross-reference
    // and no normals; the normal order is settled all the same.
    virtual bool WantsNormals() const { return true; }
    virtual void ShowError(const char* text);
    virtual void ShowInfo(const char* text);
    virtual void ShowWarning(const char* text);
    virtual void ShowNotice(const char* text) { ShowStatus(text); }
    virtual void UpdateViews() {}
    virtual void SetModified(bool) {}
    virtual void BeginWait() {}
    virtual void EndWait() {}

    // Store.
    void SetGroup(const char* name, int colorIndex, int textureIndex);
    int AddVertex(const CVector& v, bool merge);
    // The same, telling whether the vertex returned has exactly v's
    // coordinates (not merely within the merge distance of them).
    int AddVertex(const CVector& v, bool merge, bool& exact);
    // Stores v as a vertex that no later add merges with, for a reader whose
    // file numbers its own vertices and that clears the merge index at the
    // end of its load (ClearVertexHash): filing it for merges would be work
    // thrown away. Its 0-based index, or -1 when memory runs out.
    int AddUnmergedVertex(const CVector& v);
    void AddTriangle(const CVector& a, const CVector& b, const CVector& c);
    // Appends a face made of vertex numbers the caller already holds (1-based,
    // count 3 or 4) to the current group. False when there is no current group
    // or memory runs out.
    bool AddFace(int count, const int32_t* index);
    void SmoothCurrentGroup();
    // Whether SetGroup, AddVertex or AddFace ran out of memory since the last
    // Clear: a read that went on would report a model with parts missing.
    bool OutOfMemory() const { return m_outOfMemory; }
    // Off for a caller that seldom adds the same coordinates twice with
    // merging (it remembers what each add gave, and its points are distinct):
    // the table of exact repeats would only cost it time. On by default.
    void WantExactRepeats(bool wanted) { m_exactRepeatsWanted = wanted; }
    // A hint that about `count` vertices are coming, to be merged.
    void ReserveVertices(int count)
    {
        if (count > 0)
            m_vertexHash.Reserve(static_cast<size_t>(count));
    }
    void ClearVertexHash();
    void CreateXRef();
    void Clear(bool updateViews);
    // Exchanges everything two models hold, geometry and settings, without a
    // word to anyone: a file can be read into a model of its own and take the
    // place of the one shown only once it was read without fault.
    void Swap(CModel& other) noexcept;
    // Takes over the user's settings (view zoom, floor, sky, reader and
    // writer preferences), for a model that reads a file in another's place.
    void CopySettings(const CModel& from);
    void RemoveEmptyGroups();
    // Gives a group another name; SetGroup finds it by the new one.
    void RenameGroup(CGroup* group, std::string name)
    {
        group->name = std::move(name);
        RebuildGroupIndex();
    }
    int LongestGroupName() const;

    // Geometry.
    void ComputeRange();
    void Center(bool updateViews);
    void Unitize(bool setScale, bool updateViews);
    void RotateX(float degrees, bool updateViews);
    void RotateY(float degrees, bool updateViews);
    void RotateZ(float degrees, bool updateViews);
    void MirrorX(bool updateViews);
    void MirrorY(bool updateViews);
    void MirrorZ(bool updateViews);
    void CalculateNormals();
    // The same normals as CreateXRef followed by CalculateNormals give, each
    // vertex meeting its faces in the cross-reference's order, worked out in
    // one pass over the faces instead: without the cross-reference's memory
    // (a pointer per corner), for a caller that needs them once. With
    // smoothGroupsOnly just the vertices of active smooth groups get theirs,
    // the others none, and only the faces that meet them their face normals:
    // for a save that writes no others.
    void CalculateNormalsWithoutXRef(bool smoothGroupsOnly = false);
    // The unit normal of the face's first corners under the normal order in
    // force, as CalculateNormals stores it; zero when they do not span a plane.
    CVector FaceNormal(const CPolygon& polygon) const;
    // Turns the model so that its +Z axis points up (+Y): (x, y, z) becomes
    // (x, z, -y) exactly, for models from programs that stand on Z.
    void TurnZUp(bool updateViews);

    // The normal order that makes the normals of the active faces point out of
    // the volume they enclose: 0 when the faces wind counter-clockwise seen
    // from outside, 1 when clockwise, -1 when they enclose no clear volume (an
    // open surface, a single face, faces wound both ways).
    int FindOutwardNormalOrder() const;
    // Puts m_normalOrderSetting in force: m_normalOrder becomes the setting,
    // or for kNormalOrderAuto the outward order, 0 when there is none. Callers
    // recompute the normals afterwards.
    void ResolveNormalOrder();

    // The sequence every reader ends with once it has filled the model.
    void FinishLoad();
    // How often the vertices have been moved in place (centred, scaled,
    // turned, mirrored): what was written from them stands while it is the
    // same.
    unsigned VertexMoves() const { return m_vertexMoves; }
    // Frees the vertices, faces, groups and all built from them, without a
    // word to anyone: for a model that is done with, as its destructor does.
    void FreeGeometry();
    // Frees the cross-reference, which only working out the normals again
    // needs (after a turn, a mirror, another smoothing angle): for a model
    // that will not be edited any more.
    void FreeXRef();

    // Counts used by views and reports.
    int GetVertexCount() const { return m_vertices.GetCount(); }
    int GetGroupCount() const { return m_groups.GetCount(); }
    CGroup* GetGroup(int i) const { return m_groups.GetAt(i); }
    long GetPolygonCount() const;

    CBlockArray<CVector> m_vertices;
    CBlockArray<CVector> m_vertexNormals;
    CBlockArray<CVertexRef> m_xref;
    CVertexIndex m_vertexHash;
    CBlockArray<CGroup> m_groups;
    CGroup* m_currentGroup = nullptr;
    float m_min[3] = {0, 0, 0};  // x, y, z
    float m_max[3] = {0, 0, 0};
    float m_zoom = 0.75f;
    int32_t m_floorType = 0;
    float m_floorOffset = 0.0f;
    int32_t m_skyType = 0;
    int32_t m_extrude2D = 1;
    float m_extrusion = 1.0f;
    // 3D Studio: draw each mesh where the keyframer's nodes place it at
    // frame 0, instances included; 0 keeps the editor's pose of every mesh.
    int32_t m_place3dsNodes = 1;
    // STL: 1 writes ASCII (one solid per group), 0 the smaller binary form.
    int32_t m_stlAscii = 0;
    float m_scale = 1.0f;
    int32_t m_normalsValid = 0;
    float m_smoothAngle = 70.0f;
    // The order in force: 1, face normals follow the stored corner order
    // (clockwise fronts); 0, the reverse (counter-clockwise fronts, the common
    // convention and so the order a model starts with).
    int32_t m_normalOrder = 0;
    // What the user asked for: 1, 0, or kNormalOrderAuto to choose per load.
    int32_t m_normalOrderSetting = kNormalOrderAuto;
    int32_t m_rawGroups = 1;
    // OBJ output also writes a material file beside the OBJ, with each
    // group's colour and finish.
    int32_t m_objMaterials = 0;
    // The tally of the save under way, for a caller that checks it; null
    // when nobody asked.
    CWriteTally* m_writeTally = nullptr;

protected:
    // Formats a notification the way every channel shows it: at most 255
    // characters.
    static void FormatMessage(char (&buffer)[256], const char* format, va_list args) TRIVEX_PRINTF(2, 0);

private:
    enum class Axis { X, Y, Z };
    // Marks, by vertex index, the vertices that a face of an active group
    // uses; empty when there was no memory for them. The range and the
    // radius then take one pass over the faces instead of one each, and read
    // the vertices in their stored order.
    std::vector<uint8_t> MarkUsedVertices() const;
    bool BuildXRef();
    // Calls use(i, face) for every face of every group and each 0-based
    // vertex i it uses, once per face, in the cross-reference's order:
    // groups last to first, faces in order.
    template <typename Use>
    void ForEachVertexFace(Use&& use);
    // use(i, face) for each vertex the face's slots name, once each, by its
    // 0-based index among the first vertexCount.
    template <typename Use>
    static void ForEachFaceVertex(CPolygon& polygon, int vertexCount, Use&& use);
    void WorkOutNormals(bool fromXRef, bool smoothGroupsOnly = false);
    // The public steps over vertices already marked, so that a load marks
    // them once.
    void ComputeRange(const std::vector<uint8_t>& used);
    void Center(bool updateViews, const std::vector<uint8_t>& used);
    void Unitize(bool setScale, bool updateViews, const std::vector<uint8_t>& used);
    // What those three change in the model, with nothing else.
    void FindRange(const std::vector<uint8_t>& used);
    void MoveToCenter();
    void ScaleToUnit(bool setScale, const std::vector<uint8_t>& used);
    void Rotate(Axis axis, float degrees, bool updateViews);
    void FinishRotation(bool updateViews);
    void Mirror(Axis axis, bool updateViews);
    void VerticesMoved();
    void IndexPendingVertices();

    CPool<CVector> m_vertexPool;
    CPool<CVector> m_normalPool;
    CPool<CPolygon> m_polygonPool;
    CPool<CVertexRef> m_xrefPool;
    CPolygon** m_xrefStorage = nullptr;  // one block backs every CVertexRef list
    bool m_outOfMemory = false;
    // Vertices added without merging and not yet in m_vertexHash, oldest
    // first, with the bucket of the coordinates they were added with. They
    // are filed only when a merging add needs them, so a reader that never
    // merges (OBJ, AOFF) never builds the index at all.
    struct CPendingVertex
    {
        int32_t index;
        int32_t bucket;
    };
    std::vector<CPendingVertex> m_pending;
    unsigned m_vertexMoves = 0;

    // Recent answers of merging adds, by the exact coordinates asked for: a
    // file that lists each corner of each face repeats every vertex several
    // times over, and an exact repeat needs no merge lookup. A slot holds a
    // vertex that a merging add returned for coordinates exactly its own;
    // while only merging adds follow, no vertex equal to it can be created,
    // so it stays the answer for those coordinates. Anything else that
    // changes the answers (an add without merging, moved vertices, a cleared
    // index) empties the table; it is set up again only after a run of
    // merging adds, so that alternating kinds of adds cost no more than a
    // small share of each add.
    int FindExactRepeat(const CVector& v, uint32_t& slot) const;
    void RememberExactRepeat(uint32_t slot, int index, const CVector& v);
    void ForgetExactRepeats();
    // The coordinates asked for sit in the slot with the answer, so that a
    // lookup reads no vertex: vertices do not move while the table is kept.
    struct CExactRepeat
    {
        CVector v;
        int32_t index = -1;
    };
    std::vector<CExactRepeat> m_exactRepeats;
    int m_mergingRun = 0;  // merging adds since the table was last emptied
    bool m_exactRepeatsWanted = true;

    // Where SetGroup finds a group without looking at every one: the first
    // group of each name and of each colour, by position in m_groups.
    int FindGroup(const char* name, int colorIndex);
    bool IndexGroup(int position);
    void RebuildGroupIndex();
    std::unordered_map<std::string, int> m_groupsByName;
    std::unordered_map<int, int> m_groupsByColor;
    int m_indexedGroups = 0;  // m_groups[0, m_indexedGroups) are in the maps
};

// Vertex numbers for the points of a mesh that a file stores once and names
// from its faces by position. AddTriangle merges every corner through the
// index; here each point is looked up once. That gives the same numbers:
// once a point has merged with a vertex of exactly its coordinates, a later
// merging add of it finds that vertex again, since any vertex added in
// between equal to the point would have merged too. So only such answers are
// kept, and the owner must add vertices only with merging meanwhile.
class CMeshPoints
{
public:
    CMeshPoints(CModel& model, const std::vector<CVector>& points) : m_model(model), m_points(points) {}

    // model.AddTriangle(points[a], points[b], points[c]); each below points.size().
    void AddTriangle(size_t a, size_t b, size_t c);
    // The vertex numbers that AddTriangle gives the face's corners, adding
    // the vertices as it does, without the face; false for a triangle it
    // leaves out. Faces added later from these numbers, in the same order,
    // make the same model.
    bool Numbers(size_t a, size_t b, size_t c, int32_t index[3]);
    // Forgets the numbers, for when the points are replaced.
    void Reset() { m_numbers.clear(); }

private:
    int32_t Number(size_t i);

    CModel& m_model;
    const std::vector<CVector>& m_points;
    std::vector<int32_t> m_numbers;  // 0 where not known yet
};

template <typename Use>
void CModel::ForEachFaceVertex(CPolygon& polygon, int vertexCount, Use&& use)
{
    for (int s = 0; s < polygon.count && s < 4; ++s) {
        int n = polygon.index[s];
        if (n < 1 || n > vertexCount)
            continue;
        bool repeated = false;
        for (int e = 0; e < s; ++e)
            repeated = repeated || polygon.index[e] == n;
        if (!repeated)
            use(static_cast<size_t>(n - 1), polygon);
    }
}

template <typename Use>
void CModel::ForEachVertexFace(Use&& use)
{
    const int vertexCount = m_vertices.GetCount();
    for (int g = m_groups.GetCount() - 1; g >= 0; --g) {
        CGroup* group = m_groups.GetAt(g);
        if (!group)
            continue;
        group->polygons.ForEach([&](CPolygon& polygon) { ForEachFaceVertex(polygon, vertexCount, use); });
    }
}

inline CVector* CPolygon::GetVertex(int i) const
{
    if (!owner || i < 0 || i >= count || i >= 4)
        return nullptr;
    int n = index[i];
    if (n < 1 || n > owner->m_vertices.GetCount())
        return nullptr;
    return owner->m_vertices.GetAt(n - 1);
}
