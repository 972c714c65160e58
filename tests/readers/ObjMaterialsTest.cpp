// OBJ objects and materials beyond what the corpus files show: finishes,
// split names, libraries that are missing, damaged or refused.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "ReaderTestSupport.h"

namespace {

namespace fs = std::filesystem;

// "name colour finish faces" per group, one a line.
std::string Groups(const CModel& model)
{
    std::string out;
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        out += group->name + " " + ColorTable[group->colorIndex].name + " " + TextureNames[group->textureIndex] + " " +
               std::to_string(group->polygons.GetCount()) + (group->smooth ? " smooth" : "") + "\n";
    }
    return out;
}

const char kLibrary[] =
    "newmtl blue\nKd 0 0 1\n"
    "newmtl glass\n  Kd 1 1 1\n  d 0.4\n"  // indented, as many exporters write it
    "newmtl clear\nKd 0 1 0\nTr 0.6\n"     // Tr is the complement of d
    "newmtl solid\nKd 0 1 0\nTr 0\n"
    "newmtl lamp\nKd 1 1 0\nKe 1 1 0\n"
    "newmtl chrome\nKd 0.9 0.91 0.98\nPm 1\nPr 0\n"
    "newmtl grey\nKd 0.5\n";  // one number is a grey

TEST(ObjMaterials, GroupsColoursAndFinishes)
{
    struct CCase
    {
        const char* what;
        std::string obj;      // after three vertices; m.mtl holds `library`
        std::string library;
        std::string groups;
        std::string warning;  // part of the one warning expected, or none
    };
    const std::string lib = "mtllib m.mtl\n";
    const CCase cases[] = {
        {"objects are groups without group lines", "o Body.1\nf 1 2 3\no wing left\nf 1 2 3\n", "",
         "Body_1 Red Shiny 1\nwing_left Red Shiny 1\n", ""},
        {"one group line anywhere turns objects off", "o Body\nf 1 2 3\no Wing\nf 1 2 3\ng tail\nf 1 2 3\n", "",
         "Red Red Shiny 2\ntail Red Shiny 1\n", ""},
        {"finishes", lib + "g a\nusemtl glass\nf 1 2 3\ng b\nusemtl clear\nf 1 2 3\ng c\nusemtl solid\nf 1 2 3\n"
                           "g d\nusemtl lamp\nf 1 2 3\ng e\nusemtl chrome\nf 1 2 3\ng f\nusemtl grey\nf 1 2 3\n",
         kLibrary,
         "a White GlassFinish 1\nb Green GlassFinish 1\nc Green Shiny 1\nd Yellow Luminous 1\n"
         "e Silver Mirror 1\nf Gray50 Shiny 1\n",
         ""},
        {"split groups; the material holds over group lines; normals smooth every part",
         lib + "g body\nf 1 2 3\nvn 0 0 1\nusemtl blue\nf 1 2 3\nusemtl grey\nf 1 2 3\ng tail\nf 1 2 3\n", kLibrary,
         "body Red Shiny 1 smooth\nbody_blue Blue Shiny 1 smooth\nbody_grey Gray50 Shiny 1 smooth\n"
         "tail Gray50 Shiny 1\n",
         ""},
        {"faces before any group are named after their material", lib + "f 1 2 3\nusemtl blue\nf 1 2 3\n", kLibrary,
         "Red Red Shiny 1\nblue Blue Shiny 1\n", ""},
        {"a split name the file gave a group with faces gets a number",
         lib + "g a_blue\nf 1 2 3\ng a_grey\ng a\nusemtl blue\nf 1 2 3\nusemtl grey\nf 1 2 3\n", kLibrary,
         "a_blue Red Shiny 1\na_blue_2 Blue Shiny 1\na_grey Gray50 Shiny 1\n", ""},
        {"a library may follow the usemtl", "g a\nusemtl blue\n" + lib + "f 1 2 3\n", kLibrary, "a Blue Shiny 1\n",
         ""},
        {"undefined material", lib + "g a\nusemtl nothing\nf 1 2 3\n", kLibrary, "a Red Shiny 1\n",
         "Material nothing is not defined"},
        {"missing library, reported once", "mtllib gone.mtl\nmtllib gone.mtl\ng a\nusemtl blue\nf 1 2 3\n", "",
         "a Red Shiny 1\n", "Material file gone.mtl not found"},
        {"damaged library, left out whole", lib + "g a\nusemtl blue\nf 1 2 3\n",
         "newmtl blue\nKd 0 0 1\nnewmtl bad\nKd 1 nan 0\n", "a Red Shiny 1\n", "m.mtl, line 4 cannot be read"},
        {"library outside the folder", "mtllib ../m.mtl\ng a\nusemtl blue\nf 1 2 3\n", kLibrary, "a Red Shiny 1\n",
         "../m.mtl refused"},
        {"library name with blanks and a comment", "mtllib m m.mtl # colours\ng a\nusemtl blue\nf 1 2 3\n", "",
         "a Blue Shiny 1\n", ""},
    };
    const fs::path folder = fs::temp_directory_path() / ("trivex-objmtl-" + std::to_string(::getpid()));
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder);
        testfiles::WriteAll(folder / "model.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n" + c.obj);
        testfiles::WriteAll(folder / "m m.mtl", kLibrary);
        if (!c.library.empty())
            testfiles::WriteAll(folder / "m.mtl", c.library);
        CRecordingModel model;
        ASSERT_EQ(ReadObjFile(model, (folder / "model.obj").c_str()), 1);
        EXPECT_EQ(Groups(model), c.groups);
        ASSERT_EQ(model.infos.size(), c.warning.empty() ? 0u : 1u);
        if (!c.warning.empty()) {
            EXPECT_NE(model.infos[0].find(c.warning), std::string::npos) << model.infos[0];
        }
    }
    fs::remove_all(folder);
}

// A group line far beyond the first piece the reader parses still turns
// objects off for the whole file.
TEST(ObjMaterials, GroupLineLateInALargeFile)
{
    std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\no first\n";
    for (int i = 0; i < 20000; ++i)
        text += "f 1 2 3\n";
    CRecordingModel model;
    ASSERT_EQ(readertest::ReadText(ReadObj, model, text + "g last\nf 1 2 3\n"), 1);
    EXPECT_EQ(Groups(model), "Red Red Shiny 20000\nlast Red Shiny 1\n");
}

}  // namespace
