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

TEST(AscWriter, MaterialNamesCutColoursToBytes)
{
    CModel model;
    meshsamples::Parts(model);
    const std::string text = Asc(model, 1.0);
    // Orange (1, 0.5, 0) and Gray50: 0.5 * 255 = 127.5 is cut to 127.
    EXPECT_NE(std::string::npos, text.find("Material: \"r255g127b0a90\"\nSmoothing: 32\n"));
    EXPECT_NE(std::string::npos, text.find("Material: \"r127g127b127a90\"\n"));
    EXPECT_NE(std::string::npos, text.find("Material: \"r255g255b255a90\"\n"));
}

TEST(AscWriter, QuadBecomesTwoFacesOverFourVertices)
{
    CModel model;
    meshsamples::Parts(model);
    const std::string text = Asc(model, 2.0);
    const size_t at = text.find("Named object: \"LeftFro002\"\n");
    ASSERT_NE(std::string::npos, at);
    const std::string expected =
        "Named object: \"LeftFro002\"\n"
        "Tri-mesh, Vertices: 4 Faces: 2\n"
        "Vertex List:\n"
        "Vertex 0:  X:2.000000    Y:2.000000    Z:2.000000\n"
        "Vertex 1:  X:2.000000    Y:0.000000    Z:2.000000\n"
        "Vertex 2:  X:2.000000    Y:0.000000    Z:0.000000\n"
        "Vertex 3:  X:2.000000    Y:2.000000    Z:0.000000\n"
        "Face list:\n"
        "Face 0: A:2 B:1 C:0 AB:1 BC:1 CA:1\n"
        "Material: \"r127g127b127a90\"\n"
        "Smoothing: 32\n"
        "Face 1: A:2 B:0 C:3 AB:1 BC:1 CA:1\n"
        "Material: \"r127g127b127a90\"\n"
        "Smoothing: 32\n";
    EXPECT_EQ(expected, text.substr(at, expected.size()));
}

TEST(AscWriter, GroupWithoutDrawableTriangleKeepsItsHeadings)
{
    CModel model;
    meshsamples::Parts(model);
    const std::string text = Asc(model, 1.0);
    EXPECT_NE(std::string::npos,
              text.find("Named object: \"Sliver\"\nTri-mesh, Vertices: 0 Faces: 0\nVertex List:\nFace list:\n"
                        "Named object: \"Dome\"\n"));
}
