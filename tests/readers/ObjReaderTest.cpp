#include <string>

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

TEST(ObjReader, FaceKeepsEveryCornerBeyondTwentySix)
{
    // A convex 30-gon: all 30 corners make 28 fan triangles.
    std::string text;
    for (int i = 0; i < 30; ++i)
        text += "v " + std::to_string(std::cos(i * 2 * M_PI / 30)) + " " + std::to_string(std::sin(i * 2 * M_PI / 30)) +
                " 0\n";
    text += "f";
    for (int i = 1; i <= 30; ++i)
        text += " " + std::to_string(i);
    text += "\n";
    CRecordingModel model;
    ASSERT_EQ(ReadObjText(model, text), 1);
    auto faces = Faces(model, 0);
    ASSERT_EQ(faces.size(), 28u);
    EXPECT_EQ(faces.back(), (Face{1, 29, 30}));
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
                                     "g left  arm \r\n"       // blanks collapse, CR dropped
                                     "g unused\n"             // never receives a face
                                     "g Body-Part.1\nf 2 3 4\n"),
              1);
    ASSERT_EQ(model.GetGroupCount(), 2);
    const CGroup* red = model.GetGroup(0);
    EXPECT_EQ(red->name, "Red");
    EXPECT_EQ(red->colorIndex, FindColor("Red"));
    EXPECT_EQ(red->textureIndex, FindTexture("Shiny"));
    EXPECT_EQ(model.GetGroup(1)->name, "Body_Part_1");
    EXPECT_EQ(Faces(model, 1), (std::vector<Face>{{1, 3, 4}, {2, 3, 4}}));
}

TEST(ObjReader, GroupNameSwallowsBlankRuns)
{
    CRecordingModel model;
    ASSERT_EQ(ReadObjText(model, std::string(kSquare) + "g left \t arm \r\nf 1 2 3\n"), 1);
    ASSERT_EQ(model.GetGroupCount(), 1);
    EXPECT_EQ(model.GetGroup(0)->name, "left_arm_");
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

TEST(ObjReader, MegabyteLinesAreHandledWhole)
{
    // A long comment and a face line of 100 000 corners around a circle.
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

TEST(ObjReader, ConcaveFaceIsClippedInsideItsOutline)
{
    // An L-shaped hexagon, tilted out of every axis plane. Its fan from corner
    // 1 would cover the notch; clipped triangles cover exactly the L.
    const float p[6][2] = {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}};
    std::vector<CVector> outline;
    std::string text;
    for (const auto& q : p) {
        CVector v(q[0] + 0.3f * q[1], q[1], 0.5f * q[0] - 0.7f * q[1]);
        outline.push_back(v);
        text += "v " + std::to_string(v.x) + " " + std::to_string(v.y) + " " + std::to_string(v.z) + "\n";
    }
    // Corner 3 does not see corner 5 across the notch, so its fan would leave the L.
    text += "f 3 4 5 6 1 2\n";
    CRecordingModel model;
    ASSERT_EQ(ReadObjText(model, text), 1);
    auto faces = Faces(model, 0);
    ASSERT_EQ(faces.size(), 4u);
    CVector normal;
    std::vector<CVector> placed;
    for (int k : {3, 4, 5, 6, 1, 2})
        placed.push_back(readertest::Vertex(model, k));
    double area = readertest::PolygonArea(placed, &normal);
    double sum = 0;
    for (const Face& f : faces) {
        double a = readertest::SignedArea(readertest::Vertex(model, f[0]), readertest::Vertex(model, f[1]),
                                          readertest::Vertex(model, f[2]), normal);
        EXPECT_GT(a, 0.0) << "triangle turned against the face";
        sum += a;
    }
    EXPECT_NEAR(sum, area, 1e-5 * area);
}

}  // namespace
