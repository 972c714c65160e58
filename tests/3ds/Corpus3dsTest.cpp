// The 3D Studio sample files against two independent readers: lib3ds's
// 3dsdump for meshes, faces and materials, `assimp info --raw` for the total
// face count, and lib3ds itself for where the keyframer places each mesh.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "Formats.h"
#include "Lib3dsOracle.h"
#include "Reader3ds.h"
#include "readers/ReaderTestSupport.h"

namespace fs = std::filesystem;

namespace {

struct CDumpMesh
{
    std::string name;
    long faces = 0;
    long degenerate = 0;  // triangles AddTriangle drops: two corners at one point
    std::string firstMaterial;
};

struct CDump
{
    std::vector<CDumpMesh> meshes;
    std::map<std::string, std::array<float, 3>> diffuse;  // the last definition of a name wins
};

CDump Run3dsDump(const fs::path& path)
{
    CDump dump;
    std::string out;
    testfiles::RunCommand("3dsdump -t -m '" + path.string() + "'", &out);
    std::vector<std::array<double, 3>> points;
    std::string material;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        size_t at;
        double p[3];
        int a, b, c;
        if ((at = line.find(" vertices=")) != std::string::npos && line.find(" faces=") != std::string::npos) {
            dump.meshes.emplace_back().name = line.substr(2, at - 2);
            points.clear();
        } else if (line.rfind("    ", 0) == 0 && std::sscanf(line.c_str(), "%lf %lf %lf", &p[0], &p[1], &p[2]) == 3 &&
                   line.find("smoothing:") == std::string::npos) {
            points.push_back({p[0], p[1], p[2]});
        } else if (std::sscanf(line.c_str(), "%d %d %d smoothing:", &a, &b, &c) == 3 && !dump.meshes.empty()) {
            CDumpMesh& mesh = dump.meshes.back();
            size_t q = line.find("material:\"");
            if (mesh.faces++ == 0 && q != std::string::npos)
                mesh.firstMaterial = line.substr(q + 10, line.rfind('"') - q - 10);
            auto same = [&](int i, int j) {
                for (int k = 0; k < 3; ++k)
                    if (std::fabs(points.at(i)[k] - points.at(j)[k]) > 1e-6)
                        return false;
                return true;
            };
            mesh.degenerate += same(a, b) || same(b, c) || same(c, a);
        } else if (line.rfind("  name:", 0) == 0) {
            material = line.substr(line.find_first_not_of(' ', 7));
        } else if (line.rfind("  diffuse:", 0) == 0) {
            std::array<float, 3>& d = dump.diffuse[material];
            std::sscanf(line.c_str() + line.find('('), "(%f, %f, %f)", &d[0], &d[1], &d[2]);
        }
    }
    return dump;
}

long AssimpFaces(const fs::path& path)
{
    std::string out;
    if (testfiles::RunCommand("assimp info '" + path.string() + "' --raw", &out) != 0)
        return -1;
    size_t at = out.find("Faces:");
    return at == std::string::npos ? -1 : std::atol(out.c_str() + at + 6);
}

int Read(CRecordingModel& model, const std::string& bytes)
{
    return readertest::ReadText(Read3ds, model, bytes);
}

