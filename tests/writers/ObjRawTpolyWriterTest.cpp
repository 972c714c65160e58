#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "ExportSamples.h"
#include "RecordingModel.h"
#include "SampleModels.h"
#include "TestFiles.h"
#include "TextReaders.h"
#include "Writers.h"

using testfiles::ExpectGolden;
using testfiles::OpenText;
using testfiles::WriteToString;

using testfiles::GroupNames;

namespace {

// Forgets what building the sample reported, so that only the writer's
// notifications are looked at.
void Forget(CRecordingModel& model)
{
    model.status.clear();
    model.waitCalls = 0;
    model.modified = true;
}

void ExpectSaved(const CRecordingModel& model, int result)
{
    EXPECT_EQ(1, result);
    EXPECT_TRUE(model.errors.empty()) << model.errors.front();
    ASSERT_FALSE(model.status.empty());
    EXPECT_EQ("File Saved", model.status.back());
    EXPECT_FALSE(model.modified);
    EXPECT_EQ(0, model.waitDepth);
    EXPECT_EQ(1, model.waitCalls);
}

using Triangle = std::vector<CVector>;

// The fan triangles of the active groups, the way RAW and TPOLY carry them.
std::vector<Triangle> Triangles(const CModel& model)
{
    std::vector<Triangle> out;
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!group->active)
            continue;
        for (int p = 0; p < group->polygons.GetCount(); ++p) {
            const CPolygon* polygon = group->polygons.GetAt(p);
            for (int k = 2; k < polygon->count; ++k) {
                const CVector* a = polygon->GetVertex(0);
                const CVector* b = polygon->GetVertex(k - 1);
                const CVector* c = polygon->GetVertex(k);
                if (a && b && c)
                    out.push_back({*a, *b, *c});
            }
        }
    }
    return out;
}

// A read centres the model on its box and divides by its radius, keeping the
// radius in m_scale. Undoes that with the box of the written triangles.
std::vector<Triangle> AsWritten(const CModel& read, const std::vector<Triangle>& written)
{
    CVector lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    for (const Triangle& t : written)
        for (const CVector& v : t) {
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
        }
    CVector centre = (lo + hi) * 0.5f;
    std::vector<Triangle> out = Triangles(read);
    for (Triangle& t : out)
        for (CVector& v : t)
            v = v * read.m_scale + centre;
    return out;
}

void ExpectSameTriangles(const std::vector<Triangle>& expected, const std::vector<Triangle>& actual)
{
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i)
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(expected[i][c].x, actual[i][c].x, 1e-5) << "triangle " << i << " corner " << c;
            EXPECT_NEAR(expected[i][c].y, actual[i][c].y, 1e-5) << "triangle " << i << " corner " << c;
            EXPECT_NEAR(expected[i][c].z, actual[i][c].z, 1e-5) << "triangle " << i << " corner " << c;
        }
}

template <typename Reader>
int ReadBack(Reader reader, CModel& model, const std::string& text)
{
    FILE* fp = OpenText(text);
    if (!fp)
        return -1;
    int result = reader(model, fp);
    std::fclose(fp);
    return result;
}

}  // namespace

// Smooth body (k//k faces), flat lid with a quadrilateral, a face with an
// unresolved slot, an ignored group and an empty one, at scale 2.
TEST(ObjGolden, AssemblyScaleTwo)
{
    CRecordingModel model;
    samples::Assembly(model);
    Forget(model);
    int result = 0;
    std::string text = WriteToString(WriteObj, model, 2.0, &result);
    ExpectSaved(model, result);
    ExpectGolden("obj_assembly.obj", text);
    EXPECT_EQ((std::vector<std::string>{"Saving Vertices", "Saving Normals", "Saving Polygons", "File Saved"}),
              model.status);
}

TEST(RawGolden, AssemblyWithNames)
{
    CRecordingModel model;
    samples::Assembly(model);
    Forget(model);
    int result = 0;
    std::string text = WriteToString(WriteRaw, model, 2.0, &result);
    ExpectSaved(model, result);
    ExpectGolden("raw_assembly.raw", text);
    EXPECT_TRUE(model.HasStatus("Saving Group Body"));
    EXPECT_TRUE(model.HasStatus("Saving Group Lid"));
    EXPECT_FALSE(model.HasStatus("Saving Group Empty"));
    EXPECT_FALSE(model.HasStatus("Saving Group Hidden"));
}

TEST(RawGolden, TetrahedronWithoutNames)
{
    CRecordingModel model;
    samples::Tetrahedron(model);
    model.m_rawGroups = 0;
    std::string text = WriteToString(WriteRaw, model, 1.0);
    ExpectGolden("raw_tetrahedron.raw", text);
}

