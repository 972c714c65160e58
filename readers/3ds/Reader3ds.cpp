#include "Reader3ds.h"

#include "Keyframer3ds.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

enum : uint16_t {
    kColorFloat = 0x0010,
    kColorByte = 0x0011,
    kBackground = 0x1200,
    kAmbientLight = 0x2100,
    kFog = 0x2200,
    kEditor = 0x3D3D,
    kObject = 0x4000,
    kHidden = 0x4010,
    kMesh = 0x4100,
    kPoints = 0x4110,
    kFaces = 0x4120,
    kFaceMaterial = 0x4130,
    kMeshFrame = 0x4160,
    kLight = 0x4600,
    kMain = 0x4D4D,
    kMaterialName = 0xA000,
    kMaterialAmbient = 0xA010,
    kMaterialDiffuse = 0xA020,
    kMaterialSpecular = 0xA030,
    kMaterial = 0xAFFF,
    kKeyframer = 0xB000,
    kAmbientNode = 0xB001,
    kObjectNode = 0xB002,
    kSpotNode = 0xB007,
    kNodeHeader = 0xB010,
    kInstanceName = 0xB011,
    kPivot = 0xB013,
    kPositionTrack = 0xB020,
    kRotationTrack = 0xB021,
    kScaleTrack = 0xB022,
    kNodeId = 0xB030,
};

constexpr uint64_t kHeaderSize = 6;
// Names keep at most this many characters; the rest up to the terminator is skipped.
constexpr size_t kMaxName = 79;
// Instances multiply a mesh without making the file any bigger: past this many
// instanced triangles the remaining instances are left out rather than
// filling memory. Within it a scene may place 250,000 triangles plus 4 for
// each byte of the file, so a scene that draws its columns and railings
// hundreds of times still loads whole.
constexpr long kMaxInstancedTriangles = 10000000;
constexpr long kFreeInstancedTriangles = 250000;
constexpr long kInstancedTrianglesPerFileByte = 4;

struct CColor
{
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
};

struct CFace
{
    uint16_t corner[3];
    int32_t material;  // into CMesh::materials; -1 for none, which reads as "Default"
};

struct CMesh
{
    std::vector<CVector> points;
    std::vector<CFace> faces;
    std::vector<std::string> materials;
    C3dsAffine frame;  // the mesh's local axes and origin, where the keyframer's nodes start from
    bool hidden = false;
};

// Leaves the bytes of a growing buffer as they are: the file's bytes are
// about to be read over them, and clearing them first would cost a pass over
// the whole file.
template <typename T>
struct CUninitialized : std::allocator<T>
{
    template <typename U>
    struct rebind
    {
        using other = CUninitialized<U>;
    };
    CUninitialized() = default;
    template <typename U>
    CUninitialized(const CUninitialized<U>&) noexcept
    {
    }
    template <typename U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using CFileBytes = std::vector<uint8_t, CUninitialized<uint8_t>>;

uint16_t LittleU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

float LittleFloat(const uint8_t* p)
{
    const uint32_t bits = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                          static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    return std::bit_cast<float>(bits);
}

// A visible mesh read from the file, waiting to become a group.
struct CReadMesh
{
    std::string name;
    std::string fileName;  // as the file spells it, which the keyframer's nodes name
    CMesh mesh;  // points, faces and frame only
    int color = 0;
    std::string material;  // the first face's, named in the status text
    bool hasMaterial = false;
    bool drawn = true;      // as its own group; a mesh drawn only through instances is not
    bool placed = false;    // its own group is moved by `place`
    bool instanced = false; // kept for the instances drawn after every mesh
    C3dsAffine place;
};

// The file's bytes with a read position. Every read names the end of the
// chunk it belongs to and fails, reading nothing, when the bytes are not there
// before that end or before the end of the data.
class CChunkCursor
{
public:
    CFileBytes& Data() { return m_data; }
    uint64_t Size() const { return m_data.size(); }
    uint64_t Pos() const { return m_pos; }
    void Seek(uint64_t pos) { m_pos = pos; }

    uint64_t Left(uint64_t end) const
    {
        uint64_t limit = std::min<uint64_t>(end, m_data.size());
        return m_pos < limit ? limit - m_pos : 0;
    }

    bool Skip(uint64_t end, uint64_t bytes)
    {
        if (Left(end) < bytes)
            return false;
        m_pos += bytes;
        return true;
    }

