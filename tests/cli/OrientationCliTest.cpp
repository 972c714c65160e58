// The converter's orientation options, its messages and its batches, run as a
// user runs them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class OrientationCli : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("trivex-orient-" + std::to_string(::getpid()) + "-" +
                                             testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    static int Run(const std::string& args, std::string* output = nullptr)
    {
        return testfiles::RunCommand(Quote(std::string(TRIVEX_BIN_DIR) + "/trivex-convert") + " " + args, output);
    }

    fs::path m_dir;
};

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The y range of each group's vertices in an OBJ file, in the order the
// groups come, and the y range of all vertices.
struct CHeights
{
    std::vector<std::pair<float, float>> groups;
    float low = 1e30f, high = -1e30f;
};

CHeights GroupHeights(const std::string& objText)
{
    CHeights heights;
    std::vector<float> y;
    std::istringstream lines(objText);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::string key;
        in >> key;
        if (key == "v") {
            float vx, vy, vz;
            in >> vx >> vy >> vz;
            y.push_back(vy);
            heights.low = std::min(heights.low, vy);
            heights.high = std::max(heights.high, vy);
        } else if (key == "g") {
            heights.groups.emplace_back(1e30f, -1e30f);
        } else if (key == "f" && !heights.groups.empty()) {
            for (std::string corner; in >> corner;) {
                float vy = y.at(static_cast<size_t>(std::stoi(corner) - 1));
                heights.groups.back().first = std::min(heights.groups.back().first, vy);
                heights.groups.back().second = std::max(heights.groups.back().second, vy);
            }
        }
    }
    return heights;
}

}  // namespace

// A scene modelled with +Z up: its ground, the first group, must end up level
// and under everything else with --up z, and stands like a wall without it.
TEST_F(OrientationCli, UpZLaysTheGroundOfAnNffSceneFlat)
{
    testfiles::WriteAll(Path("scene.nff"), "f 1 1 1 1 0 0 0 0\n"
                                           "p 4\n-10 -10 0\n10 -10 0\n10 10 0\n-10 10 0\n"
                                           "f 0 0 1 1 0 0 0 0\n"
                                           "p 3\n0 0 0\n2 0 0\n0 0 5\n"
                                           "p 3\n0 0 0\n0 2 5\n2 0 0\n");
    std::vector<std::string> scenes = {Path("scene.nff")};
    const fs::path teapot = testfiles::CorpusDir("nff/spd/teapot_s2.nff");
    if (fs::exists(teapot))
        scenes.push_back(teapot.string());
    for (const std::string& scene : scenes) {
        std::string out;
        ASSERT_EQ(Run("-q --up z " + Quote(scene) + " " + Quote(Path("up.obj")), &out), 0) << scene << out;
        CHeights up = GroupHeights(testfiles::ReadAll(Path("up.obj")));
        ASSERT_GE(up.groups.size(), 2u) << scene;
        const float size = up.high - up.low;
        EXPECT_LT(up.groups[0].second - up.groups[0].first, 1e-4f * size) << scene << ": the ground is not level";
        EXPECT_FLOAT_EQ(up.groups[0].first, up.low) << scene << ": something lies under the ground";
        EXPECT_GT(up.high - up.groups[0].second, 0.1f * size) << scene << ": nothing stands on the ground";

        ASSERT_EQ(Run("-q " + Quote(scene) + " " + Quote(Path("flat.obj")), &out), 0) << scene << out;
        CHeights flat = GroupHeights(testfiles::ReadAll(Path("flat.obj")));
        ASSERT_FALSE(flat.groups.empty());
        EXPECT_GT(flat.groups[0].second - flat.groups[0].first, 0.5f * (flat.high - flat.low)) << scene;
    }
}

TEST_F(OrientationCli, NormalOrderAutoFollowsTheWindingUnlessOverridden)
{
    // The test cube, every triangle turned around: clockwise seen from outside.
    std::ifstream in(fs::path(TRIVEX_TEST_DATA) / "cli" / "cube.raw");
    std::string turned;
    for (float c[9]; in >> c[0] >> c[1] >> c[2] >> c[3] >> c[4] >> c[5] >> c[6] >> c[7] >> c[8];) {
        std::ostringstream line;
        line << c[0] << ' ' << c[1] << ' ' << c[2] << ' ' << c[6] << ' ' << c[7] << ' ' << c[8] << ' ' << c[3] << ' '
             << c[4] << ' ' << c[5] << '\n';
        turned += line.str();
    }
    testfiles::WriteAll(Path("cw.raw"), turned);
    const std::map<std::string, const char*> expected = {{"", "vertexOrdering CLOCKWISE"},
                                                         {"--normal-order auto", "vertexOrdering CLOCKWISE"},
                                                         {"--normal-order reverse", "vertexOrdering COUNTERCLOCKWISE"},
                                                         {"--normal-order file", "vertexOrdering CLOCKWISE"}};
    for (const auto& [option, ordering] : expected) {
        std::string out;
        ASSERT_EQ(Run("-q " + option + " " + Quote(Path("cw.raw")) + " " + Quote(Path("cw.wrl")), &out), 0) << out;
        EXPECT_NE(testfiles::ReadAll(Path("cw.wrl")).find(ordering), std::string::npos) << option;
    }
}

