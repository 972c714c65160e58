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

// The scene writer's finished state: saved, flag cleared, waits balanced.
void ExpectSaved(const CRecordingModel& model, int result)
{
    EXPECT_EQ(1, result);
    EXPECT_TRUE(model.errors.empty()) << model.errors.front();
    EXPECT_TRUE(model.HasStatus("File Saved"));
    EXPECT_FALSE(model.modified);
    EXPECT_EQ(0, model.waitDepth);
}

}  // namespace

// Scene without sky or floor: header, then the object text of a model with
// one group of four flat triangles.
TEST(PovSceneGolden, TetrahedronPlain)
{
    CRecordingModel model;
    samples::Tetrahedron(model);
    model.modified = true;
    int result = 0;
    std::string text = WriteToString(WritePovScene, model, 1.0, &result);
    ExpectSaved(model, result);
    ExpectGolden("pov_scene_tetrahedron.pov", text);
}

// Each sky and each floor once, on one triangle, at scale 2 with a floor
// offset, so every size in the presets is visibly scaled.
TEST(PovSceneGolden, EverySkyAndFloor)
{
    for (int sky = 1; sky <= exportsamples::kSkyTypes; ++sky) {
        CRecordingModel model;
        exportsamples::SingleTriangle(model);
        model.m_skyType = sky;
        int result = 0;
        std::string text = WriteToString(WritePovScene, model, 2.0, &result);
        ExpectSaved(model, result);
        ExpectGolden("pov_scene_sky" + std::to_string(sky) + ".pov", text);
    }
    for (int floor = 1; floor <= exportsamples::kFloorTypes; ++floor) {
        CRecordingModel model;
        exportsamples::SingleTriangle(model);
        model.m_floorType = floor;
        model.m_floorOffset = -0.25f;
        int result = 0;
        std::string text = WriteToString(WritePovScene, model, 2.0, &result);
        ExpectSaved(model, result);
        ExpectGolden("pov_scene_floor" + std::to_string(floor) + ".pov", text);
    }
}

// The include text of the assembly at scale 2: a smooth group, a glass group
// whose first face is a quadrilateral, a face with an unresolved slot, and an
// ignored and an empty group that must not appear.
TEST(PovObjectGolden, AssemblyScaleTwo)
{
    CRecordingModel model;
    samples::Assembly(model);
    int result = 0;
    std::string text = WriteToString(WritePovObject, model, 2.0, &result);
    ExpectSaved(model, result);
    ExpectGolden("pov_object_assembly.inc", text);
}

// One group, one flat triangle: "object {" at depth 1, the third corner
// written "< ".
TEST(PovObjectGolden, SingleTriangle)
{
    CRecordingModel model;
    exportsamples::SingleTriangle(model);
    std::string text = WriteToString(WritePovObject, model, 1.0);
    ExpectGolden("pov_object_triangle.inc", text);
}

// A lone group whose only face is a quadrilateral becomes two triangles, so
// it is written as a union, not as an object.
TEST(PovObject, SingleQuadrilateralGroupIsAUnion)
{
    CRecordingModel model;
    model.Clear(false);
    model.SetGroup("Quad", FindColor("White"), FindTexture("Dull"));
    int32_t quad[4];
    quad[0] = model.AddVertex({0, 0, 0}, true) + 1;
    quad[1] = model.AddVertex({1, 0, 0}, true) + 1;
    quad[2] = model.AddVertex({1, 1, 0}, true) + 1;
    quad[3] = model.AddVertex({0, 1, 0}, true) + 1;
    ASSERT_TRUE(model.AddFace(4, quad));
    samples::Finish(model);
    std::string text = WriteToString(WritePovObject, model, 1.0);
    EXPECT_NE(std::string::npos, text.find("object {\n\t// _Quad\n\tunion {\n\t\ttriangle {\n"
                                           "\t\t\t<0.000000, 0.000000, 0.000000>,\n"
                                           "\t\t\t<1.000000, 0.000000, 0.000000>,\n"
                                           "\t\t\t< 1.000000, 1.000000, 0.000000>\n\t\t}\n\t\ttriangle {\n"
                                           "\t\t\t<0.000000, 0.000000, 0.000000>,\n"
                                           "\t\t\t<1.000000, 1.000000, 0.000000>,\n"
                                           "\t\t\t< 0.000000, 1.000000, 0.000000>\n\t\t}\n"
                                           "\t\ttexture{_Quad}\n\t}\n}\n"));
}

