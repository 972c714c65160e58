// Hand-made DXF files for the cases the corpus does not pin down.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "DxfReader.h"
#include "PieceReads.h"
#include "RecordingModel.h"
#include "TestFiles.h"

namespace {

std::string Face(const std::string& layer, const std::string& color, const std::vector<float>& xyz)
{
    std::string s = "0\n3DFACE\n8\n" + layer + "\n" + (color.empty() ? "" : "62\n" + color + "\n");
    for (size_t i = 0; i < xyz.size(); ++i)
        s += std::to_string(10 * (i % 3 + 1) + i / 3) + "\n" + std::to_string(xyz[i]) + "\n";
    return s;
}

const std::string kTriangle = Face("0", "1", {0, 0, 0, 1, 0, 0, 0, 1, 0});

std::string Vertex(int flags, float x, float y, float z, std::vector<int> corners = {})
{
    std::string s = "0\nVERTEX\n8\n0\n10\n" + std::to_string(x) + "\n20\n" + std::to_string(y) + "\n30\n" +
                    std::to_string(z) + "\n70\n" + std::to_string(flags) + "\n";
    for (size_t i = 0; i < corners.size(); ++i)
        s += std::to_string(71 + i) + "\n" + std::to_string(corners[i]) + "\n";
    return s;
}

std::string Polyline(int flags, const std::string& vertices, int m = 0, int n = 0)
{
    return "0\nPOLYLINE\n8\n0\n66\n1\n70\n" + std::to_string(flags) + "\n71\n" + std::to_string(m) + "\n72\n" +
           std::to_string(n) + "\n" + vertices + "0\nSEQEND\n";
}

const std::string kSquare2d = Vertex(0, 0, 0, 0) + Vertex(0, 1, 0, 0) + Vertex(0, 1, 1, 0) + Vertex(0, 0, 1, 0);

// Six mesh points: three rows of two.
std::string Mesh3x2()
{
    std::string v;
    for (int i = 0; i < 6; ++i)
        v += Vertex(64, static_cast<float>(i / 2), static_cast<float>(i % 2), static_cast<float>(i % 3));
    return v;
}

std::string Block(const std::string& name, const std::string& entities, const std::string& base = "")
{
    return "0\nBLOCK\n8\n0\n2\n" + name + "\n70\n0\n" + base + entities + "0\nENDBLK\n8\n0\n";
}

std::string Insert(const std::string& name, const std::string& extra = "")
{
    return "0\nINSERT\n8\n0\n2\n" + name + "\n" + extra;
}

std::string File(const std::string& entities, const std::string& blocks = "")
{
    std::string s = "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1009\n0\nENDSEC\n";
    if (!blocks.empty())
        s += "0\nSECTION\n2\nBLOCKS\n" + blocks + "0\nENDSEC\n";
    return s + "0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n";
}

int Read(CRecordingModel& model, const std::string& text)
{
    FILE* fp = testfiles::OpenText(text);
    int result = ReadDxfStream(model, fp);
    std::fclose(fp);
    EXPECT_EQ(model.waitDepth, 0);
    return result;
}

struct CCase
{
    const char* what;
    std::string text;
    long triangles;
    std::vector<std::string> groups;  // checked when not empty
};

TEST(DxfReader, Entities)
{
    const std::string blockFace = Face("0", "1", {0, 0, 0, 1, 0, 0, 0, 1, 0});
    const CCase cases[] = {
        {"quadrilateral 3DFACE", File(Face("0", "1", {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0})), 2, {"Layer0_Red"}},
        {"no fourth corner", File(kTriangle), 1, {}},
        {"corners 1 and 2 equal", File(Face("0", "1", {0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 1, 0})), 1, {}},
        {"layer name with blanks keeps the pairing",
         File(Face("WALL A-1", "5", {0, 0, 0, 1, 0, 0, 0, 1, 0}) + Face("7", "3", {0, 0, 1, 1, 0, 1, 0, 1, 1})), 2,
         {"WALL_A_1_Blue", "Layer7_Green"}},
        {"no colour, by layer, out of range",
         File(Face("a", "", {0, 0, 0, 1, 0, 0, 0, 1, 0}) + Face("b", "256", {0, 0, 1, 1, 0, 1, 0, 1, 1}) +
              Face("c", "-3", {0, 0, 2, 1, 0, 2, 0, 1, 2})),
         3, {"a_White", "b_White", "c_White"}},
        {"empty layer", File(Face("", "3", {0, 0, 0, 1, 0, 0, 0, 1, 0})), 1, {"Green"}},
        {"LINE on a layer named 3DFACE",
         File("0\nLINE\n8\n3DFACE\n10\n0\n20\n0\n30\n0\n11\n1\n21\n1\n31\n1\n" + kTriangle), 1, {}},
        {"polyface: invisible edge, unused 0 corner, unknown point",
         File(Polyline(64, Vertex(192, 0, 0, 0) + Vertex(192, 1, 0, 0) + Vertex(192, 1, 1, 0) +
                               Vertex(192, 0, 1, 1) + Vertex(128, 0, 0, 0, {1, -2, 3}) +
                               Vertex(128, 0, 0, 0, {1, 3, 4, 0}) + Vertex(128, 0, 0, 0, {1, 2, 9}))),
         2, {}},
        {"open 3 by 2 mesh", File(Polyline(16, Mesh3x2(), 3, 2)), 4, {}},
        {"3 by 2 mesh closed in M", File(Polyline(17, Mesh3x2(), 3, 2)), 6, {}},
        {"mesh of M 0", File(Polyline(16, Mesh3x2(), 0, 2)), 0, {}},
        {"mesh claiming more points than it has", File(Polyline(16, Mesh3x2(), 5, 2)), 4, {}},
        {"open 2D polyline", File(Polyline(0, kSquare2d)), 12, {}},
        {"closed 2D polyline", File(Polyline(1, kSquare2d)), 12, {}},
        {"3D polyline", File(Polyline(8, kSquare2d)), 0, {}},
        {"LWPOLYLINE", File("0\nLWPOLYLINE\n8\n0\n90\n4\n70\n1\n10\n0\n20\n0\n10\n2\n20\n0\n10\n2\n20\n1\n10\n0\n20\n1\n"),
         12, {}},
        {"block never inserted", File("", Block("B", blockFace)), 0, {}},
        {"block inserted twice", File(Insert("B") + Insert("B", "10\n5\n"), Block("B", blockFace)), 2, {}},
        {"nested blocks", File(Insert("OUTER"), Block("INNER", blockFace) + Block("OUTER", Insert("INNER") + Insert("INNER", "50\n90\n"))), 2, {}},
        {"block that inserts itself", File(Insert("SELF"), Block("SELF", blockFace + Insert("SELF", "10\n3\n"))), 1, {}},
        {"array of 2 columns by 3 rows", File(Insert("B", "70\n2\n71\n3\n44\n5\n45\n5\n"), Block("B", blockFace)), 6,
         {}},
        {"array without spacing is one copy", File(Insert("B", "70\n4\n71\n3\n"), Block("B", blockFace)), 1, {}},
        {"array along rows only", File(Insert("B", "70\n4\n71\n3\n45\n2\n"), Block("B", blockFace)), 3, {}},
        {"array counts below 1", File(Insert("B", "70\n0\n71\n-3\n44\n5\n45\n5\n"), Block("B", blockFace)), 1, {}},
        {"array of a block that inserts itself",
         File(Insert("SELF", "70\n3\n44\n9\n"), Block("SELF", blockFace + Insert("SELF", "70\n1000\n44\n1\n"))), 3,
         {}},
        {"array of a block defined after its insert",
         "0\nSECTION\n2\nENTITIES\n" + Insert("LATE", "70\n2\n44\n3\n") + "0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n" +
             Block("LATE", blockFace) + "0\nENDSEC\n0\nEOF\n",
         2, {}},
        {"skipped block names", File(Insert("*U1") + Insert("AME_SOL"), Block("*U1", blockFace) + Block("AME_SOL", blockFace)), 0, {}},
        {"block defined after its insert",
         "0\nSECTION\n2\nENTITIES\n" + Insert("LATE") + "0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n" +
             Block("LATE", blockFace) + "0\nENDSEC\n0\nEOF\n",
         1, {}},
        {"junk after EOF", File(kTriangle) + "garbage\nbeyond\n", 1, {}},
        {"EOF in an open section", "0\nSECTION\n2\nENTITIES\n" + kTriangle + "0\nEOF\nnot a code\n", 1, {}},
        {"CR LF and blank-padded codes", "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n" + kTriangle + "  0\r\nENDSEC\r\n  0\r\nEOF\r\n", 1, {}},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.what);
        CRecordingModel model;
        ASSERT_EQ(Read(model, c.text), 1);
        EXPECT_TRUE(model.errors.empty());
        EXPECT_EQ(model.GetPolygonCount(), c.triangles);
        if (!c.groups.empty()) {
            ASSERT_EQ(model.GetGroupCount(), static_cast<int>(c.groups.size()));
        }
        for (int g = 0; g < model.GetGroupCount(); ++g) {
            EXPECT_EQ(model.GetGroup(g)->textureIndex, 0);
            if (!c.groups.empty()) {
                EXPECT_EQ(model.GetGroup(g)->name, c.groups[g]);
            }
        }
    }
}

