// The STL reader on files made here, each read both from a regular file
// (sized up front and read in one go) and from a stream that can only be
// read through (fmemopen), which must agree.

#include <gtest/gtest.h>

#include <cstdio>

#include "StlFiles.h"

namespace {

using stlfiles::CTriangle;

struct CCase
{
    const char* what;
    std::string bytes;
    bool ok;
    std::vector<std::string> groups;  // names, for a good read
    long triangles;
    long vertices;
    std::string message;  // part of the error, or of the warning of a good read
};

std::vector<CTriangle> Part(size_t from, size_t to)
{
    const std::vector<CTriangle> cube = stlfiles::Cube();
    return {cube.begin() + static_cast<long>(from), cube.begin() + static_cast<long>(to)};
}

std::string Cut(const std::string& text, size_t bytes)
{
    return text.substr(0, text.size() - bytes);
}

std::vector<CCase> Cases()
{
    const std::string asciiCube = stlfiles::Ascii({{"cube", stlfiles::Cube()}});
    std::vector<CTriangle> withSliver = stlfiles::Cube();
    withSliver.push_back({{{0, 0, 0}, {0, 0, 0}, {1, 1, 1}}});
    std::vector<CTriangle> nonFinite = Part(0, 3);
    nonFinite[2].corner[1][2] = std::nanf("");
    std::string nanText = asciiCube;
    nanText.replace(nanText.rfind("vertex"), 6, "vertex 1 inf 1\nvertex");
    return {
        {"binary", stlfiles::Binary("cube", stlfiles::Cube()), true, {"part_name"}, 12, 8, ""},
        // The size rule decides, not the first word.
        {"binary header starting with solid", stlfiles::Binary(std::string("solid trap") + std::string(70, ' '), stlfiles::Cube()),
         true, {"part_name"}, 12, 8, ""},
        {"ascii solids become groups", stlfiles::Ascii({{"left half", Part(0, 6)}, {"right-half.1", Part(6, 12)}}), true,
         {"left_half", "right_half_1"}, 12, 8, ""},
        {"nameless solid takes the file's name", stlfiles::Ascii({{"", Part(0, 2)}}), true, {"part_name"}, 2, 4, ""},
        {"keywords in capitals, a loop of four corners",
         "SOLID quad\nFACET NORMAL 0 0 1\nOUTER LOOP\nVERTEX 0 0 0\nVERTEX 1 0 0\nVERTEX 1 1 0\nVERTEX 0 1 0\n"
         "ENDLOOP\nENDFACET\nENDSOLID quad\n",
         true, {"quad"}, 2, 4, ""},
        {"facet with coincident corners dropped", stlfiles::Binary("cube", withSliver), true, {"part_name"}, 12, 8, ""},
        {"no endsolid", Cut(asciiCube, std::string("endsolid cube\n").size()), true, {"cube"}, 12, 8,
         "ends without \"endsolid\""},
        {"bytes after the last facet", stlfiles::Binary("cube", stlfiles::Cube()) + "tail", true, {"part_name"}, 12, 8,
         "holds more than its 12 facets"},
        {"binary cut short", Cut(stlfiles::Binary("cube", stlfiles::Cube()), 20), false, {}, 0, 0,
         "header counts 12 facets, 600 bytes, but only 580 bytes follow"},
        {"count far beyond the file", stlfiles::Binary("cube", Part(0, 2), 0xFFFFFFFFu), false, {}, 0, 0,
         "header counts 4294967295 facets"},
        {"binary corner not a number", stlfiles::Binary("cube", nonFinite), false, {}, 0, 0,
         "Facet 3 of the binary STL file has a corner that is not a finite number"},
        {"ascii coordinate infinite", nanText, false, {}, 0, 0, "not a finite number"},
        {"ascii stops mid-facet", Cut(asciiCube, 60), false, {}, 0, 0, "ends in the middle of a facet"},
        {"ascii vertex short of a number",
         "solid x\nfacet normal 0 0 1\nouter loop\nvertex 1 2\nendloop\nendfacet\nendsolid\n", false, {}, 0, 0,
         "Line 5: a vertex of the STL file needs three numbers"},
        {"ascii facet of two corners",
         "solid x\nfacet normal 0 0 1\nouter loop\nvertex 1 2 3\nvertex 1 2 4\nendloop\nendfacet\nendsolid\n", false,
         {}, 0, 0, "has 2 corners"},
        {"ascii keyword out of place", "solid x\nfacet normal 0 0 1\nvertex 1 2 3\n", false, {}, 0, 0,
         "Line 3: \"outer loop\" expected in the STL file, found \"vertex\""},
        {"empty file", "", false, {}, 0, 0, "too short for a binary STL file"},
        {"text that is no STL", "ply\nformat ascii 1.0\n", false, {}, 0, 0, "does not start with \"solid\""},
    };
}

struct COutcome
{
    int result = 0;
    std::vector<std::string> groups;
    long triangles = 0;
    long vertices = 0;
    std::vector<std::string> errors, infos;
};

COutcome Read(FILE* fp)
{
    COutcome outcome;
    CRecordingModel model;
    outcome.result = ReadStl(model, fp, "some/folder/part name.stl");
    outcome.groups = testfiles::GroupNames(model);
    outcome.triangles = stlfiles::Triangles(model);
    outcome.vertices = model.GetVertexCount();
    outcome.errors = model.errors;
    outcome.infos = model.infos;
    return outcome;
}

bool Mentions(const std::vector<std::string>& texts, const std::string& part)
{
    for (const std::string& text : texts)
        if (text.find(part) != std::string::npos)
            return true;
    return false;
}

TEST(StlReader, FilesAndStreamsAlike)
{
    for (const CCase& c : Cases()) {
        SCOPED_TRACE(c.what);
        FILE* file = testfiles::OpenText(c.bytes);
        ASSERT_NE(file, nullptr);
        const COutcome fromFile = Read(file);
        std::fclose(file);
        static char nothing[1];
        std::string bytes = c.bytes;
        FILE* stream = fmemopen(bytes.empty() ? nothing : bytes.data(), bytes.empty() ? 1 : bytes.size(), "rb");
        ASSERT_NE(stream, nullptr);
        if (c.bytes.empty())
            std::fgetc(stream);
        const COutcome fromStream = Read(stream);
        std::fclose(stream);

        EXPECT_EQ(fromFile.result, c.ok ? 1 : 0);
        if (c.ok) {
            EXPECT_EQ(fromFile.groups, c.groups);
            EXPECT_EQ(fromFile.triangles, c.triangles);
            EXPECT_EQ(fromFile.vertices, c.vertices);
            EXPECT_TRUE(fromFile.errors.empty());
            if (!c.message.empty()) {
                EXPECT_TRUE(Mentions(fromFile.infos, c.message)) << "no warning with: " << c.message;
            }
        } else {
            // A failed read leaves nothing behind and says why, once.
            EXPECT_TRUE(fromFile.groups.empty());
            ASSERT_EQ(fromFile.errors.size(), 1u);
            EXPECT_NE(fromFile.errors[0].find(c.message), std::string::npos) << fromFile.errors[0];
        }
        EXPECT_EQ(fromStream.result, fromFile.result);
        EXPECT_EQ(fromStream.groups, fromFile.groups);
        EXPECT_EQ(fromStream.triangles, fromFile.triangles);
        EXPECT_EQ(fromStream.vertices, fromFile.vertices);
        EXPECT_EQ(fromStream.errors, fromFile.errors);
        EXPECT_EQ(fromStream.infos, fromFile.infos);
    }
}

// The load puts the model back at its size: the output scale times the
// unit model is the cube as read, wherever its facets wind.
TEST(StlReader, LoadKeepsSizeAndFindsOutside)
{
    std::vector<CTriangle> inside = stlfiles::Cube();
    for (CTriangle& t : inside) {
        for (auto& corner : t.corner)
            for (float& value : corner)
                value *= 3;  // a cube of side 3 ...
        std::swap(t.corner[1], t.corner[2]);  // ... wound clockwise seen from outside
    }
    FILE* fp = testfiles::OpenText(stlfiles::Binary("", inside));
    ASSERT_NE(fp, nullptr);
    CRecordingModel model;
    ASSERT_EQ(ReadStl(model, fp, "cube.stl"), 1);
    std::fclose(fp);
    EXPECT_NEAR(stlfiles::Volume(model), 27.0, 1e-3);
    EXPECT_NEAR(stlfiles::Area(model), 54.0, 1e-3);
    EXPECT_TRUE(model.HasStatus("File Read Finished"));
}

}  // namespace
