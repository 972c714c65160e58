#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Formats.h"
#include "RecordingModel.h"
#include "TestFiles.h"
#include "Verify.h"

namespace fs = std::filesystem;

namespace {

class VerifyTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("trivex-verify-" + std::to_string(::getpid()) + "-" +
                                             testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    // Reads OBJ text into the model, as the converter would.
    bool ReadObjText(CModel& model, const std::string& text)
    {
        const std::string path = Path("input.obj");
        testfiles::WriteAll(path, text);
        return ReadModelFile(model, *FindFormat("obj"), path);
    }

    // Saves the model in the format with a tally and checks the file.
    CVerifyReport SaveAndVerify(CModel& model, const char* format, long plantedSkip = -1)
    {
        const std::string path = Path(std::string("out.") + format);
        CWriteTally tally;
        tally.plantedSkip = plantedSkip;
        const CWriteTallyScope counting(model, &tally);
        EXPECT_TRUE(WriteModelFile(model, *FindFormat(format), path)) << format;
        return VerifyWrittenFile(model, *FindFormat(format), path, tally);
    }

    fs::path m_dir;
};

// Two named groups in two colours, one a quad, one two triangles.
const char kTwoGroups[] =
    "v 0 0 0\nv 2 0 0\nv 2 1 0\nv 0 1 0\nv 0 0 3\nv 1 0 3\nv 1 1 4\n"
    "g Base\nf 1 2 3 4\ng Roof\nf 5 6 7\nf 5 7 4\n";

std::vector<const CFormat*> VerifiableFormats()
{
    std::vector<const CFormat*> formats;
    for (int i = 0; i < FormatCount(); ++i)
        if (CanVerify(FormatAt(i)))
            formats.push_back(&FormatAt(i));
    return formats;
}

}  // namespace

// Every format we both write and read proves every corpus model that
// converts; the rest say why they cannot be proved.
TEST_F(VerifyTest, CorpusThroughEveryVerifiableWriter)
{
    const fs::path corpus = testfiles::CorpusDir("");
    if (!fs::is_directory(corpus))
        GTEST_SKIP() << "sample corpus not found at " << corpus.string();
    const std::vector<const CFormat*> formats = VerifiableFormats();
    ASSERT_GE(formats.size(), 6u);
    int models = 0;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        const std::string input = entry.path().string();
        // Large files prove nothing the small ones do not, at many times the cost.
        if (!entry.is_regular_file() || entry.file_size() > 400 * 1024)
            continue;
        const CFormat* in = FormatForExtension(ExtensionOf(input), false);
        if (in && std::string(in->name) == "nff" && LooksLikeWorldToolkit(input))
            in = FindFormat("wtk");
        if (!in || !in->CanRead())
            continue;
        CRecordingModel model;
        if (!ReadModelFile(model, *in, input) || model.GetPolygonCount() == 0)
            continue;  // not a model that converts
        for (const CFormat* out : formats) {
            const CVerifyReport report = SaveAndVerify(model, out->name);
            EXPECT_EQ(report.verdict, EVerdict::Verified) << input << " -> " << out->name << "\n" << report.Table();
        }
        ++models;
    }
    EXPECT_GT(models, 20);
    CRecordingModel model;
    ASSERT_TRUE(ReadObjText(model, kTwoGroups));
    for (const char* unreadable : {"pov", "inc", "asc", "wrl", "cob"}) {
        const CVerifyReport report = SaveAndVerify(model, unreadable);
        EXPECT_EQ(report.verdict, EVerdict::NotVerifiable) << unreadable;
        EXPECT_EQ(report.verdictLine, std::string("not verifiable: no reader for ") +
                                          FindFormat(unreadable)->description);
    }
}