    // The next `bytes` bytes, which the read position then passes; null, with
    // nothing passed, when the chunk or the data ends before them.
    const uint8_t* Take(uint64_t end, uint64_t bytes)
    {
        if (Left(end) < bytes)
            return nullptr;
        const uint8_t* at = m_data.data() + m_pos;
        m_pos += bytes;
        return at;
    }

    bool ReadByte(uint64_t end, uint8_t& value)
    {
        if (Left(end) < 1)
            return false;
        value = m_data[m_pos++];
        return true;
    }

    bool ReadU16(uint64_t end, uint16_t& value)
    {
        if (Left(end) < 2)
            return false;
        value = static_cast<uint16_t>(m_data[m_pos] | m_data[m_pos + 1] << 8);
        m_pos += 2;
        return true;
    }

    bool ReadU32(uint64_t end, uint32_t& value)
    {
        if (Left(end) < 4)
            return false;
        value = 0;
        for (int i = 3; i >= 0; --i)
            value = value << 8 | m_data[m_pos + i];
        m_pos += 4;
        return true;
    }

    bool ReadFloat(uint64_t end, float& value)
    {
        uint32_t bits;
        if (!ReadU32(end, bits))
            return false;
        value = std::bit_cast<float>(bits);
        return true;
    }

private:
    CFileBytes m_data;
    uint64_t m_pos = 0;
};

class C3dsReader
{
public:
    C3dsReader(CModel& model, FILE* fp) : m_model(model), m_fp(fp) {}

    int Read()
    {
        m_model.BeginWait();
        m_model.ClearVertexHash();
        m_model.Clear(true);
        int result = 1;
        try {
            const bool loaded = Load();
            if (std::ferror(m_fp)) {
                // Not the end of the file: the meshes would be cut short.
                m_model.ErrorMessage("Read error in the .3DS file");
                result = 0;
            } else if (loaded) {
                ReadMain();
            } else {
                m_model.ErrorMessage("Error: Input file is not .3DS format");
                result = 0;
            }
        } catch (const std::bad_alloc&) {
            // Whatever the object under way held is gone with the stack; the
            // groups of the objects read so far are still made.
            m_model.ErrorMessage("%s", m_inMaterial ? "Out of memory adding material" : "Out of memory allocating mesh");
        }
        // The file's bytes go before the meshes become groups: together they
        // would need the memory of the file and the model at once.
        const uint64_t fileBytes = m_cursor.Size();
        m_cursor.Data() = CFileBytes();
        try {
            PlanPlacement(fileBytes);
            for (CReadMesh& read : m_readMeshes) {
                if (read.drawn)
                    AddMesh(read, read.name, read.placed ? &read.place : nullptr);
                if (!read.instanced)
                    read = CReadMesh();
            }
            for (const CInstance& instance : m_instances)
                AddMesh(m_readMeshes[instance.mesh], instance.group, &instance.place);
        } catch (const std::bad_alloc&) {
            m_model.ErrorMessage("Out of memory allocating mesh");
        }
        m_instances = {};
        m_readMeshes = {};
        ReportDamage();
        m_materials = {};
        m_model.ClearVertexHash();
        m_model.EndWait();
        m_model.FinishLoad();
        return result;
    }

private:
    // Takes the bytes of the main chunk into memory. False when the stream
    // does not start with one.
    bool Load()
    {
        CFileBytes& data = m_cursor.Data();
        uint8_t head[kHeaderSize];
        size_t got = std::fread(head, 1, sizeof head, m_fp);
        data.assign(head, head + got);
        if (got < 2 || (head[0] | head[1] << 8) != kMain)
            return false;
        if (got < kHeaderSize)
            return true;
        uint64_t length = 0;
        for (int i = 5; i >= 2; --i)
            length = length << 8 | head[i];
        // Nothing after the main chunk is read; a length that runs past the
        // end of the stream takes what is there.
        uint64_t want = length > kHeaderSize ? length - kHeaderSize : 0;
        // Room for what the file really holds, when it can tell: growing by
        // doubling would copy the bytes over and over.
        const long here = std::ftell(m_fp);
        if (here >= 0 && std::fseek(m_fp, 0, SEEK_END) == 0) {
            const long size = std::ftell(m_fp);
            if (std::fseek(m_fp, here, SEEK_SET) != 0)
                return false;
            if (size > here)
                data.reserve(got + static_cast<size_t>(std::min<uint64_t>(want, static_cast<uint64_t>(size - here))));
        }
        constexpr size_t kPiece = 1 << 16;
        while (want > 0) {
            size_t piece = static_cast<size_t>(std::min<uint64_t>(want, kPiece));
            size_t at = data.size();
            data.resize(at + piece);
            size_t n = std::fread(data.data() + at, 1, piece, m_fp);
            data.resize(at + n);
            if (n < piece)
                break;
            want -= n;
        }
        return true;
    }

