// What the NFF, World Toolkit NFF, 3D Studio ASCII, VRML and trueSpace
// exporters have in common: their notifications. What they do when the disk
// is full is tested with every other exporter in ExportDiskFullTest.cpp.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ExportSamples.h"
#include "MeshSamples.h"
#include "RecordingModel.h"
#include "TestFiles.h"
#include "Writers.h"

namespace {

struct CWriterCase
{
    const char* name;
    int (*write)(CModel&, FILE*, double);
    bool savingPolygons;  // opens with "Saving Polygons"
    bool compressing;     // reports "Compressing Group %s" before saving it
};

const CWriterCase kWriters[] = {
    {"Nff", WriteNff, true, false},  {"WtkNff", WriteWtkNff, true, false}, {"Asc", WriteAsc, true, false},
    {"Vrml", WriteVrml, true, true}, {"Cob", WriteCob, false, false},
};

class MeshWriters : public ::testing::TestWithParam<CWriterCase>
{
};

std::string CaseName(const ::testing::TestParamInfo<CWriterCase>& info)
{
    return info.param.name;
}

}  // namespace

TEST_P(MeshWriters, ReportGroupsAndClearTheModifiedFlag)
{
    const CWriterCase& w = GetParam();
    CRecordingModel model;
    samples::Assembly(model);
    const int vertices = model.GetVertexCount();
    model.status.clear();
    model.waitCalls = 0;
    model.modified = true;

    // Whatever the writer's scratch model does says nothing on standard
    // output, where a converter prints its own results.
    int result = 0;
    testing::internal::CaptureStdout();
    testfiles::WriteToString(w.write, model, 1.0, &result);
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(1, result);
    EXPECT_TRUE(model.errors.empty());
    EXPECT_FALSE(model.modified);
    EXPECT_EQ(0, model.waitDepth);
    EXPECT_EQ(1, model.waitCalls);

    std::vector<std::string> expected;
    if (w.savingPolygons)
        expected.push_back("Saving Polygons");
    for (const char* group : {"Body", "Lid"}) {  // Hidden is ignored, Empty has no face
        if (w.compressing)
            expected.push_back(std::string("Compressing Group ") + group);
        expected.push_back(std::string("Saving Group ") + group);
    }
    expected.push_back("File Saved");
    // The working mesh is a model of its own: clearing it must leave the
    // document's model, and its status line, alone.
    EXPECT_EQ(expected, model.status);
    EXPECT_EQ(vertices, model.GetVertexCount());
    EXPECT_EQ(4, model.GetGroupCount());
}

INSTANTIATE_TEST_SUITE_P(Formats, MeshWriters, ::testing::ValuesIn(kWriters), CaseName);

// The trueSpace writer patches the polygon object's size in place, so it
// needs a stream it can reposition; on a pipe it fails instead of writing a
// file with a placeholder size.
TEST(CobWriter, UnseekableStreamFailsWithAMessage)
{
    FILE* pipe = popen("cat >/dev/null", "w");
    ASSERT_NE(nullptr, pipe);
    CRecordingModel model;
    samples::Tetrahedron(model);
    EXPECT_EQ(0, WriteCob(model, pipe, 1.0));
    EXPECT_EQ(std::vector<std::string>{"Write Error: Out of Disk Space?"}, model.errors);
    pclose(pipe);
}
