#pragma once

// lib3ds as the judge of where the keyframer puts meshes: oracle/Lib3dsWorld
// prints the world triangles it places, and these helpers compare them with
// the model's.

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

inline std::filesystem::path Program()
{
    return std::filesystem::path(TRIVEX_BIN_DIR) / "lib3ds_world";
}

inline bool Available()
{
    return std::filesystem::exists(Program());
}

// What lib3ds places, node by node; false when it cannot read the file.
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
                        &t[1].z, &t[2].x, &t[2].y, &t[2].z) == 9 &&
            !nodes.empty())
            nodes.back().triangles.push_back(t);
        else
            nodes.push_back({line, {}});
    }
    return true;
}

// The model's triangles at the size they were read, in group order.
inline std::vector<Triangle> ModelTriangles(const CModel& model, int group = -1)
{
    std::vector<Triangle> out;
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        if (group >= 0 && g != group)
            continue;
        const CGroup* grp = model.GetGroup(g);
        for (int p = 0; p < grp->polygons.GetCount(); ++p) {
            const CPolygon* polygon = grp->polygons.GetAt(p);
            Triangle t;
            for (int k = 0; k < 3; ++k)
                t[k] = *polygon->GetVertex(k) * model.m_scale;
            out.push_back(t);
        }
    }
    return out;
}

// Drops the triangles the model drops too: two corners at one point.
inline std::vector<Triangle> WithoutDegenerate(const std::vector<Triangle>& triangles)
{
    std::vector<Triangle> out;
    for (const Triangle& t : triangles)
        if (!(t[0] == t[1] || t[1] == t[2] || t[2] == t[0]))
            out.push_back(t);
    return out;
}

// "" when the two sets of triangles are the same up to a shift (the model is
// centred after reading) within `tolerance` of their extent, corners in the
// same turning order; otherwise what differs. With `resize`, ours are first
// brought to lib3ds's size: a model larger than the output scale's range
// does not keep the size it was read at.
inline std::string CompareShapes(std::vector<Triangle> ours, std::vector<Triangle> theirs, bool resize = false,
                                 double tolerance = 2e-5)
{
    if (ours.size() != theirs.size())
        return std::to_string(ours.size()) + " triangles, lib3ds " + std::to_string(theirs.size());
    if (ours.empty())
        return "";
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
                p = CVector(static_cast<float>(p.x - sum[0] / n), static_cast<float>(p.y - sum[1] / n),
                            static_cast<float>(p.z - sum[2] / n));
                extent = std::max({extent, std::fabs(double(p.x)), std::fabs(double(p.y)), std::fabs(double(p.z))});
            }
        return extent;
    };
    const double ourExtent = centre(ours), theirExtent = centre(theirs);
    if (resize && ourExtent > 0)
        for (Triangle& t : ours)
            for (CVector& p : t)
                p = p * static_cast<float>(theirExtent / ourExtent);
    const double tol = tolerance * theirExtent + 1e-6;
    auto close = [tol](const CVector& a, const CVector& b) {
        return std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol;
    };
    auto key = [](const Triangle& t) { return t[0].x + t[1].x + t[2].x; };
    std::sort(theirs.begin(), theirs.end(), [&](const Triangle& a, const Triangle& b) { return key(a) < key(b); });
    std::vector<bool> used(theirs.size(), false);
    for (const Triangle& t : ours) {
        const double k = key(t);
        auto from = std::lower_bound(theirs.begin(), theirs.end(), k - 3 * tol,
                                     [&](const Triangle& a, double v) { return key(a) < v; });
        bool found = false;
        for (auto it = from; !found && it != theirs.end() && key(*it) <= k + 3 * tol; ++it) {
            const size_t i = static_cast<size_t>(it - theirs.begin());
            for (int r = 0; !used[i] && r < 3; ++r)
                if (close(t[0], (*it)[r]) && close(t[1], (*it)[(r + 1) % 3]) && close(t[2], (*it)[(r + 2) % 3]))
                    found = used[i] = true;
        }
        if (!found) {
            std::ostringstream s;
            s << "lib3ds has no triangle (" << t[0].x << " " << t[0].y << " " << t[0].z << ") (" << t[1].x << " "
              << t[1].y << " " << t[1].z << ") (" << t[2].x << " " << t[2].y << " " << t[2].z
              << ") after centring";
            return s.str();
        }
    }
    return "";
}

}  // namespace lib3ds
