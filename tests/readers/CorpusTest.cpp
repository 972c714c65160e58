// Every sample file of the shared corpus through its reader, and a
// cross-check of triangle counts and bounding-box proportions against assimp.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <cstdio>
#include <string>

#include "ReaderTestSupport.h"

namespace fs = std::filesystem;
using readertest::Face;

namespace {

// Corpus folder and the reader for the files in it (.geom files are AOFF).
const std::pair<const char*, readertest::Reader> kFolders[] = {
    {"obj", ReadObj}, {"raw", ReadRaw}, {"nff", ReadNff}, {"geo", ReadAoff}};

bool IsModel(const fs::path& path)
{
    const std::string ext = path.extension().string();
    return ext == ".obj" || ext == ".raw" || ext == ".nff" || ext == ".geom";
}

std::string Relative(const fs::path& path)
{
    return fs::relative(path, testfiles::CorpusDir("")).generic_string();
}

int ReadFile(readertest::Reader reader, CRecordingModel& model, const fs::path& path)
{
    return readertest::ReadText(reader, model, testfiles::ReadAll(path));
}

// Files that fail, and why: broken indices, and polygons of more corners
// than AOFF allows (3 to 8).
const std::map<std::string, std::string> kExpectedFailures = {
    {"obj/invalid-relative-vertex-index.obj", "Bad face value, line 1"},
    {"obj/issue-140-zero-face-idx.obj", "Bad face value, line 16"},
    {"obj/malformed.obj", "Bad face value, line 23"},
    {"geo/weapons.geom", "Unsupported polygon count of 16 at line# 12827"},
};

// Triangle counts the corpus documents for AOFF files, which assimp cannot
// read (quadrilaterals count twice).
const std::map<std::string, long> kDocumentedTriangles = {
    {"geo/skin.geom", 3530}, {"geo/sphere.geom", 128}, {"geo/kesteloot_teapot.geom", 3751}, {"geo/cube.geom", 12}};

TEST(Corpus, EveryFileReadsCleanly)
{
    TRIVEX_REQUIRE_CORPUS("obj");
    int models = 0;
    for (const auto& [folder, reader] : kFolders) {
        for (const auto& entry : fs::recursive_directory_iterator(testfiles::CorpusDir(folder))) {
            if (!entry.is_regular_file())
                continue;
            const std::string name = Relative(entry.path());
            SCOPED_TRACE(name);
            CRecordingModel model;
            int result = ReadFile(reader, model, entry.path());
            if (!IsModel(entry.path()))
                continue;  // material, colour and notes files: only that they end cleanly
            ++models;
            auto failure = kExpectedFailures.find(name);
            if (failure != kExpectedFailures.end()) {
                EXPECT_NE(result, 1);
                EXPECT_EQ(model.errors, std::vector<std::string>{failure->second});
                continue;
            }
            EXPECT_EQ(result, 1);
            EXPECT_TRUE(model.errors.empty()) << model.errors.front();
            EXPECT_EQ(model.status.back(), "File Read Finished");
            auto documented = kDocumentedTriangles.find(name);
            if (documented != kDocumentedTriangles.end()) {
                EXPECT_EQ(readertest::Triangles(model), documented->second);
            }
            // Centred on the origin and inside the unit sphere.
            model.ComputeRange();
            for (int i = 0; i < 3 && model.GetPolygonCount() > 0; ++i) {
                EXPECT_NEAR(model.m_min[i] + model.m_max[i], 0.0f, 1e-5f);
                EXPECT_LE(model.m_max[i], 1.0f + 1e-5f);
            }
        }
    }
    EXPECT_GT(models, 60);
}

// What `assimp info` says about a file.
struct CAssimpInfo
{
    bool loaded = false;
    long triangles = 0;  // faces of triangle meshes; lines and points left out
    double min[3] = {0, 0, 0};
    double max[3] = {0, 0, 0};
};

// Reads the three numbers in parentheses after `label`.
bool ParsePoint(const std::string& output, const char* label, double (&point)[3])
{
    size_t at = output.find(label);
    if (at == std::string::npos)
        return false;
    at = output.find('(', at);
    return at != std::string::npos &&
           std::sscanf(output.c_str() + at, "(%lf %lf %lf)", &point[0], &point[1], &point[2]) == 3;
}

CAssimpInfo RunAssimp(const fs::path& path)
{
    CAssimpInfo info;
    std::string output;
    if (testfiles::RunCommand("assimp info '" + path.string() + "'", &output) != 0)
        return info;
    if (!ParsePoint(output, "Minimum point", info.min) || !ParsePoint(output, "Maximum point", info.max))
        return info;
    // Mesh lines read "    0 (name): [vertices / bones / faces | primitive types]".
    for (size_t at = output.find(" / 0 / "); at != std::string::npos; at = output.find(" / 0 / ", at + 1)) {
        long faces = 0;
        char type[32] = {};
        if (std::sscanf(output.c_str() + at, " / 0 / %ld | %31[a-z]]", &faces, type) == 2 &&
            std::string(type) == "triangle")
            info.triangles += faces;
    }
    info.loaded = true;
    return info;
}

// Triangles with two corners at exactly the same place. assimp's info drops
// them (or keeps them as lines); our readers keep every face as written.
long DegenerateTriangles(const CModel& model)
{
    long count = 0;
    for (const Face& f : readertest::AllFaces(model)) {
        for (size_t k = 2; k < f.size(); ++k) {
            CVector a = readertest::Vertex(model, f[0]), b = readertest::Vertex(model, f[k - 1]),
                    c = readertest::Vertex(model, f[k]);
            auto same = [](const CVector& p, const CVector& q) { return p.x == q.x && p.y == q.y && p.z == q.z; };
            if (same(a, b) || same(b, c) || same(a, c))
                ++count;
        }
    }
    return count;
}

enum class Difference {
    kAssimpCannotRead,    // assimp rejects the file; we either fail too or read it as the decisions say
    kOnlyAssimpMeshes,    // spheres, cones and assimp's own primitives: assimp tessellates them, NFF polygons only
    kHomogeneousW,        // assimp divides by w; the w component is ignored here
};

// Every explained difference between assimp and our readers on the corpus.
const std::map<std::string, Difference> kExplained = {
    // UTF-16 text holds no line we recognise: an empty model.
    {"obj/box_UTF16BE.obj", Difference::kAssimpCannotRead},
    // Broken face indices: both refuse them.
    {"obj/invalid-relative-vertex-index.obj", Difference::kAssimpCannotRead},
    {"obj/issue-140-zero-face-idx.obj", Difference::kAssimpCannotRead},
    {"obj/malformed.obj", Difference::kAssimpCannotRead},
    // assimp stops at the "la" light; our parse stops there too ("l" reads
    // three numbers and finds "a"), before any polygon.
    {"nff/jaak_cornell.nff", Difference::kAssimpCannotRead},
    // Cones and spheres only (jacks, lattice), and a ring scene with one
    // polygon; assimp rejects all three.
    {"nff/spd_jacks3.nff", Difference::kAssimpCannotRead},
    {"nff/spd_lattice4.nff", Difference::kAssimpCannotRead},
    {"nff/spd/rings_s1.nff", Difference::kAssimpCannotRead},
    // Several named groups: assimp's RAW importer cannot take it. Here its
    // twelve-number lines give triangles from their first nine numbers.
    {"raw/WithColor.raw", Difference::kAssimpCannotRead},
    {"nff/WithCamera.nff", Difference::kOnlyAssimpMeshes},
    {"nff/spheres.nff", Difference::kOnlyAssimpMeshes},
    {"nff/spd_balls4.nff", Difference::kOnlyAssimpMeshes},
    {"nff/spd/balls_s2.nff", Difference::kOnlyAssimpMeshes},
    {"nff/spd_mount4.nff", Difference::kOnlyAssimpMeshes},
    {"nff/spd/mount_s4.nff", Difference::kOnlyAssimpMeshes},
    {"nff/spd_shells.nff", Difference::kOnlyAssimpMeshes},
    // Spheres and a cylinder only; its fills of five numbers would end our parse anyway.
    {"nff/positionTest.nff", Difference::kOnlyAssimpMeshes},
    {"nff/mason_2d.nff", Difference::kOnlyAssimpMeshes},
    // The texture name after the fill starts with "c", read as a cone that
    // cannot be read: our parse ends there.
    {"nff/cone.nff", Difference::kOnlyAssimpMeshes},
    {"nff/dodecahedron.nff", Difference::kOnlyAssimpMeshes},
    {"obj/cube-vertex-w-component.obj", Difference::kHomogeneousW},
};

TEST(Corpus, AgreesWithAssimp)
{
    TRIVEX_REQUIRE_CORPUS("obj");
    if (!testfiles::HaveTool("assimp"))
        GTEST_SKIP() << "assimp not installed (package assimp-utils); cross-check skipped";
    int compared = 0;
    for (const auto& [folder, reader] : kFolders) {
        if (std::string(folder) == "geo")
            continue;  // assimp has no AOFF importer
        for (const auto& entry : fs::recursive_directory_iterator(testfiles::CorpusDir(folder))) {
            if (!entry.is_regular_file() || !IsModel(entry.path()))
                continue;
            const std::string name = Relative(entry.path());
            SCOPED_TRACE(name);
            CRecordingModel model;
            int result = ReadFile(reader, model, entry.path());
            const CAssimpInfo theirs = RunAssimp(entry.path());
            const long ours = readertest::Triangles(model);
            auto explained = kExplained.find(name);
            if (explained != kExplained.end()) {
                switch (explained->second) {
                case Difference::kAssimpCannotRead:
                    EXPECT_FALSE(theirs.loaded) << "assimp reads it now: compare it";
                    if (kExpectedFailures.count(name)) {
                        EXPECT_EQ(result, -1);
                    }
                    break;
                case Difference::kOnlyAssimpMeshes:
                    ASSERT_TRUE(theirs.loaded);
                    EXPECT_LT(ours, theirs.triangles);
                    break;
                case Difference::kHomogeneousW:
                    ASSERT_TRUE(theirs.loaded);
                    EXPECT_EQ(ours, theirs.triangles);
                    break;
                }
                continue;
            }
            ASSERT_TRUE(theirs.loaded) << "assimp could not read it";
            ASSERT_EQ(result, 1);
            ++compared;
            EXPECT_EQ(ours - DegenerateTriangles(model), theirs.triangles);
            model.ComputeRange();
            double ourExtent[3], theirExtent[3], ourLargest = 0, theirLargest = 0;
            for (int i = 0; i < 3; ++i) {
                ourExtent[i] = static_cast<double>(model.m_max[i]) - model.m_min[i];
                theirExtent[i] = theirs.max[i] - theirs.min[i];
                ourLargest = std::max(ourLargest, ourExtent[i]);
                theirLargest = std::max(theirLargest, theirExtent[i]);
            }
            ASSERT_GT(ourLargest, 0.0);
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(ourExtent[i] / ourLargest, theirExtent[i] / theirLargest, 2e-3) << "axis " << i;
        }
    }
    EXPECT_GT(compared, 30);
}

}  // namespace
