#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

class CheckCliTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("trivex-check-" + std::to_string(::getpid()) + "-" +
                                             testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    static std::string Data(const std::string& name) { return (fs::path(TRIVEX_TEST_DATA) / "cli" / name).string(); }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    int Run(const std::string& args, std::string& output, const std::string& environment = "")
    {
        return testfiles::RunCommand(environment + "'" + std::string(TRIVEX_BIN_DIR) + "/trivex-convert' " + args,
                                     &output);
    }

    fs::path m_dir;
};

}  // namespace

TEST_F(CheckCliTest, VerifiedConversionPrintsTheTable)
{
    std::string out;
    EXPECT_EQ(Run("--check '" + Data("cube.obj") + "' '" + Path("cube.nff") + "' 2>&1", out), 0) << out;
    EXPECT_NE(out.find("check of " + Path("cube.nff") + " (Neutral File Format):"), std::string::npos) << out;
    EXPECT_NE(out.find("triangles"), std::string::npos) << out;
    EXPECT_NE(out.find("verified: 1 group, 12 triangles, nothing lost"), std::string::npos) << out;
}

// The planted fault: the writer leaves out one triangle without a word, and
// the check catches it with exit status 1 and names what was lost.
TEST_F(CheckCliTest, PlantedFaultExitsWithOne)
{
    std::string out;
    EXPECT_EQ(Run("--check '" + Data("cube.raw") + "' '" + Path("cube.tpo") + "' 2>&1", out,
                  "TRIVEX_TEST_SKIP_TRIANGLE=5 "),
              1)
        << out;
    EXPECT_NE(out.find("differs: group \""), std::string::npos) << out;
    EXPECT_NE(out.find("1 triangle lost (12 written, 11 read)"), std::string::npos) << out;
    // The same fault unchecked goes unnoticed: that is what --check is for.
    EXPECT_EQ(Run("'" + Data("cube.raw") + "' '" + Path("cube2.tpo") + "' 2>&1", out, "TRIVEX_TEST_SKIP_TRIANGLE=5 "),
              0)
        << out;
}

TEST_F(CheckCliTest, BatchSummaryCountsEachVerdict)
{
    // Inputs of different names, so that their outputs do not clash.
    const std::string one = Path("one.obj"), two = Path("two.nff");
    fs::copy_file(Data("cube.obj"), one);
    fs::copy_file(Data("cube.nff"), two);
    std::string out;
    // cube.obj and cube.nff verify as OBJ; the POV-Ray run cannot be proved.
    EXPECT_EQ(Run("--check -q -o '" + Path("obj") + "' --to obj '" + one + "' '" + two +
                      "' 2>&1",
                  out),
              0)
        << out;
    EXPECT_NE(out.find("checked 2 files: 2 verified, 0 differing, 0 not verifiable"), std::string::npos) << out;
    EXPECT_EQ(Run("--check -o '" + Path("pov") + "' --to pov '" + one + "' '" + two +
                      "' 2>&1",
                  out),
              0)
        << out;
    EXPECT_NE(out.find("not verifiable: no reader for POV-Ray 2.2 scene"), std::string::npos) << out;
    EXPECT_NE(out.find("checked 2 files: 0 verified, 0 differing, 2 not verifiable"), std::string::npos) << out;
    EXPECT_EQ(Run("--check -q -o '" + Path("raw") + "' --to raw '" + one + "' '" + two +
                      "' 2>&1",
                  out, "TRIVEX_TEST_SKIP_TRIANGLE=0 "),
              1)
        << out;
    EXPECT_NE(out.find("checked 2 files: 0 verified, 2 differing, 0 not verifiable"), std::string::npos) << out;
}