TEST(PovObject, SmoothingFollowsGroupFlagAndAngle)
{
    CRecordingModel model;
    samples::Assembly(model);
    std::string smooth = WriteToString(WritePovObject, model, 1.0);
    // Body (6 quadrilaterals) is smooth, Lid (one quadrilateral) is flat.
    EXPECT_EQ(12u, Count(smooth, "smooth_triangle {"));
    EXPECT_EQ(2u, Count(smooth, "\ttriangle {"));

    model.m_smoothAngle = 0.0f;
    std::string flat = WriteToString(WritePovObject, model, 1.0);
    EXPECT_EQ(0u, Count(flat, "smooth_triangle"));
    EXPECT_EQ(14u, Count(flat, "\ttriangle {"));
}

TEST(PovObject, ScaleMultipliesCornersAndExtentsButNotNormals)
{
    CRecordingModel model;
    samples::Assembly(model);
    std::string one = WriteToString(WritePovObject, model, 1.0);
    std::string two = WriteToString(WritePovObject, model, 2.0);
    EXPECT_NE(std::string::npos, one.find("// ymin=-1.000000, ymax=2.000000\n"));
    EXPECT_NE(std::string::npos, two.find("// ymin=-2.000000, ymax=4.000000\n"));
    // Corner (-1,-1,-1) of the smooth body with its stored (unit) normal.
    EXPECT_NE(std::string::npos, two.find("<-2.000000, -2.000000, -2.000000>, <0.000000, 0.000000, -1.000000>,\n"));
    EXPECT_NE(std::string::npos, one.find("<-1.000000, -1.000000, -1.000000>, <0.000000, 0.000000, -1.000000>,\n"));
}

TEST(PovObject, IgnoredGroupStillCountsForTheOuterUnion)
{
    CRecordingModel model;
    exportsamples::NamedGroups(model, 5);
    model.GetGroup(1)->active = 0;
    std::string text = WriteToString(WritePovObject, model, 1.0);
    EXPECT_NE(std::string::npos, text.find("object {\n\tunion {\n\t\t// _nnnnn\n"));
    EXPECT_EQ(1u, Count(text, "#declare _"));
    EXPECT_EQ(std::string::npos, text.find("abc"));
    EXPECT_FALSE(model.HasStatus("Saving Group abc"));
    EXPECT_TRUE(model.HasStatus("Saving Group nnnnn"));
}

// A group none of whose triangles can be drawn would leave a shapeless object
// that POV-Ray rejects; it is left out like an empty group.
TEST(PovObject, GroupWithoutDrawableTriangleIsLeftOut)
{
    CRecordingModel model;
    exportsamples::WithDegenerateGroup(model);
    std::string text = WriteToString(WritePovObject, model, 1.0);
    EXPECT_EQ(std::string::npos, text.find("Sliver"));
    EXPECT_EQ(4u, Count(text, "triangle {"));

    // With nothing drawable among several groups the outer union stays,
    // empty, right after the extents.
    model.GetGroup(0)->active = 0;
    int result = 0;
    text = WriteToString(WritePovObject, model, 1.0, &result);
    ExpectSaved(model, result);
    const std::string extentsEnd = "// zmin=0.000000, zmax=0.000000\n\n";
    const std::string emptyUnion = extentsEnd + "object {\n\tunion {\n\t}\n}\n";
    ASSERT_GE(text.size(), emptyUnion.size());
    EXPECT_EQ(emptyUnion, text.substr(text.size() - emptyUnion.size()));

    // A single group that is not written would leave the outer object
    // empty, so none is opened.
    CRecordingModel single;
    exportsamples::SingleTriangle(single);
    single.GetGroup(0)->active = 0;
    text = WriteToString(WritePovObject, single, 1.0, &result);
    ExpectSaved(single, result);
    EXPECT_EQ(std::string::npos, text.find("object {"));
    EXPECT_EQ(std::string::npos, text.find("#declare _Tri"));
    ASSERT_GE(text.size(), extentsEnd.size());
    EXPECT_EQ(extentsEnd, text.substr(text.size() - extentsEnd.size()));
}

