#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

#include "RecordingModel.h"

namespace {
const CVector A(0, 0, 0), B(1, 0, 0), C(0, 1, 0), D(1, 1, 0);

int FaceIndex(const CModel& model, int group, int face, int slot)
{
    return model.GetGroup(group)->polygons.GetAt(face)->index[slot];
}

void Red(CModel& model)
{
    model.SetGroup(nullptr, FindColor("Red"), FindTexture("Shiny"));
}
}  // namespace

TEST(ModelStore, FirstTriangleNumbersCornersInReverse)
{
    CRecordingModel model;
    Red(model);
    model.AddTriangle(A, B, C);
    ASSERT_EQ(model.GetVertexCount(), 3);
    EXPECT_TRUE(model.m_vertices.GetAt(0)->IsNear(C));
    EXPECT_TRUE(model.m_vertices.GetAt(2)->IsNear(A));
    EXPECT_EQ(FaceIndex(model, 0, 0, 0), 3);
    EXPECT_EQ(FaceIndex(model, 0, 0, 1), 2);
    EXPECT_EQ(FaceIndex(model, 0, 0, 2), 1);
    EXPECT_EQ(FaceIndex(model, 0, 0, 3), 0);
}

TEST(ModelStore, SharedEdgeMergesVertices)
{
    CRecordingModel model;
    Red(model);
    model.AddTriangle(A, B, C);
    model.AddTriangle(B, D, C);
    EXPECT_EQ(model.GetVertexCount(), 4);
    // B and C keep their numbers in the second face.
    EXPECT_EQ(FaceIndex(model, 0, 1, 0), FaceIndex(model, 0, 0, 1));
    EXPECT_EQ(FaceIndex(model, 0, 1, 2), FaceIndex(model, 0, 0, 2));
}

TEST(ModelStore, DegenerateTrianglesAreDroppedByTolerance)
{
    CRecordingModel model;
    Red(model);
    model.AddTriangle(A, CVector(5e-7f, 5e-7f, 5e-7f), C);
    EXPECT_EQ(model.GetPolygonCount(), 0);
    EXPECT_EQ(model.GetVertexCount(), 0);
    model.AddTriangle(A, CVector(2e-6f, 0, 0), C);
    EXPECT_EQ(model.GetPolygonCount(), 1);
    // A quad whose second triangle collapses keeps the first.
    AddQuad(model, A, B, D, D);
    EXPECT_EQ(model.GetPolygonCount(), 2);
}

TEST(ModelStore, MergeRules)
{
    CRecordingModel model;
    int first = model.AddVertex({1, 2, 3}, false);
    // Unmerged vertices are still indexed, so a merging add finds the newest.
    int second = model.AddVertex({1, 2, 3}, false);
    EXPECT_EQ(model.AddVertex({1, 2, 3.0000005f}, true), second);
    EXPECT_NE(first, second);
    model.ClearVertexHash();
    EXPECT_EQ(model.AddVertex({1, 2, 3}, true), 2);
    EXPECT_EQ(model.GetVertexCount(), 3);
    // One added for good without merging is never found, and does not
    // hide the newest candidate from a merging add.
    EXPECT_EQ(model.AddUnmergedVertex({1, 2, 3}), 3);
    EXPECT_EQ(model.AddVertex({1, 2, 3}, true), 2);
    EXPECT_EQ(model.GetVertexCount(), 4);
}

TEST(ModelStore, EqualityMeansADifferenceBelowOneMillionth)
{
    // The float nearest 1e-6 is slightly smaller than 1e-6: still equal. The
    // next float up is not.
    const float near = 1e-6f;
    const float beyond = std::nextafter(near, 1.0f);
    EXPECT_TRUE(CVector(0, 0, 0).IsNear(CVector(near, 0, 0)));
    EXPECT_TRUE(CVector(0, 0, 0).IsNear(CVector(0, -near, near)));
    EXPECT_FALSE(CVector(0, 0, 0).IsNear(CVector(0, 0, beyond)));
    EXPECT_FALSE(CVector(0, 0, 0).IsNear(CVector(beyond, 0, 0)));

    CRecordingModel model;
    Red(model);
    model.AddTriangle(A, CVector(near, 0, 0), C);
    EXPECT_EQ(model.GetPolygonCount(), 0);
    EXPECT_EQ(model.AddVertex(A, true), 0);
    EXPECT_EQ(model.AddVertex(CVector(near, 0, near), true), 0);
    EXPECT_EQ(model.AddVertex(CVector(beyond, 0, 0), true), 1);
}

