#include <gtest/gtest.h>

#include <string>

#include "MeshSamples.h"
#include "TestFiles.h"
#include "Writers.h"

using meshsamples::CountLines;
using testfiles::ExpectGolden;
using testfiles::WriteToString;

namespace {

std::string Vrml(CModel& model, double scale)
{
    return WriteToString(WriteVrml, model, scale);
}

std::string Header(const char* ordering)
{
    return std::string("#VRML V1.0 ascii\nSeparator {\n\tDEF SceneInfo Info {\n"
                       "\t\tstring \"Converted by trivex v2.7\"\n\t}\n\tShapeHints {\n\t\tvertexOrdering ") +
           ordering + "\n\t\tshapeType SOLID\n\t\tfaceType CONVEX\n\t\tcreaseAngle 0.0\n\t}\n\n";
}

// Group names a reader may well deliver that are no VRML names as they stand.
void OddNames(CModel& model)
{
    model.Clear(false);
    for (const char* name : {"0", "left door", "a.b{c}", ""}) {
        model.SetGroup(name, FindColor("Gold"), 0);
        model.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    }
}

}  // namespace

TEST(VrmlWriterGolden, Tetrahedron)
{
    CModel model;
    samples::Tetrahedron(model);
    ExpectGolden("vrml_tetrahedron.wrl", Vrml(model, 1.0));
}

TEST(VrmlWriterGolden, AssemblyScaleTwoClockwise)
{
    CModel model;
    model.m_normalOrder = 1;
    samples::Assembly(model);
    ExpectGolden("vrml_assembly_clockwise.wrl", Vrml(model, 2.0));
}

TEST(VrmlWriterGolden, AssemblyCounterclockwise)
{
    CModel model;
    model.m_normalOrder = 0;
    samples::Assembly(model);
    ExpectGolden("vrml_assembly_counterclockwise.wrl", Vrml(model, 1.0));
}

TEST(VrmlWriterGolden, Parts)
{
    CModel model;
    meshsamples::Parts(model);
    ExpectGolden("vrml_parts.wrl", Vrml(model, 1.0));
}

TEST(VrmlWriter, NoActiveGroupGivesHeaderAndClosingBrace)
{
    CModel empty;
    EXPECT_EQ(Header("COUNTERCLOCKWISE") + "}\n", Vrml(empty, 1.0));

    CModel ignored;
    samples::Tetrahedron(ignored);
    ignored.GetGroup(0)->active = 0;
    ignored.m_normalOrder = 1;
    EXPECT_EQ(Header("CLOCKWISE") + "}\n", Vrml(ignored, 1.0));
}

TEST(VrmlWriter, SmoothGroupsGetCreaseAngleAndNormalIndex)
{
    CModel model;
    samples::Assembly(model);
    const std::string text = Vrml(model, 1.0);
    EXPECT_EQ(1, CountLines(text, "\t\t\tcreaseAngle 1.221729"));  // 70 degrees, Body only
    EXPECT_EQ(1, CountLines(text, "\t\t\tnormalIndex ["));

    model.m_smoothAngle = 30.0f;
    EXPECT_EQ(1, CountLines(Vrml(model, 1.0), "\t\t\tcreaseAngle 0.523598"));
}

TEST(VrmlWriter, NamesThatAreNoVrmlNamesAreMadeValid)
{
    CModel model;
    OddNames(model);
    const std::string text = Vrml(model, 1.0);
    for (const char* def : {"\tDEF _0 Separator {\n", "\tDEF left_door Separator {\n", "\tDEF a_b_c_ Separator {\n",
                            "\tDEF _ Separator {\n"})
        EXPECT_NE(std::string::npos, text.find(def)) << def;
}

TEST(VrmlConsumers, Tovrmlx3dConvertsWithoutComplaint)
{
    TRIVEX_REQUIRE_TOOL("tovrmlx3d");
    struct Case {
        const char* name;
        void (*build)(CModel&);
        int normalOrder;
        const char* someDef;
    };
    const Case cases[] = {{"tetrahedron", samples::Tetrahedron, 1, "DEF Red Separator"},
                          {"assembly", samples::Assembly, 1, "DEF Body Separator"},
                          {"assembly-ccw", samples::Assembly, 0, "DEF Body Separator"},
                          {"parts", meshsamples::Parts, 1, "DEF LeftFrontWheel Separator"},
                          {"odd-names", OddNames, 1, "DEF left_door Separator"}};
    for (const Case& c : cases) {
        CModel model;
        model.m_normalOrder = c.normalOrder;
        c.build(model);
        meshsamples::CTempFile in(std::string("vrml-") + c.name + ".wrl");
        meshsamples::CTempFile out(std::string("vrml-") + c.name + ".x3dv");
        meshsamples::CTempFile err(std::string("vrml-") + c.name + ".err");
        testfiles::WriteAll(in.Path(), Vrml(model, 2.0));
        int code = testfiles::RunCommand("tovrmlx3d " + in.Quoted() + " >" + out.Quoted() + " 2>" + err.Quoted());
        EXPECT_EQ(0, code) << c.name;
        EXPECT_EQ("", testfiles::ReadAll(err.Path())) << c.name;
        // The converted world still holds our groups, so the file was read
        // through and not cut short.
        const std::string converted = testfiles::ReadAll(out.Path());
        EXPECT_NE(std::string::npos, converted.find(c.someDef)) << c.name << "\n" << converted;
        EXPECT_NE(std::string::npos, converted.find("coordIndex")) << c.name;
    }
}
