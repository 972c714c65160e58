#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {
const char* const kInputs[] = {"cube.obj", "cube.raw", "cube.tpo", "cube.geo", "cube.nff"};
const char* const kOutputs[] = {"pov", "inc", "obj", "raw", "tpo", "dxf", "nff", "asc", "wrl", "cob", "glb", "gltf"};

std::string Quote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class ConvertTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("trivex-cli-" + std::to_string(::getpid()) + "-" +
                                             testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override
    {
        fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(m_dir);
    }

    static std::string Data(const std::string& name) { return (fs::path(TRIVEX_TEST_DATA) / "cli" / name).string(); }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    // Runs the converter with the arguments given as one shell string.
    int Run(const std::string& args, std::string* output = nullptr, const std::string& prefix = "")
    {
        std::string text;
        int status = testfiles::RunCommand(prefix + Quote(std::string(TRIVEX_BIN_DIR) + "/trivex-convert") + " " + args,
                                           &text);
        if (output)
            *output = text;
        return status;
    }

    // The polygon count the converter reports for a file.
    long Polygons(const std::string& path, const std::string& extra = "")
    {
        std::string out;
        if (Run("--info " + extra + " " + Quote(path), &out) != 0)
            return -1;
        size_t at = out.find("polygons = ");
        if (at == std::string::npos)
            return -1;
        return std::atol(out.c_str() + at + 11);
    }

    fs::path m_dir;
};
}  // namespace

TEST_F(ConvertTest, EveryReaderToEveryWriter)
{
    for (const char* input : kInputs) {
        for (const char* ext : kOutputs) {
            std::string out = Path(std::string(input) + "." + ext);
            std::string text;
            EXPECT_EQ(Run("-q " + Quote(Data(input)) + " " + Quote(out), &text), 0) << input << " -> " << ext << "\n"
                                                                                   << text;
            EXPECT_GT(fs::exists(out) ? fs::file_size(out) : 0, 0u) << input << " -> " << ext;
        }
        std::string wtk = Path(std::string(input) + ".wtk.nff");
        EXPECT_EQ(Run("-q --to wtk " + Quote(Data(input)) + " " + Quote(wtk)), 0) << input;
        EXPECT_NE(testfiles::ReadAll(wtk), testfiles::ReadAll(Path(std::string(input) + ".nff")));
    }
}

TEST_F(ConvertTest, RoundTripsKeepTheTriangles)
{
    // Twelve triangles: the cube's six quadrilaterals split in two.
    ASSERT_EQ(Polygons(Data("cube.raw")), 12);
    ASSERT_EQ(Run("-q " + Quote(Data("cube.obj")) + " " + Quote(Path("a.raw"))), 0);
    EXPECT_EQ(Polygons(Path("a.raw")), 12);
    ASSERT_EQ(Run("-q " + Quote(Path("a.raw")) + " " + Quote(Path("b.tpo"))), 0);
    EXPECT_EQ(Polygons(Path("b.tpo")), 12);
    ASSERT_EQ(Run("-q " + Quote(Path("b.tpo")) + " " + Quote(Path("c.obj"))), 0);
    EXPECT_EQ(Polygons(Path("c.obj")), 12);
    // Sizes survive: the scale restores what unitizing took away.
    std::string info;
    ASSERT_EQ(Run("--info " + Quote(Path("c.obj")), &info), 0);
    EXPECT_NE(info.find("xmin = -0.50 , xmax = 0.50"), std::string::npos) << info;
}

TEST_F(ConvertTest, InfoListsGroupsAndAppliesEdits)
{
    std::string out;
    ASSERT_EQ(Run("--info --color caps=NavyBlue --texture sides=Metal --smooth caps --ignore sides " +
                      Quote(Data("cube.obj")),
                  &out),
              0)
        << out;
    EXPECT_NE(out.find("polygons = 6"), std::string::npos) << out;
    EXPECT_NE(out.find("group \"sides\": 4 polygons, colour Red, texture Metal, ignored"), std::string::npos) << out;
    EXPECT_NE(out.find("group \"caps\": 2 polygons, colour NavyBlue, texture Shiny, smooth"), std::string::npos)
        << out;
    EXPECT_EQ(Run("--info --smooth nosuch " + Quote(Data("cube.obj")), &out), 1);
    EXPECT_NE(out.find("no group named \"nosuch\""), std::string::npos) << out;
}

