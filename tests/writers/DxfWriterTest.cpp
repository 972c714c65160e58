#include <gtest/gtest.h>

#include <string>

#include "ExportSamples.h"
#include "RecordingModel.h"
#include "SampleModels.h"
#include "TestFiles.h"
#include "Writers.h"

using testfiles::ExpectGolden;
using testfiles::WriteToString;

namespace {

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The colour number written for a one-triangle group of the named colour
// (null: a colour index outside the table).
std::string ColourNumber(const char* colour)
{
    CRecordingModel model;
    model.SetGroup("G", colour ? FindColor(colour) : -1, FindTexture("Dull"));
    model.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    std::string text = WriteToString(WriteDxf, model, 1.0);
    const std::string key = "  62\n";
    size_t at = text.find(key);
    if (at == std::string::npos)
        return "none";
    at += key.size();
    return text.substr(at, text.find('\n', at) - at);
}

}  // namespace

// Blue body and green lid on layer 0, the quadrilateral as two faces, the
// ignored and the empty group absent, at scale 2.
TEST(DxfGolden, AssemblyScaleTwo)
{
    CRecordingModel model;
    samples::Assembly(model);
    model.status.clear();
    model.modified = true;
    int result = 0;
    std::string text = WriteToString(WriteDxf, model, 2.0, &result);
    EXPECT_EQ(1, result);
    EXPECT_TRUE(model.errors.empty());
    EXPECT_FALSE(model.modified);
    EXPECT_EQ(0, model.waitDepth);
    EXPECT_EQ((std::vector<std::string>{"Saving Header", "Saving Polygons", "Saving Group Body", "Saving Group Lid",
                                        "File Saved"}),
              model.status);
    ExpectGolden("dxf_assembly.dxf", text);
    EXPECT_EQ(14u, Count(text, "3DFACE"));
}

TEST(DxfGolden, EmptyModel)
{
    CRecordingModel model;
    int result = 0;
    std::string text = WriteToString(WriteDxf, model, 1.0, &result);
    EXPECT_EQ(1, result);
    ExpectGolden("dxf_empty.dxf", text);
}

TEST(Dxf, ColourNumbersTakeTheLowestOfEqualEntries)
{
    EXPECT_EQ("1", ColourNumber("Red"));  // entry 10 is the same red
    EXPECT_EQ("7", ColourNumber("White"));
    EXPECT_EQ("0", ColourNumber("Black"));
    EXPECT_EQ("5", ColourNumber("Blue"));
    // An index outside the colour table is taken as the default, Red.
    EXPECT_EQ("1", ColourNumber(nullptr));
}

// A face with a repeated corner is still written; four tetrahedron faces
// and the sliver.
TEST(Dxf, RepeatedCornersAreWrittenAsTheyAre)
{
    CRecordingModel model;
    exportsamples::WithDegenerateGroup(model);
    std::string text = WriteToString(WriteDxf, model, 1.0);
    EXPECT_EQ(5u, Count(text, "3DFACE"));
    EXPECT_NE(std::string::npos, text.find("10\n1.000000\n20\n0.000000\n30\n0.000000\n"
                                           "11\n1.000000\n21\n0.000000\n31\n0.000000\n"
                                           "12\n0.000000\n22\n1.000000\n32\n0.000000\n"));
}
