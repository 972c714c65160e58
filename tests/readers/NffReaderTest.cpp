#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "PieceReads.h"
#include "ReaderTestSupport.h"

using readertest::Face;
using readertest::Faces;
using readertest::ReadText;

namespace {

const char* kViewpoint = "v\nfrom 0 3 10\nat 0 0 0\nup 0 1 0\nangle 60\nhither 1\nresolution 640 480\n";
const char* kQuad = "p 4\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n";

int ReadNffText(CRecordingModel& model, const std::string& text)
{
    return ReadText(ReadNff, model, text);
}

TEST(NffReader, SceneWithoutPolygonsIsEmpty)
{
    CRecordingModel model;
    ASSERT_EQ(ReadNffText(model, std::string(kViewpoint) + "l 1 2 3\nb 0 0 0\ns 0 0 0 1\nc 0 0 0 1 0 1 0 1\n"), 1);
    EXPECT_EQ(model.GetGroupCount(), 0);
    EXPECT_TRUE(model.HasStatus("File Read Finished"));
}

TEST(NffReader, FillsChooseGroupsByNearestColour)
{
    CRecordingModel model;
    ASSERT_EQ(ReadNffText(model, std::string(kQuad) +                         // before any fill: "Red"
                                     "f 0 0 1 0.5 0.5 3 0 1\n" + kQuad +       // blue
                                     "f 0 0 0.98 1 0 10 0 1\n" + kQuad +       // also nearest blue
                                     "f 1 0 0 0.5 0.5 3 0 1\n" + kQuad),       // red: joins "Red"
              1);
    ASSERT_EQ(model.GetGroupCount(), 2);
    EXPECT_EQ(model.GetGroup(0)->name, "Red");
    EXPECT_EQ(model.GetGroup(0)->polygons.GetCount(), 4);
    EXPECT_EQ(model.GetGroup(1)->name, ColorTable[NearestColor(0, 0, 1)].name);
    EXPECT_EQ(model.GetGroup(1)->textureIndex, 0);
    EXPECT_EQ(model.GetGroup(1)->polygons.GetCount(), 4);
}

TEST(NffReader, QuadIsAFanOfMergedCorners)
{
    CRecordingModel model;
    ASSERT_EQ(ReadNffText(model, std::string(kQuad) + kQuad), 1);
    EXPECT_EQ(model.GetVertexCount(), 4);
    EXPECT_EQ(Faces(model, 0), (std::vector<Face>{{1, 2, 3}, {1, 3, 4}, {1, 2, 3}, {1, 3, 4}}));
}

TEST(NffReader, PatchesSmoothTheirGroup)
{
    const char* patch = "pp 3\n0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\n";
    CRecordingModel model;
    ASSERT_EQ(ReadNffText(model, std::string(kQuad) + "f 0 0 1 0.5 0.5 3 0 1\n" + patch + kQuad), 1);
    ASSERT_EQ(model.GetGroupCount(), 2);
    EXPECT_EQ(model.GetGroup(0)->smooth, 0);
    EXPECT_EQ(model.GetGroup(1)->smooth, 1);  // the later polygon leaves it smooth
    EXPECT_EQ(model.GetGroup(1)->polygons.GetCount(), 3);
}

TEST(NffReader, UnknownCharactersSkipOnlyTheirLine)
{
    CRecordingModel model;
    ASSERT_EQ(ReadNffText(model, std::string("# comment\n\n") + kViewpoint + "tess 4\nQ 2\n" + kQuad), 1);
    EXPECT_EQ(model.GetPolygonCount(), 2);
}

TEST(NffReader, UnreadableItemEndsTheParseAndKeepsWhatCameBefore)
{
    struct Case
    {
        std::string text;
        long faces;
    } cases[] = {
        {std::string(kQuad) + "p 0\n" + kQuad, 2},
        {std::string(kQuad) + "p 4\n0 0 0\n1 0 0\n" + kQuad, 2},  // the next "p" is no corner
        {std::string(kQuad) + "v\nfrom 0 0 1\nat 0 0 0\nup 0 1 0\nangle 45\n" + kQuad, 2},  // no hither
        {std::string(kQuad) + "f 1 0 0 0.5 0.5\n" + kQuad, 2},  // a fill of five numbers
        {std::string(kQuad) + "s 1 2 3\n" + kQuad, 2},
    };
    for (const Case& c : cases) {
        CRecordingModel model;
        EXPECT_EQ(ReadNffText(model, c.text), 1) << c.text;
        EXPECT_EQ(model.GetPolygonCount(), c.faces) << c.text;
        EXPECT_TRUE(model.errors.empty());
    }
}

TEST(NffReader, CornersAreThirtyTwoBitNumbers)
{
    // 12 000 separate triangles need 36 000 vertices, beyond 16-bit numbers.
    std::string text;
    for (int i = 0; i < 12000; ++i) {
        std::string z = std::to_string(i);
        text += "p 3\n0 0 " + z + "\n1 0 " + z + "\n0 1 " + z + "\n";
    }
    CRecordingModel model;
    ASSERT_EQ(ReadNffText(model, text), 1);
    ASSERT_EQ(model.GetVertexCount(), 36000);
    auto faces = Faces(model, 0);
    ASSERT_EQ(faces.size(), 12000u);
    EXPECT_EQ(faces.back(), (Face{35998, 35999, 36000}));
    EXPECT_TRUE(model.HasStatus("Reading Line# 100"));
}

// A file of many batches, which the reader parses ahead on a second thread:
// polygons, patches and fills arrive in file order, the status texts count
// the reads as they happen, and the unreadable item is named by its line.
TEST(NffReader, ReadingAheadKeepsTheFileOrder)
{
    std::string text;
    long lines = 0, reads = 1, triangles = 0, corners = 0;
    for (int i = 0; i < 4000; ++i) {
        if (i % 1000 == 999) {
            text += "f 0 0 1 0.5 0.5 3 0 1\n";
            ++lines, ++reads;
        }
        const int n = 3 + i % 5;
        const bool patch = i % 7 == 0;
        text += (patch ? "pp " : "p ") + std::to_string(n) + "\n";
        for (int k = 0; k < n; ++k) {
            const double a = 6.283185307179586 * k / n;
            text += std::to_string(std::cos(a)) + " " + std::to_string(std::sin(a)) + " " + std::to_string(i) +
                    (patch ? " 0 0 1\n" : "\n");
        }
        lines += 1 + n, reads += 1 + n, triangles += n - 2, corners += n;
    }
    const long badLine = lines + 1;
    text += "p 3\n5 5 5\n1 x 0\n" + std::string(kQuad);
    reads += 3;  // the bad polygon and its two corners

    CRecordingModel model;
    ASSERT_EQ(ReadNffText(model, text), 1);
    EXPECT_EQ(model.GetPolygonCount(), triangles);
    EXPECT_EQ(model.GetVertexCount(), corners + 1);  // the unfinished polygon's first corner
    ASSERT_EQ(model.GetGroupCount(), 2);  // "Red", then the fills' blue
    EXPECT_EQ(model.GetGroup(1)->smooth, 1);
    // The warning is shown as information where no one overrides it.
    EXPECT_EQ(model.infos, std::vector<std::string>{"Reading stopped at line " + std::to_string(badLine) +
                                                        ": the item there could not be read"});
    std::vector<std::string> expected, seen;
    for (long read = 100; read <= reads; read += 100)
        expected.push_back("Reading Line# " + std::to_string(read));
    for (const std::string& status : model.status)
        if (status.rfind("Reading Line# ", 0) == 0)
            seen.push_back(status);
    EXPECT_EQ(seen, expected);
}

TEST(NffReader, PolygonOnOneLineAndHugeCountsStayBounded)
{
    CRecordingModel model;
    ASSERT_EQ(ReadNffText(model, "p 4 0 0 0 1 0 0 1 1 0 0 1 0\np 2147483647\n0 0 1\n1 0 1\n"), 1);
    EXPECT_EQ(model.GetPolygonCount(), 2);
    EXPECT_EQ(model.GetVertexCount(), 6);  // the unfinished polygon's corners stay as vertices
}

// What a read left, for comparing two reads of the same text: the
// messages that are not status texts, and the model.
std::string Outcome(const CRecordingModel& model, int result)
{
    std::string out = "result " + std::to_string(result) + "\n";
    for (const std::string& e : model.errors)
        out += "error " + e + "\n";
    for (const std::string& i : model.infos)
        out += "info " + i + "\n";
    for (const std::string& n : model.notices)
        out += "notice " + n + "\n";
    return out + DumpModel(model);
}

class CSilentModel : public CRecordingModel
{
public:
    bool ShowsStatus() const override { return false; }
};

// Parsed in pieces on two processors, a file reads as it does in one
// stream, wherever the pieces are cut: the same model, the same warnings,
// the same line in them, and the same count of what was skipped.
TEST(NffReader, PiecesReadAsOneStreamDoes)
{
    std::string many;
    for (int i = 0; i < 600; ++i) {
        if (i % 150 == 149)
            many += "f 0 0 1 0.5 0.5 3 0 1\ns 0 0 0 1\n";
        const int n = 3 + i % 4;
        many += (i % 5 == 0 ? "pp " : "p ") + std::to_string(n) + "\n";
        for (int k = 0; k < n; ++k)
            many += std::to_string(std::cos(k + i)) + " " + std::to_string(std::sin(k * i)) + " " + std::to_string(i) +
                    (i % 5 == 0 ? " 0 0 1\n" : "\n");
    }
    std::vector<std::string> texts = {
        "",
        " \n\n",
        "\xEF\xBB\xBFp 3\n0 0 0\n1 0 0\n0 1 0\n",
        std::string(kViewpoint) + kQuad + "c 0 0 0 1 0 1 0 1\n" + kQuad + kQuad,
        many,
        many + "p 3\n5 5 5\n1 x 0\n" + kQuad,                  // a corner that cannot be read
        many.substr(0, many.size() / 2) + "p 5\n0 0 0\n1 0 0\n0 1 0\n" + many.substr(many.size() / 2),
        "p 4 0 0 0 1 0 0\n1 1 0 0 1 0\np 3\n0 0 0\n1 0 0\n0 1 0",  // corners across lines, no last line feed
        "p 3\r\n0 0 0\r\n1 0 0\r\n0 1 0\r\np 3\r\n0 0 1\r\n1 0 1\r\n0 1 1\r\n",
        "# p 3\np 3\n0 0 0\n1 0 0\n0 1 0\n#\npp 3\n0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\nq\np 2147483647\n0 0 1\n",
        "v\nfrom 0 0 1\np 3\n0 0 0\n1 0 0\n0 1 0\n",           // a viewpoint cut short by a polygon
        "p 3\n0 0 0\n1 0 0\np 3\n0 0 1\n1 0 1\n0 1 1\n",       // too few corners before the next polygon
        "p 3\n0 0 0\n1 0 0\n1e999 1 0\np 3\n0 0 1\n1 0 1\n0 1 1\n",
    };
    // Long stretches without a polygon, which end the cutting: the rest is
    // read straight from the file.
    std::string spheres;
    for (int i = 0; i < 400; ++i)
        spheres += "s " + std::to_string(i) + " 0 0 1\n";
    texts.push_back(many.substr(0, 3000) + spheres + many);
    texts.push_back(spheres + many + "p 3\n5 5 5\n1 x 0\n" + kQuad);
    AddCorpusTexts(texts, "nff");
    for (const std::string& text : texts) {
        CRecordingModel stream;
        const std::string expected = Outcome(stream, ReadNffText(stream, text));
        for (size_t pieceBytes : {size_t{3}, size_t{64}, size_t{1000}, size_t{1} << 18}) {
            CSilentModel pieces;
            FILE* fp = testfiles::OpenText(text);
            ASSERT_NE(fp, nullptr);
            const int result = ReadNffPieces(pieces, fp, pieceBytes);
            std::fclose(fp);
            EXPECT_EQ(Outcome(pieces, result), expected) << "pieces of " << pieceBytes << " bytes:\n"
                                                         << text.substr(0, 200);
        }
    }
}

}  // namespace
