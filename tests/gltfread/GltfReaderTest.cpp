// The glTF reader on small files made here: primitive modes, index types,
// strides, sparse and quantized accessors, node placement, groups and
// materials, buffers beside the model, and damaged files.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "Colors.h"
#include "Formats.h"
#include "GltfBuilder.h"
#include "GltfReader.h"
#include "RecordingModel.h"
#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFloat = 5126, kUByte = 5121, kShort = 5122, kUShort = 5123, kUInt = 5125;

// Reads the bytes and checks what every read must leave: a balanced wait
// bracket, and after a failure one error and an empty model.
int Read(CRecordingModel& model, const std::string& bytes, const std::string& folder = "")
{
    const int result =
        ReadGltfBytes(model, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), folder);
    EXPECT_EQ(model.waitDepth, 0);
    if (result != 1) {
        EXPECT_EQ(model.errors.size(), 1u);
        EXPECT_EQ(model.GetGroupCount(), 0);
        EXPECT_EQ(model.GetVertexCount(), 0);
    }
    return result;
}

// Every corner of every face in order, back at the size the file gave them
// and relative to the first corner (the load centres and scales the model).
std::vector<float> Corners(const CModel& model)
{
    std::vector<float> out;
    CVector first;
    bool any = false;
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        for (int p = 0; p < group->polygons.GetCount(); ++p)
            for (int i = 0; i < group->polygons.GetAt(p)->count; ++i) {
                const CVector v = *group->polygons.GetAt(p)->GetVertex(i);
                if (!any)
                    first = v;
                any = true;
                out.push_back((v.x - first.x) * model.m_scale);
                out.push_back((v.y - first.y) * model.m_scale);
                out.push_back((v.z - first.z) * model.m_scale);
            }
    }
    return out;
}

void ExpectCorners(const CModel& model, const std::vector<float>& expected)
{
    const std::vector<float> got = Corners(model);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], expected[i], 1e-4) << "coordinate " << i % 3 << " of corner " << i / 3;
}

// Whether every face, seen from +Z, winds counter-clockwise.
bool FrontsFaceUp(const CModel& model)
{
    for (int g = 0; g < model.GetGroupCount(); ++g)
        for (int p = 0; p < model.GetGroup(g)->polygons.GetCount(); ++p) {
            const CPolygon* f = model.GetGroup(g)->polygons.GetAt(p);
            const CVector a = *f->GetVertex(0), b = *f->GetVertex(1), c = *f->GetVertex(2);
            if ((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x) <= 0)
                return false;
        }
    return true;
}

std::string OneMesh(int positions, const std::string& more, const std::string& nodes = "[{\"mesh\":0}]")
{
    return "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":" + std::to_string(positions) + "}" + more +
           "}]}],\"nodes\":" + nodes;
}

}  // namespace

TEST(GltfReader, PrimitiveModesAndIndexTypes)
{
    // Each case is laid out so that all its triangles wind counter-clockwise.
    const std::vector<float> zigzag = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 2, 0, 1, 2, 0};
    const std::vector<float> fan = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, -1, 1, 0, -1, 0, 0};
    const std::vector<float> square = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    const std::vector<float> two = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 2, 1, 0, 1, 2, 0};
    struct Case
    {
        const char* what;
        int mode;
        std::vector<float> points;
        int indexType;  // 0: not indexed
        long triangles;
    };
    const Case cases[] = {
        {"triangles", 4, two, 0, 2},     {"strip", 5, zigzag, 0, 4},         {"fan", 6, fan, 0, 4},
        {"8-bit indices", 4, square, kUByte, 2}, {"16-bit indices", 4, square, kUShort, 2},
        {"32-bit indices", 4, square, kUInt, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CGltfBuilder gltf;
        const int positions = gltf.Positions(c.points);
        std::string more = ",\"mode\":" + std::to_string(c.mode);
        const std::vector<uint32_t> quad = {0, 1, 2, 0, 2, 3};
        if (c.indexType == kUByte)
            more += ",\"indices\":" + std::to_string(gltf.Accessor(
                                          gltf.View(std::vector<uint8_t>(quad.begin(), quad.end())), kUByte, 6, "SCALAR"));
        else if (c.indexType == kUShort)
            more += ",\"indices\":" + std::to_string(gltf.Accessor(
                                          gltf.View(std::vector<uint16_t>(quad.begin(), quad.end())), kUShort, 6, "SCALAR"));
        else if (c.indexType == kUInt)
            more += ",\"indices\":" + std::to_string(gltf.Accessor(gltf.View(quad), kUInt, 6, "SCALAR"));
        CRecordingModel model;
        ASSERT_EQ(Read(model, gltf.Json(OneMesh(positions, more))), 1);
        EXPECT_EQ(model.GetPolygonCount(), c.triangles);
        EXPECT_TRUE(FrontsFaceUp(model));
    }
}

