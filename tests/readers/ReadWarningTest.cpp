// Reads that stop early or skip input tell the user where, and numbers that
// are not finite are bad numbers like any other.

#include <string>
#include <vector>

#include "ReaderTestSupport.h"

using readertest::AllFaces;
using readertest::ReadText;

namespace {

const char* kTriangle = "p 3\n0 0 0\n1 0 0\n0 1 0\n";

std::string Repeat(const std::string& text, int times)
{
    std::string all;
    for (int i = 0; i < times; ++i)
        all += text;
    return all;
}

}  // namespace

TEST(ReadWarnings, StoppingEarlyNamesTheLine)
{
    const struct
    {
        const char* name;
        readertest::Reader reader;
        std::string text;
        size_t faces;
        std::string warning;  // empty: the whole file was read
    } cases[] = {
        {"nff whole", ReadNff, std::string("# c\n") + kTriangle + "s 1 2 3 4\n" + kTriangle, 2, ""},
        {"nff short sphere", ReadNff, std::string(kTriangle) + "s 1 2 3\n" + kTriangle + kTriangle, 1,
         "Reading stopped at line 5: the item there could not be read"},
        // Far past the stream's buffer, so the line count spans refills.
        {"nff after many", ReadNff, Repeat(kTriangle, 5000) + "p 0\n" + kTriangle, 5000,
         "Reading stopped at line 20001: the item there could not be read"},
        {"nff polygon cut by the end", ReadNff, std::string(kTriangle) + "p 4\n0 0 0\n1 0 0\n0 1 0\n", 1,
         "Reading stopped at line 5: the item there could not be read"},
        {"nff infinite corner", ReadNff, std::string(kTriangle) + "p 3\n0 0 0\n1 0 0\n0 inf 0\n", 1,
         "Reading stopped at line 5: the item there could not be read"},
        {"tpoly whole", ReadTpoly, "3 0 0 0 1 0 0 0 1 0\n3 0 0 1 1 0 1 0 1 1\n\n", 2, ""},
        {"tpoly short record", ReadTpoly, "3 0 0 0 1 0 0 0 1 0\n3 0 0 1 1 0 1\n3 5 5 5 6 5 5 5 6 5\n", 2,
         "Reading stopped at line 3: no complete triangle record there"},
        {"tpoly not a triangle", ReadTpoly, "3 0 0 0 1 0 0 0 1 0\n\n4 0 0 0 1 0 0 0 1 0 1 1 1\n", 1,
         "Reading stopped at line 3: no complete triangle record there"},
        {"tpoly after many", ReadTpoly, Repeat("3 0 0 0 1 0 0 0 1 0\n", 20000) + "3 0 0 0\n", 20000,
         "Reading stopped at line 20001: no complete triangle record there"},
        {"tpoly cut by the end", ReadTpoly, "3 0 0 0 1 0 0 0 1 0\n3 0 0 1", 1,
         "Reading stopped at line 2: no complete triangle record there"},
        {"tpoly overflowing coordinate", ReadTpoly, "3 0 0 0 1 0 0 0 1 0\n3 0 0 1 1 0 1 0 1e999 1\n", 1,
         "Reading stopped at line 2: no complete triangle record there"},
    };
    for (const auto& c : cases) {
        CRecordingModel model;
        ASSERT_EQ(1, ReadText(c.reader, model, c.text)) << c.name;
        EXPECT_EQ(c.faces, AllFaces(model).size()) << c.name;
        // The warning is shown as information where no one overrides it.
        const std::vector<std::string> expected = c.warning.empty() ? std::vector<std::string>{}
                                                                    : std::vector<std::string>{c.warning};
        EXPECT_EQ(expected, model.infos) << c.name;
        EXPECT_TRUE(model.errors.empty()) << c.name;
    }
}

// A non-finite coordinate fails its line with the reader's own message for
// a bad number; RAW, which never reports, drops the line as unreadable.
TEST(ReadWarnings, NonFiniteCoordinatesAreBadNumbers)
{
    const struct
    {
        readertest::Reader reader;
        std::string text;
        int result;
        std::string error;
    } cases[] = {
        {ReadAoff, "3 1 0\n0 0 0\nnan 0 0\n0 1 0\n3 1 2 3\n", 0, "Syntax error: Read incorrect # of float, line# 3.000000"},
        {ReadAoff, "3 1 0\n0 0 0\n1 0 0\n0 1 -1e39\n3 1 2 3\n", 0,
         "Syntax error: Read incorrect # of float, line# 4.000000"},
        {ReadObj, "v 0 0 0\nv 1 0 1e999\nv 0 1 0\nf 1 2 3\n", -1, "Syntax error line 2"},
        {ReadObj, "v 0 0 0\nv 1 0 0\nv 0 -infinity 0\nf 1 2 3\n", -1, "Syntax error line 3"},
        {ReadRaw, "0 0 0 1 0 0 0 1 0\n0 0 1 1 0 1 nan 1 1\n", 1, ""},
    };
    for (const auto& c : cases) {
        CRecordingModel model;
        EXPECT_EQ(c.result, ReadText(c.reader, model, c.text)) << c.text;
        if (c.result == 1) {
            EXPECT_EQ(1u, AllFaces(model).size()) << c.text;
            EXPECT_TRUE(model.errors.empty()) << c.text;
        } else {
            EXPECT_EQ(std::vector<std::string>{c.error}, model.errors) << c.text;
        }
    }
}

// A line longer than the input's piece is read from its start; its tail is
// not a line of its own, and the lines after it keep their numbers.
TEST(ReadWarnings, OverlongLineIsCutNotSplit)
{
    const std::string tail(16u << 20, ' ');
    const std::string text = "0 0 0 1 0 0 0 1 0" + tail + "5 5 5 6 5 5 5 6 5\nname\n0 0 1 1 0 1 0 1 1\n";
    CRecordingModel model;
    ASSERT_EQ(1, ReadText(ReadRaw, model, text));
    EXPECT_EQ(2u, AllFaces(model).size());
    EXPECT_EQ(testfiles::GroupNames(model), (std::vector<std::string>{"Red", "name"}));
    EXPECT_EQ(std::vector<std::string>{"Line 1 is longer than 16 MiB; only its start was read"}, model.infos);
}
