#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ExportSamples.h"
#include "RecordingModel.h"
#include "SampleModels.h"
#include "Writers.h"

// Writing to /dev/full: every write fails with "no space left". A stream
// buffers its output, so a small file fails only when it is flushed; the
// exporters flush before they report success, so the failure is reported
// either way. A large file fails while it is being written, and then the
// exporter must stop at once.

namespace {

using Writer = int (*)(CModel&, FILE*, double);

struct CNamedWriter
{
    const char* name;
    Writer writer;
    bool stopsAtFailedWrite;  // checks its writes as it goes, not only at the end
};

const CNamedWriter kWriters[] = {
    {"pov", WritePovScene, true}, {"inc", WritePovObject, true}, {"obj", WriteObj, true},
    {"raw", WriteRaw, true},      {"tpo", WriteTpoly, true},     {"dxf", WriteDxf, true},
    {"nff", WriteNff, true},      {"wtk", WriteWtkNff, false},   {"asc", WriteAsc, false},
    {"wrl", WriteVrml, false},    {"cob", WriteCob, true},
    {"glb", WriteGlb, false},     {"gltf", WriteGltf, false},
};

int WriteToFullDisk(Writer writer, CRecordingModel& model)
{
    FILE* fp = std::fopen("/dev/full", "w");
    if (!fp) {
        ADD_FAILURE() << "cannot open /dev/full";
        return -1;
    }
    model.status.clear();
    model.errors.clear();
    model.modified = true;
    int result = writer(model, fp, 1.0);
    std::fclose(fp);
    return result;
}

void ExpectWriteError(const CRecordingModel& model, int result, const char* format)
{
    EXPECT_EQ(0, result) << format;
    ASSERT_EQ(1u, model.errors.size()) << format;
    EXPECT_EQ("Write Error: Out of Disk Space?", model.errors[0]) << format;
    EXPECT_FALSE(model.HasStatus("File Saved")) << format;
    EXPECT_TRUE(model.modified) << format;
    EXPECT_EQ(0, model.waitDepth) << format;
}

bool HaveFullDevice()
{
    FILE* fp = std::fopen("/dev/full", "w");
    if (fp)
        std::fclose(fp);
    return fp != nullptr;
}

}  // namespace

TEST(ExportDiskFull, SmallFileFailsAtTheFinalFlush)
{
    if (!HaveFullDevice())
        GTEST_SKIP() << "/dev/full not available";
    for (const CNamedWriter& w : kWriters) {
        CRecordingModel model;
        samples::Assembly(model);
        int result = WriteToFullDisk(w.writer, model);
        ExpectWriteError(model, result, w.name);
    }
}

// A file larger than the stream buffer fails while the groups are being
// written. Writers that check their writes stop at once; the others run to
// the end and find the error at the final flush. Either way there is one
// message and no success.
TEST(ExportDiskFull, LargeFileIsReportedOnce)
{
    if (!HaveFullDevice())
        GTEST_SKIP() << "/dev/full not available";
    for (const CNamedWriter& w : kWriters) {
        // Far more than a stream buffer in the first group.
        CRecordingModel model;
        exportsamples::Strip(model, 3000);
        model.SetGroup("Tail", FindColor("Red"), FindTexture("Shiny"));
        model.AddTriangle({0, 0, 5}, {1, 0, 5}, {0, 1, 5});
        samples::Finish(model);
        int result = WriteToFullDisk(w.writer, model);
        ExpectWriteError(model, result, w.name);
        if (w.stopsAtFailedWrite) {
            EXPECT_FALSE(model.HasStatus("Saving Group Tail")) << w.name;
        }
        if (w.writer == WriteObj) {
            EXPECT_FALSE(model.HasStatus("Saving Normals"));  // fails among the vertices
        }
    }
}

// Without a stream buffer every write fails where it is made, so the first
// checked write decides: the status texts show how far each writer got.
TEST(ExportDiskFull, UnbufferedStreamStopsAtTheFirstCheckedWrite)
{
    if (!HaveFullDevice())
        GTEST_SKIP() << "/dev/full not available";
    const struct
    {
        CNamedWriter writer;
        std::vector<std::string> status;  // the writer's last status texts
    } cases[] = {
        {kWriters[0], {}},  // the scene header is checked, nothing follows it
        {kWriters[1], {"Ranges Computed", "Saving Textures"}},  // declarations unchecked, extents checked
        {kWriters[2], {"Saving Vertices"}},
        {kWriters[3], {"Saving Polygons"}},  // the first name line
        {kWriters[4], {"Saving Polygons", "Saving Group Body"}},
        {kWriters[5], {"Saving Header"}},
    };
    for (const auto& c : cases) {
        CRecordingModel model;
        samples::Assembly(model);
        FILE* fp = std::fopen("/dev/full", "w");
        ASSERT_NE(nullptr, fp);
        ASSERT_EQ(0, std::setvbuf(fp, nullptr, _IONBF, 0));
        model.status.clear();
        model.modified = true;
        int result = c.writer.writer(model, fp, 1.0);
        std::fclose(fp);
        ExpectWriteError(model, result, c.writer.name);
        ASSERT_GE(model.status.size(), c.status.size()) << c.writer.name;
        EXPECT_EQ(c.status, std::vector<std::string>(model.status.end() - static_cast<long>(c.status.size()),
                                                     model.status.end()))
            << c.writer.name;
        if (c.status.empty()) {
            EXPECT_TRUE(model.status.empty()) << c.writer.name;
        }
    }
}

TEST(ExportDiskFull, SceneWithoutGroupsStillReportsTheLostHeader)
{
    if (!HaveFullDevice())
        GTEST_SKIP() << "/dev/full not available";
    CRecordingModel scene;
    scene.m_skyType = 1;
    int result = WriteToFullDisk(WritePovScene, scene);
    ExpectWriteError(scene, result, "pov");

    // The include of a model without groups writes nothing, so nothing is lost.
    CRecordingModel include;
    result = WriteToFullDisk(WritePovObject, include);
    EXPECT_EQ(1, result);
    EXPECT_TRUE(include.errors.empty());
    EXPECT_TRUE(include.HasStatus("File Saved"));
}

TEST(ExportDiskFull, LongNamesAreRefusedBeforeAnyWrite)
{
    if (!HaveFullDevice())
        GTEST_SKIP() << "/dev/full not available";
    CRecordingModel model;
    exportsamples::NamedGroups(model, 41);
    int result = WriteToFullDisk(WritePovScene, model);
    EXPECT_EQ(0, result);
    ASSERT_EQ(1u, model.errors.size());
    EXPECT_EQ(0u, model.errors[0].find("One or more group names are too long for POVRay."));
}