std::vector<fs::path> CorpusFiles()
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(testfiles::CorpusDir("3ds")))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(Corpus3ds, AgreesWithLib3dsAndAssimp)
{
    TRIVEX_REQUIRE_CORPUS("3ds");
    if (!testfiles::HaveTool("3dsdump") || !testfiles::HaveTool("assimp"))
        GTEST_SKIP() << "3dsdump (lib3ds-dev) or assimp (assimp-utils) is not installed";
    int compared = 0;
    for (const fs::path& path : CorpusFiles()) {
        SCOPED_TRACE(path.filename().string());
        CRecordingModel model;
        int result = Read(model, testfiles::ReadAll(path));
        EXPECT_EQ(model.status.back(), "File Read Finished");
        if (path.filename() == "wrong.3ds") {
            // Text, not chunks; both oracles refuse it as well.
            EXPECT_EQ(result, 0);
            EXPECT_EQ(model.errors, std::vector<std::string>{"Error: Input file is not .3DS format"});
            EXPECT_EQ(AssimpFaces(path), -1);
            continue;
        }
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(model.errors.empty()) << model.errors.front();
        CDump dump = Run3dsDump(path);
        ASSERT_FALSE(dump.meshes.empty());
        // assimp splits meshes by material, so only its face total compares.
        long faces = 0, degenerate = 0;
        std::map<std::string, const CGroup*> groups;
        std::set<std::string> names;
        for (int g = 0; g < model.GetGroupCount(); ++g)
            groups[model.GetGroup(g)->name] = model.GetGroup(g);
        for (const CDumpMesh& mesh : dump.meshes) {
            faces += mesh.faces;
            degenerate += mesh.degenerate;
            names.insert(mesh.name);
            // Every sample mesh has faces and a plain name, so each makes a
            // group, or instance groups named after it when the keyframer
            // draws it only through instances; faces outside any material
            // group are "Default", and an undefined material is red.
            const CGroup* group = groups[mesh.name];
            if (!group) {
                auto instance = groups.lower_bound(mesh.name + "_");
                if (instance != groups.end() && instance->first.rfind(mesh.name + "_", 0) == 0)
                    group = instance->second;
            }
            ASSERT_NE(group, nullptr) << mesh.name;
            auto found = dump.diffuse.find(mesh.firstMaterial.empty() ? "Default" : mesh.firstMaterial);
            std::array<float, 3> rgb = found != dump.diffuse.end() ? found->second : std::array<float, 3>{1, 0, 0};
            EXPECT_EQ(ColorTable[group->colorIndex].name, ColorTable[NearestColor(rgb[0], rgb[1], rgb[2])].name)
                << mesh.name << " material " << mesh.firstMaterial;
            EXPECT_EQ(group->textureIndex, FindTexture("Shiny"));
        }
        EXPECT_EQ(AssimpFaces(path), faces);
        // Instances add groups and faces; where they are is for lib3ds to say
        // (below). Without them the file reads as its meshes.
        CRecordingModel editor;
        editor.m_place3dsNodes = 0;
        Read(editor, testfiles::ReadAll(path));
        EXPECT_EQ(static_cast<size_t>(editor.GetGroupCount()), names.size());
        EXPECT_EQ(editor.GetPolygonCount(), faces - degenerate);
        ++compared;
    }
    EXPECT_GE(compared, 10);
}

// Every prefix of the small files and evenly spread cuts through the large
// ones: a cut file either says once that it ended early, keeping no more than
// the whole file gives, or (cut after the editor data) reads completely. A
// cut through the keyframer, or before it (which cannot be told from a file
// without one), leaves the meshes as the editor data has them.
TEST(Corpus3ds, CutShortFilesStopCleanly)
{
    TRIVEX_REQUIRE_CORPUS("3ds");
    for (const fs::path& path : CorpusFiles()) {
        const std::string bytes = testfiles::ReadAll(path);
        CRecordingModel whole, editor;
        editor.m_place3dsNodes = 0;
        if (Read(whole, bytes) != 1 || Read(editor, bytes) != 1)
            continue;
        const size_t step = bytes.size() > 4000 ? bytes.size() / 1000 : 1;
        for (size_t cut = 0; cut < bytes.size(); cut += step) {
            SCOPED_TRACE(path.filename().string() + " cut at " + std::to_string(cut));
            CRecordingModel model;
            int result = Read(model, bytes.substr(0, cut));
            EXPECT_EQ(model.status.back(), "File Read Finished");
            EXPECT_LE(model.GetPolygonCount(), whole.GetPolygonCount());
            if (cut < 2) {
                EXPECT_EQ(result, 0);
            } else if (model.errors.empty() &&
                       model.infos == std::vector<std::string>{".3DS keyframer ignored: the file ends inside it"}) {
                EXPECT_EQ(model.GetPolygonCount(), editor.GetPolygonCount());
            } else if (!model.errors.empty()) {
                EXPECT_EQ(model.errors, std::vector<std::string>{"Error: Unexpected end of .3DS file"});
            } else if (model.GetPolygonCount() != whole.GetPolygonCount()) {
                EXPECT_EQ(model.GetPolygonCount(), editor.GetPolygonCount());
            }
        }
    }
}

