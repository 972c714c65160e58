// glTF 2.0, as one file: a binary container (.glb) holding the JSON and the
// buffer, or JSON (.gltf) carrying its buffer as a base64 data URI. Each
// written group becomes a node with a mesh of one triangle primitive, named
// after the group, with a metallic/roughness material from its colour and
// finish.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Finishes.h"
#include "GroupMesh.h"
#include "Pipeline.h"
#include "WriteCheck.h"
#include "Writers.h"

namespace {

using nlohmann::json;

// The buffer takes numbers as they lie in memory; the format wants them
// little-endian.
static_assert(std::endian::native == std::endian::little, "the glTF buffer is written as it lies in memory");

// Numbers the format gives its enumerations.
constexpr int kFloat = 5126;
constexpr int kUnsignedShort = 5123;
constexpr int kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;
constexpr int kTriangles = 4;

// 65535 is the restart value of 16-bit indices and may not appear, so 16 bits
// serve up to 65535 vertices (indices 0 .. 65534).
constexpr size_t kMaxShortIndexedVertices = 65535;

// The binary container's chunks and header lengths are 32-bit.
constexpr uint64_t kMaxContainer = 0xFFFFFFFFull;

// Colours in the table are sRGB as shown on a screen; the format wants
// linear factors.
float Linear(float c)
{
    const double v = c <= 0.0f ? 0.0 : (c >= 1.0f ? 1.0 : c);
    return static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
}

// Calls use(polygon, k) for each fan triangle (corner 0, corner k-1, corner
// k) of the group's faces [first, last), whether or not its corners name
// vertices: both passes number the same triangles.
template <typename Use>
void ForEachFan(const CGroup& group, int first, int last, Use&& use)
{
    group.polygons.ForEachIn(first, last, [&](const CPolygon& polygon) {
        for (int k = 2; k < std::min<int>(polygon.count, 4); ++k)
            use(polygon, k);
    });
}

// Both passes go through a group in pieces, made on either processor and
// used in order (see CPipeline): of this many faces, or of this many
// vertices where the vertices' numbers are written.
constexpr int kPieceFaces = 8192;
constexpr size_t kPieceVertices = 16384;

// What the first pass learns of a written group: enough to describe it in
// the document, whose length the binary container states before the first
// number, and to write its numbers afterwards without holding them. A large
// model's buffer would otherwise sit beside the model until the end.
struct CGroupPlan
{
    const CGroup* group = nullptr;
    std::vector<int> order;  // its vertices by document number, as written
    std::vector<size_t> left;  // fan triangles not written, by ordinal
    // Vertices written with another normal than their own (a smooth group's
    // vertex whose faces cancel out), by their index in `order`.
    std::vector<std::pair<uint32_t, std::array<float, 3>>> otherNormals;
    // The ordinal of the first fan triangle of each piece of faces.
    std::vector<size_t> pieceOrdinals;
    size_t triangles = 0;
};

// Exact bounds of a vector accessor, over the very floats written.
struct CBounds
{
    float lo[3] = {HUGE_VALF, HUGE_VALF, HUGE_VALF};
    float hi[3] = {-HUGE_VALF, -HUGE_VALF, -HUGE_VALF};

    void Add(const float v[3])
    {
        // As std::min and std::max: an equal value leaves the one before.
        for (int k = 0; k < 3; ++k) {
            lo[k] = v[k] < lo[k] ? v[k] : lo[k];
            hi[k] = hi[k] < v[k] ? v[k] : hi[k];
        }
    }
    // Bounds of values that came after these: an equal value keeps the one
    // that came first, +0 or -0, as adding them one by one would.
    void Add(const CBounds& later)
    {
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], later.lo[k]);
            hi[k] = std::max(hi[k], later.hi[k]);
        }
    }
};

// Collects the document's groups into the JSON description, then writes the
// buffer it describes.
class CGltfBuilder
{
public:
    CGltfBuilder(CModel& model, double scale) : m_model(model), m_scale(scale) {}

    // False after an error message.
    bool Build();
    const json& Document() const { return m_doc; }
    uint64_t BufferSize() const { return m_size; }
    // Hands the buffer's bytes, in order, to put(data, length).
    template <typename Put>
    void WriteBuffer(Put&& put);

private:
    // The first pass over a piece of a group's faces: the fan triangles
    // written, with their corners, and the bounds of those corners.
    struct CMeasurePiece
    {
        const CGltfBuilder* builder = nullptr;
        const CGroup* group = nullptr;
        CGroupTally* tally = nullptr;
        int first = 0, last = 0;  // faces
        std::vector<int32_t> corners;  // vertex numbers, three per triangle written
        std::vector<const CPolygon*> faces;  // of each triangle written, in a smooth group
        std::vector<uint32_t> left;  // fan triangles not written, by ordinal in the piece
        size_t fans = 0;
        CBounds positions;

