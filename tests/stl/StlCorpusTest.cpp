// assimp's STL exports of the corpus models, binary and ASCII, read by our
// reader: every facet but those whose corners coincide (admesh counts them,
// and the reader drops them as the other triangle readers do), with the area
// our own readers find in the model exported.

#include <gtest/gtest.h>

#include <cstring>

#include "StlFiles.h"

namespace {

TEST(StlCorpus, AssimpExportsReadWhole)
{
    TRIVEX_REQUIRE_CORPUS("obj");
    TRIVEX_REQUIRE_STL_TOOL("assimp");
    TRIVEX_REQUIRE_STL_TOOL("admesh");
    int compared = 0, damaged = 0;
    for (const char* folder : {"obj", "3ds"})
        for (const auto& entry : std::filesystem::directory_iterator(testfiles::CorpusDir(folder))) {
            const std::string path = entry.path().string();
            CRecordingModel source;
            if (!OpenByName(source, path) || source.GetPolygonCount() == 0)
                continue;  // files meant to fail, and material files
            const stlfiles::CTempPath binary("export.stl"), ascii("export-ascii.stl");
            if (testfiles::RunCommand("assimp export '" + path + "' " + binary.Quoted() + " -fstlb") != 0 ||
                testfiles::RunCommand("assimp export '" + path + "' " + ascii.Quoted() + " -fstl") != 0)
                continue;  // what assimp cannot read it cannot export
            const long faces = stlfiles::AssimpFacesAndMeshes(binary.String()).first;
            const stlfiles::CAdmesh admesh = stlfiles::Admesh(binary.String(), "--exact");
            for (const stlfiles::CTempPath* file : {&binary, &ascii}) {
                SCOPED_TRACE(path + (file == &ascii ? " exported as ASCII" : " exported as binary"));
                int result = 0;
                const auto model = stlfiles::ReadFile(file->String(), result);
                // assimp counts in the binary header the faces it does not
                // write (lines, points): such a file is cut short.
                const std::string bytes = testfiles::ReadAll(file->String());
                uint32_t count = 0;
                if (bytes.size() >= 84)
                    std::memcpy(&count, bytes.data() + 80, 4);  // the machine is little-endian, as the file
                if (file == &binary && bytes.size() < 84 + 50 * uint64_t(count)) {
                    EXPECT_EQ(result, 0);
                    EXPECT_NE(model->errors.at(0).find("cut short"), std::string::npos);
                    ++damaged;
                    continue;
                }
                ASSERT_EQ(result, 1) << model->errors.at(0);
                // admesh refuses files of fewer than four facets, assimp
                // its own damaged ones.
                const long expected = admesh.ran ? admesh.kept : faces;
                if (expected >= 0) {
                    EXPECT_EQ(stlfiles::Triangles(*model), expected);
                }
                // assimp divides by a vertex's w coordinate; our OBJ reader leaves it out.
                if (entry.path().filename() != "cube-vertex-w-component.obj") {
                    EXPECT_LT(stlfiles::Relative(stlfiles::Area(*model), stlfiles::Area(source)), 1e-4);
                }
                ++compared;
            }
        }
    EXPECT_GE(compared, 40);
    EXPECT_EQ(damaged, 1);  // testmixed.obj, with lines and points
}

}  // namespace
