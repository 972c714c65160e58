#include <string>

#include "ReaderTestSupport.h"

using readertest::Face;
using readertest::Faces;
using readertest::ReadText;

using testfiles::GroupNames;

namespace {

const char* kTriangle = "0 0 0 1 0 0 0 1 0\n";
const char* kNeighbour = "1 0 0 1 1 0 0 1 0\n";  // shares the edge (1,0,0)-(0,1,0)

TEST(RawReader, TrianglesAloneFillTheDefaultGroup)
{
    CRecordingModel model;
    ASSERT_EQ(ReadText(ReadRaw, model, std::string(kTriangle) + kNeighbour), 1);
    ASSERT_EQ(GroupNames(model), std::vector<std::string>{"Red"});
    EXPECT_EQ(model.GetGroup(0)->colorIndex, FindColor("Red"));
    EXPECT_EQ(model.GetGroup(0)->textureIndex, FindTexture("Shiny"));
    // Corners are merged and numbered c, b, a: the first triangle reads (3, 2, 1).
    EXPECT_EQ(model.GetVertexCount(), 4);
    EXPECT_EQ(Faces(model, 0), (std::vector<Face>{{3, 2, 1}, {2, 4, 1}}));
    EXPECT_TRUE(model.errors.empty());
}

TEST(RawReader, WhichLinesAreDataAndWhichAreNames)
{
    CRecordingModel model;
    ASSERT_EQ(ReadText(ReadRaw, model,
                       "first\n"                                // the default group stays empty
                       "0 0 0 1 0 0 0 1 0\n"
                       "  \t-1 0 0 1 0 0 0 1 0\n"               // blanks and a minus: data
                       "0 0 0 1 0 0 0 1\n"                      // eight numbers: skipped
                       ".5 0 0 1 0 0 0 1 0\n"                   // leading point: a name
                       "0 0 5 1 0 5 0 1 5\n"
                       "\"two words\" trailing\n"
                       "0 0 6 1 0 6 0 1 6\n"
                       "\n"                                     // empty: no change
                       "first more\n"                           // selects "first" again
                       "0 0 7 1 0 7 0 1 7\n"),
              1);
    EXPECT_EQ(GroupNames(model), (std::vector<std::string>{"first", ".5", "two words"}));
    EXPECT_EQ(model.GetGroup(0)->polygons.GetCount(), 3);
    EXPECT_EQ(model.GetGroup(1)->polygons.GetCount(), 1);
    EXPECT_EQ(model.GetGroup(2)->polygons.GetCount(), 1);
}

TEST(RawReader, LongNamesAreCutAndUnclosedQuotesEndAtTheLine)
{
    CRecordingModel model;
    std::string longName(200, 'n');
    ASSERT_EQ(ReadText(ReadRaw, model, longName + "\r\n" + kTriangle + "\"open name\r\n" + kNeighbour), 1);
    EXPECT_EQ(GroupNames(model), (std::vector<std::string>{std::string(79, 'n'), "open name"}));
}

TEST(RawReader, DegenerateTrianglesAreDroppedAndTheLastLineCounts)
{
    CRecordingModel model;
    // Two corners 5e-7 apart are one point; the final line has no break.
    ASSERT_EQ(ReadText(ReadRaw, model, "0 0 0 0.0000005 0 0 0 1 0\n1 1 1 1 1 1 2 2 2\n0 0 0 1 0 0 0 1 0"), 1);
    EXPECT_EQ(model.GetPolygonCount(), 1);
}

TEST(TpolyReader, RecordsBecomeMergedTriangles)
{
    CRecordingModel model;
    ASSERT_EQ(ReadText(ReadTpoly, model, "3 0 0 0\n1 0 0\n0 1 0\n3 1 0 0 1 1 0 0 1 0\n"), 1);
    EXPECT_EQ(model.GetVertexCount(), 4);
    EXPECT_EQ(Faces(model, 0), (std::vector<Face>{{3, 2, 1}, {2, 4, 1}}));
}

TEST(TpolyReader, ReadingEndsAtAnythingButACompleteRecord)
{
    struct Case
    {
        std::string text;
        long triangles;
    } cases[] = {
        {"3 0 0 0 1 0 0 0 1 0\n4 0 0 0 1 0 0 0 1 0\n3 0 0 1 1 0 1 0 1 1\n", 1},  // count 4 ends it
        {"3 0 0 0 1 0 0 0 1 0\n3 0 0 1 1 0 1 0 1\n", 1},                          // cut short: dropped
        {"3 0 0 0 1 0 0 0 1 0\nend\n3 0 0 1 1 0 1 0 1 1\n", 1},
        {"3 0 0 0 1 0 0 0 1 0\n\n\n", 1},  // trailing blank lines add nothing
        {"3 0 0 0 1 0 0 0 1 0", 1},        // no final break
        {"", 0},
    };
    for (const Case& c : cases) {
        CRecordingModel model;
        EXPECT_EQ(ReadText(ReadTpoly, model, c.text), 1) << c.text;
        EXPECT_EQ(model.GetPolygonCount(), c.triangles) << c.text;
        EXPECT_TRUE(model.errors.empty());
    }
}

TEST(TpolyReader, CountsReadsForProgress)
{
    // 25 records of four reads each: the 100th read is the last point.
    std::string text;
    for (int i = 0; i < 25; ++i)
        text += "3 " + std::to_string(i) + " 0 0 " + std::to_string(i) + " 1 0 " + std::to_string(i) + " 0 1\n";
    CRecordingModel model;
    ASSERT_EQ(ReadText(ReadTpoly, model, text), 1);
    EXPECT_TRUE(model.HasStatus("Reading Line# 100"));
    EXPECT_EQ(model.GetPolygonCount(), 25);
}

}  // namespace
