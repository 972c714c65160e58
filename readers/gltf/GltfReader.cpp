#include "GltfReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "Colors.h"
#include "Finishes.h"

// Images are never decoded, and files are reached only through the callbacks
// of the reader below.
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#define TINYGLTF_NO_FS
#define TINYGLTF_IMPLEMENTATION
// Another library of the program may compile the parser too; under a name of
// its own this copy cannot clash with that one when both are linked.
#define tinygltf trivex_gltf_reader_parser
#include <tiny_gltf.h>
#undef tinygltf

namespace {

namespace tg = trivex_gltf_reader_parser;

// Group names are cut to the length the other readers keep.
constexpr size_t kMaxName = 79;
// The parser takes the length of what it reads as 32 bits.
constexpr uint64_t kMaxFileBytes = 0xFFFFFFFFull;
// The parser turns "extras" into values recursively; deeper JSON than any
// real file holds would only exhaust the stack.
constexpr int kMaxJsonDepth = 128;
// Nodes may place one mesh many times and primitives may share accessors, so
// a small file can ask for any number of triangles. A model may have this
// many, or twice the bytes of its buffers, whichever is more.
constexpr uint64_t kMinTriangleBudget = uint64_t{1} << 21;

// Required extensions that are read here, or that change nothing of what is
// read: materials and textures beyond the base colour (images are never
// decoded), positions stored as small integers, and meshes placed many times.
bool ExtensionUnderstood(const std::string& name)
{
    if (name == "KHR_mesh_quantization" || name == "EXT_mesh_gpu_instancing")
        return true;
    for (const char* prefix : {"KHR_materials_", "KHR_texture_", "EXT_texture_"})
        if (name.rfind(prefix, 0) == 0)
            return true;
    return false;
}

// Extensions that compress the geometry itself; a file that uses one without
// a plain copy cannot be read here.
constexpr const char* kCompressions[] = {"KHR_draco_mesh_compression", "EXT_meshopt_compression",
                                         "KHR_meshopt_compression"};

bool IgnoreImage(tg::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int, void*)
{
    return true;
}

// Column-major 4x4 matrices, as glTF stores them.
struct CMatrix
{
    double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    CMatrix operator*(const CMatrix& b) const
    {
        CMatrix r;
        for (int col = 0; col < 4; ++col)
            for (int row = 0; row < 4; ++row) {
                double sum = 0;
                for (int k = 0; k < 4; ++k)
                    sum += m[k * 4 + row] * b.m[col * 4 + k];
                r.m[col * 4 + row] = sum;
            }
        return r;
    }

    // A point where the matrix puts it.
    CVector Place(const CVector& p) const
    {
        const double x = p.x, y = p.y, z = p.z;
        const double w = m[3] * x + m[7] * y + m[11] * z + m[15];
        const double scale = w != 0 && w != 1 ? 1 / w : 1;
        return CVector(static_cast<float>((m[0] * x + m[4] * y + m[8] * z + m[12]) * scale),
                       static_cast<float>((m[1] * x + m[5] * y + m[9] * z + m[13]) * scale),
                       static_cast<float>((m[2] * x + m[6] * y + m[10] * z + m[14]) * scale));
    }