    void ReadMain()
    {
        uint32_t length = 0;
        m_cursor.Seek(2);
        if (!m_cursor.ReadU32(kHeaderSize, length)) {
            Truncated();
            return;
        }
        if (length < kHeaderSize) {
            Damaged(0);
            return;
        }
        // Only the first editor-data chunk counts, and of what follows it only
        // the keyframer.
        bool editor = false;
        Walk(length, [&](uint16_t id, uint64_t end) {
            if (id != kEditor)
                return true;
            ReadEditor(end);
            editor = true;
            return false;
        });
        if (editor && !m_stopped && m_model.m_place3dsNodes)
            FindKeyframer(length);
    }

    // Looks for the keyframer among the chunks after the editor data. Those
    // were never read before, so damage among them is passed over in silence
    // as it always was; only damage in the keyframer itself is reported.
    void FindKeyframer(uint64_t end)
    {
        for (;;) {
            const uint64_t start = m_cursor.Pos();
            uint16_t id = 0;
            uint32_t length = 0;
            if (!m_cursor.ReadU16(end, id) || !m_cursor.ReadU32(end, length))
                return;
            if (id == kKeyframer) {
                ReadKeyframer(start, start + length, end);
                return;
            }
            if (length < kHeaderSize || start + length > end)
                return;
            m_cursor.Seek(start + length);
        }
    }

    // Reads the nodes of the keyframer chunk that starts at `start`. A damaged
    // keyframer is reported once and leaves no node: the meshes then stay
    // where the editor data puts them.
    void ReadKeyframer(uint64_t start, uint64_t end, uint64_t parentEnd)
    {
        m_inKeyframer = true;
        if (end < start + kHeaderSize || end > parentEnd)
            Damaged(start);
        uint32_t ordinal = 0;
        Walk(end, [&](uint16_t id, uint64_t chunkEnd) {
            if (id < kAmbientNode || id > kSpotNode)
                return true;
            C3dsNode node;
            node.object = id == kObjectNode;
            // Files without node ids number their nodes in order.
            node.id = static_cast<uint16_t>(ordinal++);
            ReadNode(chunkEnd, node);
            m_nodes.push_back(std::move(node));
            return true;
        });
        m_inKeyframer = false;
        if (!m_keyframerProblem.empty()) {
            m_model.WarningMessage(".3DS keyframer ignored: %s", m_keyframerProblem.c_str());
            m_nodes = {};
        }
    }

    void ReadNode(uint64_t end, C3dsNode& node)
    {
        Walk(end, [&](uint16_t id, uint64_t chunkEnd) {
            switch (id) {
            case kNodeId:
                if (Need(chunkEnd, sizeof(uint16_t)))
                    m_cursor.ReadU16(chunkEnd, node.id);
                break;
            case kNodeHeader: {
                node.name = ReadRawName(chunkEnd);
                uint16_t flags = 0;
                if (Need(chunkEnd, 3 * sizeof(uint16_t)) && m_cursor.ReadU16(chunkEnd, flags) &&
                    m_cursor.ReadU16(chunkEnd, flags))
                    m_cursor.ReadU16(chunkEnd, node.parentId);
                break;
            }
            case kInstanceName:
                node.instance = ReadRawName(chunkEnd);
                break;
            case kPivot:
                ReadFloats(chunkEnd, node.pivot, 3);
                break;
            case kPositionTrack:
                ReadFirstKey(chunkEnd, node.position, 3);
                break;
            case kRotationTrack:
                if (node.object)
                    ReadFirstKey(chunkEnd, node.rotation, 4);
                break;
            case kScaleTrack:
                if (node.object)
                    ReadFirstKey(chunkEnd, node.scale, 3);
                break;
            default:
                break;
            }
            return true;
        });
    }

