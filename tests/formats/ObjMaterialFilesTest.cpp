// OBJ output with a material file: what it writes, that our reader gets every
// group's look back from it, and that a failed save keeps the files there.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Formats.h"
#include "RecordingModel.h"
#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

fs::path Scratch()
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path path = fs::temp_directory_path() / ("trivex-objmtl-" + std::to_string(::getpid()) + "-" + test->name());
    fs::remove_all(path);
    fs::create_directories(path);
    return path;
}

// Name, colour, finish and faces of each active group. Two table entries
// may share a colour (Navy and NavyBlue): the colour is what must come back,
// whichever name it has. (Smoothing does not come back through OBJ: the
// writer puts every normal before the first group.)
std::vector<std::string> Looks(const CModel& model)
{
    std::vector<std::string> looks;
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        const ColorEntry& c = ColorTable[group->colorIndex];
        if (group->active)
            looks.push_back(group->name + " " + std::to_string(c.red) + " " + std::to_string(c.green) + " " +
                            std::to_string(c.blue) + " " + TextureNames[group->textureIndex] + " " +
                            std::to_string(group->polygons.GetCount()));
    }
    return looks;
}

// Writes `model` as OBJ with its material file and reads it back.
void ExpectRoundTrip(CModel& model, const fs::path& folder)
{
    model.m_objMaterials = 1;
    const fs::path obj = folder / "out.obj";
    ASSERT_TRUE(WriteModelFile(model, *FindFormat("obj"), obj.string()));
    const std::string text = testfiles::ReadAll(obj);
    EXPECT_EQ(text.rfind("mtllib out.mtl\n", 0), 0u) << text.substr(0, 80);
    ASSERT_TRUE(fs::exists(folder / "out.mtl"));
    CRecordingModel back;
    ASSERT_TRUE(ReadModelFile(back, *FindFormat("obj"), obj.string()));
    EXPECT_TRUE(back.infos.empty()) << back.infos[0];
    EXPECT_EQ(Looks(back), Looks(model));
}

// Every colour of the table with every finish in turn, and a group the user
// left out, which neither file names.
TEST(ObjMaterialFiles, EveryColourAndFinishComesBack)
{
    const fs::path folder = Scratch();
    CRecordingModel model;
    for (int c = 0; c < kColorCount; ++c) {
        model.SetGroup(("g" + std::to_string(c)).c_str(), c, c % kTextureCount);
        const float x = static_cast<float>(c);
        model.AddTriangle(CVector(x, 0, 0), CVector(x + 1, 0, 0), CVector(x, 1, c % 2 ? 1.0f : 0.0f));
    }
    model.SetGroup("left_out", 5, 1);
    model.AddTriangle(CVector(0, 5, 0), CVector(1, 5, 0), CVector(0, 6, 0));
    model.GetGroup(model.GetGroupCount() - 1)->active = 0;
    model.FinishLoad();
    ExpectRoundTrip(model, folder);

    const std::string library = testfiles::ReadAll(folder / "out.mtl");
    EXPECT_EQ(library.find("Brass_GlassFinish"), std::string::npos) << "the ignored group's material is written";
    size_t materials = 0;
    for (size_t at = library.find("newmtl "); at != std::string::npos; at = library.find("newmtl ", at + 1))
        ++materials;
    EXPECT_EQ(materials, static_cast<size_t>(kColorCount));
    fs::remove_all(folder);
}

// The corpus models with materials keep their groups' looks through our own
// OBJ and material file.
TEST(ObjMaterialFiles, CorpusModelsComeBack)
{
    TRIVEX_REQUIRE_CORPUS("obj");
    const fs::path folder = Scratch();
    for (const char* name : {"cornell_box.obj", "hundred_cubes.obj", "regr01.obj", "segment.obj", "spider.obj",
                             "cube with white spaces.obj", "map-bump.obj"}) {
        SCOPED_TRACE(name);
        CRecordingModel model;
        ASSERT_TRUE(ReadModelFile(model, *FindFormat("obj"), testfiles::CorpusDir("obj") / name));
        ExpectRoundTrip(model, folder);
    }
    fs::remove_all(folder);
}

// A save that fails at the OBJ leaves the material file as it was, and no
// temporary file of either behind; one that would write the OBJ over its own
// material file is refused.
TEST(ObjMaterialFiles, FailedSaveKeepsBothFiles)
{
    const fs::path folder = Scratch();
    CRecordingModel model;
    model.SetGroup("a", 3, 5);
    model.AddTriangle(CVector(0, 0, 0), CVector(1, 0, 0), CVector(0, 1, 0));
    model.FinishLoad();
    model.m_objMaterials = 1;
    testfiles::WriteAll(folder / "out.mtl", "old");
    fs::create_directories(folder / "out.obj");  // cannot be opened as a file
    EXPECT_FALSE(WriteModelFile(model, *FindFormat("obj"), (folder / "out.obj").string()));
    EXPECT_FALSE(model.errors.empty());
    EXPECT_EQ(testfiles::ReadAll(folder / "out.mtl"), "old");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++entries;
    EXPECT_EQ(entries, 2);

    model.errors.clear();
    EXPECT_FALSE(WriteModelFile(model, *FindFormat("obj"), (folder / "x.mtl").string()));
    ASSERT_EQ(model.errors.size(), 1u);
    EXPECT_NE(model.errors[0].find("would replace"), std::string::npos);
    EXPECT_FALSE(fs::exists(folder / "x.mtl"));
    fs::remove_all(folder);
}

}  // namespace
