// STL written by us, binary and ASCII, checked by admesh (facets, the volume
// it works out from our normals, whether each normal agrees with its
// corners), by assimp (triangles, one mesh per solid) and by our reader.

#include <gtest/gtest.h>

#include <thread>

#include "StlFiles.h"
#include "Writers.h"

namespace {

// A unit cube of quadrilaterals wound counter-clockwise from outside, the
// top in a group of its own.
const char kCube[] = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
                     "g box\nf 1 4 3 2\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\ng lid top\nf 5 6 7 8\n";

// The models: the cube, the cube with clockwise fronts forced (normals that
// point in, which the corners must follow), a grid of quadrilaterals that
// are not flat, the sample house and every corpus OBJ file that reads.
std::vector<std::pair<std::string, int>> Sources(const std::string& folder)
{
    testfiles::WriteAll(folder + "/cube.obj", kCube);
    testfiles::WriteAll(folder + "/grid.obj", testfiles::GridObj(5));
    std::vector<std::pair<std::string, int>> sources = {{folder + "/cube.obj", kNormalOrderAuto},
                                                        {folder + "/cube.obj", 1},
                                                        {folder + "/grid.obj", kNormalOrderAuto},
                                                        {TRIVEX_SAMPLES_DIR "/house.obj", kNormalOrderAuto}};
    if (std::filesystem::is_directory(testfiles::CorpusDir("obj")))
        for (const auto& entry : std::filesystem::directory_iterator(testfiles::CorpusDir("obj")))
            sources.emplace_back(entry.path().string(), kNormalOrderAuto);
    return sources;
}

TEST(StlWriter, OraclesReadWhatWeWrite)
{
    TRIVEX_REQUIRE_STL_TOOL("admesh");
    TRIVEX_REQUIRE_STL_TOOL("assimp");
    const stlfiles::CTempPath folder("sources");
    std::filesystem::create_directories(folder.String());
    int checked = 0, closed = 0;
    for (const auto& [path, normalOrder] : Sources(folder.String())) {
        CRecordingModel model;
        model.m_normalOrderSetting = normalOrder;
        if (!OpenByName(model, path) || model.GetPolygonCount() == 0)
            continue;  // the corpus holds files meant to fail, and material files
        std::vector<std::string> groups;
        for (int g = 0; g < model.GetGroupCount(); ++g)
            groups.push_back(model.GetGroup(g)->name);
        for (const bool ascii : {false, true}) {
            SCOPED_TRACE(path + (normalOrder == 1 ? " inside out" : "") + (ascii ? " as ASCII" : " as binary"));
            model.m_stlAscii = ascii;
            const stlfiles::CTempPath file("out.stl");
            ASSERT_TRUE(WriteModelFile(model, *FindFormat("stl"), file.String()));
            ++checked;
            const long triangles = stlfiles::Triangles(model);
            const auto [faces, meshes] = stlfiles::AssimpFacesAndMeshes(file.String());
            EXPECT_EQ(faces, triangles);
            EXPECT_EQ(meshes, ascii ? static_cast<long>(groups.size()) : 1);

            int result = 0;
            const auto back = stlfiles::ReadFile(file.String(), result);
            ASSERT_EQ(result, 1);
            EXPECT_LT(stlfiles::Relative(stlfiles::Area(*back), stlfiles::Area(model)), 1e-5);
            if (ascii && path.find("/sources/") != std::string::npos) {
                EXPECT_EQ(testfiles::GroupNames(*back), groups);
            }
            // admesh reads one solid a file and refuses files of fewer than
            // four facets; it checks the binary files, and the ASCII ones of
            // one group.
            if ((ascii && groups.size() > 1) || triangles < 4)
                continue;
            const stlfiles::CAdmesh admesh = stlfiles::Admesh(file.String(), "--exact");
            ASSERT_TRUE(admesh.ran) << admesh.output;
            EXPECT_EQ(admesh.facets, triangles);
            EXPECT_EQ(stlfiles::Triangles(*back), admesh.kept);  // less those whose corners coincide
            // Where every edge meets another the facets enclose a volume:
            // negative where the normals point in.
            if (admesh.disconnected == 0) {
                EXPECT_LT(stlfiles::Relative(admesh.volume, stlfiles::Volume(model)), 1e-4)
                    << admesh.volume << " against " << stlfiles::Volume(model);
                ++closed;
            }
            EXPECT_EQ(stlfiles::Admesh(file.String(), "--exact --normal-values").normalsFixed, 0)
                << "facet normals that disagree with their corners";
        }
    }
    EXPECT_GE(checked, 16);
    EXPECT_GE(closed, 4);
}

// The converter writes binary STL unless --stl-ascii asks for text.
TEST(StlWriter, ConverterAsciiOption)
{
    for (const bool ascii : {false, true}) {
        const stlfiles::CTempPath file("house.stl");
        const std::string command = std::string("'") + TRIVEX_BIN_DIR "/trivex-convert' -q " +
                                    (ascii ? "--stl-ascii '" : "'") + TRIVEX_SAMPLES_DIR "/house.obj' " + file.Quoted();
        ASSERT_EQ(testfiles::RunCommand(command), 0) << command;
        EXPECT_EQ(testfiles::ReadAll(file.String()).rfind("solid walls\n", 0) == 0, ascii);
    }
}

// A stream that cannot go back to the header (a pipe) gets the facets
// counted before they are written: the same bytes as a file.
TEST(StlWriter, PipeGetsTheBytesOfAFile)
{
    const stlfiles::CTempPath source("grid.obj");
    testfiles::WriteAll(source.String(), testfiles::GridObj(40) + "g lid\nf 1 2 43\n");
    CRecordingModel model;
    ASSERT_TRUE(OpenByName(model, source.String()));
    const std::string expected = testfiles::WriteToString(WriteStl, model, 3.0);
    ASSERT_EQ(expected.size(), 84 + 3201 * 50u);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::string piped;
    std::thread drain([&piped, in = ends[0]] {
        char block[4096];
        for (ssize_t n; (n = read(in, block, sizeof block)) > 0;)
            piped.append(block, static_cast<size_t>(n));
        close(in);
    });
    FILE* fp = fdopen(ends[1], "wb");
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(WriteStl(model, fp, 3.0), 1);
    std::fclose(fp);
    drain.join();
    EXPECT_TRUE(piped == expected);
}

}  // namespace
