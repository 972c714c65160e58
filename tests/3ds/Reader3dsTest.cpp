// Hand-made files for what the sample corpus lacks: hidden objects, material
// order, colour chunks, names and damaged meshes.

#include <bit>
#include <cmath>

#include "Reader3ds.h"
#include "readers/ReaderTestSupport.h"

namespace {

// Little-endian numbers: 16-bit ones, or 32-bit ones with `wide`.
std::string Le(std::initializer_list<uint32_t> values, bool wide = false)
{
    std::string s;
    for (uint32_t v : values)
        for (int i = 0; i < (wide ? 4 : 2); ++i)
            s += static_cast<char>(v >> 8 * i & 0xFF);
    return s;
}

std::string Floats(std::initializer_list<float> values)
{
    std::string s;
    for (float f : values)
        s += Le({std::bit_cast<uint32_t>(f)}, true);
    return s;
}

std::string Chunk(unsigned id, const std::string& body)
{
    return Le({id}) + Le({static_cast<uint32_t>(body.size() + 6)}, true) + body;
}

std::string File(const std::string& editor)
{
    return Chunk(0x4D4D, Chunk(0x0002, Le({3}, true)) + Chunk(0x3D3D, editor) + Chunk(0xB000, ""));
}

std::string Bytes(int r, int g, int b)
{
    return Chunk(0x0011, {static_cast<char>(r), static_cast<char>(g), static_cast<char>(b)});
}

std::string Material(const std::string& name, const std::string& colour)
{
    return Chunk(0xAFFF, Chunk(0xA000, name + '\0') + Chunk(0xA010, Bytes(9, 9, 9)) + Chunk(0xA020, colour));
}

// A mesh of the given points and faces (corner triples) and material groups.
std::string Mesh(std::initializer_list<float> xyz, std::vector<uint32_t> corners, const std::string& groups = "",
                 unsigned faceCount = 0)
{
    std::string faces = Le({faceCount ? faceCount : static_cast<uint32_t>(corners.size() / 3)});
    for (size_t i = 0; i + 2 < corners.size(); i += 3)
        faces += Le({corners[i], corners[i + 1], corners[i + 2], 0});
    return Chunk(0x4100, Chunk(0x4110, Le({static_cast<uint32_t>(xyz.size() / 3)}) + Floats(xyz)) +
                             Chunk(0x4120, faces + groups));
}

std::string Group(const std::string& material, std::initializer_list<uint32_t> faces)
{
    return Chunk(0x4130, material + '\0' + Le({static_cast<uint32_t>(faces.size())}) + Le(faces));
}

// A unit square as two triangles, the first face in material `first`, the second in `second`.
std::string Square(const std::string& first = "", const std::string& second = "")
{
    return Mesh({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 1, 2, 0, 2, 3},
                (first.empty() ? "" : Group(first, {0})) + (second.empty() ? "" : Group(second, {1})));
}

std::string Object(const std::string& name, const std::string& children)
{
    return Chunk(0x4000, name + '\0' + children);
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

TEST(Reader3ds, HandMadeFiles)
{
    const std::string red = Colour(1, 0, 0), hidden = Chunk(0x4010, ""), damaged = "Error: Damaged .3DS chunk at offset ";
    std::string bigPoints = Le({40000});
    for (int i = 0; i < 40000; ++i)
        bigPoints += Floats({static_cast<float>(i), static_cast<float>(i % 97), 0});
    const struct
    {
        const char* what;
        std::string file, groups;
        std::vector<std::string> errors;
    } cases[] = {
        {"a hidden mark counts only after the mesh",
         File(Object("A", Square() + hidden) + Object("B", hidden + Square())), "B " + red + " 2", {}},
        {"materials are known from their definition on, the later of one name winning",
         File(Object("A", Square("m")) + Material("m", Bytes(200, 200, 200)) + Object("B", Square("m")) +
              Material("m", Chunk(0x0010, Floats({0, 0, 1}))) + Object("C", Square("m"))),
         "A " + red + " 2, B " + Colour(0.784f, 0.784f, 0.784f) + " 2, C " + Colour(0, 0, 1) + " 2", {}},
        {"face 0 decides; unassigned faces are Default, an undefined material is red",
         File(Material("Default", Bytes(0, 255, 0)) + Object("A", Square("", "x")) + Object("B", Square("x", ""))),
         "A " + Colour(0, 1, 0) + " 2, B " + red + " 2", {}},
        {"unknown colour chunks are refused, gamma copies skipped",
         File(Chunk(0x2200, Floats({1, 2, 3, 4}) + Chunk(0x0013, "")) +
              Object("L", Chunk(0x4600, Floats({0, 0, 0}) + Chunk(0x4610, Floats({0, 0, 0, 1, 1})))) +
              Material("u", Chunk(0x0012, "abc")) + Material("g", Bytes(0, 0, 255) + Bytes(255, 0, 0)) +
              Object("U", Square("u")) + Object("G", Square("g"))),
         "U " + Colour(0, 0, 0) + " 2, G " + Colour(0, 0, 1) + " 2",
         {"Error parsing colour", "Error parsing colour", "Error parsing colour"}},
        {"names are cleaned and cut at 79 characters",
         File(Object(" \"Box #1\" \t", Square()) + Object(std::string(100, 'n'), Square()) + Object(" \"\" ", Square())),
         "Box__1 " + red + " 2, " + std::string(79, 'n') + " " + red + " 2,  " + red + " 2", {}},
        {"corners of large meshes are unsigned; stray ones drop their triangle",
         File(Object("Big", Chunk(0x4100, Chunk(0x4110, bigPoints) +
                                              Chunk(0x4120, Le({2, 32768, 25534, 39999, 0, 1, 2, 65534, 0}))))),
         "Big " + red + " 1", {"Error: Dropped triangles that refer to missing points: 1"}},
        {"damage inside meshes is reported once per file",
         File(Object("A", Mesh({0, 0, 0, 1, 0, 0, 0, 1, 0, NAN, 0, 0}, {0, 1, 2, 0, 1, 3, 9, 1, 2}, "", 65535)) +
              Object("B", Mesh({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 9, 0, 1, 2}, Group("m", {1, 7})))),
         "A " + red + " 1, B " + red + " 1",
         {damaged + "100", "Error: Dropped triangles that refer to missing points: 2",
          "Error: Dropped triangles whose coordinates are not finite: 1",
          "Error: Ignored material entries for missing faces: 1"}},
        {"a chunk past its parent ends that walk only; a short chunk ends its walk",
         File(Object("A", Chunk(0x4100, Le({0x4110, 500, 0}) + Square())) + Object("B", Square()) + Le({0x4000, 3, 0}) +
              Object("C", Square())),
         "B " + red + " 2", {damaged + "36"}},
        {"only the first editor data counts",
         Chunk(0x4D4D, Chunk(0x3D3D, Object("A", Square())) + Chunk(0x3D3D, Object("B", Square()))), "A " + red + " 2",
         {}},
        {"points without faces make a group that is dropped as empty",
         File(Object("P", Chunk(0x4100, Chunk(0x4110, Le({1}) + Floats({1, 1, 1}))))), "", {}},
    };
    for (const auto& c : cases) {
        CRecordingModel model;
        EXPECT_EQ(readertest::ReadText(Read3ds, model, c.file), 1) << c.what;
        EXPECT_EQ(Groups(model), c.groups) << c.what;
        EXPECT_EQ(model.errors, c.errors) << c.what;
        EXPECT_EQ(model.status.back(), "File Read Finished") << c.what;
    }
}

}  // namespace
