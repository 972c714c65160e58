#pragma once

#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Formats.h"
#include "RecordingModel.h"
#include "StlReader.h"
#include "TestFiles.h"
#include "Writers.h"

#ifndef TRIVEX_REQUIRE_TOOL
#define TRIVEX_REQUIRE_TOOL(tool)                                                      \
    do {                                                                               \
        if (!testfiles::HaveTool(tool))                                                \
            GTEST_SKIP() << tool << " is not installed; scripts/setup.sh installs it"; \
    } while (0)
#endif

// STL files made by the tests, and what a model holds in the terms an STL
// file is checked in: triangles, area and enclosed volume at the output scale.
namespace stlfiles {

struct CTriangle
{
    float corner[3][3];
};

inline uint32_t LittleEndian32(const char* p)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(p[i]);
    return value;
}

inline void AppendFloat(std::string& bytes, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((bits >> (8 * i)) & 0xFF);
}

// A binary file; `count` other than -1 replaces the true facet count.
inline std::string Binary(const std::string& header, const std::vector<CTriangle>& triangles, int64_t count = -1)
{
    std::string bytes = header.substr(0, 80);
    bytes.resize(80, '\0');
    const uint32_t n = count < 0 ? static_cast<uint32_t>(triangles.size()) : static_cast<uint32_t>(count);
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((n >> (8 * i)) & 0xFF);
    for (const CTriangle& t : triangles) {
        for (int k = 0; k < 3; ++k)
            AppendFloat(bytes, 7.0f);  // a normal no reader should trust
        for (const auto& corner : t.corner)
            for (float value : corner)
                AppendFloat(bytes, value);
        bytes += std::string("\x12\x34", 2);
    }
    return bytes;
}

inline std::string Ascii(const std::vector<std::pair<std::string, std::vector<CTriangle>>>& solids)
{
    std::string text;
    for (const auto& [name, triangles] : solids) {
        text += "solid " + name + "\n";
        for (const CTriangle& t : triangles) {
            text += "facet normal 0 0 0\n outer loop\n";
            for (const auto& c : t.corner) {
                char line[128];
                std::snprintf(line, sizeof line, "  vertex %.9g %.9g %.9g\n", c[0], c[1], c[2]);
                text += line;
            }
            text += " endloop\nendfacet\n";
        }
        text += "endsolid " + name + "\n";
    }
    return text;
}

// The twelve triangles of the unit cube, wound counter-clockwise from outside.
inline std::vector<CTriangle> Cube()
{
    static const float v[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                  {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    static const int faces[12][3] = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                                     {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}};
    std::vector<CTriangle> triangles;
    for (const auto& f : faces) {
        CTriangle t;
        for (int k = 0; k < 3; ++k)
            std::memcpy(t.corner[k], v[f[k]], sizeof t.corner[k]);
        triangles.push_back(t);
    }
    return triangles;
}

// A file in the temporary folder, removed with the object. Names carry the
// process id: ctest runs the tests of one binary side by side.
class CTempPath
{
public:
    explicit CTempPath(const std::string& name)
        : m_path(std::filesystem::temp_directory_path() /
                 ("trivex-stl-" + std::to_string(static_cast<long>(getpid())) + "-" + name))
    {
    }
    ~CTempPath()
    {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    CTempPath(const CTempPath&) = delete;
    CTempPath& operator=(const CTempPath&) = delete;
    std::string String() const { return m_path.string(); }
    std::string Quoted() const { return "'" + m_path.string() + "'"; }
    // The name without folder and extension, as the reader names a binary file's group.
    std::string Stem() const
    {
        std::string stem = m_path.stem().string();
        for (char& c : stem)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return stem;
    }

private:
    std::filesystem::path m_path;
};

// Calls use(a, b, c) for each fan triangle of the active groups, corners at
// the output scale and wound counter-clockwise seen from the side the
// model's normals point to.
template <typename Use>
void ForEachTriangle(const CModel& model, Use&& use)
{
    const float s = model.m_scale;
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!group->active)
            continue;
        for (int p = 0; p < group->polygons.GetCount(); ++p) {
            const CPolygon* polygon = group->polygons.GetAt(p);
            for (int k = 2; k < polygon->count; ++k) {
                const CVector* a = polygon->GetVertex(0);
                const CVector* b = polygon->GetVertex(k - 1);
                const CVector* c = polygon->GetVertex(k);
                if (model.m_normalOrder)
                    std::swap(b, c);
                use(*a * s, *b * s, *c * s);
            }
        }
    }
}

