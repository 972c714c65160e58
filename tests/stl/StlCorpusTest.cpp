// assimp's STL exports of the corpus models, binary and ASCII, read by our
// reader: every facet but those whose corners coincide (which admesh counts
// apart, and the reader drops as the other triangle readers do), with the
// area our own readers find in the model exported.

#include <gtest/gtest.h>

#include "StlFiles.h"

namespace {

double Relative(double a, double b)
{
    return std::abs(a - b) / std::max(1e-9, std::max(std::abs(a), std::abs(b)));
}

TEST(StlCorpus, AssimpExportsReadWhole)
{
    TRIVEX_REQUIRE_CORPUS("obj");
    TRIVEX_REQUIRE_TOOL("assimp");
    TRIVEX_REQUIRE_TOOL("admesh");
    int compared = 0, damaged = 0;
    for (const char* folder : {"obj", "3ds"}) {
        for (const auto& entry : std::filesystem::directory_iterator(testfiles::CorpusDir(folder))) {
            const std::string path = entry.path().string();
            CRecordingModel source;
            if (!OpenByName(source, path) || source.GetPolygonCount() == 0)
                continue;  // files meant to fail, and other formats
            // admesh counts the facets whose corners coincide; it reads
            // binary files more reliably than text, so the binary export
            // says how many facets both exports should give.
            stlfiles::CTempPath binary("corpus-binary.stl");
            if (testfiles::RunCommand("assimp export '" + path + "' " + binary.Quoted() + " -fstlb") != 0)
                continue;  // what assimp cannot read it cannot export
            const long faces = stlfiles::AssimpFacesAndMeshes(binary.String()).first;
            // assimp counts faces it does not write (lines, points) in the
            // header of a binary file, which is then shorter than it says:
            // a damaged file, which the reader must refuse.
            const std::string bytes = testfiles::ReadAll(binary.String());
            if (bytes.size() >= 84 && bytes.size() < 84 + 50 * uint64_t(stlfiles::LittleEndian32(bytes.data() + 80))) {
                int result = 1;
                const auto model = stlfiles::ReadFile(binary.String(), &result);
                EXPECT_EQ(result, 0) << path;
                ASSERT_EQ(model->errors.size(), 1u) << path;
                EXPECT_NE(model->errors[0].find("cut short"), std::string::npos) << model->errors[0];
                ++damaged;
                continue;
            }
            const stlfiles::CAdmesh admesh = stlfiles::Admesh(binary.String(), "--exact");
            // admesh takes a file of a single facet for an empty one.
            const long expected = admesh.ran ? admesh.kept : faces;
            if (admesh.ran) {
                EXPECT_EQ(admesh.facets, faces) << path;
            }
            stlfiles::CTempPath ascii("corpus-ascii.stl");
            ASSERT_EQ(testfiles::RunCommand("assimp export '" + path + "' " + ascii.Quoted() + " -fstl"), 0);
            for (const stlfiles::CTempPath* file : {&binary, &ascii}) {
                SCOPED_TRACE(path + (file == &ascii ? " exported as ASCII" : " exported as binary"));
                int result = 0;
                const auto model = stlfiles::ReadFile(file->String(), &result);
                ASSERT_EQ(result, 1) << (model->errors.empty() ? "" : model->errors[0]);
                EXPECT_EQ(stlfiles::Triangles(*model), expected);
                // assimp divides by the w coordinate where a vertex has one;
                // our OBJ reader keeps x, y and z as they are.
                if (entry.path().filename() != "cube-vertex-w-component.obj") {
                    EXPECT_LT(Relative(stlfiles::Area(*model), stlfiles::Area(source)), 1e-4);
                }
                ++compared;
            }
        }
    }
    EXPECT_GE(compared, 20);
    std::printf("%d exports read, %d damaged ones refused\n", compared, damaged);
}

}  // namespace