    // The value of a track's first key, the one in force at frame 0; a track
    // without keys leaves the value as it was.
    void ReadFirstKey(uint64_t end, float* values, int count)
    {
        // Flags, two reserved words, the key count; then the key's frame, its
        // spline flags and one float for each spline setting the flags name.
        uint32_t keys = 0;
        uint16_t spline = 0;
        if (!Need(end, 14) || !m_cursor.Skip(end, 10) || !m_cursor.ReadU32(end, keys) || keys == 0)
            return;
        if (!Need(end, 6) || !m_cursor.Skip(end, 4) || !m_cursor.ReadU16(end, spline))
            return;
        for (int bit = 0; bit < 5; ++bit)
            if (spline & 1 << bit && !(Need(end, sizeof(float)) && m_cursor.Skip(end, sizeof(float))))
                return;
        ReadFloats(end, values, count);
    }

    void ReadFloats(uint64_t end, float* values, int count)
    {
        if (!Need(end, static_cast<uint64_t>(count) * sizeof(float)))
            return;
        const uint64_t at = m_cursor.Pos();
        float read[4] = {};
        for (int i = 0; i < count; ++i) {
            m_cursor.ReadFloat(end, read[i]);
            if (!std::isfinite(read[i])) {
                Damaged(at);
                return;
            }
        }
        std::copy(read, read + count, values);
    }

    struct CInstance
    {
        size_t mesh;        // into m_readMeshes
        std::string group;
        C3dsAffine place;
    };

    // Decides from the keyframer's nodes where each mesh goes and which
    // copies of it are drawn besides. A mesh named by one node is drawn once,
    // as its own group; named by several, the first node without an instance
    // name draws it as its own group and every other node is an instance with
    // a group of its own. The editor data holds each mesh as the modeller
    // showed it, so a mesh's own group stays as stored unless a parent moves
    // it; a camera or light above it turns it in ways the first keys do not
    // tell, and then too it stays as stored.
    void PlanPlacement(uint64_t fileBytes)
    {
        if (m_nodes.empty())
            return;
        C3dsPlacement placement;
        std::string problem;
        if (!PlaceNodes(m_nodes, placement, problem)) {
            m_model.WarningMessage(".3DS keyframer ignored: %s", problem.c_str());
            return;
        }
        // A node names the first mesh of its name, as the file spells it.
        std::unordered_map<std::string, size_t> meshByName;
        for (size_t i = 0; i < m_readMeshes.size(); ++i)
            meshByName.emplace(m_readMeshes[i].fileName, i);
        std::vector<std::vector<size_t>> nodesOf(m_readMeshes.size());
        for (size_t n = 0; n < m_nodes.size(); ++n) {
            if (!m_nodes[n].object || m_nodes[n].IsDummy())
                continue;
            auto found = meshByName.find(m_nodes[n].name);
            if (found != meshByName.end())
                nodesOf[found->second].push_back(n);
        }
        std::vector<std::pair<size_t, size_t>> instances;  // node, mesh
        for (size_t i = 0; i < m_readMeshes.size(); ++i) {
            const std::vector<size_t>& nodes = nodesOf[i];
            if (nodes.empty())
                continue;
            CReadMesh& read = m_readMeshes[i];
            size_t own = nodes.size() == 1 ? nodes[0] : m_nodes.size();
            for (size_t k = 0; own == m_nodes.size() && k < nodes.size(); ++k)
                if (m_nodes[nodes[k]].instance.empty())
                    own = nodes[k];
            read.drawn = own < m_nodes.size();
            if (read.drawn && placement.parent[own] >= 0 && placement.objectsAbove[own]) {
                read.placed = true;
                read.place = MeshToWorld(read.mesh.frame, m_nodes[own], placement.world[own]);
            }
            for (size_t n : nodes)
                if (n != own)
                    instances.emplace_back(n, i);
        }
        std::sort(instances.begin(), instances.end());

        std::set<std::string> taken;
        for (const CReadMesh& read : m_readMeshes)
            taken.insert(read.name);
        const long budget =
            static_cast<uint64_t>(kMaxInstancedTriangles - kFreeInstancedTriangles) / kInstancedTrianglesPerFileByte >
                    fileBytes
                ? kFreeInstancedTriangles + static_cast<long>(fileBytes) * kInstancedTrianglesPerFileByte
                : kMaxInstancedTriangles;
        long triangles = 0;
        for (const auto& [n, i] : instances) {
            CReadMesh& read = m_readMeshes[i];
            const long faces = static_cast<long>(read.mesh.faces.size());
            if (faces > budget - triangles) {
                m_model.WarningMessage("Too many instanced triangles in the .3DS file; some instances were left out");
                break;
            }
            triangles += faces;
            read.instanced = true;
            const C3dsNode& node = m_nodes[n];
            std::string group = read.name;
            if (!node.instance.empty())
                group += "_" + CleanName(node.instance);
            m_instances.push_back({i, UniqueName(group.substr(0, kMaxName), taken),
                                   MeshToWorld(read.mesh.frame, node, placement.world[n])});
        }
        m_nodes = {};
    }