TEST(GltfReader, PointsAndLinesAreCountedInOneNotice)
{
    CGltfBuilder gltf;
    const int positions = gltf.Positions({0, 0, 0, 1, 0, 0, 0, 1, 0});
    const std::string p = "{\"attributes\":{\"POSITION\":" + std::to_string(positions) + "}";
    CRecordingModel model;
    ASSERT_EQ(Read(model, gltf.Json("\"meshes\":[{\"primitives\":[" + p + ",\"mode\":0}," + p + ",\"mode\":1}," + p +
                                    ",\"mode\":3}," + p + "}]}],\"nodes\":[{\"mesh\":0}]")),
              1);
    EXPECT_EQ(model.GetPolygonCount(), 1);
    EXPECT_EQ(model.notices, std::vector<std::string>{"Skipped 3 glTF primitives of points or lines"});
}

TEST(GltfReader, StridedSparseAndQuantizedPositions)
{
    const std::vector<float> triangle = {0, 0, 0, 2, 0, 0, 0, 3, 0};
    {
        SCOPED_TRACE("interleaved with normals, 24-byte stride");
        CGltfBuilder gltf;
        const int view = gltf.View(std::vector<float>{0, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 1, 0, 3, 0, 0, 0, 1}, 24);
        const int positions = gltf.Accessor(view, kFloat, 3, "VEC3");
        CRecordingModel model;
        ASSERT_EQ(Read(model, gltf.Json(OneMesh(positions, ""))), 1);
        ExpectCorners(model, triangle);
    }
    {
        SCOPED_TRACE("sparse: the third point replaced");
        CGltfBuilder gltf;
        const int base = gltf.View(std::vector<float>{0, 0, 0, 2, 0, 0, 9, 9, 9});
        const int which = gltf.View(std::vector<uint16_t>{2});
        const int values = gltf.View(std::vector<float>{0, 3, 0});
        const int positions = gltf.Accessor(base, kFloat, 3, "VEC3",
                                            ",\"sparse\":{\"count\":1,\"indices\":{\"bufferView\":" +
                                                std::to_string(which) + ",\"componentType\":5123},\"values\":{"
                                                "\"bufferView\":" + std::to_string(values) + "}}");
        CRecordingModel model;
        ASSERT_EQ(Read(model, gltf.Json(OneMesh(positions, ""))), 1);
        ExpectCorners(model, triangle);
    }
    {
        SCOPED_TRACE("quantized: normalized shorts, padded to 8 bytes");
        CGltfBuilder gltf;
        const int view = gltf.View(std::vector<int16_t>{0, 0, 0, 0, 32767, 0, 0, 0, -32767, -32767, 0, 0}, 8);
        const int positions = gltf.Accessor(view, kShort, 3, "VEC3", ",\"normalized\":true");
        CRecordingModel model;
        ASSERT_EQ(Read(model, gltf.Json("\"extensionsUsed\":[\"KHR_mesh_quantization\"],"
                                        "\"extensionsRequired\":[\"KHR_mesh_quantization\"]," +
                                        OneMesh(positions, ""))),
                  1);
        ExpectCorners(model, {0, 0, 0, 1, 0, 0, -1, -1, 0});
    }
}