    // A mirroring placement turns the faces' fronts to their backs.
    bool Mirrors() const
    {
        const double det = m[0] * (m[5] * m[10] - m[9] * m[6]) - m[4] * (m[1] * m[10] - m[9] * m[2]) +
                           m[8] * (m[1] * m[6] - m[5] * m[2]);
        return det < 0;
    }
};

// The index of the first UTF-8 character boundary at or before `n`.
size_t CharacterBoundary(const std::string& text, size_t n)
{
    if (n >= text.size())
        return text.size();
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

// A number in an extension's JSON object, or `otherwise` where it has none.
double NumberIn(const tg::Value& object, const char* key, double otherwise)
{
    if (!object.Has(key))
        return otherwise;
    const tg::Value& value = object.Get(key);
    return value.IsNumber() ? value.GetNumberAsDouble() : otherwise;
}

// What a component of an accessor holds, as a number.
double Component(const unsigned char* p, int type, bool normalized)
{
    switch (type) {
    case TINYGLTF_COMPONENT_TYPE_BYTE: {
        int8_t v;
        std::memcpy(&v, p, 1);
        return normalized ? std::max(v / 127.0, -1.0) : v;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
        return normalized ? p[0] / 255.0 : p[0];
    case TINYGLTF_COMPONENT_TYPE_SHORT: {
        int16_t v;
        std::memcpy(&v, p, 2);
        return normalized ? std::max(v / 32767.0, -1.0) : v;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return normalized ? v / 65535.0 : v;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return normalized ? v / 4294967295.0 : v;
    }
    default: {
        float v;
        std::memcpy(&v, p, 4);
        return v;
    }
    }
}

uint32_t IndexComponent(const unsigned char* p, int type)
{
    if (type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE)
        return p[0];
    if (type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

int ComponentBytes(int type)
{
    switch (type) {
    case TINYGLTF_COMPONENT_TYPE_BYTE:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
        return 1;
    case TINYGLTF_COMPONENT_TYPE_SHORT:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
        return 2;
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
    case TINYGLTF_COMPONENT_TYPE_FLOAT:
        return 4;
    default:
        return 0;
    }
}

// Any component type: positions and placements may be floats or, quantized,
// small integers.
bool AnyComponentType(int type)
{
    return ComponentBytes(type) > 0;
}

float FloatComponent(const unsigned char* p, int type, bool normalized)
{
    return static_cast<float>(Component(p, type, normalized));
}

bool IsIndexType(int type)
{
    return type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE || type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT ||
           type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
}

// Linear light to the sRGB curve the colour table is written in.
float ToSrgb(double linear)
{
    if (!std::isfinite(linear))
        return 1.0f;
    linear = std::clamp(linear, 0.0, 1.0);
    const double srgb = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return static_cast<float>(srgb);
}

float Unit(double value, double otherwise)
{
    return static_cast<float>(std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : otherwise);
}

// The deepest nesting of arrays and objects in JSON text, counted up to `limit`.
int JsonDepth(const unsigned char* text, size_t size, int limit)
{
    int depth = 0, deepest = 0;
    bool inString = false;
    for (size_t i = 0; i < size && deepest <= limit; ++i) {
        const unsigned char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            depth = std::max(depth - 1, 0);
        }
    }
    return deepest;
}

// The length of the well-formed UTF-8 character at `p`, or 0.
size_t Utf8Length(const unsigned char* p, const unsigned char* end)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    size_t n;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else
        return 0;
    if (static_cast<size_t>(end - p) < n || p[1] < low || p[1] > high)
        return 0;
    for (size_t i = 2; i < n; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    return n;
}

// Whether text begins a JSON object, after a byte order mark and white space.
bool StartsAnObject(const unsigned char* text, size_t size)
{
    size_t at = size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    while (at < size && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
        ++at;
    return at < size && text[at] == '{';
}

// The first line of the parser's error, as a user can read it: the JSON
// library's exception name and the bytes it last read (the damaged file's
// own, any bytes at all) left out.
std::string ParserError(const std::string& error)
{
    std::string line = error.substr(0, error.find('\n'));
    if (line.rfind("[json.exception.", 0) == 0 && line.find("] ") != std::string::npos)
        line.erase(0, line.find("] ") + 2);
    if (const size_t last = line.find("; last read: "); last != std::string::npos)
        line.erase(last);
    return line;
}

bool WellFormedUtf8(const unsigned char* text, size_t size)
{
    const unsigned char* end = text + size;
    for (const unsigned char* p = text; p < end;) {
        const size_t n = Utf8Length(p, end);
        if (n == 0)
            return false;
        p += n;
    }
    return true;
}

// Older exporters write names in a single-byte code page, which the JSON
// parser refuses; such bytes become '?', which keeps the JSON's structure.
void ReplaceBadUtf8(unsigned char* text, size_t size)
{
    const unsigned char* end = text + size;
    for (unsigned char* p = text; p < end;) {
        const size_t n = Utf8Length(p, end);
        if (n == 0)
            *p++ = '?';
        else
            p += n;
    }
}

class CGltfReader
{
public:
    CGltfReader(CModel& model, const std::string& folder) : m_model(model), m_folder(folder) {}

    // `file`, when given, holds the bytes and is emptied once they are parsed.
    int Read(const unsigned char* data, size_t size, std::vector<unsigned char>* file)
    {
        m_model.BeginWait();
        m_model.ClearVertexHash();
        m_model.Clear(true);
        m_model.StatusMessage("Reading glTF File...");
        bool ok = false;
        try {
            ok = Load(data, size);
            // The parser holds its own copy of the buffers; the file's bytes
            // would only add to the peak while the model is built.
            if (file)
                std::vector<unsigned char>().swap(*file);
            ok = ok && Build();
        } catch (const std::bad_alloc&) {
            Damaged("Out of Memory");
        } catch (...) {
            Damaged("Damaged glTF file: it could not be parsed");
        }
        m_gltf = tg::Model();
        m_model.WantExactRepeats(true);
        std::vector<uint32_t>().swap(m_indices);
        std::vector<CVector>().swap(m_points);
        m_model.ClearVertexHash();
        m_model.EndWait();
        if (!ok) {
            m_model.ErrorMessage("%s", m_error.c_str());
            m_model.Clear(true);
            return 0;
        }
        if (m_skipped > 0)
            m_model.NoticeMessage("Skipped %ld glTF primitives of points or lines", m_skipped);
        m_model.FinishLoad();
        return 1;
    }

private:
    // Keeps the first message of a failed read; the read stops with false.
    bool Damaged(const char* format, ...) TRIVEX_PRINTF(2, 3)
    {
        if (m_error.empty()) {
            char text[256];
            va_list args;
            va_start(args, format);
            std::vsnprintf(text, sizeof text, format, args);
            va_end(args);
            m_error = text;
        }
        return false;
    }

    bool Load(const unsigned char* data, size_t size)
    {
        if (size > kMaxFileBytes)
            return Damaged("The glTF file is too large: 4 GiB or more");
        static const unsigned char kNothing[1] = {0};
        if (!data)
            data = kNothing;
        const bool binary = size >= 4 && std::memcmp(data, "glTF", 4) == 0;
        if (size == 0)
            return Damaged("Damaged glTF file: it is empty");
        // The parser's complaint about the first byte of what is no JSON
        // object at all would say less than this.
        if (!binary && !StartsAnObject(data, size))
            return Damaged("Damaged glTF file: it is neither a binary glTF file nor glTF's JSON text");
        if (binary) {
            if (size < 12)
                return Damaged("Damaged glTF file: it is cut short within its header");
            uint32_t total;
            std::memcpy(&total, data + 8, 4);
            if (total > size)
                return Damaged("Damaged glTF file: it is cut short: %zu bytes of the %lu its header counts", size,
                               static_cast<unsigned long>(total));
        }
        const unsigned char* json = data;
        size_t jsonBytes = size;
        if (binary && size >= 20) {
            uint32_t length;
            std::memcpy(&length, data + 12, 4);
            json = data + 20;
            jsonBytes = std::min<size_t>(length, size - 20);
        }
        if (JsonDepth(json, jsonBytes, kMaxJsonDepth) > kMaxJsonDepth)
            return Damaged("Damaged glTF file: its JSON nests deeper than %d levels", kMaxJsonDepth);
        std::vector<unsigned char> mended;
        if (!WellFormedUtf8(json, jsonBytes)) {
            const size_t at = static_cast<size_t>(json - data);
            mended.assign(data, data + size);
            ReplaceBadUtf8(mended.data() + at, jsonBytes);
            data = mended.data();
            json = data + at;
        }

        tg::TinyGLTF parser;
        parser.SetImageLoader(IgnoreImage, nullptr);
        parser.SetFsCallbacks({FileExists, ExpandFilePath, ReadWholeFile, WriteWholeFile, this});
        std::string error, warning;
        const unsigned length = static_cast<unsigned>(size);
        const bool loaded =
            binary ? parser.LoadBinaryFromMemory(&m_gltf, &error, &warning, data, length, m_folder)
                   : parser.LoadASCIIFromString(&m_gltf, &error, &warning, reinterpret_cast<const char*>(data),
                                                length, m_folder);
        if (!m_refused.empty())
            return Damaged("The glTF file names the buffer file \"%s\": only files in the model's folder are read",
                           m_refused.c_str());
        if (!m_unreadable.empty())
            return Damaged("Couldn't read the glTF buffer file %s", m_unreadable.c_str());
        if (!loaded) {
            // A buffer the parser could not find may be one that only a
            // compression extension fills.
            const std::string text(reinterpret_cast<const char*>(json), jsonBytes);
            for (const char* compression : kCompressions)
                if (text.find(compression) != std::string::npos)
                    return Damaged("The glTF file needs the extension %s, which cannot be read", compression);
            const std::string line = ParserError(error);
            // Only buffers are looked for (images never are), and a .gltf
            // copied without its .bin is no damage of the file itself.
            static constexpr char kNotFound[] = "File not found : ";
            if (line.rfind(kNotFound, 0) == 0)
                return Damaged("Couldn't find the glTF buffer file %s in the model's folder",
                               line.c_str() + sizeof kNotFound - 1);
            return Damaged("Damaged glTF file: %s", line.empty() ? "it could not be parsed" : line.c_str());
        }
        // glTF 1.0 lays out its meshes otherwise: read as 2.0 it would show
        // nothing, or the wrong thing, without a word.
        const std::string& version = m_gltf.asset.version;
        if (!version.empty() && version.rfind("2.", 0) != 0 && version != "2")
            return Damaged("The glTF file is of version %.20s; only glTF 2.0 files can be read", version.c_str());
        for (const std::string& name : m_gltf.extensionsRequired)
            if (!ExtensionUnderstood(name))
                return Damaged("The glTF file needs the extension %s, which cannot be read", name.c_str());
        for (tg::Buffer& buffer : m_gltf.buffers) {
            m_bufferBytes += buffer.data.size();
            std::string().swap(buffer.uri);  // a data: URI is the buffer once more, in base64
        }
        for (tg::Image& image : m_gltf.images) {
            std::string().swap(image.uri);
            std::vector<unsigned char>().swap(image.image);
        }
        m_triangleBudget = std::max(kMinTriangleBudget, 2 * m_bufferBytes);
        return true;
    }

    // The file callbacks let the parser read buffer files from the model's
    // folder and below, nothing else.
    static bool FileExists(const std::string& path, void* user)
    {
        struct stat info;
        return static_cast<CGltfReader*>(user)->Allowed(path) && stat(path.c_str(), &info) == 0 &&
               S_ISREG(info.st_mode);
    }

    static std::string ExpandFilePath(const std::string& path, void*) { return path; }

    static bool ReadWholeFile(std::vector<unsigned char>* out, std::string* error, const std::string& path,
                              void* user)
    {
        auto* reader = static_cast<CGltfReader*>(user);
        if (!reader->Allowed(path))
            return false;
        std::unique_ptr<FILE, int (*)(FILE*)> fp(std::fopen(path.c_str(), "rb"), std::fclose);
        if (!fp || !ReadStream(fp.get(), *out)) {
            reader->m_unreadable = path;
            if (error)
                *error = "unreadable";
            return false;
        }
        return true;
    }

    static bool WriteWholeFile(std::string*, const std::string&, const std::vector<unsigned char>&, void*)
    {
        return false;
    }

    // The parser asks for the buffer's name joined to the folder, and then
    // to the working folder, which is never where the model's files are.
    bool Allowed(const std::string& path)
    {
        if (m_folder.empty()) {
            m_refused = path;
            return false;
        }
        const std::string prefix = m_folder.back() == '/' ? m_folder : m_folder + "/";
        if (path.compare(0, prefix.size(), prefix) != 0)
            return false;
        const std::string name = path.substr(prefix.size());
        bool parent = false;
        size_t start = 0;
        while (start <= name.size()) {
            size_t end = name.find_first_of("/\\", start);
            if (end == std::string::npos)
                end = name.size();
            if (name.compare(start, end - start, "..") == 0)
                parent = true;
            start = end + 1;
        }
        if (name.empty() || name[0] == '/' || name[0] == '\\' || parent) {
            m_refused = name;
            return false;
        }
        return true;
    }

public:
    // Reads a whole stream; false on a read error or when it holds 4 GiB or more.
    static bool ReadStream(FILE* fp, std::vector<unsigned char>& out)
    {
        out.clear();
        // Sized once where the stream tells its length, instead of grown by doubling.
        struct stat info;
        if (fstat(fileno(fp), &info) == 0 && S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) <= kMaxFileBytes)
            out.reserve(static_cast<size_t>(info.st_size));
        unsigned char piece[1 << 16];
        size_t got;
        while ((got = std::fread(piece, 1, sizeof piece, fp)) > 0) {
            if (out.size() + got > kMaxFileBytes)
                return false;
            out.insert(out.end(), piece, piece + got);
        }
        return !std::ferror(fp);
    }

private:
    bool Build()
    {
        // Each node's parent (its first, where a damaged file gives it more).
        m_parent.assign(m_gltf.nodes.size(), -1);
        for (size_t n = 0; n < m_gltf.nodes.size(); ++n)
            for (int c : m_gltf.nodes[n].children)
                if (c >= 0 && static_cast<size_t>(c) < m_parent.size() && m_parent[static_cast<size_t>(c)] < 0)
                    m_parent[static_cast<size_t>(c)] = static_cast<int>(n);
        std::vector<int> roots;
        if (m_gltf.defaultScene >= 0) {
            if (static_cast<size_t>(m_gltf.defaultScene) >= m_gltf.scenes.size())
                return Damaged("Damaged glTF file: the default scene %d does not exist", m_gltf.defaultScene);
            roots = m_gltf.scenes[static_cast<size_t>(m_gltf.defaultScene)].nodes;
        } else {
            for (size_t n = 0; n < m_parent.size(); ++n)
                if (m_parent[n] < 0)
                    roots.push_back(static_cast<int>(n));
        }
        // The merge index sized once for the points of every mesh, as far as
        // the buffers could hold them, instead of grown as they come.
        uint64_t points = 0;
        for (const tg::Mesh& mesh : m_gltf.meshes)
            for (const tg::Primitive& primitive : mesh.primitives)
                if (const auto position = primitive.attributes.find("POSITION");
                    position != primitive.attributes.end() && position->second >= 0 &&
                    static_cast<size_t>(position->second) < m_gltf.accessors.size())
                    points += std::min<uint64_t>(m_gltf.accessors[static_cast<size_t>(position->second)].count,
                                                 uint64_t{1} << 32);
        m_model.ReserveVertices(static_cast<int>(std::min<uint64_t>({points, m_bufferBytes / 3, 1u << 28})));
        // Each node is placed once: a node listed under two parents, or under
        // itself, would otherwise multiply the model or never end.
        std::vector<char>& visited = m_walked;
        visited.assign(m_gltf.nodes.size(), 0);
        m_world.assign(m_gltf.nodes.size(), CMatrix());
        struct CPending
        {
            int node;
            CMatrix parent;
            bool instance = false;  // a further instance of the node before
        };
        std::vector<CPending> pending, placed;
        for (auto root = roots.rbegin(); root != roots.rend(); ++root)
            pending.push_back({*root, CMatrix()});
        while (!pending.empty()) {
            const CPending next = pending.back();
            pending.pop_back();
            if (next.node < 0 || static_cast<size_t>(next.node) >= m_gltf.nodes.size())
                return Damaged("Damaged glTF file: node %d does not exist", next.node);
            if (visited[static_cast<size_t>(next.node)])
                continue;
            visited[static_cast<size_t>(next.node)] = 1;
            const tg::Node& node = m_gltf.nodes[static_cast<size_t>(next.node)];
            CMatrix local;
            if (!LocalMatrix(node, next.node, local))
                return false;
            const CMatrix world = next.parent * local;
            m_world[static_cast<size_t>(next.node)] = world;
            // A skinned mesh is placed by its joints alone, never by its node.
            if (node.mesh >= 0 && !PlaceMesh(node, next.node, node.skin >= 0 ? CMatrix() : world, placed))
                return false;
            for (auto c = node.children.rbegin(); c != node.children.rend(); ++c)
                pending.push_back({*c, world});
        }
        // The joints' placements while every buffer is still at hand.
        m_jointMatrices.assign(m_gltf.skins.size(), {});
        m_skinRead.assign(m_gltf.skins.size(), 0);
        for (const CPending& mesh : placed)
            if (const int skin = m_gltf.nodes[static_cast<size_t>(mesh.node)].skin; skin >= 0 && !JointMatrices(skin))
                return false;
        // A buffer's bytes go as soon as the last primitive that reads them
        // has been read: a large mesh's triangles are then added without its
        // file beside them.
        m_bufferUses.assign(m_gltf.buffers.size(), 0);
        for (const CPending& mesh : placed) {
            const tg::Node& node = m_gltf.nodes[static_cast<size_t>(mesh.node)];
            ForEachBufferRead(node, [&](size_t b) { ++m_bufferUses[b]; });
            if (node.mesh >= 0 && static_cast<size_t>(node.mesh) < m_gltf.meshes.size())
                for (const tg::Primitive& primitive : m_gltf.meshes[static_cast<size_t>(node.mesh)].primitives)
                    m_primitivesLeft += IsRead(primitive);
        }
        for (const CPending& mesh : placed)
            if (!AddMesh(m_gltf.nodes[static_cast<size_t>(mesh.node)], mesh.parent, mesh.instance))
                return false;
        return true;
    }

    // Whether AddMesh reads the primitive's numbers: it passes over points,
    // lines and primitives without positions.
    static bool IsRead(const tg::Primitive& primitive)
    {
        return !(primitive.mode >= TINYGLTF_MODE_POINTS && primitive.mode <= TINYGLTF_MODE_LINE_STRIP) &&
               primitive.attributes.count("POSITION");
    }

    // The weight a node gives its mesh's morph target k: the node's own
    // weights, else the mesh's; 0 for none.
    double MorphWeight(const tg::Node& node, size_t k) const
    {
        const std::vector<double>& weights =
            !node.weights.empty() ? node.weights : m_gltf.meshes[static_cast<size_t>(node.mesh)].weights;
        return k < weights.size() && std::isfinite(weights[k]) ? weights[k] : 0;
    }

    // Calls use(accessor) for each accessor AddMesh reads for a primitive of
    // the node: positions, indices, the morph targets the node weighs and,
    // for a skinned node, the joints and weights of each corner.
    template <typename Use>
    void ForEachAccessorRead(const tg::Node& node, const tg::Primitive& primitive, Use&& use)
    {
        if (!IsRead(primitive))
            return;
        use(primitive.attributes.find("POSITION")->second);
        use(primitive.indices);
        if (const auto colors = primitive.attributes.find("COLOR_0"); colors != primitive.attributes.end())
            use(colors->second);
        ForEachMorph(node, primitive, [&](int offsets, double) { use(offsets); });
        if (node.skin >= 0)
            ForEachJointSet(primitive, [&](int joints, int weights) {
                use(joints);
                use(weights);
                return true;
            });
    }

    // Calls use(offsets accessor, weight) for each morph target of the
    // primitive that moves its points under the node's weights.
    template <typename Use>
    void ForEachMorph(const tg::Node& node, const tg::Primitive& primitive, Use&& use)
    {
        for (size_t k = 0; k < primitive.targets.size(); ++k)
            if (const auto moved = primitive.targets[k].find("POSITION"); moved != primitive.targets[k].end())
                if (const double weight = MorphWeight(node, k); weight != 0)
                    use(moved->second, weight);
    }

    // Calls use(joints accessor, weights accessor) for JOINTS_n and
    // WEIGHTS_n from n = 0 while both are there and use says go on.
    template <typename Use>
    static bool ForEachJointSet(const tg::Primitive& primitive, Use&& use)
    {
        for (int set = 0;; ++set) {
            const auto joints = primitive.attributes.find("JOINTS_" + std::to_string(set));
            const auto weights = primitive.attributes.find("WEIGHTS_" + std::to_string(set));
            if (joints == primitive.attributes.end() || weights == primitive.attributes.end())
                return true;
            if (!use(joints->second, weights->second))
                return false;
        }
    }

    // Calls use(buffer) for each buffer the node's primitives are read from,
    // once per view that names it; none for the primitives AddMesh passes
    // over.
    template <typename Use>
    void ForEachBufferRead(const tg::Node& node, const tg::Primitive& primitive, Use&& use)
    {
        const auto view = [&](int index) {
            if (index >= 0 && static_cast<size_t>(index) < m_gltf.bufferViews.size())
                if (const int b = m_gltf.bufferViews[static_cast<size_t>(index)].buffer;
                    b >= 0 && static_cast<size_t>(b) < m_gltf.buffers.size())
                    use(static_cast<size_t>(b));
        };
        ForEachAccessorRead(node, primitive, [&](int index) {
            if (index < 0 || static_cast<size_t>(index) >= m_gltf.accessors.size())
                return;
            const tg::Accessor& a = m_gltf.accessors[static_cast<size_t>(index)];
            view(a.bufferView);
            if (a.sparse.isSparse) {
                view(a.sparse.indices.bufferView);
                view(a.sparse.values.bufferView);
            }
        });
    }

    template <typename Use>
    void ForEachBufferRead(const tg::Node& node, Use&& use)
    {
        if (node.mesh >= 0 && static_cast<size_t>(node.mesh) < m_gltf.meshes.size())
            for (const tg::Primitive& primitive : m_gltf.meshes[static_cast<size_t>(node.mesh)].primitives)
                ForEachBufferRead(node, primitive, use);
    }

    // After a primitive's numbers are read: the buffers no primitive still
    // to come reads from are let go.
    void DoneReading(const tg::Node& node, const tg::Primitive& primitive)
    {
        ForEachBufferRead(node, primitive, [&](size_t b) {
            if (--m_bufferUses[b] == 0)
                std::vector<unsigned char>().swap(m_gltf.buffers[b].data);
        });
    }

    bool LocalMatrix(const tg::Node& node, int index, CMatrix& local)
    {
        auto finite = [](const std::vector<double>& values) {
            return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
        };
        if (!finite(node.matrix) || !finite(node.translation) || !finite(node.rotation) || !finite(node.scale))
            return Damaged("Damaged glTF file: node %d is placed by numbers that are not finite", index);
        if (!node.matrix.empty()) {
            if (node.matrix.size() != 16)
                return Damaged("Damaged glTF file: the matrix of node %d does not have 16 numbers", index);
            std::copy(node.matrix.begin(), node.matrix.end(), local.m);
            return true;
        }
        if ((!node.translation.empty() && node.translation.size() != 3) ||
            (!node.rotation.empty() && node.rotation.size() != 4) || (!node.scale.empty() && node.scale.size() != 3))
            return Damaged("Damaged glTF file: the translation, rotation or scale of node %d is incomplete", index);
        const double s[3] = {node.scale.empty() ? 1 : node.scale[0], node.scale.empty() ? 1 : node.scale[1],
                             node.scale.empty() ? 1 : node.scale[2]};
        const double t[3] = {node.translation.empty() ? 0 : node.translation[0],
                             node.translation.empty() ? 0 : node.translation[1],
                             node.translation.empty() ? 0 : node.translation[2]};
        const double q[4] = {node.rotation.empty() ? 0 : node.rotation[0], node.rotation.empty() ? 0 : node.rotation[1],
                             node.rotation.empty() ? 0 : node.rotation[2], node.rotation.empty() ? 1 : node.rotation[3]};
        local = Placement(t, q, s);
        return true;
    }

    // Translation, then rotation by the quaternion q (x, y, z, w), then scale.
    static CMatrix Placement(const double* t, const double* q, const double* s)
    {
        // Rotations should be unit quaternions; small drift is common, and
        // one of no length turns nothing.
        const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        const bool unit = length > 0 && std::isfinite(length);
        const double x = unit ? q[0] / length : 0, y = unit ? q[1] / length : 0, z = unit ? q[2] / length : 0,
                     w = unit ? q[3] / length : 1;
        const double r[9] = {1 - 2 * (y * y + z * z), 2 * (x * y + z * w),     2 * (x * z - y * w),
                             2 * (x * y - z * w),     1 - 2 * (x * x + z * z), 2 * (y * z + x * w),
                             2 * (x * z + y * w),     2 * (y * z - x * w),     1 - 2 * (x * x + y * y)};
        CMatrix local;
        for (int col = 0; col < 3; ++col)
            for (int row = 0; row < 3; ++row)
                local.m[col * 4 + row] = r[col * 3 + row] * s[col];
        for (int row = 0; row < 3; ++row)
            local.m[12 + row] = t[row];
        return local;
    }

    // The placement of each joint of a skin: the joint's world placement
    // after its inverse bind matrix, which takes the mesh's points from
    // where they were bound to where the joint holds them.
    bool JointMatrices(int skin)
    {
        if (static_cast<size_t>(skin) >= m_gltf.skins.size())
            return Damaged("Damaged glTF file: skin %d does not exist", skin);
        const tg::Skin& s = m_gltf.skins[static_cast<size_t>(skin)];
        std::vector<CMatrix>& joints = m_jointMatrices[static_cast<size_t>(skin)];
        if (m_skinRead[static_cast<size_t>(skin)])
            return true;
        m_skinRead[static_cast<size_t>(skin)] = 1;
        std::vector<CMatrix> inverse;
        const auto isFloat = [](int type) { return type == TINYGLTF_COMPONENT_TYPE_FLOAT; };
        if (s.inverseBindMatrices >= 0) {
            if (!ReadAccessor(s.inverseBindMatrices, TINYGLTF_TYPE_MAT4, 16, +isFloat, "inverse bind matrices",
                              inverse, Component))
                return false;
            if (inverse.size() < s.joints.size())
                return Damaged("Damaged glTF file: skin %d has %zu joints but %zu inverse bind matrices", skin,
                               s.joints.size(), inverse.size());
        }
        joints.reserve(s.joints.size());
        for (size_t j = 0; j < s.joints.size(); ++j) {
            CMatrix world;
            if (!JointWorld(s.joints[j], world))
                return false;
            joints.push_back(inverse.empty() ? world : world * inverse[j]);
        }
        return true;
    }

    // Where a joint is: as the walk of the scene placed it, or for a joint
    // the walk did not reach, by the chain of its parents. Each node's
    // placement is worked out once, so that many joints along one long
    // chain cost no more than the chain.
    bool JointWorld(int joint, CMatrix& world)
    {
        if (joint < 0 || static_cast<size_t>(joint) >= m_gltf.nodes.size())
            return Damaged("Damaged glTF file: node %d does not exist", joint);
        if (!m_walked[static_cast<size_t>(joint)]) {
            const std::vector<int>& parent = m_parent;
            // Up to the first placed node; a node among its own parents ends
            // the chain once every node is in it.
            std::vector<int> chain;
            for (int n = joint; n >= 0 && !m_walked[static_cast<size_t>(n)] && chain.size() < parent.size();
                 n = parent[static_cast<size_t>(n)])
                chain.push_back(n);
            const int top = parent[static_cast<size_t>(chain.back())];
            CMatrix placed = top >= 0 && m_walked[static_cast<size_t>(top)] ? m_world[static_cast<size_t>(top)]
                                                                           : CMatrix();
            for (auto n = chain.rbegin(); n != chain.rend(); ++n) {
                CMatrix local;
                if (!LocalMatrix(m_gltf.nodes[static_cast<size_t>(*n)], *n, local))
                    return false;
                placed = placed * local;
                m_world[static_cast<size_t>(*n)] = placed;
                m_walked[static_cast<size_t>(*n)] = 1;
            }
        }
        world = m_world[static_cast<size_t>(joint)];
        return true;
    }

    // The node's mesh where the node places it: once, or with
    // EXT_mesh_gpu_instancing once per instance, each instance's own
    // translation, rotation and scale applied before the node's.
    template <typename Pending>
    bool PlaceMesh(const tg::Node& node, int index, const CMatrix& world, std::vector<Pending>& placed)
    {
        const auto extension = node.extensions.find("EXT_mesh_gpu_instancing");
        const tg::Value none;
        const tg::Value& attributes = extension != node.extensions.end() && extension->second.Has("attributes")
                                          ? extension->second.Get("attributes")
                                          : none;
        std::vector<CVector> translations, scales;
        std::vector<CQuaternion> rotations;
        uint64_t count = 0;
        bool any = false;
        auto read = [&](const char* name, int type, int components, auto& out) {
            if (!attributes.Has(name))
                return true;
            const tg::Value& accessor = attributes.Get(name);
            if (!accessor.IsNumber() ||
                !ReadAccessor(accessor.GetNumberAsInt(), type, components, AnyComponentType, "instance placements",
                              out, Component))
                return Damaged("Damaged glTF file: the instances of node %d are damaged", index);
            if (any && out.size() != count)
                return Damaged("Damaged glTF file: the instances of node %d have placements of different counts",
                               index);
            any = true;
            count = out.size();
            return true;
        };
        if (!read("TRANSLATION", TINYGLTF_TYPE_VEC3, 3, translations) ||
            !read("ROTATION", TINYGLTF_TYPE_VEC4, 4, rotations) || !read("SCALE", TINYGLTF_TYPE_VEC3, 3, scales))
            return false;
        if (!any) {
            placed.push_back({index, world});
            return true;
        }
        // Each instance's numbers take at least four bytes of a buffer; an
        // accessor without a view could otherwise ask for more from none.
        if (count > m_bufferBytes / 4 || placed.size() + count > m_triangleBudget)
            return Damaged("Damaged glTF file: node %d has more instances than its file could hold", index);
        for (size_t i = 0; i < count; ++i) {
            const double t[3] = {translations.empty() ? 0 : translations[i].x,
                                 translations.empty() ? 0 : translations[i].y,
                                 translations.empty() ? 0 : translations[i].z};
            const double s[3] = {scales.empty() ? 1 : scales[i].x, scales.empty() ? 1 : scales[i].y,
                                 scales.empty() ? 1 : scales[i].z};
            const CQuaternion none{{0, 0, 0, 1}};
            const double* q = (rotations.empty() ? none : rotations[i]).v;
            placed.push_back({index, world * Placement(t, q, s), i > 0});
        }
        return true;
    }

    // Finds `count` elements of `elementBytes` each, `stride` apart from
    // `offset` on in buffer view `viewIndex`, all within the view and the
    // view within its buffer.
    bool Locate(int accessor, int viewIndex, uint64_t offset, uint64_t stride, uint64_t elementBytes, uint64_t count,
                const unsigned char*& at)
    {
        if (viewIndex < 0 || static_cast<size_t>(viewIndex) >= m_gltf.bufferViews.size())
            return Damaged("Damaged glTF file: accessor %d names the missing buffer view %d", accessor, viewIndex);
        const tg::BufferView& view = m_gltf.bufferViews[static_cast<size_t>(viewIndex)];
        if (view.buffer < 0 || static_cast<size_t>(view.buffer) >= m_gltf.buffers.size())
            return Damaged("Damaged glTF file: buffer view %d names the missing buffer %d", viewIndex, view.buffer);
        const std::vector<unsigned char>& bytes = m_gltf.buffers[static_cast<size_t>(view.buffer)].data;
        if (view.byteOffset > bytes.size() || view.byteLength > bytes.size() - view.byteOffset)
            return Damaged("Damaged glTF file: buffer view %d reaches past the end of its buffer", viewIndex);
        at = nullptr;
        if (count == 0)
            return true;
        uint64_t end;
        if (__builtin_mul_overflow(count - 1, stride, &end) || __builtin_add_overflow(end, elementBytes, &end) ||
            __builtin_add_overflow(end, offset, &end) || end > view.byteLength)
            return Damaged("Damaged glTF file: accessor %d reaches past the end of buffer view %d", accessor,
                           viewIndex);
        at = bytes.data() + view.byteOffset + offset;
        return true;
    }

    struct CQuaternion
    {
        double v[4];
    };
    // A corner's four joints, or their four weights.
    struct CFour
    {
        float v[4];
    };

    // Component c of an element as the accessors are read into.
    static void Put(uint32_t& element, int, uint32_t value) { element = value; }
    static void Put(CQuaternion& element, int c, double value) { element.v[c] = value; }
    static void Put(CFour& element, int c, float value) { element.v[c] = value; }
    static void Put(CMatrix& element, int c, double value) { element.m[c] = value; }
    static void Put(CVector& element, int c, float value)
    {
        (c == 0 ? element.x : c == 1 ? element.y : element.z) = value;
    }

    // The elements of an accessor, with its sparse substitutions, of
    // `components` numbers each (`Decode` turns one number into a component).
    template <typename T, typename Decode>
    bool ReadAccessor(int index, int type, int components, bool (*allowed)(int), const char* what,
                      std::vector<T>& out, Decode decode)
    {
        if (index < 0 || static_cast<size_t>(index) >= m_gltf.accessors.size())
            return Damaged("Damaged glTF file: accessor %d does not exist", index);
        const tg::Accessor& a = m_gltf.accessors[static_cast<size_t>(index)];
        if (a.type != type || !allowed(a.componentType))
            return Damaged("Damaged glTF file: accessor %d does not hold %s", index, what);
        const uint64_t componentBytes = static_cast<uint64_t>(ComponentBytes(a.componentType));
        const uint64_t elementBytes = componentBytes * static_cast<uint64_t>(components);
        const uint64_t count = a.count;
        out.clear();
        if (a.bufferView >= 0) {
            const tg::BufferView* view = static_cast<size_t>(a.bufferView) < m_gltf.bufferViews.size()
                                             ? &m_gltf.bufferViews[static_cast<size_t>(a.bufferView)]
                                             : nullptr;
            const uint64_t stride = view && view->byteStride ? view->byteStride : elementBytes;
            const unsigned char* at;
            if (!Locate(index, a.bufferView, a.byteOffset, stride, elementBytes, count, at))
                return false;
            out.resize(static_cast<size_t>(count));
            for (T& element : out) {
                for (int c = 0; c < components; ++c)
                    Put(element, c,
                        decode(at + static_cast<uint64_t>(c) * componentBytes, a.componentType, a.normalized));
                at += stride;
            }
        } else {
            // Without a view the elements are zeros, which sparse values may
            // replace; no real file has more of them than bytes.
            if (count > m_bufferBytes)
                return Damaged("Damaged glTF file: accessor %d has more elements than the file could hold", index);
            out.assign(static_cast<size_t>(count), T{});
        }
        if (!a.sparse.isSparse)
            return true;
        const auto& sparse = a.sparse;
        if (sparse.count < 0 || static_cast<uint64_t>(sparse.count) > count)
            return Damaged("Damaged glTF file: accessor %d replaces more elements than it has", index);
        if (!IsIndexType(sparse.indices.componentType) || sparse.indices.byteOffset < 0 ||
            sparse.values.byteOffset < 0)
            return Damaged("Damaged glTF file: the sparse elements of accessor %d are damaged", index);
        const uint64_t sparseCount = static_cast<uint64_t>(sparse.count);
        const uint64_t indexBytes = static_cast<uint64_t>(ComponentBytes(sparse.indices.componentType));
        const unsigned char *indices, *values;
        if (!Locate(index, sparse.indices.bufferView, static_cast<uint64_t>(sparse.indices.byteOffset), indexBytes,
                    indexBytes, sparseCount, indices) ||
            !Locate(index, sparse.values.bufferView, static_cast<uint64_t>(sparse.values.byteOffset), elementBytes,
                    elementBytes, sparseCount, values))
            return false;
        for (uint64_t i = 0; i < sparseCount; ++i, indices += indexBytes, values += elementBytes) {
            const uint64_t element = IndexComponent(indices, sparse.indices.componentType);
            if (element >= count)
                return Damaged("Damaged glTF file: accessor %d replaces its element %llu, which it does not have",
                               index, static_cast<unsigned long long>(element));
            for (int c = 0; c < components; ++c)
                Put(out[static_cast<size_t>(element)], c,
                    decode(values + static_cast<uint64_t>(c) * componentBytes, a.componentType, a.normalized));
        }
        return true;
    }

    // The colour and finish of a material, or of glTF's default material
    // (white, metal, rough) for a primitive without one.
    bool Look(int material, int& color, int& finish, double base[3])
    {
        if (material >= static_cast<int>(m_gltf.materials.size()))
            return Damaged("Damaged glTF file: material %d does not exist", material);
        tg::Material none;
        const tg::Material& m = material >= 0 ? m_gltf.materials[static_cast<size_t>(material)] : none;
        std::vector<double> factors = m.pbrMetallicRoughness.baseColorFactor;
        double metallic = m.pbrMetallicRoughness.metallicFactor, roughness = m.pbrMetallicRoughness.roughnessFactor;
        // Files of a few years ago give their colours as diffuse, specular
        // and glossiness; their diffuse colour is the base colour of a
        // surface that is not metal.
        if (const auto older = m.extensions.find("KHR_materials_pbrSpecularGlossiness");
            older != m.extensions.end() && older->second.IsObject()) {
            factors.assign(4, 1.0);
            if (const tg::Value& diffuse = older->second.Get("diffuseFactor"); diffuse.IsArray())
                for (int k = 0; k < 4 && static_cast<size_t>(k) < diffuse.ArrayLen(); ++k)
                    if (diffuse.Get(k).IsNumber())
                        factors[static_cast<size_t>(k)] = diffuse.Get(k).GetNumberAsDouble();
            metallic = 0;
            roughness = 1 - NumberIn(older->second, "glossinessFactor", 1.0);
        }
        const auto factor = [&factors](size_t i) { return i < factors.size() ? factors[i] : 1.0; };
        for (size_t k = 0; k < 3; ++k)
            base[k] = factor(k);
        color = NearestColor(ToSrgb(factor(0)), ToSrgb(factor(1)), ToSrgb(factor(2)));
        float alpha = m.alphaMode == "BLEND" ? Unit(factor(3), 1.0) : 1.0f;
        // Modellers write glass as light passing through an opaque surface
        // rather than as a see-through colour; both are glass here.
        if (const auto glass = m.extensions.find("KHR_materials_transmission"); glass != m.extensions.end())
            alpha = std::min(alpha, 1.0f - Unit(NumberIn(glass->second, "transmissionFactor", 0.0), 0.0));
        bool emissive = false;
        for (double e : m.emissiveFactor)
            emissive = emissive || (std::isfinite(e) && e > 0);
        finish = NearestFinish(Unit(metallic, 1.0), Unit(roughness, 1.0), alpha, emissive);
        return true;
    }

    std::string GroupName(const tg::Node& node, int meshIndex, const tg::Primitive& primitive,
                          const char* colorName = nullptr)
    {
        const tg::Mesh& mesh = m_gltf.meshes[static_cast<size_t>(meshIndex)];
        std::string name = !node.name.empty() ? node.name
                           : !mesh.name.empty() ? mesh.name
                                                : "Mesh" + std::to_string(meshIndex);
        // Modellers write an object of several materials as one mesh with a
        // primitive per material: its parts are told apart by the material's
        // name, as the OBJ reader names the parts of a group.
        if (mesh.primitives.size() > 1 && primitive.material >= 0 &&
            static_cast<size_t>(primitive.material) < m_gltf.materials.size() &&
            !m_gltf.materials[static_cast<size_t>(primitive.material)].name.empty())
            name += "_" + m_gltf.materials[static_cast<size_t>(primitive.material)].name;
        if (colorName)
            name.append("_").append(colorName);
        // Other formats take a group's name as one word.
        for (char& c : name)
            if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F)
                c = '_';
        name.resize(CharacterBoundary(name, kMaxName));
        std::string unique = name;
        for (int k = 2; !m_names.insert(unique).second; ++k) {
            const std::string suffix = std::string("_").append(std::to_string(k));
            unique = name.substr(0, CharacterBoundary(name, kMaxName - suffix.size())) + suffix;
        }
        return unique;
    }

    // A further instance of a node adds its triangles to the groups of the
    // node's first: the node's groups are its primitives, wherever placed.
    bool AddMesh(const tg::Node& node, const CMatrix& world, bool instance)
    {
        if (static_cast<size_t>(node.mesh) >= m_gltf.meshes.size())
            return Damaged("Damaged glTF file: mesh %d does not exist", node.mesh);
        const tg::Mesh& mesh = m_gltf.meshes[static_cast<size_t>(node.mesh)];
        if (!instance)
            m_primitiveGroups.assign(mesh.primitives.size(), {});
        for (size_t p = 0; p < mesh.primitives.size(); ++p) {
            const tg::Primitive& primitive = mesh.primitives[p];
            const int mode = primitive.mode;
            if (mode >= TINYGLTF_MODE_POINTS && mode <= TINYGLTF_MODE_LINE_STRIP) {
                ++m_skipped;
                continue;
            }
            if (mode != TINYGLTF_MODE_TRIANGLES && mode != TINYGLTF_MODE_TRIANGLE_STRIP &&
                mode != TINYGLTF_MODE_TRIANGLE_FAN)
                return Damaged("Damaged glTF file: a primitive of mesh %d has the unknown mode %d", node.mesh, mode);
            const auto position = primitive.attributes.find("POSITION");
            if (position == primitive.attributes.end())
                continue;  // nothing to draw
            if (position->second >= 0 && static_cast<size_t>(position->second) < m_gltf.accessors.size() &&
                m_gltf.accessors[static_cast<size_t>(position->second)].bufferView < 0 &&
                !m_gltf.accessors[static_cast<size_t>(position->second)].sparse.isSparse)
                for (const char* compression : kCompressions)
                    if (primitive.extensions.count(compression))
                        return Damaged("The glTF file needs the extension %s, which cannot be read", compression);
            bool mirrored;
            if (!ReadPoints(node, primitive, world, mirrored))
                return false;
            const size_t points = m_points.size();
            if (primitive.indices >= 0) {
                if (!ReadAccessor(primitive.indices, TINYGLTF_TYPE_SCALAR, 1, IsIndexType, "vertex indices",
                                  m_indices, [](const unsigned char* at, int type, bool) {
                                      return IndexComponent(at, type);
                                  }))
                    return false;
                for (uint32_t i : m_indices)
                    if (i >= points)
                        return Damaged("Damaged glTF file: mesh %d uses vertex %u of %zu", node.mesh, i, points);
            } else {
                m_indices.resize(points);
                for (size_t i = 0; i < points; ++i)
                    m_indices[i] = static_cast<uint32_t>(i);
            }
            const size_t n = m_indices.size();
            const size_t triangles = mode == TINYGLTF_MODE_TRIANGLES ? n / 3 : n >= 3 ? n - 2 : 0;
            m_triangles += triangles;
            if (m_triangles > m_triangleBudget)
                return Damaged("The glTF file places its meshes too often: more than %llu triangles",
                               static_cast<unsigned long long>(m_triangleBudget));
            int color, finish;
            double base[3];
            if (!Look(primitive.material, color, finish, base) ||
                !TriangleColors(node, primitive, mode, triangles, base))
                return false;
            DoneReading(node, primitive);
            const bool last = --m_primitivesLeft == 0;
            if (m_colors.empty())
                m_colors.push_back(static_cast<int16_t>(color));
            std::vector<std::string>& names = m_primitiveGroups[p];
            if (!instance) {
                names.clear();
                for (int16_t c : m_colors)
                    names.push_back(GroupName(node, node.mesh, primitive,
                                              m_colors.size() > 1 ? ColorTable[c].name : nullptr));
            }
            const auto group = [&](size_t k) {
                m_model.StatusMessage("Processing Group '%s'", names[k].c_str());
                m_model.SetGroup(names[k].c_str(), m_colors[k], finish);
            };
            // An indexed primitive lists each point once; one without indices
            // repeats every corner its triangles share.
            m_model.WantExactRepeats(primitive.indices < 0);
            if (mode == TINYGLTF_MODE_TRIANGLES)
                AddTriangles(triangles, mirrored, last, group);
            else
                AddStripOrFan(mode, triangles, mirrored, group);
            if (m_model.OutOfMemory())
                return Damaged("Out of Memory");
        }
        return true;
    }

    // The triangles of m_indices, each corner listed once: its vertex number
    // takes the place of its point, and the faces are added once every
    // corner has one. After the last primitive the points and the merge
    // index are let go first: the faces are most of the model.
    template <typename Group>
    void AddTriangles(size_t triangles, bool mirrored, bool last, Group&& group)
    {
        std::vector<uint32_t>& v = m_indices;
        {
            CMeshPoints numbers(m_model, m_points);
            for (size_t t = 0; t < triangles; ++t) {
                uint32_t* corner = &v[3 * t];
                int32_t index[3];
                const bool kept = mirrored ? numbers.Numbers(corner[0], corner[2], corner[1], index)
                                           : numbers.Numbers(corner[0], corner[1], corner[2], index);
                for (int k = 0; k < 3; ++k)
                    corner[k] = kept ? static_cast<uint32_t>(index[k]) : 0;  // no vertex has the number 0
            }
        }
        if (last) {
            std::vector<CVector>().swap(m_points);
            m_model.ClearVertexHash();
        }
        ForEachColor(triangles, group, [&](size_t t) {
            if (v[3 * t] != 0) {
                const int32_t face[3] = {static_cast<int32_t>(v[3 * t]), static_cast<int32_t>(v[3 * t + 1]),
                                         static_cast<int32_t>(v[3 * t + 2])};
                m_model.AddFace(3, face);
            }
        });
    }

    // Starts each colour's group in turn and calls add(t) for its
    // triangles, in their order.
    template <typename Group, typename Add>
    void ForEachColor(size_t triangles, Group&& group, Add&& add)
    {
        if (m_colors.size() == 1) {
            group(0);
            for (size_t t = 0; t < triangles; ++t)
                add(t);
            return;
        }
        std::vector<size_t> start(m_colors.size() + 1, 0), order(triangles);
        for (size_t t = 0; t < triangles; ++t)
            ++start[m_triangleColor[t] + 1u];
        for (size_t k = 1; k < start.size(); ++k)
            start[k] += start[k - 1];
        std::vector<size_t> next(start.begin(), start.end() - 1);
        for (size_t t = 0; t < triangles; ++t)
            order[next[m_triangleColor[t]]++] = t;
        for (size_t k = 0; k < m_colors.size(); ++k) {
            group(k);
            for (size_t i = start[k]; i < start[k + 1]; ++i)
                add(order[i]);
        }
    }

    // The corners of triangle t of a strip, a fan or a list.
    void Corners(int mode, size_t t, uint32_t corner[3]) const
    {
        const std::vector<uint32_t>& v = m_indices;
        if (mode == TINYGLTF_MODE_TRIANGLES) {
            corner[0] = v[3 * t], corner[1] = v[3 * t + 1], corner[2] = v[3 * t + 2];
        } else if (mode == TINYGLTF_MODE_TRIANGLE_FAN) {
            corner[0] = v[t + 1], corner[1] = v[t + 2], corner[2] = v[0];
        } else if (t % 2 == 0) {
            corner[0] = v[t], corner[1] = v[t + 1], corner[2] = v[t + 2];
        } else {
            corner[0] = v[t], corner[1] = v[t + 2], corner[2] = v[t + 1];
        }
    }

    // Corner colours (COLOR_0) tint the base colour, each triangle by the
    // mean of its corners'. A primitive of one tint stays one group of that
    // colour; one of several is split into a group per named colour, so
    // that a model painted by its corners keeps its colours.
    bool TriangleColors(const tg::Node& node, const tg::Primitive& primitive, int mode, size_t triangles,
                        const double base[3])
    {
        m_colors.clear();
        m_triangleColor.clear();
        const auto attribute = primitive.attributes.find("COLOR_0");
        if (attribute == primitive.attributes.end())
            return true;
        const int index = attribute->second;
        const bool rgba = index >= 0 && static_cast<size_t>(index) < m_gltf.accessors.size() &&
                          m_gltf.accessors[static_cast<size_t>(index)].type == TINYGLTF_TYPE_VEC4;
        std::vector<CFour> corners;
        if (!ReadAccessor(index, rgba ? TINYGLTF_TYPE_VEC4 : TINYGLTF_TYPE_VEC3, rgba ? 4 : 3, AnyComponentType,
                          "corner colours", corners, FloatComponent))
            return false;
        if (corners.size() != m_points.size())
            return Damaged("Damaged glTF file: mesh %d colours %zu of its %zu points", node.mesh, corners.size(),
                           m_points.size());
        std::unordered_map<uint32_t, uint8_t> classes;  // by 8-bit sRGB colour
        m_triangleColor.resize(triangles);
        for (size_t t = 0; t < triangles; ++t) {
            uint32_t corner[3];
            Corners(mode, t, corner);
            uint32_t key = 0;
            float srgb[3];
            for (int c = 0; c < 3; ++c) {
                const double mean =
                    (corners[corner[0]].v[c] + corners[corner[1]].v[c] + corners[corner[2]].v[c]) / 3.0;
                srgb[c] = ToSrgb(base[c] * mean);
                key = key << 8 | static_cast<uint32_t>(std::lround(srgb[c] * 255));
            }
            auto [at, added] = classes.emplace(key, 0);
            if (added) {
                const int16_t named = NearestColor(srgb[0], srgb[1], srgb[2]);
                const auto known = std::find(m_colors.begin(), m_colors.end(), named);
                at->second = static_cast<uint8_t>(known - m_colors.begin());
                if (known == m_colors.end())
                    m_colors.push_back(named);
            }
            m_triangleColor[t] = at->second;
        }
        return true;
    }

    template <typename Group>
    void AddStripOrFan(int mode, size_t triangles, bool mirrored, Group&& group)
    {
        CMeshPoints numbers(m_model, m_points);
        ForEachColor(triangles, group, [&](size_t t) {
            uint32_t c[3];
            Corners(mode, t, c);
            if (mirrored)
                numbers.AddTriangle(c[0], c[2], c[1]);
            else
                numbers.AddTriangle(c[0], c[1], c[2]);
        });
    }

    // The positions of a primitive into m_points, as the node shows them:
    // moved by the morph targets it weighs, bound to the joints of its skin,
    // then placed by `world`. `mirrored` says whether that turns the faces.
    bool ReadPoints(const tg::Node& node, const tg::Primitive& primitive, const CMatrix& world, bool& mirrored)
    {
        const int accessor = primitive.attributes.find("POSITION")->second;
        if (!ReadAccessor(accessor, TINYGLTF_TYPE_VEC3, 3, AnyComponentType, "3D positions", m_points,
                          FloatComponent))
            return false;
        bool ok = true;
        ForEachMorph(node, primitive, [&](int moved, double weight) {
            std::vector<CVector> offsets;
            if (!ok || !ReadAccessor(moved, TINYGLTF_TYPE_VEC3, 3, AnyComponentType, "3D offsets", offsets,
                                     FloatComponent))
                ok = false;
            else if (offsets.size() != m_points.size())
                ok = Damaged("Damaged glTF file: a morph target of mesh %d moves %zu points of %zu", node.mesh,
                             offsets.size(), m_points.size());
            else
                for (size_t i = 0; i < m_points.size(); ++i)
                    m_points[i] += offsets[i] * static_cast<float>(weight);
        });
        if (!ok)
            return false;
        size_t turned = 0;
        if (node.skin >= 0 && !Skin(node, primitive, turned))
            return false;
        mirrored = world.Mirrors() != (2 * turned > m_points.size());
        for (size_t i = 0; i < m_points.size(); ++i) {
            const CVector p = world.Place(m_points[i]);
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                return Damaged("Damaged glTF file: accessor %d gives coordinates that are not finite numbers",
                               accessor);
            m_points[i] = p;
        }
        return true;
    }

    // Each point where its joints hold it, in the pose the file's nodes
    // give: the blend of its joints' placements by its weights. `turned`
    // counts the points whose blend mirrors them.
    bool Skin(const tg::Node& node, const tg::Primitive& primitive, size_t& turned)
    {
        const std::vector<CMatrix>& joints = m_jointMatrices[static_cast<size_t>(node.skin)];
        std::vector<std::pair<std::vector<CFour>, std::vector<CFour>>> sets;
        if (!ForEachJointSet(primitive, [&](int j, int w) {
                auto& [indices, weights] = sets.emplace_back();
                if (!ReadAccessor(j, TINYGLTF_TYPE_VEC4, 4, AnyComponentType, "joints", indices, FloatComponent) ||
                    !ReadAccessor(w, TINYGLTF_TYPE_VEC4, 4, AnyComponentType, "joint weights", weights,
                                  FloatComponent))
                    return false;
                if (indices.size() != m_points.size() || weights.size() != m_points.size())
                    return Damaged("Damaged glTF file: mesh %d binds %zu of its %zu points to joints", node.mesh,
                                   std::min(indices.size(), weights.size()), m_points.size());
                return true;
            }))
            return false;
        if (sets.empty())
            return true;
        for (size_t i = 0; i < m_points.size(); ++i) {
            double blend[12] = {}, total = 0;
            for (const auto& [indices, weights] : sets)
                for (int k = 0; k < 4; ++k) {
                    const double weight = weights[i].v[k];
                    if (weight == 0 || !std::isfinite(weight))
                        continue;
                    const float joint = indices[i].v[k];
                    if (!(joint >= 0 && joint < static_cast<float>(joints.size())))
                        return Damaged("Damaged glTF file: mesh %d is bound to joint %g of %zu", node.mesh,
                                       static_cast<double>(joint), joints.size());
                    const double* m = joints[static_cast<size_t>(joint)].m;
                    for (int e = 0; e < 12; ++e)
                        blend[e] += weight * m[e + e / 3];
                    total += weight;
                }
            // Weights should add up to one; a point bound to nothing stays
            // where the mesh has it.
            if (total == 0)
                continue;
            CMatrix placed;
            for (int e = 0; e < 12; ++e)
                placed.m[e + e / 3] = blend[e] / total;
            turned += placed.Mirrors();
            m_points[i] = placed.Place(m_points[i]);
        }
        return true;
    }

    CModel& m_model;
    std::string m_folder;
    tg::Model m_gltf;
    std::string m_error;
    std::string m_refused;     // a buffer file name that points out of the folder
    std::string m_unreadable;  // a buffer file that exists but could not be read
    uint64_t m_bufferBytes = 0;
    uint64_t m_triangleBudget = 0;
    uint64_t m_triangles = 0;
    long m_skipped = 0;
    std::set<std::string> m_names;
    std::vector<std::vector<std::string>> m_primitiveGroups;  // by primitive: the groups of the node being placed
    std::vector<char> m_walked;                  // by node: placed, by the walk of the scene or as a joint
    std::vector<CMatrix> m_world;                // by node placed: its placement in the scene
    std::vector<std::vector<CMatrix>> m_jointMatrices;  // by skin: each joint's placement of the points
    std::vector<char> m_skinRead;                // by skin: its joints' placements worked out
    std::vector<int> m_parent;                   // by node: its parent, -1 for a root
    std::vector<size_t> m_bufferUses;  // by buffer: primitives still to read from it
    size_t m_primitivesLeft = 0;       // placed primitives still to read
    // Reused from primitive to primitive.
    std::vector<int16_t> m_colors;        // the primitive's named colours, in the order met
    std::vector<uint8_t> m_triangleColor;  // by triangle: its place in m_colors; empty without COLOR_0
    std::vector<uint32_t> m_indices;
    std::vector<CVector> m_points;
};

}  // namespace

int ReadGltfBytes(CModel& model, const unsigned char* data, size_t size, const std::string& folder)
{
    auto reader = std::make_unique<CGltfReader>(model, folder);
    return reader->Read(data, size, nullptr);
}

int ReadGltf(CModel& model, const char* path)
{
    std::vector<unsigned char> bytes;
    std::unique_ptr<FILE, int (*)(FILE*)> fp(std::fopen(path, "rb"), std::fclose);
    bool read = false;
    try {
        read = fp && CGltfReader::ReadStream(fp.get(), bytes);
    } catch (const std::bad_alloc&) {
        read = false;
    }
    if (!read) {
        model.BeginWait();
        model.Clear(true);
        model.ErrorMessage(fp ? "Read error in the glTF file %s" : "Couldn't open file %s", path);
        model.EndWait();
        return 0;
    }
    fp.reset();
    // Buffer files are looked for beside the model.
    const std::string name(path);
    const size_t slash = name.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
    auto reader = std::make_unique<CGltfReader>(model, folder);
    return reader->Read(bytes.data(), bytes.size(), &bytes);
}