TEST(PovObject, NoGroupsWritesNothing)
{
    CRecordingModel model;
    model.modified = true;
    int result = 0;
    std::string text = WriteToString(WritePovObject, model, 1.0, &result);
    ExpectSaved(model, result);
    EXPECT_EQ("", text);
}

TEST(PovScene, NoGroupsStillWritesHeaderSkyAndFloor)
{
    CRecordingModel model;
    model.m_skyType = 3;
    model.m_floorType = 1;
    int result = 0;
    std::string text = WriteToString(WritePovScene, model, 1.0, &result);
    ExpectSaved(model, result);
    EXPECT_EQ(0u, text.find("#include \"colors.inc\"\n"));
    EXPECT_NE(std::string::npos, text.find("// Starfield texture by Tessaly\n"));
    EXPECT_NE(std::string::npos, text.find("\ty, 0.000000\n"));
    EXPECT_EQ("\t}\n}\n\n", text.substr(text.size() - 6));
}

TEST(PovScene, ScaleOnePlacesCameraLightsAndSeaFloor)
{
    CRecordingModel model;
    exportsamples::SingleTriangle(model);
    model.m_floorType = 5;
    std::string text = WriteToString(WritePovScene, model, 1.0);
    EXPECT_NE(std::string::npos, text.find("\tlocation  <0, 0, -2.000000>\n"));
    EXPECT_NE(std::string::npos, text.find("light_source {<0, 5.000000, 0> color White}\n\n"));
    EXPECT_NE(std::string::npos, text.find("// Define the water surface\nplane { y, 0.000000\n"));
    EXPECT_NE(std::string::npos, text.find("plane { y, -1.000000\n"));
    EXPECT_NE(std::string::npos, text.find("\t\tambient 1.0\t\tdiffuse 0.0\n"));
}

TEST(PovScene, UnknownSkyAndFloorWriteNothing)
{
    CRecordingModel plain, odd;
    exportsamples::SingleTriangle(plain);
    exportsamples::SingleTriangle(odd);
    odd.m_skyType = 4;
    odd.m_floorType = -1;
    EXPECT_EQ(WriteToString(WritePovScene, plain, 1.0), WriteToString(WritePovScene, odd, 1.0));
}

TEST(PovScene, GroupNamesLongerThanFortyAreRefused)
{
    CRecordingModel exact;
    exportsamples::NamedGroups(exact, 40);
    int result = 0;
    std::string text = WriteToString(WritePovScene, exact, 1.0, &result);
    ExpectSaved(exact, result);

    CRecordingModel tooLong;
    exportsamples::NamedGroups(tooLong, 41);
    tooLong.GetGroup(0)->active = 0;  // ignored groups count too
    tooLong.modified = true;
    text = WriteToString(WritePovScene, tooLong, 1.0, &result);
    EXPECT_EQ(0, result);
    EXPECT_EQ("", text);
    ASSERT_EQ(1u, tooLong.errors.size());
    EXPECT_EQ("One or more group names are too long for POVRay. Please reduce the length of group names to 40 or "
              "less characters.",
              tooLong.errors[0]);
    EXPECT_TRUE(tooLong.modified);

    // The include writer takes the same model.
    CRecordingModel include;
    exportsamples::NamedGroups(include, 41);
    text = WriteToString(WritePovObject, include, 1.0, &result);
    EXPECT_EQ(1, result);
    EXPECT_NE(std::string::npos, text.find("#declare _" + std::string(41, 'n') + " = "));
}

// A reader that found no colour or finish name leaves an index outside the
// tables; the declaration then uses the defaults, Red and Shiny.
TEST(PovObject, OutOfRangeColourAndFinishFallBackToDefaults)
{
    CRecordingModel model;
    model.Clear(false);
    model.SetGroup("Odd", -1, 99);
    model.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    model.SetGroup("Late", 121, -1);
    model.AddTriangle({0, 0, 1}, {1, 0, 1}, {0, 1, 1});
    samples::Finish(model);
    std::string text = WriteToString(WritePovObject, model, 1.0);
    EXPECT_NE(std::string::npos, text.find("#declare _Odd = texture {pigment {color Red} finish {Shiny}}\n"));
    EXPECT_NE(std::string::npos, text.find("#declare _Late = texture {pigment {color Red} finish {Shiny}}\n"));
}
