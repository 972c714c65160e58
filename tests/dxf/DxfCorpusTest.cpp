// Every DXF file of the shared corpus, checked against what ezdxf (through
// ezdxf_expect.py) and assimp make of it, and our own DXF writer's output
// read back.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "DxfReader.h"
#include "EzdxfOracle.h"
#include "RecordingModel.h"
#include "TestFiles.h"
#include "Writers.h"

namespace fs = std::filesystem;

namespace {

using ezdxforacle::ParseLines;
using ezdxforacle::PythonWithEzdxf;

// Triangles lost from the caps of outlines that cannot be filled whole.
const std::map<std::string, long> kMissingCaps = {
    // A 21-point outline whose first point repeats: one ear has two equal
    // corners and is dropped.
    {"netDxf_sample.dxf", 1},
    // An outline that ends on its first point loses one ear that way; four
    // points on one straight line enclose nothing, so no ear is found (2).
    {"uncommon.dxf", 3},
};

// assimp's triangle counts differ from the faces and meshes read here.
const std::map<std::string, std::string> kAssimpDiffers = {
    {"netDxf_sample.dxf", "assimp builds no triangles from the 6 by 4 polygon mesh and one from the polyface"},
    {"insert_bricscad_level_1.dxf", "assimp cannot read it"},
    {"R12_with_trash_beyond_EOF.dxf", "assimp cannot read it"},
    {"dxfparser_blocks.dxf", "assimp cannot read it"},
    {"points.dxf", "assimp cannot read it"},
    {"ASCII_R12.dxf", "lines only"},
};

TEST(DxfCorpus, AgreesWithEzdxfAndAssimp)
{
    TRIVEX_REQUIRE_CORPUS("dxf");
    const std::string python = PythonWithEzdxf();
    const fs::path oracle = ezdxforacle::Script();
    const bool assimp = testfiles::HaveTool("assimp");
    int files = 0, compared = 0;
    for (const auto& entry : fs::directory_iterator(testfiles::CorpusDir("dxf"))) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        ++files;
        CRecordingModel extruded, flat;
        flat.m_extrude2D = 0;
        ASSERT_EQ(ReadDxf(extruded, entry.path().c_str()), 1);
        ASSERT_EQ(ReadDxf(flat, entry.path().c_str()), 1);
        EXPECT_TRUE(extruded.errors.empty()) << extruded.errors.front();
        EXPECT_EQ(extruded.status.back(), "File Read Finished");

        std::string text;
        if (python.empty() ||
            testfiles::RunCommand(python + " '" + oracle.string() + "' '" + entry.path().string() + "'", &text) != 0)
            continue;
        auto expect = ParseLines(text);
        if (expect.count("unreadable")) {
            // ezdxf gives up on a file of blocks only; none is inserted.
            EXPECT_EQ(name, "dxfparser_blocks.dxf");
            EXPECT_EQ(extruded.GetPolygonCount(), 0);
            continue;
        }
        ++compared;
        // Extrusion adds the walls and a second cap: what it adds tells the
        // caps from the faces and meshes.
        const long caps = extruded.GetPolygonCount() - flat.GetPolygonCount() - static_cast<long>(expect["walls"].at(0));
        const long faces = flat.GetPolygonCount() - caps;
        EXPECT_EQ(faces, static_cast<long>(expect["triangles"].at(0)));
        long fullCaps = 0;
        for (double n : expect["outlines"])
            fullCaps += std::max(0L, static_cast<long>(n) - 2);
        auto missing = kMissingCaps.find(name);
        EXPECT_EQ(fullCaps - caps, missing == kMissingCaps.end() ? 0 : missing->second);

        // Inserted blocks land where ezdxf places them: the box of all the
        // geometry keeps its proportions through centring and scaling.
        const std::vector<double>&lo = expect["min"], &hi = expect["max"];
        if (lo.size() == 3 && extruded.GetPolygonCount() > 0) {
            extruded.ComputeRange();
            double theirs = 0, ours = 0;
            for (int k = 0; k < 3; ++k) {
                theirs = std::max(theirs, hi[k] - lo[k]);
                ours = std::max(ours, static_cast<double>(extruded.m_max[k] - extruded.m_min[k]));
            }
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR((extruded.m_max[k] - extruded.m_min[k]) / ours, (hi[k] - lo[k]) / theirs, 1e-4)
                    << "axis " << k;
        }

        if (!assimp || kAssimpDiffers.count(name))
            continue;
        std::string info;
        ASSERT_EQ(testfiles::RunCommand("assimp info '" + entry.path().string() + "'", &info), 0);
        long theirs = 0;
        for (size_t at = info.find(" / 0 / "); at != std::string::npos; at = info.find(" / 0 / ", at + 1)) {
            long count = 0;
            char type[32] = {};
            if (std::sscanf(info.c_str() + at, " / 0 / %ld | %31[a-z]]", &count, type) == 2 &&
                std::string(type) == "triangle")
                theirs += count;
        }
        // assimp draws 2D outlines as lines: only faces and meshes compare.
        EXPECT_EQ(faces, theirs);
    }
    EXPECT_EQ(files, 15);
    if (!python.empty()) {
        EXPECT_EQ(compared, 14);
    }
}

