#pragma once

// lib3ds as the judge of where the keyframer puts meshes: oracle/Lib3dsWorld
// prints the world triangles it places, node by node.

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "Model.h"
#include "TestFiles.h"

namespace lib3ds {

using Triangle = std::array<CVector, 3>;

struct CNode
{
    std::string header;  // "node MESH INSTANCE DET" or "mesh MESH"
    std::vector<Triangle> triangles;
};

inline std::filesystem::path Program() { return std::filesystem::path(TRIVEX_BIN_DIR) / "lib3ds_world"; }
inline bool Available() { return std::filesystem::exists(Program()); }

// What lib3ds places; false when it cannot read the file.
inline bool World(const std::filesystem::path& file, std::vector<CNode>& nodes)
{
    std::string out;
    // lib3ds's own allocations are not ours to check.
    if (testfiles::RunCommand("ASAN_OPTIONS=detect_leaks=0 '" + Program().string() + "' '" + file.string() + "'",
                              &out) != 0)
        return false;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        Triangle t;
        if (std::sscanf(line.c_str(), "%f %f %f %f %f %f %f %f %f", &t[0].x, &t[0].y, &t[0].z, &t[1].x, &t[1].y,
                        &t[1].z, &t[2].x, &t[2].y, &t[2].z) == 9 && !nodes.empty())
            nodes.back().triangles.push_back(t);
        else
            nodes.push_back({line, {}});
    }
    return true;
}

// The model's triangles at the size they were read, of one group or all.
inline std::vector<Triangle> ModelTriangles(const CModel& model, int group = -1)
{
    std::vector<Triangle> out;
    for (int g = 0; g < model.GetGroupCount(); ++g)
        for (int p = 0; (group < 0 || g == group) && p < model.GetGroup(g)->polygons.GetCount(); ++p) {
            const CPolygon* polygon = model.GetGroup(g)->polygons.GetAt(p);
            out.push_back({*polygon->GetVertex(0) * model.m_scale, *polygon->GetVertex(1) * model.m_scale,
                           *polygon->GetVertex(2) * model.m_scale});
        }
    return out;
}

// "" when both sets hold the same triangles, corners in the same turning
// order, up to a shift (the model is centred after reading) and within
// `tolerance` of their extent; else the first of ours lib3ds lacks. Triangles
// with two corners at one point are left out of theirs, as the model drops
// them. With `resize`, ours are brought to lib3ds's size first: a model
// beyond the output scale's range does not keep the size it was read at.
inline std::string CompareShapes(std::vector<Triangle> ours, std::vector<Triangle> all, bool resize = false,
                                 double tolerance = 2e-5)
{
    std::vector<Triangle> theirs;
    for (const Triangle& t : all)
        if (!(t[0].IsNear(t[1]) || t[1].IsNear(t[2]) || t[2].IsNear(t[0])))
            theirs.push_back(t);
    if (ours.size() != theirs.size())
        return std::to_string(ours.size()) + " triangles, lib3ds " + std::to_string(theirs.size());
    auto centre = [](std::vector<Triangle>& set) {
        double sum[3] = {0, 0, 0}, extent = 0;
        for (const Triangle& t : set)
            for (const CVector& p : t) {
                sum[0] += p.x;
                sum[1] += p.y;
                sum[2] += p.z;
            }
        const double n = 3.0 * static_cast<double>(set.size());
        for (Triangle& t : set)
            for (CVector& p : t) {
                p = CVector(float(p.x - sum[0] / n), float(p.y - sum[1] / n), float(p.z - sum[2] / n));
                extent = std::max({extent, std::fabs(double(p.x)), std::fabs(double(p.y)), std::fabs(double(p.z))});
            }
        return extent;
    };
    const double ourExtent = centre(ours), extent = centre(theirs);
    for (Triangle& t : ours)
        for (CVector& p : t)
            p = resize && ourExtent > 0 ? p * static_cast<float>(extent / ourExtent) : p;
    const double tol = tolerance * extent + 1e-6;
    auto close = [tol](const CVector& a, const CVector& b) {
        return std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol;
    };
    auto key = [](const Triangle& t) { return t[0].x + t[1].x + t[2].x; };
    std::vector<bool> used(theirs.size(), false);
    for (const Triangle& t : ours) {
        bool found = false;
        for (size_t i = 0; !found && i < theirs.size(); ++i)
            for (int r = 0; !used[i] && std::fabs(key(t) - key(theirs[i])) <= 3 * tol && r < 3; ++r)
                found = used[i] = close(t[0], theirs[i][r]) && close(t[1], theirs[i][(r + 1) % 3]) &&
                                  close(t[2], theirs[i][(r + 2) % 3]);
        if (!found) {
            std::ostringstream s;
            s << "lib3ds lacks (" << t[0].x << " " << t[0].y << " " << t[0].z << ") (" << t[1].x << " " << t[1].y
              << " " << t[1].z << ") (" << t[2].x << " " << t[2].y << " " << t[2].z << ") after centring";
            return s.str();
        }
    }
    return "";
}

}  // namespace lib3ds