        void Parse();
    };
    // A piece of the buffer: positions or normals of the vertices [first,
    // last) of a group's order, or the indices of its faces [first, last).
    struct CBufferPiece
    {
        enum class EKind { kPositions, kNormals, kIndices };
        const CGltfBuilder* builder = nullptr;
        const CGroupPlan* plan = nullptr;
        EKind kind = EKind::kPositions;
        size_t first = 0, last = 0;
        size_t ordinal = 0;  // of the first fan triangle, for indices
        std::vector<char> bytes;  // the piece's are the first `used`
        size_t used = 0;

        void Parse();
    };

    void Measure(CGroupPlan& plan, CBounds& positions, CBounds& normals);

    size_t AddView(size_t length, int target);
    size_t AddFloatAccessor(size_t view, size_t count, const CBounds& bounds);
    size_t AddIndexAccessor(size_t count, size_t vertexCount);
    size_t Material(const CGroup& group);
    // The written coordinates of a vertex; false when they are not finite
    // at the output scale.
    bool Position(const CVector& v, float p[3]) const;
    // The unit normal written for a smooth group's vertex; false when its
    // own normal cannot give one.
    bool Normal(int number, float n[3]) const;
    static bool UnitNormal(const CVector& v, float n[3]);

    CModel& m_model;
    double m_scale;
    json m_doc;
    uint64_t m_size = 0;  // of the buffer
    std::vector<CGroupPlan> m_plans;
    std::map<std::pair<int, int>, size_t> m_materials;  // (colour, finish) -> material
    // By document vertex number: its index in the current group's list. The
    // first pass trusts it where m_seenIn holds the group's stamp; the second
    // sets it again from the group's order.
    std::vector<uint32_t> m_local;
    std::vector<uint32_t> m_seenIn;
    uint32_t m_stamp = 0;
};