TEST(ModelStore, MovedVerticesMergeWhereTheyAreNow)
{
    // Mirroring keeps a vertex's bucket (the bucket depends on squares only),
    // so the mirrored vertex is found at its new place, and no longer at the
    // old one.
    CRecordingModel model;
    Red(model);
    model.AddTriangle({1, 2, 3}, {4, 5, 6}, {7, 8, 10});
    model.MirrorX(false);
    EXPECT_EQ(CVertexIndex::Bucket({-7, 8, 10}), CVertexIndex::Bucket({7, 8, 10}));
    EXPECT_EQ(model.AddVertex({-7, 8, 10}, true), 0);
    EXPECT_EQ(model.AddVertex({-1, 2, 3}, true), 2);
    EXPECT_EQ(model.AddVertex({1, 2, 3}, true), 3);

    // Centring moves (1,-1,0) and (1,1,0) to (-1,-1,0) and (-1,1,0), each
    // within its bucket, and (3,-1,0) to (1,-1,0), out of its bucket.
    CRecordingModel centred;
    Red(centred);
    centred.AddTriangle({1, -1, 0}, {3, -1, 0}, {1, 1, 0});  // numbered 3, 2, 1
    centred.Center(false);
    EXPECT_EQ(centred.AddVertex({-1, -1, 0}, true), 2);
    EXPECT_EQ(centred.AddVertex({-1, 1, 0}, true), 0);
    EXPECT_EQ(centred.AddVertex({1, -1, 0}, true), 3);
    EXPECT_EQ(centred.AddVertex({1, -1, 0}, true), 3);
}

TEST(ModelStore, EqualVerticesInDifferentBucketsStayApart)
{
    // Walk float by float across the point where the bucket number steps up.
    CVector a(static_cast<float>(100.0 / (12.3 * 9.87)) - 1e-5f, 0, 0), b;
    bool found = false;
    for (int i = 0; i < 1000 && !found; ++i) {
        b = CVector(std::nextafter(a.x, 1e9f), 0, 0);
        found = a.IsNear(b) && CVertexIndex::Bucket(a) != CVertexIndex::Bucket(b);
        if (!found)
            a = b;
    }
    ASSERT_TRUE(found);
    CRecordingModel model;
    EXPECT_EQ(model.AddVertex(a, true), 0);
    EXPECT_EQ(model.AddVertex(b, true), 1);
    EXPECT_EQ(model.AddVertex(b, true), 1);
}

TEST(ModelStore, NonFiniteVerticesNeverMerge)
{
    CRecordingModel model;
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(model.AddVertex({inf, 0, 0}, true), 0);
    EXPECT_EQ(model.AddVertex({inf, 0, 0}, true), 1);
    EXPECT_EQ(model.AddVertex({nan, 1e38f, -1e38f}, true), 2);
    EXPECT_EQ(model.AddVertex({1e38f, 1e38f, -1e38f}, true), 3);
    EXPECT_EQ(model.AddVertex({1e38f, 1e38f, -1e38f}, true), 3);
    for (const CVector& v : {CVector(inf, 0, 0), CVector(nan, 0, 0), CVector(-inf, 1e38f, 1e38f)}) {
        int bucket = CVertexIndex::Bucket(v);
        EXPECT_GE(bucket, 0);
        EXPECT_LT(bucket, CVertexIndex::kBuckets);
    }
}

TEST(ModelStore, MoreThanOneHundredTwoThousandVertices)
{
    CRecordingModel model;
    Red(model);
    const int n = 120000;
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(model.AddVertex({static_cast<float>(i), 0, 0}, true), i);
    // Faces beyond the old ceiling still name their vertices.
    int32_t face[3] = {n, n - 1, n - 2};
    ASSERT_TRUE(model.AddFace(3, face));
    const CPolygon* p = model.GetGroup(0)->polygons.GetAt(0);
    ASSERT_NE(p->GetVertex(0), nullptr);
    EXPECT_EQ(p->GetVertex(0)->x, n - 1);
    EXPECT_TRUE(model.errors.empty());
}

