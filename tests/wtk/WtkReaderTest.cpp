// What a World Toolkit file becomes in the model, what stops a read, and how
// the converter tells the format from Neutral File Format.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "Formats.h"
#include "RecordingModel.h"
#include "TestFiles.h"
#include "Writers.h"
#include "WtkNff.h"

namespace {

using Triangle = std::array<CVector, 3>;

int Read(CRecordingModel& model, const std::string& text)
{
    FILE* fp = testfiles::OpenText(text);
    int result = ReadWtkNff(model, fp);
    std::fclose(fp);
    EXPECT_EQ(model.waitDepth, 0);
    return result;
}

// The same with material tables from memory, by name.
int Read(CRecordingModel& model, const std::string& text, const std::map<std::string, std::string>& tables)
{
    FILE* fp = testfiles::OpenText(text);
    int result = ReadWtkNff(model, fp, [&tables](const std::string& name) -> FILE* {
        auto at = tables.find(name);
        return at == tables.end() ? nullptr : testfiles::OpenText(at->second);
    });
    std::fclose(fp);
    EXPECT_EQ(model.waitDepth, 0);
    return result;
}

std::vector<Triangle> Triangles(const CModel& model, int g)
{
    std::vector<Triangle> out;
    const CGroup* group = model.GetGroup(g);
    for (int p = 0; group && p < group->polygons.GetCount(); ++p) {
        const CPolygon* face = group->polygons.GetAt(p);
        out.push_back({*face->GetVertex(0), *face->GetVertex(1), *face->GetVertex(2)});
    }
    return out;
}

// Where a file point lands: centred on the bounding box's centre, divided by
// the radius, turned half round Z.
struct CPlacement
{
    CVector center;
    float radius;
    CVector operator()(const CVector& p) const
    {
        CVector c = p - center;
        return CVector(-c.x / radius, -c.y / radius, c.z / radius);
    }
};

void ExpectTriangles(const std::vector<Triangle>& expected, const std::vector<Triangle>& got, const std::string& what)
{
    ASSERT_EQ(got.size(), expected.size()) << what;
    for (size_t i = 0; i < got.size(); ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR((got[i][k] - expected[i][k]).Length(), 0.0f, 1e-5f) << what << " " << i << "." << k;
}

std::string GroupName(const char* object, float r, float g, float b)
{
    return std::string(object) + "_" + ColorTable[NearestColor(r, g, b)].name;
}

TEST(WtkReader, FansTurnAgainstTheFileAndGroupByObjectAndColor)
{
    CRecordingModel model;
    ASSERT_EQ(Read(model, "nff\nversion 2.1\nviewpos 0.0 0.0 5.0 viewdir 0.0 0.0 -1.0\nbox\n4\n"
                          "0.0 0.0 0.0\n1.0 0.0 0.0 norm 0.0 0.0 1.0 rgb 0xfff uv 0.5 0.5\n1.0 1.0 0.0\n0.0 1.0 0.0\n"
                          "3\n3 0 1 3 0xf00 both\n4 0 1 2 3 0xf00 _tex id=7 -m\n3 0 2 3 0x0ff0\n"
                          "lid 3 0.0 0.0 1.0 1.0 0.0 1.0 0.0 1.0 1.0 1 3 0 1 2 0xF00\n"),
              1);
    EXPECT_TRUE(model.errors.empty());
    ASSERT_EQ(model.GetGroupCount(), 3);
    const float red = 0.9375f;  // 0xf00: four bits a component; 0x0ff0 has eight
    EXPECT_EQ(model.GetGroup(0)->name, GroupName("box", red, 0, 0));
    EXPECT_EQ(model.GetGroup(1)->name, GroupName("box", 0, 15 / 256.0f, 240 / 256.0f));
    EXPECT_EQ(model.GetGroup(1)->colorIndex, NearestColor(0, 15 / 256.0f, 240 / 256.0f));
    EXPECT_EQ(model.GetGroup(2)->name, GroupName("lid", red, 0, 0));

    const CPlacement at{CVector(0.5f, 0.5f, 0.5f), std::sqrt(0.75f)};
    const CVector p0 = at({0, 0, 0}), p1 = at({1, 0, 0}), p2 = at({1, 1, 0}), p3 = at({0, 1, 0});
    ExpectTriangles({{p3, p1, p0}, {p2, p1, p0}, {p3, p2, p0}}, Triangles(model, 0), "box red");
    ExpectTriangles({{p3, p2, p0}}, Triangles(model, 1), "box blue");
    ExpectTriangles({{at({0, 1, 1}), at({1, 0, 1}), at({0, 0, 1})}}, Triangles(model, 2), "lid");
    EXPECT_EQ(model.status.back(), "File Read Finished");
}

TEST(WtkReader, FirstTokenOutOfPlaceStopsAndKeepsWhatCameBefore)
{
    const std::string one = "nff\na\n3\n0.0 0.0 0.0\n1.0 0.0 0.0\n0.0 1.0 0.0\n1\n3 0 1 2 0xfff\n";  // 8 lines
    const struct {
        std::string text;
        const char* error;
        long triangles;
    } cases[] = {
        {"", "parse error line 1", 0},
        {"// nothing\n", "parse error line 2", 0},
        {"NFF\n", "parse error line 1", 0},
        {one + "b\n3\n0 0 0\n", "parse error line 11", 1},
        {one + "b\n3\n0.0 0 0.0\n", "parse error line 11", 1},
        {one + "rot 1.0\n", "parse error line 9", 1},
        {one + "3 0 1 2 0xfff scale\n", "parse error line 9", 2},
        {one + "3 0 1 2 0xfff both trans\n", "parse error line 9", 2},
        {one + "mirror\n", "parse error line 9", 1},
        {"nff\nviewdir 0.0 0.0 1.0\nviewpos 0.0 0.0 0.0\n", "parse error line 3", 0},
        {"nff\n12\n", "parse error line 2", 0},
        {"nff\n_box\n", "parse error line 2", 0},
        {"nff\r\nversion 2.1\r\n\r\nbox\r\nscale\r\n", "parse error line 5", 0},
        {"nff\rbox\r3\rmirror", "parse error line 4", 0},
        // Version 3.0 words are names in older files.
        {"nff\nversion 2.1\nbox mtable t.mat\n", "parse error line 3", 0},
        {one + "3 0 1 2 matid 0\n", "parse error line 9", 1},
        {"nff\nversion 3.0\nbox mtable\n", "parse error line 4", 0},
        {"nff\nversion 3.0\nbox\n3\n0.0 0.0 0.0 uv 0 1\n", "parse error line 5", 0},
        {one + "3 0 1 7 0xfff\n3 -1 0 1 0xfff\n4 0 1 2 9 0xfff\n",
         "3 triangles name corners their object does not have; they were left out", 2},
    };
    for (const auto& c : cases) {
        CRecordingModel model;
        EXPECT_EQ(Read(model, c.text), 1) << c.text;
        EXPECT_EQ(model.errors, std::vector<std::string>{c.error}) << c.text;
        EXPECT_EQ(model.GetPolygonCount(), c.triangles) << c.text;
        EXPECT_FALSE(model.modified);
    }
}

// Our own writer's output reads back: the same triangles with their corners
// reversed, centred, unit-sized and turned half round Z.
TEST(WtkReader, ReadsWhatTheWriterWrote)
{
    CRecordingModel source;
    source.SetGroup("Hull", FindColor("Orange"), 0);
    AddQuad(source, {0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0});
    source.AddTriangle({0, 0, 0}, {2, 0, 0}, {1, 0.5f, 3});
    source.SetGroup("Mast", FindColor("Red"), 0);
    source.AddTriangle({1, 0.5f, 3}, {1.25f, 0.5f, 4}, {0, -1, 0});
    const std::string text = testfiles::WriteToString(WriteWtkNff, source, 1.0);

    CRecordingModel model;
    ASSERT_EQ(Read(model, text), 1);
    EXPECT_TRUE(model.errors.empty());
    const CPlacement at{CVector(1, 0, 2), std::sqrt(1.0f + 1.0f + 4.0f)};
    ASSERT_EQ(model.GetGroupCount(), 2);
    for (int g = 0; g < 2; ++g) {
        const CGroup* written = source.GetGroup(g);
        const ColorEntry& color = ColorTable[written->colorIndex];
        auto digit = [](float c) { return std::trunc(c * 15 + 0.5f) / 16; };
        EXPECT_EQ(model.GetGroup(g)->name,
                  GroupName(written->name.c_str(), digit(color.red), digit(color.green), digit(color.blue)));
        std::vector<Triangle> expected;
        for (const Triangle& t : Triangles(source, g))
            expected.push_back({at(t[2]), at(t[1]), at(t[0])});
        ExpectTriangles(expected, Triangles(model, g), written->name);
    }
    EXPECT_NEAR(model.m_scale, std::sqrt(6.0f), 1e-5f);
}

// Version 3.0: material tables named after the object's name, materials in
// place of colours, texture coordinates and texture names. Older files may
// use the new words as object names.
TEST(WtkReader, VersionThreeMaterialsGiveTheColours)
{
    const std::string table = "mat // two materials\nversion 3.0\nvalid ambientdiffuse opacity\n"
                              "matdef\nambientdiffuse 1.0 0.0 0.0\nopacity 0.5\nmatdef // #1\nspecular 1 1 1\n"
                              "matdef\nambientdiffuse 0.0 0.0 1.0\n";
    auto file = [](const char* object, const char* attributes) {
        return std::string("nff\nversion 3.0\n") + object +
               "\n3\n0.0 0.0 0.0 uv 0.0 1.0\n1.0 0.0 0.0 norm 0.0 0.0 1.0 uv 1.0 1.0\n0.0 1.0 0.0\n3\n"
               "3 0 1 2 " + attributes + " both _V_label.tga\n3 0 2 1 matid 2 both\n3 1 2 0 matid 0\n";
    };
    const std::string red = GroupName("can", 1, 0, 0), blue = GroupName("can", 0, 0, 1);
    const std::string white = GroupName("can", 1, 1, 1);  // the default colour
    const struct {
        std::string text;
        std::vector<std::string> groups;  // of each triangle, group by group
        std::vector<std::string> warnings;
    } cases[] = {
        {file("can mtable t.mat", "matid 0"), {red, red, blue}, {}},
        // A material without a colour, one the table lacks, and a colour
        // number beside materials.
        {file("can mtable t.mat", "matid 1"), {white, blue, red}, {}},
        {file("can mtable t.mat", "matid 7"), {white, blue, red},
         {"Material 7 is not in material table t.mat; it takes the default colour"}},
        {file("can mtable t.mat", "0x00f"), {blue, blue, red}, {}},  // 0x00f is nearest blue too
        {file("can mtable none.mat", "matid 0"), {white, white, white},
         {"Material table none.mat not found; its materials take the default colour"}},
        {file("can mtable bad.mat", "matid 0"), {white, white, white},
         {"Material table bad.mat is damaged at line 3; its materials take the default colour"}},
        {file("can", "matid 0"), {white, white, white},
         {"Material 0 used without a material table; it takes the default colour"}},
        // The words of version 3.0 are names in older files.
        {"nff\nversion 2.1\nmtable\n3\n0.0 0.0 0.0\n1.0 0.0 0.0\n0.0 1.0 0.0\n1\n3 0 1 2 0x00f\n"
         "matid 3 0.0 0.0 0.0 1.0 0.0 0.0 0.0 1.0 0.0 1 3 0 1 2 0x00f _tex\n",
         {GroupName("mtable", 0, 0, 0.9375f), GroupName("matid", 0, 0, 0.9375f)}, {}},
    };
    const std::map<std::string, std::string> tables = {
        {"t.mat", table}, {"bad.mat", "mat\nmatdef\nambientdiffuse 0.5 nan 0.5\n"}};
    for (const auto& c : cases) {
        CRecordingModel model;
        EXPECT_EQ(Read(model, c.text, tables), 1) << c.text;
        EXPECT_TRUE(model.errors.empty()) << c.text;
        EXPECT_EQ(model.infos, c.warnings) << c.text;
        std::vector<std::string> groups;
        for (int g = 0; g < model.GetGroupCount(); ++g)
            for (int k = 0; k < model.GetGroup(g)->polygons.GetCount(); ++k)
                groups.push_back(model.GetGroup(g)->name);
        EXPECT_EQ(groups, c.groups) << c.text;
    }
}

TEST(WtkReaderCorpus, TeapotAndCokeCanReadWhole)
{
    TRIVEX_REQUIRE_CORPUS("wtk");
    CRecordingModel teapot;
    ASSERT_TRUE(ReadModelFile(teapot, *FindFormat("wtk"), testfiles::CorpusDir("wtk/teapot.nff").string()));
    EXPECT_TRUE(teapot.errors.empty());
    EXPECT_TRUE(teapot.HasStatus("Reading Line 5700"));
    if (testfiles::HaveTool("assimp")) {
        // assimp reads this dialect too; its count of faces is the oracle.
        std::string info;
        ASSERT_EQ(testfiles::RunCommand("assimp info " + testfiles::CorpusDir("wtk/teapot.nff").string(), &info), 0);
        size_t at = info.find("\nFaces:");
        ASSERT_NE(at, std::string::npos) << info;
        EXPECT_EQ(teapot.GetPolygonCount(), std::stol(info.substr(at + 7)));
    }

    // A version 3.0 file: ten polygons, two octagons and eight quads, in the
    // two materials of the table beside it.
    const std::string can = testfiles::CorpusDir("wtk/cokecan.nff").string();
    CRecordingModel withTable;
    EXPECT_TRUE(ReadModelFile(withTable, *FindFormat("wtk"), can));
    EXPECT_TRUE(withTable.errors.empty());
    EXPECT_EQ(withTable.GetPolygonCount(), 28);
    if (testfiles::HaveTool("assimp")) {
        for (const char* flags : {"", " -r"}) {  // triangles, then the file's own polygons
            std::string info;
            ASSERT_EQ(testfiles::RunCommand("assimp info " + can + flags, &info), 0);
            size_t at = info.find("\nFaces:");
            ASSERT_NE(at, std::string::npos) << info;
            EXPECT_EQ(std::stol(info.substr(at + 7)), *flags ? 10 : withTable.GetPolygonCount());
        }
    }
    if (std::filesystem::exists(testfiles::CorpusDir("wtk/cokecan.mat"))) {
        EXPECT_TRUE(withTable.infos.empty());
        EXPECT_EQ(testfiles::GroupNames(withTable),
                  (std::vector<std::string>{GroupName("Coke_Can", 0.9f, 0.9f, 0.9f), GroupName("Coke_Can", 0, 1, 0)}));
        EXPECT_EQ(withTable.GetGroup(0)->polygons.GetCount(), 20);
        EXPECT_EQ(withTable.GetGroup(1)->polygons.GetCount(), 8);
    }

    // Alone, the same polygons in the default colour, and one warning.
    const auto dir = std::filesystem::temp_directory_path() / ("trivex-wtk-can-" + std::to_string(getpid()));
    testfiles::WriteAll(dir / "cokecan.nff", testfiles::ReadAll(can));
    CRecordingModel alone;
    EXPECT_TRUE(ReadModelFile(alone, *FindFormat("wtk"), (dir / "cokecan.nff").string()));
    EXPECT_EQ(alone.GetPolygonCount(), 28);
    EXPECT_EQ(alone.infos,
              std::vector<std::string>{"Material table cokecan.mat not found; its materials take the default colour"});
    EXPECT_EQ(testfiles::GroupNames(alone), std::vector<std::string>{GroupName("Coke_Can", 1, 1, 1)});
    std::filesystem::remove_all(dir);
}

TEST(WtkFormats, OpenByNameTellsTheTwoNffFormatsApart)
{
    CRecordingModel source;
    source.SetGroup("Red", FindColor("Red"), 0);
    source.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    const auto dir = std::filesystem::temp_directory_path() / ("trivex-wtk-" + std::to_string(getpid()));
    const std::string wtk = (dir / "w.nff").string(), nff = (dir / "n.nff").string();
    testfiles::WriteAll(wtk, testfiles::WriteToString(WriteWtkNff, source, 1.0));
    testfiles::WriteAll(nff, testfiles::WriteToString(WriteNff, source, 1.0));

    EXPECT_TRUE(LooksLikeWorldToolkit(wtk));  // behind a "//" comment line
    EXPECT_FALSE(LooksLikeWorldToolkit(nff));
    EXPECT_FALSE(LooksLikeWorldToolkit((dir / "missing.nff").string()));
    CRecordingModel byName, byCommand, plain;
    EXPECT_TRUE(OpenByName(byName, wtk));
    EXPECT_EQ(byName.GetPolygonCount(), 1);
    EXPECT_TRUE(ReadModelFile(byCommand, *FindFormat("wtk"), wtk));
    EXPECT_EQ(byCommand.GetPolygonCount(), 1);
    EXPECT_TRUE(OpenByName(plain, nff));
    EXPECT_EQ(plain.GetPolygonCount(), 1);
    std::filesystem::remove_all(dir);
}

}  // namespace