    // `name`, or when a group has it already, `name` with "_2", "_3" ...,
    // cut to fit the longest name.
    static std::string UniqueName(const std::string& name, std::set<std::string>& taken)
    {
        std::string unique = name;
        for (int k = 2; !taken.insert(unique).second; ++k) {
            const std::string suffix = "_" + std::to_string(k);
            unique = name.substr(0, kMaxName - suffix.size()) + suffix;
        }
        return unique;
    }

    // Walks the chunks from the current position up to `end`, handing each
    // one's id and end to `handle` with the position after its header, and
    // seeks to the chunk's end afterwards whatever the handler read. The walk
    // stops when `handle` returns false, and on a chunk that cannot be
    // trusted: shorter than its header, reaching past its parent, or cut off
    // by the end of the file.
    template <typename Handler>
    void Walk(uint64_t end, Handler&& handle)
    {
        while (!m_stopped) {
            const uint64_t start = m_cursor.Pos();
            if (start >= end)
                return;
            if (start + kHeaderSize > m_cursor.Size()) {
                if (end > m_cursor.Size())
                    Truncated();
                return;
            }
            if (start + kHeaderSize > end)
                return;  // a few stray bytes before the parent's end
            uint16_t id = 0;
            uint32_t length = 0;
            m_cursor.ReadU16(end, id);
            m_cursor.ReadU32(end, length);
            if (length < kHeaderSize) {
                Damaged(start);
                return;
            }
            const uint64_t chunkEnd = start + length;
            if (chunkEnd > end) {
                Damaged(start);
                return;
            }
            bool more = handle(id, chunkEnd);
            m_cursor.Seek(chunkEnd);
            // The handler has taken what the file holds of a chunk it cuts off.
            if (chunkEnd > m_cursor.Size())
                Truncated();
            if (!more)
                return;
        }
    }

    void ReadEditor(uint64_t end)
    {
        Walk(end, [this](uint16_t id, uint64_t chunkEnd) {
            CColor unused;
            switch (id) {
            case kBackground:
            case kAmbientLight:
                ReadColor(chunkEnd, unused);
                break;
            case kFog:
                if (Need(chunkEnd, 4 * sizeof(float))) {
                    m_cursor.Skip(chunkEnd, 4 * sizeof(float));
                    ReadColor(chunkEnd, unused);
                }
                break;
            case kMaterial:
                ReadMaterial(chunkEnd);
                break;
            case kObject:
                ReadObject(chunkEnd);
                break;
            default:
                break;
            }
            return true;
        });
    }

    void ReadMaterial(uint64_t end)
    {
        m_inMaterial = true;
        std::string name;
        CColor diffuse;
        Walk(end, [&](uint16_t id, uint64_t chunkEnd) {
            CColor unused;
            switch (id) {
            case kMaterialName:
                name = ReadName(chunkEnd);
                break;
            case kMaterialDiffuse:
                ReadColor(chunkEnd, diffuse);
                break;
            case kMaterialAmbient:
            case kMaterialSpecular:
                ReadColor(chunkEnd, unused);
                break;
            default:
                break;
            }
            return true;
        });
        // A later definition of the same name hides the earlier ones.
        m_materials[name] = diffuse;
        m_inMaterial = false;
    }

