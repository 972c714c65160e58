// Which way converted models face and stand, and the converter's messages,
// judged from what a user gets.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "TestFiles.h"
#include "Vector.h"

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    quoted += text;
    quoted += '\'';
    return quoted;
}

class OrientationCli : public testing::Test
{
protected:
    void SetUp() override { fs::create_directories(m_dir); }
    void TearDown() override { fs::remove_all(m_dir); }
    // A quoted path in the test's own folder.
    std::string Path(const std::string& name) const { return Quote((m_dir / name).string()); }
    std::string Read(const std::string& name) const { return testfiles::ReadAll(m_dir / name); }
    static int Run(const std::string& args, std::string* output = nullptr)
    {
        return testfiles::RunCommand(Quote(std::string(TRIVEX_BIN_DIR) + "/trivex-convert") + " " + args, output);
    }
    fs::path m_dir = fs::temp_directory_path() / ("trivex-orient-" + std::to_string(::getpid()));
};

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Reads triangles back as a viewer would (OBJ "v", "vn", "f a//a b//b c//c";
// NFF "pp 3" with a normal per corner; VRML points and coordIndex, whose
// fronts a clockwise vertexOrdering turns around; ASCII STL facets) and sums six times the
// volume they enclose, counter-clockwise fronts counting positive, and the
// corner normals that point behind their face.
struct CJudgement
{
    double volume = 0.0;
    int corners = 0, opposed = 0;
};

CJudgement Judge(const std::string& text, const std::string& format)
{
    CJudgement j;
    auto add = [&j](const CVector* p, const CVector* n) {
        j.volume += p[0].Dot(p[1].Cross(p[2]));
        for (int i = 0; n && i < 3; ++i, ++j.corners)
            j.opposed += n[i].Dot((p[1] - p[0]).Cross(p[2] - p[0])) < 0.0f;
    };
    std::vector<CVector> v, vn;
    std::istringstream lines(text);
    bool points = false, indices = false;
    for (std::string line; std::getline(lines, line);) {
        std::replace_if(line.begin(), line.end(), [](char c) { return c == ',' || c == '/'; }, ' ');
        std::istringstream in(line);
        std::string key;
        if (in >> key && !std::isalpha(static_cast<unsigned char>(key[0])))
            key.clear(), in.seekg(0);  // a line of numbers
        points = points && line.find(']') == std::string::npos;
        indices = indices && line.find(']') == std::string::npos;
        CVector p[3], n[3];
        if (key == "v" || key == "vn" || (points && key.empty())) {
            in >> p[0].x >> p[0].y >> p[0].z;
            (key == "vn" ? vn : v).push_back(p[0]);
        } else if (format == "obj" && key == "f") {
            for (int i = 0, a, an; i < 3 && in >> a >> an; ++i)
                p[i] = v.at(a - 1), n[i] = vn.at(an - 1);
            add(p, n);
        } else if (key == "pp") {
            for (int i = 0; i < 3 && std::getline(lines, line); ++i)
                std::istringstream(line) >> p[i].x >> p[i].y >> p[i].z >> n[i].x >> n[i].y >> n[i].z;
            add(p, n);
        } else if (key == "facet") {
            std::string word;
            in >> word >> n[0].x >> n[0].y >> n[0].z;
            n[2] = n[1] = n[0];
            for (int i = 0; i < 3 && std::getline(lines, line);)
                if (std::istringstream corner(line); corner >> word && word == "vertex")
                    corner >> p[i].x >> p[i].y >> p[i].z, ++i;
            add(p, n);
        } else if (indices && key.empty()) {
            for (int i = 0, a; i < 3 && in >> a; ++i)
                p[i] = v.at(a);
            add(p, nullptr);
        }
        if (key == "point")
            v.clear(), points = true;
        indices = indices || key == "coordIndex";
    }
    if (text.find("vertexOrdering CLOCKWISE") != std::string::npos)
        j.volume = -j.volume;
    return j;
}

}  // namespace

// Closed models from other programs: the VRML fronts, and the OBJ and NFF
// normals, face outward unless the user forces the other order.
TEST_F(OrientationCli, ClosedModelsComeOutFacingOutward)
{
    TRIVEX_REQUIRE_CORPUS("raw");
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"raw/ckinvents_gear.raw", "", true},
        {"obj/spider.obj", "--normal-order auto", true},
        {"raw/ckinvents_gear.raw", "--normal-order file", false}};
    for (const auto& [file, options, outward] : cases) {
        for (const std::string format : {"wrl", "obj", "nff", "stl"}) {
            ASSERT_EQ(Run(std::string("-q --smooth-all --stl-ascii ") + options + " " + Quote(testfiles::CorpusDir(file).string()) +
                          " " + Path("m." + format)),
                      0);
            CJudgement j = Judge(Read("m." + format), format);
            SCOPED_TRACE(std::string(file) + " " + options + " ." + format);
            // Creases sharper than a right angle (the spider's thin legs)
            // leave a few corner normals behind one of their faces; turned
            // inward, nine in ten are.
            if (format == "wrl" || format == "stl") {
                EXPECT_NE(j.volume, 0.0);
                EXPECT_EQ(j.volume > 0.0, outward) << j.volume;
                // Each STL facet's normal is its own winding's.
                EXPECT_EQ(j.opposed, 0);
            } else {
                EXPECT_GT(j.corners, 100);
                EXPECT_EQ(j.opposed < j.corners / 10, outward) << j.opposed << " of " << j.corners;
            }
        }
    }
}

