#include <gtest/gtest.h>

#include <string>

#include "MeshSamples.h"
#include "TestFiles.h"
#include "Writers.h"

using testfiles::ExpectGolden;
using testfiles::WriteToString;

namespace {

std::string Asc(CModel& model, double scale)
{
    return WriteToString(WriteAsc, model, scale);
}

}  // namespace

TEST(AscWriterGolden, Tetrahedron)
{
    CModel model;
    samples::Tetrahedron(model);
    ExpectGolden("asc_tetrahedron.asc", Asc(model, 1.0));
}

TEST(AscWriterGolden, AssemblyScaleTwo)
{
    CModel model;
    samples::Assembly(model);
    ExpectGolden("asc_assembly.asc", Asc(model, 2.0));
}

TEST(AscWriterGolden, Parts)
{
    CModel model;
    meshsamples::Parts(model);
    ExpectGolden("asc_parts.asc", Asc(model, 1.0));
}

TEST(AscWriter, LongNamesBecomeSevenCharactersAndThePosition)
{
    CModel model;
    meshsamples::Parts(model);
    const std::string text = Asc(model, 1.0);
    EXPECT_NE(std::string::npos, text.find("Named object: \"Wheel\"\n"));
    EXPECT_NE(std::string::npos, text.find("Named object: \"LeftFro002\"\n"));
    EXPECT_EQ(std::string::npos, text.find("LeftFrontWheel"));
    EXPECT_EQ(std::string::npos, text.find("Skipped"));

    // Exactly ten characters stay; eleven are cut.
    CModel names;
    names.SetGroup("abcdefghij", FindColor("Red"), 0);
    names.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    names.SetGroup("abcdefghijk", FindColor("Red"), 0);
    names.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    const std::string cut = Asc(names, 1.0);
    EXPECT_NE(std::string::npos, cut.find("Named object: \"abcdefghij\"\n"));
    EXPECT_NE(std::string::npos, cut.find("Named object: \"abcdefg001\"\n"));
}