TEST_F(ConvertTest, SceneOptionsReachThePovFile)
{
    std::string pov = Path("scene.pov");
    ASSERT_EQ(Run("-q --sky stars --floor wood --scale 2 " + Quote(Data("cube.obj")) + " " + Quote(pov)), 0);
    std::string scene = testfiles::ReadAll(pov);
    std::string plain;
    ASSERT_EQ(Run("-q " + Quote(Data("cube.obj")) + " " + Quote(Path("plain.pov"))), 0);
    plain = testfiles::ReadAll(Path("plain.pov"));
    EXPECT_GT(scene.size(), plain.size());
    EXPECT_NE(scene, plain);
    std::string rotated;
    ASSERT_EQ(Run("-q --rotate-x 90 --mirror y " + Quote(Data("cube.obj")) + " " + Quote(Path("r.obj"))), 0);
    ASSERT_EQ(Run("-q " + Quote(Data("cube.obj")) + " " + Quote(Path("n.obj"))), 0);
    EXPECT_NE(testfiles::ReadAll(Path("r.obj")), testfiles::ReadAll(Path("n.obj")));
}

TEST_F(ConvertTest, UsageErrors)
{
    std::string out;
    EXPECT_EQ(Run("", &out), 2);
    EXPECT_NE(out.find("need an input and an output"), std::string::npos);
    EXPECT_EQ(Run("--bogus a.obj b.pov", &out), 2);
    EXPECT_NE(out.find("unknown option --bogus"), std::string::npos);
    EXPECT_EQ(Run("--to nothing a.obj b.pov", &out), 2);
    EXPECT_EQ(Run("--scale 0 a.obj b.pov", &out), 2);
    EXPECT_EQ(Run("--sky purple a.obj b.pov", &out), 2);
    EXPECT_EQ(Run("-o " + Quote(Path("outdir")) + " a.obj", &out), 2);
    EXPECT_NE(out.find("--to"), std::string::npos);
    EXPECT_EQ(Run("a.obj b.pov c.pov", &out), 2);
    EXPECT_EQ(Run("--help", &out), 0);
    EXPECT_NE(out.find("Usage: trivex-convert"), std::string::npos);
    EXPECT_EQ(Run("--version", &out), 0);
    EXPECT_NE(out.find("trivex-convert"), std::string::npos);
}