bool CGltfBuilder::Position(const CVector& v, float p[3]) const
{
    p[0] = static_cast<float>(v.x * m_scale);
    p[1] = static_cast<float>(v.y * m_scale);
    p[2] = static_cast<float>(v.z * m_scale);
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

bool CGltfBuilder::UnitNormal(const CVector& v, float n[3])
{
    const double c[3] = {v.x, v.y, v.z};
    const double length = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    if (!std::isfinite(length) || length <= 1e-6)
        return false;
    for (int k = 0; k < 3; ++k)
        n[k] = static_cast<float>(c[k] / length);
    return true;
}

bool CGltfBuilder::Normal(int number, float n[3]) const
{
    const CVector* stored = m_model.m_vertexNormals.GetAt(number - 1);
    return stored && UnitNormal(*stored, n);
}

void CGltfBuilder::CMeasurePiece::Parse()
{
    corners.clear();
    faces.clear();
    left.clear();
    fans = 0;
    positions = CBounds();
    ForEachFan(*group, first, last, [&](const CPolygon& polygon, int k) {
        const CVector* va = polygon.GetVertex(0);
        const CVector* vb = polygon.GetVertex(k - 1);
        const CVector* vc = polygon.GetVertex(k);
        float pa[3], pb[3], pc[3];
        // A triangle with two corners in one place covers nothing, and
        // readers take it for a line or a point. One with a corner that
        // names no vertex is left out as every writer leaves it.
        const bool keep = va && vb && vc && builder->Position(*va, pa) && builder->Position(*vb, pb) &&
                          builder->Position(*vc, pc) && !std::equal(pa, pa + 3, pb) &&
                          !std::equal(pb, pb + 3, pc) && !std::equal(pc, pc + 3, pa) && tally->Keep();
        if (!keep) {
            left.push_back(static_cast<uint32_t>(fans++));
            return;
        }
        ++fans;
        // Bounds over every corner are those over the vertices, whichever
        // corner names a vertex first.
        positions.Add(pa);
        positions.Add(pb);
        positions.Add(pc);
        corners.insert(corners.end(), {polygon.index[0], polygon.index[k - 1], polygon.index[k]});
        if (group->smooth)
            faces.push_back(&polygon);
    });
}

void CGltfBuilder::Measure(CGroupPlan& plan, CBounds& positions, CBounds& normals)
{
    const CGroup& group = *plan.group;
    ++m_stamp;
    plan.order.reserve(std::min(4 * static_cast<size_t>(group.polygons.GetCount()), m_local.size() - 1));
    CGroupTally tally(m_model, group);
    // A checked save counts the triangles in file order, so its pieces are
    // made one after the other.
    const bool threadAllowed = !m_model.m_writeTally && m_model.MayUseHelperThread();
    const int faceCount = group.polygons.GetCount();
    int next = 0;
    CPipeline<CMeasurePiece> pieces(
        [&](CMeasurePiece& piece) {
            if (next >= faceCount)
                return CPieceRead::kEnd;
            piece.builder = this;
            piece.group = &group;
            piece.tally = &tally;
            piece.first = next;
            piece.last = next = std::min(faceCount, next + kPieceFaces);
            return next >= faceCount ? CPieceRead::kLastPiece : CPieceRead::kPiece;
        },
        threadAllowed);
    // Vertices are numbered as the triangles first use them.
    const auto add = [&](int number, const CPolygon* face) {
        const size_t n = static_cast<size_t>(number);
        if (m_seenIn[n] == m_stamp)
            return;
        m_seenIn[n] = m_stamp;
        m_local[n] = static_cast<uint32_t>(plan.order.size());
        if (face) {
            // Viewers need unit normals; a vertex whose faces cancel out
            // (or that has none) takes its face's normal, and a degenerate
            // face some unit vector, which shades no visible area anyway.
            float normal[3] = {0, 0, 1};
            if (!Normal(number, normal)) {
                UnitNormal(face->normal, normal);
                plan.otherNormals.push_back({m_local[n], {normal[0], normal[1], normal[2]}});
            }
            normals.Add(normal);
        }
        plan.order.push_back(number);
    };
    size_t ordinal = 0;
    while (const CMeasurePiece* piece = pieces.Take()) {
        plan.pieceOrdinals.push_back(ordinal);
        positions.Add(piece->positions);
        for (uint32_t left : piece->left)
            plan.left.push_back(ordinal + left);
        const size_t triangles = piece->corners.size() / 3;
        for (size_t t = 0; t < triangles; ++t) {
            const CPolygon* face = group.smooth ? piece->faces[t] : nullptr;
            for (size_t c = 0; c < 3; ++c)
                add(piece->corners[3 * t + c], face);
        }
        plan.triangles += triangles;
        ordinal += piece->fans;
    }
}

void CGltfBuilder::CBufferPiece::Parse()
{
    const CModel& model = builder->m_model;
    // Room for the most the piece can hold: three numbers of four bytes for
    // each vertex, or for each of a face's two fan triangles.
    const size_t most = 12 * (kind == EKind::kIndices ? 2 : 1) * (last - first);
    if (bytes.size() < most)
        bytes.resize(most);
    char* out = bytes.data();
    auto put = [&out](const auto& values) {
        std::memcpy(out, &values, sizeof values);
        out += sizeof values;
    };
    float p[3];
    if (kind == EKind::kPositions) {
        for (size_t i = first; i < last; ++i) {
            builder->Position(*model.m_vertices.GetAt(plan->order[i] - 1), p);
            put(p);
        }
    } else if (kind == EKind::kNormals) {
        auto other = std::lower_bound(plan->otherNormals.begin(), plan->otherNormals.end(), first,
                                      [](const auto& entry, size_t i) { return entry.first < i; });
        for (size_t i = first; i < last; ++i) {
            if (other != plan->otherNormals.end() && other->first == i)
                std::copy_n((other++)->second.data(), 3, p);
            else
                builder->Normal(plan->order[i], p);
            put(p);
        }
    } else {
        // Front faces wind counter-clockwise in the format; the model's faces
        // wind the way its normal order says.
        const bool reverse = model.m_normalOrder != 0;
        const bool shorts = plan->order.size() <= kMaxShortIndexedVertices;
        const std::vector<uint32_t>& local = builder->m_local;
        size_t at = ordinal;
        auto left = std::lower_bound(plan->left.begin(), plan->left.end(), at);
        ForEachFan(*plan->group, static_cast<int>(first), static_cast<int>(last), [&](const CPolygon& polygon, int k) {
            if (left != plan->left.end() && *left == at++) {
                ++left;
                return;
            }
            const uint32_t a = local[static_cast<size_t>(polygon.index[0])];
            const uint32_t b = local[static_cast<size_t>(polygon.index[reverse ? k : k - 1])];
            const uint32_t c = local[static_cast<size_t>(polygon.index[reverse ? k - 1 : k])];
            if (shorts) {
                const uint16_t v[3] = {static_cast<uint16_t>(a), static_cast<uint16_t>(b), static_cast<uint16_t>(c)};
                put(v);
            } else {
                const uint32_t v[3] = {a, b, c};
                put(v);
            }
        });
    }
    used = static_cast<size_t>(out - bytes.data());
}

template <typename Put>
void CGltfBuilder::WriteBuffer(Put&& put)
{
    for (const CGroupPlan& plan : m_plans) {
        const CGroup& group = *plan.group;
        // The pieces read the group's numbering, set before they start.
        for (size_t i = 0; i < plan.order.size(); ++i)
            m_local[static_cast<size_t>(plan.order[i])] = static_cast<uint32_t>(i);
        std::vector<CBufferPiece> list;
        auto add = [&](CBufferPiece::EKind kind, size_t first, size_t last, size_t ordinal) {
            CBufferPiece& piece = list.emplace_back();
            piece.builder = this;
            piece.plan = &plan;
            piece.kind = kind;
            piece.first = first;
            piece.last = last;
            piece.ordinal = ordinal;
        };
        const size_t vertices = plan.order.size();
        for (size_t i = 0; i < vertices; i += kPieceVertices)
            add(CBufferPiece::EKind::kPositions, i, std::min(vertices, i + kPieceVertices), 0);
        if (group.smooth)
            for (size_t i = 0; i < vertices; i += kPieceVertices)
                add(CBufferPiece::EKind::kNormals, i, std::min(vertices, i + kPieceVertices), 0);
        const size_t faceCount = static_cast<size_t>(group.polygons.GetCount());
        for (size_t i = 0, piece = 0; i < faceCount; i += kPieceFaces, ++piece)
            add(CBufferPiece::EKind::kIndices, i, std::min(faceCount, i + kPieceFaces), plan.pieceOrdinals[piece]);
        size_t next = 0;
        CPipeline<CBufferPiece> pieces(
            [&](CBufferPiece& piece) {
                if (next == list.size())
                    return CPieceRead::kEnd;
                std::vector<char> bytes = std::move(piece.bytes);  // keeps its room
                piece = list[next++];
                piece.bytes = std::move(bytes);
                return next == list.size() ? CPieceRead::kLastPiece : CPieceRead::kPiece;
            },
            m_model.MayUseHelperThread());
        while (const CBufferPiece* piece = pieces.Take())
            if (piece->used)
                put(piece->bytes.data(), piece->used);
        // Every view ends on a 4-byte boundary.
        if (vertices <= kMaxShortIndexedVertices && plan.triangles % 2) {
            const char zero[2] = {0, 0};
            put(zero, sizeof zero);
        }
    }
}

size_t CGltfBuilder::AddView(size_t length, int target)
{
    json& views = m_doc["bufferViews"];
    views.push_back({{"buffer", 0}, {"byteOffset", m_size}, {"byteLength", length}, {"target", target}});
    m_size += (length + 3) & ~size_t(3);
    return views.size() - 1;
}

size_t CGltfBuilder::AddFloatAccessor(size_t view, size_t count, const CBounds& bounds)
{
    // Readers rely on exact bounds (POSITION must carry them).
    json& accessors = m_doc["accessors"];
    accessors.push_back({{"bufferView", view},
                         {"componentType", kFloat},
                         {"count", count},
                         {"type", "VEC3"},
                         {"min", {bounds.lo[0], bounds.lo[1], bounds.lo[2]}},
                         {"max", {bounds.hi[0], bounds.hi[1], bounds.hi[2]}}});
    return accessors.size() - 1;
}

size_t CGltfBuilder::AddIndexAccessor(size_t count, size_t vertexCount)
{
    const bool shorts = vertexCount <= kMaxShortIndexedVertices;
    const size_t view = AddView(count * (shorts ? sizeof(uint16_t) : sizeof(uint32_t)), kElementArrayBuffer);
    // Each vertex is numbered as a kept triangle first uses it.
    json& accessors = m_doc["accessors"];
    accessors.push_back({{"bufferView", view},
                         {"componentType", shorts ? kUnsignedShort : kUnsignedInt},
                         {"count", count},
                         {"type", "SCALAR"},
                         {"min", json::array({0})},
                         {"max", json::array({vertexCount - 1})}});
    return accessors.size() - 1;
}

// One material per colour and finish in use.
size_t CGltfBuilder::Material(const CGroup& group)
{
    const ColorEntry& color = GroupColor(group);
    const int colorIndex = static_cast<int>(&color - ColorTable);
    const int finish = group.textureIndex >= 0 && group.textureIndex < kTextureCount ? group.textureIndex : 5;
    const auto key = std::make_pair(colorIndex, finish);
    if (auto found = m_materials.find(key); found != m_materials.end())
        return found->second;

    const FinishLook& look = FinishLooks[finish];
    const float rgb[3] = {Linear(color.red), Linear(color.green), Linear(color.blue)};
    json pbr = {{"baseColorFactor", {rgb[0], rgb[1], rgb[2], look.alpha}},
                {"metallicFactor", look.metallic},
                {"roughnessFactor", look.roughness}};
    json material = {{"name", std::string(color.name) + " " + TextureNames[finish]},
                     {"pbrMetallicRoughness", std::move(pbr)},
                     // Old formats do not agree on which side of a face is
                     // its front, and open surfaces are common: both sides
                     // are drawn, as every other output of ours shows them.
                     {"doubleSided", true}};
    if (look.alpha < 1.0f)
        material["alphaMode"] = "BLEND";
    if (look.emissive)
        material["emissiveFactor"] = {rgb[0], rgb[1], rgb[2]};
    json& materials = m_doc["materials"];
    materials.push_back(std::move(material));
    m_materials[key] = materials.size() - 1;
    return materials.size() - 1;
}

bool CGltfBuilder::Build()
{
    m_doc["asset"] = {{"version", "2.0"}, {"generator", "Trivex"}};
    const size_t numbers = static_cast<size_t>(m_model.GetVertexCount()) + 1;
    m_local.assign(numbers, 0);
    m_seenIn.assign(numbers, 0);

    json sceneNodes = json::array();
    for (int g = 0; g < m_model.m_groups.GetCount(); ++g) {
        const CGroup* group = m_model.m_groups.GetAt(g);
        if (!IsWritten(group))
            continue;
        m_model.StatusMessage("Saving Group %s", group->name.c_str());
        CGroupPlan plan;
        plan.group = group;
        CBounds positions, normals;
        Measure(plan, positions, normals);
        // Accessors may not be empty: a group of nothing but degenerate faces
        // has nothing to show.
        if (!plan.triangles)
            continue;
        const size_t vertexCount = plan.order.size();
        json attributes = {
            {"POSITION", AddFloatAccessor(AddView(12 * vertexCount, kArrayBuffer), vertexCount, positions)}};
        // Without normals viewers shade each triangle flat, as the group is
        // meant to look, and the vertices stay shared between faces.
        if (group->smooth)
            attributes["NORMAL"] = AddFloatAccessor(AddView(12 * vertexCount, kArrayBuffer), vertexCount, normals);
        json primitive = {{"attributes", std::move(attributes)},
                          {"indices", AddIndexAccessor(3 * plan.triangles, vertexCount)},
                          {"material", Material(*group)},
                          {"mode", kTriangles}};
        json& meshes = m_doc["meshes"];
        meshes.push_back({{"name", group->name}, {"primitives", json::array({std::move(primitive)})}});
        json& nodes = m_doc["nodes"];
        nodes.push_back({{"name", group->name}, {"mesh", meshes.size() - 1}});
        sceneNodes.push_back(nodes.size() - 1);
        m_plans.push_back(std::move(plan));
    }
    // The stamps are done with; the numbering is made again group by group
    // as the buffer is written.
    std::vector<uint32_t>().swap(m_seenIn);

    json scene = json::object();
    if (!sceneNodes.empty())
        scene["nodes"] = std::move(sceneNodes);
    m_doc["scenes"] = json::array({std::move(scene)});
    m_doc["scene"] = 0;
    if (m_size > kMaxContainer - 1024) {
        m_model.ErrorMessage("The model is too large for a glTF file");
        return false;
    }
    return true;
}

// Group names are whatever bytes the file read had; JSON must be UTF-8, so a
// byte that does not form UTF-8 is written as the replacement character.
std::string JsonText(const json& doc)
{
    return doc.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Base64 of the bytes put, taken as one sequence.
class CBase64Out
{
public:
    explicit CBase64Out(numberformat::CRecordOut& out) : m_out(out) {}

    void Put(const char* data, size_t length)
    {
        for (size_t i = 0; i < length; ++i) {
            m_group = (m_group << 8) | static_cast<unsigned char>(data[i]);
            if (++m_held == 3) {
                const char text[4] = {kDigits[m_group >> 18], kDigits[(m_group >> 12) & 63],
                                      kDigits[(m_group >> 6) & 63], kDigits[m_group & 63]};
                m_out.Text(text, 4);
                m_group = 0;
                m_held = 0;
            }
        }
    }
    // The last bytes, padded.
    void Finish()
    {
        if (!m_held)
            return;
        const uint32_t group = m_group << 8 * (3 - m_held);
        const char text[4] = {kDigits[group >> 18], kDigits[(group >> 12) & 63],
                              m_held == 2 ? kDigits[(group >> 6) & 63] : '=', '='};
        m_out.Text(text, 4);
    }

private:
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    numberformat::CRecordOut& m_out;
    uint32_t m_group = 0;  // up to three bytes not yet encoded
    int m_held = 0;
};

void PutU32(numberformat::CRecordOut& out, uint32_t value)
{
    const char b[4] = {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
                       static_cast<char>(value >> 24)};
    out.Text(b, sizeof b);
}

// Runs `write` with the builder, turning what the JSON library or the
// allocator throws into an error message: no exception leaves the writer.
template <typename Write>
int WriteGltfFile(CModel& model, FILE* fp, double scale, Write&& write)
{
    CWaitCursor wait(model);
    try {
        CGltfBuilder builder(model, scale);
        if (!builder.Build())
            return 0;
        numberformat::CRecordOut out(fp);
        if (!write(builder, out))
            return 0;
        return FinishWrite(model, fp, out.Write());
    } catch (const std::bad_alloc&) {
        model.ErrorMessage("Out of Memory");
    } catch (const std::exception& e) {
        model.ErrorMessage("glTF output failed: %s", e.what());
    }
    return 0;
}

}  // namespace

int WriteGlb(CModel& model, FILE* fp, double scale)
{
    return WriteGltfFile(model, fp, scale, [&](CGltfBuilder& builder, numberformat::CRecordOut& out) {
        json doc = builder.Document();
        const uint64_t size = builder.BufferSize();
        // The binary chunk is the file's first buffer, which has no URI.
        if (size)
            doc["buffers"] = json::array({{{"byteLength", size}}});
        std::string text = JsonText(doc);
        // Chunks are 4-byte aligned: JSON padded with blanks; the binary
        // chunk's views already end aligned.
        text.resize((text.size() + 3) & ~size_t(3), ' ');
        const uint64_t total = 12 + 8 + uint64_t(text.size()) + (size ? 8 + size : 0);
        if (total > kMaxContainer) {
            model.ErrorMessage("The model is too large for a glTF binary file");
            return false;
        }
        out.Text("glTF");
        PutU32(out, 2);
        PutU32(out, static_cast<uint32_t>(total));
        PutU32(out, static_cast<uint32_t>(text.size()));
        out.Text("JSON");
        out.Text(text);
        if (size) {
            PutU32(out, static_cast<uint32_t>(size));
            out.Text("BIN\0", 4);
            builder.WriteBuffer([&](const char* data, size_t length) { out.Text(data, length); });
        }
        return true;
    });
}

int WriteGltf(CModel& model, FILE* fp, double scale)
{
    return WriteGltfFile(model, fp, scale, [&](CGltfBuilder& builder, numberformat::CRecordOut& out) {
        json doc = builder.Document();
        const uint64_t size = builder.BufferSize();
        if (!size) {
            out.Text(JsonText(doc)).Text("\n");
            return true;
        }
        // Embedded, so that the output stays one file and is saved safely
        // as one. The data goes where the text leaves it room: the buffers
        // come before every name in the text, their keys being in order.
        static constexpr char kUri[] = "data:application/octet-stream;base64,";
        doc["buffers"] = json::array({{{"byteLength", size}, {"uri", kUri}}});
        const std::string text = JsonText(doc);
        const std::string uri = std::string("\"uri\":\"") + kUri;
        const size_t at = text.find(uri, text.find("\"buffers\":"));
        if (at == std::string::npos) {
            model.ErrorMessage("glTF output failed: no room for the buffer");
            return false;
        }
        const size_t split = at + uri.size();
        out.Text(std::string_view(text).substr(0, split));
        CBase64Out base64(out);
        builder.WriteBuffer([&](const char* data, size_t length) { base64.Put(data, length); });
        base64.Finish();
        out.Text(std::string_view(text).substr(split)).Text("\n");
        return true;
    });
}
