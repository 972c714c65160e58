// assimp's glTF exports of the sample corpus, read with the triangle count
// assimp itself reads from them.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "GltfReader.h"
#include "RecordingModel.h"
#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

// The triangles `assimp info` finds: each node's meshes, as often as nodes
// place them (a glTF mesh is one aiMesh per primitive).
long AssimpTriangles(const fs::path& path)
{
    std::string out;
    if (testfiles::RunCommand("assimp info '" + path.string() + "'", &out) != 0)
        return -1;
    std::map<int, long> triangles;
    long total = 0;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        // "    3 (name): [24 / 0 / 12 | triangle]" lists a mesh,
        // "├╴name (mesh 0, 3)" a node that places meshes.
        const size_t list = line.find("): [");
        const size_t placed = line.find("(mesh ");
        int index;
        long vertices, bones, faces;
        char kind[32];
        if (list != std::string::npos && std::sscanf(line.c_str(), " %d", &index) == 1 &&
            std::sscanf(line.c_str() + list + 4, "%ld / %ld / %ld | %31[a-z]", &vertices, &bones, &faces, kind) == 4) {
            if (std::string(kind) == "triangle" && line.find("triangle]") != std::string::npos)
                triangles[index] = faces;
        } else if (placed != std::string::npos) {
            std::istringstream numbers(line.substr(placed + 6, line.find(')', placed) - placed - 6));
            for (std::string n; std::getline(numbers, n, ',');)
                total += triangles[std::stoi(n)];
        }
    }
    return total;
}

}  // namespace

TEST(GltfCorpus, AssimpExportsReadWithAssimpsTriangleCount)
{
    TRIVEX_REQUIRE_CORPUS("3ds");
    if (!testfiles::HaveTool("assimp"))
        GTEST_SKIP() << "assimp (assimp-utils) is not installed";
    const fs::path dir = fs::temp_directory_path() / ("gltf-corpus-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    int compared = 0;
    // Not NFF: assimp makes millions of triangles of its spheres.
    for (const char* folder : {"3ds", "obj", "dxf"})
        for (const auto& entry : fs::directory_iterator(testfiles::CorpusDir(folder))) {
            const std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || ext == ".mtl" || entry.file_size() > (1u << 20))
                continue;
            for (const char* to : {"glb", "gltf"}) {
                SCOPED_TRACE(entry.path().filename().string() + " as " + to);
                const fs::path exported = dir / (std::string("model.") + to);
                fs::remove(exported);
                if (testfiles::RunCommand("timeout 60 assimp export '" + entry.path().string() + "' '" + exported.string() +
                                          "' >/dev/null") != 0 ||
                    !fs::exists(exported))
                    continue;  // assimp cannot read it either
                const long expected = AssimpTriangles(exported);
                if (expected <= 0)
                    continue;
                CRecordingModel model;
                ASSERT_EQ(ReadGltf(model, exported.c_str()), 1) << (model.errors.empty() ? "" : model.errors[0]);
                EXPECT_EQ(model.GetPolygonCount(), expected);
                ++compared;
            }
        }
    fs::remove_all(dir);
    EXPECT_GT(compared, 30);
}