// A writer made to leave out one triangle is caught, in every format, and
// the difference names the group and the count.
TEST_F(VerifyTest, PlantedSkipIsNamed)
{
    for (const CFormat* format : VerifiableFormats()) {
        CRecordingModel model;
        ASSERT_TRUE(ReadObjText(model, kTwoGroups));
        // Triangle 2 is Roof's first: the quad makes triangles 0 and 1.
        const CVerifyReport report = SaveAndVerify(model, format->name, 2);
        EXPECT_EQ(report.verdict, EVerdict::Differs) << format->name << "\n" << report.Table();
        ASSERT_FALSE(report.differences.empty()) << format->name;
        const std::string& first = report.differences.front();
        EXPECT_NE(first.find("1 triangle lost ("), std::string::npos) << format->name << ": " << first;
        EXPECT_EQ(report.verdictLine.rfind("differs: ", 0), 0u) << report.verdictLine;
    }
}

// Degenerate triangles: the merging writers leave them out and say so; the
// others write them and the readers merge them away, which the file's
// precision allows. Neither is a loss.
TEST_F(VerifyTest, RequiredDropsAreNotLosses)
{
    const std::string degenerate = std::string(kTwoGroups) + "f 1 1 2\n";
    for (const char* format : {"wtk", "raw", "obj", "dxf"}) {
        CRecordingModel model;
        ASSERT_TRUE(ReadObjText(model, degenerate));
        const CVerifyReport report = SaveAndVerify(model, format);
        EXPECT_EQ(report.verdict, EVerdict::Verified) << format << "\n" << report.Table();
        long dropped = 0;
        for (const CVerifyRow& row : report.rows)
            dropped += row.dropped;
        EXPECT_EQ(dropped, std::string(format) == "wtk" ? 1 : 0) << format;
    }
}

// Changing the file after the save stands for a writer that got a number,
// a colour or a line wrong: each is found and named.
TEST_F(VerifyTest, AlteredFilesDiffer)
{
    struct CCase
    {
        const char* format;
        const char* from;  // text in the written file
        const char* to;
        const char* named;  // in the difference
    };
    const CCase cases[] = {
        // The read centred the model: (2, 1, 0) is written as (1, 0.5, -2).
        {"obj", "v 1.00000 0.50000 -2.00000", "v 1.00000 1.00000 -2.00000", "area"},
        {"obj", "g Roof\n", "g Roof\nf 1 2 3\n", "more read back"},
        {"raw", "1 0.5 -2\n", "1 0.5 -1.9\n", "area"},
        {"tpo", "1.000000 0.500000 -2.000000", "1.000000 0.500000 -1.900000", "area"},
        // Colour is all that tells NFF and DXF groups apart.
        {"nff", "f 1.000000 0.000000 0.000000", "f 0.000000 0.000000 1.000000",
         "group \"Blue\": read back but never written (2 triangles)"},
        {"wtk", "0xf00", "0x00f", "colour Red should read back as Red, read as Blue"},
        {"dxf", "  62\n1\n", "  62\n5\n", "read back but never written (1 triangle)"},
        {"wtk", "Roof\n", "Roof\n1 2 3\n", "read"},
    };
    for (const CCase& c : cases) {
        CRecordingModel model;
        ASSERT_TRUE(ReadObjText(model, kTwoGroups));
        model.GetGroup(0)->colorIndex = FindColor("Red");
        model.GetGroup(1)->colorIndex = FindColor("Red");
        const std::string path = Path(std::string("altered.") + c.format);
        CWriteTally tally;
        {
            const CWriteTallyScope counting(model, &tally);
            ASSERT_TRUE(WriteModelFile(model, *FindFormat(c.format), path));
        }
        std::string text = testfiles::ReadAll(path);
        const size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.format << ": " << c.from << " not in\n" << text;
        text.replace(at, std::string(c.from).size(), c.to);
        testfiles::WriteAll(path, text);
        const CVerifyReport report = VerifyWrittenFile(model, *FindFormat(c.format), path, tally);
        EXPECT_EQ(report.verdict, EVerdict::Differs) << c.format << " " << c.to << "\n" << report.Table();
        bool named = false;
        for (const std::string& difference : report.differences)
            named = named || difference.find(c.named) != std::string::npos;
        EXPECT_TRUE(named) << c.format << ": \"" << c.named << "\" not named in\n" << report.Table();
    }
}