// Inserted block geometry sits where the insert puts it: point, scale,
// rotation about Z, after the block's base point.
TEST(DxfReader, InsertPlacesTheBlock)
{
    CRecordingModel model;
    const std::string blocks = Block("B", Face("0", "1", {1, 0, 0, 2, 0, 0, 1, 1, 0}), "10\n1\n20\n0\n30\n0\n");
    ASSERT_EQ(Read(model, File(kTriangle + Insert("B", "10\n10\n20\n0\n30\n0\n41\n2\n42\n2\n43\n2\n50\n90\n"),
                               blocks)),
              1);
    // World corners: the plain triangle and the block's, moved to the base
    // point, scaled by 2, turned 90 degrees and put at (10, 0, 0).
    const std::vector<CVector> world = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {10, 0, 0}, {10, 2, 0}, {8, 0, 0}};
    ASSERT_EQ(model.GetVertexCount(), 6);
    // Centred on the box middle and scaled into the unit sphere.
    const CVector centre(5, 1, 0);
    float radius = 0;
    for (const CVector& v : world)
        radius = std::max(radius, (v - centre).Length());
    for (const CVector& v : world) {
        CVector expected = (v - centre) / radius;
        bool found = false;
        for (int i = 0; i < model.GetVertexCount(); ++i)
            found = found || (*model.m_vertices.GetAt(i) - expected).Length() < 1e-5f;
        EXPECT_TRUE(found) << v.x << " " << v.y << " " << v.z;
    }
}

