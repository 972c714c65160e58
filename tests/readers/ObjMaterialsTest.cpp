// OBJ objects and materials: "o" lines as groups, material files beside the
// OBJ, and the groups that usemtl gives.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "MtlReader.h"
#include "ReaderTestSupport.h"

namespace {

namespace fs = std::filesystem;

// A folder of its own per test, removed afterwards.
class CScratch
{
public:
    CScratch()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = fs::temp_directory_path() / ("trivex-objmtl-" + std::to_string(::getpid()) + "-" + test->name());
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~CScratch() { fs::remove_all(m_path); }
    fs::path operator/(const std::string& name) const { return m_path / name; }

private:
    fs::path m_path;
};

// "name colour finish faces" per group, in order.
std::vector<std::string> Groups(const CModel& model)
{
    std::vector<std::string> out;
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        out.push_back(group->name + " " + ColorTable[group->colorIndex].name + " " +
                      TextureNames[group->textureIndex] + " " + std::to_string(group->polygons.GetCount()) +
                      (group->smooth ? " smooth" : ""));
    }
    return out;
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    return all;
}

const char kTriangle[] = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

const char kLibrary[] =
    "newmtl blue\nKd 0 0 1\n"
    "newmtl glass\n  Kd 1 1 1\n  d 0.4\n"            // indented, as many exporters write it
    "newmtl clear\nKd 0 1 0\nTr 0.6\n"               // Tr is the complement of d
    "newmtl solid\nKd 0 1 0\nTr 0\n"
    "newmtl lamp\nKd 1 1 0\nKe 1 1 0\n"
    "newmtl chrome\nKd 0.9 0.91 0.98\nPm 1\nPr 0\n"
    "newmtl grey\nKd 0.5\n"                          // one number is a grey
    "newmtl Two Words\nKd 1 0 0\n";

struct CCase
{
    const char* what;
    std::string obj;
    std::string library;  // written as m.mtl when not empty
    std::vector<std::string> groups;
    std::string warning;  // a part of the one warning expected, or "" for none
};

