// Hand-made files for what the sample corpus lacks: hidden objects, material
// order, colour chunks, names and damaged meshes.

#include <bit>
#include <cmath>

#include "Reader3ds.h"
#include "readers/ReaderTestSupport.h"

namespace {

std::string U16(unsigned v)
{
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)};
}

std::string U32(uint32_t v)
{
    return U16(v & 0xFFFF) + U16(v >> 16);
}

std::string Floats(std::initializer_list<float> values)
{
    std::string s;
    for (float f : values)
        s += U32(std::bit_cast<uint32_t>(f));
    return s;
}

std::string Chunk(unsigned id, const std::string& body)
{
    return U16(id) + U32(static_cast<uint32_t>(body.size() + 6)) + body;
}

std::string Text(const std::string& name)
{
    return name + '\0';
}

std::string File(const std::string& editor)
{
    return Chunk(0x4D4D, Chunk(0x0002, U32(3)) + Chunk(0x3D3D, editor) + Chunk(0xB000, ""));
}

std::string Bytes(int r, int g, int b)
{
    return Chunk(0x0011, {static_cast<char>(r), static_cast<char>(g), static_cast<char>(b)});
}

std::string Material(const std::string& name, const std::string& colour)
{
    return Chunk(0xAFFF, Chunk(0xA000, Text(name)) + Chunk(0xA010, Bytes(9, 9, 9)) + Chunk(0xA020, colour));
}

std::string Points(std::initializer_list<float> xyz)
{
    return Chunk(0x4110, U16(static_cast<unsigned>(xyz.size() / 3)) + Floats(xyz));
}

// A unit square as two triangles, the first face in `first`, the second in `second`.
std::string Square(const std::string& first = "", const std::string& second = "", const std::string& extra = "")
{
    std::string faces = U16(2) + U16(0) + U16(1) + U16(2) + U16(0) + U16(0) + U16(2) + U16(3) + U16(0);
    if (!first.empty())
        faces += Chunk(0x4130, Text(first) + U16(1) + U16(0));
    if (!second.empty())
        faces += Chunk(0x4130, Text(second) + U16(1) + U16(1));
    return Chunk(0x4100, Points({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}) + Chunk(0x4120, faces + extra));
}

std::string Object(const std::string& name, const std::string& children)
{
    return Chunk(0x4000, Text(name) + children);
}

std::string Colour(float r, float g, float b)
{
    return ColorTable[NearestColor(r, g, b)].name;
}

// "name colour polygons" for each group.
std::string Groups(const CModel& model)
{
    std::string s;
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        s += (s.empty() ? "" : ", ") + group->name + " " + ColorTable[group->colorIndex].name + " " +
             std::to_string(group->polygons.GetCount());
    }
    return s;
}

struct CCase
{
    const char* what;
    std::string file;
    std::string groups;
    std::vector<std::string> errors;
};