    // Reads the colour chunk that opens a chunk carrying a colour and leaves
    // the position at that colour chunk's end, past any gamma-corrected copy
    // that may follow it. An unknown kind of colour leaves `color` as it was.
    void ReadColor(uint64_t end, CColor& color)
    {
        const uint64_t start = m_cursor.Pos();
        uint16_t id = 0;
        uint32_t length = 0;
        if (!m_cursor.ReadU16(end, id) || !m_cursor.ReadU32(end, length)) {
            if (end > m_cursor.Size())
                Truncated();
            else
                m_model.ErrorMessage("Error parsing colour");
            return;
        }
        const uint64_t colorEnd = std::min<uint64_t>(start + length, end);
        if (id == kColorFloat) {
            float rgb[3] = {};
            if (m_cursor.ReadFloat(colorEnd, rgb[0]) && m_cursor.ReadFloat(colorEnd, rgb[1]) &&
                m_cursor.ReadFloat(colorEnd, rgb[2]))
                color = {rgb[0], rgb[1], rgb[2]};
            else
                Shortfall(colorEnd);
        } else if (id == kColorByte) {
            uint8_t rgb[3] = {};
            if (m_cursor.ReadByte(colorEnd, rgb[0]) && m_cursor.ReadByte(colorEnd, rgb[1]) &&
                m_cursor.ReadByte(colorEnd, rgb[2])) {
                const float unit = 0.00392156862745098f;
                color = {rgb[0] * unit, rgb[1] * unit, rgb[2] * unit};
            } else {
                Shortfall(colorEnd);
            }
        } else {
            m_model.ErrorMessage("Error parsing colour");
        }
        m_cursor.Seek(std::max(m_cursor.Pos(), colorEnd));
    }

    void ReadObject(uint64_t end)
    {
        const std::string fileName = ReadRawName(end);
        const std::string name = CleanName(fileName);
        // An object normally holds one mesh; should it hold more, each is
        // kept and a hidden mark applies to all read before it.
        std::vector<CMesh> meshes;
        // Marking the meshes as each mark comes would take time quadratic in
        // a file of many meshes and marks; the last mark covers the others.
        size_t hiddenMeshes = 0;
        Walk(end, [&](uint16_t id, uint64_t chunkEnd) {
            CColor unused;
            switch (id) {
            case kMesh:
                meshes.emplace_back();
                ReadMesh(chunkEnd, meshes.back());
                break;
            case kHidden:
                hiddenMeshes = meshes.size();
                break;
            case kLight:
                if (Need(chunkEnd, 3 * sizeof(float))) {
                    m_cursor.Skip(chunkEnd, 3 * sizeof(float));
                    ReadColor(chunkEnd, unused);
                }
                break;
            default:
                break;
            }
            return true;
        });
        for (size_t i = 0; i < hiddenMeshes; ++i)
            meshes[i].hidden = true;
        for (CMesh& mesh : meshes)
            if (!mesh.hidden)
                KeepMesh(name, fileName, mesh);
    }

    void ReadMesh(uint64_t end, CMesh& mesh)
    {
        Walk(end, [&](uint16_t id, uint64_t chunkEnd) {
            if (id == kPoints)
                ReadPoints(chunkEnd, mesh);
            else if (id == kFaces)
                ReadFaces(chunkEnd, mesh);
            else if (id == kMeshFrame)
                ReadFrame(chunkEnd, mesh);
            return true;
        });
    }

    // The frame matters only to keyframer nodes, which check it; a short one
    // is passed over as it always was.
    void ReadFrame(uint64_t end, CMesh& mesh)
    {
        const uint8_t* p = m_cursor.Take(end, 12 * sizeof(float));
        if (!p)
            return;
        float values[12];
        for (int i = 0; i < 12; ++i)
            values[i] = LittleFloat(p + 4 * i);
        mesh.frame = C3dsAffine::Frame(values);
    }

    // The number of records of `size` bytes, out of `count`, that the chunk
    // holds; reports the shortfall when it holds fewer.
    uint64_t Fitting(uint64_t end, uint16_t count, uint64_t size)
    {
        uint64_t fit = m_cursor.Left(end) / size;
        if (fit >= count)
            return count;
        Shortfall(end);
        return fit;
    }

    void ReadPoints(uint64_t end, CMesh& mesh)
    {
        uint16_t count = 0;
        if (!m_cursor.ReadU16(end, count)) {
            Shortfall(end);
            return;
        }
        uint64_t n = Fitting(end, count, 3 * sizeof(float));
        // At most 65,535, and only as many as the chunk's bytes hold.
        mesh.points.reserve(mesh.points.size() + n);
        const uint8_t* p = m_cursor.Take(end, n * 3 * sizeof(float));
        for (uint64_t i = 0; p && i < n; ++i, p += 3 * sizeof(float))
            mesh.points.emplace_back(LittleFloat(p), LittleFloat(p + 4), LittleFloat(p + 8));
    }

