// Hand-made files for what the sample corpus lacks: hidden objects, material
// order, colour chunks, names, damaged meshes, and keyframers that turn,
// scale, mirror, nest and break.

#include <bit>
#include <cmath>
#include <filesystem>

#include "Lib3dsOracle.h"
#include "Reader3ds.h"
#include "readers/ReaderTestSupport.h"

namespace fs = std::filesystem;

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

std::string Floats(const std::vector<float>& values)
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


// A track with one key of `values` at frame 0 and a spline setting for each
// bit of `spline`.
std::string Track(unsigned id, const std::vector<float>& values, unsigned spline = 0)
{
    std::string settings;
    for (int bit = 0; bit < 5; ++bit)
        settings += spline & 1u << bit ? Floats({0.25f}) : "";
    return Chunk(id, Le({0}) + Le({0, 0, 1, 0}, true) + Le({spline}) + settings + Floats(values));
}

struct CKeys
{
    std::vector<float> position{0, 0, 0}, rotation{0, 0, 0, 0}, scale{1, 1, 1}, pivot{0, 0, 0};
    unsigned spline = 0;  // on the rotation key
};

// An object node; `id` < 0 leaves out its id chunk.
std::string Node(int id, const std::string& name, unsigned parent, const std::string& instance = "", const CKeys& k = {})
{
    return Chunk(0xB002, (id >= 0 ? Chunk(0xB030, Le({static_cast<uint32_t>(id)})) : "") +
                             Chunk(0xB010, name + '\0' + Le({0x4000, 0, parent})) +
                             (instance.empty() ? "" : Chunk(0xB011, instance + '\0')) + Chunk(0xB013, Floats(k.pivot)) +
                             Track(0xB020, k.position) + Track(0xB021, k.rotation, k.spline) + Track(0xB022, k.scale));
}

std::string Scene(const std::string& editor, const std::string& keyframer)
{
    return Chunk(0x4D4D, Chunk(0x3D3D, editor) + Chunk(0xB000, keyframer));
}

// A tetrahedron, which no turn maps onto itself, stored through `frame` (axes
// and origin) as the modeller stores meshes: in world coordinates.
std::string Tetra(const std::string& name, const std::vector<float>& frame = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0})
{
    const float local[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 2, 0}, {0, 0, 3}};
    std::string points = Le({4});
    for (const auto& p : local)
        for (int r = 0; r < 3; ++r)
            points += Floats({frame[r] * p[0] + frame[3 + r] * p[1] + frame[6 + r] * p[2] + frame[9 + r]});
    const std::string faces = Le({4, 0, 2, 1, 0, 0, 1, 3, 0, 0, 3, 2, 0, 1, 2, 3, 0});
    return Object(name, Chunk(0x4100, Chunk(0x4110, points) + Chunk(0x4120, faces) + Chunk(0x4160, Floats(frame))));
}

constexpr unsigned kTop = 0xFFFF;

// Keyframers that place meshes: the groups they make, and lib3ds's placement
// of the same file.
TEST(Reader3ds, KeyframerPlacesAsLib3ds)
{
    const std::vector<float> moved = {1, 0, 0, 0, 1, 0, 0, 0, 1, 5, 0, 0}, mirrored = {-1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    const CKeys at5{.position = {5, 0, 0}}, dummy{.position = {10, 0, 0}, .rotation = {1, 0, 1, 0}, .scale = {2, 2, 2}},
        turned{.position = {1, 2, 3}, .rotation = {0.7f, 1, 2, 3}, .scale = {2, 1, 0.5f}, .pivot = {0.5f, 0.25f, 0}},
        across{.position = {-4, 0, 1}, .rotation = {2.5f, 0, 0, 1}, .spline = 0x19},
        chained{.position = {5, 0, 0}, .rotation = {-0.4f, 1, 1, 0}}, flipped{.scale = {-1, 1, 1}};
    const struct
    {
        const char* what;
        std::string file;
        std::vector<std::string> groups;
        bool lib3dsAgrees = true;
    } cases[] = {
        {"instances turn, scale and move about their pivot; their names are made unique",
         Scene(Tetra("T", moved) + Tetra("T_a"),
               Node(0, "T", kTop, "", at5) + Node(1, "T", kTop, "a", turned) + Node(2, "T", kTop, "b", across)),
         {"T", "T_a", "T_a_2", "T_b"}},
        {"dummies above a mesh move its own group; a child may come before its parent",
         Scene(Tetra("T", moved) + Tetra("U"),
               Node(2, "T", 1, "", chained) + Node(0, "$$$DUMMY", kTop, "D1", dummy) + Node(1, "$$$DUMMY", 0, "D2", turned)),
         {"T", "U"}},
        {"nodes without ids are numbered in order",
         Scene(Tetra("T", moved), Node(-1, "$$$DUMMY", kTop, "D", dummy) + Node(-1, "T", 0, "", at5) +
                                      Node(-1, "T", 0, "copy", turned)),
         {"T", "T_copy"}},
        {"a mirrored frame keeps the stored hand in every copy",
         Scene(Tetra("M", mirrored), Node(0, "$$$DUMMY", kTop, "D", dummy) + Node(1, "M", 0) + Node(2, "M", 0, "i", at5)),
         {"M", "M_i"}},
        // lib3ds mirrors the points of a mesh whose frame mirrors whatever
        // the node does; when the node's keys mirror as well, that mirrors
        // the mesh twice. The editor data shows it unmirrored there, which
        // is what the reader keeps.
        {"a mirrored frame whose node mirrors too",
         Scene(Tetra("M", mirrored), Node(0, "$$$DUMMY", kTop, "D") + Node(1, "M", 0, "", flipped)), {"M"}, false},
    };
    const fs::path path = fs::temp_directory_path() / "trivex_keyframer_test.3ds";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CRecordingModel model, editor;
        editor.m_place3dsNodes = 0;
        EXPECT_EQ(readertest::ReadText(Read3ds, model, c.file), 1);
        readertest::ReadText(Read3ds, editor, c.file);
        EXPECT_EQ(testfiles::GroupNames(model), c.groups);
        EXPECT_TRUE(model.errors.empty()) << model.errors.front();
        std::vector<lib3ds::CNode> nodes;
        testfiles::WriteAll(path, c.file);
        if (!lib3ds::Available() || !lib3ds::World(path, nodes))
            continue;
        std::vector<lib3ds::Triangle> theirs;
        for (const lib3ds::CNode& node : nodes)
            theirs.insert(theirs.end(), node.triangles.begin(), node.triangles.end());
        const auto ours = lib3ds::ModelTriangles(model);
        EXPECT_EQ(lib3ds::CompareShapes(ours, theirs) == "", c.lib3dsAgrees) << lib3ds::CompareShapes(ours, theirs);
        if (!c.lib3dsAgrees) {
            EXPECT_EQ(lib3ds::CompareShapes(ours, lib3ds::ModelTriangles(editor)), "");
        }
    }
    fs::remove(path);
    if (!lib3ds::Available())
        GTEST_SKIP() << "lib3ds_world was not built (lib3ds-dev is not installed): groups checked, places not";
}