TEST(GltfReader, NodesPlaceTheirMeshes)
{
    CGltfBuilder gltf;
    const int positions = gltf.Positions({0, 0, 0, 1, 0, 0, 0, 1, 0});
    const std::string mesh = "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":" +
                             std::to_string(positions) + "}}]}]";
    // A; B turned a quarter about Z, scaled 2 and moved 5 along X; C mirrored
    // in X under a parent whose matrix moves it 7 along Z.
    const std::string nodes =
        ",\"nodes\":[{\"name\":\"A\",\"mesh\":0},"
        "{\"name\":\"B\",\"mesh\":0,\"translation\":[5,0,0],\"rotation\":[0,0,0.70710678,0.70710678],"
        "\"scale\":[2,2,2]},"
        "{\"name\":\"P\",\"matrix\":[1,0,0,0,0,1,0,0,0,0,1,0,0,0,7,1],\"children\":[3]},"
        "{\"name\":\"C\",\"mesh\":0,\"scale\":[-1,1,1]}]";
    const std::vector<float> a = {0, 0, 0, 1, 0, 0, 0, 1, 0}, b = {5, 0, 0, 5, 2, 0, 3, 0, 0};
    // The mirror turns C's winding around to keep its front.
    const std::vector<float> c = {0, 0, 7, 0, 1, 7, -1, 0, 7};
    auto join = [](std::vector<float> x, const std::vector<float>& y) {
        x.insert(x.end(), y.begin(), y.end());
        return x;
    };
    {
        SCOPED_TRACE("every root without a scene");
        CRecordingModel model;
        ASSERT_EQ(Read(model, gltf.Json(mesh + nodes)), 1);
        EXPECT_EQ(testfiles::GroupNames(model), (std::vector<std::string>{"A", "B", "C"}));
        ExpectCorners(model, join(join(a, b), c));
        EXPECT_TRUE(FrontsFaceUp(model));
    }
    {
        SCOPED_TRACE("the default scene only");
        CRecordingModel model;
        ASSERT_EQ(Read(model, gltf.Json(mesh + nodes + ",\"scene\":1,\"scenes\":[{\"nodes\":[0]},{\"nodes\":[2,1]}]")),
                  1);
        EXPECT_EQ(testfiles::GroupNames(model), (std::vector<std::string>{"C", "B"}));
    }
    {
        SCOPED_TRACE("a node that is its own child is placed once");
        CRecordingModel model;
        ASSERT_EQ(Read(model, gltf.Json(mesh + ",\"nodes\":[{\"name\":\"L\",\"mesh\":0,\"children\":[0]}],"
                                               "\"scene\":0,\"scenes\":[{\"nodes\":[0]}]")),
                  1);
        EXPECT_EQ(model.GetPolygonCount(), 1);
    }
    {
        // The second instance moved 10 along X, turned a quarter about Z
        // (as normalized shorts) and scaled 2; both then moved by the node.
        SCOPED_TRACE("instances of EXT_mesh_gpu_instancing");
        CGltfBuilder placed = gltf;
        const int t = placed.Positions({0, 0, 0, 10, 0, 0});
        const int r = placed.Accessor(placed.View(std::vector<int16_t>{0, 0, 0, 32767, 0, 0, 23170, 23170}), kShort,
                                      2, "VEC4", ",\"normalized\":true");
        const int s = placed.Positions({1, 1, 1, 2, 2, 2});
        const int one = placed.Positions({1, 1, 1});
        auto instanced = [&](int scales) {
            return mesh + ",\"extensionsRequired\":[\"EXT_mesh_gpu_instancing\"],\"nodes\":[{\"name\":\"I\","
                   "\"mesh\":0,\"translation\":[0,0,3],\"extensions\":{\"EXT_mesh_gpu_instancing\":{"
                   "\"attributes\":{\"TRANSLATION\":" + std::to_string(t) + ",\"ROTATION\":" + std::to_string(r) +
                   ",\"SCALE\":" + std::to_string(scales) + "}}}}]";
        };
        CRecordingModel model;
        ASSERT_EQ(Read(model, placed.Json(instanced(s))), 1);
        EXPECT_EQ(testfiles::GroupNames(model), std::vector<std::string>{"I"});  // the node's group holds both
        ExpectCorners(model, join(a, {10, 0, 0, 10, 2, 0, 8, 0, 0}));
        CRecordingModel uneven;
        ASSERT_EQ(Read(uneven, placed.Json(instanced(one))), 0);
        EXPECT_NE(uneven.errors.front().find("different counts"), std::string::npos) << uneven.errors.front();
        // Zeros from no buffer at all, more than the buffers' bytes could place.
        const int zeros = placed.Accessor(-1, kFloat, 100, "VEC3");
        CRecordingModel many;
        ASSERT_EQ(Read(many, placed.Json(mesh + ",\"nodes\":[{\"mesh\":0,\"extensions\":{\"EXT_mesh_gpu_instancing\":"
                                                "{\"attributes\":{\"SCALE\":" + std::to_string(zeros) + "}}}}]")),
                  0);
        EXPECT_NE(many.errors.front().find("more instances"), std::string::npos) << many.errors.front();
    }
    {
        // Corner 0 follows joint J0 (moved 10 along X), corner 1 joint J1
        // (its inverse bind matrix 1 back along Y, then moved 5 along X and
        // turned a quarter about Z by a parent outside the scene), corner 2
        // half of each after the morph target lifts it 1 (2 at weight 0.5).
        // The skinned node's own scale must not count.
        SCOPED_TRACE("skins and morph targets");
        CGltfBuilder posed = gltf;
        const int lift = posed.Positions({0, 0, 0, 0, 0, 0, 0, 0, 2});
        const int joints = posed.Accessor(posed.View(std::vector<uint8_t>{0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0}),
                                          kUByte, 3, "VEC4");
        const int weights =
            posed.Accessor(posed.View(std::vector<float>{1, 0, 0, 0, 1, 0, 0, 0, 0.5f, 0.5f, 0, 0}), kFloat, 3, "VEC4");
        const int inverse = posed.Accessor(
            posed.View(std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1,  //
                                          1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1}),
            kFloat, 2, "MAT4");
        auto skinned = [&](const std::string& skinJoints) {
            return "\"meshes\":[{\"weights\":[0.5],\"primitives\":[{\"attributes\":{\"POSITION\":" +
                   std::to_string(positions) + ",\"JOINTS_0\":" + std::to_string(joints) +
                   ",\"WEIGHTS_0\":" + std::to_string(weights) + "},\"targets\":[{\"POSITION\":" +
                   std::to_string(lift) + "}]}]}],\"skins\":[{\"joints\":" + skinJoints +
                   ",\"inverseBindMatrices\":" + std::to_string(inverse) +
                   "}],\"nodes\":[{\"name\":\"S\",\"mesh\":0,\"skin\":0,\"scale\":[3,3,3]},"
                   "{\"name\":\"J0\",\"translation\":[10,0,0]},{\"name\":\"Out\",\"children\":[3],"
                   "\"rotation\":[0,0,0.70710678,0.70710678]},{\"name\":\"J1\",\"translation\":[5,0,0]}],"
                   "\"scene\":0,\"scenes\":[{\"nodes\":[0,1]}]";
        };
        CRecordingModel model;
        ASSERT_EQ(Read(model, posed.Json(skinned("[1,3]"))), 1);
        ExpectCorners(model, {0, 0, 0, -9, 6, 0, -5, 3, 1});
        CRecordingModel unbound;
        ASSERT_EQ(Read(unbound, posed.Json(skinned("[1]"))), 0);  // corner 1's joint is missing
        EXPECT_NE(unbound.errors.front().find("bound to joint 1 of 1"), std::string::npos) << unbound.errors.front();

        // Weights that do not add up to one count by their share; a corner
        // bound to nothing stays; a joint that mirrors most corners turns
        // the face around to keep its front.
        const int loose = posed.Accessor(
            posed.View(std::vector<float>{2, 0, 0, 0, 0, 0, 0, 0, 0.25f, 0, 0, 0}), kFloat, 3, "VEC4");
        CRecordingModel mirrored;
        ASSERT_EQ(Read(mirrored,
                       posed.Json("\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":" +
                                  std::to_string(positions) + ",\"JOINTS_0\":" + std::to_string(joints) +
                                  ",\"WEIGHTS_0\":" + std::to_string(loose) +
                                  "}}]}],\"skins\":[{\"joints\":[1]}],\"nodes\":[{\"mesh\":0,\"skin\":0},"
                                  "{\"translation\":[0,0,4],\"scale\":[-1,1,1]}],\"scene\":0,"
                                  "\"scenes\":[{\"nodes\":[0,1]}]")),
                  1);
        ExpectCorners(mirrored, {0, 0, 0, 0, 1, 0, 1, 0, -4});  // from (0, 0, 4)
    }
    {
        SCOPED_TRACE("a later placement merges with the corners of an earlier one");
        CRecordingModel model;
        ASSERT_EQ(Read(model, gltf.Json(mesh + ",\"nodes\":[{\"mesh\":0},{\"mesh\":0,\"rotation\":[0,1,0,0]}]")), 1);
        EXPECT_EQ(model.GetPolygonCount(), 2);
        EXPECT_EQ(model.GetVertexCount(), 4);
    }
}