TEST(TpolyGolden, AssemblyScaleTwo)
{
    CRecordingModel model;
    samples::Assembly(model);
    Forget(model);
    int result = 0;
    std::string text = WriteToString(WriteTpoly, model, 2.0, &result);
    ExpectSaved(model, result);
    ExpectGolden("tpoly_assembly.tpo", text);
}

TEST(Obj, SmoothFacesNameNormalsOnlyWhereTheyExist)
{
    // Normals exist for the tetrahedron's four vertices only; the smooth
    // group added afterwards has none, so its face cannot name any.
    CRecordingModel model;
    samples::Tetrahedron(model);
    model.GetGroup(0)->smooth = 1;
    model.SetGroup("Late", FindColor("Red"), FindTexture("Shiny"));
    model.SmoothCurrentGroup();
    model.AddTriangle({5, 0, 0}, {6, 0, 0}, {5, 1, 0});
    std::string text = WriteToString(WriteObj, model, 1.0);
    EXPECT_NE(std::string::npos, text.find("g Red\nf 3//3 2//2 1//1 \n"));
    EXPECT_NE(std::string::npos, text.find("g Late\nf 7 6 5 \n"));
    size_t normals = 0;
    for (size_t at = text.find("\nvn "); at != std::string::npos; at = text.find("\nvn ", at + 1))
        ++normals;
    EXPECT_EQ(4u, normals);
}

TEST(Raw, NamesTheReaderWouldMisreadAreQuoted)
{
    CRecordingModel model;
    model.Clear(false);
    const char* names[] = {"left arm", "2nd", "-x", "Plain"};
    float z = 0;
    for (const char* name : names) {
        model.SetGroup(name, FindColor("Red"), FindTexture("Shiny"));
        model.AddTriangle({0, 0, z}, {1, 0, z}, {0, 1, z});
        z += 1;
    }
    std::string text = WriteToString(WriteRaw, model, 1.0);
    EXPECT_EQ(0u, text.find("\"left arm\"\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"2nd\"\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"-x\"\n"));
    EXPECT_NE(std::string::npos, text.find("\nPlain\n"));

    CRecordingModel read;
    ASSERT_EQ(1, ReadBack(ReadRaw, read, text));
    EXPECT_EQ((std::vector<std::string>{"left arm", "2nd", "-x", "Plain"}), GroupNames(read));
}

TEST(Raw, WithoutNamesReadsBackAsOneRedGroup)
{
    CRecordingModel model;
    samples::Assembly(model);
    model.m_rawGroups = 0;
    std::string text = WriteToString(WriteRaw, model, 1.0);
    EXPECT_EQ(std::string::npos, text.find_first_not_of("0123456789-.e+ \n"));

    CRecordingModel read;
    ASSERT_EQ(1, ReadBack(ReadRaw, read, text));
    EXPECT_EQ((std::vector<std::string>{"Red"}), GroupNames(read));
}

// RAW and TPOLY read back through our readers give the triangles written:
// same corners in the same order, groups in the same order (RAW).
TEST(RawTpolyReadBack, SameTriangles)
{
    CRecordingModel model;
    samples::Assembly(model);
    const std::vector<Triangle> written = Triangles(model);
    ASSERT_EQ(14u, written.size());

    CRecordingModel raw;
    ASSERT_EQ(1, ReadBack(ReadRaw, raw, WriteToString(WriteRaw, model, 1.0)));
    ExpectSameTriangles(written, AsWritten(raw, written));
    EXPECT_EQ((std::vector<std::string>{"Body", "Lid"}), GroupNames(raw));

    CRecordingModel tpoly;
    ASSERT_EQ(1, ReadBack(ReadTpoly, tpoly, WriteToString(WriteTpoly, model, 1.0)));
    ExpectSameTriangles(written, AsWritten(tpoly, written));
}

// OBJ, RAW and TPOLY pass a face with a repeated corner on as it is; only
// readers decide to drop it.
TEST(ObjRawTpoly, RepeatedCornersAreWrittenAsTheyAre)
{
    CRecordingModel model;
    exportsamples::WithDegenerateGroup(model);  // Sliver: vertices 1, 1, 2
    EXPECT_NE(std::string::npos, WriteToString(WriteObj, model, 1.0).find("\ng Sliver\nf 1 1 2 \n"));
    EXPECT_NE(std::string::npos, WriteToString(WriteRaw, model, 1.0).find("\nSliver\n1 0 0 1 0 0 0 1 0\n"));
    const std::string tpoly = WriteToString(WriteTpoly, model, 1.0);
    const std::string sliver =
        "3\n1.000000 0.000000 0.000000\n1.000000 0.000000 0.000000\n0.000000 1.000000 0.000000\n";
    ASSERT_GE(tpoly.size(), sliver.size());
    EXPECT_EQ(sliver, tpoly.substr(tpoly.size() - sliver.size()));
}

