// glTF 2.0, as one file: a binary container (.glb) holding the JSON and the
// buffer, or JSON (.gltf) carrying its buffer as a base64 data URI. Each
// written group becomes a node with a mesh of one triangle primitive, named
// after the group, with a metallic/roughness material from its colour and
// finish.

#include <nlohmann/json.hpp>

#include <algorithm>
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

// One group's triangles as the format stores them: its own vertex list and
// 0-based indices into it.
struct CGroupMesh
{
    std::vector<float> positions;  // x, y, z per vertex
    std::vector<float> normals;    // x, y, z per vertex, smooth groups only
    std::vector<uint32_t> indices; // three per triangle
};

// One view's numbers, kept in the vector they were made in: copying them
// into one block would hold the whole buffer twice while it grows.
struct CView
{
    std::vector<float> floats;
    std::vector<uint32_t> words;
    std::vector<uint16_t> shorts;  // with a zero after an odd count

    // The bytes as written, a multiple of 4 long, so that every view starts
    // on a 4-byte boundary and any component type may be read where it lies.
    std::string_view Bytes() const
    {
        if (!floats.empty())
            return {reinterpret_cast<const char*>(floats.data()), floats.size() * sizeof(float)};
        if (!words.empty())
            return {reinterpret_cast<const char*>(words.data()), words.size() * sizeof(uint32_t)};
        return {reinterpret_cast<const char*>(shorts.data()), shorts.size() * sizeof(uint16_t)};
    }
};

// The buffer under construction, as its views.
class CBuffer
{
public:
    // Appends the view, of which the first `size` bytes count, and returns
    // its index in `views`.
    size_t AddView(json& views, CView&& view, size_t size, int target)
    {
        if (view.shorts.size() % 2)
            view.shorts.push_back(0);
        views.push_back({{"buffer", 0}, {"byteOffset", m_size}, {"byteLength", size}, {"target", target}});
        m_size += view.Bytes().size();
        m_views.push_back(std::move(view));
        return views.size() - 1;
    }
    uint64_t Size() const { return m_size; }
    const std::vector<CView>& Views() const { return m_views; }

private:
    std::vector<CView> m_views;
    uint64_t m_size = 0;
};

// Collects the document's groups into the JSON description and the buffer.
class CGltfBuilder
{
public:
    CGltfBuilder(CModel& model, double scale) : m_model(model), m_scale(scale) {}

    // False after an error message.
    bool Build();
    const json& Document() const { return m_doc; }
    const CBuffer& Buffer() const { return m_buffer; }

private:
    void MakeMesh(const CGroup& group, CGroupMesh& mesh);
    size_t AddFloatAccessor(std::vector<float>&& values, const char* type);
    size_t AddIndexAccessor(std::vector<uint32_t>&& indices, size_t vertexCount);
    size_t Material(const CGroup& group);
    // The written coordinates of a vertex; false when they are not finite
    // at the output scale.
    bool Position(const CVector& v, float p[3]) const;
    // Index of a document vertex number, at `p`, in the group's list, adding
    // it on first use.
    uint32_t Local(const CGroup& group, int number, const float p[3], const CPolygon& face, CGroupMesh& mesh);