TEST(GltfReader, GroupsAreNamedAndColouredByMaterial)
{
    CGltfBuilder gltf;
    const int positions = gltf.Positions({0, 0, 0, 1, 0, 0, 0, 1, 0});
    auto primitive = [&](int material) {
        return "{\"attributes\":{\"POSITION\":" + std::to_string(positions) + "}" +
               (material >= 0 ? ",\"material\":" + std::to_string(material) : "") + "}";
    };
    const std::string json = gltf.Json(
        "\"materials\":["
        "{\"pbrMetallicRoughness\":{\"baseColorFactor\":[1,0,0,1],\"metallicFactor\":0,\"roughnessFactor\":0.2}},"
        "{\"name\":\"Slate grey\",\"pbrMetallicRoughness\":{\"baseColorFactor\":[0.214,0.214,0.214,1],\"roughnessFactor\":0}},"
        "{\"alphaMode\":\"BLEND\",\"pbrMetallicRoughness\":{\"baseColorFactor\":[1,1,1,0.4]}},"
        "{\"emissiveFactor\":[1,1,0],\"pbrMetallicRoughness\":{\"metallicFactor\":0}},"
        "{\"name\":\"Plaster\",\"pbrMetallicRoughness\":{\"metallicFactor\":0,\"roughnessFactor\":1}},"
        "{\"extensions\":{\"KHR_materials_transmission\":{\"transmissionFactor\":0.9}},"
        "\"pbrMetallicRoughness\":{\"metallicFactor\":0,\"roughnessFactor\":0}},"
        "{\"extensions\":{\"KHR_materials_pbrSpecularGlossiness\":{\"diffuseFactor\":[1,0,0,1],"
        "\"glossinessFactor\":0.1}}}],"
        "\"meshes\":[{\"primitives\":[" + primitive(0) + "," + primitive(1) + "]},"
        "{\"name\":\"Roof\",\"primitives\":[" + primitive(2) + "]},{\"primitives\":[" + primitive(3) + "]},"
        "{\"primitives\":[" + primitive(-1) + "]},{\"primitives\":[" + primitive(4) + "]},"
        "{\"primitives\":[" + primitive(5) + "]},{\"primitives\":[" + primitive(6) + "]}],"
        "\"nodes\":[{\"name\":\"Wall\",\"mesh\":0},{\"name\":\"Wall\",\"mesh\":4},{\"mesh\":1},"
        "{\"name\":\"two words\",\"mesh\":2},{\"mesh\":3},{\"name\":\"Pane\",\"mesh\":5},"
        "{\"name\":\"Old\",\"mesh\":6}]");
    CRecordingModel model;
    ASSERT_EQ(Read(model, json), 1);
    // A mesh's primitives are told apart by their materials' names where
    // they have them; a mesh of one primitive takes no material's name.
    ASSERT_EQ(testfiles::GroupNames(model),
              (std::vector<std::string>{"Wall", "Wall_Slate_grey", "Wall_2", "Roof", "two_words", "Mesh3", "Pane",
                                        "Old"}));
    // 0.214 is about 0.5 on the sRGB curve of the colour table.
    ASSERT_NE(NearestColor(0.5f, 0.5f, 0.5f), NearestColor(0.214f, 0.214f, 0.214f));
    const struct
    {
        int color;
        const char* finish;
    } expected[] = {
        {NearestColor(1, 0, 0), "Shiny"},    {NearestColor(0.5f, 0.5f, 0.5f), "Mirror"},
        {NearestColor(1, 1, 1), "Dull"},     {NearestColor(1, 1, 1), "GlassFinish"},
        {NearestColor(1, 1, 1), "Luminous"}, {NearestColor(1, 1, 1), "Metal"},  // glTF's default material
        {NearestColor(1, 1, 1), "GlassFinish"},  // light passes through
        {NearestColor(1, 0, 0), "Dull"},         // diffuse and glossiness
    };
    for (int g = 0; g < 8; ++g) {
        SCOPED_TRACE(model.GetGroup(g)->name);
        EXPECT_EQ(model.GetGroup(g)->colorIndex, expected[g].color);
        EXPECT_EQ(model.GetGroup(g)->textureIndex, FindTexture(expected[g].finish));
    }
    {
        // Corner colours tint the base colour: a red and a blue triangle in
        // one primitive become a group each; a yellow material tinted
        // magenta is one red group.
        SCOPED_TRACE("corner colours");
        CGltfBuilder painted;
        const int two = painted.Positions({0, 0, 0, 1, 0, 0, 0, 1, 0, 5, 0, 0, 6, 0, 0, 5, 1, 0});
        const int bytes = painted.Accessor(painted.View(std::vector<uint8_t>{255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0,
                                                                             255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0,
                                                                             255, 255}),
                                           kUByte, 6, "VEC4", ",\"normalized\":true");
        const int one = painted.Positions({0, 0, 9, 1, 0, 9, 0, 1, 9});
        const int magenta = painted.Positions({1, 0, 1, 1, 0, 1, 1, 0, 1});
        const std::string json = painted.Json(
            "\"materials\":[{\"pbrMetallicRoughness\":{\"baseColorFactor\":[1,1,0,1]}}],"
            "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":" + std::to_string(two) +
            ",\"COLOR_0\":" + std::to_string(bytes) + "}},{\"attributes\":{\"POSITION\":" + std::to_string(one) +
            ",\"COLOR_0\":" + std::to_string(magenta) + "},\"material\":0}]}],"
            "\"nodes\":[{\"name\":\"Paint\",\"mesh\":0}]");
        CRecordingModel tinted;
        ASSERT_EQ(Read(tinted, json), 1);
        ASSERT_EQ(testfiles::GroupNames(tinted), (std::vector<std::string>{"Paint_Red", "Paint_Blue", "Paint"}));
        for (int g = 0; g < 3; ++g)
            EXPECT_EQ(tinted.GetGroup(g)->colorIndex, NearestColor(g == 1 ? 0 : 1, 0, g == 1 ? 1 : 0));
        // A strip's second triangle (corners 1, 3, 2) mixes red and blue;
        // colours for fewer points than the primitive has are damage.
        const int strip = painted.Positions({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0});
        const int mixed = painted.Positions({1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1});
        auto stripOf = [&](int colors) {
            return painted.Json("\"meshes\":[{\"primitives\":[{\"mode\":5,\"attributes\":{\"POSITION\":" +
                                std::to_string(strip) + ",\"COLOR_0\":" + std::to_string(colors) +
                                "}}]}],\"nodes\":[{\"name\":\"S\",\"mesh\":0}]");
        };
        CRecordingModel stripped, cutShort;
        ASSERT_EQ(Read(stripped, stripOf(mixed)), 1);
        ASSERT_EQ(stripped.GetGroupCount(), 2);
        EXPECT_EQ(stripped.GetGroup(0)->name, "S_Red");
        EXPECT_EQ(stripped.GetGroup(1)->polygons.GetCount(), 1);
        ASSERT_EQ(Read(cutShort, stripOf(magenta)), 0);
        EXPECT_NE(cutShort.errors.front().find("colours 3 of its 4 points"), std::string::npos)
            << cutShort.errors.front();
    }
}

