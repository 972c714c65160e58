#include <cstdio>
#include <filesystem>
#include <string>

#include "PieceReads.h"
#include "ReaderTestSupport.h"

using readertest::Face;
using readertest::Faces;
using readertest::ReadText;

namespace {

const char* kSquare = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";
// A convex pentagon in the z = 0 plane.
const char* kPentagon = "v 0 0 0\nv 2 0 0\nv 3 1 0\nv 1 3 0\nv -1 1 0\n";

int ReadObjText(CRecordingModel& model, const std::string& text)
{
    return ReadText(ReadObj, model, text);
}

TEST(ObjReader, FaceShapesFollowTheCornerCount)
{
    CRecordingModel model;
    ASSERT_EQ(ReadObjText(model, std::string(kPentagon) +
                                     "f 1/1/1 2/2/2 3/3/3\n"
                                     "f 1 2 3 4\n"
                                     "f 1 2 3 4 5\n"
                                     "f 1 2\n"),
              1);
    ASSERT_EQ(model.GetGroupCount(), 1);
    EXPECT_EQ(Faces(model, 0), (std::vector<Face>{{1, 2, 3}, {1, 2, 3, 4}, {1, 2, 3}, {1, 3, 4}, {1, 4, 5}}));
}

TEST(ObjReader, StatementsGoOnOverLinesEndingInABackslash)
{
    CRecordingModel model;
    ASSERT_EQ(ReadObjText(model, std::string(kPentagon) +
                                     "# exported to C:\\models\\\n"  // a comment goes on no further
                                     "g left \\\n arm\n"
                                     "f 1 2 \\\n 3 4 \\\r\n 5\n"
                                     "v 7 8 \\\n9\n"
                                     "f 1 \\\n\\\n 3 6 \\"),  // a blank line between, and the file's end
              1);
    ASSERT_EQ(model.GetGroupCount(), 1);
    EXPECT_EQ(model.GetGroup(0)->name, "left_arm");
    EXPECT_EQ(model.GetVertexCount(), 6);
    EXPECT_EQ(Faces(model, 0), (std::vector<Face>{{1, 2, 3}, {1, 3, 4}, {1, 4, 5}, {1, 3, 6}}));
    CRecordingModel bad;
    EXPECT_EQ(ReadObjText(bad, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 \\\n 9\n"), -1);
    EXPECT_EQ(bad.errors, (std::vector<std::string>{"Bad face value, line 5"}));
}

TEST(ObjReader, ConcaveFaceIsClippedNotFanned)
{
    // Listed from corner 2, this dart's fan would start with (2, 3, 4), which
    // lies outside the notch at corner 3 and turns against the face.
    CRecordingModel model;
    ASSERT_EQ(ReadObjText(model, "v 0 0 0\nv 2 1 0\nv 0 0.5 0\nv -2 1 0\nv -1 0.25 0\nf 2 3 4 5 1\n"), 1);
    auto faces = Faces(model, 0);
    ASSERT_EQ(faces.size(), 3u);
    for (const Face& f : faces) {
        CVector a = readertest::Vertex(model, f[0]), b = readertest::Vertex(model, f[1]), c = readertest::Vertex(model, f[2]);
        EXPECT_GT((b - a).Cross(c - a).z, 0.0f) << f[0] << " " << f[1] << " " << f[2];
    }
}

TEST(ObjReader, TextureAndParameterLinesTakeNoVertexNumber)
{
    CRecordingModel model;
    ASSERT_EQ(ReadObjText(model, "v 0 0 0\nvt 0.5 0.5\nvt 1 2 3\nvp 0.1 0.2 0.3\nv 4 0 0\nv 0 4 0\nf 1 2 3\n"), 1);
    EXPECT_EQ(model.GetVertexCount(), 3);
    EXPECT_EQ(Faces(model, 0), (std::vector<Face>{{1, 2, 3}}));
    EXPECT_TRUE(model.errors.empty());
}

TEST(ObjReader, NegativeIndicesCountBackFromTheLastVertex)
{
    CRecordingModel model;
    ASSERT_EQ(ReadObjText(model, std::string(kSquare) + "f -4 -3 -2\nv 5 5 5\nf -1 1/2/3 -3/1\n"), 1);
    EXPECT_EQ(Faces(model, 0), (std::vector<Face>{{1, 2, 3}, {5, 1, 3}}));
}

TEST(ObjReader, BadFaceValuesFail)
{
    struct Case
    {
        const char* text;
        const char* error;
    } cases[] = {
        {"v 0 0 0\nf 1 2 3\nv 1 0 0\nv 0 1 0\n", "Bad face value, line 2"},  // vertices defined later
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\n\nf 0 1 2\n", "Bad face value, line 5"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 -4\n", "Bad face value, line 4"},
        {"f -1 -1 -1\n", "Bad face value, line 1"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 99999999999999999999999\n", "Bad face value, line 4"},
        // Numbers that would name a vertex if they wrapped at 32 or 64 bits.
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4294967298\n", "Bad face value, line 4"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 -18446744073709551617\n", "Bad face value, line 4"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2/5/5 -0/1\n", "Bad face value, line 4"},
    };
    for (const Case& c : cases) {
        CRecordingModel model;
        EXPECT_EQ(ReadObjText(model, c.text), -1) << c.text;
        EXPECT_EQ(model.errors, std::vector<std::string>{c.error}) << c.text;
    }
}

TEST(ObjReader, VertexNumbersUseTheStandardConversion)
{
    CRecordingModel model;
    ASSERT_EQ(ReadObjText(model, "v .5 +1 1e-3\nv -2.5E1 3 4 1.0 0.2 0.3 0.4\nv 1 0 0\nf 1 2 3\n"), 1);
    // Centring and unitizing change the coordinates; m_scale and the
    // differences between vertices keep what was read.
    const CVector a = readertest::Vertex(model, 1), b = readertest::Vertex(model, 2);
    const float s = model.m_scale;
    EXPECT_NEAR((a.x - b.x) * s, 0.5 + 25.0, 1e-4);
    EXPECT_NEAR((a.y - b.y) * s, 1.0 - 3.0, 1e-4);
    EXPECT_NEAR((a.z - b.z) * s, 0.001 - 4.0, 1e-4);
}

TEST(ObjReader, VertexLineNeedsThreeNumbers)
{
    for (const char* text : {"v 1 2 3\nv 1 2\n", "v 1 2 3\nv 1 2 x\n", "v 1 2 3\nv\n"}) {
        CRecordingModel model;
        EXPECT_EQ(ReadObjText(model, text), -1) << text;
        EXPECT_EQ(model.errors, std::vector<std::string>{"Syntax error line 2"}) << text;
    }
}

TEST(ObjReader, GroupsAreNamedSelectedAndPruned)
{
    CRecordingModel model;
    ASSERT_EQ(ReadObjText(model, std::string(kSquare) +
                                     "f 1 2 3\n"              // before any group: "Red"
                                     "g Body-Part.1\nf 1 3 4\n"
                                     "g unused\n"             // never receives a face
                                     "g Body-Part.1\nf 2 3 4\n"
                                     "g left \t arm \r\nf 1 2 4\n"),  // one "_" per blank run, CR dropped
              1);
    ASSERT_EQ(model.GetGroupCount(), 3);
    EXPECT_EQ(model.GetGroup(2)->name, "left_arm_");
    const CGroup* red = model.GetGroup(0);
    EXPECT_EQ(red->name, "Red");
    EXPECT_EQ(red->colorIndex, FindColor("Red"));
    EXPECT_EQ(red->textureIndex, FindTexture("Shiny"));
    EXPECT_EQ(model.GetGroup(1)->name, "Body_Part_1");
    EXPECT_EQ(Faces(model, 1), (std::vector<Face>{{1, 3, 4}, {2, 3, 4}}));
}

TEST(ObjReader, VertexNormalsSmoothOnlyAnExistingGroup)
{
    CRecordingModel model;
    ASSERT_EQ(ReadObjText(model, std::string(kSquare) + "vn 0 0 1\nf 1 2 3\ng body\nvn 0 0 1\nf 1 3 4\n"), 1);
    ASSERT_EQ(model.GetGroupCount(), 2);
    EXPECT_EQ(model.GetGroup(0)->smooth, 0);  // "Red": the vn came before it existed
    EXPECT_EQ(model.GetGroup(1)->smooth, 1);
}

TEST(ObjReader, FinalLineWithoutBreakAndZeroBytesAreRead)
{
    CRecordingModel model;
    std::string text = std::string(kSquare) + "v 9 9 9";
    text += '\0';
    text += "junk\nf 1 2 5";
    ASSERT_EQ(ReadObjText(model, text), 1);
    EXPECT_EQ(model.GetVertexCount(), 5);
    EXPECT_EQ(Faces(model, 0), (std::vector<Face>{{1, 2, 5}}));
}

TEST(ObjReader, FilesWithoutGeometryGiveAnEmptyModel)
{
    const std::string utf16("\xFE\xFF\0v\0 \0001\0 \0002\0 \0003\0\n\0f\0 \0001", 24);
    for (const std::string& text : {std::string(), std::string("# nothing\n\n   \n"), utf16,
                                    std::string("just some prose\nthat is no model\n")}) {
        CRecordingModel model;
        EXPECT_EQ(ReadObjText(model, text), 1);
        EXPECT_EQ(model.GetGroupCount(), 0);
        EXPECT_TRUE(model.errors.empty());
        EXPECT_TRUE(model.HasStatus("File Read Finished"));
    }
}

TEST(ObjReader, ReportsProgressAndFinishesTheLoad)
{
    std::string text = kSquare;
    for (int i = 0; i < 250; ++i)
        text += "f 1 2 3\n";
    CRecordingModel model;
    model.modified = true;
    ASSERT_EQ(ReadObjText(model, text), 1);
    EXPECT_TRUE(model.HasStatus("Reading Line# 100"));
    EXPECT_TRUE(model.HasStatus("Reading Line# 200"));
    EXPECT_FALSE(model.HasStatus("Reading Line# 300"));
    EXPECT_EQ(model.status.back(), "File Read Finished");
    EXPECT_FALSE(model.modified);
    // Centred and unitized: the square's corner farthest from the centre is at 1.
    EXPECT_NEAR(model.m_scale, std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(readertest::Vertex(model, 1).Length(), 1.0, 1e-6);
    EXPECT_EQ(model.m_xref.GetCount(), 4);
}

TEST(ObjReader, MegabyteLinesAndFacesOfAnyCornerCount)
{
    // A long comment, then a face of 100 000 corners around a circle: all of
    // them make the fan.
    const int n = 100000;
    std::string text = "# " + std::string(3u << 20, 'x') + "\n";
    for (int i = 0; i < n; ++i)
        text += "v " + std::to_string(std::cos(i * 2 * M_PI / n)) + " " + std::to_string(std::sin(i * 2 * M_PI / n)) +
                " 0\n";
    text += "f";
    for (int i = 1; i <= n; ++i)
        text += " " + std::to_string(i);
    CRecordingModel model;
    ASSERT_EQ(ReadObjText(model, text), 1);
    EXPECT_EQ(model.GetPolygonCount(), n - 2);
}

// The file is read in pieces that both processors parse; wherever they are
// cut, it reads as the whole file read as one stream: the same model, the
// same messages and status texts, the same line in them.
TEST(ObjReader, PiecesReadAsTheWholeFileDoes)
{
    std::string many = "# a sphere of sorts\nmtllib x.mtl\n";
    for (int i = 0; i < 400; ++i) {
        many += "v " + std::to_string(i % 17) + " " + std::to_string(i / 17) + " " + std::to_string(i % 5) + "\n";
        if (i % 50 == 49)
            many += "g part " + std::to_string(i) + "\nvn 0 0 1\n";
        if (i >= 3)
            many += i % 3 ? "f -1 -2 -3\n" : "f " + std::to_string(i) + "/1/1 " + std::to_string(i - 1) + " -3 -4\n";
    }
    // Every statement over two or three lines, so that pieces end near them.
    std::string continued;
    for (size_t at = 0, next; (next = many.find('\n', at)) != std::string::npos; at = next + 1) {
        const std::string line = many.substr(at, next - at);
        const size_t blank = line.find(' ');
        continued += blank == std::string::npos ? line + "\n" : line.substr(0, blank) + " \\\r\n" + line.substr(blank) + (at % 3 ? " \\\n\n" : "\n");
    }
    std::vector<std::string> texts = {
        "",
        "\n\n",
        "\xEF\xBB\xBFv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3",
        many,
        many + "f 1 2 9999\n" + many,  // a bad face, then more
        many.substr(0, many.size() / 2) + "v 1 x 2\n" + many,
        many.substr(0, many.size() / 3) + "f -0 1 2\n",
        "v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nf 1 2 3\r\n" + std::string("v 0\0 1 2\nf 1 2 3\n", 17),
        "v 0 0 0\nv 1 0 0\nv 0 1 0\n" + std::string(3000, '#') + "\nf 1 2 3\n",  // longer than small pieces
        continued,
        // A zero byte ends a line's text, and with it any backslash after it.
        "v 0 0 0\nv 1 0 0\nv 0 1 0\n" + std::string("f 1 2 \\\0x\n 3\nf 1 2 \\\0 \\\n3\n", 26) + "f 3 2 \\",
    };
    AddCorpusTexts(texts, "obj");
    ExpectPiecesReadAsOne(ReadObjPieces, texts, 0);  // against one stream
}

}  // namespace
