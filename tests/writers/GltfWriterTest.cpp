#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "RecordingModel.h"
#include "SampleModels.h"
#include "TestFiles.h"
#include "Writers.h"
#include "writers/GltfOutput.h"

// What the glTF writers put where. The format's validator and assimp read our
// files of the whole corpus in tests/formats/GltfCorpusTest.cpp.

using gltfoutput::AccessorValues;
using gltfoutput::CGltf;
using gltfoutput::json;

namespace {

CGltf WriteGlbFile(CModel& model, double scale)
{
    int result = 0;
    CGltf file = gltfoutput::ParseGlb(testfiles::WriteToString(WriteGlb, model, scale, &result));
    EXPECT_EQ(1, result);
    EXPECT_EQ("", file.problem);
    return file;
}

const json& Primitive(const CGltf& file, const std::string& node)
{
    for (const json& n : file.doc["nodes"])
        if (n["name"] == node)
            return file.doc["meshes"][n["mesh"].get<size_t>()]["primitives"][0];
    ADD_FAILURE() << "no node " << node;
    return file.doc["meshes"][0]["primitives"][0];
}

std::vector<double> Values(const CGltf& file, const json& index)
{
    return AccessorValues(file, index.get<size_t>());
}

}  // namespace

// One node per written group (the ignored, the empty group and the face with
// a missing corner left out), coordinates times the scale, normals only where
// the group is smooth, and each triangle wound counter-clockwise around its
// face's normal whatever the model's normal order.
TEST(GltfWriter, GroupsBecomeNodesWoundLikeTheirFaces)
{
    for (int order : {0, 1}) {
        CRecordingModel model;
        samples::Assembly(model);
        model.m_normalOrder = order;
        model.CalculateNormals();
        model.modified = true;
        CGltf file = WriteGlbFile(model, 2.0);
        EXPECT_TRUE(model.HasStatus("File Saved") && !model.modified && model.waitDepth == 0);
        ASSERT_EQ(2u, file.doc["nodes"].size());
        EXPECT_EQ(json::array({0, 1}), file.doc["scenes"][0]["nodes"]);
        EXPECT_EQ(2, gltfoutput::TriangleCount(file.doc) - 12);
        EXPECT_FALSE(Primitive(file, "Lid")["attributes"].contains("NORMAL"));

        const json& cube = Primitive(file, "Body");
        const json& position = file.doc["accessors"][cube["attributes"]["POSITION"].get<size_t>()];
        EXPECT_EQ(json::array({-2.0, -2.0, -2.0}), position["min"]);
        EXPECT_EQ(json::array({2.0, 2.0, 2.0}), position["max"]);
        const std::vector<double> p = Values(file, cube["attributes"]["POSITION"]);
        const std::vector<double> n = Values(file, cube["attributes"]["NORMAL"]);
        const std::vector<double> index = Values(file, cube["indices"]);
        ASSERT_EQ(8u * 3, p.size());  // corners shared between faces stay shared
        ASSERT_EQ(p.size(), n.size());
        ASSERT_EQ(36u, index.size());
        for (size_t i = 0; i < n.size(); i += 3)
            EXPECT_NEAR(1.0, std::sqrt(n[i] * n[i] + n[i + 1] * n[i + 1] + n[i + 2] * n[i + 2]), 1e-6);
        for (size_t t = 0; t < index.size(); t += 3) {
            const size_t a = 3 * size_t(index[t]), b = 3 * size_t(index[t + 1]), c = 3 * size_t(index[t + 2]);
            const double e1[3] = {p[b] - p[a], p[b + 1] - p[a + 1], p[b + 2] - p[a + 2]};
            const double e2[3] = {p[c] - p[a], p[c + 1] - p[a + 1], p[c + 2] - p[a + 2]};
            // AddQuad stores two triangles, so face k is triangle k.
            const CVector& face = model.GetGroup(0)->polygons.GetAt(static_cast<int>(t / 3))->normal;
            EXPECT_GT((e1[1] * e2[2] - e1[2] * e2[1]) * face.x + (e1[2] * e2[0] - e1[0] * e2[2]) * face.y +
                          (e1[0] * e2[1] - e1[1] * e2[0]) * face.z,
                      0.0)
                << "order " << order << " triangle " << t / 3;
        }

        // The JSON file is the same scene with the buffer inside it.
        const json text = json::parse(testfiles::WriteToString(WriteGltf, model, 2.0), nullptr, false);
        ASSERT_TRUE(text.is_object());
        EXPECT_EQ(0u, text["buffers"][0]["uri"].get<std::string>().find("data:application/octet-stream;base64,"));
        json same = text;
        same["buffers"][0].erase("uri");
        EXPECT_EQ(file.doc, same);
    }
}