// Keyframers that cannot be trusted leave the meshes as the editor data has
// them, with one report; instances that would flood memory are cut short.
TEST(Reader3ds, KeyframerRefusedOrCut)
{
    const std::string tetra = Tetra("T"), ignored = ".3DS keyframer ignored: ";
    std::string deep;
    for (unsigned i = 0; i < 20000; ++i)
        deep += Node(static_cast<int>(i), "$$$DUMMY", i == 0 ? kTop : i - 1, "", {.position = {1, 0, 0}});
    deep += Node(20000, "T", 19999) + Node(20001, "T", 19999, "far");
    // 20,000 faces on three points, drawn by 100 nodes: two million
    // triangles from a file of 160 KB.
    std::string faces = Le({20000}), bomb;
    for (int i = 0; i < 20000; ++i)
        faces += Le({0, 1, 2, 0});
    for (int i = 0; i < 100; ++i)
        bomb += Node(i, "B", kTop, std::to_string(i));
    const std::string big =
        Object("B", Chunk(0x4100, Chunk(0x4110, Le({3}) + Floats({0, 0, 0, 1, 0, 0, 0, 1, 0})) + Chunk(0x4120, faces)));
    const struct
    {
        const char* what;
        std::string file, groups, error;  // "name polygons" of the first groups; the only error, up to a "*"
    } cases[] = {
        {"parents in a loop", Scene(tetra, Node(0, "T", 1, "a") + Node(1, "T", 0, "b")), "T 4",
         ignored + "the parents of node 0 form a loop"},
        {"a parent id that names no node", Scene(tetra, Node(0, "T", kTop, "a") + Node(1, "T", 9, "b")), "T 4",
         ignored + "node 1 names a parent 9 that does not exist"},
        {"two nodes of one id", Scene(tetra, Node(3, "T", kTop, "a") + Node(3, "T", kTop, "b")), "T 4",
         ignored + "two nodes have the id 3"},
        {"a key that is not a number", Scene(tetra, Node(0, "T", kTop, "a", {.position = {0, NAN, 0}}) + Node(1, "T", kTop, "b")),
         "T 4", ignored + "damaged chunk at offset *"},
        {"a track that claims a key it lacks",
         Scene(tetra, Chunk(0xB002, Chunk(0xB010, "T" + std::string(1, '\0') + Le({0, 0, kTop})) +
                                        Chunk(0xB020, Le({0}) + Le({0, 0, 1}, true)))),
         "T 4", ignored + "damaged chunk at offset *"},
        {"a chain of 20,000 dummies", Scene(tetra, deep), "T 4, T_far 4", ""},
        {"two million instanced triangles", Scene(big, bomb), "B_0 20000, B_1 20000, B_2 20000",
         "Too many instanced triangles in the .3DS file; some instances were left out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CRecordingModel model;
        EXPECT_EQ(readertest::ReadText(Read3ds, model, c.file), 1);
        std::string groups;
        for (int g = 0; g < model.GetGroupCount() && g < 3; ++g)
            groups += (g ? ", " : "") + model.GetGroup(g)->name + " " + std::to_string(model.GetGroup(g)->polygons.GetCount());
        EXPECT_EQ(groups, c.groups);
        // The editor data still reads: a warning, not an error that fails the load.
        EXPECT_TRUE(model.errors.empty());
        ASSERT_EQ(model.infos.size(), c.error.empty() ? 0u : 1u);
        if (!c.error.empty()) {
            EXPECT_EQ(model.infos[0].substr(0, c.error.find('*')), c.error.substr(0, c.error.find('*')));
        }
        if (&c == &cases[6]) {
            // Within 250,000 triangles and four per byte of the file.
            EXPECT_LE(model.GetPolygonCount(), 250000 + 4 * static_cast<long>(c.file.size()));
            EXPECT_GE(model.GetPolygonCount(), 250000);
        }
    }
}

}  // namespace