TEST(GltfReader, BuffersBesideTheModelAndBinaryContainer)
{
    CGltfBuilder gltf;
    const int positions = gltf.Positions({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});
    const int indices = gltf.Accessor(gltf.View(std::vector<uint16_t>{0, 1, 2, 0, 2, 3}), kUShort, 6, "SCALAR");
    const std::string rest = OneMesh(positions, ",\"indices\":" + std::to_string(indices));
    const fs::path dir = fs::temp_directory_path() / ("gltf-reader-" + std::to_string(::getpid()));
    fs::create_directories(dir / "sub");
    std::string external = gltf.Json(rest, false);
    external.insert(external.find("\"byteLength\""), "\"uri\":\"sub/quad%20data.bin\",");
    testfiles::WriteAll(dir / "model.gltf", external);
    testfiles::WriteAll(dir / "sub" / "quad data.bin", gltf.Bin());
    testfiles::WriteAll(dir / "model.glb", gltf.Glb(rest));
    for (const char* name : {"model.gltf", "model.glb"}) {
        SCOPED_TRACE(name);
        CRecordingModel model;
        ASSERT_EQ(ReadGltf(model, (dir / name).c_str()), 1) << (model.errors.empty() ? "" : model.errors[0]);
        ExpectCorners(model, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0, 1, 0});
        // The generic open knows both extensions, the four-letter one too.
        CRecordingModel opened;
        EXPECT_TRUE(OpenByName(opened, (dir / name).string()));
        EXPECT_EQ(opened.GetPolygonCount(), 2);
    }
    fs::remove_all(dir);
}