TEST(ModelStore, SetGroupByNameAndByColour)
{
    CRecordingModel model;
    model.SetGroup(nullptr, 96, 5);
    ASSERT_EQ(model.GetGroupCount(), 1);
    EXPECT_EQ(model.GetGroup(0)->name, "Red");
    model.SetGroup(nullptr, 96, 2);
    EXPECT_EQ(model.GetGroupCount(), 1);
    EXPECT_EQ(model.GetGroup(0)->textureIndex, 5);

    model.SetGroup(nullptr, 3, 0);     // colour-only group "Blue"
    model.SetGroup("Wall", 3, 1);      // a name never matches by colour
    ASSERT_EQ(model.GetGroupCount(), 3);
    model.SetGroup(nullptr, 3, 4);
    EXPECT_EQ(model.m_currentGroup, model.GetGroup(1));
    model.SetGroup("wall", 3, 1);      // names are case-sensitive
    EXPECT_EQ(model.GetGroupCount(), 4);
    model.SetGroup("Wall", 50, 0);
    EXPECT_EQ(model.m_currentGroup, model.GetGroup(2));
    EXPECT_EQ(model.m_currentGroup->colorIndex, 3);
    const CGroup* g = model.GetGroup(2);
    EXPECT_EQ(g->drawSelectedColor, 1);
    EXPECT_EQ(g->smooth, 0);
    EXPECT_EQ(g->active, 1);
    EXPECT_EQ(model.LongestGroupName(), 4);
}

TEST(ModelStore, RemoveEmptyGroupsKeepsOrderAndCurrentGroupValid)
{
    CRecordingModel model;
    model.SetGroup("a", 1, 0);
    model.SetGroup("b", 2, 0);
    model.AddTriangle(A, B, C);
    model.SetGroup("c", 3, 0);
    model.RemoveEmptyGroups();
    ASSERT_EQ(model.GetGroupCount(), 1);
    EXPECT_EQ(model.GetGroup(0)->name, "b");
    EXPECT_EQ(model.m_currentGroup, nullptr);
}

TEST(ModelStore, XRefListsEachFaceOncePerVertexInGroupOrder)
{
    CRecordingModel model;
    model.SetGroup("first", 1, 0);
    model.AddTriangle(A, B, C);
    model.SetGroup("second", 2, 0);
    model.AddTriangle(B, D, C);
    int32_t twice[3] = {1, 1, 2};  // one face naming vertex 1 twice
    model.AddFace(3, twice);
    int32_t bad[3] = {1, 99, -4};  // out-of-range slots are skipped
    model.AddFace(3, bad);
    model.CreateXRef();
    ASSERT_EQ(model.m_xref.GetCount(), model.GetVertexCount());
    const CGroup* first = model.GetGroup(0);
    const CGroup* second = model.GetGroup(1);
    // Vertex 1 (C): used by the later group's faces first, then the first group's.
    const CVertexRef* c = model.m_xref.GetAt(0);
    ASSERT_EQ(c->count, 4);
    EXPECT_EQ(c->polygons[0], second->polygons.GetAt(0));
    EXPECT_EQ(c->polygons[1], second->polygons.GetAt(1));
    EXPECT_EQ(c->polygons[2], second->polygons.GetAt(2));
    EXPECT_EQ(c->polygons[3], first->polygons.GetAt(0));
    // Building it again does not duplicate entries.
    model.CreateXRef();
    EXPECT_EQ(model.m_xref.GetCount(), model.GetVertexCount());
    EXPECT_EQ(model.m_xref.GetAt(0)->count, 4);
    EXPECT_EQ(model.waitDepth, 0);
}

