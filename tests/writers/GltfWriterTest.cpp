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
// files of the whole corpus in tests/formats/GltfCorpusTest.cpp; these check
// what they cannot: winding, colours, the index width chosen.

using gltfoutput::AccessorValues;
using gltfoutput::CGltf;
using gltfoutput::json;

namespace {

CGltf WriteGlbFile(CModel& model, double scale)
{
    int result = 0;
    CGltf file = gltfoutput::ParseGlb(testfiles::WriteToString(WriteGlb, model, scale, &result));
    EXPECT_EQ(1, result);
    EXPECT_TRUE(file.doc.is_object());
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

}  // namespace

// One node per written group (the ignored, the empty group and the face with
// a missing corner left out), coordinates times the scale, normals only where
// the group is smooth, and each triangle wound counter-clockwise around its
// face's normal whatever the model's normal order. The .gltf holds the same.
TEST(GltfWriter, GroupsBecomeNodesWoundLikeTheirFaces)
{
    for (int order : {0, 1}) {
        CRecordingModel model;
        samples::Assembly(model);
        model.m_normalOrder = order;
        model.CalculateNormals();
        CGltf file = WriteGlbFile(model, 2.0);
        EXPECT_TRUE(model.HasStatus("File Saved") && model.waitDepth == 0);
        ASSERT_EQ(2u, file.doc["nodes"].size());
        EXPECT_EQ(12 + 2, gltfoutput::TriangleCount(file.doc));
        EXPECT_FALSE(Primitive(file, "Lid")["attributes"].contains("NORMAL"));
        const json& cube = Primitive(file, "Body");
        EXPECT_EQ(json::array({2.0, 2.0, 2.0}), file.doc["accessors"][cube["attributes"]["POSITION"].get<size_t>()]["max"]);
        const std::vector<double> p = AccessorValues(file, cube["attributes"]["POSITION"]);
        const std::vector<double> index = AccessorValues(file, cube["indices"]);
        ASSERT_EQ(8u * 3, p.size());  // corners shared between faces stay shared
        ASSERT_EQ(8u * 3, AccessorValues(file, cube["attributes"]["NORMAL"]).size());
        ASSERT_EQ(36u, index.size());
        auto corner = [&](double i) {
            const size_t k = 3 * static_cast<size_t>(i);
            return CVector(static_cast<float>(p[k]), static_cast<float>(p[k + 1]), static_cast<float>(p[k + 2]));
        };
        for (size_t t = 0; t < index.size(); t += 3) {
            const CVector a = corner(index[t]);
            // AddQuad stores two triangles, so face k is triangle k.
            EXPECT_GT((corner(index[t + 1]) - a).Cross(corner(index[t + 2]) - a).Dot(model.GetGroup(0)->polygons.GetAt(static_cast<int>(t / 3))->normal), 0.0f)
                << "order " << order << " triangle " << t / 3;
        }
        json text = json::parse(testfiles::WriteToString(WriteGltf, model, 2.0), nullptr, false);
        EXPECT_EQ(0u, text["buffers"][0]["uri"].get<std::string>().find("data:application/octet-stream;base64,"));
        text["buffers"][0].erase("uri");
        EXPECT_EQ(file.doc, text);
    }
    // With smoothing off no vertex has a normal of its own: each takes a
    // face's, here an axis.
    CRecordingModel model;
    samples::Assembly(model);
    model.m_smoothAngle = 0;
    model.CalculateNormals();
    CGltf file = WriteGlbFile(model, 1.0);
    const std::vector<double> n = AccessorValues(file, Primitive(file, "Body")["attributes"]["NORMAL"]);
    ASSERT_EQ(8u * 3, n.size());
    for (size_t i = 0; i < n.size(); i += 3)
        EXPECT_EQ(1.0, std::abs(n[i]) + std::abs(n[i + 1]) + std::abs(n[i + 2])) << i / 3;
}

// Linear colour from the table's sRGB, metallic/roughness from the finish,
// one material per colour and finish, Red and Shiny for indices out of range.
// Left out: faces with corners in one place (a group of nothing else
// disappears) and coordinates that overflow a float at the scale; a name
// that is no UTF-8 gets the replacement character.
TEST(GltfWriter, MaterialsAndWhatCannotBeWritten)
{
    CRecordingModel model;
    const char* const groups[][3] = {{"metal", "Bronze", "Metal"}, {"glass", "Blue", "GlassFinish"},
                                     {"lamp", "Blue", "Luminous"}, {"dull", "Blue", "Dull"},
                                     {"dull 2", "Blue", "Dull"},   {"caf\xe9", "Blue", "Mirror"}};
    float z = 0;
    for (const auto& g : groups) {
        model.SetGroup(g[0], FindColor(g[1]), FindTexture(g[2]));
        model.AddTriangle({0, 0, z}, {1, 0, z}, {0, 1, z});
        ++z;
    }
    // The triangle left out comes first, so that the one written after it
    // must still find its own corners.
    model.SetGroup("odd", 999, -3);
    model.AddTriangle({1, 0, z}, {0, 1, z}, {0, 0, 3e38f});
    model.AddTriangle({0, 0, z}, {1, 0, z}, {0, 1, z});
    model.SetGroup("sliver", FindColor("Red"), FindTexture("Dull"));
    model.AddFace(3, std::vector<int32_t>{1, 1, 2}.data());
    samples::Finish(model);
    CGltf file = WriteGlbFile(model, 2.0);
    EXPECT_EQ(7, gltfoutput::TriangleCount(file.doc));
    EXPECT_EQ(6u, file.doc["materials"].size());
    auto material = [&](const char* name) { return file.doc["materials"][Primitive(file, name)["material"].get<size_t>()]; };
    auto pbr = [&](const char* name, const char* key) { return material(name)["pbrMetallicRoughness"][key]; };

    // sRGB 0.55, 0.47, 0.14 in linear light
    EXPECT_NEAR(0.2633, pbr("metal", "baseColorFactor")[0].get<double>(), 2e-4);
    EXPECT_NEAR(0.1873, pbr("metal", "baseColorFactor")[1].get<double>(), 2e-4);
    EXPECT_NEAR(0.0174, pbr("metal", "baseColorFactor")[2].get<double>(), 2e-4);
    EXPECT_EQ(1.0, pbr("metal", "metallicFactor"));
    EXPECT_EQ(1.0, pbr("caf\xef\xbf\xbd", "metallicFactor"));
    EXPECT_EQ(0.0, pbr("dull", "metallicFactor"));
    EXPECT_GT(pbr("dull", "roughnessFactor"), pbr("odd", "roughnessFactor"));
    EXPECT_FALSE(material("metal").contains("alphaMode") || material("metal").contains("emissiveFactor"));
    EXPECT_EQ("BLEND", material("glass")["alphaMode"]);
    EXPECT_LT(pbr("glass", "baseColorFactor")[3].get<double>(), 1.0);
    EXPECT_EQ(json::array({0.0, 0.0, 1.0}), material("lamp")["emissiveFactor"]);
    EXPECT_EQ(Primitive(file, "dull")["material"], Primitive(file, "dull 2")["material"]);
    EXPECT_EQ(json::array({1.0, 0.0, 0.0, 1.0}), pbr("odd", "baseColorFactor"));
    EXPECT_EQ((std::vector<double>{0, 0, 2 * z, 2, 0, 2 * z, 0, 2, 2 * z}),
              AccessorValues(file, Primitive(file, "odd")["attributes"]["POSITION"]));
    EXPECT_EQ((std::vector<double>{0, 1, 2}), AccessorValues(file, Primitive(file, "odd")["indices"]));
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
        const json& indices = file.doc["meshes"][0]["primitives"][0]["indices"];
        EXPECT_EQ(vertices < 65536 ? 5123 : 5125, file.doc["accessors"][indices.get<size_t>()]["componentType"]);
        EXPECT_EQ(json::array({vertices - 1}), file.doc["accessors"][indices.get<size_t>()]["max"]);
        const std::vector<double> values = AccessorValues(file, indices);
        ASSERT_EQ(corners.size(), values.size());
        for (size_t i = 0; i < values.size(); ++i)
            ASSERT_EQ(corners[i] - 1, values[i]) << i;
    }
}
