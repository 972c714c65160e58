#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "CommandLine.h"
#include "Formats.h"
#include "RecordingModel.h"
#include "SafeOutput.h"
#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {
class FormatsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("trivex-formats-" + std::to_string(::getpid()) + "-" +
                                             testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    std::string Cube(const std::string& name)
    {
        std::string path = Path(name);
        testfiles::WriteAll(path, testfiles::ReadAll(fs::path(TRIVEX_TEST_DATA) / "cli" / "cube.obj"));
        return path;
    }
    size_t FilesInDir() const { return std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()); }

    fs::path m_dir;
};
}  // namespace

TEST(CommandLine, ScansNamesAndOptions)
{
    CCommandLine a = ScanCommandLine({"model.dxf", "model.pov", "-t"});
    EXPECT_EQ(a.input, "model.dxf");
    EXPECT_EQ(a.output, "model.pov");
    EXPECT_TRUE(a.quit);

    CCommandLine b = ScanCommandLine({"-x", "model.obj", "third.raw"});
    EXPECT_EQ(b.input, "x");
    EXPECT_EQ(b.output, "model.obj");
    EXPECT_FALSE(b.quit);

    CCommandLine c = ScanCommandLine({"/t"});
    EXPECT_TRUE(c.quit);
    EXPECT_TRUE(c.input.empty());

    CCommandLine d = ScanCommandLine({"-m", "/m", "-tmodel.obj"});
    EXPECT_TRUE(d.quit);
    EXPECT_EQ(d.input, "model.obj");

    // Absolute paths on this system begin with "/": they are names.
    CCommandLine e = ScanCommandLine({"/tmp/in.obj", "/models/out file.pov"});
    EXPECT_EQ(e.input, "/tmp/in.obj");
    EXPECT_EQ(e.output, "/models/out file.pov");
    EXPECT_FALSE(e.quit);

    CCommandLine f = ScanCommandLine({std::string(300, 'a')});
    EXPECT_EQ(f.input.size(), 255u);
}

TEST_F(FormatsTest, OpenByNameIgnoresCaseOfTheLastThreeCharacters)
{
    for (const char* name : {"MODEL.OBJ", "model.Obj", "model.obj"}) {
        CRecordingModel model;
        ASSERT_TRUE(OpenByName(model, Cube(name))) << name;
        EXPECT_EQ(model.GetPolygonCount(), 6);
        EXPECT_EQ(model.GetGroupCount(), 2);
        EXPECT_TRUE(model.errors.empty());
    }
}

TEST_F(FormatsTest, OpenByNameRejectsUnknownAndMissingFiles)
{
    CRecordingModel model;
    EXPECT_FALSE(OpenByName(model, Cube("x.asc")));
    ASSERT_EQ(model.errors.size(), 1u);
    EXPECT_EQ(model.errors[0], "Unsupported file type of asc");

    model.errors.clear();
    EXPECT_FALSE(OpenByName(model, Path("missing.obj")));
    ASSERT_EQ(model.errors.size(), 1u);
    EXPECT_EQ(model.errors[0], "Couldn't open file " + Path("missing.obj"));

    model.errors.clear();
    EXPECT_FALSE(OpenByName(model, "ab"));
    EXPECT_EQ(model.errors.size(), 1u);

    // The last three characters name the format whatever their case, also
    // for formats whose reader this build does not have yet.
    model.errors.clear();
    EXPECT_FALSE(OpenByName(model, Cube("x.3DS")));
    ASSERT_EQ(model.errors.size(), 1u);
    EXPECT_EQ(model.errors[0].find("Unsupported file type"), std::string::npos) << model.errors[0];

    // Neither a rejected name nor a missing file touches the model.
    model.SetGroup("kept", 3, 0);
    EXPECT_FALSE(OpenByName(model, Path("missing.obj")));
    EXPECT_FALSE(OpenByName(model, Path("x.asc")));
    EXPECT_EQ(model.GetGroupCount(), 1);
}

TEST_F(FormatsTest, SaveByNameWritesOnlyTheGenericExtensions)
{
    CRecordingModel model;
    ASSERT_TRUE(OpenByName(model, Cube("cube.obj")));
    EXPECT_EQ(SaveByName(model, Path("a.pov")), ESaveResult::Saved);
    EXPECT_NE(testfiles::ReadAll(Path("a.pov")).find("camera"), std::string::npos);
    EXPECT_EQ(SaveByName(model, Path("A.DXF")), ESaveResult::Saved);
    EXPECT_EQ(SaveByName(model, Path("b.cob")), ESaveResult::Saved);
    EXPECT_EQ(SaveByName(model, Path("b.glb")), ESaveResult::Saved);
    EXPECT_EQ(testfiles::ReadAll(Path("b.glb")).substr(0, 4), "glTF");
    EXPECT_EQ(SaveByName(model, Path("b.GLTF")), ESaveResult::Saved);
    EXPECT_EQ(testfiles::ReadAll(Path("b.GLTF")).substr(0, 2), "{\"");
    for (const char* name : {"a.wrl", "a.obj", "a.c", "a.psb", "noext", "a.xgltf"})
        EXPECT_EQ(SaveByName(model, Path(name)), ESaveResult::Unhandled) << name;
    EXPECT_FALSE(fs::exists(Path("a.wrl")));
    EXPECT_FALSE(fs::exists(Path("a.c")));
}