TEST(GltfReader, DamagedFilesFailWithOneClearMessage)
{
    CGltfBuilder gltf;
    const int positions = gltf.Positions({0, 0, 0, 1, 0, 0, 0, 1, 0});
    const int view = 0;
    const int badIndices = gltf.Accessor(gltf.View(std::vector<uint16_t>{0, 1, 3}), kUShort, 3, "SCALAR");
    const int longer = gltf.Accessor(view, kFloat, 4, "VEC3");
    const int noView = gltf.Accessor(-1, kFloat, 4000000000L, "VEC3");
    const int missingView = gltf.Accessor(7, kFloat, 3, "VEC3");
    const int three = gltf.View(std::vector<uint16_t>{3});
    const int sparseOut = gltf.Accessor(view, kFloat, 3, "VEC3",
                                        ",\"sparse\":{\"count\":1,\"indices\":{\"bufferView\":" +
                                            std::to_string(three) + ",\"componentType\":5123},\"values\":{\"bufferView\":0}}");
    const int scalar = gltf.Accessor(view, kFloat, 9, "SCALAR");
    const std::string good = gltf.Json(OneMesh(positions, ""));
    const std::string glb = gltf.Glb(OneMesh(positions, ""));
    auto with = [&](const std::string& rest) { return gltf.Json(rest); };
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const struct
    {
        const char* what;
        std::string bytes;
        const char* message;  // a part of the one error
    } cases[] = {
        {"index past the points", with(OneMesh(positions, ",\"indices\":" + std::to_string(badIndices))), "vertex 3"},
        {"accessor past its view", with(OneMesh(longer, "")), "past the end of buffer view"},
        {"view past its buffer", replaced("\"byteLength\":36}", "\"byteLength\":3600}"), "past the end of its buffer"},
        {"no view, huge count", with(OneMesh(noView, "")), "more elements"},
        {"missing view", with(OneMesh(missingView, "")), "missing buffer view 7"},
        {"sparse index past the end", with(OneMesh(sparseOut, "")), "element 3"},
        {"positions of the wrong type", with(OneMesh(scalar, "")), "3D positions"},
        {"unknown mode", with(OneMesh(positions, ",\"mode\":9")), "mode 9"},
        {"missing node", with(OneMesh(positions, "") + ",\"scenes\":[{\"nodes\":[5]}],\"scene\":0"), "node 5"},
        {"missing material", with(OneMesh(positions, ",\"material\":4")), "material 4"},
        {"draco", with("\"extensionsRequired\":[\"KHR_draco_mesh_compression\"]," + OneMesh(positions, "")),
         "KHR_draco_mesh_compression"},
        {"coordinates overflow", with(OneMesh(positions, "", "[{\"mesh\":0,\"scale\":[1e300,1,1]}]")), "not finite"},
        {"not JSON", "hello", "Damaged glTF file: it is neither a binary glTF file nor glTF's JSON text"},
        {"JSON cut short", "\xEF\xBB\xBF {\"asset\":\x01", "Damaged glTF file: parse error at line 1, column 14: syntax error"},
        {"empty", "", "Damaged glTF file: it is empty"},
        {"glTF 1.0", "{\"asset\":{\"version\":\"1.0\"}}", "of version 1.0; only glTF 2.0"},
        {"cut-short GLB", glb.substr(0, 40), "Damaged glTF file: it is cut short: 40 bytes of the "},
        {"GLB cut in its header", glb.substr(0, 9), "Damaged glTF file: it is cut short within its header"},
        {"deep nesting", with(OneMesh(positions, "") + ",\"extras\":" + std::string(5000, '[') + std::string(5000, ']')),
         "nests deeper"},
        {"parent folder", replaced("\"uri\":\"", "\"uri\":\"../x.bin\",\"x\":\""), "../x.bin"},
        {"absolute path", replaced("\"uri\":\"", "\"uri\":\"/etc/passwd\",\"x\":\""), "/etc/passwd"},
        {"buffer file not there", replaced("\"uri\":\"", "\"uri\":\"gone%20away.bin\",\"x\":\""),
         "Couldn't find the glTF buffer file gone away.bin in the model's folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CRecordingModel model;
        EXPECT_EQ(Read(model, c.bytes, "."), 0);
        if (!model.errors.empty()) {
            EXPECT_NE(model.errors[0].find(c.message), std::string::npos) << model.errors[0];
            // Neither the JSON library's exception names nor the file's own bytes.
            EXPECT_EQ(model.errors[0].find("json.exception"), std::string::npos) << model.errors[0];
            EXPECT_EQ(model.errors[0].find("last read"), std::string::npos) << model.errors[0];
        }
    }
}