// How the command line is read: values glued to short options, flags that
// take no value, contradictions and numbers that are not plain decimals.
// "@in", "@out" and "@dir" stand for a model, an output file and a folder.
// A usage error is one line of message and the pointer to --help; a run
// that succeeds says nothing, as each one has -q.
TEST_F(ConvertTest, OptionSyntax)
{
    const struct
    {
        const char* args;
        int status;
        const char* message;
    } cases[] = {
        {"--info=no @in", 2, "--info takes no value"},
        {"--quiet=off @in @out", 2, "--quiet takes no value"},
        {"-q --smooth-all=yes @in @out", 2, "--smooth-all takes no value"},
        {"-q -j4 -o @dir --to obj @in", 0, ""},
        {"-qj2 -o @dir --to obj @in", 0, ""},
        {"-q -j0 -o @dir --to obj @in", 2, "--jobs: 0 is not from 1 to 256"},
        {"-q -j 2.5 -o @dir --to obj @in", 2, "--jobs"},
        {"-vq @in @out", 2, "--verbose excludes --quiet"},
        {"-v -q @in @out", 2, "--verbose excludes --quiet"},
        {"-q @in @out --verbose", 2, "--verbose excludes --quiet"},
        {"--mirror= @in @out", 2, "--mirror: \"\" is not axes"},
        {"--mirror= x @in @out", 2, "--mirror: \"\" is not axes"},  // not x taken as the value
        {"--mirror=w @in @out", 2, "--mirror: \"w\" is not axes"},
        {"-q --mirror=xZ @in @out", 0, ""},
        {"--scale 0x10 @in @out", 2, "--scale: \"0x10\" is not a decimal number"},
        {"--scale inf @in @out", 2, "not a decimal number"},
        {"--scale nan @in @out", 2, "not a decimal number"},
        {"--scale ' 2' @in @out", 2, "not a decimal number"},
        {"--scale 500.5 @in @out", 2, "--scale: 500.5 is not from 0.001 to 500"},
        {"-q --scale 1e1 --smooth-angle +30 @in @out", 0, ""},
        {"-q --rotate-x -90 --rotate-y=-360 @in @out", 0, ""},
        {"--rotate-z -360.5 @in @out", 2, "--rotate-z"},
        {"--scale @in", 2, "--scale"},
        {"-q --sky 'Blue Sky' --floor speckled @in @out", 0, ""},
        {"-q --sky 3 --floor White_Marble --raw-groups no --normal-order FILE @in @out", 0, ""},
        {"--sky 4 @in @out", 2, "--sky: \"4\" is not none|blue|lightning|stars|0..3"},
        {"--raw-groups 2 @in @out", 2, "--raw-groups: \"2\" is not on|off"},
        {"--color =Red @in @out", 2, "--color: \"=Red\" is not GROUP=NAME"},
        {"-q --color caps=navyblue --texture caps=5 @in @out", 0, ""},
        {"--texture caps=6 @in @out", 2, "no such texture"},
        {"--from pov @in @out", 2, "--from: pov cannot be read"},
        {"-o '' --to obj @in", 2, "--output-dir: no value given"},
        {"-o @dir @in", 2, "--output-dir requires --to"},
        {"--preview-size 640x480x @in @out", 2, "--preview-size"},
        {"-q -- @in @out", 0, ""},
        {"-- --bogus @out", 1, "--bogus: cannot tell the format"},  // a file name after --
    };
    for (const auto& c : cases) {
        std::string args = c.args;
        for (const auto& [name, value] : {std::pair<std::string, std::string>{"@in", Quote(Data("cube.obj"))},
                                          {"@out", Quote(Path("out.pov"))},
                                          {"@dir", Quote(Path("dir"))}})
            for (size_t at; (at = args.find(name)) != std::string::npos;)
                args.replace(at, name.size(), value);
        std::string out;
        EXPECT_EQ(Run(args, &out), c.status) << c.args << "\n" << out;
        if (c.status == 2) {
            EXPECT_TRUE(out.starts_with("trivex-convert: ")) << c.args << "\n" << out;
            EXPECT_EQ(out.substr(out.find('\n') + 1), "Try 'trivex-convert --help'.\n") << c.args;
        } else if (c.status == 0) {
            EXPECT_EQ(out, "") << c.args;
        }
        EXPECT_NE(out.find(c.message), std::string::npos) << c.args << "\n" << out;
    }
}