    CModel& m_model;
    double m_scale;
    json m_doc;
    CBuffer m_buffer;
    std::map<std::pair<int, int>, size_t> m_materials;  // (colour, finish) -> material
    // By document vertex number: its index in the current group's list, valid
    // where m_seenIn holds the current group's stamp.
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

uint32_t CGltfBuilder::Local(const CGroup& group, int number, const float p[3], const CPolygon& face,
                             CGroupMesh& mesh)
{
    const size_t n = static_cast<size_t>(number);
    if (m_seenIn[n] == m_stamp)
        return m_local[n];
    const uint32_t index = static_cast<uint32_t>(mesh.positions.size() / 3);
    mesh.positions.insert(mesh.positions.end(), p, p + 3);
    if (group.smooth) {
        // Viewers need unit normals; a vertex whose faces cancel out (or
        // that has none) takes its face's normal, and a degenerate face
        // some unit vector, which shades no visible area anyway.
        const CVector* stored = m_model.m_vertexNormals.GetAt(number - 1);
        double c[3] = {0, 0, 0};
        bool unit = false;
        for (const CVector& candidate : {stored ? *stored : CVector(), face.normal}) {
            c[0] = candidate.x, c[1] = candidate.y, c[2] = candidate.z;
            const double length = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
            if (std::isfinite(length) && length > 1e-6) {
                for (double& x : c)
                    x /= length;
                unit = true;
                break;
            }
        }
        if (!unit)
            c[0] = 0, c[1] = 0, c[2] = 1;
        for (double x : c)
            mesh.normals.push_back(static_cast<float>(x));
    }
    m_seenIn[n] = m_stamp;
    m_local[n] = index;
    return index;
}

void CGltfBuilder::MakeMesh(const CGroup& group, CGroupMesh& mesh)
{
    ++m_stamp;
    // Front faces wind counter-clockwise in the format; the model's faces wind
    // the way its normal order says.
    const bool reverse = m_model.m_normalOrder != 0;
    // Sized once: a large group would otherwise pass through several copies
    // on its way up.
    size_t triangles = 0;
    for (int p = 0; p < group.polygons.GetCount(); ++p)
        if (const CPolygon* polygon = group.polygons.GetAt(p); polygon && polygon->count > 2)
            triangles += static_cast<size_t>(std::min<int>(polygon->count, 4) - 2);
    const size_t vertices = std::min(3 * triangles, m_local.size() - 1);
    mesh.indices.reserve(3 * triangles);
    mesh.positions.reserve(3 * vertices);
    if (group.smooth)
        mesh.normals.reserve(3 * vertices);
    CGroupTally tally(m_model, group);
    for (int p = 0; p < group.polygons.GetCount(); ++p) {
        const CPolygon* polygon = group.polygons.GetAt(p);
        if (!polygon)
            continue;
        ForEachFanTriangle(*polygon, [&](const CVector& va, const CVector& vb, const CVector& vc, int na, int nb,
                                         int nc) {
            // A vertex the group already holds has its written coordinates
            // there; only a new one is scaled.
            const auto position = [&](const CVector& v, int number, float p[3]) {
                if (m_seenIn[static_cast<size_t>(number)] != m_stamp)
                    return Position(v, p);
                std::copy_n(&mesh.positions[3 * size_t{m_local[static_cast<size_t>(number)]}], 3, p);
                return true;
            };
            float pa[3], pb[3], pc[3];
            if (!position(va, na, pa) || !position(vb, nb, pb) || !position(vc, nc, pc))
                return;
            // A triangle with two corners in one place covers nothing, and
            // readers take it for a line or a point.
            if (std::equal(pa, pa + 3, pb) || std::equal(pb, pb + 3, pc) || std::equal(pc, pc + 3, pa) ||
                !tally.Keep())
                return;
            const uint32_t a = Local(group, na, pa, *polygon, mesh);
            const uint32_t b = Local(group, nb, pb, *polygon, mesh);
            const uint32_t c = Local(group, nc, pc, *polygon, mesh);
            mesh.indices.push_back(a);
            mesh.indices.push_back(reverse ? c : b);
            mesh.indices.push_back(reverse ? b : c);
        });
    }
}

size_t CGltfBuilder::AddFloatAccessor(std::vector<float>&& values, const char* type)
{
    // Readers rely on exact bounds (POSITION must carry them), so they come
    // from the very floats written.
    float lo[3] = {values[0], values[1], values[2]};
    float hi[3] = {values[0], values[1], values[2]};
    for (size_t i = 3; i < values.size(); i += 3)
        for (size_t k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], values[i + k]);
            hi[k] = std::max(hi[k], values[i + k]);
        }
    const size_t count = values.size() / 3;
    const size_t bytes = values.size() * sizeof(float);
    const size_t view = m_buffer.AddView(m_doc["bufferViews"], {.floats = std::move(values)}, bytes, kArrayBuffer);
    json& accessors = m_doc["accessors"];
    accessors.push_back({{"bufferView", view},
                         {"componentType", kFloat},
                         {"count", count},
                         {"type", type},
                         {"min", {lo[0], lo[1], lo[2]}},
                         {"max", {hi[0], hi[1], hi[2]}}});
    return accessors.size() - 1;
}