// Every sample's triangles, before centring and scaling, are where lib3ds puts
// them at frame 0, with one exception. CameraRollAnimWithChildObject.3ds
// links Box02 to a camera; lib3ds moves a camera's children by the camera's
// position alone, leaving out its turn toward its target and its roll, which
// the first keys do not hold. The reader keeps Box02 where the editor data
// puts it, and the file shows that is right: its every corner lies as far
// from the camera as lib3ds's copy, which is the same offset unturned.
TEST(Corpus3ds, PlacesMeshesWhereLib3dsDoes)
{
    TRIVEX_REQUIRE_CORPUS("3ds");
    if (!lib3ds::Available())
        GTEST_SKIP() << "lib3ds_world was not built (lib3ds-dev is not installed)";
    int compared = 0;
    for (const fs::path& path : CorpusFiles()) {
        if (path.filename() == "wrong.3ds")
            continue;
        SCOPED_TRACE(path.filename().string());
        const bool cameraChild = path.filename() == "CameraRollAnimWithChildObject.3ds";
        std::vector<lib3ds::CNode> nodes;
        ASSERT_TRUE(lib3ds::World(path, nodes));
        std::vector<lib3ds::Triangle> theirs, theirsAside;
        for (const lib3ds::CNode& node : nodes) {
            // No sample mesh's frame mirrors, so lib3ds's mirroring of such
            // meshes plays no part here (the hand-made files test it).
            if (node.header.rfind("node ", 0) == 0) {
                EXPECT_GT(std::atof(node.header.substr(node.header.rfind(' ')).c_str()), 0.0) << node.header;
            }
            auto& into = cameraChild && node.header.rfind("node Box02 ", 0) == 0 ? theirsAside : theirs;
            into.insert(into.end(), node.triangles.begin(), node.triangles.end());
        }
        CRecordingModel model;
        ASSERT_EQ(Read(model, testfiles::ReadAll(path)), 1);
        EXPECT_TRUE(model.errors.empty()) << model.errors.front();
        std::vector<lib3ds::Triangle> ours, oursAside;
        for (int g = 0; g < model.GetGroupCount(); ++g) {
            auto& into = cameraChild && model.GetGroup(g)->name == "Box02" ? oursAside : ours;
            for (const lib3ds::Triangle& t : lib3ds::ModelTriangles(model, g))
                into.push_back(t);
        }
        EXPECT_EQ(lib3ds::CompareShapes(ours, theirs, model.m_scale == 500.0f), "");
        ++compared;
        if (!cameraChild)
            continue;
        // The model's shift from the file's coordinates, from Box01, which agrees.
        const CVector shift = theirs[0][0] - ours[0][0], camera(-152.362564f, 3.25046396f, 22.7914848f);
        ASSERT_EQ(oursAside.size(), theirsAside.size());
        double moved = 0;
        for (size_t i = 0; i < oursAside.size(); ++i)
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR((oursAside[i][k] + shift - camera).Length(), (theirsAside[i][k] - camera).Length(), 1e-2);
                moved = std::max(moved, static_cast<double>((oursAside[i][k] + shift - theirsAside[i][k]).Length()));
            }
        EXPECT_GT(moved, 10.0) << "the two poses no longer differ";
    }
    EXPECT_GE(compared, 10);

    CRecordingModel four;
    Read(four, testfiles::ReadAll(testfiles::CorpusDir("3ds/cube_four_instances.3ds")));
    EXPECT_EQ(testfiles::GroupNames(four), (std::vector<std::string>{"cube_01", "cube_02", "cube_03", "cube_04"}));
    EXPECT_EQ(four.GetPolygonCount(), 48);
}

TEST(Corpus3ds, OpensByNameWhateverTheCase)
{
    TRIVEX_REQUIRE_CORPUS("3ds");
    CRecordingModel model;
    EXPECT_TRUE(OpenByName(model, testfiles::CorpusDir("3ds/cube_with_diffuse_texture.3DS").string()));
    EXPECT_EQ(model.GetPolygonCount(), 12);
    EXPECT_EQ(FormatForExtension("3DS", false), FindFormat("3ds"));
    EXPECT_TRUE(FindFormat("3ds")->CanRead());
}

}  // namespace
