#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "RecordingModel.h"

namespace {
void ExpectNear(const CVector& v, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

const CVector& Vertex(const CModel& model, int number)
{
    return *model.m_vertices.GetAt(number - 1);
}

const CVector& Normal(const CModel& model, int number)
{
    return *model.m_vertexNormals.GetAt(number - 1);
}

// Two unit squares' worth of triangles meeting at 90 degrees along the x axis:
// one in the z = 0 plane, one in the y = 0 plane.
void Hinge(CModel& model)
{
    model.SetGroup(nullptr, 96, 5);
    model.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    model.AddTriangle({0, 0, 0}, {0, 0, 1}, {1, 0, 0});
    model.CreateXRef();
}
}  // namespace

TEST(VectorMath, AnglesAndRotations)
{
    EXPECT_EQ(CVector().AngleTo({1, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(CVector(1, 0, 0).AngleTo({-1, 0, 0}), 180.0);
    EXPECT_NEAR(CVector(1, 0, 0).AngleTo({0, 2, 0}), 90.0, 1e-3);
    double t = 90 * 0.017453277777777776;
    ExpectNear(CVector(1, 0, 0).RotateY(90), static_cast<float>(std::cos(t)), 0, static_cast<float>(std::sin(t)), 1e-7f);
    ExpectNear(CVector(0, 1, 0).RotateX(90), 0, 0, -1);
    ExpectNear(CVector(1, 0, 0).RotateZ(90), 0, -1, 0);
    ExpectNear(CVector(3, 4, 0).Normalize(), 0.6f, 0.8f, 0);
    ExpectNear(CVector().Normalize(), 0, 0, 0);
    ExpectNear(CVector(1, 0, 0).Cross({0, 1, 0}), 0, 0, 1);
}

TEST(Geometry, CenterFoldsTheScaleIntoCoordinates)
{
    CRecordingModel model;
    model.SetGroup(nullptr, 96, 5);
    model.AddTriangle({0, 0, 0}, {2, 4, 6}, {2, 0, 0});
    model.AddVertex({100, 100, 100}, false);  // unused: moves but does not count
    model.m_scale = 2;
    model.Center(false);
    EXPECT_EQ(model.m_scale, 1.0f);
    ExpectNear(Vertex(model, 2), 2, 4, 6);    // (2,4,6)*2 - (1,2,3)*2
    ExpectNear(Vertex(model, 3), -2, -4, -6);
    ExpectNear(Vertex(model, 4), 198, 196, 194);
    EXPECT_TRUE(model.modified);
    EXPECT_EQ(model.waitDepth, 0);
}

TEST(Geometry, UnitizeClampsTheScaleButNotTheDivision)
{
    for (auto [size, expectedScale] : {std::pair{1000.0f, 500.0f}, {0.00001f, 0.0001f}, {3.0f, 3.0f}}) {
        CRecordingModel model;
        model.SetGroup(nullptr, 96, 5);
        model.AddTriangle({size, 0, 0}, {0, size / 2, 0}, {0, 0, 0});
        model.Unitize(true, false);
        EXPECT_FLOAT_EQ(model.m_scale, expectedScale) << size;
        ExpectNear(Vertex(model, 3), 1, 0, 0);
    }
}

TEST(Geometry, InactiveAndEmptyModelsLeaveCoordinatesAlone)
{
    CRecordingModel model;
    model.SetGroup(nullptr, 96, 5);
    model.AddTriangle({5, 0, 0}, {0, 5, 0}, {0, 0, 0});
    model.m_currentGroup->active = 0;
    model.ComputeRange();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(model.m_min[i], 0.0f);
        EXPECT_EQ(model.m_max[i], 0.0f);
    }
    model.Unitize(true, false);
    EXPECT_EQ(model.m_scale, 1.0f);
    ExpectNear(Vertex(model, 3), 5, 0, 0);
}

TEST(Geometry, RangeCountsOnlyUsedVerticesOfActiveGroups)
{
    CRecordingModel model;
    model.SetGroup("on", 1, 0);
    model.AddTriangle({-1, 0, 0}, {1, 2, 0}, {0, 0, 3});
    model.SetGroup("off", 2, 0);
    model.AddTriangle({-50, 0, 0}, {50, 0, 0}, {0, 50, 0});
    model.m_currentGroup->active = 0;
    model.AddVertex({1000, 1000, 1000}, false);
    model.ComputeRange();
    EXPECT_EQ(model.m_min[0], -1);
    EXPECT_EQ(model.m_max[0], 1);
    EXPECT_EQ(model.m_max[1], 2);
    EXPECT_EQ(model.m_max[2], 3);
    EXPECT_TRUE(model.HasStatus("Computing Range: on"));
    EXPECT_FALSE(model.HasStatus("Computing Range: off"));
}

// An extreme at zero keeps the sign of zero the faces' corners give first,
// whatever order the vertices are stored in.
TEST(Geometry, RangeAtZeroFollowsTheFaces)
{
    CRecordingModel model;
    model.SetGroup(nullptr, 96, 5);
    const int32_t negative = model.AddVertex({-0.0f, 1, 1}, false) + 1;
    const int32_t positive = model.AddVertex({0.0f, 2, 2}, false) + 1;
    const int32_t other = model.AddVertex({1, 3, 3}, false) + 1;
    const int32_t face[3] = {positive, negative, other};
    model.AddFace(3, face);
    model.ComputeRange();
    EXPECT_FALSE(std::signbit(model.m_min[0]));
    EXPECT_EQ(model.m_max[2], 3);
}

TEST(Geometry, FaceNormalFollowsNormalOrder)
{
    for (int order : {1, 0}) {
        CRecordingModel model;
        model.m_normalOrder = order;
        model.SetGroup(nullptr, 96, 5);
        model.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
        model.CreateXRef();
        model.CalculateNormals();
        const CVector& n = model.GetGroup(0)->polygons.GetAt(0)->normal;
        ExpectNear(n, 0, 0, order ? -1.0f : 1.0f);
        ExpectNear(Normal(model, 1), 0, 0, order ? -1.0f : 1.0f);
    }
}

TEST(Geometry, SmoothingAngleDecidesWhichFacesBlend)
{
    CRecordingModel sharp;
    Hinge(sharp);
    sharp.CalculateNormals();
    // Vertex 3 is (0,0,0), shared; the faces meet at 90 degrees, so at 70 the
    // first face in its list wins alone.
    const CVertexRef* ref = sharp.m_xref.GetAt(2);
    ASSERT_EQ(ref->count, 2);
    const CVector first = ref->polygons[0]->normal;
    ExpectNear(Normal(sharp, 3), first.x, first.y, first.z);

    CRecordingModel smooth;
    smooth.m_smoothAngle = 100;
    Hinge(smooth);
    smooth.CalculateNormals();
    const CVector sum = (smooth.GetGroup(0)->polygons.GetAt(0)->normal + smooth.GetGroup(0)->polygons.GetAt(1)->normal).Normalize();
    ExpectNear(Normal(smooth, 3), sum.x, sum.y, sum.z);

    CRecordingModel off;
    off.m_smoothAngle = 0;
    Hinge(off);
    off.CalculateNormals();
    ExpectNear(Normal(off, 3), 0, 0, 0);
}

// The vertex normals must come out bit for bit as if every face's angle were
// taken with AngleTo, also for faces a hair either side of the threshold.
TEST(Geometry, SmoothingMatchesTheAngleAtEveryThreshold)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (float threshold : {70.0f, 45.5f, 100.0f, 0.5f, 1.5f, 178.5f, 180.0f, 200.0f}) {
        for (int trial = 0; trial < 200; ++trial) {
            // Faces hinged on the x axis: the first flat, the others turned by
            // angles a hair either side of the threshold, or anywhere.
            CRecordingModel model;
            model.m_smoothAngle = threshold;
            model.SetGroup(nullptr, 96, 5);
            model.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
            for (int k = 0; k < 3; ++k) {
                double near = threshold + (unit(random) - 0.5) * 2e-4;
                double turn = (k == 0 || trial % 2 ? near : unit(random) * 180.0) * kDegToRad;
                model.AddTriangle({0, 0, 0}, {k == 2 ? -1.0f : 1.0f, 0, 0},
                                  {0, static_cast<float>(std::cos(turn)), static_cast<float>(std::sin(turn))});
            }
            model.CreateXRef();
            model.CalculateNormals();
            for (int i = 0; i < model.m_xref.GetCount(); ++i) {
                const CVertexRef* ref = model.m_xref.GetAt(i);
                CVector expected;
                for (int k = 0; k < ref->count; ++k)
                    if (expected.AngleTo(ref->polygons[k]->normal) < threshold)
                        expected += ref->polygons[k]->normal;
                expected = expected.Normalize();
                const CVector& got = Normal(model, i + 1);
                ASSERT_TRUE(got.x == expected.x && got.y == expected.y && got.z == expected.z)
                    << "threshold " << threshold << " trial " << trial << " vertex " << i + 1;
            }
        }
    }
}

namespace {
// A grid of side x side cells with bumps up to `height`, its rows in groups
// of unequal size that share the vertices where they meet.
void BumpyGrid(CRecordingModel& model, int side, float height = 0.05f)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> bump(0.0f, height);
    std::vector<float> heights(static_cast<size_t>((side + 1) * (side + 1)));
    for (float& h : heights)
        h = bump(random);
    for (int y = 0; y < side; ++y) {
        if (y == 0 || y == side / 8 || y == side * 2 / 3)
            model.SetGroup(("rows" + std::to_string(y)).c_str(), 96, 5);
        for (int x = 0; x < side; ++x) {
            auto at = [&](int i, int j) {
                return CVector(static_cast<float>(i), static_cast<float>(j), heights[j * (side + 1) + i]);
            };
            model.AddTriangle(at(x, y), at(x + 1, y), at(x + 1, y + 1));
            model.AddTriangle(at(x, y), at(x + 1, y + 1), at(x, y + 1));
        }
    }
}
}  // namespace

// A large model in several groups: every face and vertex normal as the
// plain loop gives it.
TEST(Geometry, LargeModelNormalsMatchThePlainLoop)
{
    constexpr int kSide = 300;  // 90,601 vertices, 180,000 triangles
    CRecordingModel model;
    BumpyGrid(model, kSide);
    model.CreateXRef();
    model.CalculateNormals();
    ASSERT_EQ(model.GetVertexCount(), (kSide + 1) * (kSide + 1));
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        for (int p = 0; p < group->polygons.GetCount(); ++p) {
            const CPolygon* polygon = group->polygons.GetAt(p);
            const CVector* a = polygon->GetVertex(model.m_normalOrder ? 0 : 2);
            const CVector* c = polygon->GetVertex(model.m_normalOrder ? 2 : 0);
            const CVector expected = (*c - *a).Cross(*polygon->GetVertex(1) - *a).Normalize();
            ASSERT_TRUE(polygon->normal.x == expected.x && polygon->normal.y == expected.y &&
                        polygon->normal.z == expected.z)
                << "group " << g << " face " << p;
        }
    }
    for (int i = 0; i < model.m_xref.GetCount(); ++i) {
        const CVertexRef* ref = model.m_xref.GetAt(i);
        CVector expected;
        for (int k = 0; k < ref->count; ++k)
            if (expected.AngleTo(ref->polygons[k]->normal) < model.m_smoothAngle)
                expected += ref->polygons[k]->normal;
        expected = expected.Normalize();
        const CVector& got = Normal(model, i + 1);
        ASSERT_TRUE(got.x == expected.x && got.y == expected.y && got.z == expected.z) << "vertex " << i + 1;
    }
}