TEST_F(FormatsTest, FailedWriteKeepsTheExistingFile)
{
    CRecordingModel model;
    ASSERT_TRUE(OpenByName(model, Cube("cube.obj")));
    model.GetGroup(0)->name = std::string(41, 'n');  // too long for POV-Ray: the writer refuses
    std::string target = Path("keep.pov");
    testfiles::WriteAll(target, "precious");
    size_t before = FilesInDir();
    EXPECT_EQ(SaveByName(model, target), ESaveResult::Failed);
    EXPECT_EQ(testfiles::ReadAll(target), "precious");
    EXPECT_EQ(FilesInDir(), before);  // no temporary file left behind
}

TEST_F(FormatsTest, SuccessfulWriteReplacesTheFileAndKeepsItsPermissions)
{
    CRecordingModel model;
    ASSERT_TRUE(OpenByName(model, Cube("cube.obj")));
    std::string target = Path("out.raw");
    testfiles::WriteAll(target, "old");
    ::chmod(target.c_str(), 0640);
    ASSERT_TRUE(WriteModelFile(model, *FindFormat("raw"), target));
    EXPECT_NE(testfiles::ReadAll(target), "old");
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(FilesInDir(), 2u);
}

// A save of several megabytes, patched back at its start as the trueSpace
// writer does, comes out byte for byte while its start is already on its way
// to the disk.
TEST_F(FormatsTest, LargeSavesWithSeeksArriveWhole)
{
    std::string expected;
    for (int i = 0; expected.size() < (9u << 20); ++i)
        expected += "line " + std::to_string(i) + "\n";
    const std::string target = Path("big.txt");
    CSafeOutput out;
    ASSERT_TRUE(out.Open(target, "wb"));
    for (size_t at = 0; at < expected.size(); at += 100000)
        ASSERT_EQ(std::fwrite(expected.data() + at, 1, std::min<size_t>(100000, expected.size() - at), out.Stream()),
                  std::min<size_t>(100000, expected.size() - at));
    ASSERT_EQ(std::ftell(out.Stream()), static_cast<long>(expected.size()));
    ASSERT_EQ(std::fseek(out.Stream(), 0, SEEK_SET), 0);
    std::fputs("LINE", out.Stream());
    ASSERT_EQ(std::fseek(out.Stream(), 0, SEEK_END), 0);
    std::fputs("end\n", out.Stream());
    ASSERT_TRUE(out.Commit());
    EXPECT_TRUE(testfiles::ReadAll(target) == "LINE" + expected.substr(4) + "end\n");
    EXPECT_EQ(FilesInDir(), 1u);
}

// A save the disk cuts short (here the file size limit) fails and leaves the
// file it was to replace as it was, whether it stopped in the first block or
// after several megabytes had been sent on to the disk.
TEST_F(FormatsTest, SaveCutShortKeepsTheExistingFile)
{
    struct rlimit unlimited;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    const std::string target = Path("cut.bin");
    testfiles::WriteAll(target, "precious");
    const std::string block(100000, 'x');
    for (rlim_t limit : {rlim_t{1000}, rlim_t{3} << 20}) {
        struct rlimit small = unlimited;
        small.rlim_cur = limit;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        bool committed = false;
        {
            CSafeOutput out;
            if (out.Open(target, "wb")) {
                for (int i = 0; i < 50; ++i)
                    std::fwrite(block.data(), 1, block.size(), out.Stream());
                committed = out.Commit();
            }
        }
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        EXPECT_FALSE(committed) << limit;
        EXPECT_EQ(testfiles::ReadAll(target), "precious") << limit;
        EXPECT_EQ(FilesInDir(), 1u) << limit;
    }
    std::signal(SIGXFSZ, handler);
}

TEST_F(FormatsTest, NewFilesFollowTheUmaskEvenWhenSavedConcurrently)
{
    const std::string cube = Cube("cube.obj");
    mode_t old = ::umask(027);
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            CRecordingModel model;  // each thread its own model, as the converter has
            if (!OpenByName(model, cube))
                ++failures;
            for (int i = 0; i < 25; ++i)
                if (!WriteModelFile(model, *FindFormat("wrl"), Path(std::to_string(t) + "-" + std::to_string(i) + ".wrl")))
                    ++failures;
        });
    for (std::thread& thread : threads)
        thread.join();
    ::umask(old);
    EXPECT_EQ(failures, 0);
    for (const auto& entry : fs::directory_iterator(m_dir)) {
        if (entry.path().extension() != ".wrl")
            continue;
        struct stat st;
        ASSERT_EQ(::stat(entry.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u) << entry.path();
    }
    EXPECT_EQ(FilesInDir(), 101u);
}

