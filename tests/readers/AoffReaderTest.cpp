#include <algorithm>
#include <chrono>
#include <string>

#include "ReaderTestSupport.h"

using readertest::Face;
using readertest::Faces;
using readertest::ReadText;

namespace {

// Five points of a convex pentagon.
const char* kPentagonPoints = "0 0 0\n2 0 0\n3 1 0\n1 3 0\n-1 1 0\n";

int ReadAoffText(CRecordingModel& model, const std::string& text)
{
    return ReadText(ReadAoff, model, text);
}

TEST(AoffReader, PolygonsBecomeFansOfFileNumbers)
{
    CRecordingModel model;
    ASSERT_EQ(ReadAoffText(model, std::string("5 3 0\n") + kPentagonPoints + "5 1 2 3 4 5\n4 1 2 3 4\n3\t5 4 3\n"), 1);
    EXPECT_EQ(Faces(model, 0), (std::vector<Face>{{1, 2, 3}, {1, 3, 4}, {1, 4, 5}, {1, 2, 3}, {1, 3, 4}, {5, 4, 3}}));
    EXPECT_EQ(model.GetGroup(0)->name, "Red");
}

TEST(AoffReader, CoincidentPointsKeepTheirOwnNumbers)
{
    CRecordingModel model;
    ASSERT_EQ(ReadAoffText(model, "4 1\n0 0 0\n1 0 0\n0 1 0\n0 0 0\n3 4 2 3\n"), 1);
    EXPECT_EQ(model.GetVertexCount(), 4);
    EXPECT_EQ(Faces(model, 0), (std::vector<Face>{{4, 2, 3}}));
}

TEST(AoffReader, FewerPolygonLinesThanPromisedIsNoError)
{
    CRecordingModel model;
    ASSERT_EQ(ReadAoffText(model, std::string("5 10 0\n") + kPentagonPoints + "3 1 2 3"), 1);
    EXPECT_EQ(model.GetPolygonCount(), 1);
    EXPECT_TRUE(model.errors.empty());
}

TEST(AoffReader, FailuresReportAndEmptyTheModel)
{
    struct Case
    {
        std::string text;
        const char* error;
    } cases[] = {
        {"", "Premature EOF on line 1"},
        {"3 1 0\n", "Premature EOF line# 2, expecting 3 points, got 0"},
        {"3 1 0\n0 0 0\n1 0 0", "Premature EOF line# 4, expecting 3 points, got 2"},
        {"3 1 0\n0 0 0\n1 0\n0 1 0\n", "Syntax error: Read incorrect # of float, line# 3.000000"},
        {std::string("5 2 0\n") + kPentagonPoints + "3 1 2 3\n9 1 2 3 4 5 1 2 3 4\n",
         "Unsupported polygon count of 9 at line# 8"},
        {std::string("5 1 0\n") + kPentagonPoints + "\n", "Unsupported polygon count of 0 at line# 7"},
        {std::string("5 1 0\n") + kPentagonPoints + "4 1 2 3\n", "Field Count Mismatch(count=4, read = 4) line# 7"},
        {std::string("5 1 0\n") + kPentagonPoints + "5 1 2 x 4 5\n", "Field Count Mismatch(count=5, read = 3) line# 7"},
    };
    for (const Case& c : cases) {
        CRecordingModel model;
        EXPECT_EQ(ReadAoffText(model, c.text), 0) << c.text;
        EXPECT_EQ(model.errors, std::vector<std::string>{c.error}) << c.text;
        EXPECT_FALSE(model.HasStatus("File Read Finished"));
    }
}

TEST(AoffReader, HugeCountsCostOnlyWhatTheFileHolds)
{
    auto start = std::chrono::steady_clock::now();
    CRecordingModel points;
    EXPECT_EQ(ReadAoffText(points, "9223372036854775807 9223372036854775807 0\n0 0 0\n1 0 0\n"), 0);
    EXPECT_EQ(points.errors,
              std::vector<std::string>{"Premature EOF line# 4, expecting 9223372036854775807 points, got 2"});
    CRecordingModel polygons;
    EXPECT_EQ(ReadAoffText(polygons, "3 99999999999999999999 0\n0 0 0\n1 0 0\n0 1 0\n3 1 2 3\n"), 1);
    EXPECT_EQ(polygons.GetPolygonCount(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(AoffReader, HeaderWithoutCountsGivesAnEmptyModel)
{
    for (const char* text : {"\n", "AOFF\n1 2 3\n", "-4 -2 0\n"}) {
        CRecordingModel model;
        EXPECT_EQ(ReadAoffText(model, text), 1) << text;
        EXPECT_EQ(model.GetGroupCount(), 0);
        EXPECT_EQ(model.GetVertexCount(), 0);
    }
}

TEST(AoffReader, VertexNumbersAreNotRangeChecked)
{
    // Faces naming missing points are kept as written and skipped by every
    // traversal; the load still finishes.
    CRecordingModel model;
    ASSERT_EQ(ReadAoffText(model, "3 2\n0 0 0\n1 0 0\n0 1 0\n3 1 2 3\n3 1 7 99999999999\n"), 1);
    EXPECT_EQ(Faces(model, 0), (std::vector<Face>{{1, 2, 3}, {1, 7, 0}}));
    EXPECT_NEAR(model.m_scale, std::sqrt(0.5), 1e-6);
}

TEST(AoffReader, ConcaveQuadIsClipped)
{
    // A dart whose point 3 is reflex. Listed from point 2, its fan (2,3,4),
    // (2,4,1) would cover the outside of the notch; the only diagonal inside
    // runs from point 1 to point 3.
    CRecordingModel model;
    ASSERT_EQ(ReadAoffText(model, "4 1\n0 0 0\n2 1 0\n0 0.5 0\n-2 1 0\n4 2 3 4 1\n"), 1);
    auto faces = Faces(model, 0);
    ASSERT_EQ(faces.size(), 2u);
    for (const Face& f : faces) {
        EXPECT_NE(std::find(f.begin(), f.end(), 1), f.end()) << "diagonal misses point 1";
        EXPECT_NE(std::find(f.begin(), f.end(), 3), f.end()) << "diagonal misses point 3";
    }
}

}  // namespace