inline long Triangles(const CModel& model)
{
    long n = 0;
    ForEachTriangle(model, [&n](const CVector&, const CVector&, const CVector&) { ++n; });
    return n;
}

inline double Area(const CModel& model)
{
    double area = 0;
    ForEachTriangle(model, [&area](const CVector& a, const CVector& b, const CVector& c) {
        area += 0.5 * static_cast<double>((b - a).Cross(c - a).Length());
    });
    return area;
}

// The signed volume the triangles enclose: positive when they wind
// counter-clockwise seen from outside.
inline double Volume(const CModel& model)
{
    double volume = 0;
    ForEachTriangle(model, [&volume](const CVector& a, const CVector& b, const CVector& c) {
        const double ax = a.x, ay = a.y, az = a.z, bx = b.x, by = b.y, bz = b.z, cx = c.x, cy = c.y, cz = c.z;
        volume += (ax * (by * cz - bz * cy) - ay * (bx * cz - bz * cx) + az * (bx * cy - by * cx)) / 6.0;
    });
    return volume;
}

// Reads `path` as STL into a recording model.
inline std::unique_ptr<CRecordingModel> ReadFile(const std::string& path, int* result = nullptr)
{
    auto model = std::make_unique<CRecordingModel>();
    const int r = ReadStlFile(*model, path.c_str());
    if (result)
        *result = r;
    return model;
}

// What admesh finds with the given checks: facets in the file, facets once
// those whose corners coincide are dropped, the volume, whether every edge
// meets another (a closed surface), and how many normals it had to correct.
struct CAdmesh
{
    bool ran = false;
    long facets = -1;
    long kept = -1;
    double volume = 0;
    bool closed = false;
    long normalsFixed = -1;
    std::string output;
};

inline CAdmesh Admesh(const std::string& path, const std::string& checks)
{
    CAdmesh result;
    result.ran = testfiles::RunCommand("admesh " + checks + " '" + path + "'", &result.output) == 0;
    auto after = [&result](const char* label) -> const char* {
        const size_t at = result.output.find(label);
        return at == std::string::npos ? "" : result.output.c_str() + result.output.find(':', at) + 1;
    };
    std::sscanf(after("Number of facets"), "%ld %ld", &result.facets, &result.kept);
    std::sscanf(after("Volume"), "%lf", &result.volume);
    long disconnected = -1;
    std::sscanf(after("Total disconnected facets"), "%ld %ld", &disconnected, &disconnected);
    result.closed = disconnected == 0;
    std::sscanf(after("Normals fixed"), "%ld", &result.normalsFixed);
    return result;
}

// An ASCII file cut into one file per solid; a binary file stays whole.
inline std::vector<std::string> SplitSolids(const std::string& bytes, bool ascii)
{
    if (!ascii)
        return {bytes};
    std::vector<std::string> solids;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t next = bytes.find("\nsolid ", start);
        next = next == std::string::npos ? bytes.size() : next + 1;
        solids.push_back(bytes.substr(start, next - start));
        start = next;
    }
    return solids;
}

// The faces and meshes `assimp info` reports, -1 where it says nothing. Read
// raw: its usual steps after reading turn facets whose corners lie in a line
// into lines, or drop them.
inline std::pair<long, long> AssimpFacesAndMeshes(const std::string& path)
{
    std::string output;
    testfiles::RunCommand("assimp info '" + path + "' -r", &output);
    auto after = [&output](const char* label) {
        const size_t at = output.find(std::string("\n") + label);
        return at == std::string::npos ? -1L : std::strtol(output.c_str() + at + 1 + std::strlen(label), nullptr, 10);
    };
    return {after("Faces:"), after("Meshes:")};
}

}  // namespace stlfiles