TEST(ObjMaterials, GroupsColoursAndFinishes)
{
    const std::string t = kTriangle;
    const CCase cases[] = {
        {"objects are groups in a file without group lines",
         t + "o Body.1\nf 1 2 3\no wing left\nf 1 2 3\nf 1 2 3\n", "",
         {"Body_1 Red Shiny 1", "wing_left Red Shiny 2"}, ""},
        {"with a group line anywhere, objects are ignored",
         t + "o Body\nf 1 2 3\no Wing\nf 1 2 3\ng tail\nf 1 2 3\n", "", {"Red Red Shiny 2", "tail Red Shiny 1"}, ""},
        {"a group of one material takes its look",
         t + "mtllib m.mtl\ng a\nusemtl blue\nf 1 2 3\ng b\nusemtl glass\nf 1 2 3\ng c\nusemtl lamp\nf 1 2 3\n"
             "g d\nusemtl chrome\nf 1 2 3\ng e\nusemtl grey\nf 1 2 3\n",
         kLibrary,
         {"a Blue Shiny 1", "b White GlassFinish 1", "c Yellow Luminous 1", "d Silver Mirror 1",
          "e Gray50 Shiny 1"},
         ""},
        {"Tr below 1 is opaque only at 0", t + "mtllib m.mtl\ng a\nusemtl clear\nf 1 2 3\ng b\nusemtl solid\nf 1 2 3\n",
         kLibrary, {"a Green GlassFinish 1", "b Green Shiny 1"}, ""},
        {"a group of several materials splits; the material stays over group lines",
         t + "mtllib m.mtl\ng body\nusemtl blue\nf 1 2 3\nusemtl Two Words\nf 1 2 3\nf 1 2 3\ng tail\nf 1 2 3\n"
             "g body\nusemtl blue\nf 1 2 3\n",
         kLibrary, {"body_blue Blue Shiny 2", "body_Two_Words Red Shiny 2", "tail Red Shiny 1"}, ""},
        {"faces without a material keep the group's name",
         t + "mtllib m.mtl\ng body\nf 1 2 3\nusemtl blue\nf 1 2 3\n", kLibrary,
         {"body Red Shiny 1", "body_blue Blue Shiny 1"}, ""},
        {"faces before any group line are named after their material",
         t + "mtllib m.mtl\nf 1 2 3\nusemtl blue\nf 1 2 3\nusemtl glass\nf 1 2 3\n", kLibrary,
         {"Red Red Shiny 1", "blue Blue Shiny 1", "glass White GlassFinish 1"}, ""},
        {"objects split by material like groups",
         t + "mtllib m.mtl\no cube\nusemtl blue\nf 1 2 3\nusemtl grey\nf 1 2 3\no cone\nf 1 2 3\n", kLibrary,
         {"cube_blue Blue Shiny 1", "cube_grey Gray50 Shiny 1", "cone Gray50 Shiny 1"}, ""},
        {"a split name the file gave another group gets a number",
         t + "mtllib m.mtl\ng a_blue\nf 1 2 3\ng a\nusemtl blue\nf 1 2 3\nusemtl grey\nf 1 2 3\n", kLibrary,
         {"a_blue Red Shiny 1", "a_blue_2 Blue Shiny 1", "a_grey Gray50 Shiny 1"}, ""},
        {"normals make every part of their group smooth",
         t + "mtllib m.mtl\ng a\nvn 0 0 1\nusemtl blue\nf 1 2 3\nusemtl grey\nf 1 2 3\n", kLibrary,
         {"a_blue Blue Shiny 1 smooth", "a_grey Gray50 Shiny 1 smooth"}, ""},
        {"a library may follow the usemtl", t + "g a\nusemtl blue\nmtllib m.mtl\nf 1 2 3\n", kLibrary,
         {"a Blue Shiny 1"}, ""},
        {"an undefined material keeps Red", t + "mtllib m.mtl\ng a\nusemtl nothing\nf 1 2 3\n", kLibrary,
         {"a Red Shiny 1"}, "Material nothing is not defined"},
        {"a missing library is reported once", t + "mtllib gone.mtl\nmtllib gone.mtl\ng a\nusemtl blue\nf 1 2 3\n",
         "", {"a Red Shiny 1"}, "Material file gone.mtl not found"},
        {"a damaged library is left out whole", t + "mtllib m.mtl\ng a\nusemtl blue\nf 1 2 3\n",
         "newmtl blue\nKd 0 0 1\nnewmtl bad\nKd 1 nan 0\n", {"a Red Shiny 1"}, "m.mtl, line 4 cannot be read"},
        {"a colour that is not a number damages the library", t + "mtllib m.mtl\ng a\nusemtl blue\nf 1 2 3\n",
         "newmtl blue\nKd 0 0 1\nd half\n", {"a Red Shiny 1"}, "line 3 cannot be read"},
        {"libraries outside the folder are refused", t + "mtllib ../m.mtl\ng a\nusemtl blue\nf 1 2 3\n", kLibrary,
         {"a Red Shiny 1"}, "../m.mtl refused"},
        {"absolute names are refused", t + "mtllib /etc/m.mtl\ng a\nf 1 2 3\n", "", {"a Red Shiny 1"},
         "/etc/m.mtl refused"},
        {"a library name with blanks, and a comment after it", t + "mtllib m m.mtl # colours\ng a\nusemtl blue\nf 1 2 3\n",
         "", {"a Blue Shiny 1"}, ""},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.what);
        CScratch scratch;
        testfiles::WriteAll(scratch / "model.obj", c.obj);
        if (!c.library.empty())
            testfiles::WriteAll(scratch / "m.mtl", c.library);
        if (c.obj.find("m m.mtl") != std::string::npos)
            testfiles::WriteAll(scratch / "m m.mtl", kLibrary);
        CRecordingModel model;
        ASSERT_EQ(ReadObjFile(model, (scratch / "model.obj").c_str()), 1) << Joined(model.errors);
        EXPECT_EQ(Joined(Groups(model)), Joined(c.groups));
        if (c.warning.empty()) {
            EXPECT_TRUE(model.infos.empty()) << Joined(model.infos);
        } else {
            ASSERT_EQ(model.infos.size(), 1u) << Joined(model.infos);
            EXPECT_NE(model.infos[0].find(c.warning), std::string::npos) << model.infos[0];
        }
    }
}

// A stream has no folder to find libraries in: materials still split the
// groups, silently, and faces keep the default look.
TEST(ObjMaterials, StreamWithoutFolder)
{
    CRecordingModel model;
    const std::string text = std::string(kTriangle) + "mtllib m.mtl\ng a\nusemtl x\nf 1 2 3\nusemtl y\nf 1 2 3\n";
    ASSERT_EQ(readertest::ReadText(ReadObj, model, text), 1);
    EXPECT_EQ(Joined(Groups(model)), "a_x Red Shiny 1\na_y Red Shiny 1\n");
    EXPECT_TRUE(model.infos.empty()) << Joined(model.infos);
}

// A group line far beyond the first piece the reader parses still turns
// objects off for the whole file.
TEST(ObjMaterials, GroupLineLateInALargeFile)
{
    std::string text = kTriangle;
    text += "o first\n";
    for (int i = 0; i < 20000; ++i)
        text += "f 1 2 3\n";
    text += "g last\nf 1 2 3\n";
    CRecordingModel model;
    ASSERT_EQ(readertest::ReadText(ReadObj, model, text), 1);
    EXPECT_EQ(Joined(Groups(model)), "Red Red Shiny 20000\nlast Red Shiny 1\n");
}

}  // namespace