// A scene modelled with +Z up: with --up z its ground, the first group, lies
// level under everything else; without, it stands like a wall.
TEST_F(OrientationCli, UpZLaysTheGroundOfAnNffSceneFlat)
{
    testfiles::WriteAll(m_dir / "scene.nff", "f 1 1 1 1 0 0 0 0\np 4\n-10 -10 0\n10 -10 0\n10 10 0\n-10 10 0\n"
                                             "f 0 0 1 1 0 0 0 0\np 3\n0 0 0\n2 0 0\n0 0 5\n");
    std::vector<std::string> scenes = {Path("scene.nff")};
    if (fs::exists(testfiles::CorpusDir("nff/spd/teapot_s2.nff")))
        scenes.push_back(Quote(testfiles::CorpusDir("nff/spd/teapot_s2.nff").string()));
    for (const std::string& scene : scenes) {
        for (bool up : {true, false}) {
            ASSERT_EQ(Run(std::string("-q --smooth-all ") + (up ? "--up z " : "") + scene + " " + Path("m.obj")), 0);
            // The y range of the first group's corners and of all vertices.
            float ground[2] = {1e30f, -1e30f}, all[2] = {1e30f, -1e30f}, x, y;
            std::vector<float> heights;
            int groups = 0;
            std::istringstream words(Read("m.obj"));
            for (std::string word; words >> word;) {
                if (word == "v" && words >> x >> y)
                    heights.push_back(y), all[0] = std::min(all[0], y), all[1] = std::max(all[1], y);
                groups += word == "g";
                if (word.find("//") != std::string::npos && groups == 1) {
                    y = heights.at(static_cast<size_t>(std::stoi(word) - 1));
                    ground[0] = std::min(ground[0], y), ground[1] = std::max(ground[1], y);
                }
            }
            const float size = all[1] - all[0];
            SCOPED_TRACE(scene + (up ? " --up z" : ""));
            EXPECT_EQ(ground[1] - ground[0] < 1e-4f * size, up);
            EXPECT_EQ(ground[0] == all[0] && all[1] - ground[1] > 0.1f * size, up);
        }
    }
}

TEST_F(OrientationCli, MessagesSayWhatWasWrongAndWhereToLook)
{
    const std::pair<std::string, std::string> cases[] = {
        {"--bogus a.obj b.pov", "unknown option --bogus\nTry 'trivex-convert --help'"},
        {"a.obj b.pov --bogus", "unknown option --bogus"},
        {"--color Body=Blu a.obj b.pov", "no such colour; --list-colors shows the names"},
        {"--texture Body=Chrome a.obj b.pov", "the textures are Dull, GlassFinish, Luminous, Metal, Mirror or Shiny"},
        {"--help", "the model's bounding radius"}};
    for (const auto& [args, says] : cases) {
        std::string out;
        EXPECT_EQ(Run(args, &out), args == "--help" ? 0 : 2) << args;
        EXPECT_NE(out.find(says), std::string::npos) << args << ":\n" << out;
    }
    std::string colors;
    EXPECT_EQ(Run("--list-colors", &colors), 0);
    EXPECT_EQ(Count(colors, "\n"), 122u);  // a heading and 121 colours
    EXPECT_NE(colors.find("NavyBlue"), std::string::npos);
}

// A folder of OBJ files holds their .mtl files, which cannot be read and must
// not keep the models from their output names; NFF spheres and cones are
// counted once per file, unless -q.
TEST_F(OrientationCli, BatchesSkipUnreadableInputsAndNffSaysWhatItLeftOut)
{
    const fs::path data = fs::path(TRIVEX_TEST_DATA) / "cli";
    for (const char* name : {"a", "b"}) {
        fs::copy_file(data / "cube.obj", m_dir / (std::string(name) + ".obj"));
        testfiles::WriteAll(m_dir / (std::string(name) + ".mtl"), "newmtl red\nKd 1 0 0\n");
    }
    testfiles::WriteAll(m_dir / "c.nff", "s 0 0 1 0.5\ns 2 0 1 0.5\nc 0 0 0 1 0 0 2 0\np 3\n0 0 0\n1 0 0\n0 1 0\n");
    const std::string args = "-j 2 -o " + Path("out") + " --to pov " + Path("a.mtl") + " " + Path("a.obj") + " " +
                             Path("b.mtl") + " " + Path("b.obj") + " " + Path("c.nff") + " " +
                             Quote((data / "cube.nff").string());
    std::string out, quiet;
    EXPECT_EQ(Run(args, &out), 1);
    for (const char* made : {"out/a.pov", "out/b.pov", "out/c.pov", "out/cube.pov"})
        EXPECT_TRUE(fs::exists(m_dir / made)) << made << "\n" << out;
    EXPECT_EQ(Count(out, "a.mtl: skipped: cannot read \".mtl\" files"), 1u) << out;
    EXPECT_EQ(Count(out, "b.mtl: skipped: cannot read \".mtl\" files"), 1u) << out;
    EXPECT_NE(out.find("2 of 6 conversions failed"), std::string::npos) << out;
    EXPECT_EQ(Count(out, "Skipped"), 1u) << out;
    EXPECT_EQ(Count(out, "c.nff: Skipped 2 spheres and 1 cone: only polygons are read"), 1u) << out;
    EXPECT_EQ(Run("-q " + args, &quiet), 1);
    EXPECT_EQ(Count(quiet, "Skipped"), 0u) << quiet;
    // Reports write nothing, so they claim no names.
    EXPECT_EQ(Run("--info " + Path("a.obj") + " " + Path("b.obj"), &out), 0) << out;
    EXPECT_EQ(Count(out, "polygons ="), 2u) << out;
}