TEST(Reader3ds, HandMadeFiles)
{
    const std::string red = Colour(1, 0, 0);
    const std::string hidden = Chunk(0x4010, "");
    const std::string flagged = U16(0);
    std::string bigPoints = U16(40000);
    for (int i = 0; i < 40000; ++i)
        bigPoints += Floats({static_cast<float>(i), static_cast<float>(i % 97), 0});
    const std::string bigFaces = U16(2) + U16(32768) + U16(65534 % 40000) + U16(39999) + flagged + U16(1) + U16(2) +
                                 U16(65534) + flagged;
    const std::string damaged = "Error: Damaged .3DS chunk at offset ";
    const CCase cases[] = {
        {"a hidden mark counts only after the mesh",
         File(Object("A", Square() + hidden) + Object("B", hidden + Square())), "B " + red + " 2", {}},
        {"materials are known from their definition on, the later of one name winning",
         File(Object("A", Square("m")) + Material("m", Bytes(200, 200, 200)) + Object("B", Square("m")) +
              Material("m", Chunk(0x0010, Floats({0, 0, 1}))) + Object("C", Square("m"))),
         "A " + red + " 2, B " + Colour(0.784f, 0.784f, 0.784f) + " 2, C " + Colour(0, 0, 1) + " 2",
         {}},
        {"face 0 decides; unassigned faces are Default, an undefined material is red",
         File(Material("Default", Bytes(0, 255, 0)) + Object("A", Square("", "x")) + Object("B", Square("x", ""))),
         "A " + Colour(0, 1, 0) + " 2, B " + red + " 2",
         {}},
        {"unknown colour chunks are refused, gamma copies skipped",
         File(Chunk(0x2200, Floats({1, 2, 3, 4}) + Chunk(0x0013, "")) +
              Object("L", Chunk(0x4600, Floats({0, 0, 0}) + Chunk(0x4610, Floats({0, 0, 0, 1, 1})))) +
              Material("u", Chunk(0x0012, "abc")) + Material("g", Bytes(0, 0, 255) + Bytes(255, 0, 0)) +
              Object("U", Square("u")) + Object("G", Square("g"))),
         "U " + Colour(0, 0, 0) + " 2, G " + Colour(0, 0, 1) + " 2",
         {"Error parsing colour", "Error parsing colour", "Error parsing colour"}},
        {"names are cleaned and cut at 79 characters",
         File(Object(" \"Box #1\" \t", Square()) + Object(std::string(100, 'n'), Square()) + Object(" \"\" ", Square())),
         "Box__1 " + red + " 2, " + std::string(79, 'n') + " " + red + " 2,  " + red + " 2",
         {}},
        {"corners of large meshes are unsigned; stray ones drop their triangle",
         File(Object("Big", Chunk(0x4100, Chunk(0x4110, bigPoints) + Chunk(0x4120, bigFaces)))),
         "Big " + red + " 1",
         {"Error: 1 triangles refer to points their mesh does not have and were dropped"}},
        {"damage inside a mesh is reported once per file",
         File(Object("A", Chunk(0x4100, Points({0, 0, 0, 1, 0, 0, 0, 1, 0, NAN, 0, 0}) +
                                            Chunk(0x4120, U16(65535) + U16(0) + U16(1) + U16(2) + flagged + U16(0) +
                                                              U16(1) + U16(3) + flagged + U16(9) + U16(1) + U16(2) +
                                                              flagged))) +
              Object("B", Chunk(0x4100, Points({0, 0, 0, 1, 0, 0, 0, 1, 0}) +
                                            Chunk(0x4120, U16(2) + U16(0) + U16(1) + U16(9) + flagged + U16(0) +
                                                              U16(1) + U16(2) + flagged +
                                                              Chunk(0x4130, Text("m") + U16(2) + U16(1) + U16(7)))))),
         "A " + red + " 1, B " + red + " 1",
         {damaged + "100", "Error: 2 triangles refer to points their mesh does not have and were dropped",
          "Error: 1 triangles with coordinates that are not finite numbers were dropped",
          "Error: 1 material entries name faces their mesh does not have and were ignored"}},
        {"a chunk past its parent ends that walk only; a short chunk ends its walk",
         File(Object("A", Chunk(0x4100, Chunk(0x4110, U16(0)).substr(0, 2) + U32(500) + Square())) +
              Object("B", Square()) + U16(0x4000) + U32(3) + Object("C", Square())),
         "B " + red + " 2",
         {damaged + "36"}},
        {"only the first editor data counts",
         Chunk(0x4D4D, Chunk(0x3D3D, Object("A", Square())) + Chunk(0x3D3D, Object("B", Square()))),
         "A " + red + " 2",
         {}},
    };
    for (const CCase& c : cases) {
        CRecordingModel model;
        EXPECT_EQ(readertest::ReadText(Read3ds, model, c.file), 1) << c.what;
        EXPECT_EQ(Groups(model), c.groups) << c.what;
        EXPECT_EQ(model.errors, c.errors) << c.what;
        EXPECT_EQ(model.status.back(), "File Read Finished") << c.what;
    }
}

TEST(Reader3ds, PointsWithoutFacesLeaveNoGroup)
{
    CRecordingModel model;
    readertest::ReadText(Read3ds, model, File(Object("P", Chunk(0x4100, Points({0, 0, 0, 1, 1, 1})))));
    EXPECT_EQ(model.GetGroupCount(), 0);
    EXPECT_TRUE(model.HasStatus("Processing Group 'P'"));
    EXPECT_TRUE(model.errors.empty());
}

}  // namespace
