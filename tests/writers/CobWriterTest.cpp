#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "MeshSamples.h"
#include "TestFiles.h"
#include "Writers.h"

using testfiles::ExpectGolden;
using testfiles::WriteToString;

namespace {

std::string Cob(CModel& model, double scale)
{
    return WriteToString(WriteCob, model, scale);
}

// Little-endian reads, independent of the host.
uint32_t U16At(const std::string& b, size_t at)
{
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}

uint32_t U32At(const std::string& b, size_t at)
{
    return U16At(b, at) | U16At(b, at + 2) << 16;
}

float F32At(const std::string& b, size_t at)
{
    uint32_t bits = U32At(b, at);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

struct CChunk
{
    std::string type;
    uint32_t major, minor, id, parent, size;
    std::string data;
};

// Splits a file into its chunks; fails the test when the chain does not end
// exactly with the END chunk at the end of the file.
std::vector<CChunk> Chunks(const std::string& file)
{
    std::vector<CChunk> chunks;
    size_t at = 32;
    while (at + 20 <= file.size()) {
        CChunk c{file.substr(at, 4), U16At(file, at + 4), U16At(file, at + 6), U32At(file, at + 8),
                 U32At(file, at + 12), U32At(file, at + 16), {}};
        at += 20;
        if (c.size > file.size() - at) {
            ADD_FAILURE() << c.type << " " << c.id << " runs past the end of the file";
            return chunks;
        }
        c.data = file.substr(at, c.size);
        at += c.size;
        chunks.push_back(c);
        if (c.type == "END ")
            break;
    }
    EXPECT_EQ(file.size(), at) << "bytes after the END chunk or a cut chain";
    return chunks;
}

// "type id parent size" for each chunk, to compare the chain at a glance.
std::vector<std::string> Chain(const std::vector<CChunk>& chunks)
{
    std::vector<std::string> chain;
    for (const CChunk& c : chunks)
        chain.push_back(c.type + " " + std::to_string(c.major) + "." + std::to_string(c.minor) + " " +
                        std::to_string(c.id) + " " + std::to_string(c.parent) + " " + std::to_string(c.size));
    return chain;
}

// The name record at the start of a node's data.
std::string NameOf(const CChunk& c)
{
    EXPECT_EQ(0u, U16At(c.data, 0)) << "duplicate count";
    return c.data.substr(4, U16At(c.data, 2));
}

// The decoded body of a polygon object after its name, axes and position.
struct CPolyObject
{
    std::vector<float> coordinates;
    std::vector<std::vector<int32_t>> faces;
    size_t bytes = 0;  // bytes read, to compare with the chunk size
};

CPolyObject Decode(const CChunk& c)
{
    CPolyObject p;
    size_t at = 4 + U16At(c.data, 2);
    const float axes[24] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    for (float expected : axes) {
        EXPECT_EQ(expected, F32At(c.data, at));
        at += 4;
    }
    const uint32_t vertices = U32At(c.data, at);
    at += 4;
    for (uint32_t i = 0; i < 3 * vertices; ++i, at += 4)
        p.coordinates.push_back(F32At(c.data, at));
    EXPECT_EQ(0u, U32At(c.data, at)) << "texture vertices";
    const uint32_t faces = U32At(c.data, at + 4);
    at += 8;
    for (uint32_t f = 0; f < faces && at < c.data.size(); ++f) {
        EXPECT_EQ(0, c.data[at]) << "flags";
        const uint32_t corners = U16At(c.data, at + 1);
        EXPECT_EQ(0u, U16At(c.data, at + 3)) << "material";
        at += 5;
        std::vector<int32_t> face;
        for (uint32_t k = 0; k < corners; ++k, at += 8) {
            face.push_back(static_cast<int32_t>(U32At(c.data, at)));
            EXPECT_EQ(0u, U32At(c.data, at + 4)) << "texture vertex";
        }
        p.faces.push_back(face);
    }
    p.bytes = at;
    return p;
}

// assimp builds meshes only for polygon objects that carry texture vertices
// (it drops the others and then fails for want of a mesh), while our objects
// carry none. To let it check everything else, this gives every polygon
// object one texture vertex (0, 0), to which our faces' texture indices 0
// already point.
std::string WithOneTextureVertex(const std::string& file)
{
    std::string out = file.substr(0, 32);
    for (CChunk c : Chunks(file)) {
        if (c.type == "PolH") {
            const size_t at = 4 + U16At(c.data, 2) + 96;
            const size_t counts = at + 4 + 12 * static_cast<size_t>(U32At(c.data, at));
            c.data.replace(counts, 4, std::string("\1\0\0\0", 4) + std::string(8, '\0'));
            c.size += 8;
        }
        std::string header = c.type;
        for (uint32_t v : {c.major | c.minor << 16, c.id, c.parent, c.size})
            for (int i = 0; i < 4; ++i)
                header += static_cast<char>(v >> (8 * i));
        out += header + c.data;
    }
    return out;
}

}  // namespace

TEST(CobWriterGolden, Tetrahedron)
{
    CModel model;
    samples::Tetrahedron(model);
    ExpectGolden("cob_tetrahedron.cob", Cob(model, 1.0));
}

TEST(CobWriterGolden, Assembly)
{
    CModel model;
    samples::Assembly(model);
    ExpectGolden("cob_assembly.cob", Cob(model, 2.0));
}

TEST(CobWriterGolden, Parts)
{
    CModel model;
    meshsamples::Parts(model);
    ExpectGolden("cob_parts.cob", Cob(model, 1.0));
}

TEST(CobWriter, HeaderAndChunkChainOfOneGroup)
{
    CModel model;
    samples::Tetrahedron(model);
    model.GetGroup(0)->name = "Cube";
    const std::string file = Cob(model, 1.0);
    ASSERT_GE(file.size(), 32u);
    EXPECT_EQ(std::string("Caligari V00.01BLH") + std::string(13, ' ') + "\n", file.substr(0, 32));

    // PolH: name 8, axes and position 96, 4 + 4 vertices * 12, 4 + 4,
    // 4 faces * (5 + 3 * 8).
    const std::vector<CChunk> chunks = Chunks(file);
    const std::vector<std::string> expected = {"Grou 0.1 1 0 106",           "Grou 0.1 100000 1 104",
                                               "PolH 0.2 101000 100000 280", "Mat1 0.5 101010 101000 37",
                                               "END  1.0 0 0 0"};
    EXPECT_EQ(expected, Chain(chunks));
    ASSERT_EQ(5u, chunks.size());
    EXPECT_EQ("Object", NameOf(chunks[0]));
    EXPECT_EQ("Cube", NameOf(chunks[1]));
    EXPECT_EQ("Cube", NameOf(chunks[2]));
    const CPolyObject poly = Decode(chunks[2]);
    EXPECT_EQ(chunks[2].size, poly.bytes);
    EXPECT_EQ(4u, poly.faces.size());

    const std::string& mat = chunks[3].data;
    EXPECT_EQ(0u, U16At(mat, 0));
    EXPECT_EQ("pa\x14", mat.substr(2, 3));
    const float material[8] = {1, 0, 0, 1, 0.1f, 0.1f, 0, 1};  // Red, opacity, then the fixed terms
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(material[i], F32At(mat, 5 + 4 * i)) << i;
}

TEST(CobWriter, IdsFollowGroupPositionsAndSkipIgnoredGroups)
{
    CModel model;
    meshsamples::Parts(model);
    const std::vector<CChunk> chunks = Chunks(Cob(model, 1.0));
    const std::vector<std::string> expected = {
        "Grou 0.1 1 0 106",          "Grou 0.1 100000 1 105",        "PolH 0.2 101000 100000 182",
        "Mat1 0.5 101010 101000 37", "Grou 0.1 300000 1 110",        "PolH 0.2 303000 300000 228",
        "Mat1 0.5 303010 303000 37", "Grou 0.1 400000 1 106",        "PolH 0.2 404000 400000 118",
        "Mat1 0.5 404010 404000 37", "Grou 0.1 500000 1 104",        "PolH 0.2 505000 500000 181",
        "Mat1 0.5 505010 505000 37", "END  1.0 0 0 0"};
    EXPECT_EQ(expected, Chain(chunks));
    ASSERT_EQ(expected.size(), chunks.size());
    EXPECT_EQ("LeftFro002", NameOf(chunks[4]));
    EXPECT_EQ("LeftFro002", NameOf(chunks[5]));
    // Every polygon object's size is exactly what its decoder reads.
    for (const CChunk& c : chunks) {
        if (c.type == "PolH") {
            EXPECT_EQ(c.size, Decode(c).bytes) << c.id;
        }
    }
}

TEST(CobWriter, CornersAreTripledWhateverTheScale)
{
    CModel model;
    meshsamples::Parts(model);
    const std::string one = Cob(model, 1.0);
    EXPECT_EQ(one, Cob(model, 2.0));
    EXPECT_EQ(one, Cob(model, 0.25));

    const std::vector<CChunk> chunks = Chunks(one);
    ASSERT_GE(chunks.size(), 6u);
    // LeftFrontWheel: the quad A (1,0,0) B (1,0,1) C (1,1,1) D (1,1,0) as
    // two triangles over four merged corners, numbered C, B, A, D as the
    // working model adds them.
    const CPolyObject quad = Decode(chunks[5]);
    const std::vector<float> corners = {3, 3, 3, 3, 0, 3, 3, 0, 0, 3, 3, 0};
    EXPECT_EQ(corners, quad.coordinates);
    const std::vector<std::vector<int32_t>> faces = {{2, 1, 0}, {2, 0, 3}};
    EXPECT_EQ(faces, quad.faces);
    // Sliver: nothing drawable is left.
    const CPolyObject sliver = Decode(chunks[8]);
    EXPECT_TRUE(sliver.coordinates.empty());
    EXPECT_TRUE(sliver.faces.empty());
}

TEST(CobWriter, NoWrittenGroupGivesTheObjectAndEnd)
{
    CModel model;
    samples::Tetrahedron(model);
    model.GetGroup(0)->active = 0;
    const std::vector<std::string> expected = {"Grou 0.1 1 0 106", "END  1.0 0 0 0"};
    EXPECT_EQ(expected, Chain(Chunks(Cob(model, 1.0))));
}

TEST(CobConsumers, AssimpReadsTheTrianglesWeWrote)
{
    TRIVEX_REQUIRE_TOOL("assimp");
    struct Case {
        void (*build)(CModel&);
        long meshes, triangles;
    };
    for (const Case& c : {Case{samples::Tetrahedron, 1, 4}, Case{samples::Assembly, 2, 14},
                          Case{meshsamples::Parts, 3, 4}}) {
        CModel model;
        c.build(model);
        meshsamples::CAssimpInfo info = meshsamples::AssimpInfo(WithOneTextureVertex(Cob(model, 1.0)), "consumer.cob");
        EXPECT_EQ(0, info.exitCode) << info.output;
        EXPECT_EQ(c.meshes, info.meshes) << info.output;
        EXPECT_EQ(c.triangles, info.faces) << info.output;
    }
}
