#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "Formats.h"
#include "RecordingModel.h"
#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

// A ball of a few thousand triangles: every format writes well over the
// 64 KiB of the small disk below.
void BuildBall(CModel& model)
{
    model.SetGroup("ball", 0, 0);
    const int rings = 40, segments = 80;
    auto at = [](int ring, int segment) {
        double theta = M_PI * ring / rings, phi = 2 * M_PI * segment / segments;
        return CVector(static_cast<float>(std::sin(theta) * std::cos(phi)), static_cast<float>(std::cos(theta)),
                       static_cast<float>(std::sin(theta) * std::sin(phi)));
    };
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            CVector a = at(r, s), b = at(r + 1, s), c = at(r + 1, s + 1), d = at(r, s + 1);
            model.AddTriangle(a, b, c);
            model.AddTriangle(a, c, d);
        }
    model.FinishLoad();
}

// Every writer, every way a save can fail: the result is a failure with a
// message, the file the user had is untouched and no temporary file stays.
TEST(SaveFaults, EveryWriterKeepsThePreviousFile)
{
    fs::path dir = fs::temp_directory_path() / ("trivex-faults-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "small");
    fs::create_directories(dir / "locked");
    // A small disk that fills up, and a read-only one; both need the right to
    // mount, which a test run as root in a container usually has.
    bool small = ::mount("tmpfs", (dir / "small").c_str(), "tmpfs", 0, "size=64k") == 0;
    bool locked = ::mount("tmpfs", (dir / "locked").c_str(), "tmpfs", 0, "size=1m") == 0;
    if (small)
        testfiles::WriteAll(dir / "small" / "previous", "old\n");
    if (locked) {
        testfiles::WriteAll(dir / "locked" / "previous", "old\n");
        locked = ::mount("tmpfs", (dir / "locked").c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m") == 0;
    }
    if (!small || !locked)
        std::printf("note: cannot mount a tmpfs here; the full and read-only disk cases are skipped\n");
    fs::create_directories(dir / "folder");
    fs::create_directory_symlink(dir / "missing" / "deeper", dir / "dangling");

    CRecordingModel model;
    BuildBall(model);
    struct Fault
    {
        const char* what;
        bool possible;
        fs::path target;  // where the save goes
        fs::path keep;    // the file that must stay as it was
    };
    for (int i = 0; i < FormatCount(); ++i) {
        const CFormat& format = FormatAt(i);
        if (!format.CanWrite())
            continue;
        std::string name = std::string("model.") + format.extension;
        const Fault faults[] = {
            {"full disk", small, dir / "small" / "previous", dir / "small" / "previous"},
            {"read-only disk", locked, dir / "locked" / "previous", dir / "locked" / "previous"},
            {"a folder", true, dir / "folder", dir / "folder"},
            {"a link into a missing folder", true, dir / "dangling" / name, dir / "dangling"},
        };
        for (const Fault& fault : faults) {
            if (!fault.possible)
                continue;
            SCOPED_TRACE(std::string(format.name) + " to " + fault.what);
            size_t errors = model.errors.size();
            std::string before = fs::is_regular_file(fault.keep) ? testfiles::ReadAll(fault.keep) : "";
            EXPECT_FALSE(WriteModelFile(model, format, fault.target.string()));
            EXPECT_GT(model.errors.size(), errors) << "no message";
            if (fs::is_regular_file(fault.keep)) {
                EXPECT_EQ(testfiles::ReadAll(fault.keep), before);
            }
            for (const char* sub : {"small", "locked", "folder"})
                for (const fs::directory_entry& entry : fs::directory_iterator(dir / sub))
                    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos)
                        << entry.path().filename();
        }
    }
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    if (small)
        ::umount((dir / "small").c_str());
    if (locked || fs::exists(dir / "locked" / "previous"))
        ::umount((dir / "locked").c_str());
    fs::remove_all(dir);
}

}  // namespace