// Our writer puts every face on layer 0 as a 3DFACE whose fourth corner
// repeats the third, coloured by the palette entry nearest the group's colour.
TEST(DxfCorpus, WriterOutputReadsBack)
{
    CRecordingModel model;
    const char* const colors[] = {"Red", "NavyBlue", "White", "Gray50"};
    long faces = 0;
    for (int g = 0; g < 4; ++g) {
        model.SetGroup(colors[g], FindColor(colors[g]), 5);
        for (int k = 0; k <= g; ++k, ++faces) {
            float x = static_cast<float>(g * 3 + k);
            AddQuad(model, {x, 0, 0}, {x + 1, 0, 0}, {x + 1, 1, static_cast<float>(g)}, {x, 1, 0});
        }
    }
    model.FinishLoad();
    const fs::path path = fs::temp_directory_path() / "trivex_dxf_roundtrip.dxf";
    testfiles::WriteAll(path, testfiles::WriteToString(WriteDxf, model, model.m_scale));

    CRecordingModel back;
    ASSERT_EQ(ReadDxf(back, path.c_str()), 1);
    fs::remove(path);
    EXPECT_TRUE(back.errors.empty());
    // The layer code comes before the colour, so a group may be made before
    // its faces arrive: groups are looked up by name, not by place.
    std::map<std::string, const CGroup*> groups;
    for (int g = 0; g < back.GetGroupCount(); ++g)
        groups[back.GetGroup(g)->name] = back.GetGroup(g);
    ASSERT_EQ(groups.size(), 4u);
    for (int g = 0; g < 4; ++g) {
        const ColorEntry& color = ColorTable[FindColor(colors[g])];
        const unsigned char* rgb = DxfPalette[NearestDxfColor(color.red, color.green, color.blue)];
        int nearest = NearestColor(rgb[0] / 63.0f, rgb[1] / 63.0f, rgb[2] / 63.0f);
        const CGroup* group = groups[std::string("Layer0_") + ColorTable[nearest].name];
        ASSERT_NE(group, nullptr) << colors[g];
        EXPECT_EQ(group->colorIndex, nearest);
        EXPECT_EQ(group->textureIndex, 0);
        // Two triangles per quadrilateral, each one 3DFACE.
        EXPECT_EQ(group->polygons.GetCount(), 2 * (g + 1));
    }
    EXPECT_EQ(back.GetPolygonCount(), 2 * faces);
    EXPECT_EQ(back.GetVertexCount(), model.GetVertexCount());
}

}  // namespace
