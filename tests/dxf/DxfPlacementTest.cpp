// Array inserts and object coordinate systems, against ezdxf: drawings made
// by ezdxf_expect.py --make, which also prints where ezdxf's own block
// expansion puts every point our triangles should use.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "DxfReader.h"
#include "EzdxfOracle.h"
#include "RecordingModel.h"
#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

struct CDrawing
{
    long triangles = -1;
    std::vector<CVector> points;
};

// Makes the drawings in `folder` and reads what the oracle says of each.
std::map<std::string, CDrawing> MakeDrawings(const std::string& python, const fs::path& folder, std::string& output)
{
    std::map<std::string, CDrawing> out;
    if (testfiles::RunCommand(python + " '" + ezdxforacle::Script().string() + "' --make '" + folder.string() + "'",
                              &output) != 0)
        return out;
    std::istringstream lines(output);
    CDrawing* drawing = nullptr;
    for (std::string line, key; std::getline(lines, line);) {
        std::istringstream words(line);
        words >> key;
        if (key == "drawing") {
            std::string name;
            words >> name;
            drawing = &out[name];
        } else if (drawing && key == "triangles") {
            words >> drawing->triangles;
        } else if (drawing && key == "vertex") {
            double x, y, z;
            words >> x >> y >> z;
            drawing->points.emplace_back(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
        }
    }
    return out;
}

// The points the model's faces use, where the reader put them: a read
// centres the model on its box (kept in m_min and m_max) and divides it by
// its radius (kept in m_scale), which this undoes.
std::vector<CVector> PointsAsRead(const CModel& model)
{
    const CVector centre((model.m_min[0] + model.m_max[0]) * 0.5f, (model.m_min[1] + model.m_max[1]) * 0.5f,
                         (model.m_min[2] + model.m_max[2]) * 0.5f);
    std::vector<bool> used(static_cast<size_t>(model.GetVertexCount()));
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        for (int p = 0; p < group->polygons.GetCount(); ++p) {
            const CPolygon* polygon = group->polygons.GetAt(p);
            for (int k = 0; k < polygon->count; ++k)
                used[static_cast<size_t>(polygon->index[k] - 1)] = true;
        }
    }
    std::vector<CVector> out;
    for (int v = 0; v < model.GetVertexCount(); ++v)
        if (used[static_cast<size_t>(v)])
            out.push_back(*model.m_vertices.GetAt(v) * model.m_scale + centre);
    return out;
}

// The points of `from` that have none of `in` within `tolerance`.
std::vector<CVector> Unmatched(const std::vector<CVector>& from, const std::vector<CVector>& in, float tolerance)
{
    std::vector<CVector> out;
    for (const CVector& p : from) {
        bool found = false;
        for (const CVector& q : in)
            found = found || (std::fabs(p.x - q.x) <= tolerance && std::fabs(p.y - q.y) <= tolerance &&
                              std::fabs(p.z - q.z) <= tolerance);
        if (!found)
            out.push_back(p);
    }
    return out;
}

std::string Show(const std::vector<CVector>& points)
{
    std::ostringstream out;
    for (size_t i = 0; i < points.size() && i < 8; ++i)
        out << " (" << points[i].x << ", " << points[i].y << ", " << points[i].z << ")";
    if (points.size() > 8)
        out << " and " << points.size() - 8 << " more";
    return out.str();
}

TEST(DxfPlacement, AgreesWithEzdxfBlockExpansion)
{
    const std::string python = ezdxforacle::PythonWithEzdxf();
    if (python.empty())
        GTEST_SKIP() << "no python3 with ezdxf (python3-ezdxf): the drawings cannot be made";
    const fs::path folder = fs::temp_directory_path() / ("trivex_dxf_placement_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    struct CRemove
    {
        fs::path path;
        ~CRemove() { fs::remove_all(path); }
    } remove{folder};
    std::string output;
    const std::map<std::string, CDrawing> drawings = MakeDrawings(python, folder, output);
    ASSERT_FALSE(drawings.empty()) << output;

    // Every drawing has a reference face in world coordinates (1 triangle);
    // a copy of the FLAG block is a pole face and an extruded triangle, 9.
    struct
    {
        const char* name;
        const char* what;
        long triangles;  // counted by hand
    } cases[] = {
        {"array_2x3", "2 columns by 3 rows: 6 copies", 1 + 6 * 9},
        {"array_5x5_rotated", "5 by 5 turned 15 degrees, scaled 1.5: the grid turns, the spacing stays", 1 + 25 * 9},
        {"insert_mirrored", "extrusion (0, 0, -1): the insert lands at -x, beside a plain one", 1 + 2 * 9},
        {"insert_tilted", "extrusions off both world axes used by the arbitrary axis algorithm", 1 + 2 * 9},
        {"nested_in_array", "a 3 by 2 array of a block of two inserts (one mirrored) and an outline",
         1 + 6 * (2 * 9 + 12)},
        {"array_in_array", "a column of 3 copies of a block holding a row of 3", 1 + 9 * 9},
        {"outline_mirrored", "LWPOLYLINE and 2D POLYLINE with extrusion (0, 0, -1): extruded towards -z",
         1 + (12 + 8) + 12},
        {"outline_tilted", "2D outlines in tilted planes, at their elevation", 1 + (10 + 6) + 12},
        {"world_entities", "meshes stay in world coordinates whatever their extrusion", 1 + 3 + 4 + 3},
        {"array_zero_spacing", "no spacing is one copy; spacing along rows only", 1 + 9 + 4 * 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + c.what);
        auto found = drawings.find(c.name);
        ASSERT_NE(found, drawings.end()) << output;
        const CDrawing& expected = found->second;
        EXPECT_EQ(expected.triangles, c.triangles);

        CRecordingModel model;
        ASSERT_EQ(ReadDxf(model, (folder / (std::string(c.name) + ".dxf")).c_str()), 1);
        EXPECT_TRUE(model.errors.empty());
        EXPECT_EQ(model.GetPolygonCount(), expected.triangles);
        const std::vector<CVector> ours = PointsAsRead(model);
        // Floats of coordinates up to about 50, centred and scaled and back.
        const float tolerance = 2e-4f;
        const std::vector<CVector> missing = Unmatched(expected.points, ours, tolerance);
        const std::vector<CVector> extra = Unmatched(ours, expected.points, tolerance);
        EXPECT_TRUE(missing.empty()) << "ezdxf's points we lack:" << Show(missing);
        EXPECT_TRUE(extra.empty()) << "our points ezdxf lacks:" << Show(extra);
        EXPECT_EQ(ours.size(), expected.points.size());
    }
    EXPECT_EQ(drawings.size(), std::size(cases));
}

}  // namespace