namespace {
// Every vertex's normal as the cross-reference's path works them out; the
// cross-reference goes again afterwards.
std::vector<CVector> CrossReferenceNormals(CModel& model)
{
    model.CreateXRef();
    model.CalculateNormals();
    std::vector<CVector> normals;
    for (int i = 0; i < model.GetVertexCount(); ++i)
        normals.push_back(Normal(model, i + 1));
    model.FreeXRef();
    return normals;
}
}  // namespace

// Without a cross-reference each vertex still meets its faces in the
// cross-reference's order, across groups and for a face that names it
// twice: bit for bit the same normals, whatever the threshold.
TEST(Geometry, NormalsWithoutTheCrossReferenceMatch)
{
    for (float angle : {70.0f, 10.0f, 0.0f}) {
        CRecordingModel model;
        BumpyGrid(model, 60, 1.5f);
        const int32_t twice[3] = {1, 1, 62};
        ASSERT_TRUE(model.AddFace(3, twice));
        model.m_smoothAngle = angle;
        const std::vector<CVector> expected = CrossReferenceNormals(model);
        for (int i = 0; i < model.GetVertexCount(); ++i)
            *model.m_vertexNormals.GetAt(i) = CVector(9, 9, 9);
        model.CalculateNormalsWithoutXRef();
        ASSERT_EQ(model.m_vertexNormals.GetCount(), model.GetVertexCount());
        for (int i = 0; i < model.GetVertexCount(); ++i) {
            const CVector& got = Normal(model, i + 1);
            ASSERT_TRUE(got == expected[static_cast<size_t>(i)]) << "angle " << angle << " vertex " << i + 1;
        }
        // Asked for a smooth group's vertices only: theirs are the same, with
        // the faces of the groups beside it summed in, and the rest have none.
        model.GetGroup(1)->smooth = 1;
        std::vector<bool> smooth(static_cast<size_t>(model.GetVertexCount()));
        for (int p = 0; p < model.GetGroup(1)->polygons.GetCount(); ++p)
            for (int32_t n : model.GetGroup(1)->polygons.GetAt(p)->index)
                if (n > 0)
                    smooth[static_cast<size_t>(n - 1)] = true;
        for (int g = 0; g < model.GetGroupCount(); ++g)
            for (int p = 0; p < model.GetGroup(g)->polygons.GetCount(); ++p)
                model.GetGroup(g)->polygons.GetAt(p)->normal = CVector(9, 9, 9);
        model.CalculateNormalsWithoutXRef(true);
        for (int i = 0; i < model.GetVertexCount(); ++i) {
            const CVector want = smooth[static_cast<size_t>(i)] ? expected[static_cast<size_t>(i)] : CVector();
            ASSERT_TRUE(Normal(model, i + 1) == want) << "angle " << angle << " vertex " << i + 1;
        }
    }
}