// A model large enough that the lines are formatted on two threads, in runs:
// every line must come out as printf writes it, in order, with the texts
// between the sections and groups where they belong.
TEST(Obj, LargeModelWritesEveryLineAsPrintfDoes)
{
    CRecordingModel model;
    model.SetGroup("Sheet", FindColor("Red"), FindTexture("Shiny"));
    model.SmoothCurrentGroup();
    constexpr int kSide = 160;  // 25,600 vertices and 50,562 faces: over 100,000 lines
    auto at = [](int i, int j) {
        return CVector(i * 0.37f, j * 0.21f, std::sin(i * 0.1f) * std::cos(j * 0.13f) - 0.5f);
    };
    for (int i = 0; i + 1 < kSide; ++i)
        for (int j = 0; j + 1 < kSide; ++j) {
            model.AddTriangle(at(i, j), at(i + 1, j), at(i + 1, j + 1));
            model.AddTriangle(at(i, j), at(i + 1, j + 1), at(i, j + 1));
        }
    model.FinishLoad();
    // After it, groups of a run each, taking turns between the threads: faces
    // whose vertices came after the normals, two groups the load would have
    // removed (one of them a run without lines on the second thread, with
    // more of its runs after it), a hidden group.
    model.SetGroup("Late", FindColor("Red"), FindTexture("Shiny"));
    model.SmoothCurrentGroup();
    model.AddTriangle({5, 0, 0}, {6, 0, 0}, {5, 1, 0});
    model.AddTriangle(at(0, 0), at(1, 0), {5, 1, 0});
    model.SetGroup("Empty", FindColor("Green"), FindTexture("Shiny"));
    model.SetGroup("Void", FindColor("Green"), FindTexture("Shiny"));
    model.SetGroup("Hidden", FindColor("Blue"), FindTexture("Shiny"));
    model.AddTriangle({9, 9, 9}, {9, 8, 9}, {8, 9, 9});
    model.GetGroup(model.GetGroupCount() - 1)->active = 0;
    model.SetGroup("Later", FindColor("Red"), FindTexture("Shiny"));
    model.AddTriangle({7, 0, 0}, {6, 0, 0}, {5, 1, 0});
    model.SetGroup("Last", FindColor("Red"), FindTexture("Shiny"));
    model.AddTriangle({7, 0, 0}, {5, 1, 0}, at(2, 2));
    Forget(model);

    int result = 0;
    const double scale = 2.5;
    const std::string text = WriteToString(WriteObj, model, scale, &result);
    ExpectSaved(model, result);
    const std::vector<std::string> status = {"Saving Vertices", "Saving Normals", "Saving Polygons", "File Saved"};
    EXPECT_EQ(model.status, status);

    std::string expected;
    char line[256];
    auto put = [&](const char* format, auto... values) {
        std::snprintf(line, sizeof line, format, values...);
        expected += line;
    };
    for (int i = 0; i < model.GetVertexCount(); ++i) {
        const CVector& v = *model.m_vertices.GetAt(i);
        put("v %6.5f %6.5f %6.5f\n", v.x * scale, v.y * scale, v.z * scale);
    }
    expected += "\n\n";
    int normals = 0;
    for (; normals < model.GetVertexCount() && model.m_vertexNormals.GetAt(normals); ++normals) {
        const CVector& n = *model.m_vertexNormals.GetAt(normals);
        put("vn %6.5f %6.5f %6.5f\n", n.x, n.y, n.z);
    }
    ASSERT_EQ(normals, kSide * kSide);
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup& group = *model.GetGroup(g);
        if (!group.active)
            continue;
        put("g %s\n", group.name.c_str());
        for (int p = 0; p < group.polygons.GetCount(); ++p) {
            const CPolygon& face = *group.polygons.GetAt(p);
            bool smooth = group.smooth != 0;
            for (int k = 0; k < face.count; ++k)
                smooth = smooth && face.index[k] <= normals;
            expected += "f ";
            for (int k = 0; k < face.count; ++k)
                smooth ? put("%ld//%ld ", long{face.index[k]}, long{face.index[k]}) : put("%ld ", long{face.index[k]});
            expected += "\n";
        }
    }
    const auto differ = std::mismatch(text.begin(), text.end(), expected.begin(), expected.end());
    const size_t from = static_cast<size_t>(differ.first - text.begin());
    EXPECT_EQ(text.size(), expected.size());
    EXPECT_EQ(from, text.size()) << "from byte " << from << ": \"" << text.substr(from, 60) << "\" instead of \""
                                 << expected.substr(from, 60) << "\"";
}
