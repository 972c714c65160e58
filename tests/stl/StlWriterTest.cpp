// STL written by us, checked by admesh (facets, volume, and whether each
// facet's normal agrees with its corners), by assimp (triangles, one mesh per
// solid) and by our own reader; then assimp's STL exports of the corpus read
// by our reader.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "StlFiles.h"
#include "TextReaders.h"

namespace {

// A unit cube of quadrilaterals wound counter-clockwise from outside, the
// top in a group of its own.
const char kCubeObj[] =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
    "g box\nf 1 4 3 2\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\ng lid top\nf 5 6 7 8\n";

struct CSource
{
    std::string name;
    std::string objText;  // read with our OBJ reader, or
    std::string path;     // opened by name
    int normalOrder = kNormalOrderAuto;
};

std::vector<CSource> Sources()
{
    std::vector<CSource> sources = {
        {"cube", kCubeObj, "", kNormalOrderAuto},
        // Clockwise fronts: the normals point in, and the corners must turn with them.
        {"cube inside out", kCubeObj, "", 1},
        {"grid", testfiles::GridObj(5), "", kNormalOrderAuto},
        {"house", "", TRIVEX_SAMPLES_DIR "/house.obj", kNormalOrderAuto},
    };
    const std::filesystem::path corpus = testfiles::CorpusDir("obj");
    if (std::filesystem::is_directory(corpus))
        for (const auto& entry : std::filesystem::directory_iterator(corpus))
            if (entry.path().extension() == ".obj")
                sources.push_back({entry.path().filename().string(), "", entry.path().string(), kNormalOrderAuto});
    return sources;
}

bool Load(const CSource& source, CModel& model)
{
    model.m_normalOrderSetting = source.normalOrder;
    if (!source.path.empty())
        return OpenByName(model, source.path) && model.GetPolygonCount() > 0;
    FILE* fp = testfiles::OpenText(source.objText);
    const bool ok = fp && ReadObj(model, fp) == 1;
    if (fp)
        std::fclose(fp);
    return ok;
}

std::vector<std::string> WrittenGroups(const CModel& model)
{
    std::vector<std::string> names;
    for (int g = 0; g < model.GetGroupCount(); ++g)
        if (model.GetGroup(g)->active && model.GetGroup(g)->polygons.GetCount() > 0)
            names.push_back(model.GetGroup(g)->name);
    return names;
}

double Relative(double a, double b)
{
    return std::abs(a - b) / std::max(1e-9, std::max(std::abs(a), std::abs(b)));
}

TEST(StlWriter, OraclesReadWhatWeWrite)
{
    TRIVEX_REQUIRE_TOOL("admesh");
    TRIVEX_REQUIRE_TOOL("assimp");
    int checked = 0, admeshChecked = 0;
    for (const CSource& source : Sources()) {
        CRecordingModel model;
        if (!Load(source, model))
            continue;  // the corpus holds files meant to fail
        model.errors.clear();
        for (const bool ascii : {false, true}) {
            SCOPED_TRACE(source.name + (ascii ? " as ASCII" : " as binary"));
            model.m_stlAscii = ascii;
            stlfiles::CTempPath file(std::to_string(checked) + ".stl");
            ASSERT_TRUE(WriteModelFile(model, *FindFormat("stl"), file.String()));
            ++checked;
            const long triangles = stlfiles::Triangles(model);

            // admesh reads one solid a file: an ASCII file of several is
            // handed to it a solid at a time.
            const std::vector<std::string> solids = stlfiles::SplitSolids(testfiles::ReadAll(file.String()), ascii);
            // admesh takes a file of fewer than four facets for an empty one.
            bool admeshReads = true;
            for (const std::string& solid : solids)
                admeshReads = admeshReads && solid.size() >= 84 + 4 * 50;
            long facets = 0, kept = -1;
            for (const std::string& solid : admeshReads ? solids : std::vector<std::string>()) {
                stlfiles::CTempPath part("solid.stl");
                testfiles::WriteAll(part.String(), solid);
                const stlfiles::CAdmesh admesh = stlfiles::Admesh(part.String(), "--exact");
                ASSERT_TRUE(admesh.ran) << admesh.output;
                facets += admesh.facets;
                kept = (kept < 0 ? 0 : kept) + admesh.kept;
                // Where every edge meets another the facets enclose a
                // volume, which admesh works out from the normals we wrote:
                // negative where they point in.
                if (admesh.closed && solids.size() == 1) {
                    EXPECT_LT(Relative(admesh.volume, stlfiles::Volume(model)), 1e-4)
                        << admesh.volume << " against " << stlfiles::Volume(model);
                }
                const stlfiles::CAdmesh normals = stlfiles::Admesh(part.String(), "--exact --normal-values");
                EXPECT_EQ(normals.normalsFixed, 0) << "facet normals that disagree with the corners";
            }
            if (admeshReads) {
                EXPECT_EQ(facets, triangles);
                ++admeshChecked;
            }

            const auto [faces, meshes] = stlfiles::AssimpFacesAndMeshes(file.String());
            EXPECT_EQ(faces, triangles);
            if (ascii) {
                EXPECT_EQ(meshes, static_cast<long>(WrittenGroups(model).size()));
            }

            int result = 0;
            const auto back = stlfiles::ReadFile(file.String(), &result);
            ASSERT_EQ(result, 1);
            // Facets whose corners coincide are dropped, as admesh counts them.
            if (kept >= 0) {
                EXPECT_EQ(stlfiles::Triangles(*back), kept);
            }
            EXPECT_LT(Relative(stlfiles::Area(*back), stlfiles::Area(model)), 1e-4);
            if (ascii && source.path.empty()) {
                EXPECT_EQ(testfiles::GroupNames(*back), WrittenGroups(model));
            }
        }
    }
    EXPECT_GE(checked, 8);
    EXPECT_GE(admeshChecked, 6);
}

// The scale handed to the writer multiplies every coordinate: twice the
// model's own scale gives a cube of side 2.
TEST(StlWriter, CubeComesBackAtTheScaleGiven)
{
    CRecordingModel model;
    ASSERT_TRUE(Load(Sources()[0], model));
    for (const bool ascii : {false, true}) {
        SCOPED_TRACE(ascii ? "ASCII" : "binary");
        model.m_stlAscii = ascii;
        int result = 0;
        const std::string bytes = testfiles::WriteToString(WriteStl, model, 2.0 * model.m_scale, &result);
        ASSERT_EQ(result, 1);
        if (ascii) {
            EXPECT_EQ(bytes.rfind("solid box\n", 0), 0u);
        } else {
            EXPECT_EQ(bytes.size(), 84u + 50u * 12u);
        }
        stlfiles::CTempPath file("scaled.stl");
        testfiles::WriteAll(file.String(), bytes);
        int read = 0;
        const auto back = stlfiles::ReadFile(file.String(), &read);
        ASSERT_EQ(read, 1);
        EXPECT_NEAR(stlfiles::Volume(*back), 8.0, 1e-4);
        EXPECT_NEAR(back->m_scale, 2.0 * model.m_scale, 1e-5);
        const std::vector<std::string> groups =
            ascii ? std::vector<std::string>{"box", "lid_top"} : std::vector<std::string>{file.Stem()};
        EXPECT_EQ(testfiles::GroupNames(*back), groups);
        EXPECT_TRUE(model.HasStatus("Saving Group lid_top"));
    }
}

}  // namespace