size_t CGltfBuilder::AddIndexAccessor(std::vector<uint32_t>&& indices, size_t vertexCount)
{
    uint32_t lo = indices[0], hi = indices[0];
    for (uint32_t i : indices) {
        lo = std::min(lo, i);
        hi = std::max(hi, i);
    }
    const size_t count = indices.size();
    size_t view;
    int type;
    if (vertexCount <= kMaxShortIndexedVertices) {
        view = m_buffer.AddView(m_doc["bufferViews"], {.shorts = std::vector<uint16_t>(indices.begin(), indices.end())},
                                count * sizeof(uint16_t), kElementArrayBuffer);
        type = kUnsignedShort;
    } else {
        view = m_buffer.AddView(m_doc["bufferViews"], {.words = std::move(indices)}, count * sizeof(uint32_t),
                                kElementArrayBuffer);
        type = kUnsignedInt;
    }
    json& accessors = m_doc["accessors"];
    accessors.push_back({{"bufferView", view},
                         {"componentType", type},
                         {"count", count},
                         {"type", "SCALAR"},
                         {"min", json::array({lo})},
                         {"max", json::array({hi})}});
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
        CGroupMesh mesh;
        MakeMesh(*group, mesh);
        // Accessors may not be empty: a group of nothing but degenerate faces
        // has nothing to show.
        if (mesh.indices.empty())
            continue;
        const size_t vertexCount = mesh.positions.size() / 3;
        json attributes = {{"POSITION", AddFloatAccessor(std::move(mesh.positions), "VEC3")}};
        // Without normals viewers shade each triangle flat, as the group is
        // meant to look, and the vertices stay shared between faces.
        if (group->smooth)
            attributes["NORMAL"] = AddFloatAccessor(std::move(mesh.normals), "VEC3");
        json primitive = {{"attributes", std::move(attributes)},
                          {"indices", AddIndexAccessor(std::move(mesh.indices), vertexCount)},
                          {"material", Material(*group)},
                          {"mode", kTriangles}};
        json& meshes = m_doc["meshes"];
        meshes.push_back({{"name", group->name}, {"primitives", json::array({std::move(primitive)})}});
        json& nodes = m_doc["nodes"];
        nodes.push_back({{"name", group->name}, {"mesh", meshes.size() - 1}});
        sceneNodes.push_back(nodes.size() - 1);
    }

    json scene = json::object();
    if (!sceneNodes.empty())
        scene["nodes"] = std::move(sceneNodes);
    m_doc["scenes"] = json::array({std::move(scene)});
    m_doc["scene"] = 0;
    if (m_buffer.Size() > kMaxContainer - 1024) {
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

// Base64 of the buffer's pieces taken as one sequence of bytes.
std::string Base64(const CBuffer& buffer)
{
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve(static_cast<size_t>((buffer.Size() + 2) / 3 * 4));
    uint32_t group = 0;  // up to three bytes not yet encoded
    int held = 0;
    for (const CView& view : buffer.Views())
        for (char byte : view.Bytes()) {
            group = (group << 8) | static_cast<unsigned char>(byte);
            if (++held == 3) {
                text += kDigits[group >> 18];
                text += kDigits[(group >> 12) & 63];
                text += kDigits[(group >> 6) & 63];
                text += kDigits[group & 63];
                group = 0;
                held = 0;
            }
        }
    if (held) {
        group <<= 8 * (3 - held);
        text += kDigits[group >> 18];
        text += kDigits[(group >> 12) & 63];
        text += held == 2 ? kDigits[(group >> 6) & 63] : '=';
        text += '=';
    }
    return text;
}

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
    return WriteGltfFile(model, fp, scale, [&](const CGltfBuilder& builder, numberformat::CRecordOut& out) {
        json doc = builder.Document();
        const CBuffer& bin = builder.Buffer();
        // The binary chunk is the file's first buffer, which has no URI.
        if (bin.Size())
            doc["buffers"] = json::array({{{"byteLength", bin.Size()}}});
        std::string text = JsonText(doc);
        // Chunks are 4-byte aligned: JSON padded with blanks; the binary
        // chunk's views already end aligned.
        text.resize((text.size() + 3) & ~size_t(3), ' ');
        const uint64_t total = 12 + 8 + uint64_t(text.size()) + (bin.Size() ? 8 + bin.Size() : 0);
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
        if (bin.Size()) {
            PutU32(out, static_cast<uint32_t>(bin.Size()));
            out.Text("BIN\0", 4);
            for (const CView& view : bin.Views())
                out.Text(view.Bytes());
        }
        return true;
    });
}

int WriteGltf(CModel& model, FILE* fp, double scale)
{
    return WriteGltfFile(model, fp, scale, [&](const CGltfBuilder& builder, numberformat::CRecordOut& out) {
        json doc = builder.Document();
        const CBuffer& bin = builder.Buffer();
        // Embedded, so that the output stays one file and is saved safely
        // as one.
        if (bin.Size())
            doc["buffers"] = json::array(
                {{{"byteLength", bin.Size()}, {"uri", "data:application/octet-stream;base64," + Base64(bin)}}});
        out.Text(JsonText(doc));
        out.Text("\n");
        return true;
    });
}