// Asked for a smooth group's normals only, the faces of a large flat group
// still count wherever they lie in it: the flat faces that touch the smooth
// group here sit among hundreds that do not, at either end of a run of
// faces, alone in the middle of one, and in the last, short one.
TEST(Geometry, SmoothNormalsTakeTheirFlatNeighboursFromAnyRun)
{
    CRecordingModel model;
    model.SetGroup("smooth", 96, 5);
    model.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    model.GetGroup(0)->smooth = 1;
    model.SetGroup("flat", 96, 5);
    const std::vector<int> touching = {1023, 1024, 3000, 4099};
    for (int i = 0; i < 4100; ++i) {
        const float x = 10.0f + static_cast<float>(i);
        if (std::find(touching.begin(), touching.end(), i) != touching.end())
            model.AddTriangle({0, 0, 0}, {0, 1, 0}, {-1, 0, 0.1f * static_cast<float>(i % 7)});
        else
            model.AddTriangle({x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0});
    }
    const std::vector<CVector> expected = CrossReferenceNormals(model);
    model.CalculateNormalsWithoutXRef(true);
    for (int i = 0; i < model.GetVertexCount(); ++i) {
        const CVector want = i < 3 ? expected[static_cast<size_t>(i)] : CVector();
        ASSERT_TRUE(Normal(model, i + 1) == want) << "vertex " << i + 1;
    }
    // The shared corners took the flat faces in: not the smooth face's alone.
    EXPECT_FALSE(Normal(model, 1) == Normal(model, 2));
}