TEST_F(OrientationCli, MessagesSayWhatWasWrongAndWhereToLook)
{
    struct Case {
        std::string args;
        int status;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"--bogus a.obj b.pov", 2, {"unknown option --bogus", "--help"}},
        {"a.obj b.pov --bogus", 2, {"unknown option --bogus"}},
        {"--color Body=Blu a.obj b.pov", 2, {"no such colour", "--list-colors"}},
        {"--texture Body=Chrome a.obj b.pov", 2, {"Dull, GlassFinish, Luminous, Metal, Mirror or Shiny"}},
        {"--up x a.obj b.pov", 2, {"y or z"}},
        {"--list-colors", 0, {"NavyBlue", "Aquamarine"}},
        {"--help", 0, {"bounding radius", "--up", "--list-colors", "\"auto\""}},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(Run(c.args, &out), c.status) << c.args;
        for (const std::string& text : c.says)
            EXPECT_NE(out.find(text), std::string::npos) << c.args << " should say " << text << ":\n" << out;
    }
    std::string colors;
    Run("--list-colors", &colors);
    EXPECT_EQ(Count(colors, "\n"), 122u);  // a heading and 121 colours
}

// A folder of OBJ files holds their .mtl files too; these cannot be read and
// must not keep the models from their output names.
TEST_F(OrientationCli, BatchSkipsUnreadableInputsWithoutClaimingTheirNames)
{
    const fs::path cube = fs::path(TRIVEX_TEST_DATA) / "cli" / "cube.obj";
    for (const char* name : {"a", "b"}) {
        fs::copy_file(cube, Path(std::string(name) + ".obj"));
        testfiles::WriteAll(Path(std::string(name) + ".mtl"), "newmtl red\nKd 1 0 0\n");
    }
    std::string out;
    EXPECT_EQ(Run("-q -j 2 -o " + Quote(Path("out")) + " --to pov " + Quote(Path("a.mtl")) + " " +
                      Quote(Path("a.obj")) + " " + Quote(Path("b.mtl")) + " " + Quote(Path("b.obj")),
                  &out),
              1);
    EXPECT_TRUE(fs::exists(Path("out/a.pov"))) << out;
    EXPECT_TRUE(fs::exists(Path("out/b.pov"))) << out;
    EXPECT_EQ(Count(out, "a.mtl: skipped: cannot read \".mtl\" files"), 1u) << out;
    EXPECT_EQ(Count(out, "b.mtl: skipped: cannot read \".mtl\" files"), 1u) << out;
    EXPECT_EQ(Count(out, "would overwrite"), 0u) << out;
    EXPECT_NE(out.find("2 of 4 conversions failed"), std::string::npos) << out;
}

TEST_F(OrientationCli, NffSpheresAndConesAreCountedOnceUnlessQuiet)
{
    testfiles::WriteAll(Path("balls.nff"), "s 0 0 1 0.5\ns 2 0 1 0.5\nc 0 0 0 1 0 0 2 0\n"
                                           "p 4\n-5 -5 0\n5 -5 0\n5 5 0\n-5 5 0\n"
                                           "s 4 0 1 0.5\n");
    std::string out;
    ASSERT_EQ(Run(Quote(Path("balls.nff")) + " " + Quote(Path("balls.pov")), &out), 0) << out;
    EXPECT_EQ(Count(out, "Skipped 3 spheres and 1 cone: only polygons are read"), 1u) << out;
    ASSERT_EQ(Run("-q " + Quote(Path("balls.nff")) + " " + Quote(Path("balls.pov")), &out), 0) << out;
    EXPECT_EQ(out, "");
    ASSERT_EQ(Run(Quote(fs::path(TRIVEX_TEST_DATA) / "cli" / "cube.nff") + " " + Quote(Path("cube.pov")), &out), 0);
    EXPECT_EQ(out.find("Skipped"), std::string::npos) << out;
}