// Linear colour from the table's sRGB, metallic/roughness from the finish,
// one material per colour and finish; out of range indices fall back to Red
// and Shiny. Left out: faces with corners in one place (a group of nothing
// else disappears) and coordinates that overflow a float at the scale; a
// name that is no UTF-8 is written with the replacement character.
TEST(GltfWriter, MaterialsAndWhatCannotBeWritten)
{
    CRecordingModel model;
    const struct
    {
        const char* group;
        const char* color;
        const char* finish;
    } groups[] = {{"metal", "Bronze", "Metal"}, {"glass", "Blue", "GlassFinish"}, {"lamp", "Blue", "Luminous"},
                  {"dull", "Blue", "Dull"},     {"dull too", "Blue", "Dull"},   {"caf\xe9", "Blue", "Mirror"}};
    float z = 0;
    for (const auto& g : groups) {
        model.SetGroup(g.group, FindColor(g.color), FindTexture(g.finish));
        model.AddTriangle({0, 0, z}, {1, 0, z}, {0, 1, z});
        ++z;
    }
    model.SetGroup("odd", 999, -3);
    model.AddTriangle({0, 0, z}, {1, 0, z}, {0, 1, z});
    model.AddTriangle({0, 0, 3e38f}, {1, 0, z}, {0, 1, z});
    model.SetGroup("sliver", FindColor("Red"), FindTexture("Dull"));
    model.AddFace(3, std::vector<int32_t>{1, 1, 2}.data());
    samples::Finish(model);
    CGltf file = WriteGlbFile(model, 2.0);
    EXPECT_EQ(7, gltfoutput::TriangleCount(file.doc));
    ASSERT_EQ(6u, file.doc["materials"].size());
    auto material = [&](const char* name) { return file.doc["materials"][Primitive(file, name)["material"].get<size_t>()]; };

    const json bronze = material("metal")["pbrMetallicRoughness"];
    // sRGB 0.55, 0.47, 0.14 in linear light
    EXPECT_NEAR(0.2633, bronze["baseColorFactor"][0].get<double>(), 2e-4);
    EXPECT_NEAR(0.1873, bronze["baseColorFactor"][1].get<double>(), 2e-4);
    EXPECT_NEAR(0.0174, bronze["baseColorFactor"][2].get<double>(), 2e-4);
    EXPECT_EQ(1.0, bronze["baseColorFactor"][3]);
    EXPECT_EQ(1.0, bronze["metallicFactor"]);
    EXPECT_EQ(1.0, material("caf\xef\xbf\xbd")["pbrMetallicRoughness"]["metallicFactor"]);
    EXPECT_FALSE(material("metal").contains("alphaMode") || material("metal").contains("emissiveFactor"));
    EXPECT_EQ("BLEND", material("glass")["alphaMode"]);
    EXPECT_LT(material("glass")["pbrMetallicRoughness"]["baseColorFactor"][3].get<double>(), 1.0);
    EXPECT_EQ(json::array({0.0, 0.0, 1.0}), material("lamp")["emissiveFactor"]);
    EXPECT_EQ(0.0, material("dull")["pbrMetallicRoughness"]["metallicFactor"]);
    EXPECT_GT(material("dull")["pbrMetallicRoughness"]["roughnessFactor"].get<double>(),
              material("odd")["pbrMetallicRoughness"]["roughnessFactor"].get<double>());
    EXPECT_EQ(Primitive(file, "dull")["material"], Primitive(file, "dull too")["material"]);
    EXPECT_EQ(json::array({1.0, 0.0, 0.0, 1.0}), material("odd")["pbrMetallicRoughness"]["baseColorFactor"]);
}

// 16-bit indices up to 65535 vertices (the value 65535 itself is reserved),
// 32-bit from 65536; the values and their bounds exact either way.
TEST(GltfWriter, IndexWidthFollowsTheVertexCount)
{
    for (int vertices : {65535, 65536}) {
        CRecordingModel model;
        model.SetGroup("many", FindColor("Red"), FindTexture("Shiny"));
        for (int i = 0; i < vertices; ++i)
            model.AddVertex(CVector(static_cast<float>(i % 256), static_cast<float>(i / 256), (i % 3) * 0.5f), false);
        std::vector<int32_t> corners;
        for (int i = 1; i + 2 <= vertices; i += 3)
            corners.insert(corners.end(), {i, i + 1, i + 2});
        if (vertices % 3)
            corners.insert(corners.end(), {vertices, 1, 2});
        for (size_t t = 0; t < corners.size(); t += 3)
            model.AddFace(3, &corners[t]);
        samples::Finish(model);
        CGltf file = WriteGlbFile(model, 1.0);
        const json& primitive = file.doc["meshes"][0]["primitives"][0];
        const json& indices = file.doc["accessors"][primitive["indices"].get<size_t>()];
        EXPECT_EQ(vertices < 65536 ? 5123 : 5125, indices["componentType"]);
        EXPECT_EQ(json::array({0}), indices["min"]);
        EXPECT_EQ(json::array({vertices - 1}), indices["max"]);
        const std::vector<double> values = Values(file, primitive["indices"]);
        ASSERT_EQ(corners.size(), values.size());
        for (size_t i = 0; i < values.size(); ++i)
            ASSERT_EQ(corners[i] - 1, values[i]) << i;
    }
}