    void ReadFaces(uint64_t end, CMesh& mesh)
    {
        uint16_t count = 0;
        if (!m_cursor.ReadU16(end, count)) {
            Shortfall(end);
            return;
        }
        uint64_t n = Fitting(end, count, 4 * sizeof(uint16_t));
        // Material groups number the faces of their own list.
        const size_t first = mesh.faces.size();
        mesh.faces.reserve(first + n);
        // Three corners and the flags, which say nothing the model keeps.
        const uint8_t* p = m_cursor.Take(end, n * 4 * sizeof(uint16_t));
        for (uint64_t i = 0; p && i < n; ++i, p += 4 * sizeof(uint16_t))
            mesh.faces.push_back(CFace{{LittleU16(p), LittleU16(p + 2), LittleU16(p + 4)}, -1});
        Walk(end, [&](uint16_t id, uint64_t chunkEnd) {
            if (id == kFaceMaterial)
                ReadFaceMaterial(chunkEnd, mesh, first);
            return true;
        });
    }

    void ReadFaceMaterial(uint64_t end, CMesh& mesh, size_t first)
    {
        std::string name = ReadName(end);
        uint16_t count = 0;
        if (!m_cursor.ReadU16(end, count)) {
            Shortfall(end);
            return;
        }
        uint64_t n = Fitting(end, count, sizeof(uint16_t));
        const size_t faces = mesh.faces.size() - first;
        int32_t material = -1;
        for (uint64_t i = 0; i < n; ++i) {
            uint16_t face = 0;
            m_cursor.ReadU16(end, face);
            if (face >= faces) {
                ++m_strayFaceNumbers;
                continue;
            }
            if (material < 0) {
                mesh.materials.push_back(name);
                material = static_cast<int32_t>(mesh.materials.size() - 1);
            }
            mesh.faces[first + face].material = material;
        }
    }

    // Keeps a mesh to become a group once the file is read, with the colour
    // of the materials defined up to here.
    void KeepMesh(const std::string& name, const std::string& fileName, CMesh& mesh)
    {
        CReadMesh read;
        read.name = name;
        read.fileName = fileName;
        read.mesh.frame = mesh.frame;
        if (!mesh.faces.empty()) {
            const int32_t index = mesh.faces[0].material;
            read.material = index >= 0 ? mesh.materials[static_cast<size_t>(index)] : m_defaultName;
            read.hasMaterial = true;
            auto found = m_materials.find(read.material);
            const CColor diffuse = found != m_materials.end() ? found->second : CColor{1.0f, 0.0f, 0.0f};
            read.color = NearestColor(diffuse.r, diffuse.g, diffuse.b);
        } else {
            read.color = FindColor("Red");
        }
        read.mesh.points.swap(mesh.points);
        read.mesh.faces.swap(mesh.faces);
        m_readMeshes.push_back(std::move(read));
    }

    // Adds the mesh as the group `name`, its points moved by `place` if given.
    void AddMesh(const CReadMesh& read, const std::string& name, const C3dsAffine* place)
    {
        const CMesh& mesh = read.mesh;
        std::vector<CVector> moved;
        if (place) {
            moved.reserve(mesh.points.size());
            for (const CVector& p : mesh.points)
                moved.push_back(place->Apply(p));
        }
        const std::vector<CVector>& at = place ? moved : mesh.points;
        if (read.hasMaterial)
            m_model.StatusMessage("Processing Group '%s', material '%s'", name.c_str(), read.material.c_str());
        else
            m_model.StatusMessage("Processing Group '%s'", name.c_str());
        m_model.SetGroup(name.c_str(), read.color, FindTexture("Shiny"));
        const size_t points = at.size();
        CMeshPoints numbers(m_model, at);
        for (const CFace& face : mesh.faces) {
            if (face.corner[0] >= points || face.corner[1] >= points || face.corner[2] >= points) {
                ++m_strayCorners;
                continue;
            }
            const CVector& a = at[face.corner[0]];
            const CVector& b = at[face.corner[1]];
            const CVector& c = at[face.corner[2]];
            if (!Finite(a) || !Finite(b) || !Finite(c)) {
                ++m_nonFinite;
                continue;
            }
            numbers.AddTriangle(face.corner[0], face.corner[1], face.corner[2]);
        }
    }

