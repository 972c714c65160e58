#pragma once

// Taking our glTF files apart again, independently of the writer.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace gltfoutput {

using nlohmann::json;

struct CGltf
{
    json doc;
    std::string bin;      // the binary chunk
    std::string problem;  // empty when the file could be taken apart
};

inline uint32_t U32(const std::string& bytes, size_t at)
{
    uint32_t v;
    std::memcpy(&v, bytes.data() + at, 4);  // little-endian, as the machines we test on
    return v;
}

// Header, JSON chunk and optional BIN chunk, each where the lengths say.
inline CGltf ParseGlb(const std::string& bytes)
{
    CGltf out;
    const uint32_t jsonLength = bytes.size() >= 20 ? U32(bytes, 12) : 0;
    if (bytes.size() < 20 || bytes.compare(0, 4, "glTF") != 0 || U32(bytes, 4) != 2 || U32(bytes, 8) != bytes.size() ||
        bytes.compare(16, 4, "JSON") != 0 || jsonLength % 4 || 20 + uint64_t(jsonLength) > bytes.size())
        return out.problem = "bad header or JSON chunk", out;
    out.doc = json::parse(bytes.substr(20, jsonLength), nullptr, false);
    const size_t at = 20 + jsonLength;
    if (at < bytes.size()) {
        if (at + 8 > bytes.size() || at + 8 + uint64_t(U32(bytes, at)) != bytes.size() ||
            std::memcmp(bytes.data() + at + 4, "BIN\0", 4) != 0)
            return out.problem = "bad BIN chunk", out;
        out.bin = bytes.substr(at + 8);
    }
    if (out.doc.is_discarded())
        out.problem = "JSON does not parse";
    return out;
}

// The values of accessor `a` of a .glb, as doubles.
inline std::vector<double> AccessorValues(const CGltf& file, size_t a)
{
    const json& accessor = file.doc["accessors"][a];
    const json& view = file.doc["bufferViews"][accessor["bufferView"].get<size_t>()];
    const int type = accessor["componentType"].get<int>();
    const size_t count = accessor["count"].get<size_t>() * (accessor["type"] == "VEC3" ? 3 : 1);
    const size_t size = type == 5123 ? 2 : 4;
    const size_t start = view.value("byteOffset", size_t(0));
    std::vector<double> values;
    if (start + count * size > file.bin.size() || count * size > view["byteLength"].get<size_t>())
        return values;
    for (const char* p = file.bin.data() + start; values.size() < count; p += size) {
        float f;
        uint16_t u16;
        uint32_t u32;
        std::memcpy(type == 5126 ? static_cast<void*>(&f) : size == 2 ? static_cast<void*>(&u16) : &u32, p, size);
        values.push_back(type == 5126 ? f : size == 2 ? u16 : u32);
    }
    return values;
}

inline long TriangleCount(const json& doc)
{
    long triangles = 0;
    for (const json& mesh : doc.value("meshes", json::array()))
        for (const json& primitive : mesh["primitives"])
            triangles += doc["accessors"][primitive["indices"].get<size_t>()]["count"].get<long>() / 3;
    return triangles;
}

}  // namespace gltfoutput