TEST_F(ConvertTest, ExtensionRules)
{
    std::string out;
    testfiles::WriteAll(Path("x.asc"), "not a model");
    EXPECT_EQ(Run(Quote(Path("x.asc")) + " " + Quote(Path("x.pov")), &out), 1);
    EXPECT_NE(out.find("x.asc: cannot read \".asc\" files"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(Path("x.pov")));
    EXPECT_EQ(Run(Quote(Data("cube.obj")) + " " + Quote(Path("a.c")), &out), 1);
    EXPECT_NE(out.find("cannot write \".c\" files"), std::string::npos) << out;
    // Upper-case extensions and an explicit format both work.
    fs::copy_file(Data("cube.obj"), Path("MODEL.OBJ"));
    EXPECT_EQ(Run("-q " + Quote(Path("MODEL.OBJ")) + " " + Quote(Path("OUT.RAW"))), 0);
    fs::copy_file(Data("cube.raw"), Path("cube.txt"));
    EXPECT_EQ(Run("-q --from raw --to tpo " + Quote(Path("cube.txt")) + " " + Quote(Path("cube.out"))), 0);
    EXPECT_EQ(Polygons(Path("cube.out"), "--from tpo"), 12);
}

TEST_F(ConvertTest, BatchGoesOnPastABrokenFile)
{
    testfiles::WriteAll(Path("broken.geo"), "5 1 0\n1 2 3\n");
    testfiles::WriteAll(Path("empty.obj"), "# nothing here\n");
    fs::copy_file(Data("cube.nff"), Path("ball.nff"));
    std::string out;
    int status = Run("-j 2 -o " + Quote(Path("out")) + " --to obj " + Quote(Data("cube.raw")) + " " +
                         Quote(Path("broken.geo")) + " " + Quote(Path("ball.nff")) + " " + Quote(Path("empty.obj")) +
                         " " + Quote(Data("cube.nff")),
                     &out);
    EXPECT_EQ(status, 1) << out;
    EXPECT_EQ(Polygons(Path("out/cube.obj")), 12);
    EXPECT_EQ(Polygons(Path("out/ball.obj")), 12);
    EXPECT_FALSE(fs::exists(Path("out/broken.obj")));
    EXPECT_FALSE(fs::exists(Path("out/empty.obj")));
    EXPECT_NE(out.find("broken.geo: Premature EOF"), std::string::npos) << out;
    EXPECT_NE(out.find("empty.obj: no polygons found"), std::string::npos) << out;
    // Two inputs that differ only in their extension must not overwrite each other.
    EXPECT_NE(out.find("cube.nff: not converted: "), std::string::npos) << out;
    EXPECT_NE(out.find("3 of 5 conversions failed"), std::string::npos) << out;
}

TEST_F(ConvertTest, FailedSavesLeaveTheTargetAlone)
{
    std::string target = Path("keep.pov");
    testfiles::WriteAll(target, "precious");
    std::string out;
    // A file-size limit makes the disk look full part-way through the write.
    EXPECT_EQ(Run("-q " + Quote(Data("cube.obj")) + " " + Quote(target), &out, "trap '' XFSZ; ulimit -f 1; "), 1);
    EXPECT_NE(out.find("Write Error: Out of Disk Space?"), std::string::npos) << out;
    EXPECT_EQ(testfiles::ReadAll(target), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);

    if (fs::exists("/dev/full")) {
        EXPECT_EQ(Run("-q --to raw " + Quote(Data("cube.obj")) + " /dev/full", &out), 1);
        EXPECT_NE(out.find("Write Error: Out of Disk Space?"), std::string::npos) << out;
    }
}

TEST_F(ConvertTest, ReadOnlyFolder)
{
    // Folder permissions do not bind root, so as root the converter runs as
    // the unprivileged user "nobody", who then also owns the target: only the
    // folder may stand in the way, not the file's own permissions.
    std::string prefix;
    fs::create_directories(Path("locked"));
    std::string target = Path("locked/keep.raw");
    testfiles::WriteAll(target, "precious");
    if (::geteuid() == 0) {
        if (!testfiles::HaveTool("setpriv"))
            GTEST_SKIP() << "running as root without setpriv: folder permissions would not stop the write";
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        ASSERT_EQ(0, ::chown(target.c_str(), 65534, 65534));
    }
    fs::permissions(Path("locked"), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    // The converter's user may write the file but not the folder, so a save
    // that wrote in place would succeed: refusing it takes the folder check.
    ASSERT_EQ(0, testfiles::RunCommand(prefix + "test -w " + Quote(target)));
    ASSERT_NE(0, testfiles::RunCommand(prefix + "test -w " + Quote(Path("locked"))));
    std::string out;
    EXPECT_EQ(Run("-q " + Quote(Data("cube.obj")) + " " + Quote(target), &out, prefix), 1) << out;
    EXPECT_NE(out.find("Couldn't open file " + target), std::string::npos) << out;
    EXPECT_EQ(testfiles::ReadAll(target), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("locked")), fs::directory_iterator()), 1);
}

TEST_F(ConvertTest, ShippedSampleConvertsToAScene)
{
    std::string out;
    std::string pov = Path("house.pov");
    ASSERT_EQ(Run(Quote(std::string(TRIVEX_SAMPLES_DIR) + "/house.obj") + " " + Quote(pov), &out), 0) << out;
    EXPECT_NE(out.find("house.obj (Wavefront OBJ) -> "), std::string::npos) << out;
    EXPECT_NE(out.find("4 groups"), std::string::npos) << out;
    EXPECT_NE(testfiles::ReadAll(pov).find("camera"), std::string::npos);
}

TEST_F(ConvertTest, ReadOnlyTargetInAnOpenFolder)
{
    // The folder would let the converter put a new file in place of the old
    // one; the file itself says it must not be written.
    std::string prefix;
    if (::geteuid() == 0) {
        if (!testfiles::HaveTool("setpriv"))
            GTEST_SKIP() << "running as root without setpriv: file permissions would not stop the write";
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    fs::create_directories(Path("open"));
    fs::permissions(m_dir, fs::perms::all);
    fs::permissions(Path("open"), fs::perms::all);
    std::string target = Path("open/keep.raw");
    testfiles::WriteAll(target, "precious");
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    std::string out;
    EXPECT_EQ(Run("-q " + Quote(Data("cube.obj")) + " " + Quote(target), &out, prefix), 1) << out;
    EXPECT_NE(out.find("Couldn't open file " + target), std::string::npos) << out;
    EXPECT_EQ(testfiles::ReadAll(target), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("open")), fs::directory_iterator()), 1);
}