    static bool Finite(const CVector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

    // Reads a zero-terminated name that ends no later than `end` and cleans it
    // into a group name.
    std::string ReadName(uint64_t end) { return CleanName(ReadRawName(end)); }

    // A zero-terminated name that ends no later than `end`, as stored, cut
    // to the longest name kept.
    std::string ReadRawName(uint64_t end)
    {
        std::string name;
        uint8_t c = 0;
        bool terminated = false;
        while (m_cursor.ReadByte(end, c)) {
            if (c == 0) {
                terminated = true;
                break;
            }
            if (name.size() < kMaxName)
                name.push_back(static_cast<char>(c));
        }
        if (!terminated)
            Shortfall(end);
        return name;
    }

    // Surrounding blanks, quotes and unprintable characters go, and whatever
    // is not a letter or digit becomes '_'.
    static std::string CleanName(const std::string& name)
    {
        size_t from = 0;
        while (from < name.size() && (name[from] == ' ' || name[from] == '"'))
            ++from;
        size_t to = name.size();
        auto keeps = [](unsigned char ch) { return ch > ' ' && ch < 0x7F && ch != '"'; };
        while (to > from && !keeps(static_cast<unsigned char>(name[to - 1])))
            --to;
        std::string clean = name.substr(from, to - from);
        for (char& ch : clean) {
            unsigned char u = static_cast<unsigned char>(ch);
            bool alnum = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
            if (!alnum)
                ch = '_';
        }
        return clean;
    }

    // True when `bytes` more bytes lie before `end`; otherwise says why not.
    bool Need(uint64_t end, uint64_t bytes)
    {
        if (m_cursor.Left(end) >= bytes)
            return true;
        Shortfall(end);
        return false;
    }

    // A read came up short before `end`: either the file stops inside the
    // chunk or the chunk is too small for what it claims to hold.
    void Shortfall(uint64_t end)
    {
        if (end > m_cursor.Size())
            Truncated();
        else
            Damaged(m_cursor.Pos());
    }

    void Truncated()
    {
        if (m_inKeyframer) {
            KeyframerDamaged("the file ends inside it");
            return;
        }
        if (!m_stopped)
            m_model.ErrorMessage("Error: Unexpected end of .3DS file");
        m_stopped = true;
    }

    // Damage is reported once; reading goes on with the next chunk that can be trusted.
    void Damaged(uint64_t offset)
    {
        if (m_inKeyframer) {
            KeyframerDamaged("damaged chunk at offset " + std::to_string(offset));
            return;
        }
        if (m_damaged || m_stopped)
            return;
        m_damaged = true;
        m_model.ErrorMessage("Error: Damaged .3DS chunk at offset %llu", static_cast<unsigned long long>(offset));
    }

    // The first thing wrong with the keyframer is what its report says; it
    // ends the reading of the file.
    void KeyframerDamaged(const std::string& problem)
    {
        if (m_keyframerProblem.empty())
            m_keyframerProblem = problem;
        m_stopped = true;
    }

    void ReportDamage()
    {
        if (m_strayCorners)
            m_model.ErrorMessage("Error: Dropped triangles that refer to missing points: %ld", m_strayCorners);
        if (m_nonFinite)
            m_model.ErrorMessage("Error: Dropped triangles whose coordinates are not finite: %ld", m_nonFinite);
        if (m_strayFaceNumbers)
            m_model.ErrorMessage("Error: Ignored material entries for missing faces: %ld", m_strayFaceNumbers);
    }

    CModel& m_model;
    FILE* m_fp;
    CChunkCursor m_cursor;
    std::unordered_map<std::string, CColor> m_materials;
    std::vector<CReadMesh> m_readMeshes;  // in file order
    std::vector<C3dsNode> m_nodes;        // the keyframer's, in file order
    std::vector<CInstance> m_instances;   // the groups the keyframer adds, in its order
    std::string m_keyframerProblem;
    bool m_inKeyframer = false;
    const std::string m_defaultName = "Default";
    bool m_inMaterial = false;
    bool m_stopped = false;
    bool m_damaged = false;
    long m_strayCorners = 0;
    long m_nonFinite = 0;
    long m_strayFaceNumbers = 0;
};

}  // namespace

int Read3ds(CModel& model, FILE* fp)
{
    C3dsReader reader(model, fp);
    return reader.Read();
}