TEST(ModelStore, ClearKeepsPreferencesAndResetsTheRest)
{
    CRecordingModel model;
    model.m_scale = 3;
    model.m_smoothAngle = 45;
    model.m_skyType = 2;
    model.m_floorType = 4;
    model.m_zoom = 2;
    model.m_normalOrder = 0;
    Red(model);
    model.AddTriangle(A, B, C);
    model.CreateXRef();
    model.CalculateNormals();
    model.Clear(true);
    EXPECT_EQ(model.GetVertexCount(), 0);
    EXPECT_EQ(model.GetGroupCount(), 0);
    EXPECT_EQ(model.m_xref.GetCount(), 0);
    EXPECT_EQ(model.m_vertexNormals.GetCount(), 0);
    EXPECT_EQ(model.m_currentGroup, nullptr);
    EXPECT_EQ(model.m_normalsValid, 0);
    EXPECT_EQ(model.m_scale, 3);
    EXPECT_EQ(model.m_smoothAngle, 45);
    EXPECT_EQ(model.m_normalOrder, 0);
    EXPECT_EQ(model.m_skyType, 0);
    EXPECT_EQ(model.m_floorType, 0);
    EXPECT_EQ(model.m_zoom, 0.75f);
    EXPECT_TRUE(model.HasStatus("Clearing All Data"));
    EXPECT_TRUE(model.HasStatus("Clear Data Complete"));
    EXPECT_EQ(model.viewUpdates, 1);
    EXPECT_EQ(model.waitDepth, 0);
    // The cleared model merges afresh.
    Red(model);
    model.AddTriangle(A, B, C);
    EXPECT_EQ(model.GetVertexCount(), 3);
}

TEST(ModelStore, GetVertexRejectsBadSlots)
{
    CRecordingModel model;
    Red(model);
    model.AddTriangle(A, B, C);
    CPolygon p = *model.GetGroup(0)->polygons.GetAt(0);
    EXPECT_NE(p.GetVertex(2), nullptr);
    EXPECT_EQ(p.GetVertex(3), nullptr);
    EXPECT_EQ(p.GetVertex(-1), nullptr);
    p.index[0] = 4;
    EXPECT_EQ(p.GetVertex(0), nullptr);
    p.index[0] = 0;
    EXPECT_EQ(p.GetVertex(0), nullptr);
    p.owner = nullptr;
    EXPECT_EQ(p.GetVertex(1), nullptr);
}

TEST(ModelStore, FacesNeedACurrentGroup)
{
    CRecordingModel model;
    int32_t face[3] = {1, 2, 3};
    EXPECT_FALSE(model.AddFace(3, face));
    model.AddTriangle(A, B, C);  // no group: nothing stored, no crash
    EXPECT_EQ(model.GetPolygonCount(), 0);
}

TEST(Notifications, MessagesAreCutAt255Characters)
{
    CRecordingModel model;
    std::string longText(300, 'x');
    model.ErrorMessage("%s", longText.c_str());
    ASSERT_EQ(model.errors.size(), 1u);
    EXPECT_EQ(model.errors[0], std::string(255, 'x'));
}

TEST(Notifications, BaseModelWritesLinesToStandardOutput)
{
    CModel model;
    testing::internal::CaptureStdout();
    model.StatusMessage("Saving Group %s", "Body");
    model.ErrorMessage("Couldn't open file %s", "x.obj");
    model.InfoMessage("%d vertices", 3);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "StatusMessage: Saving Group Body\n"
              "ErrorMessage: Couldn't open file x.obj\n"
              "InfoMessage: 3 vertices\n");
}

TEST(ModelStore, TwoModelsOnTwoThreads)
{
    auto build = [](CModel* model, float offset) {
        model->SetGroup(nullptr, 96, 5);
        for (int i = 0; i < 20000; ++i)
            model->AddTriangle({offset + i, 0, 0}, {offset + i + 1, 0, 0}, {offset + i, 1, 0});
    };
    CModel a, b;
    testing::internal::CaptureStdout();
    std::thread ta(build, &a, 0.0f), tb(build, &b, 0.5f);
    ta.join();
    tb.join();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(a.GetVertexCount(), 40001);  // a strip: 20001 below, 20000 above
    EXPECT_EQ(b.GetVertexCount(), 40001);
    EXPECT_EQ(a.GetPolygonCount(), 20000);
}
