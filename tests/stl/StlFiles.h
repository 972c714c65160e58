#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Formats.h"
#include "RecordingModel.h"
#include "StlReader.h"
#include "TestFiles.h"

#define TRIVEX_REQUIRE_STL_TOOL(tool)                                                  \
    do {                                                                               \
        if (!testfiles::HaveTool(tool))                                                \
            GTEST_SKIP() << tool << " is not installed; scripts/setup.sh installs it"; \
    } while (0)

// What a model holds in the terms an STL file is checked in, at the output
// scale, and what admesh and assimp make of a file.
namespace stlfiles {

// A file in the temporary folder, removed with the object; ctest runs the
// tests of one binary side by side, so names carry the process id.
class CTempPath
{
public:
    explicit CTempPath(const std::string& name)
        : m_path(std::filesystem::temp_directory_path() / ("trivex-stl-" + std::to_string(getpid()) + "-" + name))
    {
    }
    ~CTempPath() { std::filesystem::remove_all(m_path); }
    std::string String() const { return m_path.string(); }
    std::string Quoted() const { return "'" + m_path.string() + "'"; }

private:
    std::filesystem::path m_path;
};

// Calls use(a, b, c) for each fan triangle of the active groups, wound
// counter-clockwise seen from the side the model's normals point to.
template <typename Use>
void ForEachTriangle(const CModel& model, Use&& use)
{
    const float s = model.m_scale;
    for (int g = 0; g < model.GetGroupCount(); ++g)
        for (int p = 0; model.GetGroup(g)->active && p < model.GetGroup(g)->polygons.GetCount(); ++p) {
            const CPolygon* polygon = model.GetGroup(g)->polygons.GetAt(p);
            for (int k = 2; k < polygon->count; ++k)
                use(*polygon->GetVertex(0) * s, *polygon->GetVertex(model.m_normalOrder ? k : k - 1) * s,
                    *polygon->GetVertex(model.m_normalOrder ? k - 1 : k) * s);
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

// Positive where the triangles wind counter-clockwise seen from outside.
inline double Volume(const CModel& model)
{
    double volume = 0;
    ForEachTriangle(model, [&volume](const CVector& a, const CVector& b, const CVector& c) {
        const CVector n = b.Cross(c);
        volume += (static_cast<double>(a.x) * n.x + static_cast<double>(a.y) * n.y + static_cast<double>(a.z) * n.z) / 6;
    });
    return volume;
}

inline std::unique_ptr<CRecordingModel> ReadFile(const std::string& path, int& result)
{
    auto model = std::make_unique<CRecordingModel>();
    result = ReadStlFile(*model, path.c_str());
    return model;
}

// What admesh finds with the given checks: facets in the file, facets left
// once those whose corners coincide are dropped, the volume it works out
// from the normals, whether every edge meets another, normals it corrected.
struct CAdmesh
{
    bool ran = false;
    long facets = -1, kept = -1, disconnected = -1, normalsFixed = -1;
    double volume = 0;
    std::string output;
};

inline CAdmesh Admesh(const std::string& path, const std::string& checks)
{
    CAdmesh r;
    r.ran = testfiles::RunCommand("admesh " + checks + " '" + path + "'", &r.output) == 0;
    auto after = [&r](const char* label) {
        const size_t at = r.output.find(label);
        return at == std::string::npos ? "" : r.output.c_str() + r.output.find(':', at) + 1;
    };
    std::sscanf(after("Number of facets"), "%ld %ld", &r.facets, &r.kept);
    std::sscanf(after("Volume"), "%lf", &r.volume);
    std::sscanf(after("Total disconnected facets"), "%ld", &r.disconnected);
    std::sscanf(after("Normals fixed"), "%ld", &r.normalsFixed);
    return r;
}

// The faces and meshes `assimp info` reports, -1 where it says nothing. Read
// raw: its usual steps afterwards turn facets whose corners lie in a line
// into lines, or drop them.
inline std::pair<long, long> AssimpFacesAndMeshes(const std::string& path)
{
    std::string out;
    testfiles::RunCommand("assimp info '" + path + "' -r", &out);
    auto after = [&out](const std::string& label) {
        const size_t at = out.find("\n" + label);
        return at == std::string::npos ? -1L : std::strtol(out.c_str() + at + 1 + label.size(), nullptr, 10);
    };
    return {after("Faces:"), after("Meshes:")};
}

inline double Relative(double a, double b)
{
    return std::abs(a - b) / std::max(1e-9, std::max(std::abs(a), std::abs(b)));
}

}  // namespace stlfiles
