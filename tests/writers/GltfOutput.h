#pragma once

// Our .glb files taken apart again, independently of the writer. The
// container's finer points are the validator's to check (tests/formats).

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
    std::string bin;  // the binary chunk's data
};

// The JSON chunk parsed (discarded when the container is not as expected)
// and the BIN chunk.
inline CGltf ParseGlb(const std::string& bytes)
{
    CGltf out;
    if (bytes.size() < 20 || bytes.compare(0, 4, "glTF") != 0)
        return {json(json::value_t::discarded), ""};
    uint32_t length;
    std::memcpy(&length, bytes.data() + 12, 4);
    out.doc = json::parse(bytes.substr(20, length), nullptr, false);
    if (20 + length + 8 <= bytes.size())
        out.bin = bytes.substr(20 + length + 8);
    return out;
}

// The values of accessor `a` as doubles.
inline std::vector<double> AccessorValues(const CGltf& file, const json& a)
{
    const json& accessor = file.doc["accessors"][a.get<size_t>()];
    const size_t start = file.doc["bufferViews"][accessor["bufferView"].get<size_t>()].value("byteOffset", size_t(0));
    const int type = accessor["componentType"].get<int>();
    const size_t size = type == 5123 ? 2 : 4;
    const size_t count = accessor["count"].get<size_t>() * (accessor["type"] == "VEC3" ? 3 : 1);
    std::vector<double> values;
    for (size_t i = 0; i < count && start + (i + 1) * size <= file.bin.size(); ++i) {
        const char* p = file.bin.data() + start + i * size;
        float f;
        uint16_t s;
        uint32_t u;
        std::memcpy(type == 5126 ? static_cast<void*>(&f) : size == 2 ? static_cast<void*>(&s) : &u, p, size);
        values.push_back(type == 5126 ? f : size == 2 ? s : u);
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