TEST_F(FormatsTest, SavingThroughALinkReplacesTheFileItNames)
{
    CRecordingModel model;
    ASSERT_TRUE(OpenByName(model, Cube("cube.obj")));
    fs::create_directories(Path("real"));
    std::string real = Path("real/model.raw");
    testfiles::WriteAll(real, "old");
    fs::create_symlink(real, Path("link.raw"));
    ASSERT_TRUE(WriteModelFile(model, *FindFormat("raw"), Path("link.raw")));
    EXPECT_TRUE(fs::is_symlink(Path("link.raw")));
    EXPECT_NE(testfiles::ReadAll(real), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("real")), fs::directory_iterator()), 1);
}

TEST_F(FormatsTest, LongFileNamesStillSave)
{
    CRecordingModel model;
    ASSERT_TRUE(OpenByName(model, Cube("cube.obj")));
    // The longest name a folder takes leaves no room for a suffix.
    std::string target = Path(std::string(251, 'n') + ".raw");
    EXPECT_TRUE(WriteModelFile(model, *FindFormat("raw"), target)) << (model.errors.empty() ? "" : model.errors.back());
    EXPECT_TRUE(fs::exists(target));
    EXPECT_EQ(FilesInDir(), 2u);
}

TEST_F(FormatsTest, ReadOnlyTargetIsNotReplaced)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write any file; the converter test covers this as an unprivileged user";
    CRecordingModel model;
    ASSERT_TRUE(OpenByName(model, Cube("cube.obj")));
    std::string target = Path("locked.raw");
    testfiles::WriteAll(target, "precious");
    ::chmod(target.c_str(), 0444);
    EXPECT_FALSE(WriteModelFile(model, *FindFormat("raw"), target));
    EXPECT_EQ(model.errors.back(), "Couldn't open file " + target);
    EXPECT_EQ(testfiles::ReadAll(target), "precious");
    EXPECT_EQ(FilesInDir(), 2u);
}

TEST_F(FormatsTest, UnopenableTargetsAreReported)
{
    CRecordingModel model;
    ASSERT_TRUE(OpenByName(model, Cube("cube.obj")));
    std::string inside = Path("cube.obj") + "/x.raw";  // a file is no folder
    EXPECT_FALSE(WriteModelFile(model, *FindFormat("raw"), inside));
    ASSERT_FALSE(model.errors.empty());
    EXPECT_EQ(model.errors.back(), "Couldn't open file " + inside);
    EXPECT_FALSE(ReadModelFile(model, *FindFormat("obj"), inside));
    EXPECT_EQ(model.errors.back(), "Couldn't open file " + inside);
}

TEST_F(FormatsTest, FullDiskIsAFailedWrite)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "/dev/full is not available";
    CRecordingModel model;
    ASSERT_TRUE(OpenByName(model, Cube("cube.obj")));
    // VRML writes are not checked by the writer: only closing can tell.
    EXPECT_FALSE(WriteModelFile(model, *FindFormat("wrl"), "/dev/full"));
    ASSERT_FALSE(model.errors.empty());
    EXPECT_EQ(model.errors.back(), "Write Error: Out of Disk Space?");
}

TEST(FormatTable, ExtensionsAndNames)
{
    EXPECT_STREQ(FormatForExtension("NFF", false)->name, "nff");
    EXPECT_STREQ(FormatForExtension("nff", true)->name, "nff");
    EXPECT_STREQ(FormatForExtension("inc", true)->name, "inc");
    EXPECT_STREQ(FindFormat("WTK")->name, "wtk");
    EXPECT_EQ(FormatForExtension("xyz", false), nullptr);
    EXPECT_EQ(ExtensionOf("dir.v2/model"), "");
    EXPECT_EQ(ExtensionOf("model.tar.obj"), "obj");
}

TEST(ModelInfo, ReportsCountsAndScaledRanges)
{
    CRecordingModel model;
    model.SetGroup("a", 1, 0);
    model.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 2, 0});
    model.SetGroup("b", 2, 0);
    model.m_scale = 2;
    ShowModelInfo(model);
    ASSERT_EQ(model.infos.size(), 1u);
    EXPECT_EQ(model.infos[0],
              "vertices   = 3     \npolygons = 1     \ngroups     = 2     \n"
              "xmin = 0.00  , xmax = 2.00  \nymin = 0.00  , ymax = 4.00  \nzmin = 0.00  , zmax = 0.00  ");
}