TEST(Geometry, UnusedVertexKeepsZeroNormalAndRecalculationReusesEntries)
{
    CRecordingModel model;
    Hinge(model);
    model.AddVertex({9, 9, 9}, false);
    model.CreateXRef();
    model.CalculateNormals();
    ASSERT_EQ(model.m_vertexNormals.GetCount(), model.GetVertexCount());
    ExpectNear(Normal(model, model.GetVertexCount()), 0, 0, 0);
    const CVector* before = model.m_vertexNormals.GetAt(0);
    model.MirrorZ(false);
    EXPECT_EQ(model.m_vertexNormals.GetCount(), model.GetVertexCount());
    EXPECT_EQ(model.m_vertexNormals.GetAt(0), before);
}

TEST(Geometry, MirrorAndRotateRewriteVerticesAndNormals)
{
    CRecordingModel model;
    model.SetGroup(nullptr, 96, 5);
    model.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    model.CreateXRef();
    model.CalculateNormals();
    model.MirrorX(true);
    ExpectNear(Vertex(model, 2), -1, 0, 0);
    // Mirroring keeps the corner order, so the face normal flips.
    ExpectNear(model.GetGroup(0)->polygons.GetAt(0)->normal, 0, 0, 1);
    EXPECT_TRUE(model.HasStatus("Mirroring on the X Axis"));
    model.RotateZ(90, false);
    ExpectNear(Vertex(model, 2), 0, 1, 0);
    EXPECT_TRUE(model.HasStatus("Rotating Object 90.00 Degrees on the Z Axis"));
    EXPECT_TRUE(model.HasStatus("Rotation Finished"));
    EXPECT_EQ(model.viewUpdates, 1);
    EXPECT_EQ(model.waitDepth, 0);
}

