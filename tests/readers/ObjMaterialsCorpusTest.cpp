// The corpus OBJ files that name objects or materials, read by us and by
// assimp: the same groups with the same colours and triangles.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "ReaderTestSupport.h"

namespace {

namespace fs = std::filesystem;

bool NamesObjectsOrMaterials(const std::string& text)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("o ", 0) == 0 || line.rfind("usemtl", 0) == 0 || line.rfind("mtllib", 0) == 0)
            return true;
    return false;
}

// A name as a group line gives it: runs of blanks and other signs become "_".
std::string GroupName(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isspace(c)) {
            out += '_';
            while (i + 1 < text.size() && std::isspace(static_cast<unsigned char>(text[i + 1])))
                ++i;
        } else {
            out += std::isalnum(c) ? static_cast<char>(c) : '_';
        }
    }
    return out;
}

struct CPart
{
    std::string material;
    float rgba[4] = {1, 1, 1, 1};
    long triangles = 0;
};

// assimp's meshes by name and material: assimp starts a new mesh each time
// the material changes, where we keep one group per material.
std::map<std::pair<std::string, std::string>, CPart> AssimpParts(const fs::path& obj, bool& ok)
{
    std::map<std::pair<std::string, std::string>, CPart> parts;
    const fs::path script = fs::path(__FILE__).parent_path() / "assimp_obj_groups.py";
    std::string output;
    ok = testfiles::RunCommand("python3 '" + script.string() + "' '" + obj.string() + "'", &output) == 0;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');)
            fields.push_back(field);
        if (fields.size() != 7) {
            ok = false;
            continue;
        }
        CPart& part = parts[{fields[0], fields[1]}];
        part.material = fields[1];
        for (int i = 0; i < 4; ++i)
            part.rgba[i] = std::stof(fields[2 + static_cast<size_t>(i)]);
        part.triangles += std::stol(fields[6]);
    }
    return parts;
}

long Triangles(const CGroup& group)
{
    long n = 0;
    for (int p = 0; p < group.polygons.GetCount(); ++p)
        n += group.polygons.GetAt(p)->count - 2;
    return n;
}

TEST(ObjMaterialsCorpus, GroupsAndColoursAsAssimpReadsThem)
{
    TRIVEX_REQUIRE_CORPUS("obj");
    if (!testfiles::HaveTool("assimp") || !testfiles::HaveTool("python3"))
        GTEST_SKIP() << "assimp or python3 is not installed";
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(testfiles::CorpusDir("obj")))
        if (entry.path().extension() == ".obj")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    int compared = 0;
    for (const fs::path& file : files) {
        if (!NamesObjectsOrMaterials(testfiles::ReadAll(file)))
            continue;
        SCOPED_TRACE(file.filename().string());
        CRecordingModel model;
        if (ReadObjFile(model, file.c_str()) != 1) {
            // We refuse faces that name no vertex, where assimp reads on.
            ASSERT_FALSE(model.errors.empty());
            EXPECT_NE(model.errors[0].find("Bad face value"), std::string::npos) << model.errors[0];
            continue;
        }
        bool ok = false;
        const auto parts = AssimpParts(file, ok);
        ASSERT_TRUE(ok) << "assimp could not read the file";

        // (colour, finish, triangles) of every group, ours and as assimp's
        // materials give them.
        using CLook = std::tuple<int, int, long>;
        std::multiset<CLook> ours, theirs;
        for (int g = 0; g < model.GetGroupCount(); ++g) {
            const CGroup* group = model.GetGroup(g);
            ours.emplace(group->colorIndex, group->textureIndex, Triangles(*group));
        }
        std::map<std::string, int> materialsPerMesh;
        for (const auto& [key, part] : parts) {
            ++materialsPerMesh[key.first];
            // assimp gives faces without a material, or with one no library
            // defines, its grey default (whatever the name); we keep Red.
            const bool fallback = part.material == "DefaultMaterial" ||
                                  (part.rgba[0] == 0.6f && part.rgba[1] == 0.6f && part.rgba[2] == 0.6f);
            const int color = fallback ? FindColor("Red") : NearestColor(part.rgba[0], part.rgba[1], part.rgba[2]);
            const int finish = part.rgba[3] < 1.0f ? FindTexture("GlassFinish") : FindTexture("Shiny");
            theirs.emplace(color, finish, part.triangles);
        }
        EXPECT_EQ(ours, theirs);
        // A mesh of one material keeps its object's or group's name; assimp
        // calls the faces before any of them "defaultobject".
        const std::vector<std::string> names = testfiles::GroupNames(model);
        for (const auto& [mesh, count] : materialsPerMesh) {
            if (count == 1 && mesh != "defaultobject") {
                EXPECT_NE(std::find(names.begin(), names.end(), GroupName(mesh)), names.end()) << mesh;
            }
        }
        ++compared;
    }
    // Of the sixteen files here that name objects or materials, two have
    // faces that name no vertex.
    EXPECT_GE(compared, 14);
}

}  // namespace