// A read that stops early still converts, but says where it stopped, unless
// told to be quiet.
TEST_F(ConvertTest, EarlyStopIsAWarning)
{
    std::string input = Path("short.nff");
    testfiles::WriteAll(input, "p 3\n0 0 0\n1 0 0\n0 1 0\ns 1 2 3\np 3\n0 0 1\n1 0 1\n0 1 1\n");
    const std::string warning = "short.nff: warning: Reading stopped at line 5: the item there could not be read";
    std::string out;
    EXPECT_EQ(0, Run(Quote(input) + " " + Quote(Path("short.raw")), &out));
    EXPECT_NE(out.find(warning), std::string::npos) << out;
    EXPECT_EQ(0, Run("-q " + Quote(input) + " " + Quote(Path("quiet.raw")), &out));
    EXPECT_EQ(out, "");
}

// Group names that are no World Toolkit object names (blanks, keywords,
// numbers, option names) are written so that the format's reader takes every
// object back.
TEST_F(ConvertTest, WorldToolkitObjectNamesReadBack)
{
    std::string raw;
    int layer = 0;
    for (const char* name : {"left arm", "left_arm", "left-arm", "7", "both", "_x", "1e5"}) {
        const std::string z = std::to_string(layer++);
        raw += "\"" + std::string(name) + "\"\n0 0 " + z + " 1 0 " + z + " 0 1 " + z + "\n";
    }
    testfiles::WriteAll(Path("names.raw"), raw);
    std::string out;
    ASSERT_EQ(0, Run("--to wtk " + Quote(Path("names.raw")) + " " + Quote(Path("names.nff")), &out)) << out;
    EXPECT_EQ(7, Polygons(Path("names.nff"), "--from wtk"));
}

// A 3D Studio scene draws its instances unless asked for the editor's pose.
TEST_F(ConvertTest, NoInstancesKeepsTheEditorPose)
{
    TRIVEX_REQUIRE_CORPUS("3ds");
    const std::string scene = testfiles::CorpusDir("3ds/cube_four_instances.3ds").string();
    EXPECT_EQ(48, Polygons(scene));
    EXPECT_EQ(12, Polygons(scene, "--no-instances"));
}

// --obj-mtl writes the material file beside the OBJ; our reader and assimp
// both take the groups' looks from it.
TEST_F(ConvertTest, ObjMaterialFile)
{
    const std::string obj = Path("looks.obj");
    ASSERT_EQ(Run("-q --obj-mtl --color sides=Blue --texture sides=GlassFinish --color caps=Yellow " +
                  Quote(Data("cube.obj")) + " " + Quote(obj)),
              0);
    ASSERT_TRUE(fs::exists(Path("looks.mtl")));
    std::string info;
    ASSERT_EQ(Run("--info " + Quote(obj), &info), 0);
    EXPECT_NE(info.find("group \"sides\": 4 polygons, colour Blue, texture GlassFinish"), std::string::npos) << info;
    EXPECT_NE(info.find("group \"caps\": 2 polygons, colour Yellow, texture Shiny"), std::string::npos) << info;

    if (!testfiles::HaveTool("assimp") || !testfiles::HaveTool("python3"))
        GTEST_SKIP() << "assimp or python3 is not installed";
    const fs::path script = fs::path(__FILE__).parent_path().parent_path() / "readers" / "assimp_obj_groups.py";
    std::string meshes;
    ASSERT_EQ(testfiles::RunCommand("python3 " + Quote(script.string()) + " " + Quote(obj), &meshes), 0) << meshes;
    // Mesh, material, red, green, blue, opacity, triangles.
    EXPECT_NE(meshes.find("sides\tBlue_GlassFinish\t0.0\t0.0\t1.0\t0.3"), std::string::npos) << meshes;
    EXPECT_NE(meshes.find("caps\tYellow_Shiny\t1.0\t1.0\t0.0\t1.0\t4"), std::string::npos) << meshes;
}