TEST(Geometry, FinishLoadNormalisesTheModel)
{
    CRecordingModel model;
    model.SetGroup("empty", 1, 0);
    model.SetGroup("box", 2, 0);
    model.AddTriangle({10, 10, 10}, {14, 10, 10}, {10, 13, 10});
    model.FinishLoad();
    EXPECT_EQ(model.GetGroupCount(), 1);
    EXPECT_FLOAT_EQ(model.m_scale, 2.5f);  // half-diagonal of the 4 x 3 box
    EXPECT_EQ(model.m_normalsValid, 1);
    EXPECT_FALSE(model.modified);
    EXPECT_EQ(model.status.back(), "File Read Finished");
    EXPECT_EQ(model.waitDepth, 0);
}

TEST(Notifications, EachOperationBracketsItsWorkInOrder)
{
    using Events = std::vector<std::string>;
    const Events range = {"begin", "status Computing Range", "status Computing Range: g", "end",
                          "status Ranges Computed"};
    const Events normals = {"status Calculating Polygon & Vertex Normals", "begin",
                            "status Polygon & Vertex Normal Calculation Finished", "end"};
    auto join = [](Events a, const Events& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };

    CRecordingModel model;
    model.SetGroup("g", 96, 5);
    model.AddTriangle({0, 0, 0}, {2, 0, 0}, {0, 3, 0});
    auto run = [&](auto&& operation) {
        model.events.clear();
        operation();
        EXPECT_EQ(model.waitDepth, 0);
        return model.events;
    };

    EXPECT_EQ(run([&] { model.CreateXRef(); }),
              (Events{"status Creating Vertex/Polygon XRef", "begin", "status Finished Vertex/Polygon XRef", "end"}));
    EXPECT_EQ(run([&] { model.ComputeRange(); }), range);
    EXPECT_EQ(run([&] { model.Center(true); }),
              join(range, {"status Centering Object", "begin", "status Centering Finished", "modified", "views",
                           "end"}));
    EXPECT_EQ(run([&] { model.Unitize(true, false); }),
              (Events{"status Unitize Object", "begin", "status Unitize Finished", "modified", "end"}));
    EXPECT_EQ(run([&] { model.CalculateNormals(); }), normals);
    EXPECT_EQ(run([&] { model.RotateY(45, true); }),
              join(join({"status Rotating Object 45.00 Degrees on the Y Axis", "begin", "status Rotation Finished",
                         "modified", "end"},
                        normals),
                   {"views"}));
    EXPECT_EQ(run([&] { model.MirrorZ(false); }),
              join({"status Mirroring on the Z Axis", "begin", "status Mirroring Finished", "modified", "end"},
                   normals));
    EXPECT_EQ(run([&] { model.Clear(true); }),
              (Events{"status Clearing All Data", "begin", "status Clear Data Complete", "end", "views"}));
}