// Where inserts and outlines land. 2D entities lie in their object
// coordinate system, whose Z axis is the extrusion direction (210, 220,
// 230): with (0, 0, -1) its X axis is the world's -X, so a mirrored insert
// lands at -x and an outline is extruded towards -z from its elevation.
// Meshes stay in world coordinates. The box of what was read (m_min, m_max)
// is kept through centring and scaling.
TEST(DxfReader, WherePlacedEntitiesLand)
{
    const std::string mirrored = "210\n0\n220\n0\n230\n-1\n";
    const std::string at512 = "10\n5\n20\n1\n30\n2\n";
    const std::string square = "90\n4\n10\n1\n20\n0\n10\n2\n20\n0\n10\n2\n20\n1\n10\n1\n20\n1\n";
    const std::string base = "10\n1\n20\n1\n30\n0\n";
    struct
    {
        const char* what;
        std::string text;
        long triangles;
        CVector min, max;
    } cases[] = {
        {"mirrored insert", File(Insert("B", at512 + mirrored), Block("B", kTriangle)), 1, {-6, 1, -2}, {-5, 2, -2}},
        {"insert without direction", File(Insert("B", at512), Block("B", kTriangle)), 1, {5, 1, 2}, {6, 2, 2}},
        {"LWPOLYLINE at elevation 3", File("0\nLWPOLYLINE\n8\n0\n38\n3\n" + mirrored + square), 12, {-2, 0, -4},
         {-1, 1, -3}},
        {"2D POLYLINE at elevation 3",
         File("0\nPOLYLINE\n8\n0\n66\n1\n10\n0\n20\n0\n30\n3\n70\n0\n" + mirrored + kSquare2d + "0\nSEQEND\n"),
         12, {-1, 0, -4}, {0, 1, -3}},
        {"mesh", File(Polyline(16, Mesh3x2(), 3, 2).insert(std::string("0\nPOLYLINE\n").size(), mirrored)), 4,
         {0, 0, 0}, {2, 1, 2}},
        {"array turned 90 degrees inside a mirrored insert",
         File(Insert("OUTER", mirrored),
              Block("OUTER", Insert("B", "50\n90\n70\n3\n44\n10\n")) + Block("B", kTriangle)),
         3, {0, 0, 0}, {1, 21, 0}},
        {"block defined after its insert, with a base point",
         "0\nSECTION\n2\nENTITIES\n" + Insert("LATE", at512) + "0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n" +
             Block("LATE", kTriangle, base) + "0\nENDSEC\n0\nEOF\n",
         1, {4, 0, 2}, {5, 1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CRecordingModel model;
        ASSERT_EQ(Read(model, c.text), 1);
        EXPECT_TRUE(model.errors.empty());
        EXPECT_EQ(model.GetPolygonCount(), c.triangles);
        const float min[3] = {c.min.x, c.min.y, c.min.z}, max[3] = {c.max.x, c.max.y, c.max.z};
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(model.m_min[k], min[k], 1e-5) << "axis " << k;
            EXPECT_NEAR(model.m_max[k], max[k], 1e-5) << "axis " << k;
        }
    }
}

// Group code lines as files write them: padded, signed, zero-filled past
// what is added up directly, with carriage returns, and lying across the
// reader's 64 KB buffer at every offset near its end.
TEST(DxfReader, GroupCodeLinesInEveryForm)
{
    const std::string face = "0\n3DFACE\n8\n0\n62\n1\n";
    const std::string corners = "10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n12\n0\n22\n1\n32\n0\n";
    std::vector<std::string> files = {
        File(face + "  10\n0\n+20\n0\n30  \n0\n11\t\n1\n0000000000021\n0\n31\r\n0\n12\n0\n22\n1\n32\n0\n"),
        File(face + corners),
    };
    for (size_t pad = 65500; pad < 65560; ++pad) {
        const std::string head = "999\n" + std::string(pad, 'c') + "\n";
        files.push_back(head + File(face + corners));
    }
    for (const std::string& text : files) {
        CRecordingModel model;
        EXPECT_EQ(Read(model, text), 1) << text.size();
        EXPECT_TRUE(model.errors.empty()) << text.size();
        EXPECT_EQ(model.GetPolygonCount(), 1) << text.size();
        ASSERT_GE(model.GetGroupCount(), 1);
        EXPECT_EQ(model.GetGroup(model.GetGroupCount() - 1)->name, "Layer0_Red");
    }
    for (const char* bad : {"1 0", "", "-", "99999999999"}) {
        CRecordingModel model;
        EXPECT_EQ(Read(model, File(face + bad + "\n0\n" + corners)), 0) << bad;
        EXPECT_EQ(model.errors.size(), 1u) << bad;
    }
}

TEST(DxfReader, FailuresAreReported)
{
    const std::pair<std::string, std::string> cases[] = {
        {std::string("AutoCAD Binary DXF\r\n\x1a", 22) + std::string(10, '\0'), "Binary DXF files can't be read; save the drawing as a text DXF file"},
        {"0\nSECTION\n2\nENTITIES\n" + kTriangle + "x1\n3DFACE\n", "Bad group code at line 29 of the DXF file"},
    };
    for (const auto& [text, message] : cases) {
        CRecordingModel model;
        EXPECT_EQ(Read(model, text), 0);
        EXPECT_EQ(model.errors, std::vector<std::string>{message});
        EXPECT_EQ(model.GetGroupCount(), 0);
        EXPECT_EQ(model.GetVertexCount(), 0);
    }
    CRecordingModel model;
    EXPECT_EQ(ReadDxf(model, "no such directory/none.dxf"), 0);
    EXPECT_EQ(model.errors, std::vector<std::string>{"Couldn't open file no such directory/none.dxf"});
}


// Files of many batches of pairs, which the reader parses ahead on a second
// thread: what it reports follows the pairs the drawing has taken, so line
// numbers, status texts and an early end of the drawing are those of reading
// the file in step.
TEST(DxfReader, ReadingAheadKeepsTheFileOrder)
{
    std::string faces, firstThousand;
    for (int i = 0; i < 3000; ++i) {
        if (i == 1000)
            firstThousand = faces;
        faces += Face(std::to_string(i % 7), std::to_string(i % 5 + 1),
                      {0, 0, static_cast<float>(i), 1, 0, static_cast<float>(i), 0, 1, static_cast<float>(i)});
    }
    const std::string whole = File(faces);
    const long lines = static_cast<long>(std::count(whole.begin(), whole.end(), '\n'));
    const size_t badAt = whole.find("3DFACE", whole.size() * 3 / 4) - 2;  // the code line "0" before it
    const long badLine = static_cast<long>(std::count(whole.begin(), whole.begin() + badAt, '\n')) + 1;
    struct
    {
        std::string text;
        int result;
        long polygons;
        long statusLines;  // the last line a status text names
        std::vector<std::string> errors;
    } cases[] = {
        {whole, 1, 3000, lines / 100 * 100, {}},
        {whole.substr(0, badAt) + "x" + whole.substr(badAt), 0, 0, (badLine - 1) / 100 * 100,
         {"Bad group code at line " + std::to_string(badLine) + " of the DXF file"}},
        // The drawing ends at EOF; the pairs after it are never taken.
        {File(firstThousand) + faces + faces, 1, 1000, 0, {}},
    };
    for (const auto& c : cases) {
        CRecordingModel model;
        EXPECT_EQ(Read(model, c.text), c.result);
        EXPECT_EQ(model.GetPolygonCount(), c.polygons);
        EXPECT_EQ(model.errors, c.errors);
        std::vector<std::string> expected, seen;
        for (long line = 100; line <= c.statusLines; line += 100)
            expected.push_back("Reading Line# " + std::to_string(line));
        for (const std::string& text : model.status)
            if (text.rfind("Reading Line# ", 0) == 0)
                seen.push_back(text);
        if (c.statusLines > 0) {
            EXPECT_EQ(seen, expected);
        }
    }
}

// The file is read in pieces that both processors parse; wherever they are
// cut, it reads as the whole file read in one piece: the same model, the
// same messages and status texts, the same line in them.
TEST(DxfReader, PiecesReadAsTheWholeFileDoes)
{
    std::string faces;
    for (int i = 0; i < 300; ++i)
        faces += Face(std::to_string(i % 3), std::to_string(i % 5 + 1), {0, 0, float(i), 1, 0, float(i), 0, 1, float(i)});
    const std::string whole = File(faces);
    std::string crlf;
    for (char c : whole)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::vector<std::string> texts = {
        "",
        "0\n",
        whole,
        whole.substr(0, whole.size() / 2),  // cut short, maybe between a code and its value
        whole.substr(0, whole.size() / 3) + "x1\n3DFACE\n" + whole.substr(whole.size() / 3),
        whole.substr(0, whole.size() / 2) + "1\n" + whole.substr(whole.size() / 2),  // one line too many
        File(faces.substr(0, faces.size() / 4)) + faces,  // more after EOF
        crlf,
        "0\nSECTION\n2\nENTITIES\n" + kTriangle + "999\n" + std::string(20000, 'a') + "\n" + kTriangle +
            "0\nENDSEC\n0\nEOF",  // a long value, and no line feed at the end
        "0\nSECTION\n2\nENTITIES\n" + std::string("0\n3DFACE\n8\nl\0ayer\n10\n1\n", 23) + kTriangle,
    };
    AddCorpusTexts(texts, "dxf");
    ExpectPiecesReadAsOne(ReadDxfPieces, texts, size_t{1} << 21);  // against one piece
}

// Blocks that insert each other eight times over, eight levels deep: a few
// kilobytes that would replay 8^7 faces. The replay stops in proportion to
// the file; a block placed thousands of times straight from the entities,
// in a file of that many inserts, still loads whole.
TEST(DxfReader, ReplayStaysInProportionToTheFile)
{
    std::string nested;
    for (int level = 0; level < 8; ++level) {
        std::string entities = level == 7 ? kTriangle : "";
        for (int k = 0; level < 7 && k < 8; ++k)
            entities += Insert("B" + std::to_string(level + 1), "10\n" + std::to_string(k * 2 << level) + "\n20\n0\n");
        nested += Block("B" + std::to_string(level), entities);
    }
    CRecordingModel deep;
    ASSERT_EQ(Read(deep, File(Insert("B0"), nested)), 1);
    EXPECT_EQ(deep.errors, std::vector<std::string>{"Too many nested block inserts; some were left out"});
    EXPECT_GT(deep.GetPolygonCount(), 1000);
    EXPECT_LT(deep.GetPolygonCount(), 100000);

    // An array counts each copy against the same budget, as an insert of its
    // own, so that no count makes the read go on without end; the copies of
    // an empty block draw nothing and are not made at all.
    const std::string huge = "70\n2000000000\n71\n2000000000\n44\n1\n45\n1\n";
    const std::vector<std::string> tooMany = {"Too many nested block inserts; some were left out"};
    const struct
    {
        const char* what;
        std::string text;
        long atLeast, below;
        std::vector<std::string> errors;
    } arrays[] = {
        {"array of a face", File(Insert("T", huge), Block("T", kTriangle)), 1000, 100000, tooMany},
        {"array of arrays", File(Insert("R", huge), Block("R", Insert("T", huge)) + Block("T", kTriangle)), 1000,
         100000, tooMany},
        {"array of a block of one POINT", File(Insert("P", huge) + kTriangle, Block("P", "0\nPOINT\n")), 1, 2,
         tooMany},
        {"array of an empty block", File(Insert("E", huge) + kTriangle, Block("E", "")), 1, 2, {}},
    };
    for (const auto& a : arrays) {
        SCOPED_TRACE(a.what);
        CRecordingModel model;
        ASSERT_EQ(Read(model, a.text), 1);
        EXPECT_EQ(model.errors, a.errors);
        EXPECT_GE(model.GetPolygonCount(), a.atLeast);
        EXPECT_LT(model.GetPolygonCount(), a.below);
    }

    std::string many;
    for (int k = 0; k < 5000; ++k)
        many += Insert("T", "10\n" + std::to_string(k * 2) + "\n20\n0\n");
    CRecordingModel wide;
    ASSERT_EQ(Read(wide, File(many, Block("T", kTriangle + kTriangle))), 1);
    EXPECT_TRUE(wide.errors.empty());
    EXPECT_EQ(wide.GetPolygonCount(), 10000);
}

}  // namespace
